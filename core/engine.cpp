#include "engine.h"

extern "C" {
int16_t wtb[11][6][80];
int32_t numtb;
int32_t tblsize[12];
int32_t freqdim[5] = {11, 11, 5, 11, 11};
int32_t srlen;
int32_t datapos;
int32_t dur[20];
int32_t trans[20];
int32_t sampstdur[20];
int32_t sampsttr[20];
int32_t sampsttbl[8];
int32_t sampstdif[8];
char msg[32];
}

namespace vox {
int32_t srcnt;
}
