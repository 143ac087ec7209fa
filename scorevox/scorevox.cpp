// scorevox: plays a score file with a multi-tap echo and transposition;
// pitches in tenths of a hertz.
#include <span>

#include "../core/engine.h"
#include "../core/loader.h"
#include "../core/platform.h"
#include "../core/render.h"

extern "C" {
VOXAPI float freq[20];
VOXAPI int16_t tailbuf[10000];
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

extern "C" VOXAPI int32_t VOXCALL rdbin16(const char* scorepath, const char* bankpath, const char* srpath,
                                          int32_t scoreoffset, char* captext, int32_t* cappos, void* srdata,
                                          int32_t banklayout, int32_t tracepos) {
  vox::FpEnv env;
  return vox::load<Scorevox>(
      {scorepath, bankpath, srpath, scoreoffset, captext, cappos, srdata, banklayout, tracepos});
}

extern "C" VOXAPI int32_t VOXCALL wrtbin16(int32_t restart, int32_t startpos, int16_t* sampdata, int32_t bufbytes,
                                           const int16_t* srdata, int32_t samprate, int32_t envtype,
                                           int32_t srweight, int32_t transnum, int32_t transden, int32_t numecho,
                                           const int16_t* echodel, const float* echogain, int32_t tracepos) {
  vox::FpEnv env;
  return vox::render<Scorevox>({.restart = restart, .startpos = startpos, .sampdata = sampdata,
                                .bufbytes = bufbytes, .srdata = srdata, .samprate = samprate,
                                .envtype = envtype, .srweight = srweight, .transnum = transnum,
                                .transden = transden, .numecho = numecho, .echodel = echodel,
                                .echogain = echogain, .tracepos = tracepos});
}
