// The sibling stand-ins: folders, file services, name stacks, the object
// cache, bitmaps and the canvas, on files in temporary folders; then the two
// path syntaxes, each checked on every system through the call table.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "imgfile.h"
#include "kbase/kbase.h"
#include "kbase/testing.h"
#include "testutil.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

using kuttest::kSep;
using kuttest::Narrow;
using Names = std::vector<std::wstring>;

// Runs `call` with `status` preset to 99 and checks its result and status.
#define EXPECT_RESULT_STATUS(call, result, wantStatus) \
    do {                                               \
        status = 99;                                   \
        EXPECT_EQ(call, result) << #call;              \
        EXPECT_EQ(status, wantStatus) << #call;        \
    } while (0)

namespace {

// Every name SYS_FileFind hands out for `search`.
Names Find(const std::wstring& search, short attrib = 1) {
    Names names;
    wchar_t name[260];
    for (const wchar_t* s = search.c_str(); SYS_FileFind(s, name, attrib) == 0; s = nullptr) names.push_back(name);
    return names;
}

// The whole stream REP_FOpen opens, or "<none>".
std::string ReadAll(const std::wstring& path, const wchar_t* mode) {
    FILE* in = REP_FOpen(path.c_str(), mode);
    std::string got = in ? "" : "<none>";
    for (int c; in && (c = std::fgetc(in)) != EOF;) got += static_cast<char>(c);
    REP_FClose(&in);
    return got;
}

TEST(Repert, FoldersComeFromSetRepertThenTheEnvironmentAndConfigurationFirst) {
    kuttest::TempDir a, b;
    auto where = [](int kind, const std::wstring& name) {
        wchar_t out[520] = L"x";
        return std::to_wstring(REP_Repert(0, static_cast<short>(kind), name.c_str(), out)) + L" " + out;
    };
    REP_SetRepert(2, nullptr);
    kuttest::SetEnv("KBASE_ROOT", b.narrow().c_str());
    kuttest::SetEnv("KBASE_DIR_2", nullptr);
    EXPECT_EQ(where(2, L"x.dll"), L"0 " + b.file(L"x.dll"));
    kuttest::SetEnv("KBASE_DIR_2", a.narrow().c_str());
    EXPECT_EQ(where(2, L"x.dll"), L"0 " + a.file(L"x.dll"));
    REP_SetRepert(2, b.path().c_str());
    EXPECT_EQ(where(2, L"x.dll"), L"0 " + b.file(L"x.dll"));
    REP_SetRepert(2, nullptr);
    EXPECT_EQ(where(2, L"x.dll"), L"0 " + a.file(L"x.dll"));
    // The temporary folder has the larger buffer: a name too long for the others fits there.
    REP_SetRepert(9, b.path().c_str());
    const std::wstring longName(300, L'n');
    EXPECT_EQ(where(2, longName), L"-1 ");
    EXPECT_EQ(where(9, longName), L"0 " + b.path() + kSep + longName);

    wchar_t path[260];
    std::wcscpy(path, std::wstring(259, L'x').c_str());
    REP_AddEndOfPath(path);  // no room: unchanged
    EXPECT_EQ(std::wcslen(path), 259u);
}

TEST(KbaseFiles, OpenTakesTheModeAsGivenAndFailuresAreReported) {
    kuttest::TempDir t;
    const std::wstring f = t.file(L"a.txt"), missing = t.file(L"missing");
    FILE* s = REP_FOpen(f.c_str(), L"wt");
    ASSERT_NE(s, nullptr);
    ASSERT_GE(std::fputs("a\nb\n", s), 0);
    const int textLength = kSep == L'\\' ? 6 : 4;  // a Windows text stream writes each LF as CR LF
    EXPECT_EQ(REP_FClose(&s), 0);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(SYS_FileLen(f.c_str()), textLength);
    EXPECT_EQ(ReadAll(f, L"r"), "a\nb\n");
    EXPECT_EQ(ReadAll(f, L"rb").size(), static_cast<std::size_t>(textLength));
    EXPECT_EQ(REP_FOpen(nullptr, L"rb"), nullptr);
    // Mode 0 means "no such path" and is never set; a folder has no length and is never deleted.
    const int before = SYS_FileAccess(f.c_str());
    unsigned short date = 1, time = 1;
    EXPECT_EQ((std::vector<int>{SYS_FileLen(missing.c_str()), SYS_FileLen(t.path().c_str()), SYS_FileAccess(missing.c_str()),
                                SYS_FileMode(missing.c_str(), 0100644), SYS_FileMode(f.c_str(), 0), SYS_FileAccess(f.c_str()),
                                REP_FDel(t.path().c_str()), SYS_FileDateGet(missing.c_str(), &date, &time), date + time}),
              (std::vector<int>{-1, -1, 0, -1, -1, before, -1, -1, 0}));
    EXPECT_NE(before, 0);
    EXPECT_TRUE(kuttest::Exists(t.path()));
}

// A file without the owner's write bit is read-only as the Windows attribute
// makes it, whoever runs the test (root included). A folder opens in no mode.
TEST(KbaseFiles, ReadOnlyFilesAreNeitherWrittenNorDeletedAndFoldersNeverOpen) {
    kuttest::TempDir t;
    const std::wstring f = t.file(L"ro.txt");
    ASSERT_TRUE(kuttest::WriteFile(f, "keep"));
    ASSERT_EQ(SYS_FileMode(f.c_str(), 0100444), 0);
    for (const wchar_t* mode : {L"wt", L"ab", L"r+b", L"a+", L"r"}) {
        SCOPED_TRACE(Narrow(mode));
        FILE* s = REP_FOpen(f.c_str(), mode);
        EXPECT_EQ(s != nullptr, std::wcspbrk(mode, L"wa+") == nullptr);
        REP_FClose(&s);
        FILE* dir = REP_FOpen(t.path().c_str(), mode);
        EXPECT_EQ(dir, nullptr);
        REP_FClose(&dir);
    }
    EXPECT_EQ(REP_FDel(f.c_str()), -1);
    EXPECT_EQ(kuttest::Read(f), "keep");
    ASSERT_EQ(SYS_FileMode(f.c_str(), 0100644), 0);
    EXPECT_NE(ReadAll(f, L"ab"), "<none>");
    EXPECT_EQ(REP_FDel(f.c_str()), 0);
    EXPECT_FALSE(kuttest::Exists(f));
    EXPECT_EQ(REP_FDel(f.c_str()), -1);
#if !defined(_WIN32)
    // A link is judged by itself: a link to a read-only file goes, the file stays.
    const std::wstring target = t.file(L"target"), link = t.file(L"link");
    ASSERT_TRUE(kuttest::WriteFile(target, "t"));
    ASSERT_EQ(SYS_FileMode(target.c_str(), 0100444), 0);
    ASSERT_EQ(::symlink("target", Narrow(link).c_str()), 0);
    EXPECT_EQ(REP_FDel(link.c_str()), 0);
    EXPECT_FALSE(kuttest::Exists(link));
    EXPECT_TRUE(kuttest::Exists(target));
#endif
}

#if !defined(_WIN32)
// Latin-1 names, as old volumes and archives hold them, are no UTF-8: each
// such byte comes as the escape U+DC00 + byte and goes back as that byte.
TEST(KbaseFiles, NamesThatAreNotUtf8AreListedOpenedAndDeleted) {
    kuttest::TempDir t;
    const std::string bytes[] = {"caf\xE9.txt", "cut-\xC3", "ok-\xC3\xA9", "\xFF\xFE"};  // in the order listed
    const Names wide = {L"caf\xDCE9.txt", L"cut-\xDCC3", L"ok-\xE9", L"\xDCFF\xDCFE"};
    for (const std::string& b : bytes) {
        FILE* raw = std::fopen((t.narrow() + "/" + b).c_str(), "wb");
        ASSERT_NE(raw, nullptr);
        ASSERT_GE(std::fputs(b.c_str(), raw), 0);
        std::fclose(raw);
    }
    EXPECT_EQ(Find(t.path() + L"/*"), wide);
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(bytes[i]);
        const std::wstring path = t.file(wide[i]);
        EXPECT_EQ(SYS_FileLen(path.c_str()), static_cast<int>(bytes[i].size()));
        EXPECT_EQ(ReadAll(path, L"rb"), bytes[i]);
        EXPECT_EQ(REP_FDel(path.c_str()), 0);
        EXPECT_NE(::access((t.narrow() + "/" + bytes[i]).c_str(), F_OK), 0);
    }
}
#endif

