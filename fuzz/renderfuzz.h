// The renderer fuzz target shared by the three libraries: a fuzzed engine
// state (bank, stage count, table sizes, background, score stream or block,
// stream position) and several renderer calls in a row with fuzzed arguments,
// every host buffer exact-sized and guarded. Each call is checked against
// the plain renderer of refrender.h and, on request, replayed. Include it after the library's
// public header; Lib supplies what differs (see scorevox_render.cpp).
//
// Input layout (little-endian; missing bytes read 0):
//   state   i8 numtb, i16 srlen, u8 flags (bit 0 null srdata, bit 1 stream
//           words zero-extended, bit 2 block ends with 139 instead of 149),
//           12 x i8 tblsize, i16 word that fills tdata after the given words,
//           u8 number of calls (1 + n % 4)
//   calls   per call: i8 restart, i16 startpos, i8 srreset, i16 bufbytes
//           (times 4 with flag bit 5, so up to 65535 samples), i32 samprate,
//           i8 envtype, i16 srweight, i16 transnum, i16 transden, i8 numecho (-8..8 as n % 9), u8 flags
//           (bit 0 null echodel, bit 1 null echogain, bit 2 null sampdata,
//           bit 3 the host sets datapos to startpos, bit 4 null blkdata,
//           bit 5 bufbytes times 4, bit 6 replay the call),
//           i8 tracepos, u8 host rounding mode; then for each of the numecho
//           taps i16 delay and a 16-bit gain (the high half of a float)
//   stream  u16 word count, then the words (i16)
//   rest    pattern cycled into wtb and the background recording
#pragma once

#include <algorithm>
#include <cfenv>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <vector>

#include "fuzzhost.h"
#include "refrender.h"

