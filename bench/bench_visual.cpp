// The visual report of two 1,000-page documents: the whole road through
// the public API (load, analyse, compare, copy the resources, write the
// report file), reported per output page.
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "bench_pair.h"
#include "morvex.h"

namespace {

using bench::pair;
using bench::Pair;

int64_t file_size(const std::string &path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

void BM_Visual1000Pages(benchmark::State &state) {
    const Pair &p = pair();
    morvex_init();
    for (auto _ : state) {
        if (!morvex_visual(p.a.c_str(), p.b.c_str(), p.report.c_str())) {
            state.SkipWithError(morvex_last_error());
            break;
        }
    }
    morvex_cleanup();
    state.counters["pages"] = 1000;
    state.counters["report_bytes"] = static_cast<double>(file_size(p.report));
    // Seconds per output page, printed with a unit.
    state.counters["per_page"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 1000, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Visual1000Pages)->Unit(benchmark::kMillisecond)->UseRealTime();

// The side-by-side review report of the same pair: both pages of every
// pair, the summary and the outline.  Compare with BM_Visual1000Pages (the
// overlay report; same comparison options) and with the inputs' sizes.
void BM_VisualSideBySide1000Pages(benchmark::State &state) {
    const Pair &p = pair();
    morvex_init();
    for (auto _ : state) {
        if (!morvex_visual_opts(p.a.c_str(), p.b.c_str(), p.report.c_str(), "{\"layout\":\"side_by_side\"}")) {
            state.SkipWithError(morvex_last_error());
            break;
        }
    }
    morvex_cleanup();
    state.counters["report_bytes"] = static_cast<double>(file_size(p.report));
    state.counters["inputs_bytes"] = static_cast<double>(file_size(p.a) + file_size(p.b));
}
BENCHMARK(BM_VisualSideBySide1000Pages)->Unit(benchmark::kMillisecond)->UseRealTime();

// The overlay report through the options function, the peer of the one above.
void BM_VisualOverlayOpts1000Pages(benchmark::State &state) {
    const Pair &p = pair();
    morvex_init();
    for (auto _ : state) {
        if (!morvex_visual_opts(p.a.c_str(), p.b.c_str(), p.report.c_str(), "{}")) {
            state.SkipWithError(morvex_last_error());
            break;
        }
    }
    morvex_cleanup();
    state.counters["report_bytes"] = static_cast<double>(file_size(p.report));
}
BENCHMARK(BM_VisualOverlayOpts1000Pages)->Unit(benchmark::kMillisecond)->UseRealTime();

// Only the changed pairs (100 of 1,000).
void BM_VisualSideBySideChangedOnly1000Pages(benchmark::State &state) {
    const Pair &p = pair();
    morvex_init();
    for (auto _ : state) {
        if (!morvex_visual_opts(p.a.c_str(), p.b.c_str(), p.report.c_str(),
                                "{\"layout\":\"side_by_side\",\"changed_only\":true}")) {
            state.SkipWithError(morvex_last_error());
            break;
        }
    }
    morvex_cleanup();
    state.counters["report_bytes"] = static_cast<double>(file_size(p.report));
}
BENCHMARK(BM_VisualSideBySideChangedOnly1000Pages)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same pair identical: no marks, the report still written in full.
void BM_VisualIdentical1000Pages(benchmark::State &state) {
    const Pair &p = pair();
    morvex_init();
    for (auto _ : state) {
        if (!morvex_visual(p.a.c_str(), p.a.c_str(), p.report.c_str())) {
            state.SkipWithError(morvex_last_error());
            break;
        }
    }
    morvex_cleanup();
}
BENCHMARK(BM_VisualIdentical1000Pages)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
