// Fuzz target: the Deflate decoder on arbitrary input.  Checks the result
// contract, compares with zlib's raw inflate over the same blocks, decodes
// again with smaller buffers, and compares every observable with the
// reference decoder (tests/oracle) at several capacities.  Every output
// buffer is a heap block of exactly its capacity, so a write past it is
// caught by AddressSanitizer.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/inflate.h"
#include "oracle/inflate_reference.h"

namespace {

using morvex::InflateStatus;

constexpr size_t kBigCap = size_t{1} << 20;

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_inflate: %s\n", what);
        std::abort();
    }
}

struct Run {
    int rc;
    size_t len;
    InflateStatus status;
    std::unique_ptr<uint8_t[]> out;
};

constexpr uint8_t kMarker = 0xA5;

using DecodeFn = int (*)(const unsigned char *, size_t, unsigned char *, size_t, size_t *, InflateStatus *);

// Decodes into a heap block of exactly cap bytes, filled with kMarker up to
// `marked` bytes beforehand.
Run run_with(DecodeFn decode, const uint8_t *data, size_t size, size_t cap, size_t marked) {
    Run r{0, 0, InflateStatus::ok, std::unique_ptr<uint8_t[]>(new uint8_t[cap])};
    std::memset(r.out.get(), kMarker, std::min(cap, marked));
    r.len = 0xDEAD;
    r.rc = decode(data, size, r.out.get(), cap, &r.len, &r.status);
    check(r.rc == 0 || r.rc == -1, "result is neither 0 nor -1");
    const bool success = r.status == InflateStatus::ok || r.status == InflateStatus::data_error;
    check(success == (r.rc == 0), "status does not match the result");
    check(r.rc == 0 ? r.len <= cap : r.len == 0, "bad output length");
    return r;
}

Run run(const uint8_t *data, size_t size, size_t cap) {
    return run_with(morvex::inflate_decompress_status, data, size, cap, 0);
}

// The library's decoder (ours) and the reference agree at one capacity:
// result, status, length, and on success the first `marked` bytes of the
// buffers (both write exactly the bytes they report, so the marked bytes
// past them must match too).
void check_same(const Run &ours, const Run &ref, size_t cap, size_t marked) {
    check(ours.rc == ref.rc, "the reference returned another result");
    check(ours.status == ref.status, "the reference returned another status");
    check(ours.len == ref.len, "the reference returned another length");
    if (ref.rc == 0)
        check(std::memcmp(ours.out.get(), ref.out.get(), std::min(cap, marked)) == 0,
              "the reference wrote other bytes");
}

// Marking all of the big buffer would cost more than the decoding.
size_t marked_for(size_t size) { return std::min(kBigCap, 64 * size + 4096); }

// Smaller capacities than the big one: the reference's exact length, one
// more and one less, half of it, zero, one chosen by the input; after a
// failure, around the last byte the reference wrote.
void compare_below_big(const uint8_t *data, size_t size, const Run &ref_big) {
    size_t reach = ref_big.len;
    if (ref_big.rc != 0) {
        reach = marked_for(size);
        while (reach > 0 && ref_big.out[reach - 1] == kMarker) --reach;
    }
    const size_t marked = reach + 4096;  // where a stray write past the output would land
    std::vector<size_t> caps = {reach, reach + 1, reach / 2, 0};
    if (reach > 0) caps.push_back(reach - 1);
    if (size >= 4) caps.push_back((size_t{data[size - 1]} << 8 | data[size - 2]) % (reach + 2));
    std::sort(caps.begin(), caps.end());
    caps.erase(std::unique(caps.begin(), caps.end()), caps.end());
    for (size_t cap : caps) {
        if (cap >= kBigCap) continue;
        check_same(run_with(morvex::inflate_decompress_status, data, size, cap, marked),
                   run_with(morvex_ref::inflate_decompress_status, data, size, cap, marked), cap, marked);
    }
}

enum class Zlib { end, data_error, input_end, too_long };

// zlib's raw inflate over the blocks after the header, into at most `cap`
// bytes; more than that is reported as too_long.
Zlib zlib_raw(const uint8_t *data, size_t size, uint8_t *out, size_t cap, size_t *out_len) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) std::abort();
    z.next_in = const_cast<Bytef *>(data + 2);
    z.avail_in = static_cast<uInt>(size - 2);
    z.next_out = out;
    z.avail_out = static_cast<uInt>(cap + 1);
    const int ret = inflate(&z, Z_FINISH);
    *out_len = z.total_out;
    inflateEnd(&z);
    if (z.total_out > cap) return Zlib::too_long;
    if (ret == Z_STREAM_END) return Zlib::end;
    if (ret == Z_DATA_ERROR) return Zlib::data_error;
    return Zlib::input_end;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > (size_t{1} << 20)) return 0;
    const Run big = run_with(morvex::inflate_decompress_status, data, size, kBigCap, marked_for(size));
    const Run ref_big = run_with(morvex_ref::inflate_decompress_status, data, size, kBigCap, marked_for(size));
    check_same(big, ref_big, kBigCap, marked_for(size));
    compare_below_big(data, size, ref_big);

    const bool header_ok = size >= 2 && (data[0] & 0x0F) == 8 && (data[1] & 0x20) == 0;
    if (!header_ok) {
        check(big.rc == -1, "a bad header was accepted");
        return 0;
    }

    // The same blocks through zlib.  Where zlib decodes completely, so must
    // we.  Where it finds a data error we keep the same bytes, or report the
    // input end (a failing code reads 15 bits, zlib stops at the first bit
    // that starts no code).  Where it runs out of input, so do we, or we
    // find a repeat code with no previous length before reading its bits.
    std::unique_ptr<uint8_t[]> ref(new uint8_t[kBigCap + 1]);
    size_t ref_len = 0;
    const Zlib z = zlib_raw(data, size, ref.get(), kBigCap, &ref_len);
    const bool same = big.rc == 0 && big.len == ref_len && std::memcmp(big.out.get(), ref.get(), ref_len) == 0;
    switch (z) {
        case Zlib::end:
            check(same && big.status == InflateStatus::ok, "zlib decoded completely, we did not");
            break;
        case Zlib::data_error:
            check((same && big.status == InflateStatus::data_error) || big.status == InflateStatus::input_end,
                  "zlib found a data error, we did not agree");
            break;
        case Zlib::input_end:
            check(big.status == InflateStatus::input_end || (same && big.status == InflateStatus::data_error),
                  "zlib ran out of input, we did not agree");
            break;
        case Zlib::too_long:
            check(big.status == InflateStatus::output_full || big.status == InflateStatus::input_end,
                  "zlib's output did not fit, ours did");
            break;
    }

    // Smaller buffers: exactly the size gives the same result, anything less
    // does not fit.
    if (big.rc == 0) {
        const Run exact = run(data, size, big.len);
        check(exact.status == big.status && exact.len == big.len &&
                  std::memcmp(exact.out.get(), big.out.get(), big.len) == 0,
              "exact capacity changed the result");
        if (big.len > 0) {
            for (size_t cap : {big.len - 1, big.len / 2, size_t{data[0]} % big.len}) {
                check(run(data, size, cap).status == InflateStatus::output_full, "a smaller buffer did not fill");
            }
        }
    }
    return 0;
}
