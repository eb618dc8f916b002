// File and tree operations on real files in temporary folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kbase/kbase.h"
#include "kut/file.h"
#include "testutil.h"
#if defined(KUT_TESTING)
#include "kbase/testing.h"
#include "kut/testing.h"
#endif
#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <psapi.h>
#else
#include <sys/stat.h>
#endif

using kuttest::Difference;
using kuttest::kSep;
using kuttest::Pattern;
using kuttest::Read;
using Names = std::vector<std::wstring>;

#define EXPECT_RESULT_STATUS(call, result, wantStatus) \
    do {                                               \
        status = 99;                                   \
        EXPECT_EQ(call, result) << #call;              \
        EXPECT_EQ(status, wantStatus) << #call;        \
    } while (0)

namespace {

// Paths written with '/', given back with the native separator.
std::wstring P(std::wstring s) { return std::replace(s.begin(), s.end(), L'/', kSep), s; }
// Names separated by single spaces ("a " holds "a" and "").
Names N(const std::wstring& list) {
    Names out;
    std::size_t start = 0;
    for (std::size_t space; (space = list.find(L' ', start)) != std::wstring::npos; start = space + 1)
        out.push_back(P(list.substr(start, space - start)));
    if (!list.empty()) out.push_back(P(list.substr(start)));
    return out;
}

// What the walk callbacks saw (relative to the root) and how they answer. refuse: 255 while listing; skip: 1 before
// the operation; fileFn fails with 5 while failuresLeft > 0; the handler leaves the error set `retries` times, then
// answers giveUpAnswer. visited, errors: entry visits and their ctx->error; listed: "kind:name" of listings.
struct Record {
    std::wstring root;
    Names refuse = {}, skip = {};
    int failuresLeft = 0, retries = 0, giveUpAnswer = 0;
    Names ops = {}, visited = {}, listed = {};
    std::vector<int> errors = {};
};
Record g;

std::wstring Rel(const wchar_t* path) { return std::wstring(path).substr(std::min(g.root.size() + 1, std::wcslen(path))); }

int RecordOp(const wchar_t* path) { return g.ops.push_back(Rel(path)), g.failuresLeft > 0 ? (--g.failuresLeft, 5) : 0; }

int Handler(const wchar_t* name, FTW_CTX* ctx) {
    if (ctx->kind == 1 || ctx->kind == 2) {
        g.listed.push_back(std::to_wstring(ctx->kind) + L":" + name);
        return std::count(g.refuse.begin(), g.refuse.end(), name) ? 255 : 0;
    }
    g.visited.push_back(Rel(name));
    g.errors.push_back(ctx->error);
    if (ctx->error == 0) return std::count(g.skip.begin(), g.skip.end(), g.visited.back()) ? 1 : 0;
    if (g.retries-- > 0) return 0;  // error left set: try again
    return ctx->error = 0, g.giveUpAnswer;
}

#if defined(KUT_TESTING)
// The file services' seam: a path refused for writing, one that writes as a full device, directory creations
// counted, the g_allocsLeft-th allocation refused, the system's transfer moving at most g_transferLimit bytes a call.
KBASE_SYSCALLS g_real;
std::wstring g_refused, g_full;
int g_mkdirs = 0;
long g_allocsLeft = -1;
long long g_transferLimit = -1;

FILE* SeamOpen(const wchar_t* path, const char* mode) {
    if (!std::strpbrk(mode, "wa+") || (path != g_refused && path != g_full)) return g_real.open(path, mode);
    if (path == g_refused) return errno = EACCES, nullptr;
    FILE* f = g_real.open(path, "wb");  // the name exists, as on a full disk, for the copy to clean up
    if (f) std::fclose(f);
#if defined(_WIN32)
    return g_real.open(path, "rb");  // a read-only stream refuses every write, as a full disk does
#else
    return std::fopen("/dev/full", "wb");
#endif
}
int CountingMkdir(const wchar_t* path) { return ++g_mkdirs, g_real.mkdir(path); }
bool Refuse() { return g_allocsLeft > 0 && --g_allocsLeft == 0; }
long long LimitedTransfer(FILE* out, FILE* in, long long count, int* atEnd) {
    if (g_transferLimit >= 0 && count > g_transferLimit) count = g_transferLimit;
    if (count == 0) return *atEnd = 0, 0;
    return g_real.transfer(out, in, count, atEnd);
}
void* FailingAlloc(size_t n) { return Refuse() ? nullptr : g_real.alloc(n); }
void* FailingRealloc(void* p, size_t n) { return Refuse() ? nullptr : g_real.realloc(p, n); }
#endif

class FileOps : public ::testing::Test {
protected:
    // Each file holds its own name.
    void SetUp() override {
        g = Record{dir.path()};
        for (const wchar_t* d : {L"a/b", L"c"}) kuttest::MakeDir(dir.file(P(d)));
        for (const auto& f : N(L"f1.txt f2.txt a/a1.txt a/b/b1.txt c/c1.txt"))
            ASSERT_TRUE(kuttest::WriteFile(dir.file(f), kuttest::Narrow(f)));
#if defined(KUT_TESTING)
        KBASE_TestGetSyscalls(&g_real);
        KBASE_SYSCALLS s = g_real;
        s.open = SeamOpen, s.mkdir = CountingMkdir, s.transfer = LimitedTransfer;
        s.alloc = FailingAlloc, s.realloc = FailingRealloc;
        KBASE_TestSetSyscalls(&s);
#endif
    }
#if defined(KUT_TESTING)
    void TearDown() override { KBASE_TestSetSyscalls(nullptr); }
#endif
    const wchar_t* root() const { return dir.path().c_str(); }
    kuttest::TempDir dir;
    int status = 99;
};

using TreeWalk = FileOps;

}  // namespace

