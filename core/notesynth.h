// The note synthesiser: turns one note event into samples. A phase
// accumulator steps through the note's wavetable set at the current pitch,
// the tone crossfades from one stage table to the next along the envelope
// breakpoints, and each tone value is mixed with the background and written
// through the renderer's sample writer, a run of samples at a time.
//
// Floating point decides the output bit for bit: expressions are evaluated in
// double and rounded to float exactly where a float is stored (ampfac, phase,
// phinc, glidefreq, glidestep, frac, freq); conversions and integer divisions
// truncate toward zero.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "arith.h"
#include "engine.h"
#include "tonemix.h"

namespace vox {

enum class Form { note, rest };   // how the echo treats the sample
enum class Part { steady, glide };  // which part of a segment a note sample is in

// Outcomes of wrtnote besides its negative error codes.
inline constexpr int32_t kNoteDone = 0;
inline constexpr int32_t kNoteFull = 1;
inline constexpr int32_t kUnplayableSet = -100;

// Sets the stage breakpoints for a renderer call (envtype 0..4).
void setsttbl(int32_t envtype, int32_t samprate);

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

// The table position of a phase that moves by small steps (nxt is not
// set: see Lerp): the index is
// kept relative to a multiple of the table size, which is only worked out
// again when the phase leaves that period, so that a remainder is rarely
// taken. Huge and non-finite phases take tablepos.
struct TableCursor {
  int32_t size;
  int64_t base = 0;
  TablePos at(float phase) {
    if (!(std::fabs(phase) < 2147483648.0f)) return tablepos(phase, size);
    const int32_t ip = static_cast<int32_t>(phase);
    int64_t idx = int64_t{ip} - base;
    if (static_cast<uint64_t>(idx) >= static_cast<uint64_t>(size)) {
      int32_t m = ip % size;
      if (m < 0) m += size;
      base = int64_t{ip} - m;
      idx = m;
    }
    // phase - ip is exact in float: ip is the phase's own integer part.
    return {static_cast<int32_t>(idx), 0, phase - static_cast<float>(ip)};
  }
};

// Linear interpolation in one wavetable: the difference is an exact integer,
// the sum is taken in double and truncated.
inline int32_t interp(const int16_t* table, const TablePos& tp) {
  const int32_t a = table[tp.idx];
  const int32_t d = table[tp.nxt] - a;
  return static_cast<int32_t>(static_cast<double>(a) + static_cast<double>(d) * static_cast<double>(tp.frac));
}

// A table entry and its difference to the next, ready for interpolation:
// the same sum as interp's.
struct Lerp {
  double v;
  double d;
};
inline int32_t lerp(const Lerp* table, const TablePos& tp) {
  const Lerp& e = table[tp.idx];
  return static_cast<int32_t>(e.v + e.d * static_cast<double>(tp.frac));
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
    freq[i] = pitchof<F>(r.next(), r);
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

  const int32_t size = tblsize[tblset];
  const int32_t stages = numtb;
  // The set's tables as doubles, each entry with its difference to the next
  // (the last to the first), the two terms of the interpolation.
  Lerp tab[kStages][kTableMax];
  for (int32_t st = 0; st < stages; ++st) {
    const int16_t* t = wtb[tblset][st];
    for (int32_t i = 0; i < size; ++i)
      tab[st][i] = {static_cast<double>(t[i]), static_cast<double>(t[i + 1 == size ? 0 : i + 1] - t[i])};
  }
  // Types 0..2 fall silent after the sixth breakpoint: from this sample on
  // the note is the background alone.
  const int64_t toneend = r.envtype <= 2 ? int64_t{sampsttbl[5]} + 1 : INT64_MAX;
  const double wscale = static_cast<double>(size);
  const double amp = static_cast<double>(ampfac);
  const double divisor = static_cast<double>(r.divisor);
  const int32_t srweight = r.srweight;

  // Plays the samples of a steady part or a glide up to end (exclusive);
  // step() advances the phase and returns it. False when the buffer became
  // full. The part is cut into stretches over which the stage stays the same
  // and the tone neither starts nor stops, so that the stage search, the
  // stage's tables and its span are settled once per stretch.
  int32_t notepos = 0;
  TableCursor cursor{size};
  auto play = [&](int32_t end, auto& step, Part part) -> bool {
    while (notepos < end) {
      // The stage search of a single sample. Its result only grows with
      // notepos, and only when notepos reaches the breakpoint that stopped
      // the search.
      int32_t stage = 0;
      while (stage < stages - 1 && notepos >= sampsttbl[stage]) ++stage;
      int64_t stop = end;
      if (stage < stages - 1) stop = std::min<int64_t>(stop, sampsttbl[stage]);
      --stage;
      const bool silent = notepos >= toneend;
      if (!silent) stop = std::min(stop, toneend);
      const int32_t k = static_cast<int32_t>(std::min<int64_t>(stop - notepos, r.room()));
      if (k <= 0) return false;  // no room for a single sample

      int16_t* out = r.dry();
      auto bg = r.bg();
      if (silent) {
        // The phase is not needed any more: the tone stays silent to the end
        // of the note.
        for (int32_t j = 0; j < k; ++j)
          out[j] = low16(mixtrunc(static_cast<double>(mul32(bg.next(), srweight)) / divisor));
      } else {
        const Lerp* t0 = tab[stage];
        const Lerp* t1 = tab[stage + 1];
        const int32_t span = sampstdif[stage];
        int64_t off = int64_t{notepos} - sampsttbl[stage];
        auto emit = [&](int32_t j, int32_t toneval, int32_t bgval) {
          const double mix = static_cast<double>(mul32(10, toneval)) * amp +
                             static_cast<double>(mul32(bgval, srweight));
          out[j] = low16(mixtrunc(mix / divisor));
        };
        if (span == 0) {  // a zero span gives the later stage
          for (int32_t j = 0; j < k; ++j) emit(j, lerp(t1, cursor.at(step())), bg.next());
        } else if (span > 0 && off >= 0 && off + k - 1 <= std::min<int64_t>(INT32_MAX, int64_t{kToneReach} * span)) {
          // Nearly every sample: the phase is a running sum, so the tables'
          // values and the background are taken one sample after another;
          // the crossfade and the mix, with their two divisions, then run
          // over a chunk of samples at once.
          constexpr int32_t kChunk = 256;
          int32_t v0[kChunk];
          int32_t dv[kChunk];
          int32_t bgw[kChunk];
          ToneRun run{v0, dv, bgw, 0, 0, span, amp, divisor, nullptr};
          for (int32_t j0 = 0; j0 < k; j0 += kChunk) {
            const int32_t m = std::min(kChunk, k - j0);
            auto values = [&](auto present) {
              for (int32_t j = 0; j < m; ++j) {
                const TablePos tp = cursor.at(step());
                const int32_t a = lerp(t0, tp);
                v0[j] = a;
                dv[j] = lerp(t1, tp) - a;
                bgw[j] = mul32(present ? bg.next_present() : bg.next(), srweight);
              }
            };
            if (bg.data != nullptr)
              values(std::true_type{});
            else
              values(std::false_type{});
            run.n = m;
            run.off = static_cast<int32_t>(off);
            run.out = out + j0;
            tonemix(run);
            off += m;
          }
        } else {
          // Breakpoints out of order, or far past the last one: the
          // crossfade's 64-bit product and its 32-bit sum may wrap.
          const FixedDiv xdiv(span);
          for (int32_t j = 0; j < k; ++j) {
            const TablePos tp = cursor.at(step());
            const int32_t v0 = lerp(t0, tp);
            const int32_t v1 = lerp(t1, tp);
            emit(j, wrap32(v0 + xdiv(int64_t{v1 - v0} * off)), bg.next());
            ++off;
          }
        }
      }
      const bool full = r.commit(k, Form::note, part, bg.pos);
      notepos += k;
      if (full) return false;
    }
    return true;
  };

  // phase + phinc and glidefreq + glidestep are sums of two floats: their
  // exact sum rounded once to float, which float addition gives directly
  // (double holds more than twice float's precision, so the double sum
  // rounded to float is the same).
  float phase = 0.0f;
  const double rate = static_cast<double>(samprate);
  for (int32_t i = 0; i < n; ++i) {
    const float phinc = static_cast<float>(perstep<V>(wscale * static_cast<double>(freq[i]) / samprate));
    auto steady = [&phase, phinc] { return phase += phinc; };
    if (!play(sampsttr[i], steady, Part::steady)) return kNoteFull;
    if (i == n - 1) break;
    const int32_t glidelen = mul32(trans[i], samprate) / 100;
    float glidefreq = static_cast<float>(freq[i]);
    float glidestep = 0.0f;
    if (glidelen != 0)
      glidestep = static_cast<float>((static_cast<double>(freq[i + 1]) - static_cast<double>(freq[i])) / glidelen);
    auto glide = [&] {
      glidefreq += glidestep;
      phase = static_cast<float>(static_cast<double>(phase) +
                                 perstep<V>(wscale * static_cast<double>(glidefreq) / rate));
      return phase;
    };
    if (!play(sampstdur[i + 1], glide, Part::glide)) return kNoteFull;
  }
  return kNoteDone;
}

}  // namespace vox
