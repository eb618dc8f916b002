// The kut program run as a user runs it, on the sample data of the build tree and on bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "native.h"
#include "testutil.h"

#if defined(_WIN32)
#include <direct.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using kuttest::kSep;

std::string Path(const std::wstring& w) { return kuttest::Narrow(w); }

// `args` split at blanks, or at '|' when there is one; "@name" is F(name). `out` is all of stdout,
// a part of it after "~"; `err` a part of stderr, all of it after "=".
struct Case {
    std::string args;
    int status;
    std::string out, err;
};

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        // Only the bundled sample data, whatever the caller's environment.
        for (const char* v : {"KBASE_ROOT", "KBASE_DIR_1", "KBASE_DIR_2", "KBASE_DIR_5", "KOPTS_LANGUAGE", "KOPTS_UNITS"})
            kuttest::SetEnv(v, nullptr);
        kuttest::SetEnv("KBASE_DIR_9", F("").c_str());
    }
    std::string F(std::string name) {
        std::replace(name.begin(), name.end(), '/', static_cast<char>(kSep));
        return Path(m_tmp.path()) + (name.empty() ? "" : static_cast<char>(kSep) + name);
    }
    std::wstring W(const std::string& name) { return kuttest::Widen(F(name)); }
    std::string Got(const std::string& name) { return kuttest::Read(W(name)); }
    void Put(const std::string& name, const std::string& bytes) { ASSERT_TRUE(kuttest::WriteFile(W(name), bytes)) << name; }

    kuttest::Ran Run(const std::vector<std::string>& args, const std::string& input = "") {
        return kuttest::RunKut(args, m_work.path(), input);
    }
    kuttest::Ran Run(const std::string& line, const std::string& input = "") {
        std::vector<std::string> args;
        std::istringstream in(line);
        for (std::string a; std::getline(in, a, line.find('|') == std::string::npos ? ' ' : '|');)
            args.push_back(a[0] == '@' ? F(a.substr(1)) : a);
        return Run(args, input);
    }
    void Check(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.args);
            const kuttest::Ran r = Run(c.args);
            EXPECT_EQ(r.status, c.status) << r.err;
            EXPECT_TRUE(c.out[0] == '~' ? r.out.find(c.out.substr(1)) != std::string::npos : r.out == c.out) << r.out;
            EXPECT_TRUE(c.err[0] == '=' ? r.err == c.err.substr(1) : r.err.find(c.err) != std::string::npos) << r.err;
        }
    }

    kuttest::TempDir m_work, m_tmp;  // the program's working folder; the files given and got
    std::string m_data = Path(fs::canonical(fs::path(kuttest::BinaryDir()) / "data").wstring());
};

TEST_F(Cli, HelpVersionAndUsageErrors) {
    std::vector<Case> cases = {{"--version", 0, "~kut ", ""},          {"", 2, "", ""},
                               {"frobnicate", 2, "", "frobnicate"},    {"msg show KMAIN 1 --bogus", 2, "", ""},
                               {"msg show KMAIN 1 --lang", 2, "", ""}, {"--data @nowhere units length M", 1, "", "nowhere"}};
    for (const std::string cmd : {"msg", "decode", "img", "units", "tree", "demo"})
        cases.insert(cases.end(), {{"--help", 0, "~\n  " + cmd + " ", ""}, {cmd + " --help", 0, "~usage: kut " + cmd, ""}});
    Check(cases);
}

