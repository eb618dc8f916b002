// The file services and name stacks of the kbase stand-in, on real files in
// temporary folders.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "kbase/kbase.h"
#include "testutil.h"
#if defined(KUT_TESTING)
#include "kbase/testing.h"
#endif

using kuttest::kSep;

namespace {

std::vector<std::wstring> FindAll(const std::wstring& search, short attrib) {
    std::vector<std::wstring> names;
    wchar_t name[260];
    const wchar_t* s = search.c_str();
    while (SYS_FileFind(s, name, attrib) == 0) {
        names.emplace_back(name);
        s = nullptr;
    }
    return names;
}

}  // namespace

TEST(KbaseFiles, OpenIsBinaryAndDeleteAndLengthReportFailures) {
    kuttest::TempDir t;
    std::wstring f = t.file(L"a.txt");
    FILE* s = REP_FOpen(f.c_str(), L"wt");
    ASSERT_NE(s, nullptr);
    std::fputs("a\nb\n", s);
    EXPECT_EQ(REP_FClose(&s), 0);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(REP_FClose(&s), 0);  // a null stream is nothing to close
    // Binary even though "t" was asked: no line-end translation anywhere.
    EXPECT_EQ(SYS_FileLen(f.c_str()), 4);

    EXPECT_EQ(REP_FOpen(t.file(L"missing").c_str(), L"rb"), nullptr);
    EXPECT_EQ(REP_FOpen(nullptr, L"rb"), nullptr);
    EXPECT_EQ(SYS_FileLen(t.file(L"missing").c_str()), -1);
    EXPECT_EQ(SYS_FileLen(t.path().c_str()), -1);  // a directory has no length

    EXPECT_EQ(REP_FDel(f.c_str()), 0);
    EXPECT_FALSE(kuttest::Exists(f));
    EXPECT_EQ(REP_FDel(f.c_str()), -1);
    EXPECT_EQ(REP_FDel(t.path().c_str()), -1);  // never a directory
    EXPECT_TRUE(kuttest::Exists(t.path()));
}

TEST(KbaseFiles, DosDateRoundTripsInLocalTimeToTwoSeconds) {
    kuttest::TempDir t;
    std::wstring f = t.file(L"d.bin");
    ASSERT_TRUE(kuttest::WriteFile(f, "x"));
    // 2019-07-14 13:45:37 local: the seconds are kept halved, 37 -> 36.
    unsigned short date = static_cast<unsigned short>((39 << 9) | (7 << 5) | 14);
    unsigned short time = static_cast<unsigned short>((13 << 11) | (45 << 5) | 18);
    ASSERT_EQ(SYS_FileDateSet(f.c_str(), date, time), 0);
    unsigned short d2 = 0, t2 = 0;
    ASSERT_EQ(SYS_FileDateGet(f.c_str(), &d2, &t2), 0);
    EXPECT_EQ(d2, date);
    EXPECT_EQ(t2, time);

    std::tm tm {};
    tm.tm_year = 119;
    tm.tm_mon = 6;
    tm.tm_mday = 14;
    tm.tm_hour = 13;
    tm.tm_min = 45;
    tm.tm_sec = 36;
    tm.tm_isdst = -1;
    std::time_t expected = std::mktime(&tm);
    // The words describe local time: the file's clock is that instant.
    struct stat st {};
    ASSERT_EQ(::stat(kuttest::Narrow(f).c_str(), &st), 0);
    EXPECT_EQ(static_cast<long long>(st.st_mtime), static_cast<long long>(expected));

    EXPECT_EQ(SYS_FileDateGet(t.file(L"missing").c_str(), &d2, &t2), -1);
    EXPECT_EQ(d2, 0);
    EXPECT_EQ(t2, 0);
}

