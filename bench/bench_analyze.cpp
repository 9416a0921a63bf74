// Page analysis speed: analyze_page over every page of a 1,000-page
// document (a few hundred words per page in several fonts, image
// placements, an inline image, path operators; Flate-compressed content),
// reported as time per page and bytes of decoded content per second; and
// a sweep over single pages of about 10 KB, 100 KB and 1 MB of content,
// whose time per byte should stay flat.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "codec/filters.h"
#include "document/document.h"
#include "fixture/pdf_writer.h"
#include "page/page.h"

namespace {

using morvex::PdfDocument;

// Content of about `target` bytes: text lines of eight words shown with Tj
// and TJ, image placements, an inline image, paths and colour operators.
std::string page_content(size_t target, unsigned seed) {
    static const char *const words[] = {"the",     "quarterly", "report", "shows", "revenue", "of",
                                        "Total",   "page",      "2024",   "and",   "results", "net",
                                        "caf\351", "\223q\224", "growth", "by",    "region",  "margin"};
    std::mt19937 rng(seed);
    auto r = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };
    std::string s;
    char buf[160];
    unsigned line = 0;
    while (s.size() < target) {
        const unsigned y = 760 - (line++ % 60) * 12;
        switch (r(10)) {
        case 0:
            std::snprintf(buf, sizeof buf, "q %u 0 0 %u %u %u cm /Im1 Do Q\n", 20 + r(200), 20 + r(200), r(400), r(700));
            s += buf;
            break;
        case 1:
            std::snprintf(buf, sizeof buf, "0.%u g %u.%u %u m %u %u l %u %u %u %u re f S\n", r(10), r(600), r(100),
                          r(800), r(600), r(800), r(500), r(700), 10 + r(90), 10 + r(90));
            s += buf;
            break;
        case 2:
            std::snprintf(buf, sizeof buf, "BT /F2 10 Tf 72 %u Td [(", y);
            s += buf;
            for (unsigned w = 0; w < 8; ++w) {
                s += words[r(18)];
                s += w == 7 ? ")] TJ ET\n" : r(3) ? ") -250 (" : ") -12 (";
            }
            break;
        default:
            std::snprintf(buf, sizeof buf, "BT /F1 11 Tf 1 0 0 1 72 %u Tm (", y);
            s += buf;
            for (unsigned w = 0; w < 8; ++w) {
                if (w) s += ' ';
                s += words[r(18)];
            }
            s += ") Tj ET\n";
        }
        if (line % 97 == 0) s += "q 10 0 0 10 500 20 cm BI /W 4 /H 4 /CS /G /BPC 8 ID 0123456789ABCDEF EI Q\n";
    }
    return s;
}

struct Loaded {
    PdfDocument doc;
    size_t content_bytes = 0;  // decoded content of all pages
};

std::unique_ptr<Loaded> load_pages(int pages, size_t content_size) {
    fixture::DocBuilder b;
    const int f1 = b.font("Helvetica");
    const int f2 = b.font("Times-Roman");
    const int im = b.image(8, 8);
    const std::string res = fixture::resources({{"F1", f1}, {"F2", f2}}, {{"Im1", im}});
    for (int i = 0; i < pages; ++i)
        b.page({.content = page_content(content_size, static_cast<unsigned>(i) + 1), .resources = res, .compress = true});
    const std::string pdf = b.build();
    auto out = std::make_unique<Loaded>();
    std::unique_ptr<morvex::u8[]> block(new morvex::u8[pdf.size() + 1]);
    std::memcpy(block.get(), pdf.data(), pdf.size());
    block[pdf.size()] = 0;
    if (!morvex::doc_load_bytes(std::move(block), static_cast<int32_t>(pdf.size()), "bench.pdf", &out->doc) ||
        out->doc.page_count() != pages) {
        std::fprintf(stderr, "bench_analyze: the generated document did not load\n");
        std::abort();
    }
    for (const morvex::PageEntry &p : out->doc.pages) {
        morvex::ByteBuf content;
        morvex::get_page_content(out->doc, p, &content);
        out->content_bytes += static_cast<size_t>(content.len);
    }
    return out;
}

void analyze_all(benchmark::State &state, const Loaded &l) {
    size_t words = 0;
    for (auto _ : state) {
        for (int i = 0; i < l.doc.page_count(); ++i) {
            morvex::PageSummary ps;
            morvex::analyze_page(l.doc, i, &ps);
            words += ps.items.size();
            benchmark::DoNotOptimize(ps.content_hash);
            morvex::page_analysis_free(&ps);
        }
    }
    const auto pages = static_cast<double>(l.doc.page_count());
    const auto iters = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(l.content_bytes));
    state.counters["pages"] = pages;
    state.counters["time_per_page"] =
        benchmark::Counter(pages * iters, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["words_per_page"] = static_cast<double>(words) / (pages * iters);
    state.counters["content_KB_per_page"] = static_cast<double>(l.content_bytes) / pages / 1024.0;
}

void BM_AnalyzeThousandPages(benchmark::State &state) {
    static const std::unique_ptr<Loaded> doc = load_pages(1000, 3000);
    analyze_all(state, *doc);
}
BENCHMARK(BM_AnalyzeThousandPages)->Unit(benchmark::kMillisecond);

void BM_AnalyzeOnePageBySize(benchmark::State &state) {
    const std::unique_ptr<Loaded> doc = load_pages(1, static_cast<size_t>(state.range(0)));
    analyze_all(state, *doc);
    state.SetComplexityN(static_cast<int64_t>(doc->content_bytes));
}
BENCHMARK(BM_AnalyzeOnePageBySize)
    ->Arg(10 << 10)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
