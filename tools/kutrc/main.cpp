// kutrc: language libraries from message catalogs, and back.
//
//   kutrc build <catalog> <out.dll>   write a resource-only DLL
//   kutrc dump <dll> [out.txt]        list every string as a catalog
//
// An output file is written under a temporary name and renamed over the
// destination when complete; it never replaces the input (compared by
// identity). -n / --no-clobber keeps an existing output, as cp -n does.
//
// The catalog format is described in tools/lib/catalog.h. Exit status: 0 on
// success, 1 when a file cannot be read, parsed or written, or when the
// library is damaged (what can be read is dumped all the same, and each
// damaged block is named on standard error), 2 on bad usage.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "catalog.h"
#include "environment.h"
#include "langlib_writer.h"
#include "native.h"
#include "textconv.h"

namespace {

int Usage() {
    std::fputs(
        "usage: kutrc build <catalog> <out.dll> [-n]\n"
        "       kutrc dump <dll> [out.txt] [-n]\n"
        "  -n, --no-clobber   keep an existing output file\n",
        stderr);
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "kutrc: %s\n", message.c_str());
    return 1;
}

// Why `path` cannot be read, or empty when it can.
std::string Unreadable(const std::wstring& path) {
    std::string bytes, error;
    return kuttools::native::ReadFile(path, &bytes, &error) ? std::string() : error;
}

int Run(std::vector<std::wstring> args) {
    namespace native = kuttools::native;
    native::Replace replace = native::Replace::kAllow;
    for (std::size_t i = 1; i < args.size();) {
        if (args[i] == L"-n" || args[i] == L"--no-clobber") {
            replace = native::Replace::kRefuse;
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    if (args.size() < 2) return Usage();
    for (const std::string& warning : kuttools::EnvironmentWarnings()) {
        std::fprintf(stderr, "kutrc: warning: %s\n", warning.c_str());
    }
    const std::wstring& cmd = args[1];
    std::string error;
    if (cmd == L"build") {
        if (args.size() != 4) return Usage();
        if (!kuttools::BuildLanguageLibraryFromCatalog(args[2], args[3], &error, kuttools::kDefaultLangId, replace)) {
            return Fail(error);
        }
        return 0;
    }
    if (cmd == L"dump") {
        if (args.size() != 3 && args.size() != 4) return Usage();
        if (args.size() == 4) {
            if (!native::CheckOutputs({args[2]}, {args[3]}, &error)) return Fail(error);
            if (replace == native::Replace::kRefuse && native::Exists(args[3])) return 0;
        }
        const std::string why = Unreadable(args[2]);
        if (!why.empty()) return Fail(why);
        kuttools::StringMap strings;
        std::vector<std::string> damage;
        if (!kuttools::DumpLanguageLibrary(args[2], &strings, &error, &damage)) return Fail(error);
        if (args.size() == 4) {
            if (!kuttools::WriteCatalog(args[3], strings, &error, replace)) return Fail(error);
        } else {
            const std::string text = kuttools::FormatCatalog(strings);
            errno = 0;
            if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
                const int err = errno;
                return Fail("cannot write the catalog to standard output: " +
                            (err ? native::ErrnoReason(err) : std::string("write error")));
            }
        }
        for (const std::string& line : damage) Fail(kuttools::ToUtf8(args[2]) + ": " + line);
        return damage.empty() ? 0 : 1;
    }
    return Usage();
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) { return Run(kuttools::WideArgs(argc, argv)); }
#else
// Arguments are UTF-8 on Linux; the catalog helpers take wide paths.
int main(int argc, char** argv) { return Run(kuttools::WideArgs(argc, argv)); }
#endif
