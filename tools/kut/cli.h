// Shared pieces of the kut command-line tool: argument parsing and output in
// UTF-8 (args.cpp), the folders the sibling stand-ins are pointed at and the
// files the commands read and write (folders.cpp). The operating system is
// asked through kuttools::native (tools/lib/native.h).
#ifndef KUT_CLI_H
#define KUT_CLI_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "native.h"

namespace kutcli {

// Exit statuses.
enum { kExitOk = 0, kExitFail = 1, kExitUsage = 2 };

using kuttools::native::kSep;

// ---- text ------------------------------------------------------------------

std::string U8(const std::wstring& text);
std::wstring FromU8(const std::string& text);
// A text of single-byte values (DOS or Windows code page) for a UTF-8
// terminal: 0x80..0x9F as Windows-1252 draws them, the rest as Latin-1.
std::string Cp1252ToU8(const std::string& bytes);

// What the tool prints goes through kuttools::Printable: a file name that
// is not UTF-8 (a Latin-1 name on Linux) shows its bytes as \xNN, never raw.
void Out(const std::string& text);      // stdout, as it is (file contents)
void OutLine(const std::string& text);  // stdout, printable, with a line end
// "kut: <message>" on stderr; returns kExitFail.
int Fail(const std::string& message);
// "kut: warning: <message>" on stderr.
void Warn(const std::string& message);
// "kut <command>: <message>" and a hint on stderr; returns kExitUsage.
int Usage(const std::string& command, const std::string& message);

// ---- arguments ---------------------------------------------------------------

struct Parsed {
    std::vector<std::wstring> positional;
    std::map<std::wstring, std::wstring> values;  // options with a value
    std::set<std::wstring> flags;                 // options without one
    bool help = false;

    bool Has(const wchar_t* option) const { return values.count(option) || flags.count(option); }
    const std::wstring* Value(const wchar_t* option) const;
};

// "--name value" and "--name=value" for the options in `valued`, "--name"
// for those in `plain`, "-h"/"--help" anywhere, "--" ends the options.
// False with a message on an unknown option or a missing value.
bool Parse(const std::vector<std::wstring>& args, std::size_t first, const std::vector<std::wstring>& valued,
           const std::vector<std::wstring>& plain, Parsed* out, std::string* error);

// A whole decimal number within [min, max].
bool ParseNumber(const std::wstring& text, long min, long max, long* value);

// ---- folders and files -------------------------------------------------------

// Directory kinds of kbase: 1 configuration, 2 language libraries and image
// file, 5 decoding data, 9 temporary files.
// Points the stand-ins at their folders: --data DIR for kinds 1, 2 and 5
// when given; otherwise the environment (KBASE_DIR_<N>, KBASE_ROOT) when it
// names one; otherwise the bundled sample data. Kind 9 is the environment's
// or the system's temporary folder. False with a message when --data does
// not name a folder.
bool SetUpFolders(const std::wstring& dataOption, std::string* error);
// The folder behind a directory kind, ending with a separator.
std::wstring KindDir(short kind);
// REP_Repert of a name in a directory kind.
std::wstring KindPath(short kind, const std::wstring& name);
// The bundled sample data next to the binary, or empty.
std::wstring BundledDataDir();

// -n / --no-clobber: an existing output file is kept, as cp -n keeps it
// (quietly, exit status 0).
bool NoClobber(const Parsed& p);
kuttools::native::Replace OutputReplace(const Parsed& p);
// The output checks every writing command makes before it reads or writes
// anything: the output is none of the inputs (by identity, so a link or
// another spelling is caught too) and, with -n, does not exist yet.
// kExitOk to go on, kExitFail after the message, or kSkip when -n keeps an
// existing output (the command then returns kExitOk at once).
enum { kSkip = -1 };
int CheckOutput(const std::vector<std::wstring>& inputs, const std::wstring& output, bool noClobber);

bool IsFile(const std::wstring& path);
bool IsDir(const std::wstring& path);
// "no such file", "is a directory", or the system's reason for a file that
// cannot be read.
std::string WhyUnreadable(const std::wstring& path);
// A new empty folder under the system's temporary folder, or empty.
std::wstring MakeTempDir(const std::string& prefix);
std::wstring Join(const std::wstring& dir, const std::wstring& name);
// The path made absolute against the current folder (as it is on failure).
std::wstring Absolute(const std::wstring& path);
// Without trailing separators (a root keeps its one).
std::wstring StripSeparators(const std::wstring& path);

// Milliseconds of a monotonic clock.
long long NowMs();

// The library's message boxes (warnings of rejected decoding files) as
// "kut: <caption>: <text>" on stderr; the texts are kept for whoever asks.
void InstallMessageBoxHook();
std::vector<std::wstring>& MessageBoxTexts();

// ---- subcommands ---------------------------------------------------------------

// args[0] is the subcommand's name.
int CmdMsg(const std::vector<std::wstring>& args);
int CmdDecode(const std::vector<std::wstring>& args);
int CmdImg(const std::vector<std::wstring>& args);
int CmdUnits(const std::vector<std::wstring>& args);
int CmdTree(const std::vector<std::wstring>& args);
int CmdDemo(const std::vector<std::wstring>& args);

}  // namespace kutcli

#endif
