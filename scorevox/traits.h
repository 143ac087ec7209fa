// The scorevox traits: what its renderer and loader do differently from the
// other libraries. scorevox.cpp defines the variables named here and the exports;
// tests and benchmarks include this header to instantiate the engine's
// templates for scorevox directly.
#pragma once

#include <span>

#include "../core/engine.h"
#include "../core/loader.h"
#include "../core/platform.h"
#include "../core/render.h"

extern "C" {
VOXAPI extern float freq[20];
VOXAPI extern int16_t tailbuf[10000];
}

namespace {

struct Scorevox : vox::NoTrace {
  static constexpr vox::Lib lib = vox::Lib::scorevox;
  static constexpr bool scorefile = true;
  static constexpr bool block = false;
  static constexpr bool tenths = true;
  static constexpr bool early_end = false;
  static constexpr int32_t early_end_code = 0;
  static constexpr vox::Clear clear = vox::Clear::with_echo;
  static constexpr vox::LoadCodes codes{-10, -20, -30, -35, -40, -45, -50, -48, -65};
  using Stream = vox::TdataStream;

  static Stream stream(const vox::RenderArgs&) { return {tdata}; }
  static float (&freq())[20] { return ::freq; }
  static std::span<int16_t> tail() { return tailbuf; }
  static int32_t invalid_event(int32_t e) { return (e - vox::kRest) * 100; }

  static void on_setup(const vox::RenderArgs& a, int32_t totdel) {
    if (a.tracepos == 0) return;
    const int32_t first = a.numecho > 0 && a.echodel != nullptr ? a.echodel[0] : 0;
    vox::tracemsg(false, "numecho %d,echodel[0] %d,totdel %d", {a.numecho, first, totdel});
  }
};

}  // namespace
