// Every exported function that allocates, run with allocations failing from the N-th call on: no exception comes
// out, each answer is the clean run's or the failure value, and LeakSanitizer finds no leak. Two allocators fail:
// operator new (a Windows DLL keeps its run-time's own, so under wine only this side) and kut's seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <new>
#include <tuple>

#include "failloop.h"
#include "imgfile.h"
#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "kut/decode.h"
#include "kut/file.h"
#include "kut/img.h"
#include "kut/msg.h"
#include "kut/msgmngr.h"
#include "kut/testing.h"
#include "kut/units.h"
#include "langlib_writer.h"
#include "testutil.h"

namespace {

std::atomic<long> g_left{-1};  // calls still allowed; -1: never fail
std::atomic<long> g_failed{0};

void* Allocate(std::size_t n) noexcept {
    if (g_left.load() == 0) return g_failed.fetch_add(1), nullptr;  // and every later call, until disarmed
    if (g_left.load() > 0) g_left.fetch_sub(1);
    return std::malloc(n ? n : 1);
}
void* OrThrow(void* p) { return p ? p : throw std::bad_alloc(); }

}  // namespace

void* operator new(std::size_t n) { return OrThrow(Allocate(n)); }
void* operator new[](std::size_t n) { return OrThrow(Allocate(n)); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using kuttest::kSep;

struct Source {
    const char* name;
    void (*arm)(long n);
    long (*failures)();
    bool seam;
};
constexpr Source kSources[] = {
    {"operator new", [](long n) { g_failed = 0, g_left = n; }, [] { return g_failed.load(); }, false},
    {"kut's seam, once", [](long n) { KUT_TestFailAlloc(n, 0); }, [] { return KUT_TestAllocFailures(); }, true},
    {"kut's seam, from then on", [](long n) { KUT_TestFailAlloc(n, 1); }, [] { return KUT_TestAllocFailures(); }, true},
};
constexpr const Source& kNew = kSources[0];

template <class Run, class Judge>
long FailFrom(const Source& s, Run run, Judge judge) {
    return kuttest::FailFromEachCall(s.arm, s.failures, run, judge);
}

// A run that allocates nothing proves nothing (under wine only the seam counts).
void ExpectReached(const Source& s, long calls, long least) {
#if defined(_WIN32)
    if (!s.seam) return;
#endif
    EXPECT_GT(calls, least) << s.name << " serves the operation";
}

// Without an allocation: the runs copy answers into fixed buffers.
void Keep(wchar_t* dst, const wchar_t* src) {
    std::wcsncpy(dst, src ? src : L"<null>", KUT_TEXT_MAX - 1);
    dst[KUT_TEXT_MAX - 1] = L'\0';
}

bool g_seamRun = false;                         // the run in progress fails kut's seam
constexpr int kAny = INT_MIN, kSame = INT_MAX;  // in `bad`: any answer once something failed; only the clean one

// Runs `run(answers)` clean (each answer `want`'s unless kAny), then with operator new failing from each call on:
// each answer is the clean one or, once an allocation failed, `bad`'s; then the same with kut's seam and
// `seamBad`, if given. Returns the calls a clean run makes of operator new.
template <std::size_t N, class Run, class After>
long CleanOrFailure(Run run, const int (&want)[N], const int (&bad)[N], After after, const int* seamBad = nullptr) {
    int clean[N] = {}, got[N] = {};
    run(clean);
    after(clean, false);
    for (std::size_t i = 0; i < N; ++i)
        if (want[i] != kAny) { EXPECT_EQ(clean[i], want[i]) << "clean answer " << i; }
    long calls = 0;
    for (const Source& s : kSources) {
        if (s.seam && !seamBad) break;
        const int* allowed = s.seam ? seamBad : bad;
        SCOPED_TRACE(s.name);
        g_seamRun = s.seam;
        const long c = FailFrom(
            s, [&] { run((std::fill(got, got + N, 0), got)); },
            [&](long n, long failed) {
                for (std::size_t i = 0; i < N; ++i)
                    EXPECT_TRUE(got[i] == clean[i] ||
                                (failed && allowed[i] != kSame && (allowed[i] == kAny || got[i] == allowed[i])))
                        << "answer " << i << " run " << n << ": " << got[i] << " where " << clean[i];
                after(got, failed != 0);
            });
        s.seam ? ExpectReached(s, c, 0) : void(calls = c);
    }
    return calls;
}

std::string Bmp(int w, int h) {
    std::string out, error;
    EXPECT_TRUE(kuttools::EncodeBmp({w, h, std::vector<std::uint32_t>(w * h, 0x102030u)}, 24, false, &out, &error)) << error;
    return out;
}

// Language libraries, image file, unit file and temporary files all in one folder.
class NewFail : public ::testing::Test {
protected:
    void SetUp() override {
        // Gaps (every 7th), fields (every 3rd), the last number, and a text the output library replaces.
        std::map<unsigned, std::wstring> logic{{5, L"OUT::logic five"}, {65535, L"last"}}, output{{5, L"OUT::output five"}};
        for (unsigned id = 1; id <= 40; ++id)
            if (id % 7 != 0 && id != 5) logic[id] = L"text " + std::to_wstring(id) + (id % 3 == 0 ? L"$$field two" : L"");
        std::string error, bytes;
        ASSERT_TRUE(kuttools::WriteLanguageLibrary(m_dir.file(L"NF___001.dll"), logic, &error)) << error;
        ASSERT_TRUE(kuttools::WriteLanguageLibrary(m_dir.file(L"NF___002.dll"), output, &error)) << error;
        ASSERT_TRUE(kuttools::ImageFileBytes({{"FIRST", {Bmp(5, 3), Bmp(6, 5)}}, {"SECOND", {Bmp(7, 7)}}}, &bytes, &error))
            << error;
        ASSERT_TRUE(kuttest::WriteFile(m_dir.file(L"nf.img"), bytes));
        ASSERT_TRUE(kuttest::WriteFile(m_dir.file(L"unimet.cfg"),
                                       "2\r\nM, 1.0\r\nMM, 1000.0\r\n2\r\nN, 1.0\r\nKN, 0.001\r\n2\r\nKG, 1.0\r\nT, 0.001\r\n"));
        for (short kind : {1, 2, 9}) REP_SetRepert(kind, m_dir.path().c_str());
        CONF_Language()->logic = 1, CONF_Language()->output = 2;
        CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC] = 0;
    }
    void TearDown() override {
        REP_SetRepert(1, nullptr), REP_SetRepert(2, nullptr), REP_SetRepert(5, nullptr), REP_SetRepert(9, nullptr);
    }
    kuttest::TempDir m_dir;
};

