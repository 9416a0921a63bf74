// Inflate throughput, in bytes of output per second, beside zlib's inflate
// on the same streams in the same run.  Data sets: page content streams
// (text objects and path operators) and image-like samples (smooth
// gradients with noise), about 4 MB each, compressed by zlib at level 6;
// and the same content cut into 1,024 streams of 4 KB compressed one by
// one, the size of a typical page, where the cost of each call counts
// (decoded into a buffer of the size the filter chain gives: 16 times the
// input length plus 64).  With MORVEX_BENCH_PDFS set to PDF paths (colon
// separated), the page content streams of those files are a third data
// set, decoded one call per stream as the filter chain does.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/inflate.h"
#include "document/document.h"

namespace {

constexpr size_t kSize = 4 << 20;

std::string content_stream() {
    static const char *const words[] = {"the",   "quarterly", "report", "shows", "revenue", "of",
                                        "Total", "page",      "2024",   "and",   "results", "net"};
    std::mt19937 rng(1);
    auto r = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };
    std::string s;
    char buf[128];
    while (s.size() < kSize) {
        switch (r(4)) {
            case 0:
            case 1:
                std::snprintf(buf, sizeof buf, "BT /F%u %u Tf %u %u Td (", 1 + r(3), 8 + r(6),
                              72 + r(400), r(760));
                s += buf;
                for (unsigned w = 0, n = 1 + r(9); w < n; ++w) s += std::string(w ? " " : "") + words[r(12)];
                s += ") Tj ET\n";
                break;
            case 2:
                std::snprintf(buf, sizeof buf, "%u.%u %u m %u %u l %u %u l S\n", r(600), r(100),
                              r(800), r(600), r(800), r(600), r(800));
                s += buf;
                break;
            default:
                std::snprintf(buf, sizeof buf, "q 1 0 0 1 %u %u cm 0 0 %u %u re f Q\n", r(500),
                              r(700), 10 + r(200), 10 + r(100));
                s += buf;
        }
    }
    s.resize(kSize);
    return s;
}

std::string image_samples() {
    std::mt19937 rng(2);
    const size_t width = 1024;
    std::string s(kSize, '\0');
    for (size_t i = 0; i < kSize; ++i) {
        const size_t x = (i / 3) % width, y = (i / 3) / width, c = i % 3;
        const unsigned base = static_cast<unsigned>((x * (c + 1) + y * 2) / 5);
        s[i] = static_cast<char>(base + (rng() % 4 == 0 ? rng() % 3 : 0));
    }
    return s;
}

struct DataSet {
    std::string plain;
    std::vector<unsigned char> packed;
};

const DataSet &data_set(int which) {
    static DataSet sets[2];
    DataSet &d = sets[which];
    if (d.plain.empty()) {
        d.plain = which == 0 ? content_stream() : image_samples();
        uLongf len = compressBound(d.plain.size());
        d.packed.resize(len);
        compress2(d.packed.data(), &len, reinterpret_cast<const Bytef *>(d.plain.data()), d.plain.size(), 6);
        d.packed.resize(len);
    }
    return d;
}

void verify(const DataSet &d, const std::vector<unsigned char> &out, size_t len, const char *who) {
    if (len != d.plain.size() || std::memcmp(out.data(), d.plain.data(), len) != 0) {
        std::fprintf(stderr, "%s decoded the wrong bytes\n", who);
        std::abort();
    }
}

void BM_morvex_inflate(benchmark::State &state, int which) {
    const DataSet &d = data_set(which);
    std::vector<unsigned char> out(d.plain.size());
    size_t len = 0;
    for (auto _ : state) {
        morvex::inflate_decompress(d.packed.data(), d.packed.size(), out.data(), out.size(), &len);
        benchmark::DoNotOptimize(out.data());
    }
    verify(d, out, len, "morvex");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.plain.size()));
    state.counters["ratio"] = static_cast<double>(d.plain.size()) / static_cast<double>(d.packed.size());
}

void BM_zlib_inflate(benchmark::State &state, int which) {
    const DataSet &d = data_set(which);
    std::vector<unsigned char> out(d.plain.size());
    uLongf len = 0;
    for (auto _ : state) {
        len = out.size();
        uncompress(out.data(), &len, d.packed.data(), d.packed.size());
        benchmark::DoNotOptimize(out.data());
    }
    verify(d, out, len, "zlib");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.plain.size()));
}

}  // namespace

// Many small streams: 4 KB pieces of the content data set.
struct SmallStreams {
    std::vector<std::string> plain;
    std::vector<std::vector<unsigned char>> packed;
    size_t total = 0;
};

const SmallStreams &small_streams() {
    static SmallStreams s;
    if (s.plain.empty()) {
        const std::string &all = data_set(0).plain;
        for (size_t at = 0; at + 4096 <= all.size() && s.plain.size() < 1024; at += 4096) {
            s.plain.push_back(all.substr(at, 4096));
            uLongf len = compressBound(4096);
            std::vector<unsigned char> packed(len);
            compress2(packed.data(), &len, reinterpret_cast<const Bytef *>(s.plain.back().data()), 4096, 6);
            packed.resize(len);
            s.packed.push_back(std::move(packed));
            s.total += 4096;
        }
    }
    return s;
}

