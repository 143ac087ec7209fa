// rdtalbin16 on fuzzed score, bank and background files, then a few
// wtalbin16 calls on what it loaded.
#include "dryvox.h"

#include "engine_reset.h"
#include "loadfuzz.h"

namespace {

struct Lib {
  static constexpr bool scorefile = true;
  static constexpr bool positiveinvalid = false;  // invalid event bytes give positive results
  static constexpr bool writesmsg = true;
  static constexpr int32_t srshort = -35;
  static constexpr fuzzhost::LoadResults results{-10, -20, -30, -35, -40, -45, -50, -48, -65, [](int32_t) { return -60; }};
  static void reset() {
    fuzzhost::resetcommon();
    std::fill(std::begin(tdata), std::end(tdata), 0);
  }
  static void marktail() {}
  static bool tailcleared() { return true; }  // no echo, no tail
  static bool openfailure(int32_t r) { return r == -10 || r == -20 || r == -30; }
  static bool bankfailure(int32_t r) { return r == -40 || r == -45 || r == -48 || r == -50; }
  static std::vector<int32_t> stream() { return std::vector<int32_t>(std::begin(tdata), std::end(tdata)); }
  static bool isresult(int32_t r) {
    switch (r) {
      case -10: case -20: case -30: case -35: case -40: case -45: case -48: case -50: case -60: case -65:
        return true;
      default: return r >= 0 && r <= 2965;
    }
  }
  static bool streamend(int32_t r) { return tdata[r] == 139; }
  static int32_t load(const char* score, const char* bank, const char* sr, int32_t offset, char* captext,
                      int32_t* cappos, void* srdata, int32_t layout, int32_t tracepos) {
    return rdtalbin16(score, bank, sr, offset, captext, cappos, srdata, layout, tracepos);
  }
  static int32_t render(bool restart, int16_t* out, int32_t bufbytes, const int16_t* sr, int32_t samprate,
                        int32_t envtype) {
    return wtalbin16(restart, restart, 0, out, bufbytes, sr, samprate, envtype, 5, 3, 2, 0);
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setmsghook(fuzzhost::msghook);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzzhost::loadfuzz<Lib>(data, size);
}