#if defined(KUT_TESTING)
// The chunk rule (one pass of the count, else of the largest part whose buffer can be had, else static passes of
// 1,024) gives the same bytes, result, positions and end-of-file flags wherever the system's transfer stops. The
// caller has read 10 bytes and written "head" through the buffers first.
TEST_F(FileOps, FCopyGivesTheSameWhereverTheSystemStops) {
    struct Case {
        const char* what;
        std::size_t have;
        int bytes, result;
        long failAfter, persistent, failAbove, failures;  // failures -1: not counted
        bool atEnd;
    };
    const Case cases[] = {
        {"nothing asked: no pass", 60, 0, 0, -1, 0, -1, 0, false},
        {"one static pass of 1,024: 24 too many", 5010, 1000, -24, -1, 0, -1, 0, false},
        {"all there is", 1010, 1000, 0, -1, 0, -1, 0, true},
        {"one pass of 3,000, not three of 1,024", 5010, 3000, 0, -1, 0, -1, 0, false},
        {"input short: the bytes left", 2010, 3000, 1000, -1, 0, -1, 0, true},
        {"3,000 refused once: two passes of 1,500", 5010, 3000, 0, 0, 0, -1, 1, false},
        {"3,000 and 1,500 refused: static passes, 72 too many", 5010, 3000, -72, 0, 1, -1, 2, false},
        {"3 MiB: every part size above 1,024 refused", (3u << 20) + 110, 3 << 20, 0, 0, 1, -1, 3069, false},
        {"one pass of 3 MiB, more input left", (3u << 20) + 110, 3 << 20, 0, -1, 0, -1, 0, false},
        {"input 100,000 short", 200010, 300000, 100000, -1, 0, -1, 0, true},
        {"parts of 1,025, the last 4 too many", 2000014, 2000000, -4, -1, 0, 1025, -1, true},
    };
    for (long long limit : {-1LL, 0LL, 100003LL}) {
        g_transferLimit = limit;
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.what << ", system moves at most " << limit);
            const std::string input = Pattern(c.have);
            ASSERT_TRUE(kuttest::WriteFile(dir.file(L"in"), input));
            FILE* in = _FILE_FOpen(&status, dir.file(L"in").c_str(), L"rb");
            FILE* out = _FILE_FOpen(&status, dir.file(L"out").c_str(), L"wb");
            ASSERT_TRUE(in && out);
            char first[10];
            ASSERT_EQ(std::fread(first, 1, 10, in), 10u);
            ASSERT_GE(std::fputs("head", out), 0);
            c.failAbove >= 0 ? KUT_TestFailAllocAbove(c.failAbove)
                             : KUT_TestFailAlloc(c.failAfter, static_cast<int>(c.persistent));
            EXPECT_RESULT_STATUS(_FILE_FCopy(&status, out, in, c.bytes), c.result, c.result ? 255 : 0);
            if (c.failures >= 0) { EXPECT_EQ(KUT_TestAllocFailures(), c.failures); }
            KUT_TestFailAlloc(-1, 0);
            const std::size_t copied = static_cast<std::size_t>(c.bytes - c.result);
            EXPECT_EQ(std::ftell(in), static_cast<long>(10 + copied));
            EXPECT_EQ(std::ftell(out), static_cast<long>(4 + copied));
            EXPECT_EQ(std::feof(in) != 0, c.atEnd);
            EXPECT_EQ(std::fgetc(in), c.atEnd ? EOF : static_cast<unsigned char>(input[10 + copied]));
            ASSERT_GE(std::fputs("tail", out), 0);
            EXPECT_EQ(_FILE_FClose(&status, in) + _FILE_FClose(&status, out), 0);
            EXPECT_EQ(Difference(Read(dir.file(L"out")), "head" + input.substr(10, copied) + "tail"), "");
        }
    }
    g_transferLimit = -1;
}

