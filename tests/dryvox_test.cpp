// dryvox as a host sees it: the exports, the echo-free renderer wtalbin16
// (pitches in hertz, transposition, srreset, a buffer that is never cleared)
// and the loader rdtalbin16 with its -60 for every invalid event byte.
//
// Expected samples are worked out by hand in the comments beside them: the
// phase after each step, the table index and fraction, the mix.
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "dryvox.h"

namespace {

constexpr int16_t kSentinel = 0x5A5A;

// A tiny bank in the engine: six equal stages in set s, so that the stage
// crossfade leaves the table value as it is.
void settable(int32_t s, const std::vector<int16_t>& table) {
  numtb = 6;
  tblsize[s] = static_cast<int32_t>(table.size());
  for (int32_t j = 0; j < 6; ++j)
    for (size_t k = 0; k < table.size(); ++k) wtb[s][j][k] = table[k];
}

void setstream(std::initializer_list<int32_t> words, int32_t at = 0) {
  std::copy(words.begin(), words.end(), tdata + at);
}

// The arguments of one wtalbin16 call, with the defaults most tests use:
// restart at 0, background from its first sample, 100 samples per second,
// envelope type 0, no background in the mix, no transposition.
struct Call {
  int32_t restart = 1;
  int32_t srreset = 1;
  int32_t startpos = 0;
  int32_t bufbytes = -1;  // -1: the whole vector
  int32_t samprate = 100;
  int32_t envtype = 0;
  int32_t srweight = 0;
  int32_t transnum = 0;
  int32_t transden = 0;
  int32_t spare = 0;

  int32_t operator()(std::vector<int16_t>& out, const std::vector<int16_t>& bg) const {
    const int32_t bytes = bufbytes >= 0 ? bufbytes : static_cast<int32_t>(2 * out.size());
    return wtalbin16(restart, srreset, startpos, out.data(), bytes, bg.data(), samprate, envtype, srweight,
                     transnum, transden, spare);
  }
};

// A silent background of ten samples.
std::vector<int16_t> silence() {
  srlen = 10;
  return std::vector<int16_t>(10, 0);
}

struct Message {
  std::string text;
  std::string caption;
};
std::vector<Message> g_messages;
void VOXCALL record(const char* text, const char* caption) { g_messages.push_back({text, caption}); }

// Tests that watch the messages: every text goes to g_messages.
class Hooked : public ::testing::Test {
 protected:
  void SetUp() override {
    g_messages.clear();
    setmsghook(record);
  }
  void TearDown() override { setmsghook(nullptr); }
};
class RendererMessages : public Hooked {};
class LoaderMessages : public Hooked {};
class EndToEnd : public Hooked {};

// ---------------------------------------------------------------------------
// Exports

TEST(Exports, TheLibraryExportsItsNamesAndNoTailOrPosition) {
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&wtalbin16), &info), 0);
  void* lib = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
  ASSERT_NE(lib, nullptr) << info.dli_fname;

  for (const char* fn : {"rdtalbin16", "wtalbin16", "LibMain", "setmsghook"})
    EXPECT_NE(dlsym(lib, fn), nullptr) << fn;
  // The data exports are the very variables the header declares.
  const std::pair<const char*, const void*> data[] = {
      {"wtb", wtb},           {"numtb", &numtb},         {"tblsize", tblsize},     {"freqdim", freqdim},
      {"srlen", &srlen},      {"datapos", &datapos},     {"tdata", tdata},         {"freq", freq},
      {"dur", dur},           {"trans", trans},          {"sampstdur", sampstdur}, {"sampsttr", sampsttr},
      {"sampsttbl", sampsttbl}, {"sampstdif", sampstdif}, {"msg", msg},
  };
  for (const auto& [name, addr] : data) EXPECT_EQ(dlsym(lib, name), addr) << name;
  // No echo tail, the background position stays hidden, and nothing of the
  // other libraries.
  for (const char* name : {"tailbuf", "srcnt", "rdbin16", "wrtbin16", "rdtbsrbn16", "dwrblk16bin"})
    EXPECT_EQ(dlsym(lib, name), nullptr) << name;
  dlclose(lib);

  EXPECT_EQ(LibMain(0, 0, 0, 0), 1);
  EXPECT_EQ(LibMain(-1, 0x12345, -7, 99), 1);
}

// ---------------------------------------------------------------------------
// Renderer: pitches in hertz, transposition

