// A frozen copy of the straightforward per-sample renderer, kept as the
// differential oracle and the benchmark baseline for the optimised engine.
// Engine fixes are ported here too; optimisations never are.
// The note synthesiser: turns one note event into samples. A phase
// accumulator steps through the note's wavetable set at the current pitch,
// the tone crossfades from one stage table to the next along the envelope
// breakpoints, and each tone value is mixed with the background and handed to
// the renderer's sample writer.
//
// Floating point decides the output bit for bit: expressions are evaluated in
// double and rounded to float exactly where a float is stored (ampfac, phase,
// phinc, glidefreq, glidestep, frac, freq); conversions and integer divisions
// truncate toward zero.
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

#include "../../core/arith.h"
#include "../../core/engine.h"
#include "../../core/notesynth.h"

namespace voxref {

// The types, constants and helpers that the two paths share.
using vox::add32;
using vox::Form;
using vox::kNoteDone;
using vox::kNoteFull;
using vox::kStages;
using vox::kTableMax;
using vox::kUnplayableSet;
using vox::mul32;
using vox::Part;
using vox::sub32;
using vox::trunc32;
using vox::wrap32;

// Stage breakpoints of envelope types 0..2, centiseconds from the note start.
inline constexpr int32_t kEnvTables[3][kStages] = {
    {0, 15, 50, 70, 120, 200},
    {0, 25, 70, 120, 180, 270},
    {0, 15, 50, 100, 180, 280},
};

// Sets the stage breakpoints for a renderer call (envtype 0..4).
inline void setsttbl(int32_t envtype, int32_t samprate) {
  if (envtype >= 3) {
    sampsttbl[0] = 0;  // the rest follow each note's length
    return;
  }
  const int32_t persec = samprate / 100;
  const int32_t count = numtb < kStages ? numtb : kStages;
  for (int32_t i = 0; i < count; ++i) sampsttbl[i] = mul32(persec, kEnvTables[envtype][i]);
}

// Table position of a phase: the wrapped index, the next index and the
// fraction phase - trunc(phase). A negative phase wraps its index into the
// table; a huge one keeps the exact integer's remainder.
struct TablePos {
  int32_t idx;
  int32_t nxt;
  float frac;
};
inline TablePos tablepos(float phase, int32_t size) {
  const double ph = phase;
  const double ip = std::trunc(ph);
  int32_t idx = 0;
  if (std::fabs(ip) < 2147483648.0)
    idx = static_cast<int32_t>(ip) % size;
  else if (std::isfinite(ip))
    idx = static_cast<int32_t>(std::fmod(ip, static_cast<double>(size)));
  if (idx < 0) idx += size;
  const float frac = std::isfinite(ph) ? static_cast<float>(ph - ip) : 0.0f;
  return {idx, idx + 1 == size ? 0 : idx + 1, frac};
}

// Linear interpolation in one wavetable: the difference is an exact integer,
// the sum is taken in double and truncated.
inline int32_t interp(const int16_t* table, const TablePos& tp) {
  const int32_t a = table[tp.idx];
  const int32_t d = table[tp.nxt] - a;
  return static_cast<int32_t>(static_cast<double>(a) + static_cast<double>(d) * static_cast<double>(tp.frac));
}

// Crossfade between stage values v0 and v1 at offset off into a span of
// span samples: the product in 64 bits, then the truncating division. A zero
// span gives the later stage.
inline int32_t crossfade(int32_t v0, int32_t v1, int64_t off, int32_t span) {
  if (span == 0) return v1;
  return wrap32(v0 + (int64_t{v1 - v0} * off) / span);
}

// Converts a pitch word of the stream into freq's element type; with a float
// element (scorevox, dryvox) the transposition ratio applies when its two
// terms differ.
template <class F, class R>
F pitchof(int32_t word, const R& r) {
  if constexpr (std::is_same_v<F, float>) {
    float f = static_cast<float>(word);
    if (r.transnum != r.transden) f = static_cast<float>(static_cast<double>(f) / r.transden * r.transnum);
    return f;
  } else {
    return word;
  }
}

// A phase step from tblsize x pitch / samprate: pitches in tenths of a hertz
// divide once more by 10.
template <class V>
double perstep(double x) {
  if constexpr (V::tenths)
    return x / 10;
  else
    return x;
}

// Plays one note of n segments (1..20). R is the renderer: it supplies the
// stream (next()), the call's parameters, the background sample and the
// sample writer; V is the library's traits (pitch unit, transposition, freq
// element type, trace texts). Returns kNoteDone, kNoteFull or an error code
// (-10 x set for a set above 10, kUnplayableSet).
template <class V, class R>
int32_t wrtnote(int32_t n, R& r) {
  auto& freq = V::freq();
  using F = std::remove_reference_t<decltype(freq[0])>;
  const int32_t head = r.next();
  int32_t amplev = head / 100;
  const int32_t tblset = head % 100;
  if (amplev == 0 || amplev > 9) amplev = 9;
  const float ampfac = static_cast<float>(amplev / 9.0);
  if (tblset > 10) return -10 * tblset;
  if (head < 0 || numtb < 2 || numtb > kStages || tblsize[tblset] < 1 || tblsize[tblset] > kTableMax)
    return kUnplayableSet;

  const int32_t samprate = r.samprate;
  int32_t totdur = 0;
  for (int32_t i = 0; i < n; ++i) {
    freq[i] = voxref::pitchof<F>(r.next(), r);
    dur[i] = r.next();
    totdur = add32(totdur, dur[i]);
    if (i < n - 1) {
      trans[i] = r.next();
      totdur = add32(totdur, trans[i]);
    }
  }
  V::on_note_read(r.trace, datapos, freq[0], totdur);

  sampstdur[0] = 0;
  for (int32_t i = 0; i < n; ++i) {
    sampsttr[i] = add32(sampstdur[i], mul32(samprate, dur[i]) / 100);
    if (i < n - 1) sampstdur[i + 1] = add32(sampsttr[i], mul32(samprate, trans[i]) / 100);
  }
  const int32_t totsamp = mul32(samprate, totdur) / 100;

  if (r.envtype >= 3) {
    sampsttbl[0] = 0;
    sampsttbl[1] = samprate / 20;
    sampsttbl[2] = sub32(totsamp, samprate / 4);
    sampsttbl[3] = sub32(totsamp, samprate / 10);
    sampsttbl[4] = totsamp;
  }
  for (int32_t k = 0; k <= numtb - 2; ++k) sampstdif[k] = sub32(sampsttbl[k + 1], sampsttbl[k]);
  V::on_note_totsamp(r.trace, datapos, totsamp);

  const int16_t(&tables)[kStages][kTableMax] = wtb[tblset];
  const int32_t size = tblsize[tblset];
  const bool tonestops = r.envtype <= 2;  // types 0..2 fall silent after the sixth breakpoint
  const double wscale = static_cast<double>(size);

  // One sample at notepos, after the phase has been advanced.
  int32_t notepos = 0;
  auto sample = [&](float phase, Part part) -> bool {
    const TablePos tp = tablepos(phase, size);
    int32_t stage = 0;
    while (stage < numtb - 1 && notepos >= sampsttbl[stage]) ++stage;
    --stage;
    const int32_t v0 = interp(tables[stage], tp);
    const int32_t v1 = interp(tables[stage + 1], tp);
    int32_t toneval = crossfade(v0, v1, int64_t{notepos} - sampsttbl[stage], sampstdif[stage]);
    if (tonestops && notepos > sampsttbl[5]) toneval = 0;
    const double mix = static_cast<double>(mul32(10, toneval)) * static_cast<double>(ampfac) +
                       static_cast<double>(mul32(r.background(), r.srweight));
    const int32_t val = trunc32(mix / static_cast<double>(r.divisor));
    if (r.wrtsamp(val, Form::note, part)) return true;
    ++notepos;
    return false;
  };

  float phase = 0.0f;
  for (int32_t i = 0; i < n; ++i) {
    const float phinc = static_cast<float>(perstep<V>(wscale * static_cast<double>(freq[i]) / samprate));
    while (notepos < sampsttr[i]) {
      phase = static_cast<float>(static_cast<double>(phase) + static_cast<double>(phinc));
      if (sample(phase, Part::steady)) return kNoteFull;
    }
    if (i == n - 1) break;
    const int32_t glidelen = mul32(trans[i], samprate) / 100;
    float glidefreq = static_cast<float>(freq[i]);
    float glidestep = 0.0f;
    if (glidelen != 0)
      glidestep = static_cast<float>((static_cast<double>(freq[i + 1]) - static_cast<double>(freq[i])) / glidelen);
    while (notepos < sampstdur[i + 1]) {
      glidefreq = static_cast<float>(static_cast<double>(glidefreq) + static_cast<double>(glidestep));
      phase = static_cast<float>(static_cast<double>(phase) +
                                 perstep<V>(wscale * static_cast<double>(glidefreq) / samprate));
      if (sample(phase, Part::glide)) return kNoteFull;
    }
  }
  return kNoteDone;
}

}  // namespace voxref
