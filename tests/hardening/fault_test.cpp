// Fault injection. Allocation failure, SQLite style: fail allocation N (once,
// then from N on) for N = 0, 1, 2 ... until the operation runs without a
// failure. Failing devices and refused access: a full device behind the
// destination, a source that cannot be read, a destination folder that
// refuses writes. The tests run as root, where permission bits do not stop
// anything, so the refusals come from kbase's system-call seam;
// DECODE_Convert opens its files without kbase and is given paths that cannot
// be opened instead. Every case must end in the operation's documented
// answer, never crash, leave the user's files as they were, and (in the asan
// build, where LeakSanitizer runs at exit) leak nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "imgfile.h"
#include "kbase/kbase.h"
#include "kbase/testing.h"
#include "kopts/kopts.h"
#include "kut/decode.h"
#include "kut/file.h"
#include "kut/img.h"
#include "kut/msg.h"
#include "kut/testing.h"
#include "kut/units.h"
#include "langlib_writer.h"
#include "testutil.h"

#if defined(KUT_TESTING)
namespace {

using kuttest::Difference;
using kuttest::kSep;
using kuttest::Pattern;
using kuttest::Read;

// Runs `run` once per N, failing once and then persistently, and hands
// `judge` the number of failed allocations; stops at the first run with none.
// Returns the number of runs that failed something, per mode. The bound is
// far above what any operation here allocates.
template <class Run, class Judge>
std::vector<long> FailEachAllocation(Run run, Judge judge) {
    std::vector<long> runs;
    for (int persistent : {0, 1}) {
        SCOPED_TRACE(persistent ? "persistent" : "once");
        long n = 0, failed = 1;
        for (; failed && n < 5000; ++n) {
            KUT_TestFailAlloc(n, persistent);
            run();
            failed = KUT_TestAllocFailures();
            KUT_TestFailAlloc(-1, 0);
            judge(n, failed);
        }
        EXPECT_EQ(failed, 0) << "still failing after 5000 allocations";
        runs.push_back(n - 1);
    }
    return runs;
}

// Copies `bytes` bytes of a stream holding `input` into an unbuffered stream
// on `out` (so that every write reaches a device) and tells "<bytes left>
// <status> whole" when all of `input` came out; a device is not read back.
std::string FCopy(const kuttest::TempDir& t, const std::string& input, int bytes, std::wstring out = L"") {
    const std::wstring in = t.file(L"in");
    int status = 99, left = -1, copyStatus = -1;
    if (!kuttest::WriteFile(in, input)) return "cannot write the input";
    FILE* fin = _FILE_FOpen(&status, in.c_str(), L"rb");
    FILE* fout = _FILE_FOpen(&status, (out.empty() ? out = t.file(L"out") : out).c_str(), L"wb");
    if (fin && fout && std::setvbuf(fout, nullptr, _IONBF, 0) == 0) left = _FILE_FCopy(&copyStatus, fout, fin, bytes);
    _FILE_FClose(&status, fin), _FILE_FClose(&status, fout);
    const std::string written = out.compare(0, 5, L"/dev/") == 0 ? "" : Read(out);
    return std::to_string(left) + " " + std::to_string(copyStatus) +
           (written == input ? " whole" : " " + std::to_string(written.size()) + " bytes");
}

TEST(AllocFault, CopiesShrinkTheirChunkAndStayComplete) {
    kuttest::TempDir t;
    // Sizes around the static buffer, a remainder, and a large one that goes
    // through many shrinking attempts when every allocation fails. Failing is
    // never an error here: the chunk shrinks, and the file copy built on it
    // leaves a whole destination and its source as it was.
    const std::wstring in = t.file(L"in"), dst = t.file(L"dst");
    for (int size : {1025, 3000, 3001, 70001, 300000}) {
        const std::string input = Pattern(static_cast<std::size_t>(size));
        std::string fcopy;
        int copied = -1, status = 99;
        auto run = [&] {
            fcopy = FCopy(t, input, size);
            copied = _FILE_Copy(&status, dst.c_str(), in.c_str());
        };
        FailEachAllocation(run, [&](long n, long) {
            SCOPED_TRACE(testing::Message() << size << " bytes, allocation " << n);
            EXPECT_EQ(fcopy, "0 0 whole");
            EXPECT_EQ(copied, 0);
            EXPECT_EQ(Difference(Read(dst), input), "") << "destination";
            EXPECT_EQ(Difference(Read(in), input), "") << "source";
        });
    }
    // Blocks above 1,025 bytes cannot be had: 2,000,000 bytes then go in
    // 1,950 parts of 1,025 bytes and a remainder of 1,250 that needs two more
    // passes, not one. Passes read whole chunks: with more input than asked,
    // the last one takes 4 bytes too many, as a short static-buffer pass does.
    const std::string input = Pattern(2000000);
    KUT_TestFailAllocAbove(1025);
    EXPECT_EQ(FCopy(t, input, 2000000), "0 0 whole");
    EXPECT_EQ(KUT_TestAllocFailures(), 1949);
    EXPECT_EQ(FCopy(t, input + "tail", 2000000), "-4 255 whole");
    KUT_TestFailAllocAbove(-1);
}

// The texts of every kind of K_MSG object, in one list.
std::vector<std::wstring> MsgTexts() {
    static const KLONG kIds[] = {3, 1, 5, 9, 14, 65535, 2, 40};
    std::vector<std::wstring> out;
    K_MSG m1(L"FAIL", 1, nullptr, 0), m2(L"FAIL", kIds, 8, 0, nullptr, 0);
    K_MSG m4(L"FAIL", 0, 65536, 0, 0), f2(L"FAIL", 0, 65536, 0, 2);
    K_MSG copy(m4), target(L"FAIL", 1, nullptr, 0);
    auto take = [&](K_MSG& m) {
        for (KLONG id : kIds) out.emplace_back(m.text(id));
    };
    // m1 twice: the second time from its cache.
    for (K_MSG* m : {&m1, &m1, &m2, &m4, &f2, &copy}) take(*m);
    // Assignment over an object that holds texts, then over one that holds
    // a different kind.
    target.text(1);
    for (K_MSG* from : {&m1, &m4}) take(target = *from);
    return out;
}

TEST(AllocFault, MsgTextsAreRightOrEmpty) {
    kuttest::TempDir dir;
    REP_SetRepert(2, dir.path().c_str());
    CONF_Language()->logic = 1, CONF_Language()->output = 2;
    std::map<unsigned, std::wstring> logic{{5, L"OUT::logic five"}, {65535, L"last"}}, output{{5, L"OUT::output five"}};
    for (unsigned id = 1; id <= 40; ++id)
        if (id % 7 != 0 && id != 5) logic[id] = L"text " + std::to_wstring(id) + (id % 3 == 0 ? L"$$field two" : L"");
    std::string error;
    ASSERT_TRUE(kuttools::WriteLanguageLibrary(dir.file(L"FAIL_001.dll"), logic, &error)) << error;
    ASSERT_TRUE(kuttools::WriteLanguageLibrary(dir.file(L"FAIL_002.dll"), output, &error)) << error;
    const std::vector<std::wstring> clean = MsgTexts();
    ASSERT_GE(clean.size(), 3u);
    ASSERT_EQ(clean[0], L"text 3");
    ASSERT_EQ(clean[2], L"output five");
    std::vector<std::wstring> got;
    const std::vector<long> runs = FailEachAllocation(
        [&] { got = MsgTexts(); },
        [&](long n, long failed) {
            ASSERT_EQ(got.size(), clean.size());
            for (std::size_t i = 0; i < got.size(); ++i)  // a failed allocation may lose a text, never change one
                EXPECT_EQ(got[i], failed && got[i].empty() ? L"" : clean[i]) << "text " << i << " run " << n;
        });
    EXPECT_GT(*std::min_element(runs.begin(), runs.end()), 10) << "the objects allocate through the seam";
    REP_SetRepert(2, nullptr);
}

TEST(AllocFault, UnitsAnswerMinusTwoOrTheRightValue) {
    kuttest::TempDir dir;
    ASSERT_TRUE(kuttest::WriteFile(dir.file(L"unimet.cfg"),
                                   "2\r\nM, 1.0\r\nMM, 1000.0\r\n2\r\nN, 1.0\r\nKN, 0.001\r\n2\r\nKG, 1.0\r\nT, 0.001\r\n"));
    REP_SetRepert(1, dir.path().c_str());
    CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC] = 0;
    // Each call reads the file into a row table of its own: a failed
    // allocation answers -2 for that call alone.
    const double expected[] = {1000.0, 1000.0, 0.001, 1000.0, 0.001, 0.001};
    double got[6] = {};
    KUT_Units units;
    wchar_t m[] = L"M", mm[] = L"MM", kn[] = L"KN", nw[] = L"N", kg[] = L"KG", t[] = L"T", lower[] = L"mm";
    auto run = [&] {
        got[0] = units.LenghtCoeff(m, mm), got[1] = units.ForceCoeff(kn, nw), got[2] = units.MassCoeff(kg, t);
        got[3] = units.GetLenghtCoeff(lower), got[4] = units.GetForceCoeff(kn), got[5] = units.GetMassCoeff(t);
    };
    const std::vector<long> runs = FailEachAllocation(run, [&](long n, long failed) {
        EXPECT_EQ(units.unitTab, nullptr) << n;
        for (int i = 0; i < 6; ++i)
            if (got[i] != -2.0) { EXPECT_NEAR(got[i], expected[i], 1e-12) << i << " run " << n; }
        EXPECT_EQ(std::count(got, got + 6, -2.0) > 0, failed > 0) << n;
    });
    EXPECT_EQ(runs, (std::vector<long>{6, 6})) << "every call allocates one row table through the seam";
    REP_SetRepert(1, nullptr);
}

