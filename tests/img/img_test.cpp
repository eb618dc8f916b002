// The image cache on image files made from known pictures, and the image-file tools.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "imgfile.h"
#include "kbase/kbase.h"
#include "kut/img.h"
#include "kut/testing.h"
#include "testutil.h"

using Modules = std::vector<kuttools::ImgModuleSource>;

// Pixel (x, y) of the picture tagged `tag`: every tag and position differ.
unsigned Colour(int tag, int x, int y) { return static_cast<unsigned>((tag & 0xFF) << 16 | (x & 0xFF) << 8 | (y & 0xFF)); }

std::string Bmp(int w, int h, int tag, int bpp = 24, bool topDown = false) {
    kuttools::Bitmap b{w, h, {}};
    for (int i = 0; i < w * h; ++i) b.pixels.push_back(Colour(tag, i % w, i / w));
    std::string bytes, error;
    EXPECT_TRUE(kuttools::EncodeBmp(b, bpp, topDown, &bytes, &error)) << error;
    return bytes;
}

std::string FileBytes(const Modules& modules) {
    std::string bytes, error;
    EXPECT_TRUE(kuttools::ImageFileBytes(modules, &bytes, &error)) << error;
    return bytes;
}

// Stores `v` as the position of image `image` of module `module`.
void SetPosition(std::string* file, const Modules& modules, int module, int image, std::uint32_t v) {
    std::size_t at = 2 + 14 + 8 * static_cast<std::size_t>(image);
    for (int m = 0; m < module; ++m) at += 14 + 8 * modules[static_cast<std::size_t>(m)].bitmaps.size();
    for (std::size_t i = 0; i < 4; ++i) (*file)[at + i] = static_cast<char>(v >> (8 * i));
}

// ALPHA: 8 x 8 (tag 1), 31 x 11 (tag 2, 32 bits), 5 x 3 (tag 3, top-down);
// BETA: ten 4 x 4 pictures, tags 10 to 19; HUGE: 40 x 40 (tag 7), 6416 bytes.
Modules Standard() {
    Modules m{{"ALPHA", {Bmp(8, 8, 1), Bmp(31, 11, 2, 32), Bmp(5, 3, 3, 24, true)}}, {"BETA", {}}, {"HUGE", {Bmp(40, 40, 7)}}};
    for (int i = 0; i < 10; ++i) m[1].bitmaps.push_back(Bmp(4, 4, 10 + i));
    return m;
}

// IMG_ImgSize as "WxH", with "fail " before it when the call fails.
std::string Size(const wchar_t* module, short image) {
    short w = 7, h = 7, r = IMG_ImgSize(module, image, &w, &h);
    return (r == 0 ? "" : r == -1 ? "fail " : "bad result ") + std::to_string(w) + "x" + std::to_string(h);
}

// The size, then what the other calls give for one image: Show at (10, 10) plain
// and centred, GetFromCache and the size it stores, GetFromFile and its size.
std::string Outcomes(const wchar_t* module, short image) {
    int cached = 5, size = 77;
    const bool found = IMG_GetFromCache(module, image, &cached) != nullptr;
    const short file = IMG_GetFromFile(module, image, nullptr, &size);
    return Size(module, image) + " show " + std::to_string(IMG_Show(module, image, 10, 10, 0)) +
           std::to_string(IMG_Show(module, image, 10, 10, 1)) + " cache " + (found ? "" : "none ") + std::to_string(cached) +
           " file " + std::to_string(file) + " " + std::to_string(size);
}

// The module that IMG_CreateLabel finds, -1 when it fails and clears the label.
int Label(const wchar_t* module, short image) {
    IMG_LABEL l{5, 5};
    const short r = IMG_CreateLabel(module, image, &l);
    return r == 0 && l.image == image ? l.module : r == -1 && l.module == -1 && l.image == -1 ? -1 : -99;
}

