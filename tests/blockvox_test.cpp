// The blockvox block renderer: the block's codes and how datapos moves, the
// rest and its background mix, the full-buffer cut, the echo with its
// 12000-sample tail, notes with samples worked out by hand, and the argument
// checks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "blockvox.h"
#include "blockvox_fixture.h"

namespace {

using bvtest::Engine;
using bvtest::Opts;
using bvtest::render;
using bvtest::setall;

// A five-sample table whose phases at 15 Hz and 100 samples per second
// (steps of 0.75) are exact: the samples are easy to work out by hand.
const std::vector<int16_t> kFive{0, 400, -400, 801, 1001};

class Blocks : public Engine {};

// Blocks without a sound: what each code does to datapos and the result.
// The host's buffer is cleared whatever the block holds.
TEST_F(Blocks, CodesMoveDataposAndClearTheBuffer) {
  setall(0, kFive);
  struct Case {
    std::vector<int16_t> block;
    int32_t result;
    int32_t datapos;
  };
  const Case cases[] = {
      {{149}, 0, 1},
      {{139}, -1, 0},
      {{148, 149}, 0, 2},
      {{148, 148, 139}, -1, 2},
      {{147, 5, 149}, 0, 3},
      {{171, 5, 149}, 0, 3},
      {{200, 149, 149}, 0, 3},       // the word after an unknown code is never a code
      {{-1, 150, 149}, 0, 3},        // a negative code is unknown too
      {{150, 0, 149}, 0, 3},         // a rest of no length
      {{150, -5, 149}, 0, 3},        // 0xFFFB is -5 centiseconds, not 65531
      {{151, 1011, 440, 10, 149}, -110, 2},
      {{151, 32767, 440, 10, 149}, -670, 2},
      {{151, -1, 440, 10, 149}, -100, 2},  // 0xFFFF is a negative head word
      {{151, -32768, 440, 10, 149}, -100, 2},
  };
  for (const Case& c : cases) {
    std::vector<int16_t> out(16, 7);
    datapos = 99;
    EXPECT_EQ(render(c.block, out, {}), c.result) << ::testing::PrintToString(c.block);
    EXPECT_EQ(datapos, c.datapos) << ::testing::PrintToString(c.block);
    EXPECT_EQ(out, std::vector<int16_t>(16, 0)) << ::testing::PrintToString(c.block);
  }
  EXPECT_TRUE(bvtest::shown().empty());
}

TEST_F(Blocks, RefusedNoteKeepsWhatCameBefore) {
  std::vector<int16_t> bg{40, 40, 40, 40};
  srlen = 4;
  std::vector<int16_t> out(8, 7);
  Opts o;
  o.srweight = 10;
  o.srdata = bg.data();
  EXPECT_EQ(render({150, 3, 152, 1015, 440, 1, 1, 220, 1, 149}, out, o), -150);
  EXPECT_EQ(datapos, 4);
  EXPECT_EQ(out, (std::vector<int16_t>{20, 20, 20, 0, 0, 0, 0, 0}));
}

// 150 100 149 at 22050 samples per second: 22050 background samples, each
// srdata[srcnt] x srweight / (srweight + 10) truncated toward zero.
TEST_F(Blocks, RestPlaysTheBackgroundForItsLength) {
  std::vector<int16_t> bg(1000);
  for (size_t i = 0; i < bg.size(); ++i) bg[i] = static_cast<int16_t>(static_cast<int>(i % 7) - 3);  // -3..3
  srlen = 1000;
  std::vector<int16_t> out(22100, 7);
  Opts o;
  o.samprate = 22050;
  o.srweight = 10;
  o.srdata = bg.data();
  ASSERT_EQ(render({150, 100, 149}, out, o), 22050);
  EXPECT_EQ(datapos, 3);
  // -3 -2 -1 0 1 2 3 halve to -1 -1 0 0 0 1 1.
  const int16_t halves[7] = {-1, -1, 0, 0, 0, 1, 1};
  for (int k = 0; k < 22050; ++k) ASSERT_EQ(out[static_cast<size_t>(k)], halves[(k % 1000) % 7]) << k;
  for (size_t k = 22050; k < out.size(); ++k) ASSERT_EQ(out[k], 0) << k;

  // The next call goes on at background sample 22050 mod 1000 = 50.
  std::vector<int16_t> next(4);
  ASSERT_EQ(render({150, 1, 149}, next, o), 4);  // room for 4 of 220 samples
  EXPECT_EQ(next, (std::vector<int16_t>{halves[50 % 7], halves[51 % 7], halves[52 % 7], halves[53 % 7]}));
}

TEST_F(Blocks, WeightedRestTruncatesTowardZero) {
  std::vector<int16_t> bg{29, -29, 14, -14};
  srlen = 4;
  std::vector<int16_t> out(4);
  Opts o;
  o.srweight = 5;  // x 5 / 15
  o.srdata = bg.data();
  ASSERT_EQ(render({150, 4, 149}, out, o), 4);
  EXPECT_EQ(out, (std::vector<int16_t>{9, -9, 4, -4}));
}

// A full buffer ends the call with its capacity; nothing is written at or
// beyond it, and the event being played is dropped.
TEST_F(Blocks, FullBufferEndsTheCall) {
  std::vector<int16_t> bg{100, 100, 100, 100};
  srlen = 4;
  Opts o;
  o.srweight = 10;
  o.srdata = bg.data();
  o.bufbytes = 21;  // room for 10 samples

  std::vector<int16_t> out(14, 7);
  EXPECT_EQ(render({150, 20, 149}, out, o), 10);
  EXPECT_EQ(datapos, 2);
  EXPECT_EQ(out, (std::vector<int16_t>{50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 7, 7, 7, 7}));

  // A rest of exactly the room left: the 149 after it is not read.
  out.assign(14, 7);
  EXPECT_EQ(render({148, 150, 10, 149}, out, o), 10);
  EXPECT_EQ(datapos, 3);

  // A note cut short: datapos already stands after it.
  setall(0, kFive);
  out.assign(14, 7);
  EXPECT_EQ(render({151, 900, 15, 50, 150, 3, 149}, out, o), 10);
  EXPECT_EQ(datapos, 4);

  // No room at all: nothing is written.
  out.assign(2, 7);
  o.bufbytes = 1;
  EXPECT_EQ(render({150, 10, 149}, out, o), 0);
  EXPECT_EQ(out, (std::vector<int16_t>{7, 7}));
}

TEST_F(Blocks, FilledBufferCapturesNoTail) {
  std::vector<int16_t> bg{100, 100, 100, 100};
  srlen = 4;
  tailbuf[0] = 11;
  tailbuf[1] = 22;
  Opts o;
  o.srweight = 10;
  o.srdata = bg.data();
  o.echodel = {2};
  o.echogain = {0.0f};
  std::vector<int16_t> out(10);
  EXPECT_EQ(render({150, 10, 149}, out, o), 10);
  EXPECT_EQ(datapos, 2);
  EXPECT_EQ(tailbuf[0], 11);
  EXPECT_EQ(tailbuf[1], 22);
}

TEST_F(Blocks, ArgumentsThatCannotBeRenderedChangeNothing) {
  std::vector<int16_t> bg{100, 100};
  srlen = 2;
  const std::vector<int16_t> block{150, 1, 149};
  struct Case {
    const char* what;
    int32_t samprate, envtype, srweight;
    bool nullout, nullblock;
  };
  const Case cases[] = {
      {"samprate 0", 0, 0, 10, false, false},    {"envtype 5", 100, 5, 10, false, false},
      {"envtype -1", 100, -1, 10, false, false}, {"srweight -10", 100, 0, -10, false, false},
      {"no sampdata", 100, 0, 10, true, false},  {"no blkdata", 100, 0, 10, false, true},
  };
  for (const Case& c : cases) {
    std::vector<int16_t> out(4, 7);
    datapos = 42;
    const int32_t r = dwrblk16bin(c.nullblock ? nullptr : block.data(), c.nullout ? nullptr : out.data(), 8,
                                  bg.data(), c.samprate, c.envtype, c.srweight, 0, nullptr, 1, nullptr);
    EXPECT_EQ(r, -2) << c.what;
    EXPECT_EQ(datapos, 42) << c.what;
    EXPECT_EQ(out, std::vector<int16_t>(4, 7)) << c.what;
  }
  EXPECT_TRUE(bvtest::shown().empty());
}

TEST_F(Blocks, UnplayableSetsAreRefused) {
  std::vector<int16_t> out(8, 7);
  const std::vector<int16_t> block{151, 3, 15, 8, 149};
  struct Case {
    const char* what;
    int32_t size, stages;
  };
  const Case cases[] = {{"empty set", 0, 6}, {"table too long", 81, 6}, {"one stage", 5, 1}, {"seven stages", 5, 7}};
  for (const Case& c : cases) {
    tblsize[3] = c.size;
    numtb = c.stages;
    EXPECT_EQ(render(block, out, {}), -100) << c.what;
    EXPECT_EQ(datapos, 2) << c.what;
  }
}

TEST_F(Blocks, NoBackgroundIsSilent) {
  srlen = 0;
  std::vector<int16_t> out(3, 7);
  Opts o;
  o.srweight = 10;
  EXPECT_EQ(render({150, 3, 149}, out, o), 3);
  EXPECT_EQ(out, (std::vector<int16_t>{0, 0, 0}));
}

class Echo : public Engine {};

// One tap of delay 3 and gain 0.5 on rest samples of -101: the rest form
// truncates the whole sum; the first three samples mix the tail.
TEST_F(Echo, RestSamplesCarryTheEcho) {
  std::vector<int16_t> bg{-202};
  srlen = 1;
  tailbuf[0] = 40;
  tailbuf[1] = -40;
  tailbuf[2] = 7;
  tailbuf[3] = 1234;
  Opts o;
  o.srweight = 10;
  o.srdata = bg.data();
  o.echodel = {3};
  o.echogain = {0.5f};
  std::vector<int16_t> out(12, 9);
  ASSERT_EQ(render({150, 10, 149}, out, o), 10);
  // p0..2: -50.5 + tail x 0.5; from p3: -50.5 + out[p-3] x 0.5.
  EXPECT_EQ(out, (std::vector<int16_t>{-30, -70, -47, -65, -85, -74, -83, -93, -87, -92, 0, 0}));
  // The tail keeps the last totdel = 3 samples; the rest of it is untouched.
  EXPECT_EQ(tailbuf[0], -93);
  EXPECT_EQ(tailbuf[1], -87);
  EXPECT_EQ(tailbuf[2], -92);
  EXPECT_EQ(tailbuf[3], 1234);
}

// Delays 2 and 3 put the taps at 2 and 2 + 2 = 4 samples; while a sample
// lies below the running delay every later tap reads the tail too.
TEST_F(Echo, TapsAddUpTheirDelays) {
  std::vector<int16_t> bg{200};
  srlen = 1;
  const int16_t tail[5] = {-20, 10, 40, 8, 99};
  std::copy(std::begin(tail), std::end(tail), tailbuf);
  Opts o;
  o.srweight = 10;
  o.srdata = bg.data();
  o.echodel = {2, 3};
  o.echogain = {0.5f, 0.5f};
  std::vector<int16_t> out(9);
  ASSERT_EQ(render({150, 8, 149}, out, o), 8);
  EXPECT_EQ(out, (std::vector<int16_t>{10, 32, 47, 37, 41, 50, 58, 56, 0}));
  // totdel 5: the last five samples.
  EXPECT_EQ(std::vector<int16_t>(tailbuf, tailbuf + 5), (std::vector<int16_t>{37, 41, 50, 58, 56}));
}

// The same block twice: the background goes on and the second call's first
// samples hear the tail that the first call left.
TEST_F(Echo, SecondCallHearsTheFirstCallsTail) {
  std::vector<int16_t> bg(100);
  for (size_t i = 0; i < bg.size(); ++i) bg[i] = static_cast<int16_t>(40 * i + 2);  // rest values 20i + 1
  srlen = 100;
  Opts o;
  o.srweight = 10;
  o.srdata = bg.data();
  o.echodel = {2};
  o.echogain = {0.5f};
  const std::vector<int16_t> block{150, 4, 149};
  std::vector<int16_t> out(6);
  ASSERT_EQ(render(block, out, o), 4);
  EXPECT_EQ(out, (std::vector<int16_t>{0, 10, 20, 35, 0, 0}));
  ASSERT_EQ(render(block, out, o), 4);
  EXPECT_EQ(datapos, 3);
  EXPECT_EQ(out, (std::vector<int16_t>{50, 68, 85, 104, 0, 0}));
  EXPECT_EQ(tailbuf[0], 85);
  EXPECT_EQ(tailbuf[1], 104);
}

TEST_F(Echo, ShortPhraseAndEmptyPhraseTails) {
  std::vector<int16_t> bg{20, 40, 60};
  srlen = 3;
  for (int i = 0; i < 6; ++i) tailbuf[i] = 5;
  Opts o;
  o.srweight = 10;
  o.srdata = bg.data();
  o.echodel = {5};
  o.echogain = {0.0f};
  std::vector<int16_t> out(8);
  // Three samples under a delay of 5: the whole phrase, from its first sample.
  ASSERT_EQ(render({150, 3, 149}, out, o), 3);
  EXPECT_EQ(std::vector<int16_t>(tailbuf, tailbuf + 6), (std::vector<int16_t>{10, 20, 30, 5, 5, 5}));
  // 149 alone copies nothing.
  ASSERT_EQ(render({149}, out, o), 0);
  EXPECT_EQ(std::vector<int16_t>(tailbuf, tailbuf + 6), (std::vector<int16_t>{10, 20, 30, 5, 5, 5}));
}

// blockvox keeps 12000 tail samples: with a delay of 12000 and full gain a
// second call replays the first call's last 12000 samples.
TEST_F(Echo, TailHoldsTwelveThousandSamples) {
  std::vector<int16_t> bg(12010);
  for (size_t i = 0; i < bg.size(); ++i) bg[i] = static_cast<int16_t>(i);
  srlen = 12010;
  Opts o;
  o.srweight = 10;
  o.srdata = bg.data();
  o.echodel = {12000};
  o.echogain = {0.0f};
  std::vector<int16_t> out(12020);
  ASSERT_EQ(render({150, 12010, 149}, out, o), 12010);  // 100 samples per second
  EXPECT_EQ(tailbuf[0], 5);                              // rest value of sample 10: 10 x 10 / 20
  EXPECT_EQ(tailbuf[11999], 6004);                       // sample 12009

  o.echogain = {1.0f};
  std::vector<int16_t> again(12001);
  ASSERT_EQ(render({150, 12000, 149}, again, o), 12000);
  EXPECT_EQ(again[0], 5);
  EXPECT_EQ(again[11999], 6004);
  EXPECT_EQ(again[6000], 3005);
}

TEST_F(Echo, MissingTapArraysMeanNoEcho) {
  std::vector<int16_t> bg{100};
  srlen = 1;
  tailbuf[0] = 77;
  std::vector<int16_t> out(4, 7);
  const std::vector<int16_t> block{150, 2, 149};
  const int16_t del = 1;
  EXPECT_EQ(dwrblk16bin(block.data(), out.data(), 8, bg.data(), 100, 0, 10, 1, nullptr, 0, nullptr), 2);
  EXPECT_EQ(dwrblk16bin(block.data(), out.data(), 8, bg.data(), 100, 0, 10, 1, &del, 0, nullptr), 2);
  EXPECT_EQ(out, (std::vector<int16_t>{50, 50, 0, 0}));
  EXPECT_EQ(tailbuf[0], 77);
}

class Notes : public Engine {};

// A steady note of 15 Hz on the five-sample table at 100 samples per second:
// phases 0.75, 1.5, ..., 6.0, the first sample at phase = phinc; level 9
// and no background, so each sample is the interpolated table value.
TEST_F(Notes, SteadyNoteOnATinyTable) {
  setall(0, kFive);
  std::vector<int16_t> out(10, 7);
  ASSERT_EQ(render({151, 900, 15, 8, 149}, out, {}), 8);
  // 2.25 gives -400 + 1201 x 0.25 = -99.75, truncated toward zero.
  EXPECT_EQ(out, (std::vector<int16_t>{300, 0, -99, 801, 951, 500, 100, 400, 0, 0}));
  EXPECT_EQ(datapos, 5);
  EXPECT_EQ(freq[0], 15);
  EXPECT_EQ(dur[0], 8);
  EXPECT_EQ(sampsttr[0], 8);
}

// Pitch 440 on an 80-sample ramp at 22050: phinc = 35200 / 22050 rounded to
// a float, 1.5963719; the phases 1.5963719, 3.1927438, 4.7891159, 6.3854876
// read 400 x phase from the ramp.
TEST_F(Notes, PitchesAreWholeHertz) {
  std::vector<int16_t> ramp(80);
  for (size_t k = 0; k < ramp.size(); ++k) ramp[k] = static_cast<int16_t>(400 * k);
  setall(4, ramp);
  std::vector<int16_t> out(4);
  Opts o;
  o.samprate = 22050;
  ASSERT_EQ(render({151, 4, 440, 100, 149}, out, o), 4);
  EXPECT_EQ(out, (std::vector<int16_t>{638, 1277, 1915, 2554}));
  EXPECT_EQ(datapos, 4);
  EXPECT_EQ(freq[0], 440);
}

// A glide from 8 to 11 Hz over two samples at 256 samples per second on an
// eight-sample table: glidestep 3 / 2 = 1.5 (not 1), the glide samples play
// 9.5 and 11 Hz; all phases are multiples of 1/64.
TEST_F(Notes, GlideStepsByTheExactDifference) {
  setall(1, {0, 6400, -6400, 0, 0, 0, 0, 0});
  std::vector<int16_t> out(8);
  Opts o;
  o.samprate = 256;
  ASSERT_EQ(render({152, 901, 8, 1, 1, 11, 1, 149}, out, o), 6);
  // phases 0.25 0.5 | 0.796875 1.140625 | 1.484375 1.828125
  EXPECT_EQ(out, (std::vector<int16_t>{1600, 3200, 5100, 4600, 200, -4200, 0, 0}));
  EXPECT_EQ(sampsttr[0], 2);
  EXPECT_EQ(sampstdur[1], 4);
  EXPECT_EQ(sampsttr[1], 6);
}

TEST_F(Notes, ZeroGlideJumpsToTheNextPitch) {
  setall(0, kFive);
  std::vector<int16_t> out(6);
  // 15 Hz for 2 samples, then 35 Hz (steps of 1.75): phases 0.75 1.5 3.25 5.0
  ASSERT_EQ(render({152, 900, 15, 2, 0, 35, 2, 149}, out, {}), 4);
  EXPECT_EQ(out, (std::vector<int16_t>{300, 0, 801 + 50, 0, 0, 0}));
}

// Stage 0 silent, stages 1 to 5 at -1000: the tone crossfades over the first
// 15 samples (envtype 0 at 100 samples per second: breakpoints 0, 15, 50, 70,
// 120, 200) and stops after sample 200.
TEST_F(Notes, StagesCrossfadeAndTheToneStops) {
  setall(2, {-1000, -1000, -1000, -1000});
  for (int i = 0; i < 4; ++i) wtb[2][0][i] = 0;
  std::vector<int16_t> out(210);
  ASSERT_EQ(render({151, 902, 10, 203, 149}, out, {}), 203);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], -66);  // -1000 x 1 / 15 toward zero
  EXPECT_EQ(out[14], -933);
  EXPECT_EQ(out[15], -1000);
  EXPECT_EQ(out[200], -1000);
  EXPECT_EQ(out[201], 0);
  EXPECT_EQ(out[202], 0);
  EXPECT_EQ(sampsttbl[5], 200);
}

