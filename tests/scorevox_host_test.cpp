// A host that defines globals with the engine's names (as a program written
// before it used the library might) and reaches the library's variables only
// through dlsym. The library must work on its own variables and leave the
// host's alone.
#define VOX_DYNAMIC
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "scorevox.h"

// Default visibility, as in a host built without special flags (this project
// builds with hidden visibility): the names can then interpose.
#define HOSTVAR __attribute__((visibility("default")))
extern "C" {
HOSTVAR char msg[32] = "host";
HOSTVAR float freq[20];
HOSTVAR int32_t dur[20];
HOSTVAR int32_t trans[20];
HOSTVAR int32_t sampstdur[20];
HOSTVAR int32_t sampsttr[20];
HOSTVAR int32_t sampsttbl[8];
HOSTVAR int32_t sampstdif[8];
HOSTVAR int32_t numtb = 99;
HOSTVAR int32_t datapos = 1234;
HOSTVAR int32_t srlen = 77;
HOSTVAR int32_t tblsize[12];
HOSTVAR int32_t freqdim[5] = {1, 2, 3, 4, 5};
HOSTVAR int32_t tdata[3000];
HOSTVAR int16_t wtb[11][6][80];
HOSTVAR int16_t tailbuf[10000];
}

namespace {

void VOXCALL quiet(const char*, const char*) {}

template <class T>
T* libvar(const char* name) {
  void* lib = dlopen("libscorevox.so", RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(lib, nullptr) << dlerror();
  if (lib == nullptr) return nullptr;
  void* sym = dlsym(lib, name);
  dlclose(lib);
  EXPECT_NE(sym, nullptr) << name;
  return static_cast<T*>(sym);
}

// Runs first: nothing has called the library yet.
TEST(Host, FreshLibraryStartsAtWordZeroAndSampleZero) {
  const int32_t* fd = libvar<int32_t>("freqdim");
  ASSERT_NE(fd, nullptr);
  const int32_t want[5] = {11, 11, 5, 11, 11};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(fd[i], want[i]) << i;
  int32_t* pos = libvar<int32_t>("datapos");
  int32_t* td = libvar<int32_t>("tdata");
  int32_t* len = libvar<int32_t>("srlen");
  ASSERT_TRUE(pos != nullptr && td != nullptr && len != nullptr);
  EXPECT_EQ(*pos, 0);
  EXPECT_EQ(*len, 0);

  // A rest of 2 from word 0, without a restart; the background starts at its
  // first sample: 40 x 10 / 20 = 20, then 80 x 10 / 20 = 40.
  td[0] = 150;
  td[1] = 2;
  td[2] = 149;
  *len = 4;
  const int16_t bg[4] = {40, 80, 120, 160};
  int16_t out[4] = {};
  EXPECT_EQ(wrtbin16(0, 0, out, sizeof out, bg, 100, 0, 10, 0, 0, 0, nullptr, nullptr, 0), 2);
  EXPECT_EQ(out[0], 20);
  EXPECT_EQ(out[1], 40);
  EXPECT_EQ(*pos, 3);
  EXPECT_EQ(datapos, 1234);
}

TEST(Host, LibraryKeepsToItsOwnVariables) {
  setmsghook(quiet);
  // The host's names are the ones a lookup in the whole process finds, so
  // a library that did not bind its own would have picked them.
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "freq"), static_cast<void*>(freq));
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "numtb"), static_cast<void*>(&numtb));

  float* lfreq = libvar<float>("freq");
  int32_t* ldur = libvar<int32_t>("dur");
  int32_t* ltrans = libvar<int32_t>("trans");
  int32_t* lsttr = libvar<int32_t>("sampsttr");
  int32_t* lsttbl = libvar<int32_t>("sampsttbl");
  int32_t* lnumtb = libvar<int32_t>("numtb");
  int32_t* ltblsize = libvar<int32_t>("tblsize");
  int32_t* lpos = libvar<int32_t>("datapos");
  int32_t* ltdata = libvar<int32_t>("tdata");
  int16_t* ltail = libvar<int16_t>("tailbuf");
  int16_t* lwtb = libvar<int16_t>("wtb");
  char* lmsg = libvar<char>("msg");
  ASSERT_TRUE(lfreq && ldur && ltrans && lsttr && lsttbl && lnumtb && ltblsize && lpos && ltdata && ltail && lwtb &&
              lmsg);
  EXPECT_NE(static_cast<void*>(lfreq), static_cast<void*>(freq));
  EXPECT_NE(static_cast<void*>(lnumtb), static_cast<void*>(&numtb));

  // The host's own copies say nothing playable: a 139 at its datapos, no
  // stages, no table size.
  std::fill(std::begin(tdata), std::end(tdata), 139);
  tailbuf[0] = 555;

  *lnumtb = 6;
  ltblsize[0] = 4;
  for (int s = 0; s < 6; ++s)
    for (int i = 0; i < 4; ++i) lwtb[s * 80 + i] = static_cast<int16_t>(1000 * i);
  const int32_t words[] = {152, 900, 125, 2, 4, 250, 2, 149};
  std::copy(std::begin(words), std::end(words), ltdata);
  ltail[0] = 321;
  int16_t out[9] = {};
  const int16_t del[1] = {1};
  const float gain[1] = {0.0f};
  // The glide of the renderer tests, with an echo of gain 0 (no change to
  // the samples) so that the tail is captured.
  EXPECT_EQ(wrtbin16(1, 0, out, sizeof out, nullptr, 100, 0, 0, 0, 0, 1, del, gain, 0), 8);
  const int16_t want[8] = {500, 1000, 1625, 2375, 2250, 250, 1250, 2250};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], want[i]) << i;
  EXPECT_EQ(*lpos, 8);
  EXPECT_EQ(lfreq[0], 125.0f);
  EXPECT_EQ(lfreq[1], 250.0f);
  EXPECT_EQ(ldur[0], 2);
  EXPECT_EQ(ltrans[0], 4);
  EXPECT_EQ(lsttr[1], 8);
  EXPECT_EQ(lsttbl[1], 15);
  EXPECT_EQ(ltail[0], 2250);

  EXPECT_EQ(freq[0], 0.0f);
  EXPECT_EQ(freq[1], 0.0f);
  EXPECT_EQ(dur[0], 0);
  EXPECT_EQ(trans[0], 0);
  EXPECT_EQ(sampsttr[1], 0);
  EXPECT_EQ(sampsttbl[1], 0);
  EXPECT_EQ(datapos, 1234);
  EXPECT_EQ(numtb, 99);
  EXPECT_EQ(tblsize[0], 0);
  EXPECT_EQ(tailbuf[0], 555);

  // The loader: it clears the library's tail and keeps its trace text in the
  // library's msg. A background file of 44 + 1000 bytes and empty score and
  // bank files get it that far (the bank is then refused).
  const std::string dir = testing::TempDir();
  const std::string score = dir + "/host_score.bin", bank = dir + "/host_bank.bin", sr = dir + "/host_sr.wav";
  for (const std::string& path : {score, bank}) std::fclose(std::fopen(path.c_str(), "wb"));
  std::FILE* f = std::fopen(sr.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  const std::vector<unsigned char> bytes(1044, 0);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  std::vector<int16_t> srdata(600);
  char captext[16] = {};
  int32_t cappos[4] = {};
  EXPECT_EQ(rdbin16(score.c_str(), bank.c_str(), sr.c_str(), 0, captext, cappos, srdata.data(), 0, 100000), -40);
  EXPECT_STREQ(lmsg, "srlen 1000");
  EXPECT_STREQ(msg, "host");
  EXPECT_EQ(ltail[0], 0);
  EXPECT_EQ(tailbuf[0], 555);
  EXPECT_EQ(srlen, 77);
  EXPECT_EQ(libvar<int32_t>("srlen")[0], 500);
  const int32_t hostdim[5] = {1, 2, 3, 4, 5};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(freqdim[i], hostdim[i]);
  for (const std::string& path : {score, bank, sr}) std::remove(path.c_str());
  setmsghook(nullptr);
}

}  // namespace
