// The scorevox block renderer and the note synthesiser behind it, checked
// sample by sample against values worked out by hand.
//
// Most cases run at 100 samples per second, where a centisecond is one
// sample and envelope type 0 puts its breakpoints at 0, 15, 50, 70, 120 and
// 200 samples. With a 4-sample table a pitch of 125 (tenths of a hertz)
// steps the phase by 4 x 125 / 100 / 10 = 0.5 per sample, so every phase is
// exact and the interpolated values are easy to follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "scorevox.h"

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#define HAVE_MXCSR 1
#endif

namespace {

constexpr int16_t kUntouched = 0x5555;  // what the host left in its buffer

// The messages the library shows, as the hook receives them.
std::vector<std::pair<std::string, std::string>> g_msgs;
void VOXCALL keepmsg(const char* text, const char* caption) { g_msgs.emplace_back(text, caption); }

// Parameters of one wrtbin16 call; the output buffer and the background
// recording are the fixture's.
struct Params {
  int32_t restart = 0;
  int32_t startpos = 0;
  int32_t bufbytes = -1;  // -1: the whole of out
  int32_t samprate = 100;
  int32_t envtype = 0;
  int32_t srweight = 0;
  int32_t transnum = 0;
  int32_t transden = 0;
  int32_t numecho = 0;
  const int16_t* echodel = nullptr;
  const float* echogain = nullptr;
  int32_t tracepos = 0;
  bool nullout = false;
};

class Render : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(wtb, 0, sizeof wtb);
    std::fill(std::begin(tblsize), std::end(tblsize), 0);
    std::fill(std::begin(tdata), std::end(tdata), 0);
    std::fill(std::begin(tailbuf), std::end(tailbuf), int16_t{0});
    std::fill(std::begin(sampsttbl), std::end(sampsttbl), 0);
    numtb = 6;
    tblsize[0] = 4;
    resetbg();
    out.assign(64, kUntouched);
    bg.assign(10, 0);
    srlen = 10;
    g_msgs.clear();
    setmsghook(keepmsg);
  }
  void TearDown() override { setmsghook(nullptr); }

  // The background position is not exported: a call with no background
  // wraps it back to 0 before it reads anything.
  void resetbg() {
    const int32_t keep = tdata[2999];
    tdata[2999] = 149;
    srlen = 0;
    int16_t one = 0;
    EXPECT_EQ(wrtbin16(1, 2999, &one, 2, nullptr, 100, 0, 0, 0, 0, 0, nullptr, nullptr, 0), 0);
    tdata[2999] = keep;
    datapos = 0;
  }

  static void stream(std::initializer_list<int32_t> words, int32_t at = 0) {
    std::copy(words.begin(), words.end(), tdata + at);
    datapos = at;
  }
  // Every stage of a set plays the same table.
  static void table(int set, std::initializer_list<int16_t> t) {
    tblsize[set] = static_cast<int32_t>(t.size());
    for (int s = 0; s < 6; ++s) std::copy(t.begin(), t.end(), wtb[set][s]);
  }
  // Stage s of a set holds the constant level[s].
  static void stages(int set, std::initializer_list<int16_t> level) {
    int s = 0;
    for (int16_t v : level) {
      std::fill(std::begin(wtb[set][s]), std::end(wtb[set][s]), v);
      ++s;
    }
  }

  int32_t play(const Params& p = {}) {
    const int32_t bytes = p.bufbytes == -1 ? static_cast<int32_t>(out.size() * 2) : p.bufbytes;
    return wrtbin16(p.restart, p.startpos, p.nullout ? nullptr : out.data(), bytes, bg.data(), p.samprate, p.envtype,
                    p.srweight, p.transnum, p.transden, p.numecho, p.echodel, p.echogain, p.tracepos);
  }

  void expect_out(std::initializer_list<int16_t> want, size_t from = 0) {
    size_t i = from;
    for (int16_t w : want) {
      EXPECT_EQ(out[i], w) << "sample " << i;
      ++i;
    }
  }

  std::vector<int16_t> out;
  std::vector<int16_t> bg;
};

// ---------------------------------------------------------------------------
// Stage breakpoints

TEST_F(Render, BreakpointsPerEnvelopeType) {
  struct Case {
    int32_t envtype, samprate;
    int32_t want[6];
  };
  const Case cases[] = {
      {0, 22050, {0, 3300, 11000, 15400, 26400, 44000}},  // 220 x 0,15,50,70,120,200
      {1, 100, {0, 25, 70, 120, 180, 270}},
      {2, 100, {0, 15, 50, 100, 180, 280}},
      {0, 150, {0, 15, 50, 70, 120, 200}},  // 150 / 100 is truncated to 1 before the product
      {2, 44100, {0, 6615, 22050, 44100, 79380, 123480}},
      {1, 99, {0, 0, 0, 0, 0, 0}},  // below 100 every breakpoint is 0
  };
  for (const Case& c : cases) {
    stream({149});
    EXPECT_EQ(play({.samprate = c.samprate, .envtype = c.envtype}), 0);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(sampsttbl[i], c.want[i]) << "envtype " << c.envtype << " entry " << i;
  }
}

TEST_F(Render, BreakpointsBeyondNumtbAndOfTypes3And4AreKept) {
  std::fill(std::begin(sampsttbl), std::end(sampsttbl), 7);
  numtb = 4;
  stream({149});
  EXPECT_EQ(play({.envtype = 0}), 0);
  const int32_t want4[8] = {0, 15, 50, 70, 7, 7, 7, 7};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(sampsttbl[i], want4[i]) << i;

  std::fill(std::begin(sampsttbl), std::end(sampsttbl), 7);
  numtb = 6;
  for (int32_t type : {3, 4}) {
    stream({149});
    EXPECT_EQ(play({.envtype = type}), 0);
    const int32_t want[8] = {0, 7, 7, 7, 7, 7, 7, 7};  // only entry 0; the notes set the rest
    for (int i = 0; i < 8; ++i) EXPECT_EQ(sampsttbl[i], want[i]) << "type " << type << " entry " << i;
  }
}

// ---------------------------------------------------------------------------
// The worked numbers

TEST_F(Render, WorkedTimelineAt22050) {
  // 50 cs steady, 10 cs glide, 40 cs steady: 22050 x 50 / 100 = 11025,
  // + 22050 x 10 / 100 = 2205 -> 13230, + 22050 x 40 / 100 = 8820 -> 22050.
  tblsize[5] = 4;
  stream({152, 905, 440, 50, 10, 660, 40, 149});
  out.assign(22051, kUntouched);
  EXPECT_EQ(play({.samprate = 22050}), 22050);
  EXPECT_EQ(datapos, 8);
  EXPECT_EQ(sampstdur[0], 0);
  EXPECT_EQ(sampsttr[0], 11025);
  EXPECT_EQ(sampstdur[1], 13230);
  EXPECT_EQ(sampsttr[1], 22050);
  EXPECT_EQ(freq[0], 440.0f);
  EXPECT_EQ(freq[1], 660.0f);
  EXPECT_EQ(dur[0], 50);
  EXPECT_EQ(trans[0], 10);
  EXPECT_EQ(dur[1], 40);

  // Envelope type 3 on the same note (totsamp 22050): 0, 22050 / 20 = 1102,
  // 22050 - 22050 / 4 = 16538, 22050 - 22050 / 10 = 19845, 22050.
  stream({152, 905, 440, 50, 10, 660, 40, 149});
  EXPECT_EQ(play({.samprate = 22050, .envtype = 3}), 22050);
  const int32_t want[5] = {0, 1102, 16538, 19845, 22050};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(sampsttbl[i], want[i]) << i;
  const int32_t dif[4] = {1102, 15436, 3307, 2205};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(sampstdif[i], dif[i]) << i;
}

