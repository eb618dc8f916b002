// The sample language libraries of data/lang, as the main job uses them.
#include <string>

#include "kut/msg.h"
#include "msg_test_util.h"

TEST(SampleLanguages, TypicalRequestOnTheBundledCatalogs) {
    const std::wstring dir = kuttest::BinaryDir() + kuttest::kSep + L"data";
    if (!kuttest::Exists(dir + kuttest::kSep + L"KEST_001.dll")) {
        GTEST_SKIP() << "the sample language libraries are built with the kut_data target";
    }
    REP_SetRepert(2, dir.c_str());
    CONF_Language()->logic = 1;
    CONF_Language()->output = 2;

    K_MSG msg(L"KMAIN", 0, nullptr, 0);
    ASSERT_EQ(msg.wasInitError(), 0);
    EXPECT_STREQ(msg.text(1), L"Beam");
    EXPECT_STREQ(msg.text(5), L"Length");
    EXPECT_STREQ(msg.text(6), L"Poids total");   // marked for output: French
    wchar_t out[256];
    msg.fillParam(msg.text(4), out, 1, L"beams.dat");
    EXPECT_STREQ(out, L"File beams.dat not found.");

    CONF_Language()->logic = 2;
    K_MSG table(L"KMAIN", 0, 65536, 0, 0);
    ASSERT_EQ(table.m_Count, 11);
    EXPECT_STREQ(table.GetTextParam(4, 3), L"Portée de la barre");
    EXPECT_STREQ(table.text(10), L"Acier$$S235");
    REP_SetRepert(2, nullptr);
}