// Pixels of the 200 x 100 canvas that differ from picture `tag` (w x h) drawn at (x0, y0) on the background.
int Misdrawn(int tag, int w, int h, int x0, int y0) {
    int wrong = 0;
    for (short y = 0; y < 100; ++y)
        for (short x = 0; x < 200; ++x)
            wrong += static_cast<unsigned>(GRAF_CanvasPixel(x, y)) !=
                     (x >= x0 && y >= y0 && x < x0 + w && y < y0 + h ? Colour(tag, x - x0, y - y0) : GRAF_CANVAS_BACKGROUND);
    return wrong;
}

// Each test gets a folder of kind 2 and closes the image cache at the end.
class Img : public ::testing::Test {
protected:
    void SetUp() override {
        REP_SetRepert(2, m_dir.path().c_str());
        GRAF_CanvasSize(200, 100);
    }
    void TearDown() override {
        IMG_Close();
        REP_SetRepert(2, nullptr);
    }
    std::wstring Write(const std::wstring& name, const std::string& bytes) {
        EXPECT_TRUE(kuttest::WriteFile(m_dir.file(name), bytes));
        return m_dir.file(name);
    }
    // Names a file that does not exist: a failed load keeps the index and the
    // cache, so from then on only cached images can be had.
    void Hide() { IMG_SetImgPathFileName(m_dir.file(L"gone.img").c_str()); }
    // Which of images 0 to n-1 are in the object cache (once hidden), as '1' and '0'.
    static std::string Cached(const wchar_t* module, short n, std::string s = "") {
        for (short i = 0; i < n; ++i) s += IMG_GetFromCache(module, i, nullptr) ? '1' : '0';
        return s;
    }

    kuttest::TempDir m_dir;
    std::string m_error;
};

TEST_F(Img, EveryFunctionBeforeInitFailsWithoutACrash) {
    EXPECT_EQ(Outcomes(L"ALPHA", 0), "fail 0x0 show -1-1 cache none 0 file -1 77") << "the label fails first";
    EXPECT_EQ(Label(L"ALPHA", 0), -1);
    EXPECT_EQ(IMG_CreateLabel(nullptr, 0, nullptr) + IMG_GetFromFile(L"ALPHA", 0, std::vector<char>(64).data(), nullptr), -2);
    IMG_LABEL labels[2] = {{0, 0}, {0, 1}};
    IMG_ListToCache(L"ALPHA", 0, 1, -1), IMG_LabelsToCache(labels, 2), IMG_Flush(), IMG_FlushList(L"ALPHA", 0, -1);
    IMG_FlushLabels(labels, 2), IMG_FlushModule(L"ALPHA"), IMG_Close();
    EXPECT_EQ(GRAF_CanvasPixel(10, 10), GRAF_CANVAS_BACKGROUND);
    EXPECT_EQ(std::wstring(IMG_File()), L"kestoimg.img");
    EXPECT_EQ(IMG_Init(64), -1) << "no kestoimg.img in the folder";
}

