// The operating-system layer of kut: the only code that knows which system
// it runs on. Each backend (platform_posix.cpp, platform_win32.cpp) provides
// the functions below; everything else in src/ is the same on both.
//
// ShowMessageBox and OpenFile are the library's entries to the last two:
// portable seams defined outside the backends (src/exports/messagebox.cpp,
// src/support/syscalls.cpp), so that hosts and tests can stand in.
//
// What a backend must provide:
//  - language libraries: load by path, read string N, free. ReadString has
//    the LoadStringW contract: at most cap-1 characters and a NUL, the count
//    returned, 0 when absent; a null handle reads the host program's own
//    string table (empty on Linux).
//  - the system message box (used when no hook is installed);
//  - opening a file by wide path (SystemOpenFile). Streams are always
//    binary: text-mode line ends are handled by decode/textio.h in the same
//    way on every platform;
//  - moving bytes between two open streams inside the system, where it can.
#ifndef KUT_PLATFORM_PLATFORM_H
#define KUT_PLATFORM_PLATFORM_H

#include <cstdio>
#include "kut/types.h"

namespace kut::platform {

HMODULE LoadLib(const wchar_t* path);
int ReadString(HMODULE lib, unsigned int id, wchar_t* buf, int cap);
void FreeLib(HMODULE lib);
// The user's UI language and the system's, as Windows language ids: those
// that pick a block's language in a library that holds several.
void ResourceLanguages(unsigned short* user, unsigned short* system);

// The box itself, without the hook (see ShowMessageBox).
int SystemMessageBox(const wchar_t* text, const wchar_t* caption, unsigned style);

// Every message box of the library goes through here: the hook installed by
// KUT_SetMessageBoxHook when there is one, else SystemMessageBox.
int ShowMessageBox(const wchar_t* text, const wchar_t* caption, unsigned style);

// fopen with a wide path; `mode` is a narrow C mode ("r", "w", "r+", ...),
// always opened binary. Null on failure.
std::FILE* SystemOpenFile(const wchar_t* path, const char* mode);

// Every file the library opens by name goes through here: SystemOpenFile,
// or in a test build the open of the table a test installed
// (KUT_TestSetSyscalls, src/support/syscalls.cpp).
std::FILE* OpenFile(const wchar_t* path, const char* mode);

// Moves up to `count` bytes from `in` to `out` inside the system, with the
// contract of kbase's REP_FTransfer: bytes moved, streams left just past
// them, *atEnd when the input ended first; it may stop at any point and the
// caller moves the rest itself. POSIX asks kbase; Windows answers 0, so that
// kut.dll imports from kbase.dll only what the product's own kbase.dll
// exports (a bounded chunked copy is all Windows gets).
long long TransferStreams(std::FILE* out, std::FILE* in, long long count, bool* atEnd);

}  // namespace kut::platform

#endif
