// Message catalogs: parsing, escapes, dumps, and the kutrc tool.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "catalog.h"
#include "langlib_writer.h"
#include "testutil.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace {

using kuttools::StringMap;

std::string ParseError(const std::string& text) {
    StringMap out;
    std::string error;
    EXPECT_FALSE(kuttools::ParseCatalog(text, &out, &error)) << text;
    return error;
}

TEST(Catalog, EntriesCommentsAndSeparators) {
    const std::string text =
        "\xEF\xBB\xBF# heading comment\n"
        "1\tOpen\n"
        "\n"
        "   \t \n"
        "  # indented comment\n"
        "2 Save as...\r\n"
        "3\t  two leading blanks, trailing tab\t\n"
        "4  space separator keeps the second space\n"
        "5\n"
        "6\t#not a comment\n"
        "  7\tindented number\n"
        "65535\tlast";
    StringMap out;
    std::string error;
    ASSERT_TRUE(kuttools::ParseCatalog(text, &out, &error)) << error;
    EXPECT_EQ(out.size(), 8u);
    EXPECT_EQ(out[1], u"Open");
    EXPECT_EQ(out[2], u"Save as...");
    EXPECT_EQ(out[3], u"  two leading blanks, trailing tab\t");
    EXPECT_EQ(out[4], u" space separator keeps the second space");
    EXPECT_EQ(out[5], u"");
    EXPECT_EQ(out[6], u"#not a comment");
    EXPECT_EQ(out[7], u"indented number");
    EXPECT_EQ(out[65535], u"last");
}

TEST(Catalog, Escapes) {
    StringMap out;
    std::string error;
    ASSERT_TRUE(kuttools::ParseCatalog("9\ta\\tb\\nc\\rd\\\\e\\u00E9\\ud800 \xC3\xA9\xF0\x9F\x98\x80\n", &out, &error))
        << error;
    EXPECT_EQ(out[9], std::u16string(u"a\tb\nc\rd\\e\u00e9") + char16_t(0xD800) + u" \u00e9\U0001F600");

    EXPECT_EQ(ParseError("1\tbad \\q escape\n"), "line 1: unknown escape \\q");
    EXPECT_EQ(ParseError("1\tok\n2\tends in \\"), "line 2: backslash at the end of the line (write \\\\ for a backslash)");
    EXPECT_EQ(ParseError("# c\n\n3\t\\u12G4\n"), "line 3: \\u needs four hex digits");
    EXPECT_EQ(ParseError("1\t\\u12"), "line 1: \\u needs four hex digits");
    EXPECT_EQ(ParseError("1\tbad \xC3\n"), "line 1: invalid UTF-8");
    EXPECT_EQ(ParseError("1\toverlong \xC0\xAF\n"), "line 1: invalid UTF-8");
    EXPECT_EQ(ParseError("1\tsurrogate \xED\xA0\x80\n"), "line 1: invalid UTF-8");
}

TEST(Catalog, NumbersAndDuplicates) {
    EXPECT_EQ(ParseError("0\tzero\n"), "line 1: message number outside 1..65535");
    EXPECT_EQ(ParseError("1\ta\n65536\tb\n"), "line 2: message number outside 1..65535");
    EXPECT_EQ(ParseError("99999999999999999999\tc\n"), "line 1: message number outside 1..65535");
    EXPECT_EQ(ParseError("text without number\n"), "line 1: expected a message number");
    EXPECT_EQ(ParseError("-4\tnegative\n"), "line 1: expected a message number");
    EXPECT_EQ(ParseError("12x\tglued\n"), "line 1: expected a tab or a space after the number");
    EXPECT_EQ(ParseError("# one\n10\ta\n\n11\tb\n010\tc\n"), "line 5: number 10 already defined on line 2");
    EXPECT_EQ(ParseError("1\t" + std::string(65536, 'x')), "line 1: text longer than 65535 UTF-16 units");
}

TEST(Catalog, FormatParsesBackToTheSameStrings) {
    StringMap in;
    in[1] = u"plain";
    in[2] = u" leading and trailing ";
    in[3] = u"tab\there\nnewline\rreturn\\backslash";
    in[4] = std::u16string(u"controls ") + char16_t(1) + char16_t(0x1F) + char16_t(0x7F) + u" # \u00fc\u4e2d\U0001F600";
    in[5] = std::u16string(u"lone ") + char16_t(0xDC00) + u" and " + char16_t(0xD83D);
    in[6] = u"\\u0041 is not an escape here";
    in[7] = u"";  // empty: left out
    in[65535] = u"last";
    const std::string text = kuttools::FormatCatalog(in);
    EXPECT_EQ(text.find("7\t"), std::string::npos);
    EXPECT_NE(text.find("4\tcontrols \\u0001\\u001f\\u007f # \xC3\xBC"), std::string::npos) << text;
    StringMap back;
    std::string error;
    ASSERT_TRUE(kuttools::ParseCatalog(text, &back, &error)) << error;
    in.erase(7);
    EXPECT_EQ(back, in);
}

class CatalogFiles : public ::testing::Test {
protected:
    kuttest::TempDir m_dir;
};

