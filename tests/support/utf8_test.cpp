// The UTF-8 codec shared by the library, kbase and the tools: any byte
// string survives bytes -> wide -> bytes, and valid UTF-8 decodes to its
// characters.
#include <gtest/gtest.h>

#include <string>

#include "support/utf8.h"

namespace {

using kut::utf8::FromWide;
using kut::utf8::Printable;
using kut::utf8::ToWide;

TEST(Utf8, ValidTextDecodesAndEveryOtherByteIsEscaped) {
    const struct {
        const char* what;
        std::string bytes;
        std::wstring wide;
    } cases[] = {
        {"ASCII", "abc", L"abc"},
        {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", std::wstring(L"\u00E9\u20AC") + L"\U0001F600"},
        {"Latin-1", "caf\xE9", L"caf\xDCE9"},
        {"a lone continuation byte", "\x80", L"\xDC80"},
        {"overlong slash", "\xC0\xAF", L"\xDCC0\xDCAF"},
        {"overlong three bytes", "\xE0\x80\xAF", L"\xDCE0\xDC80\xDCAF"},
        {"an encoded surrogate", "\xED\xB3\xA9", L"\xDCED\xDCB3\xDCA9"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", L"\xDCF4\xDC90\xDC80\xDC80"},
        {"F5 and FF", "\xF5\xFF", L"\xDCF5\xDCFF"},
        {"cut short at the end", "a\xE2\x82", L"a\xDCE2\xDC82"},
        {"cut short by ASCII", "\xE2\x82z", L"\xDCE2\xDC82z"},
        {"the largest and smallest of each length", "\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
         std::wstring(L"\u0080\u07FF\u0800\uFFFF") + L"\U00010000" + L"\U0010FFFF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ToWide(c.bytes), c.wide);
        EXPECT_EQ(FromWide(c.wide), c.bytes);
    }
}

TEST(Utf8, EveryStringOfOneAndTwoBytesRoundTrips) {
    for (int a = 1; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            std::string s(1, static_cast<char>(a));
            if (b) s += static_cast<char>(b);
            ASSERT_EQ(FromWide(ToWide(s)), s) << a << " " << b;
        }
    }
}

TEST(Utf8, WideTextThatUtf8CannotCarry) {
    // A lone surrogate that is no escape is U+FFFD.
    EXPECT_EQ(FromWide(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(FromWide(std::wstring(1, static_cast<wchar_t>(0xDC7F))), "\xEF\xBF\xBD");
    EXPECT_EQ(FromWide(static_cast<const wchar_t*>(nullptr)), "");
    EXPECT_EQ(ToWide(static_cast<const char*>(nullptr)), L"");
}

TEST(Utf8, PrintableShowsEscapedBytesAsHex) {
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xE9.txt", "caf\\xE9.txt"}, {"caf\xC3\xA9", "caf\xC3\xA9"}, {"\xE2\x82", "\\xE2\\x82"}, {"a\\b", "a\\b"}, {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Printable(c.first), c.second) << c.first;
}

}  // namespace
