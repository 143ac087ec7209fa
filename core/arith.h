// Integer and conversion helpers with the engine's 32-bit semantics made
// explicit: products and sums wrap around as two's complement, divisions
// truncate toward zero, and float-to-integer conversions are defined for every
// input. None of them is undefined for any argument.
#pragma once

#include <cmath>
#include <cstdint>

namespace vox {

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

// Truncating division by a divisor that stays fixed for many divisions (a
// stage span, the mix divisor of the rests), without a division instruction:
// the quotient estimated through the divisor's reciprocal is exact to within
// one as long as |n| < 2^50, and the exact integer remainder corrects it.
// The divisor must not be 0.
class FixedDiv {
 public:
  explicit FixedDiv(int32_t d)
      : d_(d < 0 ? -int64_t{d} : int64_t{d}), sign_(d < 0 ? -1 : 0), inv_(1.0 / static_cast<double>(d_)) {}

  int64_t operator()(int64_t n) const {
    const int64_t s = n < 0 ? -1 : 0;
    const int64_t a = (n ^ s) - s;  // |n|
    int64_t q = static_cast<int64_t>(static_cast<double>(a) * inv_);
    const int64_t r = a - q * d_;
    if (r < 0)
      --q;
    else if (r >= d_)
      ++q;
    const int64_t t = s ^ sign_;  // negate when the signs differ
    return (q ^ t) - t;
  }

 private:
  int64_t d_;
  int64_t sign_;
  double inv_;
};

}  // namespace vox
