#include "bytefile.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vox {

namespace {
// The byte length of an open regular file, or -1 for anything else or a file
// longer than the engine's 32-bit positions reach.
int64_t regularlength(std::FILE* f) {
#if defined(_WIN32)
  struct _stat64 st;
  if (_fstat64(_fileno(f), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) return -1;
#else
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
#endif
  if (st.st_size < 0 || st.st_size > INT32_MAX) return -1;
  return static_cast<int64_t>(st.st_size);
}
}  // namespace

ByteFile::ByteFile(const char* path) {
  if (path == nullptr) return;
#if defined(_WIN32)
  file_ = std::fopen(path, "rb");
#else
  // Opened without blocking, so that a named pipe is refused below instead
  // of waiting for a writer; for a regular file the flag changes nothing.
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return;
  file_ = ::fdopen(fd, "rb");
  if (file_ == nullptr) {
    ::close(fd);
    return;
  }
#endif
  if (file_ == nullptr) return;
  int64_t len = regularlength(file_);
  if (len < 0) {
    close();
    return;
  }
  length_ = static_cast<int32_t>(len);
  std::setvbuf(file_, nullptr, _IONBF, 0);  // our own block buffer does the buffering
}

void ByteFile::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void ByteFile::seek(int32_t offset) {
  pos_ = fill_ = 0;
  if (file_ == nullptr) return;
  // A negative offset is refused by the C library and leaves the position
  // where it was, at the start of the file.
  if (offset >= 0) std::fseek(file_, offset, SEEK_SET);
}

int ByteFile::refill() {
  if (file_ == nullptr) {
    ended_ = true;
    return -1;
  }
  size_t n = std::fread(buf_, 1, sizeof buf_, file_);
  pos_ = 0;
  fill_ = static_cast<int32_t>(n);
  if (n == 0) {
    ended_ = true;
    return -1;
  }
  return buf_[pos_++];
}

int32_t ByteFile::read(unsigned char* dst, int32_t count) {
  int32_t done = 0;
  int32_t buffered = std::min(fill_ - pos_, count);
  if (buffered > 0) {
    std::memcpy(dst, buf_ + pos_, static_cast<size_t>(buffered));
    pos_ += buffered;
    done = buffered;
  }
  if (done < count && file_ != nullptr) {
    done += static_cast<int32_t>(std::fread(dst + done, 1, static_cast<size_t>(count - done), file_));
  }
  if (done < count) ended_ = true;
  return done;
}

}  // namespace vox