TEST_F(Render, TotsampIsOneDivisionOverTheWholeNote) {
  // 1 + 1 + 1 cs at 22050: each term 220.5 -> 220, the note lasts 660
  // samples; totsamp = 22050 x 3 / 100 = 661, so type 4 ends its last stage
  // on 661 and puts the third and fourth breakpoints at 661 - 5512 and
  // 661 - 2205.
  stream({152, 900, 125, 1, 1, 125, 1, 149});
  out.assign(700, kUntouched);
  EXPECT_EQ(play({.samprate = 22050, .envtype = 4}), 660);
  EXPECT_EQ(sampsttr[0], 220);
  EXPECT_EQ(sampstdur[1], 440);
  EXPECT_EQ(sampsttr[1], 660);
  EXPECT_EQ(sampsttbl[4], 661);
  EXPECT_EQ(sampsttbl[3], 661 - 2205);
  EXPECT_EQ(sampsttbl[2], 661 - 5512);
  EXPECT_EQ(out[660], kUntouched);  // nothing past the note
}

TEST_F(Render, PhaseStepOfTheWorkedExample) {
  // Table size 80, pitch 4400, 22050 samples per second:
  // phinc = 80 x 4400 / 22050 / 10 = 1.59637188..., as a float 1.5963719
  // (exactly 1.59637188911437988). The table rises by 400 per entry.
  // Sample 1 at phase 1.59637189: 400 + 400 x 0.59637189 = 638.5 -> 638.
  // Sample 2 at 3.19274378 (twice, exact):  1200 + 77.1 -> 1277.
  // Sample 3 at 4.78911591 (float sum):     1600 + 315.6 -> 1915.
  tblsize[0] = 80;
  for (int s = 0; s < 6; ++s)
    for (int i = 0; i < 80; ++i) wtb[0][s][i] = static_cast<int16_t>(400 * i);
  stream({151, 900, 4400, 100, 149});
  out.assign(3, kUntouched);
  EXPECT_EQ(play({.samprate = 22050}), 3);  // full after 3 of 22050 samples
  expect_out({638, 1277, 1915});
  EXPECT_EQ(freq[0], 4400.0f);
  EXPECT_EQ(datapos, 4);  // the rest of the note is dropped
}

TEST_F(Render, AmplitudeFactorIsAFloat) {
  // Level 3: ampfac = 3 / 9 stored as the float 0.33333334. Tone -3 against
  // a background 3 at weight 10: (10 x -3 x 0.33333334 + 3 x 10) / 20
  // = (-10.0000003 + 30) / 20 = 0.99999998 -> 0. An exact third gives 1.
  // Tone -9 against 7: (-30.000001 + 70) / 20 = 1.99999995 -> 1 (exactly 2).
  for (auto [tone, back, want] : {std::array<int16_t, 3>{-3, 3, 0}, std::array<int16_t, 3>{-9, 7, 1}}) {
    resetbg();
    srlen = 10;
    table(5, {tone, tone, tone, tone});
    bg.assign(10, back);
    stream({151, 305, 125, 1, 149});
    EXPECT_EQ(play({.srweight = 10}), 1);
    EXPECT_EQ(out[0], want) << "tone " << tone;
  }
}

TEST_F(Render, HeadWordGivesLevelAndSet) {
  struct Case {
    int32_t head;
    int16_t want;
  };
  // Set 5 plays a constant 900, set 3 a constant 450; no background.
  // val = 10 x tone x ampfac / 10.
  const Case cases[] = {
      {305, 300},   // level 3: 900 x 0.33333334 = 300.00001
      {5, 900},     // level 0 means 9
      {905, 900},   // level 9
      {1205, 900},  // level 12 means 9
      {1203, 450},  // set 3 at level 9
      {105, 100},   // level 1: 900 x 0.11111111 = 100.0000007
      {605, 600},   // level 6: ampfac 0.6666667, 600.00002
  };
  table(5, {900, 900, 900, 900});
  table(3, {450, 450, 450, 450});
  for (const Case& c : cases) {
    stream({151, c.head, 125, 1, 149});
    EXPECT_EQ(play(), 1) << c.head;
    EXPECT_EQ(out[0], c.want) << c.head;
  }
}

// ---------------------------------------------------------------------------
// Short notes computed by hand

TEST_F(Render, SteadyNoteStartsAtPhinc) {
  // Phases 0.5, 1.0, ..., 4.0 in the table 0, 1000, 2000, 3000: the first
  // sample is taken after the first step; 3.5 interpolates from 3000 back
  // to entry 0; 4.0 wraps to entry 0.
  table(0, {0, 1000, 2000, 3000});
  stream({151, 900, 125, 8, 149, 139});
  EXPECT_EQ(play({.restart = 1}), 8);
  expect_out({500, 1000, 1500, 2000, 2500, 3000, 1500, 0});
  EXPECT_EQ(out[8], kUntouched);
  EXPECT_EQ(datapos, 5);
  EXPECT_EQ(play(), -1);
  EXPECT_EQ(datapos, 5);
}

TEST_F(Render, Glide) {
  // 125 for 2 cs, glide of 4 cs to 250, 250 for 2 cs.
  // glidestep = (250 - 125) / 4 = 31.25; glide pitches 156.25, 187.5,
  // 218.75, 250 step the phase by pitch / 250: 0.625, 0.75, 0.875, 1.0.
  // Phases: 0.5, 1.0 | 1.625, 2.375, 3.25, 4.25 | 5.25, 6.25.
  // 3.25 -> 3000 + (0 - 3000) x 0.25 = 2250; 4.25 -> entry 0 -> 250.
  table(0, {0, 1000, 2000, 3000});
  stream({152, 900, 125, 2, 4, 250, 2, 149});
  EXPECT_EQ(play(), 8);
  expect_out({500, 1000, 1625, 2375, 2250, 250, 1250, 2250});
  EXPECT_EQ(sampsttr[0], 2);
  EXPECT_EQ(sampstdur[1], 6);
  EXPECT_EQ(sampsttr[1], 8);
  EXPECT_EQ(datapos, 8);
}

