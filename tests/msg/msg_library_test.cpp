// K_MSG over real language libraries written into a temporary folder.
#include <cwchar>
#include <string>

#include "kut/msg.h"
#include "kut/testing.h"
#include "msg_test_util.h"

#if defined(__SANITIZE_ADDRESS__)
#define KUT_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KUT_TEST_ASAN 1
#endif
#endif
#if defined(KUT_TEST_ASAN)
#include <sanitizer/asan_interface.h>
#endif

using msgtest::LangDirTest;
using msgtest::Strings;

namespace {

// Logic language 1 and output language 2 of module "KMAIN".
const Strings kLogic = {
    {1, L"Open"},
    {2, L"OUT::Total$$x"},
    {3, L"OUT::Only here$$y"},
    {4, L"Value$$unit"},
    {5, L"Beam$$Poutre"},
    {6, L"plain"},
    {8, L"Girder$$OUT::Traeger"},
    {65535, L"last"},
};
const Strings kOutput = {
    {1, L"Ouvrir"},
    {2, L"OUT::Summe"},
    {4, L"Valeur$$unite"},
    {5, L"OUT::Balken$$Traeger"},
    {8, L"x$$OUT::Poutrelle"},
};

class MsgLib : public LangDirTest {
protected:
    void SetUp() override {
        LangDirTest::SetUp();
        WriteLib(L"KEST_001.dll", kLogic);
        WriteLib(L"KEST_002.dll", kOutput);
    }
};

}  // namespace

TEST_F(MsgLib, LibraryNamesComeFromModuleAndLanguages) {
    K_MSG msg(L"KMAIN", 0, nullptr, 0);
    EXPECT_EQ(msg.wasInitError(), 0);
    EXPECT_STREQ(msg.gettext(1, 1), L"Open");
    EXPECT_STREQ(msg.gettext(1, 0), L"Ouvrir");

    // The lower-case name is not rewritten, and its files do not exist.
    K_MSG lower(L"kmain", 0, nullptr, 0);
    EXPECT_EQ(lower.wasInitError(), -1);
    WriteLib(L"kmai_001.dll", {{1, L"lower one"}});
    WriteLib(L"kmai_002.dll", {{1, L"lower two"}});
    K_MSG lower2(L"kmain", 0, nullptr, 0);
    EXPECT_EQ(lower2.wasInitError(), 0);
    EXPECT_STREQ(lower2.text(1), L"lower one");
}

TEST_F(MsgLib, LanguageArgumentOverridesOnlyTheLogicLanguage) {
    WriteLib(L"ABC__033.dll", {{1, L"thirty-three"}});
    WriteLib(L"ABC__002.dll", {{1, L"two"}});
    WriteLib(L"ABC__1234.dll", {{1, L"four digits"}});
    K_MSG a(L"ABC", 0, nullptr, 33);
    EXPECT_EQ(a.wasInitError(), 0);
    EXPECT_STREQ(a.gettext(1, 1), L"thirty-three");
    EXPECT_STREQ(a.gettext(1, 0), L"two");

    K_MSG b(L"ABC", 0, nullptr, 1234);
    EXPECT_EQ(b.wasInitError(), 0);
    EXPECT_STREQ(b.text(1), L"four digits");

    // Language 0 takes the settings' logic language, which has no file here.
    CONF_Language()->logic = 33;
    K_MSG c(L"ABC", 0, nullptr, 0);
    EXPECT_STREQ(c.text(1), L"thirty-three");
    CONF_Language()->logic = 1;
    K_MSG d(L"ABC", 0, nullptr, 0);
    EXPECT_EQ(d.wasInitError(), -1);
    EXPECT_NE(d.m_OutputLib, nullptr);
    EXPECT_STREQ(d.text(1), L"");
}

TEST_F(MsgLib, MissingOutputLibraryIsAnInitError) {
    CONF_Language()->output = 7;
    K_MSG msg(L"KMAIN", 0, nullptr, 0);
    EXPECT_NE(msg.m_LogicLib, nullptr);
    EXPECT_EQ(msg.m_OutputLib, nullptr);
    EXPECT_EQ(msg.wasInitError(), -1);
    // A marked text falls back to the logic language without its marker.
    EXPECT_STREQ(msg.text(2), L"Total");
    EXPECT_STREQ(msg.text(1), L"Open");
}

