// K_MSG without language libraries: names, fields, markers, the class-wide
// language numbers and the sorted table filled by hand.
#include <cstdlib>
#include <cwchar>
#include <string>

#include "kut/msg.h"
#include "kut/testing.h"
#include "msg_test_util.h"

using msgtest::LangDirTest;

namespace {

// A mode 4 object over libraries that do not exist, with room for `cap`
// entries that the test inserts itself. The object frees the table with the
// library's allocator, which is the C heap.
void GiveRoom(K_MSG& msg, std::size_t cap) {
    msg.m_Items = static_cast<MSG_ITEM*>(std::malloc(cap * sizeof(MSG_ITEM)));
    ASSERT_NE(msg.m_Items, nullptr);
}

void Insert(K_MSG& msg, const wchar_t* text, KLONG id) {
    msg.SortSet(text, id, msg.m_Count);
    ++msg.m_Count;
}

}  // namespace

using MsgNames = LangDirTest;

TEST_F(MsgNames, ModuleNameIsShortenedToFiveCharacters) {
    const struct {
        const wchar_t* given;
        const wchar_t* kept;
    } cases[] = {
        {L"KMAIN", L"KEST_"}, {L"KBET", L"BDAT_"},  {L"ABC", L"ABC__"},   {L"STRUCT", L"STRU_"},
        {L"", L"_____"},      {L"kmain", L"kmai_"}, {L"KMAINX", L"KMAI_"}, {L"KBETON", L"KBET_"},
        {L"AB_D", L"AB_D_"},
    };
    for (const auto& c : cases) {
        K_MSG msg(c.given, 0, nullptr, 0);
        EXPECT_STREQ(msg.m_Name, c.kept) << c.given;
    }
    K_MSG none(nullptr, 0, nullptr, 0);
    EXPECT_STREQ(none.m_Name, L"_____");
    std::wstring longName(1023, L'Q');
    K_MSG longOne(longName.c_str(), 0, nullptr, 0);
    EXPECT_STREQ(longOne.m_Name, L"QQQQ_");
}

TEST_F(MsgNames, MissingLibrariesStillBuildEveryMode) {
    K_MSG m1(L"NONE", 1, nullptr, 0);
    const KLONG ids[] = {1, 2};
    K_MSG m2(L"NONE", ids, 2, 0, nullptr, 0);
    K_MSG m4(L"NONE", 0, 65536, 0, 0);
    for (K_MSG* m : {&m1, &m2, &m4}) {
        EXPECT_EQ(m->m_LogicLib, nullptr);
        EXPECT_EQ(m->wasInitError(), -1);
        EXPECT_EQ(m->numItems(), -1);
        EXPECT_STREQ(m->text(1), L"");
        EXPECT_STREQ(m->gettext(1, 1), L"");
        EXPECT_EQ(m->menu(1), nullptr);
        EXPECT_EQ(m->menu(-5), m->menu(70000));
    }
    EXPECT_EQ(m1.m_Mode, 1);
    EXPECT_EQ(m2.m_Mode, 2);
    EXPECT_EQ(m4.m_Mode, 4);
    EXPECT_EQ(m2.m_Count, 2);
    EXPECT_EQ(m4.m_Count, 0);
    EXPECT_EQ(m4.m_Items, nullptr);
    EXPECT_EQ(m4.m_MaxId, 65536);
}

TEST_F(MsgNames, ClassWideLanguagesFollowEachConstruction) {
    CONF_Language()->logic = 3;
    CONF_Language()->output = 4;
    K_MSG a(L"X", 0, nullptr, 0);
    EXPECT_EQ(KMsgTestAccess::Logic(), 3);
    EXPECT_EQ(KMsgTestAccess::Output(), 4);

    // A language argument overrides only the logic language.
    K_MSG b(L"X", 0, nullptr, 9);
    EXPECT_EQ(KMsgTestAccess::Logic(), 9);
    EXPECT_EQ(KMsgTestAccess::Output(), 4);

    K_MSG::ConfLag(-2, 300);
    EXPECT_EQ(KMsgTestAccess::Logic(), -2);
    EXPECT_EQ(KMsgTestAccess::Output(), 300);
    K_MSG c(L"X", 0, 1, 0, 0);
    EXPECT_EQ(KMsgTestAccess::Logic(), 3);
    EXPECT_EQ(KMsgTestAccess::Output(), 4);
}