// Level 3 (ampfac 0.33333334) mixed with a background of weight 5:
// (10 x tone x ampfac + bg x 5) / 15, truncated.
TEST_F(Notes, LevelAndBackgroundMix) {
  setall(2, {-1000, -1000, -1000, -1000});
  for (int i = 0; i < 4; ++i) wtb[2][0][i] = 0;
  std::vector<int16_t> bg{30, -30, 0, 90, 3, -3};
  srlen = 6;
  std::vector<int16_t> out(6);
  Opts o;
  o.srweight = 5;
  o.srdata = bg.data();
  ASSERT_EQ(render({151, 302, 10, 6, 149}, out, o), 6);
  EXPECT_EQ(out, (std::vector<int16_t>{10, -24, -29, -14, -58, -75}));
}

// Note samples take the echo in its note form: the delayed sample's share is
// truncated on its own before the sum (at p4: 475.5 + trunc(12.5) = 487,
// where the rest form would give 488).
TEST_F(Notes, NoteSamplesCarryTheEchoInNoteForm) {
  setall(0, kFive);
  Opts o;
  o.echodel = {2};
  o.echogain = {0.5f};
  std::vector<int16_t> out(9);
  ASSERT_EQ(render({151, 900, 15, 8, 149}, out, o), 8);
  EXPECT_EQ(out, (std::vector<int16_t>{150, 0, 25, 400, 487, 450, 293, 425, 0}));
  EXPECT_EQ(tailbuf[0], 293);
  EXPECT_EQ(tailbuf[1], 425);
}

