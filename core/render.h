// The block renderer that the three libraries share: call set-up, the event
// loop over the score stream, rests, and the sample writer (dry() and
// commit(), which write runs of samples and apply the echo to them). A
// library's traits type V says what differs: where the stream comes from,
// whether the buffer is cleared, the pitch unit, the echo tail, and its trace
// texts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "arith.h"
#include "echo.h"
#include "engine.h"
#include "notesynth.h"

namespace vox {

enum class Clear { never, with_echo, always };

// Everything a renderer call is given; the arguments a library lacks keep
// their defaults.
struct RenderArgs {
  int32_t restart = 0;
  int32_t startpos = 0;
  int32_t srreset = 0;
  const int16_t* blkdata = nullptr;
  int16_t* sampdata = nullptr;
  int32_t bufbytes = 0;
  const int16_t* srdata = nullptr;
  int32_t samprate = 0;
  int32_t envtype = 0;
  int32_t srweight = 0;
  int32_t transnum = 0;
  int32_t transden = 0;
  int32_t numecho = 0;
  const int16_t* echodel = nullptr;
  const float* echogain = nullptr;
  int32_t tracepos = 0;
};

inline constexpr int32_t kBadParams = -2;
inline constexpr int32_t kEndResult = -1;

// The score stream of scorevox and dryvox: tdata, read only inside its
// 3000 entries.
struct TdataStream {
  const int32_t* words;
  bool has(int64_t pos, int64_t count) const { return pos >= 0 && pos + count <= kStreamSize; }
  int32_t operator[](int32_t pos) const { return words[pos]; }
};

// The host's block of 16-bit words (blockvox), widened with their sign. Its
// length is unknown: it must hold a 149 or a 139.
struct BlockStream {
  const int16_t* words;
  bool has(int64_t, int64_t) const { return true; }
  int32_t operator[](int32_t pos) const { return words[pos]; }
};

// Trace hooks that show nothing; a library's traits hide those it shows.
struct NoTrace {
  static void on_setup(const RenderArgs&, int32_t /*totdel*/) {}
  static void on_cleared(int32_t /*tracepos*/) {}
  static void on_event(int32_t /*tracepos*/, int32_t /*code*/, int32_t /*datapos*/) {}
  static void on_rest_sample(int32_t /*tracepos*/, int32_t /*numecho*/, bool /*echo*/, int32_t /*samppos*/,
                             const int16_t* /*sampdata*/) {}
  template <class F>
  static void on_note_read(int32_t /*tracepos*/, int32_t /*datapos*/, F /*freq0*/, int32_t /*totdur*/) {}
  static void on_note_totsamp(int32_t /*tracepos*/, int32_t /*datapos*/, int32_t /*totsamp*/) {}
  static void on_note_sample(int32_t /*tracepos*/, Part, int32_t /*samppos*/, int32_t /*val*/, int32_t /*srcnt*/) {}
};

// The looping background recording and the position of its next sample. A
// recording of no length, or none at all, is silence; the position wraps at
// srlen all the same.
struct Background {
  const int16_t* data;
  int32_t len;
  int32_t pos;
  int32_t next() {
    const int32_t v = data != nullptr ? data[pos] : 0;
    if (++pos >= len) pos = 0;
    return v;
  }
  // next() where the caller knows that data is not null.
  int32_t next_present() {
    const int32_t v = data[pos];
    if (++pos >= len) pos = 0;
    return v;
  }
};

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
        echo_(a.numecho, a.echodel, a.echogain, V::tail()),
        bg_{srlen > 0 ? a.srdata : nullptr, srlen, 0},
        restdiv_(divisor) {
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
    // The background position lives in bg_ during the call.
    bg_.pos = srcnt;
    const int32_t res = events();
    srcnt = bg_.pos;
    return res;
  }

  // What the note synthesiser needs of the call.
  int32_t next() { return stream_[datapos++]; }

  // Samples are produced in runs: the producer writes the values of up to
  // room() samples at dry() (their low 16 bits), reading the background
  // through a copy of bg(), then commit() applies the echo to them in order,
  // shows the per-sample trace texts and advances the positions. Each
  // sample's echo reads only earlier, final samples and the tail, so a run
  // gives the samples that one sample at a time gives. While diagnostics are
  // on, runs are one sample long so that the texts come in their order.
  int32_t room() const { return trace != 0 ? std::min(sampcap_ - samppos_, 1) : sampcap_ - samppos_; }
  int16_t* dry() const { return sampdata_ + samppos_; }
  const Background& bg() const { return bg_; }

  // True when the buffer is full. bgnext is the background position after
  // the run.
  bool commit(int32_t k, Form form, Part part, int32_t bgnext) {
    if (echo_.on()) echo_.apply(sampdata_, samppos_, samppos_ + k, form);
    if (trace != 0 && form == Form::note) V::on_note_sample(trace, part, samppos_, sampdata_[samppos_], bg_.pos);
    bg_.pos = bgnext;
    samppos_ += k;
    return samppos_ >= sampcap_;
  }

  const int32_t samprate;
  const int32_t envtype;
  const int32_t srweight;
  const int32_t divisor;
  const int32_t trace;
  int32_t transnum = 1;
  int32_t transden = 1;

 private:
  int32_t events() {
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
      const int32_t res = wrtnote<V>(static_cast<int32_t>(n), *this);
      if (res == kNoteFull) return samppos_;
      if (res != kNoteDone) return res;
    }
  }

  // A rest: the background alone; true when the buffer became full. A run
  // that finds no room left (a buffer of less than one sample) stores
  // nothing.
  bool rest() {
    const int32_t d = stream_[datapos++];
    int32_t count = mul32(samprate, d) / 100;
    while (count > 0) {
      if (trace != 0) V::on_rest_sample(trace, args_.numecho, echo_.on(), samppos_, sampdata_);
      const int32_t k = std::min(count, room());
      if (k <= 0) return true;
      int16_t* out = dry();
      Background b = bg_;
      for (int32_t j = 0; j < k; ++j) out[j] = low16(wrap32(restdiv_(mul32(b.next(), srweight))));
      if (commit(k, Form::rest, Part::steady, b.pos)) return true;
      count -= k;
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
  Background bg_;
  const FixedDiv restdiv_;  // srweight + 10, the divisor of every rest sample
};

// One renderer call. Parameters that cannot be rendered change nothing.
template <class V>
int32_t render(const RenderArgs& a) {
  if (a.samprate < 1 || a.envtype < 0 || a.envtype > 4 || a.srweight == -10 || a.sampdata == nullptr) return kBadParams;
  if (V::block && a.blkdata == nullptr) return kBadParams;
  Renderer<V> r(a);
  return r.run();
}

}  // namespace vox