// 440 Hz on an 80-sample ramp (sample k holds 100 k) at 22050 samples per
// second: phinc = 80 x 440 / 22050 = 1.59637188... -> 1.5963719 (float).
// Level 9 and no background make val the table value itself.
TEST(Renderer, NoteAt440HzStepsAnEightySampleTable) {
  std::vector<int16_t> ramp(80);
  for (int16_t k = 0; k < 80; ++k) ramp[static_cast<size_t>(k)] = static_cast<int16_t>(100 * k);
  settable(2, ramp);
  setstream({151, 902, 440, 1, 149, 139});  // one segment of 1 cs: 22050 x 1 / 100 = 220 samples
  const auto bg = silence();
  std::vector<int16_t> out(300, kSentinel);
  Call c;
  c.samprate = 22050;
  ASSERT_EQ(c(out, bg), 220);
  EXPECT_EQ(freq[0], 440.0f);
  EXPECT_EQ(dur[0], 1);
  EXPECT_EQ(sampsttr[0], 220);

  struct Want {
    int k;  // 1-based sample of the note
    int16_t v;
  };
  const Want want[] = {
      {1, 159},   // phase 1.5963719: idx 1, frac .59637 -> 100 + 59
      {2, 319},   // 3.1927438: 300 + 19
      {3, 478},   // 4.7891159: 400 + 78
      {49, 7822}, // 78.222229: 7800 + 22
      {50, 1433}, // 79.818604: idx 79, next 0: 7900 - 7900 x .818604 = 1433.03
      {51, 141},  // 81.414978: idx 1: 100 + 41
      // The phase is a float rounded at every step: after 100 steps it is
      // 159.63733 (100 x phinc is 159.63719, which would give 2866):
      // idx 79, 7900 x (1 - .63733) = 2865.1.
      {100, 2865},
      {200, 5729},  // 319.27478: idx 79, 7900 x (1 - .27478) = 5729.2 (200 x phinc: 5732)
      {220, 3120},  // 351.20227: idx 31, 3100 + 20
  };
  for (const auto& w : want) EXPECT_EQ(out[static_cast<size_t>(w.k - 1)], w.v) << "sample " << w.k;
  EXPECT_EQ(out[220], kSentinel);
}

// freq[] keeps the pitches of the last note after transposition, rounded once
// to a float; the first sample of the note follows it.
TEST(Renderer, TranspositionScalesThePitchesOnce) {
  std::vector<int16_t> ramp(80);
  for (int16_t k = 0; k < 80; ++k) ramp[static_cast<size_t>(k)] = static_cast<int16_t>(100 * k);
  settable(0, ramp);
  const auto bg = silence();
  struct Case {
    const char* what;
    int32_t num, den;
    float f0, f1;
    int16_t first;  // first sample: phase = phinc = 80 x f0 / 22050
  };
  const Case cases[] = {
      {"3/2", 3, 2, 660.0f, 990.0f, 239},             // 2.3945577: 200 + 39
      {"2/1", 2, 1, 880.0f, 1320.0f, 319},            // 3.1927438
      {"3/3 equal terms", 3, 3, 440.0f, 660.0f, 159}, // untouched
      {"transden 0", 5, 0, 440.0f, 660.0f, 159},      // no transposition whatever transnum
      {"0/0", 0, 0, 440.0f, 660.0f, 159},
      // Only the low 16 bits count, as signed values.
      {"low halves 3/2", 0x10003, 0x20002, 660.0f, 990.0f, 239},
      {"low half of transden 0", 7, 0x10000, 440.0f, 660.0f, 159},
      {"low halves equal", 2, 0x70002, 440.0f, 660.0f, 159},
      {"-3/-2", -3, -2, 660.0f, 990.0f, 239},
      // 440 / 3 x 7 = 1026.66666...; rounded once it is 1026.6666259765625.
      // Rounding 440 / 3 to a float first would give 1026.666748046875.
      // 80 x 1026.6666 / 22050 = 3.7248679: 300 + 72.
      {"7/3 rounded once", 7, 3, 1026.6666259765625f, 1540.0f, 372},
  };
  for (const auto& c : cases) {
    setstream({152, 900, 440, 1, 0, 660, 1, 149, 139});
    std::vector<int16_t> out(500, kSentinel);
    Call call;
    call.samprate = 22050;
    call.transnum = c.num;
    call.transden = c.den;
    EXPECT_EQ(call(out, bg), 440) << c.what;
    EXPECT_EQ(freq[0], c.f0) << c.what;
    EXPECT_EQ(freq[1], c.f1) << c.what;
    EXPECT_EQ(out[0], c.first) << c.what;
  }
}

// A glide in hertz at 100 samples per second on a 4-sample table: the phase
// steps by 4 x pitch / 100, not a tenth of it.
TEST(Renderer, GlideStepsInHertz) {
  settable(0, {0, 1000, 2000, 3000});
  const auto bg = silence();
  // 25 Hz for 2 cs, a glide of 4 cs to 50 Hz, 50 Hz for 2 cs: 8 samples.
  struct Case {
    int32_t num, den;
    std::vector<int16_t> want;
  };
  const Case cases[] = {
      // steady: phase 1, 2 (phinc 1); glide step 25 / 4 = 6.25: pitches
      // 31.25, 37.5, 43.75, 50 add 1.25, 1.5, 1.75, 2: phase 3.25, 4.75, 6.5,
      // 8.5; steady 50 Hz: 10.5, 12.5.
      // 3.25: idx 3, next 0: 3000 - 3000 x .25 = 2250; 4.75: idx 0: 750.
      {1, 1, {1000, 2000, 2250, 750, 2500, 500, 2500, 500}},
      // 2/1: 50 Hz then 100 Hz. Phase 2, 4; glide step 12.5 adds 2.5, 3,
      // 3.5, 4: 6.5, 9.5, 13, 17; then phinc 4: 21, 25.
      {2, 1, {2000, 0, 2500, 1500, 1000, 1000, 1000, 1000}},
  };
  for (const auto& c : cases) {
    setstream({152, 900, 25, 2, 4, 50, 2, 149, 139});
    std::vector<int16_t> out(10, kSentinel);
    Call call;
    call.transnum = c.num;
    call.transden = c.den;
    ASSERT_EQ(call(out, bg), 8);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(out[i], c.want[i]) << c.num << "/" << c.den << " sample " << i;
    EXPECT_EQ(out[8], kSentinel);
  }
}