namespace {
// Resident memory in KiB: the peak since the last reset and the present.
struct Resident {
    long long peak = -1, now = -1;
};
Resident ResidentMemory() {
    Resident r;
#if defined(_WIN32)
    PROCESS_MEMORY_COUNTERS pmc{};
    if (K32GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc))
        r.peak = static_cast<long long>(pmc.PeakWorkingSetSize / 1024), r.now = static_cast<long long>(pmc.WorkingSetSize / 1024);
#else
    std::ifstream status("/proc/self/status");
    for (std::string key; status >> key;) {
        if (key == "VmHWM:") status >> r.peak;
        if (key == "VmRSS:") status >> r.now;
    }
    // Resets the peak (Windows cannot; a fresh process's peak is close to its present anyway).
    std::ofstream("/proc/self/clear_refs") << "5";
#endif
    return r;
}
}  // namespace

// 96 MiB copied, by the system and by the copy's own passes, raise the peak by at most 64 MiB.
TEST_F(FileOps, CopyMemoryStaysBoundedWhateverTheSize) {
    const std::wstring src = dir.file(L"big"), dst = dir.file(L"copy");
    const std::string x = Pattern(1u << 20);
    FILE* f = _FILE_FOpen(&status, src.c_str(), L"wb");
    ASSERT_TRUE(f);
    for (int i = 0; i < 96; ++i) ASSERT_EQ(std::fwrite(x.data(), 1, x.size(), f), x.size());
    ASSERT_EQ(_FILE_FClose(&status, f), 0);
    for (long long limit : {-1LL, 0LL}) {
        SCOPED_TRACE(limit ? "moved by the system" : "moved by the copy's passes");
        g_transferLimit = limit;
        const Resident before = ResidentMemory();
        ASSERT_GT(before.now, 0);
        EXPECT_RESULT_STATUS(_FILE_Copy(&status, dst.c_str(), src.c_str()), 0, 0);
        const long long growthKiB = ResidentMemory().peak - before.now;
        EXPECT_LE(growthKiB, 64 * 1024) << "peak " << growthKiB << " KiB above the present";
        std::ifstream a(kuttest::Narrow(src), std::ios::binary), b(kuttest::Narrow(dst), std::ios::binary);
        EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {}));
    }
    g_transferLimit = -1;
}
#endif

