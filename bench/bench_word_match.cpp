// The text difference of dense pages: two pages of 2,000, 5,000 and 20,000
// words a side that differ in one word, 20,000 words with one in a hundred
// changed, two unrelated 20,000-word pages,
// and, for scale, the largest pair the exact table takes whole
// (1,999 x 2,000 words, one change).  Words are laid out a hundred a line,
// as index entries, dot leaders and page numbers.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "compare/diff.h"

namespace {

using morvex::PageSummary;

// Word `changed` reads "CHANGED", and with `every`, each every-th word after it.
PageSummary dense_page(size_t n, unsigned seed, size_t changed = static_cast<size_t>(-1), size_t every = 0) {
    PageSummary s;
    s.items.reserve(n);
    for (size_t k = 0; k < n; ++k) {
        const uint64_t h = (k + 1) * 0x9E3779B97F4A7C15ull ^ (seed + 1) * 0xC2B2AE3D27D4EB4Full;
        const bool hit = k == changed || (every && k >= changed && (k - changed) % every == 0);
        std::string w = hit ? "CHANGED"
                        : k % 3 == 1 ? "...."
                                     : (k % 3 ? "p" : "entry") + std::to_string((h >> 29) % 1009);
        const double x = 20 + static_cast<double>(k % 100) * 5.5, y = 770 - static_cast<double>(k / 100) * 2.4;
        s.text += w + " ";
        s.items.push_back({std::move(w), x, y, 5, 2, 2});
    }
    return s;
}

void run(benchmark::State &state, const PageSummary &a, const PageSummary &b) {
    for (auto _ : state) {
        morvex::DiffList list;
        morvex::add_text_difference(&list, 1, a, b);
        benchmark::DoNotOptimize(list.entries.back().changes.size());
    }
    state.counters["words"] = static_cast<double>(a.items.size());
}

void BM_OneChangedWord(benchmark::State &state) {
    const size_t n = static_cast<size_t>(state.range(0));
    run(state, dense_page(n, 0), dense_page(n, 0, n / 2));
}
BENCHMARK(BM_OneChangedWord)->Arg(2000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

// One word in a hundred changed.
void BM_ScatteredChanges(benchmark::State &state) {
    run(state, dense_page(20000, 0), dense_page(20000, 0, 50, 100));
}
BENCHMARK(BM_ScatteredChanges)->Unit(benchmark::kMillisecond);

void BM_UnrelatedPages(benchmark::State &state) {
    run(state, dense_page(20000, 1), dense_page(20000, 2));
}
BENCHMARK(BM_UnrelatedPages)->Unit(benchmark::kMillisecond);

void BM_LargestExactTable(benchmark::State &state) {
    run(state, dense_page(1999, 0), dense_page(2000, 0, 1000));
}
BENCHMARK(BM_LargestExactTable)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
