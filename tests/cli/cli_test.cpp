// The kut program run as a user runs it: arguments, output, exit status and
// the files it writes, on the sample data of the build tree and on bad input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#if defined(KUT_CLI_PATH)

using kuttest::kSep;
using kuttest::Narrow;
using kuttest::Widen;

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Path(const std::wstring& w) { return Narrow(w); }

// Runs kut with the arguments (each quoted), standard input from `input`
// when given. Output and errors are caught in files of the test's folder.
Result Kut(const kuttest::TempDir& dir, const std::vector<std::string>& args, const std::string* input = nullptr) {
#if defined(_WIN32)
    // The build's path is a host path under wine; kut.exe sits in bin\ of the build tree.
    std::string cmd = "\"" + Path(kuttest::BinaryDir()) + "\\bin\\kut.exe\"";
#else
    std::string cmd = "\"" KUT_CLI_PATH "\"";
#endif
    for (const std::string& a : args) cmd += " \"" + a + "\"";
    const std::wstring out = dir.file(L"stdout.txt"), err = dir.file(L"stderr.txt"), in = dir.file(L"stdin.txt");
    if (input) {
        kuttest::WriteFile(in, *input);
        cmd += " <\"" + Path(in) + "\"";
    }
    cmd += " >\"" + Path(out) + "\" 2>\"" + Path(err) + "\"";
#if defined(_WIN32)
    cmd = "\"" + cmd + "\"";  // cmd.exe drops the outer quotes
#endif
    Result r;
    int rc = std::system(cmd.c_str());
#if defined(_WIN32)
    r.status = rc;
#else
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#endif
    kuttest::ReadFile(out, &r.out);
    kuttest::ReadFile(err, &r.err);
#if defined(_WIN32)
    // Text output has CR LF line ends there.
    for (std::string* s : {&r.out, &r.err}) {
        for (std::size_t at; (at = s->find("\r\n")) != std::string::npos;) s->erase(at, 1);
    }
#endif
    return r;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        // Only the bundled sample data, whatever the caller's environment.
        for (const char* v : {"KBASE_ROOT", "KBASE_DIR_1", "KBASE_DIR_2", "KBASE_DIR_5", "KBASE_DIR_9",
                              "KOPTS_LANGUAGE", "KOPTS_UNITS"}) {
            kuttest::SetEnv(v, nullptr);
        }
        kuttest::SetEnv("KBASE_DIR_9", Path(tmp.path()).c_str());
        data = std::filesystem::canonical(std::filesystem::path(kuttest::BinaryDir()) / "data").wstring();
    }
    Result Run(const std::vector<std::string>& args, const std::string* input = nullptr) {
        return Kut(work, args, input);
    }
    std::string File(const std::wstring& name) { return Path(tmp.file(name)); }

    kuttest::TempDir work;  // the program's output is caught here
    kuttest::TempDir tmp;   // the files the tests give and get
    std::wstring data;
};

TEST_F(Cli, HelpVersionAndUsageErrors) {
    Result r = Run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.compare(0, 4, "kut "), 0) << r.out;
    r = Run({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* cmd : {"msg", "decode", "img", "units", "tree", "demo"}) {
        EXPECT_TRUE(Has(r.out, std::string("  ") + cmd + " ")) << cmd;
        Result sub = Run({cmd, "--help"});
        EXPECT_EQ(sub.status, 0) << cmd;
        EXPECT_EQ(sub.out.compare(0, 11 + std::string(cmd).size(), std::string("usage: kut ") + cmd), 0) << sub.out;
    }
    EXPECT_EQ(Run({}).status, 2);
    r = Run({"frobnicate"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "frobnicate"));
    EXPECT_EQ(Run({"msg", "show", "KMAIN", "1", "--bogus"}).status, 2);
    EXPECT_EQ(Run({"msg", "show", "KMAIN", "1", "--lang"}).status, 2);
    r = Run({"--data", File(L"nowhere"), "units", "length", "M"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "nowhere"));
}

