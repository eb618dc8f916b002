#include "imgtest.h"

#include <cstdio>

#include "kbase/kbase.h"
#include "kut/img.h"

namespace imgtest {

std::uint32_t Colour(int tag, int x, int y) {
    return (static_cast<std::uint32_t>(tag & 0xFF) << 16) | (static_cast<std::uint32_t>(x & 0xFF) << 8) |
           static_cast<std::uint32_t>(y & 0xFF);
}

kuttools::Bitmap Picture(int w, int h, int tag) {
    kuttools::Bitmap b;
    b.width = w;
    b.height = h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.pixels.push_back(Colour(tag, x, y));
    return b;
}

std::string Bmp(int w, int h, int tag, int bpp, bool topDown) {
    std::string bytes, error;
    EXPECT_TRUE(kuttools::EncodeBmp(Picture(w, h, tag), bpp, topDown, &bytes, &error)) << error;
    return bytes;
}

std::string FileBytes(const Modules& modules) {
    std::string bytes, error;
    EXPECT_TRUE(kuttools::ImageFileBytes(modules, &bytes, &error)) << error;
    return bytes;
}

std::size_t EntryAt(const Modules& modules, int module, int image) {
    std::size_t at = 2;
    for (int m = 0; m < module; ++m) at += 14 + 8 * modules[static_cast<std::size_t>(m)].bitmaps.size();
    return at + 14 + 8 * static_cast<std::size_t>(image);
}

void Put32(std::string* s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) (*s)[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

Modules Standard() {
    Modules m(2);
    m[0].name = "ALPHA";
    m[0].bitmaps = {Bmp(8, 8, 1), Bmp(31, 11, 2, 32), Bmp(5, 3, 3, 24, true)};
    m[1].name = "BETA";
    for (int i = 0; i < 10; ++i) m[1].bitmaps.push_back(Bmp(4, 4, 10 + i));
    return m;
}

void ImgTest::SetUp() {
    REP_SetRepert(2, m_dir.path().c_str());
    GRAF_CanvasSize(200, 100);
}

void ImgTest::TearDown() {
    IMG_Close();
    REP_SetRepert(2, nullptr);
}

std::wstring ImgTest::Write(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = m_dir.file(name);
    EXPECT_TRUE(kuttest::WriteFile(path, bytes));
    return path;
}

void ImgTest::Hide(const std::wstring& path) {
    const std::string to = kuttest::Narrow(path + L".hidden");
    std::remove(to.c_str());  // Windows' rename does not replace
    ASSERT_EQ(std::rename(kuttest::Narrow(path).c_str(), to.c_str()), 0);
}

bool ImgTest::Cached(const wchar_t* module, short image) {
    return IMG_GetFromCache(module, image, nullptr) != nullptr;
}

}  // namespace imgtest
