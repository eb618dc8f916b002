// File utilities: streams, lengths, copies that keep a file's date, time and
// access mode, directories, and walks over directory trees.
//
// Every function takes first a pointer to a signed 32-bit status: 0 success,
// 255 failure (which channel carries a failure is given per function). Paths
// use the native separator and must fit in KUT_PATH_MAX (260) characters with
// their terminator; a longer path fails with the function's failure value and
// is never cut or copied past a buffer. Functions share static state (the
// copy buffer, the tree-operation roots): one thread at a time.
#ifndef KUT_FILE_H
#define KUT_FILE_H

#include <stdio.h>
#include "kut/types.h"

#ifdef __cplusplus
extern "C" {
#endif

// The numbers of this interface, by name.
enum {
    FILE_FAILED = 255,  // status (and result) of a failure
    // FTW_CTX.attrib, and the last argument of the walks: what the entry
    // pattern selects.
    FTW_FILES = 1,
    FTW_DIRS = 2,
    // FTW_CTX.kind: what the handler is shown.
    FTW_LIST_DIRS = 1,     // listing: a subdirectory's bare name
    FTW_LIST_ENTRIES = 2,  // listing: an entry's bare name
    FTW_VISIT_ENTRY = 4,   // visiting: an entry's full path
    FTW_VISIT_DIRS = 8,    // visiting the subdirectories
    FTW_LEAVE_OUT = 255,   // a listing handler's answer: not in the walk
    // The flags of _FILE_TreeCopy and _FILE_TreeRemove.
    FILE_TREE_COPY_FILES = 1,
    FILE_TREE_MAKE_DIRS = 2,
    FILE_TREE_REMOVE_FILES = 4,
    FILE_TREE_REMOVE_DIRS = 8,
    FILE_TREE_REMOVE_ROOT = 16
};

// ---- file operations -------------------------------------------------------

// Opens through REP_FOpen (always binary). Null and status 255 on failure.
KUT_API FILE* _FILE_FOpen(int* status, const wchar_t* path, const wchar_t* mode);
// Closes a stream (the caller's variable is left as it is); what REP_FClose
// answers, 0 for a null stream. Status always 0.
KUT_API int _FILE_FClose(int* status, FILE* stream);
// Length in bytes; negative, with status 255, when it cannot be measured.
KUT_API int _FILE_Len(int* status, const wchar_t* path);
// Copies `bytes` bytes from `in` to `out`: in one pass when a buffer for it
// can be had, else in equal parts, else in 1,024-byte passes through a static
// buffer. Answers the bytes not copied (negative when the input held more
// than asked for the last pass); status 255 unless 0. A short write loses its
// whole pass from the count. Memory stays bounded whatever the count: a pass
// larger than 1 MiB travels through a 1 MiB buffer, and that buffer is the
// allocation whose refusal shrinks the passes. On Linux, from 64 KiB on, the
// system moves the bytes (kbase's REP_FTransfer: copy_file_range, sendfile)
// after the streams are flushed, and both streams are repositioned just past
// what was moved (the input's end-of-file indicator set when it ran out);
// where the system stops, the passes go on by reading and writing.
KUT_API int _FILE_FCopy(int* status, FILE* out, FILE* in, int bytes);
// Copies a file with its date, time and access mode: 0 copied, 1 failed. The
// destination is deleted first and after any failure, so a failed copy never
// leaves one behind. Status is 0 on return either way. A destination path
// too long for the buffers fails at once and is left alone.
KUT_API int _FILE_Copy(int* status, const wchar_t* dest, const wchar_t* src);
// The packing stage of _FILE_Zip: writes nothing, leaves the name and the
// date-time (date word high, time word low) as they are, answers 0.
KUT_API int _FILE_FZip(int* status, FILE* out, FILE* in, wchar_t** name, unsigned int* dateTime, int level);
// Makes the packed copy of a file: an empty file with the source's date,
// time and access mode. Answers what the packing stage answered (0); on a
// failure the destination is deleted (one too long for the buffers is left
// alone). Status 0 on return.
KUT_API int _FILE_Zip(int* status, const wchar_t* dest, const wchar_t* src, int level);
// Writes into `out` (260) the directory of `dirSource` (drive and directory)
// joined with the name and extension of `nameSource`. An extension keeps at
// most 11 characters. A result that would not fit leaves `out` empty. Status 0.
KUT_API void _FILE_NamePaste(int* status, const wchar_t* nameSource, const wchar_t* dirSource, wchar_t* out);
// Creates every missing directory along the path, outermost first. The last
// component counts as a directory whether or not a separator follows it
// ("/a/b" and "/a/b/" both create /a and /a/b). Failures are not reported:
// result 0, status 0 (a path too long for the buffers creates nothing).
KUT_API int _FILE_MkDir(int* status, const wchar_t* path);
// Removes an empty directory: 0 when removed or absent; 1 with status 255
// when it cannot be removed (or the path is too long).
KUT_API int _FILE_RmDir(int* status, const wchar_t* path);

// ---- tree walks ------------------------------------------------------------

typedef struct FTW_CTX FTW_CTX;
// The operation applied to each entry: the entry's full path; 0 for success.
typedef int (*FTW_FILEFN)(const wchar_t* path);
// The caller's handler. While listing (kind 1 subdirectories, kind 2
// entries) it sees each bare name: 255 leaves it out of the walk, -1 ends
// the listing there, anything else takes it. While visiting (kind 4) it sees each full path, first with
// error 0: nonzero skips the entry; then, after a failed operation, with the
// failure in error: clearing error gives up (its answer becomes the visit's
// result, nonzero making the walk report 255), leaving it set tries again.
typedef int (*FTW_HANDLER)(const wchar_t* name, FTW_CTX* ctx);

struct FTW_CTX {
    FTW_FILEFN fileFn;           // operation on each entry, or null
    FTW_HANDLER handler;         // never null
    int depth;                   // depth handed to the subdirectories' walks
    int attrib;                  // 1 files, 2 directories
    int kind;                    // 1, 2 listing; 4 entries, 8 subdirectories visited
    int error;                   // the failed operation's result, or 0
    const wchar_t* path;         // listing: search path, then null; visiting: the directory
    const wchar_t* dirPattern;   // pattern of the subdirectories
    const wchar_t* filePattern;  // pattern of the entries
};

// Walk `root`: its entries matching filePattern (of the kind attrib selects)
// get fileFn, its subdirectories matching dirPattern are walked with depth
// minus 1 (depth 0 does nothing, a negative depth has no limit). _FILE_Ftw
// does a directory's entries before its subdirectories, _FILE_NFtw the
// subdirectories first. 0, or 255 when a listing, a scan or a subdirectory's
// walk failed or a visit's result was nonzero; the status gets the same.
KUT_API int _FILE_Ftw(int* status, const wchar_t* root, const wchar_t* dirPattern, const wchar_t* filePattern, FTW_FILEFN fileFn,
                      FTW_HANDLER handler, int depth, int attrib);
KUT_API int _FILE_NFtw(int* status, const wchar_t* root, const wchar_t* dirPattern, const wchar_t* filePattern, FTW_FILEFN fileFn,
                       FTW_HANDLER handler, int depth, int attrib);

// ---- tree operations -------------------------------------------------------
// The source and destination roots must both end with a separator or both
// not. Each returns 0 or 255; the status holds the last walk's result.

// flags: 1 copy the files, 2 create the directories (done first). The
// destination root itself must exist. An entry whose destination path would
// not fit fails like a failed copy (the handler decides).
KUT_API int _FILE_TreeCopy(int* status, const wchar_t* destRoot, const wchar_t* srcRoot, const wchar_t* dirPattern,
                           const wchar_t* filePattern, int flags, int depth, FTW_HANDLER handler);
// Creates the directories, then the packed copy of every entry.
KUT_API int _FILE_TreeZip(int* status, const wchar_t* destRoot, const wchar_t* srcRoot, const wchar_t* dirPattern,
                          const wchar_t* filePattern, int level, int depth, FTW_HANDLER handler);
// flags: 4 remove the files, 8 the subdirectories (bottom up), 16 the root.
// A null root: 255 without touching the status.
KUT_API int _FILE_TreeRemove(int* status, const wchar_t* root, const wchar_t* dirPattern, const wchar_t* filePattern, int flags,
                             int depth, FTW_HANDLER handler);
// Shows the handler every subdirectory (kind 1) and entry (kind 2) by bare
// name, bottom up, operating on nothing. A null root: 255, status untouched.
KUT_API int _FILE_TreeScan(int* status, const wchar_t* root, const wchar_t* dirPattern, const wchar_t* filePattern, int depth,
                           FTW_HANDLER handler);

#ifdef __cplusplus
}
#endif
#endif