TEST(KbaseFiles, FindListsFilesOrFoldersInOrderWithoutDots) {
    kuttest::TempDir t;
    for (const wchar_t* f : {L"b.txt", L"a.txt", L"noext"}) ASSERT_TRUE(kuttest::WriteFile(t.file(f), "x"));
    for (const wchar_t* d : {L"sub1", L"sub.d"}) kuttest::MakeDir(t.file(d));
    EXPECT_EQ(Find(t.file(L"*")), (Names{L"a.txt", L"b.txt", L"noext"}));
    EXPECT_EQ(Find(t.file(L"*"), 2), (Names{L"sub.d", L"sub1"}));
    EXPECT_EQ(Find(t.file(L"*"), 3).size(), 5u);
    EXPECT_TRUE(Find(t.file(L"missing") + kSep + L"*", 3).empty());
}

// The producer makes the names n0, n1, ... with the answers given (-1 after
// the last); the visitor records the names it is shown and replies in turn;
// FreeName counts the names it frees.
struct StackRun {
    std::vector<int> answers = {}, replies = {};
    std::size_t produced = 0;
    wchar_t* current = nullptr;
    Names seen = {};
    int freed = 0;
};
StackRun g_run;
int Produce(void** slot, void*) {
    if (g_run.produced >= g_run.answers.size()) return -1;
    int status = 0;
    g_run.current = _WORD_Dup(&status, (L"n" + std::to_wstring(g_run.produced)).c_str());
    *slot = &g_run.current;
    return g_run.answers[g_run.produced++];
}
int Visit(void* element, void*) {
    return g_run.seen.emplace_back(*static_cast<wchar_t**>(element)), g_run.replies[g_run.seen.size() - 1];
}
void FreeName(void* element) {
    int status = 0;
    _WORD_Free(&status, element);
    EXPECT_EQ(*static_cast<wchar_t**>(element), nullptr);
    ++g_run.freed;
}

