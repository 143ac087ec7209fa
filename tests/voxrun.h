// Running the built vox as a user does, and reading its WAV files back with
// libsndfile, for the tests of the tool.
#pragma once

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace voxtest {

struct Result {
  int status = -1;
  std::string out;  // standard output and standard error
};

inline Result run(const std::string& cmd) {
  Result r;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n = 0;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

inline std::string vox() { return VOX_EXE; }

// A fresh directory for one test, removed afterwards.
struct TempDir {
  std::filesystem::path path;
  TempDir() {
    std::string t = (std::filesystem::temp_directory_path() / "voxtest.XXXXXX").string();
    path = mkdtemp(t.data());
  }
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
  // Names of the files in the directory.
  std::vector<std::string> files() const {
    std::vector<std::string> v;
    for (const auto& e : std::filesystem::directory_iterator(path)) v.push_back(e.path().filename().string());
    return v;
  }
};

inline void put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
inline void put(const std::string& path, const std::vector<unsigned char>& b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}
inline std::vector<unsigned char> get(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A background recording the loaders read: 44 header bytes that they skip,
// then `n` samples of value v.
inline std::vector<unsigned char> background(int n, int16_t v) {
  std::vector<unsigned char> b(44, 0);
  for (int i = 0; i < n; ++i) {
    b.push_back(static_cast<unsigned char>(v & 0xFF));
    b.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
  }
  return b;
}

struct Wav {
  bool ok = false;
  SF_INFO info{};
  std::vector<int16_t> samples;
};

inline Wav readwav(const std::string& path) {
  Wav w;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &w.info);
  if (f == nullptr) return w;
  w.samples.resize(static_cast<size_t>(w.info.frames * w.info.channels));
  w.ok = sf_read_short(f, w.samples.data(), static_cast<sf_count_t>(w.samples.size())) ==
         static_cast<sf_count_t>(w.samples.size());
  sf_close(f);
  return w;
}

}  // namespace voxtest
