// The readable text form of wavetable banks.
//
//   stages 6                 stage tables per set (2 to 6)
//   sets 11                  sets in the bank: 11 (layouts 0, 1, 3, 4) or 5
//                            (layout 2); 11 when left out
//   set 0 size 64            set 0, tables of 64 samples (1 to 80)
//     harmonics 1 0.5 0.25   a stage from a harmonic recipe: the amplitudes
//                            of harmonics 1, 2, 3..., scaled to a peak of
//                            16000 (or `peak N`)
//     samples 0 900 ...      a stage as its samples, exactly `size` of them
//
// Every set lists its stages in order, one line each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fileio.h"

namespace voxtool {

struct Bank {
  int stages = 0;
  // sets[s][stage] holds the samples of that stage table.
  std::vector<std::vector<std::vector<int16_t>>> sets;
};

Bank parsebank(const std::string& text, const std::string& name);
Bytes encodebank(const Bank& b);
// Reads a bank file of `nsets` sets; throws Error naming the file and what is
// wrong (a stage count or table size the loaders refuse, a file too short).
Bank decodebank(const Bytes& file, int nsets, const std::string& name);
std::string showbank(const Bank& b);

// The samples of one period of a harmonic recipe, scaled to `peak`.
std::vector<int16_t> harmonics(const std::vector<double>& amps, int size, double peak);

// Sets per bank layout, as the loaders read them.
inline int layoutsets(int layout) { return layout == 2 ? 5 : 11; }

}  // namespace voxtool
