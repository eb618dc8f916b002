// What the tree commands refuse to remove or copy into. Only the guard
// functions run here: no row removes or copies anything, so a broken guard
// fails a check and touches nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testutil.h"

#if __has_include("tree_guard.h")  // kuttools, left out with the tools
#include "native.h"
#include "tree_guard.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

using kuttest::kSep;

namespace {

// A removal of `path` when `src` is empty, else a copy of `src` into `path`;
// `refusal` is a part of the reason, empty when allowed.
struct Row {
    std::wstring src, path;
    std::string refusal;
};

void CheckRows(const std::vector<Row>& rows) {
    for (const Row& r : rows) {
        SCOPED_TRACE(kuttest::Narrow(r.src) + " -> " + kuttest::Narrow(r.path));
        const std::string got = r.src.empty() ? kuttools::RemovalRefusal(r.path) : kuttools::CopyRefusal(r.src, r.path);
        EXPECT_EQ(r.refusal.empty(), got.empty()) << got;
        EXPECT_NE(got.find(r.refusal), std::string::npos) << got;
    }
}

// wine 8 makes links that its own calls do not show as reparse points: no link for us there.
bool MakeLink(const std::wstring& target, const std::wstring& link) {
    return kuttest::MakeLink(target, link) && kuttools::native::IsLink(link);
}

#if defined(_WIN32)
constexpr const char* kHome = "USERPROFILE";
#else
constexpr const char* kHome = "HOME";
#endif

// A temporary tree: t/work/sub is the current folder, t/home the home
// folder, t/other neither.
class Guard : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* d : {L"work", L"home", L"other"}) kuttest::MakeDir(t.file(d));
        kuttest::MakeDir(cwd);
        std::filesystem::current_path(cwd);
        kuttest::SetEnv(kHome, kuttest::Narrow(t.file(L"home")).c_str());
    }
    void TearDown() override { std::filesystem::current_path(kuttest::BinaryDir()); }  // out of the folder before it goes
    kuttest::TempDir t;
    const std::wstring s = std::wstring(1, kSep), work = t.file(L"work"), cwd = work + s + L"sub";
};

TEST_F(Guard, RootsDotsAndTheCurrentAndHomeFoldersAreNeverRemoved) {
    const std::wstring other = t.file(L"other");
    CheckRows({
        {L"", L"", "empty"},
        {L"", L".", "'.' or '..'"},
        {L"", L"nothing" + s + L"..", "'.' or '..'"},
        // The current folder and those above it, however they are spelled.
        {L"", cwd + s + s, "is the current folder"},
        {L"", L".." + s + L"sub", "is the current folder"},
        {L"", t.path(), "holds the current folder"},
        {L"", t.file(L"home") + s, "is the home folder"},
        // Ordinary folders, and paths with nothing there, may go.
        {L"", other, ""},
        {L"", other + s + L"x", ""},
    });
}

TEST_F(Guard, TheRootsOfFileSystemsAreNeverRemoved) {
#if defined(_WIN32)
    const std::wstring drive = cwd.substr(0, 2);  // "C:" or "Z:"
    CheckRows({
        {L"", drive + L"\\", "root of a file system"},
        {L"", drive + L"\\..\\..", "root of a file system"},
        {L"", drive, "bare drive"},
        {L"", L"\\\\server\\share\\.", "'.' or '..'"},
    });
    // A share that cannot be reached is nothing to remove; one that can is a root.
    std::wstring resolved;
    if (kuttools::native::FinalPath(L"\\\\localhost\\C$\\", &resolved))
        CheckRows({{L"", L"\\\\localhost\\C$\\", "root of a file system"}});
#else
    CheckRows({
        {L"", L"/", "root of a file system"},
        {L"", L"/../..", "root of a file system"},
        {L"", L"//./", "root of a file system"},
    });
    // A mounted file system's root (the process table is one wherever it is mounted).
    struct stat root {
    }, proc{};
    if (::stat("/", &root) == 0 && ::stat("/proc", &proc) == 0 && root.st_dev != proc.st_dev)
        CheckRows({{L"", L"/proc/", "root of a file system"}});
#endif
}

TEST_F(Guard, ALinkIsRemovedItselfWhateverItPointsTo) {
    const std::wstring toWork = t.file(L"to-work");
    if (!MakeLink(work, toWork) || !MakeLink(s, t.file(L"to-root"))) GTEST_SKIP() << "no links that the system reports here";
    CheckRows({
        {L"", t.file(L"to-root"), ""},
        {L"", toWork + s, ""},
        // Through the link, the folders are what they are.
        {L"", toWork + s + L"sub", "is the current folder"},
        {L"", toWork + s + L".", "'.' or '..'"},
    });
}

TEST_F(Guard, ACopyIntoItsOwnSourceIsRefusedThroughLinks) {
    const std::wstring a = t.file(L"a"), alink = t.file(L"alink");
    kuttest::MakeDir(a + s + L"b");
    CheckRows({
        {a, a, "is the source"},
        {a, a + s + s, "is the source"},
        {a, a + s + L"new" + s + L"deeper", "inside the source"},
        {a, a + s + L"b" + s + L".." + s + L"x", "inside the source"},
        {a + s + L"b", a, ""},
        {a, t.file(L"other") + s + L"new", ""},
    });
    if (MakeLink(a, alink)) {
        CheckRows({
            {a, alink + s + L"sub", "inside the source"},
            {alink, a, "is the source"},
        });
    }
}

}  // namespace

#else
TEST(Guard, NeedsTheToolsLibrary) { GTEST_SKIP() << "the tools' library was not built"; }
#endif