constexpr KLONG kIds[] = {3, 5, 9, 14, 40, 65535};  // 14: no text; 5: replaced by the output library
constexpr int kPerObject = 6, kTexts = 4 * kPerObject + 3;
struct MsgAnswers {
    short error[3];
    wchar_t text[kTexts][KUT_TEXT_MAX];
};
struct MsgMode {
    const char* name;
    K_MSG (*make)();
    K_MSG (*other)();  // assigned over by the object
    const wchar_t* three;
};

void TakeTexts(MsgAnswers* a, int slot, K_MSG& m) {
    for (int i = 0; i < kPerObject; ++i) Keep(a->text[slot * kPerObject + i], m.text(kIds[i]));
}

void RunMsg(const MsgMode& mode, MsgAnswers* a) {
    K_MSG m = mode.make();
    a->error[0] = m.wasInitError();
    TakeTexts(a, 0, m);
    TakeTexts(a, 1, m);  // from the cache, where there is one
    K_MSG copy(m);
    a->error[1] = copy.wasInitError();
    TakeTexts(a, 2, copy);
    K_MSG other = mode.other();
    other.text(3);
    other = copy;
    a->error[2] = other.wasInitError();
    TakeTexts(a, 3, other);
    const CString s = other[9];
    Keep(a->text[4 * kPerObject], s);
    Keep(a->text[4 * kPerObject + 1], m.gettext(9, 1));
    m.fillParam(L"a %1 b", a->text[4 * kPerObject + 2], 1, L"X");
}

