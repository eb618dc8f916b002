// File operations on real files in temporary folders.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "kbase/kbase.h"
#include "kut/file.h"
#include "testutil.h"
#if defined(KUT_TESTING)
#include "kbase/testing.h"
#include "kut/testing.h"
#endif
#if !defined(_WIN32)
#include <unistd.h>
#include <utime.h>
#endif

using kuttest::kSep;

namespace {

std::string Bytes(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return s;
}

std::string Read(const std::wstring& path) {
    std::string s;
    EXPECT_TRUE(kuttest::ReadFile(path, &s));
    return s;
}

// Copies `bytes` from a file holding `content` into a fresh file; returns
// what was written there.
struct FCopyRun {
    int result;
    int status;
    std::string written;
};

FCopyRun RunFCopy(const std::string& content, int bytes) {
    kuttest::TempDir t;
    std::wstring in = t.file(L"in"), out = t.file(L"out");
    EXPECT_TRUE(kuttest::WriteFile(in, content));
    int status = 0;
    FILE* fi = _FILE_FOpen(&status, in.c_str(), L"rb");
    FILE* fo = _FILE_FOpen(&status, out.c_str(), L"wb");
    EXPECT_NE(fi, nullptr);
    EXPECT_NE(fo, nullptr);
    FCopyRun r {};
    r.status = -1;
    r.result = _FILE_FCopy(&r.status, fo, fi, bytes);
    _FILE_FClose(&status, fi);
    _FILE_FClose(&status, fo);
    r.written = Read(out);
    return r;
}

// A path of exactly `len` characters below `base`: folders of up to 200
// characters, then a file name.
std::wstring PathOfLength(const std::wstring& base, std::size_t len, bool makeFolders) {
    std::wstring p = base;
    while (len - p.size() > 201) {
        p += kSep;
        p += std::wstring(200, L'd');
        if (makeFolders) kuttest::MakeDir(p);
    }
    p += kSep;
    p += std::wstring(len - p.size(), L'f');
    return p;
}

}  // namespace

TEST(FileOps, OpenCloseAndLengthReportThroughStatusAndResult) {
    kuttest::TempDir t;
    std::wstring f = t.file(L"five");
    ASSERT_TRUE(kuttest::WriteFile(f, "12345"));
    int status = 99;
    EXPECT_EQ(_FILE_FOpen(&status, t.file(L"missing").c_str(), L"rb"), nullptr);
    EXPECT_EQ(status, 255);
    FILE* s = _FILE_FOpen(&status, f.c_str(), L"rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(status, 0);
    status = 99;
    EXPECT_EQ(_FILE_FClose(&status, s), 0);
    EXPECT_EQ(status, 0);
    status = 99;
    EXPECT_EQ(_FILE_FClose(&status, nullptr), 0);
    EXPECT_EQ(status, 0);

    EXPECT_EQ(_FILE_Len(&status, f.c_str()), 5);
    EXPECT_EQ(status, 0);
    EXPECT_LT(_FILE_Len(&status, t.file(L"missing").c_str()), 0);
    EXPECT_EQ(status, 255);
}

TEST(FileOps, FCopyPassesFollowTheChunkRule) {
    // Nothing to copy: no pass at all, so nothing is read or written.
    FCopyRun r = RunFCopy(Bytes(50), 0);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.written.size(), 0u);

    // 1,000 bytes go through the static buffer in one pass of up to 1,024:
    // with more input than asked, 24 bytes too many are copied.
    r = RunFCopy(Bytes(5000), 1000);
    EXPECT_EQ(r.result, -24);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.written, Bytes(1024));

    r = RunFCopy(Bytes(1000), 1000);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.written, Bytes(1000));

    // 3,000 bytes with a buffer of that size: exactly one pass of 3,000 (in
    // 1,024-byte passes three would copy 3,072).
    r = RunFCopy(Bytes(5000), 3000);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.written, Bytes(3000));

    // Input shorter than asked: the bytes left are the answer.
    r = RunFCopy(Bytes(2000), 3000);
    EXPECT_EQ(r.result, 1000);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.written, Bytes(2000));
}