TEST_F(CatalogFiles, BuildThenDumpGivesTheCatalogBack) {
    StringMap in;
    for (unsigned id = 1; id <= 3000; id += 3) in[id] = kuttools::ToUtf16(L"n\u00b0 " + std::to_wstring(id) + L"\t!");
    in[65535] = std::u16string(2000, u'z');  // longer than a K_MSG buffer: dumped whole
    in[40000] = std::u16string(u"pair \U0001F600 lone ") + char16_t(0xDBFF);
    const std::wstring cat = m_dir.file(L"in.txt");
    const std::wstring dll = m_dir.file(L"out.dll");
    std::string error;
    ASSERT_TRUE(kuttools::WriteCatalog(cat, in, &error)) << error;
    ASSERT_TRUE(kuttools::BuildLanguageLibraryFromCatalog(cat, dll, &error)) << error;
    StringMap dumped;
    ASSERT_TRUE(kuttools::DumpLanguageLibrary(dll, &dumped, &error)) << error;
    EXPECT_EQ(dumped, in);
}

TEST_F(CatalogFiles, ErrorsNameTheFile) {
    std::string error;
    const std::wstring cat = m_dir.file(L"bad.txt");
    ASSERT_TRUE(kuttest::WriteFile(cat, "1\tok\n1\tagain\n"));
    EXPECT_FALSE(kuttools::BuildLanguageLibraryFromCatalog(cat, m_dir.file(L"x.dll"), &error));
    EXPECT_EQ(error, kuttest::Narrow(cat) + ": line 2: number 1 already defined on line 1");
    EXPECT_FALSE(kuttest::Exists(m_dir.file(L"x.dll"))) << "nothing written on a bad catalog";

    EXPECT_FALSE(kuttools::BuildLanguageLibraryFromCatalog(m_dir.file(L"missing.txt"), m_dir.file(L"x.dll"), &error));
    EXPECT_NE(error.find("missing.txt"), std::string::npos) << error;

    StringMap out;
    ASSERT_TRUE(kuttest::WriteFile(m_dir.file(L"text.dll"), "not a library"));
    EXPECT_FALSE(kuttools::DumpLanguageLibrary(m_dir.file(L"text.dll"), &out, &error));
    EXPECT_NE(error.find("text.dll"), std::string::npos) << error;
}

#if defined(KUTRC_PATH) && !defined(_WIN32)
// kutrc itself: exit codes, output, messages on standard error.
class Kutrc : public CatalogFiles {
protected:
    int Run(const std::string& args, std::string* err = nullptr, std::string* out = nullptr) {
        const std::string errFile = kuttest::Narrow(m_dir.file(L"stderr.txt"));
        const std::string outFile = kuttest::Narrow(m_dir.file(L"stdout.txt"));
        const std::string cmd = std::string("'") + KUTRC_PATH + "' " + args + " >'" + outFile + "' 2>'" + errFile + "'";
        const int status = std::system(cmd.c_str());
        if (err) kuttest::ReadFile(kuttest::Widen(errFile), err);
        if (out) kuttest::ReadFile(kuttest::Widen(outFile), out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Q(const std::wstring& p) { return "'" + kuttest::Narrow(p) + "'"; }
};

TEST_F(Kutrc, BuildAndDump) {
    const std::wstring cat = m_dir.file(L"msgs.txt");
    ASSERT_TRUE(kuttest::WriteFile(cat, "# sample\n1\tHello\n17\tTab\\there\n300\tGr\xC3\xBC\xC3\x9F" "e\n"));
    std::string err, out;
    ASSERT_EQ(Run("build " + Q(cat) + " " + Q(m_dir.file(L"m.dll")), &err), 0) << err;
    EXPECT_EQ(err, "");
    ASSERT_EQ(Run("dump " + Q(m_dir.file(L"m.dll")), &err, &out), 0) << err;
    EXPECT_EQ(out, "1\tHello\n17\tTab\\there\n300\tGr\xC3\xBC\xC3\x9F" "e\n");
    ASSERT_EQ(Run("dump " + Q(m_dir.file(L"m.dll")) + " " + Q(m_dir.file(L"back.txt")), &err), 0) << err;
    std::string back;
    ASSERT_TRUE(kuttest::ReadFile(m_dir.file(L"back.txt"), &back));
    EXPECT_EQ(back, out);
}

TEST_F(Kutrc, ExitCodes) {
    std::string err;
    EXPECT_EQ(Run("", &err), 2);
    EXPECT_NE(err.find("usage"), std::string::npos);
    EXPECT_EQ(Run("build only-one-arg", &err), 2);
    EXPECT_EQ(Run("dump a b c", &err), 2);
    EXPECT_EQ(Run("explode x y", &err), 2);

    const std::wstring bad = m_dir.file(L"bad.txt");
    ASSERT_TRUE(kuttest::WriteFile(bad, "1\tfine\n2\tbroken \\x\n"));
    EXPECT_EQ(Run("build " + Q(bad) + " " + Q(m_dir.file(L"o.dll")), &err), 1);
    EXPECT_EQ(err, "kutrc: " + kuttest::Narrow(bad) + ": line 2: unknown escape \\x\n");
    EXPECT_EQ(Run("dump " + Q(bad), &err), 1);
    EXPECT_NE(err.find(kuttest::Narrow(bad)), std::string::npos) << err;
    EXPECT_EQ(Run("dump " + Q(m_dir.file(L"none.dll")), &err), 1);
}
#endif

}  // namespace
