// Folders and files of the kut tool: where the stand-ins look for their data,
// what a path names, the output checks every writing command makes, and the
// path helpers the commands share.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "cli.h"
#include "kbase/kbase.h"
#include "kut/types.h"
#include "native.h"
#include "textconv.h"

namespace fs = std::filesystem;

namespace kutcli {

namespace {

using kuttools::native::FsPath;

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

}  // namespace

// ---- folders -------------------------------------------------------------------

std::wstring BundledDataDir() {
    std::wstring exe = kuttools::native::ExePath();
    if (exe.empty()) return std::wstring();
    fs::path bin = FsPath(exe).parent_path();
    // Installed: <prefix>/bin/kut and <prefix>/share/kut/data; build tree:
    // <build>/bin/kut and <build>/data.
    for (const fs::path& candidate : {bin / ".." / "share" / "kut" / "data", bin / ".." / "data"}) {
        std::error_code ec;
        if (fs::is_directory(candidate, ec)) {
            fs::path canonical = fs::weakly_canonical(candidate, ec);
            return kuttools::native::FromFsPath(ec ? candidate : canonical);
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
    if (!EnvNamesKind(9)) REP_SetRepert(9, kuttools::native::TempDir().c_str());
    return true;
}

std::wstring KindDir(short kind) { return KindPath(kind, L""); }

std::wstring KindPath(short kind, const std::wstring& name) {
    wchar_t out[KUT_TMPPATH_MAX] = {0};
    REP_Repert(0, kind, name.c_str(), out);
    return out;
}

std::wstring MakeTempDir(const std::string& prefix) {
    std::wstring base = kuttools::native::TempDir();
    long long seed = NowMs();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, "-%lu-%lld", kuttools::native::ProcessId(), (seed + attempt * 7919) % 1000000);
        std::wstring dir = Join(base, FromU8(prefix + suffix));
        std::error_code ec;
        if (fs::create_directory(FsPath(dir), ec) && !ec) return dir;
    }
    return std::wstring();
}

// ---- files ---------------------------------------------------------------------

bool IsFile(const std::wstring& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(FsPath(path), ec);
}

bool IsDir(const std::wstring& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(FsPath(path), ec);
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
    std::FILE* f = kuttools::native::OpenFile(path, "rb");
    if (!f) return kuttools::native::ErrnoReason(errno);
    std::fclose(f);
    return "it can be opened, but not read as this command needs";
}

// ---- paths ---------------------------------------------------------------------

std::wstring Join(const std::wstring& dir, const std::wstring& name) {
    if (dir.empty()) return name;
    if (dir.back() == kSep || dir.back() == L'/') return dir + name;
    return dir + kSep + name;
}

std::wstring Absolute(const std::wstring& path) {
    std::error_code ec;
    fs::path abs = fs::absolute(FsPath(path), ec);
    return ec ? path : StripSeparators(kuttools::native::FromFsPath(abs.lexically_normal()));
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

long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace kutcli