#if defined(KUT_TESTING)
TEST(FileOps, FCopyShrinksItsChunkWhenAllocationFails) {
    // The 3,000-byte buffer fails once: two passes of 1,500.
    KUT_TestFailAlloc(0, 0);
    FCopyRun r = RunFCopy(Bytes(5000), 3000);
    EXPECT_EQ(KUT_TestAllocFailures(), 1);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.written, Bytes(3000));

    // Every allocation fails: 3,000 and 1,500 are tried, then the static
    // buffer takes 3,000 / 1,024 = 2 parts plus a remainder pass of up to
    // 1,024 bytes, which reads 1,024.
    KUT_TestFailAlloc(0, 1);
    r = RunFCopy(Bytes(5000), 3000);
    EXPECT_EQ(KUT_TestAllocFailures(), 2);
    EXPECT_EQ(r.result, -72);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.written, Bytes(3072));

    // A whole 3 MiB file still copies exactly through the static buffer.
    KUT_TestFailAlloc(0, 1);
    const int big = 3 << 20;
    r = RunFCopy(Bytes(big), big);
    EXPECT_GT(KUT_TestAllocFailures(), 0);
    KUT_TestFailAlloc(-1, 0);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.written == Bytes(big));
}
#endif

TEST(FileOps, CopyKeepsContentDateAndMode) {
    kuttest::TempDir t;
    std::wstring src = t.file(L"src.txt"), dst = t.file(L"dst.txt");
    ASSERT_TRUE(kuttest::WriteFile(src, "hello"));
    ASSERT_TRUE(kuttest::WriteFile(dst, "an older and longer destination"));
#if !defined(_WIN32)
    ASSERT_EQ(SYS_FileMode(src.c_str(), 0100640), 0);
    // An odd second: the copy keeps it to the 2-second resolution.
    struct utimbuf ut {};
    ut.actime = ut.modtime = 1500000001;  // 2017-07-14
    ASSERT_EQ(::utime(kuttest::Narrow(src).c_str(), &ut), 0);
#endif
    int status = 99;
    EXPECT_EQ(_FILE_Copy(&status, dst.c_str(), src.c_str()), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Read(dst), "hello");
    unsigned short d1, t1, d2, t2;
    ASSERT_EQ(SYS_FileDateGet(src.c_str(), &d1, &t1), 0);
    ASSERT_EQ(SYS_FileDateGet(dst.c_str(), &d2, &t2), 0);
    EXPECT_EQ(d1, d2);
    EXPECT_EQ(t1, t2);
    EXPECT_EQ(SYS_FileAccess(dst.c_str()), SYS_FileAccess(src.c_str()));
#if !defined(_WIN32)
    EXPECT_EQ(SYS_FileAccess(dst.c_str()), 0100640);
    struct stat st {};
    ASSERT_EQ(::stat(kuttest::Narrow(dst).c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1500000000);
#endif
}

TEST(FileOps, CopyReplacesAReadOnlyDestination) {
    kuttest::TempDir t;
    std::wstring src = t.file(L"src"), dst = t.file(L"dst");
    ASSERT_TRUE(kuttest::WriteFile(src, "first"));
    ASSERT_EQ(SYS_FileMode(src.c_str(), 0100444), 0);
    int status = 99;
    ASSERT_EQ(_FILE_Copy(&status, dst.c_str(), src.c_str()), 0);
    EXPECT_EQ(SYS_FileAccess(dst.c_str()) & 0200, 0);  // the copy is read-only too
    ASSERT_EQ(SYS_FileMode(src.c_str(), 0100644), 0);
    ASSERT_TRUE(kuttest::WriteFile(src, "second"));
    EXPECT_EQ(_FILE_Copy(&status, dst.c_str(), src.c_str()), 0);
    EXPECT_EQ(Read(dst), "second");
}

TEST(FileOps, CopyOfEmptyAndThreeMebibyteFiles) {
    kuttest::TempDir t;
    std::wstring e = t.file(L"empty"), e2 = t.file(L"empty2");
    ASSERT_TRUE(kuttest::WriteFile(e, ""));
    int status = 99;
    EXPECT_EQ(_FILE_Copy(&status, e2.c_str(), e.c_str()), 0);
    EXPECT_EQ(status, 0);
    ASSERT_TRUE(kuttest::Exists(e2));
    EXPECT_EQ(Read(e2).size(), 0u);

    std::wstring b = t.file(L"big"), b2 = t.file(L"big2");
    std::string content = Bytes(3 << 20);
    ASSERT_TRUE(kuttest::WriteFile(b, content));
    EXPECT_EQ(_FILE_Copy(&status, b2.c_str(), b.c_str()), 0);
    EXPECT_TRUE(Read(b2) == content);
}

TEST(FileOps, CopyOfMissingSourceDeletesTheDestination) {
    kuttest::TempDir t;
    std::wstring dst = t.file(L"dst");
    ASSERT_TRUE(kuttest::WriteFile(dst, "old"));
    int status = 99;
    EXPECT_EQ(_FILE_Copy(&status, dst.c_str(), t.file(L"nothing").c_str()), 1);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(kuttest::Exists(dst));
    // A source that is a directory cannot be copied either.
    ASSERT_TRUE(kuttest::WriteFile(dst, "old"));
    EXPECT_EQ(_FILE_Copy(&status, dst.c_str(), t.path().c_str()), 1);
    EXPECT_FALSE(kuttest::Exists(dst));
}

#if !defined(_WIN32)
TEST(FileOps, CopyIntoReadOnlyFolderFails) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    kuttest::TempDir t;
    std::wstring src = t.file(L"src"), ro = t.file(L"ro");
    ASSERT_TRUE(kuttest::WriteFile(src, "data"));
    kuttest::MakeDir(ro);
    ASSERT_EQ(::chmod(kuttest::Narrow(ro).c_str(), 0555), 0);
    std::wstring dst = ro + kSep + L"dst";
    int status = 99;
    EXPECT_EQ(_FILE_Copy(&status, dst.c_str(), src.c_str()), 1);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(kuttest::Exists(dst));
}
#endif

