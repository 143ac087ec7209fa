// A second, plain renderer written from the engine's rules alone (event loop,
// rests, note synthesis, echo and tail), for the renderer fuzz targets to
// compare with the engine sample for sample. It knows one library at a time
// through RefLib and works on copies of the engine state.
//
// It renders exactly only inside the range where every rule is fully fixed:
// positive sample rates up to 30000, background weights and gains of modest
// size, echo delays of 0 or more whose running sums fit the tail, phases in
// 0..2^31, 32-bit products that do not overflow. Outside that range (or for
// refused parameters) it gives up and the call is not compared.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace fuzzhost {

struct RefLib {
  bool tenths;     // pitches in tenths of a hertz (scorevox)
  bool transpose;  // transnum / transden apply (scorevox, dryvox)
  bool block;      // blockvox: the host's block, 148 skipped alone, tracepos 5 ends the call
  int clear;       // 0 never, 1 with echo, 2 always
  size_t tailsize; // 0: no echo
  bool srreset;    // dryvox: the host can restart the background
};

struct RefState {
  std::vector<int32_t> stream;  // tdata, or the block widened
  int32_t datapos = 0, srcnt = 0;
  std::vector<int16_t> tail;
  int32_t sampsttbl[8] = {}, sampstdif[8] = {};
  double freq[20] = {};  // float or integer values, exactly
  int32_t dur[20] = {}, trans[20] = {}, sampstdur[20] = {}, sampsttr[20] = {};
};

struct RefCall {
  int32_t restart, startpos, srreset, bufbytes, samprate, envtype, srweight, transnum, transden, numecho, tracepos;
  const int16_t* echodel;
  const float* echogain;
};

// What the renderer reads of the bank and the background.
struct RefBank {
  const int16_t (*wtb)[6][80];
  const int32_t* tblsize;
  int32_t numtb;
  const int16_t* srdata;
  int32_t srlen;
};

class RefRenderer {
 public:
  RefRenderer(const RefLib& lib, const RefBank& bank, RefState& st, std::vector<int16_t>& out, const RefCall& c)
      : L(lib), B(bank), S(st), out_(out), c_(c) {}

  // The result, or false when the call lies outside the exact range.
  bool run(int32_t& result) {
    if (!inrange()) return false;
    cap_ = c_.bufbytes / 2;
    numecho_ = L.tailsize > 0 ? c_.numecho : 0;
    totdel_ = 0;
    for (int32_t t = 0; t < numecho_; ++t) totdel_ += c_.echodel[t];
    int16_t num = static_cast<int16_t>(c_.transnum), den = static_cast<int16_t>(c_.transden);
    if (den == 0) num = den = 1;
    num_ = num;
    den_ = den;
    if (L.clear == 2 || (L.clear == 1 && numecho_ >= 1))
      for (int32_t i = 0; i < cap_; ++i) out_[static_cast<size_t>(i)] = 0;
    if (L.block)
      S.datapos = 0;
    else if (static_cast<int16_t>(c_.restart) != 0)
      S.datapos = c_.startpos;
    if (L.srreset && static_cast<int16_t>(c_.srreset) != 0) S.srcnt = 0;
    if (S.srcnt >= B.srlen) S.srcnt = 0;
    setsttbl();
    result = events();
    return exact_;
  }

 private:
  bool inrange() const {
    if (c_.samprate < 100 || c_.samprate > 30000 || c_.envtype < 0 || c_.envtype > 4) return false;
    if (c_.srweight < -1000 || c_.srweight > 1000 || c_.srweight == -10) return false;
    if (B.srdata == nullptr || B.srlen < 1 || c_.bufbytes < 2) return false;
    if (L.tailsize > 0 && c_.numecho > 0) {
      if (c_.echodel == nullptr || c_.echogain == nullptr) return false;
      int64_t tap = c_.echodel[0], sum = 0;
      for (int32_t t = 0; t < c_.numecho; ++t) {
        const float g = c_.echogain[t];
        if (c_.echodel[t] < 0 || !(g >= -4.0f && g <= 4.0f)) return false;
        sum += c_.echodel[t];
        if (t > 0) tap += c_.echodel[t - 1];
        if (tap > static_cast<int64_t>(L.tailsize)) return false;
      }
      if (sum > static_cast<int64_t>(L.tailsize)) return false;
    }
    return true;
  }

  bool has(int64_t pos, int64_t count) const {
    return L.block || (pos >= 0 && pos + count <= static_cast<int64_t>(S.stream.size()));
  }
  int32_t next() { return S.stream[static_cast<size_t>(S.datapos++)]; }

