// Shared pieces of the blockvox tests: a message hook that records every
// text with its caption, a small render call with defaults, and the helpers
// that put the background position and the wavetables into a known state.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "blockvox.h"

namespace bvtest {

struct Shown {
  std::string text;
  std::string caption;
  bool operator==(const Shown&) const = default;
};

inline std::vector<Shown>& shown() {
  static std::vector<Shown> list;
  return list;
}

inline void VOXCALL record(const char* text, const char* caption) { shown().push_back({text, caption}); }

inline std::vector<std::string> texts() {
  std::vector<std::string> out;
  for (const Shown& s : shown()) out.push_back(s.text);
  return out;
}

// Everything of a renderer call but the block and the output buffer.
struct Opts {
  int32_t samprate = 100;
  int32_t envtype = 0;
  int32_t srweight = 0;
  std::vector<int16_t> echodel;
  std::vector<float> echogain;
  int32_t tracepos = 0;
  const int16_t* srdata = nullptr;
  int32_t bufbytes = -1;  // -1: the whole output vector
};

inline int32_t render(const std::vector<int16_t>& block, std::vector<int16_t>& out, const Opts& o) {
  const int32_t bytes = o.bufbytes >= 0 ? o.bufbytes : static_cast<int32_t>(out.size() * 2);
  return dwrblk16bin(block.data(), out.data(), bytes, o.srdata, o.samprate, o.envtype, o.srweight,
                     static_cast<int32_t>(o.echodel.size()), o.echodel.empty() ? nullptr : o.echodel.data(),
                     o.tracepos, o.echogain.empty() ? nullptr : o.echogain.data());
}

// The background position is not exported. A call on an empty background
// (srlen 0) brings it back to 0: a position at or beyond srlen wraps to 0
// when a call starts, and with no background it stays there.
inline void resetsrcnt() {
  const int32_t keep = srlen;
  srlen = 0;
  std::vector<int16_t> out(1);
  const std::vector<int16_t> block{149};
  dwrblk16bin(block.data(), out.data(), 2, nullptr, 100, 0, 0, 0, nullptr, 0, nullptr);
  srlen = keep;
}

// Stores one table into all six stages of a set.
inline void setall(int set, const std::vector<int16_t>& table) {
  tblsize[set] = static_cast<int32_t>(table.size());
  for (int s = 0; s < 6; ++s)
    for (size_t i = 0; i < table.size(); ++i) wtb[set][s][i] = table[i];
}

// Every test starts from six stages, no echo tail, no messages and the
// background at its first sample; the hook records what is shown.
class Engine : public ::testing::Test {
 protected:
  void SetUp() override {
    setmsghook(record);
    numtb = 6;
    for (auto& v : tailbuf) v = 0;
    srlen = 0;
    resetsrcnt();
    shown().clear();
  }
  void TearDown() override { setmsghook(nullptr); }
};

}  // namespace bvtest
