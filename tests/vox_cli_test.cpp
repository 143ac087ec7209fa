// The vox tool driven as a user runs it: the demo, hand-worked renders,
// round trips, background import, and the message and exit status of each
// kind of bad input. WAV files are read back with libsndfile.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "voxrun.h"

using namespace voxtest;

namespace {

// Five sets (bank layout 2), six stages. Set 0 has one four-sample table
// 0 1000 2000 3000 in every stage, so that the stage crossfade leaves it as
// it is; the other sets hold a single 0.
std::string tinybank() {
  std::string t = "stages 6\nsets 5\nset 0 size 4\n";
  for (int s = 0; s < 6; ++s) t += "  samples 0 1000 2000 3000\n";
  for (int set = 1; set < 5; ++set) {
    t += "set " + std::to_string(set) + " size 1\n";
    for (int s = 0; s < 6; ++s) t += "  samples 0\n";
  }
  return t;
}

struct Fixture {
  TempDir dir;
  std::string bank = dir / "bank.bin";
  std::string bg = dir / "bg.wav";
  explicit Fixture(int16_t bgvalue = 0) {
    put(dir / "bank.vxb", tinybank());
    const Result r = run(vox() + " bank build " + dir / "bank.vxb" + " -o " + bank);
    EXPECT_EQ(r.status, 0) << r.out;
    put(bg, background(500, bgvalue));
  }
  std::string score(const std::string& text) {
    put(dir / "score.vxs", text);
    const Result r = run(vox() + " score compile " + dir / "score.vxs" + " -o " + dir / "score.bin");
    EXPECT_EQ(r.status, 0) << r.out;
    return dir / "score.bin";
  }
};

void expectwav(const std::string& path, int rate, const std::vector<int16_t>& want) {
  const Wav w = readwav(path);
  ASSERT_TRUE(w.ok) << path;
  EXPECT_EQ(w.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(w.info.channels, 1);
  EXPECT_EQ(w.info.samplerate, rate);
  EXPECT_EQ(w.samples, want);
  // The canonical form: a 44-byte header and the samples, nothing else.
  EXPECT_EQ(std::filesystem::file_size(path), 44 + 2 * want.size());
}

}  // namespace

TEST(Demo, RendersTheExpectedLengthWithCaptions) {
  TempDir out;
  const Result r = run(std::string(DEMO_SCRIPT) + " " + BUILD_DIR + " " + out.path.string());
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("phrases 3, duration 6.200 s (136710 samples at 22050 Hz), captions 3"), std::string::npos)
      << r.out;
  // The demo score lasts 620 centiseconds, each an even count, so 620 x 220.5
  // = 136710 samples at 22050 per second.
  const Wav w = readwav(out / "demo.wav");
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(w.info.frames, 136710);
  EXPECT_EQ(w.info.samplerate, 22050);
  EXPECT_EQ(w.info.channels, 1);
  EXPECT_EQ(w.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(std::filesystem::file_size(out / "demo.wav"), 44u + 2 * 136710);
  EXPECT_GT(*std::max_element(w.samples.begin(), w.samples.end()), 1000);  // not silence
  // Phrases of 180, 240 and 200 centiseconds; a caption opens each.
  const auto vtt = get(out / "demo.vtt");
  EXPECT_EQ(std::string(vtt.begin(), vtt.end()),
            "WEBVTT\n\n"
            "1\n00:00:00.000 --> 00:00:01.800\nvox: a wavetable voice over a soft background\n\n"
            "2\n00:00:01.800 --> 00:00:04.200\nthe stages morph from one table to the next\n\n"
            "3\n00:00:04.200 --> 00:00:06.200\nand the echo carries into the next phrase\n\n");
}

// At 100 samples per second with a background weight of 0, a note at level
// 9 on set 0 steps through the table 0 1000 2000 3000: scorevox's pitch 125
// (12.5 Hz) gives a phase step of 4 x 125 / 100 / 10 = 0.5 and the samples
// 500, 1000, ..., 3000, then 3000 halfway to 0 = 1500, then 0. dryvox's pitch
// 25 (Hz) steps by 1: 1000 2000 3000 0. Transposition 2/1 doubles 125.
TEST(Render, HandWorkedSamples) {
  struct Case {
    const char* score;
    const char* options;
    std::vector<int16_t> want;
  } cases[] = {
      {"note 9 0 125@8 phrase end", "", {500, 1000, 1500, 2000, 2500, 3000, 1500, 0}},
      {"note 9 0 125@4 phrase end", "--transpose 2/1", {1000, 2000, 3000, 0}},
      {"note 9 0 25@8 phrase end", "--dry", {1000, 2000, 3000, 0, 1000, 2000, 3000, 0}},
      // Level 3: ampfac 1/3, 10 x 3000 x 0.33333334 / 10 = 1000.0000 -> 1000.
      {"note 3 0 25@3 phrase end", "--dry", {333, 666, 1000}},
      // Two phrases and a rest of background 0: the phrases follow each other.
      {"note 9 0 25@2 phrase rest 2 phrase note 9 0 25@1 phrase end", "--dry", {1000, 2000, 0, 0, 1000}},
  };
  for (const Case& c : cases) {
    Fixture f;
    const std::string score = f.score(c.score);
    const Result r = run(vox() + " render " + score + " -b " + f.bank + " -l 2 -g " + f.bg + " -r 100 -w 0 " +
                      c.options + " -o " + f.dir / "out.wav");
    ASSERT_EQ(r.status, 0) << c.score << "\n" << r.out;
    expectwav(f.dir / "out.wav", 100, c.want);
  }
}

// blockvox, background -3 everywhere, weight 10: a rest sample is -3 x 10 /
// 20 = -1 (truncated); a note sample (10 x tone - 30) / 20, so 1000 gives
// 498.5 -> 498 and 0 gives -1.5 -> -1.
TEST(RenderBlocks, HandWorkedSamples) {
  Fixture f(-3);
  put(f.dir / "blocks.txt", "# two blocks\nrest 3 phrase\n\nnote 9 0 25@4\n");
  const Result r = run(vox() + " render-blocks " + f.dir / "blocks.txt" + " -b " + f.bank + " -l 2 -g " + f.bg +
                    " -r 100 -w 10 -o " + f.dir / "out.wav");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("phrases 2"), std::string::npos) << r.out;
  expectwav(f.dir / "out.wav", 100, {-1, -1, -1, 498, 998, 1498, -1});
}

