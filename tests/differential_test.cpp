// The optimised renderer against the frozen per-sample reference: random
// streams and playing parameters, the same engine state before each call,
// and afterwards the same result, the same output buffer (also beyond the
// samples counted) and the same engine state, to the bit.
//
// Compiled once per library (VOX_LIB_SCOREVOX, _BLOCKVOX or _DRYVOX) together
// with the engine sources, so that both paths work on one set of engine
// variables. The optimised path is reached through the library's export.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "reference/render.h"

#if defined(VOX_LIB_SCOREVOX)
#include "../scorevox/traits.h"
using Traits = Scorevox;
constexpr bool kEcho = true;
constexpr bool kSrReset = false;
extern "C" void VOXCALL setmsghook(voxmsghook);
extern "C" int32_t VOXCALL wrtbin16(int32_t, int32_t, int16_t*, int32_t, const int16_t*, int32_t, int32_t, int32_t, int32_t,
                            int32_t, int32_t, const int16_t*, const float*, int32_t);
#elif defined(VOX_LIB_BLOCKVOX)
#include "../blockvox/traits.h"
extern "C" void VOXCALL setmsghook(voxmsghook);
using Traits = Blockvox;
constexpr bool kEcho = true;
constexpr bool kSrReset = false;
extern "C" int32_t VOXCALL dwrblk16bin(const int16_t*, int16_t*, int32_t, const int16_t*, int32_t, int32_t, int32_t, int32_t,
                               const int16_t*, int32_t, const float*);
#elif defined(VOX_LIB_DRYVOX)
#include "../dryvox/traits.h"
extern "C" void VOXCALL setmsghook(voxmsghook);
using Traits = Dryvox;
constexpr bool kEcho = false;
constexpr bool kSrReset = true;
extern "C" int32_t VOXCALL wtalbin16(int32_t, int32_t, int32_t, int16_t*, int32_t, const int16_t*, int32_t, int32_t, int32_t,
                             int32_t, int32_t, int32_t);
#endif

