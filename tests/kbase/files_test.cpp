// The file services and name stacks of the kbase stand-in, on real files in
// temporary folders.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cwchar>
#include <ctime>
#include <string>
#include <vector>

#include "kbase/kbase.h"
#include "testutil.h"
#if defined(KUT_TESTING)
#include "kbase/testing.h"
#endif

using kuttest::kSep;
using Names = std::vector<std::wstring>;

// Runs `call` with `status` preset to 99 and checks its result and status.
#define EXPECT_RESULT_STATUS(call, result, wantStatus) \
    do { status = 99; EXPECT_EQ(call, result) << #call; EXPECT_EQ(status, wantStatus) << #call; } while (0)

namespace {

TEST(KbaseFiles, OpenIsBinaryAndFailuresAreReported) {
    kuttest::TempDir t;
    const std::wstring f = t.file(L"a.txt"), missing = t.file(L"missing");
    FILE* s = REP_FOpen(f.c_str(), L"wt");
    ASSERT_NE(s, nullptr);
    std::fputs("a\nb\n", s);
    EXPECT_EQ(REP_FClose(&s), 0);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(REP_FClose(&s), 0);          // a null stream is nothing to close
    EXPECT_EQ(SYS_FileLen(f.c_str()), 4);  // binary although "t" was asked
    EXPECT_TRUE(!REP_FOpen(missing.c_str(), L"rb") && !REP_FOpen(nullptr, L"rb"));
    EXPECT_TRUE(SYS_FileLen(missing.c_str()) == -1 && SYS_FileLen(t.path().c_str()) == -1);  // nor a folder
    // Access modes: the stat mode, 0 for nothing; mode 0 means "no such path" and is never set.
    EXPECT_EQ(SYS_FileAccess(missing.c_str()), 0);
    EXPECT_EQ(SYS_FileMode(missing.c_str(), 0100644), -1);
#if !defined(_WIN32)
    ASSERT_EQ(SYS_FileMode(f.c_str(), 0100640), 0);
    EXPECT_EQ(SYS_FileAccess(f.c_str()), 0100640);
    EXPECT_EQ(SYS_FileAccess(t.path().c_str()) & 0170000, 0040000);
#endif
    const unsigned short before = SYS_FileAccess(f.c_str());
    EXPECT_TRUE(SYS_FileMode(f.c_str(), 0) == -1 && SYS_FileAccess(f.c_str()) == before);
    EXPECT_EQ(REP_FDel(f.c_str()), 0);
    EXPECT_FALSE(kuttest::Exists(f));
    EXPECT_TRUE(REP_FDel(f.c_str()) == -1 && REP_FDel(t.path().c_str()) == -1);  // never a folder
    EXPECT_TRUE(kuttest::Exists(t.path()));
}

TEST(KbaseFiles, DosDateRoundTripsInLocalTimeToTwoSeconds) {
    kuttest::TempDir t;
    const std::wstring f = t.file(L"d.bin");
    ASSERT_TRUE(kuttest::WriteFile(f, "x"));
    // 2019-07-14 13:45:37 local: the seconds are kept halved, 37 -> 36.
    const unsigned short date = (39 << 9) | (7 << 5) | 14, time = (13 << 11) | (45 << 5) | 18;
    ASSERT_EQ(SYS_FileDateSet(f.c_str(), date, time), 0);
    unsigned short d = 0, tm = 0;
    ASSERT_EQ(SYS_FileDateGet(f.c_str(), &d, &tm), 0);
    EXPECT_TRUE(d == date && tm == time) << d << " " << tm;
    // The words describe local time: the file's clock is that instant.
    struct stat st {};
    ASSERT_EQ(::stat(kuttest::Narrow(f).c_str(), &st), 0);
    const std::time_t mtime = st.st_mtime;
    const std::tm* l = std::localtime(&mtime);
    EXPECT_TRUE(l->tm_year == 119 && l->tm_mon == 6 && l->tm_mday == 14 && l->tm_hour == 13 && l->tm_min == 45 &&
                l->tm_sec == 36);
    EXPECT_EQ(SYS_FileDateGet(t.file(L"missing").c_str(), &d, &tm), -1);
    EXPECT_TRUE(d == 0 && tm == 0);
}

TEST(KbaseFiles, SplitGivesFourPartsAndMergeJoinsThemWithinTheBuffer) {
    const std::wstring s(1, kSep);
    const std::wstring cases[][4] = {  // path, directory, name, extension
        {s + L"d" + s + L"sub" + s + L"report.v2.txt", s + L"d" + s + L"sub" + s, L"report.v2", L".txt"},
        {L"x" + s + L".profile", L"x" + s, L".profile", L""},
        {std::wstring(400, L'n'), L"", std::wstring(259, L'n'), L""},  // cut to what a 260 buffer holds
    };
    for (const auto& c : cases) {
        wchar_t *drive, *dir, *name, *ext;
        SYS_FileSplit(c[0].c_str(), &drive, &dir, &name, &ext);
        EXPECT_TRUE(*drive == L'\0' && dir == c[1] && name == c[2] && ext == c[3]) << kuttest::Narrow(c[0]);
    }
    // 259 characters fit, 260 do not: the output is then empty, never cut.
    wchar_t out[260];
    for (std::size_t n : {4, 5, 6}) {
        const std::wstring dir(250, L'd'), name(n, L'n');
        EXPECT_EQ(SYS_FileMerge(out, L"", dir.c_str(), name.c_str(), L".ee"), n < 6 ? 0 : -1);
        EXPECT_EQ(std::wstring(out), n < 6 ? dir + s + name + L".ee" : L"") << n;
    }
}

TEST(KbaseFiles, FindMatchesWildcardsByKindInOrderWithoutDots) {
    kuttest::TempDir t;
    for (const wchar_t* f : {L"b.txt", L"a.txt", L"ab.dat", L"noext", L"c.txt.bak"})
        ASSERT_TRUE(kuttest::WriteFile(t.file(f), "x"));
    kuttest::MakeDir(t.file(L"sub1"));
    kuttest::MakeDir(t.file(L"sub.d"));
    const std::wstring dir = t.path() + kSep;
    auto find = [](const std::wstring& search, short attrib) {
        Names names;
        wchar_t name[260];
        for (const wchar_t* s = search.c_str(); SYS_FileFind(s, name, attrib) == 0; s = nullptr) names.push_back(name);
        return names;
    };
    const Names files = {L"a.txt", L"ab.dat", L"b.txt", L"c.txt.bak", L"noext"};
    // "*.*" keeps its Windows meaning: every name, with a dot or not.
    const struct { const wchar_t* pattern; short attrib; Names found; } cases[] = {
        {L"*", 1, files}, {L"*.*", 1, files}, {L"*", 2, {L"sub.d", L"sub1"}}, {L"??", 1, {}},
        {L"*", 3, {L"a.txt", L"ab.dat", L"b.txt", L"c.txt.bak", L"noext", L"sub.d", L"sub1"}},
        {L"*.txt", 1, {L"a.txt", L"b.txt"}}, {L"?.txt", 1, {L"a.txt", L"b.txt"}}, {L"a*", 1, {L"a.txt", L"ab.dat"}},
        {L"*t*t*", 1, {L"a.txt", L"b.txt", L"c.txt.bak"}}, {L"*t*t", 1, {L"a.txt", L"b.txt"}},
        {L"*x*", 1, {L"a.txt", L"b.txt", L"c.txt.bak", L"noext"}},
    };
    for (const auto& c : cases) EXPECT_EQ(find(dir + c.pattern, c.attrib), c.found) << kuttest::Narrow(c.pattern);
    EXPECT_TRUE(find(t.file(L"missing") + kSep + L"*", 3).empty());
    wchar_t name[260];
    EXPECT_EQ(SYS_FileFind(nullptr, name, 1), -1) << "a continuation after the end";
}

// The producer makes the names n0, n1, ... with the answers given (-1 after
// the last); the visitor records the names it is shown and replies in turn;
// FreeName counts the names it frees.
struct StackRun {
    std::vector<int> answers = {}, replies = {};
    std::size_t produced = 0;
    wchar_t* current = nullptr;
    Names seen = {};
    int freed = 0;
};
StackRun g_run;
int Produce(void** slot, void*) {
    if (g_run.produced >= g_run.answers.size()) return -1;
    int status = 0;
    g_run.current = _WORD_Dup(&status, (L"n" + std::to_wstring(g_run.produced)).c_str());
    *slot = &g_run.current;
    return g_run.answers[g_run.produced++];
}
int Visit(void* element, void*) {
    g_run.seen.emplace_back(*static_cast<wchar_t**>(element));
    return g_run.replies[g_run.seen.size() - 1];
}
void FreeName(void* element) {
    int status = 0;
    _WORD_Free(&status, element);
    EXPECT_EQ(*static_cast<wchar_t**>(element), nullptr);
    ++g_run.freed;
}

TEST(KbaseStack, MakeStoresEveryAnswerButMinusOneAndScanReportsTheFirstFailure) {
    int status = -7;
    KSTACK* s = _STACK_Open(&status, 32, static_cast<int>(sizeof(wchar_t*)));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(status, 0);
    g_run = StackRun{};  // 40 names, more than the initial room; answers other than -1 are not refusals
    for (int i = 0; i < 40; ++i) g_run.answers.push_back(i % 3 == 0 ? 3 : 0);
    EXPECT_RESULT_STATUS(_STACK_Make(&status, s, Produce, nullptr), 0, 0);
    ASSERT_EQ(_STACK_Count(s), 40);
    for (int failure : {7, 0}) {
        g_run.seen.clear();
        g_run.replies.assign(40, 0);
        g_run.replies[5] = failure;
        g_run.replies[9] = failure * 2;  // the first failure is the answer
        EXPECT_RESULT_STATUS(_STACK_Scan(&status, s, Visit, nullptr, nullptr), failure, failure ? 255 : 0);
        ASSERT_EQ(g_run.seen.size(), 40u);  // the scan goes on after a failure
        EXPECT_TRUE(g_run.seen[0] == L"n0" && g_run.seen[39] == L"n39");
    }
    EXPECT_RESULT_STATUS(_STACK_Del(&status, s, FreeName), 0, 0);
    EXPECT_EQ(g_run.freed, 40);
    EXPECT_RESULT_STATUS(_STACK_Del(&status, nullptr, FreeName), 0, 0);
    EXPECT_RESULT_STATUS(_STACK_Open(&status, 32, 0), nullptr, 255);
    EXPECT_RESULT_STATUS(_STACK_Make(&status, nullptr, Produce, nullptr), 255, 255);
    EXPECT_RESULT_STATUS(_STACK_Scan(&status, nullptr, Visit, nullptr, nullptr), 255, 255);
    EXPECT_RESULT_STATUS(_WORD_Dup(&status, nullptr), nullptr, 255);
}

#if defined(KUT_TESTING)
KBASE_SYSCALLS g_real;
long g_allocsLeft = -1;  // allocations are refused once this reaches 0; -1: never
bool Refuse() { return g_allocsLeft == 0 || (g_allocsLeft > 0 && --g_allocsLeft == 0); }
void* FailingAlloc(size_t n) { return Refuse() ? nullptr : g_real.alloc(n); }
void* FailingRealloc(void* p, size_t n) { return Refuse() ? nullptr : g_real.realloc(p, n); }

// Refuse allocations from the N-th on, for N = 1, 2, ... until a stack of 50
// names is made: whatever fails (the stack, its room, a name's copy) is
// reported, and every name produced is stored, so that deleting the stack
// frees each one (ASan would see a lost one).
TEST(KbaseStack, NoElementIsLostWhenMemoryRunsOut) {
    KBASE_TestGetSyscalls(&g_real);
    KBASE_SYSCALLS seam = g_real;
    seam.alloc = FailingAlloc;
    seam.realloc = FailingRealloc;
    KBASE_TestSetSyscalls(&seam);
    int status = 0, r = 255;
    for (long n = 1; n < 200 && r != 0; ++n) {
        g_run = StackRun{std::vector<int>(50, 0)};
        g_allocsLeft = n;
        KSTACK* s = _STACK_Open(&status, 2, static_cast<int>(sizeof(wchar_t*)));
        r = s ? _STACK_Make(&status, s, Produce, nullptr) : 255;
        EXPECT_EQ(status, r);
        EXPECT_EQ(_STACK_Count(s), static_cast<int>(g_run.produced));  // a failed copy is stored as null
        EXPECT_TRUE(r != 0 || g_run.produced == 50u);
        _STACK_Del(&status, s, FreeName);
        EXPECT_EQ(g_run.freed, static_cast<int>(g_run.produced));
    }
    g_allocsLeft = -1;
    KBASE_TestSetSyscalls(nullptr);
    EXPECT_EQ(r, 0);
}
#endif

}  // namespace
