// Text decoding throughput.
//
//  - DECODE_DosToWin over 16 MiB of random bytes (one wchar_t element per
//    byte), against glibc iconv CP850 -> CP1252 on the same bytes and a plain
//    branch-free loop over a 128-entry table;
//  - DECODE_Convert of a 64 MiB DOS text of 80-character lines, against the
//    shell pipeline `iconv -f CP850 -t CP1252 < in | sed 's/$/\r/' > out` on
//    the same file (run through std::system, wall-clock time).
//
//  - DECODE_Convert against the same contract as the plainest C loop, both
//    alternating within each iteration over the same 64 MiB file: fgets a
//    line, convert its bytes through a 128-entry table, write it with CR LF
//    and flush, one write per line (ConvertVsLineLoop; counters give both
//    wall-clock means, their ratio and the 1-minute load average).
//
// Rates count bytes of DOS text: the table's "M/s" are 2^20 bytes per
// second, the ratio lines printed after it use MB = 10^6 bytes. In-memory
// rates come from CPU time; DECODE_Convert and the pipeline from wall-clock
// time, as the pipeline runs in processes of its own.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#if __has_include(<iconv.h>)
#include <iconv.h>
#define KUT_BENCH_ICONV 1
#endif

#include "kbase/kbase.h"
#include "kut/decode.h"
#include "testutil.h"

namespace {

constexpr std::size_t kRandomBytes = 16u << 20;
constexpr std::size_t kTextBytes = 64u << 20;
constexpr int kLineChars = 80;

// A folder without data files: the built-in tables are used.
kuttest::TempDir& Scratch() {
    static kuttest::TempDir dir;
    return dir;
}

void NoDataFiles() {
    static bool done = false;
    if (done) return;
    done = true;
    REP_SetRepert(5, Scratch().path().c_str());
    REP_SetRepert(9, Scratch().path().c_str());
}

const std::vector<unsigned char>& RandomBytes() {
    static std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> v(kRandomBytes);
        std::mt19937 gen(1234);
        for (auto& b : v) b = static_cast<unsigned char>(gen());
        return v;
    }();
    return bytes;
}

void BM_DosToWin(benchmark::State& state) {
    NoDataFiles();
    const auto& src = RandomBytes();
    std::vector<wchar_t> buf(src.begin(), src.end());
    // The length is a 16-bit count: convert in the largest chunks it allows.
    constexpr std::size_t kChunk = 32767;
    for (auto _ : state) {
        for (std::size_t at = 0; at < buf.size(); at += kChunk) {
            std::size_t n = std::min(kChunk, buf.size() - at);
            DECODE_DosToWin(buf.data() + at, static_cast<short>(n), 34);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buf.size()));
}
BENCHMARK(BM_DosToWin)->Unit(benchmark::kMillisecond);

// The same conversion written as the simplest loop: the reference for what a
// table lookup per element costs here.
void BM_PlainTableLoop(benchmark::State& state) {
    unsigned short table[128];
    for (int i = 0; i < 128; ++i) table[i] = static_cast<unsigned short>(0x80 + (i * 37) % 128);
    const auto& src = RandomBytes();
    std::vector<wchar_t> buf(src.begin(), src.end());
    for (auto _ : state) {
        wchar_t* p = buf.data();
        const std::size_t n = buf.size();
        for (std::size_t i = 0; i < n; ++i) {
            // Branch-free by construction: a mask instead of a select the
            // compiler might turn into a jump.
            auto e = static_cast<std::uint32_t>(p[i]);
            std::uint32_t b = e & 0xFF;
            std::uint32_t high = 0u - (b >> 7);  // all ones for 0x80 and up
            std::uint32_t t = table[b & 0x7F] & 0xFFu;
            p[i] = static_cast<wchar_t>((t & high) | (e & ~high));
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buf.size()));
}
BENCHMARK(BM_PlainTableLoop)->Unit(benchmark::kMillisecond);

