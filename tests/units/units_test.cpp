// Unit coefficients: the reading rules file by file, each file read once with
// LF and once with CR LF line ends; then the shipped sample files.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "kut/units.h"
#include "testutil.h"
#include "kut/testing.h"  // declarations only; the test using them needs KUT_TESTING

// The configuration folders (kinds 1 and 2) are empty folders of the test's
// own; the metric file is chosen unless a test says otherwise.
class Units : public ::testing::Test {
protected:
    void SetUp() override { Folders(m_cfg.path()); }
    void TearDown() override {
        REP_SetRepert(1, nullptr);
        REP_SetRepert(2, nullptr);
        NonMetric(false);
    }
    void Folders(const std::wstring& config) {
        REP_SetRepert(1, config.c_str());
        REP_SetRepert(2, m_other.path().c_str());
        NonMetric(false);
    }
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
        EXPECT_EQ(a, first);
        EXPECT_EQ(b, second);
        EXPECT_EQ(m_units.unitTab, nullptr);
        return r;
    }

    kuttest::TempDir m_cfg, m_other;
    KUT_Units m_units;
};

struct Query {
    char op;
    const wchar_t* first;
    const wchar_t* second;
    double want;
};
struct FileCase {
    const char* name;
    std::string text;
    std::vector<Query> queries;
};