TEST_F(Render, SegmentsWithoutGlideOrWithoutSteadyPart) {
  struct Case {
    const char* what;
    std::vector<int32_t> words;
    std::vector<int16_t> want;
  };
  const Case cases[] = {
      // No glide: phases 0.5, 1.0, then phinc 1.0: 2.0, 3.0.
      {"glide 0", {152, 900, 125, 2, 0, 250, 2, 149}, {500, 1000, 2000, 3000}},
      // No steady part: glidestep (250 - 125) / 2 = 62.5, pitches 187.5 and
      // 250 step 0.75 and 1.0: phases 0.75, 1.75, then 2.75.
      {"steady 0", {152, 900, 125, 0, 2, 250, 1, 149}, {750, 1750, 2750}},
      // Three segments, 3 x 3 + 1 words: 0.5 | 1.0 (pitch 125 -> 125) | 2.0.
      {"three", {153, 900, 125, 1, 1, 125, 0, 0, 250, 1, 149}, {500, 1000, 2000}},
  };
  table(0, {0, 1000, 2000, 3000});
  for (const Case& c : cases) {
    out.assign(64, kUntouched);
    std::copy(c.words.begin(), c.words.end(), tdata);
    datapos = 0;
    EXPECT_EQ(play(), static_cast<int32_t>(c.want.size())) << c.what;
    for (size_t i = 0; i < c.want.size(); ++i) EXPECT_EQ(out[i], c.want[i]) << c.what << " sample " << i;
    EXPECT_EQ(out[c.want.size()], kUntouched) << c.what;
    EXPECT_EQ(datapos, static_cast<int32_t>(c.words.size())) << c.what;
  }
}

TEST_F(Render, CrossfadeAcrossABreakpoint) {
  // Stage 0 holds 0, stage 1 -1000, stage 2 2000; breakpoints 0, 15, 50.
  // Before 15: 0 + (-1000 x n) / 15, truncated toward zero.
  // From 15:  -1000 + (3000 x (n - 15)) / 35.
  table(0, {0, 0, 0, 0});
  stages(0, {0, -1000, 2000, 2000, 2000, 2000});
  stream({151, 900, 125, 22, 149});
  EXPECT_EQ(play(), 22);
  expect_out({0, -66, -133});       // -66.7, -133.3
  expect_out({-933, -1000}, 14);    // -933.3; at the breakpoint stage 1 in full
  expect_out({-915}, 16);           // -1000 + 85.7 (a sum before the division would give -914)
  expect_out({-572, -486}, 20);     // -1000 + 428.6, -1000 + 514.3
}

TEST_F(Render, ToneEndsAfterTheSixthBreakpoint) {
  // Stage 4 holds 4000, stage 5 5000. The note holds 125 up to one sample
  // before the sixth breakpoint b5, glides for 3 cs and holds 2 cs: samples
  // b5 - 1 .. b5 + 1 glide, b5 + 2 and b5 + 3 are steady. Background
  // 0, 100, ..., 900 at weight 10 (b5 is a multiple of 10, so b5 - 1 meets
  // 900): val = (10 x tone + 10 x bg) / 20.
  //  b5 - 1 (glide): 4000 + 1000 x (span - 1) / span, mixed with 900
  //  b5     (glide): stage 5 in full, 5000 with 0: 50000 / 20 = 2500
  //  b5 + 1 (glide): the tone is over, bg 100 alone: 1000 / 20 = 50
  //  b5 + 2, b5 + 3 (steady): bg 200, 300 alone: 100, 150
  struct Case {
    int32_t envtype, b5;
    int16_t before;
  };
  const Case cases[] = {
      {0, 200, 2943},  // span 80: 4987; (49870 + 9000) / 20 = 2943.5
      {1, 270, 2944},  // span 90: 4988; 58880 / 20
      {2, 280, 2945},  // span 100: 4990; 58900 / 20
  };
  table(0, {0, 0, 0, 0});
  stages(0, {0, 0, 0, 0, 4000, 5000});
  for (int i = 0; i < 10; ++i) bg[static_cast<size_t>(i)] = static_cast<int16_t>(100 * i);
  for (const Case& c : cases) {
    resetbg();
    srlen = 10;
    stream({152, 900, 125, c.b5 - 1, 3, 125, 2, 149});
    out.assign(300, kUntouched);
    EXPECT_EQ(play({.envtype = c.envtype, .srweight = 10}), c.b5 + 4) << c.envtype;
    EXPECT_EQ(sampsttbl[5], c.b5);
    expect_out({c.before, 2500, 50, 100, 150, kUntouched}, static_cast<size_t>(c.b5 - 1));
  }
}

TEST_F(Render, Type3OnANoteShorterThan300ms) {
  // 10 samples: breakpoints 0, 5, 10 - 25 = -15, 10 - 10 = 0, 10, used as
  // they are. Stage s holds 1000 x s.
  //  n 0..4: stage 0, 1000 x n / 5 = 200 n
  //  n 5..9: the search passes 5, -15 and 0 and stops at 10: stage 3,
  //          3000 + 1000 x (n - 0) / 10
  // Types 3 and 4 behave alike.
  table(0, {0, 0, 0, 0});
  stages(0, {0, 1000, 2000, 3000, 4000, 5000});
  for (int32_t type : {3, 4}) {
    stream({151, 900, 125, 10, 149});
    EXPECT_EQ(play({.envtype = type}), 10);
    expect_out({0, 200, 400, 600, 800, 3500, 3600, 3700, 3800, 3900});
    const int32_t dif[4] = {5, -20, 15, 10};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(sampstdif[i], dif[i]) << i;
  }
}

TEST_F(Render, ZeroStageSpanGivesTheLaterStage) {
  // At 50 samples per second every breakpoint of type 0 is 0: the search
  // ends on stage 4 with a span of 0, which plays stage 5 (5000); from the
  // second sample on the tone is over (notepos > sampsttbl[5] = 0).
  // 50 x 6 / 100 = 3 samples.
  table(0, {0, 0, 0, 0});
  stages(0, {1, 2, 3, 4, 4000, 5000});
  stream({151, 900, 125, 6, 149});
  EXPECT_EQ(play({.samprate = 50}), 3);
  expect_out({5000, 0, 0});
}

TEST_F(Render, CrossfadeProductIn64Bits) {
  // Type 3 at 44100, a 3-second note: totsamp 132300, breakpoints 0, 2205,
  // 121275, 127890, 132300. At sample 50000, stage 1 (-30000) to stage 2
  // (30000): 60000 x 47795 = 2867700000 (beyond 32 bits) / 119070 = 24084.1
  // -> -30000 + 24084 = -5916. A wrapped product would give -41986.
  table(0, {0, 0, 0, 0});
  stages(0, {0, -30000, 30000, 0, 0, 0});
  stream({151, 900, 125, 300, 149});
  out.assign(50001, kUntouched);
  EXPECT_EQ(play({.samprate = 44100, .envtype = 3}), 50001);
  EXPECT_EQ(out[50000], -5916);
  EXPECT_EQ(out[2205], -30000);
}

TEST_F(Render, NegativePhaseWrapsItsIndexIntoTheTable) {
  // Pitch -125 (or 125 transposed by -1/1): phases -0.5, -1.0, ..., -4.0.
  // The index is trunc(phase) remainder 4, brought into 0..3; the fraction
  // phase - trunc(phase) is negative:
  //  -0.5: entry 0, 0 + 1000 x -0.5       = -500
  //  -1.0: entry 3                        = 3000
  //  -1.5: entry 3, 3000 + (0 - 3000) x -0.5 = 4500
  //  -2.0: 2000; -2.5: 2000 - 500 = 1500; -3.0: 1000; -3.5: 500; -4.0: 0
  table(0, {0, 1000, 2000, 3000});
  struct Case {
    int32_t pitch, num, den;
  };
  for (const Case& c : {Case{-125, 0, 0}, Case{125, -1, 1}, Case{125, 0xFFFF, 1}}) {
    stream({151, 900, c.pitch, 8, 149});
    EXPECT_EQ(play({.transnum = c.num, .transden = c.den}), 8);
    expect_out({-500, 3000, 4500, 2000, 1500, 1000, 500, 0});
    EXPECT_EQ(freq[0], -125.0f);
  }
}

