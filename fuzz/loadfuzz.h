// The loader fuzz target shared by the three libraries: the score, bank and
// background files come from the fuzz input (written to memory files), with
// the caption buffers, the background buffer, the offset, the layout and the
// trace switch as a host could hand them in. Include it after the library's
// public header; Lib supplies what differs (see scorevox_load.cpp).
//
// Input layout (little-endian; missing bytes read 0):
//   u8  flags: bits 0-1, 2-3, 4-5 how the score, bank and background paths
//       are given (0 or 3 the file, 1 a missing file, 2 a directory); bit 6
//       the host sets freqdim[banklayout] first; bit 7 render after the load
//   i8  banklayout, i16 tracepos, i8 freqdim value, i16 scoreoffset
//   u16 background file length (header included), u16 score file length,
//   u16 bank file length, u8 sample rate for the render (100 + 50 n),
//   u8 envelope type, i16 datapos that the host has left
//   then the score bytes, the bank bytes, and a pattern cycled into the
//   background file
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzzhost.h"
#include "refload.h"

namespace fuzzhost {

// The scorevox result for an invalid event byte e, or -15100 at the end of
// the file.
inline bool isscorevoxinvalid(int32_t r) {
  if (r == -15100) return true;
  if (r % 100 != 0) return false;
  const int32_t e = r / 100 + 150;
  return e >= 0 && e <= 255 && e != 139 && !(e >= 148 && e <= 170);
}

// numtb, tblsize and wtb, byte for byte.
inline std::vector<uint8_t> bankstate() {
  std::vector<uint8_t> v(sizeof numtb + sizeof tblsize + sizeof wtb);
  std::memcpy(v.data(), &numtb, sizeof numtb);
  std::memcpy(v.data() + sizeof numtb, tblsize, sizeof tblsize);
  std::memcpy(v.data() + sizeof numtb + sizeof tblsize, wtb, sizeof wtb);
  return v;
}

// The loader's state as it stands.
template <class Lib>
LoadState loadstate(const Guarded<uint8_t>& srbuf, const Guarded<char>& captext, const Guarded<int32_t>& cappos) {
  LoadState st;
  st.numtb = numtb;
  std::memcpy(st.tblsize, tblsize, sizeof tblsize);
  std::memcpy(st.wtb, wtb, sizeof wtb);
  st.srlen = srlen;
  st.tdata = Lib::stream();
  st.srdata = srbuf.copy();
  st.captext = captext.copy();
  st.cappos = cappos.copy();
  return st;
}

template <class Lib>
int loadfuzz(const uint8_t* data, size_t size) {
  static MemFile scorefile("score"), bankfile("bank"), srfile("background");
  Input in(data, size);
  Lib::reset();

  const uint8_t flags = in.u8();
  const int32_t banklayout = in.i8();
  const int32_t tracepos = in.i16();
  const int32_t layoutsets = in.i8();
  const int32_t scoreoffset = in.i16();
  const size_t srfilelen = in.u16();
  const size_t scorelen = in.u16();
  const size_t banklen = in.u16();
  const int32_t samprate = 100 + 50 * in.u8();
  const int32_t envtype = in.u8() % 5;
  const int32_t hostpos = in.i16();
  const std::vector<uint8_t> score = in.bytes(scorelen);
  const std::vector<uint8_t> bank = in.bytes(banklen);
  const std::vector<uint8_t> pattern = in.rest();
  std::vector<uint8_t> background(srfilelen);
  for (size_t i = 0; i < srfilelen; ++i) background[i] = cycle(pattern, i);

  scorefile.set(score);
  bankfile.set(bank);
  srfile.set(background);
  const uint8_t scorekind = flags & 3, bankkind = (flags >> 2) & 3, srkind = (flags >> 4) & 3;
  const bool scoreok = scorekind == 0 || scorekind == 3;
  const bool srok = srkind == 0 || srkind == 3;

  // The host's buffers, as large as the interface asks and no larger: the
  // background's data bytes, one caption byte per score byte from the offset
  // on, one caption position per two such bytes.
  const size_t srbytes = srok && srfilelen > 44 ? srfilelen - 44 : 0;
  const size_t start = scoreoffset < 0 ? 0 : std::min(static_cast<size_t>(scoreoffset), score.size());
  const size_t capbytes = scoreok ? score.size() - start : 0;
  Guarded<uint8_t> srbuf(srbytes);
  Guarded<char> captext(capbytes);
  Guarded<int32_t> cappos(capbytes / 2);

  if ((flags & 64) != 0 && banklayout >= 0 && banklayout <= 4) freqdim[banklayout] = layoutsets;
  datapos = hostpos;
  vox::srcnt = hostpos & 0x3FF;
  srlen = 12345;
  Lib::marktail();
  const int32_t srcntbefore = vox::srcnt;
  char msgbefore[32];
  std::memcpy(msgbefore, msg, sizeof msg);
  const int fdbefore = lowestfreefd();
  const std::vector<uint8_t> bankbefore = bankstate();
  const std::vector<int32_t> streambefore = Lib::stream();
  LoadState model = loadstate<Lib>(srbuf, captext, cappos);
  const bool layoutok = banklayout >= 0 && banklayout <= 4;
  const LoadCase lc{Lib::scorefile, scoreok, bankkind == 0 || bankkind == 3, srok, &score, &bank, &background,
                    scoreoffset, banklayout, layoutok ? freqdim[banklayout] : 0};
  const int32_t want = refload(model, lc, Lib::results);

  const int32_t r = Lib::load(pickpath(scorekind, scorefile), pickpath(bankkind, bankfile),
                              pickpath(srkind, srfile), scoreoffset, captext.data(), cappos.data(), srbuf.data(),
                              banklayout, tracepos);

  FUZZ_CHECK(lowestfreefd() == fdbefore, lowestfreefd(), fdbefore);
  srbuf.check("srdata guard");
  captext.check("captext guard");
  cappos.check("cappos guard");
  FUZZ_CHECK(Lib::isresult(r), static_cast<long>(r));
  FUZZ_CHECK(r == want, static_cast<long>(r), static_cast<long>(want));
  FUZZ_CHECK(loadstate<Lib>(srbuf, captext, cappos) == model);
  FUZZ_CHECK(datapos == hostpos, datapos, hostpos);
  FUZZ_CHECK(vox::srcnt == srcntbefore, vox::srcnt, srcntbefore);
  FUZZ_CHECK(Lib::tailcleared());
  if (Lib::writesmsg)
    FUZZ_CHECK(std::memchr(msg, 0, sizeof msg) != nullptr);
  else
    FUZZ_CHECK(std::memcmp(msg, msgbefore, sizeof msg) == 0);
  // The background length: untouched when a file did not open, the byte
  // count when the recording is too short, else the samples.
  if (Lib::openfailure(r)) {
    FUZZ_CHECK(srlen == 12345, srlen);
  } else if (srok) {
    const int32_t count = static_cast<int32_t>(srfilelen) - 44;
    if (count < 1000)
      FUZZ_CHECK(srlen == count && r == Lib::srshort, srlen, r);
    else
      FUZZ_CHECK(srlen == count / 2, srlen, count);
  }
  // A stream length names its end-of-score entry (in scorevox, 2100 to 2900
  // may also be an invalid event byte).
  // What a failure leaves alone: everything that the steps after it would
  // have read (the background first, then the bank, then the score).
  if (Lib::openfailure(r) || r == Lib::srshort) FUZZ_CHECK(bankstate() == bankbefore, static_cast<long>(r));
  if (Lib::openfailure(r) || r == Lib::srshort || Lib::bankfailure(r))
    FUZZ_CHECK(Lib::stream() == streambefore, static_cast<long>(r));
  if (Lib::scorefile && r >= 0 && r <= 2965)
    FUZZ_CHECK(Lib::streamend(r) || (Lib::positiveinvalid && isscorevoxinvalid(r)), static_cast<long>(r));

  // Play what was loaded: a few calls from the start of the stream.
  if ((flags & 128) != 0 && r >= 0 && r <= 2965 && srlen > 0 && srlen <= static_cast<int32_t>(srbytes / 2)) {
    const int16_t* sr = reinterpret_cast<const int16_t*>(srbuf.data());
    for (int call = 0; call < 3; ++call) {
      Guarded<int16_t> out(1024);
      const int32_t rr = Lib::render(call == 0, out.data(), 2048, sr, samprate, envtype);
      out.check("sampdata guard");
      srbuf.check("srdata guard");
      FUZZ_CHECK(rr >= -990 && rr <= 1024, static_cast<long>(rr));
      if (rr < 0) break;
    }
  }
  return 0;
}

}  // namespace fuzzhost