TEST_F(Units, ReadingRulesWithLfAndCrLf) {
    const FileCase cases[] = {
        {"ThreeSections",
         "2\nP, 1.0\nQ, 4.0\n3\nN, 1\nKN, 0.001\nDAN, 0.1\n2\nKG, 1\nT, 0.001\n",
         {{'L', L"P", L"Q", 4.0},
          {'L', L"q", L"p", 0.25},
          {'l', L"Q", L"", 4.0},
          {'L', L"P", L"Z", -20.0},
          {'L', L"Z", L"P", -10.0},
          {'f', L"dan", L"", 0.1},
          {'F', L"KN", L"N", 1000.0},
          {'m', L"T", L"", 0.001},
          {'M', L"T", L"KG", 1000.0},
          {'f', L"P", L"", -10.0},
          {'m', L"N", L"", -10.0}}},
        {"NameRule",
         "7\nKG X, 5\nABCDEFGHIJKL, 6\nA\tB, 7\ndup, 8\nDUP, 9\n\xC9T, 10\nABC,11\n0\n0\n",
         {{'l', L"kg", L"", 5.0},
          {'l', L"KG X", L"", -10.0},
          {'l', L"abcdefghi", L"", 6.0},
          {'l', L"ABCDEFGHIJ", L"", -10.0},
          {'L', L"KG", L"ABCDEFGHIJKL", -20.0},
          {'l', L"A\tB", L"", 7.0},
          {'l', L"A", L"", -10.0},
          {'l', L"Dup", L"", 8.0},
          {'l', L"\u00C9t", L"", 10.0},
          {'l', L"\u00E9T", L"", -10.0},
          {'l', L"ABC", L"", 11.0},
          {'L', L"A\tB", L"a\tb", 1.0}}},
        // "abc" is no number: it stays unread and starts the next name, "ABC\nD".
        {"ZeroAndUnreadable",
         "5\nZ, 0\nA, 2\nB, 0.0\nC, abc\nD, 3\n0\n0\n",
         {{'l', L"Z", L"", -10.0},
          {'L', L"Z", L"A", -10.0},
          {'L', L"A", L"B", 0.0},
          {'L', L"A", L"A", 1.0},
          {'l', L"C", L"", -10.0},
          {'l', L"D", L"", -10.0},
          {'l', L"ABC\nD", L"", 3.0}}},
        // "7e" is the number 7; its "e" starts the next name.
        {"NumberForms",
         "9\nA, 1.5e2\nB, +2\nC, .5\nD, 1.\nE, -3\nF, 2E-3\nG, 7e\nH, 1e400\nI, 1e-400\n0\n0\n",
         {{'l', L"A", L"", 150.0},
          {'l', L"B", L"", 2.0},
          {'l', L"C", L"", 0.5},
          {'l', L"D", L"", 1.0},
          {'l', L"E", L"", -3.0},
          {'l', L"F", L"", 0.002},
          {'l', L"G", L"", 7.0},
          {'l', L"E\nH", L"", HUGE_VAL},
          {'l', L"I", L"", -10.0}}},
        {"BlanksAroundCounts",
         "\n  3 \n\tM, 1\n CM, 100\nIN, 39.37007874015748\n2\nN, 1\nKN, 0.001\n2\nKG, 1\nG, 1000",
         {{'L', L"M", L"CM", 100.0},
          {'l', L"IN", L"", 39.37007874015748},
          {'F', L"KN", L"N", 1000.0},
          {'M', L"KG", L"G", 1000.0}}},
        {"LoneCrIsBlank", "2\rM, 1\rCM, 100\r0\r0\r", {{'L', L"M", L"CM", 100.0}}},
        {"EmptySection", "0\n2\nN, 1\nKN, 0.001\n0\n", {{'l', L"M", L"", -10.0}, {'f', L"KN", L"", 0.001}}},
        {"NegativeCount", "-1\n2\nN, 1\nKN, 0.001\n0\n", {{'l', L"N", L"", -2.0}, {'f', L"KN", L"", 0.001}}},
        {"CountLow16Bits", "65537\nM, 2.5\n0\n0\n", {{'l', L"M", L"", 2.5}}},
        {"CountNotANumber", "abc\nM, 1\n", {{'l', L"M", L"", -2.0}, {'f', L"M", L"", -2.0}}},
        {"SkippedCountNotANumber", "1\nM, 1\nx\n", {{'f', L"N", L"", -2.0}, {'l', L"M", L"", 1.0}}},
        {"Empty", "", {{'L', L"M", L"M", -2.0}}},
        {"OnlyBlanks", "  \n\t", {{'m', L"KG", L"", -2.0}}},
        {"RowMissing", "3\nM, 1\nCM, 100\n", {{'l', L"M", L"", -10.0}}},
        {"NoComma", "2\nM, 1\nCM 100\n", {{'L', L"M", L"M", -10.0}}},
        {"NoCoefficient", "1\nM,", {{'l', L"M", L"", -10.0}}},
        {"NoFinalLineEnd", "1\nM, 1", {{'l', L"M", L"", 1.0}}},
        // A skipped record of one token takes the next count as its second.
        {"SkippedRecordOneToken", "2\nM, 1\nCM,\n1\nN, 1\n", {{'m', L"KG", L"", -2.0}}},
        {"SkippedSectionCutShort", "1\nM, 1\n3\nN, 1\n", {{'m', L"KG", L"", -10.0}}},
        {"EndlessCount", std::string(100000, 'x'), {{'l', L"X", L"", -2.0}}},
        {"EndlessName", "1\n" + std::string(100000, 'x'), {{'l', L"X", L"", -10.0}}},
    };
    for (const FileCase& c : cases)
        for (bool crlf : {false, true}) {
            std::string text;
            for (char ch : c.text) text += crlf && ch == '\n' ? std::string("\r\n") : std::string(1, ch);
            Write(text);
            for (const Query& q : c.queries)
                EXPECT_EQ(Ask(q.op, q.first, q.second), q.want) << c.name << (crlf ? " CR LF " : " LF ") << q.op << " "
                                                                << kuttest::Narrow(std::wstring(q.first) + L" " + q.second);
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

namespace {
// Sets the first of `names` that the C run-time knows; the name set, or "".
std::string UseLocale(std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (std::setlocale(LC_ALL, n)) return n;
    return "";
}
struct DefaultLocaleAfter {
    ~DefaultLocaleAfter() { std::setlocale(LC_ALL, "C"); }
};
}  // namespace

// Names are read and upper-cased in the host's current locale; the default
// locale reads bytes as characters and changes only a to z.
TEST_F(Units, NamesAreReadAndUpperCasedInTheCurrentLocale) {
    DefaultLocaleAfter restore;
    const struct {
        const char* encoding;
        std::initializer_list<const char*> locales;
        std::string ang;
    } cases[] = {{"UTF-8", {"C.UTF-8", "C.utf8", "en_US.UTF-8", "en_US.utf8"}, "\xC3\x85NG"},
                 {"Windows-1252", {"Swedish_Sweden.1252", "English_United States.1252", "sv_SE.ISO-8859-1"}, "\xC5NG"}};
    int ran = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding);
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
        std::printf("[ locale   ] %s: %s\n", c.encoding, name.c_str());
        SCOPED_TRACE(name);
        EXPECT_EQ(Ask('L', L"m", L"\u00E5ng"), 1e-10);
        EXPECT_EQ(Ask('L', L"m", L"\u00C5NG"), 1e-10);
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
    std::printf("[ locale   ] %s\n", name.c_str());
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
                NonMetric(false);
                double metric = Ask("LFM"[s], a, b);
                NonMetric(true);
                const std::string pair = kuttest::Narrow(a + std::wstring(L" ") + b);
                ASSERT_GT(metric, 0.0) << pair;
                EXPECT_NEAR(Ask("LFM"[s], a, b), metric, metric * 2e-15) << pair;
                EXPECT_TRUE(a != b || metric == 1.0) << pair;
            }
    const Query known[] = {{'L', L"M", L"CM", 100.0},    {'L', L"KM", L"M", 1000.0},      {'L', L"IN", L"MM", 25.4},
                           {'L', L"FT", L"M", 0.3048},   {'L', L"YD", L"FT", 3.0},        {'L', L"MI", L"M", 1609.344},
                           {'L', L"MI", L"FT", 5280.0},  {'F', L"DAN", L"N", 10.0},       {'F', L"MN", L"KN", 1000.0},
                           {'F', L"KG", L"N", 9.80665},  {'F', L"T", L"KN", 9.80665},     {'F', L"LB", L"N", 4.4482216152605},
                           {'F', L"KIP", L"LB", 1000.0}, {'F', L"LB", L"KG", 0.45359237}, {'M', L"LB", L"KG", 0.45359237},
                           {'M', L"T", L"KG", 1000.0},   {'M', L"KG", L"G", 1000.0}};
    for (bool nonMetric : {false, true}) {
        NonMetric(nonMetric);
        for (const Query& q : known)
            EXPECT_NEAR(Ask(q.op, q.first, q.second), q.want, q.want * 1e-15) << kuttest::Narrow(q.first) << nonMetric;
    }
}
