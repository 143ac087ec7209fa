/* voxstate.h - the engine variables that all three libraries export with the
 * same types and sizes. Each library's header adds its own (freq, tdata,
 * tailbuf). Included by scorevox.h, blockvox.h and dryvox.h unless
 * VOX_DYNAMIC is defined. */
#ifndef VOXSTATE_H
#define VOXSTATE_H

#include "voxdefs.h"

VOXFN int16_t wtb[11][6][80]; /* wtb[set][stage][sample] */
VOXFN int32_t numtb;          /* stages per set */
VOXFN int32_t tblsize[12];    /* samples per table, per set */
VOXFN int32_t freqdim[5];     /* sets per bank layout: 11, 11, 5, 11, 11 */
VOXFN int32_t srlen;          /* background length in samples */
VOXFN int32_t datapos;        /* next word of the score stream to read */
/* The last note rendered: steady and glide durations (centiseconds), the
 * sample index where each steady part and each glide begins, the stage
 * breakpoints and their spans (samples). */
VOXFN int32_t dur[20], trans[20], sampstdur[20], sampsttr[20];
VOXFN int32_t sampsttbl[8], sampstdif[8];
VOXFN char msg[32]; /* the loader's last trace text, shortened (not blockvox) */

#endif
