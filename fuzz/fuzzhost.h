// What every fuzz target plays: a host that hands the engine whatever the
// interface allows and checks afterwards that the engine kept to its side.
// Host buffers are exact-sized and sit between guard zones (poisoned for
// AddressSanitizer, so a stray read is caught at once, and filled with a
// pattern that is checked after every call); input files live in memory
// files reached through /proc/self/fd.
#pragma once

#include <sanitizer/asan_interface.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cfenv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "voxdefs.h"

namespace vox {
extern int32_t srcnt;  // not exported; the fuzz targets link the engine directly
}

namespace fuzzhost {

// Stops the run with a message; libFuzzer keeps the input as a crash.
[[noreturn]] inline void fail(const char* what, long a = 0, long b = 0) {
  std::fprintf(stderr, "fuzz check failed: %s (%ld, %ld)\n", what, a, b);
  std::abort();
}
#define FUZZ_CHECK(cond, ...) \
  do {                        \
    if (!(cond)) ::fuzzhost::fail(#cond __VA_OPT__(, ) __VA_ARGS__); \
  } while (0)

// Reads the fuzz input front to back; past its end every field reads 0, so
// any input decodes.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : p_(data), n_(size) {}
  uint8_t u8() { return i_ < n_ ? p_[i_++] : 0; }
  int8_t i8() { return static_cast<int8_t>(u8()); }
  uint16_t u16() {
    const uint16_t lo = u8();
    return static_cast<uint16_t>(lo | u8() << 8);
  }
  int16_t i16() { return static_cast<int16_t>(u16()); }
  uint32_t u32() {
    const uint32_t lo = u16();
    return lo | uint32_t{u16()} << 16;
  }
  int32_t i32() { return static_cast<int32_t>(u32()); }
  // A float from 16 bits placed high: every class of value (zero, denormal,
  // normal, infinite, NaN) of either sign is reachable, and 0x3F00 is 0.5.
  float f16() {
    const uint32_t bits = uint32_t{u16()} << 16;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
  // Up to count bytes from here on.
  std::vector<uint8_t> bytes(size_t count) {
    const size_t take = count < n_ - i_ ? count : n_ - i_;
    std::vector<uint8_t> v(p_ + i_, p_ + i_ + take);
    i_ += take;
    return v;
  }
  std::vector<uint8_t> rest() { return bytes(n_ - i_); }
  size_t left() const { return n_ - i_; }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t i_ = 0;
};

// pattern[i % size], or 0 for an empty pattern.
inline uint8_t cycle(const std::vector<uint8_t>& pattern, size_t i) {
  return pattern.empty() ? 0 : pattern[i % pattern.size()];
}

// A host buffer of exactly count elements between two guard zones.
template <class T>
class Guarded {
 public:
  static constexpr size_t kGuard = 64;  // bytes, a multiple of the shadow granule
  static constexpr uint8_t kFill = 0xA5;

  explicit Guarded(size_t count) : count_(count), raw_(kGuard + count * sizeof(T) + kGuard) {
    std::memset(raw_.data(), kFill, raw_.size());
    poison(true);
  }
  ~Guarded() { poison(false); }
  Guarded(const Guarded&) = delete;
  Guarded& operator=(const Guarded&) = delete;

  T* data() { return reinterpret_cast<T*>(raw_.data() + kGuard); }
  const T* data() const { return reinterpret_cast<const T*>(raw_.data() + kGuard); }
  size_t size() const { return count_; }
  T& operator[](size_t i) { return data()[i]; }
  std::vector<T> copy() const { return std::vector<T>(data(), data() + count_); }
  bool same(const std::vector<T>& v) const { return count_ == 0 || std::memcmp(data(), v.data(), count_ * sizeof(T)) == 0; }

  // Both guard zones still hold their pattern.
  void check(const char* name) {
    poison(false);
    const uint8_t* tail = raw_.data() + kGuard + count_ * sizeof(T);
    for (size_t i = 0; i < kGuard; ++i)
      if (raw_[i] != kFill || tail[i] != kFill) fail(name, static_cast<long>(i), static_cast<long>(count_));
    poison(true);
  }

 private:
  void poison(bool on) {
    uint8_t* tail = raw_.data() + kGuard + count_ * sizeof(T);
    if (on) {
      ASAN_POISON_MEMORY_REGION(raw_.data(), kGuard);
      ASAN_POISON_MEMORY_REGION(tail, kGuard);
    } else {
      ASAN_UNPOISON_MEMORY_REGION(raw_.data(), raw_.size());
    }
  }

  size_t count_;
  // Over-aligned so that the data starts on a shadow granule.
  struct alignas(16) Byte16 {
    uint8_t b[16];
  };
  class Raw {
   public:
    explicit Raw(size_t n) : n_(n), v_((n + 15) / 16 + 1) {}
    uint8_t* data() { return reinterpret_cast<uint8_t*>(v_.data()); }
    const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(v_.data()); }
    size_t size() const { return n_; }
    uint8_t& operator[](size_t i) { return data()[i]; }

   private:
    size_t n_;
    std::vector<Byte16> v_;
  } raw_;
};

// A file of the given bytes, kept in memory and opened by path. One object is
// reused for every input.
class MemFile {
 public:
  explicit MemFile(const char* name) : fd_(memfd_create(name, 0)) {
    if (fd_ < 0) fail("memfd_create");
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  void set(const std::vector<uint8_t>& bytes) {
    if (ftruncate(fd_, 0) != 0) fail("ftruncate");
    if (!bytes.empty() && pwrite(fd_, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
      fail("pwrite");
  }
  const char* path() const { return path_.c_str(); }

 private:
  int fd_;
  std::string path_;
};

// The path a loader is given: the memory file, a file that does not exist,
// or a directory.
inline const char* pickpath(uint8_t kind, const MemFile& f) {
  switch (kind & 3) {
    case 1: return "/nonexistent/vox-fuzz";
    case 2: return "/proc/self";
    default: return f.path();
  }
}

// The lowest file descriptor that is free: a file left open by a call shows
// as a change of it.
inline int lowestfreefd() {
  const int fd = dup(0);
  if (fd < 0) fail("dup");
  close(fd);
  return fd;
}

// The host's message hook: every text must be a terminated string of
// reasonable length.
inline long g_messages = 0;
inline void VOXCALL msghook(const char* text, const char* caption) {
  FUZZ_CHECK(text != nullptr && caption != nullptr);
  FUZZ_CHECK(std::strlen(text) < 128, static_cast<long>(std::strlen(text)));
  FUZZ_CHECK(std::strlen(caption) < 8);
  ++g_messages;
}

// A rounding mode for the host to leave set while it calls the engine.
inline int hostround(uint8_t sel) {
  static constexpr int modes[4] = {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO};
  return modes[sel & 3];
}

// A sample buffer of bufbytes bytes as the host owns it: bufbytes / 2
// samples (none for less than 2 bytes).
inline size_t samplesof(int32_t bufbytes) { return bufbytes >= 2 ? static_cast<size_t>(bufbytes / 2) : 0; }

}  // namespace fuzzhost
