// What the blockvox library exports, as a host that looks names up sees it:
// its functions, its engine variables with their sizes, no tdata and no
// background position.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <string>

#include "blockvox.h"

namespace {

class Exports : public ::testing::Test {
 protected:
  void SetUp() override {
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&dwrblk16bin), &info), 0);
    handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
  }
  void TearDown() override {
    if (handle != nullptr) dlclose(handle);
  }
  // The size in bytes of an exported object, from its symbol entry.
  size_t sizeof_export(const char* name) {
    void* at = dlsym(handle, name);
    if (at == nullptr) return 0;
    Dl_info info{};
    void* entry = nullptr;
    if (dladdr1(at, &info, &entry, RTLD_DL_SYMENT) == 0 || entry == nullptr) return 0;
    return static_cast<const ElfW(Sym)*>(entry)->st_size;
  }
  void* handle = nullptr;
};

TEST_F(Exports, FunctionsAndData) {
  for (const char* name : {"rdtbsrbn16", "dwrblk16bin", "LibMain", "setmsghook"})
    EXPECT_NE(dlsym(handle, name), nullptr) << name;
  struct Data {
    const char* name;
    size_t bytes;
  };
  const Data data[] = {
      {"wtb", 11 * 6 * 80 * 2}, {"numtb", 4},      {"tblsize", 48},   {"freqdim", 20},  {"srlen", 4},
      {"datapos", 4},           {"freq", 20 * 4},  {"dur", 80},       {"trans", 80},    {"sampstdur", 80},
      {"sampsttr", 80},         {"sampsttbl", 32}, {"sampstdif", 32}, {"tailbuf", 24000}, {"msg", 32},
  };
  for (const Data& d : data) EXPECT_EQ(sizeof_export(d.name), d.bytes) << d.name;
  for (const char* name : {"tdata", "srcnt", "wrtbin16", "rdbin16"}) EXPECT_EQ(dlsym(handle, name), nullptr) << name;
}

TEST(Library, LayoutTableAndLibMain) {
  EXPECT_EQ(freqdim[0], 11);
  EXPECT_EQ(freqdim[1], 11);
  EXPECT_EQ(freqdim[2], 5);
  EXPECT_EQ(freqdim[3], 11);
  EXPECT_EQ(freqdim[4], 11);
  EXPECT_EQ(LibMain(0, 0, 0, 0), 1);
  EXPECT_EQ(LibMain(-1, 7, 8, 9), 1);
}

}  // namespace
