// Allocation failure, SQLite style: fail allocation N (once, then from N on)
// for N = 0, 1, 2 ... until the operation runs without a failure. Every run
// must end in the operation's documented answer, never crash, and (in the
// asan build, where LeakSanitizer runs at exit) leak nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "imgfile.h"
#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "kut/file.h"
#include "kut/img.h"
#include "kut/msg.h"
#include "kut/testing.h"
#include "kut/units.h"
#include "langlib_writer.h"
#include "testutil.h"

#if defined(KUT_TESTING)
namespace {

// Runs `run` once per N and hands `judge` the number of failed allocations;
// stops at the first run with none and returns its N. The bound is far above
// what any operation here allocates.
template <class Run, class Judge>
long FailEachAllocation(bool persistent, Run run, Judge judge) {
    for (long n = 0; n < 5000; ++n) {
        KUT_TestFailAlloc(n, persistent ? 1 : 0);
        run();
        const long failed = KUT_TestAllocFailures();
        KUT_TestFailAlloc(-1, 0);
        judge(n, failed);
        if (failed == 0) return n;
    }
    ADD_FAILURE() << "still failing after 5000 allocations";
    return 5000;
}

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return s;
}

struct CopyResult {
    int left = -1, status = -1;
    std::string written;
};

// Copies `bytes` bytes of a stream holding `input` into a fresh stream.
CopyResult FCopy(const kuttest::TempDir& t, const std::string& input, int bytes) {
    CopyResult r;
    const std::wstring in = t.file(L"in"), out = t.file(L"out");
    if (!kuttest::WriteFile(in, input)) return r;
    int status = 99;
    FILE* fin = _FILE_FOpen(&status, in.c_str(), L"rb");
    FILE* fout = _FILE_FOpen(&status, out.c_str(), L"wb");
    if (fin && fout) r.left = _FILE_FCopy(&r.status, fout, fin, bytes);
    _FILE_FClose(&status, fin);
    _FILE_FClose(&status, fout);
    kuttest::ReadFile(out, &r.written);
    return r;
}

TEST(AllocFault, CopiesShrinkTheirChunkAndStayComplete) {
    kuttest::TempDir t;
    // Sizes around the static buffer, a remainder, and a large one that goes
    // through many shrinking attempts when every allocation fails. Failing is
    // never an error here: the chunk shrinks, and the file copy built on it
    // leaves a whole destination and its source as it was.
    const std::wstring dst = t.file(L"dst");
    for (int size : {1025, 3000, 3001, 70001, 300000}) {
        const std::string input = Pattern(static_cast<std::size_t>(size));
        for (bool persistent : {false, true}) {
            SCOPED_TRACE(std::to_string(size) + (persistent ? " persistent" : " once"));
            CopyResult r;
            int copied = -1, status = 99;
            auto run = [&] {
                r = FCopy(t, input, size);
                copied = _FILE_Copy(&status, dst.c_str(), t.file(L"in").c_str());
            };
            FailEachAllocation(persistent, run, [&](long n, long failed) {
                std::string got, kept;
                EXPECT_EQ(r.left, 0) << n << " failed " << failed;
                EXPECT_EQ(r.status, 0) << n;
                EXPECT_TRUE(r.written == input) << n << ": " << r.written.size() << " bytes";
                EXPECT_EQ(copied, 0) << n;
                EXPECT_TRUE(kuttest::ReadFile(dst, &got) && got == input) << n;
                EXPECT_TRUE(kuttest::ReadFile(t.file(L"in"), &kept) && kept == input) << n;
            });
        }
    }

    // Blocks above 1,025 bytes cannot be had: 2,000,000 bytes then go in
    // 1,950 parts of 1,025 bytes and a remainder of 1,250 that needs two more
    // passes, not one.
    const std::string input = Pattern(2000000);
    KUT_TestFailAllocAbove(1025);
    CopyResult r = FCopy(t, input, 2000000);
    EXPECT_EQ(KUT_TestAllocFailures(), 1949);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.written == input) << r.written.size();
    // Passes read whole chunks: with more input than asked, the last one
    // takes 4 bytes too many, as a short static-buffer pass does.
    r = FCopy(t, input + "tail", 2000000);
    KUT_TestFailAllocAbove(-1);
    EXPECT_EQ(r.left, -4);
    EXPECT_EQ(r.status, 255);
    EXPECT_TRUE(r.written == input + "tail") << r.written.size();
}

