// The scorevox loader rdbin16 with its three readers: result codes, the state
// each result leaves behind, end-of-file arithmetic, captions, the position
// limit, trace messages, and that every file is closed again. Files are
// written by the tests from byte arrays; expected values are worked out by
// hand from the file layouts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "load_files.h"
#include "scorevox.h"

using namespace loadtest;

namespace {

constexpr int32_t kOldTdata = -1000000;
constexpr int16_t kOldWtb = 1234;
constexpr int32_t kOldTblsize = 55;
constexpr int32_t kOldNumtb = 99;
constexpr int32_t kOldSrlen = 4242;
constexpr uint8_t kOldSrdata = 0xAB;
constexpr int16_t kOldTail = 321;
constexpr char kOldCaption = 'z';
constexpr int32_t kOldCappos = -9;

std::vector<std::pair<std::string, std::string>> g_msgs;
void VOXCALL record(const char* text, const char* caption) { g_msgs.emplace_back(text, caption); }

std::vector<std::string> texts() {
  std::vector<std::string> t;
  for (auto& m : g_msgs) t.push_back(m.first);
  return t;
}

class Load : public ::testing::Test {
 public:
  void SetUp() override {
    std::fill(std::begin(tailbuf), std::end(tailbuf), kOldTail);
    std::fill(std::begin(tdata), std::end(tdata), kOldTdata);
    std::fill(&wtb[0][0][0], &wtb[0][0][0] + 11 * 6 * 80, kOldWtb);
    std::fill(std::begin(tblsize), std::end(tblsize), kOldTblsize);
    numtb = kOldNumtb;
    srlen = kOldSrlen;
    std::fill(srdata.begin(), srdata.end(), kOldSrdata);
    std::fill(std::begin(captext), std::end(captext), kOldCaption);
    std::fill(std::begin(cappos), std::end(cappos), kOldCappos);
    std::memset(msg, 0, sizeof msg);
    g_msgs.clear();
    setmsghook(record);
    setscore(Bytes{139});
    setbank(goodbank());
    setbg(background(1000));
  }
  void TearDown() override {
    setmsghook(nullptr);
    const int32_t dims[5] = {11, 11, 5, 11, 11};
    std::copy(std::begin(dims), std::end(dims), freqdim);
  }

  void setscore(const Bytes& b) { scorep = dir.write("score.bin", b); }
  void setbank(const Bytes& b) { bankp = dir.write("bank.bin", b); }
  void setbg(const Bytes& b) {
    srbytes = b;
    srp = dir.write("back.wav", b);
  }

  // Every load goes through here: no descriptor may stay open after it,
  // whatever the result.
  int32_t load(int32_t scoreoffset = 0, int32_t banklayout = 0, int32_t tracepos = 0) {
    const int before = openfds();
    const int32_t r = rdbin16(scorep.c_str(), bankp.c_str(), srp.c_str(), scoreoffset, captext, cappos,
                              srdata.data(), banklayout, tracepos);
    EXPECT_EQ(openfds(), before) << "a file stayed open after result " << r;
    return r;
  }

  bool tailcleared() const {
    return std::all_of(std::begin(tailbuf), std::end(tailbuf), [](int16_t v) { return v == 0; });
  }
  bool srdatauntouched() const {
    return std::all_of(srdata.begin(), srdata.end(), [](uint8_t v) { return v == kOldSrdata; });
  }
  // The data bytes of the background file sit in srdata, and nothing after.
  bool srdataloaded() const {
    const size_t n = srbytes.size() - 44;
    return std::equal(srbytes.begin() + 44, srbytes.end(), srdata.begin()) && srdata[n] == kOldSrdata;
  }
  static bool wtbset(int s, int16_t v) {
    return std::all_of(&wtb[s][0][0], &wtb[s][0][0] + 6 * 80, [v](int16_t x) { return x == v; });
  }
  static bool bankuntouched() {
    for (int s = 0; s < 11; ++s)
      if (!wtbset(s, kOldWtb)) return false;
    return numtb == kOldNumtb &&
           std::all_of(std::begin(tblsize), std::end(tblsize), [](int32_t v) { return v == kOldTblsize; });
  }
  bool scoreuntouched() const {
    return std::all_of(std::begin(tdata), std::end(tdata), [](int32_t v) { return v == kOldTdata; }) &&
           std::all_of(std::begin(captext), std::end(captext), [](char c) { return c == kOldCaption; }) &&
           std::all_of(std::begin(cappos), std::end(cappos), [](int32_t v) { return v == kOldCappos; });
  }
  static std::vector<int32_t> stream(size_t from, size_t count) {
    return {tdata + from, tdata + from + count};
  }

