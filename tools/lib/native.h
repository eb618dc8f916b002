// The tools' one place for operating-system code: which file a path names
// (by identity, not by spelling), the system's reason for a failure, files
// opened, read and written whole (an output so that a failed run never
// leaves a damaged one behind), where folders and links really are, and the
// few questions a program asks about itself (its path, its process id, a
// terminal, the temporary folder, its wide command line).
//
// Paths are wide strings as everywhere in the tools; they reach the system
// through textconv (UTF-8 bytes on Linux, UTF-16 on Windows).
#ifndef KUTTOOLS_NATIVE_H
#define KUTTOOLS_NATIVE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace kuttools {
namespace native {

// The separator the system writes between folder names ('/' is taken on
// Windows too).
#if defined(_WIN32)
constexpr wchar_t kSep = L'\\';
#else
constexpr wchar_t kSep = L'/';
#endif

// Whether c separates folders here (Windows also takes '/').
inline bool IsSep(wchar_t c) {
#if defined(_WIN32)
    return c == L'\\' || c == L'/';
#else
    return c == L'/';
#endif
}

// The identity of a file or folder: device and inode on POSIX, volume
// serial number and file index on Windows. Two paths name the same file
// exactly when their identities are equal, whatever their spelling, links
// or hard links.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool valid = false;
};

// The identity of `path`. With followLinks a symbolic link (or a Windows
// junction or directory symlink) stands for its target; without it, for the
// link itself. False (errno / last error set) when the path cannot be
// reached.
bool GetFileId(const std::wstring& path, FileId* out, bool followLinks = true);
// Equal identities; never true when either is invalid.
bool SameFile(const FileId& a, const FileId& b);
// Whether two paths exist and name the same file (links followed).
bool SameFile(const std::wstring& a, const std::wstring& b);

// The system's text for an error number: strerror on POSIX, FormatMessageW
// on Windows (as UTF-8, without the trailing line end). On Windows `err` is
// a GetLastError code.
std::string SystemReason(int err);
// The text of the last failure of the calling thread: errno on POSIX,
// GetLastError on Windows.
std::string LastSystemReason();
// errno's text on both platforms (for failures of the C library, such as
// fopen or fwrite, which set errno on Windows too).
std::string ErrnoReason(int err);

// Whether the path exists (links not followed: a dangling link exists).
bool Exists(const std::wstring& path);
// Whether the path names a folder (links followed).
bool IsDirectory(const std::wstring& path);

// An environment variable as wide text (UTF-16 from the system on Windows,
// UTF-8 decoded elsewhere). False when it is not set.
bool GetEnv(const char* name, std::wstring* value);

// fopen of a wide path (mode as fopen takes it: "rb", "wb"); null with
// errno set on failure.
std::FILE* OpenFile(const std::wstring& path, const char* mode);

// Reads a whole file. False with "cannot read <path>: <reason>" in *error.
bool ReadFile(const std::wstring& path, std::string* bytes, std::string* error);

// How an output file may be written.
enum class Replace {
    kAllow,   // an existing destination is replaced
    kRefuse,  // an existing destination is left alone (-n, --no-clobber)
};

// Result of an output that was refused because the destination exists and
// Replace::kRefuse was asked for. Callers that treat no-clobber as a quiet
// skip (as cp -n does) check it; it is also reported in *error.
constexpr int kSkippedExisting = 2;

// Writes `size` bytes to `path` through a temporary file in the same folder
// that is renamed over `path` only once it is complete, flushed and closed;
// on any failure the temporary is removed and an existing `path` is left as
// it was. Returns 0 on success, kSkippedExisting when the destination
// exists and `replace` is kRefuse (nothing written), 1 with
// "cannot write <path>: <reason>" in *error on failure.
//
// A destination that is a symbolic link is written through: its target is
// replaced and the link stays. A destination without write permission (no
// owner write bit on POSIX, for root too; the read-only attribute on
// Windows) is refused, as opening it for writing would be, and a replaced
// file keeps its permission bits.
int WriteFileAtomic(const std::wstring& path, const void* data, std::size_t size, std::string* error,
                    Replace replace = Replace::kAllow);