TEST(RoundTrip, ScoreAndBankGiveTheSameBytes) {
  TempDir d;
  put(d / "s.vxs", "unit hz\ncaption \"one\"\nrest 3 note 9 2 A4@10 >5 440@7 phrase\nnote 1 0 C#5@1 phrase\nend\n");
  ASSERT_EQ(run(vox() + " score compile " + d / "s.vxs" + " -o " + d / "s1.bin").status, 0);
  ASSERT_EQ(run(vox() + " score show " + d / "s1.bin" + " -o " + d / "s.txt").status, 0);
  ASSERT_EQ(run(vox() + " score compile " + d / "s.txt" + " -o " + d / "s2.bin").status, 0);
  EXPECT_EQ(get(d / "s1.bin"), get(d / "s2.bin"));

  put(d / "b.vxb", tinybank());
  ASSERT_EQ(run(vox() + " bank build " + d / "b.vxb" + " -o " + d / "b1.bin").status, 0);
  const Result shown = run(vox() + " bank show " + d / "b1.bin" + " --layout 2");
  ASSERT_EQ(shown.status, 0) << shown.out;
  put(d / "b.txt", shown.out);
  ASSERT_EQ(run(vox() + " bank build " + d / "b.txt" + " -o " + d / "b2.bin").status, 0);
  EXPECT_EQ(get(d / "b1.bin"), get(d / "b2.bin"));
}

