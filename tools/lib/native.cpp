// The tools' operating-system layer: file identity, reasons, whole-file
// reads and safe writes, folders and links, and the running program.
#include "native.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "textconv.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace kuttools {
namespace native {

namespace {

std::string Shown(const std::wstring& path) { return ToUtf8(path); }

void Fail(std::string* error, const std::string& what, const std::wstring& path, const std::string& why) {
    if (error) *error = what + " " + Shown(path) + ": " + why;
}

// The folder part of `path` ("" for a bare name) and the last name.
void SplitPath(const std::wstring& path, std::wstring* dir, std::wstring* base) {
    std::size_t end = path.size();
    while (end > 1 && IsSep(path[end - 1])) --end;
    std::size_t cut = end;
    while (cut > 0 && !IsSep(path[cut - 1])) --cut;
#if defined(_WIN32)
    if (cut == 0 && end >= 2 && path[1] == L':') cut = 2;  // "C:name"
#endif
    *dir = path.substr(0, cut);
    *base = path.substr(cut, end - cut);
}

// A name that no other run picks at the same time: process, clock and a
// counter.
std::wstring TempName(const std::wstring& base, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    const unsigned long pid = ProcessId();
    auto ticks = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%lu-%llx-%u.tmp", pid, (ticks ^ (ticks >> 20)) & 0xFFFFFFull,
                  counter.fetch_add(1) + attempt);
    // Shortened so that a long destination name still leaves room.
    std::wstring stem = base.size() > 64 ? base.substr(0, 64) : base;
    return L"." + stem + FromUtf8(suffix);
}

#if defined(_WIN32)

using Handle = HANDLE;

bool IsReadOnly(const std::wstring& path) {
    DWORD attrs = GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY) && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool IsDirectory(const std::wstring& path) {
    DWORD attrs = GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

bool GetEnv(const char* name, std::wstring* value) {
    std::wstring wname = FromUtf8(name);
    DWORD n = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (n == 0) return false;
    std::vector<wchar_t> buf(n + 1);
    n = GetEnvironmentVariableW(wname.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (n >= buf.size()) return false;
    value->assign(buf.data(), n);
    return true;
}

namespace {

// Creates `temp` exclusively; the handle, or INVALID_HANDLE_VALUE.
HANDLE CreateExclusive(const std::wstring& temp) {
    return CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE h, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD done = 0;
        if (!WriteFile(h, p, chunk, &done, nullptr)) return false;
        if (done == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        p += done;
        size -= done;
    }
    return FlushFileBuffers(h) != 0;
}

bool CloseFile(HANDLE h) { return CloseHandle(h) != 0; }
bool RemoveTemp(const std::wstring& temp) { return DeleteFileW(temp.c_str()) != 0; }

#else

bool IsReadOnly(const std::wstring& path) {
    struct stat st {};
    return stat(NativePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR);
}

}  // namespace

bool IsDirectory(const std::wstring& path) {
    struct stat st {};
    return stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool GetEnv(const char* name, std::wstring* value) {
    const char* v = std::getenv(name);
    if (!v) return false;
    *value = FromUtf8(v);
    return true;
}

namespace {

int CreateExclusive(const std::wstring& temp) {
    return open(NativePath(temp).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t done = write(fd, p, size);
        if (done < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (done == 0) {
            errno = EIO;
            return false;
        }
        p += done;
        size -= static_cast<std::size_t>(done);
    }
    // A full disk may only show at the flush; fsync reports it here rather
    // than after the rename.
    return fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

bool CloseFile(int fd) { return close(fd) == 0; }
bool RemoveTemp(const std::wstring& temp) { return unlink(NativePath(temp).c_str()) == 0; }

// The file a symbolic link finally names, so that writing through the link
// replaces the target and keeps the link. The path itself when it is no
// link or its target cannot be resolved.
std::wstring ThroughLinks(const std::wstring& path) {
    struct stat st {};
    if (lstat(NativePath(path).c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* real = realpath(NativePath(path).c_str(), nullptr);
    if (!real) return path;
    std::wstring out = FromUtf8(real);
    std::free(real);
    return out;
}

#endif

// Destination checks shared by WriteFileAtomic and PendingOutput: the
// final destination (links resolved) in *target, or false with a message.
bool CheckDestination(const std::wstring& path, std::wstring* target, std::string* error) {
    if (path.empty()) {
        Fail(error, "cannot write", path, "empty file name");
        return false;
    }
#if defined(_WIN32)
    *target = path;
#else
    *target = ThroughLinks(path);
#endif
    if (IsDirectory(*target)) {
        Fail(error, "cannot write", path, "is a directory");
        return false;
    }
    if (IsReadOnly(*target)) {
        Fail(error, "cannot write", path, "the file is read-only");
        return false;
    }
    return true;
}

// Makes an empty temporary next to `target`; its path in *temp and the
// open file in *handle.
#if defined(_WIN32)
bool MakeTemp(const std::wstring& path, const std::wstring& target, std::wstring* temp, HANDLE* handle, std::string* error) {
#else
bool MakeTemp(const std::wstring& path, const std::wstring& target, std::wstring* temp, int* handle, std::string* error) {
#endif
    std::wstring dir, base;
    SplitPath(target, &dir, &base);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        *temp = dir + TempName(base, attempt);
        *handle = CreateExclusive(*temp);
#if defined(_WIN32)
        if (*handle != INVALID_HANDLE_VALUE) return true;
        DWORD err = GetLastError();
        if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) {
            Fail(error, "cannot write", path, SystemReason(static_cast<int>(err)));
            return false;
        }
#else
        if (*handle >= 0) return true;
        if (errno != EEXIST) {
            Fail(error, "cannot write", path, SystemReason(errno));
            return false;
        }
#endif
    }
    Fail(error, "cannot write", path, "no free temporary name in its folder");
    return false;
}

// Renames `temp` over `target`. 0, kSkippedExisting, or 1 with *err set
// (a system error code).
int Rename(const std::wstring& temp, const std::wstring& target, Replace replace, int* err) {
#if defined(_WIN32)
    DWORD flags = MOVEFILE_WRITE_THROUGH | (replace == Replace::kAllow ? MOVEFILE_REPLACE_EXISTING : 0);
    if (MoveFileExW(temp.c_str(), target.c_str(), flags)) return 0;
    DWORD e = GetLastError();
    if (replace == Replace::kRefuse && (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS)) return kSkippedExisting;
    *err = static_cast<int>(e);
    return 1;
#else
    const std::string from = NativePath(temp), to = NativePath(target);
    if (replace == Replace::kAllow) {
        if (rename(from.c_str(), to.c_str()) == 0) return 0;
        *err = errno;
        return 1;
    }
    // A hard link never replaces an existing name: no window in which
    // another program's new file could be overwritten.
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return 0;
    }
    if (errno == EEXIST) return kSkippedExisting;
    // File systems without hard links: the check and the rename are apart.
    struct stat st {};
    if (lstat(to.c_str(), &st) == 0) return kSkippedExisting;
    if (rename(from.c_str(), to.c_str()) == 0) return 0;
    *err = errno;
    return 1;
#endif
}

// The permission bits of a replaced file carry over to its replacement.
void KeepMode(const std::wstring& target, const std::wstring& temp) {
#if defined(_WIN32)
    (void)target;
    (void)temp;
#else
    struct stat st {};
    if (stat(NativePath(target).c_str(), &st) == 0 && S_ISREG(st.st_mode)) chmod(NativePath(temp).c_str(), st.st_mode & 07777);
#endif
}

}  // namespace

#if defined(_WIN32)
std::wstring NativePath(const std::wstring& path) { return path; }
#else
std::string NativePath(const std::wstring& path) { return ToUtf8(path); }
#endif

std::filesystem::path FsPath(const std::wstring& path) { return std::filesystem::path(NativePath(path)); }

std::wstring FromFsPath(const std::filesystem::path& path) {
#if defined(_WIN32)
    return path.wstring();
#else
    return FromUtf8(path.string());
#endif
}

bool GetFileId(const std::wstring& path, FileId* out, bool followLinks) {
    *out = FileId();
    if (path.empty()) {
#if defined(_WIN32)
        SetLastError(ERROR_FILE_NOT_FOUND);
#else
        errno = ENOENT;
#endif
        return false;
    }
#if defined(_WIN32)
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, flags,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    BOOL ok = GetFileInformationByHandle(h, &info);
    DWORD err = GetLastError();
    CloseHandle(h);
    if (!ok) {
        SetLastError(err);
        return false;
    }
    out->volume = info.dwVolumeSerialNumber;
    out->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
#else
    struct stat st {};
    const std::string p = NativePath(path);
    if ((followLinks ? stat(p.c_str(), &st) : lstat(p.c_str(), &st)) != 0) return false;
    out->volume = static_cast<std::uint64_t>(st.st_dev);
    out->index = static_cast<std::uint64_t>(st.st_ino);
#endif
    out->valid = true;
    return true;
}

bool SameFile(const FileId& a, const FileId& b) { return a.valid && b.valid && a.volume == b.volume && a.index == b.index; }

bool SameFile(const std::wstring& a, const std::wstring& b) {
    FileId ia, ib;
    return GetFileId(a, &ia, true) && GetFileId(b, &ib, true) && SameFile(ia, ib);
}

std::string SystemReason(int err) {
#if defined(_WIN32)
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(err), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring w = n && text ? std::wstring(text, n) : std::wstring();
    if (text) LocalFree(text);
    while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L' ' || w.back() == L'.')) w.pop_back();
    if (w.empty()) return "system error " + std::to_string(err);
    return ToUtf8(w);
#else
    return ErrnoReason(err);
#endif
}

std::string LastSystemReason() {
#if defined(_WIN32)
    return SystemReason(static_cast<int>(GetLastError()));
#else
    return SystemReason(errno);
#endif
}

std::string ErrnoReason(int err) {
    const char* text = err ? std::strerror(err) : nullptr;
    return text && *text ? std::string(text) : "error " + std::to_string(err);
}

bool Exists(const std::wstring& path) {
    if (path.empty()) return false;
#if defined(_WIN32)
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat st {};
    return lstat(NativePath(path).c_str(), &st) == 0;
#endif
}

std::FILE* OpenFile(const std::wstring& path, const char* mode) {
#if defined(_WIN32)
    return _wfopen(path.c_str(), FromUtf8(mode).c_str());
#else
    return std::fopen(NativePath(path).c_str(), mode);
#endif
}

bool ReadFile(const std::wstring& path, std::string* bytes, std::string* error) {
    bytes->clear();
    if (IsDirectory(path)) {
        Fail(error, "cannot read", path, "is a directory");
        return false;
    }
    std::FILE* f = OpenFile(path, "rb");
    if (!f) {
        Fail(error, "cannot read", path, ErrnoReason(errno));
        return false;
    }
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes->append(buf, n);
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (failed) {
        Fail(error, "cannot read", path, ErrnoReason(err ? err : EIO));
        return false;
    }
    return true;
}

int WriteFileAtomic(const std::wstring& path, const void* data, std::size_t size, std::string* error, Replace replace) {
    if (replace == Replace::kRefuse && Exists(path)) {
        Fail(error, "not replacing", path, "the file exists (no-clobber)");
        return kSkippedExisting;
    }
    PendingOutput out;
    if (!out.Begin(path, error) || !out.Write(data, size, error)) return 1;
    return out.Commit(error, replace);
}

PendingOutput::~PendingOutput() { Discard(); }

bool PendingOutput::Write(const void* data, std::size_t size, std::string* error) {
    if (m_temp.empty()) {
        Fail(error, "cannot write", m_path, "no output was begun");
        return false;
    }
#if defined(_WIN32)
    HANDLE h = CreateFileW(m_temp.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Fail(error, "cannot write", m_path, LastSystemReason());
        return false;
    }
    bool ok = WriteAll(h, data, size);
    DWORD err = ok ? 0 : GetLastError();
    if (!CloseFile(h) && ok) {
        ok = false;
        err = GetLastError();
    }
    if (!ok) {
        Fail(error, "cannot write", m_path, SystemReason(static_cast<int>(err)));
        return false;
    }
#else
    int fd = open(NativePath(m_temp).c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        Fail(error, "cannot write", m_path, SystemReason(errno));
        return false;
    }
    bool ok = WriteAll(fd, data, size);
    int err = ok ? 0 : errno;
    if (!CloseFile(fd) && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        Fail(error, "cannot write", m_path, SystemReason(err));
        return false;
    }
#endif
    return true;
}

bool PendingOutput::Begin(const std::wstring& path, std::string* error) {
    Discard();
    std::wstring target;
    if (!CheckDestination(path, &target, error)) return false;
    std::wstring temp;
#if defined(_WIN32)
    HANDLE h = INVALID_HANDLE_VALUE;
    if (!MakeTemp(path, target, &temp, &h, error)) return false;
#else
    int h = -1;
    if (!MakeTemp(path, target, &temp, &h, error)) return false;
#endif
    CloseFile(h);
    m_path = path;
    m_temp = temp;
    return true;
}

int PendingOutput::Commit(std::string* error, Replace replace) {
    if (m_temp.empty()) {
        Fail(error, "cannot write", m_path, "no output was begun");
        return 1;
    }
    std::wstring target;
    if (!CheckDestination(m_path, &target, error)) {
        Discard();
        return 1;
    }
    KeepMode(target, m_temp);
    int err = 0;
    int result = Rename(m_temp, target, replace, &err);
    if (result == 0) {
        m_temp.clear();
        return 0;
    }
    Discard();
    if (result == kSkippedExisting) {
        Fail(error, "not replacing", m_path, "the file exists (no-clobber)");
        return kSkippedExisting;
    }
    Fail(error, "cannot write", m_path, SystemReason(err));
    return 1;
}

void PendingOutput::Discard() {
    if (!m_temp.empty()) RemoveTemp(m_temp);
    m_temp.clear();
}

bool CheckOutputs(const std::vector<std::wstring>& inputs, const std::vector<std::wstring>& outputs, std::string* error) {
    std::vector<FileId> in(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) GetFileId(inputs[i], &in[i], true);
    std::vector<FileId> out(outputs.size());
    for (std::size_t o = 0; o < outputs.size(); ++o) {
        if (!GetFileId(outputs[o], &out[o], true)) continue;
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            if (SameFile(out[o], in[i])) {
                if (error)
                    *error = "refusing to write " + Shown(outputs[o]) + ": it is the input file " + Shown(inputs[i]) +
                             " (the output would destroy the input)";
                return false;
            }
        }
        for (std::size_t p = 0; p < o; ++p) {
            if (SameFile(out[o], out[p])) {
                if (error)
                    *error =
                        "refusing to write " + Shown(outputs[o]) + ": it is the same file as the output " + Shown(outputs[p]);
                return false;
            }
        }
    }
    return true;
}

// ---- folders and links -------------------------------------------------------

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
    HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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
    return ::lstat(NativePath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool RemoveLink(const std::wstring& path) { return ::unlink(NativePath(path).c_str()) == 0; }

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
    char* real = ::realpath(NativePath(path).c_str(), nullptr);
    if (!real) return false;
    *out = FromUtf8(real);
    std::free(real);
    return true;
}

#endif

std::wstring TempDir() {
    std::error_code ec;
    const std::filesystem::path t = std::filesystem::temp_directory_path(ec);
#if defined(_WIN32)
    std::wstring dir = ec ? std::wstring(L".") : t.wstring();
#else
    std::wstring dir = ec ? std::wstring(L"/tmp") : FromUtf8(t.string());
#endif
    while (dir.size() > 1 && IsSep(dir.back())) {
#if defined(_WIN32)
        if (dir.size() == 3 && dir[1] == L':') break;  // "C:\\"
#endif
        dir.pop_back();
    }
    return dir;
}

// ---- the running program ---------------------------------------------------------

std::wstring ExePath() {
#if defined(_WIN32)
    std::vector<wchar_t> buf(1024);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return std::wstring();
        if (n < buf.size()) return std::wstring(buf.data(), n);
        if (buf.size() > 65536) return std::wstring();
        buf.resize(buf.size() * 2);
    }
#else
    std::vector<char> buf(4096);
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return std::wstring();
    return FromUtf8(std::string(buf.data(), static_cast<std::size_t>(n)));
#endif
}

unsigned long ProcessId() {
#if defined(_WIN32)
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

bool IsTerminal(std::FILE* stream) {
#if defined(_WIN32)
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

int Main(int argc, char** argv, int (*run)(std::vector<std::wstring>)) { return run(WideArgs(argc, argv)); }

#if defined(_WIN32)
int Main(int argc, wchar_t** argv, int (*run)(std::vector<std::wstring>)) {
    // Texts are written as UTF-8.
    SetConsoleOutputCP(CP_UTF8);
    return run(WideArgs(argc, argv));
}
#endif

}  // namespace native
}  // namespace kuttools
