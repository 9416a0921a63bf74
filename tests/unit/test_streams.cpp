// Stream decoding: the filter chain, page content, string tokens, object streams.
#include <zlib.h>

#include <random>

#include "codec/filters.h"
#include "codec/strings.h"
#include "test_util.h"

using namespace morvex;
using fixture::PdfWriter;
using testutil::bytes;
using testutil::len;
using testutil::load;

namespace {

// Decodes stream object 1 of a file holding just that object.
std::string decode_one(const std::string &dict, const std::string &raw, int *result = nullptr) {
    PdfWriter w;
    w.add(1, "<< " + dict + " /Length " + std::to_string(raw.size()) + " >>\nstream\n" + raw + "\nendstream");
    PdfDocument d;
    EXPECT_TRUE(load(w.build(), &d));
    ByteBuf out;
    const int r = decode_stream(d.data, d.len, *d.find_object(1), &out);
    if (result) *result = r;
    return r ? std::string(out.view()) : "<failed>";
}

std::string ascii85(const std::string &s) {
    std::string out;
    size_t i = 0;
    for (; i + 4 <= s.size(); i += 4) {
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) v = v << 8 | static_cast<uint8_t>(s[i + k]);
        char g[5];
        for (int k = 4; k >= 0; --k, v /= 85) g[k] = static_cast<char>('!' + v % 85);
        out.append(g, 5);
    }
    if (i < s.size()) {
        uint32_t v = 0;
        const size_t rest = s.size() - i;
        for (size_t k = 0; k < 4; ++k) v = v << 8 | (k < rest ? static_cast<uint8_t>(s[i + k]) : 0);
        char g[5];
        for (int k = 4; k >= 0; --k, v /= 85) g[k] = static_cast<char>('!' + v % 85);
        out.append(g, rest + 1);
    }
    return out + "~>";
}

std::string decode_with(void (*f)(const u8 *, size_t, ByteBuf *), const std::string &in) {
    ByteBuf out;
    f(bytes(in), in.size(), &out);
    return std::string(out.view());
}

}  // namespace

TEST(Filters, FlateNameFormsAllDecode) {
    const std::string z = fixture::zlib_compress("BT (x) Tj ET");
    for (const char *form : {"/Filter/FlateDecode", "/Filter /FlateDecode", "/Filter [/FlateDecode]",
                             "/Filter [ /FlateDecode ]", "/Filter [/Crypt /FlateDecode /DCTDecode]"})
        EXPECT_EQ(decode_one(form, z), "BT (x) Tj ET") << form;
}

TEST(Filters, ChainsAndUnknownOrMalformedFilters) {
    const std::string text = "q 1 0 0 1 0 0 cm Q";
    EXPECT_EQ(decode_one("/Filter [/ASCII85Decode /FlateDecode]", ascii85(fixture::zlib_compress(text))), text);
    EXPECT_EQ(decode_one("/Filter /DCTDecode", "\xFF\xD8jpeg"), "\xFF\xD8jpeg");
    EXPECT_EQ(decode_one("/Filter 5 0 R", "raw"), "raw");
    EXPECT_EQ(decode_one("/Filter /", "raw"), "raw");
    EXPECT_EQ(decode_one("/Filter /" + std::string(223, 'A'), "raw"), "raw");
    EXPECT_EQ(decode_one("", "raw"), "raw");
    // A predictor is not undone: the bytes come back inflated but predicted.
    const std::string predicted = std::string("\x02\x01\x01", 3);
    EXPECT_EQ(decode_one("/Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 2 >>",
                         fixture::zlib_compress(predicted)),
              predicted);
    int r = -1;
    EXPECT_EQ(decode_one("/Filter /FlateDecode", "not zlib", &r), "<failed>");
    EXPECT_EQ(r, 0);
}

