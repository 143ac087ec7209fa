// Integer and conversion helpers with the engine's 32-bit semantics made
// explicit: products and sums wrap around as two's complement, divisions
// truncate toward zero, and float-to-integer conversions are defined for every
// input. None of them is undefined for any argument.
#pragma once

#include <cmath>
#include <cstdint>

// Processors with SSE4.1 truncate a double without leaving the floating-point
// registers (roundsd); the echo checks for it at run time.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VOX_HAVE_ROUND 1
#else
#define VOX_HAVE_ROUND 0
#endif

namespace vox {

#if VOX_HAVE_ROUND
inline bool has_round() {
  static const bool yes = __builtin_cpu_supports("sse4.1");
  return yes;
}
#endif
// Tests clear this to run the portable paths on a processor with SSE4.1.
inline bool round_allowed = true;

constexpr int32_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
constexpr int32_t mul32(int32_t a, int32_t b) { return wrap32(int64_t{a} * b); }
constexpr int32_t add32(int32_t a, int32_t b) { return wrap32(int64_t{a} + b); }
constexpr int32_t sub32(int32_t a, int32_t b) { return wrap32(int64_t{a} - b); }
// Truncating division; b must not be 0. INT32_MIN / -1 wraps.
constexpr int32_t div32(int32_t a, int32_t b) { return b == -1 ? wrap32(-int64_t{a}) : a / b; }
// The low 16 bits of a value, as stored in an output sample.
constexpr int16_t low16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(v))); }

// Truncates toward zero and keeps the low 32 bits of the exact integer, so
// that the low 16 bits of any finite value survive. NaN and infinities give 0.
inline int32_t trunc32(double x) {
  if (std::fabs(x) < 2147483648.0) return static_cast<int32_t>(x);
  if (std::fabs(x) < 9.0e18) return wrap32(static_cast<int64_t>(x));
  if (!std::isfinite(x)) return 0;
  // Beyond 2^53 every double is an integer; fmod is exact.
  return wrap32(static_cast<int64_t>(std::fmod(x, 4294967296.0)));
}

// trunc32 of a mixed value, whose magnitude stays below 2^36 (two 32-bit
// terms over a divisor of at least 1): on 64-bit targets the 64-bit
// conversion keeps its low bits without trunc32's range tests.
inline int32_t mixtrunc(double x) {
#if INTPTR_MAX == INT64_MAX
  return wrap32(static_cast<int64_t>(x));
#else
  return trunc32(x);
#endif
}

// Truncating division of a 64-bit numerator by a 32-bit divisor that stays
// fixed for many divisions (a stage span, the mix divisor of the rests).
// On 64-bit processors the hardware divider is the fastest exact way: a
// reciprocal product, in floating point with a remainder correction or in
// integers with a 128-bit product, measured slower. On 32-bit targets the
// wide division is a library call, so numerators that fit in 32 bits, nearly
// all of them, take the narrow one. The divisor must not be 0.
class FixedDiv {
 public:
  explicit FixedDiv(int32_t d) : d_(d) {}

  int64_t operator()(int64_t n) const {
#if INTPTR_MAX == INT64_MAX
    return n / d_;
#else
    // -1 would overflow the narrow division for INT32_MIN.
    if (n == static_cast<int32_t>(n) && d_ != -1) return static_cast<int32_t>(n) / d_;
    return n / d_;
#endif
  }

 private:
  int32_t d_;
};

}  // namespace vox