TEST_F(Cli, MsgShowServesTheModesLanguagesAndFields) {
    // Found next to the binary, without any configuration.
    Result r = Run({"msg", "show", "KMAIN", "1", "3", "5", "6"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1\tBeam\n3\tWidth %1 of %2\n5\tLength\n6\tTotal weight\n");
    r = Run({"msg", "show", "KMAIN", "6", "5", "--mode", "2", "--output", "2"});
    EXPECT_EQ(r.out, "6\tPoids total\n5\tLength\n");
    r = Run({"msg", "show", "KMAIN", "1", "--lang", "2", "--cache"});
    EXPECT_EQ(r.out, "1\tPoutre\n");
    kuttest::SetEnv("KOPTS_LANGUAGE", "2,2");
    EXPECT_EQ(Run({"msg", "show", "KMAIN", "2"}).out, "2\tPoteau\n");
    kuttest::SetEnv("KOPTS_LANGUAGE", nullptr);
    r = Run({"msg", "show", "KMAIN", "5", "10", "--field", "2"});
    EXPECT_EQ(r.out, "5\tmm\n10\tS235\n");
    // Without numbers: the whole sorted table.
    r = Run({"msg", "show", "KMAIN"});
    ASSERT_EQ(r.status, 0);
    std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[4], "5\tLength$$mm$$Span of the member");
    EXPECT_EQ(lines[10], "20\tCalculation finished: %1 members checked.");
}

TEST_F(Cli, MsgShowRejectsBadNumbersAndReportsMissingTexts) {
    for (const char* bad : {"0", "65536", "-3", "x1"}) {
        Result r = Run({"msg", "show", "KMAIN", bad});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_EQ(Run({"msg", "show", "KMAIN", "1", "--mode", "3"}).status, 2);
    EXPECT_EQ(Run({"msg", "show", "KMAIN", "1", "--field", "2", "--mode", "1"}).status, 2);
    Result r = Run({"msg", "show", "KMAIN", "2", "99"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "2\tColumn\n");
    EXPECT_TRUE(Has(r.err, "message 99")) << r.err;
    // No library for the module; a library that is not one.
    r = Run({"msg", "show", "ABC", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "ABC__001.dll: no such file")) << r.err;
    kuttest::WriteFile(tmp.file(L"KEST_001.dll"), "MZ but nothing else");
    r = Run({"--data", Path(tmp.path()), "msg", "show", "KMAIN", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "KEST_001.dll: not a language library")) << r.err;
}

TEST_F(Cli, MsgBuildAndDumpGiveTheCatalogBack) {
    const std::string catalog = "# test\n7\tTab\\there\n40 two words\n3\tUnicode \\u00e9\\\\\n";
    kuttest::WriteFile(tmp.file(L"in.txt"), catalog);
    Result r = Run({"msg", "build", File(L"in.txt"), File(L"T.dll")});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run({"msg", "dump", File(L"T.dll")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "3\tUnicode \xC3\xA9\\\\\n7\tTab\\there\n40\ttwo words\n");
    EXPECT_EQ(Run({"msg", "dump", File(L"T.dll"), File(L"out.txt")}).status, 0);
    std::string written;
    ASSERT_TRUE(kuttest::ReadFile(tmp.file(L"out.txt"), &written));
    EXPECT_EQ(written, r.out);
    // A bare name is looked for in the data folder.
    r = Run({"msg", "dump", "KEST_002.dll"});
    EXPECT_TRUE(Has(r.out, "1\tPoutre\n")) << r.err;

    kuttest::WriteFile(tmp.file(L"bad.txt"), "1\tone\n1\tagain\n");
    r = Run({"msg", "build", File(L"bad.txt"), File(L"B.dll")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "line 2")) << r.err;
    EXPECT_FALSE(kuttest::Exists(tmp.file(L"B.dll")));
    r = Run({"msg", "dump", File(L"missing.dll")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "missing.dll")) << r.err;
    EXPECT_EQ(Run({"msg", "build", File(L"in.txt")}).status, 2);
}

TEST_F(Cli, DecodeConvertWritesTheNamedOrATemporaryFile) {
    kuttest::WriteFile(tmp.file(L"dos.txt"), "caf\x82 \x9b\r\nkesto x\r\n");
    Result r = Run({"decode", "convert", File(L"dos.txt"), File(L"win.txt"), "--lang", "35"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    std::string bytes;
    ASSERT_TRUE(kuttest::ReadFile(tmp.file(L"win.txt"), &bytes));
    // Code page 850 to Windows, the keyword rule, and the empty line behind the last line end.
    EXPECT_EQ(bytes, "caf\xE9 \xF8\r\nkesto97 x\r\n\r\n");
    // No destination: a free name in the temporary folder, printed.
    r = Run({"decode", "convert", File(L"dos.txt"), "--lang", "35"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Path(tmp.file(L"TMP~001.con")) + "\n");
    EXPECT_TRUE(kuttest::Exists(tmp.file(L"TMP~001.con")));

    r = Run({"decode", "convert", File(L"absent.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "absent.txt: no such file")) << r.err;
    EXPECT_FALSE(kuttest::Exists(tmp.file(L"TMP~002.con")));
    r = Run({"decode", "convert", File(L"dos.txt"), File(L"dos.txt")});
    EXPECT_EQ(r.status, 1);
    ASSERT_TRUE(kuttest::ReadFile(tmp.file(L"dos.txt"), &bytes));
    EXPECT_EQ(bytes, "caf\x82 \x9b\r\nkesto x\r\n");
    EXPECT_EQ(Run({"decode", "convert", File(L"dos.txt"), "--lang", "many"}).status, 2);
    EXPECT_EQ(Run({"decode", "recode"}).status, 2);
}

TEST_F(Cli, DecodeFoldsTextAndNamesTheTablesInForce) {
    std::string input = "Stra\xDF" "e \xE9t\xE9\n";  // Windows-1252 bytes
    Result r = Run({"decode", "fold", "--lang", "34"}, &input);
    EXPECT_EQ(r.out, "STRA E ETE\n");
#if !defined(_WIN32)
    r = Run({"decode", "fold", "Caf\xC3\xA9 cr\xC3\xA8me", "z\xC3\xBCrich"});
    EXPECT_EQ(r.out, "CAFE CREME\nZURICH\n");
    EXPECT_EQ(Run({"decode", "fold", "\xE2\x82\xAC"}).status, 2);  // the euro sign has no byte
#endif
    r = Run({"decode", "tables", "--lang", "34"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].compare(0, 25, "code page:  Decod034.dcd "), 0) << lines[1];
    EXPECT_EQ(lines[2].compare(0, 25, "dictionary: Decod034.dct "), 0) << lines[2];
    r = Run({"decode", "tables", "--lang", "70"});
    EXPECT_TRUE(Has(r.out, "code page:  Decod001.dcd")) << r.out;
    EXPECT_TRUE(Has(r.out, "dictionary: built-in FOLD_TABLE_CYR (no Decod070.dct in")) << r.out;
    // A rejected file: its warning on stderr, the built-in table in force.
    kuttest::WriteFile(tmp.file(L"Decod001.dcd"), "128\n129\n");
    r = Run({"--data", Path(tmp.path()), "decode", "tables"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Has(r.out, "code page:  built-in DOS_TABLE_437 (code page 437) (")) << r.out;
    EXPECT_TRUE(Has(r.out, "Decod001.dcd rejected)")) << r.out;
    EXPECT_TRUE(Has(r.err, "Decod001.dcd warning 3 elements.")) << r.err;
}

TEST_F(Cli, ImgListsSizesExtractsDrawsAndBuilds) {
    Result r = Run({"img", "list"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "ICONS   4 images")) << r.out;
    EXPECT_EQ(Run({"img", "size", "ICONS", "2"}).out, "24 x 24\n");
    ASSERT_EQ(Run({"img", "extract", "ICONS", "2", File(L"ball.bmp")}).status, 0);
    std::string got, want;
    ASSERT_TRUE(kuttest::ReadFile(tmp.file(L"ball.bmp"), &got));
    ASSERT_TRUE(kuttest::ReadFile(kuttest::SourceDir() + kSep + L"data" + kSep + L"img" + kSep + L"ICONS" + kSep +
                                      L"02_ball.bmp",
                                  &want));
    EXPECT_EQ(got, want);
    // Two per row (48 x 32, 31 x 11 / 20 x 12, 33 x 17), 4 pixels apart and around.
    ASSERT_EQ(Run({"img", "sheet", "SHAPES", File(L"sheet.bmp"), "--columns", "2"}).status, 0);
    ASSERT_TRUE(kuttest::ReadFile(tmp.file(L"sheet.bmp"), &got));
    ASSERT_GT(got.size(), 26u);
    EXPECT_EQ(got.compare(0, 2, "BM"), 0);
    const auto le16 = [&](std::size_t at) {
        return static_cast<unsigned char>(got[at]) | static_cast<unsigned char>(got[at + 1]) << 8;
    };
    EXPECT_EQ(le16(18), 4 + 48 + 4 + 31 + 4);
    EXPECT_EQ(le16(22), 4 + 32 + 4 + 17 + 4);
    r = Run({"img", "build", Path(kuttest::SourceDir() + kSep + L"data" + kSep + L"img"), File(L"copy.img")});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(kuttest::ReadFile(tmp.file(L"copy.img"), &got));
    ASSERT_TRUE(kuttest::ReadFile(data + kSep + L"kestoimg.img", &want));
    EXPECT_EQ(got, want);
}

TEST_F(Cli, ImgReportsMissingImagesAndMalformedFiles) {
    Result r = Run({"img", "size", "ICONS", "9"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "no image 9")) << r.err;
    r = Run({"img", "extract", "NOPE", "0", File(L"x.bmp")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "no module NOPE")) << r.err;
    EXPECT_FALSE(kuttest::Exists(tmp.file(L"x.bmp")));
    EXPECT_EQ(Run({"img", "size", "ICONS", "two"}).status, 2);
    EXPECT_EQ(Run({"img", "size", "TOOLONGNAME", "0"}).status, 2);
    kuttest::WriteFile(tmp.file(L"bad.img"), "\x05\x00KUT");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"img", "list"}, {"img", "size", "ICONS", "0"}, {"img", "sheet", "ICONS", File(L"s.bmp")}}) {
        std::vector<std::string> a = args;
        a.insert(a.end(), {"--file", File(L"bad.img")});
        r = Run(a);
        EXPECT_EQ(r.status, 1) << args[1];
        EXPECT_TRUE(Has(r.err, "bad.img")) << r.err;
    }
    r = Run({"img", "list", "--file", File(L"none.img")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "none.img: no such file")) << r.err;
}

TEST_F(Cli, UnitsCoefficientsRatiosAndFailures) {
    EXPECT_EQ(Run({"units", "length", "m", "MM"}).out, "1 m = 1000 MM\n");
    EXPECT_EQ(Run({"units", "mass", "LB"}).out, "LB 2.20462262184878\n");
    EXPECT_EQ(Run({"units", "length", "IN", "--nonmetric"}).out, "IN 1\n");
    kuttest::SetEnv("KOPTS_UNITS", "nonmetric");
    EXPECT_EQ(Run({"units", "force", "KIP", "LB"}).out, "1 KIP = 1000 LB\n");
    EXPECT_EQ(Run({"units", "force", "KIP", "--metric"}).out, "KIP 0.00022480894309971\n");
    kuttest::SetEnv("KOPTS_UNITS", nullptr);

    Result r = Run({"units", "length", "M", "FURLONG"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "unimet.cfg: no unit 'FURLONG' in the length section")) << r.err;
    EXPECT_EQ(Run({"units", "speed", "M"}).status, 2);
    EXPECT_EQ(Run({"units", "length"}).status, 2);
    EXPECT_EQ(Run({"units", "length", "M", "--metric", "--nonmetric"}).status, 2);
    r = Run({"--data", Path(tmp.path()), "units", "length", "M"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "unimet.cfg: not found")) << r.err;
    kuttest::WriteFile(tmp.file(L"unimet.cfg"), "x\nM, 1.0\n");
    r = Run({"--data", Path(tmp.path()), "units", "length", "M"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "is not a number")) << r.err;
}

TEST_F(Cli, TreeCopiesScansAndRemoves) {
    const std::wstring src = tmp.file(L"src");
    kuttest::MakeDir(src + kSep + L"a" + kSep + L"b");
    kuttest::WriteFile(src + kSep + L"top.txt", "top");
    kuttest::WriteFile(src + kSep + L"skip.log", "log");
    kuttest::WriteFile(src + kSep + L"a" + kSep + L"b" + kSep + L"deep.txt", "deep");
    const std::wstring dst = tmp.file(L"dst");
    Result r = Run({"tree", "copy", Path(src), Path(dst), "--files", "*.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;  // no progress line off a terminal
    std::string bytes;
    EXPECT_TRUE(kuttest::ReadFile(dst + kSep + L"a" + kSep + L"b" + kSep + L"deep.txt", &bytes));
    EXPECT_EQ(bytes, "deep");
    EXPECT_TRUE(kuttest::Exists(dst + kSep + L"top.txt"));
    EXPECT_FALSE(kuttest::Exists(dst + kSep + L"skip.log"));

    r = Run({"tree", "scan", Path(src)});
    // Each directory's listing, from the top down.
    EXPECT_EQ(r.out, "a/\nskip.log\ntop.txt\n" + Path(std::wstring(L"a") + kSep + L"b") + "/\n" +
                         Path(std::wstring(L"a") + kSep + L"b" + kSep + L"deep.txt") + "\n");
    EXPECT_EQ(Run({"tree", "scan", Path(src), "--depth", "1", "--files", "*.log"}).out, "a/\nskip.log\n");

    r = Run({"tree", "remove", Path(dst), "--keep-root"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(dst)));
    EXPECT_EQ(Run({"tree", "remove", Path(dst)}).status, 0);
    EXPECT_FALSE(kuttest::Exists(dst));
    r = Run({"tree", "scan", Path(dst)});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "no such directory")) << r.err;
    EXPECT_EQ(Run({"tree", "scan", Path(src), "--depth", "deep"}).status, 2);
    r = Run({"tree", "copy", Path(src), Path(src + kSep + L"a" + kSep + L"copy")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "inside the source")) << r.err;
    EXPECT_FALSE(kuttest::Exists(src + kSep + L"a" + kSep + L"copy"));
}

TEST_F(Cli, TreeCopyNamesWhatFailed) {
    const std::wstring src = tmp.file(L"src"), dst = tmp.file(L"dst");
    kuttest::MakeDir(src + kSep + L"a");
    kuttest::WriteFile(src + kSep + L"a" + kSep + L"x.txt", "x");
    kuttest::WriteFile(src + kSep + L"ok.txt", "ok");
    kuttest::MakeDir(dst);
    kuttest::WriteFile(dst + kSep + L"a", "a file where the folder should go");
    Result r = Run({"tree", "copy", Path(src), Path(dst)});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "cannot copy " + Path(src + kSep + L"a" + kSep + L"x.txt") + " to " +
                               Path(dst + kSep + L"a" + kSep + L"x.txt")))
        << r.err;
    EXPECT_TRUE(Has(r.err, "1 entry failed")) << r.err;
    EXPECT_TRUE(kuttest::Exists(dst + kSep + L"ok.txt"));  // the walk went on
}

TEST_F(Cli, DemoRunsTheTypicalRequestStepByStep) {
    const std::string out = Path(tmp.path()), sep(1, static_cast<char>(kSep));
    Result r = Run({"demo", "--out", out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    const std::vector<std::string> want = {
        "kut demo: sample data in " + Path(data) + ", files written to " + out,
        "1. message 20 of module KMAIN (KEST_001.dll): \"Calculation finished: %1 members checked.\"",
        "   %1 filled with 12: \"Calculation finished: 12 members checked.\"",
        "   manager shows: \"Calculation finished: 12 members checked.\" (style 0x40)",
        "   answer 1",
        "2. sample850.txt converted, language 34 (DOS code page 850): " + out + sep + "TMP~001.con",
        "   line 2: \"Caf\xC3\xA9 cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e \xC3\xA0 la fran\xC3\xA7" "aise\"",
        "3. image 0 of module ICONS in kestoimg.img: 16 x 16",
        "   drawn with IMG_Show, saved as " + out + sep + "ICONS_0.bmp",
        "4. length coefficient from unimet.cfg: 1 M = 1000 MM",
        "done",
    };
    std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), want.size()) << r.out;
    for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(lines[i], want[i]) << "line " << i + 1;
    std::string bmp;
    ASSERT_TRUE(kuttest::ReadFile(tmp.file(L"ICONS_0.bmp"), &bmp));
    EXPECT_EQ(bmp.size(), 54u + 16 * 16 * 3);
    EXPECT_TRUE(kuttest::Exists(tmp.file(L"TMP~001.con")));

    // Without the sample data the first step says what is missing.
    kuttest::TempDir empty;
    r = Run({"--data", Path(empty.path()), "demo", "--out", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "KEST_001.dll")) << r.err;
}

}  // namespace

#else
TEST(Cli, NeedsTheKutProgram) { GTEST_SKIP() << "kut was not built (tools off or subsystems left out)"; }
#endif
