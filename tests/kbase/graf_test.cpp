#include <gtest/gtest.h>

#include <algorithm>
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

// A picture whose every pixel differs from its neighbours, in `colours`
// colours at most (so indexed depths can hold it).
Bitmap Picture(int w, int h, int colours) {
    Bitmap b;
    b.width = w;
    b.height = h;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint32_t k = static_cast<std::uint32_t>((x + 3 * y) % colours);
            b.pixels.push_back(colours == 2 ? (k ? 0xFFFFFFu : 0u) : (k * 0x0F1B27u + 0x102030u) & 0xFFFFFFu);
        }
    }
    return b;
}

std::string Encode(const Bitmap& b, int bpp, bool topDown) {
    std::string bytes, error;
    EXPECT_TRUE(kuttools::EncodeBmp(b, bpp, topDown, &bytes, &error)) << error;
    return bytes;
}

void Put32(std::string* s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>(v >> (8 * i));
}
void Put16(std::string* s, std::size_t at, unsigned v) {
    (*s)[at] = static_cast<char>(v);
    (*s)[at + 1] = static_cast<char>(v >> 8);
}

// A stream holding `prefix` garbage bytes, then the bitmap, then `suffix`
// bytes, positioned on the bitmap.
class Stream {
public:
    Stream(const std::string& bmp, std::size_t prefix = 0, std::size_t suffix = 0) {
        const std::wstring path = m_dir.file(L"b.bmp");
        EXPECT_TRUE(kuttest::WriteFile(path, std::string(prefix, 'x') + bmp + std::string(suffix, 'y')));
        m_f = std::fopen(kuttest::Narrow(path).c_str(), "rb");
        EXPECT_NE(m_f, nullptr);
        std::fseek(m_f, static_cast<long>(prefix), SEEK_SET);
    }
    ~Stream() {
        if (m_f) std::fclose(m_f);
    }
    FILE* get() const { return m_f; }

private:
    kuttest::TempDir m_dir;
    FILE* m_f = nullptr;
};

std::vector<unsigned char> Load(FILE* f) {
    const int n = GRAF_BMP_Size(f);
    if (n <= 0) return {};
    std::vector<unsigned char> mem(static_cast<std::size_t>(n));
    if (GRAF_BMP_Load(f, mem.data()) != 0) return {};
    return mem;
}

std::uint32_t PixelOf(const std::vector<unsigned char>& obj, int x, int y) {
    const auto* info = GRAF_BMP_Info(obj.data());
    std::uint32_t p;
    std::memcpy(&p, obj.data() + sizeof(GRAF_BMP_INFO) + 4 * (static_cast<std::size_t>(y) * info->width + x), 4);
    return p;
}

TEST(Bmp, EveryDepthAndRowOrderLoadsTheSamePixels) {
    struct Case {
        int bpp;
        int colours;
    };
    for (Case c : {Case{1, 2}, Case{4, 16}, Case{8, 200}, Case{24, 1000}, Case{32, 1000}}) {
        for (bool topDown : {false, true}) {
            for (int w : {1, 7, 9, 33}) {  // every row padding
                SCOPED_TRACE(testing::Message() << c.bpp << " bpp, width " << w << (topDown ? " top-down" : ""));
                const Bitmap b = Picture(w, 5, c.colours);
                Stream s(Encode(b, c.bpp, topDown), 3, 2);
                const auto obj = Load(s.get());
                ASSERT_EQ(obj.size(), sizeof(GRAF_BMP_INFO) + 4u * w * 5);
                const GRAF_BMP_INFO* info = GRAF_BMP_Info(obj.data());
                ASSERT_NE(info, nullptr);
                EXPECT_EQ(info->width, w);
                EXPECT_EQ(info->height, 5);
                EXPECT_EQ(info->bitCount, c.bpp);
                EXPECT_EQ(info->topDown, topDown ? 1 : 0);
                for (int y = 0; y < 5; ++y)
                    for (int x = 0; x < w; ++x)
                        ASSERT_EQ(PixelOf(obj, x, y), b.pixels[static_cast<std::size_t>(y) * w + x]) << x << "," << y;
                EXPECT_EQ(std::ftell(s.get()), 3) << "the stream is left on the bitmap";
            }
        }
    }
}

