// The crossfade and mix of a stretch, with values worked out by hand, in
// every lane width: nine samples give full groups of four and of two and a
// last single sample.
#include "../core/tonemix.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

constexpr int32_t kN = 9;

struct MixCase {
  const char* what;
  int32_t v0, dv, bgw, off, span;
  double amp, divisor;
  std::array<int16_t, kN> want;
};

// Each case holds v0, dv and bgw for its nine samples; the offset grows by
// one per sample from off.
const MixCase kCases[] = {
    // q = trunc(-7j/8) rounds toward zero: 0, -0.875 -> 0, -1.75 -> -1, ...
    {"crossfade truncates toward zero", 100, -7, 0, 0, 8, 1.0, 10.0, {100, 100, 99, 98, 97, 96, 95, 94, 93}},
    // tone -5..3, mix 10 x tone + 3 = -47, -37, ..., 33, divided by 10.
    {"mix truncates toward zero", -5, 8, 3, 0, 8, 1.0, 10.0, {-4, -3, -2, -1, 0, 0, 1, 2, 3}},
    // 131071 x (span - 8 + j) / span lies just below 131071 until j = 8:
    // 131070 (low 16 bits -2), then 131071 (-1).
    {"quotient just below an integer", 0, 131071, 0, 2147483639, 2147483647, 1.0, 10.0,
     {-2, -2, -2, -2, -2, -2, -2, -2, -1}},
    // (2^31 - 1) / 2 = 1073741823.5 -> 0x3FFFFFFF, low 16 bits -1.
    {"largest background, divisor 2", 0, 0, 2147483647, 0, 8, 1.0, 2.0, {-1, -1, -1, -1, -1, -1, -1, -1, -1}},
    // (50 - 2^31) / 2 = -2^30 + 25: low 16 bits 25.
    {"smallest background, divisor 2", 5, 0, -2147483647 - 1, 0, 8, 1.0, 2.0, {25, 25, 25, 25, 25, 25, 25, 25, 25}},
    // 70000 / -1 = -70000 = -131072 + 61072 -> 61072 - 65536.
    {"divisor -1", 7000, 0, 0, 0, 8, 1.0, -1.0, {-4464, -4464, -4464, -4464, -4464, -4464, -4464, -4464, -4464}},
    // 10000 + 2^31 - 1 = 2^31 + 9999: beyond 32 bits' signed range, low 16 bits 9999.
    {"divisor 1 beyond 2^31", 1000, 0, 2147483647, 0, 8, 1.0, 1.0,
     {9999, 9999, 9999, 9999, 9999, 9999, 9999, 9999, 9999}},
    // Past the span's end the crossfade carries on: 1000 x o / 8 = 125 o for
    // o = 2040..2048 (the farthest reach, 256 spans): 255000 - 3 x 65536 =
    // 58392 -> -7144, then 125 more each.
    {"beyond the span", 0, 1000, 0, 2040, 8, 1.0, 10.0,
     {-7144, -7019, -6894, -6769, -6644, -6519, -6394, -6269, -6144}},
    // trunc(7 o / 3) for o = 760..768: 5320 / 3 = 1773.3, 5327 / 3 = 1775.7, ...
    {"beyond the span, truncated", 0, 7, 0, 760, 3, 1.0, 10.0, {1773, 1775, 1778, 1780, 1782, 1785, 1787, 1789, 1792}},
    // tone 3 + trunc(-6j/8) = 3, 3, 2, 1, 0, 0, -1, -2, -3; mix 5 x tone / 10.
    {"half amplitude", 3, -6, 0, 0, 8, 0.5, 10.0, {1, 1, 1, 0, 0, 0, 0, -1, -1}},
};

TEST(Tonemix, HandWorkedRunsInEveryLaneWidth) {
  for (const vox::Lanes lanes : {vox::Lanes::four, vox::Lanes::two, vox::Lanes::one}) {
    vox::lanes_allowed = lanes;
    for (const MixCase& c : kCases) {
      const std::vector<int32_t> v0(kN, c.v0), dv(kN, c.dv), bgw(kN, c.bgw);
      std::array<int16_t, kN + 2> out;
      out.fill(0x5555);  // a guard sample on each side
      vox::tonemix({v0.data(), dv.data(), bgw.data(), kN, c.off, c.span, c.amp, c.divisor, out.data() + 1});
      for (int32_t j = 0; j < kN; ++j)
        EXPECT_EQ(out[static_cast<size_t>(j) + 1], c.want[static_cast<size_t>(j)])
            << c.what << ", sample " << j << ", lanes " << static_cast<int>(lanes);
      EXPECT_EQ(out.front(), 0x5555) << c.what;
      EXPECT_EQ(out.back(), 0x5555) << c.what;
    }
  }
  vox::lanes_allowed = vox::Lanes::four;
}

}  // namespace