// ---------------------------------------------------------------------------
// Renderer: the background position and srreset

// Ten background samples 100, 200, ... 1000 at weight 10: a rest sample is
// bg x 10 / 20, so the output shows which background sample was mixed.
TEST(Renderer, SrresetRestartsTheBackgroundNotTheScore) {
  srlen = 10;
  std::vector<int16_t> bg(10);
  for (int16_t i = 0; i < 10; ++i) bg[static_cast<size_t>(i)] = static_cast<int16_t>(100 * (i + 1));
  // Three phrases of rests: 3, 4 and 5 samples.
  setstream({150, 3, 149, 150, 4, 149, 150, 5, 149, 139});
  auto play = [&](int32_t restart, int32_t srreset, int32_t startpos, int32_t spare) {
    std::vector<int16_t> out(8, kSentinel);
    Call c;
    c.restart = restart;
    c.srreset = srreset;
    c.startpos = startpos;
    c.srweight = 10;
    c.spare = spare;
    const int32_t r = c(out, bg);
    out.resize(static_cast<size_t>(std::max(r, 0)));
    return out;
  };
  using V = std::vector<int16_t>;
  EXPECT_EQ(play(1, 1, 0, 0), (V{50, 100, 150}));
  // Low halves of 0: neither a restart nor a reset; spare is not read.
  EXPECT_EQ(play(0x10000, 0x10000, 0, 5), (V{200, 250, 300, 350}));
  // The score goes on with phrase 3, the background from its first sample.
  EXPECT_EQ(play(0, 1, 0, -1), (V{50, 100, 150, 200, 250}));
  EXPECT_EQ(play(0, 0, 0, 0), V{});  // -1: the end of the score
  EXPECT_EQ(datapos, 9);
  // A restart alone keeps the background running (it stood at 5) and wraps
  // it at srlen.
  EXPECT_EQ(play(1, 0, 3, 0), (V{300, 350, 400, 450}));
  EXPECT_EQ(play(0, 0, 0, 0), (V{500, 50, 100, 150, 200}));
  // srreset with a negative low half counts as set.
  EXPECT_EQ(play(1, 0xFFFF, 6, 0), (V{50, 100, 150, 200, 250}));
}

// A background position at or past srlen (after a shorter recording was
// set) starts again at 0 before it is read; with no recording (srlen 0, no
// buffer) the background is silent.
TEST(Renderer, BackgroundIsReadOnlyInsideItsLength) {
  srlen = 10;
  std::vector<int16_t> bg(10);
  for (int16_t i = 0; i < 10; ++i) bg[static_cast<size_t>(i)] = static_cast<int16_t>(100 * (i + 1));
  setstream({150, 7, 149, 150, 3, 149, 139});
  std::vector<int16_t> out(8, kSentinel);
  Call c;
  c.srweight = 10;
  ASSERT_EQ(c(out, bg), 7);  // the background stands at 7
  srlen = 5;
  c.restart = 0;
  c.srreset = 0;
  ASSERT_EQ(c(out, bg), 3);
  EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 3), (std::vector<int16_t>{50, 100, 150}));

  srlen = 0;
  std::fill(out.begin(), out.end(), kSentinel);
  ASSERT_EQ(wtalbin16(1, 0, 0, out.data(), 16, nullptr, 100, 0, 10, 0, 0, 0), 7);
  EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 7), std::vector<int16_t>(7, 0));
}

// With a restart and a reset the same call writes the same samples, whatever
// came before and whatever spare holds.
TEST(Renderer, RestartWithResetRepeatsThePhrase) {
  settable(3, {0, 1000, 2000, 3000});
  srlen = 10;
  const std::vector<int16_t> bg = {11, -22, 33, -44, 55, -66, 77, -88, 99, -110};
  setstream({150, 2, 153, 503, 25, 3, 2, 75, 2, 1, 50, 3, 149, 150, 7, 149, 139});
  Call c;
  c.srweight = 3;
  c.envtype = 2;
  c.transnum = 4;
  c.transden = 3;
  std::vector<int16_t> first(30, kSentinel);
  const int32_t n = c(first, bg);
  ASSERT_EQ(n, 13);  // a rest of 2, a note of 3 + 2 + 2 + 1 + 3
  std::vector<int16_t> other(30, 0);
  Call next;
  next.restart = 0;
  next.srreset = 0;
  ASSERT_EQ(next(other, bg), 7);
  for (int32_t spare : {1, -1, 0x7FFFFFFF}) {
    std::vector<int16_t> again(30, kSentinel);
    c.spare = spare;
    ASSERT_EQ(c(again, bg), n);
    EXPECT_EQ(again, first) << spare;
  }
}

