// The stand-in's two path syntaxes, each checked on every system, and its
// calls to the system going through the call table (kbase/testing.h).
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "kbase/kbase.h"
#include "kbase/testing.h"
#include "testutil.h"

#if defined(KUT_TESTING)

namespace {

using Names = std::vector<std::wstring>;

#if defined(_WIN32)
constexpr int kNativeIs = KBASE_PATHS_WINDOWS;
#else
constexpr int kNativeIs = KBASE_PATHS_POSIX;
#endif

const char* StyleName(int style) {
    return style == KBASE_PATHS_NATIVE ? "native" : style == KBASE_PATHS_WINDOWS ? "windows" : "posix";
}

// What a fake system answers: the folders listed, the names a listing gives,
// the current folder (empty: none), the stat answers by file name.
KBASE_SYSCALLS g_real;
Names g_listed;
Names g_entries;
std::wstring g_cwd;
struct Stat {
    std::wstring name;
    unsigned short mode;
};
std::vector<Stat> g_stats;
std::vector<std::wstring> g_opened;

int FakeList(const wchar_t* dir, KBASE_LIST_SINK sink, void* ctx) {
    g_listed.emplace_back(dir);
    for (const std::wstring& e : g_entries) sink(ctx, e.c_str(), e == L"sub");
    return 0;
}

int FakeCwd(wchar_t* out, size_t cap) {
    if (g_cwd.empty() || g_cwd.size() >= cap) return -1;
    std::wcscpy(out, g_cwd.c_str());
    return 0;
}

int FakeStat(const wchar_t* path, KBASE_STAT* out) {
    const std::wstring p = path;
    for (const Stat& s : g_stats) {
        const std::wstring& name = s.name;
        if (p.size() >= name.size() && p.compare(p.size() - name.size(), name.size(), name) == 0) {
            *out = KBASE_STAT{0, 0, s.mode, (s.mode & 0xF000) == 0x4000};
            return 0;
        }
    }
    return -1;
}

FILE* RefusingOpen(const wchar_t* path, const char* mode) {
    g_opened.push_back(std::wstring(path) + L" " + kuttest::Widen(mode));
    return nullptr;
}

class PathStyle : public ::testing::Test {
protected:
    void SetUp() override {
        KBASE_TestGetSyscalls(&g_real);
        g_listed.clear(), g_entries.clear(), g_cwd.clear(), g_stats.clear(), g_opened.clear();
    }
    void TearDown() override {
        KBASE_TestSetSyscalls(nullptr);
        KBASE_TestSetPathStyle(KBASE_PATHS_NATIVE);
    }
    // The table with some members replaced.
    void Install(void (*change)(KBASE_SYSCALLS*)) {
        KBASE_SYSCALLS s = g_real;
        change(&s);
        KBASE_TestSetSyscalls(&s);
    }
};

// Each style's rows, and the native style's rows once more under its
// default selection.
std::vector<int> StylesFor(int style) {
    return style == kNativeIs ? std::vector<int>{style, KBASE_PATHS_NATIVE} : std::vector<int>{style};
}

TEST_F(PathStyle, EndsOfPathReadEverySeparatorOfTheStyleAndWriteItsOwn) {
    // style, operation ('+' add, '-' cut), path, result
    const struct {
        int style;
        char op;
        const wchar_t* path;
        const wchar_t* want;
    } rows[] = {
        {KBASE_PATHS_WINDOWS, '+', L"a\\b", L"a\\b\\"},
        {KBASE_PATHS_WINDOWS, '+', L"a/b", L"a/b\\"},
        {KBASE_PATHS_WINDOWS, '+', L"a/b/", L"a/b/"},  // a slash is an end already
        {KBASE_PATHS_WINDOWS, '+', L"a\\b\\", L"a\\b\\"},
        {KBASE_PATHS_WINDOWS, '+', L"C:", L"C:\\"},
        {KBASE_PATHS_WINDOWS, '-', L"a\\b\\", L"a\\b"},
        {KBASE_PATHS_WINDOWS, '-', L"a/b/", L"a/b"},
        {KBASE_PATHS_WINDOWS, '-', L"a\\b\\/", L"a\\b\\"},  // one only
        {KBASE_PATHS_WINDOWS, '-', L"C:\\a\\", L"C:\\a"},
        {KBASE_PATHS_WINDOWS, '-', L"C:\\", L"C:\\"},  // roots stay
        {KBASE_PATHS_WINDOWS, '-', L"C:/", L"C:/"},
        {KBASE_PATHS_WINDOWS, '-', L"\\", L"\\"},
        {KBASE_PATHS_WINDOWS, '-', L"/", L"/"},
        {KBASE_PATHS_POSIX, '+', L"a/b", L"a/b/"},
        {KBASE_PATHS_POSIX, '+', L"a/b/", L"a/b/"},
        {KBASE_PATHS_POSIX, '+', L"a\\b\\", L"a\\b\\/"},  // a backslash is part of a name
        {KBASE_PATHS_POSIX, '-', L"a/b/", L"a/b"},
        {KBASE_PATHS_POSIX, '-', L"a/b//", L"a/b/"},
        {KBASE_PATHS_POSIX, '-', L"a\\b\\", L"a\\b\\"},
        {KBASE_PATHS_POSIX, '-', L"/", L"/"},
    };
    for (const auto& r : rows) {
        for (int style : StylesFor(r.style)) {
            SCOPED_TRACE(testing::Message() << StyleName(style) << " " << r.op << " " << kuttest::Narrow(r.path));
            KBASE_TestSetPathStyle(style);
            wchar_t p[260];
            std::wcscpy(p, r.path);
            (r.op == '+' ? REP_AddEndOfPath : REP_CutEndOfPath)(p);
            EXPECT_EQ(std::wstring(p), r.want);
        }
    }
}

TEST_F(PathStyle, SplitFindsDrivesOnlyInTheWindowsStyleAndMergeWritesItsSeparator) {
    // style, path, drive, directory, name, extension
    const struct {
        int style;
        const wchar_t* parts[5];
    } splits[] = {
        {KBASE_PATHS_WINDOWS, {L"C:\\d\\report.v2.txt", L"C:", L"\\d\\", L"report.v2", L".txt"}},
        {KBASE_PATHS_WINDOWS, {L"c:name.txt", L"c:", L"", L"name", L".txt"}},
        {KBASE_PATHS_WINDOWS, {L"d/e\\f.x", L"", L"d/e\\", L"f", L".x"}},
        {KBASE_PATHS_WINDOWS, {L"C:", L"C:", L"", L"", L""}},
        {KBASE_PATHS_POSIX, {L"C:\\d\\f.txt", L"", L"", L"C:\\d\\f", L".txt"}},
        {KBASE_PATHS_POSIX, {L"C:/d/f.txt", L"", L"C:/d/", L"f", L".txt"}},
    };
    for (const auto& r : splits) {
        for (int style : StylesFor(r.style)) {
            SCOPED_TRACE(testing::Message() << StyleName(style) << " " << kuttest::Narrow(r.parts[0]));
            KBASE_TestSetPathStyle(style);
            wchar_t *drive, *dir, *name, *ext;
            SYS_FileSplit(r.parts[0], &drive, &dir, &name, &ext);
            EXPECT_EQ(std::wstring(drive), r.parts[1]);
            EXPECT_EQ(std::wstring(dir), r.parts[2]);
            EXPECT_EQ(std::wstring(name), r.parts[3]);
            EXPECT_EQ(std::wstring(ext), r.parts[4]);
        }
    }
    // style, drive, directory, name, extension, merged
    const struct {
        int style;
        const wchar_t* parts[5];
        const wchar_t* want;
    } merges[] = {
        {KBASE_PATHS_WINDOWS, {L"C:", L"\\d", L"f", L"txt"}, L"C:\\d\\f.txt"},
        {KBASE_PATHS_WINDOWS, {L"", L"d/", L"f", L".x"}, L"d/f.x"},
        {KBASE_PATHS_WINDOWS, {L"", L"d\\", L"f", L""}, L"d\\f"},
        {KBASE_PATHS_POSIX, {L"", L"d", L"f", L"x"}, L"d/f.x"},
        {KBASE_PATHS_POSIX, {L"", L"d\\", L"f", L"x"}, L"d\\/f.x"},
    };
    for (const auto& r : merges) {
        for (int style : StylesFor(r.style)) {
            SCOPED_TRACE(testing::Message() << StyleName(style) << " " << kuttest::Narrow(r.want));
            KBASE_TestSetPathStyle(style);
            wchar_t out[260] = L"x";
            EXPECT_EQ(SYS_FileMerge(out, r.parts[0], r.parts[1], r.parts[2], r.parts[3]), 0);
            EXPECT_EQ(std::wstring(out), r.want);
        }
    }
}

// The listing comes from the table: which folder is listed and which names
// match depend on the syntax alone.
TEST_F(PathStyle, FindFoldsCaseAndReadsDrivesOnlyInTheWindowsStyle) {
    Install([](KBASE_SYSCALLS* s) { s->list = FakeList; });
    g_entries = {L"b.txt", L"Readme.TXT", L"A.Txt", L"a.dat", L"sub"};
    // style, search, folder listed, files found
    const struct {
        int style;
        const wchar_t* search;
        const wchar_t* listed;
        Names found;
    } rows[] = {
        {KBASE_PATHS_WINDOWS, L"*.txt", L".", {L"A.Txt", L"Readme.TXT", L"b.txt"}},
        {KBASE_PATHS_WINDOWS, L"A.*", L".", {L"A.Txt", L"a.dat"}},
        {KBASE_PATHS_WINDOWS, L"README.t?t", L".", {L"Readme.TXT"}},
        {KBASE_PATHS_WINDOWS, L"C:*.TXT", L"C:", {L"A.Txt", L"Readme.TXT", L"b.txt"}},
        {KBASE_PATHS_WINDOWS, L"C:\\x\\a*", L"C:\\x", {L"A.Txt", L"a.dat"}},
        {KBASE_PATHS_WINDOWS, L"C:/x/b*", L"C:/x", {L"b.txt"}},
        {KBASE_PATHS_WINDOWS, L"C:\\*.dat", L"C:\\", {L"a.dat"}},
        {KBASE_PATHS_WINDOWS, L"\\*.dat", L"\\", {L"a.dat"}},
        {KBASE_PATHS_POSIX, L"*.txt", L".", {L"b.txt"}},
        {KBASE_PATHS_POSIX, L"A.*", L".", {L"A.Txt"}},
        {KBASE_PATHS_POSIX, L"C:*.txt", L".", {}},
        {KBASE_PATHS_POSIX, L"d\\*.txt", L".", {}},
        {KBASE_PATHS_POSIX, L"/x/*.TXT", L"/x", {L"Readme.TXT"}},
        {KBASE_PATHS_POSIX, L"/*.dat", L"/", {L"a.dat"}},
    };
    for (const auto& r : rows) {
        for (int style : StylesFor(r.style)) {
            SCOPED_TRACE(testing::Message() << StyleName(style) << " " << kuttest::Narrow(r.search));
            KBASE_TestSetPathStyle(style);
            g_listed.clear();
            Names found;
            wchar_t name[260];
            for (const wchar_t* s = r.search; SYS_FileFind(s, name, 1) == 0; s = nullptr) found.push_back(name);
            EXPECT_EQ(found, r.found);
            EXPECT_EQ(g_listed, Names{r.listed});
        }
    }
}

TEST_F(PathStyle, FoldersEndWithTheStylesSeparatorUnlessTheyEndWithOne) {
    const struct {
        int style;
        const wchar_t* folder;
        const wchar_t* want;
    } rows[] = {
        {KBASE_PATHS_WINDOWS, L"C:/data", L"C:/data\\x.dll"},     {KBASE_PATHS_WINDOWS, L"C:/data/", L"C:/data/x.dll"},
        {KBASE_PATHS_WINDOWS, L"C:\\data\\", L"C:\\data\\x.dll"}, {KBASE_PATHS_POSIX, L"/data", L"/data/x.dll"},
        {KBASE_PATHS_POSIX, L"/data/", L"/data/x.dll"},           {KBASE_PATHS_POSIX, L"data\\", L"data\\/x.dll"},
    };
    for (const auto& r : rows) {
        for (int style : StylesFor(r.style)) {
            SCOPED_TRACE(testing::Message() << StyleName(style) << " " << kuttest::Narrow(r.folder));
            KBASE_TestSetPathStyle(style);
            REP_SetRepert(2, r.folder);
            wchar_t out[260] = L"?";
            EXPECT_EQ(REP_Repert(0, 2, L"x.dll", out), 0);
            EXPECT_EQ(std::wstring(out), r.want);
        }
    }
    REP_SetRepert(2, nullptr);
}

// The current folder, the stat of a configuration file and the opening of a
// saved canvas are the system's answers from the table, as a test sets them.
TEST_F(PathStyle, CurrentFolderStatAndCanvasFileComeFromTheTable) {
    Install([](KBASE_SYSCALLS* s) { s->cwd = FakeCwd, s->stat = FakeStat, s->open = RefusingOpen; });
    kuttest::SetEnv("KBASE_ROOT", nullptr);
    kuttest::SetEnv("KBASE_DIR_3", nullptr);
    REP_SetRepert(3, nullptr);
    const std::wstring sep(1, kuttest::kSep);
    wchar_t out[260];
    g_cwd = L"/fake" + sep + L"cwd";
    EXPECT_EQ(REP_Repert(0, 3, L"n", out), 0);
    EXPECT_EQ(std::wstring(out), g_cwd + sep + L"n");
    g_cwd.clear();  // no current folder: the relative one
    EXPECT_EQ(REP_Repert(0, 3, L"n", out), 0);
    EXPECT_EQ(std::wstring(out), L"." + sep + L"n");

    // Only a regular file is a configuration file; the first folder searched
    // that holds one wins.
    REP_SetRepert(1, L"cfg");
    REP_SetRepert(2, L"lang");
    // A folder, a pipe and regular files, by the type bits of their modes.
    g_stats = {
        {L"cfg" + sep + L"dir.cfg", 0x41ED}, {L"fifo.cfg", 0x11A4}, {L"reg.cfg", 0x81A4}, {L"lang" + sep + L"dir.cfg", 0x81A4}};
    const struct {
        const wchar_t* name;
        short found;
        std::wstring path;
    } rows[] = {
        {L"reg.cfg", 1, L"cfg" + sep + L"reg.cfg"},
        {L"fifo.cfg", 0, L""},
        {L"dir.cfg", 1, L"lang" + sep + L"dir.cfg"},
        {L"none.cfg", 0, L""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(kuttest::Narrow(r.name));
        wchar_t path[260] = L"?";
        short found = 7;
        EXPECT_EQ(REP_ChkCfg(270, r.name, path, &found), r.found);
        EXPECT_EQ(found, r.found);
        EXPECT_EQ(std::wstring(path), r.path);
    }
    REP_SetRepert(1, nullptr);
    REP_SetRepert(2, nullptr);

    ASSERT_EQ(GRAF_CanvasSize(2, 2), 0);
    EXPECT_EQ(GRAF_CanvasSave(L"canvas.bmp"), -1);
    EXPECT_EQ(g_opened, Names{L"canvas.bmp wb"});
}

}  // namespace

#endif
