// Checks between a reference and a translation, PO files (against gettext's programs), and the commands.
#include <gtest/gtest.h>

#include <string>

#include "catalog.h"
#include "langlib_writer.h"
#include "msgtext.h"
#include "testutil.h"
#if defined(KUT_HAVE_PO)
#include "po.h"
#endif

namespace {

using kuttools::StringMap;

std::string Joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
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
    const std::pair<std::u16string, std::vector<std::string>> rows[] = {
        {u"OUT::Total$$kg", {"OUT::", "2 fields", "field 1"}},
        {u"Width %1 of %2", {"%1 %2 are values"}},
        {u"File %1 not found, %1", {"%1 is a value"}},
        {u"Name: ", {"blanks"}},
    };
    for (const auto& r : rows)
        for (const std::string& h : r.second) EXPECT_NE(kuttools::TranslatorNotes(r.first).find(h), std::string::npos) << h;
    EXPECT_EQ(kuttools::TranslatorNotes(u"Plain text 100%"), "");
}

TEST(Language, TagsAndLibraryNames) {
    EXPECT_EQ(kuttools::LanguageTag(1) + kuttools::LanguageTag(2) + kuttools::LanguageTag(0) + kuttools::LanguageTag(999),
              "enfr");
    const std::pair<const wchar_t*, int> names[] = {
        {L"dir/KEST_002.dll", 2}, {L"KMAIN123.DLL", 123}, {L"KEST_0x2.dll", 0}, {L"12", 0}};
    for (const auto& [name, n] : names) EXPECT_EQ(kuttools::LanguageOfLibraryName(name), n) << kuttest::Narrow(name);
}

#if defined(KUT_HAVE_PO)

// What a PO writer gets wrong: quotes, backslashes, line ends, tabs, non-ASCII, a character outside the
// BMP, blanks at the ends, a text gettext wraps. 7 is not translated yet.
const char16_t kLong[] =
    u"A long text that a PO writer will want to wrap, because it is longer than the eighty columns of a line";
const StringMap kRef = {{1, u"Beam"},
                        {2, u"Say \"yes\" or \\no\\"},
                        {3, u"Line one\nLine two\tTabbed"},
                        {4, u"Width %1 of %2"},
                        {5, u"OUT::Total$$kg"},
                        {6, u"  Name: "},
                        {7, kLong},
                        {40000, u"Crème brûlée \U0001F600"}};
const StringMap kTarget = {{1, u"Poutre"},
                           {2, u"Dites \"oui\" ou \\non\\"},
                           {3, u"Ligne un\nLigne deux\tTabulée"},
                           {4, u"Largeur %1 de %2"},
                           {5, u"OUT::Total$$kg"},
                           {6, u"  Nom : "},
                           {40000, u"Crème brûlée \U0001F600 — fr"}};

class Po : public ::testing::Test {
protected:
    std::wstring File(const wchar_t* name) { return m_tmp.file(name); }
    std::string Name(const wchar_t* name) { return kuttest::Narrow(File(name)); }
    // gettext's own checker, format strings included.
    int Msgfmt(const wchar_t* po) {
        return kuttest::Shell("msgfmt --check -o \"" + Name(L"x.mo") + "\" \"" + Name(po) + "\" 2>\"" + Name(L"err") + "\"");
    }
    kuttest::TempDir m_tmp;
};

TEST_F(Po, RoundTripThroughGettextsPrograms) {
    std::string error;
    ASSERT_TRUE(kuttools::ExportPo(kRef, &kTarget, "fr", File(L"fr.po"), &error)) << error;
    const std::string po = kuttest::Read(File(L"fr.po"));
    for (const char* part : {"\"Language: fr\\n\"", "\"Content-Type: text/plain; charset=UTF-8\\n\"",
                             "#. OUT::", "#, qt-format\nmsgctxt \"4\"", "msgctxt \"40000\""})
        EXPECT_NE(po.find(part), std::string::npos) << part;
    ASSERT_EQ(Msgfmt(L"fr.po"), 0);
    ASSERT_EQ(kuttest::Shell("msgcat --width=40 -o \"" + Name(L"cat.po") + "\" \"" + Name(L"fr.po") + "\""), 0);
    EXPECT_NE(kuttest::Read(File(L"cat.po")), po);  // the narrow width made msgcat re-wrap

    StringMap back, expected = kTarget;
    ASSERT_TRUE(kuttools::ImportPo(kRef, File(L"cat.po"), false, &back, &error)) << error;
    EXPECT_EQ(back, kTarget);
    ASSERT_TRUE(kuttools::ImportPo(kRef, File(L"cat.po"), true, &back, &error)) << error;
    expected[7] = kRef.at(7);
    EXPECT_EQ(back, expected);

    // A template: every translation empty, Language: left for the translator.
    ASSERT_TRUE(kuttools::ExportPo(kRef, nullptr, "", File(L"t.pot"), &error)) << error;
    ASSERT_EQ(Msgfmt(L"t.pot"), 0);
    ASSERT_TRUE(kuttools::ImportPo(kRef, File(L"t.pot"), false, &back, &error)) << error;
    EXPECT_TRUE(back.empty());

    StringMap broken = kTarget;  // the qt-format flag lets msgfmt --check catch a dropped %n
    broken[4] = u"Largeur %1";
    ASSERT_TRUE(kuttools::ExportPo(kRef, &broken, "fr", File(L"broken.po"), &error)) << error;
    EXPECT_NE(Msgfmt(L"broken.po"), 0);
}

