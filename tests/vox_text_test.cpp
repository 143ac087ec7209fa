// The text forms of scores, blocks and banks, and what vox works out from a
// stream before playing it. Expected bytes are worked out from the file
// layouts by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "banktext.h"
#include "host.h"
#include "render.h"
#include "scoretext.h"

using namespace voxtool;

namespace {

Bytes B(std::initializer_list<int> v) {
  Bytes b;
  for (int x : v) b.push_back(static_cast<unsigned char>(x));
  return b;
}

std::string errorof(auto&& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace

TEST(ScoreCompile, EventsEncodeAsTheLoaderReadsThem) {
  struct Case {
    const char* text;
    Bytes bytes;
  } cases[] = {
      {"end", B({139})},
      {"rest 25 end", B({150, 25, 139})},
      // Head 901 = 0x0385, pitch 4400 = 0x1130, 50 cs = 0x32.
      {"note 9 1 4400@50", B({151, 0x03, 0x85, 0x11, 0x30, 0x32, 139})},
      // Head 905 = 0x0389, 440 = 0x01B8, 660 = 0x0294.
      {"note 9 5 440@50 >10 660@40 phrase", B({152, 0x03, 0x89, 0x01, 0xB8, 50, 10, 0x02, 0x94, 40, 149, 139})},
      // Each caption byte is the text byte + 124, closed by 250: "Hi" -> 196 229 250.
      {"caption \"Hi\" phrase end", B({148, 196, 229, 250, 149, 139})},
      // Escapes: byte 1 -> 125, '"' (34) -> 158, '\\' (92) -> 216.
      {"caption \"\\x01\\\"\\\\\"", B({148, 125, 158, 216, 250, 139})},
      // Note names in tenths of a hertz by default, in hertz after unit hz.
      {"note 0 0 A4@1", B({151, 0, 0, 0x11, 0x30, 1, 139})},
      {"unit hz note 0 0 A4@1 note 0 0 C#5@1", B({151, 0, 0, 0x01, 0xB8, 1, 151, 0, 0, 0x02, 0x2A, 1, 139})},
      // Largest fields: head 655 * 100 + 35 = 65535, pitch 65535, durations 255.
      {"note 655 35 65535@255", B({151, 0xFF, 0xFF, 0xFF, 0xFF, 255, 139})},
      // A comment from a word beginning with #; a # inside a word is part of it.
      {"# intro\nrest 1 # short\n", B({150, 1, 139})},
  };
  for (const Case& c : cases) EXPECT_EQ(compilescore(c.text, "t"), c.bytes) << c.text;
}

TEST(ScoreCompile, NoteNames) {
  struct Case {
    const char* name;
    PitchUnit unit;
    long pitch;
  } cases[] = {
      {"A4", PitchUnit::hz, 440},      {"A4", PitchUnit::tenths, 4400}, {"A3", PitchUnit::tenths, 2200},
      {"C#5", PitchUnit::hz, 554},     // 554.37
      {"Bb3", PitchUnit::tenths, 2331},  // 233.08
      {"C4", PitchUnit::tenths, 2616},   // 261.63
      {"A-1", PitchUnit::tenths, 138},   // 13.75
  };
  for (const Case& c : cases) {
    long p = 0;
    ASSERT_TRUE(notename(c.name, c.unit, p)) << c.name;
    EXPECT_EQ(p, c.pitch) << c.name;
  }
  long p = 0;
  for (const char* bad : {"H4", "a4", "A", "A#", "4400", "A10", "Ax4"}) EXPECT_FALSE(notename(bad, PitchUnit::hz, p)) << bad;
}

TEST(ScoreCompile, ErrorsNameTheLineAndTheProblem) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"rest 20\nrest 256", "s.vxs:2: rest duration 256 is outside 0..255"},
      {"note 9 11 100@10", "(no error)"},  // set 11 is the renderer's to refuse, with its own code
      {"note 9 100 100@10", "s.vxs:1: wavetable set 100 is outside 0..99"},
      {"note 655 36 1@1", "head word (100 x level + set) 65536 is outside 0..65535"},
      {"note 9 1 65536@1", "pitch 65536 is outside 0..65535"},
      {"note 9 1 1@1 >256 2@1", "glide duration 256 is outside 0..255"},
      {"note 9 1 1@1 >5", "the text ends where a segment pitch@steady is expected"},
      {"note 9 1 X9@1", "bad pitch 'X9'"},
      {"note 9 1\nphrase", "s.vxs:2: expected a segment pitch@steady"},
      {"caption Hi", "caption text must be in double quotes"},
      {"caption \"a~b\"", "cannot hold '~'"},
      {"caption \"open\nend", "s.vxs:1: caption text is not closed"},
      {"end\nrest 1", "s.vxs:2: an event after the end of the score"},
      {"\n\nbeep 3", "s.vxs:3: unknown event 'beep'"},
      {"unit mhz", "unknown pitch unit 'mhz'"},
  };
  for (const Case& c : cases)
    EXPECT_NE(errorof([&] { compilescore(c.text, "s.vxs"); }).find(c.message), std::string::npos)
        << c.text << " -> " << errorof([&] { compilescore(c.text, "s.vxs"); });
  // A note of 21 segments.
  std::string many = "note 9 1";
  for (int i = 0; i < 21; ++i) many += " 100@1" + std::string(i < 20 ? " >1" : "");
  EXPECT_NE(errorof([&] { compilescore(many, "s"); }).find("21 segments, at most 20"), std::string::npos);
}

