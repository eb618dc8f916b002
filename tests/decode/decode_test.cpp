// Code pages, dictionaries, their data files and whole-file conversion. The expected tables come from tables.txt,
// an independent copy, never from the library's arrays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kbase/kbase.h"
#include "kut/decode.h"
#include "kut/kut_ext.h"
#include "testutil.h"
#if defined(KUT_TESTING)
#include "kut/testing.h"
#endif

namespace {

// Byte 0x80..0xFF to byte: code pages "437", "850", "852" and foldings "latin", "polish", "cyrillic".
const std::map<int, int>& Printed(const std::string& name) {
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
        EXPECT_EQ(t.size(), 6u);
        for (const auto& [tableName, bytes] : t) EXPECT_EQ(bytes.size(), 128u) << tableName;
        return t;
    }();
    return tables.at(name);
}

// Every language code with a row of its own, then codes near and far from them, which take the default rows.
struct Language {
    short code;
    const char *codePage, *fold;
};
const std::vector<Language> kLanguages = [] {
    std::vector<Language> r = {{33, "437", "latin"},    {34, "850", "latin"}, {35, "850", "latin"}, {39, "850", "latin"},
                               {48, "852", "polish"},   {49, "850", "latin"}, {55, "437", "latin"}, {70, "437", "cyrillic"},
                               {79, "437", "cyrillic"}, {81, "437", "latin"}};
    for (short code : {0, 1, -1, -33, -70, -32768, 32767, 32, 36, 47, 50, 71, 78, 80, 850, 852, 1250, 1251})
        r.push_back({code, "437", "latin"});
    return r;
}();
const Language& Lang(short code) {
    for (const Language& r : kLanguages)
        if (r.code == code) return r;
    return Lang(1);
}

int BuiltInDos(short language, int b) { return b < 0x80 ? b : Printed(Lang(language).codePage).at(b); }
int BuiltInFold(short language, int b) {
    if (b >= 0x80) return Printed(Lang(language).fold).at(b);
    if (b == 0x00 || b == 0x0A || b == 0x0D) return b;
    if (b < 0x20 || b == 0x7F) return 0x20;
    return b >= 'a' && b <= 'z' ? b - 0x20 : b;
}

int Dos(int b, short language) {
    wchar_t c = static_cast<wchar_t>(b);
    DECODE_DosToWin(&c, 1, language);
    return c;
}
int Fold(int b) {
    unsigned char c = static_cast<unsigned char>(b);
    DECODE_Txt_XP(&c);
    return c;
}

// "text|caption|style" of each message box shown.
std::vector<std::wstring>& Boxes() {
    static std::vector<std::wstring> boxes;
    return boxes;
}

// Every box warns of a rejected data file; while it shows (the host may repaint) the built-in tables are in force.
int ShowBox(const wchar_t* text, const wchar_t* caption, unsigned style) {
    Boxes().push_back(std::wstring(text) + L"|" + caption + L"|" + std::to_wstring(style));
    const bool dictionary = std::wstring(text).find(L".dct") != std::wstring::npos;
    int wrong = 0;
    for (short language : {33, 48, 79}) {
        if (dictionary) DECODE_Language(language);
        for (int b = 0; b < 256; ++b)
            wrong += dictionary ? Fold(b) != BuiltInFold(language, b) : Dos(b, language) != BuiltInDos(language, b);
    }
    EXPECT_EQ(wrong, 0) << "bytes converted otherwise while showing " << kuttest::Narrow(text);
    return 1;
}

class DecodeTest : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(KUT_TESTING)
        KUT_TestResetDecodeState();
#endif
        Boxes().clear();
        KUT_SetMessageBoxHook(ShowBox);
        REP_SetRepert(5, m_data.path().c_str());
        REP_SetRepert(9, m_temp.path().c_str());
    }
    void TearDown() override { KUT_SetMessageBoxHook(nullptr), REP_SetRepert(5, nullptr), REP_SetRepert(9, nullptr); }
    void DataFile(const std::wstring& name, const std::string& bytes) const {
        ASSERT_TRUE(kuttest::WriteFile(m_data.file(name), bytes));
    }
    static void ExpectWarning(const std::wstring& file, int count) {
        EXPECT_EQ(Boxes(), std::vector<std::wstring>{file + L" warning " + std::to_wstring(count) + L" elements.|" +
                                                     KST_GetNameChar(6) + L"|48"});
    }

    kuttest::TempDir m_data, m_temp;
};

