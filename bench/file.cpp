// File copies against the system's cp, measured in the same run.
//
// TreeCopyVsCp: _FILE_TreeCopy (flags 3) of 5,000 files in 100 folders
// (1 KiB to 64 KiB, about 160 MiB) and `cp -a` of the same tree, alternated
// within every iteration; the counters give both times and their ratio.
// CopyVsCp/<MiB>: _FILE_Copy of one file of 256 MiB, and of 2 GiB less one
// byte (the largest length _FILE_Len can answer), against
// `cp --preserve=mode,timestamps`, the same way. Besides the times: the growth
// of the peak resident memory of one _FILE_Copy of the file, measured in a
// forked child (its peak reset, then VmHWM after the copy minus VmRSS
// before), and the 1-minute load average before and after the run (other
// work on the machine shows in the ratio).
// Both sources are written once (so they sit in the page cache) and removed
// at the end; every copy is followed by a sync outside the timed region so
// that neither side pays for the other's write-back, and the order of the
// two sides alternates from one iteration to the next. Iteration time is
// the kut side's.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

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

double LoadAverage() {
    double one = -1;
    std::ifstream("/proc/loadavg") >> one;
    return one;
}

long long StatusKiB(const std::string& key) {
    std::ifstream status("/proc/self/status");
    long long value = -1;
    for (std::string k; status >> k;) {
        if (k == key) status >> value;
    }
    return value;
}

// Peak resident memory that `run` adds, in MiB, measured in a child process
// so that the benchmark's own buffers do not count; -1 when it cannot be had.
template <typename Run>
double PeakGrowthMiB(Run run) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts at the present
        long long before = StatusKiB("VmRSS:");
        long long growth = run() == 0 && before >= 0 ? StatusKiB("VmHWM:") - before : -1024;
        ssize_t w = ::write(fds[1], &growth, sizeof growth);
        ::_exit(w == static_cast<ssize_t>(sizeof growth) ? 0 : 1);
    }
    ::close(fds[1]);
    long long growth = -1024;
    if (pid < 0 || ::read(fds[0], &growth, sizeof growth) != static_cast<ssize_t>(sizeof growth)) growth = -1024;
    ::close(fds[0]);
    int st = 0;
    if (pid > 0) ::waitpid(pid, &st, 0);
    return static_cast<double>(growth) / 1024.0;
}

void Sync() {
    if (std::system("sync") != 0) std::abort();
}

// One kut call against one shell command per iteration. `prepare` clears
// the destinations; the order of the two sides alternates, so that neither
// always runs just after the removal of a tree or the other's copy. The kut
// side is the iteration time; the counters give both means and their ratio.
template <typename Prepare, typename KutCopy>
void KutVsShell(benchmark::State& state, Prepare prepare, KutCopy kutCopy, const char* failure, const std::string& command) {
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
    const double loadBefore = LoadAverage();
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
    state.counters["load_before"] = loadBefore;
    state.counters["load_after"] = LoadAverage();
}
BENCHMARK(BM_TreeCopyVsCp)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(12);

void BM_CopyVsCp(benchmark::State& state) {
    const double loadBefore = LoadAverage();
    kuttest::TempDir work;
    std::wstring src = work.file(L"big.dat");
    std::wstring dstKut = work.file(L"kut.dat");
    std::wstring dstCp = work.file(L"cp.dat");
    const long long size = state.range(0) >= 2048 ? 2147483647LL : state.range(0) << 20;
    {
        // Written a block at a time: the benchmark's own memory stays small.
        std::string chunk(1 << 20, '\0');
        std::mt19937 gen(7);
        for (auto& c : chunk) c = static_cast<char>(gen());
        std::ofstream out(kuttest::Narrow(src), std::ios::binary | std::ios::trunc);
        for (long long left = size; left > 0; left -= static_cast<long long>(chunk.size())) {
            out.write(chunk.data(),
                      static_cast<std::streamsize>(std::min<long long>(left, static_cast<long long>(chunk.size()))));
        }
        if (!out.flush()) {
            state.SkipWithError("cannot write the source");
            return;
        }
    }
    auto kutCopy = [&] {
        int status = 0;
        return _FILE_Copy(&status, dstKut.c_str(), src.c_str());
    };
    state.counters["rss_growth_MiB"] = PeakGrowthMiB(kutCopy);
    KutVsShell(
        state,
        [&] {
            kuttest::RemoveTree(dstKut);
            kuttest::RemoveTree(dstCp);
        },
        kutCopy, "_FILE_Copy failed", "cp --preserve=mode,timestamps " + Quote(src) + " " + Quote(dstCp));
    state.counters["MiB"] = static_cast<double>(size) / (1 << 20);
    state.counters["load_before"] = loadBefore;
    state.counters["load_after"] = LoadAverage();
}
BENCHMARK(BM_CopyVsCp)->Arg(256)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(6);
BENCHMARK(BM_CopyVsCp)->Arg(2048)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(4);

}  // namespace

BENCHMARK_MAIN();
