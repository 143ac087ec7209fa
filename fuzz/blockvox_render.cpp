// dwrblk16bin on a fuzzed engine state and block, several calls in a row.
#include "blockvox.h"

#include <span>

#include "engine_reset.h"
#include "renderfuzz.h"

namespace {

struct Lib {
  static constexpr bool block = true;
  static constexpr bool echo = true;
  static constexpr bool earlyend = true;
  struct Call {
    const fuzzhost::CallArgs* c;
    const int16_t* block;
    int16_t* out;
    const int16_t* sr;
    const int16_t* del;
    const float* gain;
  };
  static constexpr fuzzhost::RefLib ref{false, false, true, 2, 12000, false};
  static std::vector<int32_t> stream() { return std::vector<int32_t>{}; }
  static std::span<int16_t> tail() { return std::span<int16_t>(tailbuf); }
  static void reset() {
    fuzzhost::resetcommon();
    std::fill(std::begin(tailbuf), std::end(tailbuf), 0);
  }
  static void setstream(const std::vector<int32_t>&, int16_t) {}
  static int32_t render(const Call& k) {
    const fuzzhost::CallArgs& c = *k.c;
    return dwrblk16bin(k.block, k.out, c.bufbytes, k.sr, c.samprate, c.envtype, c.srweight, c.numecho, k.del,
                       c.tracepos, k.gain);
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
