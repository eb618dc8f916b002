// kut decode: DOS text files converted with DECODE_Convert, text folded
// through a language dictionary, and the tables in force.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "kut/decode.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace kutcli {
namespace {

const char kHelp[] =
    "usage: kut decode convert <source> [<destination>] [--lang N] [-n]\n"
    "       kut decode fold [<text>...] [--lang N]\n"
    "       kut decode tables [--lang N]\n"
    "\n"
    "convert  a DOS text file to the Windows code page of language code N,\n"
    "         line by line; without a destination a free temporary name\n"
    "         TMP~NNN.con is made in the temporary folder (kind 9) and printed.\n"
    "         A named destination is written under a temporary name and put in\n"
    "         place when complete; the source itself is refused. A NUL byte\n"
    "         ends its line in the output: the lines it cut are named in a\n"
    "         warning. -n, --no-clobber keeps an existing destination\n"
    "fold     each text through the dictionary of language code N (plain\n"
    "         capitals), one line each; without texts, standard input to\n"
    "         standard output, byte by byte. Text characters above U+00FF are\n"
    "         refused: the dictionaries work on Windows code-page bytes\n"
    "tables   which code-page file or built-in table, and which dictionary,\n"
    "         language code N brings into force\n"
    "\n"
    "  --lang N   language code, -32768 to 32767 (default 1); 33 -> code page\n"
    "             437, 34 35 39 49 -> 850, 48 -> 852, others 437\n"
    "Data files DecodNNN.dcd and DecodNNN.dct are read from kind 5, once per run.\n";

// The selection rows of the decoding, for telling the user what was chosen.
struct Row {
    int file;             // number of the DecodNNN file
    const char* builtIn;  // table used when no file is in force
};

Row CodePageRow(int lang) {
    switch (lang) {
    case 33: return {33, "DOS_TABLE_437 (code page 437)"};
    case 34:
    case 35:
    case 39:
    case 49: return {lang, "DOS_TABLE_850 (code page 850)"};
    case 48: return {48, "DOS_TABLE_852 (code page 852)"};
    default: return {1, "DOS_TABLE_437 (code page 437)"};
    }
}

Row DictionaryRow(int lang) {
    switch (lang) {
    case 33:
    case 34:
    case 35:
    case 39:
    case 49:
    case 55:
    case 81: return {lang, "FOLD_TABLE_LATIN"};
    case 48: return {48, "FOLD_TABLE_CE"};
    case 70:
    case 79: return {70, "FOLD_TABLE_CYR"};
    default: return {1, "FOLD_TABLE_LATIN"};
    }
}

std::wstring FileName(int number, const wchar_t* ext) {
    wchar_t name[32];
    std::swprintf(name, 32, L"Decod%03d.%ls", number, ext);
    return name;
}

bool LanguageOption(const Parsed& p, short* lang, std::string* error) {
    long v = 1;
    if (const std::wstring* s = p.Value(L"--lang")) {
        if (!ParseNumber(*s, -32768, 32767, &v)) {
            *error = "bad language code '" + U8(*s) + "'";
            return false;
        }
    }
    *lang = static_cast<short>(v);
    return true;
}

// Line numbers (1 on, counted by line feeds as the conversion reads them)
// of the lines of `bytes` that hold a NUL byte, each line once. Reading ends
// at a byte 0x1A, as the conversion's reading does.
std::vector<long> LinesCutByNul(const std::string& bytes) {
    std::vector<long> lines;
    long line = 1;
    for (char c : bytes) {
        if (c == '\x1A') break;
        if (c == '\n') {
            ++line;
        } else if (c == '\0' && (lines.empty() || lines.back() != line)) {
            lines.push_back(line);
        }
    }
    return lines;
}

// A NUL ends a line in the output and the rest of that line is lost: said
// on standard error, the conversion still counts as done.
void WarnAboutNuls(const std::wstring& source) {
    std::string bytes, error;
    if (!kuttools::native::ReadFile(source, &bytes, &error)) return;
    const std::vector<long> lines = LinesCutByNul(bytes);
    if (lines.empty()) return;
    constexpr std::size_t kShown = 20;
    std::string list;
    for (std::size_t i = 0; i < lines.size() && i < kShown; ++i) list += (i ? ", " : "") + std::to_string(lines[i]);
    if (lines.size() > kShown) list += " and " + std::to_string(lines.size() - kShown) + " more";
    Warn(U8(source) + ": a NUL byte cut " + (lines.size() == 1 ? "line " : "lines ") + list +
         ": the text after the NUL is not in the output");
}

int Convert(const Parsed& p, short lang) {
    if (p.positional.size() < 2 || p.positional.size() > 3)
        return Usage("decode", "convert takes a source and an optional destination");
    const std::wstring& source = p.positional[1];
    const bool generated = p.positional.size() == 2;
    std::wstring dest = generated ? std::wstring() : p.positional[2];
    if (!generated && dest.empty()) return Usage("decode", "empty destination name");
    if (source.size() >= KUT_PATH_MAX || dest.size() >= KUT_PATH_MAX) return Fail("path too long (at most 259 characters)");
    if (!IsFile(source)) return Fail(U8(source) + ": " + WhyUnreadable(source));
    if (!generated) {
        const int checked = CheckOutput({source}, dest, NoClobber(p));
        if (checked != kExitOk) return checked == kSkip ? kExitOk : checked;
    }

    // A named destination: the conversion goes to a temporary name in the
    // destination's folder, which takes the destination's place only when
    // the conversion is complete.
    kuttools::native::PendingOutput pending;
    std::string error;
    if (!generated && !pending.Begin(dest, &error)) return Fail(error);
    const std::wstring target = generated ? std::wstring() : pending.TempPath();
    // Room for the temporary folder and a name beyond TMP~1000.con.
    std::vector<wchar_t> buffer(std::max<std::size_t>(KUT_TMPPATH_MAX + 32, target.size() + 1), 0);
    std::copy(target.begin(), target.end(), buffer.begin());
    errno = 0;
    int result = DECODE_Convert(source.c_str(), buffer.data(), lang);
    const int err = errno;
    if (result == 1) return Fail(U8(source) + ": cannot open the source (" + WhyUnreadable(source) + ")");
    if (result == 2) {
        if (!generated) {
            return Fail("cannot write " + U8(dest) + ": " +
                        (err ? kuttools::native::ErrnoReason(err) : std::string("cannot open the temporary file")));
        }
        std::wstring d = buffer.data();
        if (d.empty()) return Fail("no free temporary name in " + U8(KindDir(9)));
        return Fail("cannot create " + U8(d) + ": " +
                    (err ? kuttools::native::ErrnoReason(err) : std::string("the file cannot be opened for writing")));
    }
    if (!generated && pending.Commit(&error, OutputReplace(p)) == 1) return Fail(error);
    if (generated) OutLine(U8(buffer.data()));
    WarnAboutNuls(source);
    return kExitOk;
}

std::string FoldBytes(std::string bytes) {
    for (char& c : bytes) {
        unsigned char b = static_cast<unsigned char>(c);
        DECODE_Txt_XP(&b);
        c = static_cast<char>(b);
    }
    return bytes;
}

int Fold(const Parsed& p, short lang) {
    DECODE_Language(lang);
    if (p.positional.size() == 1) {
#if defined(_WIN32)
        _setmode(_fileno(stdin), _O_BINARY);
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, stdin)) > 0) Out(FoldBytes(std::string(buf, n)));
        if (std::ferror(stdin)) return Fail("cannot read standard input: " + kuttools::native::ErrnoReason(errno));
        return kExitOk;
    }
    std::vector<std::string> lines;
    for (std::size_t i = 1; i < p.positional.size(); ++i) {
        std::string bytes;
        for (wchar_t c : p.positional[i]) {
            if (static_cast<unsigned long>(c) > 0xFF) {
                return Usage(
                    "decode", "fold: character U+" + [&] {
                        char hex[24];
                        std::snprintf(hex, sizeof hex, "%04lX", static_cast<unsigned long>(c));
                        return std::string(hex);
                    }() + " has no byte of its own; pipe code-page bytes through standard input instead");
            }
            bytes += static_cast<char>(c);
        }
        lines.push_back(FoldBytes(bytes));
    }
    for (const std::string& line : lines) OutLine(Cp1252ToU8(line));
    return kExitOk;
}