TEST_F(MsgLib, OnDemandReadsFieldsAndMarkers) {
    K_MSG msg(L"KMAIN", 0, nullptr, 0);
    EXPECT_STREQ(msg.text(1), L"Open");
    EXPECT_STREQ(msg.text(2), L"Summe");
    EXPECT_STREQ(msg.text(3), L"Only here");   // the output library lacks 3
    EXPECT_STREQ(msg.text(4), L"Value");
    EXPECT_STREQ(msg.text(5), L"Beam");
    EXPECT_STREQ(msg.text(7), L"");
    EXPECT_STREQ(msg.text(8), L"Girder");
    EXPECT_STREQ(msg.text(0), L"");
    EXPECT_STREQ(msg.text(65535), L"last");
    EXPECT_EQ(msg[2], CString(L"Summe"));
    EXPECT_EQ(msg[4u], CString(L"Value"));

    // Without the cache the result is the object's buffer, overwritten by
    // the next request.
    const wchar_t* first = msg.text(1);
    EXPECT_EQ(first, msg.m_Text);
    msg.text(6);
    EXPECT_STREQ(first, L"plain");
    EXPECT_EQ(msg.m_MsgList, nullptr);
}

TEST_F(MsgLib, CacheKeepsOnePointerPerNumber) {
    K_MSG msg(L"KMAIN", 1, L"ignored", 0);
    ASSERT_NE(msg.m_MsgList, nullptr);
    ASSERT_NE(msg.m_MsgList2, nullptr);
    const wchar_t* two = msg.text(2);
    const wchar_t* one = msg.text(1);
    EXPECT_NE(two, msg.m_Text);
    EXPECT_STREQ(two, L"Summe");
    EXPECT_EQ(msg.text(2), two);
    EXPECT_EQ(msg.text(1), one);
    msg.gettext(6, 1);   // overwrites m_Text, not the cache
    EXPECT_STREQ(one, L"Open");
    EXPECT_EQ(msg.m_MsgList->GetCount(), 2);
    EXPECT_EQ(msg.m_MsgList2->GetCount(), 0);
    // The newest node is at the head.
    EXPECT_EQ(msg.m_NewMsg->nId, 1);
    EXPECT_EQ(msg.m_NewMsg->pText, one);
    // Numbers without a text are cached as empty texts too.
    const wchar_t* none = msg.text(9);
    EXPECT_STREQ(none, L"");
    EXPECT_EQ(msg.text(9), none);
    EXPECT_EQ(msg.m_MsgList->GetCount(), 3);

    K_MSG other(L"KMAIN", 2, nullptr, 0);   // only 1 switches the cache on
    EXPECT_EQ(other.m_MsgList, nullptr);
    EXPECT_EQ(other.m_MsgList2, nullptr);
}

TEST_F(MsgLib, ListedModeKeepsTheCallersOrder) {
    const KLONG ids[] = {5, 7, 5, 2, 4};
    K_MSG msg(L"KMAIN", ids, 5, 0, nullptr, 0);
    ASSERT_EQ(msg.m_Count, 5);
    ASSERT_NE(msg.m_MemTab, nullptr);
    EXPECT_EQ(msg.m_MemTab[0].nId, 5);
    EXPECT_EQ(msg.m_MemTab[1].strText, L"");   // 7 is missing
    EXPECT_EQ(msg.m_MemTab[3].strText, L"Summe");
    EXPECT_STREQ(msg.text(5), L"Beam");
    EXPECT_STREQ(msg.text(4), L"Value");
    EXPECT_STREQ(msg.text(6), L"");           // in the library, not in the list
    EXPECT_EQ(msg.text(2), msg.m_Text);

    // Two entries of one number: the first wins.
    msg.m_MemTab[2].strText = L"second five";
    EXPECT_STREQ(msg.text(5), L"Beam");

    K_MSG empty(L"KMAIN", ids, 0, 0, nullptr, 0);
    EXPECT_EQ(empty.m_Count, 0);
    EXPECT_STREQ(empty.text(5), L"");
    EXPECT_STREQ(empty.text(1), L"");
    K_MSG negative(L"KMAIN", ids, -3, 0, nullptr, 0);
    EXPECT_EQ(negative.m_Count, 0);
}

TEST_F(MsgLib, GetTextGivesTheWholeStringWithoutTheMarker) {
    const KLONG ids[] = {1};
    K_MSG m2(L"KMAIN", ids, 1, 0, nullptr, 0);
    K_MSG m4(L"KMAIN", 0, 10, 0, 0);
    for (K_MSG* msg : {&m2, &m4}) {
        EXPECT_STREQ(msg->gettext(2, 1), L"Total$$x");
        EXPECT_STREQ(msg->gettext(2, 0), L"Summe");
        EXPECT_STREQ(msg->gettext(4, 1), L"Value$$unit");
        EXPECT_STREQ(msg->gettext(4, 2), L"Valeur$$unite");
        EXPECT_STREQ(msg->gettext(3, 0), L"");
        EXPECT_EQ(msg->gettext(1, 1), msg->m_Text);
    }
}

