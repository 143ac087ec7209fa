// The score file reader and the score event stream tdata, compiled into the
// libraries that play score files (scorevox, dryvox).
#include <cstdint>

#include "engine.h"
#include "platform.h"
#include "readers.h"

extern "C" {
int32_t tdata[3000];
}

namespace vox {

ScoreOutcome rdscore(ByteFile& f, int32_t scoreoffset, char* captext, int32_t* cappos, int32_t tracepos) {
  constexpr int32_t kLimit = 2960;  // a new event begins only below this position
  f.seek(scoreoffset);
  int32_t n = 0;
  int32_t t = 0;
  int32_t k = 0;
  while (n < kLimit && !f.ended()) {
    const int32_t e = f.get();
    if (e == kEndOfScore) break;
    if (e == kEndOfPhrase) {
      tdata[n++] = e;
      continue;
    }
    if (e == kCaption) {
      for (;;) {
        const int b = f.get();
        if (b < 0) return {ScoreOutcome::invalid, -1};  // never closed: as a score without its end byte
        if (captext != nullptr) captext[t] = static_cast<char>(static_cast<unsigned char>(b - 124));
        ++t;
        if (b == 250) break;
      }
      if (cappos != nullptr) cappos[k] = n;
      ++k;
      continue;
    }
    tdata[n++] = e;
    const int32_t segs = e - kRest;
    if (segs < 0 || segs > kMaxSegments) return {ScoreOutcome::invalid, e};
    if (segs == 0) {
      tdata[n++] = f.get();
      continue;
    }
    tdata[n++] = get16be(f);
    for (int32_t i = 0; i < segs - 1; ++i) {
      if (n > kLimit) return {ScoreOutcome::toolong, 0};
      tdata[n] = get16be(f);
      tdata[n + 1] = f.get();
      tdata[n + 2] = f.get();
      n += 3;
    }
    tdata[n] = get16be(f);
    tdata[n + 1] = f.get();
    n += 2;
  }
  // Also where parsing stopped at the position limit or inside an event at the
  // end of the file, so that a renderer stops here rather than play older
  // entries.
  tdata[n] = kEndOfScore;
  f.close();
  if (tracepos != 0) {
    auto entry = [](int64_t i) -> int64_t { return i >= 0 && i < kStreamSize ? tdata[i] : 0; };
    const int64_t p = tracepos;
    tracemsg(true, "Tdat %d, %d, %d, %d %d ", {entry(p), entry(p + 1), entry(p + 2), entry(p + 3), entry(p + 4)});
  }
  return {ScoreOutcome::parsed, n};
}

}  // namespace vox
