// scorevox: plays a score file with a multi-tap echo and transposition;
// pitches in tenths of a hertz.
#include "traits.h"

extern "C" {
VOXAPI float freq[20];
VOXAPI int16_t tailbuf[10000];
}

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
