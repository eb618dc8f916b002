// The kut program run as a user runs it: arguments, output, exit status and
// the files it writes, on the sample data of the build tree and on bad input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "testutil.h"  // with <string> and <vector>
#if defined(KUT_CLI_PATH)
#include "native.h"  // kuttools, built with the program
#endif

#if defined(_WIN32)
#include <direct.h>
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#if defined(KUT_CLI_PATH)

using kuttest::kSep;

std::string Path(const std::wstring& w) { return kuttest::Narrow(w); }

// A run: exit status, standard output and standard error. As an expected
// run, `out` is all of it, or a part of it when it starts with "~"; `err` is a
// part of it, or all of it when it starts with "=".
struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;
};

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        // Only the bundled sample data, whatever the caller's environment.
        for (const char* v : {"KBASE_ROOT", "KBASE_DIR_1", "KBASE_DIR_2", "KBASE_DIR_5", "KOPTS_LANGUAGE", "KOPTS_UNITS"})
            kuttest::SetEnv(v, nullptr);
        kuttest::SetEnv("KBASE_DIR_9", Path(m_tmp.path()).c_str());
        m_data = std::filesystem::canonical(std::filesystem::path(kuttest::BinaryDir()) / "data").wstring();
    }

    // Runs kut with the arguments (each quoted) and `input` on standard input,
    // catching its output and errors in files of m_work.
    Case Run(const std::vector<std::string>& args, const std::string& input = "") {
#if defined(_WIN32)
        // The build's path is a host path under wine; kut.exe sits in bin\ of the build tree.
        std::string cmd = "\"" + Path(kuttest::BinaryDir()) + "\\bin\\kut.exe\"";
        const auto sh = [](const std::string& c) { return std::system(("\"" + c + "\"").c_str()); };  // cmd.exe drops them
#else
        std::string cmd = "\"" + std::string(KUT_CLI_PATH) + "\"";
        const auto sh = [](const std::string& c) {
            int rc = std::system(c.c_str());
            return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        };
#endif
        for (const std::string& a : args) cmd += " \"" + a + "\"";
        kuttest::WriteFile(m_work.file(L"in"), input);
        cmd += " <\"" + Path(m_work.file(L"in")) + "\" >\"" + Path(m_work.file(L"out")) + "\" 2>\"" + Path(m_work.file(L"err")) +
               "\"";
        const int status = sh(cmd);
        Case r{args, status, Read(m_work.file(L"out")), Read(m_work.file(L"err"))};
        for (std::string* s : {&r.out, &r.err})  // CR LF line ends on Windows
            for (std::size_t at; (at = s->find("\r\n")) != std::string::npos;) s->erase(at, 1);
        return r;
    }

    void Check(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::PrintToString(c.args));
            const Case r = Run(c.args);
            EXPECT_EQ(r.status, c.status) << r.err;
            EXPECT_TRUE(c.out[0] == '~' ? r.out.find(c.out.substr(1)) != std::string::npos : r.out == c.out) << r.out;
            EXPECT_TRUE(c.err[0] == '=' ? r.err == c.err.substr(1) : r.err.find(c.err) != std::string::npos) << r.err;
        }
    }
    std::string File(const std::wstring& name) { return Path(m_tmp.file(name)); }
    static std::string Read(const std::wstring& p) {
        std::string b;
        return kuttest::ReadFile(p, &b) ? b : "<missing>";
    }

    kuttest::TempDir m_work, m_tmp;  // the program's output is caught in the first; files given and got are in the second
    std::wstring m_data;
};

TEST_F(Cli, HelpVersionAndUsageErrors) {
    std::vector<Case> cases = {
        {{"--version"}, 0, "~kut ", ""},
        {{}, 2, "", ""},
        {{"frobnicate"}, 2, "", "frobnicate"},
        {{"msg", "show", "KMAIN", "1", "--bogus"}, 2, "", ""},
        {{"msg", "show", "KMAIN", "1", "--lang"}, 2, "", ""},
        {{"--data", File(L"nowhere"), "units", "length", "M"}, 1, "", "nowhere"},
    };
    for (const std::string cmd : {"msg", "decode", "img", "units", "tree", "demo"})
        cases.insert(cases.end(), {{{"--help"}, 0, "~\n  " + cmd + " ", ""}, {{cmd, "--help"}, 0, "~usage: kut " + cmd, ""}});
    Check(cases);
}