// ---------------------------------------------------------------------------
// Renderer: the output buffer is never cleared

TEST(Renderer, SamplesBeyondTheResultKeepWhatTheHostLeft) {
  const auto bg = silence();
  settable(0, {0, 1000, 2000, 3000});
  struct Step {
    int32_t bufbytes;   // of a 10-sample buffer filled with the sentinel
    int32_t result;
    int32_t datapos;    // afterwards
    int32_t written;    // samples stored from 0 on (all 1000 for notes, 0 for rests)
  };
  struct Case {
    const char* what;
    std::vector<int32_t> stream;
    std::vector<Step> steps;  // the first with a restart at 0
  };
  // Background weight 0 makes rests silent: the sentinel shows what a call
  // did not touch. The note plays 25 Hz on the table: phase 1, 2, 3, 4, ...
  const Case cases[] = {
      {"a stream that starts with 149", {149, 139}, {{20, 0, 1, 0}, {20, -1, 1, 0}, {20, -1, 1, 0}}},
      {"a short phrase", {150, 3, 149, 139}, {{20, 3, 3, 3}}},
      // 10 samples of rest into a buffer of 3 (7 bytes): full, the rest is
      // dropped, the next call reads the 149 after it.
      {"a rest longer than the buffer", {150, 10, 149, 139}, {{7, 3, 2, 3}, {7, 0, 3, 0}}},
      // A phrase of exactly the capacity: the 149 is read by the next call.
      {"a phrase that fills the buffer", {150, 2, 150, 2, 149, 139}, {{8, 4, 4, 4}, {8, 0, 5, 0}}},
      {"a note cut short", {151, 900, 25, 9, 150, 1, 149, 139}, {{10, 5, 4, 5}, {10, 1, 7, 1}}},
      // No room for one sample: nothing is stored, the rest is consumed.
      {"bufbytes 1", {150, 3, 149, 139}, {{1, 0, 2, 0}}},
  };
  for (const auto& c : cases) {
    std::fill(tdata, tdata + 20, 0);
    std::copy(c.stream.begin(), c.stream.end(), tdata);
    bool first = true;
    for (const auto& s : c.steps) {
      std::vector<int16_t> out(10, kSentinel);
      Call call;
      call.restart = first ? 1 : 0;
      call.bufbytes = s.bufbytes;
      first = false;
      EXPECT_EQ(call(out, bg), s.result) << c.what;
      EXPECT_EQ(datapos, s.datapos) << c.what;
      for (int32_t i = 0; i < 10; ++i) {
        if (i < s.written)
          EXPECT_NE(out[static_cast<size_t>(i)], kSentinel) << c.what << " sample " << i;
        else
          EXPECT_EQ(out[static_cast<size_t>(i)], kSentinel) << c.what << " sample " << i;
      }
    }
  }
}

TEST(Renderer, NoteCutShortPlaysItsFirstSamplesAndIsNotResumed) {
  settable(0, {0, 1000, 2000, 3000});
  const auto bg = silence();
  setstream({151, 900, 25, 9, 150, 1, 149, 139});
  std::vector<int16_t> out(6, kSentinel);
  Call c;
  c.bufbytes = 10;
  ASSERT_EQ(c(out, bg), 5);
  EXPECT_EQ(out, (std::vector<int16_t>{1000, 2000, 3000, 0, 1000, kSentinel}));
  c.restart = 0;
  c.srreset = 0;
  std::fill(out.begin(), out.end(), kSentinel);
  ASSERT_EQ(c(out, bg), 1);  // the rest of 1 sample after the note
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], kSentinel);
}

// ---------------------------------------------------------------------------
// Renderer: codes it skips, notes it refuses, arguments it refuses

