#include "fileio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace voxtool {

Bytes readfile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error(path + ": cannot open (" + std::strerror(errno) + ")");
  Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw Error(path + ": read error");
  return b;
}

std::string readtext(const std::string& path) {
  Bytes b = readfile(path);
  return std::string(b.begin(), b.end());
}

std::string basename(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void writefile(const std::string& path, const void* data, size_t size) {
  const auto slash = path.find_last_of("/\\");
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  std::string tmpl = (slash == std::string::npos ? std::string("./") : dir) + "." + basename(path) + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) throw Error(path + ": cannot create (" + std::strerror(errno) + ")");
  const std::string tmp(name.data());
  auto fail = [&](const char* what) {
    const std::string why = std::strerror(errno);
    ::close(fd);
    std::remove(tmp.c_str());
    throw Error(path + ": " + what + " (" + why + ")");
  };
  const char* p = static_cast<const char*>(data);
  size_t left = size;
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("cannot write");
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  // mkstemp creates the file for its owner alone; give it the usual mode.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(fd, 0666 & ~mask) != 0) fail("cannot set mode");
  if (::close(fd) != 0) {
    const std::string why = std::strerror(errno);
    std::remove(tmp.c_str());
    throw Error(path + ": cannot write (" + why + ")");
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    std::remove(tmp.c_str());
    throw Error(path + ": cannot write (" + why + ")");
  }
}

}  // namespace voxtool