TEST(KbaseStack, MakeStoresEveryAnswerButMinusOneAndScanReportsTheFirstFailure) {
    int status = -7;
    KSTACK* s = _STACK_Open(&status, 32, static_cast<int>(sizeof(wchar_t*)));
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(status, 0);
    g_run = StackRun{};  // 40 names, more than the initial room; answers other than -1 are not refusals
    for (int i = 0; i < 40; ++i) g_run.answers.push_back(i % 3 == 0 ? 3 : 0);
    EXPECT_RESULT_STATUS(_STACK_Make(&status, s, Produce, nullptr), 0, 0);
    ASSERT_EQ(_STACK_Count(s), 40);
    for (int failure : {7, 0}) {
        g_run.seen.clear();
        g_run.replies.assign(40, 0);
        g_run.replies[5] = failure;
        g_run.replies[9] = failure * 2;  // the first failure is the answer
        EXPECT_RESULT_STATUS(_STACK_Scan(&status, s, Visit, nullptr, nullptr), failure, failure ? 255 : 0);
        ASSERT_EQ(g_run.seen.size(), 40u);  // goes on after a failure
        EXPECT_EQ(g_run.seen.front() + g_run.seen.back(), L"n0n39");
    }
    EXPECT_RESULT_STATUS(_STACK_Del(&status, s, FreeName), 0, 0);
    EXPECT_EQ(g_run.freed, 40);
    EXPECT_RESULT_STATUS(_STACK_Open(&status, 32, 0), nullptr, 255);
    EXPECT_RESULT_STATUS(_STACK_Make(&status, nullptr, Produce, nullptr), 255, 255);
    EXPECT_RESULT_STATUS(_WORD_Dup(&status, nullptr), nullptr, 255);
}

// A cache client with 4-byte labels that keeps every block it hands out: leaks and double frees show.
std::set<void*> g_live;        // blocks handed out and not given back
bool g_smallestFirst = false;  // sort the least recent first

int UseOf(void* entry) { return static_cast<CACHE_ENTRY*>(entry)->use; }

intptr_t Callback(CACHE_BLOCK* block, short op, intptr_t a, intptr_t) {
    void* p = reinterpret_cast<void*>(a);
    switch (op) {
    case 0:
        std::sort(block->table, block->table + block->count,
                  [](void* x, void* y) { return g_smallestFirst ? UseOf(x) < UseOf(y) : UseOf(x) > UseOf(y); });
        return 0;
    case 1:  // filled, so that what the cache leaves unzeroed shows
        return reinterpret_cast<intptr_t>(
            *g_live.insert(std::memset(std::malloc(static_cast<size_t>(a)), 0xCD, static_cast<size_t>(a))).first);
    case 2: EXPECT_TRUE(!p || g_live.erase(p) == 1) << "freed a block it never had"; return std::free(p), 0;
    case 4:  // the object whose label matches
        for (short i = 0; i < block->count; ++i)
            if (std::memcmp(CACHE_LabelPtr(block, block->table[i]), p, CACHE_LABEL_SIZE) == 0)
                return reinterpret_cast<intptr_t>(CACHE_ObjectPtr(block, block->table[i]));
        return 0;
    case 5: return 16;  // the entry layout the client expects: label at 16,
    case 6: return 24;  // object at 24
    default: return 0;
    }
}

// Bytes an object of n bytes takes from the budget.
int Cost(int n) { return (24 + n + 7) / 8 * 8; }