TEST_F(RendererMessages, SkipsRefusesAndShowsNothing) {
  settable(0, {0, 1000, 2000, 3000});
  const auto bg = silence();

  // 148, 171 and 200 each take the word after them along.
  setstream({148, 150, 171, 150, 200, 149, 150, 2, 149, 139});
  std::vector<int16_t> out(8, kSentinel);
  Call c;
  EXPECT_EQ(c(out, bg), 2);
  EXPECT_EQ(datapos, 9);

  // A note on set 11 (head 1011): -110, datapos after its head word; the
  // samples before it stay in the buffer.
  setstream({150, 2, 151, 1011, 25, 3, 149, 139});
  std::fill(out.begin(), out.end(), kSentinel);
  EXPECT_EQ(c(out, bg), -110);
  EXPECT_EQ(datapos, 4);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(out[2], kSentinel);
  setstream({151, 99, 25, 3, 149, 139});  // set 99 at level 9: -990
  EXPECT_EQ(c(out, bg), -990);

  // Notes that cannot be played: -100, nothing written, datapos after the head.
  struct Unplayable {
    const char* what;
    int32_t head, numtb, tblsize;
  };
  const Unplayable bad[] = {
      {"negative head word", -5, 6, 4},   {"stage count 7", 900, 7, 4},   {"stage count 1", 900, 1, 4},
      {"table size 0", 900, 6, 0},        {"table size 81", 900, 6, 81}, {"negative table size", 900, 6, -257},
  };
  for (const auto& b : bad) {
    setstream({151, b.head, 25, 3, 149, 139});
    numtb = b.numtb;
    tblsize[0] = b.tblsize;
    std::fill(out.begin(), out.end(), kSentinel);
    EXPECT_EQ(c(out, bg), -100) << b.what;
    EXPECT_EQ(datapos, 2) << b.what;
    EXPECT_EQ(out[0], kSentinel) << b.what;
  }
  settable(0, {0, 1000, 2000, 3000});

  // Parameters that cannot be rendered: -2 and nothing changes, neither
  // datapos (despite the restart) nor the background position (despite
  // srreset) nor the buffer.
  srlen = 10;
  std::vector<int16_t> ramp = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
  setstream({150, 3, 149, 150, 3, 149, 139});
  Call mix;
  mix.srweight = 10;  // a rest sample is bg / 2
  ASSERT_EQ(mix(out, ramp), 3);  // background now at 3
  struct BadArgs {
    const char* what;
    int32_t samprate, envtype, srweight;
    bool nullbuf;
  };
  const BadArgs args[] = {
      {"samprate 0", 0, 0, 10, false}, {"samprate -100", -100, 0, 10, false}, {"envtype 5", 100, 5, 10, false},
      {"envtype -1", 100, -1, 10, false}, {"srweight -10", 100, 0, -10, false}, {"null buffer", 100, 0, 10, true},
  };
  for (const auto& a : args) {
    std::fill(out.begin(), out.end(), kSentinel);
    const int32_t r = wtalbin16(1, 1, 0, a.nullbuf ? nullptr : out.data(), 16, ramp.data(), a.samprate, a.envtype,
                                a.srweight, 0, 0, 0);
    EXPECT_EQ(r, -2) << a.what;
    EXPECT_EQ(datapos, 3) << a.what;
    EXPECT_EQ(out[0], kSentinel) << a.what;
  }
  mix.restart = 0;
  mix.srreset = 0;
  ASSERT_EQ(mix(out, ramp), 3);
  EXPECT_EQ(out[0], 20);  // background sample 3 (40), not 0
  EXPECT_EQ(out[2], 30);

  // Positions outside the stream, and an event running past its end, end the
  // score without moving datapos.
  for (int32_t pos : {-1, 3000, 100000}) {
    datapos = pos;
    mix.restart = 0;
    EXPECT_EQ(mix(out, ramp), -1) << pos;
    EXPECT_EQ(datapos, pos);
  }
  tdata[2998] = 151;  // a note needs 4 words: 2998..3001
  tdata[2999] = 900;
  mix.restart = 1;
  mix.startpos = 2998;
  EXPECT_EQ(mix(out, ramp), -1);
  EXPECT_EQ(datapos, 2998);
  tdata[2998] = 150;  // a rest needs 2: it fits
  tdata[2999] = 0;
  EXPECT_EQ(mix(out, ramp), -1);
  EXPECT_EQ(datapos, 3000);

  EXPECT_TRUE(g_messages.empty()) << g_messages.front().text;
}

// ---------------------------------------------------------------------------
// Loader

// Files written by the tests, in a directory of their own.
class Files {
 public:
  Files() {
    static int serial = 0;
    dir_ = std::filesystem::path(::testing::TempDir()) /
           ("dryvox_" + std::to_string(getpid()) + "_" + std::to_string(serial++));
    std::filesystem::create_directories(dir_);
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = (dir_ / name).string();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return path;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
  }
  std::string missing() const { return (dir_ / "missing").string(); }

 private:
  std::filesystem::path dir_;
};

// A bank of `sets` sets of `numtb` stages; sample k of stage j of set s is
// value(s, j, k). Little-endian.
template <class F>
std::vector<uint8_t> bankfile(uint16_t stages, int sets, uint16_t size, F value) {
  std::vector<uint8_t> b;
  auto put = [&](int v) {
    b.push_back(static_cast<uint8_t>(v & 0xFF));
    b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
  };
  put(stages);
  for (int s = 0; s < sets; ++s) {
    put(size);
    for (int j = 0; j < stages; ++j)
      for (int k = 0; k < size; ++k) put(value(s, j, k));
  }
  return b;
}
std::vector<uint8_t> smallbank() {
  return bankfile(6, 5, 4, [](int s, int, int k) { return 1000 * s + k; });
}

