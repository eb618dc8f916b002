#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imgtest.h"
#include "kbase/kbase.h"
#include "kut/img.h"
#if defined(KUT_TESTING)
#include "kut/testing.h"
#endif

namespace {

using imgtest::Bmp;
using imgtest::FileBytes;
using imgtest::Modules;
using imgtest::Standard;

class Img : public imgtest::ImgTest {};

TEST_F(Img, EveryFunctionBeforeInitFailsWithoutACrash) {
    short w = 7, h = 7;
    EXPECT_EQ(IMG_ImgSize(L"ALPHA", 0, &w, &h), -1);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(IMG_Show(L"ALPHA", 0, 0, 0, 1), -1);
    IMG_LABEL label{5, 5};
    EXPECT_EQ(IMG_CreateLabel(L"ALPHA", 0, &label), -1);
    EXPECT_EQ(label.module, -1);
    EXPECT_EQ(label.image, -1);
    EXPECT_EQ(IMG_CreateLabel(nullptr, 0, nullptr), -1);
    int size = 9;
    EXPECT_EQ(IMG_GetFromCache(L"ALPHA", 0, &size), nullptr);
    EXPECT_EQ(size, 0);
    char buffer[64];
    size = 9;
    EXPECT_EQ(IMG_GetFromFile(L"ALPHA", 0, nullptr, &size), -1);
    EXPECT_EQ(size, 9) << "the label fails before the size is written";
    EXPECT_EQ(IMG_GetFromFile(L"ALPHA", 0, buffer, nullptr), -1);
    IMG_ListToCache(L"ALPHA", 0, 1, -1);
    IMG_LABEL labels[2] = {{0, 0}, {0, 1}};
    IMG_LabelsToCache(labels, 2);
    IMG_Flush();
    IMG_FlushList(L"ALPHA", 0, -1);
    IMG_FlushLabels(labels, 2);
    IMG_FlushModule(L"ALPHA");
    IMG_Close();
    EXPECT_EQ(GRAF_CanvasPixel(0, 0), GRAF_CANVAS_BACKGROUND);
    EXPECT_EQ(std::wstring(IMG_File()), L"kestoimg.img");
    EXPECT_EQ(IMG_Init(64), -1) << "no kestoimg.img in the folder";
}

TEST_F(Img, TheFileIsNamedFromItsBaseInTheFolderOfKind2) {
    const std::string bytes = FileBytes(Standard());
    Write(L"abc.img", bytes);
    IMG_SetImgFileName(L"abc");
    EXPECT_EQ(std::wstring(IMG_File()), L"abc.img");
    ASSERT_EQ(IMG_Init(64), 0);
    EXPECT_EQ(IMG_CreateLabel(L"BETA", 9, nullptr), 0);

    IMG_SetImgFileName(L"");
    EXPECT_EQ(std::wstring(IMG_File()), L"kestoimg.img");
    IMG_SetImgFileName(nullptr);
    EXPECT_EQ(std::wstring(IMG_File()), L"kestoimg.img");
    EXPECT_EQ(IMG_Init(64), -1);

    // After IMG_Close the default file is used again.
    Write(L"kestoimg.img", FileBytes({{"ONLY", {Bmp(2, 2, 1)}}}));
    IMG_SetImgFileName(L"abc");
    ASSERT_EQ(IMG_Init(64), 0);
    IMG_Close();
    ASSERT_EQ(IMG_Init(64), 0);
    EXPECT_EQ(IMG_CreateLabel(L"ONLY", 0, nullptr), 0);
    EXPECT_EQ(IMG_CreateLabel(L"ALPHA", 0, nullptr), -1);
}

TEST_F(Img, ACacheOfNoMemoryStillSizesAndDrawsFromTheFile) {
    Write(L"kestoimg.img", FileBytes(Standard()));
    for (short kb : {0, -5}) {
        SCOPED_TRACE(kb);
        ASSERT_EQ(IMG_Init(kb), 0);
        int size = 5;
        EXPECT_EQ(IMG_GetFromCache(L"ALPHA", 0, &size), nullptr);
        EXPECT_EQ(size, 0);
        short w = 0, h = 0;
        EXPECT_EQ(IMG_ImgSize(L"ALPHA", 1, &w, &h), 0);
        EXPECT_EQ(w, 31);
        EXPECT_EQ(h, 11);
        EXPECT_EQ(IMG_Show(L"ALPHA", 0, 0, 0, 0), 0);
        EXPECT_EQ(static_cast<unsigned>(GRAF_CanvasPixel(7, 7)), imgtest::Colour(1, 7, 7));
    }
}

#if !defined(_WIN32)
// Whether the stream stays open shows when the file goes away under it
// (which only POSIX allows while it is open).
TEST_F(Img, OnlyACacheOfNoMemoryKeepsTheStreamOpen) {
    const std::wstring path = Write(L"kestoimg.img", FileBytes(Standard()));
    ASSERT_EQ(IMG_Init(0), 0);
    Hide(path);
    short w = 0, h = 0;
    EXPECT_EQ(IMG_ImgSize(L"BETA", 3, &w, &h), 0);
    EXPECT_EQ(w, 4);

    Write(L"kestoimg.img", FileBytes(Standard()));
    ASSERT_EQ(IMG_Init(64), 0);
    Hide(path);
    EXPECT_EQ(IMG_ImgSize(L"BETA", 3, &w, &h), -1);
    EXPECT_EQ(w, 0);
}
#endif

TEST_F(Img, SixtyFourKilobytesHoldExactly65536Bytes) {
    // 227 x 18 pixels: a 16360-byte bitmap, 16384 bytes with its cache entry.
    Modules m{{"BIG", {}}};
    for (int i = 0; i < 4; ++i) m[0].bitmaps.push_back(Bmp(227, 18, i));
    const std::wstring path = Write(L"kestoimg.img", FileBytes(m));
    int size = 0;
    ASSERT_EQ(IMG_Init(64), 0);
    ASSERT_EQ(IMG_GetFromFile(L"BIG", 0, nullptr, &size), 0);
    ASSERT_EQ(size, 16360);
    IMG_ListToCache(L"BIG", 0, 1, 2, 3, -1);
    Hide(path);
    for (short i = 0; i < 4; ++i) EXPECT_TRUE(Cached(L"BIG", i)) << i;

    kuttest::WriteFile(path, FileBytes(m));
    ASSERT_EQ(IMG_Init(63), 0);
    IMG_ListToCache(L"BIG", 0, 1, 2, 3, -1);
    Hide(path);
    EXPECT_FALSE(Cached(L"BIG", 0)) << "the first one made room for the last";
    for (short i = 1; i < 4; ++i) EXPECT_TRUE(Cached(L"BIG", i)) << i;
}

TEST_F(Img, IndexEdgeCases) {
    // No modules: an empty index.
    Write(L"empty.img", std::string("\0\0", 2));
    IMG_SetImgFileName(L"empty");
    ASSERT_EQ(IMG_Init(64), 0);
    EXPECT_EQ(IMG_CreateLabel(L"", 0, nullptr), -1);

    const Modules mods = Standard();
    std::string bytes = FileBytes(mods);
    struct Broken {
        const char* what;
        std::string bytes;
    };
    std::vector<Broken> broken;
    broken.push_back({"negative module count", std::string("\xFF\xFF", 2) + bytes.substr(2)});
    broken.push_back({"no module count", std::string("\x01", 1)});
    broken.push_back({"ends inside a module record", bytes.substr(0, 2 + 9)});
    broken.push_back({"ends inside an image table", bytes.substr(0, imgtest::EntryAt(mods, 1, 4) + 3)});
    std::string zero = bytes;
    zero[2 + 8] = 0;  // ALPHA claims no images
    zero[2 + 9] = 0;
    broken.push_back({"a module without images", zero});
    std::string negative = bytes;
    negative[2 + 8] = '\xFE';
    negative[2 + 9] = '\xFF';
    broken.push_back({"a module with -2 images", negative});

    Write(L"good.img", bytes);
    IMG_SetImgFileName(L"good");
    ASSERT_EQ(IMG_Init(64), 0);
    for (const Broken& b : broken) {
        SCOPED_TRACE(b.what);
        Write(L"bad.img", b.bytes);
        IMG_SetImgFileName(L"bad");
        EXPECT_EQ(IMG_Init(64), -1);
        EXPECT_EQ(IMG_CreateLabel(L"BETA", 9, nullptr), 0) << "the previous index stays";
    }
}

TEST_F(Img, ModuleNamesMatchExactlyAndTheFirstOfTwoWins) {
    Modules m{{"dup", {Bmp(2, 2, 1)}}, {"DUP", {Bmp(3, 3, 2)}}, {"dup", {Bmp(4, 4, 3), Bmp(5, 5, 4)}},
              {"caf\xE9", {Bmp(6, 6, 5)}}, {"SEVENCH", {Bmp(7, 7, 6)}}};
    std::string bytes = FileBytes(m);
    // An eighth name byte where the NUL should be.
    bytes[imgtest::EntryAt(m, 4, 0) - 14 + 7] = 'X';
    Write(L"kestoimg.img", bytes);
    ASSERT_EQ(IMG_Init(64), 0);
    IMG_LABEL l;
    EXPECT_EQ(IMG_CreateLabel(L"dup", 0, &l), 0);
    EXPECT_EQ(l.module, 0);
    EXPECT_EQ(IMG_CreateLabel(L"dup", 1, &l), -1) << "the first dup has one image";
    EXPECT_EQ(l.module, -1);
    EXPECT_EQ(IMG_CreateLabel(L"DUP", 0, &l), 0);
    EXPECT_EQ(l.module, 1);
    EXPECT_EQ(IMG_CreateLabel(L"Dup", 0, nullptr), -1);
    EXPECT_EQ(IMG_CreateLabel(L"caf\u00e9", 0, nullptr), -1) << "0xE9 is widened by sign extension";
    const wchar_t widened[] = {L'c', L'a', L'f', static_cast<wchar_t>(0xFFE9), 0};
    EXPECT_EQ(IMG_CreateLabel(widened, 0, &l), 0);
    EXPECT_EQ(l.module, 3);
    EXPECT_EQ(IMG_CreateLabel(L"SEVENCH", 0, &l), 0) << "a name filling its field keeps 7 characters";
    EXPECT_EQ(l.module, 4);
    EXPECT_EQ(IMG_CreateLabel(L"dup", -1, nullptr), -1);

    short w = 0, h = 0;
    EXPECT_EQ(IMG_ImgSize(L"dup", 0, &w, &h), 0);
    EXPECT_EQ(w, 2);
}

TEST_F(Img, AFailedSecondInitKeepsTheFirstIndexAndItsCache) {
    const std::wstring path = Write(L"kestoimg.img", FileBytes(Standard()));
    ASSERT_EQ(IMG_Init(64), 0);
    ASSERT_NE(IMG_GetFromCache(L"ALPHA", 1, nullptr), nullptr);
    Write(L"broken.img", FileBytes(Standard()).substr(0, 40));
    IMG_SetImgFileName(L"broken");
    EXPECT_EQ(IMG_Init(64), -1);
    EXPECT_EQ(std::wstring(IMG_File()), L"broken.img");
    EXPECT_EQ(IMG_CreateLabel(L"BETA", 9, nullptr), 0);
    Hide(path);
    EXPECT_TRUE(Cached(L"ALPHA", 1)) << "the cache was not set up again";

    IMG_SetImgPathFileName(m_dir.file(L"missing.img").c_str());
    EXPECT_EQ(std::wstring(IMG_File()), L"missing.img") << "the new path stays";
    EXPECT_EQ(IMG_CreateLabel(L"BETA", 9, nullptr), 0);
    EXPECT_TRUE(Cached(L"ALPHA", 1));
}

TEST_F(Img, SetImgPathFileNameOpensWithACacheOfNoMemory) {
    const std::wstring path = Write(L"some.img", FileBytes(Standard()));
    IMG_SetImgPathFileName(path.c_str());
    EXPECT_EQ(std::wstring(IMG_File()), L"some.img");
    EXPECT_EQ(IMG_GetFromCache(L"ALPHA", 0, nullptr), nullptr);
    int size = 0;
    EXPECT_EQ(IMG_GetFromFile(L"ALPHA", 0, nullptr, &size), 0);
    EXPECT_EQ(size, 16 + 8 * 8 * 4);
    const std::wstring tooLong(300, L'a');
    IMG_SetImgPathFileName(tooLong.c_str());
    EXPECT_EQ(IMG_CreateLabel(L"ALPHA", 2, nullptr), 0);
}

#if defined(KUT_TESTING)
TEST_F(Img, AnAllocationFailureWhileLoadingKeepsThePreviousIndex) {
    Write(L"first.img", FileBytes({{"FIRST", {Bmp(2, 2, 1)}}}));
    Write(L"second.img", FileBytes(Standard()));
    IMG_SetImgFileName(L"first");
    ASSERT_EQ(IMG_Init(64), 0);
    IMG_SetImgFileName(L"second");
    int failures = 0;
    for (long after = 0; after < 10; ++after) {
        KUT_TestFailAlloc(after, 0);
        const short result = IMG_Init(64);
        const long failed = KUT_TestAllocFailures();
        KUT_TestFailAlloc(-1, 0);
        if (failed == 0) {
            EXPECT_EQ(result, 0);
            break;
        }
        ++failures;
        EXPECT_EQ(result, -1) << after;
        EXPECT_EQ(IMG_CreateLabel(L"FIRST", 0, nullptr), 0) << after;
        EXPECT_EQ(IMG_CreateLabel(L"ALPHA", 0, nullptr), -1) << after;
    }
    EXPECT_EQ(failures, 3) << "the module array and the two tables";
    EXPECT_EQ(IMG_CreateLabel(L"ALPHA", 0, nullptr), 0);
    EXPECT_EQ(IMG_CreateLabel(L"FIRST", 0, nullptr), -1);
}
#endif

TEST_F(Img, ATablePointingPastTheEndFailsThatImageOnly) {
    Modules m = Standard();
    std::string bytes = FileBytes(m);
    imgtest::Put32(&bytes, imgtest::EntryAt(m, 1, 2), static_cast<std::uint32_t>(bytes.size() + 1000));
    imgtest::Put32(&bytes, imgtest::EntryAt(m, 1, 3), static_cast<std::uint32_t>(bytes.size() - 20));
    imgtest::Put32(&bytes, imgtest::EntryAt(m, 1, 4), 0xFFFFFFF0u);  // negative: the seek fails
    Write(L"kestoimg.img", bytes);
    for (short kb : {64, 0}) {
        SCOPED_TRACE(kb);
        ASSERT_EQ(IMG_Init(kb), 0);
        GRAF_CanvasSize(200, 100);
        for (short image : {2, 3, 4}) {
            SCOPED_TRACE(image);
            short w = 1, h = 1;
            EXPECT_EQ(IMG_ImgSize(L"BETA", image, &w, &h), -1);
            EXPECT_EQ(w, 0);
            EXPECT_EQ(h, 0);
            EXPECT_EQ(IMG_Show(L"BETA", image, 10, 10, 0), -1);
            EXPECT_EQ(IMG_Show(L"BETA", image, 10, 10, 1), -1);
            EXPECT_EQ(IMG_GetFromCache(L"BETA", image, nullptr), nullptr);
            int size = 77;
            EXPECT_EQ(IMG_GetFromFile(L"BETA", image, nullptr, &size), -1);
            EXPECT_EQ(size, image == 4 ? 0 : -1) << "the failed seek gives 0, the failed read the size function's -1";
        }
        EXPECT_EQ(GRAF_CanvasPixel(10, 10), GRAF_CANVAS_BACKGROUND);
        EXPECT_EQ(IMG_Show(L"BETA", 5, 10, 10, 0), 0);
        EXPECT_EQ(static_cast<unsigned>(GRAF_CanvasPixel(10, 10)), imgtest::Colour(15, 0, 0));
    }
}

TEST_F(Img, GetFromFileWantsExactlyOneOfBufferAndSize) {
    Write(L"kestoimg.img", FileBytes(Standard()));
    ASSERT_EQ(IMG_Init(64), 0);
    std::vector<unsigned char> buffer(4096, 0xEE);
    int size = 123;
    EXPECT_EQ(IMG_GetFromFile(L"ALPHA", 1, buffer.data(), &size), -1);
    EXPECT_EQ(IMG_GetFromFile(L"ALPHA", 1, nullptr, nullptr), -1);
    EXPECT_EQ(size, 123);
    EXPECT_EQ(buffer[0], 0xEE);

    ASSERT_EQ(IMG_GetFromFile(L"ALPHA", 1, nullptr, &size), 0);
    EXPECT_EQ(size, 16 + 31 * 11 * 4);
    ASSERT_EQ(IMG_GetFromFile(L"ALPHA", 1, buffer.data(), nullptr), 0);
    EXPECT_EQ(buffer[static_cast<std::size_t>(size)], 0xEE) << "nothing written past the size";
    int cachedSize = 0;
    const void* cached = IMG_GetFromCache(L"ALPHA", 1, &cachedSize);
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(cachedSize, size);
    EXPECT_EQ(std::memcmp(cached, buffer.data(), static_cast<std::size_t>(size)), 0);
    const GRAF_BMP_INFO* info = GRAF_BMP_Info(buffer.data());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->width, 31);
}

TEST_F(Img, GetFromFileLeavesTheCacheAlone) {
    const std::wstring path = Write(L"kestoimg.img", FileBytes(Standard()));
    ASSERT_EQ(IMG_Init(64), 0);
    int size = 0;
    ASSERT_EQ(IMG_GetFromFile(L"BETA", 0, nullptr, &size), 0);
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size));
    ASSERT_EQ(IMG_GetFromFile(L"BETA", 0, buffer.data(), nullptr), 0);
    Hide(path);
    EXPECT_FALSE(Cached(L"BETA", 0));
}

}  // namespace
