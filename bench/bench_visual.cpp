// The visual report of two 1,000-page documents: the whole road through
// the public API (load, analyse, compare, copy the resources, write the
// report file), reported per output page.
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fixture/pdf_writer.h"
#include "morvex.h"

namespace {

// A 1,000-page document of about 300 words a page with one image each;
// `variant` changes one word on every tenth page, which the report marks.
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
    std::string a, b, report;
    Pair() {
        const std::string dir = "/tmp/morvex-bench-visual-" + std::to_string(::getpid());
        ::mkdir(dir.c_str(), 0700);
        a = dir + "/a.pdf";
        b = dir + "/b.pdf";
        report = dir + "/report.pdf";
        fixture::write_file(a, document(false));
        fixture::write_file(b, document(true));
    }
    ~Pair() {
        ::unlink(a.c_str());
        ::unlink(b.c_str());
        ::unlink(report.c_str());
        ::rmdir(report.substr(0, report.rfind('/')).c_str());
    }
};

const Pair &pair() {
    static const Pair p;
    return p;
}

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
