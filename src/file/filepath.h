// Helpers shared by the file operations and the tree walks.
#ifndef KUT_FILE_FILEPATH_H
#define KUT_FILE_FILEPATH_H

#include <cwchar>
#include <filesystem>
#include "kut/types.h"

namespace kut::file {

// The one separator the file operations and walks insert and recognise:
// the system's own ('\\' on Windows, '/' elsewhere), so that the paths they
// build are native paths; on Windows a '/' is an ordinary character here.
constexpr wchar_t kSep = static_cast<wchar_t>(std::filesystem::path::preferred_separator);

inline bool IsSep(wchar_t c) { return c == kSep; }

// True when the path fits in a 260-character buffer with its terminator.
inline bool Fits(const wchar_t* path) { return path && std::wcslen(path) < static_cast<std::size_t>(KUT_PATH_MAX); }

inline void SetStatus(int* status, int value) {
    if (status) *status = value;
}

}  // namespace kut::file

#endif
