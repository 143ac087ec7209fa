#include "tonemix.h"

#include <cmath>
#include <cstring>

#include "arith.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define VOX_HAVE_LANES 1
#else
#define VOX_HAVE_LANES 0
#endif

namespace vox {

namespace {

// One sample: the same steps as the lanes below, in scalar double.
inline int16_t mixone(const ToneRun& r, int32_t j) {
  const double q = std::trunc(static_cast<double>(r.dv[j]) * static_cast<double>(r.off + j) / r.span);
  const double tone = static_cast<double>(r.v0[j]) + q;
  const double mix = tone * 10.0 * r.amp + static_cast<double>(r.bgw[j]);
  return low16(mixtrunc(mix / r.divisor));
}

void mixscalar(const ToneRun& r, int32_t from) {
  for (int32_t j = from; j < r.n; ++j) r.out[j] = mixone(r, j);
}

#if VOX_HAVE_LANES
// The low 16 bits of each 32-bit lane, as 16-bit lanes: sign-extending the
// low half first keeps the saturating pack from changing anything.
inline __m128i low16lanes(__m128i v) { return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(v, 16), 16), v); }

// Two samples per step. Each conversion to a 32-bit lane is in range: the
// quotient stays below 2^26 and |divisor| >= 2 keeps the mix below 2^31.
void mix2(const ToneRun& r) {
  const __m128d amp = _mm_set1_pd(r.amp);
  const __m128d div = _mm_set1_pd(r.divisor);
  const __m128d span = _mm_set1_pd(r.span);
  const __m128d ten = _mm_set1_pd(10.0);
  const __m128d step = _mm_set1_pd(2.0);
  __m128d off = _mm_set_pd(static_cast<double>(r.off) + 1.0, static_cast<double>(r.off));
  int32_t j = 0;
  for (; j + 2 <= r.n; j += 2) {
    const auto load = [&](const int32_t* p) {
      return _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + j)));
    };
    const __m128d q = _mm_cvtepi32_pd(_mm_cvttpd_epi32(_mm_div_pd(_mm_mul_pd(load(r.dv), off), span)));
    const __m128d tone = _mm_add_pd(load(r.v0), q);
    const __m128d mix = _mm_add_pd(_mm_mul_pd(_mm_mul_pd(tone, ten), amp), load(r.bgw));
    const int32_t pair = _mm_cvtsi128_si32(low16lanes(_mm_cvttpd_epi32(_mm_div_pd(mix, div))));
    std::memcpy(r.out + j, &pair, sizeof pair);
    off = _mm_add_pd(off, step);
  }
  mixscalar(r, j);
}

// Four samples per step, the same arithmetic in wider registers.
__attribute__((target("avx"), always_inline)) inline __m256d load4(const int32_t* p) {
  return _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

__attribute__((target("avx"))) void mix4(const ToneRun& r) {
  const __m256d amp = _mm256_set1_pd(r.amp);
  const __m256d div = _mm256_set1_pd(r.divisor);
  const __m256d span = _mm256_set1_pd(r.span);
  const __m256d ten = _mm256_set1_pd(10.0);
  const __m256d step = _mm256_set1_pd(4.0);
  const double o = r.off;
  __m256d off = _mm256_set_pd(o + 3.0, o + 2.0, o + 1.0, o);
  int32_t j = 0;
  for (; j + 4 <= r.n; j += 4) {
    const __m256d q = _mm256_cvtepi32_pd(_mm256_cvttpd_epi32(_mm256_div_pd(_mm256_mul_pd(load4(r.dv + j), off), span)));
    const __m256d tone = _mm256_add_pd(load4(r.v0 + j), q);
    const __m256d mix = _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(tone, ten), amp), load4(r.bgw + j));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(r.out + j),
                     low16lanes(_mm256_cvttpd_epi32(_mm256_div_pd(mix, div))));
    off = _mm256_add_pd(off, step);
  }
  // The compiler leaves the upper halves dirty when a function is only
  // given the instructions by its target attribute: cleared here, the
  // scalar code after it runs at full speed.
  _mm256_zeroupper();
  mixscalar(r, j);
}

bool has_avx() {
  static const bool yes = __builtin_cpu_supports("avx");
  return yes;
}
#endif

}  // namespace

void tonemix(const ToneRun& r) {
#if VOX_HAVE_LANES
  if (std::fabs(r.divisor) >= 2.0 && lanes_allowed != Lanes::one) {
    if (lanes_allowed == Lanes::four && has_avx())
      mix4(r);
    else
      mix2(r);
    return;
  }
#endif
  mixscalar(r, 0);
}

}  // namespace vox
