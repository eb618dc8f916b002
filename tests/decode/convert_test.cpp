#include "decode_fixture.h"

#include <cstdlib>
#include <cwchar>

namespace {

class Convert : public decodetest::DecodeTest {
protected:
    // Converts `bytes` with `language` and returns what was written.
    std::string Run(const std::string& bytes, short language = 34) {
        std::wstring src = m_temp.file(L"in.txt");
        EXPECT_TRUE(kuttest::WriteFile(src, bytes));
        std::wstring dst = m_temp.file(L"out.txt");
        std::vector<wchar_t> buf(dst.begin(), dst.end());
        buf.push_back(L'\0');
        EXPECT_EQ(DECODE_Convert(src.c_str(), buf.data(), language), 0);
        std::string out;
        EXPECT_TRUE(kuttest::ReadFile(dst, &out));
        return out;
    }
    std::wstring TempPrefix() const { return m_temp.path() + kuttest::kSep; }
};

TEST_F(Convert, LineEnds) {
    EXPECT_EQ(Run("ab\r\ncd\r\n"), "ab\r\ncd\r\n\r\n");
    EXPECT_EQ(Run("ab\r\ncd"), "ab\r\ncd\r\n");
    EXPECT_EQ(Run(""), "\r\n");
    EXPECT_EQ(Run("ab\ncd\n"), "ab\r\ncd\r\n\r\n");
    // A lone CR is a character of the line, a CR before CR LF too.
    EXPECT_EQ(Run("a\rb\r\r\nc\r"), "a\rb\r\r\nc\r\r\n");
}

TEST_F(Convert, InputEndsAtByteOneA) {
    EXPECT_EQ(Run("ab\r\ncd\x1A" "ef\r\ngh\r\n"), "ab\r\ncd\r\n");
    EXPECT_EQ(Run("\x1A" "ab\r\n"), "\r\n");
}

TEST_F(Convert, NulEndsTheLineForWriting) {
    EXPECT_EQ(Run(std::string("ab\0cd\x85\r\nef", 10)), "ab\r\nef\r\n");
}

TEST_F(Convert, ByteConvertedToNulEndsTheLine) {
    // 256 is a value (its low 16 bits are not 0) that converts to NUL.
    std::string table = "256\r\n";
    for (int i = 1; i < 128; ++i) table += "65\r\n";
    DataFile(L"Decod034.dcd", table);
    EXPECT_EQ(Run("ab\x80" "cd\x81\r\n\x81\r\n"), "ab\r\nA\r\n\r\n");
}

TEST_F(Convert, BytesAreConvertedForTheLanguageOneByteEach) {
    auto printed = decodetest::PrintedTables();
    std::string line;
    for (int b = 0x80; b < 0x100; ++b) line += static_cast<char>(b);
    std::string ascii;
    for (int b = 1; b < 0x80; ++b) {
        if (b != '\n' && b != '\r' && b != 0x1A) ascii += static_cast<char>(b);
    }
    std::string out = Run(line + "\r\n" + ascii + "\r\n", 48);
    ASSERT_EQ(out.size(), 128 + 2 + ascii.size() + 2 + 2);
    for (int b = 0x80; b < 0x100; ++b) {
        EXPECT_EQ(static_cast<unsigned char>(out[b - 0x80]), printed["852"].at(b)) << std::hex << b;
    }
    EXPECT_EQ(out.substr(130, ascii.size()), ascii);
}

TEST_F(Convert, KeywordLines) {
    EXPECT_EQ(Run("kesto\r\n\tKESTO x\r\n  kEsToNe\x85\r\nkkesto\r\nkest\r\n \t \r\n"),
              "kesto97\r\n\tKESTO97 x\r\n  kEsTo97Ne\xE0\r\nkkesto\r\nkest\r\n \t \r\n\r\n");
}

TEST_F(Convert, LongLinesGoOnAsTheNextLine) {
    std::string a(519, 'a'), b(519, 'b'), c(100, 'c');
    // Exactly 519 characters: one line. 1138: 519 + 519 + 100.
    EXPECT_EQ(Run(a + "\r\n" + a + b + c + "\r\nz"), a + "\r\n" + a + "\r\n" + b + "\r\n" + c + "\r\nz\r\n");
    EXPECT_EQ(Run(a), a + "\r\n");
    EXPECT_EQ(Run(a + "\r\n"), a + "\r\n\r\n");
    // A CR LF split by the buffer's edge is still one line end.
    EXPECT_EQ(Run(std::string(518, 'x') + "\r\nq"), std::string(518, 'x') + "\r\nq\r\n");
}

TEST_F(Convert, LongKeywordLinesLoseNothing) {
    for (std::size_t length : {517u, 518u, 519u}) {
        std::string line = "kesto" + std::string(length - 5, 'x');
        EXPECT_EQ(Run(line + "\r\n"), "kesto97" + std::string(length - 5, 'x') + "\r\n\r\n") << length;
    }
    std::string longer = "KESTO" + std::string(600, 'y');
    EXPECT_EQ(Run(longer), "KESTO97" + std::string(514, 'y') + "\r\n" + std::string(86, 'y') + "\r\n");
}

TEST_F(Convert, ExistingDestinationIsEmptied) {
    std::wstring dst = m_temp.file(L"out.txt");
    ASSERT_TRUE(kuttest::WriteFile(dst, std::string(5000, 'q')));
    EXPECT_EQ(Run("x"), "x\r\n");
    std::wstring src = m_temp.file(L"in.txt");
    std::vector<wchar_t> buf(dst.begin(), dst.end());
    buf.push_back(L'\0');
    EXPECT_EQ(DECODE_ConvertFile(src.c_str(), buf.data(), 34), 0);
}

TEST_F(Convert, MissingSourceChangesNothing) {
    wchar_t dst[KUT_TMPPATH_MAX] = L"";
    std::wstring src = m_temp.file(L"missing.txt");
    EXPECT_EQ(DECODE_Convert(src.c_str(), dst, 34), 1);
    EXPECT_STREQ(dst, L"");
    EXPECT_STREQ(DECODE_LastTempName(), L"");
    EXPECT_FALSE(kuttest::Exists(m_temp.file(L"TMP~001.con")));
    EXPECT_EQ(DECODE_Convert(nullptr, dst, 34), 1);
}

TEST_F(Convert, MissingDestinationFolderGivesTwoAndCreatesNothing) {
    std::wstring src = m_temp.file(L"in.txt");
    ASSERT_TRUE(kuttest::WriteFile(src, "abc\r\n"));
    std::wstring dir = m_temp.file(L"nowhere");
    std::wstring dst = dir + kuttest::kSep + L"out.txt";
    std::vector<wchar_t> buf(dst.begin(), dst.end());
    buf.push_back(L'\0');
    EXPECT_EQ(DECODE_Convert(src.c_str(), buf.data(), 34), 2);
    EXPECT_FALSE(kuttest::Exists(dir));
    std::string kept;
    ASSERT_TRUE(kuttest::ReadFile(src, &kept));
    EXPECT_EQ(kept, "abc\r\n");

    // A generated name in a missing temporary folder: the name is handed back.
    REP_SetRepert(9, dir.c_str());
    wchar_t generated[KUT_TMPPATH_MAX] = L"";
    EXPECT_EQ(DECODE_Convert(src.c_str(), generated, 34), 2);
    EXPECT_EQ(std::wstring(generated), dir + kuttest::kSep + L"TMP~001.con");
    EXPECT_FALSE(kuttest::Exists(dir));
}

TEST_F(Convert, GeneratedNameIsTheFirstFreeOne) {
    std::wstring src = m_temp.file(L"in.txt");
    ASSERT_TRUE(kuttest::WriteFile(src, "\x82t\xE9\r\n"));
    wchar_t dst[KUT_TMPPATH_MAX] = L"";
    EXPECT_EQ(DECODE_Convert(src.c_str(), dst, 34), 0);
    EXPECT_EQ(std::wstring(dst), TempPrefix() + L"TMP~001.con");
    EXPECT_STREQ(DECODE_LastTempName(), dst);
    std::string out;
    ASSERT_TRUE(kuttest::ReadFile(dst, &out));
    EXPECT_EQ(out, "\xE9t\xDA\r\n\r\n");

    for (int i = 1; i <= 99; ++i) {
        wchar_t name[32];
        std::swprintf(name, 32, L"TMP~%03d.con", i);
        ASSERT_TRUE(kuttest::WriteFile(m_temp.file(name), ""));
    }
    dst[0] = L'\0';
    EXPECT_EQ(DECODE_Convert(src.c_str(), dst, 34), 0);
    EXPECT_EQ(std::wstring(dst), TempPrefix() + L"TMP~100.con");

    // A name freed again is found again: each search starts at 001.
    ASSERT_EQ(std::remove(kuttest::Narrow(m_temp.file(L"TMP~042.con")).c_str()), 0);
    wchar_t path[KUT_TMPPATH_MAX];
    DECODE_CreateFiel(path);
    EXPECT_EQ(std::wstring(path), TempPrefix() + L"TMP~042.con");
    EXPECT_FALSE(kuttest::Exists(path));
}

TEST_F(Convert, NameThatCannotBeOpenedForUpdateCountsAsFree) {
    // A folder under the name exists but cannot be opened for update.
    kuttest::MakeDir(m_temp.file(L"TMP~001.con"));
    std::wstring src = m_temp.file(L"in.txt");
    ASSERT_TRUE(kuttest::WriteFile(src, "x"));
    wchar_t dst[KUT_TMPPATH_MAX] = L"";
    EXPECT_EQ(DECODE_Convert(src.c_str(), dst, 34), 2);
    EXPECT_EQ(std::wstring(dst), TempPrefix() + L"TMP~001.con");
}

// SetCount appends its name to the last temporary name, whatever it holds:
// after CreateFiel that is the full path of TMP~001.con.
TEST_F(Convert, CounterNumbersAndWrap) {
    const std::wstring first = TempPrefix() + L"TMP~001.con";
    const std::pair<short, const wchar_t*> rows[] = {
        {0, L"TMP~001.con"}, {8, L"TMP~009.con"}, {9, L"TMP~010.con"}, {98, L"TMP~099.con"},
        {99, L"TMP~100.con"}, {998, L"TMP~999.con"}, {999, L"TMP~1000.con"},
        {32766, L"TMP~32767.con"}, {32767, L"TMP~00-32768.con"}, {-2, L"TMP~00-1.con"},
        {-1, L"TMP~000.con"}};
    for (auto [start, name] : rows) {
        DECODE_CreateFiel(nullptr);
        ASSERT_EQ(std::wstring(DECODE_LastTempName()), first);
        DECODE_SetCount(start);
        EXPECT_EQ(std::wstring(DECODE_LastTempName()), first + name) << start;
    }
    // Taken names up to 32767: the counter wraps to -32768.
    ASSERT_TRUE(kuttest::WriteFile(first + L"TMP~32767.con", ""));
    DECODE_CreateFiel(nullptr);
    DECODE_SetCount(32766);
    EXPECT_EQ(std::wstring(DECODE_LastTempName()), first + L"TMP~00-32768.con");
}

TEST_F(Convert, SearchStopsWhenEveryNameIsTaken) {
    // 65,536 new files in one folder: wine's file-name emulation scans the
    // folder for every creation, which makes this take the better part of
    // an hour there (seconds on Linux and on Windows).
    if (kuttest::UnderWine()) GTEST_SKIP() << "65,536 file creations are quadratic under wine";
    // 65536 files take minutes under wine, longer than a test may run.
    if (std::getenv("WINEPREFIX")) GTEST_SKIP() << "too slow under wine";
    DECODE_CreateFiel(nullptr);
    const std::wstring prefix = DECODE_LastTempName();
    for (int counter = -32768; counter <= 32767; ++counter) {
        std::wstring number = std::to_wstring(counter);
        if (counter < 10) number = L"00" + number;
        else if (counter < 100) number = L"0" + number;
        ASSERT_TRUE(kuttest::WriteFile(prefix + L"TMP~" + number + L".con", ""));
    }
    DECODE_SetCount(0);
    EXPECT_STREQ(DECODE_LastTempName(), L"");
}

TEST(ConvertTestLine, KeywordRule) {
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        {L"kesto", L"kesto97"},
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
        {L"\nkesto", L"\nkesto"},
    };
    for (auto [in, expected] : rows) {
        wchar_t buf[64];
        std::wcscpy(buf, in);
        TestLine(buf);
        EXPECT_STREQ(buf, expected) << kuttest::Narrow(in);
    }
    TestLine(nullptr);
}

}  // namespace
