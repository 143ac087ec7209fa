// rdbin16 on fuzzed score, bank and background files, then a few wrtbin16
// calls on what it loaded.
#include "scorevox.h"

#include "engine_reset.h"
#include "loadfuzz.h"

namespace {

struct Lib {
  static constexpr bool scorefile = true;
  static constexpr bool positiveinvalid = true;  // invalid event bytes give positive results
  static constexpr bool writesmsg = true;
  static constexpr int32_t srshort = -35;
  static constexpr fuzzhost::LoadResults results{-10, -20, -30, -35, -40, -45, -50, -48, -65, [](int32_t e) { return (e - 150) * 100; }};
  static void reset() {
    fuzzhost::resetcommon();
    std::fill(std::begin(tdata), std::end(tdata), 0);
  }
  static void marktail() { std::fill(std::begin(tailbuf), std::end(tailbuf), int16_t{7}); }
  static bool tailcleared() {
    return std::all_of(std::begin(tailbuf), std::end(tailbuf), [](int16_t v) { return v == 0; });
  }
  static bool openfailure(int32_t r) { return r == -10 || r == -20 || r == -30; }
  static bool bankfailure(int32_t r) { return r == -40 || r == -45 || r == -48 || r == -50; }
  static std::vector<int32_t> stream() { return std::vector<int32_t>(std::begin(tdata), std::end(tdata)); }
  static bool isresult(int32_t r) {
    switch (r) {
      case -10: case -20: case -30: case -35: case -40: case -45: case -48: case -50: case -65: return true;
      default: return (r >= 0 && r <= 2965) || fuzzhost::isscorevoxinvalid(r);
    }
  }
  static bool streamend(int32_t r) { return tdata[r] == 139; }
  static int32_t load(const char* score, const char* bank, const char* sr, int32_t offset, char* captext,
                      int32_t* cappos, void* srdata, int32_t layout, int32_t tracepos) {
    return rdbin16(score, bank, sr, offset, captext, cappos, srdata, layout, tracepos);
  }
  static int32_t render(bool restart, int16_t* out, int32_t bufbytes, const int16_t* sr, int32_t samprate,
                        int32_t envtype) {
    static const int16_t delays[2] = {40, 25};
    static const float gains[2] = {0.5f, 0.25f};
    return wrtbin16(restart, 0, out, bufbytes, sr, samprate, envtype, 5, 3, 2, 2, delays, gains, 0);
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
