#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "kut/units.h"
#include "testutil.h"
#if defined(KUT_TESTING)
#include "kut/testing.h"
#endif

using kuttest::kSep;

namespace {

// Points the configuration folders at fresh temporary folders and selects
// the metric file; each test writes the files it needs.
class Units : public ::testing::Test {
protected:
    void SetUp() override {
        REP_SetRepert(1, m_cfg.path().c_str());
        REP_SetRepert(2, m_other.path().c_str());
        SetNonMetric(false);
    }
    void TearDown() override {
        REP_SetRepert(1, nullptr);
        REP_SetRepert(2, nullptr);
        SetNonMetric(false);
    }

    static void SetNonMetric(bool on) { CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC] = on ? 1 : 0; }

    void Write(const std::string& text, const wchar_t* name = L"unimet.cfg") {
        ASSERT_TRUE(kuttest::WriteFile(m_cfg.file(name), text));
    }

    double Len(std::wstring a, std::wstring b) { return m_units.LenghtCoeff(a.data(), b.data()); }
    double Force(std::wstring a, std::wstring b) { return m_units.ForceCoeff(a.data(), b.data()); }
    double Mass(std::wstring a, std::wstring b) { return m_units.MassCoeff(a.data(), b.data()); }
    double GetLen(std::wstring a) { return m_units.GetLenghtCoeff(a.data()); }
    double GetForce(std::wstring a) { return m_units.GetForceCoeff(a.data()); }
    double GetMass(std::wstring a) { return m_units.GetMassCoeff(a.data()); }

    kuttest::TempDir m_cfg, m_other;
    KUT_Units m_units;
};

const char kThreeSections[] =
    "2\nP, 1.0\nQ, 4.0\n"
    "3\nN, 1\nKN, 0.001\nDAN, 0.1\n"
    "2\nKG, 1\nT, 0.001\n";

// Replaces every LF by CR LF.
std::string Crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

TEST_F(Units, WorkedExampleAndCallerNamesUntouched) {
    Write(kThreeSections);
    EXPECT_EQ(Len(L"P", L"Q"), 4.0);
    EXPECT_EQ(Len(L"Q", L"P"), 0.25);
    EXPECT_EQ(GetLen(L"Q"), 4.0);
    EXPECT_EQ(Len(L"P", L"Z"), -20.0);
    EXPECT_EQ(Len(L"Z", L"P"), -10.0);

    wchar_t p[] = L"p", q[] = L"q";
    EXPECT_EQ(m_units.LenghtCoeff(p, q), 4.0);
    EXPECT_EQ(std::wstring(p), L"p");
    EXPECT_EQ(std::wstring(q), L"q");
    EXPECT_EQ(m_units.unitTab, nullptr);
}

TEST_F(Units, LaterSectionsAreReachedBySkippingTwoTokenRecords) {
    Write(kThreeSections);
    EXPECT_EQ(GetForce(L"dan"), 0.1);
    EXPECT_EQ(Force(L"KN", L"N"), 1000.0);
    EXPECT_EQ(GetMass(L"T"), 0.001);
    EXPECT_EQ(Mass(L"T", L"KG"), 1000.0);
    // Names of another section are not seen.
    EXPECT_EQ(GetForce(L"P"), -10.0);
    EXPECT_EQ(GetMass(L"N"), -10.0);
}

TEST_F(Units, FileIsChosenByTheUnitFlagOnEveryCall) {
    Write("1\nM, 1\n0\n0\n", L"unimet.cfg");
    Write("1\nM, 2\n0\n0\n", L"uninmet.cfg");
    EXPECT_EQ(GetLen(L"M"), 1.0);
    SetNonMetric(true);
    EXPECT_EQ(GetLen(L"M"), 2.0);
    SetNonMetric(false);
    EXPECT_EQ(GetLen(L"M"), 1.0);
}

TEST_F(Units, MissingFileGivesMinusOneEverywhere) {
    Write(kThreeSections, L"uninmet.cfg");   // only the other system's file
    EXPECT_EQ(Len(L"P", L"Q"), -1.0);
    EXPECT_EQ(Force(L"N", L"KN"), -1.0);
    EXPECT_EQ(Mass(L"KG", L"T"), -1.0);
    EXPECT_EQ(GetLen(L"P"), -1.0);
    EXPECT_EQ(GetForce(L"N"), -1.0);
    EXPECT_EQ(GetMass(L"KG"), -1.0);
}