TEST_F(Img, TheFileIsNamedFromItsBaseOrAWholePath) {
    Write(L"abc.img", FileBytes(Standard()));
    Write(L"kestoimg.img", FileBytes({{"ONLY", {Bmp(2, 2, 1)}}}));
    Write(L"empty.img", std::string("\0\0", 2));
    // The last case closes first: IMG_Close forgets the name. An empty index loads and holds nothing.
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*, int> cases[] = {{L"abc", L"abc.img", L"BETA", 1},
                                                                                     {L"", L"kestoimg.img", L"ONLY", 0},
                                                                                     {nullptr, L"kestoimg.img", L"ONLY", 0},
                                                                                     {L"empty", L"empty.img", L"", -1},
                                                                                     {L"abc", L"kestoimg.img", L"ONLY", 0}};
    for (std::size_t i = 0; i < 5; ++i) {
        const auto& [base, file, module, label] = cases[i];
        IMG_SetImgFileName(base);
        if (i == 4) IMG_Close();
        EXPECT_EQ(std::wstring(IMG_File()), file);
        ASSERT_EQ(IMG_Init(64), 0);
        EXPECT_EQ(Label(module, 0), label) << kuttest::Narrow(file);
    }
    // A whole path opens at once, with a cache of no memory. Module names match exactly, the first of two wins.
    std::string bytes = FileBytes({{"dup", {Bmp(2, 2, 1)}},
                                   {"DUP", {Bmp(3, 3, 2)}},
                                   {"dup", {Bmp(4, 4, 3), Bmp(5, 5, 4)}},
                                   {"caf\xE9", {Bmp(6, 6, 5)}},
                                   {"SEVENCH", {Bmp(7, 7, 6)}}});
    bytes[2 + 22 + 22 + 30 + 22 + 7] = 'X';  // SEVENCH's eighth name byte, where the NUL should be
    IMG_SetImgPathFileName(Write(L"names.img", bytes).c_str());
    const wchar_t widened[] = {L'c', L'a', L'f', static_cast<wchar_t>(0xFFE9), 0};  // 0xE9 sign-extended
    const std::tuple<const wchar_t*, short, int> names[] = {{L"dup", 0, 0},     {L"dup", 1, -1},       {L"DUP", 0, 1},
                                                            {L"Dup", 0, -1},    {L"caf\u00e9", 0, -1}, {widened, 0, 3},
                                                            {L"SEVENCH", 0, 4}, {L"dup", -1, -1}};
    for (const auto& [name, image, module] : names) EXPECT_EQ(Label(name, image), module) << kuttest::Narrow(name);
    IMG_SetImgPathFileName(m_dir.file(L"abc.img").c_str());
    EXPECT_EQ(std::wstring(IMG_File()), L"abc.img");
    EXPECT_EQ(Outcomes(L"ALPHA", 0), "8x8 show 00 cache none 0 file 0 272");
    IMG_SetImgPathFileName(std::wstring(300, L'a').c_str());
    EXPECT_EQ(Label(L"ALPHA", 2), 0) << "a path too long names no file; the index stays";
}

TEST_F(Img, TheBudgetDecidesWhatStaysAndOnlyNoMemoryKeepsTheStreamOpen) {
    // BIG: 227 x 18 pixels, a 16360-byte bitmap, 16384 bytes with its cache entry;
    // MID: 8 x 6 pixels, 208 bytes, 232 with the entry: four fit in 1024.
    Modules m{{"BIG", {}}, {"MID", {}}};
    for (int i = 0; i < 4; ++i) m[0].bitmaps.push_back(Bmp(227, 18, i));
    for (int i = 0; i < 6; ++i) m[1].bitmaps.push_back(Bmp(8, 6, 40 + i));
    Write(L"kestoimg.img", FileBytes(m));
    for (short kb : {64, 63, 0, -5}) {
        SCOPED_TRACE(kb);
        IMG_SetImgFileName(nullptr);
        ASSERT_EQ(IMG_Init(kb), 0);
        IMG_ListToCache(L"BIG", 0, 1, 2, 3, -1);
        Hide();
        EXPECT_EQ(Cached(L"BIG", 4), kb == 64 ? "1111" : kb == 63 ? "0111" : "0000") << "63: the first made room";
        EXPECT_EQ(Size(L"BIG", 0), kb == 63 ? "fail 0x0" : "227x18") << "only no memory keeps the stream open";
    }
    IMG_SetImgFileName(nullptr);
    ASSERT_EQ(IMG_Init(1), 0);
    for (short i : {0, 1, 2, 3, 0, 4, 2, 5}) ASSERT_NE(IMG_GetFromCache(L"MID", i, nullptr), nullptr) << i;
    Hide();
    EXPECT_EQ(Cached(L"MID", 6), "101011") << "the least recently used go first";
}

