#include "native_dirs.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "textconv.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <climits>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kuttools {
namespace native {

#if defined(_WIN32)

namespace {

DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

std::wstring Env(const wchar_t* name) {
    DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0) return std::wstring();
    std::vector<wchar_t> buf(n);
    n = GetEnvironmentVariableW(name, buf.data(), n);
    return std::wstring(buf.data(), n);
}

}  // namespace

bool IsLink(const std::wstring& path) {
    const DWORD a = Attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(path.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    FindClose(h);
    return fd.dwReserved0 == IO_REPARSE_TAG_SYMLINK || fd.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT;
}

bool RemoveLink(const std::wstring& path) {
    const DWORD a = Attributes(path);
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return RemoveDirectoryW(path.c_str()) != 0;
    return DeleteFileW(path.c_str()) != 0;
}

std::wstring CurrentDir() {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return std::wstring();
    std::vector<wchar_t> buf(n);
    n = GetCurrentDirectoryW(n, buf.data());
    return std::wstring(buf.data(), n);
}

std::wstring HomeDir() {
    std::wstring home = Env(L"USERPROFILE");
    if (home.empty()) {
        const std::wstring drive = Env(L"HOMEDRIVE"), dir = Env(L"HOMEPATH");
        if (!dir.empty()) home = drive + dir;
    }
    return home;
}

bool FinalPath(const std::wstring& path, std::wstring* out) {
    HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::vector<wchar_t> buf(MAX_PATH + 1);
    DWORD n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
    }
    const DWORD err = GetLastError();
    CloseHandle(h);
    if (n == 0 || n >= buf.size()) {
        SetLastError(err);
        return false;
    }
    std::wstring p(buf.data(), n);
    if (p.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        p = L"\\\\" + p.substr(8);
    } else if (p.compare(0, 4, L"\\\\?\\") == 0) {
        p = p.substr(4);
    }
    *out = p;
    return true;
}

#else

bool IsLink(const std::wstring& path) {
    struct stat st {};
    return ::lstat(ToUtf8(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool RemoveLink(const std::wstring& path) { return ::unlink(ToUtf8(path).c_str()) == 0; }

std::wstring CurrentDir() {
    std::vector<char> buf(4096);
    for (;;) {
        if (::getcwd(buf.data(), buf.size())) return FromUtf8(buf.data());
        if (errno != ERANGE || buf.size() > (1u << 20)) return std::wstring();
        buf.resize(buf.size() * 2);
    }
}

std::wstring HomeDir() {
    const char* home = std::getenv("HOME");
    if (home && *home) return FromUtf8(home);
    std::vector<char> buf(16384);
    struct passwd pw {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
        return FromUtf8(found->pw_dir);
    return std::wstring();
}

bool FinalPath(const std::wstring& path, std::wstring* out) {
    char* real = ::realpath(ToUtf8(path).c_str(), nullptr);
    if (!real) return false;
    *out = FromUtf8(real);
    std::free(real);
    return true;
}

#endif

}  // namespace native
}  // namespace kuttools
