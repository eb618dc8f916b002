#include "decode_fixture.h"

using decodetest::Boxes;
using decodetest::Dos;
using decodetest::Fold;

namespace {

class Dictionary : public decodetest::DecodeTest {};

// The folding shared by the built-in dictionaries below 0x80.
int LowerHalf(int b) {
    if (b == 0x00 || b == 0x0A || b == 0x0D) return b;
    if (b < 0x20 || b == 0x7F) return 0x20;
    if (b >= 'a' && b <= 'z') return b - 0x20;
    return b;
}

// A dictionary file whose entry for byte b is (b + 1) % 256, under a header.
std::string ShiftedDictionary(const std::string& eol = "\r\n") {
    std::string s = "[Dictionary]" + eol;
    for (int b = 0; b < 256; ++b) s += std::to_string((b + 1) % 256) + eol;
    return s;
}

TEST_F(Dictionary, LatinFoldsAsDocumented) {
    auto printed = decodetest::PrintedTables();
    DECODE_Language(49);
    for (int b = 0; b < 0x80; ++b) ASSERT_EQ(Fold(b), LowerHalf(b)) << b;
    for (int b = 0x80; b < 0xC0; ++b) ASSERT_EQ(Fold(b), 0x20) << b;
    for (int b = 0xC0; b < 0x100; ++b) ASSERT_EQ(Fold(b), printed["latin"].at(b)) << b;
    EXPECT_EQ(Fold('a'), 'A');
    EXPECT_EQ(Fold(0xE9), 'E');
    EXPECT_EQ(Fold(0xC6), ' ');
    EXPECT_EQ(Fold('\t'), ' ');
    EXPECT_EQ(Fold('\n'), '\n');
    EXPECT_EQ(Fold(0), 0);
    EXPECT_EQ(Fold(0xD0), 'D');
    EXPECT_EQ(Fold(0xFF), 'Y');
}

TEST_F(Dictionary, CentralEuropeanKeepsOnlyPolishLettersAndTheDegreeSign) {
    DECODE_Language(48);
    const std::map<int, int> letters = {
        {0xA5, 'A'}, {0xB9, 'A'}, {0xC6, 'C'}, {0xE6, 'C'}, {0xCA, 'E'}, {0xEA, 'E'}, {0xA3, 'L'},
        {0xB3, 'L'}, {0xD1, 'N'}, {0xF1, 'N'}, {0xD3, 'O'}, {0xF3, 'O'}, {0x8C, 'S'}, {0x9C, 'S'},
        {0x8F, 'Z'}, {0x9F, 'Z'}, {0xAF, 'Z'}, {0xBF, 'Z'}, {0xB0, 0xB0}};
    for (int b = 0; b < 0x80; ++b) ASSERT_EQ(Fold(b), LowerHalf(b)) << b;
    for (int b = 0x80; b < 0x100; ++b) {
        auto it = letters.find(b);
        ASSERT_EQ(Fold(b), it == letters.end() ? 0x20 : it->second) << b;
    }
    EXPECT_EQ(Fold(0xE9), ' ');
}

TEST_F(Dictionary, CyrillicCapitalsStayAndSmallLettersRise) {
    for (short language : {70, 79}) {
        DECODE_Language(language);
        for (int b = 0; b < 0x80; ++b) ASSERT_EQ(Fold(b), LowerHalf(b)) << b;
        for (int b = 0x80; b < 0xC0; ++b) ASSERT_EQ(Fold(b), 0x20) << b;
        for (int b = 0xC0; b < 0xE0; ++b) ASSERT_EQ(Fold(b), b) << b;
        for (int b = 0xE0; b < 0xFF; ++b) ASSERT_EQ(Fold(b), b - 0x20) << b;
        EXPECT_EQ(Fold(0xFF), 0x20);
        EXPECT_EQ(Fold(0xFE), 0xDE);
    }
}

TEST_F(Dictionary, EveryLanguageCodeSelectsItsDictionary) {
    // 0xE9 tells them apart: Latin 'E', Central European ' ', Cyrillic 0xC9.
    const std::pair<short, int> rows[] = {
        {33, 'E'}, {34, 'E'}, {35, 'E'}, {39, 'E'}, {48, ' '}, {49, 'E'}, {55, 'E'}, {70, 0xC9},
        {79, 0xC9}, {81, 'E'}, {1, 'E'}, {0, 'E'}, {-1, 'E'}, {-70, 'E'}, {-32768, 'E'},
        {32767, 'E'}, {71, 'E'}, {78, 'E'}, {80, 'E'}, {1250, 'E'}, {1251, 'E'},
    };
    for (auto [language, expected] : rows) {
        DECODE_Language(language);
        EXPECT_EQ(Fold(0xE9), expected) << "language " << language;
    }
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Dictionary, LatinIsInForceBeforeTheFirstLanguage) {
    DataFile(L"Decod001.dct", ShiftedDictionary());
    EXPECT_EQ(Fold('a'), 'A');
    DECODE_Txt(nullptr);
    DECODE_Language(5);
    EXPECT_EQ(Fold('a'), 'b');
}

TEST_F(Dictionary, FirstAcceptedFileServesEveryLanguage) {
    DataFile(L"Decod033.dct", ShiftedDictionary());
    DECODE_Language(33);
    for (int b = 0; b < 256; ++b) ASSERT_EQ(Fold(b), (b + 1) % 256);
    DECODE_Language(70);
    EXPECT_EQ(Fold(0xE0), 0xE1);
    DECODE_Language(48);
    EXPECT_EQ(Fold(0xFF), 0x00);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Dictionary, MissingFirstFileMeansBuiltInsForGood) {
    DataFile(L"Decod070.dct", ShiftedDictionary());
    DECODE_Language(33);
    DECODE_Language(70);
    EXPECT_EQ(Fold(0xE0), 0xC0);  // FOLD_TABLE_CYR, the file is never read
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Dictionary, EntryFormsHeadersAndComments) {
    std::string s = "[Header, with a comma]\r\n\r\n\r\n";
    s += "65\r\n";              // 0
    s += "65, capital A\r\n";   // 1
    s += "321\r\n";             // 2
    s += "'A\r\n";              // 3
    s += "'A,comment 'B\r\n";   // 4
    s += "'\r\n";               // 5: a quote alone is 0
    s += "\r\n";                // 6: an empty line is an entry of 0
    s += "[Second header]\r\n\r\n";
    s += "',\r\n";              // 7: the comma itself
    s += "  -191 , x\r\n";      // 8: low 8 bits of 0xFF41
    s += "abc\r\n";             // 9
    s += std::string(300, ' ') + "66\r\n";  // 10: the number lies beyond 259
    s += "67" + std::string(400, 'z') + "\r\n";  // 11
    for (int b = 12; b < 256; ++b) s += std::to_string(b) + "\r\n";
    DataFile(L"Decod049.dct", s);
    DECODE_Language(49);
    const int expected[] = {0x41, 0x41, 0x41, 0x41, 0x41, 0, 0, ',', 0x41, 0, 0, 67};
    for (int b = 0; b < 12; ++b) EXPECT_EQ(Fold(b), expected[b]) << "entry " << b;
    for (int b = 12; b < 256; ++b) ASSERT_EQ(Fold(b), b);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Dictionary, LoneCrLineEnds) {
    DataFile(L"Decod034.dct", ShiftedDictionary("\r"));
    DECODE_Language(34);
    EXPECT_EQ(Fold(0xFE), 0xFF);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Dictionary, LfOnlyLineEndsAndByteOneAEndsTheFile) {
    DataFile(L"Decod035.dct", ShiftedDictionary("\n") + "\x1A" "1\n2\n");
    DECODE_Language(35);
    EXPECT_EQ(Fold(0), 1);
    EXPECT_TRUE(Boxes().empty());
}

struct Rejected {
    const char* name;
    std::string file;
    int count;
};
void PrintTo(const Rejected& r, std::ostream* os) { *os << r.name; }

class DictionaryRejected : public decodetest::DecodeTest, public ::testing::WithParamInterface<Rejected> {};

TEST_P(DictionaryRejected, WarnsOnceAndFallsBackToBuiltIns) {
    DataFile(L"Decod070.dct", GetParam().file);
    DECODE_Language(79);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, L"Decod070.dct warning " + std::to_wstring(GetParam().count) + L" elements.");
    EXPECT_EQ(Boxes()[0].caption, std::wstring(KST_GetNameChar(6)));
    EXPECT_EQ(Boxes()[0].style, 0x30u);
    EXPECT_EQ(Fold(0xE0), 0xC0);
    DECODE_Language(48);
    EXPECT_EQ(Fold(0xB3), 'L');
    DECODE_Language(70);
    EXPECT_EQ(Boxes().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Counts, DictionaryRejected,
    ::testing::Values(
        Rejected{"ExtraEmptyLine", ShiftedDictionary() + "\r\n", 258},
        Rejected{"NoFinalLineEnd", ShiftedDictionary().substr(0, ShiftedDictionary().size() - 2), 256},
        Rejected{"ExtraEntry", ShiftedDictionary() + "5\r\n", 258},
        Rejected{"TwoEntries", std::string("1\r\n2\r\n"), 3},
        Rejected{"Empty", std::string(), 1}),
    [](const ::testing::TestParamInfo<Rejected>& p) { return std::string(p.param.name); });

// The two files have states of their own: a rejected one does not touch the other.
TEST_F(Dictionary, LoadersFailIndependently) {
    DataFile(L"Decod033.dcd", "200\r\n");
    DataFile(L"Decod033.dct", ShiftedDictionary());
    EXPECT_EQ(Dos(0x88, 33), 0xF3);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, L"Decod033.dcd warning 2 elements.");
    DECODE_Language(33);
    EXPECT_EQ(Fold('a'), 'b');
    EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(Dictionary, RejectedDictionaryLeavesCodePageFileAlone) {
    std::string table;
    for (int i = 0; i < 128; ++i) table += "193\r\n";
    DataFile(L"Decod048.dcd", table);
    DataFile(L"Decod048.dct", "[only a header]\r\n");
    DECODE_Language(48);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, L"Decod048.dct warning 1 elements.");
    EXPECT_EQ(Dos(0xA5, 48), 0xC1);
    EXPECT_EQ(Boxes().size(), 1u);
}

}  // namespace
