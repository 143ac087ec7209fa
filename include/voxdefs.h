/* voxdefs.h - calling convention, export macros and the diagnostics hook
 * shared by the public headers of scorevox, blockvox and dryvox. */
#ifndef VOXDEFS_H
#define VOXDEFS_H

#include <stdint.h>

/* Every exported function uses VOXCALL: __stdcall on 32-bit Windows, where
 * the export table carries the decorated names (wrtbin16@56), and the plain
 * C convention everywhere else. */
#if defined(_WIN32)
#  define VOXCALL __stdcall
#  if defined(VOX_BUILDING)
#    define VOXAPI __declspec(dllexport)
#  else
#    define VOXAPI __declspec(dllimport)
#  endif
#else
#  define VOXCALL
#  define VOXAPI __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#  define VOX_EXTERN_C extern "C"
#else
#  define VOX_EXTERN_C extern
#endif

#define VOXFN VOX_EXTERN_C VOXAPI

/* Diagnostics. The engine shows its trace texts as modal message boxes on
 * Windows and as one line on standard error elsewhere. A host that installs
 * a hook with setmsghook receives every such text instead, formatted, with
 * its caption (usually empty), in the order the engine produces them; the
 * engine goes on when the hook returns. A null hook restores the default.
 * The hook uses the same calling convention as the exports (VOXCALL, that is
 * __stdcall on 32-bit Windows). Each library has its own hook. */
typedef void(VOXCALL *voxmsghook)(const char *text, const char *caption);

/* Result codes shared by the three renderers beside those of each library. */
#define VOX_END_OF_SCORE (-1)     /* the end-of-score code was read */
#define VOX_BAD_PARAMS (-2)       /* samprate < 1, envtype outside 0..4,
                                     srweight == -10 or a null buffer:
                                     nothing is changed */
#define VOX_UNPLAYABLE_SET (-100) /* a note on a negative set, on a set whose
                                     table size is not 1..80, or with a stage
                                     count outside 2..6 */

#endif