TEST_F(Po, FileEditedByATranslator) {
    // CR LF, comments of every kind, continued strings, fuzzy, empty and obsolete entries.
    std::string po =
        "# French translation.\n# Translator comments are kept by the tools, ignored here.\n"
        "msgid \"\"\nmsgstr \"\"\n\"Language: fr\\n\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
        "# checked with the team\n#. extracted comment\n#: somewhere.c:12\n"
        "msgctxt \"1\"\nmsgid \"Beam\"\nmsgstr \"Pou\"\n\"tre\"\n\n"
        "msgctxt \"2\"\nmsgid \"\"\n\"Say \\\"yes\\\" or \\\\no\\\\\"\nmsgstr \"\"\n\"Dites \\\"oui\\\"\\n\"\n\"\\tou "
        "\\\\non\\\\\"\n\n"
        "#, fuzzy, qt-format\nmsgctxt \"4\"\nmsgid \"Width %1 of %2\"\nmsgstr \"Largeur %1 de %2 (à revoir)\"\n\n"
        "msgctxt \"6\"\nmsgid \"  Name: \"\nmsgstr \"\"\n\n"
        "#~ msgctxt \"3\"\n#~ msgid \"An old text\"\n#~ msgstr \"Un ancien texte\"\n\n"
        "#~ msgctxt \"99\"\n#~ msgid \"A number long gone\"\n#~ msgstr \"Un numéro disparu\"\n";
    for (std::size_t at = 0; (at = po.find('\n', at)) != std::string::npos; at += 2) po.insert(at, "\r");
    ASSERT_TRUE(kuttest::WriteFile(File(L"ed.po"), po));
    ASSERT_EQ(Msgfmt(L"ed.po"), 0);
    std::string error;
    StringMap got, expected = {{1, u"Poutre"}, {2, u"Dites \"oui\"\n\tou \\non\\"}};
    ASSERT_TRUE(kuttools::ImportPo(kRef, File(L"ed.po"), false, &got, &error)) << error;
    EXPECT_EQ(got, expected);
    expected.insert(kRef.begin(), kRef.end());  // the fuzzy and empty ones filled from the reference
    ASSERT_TRUE(kuttools::ImportPo(kRef, File(L"ed.po"), true, &got, &error)) << error;
    EXPECT_EQ(got, expected);
}

TEST_F(Po, BrokenFilesNameTheirLine) {
    const std::string head = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n",  // lines 1-3
        beam = "msgid \"Beam\"\nmsgstr \"P\"\n";
    const struct {
        const char* what;
        std::string text, error;
    } rows[] = {
        {"string not closed", head + "msgctxt \"1\"\nmsgid \"Beam\"\nmsgstr \"Pou\n", ":7: end-of-line within string"},
        {"unknown keyword", head + "msgctxt \"1\"\nmsgid \"Beam\"\nmsgtsr \"Poutre\"\n", ":6: "},
        {"not in the reference", head + "msgctxt \"1\"\n" + beam + "\nmsgctxt \"8\"\n" + beam,
         ":8: message 8 is not in the reference"},
        {"not a number", head + "msgctxt \"one\"\n" + beam, ":4: msgctxt \"one\" is not a message number"},
        {"number 0", head + "msgctxt \"0\"\n" + beam, ":4: msgctxt \"0\""},
        {"number too large", head + "msgctxt \"65536\"\n" + beam, ":4: msgctxt \"65536\""},
        {"no msgctxt", head + beam, "without msgctxt"},
        {"plural", head + "msgctxt \"1\"\nmsgid \"Beam\"\nmsgid_plural \"Beams\"\nmsgstr[0] \"P\"\n", ":4: message 1: plural"},
        {"charset", head.substr(0, head.find("UTF-8")) + "ISO-8859-1\\n\"\n\nmsgctxt \"1\"\n" + beam, "charset ISO-8859-1"},
    };
    std::string error;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_TRUE(kuttest::WriteFile(File(L"bad.po"), r.text));
        StringMap got;
        EXPECT_FALSE(kuttools::ImportPo(kRef, File(L"bad.po"), false, &got, &error));
        EXPECT_EQ(error.rfind(Name(L"bad.po"), 0), 0u) << error;
        EXPECT_NE(error.find(r.error), std::string::npos) << error;
    }
    EXPECT_FALSE(kuttools::ExportPo({{3, std::u16string(u"lone \xD800 surrogate")}}, nullptr, "", File(L"s.po"), &error));
    EXPECT_NE(error.find("message 3"), std::string::npos) << error;
}

