#include "testutil.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace kuttest {

std::string Narrow(const std::wstring& w) { return fs::path(w).u8string(); }
std::wstring Widen(const std::string& s) { return fs::u8path(s).wstring(); }

TempDir::TempDir() {
    std::mt19937_64 gen(std::random_device{}());
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path p = fs::temp_directory_path() / (L"kut-test-" + std::to_wstring(gen()));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            m_path = p.wstring();
            return;
        }
    }
    std::fprintf(stderr, "cannot create a temporary folder\n");
    std::abort();
}

// KUT_KEEP_TMP=1 keeps the folders of a run to look at afterwards.
TempDir::~TempDir() {
    const char* keep = std::getenv("KUT_KEEP_TMP");
    if (keep && std::string(keep) == "1") {
        std::fprintf(stderr, "kept %s (KUT_KEEP_TMP=1)\n", Narrow(m_path).c_str());
        return;
    }
    RemoveTree(m_path);
}
std::wstring TempDir::file(const std::wstring& name) const { return m_path + kSep + name; }
std::string TempDir::narrow() const { return Narrow(m_path); }

bool WriteFile(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
}

bool ReadFile(const std::wstring& path, std::string* bytes) {
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();  // fails on an empty file, which is no failure here
    *bytes = ss.str();
    return true;
}

std::string Read(const std::wstring& path) {
    std::string s;
    return ReadFile(path, &s) ? s : "<unreadable>";
}

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return s;
}

std::string Difference(const std::string& got, const std::string& want) {
    if (got == want) return "";
    std::size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
    return std::to_string(got.size()) + " bytes where " + std::to_string(want.size()) +
           " were expected, the first difference at offset " + std::to_string(at);
}

bool Exists(const std::wstring& path) {
    std::error_code ec;
    return fs::exists(fs::path(path), ec);
}
void MakeDir(const std::wstring& path) {
    std::error_code ec;
    fs::create_directories(fs::path(path), ec);
}

void RemoveTree(const std::wstring& path) {
    std::error_code ec;
    // Tests make folders read-only; give the owner write access back first.
    for (auto it = fs::recursive_directory_iterator(fs::path(path), ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(fs::path(path), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(fs::path(path), ec);
}

static std::wstring NativeAbsolute(const char* dir) {
    std::error_code ec;
    return fs::absolute(fs::u8path(dir), ec).make_preferred().wstring();
}
std::wstring SourceDir() { return NativeAbsolute(KUT_SOURCE_DIR); }
std::wstring BinaryDir() { return NativeAbsolute(KUT_BINARY_DIR); }

bool UnderWine() {
#if defined(_WIN32)
    // wine's ntdll exports its version query; Windows' does not.
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

void SetEnv(const char* name, const char* value) {
#if defined(_WIN32)
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

int Shell(const std::string& command) {
#if defined(_WIN32)
    return std::system(("\"" + command + "\"").c_str());  // cmd.exe takes the outer quotes off
#else
    const int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#endif
}

Ran RunKut(const std::vector<std::string>& args, const std::wstring& dir, const std::string& input) {
#if defined(_WIN32)
    std::string cmd = "\"" + Narrow(BinaryDir()) + "\\bin\\kut.exe\"";
#else
    std::string cmd = "\"" + Narrow(BinaryDir()) + "/bin/kut\"";
#endif
    for (const std::string& a : args) cmd += " \"" + a + "\"";
    const std::wstring in = dir + kSep + L"in", out = dir + kSep + L"out", err = dir + kSep + L"err";
    WriteFile(in, input);
    Ran r{Shell(cmd + " <\"" + Narrow(in) + "\" >\"" + Narrow(out) + "\" 2>\"" + Narrow(err) + "\""), Read(out), Read(err)};
    for (std::string* s : {&r.out, &r.err})
        for (std::size_t at; (at = s->find("\r\n")) != std::string::npos;) s->erase(at, 1);
    return r;
}

bool MakeLink(const std::wstring& target, const std::wstring& link) {
#if defined(_WIN32)
    // 0x2: allow an unprivileged process (developer mode).
    return CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2) != 0;
#else
    return ::symlink(Narrow(target).c_str(), Narrow(link).c_str()) == 0;
#endif
}

}  // namespace kuttest
