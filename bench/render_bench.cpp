// Renderer throughput, in output samples per second: the engine's renderer
// against the frozen per-sample copy in tests/reference/, in one run, on
// note-heavy phrases (notes of several segments gliding from pitch to pitch
// through all six stages, with rests between them) at 22050 and 44100
// samples per second, without echo and with 3 and 8 taps.
//
// Compiled once per library (VOX_LIB_SCOREVOX, _BLOCKVOX or _DRYVOX) with the
// engine sources, like the differential test. Benchmark names read
// "<lib>/<path>/<rate>/<taps>": <path> "engine" or "reference" measures one
// path's throughput, "speedup" runs both in turn and reports their ratio;
// bench/speedup.awk turns a run's JSON output into the speed-up line.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <vector>

#include "reference/render.h"

#if defined(VOX_LIB_SCOREVOX)
#include "../scorevox/traits.h"
using Traits = Scorevox;
constexpr const char* kLib = "scorevox";
constexpr int32_t kPitchUnit = 10;  // tenths of a hertz
#elif defined(VOX_LIB_BLOCKVOX)
#include "../blockvox/traits.h"
using Traits = Blockvox;
constexpr const char* kLib = "blockvox";
constexpr int32_t kPitchUnit = 1;
#elif defined(VOX_LIB_DRYVOX)
#include "../dryvox/traits.h"
using Traits = Dryvox;
constexpr const char* kLib = "dryvox";
constexpr int32_t kPitchUnit = 1;
#endif