TEST_F(Render, HugePhaseKeepsTheExactRemainder) {
  // One sample per second, table size 80, pitch 2147483647:
  // phinc = 80 x 2147483647 / 10 = 17179869176 = 2^34 - 8, as a float 2^34.
  // The phases k x 2^34 are exact; 2^34 remainder 80 is 64, so the entries
  // are 64, 48, 32, 16, 0 (64 k remainder 80) with no fraction. The table
  // rises by 100 per entry. Type 3 keeps the tone on (breakpoints 0, 0, 5,
  // 5, 5: stage 1 throughout); 500 cs = 5 samples.
  tblsize[0] = 80;
  for (int s = 0; s < 6; ++s)
    for (int i = 0; i < 80; ++i) wtb[0][s][i] = static_cast<int16_t>(100 * i);
  stream({151, 900, 2147483647, 500, 149});
  EXPECT_EQ(play({.samprate = 1, .envtype = 3}), 5);
  expect_out({6400, 4800, 3200, 1600, 0});
}

TEST_F(Render, PhaseIsRoundedToAFloatAtEveryStep) {
  // Ten samples per second, table size 80: phinc = 8 x pitch / 10.
  // Segment 0, pitch 20971520: phinc 2^24, one sample at phase 2^24
  //   (entry 2^24 remainder 80 = 16: 1600).
  // Segment 1, pitch 1: phinc 0.8, below half the float spacing (2) at 2^24:
  //   the phase stays at 2^24 for its three samples: 1600 each.
  // Segment 2, pitch 2: phinc 1.6: 2^24 + 1.6 rounds to 2^24 + 2 (entry 18,
  //   1800), then 2^24 + 3.6 to 2^24 + 4 (entry 20, 2000).
  // Type 3 keeps the tone on (totsamp 6: breakpoints 0, 0, 4, 5, 6).
  // A phase kept in double would play 1680 for the second sample.
  tblsize[0] = 80;
  for (int s = 0; s < 6; ++s)
    for (int i = 0; i < 80; ++i) wtb[0][s][i] = static_cast<int16_t>(100 * i);
  stream({153, 900, 20971520, 10, 0, 1, 30, 0, 2, 20, 149});
  EXPECT_EQ(play({.samprate = 10, .envtype = 3}), 6);
  expect_out({1600, 1600, 1600, 1600, 1800, 2000});
}

// ---------------------------------------------------------------------------
// Transposition

TEST_F(Render, TranspositionRatio) {
  struct Case {
    int32_t pitch, num, den;
    float want;
  };
  const Case cases[] = {
      {125, 2, 1, 250.0f},
      {125, 0x10002, 1, 250.0f},        // only the low 16 bits count
      {125, 5, 0, 125.0f},              // transden 0: no transposition
      {125, 1, 0x10000, 125.0f},        // low half 0
      {125, 2, 2, 125.0f},              // equal terms
      {125, 0x10002, 2, 125.0f},        // equal as 16-bit values
      {1, 5, 3, 1.66666663f},           // 1 / 3 x 5 rounded once (twice: 1.66666675)
      {4400, -3, 2, -6600.0f},
  };
  table(0, {0, 0, 0, 0});
  for (const Case& c : cases) {
    stream({151, 900, c.pitch, 1, 149});
    EXPECT_EQ(play({.transnum = c.num, .transden = c.den}), 1);
    EXPECT_EQ(freq[0], c.want) << c.pitch << " x " << c.num << " / " << c.den;
  }
  // And the phase follows the transposed pitch: 125 x 2 steps by 1.0.
  table(0, {0, 1000, 2000, 3000});
  stream({151, 900, 125, 3, 149});
  EXPECT_EQ(play({.transnum = 2, .transden = 1}), 3);
  expect_out({1000, 2000, 3000});
}

// ---------------------------------------------------------------------------
// Results and the movement of datapos

TEST_F(Render, ResultsAndDatapos) {
  struct Case {
    const char* what;
    std::vector<int32_t> words;
    size_t cap;
    int32_t result, pos;
    size_t written;  // samples that differ from what the host left
    bool twice = false;  // a second call follows
    int32_t again = 0, againpos = 0;
  };
  // Rests are silent (weight 0), so every written sample is 0; set 0 plays
  // 0, 1000, 2000, 3000 at phinc 0.5.
  const Case cases[] = {
      {"end of phrase first", {149}, 8, 0, 1, 0},
      {"the example phrase", {150, 20, 152, 905, 440, 50, 10, 660, 40, 149}, 130, 120, 10, 120},
      {"end of score", {139}, 8, -1, 0, 0, true, -1, 0},
      {"rest", {150, 3, 149}, 8, 3, 3, 3},
      {"rest of 0", {150, 0, 149}, 8, 0, 3, 0},
      {"negative rest", {150, -5, 149}, 8, 0, 3, 0},
      {"148 takes a word along", {148, 150, 150, 2, 149}, 8, 2, 5, 2},
      {"171 takes a word along", {171, 149, 150, 1, 149}, 8, 1, 5, 1},
      {"code 0", {0, 0, 150, 1, 149}, 8, 1, 5, 1},
      {"note of 3 segments: 10 words", {153, 900, 125, 1, 0, 125, 1, 0, 125, 1, 149}, 8, 3, 11, 3},
      {"set 11", {150, 1, 151, 1011, 125, 1, 149}, 8, -110, 4, 1},
      {"set 11 at level 0", {151, 11, 125, 1, 149}, 8, -110, 2, 0},
      {"set 99", {151, 9999, 125, 1, 149}, 8, -990, 2, 0},
      {"end of score after a rest", {150, 2, 139}, 8, -1, 2, 2},
      {"rest cut by a full buffer", {150, 10, 149}, 4, 4, 2, 4, true, 0, 3},
      {"note cut by a full buffer", {151, 900, 125, 10, 150, 1, 149}, 4, 4, 4, 4, true, 1, 7},
      {"phrase fills the buffer exactly", {150, 4, 149}, 4, 4, 2, 4, true, 0, 3},
  };
  table(0, {0, 1000, 2000, 3000});
  tblsize[5] = 4;
  for (const Case& c : cases) {
    std::fill(std::begin(tdata), std::end(tdata), 0);
    std::copy(c.words.begin(), c.words.end(), tdata);
    datapos = 0;
    out.assign(c.cap, kUntouched);
    EXPECT_EQ(play(), c.result) << c.what;
    EXPECT_EQ(datapos, c.pos) << c.what;
    for (size_t i = 0; i < c.cap; ++i) EXPECT_EQ(out[i] != kUntouched, i < c.written) << c.what << " sample " << i;
    if (c.twice) {
      EXPECT_EQ(play(), c.again) << c.what << " (again)";
      EXPECT_EQ(datapos, c.againpos) << c.what << " (again)";
    }
  }
}