TEST(ScoreCompile, StreamLimit) {
  // The loaders begin an event only below stream position 2960: 1479 rests
  // (2958 entries) leave room for the end; 1480 put the end at 2960.
  std::string ok;
  for (int i = 0; i < 1479; ++i) ok += "rest 1\n";
  EXPECT_EQ(compilescore(ok, "s").size(), 2u * 1479 + 1);
  EXPECT_NE(errorof([&] { compilescore(ok + "rest 1\n", "s"); }).find("stream position 2960"), std::string::npos);
  EXPECT_NE(errorof([&] { compilescore(ok + "rest 1\nend\n", "s"); }).find("s:1481: the score is too long"),
            std::string::npos);
}

TEST(ScoreShow, RoundTripGivesTheSameBytes) {
  const std::string text = R"(unit hz
caption "Hello, \"world\" \x7F\\"
rest 0
note 1 10 C#5@3 >0 0@255 >255 65535@0
phrase
caption "a" caption "b"
note 655 35 A4@1
rest 255
phrase
end
)";
  const Bytes first = compilescore(text, "t");
  const std::string shown = showscore(first, 0, "t");
  EXPECT_EQ(compilescore(shown, "shown"), first) << shown;
  EXPECT_NE(shown.find("note 1 10 554@3 >0 0@255 >255 65535@0"), std::string::npos) << shown;
}

TEST(ScoreShow, OffsetSkipsLeadingBytes) {
  Bytes b = B({1, 2, 3, 150, 7, 139});
  EXPECT_EQ(showscore(b, 3, "t"), "# from byte offset 3\nrest 7\nend\n");
}

TEST(ScoreShow, ErrorsGiveTheOffset) {
  struct Case {
    Bytes bytes;
    const char* message;
  } cases[] = {
      {B({150, 1, 147}), "f: offset 2: invalid event byte 147"},
      {B({171, 0}), "f: offset 0: invalid event byte 171"},
      {B({149}), "f: offset 1: the file ends without the end-of-score byte 139"},
      {B({}), "f: offset 0: the file ends without"},
      {B({152, 3, 0x85, 0x11, 0x30, 5}), "the file ends inside a note"},
      {B({148, 196, 229}), "the file ends inside a caption"},
      {B({150}), "the file ends inside a rest"},
  };
  for (const Case& c : cases)
    EXPECT_NE(errorof([&] { showscore(c.bytes, 0, "f"); }).find(c.message), std::string::npos)
        << errorof([&] { showscore(c.bytes, 0, "f"); });
}

TEST(Blocks, OneBlockPerLine) {
  std::vector<int> lines;
  const auto blocks = compileblocks(
      "# blocks\n"
      "rest 100 phrase\n"
      "\n"
      "mark note 9 5 440@50 >10 660@40\n"  // no end: gets an end of phrase
      "note 1 0 -5@-1\n"                   // 16-bit words may be negative
      "end\n",
      "b", &lines);
  ASSERT_EQ(blocks.size(), 4u);
  EXPECT_EQ(blocks[0], (std::vector<int16_t>{150, 100, 149}));
  EXPECT_EQ(blocks[1], (std::vector<int16_t>{148, 152, 905, 440, 50, 10, 660, 40, 149}));
  EXPECT_EQ(blocks[2], (std::vector<int16_t>{151, 100, -5, -1, 149}));
  EXPECT_EQ(blocks[3], (std::vector<int16_t>{139}));
  EXPECT_EQ(lines, (std::vector<int>{2, 4, 5, 6}));
  // Note names are hertz unless the text says otherwise.
  EXPECT_EQ(compileblocks("note 9 0 A4@1", "b")[0][2], 440);
  EXPECT_EQ(compileblocks("unit tenths\nnote 9 0 A4@1", "b")[0][2], 4400);

  EXPECT_NE(errorof([] { compileblocks("rest 1\nrest 40000", "b"); }).find("b:2: rest duration 40000 is outside -32768..32767"),
            std::string::npos);
  EXPECT_NE(errorof([] { compileblocks("phrase rest 1", "b"); }).find("b:1: an event after the block's end"),
            std::string::npos);
  EXPECT_NE(errorof([] { compileblocks("caption \"x\"", "b"); }).find("unknown event 'caption'"), std::string::npos);
}

