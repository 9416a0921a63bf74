// Deflate decoder: differential against zlib on many inputs, hand-built bit
// streams for the rules that zlib's output cannot show, and a differential
// against the reference decoder (tests/oracle) on every observable.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "codec/inflate.h"
#include "oracle/inflate_reference.h"

using namespace morvex;

namespace {

using Bytes = std::vector<uint8_t>;

struct Result {
    int rc;
    size_t len;
    InflateStatus status;
    std::string out;
};

Result run(const Bytes &in, size_t cap) {
    std::vector<unsigned char> out(cap + 1);
    Result r{};
    r.len = 12345;
    r.rc = inflate_decompress_status(in.data(), in.size(), out.data(), cap, &r.len, &r.status);
    if (r.rc == 0) r.out.assign(reinterpret_cast<const char *>(out.data()), r.len);
    return r;
}

Bytes zcompress(const std::string &data, int level, int strategy, int window_bits = 15, int mem_level = 8) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, window_bits, mem_level, strategy), Z_OK);
    Bytes out(deflateBound(&z, data.size()));
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// zlib's raw inflate over the blocks after the 2-byte header, collecting up
// to `limit` bytes.  Returns Z_STREAM_END, Z_DATA_ERROR, or Z_BUF_ERROR when
// the input ended first.
int zlib_raw(const Bytes &in, std::string *out, size_t limit) {
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef *>(in.data() + 2);
    z.avail_in = static_cast<uInt>(in.size() - 2);
    unsigned char chunk[65536];
    int ret;
    do {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        ret = inflate(&z, Z_NO_FLUSH);
        out->append(reinterpret_cast<const char *>(chunk), sizeof chunk - z.avail_out);
    } while (ret == Z_OK && out->size() <= limit);
    inflateEnd(&z);
    return ret == Z_STREAM_END || ret == Z_DATA_ERROR ? ret : Z_BUF_ERROR;
}

std::string random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char &c : s) c = static_cast<char>(rng());
    return s;
}

// Text in the shape of a page content stream: text objects and paths.
std::string content_stream(size_t n, uint32_t seed) {
    static const char *const words[] = {"the", "quarterly", "report", "shows", "revenue", "of",
                                        "Total", "page", "2024", "and", "(continued)", "net"};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) {
        const unsigned kind = rng() % 4;
        if (kind < 2) {
            s += "BT /F" + std::to_string(1 + rng() % 3) + " 12 Tf " + std::to_string(72 + rng() % 400) +
                 " " + std::to_string(rng() % 760) + " Td (";
            for (unsigned w = 0, nw = 1 + rng() % 9; w < nw; ++w) s += std::string(w ? " " : "") + words[rng() % 12];
            s += ") Tj ET\n";
        } else if (kind == 2) {
            s += std::to_string(rng() % 600) + "." + std::to_string(rng() % 100) + " " + std::to_string(rng() % 800) +
                 " m " + std::to_string(rng() % 600) + " " + std::to_string(rng() % 800) + " l S\n";
        } else {
            s += "q 1 0 0 1 " + std::to_string(rng() % 500) + " " + std::to_string(rng() % 700) + " cm 0 0 100 50 re f Q\n";
        }
    }
    s.resize(n);
    return s;
}

std::string samples_text() {
    std::string s;
    for (int i = 0; i < 2000; ++i) s += "Line " + std::to_string(i * 7919 % 1000) + ": lorem ipsum dolor sit amet.\n";
    return s;
}

struct Sample {
    const char *name;
    std::string data;
};

std::vector<Sample> samples() {
    std::string runs;
    for (int i = 0; i < 40; ++i) runs += std::string(1 + (i * 977) % 3000, static_cast<char>('a' + i % 3));
    return {
        {"empty", ""},
        {"one_byte", "x"},
        {"text", samples_text()},
        {"content", content_stream(150000, 1)},
        {"random", random_bytes(70000, 2)},
        {"runs", runs},
        {"mixed", content_stream(30000, 3) + random_bytes(20000, 4) + std::string(70000, '\0')},
    };
}

constexpr int kStrategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};

// Bit writer for hand-built streams: header 78 9C, then fields packed from
// the least significant bit, Huffman codes from their most significant bit.
struct BitWriter {
    Bytes bytes;
    uint32_t acc = 0;
    int n = 0;

    BitWriter() : bytes(2, 0x78) { bytes[1] = 0x9C; }

    BitWriter &put(uint32_t value, int count) {
        for (int i = 0; i < count; ++i) bit(i < 32 ? (value >> i) & 1 : 0);
        return *this;
    }
    BitWriter &code(uint32_t value, int len) {
        for (int i = len - 1; i >= 0; --i) bit((value >> i) & 1);
        return *this;
    }
    // Fixed literal/length code (symbols 0-287) and fixed distance code.
    BitWriter &lit(unsigned sym) {
        if (sym < 144) return code(0x30 + sym, 8);
        if (sym < 256) return code(0x190 + sym - 144, 9);
        if (sym < 280) return code(sym - 256, 7);
        return code(0xC0 + sym - 280, 8);
    }
    BitWriter &dist(unsigned sym) { return code(sym, 5); }
    BitWriter &stored(bool last, const std::string &data, uint16_t nlen_xor = 0xFFFF) {
        put(last, 1).put(0, 2);
        while (n != 0) bit(0);
        const auto len = static_cast<uint16_t>(data.size());
        const auto nlen = static_cast<uint16_t>(len ^ nlen_xor);
        bytes.insert(bytes.end(), {uint8_t(len), uint8_t(len >> 8), uint8_t(nlen), uint8_t(nlen >> 8)});
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
    Bytes done() {
        Bytes b = bytes;
        if (n != 0) b.push_back(static_cast<uint8_t>(acc));
        return b;
    }

  private:
    void bit(uint32_t b) {
        acc |= b << n;
        if (++n == 8) {
            bytes.push_back(static_cast<uint8_t>(acc));
            acc = 0;
            n = 0;
        }
    }
};

// A dynamic block header (all 19 code-length codes sent) whose code-length
// code is complete with symbols 0-12 at 4 bits and 13-18 at 5 bits, so that
// any code length can be written; then the code lengths themselves.
struct Dynamic {
    BitWriter w;