#if defined(KUT_TESTING)
namespace {

KBASE_SYSCALLS g_real;
std::wstring g_readOnlyDir;   // opens for writing below it fail with EACCES
std::wstring g_fullPath;      // opened for writing, it is the full device
int g_opens = 0;

bool Below(const std::wstring& path, const std::wstring& dir) {
    return !dir.empty() && path.compare(0, dir.size(), dir) == 0;
}

FILE* SeamOpen(const wchar_t* path, const char* mode) {
    ++g_opens;
    bool writing = std::strchr(mode, 'w') || std::strchr(mode, 'a') || std::strchr(mode, '+');
    if (writing && Below(path, g_readOnlyDir)) {
        errno = EACCES;
        return nullptr;
    }
    if (writing && !g_fullPath.empty() && g_fullPath == path) {
#if defined(_WIN32)
        // A read-only stream refuses every write, as a full disk does.
        FILE* f = g_real.open(path, "wb");
        if (f) std::fclose(f);
        return g_real.open(path, "rb");
#else
        return std::fopen("/dev/full", "wb");
#endif
    }
    return g_real.open(path, mode);
}

// Never lets a copy delete a device node, whoever runs the test.
int SeamRemove(const wchar_t* path) {
    if (std::wcsncmp(path, L"/dev/", 5) == 0) return -1;
    return g_real.remove(path);
}

class FileSeam : public ::testing::Test {
protected:
    void SetUp() override {
        KBASE_TestGetSyscalls(&g_real);
        KBASE_SYSCALLS s = g_real;
        s.open = SeamOpen;
        s.remove = SeamRemove;
        KBASE_TestSetSyscalls(&s);
        g_readOnlyDir.clear();
        g_fullPath.clear();
        g_opens = 0;
    }
    void TearDown() override { KBASE_TestSetSyscalls(nullptr); }
};

}  // namespace

