// The dryvox traits: what its renderer and loader do differently from the
// other libraries. dryvox.cpp defines the variables named here and the exports;
// tests and benchmarks include this header to instantiate the engine's
// templates for dryvox directly.
#pragma once

#include <span>

#include "../core/engine.h"
#include "../core/loader.h"
#include "../core/platform.h"
#include "../core/render.h"

extern "C" {
VOXAPI extern float freq[20];
}

namespace {

struct Dryvox : vox::NoTrace {
  static constexpr vox::Lib lib = vox::Lib::dryvox;
  static constexpr bool scorefile = true;
  static constexpr bool block = false;
  static constexpr bool tenths = false;
  static constexpr bool early_end = false;
  static constexpr int32_t early_end_code = 0;
  static constexpr vox::Clear clear = vox::Clear::never;
  static constexpr vox::LoadCodes codes{-10, -20, -30, -35, -40, -45, -50, -48, -65};
  using Stream = vox::TdataStream;

  static Stream stream(const vox::RenderArgs&) { return {tdata}; }
  static float (&freq())[20] { return ::freq; }
  static std::span<int16_t> tail() { return {}; }  // no echo, no tail
  static int32_t invalid_event(int32_t) { return -60; }
};

}  // namespace
