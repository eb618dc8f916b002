// Product directories and configuration files.
//
// Directory kinds: 1 configuration, 2 language libraries and the image file,
// 5 decoding data files, 9 temporary files. Before REP_SetRepert names one,
// the folder of kind N is $KBASE_DIR_N, else $KBASE_ROOT, else the current
// directory.
#ifndef KBASE_REPERT_H
#define KBASE_REPERT_H

#include <wchar.h>
#include "kbase/export.h"

#ifdef __cplusplus
extern "C" {
#endif

// Writes the full path of `name` in the folder of `kind` into `out`, which
// holds 260 wide characters (520 for kind 9). The folder part always ends
// with the native separator, so kind 9 with an empty name gives a prefix to
// which a file name is appended directly. Returns 0; when the path does not
// fit, `out` receives the empty string and the result is -1 (an empty path
// opens nothing, so a caller that ignores the result fails safely).
KBASE_API short REP_Repert(short reserved, short kind, const wchar_t* name, wchar_t* out);

// Names the folder of `kind` (null or empty: back to the environment
// default). Kinds 0 to 15 exist; others are ignored.
KBASE_API void REP_SetRepert(short kind, const wchar_t* dir);

// Looks for the configuration file `name` in the folder of kind 1, then of
// kind 2. Always writes *found: 1 and the full path in `path` (260) when the
// file exists, else 0 and an empty path. `what` is the caller's file class
// (270 for unit files) and does not change the search. Returns *found.
KBASE_API short REP_ChkCfg(int what, const wchar_t* name, wchar_t* path, short* found);

// Remove, or append, the trailing separator in place. Both read the same
// separators: the slash everywhere, and on Windows the backslash as well
// (the Windows API takes either). So a path ending with any of them gets
// nothing appended, and the one it ends with is cut; only one is cut. The
// separator appended is the native one. A root ("/", "\", "C:\", "C:/")
// keeps its separator. REP_AddEndOfPath assumes a 260-character buffer and
// leaves a path that has no room for one more character unchanged.
KBASE_API void REP_CutEndOfPath(wchar_t* path);
KBASE_API void REP_AddEndOfPath(wchar_t* path);

// Texts of the product. 6 is the caption of warning boxes; unknown numbers
// give an empty text. The result is static and never freed.
KBASE_API const wchar_t* KST_GetNameChar(int id);

#ifdef __cplusplus
}
#endif
#endif
