// Comparison of two 1,000-page documents: the whole road through the
// public API (load, analyse, compare, JSON), reported per page pair.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "fixture/pdf_writer.h"
#include "morvex.h"

namespace {

// A 1,000-page document of about 300 words a page with one image each;
// `variant` changes one word on every tenth page.
std::string document(bool variant) {
    fixture::DocBuilder b;
    const int font = b.font("Helvetica");
    const int img = b.image(32, 32);
    const std::string res = fixture::resources({{"F1", font}}, {{"Im1", img}});
    for (int p = 0; p < 1000; ++p) {
        std::string content = "q 100 0 0 80 400 650 cm /Im1 Do Q BT /F1 10 Tf 72 760 Td 12 TL\n";
        for (int line = 0; line < 30; ++line) {
            content += "(";
            for (int w = 0; w < 10; ++w) {
                const bool changed = variant && p % 10 == 0 && line == 5 && w == 3;
                content += changed ? "CHANGED " : "word" + std::to_string((p * 7 + line * 3 + w) % 97) + " ";
            }
            content += ") Tj T*\n";
        }
        content += "ET\n";
        b.page({.content = content, .resources = res, .compress = true});
    }
    return b.build();
}

struct Pair {
    std::string a, b;
    Pair() {
        a = "/tmp/morvex-bench-a.pdf";
        b = "/tmp/morvex-bench-b.pdf";
        fixture::write_file(a, document(false));
        fixture::write_file(b, document(true));
    }
};

const Pair &pair() {
    static const Pair p;
    return p;
}

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
