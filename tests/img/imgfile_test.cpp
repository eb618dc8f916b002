#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "imgfile.h"
#include "imgtest.h"
#include "kbase/kbase.h"
#include "kut/img.h"

namespace {

using imgtest::Bmp;
using imgtest::Modules;
using kuttest::kSep;

class ImgFile : public imgtest::ImgTest {
protected:
    // A source folder with one subfolder per module; files are named so that
    // their byte order is the image order.
    std::wstring MakeSource(const Modules& modules) {
        const std::wstring root = m_src.path();
        for (const auto& m : modules) {
            const std::wstring dir = root + kSep + kuttest::Widen(m.name);
            kuttest::MakeDir(dir);
            for (std::size_t i = 0; i < m.bitmaps.size(); ++i) {
                const std::wstring name = std::wstring(1, static_cast<wchar_t>(L'a' + i)) + L"_pic.BMP";
                EXPECT_TRUE(kuttest::WriteFile(dir + kSep + name, m.bitmaps[i]));
            }
        }
        return root;
    }
    kuttest::TempDir m_src;
};

TEST_F(ImgFile, BuildListAndExtractRoundTrip) {
    const Modules modules{{"ALPHA", {Bmp(8, 8, 1), Bmp(31, 11, 2, 32), Bmp(5, 3, 3, 8, true)}},
                          {"BETA", {Bmp(4, 4, 10, 4)}}};
    const std::wstring src = MakeSource(modules);
    kuttest::WriteFile(src + kSep + L"ALPHA" + kSep + L"notes.txt", "not an image");
    const std::wstring out = m_dir.file(L"built.img");
    std::string error;
    ASSERT_TRUE(kuttools::BuildImageFile(src, out, &error)) << error;
    std::string built;
    ASSERT_TRUE(kuttest::ReadFile(out, &built));
    EXPECT_EQ(built, imgtest::FileBytes(modules));

    std::vector<kuttools::ImgModuleInfo> list;
    ASSERT_TRUE(kuttools::ListImageFile(out, &list, &error)) << error;
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "ALPHA");
    ASSERT_EQ(list[0].images.size(), 3u);
    EXPECT_EQ(list[0].images[1].width, 31);
    EXPECT_EQ(list[0].images[1].height, 11);
    EXPECT_EQ(list[0].images[1].bitCount, 32);
    EXPECT_EQ(list[0].images[1].memoryBytes, 16 + 31 * 11 * 4);
    EXPECT_EQ(list[0].images[1].fileBytes, static_cast<std::int64_t>(modules[0].bitmaps[1].size()));
    EXPECT_EQ(list[1].images[0].bitCount, 4);
    const std::string text = kuttools::FormatListing(list);
    EXPECT_NE(text.find("ALPHA   3 images"), std::string::npos) << text;
    EXPECT_NE(text.find("31 x 11"), std::string::npos) << text;

    const std::wstring bmp = m_dir.file(L"x.bmp");
    ASSERT_TRUE(kuttools::ExtractImage(out, "ALPHA", 2, bmp, &error)) << error;
    std::string extracted;
    ASSERT_TRUE(kuttest::ReadFile(bmp, &extracted));
    EXPECT_EQ(extracted, modules[0].bitmaps[2]);
    EXPECT_FALSE(kuttools::ExtractImage(out, "ALPHA", 3, bmp, &error));
    EXPECT_NE(error.find("no image 3"), std::string::npos) << error;
    EXPECT_FALSE(kuttools::ExtractImage(out, "GAMMA", 0, bmp, &error));
    EXPECT_NE(error.find("no module GAMMA"), std::string::npos) << error;
}

TEST_F(ImgFile, BuildRefusesWhatTheLibraryCouldNotRead) {
    std::string error;
    const std::wstring out = m_dir.file(L"o.img");
    EXPECT_FALSE(kuttools::BuildImageFile(m_dir.file(L"absent"), out, &error));
    EXPECT_FALSE(error.empty());

    {
        kuttest::TempDir src;
        kuttest::MakeDir(src.file(L"EIGHTCHR"));
        kuttest::WriteFile(src.file(L"EIGHTCHR") + kSep + L"a.bmp", Bmp(2, 2, 1));
        EXPECT_FALSE(kuttools::BuildImageFile(src.path(), out, &error));
        EXPECT_NE(error.find("EIGHTCHR"), std::string::npos) << error;
    }
    {
        kuttest::TempDir src;
        kuttest::MakeDir(src.file(L"EMPTY"));
        EXPECT_FALSE(kuttools::BuildImageFile(src.path(), out, &error));
        EXPECT_NE(error.find("EMPTY"), std::string::npos) << error;
    }
    {
        kuttest::TempDir src;
        kuttest::MakeDir(src.file(L"M"));
        kuttest::WriteFile(src.file(L"M") + kSep + L"a.bmp", Bmp(2, 2, 1));
        kuttest::WriteFile(src.file(L"M") + kSep + L"b.bmp", "BM but nothing else");
        EXPECT_FALSE(kuttools::BuildImageFile(src.path(), out, &error));
        EXPECT_NE(error.find("image 1 of module M"), std::string::npos) << error;
        EXPECT_FALSE(kuttest::Exists(out)) << "no half-good file is left behind";
    }
}

