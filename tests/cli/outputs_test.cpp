// What the tools do with the files they write: never over one of their own
// inputs, only complete (a failed run leaves the old file), not at all with
// -n when the file exists; every error names the file and the system's
// reason; warnings for lines cut by NUL bytes and for environment values
// the libraries ignore. Everything runs inside the test's own temporary
// folders.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "testutil.h"  // with <string> and <vector>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#if defined(KUT_CLI_PATH)

namespace fs = std::filesystem;
using kuttest::kSep;

namespace {

std::string Path(const std::wstring& w) { return kuttest::Narrow(w); }

// A run of kut: the program, its arguments, the exit status
// and a part of standard error that must be there ("=" + text: all of it).
struct ToolRun {
    std::string program;
    std::vector<std::string> args;
    int status;
    std::string err;
};

class ToolOutputs : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* v : {"KBASE_ROOT", "KBASE_DIR_1", "KBASE_DIR_2", "KBASE_DIR_5", "KOPTS_LANGUAGE", "KOPTS_UNITS"})
            kuttest::SetEnv(v, nullptr);
        kuttest::SetEnv("KBASE_DIR_9", Path(m_tmp.path()).c_str());
        const fs::path data = fs::path(kuttest::BinaryDir()) / "data";
        // The inputs: a catalog, its library, an image file and a folder of bitmaps.
        kuttest::WriteFile(m_tmp.file(L"c.txt"), "1\tone\n2\ttwo\n");
        fs::copy_file(data / "KEST_001.dll", fs::path(m_tmp.file(L"L.dll")));
        fs::copy_file(data / "kestoimg.img", fs::path(m_tmp.file(L"keep.img")));
        const std::wstring icons = m_tmp.file(L"src") + kSep + L"ICONS";
        kuttest::MakeDir(icons);
        fs::copy(fs::path(kuttest::SourceDir()) / "data" / "img" / "ICONS", fs::path(icons));
        kuttest::MakeDir(m_tmp.file(L"sub"));
    }

    // Runs the program with the arguments (each quoted), output and errors
    // caught in files of m_work. Returns the exit status; *err gets stderr.
    int Exec(const std::string& program, const std::vector<std::string>& args, std::string* err) {
#if defined(_WIN32)
        std::string cmd = "\"" + Path(kuttest::BinaryDir()) + "\\bin\\" + program + ".exe\"";
        const auto sh = [](const std::string& c) { return std::system(("\"" + c + "\"").c_str()); };
#else
        std::string cmd = "\"" + std::string(KUT_CLI_PATH) + "\"";
        const auto sh = [](const std::string& c) {
            int rc = std::system(c.c_str());
            return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        };
#endif
        for (const std::string& a : args) cmd += " \"" + a + "\"";
        kuttest::WriteFile(m_work.file(L"in"), "");
        cmd += " <\"" + Path(m_work.file(L"in")) + "\" >\"" + Path(m_work.file(L"out")) + "\" 2>\"" + Path(m_work.file(L"err")) +
               "\"";
        const int status = sh(cmd);
        *err = Read(m_work.file(L"err"));
        for (std::size_t at; (at = err->find("\r\n")) != std::string::npos;) err->erase(at, 1);
        return status;
    }

    void Check(const std::vector<ToolRun>& runs) {
        for (const ToolRun& r : runs) {
            SCOPED_TRACE(r.program + " " + testing::PrintToString(r.args));
            std::string err;
            EXPECT_EQ(Exec(r.program, r.args, &err), r.status) << err;
            EXPECT_TRUE(r.err[0] == '=' ? err == r.err.substr(1) : err.find(r.err) != std::string::npos) << err;
        }
    }

    // The files of m_tmp (recursively) with their bytes.
    std::vector<std::pair<std::string, std::string>> Snapshot() {
        std::vector<std::pair<std::string, std::string>> files;
        for (const auto& e : fs::recursive_directory_iterator(fs::path(m_tmp.path())))
            if (e.is_regular_file()) files.emplace_back(e.path().u8string(), Read(e.path().wstring()));
        std::sort(files.begin(), files.end());
        return files;
    }

    std::string F(const std::wstring& name) { return Path(m_tmp.file(name)); }
    // The same file under another spelling: through sub/..
    std::string Other(const std::wstring& name) { return Path(m_tmp.path() + kSep + L"sub" + kSep + L".." + kSep + name); }
    static std::string Read(const std::wstring& p) {
        std::string b;
        return kuttest::ReadFile(p, &b) ? b : "<missing>";
    }

    kuttest::TempDir m_work, m_tmp;
    std::string m_data = Path((fs::path(kuttest::BinaryDir()) / "data").wstring());
};

