// Dense pages (an index, a price list) compared word by word through the
// exported functions: one changed word is one change whatever the page's
// size, and ignored footers stay ignored.
#include "morvex.h"
#include "test_util.h"

using fixture::DocBuilder;

namespace {

// A page of `n` words in 2-point type, a hundred a line, as an index reads:
// entries, dot leaders and page numbers; word `changed` reads "CHANGED".
// Then a footer line.
// `seed` picks the entries.
std::string entry(size_t k, unsigned seed) {
    const uint64_t h = (k + 1) * 0x9E3779B97F4A7C15ull ^ (seed + 1) * 0xC2B2AE3D27D4EB4Full;
    return (k % 3 ? "p" : "entry") + std::to_string((h >> 29) % 1009);
}

std::string dense_page(size_t n, size_t changed, const std::string &footer, unsigned seed = 0) {
    std::string c = "BT /F1 2 Tf 20 770 Td 2.4 TL (";
    for (size_t k = 0; k < n; ++k) {
        if (k == changed) c += "CHANGED";
        else if (k % 3 == 1) c += "....";
        else c += entry(k, seed);
        c += (k % 100 == 99) ? ") Tj T* (" : " ";
    }
    c += ") Tj ET BT /F1 9 Tf 72 30 Td (" + footer + ") Tj ET";
    return c;
}

std::string doc(const std::string &content) {
    DocBuilder b;
    const int f = b.font("Helvetica");
    b.page({.content = content, .resources = fixture::resources({{"F1", f}}, {})});
    return b.build();
}

std::string run(const std::string &a, const std::string &b, const char *options) {
    const std::string pa = testutil::write_tmp("a.pdf", a), pb = testutil::write_tmp("b.pdf", b);
    const char *r = morvex_compare_opts(pa.c_str(), pb.c_str(), options);
    return r ? r : std::string("error: ") + morvex_last_error();
}

size_t occurrences(const std::string &s, const std::string &what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
    return n;
}

constexpr size_t kNone = static_cast<size_t>(-1);
const char kDetail[] = R"({"report":"detail"})";

}  // namespace

TEST(DensePages, OneChangedWordIsOneChangeAtAnySize) {
    for (size_t n : {2000u, 5000u, 20000u}) {
        const std::string r = run(doc(dense_page(n, kNone, "Printed 2024-01-31")),
                                  doc(dense_page(n, n / 2, "Printed 2024-01-31")), kDetail);
        const size_t k = n / 2;
        const std::string old = k % 3 == 1 ? "...." : entry(k, 0);
        EXPECT_EQ(occurrences(r, "\"op\":"), 1u) << n << ": " << r.substr(0, 400);
        EXPECT_NE(r.find("\"op\":\"replace\",\"old\":\"" + old + "\",\"new\":\"CHANGED\""), std::string::npos)
            << n << ": " << r.substr(0, 400);
    }
}

TEST(DensePages, IgnoredFooterOnADensePage) {
    const std::string a = doc(dense_page(20000, kNone, "Printed 2024-01-31"));
    const std::string b = doc(dense_page(20000, kNone, "Printed 2025-06-02"));
    const std::string c = doc(dense_page(20000, 777, "Printed 2025-06-02"));
    const char *region = R"({"ignore_regions":[{"rect":[0,740,612,792]}]})";
    const char *pattern = R"({"ignore_text":["\\d{4}-\\d{2}-\\d{2}"]})";
    const char *same = R"({"identical":true,"pages_compared":1,"differences":[]})";
    const char *changed = R"({"identical":false,"pages_compared":1,"differences":[{"page":1,"type":"text_changed"}]})";
    for (const char *o : {region, pattern}) {
        EXPECT_EQ(run(a, b, o), same) << o;
        EXPECT_EQ(run(a, c, o), changed) << o;  // a change outside the footer stays
    }
}

TEST(DensePages, UnrelatedDensePagesAreMarkedOnBothSides) {
    const std::string r = run(doc(dense_page(20000, kNone, "Printed 2024-01-31", 1)),
                              doc(dense_page(20000, kNone, "Printed 2024-01-31", 2)), kDetail);
    EXPECT_NE(r.find("\"type\":\"text_changed\""), std::string::npos);
    EXPECT_NE(r.find("\"rects_a\":[["), std::string::npos);
    EXPECT_NE(r.find("\"rects_b\":[["), std::string::npos);
    EXPECT_GE(occurrences(r, "\"op\":"), 1u);
}
