// K_MSG over language libraries written into a temporary folder, and over tables filled by hand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "kut/msg.h"
#include "kut/testing.h"
#include "langlib_writer.h"
#include "testutil.h"
#if defined(KUT_TEST_ASAN)
#include <sanitizer/asan_interface.h>
#endif

// Friend of K_MSG: the class-wide language numbers and the lookup index.
struct KMsgTestAccess {
    static std::pair<int, int> Languages() { return {K_MSG::m_StaticLogic, K_MSG::m_StaticOutput}; }
    static bool Indexed(const K_MSG& msg) { return msg.m_Index != nullptr; }
};

namespace {

using Strings = std::map<unsigned, std::wstring>;
using Table = std::vector<std::pair<KLONG, std::wstring>>;

Table TableOf(const K_MSG& msg) {
    Table out;
    for (int i = 0; i < msg.m_Count; ++i) out.emplace_back(msg.m_Items[i].nId, msg.m_Items[i].pText);
    return out;
}

// "number text|" for each entry.
std::wstring Listing(const K_MSG& msg) {
    std::wstring s;
    for (const auto& [id, t] : TableOf(msg)) s += std::to_wstring(id) + L" " + t + L"|";
    return s;
}

// Each number "t<number>".
Table Tagged(const std::vector<KLONG>& ids) {
    Table t;
    for (KLONG id : ids) t.emplace_back(id, L"t" + std::to_wstring(id));
    return t;
}

// `n` texts "t<id>$$f<id>" at the numbers 1, 1 + step, 1 + 2 step ...
Strings Numbered(unsigned n, unsigned step = 1) {
    Strings s;
    for (unsigned id = 1; id <= n * step; id += step) s[id] = L"t" + std::to_wstring(id) + L"$$f" + std::to_wstring(id);
    return s;
}

// A table in the host's own order, with room for 8 insertions. The object
// frees it with the C heap, which the library allocates from.
void Place(K_MSG& msg, const Table& items) {
    msg.m_Items = static_cast<MSG_ITEM*>(std::malloc((items.size() + 8) * sizeof(MSG_ITEM)));
    for (const auto& [id, t] : items) {
        auto* copy = static_cast<wchar_t*>(std::malloc((t.size() + 2) * sizeof(wchar_t)));
        std::wcscpy(copy, t.c_str());
        msg.m_Items[msg.m_Count++] = MSG_ITEM{copy, id};
    }
}

// Every number from `from` to `to` and some no string table holds: text()
// gives the very entry BSearch designates, or a constant empty text.
::testing::AssertionResult LooksUpAsBisection(K_MSG& msg, KLONG from, KLONG to) {
    std::vector<KLONG> ids = {-2147483647 - 1, -65536, -2, -1, 0, 65535, 65536, 65537, 131071, 2147483647};
    for (KLONG id = from; id <= to; ++id) ids.push_back(id);
    for (KLONG id : ids) {
        const int pos = msg.BSearch(id, msg.m_Count);
        const wchar_t* got = msg.text(id);
        if (pos < 0 ? (!got || got[0] || got == msg.m_Text) : got != msg.m_Items[pos].pText) {
            return ::testing::AssertionFailure() << "number " << id << ", BSearch position " << pos;
        }
    }
    return ::testing::AssertionSuccess();
}

// Logic language 1 and output language 2 of module "KMAIN".
const Strings kLogic = {{1, L"Open"},         {2, L"OUT::Total$$x"}, {3, L"OUT::Only here$$y"},    {4, L"Value$$unit"},
                        {5, L"Beam$$Poutre"}, {6, L"plain"},         {8, L"Girder$$OUT::Traeger"}, {65535, L"last"}};
const Strings kOutput = {
    {1, L"Ouvrir"}, {2, L"OUT::Summe"}, {4, L"Valeur$$unite"}, {5, L"OUT::Balken$$Traeger"}, {8, L"x$$OUT::Poutrelle"}};

// Directory kind 2 is a temporary folder holding KMAIN's two libraries.
class MsgLib : public ::testing::Test {
protected:
    void SetUp() override {
        REP_SetRepert(2, m_dir.path().c_str());
        CONF_Language()->logic = 1;
        CONF_Language()->output = 2;
        WriteLib(L"KEST_001.dll", kLogic);
        WriteLib(L"KEST_002.dll", kOutput);
    }
    void TearDown() override { REP_SetRepert(2, nullptr); }
    void WriteLib(const std::wstring& file, const Strings& strings) {
        std::string error;
        ASSERT_TRUE(kuttools::WriteLanguageLibrary(m_dir.file(file), strings, &error)) << error;
    }
    kuttest::TempDir m_dir;
};
using MsgTable = MsgLib;

}  // namespace