TEST_F(Cli, Msg) {
    kuttest::WriteFile(m_tmp.file(L"in.txt"), "# test\n7\tTab\\there\n40 two words\n3\tUnicode \\u00e9\\\\\n");
    kuttest::WriteFile(m_tmp.file(L"bad.txt"), "1\tone\n1\tagain\n");
    kuttest::WriteFile(m_tmp.file(L"KEST_001.dll"), "MZ but nothing else");
    const std::string dumped = "3\tUnicode \xC3\xA9\\\\\n7\tTab\\there\n40\ttwo words\n";
    // Found next to the binary, without any configuration.
    Check({
        {{"msg", "show", "KMAIN", "1", "3", "5", "6"}, 0, "1\tBeam\n3\tWidth %1 of %2\n5\tLength\n6\tTotal weight\n", ""},
        {{"msg", "show", "KMAIN", "6", "5", "--mode", "2", "--output", "2"}, 0, "6\tPoids total\n5\tLength\n", ""},
        {{"msg", "show", "KMAIN", "1", "--lang", "2", "--cache"}, 0, "1\tPoutre\n", ""},
        {{"msg", "show", "KMAIN", "5", "10", "--field", "2"}, 0, "5\tmm\n10\tS235\n", ""},
        {{"msg", "show", "KMAIN"}, 0, "~\n5\tLength$$mm$$Span of the member\n", ""},  // the whole sorted table
        {{"msg", "show", "KMAIN", "1", "--mode", "3"}, 2, "", ""},
        {{"msg", "build", File(L"in.txt")}, 2, "", ""},
        {{"msg", "show", "KMAIN", "1", "--field", "2", "--mode", "1"}, 2, "", ""},
        {{"msg", "show", "KMAIN", "2", "99"}, 1, "2\tColumn\n", "message 99"},
        {{"msg", "show", "ABC", "1"}, 1, "", "ABC__001.dll: no such file"},
        {{"--data", Path(m_tmp.path()), "msg", "show", "KMAIN", "1"}, 1, "", "KEST_001.dll: not a language library"},
        {{"msg", "build", File(L"in.txt"), File(L"T.dll")}, 0, "", ""},
        {{"msg", "dump", File(L"T.dll")}, 0, dumped, ""},
        {{"msg", "dump", File(L"T.dll"), File(L"out.txt")}, 0, "", ""},
        {{"msg", "dump", "KEST_002.dll"}, 0, "~1\tPoutre\n", ""},  // a bare name is looked for in the data folder
        {{"msg", "build", File(L"bad.txt"), File(L"B.dll")}, 1, "", "line 2"},
        {{"msg", "dump", File(L"missing.dll")}, 1, "", "missing.dll"},
    });
    for (const char* bad : {"0", "65536", "-3", "x1"}) Check({{{"msg", "show", "KMAIN", bad}, 2, "", ""}});
    EXPECT_EQ(Read(m_tmp.file(L"out.txt")), dumped);
    EXPECT_FALSE(kuttest::Exists(m_tmp.file(L"B.dll")));
    kuttest::SetEnv("KOPTS_LANGUAGE", "2,2");
    EXPECT_EQ(Run({"msg", "show", "KMAIN", "2"}).out, "2\tPoteau\n");
}

