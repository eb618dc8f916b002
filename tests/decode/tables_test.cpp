// The built-in tables against the printed ones for every language code, and
// the shipped sample data files, which hold the same tables.
#include "decode_fixture.h"

using namespace decodetest;

namespace {

class Tables : public DecodeTest {};

TEST_F(Tables, EveryLanguageCodeConvertsAndFoldsWithItsPrintedTables) {
    // Only the low 8 bits of an element choose; an element at 0x80 or above
    // is replaced whole, any other kept whole. Past the length nothing moves.
    const unsigned highs[] = {0x0000, 0x4100, 0xFF00};
    for (const LanguageRow& row : Languages()) {
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
    for (const LanguageRow& row : Languages()) {
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
        ASSERT_TRUE(kuttest::Exists(name + L".dcd")) << language;
        ASSERT_TRUE(kuttest::Exists(name + L".dct")) << language;
        for (int b = 0; b < 256; ++b) ASSERT_EQ(Dos(b, language), BuiltInDos(language, b)) << language;
        DECODE_Language(language);
        for (int b = 0; b < 256; ++b) ASSERT_EQ(Fold(b), BuiltInFold(language, b)) << language;
#if !defined(KUT_TESTING)
        break;
#endif
    }
    EXPECT_TRUE(Boxes().empty());
}

}  // namespace
