// dryvox: plays a score file with transposition and without echo; pitches in
// hertz; the host can restart the background recording.
#include <span>

#include "../core/engine.h"
#include "../core/loader.h"
#include "../core/platform.h"
#include "../core/render.h"

extern "C" {
VOXAPI float freq[20];
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

extern "C" VOXAPI int32_t VOXCALL rdtalbin16(const char* scorepath, const char* bankpath, const char* srpath,
                                             int32_t scoreoffset, char* captext, int32_t* cappos, void* srdata,
                                             int32_t banklayout, int32_t tracepos) {
  vox::FpEnv env;
  return vox::load<Dryvox>({scorepath, bankpath, srpath, scoreoffset, captext, cappos, srdata, banklayout, tracepos});
}

// spare is not read.
extern "C" VOXAPI int32_t VOXCALL wtalbin16(int32_t restart, int32_t srreset, int32_t startpos, int16_t* sampdata,
                                            int32_t bufbytes, const int16_t* srdata, int32_t samprate,
                                            int32_t envtype, int32_t srweight, int32_t transnum, int32_t transden,
                                            int32_t /*spare*/) {
  vox::FpEnv env;
  return vox::render<Dryvox>({.restart = restart, .startpos = startpos, .srreset = srreset, .sampdata = sampdata,
                              .bufbytes = bufbytes, .srdata = srdata, .samprate = samprate, .envtype = envtype,
                              .srweight = srweight, .transnum = transnum, .transden = transden});
}