TEST_F(FileSeam, CopyIntoFolderRefusingWritesFailsWithoutDestination) {
    kuttest::TempDir t;
    std::wstring src = t.file(L"src");
    ASSERT_TRUE(kuttest::WriteFile(src, "data"));
    kuttest::MakeDir(t.file(L"ro"));
    std::wstring dst = t.file(L"ro") + kSep + L"dst";
    ASSERT_TRUE(kuttest::WriteFile(dst, "existing"));
    g_readOnlyDir = t.file(L"ro");
    int status = 99;
    EXPECT_EQ(_FILE_Copy(&status, dst.c_str(), src.c_str()), 1);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(kuttest::Exists(dst));
    EXPECT_TRUE(kuttest::Exists(src));
}

TEST_F(FileSeam, CopyOntoFullDeviceFailsAndLeavesNoDestination) {
    kuttest::TempDir t;
    for (std::size_t size : {std::size_t(5), std::size_t(200000)}) {
        std::wstring src = t.file(L"src"), dst = t.file(L"dst");
        ASSERT_TRUE(kuttest::WriteFile(src, Bytes(size)));
        ASSERT_TRUE(kuttest::WriteFile(dst, "old"));
        g_fullPath = dst;
        int status = 99;
        // Small copies fail only when the buffered bytes are flushed at the
        // close; large ones at the write itself.
        EXPECT_EQ(_FILE_Copy(&status, dst.c_str(), src.c_str()), 1) << size;
        EXPECT_EQ(status, 0);
        EXPECT_FALSE(kuttest::Exists(dst)) << size;
    }
}

#if !defined(_WIN32)
TEST_F(FileSeam, CopyOntoDevFullReportsFailure) {
    kuttest::TempDir t;
    std::wstring src = t.file(L"src");
    for (std::size_t size : {std::size_t(5), std::size_t(200000)}) {
        ASSERT_TRUE(kuttest::WriteFile(src, Bytes(size)));
        int status = 99;
        EXPECT_EQ(_FILE_Copy(&status, L"/dev/full", src.c_str()), 1) << size;
        EXPECT_EQ(status, 0);
    }
    EXPECT_EQ(SYS_FileAccess(L"/dev/full") & 0170000, 0020000);  // still the device
}
#endif

TEST_F(FileSeam, ZipFailureDeletesTheDestination) {
    kuttest::TempDir t;
    std::wstring src = t.file(L"src");
    ASSERT_TRUE(kuttest::WriteFile(src, "data"));
    kuttest::MakeDir(t.file(L"ro"));
    std::wstring dst = t.file(L"ro") + kSep + L"dst";
    ASSERT_TRUE(kuttest::WriteFile(dst, "existing"));
    g_readOnlyDir = t.file(L"ro");
    int status = 99;
    EXPECT_EQ(_FILE_Zip(&status, dst.c_str(), src.c_str(), 9), 0);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(kuttest::Exists(dst));
}
#endif