// The texts of every kind of K_MSG object, in one list.
std::vector<std::wstring> MsgTexts() {
    static const KLONG kIds[] = {3, 1, 5, 9, 14, 65535, 2, 40};
    std::vector<std::wstring> out;
    auto take = [&](K_MSG& m) {
        for (KLONG id : kIds) out.emplace_back(m.text(id));
    };
    K_MSG m1(L"FAIL", 1, nullptr, 0), m2(L"FAIL", kIds, 8, 0, nullptr, 0);
    K_MSG m4(L"FAIL", 0, 65536, 0, 0), f2(L"FAIL", 0, 65536, 0, 2);
    take(m1);
    take(m1);  // from the cache
    take(m2);
    take(m4);
    take(f2);
    K_MSG copy(m4), target(L"FAIL", 1, nullptr, 0);
    take(copy);
    target.text(1);
    target = m1;
    take(target);
    target = m4;
    take(target);
    return out;
}

TEST(AllocFault, MsgTextsAreRightOrEmpty) {
    kuttest::TempDir dir;
    REP_SetRepert(2, dir.path().c_str());
    CONF_Language()->logic = 1;
    CONF_Language()->output = 2;
    std::map<unsigned, std::wstring> logic, output;
    for (unsigned id = 1; id <= 40; ++id) {
        if (id % 7 != 0) logic[id] = L"text " + std::to_wstring(id) + (id % 3 == 0 ? L"$$field two" : L"");
    }
    logic[5] = L"OUT::logic five";
    output[5] = L"OUT::output five";
    logic[65535] = L"last";
    std::string error;
    ASSERT_TRUE(kuttools::WriteLanguageLibrary(dir.file(L"FAIL_001.dll"), logic, &error)) << error;
    ASSERT_TRUE(kuttools::WriteLanguageLibrary(dir.file(L"FAIL_002.dll"), output, &error)) << error;

    const std::vector<std::wstring> clean = MsgTexts();
    ASSERT_EQ(clean[0], L"text 3");
    ASSERT_EQ(clean[2], L"output five");
    for (bool persistent : {false, true}) {
        SCOPED_TRACE(persistent ? "persistent" : "once");
        std::vector<std::wstring> got;
        const long runs = FailEachAllocation(persistent, [&] { got = MsgTexts(); }, [&](long n, long failed) {
            ASSERT_EQ(got.size(), clean.size());
            for (std::size_t i = 0; i < got.size(); ++i) {
                // A failed allocation may lose a text, never change one.
                EXPECT_TRUE(got[i] == clean[i] || (failed && got[i].empty())) << "text " << i << " run " << n;
            }
        });
        EXPECT_GT(runs, 10) << "the objects allocate through the seam";
    }
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
    auto run = [&] {
        std::wstring m = L"M", mm = L"MM", kn = L"KN", n = L"N", kg = L"KG", t = L"T", lower = L"mm";
        got[0] = units.LenghtCoeff(m.data(), mm.data());
        got[1] = units.ForceCoeff(kn.data(), n.data());
        got[2] = units.MassCoeff(kg.data(), t.data());
        got[3] = units.GetLenghtCoeff(lower.data());
        got[4] = units.GetForceCoeff(kn.data());
        got[5] = units.GetMassCoeff(t.data());
    };
    for (bool persistent : {false, true}) {
        SCOPED_TRACE(persistent ? "persistent" : "once");
        const long runs = FailEachAllocation(persistent, run, [&](long n, long failed) {
            EXPECT_EQ(units.unitTab, nullptr) << n;
            int minusTwo = 0;
            for (int i = 0; i < 6; ++i) {
                if (got[i] == -2.0) {
                    ++minusTwo;
                } else {
                    EXPECT_DOUBLE_EQ(got[i], expected[i]) << "call " << i << " run " << n;
                }
            }
            EXPECT_EQ(minusTwo > 0, failed > 0) << n;
        });
        EXPECT_GE(runs, 6) << "every call allocates its row table through the seam";
    }
    REP_SetRepert(1, nullptr);
}

