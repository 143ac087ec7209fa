#include "render.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>

#define VOX_DYNAMIC
#include "audio.h"
#include "banktext.h"
#include "blockvox.h"
#include "dryvox.h"
#include "scoretext.h"
#include "scorevox.h"

namespace voxtool {

namespace {

void VOXCALL printtrace(const char* text, const char* caption) {
  bool titled = false;
  for (const char* c = caption; *c != '\0'; ++c) titled = titled || *c != ' ';
  if (titled)
    std::fprintf(stderr, "engine: [%s] %s\n", caption, text);
  else
    std::fprintf(stderr, "engine: %s\n", text);
}

template <class F>
F fn(const Library& l, const char* name, int argbytes) {
  return reinterpret_cast<F>(l.function(name, argbytes));
}

int64_t filesize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

std::string openproblem(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return std::strerror(errno);
  std::fclose(f);
  return "cannot be opened";
}

// The engine's texts (trace texts, and the blockvox loader's failure boxes
// whatever the trace position) go to standard error.
void setup(const Library& lib) { fn<setmsghook_fn>(lib, "setmsghook", 4)(printtrace); }

bool canwrap(const PlayOptions& o, bool negativepitch) {
  bool wrap = negativepitch || o.weight < 0;
  for (const Tap& t : o.echo) wrap = wrap || !(t.gain >= 0.0f && t.gain <= 1.0f);
  return wrap;
}

struct Echo {
  std::vector<int16_t> del;
  std::vector<float> gain;
};
Echo echoarrays(const PlayOptions& o) {
  Echo e;
  for (const Tap& t : o.echo) {
    e.del.push_back(t.delay);
    e.gain.push_back(t.gain);
  }
  return e;
}

void measure(Summary& s, const std::vector<int16_t>& out) {
  for (size_t i = 0; i < out.size(); ++i) {
    s.peak = std::max(s.peak, std::abs(static_cast<int>(out[i])));
    if (i > 0 && std::abs(static_cast<int>(out[i]) - out[i - 1]) > 32767) ++s.wrapjumps;
  }
}

std::string rendererror(LibKind lib, int32_t code, const std::string& where) {
  std::string what;
  if (code <= -110 && code >= -990 && code % 10 == 0)
    what = "a note names wavetable set " + std::to_string(-code / 10) + "; sets run from 0 to 10";
  else if (code == -100)
    what = "a note's wavetable set cannot be played (a negative set, a set whose table size is not 1 to 80, or a "
           "stage count outside 2 to 6)";
  else if (code == -2)
    what = "the engine refused the playing parameters";
  else if (code == -30 && lib == LibKind::blockvox)
    what = "trace position 5 ends every block at its first event";
  else
    what = "the renderer failed";
  return where + ": " + what + " (code " + std::to_string(code) + ")";
}

// Each caption in captext ends with its tilde (the closing byte 250), and no
// caption holds another: the tildes split them exactly.
std::vector<Caption> captionsof(const std::vector<char>& text, const std::vector<int32_t>& pos, const Walk& w,
                                int64_t total) {
  std::vector<Caption> caps;
  size_t t = 0;
  for (size_t k = 0; k < pos.size() && pos[k] >= 0; ++k) {
    std::string s;
    while (t < text.size() && text[t] != '~') s.push_back(text[t++]);
    ++t;
    auto at = w.eventat.find(pos[k]);
    const int64_t start = at != w.eventat.end() ? std::min(at->second, total) : total;
    if (!caps.empty() && caps.back().start == start) {
      caps.back().text += "\n" + s;  // captions at one point show together
      continue;
    }
    caps.push_back({start, total, s});
  }
  for (size_t k = 0; k + 1 < caps.size(); ++k) caps[k].end = caps[k + 1].start;
  // A caption at the very end of the audio would last no time at all.
  while (!caps.empty() && caps.back().start >= caps.back().end) caps.pop_back();
  return caps;
}

}  // namespace

std::string Summary::text() const {
  std::ostringstream o;
  char dur[32];
  std::snprintf(dur, sizeof dur, "%.3f", rate > 0 ? static_cast<double>(samples) / rate : 0.0);
  char took[32];
  std::snprintf(took, sizeof took, "%.3f", seconds);
  o << "phrases " << phrases << ", duration " << dur << " s (" << samples << " samples at " << rate << " Hz)";
  if (captions > 0) o << ", captions " << captions;
  o << "\npeak " << peak << ", wrapped samples: ";
  if (canwrap)
    o << "unknown, " << wrapjumps << " jumps over half the 16-bit range";
  else
    o << "none (every value is a weighted mean of 16-bit values)";
  o << "\ntime " << took << " s\n";
  return o.str();
}

std::string loaderror(LibKind lib, int32_t code, const std::string& score, const std::string& bank,
                      const std::string& background, int32_t layout, int32_t offset) {
  const bool blk = lib == LibKind::blockvox;
  const std::string c = " (code " + std::to_string(code) + ")";
  auto bankdetail = [&]() -> std::string {
    try {
      decodebank(readfile(bank), layoutsets(layout), bank);
    } catch (const Error& e) {
      return e.what() + c;
    }
    return bank + ": the loader refused the bank" + c;
  };
  if (code == -20) return bank + ": cannot open (" + openproblem(bank) + ")" + c;
  if (code == -30) return background + ": cannot open (" + openproblem(background) + ")" + c;
  if (!blk && code == -10) return score + ": cannot open (" + openproblem(score) + ")" + c;
  if (code == (blk ? -40 : -35))
    return background + ": " + std::to_string(filesize(background) - 44) +
           " data bytes after the 44-byte header, fewer than 1000" + c;
  if (blk ? (code == -50 || code == -55 || code == -57) : (code == -40 || code == -45 || code == -50))
    return bankdetail();
  if (code == (blk ? -58 : -48)) return bank + ": bank layout " + std::to_string(layout) + " is not usable" + c;
  if (!blk) {
    if (code == -65) return score + ": the score is too long: a note reaches past stream position 2960" + c;
    try {
      showscore(readfile(score), offset, score);
    } catch (const Error& e) {
      return e.what() + c;
    }
    return score + ": the loader refused the score" + c;
  }
  return "the loader failed" + c;
}

std::string captionfile(const std::vector<Caption>& caps, int32_t rate, bool srt) {
  auto stamp = [&](int64_t sample) {
    const int64_t ms = sample * 1000 / rate;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld%c%03lld", static_cast<long long>(ms / 3600000),
                  static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                  srt ? ',' : '.', static_cast<long long>(ms % 1000));
    return std::string(buf);
  };
  std::ostringstream o;
  if (!srt) o << "WEBVTT\n\n";
  for (size_t k = 0; k < caps.size(); ++k) {
    o << k + 1 << "\n" << stamp(caps[k].start) << " --> " << stamp(caps[k].end) << "\n" << caps[k].text << "\n\n";
  }
  return o.str();
}

