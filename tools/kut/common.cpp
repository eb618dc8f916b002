// Argument parsing, UTF-8 output, folders and the operating-system questions
// of the kut tool.
#include "cli.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "kbase/kbase.h"
#include "kut/kut_ext.h"
#include "kut/types.h"
#include "langlib_writer.h"
#include "native.h"
#include "textconv.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace kutcli {

namespace {

fs::path FsPath(const std::wstring& path) {
#if defined(_WIN32)
    return fs::path(path);
#else
    return fs::path(U8(path));
#endif
}

std::wstring FromFs(const fs::path& path) {
#if defined(_WIN32)
    return path.wstring();
#else
    return FromU8(path.string());
#endif
}

bool EnvSet(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

// Whether the environment names the folder of `kind` for the stand-in.
bool EnvNamesKind(int kind) {
    char name[32];
    std::snprintf(name, sizeof name, "KBASE_DIR_%d", kind);
    return EnvSet(name) || EnvSet("KBASE_ROOT");
}

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
    return FromU8(std::string(buf.data(), static_cast<std::size_t>(n)));
#endif
}

int MessageBoxToStderr(const wchar_t* text, const wchar_t* caption, unsigned style) {
    std::wstring t = text ? text : L"";
    MessageBoxTexts().push_back(t);
    std::string c = caption && *caption ? U8(caption) : std::string("warning");
    std::fprintf(stderr, "kut: %s: %s\n", c.c_str(), U8(t).c_str());
    return 1;  // OK
}

}  // namespace

// ---- text ------------------------------------------------------------------

std::string U8(const std::wstring& text) { return kuttools::ToUtf8(text); }
std::wstring FromU8(const std::string& text) { return kuttools::FromUtf8(text); }

std::string Cp1252ToU8(const std::string& bytes) {
    static const unsigned short k80[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::wstring w;
    for (unsigned char c : bytes) w += static_cast<wchar_t>(c >= 0x80 && c < 0xA0 ? k80[c - 0x80] : c);
    return U8(w);
}

void Out(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }
void OutLine(const std::string& text) {
    Out(text);
    std::fputc('\n', stdout);
}

int Fail(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "kut: %s\n", message.c_str());
    return kExitFail;
}

int Usage(const std::string& command, const std::string& message) {
    std::fflush(stdout);
    std::string name = command.empty() ? "kut" : "kut " + command;
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", name.c_str(), message.c_str(), name.c_str());
    return kExitUsage;
}

// ---- arguments ---------------------------------------------------------------

const std::wstring* Parsed::Value(const wchar_t* option) const {
    auto it = values.find(option);
    return it == values.end() ? nullptr : &it->second;
}

bool Parse(const std::vector<std::wstring>& args, std::size_t first, const std::vector<std::wstring>& valued,
           const std::vector<std::wstring>& plain, Parsed* out, std::string* error) {
    auto in = [](const std::vector<std::wstring>& list, const std::wstring& s) {
        for (const auto& x : list)
            if (x == s) return true;
        return false;
    };
    bool options = true;
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        if (!options || a.size() < 2 || a[0] != L'-') {
            out->positional.push_back(a);
            continue;
        }
        if (a == L"--") {
            options = false;
            continue;
        }
        if (a == L"-h" || a == L"--help") {
            out->help = true;
            continue;
        }
        std::wstring name = a, value;
        bool inlineValue = false;
        std::size_t eq = a.find(L'=');
        if (a.compare(0, 2, L"--") == 0 && eq != std::wstring::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inlineValue = true;
        }
        if (in(valued, name)) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) {
                    *error = "option " + U8(name) + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            out->values[name] = value;
        } else if (in(plain, name) && !inlineValue) {
            out->flags.insert(name);
        } else if (a.size() > 1 && (a[1] >= L'0' && a[1] <= L'9')) {
            out->positional.push_back(a);  // a negative number
        } else {
            *error = "unknown option " + U8(a);
            return false;
        }
    }
    return true;
}

bool ParseNumber(const std::wstring& text, long min, long max, long* value) {
    if (text.empty() || text.size() > 12) return false;
    std::size_t i = 0;
    bool negative = false;
    if (text[0] == L'-' || text[0] == L'+') {
        negative = text[0] == L'-';
        i = 1;
    }
    if (i == text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        v = v * 10 + (text[i] - L'0');
    }
    if (negative) v = -v;
    if (v < min || v > max) return false;
    *value = static_cast<long>(v);
    return true;
}

// ---- folders and files -------------------------------------------------------

std::wstring BundledDataDir() {
    std::wstring exe = ExePath();
    if (exe.empty()) return std::wstring();
    fs::path bin = FsPath(exe).parent_path();
    // Installed: <prefix>/bin/kut and <prefix>/share/kut/data; build tree:
    // <build>/bin/kut and <build>/data.
    for (const fs::path& candidate : {bin / ".." / "share" / "kut" / "data", bin / ".." / "data"}) {
        std::error_code ec;
        if (fs::is_directory(candidate, ec)) {
            fs::path canonical = fs::weakly_canonical(candidate, ec);
            return FromFs(ec ? candidate : canonical);
        }
    }
    return std::wstring();
}

