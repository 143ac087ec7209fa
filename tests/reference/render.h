// A frozen copy of the straightforward per-sample renderer, kept as the
// differential oracle and the benchmark baseline for the optimised engine.
// Engine fixes are ported here too; optimisations never are.
// The block renderer that the three libraries share: call set-up, the event
// loop over the score stream, rests, and the sample writer wrtsamp with its
// echo. A library's traits type V says what differs: where the stream comes
// from, whether the buffer is cleared, the pitch unit, the echo tail, and its
// trace texts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "../../core/arith.h"
#include "../../core/engine.h"
#include "../../core/render.h"
#include "echo.h"
#include "notesynth.h"

namespace voxref {

using vox::BlockStream;
using vox::Clear;
using vox::div32;
using vox::kBadParams;
using vox::kCaption;
using vox::kEndOfPhrase;
using vox::kEndOfScore;
using vox::kEndResult;
using vox::kMaxSegments;
using vox::kRest;
using vox::low16;
using vox::NoTrace;
using vox::RenderArgs;
using vox::srcnt;
using vox::TdataStream;

template <class V>
class Renderer {
 public:
  explicit Renderer(const RenderArgs& a)
      : samprate(a.samprate),
        envtype(a.envtype),
        srweight(a.srweight),
        divisor(add32(a.srweight, 10)),
        trace(a.tracepos),
        args_(a),
        stream_{V::stream(a)},
        sampdata_(a.sampdata),
        sampcap_(a.bufbytes / 2),
        srdata_(a.srdata),
        echo_(a.numecho, a.echodel, a.echogain, V::tail()) {
    const auto num = static_cast<int16_t>(a.transnum);
    const auto den = static_cast<int16_t>(a.transden);
    transnum = den == 0 ? 1 : num;
    transden = den == 0 ? 1 : den;
  }

  int32_t run() {
    V::on_setup(args_, echo_.totdel());
    if (V::clear == Clear::always || (V::clear == Clear::with_echo && echo_.on()))
      std::fill(sampdata_, sampdata_ + std::max(sampcap_, 0), int16_t{0});
    V::on_cleared(trace);
    if (V::block)
      datapos = 0;
    else if (static_cast<int16_t>(args_.restart) != 0)
      datapos = args_.startpos;
    if (static_cast<int16_t>(args_.srreset) != 0) srcnt = 0;
    if (srcnt < 0 || srcnt >= srlen) srcnt = 0;
    setsttbl(envtype, samprate);

    for (;;) {
      if (!stream_.has(datapos, 1)) return kEndResult;
      const int32_t code = stream_[datapos];
      V::on_event(trace, code, datapos);
      if (V::block && code == kCaption) {
        ++datapos;
        continue;
      }
      if (code == kEndOfPhrase) {
        if (echo_.on()) echo_.capture(sampdata_, samppos_, trace);
        ++datapos;
        return samppos_;
      }
      if (code == kEndOfScore) return kEndResult;
      const int64_t n = int64_t{code} - kRest;
      // An event whose operands would run past the stream ends it.
      if (n >= 0 && n <= kMaxSegments && !stream_.has(int64_t{datapos} + 1, n == 0 ? 1 : 3 * n)) return kEndResult;
      ++datapos;
      if (V::early_end && trace == 5) return V::early_end_code;
      if (n < 0 || n > kMaxSegments) {
        ++datapos;  // an unrecognised code takes the word after it along
        continue;
      }
      if (n == 0) {
        if (rest()) return samppos_;
        continue;
      }
      const int32_t res = voxref::wrtnote<V>(static_cast<int32_t>(n), *this);
      if (res == kNoteFull) return samppos_;
      if (res != kNoteDone) return res;
    }
  }

  // What the note synthesiser needs of the call.
  int32_t next() { return stream_[datapos++]; }
  int32_t background() const { return srlen > 0 && srdata_ != nullptr ? srdata_[srcnt] : 0; }

  // Stores one sample, applies the echo, advances the background and the
  // write position; true when the buffer is full. With no room at all
  // (bufbytes below 2) nothing is stored.
  bool wrtsamp(int32_t val, Form form, Part part) {
    if (samppos_ >= sampcap_) return true;
    sampdata_[samppos_] = low16(val);
    if (echo_.on()) echo_.apply(sampdata_, sampcap_, samppos_, form);
    if (form == Form::note) V::on_note_sample(trace, part, samppos_, sampdata_[samppos_], srcnt);
    if (++srcnt >= srlen) srcnt = 0;
    return ++samppos_ >= sampcap_;
  }

  const int32_t samprate;
  const int32_t envtype;
  const int32_t srweight;
  const int32_t divisor;
  const int32_t trace;
  int32_t transnum = 1;
  int32_t transden = 1;

 private:
  // A rest: the background alone; true when the buffer became full.
  bool rest() {
    const int32_t d = stream_[datapos++];
    const int32_t count = mul32(samprate, d) / 100;
    for (int32_t i = 0; i < count; ++i) {
      V::on_rest_sample(trace, args_.numecho, echo_.on(), samppos_, sampdata_);
      const int32_t val = div32(mul32(background(), srweight), divisor);
      if (wrtsamp(val, Form::rest, Part::steady)) return true;
    }
    return false;
  }

  const RenderArgs& args_;
  const typename V::Stream stream_;
  int16_t* const sampdata_;
  const int32_t sampcap_;
  const int16_t* const srdata_;
  int32_t samppos_ = 0;
  Echo echo_;
};

// One renderer call. Parameters that cannot be rendered change nothing.
template <class V>
int32_t render(const RenderArgs& a) {
  if (a.samprate < 1 || a.envtype < 0 || a.envtype > 4 || a.srweight == -10 || a.sampdata == nullptr) return kBadParams;
  if (V::block && a.blkdata == nullptr) return kBadParams;
  Renderer<V> r(a);
  return r.run();
}

}  // namespace voxref
