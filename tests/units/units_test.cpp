// Unit coefficients: the reading rules file by file, each file read once with
// LF and once with CR LF line ends; then the shipped sample files.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <cwchar>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "kut/testing.h"  // declarations only; the test using them needs KUT_TESTING
#include "kut/units.h"
#include "testutil.h"

namespace {

// The configuration folders (kinds 1 and 2) are empty folders of the test's
// own; the metric file is chosen unless a test says otherwise.
class Units : public ::testing::Test {
protected:
    void SetUp() override { Folders(m_cfg.path()); }
    void TearDown() override { REP_SetRepert(1, nullptr), REP_SetRepert(2, nullptr), NonMetric(false); }
    void Folders(const std::wstring& config) { REP_SetRepert(1, config.c_str()), REP_SetRepert(2, m_other.path().c_str()); }
    static void NonMetric(bool on) { CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC] = on ? 1 : 0; }
    void Write(const std::string& text, const wchar_t* name = L"unimet.cfg") {
        ASSERT_TRUE(kuttest::WriteFile(m_cfg.file(name), text));
    }
    // One call: 'L', 'F', 'M' the two-name forms, 'l', 'f', 'm' the one-name
    // forms. The caller's names come back unchanged and the object idle.
    double Ask(char op, const std::wstring& first, const std::wstring& second = L"") {
        std::wstring a = first, b = second;
        double r = op == 'l'   ? m_units.GetLenghtCoeff(a.data())
                   : op == 'f' ? m_units.GetForceCoeff(a.data())
                   : op == 'm' ? m_units.GetMassCoeff(a.data())
                   : op == 'L' ? m_units.LenghtCoeff(a.data(), b.data())
                   : op == 'F' ? m_units.ForceCoeff(a.data(), b.data())
                               : m_units.MassCoeff(a.data(), b.data());
        EXPECT_EQ(a + L"|" + b, first + L"|" + second);
        EXPECT_EQ(m_units.unitTab, nullptr);
        return r;
    }

    // Queries "<op><first>[,<second>]=<want>" joined by '|', each answer
    // within `tolerance` of its want (relative).
    void Check(const std::wstring& queries, const std::string& where, double tolerance = 0) {
        std::wistringstream in(queries);
        for (std::wstring q; std::getline(in, q, L'|');) {
            const std::size_t comma = q.find(L','), eq = q.rfind(L'=');
            const std::wstring first = q.substr(1, std::min(comma, eq) - 1);
            const double want = std::wcstod(q.c_str() + eq + 1, nullptr),
                         got = Ask(static_cast<char>(q[0]), first, comma < eq ? q.substr(comma + 1, eq - comma - 1) : L"");
            EXPECT_TRUE(got == want || std::fabs(got - want) <= std::fabs(want) * tolerance)
                << where << kuttest::Narrow(q) << " gives " << got;
        }
    }

    kuttest::TempDir m_cfg, m_other;
    KUT_Units m_units;
};

