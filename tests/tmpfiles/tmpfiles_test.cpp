// Runs leave no temporary folders behind unless KUT_KEEP_TMP=1 asks for
// them: the demo's folder and the tests' own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "testutil.h"
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace {

namespace fs = std::filesystem;

int Entries(const std::wstring& dir) {
    int n = 0;
    for (auto it = fs::directory_iterator(fs::path(dir)); it != fs::directory_iterator(); ++it) ++n;
    return n;
}

#if defined(KUT_CLI_PATH) || defined(_WIN32)
TEST(TmpFiles, DemoRemovesItsFolderUnlessAskedToKeepIt) {
    kuttest::TempDir tmp, out;
    // The demo's folder goes under the system's temporary folder: this test's.
    for (const char* v : {"TMPDIR", "TMP", "TEMP"}) kuttest::SetEnv(v, tmp.narrow().c_str());
    for (const char* v : {"KBASE_ROOT", "KBASE_DIR_1", "KBASE_DIR_2", "KBASE_DIR_5", "KBASE_DIR_9", "KOPTS_LANGUAGE"})
        kuttest::SetEnv(v, nullptr);
#if defined(_WIN32)
    const std::string exe = "\"" + kuttest::Narrow(kuttest::BinaryDir()) + "\\bin\\kut.exe\"";
#else
    const std::string exe = "\"" KUT_CLI_PATH "\"";
#endif
    const std::string cmd = exe + " demo >\"" + kuttest::Narrow(out.file(L"out")) + "\"";
    struct Row {
        const char* keep;
        int left;
        const char* says;
    };
    for (const Row& r : {Row{nullptr, 0, "files removed"}, Row{"0", 0, "files removed"}, Row{"1", 1, "files kept in "}}) {
        SCOPED_TRACE(r.keep ? r.keep : "unset");
        kuttest::SetEnv("KUT_KEEP_TMP", r.keep);
#if defined(_WIN32)
        const int rc = std::system(("\"" + cmd + "\"").c_str());
#else
        const int status = std::system(cmd.c_str());
        const int rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
        kuttest::SetEnv("KUT_KEEP_TMP", nullptr);
        std::string text;
        kuttest::ReadFile(out.file(L"out"), &text);
        EXPECT_EQ(rc, 0) << text;
        EXPECT_NE(text.find(r.says), std::string::npos) << text;
        EXPECT_EQ(Entries(tmp.path()), r.left);
    }
}
#endif

TEST(TmpFiles, TestFoldersStayOnlyWhenAskedFor) {
    std::wstring kept, removed;
    {
        kuttest::TempDir t;
        removed = t.path();
        kuttest::WriteFile(t.file(L"f"), "x");
    }
    kuttest::SetEnv("KUT_KEEP_TMP", "1");
    {
        kuttest::TempDir t;
        kept = t.path();
    }
    kuttest::SetEnv("KUT_KEEP_TMP", nullptr);
    EXPECT_FALSE(kuttest::Exists(removed));
    EXPECT_TRUE(kuttest::Exists(kept));
    kuttest::RemoveTree(kept);  // the folder this test made
}

}  // namespace
