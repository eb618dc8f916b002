// Message tables: building the complete table (mode 4) and looking texts up
// in each mode, against one string read of the platform loader and, on
// glibc, GNU gettext's dgettext over a catalogue of the same size.
//
//   bench_msg                       everything
//   bench_msg --benchmark_filter=Construct
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "kut/kut_ext.h"
#include "kut/msg.h"
#include "langlib_writer.h"
#include "testutil.h"

#if defined(__GLIBC__)
#include <clocale>
#include <libintl.h>
#endif

namespace {

constexpr KLONG kBound = 65536;
constexpr int kSizes[] = {1000, 10000, 60000};

// Module of the libraries holding n strings, and their file names.
std::wstring ModuleOf(int n) { return n == 1000 ? L"S1K" : n == 10000 ? L"M10K" : L"L60K"; }
std::wstring FileOf(int n, const wchar_t* lang) {
    std::wstring prefix = ModuleOf(n);
    prefix.resize(4, L'_');
    return prefix + L"_" + lang + L".dll";
}

std::wstring Text(unsigned id) { return L"Message text number " + std::to_wstring(id) + L"$$field"; }

// Shared by all benchmarks: a folder of libraries with n strings at the
// numbers 1..n, for the logic (1) and output (2) languages.
class Libraries {
public:
    Libraries() {
        for (int n : kSizes) {
            std::map<unsigned, std::wstring> strings;
            for (unsigned id = 1; id <= static_cast<unsigned>(n); ++id) strings[id] = Text(id);
            for (const wchar_t* lang : {L"001", L"002"}) {
                std::string error;
                if (!kuttools::WriteLanguageLibrary(m_dir.file(FileOf(n, lang)), strings, &error)) {
                    std::fprintf(stderr, "cannot write a library: %s\n", error.c_str());
                    std::abort();
                }
            }
        }
        REP_SetRepert(2, m_dir.path().c_str());
        CONF_Language()->logic = 1;
        CONF_Language()->output = 2;
    }
    const kuttest::TempDir& dir() const { return m_dir; }

private:
    kuttest::TempDir m_dir;
};

Libraries& Libs() {
    static Libraries libs;
    return libs;
}

// Message numbers to look up: uniformly drawn from the stored ones.
std::vector<KLONG> Probes(int n) {
    std::mt19937 gen(12345);
    std::uniform_int_distribution<KLONG> dist(1, n);
    std::vector<KLONG> ids(4096);
    for (auto& id : ids) id = dist(gen);
    return ids;
}

void BM_Mode4Construct(benchmark::State& state) {
    Libs();
    const int n = static_cast<int>(state.range(0));
    const std::wstring module = ModuleOf(n);
    for (auto _ : state) {
        K_MSG msg(module.c_str(), 0, kBound, 0, 0);
        if (msg.m_Count != n) state.SkipWithError("the table is incomplete");
        benchmark::DoNotOptimize(msg.m_Items);
    }
    state.counters["strings"] = n;
}
BENCHMARK(BM_Mode4Construct)->Arg(1000)->Arg(10000)->Arg(60000)->Unit(benchmark::kMillisecond);

// The anchor of the construction: reading the numbers 1..65535 once through
// the platform loader, without storing anything.
void BM_ReadAllNumbers(benchmark::State& state) {
    Libs();
    HMODULE lib = KUT_LangLibOpen(Libs().dir().file(FileOf(60000, L"001")).c_str());
    if (!lib) {
        state.SkipWithError("cannot open the library");
        return;
    }
    wchar_t buf[KUT_TEXT_MAX];
    for (auto _ : state) {
        int total = 0;
        for (unsigned id = 1; id < static_cast<unsigned>(kBound); ++id) total += KUT_LangLibString(lib, id, buf, KUT_TEXT_MAX);
        benchmark::DoNotOptimize(total);
    }
    KUT_LangLibClose(lib);
}
BENCHMARK(BM_ReadAllNumbers)->Unit(benchmark::kMillisecond);

// Loading and releasing the two libraries of a construction, which every
// mode pays.
void BM_OpenTwoLibraries(benchmark::State& state) {
    Libs();
    const int n = static_cast<int>(state.range(0));
    const std::wstring logic = Libs().dir().file(FileOf(n, L"001"));
    const std::wstring output = Libs().dir().file(FileOf(n, L"002"));
    for (auto _ : state) {
        HMODULE a = KUT_LangLibOpen(logic.c_str());
        HMODULE b = KUT_LangLibOpen(output.c_str());
        if (!a || !b) state.SkipWithError("cannot open the libraries");
        KUT_LangLibClose(a);
        KUT_LangLibClose(b);
    }
}
BENCHMARK(BM_OpenTwoLibraries)->Arg(1000)->Arg(10000)->Arg(60000)->Unit(benchmark::kMillisecond);

// One string read by the platform loader (LoadStringW's contract).
void BM_ReadOneString(benchmark::State& state) {
    Libs();
    HMODULE lib = KUT_LangLibOpen(Libs().dir().file(FileOf(60000, L"001")).c_str());
    if (!lib) {
        state.SkipWithError("cannot open the library");
        return;
    }
    const std::vector<KLONG> ids = Probes(60000);
    wchar_t buf[KUT_TEXT_MAX];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(KUT_LangLibString(lib, static_cast<unsigned>(ids[i++ & 4095]), buf, KUT_TEXT_MAX));
    }
    KUT_LangLibClose(lib);
}
BENCHMARK(BM_ReadOneString);