TEST_F(Render, CallAfterAFullBufferGoesOnWithTheNextEvent) {
  // The rest of 10 fills 4 samples and is dropped; the next call plays the
  // following rest of 2 and returns at the 149; a third reads the 139.
  stream({150, 10, 150, 2, 149, 139});
  out.assign(4, kUntouched);
  EXPECT_EQ(play(), 4);
  EXPECT_EQ(datapos, 2);
  out.assign(4, kUntouched);
  EXPECT_EQ(play(), 2);
  EXPECT_EQ(datapos, 5);
  EXPECT_EQ(out[2], kUntouched);
  EXPECT_EQ(play(), -1);
  EXPECT_EQ(play(), -1);
  EXPECT_EQ(datapos, 5);
}

TEST_F(Render, PhraseFillingTheBufferLeavesTheTailToTheNextCall) {
  // With an echo: the first call fills 4 samples and stops before the 149;
  // the second reads it, returns 0 and captures nothing.
  const int16_t del[1] = {2};
  const float gain[1] = {0.5f};
  tailbuf[0] = 11;
  tailbuf[1] = 22;
  stream({150, 4, 149});
  out.assign(4, kUntouched);
  const Params p{.numecho = 1, .echodel = del, .echogain = gain};
  EXPECT_EQ(play(p), 4);
  EXPECT_EQ(datapos, 2);
  EXPECT_EQ(tailbuf[0], 11);
  EXPECT_EQ(play(p), 0);
  EXPECT_EQ(datapos, 3);
  EXPECT_EQ(tailbuf[0], 11);
  EXPECT_EQ(tailbuf[1], 22);
  for (int16_t v : out) EXPECT_EQ(v, 0);  // cleared by the echo
}

TEST_F(Render, EndOfPhraseOrScoreWithEchoClearsTheBuffer) {
  const int16_t del[1] = {3};
  const float gain[1] = {0.5f};
  const Params p{.numecho = 1, .echodel = del, .echogain = gain};
  tailbuf[0] = 99;
  for (int32_t code : {149, 139}) {
    out.assign(8, kUntouched);
    stream({code});
    EXPECT_EQ(play(p), code == 149 ? 0 : -1);
    for (int16_t v : out) EXPECT_EQ(v, 0) << code;
    EXPECT_EQ(tailbuf[0], 99) << code;
  }
}

TEST_F(Render, RestartUsesTheLow16BitsOfItsWord) {
  stream({150, 2, 149, 150, 3, 149});
  datapos = 3;
  EXPECT_EQ(play({.restart = 0x10000, .startpos = 0}), 3);  // no restart
  EXPECT_EQ(datapos, 6);
  EXPECT_EQ(play({.restart = 1, .startpos = 0}), 2);
  EXPECT_EQ(play({.restart = -1, .startpos = 3}), 3);
  EXPECT_EQ(datapos, 6);
}

// ---------------------------------------------------------------------------
// What the renderer refuses

TEST_F(Render, BadParametersChangeNothing) {
  // With an echo that would clear the buffer, a background position that
  // has moved, and breakpoints that setsttbl would rewrite.
  const int16_t del[1] = {2};
  const float gain[1] = {0.5f};
  for (int i = 0; i < 10; ++i) bg[static_cast<size_t>(i)] = static_cast<int16_t>(10 * i);
  stream({150, 3, 149, 150, 1, 149});
  EXPECT_EQ(play({.srweight = 10}), 3);  // background now at 3
  const Params bad[] = {
      {.samprate = 0}, {.samprate = -100}, {.envtype = -1}, {.envtype = 5},
      {.srweight = -10}, {.nullout = true},
  };
  for (const Params& b : bad) {
    Params p = b;
    p.restart = 1;
    p.startpos = 0;
    p.numecho = 1;
    p.echodel = del;
    p.echogain = gain;
    p.tracepos = 1;
    std::fill(std::begin(sampsttbl), std::end(sampsttbl), 7);
    out.assign(8, kUntouched);
    g_msgs.clear();
    EXPECT_EQ(play(p), -2);
    EXPECT_EQ(datapos, 3);
    for (int16_t v : out) EXPECT_EQ(v, kUntouched);
    for (int32_t v : sampsttbl) EXPECT_EQ(v, 7);
    EXPECT_TRUE(g_msgs.empty());
  }
  // The background goes on at 3: 30 x 10 / 20 = 15.
  EXPECT_EQ(play({.srweight = 10}), 1);
  EXPECT_EQ(out[0], 15);
}

TEST_F(Render, UnplayableSets) {
  struct Case {
    const char* what;
    int32_t numtb, size, head, result;
  };
  const Case cases[] = {
      {"tblsize 0", 6, 0, 900, -100},
      {"tblsize 81", 6, 81, 900, -100},
      {"tblsize -4", 6, -4, 900, -100},
      {"numtb 1", 1, 4, 900, -100},
      {"numtb 7", 7, 4, 900, -100},
      {"numtb 0", 0, 4, 900, -100},
      {"negative head", 6, 4, -5, -100},
      {"negative head, remainder -11", 6, 4, -111, -100},
      {"set 11 wins over tblsize 0", 6, 0, 911, -110},
      {"numtb 2 plays", 2, 4, 900, 1},
      {"tblsize 1 plays", 6, 1, 900, 1},
      {"tblsize 80 plays", 6, 80, 900, 1},
  };
  for (const Case& c : cases) {
    numtb = c.numtb;
    tblsize[0] = c.size;
    out.assign(4, kUntouched);
    stream({151, c.head, 125, 1, 149});
    EXPECT_EQ(play(), c.result) << c.what;
    EXPECT_EQ(datapos, c.result < 0 ? 2 : 5) << c.what;
    EXPECT_EQ(out[0] != kUntouched, c.result > 0) << c.what;
  }
}

TEST_F(Render, StreamIsNeverReadOutsideTdata) {
  struct Case {
    const char* what;
    int32_t at;
    std::vector<int32_t> words;
    int32_t result;
    size_t written;
  };
  const Case cases[] = {
      {"datapos -1", -1, {}, -1, 0},
      {"datapos 3000", 3000, {}, -1, 0},
      {"datapos far beyond", 1 << 30, {}, -1, 0},
      {"note runs past the end", 2998, {151, 900}, -1, 0},
      {"rest without its duration", 2999, {150}, -1, 0},
      {"unrecognised code in the last word", 2999, {200}, -1, 0},
      {"note ending on the last word", 2996, {151, 900, 125, 1}, -1, 1},
  };
  table(0, {0, 1000, 2000, 3000});
  for (const Case& c : cases) {
    std::fill(std::begin(tdata), std::end(tdata), 0);
    if (c.at >= 0 && c.at < 3000) std::copy(c.words.begin(), c.words.end(), tdata + c.at);
    datapos = c.at;
    out.assign(4, kUntouched);
    EXPECT_EQ(play(), c.result) << c.what;
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(out[i] != kUntouched, i < c.written) << c.what;
  }
  // An event that does not fit stays where it is.
  std::fill(std::begin(tdata), std::end(tdata), 0);
  stream({151, 900}, 2998);
  EXPECT_EQ(play(), -1);
  EXPECT_EQ(datapos, 2998);
}

