#include "audio.h"

#include <algorithm>
#include <cmath>

#include <samplerate.h>
#include <sndfile.h>

namespace voxtool {

Bytes canonicalwav(const std::vector<int16_t>& samples, int rate) {
  Bytes b;
  b.reserve(44 + 2 * samples.size());
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
  };
  auto put16 = [&](uint32_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
  };
  auto tag = [&](const char* t) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(t[i]));
  };
  const auto datalen = static_cast<uint32_t>(2 * samples.size());
  tag("RIFF");
  put32(36 + datalen);
  tag("WAVE");
  tag("fmt ");
  put32(16);
  put16(1);  // PCM
  put16(1);  // mono
  put32(static_cast<uint32_t>(rate));
  put32(static_cast<uint32_t>(rate) * 2);
  put16(2);
  put16(16);
  tag("data");
  put32(datalen);
  for (int16_t s : samples) put16(static_cast<uint16_t>(s));
  return b;
}

std::vector<int16_t> importaudio(const std::string& path, int rate, ImportInfo* info) {
  SF_INFO si{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &si);
  if (f == nullptr) throw Error(path + ": cannot read as audio (" + sf_strerror(nullptr) + ")");
  std::vector<double> frames(static_cast<size_t>(si.frames) * static_cast<size_t>(si.channels));
  const sf_count_t got = sf_readf_double(f, frames.data(), si.frames);
  sf_close(f);
  if (got < 0) throw Error(path + ": read error");
  std::vector<float> mono(static_cast<size_t>(got));
  for (sf_count_t i = 0; i < got; ++i) {
    double sum = 0.0;
    for (int c = 0; c < si.channels; ++c) sum += frames[static_cast<size_t>(i * si.channels + c)];
    mono[static_cast<size_t>(i)] = static_cast<float>(sum / si.channels);
  }
  int outrate = si.samplerate;
  if (rate != 0 && rate != si.samplerate && !mono.empty()) {
    const double ratio = static_cast<double>(rate) / si.samplerate;
    std::vector<float> out(static_cast<size_t>(std::ceil(static_cast<double>(mono.size()) * ratio)) + 16);
    SRC_DATA d{};
    d.data_in = mono.data();
    d.input_frames = static_cast<long>(mono.size());
    d.data_out = out.data();
    d.output_frames = static_cast<long>(out.size());
    d.src_ratio = ratio;
    const int err = src_simple(&d, SRC_SINC_BEST_QUALITY, 1);
    if (err != 0) throw Error(path + ": cannot resample (" + src_strerror(err) + ")");
    out.resize(static_cast<size_t>(d.output_frames_gen));
    mono.swap(out);
    outrate = rate;
  } else if (rate != 0) {
    outrate = rate;
  }
  std::vector<int16_t> samples(mono.size());
  // libsndfile scales 16-bit samples by 1/32768 into floats: the inverse
  // gives them back exactly.
  for (size_t i = 0; i < mono.size(); ++i)
    samples[i] = static_cast<int16_t>(std::clamp(std::lround(static_cast<double>(mono[i]) * 32768.0), -32768L, 32767L));
  if (info != nullptr) *info = {si.frames, si.samplerate, si.channels, outrate};
  return samples;
}

}  // namespace voxtool