TEST_F(MsgLib, LibraryFilesFollowModuleNameAndLanguagesAndMayBeMissing) {
    const std::wstring longName(1023, L'Q');
    const std::pair<const wchar_t*, const wchar_t*> names[] = {
        {L"KMAIN", L"KEST_"}, {L"KBET", L"BDAT_"},   {L"ABC", L"ABC__"},    {nullptr, L"_____"},
        {L"kmain", L"kmai_"}, {L"KMAINX", L"KMAI_"}, {L"KBETON", L"KBET_"}, {longName.c_str(), L"QQQQ_"}};
    for (const auto& [given, kept] : names) EXPECT_STREQ(K_MSG(given, 0, nullptr, 0).m_Name, kept) << given;
    WriteLib(L"ABC__033.dll", {{1, L"thirty-three"}});
    WriteLib(L"ABC__002.dll", {{1, L"two"}});
    WriteLib(L"ABC__1234.dll", {{1, L"four digits"}});
    K_MSG a(L"ABC", 0, nullptr, 33);  // the argument overrides the logic language only
    EXPECT_EQ(KMsgTestAccess::Languages(), std::make_pair(33, 2));
    EXPECT_EQ(a.numItems(), -1);
    EXPECT_STREQ(a.gettext(1, 1), L"thirty-three");
    EXPECT_STREQ(a.gettext(1, 0), L"two");
    EXPECT_STREQ(K_MSG(L"ABC", 0, nullptr, 1234).text(1), L"four digits");
    K_MSG::ConfLag(-2, 300);
    EXPECT_EQ(KMsgTestAccess::Languages(), std::make_pair(-2, 300));
    K_MSG c(L"ABC", 0, 65536, 0, 0);  // language 0: the settings' 1, no such file
    EXPECT_EQ(KMsgTestAccess::Languages(), std::make_pair(1, 2));
    EXPECT_NE(c.m_OutputLib, nullptr);
    // Without the output library a marked text is the logic-language text.
    CONF_Language()->output = 7;
    K_MSG e(L"KMAIN", 0, nullptr, 0);
    EXPECT_EQ(e.wasInitError(), -1);
    EXPECT_STREQ(e.text(2), L"Total");
    const KLONG ids[] = {1, 2};  // without any library every mode is still built
    K_MSG m1(L"NONE", 1, nullptr, 0), m2(L"NONE", ids, 2, 0, nullptr, 0);
    for (K_MSG* m : {&m1, &m2, &c}) {
        EXPECT_EQ(m->wasInitError(), -1);
        EXPECT_EQ(std::wstring(m->text(1)) + m->gettext(1, 1), L"");
        EXPECT_EQ(m->menu(1), nullptr);
        EXPECT_EQ(m->menu(-5), m->menu(70000));
    }
}

