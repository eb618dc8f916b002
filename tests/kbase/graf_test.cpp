// BMP reading and the drawing canvas of the kbase stand-in.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imgfile.h"
#include "kbase/graf.h"
#include "testutil.h"

namespace {

using kuttools::Bitmap;

// A picture whose every pixel differs from its neighbours, in at most
// `colours` colours (so that indexed depths can hold it).
Bitmap Picture(int w, int h, int colours) {
    Bitmap b{w, h, {}};
    for (int i = 0; i < w * h; ++i) {
        const std::uint32_t k = static_cast<std::uint32_t>((i % w + 3 * (i / w)) % colours);
        b.pixels.push_back(colours == 2 ? (k ? 0xFFFFFFu : 0u) : (k * 0x0F1B27u + 0x102030u) & 0xFFFFFFu);
    }
    return b;
}

std::string Encode(const Bitmap& b, int bpp, bool topDown = false) {
    std::string bytes, error;
    EXPECT_TRUE(kuttools::EncodeBmp(b, bpp, topDown, &bytes, &error)) << error;
    return bytes;
}

// `s` with `bytes` little-endian bytes of v at `at`.
std::string With(std::string s, std::size_t at, std::uint32_t v, std::size_t bytes = 4) {
    const char le[] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
    return s.replace(at, bytes, le, bytes);
}

std::vector<unsigned char> Load(FILE* f) {
    const int n = GRAF_BMP_Size(f);
    std::vector<unsigned char> mem(static_cast<std::size_t>(n > 0 ? n : 0));
    if (n <= 0 || GRAF_BMP_Load(f, mem.data()) != 0) mem.clear();
    return mem;
}

std::uint32_t PixelOf(const std::vector<unsigned char>& obj, int x, int y) {
    std::uint32_t p;
    const std::size_t at = static_cast<std::size_t>(y) * GRAF_BMP_Info(obj.data())->width + x;
    std::memcpy(&p, obj.data() + sizeof(GRAF_BMP_INFO) + 4 * at, 4);
    return p;
}

// Bitmaps are read from streams on files in a fresh folder.
class Bmp : public ::testing::Test {
protected:
    void TearDown() override {
        for (FILE* f : files) std::fclose(f);
    }
    // A stream holding `prefix` bytes of garbage, `bytes` and `after`, positioned on `bytes`.
    FILE* Open(const std::string& bytes, long prefix = 0, const std::string& after = "") {
        const std::wstring path = dir.file(std::to_wstring(files.size()));
        EXPECT_TRUE(kuttest::WriteFile(path, std::string(static_cast<std::size_t>(prefix), 'x') + bytes + after));
        files.push_back(std::fopen(kuttest::Narrow(path).c_str(), "rb"));
        EXPECT_TRUE(files.back() && std::fseek(files.back(), prefix, SEEK_SET) == 0);
        return files.back();
    }
    kuttest::TempDir dir;
    std::vector<FILE*> files;
};
using Canvas = Bmp;

TEST_F(Bmp, EveryDepthAndRowOrderLoadsTheSamePixels) {
    for (int bpp : {1, 4, 8, 24, 32})
        for (bool topDown : {false, true})
            for (int w : {1, 7, 9, 33}) {  // every row padding
                SCOPED_TRACE(testing::Message() << bpp << " bpp, width " << w << (topDown ? " top-down" : ""));
                const Bitmap b = Picture(w, 5, bpp == 1 ? 2 : bpp == 4 ? 16 : bpp == 8 ? 200 : 1000);
                FILE* f = Open(Encode(b, bpp, topDown), 3, "yy");
                const auto obj = Load(f);
                ASSERT_EQ(obj.size(), sizeof(GRAF_BMP_INFO) + 4u * w * 5);
                const GRAF_BMP_INFO* info = GRAF_BMP_Info(obj.data());
                ASSERT_NE(info, nullptr);
                EXPECT_TRUE(info->width == w && info->height == 5 && info->bitCount == bpp && info->topDown == topDown);
                for (int i = 0; i < w * 5; ++i) ASSERT_EQ(PixelOf(obj, i % w, i / w), b.pixels[i]) << i;
                EXPECT_EQ(std::ftell(f), 3) << "the stream is left on the bitmap";
            }
    FILE* f = Open(Encode(Picture(31, 11, 1000), 24), 10);
    const GRAF_BMP_INFO* info = GRAF_BMP_FInfo(f);
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->width == 31 && info->height == 11 && info->bytes == GRAF_BMP_Size(f));
    EXPECT_EQ(std::ftell(f), 10);
    // Palette indexes beyond the declared palette draw black.
    const auto obj = Load(Open(With(Encode(Picture(4, 1, 2), 8), 14 + 32, 1)));  // black, white, black, white
    ASSERT_FALSE(obj.empty());
    EXPECT_EQ(PixelOf(obj, 0, 0) | PixelOf(obj, 1, 0), 0u);
}

