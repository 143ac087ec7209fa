// wtalbin16 on a fuzzed engine state, several calls in a row.
#include "dryvox.h"

#include <span>

#include "engine_reset.h"
#include "renderfuzz.h"

namespace {

struct Lib {
  static constexpr bool block = false;
  static constexpr bool echo = false;
  static constexpr bool earlyend = false;
  struct Call {
    const fuzzhost::CallArgs* c;
    const int16_t* block;
    int16_t* out;
    const int16_t* sr;
    const int16_t* del;
    const float* gain;
  };
  static constexpr fuzzhost::RefLib ref{false, true, false, 0, 0, true};
  static std::vector<int32_t> stream() { return std::vector<int32_t>(std::begin(tdata), std::end(tdata)); }
  static std::span<int16_t> tail() { return std::span<int16_t>{}; }
  static void reset() {
    fuzzhost::resetcommon();
    std::fill(std::begin(tdata), std::end(tdata), 0);
  }
  static void setstream(const std::vector<int32_t>& words, int16_t filler) {
    std::fill(std::begin(tdata), std::end(tdata), filler);
    std::copy_n(words.begin(), std::min<size_t>(words.size(), 3000), tdata);
  }
  static int32_t render(const Call& k) {
    const fuzzhost::CallArgs& c = *k.c;
    // spare carries a fuzzed value: it is not read.
    return wtalbin16(c.restart, c.srreset, c.startpos, k.out, c.bufbytes, k.sr, c.samprate, c.envtype, c.srweight,
                     c.transnum, c.transden, c.tracepos);
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setmsghook(fuzzhost::msghook);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzzhost::renderfuzz<Lib>(data, size);
}
