// What the tree commands refuse to touch, decided before anything is
// touched and by identity (device and inode; on Windows volume serial number
// and file index) rather than by spelling: "/..", "//", "./x/..", a link or a
// bind mount name the same folder as their plain spelling does.
#ifndef KUTTOOLS_TREE_GUARD_H
#define KUTTOOLS_TREE_GUARD_H

#include <string>

namespace kuttools {

// Why the folder `path` must not be removed as a tree, or empty when it may.
// Refused are:
//  - an empty path;
//  - a path whose last name is "." or ".." (in any spelling: "./", "a/..");
//  - the root of a file system: "/", "//", "/.", "/.." and any folder on a
//    device other than its parent's (a mount point); on Windows "C:\",
//    "\\server\share\" and a volume mounted in a folder;
//  - on Windows a bare drive ("C:"), which names that drive's current folder;
//  - the current folder and every folder that holds it;
//  - the home folder and every folder that holds it.
// A path that is itself a symbolic link (a junction or directory symbolic
// link on Windows), with or without a separator at its end, is allowed
// whatever it points to: only the link goes, as
// `rm -r LINK` does. A path that does not exist is allowed too (there is
// nothing to remove; the caller says so).
std::string RemovalRefusal(const std::wstring& path);

// Why a tree may not be copied from the folder `source` to `destination`,
// or empty when it may: the destination is the source, or lies inside it,
// judged by the identity of the destination's nearest existing folder and
// of each folder above it, with every link resolved. Such a copy would walk
// into its own output and nest copies until paths overflow.
std::string CopyRefusal(const std::wstring& source, const std::wstring& destination);

}  // namespace kuttools

#endif