TEST_F(FileOps, CopyAndZipKeepDateAndMode) {
    const std::wstring src = dir.file(L"src"), dst = dir.file(L"dst");
    const unsigned short date = (30 << 9) | (3 << 5) | 9, time = (8 << 11) | (15 << 5) | 21;  // 2010-03-09 08:15:42
    for (std::size_t size : {std::size_t(5), std::size_t(0), std::size_t(3) << 20, std::size_t(4000)}) {
        const bool zip = size == 4000;  // the packed copy is empty
        SCOPED_TRACE(testing::Message() << (zip ? "zip of " : "copy of ") << size);
        ASSERT_TRUE(kuttest::WriteFile(src, Pattern(size)) && kuttest::WriteFile(dst, "an older, longer destination"));
        ASSERT_EQ(SYS_FileDateSet(src.c_str(), date, time) + SYS_FileMode(src.c_str(), 0100640), 0);
        EXPECT_RESULT_STATUS(
            zip ? _FILE_Zip(&status, dst.c_str(), src.c_str(), 6) : _FILE_Copy(&status, dst.c_str(), src.c_str()), 0, 0);
        unsigned short d = 0, t = 0;
        EXPECT_EQ(Difference(Read(dst), zip ? std::string() : Pattern(size)), "");
        EXPECT_EQ(SYS_FileAccess(dst.c_str()), SYS_FileAccess(src.c_str()));
        EXPECT_EQ(SYS_FileDateGet(dst.c_str(), &d, &t), 0);
        EXPECT_EQ(d * 65536 + t, date * 65536 + time);
    }
#if defined(KUT_TESTING)
    // Kept to the 2-second resolution.
    KBASE_STAT st{};
    ASSERT_EQ(g_real.utime(src.c_str(), 1500000001), 0);
    EXPECT_RESULT_STATUS(_FILE_Copy(&status, dst.c_str(), src.c_str()), 0, 0);
    EXPECT_EQ(g_real.stat(dst.c_str(), &st), 0);
    EXPECT_EQ(st.mtime, 1500000000);
#endif
    // A read-only file's copy is read-only, and a read-only destination is neither deleted nor written.
    ASSERT_EQ(SYS_FileMode(src.c_str(), 0100444), 0);
    EXPECT_EQ(_FILE_Copy(&status, dst.c_str(), src.c_str()), 0);
    EXPECT_EQ(SYS_FileAccess(dst.c_str()) & 0200, 0);
    ASSERT_EQ(SYS_FileMode(src.c_str(), 0100644), 0);
    ASSERT_TRUE(kuttest::WriteFile(src, "second"));
    const std::string kept = Read(dst);
    EXPECT_RESULT_STATUS(_FILE_Copy(&status, dst.c_str(), src.c_str()), 1, 0);
    EXPECT_EQ(Read(dst), kept);
    EXPECT_EQ(SYS_FileAccess(dst.c_str()) & 0200, 0);
    ASSERT_EQ(SYS_FileMode(dst.c_str(), 0100644), 0);
    EXPECT_EQ(_FILE_Copy(&status, dst.c_str(), src.c_str()), 0);
    EXPECT_EQ(Read(dst), "second");
}

TEST_F(FileOps, NamePasteTakesNameFromOneAndDirectoryFromTheOther) {
    const std::wstring cases[][3] = {  // name source, directory source, result
        {P(L"/x/report.txt"), P(L"/data/old.dat"), P(L"/data/report.txt")},
        {L"n.abcdefghijklmnop", P(L"/d/"), P(L"/d/n.abcdefghij")},        // 11 characters of extension
        {L"name.txt", P(L"/") + std::wstring(250, L'd') + P(L"/"), L""},  // too long: empty, never cut
#if defined(_WIN32)
        {L"D:\\x\\report.txt", L"C:\\data\\old.dat", L"C:\\data\\report.txt"},
#endif
    };
    wchar_t out[260];
    for (const auto& c : cases)
        EXPECT_RESULT_STATUS((_FILE_NamePaste(&status, c[0].c_str(), c[1].c_str(), out), std::wstring(out)), c[2], 0);
}