TEST_F(Img, ABrokenIndexLeavesThePreviousIndexAndItsCache) {
    const std::string bytes = FileBytes(Standard());
    const auto patched = [&bytes](std::size_t at, const char* two) { return std::string(bytes).replace(at, 2, two, 2); };
    // A negative module count, none, an end inside a module record, inside an image table, modules of 0 and -2 images.
    const std::string broken[] = {patched(0, "\xFF\xFF"), "\x01",
                                  bytes.substr(0, 2 + 9), bytes.substr(0, 2 + 14 + 3 * 8 + 14 + 4 * 8 + 3),
                                  patched(2 + 8, "\0\0"), patched(2 + 8, "\xFE\xFF")};
    Write(L"good.img", bytes);
    IMG_SetImgFileName(L"good");
    ASSERT_EQ(IMG_Init(64), 0);
    ASSERT_NE(IMG_GetFromCache(L"ALPHA", 1, nullptr), nullptr);
    for (const std::string& b : broken) {
        SCOPED_TRACE(&b - broken);
        Write(L"bad.img", b);
        IMG_SetImgFileName(L"bad");
        EXPECT_EQ(IMG_Init(64), -1);
        EXPECT_EQ(std::wstring(IMG_File()), L"bad.img");
        EXPECT_EQ(Label(L"BETA", 9), 1) << "the previous index stays";
    }
    Hide();
    EXPECT_EQ(Cached(L"ALPHA", 3), "010") << "the cache was not set up again";
#if defined(KUT_TESTING)
    // Each allocation of a load failing in turn: the module array, then the table.
    Write(L"bad.img", FileBytes({{"OTHER", {Bmp(2, 2, 1)}}}));
    IMG_SetImgFileName(L"bad");
    long after = 0;
    for (short result; KUT_TestFailAlloc(after, 0), result = IMG_Init(64), KUT_TestAllocFailures() > 0 && after < 10; ++after) {
        KUT_TestFailAlloc(-1, 0);
        EXPECT_EQ(result, -1) << after;
        EXPECT_EQ(Label(L"BETA", 9), 1) << after;
    }
    KUT_TestFailAlloc(-1, 0);
    EXPECT_EQ(after, 2);
    EXPECT_EQ(Label(L"OTHER", 0), 0);
#endif
}

// Three BETA table entries point past the end or before the start, failing those images only.
TEST_F(Img, ShowPutsEveryPixelInPlaceAndABadTablePositionFailsThatImageOnly) {
    const Modules m = Standard();
    std::string bytes = FileBytes(m);
    SetPosition(&bytes, m, 1, 2, static_cast<std::uint32_t>(bytes.size() + 1000));
    SetPosition(&bytes, m, 1, 3, static_cast<std::uint32_t>(bytes.size() - 20));
    SetPosition(&bytes, m, 1, 4, 0xFFFFFFF0u);  // negative: the seek fails
    Write(L"kestoimg.img", bytes);
    const struct {
        const wchar_t* module;
        short image, x, y, centred;
        int tag, w, h, x0, y0;
    } cases[] = {{L"ALPHA", 1, 100, 50, 0, 2, 31, 11, 100, 50}, {L"ALPHA", 1, 100, 50, 1, 2, 31, 11, 85, 45},  // halves: 15, 5
                 {L"ALPHA", 0, 0, 0, 1, 1, 8, 8, -4, -4},       {L"BETA", 5, 50, 50, 0, 15, 4, 4, 50, 50},
                 {L"ALPHA", 2, 198, 99, 0, 3, 5, 3, 198, 99},  // top-down rows, clipped at the corner
                 {L"ALPHA", 2, 2, 1, 1, 3, 5, 3, 0, 0},         {L"HUGE", 0, 10, 20, 0, 7, 40, 40, 10, 20}};
    // 64 KB hold every image, 0 and -5 none, 2 all but HUGE.
    for (short kb : {64, 0, -5, 2}) {
        ASSERT_EQ(IMG_Init(kb), 0);
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << kb << " KB, case " << &c - cases);
            GRAF_CanvasSize(200, 100);
            ASSERT_EQ(IMG_Show(c.module, c.image, c.x, c.y, c.centred), 0);
            EXPECT_EQ(Misdrawn(c.tag, c.w, c.h, c.x0, c.y0), 0);
        }
        GRAF_CanvasSize(200, 100);
        for (short image : {2, 3, 4})  // a failed seek gives the size 0, a failed read the size function's -1
            EXPECT_EQ(Outcomes(L"BETA", image),
                      std::string("fail 0x0 show -1-1 cache none 0 file -1 ") + (image == 4 ? "0" : "-1"))
                << kb << " KB, image " << image;
        EXPECT_EQ(Misdrawn(0, 0, 0, 0, 0), 0) << "nothing drawn";
        int size = 5;
        EXPECT_EQ(IMG_GetFromCache(L"HUGE", 0, &size) != nullptr, kb == 64) << kb;
        EXPECT_EQ(size, kb == 64 ? 6416 : 0) << kb;
        EXPECT_EQ(IMG_GetFromCache(L"ALPHA", 1, nullptr) != nullptr, kb > 0) << kb;
    }
}