TEST(Bmp, FileInfoReadsTheHeaderAndLeavesTheStreamWhereItWas) {
    Stream s(Encode(Picture(31, 11, 1000), 24, false), 10);
    const GRAF_BMP_INFO* info = GRAF_BMP_FInfo(s.get());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->width, 31);
    EXPECT_EQ(info->height, 11);
    EXPECT_EQ(info->bytes, GRAF_BMP_Size(s.get()));
    EXPECT_EQ(std::ftell(s.get()), 10);
    EXPECT_EQ(GRAF_BMP_FInfo(nullptr), nullptr);
    EXPECT_EQ(GRAF_BMP_Size(nullptr), -1);
    EXPECT_EQ(GRAF_BMP_Info(nullptr), nullptr);
    const char junk[64] = {1, 2, 3};
    EXPECT_EQ(GRAF_BMP_Info(junk), nullptr);
    EXPECT_EQ(GRAF_BMP_Show(0, 0, junk), -1);
}

TEST(Bmp, PaletteIndexesBeyondThePaletteDrawBlack) {
    const Bitmap b = Picture(4, 1, 2);  // black, white, black, white: palette {black, white}
    std::string bmp = Encode(b, 8, false);
    Put32(&bmp, 14 + 32, 1);  // only the first colour is declared
    // Keep the pixel offset where it was: the second palette slot becomes padding.
    Stream s(bmp);
    const auto obj = Load(s.get());
    ASSERT_FALSE(obj.empty());
    EXPECT_EQ(PixelOf(obj, 0, 0), 0u);  // index 0 is black in this palette
    EXPECT_EQ(PixelOf(obj, 1, 0), 0u);  // index 1: beyond the palette
}

TEST(Bmp, MalformedBitmapsFailBeforeAnythingIsAllocatedOrDrawn) {
    const std::string good = Encode(Picture(10, 6, 16), 4, false);
    const std::string good24 = Encode(Picture(10, 6, 1000), 24, false);
    struct Bad {
        const char* what;
        std::string bytes;
    };
    std::vector<Bad> bad;
    auto patched = [&](const std::string& base, auto fn) {
        std::string s = base;
        fn(&s);
        return s;
    };
    bad.push_back({"empty", ""});
    bad.push_back({"headers cut", good.substr(0, 40)});
    bad.push_back({"pixels cut", good.substr(0, good.size() - 1)});
    bad.push_back({"palette cut", good.substr(0, 14 + 40 + 10)});
    bad.push_back({"not BM", patched(good, [](std::string* s) { (*s)[1] = 'X'; })});
    bad.push_back({"core header", patched(good, [](std::string* s) { Put32(s, 14, 12); })});
    bad.push_back({"odd header size", patched(good, [](std::string* s) { Put32(s, 14, 64); })});
    bad.push_back({"two planes", patched(good, [](std::string* s) { Put16(s, 26, 2); })});
    bad.push_back({"16 bpp", patched(good24, [](std::string* s) { Put16(s, 28, 16); })});
    bad.push_back({"RLE", patched(good, [](std::string* s) { Put32(s, 30, 2); })});
    bad.push_back({"zero width", patched(good, [](std::string* s) { Put32(s, 18, 0); })});
    bad.push_back({"negative width", patched(good, [](std::string* s) { Put32(s, 18, static_cast<std::uint32_t>(-10)); })});
    bad.push_back({"zero height", patched(good, [](std::string* s) { Put32(s, 22, 0); })});
    bad.push_back({"most negative height", patched(good, [](std::string* s) { Put32(s, 22, 0x80000000u); })});
    bad.push_back({"side too long", patched(good24, [](std::string* s) { Put32(s, 18, GRAF_BMP_MAX_SIDE + 1); })});
    bad.push_back({"too many pixels", patched(good24, [](std::string* s) {
                       Put32(s, 18, GRAF_BMP_MAX_SIDE);
                       Put32(s, 22, GRAF_BMP_MAX_SIDE);
                   })});
    bad.push_back({"gigabytes of rows", patched(good24, [](std::string* s) {
                       Put32(s, 18, 4000);
                       Put32(s, 22, 4000);
                   })});
    bad.push_back({"palette larger than the depth", patched(good, [](std::string* s) { Put32(s, 46, 17); })});
    bad.push_back({"pixels inside the palette", patched(good, [](std::string* s) { Put32(s, 10, 14 + 40 + 8); })});
    bad.push_back({"pixels past the end", patched(good, [](std::string* s) { Put32(s, 10, 0xFFFFFFF0u); })});

    GRAF_CanvasSize(20, 20);
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.what);
        Stream s(b.bytes);
        EXPECT_EQ(GRAF_BMP_Size(s.get()), -1);
        EXPECT_EQ(GRAF_BMP_FInfo(s.get()), nullptr);
        std::vector<unsigned char> mem(64 * 1024, 0xEE);
        EXPECT_NE(GRAF_BMP_Load(s.get(), mem.data()), 0);
        EXPECT_NE(GRAF_BMP_FRead(0, 0, s.get()), 0);
        EXPECT_EQ(GRAF_CanvasPixel(0, 0), GRAF_CANVAS_BACKGROUND);
        EXPECT_EQ(std::ftell(s.get()), 0);
    }
}