TEST(Bank, HarmonicRecipes) {
  // One sine over four samples: sin 0, sin 90, sin 180, sin 270 degrees.
  EXPECT_EQ(harmonics({1.0}, 4, 1000.0), (std::vector<int16_t>{0, 1000, 0, -1000}));
  // Harmonics 1 and 2 (amplitude 0.5) over four samples give 0, 1, 0, -1 and
  // 0, 0, 0, 0 (its sines fall on the zeros): the same table.
  EXPECT_EQ(harmonics({1.0, 0.5}, 4, 1000.0), (std::vector<int16_t>{0, 1000, 0, -1000}));
  // Over eight samples: x(k) = sin(k pi/4) + sin(k pi/2); x(1) = 0.7071 + 1 =
  // 1.7071 is the peak, x(2) = 0 + 1, x(3) = 0.7071 - 1, x(4) = 0, x(5) =
  // -0.7071 + 1, x(6) = -1 + 0... scaled by 17071 / 1.7071 = 10000.
  EXPECT_EQ(harmonics({1.0, 1.0}, 8, 17071.0), (std::vector<int16_t>{0, 17071, 10000, -2929, 0, 2929, -10000, -17071}));
  // A harmonic whose sines all fall on zeros is silence, not noise scaled up.
  EXPECT_EQ(harmonics({0.0, 1.0}, 2, 1000.0), (std::vector<int16_t>{0, 0}));
}

TEST(Bank, BuildEncodesLittleEndian) {
  const Bank b = parsebank(
      "stages 2\nsets 5\n"
      "set 0 size 2\n  samples 1 -2\n  samples 32767 -32768\n"
      "set 1 size 1\n  samples 256\n  harmonics 1 peak 5\n"  // one sample: sin 0 = 0
      "set 2 size 1\n samples 0\n samples 0\n"
      "set 3 size 1\n samples 0\n samples 0\n"
      "set 4 size 1\n samples 0\n samples 0\n",
      "b");
  const Bytes bytes = encodebank(b);
  const Bytes want = B({2, 0,                                          // stages
                        2, 0, 1, 0, 0xFE, 0xFF, 0xFF, 0x7F, 0x00, 0x80,  // set 0
                        1, 0, 0x00, 0x01, 0, 0,                        // set 1
                        1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0});
  EXPECT_EQ(bytes, want);
  // bank show, then build again: the same bytes.
  const std::string shown = showbank(decodebank(bytes, 5, "b.bin"));
  EXPECT_EQ(encodebank(parsebank(shown, "shown")), bytes) << shown;
}

TEST(Bank, TextErrors) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"stages 7", "b:1: a stage count 7 is outside 2..6"},
      {"set 0 size 4", "b:1: the stage count (stages N) must come before the first set"},
      {"stages 2\nset 1 size 4", "b:2: set 1 out of order: set 0 comes next"},
      {"stages 2\nset 0 size 81", "b:2: a table size 81 is outside 1..80"},
      {"stages 2\nset 0 size 3\nsamples 1 2", "b:3: a stage of set 0 has 2 samples, its size is 3"},
      {"stages 2\nset 0 size 1\nsamples 40000", "b:3: sample 40000 is outside -32768..32767"},
      {"stages 2\nset 0 size 1\nsamples 1\nset 1 size 1", "b:4: set 0 has 1 stages, the bank 2"},
      {"stages 2\nset 0 size 1\nsamples 1\nsamples 1\nsamples 1", "b:5: set 0 already has its 2 stages"},
      {"stages 2\nset 0 size 1\nsamples 1\nsamples 1\n", "the bank has 1 sets, 11 are needed"},
      {"stages 2\nsets 7", "b:2: the loaders read banks of 11 sets"},
      {"stages 2\nset 0 size 2\nharmonics", "b:3: a harmonic recipe needs at least one amplitude"},
  };
  for (const Case& c : cases)
    EXPECT_NE(errorof([&] { parsebank(c.text, "b"); }).find(c.message), std::string::npos)
        << c.text << " -> " << errorof([&] { parsebank(c.text, "b"); });
}