// Number 0 goes through build and dump; a cut library dumps what it holds,
// names the damaged block and fails; check only reports.
TEST_F(Cli, MsgNumberZeroAndDamagedLibraries) {
    const std::string catalog = "0\tzero\n1\tone\n17\tseventeen\n40\tforty\n";
    kuttest::WriteFile(m_tmp.file(L"z.txt"), catalog);
    Check({{{"msg", "build", File(L"z.txt"), File(L"Z.dll")}, 0, "", "="},
           {{"msg", "dump", File(L"Z.dll")}, 0, catalog, "="},
           {{"msg", "check", File(L"Z.dll")}, 0, File(L"Z.dll") + ": no damage found\n", "="}});
    std::string bytes;
    ASSERT_TRUE(kuttest::ReadFile(m_tmp.file(L"Z.dll"), &bytes));
    const std::size_t forty = bytes.find(std::string("f\0o\0r\0t\0y\0", 10));
    ASSERT_NE(forty, std::string::npos);
    kuttest::WriteFile(m_tmp.file(L"C.dll"), bytes.substr(0, forty + 4));  // inside "forty", block 3
    const std::string damage = File(L"C.dll") + ": block 3 (numbers 32-47): cut by the end of the file; numbers 40-47 lost\n";
    const std::string readable = "0\tzero\n1\tone\n17\tseventeen\n";
    Check({{{"msg", "dump", File(L"C.dll")}, 1, readable, "=kut: " + damage},
           {{"msg", "dump", File(L"C.dll"), File(L"c.txt")}, 1, "", "=kut: " + damage},
           {{"msg", "check", File(L"C.dll")}, 1, damage, "="},
           {{"msg", "check", File(L"z.txt")}, 1, "", "not a language library"},
           {{"msg", "check"}, 2, "", ""}});
    EXPECT_EQ(Read(m_tmp.file(L"c.txt")), readable);
}

TEST_F(Cli, Decode) {
    const std::string dos = "caf\x82 \x9b\r\nkesto x\r\n", latin1 =
                                                               "Stra\xDF"
                                                               "e \xE9t\xE9\n";
    kuttest::WriteFile(m_tmp.file(L"dos.txt"), dos);
    kuttest::WriteFile(m_tmp.file(L"Decod001.dcd"), "128\n129\n");
    Check({
        {{"decode", "convert", File(L"dos.txt"), File(L"win.txt"), "--lang", "35"}, 0, "", ""},
            // No destination: a free name in the temporary folder, printed.
            {{"decode", "convert", File(L"dos.txt"), "--lang", "35"}, 0, File(L"TMP~001.con") + "\n", ""},
            {{"decode", "convert", File(L"absent.txt")}, 1, "", "absent.txt: no such file"},
            {{"decode", "convert", File(L"dos.txt"), File(L"dos.txt")}, 1, "", ""}, {{"decode", "recode"}, 2, "", ""},
            {{"decode", "convert", File(L"dos.txt"), "--lang", "many"}, 2, "", ""},
            {{"decode", "tables", "--lang", "34"}, 0, "~\ncode page:  Decod034.dcd ", ""},
            {{"decode", "tables", "--lang", "70"}, 0, "~dictionary: built-in FOLD_TABLE_CYR (no Decod070.dct in", ""},
            // A rejected file: its warning on stderr, the built-in table in force.
            {{"--data", Path(m_tmp.path()), "decode", "tables"},
             0,
             "~code page:  built-in DOS_TABLE_437 (code page 437) (",
             "Decod001.dcd warning 3 elements."},
#if !defined(_WIN32)
            {{"decode", "fold", "Caf\xC3\xA9 cr\xC3\xA8me", "z\xC3\xBCrich"}, 0, "CAFE CREME\nZURICH\n", ""},
            {{"decode", "fold", "\xE2\x82\xAC"}, 2, "", ""},  // the euro sign has no byte
#endif
    });
    // Code page 850 to Windows, the keyword rule, and the empty line behind the last line end.
    EXPECT_EQ(Read(m_tmp.file(L"win.txt")), "caf\xE9 \xF8\r\nkesto97 x\r\n\r\n");
    EXPECT_TRUE(kuttest::Exists(m_tmp.file(L"TMP~001.con")));
    EXPECT_EQ(Read(m_tmp.file(L"dos.txt")), dos) << "never converted onto itself";
    EXPECT_EQ(Run({"decode", "fold", "--lang", "34"}, latin1).out, "STRA E ETE\n");
}