class Cache : public ::testing::Test {
protected:
    void SetUp() override { g_smallestFirst = false; }
    void TearDown() override {
        CACHE_Close(&block);
        EXPECT_TRUE(g_live.empty()) << g_live.size() << " blocks not given back";
    }
    void* Make(int key, int bytes) {
        void* p = &key;
        const short r = CACHE_MakeRoom(&block, &key, bytes, &p);
        EXPECT_TRUE(r == 0 ? p != nullptr : p == nullptr) << "object " << p << " with answer " << r;
        return p;
    }
    void* Get(int key, int* size = nullptr) { return CACHE_GetObject(&block, &key, size); }
    // The keys among 1 to 9 the cache holds, e.g. "134"; looking is not a use.
    std::string Held() {
        std::string s;
        for (int k = 1; k <= 9; ++k)
            if (CACHE_FindObject(&block, &k, nullptr, nullptr)) s += static_cast<char>('0' + k);
        return s;
    }
    CACHE_BLOCK block{};
};

TEST_F(Cache, ObjectsAreZeroedLabelledSizedAndReplaced) {
    ASSERT_EQ(CACHE_Init(&block, Callback, 4096), 0);
    ASSERT_EQ(CACHE_CheckExist(&block), 0);
    auto* a = static_cast<unsigned char*>(Make(1, 100));
    auto* b = static_cast<unsigned char*>(Make(2, 7));
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(std::all_of(a, a + 100, [](unsigned char c) { return c == 0; })) << "a new object is zeroed";
    std::memset(a, 0xAA, 100);
    std::memset(b, 0xBB, 7);  // no overlap
    int size1 = -1, size3 = -1, size2 = -1, key = 2;
    void* entry = nullptr;  // the label at 16, the object at 24
    EXPECT_EQ((std::vector<void*>{Get(1, &size1), Get(3, &size3), CACHE_FindObject(&block, &key, &size2, &entry)}),
              (std::vector<void*>{a, nullptr, b}));
    EXPECT_EQ((std::vector<int>{size1, size3, size2, a[99]}), (std::vector<int>{100, 0, 7, 0xAA}));
    EXPECT_EQ(static_cast<unsigned char*>(entry) + 24, b);
    EXPECT_EQ(std::memcmp(CACHE_LabelPtr(&block, entry), &key, sizeof key), 0);
    ASSERT_NE(Make(1, 50), nullptr);  // room under a label in use replaces the old object
    EXPECT_NE(Get(1, &size1), nullptr);
    EXPECT_EQ((std::vector<long long>{size1, block.count, block.used}), (std::vector<long long>{50, 2, Cost(50) + Cost(7)}));
}

TEST_F(Cache, EvictsTheLeastRecentlyUsedInTheClientsOrder) {
    ASSERT_EQ(CACHE_Init(&block, Callback, 3 * Cost(100)), 0);
    for (int k : {1, 2, 3}) ASSERT_NE(Make(k, 100), nullptr);
    ASSERT_NE(Get(1), nullptr);  // 2 is now the least recently used
    ASSERT_EQ(Held(), "123");
    EXPECT_NE(Make(4, 100), nullptr);
    EXPECT_EQ(Held(), "134");
    ASSERT_NE(Get(3), nullptr);  // room for two at once: the two least recent go
    EXPECT_NE(Make(5, 100 + Cost(100)), nullptr);
    EXPECT_EQ(Held(), "35");
    // An object larger than the budget fails without evicting; the budget itself fits.
    EXPECT_EQ(Make(6, 3 * Cost(100) - 24 + 1), nullptr);
    EXPECT_EQ(Held(), "35");
    EXPECT_EQ((std::vector<void*>{Make(7, 0), Make(7, -3)}), std::vector<void*>(2));
    EXPECT_NE(Make(6, 3 * Cost(100) - 24), nullptr);
    EXPECT_EQ(Held(), "6");
    // The use clock wraps at 3 without losing the order: 1 is still the oldest.
    block.clock = INT_MAX - 3;
    for (int k : {1, 2, 3}) ASSERT_NE(Make(k, 8), nullptr);
    EXPECT_LT(block.clock, 100);
    EXPECT_NE(Make(4, 3 * Cost(100) - 24 - 2 * Cost(8)), nullptr);
    EXPECT_EQ(Held(), "234");

    g_smallestFirst = true;  // the end of the table is now the most recent
    ASSERT_EQ(CACHE_Init(&block, Callback, 2 * Cost(40)), 0);
    for (int k : {1, 2, 3}) ASSERT_NE(Make(k, 40), nullptr);
    EXPECT_EQ(Held(), "13");
}