TEST_F(NewFail, MessageTablesAnswerTheTextOrNothing) {
    const MsgMode modes[] = {
        {"mode 1 cached", [] { return K_MSG(L"NF", 1, nullptr, 1); }, [] { return K_MSG(L"NF", 0, nullptr, 1); }, L"text 3"},
        {"mode 1", [] { return K_MSG(L"NF", 0, nullptr, 0); }, [] { return K_MSG(L"NF", 1, nullptr, 1); }, L"text 3"},
        {"mode 2", [] { return K_MSG(L"NF", kIds, 6, 0, nullptr, 1); }, [] { return K_MSG(L"NF", kIds, 1, 0, nullptr, 1); },
         L"text 3"},
        {"mode 4", [] { return K_MSG(L"NF", 0, 65536, 0, 0); }, [] { return K_MSG(L"NF", 1, 10, 0, 0); }, L"text 3$$field two"},
        {"mode 4, field 2", [] { return K_MSG(L"NF", 1, 65536, 0, 2); }, [] { return K_MSG(L"NF", 1, nullptr, 0); },
         L"field two"},
    };
    static MsgAnswers clean, logicOnly, got;
    long seamCalls = 0;  // mode 2 makes none
    const std::string on = kuttest::Narrow(m_dir.file(L"NF___002.dll")), off = on + ".off";
    for (const MsgMode& mode : modes) {
        SCOPED_TRACE(mode.name);
        // Without the output library the logic one is still read: a third kind of answer when operator new fails.
        ASSERT_EQ(std::rename(on.c_str(), off.c_str()), 0);
        logicOnly = MsgAnswers{};
        RunMsg(mode, &logicOnly);
        ASSERT_EQ(std::rename(off.c_str(), on.c_str()), 0);
        ASSERT_EQ(logicOnly.error[0], -1);
        clean = MsgAnswers{};
        RunMsg(mode, &clean);
        ASSERT_EQ(clean.error[0], 0);
        EXPECT_STREQ(clean.text[0], mode.three);
        EXPECT_STREQ(clean.text[4 * kPerObject + 2], L"a X b");
        for (const Source& s : kSources) {
            SCOPED_TRACE(s.name);
            const long calls = FailFrom(
                s, [&] { RunMsg(mode, &(got = MsgAnswers{})); },
                [&](long n, long failed) {
                    for (int i = 0; i < 3; ++i)
                        EXPECT_TRUE(got.error[i] == clean.error[i] || (failed && got.error[i] == -1)) << i << " run " << n;
                    // A failed allocation may lose a text, never change one.
                    for (int i = 0; i < kTexts; ++i) {
                        const bool same = std::wcscmp(got.text[i], clean.text[i]) == 0;
                        const bool lost =
                            got.text[i][0] == L'\0' || (!s.seam && std::wcscmp(got.text[i], logicOnly.text[i]) == 0);
                        EXPECT_TRUE(same || (failed && lost))
                            << "text " << i << " run " << n << ": " << kuttest::Narrow(got.text[i]);
                    }
                });
            s.seam ? void(seamCalls += calls) : ExpectReached(s, calls, 4);
        }
    }
    EXPECT_GT(seamCalls, 10) << "the tables and the texts come from kut's seam";
}

class Info : public KMsgExtInfoBase {
public:
    void Link(const wchar_t* a, const wchar_t* b) { m_Link1 = a, m_Link2 = b; }
};

class Recorder : public KMsgMngrBase {
public:
    int Message(unsigned int, unsigned int, const wchar_t*, const wchar_t* text2, const wchar_t*, unsigned int,
                KMsgExtInfoBase*) override {
        if (throws) throw std::bad_alloc();
        Keep(seen, text2);
        return 42;
    }
    wchar_t seen[KUT_TEXT_MAX] = {};
    bool throws = false;
};

TEST_F(NewFail, MessagesAndInfoCopies) {
    Recorder recorder;
    Info info;
    info.Link(L"https://example.invalid/a-long-enough-link-to-need-the-heap", L"and its second part, also long");
    int answers[3] = {};
    bool linked[2] = {};
    static KMsgMngrBase standard;
    FailFrom(
        kNew,
        [&] {
            KMSG_SetMsgMngr(standard);
            answers[0] = KMSG_Message(1, 2, L"first", nullptr, L"three", 4, nullptr);
            KMSG_SetMsgMngr(recorder);
            answers[1] = KMSG_Message(1, 2, L"first text, long enough to need memory when copied", nullptr, nullptr, 0, &info);
            answers[2] = KMSG_Message(1, 2, nullptr, nullptr, nullptr, 0, nullptr);
            KMSG_SetMsgMngr(standard);
            Info copy(info), assigned;
            assigned = info;
            linked[0] = copy.ConsistWebLink(), linked[1] = assigned.ConsistWebLink();
        },
        [&](long n, long failed) {
            EXPECT_EQ(std::make_tuple(answers[0], answers[1], answers[2]), std::make_tuple(6, 42, 42)) << n;
            EXPECT_STREQ(recorder.seen, L"") << "text2 of a message without texts, run " << n;
            // A copy without memory has no web link; one with memory has it.
            if (!failed) { EXPECT_TRUE(linked[0] && linked[1]) << n; }
        });
    // A throwing host manager: the caller gets the default manager's answer.
    recorder.throws = true;
    KMSG_SetMsgMngr(recorder);
    EXPECT_EQ(KMSG_Message(0, 0, L"q", nullptr, nullptr, 4, nullptr), 6);
    EXPECT_EQ(KMSG_Message(0, 0, L"q", nullptr, nullptr, 0, nullptr), 3);
    KMSG_SetMsgMngr(standard);
}