#if defined(KUT_BENCH_ICONV)
void BM_Iconv(benchmark::State& state) {
    iconv_t cd = iconv_open("CP1252//TRANSLIT", "CP850");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        state.SkipWithError("iconv_open CP850 -> CP1252 failed");
        return;
    }
    const auto& src = RandomBytes();
    std::vector<char> in(src.begin(), src.end());
    std::vector<char> out(in.size() * 4 + 16);
    std::size_t skipped = 0;
    for (auto _ : state) {
        char* ip = in.data();
        std::size_t il = in.size();
        char* op = out.data();
        std::size_t ol = out.size();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        while (il > 0) {
            if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1)) {
                // Not even transliterable: skip the byte, as the table would map it.
                ++ip;
                --il;
                ++skipped;
            }
        }
        benchmark::DoNotOptimize(op);
    }
    iconv_close(cd);
    state.counters["skipped"] = static_cast<double>(skipped) / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}
BENCHMARK(BM_Iconv)->Unit(benchmark::kMillisecond);

// DOS bytes that iconv converts to CP1252 on their own: the text file is
// made of them, so that the pipeline's iconv runs through.
std::vector<unsigned char> MappableBytes() {
    std::vector<unsigned char> ok;
    iconv_t cd = iconv_open("CP1252", "CP850");
    for (int b = 0x20; b < 0x100; ++b) {
        if (b == 0x7F) continue;
        char in = static_cast<char>(b), out[8];
        char* ip = &in;
        char* op = out;
        std::size_t il = 1, ol = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (cd != reinterpret_cast<iconv_t>(-1) && iconv(cd, &ip, &il, &op, &ol) != static_cast<std::size_t>(-1)) {
            ok.push_back(static_cast<unsigned char>(b));
        }
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    return ok;
}
#else
std::vector<unsigned char> MappableBytes() {
    std::vector<unsigned char> ok;
    for (int b = 0x20; b < 0x7F; ++b) ok.push_back(static_cast<unsigned char>(b));
    return ok;
}
#endif

// 64 MiB of 80-character lines ended by CR LF.
const std::wstring& TextFile() {
    static std::wstring path = [] {
        NoDataFiles();
        std::vector<unsigned char> alphabet = MappableBytes();
        std::mt19937 gen(99);
        std::string text;
        text.reserve(kTextBytes);
        while (text.size() + kLineChars + 2 <= kTextBytes) {
            for (int i = 0; i < kLineChars; ++i) text += static_cast<char>(alphabet[gen() % alphabet.size()]);
            text += "\r\n";
        }
        std::wstring p = Scratch().file(L"dos.txt");
        kuttest::WriteFile(p, text);
        return p;
    }();
    return path;
}

std::size_t FileSize(const std::wstring& path) {
    std::string bytes;
    kuttest::ReadFile(path, &bytes);
    return bytes.size();
}

void BM_Convert(benchmark::State& state) {
    const std::wstring& src = TextFile();
    std::size_t size = FileSize(src);
    std::wstring dst = Scratch().file(L"win.txt");
    std::vector<wchar_t> buf(dst.begin(), dst.end());
    buf.push_back(L'\0');
    for (auto _ : state) {
        if (DECODE_Convert(src.c_str(), buf.data(), 34) != 0) {
            state.SkipWithError("DECODE_Convert failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}
BENCHMARK(BM_Convert)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The plain loop: one write of the system per line, like DECODE_Convert.
// Answers the number of lines written, 0 when a file does not open.
long PlainLineLoop(const std::string& source, const std::string& destination) {
    static unsigned char table[128];
    for (int i = 0; i < 128; ++i) table[i] = static_cast<unsigned char>(0x80 + (i * 37) % 128);
    std::FILE* in = std::fopen(source.c_str(), "rb");
    std::FILE* out = std::fopen(destination.c_str(), "wb");
    long lines = 0;
    if (in && out) {
        char line[1024];
        while (std::fgets(line, sizeof line - 2, in)) {
            std::size_t n = std::strlen(line);
            while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) --n;
            for (std::size_t i = 0; i < n; ++i) {
                auto c = static_cast<unsigned char>(line[i]);
                if (c >= 0x80) line[i] = static_cast<char>(table[c - 0x80]);
            }
            line[n++] = '\r';
            line[n++] = '\n';
            std::fwrite(line, 1, n, out);
            std::fflush(out);
            ++lines;
        }
    }
    if (in) std::fclose(in);
    if (out) std::fclose(out);
    return in && out ? lines : 0;
}

double LoadAverage() {
    double one = -1;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &one) != 1) one = -1;
        std::fclose(f);
    }
    return one;
}

void BM_ConvertVsLineLoop(benchmark::State& state) {
    const std::wstring& src = TextFile();
    const std::wstring dst = Scratch().file(L"win.txt");
    const std::string loopSrc = kuttest::Narrow(src), loopDst = kuttest::Narrow(Scratch().file(L"loop.txt"));
    std::vector<wchar_t> buf(dst.begin(), dst.end());
    buf.push_back(L'\0');
    const double loadBefore = LoadAverage();
    double convertTime = 0, loopTime = 0;
    long lines = 0;
    bool convertFirst = true;
    for (auto _ : state) {
        for (int side = 0; side < 2; ++side) {
            auto a = std::chrono::steady_clock::now();
            if ((side == 0) == convertFirst) {
                if (DECODE_Convert(src.c_str(), buf.data(), 34) != 0) state.SkipWithError("DECODE_Convert failed");
                double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
                convertTime += t;
                state.SetIterationTime(t);
            } else {
                lines = PlainLineLoop(loopSrc, loopDst);
                if (lines == 0) state.SkipWithError("the plain loop failed");
                loopTime += std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
            }
        }
        convertFirst = !convertFirst;
    }
    double n = static_cast<double>(state.iterations());
    state.counters["convert_s"] = convertTime / n;
    state.counters["loop_s"] = loopTime / n;
    state.counters["ratio"] = loopTime > 0 ? convertTime / loopTime : 0;
    state.counters["loop_lines"] = static_cast<double>(lines);
    state.counters["load_before"] = loadBefore;
    state.counters["load_after"] = LoadAverage();
}
BENCHMARK(BM_ConvertVsLineLoop)->Unit(benchmark::kMillisecond)->Iterations(6)->UseManualTime();

void BM_ShellPipeline(benchmark::State& state) {
    const std::wstring& src = TextFile();
    std::size_t size = FileSize(src);
    std::string command = "iconv -f CP850 -t CP1252 < '" + kuttest::Narrow(src) + "' | sed 's/$/\\r/' > '" +
                          kuttest::Narrow(Scratch().file(L"pipe.txt")) + "'";
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        int rc = std::system(command.c_str());
        auto end = std::chrono::steady_clock::now();
        if (rc != 0) {
            state.SkipWithError("the iconv | sed pipeline failed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}
BENCHMARK(BM_ShellPipeline)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

// Prints the table as usual and keeps each run's bytes per second for the
// ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end()) m_rates[run.benchmark_name()] = it->second.value;
        }
    }
    void Ratios() const {
        Ratio("BM_DosToWin", "BM_Iconv", "DECODE_DosToWin / iconv");
        Ratio("BM_DosToWin", "BM_PlainTableLoop", "DECODE_DosToWin / plain table loop");
        Ratio("BM_Convert/iterations:3/real_time", "BM_ShellPipeline/iterations:3/manual_time",
              "DECODE_Convert / iconv|sed pipeline");
    }

private:
    void Ratio(const std::string& a, const std::string& b, const char* what) const {
        // With --benchmark_repetitions the medians are compared.
        auto ia = m_rates.find(a + "_median"), ib = m_rates.find(b + "_median");
        if (ia == m_rates.end()) ia = m_rates.find(a);
        if (ib == m_rates.end()) ib = m_rates.find(b);
        if (ia == m_rates.end() || ib == m_rates.end() || ib->second <= 0) return;
        std::printf("%-40s %8.1f MB/s vs %8.1f MB/s  ratio %.2f\n", what, ia->second / 1e6, ib->second / 1e6,
                    ia->second / ib->second);
    }
    std::map<std::string, double> m_rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Ratios();
    benchmark::Shutdown();
    return 0;
}
