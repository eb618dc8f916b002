// SYS_FileFind on arbitrary patterns over a fixed small tree. The first two
// bytes are the attribute word, the rest the pattern (one character per
// byte), searched under the scratch folder; the walk stops after a bound.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "fuzz_common.h"
#include "kbase/kbase.h"

namespace {

void MakeTree() {
    const std::wstring& root = kutfuzz::Scratch();
    static const wchar_t* const kDirs[] = {L"/dir", L"/dir/sub", L"/Dir.two", L"/empty"};
    for (const wchar_t* d : kDirs) SYS_DirMake((root + d).c_str());
    static const wchar_t* const kFiles[] = {L"a.txt",           L"B.TXT",      L".hidden",          L"noext",
                                            L"x.y.z",           L"dir/in.txt", L"dir/sub/deep.bin", L"Dir.two/ab",
                                            L"name with blanks"};
    for (const wchar_t* f : kFiles) kutfuzz::WriteInput(f, reinterpret_cast<const std::uint8_t*>("x"), 1);
    std::wstring longName(250, L'L');
    kutfuzz::WriteInput(longName.c_str(), reinterpret_cast<const std::uint8_t*>("x"), 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool made = (MakeTree(), true);
    (void)made;
    if (size < 2) return 0;
    const auto attrib = static_cast<short>(data[0] | (data[1] << 8));
    std::wstring search = kutfuzz::Scratch() + L"/";
    for (std::size_t i = 2; i < size && i < 600; ++i) {
        if (data[i] == 0) break;
        search += static_cast<wchar_t>(data[i]);
    }
    wchar_t name[260];
    const wchar_t* next = search.c_str();
    for (int n = 0; n < 64; ++n) {
        std::wmemset(name, L'#', 260);
        if (SYS_FileFind(next, name, attrib) != 0) break;
        next = nullptr;
        const std::size_t len = std::wcslen(name);  // ASan flags a missing terminator
        if (len == 0 || len >= 260 || std::wcschr(name, L'/')) std::abort();
        if (std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0) std::abort();
    }
    return 0;
}
