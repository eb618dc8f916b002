// File copies against the system's cp, measured in the same run.
//
// TreeCopyVsCp: _FILE_TreeCopy (flags 3) of 5,000 files in 100 folders
// (1 KiB to 64 KiB, about 160 MiB) and `cp -a` of the same tree, alternated
// within every iteration; the counters give both times and their ratio.
// CopyVsCp: _FILE_Copy of one 256 MiB file against
// `cp --preserve=mode,timestamps`, the same way.
// Both sources are written once (so they sit in the page cache) and removed
// at the end; every copy is followed by a sync outside the timed region so
// that neither side pays for the other's write-back, and the order of the
// two sides alternates from one iteration to the next. Iteration time is
// the kut side's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>

#include "kut/file.h"
#include "testutil.h"

namespace {

using Clock = std::chrono::steady_clock;

int Handler(const wchar_t*, FTW_CTX* ctx) {
    if (ctx->error != 0) {
        ctx->error = 0;
        return 1;
    }
    return 0;
}

std::string Quote(const std::wstring& path) { return "'" + kuttest::Narrow(path) + "'"; }

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double Shell(const std::string& cmd) {
    auto a = Clock::now();
    int rc = std::system(cmd.c_str());
    auto b = Clock::now();
    if (rc != 0) std::abort();
    return Seconds(a, b);
}

void Sync() {
    if (std::system("sync") != 0) std::abort();
}

// One kut call against one shell command per iteration. `prepare` clears
// the destinations; the order of the two sides alternates, so that neither
// always runs just after the removal of a tree or the other's copy. The kut
// side is the iteration time; the counters give both means and their ratio.
template <typename Prepare, typename KutCopy>
void KutVsShell(benchmark::State& state, Prepare prepare, KutCopy kutCopy, const char* failure,
                const std::string& command) {
    double kutTime = 0, cpTime = 0;
    bool kutFirst = true;
    for (auto _ : state) {
        prepare();
        Sync();
        for (int side = 0; side < 2; ++side) {
            if ((side == 0) == kutFirst) {
                auto a = Clock::now();
                int r = kutCopy();
                double t = Seconds(a, Clock::now());
                if (r != 0) state.SkipWithError(failure);
                kutTime += t;
                state.SetIterationTime(t);
            } else {
                cpTime += Shell(command);
            }
            Sync();
        }
        kutFirst = !kutFirst;
    }
    double n = static_cast<double>(state.iterations());
    state.counters["kut_s"] = kutTime / n;
    state.counters["cp_s"] = cpTime / n;
    state.counters["ratio"] = cpTime > 0 ? kutTime / cpTime : 0;
}

void MakeTree(const std::wstring& root, long long* total) {
    std::mt19937 gen(42);
    std::uniform_int_distribution<int> size(1024, 64 * 1024);
    std::string block(64 * 1024, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(gen());
    *total = 0;
    for (int d = 0; d < 100; ++d) {
        std::wstring dir = root + kuttest::kSep + L"dir" + std::to_wstring(d);
        kuttest::MakeDir(dir);
        for (int f = 0; f < 50; ++f) {
            int n = size(gen);
            kuttest::WriteFile(dir + kuttest::kSep + L"file" + std::to_wstring(f) + L".dat", block.substr(0, n));
            *total += n;
        }
    }
}

void BM_TreeCopyVsCp(benchmark::State& state) {
    kuttest::TempDir work;
    std::wstring src = work.file(L"src");
    std::wstring dstKut = work.file(L"kut");
    std::wstring dstCp = work.file(L"cp");
    kuttest::MakeDir(src);
    long long total = 0;
    MakeTree(src, &total);
    Shell("cat " + Quote(src) + "/*/* > /dev/null");
    KutVsShell(
        state,
        [&] {
            kuttest::RemoveTree(dstKut);
            kuttest::RemoveTree(dstCp);
            kuttest::MakeDir(dstKut);
        },
        [&] {
            int status = 0;
            return _FILE_TreeCopy(&status, dstKut.c_str(), src.c_str(), L"*", L"*", 3, -1, Handler);
        },
        "_FILE_TreeCopy failed", "cp -a " + Quote(src) + " " + Quote(dstCp));
    state.counters["MiB"] = static_cast<double>(total) / (1 << 20);
}
BENCHMARK(BM_TreeCopyVsCp)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(6);

void BM_CopyVsCp(benchmark::State& state) {
    kuttest::TempDir work;
    std::wstring src = work.file(L"big.dat");
    std::wstring dstKut = work.file(L"kut.dat");
    std::wstring dstCp = work.file(L"cp.dat");
    {
        std::string chunk(1 << 20, '\0');
        std::mt19937 gen(7);
        for (auto& c : chunk) c = static_cast<char>(gen());
        std::string all;
        all.reserve(256u << 20);
        for (int i = 0; i < 256; ++i) all += chunk;
        kuttest::WriteFile(src, all);
    }
    KutVsShell(
        state,
        [&] {
            kuttest::RemoveTree(dstKut);
            kuttest::RemoveTree(dstCp);
        },
        [&] {
            int status = 0;
            return _FILE_Copy(&status, dstKut.c_str(), src.c_str());
        },
        "_FILE_Copy failed", "cp --preserve=mode,timestamps " + Quote(src) + " " + Quote(dstCp));
}
BENCHMARK(BM_CopyVsCp)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(6);

}  // namespace

BENCHMARK_MAIN();