TEST_F(Units, ReadingRulesWithLfAndCrLf) {
    const struct {
        const char* name;
        std::string text;
        const wchar_t* queries;
    } cases[] = {
        {"ThreeSections", "2\nP, 1.0\nQ, 4.0\n3\nN, 1\nKN, 0.001\nDAN, 0.1\n2\nKG, 1\nT, 0.001\n",
         L"LP,Q=4|Lq,p=0.25|lQ=4|LP,Z=-20|LZ,P=-10|fdan=0.1|FKN,N=1000|mT=0.001|MT,KG=1000|fP=-10|mN=-10"},
        {"NameRule", "7\nKG X, 5\nABCDEFGHIJKL, 6\nA\tB, 7\ndup, 8\nDUP, 9\n\xC9T, 10\nABC,11\n0\n0\n",
         L"lkg=5|lKG X=-10|labcdefghi=6|lABCDEFGHIJ=-10|LKG,ABCDEFGHIJKL=-20|lA\tB=7|lA=-10|lDup=8|l\u00C9t=10|l\u00E9T=-10|"
         L"lABC=11|LA\tB,a\tb=1"},
        // "abc" is no number: it stays unread and starts the next name, "ABC\nD".
        {"ZeroAndUnreadable", "5\nZ, 0\nA, 2\nB, 0.0\nC, abc\nD, 3\n0\n0\n",
         L"lZ=-10|LZ,A=-10|LA,B=0|LA,A=1|lC=-10|lD=-10|lABC\nD=3"},
        // "7e" is the number 7; its "e" starts the next name.
        {"NumberForms", "9\nA, 1.5e2\nB, +2\nC, .5\nD, 1.\nE, -3\nF, 2E-3\nG, 7e\nH, 1e400\nI, 1e-400\n0\n0\n",
         L"lA=150|lB=2|lC=0.5|lD=1|lE=-3|lF=0.002|lG=7|lE\nH=1e999|lI=-10"},
        {"BlanksAroundCounts", "\n  3 \n\tM, 1\n CM, 100\nIN, 39.37007874015748\n2\nN, 1\nKN, 0.001\n2\nKG, 1\nG, 1000",
         L"LM,CM=100|lIN=39.37007874015748|FKN,N=1000|MKG,G=1000"},
        {"LoneCrIsBlank", "2\rM, 1\rCM, 100\r0\r0\r", L"LM,CM=100"},
        {"EmptySection", "0\n2\nN, 1\nKN, 0.001\n0\n", L"lM=-10|fKN=0.001"},
        {"NegativeCount", "-1\n2\nN, 1\nKN, 0.001\n0\n", L"lN=-2|fKN=0.001"},
        {"CountLow16Bits", "65537\nM, 2.5\n0\n0\n", L"lM=2.5"},
        {"CountNotANumber", "abc\nM, 1\n", L"lM=-2|fM=-2"},
        {"SkippedCountNotANumber", "1\nM, 1\nx\n", L"fN=-2|lM=1"},
        {"OnlyBlanks", "  \n\t", L"mKG=-2"},
        {"RowMissing", "3\nM, 1\nCM, 100\n", L"lM=-10"},
        {"NoComma", "2\nM, 1\nCM 100\n", L"LM,M=-10"},
        {"NoCoefficient", "1\nM,", L"lM=-10"},
        // A skipped record of one token takes the next count as its second.
        {"SkippedRecordOneToken", "2\nM, 1\nCM,\n1\nN, 1\n", L"mKG=-2"},
        {"SkippedSectionCutShort", "1\nM, 1\n3\nN, 1\n", L"mKG=-10"},
        {"EndlessCount", std::string(100000, 'x'), L"lX=-2"},
        {"EndlessName", "1\n" + std::string(100000, 'x'), L"lX=-10"},
    };
    for (const auto& c : cases)
        for (bool crlf : {false, true}) {
            std::string text;
            for (char ch : c.text) text += crlf && ch == '\n' ? std::string("\r\n") : std::string(1, ch);
            Write(text);
            Check(c.queries, std::string(c.name) + (crlf ? " CR LF " : " LF "));
        }
}

TEST_F(Units, FileIsChosenByTheUnitFlagOnEveryCall) {
    Write("1\nM, 2\n0\n0\n", L"uninmet.cfg");
    for (char op : {'L', 'F', 'M', 'l', 'f', 'm'}) EXPECT_EQ(Ask(op, L"M", L"M"), -1.0) << op;
    Write("1\nM, 1\n0\n0\n");
    for (bool nonMetric : {false, true, false}) {
        NonMetric(nonMetric);
        EXPECT_EQ(Ask('l', L"M"), nonMetric ? 2.0 : 1.0);
    }
}

#if defined(KUT_TESTING)
TEST_F(Units, AllocationFailureGivesMinusTwoAndLeavesTheObjectIdle) {
    Write("2\nP, 1.0\nQ, 4.0\n0\n1\nKG, 1\n");
    KUT_TestFailAlloc(0, 0);
    EXPECT_EQ(Ask('L', L"P", L"Q"), -2.0);
    EXPECT_EQ(KUT_TestAllocFailures(), 1);
    EXPECT_EQ(Ask('L', L"P", L"Q"), 4.0);
    KUT_TestFailAlloc(0, 1);
    EXPECT_EQ(Ask('m', L"KG"), -2.0);
    KUT_TestFailAlloc(-1, 0);
}
#endif

// Sets the first of `names` that the C run-time knows; the name set, or "".
std::string UseLocale(std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (std::setlocale(LC_ALL, n)) return std::printf("[ locale   ] %s\n", n), n;
    return "";
}
struct DefaultLocaleAfter {
    ~DefaultLocaleAfter() { std::setlocale(LC_ALL, "C"); }
};