TEST(BackgroundImport, MixesDownDropsChunksAndResamples) {
  TempDir d;
  // A stereo file with a metadata chunk: left 100, right 300.
  {
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open((d / "in.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_set_string(f, SF_STR_TITLE, "a title that makes a LIST chunk");
    std::vector<int16_t> frames;
    for (int i = 0; i < 1600; ++i) frames.insert(frames.end(), {100, 300});
    sf_writef_short(f, frames.data(), 1600);
    sf_close(f);
  }
  ASSERT_GT(std::filesystem::file_size(d / "in.wav"), 44u + 4 * 1600);
  Result r = run(vox() + " background import " + d / "in.wav" + " -o " + d / "bg.wav");
  ASSERT_EQ(r.status, 0) << r.out;
  expectwav(d / "bg.wav", 8000, std::vector<int16_t>(1600, 200));

  r = run(vox() + " background import " + d / "in.wav" + " --rate 4000 -o " + d / "half.wav");
  ASSERT_EQ(r.status, 0) << r.out;
  const Wav h = readwav(d / "half.wav");
  ASSERT_TRUE(h.ok);
  EXPECT_EQ(h.info.samplerate, 4000);
  EXPECT_NEAR(static_cast<double>(h.info.frames), 800.0, 2.0);
  EXPECT_NEAR(h.samples[400], 200, 2);  // a constant stays constant away from the edges
}

TEST(Help, EveryCommandHasIt) {
  for (const char* cmd : {"", "render", "render-blocks", "score", "score compile", "score show", "bank",
                          "bank build", "bank show", "background", "background import"}) {
    const Result r = run(vox() + " " + cmd + " --help");
    EXPECT_EQ(r.status, 0) << cmd;
    EXPECT_NE(r.out.find("Usage:"), std::string::npos) << cmd;
  }
}

// Each bad input: its message (the file, what is wrong, the engine's code),
// a non-zero exit status, and no output file, not even a temporary one.
TEST(BadInput, MessagesAndExitStatus) {
  auto bank = [](int stages, int size3) {
    std::vector<unsigned char> b = {static_cast<unsigned char>(stages), 0};
    for (int s = 0; s < 3; ++s) {
      b.insert(b.end(), {1, 0});
      for (int j = 0; j < stages; ++j) b.insert(b.end(), {0, 0});
    }
    b.insert(b.end(), {static_cast<unsigned char>(size3), 0});
    return b;
  };
  struct Case {
    const char* name;
    std::vector<unsigned char> score;  // written to score.bin
    std::vector<unsigned char> bankfile;  // written to bad.bin when not empty
    int bgbytes;                       // background data bytes
    std::string command;               // {s} score, {b} bank, {g} background
    int status;
    std::string message;
  } cases[] = {
      {"table too long", {149, 139}, bank(2, 81), 1000, "render {s} -b {b} -g {g}", 1,
       "bad.bin: table size 81 in set 3 is over 80 samples (code -50)"},
      {"too few stages", {149, 139}, bank(1, 1), 1000, "render {s} -b {b} -g {g}", 1,
       "bad.bin: stage count 1 is below 2 (code -40)"},
      {"too many stages", {149, 139}, bank(12, 1), 1000, "render --dry {s} -b {b} -g {g}", 1,
       "bad.bin: stage count 12 is over 6 (the engine holds 6 stages per set) (code -45)"},
      {"blockvox stages", {}, bank(1, 1), 1000, "render-blocks {t} -b {b} -g {g}", 1,
       "bad.bin: stage count 1 is below 2 (code -50)"},
      {"blockvox box", {}, bank(1, 1), 1000, "render-blocks {t} -b {b} -g {g}", 1, "engine: numtb 1"},
      {"short background", {149, 139}, {}, 999, "render {s} -b {b} -g {g}", 1,
       "bg.wav: 999 data bytes after the 44-byte header, fewer than 1000 (code -35)"},
      {"blockvox short background", {}, {}, 999, "render-blocks {t} -b {b} -g {g}", 1,
       "bg.wav: 999 data bytes after the 44-byte header, fewer than 1000 (code -40)"},
      {"invalid byte", {150, 1, 147}, {}, 1000, "render {s} -b {b} -g {g}", 1,
       "score.bin: offset 2: invalid event byte 147 (events are 139, 148, 149, 150 and 151 to 170) (code -300)"},
      {"invalid byte above 170", {171, 139}, {}, 1000, "render {s} -b {b} -g {g}", 1,
       "score.bin: offset 0: invalid event byte 171 (events are 139, 148, 149, 150 and 151 to 170) (code 2100)"},
      {"dryvox invalid byte", {171, 139}, {}, 1000, "render --dry {s} -b {b} -g {g}", 1,
       "invalid event byte 171 (events are 139, 148, 149, 150 and 151 to 170) (code -60)"},
      {"no end of score", {149}, {}, 1000, "render {s} -b {b} -g {g}", 1,
       "score.bin: offset 1: the file ends without the end-of-score byte 139 (code -15100)"},
      {"set 11", {150, 1, 149, 151, 0x03, 0x8F, 0, 100, 1, 149, 139}, {}, 1000, "render {s} -b {b} -g {g}", 1,
       "score.bin: phrase 2: a note names wavetable set 11; sets run from 0 to 10 (code -110)"},
      {"dry echo", {149, 139}, {}, 1000, "render --dry {s} -b {b} -g {g} --echo 10:0.5", 1,
       "--echo: dryvox has no echo"},
      {"echo pair", {149, 139}, {}, 1000, "render {s} -b {b} -g {g} --echo 10", 1,
       "--echo: '10' is not a delay:gain pair"},
      {"echo too long", {149, 139}, {}, 1000, "render {s} -b {b} -g {g} --echo 6000:0.5,5000:0.5", 1,
       "--echo: the taps reach back 12000 samples, over the 10000-sample tail"},
      {"transpose", {149, 139}, {}, 1000, "render {s} -b {b} -g {g} --transpose 3/0", 1,
       "--transpose: the denominator of '3/0' is 0"},
      {"rate", {149, 139}, {}, 1000, "render {s} -b {b} -g {g} -r 50", 2, "--rate"},
      {"missing file", {149, 139}, {}, 1000, "render {d}/nothing.bin -b {b} -g {g}", 2, "nothing.bin"},
      {"no bank option", {149, 139}, {}, 1000, "render {s} -g {g}", 2, "--bank is required"},
      {"no directory", {149, 139}, {}, 1000, "render {s} -b {b} -g {g} -o {d}/no/such/out.wav", 1,
       "out.wav: cannot create"},
      {"not audio", {149, 139}, {}, 1000, "background import {s} -o {d}/out.wav", 1, "score.bin: cannot read as audio"},
      {"bank show", {}, bank(2, 81), 1000, "bank show {b}", 1, "bad.bin: table size 81 in set 3 is over 80 samples"},
      {"score show", {150, 1, 147}, {}, 1000, "score show {s}", 1, "score.bin: offset 2: invalid event byte 147"},
  };
  for (const Case& c : cases) {
    Fixture f;
    put(f.dir / "score.bin", c.score);
    std::string bankpath = f.bank;
    if (!c.bankfile.empty()) {
      bankpath = f.dir / "bad.bin";
      put(bankpath, c.bankfile);
    }
    put(f.bg, background(c.bgbytes / 2, 0));
    if (c.bgbytes % 2 != 0) put(f.bg, [&] { auto b = background(c.bgbytes / 2, 0); b.push_back(0); return b; }());
    put(f.dir / "blocks.txt", "rest 1 phrase\n");
    std::string cmd = c.command;
    auto subst = [&](const std::string& key, const std::string& value) {
      for (size_t at; (at = cmd.find(key)) != std::string::npos;) cmd.replace(at, key.size(), value);
    };
    subst("{s}", f.dir / "score.bin");
    subst("{b}", bankpath);
    subst("{g}", f.bg);
    subst("{t}", f.dir / "blocks.txt");
    subst("{d}", f.dir.path.string());
    if (cmd.find(" -o ") == std::string::npos && cmd.find("show") == std::string::npos)
      cmd += " -l 2 -o " + f.dir / "out.wav";
    const auto before = f.dir.files();
    const Result r = run(vox() + " " + cmd);
    EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << c.name << "\n" << r.out;
    EXPECT_EQ(f.dir.files().size(), before.size()) << c.name << ": a file was left behind";
  }
}

TEST(BadInput, TextErrorsLeaveNoOutput) {
  TempDir d;
  put(d / "s.vxs", "rest 20\nnote 9 1 4400@300\n");
  Result r = run(vox() + " score compile " + d / "s.vxs" + " -o " + d / "s.bin");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("s.vxs:2: steady duration 300 is outside 0..255"), std::string::npos) << r.out;
  put(d / "b.vxb", "stages 2\nset 0 size 2\n  samples 1\n");
  r = run(vox() + " bank build " + d / "b.vxb" + " -o " + d / "b.bin");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("b.vxb:3: a stage of set 0 has 1 samples, its size is 2"), std::string::npos) << r.out;
  EXPECT_EQ(d.files().size(), 2u);  // the two texts only

  // A failed write keeps the earlier output as it was.
  put(d / "keep.bin", std::string("old"));
  r = run(vox() + " score compile " + d / "s.vxs" + " -o " + d / "keep.bin");
  EXPECT_EQ(r.status, 1);
  const auto kept = get(d / "keep.bin");
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "old");
}