TEST(MsgParam, FieldsAreSeparatedByDoubleDollars) {
    EXPECT_STREQ(MsgParam(1, L"one$$two$$three"), L"one");
    EXPECT_STREQ(MsgParam(2, L"one$$two$$three"), L"two");
    EXPECT_STREQ(MsgParam(3, L"one$$two$$three"), L"three");
    EXPECT_STREQ(MsgParam(4, L"one$$two$$three"), L"");
    EXPECT_STREQ(MsgParam(0, L"one$$two"), L"one");
    EXPECT_STREQ(MsgParam(-7, L"one$$two"), L"one");
    EXPECT_STREQ(MsgParam(1, L"$$two"), L"");
    EXPECT_STREQ(MsgParam(2, L"$$two"), L"two");
    EXPECT_STREQ(MsgParam(1, L"plain"), L"plain");
    EXPECT_STREQ(MsgParam(2, L"plain"), L"");
    EXPECT_STREQ(MsgParam(1, L"a$b$$c"), L"a$b");
    EXPECT_STREQ(MsgParam(2, L"a$$$b"), L"$b");
    EXPECT_STREQ(MsgParam(2, L"a$$"), L"");
    EXPECT_EQ(MsgParam(1, L"x"), g_MsgParamText);
    // Its own buffer may be passed back in.
    MsgParam(1, L"first$$second$$third");
    std::wcscpy(g_MsgParamText, L"p$$q");
    EXPECT_STREQ(MsgParam(2, g_MsgParamText), L"q");
    EXPECT_STREQ(g_OutMark, L"OUT::");
}

TEST(MsgParam, LongTextsAreCutToTheBuffer) {
    std::wstring big(3000, L'z');
    EXPECT_EQ(std::wcslen(MsgParam(1, big.c_str())), 1023u);
    std::wstring second = L"a$$" + std::wstring(1023, L'y');
    EXPECT_EQ(std::wstring(MsgParam(2, second.c_str())), std::wstring(1023, L'y'));
}

TEST_F(MsgNames, FillParamReplacesTheFirstMarkerOnly) {
    K_MSG msg(L"X", 0, nullptr, 0);
    wchar_t out[256];
    msg.fillParam(L"Width %1 of %2", out, 2, L"beam");
    EXPECT_STREQ(out, L"Width %1 of beam");
    msg.fillParam(L"Width %1 of %2", out, 3, L"beam");
    EXPECT_STREQ(out, L"Width %1 of %2");
    msg.fillParam(L"a%12b", out, 1, L"X");
    EXPECT_STREQ(out, L"aX2b");
    msg.fillParam(L"a%12b", out, 12, L"X");
    EXPECT_STREQ(out, L"aXb");
    msg.fillParam(L"%1 and %1", out, 1, L"v");
    EXPECT_STREQ(out, L"v and %1");
    msg.fillParam(L"zero %0!", out, 0, L"nil");
    EXPECT_STREQ(out, L"zero nil!");
    msg.fillParam(L"%3 or %-3", out, -3, L"neg");
    EXPECT_STREQ(out, L"%3 or neg");
    msg.fillParam(L"big %32767", out, 32767, L"max");
    EXPECT_STREQ(out, L"big max");
    msg.fillParam(L"min %-32768.", out, -32768, L"lo");
    EXPECT_STREQ(out, L"min lo.");
    msg.fillParam(L"%1", out, 1, L"");
    EXPECT_STREQ(out, L"");
    msg.fillParam(L"no marker", out, 1, L"x");
    EXPECT_STREQ(out, L"no marker");

    // Chained through two buffers, as a caller fills several markers.
    wchar_t other[256];
    msg.fillParam(L"%1 x %2 = %3", out, 1, L"6");
    msg.fillParam(out, other, 2, L"7");
    msg.fillParam(other, out, 3, L"42");
    EXPECT_STREQ(out, L"6 x 7 = 42");
}

using SortedTable = LangDirTest;

TEST_F(SortedTable, SortSetKeepsNumbersAscendingAndEqualOnesInArrivalOrder) {
    K_MSG msg(L"NONE", 0, 0, 0, 0);
    GiveRoom(msg, 8);
    Insert(msg, L"ten", 10);
    Insert(msg, L"twenty", 20);
    Insert(msg, L"five", 5);          // smaller than all: goes first
    Insert(msg, L"ten again", 10);    // behind the earlier 10
    Insert(msg, L"fifteen", 15);
    Insert(msg, L"", 30);
    const msgtest::Table expected = {
        {5, L"five"}, {10, L"ten"}, {10, L"ten again"}, {15, L"fifteen"}, {20, L"twenty"}, {30, L""},
    };
    EXPECT_EQ(msgtest::TableOf(msg), expected);
    // Each text is a copy with room for two more characters than its length.
    const wchar_t* source = L"copied";
    Insert(msg, source, 40);
    EXPECT_NE(msg.m_Items[6].pText, source);
    EXPECT_EQ(msg.m_Items[6].pText[6], L'\0');
    EXPECT_EQ(msg.m_Items[6].pText[7], L'\0');
}

