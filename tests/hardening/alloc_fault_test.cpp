// Allocation failure, SQLite style: fail allocation N (once, then from N on)
// for N = 0, 1, 2 ... until the operation runs without a failure. Every run
// must end in the operation's documented answer, never crash, and (in the
// asan build, where LeakSanitizer runs at exit) leak nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
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

using kuttest::kSep;

// A bound on N far above what any operation here allocates; reaching it
// means the operation never stopped failing.
constexpr long kMaxAllocations = 5000;

// Runs `run` once per N and hands `judge` the number of failed allocations;
// stops at the first run with none. Returns how many runs failed something.
template <class Run, class Judge>
long FailEachAllocation(bool persistent, Run run, Judge judge) {
    for (long n = 0; n < kMaxAllocations; ++n) {
        KUT_TestFailAlloc(n, persistent ? 1 : 0);
        run();
        const long failed = KUT_TestAllocFailures();
        KUT_TestFailAlloc(-1, 0);
        judge(n, failed);
        if (failed == 0) return n;
    }
    ADD_FAILURE() << "still failing after " << kMaxAllocations << " allocations";
    return kMaxAllocations;
}

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return s;
}

// ---- _FILE_FCopy -------------------------------------------------------------

struct CopyResult {
    int left = -1;
    int status = -1;
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

TEST(AllocFault, FCopyIsCompleteWhateverAllocationFails) {
    kuttest::TempDir t;
    // Sizes around the static buffer, a remainder, and a large one that
    // goes through many shrinking attempts when every allocation fails.
    for (int size : {1025, 3000, 3001, 70001, 300000}) {
        const std::string input = Pattern(static_cast<std::size_t>(size));
        for (bool persistent : {false, true}) {
            SCOPED_TRACE(std::to_string(size) + (persistent ? " persistent" : " once"));
            CopyResult r;
            FailEachAllocation(
                persistent, [&] { r = FCopy(t, input, size); },
                [&](long n, long failed) {
                    // Failing is never an error here: the chunk shrinks.
                    EXPECT_EQ(r.left, 0) << n << " failed " << failed;
                    EXPECT_EQ(r.status, 0) << n;
                    EXPECT_TRUE(r.written == input) << n << ": " << r.written.size() << " bytes";
                });
        }
    }
}

TEST(AllocFault, FCopyUnderMemoryPressureCopiesEveryChunk) {
    // Blocks above 1,025 bytes cannot be had: 2,000,000 bytes then go in
    // 1,950 parts of 1,025 bytes and a remainder of 1,250 that needs two
    // more passes, not one.
    kuttest::TempDir t;
    const std::string input = Pattern(2000000);
    KUT_TestFailAllocAbove(1025);
    CopyResult r = FCopy(t, input, 2000000);
    const long failed = KUT_TestAllocFailures();
    KUT_TestFailAllocAbove(-1);
    EXPECT_EQ(failed, 1949);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.written == input) << r.written.size();

    // Passes read whole chunks: with more input than asked, the last one
    // takes 4 bytes too many, as a short static-buffer pass does.
    KUT_TestFailAllocAbove(1025);
    r = FCopy(t, input + "tail", 2000000);
    KUT_TestFailAllocAbove(-1);
    EXPECT_EQ(r.left, -4);
    EXPECT_EQ(r.status, 255);
    EXPECT_TRUE(r.written == input + "tail") << r.written.size();
}

TEST(AllocFault, CopyOfAFileSurvivesEveryAllocationFailure) {
    kuttest::TempDir t;
    const std::wstring src = t.file(L"src"), dst = t.file(L"dst");
    const std::string data = Pattern(50000);
    ASSERT_TRUE(kuttest::WriteFile(src, data));
    for (bool persistent : {false, true}) {
        int result = -1;
        FailEachAllocation(
            persistent,
            [&] {
                int status = 99;
                result = _FILE_Copy(&status, dst.c_str(), src.c_str());
            },
            [&](long n, long) {
                std::string got, kept;
                EXPECT_EQ(result, 0) << n;
                EXPECT_TRUE(kuttest::ReadFile(dst, &got) && got == data) << n;
                EXPECT_TRUE(kuttest::ReadFile(src, &kept) && kept == data) << n;
            });
    }
}

// ---- K_MSG -----------------------------------------------------------------

