// Every exported function that allocates, run with the global operator new
// (and new[], and their nothrow forms) failing from the N-th call on, for
// N = 0, 1, 2 ... until a run completes without a failure. No exception may
// come out of the library, each answer must be the clean run's answer or the
// documented failure value, and in the asan build LeakSanitizer checks at
// exit that nothing leaked.
//
// The replacement below serves the whole process on Linux, the libraries
// included. A Windows DLL keeps the operator new of its own run-time, so
// under wine only this program's allocations fail: the Windows leg shows
// that the harness and the answers hold there, the Linux leg proves the
// library.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <new>
#include <string>

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

bool FailThisCall() {
    if (g_left.load(std::memory_order_relaxed) < 0) return false;
    if (g_left.load(std::memory_order_relaxed) == 0) {
        g_failed.fetch_add(1, std::memory_order_relaxed);
        return true;  // and every later call, until disarmed
    }
    g_left.fetch_sub(1, std::memory_order_relaxed);
    return false;
}

void* Allocate(std::size_t n) noexcept {
    if (FailThisCall()) return nullptr;
    return std::malloc(n ? n : 1);
}

}  // namespace

void* operator new(std::size_t n) {
    if (void* p = Allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    if (void* p = Allocate(n)) return p;
    throw std::bad_alloc();
}
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

// `value` is `good`, or `bad` in a run where an allocation failed; the
// failure names the value and what was expected.
::testing::AssertionResult Either(int value, int good, bool failed, int bad) {
    if (value == good || (failed && value == bad)) return ::testing::AssertionSuccess();
    ::testing::AssertionResult r = ::testing::AssertionFailure() << value << " where " << good;
    return failed ? r << " or " << bad << " was expected" : r << " was expected";
}

// Runs `run` with operator new failing from call N on, for N = 0, 1, ...,
// and hands `judge` N and whether anything failed; stops after the first
// run without a failure. Returns that N (the calls a clean run makes).
template <class Run, class Judge>
long FailFromEachCall(Run run, Judge judge) {
    for (long n = 0; n < 20000; ++n) {
        bool escaped = false;
        g_failed = 0;
        g_left = n;
        try {
            run();
        } catch (...) { escaped = true; }
        g_left = -1;
        const bool failed = g_failed.load() > 0;
        EXPECT_FALSE(escaped) << "an exception left the library with new failing from call " << n;
        judge(n, failed);
        if (!failed) return n;
    }
    ADD_FAILURE() << "still failing after 20000 calls";
    return -1;
}

// Without an allocation: the run copies answers into fixed buffers.
void Keep(wchar_t* dst, const wchar_t* src) {
    if (!src) src = L"<null>";
    std::wcsncpy(dst, src, KUT_TEXT_MAX - 1);
    dst[KUT_TEXT_MAX - 1] = L'\0';
}

// The calls a clean run makes on Linux (where the libraries' allocations
// count) must be more than `least`: a run that allocates nothing proves
// nothing.
void ExpectAllocates(long calls, long least) {
#if !defined(_WIN32)
    EXPECT_GT(calls, least) << "the operation allocates through operator new";
#else
    (void)calls, (void)least;
#endif
}

class NewFail : public ::testing::Test {
protected:
    void SetUp() override {
        std::map<unsigned, std::wstring> logic, output{{5, L"OUT::output five"}};
        for (unsigned id = 1; id <= 40; ++id)
            logic[id] = id == 5 ? L"OUT::logic five" : L"text " + std::to_wstring(id) + (id % 3 == 0 ? L"$$field" : L"");
        std::string error;
        ASSERT_TRUE(kuttools::WriteLanguageLibrary(m_dir.file(L"NF___001.dll"), logic, &error)) << error;
        ASSERT_TRUE(kuttools::WriteLanguageLibrary(m_dir.file(L"NF___002.dll"), output, &error)) << error;
        REP_SetRepert(2, m_dir.path().c_str());
        CONF_Language()->logic = 1, CONF_Language()->output = 2;
    }
    void TearDown() override { REP_SetRepert(2, nullptr); }
    kuttest::TempDir m_dir;
};

// ---- message tables --------------------------------------------------------

constexpr int kTexts = 8;
struct MsgAnswers {
    short error[3];
    wchar_t text[kTexts][KUT_TEXT_MAX];
};

TEST_F(NewFail, MessageTablesAnswerTheTextOrNothing) {
    const KLONG ids[] = {3, 5, 9, 41};
    struct Mode {
        const char* name;
        void (*run)(MsgAnswers*, const KLONG*);
    };
    const Mode modes[] = {
        {"mode 1 cached",
         [](MsgAnswers* a, const KLONG*) {
             K_MSG m(L"NF", 1, nullptr, 1);
             a->error[0] = m.wasInitError();
             Keep(a->text[0], m.text(3));
             Keep(a->text[1], m.text(5));
             Keep(a->text[2], m.text(3));  // from the cache
             K_MSG copy(m);
             a->error[1] = copy.wasInitError();
             Keep(a->text[3], copy.text(5));
             K_MSG other(L"NF", 0, nullptr, 1);
             other = m;
             a->error[2] = other.wasInitError();
             Keep(a->text[4], other.text(9));
             const CString s = m[7];
             Keep(a->text[5], s);
             m.fillParam(L"a %1 b", a->text[6], 1, L"X");
             Keep(a->text[7], m.gettext(6, 1));
         }},
        {"mode 1 uncached",
         [](MsgAnswers* a, const KLONG*) {
             K_MSG m(L"NF", 0, nullptr, 1);
             a->error[0] = m.wasInitError();
             Keep(a->text[0], m.text(3));
             Keep(a->text[1], m.text(5));
             K_MSG copy(m);
             a->error[1] = a->error[2] = copy.wasInitError();
             Keep(a->text[2], copy.text(9));
             const CString s = copy[12];
             Keep(a->text[3], s);
         }},
        {"mode 2",
         [](MsgAnswers* a, const KLONG* numbers) {
             K_MSG m(L"NF", numbers, 4, 0, nullptr, 1);
             a->error[0] = m.wasInitError();
             for (int i = 0; i < 4; ++i) Keep(a->text[i], m.text(numbers[i]));
             K_MSG copy(m);
             a->error[1] = copy.wasInitError();
             Keep(a->text[4], copy.text(5));
             K_MSG other(L"NF", numbers, 1, 0, nullptr, 1);
             other = copy;
             a->error[2] = other.wasInitError();
             Keep(a->text[5], other.text(9));
         }},
        {"mode 4",
         [](MsgAnswers* a, const KLONG*) {
             K_MSG m(L"NF", 1, 100, 0, 0);
             a->error[0] = m.wasInitError();
             Keep(a->text[0], m.text(3));
             Keep(a->text[1], m.text(5));
             K_MSG copy(m);
             a->error[1] = copy.wasInitError();
             Keep(a->text[2], copy.text(40));
             K_MSG other(L"NF", 1, 10, 0, 0);
             other = m;
             a->error[2] = other.wasInitError();
             Keep(a->text[3], other.text(9));
             const CString s = other[9];
             Keep(a->text[4], s);
         }},
    };
    for (const Mode& mode : modes) {
        SCOPED_TRACE(mode.name);
        // An object whose output library did not load (wasInitError -1)
        // still reads the logic library: its answers are the third kind.
        MsgAnswers clean{}, logicOnly{}, got{};
        ASSERT_EQ(std::rename(kuttest::Narrow(m_dir.file(L"NF___002.dll")).c_str(),
                              kuttest::Narrow(m_dir.file(L"NF___002.off")).c_str()),
                  0);
        mode.run(&logicOnly, ids);
        ASSERT_EQ(std::rename(kuttest::Narrow(m_dir.file(L"NF___002.off")).c_str(),
                              kuttest::Narrow(m_dir.file(L"NF___002.dll")).c_str()),
                  0);
        ASSERT_EQ(logicOnly.error[0], -1);
        mode.run(&clean, ids);
        ASSERT_EQ(clean.error[0], 0);
        ASSERT_STRNE(clean.text[0], L"");
        const long calls = FailFromEachCall(
            [&] {
                got = MsgAnswers{};
                mode.run(&got, ids);
            },
            [&](long n, bool failed) {
                for (int i = 0; i < 3; ++i) {
                    EXPECT_TRUE(got.error[i] == clean.error[i] || (failed && got.error[i] == -1)) << i << " run " << n;
                }
                // A failed allocation may lose a text, never change one; an
                // object whose libraries did not load reads nothing.
                for (int i = 0; i < kTexts; ++i) {
                    const bool same = std::wcscmp(got.text[i], clean.text[i]) == 0;
                    const bool lost = got.text[i][0] == L'\0' || std::wcscmp(got.text[i], logicOnly.text[i]) == 0;
                    EXPECT_TRUE(same || (failed && lost))
                        << mode.name << " text " << i << " run " << n << ": " << kuttest::Narrow(got.text[i]);
                }
            });
        ExpectAllocates(calls, 4);
    }
    // The fill needs no memory at all.
    MsgAnswers last{};
    modes[0].run(&last, ids);
    EXPECT_STREQ(last.text[6], L"a X b");
}

// ---- the message manager ---------------------------------------------------

class Info : public KMsgExtInfoBase {
public:
    void Link(const wchar_t* a, const wchar_t* b) { m_Link1 = a, m_Link2 = b; }
};

class Recorder : public KMsgMngrBase {
public:
    int Message(unsigned int, unsigned int, const wchar_t*, const wchar_t* text2, const wchar_t*, unsigned int,
                KMsgExtInfoBase*) override {
        Keep(seen, text2);
        return 42;
    }
    wchar_t seen[KUT_TEXT_MAX] = {};
};

TEST(NewFailManager, MessagesAndInfoCopies) {
    Recorder recorder;
    Info info;
    info.Link(L"https://example.invalid/a-long-enough-link-to-need-the-heap", L"and its second part, also long");
    int answers[3] = {};
    bool linked[2] = {};
    static KMsgMngrBase standard;
    const long calls = FailFromEachCall(
        [&] {
            KMSG_SetMsgMngr(standard);
            answers[0] = KMSG_Message(1, 2, L"first", nullptr, L"three", 4, nullptr);  // the default manager
            KMSG_SetMsgMngr(recorder);
            answers[1] = KMSG_Message(1, 2, L"first text, long enough to need memory when copied", nullptr, nullptr, 0, &info);
            answers[2] = KMSG_Message(1, 2, nullptr, nullptr, nullptr, 0, nullptr);
            KMSG_SetMsgMngr(standard);
            Info copy(info);
            linked[0] = copy.ConsistWebLink();
            Info assigned;
            assigned = info;
            linked[1] = assigned.ConsistWebLink();
        },
        [&](long n, bool failed) {
            EXPECT_EQ(answers[0], 6) << n;
            EXPECT_EQ(answers[1], 42) << n;
            EXPECT_EQ(answers[2], 42) << n;
            EXPECT_STREQ(recorder.seen, L"") << "text2 of a message without texts, run " << n;
            // A copy without memory has no web link; one with memory has it.
            if (!failed) {
                EXPECT_TRUE(linked[0]) << n;
                EXPECT_TRUE(linked[1]) << n;
            }
        });
    static_cast<void>(calls);
    // A throwing host manager: the caller gets the default manager's answer.
    class Thrower : public KMsgMngrBase {
        int Message(unsigned int, unsigned int, const wchar_t*, const wchar_t*, const wchar_t*, unsigned int,
                    KMsgExtInfoBase*) override {
            throw std::bad_alloc();
        }
    } thrower;
    KMSG_SetMsgMngr(thrower);
    EXPECT_EQ(KMSG_Message(0, 0, L"q", nullptr, nullptr, 4, nullptr), 6);
    EXPECT_EQ(KMSG_Message(0, 0, L"q", nullptr, nullptr, 0, nullptr), 3);
    KMSG_SetMsgMngr(standard);
}

// ---- images ----------------------------------------------------------------

TEST(NewFailImages, AnswersAreTheImageOrMinusOne) {
    kuttest::TempDir dir;
    auto bmp = [](int w, int h) {
        std::string out, error;
        const std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w * h), 0x102030u);
        EXPECT_TRUE(kuttools::EncodeBmp({w, h, pixels}, 24, false, &out, &error)) << error;
        return out;
    };
    std::string bytes, error;
    ASSERT_TRUE(kuttools::ImageFileBytes({{"FIRST", {bmp(5, 3), bmp(6, 5)}}, {"SECOND", {bmp(7, 7)}}}, &bytes, &error)) << error;
    ASSERT_TRUE(kuttest::WriteFile(dir.file(L"nf.img"), bytes));
    REP_SetRepert(2, dir.path().c_str());
    ASSERT_EQ(GRAF_CanvasSize(40, 40), 0);
    struct Answers {
        wchar_t file[KUT_TEXT_MAX];
        short init, size, show, fromFile, label;
        short w, h;
        void* cached;
        int pixel;
    } got{}, clean{};
    static unsigned char buffer[4096];
    auto run = [&](Answers* a) {
        IMG_SetImgFileName(L"nf");
        Keep(a->file, IMG_File());
        a->init = IMG_Init(16);
        a->size = IMG_ImgSize(L"FIRST", 1, &a->w, &a->h);
        a->show = IMG_Show(L"SECOND", 0, 2, 3, 0);
        int size = sizeof buffer;
        a->fromFile = IMG_GetFromFile(L"FIRST", 0, buffer, &size);
        int cachedSize = 0;
        a->cached = IMG_GetFromCache(L"SECOND", 0, &cachedSize);
        IMG_ListToCache(L"FIRST", 0, 1, -1);
        IMG_FlushList(L"FIRST", 0, -1);
        IMG_FlushModule(L"SECOND");
        IMG_LABEL label{};
        a->label = IMG_CreateLabel(L"FIRST", 1, &label);
        IMG_LabelsToCache(&label, 1);
        IMG_Flush();
        a->pixel = GRAF_CanvasPixel(3, 4);
        IMG_Close();
    };
    run(&clean);
    ASSERT_EQ(clean.init, 0);
    ASSERT_EQ(clean.size, 0);
    ASSERT_STREQ(clean.file, L"nf.img");
    ASSERT_NE(clean.cached, nullptr);
    const long calls = FailFromEachCall(
        [&] {
            got = Answers{};
            run(&got);
        },
        [&](long n, bool failed) {
            auto either = [&](short value, short good) { return Either(value, good, failed, -1); };
            EXPECT_TRUE(std::wcscmp(got.file, clean.file) == 0 || (failed && got.file[0] == L'\0')) << n;
            EXPECT_TRUE(either(got.init, clean.init)) << n;
            EXPECT_TRUE(either(got.size, clean.size)) << n;
            if (got.size == 0) {
                EXPECT_EQ(got.w, 6) << n;
                EXPECT_EQ(got.h, 5) << n;
            }
            EXPECT_TRUE(either(got.show, clean.show)) << n;
            EXPECT_TRUE(either(got.fromFile, clean.fromFile)) << n;
            EXPECT_TRUE(either(got.label, clean.label)) << n;
            EXPECT_TRUE(got.cached != nullptr || failed) << n;
            EXPECT_TRUE(got.pixel == clean.pixel || failed) << n;
        });
    ExpectAllocates(calls, 0);
    REP_SetRepert(2, nullptr);
}