TEST_F(Cli, Msg) {
    Put("in.txt", "# test\n0\tzero\n7\tTab\\there\n40 two words\n3\tUnicode \\u00e9\\\\\n");
    Put("bad.txt", "1\tone\n1\tagain\n");
    Put("KEST_001.dll", "MZ but nothing else");
    const std::string readable = "0\tzero\n3\tUnicode \xC3\xA9\\\\\n7\tTab\\there\n", dumped = readable + "40\ttwo words\n";
    // Found next to the binary; no numbers: the whole sorted table; a bare library name: in the data folder.
    Check({{"msg show KMAIN 1 3 5 6", 0, "1\tBeam\n3\tWidth %1 of %2\n5\tLength\n6\tTotal weight\n", ""},
           {"msg show KMAIN 6 5 --mode 2 --output 2", 0, "6\tPoids total\n5\tLength\n", ""},
           {"msg show KMAIN 1 --lang 2 --cache", 0, "1\tPoutre\n", ""},
           {"msg show KMAIN 5 10 --field 2", 0, "5\tmm\n10\tS235\n", ""},
           {"msg show KMAIN", 0, "~\n5\tLength$$mm$$Span of the member\n", ""},
           {"msg show KMAIN 1 --mode 3", 2, "", ""},
           {"msg show KMAIN 1 --field 2 --mode 1", 2, "", ""},
           {"msg show KMAIN 0", 2, "", ""},
           {"msg show KMAIN 65536", 2, "", ""},
           {"msg build @in.txt", 2, "", ""},
           {"msg show KMAIN 2 99", 1, "2\tColumn\n", "message 99"},
           {"msg show ABC 1", 1, "", "ABC__001.dll: no such file"},
           {"--data @ msg show KMAIN 1", 1, "", "KEST_001.dll: not a language library"},
           {"msg build @in.txt @T.dll", 0, "", "="},
           {"msg dump @T.dll", 0, dumped, "="},
           {"msg check @T.dll", 0, F("T.dll") + ": no damage found\n", "="},
           {"msg check @in.txt", 1, "", "not a language library"},
           {"msg dump KEST_002.dll", 0, "~1\tPoutre\n", ""},
           {"msg build @bad.txt @B.dll", 1, "", "line 2"}});
    EXPECT_FALSE(kuttest::Exists(W("B.dll")));

    // A cut library dumps what it holds, names the damaged block and fails; check only reports.
    const std::string bytes = Got("T.dll");
    const std::size_t words = bytes.find(std::string("w\0o\0r\0d\0s\0", 10));
    ASSERT_NE(words, std::string::npos);
    Put("C.dll", bytes.substr(0, words + 4));
    const std::string damage = F("C.dll") + ": block 3 (numbers 32-47): cut by the end of the file; numbers 40-47 lost\n";
    Check({{"msg dump @C.dll", 1, readable, "=kut: " + damage},
           {"msg dump @C.dll @c.txt", 1, "", "=kut: " + damage},
           {"msg check @C.dll", 1, damage, "="}});
    EXPECT_EQ(Got("c.txt"), readable);
    kuttest::SetEnv("KOPTS_LANGUAGE", "2,2");
    EXPECT_EQ(Run("msg show KMAIN 2").out, "2\tPoteau\n");
}

TEST_F(Cli, Decode) {
    Put("dos.txt", "caf\x82 \x9b\r\nkesto x\r\n");
    Put("Decod001.dcd", "128\n129\n");
    // No destination: a free name, printed. A rejected table file: a warning, the built-in table used.
    std::vector<Case> cases = {{"decode convert @dos.txt @win.txt --lang 35", 0, "", "="},
                               {"decode convert @dos.txt --lang 35", 0, F("TMP~001.con") + "\n", ""},
                               {"decode convert @absent.txt", 1, "", "absent.txt: no such file"},
                               {"decode recode", 2, "", ""},
                               {"decode convert @dos.txt --lang many", 2, "", ""},
                               {"decode tables --lang 34", 0, "~\ncode page:  Decod034.dcd ", ""},
                               {"decode tables --lang 70", 0, "~dictionary: built-in FOLD_TABLE_CYR (no Decod070.dct in", ""},
                               {"--data @ decode tables", 0, "~code page:  built-in DOS_TABLE_437 (code page 437) (",
                                "Decod001.dcd warning 3 elements."}};
#if !defined(_WIN32)
    cases.push_back({"decode|fold|Caf\xC3\xA9 cr\xC3\xA8me|z\xC3\xBCrich", 0, "CAFE CREME\nZURICH\n", ""});
    cases.push_back({"decode fold \xE2\x82\xAC", 2, "", ""});  // the euro sign has no byte
#endif
    Check(cases);
    // Code page 850 to Windows, the keyword rule, and the empty line behind the last line end.
    EXPECT_EQ(Got("win.txt"), "caf\xE9 \xF8\r\nkesto97 x\r\n\r\n");
    EXPECT_TRUE(kuttest::Exists(W("TMP~001.con")));
    EXPECT_EQ(Run("decode fold --lang 34", "Stra\xDF\x65 \xE9t\xE9\n").out, "STRA E ETE\n");
}