TEST_F(Render, BuffersBelowOneSample) {
  // No room: nothing is written, the background does not move, the event in
  // progress is dropped.
  for (int i = 0; i < 10; ++i) bg[static_cast<size_t>(i)] = static_cast<int16_t>(10 * i);
  const int16_t del[1] = {1};
  const float gain[1] = {0.5f};
  for (int32_t bytes : {0, 1, -4}) {
    for (int32_t echo : {0, 1}) {
      out.assign(2, kUntouched);
      stream({150, 5, 149});
      EXPECT_EQ(play({.bufbytes = bytes, .srweight = 10, .numecho = echo, .echodel = del, .echogain = gain}), 0)
          << bytes;
      EXPECT_EQ(datapos, 2) << bytes;
      EXPECT_EQ(out[0], kUntouched) << bytes;
      EXPECT_EQ(out[1], kUntouched) << bytes;
    }
  }
  // Three bytes hold one sample: the background is still at 0, 0 x 10 / 20.
  // The next one, 10 x 10 / 20 = 5, needs the next call.
  out.assign(2, kUntouched);
  stream({150, 5, 149});
  EXPECT_EQ(play({.bufbytes = 3, .srweight = 10}), 1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], kUntouched);
  stream({150, 1, 149});
  EXPECT_EQ(play({.srweight = 10}), 1);
  EXPECT_EQ(out[0], 5);
}

// ---------------------------------------------------------------------------
// The background

TEST_F(Render, RestsAndNotesMixTheBackground) {
  // Rest: bg x weight / (weight + 10), an integer division toward zero.
  // Note: (10 x tone x ampfac + bg x weight) / (weight + 10).
  bg = {-7, 7, 100, -100, 0, 0, 0, 0, 0, 0};
  table(0, {40, 40, 40, 40});
  stream({150, 2, 151, 900, 125, 2, 149});
  EXPECT_EQ(play({.srweight = 5}), 4);
  // -35 / 15 -> -2; 35 / 15 -> 2; (400 + 500) / 15 = 60; (400 - 500) / 15 -> -6
  expect_out({-2, 2, 60, -6});
  // A negative weight: -7 x -3 / 7 = 3; 7 x -3 / 7 = -3.
  resetbg();
  srlen = 10;
  stream({150, 2, 149});
  EXPECT_EQ(play({.srweight = -3}), 2);
  expect_out({3, -3});
}

TEST_F(Render, SilentBackgroundWhenItHasNoLength) {
  // srlen 0 or below: the background is not read (a null srdata is fine).
  table(0, {40, 40, 40, 40});
  for (int32_t len : {0, -5}) {
    srlen = len;
    out.assign(4, kUntouched);
    stream({150, 2, 151, 900, 125, 1, 149});
    EXPECT_EQ(wrtbin16(0, 0, out.data(), 8, nullptr, 100, 0, 10, 0, 0, 0, nullptr, nullptr, 0), 3);
    expect_out({0, 0, 20});  // 400 / 20
  }
}

TEST_F(Render, BackgroundRunsOnAcrossCallsAndWraps) {
  for (int i = 0; i < 10; ++i) bg[static_cast<size_t>(i)] = static_cast<int16_t>(20 * (i + 1));
  // Weight 10: a rest sample is bg / 2.
  stream({150, 7, 149, 150, 5, 149});
  EXPECT_EQ(play({.srweight = 10}), 7);
  expect_out({10, 20, 30, 40, 50, 60, 70});
  EXPECT_EQ(play({.srweight = 10}), 5);  // 7, 8, 9, then back to 0, 1
  expect_out({80, 90, 100, 10, 20});
  // The background is at 2; a shorter recording puts that beyond its end:
  // the next call starts it again from 0.
  srlen = 2;
  stream({150, 3, 149});
  EXPECT_EQ(play({.srweight = 10}), 3);
  expect_out({10, 20, 10});
}

// ---------------------------------------------------------------------------
// The echo

TEST_F(Render, EchoTapsAt100_200And400) {
  // echodel 100, 200, 300: taps at 100, 100 + 100 = 200 and 200 + 200 = 400.
  // Gains 0.5, 0.25, 0.125. A one-sample note of 1000, then silence.
  //  p 0: every tap reads the (empty) tail: 1000 x .5 = 500; x .75 = 375;
  //       x .875 = 328.125 -> 328
  //  p 100: tap 0 reads 328: 164; taps 1 and 2 read the tail: 123, 107.6 -> 107
  //  p 200: tap 0: 53.5 -> 53; tap 1 reads p 0: 39.75 + 82 -> 121;
  //         tap 2 the tail: 105.9 -> 105
  //  p 300: 52.5 -> 52; 39 + 26.75 -> 65; 56.9 -> 56
  //  p 400: 28; 21 + 26.25 -> 47; tap 2 reads p 0: 41.125 + 41 -> 82
  //  p 500: 41; 30.75 + 14 -> 44; tap 2 reads p 100: 38.5 + 13.375 -> 51
  const int16_t del[3] = {100, 200, 300};
  const float gain[3] = {0.5f, 0.25f, 0.125f};
  table(0, {1000, 1000, 1000, 1000});
  stream({151, 900, 125, 1, 150, 500, 149});
  out.assign(600, kUntouched);
  EXPECT_EQ(play({.numecho = 3, .echodel = del, .echogain = gain, .tracepos = 1}), 501);
  for (size_t p = 0; p < 600; ++p) {
    int16_t want = 0;
    switch (p) {
      case 0: want = 328; break;
      case 100: want = 107; break;
      case 200: want = 105; break;
      case 300: want = 56; break;
      case 400: want = 82; break;
      case 500: want = 51; break;
      default: break;
    }
    EXPECT_EQ(out[p], want) << "sample " << p;
  }
  ASSERT_EQ(g_msgs.size(), 2u);
  EXPECT_EQ(g_msgs[0].first, "numecho 3,echodel[0] 100,totdel 600");
  EXPECT_EQ(g_msgs[1].first, "totdel 600,samppos 501");
}

TEST_F(Render, EchoNoteAndRestForms) {
  // One tap at 1 with gain 0.5. Three note samples, then three rest samples,
  // all 3 (or -3) before the echo:
  //  note: tone 1, bg 6, weight 10: (10 + 60) / 20 = 3.5 -> 3
  //  rest: 6 x 10 / 20 = 3
  //  p 0 (tail, 0): 1.5 -> 1
  //  p 1, 2 (note form): 1.5 + trunc(1 x 0.5) = 1.5 -> 1
  //  p 3 (rest form): 1.5 + 0.5 = 2
  //  p 4, 5: 1.5 + 1 = 2.5 -> 2
  // The negative mirror truncates toward zero just the same.
  const int16_t del[1] = {1};
  const float gain[1] = {0.5f};
  for (int16_t sign : {int16_t{1}, int16_t{-1}}) {
    resetbg();
    srlen = 10;
    tailbuf[0] = 0;
    table(0, {sign, sign, sign, sign});
    bg.assign(10, static_cast<int16_t>(6 * sign));
    stream({151, 900, 125, 3, 150, 3, 149});
    EXPECT_EQ(play({.srweight = 10, .numecho = 1, .echodel = del, .echogain = gain}), 6);
    for (size_t p = 0; p < 6; ++p) EXPECT_EQ(out[p], sign * (p < 3 ? 1 : 2)) << "sign " << sign << " sample " << p;
    EXPECT_EQ(tailbuf[0], 2 * sign);  // the phrase's last sample
  }
}