// The image index and cache: a failed index load keeps the previous index
// (and takes the new name); failed cache allocations fall back to the file.
TEST(AllocFault, ImageIndexAndCache) {
    kuttest::TempDir dir;
    // FIRST holds 5x3 and 6x5, SECOND 7x7; OTHER is another file's module.
    auto bmp = [](int i) {
        std::string out, error;
        const std::vector<std::uint32_t> pixels(static_cast<std::size_t>((5 + i) * (3 + 2 * i)), 0x102030u);
        EXPECT_TRUE(kuttools::EncodeBmp({5 + i, 3 + 2 * i, pixels}, 24, false, &out, &error)) << error;
        return out;
    };
    const std::wstring path = dir.file(L"alloc.img"), other = dir.file(L"other.img");
    std::string bytes, error;
    ASSERT_TRUE(kuttools::ImageFileBytes({{"FIRST", {bmp(0), bmp(1)}}, {"SECOND", {bmp(2)}}}, &bytes, &error)) << error;
    ASSERT_TRUE(kuttest::WriteFile(path, bytes));
    ASSERT_TRUE(kuttools::ImageFileBytes({{"OTHER", {bmp(0), bmp(1)}}}, &bytes, &error)) << error;
    ASSERT_TRUE(kuttest::WriteFile(other, bytes));

    IMG_SetImgPathFileName(other.c_str());
    ASSERT_EQ(IMG_CreateLabel(L"OTHER", 1, nullptr), 0);
    const std::vector<long> runs =
        FailEachAllocation([&] { IMG_SetImgPathFileName(path.c_str()); },
                           [&](long n, long failed) {
                               EXPECT_STREQ(IMG_File(), L"alloc.img") << n;
                               EXPECT_EQ(IMG_CreateLabel(L"OTHER", 1, nullptr), failed ? 0 : -1) << n;
                               EXPECT_EQ(IMG_CreateLabel(failed ? L"FIRST" : L"SECOND", 0, nullptr), failed ? -1 : 0) << n;
                               IMG_SetImgPathFileName(other.c_str());
                           });
    EXPECT_EQ(runs, (std::vector<long>{3, 3})) << "the module array and two tables";

    IMG_SetImgPathFileName(path.c_str());
    ASSERT_EQ(IMG_Init(16), 0);
    short w = 0, h = 0, result = -1;
    void* cached = nullptr;  // with its size
    int size = -1;
    auto run = [&] {
        IMG_Flush();
        result = IMG_ImgSize(L"FIRST", 1, &w, &h);
        cached = IMG_GetFromCache(L"SECOND", 0, &size);
        IMG_ListToCache(L"FIRST", 0, 1, -1);
    };
    FailEachAllocation(run, [&](long n, long) {
        SCOPED_TRACE(n);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(w, 6);
        EXPECT_EQ(h, 5);
        if (!cached) return;
        const GRAF_BMP_INFO* info = GRAF_BMP_Info(cached);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->width, 7);
        EXPECT_EQ(size, info->bytes);
    });
    EXPECT_NE(cached, nullptr) << "the clean run caches";
    IMG_Close();
}