TEST_F(MsgLib, CompleteModeStoresEveryNonEmptyTextBelowTheBound) {
    WriteLib(L"SPAR_001.dll", {{2, L"b"}, {3, L"c"}, {5, L"e"}, {6, L"f"}});
    WriteLib(L"SPAR_002.dll", {});
    K_MSG msg(L"SPARSE", 0, 6, 0, 0);
    const msgtest::Table expected = {{2, L"b"}, {3, L"c"}, {5, L"e"}};
    EXPECT_EQ(msgtest::TableOf(msg), expected);
    EXPECT_EQ(msg.m_MaxId, 6);
    EXPECT_STREQ(msg.text(4), L"");
    EXPECT_STREQ(msg.text(6), L"");   // 6 is not tried
    EXPECT_EQ(msg.text(5), msg.m_Items[2].pText);

    for (KLONG bound : {0, 1}) {
        K_MSG none(L"SPARSE", 0, bound, 0, 0);
        EXPECT_EQ(none.m_Count, 0);
        EXPECT_EQ(none.m_Items, nullptr);
        EXPECT_STREQ(none.text(2), L"");
    }
}

TEST_F(MsgLib, CompleteModeMarkersAndFields) {
    K_MSG whole(L"KMAIN", 0, 65536, 0, 0);
    const msgtest::Table all = {
        {1, L"Open"}, {2, L"Summe"}, {3, L"Only here$$y"}, {4, L"Value$$unit"},
        {5, L"Beam$$Poutre"}, {6, L"plain"}, {8, L"Girder$$OUT::Traeger"}, {65535, L"last"},
    };
    EXPECT_EQ(msgtest::TableOf(whole), all);
    EXPECT_STREQ(whole.text(65535), L"last");
    EXPECT_STREQ(whole.GetTextParam(4, 2), L"Poutre");

    // Field 2 of each text; a text without "$$" is not stored. The marker is
    // looked for in the kept field, and a marked field is replaced by field 2
    // of the output string.
    K_MSG second(L"KMAIN", 0, 65536, 0, 2);
    EXPECT_EQ(second.m_Param, 2);
    const msgtest::Table fields = {{2, L"x"}, {3, L"y"}, {4, L"unit"}, {5, L"Poutre"}, {8, L"Poutrelle"}};
    EXPECT_EQ(msgtest::TableOf(second), fields);
    EXPECT_STREQ(second.GetTextParam(0, 2), L"");

    // Bound 65535 leaves out the last number.
    K_MSG below(L"KMAIN", 0, 65535, 0, 0);
    EXPECT_EQ(below.m_Count, 7);
    EXPECT_STREQ(below.text(65535), L"");
}

TEST_F(MsgLib, TextsAreCutAt1023Characters) {
    const std::wstring t1023(1023, L'a');
    const std::wstring t1024(1024, L'b');
    const std::wstring t5000(5000, L'c');
    WriteLib(L"LONG_001.dll", {{1, t1023}, {2, t1024}, {3, t5000}, {4, L"OUT::" + t1024}, {5, t1023 + L"$$tail"}});
    WriteLib(L"LONG_002.dll", {{4, L"OUT::" + std::wstring(1100, L'o')}});
    K_MSG m1(L"LONG", 0, nullptr, 0);
    EXPECT_EQ(std::wstring(m1.text(1)), t1023);
    EXPECT_EQ(std::wstring(m1.text(2)), std::wstring(1023, L'b'));
    EXPECT_EQ(std::wstring(m1.text(3)), std::wstring(1023, L'c'));
    // The marker is dropped from what fits: 1018 characters remain.
    EXPECT_EQ(std::wstring(m1.text(4)), std::wstring(1018, L'o'));
    EXPECT_EQ(std::wstring(m1.text(5)), t1023);
    EXPECT_EQ(std::wcslen(m1.gettext(3, 1)), 1023u);

    K_MSG m4(L"LONG", 0, 10, 0, 0);
    ASSERT_EQ(m4.m_Count, 5);
    EXPECT_EQ(std::wstring(m4.text(2)), std::wstring(1023, L'b'));
    EXPECT_EQ(std::wstring(m4.text(4)), std::wstring(1018, L'o'));
    EXPECT_EQ(std::wstring(m4.GetTextParam(0, 1)), t1023);
}