TEST_F(Cli, Img) {
    kuttest::WriteFile(m_tmp.file(L"bad.img"), std::string("\x05\x00KUT", 5));
    const std::wstring img = kuttest::SourceDir() + kSep + L"data" + kSep + L"img";
    Check({
        {{"img", "list"}, 0, "~ICONS   4 images", ""},
        {{"img", "size", "ICONS", "2"}, 0, "24 x 24\n", ""},
        {{"img", "extract", "ICONS", "2", File(L"ball.bmp")}, 0, "", ""},
        {{"img", "build", Path(img), File(L"copy.img")}, 0, "", ""},
        // Two per row (48 x 32, 31 x 11 / 20 x 12, 33 x 17), 4 pixels apart and around.
        {{"img", "sheet", "SHAPES", File(L"sheet.bmp"), "--columns", "2"}, 0, "", ""},
        {{"img", "size", "ICONS", "9"}, 1, "", "no image 9"},
        {{"img", "extract", "NOPE", "0", File(L"x.bmp")}, 1, "", "no module NOPE"},
        {{"img", "size", "ICONS", "two"}, 2, "", ""},
        {{"img", "size", "TOOLONGNAME", "0"}, 2, "", ""},
        {{"img", "list", "--file", File(L"bad.img")}, 1, "", "bad.img"},
        {{"img", "sheet", "ICONS", File(L"s.bmp"), "--file", File(L"bad.img")}, 1, "", "bad.img"},
        {{"img", "list", "--file", File(L"none.img")}, 1, "", "none.img: no such file"},
    });
    EXPECT_EQ(Read(m_tmp.file(L"ball.bmp")), Read(img + kSep + L"ICONS" + kSep + L"02_ball.bmp"));
    EXPECT_EQ(Read(m_tmp.file(L"copy.img")), Read(m_data + kSep + L"kestoimg.img"));
    EXPECT_FALSE(kuttest::Exists(m_tmp.file(L"x.bmp")));
    const std::string sheet = Read(m_tmp.file(L"sheet.bmp")) + std::string(26, '?');  // "BM", width at 18, height at 22
    EXPECT_EQ(sheet.substr(0, 2) + sheet.substr(18, 2) + sheet.substr(22, 2),
              std::string("BM") + char(4 + 48 + 4 + 31 + 4) + '\0' + char(4 + 32 + 4 + 17 + 4) + '\0');
}

TEST_F(Cli, Units) {
    kuttest::TempDir broken;
    kuttest::WriteFile(broken.file(L"unimet.cfg"), "x\nM, 1.0\n");
    Check({
        {{"units", "length", "m", "MM"}, 0, "1 m = 1000 MM\n", ""},
        {{"units", "mass", "LB"}, 0, "LB 2.20462262184878\n", ""},
        {{"units", "length", "IN", "--nonmetric"}, 0, "IN 1\n", ""},
        {{"units", "length", "M", "FURLONG"}, 1, "", "unimet.cfg: no unit 'FURLONG' in the length section"},
        {{"units", "speed", "M"}, 2, "", ""},
        {{"units", "length"}, 2, "", ""},
        {{"units", "length", "M", "--metric", "--nonmetric"}, 2, "", ""},
        {{"--data", Path(m_tmp.path()), "units", "length", "M"}, 1, "", "unimet.cfg: not found"},
        {{"--data", Path(broken.path()), "units", "length", "M"}, 1, "", "is not a number"},
    });
    kuttest::SetEnv("KOPTS_UNITS", "nonmetric");
    Check({{{"units", "force", "KIP", "LB"}, 0, "1 KIP = 1000 LB\n", ""},
           {{"units", "force", "KIP", "--metric"}, 0, "KIP 0.00022480894309971\n", ""}});
}

