// The tools' native layer: which file a path names, the system's reasons,
// outputs that replace a file only when complete, and the environment
// warnings. Every file lives in the test's own temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "environment.h"
#include "native.h"
#include "testutil.h"  // with <string> and <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
namespace native = kuttools::native;
using kuttest::kSep;

namespace {

class Native : public ::testing::Test {
protected:
    void SetUp() override {
        kuttest::MakeDir(m_dir.file(L"sub"));
        kuttest::WriteFile(m_dir.file(L"a"), "aaa");
        kuttest::WriteFile(m_dir.file(L"b"), "bbb");
    }
    std::wstring F(const std::wstring& name) const { return m_dir.file(name); }
    std::string Read(const std::wstring& name) const { return kuttest::Read(F(name)); }
    // Names in the folder, sorted: a temporary left behind shows here.
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        for (const auto& e : fs::directory_iterator(fs::path(m_dir.path()))) names.push_back(e.path().filename().wstring());
        std::sort(names.begin(), names.end());
        return names;
    }
    kuttest::TempDir m_dir;
};

TEST_F(Native, IdentityIsTheFileNotTheSpelling) {
    const std::wstring other = F(L"sub") + kSep + L".." + kSep + L"a";
    std::error_code noHardLink;
    fs::create_hard_link(fs::path(F(L"a")), fs::path(F(L"hard")), noHardLink);
    const bool hard = !noHardLink;
    bool sym = false;
#if !defined(_WIN32)
    sym = symlink("a", kuttest::Narrow(F(L"sym")).c_str()) == 0 && symlink("sub", kuttest::Narrow(F(L"dirlink")).c_str()) == 0;
#endif
    const std::tuple<std::wstring, std::wstring, bool, bool> rows[] = {
        {F(L"a"), other, true, true},          {F(L"a"), F(L"b"), false, true},
        {F(L"a"), F(L"missing"), false, true}, {F(L"sub"), m_dir.path() + kSep + L"." + kSep + L"sub", true, true},
        {F(L"a"), F(L"hard"), true, hard},     {F(L"a"), F(L"sym"), true, sym},
        {F(L"sub"), F(L"dirlink"), true, sym},
    };
    for (const auto& [x, y, same, needs] : rows) {
        SCOPED_TRACE(kuttest::Narrow(x) + " / " + kuttest::Narrow(y));
        if (needs) { EXPECT_EQ(native::SameFile(x, y), same); }
    }
    native::FileId link, target;
    EXPECT_FALSE(native::GetFileId(F(L"missing"), &link, true));
    EXPECT_FALSE(link.valid);
    EXPECT_FALSE(native::SameFile(link, link)) << "an unknown file is nobody's twin";
    if (sym) {
        // Without following, the link is a file of its own.
        ASSERT_TRUE(native::GetFileId(F(L"sym"), &link, false) && native::GetFileId(F(L"a"), &target, false));
        EXPECT_FALSE(native::SameFile(link, target));
        ASSERT_TRUE(native::GetFileId(F(L"sym"), &link, true));
        EXPECT_TRUE(native::SameFile(link, target));
    }
}

