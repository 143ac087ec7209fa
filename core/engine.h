// The engine state that all three libraries share: the wavetable store, the
// bank layout, the background position and the note tables. Each library
// compiles its own copy; the variant files add what differs (freq, tdata,
// tailbuf).
#pragma once

#define VOX_BUILDING 1
#include "voxdefs.h"

#include <cstdint>

extern "C" {
VOXAPI extern int16_t wtb[11][6][80];
VOXAPI extern int32_t numtb;
VOXAPI extern int32_t tblsize[12];
VOXAPI extern int32_t freqdim[5];
VOXAPI extern int32_t srlen;
VOXAPI extern int32_t datapos;
VOXAPI extern int32_t dur[20];
VOXAPI extern int32_t trans[20];
VOXAPI extern int32_t sampstdur[20];
VOXAPI extern int32_t sampsttr[20];
VOXAPI extern int32_t sampsttbl[8];
VOXAPI extern int32_t sampstdif[8];
VOXAPI extern char msg[32];
// The score event stream, in the libraries that read score files.
VOXAPI extern int32_t tdata[3000];
}

namespace vox {

inline constexpr int32_t kSets = 11;
inline constexpr int32_t kStages = 6;
inline constexpr int32_t kTableMax = 80;
inline constexpr int32_t kStreamSize = 3000;

// Index of the next background sample; the only engine variable that is not
// exported.
extern int32_t srcnt;

// Event codes of the score stream.
inline constexpr int32_t kEndOfScore = 139;
inline constexpr int32_t kCaption = 148;
inline constexpr int32_t kEndOfPhrase = 149;
inline constexpr int32_t kRest = 150;
inline constexpr int32_t kMaxSegments = 20;

}  // namespace vox
