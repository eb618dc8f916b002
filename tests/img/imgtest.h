// Image files for the image-cache tests, made from known pictures.
#ifndef KUT_TESTS_IMGTEST_H
#define KUT_TESTS_IMGTEST_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imgfile.h"
#include "testutil.h"

namespace imgtest {

using Modules = std::vector<kuttools::ImgModuleSource>;

// Pixel (x, y) of the picture tagged `tag`: every tag and position differ.
std::uint32_t Colour(int tag, int x, int y);
kuttools::Bitmap Picture(int w, int h, int tag);
std::string Bmp(int w, int h, int tag, int bpp = 24, bool topDown = false);
std::string FileBytes(const Modules& modules);
// Where the position of image `image` of module `module` is stored.
std::size_t EntryAt(const Modules& modules, int module, int image);
void Put32(std::string* s, std::size_t at, std::uint32_t v);

// ALPHA: 8 x 8 (tag 1), 31 x 11 (tag 2), 5 x 3 (tag 3);
// BETA: ten 4 x 4 pictures, tags 10 to 19.
Modules Standard();

// Each test gets a folder of kind 2 and closes the image cache at the end.
class ImgTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Writes a file into the folder of kind 2.
    std::wstring Write(const std::wstring& name, const std::string& bytes);
    // Moves the file away: from then on only cached images can be had.
    void Hide(const std::wstring& path);
    // Whether an image is in the object cache (once the file is hidden).
    static bool Cached(const wchar_t* module, short image);

    kuttest::TempDir m_dir;
};

}  // namespace imgtest

#endif