// GetFromFile wants exactly one of buffer and size, and leaves the cache alone.
TEST_F(Img, GetFromFileListsBringInFlushesDropAndTheSameImageComesBack) {
    Write(L"kestoimg.img", FileBytes(Standard()));
    ASSERT_EQ(IMG_Init(64), 0);
    std::vector<unsigned char> buffer(4096, 0xEE);
    int size = 123;
    EXPECT_EQ(IMG_GetFromFile(L"ALPHA", 1, buffer.data(), &size) + IMG_GetFromFile(L"ALPHA", 1, nullptr, nullptr), -2);
    EXPECT_TRUE(size == 123 && buffer[0] == 0xEE);
    ASSERT_EQ(IMG_GetFromFile(L"ALPHA", 1, nullptr, &size), 0);
    ASSERT_EQ(size, 16 + 31 * 11 * 4);
    ASSERT_EQ(IMG_GetFromFile(L"ALPHA", 1, buffer.data(), nullptr), 0);
    EXPECT_EQ(buffer[static_cast<std::size_t>(size)], 0xEE) << "nothing written past the size";
    const GRAF_BMP_INFO* info = GRAF_BMP_Info(buffer.data());
    EXPECT_TRUE(info && info->width == 31 && info->height == 11);
    IMG_ListToCache(L"BETA", 3, 99, 5, -1), IMG_ListToCache(L"NOSUCH", 1, 2, -1), IMG_ListToCache(L"ALPHA", -1);
    IMG_LABEL some[3] = {{0, 2}, {7, 0}, {0, -1}};
    IMG_LabelsToCache(some, 3);
    Hide();
    EXPECT_EQ(Cached(L"ALPHA", 3) + "|" + Cached(L"BETA", 10), "001|0001010000");
    const auto cachedBytes = [] {  // ALPHA 2 from the cache, with the size stored
        int n = -1;
        const char* p = static_cast<const char*>(IMG_GetFromCache(L"ALPHA", 2, &n));
        return p ? std::string(p, static_cast<std::size_t>(n)) : "none " + std::to_string(n);
    };
    const std::string first = cachedBytes();
    ASSERT_EQ(first.size(), 16u + 5 * 3 * 4);
    IMG_SetImgFileName(nullptr);
    IMG_Flush();  // the file back, the cache emptied
    IMG_ListToCache(L"ALPHA", 0, 1, 2, -1);
    EXPECT_EQ(cachedBytes(), first);
    IMG_ListToCache(L"BETA", 0, 1, 2, 4, 6, 7, 8, 9, -1);
    IMG_LABEL labels[2] = {{1, 3}, {1, 4}};
    IMG_FlushList(L"BETA", 1, 2, 99, -1), IMG_FlushLabels(labels, 2), IMG_FlushModule(L"ALPHA");
    Hide();
    EXPECT_EQ(Cached(L"ALPHA", 3) + "|" + Cached(L"BETA", 10), "000|1000001111") << "BETA 5 went with IMG_Flush";
    // A count below 1 names no label and the array is not read (it is long enough here for a wrapped count to show).
    std::vector<IMG_LABEL> many(32768, IMG_LABEL{1, 0});
    for (short count : {-1, -32768}) IMG_FlushLabels(many.data(), count);
    EXPECT_EQ(Cached(L"BETA", 10), "1000001111");
    IMG_FlushLabels(many.data(), 1);
    EXPECT_EQ(Cached(L"BETA", 10), "0000001111");
}

