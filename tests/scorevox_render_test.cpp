#include <gtest/gtest.h>

#include <vector>

#include "scorevox.h"

TEST(Smoke, SteadyNote) {
  numtb = 6;
  tblsize[0] = 4;
  const int16_t table[4] = {0, 1000, 2000, 3000};
  for (int s = 0; s < 6; ++s)
    for (int i = 0; i < 4; ++i) wtb[0][s][i] = table[i];
  const int32_t stream[] = {151, 900, 125, 8, 149, 139};
  std::copy(std::begin(stream), std::end(stream), tdata);
  std::vector<int16_t> out(20, 7);
  std::vector<int16_t> bg(10, 0);
  srlen = 10;
  int32_t r = wrtbin16(1, 0, out.data(), 40, bg.data(), 100, 0, 0, 0, 0, 0, nullptr, nullptr, 0);
  ASSERT_EQ(r, 8);
  const int16_t want[8] = {500, 1000, 1500, 2000, 2500, 3000, 1500, 0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], want[i]) << i;
  EXPECT_EQ(out[8], 7);
  EXPECT_EQ(datapos, 5);
  EXPECT_EQ(wrtbin16(0, 0, out.data(), 40, bg.data(), 100, 0, 0, 0, 0, 0, nullptr, nullptr, 0), -1);
}