TEST_F(FileOps, PathsMustFitTheirBuffers) {
    ASSERT_LT(dir.path().size(), 200u);
    auto pathOfLength = [&](std::size_t len) { return dir.file(std::wstring(len - dir.path().size() - 1, L'f')); };
    const std::wstring src = dir.file(L"s"), p259 = pathOfLength(259), dst = dir.file(L"from-long");
    ASSERT_TRUE(kuttest::WriteFile(src, "abc"));
    EXPECT_RESULT_STATUS(_FILE_Len(&status, dir.file(L"missing").c_str()), -1, 255);
    EXPECT_RESULT_STATUS(_FILE_FOpen(&status, dir.file(L"missing").c_str(), L"rb"), nullptr, 255);
    EXPECT_RESULT_STATUS(_FILE_FOpen(&status, dir.path().c_str(), L"rb"), nullptr, 255);  // a folder is no stream
    EXPECT_EQ(_FILE_Copy(&status, p259.c_str(), src.c_str()), 0);
    EXPECT_RESULT_STATUS(_FILE_Len(&status, p259.c_str()), 3, 0);
    for (std::size_t len : {std::size_t(260), std::size_t(261)}) {
        SCOPED_TRACE(len);
        const std::wstring p = pathOfLength(len);
        ASSERT_TRUE(kuttest::WriteFile(p, "xyz"));  // the system could take it; our buffers cannot
        EXPECT_RESULT_STATUS(_FILE_Len(&status, p.c_str()), -1, 255);
        EXPECT_RESULT_STATUS(_FILE_FOpen(&status, p.c_str(), L"rb"), nullptr, 255);
        EXPECT_RESULT_STATUS(_FILE_Copy(&status, p.c_str(), src.c_str()), 1, 0);
        EXPECT_RESULT_STATUS(_FILE_Copy(&status, dst.c_str(), p.c_str()), 1, 0);
        EXPECT_EQ(Read(p), "xyz");  // not ours to touch
        EXPECT_FALSE(kuttest::Exists(dst));
        EXPECT_RESULT_STATUS(_FILE_RmDir(&status, p.c_str()), 1, 255);
        EXPECT_RESULT_STATUS(_FILE_MkDir(&status, (p + L"d").c_str()), 0, 0);
        EXPECT_FALSE(kuttest::Exists(p + L"d"));
    }
}

