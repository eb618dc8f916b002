// Libraries written by kuttools, read back through kut's loader.
#include <gtest/gtest.h>

#include <cwchar>
#include <map>
#include <string>

#include "kut/kut_ext.h"
#include "langlib_writer.h"
#include "testutil.h"

namespace {

using Strings = std::map<unsigned, std::u16string>;

class LangLibRoundTrip : public ::testing::Test {
protected:
    HMODULE Build(const Strings& strings, const std::wstring& name = L"lib.dll") {
        std::string error;
        const std::wstring path = m_dir.file(name);
        EXPECT_TRUE(kuttools::WriteLanguageLibrary(path, strings, &error)) << error;
        HMODULE lib = KUT_LangLibOpen(path.c_str());
        EXPECT_NE(lib, nullptr);
        return lib;
    }

    static std::wstring Read(HMODULE lib, unsigned id, int cap = KUT_TEXT_MAX, int* count = nullptr) {
        std::wstring buf(static_cast<std::size_t>(cap) + 1, L'#');
        const int n = KUT_LangLibString(lib, id, &buf[0], cap);
        if (count) *count = n;
        EXPECT_GE(n, 0);
        EXPECT_LT(n, cap);
        EXPECT_EQ(buf[static_cast<std::size_t>(n)], L'\0') << "the count must stop at the NUL";
        EXPECT_EQ(buf[static_cast<std::size_t>(cap)], L'#') << "wrote past cap";
        return buf.substr(0, static_cast<std::size_t>(n));
    }

