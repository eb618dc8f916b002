#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>

#include "kbase/cache.h"

namespace {

// A client of the object cache with 4-byte labels, which keeps count of
// every block it hands out so that a test can see leaks and double frees.
struct Client {
    std::set<void*> live;
    int sorts = 0;
    long failAllocAfter = -1;  // allocations still granted; -1: all
    bool smallestFirst = false;
    bool wrongLayout = false;
};
Client* g_client = nullptr;

struct Label {
    short a;
    short b;
};

intptr_t Callback(CACHE_BLOCK* block, short op, intptr_t a, intptr_t b) {
    Client& c = *g_client;
    switch (op) {
    case 0: {
        ++c.sorts;
        auto by = [&](void* x, void* y) {
            const int ux = static_cast<CACHE_ENTRY*>(x)->use, uy = static_cast<CACHE_ENTRY*>(y)->use;
            return c.smallestFirst ? ux < uy : ux > uy;
        };
        std::sort(block->table, block->table + block->count, by);
        return 0;
    }
    case 1: {
        if (c.failAllocAfter == 0) return 0;
        if (c.failAllocAfter > 0) --c.failAllocAfter;
        void* p = std::calloc(1, static_cast<size_t>(a));
        c.live.insert(p);
        return reinterpret_cast<intptr_t>(p);
    }
    case 2:
        if (a) {
            EXPECT_EQ(c.live.erase(reinterpret_cast<void*>(a)), 1u) << "freed a block it never had";
        }
        std::free(reinterpret_cast<void*>(a));
        return 0;
    case 3:
        return std::memcmp(reinterpret_cast<void*>(a), reinterpret_cast<void*>(b), sizeof(Label));
    case 4:
        for (short i = 0; i < block->count; ++i) {
            if (block->callback(block, 3, a, reinterpret_cast<intptr_t>(CACHE_LabelPtr(block, block->table[i]))) == 0) {
                return reinterpret_cast<intptr_t>(CACHE_ObjectPtr(block, block->table[i]));
            }
        }
        return 0;
    case 5:
        return c.wrongLayout ? 8 : 16;
    case 6:
        return 24;
    default:
        return 0;
    }
}

// Bytes an object of n bytes takes from the budget.
int Cost(int n) { return (24 + n + 7) / 8 * 8; }

class Cache : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(&block, 0, sizeof block);
        g_client = &client;
    }
    void TearDown() override {
        CACHE_Close(&block);
        EXPECT_TRUE(client.live.empty()) << client.live.size() << " blocks not given back";
        g_client = nullptr;
    }
    void* Make(short key, int bytes) {
        Label l{key, 0};
        void* p = nullptr;
        return CACHE_MakeRoom(&block, &l, bytes, &p) == 0 ? p : nullptr;
    }
    void* Get(short key, int* size = nullptr) {
        Label l{key, 0};
        return CACHE_GetObject(&block, &l, size);
    }
    bool Has(short key) {
        Label l{key, 0};
        return CACHE_FindObject(&block, &l, nullptr, nullptr) != nullptr;
    }
    CACHE_BLOCK block;
    Client client;
};

TEST_F(Cache, ABlockNeverSetUpOrWithoutMemoryStoresNothing) {
    Label l{1, 2};
    void* p = reinterpret_cast<void*>(1);
    EXPECT_NE(CACHE_CheckExist(&block), 0);
    EXPECT_NE(CACHE_MakeRoom(&block, &l, 10, &p), 0);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(CACHE_GetObject(&block, &l, nullptr), nullptr);
    EXPECT_EQ(CACHE_FlushObject(&block, &l), -1);
    CACHE_Flush(&block);
    CACHE_Close(&block);

    for (int budget : {0, -5}) {
        ASSERT_EQ(CACHE_Init(&block, Callback, budget), 0);
        EXPECT_NE(CACHE_CheckExist(&block), 0);
        p = reinterpret_cast<void*>(1);
        EXPECT_NE(CACHE_MakeRoom(&block, &l, 1, &p), 0);
        EXPECT_EQ(p, nullptr);
        EXPECT_TRUE(client.live.empty());
    }
}