template <class Decode>
void run_small(benchmark::State &state, const char *who, Decode decode) {
    const SmallStreams &s = small_streams();
    size_t longest = 0;
    for (const auto &packed : s.packed) longest = std::max(longest, packed.size());
    std::vector<unsigned char> out(16 * (longest + 64));
    for (auto _ : state) {
        for (size_t i = 0; i < s.packed.size(); ++i) {
            const size_t len = decode(s.packed[i], out);
            if (len != 4096 || std::memcmp(out.data(), s.plain[i].data(), len) != 0) {
                std::fprintf(stderr, "%s decoded the wrong bytes\n", who);
                std::abort();
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.total));
}

void BM_morvex_inflate_small(benchmark::State &state) {
    run_small(state, "morvex", [](const std::vector<unsigned char> &in, std::vector<unsigned char> &out) {
        size_t len = 0;
        morvex::inflate_decompress(in.data(), in.size(), out.data(), 16 * (in.size() + 64), &len);
        return len;
    });
}

void BM_zlib_inflate_small(benchmark::State &state) {
    run_small(state, "zlib", [](const std::vector<unsigned char> &in, std::vector<unsigned char> &out) {
        uLongf len = out.size();
        uncompress(out.data(), &len, in.data(), in.size());
        return static_cast<size_t>(len);
    });
}

// The page content streams of real files, each with its decoded bytes
// (by zlib).
const SmallStreams &real_streams() {
    static SmallStreams s;
    static bool loaded = false;
    if (loaded) return s;
    loaded = true;
    const char *env = std::getenv("MORVEX_BENCH_PDFS");
    std::string paths = env ? env : "";
    for (size_t at = 0; at < paths.size();) {
        size_t end = paths.find(':', at);
        if (end == std::string::npos) end = paths.size();
        const std::string path = paths.substr(at, end - at);
        at = end + 1;
        morvex::PdfDocument doc;
        if (path.empty() || !morvex::doc_load(path.c_str(), &doc)) continue;
        for (const morvex::PageEntry &page : doc.pages) {
            for (const int32_t num : page.contents) {
                const morvex::ObjectEntry *e = doc.find_object(num);
                if (!e || !e->has_stream || e->in_objstm || e->stream_end <= e->stream_start + 2) continue;
                const unsigned char *raw = doc.data + e->stream_start;
                const size_t raw_len = static_cast<size_t>(e->stream_end - e->stream_start);
                z_stream z{};
                if (inflateInit(&z) != Z_OK) continue;
                std::string plain;
                unsigned char chunk[65536];
                z.next_in = const_cast<unsigned char *>(raw);
                z.avail_in = static_cast<uInt>(raw_len);
                int rc = Z_OK;
                while (rc == Z_OK) {
                    z.next_out = chunk;
                    z.avail_out = sizeof chunk;
                    rc = inflate(&z, Z_NO_FLUSH);
                    plain.append(reinterpret_cast<char *>(chunk), sizeof chunk - z.avail_out);
                }
                const size_t used = raw_len - z.avail_in;
                inflateEnd(&z);
                if (rc != Z_STREAM_END) continue;
                s.plain.push_back(plain);
                s.packed.emplace_back(raw, raw + used);
                s.total += plain.size();
            }
        }
        morvex::doc_free(&doc);
    }
    return s;
}

template <class Decode>
void run_real(benchmark::State &state, const char *who, Decode decode) {
    const SmallStreams &s = real_streams();
    if (s.plain.empty()) {
        state.SkipWithError("MORVEX_BENCH_PDFS names no PDF with Deflate page content");
        return;
    }
    // The filter chain's first guess, or the decoded size when that is
    // larger (the chain would retry with a larger buffer).
    auto capacity = [&s](size_t i) { return std::max(16 * (s.packed[i].size() + 64), s.plain[i].size()); };
    size_t largest = 0;
    for (size_t i = 0; i < s.packed.size(); ++i) largest = std::max(largest, capacity(i));
    std::vector<unsigned char> out(largest);
    for (auto _ : state) {
        for (size_t i = 0; i < s.packed.size(); ++i) {
            const size_t cap = capacity(i);
            const size_t len = decode(s.packed[i], out, cap);
            if (len != s.plain[i].size() || std::memcmp(out.data(), s.plain[i].data(), len) != 0) {
                std::fprintf(stderr, "%s decoded the wrong bytes\n", who);
                std::abort();
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.total));
    state.counters["streams"] = static_cast<double>(s.plain.size());
}

void BM_morvex_inflate_real(benchmark::State &state) {
    run_real(state, "morvex", [](const std::vector<unsigned char> &in, std::vector<unsigned char> &out, size_t cap) {
        size_t len = 0;
        morvex::inflate_decompress(in.data(), in.size(), out.data(), cap, &len);
        return len;
    });
}

void BM_zlib_inflate_real(benchmark::State &state) {
    run_real(state, "zlib", [](const std::vector<unsigned char> &in, std::vector<unsigned char> &out, size_t cap) {
        uLongf len = cap;
        uncompress(out.data(), &len, in.data(), in.size());
        return static_cast<size_t>(len);
    });
}

BENCHMARK_CAPTURE(BM_morvex_inflate, content_stream, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_zlib_inflate, content_stream, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_morvex_inflate, image_samples, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_zlib_inflate, image_samples, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_morvex_inflate_small)->Name("BM_morvex_inflate/content_4k_streams")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_zlib_inflate_small)->Name("BM_zlib_inflate/content_4k_streams")->Unit(benchmark::kMillisecond);

BENCHMARK(BM_morvex_inflate_real)->Name("BM_morvex_inflate/real_page_content")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_zlib_inflate_real)->Name("BM_zlib_inflate/real_page_content")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
