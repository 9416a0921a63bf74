// The reference Deflate decoder: the library's decoder as it was before the
// table-driven rewrite, kept unchanged in behaviour as the oracle that the
// differential tests and fuzz_inflate compare the library's decoder with.
// Built into the unit tests and the fuzz target only, never into the library.
//
// A canonical-Huffman decoder that reads codes one bit at a time from the
// code counts, with no lookup tables.
//
// Every input byte passes through take(), the only place where the input
// bound is tested.  When the input runs out, take() raises the state's
// input_end flag; readers then return zeros, and every step tests the flag
// before it acts on a value read since its last test, so decoding unwinds
// with InflateStatus::input_end from however deep it is.
#include "oracle/inflate_reference.h"

#include <cstdint>
#include <cstring>

namespace morvex_ref {

using morvex::InflateStatus;
using morvex::kInflateMaxOutput;

namespace {

constexpr int kMaxBits = 15;         // longest code (RFC 1951 3.2.2)
constexpr int kMaxLitCodes = 286;    // literal/length symbols in a dynamic block
constexpr int kMaxDistCodes = 30;    // distance symbols in a dynamic block
constexpr int kFixedLitCodes = 288;  // the fixed code also assigns 286 and 287

// A canonical Huffman code: count[len] symbols have a code of len bits
// (count[0]: symbols without a code), and symbol[] lists the coded symbols
// by code, shorter codes first, equal lengths by increasing symbol value.
struct Huffman {
    int16_t *count;
    int16_t *symbol;
};

struct InflateState {
    unsigned char *out;
    size_t out_cap;
    size_t out_count;
    const unsigned char *in;  // the input after the two header bytes
    size_t in_len;
    size_t in_count;
    uint32_t bit_buf;  // bits not yet used, the next one in bit 0
    int bit_count;     // valid bits in bit_buf, 0 to 7 between reads
    bool input_end;    // a read found the input exhausted
};

// Consumes and returns the next n input bytes, or returns null and raises
// input_end when fewer than n remain.
const unsigned char *take(InflateState &s, size_t n) {
    if (s.in_len - s.in_count < n) {
        s.input_end = true;
        return nullptr;
    }
    const unsigned char *p = s.in + s.in_count;
    s.in_count += n;
    return p;
}

// The next n bits (n <= 13), the first one read in bit 0: data elements are
// packed starting with the least significant bit of each byte (RFC 1951
// 3.1.1).  Bytes are loaded only when needed, so at most 7 bits are ever
// buffered past the value returned.
uint32_t bits(InflateState &s, int n) {
    uint32_t val = s.bit_buf;
    while (s.bit_count < n) {
        const unsigned char *p = take(s, 1);
        if (p == nullptr) return 0;
        val |= uint32_t{*p} << s.bit_count;
        s.bit_count += 8;
    }
    s.bit_buf = val >> n;
    s.bit_count -= n;
    return val & ((uint32_t{1} << n) - 1);
}

// The next symbol of h, or -1 when no code of up to 15 bits matches (then 15
// bits have been read).  Huffman codes are packed starting with their most
// significant bit (RFC 1951 3.1.1).  The codes of one length are consecutive
// integers, and `first` is the first code of the current length: a code
// below first + count[len] is complete.
int decode(InflateState &s, const Huffman &h) {
    int code = 0;
    int first = 0;
    int index = 0;  // position in symbol[] of the first code of this length
    for (int len = 1; len <= kMaxBits; ++len) {
        code |= static_cast<int>(bits(s, 1));
        const int count = h.count[len];
        if (code - count < first) return h.symbol[index + (code - first)];
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    return -1;
}

// Fills h from the code lengths of symbols 0 to n-1 (RFC 1951 3.2.2).
// Returns 0 for a complete code (or one without any symbol), the number of
// unused 15-bit codes for an incomplete code, and a negative value for an
// over-subscribed code.
int construct(Huffman &h, const int16_t *length, int n) {
    for (int len = 0; len <= kMaxBits; ++len) h.count[len] = 0;
    for (int sym = 0; sym < n; ++sym) ++h.count[length[sym]];
    if (h.count[0] == n) return 0;

    int left = 1;  // codes of the current length not yet used
    for (int len = 1; len <= kMaxBits; ++len) {
        left = 2 * left - h.count[len];
        if (left < 0) return left;
    }

    int16_t offset[kMaxBits + 1];
    offset[1] = 0;
    for (int len = 1; len < kMaxBits; ++len) offset[len + 1] = static_cast<int16_t>(offset[len] + h.count[len]);
    for (int sym = 0; sym < n; ++sym)
        if (length[sym] != 0) h.symbol[offset[length[sym]]++] = static_cast<int16_t>(sym);
    return left;
}

// Base lengths and extra bits of length symbols 257 to 285, base distances
// and extra bits of distance symbols 0 to 29 (RFC 1951 3.2.5).
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                    33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Literals and length/distance pairs up to the end-of-block symbol.
InflateStatus codes(InflateState &s, const Huffman &lencode, const Huffman &distcode) {
    for (;;) {
        int symbol = decode(s, lencode);
        if (s.input_end) return InflateStatus::input_end;
        if (symbol < 0) return InflateStatus::data_error;  // not a code of the table
        if (symbol < 256) {
            if (s.out_count == s.out_cap) return InflateStatus::output_full;
            s.out[s.out_count++] = static_cast<unsigned char>(symbol);
        } else if (symbol == 256) {
            return InflateStatus::ok;
        } else {
            symbol -= 257;
            if (symbol >= 29) return InflateStatus::data_error;  // 286 and 287 are not lengths
            const size_t len = kLengthBase[symbol] + bits(s, kLengthExtra[symbol]);
            const int dsym = decode(s, distcode);
            if (s.input_end) return InflateStatus::input_end;
            if (dsym < 0) return InflateStatus::data_error;
            const size_t dist = kDistBase[dsym] + bits(s, kDistExtra[dsym]);
            if (s.input_end) return InflateStatus::input_end;
            // A distance refers back into the output; it may not reach before
            // its start (there is no preset dictionary).
            if (dist > s.out_count) return InflateStatus::data_error;
            if (len > s.out_cap - s.out_count) return InflateStatus::output_full;
            unsigned char *to = s.out + s.out_count;
            const unsigned char *from = to - dist;
            if (dist >= len) {
                std::memcpy(to, from, len);
            } else {
                // The copy overlaps what it writes: a distance shorter than
                // the length repeats the bytes just written.
                for (size_t i = 0; i < len; ++i) to[i] = from[i];
            }
            s.out_count += len;
        }
    }
}

// Stored block (RFC 1951 3.2.4): from the next byte boundary, LEN and NLEN
// (two bytes each, low byte first, NLEN the one's complement of LEN), then
// LEN bytes of literal data.
InflateStatus stored(InflateState &s) {
    s.bit_buf = 0;
    s.bit_count = 0;
    const unsigned char *head = take(s, 4);
    if (head == nullptr) return InflateStatus::input_end;
    const unsigned len = head[0] | (unsigned{head[1]} << 8);
    if (head[2] != (~len & 0xFF) || head[3] != ((~len >> 8) & 0xFF)) return InflateStatus::data_error;
    const unsigned char *data = take(s, len);
    if (data == nullptr) return InflateStatus::input_end;
    if (len > s.out_cap - s.out_count) return InflateStatus::output_full;
    if (len != 0) std::memcpy(s.out + s.out_count, data, len);
    s.out_count += len;
    return InflateStatus::ok;
}

// The fixed codes (RFC 1951 3.2.6): literal/length code lengths 8 for 0-143,
// 9 for 144-255, 7 for 256-279 and 8 for 280-287; distance code length 5
// for all 30 symbols.  The distance code is incomplete (5-bit codes 30 and
// 31 have no symbol) and the construction results are not needed.
struct FixedCodes {
    int16_t lencnt[kMaxBits + 1];
    int16_t lensym[kFixedLitCodes];
    int16_t distcnt[kMaxBits + 1];
    int16_t distsym[kMaxDistCodes];
    Huffman lencode;
    Huffman distcode;

    FixedCodes() : lencode{lencnt, lensym}, distcode{distcnt, distsym} {
        int16_t lengths[kFixedLitCodes];
        int sym = 0;
        for (; sym < 144; ++sym) lengths[sym] = 8;
        for (; sym < 256; ++sym) lengths[sym] = 9;
        for (; sym < 280; ++sym) lengths[sym] = 7;
        for (; sym < kFixedLitCodes; ++sym) lengths[sym] = 8;
        construct(lencode, lengths, kFixedLitCodes);
        for (sym = 0; sym < kMaxDistCodes; ++sym) lengths[sym] = 5;
        construct(distcode, lengths, kMaxDistCodes);
    }
};

InflateStatus fixed(InflateState &s) {
    static const FixedCodes tables;  // built on the first fixed block
    return codes(s, tables.lencode, tables.distcode);
}

// A code built from lengths is usable when it is complete, has no symbol at
// all, or is a single one-bit code (RFC 1951 allows one distance code of one
// bit; the same is accepted for the literal/length code).
bool usable(int construct_result, const Huffman &h, int n) {
    if (construct_result == 0) return true;
    return construct_result > 0 && n == h.count[0] + h.count[1];
}

// Dynamic block (RFC 1951 3.2.7): HLIT, HDIST, HCLEN, the code-length code,
// the run-length coded code lengths of both codes, then the data.
InflateStatus dynamic(InflateState &s) {
    static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    int16_t lengths[kMaxLitCodes + kMaxDistCodes];
    int16_t lencnt[kMaxBits + 1], lensym[kMaxLitCodes];
    int16_t distcnt[kMaxBits + 1], distsym[kMaxDistCodes];
    Huffman lencode{lencnt, lensym};
    Huffman distcode{distcnt, distsym};

    const int nlen = static_cast<int>(bits(s, 5)) + 257;
    const int ndist = static_cast<int>(bits(s, 5)) + 1;
    const int ncode = static_cast<int>(bits(s, 4)) + 4;
    if (s.input_end) return InflateStatus::input_end;
    if (nlen > kMaxLitCodes || ndist > kMaxDistCodes) return InflateStatus::data_error;

    // The code-length code, built in the literal/length table's arrays.
    int index = 0;
    for (; index < ncode; ++index) lengths[kOrder[index]] = static_cast<int16_t>(bits(s, 3));
    if (s.input_end) return InflateStatus::input_end;
    for (; index < 19; ++index) lengths[kOrder[index]] = 0;
    if (construct(lencode, lengths, 19) != 0) return InflateStatus::data_error;

    // Code lengths 0-15 are literal; 16 repeats the previous length 3-6
    // times, 17 gives 3-10 zeros, 18 gives 11-138 zeros.  Repeats may run
    // from the literal/length lengths into the distance lengths, but not past
    // their end.
    index = 0;
    while (index < nlen + ndist) {
        int symbol = decode(s, lencode);
        if (s.input_end) return InflateStatus::input_end;
        if (symbol < 0) return InflateStatus::data_error;
        if (symbol < 16) {
            lengths[index++] = static_cast<int16_t>(symbol);
            continue;
        }
        int16_t len = 0;
        int repeat;
        if (symbol == 16) {
            if (index == 0) return InflateStatus::data_error;  // no previous length
            len = lengths[index - 1];
            repeat = 3 + static_cast<int>(bits(s, 2));
        } else if (symbol == 17) {
            repeat = 3 + static_cast<int>(bits(s, 3));
        } else {
            repeat = 11 + static_cast<int>(bits(s, 7));
        }
        if (s.input_end) return InflateStatus::input_end;
        if (index + repeat > nlen + ndist) return InflateStatus::data_error;
        while (repeat-- > 0) lengths[index++] = len;
    }

    // Without a code for end-of-block the block could never end.
    if (lengths[256] == 0) return InflateStatus::data_error;
    if (!usable(construct(lencode, lengths, nlen), lencode, nlen)) return InflateStatus::data_error;
    if (!usable(construct(distcode, lengths + nlen, ndist), distcode, ndist))
        return InflateStatus::data_error;
    return codes(s, lencode, distcode);
}

}  // namespace

int inflate_decompress_status(const unsigned char *in, size_t in_len, unsigned char *out,
                              size_t out_cap, size_t *out_len, InflateStatus *status) {
    InflateStatus result = InflateStatus::ok;
    InflateState s{};
    if (in_len < 2) {
        result = InflateStatus::input_end;
    } else if (out_cap > kInflateMaxOutput) {
        result = InflateStatus::bad_capacity;
    } else if ((in[0] & 0x0F) != 8 || (in[1] & 0x20) != 0) {
        // RFC 1950 2.2: CM must be 8 (Deflate); FDICT asks for a preset
        // dictionary, which no caller can supply.
        result = InflateStatus::bad_header;
    } else {
        s.out = out;
        s.out_cap = out_cap;
        s.in = in + 2;
        s.in_len = in_len - 2;
        // Block header (RFC 1951 3.2.3): BFINAL, then BTYPE.  A data error
        // ends decoding; later blocks are not looked at.
        bool last;
        do {
            last = bits(s, 1) != 0;
            const uint32_t type = bits(s, 2);
            if (s.input_end) {
                result = InflateStatus::input_end;
                break;
            }
            result = type == 0   ? stored(s)
                     : type == 1 ? fixed(s)
                     : type == 2 ? dynamic(s)
                                 : InflateStatus::data_error;  // type 3 is reserved
        } while (result == InflateStatus::ok && !last);
    }

    if (status != nullptr) *status = result;
    const bool success = result == InflateStatus::ok || result == InflateStatus::data_error;
    if (out_len != nullptr) *out_len = success ? s.out_count : 0;
    return success ? 0 : -1;
}

int inflate_decompress(const unsigned char *in, size_t in_len, unsigned char *out, size_t out_cap,
                       size_t *out_len) {
    return inflate_decompress_status(in, in_len, out, out_cap, out_len, nullptr);
}

}  // namespace morvex_ref