TEST_F(Cache, FlushingAndClosingGiveEveryBlockBackAndAClosedBlockStoresNothing) {
    ASSERT_EQ(CACHE_Init(&block, Callback, 1 << 20), 0);
    for (int k = 0; k < 40; ++k) ASSERT_NE(Make(k, 10 + k), nullptr) << k;  // the table grows twice
    int key = 7;
    EXPECT_EQ(CACHE_FlushObject(&block, &key), 0);
    EXPECT_EQ(CACHE_FlushObject(&block, &key), -1);
    EXPECT_EQ(Held(), "12345689");
    CACHE_Flush(&block);
    EXPECT_EQ((std::vector<std::size_t>{std::size_t(block.count), std::size_t(block.used), g_live.size()}),
              (std::vector<std::size_t>{0, 0, 1}))
        << "only the entry table is left";
    ASSERT_NE(Make(3, 10), nullptr) << "usable after a flush";
    CACHE_Close(&block);
    EXPECT_TRUE(g_live.empty() && block.callback == nullptr);
    // A closed block, and one set up without memory, store nothing.
    for (int budget : {1, 0, -5}) {
        ASSERT_TRUE(budget > 0 || CACHE_Init(&block, Callback, budget) == 0);  // 1: the closed block
        EXPECT_NE(CACHE_CheckExist(&block), 0);
        EXPECT_EQ((std::vector<void*>{Make(3, 1), Get(3)}), std::vector<void*>(2));
        EXPECT_EQ(CACHE_FlushObject(&block, &key), -1);
    }
}

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
    for (std::size_t i = 0; i < bytes; ++i) s.replace(at + i, 1, 1, static_cast<char>(v >> (8 * i)));
    return s;
}

std::vector<unsigned char> Load(FILE* f) {
    std::vector<unsigned char> mem(static_cast<std::size_t>(std::max(GRAF_BMP_Size(f), 0)));
    if (mem.empty() || GRAF_BMP_Load(f, mem.data()) != 0) mem.clear();
    return mem;
}

std::uint32_t PixelOf(const std::vector<unsigned char>& obj, int x, int y) {
    std::uint32_t p;
    return std::memcpy(&p, obj.data() + sizeof(GRAF_BMP_INFO) + 4 * (y * GRAF_BMP_Info(obj.data())->width + x), 4), p;
}

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
        EXPECT_NE(files.back(), nullptr);
        if (files.back()) { EXPECT_EQ(std::fseek(files.back(), prefix, SEEK_SET), 0); }
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
                ASSERT_EQ((std::vector<int>{info->width, info->height, info->bitCount, info->topDown}),
                          (std::vector<int>{w, 5, bpp, topDown}));
                for (int i = 0; i < w * 5; ++i) ASSERT_EQ(PixelOf(obj, i % w, i / w), b.pixels[i]) << i;
                info = GRAF_BMP_FInfo(f);
                ASSERT_NE(info, nullptr);  // and the stream is left on the bitmap
                EXPECT_EQ((std::vector<long>{info->width, info->bytes, std::ftell(f)}),
                          (std::vector<long>{w, long(obj.size()), 3}));
            }
    // Palette indexes beyond the declared palette draw black.
    const auto obj = Load(Open(With(Encode(Picture(4, 1, 2), 8), 14 + 32, 1)));  // black, white, black, white
    ASSERT_FALSE(obj.empty());
    EXPECT_EQ(PixelOf(obj, 0, 0), 0u);
    EXPECT_EQ(PixelOf(obj, 1, 0), 0u);
}