class MsgAlloc : public ::testing::Test {
protected:
    void SetUp() override {
        REP_SetRepert(2, m_dir.path().c_str());
        CONF_Language()->logic = 1;
        CONF_Language()->output = 2;
        std::map<unsigned, std::wstring> logic, output;
        for (unsigned id = 1; id <= 40; ++id) {
            if (id % 7 == 0) continue;  // gaps
            logic[id] = L"text " + std::to_wstring(id) + (id % 3 == 0 ? L"$$field two" : L"");
        }
        logic[5] = L"OUT::logic five";
        output[5] = L"OUT::output five";
        logic[65535] = L"last";
        std::string error;
        ASSERT_TRUE(kuttools::WriteLanguageLibrary(m_dir.file(L"FAIL_001.dll"), logic, &error)) << error;
        ASSERT_TRUE(kuttools::WriteLanguageLibrary(m_dir.file(L"FAIL_002.dll"), output, &error)) << error;
    }
    void TearDown() override { REP_SetRepert(2, nullptr); }

    kuttest::TempDir m_dir;
};

// The texts of every kind of object, in one list.
std::vector<std::wstring> MsgTexts() {
    static const KLONG kIds[] = {3, 1, 5, 9, 14, 65535, 2, 40};
    std::vector<std::wstring> out;
    K_MSG m1(L"FAIL", 1, nullptr, 0);
    for (KLONG id : kIds) out.emplace_back(m1.text(id));
    for (KLONG id : kIds) out.emplace_back(m1.text(id));  // from the cache
    K_MSG m2(L"FAIL", kIds, 8, 0, nullptr, 0);
    for (KLONG id : kIds) out.emplace_back(m2.text(id));
    K_MSG m4(L"FAIL", 0, 65536, 0, 0);
    for (KLONG id : kIds) out.emplace_back(m4.text(id));
    K_MSG f2(L"FAIL", 0, 65536, 0, 2);
    for (KLONG id : kIds) out.emplace_back(f2.text(id));
    K_MSG copy(m4);
    for (KLONG id : kIds) out.emplace_back(copy.text(id));
    K_MSG target(L"FAIL", 1, nullptr, 0);
    target.text(1);
    target = m1;
    for (KLONG id : kIds) out.emplace_back(target.text(id));
    target = m4;
    for (KLONG id : kIds) out.emplace_back(target.text(id));
    return out;
}

TEST_F(MsgAlloc, EveryFailedAllocationLeavesRightOrEmptyTexts) {
    const std::vector<std::wstring> clean = MsgTexts();
    ASSERT_EQ(clean[0], L"text 3");
    ASSERT_EQ(clean[2], L"output five");
    for (bool persistent : {false, true}) {
        SCOPED_TRACE(persistent ? "persistent" : "once");
        std::vector<std::wstring> got;
        const long runs = FailEachAllocation(
            persistent, [&] { got = MsgTexts(); },
            [&](long n, long failed) {
                ASSERT_EQ(got.size(), clean.size());
                for (std::size_t i = 0; i < got.size(); ++i) {
                    // A failed allocation may lose a text, never change one.
                    if (failed && got[i].empty()) continue;
                    EXPECT_EQ(got[i], clean[i]) << "text " << i << " run " << n;
                }
            });
        // The objects do allocate through the seam.
        EXPECT_GT(runs, 10);
    }
}

// ---- KUT_Units ---------------------------------------------------------------

TEST(AllocFault, UnitsAnswerMinusTwoOrTheRightValue) {
    kuttest::TempDir dir;
    ASSERT_TRUE(kuttest::WriteFile(dir.file(L"unimet.cfg"),
                                   "2\r\nM, 1.0\r\nMM, 1000.0\r\n2\r\nN, 1.0\r\nKN, 0.001\r\n2\r\nKG, 1.0\r\nT, 0.001\r\n"));
    REP_SetRepert(1, dir.path().c_str());
    CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC] = 0;
    struct Case {
        int op;
        const wchar_t* a;
        const wchar_t* b;
        double expected;
    };
    const Case cases[] = {{0, L"M", L"MM", 1000.0}, {1, L"KN", L"N", 1000.0}, {2, L"KG", L"T", 0.001},
                          {3, L"mm", nullptr, 1000.0}, {4, L"KN", nullptr, 0.001}, {5, L"T", nullptr, 0.001}};
    KUT_Units units;
    for (const Case& c : cases) {
        for (bool persistent : {false, true}) {
            SCOPED_TRACE(std::to_string(c.op) + (persistent ? " persistent" : " once"));
            double got = 0;
            const long runs = FailEachAllocation(
                persistent,
                [&] {
                    std::wstring a(c.a), b(c.b ? c.b : L"");
                    switch (c.op) {
                        case 0: got = units.LenghtCoeff(a.data(), b.data()); break;
                        case 1: got = units.ForceCoeff(a.data(), b.data()); break;
                        case 2: got = units.MassCoeff(a.data(), b.data()); break;
                        case 3: got = units.GetLenghtCoeff(a.data()); break;
                        case 4: got = units.GetForceCoeff(a.data()); break;
                        default: got = units.GetMassCoeff(a.data()); break;
                    }
                },
                [&](long n, long failed) {
                    EXPECT_EQ(units.unitTab, nullptr) << n;
                    if (failed) {
                        EXPECT_EQ(got, -2.0) << n;
                    } else {
                        EXPECT_DOUBLE_EQ(got, c.expected) << n;
                    }
                });
            EXPECT_GE(runs, 1) << "the row table is allocated through the seam";
        }
    }
    REP_SetRepert(1, nullptr);
}