using Tables = DecodeTest;

TEST_F(Tables, EveryLanguageCodeConvertsAndFoldsWithItsPrintedTables) {
    // The low 8 bits choose; an element at 0x80 or above is replaced whole, any other kept. Nothing past the length.
    const unsigned highs[] = {0x0000, 0x4100, 0xFF00};
    for (const Language& row : kLanguages) {
        std::vector<wchar_t> buf(3 * 256 + 1, 0x85);
        for (int i = 0; i < 3 * 256; ++i) buf[i] = static_cast<wchar_t>(highs[i / 256] | (i % 256));
        DECODE_DosToWin(buf.data(), 3 * 256, row.code);
        for (int i = 0; i < 3 * 256; ++i) {
            int b = i % 256, want = b < 0x80 ? static_cast<int>(highs[i / 256] | b) : BuiltInDos(row.code, b);
            ASSERT_EQ(static_cast<int>(buf[i]), want) << "language " << row.code << " element 0x" << std::hex << i;
        }
        EXPECT_EQ(buf.back(), 0x85);
    }
    EXPECT_EQ(Fold(0xE9), 'E');  // Latin until the first choice
    for (const Language& row : kLanguages) {
        DECODE_Language(row.code);
        for (int b = 0; b < 256; ++b) ASSERT_EQ(Fold(b), BuiltInFold(row.code, b)) << row.code << " byte " << b;
    }
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Tables, SampleDataFilesAreAcceptedAndHoldTheBuiltInTables) {
    const std::wstring dir = kuttest::SourceDir() + kuttest::kSep + L"data" + kuttest::kSep + L"decode";
    REP_SetRepert(5, dir.c_str());
    for (short language : {34, 48, 1}) {
#if defined(KUT_TESTING)
        KUT_TestResetDecodeState();  // each file read by a first call of its own
#endif
        const std::wstring name = dir + kuttest::kSep + (language < 10 ? L"Decod00" : L"Decod0") + std::to_wstring(language);
        ASSERT_TRUE(kuttest::Exists(name + L".dcd") && kuttest::Exists(name + L".dct")) << language;
        for (int b = 0; b < 256; ++b) ASSERT_EQ(Dos(b, language), BuiltInDos(language, b)) << language;
        DECODE_Language(language);
        for (int b = 0; b < 256; ++b) ASSERT_EQ(Fold(b), BuiltInFold(language, b)) << language;
#if !defined(KUT_TESTING)
        break;
#endif
    }
    EXPECT_TRUE(Boxes().empty());
}

// File tables unlike every built-in one.
int Shifted(int b) { return b < 0x80 ? b : 0x80 + ((b - 0x80) + 5) % 128; }
int Entry(int b) { return b % 16 == 15 ? 0 : b + 1; }

std::string CodePage(const std::string& eol = "\r\n", int count = 128) {
    std::string s;
    for (int i = 0; i < count; ++i) s += std::to_string(Shifted(0x80 + i % 128)) + eol;
    return s;
}

std::string Dictionary(const std::string& eol = "\r\n") {
    std::string s = "[Dictionary]" + eol;
    for (int b = 0; b < 256; ++b) s += std::to_string(Entry(b)) + eol;
    return s;
}

// The same tables in every form a line may take: lines of 0 (blank, text, 65536, a number past the kept length)
// count for nothing; numbers keep their low bits; text after a number, or a comment, is ignored.
std::string NoisyCodePage() {
    std::string s = "\r\n0\r\nhello\r\n   \r\n65536\r\n" + std::string(300, ' ') + "77\r\n";
    for (int i = 0; i < 128; ++i) {
        int v = Shifted(0x80 + i);
        const std::string n = std::to_string(v), forms[] = {n, std::to_string(v + 256), std::to_string(v - 65536),
                                                            "  +" + n + " trailing", n + std::string(400, 'x')};
        s += forms[i % 5] + (i % 7 ? "\r\n" : "\r\n0\r\n\r\ntext\r\n");
    }
    return s + "\r\n\r\n";
}

