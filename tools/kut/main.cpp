// kut: the data files of the kut library, looked into and produced from the
// command line, through the library itself.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "environment.h"
#include "native.h"
#include "textconv.h"

#ifndef KUT_VERSION
#define KUT_VERSION "unknown"
#endif

namespace kutcli {
namespace {

const char kHelp[] =
    "usage: kut [--data DIR] <command> [arguments]\n"
    "\n"
    "Commands:\n"
    "  msg     texts of a module by number; dump or build a language library\n"
    "  decode  convert DOS text files, fold text through a dictionary, show the tables\n"
    "  img     list, extract, build an image file; size an image; draw a contact sheet\n"
    "  units   coefficients and ratios of length, force and mass units\n"
    "  tree    copy, remove or scan a directory tree\n"
    "  demo    a typical request end to end on the sample data\n"
    "\n"
    "Options:\n"
    "  --data DIR   folder of the language libraries, image file, decoding and unit\n"
    "               files (default: the sample data installed with kut)\n"
    "  --version    print the version\n"
    "  -h, --help   this text; 'kut <command> --help' for a command\n"
    "\n"
    "Environment: KBASE_ROOT, KBASE_DIR_<N> (folder of directory kind N: 1\n"
    "configuration, 2 language libraries and image file, 5 decoding data, 9\n"
    "temporary files), KOPTS_LANGUAGE (\"logic,output\"), KOPTS_UNITS (\"nonmetric\").\n"
    "A value the libraries would ignore (and use their default instead), or a\n"
    "folder that does not exist, is warned about once on standard error.\n"
    "\n"
    "Exit status: 0 success, 1 the operation failed, 2 usage error.\n";

int Run(std::vector<std::wstring> args) {
    // Global options may stand anywhere before a "--".
    std::wstring data;
    bool dataGiven = false;
    std::vector<std::wstring> rest;
    bool options = true;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        if (options && a == L"--") options = false;
        if (options && (a == L"--data" || a.compare(0, 7, L"--data=") == 0)) {
            if (a == L"--data") {
                if (i + 1 >= args.size()) return Usage("", "option --data needs a value");
                data = args[++i];
            } else {
                data = a.substr(7);
            }
            if (data.empty()) return Usage("", "option --data needs a folder");
            dataGiven = true;
            continue;
        }
        rest.push_back(a);
    }
    if (rest.empty()) {
        std::fputs(kHelp, stderr);
        return kExitUsage;
    }
    const std::wstring& cmd = rest[0];
    if (cmd == L"--help" || cmd == L"-h" || cmd == L"help") {
        Out(kHelp);
        return kExitOk;
    }
    if (cmd == L"--version") {
        OutLine(std::string("kut ") + KUT_VERSION);
        return kExitOk;
    }
    int (*handler)(const std::vector<std::wstring>&) = nullptr;
    if (cmd == L"msg")
        handler = CmdMsg;
    else if (cmd == L"decode")
        handler = CmdDecode;
    else if (cmd == L"img")
        handler = CmdImg;
    else if (cmd == L"units")
        handler = CmdUnits;
    else if (cmd == L"tree")
        handler = CmdTree;
    else if (cmd == L"demo")
        handler = CmdDemo;
    if (!handler) return Usage("", "unknown command '" + U8(cmd) + "'");

    for (const std::string& warning : kuttools::EnvironmentWarnings()) { Warn(warning); }
    std::string error;
    if (!SetUpFolders(dataGiven ? data : std::wstring(), &error)) return Fail(error);
    InstallMessageBoxHook();
    int status = handler(rest);
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int err = errno;
        return Fail("cannot write to standard output: " +
                    (err ? kuttools::native::ErrnoReason(err) : std::string("write error")));
    }
    return status;
}

}  // namespace
}  // namespace kutcli

KUTTOOLS_MAIN(kutcli::Run)