    Dynamic(int hlit, int hdist) {
        static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        w.put(1, 1).put(2, 2).put(hlit - 257, 5).put(hdist - 1, 5).put(19 - 4, 4);
        for (int i = 0; i < 19; ++i) w.put(order[i] < 13 ? 4 : 5, 3);
    }
    // A code-length symbol: canonical codes 0000-1100, then 11010-11111.
    Dynamic &sym(int s) {
        if (s < 13) w.code(static_cast<uint32_t>(s), 4);
        else w.code(static_cast<uint32_t>(26 + s - 13), 5);
        return *this;
    }
    // Zero lengths for `count` symbols (at least 11) with symbol 18.
    Dynamic &zeros(int count) {
        while (count > 0) {
            const int k = count > 138 ? 138 : count;
            sym(18).w.put(static_cast<uint32_t>(k - 11), 7);
            count -= k;
        }
        return *this;
    }
};

}  // namespace

TEST(Inflate, DecodesWhatZlibCompressesAtEveryLevelAndStrategy) {
    for (const Sample &s : samples()) {
        for (int level = 0; level <= 9; ++level) {
            for (int strategy : kStrategies) {
                const Bytes z = zcompress(s.data, level, strategy);
                const std::string where = std::string(s.name) + " level " + std::to_string(level) +
                                          " strategy " + std::to_string(strategy);
                // Exactly the size fits; the trailer is never read.
                Result r = run(z, s.data.size());
                ASSERT_EQ(r.rc, 0) << where;
                ASSERT_EQ(r.status, InflateStatus::ok) << where;
                ASSERT_TRUE(r.out == s.data) << where;
                const Bytes no_trailer(z.begin(), z.end() - 4);
                ASSERT_EQ(run(no_trailer, s.data.size()).status, InflateStatus::ok) << where;
                if (!s.data.empty()) {
                    r = run(z, s.data.size() - 1);
                    ASSERT_EQ(r.rc, -1) << where;
                    ASSERT_EQ(r.len, 0u) << where;
                    ASSERT_EQ(r.status, InflateStatus::output_full) << where;
                }
            }
        }
    }
}

TEST(Inflate, LargeStreamsAndSmallWindows) {
    const std::string big = content_stream(5 << 20, 7);
    for (int level : {0, 1, 6, 9}) {
        const Result r = run(zcompress(big, level, Z_DEFAULT_STRATEGY), big.size());
        ASSERT_EQ(r.status, InflateStatus::ok) << level;
        ASSERT_TRUE(r.out == big) << level;
    }
    // The window size in the header is not examined.
    const std::string text = samples_text();
    for (int wbits = 9; wbits <= 15; ++wbits) {
        const Result r = run(zcompress(text, 9, Z_DEFAULT_STRATEGY, wbits), text.size());
        ASSERT_TRUE(r.rc == 0 && r.out == text) << wbits;
    }
}

TEST(Inflate, EveryCutBeforeTheEndOfTheFinalBlockFails) {
    const std::string data = content_stream(3000, 11);
    for (int strategy : kStrategies) {
        for (int level : {0, 6}) {
            const Bytes z = zcompress(data, level, strategy);
            const size_t end = z.size() - 4;  // deflate pads its final block to a byte
            for (size_t cut = 0; cut <= z.size(); ++cut) {
                const Result r = run(Bytes(z.begin(), z.begin() + static_cast<long>(cut)), data.size());
                if (cut < end) {
                    ASSERT_EQ(r.rc, -1) << cut;
                    ASSERT_EQ(r.len, 0u) << cut;
                    ASSERT_EQ(r.status, InflateStatus::input_end) << cut;
                } else {
                    ASSERT_TRUE(r.rc == 0 && r.out == data) << cut;
                }
            }
        }
    }
}

// Corrupted streams follow zlib: where zlib decodes completely, so do we;
// where it finds a data error, we keep the same bytes (or report the input
// end: a failing code reads 15 bits, where zlib stops at the first bit that
// no code can start with); where zlib runs out of input, so do we (or find
// a data error that zlib tests only after the repeat count's bits).
TEST(Inflate, CorruptStreamsFollowZlib) {
    std::mt19937 rng(99);
    int by_status[6] = {};
    for (const Sample &s : samples()) {
        if (s.data.size() < 2) continue;
        for (int strategy : kStrategies) {
            const Bytes z = zcompress(s.data.substr(0, 20000), 6, strategy);
            for (int round = 0; round < 200; ++round) {
                Bytes bad = z;
                for (unsigned flips = 1 + rng() % 3; flips > 0; --flips)
                    bad[2 + rng() % (bad.size() - 2)] ^= static_cast<uint8_t>(1 + rng() % 255);
                if (round % 4 == 0) bad.resize(2 + rng() % (bad.size() - 2));
                std::string want;
                const int zret = zlib_raw(bad, &want, 1 << 24);
                if (want.size() > (1 << 24)) continue;
                const Result r = run(bad, want.size() + 1);
                ++by_status[static_cast<int>(r.status)];
                const bool prefix = r.rc == 0 && r.out == want;
                if (zret == Z_STREAM_END) {
                    ASSERT_TRUE(prefix && r.status == InflateStatus::ok) << s.name << " " << round;
                } else if (zret == Z_DATA_ERROR) {
                    ASSERT_TRUE((prefix && r.status == InflateStatus::data_error) ||
                                r.status == InflateStatus::input_end)
                        << s.name << " " << round;
                } else {
                    ASSERT_TRUE(r.status == InflateStatus::input_end ||
                                (prefix && r.status == InflateStatus::data_error))
                        << s.name << " " << round;
                }
                if (r.rc != 0) {
                    ASSERT_EQ(r.len, 0u);
                }
            }
        }
    }
    EXPECT_GT(by_status[static_cast<int>(InflateStatus::ok)], 20);
    EXPECT_GT(by_status[static_cast<int>(InflateStatus::data_error)], 1000);
    EXPECT_GT(by_status[static_cast<int>(InflateStatus::input_end)], 500);
}

