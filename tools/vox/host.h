// How vox loads and drives the engine libraries: as any host does, by
// dlopen/LoadLibrary and the names of the public headers, and what it works
// out from a score event stream before playing it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace voxtool {

enum class LibKind { scorevox, dryvox, blockvox };
const char* libname(LibKind k);

// One engine library, loaded for the life of the object.
class Library {
 public:
  // `path` empty: the library beside the vox executable, then the system's
  // search path.
  Library(LibKind kind, const std::string& path);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // A function by its name and argument bytes (decorated on 32-bit Windows),
  // or a data export by its name. Throws Error when the library lacks it.
  void* function(const char* name, int argbytes) const;
  void* data(const char* name) const;
  const std::string& where() const { return where_; }

 private:
  void* handle_ = nullptr;
  std::string where_;
};

// What playing a stream will produce, worked out from its words the way the
// renderers read them.
struct Walk {
  std::vector<int64_t> phrases;        // samples of each complete phrase
  std::map<int64_t, int64_t> eventat;  // stream index of each event -> sample offset in the audio
  int64_t unplayed = 0;                // samples of events after the last end of phrase
  bool ended = false;                  // an end of score was met
  int64_t stopat = -1;                 // stream index where a note refused for its set stops play
  int64_t total() const {
    int64_t t = 0;
    for (int64_t p : phrases) t += p;
    return t;
  }
};

// `block`: the words of a blockvox block (148 takes one word); otherwise
// tdata (148 is unrecognised and takes two). Reads at most `count` words.
Walk walkstream(const int32_t* words, size_t count, int32_t samprate, bool block);

// Samples of a note whose durations (steady, glide, ..., steady) are given,
// as the synthesiser's timeline counts them.
int64_t notesamples(const std::vector<int32_t>& durations, int32_t samprate);

}  // namespace voxtool
