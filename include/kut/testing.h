// Test-only hooks. They exist only in builds configured with KUT_TESTING
// (the test and asan presets); a release kut exports none of them.
#ifndef KUT_TESTING_H
#define KUT_TESTING_H

#include <stdio.h>
#include <wchar.h>

#include "kut/export.h"

#ifdef __cplusplus
extern "C" {
#endif

// Makes an allocation of kut's seam fail: the one after `after` more
// successful ones; with `persistent` every one from then on. -1 turns it off.
KUT_API void KUT_TestFailAlloc(long after, int persistent);
// Memory pressure: every allocation of kut's seam asking for more than
// `bytes` fails, smaller ones succeed; negative lifts the limit. Either
// function replaces what the other set.
KUT_API void KUT_TestFailAllocAbove(long long bytes);
// Number of allocations failed since the last KUT_TestFailAlloc or
// KUT_TestFailAllocAbove.
KUT_API long KUT_TestAllocFailures(void);

// Puts the text decoding back to its state at load: both data files unread
// (their tables cleared), the Latin dictionary in force, the last temporary
// name empty. Lets one process go through several first calls.
KUT_API void KUT_TestResetDecodeState(void);

// The operating-system calls of kut that a test may replace, one table as
// kbase has (kbase/testing.h): take the table in force, keep it to call
// through, replace a member, install the copy, restore with null.
typedef struct KUT_SYSCALLS {
    // Every file kut opens by name: the decoding data files and converted
    // texts, the unit files, the image file. The mode is the library's own
    // ("r", "w", "r+", "rb"); the system's entry always opens binary.
    // Language libraries are loaded by the system's loader, not here.
    FILE* (*open)(const wchar_t* path, const char* mode);
} KUT_SYSCALLS;

// Copies the table in force into *out.
KUT_API void KUT_TestGetSyscalls(KUT_SYSCALLS* out);
// Installs *table (every member must be set); null restores the system's.
KUT_API void KUT_TestSetSyscalls(const KUT_SYSCALLS* table);

#ifdef __cplusplus
}
#endif
#endif