    kuttest::TempDir m_dir;
};

TEST_F(LangLibRoundTrip, LengthsAroundTheTextBuffer) {
    const std::u16string s1023(1023, u'a');
    const std::u16string s1024(1024, u'b');
    std::u16string s2000;
    for (int i = 0; i < 2000; ++i) s2000 += static_cast<char16_t>(u'A' + i % 26);
    HMODULE lib = Build({{1, s1023}, {2, s1024}, {3, s2000}, {4, u"Hello"}});
    ASSERT_NE(lib, nullptr);

    int n = 0;
    EXPECT_EQ(Read(lib, 1, 1024, &n), std::wstring(1023, L'a'));
    EXPECT_EQ(n, 1023);
    EXPECT_EQ(Read(lib, 2, 1024, &n), std::wstring(1023, L'b'));
    EXPECT_EQ(n, 1023);
    // A larger buffer gets the whole string.
    EXPECT_EQ(Read(lib, 3, 4000, &n), kuttools::FromUtf16(s2000));
    EXPECT_EQ(Read(lib, 3, 1024, &n), kuttools::FromUtf16(s2000.substr(0, 1023)));
    // Small buffers: cap-1 characters, and nothing at all for cap 1.
    EXPECT_EQ(Read(lib, 4, 5), L"Hell");
    EXPECT_EQ(Read(lib, 4, 1, &n), L"");
    EXPECT_EQ(n, 0);
    KUT_LangLibClose(lib);
}

TEST_F(LangLibRoundTrip, FirstLastAndGaps) {
    // Blocks 1, 3, 63 and 4096; numbers on both sides of each one absent.
    HMODULE lib = Build({{1, u"one"}, {15, u"fifteen"}, {40, u"forty"}, {1000, u"thousand"}, {65535, u"last"}});
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(Read(lib, 1), L"one");
    EXPECT_EQ(Read(lib, 15), L"fifteen");
    EXPECT_EQ(Read(lib, 40), L"forty");
    EXPECT_EQ(Read(lib, 1000), L"thousand");
    EXPECT_EQ(Read(lib, 65535), L"last");
    for (unsigned id : {0u, 2u, 14u, 16u, 17u, 39u, 41u, 999u, 1001u, 65534u, 65536u, 70000u}) {
        int n = -1;
        EXPECT_EQ(Read(lib, id, KUT_TEXT_MAX, &n), L"") << id;
        EXPECT_EQ(n, 0) << id;
    }
    KUT_LangLibClose(lib);
}

TEST_F(LangLibRoundTrip, EmptyStringsReadAsAbsent) {
    HMODULE lib = Build({{7, u""}, {8, u"x"}, {100, u""}});
    ASSERT_NE(lib, nullptr);
    int n = -1;
    EXPECT_EQ(Read(lib, 7, KUT_TEXT_MAX, &n), L"");
    EXPECT_EQ(n, 0);
    EXPECT_EQ(Read(lib, 8), L"x");
    EXPECT_EQ(Read(lib, 100, KUT_TEXT_MAX, &n), L"");
    EXPECT_EQ(n, 0);
    KUT_LangLibClose(lib);

    // A library without any string loads and holds nothing.
    HMODULE none = Build({}, L"none.dll");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(Read(none, 1), L"");
    KUT_LangLibClose(none);
}

TEST_F(LangLibRoundTrip, CharactersBeyondTheBasicPlane) {
    // U+1F600 is a surrogate pair in the file.
    std::u16string face = u"\U0001F600";
    std::u16string many;
    for (int i = 0; i < 1100; ++i) many += face;
    const std::u16string lone = u"a\xD800z";
    HMODULE lib = Build({{1, u"x" + face + u"y"}, {2, many}, {3, lone}, {4, u"\u00e9\u4e2d"}});
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(Read(lib, 4), L"\u00e9\u4e2d");
#if WCHAR_MAX > 0xFFFF
    // One wchar_t per character, and the 1023 limit counts characters.
    EXPECT_EQ(Read(lib, 1), std::wstring(L"x\U0001F600y"));
    EXPECT_EQ(Read(lib, 1).size(), 3u);
    EXPECT_EQ(Read(lib, 2), std::wstring(1023, static_cast<wchar_t>(0x1F600)));
    EXPECT_EQ(Read(lib, 3), std::wstring(L"a") + static_cast<wchar_t>(0xD800) + L"z");
#else
    EXPECT_EQ(Read(lib, 1).size(), 4u);
    EXPECT_EQ(Read(lib, 2).size(), 1023u);
    EXPECT_EQ(Read(lib, 3).size(), 3u);
#endif
    KUT_LangLibClose(lib);
}

TEST_F(LangLibRoundTrip, TenThousandStrings) {
    Strings strings;
    for (unsigned id = 1; id <= 10000; ++id) {
        strings[id] = kuttools::ToUtf16(L"message " + std::to_wstring(id) + std::wstring(id % 37, L'.'));
    }
    HMODULE lib = Build(strings);
    ASSERT_NE(lib, nullptr);
    for (unsigned id = 1; id <= 10000; ++id) {
        ASSERT_EQ(Read(lib, id), kuttools::FromUtf16(strings[id])) << id;
    }
    EXPECT_EQ(Read(lib, 10001), L"");
    KUT_LangLibClose(lib);
}

TEST_F(LangLibRoundTrip, NullHandleReadsEmpty) {
    wchar_t buf[8] = {L'x', L'x'};
    EXPECT_EQ(KUT_LangLibString(nullptr, 1, buf, 8), 0);
    EXPECT_EQ(buf[0], L'\0');
    KUT_LangLibClose(nullptr);  // harmless
}

TEST_F(LangLibRoundTrip, SameFileLoadedTwiceIsReleasedTwice) {
    std::string error;
    const std::wstring path = m_dir.file(L"KEST_001.dll");
    ASSERT_TRUE(kuttools::WriteLanguageLibrary(path, std::map<unsigned, std::wstring>{{5, L"five"}}, &error)) << error;
    HMODULE a = KUT_LangLibOpen(path.c_str());
    HMODULE b = KUT_LangLibOpen(path.c_str());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Read(a, 5), L"five");
    KUT_LangLibClose(a);
    EXPECT_EQ(Read(b, 5), L"five");  // the second handle outlives the first
    KUT_LangLibClose(b);
}

TEST_F(LangLibRoundTrip, WriterRejectsWhatATableCannotHold) {
    std::vector<unsigned char> image;
    std::string error;
    EXPECT_FALSE(kuttools::BuildLanguageLibrary({{0, u"zero"}}, &image, &error));
    EXPECT_NE(error.find("0"), std::string::npos);
    EXPECT_FALSE(kuttools::BuildLanguageLibrary({{65536, u"big"}}, &image, &error));
    EXPECT_FALSE(kuttools::BuildLanguageLibrary({{1, std::u16string(65536, u'x')}}, &image, &error));
    EXPECT_TRUE(kuttools::BuildLanguageLibrary({{1, std::u16string(65535, u'x')}}, &image, &error)) << error;
    EXPECT_FALSE(kuttools::WriteLanguageLibrary(m_dir.file(L"no-such-dir") + kuttest::kSep + L"x.dll",
                                                Strings{{1, u"a"}}, &error));
    EXPECT_NE(error.find("no-such-dir"), std::string::npos) << error;
}

}  // namespace