namespace {

constexpr bool kBlock = Traits::block;

int32_t optimised(const vox::RenderArgs& a) {
#if defined(VOX_LIB_SCOREVOX)
  return wrtbin16(a.restart, a.startpos, a.sampdata, a.bufbytes, a.srdata, a.samprate, a.envtype, a.srweight,
                  a.transnum, a.transden, a.numecho, a.echodel, a.echogain, a.tracepos);
#elif defined(VOX_LIB_BLOCKVOX)
  return dwrblk16bin(a.blkdata, a.sampdata, a.bufbytes, a.srdata, a.samprate, a.envtype, a.srweight, a.numecho,
                     a.echodel, a.tracepos, a.echogain);
#else
  return wtalbin16(a.restart, a.srreset, a.startpos, a.sampdata, a.bufbytes, a.srdata, a.samprate, a.envtype,
                   a.srweight, a.transnum, a.transden, 0);
#endif
}

// The trace texts of the last call, in order.
std::string g_log;
void VOXCALL logmsg(const char* text, const char* caption) {
  g_log += text;
  g_log += '|';
  g_log += caption;
  g_log += '\n';
}

int32_t reference(const vox::RenderArgs& a) {
  vox::FpEnv env;
  return voxref::render<Traits>(a);
}

// splitmix64: the same cases on every platform and standard library.
class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed) {}
  uint64_t next() {
    uint64_t z = (s_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // Uniform in lo..hi, both included.
  int32_t in(int64_t lo, int64_t hi) {
    return static_cast<int32_t>(lo + static_cast<int64_t>(next() % static_cast<uint64_t>(hi - lo + 1)));
  }
  bool chance(int percent) { return in(0, 99) < percent; }
  template <class T, size_t N>
  T pick(const T (&v)[N]) {
    return v[static_cast<size_t>(in(0, N - 1))];
  }

 private:
  uint64_t s_;
};

// Everything a call may read or change, captured and restored as a whole.
struct State {
  int32_t datapos, srcnt, numtb;
  int32_t tblsize[12];
  float freqf[20];
  int32_t freqi[20];
  int32_t dur[20], trans[20], sampstdur[20], sampsttr[20], sampsttbl[8], sampstdif[8];
  std::array<int16_t, 12000> tail{};
  std::vector<int16_t> out;

  static State take(const std::vector<int16_t>& out) {
    State s{};
    s.datapos = ::datapos;
    s.srcnt = vox::srcnt;
    s.numtb = ::numtb;
    std::memcpy(s.tblsize, ::tblsize, sizeof ::tblsize);
    if constexpr (std::is_same_v<std::remove_reference_t<decltype(Traits::freq()[0])>, float>)
      std::memcpy(s.freqf, Traits::freq(), sizeof s.freqf);
    else
      std::memcpy(s.freqi, Traits::freq(), sizeof s.freqi);
    std::memcpy(s.dur, ::dur, sizeof s.dur);
    std::memcpy(s.trans, ::trans, sizeof s.trans);
    std::memcpy(s.sampstdur, ::sampstdur, sizeof s.sampstdur);
    std::memcpy(s.sampsttr, ::sampsttr, sizeof s.sampsttr);
    std::memcpy(s.sampsttbl, ::sampsttbl, sizeof s.sampsttbl);
    std::memcpy(s.sampstdif, ::sampstdif, sizeof s.sampstdif);
    auto t = Traits::tail();
    std::copy(t.begin(), t.end(), s.tail.begin());
    s.out = out;
    return s;
  }
  void put(std::vector<int16_t>& o) const {
    ::datapos = this->datapos;
    vox::srcnt = this->srcnt;
    ::numtb = this->numtb;
    std::memcpy(::tblsize, this->tblsize, sizeof ::tblsize);
    if constexpr (std::is_same_v<std::remove_reference_t<decltype(Traits::freq()[0])>, float>)
      std::memcpy(Traits::freq(), freqf, sizeof freqf);
    else
      std::memcpy(Traits::freq(), freqi, sizeof freqi);
    std::memcpy(::dur, this->dur, sizeof this->dur);
    std::memcpy(::trans, this->trans, sizeof this->trans);
    std::memcpy(::sampstdur, this->sampstdur, sizeof this->sampstdur);
    std::memcpy(::sampsttr, this->sampsttr, sizeof this->sampsttr);
    std::memcpy(::sampsttbl, this->sampsttbl, sizeof this->sampsttbl);
    std::memcpy(::sampstdif, this->sampstdif, sizeof this->sampstdif);
    auto t = Traits::tail();
    std::copy(tail.begin(), tail.begin() + static_cast<ptrdiff_t>(t.size()), t.begin());
    o = out;
  }
};

// The first difference between two states, or an empty text.
std::string diff(const State& a, const State& b) {
  auto arr = [](const char* name, const auto& x, const auto& y) -> std::string {
    if (std::memcmp(&x, &y, sizeof x) == 0) return {};
    return std::string(name) + " differs";
  };
  if (a.datapos != b.datapos) return "datapos " + std::to_string(a.datapos) + " vs " + std::to_string(b.datapos);
  if (a.srcnt != b.srcnt) return "srcnt " + std::to_string(a.srcnt) + " vs " + std::to_string(b.srcnt);
  for (size_t i = 0; i < a.out.size(); ++i)
    if (a.out[i] != b.out[i])
      return "sampdata[" + std::to_string(i) + "] " + std::to_string(a.out[i]) + " vs " + std::to_string(b.out[i]);
  std::string d;
  for (const std::string& s :
       {arr("freq", a.freqf, b.freqf), arr("freq", a.freqi, b.freqi), arr("dur", a.dur, b.dur),
        arr("trans", a.trans, b.trans), arr("sampstdur", a.sampstdur, b.sampstdur),
        arr("sampsttr", a.sampsttr, b.sampsttr), arr("sampsttbl", a.sampsttbl, b.sampsttbl),
        arr("sampstdif", a.sampstdif, b.sampstdif), arr("tailbuf", a.tail, b.tail)})
    if (d.empty()) d = s;
  return d;
}

// A random stream of whole events: phrases of rests and notes (gliding
// pitch chains, refused sets, unknown codes) ended by 149, then 139.
std::vector<int32_t> make_stream(Rng& g, size_t room, bool wild) {
  std::vector<int32_t> s;
  const int32_t pitchmax = kBlock ? 32767 : 65535;
  auto pitch = [&]() -> int32_t {
    if (wild && g.chance(5)) return g.in(kBlock ? -32768 : -70000, pitchmax);
    if (wild && g.chance(3)) return pitchmax;
    return Traits::tenths ? g.in(500, 20000) : g.in(40, 2000);
  };
  auto duration = [&](int32_t most) -> int32_t {
    if (wild && g.chance(4)) return g.in(-40, 255);
    if (g.chance(15)) return 0;
    return g.in(1, most);
  };
  for (;;) {
    std::vector<int32_t> ev;
    const int kind = g.in(0, 99);
    if (kind < 12) {
      ev = {vox::kRest, duration(30)};
    } else if (kind < 80) {
      const int32_t n = g.chance(80) ? g.in(1, 6) : g.in(7, 20);
      int32_t head = g.in(0, 12) * 100 + g.in(0, 10);
      if (wild && g.chance(3)) head = g.in(0, 20) * 100 + g.in(11, 99);  // a refused set
      if (wild && g.chance(2)) head = g.in(-3000, -1);
      ev = {vox::kRest + n, head};
      for (int32_t i = 0; i < n; ++i) {
        ev.push_back(pitch());
        ev.push_back(duration(n > 4 ? 10 : 40));
        if (i < n - 1) ev.push_back(duration(20));
      }
    } else if (kind < 92) {
      ev = {vox::kEndOfPhrase};
    } else if (kind < 96 && kBlock) {
      ev = {vox::kCaption};
    } else {
      ev = {g.pick({147, 148, 171, 200, 0, -5}), g.in(0, 400)};
    }
    if (s.size() + ev.size() + 2 > room) break;
    s.insert(s.end(), ev.begin(), ev.end());
  }
  s.push_back(vox::kEndOfPhrase);
  s.push_back(vox::kEndOfScore);
  return s;
}

struct Case {
  vox::RenderArgs args;
  std::vector<int16_t> block;
  std::vector<int16_t> echodel;
  std::vector<float> echogain;
  std::vector<int16_t> bg;
};

// Random engine contents and playing parameters; one case in six is "wild":
// negative and huge values wherever the engine promises defined results.
Case make_case(Rng& g, std::vector<int16_t>& out) {
  Case c;
  const bool wild = g.chance(17);
  // Wavetables: smooth shapes or full-range noise.
  for (auto& set : wtb)
    for (auto& stage : set)
      for (auto& v : stage) v = static_cast<int16_t>(g.chance(50) ? g.in(-32768, 32767) : g.in(-3000, 3000));
  numtb = g.chance(85) ? 6 : g.in(2, 6);
  if (wild && g.chance(5)) numtb = g.pick({0, 1, 7, 8});
  for (auto& t : tblsize) t = g.chance(70) ? g.pick({80, 64, 40}) : g.in(1, 80);
  if (wild && g.chance(20)) tblsize[g.in(0, 10)] = g.pick({0, 81, -4});
  for (auto& t : sampsttbl) t = g.in(-50000, 500000);  // what earlier calls left

  c.bg.resize(static_cast<size_t>(g.in(1, 3000)));
  for (auto& v : c.bg) v = static_cast<int16_t>(g.in(-32768, 32767));
  srlen = static_cast<int32_t>(c.bg.size());
  if (wild && g.chance(10)) srlen = 0;
  vox::srcnt = g.chance(90) ? g.in(0, srlen) : g.in(0, 5000);

  std::vector<int32_t> stream;
  if constexpr (kBlock) {
    stream = make_stream(g, 400, wild);
    c.block.resize(stream.size());
    std::transform(stream.begin(), stream.end(), c.block.begin(), [](int32_t w) { return static_cast<int16_t>(w); });
    c.args.blkdata = c.block.data();
  } else {
    const int32_t at = g.chance(90) ? 0 : 3000 - g.in(5, 60);  // near the end: events that would overrun
    stream = make_stream(g, static_cast<size_t>(g.chance(90) ? 400 : 3000 - at + 30), wild);
    std::fill(std::begin(tdata), std::end(tdata), vox::kEndOfScore);
    for (size_t i = 0; i < stream.size() && at + static_cast<int32_t>(i) < 3000; ++i)
      tdata[static_cast<size_t>(at) + i] = stream[i];
    datapos = g.chance(95) ? at : g.in(-10, 3010);
    c.args.restart = g.chance(80) ? 0 : g.pick({1, 0x10000, -1});
    c.args.startpos = at;
  }

  c.args.samprate = g.chance(80) ? g.pick({22050, 44100, 8000, 11025, 2000, 1000}) : g.in(1, 48000);
  if (wild && g.chance(30)) c.args.samprate = g.pick({1, 99, 100, 150, 2000000});
  c.args.envtype = g.in(0, 4);
  if (wild && g.chance(5)) c.args.envtype = g.pick({-1, 5});
  c.args.srweight = g.chance(70) ? g.in(0, 20) : g.in(-30, 1000);
  if (wild && g.chance(10)) c.args.srweight = g.pick({-10, -9, -11, 1000000});
  c.args.transnum = g.chance(60) ? 0 : g.in(-3, 12);
  c.args.transden = g.chance(60) ? 0 : g.in(-3, 12);
  if (wild && g.chance(30)) {
    c.args.transnum = g.pick({32767, -32768, 0x12345, 1});
    c.args.transden = g.pick({1, -1, 0x10000, 3});
  }
  if (kSrReset) c.args.srreset = g.chance(85) ? 0 : 1;
  // Diagnostics now and then: the trace texts must come in the same order.
  c.args.tracepos = g.chance(90) ? 0 : g.pick({1, -1, 5});

  if constexpr (kEcho) {
    const int32_t taps = g.chance(25) ? 0 : g.pick({1, 2, 3, 3, 8, 5});
    c.echodel.resize(static_cast<size_t>(std::max(taps, 1)));
    c.echogain.resize(c.echodel.size());
    for (auto& d : c.echodel) d = static_cast<int16_t>(g.chance(70) ? g.in(0, 700) : g.in(0, 3000));
    for (auto& f : c.echogain) f = static_cast<float>(g.in(0, 1000)) / 1000.0f;
    if (wild) {
      for (auto& d : c.echodel)
        if (g.chance(25)) d = static_cast<int16_t>(g.pick({-1, -300, 12500, 30000, -32768, 32767}));
      for (auto& f : c.echogain)
        if (g.chance(25)) f = g.pick({-2.5f, 3.0f, 1.0e9f, -7.0e12f, 0.0f, 1.0f});
    }
    c.args.numecho = taps;
    if (wild && g.chance(10)) c.args.numecho = -2;
    c.args.echodel = c.echodel.data();
    c.args.echogain = c.echogain.data();
  }

  // A buffer that ends notes and phrases at random, now and then tiny.
  // Long ones reach the end of the tone (2 to 2.8 s into a note).
  const int32_t bufbytes = g.chance(10) ? g.in(0, 7) : g.chance(95) ? g.in(8, 16000) : g.in(16000, 240000);
  out.assign(static_cast<size_t>(bufbytes / 2 + 16), 0);
  for (auto& v : out) v = static_cast<int16_t>(g.in(-32768, 32767));
  c.args.bufbytes = bufbytes;
  return c;
}

// Several calls in a row per case, each call started from the same state on
// both paths; the next call continues from what the calls left.
void run_cases(uint64_t seed, int cases) {
  setmsghook(logmsg);
  Rng g(seed);
  for (int k = 0; k < cases; ++k) {
    std::vector<int16_t> out;
    Case c = make_case(g, out);
    c.args.srdata = c.bg.data();
    const int calls = g.in(1, 4);
    for (int call = 0; call < calls; ++call) {
      c.args.sampdata = out.data();
      const State before = State::take(out);
      g_log.clear();
      const int32_t want = reference(c.args);
      const State expected = State::take(out);
      const std::string wantlog = g_log;
      before.put(out);
      c.args.sampdata = out.data();
      g_log.clear();
      const int32_t got = optimised(c.args);
      const State actual = State::take(out);
      ASSERT_EQ(got, want) << "case " << k << " call " << call;
      ASSERT_EQ(g_log, wantlog) << "case " << k << " call " << call;
      const std::string d = diff(expected, actual);
      ASSERT_TRUE(d.empty()) << "case " << k << " call " << call << ": " << d;
      c.args.restart = 0;
      c.args.srreset = 0;
    }
  }
  setmsghook(nullptr);
}

TEST(Differential, RandomStreamsAndParameters) { run_cases(20261211, 400); }

// The echo's portable path, which processors with SSE4.1 do not take.
TEST(Differential, EchoWithoutSse41) {
  if (!kEcho) GTEST_SKIP() << "no echo in this library";
  vox::round_allowed = false;
  run_cases(7, 150);
  vox::round_allowed = true;
}

// The crossfade and mix in pairs and one sample at a time, which processors
// with AVX do not take.
TEST(Differential, NarrowerCrossfadeLanes) {
  for (const vox::Lanes lanes : {vox::Lanes::two, vox::Lanes::one}) {
    vox::lanes_allowed = lanes;
    run_cases(lanes == vox::Lanes::two ? 21 : 22, 150);
  }
  vox::lanes_allowed = vox::Lanes::four;
}

}  // namespace
