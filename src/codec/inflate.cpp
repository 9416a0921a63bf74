// Deflate decoder, table driven.  Why it is fast:
//  - the bit reader is a 64-bit buffer held in local variables, refilled by
//    one 8-byte load and a shift, with no branch, while the input has room;
//  - a Huffman code is found with one lookup in a main table indexed by the
//    next bits (a second lookup in a subtable for the rare longer codes),
//    not one bit at a time;
//  - a literal/length entry carries the base length and the extra-bit count,
//    a distance entry the base distance and its extra-bit count, so a pair
//    costs two lookups and a few shifts;
//  - while a computed margin of input and output remains, the main loop does
//    no per-byte bounds test: one test per round covers up to three literals
//    or up to two literals and a length/distance pair;
//  - the next code's entry is looked up before a match is copied, so that
//    the load overlaps the copy;
//  - matches copy 8 bytes at a time when the distance allows, and short
//    distances repeat an 8-byte pattern; every copy writes exactly its bytes;
//  - the tables of a dynamic block live on the stack in sizes bounded by a
//    precomputed worst case; the fixed-code tables are built at compile time.
// A slow path with a test before every step decodes the tail of the input
// and of the output, where an input end or a full output can happen, and
// reproduces the exact end-of-input and data-error rules.
//
// The rules that make results exact:
//  - a code that matches nothing reads 15 bits before it fails: the entries
//    that no code reaches are 15 bits long, so a failing decode is an input
//    end when fewer than 15 bits remain, and a data error otherwise;
//  - every other failure of a step is an input end when its bits run past
//    the input, whatever the bits would have meant;
//  - tests follow the order of the format's reading: the input end, then
//    the data errors of what was read, then whether the output fits.
#include "codec/inflate.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace morvex {