TEST(KbaseFiles, AccessModeIsStatModeAndZeroWhenMissing) {
    kuttest::TempDir t;
    std::wstring f = t.file(L"m.bin");
    ASSERT_TRUE(kuttest::WriteFile(f, "x"));
    EXPECT_EQ(SYS_FileAccess(t.file(L"nothing").c_str()), 0);
    EXPECT_NE(SYS_FileAccess(t.path().c_str()), 0);
#if !defined(_WIN32)
    ASSERT_EQ(SYS_FileMode(f.c_str(), 0100640), 0);
    EXPECT_EQ(SYS_FileAccess(f.c_str()), 0100640);
    EXPECT_EQ(SYS_FileAccess(t.path().c_str()) & 0170000, 0040000);
#endif
    // Mode 0 means "no such path" and is never set.
    unsigned short before = SYS_FileAccess(f.c_str());
    EXPECT_EQ(SYS_FileMode(f.c_str(), 0), -1);
    EXPECT_EQ(SYS_FileAccess(f.c_str()), before);
    EXPECT_EQ(SYS_FileMode(t.file(L"nothing").c_str(), 0100644), -1);
}

TEST(KbaseFiles, SplitGivesFourPartsAndMergeJoinsThem) {
    wchar_t *drive, *dir, *name, *ext;
    std::wstring sep(1, kSep);
    std::wstring p = sep + L"data" + sep + L"sub" + sep + L"report.v2.txt";
    SYS_FileSplit(p.c_str(), &drive, &dir, &name, &ext);
    EXPECT_STREQ(drive, L"");
    EXPECT_EQ(std::wstring(dir), sep + L"data" + sep + L"sub" + sep);
    EXPECT_STREQ(name, L"report.v2");
    EXPECT_STREQ(ext, L".txt");

    std::wstring hidden = L"x" + sep + L".profile";
    SYS_FileSplit(hidden.c_str(), &drive, &dir, &name, &ext);
    EXPECT_STREQ(name, L".profile");
    EXPECT_STREQ(ext, L"");

    SYS_FileSplit(L"plain", nullptr, &dir, &name, &ext);
    EXPECT_STREQ(dir, L"");
    EXPECT_STREQ(name, L"plain");

    wchar_t out[260];
    EXPECT_EQ(SYS_FileMerge(out, L"", (sep + L"a").c_str(), L"n", L"e"), 0);
    EXPECT_EQ(std::wstring(out), sep + L"a" + sep + L"n.e");
    EXPECT_EQ(SYS_FileMerge(out, nullptr, (sep + L"a" + sep).c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(std::wstring(out), sep + L"a" + sep);

    // 259 characters fit, 260 do not: the output is then empty, never cut.
    std::wstring d(250, L'd');
    EXPECT_EQ(SYS_FileMerge(out, L"", d.c_str(), L"nnnn", L".ee"), 0);  // 250+1+4+3 = 258
    EXPECT_EQ(std::wcslen(out), 258u);
    EXPECT_EQ(SYS_FileMerge(out, L"", d.c_str(), L"nnnnn", L".ee"), 0);
    EXPECT_EQ(std::wcslen(out), 259u);
    EXPECT_EQ(SYS_FileMerge(out, L"", d.c_str(), L"nnnnnn", L".ee"), -1);
    EXPECT_STREQ(out, L"");

    // Over-long parts are cut to what a 260 buffer holds.
    std::wstring longName(400, L'n');
    SYS_FileSplit(longName.c_str(), nullptr, nullptr, &name, nullptr);
    EXPECT_EQ(std::wcslen(name), 259u);
}

TEST(KbaseFiles, FindMatchesWildcardsByKindInOrderWithoutDots) {
    kuttest::TempDir t;
    for (const wchar_t* f : {L"b.txt", L"a.txt", L"ab.dat", L"noext", L"c.txt.bak"}) {
        ASSERT_TRUE(kuttest::WriteFile(t.file(f), "x"));
    }
    kuttest::MakeDir(t.file(L"sub1"));
    kuttest::MakeDir(t.file(L"sub.d"));
    std::wstring dir = t.path() + kSep;

    EXPECT_EQ(FindAll(dir + L"*", 1),
              (std::vector<std::wstring>{L"a.txt", L"ab.dat", L"b.txt", L"c.txt.bak", L"noext"}));
    EXPECT_EQ(FindAll(dir + L"*", 2), (std::vector<std::wstring>{L"sub.d", L"sub1"}));
    EXPECT_EQ(FindAll(dir + L"*", 3).size(), 7u);
    EXPECT_EQ(FindAll(dir + L"*.txt", 1), (std::vector<std::wstring>{L"a.txt", L"b.txt"}));
    EXPECT_EQ(FindAll(dir + L"?.txt", 1), (std::vector<std::wstring>{L"a.txt", L"b.txt"}));
    EXPECT_EQ(FindAll(dir + L"a*", 1), (std::vector<std::wstring>{L"a.txt", L"ab.dat"}));
    EXPECT_EQ(FindAll(dir + L"*t*t*", 1), (std::vector<std::wstring>{L"a.txt", L"b.txt", L"c.txt.bak"}));
    EXPECT_EQ(FindAll(dir + L"*t*t", 1), (std::vector<std::wstring>{L"a.txt", L"b.txt"}));
    EXPECT_EQ(FindAll(dir + L"*x*", 1), (std::vector<std::wstring>{L"a.txt", L"b.txt", L"c.txt.bak", L"noext"}));
    // "*.*" keeps its Windows meaning: every name, with a dot or not.
    EXPECT_EQ(FindAll(dir + L"*.*", 1).size(), 5u);
    EXPECT_TRUE(FindAll(dir + L"??", 1).empty());
    EXPECT_TRUE(FindAll(t.file(L"missing") + kSep + L"*", 3).empty());

    // After the end, a continuation keeps answering -1.
    wchar_t name[260];
    EXPECT_EQ(SYS_FileFind(nullptr, name, 1), -1);
    // A new search path abandons the one in progress.
    ASSERT_EQ(SYS_FileFind((dir + L"*.txt").c_str(), name, 1), 0);
    EXPECT_STREQ(name, L"a.txt");
    ASSERT_EQ(SYS_FileFind((dir + L"noext").c_str(), name, 1), 0);
    EXPECT_STREQ(name, L"noext");
    EXPECT_EQ(SYS_FileFind(nullptr, name, 1), -1);
}

namespace {

struct Producer {
    std::vector<int> answers;
    std::size_t next = 0;
    wchar_t* current = nullptr;
};

int Produce(void** slot, void* ctx) {
    auto* p = static_cast<Producer*>(ctx);
    if (p->next >= p->answers.size()) return -1;
    int status = 0;
    p->current = _WORD_Dup(&status, (L"n" + std::to_wstring(p->next)).c_str());
    *slot = &p->current;
    return p->answers[p->next++];
}

struct Visits {
    std::vector<std::wstring> seen;
    std::vector<int> results;
};

int Visit(void* element, void* ctx) {
    auto* v = static_cast<Visits*>(ctx);
    v->seen.emplace_back(*static_cast<wchar_t**>(element));
    return v->results[v->seen.size() - 1];
}

int g_freed = 0;
void FreeName(void* element) {
    int status = 0;
    _WORD_Free(&status, element);
    EXPECT_EQ(*static_cast<wchar_t**>(element), nullptr);
    ++g_freed;
}

}  // namespace

TEST(KbaseStack, MakeStoresEveryAnswerButMinusOneAndScanReportsFirstFailure) {
    int status = -7;
    KSTACK* s = _STACK_Open(&status, 32, static_cast<int>(sizeof(wchar_t*)));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(status, 0);
    // 40 elements: more than the initial room; odd answers are not refusals.
    Producer p;
    for (int i = 0; i < 40; ++i) p.answers.push_back(i % 3 == 0 ? 3 : 0);
    EXPECT_EQ(_STACK_Make(&status, s, Produce, &p), 0);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(_STACK_Count(s), 40);

    Visits v;
    v.results.assign(40, 0);
    v.results[5] = 7;
    v.results[9] = 9;
    EXPECT_EQ(_STACK_Scan(&status, s, Visit, nullptr, &v), 7);
    EXPECT_EQ(status, 255);
    ASSERT_EQ(v.seen.size(), 40u);  // the scan went on after the failures
    EXPECT_EQ(v.seen[0], L"n0");
    EXPECT_EQ(v.seen[39], L"n39");

    v = Visits{};
    v.results.assign(40, 0);
    EXPECT_EQ(_STACK_Scan(&status, s, Visit, nullptr, &v), 0);
    EXPECT_EQ(status, 0);

    g_freed = 0;
    EXPECT_EQ(_STACK_Del(&status, s, FreeName), 0);
    EXPECT_EQ(g_freed, 40);
    EXPECT_EQ(_STACK_Del(&status, nullptr, FreeName), 0);
    EXPECT_EQ(status, 0);
}

TEST(KbaseStack, BadArgumentsFailWithStatus255) {
    int status = 0;
    EXPECT_EQ(_STACK_Open(&status, 32, 0), nullptr);
    EXPECT_EQ(status, 255);
    status = 0;
    EXPECT_EQ(_STACK_Make(&status, nullptr, Produce, nullptr), 255);
    EXPECT_EQ(status, 255);
    status = 0;
    EXPECT_EQ(_STACK_Scan(&status, nullptr, Visit, nullptr, nullptr), 255);
    EXPECT_EQ(status, 255);
    status = 0;
    EXPECT_EQ(_WORD_Dup(&status, nullptr), nullptr);
    EXPECT_EQ(status, 255);
}

#if defined(KUT_TESTING)
namespace {

KBASE_SYSCALLS g_real;
long g_allocsLeft = -1;

void* FailingAlloc(size_t n) {
    if (g_allocsLeft == 0) return nullptr;
    if (g_allocsLeft > 0) --g_allocsLeft;
    return g_real.alloc(n);
}
void* FailingRealloc(void* p, size_t n) {
    if (g_allocsLeft == 0) return nullptr;
    if (g_allocsLeft > 0) --g_allocsLeft;
    return g_real.realloc(p, n);
}

class KbaseSeam : public ::testing::Test {
protected:
    void SetUp() override {
        KBASE_TestGetSyscalls(&g_real);
        KBASE_SYSCALLS t = g_real;
        t.alloc = FailingAlloc;
        t.realloc = FailingRealloc;
        KBASE_TestSetSyscalls(&t);
    }
    void TearDown() override {
        g_allocsLeft = -1;
        KBASE_TestSetSyscalls(nullptr);
    }
};

}  // namespace

// Fail the N-th allocation for N = 0, 1, ... until the filling completes:
// the stack is then either complete or reported failed, and every produced
// name was stored (so deleting the stack frees each one; ASan would see a
// lost one).
TEST_F(KbaseSeam, MakeNeverLosesAnElementWhenMemoryRunsOut) {
    bool completed = false;
    for (long n = 0; n < 200 && !completed; ++n) {
        g_allocsLeft = -1;
        int status = 0;
        KSTACK* s = _STACK_Open(&status, 2, static_cast<int>(sizeof(wchar_t*)));
        ASSERT_NE(s, nullptr);
        Producer p;
        p.answers.assign(50, 0);
        g_allocsLeft = n;
        int r = _STACK_Make(&status, s, Produce, &p);
        g_allocsLeft = -1;
        if (r == 0) {
            completed = true;
            EXPECT_EQ(_STACK_Count(s), 50);
        } else {
            EXPECT_EQ(status, 255);
        }
        int produced = static_cast<int>(p.next);
        // A name whose copy failed counts as produced but holds null.
        EXPECT_EQ(_STACK_Count(s), produced);
        g_freed = 0;
        _STACK_Del(&status, s, FreeName);
        EXPECT_EQ(g_freed, produced);
    }
    EXPECT_TRUE(completed);
}

TEST_F(KbaseSeam, OpenAndDupFailCleanlyWithoutMemory) {
    int status = 0;
    g_allocsLeft = 0;
    EXPECT_EQ(_STACK_Open(&status, 32, 8), nullptr);
    EXPECT_EQ(status, 255);
    g_allocsLeft = 1;  // the stack record, not its elements
    EXPECT_EQ(_STACK_Open(&status, 32, 8), nullptr);
    EXPECT_EQ(status, 255);
    g_allocsLeft = 0;
    EXPECT_EQ(_WORD_Dup(&status, L"x"), nullptr);
    EXPECT_EQ(status, 255);
}

namespace {
int g_listCalls = 0;
int FailingList(const wchar_t*, KBASE_LIST_SINK, void*) {
    ++g_listCalls;
    return -1;
}
}  // namespace

TEST_F(KbaseSeam, UnreadableDirectoryEndsTheSearchAtOnce) {
    kuttest::TempDir t;
    ASSERT_TRUE(kuttest::WriteFile(t.file(L"a"), "x"));
    KBASE_SYSCALLS s = g_real;
    s.list = FailingList;
    KBASE_TestSetSyscalls(&s);
    wchar_t name[260];
    EXPECT_EQ(SYS_FileFind((t.path() + kSep + L"*").c_str(), name, 1), -1);
    EXPECT_EQ(g_listCalls, 1);
}
#endif