TEST(FileOps, ZipLeavesAnEmptyFileWithTheSourcesDateAndMode) {
    kuttest::TempDir t;
    std::wstring src = t.file(L"src.dat"), dst = t.file(L"dst.z");
    ASSERT_TRUE(kuttest::WriteFile(src, Bytes(4000)));
    ASSERT_EQ(SYS_FileDateSet(src.c_str(), static_cast<unsigned short>((30 << 9) | (3 << 5) | 9),
                              static_cast<unsigned short>((8 << 11) | (15 << 5) | 21)), 0);
#if !defined(_WIN32)
    ASSERT_EQ(SYS_FileMode(src.c_str(), 0100600), 0);
#endif
    int status = 99;
    EXPECT_EQ(_FILE_Zip(&status, dst.c_str(), src.c_str(), 6), 0);
    EXPECT_EQ(status, 0);
    ASSERT_TRUE(kuttest::Exists(dst));
    EXPECT_EQ(Read(dst).size(), 0u);
    unsigned short d, tm;
    ASSERT_EQ(SYS_FileDateGet(dst.c_str(), &d, &tm), 0);
    EXPECT_EQ(d, (30 << 9) | (3 << 5) | 9);
    EXPECT_EQ(tm, (8 << 11) | (15 << 5) | 21);
    EXPECT_EQ(SYS_FileAccess(dst.c_str()), SYS_FileAccess(src.c_str()));

    // A missing source: the destination goes, the answer stays 0.
    EXPECT_EQ(_FILE_Zip(&status, dst.c_str(), t.file(L"none").c_str(), 6), 0);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(kuttest::Exists(dst));

    // The packing stage itself changes nothing.
    wchar_t name[] = L"n";
    wchar_t* np = name;
    unsigned int dt = 0x12345678;
    EXPECT_EQ(_FILE_FZip(&status, nullptr, nullptr, &np, &dt, 1), 0);
    EXPECT_EQ(np, name);
    EXPECT_EQ(dt, 0x12345678u);
}

TEST(FileOps, NamePasteTakesNameFromOneAndDirectoryFromTheOther) {
    std::wstring s(1, kSep);
    wchar_t out[260];
    int status = 99;
#if defined(_WIN32)
    _FILE_NamePaste(&status, L"D:\\x\\report.txt", L"C:\\data\\old.dat", out);
    EXPECT_STREQ(out, L"C:\\data\\report.txt");
#endif
    _FILE_NamePaste(&status, (s + L"x" + s + L"report.txt").c_str(), (s + L"data" + s + L"old.dat").c_str(), out);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::wstring(out), s + L"data" + s + L"report.txt");
    // The extension keeps at most 11 characters (its dot included).
    _FILE_NamePaste(&status, L"n.abcdefghijklmnop", (s + L"d" + s).c_str(), out);
    EXPECT_EQ(std::wstring(out), s + L"d" + s + L"n.abcdefghij");
    // A result that does not fit is empty, never cut.
    std::wstring longDir = s + std::wstring(250, L'd') + s;
    _FILE_NamePaste(&status, L"name.txt", longDir.c_str(), out);
    EXPECT_STREQ(out, L"");
    EXPECT_EQ(status, 0);
}