Summary renderscore(const ScoreOptions& o) {
  const auto t0 = std::chrono::steady_clock::now();
  const LibKind kind = o.dry ? LibKind::dryvox : LibKind::scorevox;
  Library lib(kind, o.lib);
  setup(lib);

  const int64_t scorelen = filesize(o.score);
  const int64_t bglen = filesize(o.background);
  std::vector<int16_t> srdata(static_cast<size_t>(std::max<int64_t>(bglen, 0) / 2 + 2), 0);
  std::vector<char> captext(static_cast<size_t>(std::max<int64_t>(scorelen, 0) + 1), '\0');
  std::vector<int32_t> cappos(static_cast<size_t>(std::max<int64_t>(scorelen, 0) + 1), -1);

  int32_t loaded = 0;
  if (o.dry)
    loaded = fn<rdtalbin16_fn>(lib, "rdtalbin16", 36)(o.score.c_str(), o.bank.c_str(), o.background.c_str(),
                                                      o.offset, captext.data(), cappos.data(), srdata.data(),
                                                      o.layout, o.trace);
  else
    loaded = fn<rdbin16_fn>(lib, "rdbin16", 36)(o.score.c_str(), o.bank.c_str(), o.background.c_str(), o.offset,
                                                captext.data(), cappos.data(), srdata.data(), o.layout, o.trace);
  bool failed = loaded < 0;
  // scorevox reports an invalid event byte above 170 as a positive code,
  // which a stream length could also be: the score itself tells them apart.
  if (!failed && !o.dry && loaded >= 2100 && loaded % 100 == 0) {
    try {
      showscore(readfile(o.score), o.offset, o.score);
    } catch (const Error&) {
      failed = true;
    }
  }
  if (failed) throw Error(loaderror(kind, loaded, o.score, o.bank, o.background, o.layout, o.offset));

  const auto* tdata = static_cast<const int32_t*>(lib.data("tdata"));
  const Walk w = walkstream(tdata, 3000, o.rate, false);
  int64_t longest = 0;
  for (int64_t p : w.phrases) longest = std::max(longest, p);
  if (w.unplayed > 0)
    std::fprintf(stderr, "vox: warning: %s: %lld samples after the last end of phrase are not played\n",
                 o.score.c_str(), static_cast<long long>(w.unplayed));
  // One sample more than the longest phrase: a phrase that filled the buffer
  // exactly would leave its end of phrase to a call of its own.
  const int64_t cap = longest + 1;
  if (cap > 0x3FFFFFFF) throw Error(o.score + ": a phrase is too long to render in one call");
  std::vector<int16_t> buf(static_cast<size_t>(cap), 0);

  const Echo e = echoarrays(o);
  std::vector<int16_t> out;
  Summary s;
  s.rate = o.rate;
  auto wrtbin16 = o.dry ? nullptr : fn<wrtbin16_fn>(lib, "wrtbin16", 56);
  auto wtalbin16 = o.dry ? fn<wtalbin16_fn>(lib, "wtalbin16", 48) : nullptr;
  const auto bytes = static_cast<int32_t>(cap * 2);
  for (int call = 0;; ++call) {
    const int32_t first = call == 0 ? 1 : 0;
    int32_t r = 0;
    if (o.dry)
      r = wtalbin16(first, first, 0, buf.data(), bytes, srdata.data(), o.rate, o.envelope, o.weight, o.transnum,
                    o.transden, 0);
    else
      r = wrtbin16(first, 0, buf.data(), bytes, srdata.data(), o.rate, o.envelope, o.weight, o.transnum,
                   o.transden, static_cast<int32_t>(e.del.size()), e.del.data(), e.gain.data(), o.trace);
    if (r == -1) break;
    if (r < 0) throw Error(rendererror(kind, r, o.score + ": phrase " + std::to_string(call + 1)));
    if (r >= cap) throw Error(o.score + ": phrase " + std::to_string(call + 1) + " is longer than its events say");
    out.insert(out.end(), buf.begin(), buf.begin() + r);
    ++s.phrases;
  }
  s.samples = static_cast<int64_t>(out.size());
  measure(s, out);
  s.canwrap = canwrap(o, (o.transnum < 0) != (o.transden < 0) && o.transnum != o.transden);

  if (!o.captions.empty()) {
    const bool srt = o.captionformat == "srt" ||
                     (o.captionformat.empty() && o.captions.size() >= 4 &&
                      o.captions.compare(o.captions.size() - 4, 4, ".srt") == 0);
    const auto caps = captionsof(captext, cappos, w, s.samples);
    s.captions = static_cast<int64_t>(caps.size());
    writefile(o.captions, captionfile(caps, o.rate, srt));
  }
  writefile(o.output, canonicalwav(out, o.rate));
  s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return s;
}