TEST(MsgParam, FieldsAreSeparatedByDoubleDollars) {
    // Each text's fields 1, 2 ... and one past the last; numbers below 1 take the first.
    const std::pair<const wchar_t*, std::vector<const wchar_t*>> cases[] = {{L"one$$two$$three", {L"one", L"two", L"three", L""}},
                                                                            {L"$$two", {L"", L"two", L""}},
                                                                            {L"plain", {L"plain", L""}},
                                                                            {L"a$b$$c", {L"a$b", L"c", L""}},
                                                                            {L"a$$$b", {L"a", L"$b", L""}},
                                                                            {L"a$$", {L"a", L"", L""}}};
    for (const auto& [text, fields] : cases) {
        for (int n = -7; n <= static_cast<int>(fields.size()); n += n < 0 ? 7 : 1)
            EXPECT_STREQ(MsgParam(n, text), fields[n > 0 ? n - 1 : 0]) << n << " of " << text;
    }
    EXPECT_EQ(MsgParam(1, std::wstring(3000, L'z').c_str()), std::wstring(1023, L'z'));
    EXPECT_EQ(MsgParam(2, (L"a$$" + std::wstring(1024, L'y')).c_str()), std::wstring(1023, L'y'));
    EXPECT_EQ(MsgParam(1, L"x"), g_MsgParamText);
    std::wcscpy(g_MsgParamText, L"p$$q");  // its own buffer may be passed back in
    EXPECT_STREQ(MsgParam(2, g_MsgParamText), L"q");
    EXPECT_STREQ(g_OutMark, L"OUT::");
}

TEST_F(MsgLib, FillParamReplacesTheFirstMarkerOnly) {
    K_MSG msg(L"X", 0, nullptr, 0);
    const std::tuple<const wchar_t*, short, const wchar_t*, const wchar_t*> cases[] = {
        {L"Width %1 of %2", 2, L"beam", L"Width %1 of beam"},
        {L"a%12b", 1, L"X", L"aX2b"},
        {L"%1 and %1", 1, L"v", L"v and %1"},
        {L"zero %0!", 0, L"nil", L"zero nil!"},
        {L"big %32767", 32767, L"max", L"big max"},
        {L"%32768 %-32768.", -32768, L"lo", L"%32768 lo."},
        {L"no marker %2", 1, L"x", L"no marker %2"}};
    wchar_t out[256];
    for (const auto& [src, n, value, want] : cases) {
        msg.fillParam(src, out, n, value);
        EXPECT_STREQ(out, want) << src << " with " << n;
    }
}

TEST_F(MsgLib, OnDemandReadsApplyFieldsMarkersAndTheCache) {
    K_MSG msg(L"KMAIN", 0, nullptr, 0);
    const std::pair<KLONG, const wchar_t*> cases[] = {{1, L"Open"}, {2, L"Summe"},  {3, L"Only here"}, {4, L"Value"},
                                                      {7, L""},     {8, L"Girder"}, {65535, L"last"}};
    for (const auto& [id, want] : cases) EXPECT_STREQ(msg.text(id), want) << id;
    EXPECT_EQ(msg[2], CString(L"Summe"));
    EXPECT_TRUE(msg.text(1) == msg.m_Text && msg.text(6) == msg.m_Text);  // without the cache: the object's buffer
    EXPECT_STREQ(msg.m_Text, L"plain");
    EXPECT_EQ(K_MSG(L"KMAIN", 2, nullptr, 0).m_MsgList, nullptr);  // only 1 switches the cache on

    K_MSG cached(L"KMAIN", 1, L"ignored", 0);
    const std::vector<const wchar_t*> got = {cached.text(2), cached.text(1), cached.text(9)};
    cached.gettext(6, 1);  // overwrites m_Text, not the cache
    EXPECT_EQ((std::vector<const wchar_t*>{cached.text(2), cached.text(1), cached.text(9)}), got);
    EXPECT_EQ(std::wstring(got[0]) + L"|" + got[1] + L"|" + got[2], L"Summe|Open|");
    EXPECT_EQ(cached.m_MsgList->GetCount(), 3);
    EXPECT_EQ(cached.m_NewMsg->nId, 9);
}