TEST_F(MsgLib, SameLibraryLoadedTwiceIsReleasedTwice) {
    CONF_Language()->output = 1;
    auto* a = new K_MSG(L"KMAIN", 0, nullptr, 0);
    auto* b = new K_MSG(L"KMAIN", 0, 65536, 0, 0);
    EXPECT_EQ(a->wasInitError(), 0);
    EXPECT_EQ(b->wasInitError(), 0);
    // Four loads of one file (Windows counts them on one handle): each
    // release must leave the others readable.
    // Without an output library for language 1's marker, the logic text stays.
    EXPECT_STREQ(a->text(2), L"Total");
    delete a;
    EXPECT_STREQ(b->gettext(4, 0), L"Value$$unit");
    EXPECT_STREQ(b->text(6), L"plain");
    delete b;
    K_MSG again(L"KMAIN", 0, nullptr, 0);
    EXPECT_STREQ(again.text(1), L"Open");
}

TEST_F(MsgLib, CompleteModeOverTenThousandStrings) {
    Strings big;
    for (unsigned id = 1; id <= 20000; id += 2) big[id] = L"text " + std::to_wstring(id) + L"$$f" + std::to_wstring(id);
    big[65535] = L"end";
    WriteLib(L"BIG__001.dll", big);
    WriteLib(L"BIG__002.dll", {});
    K_MSG msg(L"BIG", 0, 65536, 0, 0);
    ASSERT_EQ(msg.m_Count, 10001);
    for (unsigned id = 1; id <= 20000; ++id) {
        const std::wstring want = (id % 2) ? L"text " + std::to_wstring(id) + L"$$f" + std::to_wstring(id) : L"";
        ASSERT_EQ(std::wstring(msg.text(static_cast<KLONG>(id))), want) << id;
    }
    EXPECT_STREQ(msg.text(65535), L"end");
    // Enumerating positions visits ascending numbers.
    for (int i = 1; i < msg.m_Count; ++i) ASSERT_LT(msg.m_Items[i - 1].nId, msg.m_Items[i].nId);
    EXPECT_STREQ(msg.GetTextParam(9999, 2), L"f19999");
}

namespace {

// A library of `n` texts at numbers 1..n for the growth checks.
Strings Numbered(unsigned n) {
    Strings s;
    for (unsigned id = 1; id <= n; ++id) s[id] = L"t" + std::to_wstring(id);
    return s;
}

}  // namespace

TEST_F(MsgLib, TableGrowsIn99EntrySteps) {
#if defined(KUT_TEST_ASAN)
    // The allocation's end is the byte the sanitizer poisons first.
    const struct {
        unsigned texts;
        std::size_t capacity;
    } cases[] = {{1, 102}, {98, 102}, {99, 102}, {100, 201}, {198, 201}, {199, 300}, {297, 300}, {298, 399}};
    for (const auto& c : cases) {
        WriteLib(L"GROW_001.dll", Numbered(c.texts));
        K_MSG msg(L"GROW", 0, 65536, 0, 0);
        ASSERT_EQ(msg.m_Count, static_cast<int>(c.texts));
        const char* items = reinterpret_cast<const char*>(msg.m_Items);
        EXPECT_FALSE(__asan_address_is_poisoned(items + c.capacity * sizeof(MSG_ITEM) - 1)) << c.texts;
        EXPECT_TRUE(__asan_address_is_poisoned(items + c.capacity * sizeof(MSG_ITEM))) << c.texts;
    }
#else
    GTEST_SKIP() << "the capacity is measured in AddressSanitizer builds";
#endif
}

#if defined(KUT_TESTING)
TEST_F(MsgLib, FailedGrowthStopsStoring) {
    WriteLib(L"GROW_001.dll", Numbered(400));
    WriteLib(L"GROW_002.dll", {});
    // Allocation order: the table, texts 1-99, the table, texts 100-198,
    // the table, ... Failing the n-th table growth keeps what came before.
    const struct {
        long after;
        int kept;
    } cases[] = {{0, 0}, {100, 99}, {200, 198}, {300, 297}};
    for (const auto& c : cases) {
        KUT_TestFailAlloc(c.after, 0);
        K_MSG msg(L"GROW", 0, 65536, 0, 0);
        EXPECT_EQ(KUT_TestAllocFailures(), 1) << c.after;
        KUT_TestFailAlloc(-1, 0);
        ASSERT_EQ(msg.m_Count, c.kept) << c.after;
        if (c.kept > 0) {
            EXPECT_STREQ(msg.text(c.kept), (L"t" + std::to_wstring(c.kept)).c_str());
        }
        EXPECT_STREQ(msg.text(c.kept + 1), L"");
    }
    // A failed text copy loses that text only.
    KUT_TestFailAlloc(5, 0);
    K_MSG msg(L"GROW", 0, 65536, 0, 0);
    KUT_TestFailAlloc(-1, 0);
    EXPECT_EQ(msg.m_Count, 399);
    EXPECT_STREQ(msg.text(5), L"");
    EXPECT_STREQ(msg.text(6), L"t6");
}

