// wrtbin16 on a fuzzed engine state, several calls in a row.
#include "scorevox.h"

#include <span>

#include "engine_reset.h"
#include "renderfuzz.h"

namespace {

struct Lib {
  static constexpr bool block = false;
  static constexpr bool echo = true;
  static constexpr bool earlyend = false;
  struct Call {
    const fuzzhost::CallArgs* c;
    const int16_t* block;
    int16_t* out;
    const int16_t* sr;
    const int16_t* del;
    const float* gain;
  };
  static constexpr fuzzhost::RefLib ref{true, true, false, 1, 10000, false};
  static std::vector<int32_t> stream() { return std::vector<int32_t>(std::begin(tdata), std::end(tdata)); }
  static std::span<int16_t> tail() { return std::span<int16_t>(tailbuf); }
  static void reset() {
    fuzzhost::resetcommon();
    std::fill(std::begin(tdata), std::end(tdata), 0);
    std::fill(std::begin(tailbuf), std::end(tailbuf), 0);
  }
  static void setstream(const std::vector<int32_t>& words, int16_t filler) {
    std::fill(std::begin(tdata), std::end(tdata), filler);
    std::copy_n(words.begin(), std::min<size_t>(words.size(), 3000), tdata);
  }
  static int32_t render(const Call& k) {
    const fuzzhost::CallArgs& c = *k.c;
    return wrtbin16(c.restart, c.startpos, k.out, c.bufbytes, k.sr, c.samprate, c.envtype, c.srweight, c.transnum,
                    c.transden, c.numecho, k.del, k.gain, c.tracepos);
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
