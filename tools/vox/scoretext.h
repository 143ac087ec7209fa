// The readable text form of scores and score blocks.
//
//   # a comment, from a word that begins with # to the end of the line
//   unit tenths          how note names become pitches: tenths (of a hertz,
//                        the default, for scorevox) or hz (dryvox, blockvox)
//   caption "Hello"      a caption at this point of the stream
//   rest 20              a rest of 20 centiseconds
//   note 9 5 4400@50 >10 6600@40
//                        a note at level 9 on set 5: pitch 4400 held 50 cs,
//                        a glide of 10 cs, pitch 6600 held 40 cs
//   phrase               end of phrase
//   end                  end of score
//
// Pitches are numbers in the unit of the library that plays them, or note
// names (A4, C#5, Bb3) converted with the unit. Events may share a line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fileio.h"

namespace voxtool {

enum class PitchUnit { tenths, hz };

// Text to the binary score file. `name` is used in messages
// ("demo.vxs:3: ..."). Adds the end-of-score byte when the text has no `end`.
Bytes compilescore(const std::string& text, const std::string& name);

// The binary score file, from byte `offset`, to text. Throws Error with the
// byte offset and what is wrong when the file is not a well-formed score.
std::string showscore(const Bytes& file, int64_t offset, const std::string& name);

// A text file of blockvox score blocks, one block per line, to blocks of
// 16-bit words. A line that does not end with `phrase` or `end` gets an end
// of phrase. Blank and comment-only lines hold no block. Pitches are hertz
// by default. `lines` receives the line number of each block.
std::vector<std::vector<int16_t>> compileblocks(const std::string& text, const std::string& name,
                                                std::vector<int>* lines = nullptr);

// A note name (A4, C#5, Bb3, also with a minus octave) to a pitch in the unit,
// rounded to the nearest whole unit; false when `s` is not a note name.
bool notename(const std::string& s, PitchUnit unit, long& pitch);

}  // namespace voxtool