TEST(FileOps, MkDirCreatesEveryLevelOnceAndRmDirRemovesOne) {
    kuttest::TempDir t;
    std::wstring deep = t.path();
    for (const wchar_t* p : {L"a", L"b", L"c", L"d", L"e"}) deep += kSep + std::wstring(p);
    int status = 99;
    EXPECT_EQ(_FILE_MkDir(&status, (deep + kSep).c_str()), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(SYS_FileAccess(deep.c_str()) & 0170000, SYS_FileAccess(t.path().c_str()) & 0170000);
    EXPECT_TRUE(kuttest::Exists(deep));
    EXPECT_EQ(_FILE_MkDir(&status, (deep + kSep).c_str()), 0);  // all there already

    // Without a final separator the last component is a directory as well.
    std::wstring other = t.file(L"x") + kSep + L"y.z";
    EXPECT_EQ(_FILE_MkDir(&status, other.c_str()), 0);
    EXPECT_NE(SYS_FileAccess(other.c_str()), 0);
    EXPECT_EQ(SYS_FileLen(other.c_str()), -1);  // a directory, not a file

    EXPECT_EQ(_FILE_RmDir(&status, (deep + kSep).c_str()), 0);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(kuttest::Exists(deep));
    status = 99;
    EXPECT_EQ(_FILE_RmDir(&status, deep.c_str()), 0);  // absent: nothing to do
    EXPECT_EQ(status, 0);
    EXPECT_EQ(_FILE_RmDir(&status, t.file(L"a").c_str()), 1);  // not empty
    EXPECT_EQ(status, 255);
    EXPECT_TRUE(kuttest::Exists(t.file(L"a")));
}

#if defined(KUT_TESTING)
namespace {
int g_mkdirs = 0;
KBASE_SYSCALLS g_plain;
int CountingMkdir(const wchar_t* path) {
    ++g_mkdirs;
    return g_plain.mkdir(path);
}
}  // namespace

TEST(FileOps, MkDirAgainCallsNoCreation) {
    kuttest::TempDir t;
    std::wstring p = t.file(L"a") + kSep + L"b" + kSep;
    KBASE_TestGetSyscalls(&g_plain);
    KBASE_SYSCALLS s = g_plain;
    s.mkdir = CountingMkdir;
    KBASE_TestSetSyscalls(&s);
    int status = 0;
    _FILE_MkDir(&status, p.c_str());
    EXPECT_EQ(g_mkdirs, 2);
    _FILE_MkDir(&status, p.c_str());
    EXPECT_EQ(g_mkdirs, 2);
    KBASE_TestSetSyscalls(nullptr);
}
#endif

TEST(FileOps, PathsMustFitTheirBuffers) {
    kuttest::TempDir t;
    ASSERT_LT(t.path().size(), 200u);
    std::wstring src = t.file(L"s");
    ASSERT_TRUE(kuttest::WriteFile(src, "abc"));
    int status = 99;

    std::wstring p259 = PathOfLength(t.path(), 259, true);
    ASSERT_EQ(p259.size(), 259u);
    EXPECT_EQ(_FILE_Copy(&status, p259.c_str(), src.c_str()), 0);
    EXPECT_EQ(_FILE_Len(&status, p259.c_str()), 3);
    EXPECT_EQ(status, 0);
    FILE* f = _FILE_FOpen(&status, p259.c_str(), L"rb");
    EXPECT_NE(f, nullptr);
    _FILE_FClose(&status, f);

    for (std::size_t len : {std::size_t(260), std::size_t(261)}) {
        std::wstring p = PathOfLength(t.path(), len, true);
        ASSERT_EQ(p.size(), len);
        // The system could take it; our buffers cannot.
        ASSERT_TRUE(kuttest::WriteFile(p, "xyz")) << len;
        EXPECT_EQ(_FILE_Len(&status, p.c_str()), -1);
        EXPECT_EQ(status, 255);
        EXPECT_EQ(_FILE_FOpen(&status, p.c_str(), L"rb"), nullptr);
        EXPECT_EQ(status, 255);
        status = 99;
        EXPECT_EQ(_FILE_Copy(&status, p.c_str(), src.c_str()), 1);
        EXPECT_EQ(status, 0);
        std::string kept;
        ASSERT_TRUE(kuttest::ReadFile(p, &kept));
        EXPECT_EQ(kept, "xyz");  // not ours to touch
        std::wstring dst = t.file(L"from-long");
        EXPECT_EQ(_FILE_Copy(&status, dst.c_str(), p.c_str()), 1);
        EXPECT_FALSE(kuttest::Exists(dst));
        EXPECT_EQ(_FILE_RmDir(&status, p.c_str()), 1);
        EXPECT_EQ(status, 255);
        std::wstring dir = p + L"d";
        EXPECT_EQ(_FILE_MkDir(&status, dir.c_str()), 0);
        EXPECT_EQ(status, 0);
        EXPECT_FALSE(kuttest::Exists(dir));
    }
}
