// Run under the sanitizer build, a tip freed twice or never is a failure here.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "kut/kstate.h"

static CString Tip(const wchar_t* prefix, short row) { return CString((std::wstring(prefix) + std::to_wstring(row)).c_str()); }

// Rows 0, 7 and 49 filled, tips "<prefix><row>", command 42, state 3.
static void Fill(KState& t, const wchar_t* prefix) {
    for (short row : {0, 7, 49}) {
        t.SetState(row, row, static_cast<short>(row + 1), static_cast<short>(-row));
        t.SetHelp(row, 1000 + row);
        t.SetTip(row, Tip(prefix, row));
    }
    t.Cmd() = 42;
    t.State() = 3;
}

// Rows as Fill leaves them (cleared ones without a prefix), and the command and state.
static ::testing::AssertionResult Rows(KState& t, const wchar_t* prefix, int cmd, short state) {
    if (t.Cmd() != cmd || t.State() != state) return ::testing::AssertionFailure() << t.Cmd() << " " << t.State();
    for (short row = 0; row < KState::ROWS; ++row) {
        const STATE_ITEM& r = t.StateTab()[row];
        const bool filled = prefix && (row == 0 || row == 7 || row == 49);
        if (r.state1 != (filled ? row : 0) || r.state2 != (filled ? row + 1 : 0) || r.state3 != (filled ? -row : 0) ||
            r.help != (filled ? 1000 + row : 0) || (filled ? !r.tip || *r.tip != Tip(prefix, row) : r.tip != nullptr))
            return ::testing::AssertionFailure() << "row " << row;
    }
    return ::testing::AssertionSuccess();
}

TEST(KState, RowsSettersAndReset) {
    KState t;  // a new table, and setters given rows out of range
    for (short bad : {-1, 50, -32768, 32767}) {
        t.SetState(bad, 1, 2, 3);
        t.SetTip(bad, CString(L"x"));
        t.SetHelp(bad, 9);
    }
    EXPECT_TRUE(Rows(t, nullptr, -1, 50));
    Fill(t, L"first");
    Fill(t, L"tip");                    // each tip replaced, the old one released, the caller's temporary copied
    t.SetTip(7, *t.StateTab()[7].tip);  // the row's own string as the argument
    EXPECT_TRUE(Rows(t, L"tip", 42, 3));
    t.StateTab()[10].tip = new CString(L"handed over, then released by ResetState");
    t.ResetState();
    EXPECT_TRUE(Rows(t, nullptr, 42, 3));
    t.StateTab()[12].tip = new CString(L"handed over, then released by the destructor");
}

TEST(KState, CopiesOwnTheirTipsWhicheverGoesFirst) {
    auto source = std::make_unique<KState>();
    Fill(*source, L"src");
    KState target;
    target.SetTip(7, CString(L"old target tip"));
    target.SetTip(20, CString(L"only in target"));
    target = *source;
    KState copy(*source);
    source.reset();
    *std::make_unique<KState>() = target;  // a target that goes first
    KState& alias = target;
    target = alias;
    EXPECT_TRUE(Rows(target, L"src", 42, 3));
    EXPECT_TRUE(Rows(copy, L"src", 42, 3));
}