TEST_F(MsgLib, ListedModeKeepsTheCallersOrderAndGetTextTheWholeString) {
    const KLONG ids[] = {5, 7, 5, 2, 4};
    K_MSG msg(L"KMAIN", ids, 5, 0, nullptr, 0);
    ASSERT_EQ(msg.m_Count, 5);
    EXPECT_STREQ(msg.text(2), L"Summe");
    EXPECT_STREQ(msg.text(6), L"");            // in the library, not in the list
    msg.m_MemTab[2].strText = L"second five";  // of two entries the first wins
    EXPECT_STREQ(msg.text(5), L"Beam");
    for (short count : {0, -3}) EXPECT_STREQ(K_MSG(L"KMAIN", ids, count, 0, nullptr, 0).text(5), L"") << count;
    K_MSG m4(L"KMAIN", 0, 10, 0, 0);
    for (K_MSG* m : {&msg, &m4}) {
        const std::wstring got[] = {m->gettext(2, 1), m->gettext(2, 0), m->gettext(4, 2), m->gettext(3, 0)};
        EXPECT_EQ(std::vector<std::wstring>(got, got + 4),
                  (std::vector<std::wstring>{L"Total$$x", L"Summe", L"Valeur$$unite", L""}));
        EXPECT_EQ(m->gettext(1, 1), m->m_Text);
    }
}

TEST_F(MsgLib, CompleteModeStoresEveryNonEmptyTextBelowTheBound) {
    WriteLib(L"SPAR_001.dll", {{2, L"b"}, {3, L"c"}, {5, L"e"}, {6, L"f"}});
    K_MSG sparse(L"SPARSE", 0, 6, 0, 0);
    EXPECT_EQ(Listing(sparse), L"2 b|3 c|5 e|");
    EXPECT_STREQ(sparse.text(6), L"");  // 6 is not tried
    for (KLONG bound : {0, 1}) EXPECT_EQ(K_MSG(L"SPARSE", 0, bound, 0, 0).m_Items, nullptr);
    K_MSG whole(L"KMAIN", 0, 65536, 0, 0);
    EXPECT_EQ(Listing(whole),
              L"1 Open|2 Summe|3 Only here$$y|4 Value$$unit|5 Beam$$Poutre|6 plain|8 Girder$$OUT::Traeger|65535 last|");
    EXPECT_STREQ(whole.GetTextParam(4, 2), L"Poutre");
    // Field 2 of each text, texts without one left out; the marker is looked for in the kept field.
    K_MSG second(L"KMAIN", 0, 65536, 0, 2);
    EXPECT_EQ(Listing(second), L"2 x|3 y|4 unit|5 Poutre|8 Poutrelle|");
    EXPECT_EQ(K_MSG(L"KMAIN", 0, 65535, 0, 0).m_Count, 7);
}

TEST_F(MsgLib, TextsAreCutAt1023Characters) {
    const std::wstring t1023(1023, L'a'), t1024(1024, L'b');
    WriteLib(L"LONG_001.dll",
             {{1, t1023}, {2, t1024}, {3, std::wstring(5000, L'c')}, {4, L"OUT::" + t1024}, {5, t1023 + L"$$tail"}});
    WriteLib(L"LONG_002.dll", {{4, L"OUT::" + std::wstring(1100, L'o')}});
    K_MSG m1(L"LONG", 0, nullptr, 0), m4(L"LONG", 0, 10, 0, 0);
    ASSERT_EQ(m4.m_Count, 5);
    for (K_MSG* m : {&m1, &m4}) {
        EXPECT_EQ(m->text(2), std::wstring(1023, L'b'));
        EXPECT_EQ(m->text(4), std::wstring(1018, L'o'));  // the marker is dropped from what fits
    }
    for (KLONG id : {1, 5}) EXPECT_EQ(m1.text(id), t1023) << id;
    EXPECT_EQ(m4.GetTextParam(0, 1), t1023);
}

TEST_F(MsgLib, SameLibraryLoadedTwiceIsReleasedTwice) {
    CONF_Language()->output = 1;
    auto* a = new K_MSG(L"KMAIN", 0, nullptr, 0);
    auto* b = new K_MSG(L"KMAIN", 0, 65536, 0, 0);
    EXPECT_EQ(a->wasInitError() + b->wasInitError(), 0);
    EXPECT_STREQ(a->text(2), L"Total");
    delete a;  // four loads of one file: each release must leave the others readable
    EXPECT_STREQ(b->gettext(4, 0), L"Value$$unit");
    delete b;
    EXPECT_STREQ(K_MSG(L"KMAIN", 0, nullptr, 0).text(1), L"Open");
}

