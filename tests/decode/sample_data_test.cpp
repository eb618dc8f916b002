// The sample data shipped in data/decode must be files the loaders accept,
// holding the built-in tables.
#include "decode_fixture.h"

using decodetest::Boxes;
using decodetest::Dos;
using decodetest::Fold;

namespace {

class SampleData : public decodetest::DecodeTest {
protected:
    void SetUp() override {
        DecodeTest::SetUp();
        REP_SetRepert(5, (kuttest::SourceDir() + kuttest::kSep + L"data" + kuttest::kSep + L"decode").c_str());
    }
};

TEST_F(SampleData, CodePageFilesHoldThePrintedTables) {
    auto printed = decodetest::PrintedTables();
    // Each file in its own first call: reset between them.
    const std::pair<short, const char*> rows[] = {{34, "850"}, {48, "852"}, {1, "437"}};
    for (auto [language, table] : rows) {
#if defined(KUT_TESTING)
        KUT_TestResetDecodeState();
#endif
        for (int b = 0x80; b < 0x100; ++b) ASSERT_EQ(Dos(b, language), printed[table].at(b)) << language;
#if !defined(KUT_TESTING)
        break;
#endif
    }
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(SampleData, DictionaryFilesFoldLikeTheBuiltIns) {
    const short languages[] = {48, 34, 1};
    for (short language : languages) {
#if defined(KUT_TESTING)
        KUT_TestResetDecodeState();
#endif
        unsigned char fromFile[256];
        DECODE_Language(language);
        for (int b = 0; b < 256; ++b) fromFile[b] = static_cast<unsigned char>(Fold(b));
#if defined(KUT_TESTING)
        // The same language without files: the built-in dictionary.
        KUT_TestResetDecodeState();
        REP_SetRepert(5, m_data.path().c_str());
        DECODE_Language(language);
        for (int b = 0; b < 256; ++b) ASSERT_EQ(fromFile[b], Fold(b)) << language << " byte " << b;
        REP_SetRepert(5, (kuttest::SourceDir() + kuttest::kSep + L"data" + kuttest::kSep + L"decode").c_str());
#else
        EXPECT_EQ(fromFile[0xB3], 'L');
        break;
#endif
    }
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(SampleData, SampleTextConverts) {
    std::wstring src = kuttest::SourceDir() + kuttest::kSep + L"data" + kuttest::kSep + L"decode" +
                       kuttest::kSep + L"sample850.txt";
    std::wstring dst = m_temp.file(L"sample.ansi");
    std::vector<wchar_t> buf(dst.begin(), dst.end());
    buf.push_back(L'\0');
    ASSERT_EQ(DECODE_Convert(src.c_str(), buf.data(), 34), 0);
    std::string out;
    ASSERT_TRUE(kuttest::ReadFile(dst, &out));
    EXPECT_NE(out.find("Caf\xE9 cr\xE8me br\xFBl\xE9" "e \xE0 la fran\xE7" "aise\r\n"), std::string::npos);
    EXPECT_NE(out.find("\r\nkesto97 project settings\r\n"), std::string::npos);
    EXPECT_NE(out.find("\r\n\tKESTO97 version line\r\n"), std::string::npos);
    EXPECT_NE(out.find("\r\nkkesto is left alone\r\n"), std::string::npos);
    EXPECT_EQ(out.find("\r\r"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 2), "\r\n");
    EXPECT_TRUE(Boxes().empty());
}

}  // namespace
