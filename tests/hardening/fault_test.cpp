// Faults a caller cannot prevent: a full device behind the destination,
// files that cannot be opened, folders that refuse writes. The tests run as
// root, where permission bits stop nothing, so the refusals come from the
// system-call tables of kbase and kut. Each case ends in the operation's
// documented answer and leaves the user's files as they were.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "imgfile.h"
#include "kbase/kbase.h"
#include "kbase/testing.h"
#include "kopts/kopts.h"
#include "kut/decode.h"
#include "kut/file.h"
#include "kut/img.h"
#include "kut/testing.h"
#include "kut/units.h"
#include "testutil.h"

namespace {

using kuttest::Difference;
using kuttest::kSep;
using kuttest::Pattern;
using kuttest::Read;

KBASE_SYSCALLS g_base;
KUT_SYSCALLS g_kut;
std::set<std::wstring> g_refused;  // kut opens none of these
std::wstring g_unreadable;         // kbase does not open this file for reading
std::wstring g_readOnlyDir;        // nothing below it can be created, changed or removed
std::wstring g_fullPath;           // opened for writing, this path is a full device
std::vector<std::wstring> g_failed;
int g_refusals = 0;

bool Device(const wchar_t* path) { return std::wstring(path).rfind(L"/dev/", 0) == 0; }
bool ReadOnly(const wchar_t* path) { return !g_readOnlyDir.empty() && std::wstring(path).rfind(g_readOnlyDir, 0) == 0; }
bool Refuse(bool refused) { return refused && (errno = EACCES, true); }
bool Refused(const wchar_t* path) { return path && g_refused.count(path) && ++g_refusals; }

// A full device exists only on Linux; the test that sets g_fullPath too.
FILE* BaseOpen(const wchar_t* path, const char* mode) {
    const bool writing = std::strpbrk(mode, "wa+") != nullptr;
    if (Refuse(writing ? ReadOnly(path) : g_unreadable == path)) return nullptr;
    return writing && g_fullPath == path ? std::fopen("/dev/full", "wb") : g_base.open(path, mode);
}
FILE* KutOpen(const wchar_t* path, const char* mode) { return Refused(path) ? nullptr : g_kut.open(path, mode); }
// Device nodes are never removed, re-dated or re-moded, whoever runs this.
int SeamRemove(const wchar_t* path) { return Refuse(Device(path) || ReadOnly(path)) ? -1 : g_base.remove(path); }
int SeamUtime(const wchar_t* p, long long mtime) { return Refuse(Device(p) || ReadOnly(p)) ? -1 : g_base.utime(p, mtime); }
int SeamChmod(const wchar_t* p, unsigned short mode) { return Refuse(Device(p) || ReadOnly(p)) ? -1 : g_base.chmod(p, mode); }
int SeamMkdir(const wchar_t* path) { return Refuse(ReadOnly(path)) ? -1 : g_base.mkdir(path); }

// Takes every name and gives up on every failed entry (answer 0), noting it.
int NoteFailures(const wchar_t* name, FTW_CTX* ctx) {
    if (ctx->kind == 4 && ctx->error != 0) g_failed.emplace_back(name), ctx->error = 0;
    return 0;
}

class IoFault : public ::testing::Test {
protected:
    void SetUp() override {
        KBASE_TestGetSyscalls(&g_base);
        KBASE_SYSCALLS s = g_base;
        s.open = BaseOpen, s.remove = SeamRemove, s.mkdir = SeamMkdir, s.utime = SeamUtime, s.chmod = SeamChmod;
        KBASE_TestSetSyscalls(&s);
        KUT_TestGetSyscalls(&g_kut);
        KUT_SYSCALLS k = g_kut;
        k.open = KutOpen;
        KUT_TestSetSyscalls(&k);
    }
    void TearDown() override {
        KBASE_TestSetSyscalls(nullptr), KUT_TestSetSyscalls(nullptr);
        REP_SetRepert(9, nullptr);
    }
    kuttest::TempDir m_dir;
    int m_status = 99;
};

TEST_F(IoFault, RefusedAccessFailsAndKeepsTheUsersFiles) {
    const std::wstring src = m_dir.file(L"src"), from = m_dir.file(L"from"), to = m_dir.file(L"to"), ro = m_dir.file(L"ro");
    const std::wstring theirs = ro + kSep + L"a.txt";
    for (const std::wstring& folder : {to, ro, from + kSep + L"sub"}) kuttest::MakeDir(folder);
    const std::pair<std::wstring, std::string> files[] = {
        {src, "precious"}, {theirs, "theirs"}, {from + kSep + L"a.txt", "A"}, {from + kSep + L"sub" + kSep + L"b.txt", "B"}};
    for (const auto& f : files) ASSERT_TRUE(kuttest::WriteFile(f.first, f.second));
    // A folder that refuses changes also refuses the delete: what was there
    // stays, and neither operation reports success.
    g_readOnlyDir = ro;
    EXPECT_EQ(_FILE_Copy(&m_status, theirs.c_str(), src.c_str()) * 10 + m_status, 10);
    EXPECT_EQ(_FILE_Zip(&m_status, theirs.c_str(), src.c_str(), 6) * 10 + m_status, 0);
    // Tree copies hand each failed entry to the handler, which gives up on it
    // quietly: from an unreadable file the rest is copied; into a read-only
    // folder the sub-folder and the file cannot be made, the existing file
    // not replaced.
    g_unreadable = from + kSep + L"a.txt";
    EXPECT_EQ(_FILE_TreeCopy(&m_status, to.c_str(), from.c_str(), L"*", L"*", 3, -1, NoteFailures), 0);
    EXPECT_EQ(g_failed, std::vector<std::wstring>{g_unreadable});
    g_unreadable.clear();
    EXPECT_FALSE(kuttest::Exists(to + kSep + L"a.txt"));
    EXPECT_EQ(Read(to + kSep + L"sub" + kSep + L"b.txt"), "B");
    _FILE_TreeCopy(&m_status, ro.c_str(), from.c_str(), L"*", L"*", 3, -1, NoteFailures);
    g_readOnlyDir.clear();
    EXPECT_GE(g_failed.size(), 3u);
    EXPECT_FALSE(kuttest::Exists(ro + kSep + L"sub"));
    EXPECT_EQ(Read(theirs) + Read(src) + Read(from + kSep + L"a.txt") + Read(from + kSep + L"sub" + kSep + L"b.txt"),
              "theirspreciousAB");
}

// A source that cannot be opened is answer 1 (a destination still to be
// named stays unnamed), a destination that cannot be opened answer 2; neither
// touches an existing destination. A folder opens as no file.
TEST_F(IoFault, ConversionNamesTheSideThatCannotBeOpened) {
    const std::wstring src = m_dir.file(L"dos.txt"), dst = m_dir.file(L"win.txt"), folder = m_dir.file(L"folder");
    ASSERT_TRUE(kuttest::WriteFile(src, "abc\r\n"));
    kuttest::MakeDir(folder);
    REP_SetRepert(9, m_dir.path().c_str());
    struct Case {
        const char* what;
        std::wstring from, to, refused;
        int result;
    };
    const Case cases[] = {
        {"source refused", src, dst, src, 1},      {"source refused, name to make", src, L"", src, 1},
        {"source a folder", folder, dst, L"", 1},  {"source a folder, name to make", folder, L"", L"", 1},
        {"destination refused", src, dst, dst, 2}, {"destination a folder", src, folder, L"", 2},
        {"both open", src, dst, L"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(kuttest::WriteFile(dst, "keep me"));
        g_refused = {c.refused};
        std::vector<wchar_t> name(c.to.begin(), c.to.end());
        name.resize(KUT_PATH_MAX);
        EXPECT_EQ(DECODE_Convert(c.from.c_str(), name.data(), 34), c.result);
        EXPECT_EQ(std::wstring(name.data()), c.to);
        EXPECT_EQ(Read(dst) == "keep me", c.result != 0);
    }
    EXPECT_EQ(Read(src), "abc\r\n");
}

// Readers of a file that is found but cannot be opened: units answer -1, an
// image index that cannot be read leaves the module unknown, a bitmap that
// cannot be read (a cache with memory closes the file between calls) fails
// its call. Each works again once the opens do.
TEST_F(IoFault, FileFoundButNotOpenedFailsItsCalls) {
    const std::wstring cfg = m_dir.file(L"unimet.cfg"), img = m_dir.file(L"open.img");
    ASSERT_TRUE(kuttest::WriteFile(cfg, "2\r\nM, 1.0\r\nMM, 1000.0\r\n0\r\n0\r\n"));
    REP_SetRepert(1, m_dir.path().c_str());
    CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC] = 0;
    KUT_Units units;
    wchar_t m[] = L"M", mm[] = L"MM";
    g_refused = {cfg};
    EXPECT_EQ(units.LenghtCoeff(m, mm), -1.0);
    EXPECT_EQ(units.GetLenghtCoeff(mm), -1.0);
    EXPECT_EQ(g_refusals, 2);
    g_refused.clear();
    EXPECT_EQ(units.LenghtCoeff(m, mm), 1000.0);
    REP_SetRepert(1, nullptr);

    std::string bmp, bytes, error;
    ASSERT_TRUE(kuttools::EncodeBmp({3, 2, std::vector<std::uint32_t>(6, 0x102030u)}, 24, false, &bmp, &error)) << error;
    ASSERT_TRUE(kuttools::ImageFileBytes({{"FIRST", {bmp}}}, &bytes, &error)) << error;
    ASSERT_TRUE(kuttest::WriteFile(img, bytes));
    short w = 0, h = 0;
    g_refused = {img}, g_refusals = 0;
    IMG_SetImgPathFileName(img.c_str());
    EXPECT_EQ(IMG_CreateLabel(L"FIRST", 0, nullptr), -1);
    EXPECT_EQ(g_refusals, 1);
    g_refused.clear();
    IMG_SetImgPathFileName(img.c_str());
    ASSERT_EQ(IMG_Init(16), 0);
    ASSERT_EQ(IMG_CreateLabel(L"FIRST", 0, nullptr), 0);
    g_refused = {img};
    EXPECT_EQ(IMG_ImgSize(L"FIRST", 0, &w, &h), -1);
    EXPECT_GT(g_refusals, 1);
    g_refused.clear();
    EXPECT_EQ(IMG_ImgSize(L"FIRST", 0, &w, &h), 0);
    EXPECT_EQ(w * 10 + h, 32);
    IMG_Close();
}

#if !defined(_WIN32)
TEST_F(IoFault, FullDeviceFailsWritesAndKeepsTheSource) {
    const std::string bytes = Pattern(300000);
    const unsigned short before = SYS_FileAccess(L"/dev/full");
    ASSERT_EQ(before & 0170000, 0020000);
    // The static buffer, an allocated chunk, the system's transfer: every
    // byte is left, whatever path the copy takes.
    const std::wstring in = m_dir.file(L"in"), dst = m_dir.file(L"dst"), dos = m_dir.file(L"dos.txt");
    ASSERT_TRUE(kuttest::WriteFile(in, bytes));
    for (int size : {500, 5000, 300000}) {
        FILE* fin = _FILE_FOpen(&m_status, in.c_str(), L"rb");
        FILE* full = _FILE_FOpen(&m_status, L"/dev/full", L"wb");
        ASSERT_TRUE(fin && full && std::setvbuf(full, nullptr, _IONBF, 0) == 0);  // every write reaches the device
        EXPECT_EQ(_FILE_FCopy(&m_status, full, fin, size) * 1000 + m_status, size * 1000 + 255);
        _FILE_FClose(&m_status, fin), _FILE_FClose(&m_status, full);
    }
    // Packing writes no data, so a full device costs nothing: the result is
    // 0, whether the device is named or sits behind a file's name.
    g_fullPath = dst;
    for (const wchar_t* to : {L"/dev/full", dst.c_str()}) EXPECT_EQ(_FILE_Zip(&m_status, to, in.c_str(), 9) * 10 + m_status, 0);
    // Write errors once both files are open are not reported: the result is
    // 0, the conversion ends, and the source is byte for byte what it was.
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "kesto line \x82\x8A " + std::to_string(i) + "\r\n";
    ASSERT_TRUE(kuttest::WriteFile(dos, text));
    wchar_t full[] = L"/dev/full";
    EXPECT_EQ(DECODE_Convert(dos.c_str(), full, 34), 0);
    EXPECT_EQ(std::wstring(full), L"/dev/full");
    EXPECT_EQ(Difference(Read(dos), text), "");
    EXPECT_EQ(Difference(Read(in), bytes), "");
    EXPECT_EQ(SYS_FileAccess(L"/dev/full"), before);
}
#endif

}  // namespace