std::string NoisyDictionary() {
    std::string s = "[Header, with a comma]\r\n\r\n\r\n";
    const std::string zeros[] = {"'", "", std::string(300, ' ') + "66", "abc", "0, comment"};
    for (int b = 0; b < 256; ++b) {
        const int e = Entry(b);
        const std::string n = std::to_string(e), c(1, static_cast<char>(e)), tail = " -" + std::to_string(256 - e) + " , x";
        const std::string forms[] = {n,    n + ", comment 5", std::to_string(e + 256), n + std::string(400, 'z'),
                                     tail, "'" + c,           "'" + c + ",comment 'B"};
        if (b == 100) s += "[Second header]\r\n\r\n";
        s += e == 0 ? zeros[b / 16 % 5] : e < 0x21 || e > 0x7E ? forms[b % 5] : forms[b % 7];
        s += "\r\n";
    }
    return s;
}

// first: the first call's language; warning: 0 accepted, -1 never read, else the count the warning gives.
struct FileCase {
    const char* name;
    const wchar_t* file;
    short first;
    std::string text;
    int warning;
};
void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

const std::vector<FileCase> kFiles = {
    {"CodePageCrLf", L"Decod033.dcd", 33, CodePage(), 0},
    {"CodePageLoneCr", L"Decod034.dcd", 34, CodePage("\r"), 0},
    {"CodePageLfOnly", L"Decod035.dcd", 35, CodePage("\n"), 0},
    {"CodePageCtrlZEnds", L"Decod039.dcd", 39, CodePage() + "\x1A" + "200\r\n201\r\n", 0},
    {"CodePageNoisy", L"Decod049.dcd", 49, NoisyCodePage(), 0},
    {"CodePageDefaultRow", L"Decod001.dcd", 7, CodePage(), 0},
    {"CodePageOnlyFirstOpened", L"Decod048.dcd", 33, CodePage(), -1},
    {"CodePage127", L"Decod033.dcd", 33, CodePage("\r\n", 127), 128},
    {"CodePageNoFinalLineEnd", L"Decod033.dcd", 33, CodePage().substr(0, CodePage().size() - 2), 128},
    {"CodePage129", L"Decod033.dcd", 33, CodePage("\r\n", 129), 130},
    {"CodePageEmpty", L"Decod033.dcd", 33, "", 1},
    {"DictionaryCrLf", L"Decod033.dct", 33, Dictionary(), 0},
    {"DictionaryLoneCr", L"Decod034.dct", 34, Dictionary("\r"), 0},
    {"DictionaryLfOnlyCtrlZEnds", L"Decod035.dct", 35, Dictionary("\n") + "\x1A" + "1\n2\n", 0},
    {"DictionaryNoisy", L"Decod049.dct", 49, NoisyDictionary(), 0},
    {"DictionaryCyrillicRow", L"Decod070.dct", 79, Dictionary(), 0},
    {"DictionaryOnlyFirstOpened", L"Decod070.dct", 33, Dictionary(), -1},
    {"DictionaryExtraEmptyLine", L"Decod070.dct", 79, Dictionary() + "\r\n", 258},
    {"DictionaryNoFinalLineEnd", L"Decod070.dct", 79, Dictionary().substr(0, Dictionary().size() - 2), 256},
    {"DictionaryHeaderOnly", L"Decod070.dct", 79, "[only a header]\r\n", 1},
    {"DictionaryEmpty", L"Decod070.dct", 79, "", 1},
};

