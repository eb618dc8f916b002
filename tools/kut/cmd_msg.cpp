// kut msg: the texts of a module as K_MSG serves them, and language
// libraries dumped to catalogs and built from them.
#include <cstdio>
#include <string>
#include <vector>

#include "catalog.h"
#include "cli.h"
#include "kopts/kopts.h"
#include "kut/msg.h"
#include "langlib_writer.h"
#include "msgtext.h"
#if defined(KUT_HAVE_PO)
#include "po.h"
#endif

namespace kutcli {
namespace {

const char kHelp[] =
    "usage: kut msg show <module> [<number>...] [options]\n"
    "       kut msg dump <library> [<catalog>] [-n]\n"
    "       kut msg build <catalog> <library> [-n]\n"
    "       kut msg check <library>\n"
    "       kut msg export <ref library> [<target library>] <out.po> [--language TAG] [-n]\n"
    "       kut msg import <ref library> <translated.po> <out library> [--fallback] [-n]\n"
    "       kut msg compare <ref library> <target library>\n"
    "\n"
    "show   the texts of the numbers as a K_MSG of the module serves them, one\n"
    "       '<number><TAB><text>' line each (catalog escapes); without numbers\n"
    "       every text of the module (mode 4). The libraries are named from the\n"
    "       module and the language numbers (KMAIN, language 1: KEST_001.dll) and\n"
    "       found in the folder of directory kind 2.\n"
    "         --lang N     logic language (default: the settings, KOPTS_LANGUAGE)\n"
    "         --output N   output language, for texts marked OUT:: (default: settings)\n"
    "         --mode M     1 on demand (default), 2 listed, 4 complete sorted table\n"
    "         --cache      mode 1 with its text cache\n"
    "         --field N    keep field N of each \"$$\"-separated text (mode 4)\n"
    "         --bound N    mode 4 reads the numbers below N (default 65536)\n"
    "dump   every string of a language library as a catalog, to the file or to\n"
    "       standard output; a bare file name is also looked for in kind 2. A\n"
    "       damaged library dumps what can be read, names each damaged block on\n"
    "       standard error and exits 1\n"
    "build  a language library from a catalog\n"
    "check  the structure of a language library's string table, one line per\n"
    "       damaged block; exit 0 when whole, 1 when damaged\n"
    "export a GNU gettext PO file for translators: one entry per number of the\n"
    "       reference (msgctxt the number, msgid its text, msgstr the target's\n"
    "       text, empty without a target). Language: from --language or the\n"
    "       target's number (KEST_002.dll: 2, fr; the table is in the README)\n"
    "import a language library from a translated PO file; fuzzy and empty\n"
    "       translations are left out, or take the reference text with --fallback\n"
    "compare what a translation breaks at run time, one line per problem:\n"
    "       numbers missing or extra, different %n parameters, $$ field counts,\n"
    "       an OUT:: marker on one side, different leading or trailing blanks;\n"
    "       exit status 1 when any\n"
#if !defined(KUT_HAVE_PO)
    "export and import are not in this build: it was made without GNU gettext's\n"
    "libgettextpo (the Linux build has them)\n"
#endif
    "\n"
    "dump, build, export and import write their file under a temporary name and\n"
    "put it in place when it is complete; they refuse to write over an input.\n"
    "  -n, --no-clobber   keep an existing output file (nothing is written)\n";

// A language number as the constructors and the settings take it.
bool Language(const Parsed& p, const wchar_t* option, long* value, std::string* error) {
    const std::wstring* v = p.Value(option);
    if (!v) return true;
    if (!ParseNumber(*v, option == std::wstring(L"--lang") ? 0 : 1, 32767, value)) {
        *error = "bad language number '" + U8(*v) + "' for " + U8(option);
        return false;
    }
    return true;
}

std::wstring LibraryName(const wchar_t* shortName, long language) {
    wchar_t number[16];
    std::swprintf(number, 16, L"%03ld", language);
    return std::wstring(shortName) + number + L".dll";
}

int Show(const Parsed& p) {
    if (p.positional.size() < 2) return Usage("msg", "show needs a module name");
    const std::wstring& module = p.positional[1];
    if (module.size() >= 1024) return Usage("msg", "module name too long");
    std::string error;
    long lang = 0, output = 0, mode = KMSG_MODE_BY_NUMBER, field = 0, bound = 65536;
    if (!Language(p, L"--lang", &lang, &error) || !Language(p, L"--output", &output, &error)) { return Usage("msg", error); }
    if (const std::wstring* v = p.Value(L"--mode")) {
        if (!ParseNumber(*v, 1, 4, &mode) || mode == 3) return Usage("msg", "mode is 1, 2 or 4, not '" + U8(*v) + "'");
    }
    if (const std::wstring* v = p.Value(L"--field")) {
        if (!ParseNumber(*v, 1, 1023, &field)) return Usage("msg", "bad field number '" + U8(*v) + "'");
        if (!p.Value(L"--mode")) mode = KMSG_MODE_ALL;
        if (mode != KMSG_MODE_ALL) return Usage("msg", "--field is kept by the complete table: use it with --mode 4");
    }
    if (const std::wstring* v = p.Value(L"--bound")) {
        if (!ParseNumber(*v, 1, 65536, &bound)) return Usage("msg", "bound is 1 to 65536, not '" + U8(*v) + "'");
    }
    std::vector<KLONG> ids;
    for (std::size_t i = 2; i < p.positional.size(); ++i) {
        long id = 0;
        if (!ParseNumber(p.positional[i], 1, 65535, &id)) {
            return Usage("msg", "message numbers are 1 to 65535, not '" + U8(p.positional[i]) + "'");
        }
        ids.push_back(static_cast<KLONG>(id));
    }
    if (ids.empty() && !p.Value(L"--mode")) mode = KMSG_MODE_ALL;
    if (ids.empty() && mode != KMSG_MODE_ALL) return Usage("msg", "show needs message numbers in modes 1 and 2");
    if (ids.size() > 32767) return Usage("msg", "too many numbers");
    if (p.Has(L"--cache") && mode != KMSG_MODE_BY_NUMBER) return Usage("msg", "--cache belongs to mode 1");

    CONF_LANGUAGE* settings = CONF_Language();
    if (p.Value(L"--output")) settings->output = static_cast<int>(output);
    const long logic = lang != 0 ? lang : settings->logic;

    K_MSG* msg = nullptr;
    if (mode == KMSG_MODE_BY_NUMBER) {
        msg = new K_MSG(module.c_str(), p.Has(L"--cache") ? 1 : 0, L"", static_cast<short>(lang));
    } else if (mode == KMSG_MODE_LIST) {
        msg = new K_MSG(module.c_str(), ids.data(), static_cast<short>(ids.size()), 0, L"", static_cast<short>(lang));
    } else {
        msg = new K_MSG(module.c_str(), static_cast<short>(lang), static_cast<KLONG>(bound), 0, static_cast<int>(field));
    }
    int status = kExitOk;
    if (msg->wasInitError() == -1) {
        // Name each library that did not load and say why.
        const std::pair<HMODULE, long> libs[2] = {{msg->m_LogicLib, logic}, {msg->m_OutputLib, settings->output}};
        for (const auto& lib : libs) {
            if (lib.first) continue;
            std::wstring path = KindPath(2, LibraryName(msg->m_Name, lib.second));
            std::string why = IsFile(path) ? "not a language library" : WhyUnreadable(path);
            Fail(U8(path) + ": " + why);
            if (libs[0].second == libs[1].second) break;  // the same file twice
        }
        delete msg;
        return kExitFail;
    }
    auto print = [](KLONG id, const wchar_t* text) {
        OutLine(std::to_string(id) + "\t" + kuttools::EscapeText(kuttools::ToUtf16(text)));
    };
    if (ids.empty()) {
        for (int i = 0; i < msg->m_Count; ++i) print(msg->m_Items[i].nId, msg->m_Items[i].pText);
    }
    for (KLONG id : ids) {
        const wchar_t* text = msg->text(id);
        if (!text || !*text) {
            Fail("message " + std::to_string(id) + ": no text in " + U8(LibraryName(msg->m_Name, logic)) + " (module " +
                 U8(module) + ")");
            status = kExitFail;
            continue;
        }
        print(id, text);
    }
    delete msg;
    return status;
}

// A library named on the command line, or by its bare name in kind 2.
std::wstring FindLibrary(const std::wstring& arg) {
    if (IsFile(arg)) return arg;
    if (arg.find(L'/') == std::wstring::npos && arg.find(kSep) == std::wstring::npos) {
        std::wstring inData = KindPath(2, arg);
        if (IsFile(inData)) return inData;
    }
    return arg;
}

int Dump(const Parsed& p) {
    if (p.positional.size() < 2 || p.positional.size() > 3) return Usage("msg", "dump takes a library and an optional catalog");
    std::wstring library = FindLibrary(p.positional[1]);
    if (!IsFile(library)) return Fail(U8(library) + ": " + WhyUnreadable(library));
    const bool toFile = p.positional.size() == 3;
    if (toFile) {
        const int checked = CheckOutput({library}, p.positional[2], NoClobber(p));
        if (checked != kExitOk) return checked == kSkip ? kExitOk : checked;
    }
    kuttools::StringMap strings;
    std::string error;
    std::vector<std::string> damage;
    if (!kuttools::DumpLanguageLibrary(library, &strings, &error, &damage)) return Fail(error);
    if (toFile) {
        if (!kuttools::WriteCatalog(p.positional[2], strings, &error, OutputReplace(p))) return Fail(error);
    } else {
        Out(kuttools::FormatCatalog(strings));
    }
    // Every string that could be read is out; the damage makes it a failure.
    for (const std::string& line : damage) Fail(U8(library) + ": " + line);
    return damage.empty() ? kExitOk : kExitFail;
}

int Check(const Parsed& p) {
    if (p.positional.size() != 2) return Usage("msg", "check takes one library");
    const std::wstring library = FindLibrary(p.positional[1]);
    if (!IsFile(library)) return Fail(U8(library) + ": " + WhyUnreadable(library));
    std::string error;
    std::vector<std::string> damage;
    if (!kuttools::CheckLanguageLibrary(library, &damage, &error)) return Fail(error);
    for (const std::string& line : damage) OutLine(U8(library) + ": " + line);
    if (damage.empty()) OutLine(U8(library) + ": no damage found");
    return damage.empty() ? kExitOk : kExitFail;
}

int Build(const Parsed& p) {
    if (p.positional.size() != 3) return Usage("msg", "build takes a catalog and a library");
    const std::wstring& catalog = p.positional[1];
    if (!IsFile(catalog)) return Fail(U8(catalog) + ": " + WhyUnreadable(catalog));
    const int checked = CheckOutput({catalog}, p.positional[2], NoClobber(p));
    if (checked != kExitOk) return checked == kSkip ? kExitOk : checked;
    std::string error;
    if (!kuttools::BuildLanguageLibraryFromCatalog(catalog, p.positional[2], &error, kuttools::kDefaultLangId,
                                                   OutputReplace(p))) {
        return Fail(error);
    }
    return kExitOk;
}

// Both libraries of a translation command, read completely.
bool ReadLibrary(const std::wstring& arg, kuttools::StringMap* strings) {
    std::wstring library = FindLibrary(arg);
    if (!IsFile(library)) return Fail(U8(library) + ": " + WhyUnreadable(library)), false;
    std::string error;
    if (!kuttools::DumpLanguageLibrary(library, strings, &error)) return Fail(error), false;
    return true;
}

int Compare(const Parsed& p) {
    if (p.positional.size() != 3) return Usage("msg", "compare takes a reference and a target library");
    kuttools::StringMap ref, target;
    if (!ReadLibrary(p.positional[1], &ref) || !ReadLibrary(p.positional[2], &target)) return kExitFail;
    const std::vector<std::string> problems = kuttools::CompareStrings(ref, target);
    for (const std::string& line : problems) OutLine(line);
    return problems.empty() ? kExitOk : kExitFail;
}

#if defined(KUT_HAVE_PO)
int Export(const Parsed& p) {
    if (p.positional.size() != 3 && p.positional.size() != 4)
        return Usage("msg", "export takes a reference, an optional target and a PO file");
    const bool hasTarget = p.positional.size() == 4;
    kuttools::StringMap ref, target;
    if (!ReadLibrary(p.positional[1], &ref) || (hasTarget && !ReadLibrary(p.positional[2], &target))) return kExitFail;
    std::string tag;
    if (const std::wstring* v = p.Value(L"--language"))
        tag = U8(*v);
    else if (hasTarget)
        tag = kuttools::LanguageTag(kuttools::LanguageOfLibraryName(p.positional[2]));
    std::vector<std::wstring> inputs{FindLibrary(p.positional[1])};
    if (hasTarget) inputs.push_back(FindLibrary(p.positional[2]));
    const int checked = CheckOutput(inputs, p.positional.back(), NoClobber(p));
    if (checked != kExitOk) return checked == kSkip ? kExitOk : checked;
    std::string error;
    if (!kuttools::ExportPo(ref, hasTarget ? &target : nullptr, tag, p.positional.back(), &error, OutputReplace(p))) {
        return Fail(error);
    }
    return kExitOk;
}

int Import(const Parsed& p) {
    if (p.positional.size() != 4) return Usage("msg", "import takes a reference library, a PO file and a library");
    kuttools::StringMap ref, out;
    if (!ReadLibrary(p.positional[1], &ref)) return kExitFail;
    const int checked = CheckOutput({FindLibrary(p.positional[1]), p.positional[2]}, p.positional[3], NoClobber(p));
    if (checked != kExitOk) return checked == kSkip ? kExitOk : checked;
    std::string error;
    if (!kuttools::ImportPo(ref, p.positional[2], p.Has(L"--fallback"), &out, &error) ||
        !kuttools::WriteLanguageLibrary(p.positional[3], out, &error, kuttools::kDefaultLangId, OutputReplace(p))) {
        return Fail(error);
    }
    return kExitOk;
}
#endif

}  // namespace

int CmdMsg(const std::vector<std::wstring>& args) {
    Parsed p;
    std::string error;
    if (!Parse(args, 1, {L"--lang", L"--output", L"--mode", L"--field", L"--bound", L"--language"},
               {L"--cache", L"--fallback", L"-n", L"--no-clobber"}, &p, &error)) {
        return Usage("msg", error);
    }
    if (p.help) {
        Out(kHelp);
        return kExitOk;
    }
    if (p.positional.empty()) return Usage("msg", "missing action: show, dump, build, check, export, import or compare");
    const std::wstring& action = p.positional[0];
    if (action == L"show") return Show(p);
    if (action == L"dump") return Dump(p);
    if (action == L"build") return Build(p);
    if (action == L"check") return Check(p);
    if (action == L"compare") return Compare(p);
#if defined(KUT_HAVE_PO)
    if (action == L"export") return Export(p);
    if (action == L"import") return Import(p);
#else
    if (action == L"export" || action == L"import")
        return Fail("msg " + U8(action) + ": not in this build (made without libgettextpo)");
#endif
    return Usage("msg", "unknown action '" + U8(action) + "'");
}

}  // namespace kutcli
