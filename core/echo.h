// The multi-tap echo and its tail. Each output sample is mixed, tap after
// tap, with an earlier output sample of the same call; for the first samples
// of a phrase the tail of the previous phrase stands in, kept in tailbuf from
// one call to the next. scorevox and blockvox share it with their own tail
// sizes.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <type_traits>

#include "arith.h"
#include "notesynth.h"
#include "platform.h"

namespace vox {

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
    // The running delay of each tap is the same for every sample (it only
    // stops growing once a tap falls into the tail), so the taps' delays and
    // their gains are worked out once per call.
    if (on_ && numecho_ <= kFastTaps) {
      smallgains_ = true;
      int16_t tapdel = echodel_[0];
      for (int32_t t = 0; t < numecho_; ++t) {
        del_[t] = tapdel;
        gain_[t] = echogain_[t];
        keep_[t] = 1.0 - gain_[t];
        tapdel = static_cast<int16_t>(tapdel + echodel_[t]);
        smallgains_ = smallgains_ && std::fabs(gain_[t]) <= 16384.0;  // false for NaN
      }
    }
  }

  bool on() const { return on_; }
  int32_t totdel() const { return totdel_; }

  // Mixes the taps into out[p0] to out[p1 - 1] in order; each holds the
  // value just stored for it, and every sample after p1 - 1 is still as the
  // call cleared it. A negative delay points after p, where the output still
  // holds that 0 (or lies outside the buffer, which reads 0 as well).
  void apply(int16_t* out, int32_t p0, int32_t p1, Form form) const {
#if VOX_HAVE_ROUND
    if (smallgains_ && round_allowed && has_round()) {
      apply_round(out, p0, p1, form);
      return;
    }
#endif
    if (numecho_ <= kFastTaps) {
      for (int32_t p = p0; p < p1; ++p) out[p] = mix(out, p, form, del_, gain_, keep_);
    } else {
      for (int32_t p = p0; p < p1; ++p) out[p] = mix(out, p, form, Computed{echodel_}, Gains{echogain_, false},
                                                      Gains{echogain_, true});
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
  static constexpr int32_t kFastTaps = 16;

#if VOX_HAVE_ROUND
  // The conversions between double and integer dominate the echo: two per
  // truncation. With SSE4.1 a truncation stays in double (roundsd), which
  // gives the same value as long as nothing needs the 32-bit wrap: with
  // |g| <= 16384 every product and sum stays below 2^30. A result outside
  // the 16-bit range still takes its low 16 bits through an integer.
  __attribute__((target("sse4.1"))) void apply_round(int16_t* out, int32_t p0, int32_t p1, Form form) const {
    const auto wrap = [](double t) {
      return t > 32767.0 || t < -32768.0 ? static_cast<double>(low16(static_cast<int32_t>(t))) : t;
    };
    const bool note = form == Form::note;
    for (int32_t p = p0; p < p1; ++p) {
      double y = out[p];
      int32_t t = 0;
      for (; t < numecho_; ++t) {
        const int32_t tapdel = del_[t];
        if (p < tapdel) break;
        const double g = gain_[t];
        const double z = tapdel > 0 ? out[p - tapdel] : tapdel == 0 ? y : 0.0;
        y = wrap(std::trunc(note ? y * keep_[t] + std::trunc(z * g) : y * keep_[t] + z * g));
      }
      if (t < numecho_) {
        const double z = p < static_cast<int32_t>(tail_.size()) ? tail_[static_cast<size_t>(p)] : 0;
        for (; t < numecho_; ++t) y = wrap(std::trunc(y * keep_[t] + z * gain_[t]));
      }
      out[p] = static_cast<int16_t>(y);
    }
  }
#endif

  // The taps' delays and gains of a call with more taps than the tables
  // hold, worked out tap by tap.
  struct Computed {
    const int16_t* echodel;
  };
  struct Gains {
    const float* g;
    bool keep;
    double operator[](int32_t t) const { return keep ? 1.0 - static_cast<double>(g[t]) : static_cast<double>(g[t]); }
  };

  // One sample through every tap: the value kept in y between taps is the
  // 16-bit value that the tap stored.
  template <class D, class G, class K>
  int16_t mix(const int16_t* out, int32_t p, Form form, const D& del, const G& gain, const K& keep) const {
    double y = out[p];
    int32_t t = 0;
    int16_t tapdel = 0;
    if constexpr (std::is_same_v<D, Computed>) tapdel = del.echodel[0];
    for (; t < numecho_; ++t) {
      if constexpr (!std::is_same_v<D, Computed>) tapdel = static_cast<int16_t>(del[t]);
      if (p < tapdel) break;  // this tap and all later ones read the tail
      const double g = gain[t];
      const double z = tapdel > 0 ? out[p - tapdel] : tapdel == 0 ? y : 0.0;
      const double mixed = form == Form::note ? y * keep[t] + static_cast<double>(trunc32(z * g)) : y * keep[t] + z * g;
      y = low16(trunc32(mixed));
      if constexpr (std::is_same_v<D, Computed>) tapdel = static_cast<int16_t>(tapdel + del.echodel[t]);
    }
    if (t < numecho_) {
      const double z = p < static_cast<int32_t>(tail_.size()) ? tail_[static_cast<size_t>(p)] : 0;
      for (; t < numecho_; ++t) y = low16(trunc32(y * keep[t] + z * gain[t]));
    }
    return static_cast<int16_t>(y);
  }

  bool on_;
  int32_t numecho_;
  const int16_t* echodel_;
  const float* echogain_;
  std::span<int16_t> tail_;
  int32_t totdel_ = 0;
  int32_t del_[kFastTaps] = {};
  double gain_[kFastTaps] = {};
  double keep_[kFastTaps] = {};
  bool smallgains_ = false;  // the taps fit the tables and every |g| <= 16384
};

}  // namespace vox
