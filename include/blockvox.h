/* blockvox.h - the blockvox library: plays score blocks that the host hands
 * in with every call, with a multi-tap echo and a 12000-sample tail. Pitches
 * are whole hertz; there is no transposition and no score file.
 *
 * A host calls rdtbsrbn16 once to load a wavetable bank and a background
 * recording, then dwrblk16bin once per block. One engine per process; call it
 * from one thread at a time. On Linux, read the engine variables through
 * dlsym() or declare them (below) in code built with -fPIC; define
 * VOX_DYNAMIC to leave the data declarations out. */
#ifndef BLOCKVOX_H
#define BLOCKVOX_H

#include "voxdefs.h"

/* Loader. Clears the echo tail, reads the background recording into srdata
 * (at least file length - 44 bytes) and the bank into wtb/numtb/tblsize.
 * Never moves datapos and never writes msg.
 * Result: 0 when both have loaded, or:
 *   -20 / -30  the bank / background file cannot be opened (also: not a
 *              regular file, or longer than 2^31-1 bytes)
 *   -40        fewer than 1000 data bytes; shows "SrFile Err," (caption " ")
 *   -50 / -55  the bank's stage count is 1 or less / 7 or more (wtb holds 6
 *              stages); shows "numtb %d" with the count
 *   -57        a table size of 81 or more
 *   -58        banklayout outside 0..4, or freqdim[banklayout] outside
 *              1..11: the bank is not read and nothing of it changes
 * The two failure boxes are shown whatever tracepos; with tracepos nonzero
 * the trace texts "srlen %ld", "srpos %ld,SRDAT %u" and "m %d, k %d, j%d"
 * appear as well. Every file is closed before the loader returns. */
VOXFN int32_t VOXCALL rdtbsrbn16(const char *bankpath, const char *srpath,
                                 void *srdata, int32_t banklayout,
                                 int32_t tracepos);

/* Block renderer. Plays blkdata from its first word (datapos is set to 0)
 * into sampdata (bufbytes / 2 samples), which is cleared first at every call.
 *
 * THE BLOCK MUST END WITH 149 (end of phrase) OR 139 (end of score): the
 * renderer is not told the block's length and reads on until one of them,
 * or a full buffer, ends the call. A block without them is read past its end.
 *
 * Words are signed 16-bit. 148 is skipped alone; 150 d is a rest of d
 * centiseconds; 151..170 a note of 1..20 segments (head word 100 x level +
 * set, then pitch/steady/glide triples and a last pitch/steady pair); any
 * other code is skipped with the word after it.
 *
 * Result:
 *   0..bufbytes/2  samples of the phrase (149 read; the tail is captured when
 *                  there is echo), or the capacity when the buffer became
 *                  full: datapos then shows where the call stopped
 *   -1             end of score (139); datapos stays on it
 *   -2             samprate < 1, envtype outside 0..4, srweight == -10, or a
 *                  null sampdata or blkdata: nothing changes
 *   -30            tracepos is 5 and a playable code was read
 *   -110..-990     -10 x set for a note naming a set above 10
 *   -100           a note with a negative head word (a negative set), on a set
 *                  whose tblsize is not 1..80, or with numtb outside 2..6
 * The echo, background and numeric rules are those of scorevox.h (delays
 * outside the buffer read 0, tail indices at or beyond 12000 read 0, a null
 * echodel or echogain means no echo, srlen <= 0 means a silent background,
 * bufbytes below 2 writes nothing). With tracepos nonzero the renderer shows
 * its nine trace texts; a negative tracepos shows all but the two of the
 * rest loop. */
VOXFN int32_t VOXCALL dwrblk16bin(const int16_t *blkdata, int16_t *sampdata,
                                  int32_t bufbytes, const int16_t *srdata,
                                  int32_t samprate, int32_t envtype,
                                  int32_t srweight, int32_t numecho,
                                  const int16_t *echodel, int32_t tracepos,
                                  const float *echogain);

VOXFN int32_t VOXCALL LibMain(int32_t, int32_t, int32_t, int32_t);
VOXFN void VOXCALL setmsghook(voxmsghook hook);

typedef int32_t(VOXCALL *rdtbsrbn16_fn)(const char *, const char *, void *,
                                        int32_t, int32_t);
typedef int32_t(VOXCALL *dwrblk16bin_fn)(const int16_t *, int16_t *, int32_t,
                                         const int16_t *, int32_t, int32_t,
                                         int32_t, int32_t, const int16_t *,
                                         int32_t, const float *);
typedef void(VOXCALL *setmsghook_fn)(voxmsghook);

#define BLOCKVOX_EARLY_END (-30)
#define BLOCKVOX_BAD_LAYOUT (-58)

#ifndef VOX_DYNAMIC
#include "voxstate.h"
VOXFN int32_t freq[20];       /* last note's pitches, whole hertz */
VOXFN int16_t tailbuf[12000];
#endif

#endif