TEST_F(NewFail, UnitCoefficientsOrANegativeValue) {
    const double expected[] = {1000.0, 1000.0, 0.001, 1000.0, 0.001, 0.001};
    wchar_t m[] = L"M", mm[] = L"MM", kn[] = L"KN", nw[] = L"N", kg[] = L"KG", t[] = L"T", lower[] = L"mm";
    for (const Source& s : kSources) {
        SCOPED_TRACE(s.name);
        double got[6] = {};
        bool tableLeft = false;
        // Each call reads the file into a row table of its own: a seam failure answers -2 for that call alone.
        const long calls = FailFrom(
            s,
            [&] {
                KUT_Units units;
                got[0] = units.LenghtCoeff(m, mm), got[1] = units.ForceCoeff(kn, nw), got[2] = units.MassCoeff(kg, t);
                KUT_Units copy(units);
                got[3] = copy.GetLenghtCoeff(lower), got[4] = copy.GetForceCoeff(kn), got[5] = copy.GetMassCoeff(t);
                tableLeft = units.unitTab || copy.unitTab;
            },
            [&](long n, long failed) {
                EXPECT_FALSE(tableLeft) << n;
                for (int i = 0; i < 6; ++i) {
                    const bool right = got[i] > 0 && got[i] / expected[i] > 0.999999 && got[i] / expected[i] < 1.000001;
                    const bool failure = got[i] == -2.0 || (!s.seam && got[i] == -1.0);
                    EXPECT_TRUE(right || (failed && failure)) << i << " run " << n << ": " << got[i];
                }
                if (s.seam) { EXPECT_EQ(std::count(got, got + 6, -2.0) > 0, failed > 0) << n; }
            });
        if (s.seam) { EXPECT_EQ(calls, 6) << "one row table per call"; }
        ExpectReached(s, calls, 5);
    }
}

TEST_F(NewFail, ImagesAnswerTheImageOrMinusOne) {
    ASSERT_EQ(GRAF_CanvasSize(40, 40), 0);
    static unsigned char buffer[4096];
    auto run = [&](int* a) {
        IMG_SetImgFileName(L"nf");
        a[0] = std::wcscmp(IMG_File(), L"nf.img") == 0 ? 0 : IMG_File()[0] ? 1 : -1;
        a[1] = IMG_Init(16);
        short w = 0, h = 0;
        a[2] = IMG_ImgSize(L"FIRST", 1, &w, &h) == 0 ? w * 100 + h : -1;
        a[3] = IMG_Show(L"SECOND", 0, 2, 3, 0);
        int size = sizeof buffer, cachedSize = 0;
        a[4] = IMG_GetFromFile(L"FIRST", 0, buffer, &size);
        const void* cached = IMG_GetFromCache(L"SECOND", 0, &cachedSize);
        const GRAF_BMP_INFO* info = cached ? GRAF_BMP_Info(cached) : nullptr;
        a[5] = !cached ? -1 : info && info->width == 7 && cachedSize == info->bytes ? 0 : 2;
        IMG_ListToCache(L"FIRST", 0, 1, -1);
        IMG_FlushList(L"FIRST", 0, -1);
        IMG_FlushModule(L"SECOND");
        IMG_LABEL label{};
        a[6] = IMG_CreateLabel(L"FIRST", 1, &label);
        IMG_LabelsToCache(&label, 1);
        IMG_Flush();
        a[7] = GRAF_CanvasPixel(3, 4);
        IMG_Close();
    };
    // kut's seam failing the cache's allocations once the cache is set up: the images come from the file.
    const int bad[] = {-1, -1, -1, -1, -1, -1, -1, kAny};
    auto fromFile = [](const int* a, bool) {
        if (g_seamRun && a[1] == 0) { EXPECT_EQ(a[2], 605); }
    };
    const long calls = CleanOrFailure(run, {0, 0, 605, kAny, kAny, 0, kAny, kAny}, bad, fromFile, bad);
    ExpectReached(kNew, calls, 0);
}

