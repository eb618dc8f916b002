// Cost of one coefficient lookup on the shipped unit files. Every call
// locates, opens and reads the file anew, so this is mostly file opening
// and parsing of the sections up to the wanted one.
#include <benchmark/benchmark.h>

#include <string>

#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "kut/units.h"
#include "testutil.h"

namespace {

void UseSampleFiles(bool nonMetric) {
    std::wstring dir = kuttest::SourceDir() + kuttest::kSep + L"data" + kuttest::kSep + L"units";
    REP_SetRepert(1, dir.c_str());
    CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC] = nonMetric ? 1 : 0;
}

// Times `lookup` from one unit to another in the sample file of the unit
// system chosen by the benchmark's argument.
void TimeLookup(benchmark::State& state, double (KUT_Units::*lookup)(wchar_t*, wchar_t*), std::wstring from, std::wstring to) {
    UseSampleFiles(state.range(0) != 0);
    KUT_Units units;
    for (auto _ : state) {
        double r = (units.*lookup)(&from[0], &to[0]);
        if (r < 0) state.SkipWithError("sample unit file not found");
        benchmark::DoNotOptimize(r);
    }
}

void BM_LenghtCoeff(benchmark::State& state) { TimeLookup(state, &KUT_Units::LenghtCoeff, L"mi", L"CM"); }
BENCHMARK(BM_LenghtCoeff)->Arg(0)->Arg(1)->ArgName("nonmetric")->Unit(benchmark::kMicrosecond);

// The mass section lies behind the two others, which are skipped token by token.
void BM_MassCoeff(benchmark::State& state) { TimeLookup(state, &KUT_Units::MassCoeff, L"LB", L"G"); }
BENCHMARK(BM_MassCoeff)->Arg(0)->Arg(1)->ArgName("nonmetric")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
