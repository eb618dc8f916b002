#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "testutil.h"

using kuttest::kSep;

TEST(Repert, FolderComesFromSetRepertThenEnvironment) {
    kuttest::TempDir a, b;
    kuttest::SetEnv("KBASE_ROOT", b.narrow().c_str());
    kuttest::SetEnv("KBASE_DIR_2", nullptr);
    wchar_t out[260];
    REP_Repert(0, 2, L"x.dll", out);
    EXPECT_EQ(std::wstring(out), b.path() + kSep + L"x.dll");

    kuttest::SetEnv("KBASE_DIR_2", a.narrow().c_str());
    REP_Repert(0, 2, L"x.dll", out);
    EXPECT_EQ(std::wstring(out), a.path() + kSep + L"x.dll");

    REP_SetRepert(2, b.path().c_str());
    REP_Repert(0, 2, L"x.dll", out);
    EXPECT_EQ(std::wstring(out), b.path() + kSep + L"x.dll");

    REP_SetRepert(2, nullptr);
    REP_Repert(0, 2, L"x.dll", out);
    EXPECT_EQ(std::wstring(out), a.path() + kSep + L"x.dll");
}

TEST(Repert, TemporaryFolderEndsWithSeparatorAndLongPathsFailEmpty) {
    REP_SetRepert(9, L"/tmp/some");
    wchar_t tmp[520];
    EXPECT_EQ(REP_Repert(0, 9, L"", tmp), 0);
    ASSERT_GT(std::wcslen(tmp), 0u);
    EXPECT_EQ(tmp[std::wcslen(tmp) - 1], kSep);

    std::wstring longName(300, L'n');
    wchar_t out[260];
    out[0] = L'x';
    EXPECT_EQ(REP_Repert(0, 2, longName.c_str(), out), -1);
    EXPECT_EQ(out[0], L'\0');
    // Kind 9 has the larger buffer: the same name fits there.
    EXPECT_EQ(REP_Repert(0, 9, longName.c_str(), tmp), 0);
}

TEST(Repert, ChkCfgSearchesConfigurationThenLanguageFolder) {
    kuttest::TempDir cfg, lang;
    REP_SetRepert(1, cfg.path().c_str());
    REP_SetRepert(2, lang.path().c_str());
    wchar_t path[260];
    short found = 7;
    EXPECT_EQ(REP_ChkCfg(270, L"unimet.cfg", path, &found), 0);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(path[0], L'\0');

    ASSERT_TRUE(kuttest::WriteFile(lang.file(L"unimet.cfg"), "1\n"));
    REP_ChkCfg(270, L"unimet.cfg", path, &found);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(std::wstring(path), lang.file(L"unimet.cfg"));

    ASSERT_TRUE(kuttest::WriteFile(cfg.file(L"unimet.cfg"), "1\n"));
    REP_ChkCfg(270, L"unimet.cfg", path, &found);
    EXPECT_EQ(std::wstring(path), cfg.file(L"unimet.cfg"));
}

TEST(Repert, CutAndAddEndOfPath) {
    wchar_t p[260];
    std::wstring base = std::wstring(L"a") + kSep + L"b";
    std::wcscpy(p, base.c_str());
    REP_AddEndOfPath(p);
    EXPECT_EQ(std::wstring(p), base + kSep);
    REP_AddEndOfPath(p);
    EXPECT_EQ(std::wstring(p), base + kSep);
    REP_CutEndOfPath(p);
    EXPECT_EQ(std::wstring(p), base);
    REP_CutEndOfPath(p);
    EXPECT_EQ(std::wstring(p), base);

    std::wstring full(259, L'x');
    std::wcscpy(p, full.c_str());
    REP_AddEndOfPath(p);  // no room: unchanged, never past the buffer
    EXPECT_EQ(std::wcslen(p), 259u);
}

TEST(Kopts, RecordsAreWritableAndStartFromEnvironment) {
    kuttest::SetEnv("KOPTS_LANGUAGE", "33,48");
    kuttest::SetEnv("KOPTS_UNITS", "nonmetric");
    CONF_LANGUAGE* lang = CONF_Language();
    EXPECT_EQ(lang->logic, 33);
    EXPECT_EQ(lang->output, 48);
    lang->logic = 5;
    EXPECT_EQ(CONF_Language()->logic, 5);
    EXPECT_EQ(CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC], 1);
    CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC] = 0;
    EXPECT_EQ(CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC], 0);
}

TEST(Kbase, WarningCaption) {
    EXPECT_STRNE(KST_GetNameChar(6), L"");
    EXPECT_STREQ(KST_GetNameChar(12345), L"");
}