TEST_F(Render, TailCarriesOverToTheNextPhrases) {
  // One tap at 4, gain 0.5; background 100, ..., 1000 at weight 10, so each
  // rest sample is bg / 2 before the echo.
  // Phrase 1 (bg 100..600 -> 50..300): p 0..3 mix the empty tail: 25, 50,
  //   75, 100; p 4: 125 + 12.5 -> 137; p 5: 150 + 25 = 175.
  //   Tail: the last 4 samples, 75, 100, 137, 175.
  // Phrase 2 (bg 700, 800, 900, 1000, 100 -> 350, 400, 450, 500, 50):
  //   p 0: 175 + 37.5 -> 212; p 1: 200 + 50 = 250; p 2: 225 + 68.5 -> 293;
  //   p 3: 250 + 87.5 -> 337; p 4 reads p 0: 25 + 106 = 131.
  //   Tail: 250, 293, 337, 131.
  // Phrase 3 (bg 200, 300 -> 100, 150): 50 + 125 = 175; 75 + 146.5 -> 221.
  //   Shorter than the delay: tail 175, 221, and 337, 131 stay.
  const int16_t del[1] = {4};
  const float gain[1] = {0.5f};
  for (int i = 0; i < 10; ++i) bg[static_cast<size_t>(i)] = static_cast<int16_t>(100 * (i + 1));
  tailbuf[4] = 77;
  stream({150, 6, 149, 150, 5, 149, 150, 2, 149});
  const Params p{.srweight = 10, .numecho = 1, .echodel = del, .echogain = gain, .tracepos = 1};
  out.assign(8, kUntouched);
  EXPECT_EQ(play(p), 6);
  expect_out({25, 50, 75, 100, 137, 175, 0, 0});
  const int16_t tail1[5] = {75, 100, 137, 175, 77};
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(tailbuf[i], tail1[i]) << i;

  EXPECT_EQ(play(p), 5);
  expect_out({212, 250, 293, 337, 131, 0});
  const int16_t tail2[5] = {250, 293, 337, 131, 77};
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(tailbuf[i], tail2[i]) << i;

  EXPECT_EQ(play(p), 2);
  expect_out({175, 221, 0});
  const int16_t tail3[5] = {175, 221, 337, 131, 77};
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(tailbuf[i], tail3[i]) << i;

  std::vector<std::string> texts;
  for (const auto& m : g_msgs) texts.push_back(m.first);
  const std::vector<std::string> want = {
      "numecho 1,echodel[0] 4,totdel 4", "totdel 4,samppos 6",
      "numecho 1,echodel[0] 4,totdel 4", "totdel 4,samppos 5",
      "numecho 1,echodel[0] 4,totdel 4", "totdel 4,samppos 2",
  };
  EXPECT_EQ(texts, want);
}

TEST_F(Render, TapBeyondTheDelaySumReadsOlderTail) {
  // echodel 3, 1: taps at 3 and 6, totdel 4. Gains 0 and 0.5 over silence,
  // so each sample is half of what tap 1 reads; every tap reads the tail at
  // the same index p while p is below the running delay.
  // Phrase 1 (4 samples), tail 10, 20, 30, 40: 5, 10, 15, 20; the capture
  //   keeps them in entries 0..3 and leaves 400, 600 in 4 and 5.
  // Phrase 2 (6 samples): 2.5 -> 2, 5, 7.5 -> 7, 10 (p 3: tap 0 reads
  //   sample 0 with gain 0, tap 1 still the tail), then entries 4 and 5,
  //   which no capture wrote: 200, 300.
  const int16_t del[2] = {3, 1};
  const float gain[2] = {0.0f, 0.5f};
  const int16_t tail[6] = {10, 20, 30, 40, 400, 600};
  std::copy(std::begin(tail), std::end(tail), tailbuf);
  stream({150, 4, 149, 150, 6, 149});
  const Params p{.numecho = 2, .echodel = del, .echogain = gain};
  out.assign(6, kUntouched);
  EXPECT_EQ(play(p), 4);
  expect_out({5, 10, 15, 20, 0, 0});
  const int16_t kept[6] = {5, 10, 15, 20, 400, 600};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(tailbuf[i], kept[i]) << i;
  EXPECT_EQ(play(p), 6);
  expect_out({2, 5, 7, 10, 200, 300});
}

TEST_F(Render, SixteenBitTapDelayAndTheEndOfTheTail) {
  // echodel 30000, 30000, 1 with gains 0, 0, 0.5 over silence, the tail all
  // 1000. Below 30000 every tap reads the tail at p: 1000 x 0.5 = 500 while
  // p < 10000, 0 from 10000 on (beyond the tail).
  // At 30000 tap 0 passes; the running delay 30000 + 30000 wraps in 16 bits
  // to -5536, tap 1 reads p + 5536 (beyond the buffer: 0), the delay grows
  // to 24464, and tap 2 reads p - 24464 = 5536, which holds 500: 250.
  // A 32-bit running delay (60000) would read the tail there: 0.
  const int16_t del[3] = {30000, 30000, 1};
  const float gain[3] = {0.0f, 0.0f, 0.5f};
  std::fill(std::begin(tailbuf), std::end(tailbuf), int16_t{1000});
  stream({150, 31000, 149});
  out.assign(30002, kUntouched);
  EXPECT_EQ(play({.numecho = 3, .echodel = del, .echogain = gain}), 30002);
  EXPECT_EQ(out[0], 500);
  EXPECT_EQ(out[5536], 500);
  EXPECT_EQ(out[9999], 500);
  EXPECT_EQ(out[10000], 0);
  EXPECT_EQ(out[29999], 0);
  EXPECT_EQ(out[30000], 250);
  EXPECT_EQ(out[30001], 250);
}

TEST_F(Render, NegativeDelaysStayInsideTheBuffer) {
  // A delay of -2 points two samples ahead: samples not yet written (0 after
  // the clearing) or, at the end, outside the buffer (0). Each sample keeps
  // half its value: rests of bg / 2 = 50, 100, ..., 250 give 25, ..., 125.
  const int16_t del[2] = {-2, -3};
  const float gain[2] = {0.5f, 0.0f};
  for (int i = 0; i < 10; ++i) bg[static_cast<size_t>(i)] = static_cast<int16_t>(100 * (i + 1));
  stream({150, 5, 149});
  out.assign(5, kUntouched);
  EXPECT_EQ(play({.srweight = 10, .numecho = 2, .echodel = del, .echogain = gain}), 5);
  expect_out({25, 50, 75, 100, 125});
}

