// PNG in the image tools: pixels through PNG and BMP both ways, the size
// limits, and kut img writing and reading PNG files.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "imgfile.h"
#include "pngio.h"
#include "testutil.h"

namespace {

using kuttools::Bitmap;

TEST(Png, OutputNames) {
    for (const auto& r : {std::make_pair(L"a/b.png", true), std::make_pair(L"B.PNG", true), std::make_pair(L"b.bmp", false),
                          std::make_pair(L"png", false), std::make_pair(L"x.png.bmp", false)})
        EXPECT_EQ(kuttools::IsPngName(r.first), r.second) << kuttest::Narrow(r.first);
}

#if defined(KUT_HAVE_PNG)

Bitmap Sample(int w, int h, int colours) {
    Bitmap b{w, h, {}};
    for (int i = 0; i < w * h; ++i)
        b.pixels.push_back(static_cast<std::uint32_t>((i * 2654435761u) % colours) * 0x10305 & 0xFFFFFF);
    return b;
}

bool Same(const Bitmap& a, const Bitmap& b) { return a.width == b.width && a.height == b.height && a.pixels == b.pixels; }

TEST(Png, PixelsSurviveEveryRoute) {
    const struct {
        int w, h, colours, bmpDepth;
        bool topDown;
    } rows[] = {{1, 1, 1, 24, false},    {7, 3, 2, 1, false},       {9, 5, 16, 4, true},
                {33, 17, 200, 8, false}, {31, 2, 100000, 24, true}, {5, 6, 100000, 32, false}};
    for (const auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.w) + "x" + std::to_string(r.h) + " " + std::to_string(r.bmpDepth) + " bpp");
        const Bitmap in = Sample(r.w, r.h, r.colours);
        std::string bmp, png, error, back;
        Bitmap fromBmp, fromPng;
        ASSERT_TRUE(kuttools::EncodeBmp(in, r.bmpDepth, r.topDown, &bmp, &error)) << error;
        ASSERT_TRUE(kuttools::DecodeBmp(bmp, &fromBmp, &error)) << error;
        EXPECT_TRUE(Same(fromBmp, in));
        ASSERT_TRUE(kuttools::EncodePng(fromBmp, &png, &error)) << error;
        EXPECT_EQ(png.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
        ASSERT_TRUE(kuttools::DecodePng(png, &fromPng, &error)) << error;
        EXPECT_TRUE(Same(fromPng, in));
        ASSERT_TRUE(kuttools::PngToBmp(png, &back, &error) && kuttools::DecodeBmp(back, &fromBmp, &error)) << error;
        EXPECT_EQ(fromBmp.pixels, in.pixels);
    }
}

std::uint32_t Crc(const std::string& bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}
std::string Be(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}
// A PNG signature, a well-formed IHDR of the given size and an empty IDAT:
// enough for a reader to learn the size before it allocates, no pixels.
std::string Header(std::uint32_t w, std::uint32_t h) {
    const std::string body = "IHDR" + Be(w) + Be(h) + std::string("\x08\x02\x00\x00\x00", 5);
    return "\x89PNG\r\n\x1a\n" + Be(13) + body + Be(Crc(body)) + Be(0) + "IDAT" + Be(Crc("IDAT"));
}

TEST(Png, RefusesWhatTheLibraryCouldNotHold) {
    std::string bmp, error;
    ASSERT_TRUE(kuttools::EncodeBmp(Sample(4, 4, 3), 8, false, &bmp, &error));
    const struct {
        bool png;
        std::string bytes;
        const char* error;
    } rows[] = {
        {true, Header(16385, 1), "16384"},
        {true, Header(8192, 4096), "16M"},
        {true, "GIF89a and more bytes than a header", "not a PNG"},
        {true, Header(4, 4), "PNG"},
        {true, "", "not a PNG"},
        {false, "BM short", ""},
        {false, bmp.substr(0, bmp.size() - 1), "cut short"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.error);
        Bitmap b;
        error.clear();
        EXPECT_FALSE(r.png ? kuttools::DecodePng(r.bytes, &b, &error) : kuttools::DecodeBmp(r.bytes, &b, &error));
        EXPECT_NE(error.find(r.error), std::string::npos) << error;
    }
}

class Tool : public ::testing::Test {
protected:
    int Kut(const std::vector<std::string>& args) {
        const kuttest::Ran r = kuttest::RunKut(args, m_tmp.path());
        m_err = r.err;
        return r.status;
    }
    std::string Q(const wchar_t* name) { return kuttest::Narrow(m_tmp.file(name)); }
    Bitmap Read(const wchar_t* name) {
        std::string error;
        Bitmap b;
        const std::string bytes = kuttest::Read(m_tmp.file(name));
        EXPECT_TRUE(kuttools::IsPngName(name) ? kuttools::DecodePng(bytes, &b, &error) : kuttools::DecodeBmp(bytes, &b, &error))
            << kuttest::Narrow(name) << ": " << error;
        return b;
    }
    std::string m_image = kuttest::Narrow(kuttest::BinaryDir() + kuttest::kSep + L"data" + kuttest::kSep + L"kestoimg.img");
    kuttest::TempDir m_tmp;
    std::string m_err;
};

TEST_F(Tool, ExtractAndSheetWritePngAndBuildReadsIt) {
    // Image 2 of ARROWS is 8 bpp, image 3 1 bpp: palettes on the way.
    for (const char* n : {"2", "3"}) {
        SCOPED_TRACE(n);
        ASSERT_EQ(Kut({"img", "extract", "ARROWS", n, Q(L"a.bmp"), "--file", m_image}), 0) << m_err;
        ASSERT_EQ(Kut({"img", "extract", "ARROWS", n, Q(L"a.PNG"), "--file", m_image}), 0) << m_err;
        EXPECT_TRUE(Same(Read(L"a.PNG"), Read(L"a.bmp")));
    }
    ASSERT_EQ(Kut({"img", "sheet", "SHAPES", Q(L"s.bmp"), "--file", m_image}), 0) << m_err;
    ASSERT_EQ(Kut({"img", "sheet", "SHAPES", Q(L"s.png"), "--file", m_image}), 0) << m_err;
    const Bitmap sheet = Read(L"s.png");
    EXPECT_EQ(sheet.pixels, Read(L"s.bmp").pixels);
    EXPECT_FALSE(kuttest::Exists(m_tmp.file(L"s.png.kut-tmp.bmp")));

    // A module folder of PNG and BMP sources; the stored bitmaps show the same pixels.
    const std::wstring mix = m_tmp.file(L"src") + kuttest::kSep + L"MIX" + kuttest::kSep;
    kuttest::MakeDir(mix);
    ASSERT_TRUE(kuttest::WriteFile(mix + L"0.png", kuttest::Read(m_tmp.file(L"s.png"))));
    ASSERT_TRUE(kuttest::WriteFile(mix + L"1.bmp", kuttest::Read(m_tmp.file(L"a.bmp"))));
    ASSERT_EQ(Kut({"img", "build", Q(L"src"), Q(L"o.img")}), 0) << m_err;
    ASSERT_EQ(Kut({"img", "extract", "MIX", "0", Q(L"back.bmp"), "--file", Q(L"o.img")}), 0) << m_err;
    EXPECT_EQ(Read(L"back.bmp").pixels, sheet.pixels);
    ASSERT_TRUE(kuttest::WriteFile(mix + L"2.png", "not a png"));
    EXPECT_EQ(Kut({"img", "build", Q(L"src"), Q(L"o2.img")}), 1);
    EXPECT_NE(m_err.find("2.png: not a PNG"), std::string::npos) << m_err;
}

#endif

}  // namespace