TEST_F(Units, NameRule) {
    Write("7\n"
          "KG X, 5\n"                 // blank before the comma: "KG" counts
          "ABCDEFGHIJKL, 6\n"         // twelve characters: the first nine
          "A\tB, 7\n"                 // a tab is a name character
          "dup, 8\n"
          "DUP, 9\n"
          "\xC9T, 10\n"               // byte 0xC9 is the character U+00C9
          "ABC,11\n"                  // no blank after the comma is fine here
          "0\n0\n");
    EXPECT_EQ(GetLen(L"kg"), 5.0);
    EXPECT_EQ(GetLen(L"KG X"), -10.0);
    EXPECT_EQ(GetLen(L"abcdefghi"), 6.0);
    EXPECT_EQ(GetLen(L"ABCDEFGHIJ"), -10.0);      // ten characters match nothing
    EXPECT_EQ(Len(L"KG", L"ABCDEFGHIJKL"), -20.0);
    EXPECT_EQ(GetLen(L"A\tB"), 7.0);
    EXPECT_EQ(GetLen(L"A"), -10.0);
    EXPECT_EQ(GetLen(L"Dup"), 8.0);               // the first row of a name wins
    EXPECT_EQ(GetLen(L"\u00C9t"), 10.0);
    EXPECT_EQ(GetLen(L"\u00E9T"), -10.0);         // only a-z are upper-cased
    EXPECT_EQ(GetLen(L"ABC"), 11.0);
    EXPECT_EQ(Len(L"A\tB", L"a\tb"), 1.0);
}

TEST_F(Units, ZeroAndUnreadableCoefficients) {
    Write("5\nZ, 0\nA, 2\nB, 0.0\nC, abc\nD, 3\n0\n0\n");
    EXPECT_EQ(GetLen(L"Z"), -10.0);
    EXPECT_EQ(Len(L"Z", L"A"), -10.0);
    EXPECT_EQ(m_units.unitTab, nullptr);
    // The object is idle again: the next call reads a fresh table.
    EXPECT_EQ(Len(L"A", L"B"), 0.0);
    EXPECT_EQ(Len(L"A", L"A"), 1.0);
    // "abc" stays unread and starts the next row's name ("abc\nD").
    EXPECT_EQ(GetLen(L"C"), -10.0);
    EXPECT_EQ(GetLen(L"D"), -10.0);
    EXPECT_EQ(GetLen(L"ABC\nD"), 3.0);
}

TEST_F(Units, NumberForms) {
    Write("9\nA, 1.5e2\nB, +2\nC, .5\nD, 1.\nE, -3\nF, 2E-3\nG, 7e\nH, 1e400\nI, 1e-400\n0\n0\n");
    EXPECT_EQ(GetLen(L"A"), 150.0);
    EXPECT_EQ(GetLen(L"B"), 2.0);
    EXPECT_EQ(GetLen(L"C"), 0.5);
    EXPECT_EQ(GetLen(L"D"), 1.0);
    EXPECT_EQ(GetLen(L"E"), -3.0);
    EXPECT_EQ(GetLen(L"F"), 0.002);
    // "7e" is the number 7; the "e" starts the next name, "e\nH".
    EXPECT_EQ(GetLen(L"G"), 7.0);
    EXPECT_EQ(GetLen(L"E\nH"), HUGE_VAL);
    EXPECT_EQ(GetLen(L"I"), -10.0);               // underflows to 0.0
}

TEST_F(Units, CrLfReadsLikeLf) {
    const std::string text = "\n  3 \n\tM, 1\n CM, 100\nIN, 39.37007874015748\n"
                             "2\nN, 1\nKN, 0.001\n"
                             "2\nKG, 1\nG, 1000\n";
    for (const std::string& form : {text, Crlf(text)}) {
        Write(form);
        EXPECT_EQ(Len(L"M", L"CM"), 100.0);
        EXPECT_EQ(GetLen(L"IN"), 39.37007874015748);
        EXPECT_EQ(Force(L"KN", L"N"), 1000.0);
        EXPECT_EQ(Mass(L"KG", L"G"), 1000.0);
        EXPECT_EQ(GetMass(L"G"), 1000.0);
    }
    // A lone CR is whitespace, not part of a name.
    Write("2\rM, 1\rCM, 100\r0\r0\r");
    EXPECT_EQ(Len(L"M", L"CM"), 100.0);
}

TEST_F(Units, CountLines) {
    Write("0\n2\nN, 1\nKN, 0.001\n0\n");
    EXPECT_EQ(GetLen(L"M"), -10.0);            // an empty section has no rows
    EXPECT_EQ(GetForce(L"KN"), 0.001);

    // A negative count makes the table fail but skips nothing.
    Write("-1\n2\nN, 1\nKN, 0.001\n0\n");
    EXPECT_EQ(GetLen(L"N"), -2.0);
    EXPECT_EQ(GetForce(L"KN"), 0.001);

    // Counts keep their low 16 bits.
    Write("65537\nM, 2.5\n0\n0\n");
    EXPECT_EQ(GetLen(L"M"), 2.5);

    Write("abc\nM, 1\n");
    EXPECT_EQ(GetLen(L"M"), -2.0);
    EXPECT_EQ(GetForce(L"M"), -2.0);
    Write("1\nM, 1\nx\n");                     // the skipped count is no number
    EXPECT_EQ(GetForce(L"N"), -2.0);
    EXPECT_EQ(GetLen(L"M"), 1.0);
    Write("");
    EXPECT_EQ(Len(L"M", L"M"), -2.0);
    Write("  \r\n\t");
    EXPECT_EQ(GetMass(L"KG"), -2.0);
}

