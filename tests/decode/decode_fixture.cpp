#include "decode_fixture.h"

#include <fstream>
#include <sstream>

namespace decodetest {

std::vector<Box>& Boxes() {
    static std::vector<Box> boxes;
    return boxes;
}

namespace {
int RecordBox(const wchar_t* text, const wchar_t* caption, unsigned style) {
    Boxes().push_back({text ? text : L"", caption ? caption : L"", style});
    return 1;
}
}  // namespace

void DecodeTest::SetUp() {
#if defined(KUT_TESTING)
    KUT_TestResetDecodeState();
#endif
    Boxes().clear();
    KUT_SetMessageBoxHook(RecordBox);
    REP_SetRepert(5, m_data.path().c_str());
    REP_SetRepert(9, m_temp.path().c_str());
}

void DecodeTest::TearDown() {
    KUT_SetMessageBoxHook(nullptr);
    REP_SetRepert(5, nullptr);
    REP_SetRepert(9, nullptr);
}

void DecodeTest::DataFile(const std::wstring& name, const std::string& bytes) const {
    ASSERT_TRUE(kuttest::WriteFile(m_data.file(name), bytes));
}

std::map<std::string, std::map<int, int>> PrintedTables() {
    std::map<std::string, std::map<int, int>> tables;
    std::string path = kuttest::Narrow(kuttest::SourceDir()) + "/tests/decode/tables.txt";
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << path;
    std::string line;
    std::string current;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string first;
        fields >> first;
        if (first == "table") {
            fields >> current;
            continue;
        }
        int row = std::stoi(first, nullptr, 16);
        EXPECT_EQ(row % 16, 0) << line;
        for (int i = 0; i < 16; ++i) {
            std::string cell;
            fields >> cell;
            EXPECT_FALSE(cell.empty()) << line;
            EXPECT_EQ(tables[current].count(row + i), 0u) << line;
            tables[current][row + i] = std::stoi(cell, nullptr, 16);
        }
    }
    EXPECT_EQ(tables["437"].size(), 128u);
    EXPECT_EQ(tables["850"].size(), 128u);
    EXPECT_EQ(tables["852"].size(), 128u);
    EXPECT_EQ(tables["latin"].size(), 64u);
    return tables;
}

std::string NumberLines(const std::vector<int>& values, const std::string& eol) {
    std::string s;
    for (int v : values) s += std::to_string(v) + eol;
    return s;
}

int Dos(int b, short language) {
    wchar_t c = static_cast<wchar_t>(b);
    DECODE_DosToWin(&c, 1, language);
    return static_cast<int>(c);
}

int Fold(int b) {
    unsigned char c = static_cast<unsigned char>(b);
    DECODE_Txt_XP(&c);
    return c;
}

}  // namespace decodetest