bool SetUpFolders(const std::wstring& dataOption, std::string* error) {
    std::wstring data = dataOption;
    if (!data.empty()) {
        if (!IsDir(data)) {
            *error = U8(data) + ": no such folder (--data)";
            return false;
        }
        data = Absolute(data);
    }
    std::wstring bundled;
    for (short kind : {short{1}, short{2}, short{5}}) {
        if (!data.empty()) {
            REP_SetRepert(kind, data.c_str());
        } else if (!EnvNamesKind(kind)) {
            if (bundled.empty()) bundled = BundledDataDir();
            if (!bundled.empty()) REP_SetRepert(kind, bundled.c_str());
        }
    }
    if (!EnvNamesKind(9)) REP_SetRepert(9, SystemTempDir().c_str());
    return true;
}

std::wstring KindDir(short kind) { return KindPath(kind, L""); }

std::wstring KindPath(short kind, const std::wstring& name) {
    wchar_t out[KUT_TMPPATH_MAX] = {0};
    REP_Repert(0, kind, name.c_str(), out);
    return out;
}

bool IsFile(const std::wstring& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(FsPath(path), ec);
}

bool IsDir(const std::wstring& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(FsPath(path), ec);
}

bool SameFile(const std::wstring& a, const std::wstring& b) { return kuttools::native::SameFile(a, b); }

bool NoClobber(const Parsed& p) { return p.Has(L"-n") || p.Has(L"--no-clobber"); }

kuttools::native::Replace OutputReplace(const Parsed& p) {
    return NoClobber(p) ? kuttools::native::Replace::kRefuse : kuttools::native::Replace::kAllow;
}

int CheckOutput(const std::vector<std::wstring>& inputs, const std::wstring& output, bool noClobber) {
    std::string error;
    if (!kuttools::native::CheckOutputs(inputs, {output}, &error)) return Fail(error);
    if (kuttools::native::IsDirectory(output)) return Fail(U8(output) + ": is a directory");
    if (noClobber && kuttools::native::Exists(output)) return kSkip;
    return kExitOk;
}

std::string WhyUnreadable(const std::wstring& path) {
    std::error_code ec;
    fs::path p = FsPath(path);
    if (!fs::exists(p, ec)) return ec && ec != std::errc::no_such_file_or_directory ? ec.message() : "no such file";
    if (fs::is_directory(p, ec)) return "is a directory";
    if (!fs::is_regular_file(p, ec)) return "not a regular file";
#if defined(_WIN32)
    std::FILE* f = _wfopen(path.c_str(), L"rb");
#else
    std::FILE* f = std::fopen(kuttools::native::NativePath(path).c_str(), "rb");
#endif
    if (!f) return kuttools::native::ErrnoReason(errno);
    std::fclose(f);
    return "it can be opened, but not read as this command needs";
}

bool ReadBytes(const std::wstring& path, std::string* bytes) {
    std::string error;
    return kuttools::lang::ReadFileBytes(path, bytes, &error);
}

std::wstring SystemTempDir() {
    std::error_code ec;
    fs::path t = fs::temp_directory_path(ec);
    if (ec) {
#if defined(_WIN32)
        return L".";
#else
        return L"/tmp";
#endif
    }
    return StripSeparators(FromFs(t));
}

std::wstring MakeTempDir(const std::string& prefix) {
    std::wstring base = SystemTempDir();
    long long seed = NowMs();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
#if defined(_WIN32)
        unsigned long pid = GetCurrentProcessId();
#else
        unsigned long pid = static_cast<unsigned long>(getpid());
#endif
        std::snprintf(suffix, sizeof suffix, "-%lu-%lld", pid, (seed + attempt * 7919) % 1000000);
        std::wstring dir = Join(base, FromU8(prefix + suffix));
        std::error_code ec;
        if (fs::create_directory(FsPath(dir), ec) && !ec) return dir;
    }
    return std::wstring();
}

std::wstring Join(const std::wstring& dir, const std::wstring& name) {
    if (dir.empty()) return name;
    if (dir.back() == kSep || dir.back() == L'/') return dir + name;
    return dir + kSep + name;
}

std::wstring Absolute(const std::wstring& path) {
    std::error_code ec;
    fs::path abs = fs::absolute(FsPath(path), ec);
    return ec ? path : StripSeparators(FromFs(abs.lexically_normal()));
}

std::wstring StripSeparators(const std::wstring& path) {
    std::wstring p = path;
    while (p.size() > 1 && (p.back() == kSep || p.back() == L'/')) {
#if defined(_WIN32)
        if (p.size() == 3 && p[1] == L':') break;  // "C:\"
#endif
        p.pop_back();
    }
    return p;
}

bool StderrIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void InstallMessageBoxHook() { KUT_SetMessageBoxHook(MessageBoxToStderr); }

std::vector<std::wstring>& MessageBoxTexts() {
    static std::vector<std::wstring> texts;
    return texts;
}

}  // namespace kutcli
