// Behaviour the two backends must share beyond the string-table format.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "kut/kut_ext.h"
#include "langlib_writer.h"
#include "testutil.h"

TEST(Backend, StringNumbersAreSixteenBit) {
    kuttest::TempDir dir;
    std::wstring path = dir.file(L"n.dll");
    std::string err;
    ASSERT_TRUE(kuttools::WriteLanguageLibrary(path, std::map<unsigned, std::wstring>{{5, L"five"}, {65535, L"last"}}, &err)) << err;
    HMODULE lib = KUT_LangLibOpen(path.c_str());
    ASSERT_NE(lib, nullptr);
    wchar_t buf[64];
    EXPECT_EQ(KUT_LangLibString(lib, 0x10005u, buf, 64), 4);
    EXPECT_STREQ(buf, L"five");
    EXPECT_EQ(KUT_LangLibString(lib, 0x1FFFFu, buf, 64), 4);
    EXPECT_STREQ(buf, L"last");
    EXPECT_EQ(KUT_LangLibString(lib, 0x10000u, buf, 64), 0);
    EXPECT_STREQ(buf, L"");
    KUT_LangLibClose(lib);
}

TEST(Backend, FolderDoesNotOpenAsFile) {
    kuttest::TempDir dir;
    EXPECT_EQ(KUT_LangLibOpen(dir.path().c_str()), nullptr);
}
