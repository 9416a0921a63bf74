// Fuzz target: the LZW decoder on arbitrary input (contract checks and
// smaller buffers), and a round trip of the input through a small encoder.
// Output buffers are heap blocks of exactly their capacity.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <memory>
#include <vector>

#include "codec/lzw.h"

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_lzw: %s\n", what);
        std::abort();
    }
}

struct Run {
    int rc;
    size_t len;
    std::unique_ptr<uint8_t[]> out;
};

Run run(const uint8_t *data, size_t size, size_t cap) {
    Run r{0, 0xDEAD, std::unique_ptr<uint8_t[]>(new uint8_t[cap])};
    r.rc = morvex::lzw_decompress(data, size, r.out.get(), cap, &r.len);
    check(r.rc == 0 || r.rc == -1, "result is neither 0 nor -1");
    check(r.rc == 0 ? r.len <= cap : r.len == 0xDEAD, "bad output length");
    return r;
}

// LZW encoder with a leading clear code, a clear code whenever the table
// fills, and an end code; widths one code early.
std::vector<uint8_t> encode(const uint8_t *data, size_t size) {
    std::vector<uint8_t> out;
    int used = 8;
    unsigned next = 258;
    auto put = [&](unsigned code) {
        const unsigned n = next - 1;
        const int width = n >= 2047 ? 12 : n >= 1023 ? 11 : n >= 511 ? 10 : 9;
        for (int i = width - 1; i >= 0; --i) {
            if (used == 8) {
                out.push_back(0);
                used = 0;
            }
            out.back() = static_cast<uint8_t>(out.back() | (((code >> i) & 1) << (7 - used++)));
        }
    };
    std::unordered_map<unsigned, unsigned> dict;  // (prefix code << 8 | byte) -> code
    dict.reserve(4096);
    put(256);
    int w = -1;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t k = data[i];
        if (w < 0) {
            w = k;
            continue;
        }
        const unsigned key = static_cast<unsigned>(w) << 8 | k;
        const auto it = dict.find(key);
        if (it != dict.end()) {
            w = static_cast<int>(it->second);
            continue;
        }
        put(static_cast<unsigned>(w));
        dict[key] = next++;
        if (next == 4096) {
            put(256);
            dict.clear();
            next = 258;
        }
        w = k;
    }
    if (w >= 0) {
        put(static_cast<unsigned>(w));
        ++next;
    }
    put(257);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > (size_t{1} << 20)) return 0;
    const Run big = run(data, size, 8 * size + 1024);
    if (big.rc == 0) {
        const Run exact = run(data, size, big.len);
        check(exact.rc == 0 && exact.len == big.len && std::memcmp(exact.out.get(), big.out.get(), big.len) == 0,
              "exact capacity changed the result");
        if (big.len > 0) check(run(data, size, big.len - 1).rc == -1, "one byte less still fit");
    }

    const std::vector<uint8_t> packed = encode(data, size);
    const Run back = run(packed.data(), packed.size(), size);
    check(back.rc == 0 && back.len == size && (size == 0 || std::memcmp(back.out.get(), data, size) == 0),
          "round trip changed the data");
    return 0;
}