  void setsttbl() {
    static const int32_t env[3][6] = {{0, 15, 50, 70, 120, 200}, {0, 25, 70, 120, 180, 270}, {0, 15, 50, 100, 180, 280}};
    if (c_.envtype >= 3) {
      S.sampsttbl[0] = 0;
      return;
    }
    for (int32_t i = 0; i < B.numtb && i < 6; ++i) S.sampsttbl[i] = (c_.samprate / 100) * env[c_.envtype][i];
  }

  int32_t events() {
    for (;;) {
      if (!has(S.datapos, 1)) return -1;
      const int32_t code = S.stream[static_cast<size_t>(S.datapos)];
      if (L.block && code == 148) {
        ++S.datapos;
        continue;
      }
      if (code == 149) {
        if (numecho_ >= 1) capture();
        ++S.datapos;
        return samppos_;
      }
      if (code == 139) return -1;
      const int32_t n = code - 150;
      if (n >= 0 && n <= 20 && !has(int64_t{S.datapos} + 1, n == 0 ? 1 : 3 * n)) return -1;
      ++S.datapos;
      if (L.block && c_.tracepos == 5) return -30;
      if (n < 0 || n > 20) {
        ++S.datapos;
        continue;
      }
      if (n == 0) {
        const int64_t count = fit(int64_t{c_.samprate} * next()) / 100;
        if (!exact_) return 0;
        for (int64_t i = 0; i < count; ++i) {
          const int32_t val = background() * c_.srweight / (c_.srweight + 10);
          if (wrtsamp(val, false)) return samppos_;
        }
        continue;
      }
      const int32_t r = note(n);
      if (!exact_) return 0;
      if (r == 1) return samppos_;
      if (r < 0) return r;
    }
  }

  int32_t background() const { return B.srdata[S.srcnt]; }