// The image index and cache. A failed index load keeps the previous index
// (and the new name); failed cache allocations fall back to the file.
TEST(AllocFault, ImageIndexAndCache) {
    kuttest::TempDir dir;
    std::vector<kuttools::ImgModuleSource> modules(2);
    modules[0].name = "FIRST";
    modules[1].name = "SECOND";
    for (int i = 0; i < 3; ++i) {
        kuttools::Bitmap b;
        b.width = 5 + i;
        b.height = 3 + 2 * i;
        b.pixels.assign(static_cast<std::size_t>(b.width * b.height), 0x102030u * static_cast<unsigned>(i + 1));
        std::string bmp, error;
        ASSERT_TRUE(kuttools::EncodeBmp(b, 24, false, &bmp, &error)) << error;
        modules[i == 2 ? 1 : 0].bitmaps.push_back(bmp);
    }
    std::string bytes, error;
    const std::wstring path = dir.file(L"alloc.img"), other = dir.file(L"other.img");
    ASSERT_TRUE(kuttools::ImageFileBytes(modules, &bytes, &error) && kuttest::WriteFile(path, bytes)) << error;
    modules.resize(1);
    modules[0].name = "OTHER";
    ASSERT_TRUE(kuttools::ImageFileBytes(modules, &bytes, &error) && kuttest::WriteFile(other, bytes)) << error;

    for (bool persistent : {false, true}) {
        SCOPED_TRACE(persistent ? "persistent" : "once");
        IMG_SetImgPathFileName(other.c_str());
        ASSERT_EQ(IMG_CreateLabel(L"OTHER", 1, nullptr), 0);
        const long runs = FailEachAllocation(
            persistent, [&] { IMG_SetImgPathFileName(path.c_str()); },
            [&](long n, long failed) {
                EXPECT_STREQ(IMG_File(), L"alloc.img") << n;
                EXPECT_EQ(IMG_CreateLabel(L"OTHER", 1, nullptr), failed ? 0 : -1) << n;
                EXPECT_EQ(IMG_CreateLabel(failed ? L"FIRST" : L"SECOND", 0, nullptr), failed ? -1 : 0) << n;
            });
        EXPECT_EQ(runs, 3) << "the module array and two tables";

        ASSERT_EQ(IMG_Init(16), 0);
        short w = 0, h = 0, result = -1;
        void* cached = nullptr;
        int size = -1;
        auto run = [&] {
            IMG_Flush();
            result = IMG_ImgSize(L"FIRST", 1, &w, &h);
            cached = IMG_GetFromCache(L"SECOND", 0, &size);
            IMG_ListToCache(L"FIRST", 0, 1, -1);
        };
        FailEachAllocation(persistent, run, [&](long n, long) {
            EXPECT_TRUE(result == 0 && w == 6 && h == 5) << n << ": " << result << " " << w << "x" << h;
            if (!cached) return;
            const GRAF_BMP_INFO* info = GRAF_BMP_Info(cached);
            ASSERT_NE(info, nullptr) << n;
            EXPECT_EQ(info->width, 7) << n;
            EXPECT_EQ(size, info->bytes) << n;
        });
        EXPECT_NE(cached, nullptr) << "the clean run caches";
        IMG_Close();
    }
}

}  // namespace
#endif