// The phrase example of the stream's description, at 22050 samples per
// second: the note tables and the breakpoints that a call leaves for the host.
TEST_F(Notes, TimelineAndBreakpointsOfTheExampleNote) {
  setall(5, kFive);
  const std::vector<int16_t> block{152, 905, 440, 50, 10, 660, 40, 149};
  Opts o;
  o.samprate = 22050;
  std::vector<int16_t> out(4);
  trans[1] = 99;

  o.envtype = 0;
  ASSERT_EQ(render(block, out, o), 4);  // cut short after four samples
  EXPECT_EQ(datapos, 7);
  EXPECT_EQ((std::vector<int32_t>{freq[0], freq[1], dur[0], dur[1], trans[0], trans[1]}),
            (std::vector<int32_t>{440, 660, 50, 40, 10, 99}));
  EXPECT_EQ((std::vector<int32_t>{sampstdur[0], sampsttr[0], sampstdur[1], sampsttr[1]}),
            (std::vector<int32_t>{0, 11025, 13230, 22050}));
  EXPECT_EQ(std::vector<int32_t>(sampsttbl, sampsttbl + 6),
            (std::vector<int32_t>{0, 3300, 11000, 15400, 26400, 44000}));
  EXPECT_EQ(std::vector<int32_t>(sampstdif, sampstdif + 5), (std::vector<int32_t>{3300, 7700, 4400, 11000, 17600}));

  // Envelope type 3 follows the note's length: 0, rate / 20, totsamp - rate / 4,
  // totsamp - rate / 10, totsamp.
  o.envtype = 3;
  ASSERT_EQ(render(block, out, o), 4);
  EXPECT_EQ(std::vector<int32_t>(sampsttbl, sampsttbl + 5), (std::vector<int32_t>{0, 1102, 16538, 19845, 22050}));
  EXPECT_EQ(std::vector<int32_t>(sampstdif, sampstdif + 4), (std::vector<int32_t>{1102, 15436, 3307, 2205}));
}

// The head word's hundreds give the level (0 and above 9 mean 9), the rest
// the set; a constant table of -1000 shows the level.
TEST_F(Notes, HeadWordLevelAndSet) {
  setall(5, {-1000, -1000});
  setall(3, {-500, -500});
  struct Case {
    int16_t head;
    int16_t sample;
  };
  // level 3: 10 x -1000 x 0.33333334 / 10 = -333.33334
  const Case cases[] = {{305, -333}, {5, -1000}, {905, -1000}, {1205, -1000}, {1203, -500}, {103, -55}};
  for (const Case& c : cases) {
    std::vector<int16_t> out(2);
    ASSERT_EQ(render({151, c.head, 10, 1, 149}, out, {}), 1) << c.head;
    EXPECT_EQ(out[0], c.sample) << c.head;
  }
}

}  // namespace
