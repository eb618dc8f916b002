#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "kut/tool.h"

namespace {

TOOL_RECT R(short x1, short y1, short x2, short y2) { return TOOL_RECT{x1, y1, x2, y2}; }

bool Same(const TOOL_RECT& a, const TOOL_RECT& b) {
    return a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2;
}

::testing::AssertionResult Is(const TOOL_RECT& r, short x1, short y1, short x2, short y2) {
    if (Same(r, R(x1, y1, x2, y2))) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << r.x1 << ", " << r.y1 << ", " << r.x2 << ", " << r.y2
                                         << ") expected (" << x1 << ", " << y1 << ", " << x2 << ", " << y2 << ")";
}

}  // namespace

TEST(ToolRecords, RectAndPaletteReuseOneStaticRecord) {
    TOOL_RECT* first = TOOL_Rect(1, 2, 3, 4);
    TOOL_RECT* second = TOOL_Rect(-5, 6, 70, -8);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(Is(*first, -5, 6, 70, -8));

    TOOL_PALETTE* p = TOOL_Palette(1, 2, 3);
    p->extra[0] = 9;
    p->extra[1] = 9;
    p->extra[2] = 9;
    TOOL_PALETTE* q = TOOL_Palette(1, 2, 3);
    EXPECT_EQ(p, q);
    EXPECT_EQ(q->entry1, 1);
    EXPECT_EQ(q->entry2, 2);
    EXPECT_EQ(q->entry3, 3);
    EXPECT_EQ(q->extra[0], 0);
    EXPECT_EQ(q->extra[1], 0);
    EXPECT_EQ(q->extra[2], 0);
}

TEST(ToolPoints, PointInRectUsesHalfOpenBoundsAndConvertsOnlyInside) {
    TOOL_RECT r = R(10, 20, 30, 40);
    short x = 10, y = 20;
    EXPECT_EQ(TOOL_PointinRect(&r, &x, &y), 1);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);

    x = 29; y = 39;
    EXPECT_EQ(TOOL_PointinRect(&r, &x, &y), 1);
    EXPECT_EQ(x, 19);
    EXPECT_EQ(y, 19);

    // Each bound on its own rejects and leaves the point alone.
    const short outside[][2] = {{9, 25}, {30, 25}, {15, 19}, {15, 40}, {30, 20}};
    for (const auto& p : outside) {
        x = p[0]; y = p[1];
        EXPECT_EQ(TOOL_PointinRect(&r, &x, &y), 0) << p[0] << "," << p[1];
        EXPECT_EQ(x, p[0]);
        EXPECT_EQ(y, p[1]);
    }
}

TEST(ToolPoints, LocalCoorsAlwaysConvertsAndGlobalCoorsUndoesIt) {
    TOOL_RECT r = R(10, 20, 30, 40);
    short x = 5, y = 50;
    EXPECT_EQ(TOOL_LocalCoors(&r, &x, &y), 0);
    EXPECT_EQ(x, -5);
    EXPECT_EQ(y, 30);
    TOOL_GlobalCoors(&r, &x, &y);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 50);

    x = 10; y = 20;
    EXPECT_EQ(TOOL_LocalCoors(&r, &x, &y), 1);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    x = 30; y = 39;   // x at the exclusive bound
    EXPECT_EQ(TOOL_LocalCoors(&r, &x, &y), 0);
    EXPECT_EQ(x, 20);
    x = 29; y = 40;
    EXPECT_EQ(TOOL_LocalCoors(&r, &x, &y), 0);
    EXPECT_EQ(y, 20);

    // The inside test reads the stored 16-bit value: a difference that
    // wraps to a negative short is outside.
    TOOL_RECT wide = R(-30000, 0, 30000, 10);
    x = 30000; y = 0;   // x - x1 = 60000, stored as -5536
    EXPECT_EQ(TOOL_LocalCoors(&wide, &x, &y), 0);
    EXPECT_EQ(x, static_cast<short>(-5536));
}

TEST(ToolMeasures, WidthHeightAreaAreNotNormalisedAndUse32Bits) {
    TOOL_RECT r = R(30, 45, 10, 20);
    EXPECT_EQ(TOOL_RectWidth(&r), -20);
    EXPECT_EQ(TOOL_RectHeight(&r), -25);
    EXPECT_EQ(TOOL_RectArea(&r), 500);

    TOOL_RECT big = R(0, 0, 300, 200);
    EXPECT_EQ(TOOL_RectArea(&big), 60000);

    TOOL_RECT full = R(-32768, -32768, 32767, 32767);
    EXPECT_EQ(TOOL_RectWidth(&full), 65535);
    // 65535 * 65535 does not fit 32 signed bits: it wraps.
    EXPECT_EQ(TOOL_RectArea(&full), -131071);
}

TEST(ToolMeasures, LocalWritesFieldsInOrder) {
    TOOL_RECT r = R(10, 20, 15, 30);
    TOOL_RECT out = R(7, 7, 7, 7);
    TOOL_Local(&r, &out);
    EXPECT_TRUE(Is(out, 0, 0, 5, 10));
    EXPECT_TRUE(Is(r, 10, 20, 15, 30));

    // In place, x1 and y1 are zero before the width and height are taken.
    TOOL_Local(&r, &r);
    EXPECT_TRUE(Is(r, 0, 0, 15, 30));
}

