// The Win32 backend as a host sees it: the handles kut hands out are the
// system's module handles, kut's headers live beside <windows.h>, and every
// stream is binary.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// After <windows.h>: kut's HMODULE must be the same type, not a second one.
#include "kut/kut.h"
#include "kut/kut_ext.h"
#include "platform/platform.h"

#include <cstdio>
#include <map>
#include <string>
#include <type_traits>

#include "langlib_writer.h"
#include "testutil.h"

static_assert(std::is_same_v<HMODULE, HINSTANCE>, "kut's HMODULE is the system's");
static_assert(sizeof(KLONG) == 4 && sizeof(wchar_t) == 2, "the Windows data model");

namespace {

std::wstring WriteLib(const kuttest::TempDir& dir, const std::wstring& name) {
    const std::wstring path = dir.file(name);
    std::string error;
    EXPECT_TRUE(kuttools::WriteLanguageLibrary(path, std::map<unsigned, std::wstring>{{7, L"seven"}}, &error)) << error;
    return path;
}

TEST(Win32Backend, LanguageLibrariesAreSystemModules) {
    kuttest::TempDir dir;
    const std::wstring path = WriteLib(dir, L"MODUL001.dll");
    HMODULE lib = KUT_LangLibOpen(path.c_str());
    ASSERT_NE(lib, nullptr);
    // The system knows the module under its path and reads it with its own
    // call.
    EXPECT_EQ(GetModuleHandleW(path.c_str()), lib);
    wchar_t buf[16];
    EXPECT_EQ(LoadStringW(lib, 7, buf, 16), 5);
    EXPECT_STREQ(buf, L"seven");

    // A second open counts on the same module; each close releases one.
    HMODULE again = KUT_LangLibOpen(path.c_str());
    EXPECT_EQ(again, lib);
    KUT_LangLibClose(again);
    EXPECT_EQ(GetModuleHandleW(path.c_str()), lib);
    KUT_LangLibClose(lib);
    EXPECT_EQ(GetModuleHandleW(path.c_str()), nullptr);
}

TEST(Win32Backend, ShortBuffersAndMissingLibraries) {
    kuttest::TempDir dir;
    HMODULE lib = KUT_LangLibOpen(WriteLib(dir, L"SHORT001.dll").c_str());
    ASSERT_NE(lib, nullptr);
    wchar_t buf[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(KUT_LangLibString(lib, 7, buf, 4), 3);
    EXPECT_STREQ(buf, L"sev");
    buf[0] = L'x';
    EXPECT_EQ(KUT_LangLibString(lib, 8, buf, 4), 0);
    EXPECT_EQ(buf[0], L'\0');
    EXPECT_EQ(KUT_LangLibString(lib, 7, buf, 0), 0);
    KUT_LangLibClose(lib);

    // Nothing there, or not a library: a null handle and no dialog.
    EXPECT_EQ(KUT_LangLibOpen(dir.file(L"NONE_001.dll").c_str()), nullptr);
    ASSERT_TRUE(kuttest::WriteFile(dir.file(L"TEXT_001.dll"), "not a library"));
    EXPECT_EQ(KUT_LangLibOpen(dir.file(L"TEXT_001.dll").c_str()), nullptr);
    EXPECT_EQ(KUT_LangLibOpen(nullptr), nullptr);
    KUT_LangLibClose(nullptr);
}

TEST(Win32Backend, StreamsAreBinaryWhateverTheMode) {
    kuttest::TempDir dir;
    // A name outside the ANSI code page reaches the file system intact.
    const std::wstring path = dir.file(L"\u0416\u00e9\u4e2d.txt");
    std::FILE* f = kut::platform::OpenFile(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("a\nb\r\n\x1a" "c", f);
    std::fclose(f);
    std::string bytes;
    ASSERT_TRUE(kuttest::ReadFile(path, &bytes));
    EXPECT_EQ(bytes, std::string("a\nb\r\n\x1a" "c"));

    for (const char* mode : {"r", "rt", "rb"}) {
        f = kut::platform::OpenFile(path.c_str(), mode);
        ASSERT_NE(f, nullptr) << mode;
        char buf[16] = {};
        // CR LF stays two bytes and Ctrl-Z is not the end of the file.
        EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 7u) << mode;
        std::fclose(f);
    }
    f = kut::platform::OpenFile(path.c_str(), "a+");
    ASSERT_NE(f, nullptr);
    std::fputs("\n", f);
    std::fclose(f);
    ASSERT_TRUE(kuttest::ReadFile(path, &bytes));
    EXPECT_EQ(bytes.size(), 8u);
    EXPECT_EQ(bytes.back(), '\n');

    EXPECT_EQ(kut::platform::OpenFile(dir.file(L"missing").c_str(), "r"), nullptr);
    EXPECT_EQ(kut::platform::OpenFile(nullptr, "r"), nullptr);
    EXPECT_EQ(kut::platform::OpenFile(path.c_str(), nullptr), nullptr);
}

}  // namespace