// Damaged headers: whatever size is claimed, loading into exactly that many
// bytes stays inside them (the sanitizer build catches an overrun).
TEST(Bmp, RandomlyDamagedHeadersStayWithinTheClaimedSize) {
    const std::string seeds[] = {Encode(Picture(9, 5, 2), 1, false), Encode(Picture(6, 4, 16), 4, true),
                                 Encode(Picture(7, 3, 200), 8, false), Encode(Picture(5, 5, 1000), 24, true),
                                 Encode(Picture(3, 2, 1000), 32, false)};
    std::uint32_t rng = 12345;
    auto next = [&]() { return rng = rng * 1103515245u + 12345u, rng >> 8; };
    // All variants go into one file, back to back: a bitmap is read from the
    // stream's position, with the rest of the file after it.
    std::string all;
    std::vector<long> starts;
    for (int round = 0; round < 3000; ++round) {
        std::string bmp = seeds[round % 5];
        const int flips = 1 + static_cast<int>(next() % 4);
        for (int i = 0; i < flips; ++i) {
            const std::size_t at = next() % std::min<std::size_t>(bmp.size(), 14 + 40 + 64);
            bmp[at] = static_cast<char>(next() % 3 == 0 ? 0xFF : next());
        }
        if (next() % 4 == 0) bmp.resize(next() % bmp.size());
        starts.push_back(static_cast<long>(all.size()));
        all += bmp;
    }
    kuttest::TempDir dir;
    const std::wstring path = dir.file(L"d.bmp");
    ASSERT_TRUE(kuttest::WriteFile(path, all));
    FILE* f = std::fopen(kuttest::Narrow(path).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    int accepted = 0;
    GRAF_CanvasSize(16, 16);
    for (long start : starts) {
        ASSERT_EQ(std::fseek(f, start, SEEK_SET), 0);
        const int size = GRAF_BMP_Size(f);
        ASSERT_LE(size, static_cast<int>(sizeof(GRAF_BMP_INFO)) + 4 * GRAF_BMP_MAX_PIXELS);
        if (size > 0) {
            ++accepted;
            std::vector<unsigned char> mem(static_cast<std::size_t>(size));
            if (GRAF_BMP_Load(f, mem.data()) == 0) {
                const GRAF_BMP_INFO* info = GRAF_BMP_Info(mem.data());
                ASSERT_NE(info, nullptr);
                EXPECT_EQ(info->bytes, size);
                EXPECT_EQ(GRAF_BMP_Show(3, 3, mem.data()), 0);
            }
            GRAF_BMP_FRead(-2, -2, f);
        }
        EXPECT_EQ(std::ftell(f), start);
    }
    std::fclose(f);
    EXPECT_GT(accepted, 100) << "the damage should leave many bitmaps readable";
}

TEST(Canvas, DrawingPutsTheTopLeftPixelAtThePointAndClips) {
    const Bitmap b = Picture(5, 4, 1000);
    Stream s(Encode(b, 24, false));
    const auto obj = Load(s.get());
    ASSERT_FALSE(obj.empty());
    struct At {
        short x, y;
    };
    for (At at : {At{3, 2}, At{-2, -1}, At{8, 7}, At{-10, 0}, At{10, 10}}) {
        for (bool fromStream : {false, true}) {
            SCOPED_TRACE(testing::Message() << at.x << "," << at.y << (fromStream ? " from the stream" : ""));
            ASSERT_EQ(GRAF_CanvasSize(10, 9), 0);
            ASSERT_EQ(fromStream ? GRAF_BMP_FRead(at.x, at.y, s.get()) : GRAF_BMP_Show(at.x, at.y, obj.data()), 0);
            for (short y = 0; y < 9; ++y) {
                for (short x = 0; x < 10; ++x) {
                    const int ix = x - at.x, iy = y - at.y;
                    const bool inside = ix >= 0 && iy >= 0 && ix < 5 && iy < 4;
                    const std::uint32_t want = inside ? b.pixels[static_cast<std::size_t>(iy) * 5 + ix] : static_cast<std::uint32_t>(GRAF_CANVAS_BACKGROUND);
                    ASSERT_EQ(static_cast<std::uint32_t>(GRAF_CanvasPixel(x, y)), want) << x << "," << y;
                }
            }
        }
    }
    EXPECT_EQ(GRAF_CanvasPixel(10, 0), -1);
    EXPECT_EQ(GRAF_CanvasPixel(0, 9), -1);
    EXPECT_EQ(GRAF_CanvasPixel(-1, 0), -1);
}

TEST(Canvas, SizesOutsideTheLimitsKeepTheCanvas) {
    ASSERT_EQ(GRAF_CanvasSize(3, 2), 0);
    EXPECT_EQ(GRAF_CanvasSize(-1, 5), -1);
    EXPECT_EQ(GRAF_CanvasSize(5, GRAF_BMP_MAX_SIDE + 1), -1);
    EXPECT_EQ(GRAF_CanvasPixel(2, 1), GRAF_CANVAS_BACKGROUND);
    EXPECT_EQ(GRAF_CanvasPixel(3, 1), -1);
    ASSERT_EQ(GRAF_CanvasSize(0, 0), 0);
    EXPECT_EQ(GRAF_CanvasPixel(0, 0), -1);
}

TEST(Canvas, SavedCanvasReadsBackPixelForPixel) {
    const Bitmap b = Picture(7, 3, 1000);
    Stream s(Encode(b, 32, true));
    ASSERT_EQ(GRAF_CanvasSize(9, 5), 0);
    ASSERT_EQ(GRAF_BMP_FRead(1, 1, s.get()), 0);
    kuttest::TempDir dir;
    const std::wstring out = dir.file(L"canvas.bmp");
    ASSERT_EQ(GRAF_CanvasSave(out.c_str()), 0);
    std::string bytes;
    ASSERT_TRUE(kuttest::ReadFile(out, &bytes));
    Stream back(bytes);
    const auto obj = Load(back.get());
    ASSERT_FALSE(obj.empty());
    EXPECT_EQ(GRAF_BMP_Info(obj.data())->bitCount, 24);
    for (short y = 0; y < 5; ++y)
        for (short x = 0; x < 9; ++x)
            ASSERT_EQ(PixelOf(obj, x, y), static_cast<std::uint32_t>(GRAF_CanvasPixel(x, y))) << x << "," << y;
    EXPECT_EQ(GRAF_CanvasSave(dir.file(L"no/such/folder.bmp").c_str()), -1);
    EXPECT_EQ(GRAF_CanvasSave(nullptr), -1);
}

}  // namespace
