// Pages paired by content against pages paired by position, on generated
// 10,000-page documents of about 100 words a page:
//   inserted   B is A with one page inserted in the middle
//   unrelated  B shares no page with A (the alignment's bounded worst case)
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fixture/pdf_writer.h"
#include "morvex.h"

namespace {

constexpr int kPages = 10000;

std::string page(int seed, int p) {
    std::string c = "BT /F1 10 Tf 72 760 Td 12 TL\n";
    for (int line = 0; line < 10; ++line) {
        c += "(";
        for (int w = 0; w < 10; ++w) c += "s" + std::to_string(seed) + "p" + std::to_string(p) + "w" + std::to_string(line * 10 + w) + " ";
        c += ") Tj T*\n";
    }
    return c + "ET\n";
}

std::string document(int seed, int insert_at) {
    fixture::DocBuilder b;
    const std::string res = fixture::resources({{"F1", b.font("Helvetica")}}, {});
    for (int p = 0; p < kPages; ++p) {
        if (p == insert_at) b.page({.content = page(99, p), .resources = res, .compress = true});
        b.page({.content = page(seed, p), .resources = res, .compress = true});
    }
    return b.build();
}

struct Files {
    std::string dir, a, inserted, unrelated;
    Files() {
        dir = "/tmp/morvex-bench-pairing-" + std::to_string(::getpid());
        ::mkdir(dir.c_str(), 0700);
        a = dir + "/a.pdf", inserted = dir + "/inserted.pdf", unrelated = dir + "/unrelated.pdf";
        fixture::write_file(a, document(1, -1));
        fixture::write_file(inserted, document(1, kPages / 2));
        fixture::write_file(unrelated, document(2, -1));
    }
    ~Files() {
        for (const std::string *f : {&a, &inserted, &unrelated}) ::unlink(f->c_str());
        ::rmdir(dir.c_str());
    }
};

const Files &files() {
    static const Files f;
    return f;
}

void run(benchmark::State &state, const std::string &b, const char *options) {
    morvex_init();
    for (auto _ : state) {
        const char *json = morvex_compare_opts(files().a.c_str(), b.c_str(), options);
        if (!json) state.SkipWithError(morvex_last_error());
        benchmark::DoNotOptimize(json);
    }
    morvex_cleanup();
}

void BM_InsertedByPosition(benchmark::State &s) { run(s, files().inserted, R"({"pairing":"position"})"); }
void BM_InsertedByContent(benchmark::State &s) { run(s, files().inserted, R"({"pairing":"content"})"); }
void BM_UnrelatedByPosition(benchmark::State &s) { run(s, files().unrelated, R"({"pairing":"position"})"); }
void BM_UnrelatedByContent(benchmark::State &s) { run(s, files().unrelated, R"({"pairing":"content"})"); }
BENCHMARK(BM_InsertedByPosition)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_InsertedByContent)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_UnrelatedByPosition)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_UnrelatedByContent)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
