// The blockvox traits: what its renderer and loader do differently from the
// other libraries. blockvox.cpp defines the variables named here and the exports;
// tests and benchmarks include this header to instantiate the engine's
// templates for blockvox directly.
#pragma once

#include <span>

#include "../core/engine.h"
#include "../core/loader.h"
#include "../core/platform.h"
#include "../core/render.h"

extern "C" {
VOXAPI extern int32_t freq[20];
VOXAPI extern int16_t tailbuf[12000];
}

namespace {

using vox::tracemsg;

struct Blockvox : vox::NoTrace {
  static constexpr vox::Lib lib = vox::Lib::blockvox;
  static constexpr bool scorefile = false;
  static constexpr bool block = true;
  static constexpr bool tenths = false;
  // The diagnostics switch 5 ends a call at its first playable event.
  static constexpr bool early_end = true;
  static constexpr int32_t early_end_code = -30;
  static constexpr vox::Clear clear = vox::Clear::always;
  static constexpr vox::LoadCodes codes{0, -20, -30, -40, -50, -55, -57, -58, 0};
  using Stream = vox::BlockStream;

  static Stream stream(const vox::RenderArgs& a) { return {a.blkdata}; }
  static int32_t (&freq())[20] { return ::freq; }
  static std::span<int16_t> tail() { return tailbuf; }

  static void on_setup(const vox::RenderArgs& a, int32_t) {
    if (a.tracepos == 0) return;
    const int32_t first = a.bufbytes / 2 >= 1 ? a.sampdata[0] : 0;
    tracemsg(false, "start,srlen %ld,sampdata[0] %d", {srlen, first});
  }
  static void on_cleared(int32_t tracepos) {
    if (tracepos != 0) tracemsg(false, "sampdata cleared", {});
  }
  static void on_event(int32_t tracepos, int32_t code, int32_t pos) {
    if (tracepos != 0 && pos <= 7) tracemsg(false, "code %d,datapos %d", {code, pos});
  }
  static void on_rest_sample(int32_t tracepos, int32_t numecho, bool echo, int32_t samppos, const int16_t* sampdata) {
    if (tracepos <= 0 || samppos > 4) return;
    tracemsg(false, "numecho %d,samppos %d", {numecho, samppos});
    if (!echo) tracemsg(false, "In else part, %ld", {static_cast<int64_t>(reinterpret_cast<intptr_t>(sampdata))});
  }
  static void on_note_read(int32_t tracepos, int32_t pos, int32_t freq0, int32_t totdur) {
    if (tracepos != 0 && pos <= 7) tracemsg(false, "freq[0] %d,totdur %d", {freq0, totdur});
  }
  static void on_note_totsamp(int32_t tracepos, int32_t pos, int32_t totsamp) {
    if (tracepos != 0 && pos <= 7) tracemsg(false, "totsamp %ld", {totsamp});
  }
  static void on_note_sample(int32_t tracepos, vox::Part part, int32_t samppos, int32_t val, int32_t bgpos) {
    if (part == vox::Part::steady && tracepos != 0 && samppos <= 7)
      tracemsg(false, "samppos %ld,val %d,srcnt %ld ", {samppos, val, bgpos});
  }
};

}  // namespace