  // Stores a sample, applies the echo, advances the positions; true when full.
  bool wrtsamp(int32_t val, bool noteform) {
    const int32_t p = samppos_;
    out_[static_cast<size_t>(p)] = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(val)));
    if (numecho_ >= 1) {
      int16_t tapdel = c_.echodel[0];
      for (int32_t t = 0; t < numecho_; ++t) {
        const double g = c_.echogain[t];
        const double y = out_[static_cast<size_t>(p)];
        double v;
        if (p >= tapdel) {
          const double z = out_[static_cast<size_t>(p - tapdel)];
          v = noteform ? y * (1.0 - g) + std::trunc(z * g) : y * (1.0 - g) + z * g;
          tapdel = static_cast<int16_t>(tapdel + c_.echodel[t]);
        } else {
          v = y * (1.0 - g) + S.tail[static_cast<size_t>(p)] * g;
        }
        out_[static_cast<size_t>(p)] = static_cast<int16_t>(static_cast<uint16_t>(static_cast<int64_t>(std::trunc(v))));
      }
    }
    if (++S.srcnt >= B.srlen) S.srcnt = 0;
    ++samppos_;
    return samppos_ >= cap_;
  }

  void capture() {
    const int32_t start = samppos_ > totdel_ ? samppos_ - totdel_ : 0;
    for (int32_t i = 0; i < static_cast<int32_t>(L.tailsize) && i < totdel_ && i < samppos_; ++i)
      S.tail[static_cast<size_t>(i)] = out_[static_cast<size_t>(start + i)];
  }

  // A 32-bit product or sum that must not overflow to stay exact.
  int32_t fit(int64_t v) {
    if (v < INT32_MIN || v > INT32_MAX) exact_ = false;
    return static_cast<int32_t>(v);
  }

  // 0 done, 1 full, or an error code.
  int32_t note(int32_t n) {
    const int32_t head = next();
    int32_t amplev = head / 100;
    const int32_t tblset = head % 100;
    if (amplev == 0 || amplev > 9) amplev = 9;
    const float ampfac = static_cast<float>(amplev / 9.0);
    if (tblset > 10) return -10 * tblset;
    if (head < 0 || B.numtb < 2 || B.numtb > 6 || B.tblsize[tblset] < 1 || B.tblsize[tblset] > 80) return -100;
    const int32_t size = B.tblsize[tblset];
    const int32_t sr = c_.samprate;

    int64_t totdur = 0;
    for (int32_t i = 0; i < n; ++i) {
      const int32_t w = next();
      double f = w;
      if (L.transpose) {
        f = static_cast<float>(w);
        if (num_ != den_) f = static_cast<float>(f / den_ * num_);
      }
      S.freq[i] = f;
      S.dur[i] = next();
      totdur += S.dur[i];
      if (i < n - 1) {
        S.trans[i] = next();
        totdur += S.trans[i];
      }
    }
    S.sampstdur[0] = 0;
    for (int32_t i = 0; i < n; ++i) {
      S.sampsttr[i] = fit(int64_t{S.sampstdur[i]} + fit(int64_t{sr} * S.dur[i]) / 100);
      if (i < n - 1) S.sampstdur[i + 1] = fit(int64_t{S.sampsttr[i]} + fit(int64_t{sr} * S.trans[i]) / 100);
    }
    const int32_t totsamp = fit(int64_t{sr} * fit(totdur)) / 100;
    if (c_.envtype >= 3) {
      S.sampsttbl[0] = 0;
      S.sampsttbl[1] = sr / 20;
      S.sampsttbl[2] = fit(int64_t{totsamp} - sr / 4);
      S.sampsttbl[3] = fit(int64_t{totsamp} - sr / 10);
      S.sampsttbl[4] = totsamp;
    }
    for (int32_t k = 0; k <= B.numtb - 2; ++k) S.sampstdif[k] = fit(int64_t{S.sampsttbl[k + 1]} - S.sampsttbl[k]);
    if (!exact_) return 0;

    const double per = L.tenths ? 10.0 : 1.0;
    int32_t notepos = 0;
    float phase = 0.0f;
    auto sample = [&]() -> int32_t {  // 0 go on, 1 full, 2 outside the exact range
      if (!(phase >= 0.0f && phase < 2147483648.0f)) return 2;
      const int32_t ip = static_cast<int32_t>(phase);
      const int32_t idx = ip % size;
      const int32_t nxt = idx + 1 == size ? 0 : idx + 1;
      const float frac = static_cast<float>(static_cast<double>(phase) - ip);
      int32_t stage = 0;
      while (stage < B.numtb - 1 && notepos >= S.sampsttbl[stage]) ++stage;
      --stage;
      auto v = [&](int32_t s) {
        const int16_t* tb = B.wtb[tblset][s];
        return static_cast<int32_t>(tb[idx] + static_cast<double>(tb[nxt] - tb[idx]) * frac);
      };
      const int32_t v0 = v(stage), v1 = v(stage + 1);
      if (S.sampstdif[stage] == 0) return 2;
      const int64_t prod = int64_t{v1 - v0} * (int64_t{notepos} - S.sampsttbl[stage]);
      if (prod < INT32_MIN || prod > INT32_MAX) return 2;
      int64_t toneval = v0 + static_cast<int32_t>(prod) / S.sampstdif[stage];
      if (c_.envtype <= 2 && notepos > S.sampsttbl[5]) toneval = 0;
      if (10 * toneval < INT32_MIN || 10 * toneval > INT32_MAX) return 2;
      const double mix = (static_cast<double>(10 * toneval) * ampfac + background() * c_.srweight) / (c_.srweight + 10);
      if (!(std::fabs(mix) < 2147483648.0)) return 2;
      if (wrtsamp(static_cast<int32_t>(mix), true)) return 1;
      ++notepos;
      return 0;
    };
    for (int32_t i = 0; i < n; ++i) {
      const float phinc = static_cast<float>(size * S.freq[i] / sr / per);
      while (notepos < S.sampsttr[i]) {
        phase = static_cast<float>(static_cast<double>(phase) + phinc);
        const int32_t r = sample();
        if (r == 2) exact_ = false;
        if (r != 0) return r == 1 ? 1 : 0;
      }
      if (i == n - 1) break;
      const int32_t glidelen = fit(int64_t{S.trans[i]} * sr) / 100;
      float glidefreq = static_cast<float>(S.freq[i]);
      float glidestep = 0.0f;
      if (glidelen != 0) glidestep = static_cast<float>((S.freq[i + 1] - S.freq[i]) / glidelen);
      while (notepos < S.sampstdur[i + 1]) {
        glidefreq = static_cast<float>(static_cast<double>(glidefreq) + glidestep);
        phase = static_cast<float>(phase + size * static_cast<double>(glidefreq) / sr / per);
        const int32_t r = sample();
        if (r == 2) exact_ = false;
        if (r != 0) return r == 1 ? 1 : 0;
      }
    }
    return 0;
  }

  const RefLib& L;
  const RefBank& B;
  RefState& S;
  std::vector<int16_t>& out_;
  const RefCall& c_;
  int32_t cap_ = 0, numecho_ = 0, totdel_ = 0, samppos_ = 0;
  int32_t num_ = 1, den_ = 1;
  bool exact_ = true;
};

}  // namespace fuzzhost
