// Helpers shared by the test programs.
#ifndef KUT_TESTS_TESTUTIL_H
#define KUT_TESTS_TESTUTIL_H

#include <cstddef>
#include <string>
#include <vector>

namespace kuttest {

#if defined(_WIN32)
constexpr wchar_t kSep = L'\\';
#else
constexpr wchar_t kSep = L'/';
#endif

// A fresh, empty folder below the system's temporary folder, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;  // each removes its folder once
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& path() const { return m_path; }
    std::wstring file(const std::wstring& name) const;  // path() + separator + name
    std::string narrow() const;

private:
    std::wstring m_path;
};

std::string Narrow(const std::wstring& w);
std::wstring Widen(const std::string& s);

// Whole-file helpers on wide paths (binary).
bool WriteFile(const std::wstring& path, const std::string& bytes);
bool ReadFile(const std::wstring& path, std::string* bytes);
bool Exists(const std::wstring& path);
// The whole file, or "<unreadable>" when it cannot be read, so that an
// expectation on the content also names a missing file.
std::string Read(const std::wstring& path);
// n bytes that repeat neither every byte nor every 256, so that a byte
// copied to the wrong place shows.
std::string Pattern(std::size_t n);
// Where two byte strings too large to print part: "" when they are equal,
// else their sizes and the first offset that differs.
std::string Difference(const std::string& got, const std::string& want);
void MakeDir(const std::wstring& path);
void RemoveTree(const std::wstring& path);

// Folder of the source tree's data/ and of the build tree, absolute, with
// native separators (a cross-built program run under wine sees the Linux
// folders as Z:\...).
std::wstring SourceDir();
std::wstring BinaryDir();

// True when this Windows program runs under wine rather than Windows; false
// on every other system. For the few checks whose cost depends on the host
// file system's emulation, never to expect other results.
bool UnderWine();

// Sets or clears an environment variable in this process.
void SetEnv(const char* name, const char* value);

// The exit status of a shell command, -1 when it did not exit.
int Shell(const std::string& command);
// A run of the built kut program (bin/ of the build tree) with the arguments,
// each quoted, and `input` on standard input. Its output is caught in files
// of `dir`; CR LF line ends come back as LF.
struct Ran {
    int status;
    std::string out, err;
};
Ran RunKut(const std::vector<std::string>& args, const std::wstring& dir, const std::string& input = "");
// A symbolic link to a folder; false where the system makes none for us.
bool MakeLink(const std::wstring& target, const std::wstring& link);

}  // namespace kuttest

#endif
