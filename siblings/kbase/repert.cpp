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

std::string Narrow(const wchar_t* s) {
    std::string out;
    if (!s) return out;
    for (; *s; ++s) {
        auto c = static_cast<std::uint32_t>(*s);  // NOLINT(bugprone-signed-char-misuse,cert-str34-c): a wide code unit, not a byte
#if defined(_WIN32)
        // UTF-16: join a surrogate pair into one code point.
        if (c >= 0xD800 && c <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(s[1]) - 0xDC00);
            ++s;
        }
#endif
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            out += '?';
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring Widen(const char* s) {
    std::wstring out;
    if (!s) return out;
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    while (*p) {
        std::uint32_t c = *p;
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0) { out += static_cast<wchar_t>(0xFFFD); ++p; continue; }
        c &= extra == 0 ? 0x7F : extra == 1 ? 0x1F : extra == 2 ? 0x0F : 0x07;
        int i = 1;
        for (; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) break;
            c = (c << 6) | (p[i] & 0x3F);
        }
        if (i <= extra) { out += static_cast<wchar_t>(0xFFFD); ++p; continue; }
        p += extra + 1;
#if defined(_WIN32)
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
            continue;
        }
#endif
        out += static_cast<wchar_t>(c);
    }
    return out;
}

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