TEST_F(Cli, Img) {
    Put("bad.img", std::string("\x05\x00KUT", 5));
    const std::string img = Path(kuttest::SourceDir()) + static_cast<char>(kSep) + "data" + static_cast<char>(kSep) + "img";
    // The sheet: two per row (48 x 32, 31 x 11 / 20 x 12, 33 x 17), 4 pixels apart and around.
    Check({{"img list", 0, "~ICONS   4 images", ""},
           {"img size ICONS 2", 0, "24 x 24\n", ""},
           {"img extract ICONS 2 @ball.bmp", 0, "", ""},
           {"img|build|" + img + "|@copy.img", 0, "", ""},
           {"img sheet SHAPES @sheet.bmp --columns 2", 0, "", ""},
           {"img size ICONS 9", 1, "", "no image 9"},
           {"img extract NOPE 0 @x.bmp", 1, "", "no module NOPE"},
           {"img size TOOLONGNAME 0", 2, "", ""},
           {"img list --file @bad.img", 1, "", "bad.img"},
           {"img list --file @none.img", 1, "", "none.img: no such file"}});
    EXPECT_EQ(Got("ball.bmp"), kuttest::Read(kuttest::Widen(img) + kSep + L"ICONS" + kSep + L"02_ball.bmp"));
    EXPECT_EQ(Got("copy.img"), kuttest::Read(kuttest::Widen(m_data) + kSep + L"kestoimg.img"));
    EXPECT_FALSE(kuttest::Exists(W("x.bmp")));
    const std::string sheet = Got("sheet.bmp") + std::string(26, '?');  // "BM", width at 18, height at 22
    EXPECT_EQ(sheet.substr(0, 2) + sheet.substr(18, 2) + sheet.substr(22, 2),
              std::string("BM") + char(4 + 48 + 4 + 31 + 4) + '\0' + char(4 + 32 + 4 + 17 + 4) + '\0');
}

TEST_F(Cli, Units) {
    kuttest::MakeDir(W("broken"));
    Put("broken/unimet.cfg", "x\nM, 1.0\n");
    Check({{"units length m MM", 0, "1 m = 1000 MM\n", ""},
           {"units mass LB", 0, "LB 2.20462262184878\n", ""},
           {"units length IN --nonmetric", 0, "IN 1\n", ""},
           {"units length M FURLONG", 1, "", "unimet.cfg: no unit 'FURLONG' in the length section"},
           {"units speed M", 2, "", ""},
           {"units length M --metric --nonmetric", 2, "", ""},
           {"--data @ units length M", 1, "", "unimet.cfg: not found"},
           {"--data @broken units length M", 1, "", "is not a number"}});
    kuttest::SetEnv("KOPTS_UNITS", "nonmetric");
    Check({{"units force KIP LB", 0, "1 KIP = 1000 LB\n", ""}, {"units force KIP --metric", 0, "KIP 0.00022480894309971\n", ""}});
}

