// Several threads at once, in the ways the library allows. Each thread
// counts its own wrong answers; the tsan build checks the memory accesses
// themselves. The counts are bounded, so that a run takes seconds under
// ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "imgfile.h"
#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "kut/decode.h"
#include "kut/file.h"
#include "kut/img.h"
#include "kut/msg.h"
#include "kut/testing.h"
#include "kut/tool.h"
#include "kut/units.h"
#include "langlib_writer.h"
#include "testutil.h"

namespace {

using kuttest::kSep;

constexpr int kThreads = 4;
const wchar_t kDosLine[] = {0x82, 0x41, 0x8A, 0xE1, 0x99, 0x20, 0};

// Runs `body(i, k)` for k = 0 .. rounds-1 in threads i = 0 .. count-1,
// started together, and returns the sum of the wrong answers it counts.
template <class Body>
int RunTogether(int count, int rounds, Body body) {
    std::atomic<int> ready{0}, wrong{0};
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            ready.fetch_add(1);
            while (ready.load() < count) std::this_thread::yield();
            int bad = 0;  // one atomic step at the end: one per round would order the threads for tsan
            for (int k = 0; k < rounds; ++k) bad += body(i, k);
            wrong.fetch_add(bad);
        });
    }
    for (std::thread& t : threads) t.join();
    return wrong.load();
}

class Threads : public ::testing::Test {
protected:
    void SetUp() override {
        std::map<unsigned, std::wstring> logic, output{{5, L"OUT::output five"}};
        for (unsigned id = 1; id <= 40; ++id) logic[id] = id == 5 ? L"OUT::logic five" : L"text " + std::to_wstring(id);
        std::string error, bytes, bmp[2];
        ASSERT_TRUE(kuttools::WriteLanguageLibrary(m_dir.file(L"TH___001.dll"), logic, &error)) << error;
        ASSERT_TRUE(kuttools::WriteLanguageLibrary(m_dir.file(L"TH___002.dll"), output, &error)) << error;
        ASSERT_TRUE(kuttest::WriteFile(m_dir.file(L"unimet.cfg"), "2\r\nM, 1.0\r\nMM, 1000.0\r\n0\r\n0\r\n"));
        for (int i : {0, 1})
            ASSERT_TRUE(kuttools::EncodeBmp({5 + i, 3 + 2 * i, std::vector<std::uint32_t>(15u + 15 * i, 0x102030u)}, 24, false,
                                            &bmp[i], &error))
                << error;
        ASSERT_TRUE(kuttools::ImageFileBytes({{"FIRST", {bmp[0], bmp[1]}}}, &bytes, &error)) << error;
        ASSERT_TRUE(kuttest::WriteFile(m_dir.file(L"th.img"), bytes));
        ASSERT_TRUE(kuttest::WriteFile(m_dir.file(L"dos.txt"), "kesto \x82\x8a line\r\nsecond \xe1\x99\n"));
        kuttest::MakeDir(m_dir.file(L"tmp"));
        REP_SetRepert(1, m_dir.path().c_str());
        REP_SetRepert(2, m_dir.path().c_str());
        REP_SetRepert(5, (kuttest::SourceDir() + kSep + L"data" + kSep + L"decode").c_str());
        REP_SetRepert(9, m_dir.file(L"tmp").c_str());
        // The sibling records are read once, lazily: before the threads.
        CONF_Language()->logic = 1, CONF_Language()->output = 2;
        CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC] = 0;
    }
    void TearDown() override {
        for (int kind : {1, 2, 5, 9}) REP_SetRepert(static_cast<short>(kind), nullptr);
    }
    // Whether `line` converts, in place, to what the code-page file gives.
    static bool Converts(wchar_t* line, const std::wstring& expected) {
        std::wmemcpy(line, kDosLine, 7);
        DECODE_DosToWin(line, 6, 34);
        return expected == line;
    }
    kuttest::TempDir m_dir;
};