// ---- decoding --------------------------------------------------------------

struct DecodeAnswers {
    wchar_t line[8];
    unsigned char folded;
    int convert, temp;
    wchar_t tempName[KUT_TMPPATH_MAX];
};

void RunDecode(DecodeAnswers* a, const std::wstring* src, const std::wstring* dst) {
    const wchar_t text[] = {0x82, 0x41, 0xE1, 0x99, 0};
    std::wmemcpy(a->line, text, 5);
    DECODE_DosToWin(a->line, 4, 34);
    DECODE_Language(34);
    a->folded = 0xE9;
    DECODE_Txt_XP(&a->folded);
    wchar_t out[KUT_PATH_MAX];
    std::wcscpy(out, dst->c_str());
    a->convert = DECODE_Convert(src->c_str(), out, 34);
    a->tempName[0] = L'\0';
    a->temp = DECODE_ConvertFile(src->c_str(), a->tempName, 34);
}

TEST(NewFailDecode, LoadersAndConversionsAnswerADocumentedValue) {
    kuttest::TempDir dir, empty;
    const std::wstring src = dir.file(L"dos.txt"), dst = dir.file(L"win.txt");
    ASSERT_TRUE(kuttest::WriteFile(src, "kesto line \x82\x8a\r\nsecond \xe1\n"));
    const std::wstring data = kuttest::SourceDir() + kSep + L"data" + kSep + L"decode";
    REP_SetRepert(9, dir.path().c_str());
    // The answers with the files and with the built-in tables: a load that
    // finds no memory may end with either.
    DecodeAnswers withFiles{}, builtIn{}, got{};
    std::string converted[2];
    REP_SetRepert(5, empty.path().c_str());
    KUT_TestResetDecodeState();
    RunDecode(&builtIn, &src, &dst);
    ASSERT_TRUE(kuttest::ReadFile(dst, &converted[0]));
    REP_SetRepert(5, data.c_str());
    KUT_TestResetDecodeState();
    RunDecode(&withFiles, &src, &dst);
    ASSERT_TRUE(kuttest::ReadFile(dst, &converted[1]));
    ASSERT_EQ(withFiles.convert, 0);
    ASSERT_EQ(withFiles.temp, 0);
    const long calls = FailFromEachCall(
        [&] {
            got = DecodeAnswers{};
            RunDecode(&got, &src, &dst);
        },
        [&](long n, bool failed) {
            const bool fileTable = std::wmemcmp(got.line, withFiles.line, 4) == 0;
            EXPECT_TRUE(fileTable || (failed && std::wmemcmp(got.line, builtIn.line, 4) == 0)) << n;
            EXPECT_TRUE(got.folded == withFiles.folded || (failed && got.folded == builtIn.folded)) << n;
            EXPECT_TRUE(got.convert == 0 || (failed && (got.convert == 1 || got.convert == 2))) << n;
            EXPECT_TRUE(got.temp == 0 || (failed && (got.temp == 1 || got.temp == 2))) << n;
            std::string bytes;
            if (got.convert == 0) {
                ASSERT_TRUE(kuttest::ReadFile(dst, &bytes));
                EXPECT_TRUE(bytes == converted[1] || (failed && bytes == converted[0])) << n;
            }
            if (got.temp == 0) { EXPECT_TRUE(kuttest::Exists(got.tempName)) << n; }
            // Back to a first call, so that every N meets the loaders.
            KUT_TestResetDecodeState();
        });
    ExpectAllocates(calls, 2);
    REP_SetRepert(5, nullptr);
    REP_SetRepert(9, nullptr);
}