// A source folder for the tools: a subfolder per module, files named in image order.
void MakeSource(const std::wstring& root, const Modules& modules) {
    for (const auto& m : modules) {
        const std::wstring dir = root + kuttest::kSep + kuttest::Widen(m.name) + kuttest::kSep;
        kuttest::MakeDir(dir);
        for (std::size_t i = 0; i < m.bitmaps.size(); ++i)
            kuttest::WriteFile(dir + wchar_t(L'a' + i) + L"_pic.BMP", m.bitmaps[i]);
    }
}

TEST_F(Img, ToolsBuildOnlyWhatTheLibraryReadsAndListWhatItCannot) {
    const Modules modules{{"ALPHA", {Bmp(8, 8, 1), Bmp(31, 11, 2, 32), Bmp(5, 3, 3, 8, true)}}, {"BETA", {Bmp(4, 4, 10, 4)}}};
    kuttest::TempDir src;
    MakeSource(src.path(), modules);
    kuttest::WriteFile(src.file(L"ALPHA") + kuttest::kSep + L"notes.txt", "not an image");
    const std::wstring out = m_dir.file(L"built.img");
    ASSERT_TRUE(kuttools::BuildImageFile(src.path(), out, &m_error)) << m_error;
    std::string built;
    ASSERT_TRUE(kuttest::ReadFile(out, &built));
    EXPECT_EQ(built, FileBytes(modules));

    std::vector<kuttools::ImgModuleInfo> list;
    SetPosition(&built, modules, 0, 1, static_cast<std::uint32_t>(built.size() + 5));
    ASSERT_TRUE(kuttools::ListImageFile(Write(L"past.img", built), &list, &m_error)) << m_error;
    ASSERT_EQ(list.size(), 2u);
    const kuttools::ImgEntryInfo& i = list[0].images[2];
    EXPECT_EQ(std::make_tuple(list[0].name, i.width, i.height, i.bitCount, i.memoryBytes, list[0].images[1].memoryBytes),
              std::make_tuple("ALPHA", 5, 3, 8, 16 + 5 * 3 * 4, 0));
    EXPECT_NE(kuttools::FormatListing(list).find("unreadable"), std::string::npos);

    const std::pair<kuttools::ImgModuleSource, const char*> refused[] = {
        {{"EIGHTCHR", {Bmp(2, 2, 1)}}, "EIGHTCHR"},
        {{"EMPTY", {}}, "EMPTY"},
        {{"M", {Bmp(2, 2, 1), "BM only"}}, "image 1 of module M"}};
    for (const auto& c : refused) {
        kuttest::TempDir bad;
        MakeSource(bad.path(), {c.first});
        EXPECT_FALSE(kuttools::BuildImageFile(bad.path(), m_dir.file(L"o.img"), &m_error)) << c.second;
        EXPECT_NE(m_error.find(c.second), std::string::npos) << c.second << " not in: " << m_error;
        EXPECT_FALSE(kuttest::Exists(m_dir.file(L"o.img"))) << "no half-good file is left behind";
    }
}
