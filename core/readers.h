// The readers of the three input files, shared by the loaders: the
// wavetable bank (rdbank), the background recording (rdsrfile) and the score
// (rdscore). Each closes its file before it returns, whatever the outcome.
#pragma once

#include <cstdint>

#include "bytefile.h"

namespace vox {

// The library a reader works for: blockvox words its trace texts apart,
// keeps them out of msg and shows two failure boxes of its own.
enum class Lib { scorevox, blockvox, dryvox };

// Reads the background recording's bytes after the 44-byte header into
// srdata and sets srlen (in samples). False when it has fewer than 1000 data
// bytes (srlen then holds the byte count, srdata is untouched).
bool rdsrfile(ByteFile& f, unsigned char* srdata, int32_t tracepos, Lib lib);

enum class BankOutcome { loaded, toofew, toomany, toolong, badlayout };

// Reads a bank of freqdim[banklayout] sets into numtb, tblsize and wtb.
// Stage counts of 7 and more are refused (wtb holds 6 stages), and so are a
// banklayout outside 0..4 and a freqdim entry outside 1..11 (badlayout:
// nothing is read).
BankOutcome rdbank(ByteFile& f, int32_t banklayout, bool trace, Lib lib);

struct ScoreOutcome {
  enum Kind { parsed, invalid, toolong } kind;
  int32_t value;  // parsed: the stream length; invalid: the event byte (-1 at the end of the file)
};

// Parses a score from byte scoreoffset into tdata, captext and cappos. When
// parsing stops at the position limit or at the end of the file inside an
// event, an end-of-score entry is stored at the result's position.
ScoreOutcome rdscore(ByteFile& f, int32_t scoreoffset, char* captext, int32_t* cappos, int32_t tracepos);

}  // namespace vox
