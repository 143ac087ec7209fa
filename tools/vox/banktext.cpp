#include "banktext.h"

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <sstream>

namespace voxtool {

namespace {

constexpr int kMaxStages = 6;
constexpr int kMaxSize = 80;

bool wholenumber(const std::string& s, long& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  v = std::strtol(s.c_str(), &end, 10);
  return *end == '\0';
}

bool realnumber(const std::string& s, double& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  v = std::strtod(s.c_str(), &end);
  return *end == '\0' && std::isfinite(v);
}

}  // namespace

std::vector<int16_t> harmonics(const std::vector<double>& amps, int size, double peak) {
  std::vector<double> x(static_cast<size_t>(size), 0.0);
  double top = 0.0;
  for (int k = 0; k < size; ++k) {
    double v = 0.0;
    for (size_t h = 0; h < amps.size(); ++h)
      v += amps[h] * std::sin(2.0 * std::numbers::pi * static_cast<double>(h + 1) * k / size);
    x[static_cast<size_t>(k)] = v;
    top = std::max(top, std::fabs(v));
  }
  std::vector<int16_t> out(static_cast<size_t>(size), 0);
  // Below this the recipe is silent: the sines of harmonics that fall on the
  // table's sample points leave only rounding noise.
  if (top < 1e-9) return out;
  for (int k = 0; k < size; ++k)
    out[static_cast<size_t>(k)] = static_cast<int16_t>(std::lround(x[static_cast<size_t>(k)] * peak / top));
  return out;
}

Bank parsebank(const std::string& text, const std::string& name) {
  Bank b;
  int nsets = 11;
  bool setsgiven = false;
  int size = 0;
  std::istringstream in(text);
  std::string line;
  int lineno = 0;
  auto fail = [&](const std::string& what) { throw Error(name + ":" + std::to_string(lineno) + ": " + what); };
  auto num = [&](std::istringstream& ls, const char* what, long lo, long hi) {
    std::string w;
    long v = 0;
    if (!(ls >> w)) fail(std::string("expected ") + what);
    if (!wholenumber(w, v)) fail(std::string("expected a whole number as ") + what + ", found '" + w + "'");
    if (v < lo || v > hi)
      fail(std::string(what) + " " + w + " is outside " + std::to_string(lo) + ".." + std::to_string(hi));
    return static_cast<int>(v);
  };
  while (std::getline(in, line)) {
    ++lineno;
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream ls(line);
    std::string word;
    if (!(ls >> word)) continue;
    if (word == "stages") {
      if (b.stages != 0) fail("the stage count is given twice");
      if (!b.sets.empty()) fail("the stage count must come before the first set");
      b.stages = num(ls, "a stage count", 2, kMaxStages);
    } else if (word == "sets") {
      if (setsgiven || !b.sets.empty()) fail("the set count must come once, before the first set");
      nsets = num(ls, "a set count", 5, 11);
      if (nsets != 5 && nsets != 11) fail("the loaders read banks of 11 sets (layouts 0, 1, 3, 4) or 5 (layout 2)");
      setsgiven = true;
    } else if (word == "set") {
      if (b.stages == 0) fail("the stage count (stages N) must come before the first set");
      if (!b.sets.empty() && static_cast<int>(b.sets.back().size()) != b.stages)
        fail("set " + std::to_string(b.sets.size() - 1) + " has " + std::to_string(b.sets.back().size()) +
             " stages, the bank " + std::to_string(b.stages));
      const int s = num(ls, "a set number", 0, 10);
      if (s != static_cast<int>(b.sets.size()))
        fail("set " + std::to_string(s) + " out of order: set " + std::to_string(b.sets.size()) + " comes next");
      std::string kw;
      if (!(ls >> kw) || kw != "size") fail("expected 'size N' after the set number");
      size = num(ls, "a table size", 1, kMaxSize);
      b.sets.emplace_back();
    } else if (word == "samples" || word == "harmonics") {
      if (b.sets.empty()) fail("a stage table before the first set");
      if (static_cast<int>(b.sets.back().size()) == b.stages)
        fail("set " + std::to_string(b.sets.size() - 1) + " already has its " + std::to_string(b.stages) + " stages");
      std::vector<int16_t> table;
      if (word == "samples") {
        long v = 0;
        std::string w;
        while (ls >> w) {
          if (!wholenumber(w, v)) fail("expected a whole number as a sample, found '" + w + "'");
          if (v < -32768 || v > 32767) fail("sample " + w + " is outside -32768..32767");
          table.push_back(static_cast<int16_t>(v));
        }
        if (static_cast<int>(table.size()) != size)
          fail("a stage of set " + std::to_string(b.sets.size() - 1) + " has " + std::to_string(table.size()) +
               " samples, its size is " + std::to_string(size));
      } else {
        std::vector<double> amps;
        double peak = 16000.0;
        std::string w;
        while (ls >> w) {
          double v = 0.0;
          if (w == "peak") {
            if (!(ls >> w) || !realnumber(w, peak) || peak < 0 || peak > 32767)
              fail("peak needs a number from 0 to 32767");
            continue;
          }
          if (!realnumber(w, v)) fail("expected a harmonic amplitude, found '" + w + "'");
          amps.push_back(v);
        }
        if (amps.empty()) fail("a harmonic recipe needs at least one amplitude");
        table = harmonics(amps, size, peak);
      }
      b.sets.back().push_back(std::move(table));
    } else {
      fail("unknown line '" + word + "' (expected stages, sets, set, samples or harmonics)");
    }
  }
  ++lineno;
  if (b.stages == 0) fail("the bank has no stage count (stages N)");
  if (!b.sets.empty() && static_cast<int>(b.sets.back().size()) != b.stages)
    fail("set " + std::to_string(b.sets.size() - 1) + " has " + std::to_string(b.sets.back().size()) +
         " stages, the bank " + std::to_string(b.stages));
  if (static_cast<int>(b.sets.size()) != nsets)
    fail("the bank has " + std::to_string(b.sets.size()) + " sets, " + std::to_string(nsets) +
         " are needed (sets N sets the count: 11 for layouts 0, 1, 3, 4; 5 for layout 2)");
  return b;
}

Bytes encodebank(const Bank& b) {
  Bytes out;
  auto put = [&](int v) {
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
  };
  put(b.stages);
  for (const auto& set : b.sets) {
    put(static_cast<int>(set.front().size()));
    for (const auto& table : set)
      for (int16_t v : table) put(v);
  }
  return out;
}

Bank decodebank(const Bytes& file, int nsets, const std::string& name) {
  size_t i = 0;
  auto get = [&](const std::string& what) -> int {
    if (i + 2 > file.size())
      throw Error(name + ": the file ends inside " + what + " (" + std::to_string(file.size()) +
                  " bytes; the loaders would read -257 past the end)");
    const int v = file[i] | (file[i + 1] << 8);
    i += 2;
    return v;
  };
  Bank b;
  b.stages = get("the stage count");
  if (b.stages <= 1) throw Error(name + ": stage count " + std::to_string(b.stages) + " is below 2");
  if (b.stages > kMaxStages)
    throw Error(name + ": stage count " + std::to_string(b.stages) + " is over 6 (the engine holds 6 stages per set)");
  for (int s = 0; s < nsets; ++s) {
    const std::string where = "set " + std::to_string(s);
    const int size = get("the table size of " + where);
    if (size > kMaxSize)
      throw Error(name + ": table size " + std::to_string(size) + " in " + where + " is over 80 samples");
    if (size == 0) throw Error(name + ": table size 0 in " + where + " (a set must have 1 to 80 samples)");
    auto& set = b.sets.emplace_back();
    for (int j = 0; j < b.stages; ++j) {
      auto& table = set.emplace_back();
      for (int k = 0; k < size; ++k)
        table.push_back(static_cast<int16_t>(get("the samples of " + where)));
    }
  }
  return b;
}

std::string showbank(const Bank& b) {
  std::ostringstream o;
  o << "stages " << b.stages << "\n";
  o << "sets " << b.sets.size() << "\n";
  for (size_t s = 0; s < b.sets.size(); ++s) {
    o << "\nset " << s << " size " << b.sets[s].front().size() << "\n";
    for (const auto& table : b.sets[s]) {
      o << "  samples";
      for (int16_t v : table) o << " " << v;
      o << "\n";
    }
  }
  return o.str();
}

}  // namespace voxtool