TEST_F(MsgLib, CompleteModeOverTenThousandStrings) {
    Strings big = Numbered(10000, 2);
    big[65535] = L"end";
    WriteLib(L"BIG__001.dll", big);
    K_MSG msg(L"BIG", 0, 65536, 0, 0);
    ASSERT_EQ(msg.m_Count, 10001);
    EXPECT_STREQ(msg.GetTextParam(10000, 1), L"end");
    EXPECT_TRUE(KMsgTestAccess::Indexed(msg));
    EXPECT_TRUE(LooksUpAsBisection(msg, 0, 20001));
}

TEST_F(MsgLib, TableGrowsIn99EntrySteps) {
#if defined(KUT_TEST_ASAN)
    // The first byte behind the allocation is poisoned.
    const std::pair<unsigned, unsigned> caps[] = {{99, 102}, {100, 201}, {199, 300}};
    for (const auto& [texts, capacity] : caps) {
        WriteLib(L"GROW_001.dll", Numbered(texts));
        K_MSG msg(L"GROW", 0, 65536, 0, 0);
        ASSERT_EQ(msg.m_Count, static_cast<int>(texts));
        const char* end = reinterpret_cast<const char*>(msg.m_Items + capacity);
        EXPECT_FALSE(__asan_address_is_poisoned(end - 1)) << texts;
        EXPECT_TRUE(__asan_address_is_poisoned(end)) << texts;
    }
#endif
#if defined(KUT_TESTING)
    // Allocations: the table, texts 1-99, the table, texts 100-198 ... A
    // failed growth keeps what came before, a failed text copy loses one
    // text, and without the lookup index (the last) the bisection serves.
    WriteLib(L"GROW_001.dll", Numbered(400));
    const std::tuple<long, int, KLONG> cases[] = {{0, 0, 1}, {100, 99, 100}, {300, 297, 298}, {5, 399, 5}, {405, 400, 401}};
    for (const auto& [after, count, lost] : cases) {
        SCOPED_TRACE(after);
        KUT_TestFailAlloc(after, 0);
        K_MSG msg(L"GROW", 0, 65536, 0, 0);
        EXPECT_EQ(KUT_TestAllocFailures(), 1);
        KUT_TestFailAlloc(-1, 0);
        EXPECT_EQ(msg.m_Count, count);
        EXPECT_STREQ(msg.text(lost), L"");
        if (lost > 1) { EXPECT_STRNE(msg.text(lost - 1), L""); }
        EXPECT_TRUE(LooksUpAsBisection(msg, 0, 401));
    }
#elif !defined(KUT_TEST_ASAN)
    GTEST_SKIP() << "measured in AddressSanitizer or KUT_TESTING builds";
#endif
}

TEST_F(MsgLib, AssignmentIsADeepCopy) {
    auto* cached = new K_MSG(L"KMAIN", 1, nullptr, 0);
    cached->text(2);
    cached->text(4);
    const KLONG ids[] = {4, 2};
    auto* listed = new K_MSG(L"KMAIN", ids, 2, 0, nullptr, 0);
    auto* complete = new K_MSG(L"KMAIN", 0, 65536, 0, 0);
    const Table whole = TableOf(*complete);
    K_MSG a(L"NONE", 0, nullptr, 0), b(L"NONE", 0, nullptr, 0), c(L"NONE", 0, nullptr, 0);
    a = *cached;
    b = *listed;
    c = *complete;
    K_MSG d(*complete);
    // Anything still shared is used after its release from here on.
    delete cached;
    delete listed;
    delete complete;
    EXPECT_EQ(a.m_NewMsg->nId, 4);
    EXPECT_EQ(std::wstring(a.text(2)) + a.text(1), L"SummeOpen");  // 1 read through the copy's own library
    EXPECT_STREQ(b.text(4), L"Value");
    EXPECT_STREQ(b.gettext(1, 0), L"Ouvrir");
    EXPECT_EQ(a.m_MsgList->GetCount(), 3);
    EXPECT_EQ(TableOf(c), whole);
    EXPECT_EQ(TableOf(d), whole);
    const wchar_t* kept = c.text(1);
    c = *&c;
    EXPECT_EQ(c.text(1), kept);
    c = a;  // releases the table
    a = b;  // releases the cache
    EXPECT_EQ(std::wstring(c.text(2)) + a.text(4), L"SummeValue");
}

