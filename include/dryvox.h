/* dryvox.h - the dryvox library: plays a score file with transposition and
 * without echo. Pitches are in hertz. The host can restart the background
 * recording from its first sample.
 *
 * A host calls rdtalbin16 once, then wtalbin16 again and again, one phrase
 * per call. One engine per process; call it from one thread at a time. On
 * Linux, read the engine variables through dlsym() or declare them (below)
 * in code built with -fPIC; define VOX_DYNAMIC to leave them out. */
#ifndef DRYVOX_H
#define DRYVOX_H

#include "voxdefs.h"

/* Loader: as rdbin16 of scorevox.h (same arguments, order, messages and
 * codes), except that there is no echo tail to clear and every invalid event
 * byte gives -60, as does the end of the file where an event byte is
 * expected (also inside a caption never closed by the byte 250).
 * Result: the stream length, or -10, -20, -30, -35, -40, -45 (stage count 7
 * or more), -48 (bad bank layout), -50, -60, -65. */
VOXFN int32_t VOXCALL rdtalbin16(const char *scorepath, const char *bankpath,
                                 const char *srpath, int32_t scoreoffset,
                                 char *captext, int32_t *cappos, void *srdata,
                                 int32_t banklayout, int32_t tracepos);

/* Block renderer: as wrtbin16 of scorevox.h, with pitches in hertz, no echo,
 * no messages, and an output buffer that is never cleared (samples beyond
 * the result keep what the host left there). When the low 16 bits of
 * srreset are nonzero the background starts again from its first sample.
 * spare is not read. Results: the phrase's samples or the capacity, -1, -2,
 * -10 x set, -100, as in scorevox.h. */
VOXFN int32_t VOXCALL wtalbin16(int32_t restart, int32_t srreset,
                                int32_t startpos, int16_t *sampdata,
                                int32_t bufbytes, const int16_t *srdata,
                                int32_t samprate, int32_t envtype,
                                int32_t srweight, int32_t transnum,
                                int32_t transden, int32_t spare);

VOXFN int32_t VOXCALL LibMain(int32_t, int32_t, int32_t, int32_t);
VOXFN void VOXCALL setmsghook(voxmsghook hook);

typedef int32_t(VOXCALL *rdtalbin16_fn)(const char *, const char *,
                                        const char *, int32_t, char *,
                                        int32_t *, void *, int32_t, int32_t);
typedef int32_t(VOXCALL *wtalbin16_fn)(int32_t, int32_t, int32_t, int16_t *,
                                       int32_t, const int16_t *, int32_t,
                                       int32_t, int32_t, int32_t, int32_t,
                                       int32_t);
typedef void(VOXCALL *setmsghook_fn)(voxmsghook);

#define DRYVOX_INVALID_EVENT (-60)
#define DRYVOX_BAD_LAYOUT (-48)

#ifndef VOX_DYNAMIC
#include "voxstate.h"
VOXFN int32_t tdata[3000];
VOXFN float freq[20];
#endif

#endif
