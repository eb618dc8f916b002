#include "tree_guard.h"

#include <vector>

#include "native.h"
#include "textconv.h"

namespace kuttools {

namespace {

using native::IsSep;

// The length of the root part of an absolute path ("/", "C:\",
// "\\server\share\"), 0 when there is none.
std::size_t RootLength(const std::wstring& p) {
#if defined(_WIN32)
    if (p.size() >= 3 && p[1] == L':' && IsSep(p[2])) return 3;
    if (p.size() >= 2 && IsSep(p[0]) && IsSep(p[1])) {
        std::size_t i = 2;
        for (int part = 0; part < 2; ++part) {  // server, then share
            while (i < p.size() && !IsSep(p[i])) ++i;
            if (part == 0 && i < p.size()) ++i;
        }
        return i < p.size() ? i + 1 : i;
    }
    return 0;
#else
    return !p.empty() && p[0] == L'/' ? 1 : 0;
#endif
}

// Without trailing separators, a root keeping its own.
std::wstring Trimmed(std::wstring p) {
    while (p.size() > 1 && IsSep(p.back()) && p.size() > RootLength(p)) p.pop_back();
    return p;
}

// The last name of a path ("" for a root).
std::wstring LastName(const std::wstring& path) {
    const std::wstring p = Trimmed(path);
    if (p.size() <= RootLength(p)) return std::wstring();
    std::size_t cut = p.size();
    while (cut > 0 && !IsSep(p[cut - 1])) --cut;
    return p.substr(cut);
}

// A resolved path and each folder above it, up to its root.
std::vector<std::wstring> Ancestors(const std::wstring& resolved) {
    std::vector<std::wstring> out;
    std::wstring p = Trimmed(resolved);
    const std::size_t root = RootLength(p);
    for (;;) {
        out.push_back(p);
        if (p.size() <= root) break;
        std::size_t cut = p.size();
        while (cut > root && !IsSep(p[cut - 1])) --cut;
        while (cut > root && IsSep(p[cut - 1])) --cut;
        if (cut == 0) break;
        p.resize(cut);
    }
    return out;
}

// Whether `id` is the folder `dir` itself (1), a folder above it (2), or
// neither (0). Checked by identity, `dir` resolved first.
int Holds(const native::FileId& id, const std::wstring& dir) {
    std::wstring resolved;
    if (dir.empty() || !native::FinalPath(dir, &resolved)) return 0;
    const std::vector<std::wstring> up = Ancestors(resolved);
    for (std::size_t i = 0; i < up.size(); ++i) {
        native::FileId a;
        if (native::GetFileId(up[i], &a, true) && native::SameFile(id, a)) return i == 0 ? 1 : 2;
    }
    return 0;
}

// Whether a resolved folder is the root of a file system: a root by name,
// its own parent, or on another device than its parent.
bool IsFileSystemRoot(const std::wstring& resolved) {
    const std::wstring p = Trimmed(resolved);
    if (p.size() <= RootLength(p)) return true;
    const std::vector<std::wstring> up = Ancestors(p);
    if (up.size() < 2) return true;
    native::FileId self, parent;
    if (!native::GetFileId(p, &self, true) || !native::GetFileId(up[1], &parent, true)) return false;
    return native::SameFile(self, parent) || self.volume != parent.volume;
}

}  // namespace

std::string RemovalRefusal(const std::wstring& path) {
    if (path.empty()) return "an empty path names no folder";
#if defined(_WIN32)
    if (path.size() == 2 && path[1] == L':') return "a bare drive names the current folder of that drive";
#endif
    std::wstring resolved;
    const bool reached = native::FinalPath(path, &resolved);
    const std::wstring last = LastName(path);
    if (last == L"." || last == L"..") {
        if (reached && IsFileSystemRoot(resolved)) return "it is the root of a file system";
        return "it names '.' or '..'; name the folder itself";
    }
    if (native::IsLink(Trimmed(path))) return std::string();  // the link alone goes, "link/" too
    if (!reached) {
        // Nothing there is nothing to protect; something there that cannot
        // be resolved is left alone.
        return native::Exists(path) ? "cannot tell which folder it is: " + native::LastSystemReason() : std::string();
    }
    if (IsFileSystemRoot(resolved)) return "it is the root of a file system";
    native::FileId id;
    if (!native::GetFileId(resolved, &id, true)) return "cannot tell which folder it is: " + native::LastSystemReason();
    switch (Holds(id, native::CurrentDir())) {
    case 1: return "it is the current folder";
    case 2: return "it holds the current folder";
    default: break;
    }
    switch (Holds(id, native::HomeDir())) {
    case 1: return "it is the home folder";
    case 2: return "it holds the home folder";
    default: break;
    }
    return std::string();
}

std::string CopyRefusal(const std::wstring& source, const std::wstring& destination) {
    native::FileId src;
    if (!native::GetFileId(source, &src, true)) return std::string();  // the caller reports a missing source
    // The nearest folder of the destination that exists: the parts below it
    // are made by the copy.
    std::wstring existing = Trimmed(destination), resolved;
    bool whole = true;
    while (!native::FinalPath(existing, &resolved)) {
        std::wstring p = Trimmed(existing);
        const std::size_t root = RootLength(p);
        std::size_t cut = p.size();
        while (cut > root && !IsSep(p[cut - 1])) --cut;
        if (cut == p.size()) return std::string();  // a root that cannot be reached: nothing to compare
        while (cut > root && IsSep(p[cut - 1])) --cut;
        existing = cut == 0 ? std::wstring(L".") : p.substr(0, cut);
        whole = false;
    }
    switch (Holds(src, resolved)) {
    case 1: return whole ? "the destination is the source" : "the destination is inside the source";
    case 2: return "the destination is inside the source";
    default: return std::string();
    }
}

}  // namespace kuttools