void DecodeLine(wchar_t* line, unsigned char* folded) {
    const wchar_t text[] = {0x82, 0x41, 0xE1, 0x99, 0};
    std::wmemcpy(line, text, 5);
    DECODE_DosToWin(line, 4, 34);
    DECODE_Language(34);
    *folded = 0xE9;
    DECODE_Txt_XP(folded);
}

TEST_F(NewFail, DecodingLoadersAndConversionsAnswerADocumentedValue) {
    kuttest::TempDir empty;
    const std::wstring src = m_dir.file(L"dos.txt"), dst = m_dir.file(L"win.txt");
    const std::wstring data = kuttest::SourceDir() + kSep + L"data" + kSep + L"decode";
    ASSERT_TRUE(kuttest::WriteFile(src, "kesto line \x82\x8a\r\nsecond \xe1\n"));
    // A load that finds no memory may end with the data files' answers or the built-in ones.
    wchar_t lines[2][5];
    unsigned char folded[2];
    std::string converted[2];
    for (int files : {0, 1}) {
        REP_SetRepert(5, files ? data.c_str() : empty.path().c_str());
        KUT_TestResetDecodeState();
        DecodeLine(lines[files], &folded[files]);
        std::wstring out = dst;
        ASSERT_EQ(DECODE_Convert(src.c_str(), &out[0], 34), 0);
        ASSERT_TRUE(kuttest::ReadFile(dst, &converted[files]));
    }
    KUT_TestResetDecodeState();
    wchar_t tempName[KUT_TMPPATH_MAX];
    auto run = [&](int* a) {
        wchar_t line[5], out[KUT_PATH_MAX];
        unsigned char fold = 0;
        DecodeLine(line, &fold);
        a[0] = std::wmemcmp(line, lines[1], 4) == 0 ? 0 : std::wmemcmp(line, lines[0], 4) == 0 ? 1 : 2;
        a[1] = fold == folded[1] ? 0 : fold == folded[0] ? 1 : 2;
        std::wcscpy(out, dst.c_str());
        a[2] = std::min(DECODE_Convert(src.c_str(), out, 34), 1);  // 1 and 2 name the side that failed
        tempName[0] = L'\0';
        a[3] = std::min(DECODE_ConvertFile(src.c_str(), tempName, 34), 1);
    };
    auto after = [&](const int* a, bool failed) {
        std::string bytes;
        if (a[2] == 0) {
            EXPECT_TRUE(kuttest::ReadFile(dst, &bytes) && (bytes == converted[1] || (failed && bytes == converted[0])));
        }
        if (a[3] == 0) { EXPECT_TRUE(kuttest::Exists(tempName)); }
        KUT_TestResetDecodeState();  // back to a first call, so that every N meets the loaders
    };
    ExpectReached(kNew, CleanOrFailure(run, {0, 0, 0, 0}, {1, 1, 1, 1}, after), 2);
}

// Gives up on every failed entry with 255 (carried by the status), so a walk with no memory left ends.
int GiveUp(const wchar_t*, FTW_CTX* ctx) {
    if (ctx->kind != 4 || ctx->error == 0) return 0;
    ctx->error = 0;
    return 255;
}

