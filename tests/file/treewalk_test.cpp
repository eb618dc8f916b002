// Tree walks and tree operations on real directory trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kbase/kbase.h"
#include "kut/file.h"
#include "testutil.h"
#if defined(KUT_TESTING)
#include "kbase/testing.h"
#endif

using kuttest::kSep;

namespace {

// What the callbacks saw, relative to the tree's root.
struct Record {
    std::wstring root;
    std::vector<std::wstring> ops;                       // fileFn calls
    std::vector<std::pair<int, std::wstring>> handled;   // (kind, name) per handler call
    std::vector<int> errors;                             // ctx->error per handler call
    std::vector<std::wstring> refuse;                    // names answered 255 while listing
    std::vector<std::wstring> skip;                      // entries answered 1 with error 0
    int failuresLeft = 0;                                // fileFn fails while > 0
    int retries = 0;                                     // handler keeps error set this often
    int giveUpAnswer = 0;                                // handler's reply when it gives up
};
Record g;

std::wstring Rel(const wchar_t* path) {
    std::wstring p = path;
    if (p.compare(0, g.root.size(), g.root) == 0) {
        p.erase(0, g.root.size());
        if (!p.empty() && p[0] == kSep) p.erase(0, 1);
    }
    return p;
}

std::wstring J(std::initializer_list<const wchar_t*> parts) {
    std::wstring s;
    for (const wchar_t* p : parts) {
        if (!s.empty()) s += kSep;
        s += p;
    }
    return s;
}

bool Has(const std::vector<std::wstring>& v, const std::wstring& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

int RecordOp(const wchar_t* path) {
    g.ops.push_back(Rel(path));
    if (g.failuresLeft > 0) {
        --g.failuresLeft;
        return 5;
    }
    return 0;
}

int Handler(const wchar_t* name, FTW_CTX* ctx) {
    std::wstring n = (ctx->kind == 1 || ctx->kind == 2) ? std::wstring(name) : Rel(name);
    g.handled.emplace_back(ctx->kind, n);
    g.errors.push_back(ctx->error);
    if (ctx->kind == 1 || ctx->kind == 2) return Has(g.refuse, n) ? 255 : 0;
    if (ctx->error == 0) return Has(g.skip, n) ? 1 : 0;
    if (g.retries > 0) {
        --g.retries;
        return 0;  // error left set: try again
    }
    ctx->error = 0;
    return g.giveUpAnswer;
}

// root/f1.txt f2.txt a/a1.txt a/b/b1.txt c/c1.txt
void MakeTree(const std::wstring& root) {
    kuttest::MakeDir(root + kSep + J({L"a", L"b"}));
    kuttest::MakeDir(root + kSep + L"c");
    for (const wchar_t* f : {L"f1.txt", L"f2.txt"}) kuttest::WriteFile(root + kSep + f, "root");
    kuttest::WriteFile(root + kSep + J({L"a", L"a1.txt"}), "a1");
    kuttest::WriteFile(root + kSep + J({L"a", L"b", L"b1.txt"}), "b1");
    kuttest::WriteFile(root + kSep + J({L"c", L"c1.txt"}), "c1");
}

class TreeWalk : public ::testing::Test {
protected:
    void SetUp() override {
        g = Record{};
        g.root = dir.path();
        MakeTree(dir.path());
    }
    kuttest::TempDir dir;
    int status = 99;
};

}  // namespace

TEST_F(TreeWalk, TopDownDoesEntriesBeforeSubdirectories) {
    EXPECT_EQ(_FILE_Ftw(&status, dir.path().c_str(), L"*", L"*", RecordOp, Handler, -1, 1), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(g.ops, (std::vector<std::wstring>{L"f1.txt", L"f2.txt", J({L"a", L"a1.txt"}),
                                                 J({L"a", L"b", L"b1.txt"}), J({L"c", L"c1.txt"})}));
}

TEST_F(TreeWalk, BottomUpFinishesEverySubdirectoryBeforeItsParentsEntries) {
    EXPECT_EQ(_FILE_NFtw(&status, dir.path().c_str(), L"*", L"*", RecordOp, Handler, -1, 1), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(g.ops, (std::vector<std::wstring>{J({L"a", L"b", L"b1.txt"}), J({L"a", L"a1.txt"}),
                                                 J({L"c", L"c1.txt"}), L"f1.txt", L"f2.txt"}));
}

TEST_F(TreeWalk, DepthLimitsHowFarTheWalkGoes) {
    EXPECT_EQ(_FILE_Ftw(&status, dir.path().c_str(), L"*", L"*", RecordOp, Handler, 0, 1), 0);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(g.ops.empty());
    EXPECT_TRUE(g.handled.empty());

    EXPECT_EQ(_FILE_NFtw(&status, dir.path().c_str(), L"*", L"*", RecordOp, Handler, 1, 1), 0);
    EXPECT_EQ(g.ops, (std::vector<std::wstring>{L"f1.txt", L"f2.txt"}));
    g.ops.clear();
    EXPECT_EQ(_FILE_Ftw(&status, dir.path().c_str(), L"*", L"*", RecordOp, Handler, 2, 1), 0);
    EXPECT_EQ(g.ops, (std::vector<std::wstring>{L"f1.txt", L"f2.txt", J({L"a", L"a1.txt"}), J({L"c", L"c1.txt"})}));
}

TEST_F(TreeWalk, PatternsAndAttributeSelectWhatIsOperatedOn) {
    EXPECT_EQ(_FILE_Ftw(&status, dir.path().c_str(), L"a", L"*1.txt", RecordOp, Handler, -1, 1), 0);
    EXPECT_EQ(g.ops, (std::vector<std::wstring>{L"f1.txt", J({L"a", L"a1.txt"})}));
    g.ops.clear();
    EXPECT_EQ(_FILE_Ftw(&status, dir.path().c_str(), L"*", L"*", RecordOp, Handler, -1, 2), 0);
    EXPECT_EQ(g.ops, (std::vector<std::wstring>{L"a", L"c", J({L"a", L"b"})}));
}

TEST_F(TreeWalk, HandlerAnswering255LeavesNamesOutOfTheWalk) {
    g.refuse = {L"a", L"f2.txt"};
    EXPECT_EQ(_FILE_Ftw(&status, dir.path().c_str(), L"*", L"*", RecordOp, Handler, -1, 1), 0);
    EXPECT_EQ(g.ops, (std::vector<std::wstring>{L"f1.txt", J({L"c", L"c1.txt"})}));
    // The listings showed the handler the bare names, with error 0.
    EXPECT_TRUE(std::find(g.handled.begin(), g.handled.end(), std::make_pair(1, std::wstring(L"a"))) !=
                g.handled.end());
    EXPECT_TRUE(std::find(g.handled.begin(), g.handled.end(), std::make_pair(2, std::wstring(L"f2.txt"))) !=
                g.handled.end());
}

TEST_F(TreeWalk, NonzeroAnswerBeforeTheOperationSkipsTheEntry) {
    g.skip = {L"f1.txt"};
    EXPECT_EQ(_FILE_Ftw(&status, dir.path().c_str(), L"*", L"*", RecordOp, Handler, 1, 1), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(g.ops, (std::vector<std::wstring>{L"f2.txt"}));
}

TEST_F(TreeWalk, FailedOperationIsRetriedWhileTheHandlerLeavesErrorSet) {
    // Fails twice, then succeeds: the handler asked to try again both times.
    g.failuresLeft = 2;
    g.retries = 2;
    EXPECT_EQ(_FILE_Ftw(&status, dir.path().c_str(), L"*", L"f1.txt", RecordOp, Handler, 1, 1), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(g.ops, (std::vector<std::wstring>{L"f1.txt", L"f1.txt", L"f1.txt"}));
    // Per attempt: a call with error 0, then one with the failure.
    std::vector<int> expected{0, 5, 0, 5, 0};
    std::vector<int> seen;
    for (std::size_t i = 0; i < g.handled.size(); ++i) {
        if (g.handled[i].first == 4) seen.push_back(g.errors[i]);
    }
    EXPECT_EQ(seen, expected);
}

TEST_F(TreeWalk, GivingUpWithANonzeroReplyFailsTheWalkButVisitsTheRest) {
    g.failuresLeft = 1000;
    g.retries = 1;
    g.giveUpAnswer = 9;
    EXPECT_EQ(_FILE_Ftw(&status, dir.path().c_str(), L"*", L"*", RecordOp, Handler, 1, 1), 255);
    EXPECT_EQ(status, 255);
    // f1 tried twice (one retry), then f2 tried once after the retry budget.
    EXPECT_EQ(g.ops, (std::vector<std::wstring>{L"f1.txt", L"f1.txt", L"f2.txt"}));

    // Giving up with 0 is not a failure of the walk.
    g = Record{};
    g.root = dir.path();
    g.failuresLeft = 1000;
    EXPECT_EQ(_FILE_Ftw(&status, dir.path().c_str(), L"*", L"*", RecordOp, Handler, 1, 1), 0);
    EXPECT_EQ(status, 0);
}

TEST_F(TreeWalk, FailureInsideASubdirectoryReachesTheTop) {
    g.failuresLeft = 1000;
    g.giveUpAnswer = 3;
    g.skip = {L"f1.txt", L"f2.txt", J({L"a", L"a1.txt"}), J({L"c", L"c1.txt"})};
    EXPECT_EQ(_FILE_NFtw(&status, dir.path().c_str(), L"*", L"*", RecordOp, Handler, -1, 1), 255);
    EXPECT_EQ(status, 255);
    EXPECT_EQ(g.ops, (std::vector<std::wstring>{J({L"a", L"b", L"b1.txt"})}));
}

TEST_F(TreeWalk, ScanShowsOnlyListingsByBareName) {
    EXPECT_EQ(_FILE_TreeScan(&status, (dir.path() + kSep).c_str(), L"*", L"*", -1, Handler), 0);
    EXPECT_EQ(status, 0);
    std::vector<std::pair<int, std::wstring>> expected{
        {1, L"a"}, {1, L"c"}, {2, L"f1.txt"}, {2, L"f2.txt"},   // root
        {1, L"b"}, {2, L"a1.txt"},                              // a
        {2, L"b1.txt"},                                         // a/b
        {2, L"c1.txt"},                                         // c
    };
    EXPECT_EQ(g.handled, expected);
    EXPECT_TRUE(g.ops.empty());
}

TEST_F(TreeWalk, NullRootIsRefusedWithoutTouchingTheStatus) {
    EXPECT_EQ(_FILE_TreeScan(&status, nullptr, L"*", L"*", -1, Handler), 255);
    EXPECT_EQ(_FILE_TreeRemove(&status, nullptr, L"*", L"*", 28, -1, Handler), 255);
    EXPECT_EQ(status, 99);
    // An empty root never turns into the file system's root.
    EXPECT_EQ(_FILE_Ftw(&status, L"", L"*", L"*", RecordOp, Handler, -1, 1), 255);
    EXPECT_TRUE(g.handled.empty());
}

TEST_F(TreeWalk, TreeCopyMirrorsDirectoriesAndFiles) {
    kuttest::TempDir dst;
    EXPECT_EQ(_FILE_TreeCopy(&status, dst.path().c_str(), dir.path().c_str(), L"*", L"*", 0, -1, Handler), 0);
    EXPECT_FALSE(kuttest::Exists(dst.file(L"a")));

    EXPECT_EQ(_FILE_TreeCopy(&status, dst.path().c_str(), dir.path().c_str(), L"*", L"*", 3, -1, Handler), 0);
    EXPECT_EQ(status, 0);
    std::string s;
    for (const auto& f : {J({L"f1.txt"}), J({L"a", L"a1.txt"}), J({L"a", L"b", L"b1.txt"}), J({L"c", L"c1.txt"})}) {
        ASSERT_TRUE(kuttest::ReadFile(dst.file(f), &s)) << kuttest::Narrow(f);
        std::string orig;
        kuttest::ReadFile(dir.file(f), &orig);
        EXPECT_EQ(s, orig);
    }
    unsigned short d1, t1, d2, t2;
    SYS_FileDateGet(dir.file(J({L"a", L"a1.txt"})).c_str(), &d1, &t1);
    SYS_FileDateGet(dst.file(J({L"a", L"a1.txt"})).c_str(), &d2, &t2);
    EXPECT_EQ(d1, d2);
    EXPECT_EQ(t1, t2);

    // With separators at the end of both roots, and only directories.
    kuttest::TempDir dst2;
    EXPECT_EQ(_FILE_TreeCopy(&status, (dst2.path() + kSep).c_str(), (dir.path() + kSep).c_str(), L"*", L"*", 2, -1,
                             Handler), 0);
    EXPECT_TRUE(kuttest::Exists(dst2.file(J({L"a", L"b"}))));
    EXPECT_FALSE(kuttest::Exists(dst2.file(L"f1.txt")));
}

TEST_F(TreeWalk, TreeCopyFailingCopyIsPutToTheHandler) {
    // No destination directories: every copy below the root fails.
    kuttest::TempDir dst;
    g.giveUpAnswer = 1;
    EXPECT_EQ(_FILE_TreeCopy(&status, dst.path().c_str(), dir.path().c_str(), L"*", L"*", 1, -1, Handler), 255);
    EXPECT_EQ(status, 255);
    EXPECT_TRUE(kuttest::Exists(dst.file(L"f1.txt")));
    int failures = 0;
    for (std::size_t i = 0; i < g.handled.size(); ++i) failures += g.errors[i] == 1;
    // a1 and c1 fail (_FILE_Copy answers 1). Level a's failed scan ends its
    // walk before a/b, while the root's scan goes on to c.
    EXPECT_EQ(failures, 2);
}

TEST_F(TreeWalk, TreeZipMakesEmptyFilesInTheSameShape) {
    kuttest::TempDir dst;
    EXPECT_EQ(_FILE_TreeZip(&status, dst.path().c_str(), dir.path().c_str(), L"*", L"*", 5, -1, Handler), 0);
    EXPECT_EQ(status, 0);
    std::string s = "x";
    ASSERT_TRUE(kuttest::ReadFile(dst.file(J({L"a", L"b", L"b1.txt"})), &s));
    EXPECT_EQ(s, "");
}

TEST_F(TreeWalk, TreeRemoveWithFlags28LeavesNothing) {
    EXPECT_EQ(_FILE_TreeRemove(&status, dir.path().c_str(), L"*", L"*", 28, -1, Handler), 0);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(kuttest::Exists(dir.path()));
    // Files first, then directories from the deepest up, then the root.
    std::vector<std::wstring> visited;
    for (const auto& h : g.handled) {
        if (h.first == 4) visited.push_back(h.second);
    }
    EXPECT_EQ(visited, (std::vector<std::wstring>{J({L"a", L"b", L"b1.txt"}), J({L"a", L"a1.txt"}),
                                                   J({L"c", L"c1.txt"}), L"f1.txt", L"f2.txt", J({L"a", L"b"}),
                                                   L"a", L"c", L""}));
}

TEST_F(TreeWalk, TreeRemoveKeepsASubdirectoryTheHandlerLeavesOut) {
    g.refuse = {L"a"};
    EXPECT_EQ(_FILE_TreeRemove(&status, (dir.path() + kSep).c_str(), L"*", L"*", 28, -1, Handler), 0);
    // The root could not go: _FILE_RmDir's 1 is the status, the handler was
    // told (error 255) and gave up.
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(kuttest::Exists(dir.file(J({L"a", L"b", L"b1.txt"}))));
    EXPECT_FALSE(kuttest::Exists(dir.file(L"f1.txt")));
    EXPECT_FALSE(kuttest::Exists(dir.file(L"c")));
    ASSERT_FALSE(g.errors.empty());
    EXPECT_EQ(g.errors.back(), 255);
}

TEST_F(TreeWalk, PathsBeyondTheBuffersFailTheWalk) {
    // A folder whose entries' full paths are 259 and 261 characters long.
    std::wstring deep = dir.path() + kSep + std::wstring(200, L'd');
    kuttest::MakeDir(deep);
    std::size_t room = 259 - deep.size() - 1;
    std::wstring fits(room, L'x'), tooLong(room + 2, L'y');
    ASSERT_TRUE(kuttest::WriteFile(deep + kSep + fits, "1"));
    ASSERT_TRUE(kuttest::WriteFile(deep + kSep + tooLong, "2"));
    EXPECT_EQ(_FILE_Ftw(&status, deep.c_str(), L"*", L"*", RecordOp, Handler, -1, 1), 255);
    EXPECT_EQ(status, 255);
    EXPECT_EQ(g.ops, (std::vector<std::wstring>{Rel((deep + kSep + fits).c_str())}));

    // A root of 259 characters: its search path cannot be built.
    std::wstring root259 = dir.path() + kSep + std::wstring(259 - dir.path().size() - 1, L'r');
    kuttest::MakeDir(root259);
    EXPECT_EQ(_FILE_Ftw(&status, root259.c_str(), L"*", L"*", RecordOp, Handler, -1, 1), 255);
    EXPECT_EQ(_FILE_TreeScan(&status, root259.c_str(), L"*", L"*", -1, Handler), 255);
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
}  // namespace

// Fail the N-th allocation of the stacks and name copies for N = 0, 1, ...:
// every walk that meets one reports 255, none crashes or leaks (ASan), and
// once the budget suffices the walk completes with every entry done.
TEST_F(TreeWalk, StackFailuresFailTheWalk) {
    KBASE_TestGetSyscalls(&g_real);
    KBASE_SYSCALLS s = g_real;
    s.alloc = FailingAlloc;
    s.realloc = FailingRealloc;
    KBASE_TestSetSyscalls(&s);
    bool completed = false;
    for (long n = 0; n < 500 && !completed; ++n) {
        g.ops.clear();
        g_allocsLeft = n;
        int r = _FILE_NFtw(&status, dir.path().c_str(), L"*", L"*", RecordOp, Handler, -1, 1);
        g_allocsLeft = -1;
        EXPECT_EQ(r, status);
        if (r == 0) {
            completed = true;
            EXPECT_EQ(g.ops.size(), 5u);
        } else {
            EXPECT_EQ(r, 255);
        }
    }
    KBASE_TestSetSyscalls(nullptr);
    EXPECT_TRUE(completed);
}
#endif