TEST_F(Cli, Tree) {
    kuttest::MakeDir(W("src/a/b"));
    for (const char* f : {"top.txt", "skip.log", "a/b/deep.txt"}) Put(std::string("src/") + f, f);
    const std::string ab = "a" + std::string(1, static_cast<char>(kSep)) + "b";
    // scan: each directory's listing, from the top down.
    Check({{"tree copy @src @dst --files *.txt", 0, "", "="},  // no progress line off a terminal
           {"tree scan @src", 0, "a/\nskip.log\ntop.txt\n" + ab + "/\n" + ab + static_cast<char>(kSep) + "deep.txt\n", ""},
           {"tree scan @src --depth 1 --files *.log", 0, "a/\nskip.log\n", ""},
           {"tree scan @src --depth deep", 2, "", ""},
           {"tree copy @src @src/a/copy", 1, "", "inside the source"}});
    EXPECT_EQ(Got("dst/a/b/deep.txt"), "a/b/deep.txt");
    EXPECT_TRUE(kuttest::Exists(W("dst/top.txt")) && !kuttest::Exists(W("dst/skip.log"))) << "*.txt only";
    EXPECT_FALSE(kuttest::Exists(W("src/a/copy")));

    // A file where a folder should go: the copy names it and goes on.
    kuttest::MakeDir(W("dst2"));
    Put("dst2/a", "a file");
    Check({{"tree copy @src @dst2", 1, "", "cannot copy " + F("src/a/b/deep.txt") + " to " + F("dst2/a/b/deep.txt")},
           {"tree copy @src @dst2", 1, "", "2 entries failed"}});
    EXPECT_TRUE(kuttest::Exists(W("dst2/top.txt")));

    Check({{"tree remove @dst --keep-root", 0, "", "="}});
    EXPECT_TRUE(fs::is_empty(fs::path(W("dst"))));
    Check({{"tree remove @dst", 0, "", ""}, {"tree scan @dst", 1, "", "no such directory"}});
}

bool ChangeDir(const std::wstring& dir) {
#if defined(_WIN32)
    return _wchdir(dir.c_str()) == 0;
#else
    return ::chdir(Path(dir).c_str()) == 0;
#endif
}

// Run from a folder inside the temporary folder, with the home folder there
// too, so that a broken guard could only ever empty those.
TEST_F(Cli, TreeRemoveRefusesDotsAndTheCurrentAndHomeFolders) {
    kuttest::MakeDir(W("work/sub"));
    kuttest::MakeDir(W("home"));
    for (const char* d : {"work", "work/sub", "home"}) Put(d + std::string("/keep.txt"), "keep");
    kuttest::SetEnv(kSep == L'/' ? "HOME" : "USERPROFILE", F("home").c_str());
    ASSERT_TRUE(ChangeDir(W("work/sub")));
    // "../": both systems take '/'; "..\" before a closing quote would escape it.
    Check({{"tree remove .", 1, "", "=kut: refusing to remove .: it names '.' or '..'; name the folder itself\n"},
           {"tree remove --keep-root ../", 1, "", "it names '.' or '..'"},
           {"tree remove @work/sub", 1, "", "it is the current folder"},
           {"tree remove --files-only @work", 1, "", "it holds the current folder"},
           {"tree remove @home", 1, "", "it is the home folder"}});
    ASSERT_TRUE(ChangeDir(kuttest::BinaryDir()));
    for (const char* d : {"work", "work/sub", "home"}) EXPECT_EQ(Got(d + std::string("/keep.txt")), "keep") << d;
}

// As rm -r: a link goes itself, what it points to stays.
TEST_F(Cli, TreeLinksAreRemovedThemselvesAndNeverCopiedInto) {
    kuttest::MakeDir(W("a"));
    Put("a/f.txt", "f");
    // wine 8 makes a link that its own calls do not show as a reparse point.
    if (!kuttest::MakeLink(W("a"), W("alink")) || !kuttools::native::IsLink(W("alink")))
        GTEST_SKIP() << "no links that the system reports here";
    Check({{"tree copy @alink @a/sub", 1, "", "the destination is inside the source"},
           {"tree remove @alink --keep-root", 1, "", "is a symbolic link"}});
    EXPECT_TRUE(kuttools::native::IsLink(W("alink")));
    Check({{"tree remove @alink", 0, "", "="}});
    EXPECT_TRUE(!kuttools::native::IsLink(W("alink")) && Got("a/f.txt") == "f");
}

