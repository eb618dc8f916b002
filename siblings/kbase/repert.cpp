#include "kbase/kbase.h"
#include "internal.h"

#include <cstdlib>
#include <cstdio>
#include <string>
#include <sys/stat.h>

#if defined(_WIN32)
#include <direct.h>
#else
#include <unistd.h>
#endif

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
#if defined(_WIN32)
    wchar_t buf[1024];
    if (_wgetcwd(buf, 1024)) return buf;
    return L".";
#else
    char buf[4096];
    if (getcwd(buf, sizeof buf)) return kbase::Widen(buf);
    return L".";
#endif
}

bool IsRegularFile(const std::wstring& path) {
#if defined(_WIN32)
    struct _stat64 st {};
    return _wstat64(path.c_str(), &st) == 0 && (st.st_mode & _S_IFREG) != 0;
#else
    struct stat st {};
    return ::stat(kbase::Narrow(path.c_str()).c_str(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

std::wstring Folder(int kind) {
    std::wstring dir = (kind >= 0 && kind < kKinds && g_set[kind]) ? g_dirs[kind] : EnvDir(kind);
    if (!dir.empty() && dir.back() != kbase::kSep
#if defined(_WIN32)
        && dir.back() != L'/'
#endif
    ) {
        dir += kbase::kSep;
    }
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
    // Keep the separator of a root ("/", "C:\") so that it still names the root.
    bool isRoot = n == 1 || (n == 3 && path[1] == L':');
    if (n > 0 && !isRoot && (path[n - 1] == kbase::kSep
#if defined(_WIN32)
        || path[n - 1] == L'/'
#endif
    )) {
        path[n - 1] = L'\0';
    }
}

extern "C" void REP_AddEndOfPath(wchar_t* path) {
    if (!path) return;
    std::size_t n = std::wcslen(path);
    if (n > 0 && path[n - 1] == kbase::kSep) return;
    if (n + 1 >= 260) return;
    path[n] = kbase::kSep;
    path[n + 1] = L'\0';
}

extern "C" const wchar_t* KST_GetNameChar(int id) {
    switch (id) {
    case 6: return L"Warning";
    default: return L"";
    }
}
