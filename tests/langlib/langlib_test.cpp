// Language libraries written by kuttools and read back through kut's loader
// (the rules both backends share), and the message catalogs they are built from.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "catalog.h"
#include "kut/kut_ext.h"
#include "langlib_writer.h"
#include "testutil.h"

namespace {

using Strings = std::map<unsigned, std::u16string>;
using kuttools::FromUtf16;
using kuttools::StringMap;

// The text read for `id` into a buffer of `cap`, checking the count, the NUL after it and that nothing was written past `cap`.
std::wstring Read(HMODULE lib, unsigned id, int cap = KUT_TEXT_MAX) {
    std::wstring buf(static_cast<std::size_t>(cap) + 1, L'#');
    const int n = KUT_LangLibString(lib, id, &buf[0], cap);
    const bool sane = n >= 0 && n < cap && buf[static_cast<std::size_t>(n)] == L'\0';
    EXPECT_TRUE(sane) << "id " << id << ", count " << n << " of at most " << cap - 1 << " with its NUL";
    EXPECT_EQ(buf[static_cast<std::size_t>(cap)], L'#') << "id " << id << ": written past the buffer";
    return sane ? buf.substr(0, static_cast<std::size_t>(n)) : L"<bad count>";
}

class LangLib : public ::testing::Test {
protected:
    HMODULE Build(const Strings& strings) {
        std::string error;
        EXPECT_TRUE(kuttools::WriteLanguageLibrary(m_dir.file(L"lib.dll"), strings, &error)) << error;
        return KUT_LangLibOpen(m_dir.file(L"lib.dll").c_str());
    }
    kuttest::TempDir m_dir;
};

TEST_F(LangLib, LengthsNumbersGapsAndCharacters) {
    std::u16string s2000, faces;  // U+1F600 is a surrogate pair in the file
    for (int i = 0; i < 2000; ++i) s2000 += static_cast<char16_t>(u'A' + i % 26);
    for (int i = 0; i < 1100; ++i) faces += u"\U0001F600";
    const std::u16string lone = u"a\xD800z";
    // Number, text, buffer size, what is read. Where wchar_t holds any
    // character, the 1023 limit counts characters; numbers are 16-bit.
    const std::tuple<unsigned, std::u16string, int, std::wstring> cases[] = {
        {0, u"zero", KUT_TEXT_MAX, L"zero"},  // block 1, slot 0: a string like any other
        {1, std::u16string(1023, u'a'), 1024, std::wstring(1023, L'a')},
        {2, std::u16string(1024, u'b'), 1024, std::wstring(1023, L'b')},
        {3, s2000, 4000, FromUtf16(s2000)},
        {4, u"Hello", 5, L"Hell"},
        {4, u"Hello", 1, L""},
        {0x10000 + 15, u"fifteen", 64, L"fifteen"},
        {1000, u"\u00e9\u4e2d", KUT_TEXT_MAX, L"\u00e9\u4e2d"},
        {65535, u"last", KUT_TEXT_MAX, L"last"},
        {41, faces, KUT_TEXT_MAX, FromUtf16(faces).substr(0, 1023)},
        {42, lone, KUT_TEXT_MAX, FromUtf16(lone)}};
    Strings strings{{7, u""}, {100, u""}};
    for (const auto& [id, text, cap, want] : cases) strings[id & 0xFFFF] = text;
    HMODULE lib = Build(strings);
    ASSERT_NE(lib, nullptr);
    for (const auto& [id, text, cap, want] : cases) EXPECT_EQ(Read(lib, id, cap), want) << id;
    // Empty strings read as absent, like numbers on both sides of each block.
    for (unsigned id : {5u, 7u, 14u, 16u, 100u, 65534u, 0x10005u}) EXPECT_EQ(Read(lib, id), L"") << id;
    KUT_LangLibClose(lib);
}

TEST_F(LangLib, HandlesOpenCloseAndFailAndTheWritersLimits) {
    HMODULE a = Build({{5, u"five"}});
    HMODULE b = KUT_LangLibOpen(m_dir.file(L"lib.dll").c_str());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(Read(a, 5), L"five");
    KUT_LangLibClose(a);
    EXPECT_EQ(Read(b, 5), L"five") << "the second handle outlives the first";
    KUT_LangLibClose(b);
    HMODULE none = Build({});
    ASSERT_NE(none, nullptr) << "a library without strings loads";
    EXPECT_EQ(Read(none, 1) + Read(nullptr, 1), L"");
    KUT_LangLibClose(none);
    KUT_LangLibClose(nullptr);
    ASSERT_TRUE(kuttest::WriteFile(m_dir.file(L"bad.dll"), std::string("MZ\0\0", 4)));
    for (const std::wstring& path : {m_dir.path(), m_dir.file(L"missing.dll"), m_dir.file(L"bad.dll")}) {
        EXPECT_EQ(KUT_LangLibOpen(path.c_str()), nullptr) << kuttest::Narrow(path);
    }
    EXPECT_EQ(KUT_LangLibOpen(nullptr), nullptr);
    std::vector<unsigned char> image;  // what a string table cannot hold, and the longest it can
    std::string error;
    for (const Strings& bad : {Strings{{65536, u"b"}}, Strings{{1, std::u16string(65536, u'x')}}})
        EXPECT_FALSE(kuttools::BuildLanguageLibrary(bad, &image, &error)) << bad.begin()->first;
    EXPECT_TRUE(kuttools::BuildLanguageLibrary({{1, std::u16string(65535, u'x')}}, &image, &error)) << error;
}

TEST(Catalog, EntriesCommentsSeparatorsAndEscapes) {
    const std::string text =
        "\xEF\xBB\xBF# heading\n1\tOpen\n\n   \t \n  # indented\n2 Save as...\r\n3\t  two blanks, a tab\t\n4  space\n5\n"
        "6\t#not a comment\n  7\tindented\n9\ta\\tb\\nc\\rd\\\\e\\u00E9\\ud800 \xC3\xA9\xF0\x9F\x98\x80\n0\tzero\n65535\tlast";
    StringMap out;
    std::string error;
    ASSERT_TRUE(kuttools::ParseCatalog(text, &out, &error)) << error;
    std::u16string got;  // "number=text|" in number order
    for (const auto& [id, t] : out) got += kuttools::ToUtf16(std::to_wstring(id)) + u"=" + t + u"|";
    EXPECT_EQ(got,
              u"0=zero|1=Open|2=Save as...|3=  two blanks, a tab\t|4= space|5=|6=#not a comment|7=indented|"
              u"9=a\tb\nc\rd\\e\u00e9\xD800 \u00e9\U0001F600|65535=last|");
}

TEST(Catalog, ErrorsNameTheLineAndTheFault) {
    const std::pair<std::string, const char*> cases[] = {
        {"1\tbad \\q escape\n", "line 1: unknown escape \\q"},
        {"1\tok\n2\tends in \\", "line 2: backslash at the end of the line (write \\\\ for a backslash)"},
        {"# c\n\n3\t\\u12G4\n", "line 3: \\u needs four hex digits"},
        {"1\tbad \xC3\n", "line 1: invalid UTF-8"},
        {"1\toverlong \xC0\xAF\n", "line 1: invalid UTF-8"},
        {"1\tsurrogate \xED\xA0\x80\n", "line 1: invalid UTF-8"},
        {"1\ta\n65536\tb\n", "line 2: message number outside 0..65535"},
        {"99999999999999999999\tc\n", "line 1: message number outside 0..65535"},
        {"-4\tnegative\n", "line 1: expected a message number"},
        {"12x\tglued\n", "line 1: expected a tab or a space after the number"},
        {"# one\n10\ta\n\n11\tb\n010\tc\n", "line 5: number 10 already defined on line 2"},
        {"1\t" + std::string(65536, 'x'), "line 1: text longer than 65535 UTF-16 units"},
    };
    for (const auto& c : cases) {
        StringMap out;
        std::string error;
        EXPECT_FALSE(kuttools::ParseCatalog(c.first, &out, &error)) << c.second;
        EXPECT_EQ(error, c.second);
    }
}

// Written as a catalog, built into a library and dumped through kut's loader:
// the same 10,000 strings and more, the awkward ones escaped in the file.
TEST(Catalog, ThroughALibraryAndBack) {
    kuttest::TempDir dir;
    StringMap in{{0, u"zero"}, {2, u" blanks "}, {3, u"tab\tnl\ncr\r\\"}, {6, u"\\u0041"}, {7, u""}};
    in[4] = std::u16string(u"controls ") + char16_t(1) + char16_t(0x1F) + char16_t(0x7F) + u" # \u00fc\U0001F600";
    in[5] = std::u16string(u"lone ") + char16_t(0xDC00) + u" and " + char16_t(0xD83D);
    in[40000] = std::u16string(2000, u'z');
    for (unsigned id = 100; id < 10100; ++id)
        in[id] = kuttools::ToUtf16(L"n\u00b0 " + std::to_wstring(id) + std::wstring(id % 37, L'.'));
    const std::string text = kuttools::FormatCatalog(in);
    EXPECT_EQ(text.find("\n7\t"), std::string::npos) << "an empty text is left out";
    EXPECT_NE(text.find("4\tcontrols \\u0001\\u001f\\u007f # \xC3\xBC"), std::string::npos);
    std::string error;
    StringMap dumped;
    ASSERT_TRUE(kuttools::WriteCatalog(dir.file(L"in.txt"), in, &error)) << error;
    ASSERT_TRUE(kuttools::BuildLanguageLibraryFromCatalog(dir.file(L"in.txt"), dir.file(L"out.dll"), &error)) << error;
    ASSERT_TRUE(kuttools::DumpLanguageLibrary(dir.file(L"out.dll"), &dumped, &error)) << error;
    in.erase(7);
    EXPECT_EQ(dumped, in);
}

}  // namespace
