// Rectangle geometry and the command state table (a tip freed twice or never fails under asan).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "kut/kstate.h"
#include "kut/tool.h"

static bool operator==(const TOOL_RECT& a, const TOOL_RECT& b) {
    return std::tie(a.x1, a.y1, a.x2, a.y2) == std::tie(b.x1, b.y1, b.x2, b.y2);
}
static void PrintTo(const TOOL_RECT& r, std::ostream* os) { *os << r.x1 << "," << r.y1 << "," << r.x2 << "," << r.y2; }

TEST(ToolRecords, RectAndPaletteReuseOneStaticRecord) {
    TOOL_RECT* first = TOOL_Rect(1, 2, 3, 4);
    EXPECT_EQ(TOOL_Rect(-5, 6, 70, -8), first);
    EXPECT_EQ(*first, (TOOL_RECT{-5, 6, 70, -8}));
    TOOL_PALETTE* p = TOOL_Palette(7, 8, 9);
    p->extra[0] = p->extra[1] = p->extra[2] = 9;
    EXPECT_EQ(TOOL_Palette(1, 2, 3), p);
    EXPECT_EQ(std::make_tuple(p->entry1, p->entry2, p->entry3, p->extra[0], p->extra[1], p->extra[2]),
              std::make_tuple(1, 2, 3, 0, 0, 0));
}

// PointinRect converts only a point inside (x1 <= x < x2, y1 <= y < y2);
// LocalCoors always converts and judges the stored 16-bit result, so a
// difference that wraps is outside; GlobalCoors undoes LocalCoors.
TEST(ToolPoints, InsideTestsAndConversions) {
    const TOOL_RECT box{10, 20, 30, 40}, wide{-30000, 0, 30000, 10};
    const struct {
        const TOOL_RECT* r;
        short x, y;
        int in, localIn;
    } rows[] = {{&box, 10, 20, 1, 1}, {&box, 29, 39, 1, 1}, {&box, 9, 25, 0, 0},     {&box, 30, 25, 0, 0},
                {&box, 15, 19, 0, 0}, {&box, 15, 40, 0, 0}, {&wide, 30000, 0, 0, 0}, {&wide, 29999, 9, 1, 0}};
    for (const auto& p : rows) {
        SCOPED_TRACE(testing::Message() << p.x << "," << p.y << (p.r == &box ? " in box" : " in wide"));
        const auto global = std::make_pair(p.x, p.y);
        const auto local = std::make_pair(static_cast<short>(p.x - p.r->x1), static_cast<short>(p.y - p.r->y1));
        auto point = global;
        EXPECT_EQ(TOOL_PointinRect(p.r, &point.first, &point.second), p.in);
        EXPECT_EQ(point, p.in ? local : global);
        point = global;
        EXPECT_EQ(TOOL_LocalCoors(p.r, &point.first, &point.second), p.localIn);
        EXPECT_EQ(point, local);
        TOOL_GlobalCoors(p.r, &point.first, &point.second);
        EXPECT_EQ(point, global);
    }
}

