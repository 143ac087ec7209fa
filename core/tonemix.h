// The crossfade and mix of a stretch of tone samples, many at a time. The
// note synthesiser works out, sample after sample (the phase is a running
// sum), the earlier stage's value v0, the later stage's difference dv and the
// weighted background bgw; this unit then crossfades each tone value between
// its stages, mixes it with the background and stores its low 16 bits:
//
//   tone = v0 + trunc(dv * off / span)
//   out  = low16(trunc((10 * tone * amp + bgw) / divisor))
//
// It is only given stretches whose offsets o = off + j satisfy
// 0 <= o <= kToneReach x span (span > 0; past the stage's end the crossfade
// carries on beyond the later stage) and o < 2^31, and tone values from the
// interpolation: |v0| < 2^17, |dv| < 2^18. Then every step is exact in
// double and nothing wraps:
//   - |dv x o| < 2^49, exact; an exact quotient m - f just below an integer
//     m lies at least 1/|dv x o| > 2^-50 of m below it, beyond double's
//     rounding, so the truncated double division is the integer quotient;
//   - |quotient| <= kToneReach x |dv| < 2^26 and |tone| < 2^27, so
//     10 x tone stays below 2^31;
//   - |mix| < 10 x 2^27 + 2^31 (amp <= 1), so with |divisor| >= 2 the
//     truncated mix fits a 32-bit lane (divisors of magnitude 1 take the
//     64-bit conversion, one sample at a time).
// So each sample is the one the 64-bit integer crossfade gives, whether
// lanes of four, two or one are used.
#pragma once

#include <cstdint>

namespace vox {

// How far past a stage's span (in spans) its crossfade may be continued.
inline constexpr int32_t kToneReach = 256;

struct ToneRun {
  const int32_t* v0;   // earlier stage
  const int32_t* dv;   // later stage minus earlier
  const int32_t* bgw;  // background x srweight, wrapped to 32 bits
  int32_t n;           // samples
  int32_t off;         // offset of the first sample from its stage's start
  int32_t span;        // the stage's length, above 0
  double amp;
  double divisor;      // srweight + 10, not 0
  int16_t* out;
};

// The widest lanes a processor may use; tests lower it to reach the narrower
// paths on a processor that has them all.
enum class Lanes { one, two, four };
inline Lanes lanes_allowed = Lanes::four;

// Mixes run.n samples into run.out.
void tonemix(const ToneRun& run);

}  // namespace vox