namespace fuzzhost {

struct CallArgs {
  int32_t restart, startpos, srreset, bufbytes, samprate, envtype, srweight, transnum, transden, numecho;
  uint8_t flags;
  int32_t tracepos;
  uint8_t round;
  std::vector<int16_t> delays;
  std::vector<float> gains;
};

inline CallArgs readcall(Input& in) {
  CallArgs c{};
  c.restart = in.i8();
  c.startpos = in.i16();
  c.srreset = in.i8();
  c.bufbytes = in.i16();
  c.samprate = in.i32();
  c.envtype = in.i8();
  c.srweight = in.i16();
  c.transnum = in.i16();
  c.transden = in.i16();
  c.numecho = in.i8() % 9;
  c.flags = in.u8();
  if ((c.flags & 32) != 0) c.bufbytes *= 4;
  c.tracepos = in.i8();
  c.round = in.u8();
  for (int32_t t = 0; t < c.numecho; ++t) {
    c.delays.push_back(in.i16());
    c.gains.push_back(in.f16());
  }
  return c;
}

// Frames a block as the renderer reads it and makes it end the way the
// interface asks: an event cut off by the end of the words is completed with
// zero operands, and the end code follows.
inline std::vector<int16_t> frameblock(std::vector<int16_t> w, int16_t endcode) {
  size_t i = 0;
  while (i < w.size()) {
    const int32_t code = w[i];
    if (code == 149 || code == 139) return w;
    size_t len = 2;
    if (code == 148) len = 1;
    else if (code >= 151 && code <= 170) len = 3 * static_cast<size_t>(code - 150) + 1;
    i += len;
  }
  w.resize(i, 0);
  w.push_back(endcode);
  return w;
}

inline bool isresult(int32_t r, int32_t cap, bool earlyend) {
  if (r >= 0) return r <= cap;
  if (r == -1 || r == -2 || r == -100) return true;
  if (earlyend && r == -30) return true;
  return r <= -110 && r >= -990 && r % 10 == 0;
}

// The engine state that a renderer call reads and writes, for the plain
// renderer.
template <class Lib>
RefState refstate(const std::vector<int16_t>* block) {
  RefState st;
  if (block != nullptr)
    st.stream.assign(block->begin(), block->end());
  else
    st.stream = Lib::stream();
  st.datapos = datapos;
  st.srcnt = vox::srcnt;
  st.tail.assign(Lib::tail().begin(), Lib::tail().end());
  std::copy(std::begin(sampsttbl), std::end(sampsttbl), st.sampsttbl);
  std::copy(std::begin(sampstdif), std::end(sampstdif), st.sampstdif);
  for (int i = 0; i < 20; ++i) {
    st.freq[i] = static_cast<double>(freq[i]);
    st.dur[i] = dur[i];
    st.trans[i] = trans[i];
    st.sampstdur[i] = sampstdur[i];
    st.sampsttr[i] = sampsttr[i];
  }
  return st;
}

template <class Lib>
int renderfuzz(const uint8_t* data, size_t size) {
  Input in(data, size);
  Lib::reset();

  numtb = in.i8();
  srlen = in.i16();
  const uint8_t flags = in.u8();
  for (int s = 0; s < 12; ++s) tblsize[s] = in.i8();
  const int16_t filler = in.i16();
  const int ncalls = 1 + in.u8() % 4;
  std::vector<CallArgs> calls;
  for (int k = 0; k < ncalls; ++k) calls.push_back(readcall(in));
  const size_t nwords = in.u16();
  std::vector<int32_t> words;
  for (size_t i = 0; i < nwords && in.left() >= 2; ++i) {
    const int16_t w = in.i16();
    words.push_back((flags & 2) != 0 ? int32_t{static_cast<uint16_t>(w)} : int32_t{w});
  }
  const std::vector<uint8_t> pattern = in.rest();

  int16_t* bank = &wtb[0][0][0];
  for (size_t i = 0; i < sizeof wtb / 2; ++i)
    bank[i] = static_cast<int16_t>(cycle(pattern, 2 * i) | cycle(pattern, 2 * i + 1) << 8);

  // The background buffer holds srlen samples, as the loader left it.
  const bool nullsr = (flags & 1) != 0;
  Guarded<int16_t> srbuf(srlen > 0 ? static_cast<size_t>(srlen) : 0);
  for (size_t i = 0; i < srbuf.size(); ++i)
    srbuf[i] = static_cast<int16_t>(cycle(pattern, 2 * i + 7) | cycle(pattern, 2 * i + 8) << 8);
  const std::vector<int16_t> srcopy = srbuf.copy();

  // The stream: tdata, or the host's block.
  std::optional<Guarded<int16_t>> block;
  std::vector<int16_t> blockcopy;
  if constexpr (Lib::block) {
    std::vector<int16_t> w(words.begin(), words.end());
    w = frameblock(std::move(w), (flags & 4) != 0 ? 139 : 149);
    block.emplace(w.size());
    std::copy(w.begin(), w.end(), block->data());
    blockcopy = w;
  } else {
    Lib::setstream(words, filler);
  }

  for (const CallArgs& c : calls) {
    Guarded<int16_t> out(samplesof(c.bufbytes));
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<int16_t>(0x5A5A + i);
    const std::vector<int16_t> before = out.copy();
    Guarded<int16_t> del(c.delays.size());
    Guarded<float> gain(c.gains.size());
    std::copy(c.delays.begin(), c.delays.end(), del.data());
    std::copy(c.gains.begin(), c.gains.end(), gain.data());
    if (!Lib::block && (c.flags & 8) != 0) datapos = c.startpos;

    const int32_t posbefore = datapos;
    const int32_t cap = c.bufbytes / 2;
    const bool nullout = (c.flags & 4) != 0;
    const bool echo = Lib::echo && c.numecho > 0 && (c.flags & 3) == 0;
    typename Lib::Call call{};
    call.c = &c;
    call.block = block && (c.flags & 16) == 0 ? block->data() : nullptr;
    call.out = nullout ? nullptr : out.data();
    call.sr = nullsr ? nullptr : srbuf.data();
    call.del = (c.flags & 1) != 0 ? nullptr : del.data();
    call.gain = (c.flags & 2) != 0 ? nullptr : gain.data();

    // What a call may depend on besides its arguments and the loaded data.
    const bool replay = (c.flags & 64) != 0;
    const int32_t srcntbefore = vox::srcnt;
    const std::vector<int16_t> tailbefore(Lib::tail().begin(), Lib::tail().end());
    const std::vector<int32_t> stagesbefore(std::begin(sampsttbl), std::end(sampsttbl));

    // The plain renderer on copies of the engine state.
    RefState ref = refstate<Lib>(block ? &blockcopy : nullptr);
    std::vector<int16_t> refout = before;
    const RefBank refbank{wtb, tblsize, numtb, nullsr ? nullptr : srbuf.data(), srlen};
    const RefCall refcall{c.restart, c.startpos, c.srreset, c.bufbytes, c.samprate, c.envtype, c.srweight,
                          c.transnum, c.transden, c.numecho, c.tracepos, call.del, call.gain};
    int32_t refresult = 0;
    const bool compare = !nullout && (!Lib::block || call.block != nullptr) &&
                         RefRenderer(Lib::ref, refbank, ref, refout, refcall).run(refresult);

    const int round = hostround(c.round);
    std::fesetround(round);
    const int32_t r = Lib::render(call);
    const int roundafter = std::fegetround();
    std::fesetround(FE_TONEAREST);
    FUZZ_CHECK(roundafter == round, roundafter, round);

    out.check("sampdata guard");
    srbuf.check("srdata guard");
    del.check("echodel guard");
    gain.check("echogain guard");
    FUZZ_CHECK(srbuf.same(srcopy));
    if (block) {
      block->check("blkdata guard");
      FUZZ_CHECK(block->same(blockcopy));
    }
    FUZZ_CHECK(isresult(r, std::max(cap, 0), Lib::earlyend && c.tracepos == 5), static_cast<long>(r), cap);
    if (r == -2) {
      // Refused parameters change nothing.
      FUZZ_CHECK(out.same(before));
      FUZZ_CHECK(datapos == posbefore, datapos, posbefore);
    }
    if (r >= 0 && !nullout) {
      // Past the samples of the result the buffer is cleared (blockvox, and
      // scorevox with echo) or holds what the host left there.
      const bool cleared = Lib::block || echo;
      for (size_t i = static_cast<size_t>(r); i < out.size(); ++i)
        FUZZ_CHECK(out[i] == (cleared ? 0 : before[i]), static_cast<long>(i), out[i]);
    }
    FUZZ_CHECK(vox::srcnt >= 0 && (srlen <= 0 || vox::srcnt < srlen || vox::srcnt == 0), vox::srcnt, srlen);

    if (compare) {
      FUZZ_CHECK(r == refresult, static_cast<long>(r), static_cast<long>(refresult));
      for (size_t i = 0; i < out.size(); ++i) FUZZ_CHECK(out[i] == refout[i], static_cast<long>(i), out[i] - refout[i]);
      const RefState now = refstate<Lib>(block ? &blockcopy : nullptr);
      FUZZ_CHECK(now.datapos == ref.datapos && now.srcnt == ref.srcnt, now.datapos, ref.datapos);
      FUZZ_CHECK(now.tail == ref.tail);
      FUZZ_CHECK(std::equal(now.sampsttbl, now.sampsttbl + 8, ref.sampsttbl));
      FUZZ_CHECK(std::equal(now.sampstdif, now.sampstdif + 8, ref.sampstdif));
      FUZZ_CHECK(std::equal(now.freq, now.freq + 20, ref.freq));
      FUZZ_CHECK(std::equal(now.dur, now.dur + 20, ref.dur) && std::equal(now.trans, now.trans + 20, ref.trans));
      FUZZ_CHECK(std::equal(now.sampstdur, now.sampstdur + 20, ref.sampstdur));
      FUZZ_CHECK(std::equal(now.sampsttr, now.sampsttr + 20, ref.sampsttr));
    }

    if (replay) {
      // The same call again from the same stream position, background
      // position, tail and stage breakpoints, with the last note's tables
      // scrambled (no call may rely on them): the same samples, result and
      // positions.
      const std::vector<int16_t> first = out.copy();
      const int32_t pos = datapos, bg = vox::srcnt;
      const std::vector<int16_t> tail(Lib::tail().begin(), Lib::tail().end());
      datapos = posbefore;
      vox::srcnt = srcntbefore;
      std::copy(tailbefore.begin(), tailbefore.end(), Lib::tail().begin());
      std::copy(stagesbefore.begin(), stagesbefore.end(), sampsttbl);
      for (int i = 0; i < 20; ++i) {
        freq[i] = static_cast<std::remove_reference_t<decltype(freq[0])>>(9000 - 77 * i);
        dur[i] = trans[i] = sampstdur[i] = sampsttr[i] = -1000 + 333 * i;
      }
      std::fill(std::begin(sampstdif), std::end(sampstdif), 12345);
      Guarded<int16_t> again(out.size());
      std::copy(before.begin(), before.end(), again.data());
      call.out = nullout ? nullptr : again.data();
      std::fesetround(round);
      const int32_t r2 = Lib::render(call);
      std::fesetround(FE_TONEAREST);
      again.check("sampdata guard");
      FUZZ_CHECK(r2 == r, static_cast<long>(r2), static_cast<long>(r));
      FUZZ_CHECK(again.same(first));
      FUZZ_CHECK(datapos == pos && vox::srcnt == bg, datapos, pos);
      FUZZ_CHECK(std::equal(tail.begin(), tail.end(), Lib::tail().begin()));
    }
  }
  return 0;
}

}  // namespace fuzzhost