TEST(Inflate, EntryChecks) {
    struct Case {
        Bytes in;
        size_t cap;
        int rc;
        InflateStatus status;
    } cases[] = {
        {{0x78, 0x9C, 0x03, 0x00}, 16, 0, InflateStatus::ok},  // empty fixed block, no trailer
        {{0x08, 0x00, 0x03, 0x00}, 16, 0, InflateStatus::ok},  // not a multiple of 31: accepted
        {{0x78, 0x9C}, 16, -1, InflateStatus::input_end},
        {{0x78}, 16, -1, InflateStatus::input_end},
        {{}, 16, -1, InflateStatus::input_end},
        {{0x79, 0x9C, 0x03, 0x00}, 16, -1, InflateStatus::bad_header},
        {{0x78, 0xBB, 0x03, 0x00}, 16, -1, InflateStatus::bad_header},  // FDICT
        {{0x78, 0x9C, 0x03, 0x00}, kInflateMaxOutput, 0, InflateStatus::ok},
        {{0x78, 0x9C, 0x03, 0x00}, kInflateMaxOutput + 1, -1, InflateStatus::bad_capacity},
        {{0x78, 0x9C, 0x07}, 16, 0, InflateStatus::data_error},  // final block of type 3
    };
    for (const Case &c : cases) {
        unsigned char out[16];
        size_t len = 99;
        InflateStatus status{};
        EXPECT_EQ(inflate_decompress_status(c.in.data(), c.in.size(), out, c.cap, &len, &status), c.rc);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(len, 0u);
        EXPECT_EQ(inflate_decompress(c.in.data(), c.in.size(), out, c.cap, &len), c.rc);
    }
}

namespace {

// Hand-built streams with their expected status and output, at capacity cap.
struct HandCase {
    const char *name;
    Bytes in;
    InflateStatus status;
    std::string out;
    size_t cap;
};

BitWriter fixed_block() { return BitWriter().put(1, 1).put(1, 2); }

std::vector<HandCase> hand_built_cases() {
    auto fixed = fixed_block;
    // Dynamic block whose literal/length code is only symbol 256 with
    // `eob_len` bits, no distance code; then `data` bits.
    auto only_eob = [](int eob_len, uint32_t data, int data_bits, int pad_bytes) {
        Dynamic d(257, 1);
        d.zeros(256).sym(eob_len).sym(0);
        d.w.put(data, data_bits);
        for (int i = 0; i < pad_bytes; ++i) d.w.put(0, 8);
        return d.w.done();
    };
    // 'a', then `matches` copies of 11 bytes at distance 1 (13 bits each),
    // then length 3 with distance code 30 and `tail` more bits.
    auto failing_distance = [&](int matches, int tail) {
        BitWriter w = fixed().lit('a');
        for (int i = 0; i < matches; ++i) w.lit(265).put(0, 1).dist(0);
        return w.lit(257).dist(30).put(0, tail).done();
    };
    const std::string x259(259, 'x');
    return {
        {"match 258 at distance 1", fixed().lit('x').lit(285).dist(0).lit(256).done(), InflateStatus::ok, x259, 1000},
        {"distance beyond the output", fixed().lit('a').lit(257).dist(1).lit(256).done(),
         InflateStatus::data_error, "a", 1000},
        {"length symbol 286", fixed().lit('a').lit(286).lit(256).done(), InflateStatus::data_error, "a", 1000},
        {"length symbol 287", fixed().lit(287).done(), InflateStatus::data_error, "", 1000},
        {"distance code 30", fixed().lit('a').lit(257).dist(30).put(0, 16).done(), InflateStatus::data_error,
         "a", 1000},
        // A failing decode reads 15 bits: with 14 left the input ends first.
        {"failing code, 15 bits left", failing_distance(3, 10), InflateStatus::data_error, std::string(34, 'a'), 1000},
        {"failing code, 14 bits left", failing_distance(0, 9), InflateStatus::input_end, "", 1000},
        {"distance code 31, input ends inside 15 bits", fixed().lit('a').lit(257).dist(31).done(),
         InflateStatus::input_end, "", 1000},
        {"literal does not fit", fixed().lit('a').lit('b').lit(256).done(), InflateStatus::output_full, "", 1},
        {"copy does not fit", fixed().lit('a').lit(258).dist(0).lit(256).done(), InflateStatus::output_full, "",
         4},
        {"stored then fixed", BitWriter().stored(false, "abc").put(1, 1).put(1, 2).lit('d').lit(256).done(),
         InflateStatus::ok, "abcd", 1000},
        {"empty stored block", BitWriter().stored(true, "").done(), InflateStatus::ok, "", 1000},
        {"NLEN not the complement", BitWriter().stored(false, "ok").stored(true, "no", 0xFEFF).done(),
         InflateStatus::data_error, "ok", 1000},
        {"stored data cut", [] { Bytes b = BitWriter().stored(true, "abcdef").done(); b.pop_back(); return b; }(),
         InflateStatus::input_end, "", 1000},
        {"stored block too big", BitWriter().stored(true, "abcdef").done(), InflateStatus::output_full, "", 5},
        {"type 3 after a good block",
         BitWriter().stored(false, "ab").put(0, 1).put(3, 2).done(), InflateStatus::data_error, "ab", 1000},
        {"only end-of-block, one bit", only_eob(1, 0, 1, 0), InflateStatus::ok, "", 1000},
        {"only end-of-block, unused code", only_eob(1, 1, 1, 2), InflateStatus::data_error, "", 1000},
        {"only end-of-block, unused code, input ends", only_eob(1, 1, 1, 0), InflateStatus::input_end, "", 1000},
        {"only end-of-block, two bits", only_eob(2, 0, 2, 0), InflateStatus::data_error, "", 1000},
    };
}

std::vector<HandCase> dynamic_block_cases() {
    auto raw = [](int hlit5, int hdist5, int hclen4) {
        BitWriter w;
        w.put(1, 1).put(2, 2).put(static_cast<uint32_t>(hlit5), 5).put(static_cast<uint32_t>(hdist5), 5);
        return w.put(static_cast<uint32_t>(hclen4), 4);
    };
    // 'A' and end-of-block at one bit each, with the largest HLIT and HDIST.
    Dynamic largest(286, 30);
    largest.zeros(65).sym(1).zeros(190).sym(1).zeros(59).w.put(0, 1).put(1, 1);
    // 257 at 1 bit, 'A' and 256 at 2 bits, one distance code of one bit:
    // "A", a copy of 3 at distance 1, end-of-block.
    auto one_bit_distance = [](uint32_t dist_bit) {
        Dynamic d(258, 1);
        d.zeros(65).sym(2).zeros(190).sym(2).sym(1).sym(1);
        return d.w.code(2, 2).code(0, 1).code(dist_bit, 1).code(3, 2).put(0, 16).done();
    };
    // Lengths 255 and 256 at one bit, then symbol 16 repeats that length
    // into both distance lengths.
    Dynamic run_on(257, 2);
    run_on.zeros(255).sym(1).sym(16).w.put(0, 2);
    run_on.w.code(0, 1).code(1, 1);
    Dynamic no_previous(257, 1);
    no_previous.sym(16).w.put(0, 2 + 16);
    Dynamic past_end(257, 1);
    past_end.zeros(256).sym(1).sym(17).w.put(0, 3 + 16);  // three zeros where one fits
    Dynamic no_eob(257, 1);
    no_eob.zeros(65).sym(1).zeros(191).sym(0).w.put(0, 16);  // only 'A' has a code
    Dynamic oversubscribed(258, 1);
    oversubscribed.zeros(255).sym(1).sym(1).sym(1).sym(0).w.put(0, 16);
    BitWriter incomplete = raw(0, 0, 15);  // code-length code: two codes of 2 bits
    for (int i = 0; i < 19; ++i) incomplete.put(i == 3 || i == 17 ? 2 : 0, 3);
    return {
        {"largest HLIT and HDIST", largest.w.done(), InflateStatus::ok, "A", 100},
        {"one-bit distance code", one_bit_distance(0), InflateStatus::ok, "AAAA", 100},
        {"unused distance code", one_bit_distance(1), InflateStatus::data_error, "A", 100},
        {"repeat runs on into distance lengths", run_on.w.done(), InflateStatus::ok, "\xFF", 100},
        {"HLIT above 286", raw(30, 0, 0).put(0, 16).done(), InflateStatus::data_error, "", 100},
        {"HDIST above 30", raw(0, 30, 0).put(0, 16).done(), InflateStatus::data_error, "", 100},
        {"header cut", raw(0, 0, 0).done(), InflateStatus::input_end, "", 100},
        {"incomplete code-length code", incomplete.put(0, 16).done(), InflateStatus::data_error, "", 100},
        {"empty code-length code", raw(0, 0, 15).put(0, 19 * 3 + 16).done(), InflateStatus::data_error, "", 100},
        {"repeat with no previous length", no_previous.w.done(), InflateStatus::data_error, "", 100},
        {"repeat past the end", past_end.w.done(), InflateStatus::data_error, "", 100},
        {"no code for end-of-block", no_eob.w.done(), InflateStatus::data_error, "", 100},
        {"over-subscribed", oversubscribed.w.done(), InflateStatus::data_error, "", 100},
    };
}

}  // namespace

