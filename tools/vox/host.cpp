#include "host.h"

#include <algorithm>

#include "fileio.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace voxtool {

const char* libname(LibKind k) {
  switch (k) {
    case LibKind::scorevox: return "scorevox";
    case LibKind::dryvox: return "dryvox";
    case LibKind::blockvox: return "blockvox";
  }
  return "?";
}

namespace {

std::string exedir() {
#if defined(_WIN32)
  char buf[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  std::string p(buf, n);
#else
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string p(buf, static_cast<size_t>(n));
#endif
  const auto slash = p.find_last_of("/\\");
  return slash == std::string::npos ? "" : p.substr(0, slash + 1);
}

void* openlib(const std::string& path) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
#else
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

std::string lasterror() {
#if defined(_WIN32)
  return "error " + std::to_string(GetLastError());
#else
  const char* e = dlerror();
  return e != nullptr ? e : "unknown error";
#endif
}

}  // namespace

Library::Library(LibKind kind, const std::string& path) {
#if defined(_WIN32)
  const std::string file = std::string(libname(kind)) + "32.dll";
#else
  const std::string file = std::string("lib") + libname(kind) + ".so";
#endif
  std::vector<std::string> tries;
  if (!path.empty()) {
    tries.push_back(path);
  } else {
    const std::string dir = exedir();
    if (!dir.empty()) tries.push_back(dir + file);
    tries.push_back(file);
  }
  std::string why;
  for (const auto& t : tries) {
    handle_ = openlib(t);
    if (handle_ != nullptr) {
      where_ = t;
      return;
    }
    why = lasterror();
  }
  throw Error(std::string("cannot load the ") + libname(kind) + " library " + tries.front() + " (" + why + ")");
}

Library::~Library() {
  if (handle_ == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

void* Library::function(const char* name, int argbytes) const {
#if defined(_WIN32)
  const std::string decorated = std::string(name) + "@" + std::to_string(argbytes);
  void* p = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), decorated.c_str()));
  if (p == nullptr) p = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
  (void)argbytes;
  void* p = dlsym(handle_, name);
#endif
  if (p == nullptr) throw Error(where_ + ": has no function " + name);
  return p;
}

void* Library::data(const char* name) const {
#if defined(_WIN32)
  void* p = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
  void* p = dlsym(handle_, name);
#endif
  if (p == nullptr) throw Error(where_ + ": has no variable " + name);
  return p;
}

namespace {
// samprate x d / 100 in 32-bit integers, as the engine computes a duration.
int32_t durationsamples(int32_t samprate, int32_t d) {
  const auto prod = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(samprate) * d));
  return prod / 100;
}
}  // namespace

int64_t notesamples(const std::vector<int32_t>& durations, int32_t samprate) {
  // The note's sample loops run while the sample index is below each
  // boundary in turn, so it ends at the largest of them (none below 0).
  int64_t pos = 0;
  int64_t end = 0;
  for (int32_t d : durations) {
    pos += durationsamples(samprate, d);
    end = std::max(end, pos);
  }
  return end;
}

Walk walkstream(const int32_t* words, size_t count, int32_t samprate, bool block) {
  Walk w;
  int64_t audio = 0;   // samples before the current phrase
  int64_t phrase = 0;  // samples of the current phrase so far
  size_t i = 0;
  while (i < count) {
    w.eventat[static_cast<int64_t>(i)] = audio + phrase;
    const int32_t code = words[i];
    if (code == 139) {
      w.ended = true;
      break;
    }
    if (code == 149) {
      w.phrases.push_back(phrase);
      audio += phrase;
      phrase = 0;
      ++i;
      continue;
    }
    if (code == 148 && block) {
      ++i;
      continue;
    }
    const int32_t n = code - 150;
    if (n < 0 || n > 20) {
      i += 2;
      continue;
    }
    if (n == 0) {
      if (i + 1 >= count) break;
      phrase += std::max<int32_t>(0, durationsamples(samprate, words[i + 1]));
      i += 2;
      continue;
    }
    const size_t len = 3 * static_cast<size_t>(n) + 1;
    if (i + len > count) break;
    const int32_t head = words[i + 1];
    if (head < 0 || head % 100 > 10) {
      w.stopat = static_cast<int64_t>(i);
      break;
    }
    std::vector<int32_t> durs;
    for (int32_t s = 0; s < n; ++s) {
      durs.push_back(words[i + 3 + 3 * static_cast<size_t>(s)]);
      if (s + 1 < n) durs.push_back(words[i + 4 + 3 * static_cast<size_t>(s)]);
    }
    phrase += notesamples(durs, samprate);
    i += len;
  }
  w.unplayed = phrase;
  return w;
}

}  // namespace voxtool
