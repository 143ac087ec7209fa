// Writes the demo's raw background: two seconds of soft, slowly swelling
// noise over a low hum, as a 44100 Hz stereo float WAV file. The demo then
// imports it (mix-down, resampling to 22050 Hz, 16 bits) with
// `vox background import`, as a user would import a recording.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

#include <sndfile.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.wav\n", argv[0]);
    return 2;
  }
  constexpr int rate = 44100;
  constexpr int frames = 2 * rate;
  std::vector<float> data(2 * frames);
  uint32_t seed = 12345;
  double lowl = 0.0, lowr = 0.0;
  for (int i = 0; i < frames; ++i) {
    auto noise = [&seed]() {
      seed = seed * 1664525u + 1013904223u;  // a fixed sequence: the demo is reproducible
      return static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
    };
    lowl += 0.05 * (noise() - lowl);  // gentle low-pass: a breath-like hiss
    lowr += 0.05 * (noise() - lowr);
    const double t = static_cast<double>(i) / rate;
    const double swell = 0.6 + 0.4 * std::sin(2.0 * std::numbers::pi * 0.5 * t);
    const double hum = 0.04 * std::sin(2.0 * std::numbers::pi * 110.0 * t);
    data[2 * static_cast<size_t>(i)] = static_cast<float>(0.5 * swell * lowl + hum);
    data[2 * static_cast<size_t>(i) + 1] = static_cast<float>(0.5 * swell * lowr + hum);
  }
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(argv[1], SFM_WRITE, &info);
  if (f == nullptr) {
    std::fprintf(stderr, "%s: %s\n", argv[1], sf_strerror(nullptr));
    return 1;
  }
  const sf_count_t n = sf_writef_float(f, data.data(), frames);
  sf_close(f);
  return n == frames ? 0 : 1;
}
