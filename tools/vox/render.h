// `vox render` and `vox render-blocks`: play a score file or a file of score
// blocks through an engine library into a 16-bit mono WAV file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host.h"

namespace voxtool {

struct Tap {
  int16_t delay = 0;
  float gain = 0.0f;
};

struct PlayOptions {
  std::string lib;  // library path; empty: the default
  int32_t rate = 22050;
  int32_t envelope = 0;
  int32_t weight = 2;
  int16_t transnum = 1, transden = 1;
  std::vector<Tap> echo;
  int32_t layout = 0;
  int32_t trace = 0;
  std::string background;
  std::string bank;
  std::string output;
};

struct ScoreOptions : PlayOptions {
  bool dry = false;  // dryvox instead of scorevox
  std::string score;
  int32_t offset = 0;
  std::string captions;  // file for the captions; empty: none
  std::string captionformat;  // "vtt", "srt" or empty (from the file name)
};

struct BlockOptions : PlayOptions {
  std::string blocks;
};

struct Summary {
  int64_t phrases = 0;
  int64_t samples = 0;
  int32_t rate = 0;
  int peak = 0;          // largest magnitude of a sample
  // Whether a value can have wrapped around 16 bits. The renderer's values
  // are not visible to a host, but with echo gains within 0..1, a background
  // weight of 0 or more and pitches of 0 or more every value is a weighted
  // mean of 16-bit values and cannot wrap. Otherwise vox counts the
  // neighbouring samples more than 32767 apart, which is how a wrapped value
  // shows (and also how a very loud, very high tone would).
  bool canwrap = false;
  int64_t wrapjumps = 0;
  double seconds = 0.0;   // time taken
  int64_t captions = 0;
  std::string text() const;
};

Summary renderscore(const ScoreOptions& o);
Summary renderblocks(const BlockOptions& o);

// A loader's result code in words, with the file and what is wrong with it.
std::string loaderror(LibKind lib, int32_t code, const std::string& score, const std::string& bank,
                      const std::string& background, int32_t layout, int32_t offset);

struct Caption {
  int64_t start = 0, end = 0;  // in samples
  std::string text;
};
std::string captionfile(const std::vector<Caption>& caps, int32_t rate, bool srt);

}  // namespace voxtool