KBASE_SYSCALLS g_real;
std::wstring g_unreadable;   // this file cannot be opened for reading
std::wstring g_readOnlyDir;  // nothing below it can be created, changed or removed
std::wstring g_fullPath;     // opened for writing, this path is a full device
std::vector<std::wstring> g_failed;

bool Device(const wchar_t* path) { return std::wstring(path).rfind(L"/dev/", 0) == 0; }
bool ReadOnly(const wchar_t* path) { return !g_readOnlyDir.empty() && std::wstring(path).rfind(g_readOnlyDir, 0) == 0; }
bool Refuse(bool refused) { return refused && (errno = EACCES, true); }

// A full device exists only on Linux; the test that sets g_fullPath too.
FILE* SeamOpen(const wchar_t* path, const char* mode) {
    const bool writing = std::string(mode).find_first_of("wa+") != std::string::npos;
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
    if (ctx->kind == 4 && ctx->error != 0) g_failed.emplace_back(name), ctx->error = 0;
    return 0;
}

// A folder `from` holding a.txt and sub/b.txt.
std::wstring Tree(const std::wstring& from) {
    kuttest::MakeDir(from + kSep + L"sub");
    EXPECT_TRUE(kuttest::WriteFile(from + kSep + L"a.txt", "A"));
    EXPECT_TRUE(kuttest::WriteFile(from + kSep + L"sub" + kSep + L"b.txt", "B"));
    return from;
}

