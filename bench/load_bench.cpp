// Loading a 50 MB background recording through each library's loader
// (rdbin16, rdtalbin16, rdtbsrbn16), against a plain fread of the same file
// into memory. The loader should stay within about
// twice the plain read. The files are made in a temporary directory at start
// and removed at the end; both sides read them from the page cache.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "blockvox.h"
#include "dryvox.h"
#include "scorevox.h"

namespace {

constexpr size_t kDataBytes = 50u * 1024 * 1024;

struct Files {
  std::string dir, score, bank, background, longscore;

  Files() {
    char tmpl[] = "/tmp/voxbenchXXXXXX";
    if (mkdtemp(tmpl) == nullptr) std::abort();
    dir = tmpl;
    score = write("score.bin", {139});
    // Two stages, eleven sets of one sample.
    std::vector<uint8_t> b = {2, 0};
    for (int s = 0; s < 11; ++s) b.insert(b.end(), {1, 0, 0x10, 0, 0x20, 0});
    bank = write("bank.bin", b);
    std::vector<uint8_t> wav(44 + kDataBytes);
    for (size_t i = 0; i < wav.size(); ++i) wav[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    background = write("back.wav", wav);
    // The longest score: 2959 phrase ends and a note, then the end.
    std::vector<uint8_t> sc(2959 + 7, 149);
    const uint8_t note[7] = {151, 3, 0x85, 0x11, 0x30, 0x32, 139};
    std::copy(note, note + 7, sc.begin() + 2959);
    longscore = write("long.bin", sc);
  }
  ~Files() {
    for (const std::string* p : {&score, &bank, &background, &longscore}) std::remove(p->c_str());
    rmdir(dir.c_str());
  }
  std::string write(const char* name, const std::vector<uint8_t>& bytes) const {
    std::string p = dir + "/" + name;
    std::FILE* f = std::fopen(p.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    std::fclose(f);
    return p;
  }
};

const Files& files() {
  static Files f;
  return f;
}

std::vector<uint8_t>& buffer() {
  static std::vector<uint8_t> b(kDataBytes + 44);
  return b;
}

void BM_PlainFread(benchmark::State& state) {
  const Files& f = files();
  std::vector<uint8_t>& buf = buffer();
  for (auto _ : state) {
    std::FILE* fp = std::fopen(f.background.c_str(), "rb");
    const size_t got = std::fread(buf.data(), 1, buf.size(), fp);
    std::fclose(fp);
    if (got != kDataBytes + 44) state.SkipWithError("short read");
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kDataBytes + 44));
}
BENCHMARK(BM_PlainFread)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Rdbin16Background(benchmark::State& state) {
  const Files& f = files();
  std::vector<uint8_t>& buf = buffer();
  char captext[8];
  int32_t cappos[2];
  for (auto _ : state) {
    const int32_t r = rdbin16(f.score.c_str(), f.bank.c_str(), f.background.c_str(), 0, captext, cappos,
                              buf.data(), 0, 0);
    if (r != 0) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kDataBytes + 44));
}
BENCHMARK(BM_Rdbin16Background)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Rdtalbin16Background(benchmark::State& state) {
  const Files& f = files();
  std::vector<uint8_t>& buf = buffer();
  char captext[8];
  int32_t cappos[2];
  for (auto _ : state) {
    const int32_t r = rdtalbin16(f.score.c_str(), f.bank.c_str(), f.background.c_str(), 0, captext, cappos,
                                 buf.data(), 0, 0);
    if (r != 0) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kDataBytes + 44));
}
BENCHMARK(BM_Rdtalbin16Background)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Rdtbsrbn16Background(benchmark::State& state) {
  const Files& f = files();
  std::vector<uint8_t>& buf = buffer();
  for (auto _ : state) {
    const int32_t r = rdtbsrbn16(f.bank.c_str(), f.background.c_str(), buf.data(), 0, 0);
    if (r != 0) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kDataBytes + 44));
}
BENCHMARK(BM_Rdtbsrbn16Background)->Unit(benchmark::kMillisecond)->UseRealTime();

// The byte-wise readers on the longest score, beside the smallest legal
// background.
void BM_Rdbin16LongScore(benchmark::State& state) {
  const Files& f = files();
  std::vector<uint8_t>& buf = buffer();
  char captext[8];
  int32_t cappos[2];
  const std::string shortbg = f.write("short.wav", std::vector<uint8_t>(1044, 0));
  for (auto _ : state) {
    const int32_t r = rdbin16(f.longscore.c_str(), f.bank.c_str(), shortbg.c_str(), 0, captext, cappos,
                              buf.data(), 0, 0);
    if (r != 2963) state.SkipWithError("load failed");
  }
  std::remove(shortbg.c_str());
}
BENCHMARK(BM_Rdbin16LongScore)->Unit(benchmark::kMicrosecond);

}  // namespace
