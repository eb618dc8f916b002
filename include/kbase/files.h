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

// fopen with a wide path and a wide mode ("rb", "wb", "rt" ...). Streams are
// always opened in binary mode; null on failure.
KBASE_API FILE* REP_FOpen(const wchar_t* path, const wchar_t* mode);
// Closes *stream (null is allowed), sets *stream to null, returns fclose's answer.
KBASE_API int REP_FClose(FILE** stream);
// Deletes a file; 0 when deleted.
KBASE_API short REP_FDel(const wchar_t* path);
// Length in bytes, negative when the file cannot be measured.
KBASE_API int SYS_FileLen(const wchar_t* path);
// Modification time as DOS words in local time:
//   date = (year-1980)<<9 | month<<5 | day
//   time = hour<<11 | minute<<5 | seconds/2
KBASE_API short SYS_FileDateGet(const wchar_t* path, unsigned short* date, unsigned short* time);
KBASE_API short SYS_FileDateSet(const wchar_t* path, unsigned short date, unsigned short time);
// 16-bit access mode, 0 when the path does not exist. On Linux the low 16
// bits of st_mode (type and permission bits).
KBASE_API unsigned short SYS_FileAccess(const wchar_t* path);
KBASE_API short SYS_FileMode(const wchar_t* path, unsigned short mode);
KBASE_API short SYS_DirMake(const wchar_t* path);
KBASE_API short SYS_DirDel(const wchar_t* path);
// Splits a path into drive (always empty on Linux), directory with its
// trailing separator, name, and extension with its dot, in static storage
// that the next call overwrites. Any address may be null.
KBASE_API void SYS_FileSplit(const wchar_t* path, wchar_t** drive, wchar_t** dir,
                             wchar_t** name, wchar_t** ext);
// Joins the parts (null parts allowed) into `out` (260).
KBASE_API void SYS_FileMerge(wchar_t* out, const wchar_t* drive, const wchar_t* dir,
                             const wchar_t* name, const wchar_t* ext);
// Directory listing with the wildcards * and ?. The first call gives the
// search path (directory, separator, pattern); later calls give null and
// continue the same search. attrib 1 lists files, 2 directories. Writes the
// bare name into `name` (260) and returns 0, or -1 at the end.
KBASE_API short SYS_FileFind(const wchar_t* search, wchar_t* name, short attrib);

#ifdef __cplusplus
}
#endif
#endif
