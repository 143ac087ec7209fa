// Audio files of the vox tool: the canonical 16-bit mono WAV with its 44-byte
// header (what the loaders read and what `vox render` writes), and the
// import of any audio file that libsndfile reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fileio.h"

namespace voxtool {

// 44-byte header and little-endian samples.
Bytes canonicalwav(const std::vector<int16_t>& samples, int rate);

struct ImportInfo {
  int64_t inframes = 0;
  int inrate = 0;
  int channels = 0;
  int outrate = 0;
};

// Reads an audio file of any format, rate and channel count that libsndfile
// knows, mixes its channels down to one, resamples it to `rate` when `rate`
// is nonzero and differs, and converts it to 16 bits (rounded, clipped).
std::vector<int16_t> importaudio(const std::string& path, int rate, ImportInfo* info);

}  // namespace voxtool