TEST_F(Native, ReasonsAreTheSystemsText) {
    native::FileId id;
    ASSERT_FALSE(native::GetFileId(F(L"missing"), &id));
    const std::string last = native::LastSystemReason();
#if defined(_WIN32)
    EXPECT_EQ(last, native::SystemReason(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(native::SystemReason(ERROR_FILE_NOT_FOUND).find("system error"), std::string::npos);
#else
    EXPECT_EQ(last, std::strerror(ENOENT));
#endif
    for (const std::string& r : {last, native::ErrnoReason(EACCES)}) {
        ASSERT_FALSE(r.empty());
        EXPECT_TRUE(r.back() != '\n' && r.back() != '\r' && r.back() != '.') << r;
    }
}

TEST_F(Native, AnOutputReplacesTheFileOnlyWhenComplete) {
    fs::permissions(fs::path(F(L"b")), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::tuple<std::wstring, native::Replace, int, std::string, std::string> rows[] = {
        {L"new", native::Replace::kAllow, 0, "", "data"},
        {L"a", native::Replace::kAllow, 0, "", "data"},
        {L"a", native::Replace::kRefuse, native::kSkippedExisting, "the file exists", "data"},
        {L"fresh", native::Replace::kRefuse, 0, "", "data"},
        {L"b", native::Replace::kAllow, 1, ": the file is read-only", "bbb"},
        {L"sub", native::Replace::kAllow, 1, ": is a directory", "<unreadable>"},
        {std::wstring(L"none") + kSep + L"x", native::Replace::kAllow, 1, "cannot write ", "<unreadable>"},
    };
    for (const auto& [name, replace, result, reason, after] : rows) {
        SCOPED_TRACE(kuttest::Narrow(name));
        if (replace == native::Replace::kRefuse && name == L"a") kuttest::WriteFile(F(L"a"), "data");
        std::string error;
        EXPECT_EQ(native::WriteFileAtomic(F(name), "data", 4, &error, replace), result) << error;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        if (name != L"sub") { EXPECT_EQ(Read(name), after); }
    }
    fs::permissions(fs::path(F(L"b")), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"a", L"b", L"fresh", L"new", L"sub"})) << "no temporary left";
}

TEST_F(Native, AnOutputNeverCommittedLeavesTheOldFile) {
    {
        native::PendingOutput out;
        std::string error;
        ASSERT_TRUE(out.Begin(F(L"a"), &error)) << error;
        EXPECT_EQ(fs::path(out.TempPath()).parent_path(), fs::path(F(L"a")).parent_path()) << "next to the destination";
        ASSERT_TRUE(out.Write("half", 4, &error)) << error;
        EXPECT_EQ(Read(L"a"), "aaa");
    }  // a run cut short: no Commit
    EXPECT_EQ(Read(L"a"), "aaa");
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"a", L"b", L"sub"}));
#if !defined(_WIN32)
    // Writing through a link replaces the target, keeps the link and the
    // target's permission bits.
    ASSERT_EQ(symlink("a", kuttest::Narrow(F(L"sym")).c_str()), 0);
    ASSERT_EQ(chmod(kuttest::Narrow(F(L"a")).c_str(), 0640), 0);
    std::string error;
    ASSERT_EQ(native::WriteFileAtomic(F(L"sym"), "new", 3, &error), 0) << error;
    struct stat st {};
    ASSERT_EQ(lstat(kuttest::Narrow(F(L"sym")).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(kuttest::Narrow(F(L"a")).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Read(L"a"), "new");
#endif
}

TEST_F(Native, OutputsAreCheckedAgainstInputsByIdentity) {
    const std::wstring other = F(L"sub") + kSep + L".." + kSep + L"a";
    const std::tuple<std::vector<std::wstring>, std::vector<std::wstring>, std::string> rows[] = {
        {{F(L"a")}, {F(L"b")}, ""},
        {{F(L"a")}, {F(L"new")}, ""},
        {{F(L"missing")}, {F(L"missing")}, ""},
        {{F(L"a")}, {F(L"a")}, "it is the input file"},
        {{F(L"b"), F(L"a")}, {other}, "it is the input file"},
        {{}, {F(L"a"), other}, "the same file as the output"},
    };
    for (const auto& [in, out, refusal] : rows) {
        SCOPED_TRACE(refusal);
        std::string error;
        EXPECT_EQ(native::CheckOutputs(in, out, &error), refusal.empty());
        EXPECT_NE(error.find(refusal), std::string::npos) << error;
    }
}

TEST(Environment, WarnsOnceAboutEachValueTheLibrariesIgnore) {
    kuttest::TempDir dir;
    kuttest::WriteFile(dir.file(L"f"), "");
    const std::string missing = kuttest::Narrow(dir.file(L"missing")), file = kuttest::Narrow(dir.file(L"f")),
                      here = kuttest::Narrow(dir.path());
    for (const char* v :
         {"KBASE_ROOT", "KBASE_DIR_1", "KBASE_DIR_2", "KBASE_DIR_5", "KBASE_DIR_9", "KOPTS_LANGUAGE", "KOPTS_UNITS"})
        kuttest::SetEnv(v, nullptr);
    ASSERT_EQ(kuttools::EnvironmentWarnings(), std::vector<std::string>());
    // For each variable, pairs of a value and a part of the warning (none when empty).
    const std::pair<const char*, std::vector<std::string>> rows[] = {
        {"KOPTS_LANGUAGE",
         {"abc", "not two language numbers", "2;3", "not two language numbers", "2,", "not two language numbers", "40000,1",
          "1 to 32767", "1,-2", "1 to 32767", "2,3x", "the text after the second number is ignored", " 2,3", "", "", ""}},
        {"KOPTS_UNITS",
         {"bogus", "not \"nonmetric\" or \"metric\"", "NONMETRIC", "not \"nonmetric\"", "nonmetric", "", "metric", ""}},
        {"KBASE_ROOT", {missing, "no such folder"}},
        {"KBASE_DIR_9", {file, "not a folder"}},
        {"KBASE_DIR_15", {missing, "no such folder"}},
        {"KBASE_DIR_2", {here, ""}},
    };
    for (const auto& [name, pairs] : rows) {
        for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
            const std::string &value = pairs[i], &warning = pairs[i + 1];
            SCOPED_TRACE(std::string(name) + "=" + value);
            kuttest::SetEnv(name, value.c_str());
            const std::vector<std::string> got = kuttools::EnvironmentWarnings();
            EXPECT_EQ(got.size(), warning.empty() ? 0u : 1u) << (got.empty() ? "" : got[0]);
            if (!got.empty() && !warning.empty()) {
                EXPECT_EQ(got[0].find(name + ("=" + value) + ": "), 0u) << got[0];
                EXPECT_NE(got[0].find(warning), std::string::npos) << got[0];
            }
            kuttest::SetEnv(name, nullptr);
        }
    }
}

}  // namespace