// ---- the image index and cache ----------------------------------------------

class ImgAlloc : public ::testing::Test {
protected:
    void SetUp() override {
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
        ASSERT_TRUE(kuttools::ImageFileBytes(modules, &bytes, &error)) << error;
        m_path = m_dir.file(L"alloc.img");
        ASSERT_TRUE(kuttest::WriteFile(m_path, bytes));
        m_other = m_dir.file(L"other.img");
        modules.resize(1);
        modules[0].name = "OTHER";
        ASSERT_TRUE(kuttools::ImageFileBytes(modules, &bytes, &error)) << error;
        ASSERT_TRUE(kuttest::WriteFile(m_other, bytes));
    }
    void TearDown() override { IMG_Close(); }

    kuttest::TempDir m_dir;
    std::wstring m_path, m_other;
};

TEST_F(ImgAlloc, AFailedIndexLoadKeepsThePreviousIndex) {
    for (bool persistent : {false, true}) {
        SCOPED_TRACE(persistent ? "persistent" : "once");
        IMG_SetImgPathFileName(m_other.c_str());
        ASSERT_EQ(IMG_CreateLabel(L"OTHER", 1, nullptr), 0);
        const long runs = FailEachAllocation(
            persistent, [&] { IMG_SetImgPathFileName(m_path.c_str()); },
            [&](long n, long failed) {
                // The new name is kept either way; the index only on success.
                EXPECT_STREQ(IMG_File(), L"alloc.img") << n;
                if (failed) {
                    EXPECT_EQ(IMG_CreateLabel(L"OTHER", 1, nullptr), 0) << n;
                    EXPECT_EQ(IMG_CreateLabel(L"FIRST", 0, nullptr), -1) << n;
                } else {
                    EXPECT_EQ(IMG_CreateLabel(L"SECOND", 0, nullptr), 0);
                    EXPECT_EQ(IMG_CreateLabel(L"OTHER", 0, nullptr), -1);
                }
            });
        EXPECT_EQ(runs, 3) << "the module array and two tables";
        IMG_Close();
    }
}

TEST_F(ImgAlloc, CacheAllocationFailuresFallBackToTheFile) {
    IMG_SetImgPathFileName(m_path.c_str());
    for (bool persistent : {false, true}) {
        SCOPED_TRACE(persistent ? "persistent" : "once");
        ASSERT_EQ(IMG_Init(16), 0);
        short w = 0, h = 0, result = -1;
        void* cached = nullptr;
        int size = -1;
        FailEachAllocation(
            persistent,
            [&] {
                IMG_Flush();
                result = IMG_ImgSize(L"FIRST", 1, &w, &h);
                cached = IMG_GetFromCache(L"SECOND", 0, &size);
                IMG_ListToCache(L"FIRST", 0, 1, -1);
            },
            [&](long n, long) {
                // The size always comes, from the cache or from the file.
                EXPECT_EQ(result, 0) << n;
                EXPECT_EQ(w, 6) << n;
                EXPECT_EQ(h, 5) << n;
                if (cached) {
                    const GRAF_BMP_INFO* info = GRAF_BMP_Info(cached);
                    ASSERT_NE(info, nullptr) << n;
                    EXPECT_EQ(info->width, 7) << n;
                    EXPECT_EQ(size, info->bytes) << n;
                }
            });
        EXPECT_NE(cached, nullptr) << "the clean run caches";
        IMG_Close();
        IMG_SetImgPathFileName(m_path.c_str());
    }
}

}  // namespace
#endif