class IoFault : public ::testing::Test {
protected:
    void SetUp() override {
        KBASE_TestGetSyscalls(&g_real);
        KBASE_SYSCALLS s = g_real;
        s.open = SeamOpen, s.remove = SeamRemove, s.mkdir = SeamMkdir;
        s.utime = SeamUtime, s.chmod = SeamChmod;  // never on a device, whoever runs this
        KBASE_TestSetSyscalls(&s);
    }
    void TearDown() override { KBASE_TestSetSyscalls(nullptr), REP_SetRepert(9, nullptr); }
    kuttest::TempDir m_dir;
    const std::wstring m_src = m_dir.file(L"src"), m_from = m_dir.file(L"from");
    int m_status = 99;
};

TEST_F(IoFault, RefusedAccessFailsAndKeepsTheUsersFiles) {
    const std::wstring dst = m_dir.file(L"dst"), to = m_dir.file(L"to"), ro = m_dir.file(L"ro");
    const std::wstring theirs = ro + kSep + L"a.txt", text = m_dir.file(L"in.txt");
    for (const std::wstring& folder : {to, ro}) kuttest::MakeDir(folder);
    ASSERT_TRUE(kuttest::WriteFile(m_src, "precious"));
    ASSERT_TRUE(kuttest::WriteFile(theirs, "theirs"));
    ASSERT_TRUE(kuttest::WriteFile(text, "line\r\n"));
    // A folder that refuses changes also refuses the delete: what was there
    // stays, and neither operation reports success.
    g_readOnlyDir = ro;
    EXPECT_EQ(_FILE_Copy(&m_status, theirs.c_str(), m_src.c_str()) * 10 + m_status, 10);
    EXPECT_EQ(_FILE_Zip(&m_status, theirs.c_str(), m_src.c_str(), 6) * 10 + m_status, 0);

    // Tree copies hand each failed entry to the handler, which gives up on it
    // quietly: from an unreadable file the rest is copied; into a read-only
    // folder the sub-folder and the file cannot be made, the existing file
    // not replaced.
    g_unreadable = Tree(m_from) + kSep + L"a.txt";
    EXPECT_EQ(_FILE_TreeCopy(&m_status, to.c_str(), m_from.c_str(), L"*", L"*", 3, -1, NoteFailures), 0);
    EXPECT_EQ(g_failed, std::vector<std::wstring>{g_unreadable});
    g_unreadable.clear();
    EXPECT_FALSE(kuttest::Exists(to + kSep + L"a.txt"));
    EXPECT_EQ(Read(to + kSep + L"sub" + kSep + L"b.txt"), "B");
    _FILE_TreeCopy(&m_status, ro.c_str(), m_from.c_str(), L"*", L"*", 3, -1, NoteFailures);
    g_readOnlyDir.clear();
    EXPECT_GE(g_failed.size(), 3u);
    EXPECT_FALSE(kuttest::Exists(ro + kSep + L"sub"));
    EXPECT_EQ(Read(theirs) + Read(m_src) + Read(m_from + kSep + L"a.txt") + Read(m_from + kSep + L"sub" + kSep + L"b.txt"),
              "theirspreciousAB");

    // DECODE_Convert: a folder opens as no file, so does a name in a missing
    // folder; as a source that is answer 1 and a destination still to be
    // named stays unnamed, as a destination answer 2.
    REP_SetRepert(9, m_dir.path().c_str());
    ASSERT_TRUE(kuttest::WriteFile(dst, "keep me"));
    for (const std::wstring& bad : {m_from, m_dir.file(L"missing") + kSep + L"x.txt"}) {
        std::wstring named = dst, target = bad;
        wchar_t generated[300] = L"";
        SCOPED_TRACE(kuttest::Narrow(bad));
        EXPECT_EQ(DECODE_Convert(bad.c_str(), &named[0], 1), 1);
        EXPECT_EQ(DECODE_Convert(bad.c_str(), generated, 1), 1);
        EXPECT_EQ(DECODE_Convert(text.c_str(), &target[0], 1), 2);
        EXPECT_EQ(target, bad);
        EXPECT_EQ(generated[0], L'\0');
    }
    EXPECT_EQ(Read(dst) + Read(text), "keep meline\r\n");
}

#if !defined(_WIN32)
TEST_F(IoFault, FullDeviceFailsWritesAndKeepsTheSource) {
    const std::string bytes = Pattern(300000);
    const unsigned short before = SYS_FileAccess(L"/dev/full");
    ASSERT_EQ(before & 0170000, 0020000);
    for (int size : {500, 5000, 300000})
        EXPECT_EQ(FCopy(m_dir, bytes, size, L"/dev/full"), std::to_string(size) + " 255 0 bytes");
    // Packing writes no data, so a full device costs nothing: the result is
    // 0, whether the device is named or sits behind a file's name.
    const std::wstring in = m_dir.file(L"in"), dst = m_dir.file(L"dst"), dos = m_dir.file(L"dos.txt");
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
#endif
