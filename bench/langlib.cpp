// Language libraries through kut's own loader: one string read (the
// LoadStringW contract, 1024-character buffer), a full sweep over the
// numbering range, and opening a library.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "kut/kut_ext.h"
#include "langlib_writer.h"
#include "testutil.h"

namespace {

// Libraries shared by all benchmarks of this program, written once.
struct Libraries {
    kuttest::TempDir dir;
    std::wstring lib10k;
    std::wstring lib60k;

    Libraries() {
        lib10k = Write(L"lib10k.dll", 10000);
        lib60k = Write(L"lib60k.dll", 60000);
    }

    std::wstring Write(const std::wstring& name, unsigned count) {
        std::map<unsigned, std::wstring> strings;
        for (unsigned id = 1; id <= count; ++id) {
            // Typical product texts: a label of some 20 to 40 characters.
            strings[id] = L"Message text number " + std::to_wstring(id) + std::wstring(id % 20, L'.');
        }
        strings[10] = std::wstring(1500, L'L');  // longer than the buffer: cut to 1023
        const std::wstring path = dir.file(name);
        std::string error;
        if (!kuttools::WriteLanguageLibrary(path, strings, &error)) std::abort();
        return path;
    }
};

Libraries& Libs() {
    static Libraries libs;
    return libs;
}

void BM_ReadString(benchmark::State& state) {
    HMODULE lib = KUT_LangLibOpen(Libs().lib10k.c_str());
    wchar_t buf[KUT_TEXT_MAX];
    const auto id = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(KUT_LangLibString(lib, id, buf, KUT_TEXT_MAX));
        benchmark::ClobberMemory();
    }
    KUT_LangLibClose(lib);
}
// 5000: a 31-character text; 10: 1023 characters (cut); 20000: absent.
BENCHMARK(BM_ReadString)->Arg(5000)->Arg(10)->Arg(20000);

// Different numbers one after the other, as a module's requests come.
void BM_ReadStringVarying(benchmark::State& state) {
    HMODULE lib = KUT_LangLibOpen(Libs().lib10k.c_str());
    wchar_t buf[KUT_TEXT_MAX];
    unsigned id = 11;
    for (auto _ : state) {
        benchmark::DoNotOptimize(KUT_LangLibString(lib, id, buf, KUT_TEXT_MAX));
        benchmark::ClobberMemory();
        id = id * 7919 % 10000 + 11;
    }
    KUT_LangLibClose(lib);
}
BENCHMARK(BM_ReadStringVarying);

// Every number 1..65535 over a library of 60,000 strings.
void BM_ReadAllNumbers(benchmark::State& state) {
    HMODULE lib = KUT_LangLibOpen(Libs().lib60k.c_str());
    wchar_t buf[KUT_TEXT_MAX];
    for (auto _ : state) {
        long total = 0;
        for (unsigned id = 1; id <= 65535; ++id) total += KUT_LangLibString(lib, id, buf, KUT_TEXT_MAX);
        benchmark::DoNotOptimize(total);
    }
    KUT_LangLibClose(lib);
}
BENCHMARK(BM_ReadAllNumbers)->Unit(benchmark::kMillisecond);

// Load (file read, validation, string pool) and release.
void BM_OpenClose(benchmark::State& state) {
    const std::wstring& path = state.range(0) == 10000 ? Libs().lib10k : Libs().lib60k;
    for (auto _ : state) {
        HMODULE lib = KUT_LangLibOpen(path.c_str());
        benchmark::DoNotOptimize(lib);
        KUT_LangLibClose(lib);
    }
}
BENCHMARK(BM_OpenClose)->Arg(10000)->Arg(60000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