class DataFiles : public DecodeTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(DataFiles, AreReadOnceAndAcceptedOrRejected) {
    const FileCase& c = GetParam();
    const bool dictionary = std::wstring(c.file).back() == L't';
    DataFile(c.file, c.text);
    wchar_t probe = 0x88;
    dictionary ? DECODE_Language(c.first) : DECODE_DosToWin(&probe, 0, c.first);
    EXPECT_EQ(probe, 0x88);
    if (c.warning > 0) ExpectWarning(c.file, c.warning);
    DataFile(c.file, "");  // never read again
    for (short language : {c.first, static_cast<short>(33), static_cast<short>(48), static_cast<short>(70)}) {
        if (dictionary) DECODE_Language(language);
        for (int b = 0; b < 256; ++b) {
            int want = c.warning ? (dictionary ? BuiltInFold(language, b) : BuiltInDos(language, b))
                                 : (dictionary ? Entry(b) : Shifted(b));
            ASSERT_EQ(dictionary ? Fold(b) : Dos(b, language), want) << "language " << language << " byte " << b;
        }
    }
    EXPECT_EQ(Boxes().size(), c.warning > 0 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, DataFiles, ::testing::ValuesIn(kFiles),
                         [](const ::testing::TestParamInfo<FileCase>& p) { return std::string(p.param.name); });

class BothFiles : public DecodeTest, public ::testing::WithParamInterface<bool> {};

TEST_P(BothFiles, FailIndependently) {
    const bool codePageGood = GetParam();
    DataFile(L"Decod048.dcd", codePageGood ? CodePage() : "200\r\n");
    DataFile(L"Decod048.dct", codePageGood ? "[only a header]\r\n" : Dictionary());
    DECODE_Language(48);
    EXPECT_EQ(Dos(0xA5, 48), codePageGood ? Shifted(0xA5) : 0xB9);
    EXPECT_EQ(Fold('a'), codePageGood ? 'A' : 'b');
    ExpectWarning(codePageGood ? L"Decod048.dct" : L"Decod048.dcd", codePageGood ? 1 : 2);
}

INSTANTIATE_TEST_SUITE_P(Files, BothFiles, ::testing::Bool());

std::wstring TmpName(int counter) {
    return L"TMP~" + std::wstring(counter < 10 ? L"00" : counter < 100 ? L"0" : L"") + std::to_wstring(counter) + L".con";
}

std::vector<wchar_t> Buf(const std::wstring& s) {
    std::vector<wchar_t> b(s.begin(), s.end());
    b.resize(std::max<std::size_t>(s.size() + 1, KUT_TMPPATH_MAX), L'\0');
    return b;
}

class Convert : public DecodeTest {
protected:
    // Every other call goes through DECODE_ConvertFile, which must do the same.
    std::string Run(const std::string& bytes, short language = 34) {
        EXPECT_TRUE(kuttest::WriteFile(In(), bytes));
        auto dst = Buf(m_temp.file(L"out.txt"));
        EXPECT_EQ((++m_runs % 2 ? DECODE_Convert : DECODE_ConvertFile)(In().c_str(), dst.data(), language), 0);
        return kuttest::Read(dst.data());
    }
    std::wstring Generated(int result) {
        auto dst = Buf(L"");
        EXPECT_EQ(DECODE_Convert(In().c_str(), dst.data(), 34), result);
        return dst.data();
    }
    std::wstring In() const { return m_temp.file(L"in.txt"); }
    int m_runs = 0;
};

TEST_F(Convert, LinesAreReadAndWrittenInTextMode) {
    const std::string bytes = "\x01\x1B~\x7F\x80\xA5\xFF";  // controls kept, both ends of the table, no sign extension
    std::string bytesOut;
    for (unsigned char c : bytes) bytesOut += static_cast<char>(BuiltInDos(48, c));
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
        {"ab\r\ncd\x1A" + std::string("ef\r\n"), "ab\r\ncd\r\n"},
        {"\x1A" + std::string("ab\r\n"), "\r\n"},               // 0x1A ends the input
        {std::string("ab\0cd\x85\r\nef", 10), "ab\r\nef\r\n"},  // a NUL ends the line
        {bytes, bytesOut + "\r\n", 48},
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
    EXPECT_EQ(Run("ab\x80" + std::string("cd\x81\r\n\x81\r\n")), "ab\r\nA\r\n\r\n");
}

TEST_F(Convert, GeneratedNameIsTheFirstFreeOneAndFailuresCreateNothing) {
    auto empty = Buf(L"");
    EXPECT_EQ(DECODE_Convert(m_temp.file(L"missing.txt").c_str(), empty.data(), 34), 1);
    EXPECT_EQ(DECODE_Convert(nullptr, empty.data(), 34), 1);
    EXPECT_STREQ(empty.data(), L"");
    EXPECT_STREQ(DECODE_LastTempName(), L"");
    ASSERT_TRUE(kuttest::WriteFile(In(), "abc\r\n"));
    EXPECT_EQ(Generated(0), m_temp.file(L"TMP~001.con"));
    EXPECT_EQ(DECODE_LastTempName(), m_temp.file(L"TMP~001.con"));
    for (int i = 2; i <= 99; ++i) ASSERT_TRUE(kuttest::WriteFile(m_temp.file(TmpName(i)), ""));
    EXPECT_EQ(Generated(0), m_temp.file(L"TMP~100.con"));
    // Each search starts at 001; a name that cannot be opened for update (a folder, a read-only file) counts as
    // free, and the conversion into it gives 2 and leaves it as it was.
    const std::wstring n42 = m_temp.file(L"TMP~042.con");
    ASSERT_EQ(std::remove(kuttest::Narrow(n42).c_str()), 0);
    kuttest::MakeDir(n42);
    EXPECT_EQ(Generated(2), n42);
    kuttest::RemoveTree(n42);
    ASSERT_TRUE(kuttest::WriteFile(n42, "kept"));
    ASSERT_EQ(SYS_FileMode(n42.c_str(), 0100444), 0);
    EXPECT_EQ(Generated(2), n42);
    EXPECT_EQ(kuttest::Read(n42), "kept");
    const std::wstring dir = m_temp.file(L"nowhere");
    EXPECT_EQ(DECODE_Convert(In().c_str(), Buf(dir + kuttest::kSep + L"out.txt").data(), 34), 2);
    REP_SetRepert(9, dir.c_str());
    EXPECT_EQ(Generated(2), dir + kuttest::kSep + L"TMP~001.con");
    EXPECT_FALSE(kuttest::Exists(dir));
}

#if !defined(_WIN32)
// A name that is not UTF-8 goes by its escapes U+DC80..U+DCFF and reaches the system as the same bytes.
TEST_F(Convert, NamesThatAreNotUtf8AreConverted) {
    const std::string dir8 = kuttest::Narrow(m_temp.path());
    std::ofstream(dir8 + "/caf\xE9.txt", std::ios::binary) << "abc\r\n";
    EXPECT_EQ(DECODE_Convert((m_temp.path() + L"/caf\xDCE9.txt").c_str(), Buf(m_temp.path() + L"/out-\xDCFF.txt").data(), 34), 0);
    std::ifstream out(dir8 + "/out-\xFF.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(out), {}), "abc\r\n\r\n");
}
#endif

// SetCount appends its name to the last temporary name: after CreateFiel, TMP~001.con's full path.
TEST_F(Convert, CounterNumbersAndWrap) {
    const std::wstring first = m_temp.file(L"TMP~001.con");
    ASSERT_TRUE(kuttest::WriteFile(first + L"TMP~32767.con", ""));
    const std::pair<short, const wchar_t*> rows[] = {{0, L"TMP~001.con"},   {8, L"TMP~009.con"},          {9, L"TMP~010.con"},
                                                     {98, L"TMP~099.con"},  {99, L"TMP~100.con"},         {999, L"TMP~1000.con"},
                                                     {-2, L"TMP~00-1.con"}, {32766, L"TMP~00-32768.con"}, {-1, L"TMP~000.con"}};
    for (auto [start, name] : rows) {
        DECODE_CreateFiel(nullptr);
        ASSERT_EQ(std::wstring(DECODE_LastTempName()), first);
        DECODE_SetCount(start);
        EXPECT_EQ(std::wstring(DECODE_LastTempName()), first + name) << start;
    }
}

TEST_F(Convert, SearchStopsWhenEveryNameIsTaken) {
    if (kuttest::UnderWine()) GTEST_SKIP() << "65,536 file creations are quadratic under wine";
    DECODE_CreateFiel(nullptr);
    const std::wstring prefix = DECODE_LastTempName();
    for (int n = -32768; n <= 32767; ++n) ASSERT_TRUE(kuttest::WriteFile(prefix + TmpName(n), ""));
    DECODE_SetCount(0);
    EXPECT_STREQ(DECODE_LastTempName(), L"");
}

TEST(ConvertTestLine, KeywordRule) {
    // Unchanged rows expect their input.
    const wchar_t* rows[][2] = {{L"\tKESTO", L"\tKESTO97"},
                                {L" \t kEsTo rest", L" \t kEsTo97 rest"},
                                {L"kesto97", L"kesto9797"},
                                {L"kkesto"},
                                {L"kest"},
                                {L"xkesto"},
                                {L""},
                                {L"\nkesto"}};
    for (auto [in, out] : rows) {
        const wchar_t* expected = out ? out : in;
        std::wstring buf(in);
        buf.resize(64);
        TestLine(&buf[0]);
        EXPECT_STREQ(buf.c_str(), expected) << kuttest::Narrow(in);
    }
    TestLine(nullptr);
}

}  // namespace