// ---- units -----------------------------------------------------------------

TEST(NewFailUnits, CoefficientsOrANegativeValue) {
    kuttest::TempDir dir;
    ASSERT_TRUE(kuttest::WriteFile(dir.file(L"unimet.cfg"),
                                   "2\r\nM, 1.0\r\nMM, 1000.0\r\n2\r\nN, 1.0\r\nKN, 0.001\r\n2\r\nKG, 1.0\r\nT, 0.001\r\n"));
    REP_SetRepert(1, dir.path().c_str());
    CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC] = 0;
    const double expected[] = {1000.0, 1000.0, 0.001, 1000.0, 0.001, 0.001};
    double got[6] = {};
    wchar_t m[] = L"M", mm[] = L"MM", kn[] = L"KN", nw[] = L"N", kg[] = L"KG", t[] = L"T", lower[] = L"mm";
    const long calls = FailFromEachCall(
        [&] {
            KUT_Units units;
            got[0] = units.LenghtCoeff(m, mm), got[1] = units.ForceCoeff(kn, nw), got[2] = units.MassCoeff(kg, t);
            KUT_Units copy(units);
            got[3] = copy.GetLenghtCoeff(lower), got[4] = copy.GetForceCoeff(kn), got[5] = copy.GetMassCoeff(t);
        },
        [&](long n, bool failed) {
            for (int i = 0; i < 6; ++i) {
                const bool right = got[i] > 0 && got[i] / expected[i] > 0.999999 && got[i] / expected[i] < 1.000001;
                EXPECT_TRUE(right || (failed && (got[i] == -1.0 || got[i] == -2.0))) << i << " run " << n << ": " << got[i];
            }
        });
    ExpectAllocates(calls, 5);
    REP_SetRepert(1, nullptr);
}

