// A second, plain reading of the three input files, written from the file
// formats and the loader's steps alone, for the loader fuzz targets to
// compare with the engine: the same result and, byte for byte, the same
// engine state and host buffers afterwards.
//
// The choices this library made where the formats leave one are modelled as
// the public headers state them: a stage count of 7 or more is refused, a bad
// bank layout is refused before the bank is read, a caption that is never
// closed fails like a missing end byte, and a parse that stops at the
// position limit or inside an event stores an end-of-score entry.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace fuzzhost {

// The loader's state: the engine variables it writes and the host buffers.
struct LoadState {
  int32_t numtb = 0;
  int32_t tblsize[12] = {};
  int16_t wtb[11][6][80] = {};
  int32_t srlen = 0;
  std::vector<int32_t> tdata;  // empty in blockvox
  std::vector<uint8_t> srdata;
  std::vector<char> captext;
  std::vector<int32_t> cappos;

  bool operator==(const LoadState& o) const {
    return numtb == o.numtb && std::memcmp(tblsize, o.tblsize, sizeof tblsize) == 0 &&
           std::memcmp(wtb, o.wtb, sizeof wtb) == 0 && srlen == o.srlen && tdata == o.tdata &&
           srdata == o.srdata && captext == o.captext && cappos == o.cappos;
  }
};

struct LoadCase {
  bool scorefile;  // the library reads a score
  bool scoreopens, bankopens, sropens;
  const std::vector<uint8_t>* score;
  const std::vector<uint8_t>* bank;
  const std::vector<uint8_t>* background;
  int32_t scoreoffset;
  int32_t banklayout;
  int32_t layoutsets;  // freqdim[banklayout] when banklayout is 0..4
};

struct LoadResults {
  int32_t scoreopen, bankopen, sropen, srshort, toofew, toomany, toolong, badlayout, streamfull;
  int32_t (*invalid)(int32_t e);  // e is -1 at the end of the file
};

// Bytes from a position on; -1 past the end, which marks the file ended.
class Bytes {
 public:
  Bytes(const std::vector<uint8_t>& b, size_t from) : b_(b), pos_(from) {}
  int32_t get() {
    if (pos_ < b_.size()) return b_[pos_++];
    ended_ = true;
    return -1;
  }
  int32_t le16() {
    const int32_t lo = get();
    return lo + 256 * get();
  }
  int32_t be16() {
    const int32_t hi = get();
    return 256 * hi + get();
  }
  bool ended() const { return ended_; }

 private:
  const std::vector<uint8_t>& b_;
  size_t pos_;
  bool ended_ = false;
};

inline int32_t refload(LoadState& m, const LoadCase& c, const LoadResults& codes) {
  if (c.scorefile && !c.scoreopens) return codes.scoreopen;
  if (!c.bankopens) return codes.bankopen;
  if (!c.sropens) return codes.sropen;

  // Background: the bytes after the 44-byte header.
  const int32_t count = static_cast<int32_t>(c.background->size()) - 44;
  if (count < 1000) {
    m.srlen = count;
    return codes.srshort;
  }
  for (int32_t i = 0; i < count; ++i) m.srdata[static_cast<size_t>(i)] = (*c.background)[static_cast<size_t>(44 + i)];
  m.srlen = count / 2;

  // Bank.
  if (c.banklayout < 0 || c.banklayout > 4 || c.layoutsets < 1 || c.layoutsets > 11) return codes.badlayout;
  Bytes bank(*c.bank, 0);
  m.numtb = bank.le16();
  if (m.numtb <= 1) return codes.toofew;
  if (m.numtb >= 7) return codes.toomany;
  for (int32_t s = 0; s < c.layoutsets; ++s) {
    m.tblsize[s] = bank.le16();
    if (m.tblsize[s] >= 81) return codes.toolong;
    for (int32_t j = 0; j < m.numtb; ++j)
      for (int32_t k = 0; k < m.tblsize[s]; ++k) m.wtb[s][j][k] = static_cast<int16_t>(static_cast<uint16_t>(bank.le16()));
  }
  if (!c.scorefile) return 0;

  // Score.
  Bytes f(*c.score, c.scoreoffset < 0 ? 0 : static_cast<size_t>(c.scoreoffset));
  std::vector<int32_t>& td = m.tdata;
  int32_t n = 0;
  size_t t = 0, k = 0;
  while (n < 2960 && !f.ended()) {
    const int32_t e = f.get();
    if (e == 139) break;
    if (e == 149) {
      td[static_cast<size_t>(n++)] = 149;
    } else if (e == 148) {
      int32_t b;
      do {
        b = f.get();
        if (b == -1) return codes.invalid(-1);
        m.captext[t++] = static_cast<char>((b - 124) & 0xFF);
      } while (b != 250);
      m.cappos[k++] = n;
    } else {
      td[static_cast<size_t>(n++)] = e;
      const int32_t segs = e - 150;
      if (segs < 0 || segs > 20) return codes.invalid(e);
      if (segs == 0) {
        td[static_cast<size_t>(n++)] = f.get();
      } else {
        td[static_cast<size_t>(n++)] = f.be16();
        for (int32_t i = 0; i < segs - 1; ++i) {
          if (n > 2960) return codes.streamfull;
          td[static_cast<size_t>(n)] = f.be16();
          td[static_cast<size_t>(n + 1)] = f.get();
          td[static_cast<size_t>(n + 2)] = f.get();
          n += 3;
        }
        td[static_cast<size_t>(n)] = f.be16();
        td[static_cast<size_t>(n + 1)] = f.get();
        n += 2;
      }
    }
  }
  td[static_cast<size_t>(n)] = 139;
  return n;
}

}  // namespace fuzzhost
