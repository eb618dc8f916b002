// Win32 backend of the platform layer. May hold only code generic to
// Windows: the language libraries go through the system loader itself, as
// the product's hosts expect (a library loaded here is the same module the
// host would get from LoadLibraryW).
#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cwchar>

namespace kut::platform {

HMODULE LoadLib(const wchar_t* path) {
    if (!path) return nullptr;
    // No "cannot find" or "bad image" boxes: a missing or broken language
    // library is an ordinary failure (null handle) for the caller to handle.
    DWORD previous = 0;
    BOOL quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
    HMODULE lib = LoadLibraryW(path);
    if (quiet) SetThreadErrorMode(previous, nullptr);
    return lib;
}

void ResourceLanguages(unsigned short* user, unsigned short* system) {
    *user = GetUserDefaultUILanguage();
    *system = GetSystemDefaultUILanguage();
}

int ReadString(HMODULE lib, unsigned int id, wchar_t* buf, int cap) {
    if (!buf || cap <= 0) return 0;
    buf[0] = L'\0';
    // A number above 65535 reads the string of its low 16 bits, here as on
    // the POSIX backend.
    int n = LoadStringW(lib, id, buf, cap);
    if (n <= 0) {
        buf[0] = L'\0';
        return 0;
    }
    return n;
}

void FreeLib(HMODULE lib) {
    if (lib) FreeLibrary(lib);
}

int SystemMessageBox(const wchar_t* text, const wchar_t* caption, unsigned style) {
    return MessageBoxW(nullptr, text ? text : L"", caption ? caption : L"", style);
}

std::FILE* SystemOpenFile(const wchar_t* path, const char* mode) {
    if (!path || !mode) return nullptr;
    // The C mode letters are ASCII; 't' and 'b' are dropped and 'b' is put
    // back at the end, so that every stream is binary whatever the caller
    // asked for ("r+" becomes "r+b").
    // A few letters at most: a longer mode is no mode _wfopen knows.
    wchar_t wmode[8];
    std::size_t n = 0;
    for (const char* p = mode; *p; ++p) {
        if (*p == 'b' || *p == 't') continue;
        if (n + 2 >= sizeof wmode / sizeof wmode[0]) return nullptr;
        wmode[n++] = static_cast<wchar_t>(static_cast<unsigned char>(*p));
    }
    wmode[n++] = L'b';
    wmode[n] = L'\0';
    // A read-only file never opens for writing, not even for a process with
    // every right (wine run as root), so that the temporary-name search
    // counts it as free and the conversion cannot write it.
    const DWORD attributes = GetFileAttributesW(path);
    if (std::wcspbrk(wmode, L"wa+") && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EACCES;
        return nullptr;
    }
    return _wfopen(path, wmode);
}

long long TransferStreams(std::FILE* /*out*/, std::FILE* /*in*/, long long /*count*/, bool* atEnd) {
    *atEnd = false;
    return 0;
}

}  // namespace kut::platform
