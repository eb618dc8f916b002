// Folders of the sibling libraries, configuration search, path ends and the
// option records.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "testutil.h"

using kuttest::kSep;

TEST(Repert, FolderComesFromSetRepertThenEnvironment) {
    kuttest::TempDir a, b;
    auto where = [](int kind, const std::wstring& name) {
        wchar_t out[520] = L"x";
        const int r = REP_Repert(0, static_cast<short>(kind), name.c_str(), out);
        return std::to_wstring(r) + L" " + out;
    };
    kuttest::SetEnv("KBASE_ROOT", b.narrow().c_str());
    kuttest::SetEnv("KBASE_DIR_2", nullptr);
    EXPECT_EQ(where(2, L"x.dll"), L"0 " + b.file(L"x.dll"));
    kuttest::SetEnv("KBASE_DIR_2", a.narrow().c_str());
    EXPECT_EQ(where(2, L"x.dll"), L"0 " + a.file(L"x.dll"));
    REP_SetRepert(2, b.path().c_str());
    EXPECT_EQ(where(2, L"x.dll"), L"0 " + b.file(L"x.dll"));
    REP_SetRepert(2, nullptr);
    EXPECT_EQ(where(2, L"x.dll"), L"0 " + a.file(L"x.dll"));
    // The temporary folder ends with a separator and has the larger buffer:
    // a name too long for the others fits there.
    REP_SetRepert(9, b.path().c_str());
    EXPECT_EQ(where(9, L""), L"0 " + b.path() + kSep);
    const std::wstring longName(300, L'n');
    EXPECT_EQ(where(2, longName), L"-1 ");
    EXPECT_EQ(where(9, longName), L"0 " + b.path() + kSep + longName);
}

TEST(Repert, ChkCfgSearchesConfigurationThenLanguageFolder) {
    kuttest::TempDir cfg, lang;
    REP_SetRepert(1, cfg.path().c_str());
    REP_SetRepert(2, lang.path().c_str());
    wchar_t path[260];
    short found = 7;
    EXPECT_EQ(REP_ChkCfg(270, L"unimet.cfg", path, &found), 0);
    EXPECT_TRUE(found == 0 && path[0] == L'\0');
    for (const kuttest::TempDir* in : {&lang, &cfg}) {
        ASSERT_TRUE(kuttest::WriteFile(in->file(L"unimet.cfg"), "1\n"));
        REP_ChkCfg(270, L"unimet.cfg", path, &found);
        EXPECT_TRUE(found == 1 && path == in->file(L"unimet.cfg"));
    }
}

TEST(Repert, CutAndAddEndOfPathStayInTheBuffer) {
    const std::wstring base = std::wstring(L"a") + kSep + L"b";
    wchar_t p[260];
    std::wcscpy(p, base.c_str());
    for (int twice = 0; twice < 2; ++twice) REP_AddEndOfPath(p);
    EXPECT_EQ(std::wstring(p), base + kSep);
    for (int twice = 0; twice < 2; ++twice) REP_CutEndOfPath(p);
    EXPECT_EQ(std::wstring(p), base);
    std::wcscpy(p, std::wstring(259, L'x').c_str());
    REP_AddEndOfPath(p);  // no room: unchanged
    EXPECT_EQ(std::wcslen(p), 259u);
}

TEST(Siblings, OptionRecordsStartFromTheEnvironmentAndTheWarningCaptionExists) {
    kuttest::SetEnv("KOPTS_LANGUAGE", "33,48");
    kuttest::SetEnv("KOPTS_UNITS", "nonmetric");
    CONF_LANGUAGE* lang = CONF_Language();
    EXPECT_TRUE(lang->logic == 33 && lang->output == 48);
    lang->logic = 5;
    EXPECT_EQ(CONF_Language()->logic, 5);
    EXPECT_EQ(CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC], 1);
    CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC] = 0;
    EXPECT_EQ(CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC], 0);
    EXPECT_STRNE(KST_GetNameChar(6), L"");  // the warning caption
    EXPECT_STREQ(KST_GetNameChar(12345), L"");
}