namespace {

using inflate_tables::kDistRootBits;
using inflate_tables::kDistTableEntries;
using inflate_tables::kLitRootBits;
using inflate_tables::kLitTableEntries;

constexpr unsigned kMaxBits = 15;         // longest code (RFC 1951 3.2.2)
constexpr unsigned kMaxLitCodes = 286;    // literal/length symbols in a dynamic block
constexpr unsigned kMaxDistCodes = 30;    // distance symbols in a dynamic block
constexpr unsigned kFixedLitCodes = 288;  // the fixed code also assigns 286 and 287
constexpr unsigned kCodeLenCodes = 19;    // symbols of the code-length code
constexpr unsigned kCodeLenBits = 7;      // longest code of the code-length code
constexpr unsigned kMaxMatch = 258;

static_assert(kLitRootBits >= 9, "the fixed literal/length code needs no subtable");
static_assert(kDistRootBits >= 5 && kDistRootBits < kMaxBits, "the fixed distance code needs no subtable");

// A table entry, 32 bits:
//   bits 0-3   length of the code in bits, from its first bit (for an entry
//              that no code reaches: 15, the bits a failing decode reads)
//   bits 4-7   extra bits after the code (lengths 0-5, distances 0-13); in
//              a subtable pointer, the subtable's index bits
//   bits 8-11  kind: literal, end of block, subtable pointer, error
//   bits 16-31 literal byte, base length or distance, code-length symbol,
//              or the subtable's first entry
// An entry without a kind bit is a length, a distance or a code length.
using Entry = uint32_t;
constexpr Entry kLiteral = 0x100;
constexpr Entry kEndOfBlock = 0x200;
constexpr Entry kSubtable = 0x400;
constexpr Entry kError = 0x800;  // no code, or length symbol 286 or 287

constexpr Entry make_entry(unsigned value, Entry kind, unsigned extra, unsigned bits) {
    return Entry{value} << 16 | kind | extra << 4 | bits;
}
constexpr unsigned code_bits(Entry e) { return e & 15; }
constexpr unsigned extra_bits(Entry e) { return (e >> 4) & 15; }
constexpr unsigned entry_value(Entry e) { return e >> 16; }

constexpr Entry kNoCode = make_entry(0, kError, 0, kMaxBits);

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

enum class Alphabet { litlen, distance, codelen };

// The entry of symbol sym of alphabet a, with a code of len bits.
constexpr Entry symbol_entry(Alphabet a, unsigned sym, unsigned len) {
    switch (a) {
        case Alphabet::litlen:
            if (sym < 256) return make_entry(sym, kLiteral, 0, len);
            if (sym == 256) return make_entry(0, kEndOfBlock, 0, len);
            // 286 and 287 have codes in the fixed code but name no length.
            if (sym >= 257 + 29) return make_entry(0, kError, 0, len);
            return make_entry(kLengthBase[sym - 257], 0, kLengthExtra[sym - 257], len);
        case Alphabet::distance:
            return make_entry(kDistBase[sym], 0, kDistExtra[sym], len);
        case Alphabet::codelen:
            break;
    }
    return make_entry(sym, 0, 0, len);
}

// The low n bits of code in reverse order.  Huffman codes are packed from
// their most significant bit (RFC 1951 3.1.1), and a table is indexed by the
// next bits in reading order, the first one in bit 0.
struct ByteReversal {
    uint8_t of[256];
};
constexpr ByteReversal make_byte_reversal() {
    ByteReversal t{};
    for (unsigned b = 0; b < 256; ++b)
        for (unsigned i = 0; i < 8; ++i) t.of[b] |= static_cast<uint8_t>(((b >> i) & 1) << (7 - i));
    return t;
}
constexpr ByteReversal kByteReversal = make_byte_reversal();

// (n <= 16)
constexpr unsigned reverse_bits(unsigned code, unsigned n) {
    const unsigned r16 = unsigned{kByteReversal.of[code & 0xFF]} << 8 | kByteReversal.of[(code >> 8) & 0xFF];
    return r16 >> (16 - n);
}

// Code counts by length and the "left" measure of a code (RFC 1951 3.2.2):
// the number of 15-bit codes left unused, 0 for a complete code, negative
// for an over-subscribed one (reported at the first length that overflows).
struct CodeShape {
    unsigned count[kMaxBits + 1];  // count[0]: symbols without a code
    int left;
};

constexpr CodeShape code_shape(const uint8_t *lengths, unsigned n) {
    CodeShape c{};
    // Four interleaved counts, so that a run of equal lengths does not
    // make each increment wait for the one before.
    unsigned counts[4][kMaxBits + 1] = {};
    unsigned sym = 0;
    for (; sym + 4 <= n; sym += 4) {
        ++counts[0][lengths[sym] & kMaxBits];
        ++counts[1][lengths[sym + 1] & kMaxBits];
        ++counts[2][lengths[sym + 2] & kMaxBits];
        ++counts[3][lengths[sym + 3] & kMaxBits];
    }
    for (; sym < n; ++sym) ++counts[0][lengths[sym] & kMaxBits];
    for (unsigned len = 0; len <= kMaxBits; ++len)
        c.count[len] = counts[0][len] + counts[1][len] + counts[2][len] + counts[3][len];
    if (c.count[0] == n) return c;  // no code at all counts as complete
    c.left = 1;
    for (unsigned len = 1; len <= kMaxBits; ++len) {
        c.left = 2 * c.left - static_cast<int>(c.count[len]);
        if (c.left < 0) break;
    }
    return c;
}

// Fills table with the lookup entries of the canonical code given by the
// lengths of symbols 0 to n-1, whose shape is `shape`: complete, incomplete
// or empty but not over-subscribed.  The main table has 2^root entries; a code longer than
// root bits goes to the subtable of its first root bits, whose index bits
// are the length of that subtable's longest code less root.  Entries that
// no code reaches are kNoCode.  Returns the entries used, or 0 when they
// would pass cap (which the worst-case sizes rule out).
constexpr size_t build_table(Entry *table, size_t cap, unsigned root, const uint8_t *lengths, unsigned n,
                             const CodeShape &shape, Alphabet a) {
    if (root >= kMaxBits || n > kFixedLitCodes) return 0;
    // Symbols sorted by code: shorter codes first, then by symbol value.
    unsigned start[kMaxBits + 2] = {};
    for (unsigned len = 1; len <= kMaxBits; ++len) start[len + 1] = start[len] + shape.count[len];
    uint16_t sorted[kFixedLitCodes] = {};
    {
        unsigned next[kMaxBits + 2] = {};
        for (unsigned len = 1; len <= kMaxBits + 1; ++len) next[len] = start[len];
        for (unsigned sym = 0; sym < n; ++sym)
            if (lengths[sym] != 0) sorted[next[lengths[sym]]++] = static_cast<uint16_t>(sym);
    }
    // First code of each length (RFC 1951 3.2.2, step 2).
    unsigned first[kMaxBits + 1] = {};
    for (unsigned len = 1, code = 0; len <= kMaxBits; ++len) {
        code = (code + (len > 1 ? shape.count[len - 1] : 0)) << 1;
        first[len] = code;
    }

    const size_t main_size = size_t{1} << root;
    if (main_size > cap) return 0;
    // Only a complete code reaches every entry; an empty one reaches none.
    const bool complete = shape.left == 0 && shape.count[0] != n;

    // Codes up to root bits fill every main entry whose index starts with
    // them.  The table grows one bit at a time: the first 2^(len-1) entries
    // are copied once, doubling the table, then each code of len bits takes
    // its one index below 2^len.  That is one block copy per length instead
    // of one store per entry and code.  Indices that no code of up to len
    // bits reaches hold kNoCode, as both indices do at the start.
    table[0] = table[1] = kNoCode;
    for (unsigned len = 1; len <= root; ++len) {
        if (len > 1) std::copy_n(table, size_t{1} << (len - 1), table + (size_t{1} << (len - 1)));
        for (unsigned i = start[len]; i < start[len + 1]; ++i)
            table[reverse_bits(first[len] + (i - start[len]), len)] = symbol_entry(a, sorted[i], len);
    }

    // Longer codes, from the last one back: the codes that share their first
    // root bits are consecutive, so the first one met in a group is its
    // longest and sets the subtable's size.
    size_t used = main_size;
    unsigned group = ~0u;  // first root bits of the current group
    size_t sub = 0;        // its subtable's first entry
    unsigned sub_bits = 0;
    for (unsigned i = start[kMaxBits + 1]; i > start[root + 1]; --i) {
        const unsigned sym_index = i - 1;
        unsigned len = root + 1;
        while (start[len + 1] <= sym_index) ++len;
        const unsigned code = first[len] + (sym_index - start[len]);
        const unsigned top = code >> (len - root);
        if (top != group) {
            group = top;
            sub_bits = len - root;
            sub = used;
            if (cap - used < (size_t{1} << sub_bits)) return 0;
            used += size_t{1} << sub_bits;
            if (!complete)
                for (size_t k = 0; k < (size_t{1} << sub_bits); ++k) table[sub + k] = kNoCode;
            table[reverse_bits(top, root)] = make_entry(static_cast<unsigned>(sub), kSubtable, sub_bits, root);
        }
        const unsigned rest_bits = len - root;
        const Entry e = symbol_entry(a, sorted[sym_index], len);
        for (size_t at = reverse_bits(code, rest_bits); at < (size_t{1} << sub_bits); at += size_t{1} << rest_bits)
            table[sub + at] = e;
    }
    return used;
}

// The fixed codes (RFC 1951 3.2.6): literal/length code lengths 8 for 0-143,
// 9 for 144-255, 7 for 256-279 and 8 for 280-287; distance code length 5 for
// all 30 symbols.  The distance code is incomplete: 5-bit codes 30 and 31
// reach no symbol, so decoding them fails after 15 bits.
struct FixedTables {
    Entry lit[size_t{1} << kLitRootBits];
    Entry dist[size_t{1} << kDistRootBits];
};

constexpr FixedTables make_fixed_tables() {
    FixedTables t{};
    uint8_t lengths[kFixedLitCodes] = {};
    for (unsigned sym = 0; sym < kFixedLitCodes; ++sym)
        lengths[sym] = sym < 144 ? 8 : sym < 256 ? 9 : sym < 280 ? 7 : 8;
    build_table(t.lit, size_t{1} << kLitRootBits, kLitRootBits, lengths, kFixedLitCodes,
                code_shape(lengths, kFixedLitCodes), Alphabet::litlen);
    for (unsigned sym = 0; sym < kMaxDistCodes; ++sym) lengths[sym] = 5;
    build_table(t.dist, size_t{1} << kDistRootBits, kDistRootBits, lengths, kMaxDistCodes,
                code_shape(lengths, kMaxDistCodes), Alphabet::distance);
    return t;
}

constexpr FixedTables kFixed = make_fixed_tables();

// Where decoding stands.  The bit buffer holds bit_count valid bits, the
// next one in bit 0 (data elements are packed from the least significant
// bit of each byte, RFC 1951 3.1.1).  Bits above bit_count are zero or the
// low bits of *in, the next input byte not yet counted, in the place where
// that byte will be added; so adding it again with OR changes nothing.
struct Stream {
    const unsigned char *in;
    const unsigned char *in_end;
    uint64_t bit_buf;
    unsigned bit_count;  // 0 to 63
    unsigned char *out_begin;
    unsigned char *out;
    unsigned char *out_end;
};

// Little-endian 64-bit load of in[0, 8).
inline uint64_t load_le64(const unsigned char *in) {
    uint64_t v;
    std::memcpy(&v, in, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

inline uint64_t low_bits(uint64_t v, unsigned n) { return v & ((uint64_t{1} << n) - 1); }

// Adds whole bytes of in[0, 8), which the caller guarantees, until at least
// 56 bits are buffered (56 to 63 afterwards), with one load and no branch.
// The bits of the next byte that land above bit_count are those that the
// next refill adds again.
inline void refill_word(const unsigned char *&in, uint64_t &bit_buf, unsigned &bit_count) {
    bit_buf |= load_le64(in) << bit_count;
    in += (63 - bit_count) >> 3;
    bit_count |= 56;
}

// Adds whole input bytes until at least 56 bits are buffered or the input
// is used up; bit_count stays at most 63.  Afterwards, fewer than 56 bits
// means that the buffer holds all that is left of the input.
inline void refill_checked(const unsigned char *&in, const unsigned char *in_end, uint64_t &bit_buf,
                           unsigned &bit_count) {
    if (in_end - in >= 8) {
        refill_word(in, bit_buf, bit_count);
        return;
    }
    while (bit_count < 56 && in != in_end) {
        bit_buf |= uint64_t{*in++} << bit_count;
        bit_count += 8;
    }
}

inline void refill_checked(Stream &s) { refill_checked(s.in, s.in_end, s.bit_buf, s.bit_count); }

// Makes n bits (n <= 56) available; false when the input ends first.
inline bool need_bits(Stream &s, unsigned n) {
    if (s.bit_count < n) refill_checked(s);
    return s.bit_count >= n;
}

inline uint32_t take_bits(Stream &s, unsigned n) {
    const auto v = static_cast<uint32_t>(low_bits(s.bit_buf, n));
    s.bit_buf >>= n;
    s.bit_count -= n;
    return v;
}

// The entry for the code at the start of bits, through a subtable when the
// main entry points to one.
inline Entry lookup(const Entry *table, unsigned root, uint64_t bits) {
    Entry e = table[low_bits(bits, root)];
    if (e & kSubtable) e = table[entry_value(e) + low_bits(bits >> root, extra_bits(e))];
    return e;
}

// Copies a match of len bytes (3 to 258) from dist bytes back (1 <= dist
// <= bytes already written), as RFC 1951 3.2.3 defines it: byte by byte
// in effect, so a distance shorter than the length repeats the bytes just
// written.  Writes exactly out[0, len), reads only bytes already final.
inline void copy_match(unsigned char *out, size_t dist, size_t len) {
    unsigned char *const end = out + len;
    if (dist >= 8) {
        // No 8-byte window read overlaps the window being written.
        if (len >= 8) {
            for (; end - out > 8; out += 8) std::memcpy(out, out - dist, 8);
            std::memcpy(end - 8, end - 8 - dist, 8);  // the last 8, overlapping what is written
        } else if (len >= 4) {
            std::memcpy(out, out - dist, 4);
            std::memcpy(end - 4, end - 4 - dist, 4);
        } else {
            std::memcpy(out, out - dist, 2);
            std::memcpy(end - 2, end - 2 - dist, 2);
        }
        return;
    }
    // A period of dist bytes: spread it over 8 bytes, then store those 8
    // bytes at steps of the largest multiple of dist up to 8.
    static constexpr uint8_t kStep[8] = {0, 8, 8, 6, 8, 5, 6, 7};
    unsigned char pattern[8];
    const unsigned char *const from = out - dist;
    for (size_t i = 0; i < 8; ++i) pattern[i] = i < dist ? from[i] : pattern[i - dist];
    const size_t step = kStep[dist];
    for (; end - out >= 8; out += step) std::memcpy(out, pattern, 8);
    for (size_t i = 0; out + i < end; ++i) out[i] = pattern[i];
}

// Output and input margins of the fast loop, tested before each round.  A
// round writes at most two literals and a longest match, or three literals.
// It refills at most twice (three times in the first round), and each
// refill reads 8 bytes and moves at most 7: at most 7 + 7 + 8 bytes.
constexpr ptrdiff_t kFastOutMargin = 2 + kMaxMatch;
constexpr ptrdiff_t kFastInMargin = 24;

// Literals and length/distance pairs up to the end-of-block symbol
// (RFC 1951 3.2.5), with the literal/length table lit and the distance
// table dist.
InflateStatus decode_codes(Stream &s, const Entry *lit, const Entry *dist) {
    const unsigned char *in = s.in;
    const unsigned char *const in_end = s.in_end;
    uint64_t bit_buf = s.bit_buf;
    unsigned bit_count = s.bit_count;
    unsigned char *const out_begin = s.out_begin;
    unsigned char *out = s.out;
    unsigned char *const out_end = s.out_end;

    auto finish = [&](InflateStatus status) {
        s.in = in;
        s.bit_buf = bit_buf;
        s.bit_count = bit_count;
        s.out = out;
        return status;
    };
    auto consume = [&](unsigned n) {
        bit_buf >>= n;
        bit_count -= n;
    };
    // At least 56 bits afterwards, all from the input: the margin keeps the
    // 8-byte load inside it.
    auto refill_fast = [&] { refill_word(in, bit_buf, bit_count); };

    // Fast loop.  After a refill the buffer holds 56 bits, and a pair needs
    // at most 15 + 5 + 15 + 13 = 48, so no input end can happen here, and a
    // code that reaches no symbol always has its 15 bits: it is a data error.
    // A lookup never consumes bits, and a refill leaves the buffered bits as
    // they are, so an entry looked up before a refill stays valid.
    auto room = [&] { return in_end - in >= kFastInMargin && out_end - out >= kFastOutMargin; };
    if (room()) {
        refill_fast();
        // At the top of each round: e is the entry of the next code, the
        // buffer holds at least 56 bits, and the margins hold.
        Entry e = lookup(lit, kLitRootBits, bit_buf);
        for (;;) {
            if (e & kLiteral) {
                // Up to three literals per refill: each takes at most 15 bits.
                consume(code_bits(e));
                *out++ = static_cast<unsigned char>(entry_value(e));
                e = lookup(lit, kLitRootBits, bit_buf);  // 41 bits left at least
                if (e & kLiteral) {
                    consume(code_bits(e));
                    *out++ = static_cast<unsigned char>(entry_value(e));
                    e = lookup(lit, kLitRootBits, bit_buf);  // 26 bits left at least
                    if (e & kLiteral) {
                        consume(code_bits(e));
                        *out++ = static_cast<unsigned char>(entry_value(e));
                        refill_fast();
                        e = lookup(lit, kLitRootBits, bit_buf);
                        if (!room()) break;
                        continue;
                    }
                }
                refill_fast();
            }
            if (e & (kEndOfBlock | kError)) {
                if (e & kError) return finish(InflateStatus::data_error);
                consume(code_bits(e));
                return finish(InflateStatus::ok);
            }
            consume(code_bits(e));
            const size_t len = entry_value(e) + low_bits(bit_buf, extra_bits(e));
            consume(extra_bits(e));
            const Entry d = lookup(dist, kDistRootBits, bit_buf);
            if (d & kError) return finish(InflateStatus::data_error);
            consume(code_bits(d));
            const size_t distance = entry_value(d) + low_bits(bit_buf, extra_bits(d));
            consume(extra_bits(d));
            // A distance may not reach before the start of the output (there
            // is no preset dictionary).
            if (distance > static_cast<size_t>(out - out_begin)) return finish(InflateStatus::data_error);
            // The next code's entry is looked up before the copy, so that the
            // two overlap.
            refill_fast();
            e = lookup(lit, kLitRootBits, bit_buf);
            copy_match(out, distance, len);
            out += len;
            if (!room()) break;
        }
    }

    // Slow loop: every step is checked.  After the refill, either the
    // buffer holds 56 bits, more than one step reads, or it holds all the
    // input there is; so a step whose bits pass bit_count runs past the end
    // of the input.
    for (;;) {
        refill_checked(in, in_end, bit_buf, bit_count);
        // Lookups see the bits past the input as zeros, so that they find
        // the code that the remaining bits start, if any.
        const Entry e = lookup(lit, kLitRootBits, low_bits(bit_buf, bit_count));
        if (code_bits(e) > bit_count) return finish(InflateStatus::input_end);
        if (e & kLiteral) {
            if (out == out_end) return finish(InflateStatus::output_full);
            consume(code_bits(e));
            *out++ = static_cast<unsigned char>(entry_value(e));
            continue;
        }
        if (e & kError) return finish(InflateStatus::data_error);
        consume(code_bits(e));
        if (e & kEndOfBlock) return finish(InflateStatus::ok);
        if (extra_bits(e) > bit_count) return finish(InflateStatus::input_end);
        const size_t len = entry_value(e) + low_bits(bit_buf, extra_bits(e));
        consume(extra_bits(e));

        const Entry d = lookup(dist, kDistRootBits, low_bits(bit_buf, bit_count));
        if (code_bits(d) > bit_count) return finish(InflateStatus::input_end);
        if (d & kError) return finish(InflateStatus::data_error);
        if (code_bits(d) + extra_bits(d) > bit_count) return finish(InflateStatus::input_end);
        consume(code_bits(d));
        const size_t distance = entry_value(d) + low_bits(bit_buf, extra_bits(d));
        consume(extra_bits(d));
        if (distance > static_cast<size_t>(out - out_begin)) return finish(InflateStatus::data_error);
        if (len > static_cast<size_t>(out_end - out)) return finish(InflateStatus::output_full);
        copy_match(out, distance, len);
        out += len;
    }
}

// Stored block (RFC 1951 3.2.4): from the next byte boundary, LEN and NLEN
// (two bytes each, low byte first, NLEN the one's complement of LEN), then
// LEN bytes of literal data.
InflateStatus stored_block(Stream &s) {
    // Whole bytes in the buffer go back to the input; the bits left of the
    // current byte are dropped.
    s.in -= s.bit_count / 8;
    s.bit_buf = 0;
    s.bit_count = 0;
    if (s.in_end - s.in < 4) return InflateStatus::input_end;
    const unsigned len = s.in[0] | (unsigned{s.in[1]} << 8);
    if (s.in[2] != (~len & 0xFF) || s.in[3] != ((~len >> 8) & 0xFF)) return InflateStatus::data_error;
    s.in += 4;
    if (static_cast<size_t>(s.in_end - s.in) < len) return InflateStatus::input_end;
    if (static_cast<size_t>(s.out_end - s.out) < len) return InflateStatus::output_full;
    if (len != 0) std::memcpy(s.out, s.in, len);
    s.in += len;
    s.out += len;
    return InflateStatus::ok;
}

// A code built from lengths is usable when it is complete, has no symbol at
// all, or is a single one-bit code (RFC 1951 allows one distance code of one
// bit; the same is accepted for the literal/length code).
bool usable(const CodeShape &c, unsigned n) {
    if (c.left == 0) return true;
    return c.left > 0 && n == c.count[0] + c.count[1];
}

// Dynamic block (RFC 1951 3.2.7): HLIT, HDIST, HCLEN, the code-length code,
// the run-length coded code lengths of both codes, then the data.
InflateStatus dynamic_block(Stream &s) {
    static constexpr uint8_t kOrder[kCodeLenCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

    if (!need_bits(s, 14)) return InflateStatus::input_end;
    const unsigned nlen = take_bits(s, 5) + 257;
    const unsigned ndist = take_bits(s, 5) + 1;
    const unsigned ncode = take_bits(s, 4) + 4;
    if (nlen > kMaxLitCodes || ndist > kMaxDistCodes) return InflateStatus::data_error;

    // The code-length code must be complete (or have no code at all, and
    // then its first decode fails).
    uint8_t lengths[kMaxLitCodes + kMaxDistCodes] = {};
    for (unsigned i = 0; i < ncode; ++i) {
        if (!need_bits(s, 3)) return InflateStatus::input_end;
        lengths[kOrder[i]] = static_cast<uint8_t>(take_bits(s, 3));
    }
    const CodeShape codelen_shape = code_shape(lengths, kCodeLenCodes);
    if (codelen_shape.left != 0) return InflateStatus::data_error;
    Entry codelen_table[size_t{1} << kCodeLenBits];
    build_table(codelen_table, size_t{1} << kCodeLenBits, kCodeLenBits, lengths, kCodeLenCodes, codelen_shape,
                Alphabet::codelen);

    // Code lengths 0-15 are literal; 16 repeats the previous length 3-6
    // times, 17 gives 3-10 zeros, 18 gives 11-138 zeros.  Repeats may run
    // from the literal/length lengths into the distance lengths, but not past
    // their end.
    const unsigned total = nlen + ndist;
    unsigned index = 0;
    while (index < total) {
        refill_checked(s);
        const Entry e = codelen_table[low_bits(low_bits(s.bit_buf, s.bit_count), kCodeLenBits)];
        if (code_bits(e) > s.bit_count) return InflateStatus::input_end;
        if (e & kError) return InflateStatus::data_error;
        take_bits(s, code_bits(e));
        const unsigned symbol = entry_value(e);
        if (symbol < 16) {
            lengths[index++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t len = 0;
        unsigned repeat;
        if (symbol == 16) {
            if (index == 0) return InflateStatus::data_error;  // no previous length
            len = lengths[index - 1];
            if (!need_bits(s, 2)) return InflateStatus::input_end;
            repeat = 3 + take_bits(s, 2);
        } else if (symbol == 17) {
            if (!need_bits(s, 3)) return InflateStatus::input_end;
            repeat = 3 + take_bits(s, 3);
        } else {
            if (!need_bits(s, 7)) return InflateStatus::input_end;
            repeat = 11 + take_bits(s, 7);
        }
        if (repeat > total - index) return InflateStatus::data_error;
        while (repeat-- > 0) lengths[index++] = len;
    }

    // Without a code for end-of-block the block could never end.
    if (lengths[256] == 0) return InflateStatus::data_error;
    const CodeShape lit_shape = code_shape(lengths, nlen);
    if (!usable(lit_shape, nlen)) return InflateStatus::data_error;
    const CodeShape dist_shape = code_shape(lengths + nlen, ndist);
    if (!usable(dist_shape, ndist)) return InflateStatus::data_error;

    Entry lit_table[kLitTableEntries];
    Entry dist_table[kDistTableEntries];
    // The sizes are worst cases: a table never reaches its limit.
    if (build_table(lit_table, kLitTableEntries, kLitRootBits, lengths, nlen, lit_shape, Alphabet::litlen) == 0 ||
        build_table(dist_table, kDistTableEntries, kDistRootBits, lengths + nlen, ndist, dist_shape,
                    Alphabet::distance) == 0)
        return InflateStatus::data_error;
    return decode_codes(s, lit_table, dist_table);
}

}  // namespace

int inflate_decompress_status(const unsigned char *in, size_t in_len, unsigned char *out,
                              size_t out_cap, size_t *out_len, InflateStatus *status) {
    InflateStatus result = InflateStatus::ok;
    size_t produced = 0;
    if (in_len < 2) {
        result = InflateStatus::input_end;
    } else if (out_cap > kInflateMaxOutput) {
        result = InflateStatus::bad_capacity;
    } else if ((in[0] & 0x0F) != 8 || (in[1] & 0x20) != 0) {
        // RFC 1950 2.2: CM must be 8 (Deflate); FDICT asks for a preset
        // dictionary, which no caller can supply.
        result = InflateStatus::bad_header;
    } else {
        Stream s{in + 2, in + in_len, 0, 0, out, out, out + out_cap};
        // Block header (RFC 1951 3.2.3): BFINAL, then BTYPE.  A data error
        // ends decoding; later blocks are not looked at.
        bool last;
        do {
            if (!need_bits(s, 3)) {
                result = InflateStatus::input_end;
                break;
            }
            last = take_bits(s, 1) != 0;
            const uint32_t type = take_bits(s, 2);
            result = type == 0   ? stored_block(s)
                     : type == 1 ? decode_codes(s, kFixed.lit, kFixed.dist)
                     : type == 2 ? dynamic_block(s)
                                 : InflateStatus::data_error;  // type 3 is reserved
        } while (result == InflateStatus::ok && !last);
        produced = static_cast<size_t>(s.out - s.out_begin);
    }

    if (status != nullptr) *status = result;
    const bool success = result == InflateStatus::ok || result == InflateStatus::data_error;
    if (out_len != nullptr) *out_len = success ? produced : 0;
    return success ? 0 : -1;
}

int inflate_decompress(const unsigned char *in, size_t in_len, unsigned char *out, size_t out_cap,
                       size_t *out_len) {
    return inflate_decompress_status(in, in_len, out, out_cap, out_len, nullptr);
}

}  // namespace morvex