#if defined(KUT_TESTING)
TEST_F(FileOps, FailedCopyOrZipLeavesNoDestination) {
    const std::wstring src = dir.file(L"src"), none = dir.file(L"none"), dst = dir.file(L"dst");
    const std::wstring refused = g_refused = dir.file(L"refused");
    // A full device shows at the close for small copies, at the write for large ones. _FILE_Zip answers 0 always.
    const struct {
        const char* what;
        std::wstring from, to;
        std::size_t size;
        bool zip, full;
    } cases[] = {
        {"missing source", none, dst, 5, false, false},
        {"source is a folder", dir.path(), dst, 5, false, false},
        {"destination refused", src, refused, 5, false, false},
        {"full at the close", src, dst, 5, false, true},
        {"full at the write", src, dst, 200000, false, true},
        {"zip of a missing source", none, dst, 5, true, false},
        {"zip onto a refused destination", src, refused, 5, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(kuttest::WriteFile(src, Pattern(c.size)) && kuttest::WriteFile(c.to, "existing"));
        g_full = c.full ? c.to : std::wstring();
        EXPECT_RESULT_STATUS(
            c.zip ? _FILE_Zip(&status, c.to.c_str(), c.from.c_str(), 9) : _FILE_Copy(&status, c.to.c_str(), c.from.c_str()),
            c.zip ? 0 : 1, 0);
        EXPECT_FALSE(kuttest::Exists(c.to));
        EXPECT_TRUE(kuttest::Exists(src));
    }
}

TEST_F(FileOps, MkDirCreatesEachMissingLevelOnceAndRmDirRemovesOne) {
    const std::wstring deep = dir.file(P(L"m/n/o/p/q"));
    for (int created : {5, 0}) {
        g_mkdirs = 0;
        EXPECT_RESULT_STATUS(_FILE_MkDir(&status, (deep + kSep).c_str()), 0, 0);
        EXPECT_EQ(g_mkdirs, created);
    }
    EXPECT_EQ(_FILE_RmDir(&status, (deep + kSep).c_str()), 0);
    EXPECT_FALSE(kuttest::Exists(deep));
    EXPECT_RESULT_STATUS(_FILE_RmDir(&status, deep.c_str()), 0, 0);  // absent: nothing to do
    EXPECT_RESULT_STATUS(_FILE_RmDir(&status, dir.file(L"m").c_str()), 1, 255);
    EXPECT_TRUE(kuttest::Exists(dir.file(L"m")));
}
#endif

TEST_F(TreeWalk, OrderDepthPatternsAndHandlerAnswersDecideWhatIsOperatedOn) {
    struct Case {
        const char* what;
        decltype(&_FILE_Ftw) walk;
        int depth, result;
        Names ops;
        int failures = 0, retries = 0, giveUp = 0;
        std::vector<int> errors = {};  // ctx->error of the entry visits, when given
        Names refuse = {}, skip = {};
        const wchar_t *dirPattern = L"*", *filePattern = L"*";
        int attrib = 1;
    };
    const Case cases[] = {
        {"top down: a directory's entries first", _FILE_Ftw, -1, 0, N(L"f1.txt f2.txt a/a1.txt a/b/b1.txt c/c1.txt")},
        {"bottom up: subdirectories first", _FILE_NFtw, -1, 0, N(L"a/b/b1.txt a/a1.txt c/c1.txt f1.txt f2.txt")},
        {"depth 0 calls nothing", _FILE_Ftw, 0, 0, {}},
        {"depth 1: the root's entries", _FILE_NFtw, 1, 0, N(L"f1.txt f2.txt")},
        {"depth 2", _FILE_Ftw, 2, 0, N(L"f1.txt f2.txt a/a1.txt c/c1.txt")},
        {"failing twice, then done", _FILE_Ftw, 1, 0, N(L"f1.txt f1.txt f1.txt f2.txt"), 2, 2, 0, {0, 5, 0, 5, 0, 0}},
        {"giving up with 9 fails the walk, goes on", _FILE_Ftw, 1, 255, N(L"f1.txt f1.txt f2.txt"), 9, 1, 9, {0, 5, 0, 5, 0, 5}},
        {"giving up with 0 does not", _FILE_Ftw, 1, 0, N(L"f1.txt f2.txt"), 1000},
        {"deep failure", _FILE_NFtw, -1, 255, N(L"a/b/b1.txt"), 9, 0, 3, {}, {}, N(L"f1.txt f2.txt a/a1.txt c/c1.txt")},
        {"255 while listing", _FILE_Ftw, -1, 0, N(L"f1.txt c/c1.txt"), 0, 0, 0, {}, N(L"a f2.txt")},
        {"nonzero before the operation", _FILE_Ftw, 1, 0, N(L"f2.txt"), 0, 0, 0, {}, {}, N(L"f1.txt")},
        {"patterns", _FILE_Ftw, -1, 0, N(L"f1.txt a/a1.txt"), 0, 0, 0, {}, {}, {}, L"a", L"*1.txt"},
        {"directories", _FILE_Ftw, -1, 0, N(L"a c a/b"), 0, 0, 0, {}, {}, {}, L"*", L"*", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g = Record{dir.path(), c.refuse, c.skip, c.failures, c.retries, c.giveUp};
        EXPECT_RESULT_STATUS(c.walk(&status, root(), c.dirPattern, c.filePattern, RecordOp, Handler, c.depth, c.attrib), c.result,
                             c.result);
        EXPECT_EQ(g.ops, c.ops);
        if (c.depth == 0) { EXPECT_EQ(g.listed.size() + g.visited.size(), 0u); }
        if (!c.errors.empty()) { EXPECT_EQ(g.errors, c.errors); }
    }
}

TEST_F(TreeWalk, ScanListsByBareNameAndNullRootsAreRefused) {
    EXPECT_RESULT_STATUS(_FILE_TreeScan(&status, (dir.path() + kSep).c_str(), L"*", L"*", -1, Handler), 0, 0);
    EXPECT_EQ(g.listed, Names({L"1:a", L"1:c", L"2:f1.txt", L"2:f2.txt",  // the root's listings, then a's and so on
                               L"1:b", L"2:a1.txt", L"2:b1.txt", L"2:c1.txt"}));
    g.listed.clear();
    EXPECT_RESULT_STATUS(_FILE_TreeScan(&status, nullptr, L"*", L"*", -1, Handler), 255, 99);
    EXPECT_RESULT_STATUS(_FILE_TreeRemove(&status, nullptr, L"*", L"*", 28, -1, Handler), 255, 99);
    // An empty root never turns into the file system's root.
    EXPECT_EQ(_FILE_Ftw(&status, L"", L"*", L"*", RecordOp, Handler, -1, 1), 255);
    EXPECT_EQ(g.listed, Names());
}

TEST_F(TreeWalk, CopyZipAndRemoveWholeTrees) {
    kuttest::TempDir dst, zip;  // flags 0: nothing copied
    EXPECT_EQ(_FILE_TreeCopy(&status, dst.path().c_str(), root(), L"*", L"*", 0, -1, Handler), 0);
    EXPECT_FALSE(kuttest::Exists(dst.file(L"a")));
    EXPECT_RESULT_STATUS(_FILE_TreeCopy(&status, dst.path().c_str(), root(), L"*", L"*", 3, -1, Handler), 0, 0);
    // Separators at the end of both roots change nothing.
    const std::wstring zipRoot = zip.path() + kSep, srcRoot = dir.path() + kSep;
    EXPECT_RESULT_STATUS(_FILE_TreeZip(&status, zipRoot.c_str(), srcRoot.c_str(), L"*", L"*", 5, -1, Handler), 0, 0);
    for (const auto& f : N(L"f1.txt a/a1.txt a/b/b1.txt c/c1.txt")) {
        EXPECT_EQ(Read(dst.file(f)), kuttest::Narrow(f));
        EXPECT_EQ(Read(zip.file(f)), "") << kuttest::Narrow(f);
    }
    // Files first, then directories from the deepest up, then the root.
    g.visited.clear();
    EXPECT_EQ(_FILE_TreeRemove(&status, root(), L"*", L"*", 28, -1, Handler), 0);
    EXPECT_FALSE(kuttest::Exists(dir.path()));
    EXPECT_EQ(g.visited, N(L"a/b/b1.txt a/a1.txt c/c1.txt f1.txt f2.txt a/b a c "));
}

TEST_F(TreeWalk, FailuresInTreeOperationsGoToTheHandler) {
    // No destination folders: copies below the root fail; a's failed scan ends before a/b, the root's goes on to c.
    kuttest::TempDir dst;
    g.giveUpAnswer = 1;
    EXPECT_RESULT_STATUS(_FILE_TreeCopy(&status, dst.path().c_str(), root(), L"*", L"*", 1, -1, Handler), 255, 255);
    EXPECT_TRUE(kuttest::Exists(dst.file(L"f1.txt")));
    EXPECT_EQ(std::count(g.errors.begin(), g.errors.end(), 1), 2);
    // A folder the handler leaves out stays, so does the root: status 1, the handler saw 255.
    g = Record{dir.path(), N(L"a")};
    EXPECT_RESULT_STATUS(_FILE_TreeRemove(&status, (dir.path() + kSep).c_str(), L"*", L"*", 28, -1, Handler), 0, 1);
    EXPECT_TRUE(kuttest::Exists(dir.file(P(L"a/b/b1.txt"))));
    EXPECT_EQ(g.errors.empty() ? -1 : g.errors.back(), 255);
    EXPECT_FALSE(kuttest::Exists(dir.file(L"f1.txt")) || kuttest::Exists(dir.file(L"c")));
    // A read-only file stays, and so do its folders up to the root.
    const std::wstring ro = dir.file(P(L"a/b/b1.txt"));
    ASSERT_EQ(SYS_FileMode(ro.c_str(), 0100444), 0);
    g = Record{dir.path()};
    EXPECT_RESULT_STATUS(_FILE_TreeRemove(&status, root(), L"*", L"*", 28, -1, Handler), 0, 1);
    Names failed;
    for (std::size_t i = 0; i < g.visited.size(); ++i)
        if (g.errors[i] != 0) failed.push_back(g.visited[i]);
    EXPECT_EQ(failed, N(L"a/b/b1.txt a/b a "));
    EXPECT_EQ(Read(ro), kuttest::Narrow(P(L"a/b/b1.txt")));
}

#if !defined(_WIN32)
// Names that are not UTF-8 go by their escapes U+DC80..U+DCFF and reach the disk as the same bytes.
TEST_F(TreeWalk, NamesThatAreNotUtf8AreCopiedAndRemoved) {
    const char* files[] = {"/d\xE9p/caf\xE9.txt", "/\xFF"};
    ASSERT_EQ(::mkdir((dir.narrow() + "/d\xE9p").c_str(), 0777), 0);
    for (const std::string f : files) std::ofstream(dir.narrow() + f, std::ios::binary) << f;
    kuttest::TempDir dst;
    EXPECT_RESULT_STATUS(_FILE_TreeCopy(&status, dst.path().c_str(), root(), L"*", L"*", 3, -1, Handler), 0, 0);
    for (const std::string f : files) {
        std::ifstream in(dst.narrow() + f, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), f);
    }
    g.visited.clear();
    EXPECT_EQ(_FILE_TreeRemove(&status, root(), L"*", L"*", 28, -1, Handler), 0);
    EXPECT_FALSE(kuttest::Exists(dir.path()));
    EXPECT_NE(std::find(g.visited.begin(), g.visited.end(), L"d\xDCE9p/caf\xDCE9.txt"), g.visited.end());
}
#endif

TEST_F(TreeWalk, PathsBeyondTheBuffersFailTheWalk) {
    // Entries' paths of 259, 260 and 261 characters.
    const std::wstring deep = dir.file(std::wstring(200, L'd')), fits = deep + kSep + std::wstring(259 - deep.size() - 1, L'x');
    kuttest::MakeDir(deep);
    for (const wchar_t* tail : {L"", L"y", L"yy"}) ASSERT_TRUE(kuttest::WriteFile(fits + tail, "1"));
    EXPECT_RESULT_STATUS(_FILE_Ftw(&status, deep.c_str(), L"*", L"*", RecordOp, Handler, -1, 1), 255, 255);
    EXPECT_EQ(g.ops, Names{Rel(fits.c_str())});
    const std::wstring root259 = dir.file(std::wstring(259 - dir.path().size() - 1, L'r'));
    kuttest::MakeDir(root259);
    EXPECT_EQ(_FILE_Ftw(&status, root259.c_str(), L"*", L"*", RecordOp, Handler, -1, 1), 255);
    EXPECT_EQ(_FILE_TreeScan(&status, root259.c_str(), L"*", L"*", -1, Handler), 255);
}

#if defined(KUT_TESTING)
// The N-th allocation refused, N = 1, 2, ...: each walk meeting it reports 255, none crashes or leaks, and past the
// last allocation the walk completes. Forty more files in c make its stack grow.
TEST_F(TreeWalk, StackFailuresFailTheWalk) {
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(kuttest::WriteFile(dir.file(P(L"c/") + std::to_wstring(i)), ""));
    long n = 0;
    for (int r = 255; r != 0 && n < 500;) {
        g.ops.clear();
        g_allocsLeft = ++n;
        r = _FILE_NFtw(&status, root(), L"*", L"*", RecordOp, Handler, -1, 1);
        g_allocsLeft = -1;
        SCOPED_TRACE(testing::Message() << "allocation " << n << " refused");
        EXPECT_EQ(r, status);
        if (r != 255) { EXPECT_EQ(g.ops.size(), 45u); }
    }
    EXPECT_GT(n, 1);  // failures met, then a complete walk
    EXPECT_LT(n, 500);
}
#endif
