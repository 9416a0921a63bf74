#include "decode.h"

#include <algorithm>
#include <cstdlib>
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

bool inflate_growing(const unsigned char *in, size_t in_len, size_t first_cap, DecodeScratch *scratch,
                     size_t *out_len) {
    *out_len = 0;
    size_t cap = std::min(std::max({first_cap, scratch->cap, size_t{1}}), kMaxDecodedStream);
    for (;;) {
        if (cap > scratch->cap) {
            scratch->data.reset();
            scratch->cap = 0;
            scratch->data.reset(new (std::nothrow) unsigned char[cap]);
            if (!scratch->data) return false;
            scratch->cap = cap;
        }
        InflateStatus status = InflateStatus::ok;
        if (inflate_decompress_status(in, in_len, scratch->data.get(), cap, out_len, &status) == 0) return true;
        if (status != InflateStatus::output_full || cap >= kMaxDecodedStream) return false;
        cap = std::min(cap * 2, kMaxDecodedStream);
    }
}

bool inflate_append(const unsigned char *in, size_t in_len, size_t first_cap, ByteBuf *out) {
    const uint64_t keep = out->data ? out->len : 0;
    size_t cap = std::min(std::max<size_t>(first_cap, 1), kMaxDecodedStream);
    for (;;) {
        // Room for cap bytes and the terminating 0 after the kept ones.
        const uint64_t need = keep + cap + 1;
        if (need > out->cap || !out->data) {
            void *grown = need <= SIZE_MAX ? std::realloc(out->data, need) : nullptr;
            if (!grown) {
                buf_free(out);
                out->oom = true;
                return false;
            }
            out->data = static_cast<unsigned char *>(grown);
            out->cap = need;
            out->len = keep;
        }
        size_t got = 0;
        InflateStatus status = InflateStatus::ok;
        if (inflate_decompress_status(in, in_len, out->data + keep, cap, &got, &status) == 0) {
            out->len = keep + got;
            out->data[out->len] = 0;
            // Give back the room that the guess took and the data did not use.
            if (out->cap > 2 * (out->len + 1) && out->cap - (out->len + 1) > 65536) {
                if (void *shrunk = std::realloc(out->data, out->len + 1)) {
                    out->data = static_cast<unsigned char *>(shrunk);
                    out->cap = out->len + 1;
                }
            }
            return true;
        }
        out->len = keep;
        out->data[keep] = 0;
        if (status != InflateStatus::output_full || cap >= kMaxDecodedStream) return false;
        cap = std::min(cap * 2, kMaxDecodedStream);
    }
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
