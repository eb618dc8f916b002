// File services of the stand-in: streams, lengths, DOS dates, access modes,
// directories and the splitting and joining of paths.
#include "kbase/files.h"
#include "internal.h"
#include "sys.h"

#include <climits>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr std::size_t kPath = 260;

using kbase::IsSep;

// Cuts a part to what a 260 buffer holds.
void CopyPart(wchar_t* dst, const wchar_t* src, std::size_t n) {
    if (n > kPath - 1) n = kPath - 1;
    std::wmemcpy(dst, src, n);
    dst[n] = L'\0';
}

}  // namespace

// The mode goes to the system as it is: on Windows "wt" and "r" are text
// streams with CR LF line ends, as the host asked. The POSIX backend has no
// text mode.
extern "C" FILE* REP_FOpen(const wchar_t* path, const wchar_t* mode) {
    if (!path || !mode || !*path || !*mode) return nullptr;
    // A few letters at most; a longer mode is no mode fopen knows.
    char cmode[8];
    std::size_t n = 0;
    for (const wchar_t* m = mode; *m; ++m) {
        if (*m > 0x7F || n + 1 >= sizeof cmode) return nullptr;
        cmode[n++] = static_cast<char>(*m);
    }
    cmode[n] = '\0';
    return kbase::Sys().open(path, cmode);
}

extern "C" int REP_FClose(FILE** stream) {
    if (!stream || !*stream) return 0;
    int answer = std::fclose(*stream);
    *stream = nullptr;
    return answer;
}

extern "C" long long REP_FTransfer(FILE* out, FILE* in, long long count, int* atEnd) {
    int end = 0;
    long long moved = out && in && count > 0 ? kbase::Sys().transfer(out, in, count, &end) : 0;
    if (atEnd) *atEnd = end;
    return moved;
}

extern "C" short REP_FDel(const wchar_t* path) {
    if (!path || !*path) return -1;
    return kbase::Sys().remove(path) == 0 ? 0 : -1;
}

extern "C" int SYS_FileLen(const wchar_t* path) {
    KBASE_STAT st{};
    if (!path || !*path || kbase::Sys().stat(path, &st) != 0 || st.isDir) return -1;
    if (st.size < 0 || st.size > INT_MAX) return -1;
    return static_cast<int>(st.size);
}

extern "C" short SYS_FileDateGet(const wchar_t* path, unsigned short* date, unsigned short* time) {
    if (date) *date = 0;
    if (time) *time = 0;
    KBASE_STAT st{};
    if (!path || !*path || kbase::Sys().stat(path, &st) != 0) return -1;
    std::tm tm{};
    if (!kbase::LocalTime(st.mtime, &tm)) return -1;
    int year = tm.tm_year + 1900;
    unsigned d, t;
    if (year < 1980) {
        d = (1u << 5) | 1u;
        t = 0;
    } else if (year > 2107) {
        d = (127u << 9) | (12u << 5) | 31u;
        t = (23u << 11) | (59u << 5) | 29u;
    } else {
        d = (static_cast<unsigned>(year - 1980) << 9) | (static_cast<unsigned>(tm.tm_mon + 1) << 5) |
            static_cast<unsigned>(tm.tm_mday);
        // A leap second (60) still fits in the 5 bits as 30.
        t = (static_cast<unsigned>(tm.tm_hour) << 11) | (static_cast<unsigned>(tm.tm_min) << 5) |
            static_cast<unsigned>(tm.tm_sec / 2);
    }
    if (date) *date = static_cast<unsigned short>(d);
    if (time) *time = static_cast<unsigned short>(t);
    return 0;
}

extern "C" short SYS_FileDateSet(const wchar_t* path, unsigned short date, unsigned short time) {
    if (!path || !*path) return -1;
    std::tm tm{};
    tm.tm_year = (date >> 9) + 80;
    tm.tm_mon = ((date >> 5) & 0x0F) - 1;
    tm.tm_mday = date & 0x1F;
    tm.tm_hour = time >> 11;
    tm.tm_min = (time >> 5) & 0x3F;
    tm.tm_sec = (time & 0x1F) * 2;
    tm.tm_isdst = -1;  // let the zone rules say whether summer time applies
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return -1;
    return kbase::Sys().utime(path, static_cast<long long>(t)) == 0 ? 0 : -1;
}

extern "C" unsigned short SYS_FileAccess(const wchar_t* path) {
    KBASE_STAT st{};
    if (!path || !*path || kbase::Sys().stat(path, &st) != 0) return 0;
    return st.mode;
}

extern "C" short SYS_FileMode(const wchar_t* path, unsigned short mode) {
    if (!path || !*path || mode == 0) return -1;
    return kbase::Sys().chmod(path, mode) == 0 ? 0 : -1;
}

extern "C" short SYS_DirMake(const wchar_t* path) {
    if (!path || !*path) return -1;
    return kbase::Sys().mkdir(path) == 0 ? 0 : -1;
}

extern "C" short SYS_DirDel(const wchar_t* path) {
    if (!path || !*path) return -1;
    return kbase::Sys().rmdir(path) == 0 ? 0 : -1;
}

extern "C" void SYS_FileSplit(const wchar_t* path, wchar_t** drive, wchar_t** dir, wchar_t** name, wchar_t** ext) {
    static wchar_t sDrive[3];
    static wchar_t sDir[kPath];
    static wchar_t sName[kPath];
    static wchar_t sExt[kPath];
    sDrive[0] = sDir[0] = sName[0] = sExt[0] = L'\0';
    if (path) {
        const wchar_t* p = path;
        if (kbase::Paths().drives && p[0] && p[1] == L':') {
            sDrive[0] = p[0];
            sDrive[1] = L':';
            sDrive[2] = L'\0';
            p += 2;
        }
        std::size_t n = std::wcslen(p);
        std::size_t base = 0;  // first character after the last separator
        for (std::size_t i = 0; i < n; ++i) {
            if (IsSep(p[i])) base = i + 1;
        }
        CopyPart(sDir, p, base);
        const wchar_t* b = p + base;
        std::size_t bn = n - base;
        std::size_t dot = bn;
        for (std::size_t i = bn; i > 1; --i) {
            if (b[i - 1] == L'.') {
                dot = i - 1;
                break;
            }
        }
        CopyPart(sName, b, dot);
        CopyPart(sExt, b + dot, bn - dot);
    }
    if (drive) *drive = sDrive;
    if (dir) *dir = sDir;
    if (name) *name = sName;
    if (ext) *ext = sExt;
}

extern "C" short SYS_FileMerge(wchar_t* out, const wchar_t* drive, const wchar_t* dir, const wchar_t* name, const wchar_t* ext) {
    if (!out) return -1;
    try {
        std::wstring s;
        if (drive) s += drive;
        if (dir) s += dir;
        bool more = (name && *name) || (ext && *ext);
        if (dir && *dir && more && !IsSep(s.back())) s += kbase::Paths().sep;
        if (name) s += name;
        if (ext && *ext) {
            if (*ext != L'.') s += L'.';
            s += ext;
        }
        return kbase::CopyBounded(out, kPath, s) ? 0 : -1;
    } catch (...) {
        out[0] = L'\0';  // no memory for the path: nothing merged
        return -1;
    }
}