TEST(ToolMeasures, CenterTruncatesTowardZero) {
    EXPECT_EQ(TOOL_Center(0, 10, 3), 3);
    EXPECT_EQ(TOOL_Center(0, 10, 13), -1);
    EXPECT_EQ(TOOL_Center(0, 10, 14), -2);
    EXPECT_EQ(TOOL_Center(-10, 10, 5), -3);
    EXPECT_EQ(TOOL_Center(5, 5, 0), 5);
    EXPECT_EQ(TOOL_Center(-32768, 32767, -32768), -32768 + (65535 + 32768) / 2);
}

TEST(ToolMultiplicate, KnownRelations) {
    struct Case { TOOL_RECT a, b; short code; TOOL_RECT result; };
    const Case cases[] = {
        {R(0, 0, 10, 10), R(5, 5, 15, 15), 1, R(5, 5, 10, 10)},
        {R(0, 0, 10, 10), R(2, 2, 8, 8), 2, R(2, 2, 8, 8)},
        {R(2, 2, 8, 8), R(0, 0, 10, 10), 3, R(2, 2, 8, 8)},
        {R(0, 0, 10, 10), R(0, 2, 8, 8), 2, R(0, 2, 8, 8)},
        {R(0, 2, 8, 8), R(0, 0, 10, 10), 1, R(0, 2, 8, 8)},
        {R(3, 4, 9, 9), R(3, 4, 9, 9), 2, R(3, 4, 9, 9)},
    };
    for (const Case& c : cases) {
        TOOL_RECT out = R(-1, -1, -1, -1);
        EXPECT_EQ(TOOL_Multiplicate(&c.a, &c.b, &out), c.code);
        EXPECT_TRUE(Same(out, c.result));
    }

    TOOL_RECT a = R(0, 0, 10, 10), b = R(10, 0, 20, 10), out = R(-1, -2, -3, -4);
    EXPECT_EQ(TOOL_Multiplicate(&a, &b, &out), 0);
    EXPECT_TRUE(Is(out, -1, -2, -3, -4));
}

TEST(ToolMultiplicate, ResultMayBeEitherInput) {
    TOOL_RECT a = R(0, 0, 10, 10), b = R(2, 2, 8, 8);
    EXPECT_EQ(TOOL_Multiplicate(&a, &b, &a), 2);
    EXPECT_TRUE(Is(a, 2, 2, 8, 8));

    a = R(0, 0, 10, 10);
    b = R(5, -5, 15, 5);
    EXPECT_EQ(TOOL_Multiplicate(&a, &b, &b), 1);
    EXPECT_TRUE(Is(b, 5, 0, 10, 5));
}

// Every pair of non-empty rectangles with corners in 0..4,
// against a direct computation of intersection and containment.
TEST(ToolMultiplicate, AgreesWithIndependentGeometryOnAllSmallRectangles) {
    std::vector<TOOL_RECT> rects;
    for (short x1 = 0; x1 <= 4; ++x1)
        for (short x2 = x1 + 1; x2 <= 4; ++x2)
            for (short y1 = 0; y1 <= 4; ++y1)
                for (short y2 = y1 + 1; y2 <= 4; ++y2) rects.push_back(R(x1, y1, x2, y2));

    int counts[4] = {0, 0, 0, 0};
    for (const TOOL_RECT& a : rects) {
        for (const TOOL_RECT& b : rects) {
            short ix1 = std::max(a.x1, b.x1), ix2 = std::min(a.x2, b.x2);
            short iy1 = std::max(a.y1, b.y1), iy2 = std::min(a.y2, b.y2);
            bool overlap = ix1 < ix2 && iy1 < iy2;
            bool bInA = a.x1 <= b.x1 && b.x2 <= a.x2 && a.y1 <= b.y1 && b.y2 <= a.y2;
            bool aStrictlyInB = b.x1 < a.x1 && a.x2 < b.x2 && b.y1 < a.y1 && a.y2 < b.y2;
            short want = !overlap ? 0 : bInA ? 2 : aStrictlyInB ? 3 : 1;

            const TOOL_RECT marker = R(-9, -9, -9, -9);
            TOOL_RECT out = marker;
            short got = TOOL_Multiplicate(&a, &b, &out);
            ASSERT_EQ(got, want) << "a=(" << a.x1 << "," << a.y1 << "," << a.x2 << "," << a.y2 << ") b=("
                                 << b.x1 << "," << b.y1 << "," << b.x2 << "," << b.y2 << ")";
            ++counts[got];
            if (overlap) {
                ASSERT_TRUE(Is(out, ix1, iy1, ix2, iy2));
            } else {
                ASSERT_TRUE(Same(out, marker));
            }

            TOOL_RECT inA = a, inB = b;
            ASSERT_EQ(TOOL_Multiplicate(&inA, &b, &inA), want);
            ASSERT_TRUE(Same(inA, overlap ? out : a));
            ASSERT_EQ(TOOL_Multiplicate(&a, &inB, &inB), want);
            ASSERT_TRUE(Same(inB, overlap ? out : b));
        }
    }
    // The sweep has to reach every code for the comparison to mean much.
    for (int code = 0; code < 4; ++code) EXPECT_GT(counts[code], 0) << code;
}