// The decoding files' first load and conversions to temporary files, from
// several threads: the file is read once and every thread converts with it,
// never with a half-read table; each temporary file gets a name of its own
// and holds its whole conversion.
TEST_F(Threads, DecodingFromSeveralThreads) {
    const std::wstring src = m_dir.file(L"dos.txt"), reference = m_dir.file(L"reference.txt");
    std::wstring expected = kDosLine, out = reference;
    DECODE_DosToWin(&expected[0], 6, 34);
    ASSERT_NE(expected, std::wstring(kDosLine));
    ASSERT_EQ(DECODE_Convert(src.c_str(), &out[0], 34), 0);
    const std::string converted = kuttest::Read(reference);
    DECODE_Language(34);
    unsigned char folded = 0xE9;
    DECODE_Txt_XP(&folded);
    constexpr int kRounds = 40, kCount = 2 * kThreads;
    std::vector<std::wstring> names[kCount];
    int wrong = 0;
    for (int round = 0; round < kRounds; ++round) {
        KUT_TestResetDecodeState();
        wrong += RunTogether(kCount, 1, [&](int i, int) {
            wchar_t line[8], name[KUT_TMPPATH_MAX] = {};
            unsigned char b = 0xE9;
            switch (i % 4) {
            case 0: return Converts(line, expected) ? 0 : 1;
            case 1:
                DECODE_Language(34);
                DECODE_Txt_XP(&b);
                return b == folded ? 0 : 1;
            default:  // a temporary file every 2nd round: the name search grows with the files
                if (round % 2 != 0) return Converts(line, expected) ? 0 : 1;
                return DECODE_Convert(src.c_str(), name, 34) != 0 ? 1 : (names[i].push_back(name), 0);
            }
        });
    }
    EXPECT_EQ(wrong, 0);
    std::set<std::wstring> distinct;
    for (const auto& list : names) {
        for (const std::wstring& name : list) {
            distinct.insert(name);
            EXPECT_EQ(kuttest::Read(name), converted) << kuttest::Narrow(name);
        }
    }
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kRounds / 2 * kCount / 2));
}

// Each family in a thread of its own, all at the same time, and K_MSG objects
// copied, assigned and destroyed in several threads: their libraries meet in
// the library's record of loaded language libraries. The image thread names
// the file (two names in turn) while another asks for the name: each reads
// a whole name, never one half written.
TEST_F(Threads, DifferentFamiliesAtTheSameTime) {
    const KLONG ids[] = {3, 5, 9};
    // Constructions set the class-wide language numbers: one at a time.
    std::vector<std::unique_ptr<K_MSG>> objects;
    for (int i = 0; i < kThreads; ++i) {
        objects.emplace_back(i % 2 ? new K_MSG(L"TH", ids, 3, 0, nullptr, 1) : new K_MSG(L"TH", 1, 40, 0, 0));
        ASSERT_EQ(objects.back()->wasInitError(), 0);
    }
    IMG_SetImgFileName(L"th");
    ASSERT_EQ(IMG_Init(16), 0);
    std::wstring expected = kDosLine;
    DECODE_DosToWin(&expected[0], 6, 34);
    const std::wstring file = m_dir.file(L"dos.txt"), copy = m_dir.file(L"copy.txt"), converted = m_dir.file(L"win.txt");
    std::vector<std::function<int(int)>> families = {
        [&](int) {
            wchar_t line[8];
            std::wstring out = converted;
            return !Converts(line, expected) + (DECODE_Convert(file.c_str(), &out[0], 34) != 0);
        },
        [](int) {
            KUT_Units units;
            wchar_t m[] = L"M", mm[] = L"MM";
            return units.LenghtCoeff(m, mm) != 1000.0 ? 1 : 0;
        },
        [&](int) {
            int status = 0;
            return (_FILE_Copy(&status, copy.c_str(), file.c_str()) != 0) +
                   (_FILE_Len(&status, copy.c_str()) != _FILE_Len(&status, file.c_str()));
        },
        [](int k) {
            IMG_SetImgFileName(k % 2 ? L"th" : L"other");
            short w = 0, h = 0;
            int bad = std::wcscmp(IMG_File(), k % 2 ? L"th.img" : L"other.img") != 0;
            // Named th.img: the file reopens under the name in force.
            if (k % 10 == 1) bad += IMG_ImgSize(L"FIRST", 1, &w, &h) != 0 || w != 6 || h != 5;
            return bad;
        },
        [](int) {
            const wchar_t* name = IMG_File();
            return std::wcscmp(name, L"th.img") != 0 && std::wcscmp(name, L"other.img") != 0 ? 1 : 0;
        },
        [](int) {
            short x = 5, y = 5;
            return TOOL_PointinRect(TOOL_Rect(0, 0, 10, 10), &x, &y) == 0 ? 1 : 0;
        },
    };
    for (const auto& object : objects) {
        families.push_back([&object](int) {
            K_MSG mine(*object);
            K_MSG other(mine);
            other = mine;
            return (std::wcscmp(mine.text(3), L"text 3") != 0) + (std::wcscmp(other.text(5), L"output five") != 0) +
                   (mine.wasInitError() != 0);
        });
    }
    EXPECT_EQ(RunTogether(static_cast<int>(families.size()), 150,
                          [&](int f, int k) { return families[static_cast<std::size_t>(f)](k); }),
              0);
    IMG_Close();
}

}  // namespace
