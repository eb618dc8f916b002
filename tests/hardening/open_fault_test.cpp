// File opens refused through kut's call table (KUT_TestSetSyscalls): every
// reader of a named file answers with its documented failure value, and
// works again once the system's table is back.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "imgfile.h"
#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "kut/decode.h"
#include "kut/img.h"
#include "kut/testing.h"
#include "kut/units.h"
#include "testutil.h"

#if defined(KUT_TESTING)
namespace {

KUT_SYSCALLS g_real;
std::set<std::wstring> g_refused;  // opens of these paths fail
int g_refusals = 0;

FILE* RefusingOpen(const wchar_t* path, const char* mode) {
    if (path && g_refused.count(path)) {
        ++g_refusals;
        return nullptr;
    }
    return g_real.open(path, mode);
}

class OpenFault : public ::testing::Test {
protected:
    void SetUp() override {
        KUT_TestGetSyscalls(&g_real);
        KUT_SYSCALLS s = g_real;
        s.open = RefusingOpen;
        KUT_TestSetSyscalls(&s);
    }
    void TearDown() override {
        KUT_TestSetSyscalls(nullptr);
        g_refused.clear();
    }
    kuttest::TempDir m_dir;
};

TEST_F(OpenFault, UnitFileThatCannotBeOpenedAnswersMinusOne) {
    const std::wstring cfg = m_dir.file(L"unimet.cfg");
    ASSERT_TRUE(kuttest::WriteFile(cfg, "2\r\nM, 1.0\r\nMM, 1000.0\r\n0\r\n0\r\n"));
    REP_SetRepert(1, m_dir.path().c_str());
    CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC] = 0;
    KUT_Units units;
    wchar_t m[] = L"M", mm[] = L"MM";
    // The file is found, so only the open itself can fail here.
    g_refused = {cfg};
    EXPECT_EQ(units.LenghtCoeff(m, mm), -1.0);
    EXPECT_EQ(units.GetLenghtCoeff(mm), -1.0);
    EXPECT_EQ(g_refusals, 2);
    g_refused.clear();
    EXPECT_EQ(units.LenghtCoeff(m, mm), 1000.0);
    REP_SetRepert(1, nullptr);
}

TEST_F(OpenFault, ConversionNamesTheSideThatCannotBeOpened) {
    const std::wstring src = m_dir.file(L"dos.txt"), dst = m_dir.file(L"win.txt");
    ASSERT_TRUE(kuttest::WriteFile(src, "abc\r\n"));
    struct Case {
        const char* what;
        std::set<std::wstring> refused;
        int result;
        bool written;
    };
    const Case cases[] = {
        {"source refused", {src}, 1, false},
        {"destination refused", {dst}, 2, false},
        {"both open", {}, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kuttest::RemoveTree(dst);
        g_refused = c.refused;
        std::vector<wchar_t> out(dst.begin(), dst.end());
        out.push_back(L'\0');
        EXPECT_EQ(DECODE_Convert(src.c_str(), out.data(), 34), c.result);
        EXPECT_EQ(kuttest::Exists(dst), c.written);
    }
    std::string source;
    EXPECT_TRUE(kuttest::ReadFile(src, &source));
    EXPECT_EQ(source, "abc\r\n") << "the source is never written";
}

TEST_F(OpenFault, ImageFileThatCannotBeOpenedFailsItsCalls) {
    std::string bmp, bytes, error;
    ASSERT_TRUE(kuttools::EncodeBmp({3, 2, std::vector<std::uint32_t>(6, 0x102030u)}, 24, false, &bmp, &error)) << error;
    ASSERT_TRUE(kuttools::ImageFileBytes({{"FIRST", {bmp}}}, &bytes, &error)) << error;
    const std::wstring path = m_dir.file(L"open.img");
    ASSERT_TRUE(kuttest::WriteFile(path, bytes));
    short w = 0, h = 0;

    // The index cannot be read: the module is unknown.
    g_refused = {path};
    IMG_SetImgPathFileName(path.c_str());
    EXPECT_EQ(IMG_CreateLabel(L"FIRST", 0, nullptr), -1);
    EXPECT_EQ(g_refusals, 1);

    // The index is read, then the file cannot be opened again for the
    // bitmap (a cache with memory closes the file between calls).
    g_refused.clear();
    IMG_SetImgPathFileName(path.c_str());
    ASSERT_EQ(IMG_Init(16), 0);
    ASSERT_EQ(IMG_CreateLabel(L"FIRST", 0, nullptr), 0);
    g_refused = {path};
    EXPECT_EQ(IMG_ImgSize(L"FIRST", 0, &w, &h), -1);
    EXPECT_GT(g_refusals, 1);
    g_refused.clear();
    EXPECT_EQ(IMG_ImgSize(L"FIRST", 0, &w, &h), 0);
    EXPECT_EQ(w * 10 + h, 32);
    IMG_Close();
}

}  // namespace
#endif
