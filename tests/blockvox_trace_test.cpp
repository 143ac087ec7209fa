// The blockvox renderer's nine trace texts, received through setmsghook:
// their exact wording, their values, their order and when they appear, and
// the early end of the diagnostics switch 5.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "blockvox.h"
#include "blockvox_fixture.h"

namespace {

using bvtest::Opts;
using bvtest::render;
using bvtest::setall;
using bvtest::texts;
using Texts = std::vector<std::string>;

const std::vector<int16_t> kFive{0, 400, -400, 801, 1001};

class Trace : public bvtest::Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    bg.assign(1000, 0);
    srlen = 1000;
    o.srdata = bg.data();
  }
  std::vector<int16_t> bg;
  Opts o;
};

TEST_F(Trace, SwitchFiveEndsAtTheFirstPlayableCode) {
  o.tracepos = 5;
  std::vector<int16_t> out(2000, 7);
  out[0] = -321;
  EXPECT_EQ(render({148, 150, 10, 149}, out, o), -30);
  EXPECT_EQ(datapos, 2);
  EXPECT_EQ(out, std::vector<int16_t>(2000, 0));
  EXPECT_EQ(texts(), (Texts{"start,srlen 1000,sampdata[0] -321", "sampdata cleared", "code 148,datapos 0",
                            "code 150,datapos 1"}));
  for (const bvtest::Shown& s : bvtest::shown()) EXPECT_EQ(s.caption, "");

  struct Case {
    std::vector<int16_t> block;
    int32_t result, datapos;
  };
  const Case cases[] = {
      {{149}, 0, 1},
      {{139}, -1, 0},
      {{148, 149}, 0, 2},
      {{147, 5, 149}, -30, 1},
      {{151, 1011, 15, 8, 149}, -30, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(render(c.block, out, o), c.result) << ::testing::PrintToString(c.block);
    EXPECT_EQ(datapos, c.datapos) << ::testing::PrintToString(c.block);
  }
}

// A glide note at entry 0 that ends at entry 7, a rest, an end of phrase
// with one silent tap. A negative switch shows every text but those of the
// rest loop; steady samples up to samppos 7 are traced, glide samples not.
TEST_F(Trace, NoteRestAndTailInOrder) {
  setall(1, {0, 6400, -6400, 0, 0, 0, 0, 0});
  o.samprate = 256;
  o.echodel = {1};
  o.echogain = {0.0f};
  const Texts want{"start,srlen 1000,sampdata[0] 77",
                   "sampdata cleared",
                   "code 152,datapos 0",
                   "freq[0] 8,totdur 3",
                   "totsamp 7",
                   "samppos 0,val 1600,srcnt 0 ",
                   "samppos 1,val 3200,srcnt 1 ",
                   "samppos 4,val 200,srcnt 4 ",
                   "samppos 5,val -4200,srcnt 5 ",
                   "code 150,datapos 7",
                   "totdel 1,samppos 8"};
  for (int32_t tracepos : {-1, 1}) {
    bvtest::resetsrcnt();
    bvtest::shown().clear();
    o.tracepos = tracepos;
    std::vector<int16_t> out(20, 77);
    ASSERT_EQ(render({152, 901, 8, 1, 1, 11, 1, 150, 1, 149}, out, o), 8) << tracepos;
    EXPECT_EQ(texts(), want) << tracepos;
  }
}

// The two texts of the rest loop appear for a positive switch only, for the
// samples up to samppos 4; "In else part" only without echo, with the
// address of the output buffer.
TEST_F(Trace, RestLoopTexts) {
  o.samprate = 200;
  std::vector<int16_t> out(10, 5);
  const std::string addr = std::to_string(reinterpret_cast<intptr_t>(out.data()));
  struct Case {
    int32_t tracepos;
    bool echo;
  };
  for (const Case c : {Case{1, false}, Case{1, true}, Case{-1, false}, Case{-1, true}, Case{7, false}}) {
    bvtest::shown().clear();
    out.assign(10, 5);
    o.tracepos = c.tracepos;
    o.echodel = c.echo ? std::vector<int16_t>{1} : std::vector<int16_t>{};
    o.echogain = c.echo ? std::vector<float>{0.0f} : std::vector<float>{};
    ASSERT_EQ(render({150, 3, 149}, out, o), 6);
    Texts want{"start,srlen 1000,sampdata[0] 5", "sampdata cleared", "code 150,datapos 0"};
    if (c.tracepos > 0) {
      for (int k = 0; k <= 4; ++k) {
        want.push_back("numecho " + std::to_string(c.echo ? 1 : 0) + ",samppos " + std::to_string(k));
        if (!c.echo) want.push_back("In else part, " + addr);
      }
    }
    want.push_back("code 149,datapos 2");
    if (c.echo) want.push_back("totdel 1,samppos 6");
    EXPECT_EQ(texts(), want) << c.tracepos << " " << c.echo;
  }
}

// The steady-sample text shows the value after the echo and the background
// position of that very sample.
TEST_F(Trace, SampleTextShowsTheEchoedValue) {
  setall(0, kFive);
  std::vector<int16_t> out(12);
  ASSERT_EQ(render({150, 3, 149}, out, o), 3);  // the background moves on to 3
  bvtest::shown().clear();
  o.echodel = {2};
  o.echogain = {0.5f};
  o.tracepos = 2;
  ASSERT_EQ(render({151, 900, 15, 9, 149}, out, o), 9);
  EXPECT_EQ(texts(), (Texts{"start,srlen 1000,sampdata[0] 0", "sampdata cleared", "code 151,datapos 0",
                            "freq[0] 15,totdur 9", "totsamp 9", "samppos 0,val 150,srcnt 3 ",
                            "samppos 1,val 0,srcnt 4 ", "samppos 2,val 25,srcnt 5 ", "samppos 3,val 400,srcnt 6 ",
                            "samppos 4,val 487,srcnt 7 ", "samppos 5,val 450,srcnt 8 ",
                            "samppos 6,val 293,srcnt 9 ", "samppos 7,val 425,srcnt 10 ",
                            "code 149,datapos 4", "totdel 2,samppos 9"}));
}

// The note texts need the note to end within the first eight entries: a
// three-segment note at entry 0 ends at 10 and shows none of them; a refused
// note shows none either.
TEST_F(Trace, NoteTextsOnlyForEarlyNotes) {
  setall(0, kFive);
  o.tracepos = -1;
  std::vector<int16_t> out(4);
  ASSERT_EQ(render({153, 900, 15, 1, 0, 15, 1, 0, 15, 1, 149}, out, o), 3);
  EXPECT_EQ(texts(), (Texts{"start,srlen 1000,sampdata[0] 0", "sampdata cleared", "code 153,datapos 0",
                            "samppos 0,val 300,srcnt 0 ", "samppos 1,val 0,srcnt 1 ",
                            "samppos 2,val -99,srcnt 2 "}));

  // The buffer comes back with the last call's first sample, 300.
  bvtest::shown().clear();
  ASSERT_EQ(render({151, 1011, 15, 1, 149}, out, o), -110);
  EXPECT_EQ(texts(), (Texts{"start,srlen 1000,sampdata[0] 300", "sampdata cleared", "code 151,datapos 0"}));
}

TEST_F(Trace, NoTextsWithoutTheSwitch) {
  setall(0, kFive);
  o.echodel = {1};
  o.echogain = {0.5f};
  std::vector<int16_t> out(20);
  ASSERT_EQ(render({150, 2, 151, 900, 15, 3, 149}, out, o), 5);
  EXPECT_TRUE(bvtest::shown().empty());
}

}  // namespace
