// Puts the engine variables that every library has back to their start-up
// values, so that each fuzz input runs from the same state and a finding
// replays alone. Include after the library's public header.
#pragma once

#include <algorithm>
#include <cstring>

#include "fuzzhost.h"

namespace fuzzhost {

inline void resetcommon() {
  std::memset(wtb, 0, sizeof wtb);
  numtb = 0;
  std::fill(std::begin(tblsize), std::end(tblsize), 0);
  const int32_t layouts[5] = {11, 11, 5, 11, 11};
  std::copy(std::begin(layouts), std::end(layouts), freqdim);
  srlen = 0;
  datapos = 0;
  vox::srcnt = 0;
  std::fill(std::begin(freq), std::end(freq), 0);
  for (int32_t* a : {dur, trans, sampstdur, sampsttr}) std::fill(a, a + 20, 0);
  for (int32_t* a : {sampsttbl, sampstdif}) std::fill(a, a + 8, 0);
  std::memset(msg, 0, sizeof msg);
}

}  // namespace fuzzhost
