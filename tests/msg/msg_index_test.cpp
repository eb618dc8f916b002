// Mode 4 lookups through the number index must answer exactly as the
// bisection does: the entry BSearch(number, m_Count) designates, or an empty
// text. Checked over random libraries, after SortSet, after copies and after
// outside changes of the table.
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include "kut/msg.h"
#include "kut/testing.h"
#include "msg_test_util.h"

using msgtest::LangDirTest;
using msgtest::Strings;

namespace {

// Numbers a lookup may receive that no table of a string library holds.
const KLONG kOddNumbers[] = {INT32_MIN, -65536, -2, -1, 0, 65535, 65536, 65537, 131071, INT32_MAX};

// Every number from `from` to `to` and the odd ones: text() gives the very
// entry BSearch designates, or an empty text that is not m_Text.
::testing::AssertionResult LooksUpAsBisection(K_MSG& msg, KLONG from, KLONG to) {
    auto check = [&msg](KLONG id) -> ::testing::AssertionResult {
        const int pos = msg.BSearch(id, msg.m_Count);
        const wchar_t* got = msg.text(id);
        if (pos < 0) {
            if (got == nullptr || got[0] != L'\0' || got == msg.m_Text) {
                return ::testing::AssertionFailure() << "number " << id << " should give the constant empty text";
            }
        } else if (got != msg.m_Items[pos].pText) {
            return ::testing::AssertionFailure() << "number " << id << " should give the entry at " << pos;
        }
        return ::testing::AssertionSuccess();
    };
    for (KLONG id = from; id <= to; ++id) {
        auto r = check(id);
        if (!r) return r;
    }
    for (KLONG id : kOddNumbers) {
        auto r = check(id);
        if (!r) return r;
    }
    return ::testing::AssertionSuccess();
}

// `count` distinct numbers from 1 to `top`, each with its own text.
Strings RandomStrings(std::mt19937& gen, int count, unsigned top) {
    std::uniform_int_distribution<unsigned> pick(1, top);
    Strings out;
    while (static_cast<int>(out.size()) < count) {
        const unsigned id = pick(gen);
        out[id] = L"text " + std::to_wstring(id);
    }
    return out;
}

class MsgIndex : public LangDirTest {
protected:
    // Writes module RAND (logic and output language) and builds its table.
    void Write(const Strings& strings) {
        WriteLib(L"RAND_001.dll", strings);
        WriteLib(L"RAND_002.dll", {});
    }
};

}  // namespace

TEST_F(MsgIndex, RandomTablesLookUpAsBisection) {
    std::mt19937 gen(20261205);
    const struct {
        int count;
        unsigned top;
    } shapes[] = {{1, 1}, {1, 65535}, {7, 20}, {300, 400}, {500, 65535}, {5000, 6000}, {65535, 65535}};
    for (const auto& s : shapes) {
        Write(RandomStrings(gen, s.count, s.top));
        // Bounds below, at and above the highest number.
        for (KLONG bound : {static_cast<KLONG>(s.top / 2 + 1), static_cast<KLONG>(s.top + 1), KLONG{65536}}) {
            K_MSG msg(L"RAND", 0, bound, 0, 0);
            SCOPED_TRACE(::testing::Message() << s.count << " strings up to " << s.top << ", bound " << bound);
            EXPECT_EQ(KMsgTestAccess::Indexed(msg), msg.m_Count > 0);
            EXPECT_TRUE(LooksUpAsBisection(msg, -3, static_cast<KLONG>(s.top) + 3));
        }
    }
}

TEST_F(MsgIndex, SortSetAndCopiesKeepTheBisectionsAnswer) {
    std::mt19937 gen(7);
    Write(RandomStrings(gen, 450, 1000));
    K_MSG msg(L"RAND", 0, 65536, 0, 0);
    ASSERT_EQ(msg.m_Count, 450);
    ASSERT_TRUE(KMsgTestAccess::Indexed(msg));

    // A unique table copied: the copy answers from its own entries.
    K_MSG copied(msg);
    EXPECT_TRUE(KMsgTestAccess::Indexed(copied));
    EXPECT_TRUE(LooksUpAsBisection(copied, 0, 1001));
    EXPECT_NE(copied.text(msg.m_Items[0].nId), msg.m_Items[0].pText);

    // Duplicates, a new smallest and a new largest number. The last growth
    // (at 396 texts, to 498 entries) leaves room for these 22 insertions.
    // Which of equal numbers is found is BSearch's choice.
    std::uniform_int_distribution<int> anyPos(0, msg.m_Count - 1);
    for (int i = 0; i < 20; ++i) {
        msg.SortSet(L"again", msg.m_Items[anyPos(gen)].nId, msg.m_Count);
        ++msg.m_Count;
        EXPECT_FALSE(KMsgTestAccess::Indexed(msg));
        ASSERT_TRUE(LooksUpAsBisection(msg, 0, 1001)) << "after " << i + 1 << " duplicates";
    }
    // Assigning the table with duplicates: no index, same answers.
    copied = msg;
    EXPECT_FALSE(KMsgTestAccess::Indexed(copied));
    EXPECT_TRUE(LooksUpAsBisection(copied, 0, 1001));

    msg.SortSet(L"first", -5, msg.m_Count);
    ++msg.m_Count;
    msg.SortSet(L"last", 70000, msg.m_Count);
    ++msg.m_Count;
    EXPECT_STREQ(msg.text(-5), L"first");
    EXPECT_STREQ(msg.text(70000), L"last");
    EXPECT_TRUE(LooksUpAsBisection(msg, -6, 1001));

    // Assigning a fresh unique table brings the index back.
    K_MSG fresh(L"RAND", 0, 65536, 0, 0);
    copied = fresh;
    EXPECT_TRUE(KMsgTestAccess::Indexed(copied));
    EXPECT_EQ(copied.m_Count, 450);
    EXPECT_TRUE(LooksUpAsBisection(copied, -6, 1001));

    // A second filling replaces the table and its index.
    msg.LoadAllStrings(500);
    EXPECT_TRUE(KMsgTestAccess::Indexed(msg));
    EXPECT_TRUE(LooksUpAsBisection(msg, -6, 1001));
    EXPECT_STREQ(msg.text(700), L"");
}