TEST_F(Cache, AClientExpectingAnotherLayoutGetsACacheWithoutMemory) {
    client.wrongLayout = true;
    EXPECT_EQ(CACHE_Init(&block, Callback, 4096), -1);
    EXPECT_NE(CACHE_CheckExist(&block), 0);
    EXPECT_EQ(Make(1, 10), nullptr);
}

TEST_F(Cache, ObjectsAreZeroedLabelledAndSized) {
    ASSERT_EQ(CACHE_Init(&block, Callback, 4096), 0);
    EXPECT_EQ(CACHE_CheckExist(&block), 0);
    auto* a = static_cast<unsigned char*>(Make(1, 100));
    auto* b = static_cast<unsigned char*>(Make(2, 7));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(std::all_of(a, a + 100, [](unsigned char c) { return c == 0; }));
    std::memset(a, 0xAA, 100);
    std::memset(b, 0xBB, 7);

    int size = -1;
    EXPECT_EQ(Get(1, &size), a);
    EXPECT_EQ(size, 100);
    EXPECT_EQ(Get(2, &size), b);
    EXPECT_EQ(size, 7);
    EXPECT_EQ(Get(3, &size), nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(a[99], 0xAA);

    // The entry keeps the label at 16 and the object at 24.
    Label l{2, 0};
    void* entry = nullptr;
    EXPECT_EQ(CACHE_FindObject(&block, &l, &size, &entry), b);
    EXPECT_EQ(static_cast<unsigned char*>(entry) + 24, b);
    EXPECT_EQ(std::memcmp(CACHE_LabelPtr(&block, entry), &l, sizeof l), 0);
    EXPECT_EQ(block.count, 2);
    EXPECT_EQ(block.used, Cost(100) + Cost(7));
}

TEST_F(Cache, EvictsTheLeastRecentlyUsedThroughTheClientsOrder) {
    ASSERT_EQ(CACHE_Init(&block, Callback, 3 * Cost(100)), 0);
    ASSERT_NE(Make(1, 100), nullptr);
    ASSERT_NE(Make(2, 100), nullptr);
    ASSERT_NE(Make(3, 100), nullptr);
    EXPECT_EQ(client.sorts, 0) << "no room needed yet";
    ASSERT_NE(Get(1), nullptr);  // 2 is now the least recently used
    EXPECT_TRUE(Has(2));         // a probe is not a use
    ASSERT_NE(Make(4, 100), nullptr);
    EXPECT_GT(client.sorts, 0);
    EXPECT_TRUE(Has(1));
    EXPECT_FALSE(Has(2));
    EXPECT_TRUE(Has(3));
    EXPECT_TRUE(Has(4));

    // Room for two at once: the two least recent go.
    ASSERT_NE(Get(3), nullptr);
    ASSERT_NE(Make(5, 100 + Cost(100)), nullptr);
    EXPECT_TRUE(Has(3));
    EXPECT_TRUE(Has(5));
    EXPECT_FALSE(Has(1));
    EXPECT_FALSE(Has(4));
    EXPECT_LE(block.used, block.budget);
}

TEST_F(Cache, EvictionFollowsWhateverOrderTheClientGives) {
    client.smallestFirst = true;  // the end of the table is now the most recent
    ASSERT_EQ(CACHE_Init(&block, Callback, 2 * Cost(40)), 0);
    ASSERT_NE(Make(1, 40), nullptr);
    ASSERT_NE(Make(2, 40), nullptr);
    ASSERT_NE(Make(3, 40), nullptr);
    EXPECT_TRUE(Has(1));
    EXPECT_FALSE(Has(2));
    EXPECT_TRUE(Has(3));
}

TEST_F(Cache, AnObjectLargerThanTheBudgetFailsWithoutEvicting) {
    ASSERT_EQ(CACHE_Init(&block, Callback, 256), 0);
    ASSERT_NE(Make(1, 100), nullptr);
    EXPECT_EQ(Make(2, 256 - 24 + 1), nullptr);
    EXPECT_TRUE(Has(1));
    EXPECT_NE(Make(3, 256 - 24), nullptr) << "exactly the budget fits";
    EXPECT_FALSE(Has(1));
    EXPECT_EQ(Make(4, 0), nullptr);
    EXPECT_EQ(Make(5, -3), nullptr);
}

TEST_F(Cache, RoomUnderALabelInUseReplacesTheOldObject) {
    ASSERT_EQ(CACHE_Init(&block, Callback, 4096), 0);
    ASSERT_NE(Make(1, 100), nullptr);
    ASSERT_NE(Make(1, 50), nullptr);
    int size = 0;
    EXPECT_NE(Get(1, &size), nullptr);
    EXPECT_EQ(size, 50);
    EXPECT_EQ(block.count, 1);
    EXPECT_EQ(block.used, Cost(50));
}

TEST_F(Cache, FlushingDropsObjectsAndGivesTheirMemoryBack) {
    ASSERT_EQ(CACHE_Init(&block, Callback, 1 << 20), 0);
    for (short k = 0; k < 40; ++k) ASSERT_NE(Make(k, 10 + k), nullptr) << k;  // the table grows twice
    EXPECT_EQ(block.count, 40);
    Label l{7, 0};
    EXPECT_EQ(CACHE_FlushObject(&block, &l), 0);
    EXPECT_EQ(CACHE_FlushObject(&block, &l), -1);
    EXPECT_FALSE(Has(7));
    EXPECT_TRUE(Has(8));
    EXPECT_EQ(block.count, 39);

    CACHE_Flush(&block);
    EXPECT_EQ(block.count, 0);
    EXPECT_EQ(block.used, 0);
    EXPECT_EQ(client.live.size(), 1u) << "only the entry table is left";
    EXPECT_NE(Make(3, 10), nullptr) << "usable after a flush";

    CACHE_Close(&block);
    EXPECT_TRUE(client.live.empty());
    EXPECT_EQ(block.callback, nullptr);
    EXPECT_NE(CACHE_CheckExist(&block), 0);
}

TEST_F(Cache, InitOnALiveBlockDropsItsObjects) {
    ASSERT_EQ(CACHE_Init(&block, Callback, 4096), 0);
    ASSERT_NE(Make(1, 100), nullptr);
    ASSERT_EQ(CACHE_Init(&block, Callback, 4096), 0);
    EXPECT_FALSE(Has(1));
    EXPECT_TRUE(client.live.empty());
}

TEST_F(Cache, ARefusedAllocationFailsCleanly) {
    ASSERT_EQ(CACHE_Init(&block, Callback, 4096), 0);
    client.failAllocAfter = 0;  // not even the entry table
    EXPECT_EQ(Make(1, 10), nullptr);
    client.failAllocAfter = 1;  // the table, not the entry
    EXPECT_EQ(Make(1, 10), nullptr);
    EXPECT_EQ(block.count, 0);
    EXPECT_EQ(block.used, 0);
    client.failAllocAfter = -1;
    EXPECT_NE(Make(1, 10), nullptr);
}

TEST_F(Cache, TheUseClockWrapsWithoutLosingTheOrder) {
    ASSERT_EQ(CACHE_Init(&block, Callback, 3 * Cost(8)), 0);
    block.clock = INT_MAX - 3;
    ASSERT_NE(Make(1, 8), nullptr);
    ASSERT_NE(Make(2, 8), nullptr);
    ASSERT_NE(Make(3, 8), nullptr);  // renumbered here
    EXPECT_LT(block.clock, 100);
    ASSERT_NE(Get(1), nullptr);
    ASSERT_NE(Make(4, 8), nullptr);
    EXPECT_TRUE(Has(1));
    EXPECT_FALSE(Has(2));
    EXPECT_TRUE(Has(3));
}

}  // namespace