TEST_F(Cli, Tree) {
    const std::wstring src = m_tmp.file(L"src"), dst = m_tmp.file(L"dst"), ab = std::wstring(L"a") + kSep + L"b";
    kuttest::MakeDir(src + kSep + ab);
    for (const std::wstring& f : {std::wstring(L"top.txt"), std::wstring(L"skip.log"), ab + kSep + L"deep.txt"})
        kuttest::WriteFile(src + kSep + f, Path(f));
    Check({
        {{"tree", "copy", Path(src), Path(dst), "--files", "*.txt"}, 0, "", "="},  // no progress line off a terminal
        // Each directory's listing, from the top down.
        {{"tree", "scan", Path(src)}, 0, "a/\nskip.log\ntop.txt\n" + Path(ab) + "/\n" + Path(ab + kSep + L"deep.txt") + "\n", ""},
        {{"tree", "scan", Path(src), "--depth", "1", "--files", "*.log"}, 0, "a/\nskip.log\n", ""},
        {{"tree", "scan", Path(src), "--depth", "deep"}, 2, "", ""},
        {{"tree", "copy", Path(src), Path(src + kSep + L"a" + kSep + L"copy")}, 1, "", "inside the source"},
    });
    EXPECT_EQ(Read(dst + kSep + ab + kSep + L"deep.txt"), Path(ab + kSep + L"deep.txt"));
    EXPECT_TRUE(kuttest::Exists(dst + kSep + L"top.txt") && !kuttest::Exists(dst + kSep + L"skip.log")) << "*.txt only";
    EXPECT_FALSE(kuttest::Exists(src + kSep + L"a" + kSep + L"copy"));

    // A file where a folder should go: the copy names it and goes on.
    const std::wstring dst2 = m_tmp.file(L"dst2"), deep = kSep + ab + kSep + L"deep.txt";
    kuttest::MakeDir(dst2);
    kuttest::WriteFile(dst2 + kSep + L"a", "a file");
    Check({{{"tree", "copy", Path(src), Path(dst2)}, 1, "", "cannot copy " + Path(src + deep) + " to " + Path(dst2 + deep)},
           {{"tree", "copy", Path(src), Path(dst2)}, 1, "", "2 entries failed"}});
    EXPECT_TRUE(kuttest::Exists(dst2 + kSep + L"top.txt"));

    Check({{{"tree", "remove", Path(dst), "--keep-root"}, 0, "", "="}});
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(dst)));
    Check({{{"tree", "remove", Path(dst)}, 0, "", ""}, {{"tree", "scan", Path(dst)}, 1, "", "no such directory"}});
}

namespace fs = std::filesystem;

bool ChangeDir(const std::wstring& dir) {
#if defined(_WIN32)
    return _wchdir(dir.c_str()) == 0;
#else
    return ::chdir(kuttest::Narrow(dir).c_str()) == 0;
#endif
}

bool MakeLink(const std::wstring& target, const std::wstring& link) {
#if defined(_WIN32)
    return CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2) != 0;
#else
    return ::symlink(kuttest::Narrow(target).c_str(), kuttest::Narrow(link).c_str()) == 0;
#endif
}

bool LinkExists(const std::wstring& path) {
    std::error_code ec;
    return fs::symlink_status(fs::path(path), ec).type() != fs::file_type::not_found && !ec;
}

void SetReadOnly(const std::wstring& path, bool readOnly) {
    fs::permissions(fs::path(path), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    readOnly ? fs::perm_options::remove : fs::perm_options::add);
}

// Run from a folder inside the temporary folder, with the home folder there
// too, so that a broken guard could only ever empty those.
TEST_F(Cli, TreeRemoveRefusesDotsAndTheCurrentAndHomeFolders) {
    const std::wstring work = m_tmp.file(L"work"), sub = work + kSep + L"sub", home = m_tmp.file(L"home");
    kuttest::MakeDir(sub);
    kuttest::MakeDir(home);
    for (const std::wstring& d : {work, sub, home}) ASSERT_TRUE(kuttest::WriteFile(d + kSep + L"keep.txt", "keep"));
#if defined(_WIN32)
    kuttest::SetEnv("USERPROFILE", Path(home).c_str());
#else
    kuttest::SetEnv("HOME", Path(home).c_str());
#endif
    ASSERT_TRUE(ChangeDir(sub));
    const std::string up = "../";  // both systems take '/'; "..\" before a closing quote would escape it
    Check({
        {{"tree", "remove", "."}, 1, "", "=kut: refusing to remove .: it names '.' or '..'; name the folder itself\n"},
        {{"tree", "remove", ".."}, 1, "", "it names '.' or '..'"},
        {{"tree", "remove", up}, 1, "", "it names '.' or '..'"},
        {{"tree", "remove", "--keep-root", "."}, 1, "", "it names '.' or '..'"},
        {{"tree", "remove", Path(sub)}, 1, "", "it is the current folder"},
        {{"tree", "remove", up + "sub"}, 1, "", "it is the current folder"},
        {{"tree", "remove", "--files-only", Path(work)}, 1, "", "it holds the current folder"},
        {{"tree", "remove", Path(home)}, 1, "", "it is the home folder"},
    });
    ASSERT_TRUE(ChangeDir(kuttest::BinaryDir()));
    for (const std::wstring& d : {work, sub, home}) EXPECT_TRUE(kuttest::Exists(d + kSep + L"keep.txt")) << Path(d);
}