TEST_F(Render, EchoGainsOfAnySize) {
  // One tap at 1: the note's single sample 7 mixes the tail's 5:
  // 7 x (1 - g) + 5 x g, truncated, its low 16 bits stored.
  struct Case {
    float gain;
    int16_t want;
  };
  const Case cases[] = {
      {1099511627776.0f, 7},  // 2^40: 7 - 2 x 2^40, low bits 7
      {65537.0f, 5},          // -458752 + 327685 = -131067 = 5 - 2 x 65536
      {1e30f, 0},             // (5 - 7) x 1e30, a multiple of 2^77
      {-1e30f, 0},
      {std::numeric_limits<float>::infinity(), 0},
      {std::numeric_limits<float>::quiet_NaN(), 0},
      {2.0f, 3},              // -7 + 10
      {-1.0f, 9},             // 14 - 5
  };
  const int16_t del[1] = {1};
  table(0, {7, 7, 7, 7});
  for (const Case& c : cases) {
    tailbuf[0] = 5;
    stream({151, 900, 125, 1, 149});
    EXPECT_EQ(play({.numecho = 1, .echodel = del, .echogain = &c.gain}), 1) << c.gain;
    EXPECT_EQ(out[0], c.want) << c.gain;
  }
}

TEST_F(Render, NoEchoWithoutTapsOrArrays) {
  // numecho 0, or 2 with one of the arrays missing: the buffer is not
  // cleared, the tail neither read nor captured.
  const int16_t del[2] = {1, 1};
  const float gain[2] = {0.5f, 0.5f};
  struct Case {
    int32_t numecho;
    const int16_t* del;
    const float* gain;
    const char* first;
  };
  const Case cases[] = {
      {0, del, gain, "numecho 0,echodel[0] 0,totdel 0"},
      {-1, del, gain, "numecho -1,echodel[0] 0,totdel 0"},
      {2, nullptr, gain, "numecho 2,echodel[0] 0,totdel 0"},
      {2, del, nullptr, "numecho 2,echodel[0] 1,totdel 2"},
  };
  for (int i = 0; i < 10; ++i) bg[static_cast<size_t>(i)] = 40;
  for (const Case& c : cases) {
    tailbuf[0] = 1000;
    out.assign(6, kUntouched);
    g_msgs.clear();
    stream({150, 3, 149});
    EXPECT_EQ(play({.srweight = 10, .numecho = c.numecho, .echodel = c.del, .echogain = c.gain, .tracepos = 7}), 3);
    expect_out({20, 20, 20, kUntouched, kUntouched, kUntouched});
    EXPECT_EQ(tailbuf[0], 1000);
    ASSERT_EQ(g_msgs.size(), 1u) << c.first;
    EXPECT_EQ(g_msgs[0].first, c.first);
  }
}

// ---------------------------------------------------------------------------
// Messages

TEST_F(Render, MessagesGoToTheHookInOrderThenToStandardError) {
  const int16_t del[2] = {100, 200};
  const float gain[2] = {0.0f, 0.0f};
  stream({150, 3, 149, 149});
  EXPECT_EQ(play({.numecho = 2, .echodel = del, .echogain = gain, .tracepos = 5}), 3);
  const std::vector<std::pair<std::string, std::string>> want = {
      {"numecho 2,echodel[0] 100,totdel 300", ""},
      {"totdel 300,samppos 3", ""},
  };
  EXPECT_EQ(g_msgs, want);

  // tracepos 0: nothing is shown.
  g_msgs.clear();
  stream({149});
  EXPECT_EQ(play({.numecho = 2, .echodel = del, .echogain = gain}), 0);
  EXPECT_TRUE(g_msgs.empty());

#if !defined(_WIN32)
  // A null hook brings the default back: one line on standard error (a
  // message box on Windows).
  setmsghook(nullptr);
  stream({149});
  testing::internal::CaptureStderr();
  EXPECT_EQ(play({.numecho = 2, .echodel = del, .echogain = gain, .tracepos = -1}), 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "numecho 2,echodel[0] 100,totdel 300\ntotdel 300,samppos 0\n");
  EXPECT_TRUE(g_msgs.empty());
#endif
}

// ---------------------------------------------------------------------------
// The host's floating-point environment

#if HAVE_MXCSR
TEST_F(Render, RunsInTheDefaultFloatingPointEnvironment) {
  // Phrases whose every step rounds: the worked phase step over a steady
  // part, a glide, a transposition, crossfades of type 3 and two echo taps
  // with inexact gains; then a phrase that reads the tail, and one with a
  // denormal gain. Each host environment (another rounding mode, flush to
  // zero, denormals are zero) must give the very samples of the default one
  // and get its own environment back after every call.
  tblsize[0] = 80;
  for (int s = 0; s < 6; ++s)
    for (int i = 0; i < 80; ++i) wtb[0][s][i] = static_cast<int16_t>((i * 797 + s * 3001) % 20000 - 10000);
  const int16_t del[2] = {300, 700};
  const float gain[2] = {0.3f, 0.7f};
  const int16_t one[1] = {1};
  const float tiny[1] = {1e-40f};
  const Params p{.samprate = 22050, .envtype = 3, .srweight = 7, .transnum = 3, .transden = 7,
                 .numecho = 2, .echodel = del, .echogain = gain};
  const Params q{.samprate = 22050, .envtype = 1, .srweight = 3, .numecho = 1, .echodel = one, .echogain = tiny};
  struct Run {
    std::vector<int32_t> results;
    std::vector<std::vector<int16_t>> outs;
    std::vector<int16_t> tail;
  };
  auto run = [&](int mode, unsigned ftzdaz) {
    std::fill(std::begin(tailbuf), std::end(tailbuf), int16_t{0});
    resetbg();
    srlen = 10;
    for (int i = 0; i < 10; ++i) bg[static_cast<size_t>(i)] = static_cast<int16_t>(i * 1111 - 5000);
    stream({152, 300, 4400, 40, 13, 6173, 30, 150, 7, 149, 151, 900, 3331, 20, 149, 151, 400, 99, 3, 149});
    Run res;
    for (const Params* call : {&p, &p, &q}) {
      out.assign(25000, kUntouched);
      EXPECT_EQ(std::fesetround(mode), 0);
      const unsigned csr = (_mm_getcsr() & ~0x8040u) | ftzdaz;
      _mm_setcsr(csr);
      res.results.push_back(play(*call));
      const unsigned csrafter = _mm_getcsr();
      const int roundafter = std::fegetround();
      _mm_setcsr(0x1F80);
      std::fesetround(FE_TONEAREST);
      EXPECT_EQ(csrafter, csr) << mode << " " << ftzdaz;
      EXPECT_EQ(roundafter, mode) << mode << " " << ftzdaz;
      res.outs.push_back(out);
    }
    res.tail.assign(std::begin(tailbuf), std::end(tailbuf));
    return res;
  };
  const Run ref = run(FE_TONEAREST, 0);
  EXPECT_EQ(ref.results, (std::vector<int32_t>{22050 * 83 / 100 + 22050 * 7 / 100, 22050 * 20 / 100, 661}));
  const std::pair<int, unsigned> envs[] = {
      {FE_TONEAREST, 0x8040u}, {FE_UPWARD, 0x8040u}, {FE_TOWARDZERO, 0u},
      {FE_DOWNWARD, 0x8000u},  {FE_UPWARD, 0u},      {FE_TOWARDZERO, 0x0040u},
  };
  for (const auto& [mode, bits] : envs) {
    const Run r = run(mode, bits);
    EXPECT_EQ(r.results, ref.results) << mode << " " << bits;
    EXPECT_TRUE(r.outs == ref.outs) << mode << " " << bits;
    EXPECT_TRUE(r.tail == ref.tail) << mode << " " << bits;
  }
}
#endif

}  // namespace
