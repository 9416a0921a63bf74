// Comparison of two 1,000-page documents: the whole road through the
// public API (load, analyse, compare, JSON), reported per page pair.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench_pair.h"
#include "morvex.h"

namespace {

using bench::pair;
using bench::Pair;

void BM_Compare1000Pages(benchmark::State &state) {
    const Pair &p = pair();
    morvex_init();
    for (auto _ : state) {
        const char *json = morvex_compare(p.a.c_str(), p.b.c_str());
        if (!json) state.SkipWithError(morvex_last_error());
        benchmark::DoNotOptimize(json);
    }
    morvex_cleanup();
    state.counters["page_pairs"] = 1000;
    // Seconds per page pair, printed with a unit.
    state.counters["per_page_pair"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 1000, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Compare1000Pages)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Text1000Pages(benchmark::State &state) {
    const Pair &p = pair();
    morvex_init();
    for (auto _ : state) benchmark::DoNotOptimize(morvex_text(p.a.c_str(), p.b.c_str()));
    morvex_cleanup();
}
BENCHMARK(BM_Text1000Pages)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
