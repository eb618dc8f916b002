// Several threads at once, in the ways the library allows: each family from
// one thread at a time, different families at the same time, and a family's
// first load from several threads. Each thread checks its own answers; the
// tsan build checks the memory accesses themselves. The iteration counts are
// bounded, so that a run takes seconds under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <map>
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

// Starts `count` threads running `body(index)` together and waits for all.
// Each body counts its own wrong answers; the total comes back.
template <class Body>
int RunTogether(int count, Body body) {
    std::atomic<int> ready{0};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            ready.fetch_add(1);
            while (ready.load() < count) std::this_thread::yield();
            wrong.fetch_add(body(i));
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
        std::string error;
        ASSERT_TRUE(kuttools::WriteLanguageLibrary(m_dir.file(L"TH___001.dll"), logic, &error)) << error;
        ASSERT_TRUE(kuttools::WriteLanguageLibrary(m_dir.file(L"TH___002.dll"), output, &error)) << error;
        ASSERT_TRUE(kuttest::WriteFile(m_dir.file(L"unimet.cfg"),
                                       "2\r\nM, 1.0\r\nMM, 1000.0\r\n2\r\nN, 1.0\r\nKN, 0.001\r\n2\r\nKG, 1.0\r\nT, 0.001\r\n"));
        auto bmp = [](int w, int h) {
            std::string out, err;
            const std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w * h), 0x102030u);
            EXPECT_TRUE(kuttools::EncodeBmp({w, h, pixels}, 24, false, &out, &err)) << err;
            return out;
        };
        std::string bytes;
        ASSERT_TRUE(kuttools::ImageFileBytes({{"FIRST", {bmp(5, 3), bmp(6, 5)}}}, &bytes, &error)) << error;
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
        for (short kind : {1, 2, 5, 9}) REP_SetRepert(kind, nullptr);
    }

    // The conversion of `line` with the code-page file, made alone.
    static std::wstring Converted(const wchar_t* line) {
        std::wstring s = line;
        DECODE_DosToWin(&s[0], static_cast<short>(s.size()), 34);
        return s;
    }

    kuttest::TempDir m_dir;
};

const wchar_t kDosLine[] = {0x82, 0x41, 0x8A, 0xE1, 0x99, 0x20, 0};

// Every K_MSG construction, copy and destruction goes through the library's
// record of loaded language libraries; objects of different threads meet
// there.
TEST_F(Threads, OwnObjectsCopiedAndDestroyedTogether) {
    const KLONG ids[] = {3, 5, 9};
    // Constructions set the class-wide language numbers: one at a time.
    std::vector<K_MSG*> objects;
    for (int i = 0; i < kThreads; ++i) {
        objects.push_back(i % 2 ? new K_MSG(L"TH", ids, 3, 0, nullptr, 1) : new K_MSG(L"TH", 1, 40, 0, 0));
        ASSERT_EQ(objects.back()->wasInitError(), 0);
    }
    const int wrong = RunTogether(kThreads, [&](int i) {
        int bad = 0;
        for (int round = 0; round < 150; ++round) {
            K_MSG copy(*objects[static_cast<std::size_t>(i)]);
            K_MSG other(copy);
            other = copy;
            bad += std::wcscmp(copy.text(3), L"text 3") != 0;
            bad += std::wcscmp(other.text(5), L"output five") != 0;
            bad += copy.wasInitError() != 0;
        }
        return bad;
    });
    EXPECT_EQ(wrong, 0);
    for (K_MSG* m : objects) delete m;
}

// Two threads converting for the first time: the file is read once and
// every thread converts with it, never with a half-read table.
TEST_F(Threads, FirstLoadOfTheDecodingFilesFromSeveralThreads) {
    const std::wstring expected = Converted(kDosLine);
    DECODE_Language(34);
    unsigned char folded = 0xE9;
    DECODE_Txt_XP(&folded);
    ASSERT_NE(expected, std::wstring(kDosLine));
    int wrong = 0;
    for (int round = 0; round < 40; ++round) {
        KUT_TestResetDecodeState();
        wrong += RunTogether(kThreads, [&](int i) {
            int bad = 0;
            if (i % 2 == 0) {
                wchar_t line[8];
                std::wmemcpy(line, kDosLine, 7);
                DECODE_DosToWin(line, 6, 34);
                bad += std::wcscmp(line, expected.c_str()) != 0;
            } else {
                DECODE_Language(34);
                unsigned char b = 0xE9;
                DECODE_Txt_XP(&b);
                bad += b != folded;
            }
            return bad;
        });
    }
    EXPECT_EQ(wrong, 0);
}

