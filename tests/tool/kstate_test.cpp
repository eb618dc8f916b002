#include <gtest/gtest.h>

#include <memory>

#include "kut/kstate.h"

namespace {

bool Cleared(const STATE_ITEM& row) {
    return row.state1 == 0 && row.state2 == 0 && row.state3 == 0 && row.tip == nullptr && row.help == 0;
}

void ExpectAllCleared(KState& t) {
    for (int i = 0; i < KState::ROWS; ++i) EXPECT_TRUE(Cleared(t.StateTab()[i])) << "row " << i;
}

// Fills a few rows so that assignments have something to copy.
void Fill(KState& t, const wchar_t* prefix) {
    for (short row : {0, 7, 49}) {
        t.SetState(row, row, static_cast<short>(row + 1), static_cast<short>(-row));
        t.SetHelp(row, 1000 + row);
        CString tip(prefix);
        tip += row == 0 ? L"0" : row == 7 ? L"7" : L"49";
        t.SetTip(row, tip);
    }
    t.Cmd() = 42;
    t.State() = 3;
}

}  // namespace

TEST(KStateRows, NewTableHasDefaultsAndFiftyClearedRows) {
    KState t;
    EXPECT_EQ(t.Cmd(), -1);
    EXPECT_EQ(t.State(), 50);
    ExpectAllCleared(t);
    t.SetState(49, 1, 2, 3);
    EXPECT_EQ(t.StateTab()[49].state3, 3);
    EXPECT_EQ(&t.StateTab()[49], t.StateTab() + 49);
}

TEST(KStateRows, SettersStoreAndIgnoreRowsOutOfRange) {
    KState t;
    for (short bad : {static_cast<short>(-1), static_cast<short>(50), static_cast<short>(-32768),
                      static_cast<short>(32767)}) {
        t.SetState(bad, 1, 2, 3);
        t.SetTip(bad, CString(L"x"));
        t.SetHelp(bad, 9);
    }
    ExpectAllCleared(t);

    t.SetState(3, -1, 2, -3);
    t.SetHelp(3, 77);
    const STATE_ITEM& row = t.StateTab()[3];
    EXPECT_EQ(row.state1, -1);
    EXPECT_EQ(row.state2, 2);
    EXPECT_EQ(row.state3, -3);
    EXPECT_EQ(row.help, 77);
    EXPECT_EQ(row.tip, nullptr);
}

TEST(KStateRows, TipIsAnOwnedCopyAndReplacingReleasesTheOld) {
    KState t;
    CString text(L"first");
    t.SetTip(5, text);
    text = L"changed by the caller";
    ASSERT_NE(t.StateTab()[5].tip, nullptr);
    EXPECT_EQ(*t.StateTab()[5].tip, L"first");
    EXPECT_NE(t.StateTab()[5].tip, &text);

    t.SetTip(5, CString(L"second"));
    EXPECT_EQ(*t.StateTab()[5].tip, L"second");

    // The row's own string as the argument.
    t.SetTip(5, *t.StateTab()[5].tip);
    EXPECT_EQ(*t.StateTab()[5].tip, L"second");
}

TEST(KStateRows, ResetClearsRowsButKeepsCommandAndState) {
    KState t;
    Fill(t, L"tip");
    t.ResetState();
    ExpectAllCleared(t);
    EXPECT_EQ(t.Cmd(), 42);
    EXPECT_EQ(t.State(), 3);
}

TEST(KStateRows, TipHandedOverThroughStateTabIsReleasedByTheTable) {
    // Run under the sanitizer build, a leak or a double free fails here.
    auto t = std::make_unique<KState>();
    t->StateTab()[10].tip = new CString(L"handed over");
    t->StateTab()[11].tip = new CString(L"reset");
    t->SetTip(10, CString(L"replaced"));
    t->ResetState();
    t->StateTab()[12].tip = new CString(L"destroyed");
    t.reset();
}

TEST(KStateCopy, AssignmentCopiesEveryFieldAndOutlivesTheSource) {
    KState target;
    target.SetTip(7, CString(L"old target tip"));
    target.SetTip(20, CString(L"only in target"));
    {
        KState source;
        Fill(source, L"src");
        target = source;
        EXPECT_NE(target.StateTab()[0].tip, source.StateTab()[0].tip);
    }
    EXPECT_EQ(target.Cmd(), 42);
    EXPECT_EQ(target.State(), 3);
    for (short row : {0, 7, 49}) {
        const STATE_ITEM& r = target.StateTab()[row];
        EXPECT_EQ(r.state1, row);
        EXPECT_EQ(r.state2, row + 1);
        EXPECT_EQ(r.state3, -row);
        EXPECT_EQ(r.help, 1000 + row);
        ASSERT_NE(r.tip, nullptr);
    }
    EXPECT_EQ(*target.StateTab()[7].tip, L"src7");
    EXPECT_EQ(target.StateTab()[20].tip, nullptr);
}

TEST(KStateCopy, SourceOutlivesTheTarget) {
    KState source;
    Fill(source, L"keep");
    {
        KState target;
        target = source;
        target.SetTip(0, CString(L"target only"));
    }
    ASSERT_NE(source.StateTab()[0].tip, nullptr);
    EXPECT_EQ(*source.StateTab()[0].tip, L"keep0");
    EXPECT_EQ(*source.StateTab()[49].tip, L"keep49");
}

TEST(KStateCopy, SelfAssignmentAndCopyConstructionKeepTipsIntact) {
    KState t;
    Fill(t, L"self");
    KState& alias = t;
    t = alias;
    ASSERT_NE(t.StateTab()[7].tip, nullptr);
    EXPECT_EQ(*t.StateTab()[7].tip, L"self7");

    auto copy = std::make_unique<KState>(t);
    EXPECT_EQ(copy->Cmd(), 42);
    ASSERT_NE(copy->StateTab()[49].tip, nullptr);
    EXPECT_NE(copy->StateTab()[49].tip, t.StateTab()[49].tip);
    copy.reset();
    EXPECT_EQ(*t.StateTab()[49].tip, L"self49");
}
