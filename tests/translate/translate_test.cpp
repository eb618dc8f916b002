// Translating language libraries: the checks between a reference and a
// translation, PO files written and read through gettext's library and
// gettext's own programs, and the kut commands over them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "catalog.h"
#include "langlib_writer.h"
#include "msgtext.h"
#include "testutil.h"
#if defined(KUT_HAVE_PO)
#include "po.h"
#endif
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace {

using kuttools::StringMap;

std::string Joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

int Shell(const std::string& cmd) {
#if defined(_WIN32)
    return std::system(("\"" + cmd + "\"").c_str());
#else
    const int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#endif
}

TEST(Traits, ParametersFieldsMarkerAndBlanks) {
    struct Row {
        std::u16string text;
        int fields;
        bool out;
        std::vector<unsigned> params;
        std::u16string lead, trail;
    };
    const Row rows[] = {
        {u"plain", 1, false, {}, u"", u""},
        {u"a%12b %1 %1", 1, false, {1, 1, 12}, u"", u""},  // %12 is parameter 12, not %1 and a 2
        {u"100% done, %x", 1, false, {}, u"", u""},
        {u"a$$$$b", 3, false, {}, u"", u""},  // an empty field 2 still counts
        {u"OUT::x$$y", 2, true, {}, u"", u""},
        {u"out::x OUT::", 1, false, {}, u"", u""},  // only at the very start, case-sensitive
        {u" \tText:\n ", 1, false, {}, u" \t", u"\n "},
        {u"   ", 1, false, {}, u"   ", u""},  // all blank: counted once, as leading
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(kuttools::EscapeText(r.text));
        const kuttools::TextTraits t = kuttools::Traits(r.text);
        EXPECT_EQ(t.fields, r.fields);
        EXPECT_EQ(t.outMarker, r.out);
        EXPECT_EQ(t.params, r.params);
        EXPECT_TRUE(t.leading == r.lead && t.trailing == r.trail);
    }
}

TEST(Compare, OneLinePerProblem) {
    const StringMap ref = {{1, u"Beam"},   {2, u"Width %1 of %2"}, {3, u"Length$$mm"}, {4, u"OUT::Total"},
                           {5, u"Name: "}, {6, u"  indented"},     {7, u"gone"},       {8, u"%1 and %12"}};
    const StringMap good = {{1, u"Poutre"}, {2, u"Largeur %2 de %1"}, {3, u"Longueur$$mm"}, {4, u"OUT::Somme"},
                            {5, u"Nom : "}, {6, u"  indenté"},        {7, u"parti"},        {8, u"%12 et %1"}};
    EXPECT_EQ(Joined(kuttools::CompareStrings(ref, good)), "");
    const StringMap bad = {{1, u"Poutre"}, {2, u"Largeur %1"}, {3, u"Longueur"}, {4, u"Somme"},
                           {5, u"Nom :"},  {6, u"indenté "},   {8, u"%1 et %1"}, {9, u"en trop"}};
    EXPECT_EQ(Joined(kuttools::CompareStrings(ref, bad)),
              "2: parameters differ: %1 %2 in the reference, %1 in the target\n"
              "3: $$ fields differ: 2 in the reference, 1 in the target\n"
              "4: OUT:: marker only in the reference\n"
              "5: trailing blanks differ: \" \" in the reference, \"\" in the target\n"
              "6: leading blanks differ: \"  \" in the reference, \"\" in the target\n"
              "6: trailing blanks differ: \"\" in the reference, \" \" in the target\n"
              "7: missing in the target\n"
              "8: parameters differ: %1 %12 in the reference, %1 %1 in the target\n"
              "9: extra in the target (not in the reference)\n");
    EXPECT_EQ(Joined(kuttools::CompareStrings({{1, u"x"}}, {{1, u"OUT::x"}})), "1: OUT:: marker only in the target\n");
}

TEST(Notes, NameEachConventionUsed) {
    struct Row {
        std::u16string text;
        std::vector<std::string> has;
    };
    const Row rows[] = {
        {u"OUT::Total$$kg", {"OUT::", "2 fields", "field 1"}},
        {u"Width %1 of %2", {"%1 %2 are values"}},
        {u"File %1 not found, %1", {"%1 is a value"}},
        {u"Name: ", {"blanks"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(kuttools::EscapeText(r.text));
        const std::string notes = kuttools::TranslatorNotes(r.text);
        for (const std::string& h : r.has) EXPECT_NE(notes.find(h), std::string::npos) << notes;
    }
    EXPECT_EQ(kuttools::TranslatorNotes(u"Plain text 100%"), "");
}

TEST(Language, TagsAndLibraryNames) {
    EXPECT_EQ(kuttools::LanguageTag(1), "en");
    EXPECT_EQ(kuttools::LanguageTag(2), "fr");
    EXPECT_EQ(kuttools::LanguageTag(0), "");
    EXPECT_EQ(kuttools::LanguageTag(999), "");
    EXPECT_EQ(kuttools::LanguageOfLibraryName(L"dir/KEST_002.dll"), 2);
    EXPECT_EQ(kuttools::LanguageOfLibraryName(L"KMAIN123.DLL"), 123);
    EXPECT_EQ(kuttools::LanguageOfLibraryName(L"KEST_0x2.dll"), 0);
    EXPECT_EQ(kuttools::LanguageOfLibraryName(L"12"), 0);
}

#if defined(KUT_HAVE_PO)

// Texts a writer of PO files gets wrong: quotes, backslashes, line ends,
// tabs, non-ASCII letters, a character outside the BMP, blanks at the ends,
// a long text that gettext wraps over several lines.
const StringMap kRef = {
    {1, u"Beam"},
    {2, u"Say \"yes\" or \\no\\"},
    {3, u"Line one\nLine two\tTabbed"},
    {4, u"Width %1 of %2"},
    {5, u"OUT::Total$$kg"},
    {6, u"  Name: "},
    {7, u"A long text that a PO writer will want to wrap, because it is longer than the eighty columns of a line"},
    {40000, u"Crème brûlée \U0001F600"},
};
const StringMap kTarget = {
    {1, u"Poutre"},
    {2, u"Dites \"oui\" ou \\non\\"},
    {3, u"Ligne un\nLigne deux\tTabulée"},
    {4, u"Largeur %1 de %2"},
    {5, u"OUT::Total$$kg"},
    {6, u"  Nom : "},
    {40000, u"Crème brûlée \U0001F600 — fr"},
    // 7 is not translated yet
};

class Po : public ::testing::Test {
protected:
    std::wstring File(const wchar_t* name) { return m_tmp.file(name); }
    std::string Name(const wchar_t* name) { return kuttest::Narrow(File(name)); }
    kuttest::TempDir m_tmp;
};

TEST_F(Po, RoundTripThroughGettextsPrograms) {
    std::string error;
    ASSERT_TRUE(kuttools::ExportPo(kRef, &kTarget, "fr", File(L"fr.po"), &error)) << error;
    std::string po;
    ASSERT_TRUE(kuttest::ReadFile(File(L"fr.po"), &po));
    EXPECT_NE(po.find("\"Language: fr\\n\""), std::string::npos) << po;
    EXPECT_NE(po.find("\"Content-Type: text/plain; charset=UTF-8\\n\""), std::string::npos);
    EXPECT_NE(po.find("#. OUT::"), std::string::npos);
    EXPECT_NE(po.find("#, qt-format\nmsgctxt \"4\""), std::string::npos);
    EXPECT_NE(po.find("msgctxt \"40000\""), std::string::npos);

    // gettext's own checker, format strings included, then its rewriter.
    ASSERT_EQ(Shell("msgfmt --check -o \"" + Name(L"fr.mo") + "\" \"" + Name(L"fr.po") + "\""), 0);
    ASSERT_EQ(Shell("msgcat --width=40 -o \"" + Name(L"cat.po") + "\" \"" + Name(L"fr.po") + "\""), 0);
    std::string rewritten;
    ASSERT_TRUE(kuttest::ReadFile(File(L"cat.po"), &rewritten));
    EXPECT_NE(rewritten, po);  // the narrow width made msgcat re-wrap

    StringMap back;
    ASSERT_TRUE(kuttools::ImportPo(kRef, File(L"cat.po"), false, &back, &error)) << error;
    EXPECT_EQ(back, kTarget);
    StringMap filled;
    ASSERT_TRUE(kuttools::ImportPo(kRef, File(L"cat.po"), true, &filled, &error)) << error;
    StringMap expected = kTarget;
    expected[7] = kRef.at(7);
    EXPECT_EQ(filled, expected);

    // A template: every translation empty, Language: left for the translator.
    ASSERT_TRUE(kuttools::ExportPo(kRef, nullptr, "", File(L"t.pot"), &error)) << error;
    ASSERT_EQ(Shell("msgfmt --check -o \"" + Name(L"t.mo") + "\" \"" + Name(L"t.pot") + "\""), 0);
    ASSERT_TRUE(kuttools::ImportPo(kRef, File(L"t.pot"), false, &back, &error)) << error;
    EXPECT_TRUE(back.empty());
    ASSERT_TRUE(kuttools::ImportPo(kRef, File(L"t.pot"), true, &back, &error)) << error;
    EXPECT_EQ(back, kRef);
}

TEST_F(Po, AFileLostAParameterFailsGettextsCheck) {
    // The qt-format flag is what lets msgfmt --check catch a dropped %n.
    StringMap broken = kTarget;
    broken[4] = u"Largeur %1";
    std::string error;
    ASSERT_TRUE(kuttools::ExportPo(kRef, &broken, "fr", File(L"fr.po"), &error)) << error;
    EXPECT_NE(Shell("msgfmt --check -o \"" + Name(L"fr.mo") + "\" \"" + Name(L"fr.po") + "\" 2>\"" + Name(L"err") + "\""), 0);
}

TEST_F(Po, FileEditedByATranslator) {
    const std::string po =
        "# French translation.\r\n"
        "# Translator comments are kept by the tools, ignored here.\r\n"
        "msgid \"\"\r\n"
        "msgstr \"\"\r\n"
        "\"Language: fr\\n\"\r\n"
        "\"Content-Type: text/plain; charset=UTF-8\\n\"\r\n"
        "\r\n"
        "# checked with the team\r\n"
        "#. extracted comment\r\n"
        "#: somewhere.c:12\r\n"
        "msgctxt \"1\"\r\n"
        "msgid \"Beam\"\r\n"
        "msgstr \"Pou\"\r\n"
        "\"tre\"\r\n"
        "\r\n"
        "msgctxt \"2\"\r\n"
        "msgid \"\"\r\n"
        "\"Say \\\"yes\\\" or \\\\no\\\\\"\r\n"
        "msgstr \"\"\r\n"
        "\"Dites \\\"oui\\\"\\n\"\r\n"
        "\"\\tou \\\\non\\\\\"\r\n"
        "\r\n"
        "#, fuzzy, qt-format\r\n"
        "msgctxt \"4\"\r\n"
        "msgid \"Width %1 of %2\"\r\n"
        "msgstr \"Largeur %1 de %2 (à revoir)\"\r\n"
        "\r\n"
        "msgctxt \"6\"\r\n"
        "msgid \"  Name: \"\r\n"
        "msgstr \"\"\r\n"
        "\r\n"
        "#~ msgctxt \"3\"\r\n"
        "#~ msgid \"An old text\"\r\n"
        "#~ msgstr \"Un ancien texte\"\r\n"
        "\r\n"
        "#~ msgctxt \"99\"\r\n"
        "#~ msgid \"A number long gone\"\r\n"
        "#~ msgstr \"Un numéro disparu\"\r\n";
    ASSERT_TRUE(kuttest::WriteFile(File(L"ed.po"), po));
    ASSERT_EQ(Shell("msgfmt --check -o \"" + Name(L"ed.mo") + "\" \"" + Name(L"ed.po") + "\""), 0);
    std::string error;
    StringMap got;
    ASSERT_TRUE(kuttools::ImportPo(kRef, File(L"ed.po"), false, &got, &error)) << error;
    EXPECT_EQ(got, (StringMap{{1, u"Poutre"}, {2, u"Dites \"oui\"\n\tou \\non\\"}}));
    ASSERT_TRUE(kuttools::ImportPo(kRef, File(L"ed.po"), true, &got, &error)) << error;
    StringMap expected = kRef;
    expected[1] = u"Poutre";
    expected[2] = u"Dites \"oui\"\n\tou \\non\\";
    EXPECT_EQ(got, expected);
}

TEST_F(Po, BrokenFilesNameTheirLine) {
    const std::string head = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";  // lines 1-3
    struct Row {
        const char* what;
        std::string text;
        std::string error;
    };
    const Row rows[] = {
        {"string not closed", head + "msgctxt \"1\"\nmsgid \"Beam\"\nmsgstr \"Pou\n", ":7: end-of-line within string"},
        {"unknown keyword", head + "msgctxt \"1\"\nmsgid \"Beam\"\nmsgtsr \"Poutre\"\n", ":6: "},
        {"number not in the reference",
         head + "msgctxt \"1\"\nmsgid \"Beam\"\nmsgstr \"P\"\n\nmsgctxt \"8\"\nmsgid \"x\"\nmsgstr \"y\"\n",
         ":8: message 8 is not in the reference"},
        {"not a number", head + "msgctxt \"one\"\nmsgid \"Beam\"\nmsgstr \"P\"\n", ":4: msgctxt \"one\" is not a message number"},
        {"number 0", head + "msgctxt \"0\"\nmsgid \"Beam\"\nmsgstr \"P\"\n", ":4: msgctxt \"0\""},
        {"number too large", head + "msgctxt \"65536\"\nmsgid \"Beam\"\nmsgstr \"P\"\n", ":4: msgctxt \"65536\""},
        {"no msgctxt", head + "msgid \"Beam\"\nmsgstr \"P\"\n", "without msgctxt"},
        {"plural", head + "msgctxt \"1\"\nmsgid \"Beam\"\nmsgid_plural \"Beams\"\nmsgstr[0] \"P\"\n", ":4: message 1: plural"},
        {"charset",
         "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n\nmsgctxt \"1\"\nmsgid \"Beam\"\nmsgstr "
         "\"P\xE9\"\n",
         "charset ISO-8859-1"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_TRUE(kuttest::WriteFile(File(L"bad.po"), r.text));
        std::string error;
        StringMap got;
        EXPECT_FALSE(kuttools::ImportPo(kRef, File(L"bad.po"), false, &got, &error));
        EXPECT_EQ(error.rfind(Name(L"bad.po"), 0), 0u) << error;
        EXPECT_NE(error.find(r.error), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(kuttools::ExportPo({{3, std::u16string(u"lone \xD800 surrogate")}}, nullptr, "", File(L"s.po"), &error));
    EXPECT_NE(error.find("message 3"), std::string::npos) << error;
}

#endif  // KUT_HAVE_PO

#if defined(KUT_CLI_PATH) || defined(_WIN32)

// The commands as a translation repository's CI runs them.
class Commands : public ::testing::Test {
protected:
    int Kut(const std::string& args) {
#if defined(_WIN32)
        const std::string exe = "\"" + kuttest::Narrow(kuttest::BinaryDir()) + "\\bin\\kut.exe\"";
#else
        const std::string exe = "\"" KUT_CLI_PATH "\"";
#endif
        const int rc = Shell(exe + " " + args + " >\"" + m_tmp.narrow() + kuttest::Narrow(std::wstring(1, kuttest::kSep)) +
                             "out\" 2>\"" + Name(L"err") + "\"");
        kuttest::ReadFile(m_tmp.file(L"out"), &m_out);
        kuttest::ReadFile(m_tmp.file(L"err"), &m_err);
        for (std::string* s : {&m_out, &m_err})
            for (std::size_t at; (at = s->find("\r\n")) != std::string::npos;) s->erase(at, 1);
        return rc;
    }
    std::string Name(const wchar_t* name) { return kuttest::Narrow(m_tmp.file(name)); }
    std::string Q(const wchar_t* name) { return "\"" + Name(name) + "\""; }
    void Lib(const wchar_t* name, const StringMap& strings) {
        std::string error;
        ASSERT_TRUE(kuttools::WriteLanguageLibrary(m_tmp.file(name), strings, &error)) << error;
    }
    kuttest::TempDir m_tmp;
    std::string m_out, m_err;
};

TEST_F(Commands, CompareExitsOneOnAnyProblem) {
    Lib(L"ref.dll", {{1, u"Beam"}, {2, u"Width %1"}});
    Lib(L"good.dll", {{1, u"Poutre"}, {2, u"Largeur %1"}});
    Lib(L"bad.dll", {{1, u"Poutre"}, {2, u"Largeur"}});
    EXPECT_EQ(Kut("msg compare " + Q(L"ref.dll") + " " + Q(L"good.dll")), 0) << m_err;
    EXPECT_EQ(m_out, "");
    EXPECT_EQ(Kut("msg compare " + Q(L"ref.dll") + " " + Q(L"bad.dll")), 1) << m_err;
    EXPECT_EQ(m_out, "2: parameters differ: %1 in the reference, none in the target\n");
    EXPECT_EQ(Kut("msg compare " + Q(L"ref.dll") + " " + Q(L"none.dll")), 1);
    EXPECT_NE(m_err.find("none.dll"), std::string::npos) << m_err;
    EXPECT_EQ(Kut("msg compare " + Q(L"ref.dll")), 2);
}

#if defined(KUT_HAVE_PO)
TEST_F(Commands, ExportImportAndABrokenFile) {
    Lib(L"KEST_001.dll", kRef);
    Lib(L"KEST_002.dll", kTarget);
    ASSERT_EQ(Kut("msg export " + Q(L"KEST_001.dll") + " " + Q(L"KEST_002.dll") + " " + Q(L"fr.po")), 0) << m_err;
    std::string po;
    ASSERT_TRUE(kuttest::ReadFile(m_tmp.file(L"fr.po"), &po));
    EXPECT_NE(po.find("Language: fr\\n"), std::string::npos);  // from the target's number
    ASSERT_EQ(Kut("msg import " + Q(L"KEST_001.dll") + " " + Q(L"fr.po") + " " + Q(L"out.dll")), 0) << m_err;
    EXPECT_EQ(Kut("msg compare " + Q(L"KEST_002.dll") + " " + Q(L"out.dll")), 0) << m_out;
    ASSERT_EQ(Kut("msg export " + Q(L"KEST_001.dll") + " " + Q(L"t.pot") + " --language de"), 0) << m_err;
    ASSERT_TRUE(kuttest::ReadFile(m_tmp.file(L"t.pot"), &po));
    EXPECT_NE(po.find("Language: de\\n"), std::string::npos);

    ASSERT_TRUE(kuttest::WriteFile(m_tmp.file(L"bad.po"), "msgctxt \"1\"\nmsgid \"Beam\"\nmsgstr \"Pou\n"));
    EXPECT_EQ(Kut("msg import " + Q(L"KEST_001.dll") + " " + Q(L"bad.po") + " " + Q(L"x.dll")), 1);
    EXPECT_NE(m_err.find(Name(L"bad.po") + ":4: "), std::string::npos) << m_err;  // gettext counts the line end
}
#else
TEST_F(Commands, HelpSaysExportAndImportAreLeftOut) {
    EXPECT_EQ(Kut("msg --help"), 0);
    EXPECT_NE(m_out.find("export and import are not in this build"), std::string::npos) << m_out;
    Lib(L"ref.dll", {{1, u"Beam"}});
    EXPECT_EQ(Kut("msg export " + Q(L"ref.dll") + " " + Q(L"t.pot")), 1);
    EXPECT_NE(m_err.find("not in this build"), std::string::npos) << m_err;
}
#endif

#endif

}  // namespace
