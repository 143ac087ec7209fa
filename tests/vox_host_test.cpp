// `vox render` gives the same samples as a host that calls the library
// itself: load, then one renderer call per phrase into a large buffer until
// the end of the score. Built once against scorevox and once (VOX_DRY)
// against dryvox.
#include <gtest/gtest.h>

#include <vector>

#include "voxrun.h"

#ifdef VOX_DRY
#include "dryvox.h"
#else
#include "scorevox.h"
#endif

using namespace voxtest;

TEST(RenderMatchesTheLibrary, DemoMaterial) {
  TempDir d;
  // The demo's bank and background, and its score (in tenths of a hertz,
  // which dryvox reads as hertz: ten times higher, still a valid score).
  Result r = run(std::string(BUILD_DIR) + "/vox-demo-background " + d / "src.wav");
  ASSERT_EQ(r.status, 0) << r.out;
  r = run(vox() + " background import " + d / "src.wav" + " --rate 22050 -o " + d / "bg.wav");
  ASSERT_EQ(r.status, 0) << r.out;
  r = run(vox() + " bank build " + DEMO_DIR + "/bank.vxb -o " + d / "bank.bin");
  ASSERT_EQ(r.status, 0) << r.out;
  r = run(vox() + " score compile " + DEMO_DIR + "/demo.vxs -o " + d / "score.bin");
  ASSERT_EQ(r.status, 0) << r.out;

#ifdef VOX_DRY
  const std::string opts = " --dry --transpose 2/3 -e 1 -w 7";
#else
  const std::string opts = " --transpose 3/2 -e 3 -w 4 --echo 300:0.5,700:0.25,50:0.75";
#endif
  r = run(vox() + " render " + d / "score.bin" + " -b " + d / "bank.bin" + " -l 2 -g " + d / "bg.wav" +
          " -r 22050" + opts + " -o " + d / "vox.wav");
  ASSERT_EQ(r.status, 0) << r.out;
  const Wav w = readwav(d / "vox.wav");
  ASSERT_TRUE(w.ok);

  std::vector<char> captext(4096);
  std::vector<int32_t> cappos(64);
  std::vector<int16_t> srdata(1 << 17);
  std::vector<int16_t> buf(1 << 18);
  std::vector<int16_t> direct;
#ifdef VOX_DRY
  ASSERT_GT(rdtalbin16((d / "score.bin").c_str(), (d / "bank.bin").c_str(), (d / "bg.wav").c_str(), 0,
                       captext.data(), cappos.data(), srdata.data(), 2, 0),
            0);
  for (int call = 0;; ++call) {
    const int32_t n = wtalbin16(call == 0, call == 0, 0, buf.data(), static_cast<int32_t>(2 * buf.size()),
                                srdata.data(), 22050, 1, 7, 2, 3, 0);
#else
  const int16_t del[] = {300, 700, 50};
  const float gain[] = {0.5f, 0.25f, 0.75f};
  ASSERT_GT(rdbin16((d / "score.bin").c_str(), (d / "bank.bin").c_str(), (d / "bg.wav").c_str(), 0,
                    captext.data(), cappos.data(), srdata.data(), 2, 0),
            0);
  for (int call = 0;; ++call) {
    const int32_t n = wrtbin16(call == 0, 0, buf.data(), static_cast<int32_t>(2 * buf.size()), srdata.data(),
                               22050, 3, 4, 3, 2, 3, del, gain, 0);
#endif
    if (n == -1) break;
    ASSERT_GE(n, 0);
    ASSERT_LT(call, 10);
    direct.insert(direct.end(), buf.begin(), buf.begin() + n);
  }
  EXPECT_EQ(direct.size(), 136710u);
  EXPECT_TRUE(w.samples == direct) << "vox and the library differ";
}
