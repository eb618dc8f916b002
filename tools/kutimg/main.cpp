// kutimg: image files from folders of BMPs, and a look inside them.
//
//   kutimg build <folder> <out.img>                one subfolder per module
//   kutimg list <file.img>                          modules, images, sizes
//   kutimg extract <file.img> <module> <n> <out.bmp>
//   kutimg sheet <file.img> <module> <out.bmp> [columns]
//   kutimg samples <folder>                         writes the sample BMPs
//
// An output file is written under a temporary name and renamed over the
// destination when complete; it never replaces an input (compared by
// identity). -n / --no-clobber keeps an existing output, as cp -n does.
//
// Exit status: 0 on success, 1 when a file cannot be read or written, 2 on
// bad usage.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "environment.h"
#include "imgfile.h"
#include "native.h"
#include "samples.h"
#include "textconv.h"

namespace {

int Usage() {
    std::fputs(
        "usage: kutimg build <folder> <out.img> [-n]\n"
        "       kutimg list <file.img>\n"
        "       kutimg extract <file.img> <module> <n> <out.bmp> [-n]\n"
        "       kutimg sheet <file.img> <module> <out.bmp> [columns] [-n]\n"
        "       kutimg samples <folder> [-n]\n"
        "  -n, --no-clobber   keep an existing output file\n",
        stderr);
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "kutimg: %s\n", message.c_str());
    return 1;
}

// Module names are single-byte text.
std::string Bytes(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += static_cast<char>(c);
    return s;
}

bool Number(const std::wstring& w, int* n) {
    if (w.empty() || w.size() > 6) return false;
    int v = 0;
    for (wchar_t c : w) {
        if (c < L'0' || c > L'9') return false;
        v = v * 10 + (c - L'0');
    }
    *n = v;
    return true;
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
        std::fprintf(stderr, "kutimg: warning: %s\n", warning.c_str());
    }
    const std::wstring& cmd = args[1];
    std::string error;
    if (cmd == L"build" && args.size() == 4) {
        return kuttools::BuildImageFile(args[2], args[3], &error, replace) ? 0 : Fail(error);
    }
    if (cmd == L"list" && args.size() == 3) {
        std::vector<kuttools::ImgModuleInfo> modules;
        if (!kuttools::ListImageFile(args[2], &modules, &error)) return Fail(error);
        const std::string text = kuttools::FormatListing(modules);
        errno = 0;
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
            const int err = errno;
            return Fail("cannot write the listing to standard output: " +
                        (err ? native::ErrnoReason(err) : std::string("write error")));
        }
        return 0;
    }
    int n = 0;
    if (cmd == L"extract" && args.size() == 6) {
        if (!Number(args[4], &n)) return Usage();
        return kuttools::ExtractImage(args[2], Bytes(args[3]), n, args[5], &error, replace) ? 0 : Fail(error);
    }
    if (cmd == L"sheet" && (args.size() == 5 || args.size() == 6)) {
        int columns = 16;
        if (args.size() == 6 && !Number(args[5], &columns)) return Usage();
        return kuttools::RenderSheet(args[2], Bytes(args[3]), args[4], columns, 4, &error, replace) ? 0 : Fail(error);
    }
    if (cmd == L"samples" && args.size() == 3) {
        return kutimg::WriteSamples(args[2], &error, replace) ? 0 : Fail(error);
    }
    return Usage();
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) { return Run(kuttools::WideArgs(argc, argv)); }
#else
int main(int argc, char** argv) { return Run(kuttools::WideArgs(argc, argv)); }
#endif
