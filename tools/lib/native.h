// The tools' one place for operating-system file code: which file a path
// names (by identity, not by spelling), the system's reason for a failure,
// and writing an output file so that a failed run never leaves a damaged
// one behind.
//
// Paths are wide strings as everywhere in the tools; they reach the system
// through textconv (UTF-8 bytes on Linux, UTF-16 on Windows).
#ifndef KUTTOOLS_NATIVE_H
#define KUTTOOLS_NATIVE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kuttools {
namespace native {

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

// Reads a whole file. False with "cannot read <path>: <reason>" in *error.
bool ReadFile(const std::wstring& path, std::string* bytes, std::string* error);

// How an output file may be written.
enum class Replace {
    kAllow,    // an existing destination is replaced
    kRefuse,   // an existing destination is left alone (-n, --no-clobber)
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
bool CheckOutputs(const std::vector<std::wstring>& inputs, const std::vector<std::wstring>& outputs,
                  std::string* error);

// The path as the system takes it (UTF-8 on Linux); for messages use
// ToUtf8 of the wide path.
#if defined(_WIN32)
std::wstring NativePath(const std::wstring& path);
#else
std::string NativePath(const std::wstring& path);
#endif

}  // namespace native
}  // namespace kuttools

#endif
