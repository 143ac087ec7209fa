// Small input files for the loader tests, written by the tests themselves
// from byte arrays into a private temporary directory.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

namespace loadtest {

using Bytes = std::vector<uint8_t>;

inline void le16(Bytes& b, int v) {
  b.push_back(static_cast<uint8_t>(v & 0xFF));
  b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}
inline void be16(Bytes& b, int v) {
  b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
  b.push_back(static_cast<uint8_t>(v & 0xFF));
}
inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
inline Bytes repeat(uint8_t byte, size_t count) { return Bytes(count, byte); }

// A bank of numtb stages and one table size per set; sample k of stage j of
// set s is 100 * s + 10 * j + k + 1, so every sample tells where it came from.
inline int16_t banksample(int s, int j, int k) { return static_cast<int16_t>(100 * s + 10 * j + k + 1); }
// The blocks of sets first, first + 1, ... of a bank of numtb stages.
inline Bytes sets(int numtb, std::initializer_list<int> sizes, int first = 0) {
  Bytes b;
  int s = first;
  for (int size : sizes) {
    le16(b, size);
    for (int j = 0; j < numtb; ++j)
      for (int k = 0; k < size; ++k) le16(b, banksample(s, j, k));
    ++s;
  }
  return b;
}
inline Bytes bank(int numtb, std::initializer_list<int> sizes) {
  Bytes b;
  le16(b, numtb);
  return b + sets(numtb, sizes);
}
// A bank of 11 sets of two stages of one sample each: loads with every layout.
inline Bytes goodbank() { return bank(2, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}); }

// A background recording: a 44-byte header (never read, so filled with 0xEE)
// and the given data bytes.
inline Bytes background(const Bytes& data) { return repeat(0xEE, 44) + data; }
// datalen data bytes, byte i being i modulo 256.
inline Bytes background(size_t datalen) {
  Bytes d(datalen);
  for (size_t i = 0; i < datalen; ++i) d[i] = static_cast<uint8_t>(i);
  return background(d);
}

// A private directory, removed with its files at the end.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/voxloadXXXXXX";
    const char* d = mkdtemp(tmpl);
    if (d == nullptr) std::abort();
    dir_ = d;
  }
  ~TempDir() {
    if (DIR* d = opendir(dir_.c_str())) {
      while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string p = dir_ + "/" + name;
        if (unlink(p.c_str()) != 0) rmdir(p.c_str());
      }
      closedir(d);
    }
    rmdir(dir_.c_str());
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::string write(const std::string& name, const Bytes& bytes) const {
    std::string p = path(name);
    std::FILE* f = std::fopen(p.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return p;
  }

 private:
  std::string dir_;
};

// The number of descriptors open in this process.
inline int openfds() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++n;
    closedir(d);
  }
  return n;
}

}  // namespace loadtest