TEST_F(Bmp, MalformedBitmapsFailBeforeAnythingIsAllocatedOrDrawn) {
    const std::string good = Encode(Picture(10, 6, 16), 4), good24 = Encode(Picture(10, 6, 1000), 24);
    const std::pair<const char*, std::string> bad[] = {
        {"empty", ""},
        {"headers cut", good.substr(0, 40)},
        {"pixels cut", good.substr(0, good.size() - 1)},
        {"not BM", With(good, 1, 'X', 1)},
        {"core header", With(good, 14, 12)},
        {"odd header size", With(good, 14, 64)},
        {"two planes", With(good, 26, 2, 2)},
        {"16 bpp", With(good24, 28, 16, 2)},
        {"RLE", With(good, 30, 2)},
        {"zero width", With(good, 18, 0)},
        {"negative width", With(good, 18, 0xFFFFFFF6u)},
        {"zero height", With(good, 22, 0)},
        {"most negative height", With(good, 22, 0x80000000u)},
        {"side too long", With(good24, 18, GRAF_BMP_MAX_SIDE + 1)},
        {"palette larger than the depth", With(With(good, 46, 17), 10, 122) + "more"},
        {"pixels inside the palette", With(good, 10, 62)},
        {"pixels past the end", With(good, 10, 0xFFFFFFF0u)},
        {"too many pixels, all there",
         With(With(Encode(Picture(8, 1, 2), 1).substr(0, 62), 18, 4097), 22, 4096) + std::string(516 * 4096, '\0')},
    };
    GRAF_CanvasSize(20, 20);
    for (const auto& b : bad) {
        SCOPED_TRACE(b.first);
        FILE* f = Open(b.second);
        ASSERT_EQ(GRAF_BMP_Size(f), -1);
        ASSERT_EQ(GRAF_BMP_FInfo(f), nullptr);
        std::vector<unsigned char> mem(64 * 1024, 0xEE);
        EXPECT_NE(GRAF_BMP_Load(f, mem.data()), 0);
        EXPECT_NE(GRAF_BMP_FRead(0, 0, f), 0);
        EXPECT_EQ(GRAF_CanvasPixel(0, 0), GRAF_CANVAS_BACKGROUND);
        EXPECT_EQ(std::ftell(f), 0);
    }
    const char junk[64] = {1, 2, 3};
    EXPECT_EQ((std::vector<const void*>{GRAF_BMP_FInfo(nullptr), GRAF_BMP_Info(nullptr), GRAF_BMP_Info(junk)}),
              std::vector<const void*>(3));
    EXPECT_EQ((std::vector<int>{GRAF_BMP_Size(nullptr), GRAF_BMP_Show(0, 0, junk)}), std::vector<int>(2, -1));
}

// Drawing clips at every side; the saved canvas reads back pixel for pixel.
TEST_F(Canvas, DrawsClipsAndSaves) {
    const Bitmap b = Picture(5, 4, 1000);
    const auto obj = Load(Open(Encode(b, 24)));
    ASSERT_FALSE(obj.empty());
    ASSERT_EQ(GRAF_CanvasSize(10, 9), 0);
    ASSERT_EQ(GRAF_BMP_Show(-2, -1, obj.data()), 0);
    ASSERT_EQ(GRAF_BMP_FRead(7, 6, Open(Encode(b, 32, true))), 0);
    using Pixels = std::vector<std::uint32_t>;
    auto at = [](short x, short y) { return static_cast<std::uint32_t>(GRAF_CanvasPixel(x, y)); };
    const auto background = static_cast<std::uint32_t>(GRAF_CANVAS_BACKGROUND);
    EXPECT_EQ((Pixels{at(0, 0), at(2, 2), at(3, 0), at(7, 6), at(9, 8), at(6, 8)}),
              (Pixels{b.pixels[7], b.pixels[19], background, b.pixels[0], b.pixels[12], background}));
    const std::wstring out = dir.file(L"canvas.bmp");
    ASSERT_EQ(GRAF_CanvasSave(out.c_str()), 0);
    const auto saved = Load(files.emplace_back(std::fopen(kuttest::Narrow(out).c_str(), "rb")));
    ASSERT_FALSE(saved.empty());
    ASSERT_EQ(GRAF_BMP_Info(saved.data())->bitCount, 24);
    for (short i = 0; i < 90; ++i)
        ASSERT_EQ(PixelOf(saved, i % 10, i / 10), static_cast<std::uint32_t>(GRAF_CanvasPixel(i % 10, i / 10))) << i;
    // Outside the canvas nothing is read; sizes beyond the limits keep the canvas.
    EXPECT_EQ((std::vector<int>{GRAF_CanvasSave(dir.file(L"no/such/folder.bmp").c_str()), GRAF_CanvasSave(nullptr),
                                GRAF_CanvasSize(-1, 5), GRAF_CanvasSize(5, GRAF_BMP_MAX_SIDE + 1)}),
              std::vector<int>(4, -1));
    EXPECT_NE(at(9, 8), ~0u);
    EXPECT_EQ((Pixels{at(10, 0), at(0, 9), at(-1, 0)}), Pixels(3, ~0u));
}

#if defined(KUT_TESTING)
constexpr int W = KBASE_PATHS_WINDOWS, P = KBASE_PATHS_POSIX, kNativeIs = kSep == L'\\' ? W : P;

// What a fake system answers: the folders listed, the names a listing gives
// ("sub" a folder), the current folder (empty: none), the stat answers by the
// end of the path, the streams asked for (all refused).
KBASE_SYSCALLS g_real;
Names g_listed, g_entries, g_opened;
std::wstring g_cwd;
std::vector<std::pair<std::wstring, unsigned short>> g_stats;