namespace {

// One phrase: a rest, two notes of 2 s whose glides run through every
// stage of envelope type 0 (breakpoints up to 2 s), a shorter note of three
// segments, and a rest between them; then the end of the phrase.
std::vector<int32_t> phrase() {
  std::vector<int32_t> p = {150, 15};
  auto note = [&](int32_t head, std::initializer_list<int32_t> pitches, int32_t steady, int32_t glide, int32_t last) {
    p.push_back(150 + static_cast<int32_t>(pitches.size()));
    p.push_back(head);
    size_t i = 0;
    for (int32_t f : pitches) {
      p.push_back(f * kPitchUnit);
      p.push_back(++i < pitches.size() ? steady : last);
      if (i < pitches.size()) p.push_back(glide);
    }
  };
  note(905, {220, 262, 330, 294, 392}, 30, 12, 32);  // 4 x 42 + 32 = 200 cs
  p.insert(p.end(), {150, 10});
  note(702, {440, 392, 523, 494}, 40, 14, 38);  // 3 x 54 + 38 = 200 cs
  note(610, {330, 349, 262}, 30, 15, 30);       // 120 cs
  p.push_back(149);
  return p;
}

struct Setup {
  std::vector<int32_t> words;
  std::vector<int16_t> block;
  std::vector<int16_t> bg;
  std::vector<int16_t> out;
  int16_t echodel[8];
  float echogain[8];
};

Setup& setup() {
  static Setup s = [] {
    Setup n;
    // Six stages that morph from a sine towards a brighter wave.
    numtb = 6;
    for (int set = 0; set < 11; ++set) {
      tblsize[set] = set % 2 == 0 ? 80 : 64;
      for (int st = 0; st < 6; ++st)
        for (int i = 0; i < tblsize[set]; ++i) {
          const double x = 2 * 3.141592653589793 * i / tblsize[set];
          wtb[set][st][i] = static_cast<int16_t>(9000 * std::sin(x) + 1500.0 * st * std::sin(3 * x + set));
        }
    }
    n.bg.resize(48000);
    uint32_t r = 12345;
    for (auto& v : n.bg) {
      r = r * 1664525u + 1013904223u;
      v = static_cast<int16_t>(static_cast<int32_t>(r >> 16) % 4000 - 2000);
    }
    srlen = static_cast<int32_t>(n.bg.size());
    n.words = phrase();
    n.block.assign(n.words.begin(), n.words.end());
    n.words.push_back(139);
    n.block.push_back(139);
    if constexpr (!Traits::block)
      for (size_t i = 0; i < n.words.size(); ++i) tdata[i] = n.words[i];
    n.out.resize(600000);
    const int16_t del[8] = {1100, 450, 700, 300, 250, 900, 500, 350};
    const float gain[8] = {0.35f, 0.25f, 0.15f, 0.1f, 0.08f, 0.06f, 0.05f, 0.04f};
    for (int t = 0; t < 8; ++t) {
      n.echodel[t] = del[t];
      n.echogain[t] = gain[t];
    }
    return n;
  }();
  return s;
}

vox::RenderArgs args(int32_t rate, int32_t taps) {
  Setup& s = setup();
  vox::RenderArgs a;
  a.restart = 1;
  a.startpos = 0;
  a.blkdata = s.block.data();
  a.sampdata = s.out.data();
  a.bufbytes = static_cast<int32_t>(s.out.size() * 2);
  a.srdata = s.bg.data();
  a.samprate = rate;
  a.envtype = 0;
  a.srweight = 4;
  a.numecho = taps;
  a.echodel = s.echodel;
  a.echogain = s.echogain;
  return a;
}

template <bool Engine>
void BM_render(benchmark::State& state, int32_t rate, int32_t taps) {
  const vox::RenderArgs a = args(rate, taps);
  int64_t samples = 0;
  for (auto _ : state) {
    vox::FpEnv env;  // as every export holds one
    const int32_t n = Engine ? vox::render<Traits>(a) : voxref::render<Traits>(a);
    if (n <= 0) {
      state.SkipWithError("the phrase did not render");
      break;
    }
    samples += n;
    benchmark::DoNotOptimize(setup().out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(samples);
}

double cputime() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Both paths in turn within each iteration, each timed on the thread's CPU
// clock, so that a machine whose load changes during the run slows both
// alike: the counter "speedup" is the reference's time over the engine's.
void BM_speedup(benchmark::State& state, int32_t rate, int32_t taps) {
  const vox::RenderArgs a = args(rate, taps);
  double tref = 0;
  double teng = 0;
  int64_t samples = 0;
  for (auto _ : state) {
    vox::FpEnv env;
    const double t0 = cputime();
    const int32_t n = voxref::render<Traits>(a);
    benchmark::ClobberMemory();
    const double t1 = cputime();
    const int32_t m = vox::render<Traits>(a);
    benchmark::ClobberMemory();
    const double t2 = cputime();
    if (n <= 0 || m != n) {
      state.SkipWithError("the phrase did not render alike");
      break;
    }
    tref += t1 - t0;
    teng += t2 - t1;
    samples += n;
  }
  if (teng > 0) {
    state.counters["speedup"] = tref / teng;
    state.counters["engine_Msps"] = static_cast<double>(samples) / teng / 1e6;
    state.counters["reference_Msps"] = static_cast<double>(samples) / tref / 1e6;
  }
}

void register_all() {
  const bool echo = !Traits::tail().empty();
  for (int32_t rate : {22050, 44100})
    for (int32_t taps : {0, 3, 8}) {
      if (taps > 0 && !echo) continue;
      char name[64];
      std::snprintf(name, sizeof name, "%s/reference/%d/%d", kLib, rate, taps);
      benchmark::RegisterBenchmark(name, BM_render<false>, rate, taps)->Unit(benchmark::kMillisecond);
      std::snprintf(name, sizeof name, "%s/engine/%d/%d", kLib, rate, taps);
      benchmark::RegisterBenchmark(name, BM_render<true>, rate, taps)->Unit(benchmark::kMillisecond);
      std::snprintf(name, sizeof name, "%s/speedup/%d/%d", kLib, rate, taps);
      benchmark::RegisterBenchmark(name, BM_speedup, rate, taps)->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv) {
  register_all();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