TEST_F(ToolOutputs, NoCommandWritesOverOneOfItsInputs) {
    const std::string bmp = F(std::wstring(L"src") + kSep + L"ICONS" + kSep + L"00_check.bmp");
    std::vector<std::string> aliases = {Other(L"c.txt")};
#if !defined(_WIN32)
    // A symbolic and a hard link name the same file as well.
    ASSERT_EQ(symlink("c.txt", F(L"sym.txt").c_str()), 0);
    ASSERT_EQ(link(F(L"L.dll").c_str(), F(L"hard.dll").c_str()), 0);
    aliases = {F(L"sym.txt"), F(L"hard.dll")};
#endif
    const auto before = Snapshot();
    const std::string refused = "refusing to write ";
    std::vector<ToolRun> runs = {
        {"kut", {"msg", "build", F(L"c.txt"), F(L"c.txt")}, 1, refused},
        {"kut", {"msg", "dump", F(L"L.dll"), Other(L"L.dll")}, 1, refused},
        {"kut", {"img", "extract", "ICONS", "1", F(L"keep.img"), "--file", F(L"keep.img")}, 1, refused},
        {"kut", {"img", "sheet", "SHAPES", Other(L"keep.img"), "--file", F(L"keep.img")}, 1, refused},
        {"kut", {"img", "build", F(L"src"), bmp}, 1, refused},
        {"kut", {"decode", "convert", F(L"c.txt"), Other(L"c.txt")}, 1, refused},
        {"kut", {"msg", "dump", F(L"L.dll"), F(L"L.dll")}, 1, refused},
        {"kut", {"img", "extract", "ICONS", "1", Other(L"keep.img"), "--file", F(L"keep.img")}, 1, refused},
        {"kut", {"img", "sheet", "SHAPES", F(L"keep.img"), "--file", F(L"keep.img")}, 1, refused},
    };
    for (const std::string& alias : aliases) {
        const bool catalog = alias.find(".txt") != std::string::npos;
        runs.push_back({"kut", {"msg", catalog ? "build" : "dump", catalog ? F(L"c.txt") : F(L"L.dll"), alias}, 1, refused});
    }
    Check(runs);
    EXPECT_EQ(Snapshot(), before) << "every input as it was, and nothing else written";
}

TEST_F(ToolOutputs, NoClobberKeepsAnExistingOutput) {
    kuttest::WriteFile(m_tmp.file(L"old"), "keep me");
    const std::string old = F(L"old");
    Check({
        {"kut", {"msg", "dump", F(L"L.dll"), old, "-n"}, 0, "="},
        {"kut", {"msg", "build", F(L"c.txt"), old, "--no-clobber"}, 0, "="},
        {"kut", {"img", "extract", "ICONS", "1", old, "-n", "--file", F(L"keep.img")}, 0, "="},
        {"kut", {"img", "sheet", "SHAPES", old, "--file", F(L"keep.img"), "-n"}, 0, "="},
        {"kut", {"img", "build", F(L"src"), old, "-n"}, 0, "="},
        {"kut", {"decode", "convert", F(L"c.txt"), old, "-n"}, 0, "="},
        {"kut", {"msg", "dump", "--no-clobber", F(L"L.dll"), old}, 0, "="},
    });
    EXPECT_EQ(Read(m_tmp.file(L"old")), "keep me");
    // A name that is free is written all the same; without -n the old file goes.
    Check({{"kut", {"msg", "build", F(L"c.txt"), F(L"new.dll"), "-n"}, 0, "="},
           {"kut", {"img", "samples", F(L"samples"), "-n"}, 0, "="},
           {"kut", {"msg", "dump", F(L"new.dll"), old}, 0, "="}});
    EXPECT_EQ(Read(m_tmp.file(L"old")), "1\tone\n2\ttwo\n");
    const std::wstring sample = m_tmp.file(L"samples") + kSep + L"ICONS" + kSep + L"00_check.bmp";
    ASSERT_EQ(Read(sample).substr(0, 2), "BM");
    kuttest::WriteFile(sample, "mine");
    Check({{"kut", {"img", "samples", F(L"samples"), "-n"}, 0, "="}});
    EXPECT_EQ(Read(sample), "mine");
}

