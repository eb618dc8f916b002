#include "fuzz_common.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "kbase/kbase.h"
#include "kut/kut_ext.h"

namespace kutfuzz {

namespace {
int SilentBox(const wchar_t*, const wchar_t*, unsigned) { return 1; }

// The scratch folder goes with the process (a normal end of the run;
// after a crash it stays beside the crashing input), unless KUT_KEEP_TMP=1.
std::string g_made;
void RemoveScratch() {
    const char* keep = std::getenv("KUT_KEEP_TMP");
    if (g_made.empty() || (keep && std::string(keep) == "1")) return;
    std::error_code ec;
    std::filesystem::remove_all(g_made, ec);
}
}  // namespace

const std::wstring& Scratch() {
    static std::wstring dir = [] {
        char tmpl[] = "/tmp/kut-fuzz-XXXXXX";
        const char* made = mkdtemp(tmpl);
        if (!made) std::abort();
        g_made = made;
        std::atexit(RemoveScratch);
        std::wstring w;
        for (const char* p = made; *p; ++p) w += static_cast<wchar_t>(*p);
        for (short kind = 0; kind < 16; ++kind) REP_SetRepert(kind, w.c_str());
        KUT_SetMessageBoxHook(SilentBox);
        return w;
    }();
    return dir;
}

std::wstring WriteInput(const wchar_t* name, const std::uint8_t* data, std::size_t size) {
    std::wstring path = Scratch() + L"/" + name;
    std::string narrow;
    for (wchar_t c : path) narrow += static_cast<char>(c);
    std::FILE* f = std::fopen(narrow.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path;
}

}  // namespace kutfuzz
