#include "scoretext.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace voxtool {

namespace {

constexpr int kEnd = 139;
constexpr int kCaption = 148;
constexpr int kPhrase = 149;
constexpr int kRest = 150;
constexpr int kMaxSegs = 20;
constexpr int kCaptionClose = 250;
// The score loaders begin an event only below this stream position.
constexpr long kStreamLimit = 2960;

struct Token {
  std::string text;
  int line = 0;
  bool quoted = false;
};

std::vector<Token> tokenize(const std::string& text, const std::string& name) {
  std::vector<Token> out;
  int line = 1;
  size_t i = 0;
  auto fail = [&](const std::string& what) { throw Error(name + ":" + std::to_string(line) + ": " + what); };
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
      ++i;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '#') {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (c == '"') {
      Token t{"", line, true};
      ++i;
      for (;;) {
        if (i >= text.size() || text[i] == '\n') fail("caption text is not closed by \"");
        char d = text[i++];
        if (d == '"') break;
        if (d == '\\') {
          if (i >= text.size()) fail("caption text is not closed by \"");
          const char e = text[i++];
          if (e == 'x') {
            auto hex = [&](char h) -> int {
              if (h >= '0' && h <= '9') return h - '0';
              h = static_cast<char>(std::tolower(static_cast<unsigned char>(h)));
              if (h >= 'a' && h <= 'f') return h - 'a' + 10;
              fail("\\x needs two hexadecimal digits");
              return 0;
            };
            if (i + 2 > text.size()) fail("\\x needs two hexadecimal digits");
            d = static_cast<char>(hex(text[i]) * 16 + hex(text[i + 1]));
            i += 2;
          } else if (e == 'n') {
            d = '\n';
          } else if (e == '"' || e == '\\') {
            d = e;
          } else {
            fail(std::string("unknown escape \\") + e + " in caption text (use \\\" \\\\ \\n \\xNN)");
          }
        }
        t.text.push_back(d);
      }
      out.push_back(t);
    } else {
      Token t{"", line, false};
      // A # inside a word is part of it (C#5); a comment begins a word.
      while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])) && text[i] != '"')
        t.text.push_back(text[i++]);
      out.push_back(t);
    }
  }
  return out;
}

bool integer(const std::string& s, long& v) {
  if (s.empty()) return false;
  size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
  if (i == s.size()) return false;
  for (size_t j = i; j < s.size(); ++j)
    if (!std::isdigit(static_cast<unsigned char>(s[j]))) return false;
  if (s.size() - i > 9) {
    v = s[0] == '-' ? -1000000000L : 1000000000L;  // out of every range below
    return true;
  }
  v = std::stol(s);
  return true;
}

struct Segment {
  long pitch = 0;
  long steady = 0;
  long glide = 0;  // glide to the next segment; unused for the last
};

struct Event {
  int code = 0;  // 139, 148, 149, 150, 151..170
  int line = 0;
  long rest = 0;
  long level = 0, set = 0;
  std::vector<Segment> segs;
  std::string caption;
};

// Parses the events of the text. `blocks` accepts `mark` (a lone 148) instead
// of captions with text.
class Parser {
 public:
  Parser(const std::string& text, const std::string& name, PitchUnit unit, bool blocks)
      : toks_(tokenize(text, name)), name_(name), unit_(unit), blocks_(blocks) {}

  bool done() const { return i_ >= toks_.size(); }
  PitchUnit unit() const { return unit_; }
  int line() const { return done() ? (toks_.empty() ? 1 : toks_.back().line) : toks_[i_].line; }

