// A file opened for reading bytes unchanged, positioned from its start, read
// one byte at a time with -1 past the end, tested for its end and closed when
// the object goes: what the engine's readers rely on. Reads go through a
// fixed block buffer inside the object, so that a byte costs no call into the
// C library and nothing is allocated.
#pragma once

#include <cstdint>
#include <cstdio>

namespace vox {

class ByteFile {
 public:
  // Opens path for reading. Only a regular file of at most 2^31 - 1 bytes
  // opens; anything else (a directory, a missing file, a null path) does not.
  explicit ByteFile(const char* path);
  ~ByteFile() { close(); }
  ByteFile(const ByteFile&) = delete;
  ByteFile& operator=(const ByteFile&) = delete;

  bool isopen() const { return file_ != nullptr; }
  // Length of the file in bytes, as the file system reports it when opened.
  int32_t length() const { return length_; }
  // Moves to byte offset from the start (an offset past the end reads -1).
  void seek(int32_t offset);
  // The next byte, 0..255, or -1 past the end (the file has then ended).
  int get() {
    if (pos_ < fill_) return buf_[pos_++];
    return refill();
  }
  // Whether a read has gone past the end.
  bool ended() const { return ended_; }
  // Copies up to count bytes from the current position into dst; returns the
  // number copied. Stops at the end of the file.
  int32_t read(unsigned char* dst, int32_t count);
  void close();

 private:
  int refill();

  std::FILE* file_ = nullptr;
  int32_t length_ = -1;
  int32_t pos_ = 0;
  int32_t fill_ = 0;
  bool ended_ = false;
  unsigned char buf_[8192];
};

// 16-bit fields made of two bytes, either of which may be -1 past the end.
inline int32_t get16le(ByteFile& f) {
  int32_t lo = f.get();
  int32_t hi = f.get();
  return lo + 256 * hi;
}
inline int32_t get16be(ByteFile& f) {
  int32_t hi = f.get();
  int32_t lo = f.get();
  return 256 * hi + lo;
}

}  // namespace vox
