#include "decode.h"

#include <algorithm>
#include <new>

#include "inflate.h"
#include "lzw.h"

namespace morvex {

namespace {

// Runs `attempt(buffer, capacity, &len)` with capacities first_cap, 2x, 4x
// ... up to the ceiling, while it reports that the output was full.
template <class Attempt>
bool decode_growing(size_t first_cap, OwnedBytes *out, Attempt attempt) {
    size_t cap = std::min(std::max<size_t>(first_cap, 1), kMaxDecodedStream);
    for (;;) {
        std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[cap]);
        if (!buf) return false;
        size_t len = 0;
        bool full = false;
        if (attempt(buf.get(), cap, &len, &full)) {
            out->data = std::move(buf);
            out->len = len;
            return true;
        }
        if (!full || cap >= kMaxDecodedStream) return false;
        cap = std::min(cap * 2, kMaxDecodedStream);
    }
}

}  // namespace

bool inflate_growing(const unsigned char *in, size_t in_len, size_t first_cap, OwnedBytes *out) {
    return decode_growing(first_cap, out, [&](unsigned char *buf, size_t cap, size_t *len, bool *full) {
        InflateStatus status = InflateStatus::ok;
        const int r = inflate_decompress_status(in, in_len, buf, cap, len, &status);
        *full = status == InflateStatus::output_full;
        return r == 0;
    });
}

bool lzw_growing(const unsigned char *in, size_t in_len, size_t first_cap, OwnedBytes *out) {
    return decode_growing(first_cap, out, [&](unsigned char *buf, size_t cap, size_t *len, bool *full) {
        // The decoder fails only when its output does not fit.
        const int r = lzw_decompress(in, in_len, buf, cap, len);
        *full = r != 0;
        return r == 0;
    });
}

}  // namespace morvex