// A background file: a 44-byte header that is never read, then the samples
// little-endian, padded with zeros to `count` samples.
std::vector<uint8_t> wavfile(std::vector<int16_t> samples, size_t count = 500) {
  samples.resize(std::max(count, samples.size()), 0);
  std::vector<uint8_t> b(44, 0xEE);
  for (int16_t s : samples) {
    b.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) & 0xFF));
    b.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
  }
  return b;
}

int openfds() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

struct Load {
  std::string score, bank, sr;
  int32_t offset = 0;
  int32_t layout = 2;
  int32_t tracepos = 0;
  std::vector<char> captext = std::vector<char>(64, 0);
  std::vector<int32_t> cappos = std::vector<int32_t>(8, -1);
  std::vector<uint8_t> srdata = std::vector<uint8_t>(1200, 0xCC);

  int32_t operator()() {
    return rdtalbin16(score.c_str(), bank.c_str(), sr.c_str(), offset, captext.data(), cappos.data(),
                      srdata.data(), layout, tracepos);
  }
};

TEST(Loader, ResultCodes) {
  Files files;
  const std::string bank = files.write("bank", smallbank());
  const std::string sr = files.write("sr", wavfile({}));
  // 2950 ends of phrase, then a note of 20 segments; 2959, then a note of 1.
  std::vector<uint8_t> long20(2950, 149);
  for (uint8_t b : {170, 0x03, 0x84}) long20.push_back(b);
  for (int i = 0; i < 20; ++i)
    for (uint8_t b : {0x01, 0xB8, 10, 10}) long20.push_back(b);
  long20.push_back(139);
  std::vector<uint8_t> one2959(2959, 149);
  for (uint8_t b : {151, 0x03, 0x84, 0x01, 0xB8, 10, 139}) one2959.push_back(b);

  struct Case {
    const char* what;
    std::vector<uint8_t> score;
    int32_t want;
    std::string bank = {};  // empty: the small bank
    std::string sr = {};    // empty: a good background
    int32_t layout = 2;
    int32_t offset = 0;
  };
  const Case cases[] = {
      {"only the end of the score", {139}, 0},
      {"a rest", {150, 25, 139}, 2},
      {"a one-segment note", {151, 0x03, 0x85, 0x11, 0x30, 0x32, 139}, 4},
      {"offset skips the bytes before it", {147, 171, 255, 150, 25, 139}, 2, {}, {}, 2, 3},
      // Every invalid event byte gives -60.
      {"event byte 147", {147, 139}, -60},
      {"event byte 171", {171, 139}, -60},
      {"event byte 255", {150, 1, 255}, -60},
      {"event byte 0", {0}, -60},
      {"event byte 140", {140}, -60},
      {"no end-of-score byte", {150, 25, 149}, -60},
      {"an empty score", {}, -60},
      {"an offset past the end", {139}, -60, {}, {}, 2, 5},
      {"a caption never closed", {150, 2, 148, 196, 229}, -60},
      // The file ending inside an event is no failure: the event is complete
      // with -1 bytes and parsing stops after it.
      {"ends inside a rest", {150}, 2},
      {"ends inside a note", {151, 0x03}, 4},
      // The position limit.
      {"20 segments from 2950", long20, -65},
      {"1 segment from 2959", one2959, 2963},
      // The background recording: 1000 data bytes at least.
      {"background of 999 bytes", {139}, -35, {}, files.write("sr999", std::vector<uint8_t>(1043, 1))},
      {"background of 1000 bytes", {139}, 0, {}, files.write("sr1000", std::vector<uint8_t>(1044, 1))},
      {"background missing", {139}, -30, {}, files.missing()},
      // The bank.
      {"bank missing", {139}, -20, files.missing()},
      {"stage count 1", {139}, -40, files.write("b1", {1, 0})},
      {"empty bank", {139}, -40, files.write("b0", {})},
      {"stage count 2", {139}, 0, files.write("b2", bankfile(2, 5, 4, [](int, int, int) { return 0; }))},
      {"stage count 7", {139}, -45, files.write("b7", bankfile(7, 5, 4, [](int, int, int) { return 0; }))},
      {"stage count 11", {139}, -45, files.write("b11", {11, 0})},
      {"stage count 12", {139}, -45, files.write("b12", {12, 0})},
      {"table size 81", {139}, -50, files.write("b81", {2, 0, 81, 0})},
      {"table size 80", {139}, 0, files.write("b80", bankfile(2, 5, 80, [](int, int, int) { return 0; }))},
      {"bank layout 5", {139}, -48, {}, {}, 5},
      {"bank layout -1", {139}, -48, {}, {}, -1},
      {"bank layout 0 reads 11 sets", {139}, 0, files.write("b11sets", bankfile(2, 11, 1, [](int, int, int) {
                                                              return 0;
                                                            })), {}, 0},
  };
  int i = 0;
  for (const auto& c : cases) {
    Load l;
    l.score = files.write("score" + std::to_string(i++), c.score);
    l.bank = c.bank.empty() ? bank : c.bank;
    l.sr = c.sr.empty() ? sr : c.sr;
    l.layout = c.layout;
    l.offset = c.offset;
    const int fds = openfds();
    EXPECT_EQ(l(), c.want) << c.what;
    EXPECT_EQ(openfds(), fds) << c.what << ": a file was left open";
  }
  // Every byte that opens no event, before a well-formed end.
  for (int e = 0; e < 256; ++e) {
    if (e == 139 || (e >= 148 && e <= 170)) continue;
    Load one;
    one.score = files.write("byte", {static_cast<uint8_t>(e), 139});
    one.bank = bank;
    one.sr = sr;
    EXPECT_EQ(one(), -60) << "event byte " << e;
    EXPECT_EQ(tdata[0], e);
  }

  // A missing score file comes first.
  Load l;
  l.score = files.missing();
  l.bank = files.missing();
  l.sr = files.missing();
  EXPECT_EQ(l(), -10);

  // A freqdim entry outside 1..11 is a bad layout too.
  freqdim[2] = 0;
  l.score = files.write("s", {139});
  l.bank = bank;
  l.sr = sr;
  EXPECT_EQ(l(), -48);
  freqdim[2] = 12;
  EXPECT_EQ(l(), -48);
  freqdim[2] = 5;
  EXPECT_EQ(l(), 0);
}

