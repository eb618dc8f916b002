#include "decode_fixture.h"

#include <numeric>

using decodetest::Boxes;
using decodetest::Dos;
using decodetest::NumberLines;

namespace {

// A file table that differs from every built-in one: DOS 0x80 + i -> 0x80 + (i + 5) % 128.
std::vector<int> ShiftedTable() {
    std::vector<int> v(128);
    for (int i = 0; i < 128; ++i) v[i] = 0x80 + (i + 5) % 128;
    return v;
}
int Shifted(int b) { return 0x80 + ((b - 0x80) + 5) % 128; }

class CodePage : public decodetest::DecodeTest {};

TEST_F(CodePage, BuiltInTablesMatchThePrintedTablesCellByCell) {
    auto printed = decodetest::PrintedTables();
    const std::pair<short, const char*> languages[] = {{33, "437"}, {34, "850"}, {48, "852"}};
    for (auto [language, table] : languages) {
        std::vector<wchar_t> buf(256);
        std::iota(buf.begin(), buf.end(), 0);
        DECODE_DosToWin(buf.data(), 256, language);
        for (int b = 0; b < 0x80; ++b) EXPECT_EQ(buf[b], b) << "language " << language;
        for (int b = 0x80; b < 0x100; ++b) {
            EXPECT_EQ(buf[b], printed[table].at(b)) << "table " << table << " DOS 0x" << std::hex << b;
        }
    }
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(CodePage, EveryLanguageCodeSelectsItsTable) {
    // DOS 0x88 tells the three tables apart: 437 -> F3, 850 -> EA, 852 -> B3.
    const std::pair<short, int> rows[] = {
        {33, 0xF3}, {34, 0xEA}, {35, 0xEA}, {39, 0xEA}, {48, 0xB3}, {49, 0xEA},
        {1, 0xF3}, {0, 0xF3}, {-1, 0xF3}, {-33, 0xF3}, {-32768, 0xF3}, {32767, 0xF3},
        {32, 0xF3}, {36, 0xF3}, {47, 0xF3}, {50, 0xF3}, {55, 0xF3}, {70, 0xF3}, {850, 0xF3}, {852, 0xF3},
    };
    for (auto [language, expected] : rows) EXPECT_EQ(Dos(0x88, language), expected) << "language " << language;
    // The documented samples.
    EXPECT_EQ(Dos(0xA5, 48), 0xB9);
    EXPECT_EQ(Dos(0x81, 49), 0xFC);
    EXPECT_EQ(Dos(0x8C, 33), 0xEE);
    EXPECT_EQ(Dos(0x8C, 7), 0xEE);
}

TEST_F(CodePage, OnlyTheLowByteSelectsAndTheWholeElementIsReplaced) {
    wchar_t buf[] = {0x4141, static_cast<wchar_t>(0xFF91), 0x0191, L'\r', L'\n', L'\t', 0x00, 0x85, 0x85};
    DECODE_DosToWin(buf, 8, 34);
    EXPECT_EQ(buf[0], 0x4141);  // low byte below 0x80: untouched, high bits too
    EXPECT_EQ(buf[1], 0xE6);    // 0x91 in 850, whatever the high bits
    EXPECT_EQ(buf[2], 0xE6);
    EXPECT_EQ(buf[3], L'\r');
    EXPECT_EQ(buf[4], L'\n');
    EXPECT_EQ(buf[5], L'\t');
    EXPECT_EQ(buf[6], 0);     // a NUL inside the range is an element like any other
    EXPECT_EQ(buf[7], 0xE0);  // converted behind the NUL
    EXPECT_EQ(buf[8], 0x85);  // beyond the length: untouched
}

TEST_F(CodePage, NoLengthConvertsNothingButLoadsTheFile) {
    DataFile(L"Decod033.dcd", NumberLines(ShiftedTable()));
    wchar_t c = 0x88;
    DECODE_DosToWin(&c, 0, 33);
    DECODE_DosToWin(&c, -5, 33);
    EXPECT_EQ(c, 0x88);
    // The file was read by the empty call: removing it changes nothing now.
    ASSERT_TRUE(kuttest::WriteFile(m_data.file(L"Decod033.dcd"), ""));
    EXPECT_EQ(Dos(0x88, 33), Shifted(0x88));
    DECODE_DosToWin(nullptr, 10, 33);
}

TEST_F(CodePage, FirstAcceptedFileServesEveryLanguage) {
    DataFile(L"Decod033.dcd", NumberLines(ShiftedTable()));
    DataFile(L"Decod048.dcd", NumberLines(std::vector<int>(128, 0xC1)));
    for (int b = 0x80; b < 0x100; ++b) ASSERT_EQ(Dos(b, 33), Shifted(b));
    EXPECT_EQ(Dos(0xA5, 48), Shifted(0xA5));
    EXPECT_EQ(Dos(0x41, 48), 0x41);
    EXPECT_EQ(Dos(0xA5, 1), Shifted(0xA5));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(CodePage, MissingFirstFileKeepsBuiltInsAndNeverOpensTheOthers) {
    DataFile(L"Decod048.dcd", NumberLines(std::vector<int>(128, 0xC1)));
    EXPECT_EQ(Dos(0x88, 33), 0xF3);
    EXPECT_EQ(Dos(0xA5, 48), 0xB9);  // DOS_TABLE_852, not the file's 0xC1
    EXPECT_EQ(Dos(0x88, 34), 0xEA);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(CodePage, FileNumbersKeepTheirLowByteAndOnlyNonZeroLinesCount) {
    // 321 = 0x141 and -191 = 0xFF41 both act as 0x41. Blank lines, text and
    // "0" lines are skipped wherever they stand; 65536 has low 16 bits 0.
    std::string file = "\r\n0\r\nhello\r\n   \r\n65536\r\n";
    file += "321\r\n-191\r\n  +66 trailing text\r\n";
    std::vector<int> rest = ShiftedTable();
    for (int i = 3; i < 128; ++i) file += std::to_string(rest[i]) + (i % 7 == 0 ? "\r\n0\r\n\r\n" : "\r\n");
    file += "\r\n\r\n";
    DataFile(L"Decod049.dcd", file);
    EXPECT_EQ(Dos(0x80, 49), 0x41);
    EXPECT_EQ(Dos(0x81, 49), 0x41);
    EXPECT_EQ(Dos(0x82, 49), 0x42);
    for (int b = 0x83; b < 0x100; ++b) ASSERT_EQ(Dos(b, 49), Shifted(b));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(CodePage, LoneCrAndLoneLfEndLinesToo) {
    DataFile(L"Decod034.dcd", NumberLines(ShiftedTable(), "\r"));
    EXPECT_EQ(Dos(0xFF, 34), Shifted(0xFF));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(CodePage, LfOnlyFileIsAccepted) {
    DataFile(L"Decod035.dcd", NumberLines(ShiftedTable(), "\n"));
    EXPECT_EQ(Dos(0x80, 35), Shifted(0x80));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(CodePage, ByteOneAEndsTheFile) {
    DataFile(L"Decod039.dcd", NumberLines(ShiftedTable()) + "\x1A" + "200\r\n201\r\n");
    EXPECT_EQ(Dos(0xFF, 39), Shifted(0xFF));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(CodePage, LongLinesKeepTheirFirst258Characters) {
    std::vector<int> v = ShiftedTable();
    std::string file = std::to_string(v[0]) + std::string(400, 'x') + "\r\n";
    file += std::string(300, ' ') + "77\r\n";  // the number lies beyond 258: a 0 line
    for (int i = 1; i < 128; ++i) file += std::to_string(v[i]) + "\r\n";
    DataFile(L"Decod001.dcd", file);
    EXPECT_EQ(Dos(0x80, 1), Shifted(0x80));
    EXPECT_EQ(Dos(0x81, 1), Shifted(0x81));
    EXPECT_TRUE(Boxes().empty());
}

struct Rejected {
    const char* name;
    std::string file;
    int count;
};
void PrintTo(const Rejected& r, std::ostream* os) { *os << r.name; }

class CodePageRejected : public decodetest::DecodeTest, public ::testing::WithParamInterface<Rejected> {};

TEST_P(CodePageRejected, WarnsOnceAndFallsBackToBuiltIns) {
    DataFile(L"Decod033.dcd", GetParam().file);
    EXPECT_EQ(Dos(0x88, 33), 0xF3);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, L"Decod033.dcd warning " + std::to_wstring(GetParam().count) + L" elements.");
    EXPECT_EQ(Boxes()[0].caption, std::wstring(KST_GetNameChar(6)));
    EXPECT_EQ(Boxes()[0].style, 0x30u);
    // From now on each language has its own built-in table, with no new box.
    EXPECT_EQ(Dos(0xA5, 48), 0xB9);
    EXPECT_EQ(Dos(0x88, 34), 0xEA);
    EXPECT_EQ(Boxes().size(), 1u);
}

std::string WithoutLastLineEnd() {
    std::string s = NumberLines(ShiftedTable());
    return s.substr(0, s.size() - 2);
}

INSTANTIATE_TEST_SUITE_P(Counts, CodePageRejected,
    ::testing::Values(
        Rejected{"Values127", NumberLines(std::vector<int>(127, 0x90)), 128},
        Rejected{"NoFinalLineEnd", WithoutLastLineEnd(), 128},
        Rejected{"Values129", NumberLines(std::vector<int>(129, 0x90)), 130},
        Rejected{"Values130", NumberLines(std::vector<int>(130, 0x90)), 131},
        Rejected{"Empty", "", 1},
        Rejected{"CtrlZFirst", "\x1A" + NumberLines(ShiftedTable()), 1}),
    [](const ::testing::TestParamInfo<Rejected>& p) { return std::string(p.param.name); });

TEST(CodePageEdi, ReturnsEveryValueUnchanged) {
    for (unsigned v = 0; v <= 0xFFFF; ++v) ASSERT_EQ(DECODE_Edi(static_cast<unsigned short>(v)), v);
}

}  // namespace