TEST(Inflate, HandBuiltStreams) {
    for (const HandCase &c : hand_built_cases()) {
        const Result r = run(c.in, c.cap);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.out, c.out) << c.name;
    }
}

TEST(Inflate, DynamicBlocks) {
    for (const HandCase &c : dynamic_block_cases()) {
        const Result r = run(c.in, c.cap);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.out, c.out) << c.name;
    }
}

// ---------------------------------------------------------------------------
// The library's decoder against the reference decoder: the same result,
// status and length for every input and capacity, and on success the same
// whole buffer (neither writes past the bytes it reports).

namespace {

struct Outcome {
    int rc;
    size_t len;
    InflateStatus status;
    std::vector<unsigned char> buf;  // the whole output buffer after the call
};

using DecodeFn = int (*)(const unsigned char *, size_t, unsigned char *, size_t, size_t *, InflateStatus *);

constexpr unsigned char kMarker = 0xA5;

// Decodes a copy of `in` in a heap block of exactly its size into a heap
// block of exactly cap bytes filled beforehand with kMarker, so that
// AddressSanitizer sees a read or a write past either.
Outcome decode_with(DecodeFn decode, const Bytes &in, size_t cap) {
    const std::unique_ptr<unsigned char[]> exact(new unsigned char[in.size()]);
    if (!in.empty()) std::memcpy(exact.get(), in.data(), in.size());
    Outcome o{0, 12345, InflateStatus::ok, std::vector<unsigned char>(cap, kMarker)};
    o.rc = decode(exact.get(), in.size(), o.buf.data(), cap, &o.len, &o.status);
    return o;
}

struct Tally {
    long compared = 0;
    long by_status[6] = {};
};

const char *status_name(InflateStatus s) {
    static const char *const names[] = {"ok", "data_error", "input_end", "output_full", "bad_header", "bad_capacity"};
    return names[static_cast<int>(s)];
}

// Empty when both decoders agree on `in` at capacity cap, else what differs.
std::string disagreement(const Bytes &in, size_t cap, Tally *tally) {
    const Outcome ours = decode_with(inflate_decompress_status, in, cap);
    const Outcome ref = decode_with(morvex_ref::inflate_decompress_status, in, cap);
    ++tally->compared;
    ++tally->by_status[static_cast<int>(ref.status)];
    std::ostringstream why;
    if (ours.rc != ref.rc || ours.status != ref.status || ours.len != ref.len) {
        why << "capacity " << cap << ": ours " << ours.rc << " " << status_name(ours.status) << " length "
            << ours.len << ", reference " << ref.rc << " " << status_name(ref.status) << " length " << ref.len;
        return why.str();
    }
    if (ref.rc == 0 && ours.buf != ref.buf) {
        const auto at = std::mismatch(ours.buf.begin(), ours.buf.end(), ref.buf.begin()).first - ours.buf.begin();
        why << "capacity " << cap << ": the buffers differ at byte " << at << " of length " << ref.len;
        return why.str();
    }
    return {};
}

// Compares the decoders on `in` at several capacities: `roomy`, the exact
// length of the reference's output, one byte more and one less, half of it,
// zero, and a random one; on a failure, around the last byte the reference
// wrote.  Also checks the plain entry point and null out_len and status.
void expect_agree(const Bytes &in, size_t roomy, std::mt19937 &rng, Tally *tally, const std::string &where) {
    const Outcome ref = decode_with(morvex_ref::inflate_decompress_status, in, roomy);
    std::vector<size_t> caps = {roomy, 0, rng() % (roomy + 1)};
    if (ref.rc == 0) {
        caps.insert(caps.end(), {ref.len, ref.len + 1, ref.len / 2, rng() % (ref.len + 1)});
        if (ref.len > 0) caps.push_back(ref.len - 1);
    } else {
        size_t written = roomy;
        while (written > 0 && ref.buf[written - 1] == kMarker) --written;
        caps.insert(caps.end(), {written, written + 1, written / 2});
        if (written > 0) caps.push_back(written - 1);
    }
    std::sort(caps.begin(), caps.end());
    caps.erase(std::unique(caps.begin(), caps.end()), caps.end());
    for (size_t cap : caps) {
        const std::string why = disagreement(in, cap, tally);
        ASSERT_TRUE(why.empty()) << where << ": " << why;
    }
    std::vector<unsigned char> buf(roomy);
    size_t len = 12345;
    ASSERT_EQ(inflate_decompress(in.data(), in.size(), buf.data(), roomy, &len), ref.rc) << where;
    ASSERT_EQ(len, ref.len) << where;
    ASSERT_EQ(inflate_decompress_status(in.data(), in.size(), buf.data(), roomy, nullptr, nullptr), ref.rc) << where;
}

// A capacity that holds what `in` can decode to, within reason.
size_t roomy_for(const Bytes &in) { return std::min<size_t>(in.size() * 1032 + 1024, size_t{1} << 21); }

// Base lengths and extra bits of length symbols 257-285, and of distance
// symbols 0-29 (RFC 1951 3.2.5), for the stream generator.
constexpr int kLenBase[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kDistBase[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr int kClOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Canonical codes of the given code lengths (RFC 1951 3.2.2).
std::vector<uint32_t> canonical_codes(const std::vector<int> &lengths) {
    int count[16] = {};
    for (int len : lengths) ++count[len];
    count[0] = 0;
    uint32_t next[16] = {};
    uint32_t code = 0;
    for (int len = 1; len < 16; ++len) {
        code = (code + static_cast<uint32_t>(count[len - 1])) << 1;
        next[len] = code;
    }
    std::vector<uint32_t> codes(lengths.size());
    for (size_t sym = 0; sym < lengths.size(); ++sym)
        if (lengths[sym] != 0) codes[sym] = next[lengths[sym]]++;
    return codes;
}

// The depths of k >= 2 leaves of a random full binary tree no deeper than
// max_depth: a complete prefix code.  Splitting the deepest leaf often makes
// long codes, which land in subtables.
std::vector<int> random_depths(std::mt19937 &rng, size_t k, int max_depth) {
    std::vector<int> depth = {1, 1};
    while (depth.size() < k) {
        size_t pick = 0;
        if (rng() % 3 == 0) {
            for (size_t i = 0; i < depth.size(); ++i)
                if (depth[i] < max_depth && (depth[pick] >= max_depth || depth[i] > depth[pick])) pick = i;
        } else {
            do pick = rng() % depth.size();
            while (depth[pick] >= max_depth);
        }
        depth.push_back(++depth[pick]);
    }
    return depth;
}

// Random Deflate streams: stored, fixed and dynamic blocks; dynamic codes
// with lengths up to 15 bits, one-bit and empty distance codes, run-length
// coded lengths; symbols that are mostly valid, so that decoding goes deep.
struct StreamGen {
    std::mt19937 &rng;
    BitWriter w;
    size_t produced = 0;  // bytes the stream so far decodes to
    int longest_lit = 0;  // longest literal/length and distance codes used
    int longest_dist = 0;
    bool valid_only = false;  // only distances into the output so far

    explicit StreamGen(std::mt19937 &r) : rng(r) {}

    bool chance(unsigned one_in) { return rng() % one_in == 0; }

    // A length/distance pair's length symbol and extra bits for `len`.
    static int length_symbol(int len) {
        int sym = 28;
        while (kLenBase[sym] > len) --sym;
        return sym;
    }

    // A distance that usually refers into the output so far.
    void distance(int *sym, int *extra, const std::vector<int> &coded) {
        do *sym = coded[rng() % coded.size()];
        while (valid_only && static_cast<size_t>(kDistBase[*sym]) > produced);
        const int base = kDistBase[*sym];
        const int span = (1 << kDistExtra[*sym]) - 1;
        if (static_cast<size_t>(base) <= produced && (valid_only || !chance(20))) {
            *extra = static_cast<int>(rng() % (std::min<size_t>(static_cast<size_t>(span), produced - base) + 1));
        } else {
            *extra = span == 0 ? 0 : static_cast<int>(rng() % (span + 1));
        }
    }

    void stored(bool last) {
        std::string data(rng() % 300, '\0');
        for (char &c : data) c = static_cast<char>(rng());
        w.stored(last, data);
        produced += data.size();
    }

    void fixed(bool last) {
        w.put(last, 1).put(1, 2);
        std::vector<int> dists(30);
        for (int i = 0; i < 30; ++i) dists[i] = i;
        for (unsigned n = rng() % 300; n > 0; --n) {
            if (produced == 0 || chance(2)) {
                w.lit(rng() % 256);
                ++produced;
            } else {
                const int lsym = static_cast<int>(rng() % 29);
                const int lextra = static_cast<int>(rng() % (1u << kLenExtra[lsym]));
                w.lit(257 + static_cast<unsigned>(lsym)).put(static_cast<uint32_t>(lextra), kLenExtra[lsym]);
                int dsym, dextra;
                distance(&dsym, &dextra, dists);
                w.dist(static_cast<unsigned>(dsym)).put(static_cast<uint32_t>(dextra), kDistExtra[dsym]);
                produced += static_cast<size_t>(kLenBase[lsym] + lextra);
            }
            if (chance(400)) w.lit(286 + rng() % 2);          // names no length
            if (chance(400)) w.lit(257).dist(30 + rng() % 2);  // reaches no distance
        }
        w.lit(256);
    }

    // Lengths for n symbols where the symbols in `must` (and k in all)
    // have codes: a random complete code, or one one-bit code when k == 1.
    std::vector<int> random_lengths(size_t n, size_t k, const std::vector<int> &must) {
        std::vector<int> lengths(n, 0);
        std::vector<int> syms(n);
        for (size_t i = 0; i < n; ++i) syms[i] = static_cast<int>(i);
        std::shuffle(syms.begin(), syms.end(), rng);
        for (size_t j = 0; j < must.size(); ++j)
            std::iter_swap(syms.begin() + static_cast<long>(j), std::find(syms.begin(), syms.end(), must[j]));
        if (k == 1) {
            lengths[syms[0]] = 1;
            return lengths;
        }
        const std::vector<int> depth = random_depths(rng, k, 15);
        for (size_t i = 0; i < k; ++i) lengths[syms[i]] = depth[i];
        return lengths;
    }

    void dynamic(bool last) {
        const size_t hlit = 257 + rng() % 30, hdist = 1 + rng() % 30;
        const size_t lit_k = chance(20) ? 1 : 2 + rng() % (hlit - 1);
        const size_t dist_k = chance(10) ? 0 : chance(10) || hdist == 1 ? 1 : 2 + rng() % (hdist - 1);
        dynamic(last, random_lengths(hlit, lit_k, {256}),
                dist_k == 0 ? std::vector<int>(hdist, 0) : random_lengths(hdist, dist_k, {}), rng() % 400);
    }

    // A dynamic block with the given code lengths and `symbols` literals
    // and pairs.
    void dynamic(bool last, const std::vector<int> &lit, const std::vector<int> &dist, unsigned symbols) {
        const size_t hlit = lit.size(), hdist = dist.size();
        longest_lit = std::max(longest_lit, *std::max_element(lit.begin(), lit.end()));
        longest_dist = std::max(longest_dist, *std::max_element(dist.begin(), dist.end()));

        // The code lengths, run-length coded at random: (symbol, extra value, extra bits).
        std::vector<int> all(lit);
        all.insert(all.end(), dist.begin(), dist.end());
        struct Item {
            int sym, extra, bits;
        };
        std::vector<Item> items;
        for (size_t i = 0; i < all.size();) {
            size_t run = 1;
            while (i + run < all.size() && all[i + run] == all[i]) ++run;
            if (all[i] == 0 && run >= 11 && chance(2)) {
                const int n = static_cast<int>(std::min<size_t>(run, 11 + rng() % 128));
                items.push_back({18, n - 11, 7});
                i += static_cast<size_t>(n);
            } else if (all[i] == 0 && run >= 3 && chance(2)) {
                const int n = static_cast<int>(std::min<size_t>(run, 3 + rng() % 8));
                items.push_back({17, n - 3, 3});
                i += static_cast<size_t>(n);
            } else if (i > 0 && all[i - 1] == all[i] && run >= 3 && chance(2)) {
                const int n = static_cast<int>(std::min<size_t>(run, 3 + rng() % 4));
                items.push_back({16, n - 3, 2});
                i += static_cast<size_t>(n);
            } else {
                items.push_back({all[i], 0, 0});
                ++i;
            }
        }
        // A random complete code-length code over the symbols used.
        std::vector<int> used;
        for (const Item &it : items)
            if (std::find(used.begin(), used.end(), it.sym) == used.end()) used.push_back(it.sym);
        while (used.size() < 2 || chance(4)) {
            const int extra = static_cast<int>(rng() % 19);
            if (std::find(used.begin(), used.end(), extra) == used.end()) used.push_back(extra);
            if (used.size() == 19) break;
        }
        std::vector<int> cl(19, 0);
        const std::vector<int> depth = random_depths(rng, used.size(), 7);
        for (size_t i = 0; i < used.size(); ++i) cl[used[i]] = depth[i];
        int ncode = 4;
        for (int i = 0; i < 19; ++i)
            if (cl[kClOrder[i]] != 0) ncode = std::max(ncode, i + 1);
        if (chance(4)) ncode = 4 + static_cast<int>(rng() % 16) > ncode ? 4 + static_cast<int>(rng() % 16) : ncode;
        ncode = std::min(ncode, 19);

        w.put(last, 1).put(2, 2).put(static_cast<uint32_t>(hlit - 257), 5).put(static_cast<uint32_t>(hdist - 1), 5);
        w.put(static_cast<uint32_t>(ncode - 4), 4);
        for (int i = 0; i < ncode; ++i) w.put(static_cast<uint32_t>(cl[kClOrder[i]]), 3);
        const std::vector<uint32_t> cl_codes = canonical_codes(cl);
        for (const Item &it : items)
            w.code(cl_codes[it.sym], cl[it.sym]).put(static_cast<uint32_t>(it.extra), it.bits);

        // The data: literals and pairs with the symbols that have codes.
        const std::vector<uint32_t> lit_codes = canonical_codes(lit), dist_codes = canonical_codes(dist);
        std::vector<int> literals, lengths, dists;
        for (size_t sym = 0; sym < hlit; ++sym)
            if (lit[sym] != 0 && sym != 256) (sym < 256 ? literals : lengths).push_back(static_cast<int>(sym));
        for (size_t sym = 0; sym < hdist; ++sym)
            if (dist[sym] != 0) dists.push_back(static_cast<int>(sym));
        for (unsigned n = symbols; n > 0; --n) {
            const bool pair = !lengths.empty() && !dists.empty() && (literals.empty() || (produced > 0 && chance(2)));
            if (pair && (!valid_only || produced >= static_cast<size_t>(kDistBase[dists[0]]))) {
                const int lsym = lengths[rng() % lengths.size()];
                const int lextra = static_cast<int>(rng() % (1u << kLenExtra[lsym - 257]));
                w.code(lit_codes[lsym], lit[lsym]).put(static_cast<uint32_t>(lextra), kLenExtra[lsym - 257]);
                int dsym, dextra;
                distance(&dsym, &dextra, dists);
                w.code(dist_codes[dsym], dist[dsym]).put(static_cast<uint32_t>(dextra), kDistExtra[dsym]);
                produced += static_cast<size_t>(kLenBase[lsym - 257] + lextra);
            } else if (!literals.empty()) {
                const int sym = literals[rng() % literals.size()];
                w.code(lit_codes[sym], lit[sym]);
                ++produced;
            }
        }
        w.code(lit_codes[256], lit[256]);
    }

    Bytes stream() {
        for (int blocks = 1 + static_cast<int>(rng() % 4); blocks > 0; --blocks) {
            const bool last = blocks == 1;
            const unsigned type = rng() % 8;
            if (type == 0) stored(last);
            else if (type <= 2) fixed(last);
            else dynamic(last);
        }
        Bytes b = w.done();
        for (unsigned n = chance(4) ? rng() % 8 : 0; n > 0; --n) b.push_back(static_cast<uint8_t>(rng()));
        return b;
    }
};

// Small damage: truncation, flipped bits, changed bytes.
Bytes damaged(const Bytes &good, std::mt19937 &rng) {
    Bytes b = good;
    switch (rng() % 6) {
        case 0:
        case 1:
            return b;
        case 2:
            b.resize(2 + rng() % (b.size() - 1));
            return b;
        case 3:
            b[2 + rng() % (b.size() - 2)] ^= static_cast<uint8_t>(1u << (rng() % 8));
            return b;
        case 4:
            for (unsigned n = 1 + rng() % 4; n > 0; --n) b[2 + rng() % (b.size() - 2)] = static_cast<uint8_t>(rng());
            return b;
        default:
            b[2 + rng() % (b.size() - 2)] ^= static_cast<uint8_t>(1u << (rng() % 8));
            b.resize(2 + rng() % (b.size() - 1));
            return b;
    }
}

void expect_every_status_seen(const Tally &t, long at_least) {
    for (InflateStatus s : {InflateStatus::ok, InflateStatus::data_error, InflateStatus::input_end,
                            InflateStatus::output_full})
        EXPECT_GE(t.by_status[static_cast<int>(s)], at_least) << status_name(s);
}

}  // namespace

TEST(InflateOracle, ZlibStreamsAtEveryLevelStrategyAndWindow) {
    std::mt19937 rng(1);
    Tally tally;
    for (const Sample &s : samples()) {
        for (int level = 0; level <= 9; ++level) {
            for (int strategy : kStrategies) {
                const Bytes z = zcompress(s.data, level, strategy);
                expect_agree(z, s.data.size() + 64, rng, &tally, std::string(s.name) + " level " + std::to_string(level));
                const Bytes no_trailer(z.begin(), z.end() - 4);
                const std::string why = disagreement(no_trailer, s.data.size(), &tally);
                ASSERT_TRUE(why.empty()) << s.name << " no trailer: " << why;
            }
        }
        // Small windows and small memory levels: short distances, many blocks.
        for (int mem_level : {1, 9}) {
            for (int wbits : {9, 12}) {
                const Bytes z = zcompress(s.data, 6, Z_DEFAULT_STRATEGY, wbits, mem_level);
                expect_agree(z, s.data.size() + 64, rng, &tally, std::string(s.name) + " memory level");
            }
        }
    }
    EXPECT_GT(tally.by_status[static_cast<int>(InflateStatus::ok)], 500);
    EXPECT_GT(tally.by_status[static_cast<int>(InflateStatus::output_full)], 500);
}

TEST(InflateOracle, EveryCutOfSmallStreams) {
    std::mt19937 rng(2);
    Tally tally;
    std::vector<Bytes> streams;
    for (int strategy : kStrategies)
        for (int level : {0, 1, 9}) streams.push_back(zcompress(content_stream(1500, 11), level, strategy));
    streams.push_back(zcompress(random_bytes(300, 3), 9, Z_DEFAULT_STRATEGY));
    for (const HandCase &c : hand_built_cases()) streams.push_back(c.in);
    for (const HandCase &c : dynamic_block_cases()) streams.push_back(c.in);
    for (int i = 0; i < 10; ++i) streams.push_back(StreamGen(rng).stream());
    for (const Bytes &z : streams) {
        // A cut stream decodes to a prefix of what the whole one decodes to.
        const Outcome whole = decode_with(morvex_ref::inflate_decompress_status, z, roomy_for(z));
        const size_t roomy = whole.rc == 0 ? whole.len + 300 : roomy_for(z);
        for (size_t cut = 0; cut <= z.size(); ++cut) {
            const Bytes in(z.begin(), z.begin() + static_cast<long>(cut));
            expect_agree(in, roomy, rng, &tally, "cut at " + std::to_string(cut));
        }
    }
    expect_every_status_seen(tally, 100);
}

TEST(InflateOracle, DamagedZlibStreams) {
    std::mt19937 rng(3);
    Tally tally;
    for (const Sample &s : samples()) {
        if (s.data.size() < 2) continue;
        for (int strategy : kStrategies) {
            const Bytes z = zcompress(s.data.substr(0, 8000), 6, strategy);
            for (int round = 0; round < 60; ++round) {
                Bytes bad = z;
                if (round % 3 == 0) {
                    bad[2 + rng() % (bad.size() - 2)] ^= static_cast<uint8_t>(1u << (rng() % 8));
                } else {
                    for (unsigned flips = 1 + rng() % 3; flips > 0; --flips)
                        bad[2 + rng() % (bad.size() - 2)] ^= static_cast<uint8_t>(1 + rng() % 255);
                }
                if (round % 4 == 0) bad.resize(2 + rng() % (bad.size() - 2));
                // Damage can make a stream longer; past this size it does not fit.
                expect_agree(bad, 2 * 8000 + 4096, rng, &tally, std::string(s.name) + " round " + std::to_string(round));
            }
        }
    }
    expect_every_status_seen(tally, 50);
}

TEST(InflateOracle, RandomBytesAfterAValidHeader) {
    std::mt19937 rng(4);
    Tally tally;
    for (int round = 0; round < 3000; ++round) {
        Bytes in = {0x78, 0x9C};
        for (unsigned n = rng() % 64; n > 0; --n) in.push_back(static_cast<uint8_t>(rng()));
        // Steer half of them into a dynamic block header.
        if (in.size() > 2 && round % 2 == 0) in[2] = static_cast<uint8_t>((in[2] & ~7u) | (round % 4 == 0 ? 4 : 5));
        expect_agree(in, 1 << 16, rng, &tally, "random " + std::to_string(round));
    }
    EXPECT_GT(tally.by_status[static_cast<int>(InflateStatus::data_error)], 1000);
    EXPECT_GT(tally.by_status[static_cast<int>(InflateStatus::input_end)], 1000);
}

TEST(InflateOracle, GeneratedStreamsWithLongCodes) {
    std::mt19937 rng(5);
    Tally tally;
    int long_lit = 0, long_dist = 0;
    for (int round = 0; round < 2500; ++round) {
        StreamGen gen(rng);
        const Bytes good = gen.stream();
        expect_agree(damaged(good, rng), 2 * gen.produced + 4096, rng, &tally, "generated " + std::to_string(round));
        long_lit += gen.longest_lit > static_cast<int>(inflate_tables::kLitRootBits);
        long_dist += gen.longest_dist > static_cast<int>(inflate_tables::kDistRootBits);
    }
    expect_every_status_seen(tally, 500);
    // Codes longer than the main tables' index bits were decoded through
    // subtables.
    EXPECT_GT(long_lit, 500);
    EXPECT_GT(long_dist, 300);
}

TEST(InflateOracle, HandBuiltStreamsAndEntryChecks) {
    std::mt19937 rng(6);
    Tally tally;
    for (const auto &cases : {hand_built_cases(), dynamic_block_cases()})
        for (const HandCase &c : cases) expect_agree(c.in, c.cap, rng, &tally, c.name);
    const Bytes entry[] = {{}, {0x78}, {0x78, 0x9C}, {0x79, 0x9C, 0x03, 0x00}, {0x78, 0xBB, 0x03, 0x00}, {0x08, 0x00, 0x03, 0x00}, {0x78, 0x9C, 0x07}};
    for (const Bytes &in : entry) expect_agree(in, 16, rng, &tally, "entry check");
    // A capacity above the limit is refused before anything is written.
    unsigned char one = 0;
    for (size_t cap : {kInflateMaxOutput, kInflateMaxOutput + 1, ~size_t{0}}) {
        const Bytes in = {0x78, 0x9C, 0x03, 0x00};
        size_t len_ours = 1, len_ref = 1;
        InflateStatus s_ours{}, s_ref{};
        EXPECT_EQ(inflate_decompress_status(in.data(), in.size(), &one, cap, &len_ours, &s_ours),
                  morvex_ref::inflate_decompress_status(in.data(), in.size(), &one, cap, &len_ref, &s_ref));
        EXPECT_EQ(s_ours, s_ref);
        EXPECT_EQ(len_ours, len_ref);
    }
}

// ---------------------------------------------------------------------------
// The worst-case table sizes.  The decoder puts a code longer than its main
// table's index bits (root) into the subtable of its first root bits, with
// as many index bits as the longest code there has beyond root.  Canonical
// codes put the longer codes after all codes of up to root bits, in order
// of length, so the largest total follows from a dynamic program over the
// lengths root+1 to 15: the state is where the codes placed so far end
// within the share of a main entry (in units of one 15-bit code) and how
// many symbols they use; a main entry's subtable size is settled by the
// length whose codes reach its end.  The symbols that codes of up to root
// bits need are not counted, so the result is an upper bound.

namespace {

struct WorstCase {
    size_t bound;             // entries, main table included
    size_t reachable;         // entries of the largest code rebuilt below
    std::vector<int> lengths; // that code's lengths, symbol by symbol
};

WorstCase worst_case(unsigned root, size_t nsym) {
    const unsigned layers = 15 - root;
    const size_t share = size_t{1} << (15 - root);  // 15-bit codes per main entry
    const size_t states = share * (nsym + 1);
    std::vector<long> best((layers + 1) * states, -1);
    std::vector<std::pair<size_t, size_t>> from((layers + 1) * states);  // (previous position, count)
    best[0] = 0;
    for (unsigned layer = 0; layer < layers; ++layer) {
        const unsigned len = root + 1 + layer;
        const size_t weight = size_t{1} << (15 - len);
        for (size_t pos = 0; pos < share; ++pos) {
            for (size_t used = 0; used <= nsym; ++used) {
                const long v = best[layer * states + pos * (nsym + 1) + used];
                if (v < 0) continue;
                for (size_t c = 0; used + c <= nsym; ++c) {
                    const size_t end = pos + c * weight;
                    const long nv = v + (c == 0 ? 0 : static_cast<long>((end / share) << (len - root)));
                    const size_t at = (layer + 1) * states + (end % share) * (nsym + 1) + used + c;
                    if (best[at] < nv) {
                        best[at] = nv;
                        from[at] = {pos, c};
                    }
                }
            }
        }
    }
    WorstCase w{0, 0, {}};
    for (size_t used = 0; used <= nsym; ++used) {
        const long v = best[layers * states + used];
        if (v < 0) continue;
        w.bound = std::max(w.bound, (size_t{1} << root) + static_cast<size_t>(v));
        // Rebuild the counts, then add the codes of up to root bits that
        // complete the code, if the symbols suffice.
        std::vector<size_t> count(16, 0);
        size_t pos = 0, u = used, units = 0;
        for (unsigned layer = layers; layer > 0; --layer) {
            const auto [prev, c] = from[layer * states + pos * (nsym + 1) + u];
            count[root + layer] = c;
            units += c << (15 - (root + layer));
            pos = prev;
            u -= c;
        }
        const size_t free_entries = (size_t{1} << root) - units / share;
        const size_t short_codes = static_cast<size_t>(std::popcount(free_entries));
        if (used + short_codes > nsym || (size_t{1} << root) + static_cast<size_t>(v) <= w.reachable) continue;
        for (unsigned b = 0; b < root; ++b)
            if (free_entries >> b & 1) ++count[root - b];
        w.reachable = (size_t{1} << root) + static_cast<size_t>(v);
        w.lengths.clear();
        for (unsigned len = 1; len <= 15; ++len) w.lengths.insert(w.lengths.end(), count[len], static_cast<int>(len));
    }
    return w;
}

}  // namespace

TEST(InflateTables, WorstCaseSizesHoldAndAreReached) {
    const WorstCase lit = worst_case(inflate_tables::kLitRootBits, 286);
    const WorstCase dist = worst_case(inflate_tables::kDistRootBits, 30);
    EXPECT_EQ(lit.bound, inflate_tables::kLitTableEntries);
    EXPECT_EQ(dist.bound, inflate_tables::kDistTableEntries);
    // The largest codes that can be rebuilt come close to the bounds.
    EXPECT_GE(lit.reachable + 16, lit.bound);
    EXPECT_GE(dist.reachable + 16, dist.bound);

    // Decode blocks with those codes: the literal/length code over symbol
    // 256 first, then the others in order; the distance code over all 30
    // symbols.  A table that did not fit would end decoding early.
    std::vector<int> lit_lengths(286, 0), dist_lengths(30, 0);
    ASSERT_LE(lit.lengths.size(), 286u);
    ASSERT_LE(dist.lengths.size(), 30u);
    for (size_t i = 0; i < lit.lengths.size(); ++i) lit_lengths[i == 0 ? 256 : i <= 256 ? i - 1 : i] = lit.lengths[i];
    for (size_t i = 0; i < dist.lengths.size(); ++i) dist_lengths[i] = dist.lengths[i];
    // Plain complete codes for the other table: 'a'-'c' and 256-284 at 5
    // bits; distances 0-1 at 4 bits and 2-29 at 5.
    std::vector<int> plain_lit(286, 0), plain_dist(30, 0);
    for (int sym = 0; sym < 32; ++sym) plain_lit[sym < 3 ? 'a' + sym : 256 + (sym - 3)] = 5;
    for (int sym = 0; sym < 30; ++sym) plain_dist[sym] = sym < 2 ? 4 : 5;

    std::mt19937 rng(7);
    Tally tally;
    for (int round = 0; round < 20; ++round) {
        StreamGen gen(rng);
        gen.valid_only = true;
        gen.dynamic(false, lit_lengths, plain_dist, 3000);
        gen.dynamic(true, plain_lit, dist_lengths, 3000);
        const Bytes z = gen.w.done();
        const Outcome ref = decode_with(morvex_ref::inflate_decompress_status, z, gen.produced + 64);
        ASSERT_EQ(ref.status, InflateStatus::ok);
        expect_agree(z, gen.produced + 64, rng, &tally, "worst case " + std::to_string(round));
    }
}