Summary renderblocks(const BlockOptions& o) {
  const auto t0 = std::chrono::steady_clock::now();
  std::vector<int> lines;
  const auto blocks = compileblocks(readtext(o.blocks), o.blocks, &lines);
  Library lib(LibKind::blockvox, o.lib);
  setup(lib);
  const int64_t bglen = filesize(o.background);
  std::vector<int16_t> srdata(static_cast<size_t>(std::max<int64_t>(bglen, 0) / 2 + 2), 0);
  const int32_t loaded = fn<rdtbsrbn16_fn>(lib, "rdtbsrbn16", 20)(o.bank.c_str(), o.background.c_str(),
                                                                 srdata.data(), o.layout, o.trace);
  if (loaded != 0) throw Error(loaderror(LibKind::blockvox, loaded, "", o.bank, o.background, o.layout, 0));

  auto dwrblk16bin = fn<dwrblk16bin_fn>(lib, "dwrblk16bin", 44);
  const Echo e = echoarrays(o);
  std::vector<int16_t> out;
  Summary s;
  s.rate = o.rate;
  for (size_t b = 0; b < blocks.size(); ++b) {
    const std::vector<int32_t> words(blocks[b].begin(), blocks[b].end());
    const Walk w = walkstream(words.data(), words.size(), o.rate, true);
    const int64_t cap = (w.phrases.empty() ? w.unplayed : w.phrases.front()) + 1;
    if (cap > 0x3FFFFFFF) throw Error(o.blocks + ":" + std::to_string(lines[b]) + ": the block is too long");
    std::vector<int16_t> buf(static_cast<size_t>(cap), 0);
    const int32_t r = dwrblk16bin(blocks[b].data(), buf.data(), static_cast<int32_t>(cap * 2), srdata.data(), o.rate,
                                  o.envelope, o.weight, static_cast<int32_t>(e.del.size()), e.del.data(), o.trace,
                                  e.gain.data());
    if (r == -1) {
      if (w.unplayed > 0)
        std::fprintf(stderr, "vox: warning: %s:%d: %lld samples before the end of score are not played\n",
                     o.blocks.c_str(), lines[b], static_cast<long long>(w.unplayed));
      if (b + 1 < blocks.size())
        std::fprintf(stderr, "vox: warning: %s:%d: the end of score stops play; %zu later blocks are not played\n",
                     o.blocks.c_str(), lines[b], blocks.size() - b - 1);
      break;
    }
    if (r < 0) throw Error(rendererror(LibKind::blockvox, r, o.blocks + ":" + std::to_string(lines[b])));
    out.insert(out.end(), buf.begin(), buf.begin() + std::min<int64_t>(r, cap));
    ++s.phrases;
  }
  s.samples = static_cast<int64_t>(out.size());
  measure(s, out);
  bool negative = false;
  for (const auto& b : blocks)
    for (int16_t v : b) negative = negative || v < 0;  // a negative pitch, among others
  s.canwrap = canwrap(o, negative);
  writefile(o.output, canonicalwav(out, o.rate));
  s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return s;
}

}  // namespace voxtool
