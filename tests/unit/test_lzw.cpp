// LZW decoder: hand-packed codes for the scheme's corners, and round trips
// through a small encoder that follows the same conventions (9 to 12 bits,
// EarlyChange 1).
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "codec/lzw.h"

using namespace morvex;

namespace {

using Bytes = std::vector<unsigned char>;

struct BitPacker {
    Bytes bytes;
    int used = 8;  // bits used in the last byte
    void put(unsigned code, int width) {
        for (int i = width - 1; i >= 0; --i) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            bytes.back() |= static_cast<unsigned char>(((code >> i) & 1) << (7 - used++));
        }
    }
};

Bytes pack9(std::initializer_list<unsigned> codes) {
    BitPacker p;
    for (unsigned c : codes) p.put(c, 9);
    return p.bytes;
}

struct EncodeOptions {
    bool lead_clear;
    bool clear_when_full;  // else go on with 12-bit codes once 4096 entries exist
    int clear_after;       // if > 0, a clear code after this many codes
    bool end_code;
};

// Encodes `data`; also reports the highest next free code reached.
Bytes encode(const std::string &data, EncodeOptions o, unsigned *max_next = nullptr) {
    BitPacker out;
    std::map<std::pair<unsigned, unsigned char>, unsigned> dict;
    unsigned next = 258;
    int since_clear = 0;
    // The decoder adds an entry one code later than the encoder, so its
    // next free code is one less: the width follows that.
    auto width = [&] {
        const unsigned n = next - 1;
        return n >= 2047 ? 12 : n >= 1023 ? 11 : n >= 511 ? 10 : 9;
    };
    auto clear = [&] {
        out.put(256, width());
        dict.clear();
        next = 258;
        since_clear = 0;
    };
    if (o.lead_clear) clear();
    int w = -1;
    for (unsigned char k : data) {
        if (w < 0) {
            w = k;
            continue;
        }
        auto it = dict.find({static_cast<unsigned>(w), k});
        if (it != dict.end()) {
            w = static_cast<int>(it->second);
            continue;
        }
        out.put(static_cast<unsigned>(w), width());
        ++since_clear;
        if (next < 4096) dict[{static_cast<unsigned>(w), k}] = next++;
        if (max_next && next > *max_next) *max_next = next;
        if ((o.clear_when_full && next == 4096) || (o.clear_after > 0 && since_clear == o.clear_after)) clear();
        w = k;
    }
    if (w >= 0) {
        out.put(static_cast<unsigned>(w), width());
        if (next < 4096) ++next;
    }
    if (o.end_code) out.put(257, width());
    return out.bytes;
}

struct Result {
    int rc;
    size_t len;
    std::string out;
};

Result run(const Bytes &in, size_t cap) {
    Bytes out(cap + 1);
    Result r{};
    r.len = 777;
    r.rc = lzw_decompress(in.data(), in.size(), out.data(), cap, &r.len);
    if (r.rc == 0) r.out.assign(reinterpret_cast<const char *>(out.data()), r.len);
    return r;
}

}  // namespace

TEST(Lzw, HandPackedCodes) {
    BitPacker partial;
    partial.put(65, 9);
    partial.put(1, 5);
    BitPacker clear_after_growth;  // 254 codes grow the table to 511: then 10-bit codes
    for (int i = 0; i < 254; ++i) clear_after_growth.put(65, 9);
    clear_after_growth.put(256, 10);
    clear_after_growth.put(66, 9);
    clear_after_growth.put(257, 9);
    struct Case {
        const char *name;
        Bytes in;
        std::string out;
    } cases[] = {
        {"no input", {}, ""},
        {"shorter than a code", {0x80}, ""},
        {"clear, A, B, end", pack9({256, 65, 66, 257}), "AB"},
        {"a code added from the previous two", pack9({65, 66, 258, 257}), "ABAB"},
        {"the code being defined", pack9({65, 258, 257}), "AAA"},
        {"bytes after the end code are ignored", pack9({65, 257, 66, 67}), "A"},
        {"trailing partial code is ignored", partial.bytes, "A"},
        {"no end code", pack9({65, 66}), "AB"},
        {"code above the next free code stops", pack9({65, 66, 300, 67}), "AB"},
        {"next free code with no previous code stops", pack9({256, 258, 65}), ""},
        {"clear returns to 9 bits", clear_after_growth.bytes, std::string(254, 'A') + "B"},
        // The worked example of the LZWDecode filter's documentation.
        {"published example", {0x80, 0x0B, 0x60, 0x50, 0x22, 0x0C, 0x0C, 0x85, 0x01}, "-----A---B"},
    };
    for (const Case &c : cases) {
        const Result r = run(c.in, 1000);
        EXPECT_EQ(r.rc, 0) << c.name;
        EXPECT_EQ(r.out, c.out) << c.name;
    }
}

TEST(Lzw, RoundTrips) {
    std::mt19937 rng(3);
    std::string random(200000, '\0');
    for (char &c : random) c = static_cast<char>(rng());
    std::string text;
    while (text.size() < 300000) text += "BT /F1 12 Tf 72 " + std::to_string(rng() % 700) + " Td (page text) Tj ET\n";
    std::string runs(100000, 'z');
    const EncodeOptions options[] = {
        {true, true, 0, true},    // what conforming encoders write
        {false, true, 0, false},  // no leading clear, no end code
        {true, true, 300, true},  // clears while the codes are 10 bits wide
        {true, false, 0, true},   // the table fills up and stays full
    };
    for (const std::string *data : {&random, &text, &runs}) {
        for (const EncodeOptions &o : options) {
            unsigned max_next = 0;
            const Bytes z = encode(*data, o, &max_next);
            if (o.clear_after == 0 && data != &runs) {
                ASSERT_EQ(max_next, 4096u);
            }
            const Result r = run(z, data->size());
            ASSERT_EQ(r.rc, 0);
            ASSERT_TRUE(r.out == *data) << data->size() << " " << o.clear_when_full << o.clear_after;
        }
    }
}

TEST(Lzw, OutputCapacity) {
    const std::string data = "ABABABABAB the end";
    const Bytes z = encode(data, {true, true, 0, true});
    EXPECT_EQ(run(z, data.size()).rc, 0);
    for (size_t cap : {data.size() - 1, size_t{1}, size_t{0}}) {
        const Result r = run(z, cap);
        EXPECT_EQ(r.rc, -1) << cap;
        EXPECT_EQ(r.len, 777u) << cap;  // nothing is reported
    }
    size_t n = 0;
    EXPECT_EQ(lzw_decompress(z.data(), z.size(), nullptr, 0, nullptr), -1);
    EXPECT_EQ(lzw_decompress(pack9({257}).data(), 2, nullptr, 0, &n), 0);
}
