// What the tree commands refuse to remove or copy into. Only the guard
// functions run here: no row removes or copies anything, so a broken guard
// fails a check and touches nothing.
#include <gtest/gtest.h>

#include <string>

#include "testutil.h"

#if __has_include("tree_guard.h")  // kuttools, left out with the tools
#include "native.h"
#include "tree_guard.h"

#if defined(_WIN32)
#include <direct.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

using kuttest::kSep;

namespace {

struct Row {
    std::wstring path;
    std::string refusal;  // a part of the reason; empty: allowed
};

void CheckRows(const std::vector<Row>& rows) {
    for (const Row& r : rows) {
        SCOPED_TRACE(kuttest::Narrow(r.path));
        const std::string got = kuttools::RemovalRefusal(r.path);
        if (r.refusal.empty()) {
            EXPECT_EQ(got, "");
        } else {
            EXPECT_NE(got.find(r.refusal), std::string::npos) << got;
        }
    }
}

bool MakeLink(const std::wstring& target, const std::wstring& link) {
#if defined(_WIN32)
    return CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2) != 0;
#else
    return ::symlink(kuttest::Narrow(target).c_str(), kuttest::Narrow(link).c_str()) == 0;
#endif
}

// A temporary tree: t/work/sub is the current folder, t/home the home
// folder, t/other neither.
class Guard : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* d : {L"work", L"home", L"other"}) kuttest::MakeDir(t.file(d));
        kuttest::MakeDir(work() + kSep + L"sub");
#if defined(_WIN32)
        ASSERT_EQ(_wchdir(cwd().c_str()), 0);
        kuttest::SetEnv("USERPROFILE", kuttest::Narrow(t.file(L"home")).c_str());
#else
        ASSERT_EQ(::chdir(kuttest::Narrow(cwd()).c_str()), 0);
        kuttest::SetEnv("HOME", kuttest::Narrow(t.file(L"home")).c_str());
#endif
    }
    void TearDown() override {
        // Out of the folder before it goes.
#if defined(_WIN32)
        _wchdir(kuttest::BinaryDir().c_str());
#else
        if (::chdir(kuttest::Narrow(kuttest::BinaryDir()).c_str()) != 0) ADD_FAILURE() << "chdir";
#endif
    }
    std::wstring work() const { return t.file(L"work"); }
    std::wstring cwd() const { return work() + kSep + L"sub"; }
    kuttest::TempDir t;
};

TEST_F(Guard, RootsDotsAndTheCurrentAndHomeFoldersAreNeverRemoved) {
    const std::wstring s(1, kSep);
    CheckRows({
        {L"", "empty"},
        {L".", "'.' or '..'"},
        {L"..", "'.' or '..'"},
        {L"." + s, "'.' or '..'"},
        {L".." + s + s, "'.' or '..'"},
        {L"." + s + L".", "'.' or '..'"},
        {t.file(L"other") + s + L".", "'.' or '..'"},
        {t.file(L"other") + s + L"..", "'.' or '..'"},
        {L"nothing" + s + L"..", "'.' or '..'"},
        // The current folder and those above it, however they are spelled.
        {cwd(), "is the current folder"},
        {cwd() + s + s, "is the current folder"},
        {L".." + s + L"sub", "is the current folder"},
        {work(), "holds the current folder"},
        {L"..", "'.' or '..'"},
        {t.path(), "holds the current folder"},
        {work() + s + L"." + s + L"sub", "is the current folder"},
        {t.file(L"home"), "is the home folder"},
        {t.file(L"home") + s, "is the home folder"},
        // Ordinary folders, and paths with nothing there, may go.
        {t.file(L"other"), ""},
        {L"other-missing", ""},
        {t.file(L"other") + s + L"x", ""},
    });
}

TEST_F(Guard, TheRootsOfFileSystemsAreNeverRemoved) {
#if defined(_WIN32)
    std::wstring drive = cwd().substr(0, 2);  // "C:" or "Z:"
    CheckRows({
        {drive + L"\\", "root of a file system"},
        {drive + L"/", "root of a file system"},
        {drive + L"\\.", "root of a file system"},
        {drive + L"\\..", "root of a file system"},
        {drive + L"\\..\\..", "root of a file system"},
        {drive, "bare drive"},
        {L"\\\\server\\share\\.", "'.' or '..'"},
    });
    // A share that cannot be reached is nothing to remove; one that can is a root.
    std::wstring resolved;
    if (kuttools::native::FinalPath(L"\\\\localhost\\C$\\", &resolved))
        CheckRows({{L"\\\\localhost\\C$\\", "root of a file system"}});
#else
    CheckRows({
        {L"/", "root of a file system"},
        {L"//", "root of a file system"},
        {L"///", "root of a file system"},
        {L"/.", "root of a file system"},
        {L"/..", "root of a file system"},
        {L"/../..", "root of a file system"},
        {L"//./", "root of a file system"},
    });
    // A mounted file system's root (the process table is one wherever it is mounted).
    struct stat root {
    }, proc{};
    if (::stat("/", &root) == 0 && ::stat("/proc", &proc) == 0 && root.st_dev != proc.st_dev)
        CheckRows({{L"/proc", "root of a file system"}, {L"/proc/", "root of a file system"}});
#endif
}

TEST_F(Guard, ALinkIsRemovedItselfWhateverItPointsTo) {
    const std::wstring toWork = t.file(L"to-work"), toRoot = t.file(L"to-root");
    // wine 8 makes a link that its own calls do not show as a reparse point.
    if (!MakeLink(work(), toWork) || !MakeLink(std::wstring(1, kSep), toRoot) || !kuttools::native::IsLink(toWork))
        GTEST_SKIP() << "no links that the system reports here";
    CheckRows({
        {toWork, ""},
        {toRoot, ""},
        {toWork + kSep, ""},
        // Through the link, the folders are what they are.
        {toWork + kSep + L"sub", "is the current folder"},
        {toWork + kSep + L".", "'.' or '..'"},
    });
}

TEST_F(Guard, ACopyIntoItsOwnSourceIsRefusedThroughLinks) {
    const std::wstring a = t.file(L"a"), s(1, kSep);
    kuttest::MakeDir(a + s + L"b");
    struct Copy {
        std::wstring src, dst;
        std::string refusal;
    };
    std::vector<Copy> rows = {
        {a, a, "is the source"},
        {a, a + s + s, "is the source"},
        {a, a + s + L"b", "inside the source"},
        {a, a + s + L"new" + s + L"deeper", "inside the source"},
        {a + s + L"b", a, ""},
        {a, t.file(L"other"), ""},
        {a, t.file(L"other") + s + L"new", ""},
        {a, a + s + L"b" + s + L".." + s + L"x", "inside the source"},
    };
    const std::wstring alink = t.file(L"alink");
    if (MakeLink(a, alink) && kuttools::native::IsLink(alink)) {
        rows.push_back({a, alink + s + L"sub", "inside the source"});
        rows.push_back({alink, a + s + L"sub", "inside the source"});
        rows.push_back({alink, a, "is the source"});
    }
    for (const Copy& c : rows) {
        SCOPED_TRACE(kuttest::Narrow(c.src) + " -> " + kuttest::Narrow(c.dst));
        const std::string got = kuttools::CopyRefusal(c.src, c.dst);
        if (c.refusal.empty()) {
            EXPECT_EQ(got, "");
        } else {
            EXPECT_NE(got.find(c.refusal), std::string::npos) << got;
        }
    }
}

}  // namespace

#else
TEST(Guard, NeedsTheToolsLibrary) { GTEST_SKIP() << "the tools' library was not built"; }
#endif