int FakeList(const wchar_t* dir, KBASE_LIST_SINK sink, void* ctx) {
    g_listed.emplace_back(dir);
    for (const std::wstring& e : g_entries) sink(ctx, e.c_str(), e == L"sub");
    return 0;
}
int FakeCwd(wchar_t* out, size_t cap) {
    if (g_cwd.empty() || g_cwd.size() >= cap) return -1;
    return std::wcscpy(out, g_cwd.c_str()), 0;
}
int FakeStat(const wchar_t* path, KBASE_STAT* out) {
    const std::wstring p = path;
    for (const auto& [name, mode] : g_stats)
        if (p.size() >= name.size() && p.compare(p.size() - name.size(), name.size(), name) == 0)
            return *out = KBASE_STAT{0, 0, mode, (mode & 0xF000) == 0x4000}, 0;
    return -1;
}
FILE* RefusingOpen(const wchar_t* path, const char* mode) {
    g_opened.push_back(std::wstring(path) + L" " + kuttest::Widen(mode));
    return nullptr;
}

class PathStyle : public ::testing::Test {
protected:
    void SetUp() override {
        KBASE_TestGetSyscalls(&g_real);
        KBASE_SYSCALLS s = g_real;
        s.list = FakeList, s.cwd = FakeCwd, s.stat = FakeStat, s.open = RefusingOpen;
        KBASE_TestSetSyscalls(&s);
    }
    void TearDown() override {
        KBASE_TestSetSyscalls(nullptr);
        KBASE_TestSetPathStyle(KBASE_PATHS_NATIVE);
        for (short kind : {1, 2, 3}) REP_SetRepert(kind, nullptr);
    }
};

// What one service makes of `in`: '+' and '-' add and cut an end of path,
// 's' splits into "drive|dir|name|ext", 'm' merges such parts ("-1 out" when
// it fails), 'f' lists "folder listed: names found", 'r' names x.dll in the
// folder `in`.
std::wstring Apply(char op, const std::wstring& in) {
    wchar_t out[260] = L"?";
    wchar_t *drive, *dir, *name, *ext;
    Names p;
    for (std::size_t at = 0, bar = 0; bar != std::wstring::npos; at = bar + 1)
        p.push_back(in.substr(at, (bar = in.find(L'|', at)) - at));
    int failed = 0;
    switch (op) {
    case '+':
    case '-':
        std::wcscpy(out, in.c_str());
        (op == '+' ? REP_AddEndOfPath : REP_CutEndOfPath)(out);
        break;
    case 's':
        SYS_FileSplit(in.c_str(), &drive, &dir, &name, &ext);
        return std::wstring(drive) + L"|" + dir + L"|" + name + L"|" + ext;
    case 'm': failed = SYS_FileMerge(out, p[0].c_str(), p[1].c_str(), p[2].c_str(), p[3].c_str()); break;
    case 'f': {
        g_listed.clear();
        std::wstring found;
        for (const std::wstring& n : Find(in)) found += L" " + n;
        return (g_listed.size() == 1 ? g_listed[0] : L"<" + std::to_wstring(g_listed.size()) + L" listings>") + L":" + found;
    }
    default: REP_SetRepert(2, in.c_str()), failed = REP_Repert(0, 2, L"x.dll", out);
    }
    return (failed ? L"-1 " : L"") + std::wstring(out);
}

// Pairs of input and result for a syntax ('W'indows or 'P'osix) and a service.
struct Rows {
    const char* syntaxAndOp;
    Names pairs;
};