  TempDir dir;
  std::string scorep, bankp, srp;
  Bytes srbytes;
  std::vector<uint8_t> srdata = std::vector<uint8_t>(4000);
  char captext[64];
  int32_t cappos[8];
};

// ---------------------------------------------------------------------------
// What each result leaves behind.

TEST_F(Load, EachResultLeavesTheStateOfItsRow) {
  enum class Sr { untouched, tooshort, loaded };
  enum class Part { untouched, touched };
  struct Case {
    const char* name;
    std::function<void(Load&)> setup;
    int32_t result;
    Sr sr;
    Part bank;
    Part score;
  };
  const std::string missing = dir.path("missing");
  const std::vector<Case> cases = {
      {"score and bank missing", [&](Load& t) { t.scorep = t.bankp = missing; }, -10, Sr::untouched,
       Part::untouched, Part::untouched},
      {"bank missing", [&](Load& t) { t.bankp = missing; }, -20, Sr::untouched, Part::untouched, Part::untouched},
      {"background missing", [&](Load& t) { t.srp = missing; }, -30, Sr::untouched, Part::untouched,
       Part::untouched},
      {"background too short", [](Load& t) { t.setbg(background(999)); }, -35, Sr::tooshort,
       Part::untouched, Part::untouched},
      {"one stage", [](Load& t) { t.setbank(bank(1, {1})); }, -40, Sr::loaded, Part::touched, Part::untouched},
      {"twelve stages", [](Load& t) { t.setbank(bank(12, {1})); }, -45, Sr::loaded, Part::touched, Part::untouched},
      {"table of 81", [](Load& t) { t.setbank(bank(2, {1, 81})); }, -50, Sr::loaded, Part::touched, Part::untouched},
      {"invalid event", [](Load& t) { t.setscore({149, 147}); }, -300, Sr::loaded, Part::touched, Part::touched},
      {"note past 2960", [](Load& t) { t.setscore(repeat(149, 2959) + Bytes{152, 0, 1, 0, 1, 1, 1, 0, 1, 1}); },
       -65, Sr::loaded, Part::touched, Part::touched},
      {"a count", [](Load& t) { t.setscore({150, 7, 149, 139}); }, 3, Sr::loaded, Part::touched, Part::touched},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    c.setup(*this);
    EXPECT_EQ(load(), c.result);
    EXPECT_TRUE(tailcleared());
    switch (c.sr) {
      case Sr::untouched:
        EXPECT_EQ(srlen, kOldSrlen);
        EXPECT_TRUE(srdatauntouched());
        break;
      case Sr::tooshort:
        EXPECT_EQ(srlen, 999);  // the byte count, not halved
        EXPECT_TRUE(srdatauntouched());
        break;
      case Sr::loaded:
        EXPECT_EQ(srlen, 500);
        EXPECT_TRUE(srdataloaded());
        break;
    }
    EXPECT_EQ(bankuntouched(), c.bank == Part::untouched);
    EXPECT_EQ(scoreuntouched(), c.score == Part::untouched);
  }
}

TEST_F(Load, PathsThatNameNoReadableRegularFileCannotBeOpened) {
  const std::string missing = dir.path("missing");
  const std::string sub = dir.path("subdir");
  ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
  struct Case {
    const char* name;
    std::string Load::*which;
    std::string path;
    int32_t result;
  };
  const Case cases[] = {
      {"score missing", &Load::scorep, missing, -10}, {"score is a directory", &Load::scorep, sub, -10},
      {"bank missing", &Load::bankp, missing, -20},   {"bank is a directory", &Load::bankp, sub, -20},
      {"background missing", &Load::srp, missing, -30}, {"background is a directory", &Load::srp, sub, -30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    this->*c.which = c.path;
    EXPECT_EQ(load(0, 0, 5), c.result);
    EXPECT_TRUE(tailcleared());
    EXPECT_EQ(srlen, kOldSrlen);
    EXPECT_TRUE(bankuntouched());
    EXPECT_TRUE(scoreuntouched());
    EXPECT_TRUE(g_msgs.empty());
  }
}

// A named pipe is no regular file: it is refused at once, without waiting
// for a writer. (Should the loader block, a writer is opened after a while to
// set it free, and the test fails.)
TEST_F(Load, NamedPipeIsRefusedWithoutBlocking) {
  const std::string fifo = dir.path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string Load::*which;
    int32_t result;
  };
  for (const Case& c : {Case{&Load::scorep, -10}, Case{&Load::bankp, -20}, Case{&Load::srp, -30}}) {
    SCOPED_TRACE(c.result);
    SetUp();
    this->*c.which = fifo;
    const int before = openfds();
    auto done = std::async(std::launch::async, [this] {
      return rdbin16(scorep.c_str(), bankp.c_str(), srp.c_str(), 0, captext, cappos, srdata.data(), 0, 0);
    });
    if (done.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      ADD_FAILURE() << "the loader waits for a writer on a named pipe";
      const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      done.wait();
      if (fd >= 0) ::close(fd);
    }
    EXPECT_EQ(done.get(), c.result);
    EXPECT_EQ(openfds(), before);
  }
}

// Files beyond the 32-bit length range count as unopenable; one byte less
// still opens. The files are sparse, so nothing is really written.
TEST_F(Load, FilesLongerThanInt32RangeCannotBeOpened) {
  auto sparse = [&](const char* name, off_t size) {
    const std::string p = dir.path(name);
    const int fd = ::open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    const bool ok = fd >= 0 && ftruncate(fd, size) == 0;
    if (fd >= 0) ::close(fd);
    return ok ? p : std::string();
  };
  const std::string huge = sparse("huge", off_t{INT32_MAX} + 1);
  const std::string edge = sparse("edge", off_t{INT32_MAX});
  if (huge.empty() || edge.empty()) GTEST_SKIP() << "no sparse files of 2 GB here";

  scorep = huge;
  EXPECT_EQ(load(), -10);
  SetUp();
  bankp = huge;
  EXPECT_EQ(load(), -20);
  SetUp();
  srp = huge;
  EXPECT_EQ(load(), -30);
  EXPECT_EQ(srlen, kOldSrlen);
  // INT32_MAX bytes open: the score's first byte 0 is an invalid event.
  SetUp();
  scorep = edge;
  EXPECT_EQ(load(), -15000);
  EXPECT_EQ(tdata[0], 0);
}

// ---------------------------------------------------------------------------
// Background recording.

TEST_F(Load, BackgroundLengthTestAndCopy) {
  struct Case {
    size_t filelen;
    int32_t result;
    int32_t srlen;
  };
  const Case cases[] = {
      {0, -35, -44},  {10, -35, -34}, {44, -35, 0},   {1043, -35, 999},
      {1044, 0, 500}, {1045, 0, 500}, {1046, 0, 501},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filelen);
    SetUp();
    Bytes file(c.filelen);
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 7 + 3);
    setbg(file);
    EXPECT_EQ(load(), c.result);
    EXPECT_EQ(srlen, c.srlen);
    if (c.result == 0) {
      // Every data byte is copied, the odd last one too, and nothing more.
      EXPECT_TRUE(srdataloaded());
      EXPECT_EQ(srdata[0], file[44]);
    } else {
      EXPECT_TRUE(srdatauntouched());
      EXPECT_TRUE(bankuntouched());
    }
  }
}

