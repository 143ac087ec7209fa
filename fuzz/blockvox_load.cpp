// rdtbsrbn16 on fuzzed bank and background files, then a few dwrblk16bin
// calls that play one note on every set of what it loaded.
#include "blockvox.h"

#include "engine_reset.h"
#include "loadfuzz.h"

namespace {

struct Lib {
  static constexpr bool scorefile = false;
  static constexpr bool positiveinvalid = false;  // invalid event bytes give positive results
  static constexpr bool writesmsg = false;
  static constexpr int32_t srshort = -40;
  static constexpr fuzzhost::LoadResults results{0, -20, -30, -40, -50, -55, -57, -58, 0, [](int32_t) { return 0; }};
  static void reset() { fuzzhost::resetcommon(); }
  static void marktail() { std::fill(std::begin(tailbuf), std::end(tailbuf), int16_t{7}); }
  static bool tailcleared() {
    return std::all_of(std::begin(tailbuf), std::end(tailbuf), [](int16_t v) { return v == 0; });
  }
  static bool openfailure(int32_t r) { return r == -20 || r == -30; }
  static bool bankfailure(int32_t r) { return r == -50 || r == -55 || r == -57 || r == -58; }
  static std::vector<int32_t> stream() { return std::vector<int32_t>{}; }
  static bool isresult(int32_t r) {
    switch (r) {
      case 0: case -20: case -30: case -40: case -50: case -55: case -57: case -58: return true;
      default: return false;
    }
  }
  static bool streamend(int32_t) { return true; }
  static int32_t load(const char*, const char* bank, const char* sr, int32_t, char*, int32_t*, void* srdata,
                      int32_t layout, int32_t tracepos) {
    return rdtbsrbn16(bank, sr, srdata, layout, tracepos);
  }
  static int32_t render(bool first, int16_t* out, int32_t bufbytes, const int16_t* sr, int32_t samprate,
                        int32_t envtype) {
    // Sets 0..10, two segments each with a glide; the second call plays the
    // upper sets.
    static const int16_t low[] = {152, 900, 440, 5, 3, 660, 5, 152, 501, 220, 4, 2, 110, 4,
                                  152, 302, 880, 3, 3, 440, 3, 152, 903, 55, 2, 2, 70, 2,
                                  152, 904, 1000, 2, 2, 20, 2, 152, 905, 300, 2, 2, 330, 2, 149};
    static const int16_t high[] = {152, 906, 440, 5, 3, 660, 5, 152, 507, 220, 4, 2, 110, 4,
                                   152, 308, 880, 3, 3, 440, 3, 152, 909, 55, 2, 2, 70, 2,
                                   152, 910, 1000, 2, 2, 20, 2, 150, 3, 149};
    static const int16_t delays[2] = {40, 25};
    static const float gains[2] = {0.5f, 0.25f};
    return dwrblk16bin(first ? low : high, out, bufbytes, sr, samprate, envtype, 5, 2, delays, 0, gains);
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
