// Portable types of the kut interfaces.
//
// The interfaces were designed for 64-bit Windows, where `long` is 32 bits
// and `wchar_t` is UTF-16. KLONG keeps message numbers 32-bit on every
// platform. On Linux `wchar_t` is UTF-32: texts read from language libraries
// (UTF-16 in the file) are converted, a surrogate pair becoming one
// character. Buffer sizes (260, 520, 1024) count wchar_t elements on both.
#ifndef KUT_TYPES_H
#define KUT_TYPES_H

#include <cstdint>
#include <cwchar>

#include "kut/export.h"

#if defined(_WIN32)
typedef long KLONG;
typedef unsigned long KULONG;
// The handle type of windef.h, declared the same way so that a host that
// includes <windows.h> as well sees one type.
struct HINSTANCE__;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
#else
typedef std::int32_t KLONG;
typedef std::uint32_t KULONG;
// Opaque handle of a loaded language library; null means "not loaded".
struct KUT_LangLib;
typedef struct KUT_LangLib* HMODULE;
#endif

// Fixed buffer sizes of the interfaces, in wchar_t elements.
enum {
    KUT_PATH_MAX = 260,     // every path buffer
    KUT_TMPPATH_MAX = 520,  // the temporary-file folder of the file conversion
    KUT_TEXT_MAX = 1024     // message texts
};

#endif