TEST(Render, TraceTextsArePrinted) {
  Fixture f;
  const std::string score = f.score("rest 1 phrase end");
  const Result r = run(vox() + " render " + score + " -b " + f.bank + " -l 2 -g " + f.bg +
                    " -r 100 --trace 5 --echo 100:0.5,200:0.5 -o " + f.dir / "out.wav");
  ASSERT_EQ(r.status, 0) << r.out;
  // Tracing the stream entries tdata[5] to tdata[9] of "150 1 149 139": the
  // loader stored only four, the rest of tdata is still 0.
  EXPECT_NE(r.out.find("engine: srlen 1000"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("engine: Tdat 0, 0, 0, 0 0 "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("engine: numecho 2,echodel[0] 100,totdel 300"), std::string::npos) << r.out;
}

TEST(Render, SrtCaptionsAndPhrasesThatFillTheBuffer) {
  Fixture f;
  // Two phrases of equal length: the buffer holds the longest phrase and one
  // sample more, so no phrase fills it and none is split.
  // A caption byte 0 does not end the caption text: only its tilde does.
  const std::string score = f.score("caption \"a\\x00z\" rest 3 phrase caption \"b\" caption \"c\" rest 3 phrase end");
  const Result r = run(vox() + " render " + score + " -b " + f.bank + " -l 2 -g " + f.bg + " -r 1000 -c " +
                    f.dir / "caps.srt" + " -o " + f.dir / "out.wav");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("phrases 2, duration 0.060 s (60 samples at 1000 Hz), captions 2"), std::string::npos) << r.out;
  const auto srt = get(f.dir / "caps.srt");
  using namespace std::string_literals;
  EXPECT_EQ(std::string(srt.begin(), srt.end()),
            "1\n00:00:00,000 --> 00:00:00,030\na\0z\n\n2\n00:00:00,030 --> 00:00:00,060\nb\nc\n\n"s);
}