// ---- files and trees -------------------------------------------------------

// Takes every entry and gives up on every failed one, so that a walk with
// no memory left ends instead of retrying.
int GiveUp(const wchar_t*, FTW_CTX* ctx) {
    if (ctx->kind == 4 && ctx->error != 0) {
        ctx->error = 0;
        return 255;  // the visit's answer, which the status then carries
    }
    return 0;
}

TEST(NewFailFiles, CopiesAndWalksAnswerZeroOr255) {
    kuttest::TempDir dir;
    const std::wstring src = dir.file(L"src");
    kuttest::MakeDir(src + kSep + L"sub");
    ASSERT_TRUE(kuttest::WriteFile(src + kSep + L"a.txt", std::string(3000, 'a')));
    ASSERT_TRUE(kuttest::WriteFile(src + kSep + L"sub" + kSep + L"b.txt", "B"));
    const std::wstring copyFile = dir.file(L"copy.txt"), tree = dir.file(L"tree"), made = dir.file(L"made");
    const std::wstring a = src + kSep + L"a.txt";
    const std::wstring nested = made + kSep + L"x" + kSep + L"y";
    struct Answers {
        int copy, copyStatus, treeCopy, treeStatus, scan, scanStatus, mkdir, remove, removeStatus, len, open;
        wchar_t pasted[KUT_PATH_MAX];
    } got{};
    auto run = [&](Answers* r) {
        r->copy = _FILE_Copy(&r->copyStatus, copyFile.c_str(), a.c_str());
        r->treeCopy = _FILE_TreeCopy(&r->treeStatus, tree.c_str(), src.c_str(), L"*", L"*", 3, -1, GiveUp);
        r->scan = _FILE_TreeScan(&r->scanStatus, src.c_str(), L"*", L"*.txt", -1, GiveUp);
        int status = 0;
        r->mkdir = _FILE_MkDir(&status, nested.c_str());
        r->remove = _FILE_TreeRemove(&r->removeStatus, made.c_str(), L"*", L"*", 4 | 8 | 16, -1, GiveUp);
        r->len = _FILE_Len(&status, a.c_str());
        FILE* f = _FILE_FOpen(&status, a.c_str(), L"rb");
        r->open = f ? 0 : 255;
        if (f) _FILE_FClose(&status, f);
        _FILE_NamePaste(&status, a.c_str(), copyFile.c_str(), r->pasted);
    };
    Answers clean{};
    kuttest::MakeDir(tree);
    run(&clean);
    ASSERT_EQ(clean.copyStatus, 0);
    ASSERT_EQ(clean.treeStatus, 0);
    ASSERT_EQ(clean.len, 3000);
    kuttest::RemoveTree(tree);
    kuttest::RemoveTree(made);
    kuttest::MakeDir(tree);
    const long calls = FailFromEachCall(
        [&] {
            got = Answers{};
            run(&got);
        },
        [&](long n, bool failed) {
            // _FILE_Copy answers 1 for a failure and leaves its status 0.
            EXPECT_EQ(got.copyStatus, 0) << n;
            EXPECT_TRUE(got.copy == 0 || (failed && got.copy == 1)) << n << ": " << got.copy;
            const int statuses[] = {got.treeStatus, got.scanStatus, got.treeCopy, got.scan, got.remove};
            for (int i = 0; i < 5; ++i)
                EXPECT_TRUE(statuses[i] == 0 || (failed && statuses[i] == 255)) << i << ": " << statuses[i] << " run " << n;
            // The removal's status is its last step's: _FILE_RmDir answers 1.
            EXPECT_TRUE(got.removeStatus == 0 || (failed && (got.removeStatus == 1 || got.removeStatus == 255))) << n;
            EXPECT_TRUE(got.len == 3000 || (failed && got.len == -1)) << n;
            EXPECT_TRUE(got.open == 0 || failed) << n;
            if (got.copy == 0) { EXPECT_EQ(kuttest::Read(copyFile), std::string(3000, 'a')) << n; }
            if (!failed) {
                EXPECT_EQ(got.treeCopy, clean.treeCopy);
                EXPECT_EQ(got.scan, clean.scan);
                EXPECT_TRUE(kuttest::Exists(tree + kSep + L"sub" + kSep + L"b.txt"));
                EXPECT_STREQ(got.pasted, clean.pasted);
            }
            kuttest::RemoveTree(tree);
            kuttest::RemoveTree(made);
            kuttest::MakeDir(tree);
        });
    ExpectAllocates(calls, 5);
}

