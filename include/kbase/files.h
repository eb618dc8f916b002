// File services. Paths are wide strings with the native separator; on Linux
// they are handed to the system as UTF-8. Results follow the product's
// conventions: 0 for success unless a function says otherwise.
#ifndef KBASE_FILES_H
#define KBASE_FILES_H

#include <stdio.h>
#include <wchar.h>
#include "kbase/export.h"

#ifdef __cplusplus
extern "C" {
#endif

// fopen with a wide path and a wide mode ("rb", "wb", "wt", "r" ...), passed
// to the system as it is: on Windows "wt" and "r" are text streams. Null on
// failure or for a null argument. As on Windows, a folder does not open
// (also on Linux), and a read-only file (on Linux: one whose mode lacks the
// owner's write bit, for root too) does not open for writing.
KBASE_API FILE* REP_FOpen(const wchar_t* path, const wchar_t* mode);
// Closes *stream (null is allowed, answer 0), sets *stream to null, returns
// fclose's answer.
KBASE_API int REP_FClose(FILE** stream);
// Moves up to `count` bytes from the position of `in` to the position of
// `out` inside the system, without passing them through the caller's memory
// (Linux: copy_file_range, else sendfile). Both streams are flushed first and
// left just past the bytes moved, as reads and writes of those bytes would
// have left them; when the input ends before `count` bytes, *atEnd (may be
// null) is set to 1 and so is the input's end-of-file indicator. Answers the
// bytes moved, and stops early (answering what it moved so far, *atEnd 0)
// whenever the system cannot go on: no such service, an input that is not a
// regular file, an output in append mode, both streams on one file, a read or
// write error. The caller then moves the rest with its own reads and writes,
// which meet and report any error themselves. On Windows it answers 0: the
// caller copies everything. Not one of the product library's functions: a
// caller that must run on the product's kbase uses it only on Linux.
KBASE_API long long REP_FTransfer(FILE* out, FILE* in, long long count, int* atEnd);
// Deletes a file; 0 when deleted, -1 when not (missing, a directory, no
// right, or read-only: the read-only attribute on Windows, a mode without
// the owner's write bit on Linux, for root too). A symbolic link is deleted
// itself, never its target.
KBASE_API short REP_FDel(const wchar_t* path);
// Length in bytes; -1 when the path is missing, is a directory or holds more
// than fits in an int.
KBASE_API int SYS_FileLen(const wchar_t* path);
// Modification time as DOS words in local time:
//   date = (year-1980)<<9 | month<<5 | day
//   time = hour<<11 | minute<<5 | seconds/2
// Get answers 0, or -1 (both words 0) when the path is missing; times before
// 1980 read as 1980-01-01 00:00:00, times after 2107 as 2107-12-31 23:59:58.
// Set gives the file that time (access and modification alike); 0 or -1.
KBASE_API short SYS_FileDateGet(const wchar_t* path, unsigned short* date, unsigned short* time);
KBASE_API short SYS_FileDateSet(const wchar_t* path, unsigned short date, unsigned short time);
// 16-bit access mode, 0 when the path does not exist: the low 16 bits of
// st_mode (type and permission bits; on Windows as _wstat64 reports them).
KBASE_API unsigned short SYS_FileAccess(const wchar_t* path);
// Gives the path the permission bits of `mode` (type bits are ignored; on
// Windows only the write bit counts). 0, or -1 on failure or for mode 0,
// which stands for "no such path" and is never set.
KBASE_API short SYS_FileMode(const wchar_t* path, unsigned short mode);
// Create or remove one directory (the parent must exist; the directory must
// be empty); 0 on success, -1 on failure.
KBASE_API short SYS_DirMake(const wchar_t* path);
KBASE_API short SYS_DirDel(const wchar_t* path);
// Splits a path into drive ("C:" on Windows, always empty on Linux),
// directory with its trailing separator, name, and extension with its dot, in
// static storage that the next call overwrites. The extension starts at the
// last dot of the name unless that dot is its first character (".profile" is
// a name). A part longer than 259 characters is cut to 259. Any address may
// be null; a null path gives four empty parts.
KBASE_API void SYS_FileSplit(const wchar_t* path, wchar_t** drive, wchar_t** dir, wchar_t** name, wchar_t** ext);
// Joins the parts (null parts allowed) into `out` (260): a separator is put
// between a directory that lacks one and a following name or extension, a dot
// before an extension that lacks one. A join that does not fit in 260
// characters (terminator included) leaves `out` empty and answers -1, so that
// a caller ignoring the answer names nothing; else 0.
KBASE_API short SYS_FileMerge(wchar_t* out, const wchar_t* drive, const wchar_t* dir, const wchar_t* name, const wchar_t* ext);
// Directory listing with the wildcards * (any run of characters) and ? (one
// character); "*.*" matches every name, as on Windows. Names compare
// case-sensitively on Linux, case-insensitively on Windows. The first call
// gives the search path (directory, separator, pattern; a pattern without a
// directory searches the current one); later calls give null and continue the
// same search (one search at a time; a new search path abandons the previous
// one). attrib bit 1 lists files, bit 2 directories. On Linux a symbolic link
// is a file, never a directory. "." and ".." are never listed, so that a
// walk cannot climb out of its tree. Names come in ascending order of their
// characters; a name that does not fit in 260 characters is left out.
// Writes the bare name into `name` (260) and returns 0, or -1 at the end
// (also for a directory that cannot be read).
KBASE_API short SYS_FileFind(const wchar_t* search, wchar_t* name, short attrib);

#ifdef __cplusplus
}
#endif
#endif