// SortSet inserts before the first greater number in table order (a scan: a
// host's table may be in any order), and GetTextParam reads by position.
TEST_F(MsgTable, SortSetPlacesBeforeTheFirstGreaterNumberAndGetTextParamTakesPositions) {
    K_MSG msg(L"NONE", 0, 0, 0, 0);
    Place(msg, {{5, L"$$x"}, {10, L"t1"}, {20, L"a$$b$$c"}});
    msg.SortSet(L"t2", 10, msg.m_Count++);  // the count before the insertion
    EXPECT_EQ(Listing(msg), L"5 $$x|10 t1|10 t2|20 a$$b$$c|");
    EXPECT_EQ(msg.m_Items[2].pText[3], L'\0');  // room for two more characters
    const std::tuple<KLONG, KLONG, const wchar_t*> cases[] = {{3, 3, L"c"}, {3, 4, L""},   {3, 0, L"a"}, {0, 1, L""},
                                                              {0, 2, L"x"}, {1, 1, L"t1"}, {4, 1, L""},  {-1, 1, L""}};
    for (const auto& [pos, field, want] : cases) EXPECT_STREQ(msg.GetTextParam(pos, field), want) << pos << ", " << field;
    // A missing field is a constant empty text, not the field buffer.
    const wchar_t* missing = msg.GetTextParam(3, 4);
    EXPECT_NE(missing, msg.m_ParamText);
    EXPECT_STREQ(msg.GetTextParam(3, 2), L"b");
    EXPECT_STREQ(missing, L"") << "a later field must not show through";
    EXPECT_EQ(msg.GetTextParam(0, 1), msg.m_ParamText);

    const std::tuple<std::vector<KLONG>, KLONG, std::vector<KLONG>> orders[] = {{{5, 1, 9}, 3, {3, 5, 1, 9}},
                                                                                {{5, 1, 9}, 6, {5, 1, 6, 9}},
                                                                                {{5, 1, 9}, 10, {5, 1, 9, 10}},
                                                                                {{1, 3, 2}, 2, {1, 2, 3, 2}},
                                                                                {{}, 4, {4}}};
    for (const auto& [table, id, want] : orders) {
        SCOPED_TRACE(::testing::PrintToString(table) + " + " + std::to_string(id));
        K_MSG placed(L"NONE", 0, 0, 0, 0);
        Place(placed, Tagged(table));
        placed.SortSet((L"t" + std::to_wstring(id)).c_str(), id, placed.m_Count++);
        EXPECT_EQ(TableOf(placed), Tagged(want));
    }
}

TEST_F(MsgTable, BSearchFindsEveryStoredNumberAndNothingElse) {
    K_MSG msg(L"NONE", 0, 0, 0, 0);
    std::vector<KLONG> odd;  // so that the even numbers lie in the gaps
    for (KLONG i = 0; i < 261; ++i) odd.push_back(2 * i + 1);
    Place(msg, Tagged(odd));
    for (KLONG n = 1; n <= 260; ++n) {  // only the first n entries are the table
        for (KLONG i = 0; i < n; ++i) {
            ASSERT_EQ(msg.BSearch(2 * i + 1, n), i) << "n=" << n;
            ASSERT_EQ(msg.BSearch(2 * i + 2, n), -1) << "n=" << n;
        }
        ASSERT_EQ(std::make_pair(msg.BSearch(0, n), msg.BSearch(2 * n + 1, n)), std::make_pair(-1, -1)) << "n=" << n;
    }
    EXPECT_EQ(K_MSG(L"NONE", 0, 1, 0, 0).BSearch(1, 0), -1);  // no table to touch
    // Of equal numbers, the first the probes meet: the middle, then below it.
    K_MSG dup(L"NONE", 0, 0, 0, 0), same(L"NONE", 0, 0, 0, 0);
    Place(dup, Tagged({5, 5, 5, 7, 9, 9}));
    Place(same, Tagged({3, 3, 3, 3, 3}));
    EXPECT_EQ(std::make_pair(dup.BSearch(5, 6), same.BSearch(3, 5)), std::make_pair(2, 2));
}