// ---------------------------------------------------------------------------
// Wavetable bank.

TEST_F(Load, StageCountTest) {
  struct Case {
    int numtb;
    int32_t result;
  };
  // 7 to 11 would pass the bare count test but wtb holds six stages.
  const Case cases[] = {{0, -40}, {1, -40}, {2, 0}, {6, 0}, {7, -45}, {11, -45}, {12, -45}, {0x8000, -45}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.numtb);
    SetUp();
    setbank(bank(c.numtb, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(load(), c.result);
    EXPECT_EQ(numtb, c.numtb);  // as read, also when refused
    if (c.result == 0) {
      EXPECT_EQ(wtb[10][c.numtb - 1][0], banksample(10, c.numtb - 1, 0));
      EXPECT_EQ(wtb[10][c.numtb - 1][1], kOldWtb);
      if (c.numtb < 6) {
        EXPECT_EQ(wtb[10][c.numtb][0], kOldWtb);
      }
    } else {
      // Refused before any set: no table size and no sample is read.
      EXPECT_TRUE(std::all_of(std::begin(tblsize), std::end(tblsize), [](int32_t v) { return v == kOldTblsize; }));
      for (int s = 0; s < 11; ++s) EXPECT_TRUE(wtbset(s, kOldWtb)) << s;
      EXPECT_TRUE(scoreuntouched());
    }
  }
}

TEST_F(Load, TableTooLongStopsAtItsSet) {
  setbank(bank(3, {80, 2, 5, 81, 4}));
  EXPECT_EQ(load(), -50);
  EXPECT_EQ(numtb, 3);
  EXPECT_EQ(tblsize[0], 80);
  EXPECT_EQ(tblsize[2], 5);
  EXPECT_EQ(tblsize[3], 81);
  EXPECT_EQ(tblsize[4], kOldTblsize);
  // Sets 0 to 2 loaded, up to the 80th sample of a full table.
  EXPECT_EQ(wtb[0][2][79], banksample(0, 2, 79));
  EXPECT_EQ(wtb[1][1][1], banksample(1, 1, 1));
  EXPECT_EQ(wtb[1][1][2], kOldWtb);
  EXPECT_EQ(wtb[2][2][4], banksample(2, 2, 4));
  EXPECT_EQ(wtb[2][3][0], kOldWtb);
  EXPECT_TRUE(wtbset(3, kOldWtb));
  EXPECT_TRUE(scoreuntouched());
}

TEST_F(Load, LayoutTwoReadsFiveSetsAndIgnoresTheRest) {
  // Eleven sets in the file: the bytes after the fifth are never read.
  setbank(bank(2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(load(0, 2), 0);
  for (int s = 0; s < 5; ++s) {
    EXPECT_EQ(tblsize[s], s + 1);
    EXPECT_EQ(wtb[s][1][s], banksample(s, 1, s));
  }
  for (int s = 5; s < 12; ++s) EXPECT_EQ(tblsize[s], kOldTblsize);
  for (int s = 5; s < 11; ++s) EXPECT_TRUE(wtbset(s, kOldWtb));
}

TEST_F(Load, SampleBytesAreLittleEndianSigned) {
  Bytes b;
  le16(b, 2);  // numtb
  le16(b, 3);  // tblsize[0]
  b.insert(b.end(), {0xFF, 0x7F, 0x00, 0x80, 0xFF, 0xFF});  // stage 0: 32767, -32768, -1
  b.insert(b.end(), {0x01, 0x02, 0x80, 0x00, 0x00, 0x00});  // stage 1: 513, 128, 0
  setbank(b + sets(2, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, 1));
  EXPECT_EQ(load(), 0);
  const int16_t want[2][3] = {{32767, -32768, -1}, {513, 128, 0}};
  for (int j = 0; j < 2; ++j)
    for (int k = 0; k < 3; ++k) EXPECT_EQ(wtb[0][j][k], want[j][k]) << j << "," << k;
  EXPECT_EQ(wtb[10][1][0], banksample(10, 1, 0));
}

// The end of the bank file is never tested: a byte past it reads -1.
TEST_F(Load, BankPastItsEndReadsMinusOnes) {
  // Empty: the stage count is -1 + 256 * -1.
  setbank({});
  EXPECT_EQ(load(), -40);
  EXPECT_EQ(numtb, -257);

  // One byte: 2 + 256 * -1.
  SetUp();
  setbank({2});
  EXPECT_EQ(load(), -40);
  EXPECT_EQ(numtb, -254);

  // Ends inside the samples of set 0 (layout 2, five sets): the last low
  // byte alone gives low - 256, later samples -257, later table sizes -257,
  // which pass the size test and load nothing. The bank counts as loaded.
  SetUp();
  setbank({2, 0, 2, 0, 0x10, 0x00, 0x20});
  EXPECT_EQ(load(0, 2), 0);
  EXPECT_EQ(numtb, 2);
  EXPECT_EQ(tblsize[0], 2);
  EXPECT_EQ(wtb[0][0][0], 16);
  EXPECT_EQ(wtb[0][0][1], 0x20 - 256);
  EXPECT_EQ(wtb[0][1][0], -257);
  EXPECT_EQ(wtb[0][1][1], -257);
  EXPECT_EQ(wtb[0][0][2], kOldWtb);
  for (int s = 1; s < 5; ++s) {
    EXPECT_EQ(tblsize[s], -257) << s;
    EXPECT_TRUE(wtbset(s, kOldWtb)) << s;
  }
  EXPECT_EQ(tblsize[5], kOldTblsize);
  EXPECT_EQ(tdata[0], 139);  // the score was read after it
}

// A table size of 0 or below loads nothing for its set and is not refused.
TEST_F(Load, EmptyAndNegativeTableSizesLoadNothing) {
  Bytes b;
  le16(b, 2);
  le16(b, 0);       // set 0: size 0
  le16(b, 0xFFFF);  // set 1: 65535 is above 80
  setbank(b);
  EXPECT_EQ(load(), -50);
  EXPECT_EQ(tblsize[0], 0);
  EXPECT_EQ(tblsize[1], 65535);  // read unsigned
  EXPECT_TRUE(wtbset(0, kOldWtb));

  SetUp();
  setbank(bank(2, {0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0}));
  EXPECT_EQ(load(), 0);
  EXPECT_EQ(tblsize[0], 0);
  EXPECT_EQ(tblsize[10], 0);
  EXPECT_TRUE(wtbset(0, kOldWtb));
  EXPECT_EQ(wtb[1][1][0], banksample(1, 1, 0));
}

// A layout outside 0..4 or a freqdim entry outside 1..11 cannot say how many
// sets to read: the bank is left as it was and not a byte of it is read.
TEST_F(Load, BadLayoutLeavesTheBankUntouched) {
  struct Case {
    int32_t layout;
    int32_t dim;  // freqdim[layout] when the layout is in range
  };
  const Case cases[] = {{-1, 0}, {5, 0}, {INT32_MIN, 0}, {0, 0}, {3, 12}, {1, -3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.layout << " " << c.dim);
    SetUp();
    if (c.layout >= 0 && c.layout <= 4) freqdim[c.layout] = c.dim;
    EXPECT_EQ(load(0, c.layout, 5), -48);
    EXPECT_TRUE(bankuntouched());
    EXPECT_TRUE(scoreuntouched());
    EXPECT_EQ(srlen, 500);
    EXPECT_TRUE(srdataloaded());
    // The background traces came before; no bank message, no score message.
    EXPECT_EQ(g_msgs.size(), 5u);
    TearDown();
  }
  // The edges 1 and 11 are fine layouts.
  SetUp();
  freqdim[4] = 1;
  EXPECT_EQ(load(0, 4), 0);
  EXPECT_EQ(tblsize[0], 1);
  EXPECT_EQ(tblsize[1], kOldTblsize);
}

// ---------------------------------------------------------------------------
// Score file.

TEST_F(Load, ScoreEventsIntoTheStream) {
  struct Case {
    const char* name;
    Bytes file;
    int32_t offset;
    int32_t result;
    std::vector<int32_t> stream;  // tdata from 0, then kOldTdata
  };
  const std::vector<Case> cases = {
      {"end only", {139}, 0, 0, {139}},
      {"rest", {150, 25, 139}, 0, 2, {150, 25, 139}},
      {"one-segment note", {151, 0x03, 0x85, 0x11, 0x30, 0x32, 139}, 0, 4, {151, 901, 4400, 50, 139}},
      {"two-segment note, unsigned fields",
       {152, 0xFF, 0xFF, 0x11, 0x30, 0x32, 0xFA, 0x80, 0x00, 0xFF, 149, 139},
       0,
       8,
       {152, 65535, 4400, 50, 250, 32768, 255, 149, 139}},
      {"phrases", {149, 150, 0, 149, 139}, 0, 4, {149, 150, 0, 149, 139}},
      {"bytes after the end are not read", {149, 139, 147, 7}, 0, 1, {149, 139}},
      {"offset 10", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 149, 139}, 10, 1, {149, 139}},
      {"offset onto the end byte", {150, 4, 139}, 2, 0, {139}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    setscore(c.file);
    EXPECT_EQ(load(c.offset), c.result);
    EXPECT_EQ(stream(0, c.stream.size()), c.stream);
    EXPECT_EQ(tdata[c.stream.size()], kOldTdata);
  }
}

TEST_F(Load, InvalidEventBytes) {
  struct Case {
    const char* name;
    Bytes file;
    int32_t offset;
    int32_t result;
    std::vector<int32_t> stream;  // ends with the invalid byte itself
  };
  const std::vector<Case> cases = {
      {"0", {0}, 0, -15000, {0}},
      {"147 after a phrase", {149, 147, 139}, 0, -300, {149, 147}},
      {"171", {171, 0, 0, 0, 0, 0, 139}, 0, 2100, {171}},
      {"255 after a rest", {150, 9, 255}, 0, 10500, {150, 9, 255}},
      {"138", {138}, 0, -1200, {138}},
      // The end of the file where an event byte is due reads -1.
      {"empty", {}, 0, -15100, {-1}},
      {"no end byte", {150, 9, 149}, 0, -15100, {150, 9, 149, -1}},
      {"offset past the end", {139}, 5, -15100, {-1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    setscore(c.file);
    EXPECT_EQ(load(c.offset, 0, 5), c.result);
    EXPECT_EQ(stream(0, c.stream.size()), c.stream);
    EXPECT_EQ(tdata[c.stream.size()], kOldTdata);  // no end-of-score entry
    // No message for the score; the earlier traces did appear.
    ASSERT_FALSE(g_msgs.empty());
    EXPECT_EQ(g_msgs.back().first.rfind("m ", 0), 0u);
  }
}

// Inside an event the end of the file is not tested: fields past it read -1
// per byte, the event is completed, and parsing ends there with an end-of-
// score entry after it.
TEST_F(Load, ScoreEndingInsideAnEvent) {
  struct Case {
    const char* name;
    Bytes file;
    int32_t result;
    std::vector<int32_t> stream;
  };
  const std::vector<Case> cases = {
      {"rest", {150}, 2, {150, -1, 139}},
      {"note head, high byte only", {151, 0x03}, 4, {151, 3 * 256 - 1, -257, -1, 139}},
      {"pitch high byte only", {152, 0x03, 0x85, 0x11}, 7, {152, 901, 0x11 * 256 - 1, -1, -1, -257, -1, 139}},
      {"last field missing", {149, 151, 0, 1, 0, 2}, 5, {149, 151, 1, 2, -1, 139}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    setscore(c.file);
    EXPECT_EQ(load(), c.result);
    EXPECT_EQ(stream(0, c.stream.size()), c.stream);
    EXPECT_EQ(tdata[c.stream.size()], kOldTdata);
  }
}

TEST_F(Load, CaptionsGoToTheHostNotTheStream) {
  // "Hi" after three stream entries: 196 - 124 = 72, 229 - 124 = 105, and
  // the closing 250 gives the tilde.
  setscore({150, 10, 149, 148, 196, 229, 250, 139});
  EXPECT_EQ(load(), 3);
  EXPECT_EQ(stream(0, 5), (std::vector<int32_t>{150, 10, 149, 139, kOldTdata}));
  EXPECT_EQ(std::string(captext, 4), std::string("Hi~") + kOldCaption);
  EXPECT_EQ(cappos[0], 3);
  EXPECT_EQ(cappos[1], kOldCappos);

  // Back to back, no terminating zero; bytes below 124 wrap modulo 256; a
  // caption right before the end byte stands at the end's position; an
  // empty caption is its tilde alone.
  SetUp();
  setscore({148, 189, 250, 149, 148, 0, 123, 10, 250, 148, 250, 150, 5, 148, 196, 229, 250, 139});
  EXPECT_EQ(load(), 3);
  EXPECT_EQ(stream(0, 4), (std::vector<int32_t>{149, 150, 5, 139}));
  const unsigned char want[] = {'A', '~', 132, 255, 142, '~', '~', 'H', 'i', '~'};
  EXPECT_EQ(std::memcmp(captext, want, sizeof want), 0);
  EXPECT_EQ(captext[sizeof want], kOldCaption);
  EXPECT_EQ(std::vector<int32_t>(cappos, cappos + 5), (std::vector<int32_t>{0, 1, 1, 3, kOldCappos}));
}

// A caption that is never closed: reading stops at the end of the file and
// the score counts as one without its end byte.
TEST_F(Load, UnclosedCaption) {
  setscore({149, 148, 196, 229});
  EXPECT_EQ(load(0, 0, 5), -15100);
  EXPECT_EQ(std::string(captext, 3), std::string("Hi") + kOldCaption);
  EXPECT_EQ(cappos[0], kOldCappos);
  EXPECT_EQ(stream(0, 2), (std::vector<int32_t>{149, kOldTdata}));
  EXPECT_EQ(g_msgs.back().first.rfind("m ", 0), 0u);  // no score message
}

TEST_F(Load, StreamPositionLimit) {
  const Bytes note1 = {151, 0x03, 0x85, 0x11, 0x30, 0x32};
  const Bytes note2 = {152, 0x03, 0x85, 0x11, 0x30, 0x32, 0x0A, 0x19, 0x64, 0x28};
  Bytes note20 = {170, 0x03, 0x85};
  for (int s = 0; s < 19; ++s) note20.insert(note20.end(), {0x11, 0x30, 0x32, 0x0A});
  note20.insert(note20.end(), {0x11, 0x30, 0x32});
  struct Case {
    const char* name;
    Bytes file;
    int32_t result;
    size_t from;                  // first entry checked
    std::vector<int32_t> stream;  // tdata from `from` on
  };
  const std::vector<Case> cases = {
      // No new event begins at 2960: the rest after it is never read.
      {"phrase ends reach 2960", repeat(149, 2960) + Bytes{150, 5, 139}, 2960, 2959, {149, 139, kOldTdata}},
      {"one-segment note at 2959", repeat(149, 2959) + note1 + Bytes{149, 139}, 2963, 2958,
       {149, 151, 901, 4400, 50, 139, kOldTdata}},
      {"two-segment note at 2958 ends at 2965", repeat(149, 2958) + note2 + Bytes{139}, 2965, 2958,
       {152, 901, 4400, 50, 10, 6500, 40, 139, kOldTdata}},
      // The first segment would start at 2961.
      {"two-segment note at 2959", repeat(149, 2959) + note2 + Bytes{139}, -65, 2958,
       {149, 152, 901, kOldTdata}},
      // Segments at 2952, 2955, 2958; the fourth would start at 2961.
      {"twenty-segment note at 2950", repeat(149, 2950) + note20 + Bytes{139}, -65, 2949,
       {149, 170, 901, 4400, 50, 10, 4400, 50, 10, 4400, 50, 10, kOldTdata}},
      {"rest at 2959 runs to 2961", repeat(149, 2959) + Bytes{150, 7, 139}, 2961, 2959, {150, 7, 139, kOldTdata}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    setscore(c.file);
    EXPECT_EQ(load(), c.result);
    EXPECT_EQ(stream(c.from, c.stream.size()), c.stream);
    EXPECT_EQ(tdata[0], 149);
  }
}

TEST_F(Load, ShorterScoreLeavesOlderEntriesBehind) {
  setscore({150, 1, 150, 2, 150, 3, 139});
  EXPECT_EQ(load(), 6);
  setscore({149, 139});
  EXPECT_EQ(load(), 1);
  EXPECT_EQ(stream(0, 8), (std::vector<int32_t>{149, 139, 150, 2, 150, 3, 139, kOldTdata}));
}

// The loader never moves the play positions.
TEST_F(Load, DataposIsLeftAlone) {
  datapos = 1234;
  EXPECT_EQ(load(), 0);
  EXPECT_EQ(datapos, 1234);
  setbank({});
  EXPECT_EQ(load(), -40);
  EXPECT_EQ(datapos, 1234);
  datapos = 0;
}

// ---------------------------------------------------------------------------
// Trace messages.

TEST_F(Load, TraceMessagesInOrder) {
  Bytes data(1000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  data[7] = 0xC8;  // traced unsigned
  setbg(background(data));
  setbank(bank(4, {1, 1, 1, 1, 3, 9}));  // layout 2 reads five sets; the last holds 3 samples
  setscore({150, 25, 151, 0x03, 0x85, 0x11, 0x30, 0x32, 149, 139});
  EXPECT_EQ(load(0, 2, 5), 7);
  // tdata[8] and tdata[9] lie past the parsed part and show what they held.
  const std::vector<std::string> want = {
      "srlen 1000",         "srcnt 6,SRDAT 6",   "srcnt 7,SRDAT 200", "srcnt 8,SRDAT 8", "srcnt 9,SRDAT 9",
      "m 5, k 3, j4", "Tdat 50, 149, 139, -1000000 -1000000 ",
  };
  EXPECT_EQ(texts(), want);
  for (auto& m : g_msgs) EXPECT_EQ(m.second, "");
  // msg keeps the first 31 characters of the last text.
  EXPECT_STREQ(msg, "Tdat 50, 149, 139, -1000000 -10");
}

TEST_F(Load, TraceEdges) {
  // No trace position, no message.
  EXPECT_EQ(load(), 0);
  EXPECT_TRUE(g_msgs.empty());
  EXPECT_EQ(msg[0], '\0');

  // A position whose bytes lie past the recording traces no byte; the Tdat
  // entries past the end of tdata show 0. A last table size that is not
  // positive shows as 0.
  SetUp();
  tdata[2998] = 11;
  tdata[2999] = -12;
  setbank(bank(2, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}));
  EXPECT_EQ(load(0, 0, 2998), 0);
  EXPECT_EQ(texts(), (std::vector<std::string>{"srlen 1000", "m 11, k 0, j2", "Tdat 11, -12, 0, 0 0 "}));
  EXPECT_STREQ(msg, "Tdat 11, -12, 0, 0 0 ");

  // Only the bytes that exist are traced: the last index of 1002 bytes is
  // 1001. A last table size read past the end (-257) also shows as 0.
  SetUp();
  setbg(background(1002));
  setbank(bank(2, {1, 1, 1, 1, 1}));
  EXPECT_EQ(load(0, 2, 999), 0);
  EXPECT_EQ(texts(), (std::vector<std::string>{"srlen 1002", "srcnt 1000,SRDAT 232", "srcnt 1001,SRDAT 233",
                                               "m 5, k 1, j2", "Tdat -1000000, -1000000, -1000000, -1000000 -1000000 "}));
  SetUp();
  setbank(bank(2, {1, 1, 1, 1}));
  EXPECT_EQ(load(0, 2, 3), 0);
  EXPECT_EQ(g_msgs[5].first, "m 5, k 0, j2");
}

TEST_F(Load, NoMessageForAFailure) {
  // Too short: the length message comes only after the test has passed.
  setbg(background(999));
  EXPECT_EQ(load(0, 0, 5), -35);
  EXPECT_TRUE(g_msgs.empty());

  // A refused bank: the background traces only.
  SetUp();
  setbank(bank(1, {}));
  EXPECT_EQ(load(0, 0, 5), -40);
  EXPECT_EQ(texts(), (std::vector<std::string>{"srlen 1000", "srcnt 6,SRDAT 6", "srcnt 7,SRDAT 7",
                                               "srcnt 8,SRDAT 8", "srcnt 9,SRDAT 9"}));
  EXPECT_STREQ(msg, "srcnt 9,SRDAT 9");

  // Past the position limit.
  SetUp();
  setscore(repeat(149, 2959) + Bytes{152, 0, 1, 0, 1, 1, 1, 0, 1, 1});
  EXPECT_EQ(load(0, 0, 5), -65);
  EXPECT_EQ(g_msgs.back().first, "m 11, k 1, j2");
}

// ---------------------------------------------------------------------------
// Loaded files played phrase by phrase.

// Background sample i is 4i and weighs as much as the tone (srweight 10), so
// the background alone gives 2i. The note plays set 0, whose tables are all
// zero: its samples are the background alone too. One echo tap, 2 samples
// back, at gain 0.5; the tail of each phrase is heard by the next.
//
// This is the only test here that renders, so the background position starts
// at its first sample (the loader never moves it).
TEST_F(Load, PlaysTheLoadedScorePhraseByPhrase) {
  Bytes data;
  for (int i = 0; i < 500; ++i) le16(data, 4 * i);
  setbg(background(data));
  Bytes b;
  le16(b, 2);
  le16(b, 1);
  b.insert(b.end(), {0, 0, 0, 0});
  setbank(b + sets(2, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, 1));
  setscore({150, 5, 148, 189, 250, 149,                   // phrase 1: rest of 5 samples, a caption
            150, 4, 149,                                   // phrase 2: rest of 4
            151, 0x03, 0x84, 0x03, 0xE8, 3, 149,          // phrase 3: note of 3 on set 0
            150, 2, 148, 196, 229, 250, 149,               // phrase 4: rest of 2, a caption
            139});
  ASSERT_EQ(load(), 14);
  EXPECT_EQ(std::vector<int32_t>(cappos, cappos + 2), (std::vector<int32_t>{2, 13}));
  EXPECT_EQ(std::string(captext, 5), "A~Hi~");
  ASSERT_TRUE(tailcleared());

  const int16_t echodel[1] = {2};
  const float echogain[1] = {0.5f};
  int16_t out[64];
  auto play = [&](int32_t restart) {
    std::fill(std::begin(out), std::end(out), int16_t{999});
    return wrtbin16(restart, 0, out, sizeof out, reinterpret_cast<const int16_t*>(srdata.data()), 100, 0, 10, 0,
                    0, 1, echodel, echogain, 0);
  };
  auto head = [&](int32_t n) { return std::vector<int16_t>(out, out + n + 1); };

  // Phrase 1, background 0, 2, 4, 6, 8; the cleared tail for the first two
  // samples: 0, 1, then 2 + 0, 3 + 0.5, 4 + 1.
  ASSERT_EQ(play(1), 5);
  EXPECT_EQ(head(5), (std::vector<int16_t>{0, 1, 2, 3, 5, 0}));
  EXPECT_EQ(datapos, 3);
  EXPECT_EQ(tailbuf[0], 3);
  EXPECT_EQ(tailbuf[1], 5);
  EXPECT_EQ(tailbuf[2], 0);

  // Phrase 2, background 10, 12, 14, 16: 5 + 1.5, 6 + 2.5, 7 + 3, 8 + 4.
  ASSERT_EQ(play(0), 4);
  EXPECT_EQ(head(4), (std::vector<int16_t>{6, 8, 10, 12, 0}));
  EXPECT_EQ(datapos, 6);

  // Phrase 3, the note over background 18, 20, 22: 9 + 5, 10 + 6, 11 + 7.
  ASSERT_EQ(play(0), 3);
  EXPECT_EQ(head(3), (std::vector<int16_t>{14, 16, 18, 0}));
  EXPECT_EQ(datapos, 11);

  // Phrase 4, background 24, 26: 12 + 8, 13 + 9.
  ASSERT_EQ(play(0), 2);
  EXPECT_EQ(head(2), (std::vector<int16_t>{20, 22, 0}));
  EXPECT_EQ(datapos, 14);

  EXPECT_EQ(play(0), -1);
  EXPECT_EQ(play(0), -1);
  EXPECT_EQ(datapos, 14);

  // Played again from the start, the background goes on from sample 14
  // (28, 30, ...) and the first samples hear phrase 4's tail 20, 22:
  // 14 + 10, 15 + 11, then 16 + 12, 17 + 13, 18 + 14.
  ASSERT_EQ(play(1), 5);
  EXPECT_EQ(head(5), (std::vector<int16_t>{24, 26, 28, 30, 32, 0}));
  datapos = 0;
}

}  // namespace