  // Reads one event; returns false for a `unit` directive, which it applies.
  bool next(Event& ev) {
    const Token& t = take("an event");
    ev = Event{};
    ev.line = t.line;
    const std::string& w = t.text;
    if (t.quoted) fail(t, "caption text must follow the word caption");
    if (w == "unit") {
      const Token& u = take("a pitch unit (tenths or hz)");
      if (u.text == "tenths")
        unit_ = PitchUnit::tenths;
      else if (u.text == "hz")
        unit_ = PitchUnit::hz;
      else
        fail(u, "unknown pitch unit '" + u.text + "' (use tenths or hz)");
      return false;
    }
    if (w == "end") {
      ev.code = kEnd;
    } else if (w == "phrase") {
      ev.code = kPhrase;
    } else if (w == "mark" && blocks_) {
      ev.code = kCaption;
    } else if (w == "caption" && !blocks_) {
      ev.code = kCaption;
      const Token& c = take("caption text in double quotes");
      if (!c.quoted) fail(c, "caption text must be in double quotes");
      for (char ch : c.text)
        if (ch == '~') fail(c, "caption text cannot hold '~': that byte closes a caption in the score file");
      ev.caption = c.text;
    } else if (w == "rest") {
      ev.code = kRest;
      ev.rest = number(take("a rest duration"), "rest duration");
    } else if (w == "note") {
      ev.level = number(take("a note level"), "note level");
      ev.set = number(take("a wavetable set"), "wavetable set");
      for (;;) {
        const Token& s = take("a segment pitch@steady");
        const auto at = s.text.find('@');
        if (s.quoted || at == std::string::npos)
          fail(s, "expected a segment pitch@steady (such as 4400@50 or A4@50), found '" + s.text + "'");
        Segment seg;
        seg.pitch = pitch(s, s.text.substr(0, at));
        long steady = 0;
        if (!integer(s.text.substr(at + 1), steady)) fail(s, "bad steady duration in '" + s.text + "'");
        seg.steady = steady;
        ev.segs.push_back(seg);
        if (done() || toks_[i_].quoted || toks_[i_].text.empty() || toks_[i_].text[0] != '>') break;
        const Token& g = toks_[i_++];
        long glide = 0;
        if (!integer(g.text.substr(1), glide)) fail(g, "bad glide duration '" + g.text + "' (use >10)");
        ev.segs.back().glide = glide;
      }
      if (ev.segs.size() > kMaxSegs)
        fail(t, "a note has " + std::to_string(ev.segs.size()) + " segments, at most 20");
      ev.code = kRest + static_cast<int>(ev.segs.size());
    } else {
      fail(t, "unknown event '" + w + "' (expected " +
                  (blocks_ ? "rest, note, phrase, end, mark" : "rest, note, phrase, end, caption, unit") + ")");
    }
    return true;
  }

  [[noreturn]] void fail(int line, const std::string& what) const {
    throw Error(name_ + ":" + std::to_string(line) + ": " + what);
  }
  [[noreturn]] void fail(const Token& t, const std::string& what) const { fail(t.line, what); }

 private:
  const Token& take(const char* what) {
    if (done()) fail(line(), std::string("the text ends where ") + what + " is expected");
    return toks_[i_++];
  }
  long number(const Token& t, const char* what) {
    long v = 0;
    if (t.quoted || !integer(t.text, v)) fail(t, std::string("expected a whole number as ") + what + ", found '" + t.text + "'");
    return v;
  }
  long pitch(const Token& t, const std::string& s) {
    long v = 0;
    if (integer(s, v) || notename(s, unit_, v)) return v;
    fail(t, "bad pitch '" + s + "' (a whole number or a note name such as A4, C#5, Bb3)");
  }

  std::vector<Token> toks_;
  size_t i_ = 0;
  std::string name_;
  PitchUnit unit_;
  bool blocks_;
};

void check(const Parser& p, int line, long v, long lo, long hi, const char* what) {
  if (v < lo || v > hi)
    p.fail(line, std::string(what) + " " + std::to_string(v) + " is outside " + std::to_string(lo) + ".." +
                     std::to_string(hi));
}

std::string quote(const std::string& s) {
  std::string out = "\"";
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out + "\"";
}

}  // namespace

