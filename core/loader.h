// The loader that the three libraries share: clears the echo tail, opens the
// files, reads the background recording, the bank and (scorevox, dryvox) the
// score. A library's traits give its result codes and what it has.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

#include "bytefile.h"
#include "readers.h"

namespace vox {

// Result codes of a loader, per library.
struct LoadCodes {
  int32_t scoreopen;
  int32_t bankopen;
  int32_t sropen;
  int32_t srshort;
  int32_t toofew;
  int32_t toomany;
  int32_t toolong;
  int32_t badlayout;
  int32_t streamfull;
};

struct LoadArgs {
  const char* scorepath = nullptr;
  const char* bankpath = nullptr;
  const char* srpath = nullptr;
  int32_t scoreoffset = 0;
  char* captext = nullptr;
  int32_t* cappos = nullptr;
  void* srdata = nullptr;
  int32_t banklayout = 0;
  int32_t tracepos = 0;
};

template <class V>
int32_t load(const LoadArgs& a) {
  const LoadCodes& c = V::codes;
  auto tail = V::tail();
  std::fill(tail.begin(), tail.end(), int16_t{0});

  // Opened in the order score, bank, background; each is closed when it goes
  // out of scope, whichever way the loader returns.
  std::optional<ByteFile> score;
  if constexpr (V::scorefile) {
    score.emplace(a.scorepath);
    if (!score->isopen()) return c.scoreopen;
  }
  ByteFile bank(a.bankpath);
  if (!bank.isopen()) return c.bankopen;
  ByteFile sr(a.srpath);
  if (!sr.isopen()) return c.sropen;

  if (!rdsrfile(sr, static_cast<unsigned char*>(a.srdata), a.tracepos, V::lib)) return c.srshort;
  switch (rdbank(bank, a.banklayout, a.tracepos != 0, V::lib)) {
    case BankOutcome::toofew: return c.toofew;
    case BankOutcome::toomany: return c.toomany;
    case BankOutcome::toolong: return c.toolong;
    case BankOutcome::badlayout: return c.badlayout;
    case BankOutcome::loaded: break;
  }
  if constexpr (V::scorefile) {
    const ScoreOutcome r = rdscore(*score, a.scoreoffset, a.captext, a.cappos, a.tracepos);
    switch (r.kind) {
      case ScoreOutcome::parsed: return r.value;
      case ScoreOutcome::invalid: return V::invalid_event(r.value);
      case ScoreOutcome::toolong: return c.streamfull;
    }
  }
  return 0;
}

}  // namespace vox
