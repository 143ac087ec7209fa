#include "readers.h"

#include <algorithm>

#include "arith.h"
#include "engine.h"
#include "platform.h"

namespace vox {

bool rdsrfile(ByteFile& f, unsigned char* srdata, int32_t tracepos, Lib lib) {
  const bool block = lib == Lib::blockvox;
  const int32_t count = sub32(f.isopen() ? f.length() : -1, 44);
  srlen = count;
  if (block && tracepos != 0) tracemsg(false, "srlen %ld", {count});
  if (count < 1000) {
    if (block) showmsg("SrFile Err,", " ");
    f.close();
    return false;
  }
  if (!block && tracepos != 0) tracemsg(true, "srlen %ld", {count});
  f.seek(44);
  const int32_t got = srdata != nullptr ? f.read(srdata, count) : 0;
  if (tracepos != 0) {
    // The trace shows the bytes at tracepos + 1 .. tracepos + 4.
    const int64_t first = std::max<int64_t>(int64_t{tracepos} + 1, 0);
    const int64_t last = std::min<int64_t>(int64_t{tracepos} + 4, int64_t{got} - 1);
    for (int64_t i = first; i <= last; ++i)
      tracemsg(!block, block ? "srpos %ld,SRDAT %u" : "srcnt %ld,SRDAT %u", {i, srdata[i]});
  }
  f.close();
  srlen = count / 2;
  return true;
}

BankOutcome rdbank(ByteFile& f, int32_t banklayout, bool trace, Lib lib) {
  const bool block = lib == Lib::blockvox;
  if (banklayout < 0 || banklayout > 4 || freqdim[banklayout] < 1 || freqdim[banklayout] > kSets) {
    f.close();
    return BankOutcome::badlayout;
  }
  const int32_t sets = freqdim[banklayout];
  numtb = get16le(f);
  if (numtb <= 1 || numtb > kStages) {
    if (block) tracemsg(false, "numtb %d", {numtb});
    f.close();
    return numtb <= 1 ? BankOutcome::toofew : BankOutcome::toomany;
  }
  for (int32_t s = 0; s < sets; ++s) {
    tblsize[s] = get16le(f);
    if (tblsize[s] > kTableMax) {
      f.close();
      return BankOutcome::toolong;
    }
    for (int32_t j = 0; j < numtb; ++j)
      for (int32_t k = 0; k < tblsize[s]; ++k) wtb[s][j][k] = low16(get16le(f));
  }
  if (trace) tracemsg(!block, "m %d, k %d, j%d", {sets, std::max(tblsize[sets - 1], 0), numtb});
  f.close();
  return BankOutcome::loaded;
}

}  // namespace vox
