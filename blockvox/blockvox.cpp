// blockvox: plays score blocks handed in by the host, one block per call,
// with a multi-tap echo and a 12000-sample tail; pitches in whole hertz.
#include "traits.h"

extern "C" {
VOXAPI int32_t freq[20];
VOXAPI int16_t tailbuf[12000];
}

extern "C" VOXAPI int32_t VOXCALL rdtbsrbn16(const char* bankpath, const char* srpath, void* srdata,
                                             int32_t banklayout, int32_t tracepos) {
  vox::FpEnv env;
  return vox::load<Blockvox>(
      {.bankpath = bankpath, .srpath = srpath, .srdata = srdata, .banklayout = banklayout, .tracepos = tracepos});
}

extern "C" VOXAPI int32_t VOXCALL dwrblk16bin(const int16_t* blkdata, int16_t* sampdata, int32_t bufbytes,
                                              const int16_t* srdata, int32_t samprate, int32_t envtype,
                                              int32_t srweight, int32_t numecho, const int16_t* echodel,
                                              int32_t tracepos, const float* echogain) {
  vox::FpEnv env;
  return vox::render<Blockvox>({.blkdata = blkdata, .sampdata = sampdata, .bufbytes = bufbytes, .srdata = srdata,
                                .samprate = samprate, .envtype = envtype, .srweight = srweight,
                                .numecho = numecho, .echodel = echodel, .echogain = echogain,
                                .tracepos = tracepos});
}
