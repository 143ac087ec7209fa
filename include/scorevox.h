/* scorevox.h - the scorevox library: plays a score file with a multi-tap echo
 * and transposition. Pitches are in tenths of a hertz.
 *
 * A host calls rdbin16 once to load a score, a wavetable bank and a
 * background recording, then wrtbin16 again and again; each call renders one
 * phrase of 16-bit mono samples into the host's buffer and returns its length.
 * The library holds one engine per process; call it from one thread at a time.
 *
 * On Linux, read the engine variables through dlsym() (as a Windows host uses
 * GetProcAddress), or declare them as below in code built with -fPIC: the
 * library always works on its own variables, even when the host defines
 * globals of the same names. Define VOX_DYNAMIC to leave the data
 * declarations out (for hosts that load several libraries side by side). */
#ifndef SCOREVOX_H
#define SCOREVOX_H

#include "voxdefs.h"

/* Loader. Clears the echo tail, reads the background recording into srdata
 * (at least file length - 44 bytes), the bank into wtb/numtb/tblsize and the
 * score from byte scoreoffset into tdata; caption texts go to captext (each
 * byte b stored as b - 124 modulo 256, each caption closed by '~', no
 * terminating zero) and their stream positions to cappos. Never moves datapos.
 *
 * Result: the number of stream entries (the index of the end-of-score entry),
 * or:
 *   -10 / -20 / -30  the score / bank / background file cannot be opened
 *                    (also: not a regular file, or longer than 2^31-1 bytes)
 *   -35              the background recording has fewer than 1000 data bytes
 *   -40 / -45        the bank's stage count is 1 or less / 7 or more (wtb
 *                    holds 6 stages)
 *   -48              banklayout outside 0..4, or freqdim[banklayout] outside
 *                    1..11: the bank is not read and nothing of it changes
 *   -50              a table size in the bank is 81 or more
 *   -65              a note reaches past stream position 2960
 *   (e - 150) * 100  an invalid event byte e (-15000..-300, 2100..10500)
 *   -15100           the score ends where an event byte is expected, also
 *                    inside a caption that is never closed by the byte 250
 * When parsing stops at position 2960 or at the end of the file inside an
 * event, an end-of-score entry 139 is stored at the result's position.
 * Every file is closed before the loader returns, whatever the result.
 * With tracepos nonzero, trace texts are shown ("srlen %ld",
 * "srcnt %ld,SRDAT %u", "m %d, k %d, j%d", "Tdat %d, %d, %d, %d %d ");
 * msg keeps the first 31 characters of the last one. Tdat entries outside
 * tdata show 0. */
VOXFN int32_t VOXCALL rdbin16(const char *scorepath, const char *bankpath,
                              const char *srpath, int32_t scoreoffset,
                              char *captext, int32_t *cappos, void *srdata,
                              int32_t banklayout, int32_t tracepos);

/* Block renderer. Plays tdata from datapos (from startpos when the low 16 bits
 * of restart are nonzero) into sampdata (bufbytes / 2 samples).
 * transnum/transden use their low 16 bits as signed values; a transden of 0
 * means no transposition. numecho taps with echodel (samples) and echogain.
 *
 * Result:
 *   0..bufbytes/2    samples of the phrase (end of phrase read), or the
 *                    capacity when the buffer became full; the event in
 *                    progress is then dropped
 *   -1               end of score; datapos stays on it. Also when datapos
 *                    lies outside tdata or an event would run past its end
 *   -2               samprate < 1, envtype outside 0..4, srweight == -10 or
 *                    sampdata null: nothing changes
 *   -110..-990       -10 x set for a note naming a set above 10
 *   -100             a note on a negative set (a negative head word), on a set
 *                    whose tblsize is not 1..80, or with numtb outside 2..6
 * For both note refusals nothing is written for the note and datapos rests
 * after its head word.
 *
 * Further behaviour a host can rely on:
 *   - bufbytes below 2: the buffer is full before the first sample; nothing
 *     is written.
 *   - Echo: a delayed index outside the output buffer reads 0, a tail index
 *     at or beyond 10000 reads 0, negative delays never read outside the
 *     buffer. A null echodel or echogain means no echo. With no echodel the
 *     trace text shows 0 for echodel[0].
 *   - srlen of 0 or less (or a null srdata): the background is silent and is
 *     not read. A background position at or beyond srlen at the start of a
 *     call wraps to 0 first.
 *   - A zero stage span in the crossfade gives the later stage; the
 *     crossfade product is computed in 64 bits.
 *   - A negative phase wraps its table index into the table; conversions of
 *     huge values keep the low bits of the exact integer (output samples are
 *     always the low 16 bits of the computed value, never clipped).
 *   - Runs with the default floating-point environment whatever the host
 *     has set, and gives the host's environment back on return.
 * With tracepos nonzero, "numecho %d,echodel[0] %d,totdel %d" and, at each
 * end of phrase with echo, "totdel %d,samppos %ld" are shown. */
VOXFN int32_t VOXCALL wrtbin16(int32_t restart, int32_t startpos,
                               int16_t *sampdata, int32_t bufbytes,
                               const int16_t *srdata, int32_t samprate,
                               int32_t envtype, int32_t srweight,
                               int32_t transnum, int32_t transden,
                               int32_t numecho, const int16_t *echodel,
                               const float *echogain, int32_t tracepos);

/* Returns 1 and does nothing. */
VOXFN int32_t VOXCALL LibMain(int32_t, int32_t, int32_t, int32_t);

/* Replaces the message boxes by a hook (null: back to the default). */
VOXFN void VOXCALL setmsghook(voxmsghook hook);

typedef int32_t(VOXCALL *rdbin16_fn)(const char *, const char *, const char *,
                                     int32_t, char *, int32_t *, void *,
                                     int32_t, int32_t);
typedef int32_t(VOXCALL *wrtbin16_fn)(int32_t, int32_t, int16_t *, int32_t,
                                      const int16_t *, int32_t, int32_t,
                                      int32_t, int32_t, int32_t, int32_t,
                                      const int16_t *, const float *, int32_t);
typedef void(VOXCALL *setmsghook_fn)(voxmsghook);

#define SCOREVOX_BAD_LAYOUT (-48)

#ifndef VOX_DYNAMIC
#include "voxstate.h"
VOXFN int32_t tdata[3000];    /* the score event stream */
VOXFN float freq[20];         /* last note: segment pitches after transposition */
VOXFN int16_t tailbuf[10000]; /* the previous phrase's last samples */
#endif

#endif
