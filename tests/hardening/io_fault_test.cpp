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
#include "testutil.h"

#if defined(KUT_TESTING)
namespace {

using kuttest::kSep;

KBASE_SYSCALLS g_real;
std::wstring g_unreadable;   // this file cannot be opened for reading
std::wstring g_readOnlyDir;  // nothing below it can be created, changed or removed
std::wstring g_fullPath;     // opened for writing, this path is a full device
std::vector<std::wstring> g_failed;

bool Device(const wchar_t* path) { return std::wcsncmp(path, L"/dev/", 5) == 0; }
bool ReadOnly(const wchar_t* path) {
    return !g_readOnlyDir.empty() && std::wcsncmp(path, g_readOnlyDir.c_str(), g_readOnlyDir.size()) == 0;
}
bool Refuse(bool refused) {
    if (refused) errno = EACCES;
    return refused;
}

// A full device exists only on Linux; the test that sets g_fullPath too.
FILE* SeamOpen(const wchar_t* path, const char* mode) {
    const bool writing = std::strpbrk(mode, "wa+") != nullptr;
    if (Refuse(writing ? ReadOnly(path) : g_unreadable == path)) return nullptr;
    return writing && g_fullPath == path ? std::fopen("/dev/full", "wb") : g_real.open(path, mode);
}
// Device nodes are never removed, re-dated or re-moded, whoever runs this.
int SeamRemove(const wchar_t* path) { return Refuse(Device(path) || ReadOnly(path)) ? -1 : g_real.remove(path); }
int SeamUtime(const wchar_t* p, long long mtime) { return Refuse(Device(p) || ReadOnly(p)) ? -1 : g_real.utime(p, mtime); }
int SeamChmod(const wchar_t* p, unsigned short mode) { return Refuse(Device(p) || ReadOnly(p)) ? -1 : g_real.chmod(p, mode); }
int SeamMkdir(const wchar_t* path) { return Refuse(ReadOnly(path)) ? -1 : g_real.mkdir(path); }

// Takes every name and gives up on every failed entry (answer 0), noting it.
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
    }
    void TearDown() override {
        KBASE_TestSetSyscalls(nullptr);
        REP_SetRepert(9, nullptr);
    }
    static std::string Read(const std::wstring& path) {
        std::string s;
        return kuttest::ReadFile(path, &s) ? s : "<unreadable>";
    }
    // A folder `name` holding a.txt and sub/b.txt.
    std::wstring Tree(const wchar_t* name) {
        const std::wstring from = m_dir.file(name);
        kuttest::MakeDir(from);
        kuttest::MakeDir(from + kSep + L"sub");
        EXPECT_TRUE(kuttest::WriteFile(from + kSep + L"a.txt", "A"));
        EXPECT_TRUE(kuttest::WriteFile(from + kSep + L"sub" + kSep + L"b.txt", "B"));
        return from;
    }
    kuttest::TempDir m_dir;
};

TEST_F(IoFault, UnreadableSourcesFailAndKeepTheSource) {
    const std::wstring src = m_dir.file(L"src"), dst = m_dir.file(L"dst");
    ASSERT_TRUE(kuttest::WriteFile(src, "precious"));
    g_unreadable = src;
    int status = 99;
    // The copy begins by deleting its destination, also when it then fails.
    ASSERT_TRUE(kuttest::WriteFile(dst, "old copy"));
    EXPECT_EQ(_FILE_Copy(&status, dst.c_str(), src.c_str()), 1);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(kuttest::Exists(dst));
    ASSERT_TRUE(kuttest::WriteFile(dst, "old pack"));
    EXPECT_EQ(_FILE_Zip(&status, dst.c_str(), src.c_str(), 6), 0);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(kuttest::Exists(dst));
    EXPECT_EQ(_FILE_FOpen(&status, src.c_str(), L"rb"), nullptr);
    EXPECT_EQ(status, 255);

    // In a tree copy the failed entry goes to the handler, which gives up on
    // it quietly; the rest is copied.
    const std::wstring from = Tree(L"from"), to = m_dir.file(L"to");
    kuttest::MakeDir(to);
    g_unreadable = from + kSep + L"a.txt";
    EXPECT_EQ(_FILE_TreeCopy(&status, to.c_str(), from.c_str(), L"*", L"*", 3, -1, NoteFailures), 0);
    g_unreadable.clear();
    EXPECT_EQ(g_failed, std::vector<std::wstring>{from + kSep + L"a.txt"});
    EXPECT_FALSE(kuttest::Exists(to + kSep + L"a.txt"));
    EXPECT_EQ(Read(to + kSep + L"sub" + kSep + L"b.txt"), "B");
    EXPECT_EQ(Read(from + kSep + L"a.txt") + Read(src), "Aprecious");

    // A folder opens as no file; so does a name in a missing folder. A
    // destination still to be named stays unnamed.
    ASSERT_TRUE(kuttest::WriteFile(dst, "keep me"));
    REP_SetRepert(9, m_dir.path().c_str());
    for (const std::wstring& bad : {from, m_dir.file(L"missing") + kSep + L"x.txt"}) {
        std::wstring name = dst;
        wchar_t generated[300] = L"";
        EXPECT_EQ(DECODE_Convert(bad.c_str(), &name[0], 1), 1);
        EXPECT_EQ(DECODE_Convert(bad.c_str(), generated, 1), 1);
        EXPECT_STREQ(generated, L"");
    }
    EXPECT_EQ(Read(dst), "keep me");
}