// For outputs that something else writes by name (a library function that
// takes a destination path): a free temporary name in the folder of
// `path`, created empty so that nobody else takes it. Commit() renames it
// over the destination; the destructor removes the temporary when Commit()
// was not reached.
class PendingOutput {
public:
    PendingOutput() = default;
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // Checks the destination as WriteFileAtomic does and makes the
    // temporary. False with "cannot write <path>: <reason>" in *error.
    bool Begin(const std::wstring& path, std::string* error);
    const std::wstring& TempPath() const { return m_temp; }
    // Writes `size` bytes into the temporary (replacing what it holds),
    // flushed and closed, every error checked. False with
    // "cannot write <path>: <reason>" in *error.
    bool Write(const void* data, std::size_t size, std::string* error);
    // Renames the temporary over the destination. With Replace::kRefuse an
    // existing destination is kept and kSkippedExisting returned. 0 on
    // success, 1 with a message on failure (the temporary is then removed).
    int Commit(std::string* error, Replace replace = Replace::kAllow);
    // Removes the temporary now.
    void Discard();

private:
    std::wstring m_path;
    std::wstring m_temp;
};

// Checks, by identity, that no output names the same file as an input or
// as another output (an output that does not exist yet clashes with
// nothing). False with a message naming both paths in *error.
bool CheckOutputs(const std::vector<std::wstring>& inputs, const std::vector<std::wstring>& outputs, std::string* error);

// The path as the system takes it (UTF-8 on Linux); for messages use
// ToUtf8 of the wide path.
#if defined(_WIN32)
std::wstring NativePath(const std::wstring& path);
#else
std::string NativePath(const std::wstring& path);
#endif
// The path for std::filesystem, in the system's own encoding (not the
// locale's), and back.
std::filesystem::path FsPath(const std::wstring& path);
std::wstring FromFsPath(const std::filesystem::path& path);

// ---- folders and links -------------------------------------------------------

// Whether the path itself is a symbolic link, or on Windows a junction or a
// directory symbolic link (a name reparse point).
bool IsLink(const std::wstring& path);
// Removes a link itself (on Windows a directory link as a folder), never
// what it points to. False (errno / last error set) on failure.
bool RemoveLink(const std::wstring& path);

// The current folder, absolute; empty when it cannot be told.
std::wstring CurrentDir();
// The user's home folder: HOME, else the password database, on POSIX;
// USERPROFILE, else HOMEDRIVE and HOMEPATH, on Windows. Empty when none.
std::wstring HomeDir();
// The absolute path with every link resolved (realpath on POSIX, the final
// path of an open handle on Windows, without the \\?\ prefix). False when
// the path cannot be reached.
bool FinalPath(const std::wstring& path, std::wstring* out);
// The system's temporary folder, without a trailing separator ("/tmp", or
// "." on Windows, when the system names none).
std::wstring TempDir();

// ---- the running program ---------------------------------------------------------

// The path of the running executable; empty when it cannot be told.
std::wstring ExePath();
// The id of the running process.
unsigned long ProcessId();
// Whether the stream is a terminal (a console on Windows).
bool IsTerminal(std::FILE* stream);

// A tool's entry point: `run` gets the command line as wide strings (from
// wmain on Windows, where the console is also set to write UTF-8; decoded
// from UTF-8 elsewhere). KUTTOOLS_MAIN(run) defines main or wmain with it
// (on Windows the program is linked with -municode).
int Main(int argc, char** argv, int (*run)(std::vector<std::wstring>));
#if defined(_WIN32)
int Main(int argc, wchar_t** argv, int (*run)(std::vector<std::wstring>));
#define KUTTOOLS_MAIN(run) \
    int wmain(int argc, wchar_t** argv) { return ::kuttools::native::Main(argc, argv, run); }
#else
#define KUTTOOLS_MAIN(run) \
    int main(int argc, char** argv) { return ::kuttools::native::Main(argc, argv, run); }
#endif

}  // namespace native
}  // namespace kuttools

#endif