TEST_F(Cli, TreeLinksAreRemovedThemselvesAndNeverCopiedInto) {
    const std::wstring a = m_tmp.file(L"a"), alink = m_tmp.file(L"alink");
    kuttest::MakeDir(a);
    ASSERT_TRUE(kuttest::WriteFile(a + kSep + L"f.txt", "f"));
    // wine 8 makes a link that its own calls do not show as a reparse point.
    if (!MakeLink(a, alink) || !kuttools::native::IsLink(alink)) GTEST_SKIP() << "no links that the system reports here";
    Check({
        {{"tree", "copy", Path(a), Path(alink + kSep + L"sub")}, 1, "", "the destination is inside the source"},
        {{"tree", "copy", Path(alink), Path(a + kSep + L"sub")}, 1, "", "the destination is inside the source"},
        {{"tree", "copy", Path(alink), Path(a)}, 1, "", "the destination is the source"},
        {{"tree", "remove", Path(alink), "--keep-root"}, 1, "", "is a symbolic link"},
    });
    EXPECT_FALSE(kuttest::Exists(a + kSep + L"sub"));
    EXPECT_TRUE(LinkExists(alink));
    Check({{{"tree", "remove", Path(alink)}, 0, "", "="}});
    EXPECT_TRUE(!LinkExists(alink) && kuttest::Exists(a + kSep + L"f.txt"));
}

TEST_F(Cli, TreeKeepsReadOnlyFilesAndNamesThem) {
    const std::wstring src = m_tmp.file(L"src"), dst = m_tmp.file(L"dst"), s(1, kSep);
    kuttest::MakeDir(src + s + L"d");
    ASSERT_TRUE(kuttest::WriteFile(src + s + L"f.txt", "new") && kuttest::WriteFile(src + s + L"d" + s + L"ro.txt", "new"));
    Check({{{"tree", "copy", Path(src), Path(dst)}, 0, "", "="}});
    const std::wstring ro = dst + s + L"d" + s + L"ro.txt", f = dst + s + L"f.txt";
    ASSERT_TRUE(kuttest::WriteFile(ro, "old") && kuttest::WriteFile(f, "mine"));
    SetReadOnly(ro, true);
    Check({
        {{"tree", "copy", Path(src), Path(dst)},
         1,
         "",
         "cannot copy " + Path(src + s + L"d" + s + L"ro.txt") + " to " + Path(ro) + ": read-only"},
        {{"tree", "copy", "-n", Path(src), Path(dst)}, 0, "", "="},  // existing files kept quietly
    });
    EXPECT_TRUE(Read(ro) == "old" && Read(f) == "new");
    ASSERT_TRUE(kuttest::WriteFile(f, "mine"));
    Check({{{"tree", "copy", "--no-clobber", Path(src), Path(dst)}, 0, "", "="}});
    EXPECT_EQ(Read(f), "mine");
    Check({{{"tree", "remove", Path(dst)}, 1, "", "cannot remove file " + Path(ro) + ": read-only"}});
    EXPECT_TRUE(Read(ro) == "old" && !kuttest::Exists(f));
    const Case again = Run({"tree", "remove", Path(dst)});
    EXPECT_NE(again.err.find("cannot remove directory " + Path(dst + s + L"d") + ": "), std::string::npos) << again.err;
    SetReadOnly(ro, false);
}

#if !defined(_WIN32)
// A Latin-1 name is not UTF-8: the commands reach it all the same and show
// its bytes as \xNN.
TEST_F(Cli, TreeWorksOnNamesThatAreNotUtf8) {
    const std::string lat = Path(m_tmp.file(L"lat")), copy = lat + "-copy";
    ASSERT_EQ(::mkdir(lat.c_str(), 0777), 0);
    FILE* raw = std::fopen((lat + "/caf\xE9.txt").c_str(), "wb");
    ASSERT_TRUE(raw && std::fputs("x", raw) >= 0);
    std::fclose(raw);
    Check({
        {{"tree", "scan", lat}, 0, "caf\\xE9.txt\n", ""},
        {{"tree", "copy", lat, copy}, 0, "", "="},
        {{"tree", "scan", lat + "/caf\xE9.txt"}, 1, "", "caf\\xE9.txt: no such directory"},
    });
    EXPECT_EQ(::access((copy + "/caf\xE9.txt").c_str(), F_OK), 0);
    Check({{{"tree", "remove", copy}, 0, "", "="}});
    EXPECT_NE(::access(copy.c_str(), F_OK), 0);
}

