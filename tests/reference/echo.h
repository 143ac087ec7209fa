// A frozen copy of the straightforward per-sample renderer, kept as the
// differential oracle and the benchmark baseline for the optimised engine.
// Engine fixes are ported here too; optimisations never are.
// The multi-tap echo and its tail. Each output sample is mixed, tap after
// tap, with an earlier output sample of the same call; for the first samples
// of a phrase the tail of the previous phrase stands in, kept in tailbuf from
// one call to the next. scorevox and blockvox share it with their own tail
// sizes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "../../core/arith.h"
#include "../../core/platform.h"
#include "notesynth.h"

namespace voxref {

using vox::low16;
using vox::tracemsg;

class Echo {
 public:
  // numecho taps of echodel (samples) and echogain; no echo when numecho is
  // 0 or less, either array is missing or there is no tail. totdel is the sum
  // of the delays whenever there are any, for the trace texts.
  Echo(int32_t numecho, const int16_t* echodel, const float* echogain, std::span<int16_t> tail)
      : on_(numecho > 0 && echodel != nullptr && echogain != nullptr && !tail.empty()),
        numecho_(on_ ? numecho : 0),
        echodel_(echodel),
        echogain_(echogain),
        tail_(tail) {
    if (echodel != nullptr)
      for (int32_t t = 0; t < numecho; ++t) totdel_ = add32(totdel_, echodel[t]);
  }

  bool on() const { return on_; }
  int32_t totdel() const { return totdel_; }

  // Mixes the taps into out[p], the sample just stored; out holds cap samples.
  void apply(int16_t* out, int32_t cap, int32_t p, Form form) const {
    int16_t tapdel = echodel_[0];
    const int32_t tailsize = static_cast<int32_t>(tail_.size());
    for (int32_t t = 0; t < numecho_; ++t) {
      const double g = echogain_[t];
      const double keep = 1.0 - g;
      const double y = out[p];
      double mixed;
      if (p >= tapdel) {
        // A negative delay points after p; outside the buffer it reads 0.
        const int64_t at = int64_t{p} - tapdel;
        const double z = at < cap ? out[at] : 0;
        mixed = form == Form::note ? y * keep + static_cast<double>(trunc32(z * g)) : y * keep + z * g;
        tapdel = static_cast<int16_t>(tapdel + echodel_[t]);
      } else {
        const double z = p < tailsize ? tail_[static_cast<size_t>(p)] : 0;
        mixed = y * keep + z * g;
      }
      out[p] = low16(trunc32(mixed));
    }
  }

  // At an end of phrase: keeps the phrase's last totdel samples (or the whole
  // phrase when it is shorter) in the tail, up to its size.
  void capture(const int16_t* out, int32_t samppos, int32_t tracepos) {
    const int64_t start = samppos > totdel_ ? int64_t{samppos} - totdel_ : 0;
    if (tracepos != 0) tracemsg(false, "totdel %d,samppos %ld", {totdel_, samppos});
    const int64_t count = std::min<int64_t>({static_cast<int64_t>(tail_.size()), totdel_, samppos});
    for (int64_t i = 0; i < count; ++i) tail_[static_cast<size_t>(i)] = out[start + i];
  }

 private:
  bool on_;
  int32_t numecho_;
  const int16_t* echodel_;
  const float* echogain_;
  std::span<int16_t> tail_;
  int32_t totdel_ = 0;
};

}  // namespace voxref