// A slash ends a path in both syntaxes, a backslash only in the Windows one;
// roots keep their separator; parts and merges stay within 260 characters.
// The native syntax's rows run once more under the default selection.
TEST_F(PathStyle, EachSyntaxReadsItsSeparatorsDrivesAndCaseAndWritesItsOwnSeparator) {
    g_entries = {L"b.txt", L"Readme.TXT", L"A.Txt", L"a.dat", L"sub", L"noext", L"c.txt.bak"};
    const std::wstring dirs(250, L'd');
    const Rows table[] = {
        {"W+", {L"a/b", L"a/b\\", L"a/b/", L"a/b/", L"a\\b\\", L"a\\b\\", L"C:", L"C:\\"}},
        {"W-", {L"a\\b\\", L"a\\b", L"a/b/", L"a/b", L"a\\b\\/", L"a\\b\\", L"C:\\", L"C:\\", L"C:/", L"C:/", L"\\", L"\\"}},
        {"P+", {L"a/b", L"a/b/", L"a\\b\\", L"a\\b\\/"}},
        {"P-", {L"a/b//", L"a/b/", L"a\\b\\", L"a\\b\\", L"/", L"/"}},
        {"Wr", {L"C:/data", L"C:/data\\x.dll", L"C:/data/", L"C:/data/x.dll"}},
        {"Pr", {L"/data", L"/data/x.dll", L"data\\", L"data\\/x.dll"}},
        {"Ws",
         {L"C:\\d\\report.v2.txt", L"C:|\\d\\|report.v2|.txt", L"c:name.txt", L"c:||name|.txt", L"d/e\\f.x", L"|d/e\\|f|.x"}},
        {"Ps",
         {L"C:\\d\\f.txt", L"||C:\\d\\f|.txt", L"C:/d/f.txt", L"|C:/d/|f|.txt", L"x/.profile", L"|x/|.profile|",
          std::wstring(400, L'n'), L"||" + std::wstring(259, L'n') + L"|"}},
        {"Wm", {L"C:|\\d|f|txt", L"C:\\d\\f.txt", L"|d/|f|.x", L"d/f.x"}},
        {"Pm",
         {L"|d|f|x", L"d/f.x", L"|d\\|f|x", L"d\\/f.x", L"|" + dirs + L"|nnnnn|.ee", dirs + L"/nnnnn.ee",
          L"|" + dirs + L"|nnnnnn|.ee", L"-1 "}},
        {"Wf",
         {L"*.txt", L".: A.Txt Readme.TXT b.txt", L"A.*", L".: A.Txt a.dat", L"C:*.TXT", L"C:: A.Txt Readme.TXT b.txt",
          L"C:\\x\\a*", L"C:\\x: A.Txt a.dat", L"C:\\*.dat", L"C:\\: a.dat"}},
        {"Pf",
         {L"*.txt", L".: b.txt", L"C:*.txt", L".:", L"d\\*.txt", L".:", L"/x/*.TXT", L"/x: Readme.TXT", L"/*.dat", L"/: a.dat",
          L"*.*", L".: A.Txt Readme.TXT a.dat b.txt c.txt.bak noext", L"?.txt", L".: b.txt", L"*t*t*", L".: b.txt c.txt.bak",
          L"*t*t", L".: b.txt"}},
    };
    for (const Rows& t : table) {
        const int syntax = t.syntaxAndOp[0] == 'W' ? W : P;
        for (std::size_t i = 0; i + 1 < t.pairs.size(); i += 2) {
            for (int style : {syntax, syntax == kNativeIs ? KBASE_PATHS_NATIVE : syntax}) {
                SCOPED_TRACE(testing::Message() << style << " " << t.syntaxAndOp << " " << Narrow(t.pairs[i]));
                KBASE_TestSetPathStyle(style);
                EXPECT_EQ(Apply(t.syntaxAndOp[1], t.pairs[i]), t.pairs[i + 1]);
            }
        }
    }
}

// The current folder, a configuration file's type and the canvas file come from the table.
TEST_F(PathStyle, CurrentFolderStatAndCanvasFileComeFromTheTable) {
    kuttest::SetEnv("KBASE_ROOT", nullptr);
    kuttest::SetEnv("KBASE_DIR_3", nullptr);
    const std::wstring sep(1, kSep);
    wchar_t out[260];
    g_cwd = L"/fake" + sep + L"cwd";
    EXPECT_EQ(REP_Repert(0, 3, L"n", out), 0);
    EXPECT_EQ(std::wstring(out), g_cwd + sep + L"n");
    g_cwd.clear();  // no current folder: the relative one
    EXPECT_EQ(REP_Repert(0, 3, L"n", out), 0);
    EXPECT_EQ(std::wstring(out), L"." + sep + L"n");

    // Only a regular file (by the type bits of its mode) is a configuration
    // file; the first folder searched that holds one wins.
    REP_SetRepert(1, L"cfg");
    REP_SetRepert(2, L"lang");
    g_stats = {
        {L"cfg" + sep + L"dir.cfg", 0x41ED}, {L"fifo.cfg", 0x11A4}, {L"reg.cfg", 0x81A4}, {L"lang" + sep + L"dir.cfg", 0x81A4}};
    const Names rows[] = {{L"reg.cfg", L"cfg" + sep + L"reg.cfg"},
                          {L"fifo.cfg", L""},
                          {L"dir.cfg", L"lang" + sep + L"dir.cfg"},
                          {L"none.cfg", L""}};
    for (const Names& r : rows) {
        SCOPED_TRACE(Narrow(r[0]));
        wchar_t path[260] = L"?";
        short found = 7;
        const int want = r[1].empty() ? 0 : 1;
        EXPECT_EQ(REP_ChkCfg(270, r[0].c_str(), path, &found) * 10 + found, want * 11);
        EXPECT_EQ(std::wstring(path), r[1]);
    }
    ASSERT_EQ(GRAF_CanvasSize(2, 2), 0);
    EXPECT_EQ(GRAF_CanvasSave(L"canvas.bmp"), -1);
    EXPECT_EQ(g_opened, Names{L"canvas.bmp wb"});
}
#endif

}  // namespace
