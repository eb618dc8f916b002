// Extensions of kut for hosts, tools and tests, beyond the product
// interfaces: the message-box hook and direct access to language libraries
// (the tools read and write these files without constructing a K_MSG).
#ifndef KUT_KUT_EXT_H
#define KUT_KUT_EXT_H

#include "kut/types.h"

#ifdef __cplusplus
extern "C" {
#endif

// Every message box of the library goes through the hook when one is set.
// With none: MessageBoxW on Windows; on Linux "caption: text" on standard
// error and the answer 1 (OK). A null hook restores the default.
typedef int (*KUT_MessageBoxHook)(const wchar_t* text, const wchar_t* caption, unsigned style);
KUT_API void KUT_SetMessageBoxHook(KUT_MessageBoxHook hook);

// A language library by path, read through the same loader as K_MSG.
// KUT_LangLibString has the LoadStringW contract (at most cap-1 characters
// and a NUL, the count returned, 0 when absent).
KUT_API HMODULE KUT_LangLibOpen(const wchar_t* path);
KUT_API int KUT_LangLibString(HMODULE lib, unsigned int id, wchar_t* buf, int cap);
KUT_API void KUT_LangLibClose(HMODULE lib);

#ifdef __cplusplus
}
#endif
#endif