TEST_F(MsgIndex, SortSetMovingEntriesWithoutCountingThemIsSeen) {
    Write({{10, L"ten"}, {20, L"twenty"}, {30, L"thirty"}});
    K_MSG msg(L"RAND", 0, 65536, 0, 0);
    ASSERT_TRUE(KMsgTestAccess::Indexed(msg));
    // Count and array stay as they were; only the positions move.
    msg.SortSet(L"fifteen", 15, msg.m_Count);
    EXPECT_STREQ(msg.text(10), L"ten");
    EXPECT_STREQ(msg.text(15), L"fifteen");
    EXPECT_STREQ(msg.text(20), L"twenty");
    EXPECT_STREQ(msg.text(30), L"");   // moved beyond the counted entries
    EXPECT_TRUE(LooksUpAsBisection(msg, 0, 40));
    // The uncounted entry is not the object's to release.
    std::free(msg.m_Items[msg.m_Count].pText);
}

TEST_F(MsgIndex, OutsideChangesOfCountOrArrayAreSeen) {
    Strings strings;
    for (unsigned id = 1; id <= 200; ++id) strings[id] = L"t" + std::to_wstring(id);
    Write(strings);
    K_MSG msg(L"RAND", 0, 65536, 0, 0);
    ASSERT_EQ(msg.m_Count, 200);
    const int full = msg.m_Count;
    msg.m_Count = 50;
    EXPECT_STREQ(msg.text(50), L"t50");
    EXPECT_STREQ(msg.text(51), L"");
    EXPECT_TRUE(LooksUpAsBisection(msg, 0, 201));
    msg.m_Count = full;
    EXPECT_STREQ(msg.text(51), L"t51");

    // The array handed to someone else and an empty one put in its place.
    MSG_ITEM* kept = msg.m_Items;
    msg.m_Items = static_cast<MSG_ITEM*>(std::malloc(4 * sizeof(MSG_ITEM)));
    ASSERT_NE(msg.m_Items, nullptr);
    msg.m_Count = 0;
    EXPECT_STREQ(msg.text(7), L"");
    msg.SortSet(L"seven", 7, 0);
    msg.m_Count = 1;
    EXPECT_STREQ(msg.text(7), L"seven");
    EXPECT_STREQ(msg.text(8), L"");
    for (int i = 0; i < full; ++i) std::free(kept[i].pText);
    std::free(kept);
}

TEST_F(MsgIndex, NumbersAboveTheStringRangeAreSearched) {
    // Numbers from 65536 on read strings 0, 1, 2 ... again, so a bound above
    // 65536 stores numbers that the index does not cover.
    Write({{1, L"one"}, {3, L"three"}, {65535, L"last"}});
    K_MSG msg(L"RAND", 0, 65540, 0, 0);
    EXPECT_FALSE(KMsgTestAccess::Indexed(msg));
    EXPECT_STREQ(msg.text(65535), L"last");
    EXPECT_TRUE(LooksUpAsBisection(msg, 0, 65545));
}

#if defined(KUT_TESTING)
TEST_F(MsgIndex, WithoutMemoryForTheIndexTheBisectionServes) {
    Strings strings;
    for (unsigned id = 1; id <= 50; ++id) strings[id * 3] = L"t" + std::to_wstring(id * 3);
    Write(strings);
    // Allocations: the table, the 50 texts, then the index.
    KUT_TestFailAlloc(51, 0);
    K_MSG msg(L"RAND", 0, 65536, 0, 0);
    EXPECT_EQ(KUT_TestAllocFailures(), 1);
    KUT_TestFailAlloc(-1, 0);
    ASSERT_EQ(msg.m_Count, 50);
    EXPECT_FALSE(KMsgTestAccess::Indexed(msg));
    EXPECT_STREQ(msg.text(150), L"t150");
    EXPECT_TRUE(LooksUpAsBisection(msg, 0, 160));

    // A copy whose index cannot be allocated: table copy, 50 texts, index.
    KUT_TestFailAlloc(51, 0);
    K_MSG copy(msg);
    KUT_TestFailAlloc(-1, 0);
    EXPECT_FALSE(KMsgTestAccess::Indexed(copy));
    EXPECT_TRUE(LooksUpAsBisection(copy, 0, 160));
}
#endif
