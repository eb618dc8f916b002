// Failing devices and refused access: a full device behind the destination,
// a source that cannot be read, a destination folder that refuses writes.
// The tests run as root, where permission bits do not stop anything, so the
// refusals come from kbase's system-call seam; DECODE_Convert opens its
// files without kbase and is given paths that cannot be opened instead.
// Each case checks the documented answer and that the user's files are as
// they were.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "kbase/kbase.h"
#include "kbase/testing.h"
#include "kut/decode.h"
#include "kut/file.h"
#include "kut/testing.h"
#include "testutil.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

#if defined(KUT_TESTING)
namespace {

using kuttest::kSep;

KBASE_SYSCALLS g_real;
std::wstring g_unreadable;   // this file cannot be opened for reading
std::wstring g_readOnlyDir;  // nothing below it can be created, changed or removed
std::wstring g_fullPath;     // opened for writing, this path is a full device

bool Below(const wchar_t* path, const std::wstring& dir) {
    return !dir.empty() && std::wcsncmp(path, dir.c_str(), dir.size()) == 0;
}

bool Device(const wchar_t* path) { return std::wcsncmp(path, L"/dev/", 5) == 0; }

FILE* SeamOpen(const wchar_t* path, const char* mode) {
    const bool writing = std::strchr(mode, 'w') || std::strchr(mode, 'a') || std::strchr(mode, '+');
    if (!writing && g_unreadable == path) {
        errno = EACCES;
        return nullptr;
    }
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

// Device nodes are never removed, re-dated or re-moded, whoever runs this.
int SeamRemove(const wchar_t* path) {
    if (Device(path) || Below(path, g_readOnlyDir)) {
        errno = EACCES;
        return -1;
    }
    return g_real.remove(path);
}
int SeamUtime(const wchar_t* path, long long mtime) {
    if (Device(path) || Below(path, g_readOnlyDir)) return -1;
    return g_real.utime(path, mtime);
}
int SeamChmod(const wchar_t* path, unsigned short mode) {
    if (Device(path) || Below(path, g_readOnlyDir)) return -1;
    return g_real.chmod(path, mode);
}
int SeamMkdir(const wchar_t* path) {
    if (Below(path, g_readOnlyDir)) {
        errno = EACCES;
        return -1;
    }
    return g_real.mkdir(path);
}

// Takes every name and gives up on every failed entry (answer 0), noting it.
std::vector<std::wstring> g_failed;
int NoteFailures(const wchar_t* name, FTW_CTX* ctx) {
    if (ctx->kind == 4 && ctx->error != 0) {
        g_failed.emplace_back(name);
        ctx->error = 0;
    }
    return 0;
}

class IoFault : public ::testing::Test {
protected:
    void SetUp() override {
        KBASE_TestGetSyscalls(&g_real);
        KBASE_SYSCALLS s = g_real;
        s.open = SeamOpen;
        s.remove = SeamRemove;
        s.utime = SeamUtime;
        s.chmod = SeamChmod;
        s.mkdir = SeamMkdir;
        KBASE_TestSetSyscalls(&s);
        g_unreadable.clear();
        g_readOnlyDir.clear();
        g_fullPath.clear();
        g_failed.clear();
    }
    void TearDown() override {
        KBASE_TestSetSyscalls(nullptr);
        REP_SetRepert(9, nullptr);
    }

    static std::string Read(const std::wstring& path) {
        std::string s;
        kuttest::ReadFile(path, &s);
        return s;
    }
    static std::string Bytes(std::size_t n) {
        std::string s(n, '\0');
        for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 23);
        return s;
    }

    kuttest::TempDir m_dir;
};

// ---- unreadable sources ------------------------------------------------------

TEST_F(IoFault, UnreadableSourceFailsCopyAndZipAndKeepsTheSource) {
    const std::wstring src = m_dir.file(L"src"), dst = m_dir.file(L"dst");
    ASSERT_TRUE(kuttest::WriteFile(src, "precious"));
    g_unreadable = src;
    int status = 99;
    ASSERT_TRUE(kuttest::WriteFile(dst, "old copy"));
    EXPECT_EQ(_FILE_Copy(&status, dst.c_str(), src.c_str()), 1);
    EXPECT_EQ(status, 0);
    // The copy begins by deleting its destination, also when it then fails.
    EXPECT_FALSE(kuttest::Exists(dst));

    status = 99;
    ASSERT_TRUE(kuttest::WriteFile(dst, "old pack"));
    EXPECT_EQ(_FILE_Zip(&status, dst.c_str(), src.c_str(), 6), 0);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(kuttest::Exists(dst));

    status = 99;
    EXPECT_EQ(_FILE_FOpen(&status, src.c_str(), L"rb"), nullptr);
    EXPECT_EQ(status, 255);
    g_unreadable.clear();
    EXPECT_EQ(Read(src), "precious");
}

TEST_F(IoFault, TreeCopyOfAnUnreadableFileKeepsTheRestAndTheSource) {
    const std::wstring from = m_dir.file(L"from"), to = m_dir.file(L"to");
    kuttest::MakeDir(from);
    kuttest::MakeDir(to);
    ASSERT_TRUE(kuttest::WriteFile(from + kSep + L"a.txt", "A"));
    ASSERT_TRUE(kuttest::WriteFile(from + kSep + L"b.txt", "B"));
    g_unreadable = from + kSep + L"a.txt";
    int status = 99;
    const int result = _FILE_TreeCopy(&status, to.c_str(), from.c_str(), L"*", L"*", 3, -1, NoteFailures);
    g_unreadable.clear();
    // The failed entry goes to the handler, which gives up on it quietly.
    EXPECT_EQ(result, 0);
    ASSERT_EQ(g_failed.size(), 1u);
    EXPECT_EQ(g_failed[0], from + kSep + L"a.txt");
    EXPECT_FALSE(kuttest::Exists(to + kSep + L"a.txt"));
    EXPECT_EQ(Read(to + kSep + L"b.txt"), "B");
    EXPECT_EQ(Read(from + kSep + L"a.txt"), "A");
    EXPECT_EQ(Read(from + kSep + L"b.txt"), "B");
}

TEST_F(IoFault, ConvertOfASourceThatCannotBeOpenedTouchesNothing) {
    const std::wstring dst = m_dir.file(L"out.txt");
    ASSERT_TRUE(kuttest::WriteFile(dst, "keep me"));
    // A folder opens as no file; so does a name in a missing folder.
    kuttest::MakeDir(m_dir.file(L"folder.txt"));
    for (const std::wstring& src : {m_dir.file(L"folder.txt"), m_dir.file(L"missing") + kSep + L"x.txt"}) {
        std::wstring name = dst;
        EXPECT_EQ(DECODE_Convert(src.c_str(), &name[0], 1), 1);
        EXPECT_EQ(Read(dst), "keep me");
        // A destination still to be named stays unnamed.
        REP_SetRepert(9, m_dir.path().c_str());
        wchar_t generated[300] = L"";
        EXPECT_EQ(DECODE_Convert(src.c_str(), generated, 1), 1);
        EXPECT_STREQ(generated, L"");
    }
#if !defined(_WIN32)
    if (::geteuid() != 0) {
        // Without root, permission bits do refuse the read.
        const std::wstring locked = m_dir.file(L"locked.txt");
        ASSERT_TRUE(kuttest::WriteFile(locked, "secret\r\n"));
        ASSERT_EQ(SYS_FileMode(locked.c_str(), 0100000), 0);
        std::wstring name = dst;
        EXPECT_EQ(DECODE_Convert(locked.c_str(), &name[0], 1), 1);
        EXPECT_EQ(Read(dst), "keep me");
    }
#endif
}

// ---- destinations that refuse writes -------------------------------------------

TEST_F(IoFault, ReadOnlyDestinationFolderFailsZipAndKeepsWhatIsThere) {
    const std::wstring src = m_dir.file(L"src"), ro = m_dir.file(L"ro");
    ASSERT_TRUE(kuttest::WriteFile(src, "data"));
    kuttest::MakeDir(ro);
    const std::wstring dst = ro + kSep + L"dst";
    ASSERT_TRUE(kuttest::WriteFile(dst, "existing"));
    g_readOnlyDir = ro;
    int status = 99;
    // A folder that refuses changes also refuses the delete: what was there
    // stays, and neither operation reports success.
    EXPECT_EQ(_FILE_Copy(&status, dst.c_str(), src.c_str()), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Read(dst), "existing");
    EXPECT_EQ(_FILE_Zip(&status, dst.c_str(), src.c_str(), 6), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Read(dst), "existing");
    EXPECT_EQ(Read(src), "data");
}

TEST_F(IoFault, TreeCopyIntoAReadOnlyFolderFailsEachEntryAndKeepsTheSource) {
    const std::wstring from = m_dir.file(L"from"), ro = m_dir.file(L"ro");
    kuttest::MakeDir(from);
    kuttest::MakeDir(from + kSep + L"sub");
    kuttest::MakeDir(ro);
    ASSERT_TRUE(kuttest::WriteFile(from + kSep + L"a.txt", "A"));
    ASSERT_TRUE(kuttest::WriteFile(from + kSep + L"sub" + kSep + L"b.txt", "B"));
    ASSERT_TRUE(kuttest::WriteFile(ro + kSep + L"a.txt", "theirs"));
    g_readOnlyDir = ro;
    int status = 99;
    _FILE_TreeCopy(&status, ro.c_str(), from.c_str(), L"*", L"*", 3, -1, NoteFailures);
    g_readOnlyDir.clear();
    // The folder and the file could not be made, the existing file not
    // replaced: each went to the handler.
    EXPECT_GE(g_failed.size(), 2u);
    EXPECT_FALSE(kuttest::Exists(ro + kSep + L"sub"));
    EXPECT_EQ(Read(ro + kSep + L"a.txt"), "theirs");
    EXPECT_EQ(Read(from + kSep + L"a.txt"), "A");
    EXPECT_EQ(Read(from + kSep + L"sub" + kSep + L"b.txt"), "B");
}

TEST_F(IoFault, ConvertIntoAFolderThatCannotTakeTheFileFailsWithTwo) {
    const std::wstring src = m_dir.file(L"in.txt");
    ASSERT_TRUE(kuttest::WriteFile(src, "line\r\n"));
    kuttest::MakeDir(m_dir.file(L"taken"));
    for (const std::wstring& dst : {m_dir.file(L"taken"), m_dir.file(L"none") + kSep + L"out.txt"}) {
        std::wstring name = dst;
        EXPECT_EQ(DECODE_Convert(src.c_str(), &name[0], 1), 2);
        EXPECT_EQ(name, dst);
    }
    EXPECT_EQ(Read(src), "line\r\n");
}

#if !defined(_WIN32)
// ---- a full device ---------------------------------------------------------------

TEST_F(IoFault, ZipOntoAFullDeviceWritesNothingAndKeepsTheSource) {
    // Packing writes no data, so a full device costs nothing: the result is
    // 0 and the device stays a device.
    const std::wstring src = m_dir.file(L"src");
    ASSERT_TRUE(kuttest::WriteFile(src, Bytes(70000)));
    const unsigned short before = SYS_FileAccess(L"/dev/full");
    int status = 99;
    EXPECT_EQ(_FILE_Zip(&status, L"/dev/full", src.c_str(), 9), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(SYS_FileAccess(L"/dev/full"), before);
    EXPECT_EQ(before & 0170000, 0020000);

    const std::wstring dst = m_dir.file(L"dst");
    ASSERT_TRUE(kuttest::WriteFile(dst, "old"));
    g_fullPath = dst;
    EXPECT_EQ(_FILE_Zip(&status, dst.c_str(), src.c_str(), 9), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Read(src), Bytes(70000));
}

TEST_F(IoFault, FCopyOntoAFullDeviceReportsTheBytesLeft) {
    const std::wstring src = m_dir.file(L"src");
    for (int size : {500, 5000, 300000}) {
        ASSERT_TRUE(kuttest::WriteFile(src, Bytes(static_cast<std::size_t>(size))));
        int status = 99;
        FILE* in = _FILE_FOpen(&status, src.c_str(), L"rb");
        FILE* out = std::fopen("/dev/full", "wb");
        ASSERT_TRUE(in && out);
        std::setvbuf(out, nullptr, _IONBF, 0);  // every write reaches the device
        EXPECT_EQ(_FILE_FCopy(&status, out, in, size), size) << size;
        EXPECT_EQ(status, 255);
        std::fclose(in);
        std::fclose(out);
        EXPECT_EQ(Read(src), Bytes(static_cast<std::size_t>(size)));
    }
}

TEST_F(IoFault, ConvertOntoAFullDeviceEndsAndLeavesTheSourceAlone) {
    // Write errors once both files are open are not reported: the result is
    // 0, the conversion ends, and the source is byte for byte what it was.
    const std::wstring src = m_dir.file(L"dos.txt");
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "kesto line \x82\x8A " + std::to_string(i) + "\r\n";
    ASSERT_TRUE(kuttest::WriteFile(src, text));
    wchar_t dst[] = L"/dev/full";
    EXPECT_EQ(DECODE_Convert(src.c_str(), dst, 34), 0);
    EXPECT_STREQ(dst, L"/dev/full");
    EXPECT_EQ(Read(src), text);
    EXPECT_EQ(SYS_FileAccess(L"/dev/full") & 0170000, 0020000);
}
#endif

}  // namespace
#endif
