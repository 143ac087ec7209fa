// dryvox: plays a score file with transposition and without echo; pitches in
// hertz; the host can restart the background recording.
#include "traits.h"

extern "C" {
VOXAPI float freq[20];
}

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