TEST_F(NewFail, FileCopiesAndWalksAnswerZeroOr255) {
    const kuttest::TempDir& dir = m_dir;
    const std::wstring src = dir.file(L"src"), a = src + kSep + L"a.txt", copyFile = dir.file(L"copy.txt");
    const std::wstring tree = dir.file(L"tree"), made = dir.file(L"made"), nested = made + kSep + L"x" + kSep + L"y";
    const std::wstring pasted = dir.file(L"a.txt");
    kuttest::MakeDir(src + kSep + L"sub");
    const std::string bytes = kuttest::Pattern(70001);
    ASSERT_TRUE(kuttest::WriteFile(a, bytes));
    ASSERT_TRUE(kuttest::WriteFile(src + kSep + L"sub" + kSep + L"b.txt", "B"));
    kuttest::MakeDir(tree);
    auto run = [&](int* r) {
        r[0] = _FILE_Copy(&r[1], copyFile.c_str(), a.c_str());
        r[2] = _FILE_TreeCopy(&r[3], tree.c_str(), src.c_str(), L"*", L"*", 3, -1, GiveUp);
        r[4] = _FILE_TreeScan(&r[5], src.c_str(), L"*", L"*.txt", -1, GiveUp);
        int status = 0;
        r[6] = _FILE_MkDir(&status, nested.c_str());
        r[7] = _FILE_TreeRemove(&r[8], made.c_str(), L"*", L"*", 4 | 8 | 16, -1, GiveUp);
        r[8] = r[8] == 255 ? 1 : r[8];  // the removal's status is its last step's: _FILE_RmDir answers 1
        r[9] = _FILE_Len(&status, a.c_str());
        FILE* f = _FILE_FOpen(&status, a.c_str(), L"rb");
        r[10] = f ? 0 : 255;
        if (f) _FILE_FClose(&status, f);
        wchar_t out[KUT_PATH_MAX];
        _FILE_NamePaste(&status, a.c_str(), copyFile.c_str(), out);
        r[11] = std::wcscmp(out, pasted.c_str()) != 0;
    };
    auto after = [&](const int* r, bool failed) {
        if (r[0] == 0) { EXPECT_EQ(kuttest::Difference(kuttest::Read(copyFile), bytes), ""); }
        if (!failed) { EXPECT_TRUE(kuttest::Exists(tree + kSep + L"sub" + kSep + L"b.txt")); }
        kuttest::RemoveTree(tree), kuttest::RemoveTree(made), kuttest::MakeDir(tree);
    };
    // _FILE_Copy answers 1 for a failure and leaves its status 0. A chunk kut's seam refuses shrinks, never fails:
    // 70,001 bytes reach the static passes after many shrinking attempts, and leave a remainder.
    const int seamBad[12] = {kSame, kSame, kSame, kSame, kSame, kSame, kSame, kSame, kSame, kSame, kSame, kSame};
    const long calls = CleanOrFailure(run, {0, 0, 0, 0, 0, 0, 0, 0, 0, 70001, 0, 0},
                                      {1, 0, 255, 255, 255, 255, kAny, 255, 1, -1, kAny, kAny}, after, seamBad);
    ExpectReached(kNew, calls, 5);
}

TEST_F(NewFail, SiblingPathsSearchesAndCanvas) {
    const kuttest::TempDir& dir = m_dir;
    ASSERT_TRUE(kuttest::WriteFile(dir.file(L"b.dat"), "xyz"));
    const std::wstring pattern = dir.file(L"*.dat"), saved = dir.file(L"canvas.bmp"), data = dir.file(L"b.dat");
    auto run = [&](int* a) {
        wchar_t path[520], name[KUT_PATH_MAX], merged[KUT_PATH_MAX];
        short found = -1;
        REP_SetRepert(1, dir.path().c_str());
        a[0] = REP_Repert(0, 1, L"file.txt", path);
        a[1] = REP_ChkCfg(270, L"unimet.cfg", path, &found);
        a[2] = found == a[1];
        a[3] = SYS_FileFind(pattern.c_str(), name, 1);
        a[4] = a[3] == 0 && std::wcscmp(name, L"b.dat") != 0;
        while (SYS_FileFind(nullptr, merged, 1) == 0) {}
        a[5] = SYS_FileMerge(merged, nullptr, dir.path().c_str(), L"name", L".ext");
        a[6] = SYS_FileLen(data.c_str());
        FILE* f = REP_FOpen(data.c_str(), L"r");
        a[7] = f ? 0 : -1;
        if (f) REP_FClose(&f);
        a[8] = GRAF_CanvasSize(20, 10);
        a[9] = GRAF_CanvasSave(saved.c_str());
        CONF_Language();
        CONF_KUNITS();
    };
    const long calls =
        CleanOrFailure(run, {0, 1, 1, 0, 0, 0, 3, 0, 0, 0}, {-1, 0, 1, -1, 0, -1, -1, kAny, -1, -1}, [](const int*, bool) {});
    ExpectReached(kNew, calls, 5);
}

}  // namespace