TEST_F(ToolOutputs, AFailedRunLeavesTheOldFileAndNoTemporary) {
    // A folder whose bitmap the library cannot read: the image file is
    // written, checked, and found wrong.
    kuttest::MakeDir(m_tmp.file(L"bad") + kSep + L"MOD");
    kuttest::WriteFile(m_tmp.file(L"bad") + kSep + L"MOD" + kSep + L"x.bmp", "BM but not a bitmap");
    kuttest::WriteFile(m_tmp.file(L"bad.txt"), "1\tone\n1\tagain\n");
    for (const wchar_t* name : {L"out.img", L"out.dll", L"ro.txt"}) kuttest::WriteFile(m_tmp.file(name), "old");
    fs::permissions(fs::path(m_tmp.file(L"ro.txt")), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto before = Snapshot();
    Check({
        {"kut", {"img", "build", F(L"bad"), F(L"out.img")}, 1, "not a bitmap the library can read"},
        {"kut", {"msg", "build", F(L"bad.txt"), F(L"out.dll")}, 1, "line 2"},
        // A read-only file is not replaced, for root neither.
        {"kut", {"msg", "dump", F(L"L.dll"), F(L"ro.txt")}, 1, "cannot write " + F(L"ro.txt") + ": the file is read-only"},
        {"kut", {"msg", "build", F(L"c.txt"), F(L"ro.txt")}, 1, "read-only"},
    });
    EXPECT_EQ(Snapshot(), before);
    fs::permissions(fs::path(m_tmp.file(L"ro.txt")), fs::perms::owner_write, fs::perm_options::add);
    // A complete run replaces the file and keeps nothing else.
    Check({{"kut", {"img", "build", F(L"src"), F(L"out.img")}, 0, "="}});
    EXPECT_EQ(Read(m_tmp.file(L"out.img")).substr(0, 7), std::string("\x01\x00ICONS", 7)) << "one module, ICONS";
    for (const auto& e : fs::directory_iterator(fs::path(m_tmp.path())))
        EXPECT_NE(e.path().filename().u8string()[0], '.') << "a temporary left behind: " << e.path().u8string();
}

TEST_F(ToolOutputs, ErrorsNameTheFileAndTheSystemsReason) {
    const std::wstring nowhere = m_tmp.file(L"nowhere") + kSep;
    const auto in = [&](const wchar_t* name) { return Path(nowhere + name); };
#if defined(_WIN32)
    const std::string reason;  // the system's own words, whatever the language
#else
    const std::string reason = std::strerror(ENOENT);
#endif
    Check({
        {"kut", {"msg", "build", F(L"c.txt"), in(L"x.dll")}, 1, in(L"x.dll") + ": " + reason},
        {"kut", {"msg", "dump", F(L"L.dll"), in(L"x.txt")}, 1, in(L"x.txt") + ": " + reason},
        {"kut", {"img", "extract", "ICONS", "1", in(L"x.bmp"), "--file", F(L"keep.img")}, 1, in(L"x.bmp") + ": " + reason},
        {"kut", {"img", "sheet", "ICONS", in(L"x.bmp"), "--file", F(L"keep.img")}, 1, in(L"x.bmp") + ": " + reason},
        {"kut", {"img", "build", F(L"src"), in(L"x.img")}, 1, in(L"x.img") + ": " + reason},
        {"kut", {"decode", "convert", F(L"c.txt"), in(L"x.txt")}, 1, in(L"x.txt") + ": " + reason},
        // A missing input: the command says so itself, before the system is asked.
        {"kut", {"msg", "build", in(L"c.txt"), F(L"x.dll")}, 1, in(L"c.txt") + ": no such file"},
        {"kut", {"msg", "dump", in(L"L.dll")}, 1, in(L"L.dll") + ": no such file"},
        {"kut", {"img", "list", "--file", in(L"k.img")}, 1, in(L"k.img") + ": no such file"},
        {"kut", {"img", "sheet", "ICONS", F(L"x.bmp"), "--file", in(L"k.img")}, 1, in(L"k.img") + ": no such file"},
    });
    EXPECT_FALSE(kuttest::Exists(m_tmp.file(L"x.dll")) || kuttest::Exists(m_tmp.file(L"x.bmp")));
}

TEST_F(ToolOutputs, ConvertNamesTheLinesANulByteCut) {
    // Not "nul.txt": NUL is a device name on Windows.
    kuttest::WriteFile(m_tmp.file(L"zeros.txt"), std::string("ab\0cd\r\nok\r\nx\0\0y\n\0", 17));
    Check(
        {{"kut",
          {"decode", "convert", F(L"zeros.txt"), F(L"zeros.out")},
          0,
          "=kut: warning: " + F(L"zeros.txt") + ": a NUL byte cut lines 1, 3, 4: the text after the NUL is not in the output\n"},
         {"kut", {"decode", "convert", F(L"c.txt"), F(L"c.out")}, 0, "="}});
    EXPECT_EQ(Read(m_tmp.file(L"zeros.out")), "ab\r\nok\r\nx\r\n\r\n");
    EXPECT_EQ(Read(m_tmp.file(L"c.out")), "1\tone\r\n2\ttwo\r\n\r\n");
}

TEST_F(ToolOutputs, EnvironmentValuesTheLibrariesIgnoreAreWarnedAboutOnce) {
    const std::string missing = F(L"missing");
    struct Env {
        const char* name;
        std::string value;
        std::string warning;
    };
    const std::vector<Env> table = {
        {"KOPTS_LANGUAGE", "abc", "KOPTS_LANGUAGE=abc: not two language numbers"},
        {"KOPTS_LANGUAGE", "2", "KOPTS_LANGUAGE=2: not two language numbers"},
        {"KOPTS_LANGUAGE", "0,1", "KOPTS_LANGUAGE=0,1: language numbers are 1 to 32767"},
        {"KOPTS_LANGUAGE", "2,2", ""},
        {"KOPTS_UNITS", "bogus", "KOPTS_UNITS=bogus: not \"nonmetric\" or \"metric\""},
        {"KOPTS_UNITS", "metric", ""},
        {"KBASE_ROOT", missing, "KBASE_ROOT=" + missing + ": no such folder"},
        {"KBASE_DIR_5", F(L"c.txt"), "KBASE_DIR_5=" + F(L"c.txt") + ": not a folder"},
        {"KBASE_DIR_5", Path(m_tmp.path()), ""},
    };
    for (const Env& e : table) {
        SCOPED_TRACE(std::string(e.name) + "=" + e.value);
        kuttest::SetEnv(e.name, e.value.c_str());
        const std::vector<std::vector<std::string>> commands = {{"--data", m_data, "units", "length", "M", "MM"},
                                                                {"msg", "dump", F(L"L.dll"), F(L"d.txt")},
                                                                {"img", "list", "--file", F(L"keep.img")}};
        for (const auto& command : commands) {
            const std::string program = testing::PrintToString(command);
            std::string err;
            EXPECT_EQ(Exec("kut", command, &err), 0) << program << ": " << err;
            if (e.warning.empty()) {
                EXPECT_EQ(err, "") << program;
            } else {
                EXPECT_EQ(err.find("kut: warning: " + e.warning), 0u) << err;
                EXPECT_EQ(err.find(e.name, err.find('\n')), std::string::npos) << "once: " << err;
            }
        }
        kuttest::SetEnv(e.name, nullptr);
    }
}

}  // namespace

#endif