// ---- the sibling libraries -------------------------------------------------

TEST(NewFailSiblings, PathsSearchesAndCanvas) {
    kuttest::TempDir dir;
    ASSERT_TRUE(kuttest::WriteFile(dir.file(L"unimet.cfg"), "0\r\n"));
    ASSERT_TRUE(kuttest::WriteFile(dir.file(L"b.dat"), "xyz"));
    const std::wstring pattern = dir.file(L"*.dat"), saved = dir.file(L"canvas.bmp"), data = dir.file(L"b.dat");
    struct Answers {
        short repert, chk, found, find, merge, canvas, save;
        int len;
        wchar_t path[520], name[KUT_PATH_MAX], merged[KUT_PATH_MAX];
        bool opened;
    } got{}, clean{};
    auto run = [&](Answers* a) {
        REP_SetRepert(1, dir.path().c_str());
        a->repert = REP_Repert(0, 1, L"file.txt", a->path);
        a->chk = REP_ChkCfg(270, L"unimet.cfg", a->path, &a->found);
        a->find = SYS_FileFind(pattern.c_str(), a->name, 1);
        while (SYS_FileFind(nullptr, a->merged, 1) == 0) {}
        a->merge = SYS_FileMerge(a->merged, nullptr, dir.path().c_str(), L"name", L".ext");
        a->len = SYS_FileLen(data.c_str());
        FILE* f = REP_FOpen(data.c_str(), L"r");
        a->opened = f != nullptr;
        if (f) REP_FClose(&f);
        a->canvas = GRAF_CanvasSize(20, 10);
        a->save = GRAF_CanvasSave(saved.c_str());
        CONF_Language();
        CONF_KUNITS();
    };
    run(&clean);
    ASSERT_EQ(clean.repert, 0);
    ASSERT_EQ(clean.chk, 1);
    ASSERT_EQ(clean.find, 0);
    ASSERT_EQ(clean.merge, 0);
    ASSERT_EQ(clean.save, 0);
    ASSERT_STREQ(clean.name, L"b.dat");
    const long calls = FailFromEachCall(
        [&] {
            got = Answers{};
            run(&got);
        },
        [&](long n, bool failed) {
            auto either = [&](int value, int good, int bad) { return Either(value, good, failed, bad); };
            EXPECT_TRUE(either(got.repert, 0, -1)) << n;
            EXPECT_TRUE(either(got.chk, 1, 0)) << n;
            EXPECT_EQ(got.found, got.chk) << n;
            EXPECT_TRUE(either(got.find, 0, -1)) << n;
            if (got.find == 0) { EXPECT_STREQ(got.name, L"b.dat") << n; }
            EXPECT_TRUE(either(got.merge, 0, -1)) << n;
            EXPECT_TRUE(either(got.len, 3, -1)) << n;
            EXPECT_TRUE(got.opened || failed) << n;
            EXPECT_TRUE(either(got.canvas, 0, -1)) << n;
            EXPECT_TRUE(either(got.save, 0, -1)) << n;
        });
    ExpectAllocates(calls, 5);
    REP_SetRepert(1, nullptr);
}

}  // namespace
