// Deflate decoder: differential against zlib on many inputs, plus
// hand-built bit streams for the rules that zlib's output cannot show.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "codec/inflate.h"

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

Bytes zcompress(const std::string &data, int level, int strategy, int window_bits = 15) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, window_bits, 8, strategy), Z_OK);
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

TEST(Inflate, HandBuiltStreams) {
    struct Case {
        const char *name;
        Bytes in;
        InflateStatus status;
        std::string out;
        size_t cap;
    };
    auto fixed = [] { return BitWriter().put(1, 1).put(1, 2); };
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
    Case cases[] = {
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
    for (const Case &c : cases) {
        const Result r = run(c.in, c.cap);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.out, c.out) << c.name;
    }
}

TEST(Inflate, DynamicBlocks) {
    struct Case {
        const char *name;
        Bytes in;
        InflateStatus status;
        std::string out;
    };
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
    Case cases[] = {
        {"largest HLIT and HDIST", largest.w.done(), InflateStatus::ok, "A"},
        {"one-bit distance code", one_bit_distance(0), InflateStatus::ok, "AAAA"},
        {"unused distance code", one_bit_distance(1), InflateStatus::data_error, "A"},
        {"repeat runs on into distance lengths", run_on.w.done(), InflateStatus::ok, "\xFF"},
        {"HLIT above 286", raw(30, 0, 0).put(0, 16).done(), InflateStatus::data_error, ""},
        {"HDIST above 30", raw(0, 30, 0).put(0, 16).done(), InflateStatus::data_error, ""},
        {"header cut", raw(0, 0, 0).done(), InflateStatus::input_end, ""},
        {"incomplete code-length code", incomplete.put(0, 16).done(), InflateStatus::data_error, ""},
        {"empty code-length code", raw(0, 0, 15).put(0, 19 * 3 + 16).done(), InflateStatus::data_error, ""},
        {"repeat with no previous length", no_previous.w.done(), InflateStatus::data_error, ""},
        {"repeat past the end", past_end.w.done(), InflateStatus::data_error, ""},
        {"no code for end-of-block", no_eob.w.done(), InflateStatus::data_error, ""},
        {"over-subscribed", oversubscribed.w.done(), InflateStatus::data_error, ""},
    };
    for (const Case &c : cases) {
        const Result r = run(c.in, 100);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.out, c.out) << c.name;
    }
}