// A filled table is read through its number index.
void BM_TextMode4(benchmark::State& state) {
    Libs();
    const int n = static_cast<int>(state.range(0));
    K_MSG msg(ModuleOf(n).c_str(), 0, kBound, 0, 0);
    const std::vector<KLONG> ids = Probes(n);
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(msg.text(ids[i++ & 4095]));
}
BENCHMARK(BM_TextMode4)->Arg(1000)->Arg(60000);

// The bisection alone: what text() costs once SortSet has changed the table.
void BM_BSearch(benchmark::State& state) {
    Libs();
    const int n = static_cast<int>(state.range(0));
    K_MSG msg(ModuleOf(n).c_str(), 0, kBound, 0, 0);
    const std::vector<KLONG> ids = Probes(n);
    std::size_t i = 0;
    for (auto _ : state) {
        const int pos = msg.BSearch(ids[i++ & 4095], msg.m_Count);
        benchmark::DoNotOptimize(pos < 0 ? L"" : msg.m_Items[pos].pText);
    }
}
BENCHMARK(BM_BSearch)->Arg(1000)->Arg(60000);

void BM_TextMode1NoCache(benchmark::State& state) {
    Libs();
    K_MSG msg(ModuleOf(60000).c_str(), 0, nullptr, 0);
    const std::vector<KLONG> ids = Probes(60000);
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(msg.text(ids[i++ & 4095]));
}
BENCHMARK(BM_TextMode1NoCache);

// Mode 2 scans its list: the cost grows with the list's length.
void BM_TextMode2(benchmark::State& state) {
    Libs();
    const int count = static_cast<int>(state.range(0));
    std::vector<KLONG> list(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) list[static_cast<std::size_t>(k)] = k + 1;
    K_MSG msg(ModuleOf(60000).c_str(), list.data(), static_cast<short>(count), 0, nullptr, 0);
    const std::vector<KLONG> ids = Probes(count);
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(msg.text(ids[i++ & 4095]));
}
BENCHMARK(BM_TextMode2)->Arg(10)->Arg(100)->Arg(1000);

#if defined(__GLIBC__)
// GNU gettext over a catalogue of 60,000 messages, compiled by msgfmt.
void BM_Dgettext(benchmark::State& state) {
    static kuttest::TempDir dir;
    static bool ready = [] {
        const std::string root = dir.narrow();
        const std::string msgDir = root + "/C.UTF-8/LC_MESSAGES";
        std::string cmd = "mkdir -p '" + msgDir + "'";
        if (std::system(cmd.c_str()) != 0) return false;
        {
            std::ofstream po(root + "/kutbench.po");
            po << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
            for (int id = 1; id <= 60000; ++id) {
                po << "msgid \"msg" << id << "\"\nmsgstr \"Message text number " << id << "\"\n\n";
            }
        }
        cmd = "msgfmt -o '" + msgDir + "/kutbench.mo' '" + root + "/kutbench.po' 2>/dev/null";
        if (std::system(cmd.c_str()) != 0) return false;
        std::setlocale(LC_ALL, "C.UTF-8");
        bindtextdomain("kutbench", root.c_str());
        const char* probe = dgettext("kutbench", "msg7");
        return std::string(probe) == "Message text number 7";
    }();
    if (!ready) {
        state.SkipWithError("msgfmt or the C.UTF-8 locale is missing");
        return;
    }
    std::vector<std::string> keys;
    for (KLONG id : Probes(60000)) keys.push_back("msg" + std::to_string(id));
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(dgettext("kutbench", keys[i++ & 4095].c_str()));
}
BENCHMARK(BM_Dgettext);
#endif

}  // namespace

BENCHMARK_MAIN();
