// LZW decoder.  Each table entry keeps its prefix code, its last byte, and
// also its length and first byte, so that a code's string is written
// backwards straight into the output and the capacity is tested once per
// code.
#include "codec/lzw.h"

#include <cstdint>

namespace morvex {

namespace {

constexpr unsigned kClear = 256;
constexpr unsigned kEndOfData = 257;
constexpr unsigned kFirstFree = 258;
constexpr unsigned kTableSize = 4096;
constexpr int kNoCode = -1;

struct Entry {
    uint16_t prefix;  // code of the string without its last byte (codes >= 258)
    uint16_t length;  // bytes in the string
    uint8_t last;
    uint8_t first;
};

struct LzwState {
    Entry table[kTableSize];
    unsigned next_free;
    int width;
    int prev;  // previous code, kNoCode after a clear
    size_t bit_pos;

    void clear() {
        next_free = kFirstFree;
        width = 9;
        prev = kNoCode;
    }
};

// The next `width` bits, most significant first, or kNoCode when the code's
// last bit lies beyond the input.  Reads only bytes inside the input.
int read_code(LzwState &s, const unsigned char *src, size_t src_len) {
    const size_t byte = s.bit_pos / 8;
    const unsigned shift = static_cast<unsigned>(s.bit_pos % 8);
    const size_t last_byte = (s.bit_pos + static_cast<size_t>(s.width) - 1) / 8;
    if (last_byte >= src_len) return kNoCode;
    // A code of at most 12 bits spans at most three bytes.
    uint32_t window = uint32_t{src[byte]} << 16;
    if (byte + 1 <= last_byte) window |= uint32_t{src[byte + 1]} << 8;
    if (byte + 2 <= last_byte) window |= uint32_t{src[byte + 2]};
    s.bit_pos += static_cast<size_t>(s.width);
    return static_cast<int>((window >> (24 - shift - static_cast<unsigned>(s.width))) &
                            ((uint32_t{1} << s.width) - 1));
}

// Writes the string of `code` into out[0, length) by walking its prefixes.
void write_string(const LzwState &s, unsigned code, unsigned char *out) {
    unsigned char *p = out + s.table[code].length;
    for (;;) {
        *--p = s.table[code].last;
        if (code < 256) return;
        code = s.table[code].prefix;
    }
}

}  // namespace

int lzw_decompress(const unsigned char *src, size_t src_len, unsigned char *dst, size_t dst_cap,
                   size_t *out_len) {
    LzwState s;
    for (unsigned b = 0; b < 256; ++b) {
        s.table[b] = Entry{0, 1, static_cast<uint8_t>(b), static_cast<uint8_t>(b)};
    }
    s.clear();
    s.bit_pos = 0;
    size_t count = 0;

    for (;;) {
        const int code = read_code(s, src, src_len);
        if (code == kNoCode || code == static_cast<int>(kEndOfData)) break;
        const auto c = static_cast<unsigned>(code);
        if (c == kClear) {
            s.clear();
            continue;
        }

        size_t length;
        uint8_t first;
        if (c < s.next_free) {
            length = s.table[c].length;
            if (length > dst_cap - count) return -1;
            write_string(s, c, dst + count);
            first = s.table[c].first;
        } else if (c == s.next_free && s.prev != kNoCode) {
            // The code being defined: the previous string followed by its
            // own first byte.
            const Entry &p = s.table[s.prev];
            length = size_t{p.length} + 1;
            if (length > dst_cap - count) return -1;
            write_string(s, static_cast<unsigned>(s.prev), dst + count);
            dst[count + p.length] = p.first;
            first = p.first;
        } else {
            break;  // outside the scheme: keep what was decoded
        }
        count += length;

        if (s.prev != kNoCode && s.next_free < kTableSize) {
            const Entry &p = s.table[s.prev];
            s.table[s.next_free] = Entry{static_cast<uint16_t>(s.prev), static_cast<uint16_t>(p.length + 1),
                                         first, p.first};
            ++s.next_free;
            // One code early: the width grows as the next free code reaches
            // 511, 1023 and 2047 rather than 512, 1024 and 2048.
            s.width = s.next_free >= 2047 ? 12 : s.next_free >= 1023 ? 11 : s.next_free >= 511 ? 10 : 9;
        }
        s.prev = code;
    }

    if (out_len != nullptr) *out_len = count;
    return 0;
}

}  // namespace morvex
