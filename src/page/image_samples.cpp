// Image samples through the filter chain, hashed.
#include "image_samples.h"

#include <algorithm>
#include <cstring>

#include "../codec/decode.h"
#include "../codec/filters.h"

namespace morvex {

namespace {

constexpr size_t kMaxEncodedImage = size_t{1} << 28;

OwnedBytes owned_from(const ByteBuf &b) {
    OwnedBytes o;
    o.len = static_cast<size_t>(b.len);
    o.data.reset(new unsigned char[o.len ? o.len : 1]);
    if (o.len) std::memcpy(o.data.get(), b.data, o.len);
    return o;
}

// RunLengthDecode: a length byte n, then n + 1 bytes to copy (n < 128) or
// one byte to repeat 257 - n times (n > 128); 128 ends the data.
bool run_length_decode(const u8 *in, size_t n, OwnedBytes *out) {
    std::vector<u8> v;
    for (size_t i = 0; i < n;) {
        const u8 c = in[i++];
        if (c == 128) break;
        if (c < 128) {
            const size_t k = std::min<size_t>(c + 1u, n - i);
            v.insert(v.end(), in + i, in + i + k);
            i += k;
        } else if (i < n) {
            v.insert(v.end(), 257u - c, in[i++]);
        }
        if (v.size() > kMaxDecodedStream) return false;
    }
    out->len = v.size();
    out->data.reset(new unsigned char[v.size() ? v.size() : 1]);
    if (!v.empty()) std::memcpy(out->data.get(), v.data(), v.size());
    return true;
}

int paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Undoes the predictor of a Flate or LZW filter in place (the PNG rows
// lose their tag byte).  False when the parameters make no sense; the
// data then counts as it is.
bool undo_predictor(const ImageFilter &f, OwnedBytes *d) {
    if (f.predictor <= 1) return true;
    if (f.colors < 1 || f.colors > 32 || f.columns < 1 || f.columns > (1 << 24) ||
        (f.bpc != 1 && f.bpc != 2 && f.bpc != 4 && f.bpc != 8 && f.bpc != 16))
        return false;
    const size_t bits = static_cast<size_t>(f.colors) * static_cast<size_t>(f.bpc);
    const size_t row = (bits * static_cast<size_t>(f.columns) + 7) / 8;
    const size_t bpp = std::max<size_t>(1, bits / 8);
    u8 *p = d->data.get();
    if (f.predictor == 2) {
        if (f.bpc != 8) return false;  // sub-byte TIFF prediction: compared as encoded
        for (size_t r = 0; r + row <= d->len; r += row)
            for (size_t i = bpp; i < row; ++i) p[r + i] = static_cast<u8>(p[r + i] + p[r + i - bpp]);
        return true;
    }
    if (f.predictor < 10) return false;
    if (row + 1 > d->len) return false;  // not one whole row: compared as encoded
    const size_t rows = d->len / (row + 1);
    std::vector<u8> prev(row, 0);
    size_t out = 0;
    for (size_t r = 0; r < rows; ++r) {
        const u8 tag = p[r * (row + 1)];
        const u8 *in = p + r * (row + 1) + 1;
        u8 *cur = p + out;  // out <= r * (row + 1): writing never overtakes reading
        for (size_t i = 0; i < row; ++i) {
            const int a = i >= bpp ? cur[i - bpp] : 0, b = prev[i], c = i >= bpp ? prev[i - bpp] : 0;
            int x = in[i];
            switch (tag) {
            case 1: x += a; break;
            case 2: x += b; break;
            case 3: x += (a + b) / 2; break;
            case 4: x += paeth(a, b, c); break;
            default: break;
            }
            cur[i] = static_cast<u8>(x);
        }
        std::memcpy(prev.data(), cur, row);
        out += row;
    }
    d->len = out;
    return true;
}

}  // namespace

uint64_t hash_bytes(uint64_t h, const u8 *p, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = hash_mix(h, w);
    }
    uint64_t tail = 0;
    for (size_t k = 0; i + k < n; ++k) tail |= static_cast<uint64_t>(p[i + k]) << (8 * k);
    return hash_mix(hash_mix(h, tail), n);
}

bool same_filters(const ImageDesc &a, const ImageDesc &b) {
    if (a.filters.size() != b.filters.size()) return false;
    for (size_t k = 0; k < a.filters.size(); ++k)
        if (a.filters[k].name != b.filters[k].name || a.filters[k].parms != b.filters[k].parms) return false;
    return true;
}

uint64_t hash_samples(const ImageDesc &d, const u8 *raw, size_t n) {
    const u8 *cur = raw;
    size_t len = raw ? n : 0;
    OwnedBytes held;
    auto encoded = [&]() {
        uint64_t h = hash_mix(kHashSeed, 'E');
        for (const ImageFilter &f : d.filters)
            h = hash_mix(hash_bytes(h, reinterpret_cast<const u8 *>(f.name.data()), f.name.size()), f.parms);
        return hash_bytes(h, raw, raw ? n : 0);
    };
    // As for every stream, data longer than 2^28 bytes is not decoded.
    if (len > kMaxEncodedImage) return encoded();
    for (size_t k = 0; k < d.filters.size(); ++k) {
        const ImageFilter &f = d.filters[k];
        OwnedBytes next;
        if (f.name == "FlateDecode" || f.name == "LZWDecode") {
            const bool ok = f.name[0] == 'F' ? inflate_growing(cur, len, 16 * (len + 64), &next)
                                              : lzw_growing(cur, len, 8 * len + 1024, &next);
            if (!ok || !undo_predictor(f, &next)) return encoded();
        } else if (f.name == "ASCIIHexDecode" || f.name == "ASCII85Decode") {
            ByteBuf tmp;
            (f.name[5] == 'H' ? ascii_hex_decode : ascii85_decode)(cur, len, &tmp);
            if (tmp.oom) return encoded();
            next = owned_from(tmp);
        } else if (f.name == "RunLengthDecode") {
            if (!run_length_decode(cur, len, &next)) return encoded();
        } else {
            // The rest of the chain stands for the samples as it is encoded.
            uint64_t h = hash_mix(kHashSeed, 'O');
            for (size_t i = k; i < d.filters.size(); ++i)
                h = hash_mix(hash_bytes(h, reinterpret_cast<const u8 *>(d.filters[i].name.data()),
                                        d.filters[i].name.size()),
                             d.filters[i].parms);
            return hash_bytes(h, cur, len);
        }
        held = std::move(next);
        cur = held.data.get();
        len = held.len;
    }
    // Bytes behind the last row (padding, a line end before EI) show nothing.
    if (d.w > 0 && d.h > 0 && d.bpc > 0 && d.comps > 0) {
        const uint64_t row = (static_cast<uint64_t>(d.w) * static_cast<uint64_t>(d.comps) * static_cast<uint64_t>(d.bpc) + 7) / 8;
        const uint64_t want = row * static_cast<uint64_t>(d.h);
        if (want < len) len = static_cast<size_t>(want);
    }
    return hash_bytes(hash_mix(kHashSeed, 'P'), cur, len);
}

}  // namespace morvex