// What a loaded-once data file came to: the file, or the built-in table and
// why. `boxesBefore` is the count of warnings before the load was triggered.
std::string InForce(const Row& row, const wchar_t* ext, std::size_t boxesBefore) {
    std::wstring name = FileName(row.file, ext);
    std::wstring path = KindPath(5, name);
    if (MessageBoxTexts().size() > boxesBefore) {
        return std::string("built-in ") + row.builtIn + " (" + U8(path) + " rejected)";
    }
    std::string bytes, error;
    if (IsFile(path) && kuttools::native::ReadFile(path, &bytes, &error)) return U8(name) + " (" + U8(path) + ")";
    if (IsFile(path)) return std::string("built-in ") + row.builtIn + " (" + U8(path) + " cannot be read)";
    return std::string("built-in ") + row.builtIn + " (no " + U8(name) + " in " + U8(KindDir(5)) + ")";
}

int Tables(const Parsed& p, short lang) {
    if (p.positional.size() != 1) return Usage("decode", "tables takes no arguments");
    std::size_t boxes = MessageBoxTexts().size();
    wchar_t none[1] = {0};
    DECODE_DosToWin(none, 0, lang);  // selects the table, loading the file once
    OutLine("language " + std::to_string(lang));
    OutLine("code page:  " + InForce(CodePageRow(lang), L"dcd", boxes));
    boxes = MessageBoxTexts().size();
    DECODE_Language(lang);
    OutLine("dictionary: " + InForce(DictionaryRow(lang), L"dct", boxes));
    return kExitOk;
}

}  // namespace

int CmdDecode(const std::vector<std::wstring>& args) {
    Parsed p;
    std::string error;
    if (!Parse(args, 1, {L"--lang"}, {L"-n", L"--no-clobber"}, &p, &error)) return Usage("decode", error);
    if (p.help) {
        Out(kHelp);
        return kExitOk;
    }
    short lang = 1;
    if (!LanguageOption(p, &lang, &error)) return Usage("decode", error);
    if (p.positional.empty()) return Usage("decode", "missing action: convert, fold or tables");
    const std::wstring& action = p.positional[0];
    if (action == L"convert") return Convert(p, lang);
    if (action == L"fold") return Fold(p, lang);
    if (action == L"tables") return Tables(p, lang);
    return Usage("decode", "unknown action '" + U8(action) + "'");
}

}  // namespace kutcli