TEST_F(SortedTable, BSearchFindsEveryStoredNumberAndNothingElse) {
    // Odd numbers only, so the even ones lie in the gaps.
    for (KLONG n = 1; n <= 260; ++n) {
        K_MSG msg(L"NONE", 0, 0, 0, 0);
        GiveRoom(msg, static_cast<std::size_t>(n));
        for (KLONG i = 0; i < n; ++i) Insert(msg, L"t", 2 * i + 1);
        for (KLONG i = 0; i < n; ++i) {
            ASSERT_EQ(msg.BSearch(2 * i + 1, n), i) << "n=" << n;
            ASSERT_EQ(msg.BSearch(2 * i, n), -1) << "n=" << n;
        }
        ASSERT_EQ(msg.BSearch(2 * n + 1, n), -1);
        ASSERT_EQ(msg.BSearch(-1, n), -1);
    }
}

TEST_F(SortedTable, BSearchEdgesAndEqualNumbers) {
    K_MSG empty(L"NONE", 0, 1, 0, 0);
    ASSERT_EQ(empty.m_Items, nullptr);   // a search must not touch it
    EXPECT_EQ(empty.BSearch(0, 0), -1);
    EXPECT_EQ(empty.BSearch(1, 0), -1);
    EXPECT_STREQ(empty.text(1), L"");

    K_MSG one(L"NONE", 0, 0, 0, 0);
    GiveRoom(one, 1);
    Insert(one, L"only", 7);
    EXPECT_EQ(one.BSearch(7, 1), 0);
    EXPECT_EQ(one.BSearch(6, 1), -1);
    EXPECT_EQ(one.BSearch(8, 1), -1);
    EXPECT_EQ(one.text(7), one.m_Items[0].pText);

    // Of several equal numbers, the first the probes meet: the middle entry,
    // then its lower neighbour.
    K_MSG dup(L"NONE", 0, 0, 0, 0);
    GiveRoom(dup, 4);
    for (KLONG id : {5, 5, 7, 9}) Insert(dup, L"d", id);
    EXPECT_EQ(dup.BSearch(5, 4), 1);
    K_MSG same(L"NONE", 0, 0, 0, 0);
    GiveRoom(same, 5);
    for (int i = 0; i < 5; ++i) Insert(same, L"s", 3);
    EXPECT_EQ(same.BSearch(3, 5), 2);
}

TEST_F(SortedTable, ModeFourTextPointsIntoTheTable) {
    K_MSG msg(L"NONE", 0, 0, 0, 0);
    GiveRoom(msg, 3);
    Insert(msg, L"two", 2);
    Insert(msg, L"three", 3);
    Insert(msg, L"five", 5);
    EXPECT_EQ(msg.text(3), msg.m_Items[1].pText);
    const wchar_t* missing = msg.text(4);
    EXPECT_STREQ(missing, L"");
    EXPECT_NE(missing, msg.m_Text);
    EXPECT_EQ(msg[5], CString(L"five"));
    EXPECT_TRUE(msg[4].IsEmpty());
}

TEST_F(SortedTable, GetTextParamTakesFieldsByPosition) {
    K_MSG msg(L"NONE", 0, 0, 0, 0);
    GiveRoom(msg, 3);
    Insert(msg, L"one$$two$$three", 100);
    Insert(msg, L"$$lead", 1);
    Insert(msg, L"solo", 50);
    // Positions, not numbers: 0 is number 1, 2 is number 100.
    EXPECT_STREQ(msg.GetTextParam(2, 3), L"three");
    EXPECT_STREQ(msg.GetTextParam(2, 4), L"");
    EXPECT_STREQ(msg.GetTextParam(2, 2), L"two");
    EXPECT_STREQ(msg.GetTextParam(2, 1), L"one");
    EXPECT_STREQ(msg.GetTextParam(2, 0), L"one");
    EXPECT_STREQ(msg.GetTextParam(0, 1), L"");
    EXPECT_STREQ(msg.GetTextParam(0, 2), L"lead");
    EXPECT_STREQ(msg.GetTextParam(1, 1), L"solo");
    EXPECT_STREQ(msg.GetTextParam(1, 2), L"");
    EXPECT_EQ(msg.GetTextParam(1, 1), msg.m_ParamText);
    EXPECT_STREQ(msg.GetTextParam(3, 1), L"");
    EXPECT_STREQ(msg.GetTextParam(-1, 1), L"");
}

#if defined(KUT_TESTING)
TEST_F(SortedTable, SortSetWithoutMemoryStoresNothing) {
    K_MSG msg(L"NONE", 0, 0, 0, 0);
    GiveRoom(msg, 2);
    Insert(msg, L"kept", 4);
    KUT_TestFailAlloc(0, 0);
    msg.SortSet(L"lost", 1, msg.m_Count);
    EXPECT_EQ(KUT_TestAllocFailures(), 1);
    KUT_TestFailAlloc(-1, 0);
    EXPECT_EQ(msg.m_Items[0].nId, 4);
    EXPECT_STREQ(msg.m_Items[0].pText, L"kept");
}
#endif