TEST_F(ImgFile, ListingACutIndexFailsAndUnreadableImagesShowAsSuch) {
    Modules modules{{"M", {Bmp(2, 2, 1), Bmp(3, 3, 2)}}};
    std::string bytes = imgtest::FileBytes(modules);
    std::string error;
    std::vector<kuttools::ImgModuleInfo> list;
    const std::wstring cut = Write(L"cut.img", bytes.substr(0, 20));
    EXPECT_FALSE(kuttools::ListImageFile(cut, &list, &error));
    EXPECT_NE(error.find("image table of module M"), std::string::npos) << error;

    imgtest::Put32(&bytes, imgtest::EntryAt(modules, 0, 1), static_cast<std::uint32_t>(bytes.size() + 5));
    const std::wstring past = Write(L"past.img", bytes);
    ASSERT_TRUE(kuttools::ListImageFile(past, &list, &error)) << error;
    EXPECT_EQ(list[0].images[0].width, 2);
    EXPECT_EQ(list[0].images[1].memoryBytes, 0);
    EXPECT_NE(kuttools::FormatListing(list).find("unreadable"), std::string::npos);
}

TEST_F(ImgFile, ASheetShowsTheImagesSideBySideWithGaps) {
    const Modules modules{{"M", {Bmp(3, 2, 1), Bmp(4, 5, 2), Bmp(2, 2, 3)}}};
    const std::wstring img = Write(L"s.img", imgtest::FileBytes(modules));
    const std::wstring sheet = m_dir.file(L"sheet.bmp");
    std::string error;
    // Two per row, 1-pixel gaps: row one holds images 0 and 1, row two image 2.
    ASSERT_TRUE(kuttools::RenderSheet(img, "M", sheet, 2, 1, &error)) << error;
    EXPECT_EQ(IMG_CreateLabel(L"M", 0, nullptr), -1) << "the sheet closes the image cache";

    std::string bytes;
    ASSERT_TRUE(kuttest::ReadFile(sheet, &bytes));
    const std::wstring copy = Write(L"sheet-copy.bmp", bytes);
    std::FILE* f = std::fopen(kuttest::Narrow(copy).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    GRAF_CanvasSize(20, 20);
    const GRAF_BMP_INFO* info = GRAF_BMP_FInfo(f);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->width, 1 + 3 + 1 + 4 + 1);
    EXPECT_EQ(info->height, 1 + 5 + 1 + 2 + 1);
    ASSERT_EQ(GRAF_BMP_FRead(0, 0, f), 0);
    std::fclose(f);
    EXPECT_EQ(static_cast<unsigned>(GRAF_CanvasPixel(1, 1)), imgtest::Colour(1, 0, 0));
    EXPECT_EQ(static_cast<unsigned>(GRAF_CanvasPixel(3, 2)), imgtest::Colour(1, 2, 1));
    EXPECT_EQ(static_cast<unsigned>(GRAF_CanvasPixel(5, 1)), imgtest::Colour(2, 0, 0));
    EXPECT_EQ(static_cast<unsigned>(GRAF_CanvasPixel(8, 5)), imgtest::Colour(2, 3, 4));
    EXPECT_EQ(static_cast<unsigned>(GRAF_CanvasPixel(1, 7)), imgtest::Colour(3, 0, 0));
    EXPECT_EQ(GRAF_CanvasPixel(0, 0), GRAF_CANVAS_BACKGROUND);
    EXPECT_EQ(GRAF_CanvasPixel(2, 4), GRAF_CANVAS_BACKGROUND) << "below the shorter first image";

    EXPECT_FALSE(kuttools::RenderSheet(img, "NONE", sheet, 0, 1, &error));
    EXPECT_NE(error.find("NONE"), std::string::npos) << error;
}

}  // namespace
