// Runs leave no temporary folders behind unless KUT_KEEP_TMP=1 asks for
// them: the demo's folder and the tests' own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <tuple>

#include "testutil.h"
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace {

namespace fs = std::filesystem;

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
    // KUT_KEEP_TMP, what the demo says, the entries it leaves
    const std::tuple<const char*, const char*, long> rows[] = {
        {nullptr, "files removed", 0}, {"0", "files removed", 0}, {"1", "files kept in ", 1}};
    for (const auto& [keep, says, left] : rows) {
        SCOPED_TRACE(keep ? keep : "unset");
        kuttest::SetEnv("KUT_KEEP_TMP", keep);
#if defined(_WIN32)
        const int rc = std::system(("\"" + cmd + "\"").c_str());
#else
        const int status = std::system(cmd.c_str());
        const int rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
        kuttest::SetEnv("KUT_KEEP_TMP", nullptr);
        const std::string text = kuttest::Read(out.file(L"out"));
        EXPECT_EQ(rc, 0) << text;
        EXPECT_NE(text.find(says), std::string::npos) << text;
        EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(tmp.path())), {}), left);
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