TEST(Bank, FileErrorsNameTheSet) {
  // Three good sets of one stage pair and one sample each, then a table size.
  auto bank = [](int stages, int size3) {
    Bytes b = B({stages, 0});
    for (int s = 0; s < 3; ++s) b.insert(b.end(), {1, 0, 5, 0, 6, 0});
    b.push_back(static_cast<unsigned char>(size3));
    b.push_back(0);
    return b;
  };
  EXPECT_EQ(errorof([&] { decodebank(bank(2, 81), 11, "bank.bin"); }), "bank.bin: table size 81 in set 3 is over 80 samples");
  EXPECT_EQ(errorof([&] { decodebank(bank(1, 1), 11, "bank.bin"); }), "bank.bin: stage count 1 is below 2");
  EXPECT_NE(errorof([&] { decodebank(bank(12, 1), 11, "bank.bin"); }).find("stage count 12 is over 6"), std::string::npos);
  EXPECT_NE(errorof([&] { decodebank(bank(2, 1), 11, "bank.bin"); }).find("the file ends inside the samples of set 3"),
            std::string::npos);
  EXPECT_NE(errorof([&] { decodebank({}, 11, "bank.bin"); }).find("ends inside the stage count"), std::string::npos);
}

TEST(Walk, PhraseLengthsFollowTheTimeline) {
  // At 22050 samples per second: a rest of 5 cs is 1102 samples (1102.5
  // truncated); the note 50, glide 10, 40 is 11025 + 2205 + 8820 = 22050;
  // each term is truncated on its own: 1, >1, 1 cs = 220 + 220 + 220.
  const int32_t stream[] = {150, 5, 152, 905, 440, 50, 10, 660, 40, 149,  //
                            152, 1, 1, 1, 1, 1, 1, 200, 0, 149,           // 200 skipped with its word
                            150, 0, 149, 150, 3, 139};
  const Walk w = walkstream(stream, std::size(stream), 22050, false);
  EXPECT_EQ(w.phrases, (std::vector<int64_t>{1102 + 22050, 660, 0}));
  EXPECT_TRUE(w.ended);
  EXPECT_EQ(w.unplayed, 661);  // 3 cs before the end of score: not counted by the renderer
  EXPECT_EQ(w.eventat.at(2), 1102);
  EXPECT_EQ(w.eventat.at(10), 23152);
  EXPECT_EQ(w.eventat.at(20), 23812);

  // In a block, 148 takes one word; in tdata it takes two, so that 100 is
  // read as a code and skips the 149 with it.
  const int32_t marks[] = {148, 150, 100, 149, 139};
  EXPECT_EQ(walkstream(marks, 5, 100, true).phrases, (std::vector<int64_t>{100}));
  const Walk t = walkstream(marks, 5, 100, false);
  EXPECT_TRUE(t.phrases.empty());
  EXPECT_TRUE(t.ended);

  // Negative durations in a block: the note ends at the largest boundary.
  EXPECT_EQ(notesamples({-10, 30}, 100), 20);
  EXPECT_EQ(notesamples({20, -30, 5}, 100), 20);
  EXPECT_EQ(notesamples({-10}, 100), 0);
  // A set above 10 stops the walk where the renderer stops.
  const int32_t bad[] = {150, 1, 151, 911, 100, 1, 149, 139};
  EXPECT_EQ(walkstream(bad, 8, 100, false).stopat, 2);
}

TEST(Captions, WebVttAndSrt) {
  const std::vector<Caption> caps = {{0, 33075, "one"}, {33075, 3969000, "two\nlines"}};
  // 33075 samples at 22050 Hz are 1.5 s; 3969000 are 180 s.
  EXPECT_EQ(captionfile(caps, 22050, false),
            "WEBVTT\n\n1\n00:00:00.000 --> 00:00:01.500\none\n\n2\n00:00:01.500 --> 00:03:00.000\ntwo\nlines\n\n");
  EXPECT_EQ(captionfile(caps, 22050, true),
            "1\n00:00:00,000 --> 00:00:01,500\none\n\n2\n00:00:01,500 --> 00:03:00,000\ntwo\nlines\n\n");
}
