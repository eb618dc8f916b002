// The Win32 backend as a host sees it: the handles kut hands out are the
// system's module handles, kut's headers live beside <windows.h>, and every
// stream is binary.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

// After <windows.h>: kut's HMODULE must be the same type, not a second one.
#include "kut/kut.h"
#include "kut/kut_ext.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <type_traits>

#include "langlib_writer.h"
#include "testutil.h"

static_assert(std::is_same_v<HMODULE, HINSTANCE>, "kut's HMODULE is the system's");
static_assert(sizeof(KLONG) == 4 && sizeof(wchar_t) == 2, "the Windows data model");

TEST(Win32Backend, LanguageLibrariesAreSystemModules) {
    kuttest::TempDir dir;
    const std::wstring path = dir.file(L"MODUL001.dll");
    std::string error;
    ASSERT_TRUE(kuttools::WriteLanguageLibrary(path, std::map<unsigned, std::wstring>{{7, L"seven"}}, &error)) << error;
    HMODULE lib = KUT_LangLibOpen(path.c_str());
    ASSERT_NE(lib, nullptr);
    // The system knows the module under its path and reads it with its own
    // call.
    EXPECT_EQ(GetModuleHandleW(path.c_str()), lib);
    wchar_t buf[16] = {L'x', L'x', L'x', L'x'};
    const auto got = [&buf](int count) { return std::to_string(count) + " " + kuttest::Narrow(buf); };  // after the call
    EXPECT_EQ(got(LoadStringW(lib, 7, buf, 16)), "5 seven");
    // Short buffers, missing numbers, no buffer.
    EXPECT_EQ(got(KUT_LangLibString(lib, 7, buf, 4)), "3 sev");
    EXPECT_EQ(got(KUT_LangLibString(lib, 8, buf, 4)), "0 ");
    EXPECT_EQ(KUT_LangLibString(lib, 7, buf, 0), 0);

    // A second open counts on the same module; each close releases one.
    EXPECT_EQ(KUT_LangLibOpen(path.c_str()), lib);
    KUT_LangLibClose(lib);
    EXPECT_EQ(GetModuleHandleW(path.c_str()), lib);
    KUT_LangLibClose(lib);
    EXPECT_EQ(GetModuleHandleW(path.c_str()), nullptr);

    // Nothing there, or not a library: a null handle and no dialog.
    ASSERT_TRUE(kuttest::WriteFile(dir.file(L"TEXT_001.dll"), "not a library"));
    for (const std::wstring& bad : {dir.file(L"NONE_001.dll"), dir.file(L"TEXT_001.dll")})
        EXPECT_EQ(KUT_LangLibOpen(bad.c_str()), nullptr);
    EXPECT_EQ(KUT_LangLibOpen(nullptr), nullptr);
    KUT_LangLibClose(nullptr);
}

TEST(Win32Backend, StreamsAreBinaryWhateverTheMode) {
    kuttest::TempDir dir;
    // A name outside the ANSI code page reaches the file system intact; CR LF
    // stays two bytes and Ctrl-Z is not the end of the file, in every mode.
    const std::wstring path = dir.file(L"\u0416\u00e9\u4e2d.txt");
    std::string text(
        "a\nb\r\n\x1a"
        "c");
    for (const char* mode : {"w", "a+", "r", "rt", "rb"}) {
        std::FILE* f = kut::platform::SystemOpenFile(path.c_str(), mode);
        ASSERT_NE(f, nullptr) << mode;
        char buf[16] = {};
        if (mode[0] != 'r') std::fputs(mode[0] == 'w' ? text.c_str() : "\n", f);
        if (mode[0] == 'r') { EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), text.size() + 1) << mode; }
        std::fclose(f);
    }
    EXPECT_EQ(kuttest::Read(path), text + "\n");
    EXPECT_EQ(kut::platform::SystemOpenFile(dir.file(L"missing").c_str(), "r"), nullptr);
    EXPECT_EQ(kut::platform::SystemOpenFile(nullptr, "r"), nullptr);
    EXPECT_EQ(kut::platform::SystemOpenFile(path.c_str(), nullptr), nullptr);
}
