// kutrc: language libraries from message catalogs, and back.
//
//   kutrc build <catalog> <out.dll>   write a resource-only DLL
//   kutrc dump <dll> [out.txt]        list every string as a catalog
//
// The catalog format is described in tools/lib/catalog.h. Exit status: 0 on
// success, 1 when a file cannot be read, parsed or written, or when the
// library is damaged (what can be read is dumped all the same, and each
// damaged block is named on standard error), 2 on bad usage.
#include <cstdio>
#include <string>
#include <vector>

#include "catalog.h"
#include "langlib_writer.h"
#include "textconv.h"

namespace {

int Usage() {
    std::fputs(
        "usage: kutrc build <catalog> <out.dll>\n"
        "       kutrc dump <dll> [out.txt]\n",
        stderr);
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "kutrc: %s\n", message.c_str());
    return 1;
}

int Run(const std::vector<std::wstring>& args) {
    if (args.size() < 2) return Usage();
    const std::wstring& cmd = args[1];
    std::string error;
    if (cmd == L"build") {
        if (args.size() != 4) return Usage();
        if (!kuttools::BuildLanguageLibraryFromCatalog(args[2], args[3], &error)) return Fail(error);
        return 0;
    }
    if (cmd == L"dump") {
        if (args.size() != 3 && args.size() != 4) return Usage();
        kuttools::StringMap strings;
        std::vector<std::string> damage;
        if (!kuttools::DumpLanguageLibrary(args[2], &strings, &error, &damage)) return Fail(error);
        if (args.size() == 4) {
            if (!kuttools::WriteCatalog(args[3], strings, &error)) return Fail(error);
        } else {
            const std::string text = kuttools::FormatCatalog(strings);
            if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
                return Fail("cannot write the catalog to standard output");
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