TEST_F(Bmp, MalformedBitmapsFailBeforeAnythingIsAllocatedOrDrawn) {
    const std::string good = Encode(Picture(10, 6, 16), 4), good24 = Encode(Picture(10, 6, 1000), 24);
    const std::pair<const char*, std::string> bad[] = {
        {"empty", ""},                                          {"headers cut", good.substr(0, 40)},
        {"pixels cut", good.substr(0, good.size() - 1)},        {"palette cut", good.substr(0, 14 + 40 + 10)},
        {"not BM", With(good, 1, 'X', 1)},                      {"core header", With(good, 14, 12)},
        {"odd header size", With(good, 14, 64)},                {"two planes", With(good, 26, 2, 2)},
        {"16 bpp", With(good24, 28, 16, 2)},                    {"RLE", With(good, 30, 2)},
        {"zero width", With(good, 18, 0)},                      {"negative width", With(good, 18, 0xFFFFFFF6u)},
        {"zero height", With(good, 22, 0)},                     {"most negative height", With(good, 22, 0x80000000u)},
        {"side too long", With(good24, 18, GRAF_BMP_MAX_SIDE + 1)},
        {"too many pixels", With(With(good24, 18, GRAF_BMP_MAX_SIDE), 22, GRAF_BMP_MAX_SIDE)},
        {"gigabytes of rows", With(With(good24, 18, 4000), 22, 4000)},
        {"palette larger than the depth", With(good, 46, 17)},  {"pixels inside the palette", With(good, 10, 62)},
        {"pixels past the end", With(good, 10, 0xFFFFFFF0u)},
    };
    GRAF_CanvasSize(20, 20);
    for (const auto& b : bad) {
        SCOPED_TRACE(b.first);
        FILE* f = Open(b.second);
        EXPECT_EQ(GRAF_BMP_Size(f), -1);
        EXPECT_EQ(GRAF_BMP_FInfo(f), nullptr);
        std::vector<unsigned char> mem(64 * 1024, 0xEE);
        EXPECT_NE(GRAF_BMP_Load(f, mem.data()), 0);
        EXPECT_NE(GRAF_BMP_FRead(0, 0, f), 0);
        EXPECT_EQ(GRAF_CanvasPixel(0, 0), GRAF_CANVAS_BACKGROUND);
        EXPECT_EQ(std::ftell(f), 0);
    }
    const char junk[64] = {1, 2, 3};
    EXPECT_TRUE(!GRAF_BMP_FInfo(nullptr) && GRAF_BMP_Size(nullptr) == -1 && !GRAF_BMP_Info(nullptr));
    EXPECT_TRUE(!GRAF_BMP_Info(junk) && GRAF_BMP_Show(0, 0, junk) == -1);
}

// Drawing clips at every side; the saved canvas reads back pixel for pixel.
TEST_F(Canvas, DrawsClipsAndSaves) {
    const Bitmap b = Picture(5, 4, 1000);
    const auto obj = Load(Open(Encode(b, 24)));
    ASSERT_FALSE(obj.empty());
    ASSERT_EQ(GRAF_CanvasSize(10, 9), 0);
    ASSERT_EQ(GRAF_BMP_Show(-2, -1, obj.data()), 0);
    ASSERT_EQ(GRAF_BMP_FRead(7, 6, Open(Encode(b, 32, true))), 0);
    for (int i = 0; i < 90; ++i) {
        const int x = i % 10, y = i / 10, at = x < 5 ? (y + 1) * 5 + x + 2 : (y - 6) * 5 + x - 7;
        const bool drawn = x < 5 ? x < 3 && y < 3 : x >= 7 && y >= 6;
        ASSERT_EQ(static_cast<std::uint32_t>(GRAF_CanvasPixel(static_cast<short>(x), static_cast<short>(y))),
                  drawn ? b.pixels[at] : GRAF_CANVAS_BACKGROUND) << x << "," << y;
    }
    const std::wstring out = dir.file(L"canvas.bmp");
    ASSERT_EQ(GRAF_CanvasSave(out.c_str()), 0);
    std::string bytes;
    ASSERT_TRUE(kuttest::ReadFile(out, &bytes));
    const auto saved = Load(Open(bytes));
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(GRAF_BMP_Info(saved.data())->bitCount, 24);
    for (short i = 0; i < 90; ++i)
        ASSERT_EQ(PixelOf(saved, i % 10, i / 10), static_cast<std::uint32_t>(GRAF_CanvasPixel(i % 10, i / 10))) << i;
    EXPECT_EQ(GRAF_CanvasSave(dir.file(L"no/such/folder.bmp").c_str()), -1);
    EXPECT_EQ(GRAF_CanvasSave(nullptr), -1);
    // Outside the canvas nothing is read; sizes beyond the limits keep the canvas.
    EXPECT_TRUE(GRAF_CanvasPixel(10, 0) == -1 && GRAF_CanvasPixel(0, 9) == -1 && GRAF_CanvasPixel(-1, 0) == -1);
    EXPECT_TRUE(GRAF_CanvasSize(-1, 5) == -1 && GRAF_CanvasSize(5, GRAF_BMP_MAX_SIDE + 1) == -1);
    EXPECT_TRUE(GRAF_CanvasPixel(9, 8) != -1 && GRAF_CanvasPixel(10, 8) == -1);
    ASSERT_EQ(GRAF_CanvasSize(0, 0), 0);
    EXPECT_EQ(GRAF_CanvasPixel(0, 0), -1);
}

}  // namespace
