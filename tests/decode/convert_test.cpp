// Whole-file conversion in text mode, the temporary names and the keyword rule.
#include "decode_fixture.h"

#include <cstdio>

using namespace decodetest;

namespace {

// TMP~001.con ... TMP~099.con, TMP~100.con ... and below 0 TMP~00-1.con ...
std::wstring TmpName(int counter) {
    return L"TMP~" + std::wstring(counter < 10 ? L"00" : counter < 100 ? L"0" : L"") + std::to_wstring(counter) + L".con";
}

// A writable path buffer holding `s`, with room for a generated name.
std::vector<wchar_t> Buf(const std::wstring& s) {
    std::vector<wchar_t> b(s.begin(), s.end());
    b.resize(std::max<std::size_t>(s.size() + 1, KUT_TMPPATH_MAX), L'\0');
    return b;
}

class Convert : public DecodeTest {
protected:
    // Converts `bytes` and returns what was written; every other call goes
    // through DECODE_ConvertFile, which must do the same.
    std::string Run(const std::string& bytes, short language = 34) {
        EXPECT_TRUE(kuttest::WriteFile(In(), bytes));
        auto dst = Buf(m_temp.file(L"out.txt"));
        EXPECT_EQ((++m_runs % 2 ? DECODE_Convert : DECODE_ConvertFile)(In().c_str(), dst.data(), language), 0);
        std::string out;
        EXPECT_TRUE(kuttest::ReadFile(dst.data(), &out));
        return out;
    }
    std::wstring In() const { return m_temp.file(L"in.txt"); }
    int m_runs = 0;
};

TEST_F(Convert, LinesAreReadAndWrittenInTextMode) {
    std::string high, highOut, ascii;
    for (int b = 1; b < 0x100; ++b) {
        if (b >= 0x80)
            high += static_cast<char>(b), highOut += static_cast<char>(BuiltInDos(48, b));
        else if (b != '\n' && b != '\r' && b != 0x1A)
            ascii += static_cast<char>(b);
    }
    std::string blocks;  // the next byte is the last of the reader's first 8 KiB
    for (int i = 0; i < 2730; ++i) blocks += "x\r\n";
    blocks += "x";
    const std::string a(519, 'a'), b(519, 'b'), x(512, 'x'), y(600, 'y');
    const struct {
        std::string in, out;
        short language = 34;
    } rows[] = {
        {"ab\r\ncd\r\n", "ab\r\ncd\r\n\r\n"},
        {"ab\ncd", "ab\r\ncd\r\n"},
        {"", "\r\n"},
        {"a\rb\r\r\nc\r", "a\rb\r\r\nc\r\r\n"},  // a lone CR is a character of its line
        {"ab\r\ncd\x1A"
         "ef\r\n",
         "ab\r\ncd\r\n"},
        {"\x1A"
         "ab\r\n",
         "\r\n"},                                               // 0x1A ends the input
        {std::string("ab\0cd\x85\r\nef", 10), "ab\r\nef\r\n"},  // a NUL ends the line
        {high + "\r\n" + ascii, highOut + "\r\n" + ascii + "\r\n", 48},
        {"  kEsToNe\x85\r\n", "  kEsTo97Ne\xE0\r\n\r\n"},  // the keyword rule, then the table
        // A line holds 519 characters; the rest of a longer one is the next line.
        {a + "\r\n" + a + b + "ccc\r\nz", a + "\r\n" + a + "\r\n" + b + "\r\nccc\r\nz\r\n"},
        {std::string(518, 'x') + "\r\nq", std::string(518, 'x') + "\r\nq\r\n"},
        // The keyword's "97" fits lines of up to 519 characters.
        {"kesto" + x + "\r\n", "kesto97" + x + "\r\n\r\n"},
        {"kesto" + x + "xx", "kesto97" + x + "xx\r\n"},
        {"KESTO" + y, "KESTO97" + y.substr(0, 514) + "\r\n" + y.substr(514) + "\r\n"},
        {blocks + "\r\nyy", blocks + "\r\nyy\r\n"},
        {blocks + "\ryy", blocks + "\ryy\r\n"},
        {blocks + "\r\x1A\n", blocks + "\r\r\n"},
        {"x", "x\r\n"},  // a longer destination is emptied first
    };
    for (const auto& r : rows) EXPECT_EQ(Run(r.in, r.language), r.out) << r.in.size() << " bytes " << r.in.substr(0, 9);
}

TEST_F(Convert, ByteConvertedToNulEndsTheLine) {
    std::string table = "256\r\n";  // not 0, and converts to NUL
    for (int i = 1; i < 128; ++i) table += "65\r\n";
    DataFile(L"Decod034.dcd", table);
    EXPECT_EQ(Run("ab\x80"
                  "cd\x81\r\n\x81\r\n"),
              "ab\r\nA\r\n\r\n");
}

TEST_F(Convert, GeneratedNameIsTheFirstFreeOneAndFailuresCreateNothing) {
    auto empty = Buf(L"");
    EXPECT_EQ(DECODE_Convert(m_temp.file(L"missing.txt").c_str(), empty.data(), 34), 1);
    EXPECT_EQ(DECODE_Convert(nullptr, empty.data(), 34), 1);
    EXPECT_STREQ(empty.data(), L"");
    EXPECT_STREQ(DECODE_LastTempName(), L"");
    ASSERT_TRUE(kuttest::WriteFile(In(), "abc\r\n"));
    auto dst = Buf(L"");
    EXPECT_EQ(DECODE_Convert(In().c_str(), dst.data(), 34), 0);
    EXPECT_EQ(std::wstring(dst.data()), m_temp.file(L"TMP~001.con"));
    EXPECT_STREQ(DECODE_LastTempName(), dst.data());
    for (int i = 2; i <= 99; ++i) ASSERT_TRUE(kuttest::WriteFile(m_temp.file(TmpName(i)), ""));
    dst = Buf(L"");
    EXPECT_EQ(DECODE_Convert(In().c_str(), dst.data(), 34), 0);
    EXPECT_EQ(std::wstring(dst.data()), m_temp.file(L"TMP~100.con"));
    // Each search starts at 001; a name that cannot be opened for update
    // (here a folder) counts as free, and the conversion then gives 2.
    ASSERT_EQ(std::remove(kuttest::Narrow(m_temp.file(L"TMP~042.con")).c_str()), 0);
    kuttest::MakeDir(m_temp.file(L"TMP~042.con"));
    dst = Buf(L"");
    EXPECT_EQ(DECODE_Convert(In().c_str(), dst.data(), 34), 2);
    EXPECT_EQ(std::wstring(dst.data()), m_temp.file(L"TMP~042.con"));
    // So does a read-only file (the Windows attribute; on Linux no owner
    // write bit, for root too), which the conversion then leaves as it was.
    kuttest::RemoveTree(m_temp.file(L"TMP~042.con"));
    ASSERT_TRUE(kuttest::WriteFile(m_temp.file(L"TMP~042.con"), "kept"));
    ASSERT_EQ(SYS_FileMode(m_temp.file(L"TMP~042.con").c_str(), 0100444), 0);
    dst = Buf(L"");
    EXPECT_EQ(DECODE_Convert(In().c_str(), dst.data(), 34), 2);
    EXPECT_EQ(std::wstring(dst.data()), m_temp.file(L"TMP~042.con"));
    EXPECT_EQ(kuttest::Read(m_temp.file(L"TMP~042.con")), "kept");
    // A destination in a missing folder, given or generated: 2, and no folder made.
    const std::wstring dir = m_temp.file(L"nowhere");
    EXPECT_EQ(DECODE_Convert(In().c_str(), Buf(dir + kuttest::kSep + L"out.txt").data(), 34), 2);
    REP_SetRepert(9, dir.c_str());
    EXPECT_EQ(DECODE_Convert(In().c_str(), empty.data(), 34), 2);
    EXPECT_EQ(std::wstring(empty.data()), dir + kuttest::kSep + L"TMP~001.con");
    EXPECT_FALSE(kuttest::Exists(dir));
}

#if !defined(_WIN32)
// A Linux name that is not UTF-8 (Latin-1 bytes) is named by its escapes
// U+DC80..U+DCFF and reaches the system as the same bytes.
TEST_F(Convert, NamesThatAreNotUtf8AreConverted) {
    const std::string src8 = kuttest::Narrow(m_temp.path()) + "/caf\xE9.txt";
    FILE* raw = std::fopen(src8.c_str(), "wb");
    ASSERT_NE(raw, nullptr);
    EXPECT_GE(std::fputs("abc\r\n", raw), 0);
    std::fclose(raw);
    auto dst = Buf(m_temp.path() + L"/out-\xDCFF.txt");
    EXPECT_EQ(DECODE_Convert((m_temp.path() + L"/caf\xDCE9.txt").c_str(), dst.data(), 34), 0);
    FILE* out = std::fopen((kuttest::Narrow(m_temp.path()) + "/out-\xFF.txt").c_str(), "rb");
    ASSERT_NE(out, nullptr);
    char got[16] = {0};
    EXPECT_EQ(std::fread(got, 1, sizeof got - 1, out), 7u);
    EXPECT_EQ(std::string(got), "abc\r\n\r\n");
    std::fclose(out);
}
#endif

// SetCount appends its name to the last temporary name, whatever it holds:
// after CreateFiel that is the full path of TMP~001.con.
TEST_F(Convert, CounterNumbersAndWrap) {
    const std::wstring first = m_temp.file(L"TMP~001.con");
    ASSERT_TRUE(kuttest::WriteFile(first + L"TMP~32767.con", ""));
    const std::pair<short, const wchar_t*> rows[] = {
        {0, L"TMP~001.con"},          {8, L"TMP~009.con"},          {9, L"TMP~010.con"},    {98, L"TMP~099.con"},
        {99, L"TMP~100.con"},         {998, L"TMP~999.con"},        {999, L"TMP~1000.con"}, {32765, L"TMP~32766.con"},
        {32766, L"TMP~00-32768.con"}, {32767, L"TMP~00-32768.con"}, {-2, L"TMP~00-1.con"},  {-1, L"TMP~000.con"}};
    for (auto [start, name] : rows) {
        DECODE_CreateFiel(nullptr);
        ASSERT_EQ(std::wstring(DECODE_LastTempName()), first);
        DECODE_SetCount(start);
        EXPECT_EQ(std::wstring(DECODE_LastTempName()), first + name) << start;
    }
}

TEST_F(Convert, SearchStopsWhenEveryNameIsTaken) {
    // wine's file-name emulation scans the folder for every creation.
    if (kuttest::UnderWine()) GTEST_SKIP() << "65,536 file creations are quadratic under wine";
    DECODE_CreateFiel(nullptr);
    const std::wstring prefix = DECODE_LastTempName();
    for (int n = -32768; n <= 32767; ++n) ASSERT_TRUE(kuttest::WriteFile(prefix + TmpName(n), ""));
    DECODE_SetCount(0);
    EXPECT_STREQ(DECODE_LastTempName(), L"");
}

TEST(ConvertTestLine, KeywordRule) {
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {{L"kesto", L"kesto97"},
                                                              {L"\tKESTO", L"\tKESTO97"},
                                                              {L" \t kEsTo rest", L" \t kEsTo97 rest"},
                                                              {L"kestonext", L"kesto97next"},
                                                              {L"kesto97", L"kesto9797"},
                                                              {L"kkesto", L"kkesto"},
                                                              {L"kest", L"kest"},
                                                              {L"xkesto", L"xkesto"},
                                                              {L"kes to", L"kes to"},
                                                              {L"", L""},
                                                              {L"  \t ", L"  \t "},
                                                              {L"\nkesto", L"\nkesto"}};
    for (auto [in, expected] : rows) {
        std::wstring buf(in);
        buf.resize(64);
        TestLine(&buf[0]);
        EXPECT_STREQ(buf.c_str(), expected) << kuttest::Narrow(in);
    }
    TestLine(nullptr);
}

}  // namespace
