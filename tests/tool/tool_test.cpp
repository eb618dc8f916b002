#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "kut/tool.h"

// Found by the assertions through the rectangle's own (global) namespace.
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
    EXPECT_EQ(std::make_tuple(p->entry1, p->entry2, p->entry3), std::make_tuple(1, 2, 3));
    EXPECT_EQ(std::make_tuple(p->extra[0], p->extra[1], p->extra[2]), std::make_tuple(0, 0, 0)) << "extra cleared";
}

// PointinRect converts only a point inside (x1 <= x < x2, y1 <= y < y2);
// LocalCoors always converts and judges the stored 16-bit result, so a
// difference that wraps is outside; GlobalCoors undoes LocalCoors.
TEST(ToolPoints, InsideTestsAndConversions) {
    const TOOL_RECT box{10, 20, 30, 40}, wide{-30000, 0, 30000, 10};
    const struct {
        const TOOL_RECT* r;
        short x, y;
        int pointIn, localIn;
    } rows[] = {{&box, 10, 20, 1, 1},    {&box, 29, 39, 1, 1},   {&box, 9, 25, 0, 0},  {&box, 30, 25, 0, 0},
                {&box, 15, 19, 0, 0},    {&box, 15, 40, 0, 0},   {&box, 30, 20, 0, 0}, {&box, 5, 50, 0, 0},
                {&wide, 30000, 0, 0, 0}, {&wide, 29999, 9, 1, 0}};
    for (const auto& p : rows) {
        SCOPED_TRACE(testing::Message() << p.x << "," << p.y << (p.r == &box ? " in box" : " in wide"));
        const auto global = std::make_pair(p.x, p.y);
        const auto local = std::make_pair(static_cast<short>(p.x - p.r->x1), static_cast<short>(p.y - p.r->y1));
        auto point = global;
        EXPECT_EQ(TOOL_PointinRect(p.r, &point.first, &point.second), p.pointIn);
        EXPECT_EQ(point, p.pointIn ? local : global);
        point = global;
        EXPECT_EQ(TOOL_LocalCoors(p.r, &point.first, &point.second), p.localIn);
        EXPECT_EQ(point, local);
        TOOL_GlobalCoors(p.r, &point.first, &point.second);
        EXPECT_EQ(point, global);
    }
}

// Nothing is normalised; the area is taken in 32 bits and wraps beyond them.
TEST(ToolMeasures, WidthHeightAreaLocalCenter) {
    const struct {
        TOOL_RECT r;
        int width, height, area;
    } rows[] = {{{30, 45, 10, 20}, -20, -25, 500},
                {{0, 0, 300, 200}, 300, 200, 60000},
                {{-32768, -32768, 32767, 32767}, 65535, 65535, -131071}};
    for (const auto& m : rows)
        EXPECT_EQ(std::make_tuple(TOOL_RectWidth(&m.r), TOOL_RectHeight(&m.r), TOOL_RectArea(&m.r)),
                  std::make_tuple(m.width, m.height, m.area));
    TOOL_RECT r{10, 20, 15, 30}, out{7, 7, 7, 7};
    TOOL_Local(&r, &out);
    EXPECT_EQ(out, (TOOL_RECT{0, 0, 5, 10}));
    TOOL_Local(&r, &r);  // x1 and y1 are 0 before the width and height are taken
    EXPECT_EQ(r, (TOOL_RECT{0, 0, 15, 30}));
    const struct {
        short start, end, size;
        int want;
    } centers[] = {{0, 10, 3, 3},    {0, 10, 13, -1}, {0, 10, 14, -2},
                   {-10, 10, 5, -3}, {5, 5, 0, 5},    {-32768, 32767, -32768, -32768 + (65535 + 32768) / 2}};
    for (auto c : centers) EXPECT_EQ(TOOL_Center(c.start, c.end, c.size), c.want) << c.start << " " << c.size;
}

// Every pair of non-empty rectangles with corners in 0..4 (every relation,
// shared edges included) against a direct computation of intersection and
// containment, with the result given as a third record, as a and as b.
TEST(ToolMultiplicate, AgreesWithIndependentGeometryOnAllSmallRectangles) {
    std::vector<TOOL_RECT> rects;
    for (short x1 = 0; x1 < 5; ++x1)
        for (short x2 = x1 + 1; x2 < 5; ++x2)
            for (short y1 = 0; y1 < 5; ++y1)
                for (short y2 = y1 + 1; y2 < 5; ++y2) rects.push_back({x1, y1, x2, y2});
    for (const TOOL_RECT& a : rects)
        for (const TOOL_RECT& b : rects) {
            TOOL_RECT meet{std::max(a.x1, b.x1), std::max(a.y1, b.y1), std::min(a.x2, b.x2), std::min(a.y2, b.y2)};
            const bool overlap = meet.x1 < meet.x2 && meet.y1 < meet.y2;
            const bool bInA = a.x1 <= b.x1 && b.x2 <= a.x2 && a.y1 <= b.y1 && b.y2 <= a.y2;
            const bool aStrictlyInB = b.x1 < a.x1 && a.x2 < b.x2 && b.y1 < a.y1 && a.y2 < b.y2;
            const short want = !overlap ? 0 : bInA ? 2 : aStrictlyInB ? 3 : 1;
            TOOL_RECT out{-9, -9, -9, -9}, inA = a, inB = b;
            SCOPED_TRACE("a " + testing::PrintToString(a) + " b " + testing::PrintToString(b));
            ASSERT_EQ(TOOL_Multiplicate(&a, &b, &out), want);
            ASSERT_EQ(out, (overlap ? meet : TOOL_RECT{-9, -9, -9, -9}));
            ASSERT_EQ(TOOL_Multiplicate(&inA, &b, &inA), want);
            ASSERT_EQ(inA, overlap ? meet : a);
            ASSERT_EQ(TOOL_Multiplicate(&a, &inB, &inB), want);
            ASSERT_EQ(inB, overlap ? meet : b);
        }
}