// The other commands name such files in their errors, warnings and reports
// the same way, never as the raw bytes.
TEST_F(Cli, NamesThatAreNotUtf8AreShownEscaped) {
    const std::string dir = Path(m_tmp.path()) + "/";
    const auto put = [&](const std::string& name, const std::string& bytes) {
        FILE* raw = std::fopen((dir + name).c_str(), "wb");
        ASSERT_TRUE(raw && std::fwrite(bytes.data(), 1, bytes.size(), raw) == bytes.size());
        std::fclose(raw);
    };
    put("caf\xE9.txt", "1\tone\n");
    put("nul\xE9.txt", std::string("a\0b\n", 4));
    const std::string cafe = dir + "caf\\xE9.txt";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    } cases[] = {
        {{"decode", "convert", dir + "caf\xE9.txt", dir + "caf\xE9.txt"},
         1,
         "",
         "refusing to write " + cafe + ": it is the input file " + cafe},
        {{"decode", "convert", dir + "absent\xE9.txt"}, 1, "", dir + "absent\\xE9.txt: no such file"},
        {{"decode", "convert", dir + "nul\xE9.txt", dir + "out.txt"},
         0,
         "",
         "kut: warning: " + dir + "nul\\xE9.txt: a NUL byte cut line 1"},
        {{"msg", "dump", dir + "caf\xE9.txt"}, 1, "", cafe + ": "},
        {{"msg", "dump", dir + "missing\xE9.dll"}, 1, "", dir + "missing\\xE9.dll: no such file"},
        {{"msg", "build", dir + "caf\xE9.txt", dir + "L\xE9.dll"}, 0, "", ""},
        {{"msg", "check", dir + "L\xE9.dll"}, 0, dir + "L\\xE9.dll: no damage found\n", ""},
        {{"msg", "dump", dir + "L\xE9.dll", dir + "L\xE9.dll"}, 1, "", "refusing to write " + dir + "L\\xE9.dll"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Case r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\xE9'), std::string::npos) << "a raw byte: " << r.err;
    }
}
#endif

TEST_F(Cli, DemoRunsTheTypicalRequestStepByStep) {
    const std::string out = Path(m_tmp.path()), sep(1, static_cast<char>(kSep));
    Check({{{"demo", "--out", out},
            0,
            "kut demo: sample data in " + Path(m_data) + ", files written to " + out + "\n" +
                "1. message 20 of module KMAIN (KEST_001.dll): \"Calculation finished: %1 members checked.\"\n"
                "   %1 filled with 12: \"Calculation finished: 12 members checked.\"\n"
                "   manager shows: \"Calculation finished: 12 members checked.\" (style 0x40)\n"
                "   answer 1\n"
                "2. sample850.txt converted, language 34 (DOS code page 850): " +
                out + sep + "TMP~001.con\n" +
                "   line 2: \"Caf\xC3\xA9 cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
                "e \xC3\xA0 la fran\xC3\xA7"
                "aise\"\n"
                "3. image 0 of module ICONS in kestoimg.img: 16 x 16\n"
                "   drawn with IMG_Show, saved as " +
                out + sep + "ICONS_0.bmp\n" +
                "4. length coefficient from unimet.cfg: 1 M = 1000 MM\n"
                "done\n",
            "="}});
    EXPECT_EQ(Read(m_tmp.file(L"ICONS_0.bmp")).size(), 54u + 16 * 16 * 3);
    EXPECT_TRUE(kuttest::Exists(m_tmp.file(L"TMP~001.con")));
    // Without the sample data the first step says what is missing.
    kuttest::TempDir empty;
    Check({{{"--data", Path(empty.path()), "demo", "--out", out}, 1, "~", "KEST_001.dll"}});
}

#else
TEST(Cli, NeedsTheKutProgram) { GTEST_SKIP() << "kut was not built (tools off or subsystems left out)"; }
#endif