TEST_F(MsgLib, AnyFailedAllocationLeavesAUsableObject) {
    WriteLib(L"GROW_001.dll", Numbered(250));
    WriteLib(L"GROW_002.dll", {});
    for (long after = 0; after < 270; after += 7) {
        for (int persistent = 0; persistent < 2; ++persistent) {
            KUT_TestFailAlloc(after, persistent);
            K_MSG m4(L"GROW", 0, 65536, 0, 0);
            K_MSG m1(L"GROW", 1, nullptr, 0);
            const wchar_t* t = m1.text(3);
            K_MSG copy(m4);
            KUT_TestFailAlloc(-1, 0);
            ASSERT_TRUE(t != nullptr);
            for (int i = 1; i < m4.m_Count; ++i) ASSERT_LT(m4.m_Items[i - 1].nId, m4.m_Items[i].nId);
            ASSERT_LE(copy.m_Count, m4.m_Count);
            for (int i = 0; i < copy.m_Count; ++i) ASSERT_STREQ(copy.m_Items[i].pText, m4.m_Items[i].pText);
        }
    }
}
#endif

TEST_F(MsgLib, AssignmentIsADeepCopy) {
    auto* cached = new K_MSG(L"KMAIN", 1, nullptr, 0);
    const wchar_t* two = cached->text(2);
    cached->text(4);
    const KLONG ids[] = {4, 2};
    auto* listed = new K_MSG(L"KMAIN", ids, 2, 0, nullptr, 0);
    auto* complete = new K_MSG(L"KMAIN", 0, 65536, 0, 0);

    K_MSG a(L"NONE", 0, nullptr, 0);
    K_MSG b(L"NONE", 0, nullptr, 0);
    K_MSG c(L"NONE", 0, nullptr, 0);
    a = *cached;
    b = *listed;
    c = *complete;
    K_MSG d(*complete);   // copy construction as well

    EXPECT_NE(a.m_MsgList, cached->m_MsgList);
    EXPECT_NE(b.m_MemTab, listed->m_MemTab);
    EXPECT_NE(c.m_Items, complete->m_Items);
    EXPECT_NE(c.m_Items[0].pText, complete->m_Items[0].pText);
    EXPECT_STREQ(a.m_Name, L"KEST_");
    EXPECT_EQ(a.m_Mode, 1);
    EXPECT_EQ(b.m_Mode, 2);
    EXPECT_EQ(c.m_Mode, 4);
    EXPECT_EQ(a.m_NewMsg->nId, 4);
    EXPECT_EQ(a.m_MsgList->GetCount(), 2);
    EXPECT_NE(a.text(2), two);

    delete cached;
    delete listed;
    delete complete;

    EXPECT_EQ(a.wasInitError(), 0);
    EXPECT_STREQ(a.text(2), L"Summe");
    EXPECT_STREQ(a.text(1), L"Open");   // read through the copy's own library
    EXPECT_EQ(a.m_MsgList->GetCount(), 3);
    EXPECT_STREQ(b.text(4), L"Value");
    EXPECT_STREQ(b.text(1), L"");
    EXPECT_STREQ(b.gettext(1, 0), L"Ouvrir");
    EXPECT_EQ(msgtest::TableOf(c), msgtest::TableOf(d));
    EXPECT_STREQ(c.text(5), L"Beam$$Poutre");
    EXPECT_STREQ(d.gettext(5, 1), L"Beam$$Poutre");

    // Self-assignment keeps everything; reassignment releases the old state.
    const wchar_t* kept = c.text(1);
    c = *&c;
    EXPECT_EQ(c.text(1), kept);
    c = a;
    EXPECT_EQ(c.m_Mode, 1);
    EXPECT_EQ(c.m_Items, nullptr);
    EXPECT_STREQ(c.text(2), L"Summe");
    a = b;
    EXPECT_EQ(a.m_MsgList, nullptr);
    EXPECT_STREQ(a.text(4), L"Value");

    K_MSG broken(L"NONE", 0, nullptr, 0);
    d = broken;
    EXPECT_EQ(d.wasInitError(), -1);
    EXPECT_EQ(d.m_Items, nullptr);
}