TEST_F(Units, FilesCutShortStopAtTheEnd) {
    Write("3\nM, 1\nCM, 100\n");               // one row missing
    EXPECT_EQ(GetLen(L"M"), -10.0);
    Write("2\nM, 1\nCM 100\n");                // last record without comma
    EXPECT_EQ(Len(L"M", L"M"), -10.0);
    Write("1\nM,");                            // coefficient missing
    EXPECT_EQ(GetLen(L"M"), -10.0);
    Write("1\nM, 1");                          // no final line end is fine
    EXPECT_EQ(GetLen(L"M"), 1.0);
    // A skipped record of one token takes the next line's count as its
    // second token, so the force section starts at "N," and has no count.
    Write("2\nM, 1\nCM,\n1\nN, 1\n");
    EXPECT_EQ(GetMass(L"KG"), -2.0);
    Write("1\nM, 1\n3\nN, 1\n");               // skipped section cut short
    EXPECT_EQ(GetMass(L"KG"), -10.0);
    Write(std::string(100000, 'x'));           // one endless name
    EXPECT_EQ(GetLen(L"X"), -2.0);
    Write("1\n" + std::string(100000, 'x'));
    EXPECT_EQ(GetLen(L"X"), -10.0);
}

#if defined(KUT_TESTING)
TEST_F(Units, AllocationFailureGivesMinusTwoAndLeavesTheObjectIdle) {
    Write(kThreeSections);
    KUT_TestFailAlloc(0, 0);
    EXPECT_EQ(Len(L"P", L"Q"), -2.0);
    EXPECT_EQ(KUT_TestAllocFailures(), 1);
    EXPECT_EQ(m_units.unitTab, nullptr);
    EXPECT_EQ(Len(L"P", L"Q"), 4.0);
    KUT_TestFailAlloc(0, 1);
    EXPECT_EQ(GetMass(L"KG"), -2.0);
    KUT_TestFailAlloc(-1, 0);
}
#endif

// The shipped sample files: both unit systems give the same conversions.
class SampleUnits : public ::testing::Test {
protected:
    void SetUp() override {
        std::wstring dir = kuttest::SourceDir() + kSep + L"data" + kSep + L"units";
        REP_SetRepert(1, dir.c_str());
        REP_SetRepert(2, m_empty.path().c_str());
    }
    void TearDown() override {
        REP_SetRepert(1, nullptr);
        REP_SetRepert(2, nullptr);
        CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC] = 0;
    }
    double Call(int section, bool nonMetric, const wchar_t* a, const wchar_t* b) {
        CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC] = nonMetric ? 1 : 0;
        std::wstring x(a), y(b);
        switch (section) {
            case 1: return m_units.LenghtCoeff(x.data(), y.data());
            case 2: return m_units.ForceCoeff(x.data(), y.data());
            default: return m_units.MassCoeff(x.data(), y.data());
        }
    }
    kuttest::TempDir m_empty;
    KUT_Units m_units;
};

TEST_F(SampleUnits, KnownFactors) {
    struct Case { int section; const wchar_t* from; const wchar_t* to; double factor; };
    const Case cases[] = {
        {1, L"M", L"CM", 100.0},        {1, L"KM", L"M", 1000.0},     {1, L"IN", L"MM", 25.4},
        {1, L"FT", L"M", 0.3048},       {1, L"YD", L"FT", 3.0},       {1, L"MI", L"M", 1609.344},
        {1, L"MI", L"FT", 5280.0},      {2, L"DAN", L"N", 10.0},      {2, L"MN", L"KN", 1000.0},
        {2, L"KG", L"N", 9.80665},      {2, L"T", L"KN", 9.80665},    {2, L"LB", L"N", 4.4482216152605},
        {2, L"KIP", L"LB", 1000.0},     {2, L"LB", L"KG", 0.45359237}, {3, L"LB", L"KG", 0.45359237},
        {3, L"T", L"KG", 1000.0},       {3, L"KG", L"G", 1000.0},
    };
    for (const Case& c : cases) {
        for (bool nonMetric : {false, true}) {
            double got = Call(c.section, nonMetric, c.from, c.to);
            EXPECT_NEAR(got, c.factor, std::fabs(c.factor) * 1e-15)
                << c.from << " -> " << c.to << (nonMetric ? " non-metric" : " metric");
        }
    }
}

TEST_F(SampleUnits, BothSystemsAgreeOnEveryPair) {
    const std::vector<std::vector<const wchar_t*>> names = {
        {L"M", L"CM", L"MM", L"KM", L"IN", L"FT", L"YD", L"MI"},
        {L"N", L"DAN", L"KN", L"MN", L"KG", L"T", L"LB", L"KIP"},
        {L"KG", L"T", L"G", L"LB"},
    };
    for (int section = 1; section <= 3; ++section) {
        for (const wchar_t* a : names[section - 1]) {
            for (const wchar_t* b : names[section - 1]) {
                double metric = Call(section, false, a, b);
                double other = Call(section, true, a, b);
                ASSERT_GT(metric, 0.0) << a << " " << b;
                EXPECT_NEAR(metric, other, metric * 2e-15) << a << " -> " << b;
                if (std::wstring(a) == b) {
                    EXPECT_EQ(metric, 1.0);
                }
            }
        }
    }
}
