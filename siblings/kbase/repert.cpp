// The product's folders, the search for configuration files and the ends of
// folder paths.
#include "kbase/kbase.h"
#include "internal.h"
#include "sys.h"

#include <cstdlib>
#include <cstdio>
#include <string>

namespace kbase {

bool CopyBounded(wchar_t* dst, std::size_t cap, const std::wstring& src) {
    if (!dst || cap == 0) return false;
    if (src.size() >= cap) {
        dst[0] = L'\0';
        return false;
    }
    std::wmemcpy(dst, src.c_str(), src.size() + 1);
    return true;
}

}  // namespace kbase

namespace {

constexpr int kKinds = 16;
std::wstring g_dirs[kKinds];
bool g_set[kKinds];

std::wstring EnvDir(int kind) {
    char var[32];
    std::snprintf(var, sizeof var, "KBASE_DIR_%d", kind);
    const char* v = std::getenv(var);
    if (!v || !*v) v = std::getenv("KBASE_ROOT");
    if (v && *v) return kbase::Widen(v);
    wchar_t buf[4096];
    return kbase::Sys().cwd(buf, sizeof buf / sizeof buf[0]) == 0 ? buf : L".";
}

// The file type bits of a stat mode, and the value of a regular file: the
// same on both systems.
constexpr unsigned short kTypeBits = 0xF000;
constexpr unsigned short kRegular = 0x8000;

bool IsRegularFile(const std::wstring& path) {
    KBASE_STAT st{};
    return kbase::Sys().stat(path.c_str(), &st) == 0 && (st.mode & kTypeBits) == kRegular;
}

std::wstring Folder(int kind) {
    std::wstring dir = (kind >= 0 && kind < kKinds && g_set[kind]) ? g_dirs[kind] : EnvDir(kind);
    if (!dir.empty() && !kbase::IsSep(dir.back())) dir += kbase::Paths().sep;
    return dir;
}

}  // namespace

extern "C" short REP_Repert(short /*reserved*/, short kind, const wchar_t* name, wchar_t* out) {
    if (!out) return -1;
    try {
        std::wstring path = Folder(kind);
        if (name) path += name;
        std::size_t cap = kind == 9 ? 520 : 260;
        return kbase::CopyBounded(out, cap, path) ? 0 : -1;
    } catch (...) {
        out[0] = L'\0';  // no memory for the path: no path, as for one too long
        return -1;
    }
}

extern "C" void REP_SetRepert(short kind, const wchar_t* dir) {
    if (kind < 0 || kind >= kKinds) return;
    if (!dir || !*dir) {
        g_set[kind] = false;
        g_dirs[kind].clear();
        return;
    }
    try {
        g_dirs[kind] = dir;
        g_set[kind] = true;
    } catch (...) {
        // No memory for the folder: the kind keeps its folder from before.
    }
}

extern "C" short REP_ChkCfg(int /*what*/, const wchar_t* name, wchar_t* path, short* found) {
    short ok = 0;
    if (path) path[0] = L'\0';
    if (name && path) {
        try {
            for (int kind : {1, 2}) {
                std::wstring full = Folder(kind) + name;
                if (full.size() >= 260) continue;
                if (IsRegularFile(full)) {
                    kbase::CopyBounded(path, 260, full);
                    ok = 1;
                    break;
                }
            }
        } catch (...) {
            // No memory for a path: not found.
        }
    }
    if (found) *found = ok;
    return ok;
}

extern "C" void REP_CutEndOfPath(wchar_t* path) {
    if (!path) return;
    std::size_t n = std::wcslen(path);
    // Keep the separator of a root ("/", "C:\") so that it still names the
    // root. "X:/" stays whole in either syntax: it is a drive's root, or on
    // POSIX a relative folder that names the same with the separator.
    bool isRoot = n == 1 || (n == 3 && path[1] == L':');
    if (n > 0 && !isRoot && kbase::IsSep(path[n - 1])) path[n - 1] = L'\0';
}

extern "C" void REP_AddEndOfPath(wchar_t* path) {
    if (!path) return;
    std::size_t n = std::wcslen(path);
    if (n > 0 && kbase::IsSep(path[n - 1])) return;
    if (n + 1 >= 260) return;
    path[n] = kbase::Paths().sep;
    path[n + 1] = L'\0';
}

extern "C" const wchar_t* KST_GetNameChar(int id) {
    switch (id) {
    case 6: return L"Warning";
    default: return L"";
    }
}