// Names are read and upper-cased in the host's current locale; the default
// locale reads bytes as characters and changes only a to z.
TEST_F(Units, NamesAreReadAndUpperCasedInTheCurrentLocale) {
    DefaultLocaleAfter restore;
    const struct {
        std::initializer_list<const char*> locales;
        std::string ang;
    } cases[] = {{{"C.UTF-8", "C.utf8", "en_US.UTF-8", "en_US.utf8"}, "\xC3\x85NG"},
                 {{"Swedish_Sweden.1252", "English_United States.1252", "sv_SE.ISO-8859-1"}, "\xC5NG"}};
    int ran = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ang);
        // \xC9 is no character of its own in UTF-8: it stays a byte there.
        Write("4\nM, 1\n" + c.ang + ", 1e-10\nMIN, 60\n\xC9T, 7\n0\n0\n");
        std::wstring bytes;
        for (unsigned char ch : c.ang) bytes += static_cast<wchar_t>(ch);
        std::setlocale(LC_ALL, "C");
        EXPECT_EQ(Ask('L', L"m", bytes), 1e-10);
        EXPECT_EQ(Ask('L', L"m", L"\u00E5ng"), -20.0);
        EXPECT_EQ(Ask('L', L"m", L"\u00E9t"), -20.0);
        const std::string name = UseLocale(c.locales);
        if (name.empty()) continue;
        ++ran;
        SCOPED_TRACE(name);
        for (const wchar_t* n : {L"\u00E5ng", L"\u00C5NG"}) EXPECT_EQ(Ask('L', L"m", n), 1e-10);
        EXPECT_EQ(Ask('l', L"\u00E5Ng"), 1e-10);
        EXPECT_EQ(Ask('L', L"m", L"min"), 60.0);
        EXPECT_EQ(Ask('L', L"m", L"\u00E9t"), 7.0);
        if (c.ang.size() > 3) { EXPECT_EQ(Ask('L', L"m", bytes), -20.0) << "two bytes make one character"; }
    }
    if (ran == 0) GTEST_SKIP() << "the C run-time knows none of the locales tried";
}

// "%lf" takes the current locale's decimal point.
TEST_F(Units, TheDecimalPointFollowsTheCurrentLocale) {
    DefaultLocaleAfter restore;
    // With a point, "1" is A's number and ",5" an empty name with 5.
    Write("2\nA, 1,5\nB, 2.5\n0\n0\n");
    EXPECT_EQ(Ask('l', L"A"), 1.0);
    EXPECT_EQ(Ask('l', L"B"), -10.0);
    const std::string name =
        UseLocale({"de_DE.UTF-8", "de_DE.utf8", "sv_SE.UTF-8", "fr_FR.UTF-8", "German_Germany.1252", "Swedish_Sweden.1252"});
    if (name.empty()) GTEST_SKIP() << "no locale with a decimal comma is installed";
    SCOPED_TRACE(name);
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    // With a comma, B's "2" is read and ".5" left over.
    EXPECT_EQ(Ask('l', L"A"), 1.5);
    EXPECT_EQ(Ask('l', L"B"), 2.0);
    EXPECT_EQ(Ask('L', L"A", L"B"), 2.0 / 1.5);
}

// The shipped files: both unit systems give the known factors, and agree on
// every pair.
TEST_F(Units, SampleFilesAgreeAndHoldKnownFactors) {
    Folders(kuttest::SourceDir() + kuttest::kSep + L"data" + kuttest::kSep + L"units");
    const std::vector<std::vector<const wchar_t*>> names = {{L"M", L"CM", L"MM", L"KM", L"IN", L"FT", L"YD", L"MI"},
                                                            {L"N", L"DAN", L"KN", L"MN", L"KG", L"T", L"LB", L"KIP"},
                                                            {L"KG", L"T", L"G", L"LB"}};
    for (int s = 0; s < 3; ++s)
        for (const wchar_t* a : names[s])
            for (const wchar_t* b : names[s]) {
                const std::string pair = kuttest::Narrow(a + std::wstring(L" ") + b);
                NonMetric(false);
                double metric = Ask("LFM"[s], a, b);
                NonMetric(true);
                ASSERT_GT(metric, 0.0) << pair;
                EXPECT_NEAR(Ask("LFM"[s], a, b), metric, metric * 2e-15) << pair;
                EXPECT_TRUE(a != b || metric == 1.0) << pair;
            }
    const wchar_t* known =
        L"LM,CM=100|LKM,M=1000|LIN,MM=25.4|LFT,M=0.3048|LYD,FT=3|LMI,M=1609.344|FDAN,N=10|FMN,KN=1000|"
        L"FKG,N=9.80665|FT,KN=9.80665|FLB,N=4.4482216152605|FKIP,LB=1000|MLB,KG=0.45359237|MT,KG=1000|MKG,G=1000";
    for (bool nonMetric : {false, true}) NonMetric(nonMetric), Check(known, nonMetric ? "non-metric " : "metric ", 1e-15);
}

}  // namespace