TEST_F(Cli, TreeKeepsReadOnlyFilesAndNamesThem) {
    kuttest::MakeDir(W("src/d"));
    Put("src/f.txt", "new");
    Put("src/d/ro.txt", "new");
    Check({{"tree copy @src @dst", 0, "", "="}});
    Put("dst/d/ro.txt", "old");
    Put("dst/f.txt", "mine");
    fs::permissions(fs::path(W("dst/d/ro.txt")), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    Check({{"tree copy @src @dst", 1, "", "cannot copy " + F("src/d/ro.txt") + " to " + F("dst/d/ro.txt") + ": read-only"},
           {"tree copy -n @src @dst", 0, "", "="}});                         // -n: existing files kept quietly
    EXPECT_TRUE(Got("dst/d/ro.txt") == "old" && Got("dst/f.txt") == "new");  // -n kept ro.txt, the failed run wrote f.txt
    Check({{"tree remove @dst", 1, "", "cannot remove file " + F("dst/d/ro.txt") + ": read-only"},
           {"tree remove @dst", 1, "", "cannot remove directory " + F("dst/d") + ": "}});
    EXPECT_TRUE(Got("dst/d/ro.txt") == "old" && !kuttest::Exists(W("dst/f.txt")));
}

#if !defined(_WIN32)
// A Latin-1 name is not UTF-8: the commands reach it all the same and show
// its bytes as \xNN in their output, errors and warnings, never raw.
TEST_F(Cli, NamesThatAreNotUtf8AreShownEscaped) {
    ASSERT_EQ(::mkdir(F("lat").c_str(), 0777), 0);
    for (const char* name : {"caf\xE9.txt", "lat/caf\xE9.txt"}) {
        FILE* raw = std::fopen(F(name).c_str(), "wb");
        ASSERT_TRUE(raw && std::fputs("1\tone\n", raw) >= 0);
        std::fclose(raw);
    }
    const std::string cafe = F("caf\\xE9.txt");
    Check({{"tree scan @lat", 0, "caf\\xE9.txt\n", ""},
           {"tree copy @lat @copy", 0, "", "="},
           {"tree scan @lat/caf\xE9.txt", 1, "", "caf\\xE9.txt: no such directory"},
           {"decode convert @caf\xE9.txt @caf\xE9.txt", 1, "", "refusing to write " + cafe + ": it is the input file " + cafe},
           {"decode convert @absent\xE9.txt", 1, "", F("absent\\xE9.txt: no such file")},
           {"msg dump @caf\xE9.txt", 1, "", cafe + ": "},
           {"msg build @caf\xE9.txt @L\xE9.dll", 0, "", "="}});
    EXPECT_EQ(::access(F("copy/caf\xE9.txt").c_str(), F_OK), 0);
    Check({{"tree remove @copy", 0, "", "="}});
    EXPECT_NE(::access(F("copy").c_str(), F_OK), 0);
}
#endif

TEST_F(Cli, DemoRunsTheTypicalRequestStepByStep) {
    const kuttest::Ran r = Run("demo --out @");
    EXPECT_TRUE(r.status == 0 && r.err.empty()) << r.err;
    const std::string out = F("") + static_cast<char>(kSep);
    for (const std::string& part :
         {"kut demo: sample data in " + m_data + ", files written to " + F("") + "\n1. message 20 of module KMAIN",
          std::string("   %1 filled with 12: \"Calculation finished: 12 members checked.\"\n   manager shows: \"Calculation ") +
              "finished: 12 members checked.\" (style 0x40)\n   answer 1\n2. sample850.txt converted, " +
              "language 34 (DOS code page 850): " + out +
              "TMP~001.con\n   line 2: \"Caf\xC3\xA9 cr\xC3\xA8me br\xC3\xBBl\xC3\xA9\x65 \xC3\xA0 la fran\xC3\xA7\x61ise\"\n",
          "16 x 16\n   drawn with IMG_Show, saved as " + out +
              "ICONS_0.bmp\n4. length coefficient from unimet.cfg: 1 M = 1000 MM\ndone\n"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n---\n" << r.out;
    EXPECT_EQ(Got("ICONS_0.bmp").size(), 54u + 16 * 16 * 3);
    kuttest::MakeDir(W("empty"));
    Check({{"--data @empty demo --out @", 1, "~", "KEST_001.dll"}});  // says what is missing
}

// ---- what the writing commands do with their files ----

class ToolOutputs : public Cli {
protected:
    void SetUp() override {
        Cli::SetUp();
        Put("c.txt", "1\tone\n2\ttwo\n");
        fs::copy_file(fs::u8path(m_data) / "KEST_001.dll", fs::path(W("L.dll")));
        fs::copy_file(fs::u8path(m_data) / "kestoimg.img", fs::path(W("keep.img")));
        kuttest::MakeDir(W("src/ICONS"));
        fs::copy(fs::path(kuttest::SourceDir()) / "data" / "img" / "ICONS", fs::path(W("src/ICONS")));
        kuttest::MakeDir(W("sub"));
    }
    std::vector<std::pair<std::string, std::string>> Snapshot() {
        std::vector<std::pair<std::string, std::string>> files;
        for (const auto& e : fs::recursive_directory_iterator(fs::path(m_tmp.path())))
            if (e.is_regular_file()) files.emplace_back(e.path().u8string(), kuttest::Read(e.path().wstring()));
        std::sort(files.begin(), files.end());
        return files;
    }
};

// "@sub/../x" names x under another spelling.
TEST_F(ToolOutputs, NoCommandWritesOverOneOfItsInputs) {
    const std::string no = "refusing to write ";
    const auto before = Snapshot();
    Check({{"msg build @c.txt @c.txt", 1, "", no},
           {"msg dump @L.dll @sub/../L.dll", 1, "", no},
           {"img extract ICONS 1 @sub/../keep.img --file @keep.img", 1, "", no},
           {"img sheet SHAPES @keep.img --file @keep.img", 1, "", no},
           {"img build @src @src/ICONS/00_check.bmp", 1, "", no},
           {"decode convert @c.txt @sub/../c.txt", 1, "", no}});
    EXPECT_EQ(Snapshot(), before) << "every input as it was, and nothing else written";
}

TEST_F(ToolOutputs, NoClobberKeepsAnExistingOutput) {
    Put("old", "keep me");
    Check({{"msg dump @L.dll @old -n", 0, "", "="},
           {"msg build @c.txt @old --no-clobber", 0, "", "="},
           {"img extract ICONS 1 @old -n --file @keep.img", 0, "", "="},
           {"img sheet SHAPES @old --file @keep.img -n", 0, "", "="},
           {"img build @src @old -n", 0, "", "="},
           {"decode convert @c.txt @old -n", 0, "", "="}});
    EXPECT_EQ(Got("old"), "keep me");
    // A name that is free is written all the same; without -n the old file goes.
    Check({{"msg build @c.txt @new.dll -n", 0, "", "="},
           {"img samples @samples -n", 0, "", "="},
           {"msg dump @new.dll @old", 0, "", "="}});
    EXPECT_EQ(Got("old"), "1\tone\n2\ttwo\n");
    ASSERT_EQ(Got("samples/ICONS/00_check.bmp").substr(0, 2), "BM");
    Put("samples/ICONS/00_check.bmp", "mine");
    Check({{"img samples @samples -n", 0, "", "="}});
    EXPECT_EQ(Got("samples/ICONS/00_check.bmp"), "mine");
}

TEST_F(ToolOutputs, AFailedRunLeavesTheOldFileAndNoTemporary) {
    // A bitmap the library cannot read: the image file is written, checked and found wrong.
    kuttest::MakeDir(W("bad/MOD"));
    Put("bad/MOD/x.bmp", "BM but not a bitmap");
    Put("bad.txt", "1\tone\n1\tagain\n");
    for (const char* name : {"out.img", "out.dll", "ro.txt"}) Put(name, "old");
    fs::permissions(fs::path(W("ro.txt")), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto before = Snapshot();
    // A read-only file is not replaced, for root neither.
    Check({{"img build @bad @out.img", 1, "", "not a bitmap the library can read"},
           {"msg build @bad.txt @out.dll", 1, "", "line 2"},
           {"msg dump @L.dll @ro.txt", 1, "", "cannot write " + F("ro.txt") + ": the file is read-only"},
           {"msg build @c.txt @ro.txt", 1, "", "read-only"}});
    EXPECT_EQ(Snapshot(), before);
    fs::permissions(fs::path(W("ro.txt")), fs::perms::owner_write, fs::perm_options::add);
    // A complete run replaces the file and keeps nothing else.
    Check({{"img build @src @out.img", 0, "", "="}});
    EXPECT_EQ(Got("out.img").substr(0, 7), std::string("\x01\x00ICONS", 7)) << "one module, ICONS";
    for (const auto& e : fs::directory_iterator(fs::path(m_tmp.path())))
        EXPECT_NE(e.path().filename().u8string()[0], '.') << "a temporary left behind: " << e.path().u8string();
}

TEST_F(ToolOutputs, ErrorsNameTheFileAndTheSystemsReason) {
#if defined(_WIN32)
    const std::string reason;  // the system's own words, whatever the language
#else
    const std::string reason = std::strerror(ENOENT);
#endif
    // A missing input: the command says so itself, before the system is asked.
    Check({{"msg build @c.txt @nowhere/x.dll", 1, "", F("nowhere/x.dll: ") + reason},
           {"msg dump @L.dll @nowhere/x.txt", 1, "", F("nowhere/x.txt: ") + reason},
           {"img extract ICONS 1 @nowhere/x.bmp --file @keep.img", 1, "", F("nowhere/x.bmp: ") + reason},
           {"img sheet ICONS @nowhere/x.bmp --file @keep.img", 1, "", F("nowhere/x.bmp: ") + reason},
           {"img build @src @nowhere/x.img", 1, "", F("nowhere/x.img: ") + reason},
           {"decode convert @c.txt @nowhere/x.txt", 1, "", F("nowhere/x.txt: ") + reason},
           {"msg build @nowhere/c.txt @x.dll", 1, "", F("nowhere/c.txt: no such file")},
           {"img sheet ICONS @x.bmp --file @nowhere/k.img", 1, "", F("nowhere/k.img: no such file")}});
    EXPECT_FALSE(kuttest::Exists(W("x.dll")) || kuttest::Exists(W("x.bmp")));
}

TEST_F(ToolOutputs, ConvertNamesTheLinesANulByteCut) {
    Put("zeros.txt", std::string("ab\0cd\r\nok\r\nx\0\0y\n\0", 17));  // not "nul.txt": a device on Windows
    Check(
        {{"decode convert @zeros.txt @zeros.out", 0, "",
          "=kut: warning: " + F("zeros.txt") + ": a NUL byte cut lines 1, 3, 4: the text after the NUL is not in the output\n"}});
    EXPECT_EQ(Got("zeros.out"), "ab\r\nok\r\nx\r\n\r\n");
}

// Warned about once, by the program, whichever library reads the value.
TEST_F(ToolOutputs, EnvironmentValuesTheLibrariesIgnoreAreWarnedAboutOnce) {
    const struct {
        const char* name;
        std::string value, warning;
    } table[] = {{"KOPTS_LANGUAGE", "0,1", "KOPTS_LANGUAGE=0,1: language numbers are 1 to 32767"},
                 {"KOPTS_LANGUAGE", "2,2", ""},
                 {"KOPTS_UNITS", "bogus", "KOPTS_UNITS=bogus: not \"nonmetric\" or \"metric\""},
                 {"KBASE_ROOT", F("missing"), "KBASE_ROOT=" + F("missing") + ": no such folder"},
                 {"KBASE_DIR_5", F("c.txt"), "KBASE_DIR_5=" + F("c.txt") + ": not a folder"},
                 {"KBASE_DIR_5", F(""), ""}};
    for (const auto& e : table) {
        SCOPED_TRACE(std::string(e.name) + "=" + e.value);
        kuttest::SetEnv(e.name, e.value.c_str());
        for (const std::string& command : {"--data|" + m_data + "|units|length|M|MM", std::string("msg dump @L.dll @d.txt"),
                                           std::string("img list --file @keep.img")}) {
            const kuttest::Ran r = Run(command);
            EXPECT_EQ(r.status, 0) << command << ": " << r.err;
            if (e.warning.empty()) {
                EXPECT_EQ(r.err, "") << command;
            } else {
                EXPECT_EQ(r.err.find("kut: warning: " + e.warning), 0u) << r.err;
                EXPECT_EQ(r.err.find(e.name, r.err.find('\n')), std::string::npos) << "once: " << r.err;
            }
        }
        kuttest::SetEnv(e.name, nullptr);
    }
}

}  // namespace