TEST_F(IoFault, ReadOnlyDestinationsFailAndKeepWhatIsThere) {
    const std::wstring src = m_dir.file(L"src"), ro = m_dir.file(L"ro"), dst = ro + kSep + L"a.txt";
    ASSERT_TRUE(kuttest::WriteFile(src, "data"));
    kuttest::MakeDir(ro);
    ASSERT_TRUE(kuttest::WriteFile(dst, "theirs"));
    g_readOnlyDir = ro;
    int status = 99;
    // A folder that refuses changes also refuses the delete: what was there
    // stays, and neither operation reports success.
    EXPECT_EQ(_FILE_Copy(&status, dst.c_str(), src.c_str()), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(_FILE_Zip(&status, dst.c_str(), src.c_str(), 6), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Read(dst), "theirs");

    // The sub-folder and the file could not be made, the existing file not
    // replaced: each went to the handler.
    const std::wstring from = Tree(L"from");
    _FILE_TreeCopy(&status, ro.c_str(), from.c_str(), L"*", L"*", 3, -1, NoteFailures);
    g_readOnlyDir.clear();
    EXPECT_GE(g_failed.size(), 2u);
    EXPECT_FALSE(kuttest::Exists(ro + kSep + L"sub"));
    EXPECT_EQ(Read(dst), "theirs");
    EXPECT_EQ(Read(from + kSep + L"a.txt") + Read(from + kSep + L"sub" + kSep + L"b.txt") + Read(src), "ABdata");

    // A destination that is a folder, or in a missing one, cannot be opened.
    const std::wstring text = m_dir.file(L"in.txt");
    ASSERT_TRUE(kuttest::WriteFile(text, "line\r\n"));
    for (const std::wstring& bad : {from, m_dir.file(L"none") + kSep + L"out.txt"}) {
        std::wstring name = bad;
        EXPECT_EQ(DECODE_Convert(text.c_str(), &name[0], 1), 2);
        EXPECT_EQ(name, bad);
    }
    EXPECT_EQ(Read(text), "line\r\n");
}

#if !defined(_WIN32)
TEST_F(IoFault, FullDeviceFailsWritesAndKeepsTheSource) {
    std::string bytes(300000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 23);
    const std::wstring src = m_dir.file(L"src");
    ASSERT_TRUE(kuttest::WriteFile(src, bytes));
    const unsigned short before = SYS_FileAccess(L"/dev/full");
    ASSERT_EQ(before & 0170000, 0020000);
    int status = 99;
    for (int size : {500, 5000, 300000}) {
        FILE* in = _FILE_FOpen(&status, src.c_str(), L"rb");
        FILE* out = std::fopen("/dev/full", "wb");
        ASSERT_TRUE(in && out);
        std::setvbuf(out, nullptr, _IONBF, 0);  // every write reaches the device
        EXPECT_EQ(_FILE_FCopy(&status, out, in, size), size) << size;
        EXPECT_EQ(status, 255);
        std::fclose(in);
        std::fclose(out);
    }
    // Packing writes no data, so a full device costs nothing: the result is
    // 0, whether the device is named or sits behind a file's name.
    EXPECT_EQ(_FILE_Zip(&status, L"/dev/full", src.c_str(), 9), 0);
    EXPECT_EQ(status, 0);
    const std::wstring dst = m_dir.file(L"dst");
    ASSERT_TRUE(kuttest::WriteFile(dst, "old"));
    g_fullPath = dst;
    EXPECT_EQ(_FILE_Zip(&status, dst.c_str(), src.c_str(), 9), 0);
    EXPECT_EQ(status, 0);

    // Write errors once both files are open are not reported: the result is
    // 0, the conversion ends, and the source is byte for byte what it was.
    const std::wstring dos = m_dir.file(L"dos.txt");
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "kesto line \x82\x8A " + std::to_string(i) + "\r\n";
    ASSERT_TRUE(kuttest::WriteFile(dos, text));
    wchar_t full[] = L"/dev/full";
    EXPECT_EQ(DECODE_Convert(dos.c_str(), full, 34), 0);
    EXPECT_STREQ(full, L"/dev/full");
    EXPECT_EQ(Read(dos), text);
    EXPECT_EQ(Read(src), bytes);
    EXPECT_EQ(SYS_FileAccess(L"/dev/full"), before);
}
#endif

}  // namespace
#endif
