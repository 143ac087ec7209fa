// The blockvox loader: its result codes, the two failure boxes that appear
// whatever tracepos, its trace texts, what it leaves in the engine for each
// result, and the bank and background bytes as they land in wtb and srdata.
// Every file is written by the test from bytes.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "blockvox.h"
#include "blockvox_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using bvtest::Shown;

std::string tempdir() {
  static std::string dir = [] {
    std::string templ = ::testing::TempDir() + "blockvoxXXXXXX";
    const char* made = mkdtemp(templ.data());
    return made != nullptr ? std::string(made) + "/" : std::string();
  }();
  return dir;
}

// Removes the test's files when the run ends.
class TempCleanup : public ::testing::Environment {
 public:
  void TearDown() override {
    std::error_code ec;
    if (!tempdir().empty()) std::filesystem::remove_all(tempdir(), ec);
  }
};
const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new TempCleanup);

std::string writefile(const std::string& name, const Bytes& bytes) {
  const std::string path = tempdir() + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f != nullptr) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

// A background file: a 44-byte header of 0xEE (never read) and n data bytes
// 0, 1, 2, ... 255, 0, 1, ...
Bytes wav(size_t n) {
  Bytes b(44, 0xEE);
  for (size_t i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(i));
  return b;
}

void put16(Bytes& b, int v) {
  b.push_back(static_cast<uint8_t>(v & 0xFF));
  b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

// A bank of the given stage count and table sizes; sample k of stage j of
// set s is 100 s + 10 j + k.
Bytes bank(int stages, const std::vector<int>& sizes) {
  Bytes b;
  put16(b, stages);
  for (size_t s = 0; s < sizes.size(); ++s) {
    put16(b, sizes[s]);
    for (int j = 0; j < stages && sizes[s] <= 80; ++j)
      for (int k = 0; k < sizes[s]; ++k) put16(b, static_cast<int>(100 * s) + 10 * j + k);
  }
  return b;
}

const std::vector<int> kEleven{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

int openfds() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

class Loader : public ::testing::Test {
 protected:
  void SetUp() override {
    bvtest::shown().clear();
    setmsghook(bvtest::record);
    freqdim[2] = 5;
    for (auto& v : tailbuf) v = 3;
    std::strcpy(msg, "keep");
    srdata.assign(1200, 0xAB);
  }
  void TearDown() override { setmsghook(nullptr); }

  int32_t load(const std::string& bankpath, const std::string& srpath, int32_t layout = 0, int32_t tracepos = 0) {
    return rdtbsrbn16(bankpath.c_str(), srpath.c_str(), srdata.data(), layout, tracepos);
  }

  std::vector<uint8_t> srdata;
};

TEST_F(Loader, ResultCodesAndFailureBoxes) {
  const std::string good = writefile("good.bank", bank(2, kEleven));
  const std::string bg = writefile("good.wav", wav(1000));
  const std::string shortbg = writefile("short.wav", wav(999));  // 1043 bytes
  const std::string missing = tempdir() + "missing";
  struct Case {
    const char* what;
    std::string bankpath, srpath;
    int32_t layout, tracepos, result;
    std::vector<Shown> boxes;
    std::optional<int32_t> srlenafter;  // none: unchanged
  };
  const Case cases[] = {
      {"no bank", missing, bg, 0, 0, -20, {}, {}},
      {"bank is a directory", tempdir(), bg, 0, 0, -20, {}, {}},
      {"no background", good, missing, 0, 0, -30, {}, {}},
      {"short background", good, shortbg, 0, 0, -40, {{"SrFile Err,", " "}}, 999},
      {"short background, traced", good, shortbg, 0, 1, -40, {{"srlen 999", ""}, {"SrFile Err,", " "}}, 999},
      {"empty bank", writefile("empty.bank", {}), bg, 0, 0, -50, {{"numtb -257", ""}}, 500},
      {"one stage", writefile("one.bank", bank(1, kEleven)), bg, 0, 0, -50, {{"numtb 1", ""}}, 500},
      {"twelve stages", writefile("twelve.bank", bank(12, kEleven)), bg, 0, 0, -55, {{"numtb 12", ""}}, 500},
      {"seven stages", writefile("seven.bank", bank(7, kEleven)), bg, 0, 0, -55, {{"numtb 7", ""}}, 500},
      {"table of 81", writefile("long.bank", bank(2, {1, 2, 3, 81})), bg, 0, 0, -57, {}, 500},
      {"layout 5", good, bg, 5, 0, -58, {}, 500},
      {"layout -1", good, bg, -1, 0, -58, {}, 500},
      {"loaded", good, bg, 0, 0, 0, {}, 500},
      {"six stages", writefile("six.bank", bank(6, kEleven)), bg, 0, 0, 0, {}, 500},
  };
  for (const Case& c : cases) {
    bvtest::shown().clear();
    srlen = 4321;
    datapos = 1234;
    tailbuf[0] = tailbuf[11999] = 3;
    const int fds = openfds();
    EXPECT_EQ(load(c.bankpath, c.srpath, c.layout, c.tracepos), c.result) << c.what;
    EXPECT_EQ(bvtest::shown(), c.boxes) << c.what;
    EXPECT_EQ(srlen, c.srlenafter.value_or(4321)) << c.what;
    EXPECT_EQ(openfds(), fds) << c.what << ": a file was left open";
    EXPECT_EQ(tailbuf[0], 0) << c.what;
    EXPECT_EQ(tailbuf[11999], 0) << c.what;
    EXPECT_EQ(datapos, 1234) << c.what;
    EXPECT_STREQ(msg, "keep") << c.what;
  }
}

TEST_F(Loader, ShortBackgroundLeavesTheBufferAlone) {
  const std::string good = writefile("good.bank", bank(2, kEleven));
  numtb = 99;
  EXPECT_EQ(load(good, writefile("tiny.wav", {1, 2, 3})), -40);
  EXPECT_EQ(srlen, -41);  // the byte count, 3 - 44
  EXPECT_EQ(numtb, 99);
  EXPECT_EQ(srdata, std::vector<uint8_t>(1200, 0xAB));
}

// 1045 bytes: all 1001 data bytes are copied, but srlen counts whole samples.
TEST_F(Loader, BackgroundBytesAfterTheHeader) {
  const std::string good = writefile("good.bank", bank(2, kEleven));
  ASSERT_EQ(load(good, writefile("odd.wav", wav(1001))), 0);
  EXPECT_EQ(srlen, 500);
  for (size_t i = 0; i <= 1000; ++i) ASSERT_EQ(srdata[i], static_cast<uint8_t>(i)) << i;
  EXPECT_EQ(srdata[1001], 0xAB);
}

TEST_F(Loader, TraceTexts) {
  const std::string good = writefile("good.bank", bank(2, kEleven));
  Bytes b = wav(1000);
  b[44 + 12] = 0xC8;
  const std::string bg = writefile("traced.wav", b);
  struct Case {
    int32_t tracepos;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {10,
       {"srlen 1000", "srpos 11,SRDAT 11", "srpos 12,SRDAT 200", "srpos 13,SRDAT 13", "srpos 14,SRDAT 14",
        "m 11, k 11, j2"}},
      {-3, {"srlen 1000", "srpos 0,SRDAT 0", "srpos 1,SRDAT 1", "m 11, k 11, j2"}},
      {997, {"srlen 1000", "srpos 998,SRDAT 230", "srpos 999,SRDAT 231", "m 11, k 11, j2"}},
      {5000, {"srlen 1000", "m 11, k 11, j2"}},
  };
  for (const Case& c : cases) {
    bvtest::shown().clear();
    ASSERT_EQ(load(good, bg, 0, c.tracepos), 0) << c.tracepos;
    EXPECT_EQ(bvtest::texts(), c.want) << c.tracepos;
    for (const Shown& s : bvtest::shown()) EXPECT_EQ(s.caption, "");
    EXPECT_STREQ(msg, "keep");
  }
}

class Bank : public Loader {
 protected:
  void SetUp() override {
    Loader::SetUp();
    bg = writefile("good.wav", wav(1000));
    for (auto& set : wtb)
      for (auto& stage : set)
        for (auto& v : stage) v = 555;
    for (auto& v : tblsize) v = 77;
  }
  std::string bg;
};

TEST_F(Bank, SamplesLandInTheirSetStageAndIndex) {
  Bytes b = bank(2, kEleven);
  // set 0 holds one sample per stage, at bytes 4..5 and 6..7
  b[4] = 0xFF;
  b[5] = 0x7F;
  b[6] = 0x00;
  b[7] = 0x80;
  b.push_back(0x12);  // bytes after the last set are never read
  ASSERT_EQ(load(writefile("b.bank", b), bg), 0);
  EXPECT_EQ(numtb, 2);
  EXPECT_EQ(wtb[0][0][0], 32767);
  EXPECT_EQ(wtb[0][1][0], -32768);
  EXPECT_EQ(wtb[0][0][1], 555);
  for (int s = 1; s < 11; ++s) {
    EXPECT_EQ(tblsize[s], s + 1);
    EXPECT_EQ(wtb[s][1][s], 100 * s + 10 + s);  // the last sample of stage 1
    EXPECT_EQ(wtb[s][1][s + 1], 555);
    EXPECT_EQ(wtb[s][2][0], 555);  // stages beyond numtb keep theirs
  }
  EXPECT_EQ(tblsize[11], 77);
}

TEST_F(Bank, TableTooLongKeepsTheSetsBefore) {
  ASSERT_EQ(load(writefile("b.bank", bank(3, {1, 2, 80, 81, 5})), bg), -57);
  EXPECT_EQ(numtb, 3);
  EXPECT_EQ(tblsize[2], 80);
  EXPECT_EQ(wtb[2][2][79], 200 + 20 + 79);
  EXPECT_EQ(tblsize[3], 81);
  EXPECT_EQ(wtb[3][0][0], 555);
  EXPECT_EQ(tblsize[4], 77);
}

// Layout 2 reads five sets; what follows in the file is never read.
TEST_F(Bank, LayoutTwoReadsFiveSets) {
  ASSERT_EQ(load(writefile("b.bank", bank(2, kEleven)), bg, 2, 1), 0);
  EXPECT_EQ(tblsize[4], 5);
  EXPECT_EQ(wtb[4][1][4], 414);
  EXPECT_EQ(tblsize[5], 77);
  EXPECT_EQ(wtb[5][0][0], 555);
  EXPECT_EQ(bvtest::texts().back(), "m 5, k 5, j2");
}

TEST_F(Bank, BadLayoutReadsNothing) {
  freqdim[2] = 12;
  EXPECT_EQ(load(writefile("b.bank", bank(2, kEleven)), bg, 2), -58);
  freqdim[2] = 0;
  EXPECT_EQ(load(writefile("b.bank", bank(2, kEleven)), bg, 2), -58);
  freqdim[2] = 5;
  EXPECT_EQ(tblsize[0], 77);
  EXPECT_EQ(wtb[0][0][0], 555);
}

// The file ends inside the samples: a value whose two bytes lie past the end
// reads -257, one whose high byte alone does reads low - 256; the table
// sizes past the end read -257 and load nothing.
TEST_F(Bank, BankEndingEarlyStillLoads) {
  Bytes b;
  put16(b, 2);
  put16(b, 3);
  for (int v : {1, 2, 3}) put16(b, v);  // stage 0
  b.push_back(0x10);                     // stage 1, sample 0: low byte only
  ASSERT_EQ(load(writefile("cut.bank", b), bg, 0, 1), 0);
  EXPECT_EQ(wtb[0][0][2], 3);
  EXPECT_EQ(wtb[0][1][0], 0x10 - 256);
  EXPECT_EQ(wtb[0][1][1], -257);
  EXPECT_EQ(wtb[0][1][2], -257);
  EXPECT_EQ(tblsize[1], -257);
  EXPECT_EQ(tblsize[10], -257);
  EXPECT_EQ(wtb[1][0][0], 555);
  EXPECT_EQ(bvtest::texts().back(), "m 11, k 0, j2");
}

}  // namespace