// Nothing is normalised; the area is 32-bit and wraps.
TEST(ToolMeasures, WidthHeightAreaLocalCenter) {
    const TOOL_RECT back{30, 45, 10, 20}, full{-32768, -32768, 32767, 32767};
    EXPECT_EQ(std::make_tuple(TOOL_RectWidth(&back), TOOL_RectHeight(&back), TOOL_RectArea(&back)),
              std::make_tuple(-20, -25, 500));
    EXPECT_EQ(std::make_tuple(TOOL_RectWidth(&full), TOOL_RectHeight(&full), TOOL_RectArea(&full)),
              std::make_tuple(65535, 65535, -131071));
    TOOL_RECT r{10, 20, 15, 30}, out{7, 7, 7, 7};
    TOOL_Local(&r, &out);
    EXPECT_EQ(out, (TOOL_RECT{0, 0, 5, 10}));
    TOOL_Local(&r, &r);  // x1 and y1 are 0 before the width and height are taken
    EXPECT_EQ(r, (TOOL_RECT{0, 0, 15, 30}));
    const short centers[][4] = {{0, 10, 3, 3}, {0, 10, 13, -1}, {-10, 10, 5, -3}, {-32768, 32767, -32768, 16383}};
    for (auto c : centers) EXPECT_EQ(TOOL_Center(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[2];
}

// Every pair of small rectangles (every relation, shared edges included) against a direct
// computation, the result written to a third record, to a and to b.
TEST(ToolMultiplicate, AgreesWithIndependentGeometryOnAllSmallRectangles) {
    std::vector<TOOL_RECT> rects;
    for (short i = 0; i < 625; ++i)  // corners in 0..4
        if (i % 5 < i / 5 % 5 && i / 25 % 5 < i / 125)
            rects.push_back({short(i % 5), short(i / 25 % 5), short(i / 5 % 5), short(i / 125)});
    for (const TOOL_RECT& a : rects)
        for (const TOOL_RECT& b : rects) {
            TOOL_RECT meet{std::max(a.x1, b.x1), std::max(a.y1, b.y1), std::min(a.x2, b.x2), std::min(a.y2, b.y2)};
            const bool overlap = meet.x1 < meet.x2 && meet.y1 < meet.y2;
            const bool bInA = a.x1 <= b.x1 && b.x2 <= a.x2 && a.y1 <= b.y1 && b.y2 <= a.y2;
            const bool aStrictlyInB = b.x1 < a.x1 && a.x2 < b.x2 && b.y1 < a.y1 && a.y2 < b.y2;
            const short want = !overlap ? 0 : bInA ? 2 : aStrictlyInB ? 3 : 1;
            TOOL_RECT out{-9, -9, -9, -9}, inA = a, inB = b;
            SCOPED_TRACE("a " + testing::PrintToString(a) + " b " + testing::PrintToString(b));
            ASSERT_EQ(std::make_tuple(TOOL_Multiplicate(&a, &b, &out), TOOL_Multiplicate(&inA, &b, &inA),
                                      TOOL_Multiplicate(&a, &inB, &inB)),
                      std::make_tuple(want, want, want));
            ASSERT_EQ(std::make_tuple(out, inA, inB),
                      std::make_tuple(overlap ? meet : TOOL_RECT{-9, -9, -9, -9}, overlap ? meet : a, overlap ? meet : b));
        }
}

static CString Tip(const wchar_t* prefix, short row) { return CString((std::wstring(prefix) + std::to_wstring(row)).c_str()); }

// Rows 0, 7 and 49 filled, command 42, state 3; Rows checks that (cleared rows: no prefix).
static void Fill(KState& t, const wchar_t* prefix) {
    for (short row : {0, 7, 49}) {
        t.SetState(row, row, static_cast<short>(row + 1), static_cast<short>(-row));
        t.SetHelp(row, 1000 + row);
        t.SetTip(row, Tip(prefix, row));
    }
    t.Cmd() = 42;
    t.State() = 3;
}

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

TEST(KState, SettersCopiesAndResetOwnTheirTips) {
    KState t;  // a new table, and setters given rows out of range
    for (short bad : {-1, 50, -32768, 32767}) t.SetState(bad, 1, 2, 3), t.SetTip(bad, CString(L"x")), t.SetHelp(bad, 9);
    EXPECT_TRUE(Rows(t, nullptr, -1, 50));
    Fill(t, L"first");
    Fill(t, L"tip");                    // each tip replaced, the old one released, the caller's temporary copied
    t.SetTip(7, *t.StateTab()[7].tip);  // the row's own string as the argument
    auto source = std::make_unique<KState>(t);
    KState target;
    target.SetTip(7, CString(L"old target tip"));
    target.SetTip(20, CString(L"only in target"));
    target = *source;
    source.reset();
    *std::make_unique<KState>() = target;  // a target that goes first
    KState& alias = target;
    target = alias;
    EXPECT_TRUE(Rows(target, L"tip", 42, 3));
    EXPECT_TRUE(Rows(t, L"tip", 42, 3));
    t.StateTab()[10].tip = new CString(L"handed over, then released by ResetState");
    t.ResetState();
    EXPECT_TRUE(Rows(t, nullptr, 42, 3));
    t.StateTab()[12].tip = new CString(L"handed over, then released by the destructor");
}
