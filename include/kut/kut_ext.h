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

// The structure of a language library's string table, checked by kut's own
// reader on every platform: fn is called once per damaged block (a block cut
// by the end of the file, a string running past its block, data outside the
// image...), by block, with the numbers of the block that cannot be read
// (from the first damaged string to the block's last number; firstNumber is
// lastNumber + 1 when every string is whole but the block's size is wrong;
// 0 to 65535 when a directory lost entries and the blocks cannot be told)
// and an English description. Where LoadStringW hands out a text for one of
// those numbers, it is made of bytes past the block or the file. Returns the
// number of damaged blocks, or -1 when the file cannot be read or is not a
// PE image. The block's language is the one the loader reads for this user.
typedef void (*KUT_LangLibProblemFn)(void* ctx, unsigned firstNumber, unsigned lastNumber, const wchar_t* what);
KUT_API int KUT_LangLibCheck(const wchar_t* path, KUT_LangLibProblemFn fn, void* ctx);

#ifdef __cplusplus
}
#endif
#endif
