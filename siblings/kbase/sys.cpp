// The system backends of the kbase stand-in and the choice of its path
// syntax. Only code generic to one system family lives in each branch; the
// other files reach the system through Sys(), follow Paths() and never test
// the platform.
#include "sys.h"
#include "internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#include <io.h>
#include <direct.h>
#include <sys/stat.h>
#include <sys/utime.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include "posix_open.h"
#include <unistd.h>
#include <utime.h>

#include <cerrno>
#endif

namespace {

#if defined(_WIN32)

// The read-only attribute refuses every opening for writing. The system
// says so itself, except when a process with every right (wine run as
// root) is let through; ask the attribute first so that it never is.
FILE* SysOpen(const wchar_t* path, const char* mode) {
    wchar_t wmode[8];
    std::size_t n = 0;
    for (const char* m = mode; *m; ++m) {
        if (n + 1 >= sizeof wmode / sizeof wmode[0]) return nullptr;  // no mode is that long
        wmode[n++] = static_cast<wchar_t>(*m);
    }
    wmode[n] = L'\0';
    const DWORD attributes = GetFileAttributesW(path);
    if (std::wcspbrk(wmode, L"wa+") && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EACCES;
        return nullptr;
    }
    return _wfopen(path, wmode);
}

// A file with the read-only attribute stays: deleting it is refused.
int SysRemove(const wchar_t* path) { return _wremove(path) == 0 ? 0 : -1; }

int SysStat(const wchar_t* path, KBASE_STAT* out) {
    struct _stat64 st {};
    if (_wstat64(path, &st) != 0) return -1;
    out->size = st.st_size;
    out->mtime = st.st_mtime;
    out->mode = static_cast<unsigned short>(st.st_mode);
    out->isDir = (st.st_mode & _S_IFDIR) != 0;
    return 0;
}

int SysUtime(const wchar_t* path, long long mtime) {
    struct __utimbuf64 t {};
    t.actime = mtime;
    t.modtime = mtime;
    return _wutime64(path, &t) == 0 ? 0 : -1;
}

int SysChmod(const wchar_t* path, unsigned short mode) {
    // Windows keeps only the write permission (the read-only attribute).
    int m = (mode & _S_IWRITE) ? (_S_IREAD | _S_IWRITE) : _S_IREAD;
    return _wchmod(path, m) == 0 ? 0 : -1;
}

int SysMkdir(const wchar_t* path) { return _wmkdir(path) == 0 ? 0 : -1; }
int SysRmdir(const wchar_t* path) { return _wrmdir(path) == 0 ? 0 : -1; }

// Without memory (for a path, or in the sink) the listing fails as a whole,
// its handle closed.
int SysList(const wchar_t* dir, KBASE_LIST_SINK sink, void* ctx) {
    HANDLE h = INVALID_HANDLE_VALUE;
    try {
        std::wstring pattern = dir;
        if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/' && pattern.back() != L':') { pattern += L'\\'; }
        pattern += L'*';
        WIN32_FIND_DATAW fd;
        h = FindFirstFileW(pattern.c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : -1;
        do { sink(ctx, fd.cFileName, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0); } while (FindNextFileW(h, &fd));
    } catch (...) {
        if (h != INVALID_HANDLE_VALUE) FindClose(h);
        return -1;
    }
    FindClose(h);
    return 0;
}

// A current folder of 1024 characters or more counts as none (the caller
// then works in ".").
int SysCwd(wchar_t* out, std::size_t cap) {
    wchar_t buf[1024];
    if (!_wgetcwd(buf, 1024)) return -1;
    const std::size_t n = std::wcslen(buf);
    if (n >= cap) return -1;
    std::wmemcpy(out, buf, n + 1);
    return 0;
}

// The run-time offers nothing between two streams that beats the caller's
// own bounded reads and writes: they move everything.
long long SysTransfer(FILE* /*out*/, FILE* /*in*/, long long /*count*/, int* atEnd) {
    *atEnd = 0;
    return 0;
}

#else

// As on Windows: a folder does not open as a file, and a file without the
// owner's write bit is read-only, for root too: it neither opens for writing
// nor is deleted (src/support/posix_open.h). Every call below needs the path
// in the system's form first; without memory for it the call fails as the
// system call would.
FILE* SysOpen(const wchar_t* path, const char* mode) {
    try {
        return kut::posix::OpenStream(kbase::Narrow(path).c_str(), mode);
    } catch (...) { return nullptr; }
}

int SysRemove(const wchar_t* path) {
    try {
        return kut::posix::RemoveFile(kbase::Narrow(path).c_str()) == 0 ? 0 : -1;
    } catch (...) { return -1; }
}

int SysStat(const wchar_t* path, KBASE_STAT* out) {
    struct stat st {};
    try {
        if (::stat(kbase::Narrow(path).c_str(), &st) != 0) return -1;
    } catch (...) { return -1; }
    out->size = static_cast<long long>(st.st_size);
    out->mtime = static_cast<long long>(st.st_mtime);
    out->mode = static_cast<unsigned short>(st.st_mode & 0xFFFF);
    out->isDir = S_ISDIR(st.st_mode) ? 1 : 0;
    return 0;
}

int SysUtime(const wchar_t* path, long long mtime) {
    struct utimbuf t {};
    t.actime = static_cast<time_t>(mtime);
    t.modtime = static_cast<time_t>(mtime);
    try {
        return ::utime(kbase::Narrow(path).c_str(), &t) == 0 ? 0 : -1;
    } catch (...) { return -1; }
}

int SysChmod(const wchar_t* path, unsigned short mode) {
    try {
        return ::chmod(kbase::Narrow(path).c_str(), static_cast<mode_t>(mode & 07777)) == 0 ? 0 : -1;
    } catch (...) { return -1; }
}

int SysMkdir(const wchar_t* path) {
    try {
        return ::mkdir(kbase::Narrow(path).c_str(), 0777) == 0 ? 0 : -1;
    } catch (...) { return -1; }
}

int ListOpen(const wchar_t* dir, KBASE_LIST_SINK sink, void* ctx, DIR** open);

int SysRmdir(const wchar_t* path) {
    try {
        return ::rmdir(kbase::Narrow(path).c_str()) == 0 ? 0 : -1;
    } catch (...) { return -1; }
}

int SysCwd(wchar_t* out, std::size_t cap) {
    char buf[4096];
    if (!::getcwd(buf, sizeof buf)) return -1;
    try {
        const std::wstring wide = kbase::Widen(buf);
        if (wide.size() >= cap) return -1;
        std::wmemcpy(out, wide.c_str(), wide.size() + 1);
        return 0;
    } catch (...) { return -1; }
}

// Without memory (for a path, or in the sink) the listing fails as a whole,
// the directory closed.
int SysList(const wchar_t* dir, KBASE_LIST_SINK sink, void* ctx) {
    DIR* d = nullptr;
    try {
        return ListOpen(dir, sink, ctx, &d);
    } catch (...) {
        if (d) ::closedir(d);
        return -1;
    }
}

int ListOpen(const wchar_t* dir, KBASE_LIST_SINK sink, void* ctx, DIR** open) {
    std::string ndir = kbase::Narrow(dir);
    DIR* d = ::opendir(ndir.c_str());
    if (!d) return -1;
    *open = d;
    while (const struct dirent* e = ::readdir(d)) {
        // A symbolic link counts as a file, whatever it points to: walks never
        // follow one out of the tree, and removing it removes only the link.
        int isDir = 0;
        if (e->d_type == DT_DIR) {
            isDir = 1;
        } else if (e->d_type == DT_UNKNOWN) {
            struct stat st {};
            std::string full = ndir + "/" + e->d_name;
            isDir = ::lstat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        sink(ctx, kbase::Widen(e->d_name).c_str(), isDir);
    }
    *open = nullptr;
    ::closedir(d);
    return 0;
}

// copy_file_range moves the bytes inside the kernel (between files of one
// file system, or wherever the kernel can); sendfile covers most of the rest
// (any output, a regular input). Explicit offsets keep the descriptors out of
// it until the streams are repositioned at the end. Any refusal or error
// ends the transfer: the caller's reads and writes take over from the exact
// position and meet the error themselves.
long long SysTransfer(FILE* out, FILE* in, long long count, int* atEnd) {
    *atEnd = 0;
    // The streams' positions: what the caller read and wrote, buffers included.
    off_t inAt = ::ftello(in);
    if (inAt < 0 || std::fflush(out) != 0 || std::fflush(in) != 0) return 0;
    off_t outAt = ::ftello(out);
    const int inFd = ::fileno(in), outFd = ::fileno(out);
    struct stat si {
    }, so{};
    if (outAt < 0 || inFd < 0 || outFd < 0 || ::fstat(inFd, &si) != 0 || ::fstat(outFd, &so) != 0) return 0;
    const int outFlags = ::fcntl(outFd, F_GETFL);
    if (!S_ISREG(si.st_mode) || outFlags < 0 || (outFlags & O_APPEND) != 0 ||
        (si.st_dev == so.st_dev && si.st_ino == so.st_ino)) {
        return 0;
    }
    const off_t inStart = inAt, outStart = outAt;
    bool kernelCopy = true;
    bool outSeeked = false;
    long long moved = 0;
    while (moved < count) {
        // Both calls take at most about 2 GiB at a time.
        const std::size_t want = static_cast<std::size_t>(std::min<long long>(count - moved, 1LL << 30));
        ssize_t n;
        if (kernelCopy) {
            n = ::copy_file_range(inFd, &inAt, outFd, &outAt, want, 0);
            if (n < 0 && errno != EINTR && moved == 0) {
                // Not between these two files (another file system, a
                // device, an old kernel): sendfile may still do it.
                kernelCopy = false;
                continue;
            }
        } else {
            if (!outSeeked && ::lseek(outFd, outAt, SEEK_SET) != outAt) break;
            outSeeked = true;
            n = ::sendfile(outFd, inFd, &inAt, want);
            if (n > 0) outAt += n;
        }
        if (n == 0) {
            *atEnd = 1;
            break;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        moved += n;
    }
    // Where reads and writes of the moved bytes would have left the streams.
    if (::fseeko(in, inStart + moved, SEEK_SET) != 0 || ::fseeko(out, outStart + moved, SEEK_SET) != 0) return 0;
    if (*atEnd) {
        // The read that met the end sets the indicator, as fread would.
        int c = std::fgetc(in);
        if (c != EOF) {
            std::ungetc(c, in);
            *atEnd = 0;
        }
    }
    return moved;
}

#endif

const KBASE_SYSCALLS kSystem = {
    SysOpen, SysRemove,   SysStat,      SysUtime,  SysChmod,    SysMkdir, SysRmdir,
    SysList, std::malloc, std::realloc, std::free, SysTransfer, SysCwd,
};

[[maybe_unused]] constexpr kbase::PathStyle kPosixPaths = {L'/', false, false};
[[maybe_unused]] constexpr kbase::PathStyle kWindowsPaths = {L'\\', true, true};
#if defined(_WIN32)
constexpr const kbase::PathStyle& kNativePaths = kWindowsPaths;
#else
constexpr const kbase::PathStyle& kNativePaths = kPosixPaths;
#endif

#if defined(KBASE_TESTING)
KBASE_SYSCALLS g_table = kSystem;
const kbase::PathStyle* g_paths = &kNativePaths;
#endif

}  // namespace

namespace kbase {

const KBASE_SYSCALLS& Sys() {
#if defined(KBASE_TESTING)
    return g_table;
#else
    return kSystem;
#endif
}

const PathStyle& Paths() {
#if defined(KBASE_TESTING)
    return *g_paths;
#else
    return kNativePaths;
#endif
}

bool LocalTime(long long t, std::tm* out) {
    const std::time_t tt = static_cast<std::time_t>(t);
#if defined(_WIN32)
    return localtime_s(out, &tt) == 0;
#else
    return localtime_r(&tt, out) != nullptr;
#endif
}

}  // namespace kbase

#if defined(KBASE_TESTING)
extern "C" void KBASE_TestGetSyscalls(KBASE_SYSCALLS* out) {
    if (out) *out = g_table;
}

extern "C" void KBASE_TestSetSyscalls(const KBASE_SYSCALLS* table) { g_table = table ? *table : kSystem; }

extern "C" void KBASE_TestSetPathStyle(int style) {
    g_paths = style == KBASE_PATHS_POSIX ? &kPosixPaths : style == KBASE_PATHS_WINDOWS ? &kWindowsPaths : &kNativePaths;
}
#endif
