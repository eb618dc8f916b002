// Test-only seams of the kbase stand-in. Every call that the stand-in makes
// to the operating system (and to the heap) goes through one table of
// function pointers. A test build (KBASE_TESTING, on
// whenever kut is configured with KUT_TESTING) lets a test replace entries of
// that table to make the N-th call fail; a release kbase exports none of this.
//
// The usual pattern: take the current table, keep it to call through, replace
// one member with a function that fails when it should and otherwise calls
// the kept one, install it, and restore with KBASE_TestSetSyscalls(null).
#ifndef KBASE_TESTING_H
#define KBASE_TESTING_H

#include <stddef.h>
#include <stdio.h>
#include <wchar.h>
#include "kbase/export.h"

#ifdef __cplusplus
extern "C" {
#endif

// What a stat call answers, the same on every system.
typedef struct KBASE_STAT {
    long long size;       // bytes
    long long mtime;      // seconds since 1970-01-01 UTC
    unsigned short mode;  // the low 16 bits of st_mode
    int isDir;            // nonzero for a directory
} KBASE_STAT;

// Receives one directory entry (bare name) of a listing; isDir as above.
typedef void (*KBASE_LIST_SINK)(void* ctx, const wchar_t* name, int isDir);

typedef struct KBASE_SYSCALLS {
    // The mode is the caller's, in ASCII ("rb", "wb", "wt", "r", "r+").
    FILE* (*open)(const wchar_t* path, const char* mode);
    int (*remove)(const wchar_t* path);                  // 0 when removed
    int (*stat)(const wchar_t* path, KBASE_STAT* out);   // 0 when found; follows links
    int (*utime)(const wchar_t* path, long long mtime);  // access and change time
    int (*chmod)(const wchar_t* path, unsigned short mode);
    int (*mkdir)(const wchar_t* path);
    int (*rmdir)(const wchar_t* path);
    // Lists a directory: calls sink once per entry ("." and ".." included or
    // not, the caller drops them). 0 when the directory could be read.
    int (*list)(const wchar_t* dir, KBASE_LIST_SINK sink, void* ctx);
    void* (*alloc)(size_t n);
    void* (*realloc)(void* p, size_t n);
    void (*free)(void* p);
    // The system's own copy between two open streams (REP_FTransfer has the
    // contract): bytes moved, *atEnd set when the input ended first.
    long long (*transfer)(FILE* out, FILE* in, long long count, int* atEnd);
    // The current folder into out (cap wide characters, the terminator
    // included); 0 when there is one and it fits.
    int (*cwd)(wchar_t* out, size_t cap);
} KBASE_SYSCALLS;

// Copies the table in force into *out.
KBASE_API void KBASE_TestGetSyscalls(KBASE_SYSCALLS* out);
// Installs *table (every member must be set); null restores the system's.
KBASE_API void KBASE_TestSetSyscalls(const KBASE_SYSCALLS* table);

// The path syntax the services follow: the separator written, whether a
// path may begin with a drive ("C:"), whether name patterns ignore case.
// The system's own is in force; a test selects the other to check its rules
// on any system. Only the syntax changes: the table above still reaches this
// system's files. Unknown values select the native style.
#define KBASE_PATHS_NATIVE 0
#define KBASE_PATHS_POSIX 1    // '/' only, no drives, case kept
#define KBASE_PATHS_WINDOWS 2  // '\' written, '/' read too, drives, case folded
KBASE_API void KBASE_TestSetPathStyle(int style);

#ifdef __cplusplus
}
#endif
#endif