bool notename(const std::string& s, PitchUnit unit, long& pitch) {
  static const int steps[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G from C
  if (s.size() < 2) return false;
  const char l = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
  if (l < 'A' || l > 'G' || s[0] != l) return false;
  int semi = steps[l - 'A'];
  size_t i = 1;
  if (s[i] == '#') {
    ++semi;
    ++i;
  } else if (s[i] == 'b') {
    --semi;
    ++i;
  }
  long octave = 0;
  if (i >= s.size() || !integer(s.substr(i), octave) || s[i] == '+' || octave < -1 || octave > 9) return false;
  const double midi = static_cast<double>((octave + 1) * 12 + semi);
  const double hz = 440.0 * std::pow(2.0, (midi - 69.0) / 12.0);
  pitch = std::lround(unit == PitchUnit::tenths ? hz * 10.0 : hz);
  return true;
}

Bytes compilescore(const std::string& text, const std::string& name) {
  Parser p(text, name, PitchUnit::tenths, false);
  Bytes out;
  long n = 0;  // stream position, as the loader will count it
  bool ended = false;
  auto put16 = [&](long v) {
    out.push_back(static_cast<unsigned char>(v >> 8));
    out.push_back(static_cast<unsigned char>(v & 0xFF));
  };
  while (!p.done()) {
    const int line = p.line();
    Event ev;
    if (!p.next(ev)) continue;
    if (ended) p.fail(line, "an event after the end of the score");
    if (ev.code != kCaption && n >= kStreamLimit)
      p.fail(line, "the score is too long: this event begins at stream position " + std::to_string(n) +
                       "; the loaders begin events only below 2960");
    switch (ev.code) {
      case kEnd:
        out.push_back(kEnd);
        ended = true;
        break;
      case kPhrase:
        out.push_back(kPhrase);
        ++n;
        break;
      case kCaption:
        out.push_back(kCaption);
        for (char c : ev.caption) out.push_back(static_cast<unsigned char>(static_cast<unsigned char>(c) + 124));
        out.push_back(kCaptionClose);
        break;
      case kRest:
        check(p, line, ev.rest, 0, 255, "rest duration");
        out.push_back(kRest);
        out.push_back(static_cast<unsigned char>(ev.rest));
        n += 2;
        break;
      default: {
        check(p, line, ev.set, 0, 99, "wavetable set");
        check(p, line, ev.level, 0, 655, "note level");
        const long head = ev.level * 100 + ev.set;
        check(p, line, head, 0, 65535, "head word (100 x level + set)");
        out.push_back(static_cast<unsigned char>(ev.code));
        put16(head);
        for (size_t s = 0; s < ev.segs.size(); ++s) {
          const Segment& g = ev.segs[s];
          const bool last = s + 1 == ev.segs.size();
          check(p, line, g.pitch, 0, 65535, "pitch");
          check(p, line, g.steady, 0, 255, "steady duration");
          put16(g.pitch);
          out.push_back(static_cast<unsigned char>(g.steady));
          if (!last) {
            check(p, line, g.glide, 0, 255, "glide duration");
            out.push_back(static_cast<unsigned char>(g.glide));
          } else if (g.glide != 0) {
            p.fail(line, "the last segment of a note has no glide");
          }
        }
        n += 3 * static_cast<long>(ev.segs.size()) + 1;
      }
    }
  }
  if (!ended) {
    if (n >= kStreamLimit)
      p.fail(p.line(), "the score is too long: its end stands at stream position " + std::to_string(n) +
                           "; the loaders begin events only below 2960");
    out.push_back(kEnd);
  }
  return out;
}

std::string showscore(const Bytes& file, int64_t offset, const std::string& name) {
  std::ostringstream o;
  if (offset < 0) throw Error(name + ": negative score offset");
  size_t i = static_cast<size_t>(offset);
  auto where = [&](size_t at) { return name + ": offset " + std::to_string(at) + ": "; };
  auto byte = [&](size_t at, const char* inside) -> int {
    if (at >= file.size())
      throw Error(where(at) + "the file ends inside " + inside + " (the loader would read past its end)");
    return file[at];
  };
  if (offset > 0) o << "# from byte offset " << offset << "\n";
  long n = 0;
  for (;;) {
    if (n >= kStreamLimit) {
      o << "# the loaders stop here: stream position " << n << " reaches 2960\n";
      break;
    }
    if (i >= file.size())
      throw Error(where(i) + "the file ends without the end-of-score byte 139");
    const size_t at = i;
    const int e = file[i++];
    if (e == kEnd) {
      o << "end\n";
      if (i < file.size()) o << "# " << file.size() - i << " bytes after the end of the score are never read\n";
      break;
    }
    if (e == kPhrase) {
      o << "phrase\n\n";
      ++n;
      continue;
    }
    if (e == kCaption) {
      std::string text;
      for (;;) {
        const int b = byte(i++, "a caption (no closing byte 250)");
        if (b == kCaptionClose) break;
        text.push_back(static_cast<char>(static_cast<unsigned char>(b - 124)));
      }
      for (char c : text)
        if (c == '~') throw Error(where(at) + "caption text holds '~', which the text form cannot express");
      o << "caption " << quote(text) << "\n";
      continue;
    }
    const int segs = e - kRest;
    if (segs < 0 || segs > kMaxSegs)
      throw Error(where(at) + "invalid event byte " + std::to_string(e) +
                  " (events are 139, 148, 149, 150 and 151 to 170)");
    if (segs == 0) {
      o << "rest " << byte(i++, "a rest") << "\n";
      n += 2;
      continue;
    }
    auto get16 = [&]() {
      const int hi = byte(i++, "a note");
      const int lo = byte(i++, "a note");
      return hi * 256 + lo;
    };
    const int head = get16();
    o << "note " << head / 100 << " " << head % 100;
    for (int s = 0; s < segs; ++s) {
      if (s + 1 < segs && n + 2 + 3 * s > kStreamLimit)
        throw Error(where(at) + "the score is too long: this note reaches past stream position 2960");
      const int pitch = get16();
      const int steady = byte(i++, "a note");
      o << " " << pitch << "@" << steady;
      if (s + 1 < segs) o << " >" << byte(i++, "a note");
    }
    o << "\n";
    n += 3 * segs + 1;
  }
  return o.str();
}

std::vector<std::vector<int16_t>> compileblocks(const std::string& text, const std::string& name,
                                                std::vector<int>* lines) {
  std::vector<std::vector<int16_t>> blocks;
  std::istringstream in(text);
  std::string linetext;
  int lineno = 0;
  PitchUnit unit = PitchUnit::hz;
  while (std::getline(in, linetext)) {
    ++lineno;
    // Each line is parsed on its own; prefix newlines keep the line numbers.
    Parser p(std::string(static_cast<size_t>(lineno - 1), '\n') + linetext, name, unit, true);
    std::vector<int16_t> words;
    bool terminated = false;
    while (!p.done()) {
      Event ev;
      const int line = p.line();
      if (!p.next(ev)) continue;
      if (terminated) p.fail(line, "an event after the block's end (phrase or end closes a block)");
      auto put = [&](long v, const char* what) {
        check(p, line, v, -32768, 32767, what);
        words.push_back(static_cast<int16_t>(v));
      };
      switch (ev.code) {
        case kEnd:
        case kPhrase:
          terminated = true;
          [[fallthrough]];
        case kCaption:
          words.push_back(static_cast<int16_t>(ev.code));
          break;
        case kRest:
          words.push_back(kRest);
          put(ev.rest, "rest duration");
          break;
        default: {
          check(p, line, ev.set, 0, 99, "wavetable set");
          words.push_back(static_cast<int16_t>(ev.code));
          put(ev.level * 100 + ev.set, "head word (100 x level + set)");
          for (size_t s = 0; s < ev.segs.size(); ++s) {
            const Segment& g = ev.segs[s];
            put(g.pitch, "pitch");
            put(g.steady, "steady duration");
            if (s + 1 < ev.segs.size())
              put(g.glide, "glide duration");
            else if (g.glide != 0)
              p.fail(line, "the last segment of a note has no glide");
          }
        }
      }
    }
    unit = p.unit();  // a unit directive holds for the lines after it
    if (words.empty()) continue;
    if (!terminated) words.push_back(kPhrase);
    blocks.push_back(std::move(words));
    if (lines != nullptr) lines->push_back(lineno);
  }
  return blocks;
}

}  // namespace voxtool