// What a failed parse leaves behind: the entries stored so far, the invalid
// byte last; everything after it as it was.
TEST(Loader, FailedParseKeepsWhatItStored) {
  Files files;
  std::fill(tdata, tdata + 10, 77);
  Load l;
  l.score = files.write("score", {150, 9, 149, 200, 139});
  l.bank = files.write("bank", smallbank());
  l.sr = files.write("sr", wavfile({258, -2}));
  ASSERT_EQ(l(), -60);
  EXPECT_EQ(std::vector<int32_t>(tdata, tdata + 6), (std::vector<int32_t>{150, 9, 149, 200, 77, 77}));
  // The background and the bank were loaded before the score was read.
  EXPECT_EQ(srlen, 500);
  EXPECT_EQ(l.srdata[0], 2);
  EXPECT_EQ(l.srdata[1], 1);
  EXPECT_EQ(l.srdata[2], 0xFE);
  EXPECT_EQ(l.srdata[3], 0xFF);
  EXPECT_EQ(l.srdata[1000], 0xCC);
  EXPECT_EQ(numtb, 6);
  EXPECT_EQ(tblsize[4], 4);
  EXPECT_EQ(wtb[4][5][3], 4003);

  // The end of the file where an event byte is expected: the same -60, after
  // the entries of the complete events.
  l.score = files.write("score2", {150, 7, 149});
  ASSERT_EQ(l(), -60);
  // The -1 read in place of the event byte is the last entry stored.
  EXPECT_EQ(std::vector<int32_t>(tdata, tdata + 5), (std::vector<int32_t>{150, 7, 149, -1, 77}));
}

TEST(Loader, ScoreThatCannotBeOpenedChangesNothing) {
  Files files;
  numtb = 3;
  tblsize[0] = 9;
  wtb[0][0][0] = 1234;
  srlen = 4321;
  tdata[0] = 555;
  datapos = 17;
  Load l;
  l.score = files.missing();
  l.bank = files.write("bank", smallbank());
  l.sr = files.write("sr", wavfile({1}));
  const int fds = openfds();
  ASSERT_EQ(l(), -10);
  EXPECT_EQ(openfds(), fds);
  EXPECT_EQ(numtb, 3);
  EXPECT_EQ(tblsize[0], 9);
  EXPECT_EQ(wtb[0][0][0], 1234);
  EXPECT_EQ(srlen, 4321);
  EXPECT_EQ(tdata[0], 555);
  EXPECT_EQ(datapos, 17);
  EXPECT_EQ(l.srdata[0], 0xCC);

  // With the score there but the bank missing: -20, and still nothing read.
  l.score = files.write("score", {150, 1, 139});
  l.bank = files.missing();
  ASSERT_EQ(l(), -20);
  EXPECT_EQ(openfds(), fds);
  EXPECT_EQ(srlen, 4321);
  EXPECT_EQ(tdata[0], 555);
}