TEST(Filters, WellCompressedStreamsAreNeverDropped) {
    // Drawings and tables compress far better than 16:1; a 4 MB run of one
    // operator compresses about 1000:1.
    std::string content;
    while (content.size() < 4'000'000) content += "0 0 m 10 10 l S\n";
    EXPECT_EQ(decode_one("/Filter /FlateDecode", fixture::zlib_compress(content, 9)), content);
    // LZW compresses runs well too: 100,000 zero bytes need about 1,500 bytes of codes.
    std::string lzw;
    {
        // Codes 0, 258, 259, ... each one byte longer than the last, 9 to 12 bits, then clear.
        std::vector<int> codes{256};
        int next = 258, width = 9, produced = 0, run = 1;
        codes.push_back(0);
        produced = 1;
        while (produced < 100000) {
            if (next >= 4094) {  // stay clear of a full table
                codes.push_back(256);
                next = 258, width = 9, run = 1;
                codes.push_back(0);
                produced += 1;
                continue;
            }
            codes.push_back(next);
            produced += run + 1;
            ++run;
            ++next;
            if (next + 1 >= (1 << width) && width < 12) ++width;
        }
        codes.push_back(257);
        uint64_t acc = 0;
        int bits = 0;
        width = 9;
        next = 258;
        for (size_t i = 0; i < codes.size(); ++i) {
            acc = acc << width | static_cast<uint64_t>(codes[i]);
            bits += width;
            while (bits >= 8) lzw.push_back(static_cast<char>(acc >> (bits - 8))), bits -= 8;
            if (codes[i] == 256) {
                width = 9, next = 258;
            } else if (i > 0 && codes[i - 1] != 256) {
                ++next;
                if (next + 1 >= (1 << width) && width < 12) ++width;
            }
        }
        if (bits) lzw.push_back(static_cast<char>(acc << (8 - bits)));
        (void)produced;
    }
    const std::string decoded = decode_one("/Filter /LZWDecode", lzw);
    ASSERT_GE(decoded.size(), 100000u);
    EXPECT_EQ(decoded.find_first_not_of('\0'), std::string::npos);
    EXPECT_GT(decoded.size(), 8 * lzw.size() + 1024);
}

TEST(Filters, ExtentLimits) {
    PdfWriter w;
    w.add(1, "<< /Length 0 >>\nstream\nendstream");
    w.add(2, "<< /Type /Font >>");
    PdfDocument d;
    ASSERT_TRUE(load(w.build(), &d));
    ByteBuf out;
    EXPECT_EQ(decode_stream(d.data, d.len, *d.find_object(2), &out), 0);
    EXPECT_EQ(out.data, nullptr);  // untouched
    ObjectEntry empty = *d.find_object(1);
    empty.stream_end = empty.stream_start;
    EXPECT_EQ(decode_stream(d.data, d.len, empty, &out), 0);
    EXPECT_EQ(out.data, nullptr);
}

TEST(Filters, AsciiHexAndAscii85) {
    EXPECT_EQ(decode_with(ascii_hex_decode, "41 42 4>"), "AB@");
    EXPECT_EQ(decode_with(ascii_hex_decode, "4g1>"), "A");
    EXPECT_EQ(decode_with(ascii_hex_decode, "61 6"), std::string("a`"));
    EXPECT_EQ(decode_with(ascii85_decode, "z~>"), std::string(4, '\0'));
    EXPECT_EQ(decode_with(ascii85_decode, "zz~>"), std::string(8, '\0'));
    EXPECT_EQ(decode_with(ascii85_decode, "!!z~>"), std::string(1, '\0'));
    EXPECT_EQ(decode_with(ascii85_decode, "<~87cURD]i,\"Ebo80~>"), "");  // '<' starts a group, '~' ends
    EXPECT_EQ(decode_with(ascii85_decode, "s8W-!"), "\xFF\xFF\xFF\xFF");
    EXPECT_EQ(decode_with(ascii85_decode, "uuuuu"), "\x08\x78\x0e\xc4");  // 85^5 - 1 wraps modulo 2^32
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::string s(rng() % 40, '\0');
        for (char &c : s) c = static_cast<char>(rng());
        EXPECT_EQ(decode_with(ascii85_decode, ascii85(s)), s);
        std::string hex;
        for (unsigned char c : s) hex += "0123456789abcdef"[c >> 4], hex += "0123456789ABCDEF"[c & 15], hex += ' ';
        EXPECT_EQ(decode_with(ascii_hex_decode, hex + ">"), s);
    }
    // A last group of one character is dropped.
    EXPECT_EQ(decode_with(ascii85_decode, ascii85("abcd").substr(0, 5) + "!~>"), "abcd");
}

