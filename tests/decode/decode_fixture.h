// Shared pieces of the decoding tests: every test starts as a fresh process
// would, with a data folder (kind 5) and a temporary folder (kind 9) of its
// own and a hook that records message boxes. The printed tables come from
// tables.txt, an independent copy, never from the library's arrays.
#ifndef KUT_TESTS_DECODE_FIXTURE_H
#define KUT_TESTS_DECODE_FIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "kbase/kbase.h"
#include "kut/decode.h"
#include "kut/kut_ext.h"
#include "testutil.h"
#if defined(KUT_TESTING)
#include "kut/testing.h"
#endif

namespace decodetest {

// Text, caption and style of each message box shown.
using Box = std::tuple<std::wstring, std::wstring, unsigned>;
inline std::vector<Box>& Boxes() {
    static std::vector<Box> boxes;
    return boxes;
}

class DecodeTest : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(KUT_TESTING)
        KUT_TestResetDecodeState();
#endif
        Boxes().clear();
        KUT_SetMessageBoxHook([](const wchar_t* text, const wchar_t* caption, unsigned style) {
            Boxes().emplace_back(text ? text : L"", caption ? caption : L"", style);
            return 1;
        });
        REP_SetRepert(5, m_data.path().c_str());
        REP_SetRepert(9, m_temp.path().c_str());
    }
    void TearDown() override {
        KUT_SetMessageBoxHook(nullptr);
        REP_SetRepert(5, nullptr);
        REP_SetRepert(9, nullptr);
    }
    void DataFile(const std::wstring& name, const std::string& bytes) const {
        ASSERT_TRUE(kuttest::WriteFile(m_data.file(name), bytes));
    }
    // The one box shown so far is the warning about `file`.
    static void ExpectWarning(const std::wstring& file, int count) {
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0], Box(file + L" warning " + std::to_wstring(count) + L" elements.", KST_GetNameChar(6), 0x30u));
    }

    kuttest::TempDir m_data, m_temp;
};

// The printed tables by name: "437", "850", "852" (DOS byte 0x80..0xFF to
// Windows byte) and "latin" (Windows byte 0xC0..0xFF to folded byte).
inline const std::map<int, int>& Printed(const std::string& name) {
    static const auto tables = [] {
        std::map<std::string, std::map<int, int>> t;
        std::ifstream in(kuttest::Narrow(kuttest::SourceDir()) + "/tests/decode/tables.txt");
        std::string line, current, first;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            if (!(fields >> first) || first[0] == '#') continue;
            if (first == "table" && fields >> current) continue;
            int row = std::stoi(first, nullptr, 16);
            while (fields >> first) t[current][row++] = std::stoi(first, nullptr, 16);
        }
        EXPECT_EQ(t["437"].size() + t["850"].size() + t["852"].size() + t["latin"].size(), 448u);
        return t;
    }();
    return tables.at(name);
}

enum Script { kLatin, kCentralEuropean, kCyrillic };

// Every language code with a row of its own in either selection table, then
// codes near them and far from them, which take the default rows.
struct LanguageRow {
    short code;
    const char* codePage;
    Script script;
};
inline const std::vector<LanguageRow>& Languages() {
    static const std::vector<LanguageRow> rows = [] {
        std::vector<LanguageRow> r = {{33, "437", kLatin}, {34, "850", kLatin},           {35, "850", kLatin},
                                      {39, "850", kLatin}, {48, "852", kCentralEuropean}, {49, "850", kLatin},
                                      {55, "437", kLatin}, {70, "437", kCyrillic},        {79, "437", kCyrillic},
                                      {81, "437", kLatin}};
        for (short code : {0, 1, -1, -33, -70, -32768, 32767, 32, 36, 47, 50, 71, 78, 80, 850, 852, 1250, 1251})
            r.push_back({code, "437", kLatin});
        return r;
    }();
    return rows;
}
inline const LanguageRow& Language(short code) {
    for (const LanguageRow& r : Languages())
        if (r.code == code) return r;
    return Language(1);
}

// What the built-in tables make of byte b.
inline int BuiltInDos(short language, int b) { return b < 0x80 ? b : Printed(Language(language).codePage).at(b); }
inline int BuiltInFold(short language, int b) {
    if (b < 0x80) {
        if (b == 0x00 || b == 0x0A || b == 0x0D) return b;
        if (b < 0x20 || b == 0x7F) return 0x20;
        return b >= 'a' && b <= 'z' ? b - 0x20 : b;
    }
    static const std::map<int, int> polish = {{0xA5, 'A'}, {0xB9, 'A'}, {0xC6, 'C'}, {0xE6, 'C'}, {0xCA, 'E'},
                                              {0xEA, 'E'}, {0xA3, 'L'}, {0xB3, 'L'}, {0xD1, 'N'}, {0xF1, 'N'},
                                              {0xD3, 'O'}, {0xF3, 'O'}, {0x8C, 'S'}, {0x9C, 'S'}, {0x8F, 'Z'},
                                              {0x9F, 'Z'}, {0xAF, 'Z'}, {0xBF, 'Z'}, {0xB0, 0xB0}};
    switch (Language(language).script) {
    case kLatin: return b < 0xC0 ? 0x20 : Printed("latin").at(b);
    case kCentralEuropean: return polish.count(b) ? polish.at(b) : 0x20;
    default: return b >= 0xC0 && b < 0xE0 ? b : b >= 0xE0 && b < 0xFF ? b - 0x20 : 0x20;
    }
}

// One byte through the library's conversion and folding.
inline int Dos(int b, short language) {
    wchar_t c = static_cast<wchar_t>(b);
    DECODE_DosToWin(&c, 1, language);
    return c;
}
inline int Fold(int b) {
    unsigned char c = static_cast<unsigned char>(b);
    DECODE_Txt_XP(&c);
    return c;
}

}  // namespace decodetest

#endif