// tracepos 5: "srlen", four bytes 6..9 of the background, "m ...", "Tdat"
// with tdata[5..9]; msg keeps the first 31 characters of the last text.
TEST_F(LoaderMessages, TracesInOrder) {
  Files files;
  std::vector<uint8_t> wav = wavfile({}, 510);  // 1020 data bytes
  for (uint8_t i = 0; i < 12; ++i) wav[44 + i] = static_cast<uint8_t>(0xC0 + i);
  // Stream: 150 1 150 2 149 | 152 65535 65535 255 255 300 1 | 139
  const std::vector<uint8_t> score = {150, 1, 150, 2, 149, 152, 0xFF, 0xFF, 0xFF, 0xFF, 255, 255, 0x01, 0x2C, 1, 139};
  Load l;
  l.score = files.write("score", score);
  l.bank = files.write("bank", bankfile(6, 5, 3, [](int, int, int) { return 0; }));
  l.sr = files.write("sr", wav);
  l.tracepos = 5;
  ASSERT_EQ(l(), 12);
  const std::vector<std::string> want = {
      "srlen 1020",
      "srcnt 6,SRDAT 198",
      "srcnt 7,SRDAT 199",
      "srcnt 8,SRDAT 200",
      "srcnt 9,SRDAT 201",
      "m 5, k 3, j6",
      "Tdat 152, 65535, 65535, 255 255 ",
  };
  ASSERT_EQ(g_messages.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(g_messages[i].text, want[i]) << i;
    EXPECT_EQ(g_messages[i].caption, "") << i;
  }
  EXPECT_STREQ(msg, "Tdat 152, 65535, 65535, 255 255");  // 31 of its 32 characters

  // A failing parse shows the messages of the steps before it and no Tdat.
  g_messages.clear();
  l.score = files.write("bad", {150, 1, 147});
  ASSERT_EQ(l(), -60);
  ASSERT_EQ(g_messages.size(), 6u);
  EXPECT_EQ(g_messages.back().text, "m 5, k 3, j6");
  EXPECT_STREQ(msg, "m 5, k 3, j6");

  // tracepos 0: no message at all.
  g_messages.clear();
  l.score = files.write("score", score);
  l.tracepos = 0;
  ASSERT_EQ(l(), 12);
  EXPECT_TRUE(g_messages.empty());
}

// ---------------------------------------------------------------------------
// End to end: load the three files, play the score.

TEST_F(EndToEnd, LoadsAndPlaysAScore) {
  Files files;
  // Set 1: the 4-sample table 0, 900, 1800, 2700 in all six stages; set 0
  // (never played) something else.
  const auto bank = bankfile(6, 5, 4, [](int s, int, int k) { return s == 1 ? 900 * k : 5000; });
  // Background samples 0..6 of the mix; the rest of the 500 are 0.
  const std::vector<int16_t> bg = {41, -41, 32767, -302, 7, -1000, -33};
  // A caption "Hi", a rest of 3 cs, a note of level 3 on set 1 at 25 Hz for
  // 4 cs (pitch and head word big-endian), the end of the phrase and score.
  const std::vector<uint8_t> score = {148, 196, 229, 250, 150, 3, 151, 0x01, 0x2D, 0x00, 0x19, 4, 149, 139};
  Load l;
  l.score = files.write("score", score);
  l.bank = files.write("bank", bank);
  l.sr = files.write("sr", wavfile(bg));
  datapos = 42;
  ASSERT_EQ(l(), 7);
  EXPECT_EQ(datapos, 42);  // the loader leaves the play position alone
  EXPECT_EQ(std::vector<int32_t>(tdata, tdata + 8), (std::vector<int32_t>{150, 3, 151, 301, 25, 4, 149, 139}));
  EXPECT_EQ(std::string(l.captext.data(), 3), "Hi~");
  EXPECT_EQ(l.cappos[0], 0);
  EXPECT_EQ(l.cappos[1], -1);

  const auto* srdata = reinterpret_cast<const int16_t*>(l.srdata.data());
  std::vector<int16_t> out(10, kSentinel);
  // Weight 10: val = (10 x toneval x ampfac + 10 x bg) / 20. ampfac =
  // 3 / 9 as a float, 0.3333333433: 10 x 900 x ampfac = 3000.0000894.
  auto play = [&](int32_t restart, int32_t srreset) {
    return wtalbin16(restart, srreset, 0, out.data(), 20, srdata, 100, 0, 10, 0, 0, 0);
  };
  ASSERT_EQ(play(1, 1), 7);
  const std::vector<int16_t> want = {
      20,     // rest: 41 x 10 / 20 = 20.5 -> 20
      -20,    // -410 / 20 = -20.5 -> -20, toward zero
      16383,  // 327670 / 20 = 16383.5
      0,      // phase 1: 900; (3000.0000894 - 3020) / 20 = -0.9999996 -> 0 (with 1/3 exactly: -1)
      303,    // phase 2: 1800; (6000.0001788 + 70) / 20 = 303.5
      -49,    // phase 3: 2700; (9000.0002682 - 10000) / 20 = -49.99999 -> -49 (exactly: -50)
      -16,    // phase 4: idx 0, 0; -330 / 20 = -16.5
  };
  EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 7), want);
  EXPECT_EQ(out[7], kSentinel);
  EXPECT_EQ(freq[0], 25.0f);

  // Loading again leaves the background position where the renderer left it
  // (after sample 6): without srreset the next play mixes samples 7.. (zero).
  ASSERT_EQ(l(), 7);
  std::fill(out.begin(), out.end(), kSentinel);
  ASSERT_EQ(play(1, 0), 7);
  EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 7),
            (std::vector<int16_t>{0, 0, 0, 150, 300, 450, 0}));  // 10 x v x ampfac / 20
  EXPECT_EQ(play(0, 0), -1);
  EXPECT_TRUE(g_messages.empty());
}

}  // namespace