// Conversions to temporary files from several threads: each gets a name of
// its own, and each file holds its whole conversion.
TEST_F(Threads, TemporaryNamesAreNeverShared) {
    const std::wstring src = m_dir.file(L"dos.txt"), reference = m_dir.file(L"reference.txt");
    std::wstring out = reference;
    ASSERT_EQ(DECODE_Convert(src.c_str(), &out[0], 34), 0);
    std::string expected;
    ASSERT_TRUE(kuttest::ReadFile(reference, &expected));
    constexpr int kEach = 12;
    std::vector<std::vector<std::wstring>> names(kThreads);
    const int wrong = RunTogether(kThreads, [&](int i) {
        int bad = 0;
        for (int k = 0; k < kEach; ++k) {
            wchar_t name[KUT_TMPPATH_MAX] = {};
            bad += DECODE_Convert(src.c_str(), name, 34) != 0;
            names[static_cast<std::size_t>(i)].push_back(name);
        }
        return bad;
    });
    EXPECT_EQ(wrong, 0);
    std::set<std::wstring> distinct;
    for (const auto& list : names) {
        for (const std::wstring& name : list) {
            distinct.insert(name);
            EXPECT_EQ(kuttest::Read(name), expected) << kuttest::Narrow(name);
        }
    }
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads * kEach));
}

// The image file's name asked for from one thread while another names it
// (two names in turn) and uses the images: each thread reads the name it
// asked for, never one half written or rewritten by the other.
TEST_F(Threads, ImageFileNameBesideTheImageThread) {
    IMG_SetImgFileName(L"th");
    ASSERT_EQ(IMG_Init(16), 0);
    const int wrong = RunTogether(2, [&](int i) {
        int bad = 0;
        for (int k = 0; k < 2000; ++k) {
            if (i == 0) {
                IMG_SetImgFileName(k % 2 ? L"th" : L"other");
                bad += std::wcscmp(IMG_File(), k % 2 ? L"th.img" : L"other.img") != 0;
                if (k % 50 == 1) {  // named th.img: the file reopens under the name in force
                    short w = 0, h = 0;
                    bad += IMG_ImgSize(L"FIRST", 1, &w, &h) != 0 || w != 6 || h != 5;
                }
            } else {
                const wchar_t* name = IMG_File();
                bad += std::wcscmp(name, L"th.img") != 0 && std::wcscmp(name, L"other.img") != 0;
            }
        }
        return bad;
    });
    EXPECT_EQ(wrong, 0);
    IMG_Close();
}

// Each family in a thread of its own, all at the same time.
TEST_F(Threads, DifferentFamiliesAtTheSameTime) {
    const KLONG ids[] = {3, 5};
    K_MSG table(L"TH", ids, 2, 0, nullptr, 1);
    ASSERT_EQ(table.wasInitError(), 0);
    IMG_SetImgFileName(L"th");
    ASSERT_EQ(IMG_Init(16), 0);
    const std::wstring expected = Converted(kDosLine);
    const std::wstring file = m_dir.file(L"dos.txt"), copy = m_dir.file(L"copy.txt");
    const std::wstring converted = m_dir.file(L"win.txt");
    const int wrong = RunTogether(6, [&](int family) {
        int bad = 0;
        for (int k = 0; k < 60; ++k) {
            switch (family) {
            case 0: {
                K_MSG mine(table);
                bad += std::wcscmp(mine.text(5), L"output five") != 0;
                break;
            }
            case 1: {
                wchar_t line[8];
                std::wmemcpy(line, kDosLine, 7);
                DECODE_DosToWin(line, 6, 34);
                bad += expected != line;
                std::wstring out = converted;
                bad += DECODE_Convert(file.c_str(), &out[0], 34) != 0;
                break;
            }
            case 2: {
                KUT_Units units;
                wchar_t m[] = L"M", mm[] = L"MM";
                bad += units.LenghtCoeff(m, mm) != 1000.0;
                break;
            }
            case 3: {
                int status = 0;
                bad += _FILE_Copy(&status, copy.c_str(), file.c_str()) != 0;
                bad += _FILE_Len(&status, copy.c_str()) != _FILE_Len(&status, file.c_str());
                break;
            }
            case 4: {
                short w = 0, h = 0;
                bad += IMG_ImgSize(L"FIRST", 0, &w, &h) != 0 || w != 5 || h != 3;
                break;
            }
            default: {
                const TOOL_RECT* r = TOOL_Rect(0, 0, 10, 10);
                short x = 5, y = 5;
                bad += TOOL_PointinRect(r, &x, &y) == 0;
                break;
            }
            }
        }
        return bad;
    });
    EXPECT_EQ(wrong, 0);
    IMG_Close();
}

}  // namespace
