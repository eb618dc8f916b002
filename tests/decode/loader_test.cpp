// The code-page and dictionary files: which are accepted, which rejected
// with one warning, and that each is read once, at the first call, by the
// language of that call. Every case runs in a process of its own.
#include "decode_fixture.h"

using namespace decodetest;

namespace {

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

// The same tables with every form a line may take: lines of 0 (blank, text,
// "0", 65536, a number past the kept length) count for nothing; numbers keep
// their low bits; text after a number, or a dictionary comment, is ignored.
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
        const std::string n = std::to_string(Entry(b)), c(1, static_cast<char>(Entry(b)));
        const std::string forms[] = {n,
                                     n + ", comment 5",
                                     std::to_string(Entry(b) + 256),
                                     n + std::string(400, 'z'),
                                     " -" + std::to_string(256 - Entry(b)) + " , x",
                                     "'" + c,
                                     "'" + c + ",comment 'B"};
        if (b == 100) s += "[Second header]\r\n\r\n";
        s += Entry(b) == 0 ? zeros[b / 16 % 5] : Entry(b) < 0x21 || Entry(b) > 0x7E ? forms[b % 5] : forms[b % 7];
        s += "\r\n";
    }
    return s;
}

// `first` is the language of the first call; `warning` is 0 when the file is
// accepted, -1 when it is never read, else the count its warning gives.
struct FileCase {
    const char* name;
    const wchar_t* file;
    short first;
    std::string text;
    int warning;
};
void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class DataFiles : public DecodeTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(DataFiles, AreReadOnceAndAcceptedOrRejected) {
    const FileCase& c = GetParam();
    const bool dictionary = std::wstring(c.file).back() == L't';
    DataFile(c.file, c.text);
    // The first call reads the file, even one that converts nothing.
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

INSTANTIATE_TEST_SUITE_P(Files, DataFiles,
                         ::testing::Values(FileCase{"CodePageCrLf", L"Decod033.dcd", 33, CodePage(), 0},
                                           FileCase{"CodePageLoneCr", L"Decod034.dcd", 34, CodePage("\r"), 0},
                                           FileCase{"CodePageLfOnly", L"Decod035.dcd", 35, CodePage("\n"), 0},
                                           FileCase{"CodePageCtrlZEnds", L"Decod039.dcd", 39,
                                                    CodePage() + "\x1A"
                                                                 "200\r\n201\r\n",
                                                    0},
                                           FileCase{"CodePageNoisy", L"Decod049.dcd", 49, NoisyCodePage(), 0},
                                           FileCase{"CodePageDefaultRow", L"Decod001.dcd", 7, CodePage(), 0},
                                           FileCase{"CodePageOnlyFirstOpened", L"Decod048.dcd", 33, CodePage(), -1},
                                           FileCase{"CodePage127", L"Decod033.dcd", 33, CodePage("\r\n", 127), 128},
                                           FileCase{"CodePageNoFinalLineEnd", L"Decod033.dcd", 33,
                                                    CodePage().substr(0, CodePage().size() - 2), 128},
                                           FileCase{"CodePage129", L"Decod033.dcd", 33, CodePage("\r\n", 129), 130},
                                           FileCase{"CodePage130", L"Decod033.dcd", 33, CodePage("\r\n", 130), 131},
                                           FileCase{"CodePageEmpty", L"Decod033.dcd", 33, "", 1},
                                           FileCase{"DictionaryCrLf", L"Decod033.dct", 33, Dictionary(), 0},
                                           FileCase{"DictionaryLoneCr", L"Decod034.dct", 34, Dictionary("\r"), 0},
                                           FileCase{"DictionaryLfOnlyCtrlZEnds", L"Decod035.dct", 35,
                                                    Dictionary("\n") + "\x1A"
                                                                       "1\n2\n",
                                                    0},
                                           FileCase{"DictionaryNoisy", L"Decod049.dct", 49, NoisyDictionary(), 0},
                                           FileCase{"DictionaryCyrillicRow", L"Decod070.dct", 79, Dictionary(), 0},
                                           FileCase{"DictionaryOnlyFirstOpened", L"Decod070.dct", 33, Dictionary(), -1},
                                           FileCase{"DictionaryExtraEmptyLine", L"Decod070.dct", 79, Dictionary() + "\r\n", 258},
                                           FileCase{"DictionaryNoFinalLineEnd", L"Decod070.dct", 79,
                                                    Dictionary().substr(0, Dictionary().size() - 2), 256},
                                           FileCase{"DictionaryExtraEntry", L"Decod070.dct", 79, Dictionary() + "5\r\n", 258},
                                           FileCase{"DictionaryHeaderOnly", L"Decod070.dct", 79, "[only a header]\r\n", 1},
                                           FileCase{"DictionaryEmpty", L"Decod070.dct", 79, "", 1}),
                         [](const ::testing::TestParamInfo<FileCase>& p) { return std::string(p.param.name); });

// The two files have states of their own: one rejected leaves the other read.
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

// A conversion asked for while the warning about a rejected file is still
// showing (the host's box may repaint converted text) already takes the
// built-in table of its own language: nothing read from the rejected file
// is used, and no second warning comes.
class WhileWarning : public DecodeTest {
protected:
    // What the nested calls made of every byte that differs from the
    // built-in tables: "file language byte -> value".
    static std::vector<std::string>& Wrong() {
        static std::vector<std::string> w;
        return w;
    }
    static int Nested(const wchar_t* text, const wchar_t* caption, unsigned style) {
        Boxes().emplace_back(text ? text : L"", caption ? caption : L"", style);
        const bool dictionary = std::wstring(text).find(L".dct") != std::wstring::npos;
        for (short language : {static_cast<short>(33), static_cast<short>(48), static_cast<short>(79)}) {
            if (dictionary) DECODE_Language(language);
            for (int b = 0; b < 256; ++b) {
                const int got = dictionary ? Fold(b) : Dos(b, language);
                if (got != (dictionary ? BuiltInFold(language, b) : BuiltInDos(language, b)))
                    Wrong().push_back((dictionary ? "dct " : "dcd ") + std::to_string(language) + " " + std::to_string(b) +
                                      " -> " + std::to_string(got));
            }
        }
        return 1;
    }
};

TEST_F(WhileWarning, NestedCallsUseTheBuiltInTables) {
    DataFile(L"Decod033.dcd", CodePage("\r\n", 127));
    DataFile(L"Decod070.dct", Dictionary() + "\r\n");
    KUT_SetMessageBoxHook(&WhileWarning::Nested);
    EXPECT_EQ(Dos(0x80, 33), BuiltInDos(33, 0x80));
    DECODE_Language(79);
    EXPECT_EQ(Fold(0xE0), BuiltInFold(79, 0xE0));
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(std::get<0>(Boxes()[0]), L"Decod033.dcd warning 128 elements.");
    EXPECT_EQ(std::get<0>(Boxes()[1]), L"Decod070.dct warning 258 elements.");
    EXPECT_TRUE(Wrong().empty()) << Wrong().size() << " bytes, first " << Wrong().front();
}

}  // namespace
