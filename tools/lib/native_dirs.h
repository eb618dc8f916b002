// The tools' operating-system layer (native.h), continued: where folders and
// links really are. Used by the tree commands to decide, by identity, what
// may be removed or copied into.
#ifndef KUTTOOLS_NATIVE_DIRS_H
#define KUTTOOLS_NATIVE_DIRS_H

#include <string>

namespace kuttools {
namespace native {

// Whether the path itself is a symbolic link, or on Windows a junction or a
// directory symbolic link (a name reparse point).
bool IsLink(const std::wstring& path);
// Removes a link itself (on Windows a directory link as a folder), never
// what it points to. False (errno / last error set) on failure.
bool RemoveLink(const std::wstring& path);

// The current folder, absolute; empty when it cannot be told.
std::wstring CurrentDir();
// The user's home folder: HOME, else the password database, on POSIX;
// USERPROFILE, else HOMEDRIVE and HOMEPATH, on Windows. Empty when none.
std::wstring HomeDir();
// The absolute path with every link resolved (realpath on POSIX, the final
// path of an open handle on Windows, without the \\?\ prefix). False when
// the path cannot be reached.
bool FinalPath(const std::wstring& path, std::wstring* out);

}  // namespace native
}  // namespace kuttools

#endif
