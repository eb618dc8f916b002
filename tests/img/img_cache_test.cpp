#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imgtest.h"
#include "kbase/kbase.h"
#include "kut/img.h"

namespace {

using imgtest::Bmp;
using imgtest::FileBytes;
using imgtest::Modules;
using imgtest::Standard;

class ImgCache : public imgtest::ImgTest {
protected:
    // Every pixel of the 200 x 100 canvas: picture `tag` (w x h) with its
    // top-left pixel at (x0, y0), background elsewhere.
    static void ExpectDrawn(int tag, int w, int h, int x0, int y0) {
        int wrong = 0;
        for (short y = 0; y < 100; ++y) {
            for (short x = 0; x < 200; ++x) {
                const int ix = x - x0, iy = y - y0;
                const bool inside = ix >= 0 && iy >= 0 && ix < w && iy < h;
                const unsigned want = inside ? imgtest::Colour(tag, ix, iy) : GRAF_CANVAS_BACKGROUND;
                if (static_cast<unsigned>(GRAF_CanvasPixel(x, y)) != want && ++wrong <= 5) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << GRAF_CanvasPixel(x, y)
                                  << ", wanted " << want;
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
};

TEST_F(ImgCache, ShowPutsEveryPixelInPlaceFromTheCacheAndFromTheFile) {
    Write(L"kestoimg.img", FileBytes(Standard()));
    for (short kb : {64, 0}) {
        SCOPED_TRACE(kb == 0 ? "from the file" : "from the cache");
        ASSERT_EQ(IMG_Init(kb), 0);
        struct Case {
            short image, x, y, centred;
            int tag, w, h, x0, y0;
        };
        const Case cases[] = {
            {1, 100, 50, 0, 2, 31, 11, 100, 50},
            {1, 100, 50, 1, 2, 31, 11, 85, 45},  // halves of 31 and 11 are 15 and 5
            {0, 0, 0, 1, 1, 8, 8, -4, -4},
            {2, 198, 99, 0, 3, 5, 3, 198, 99},   // top-down rows, clipped at the corner
            {2, 2, 1, 1, 3, 5, 3, 0, 0},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "image " << c.image << " at " << c.x << "," << c.y
                                            << (c.centred ? " centred" : ""));
            GRAF_CanvasSize(200, 100);
            ASSERT_EQ(IMG_Show(L"ALPHA", c.image, c.x, c.y, c.centred), 0);
            ExpectDrawn(c.tag, c.w, c.h, c.x0, c.y0);
        }
        short w = 0, h = 0;
        EXPECT_EQ(IMG_ImgSize(L"ALPHA", 2, &w, &h), 0);
        EXPECT_EQ(w, 5);
        EXPECT_EQ(h, 3);
        EXPECT_EQ(IMG_Show(L"ALPHA", 3, 0, 0, 0), -1);
        EXPECT_EQ(IMG_Show(L"GAMMA", 0, 0, 0, 0), -1);
    }
}

TEST_F(ImgCache, TheSameImageComesBackAfterAFlush) {
    const std::wstring path = Write(L"kestoimg.img", FileBytes(Standard()));
    ASSERT_EQ(IMG_Init(64), 0);
    int size = 0;
    const auto* first = static_cast<const unsigned char*>(IMG_GetFromCache(L"ALPHA", 1, &size));
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(size, 16 + 31 * 11 * 4);
    const std::vector<unsigned char> copy(first, first + size);
    ASSERT_NE(IMG_GetFromCache(L"BETA", 0, nullptr), nullptr);

    IMG_Flush();
    int again = 0;
    const auto* second = static_cast<const unsigned char*>(IMG_GetFromCache(L"ALPHA", 1, &again));
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(again, size);
    EXPECT_EQ(std::memcmp(second, copy.data(), copy.size()), 0);
    Hide(path);
    EXPECT_TRUE(Cached(L"ALPHA", 1));
    EXPECT_FALSE(Cached(L"BETA", 0)) << "flushed and not asked for again";
}

TEST_F(ImgCache, ASmallBudgetEvictsTheLeastRecentlyUsed) {
    // 8 x 6 pixels: 208 bytes, 232 with the entry; four fit in 1024.
    Modules m{{"MID", {}}};
    for (int i = 0; i < 6; ++i) m[0].bitmaps.push_back(Bmp(8, 6, 40 + i));
    const std::wstring path = Write(L"kestoimg.img", FileBytes(m));
    ASSERT_EQ(IMG_Init(1), 0);
    for (short i : {0, 1, 2, 3, 0, 4, 2, 5}) ASSERT_NE(IMG_GetFromCache(L"MID", i, nullptr), nullptr) << i;
    Hide(path);
    EXPECT_TRUE(Cached(L"MID", 0));
    EXPECT_FALSE(Cached(L"MID", 1));
    EXPECT_TRUE(Cached(L"MID", 2));
    EXPECT_FALSE(Cached(L"MID", 3));
    EXPECT_TRUE(Cached(L"MID", 4));
    EXPECT_TRUE(Cached(L"MID", 5));
}

TEST_F(ImgCache, AnImageLargerThanTheCacheIsDrawnFromTheFile) {
    Modules m{{"HUGE", {Bmp(40, 40, 7)}}};  // 6416 bytes
    const std::wstring path = Write(L"kestoimg.img", FileBytes(m));
    ASSERT_EQ(IMG_Init(2), 0);
    EXPECT_EQ(IMG_GetFromCache(L"HUGE", 0, nullptr), nullptr);
    GRAF_CanvasSize(200, 100);
    ASSERT_EQ(IMG_Show(L"HUGE", 0, 10, 20, 0), 0);
    ExpectDrawn(7, 40, 40, 10, 20);
}

TEST_F(ImgCache, ListToCacheBringsInTheListedImagesThatExist) {
    const std::wstring path = Write(L"kestoimg.img", FileBytes(Standard()));
    ASSERT_EQ(IMG_Init(64), 0);
    IMG_ListToCache(L"BETA", 3, 99, 5, -1);
    IMG_ListToCache(L"NOSUCH", 1, 2, -1);
    IMG_ListToCache(L"ALPHA", -1);
    IMG_LABEL labels[3] = {{0, 2}, {7, 0}, {0, -1}};
    IMG_LabelsToCache(labels, 3);
    Hide(path);
    for (short i = 0; i < 10; ++i) EXPECT_EQ(Cached(L"BETA", i), i == 3 || i == 5) << i;
    EXPECT_TRUE(Cached(L"ALPHA", 2));
    EXPECT_FALSE(Cached(L"ALPHA", 0));
}

TEST_F(ImgCache, FlushFunctionsDropJustTheirImages) {
    const std::wstring path = Write(L"kestoimg.img", FileBytes(Standard()));
    ASSERT_EQ(IMG_Init(64), 0);
    IMG_ListToCache(L"ALPHA", 0, 1, 2, -1);
    IMG_ListToCache(L"BETA", 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, -1);

    IMG_FlushList(L"BETA", 1, 2, 99, -1);
    IMG_LABEL labels[2] = {{1, 3}, {1, 4}};
    IMG_FlushLabels(labels, 2);
    IMG_FlushModule(L"ALPHA");
    Hide(path);
    for (short i = 0; i < 3; ++i) EXPECT_FALSE(Cached(L"ALPHA", i)) << i;
    for (short i = 0; i < 10; ++i) EXPECT_EQ(Cached(L"BETA", i), i == 0 || i >= 5) << i;
}

TEST_F(ImgCache, TheSampleImageFileOfTheBuild) {
    const std::wstring path = kuttest::BinaryDir() + kuttest::kSep + L"data" + kuttest::kSep + L"kestoimg.img";
    ASSERT_TRUE(kuttest::Exists(path));
    IMG_SetImgPathFileName(path.c_str());
    for (const wchar_t* module : {L"ARROWS", L"ICONS", L"SHAPES"}) {
        EXPECT_EQ(IMG_CreateLabel(module, 3, nullptr), 0) << module;
        EXPECT_EQ(IMG_CreateLabel(module, 4, nullptr), -1) << module;
    }
    short w = 0, h = 0;
    EXPECT_EQ(IMG_ImgSize(L"SHAPES", 1, &w, &h), 0);
    EXPECT_EQ(w, 31);
    EXPECT_EQ(h, 11);
    EXPECT_EQ(IMG_ImgSize(L"SHAPES", 0, &w, &h), 0);
    EXPECT_EQ(w, 48);
    EXPECT_EQ(h, 32);
    GRAF_CanvasSize(200, 100);
    ASSERT_EQ(IMG_Show(L"ARROWS", 0, 20, 30, 0), 0);  // a blue arrow pointing right
    EXPECT_EQ(GRAF_CanvasPixel(20 + 4, 30 + 7), 0x2050D0);
    EXPECT_EQ(GRAF_CanvasPixel(20 + 13, 30 + 8), 0x2050D0);
    EXPECT_EQ(GRAF_CanvasPixel(20 + 1, 30 + 1), 0xFFFFFF);
    ASSERT_EQ(IMG_Show(L"SHAPES", 1, 100, 50, 1), 0);  // the framed bar, centred
    EXPECT_EQ(GRAF_CanvasPixel(85, 45), 0x000000);
    EXPECT_EQ(GRAF_CanvasPixel(86, 46), 0xD02020);
    EXPECT_EQ(GRAF_CanvasPixel(115, 55), 0x000000);
    EXPECT_EQ(GRAF_CanvasPixel(114, 54), 0x20A040);
}

}  // namespace
