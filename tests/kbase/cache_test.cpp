// The object cache, through a client with 4-byte labels that keeps every
// block it hands out, so that leaks and double frees show.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "kbase/cache.h"

namespace {

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
    case 1:
        p = std::calloc(1, static_cast<size_t>(a));
        g_live.insert(p);
        return reinterpret_cast<intptr_t>(p);
    case 2:
        EXPECT_TRUE(!p || g_live.erase(p) == 1) << "freed a block it never had";
        std::free(p);
        return 0;
    case 4:  // the object whose label matches
        for (short i = 0; i < block->count; ++i) {
            if (std::memcmp(CACHE_LabelPtr(block, block->table[i]), p, CACHE_LABEL_SIZE) == 0)
                return reinterpret_cast<intptr_t>(CACHE_ObjectPtr(block, block->table[i]));
        }
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

TEST_F(Cache, ABlockNeverSetUpOrWithoutMemoryStoresNothing) {
    int key = 1;
    EXPECT_NE(CACHE_CheckExist(&block), 0);
    EXPECT_TRUE(!Make(1, 10) && !Get(1) && CACHE_FlushObject(&block, &key) == -1);
    CACHE_Flush(&block);
    CACHE_Close(&block);
    for (int budget : {0, -5}) {
        EXPECT_EQ(CACHE_Init(&block, Callback, budget), 0);
        EXPECT_NE(CACHE_CheckExist(&block), 0);
        EXPECT_EQ(Make(1, 1), nullptr);
    }
}

TEST_F(Cache, ObjectsAreZeroedLabelledSizedAndReplaced) {
    ASSERT_EQ(CACHE_Init(&block, Callback, 4096), 0);
    EXPECT_EQ(CACHE_CheckExist(&block), 0);
    auto* a = static_cast<unsigned char*>(Make(1, 100));
    auto* b = static_cast<unsigned char*>(Make(2, 7));
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(std::all_of(a, a + 100, [](unsigned char c) { return c == 0; }));
    std::memset(a, 0xAA, 100);
    std::memset(b, 0xBB, 7);
    int size = -1, key = 2;
    EXPECT_TRUE(Get(1, &size) == a && size == 100 && a[99] == 0xAA);
    EXPECT_TRUE(Get(3, &size) == nullptr && size == 0);
    void* entry = nullptr;  // the label at 16, the object at 24
    EXPECT_TRUE(CACHE_FindObject(&block, &key, &size, &entry) == b && size == 7);
    EXPECT_EQ(static_cast<unsigned char*>(entry) + 24, b);
    EXPECT_EQ(std::memcmp(CACHE_LabelPtr(&block, entry), &key, sizeof key), 0);
    ASSERT_NE(Make(1, 50), nullptr);  // room under a label in use replaces the old object
    EXPECT_TRUE(Get(1, &size) && size == 50);
    EXPECT_TRUE(block.count == 2 && block.used == Cost(50) + Cost(7));
}

TEST_F(Cache, EvictsTheLeastRecentlyUsedInTheClientsOrder) {
    ASSERT_EQ(CACHE_Init(&block, Callback, 3 * Cost(100)), 0);
    for (int k : {1, 2, 3}) ASSERT_NE(Make(k, 100), nullptr);
    ASSERT_NE(Get(1), nullptr);  // 2 is now the least recently used
    EXPECT_EQ(Held(), "123");
    ASSERT_NE(Make(4, 100), nullptr);
    EXPECT_EQ(Held(), "134");
    ASSERT_NE(Get(3), nullptr);  // room for two at once: the two least recent go
    ASSERT_NE(Make(5, 100 + Cost(100)), nullptr);
    EXPECT_EQ(Held(), "35");
    // An object larger than the budget fails without evicting; the budget itself fits.
    EXPECT_EQ(Make(6, 3 * Cost(100) - 24 + 1), nullptr);
    EXPECT_EQ(Held(), "35");
    EXPECT_NE(Make(6, 3 * Cost(100) - 24), nullptr);
    EXPECT_EQ(Held(), "6");
    EXPECT_TRUE(!Make(7, 0) && !Make(7, -3));
    // The use clock wraps at 3 without losing the order: 1 is still the oldest.
    block.clock = INT_MAX - 3;
    for (int k : {1, 2, 3}) ASSERT_NE(Make(k, 8), nullptr);
    EXPECT_LT(block.clock, 100);
    ASSERT_NE(Make(4, 3 * Cost(100) - 24 - 2 * Cost(8)), nullptr);
    EXPECT_EQ(Held(), "234");

    g_smallestFirst = true;  // the end of the table is now the most recent
    ASSERT_EQ(CACHE_Init(&block, Callback, 2 * Cost(40)), 0);
    for (int k : {1, 2, 3}) ASSERT_NE(Make(k, 40), nullptr);
    EXPECT_EQ(Held(), "13");
}

TEST_F(Cache, FlushingAndClosingGiveEveryBlockBack) {
    ASSERT_EQ(CACHE_Init(&block, Callback, 1 << 20), 0);
    for (int k = 0; k < 40; ++k) ASSERT_NE(Make(k, 10 + k), nullptr) << k;  // the table grows twice
    int key = 7;
    EXPECT_EQ(CACHE_FlushObject(&block, &key), 0);
    EXPECT_EQ(CACHE_FlushObject(&block, &key), -1);
    EXPECT_TRUE(Held() == "12345689" && block.count == 39);
    CACHE_Flush(&block);
    EXPECT_TRUE(block.count == 0 && block.used == 0);
    EXPECT_EQ(g_live.size(), 1u) << "only the entry table is left";
    EXPECT_NE(Make(3, 10), nullptr) << "usable after a flush";
    ASSERT_EQ(CACHE_Init(&block, Callback, 4096), 0);  // on a live block: its objects go
    EXPECT_TRUE(g_live.empty());
    ASSERT_NE(Make(3, 10), nullptr);
    CACHE_Close(&block);
    EXPECT_TRUE(g_live.empty() && block.callback == nullptr && CACHE_CheckExist(&block) != 0);
}

}  // namespace