TEST(PageContent, StreamsAreJoinedWithOneSpace) {
    struct Case {
        std::string contents;
        std::string want;
        int result;
    } cases[] = {
        {"[4 0 R 5 0 R]", "A B", 1},
        {"[6 0 R 5 0 R]", "B", 1},       // 6 does not decode: no leading space
        {"[7 0 R 5 0 R]", " B", 1},      // 7 decodes to nothing
        {"[8 0 R 9 0 R]", "", 0},        // nothing found
        {"10 0 R", "A B", 1},            // an array object of content streams
        {"[4 0 R 4 0 R]", "A A", 1},
        {"[4 0 R 6 0 R 5 0 R]", "A B", 1},  // a failing stream between two takes no space
        {"[6 0 R 11 0 R 4 0 R]", std::string(400000, 'q') + " A", 1},  // beyond the first guess of its size
        {"[12 0 R 13 0 R]", "hex then flate flate then hex", 1},  // filter chains, either order
        {"[6 0 R]", "", 0},
    };
    for (const Case &c : cases) {
        PdfWriter w;
        w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        w.add(2, "<< /Type /Pages /Kids [3 0 R] >>");
        w.add(3, "<< /Type /Page /Contents " + c.contents + " >>");
        w.add_stream(4, "", "A");
        w.add_stream(5, "", "B", {.compress = true});
        w.add_stream(6, "/Filter /FlateDecode", "broken");
        w.add_stream(7, "/Filter /ASCIIHexDecode", ">");
        w.add(10, "[4 0 R 5 0 R]");
        w.add_stream(11, "", std::string(400000, 'q'), {.compress = true});
        std::string hex;
        for (unsigned char ch : fixture::zlib_compress("hex then flate"))
            hex += "0123456789abcdef"[ch >> 4], hex += "0123456789abcdef"[ch & 15];
        w.add_stream(12, "/Filter [/ASCIIHexDecode /FlateDecode]", hex + ">");
        w.add_stream(13, "/Filter [/FlateDecode /ASCIIHexDecode]",
                     fixture::zlib_compress("666c6174652074 68656e20686578>"));
        PdfDocument d;
        ASSERT_TRUE(load(w.build(), &d));
        ASSERT_EQ(d.page_count(), 1);
        ByteBuf out;
        EXPECT_EQ(get_page_content(d, d.pages[0], &out), c.result) << c.contents;
        EXPECT_EQ(std::string(out.view()), c.want) << c.contents;
        ASSERT_NE(out.data, nullptr);
    }
}

TEST(StringTokens, LiteralStrings) {
    struct Case {
        std::string token;
        std::string want;
        int32_t next;  // -1: the token's length
    } cases[] = {
        {"(a(b)c)", "a(b)c", -1},
        {"(a\\)b)", "a)b", -1},
        {"(\\101)", "A", -1},
        {"(\\1234)", "S4", -1},
        {"(\\777)", "\xFF", -1},
        {std::string("(\\0x)"), std::string("\0x", 2), -1},
        {"(\\q)", "q", -1},
        {"(\\\n)", "\n", -1},
        {"(\\n\\r\\t\\b\\f\\\\\\()", "\n\r\t\b\f\\(", -1},
        {"(open", "open", 5},
        {"(ends\\", "ends", 5},
        {"(", "", 1},
        {"(a) rest", "a", 3},
    };
    for (const Case &c : cases) {
        ByteBuf out;
        buf_reset(&out);
        int32_t next = -99;
        parse_literal_string2(bytes(c.token), len(c.token), 0, &out, &next);
        EXPECT_EQ(std::string(out.view()), c.want) << c.token;
        EXPECT_EQ(next, c.next < 0 ? len(c.token) : c.next) << c.token;
    }
}

TEST(StringTokens, HexStrings) {
    struct Case {
        std::string token;
        std::string want;
        int32_t next;
    } cases[] = {
        {"<48 65 6c 6C 6f>", "Hello", 16}, {"<abc>", "\xAB\xC0", 5}, {"<>", "", 2},
        {"<4G1>", "A", 5},                 {"<414", "A@", 4},        {"<41> x", "A", 4},
    };
    for (const Case &c : cases) {
        ByteBuf out;
        buf_reset(&out);
        int32_t next = -99;
        parse_hex_string(bytes(c.token), len(c.token), 0, &out, &next);
        EXPECT_EQ(std::string(out.view()), c.want) << c.token;
        EXPECT_EQ(next, c.next) << c.token;
    }
}