// Changes from outside - the count, the array, numbers edited in place, equal
// numbers by SortSet, a copy, a second filling - never make text() answer other than the bisection.
TEST_F(MsgTable, ChangesOfTheTableKeepTheBisectionsAnswer) {
    WriteLib(L"ODD__001.dll", Numbered(200, 2));  // 1, 3, ... 399
    WriteLib(L"ALL__001.dll", Numbered(200));
    K_MSG msg(L"ALL", 0, 65536, 0, 0), odd(L"ODD", 0, 65536, 0, 0), edited(L"ODD", 0, 65536, 0, 0);
    K_MSG copied(msg);
    msg.m_Count = 50;
    EXPECT_TRUE(LooksUpAsBisection(msg, 0, 401));
    msg.m_Count = 200;
    std::swap(msg.m_Items, odd.m_Items);
    EXPECT_TRUE(LooksUpAsBisection(msg, 0, 401));
    EXPECT_TRUE(LooksUpAsBisection(odd, 0, 401));
    // Keeping the order: into the gap below, equal to the neighbour below, below zero, above every indexed number.
    ASSERT_TRUE(KMsgTestAccess::Indexed(edited));
    const std::pair<int, KLONG> edits[] = {{10, 20}, {50, 99}, {0, -5}, {199, 70000}};
    for (const auto& [pos, id] : edits) edited.m_Items[pos].nId = id;
    EXPECT_TRUE(LooksUpAsBisection(edited, -10, 401));
    EXPECT_EQ(edited.text(70000), edited.m_Items[199].pText);
    EXPECT_STREQ(edited.text(20), L"t21$$f21");
    // Equal numbers: SortSet drops the index, and a copy builds none.
    for (int i = 0; i < 20; ++i) copied.SortSet(L"again", copied.m_Items[i * 37 % 200].nId, copied.m_Count++);
    EXPECT_TRUE(LooksUpAsBisection(copied, 0, 401));
    msg = copied;
    EXPECT_TRUE(LooksUpAsBisection(msg, 0, 401));
    msg.LoadAllStrings(100);  // a second filling
    EXPECT_TRUE(LooksUpAsBisection(msg, 0, 401));
}

// The node's earlier text is its owner's business: a host may have pointed
// it at storage of its own, and Set neither frees nor reuses it.
TEST(MsgList, SetMakesANewCopyAndLeavesTheEarlierTextAlone) {
    wchar_t host[] = L"host storage";
    MSG_LIST node;
    EXPECT_EQ(std::make_pair(node.pText, node.nId), std::make_pair(static_cast<wchar_t*>(nullptr), KLONG{0}));
    node.pText = host;
    node.Set(nullptr, 7);
    EXPECT_EQ(std::make_pair(node.pText, node.nId), std::make_pair(&host[0], KLONG{0}));
    node.Set(L"first", 7);
    wchar_t* first = node.pText;
    node.Set(L"second", 8);
    EXPECT_STREQ(host, L"host storage");
    EXPECT_EQ(std::wstring(first) + L"|" + node.pText + L"|" + std::to_wstring(node.nId), L"first|second|8");
    EXPECT_EQ(node.pText[7], L'\0');  // length + 2 characters
    // Neither copy goes with the node: whoever sets a node twice frees both.
    std::free(first);
    std::free(node.pText);
}