#endif  // KUT_HAVE_PO

// The commands as a translation repository's CI runs them.
class Commands : public ::testing::Test {
protected:
    int Kut(const std::vector<std::string>& args) {
        const kuttest::Ran r = kuttest::RunKut(args, m_tmp.path());
        return m_out = r.out, m_err = r.err, r.status;
    }
    std::string Name(const wchar_t* name) { return kuttest::Narrow(m_tmp.file(name)); }
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
    EXPECT_TRUE(Kut({"msg", "compare", Name(L"ref.dll"), Name(L"good.dll")}) == 0 && m_out.empty()) << m_err << m_out;
    EXPECT_EQ(Kut({"msg", "compare", Name(L"ref.dll"), Name(L"bad.dll")}), 1) << m_err;
    EXPECT_EQ(m_out, "2: parameters differ: %1 in the reference, none in the target\n");
    EXPECT_EQ(Kut({"msg", "compare", Name(L"ref.dll"), Name(L"none.dll")}), 1);
    EXPECT_NE(m_err.find("none.dll"), std::string::npos) << m_err;
    EXPECT_EQ(Kut({"msg", "compare", Name(L"ref.dll")}), 2);
}

#if defined(KUT_HAVE_PO)
TEST_F(Commands, ExportImportAndABrokenFile) {
    Lib(L"KEST_001.dll", kRef);
    Lib(L"KEST_002.dll", kTarget);
    const std::string ref = Name(L"KEST_001.dll");
    ASSERT_EQ(Kut({"msg", "export", ref, Name(L"KEST_002.dll"), Name(L"fr.po")}), 0) << m_err;
    EXPECT_NE(kuttest::Read(m_tmp.file(L"fr.po")).find("Language: fr\\n"), std::string::npos);  // from the target's number
    ASSERT_EQ(Kut({"msg", "import", ref, Name(L"fr.po"), Name(L"out.dll")}), 0) << m_err;
    EXPECT_EQ(Kut({"msg", "compare", Name(L"KEST_002.dll"), Name(L"out.dll")}), 0) << m_out;
    ASSERT_EQ(Kut({"msg", "export", ref, Name(L"t.pot"), "--language", "de"}), 0) << m_err;
    EXPECT_NE(kuttest::Read(m_tmp.file(L"t.pot")).find("Language: de\\n"), std::string::npos);

    ASSERT_TRUE(kuttest::WriteFile(m_tmp.file(L"bad.po"), "msgctxt \"1\"\nmsgid \"Beam\"\nmsgstr \"Pou\n"));
    EXPECT_EQ(Kut({"msg", "import", ref, Name(L"bad.po"), Name(L"x.dll")}), 1);
    EXPECT_NE(m_err.find(Name(L"bad.po") + ":4: "), std::string::npos) << m_err;  // gettext counts the line end
}
#else
TEST_F(Commands, HelpSaysExportAndImportAreLeftOut) {
    EXPECT_EQ(Kut({"msg", "--help"}), 0);
    EXPECT_NE(m_out.find("export and import are not in this build"), std::string::npos) << m_out;
    Lib(L"ref.dll", {{1, u"Beam"}});
    EXPECT_EQ(Kut({"msg", "export", Name(L"ref.dll"), Name(L"t.pot")}), 1);
    EXPECT_NE(m_err.find("not in this build"), std::string::npos) << m_err;
}
#endif

}  // namespace
