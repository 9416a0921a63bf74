// Comparison with options through the exported functions: pages matched by
// content, page ranges, ignored regions and texts, the detail report.
#include <fstream>
#include <iterator>

#include "morvex.h"
#include "test_util.h"

using fixture::DocBuilder;

namespace {

// A page of several lines of words unique to `seed`, and a footer line.
std::string page_text(int seed, const std::string &footer = "Printed 2024-01-31") {
    std::string c = "BT /F1 11 Tf 72 700 Td 14 TL ";
    for (int line = 0; line < 6; ++line) {
        c += "(";
        for (int w = 0; w < 8; ++w) c += "w" + std::to_string(seed) + "x" + std::to_string(line * 8 + w) + " ";
        c += ") Tj T* ";
    }
    c += "ET BT /F1 9 Tf 72 30 Td (" + footer + ") Tj ET";
    return c;
}

std::string doc(const std::vector<std::string> &contents, int rotate = 0) {
    DocBuilder b;
    const int f = b.font("Helvetica");
    for (const std::string &c : contents)
        b.page({.content = c, .rotate = rotate, .resources = fixture::resources({{"F1", f}}, {})});
    return b.build();
}

std::vector<std::string> pages(std::initializer_list<int> seeds) {
    std::vector<std::string> out;
    for (int s : seeds) out.push_back(s < 0 ? std::string() : page_text(s));
    return out;
}

std::string run(const std::string &a, const std::string &b, const char *options) {
    const std::string pa = testutil::write_tmp("a.pdf", a), pb = testutil::write_tmp("b.pdf", b);
    const char *r = morvex_compare_opts(pa.c_str(), pb.c_str(), options);
    return r ? r : std::string("error: ") + morvex_last_error();
}

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const char kContent[] = R"({"pairing":"content"})";

TEST(CompareOpts, NoOptionsGiveThePlainReports) {
    const std::string a = doc(pages({1, 2, 3})), b = doc(pages({1, 9, 2, 3}));
    const std::string pa = testutil::write_tmp("a.pdf", a), pb = testutil::write_tmp("b.pdf", b);
    const std::string plain = morvex_compare(pa.c_str(), pb.c_str());
    EXPECT_EQ(morvex_compare_opts(pa.c_str(), pb.c_str(), nullptr), plain);
    EXPECT_EQ(morvex_compare_opts(pa.c_str(), pb.c_str(), " { } "), plain);
    const std::string text = morvex_text(pa.c_str(), pb.c_str());
    EXPECT_EQ(morvex_compare_opts(pa.c_str(), pb.c_str(), R"({"report":"text"})"), text);
}

TEST(CompareOpts, PagesMatchedByContent) {
    const struct {
        std::vector<int> a, b;
        const char *json;
    } cases[] = {
        {{1, 2, 3, 4}, {1, 2, 3, 4},
         R"({"identical":true,"pages_compared":4,"differences":[]})"},
        {{1, 2, 3, 4}, {1, 2, 9, 3, 4},
         R"({"identical":false,"pages_compared":5,"differences":[{"page":3,"type":"page_added","page_a":null,"page_b":3}]})"},
        {{1, 2, 3, 4}, {1, 3, 4},
         R"({"identical":false,"pages_compared":4,"differences":[{"page":2,"type":"page_removed","page_a":2,"page_b":null}]})"},
        {{1, 2, 3, 4, 5}, {1, 4, 2, 3, 5},
         R"({"identical":false,"pages_compared":5,"differences":[{"page":2,"type":"page_moved","page_a":4,"page_b":2}]})"},
        {{1, 2, 3, 4, 5}, {1, 7, 8, 9, 5},
         R"({"identical":false,"pages_compared":5,"differences":[{"page":2,"type":"page_removed","page_a":2,"page_b":null},)"
         R"({"page":3,"type":"page_removed","page_a":3,"page_b":null},{"page":4,"type":"page_removed","page_a":4,"page_b":null},)"
         R"({"page":2,"type":"page_added","page_a":null,"page_b":2},{"page":3,"type":"page_added","page_a":null,"page_b":3},)"
         R"({"page":4,"type":"page_added","page_a":null,"page_b":4}]})"},
        {{1, 2, 3}, {1, -1, 2, 3},
         R"({"identical":false,"pages_compared":4,"differences":[{"page":2,"type":"page_added","page_a":null,"page_b":2}]})"},
        // Two identical pages on each side: anchored by their order.
        {{1, 1, 2}, {1, 1, 5, 2},
         R"({"identical":false,"pages_compared":4,"differences":[{"page":3,"type":"page_added","page_a":null,"page_b":3}]})"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> pa, pb;
        for (int s : c.a) pa.push_back(s < 0 ? "" : page_text(s));
        for (int s : c.b) pb.push_back(s < 0 ? "" : page_text(s));
        EXPECT_EQ(run(doc(pa), doc(pb), kContent), c.json);
    }
}

TEST(CompareOpts, ChangedPagePairedAndReportedOnce) {
    std::vector<std::string> a = pages({1, 2, 3, 4}), b = pages({1, 2, 9, 3, 4});
    // One word of page 3 (now page 4) changed.
    b[3] = page_text(3);
    b[3].replace(b[3].find("w3x10"), 5, "CHANGED");
    EXPECT_EQ(run(doc(a), doc(b), kContent),
              R"({"identical":false,"pages_compared":5,"differences":[{"page":3,"type":"page_added","page_a":null,"page_b":3},)"
              R"({"page":4,"type":"text_changed","page_a":3,"page_b":4}]})");
}

TEST(CompareOpts, PageRangesChooseThePages) {
    const std::string a = doc(pages({1, 2, 3, 4})), b = doc(pages({2, 3}));
    EXPECT_EQ(run(a, b, R"({"pages_a":"2-3"})"), R"({"identical":true,"pages_compared":2,"differences":[]})");
    EXPECT_EQ(run(a, b, R"({"pages_a":"3-"})"),
              R"({"identical":false,"pages_compared":2,"differences":[{"page":1,"type":"text_changed"},{"page":2,"type":"text_changed"}]})");
}

TEST(CompareOpts, IgnoredFooterRegionAndText) {
    std::vector<std::string> a, b, c;
    for (int s = 1; s <= 3; ++s) {
        a.push_back(page_text(s, "Printed 2024-01-31"));
        b.push_back(page_text(s, "Printed 2025-06-02"));
        c.push_back(page_text(s, "Printed 2025-06-02"));
    }
    c[1].replace(c[1].find("w2x3"), 4, "zzz");  // a change outside the footer
    const char *region = R"({"ignore_regions":[{"rect":[0,740,612,792]}]})";  // footer: y from the top
    const char *pattern = R"({"ignore_text":["\\d{4}-\\d{2}-\\d{2}"]})";
    const char *same = R"({"identical":true,"pages_compared":3,"differences":[]})";
    EXPECT_EQ(run(doc(a), doc(b), region), same);
    EXPECT_EQ(run(doc(a), doc(b), pattern), same);
    const char *rest = R"({"identical":false,"pages_compared":3,"differences":[{"page":2,"type":"text_changed"}]})";
    EXPECT_EQ(run(doc(a), doc(c), region), rest);
    EXPECT_EQ(run(doc(a), doc(c), pattern), rest);
    // A region elsewhere, a region for other pages or for the other side ignores nothing.
    for (const char *o : {R"({"ignore_regions":[{"rect":[0,0,612,700]}]})",
                          R"({"ignore_regions":[{"rect":[0,740,612,792],"pages":"4-"}]})",
                          R"({"ignore_regions":[{"rect":[0,740,612,792],"side":"a"}]})",
                          R"({"ignore_text":["\\d{4}"]})"})
        EXPECT_EQ(run(doc(a), doc(b), o).find("\"identical\":false"), 1u) << o;
    // On a page turned a quarter, the footer is on the left as displayed.
    EXPECT_EQ(run(doc(a, 90), doc(b, 90), R"({"ignore_regions":[{"rect":[0,0,50,612]}]})"), same);
}

// Pages with text and one drawing each, with an image Im1 to place.
std::string drawing_doc(const std::vector<std::string> &drawings, int rotate = 0) {
    DocBuilder b;
    const int f = b.font("Helvetica"), im = b.image(4, 4);
    for (size_t k = 0; k < drawings.size(); ++k)
        b.page({.content = page_text(static_cast<int>(k) + 1) + "\n" + drawings[k],
                .rotate = rotate,
                .resources = fixture::resources({{"F1", f}}, {{"Im1", im}})});
    return b.build();
}

TEST(CompareOpts, ChangedDrawingsInsideIgnoredRegions) {
    const char *bars = "q 0 g 72 20 2 10 re 76 20 1 10 re f Q";
    const char *footer = R"({"ignore_regions":[{"rect":[0,700,612,792]}]})";  // bottom 92 points
    const struct {
        const char *a, *b;
        const char *options;
        int rotate;
        bool identical;
    } cases[] = {
        // A barcode-like pattern, a footer rule, a stamp and a logo image in the footer.
        {bars, "q 0 g 72 20 1 10 re 75 20 2 10 re f Q", footer, 0, true},
        {bars, "q 1 0 0 rg 72 20 2 10 re 76 20 1 10 re f Q", footer, 0, true},
        {"2 w 72 40 m 540 40 l S", "2 w 72 42 m 540 42 l S", footer, 0, true},
        {"2 w 72 40 m 540 40 l S", "3 w 72 40 m 540 40 l S", footer, 0, true},
        {"q 0 0 1 RG 500 20 40 40 re S Q", "q 1 0 0 RG 500 20 40 40 re S Q", footer, 0, true},
        {"q 40 0 0 20 500 20 cm /Im1 Do Q", "q 40 0 0 20 510 25 cm /Im1 Do Q", footer, 0, true},
        {"BT /F1 9 Tf 300 30 Td (Page) Tj ET", "BT /F1 9 Tf 320 30 Td (Page) Tj ET", footer, 0, true},
        // The same changes outside the region, or reaching out of it.
        {"q 0 g 72 400 2 10 re 76 400 1 10 re f Q", "q 0 g 72 400 1 10 re 75 400 2 10 re f Q", footer, 0, false},
        {"2 w 72 40 m 540 40 l S", "2 w 72 40 m 540 120 l S", footer, 0, false},
        {"2 w 72 91 m 540 91 l S", "4 w 72 91 m 540 91 l S", footer, 0, false},  // the stroke crosses the edge
        {"q 40 0 0 20 500 20 cm /Im1 Do Q", "q 40 0 0 20 500 300 cm /Im1 Do Q", footer, 0, false},
        // The colour changed in the footer is also that of a square drawn outside.
        {"0 g 72 20 9 9 re f 72 400 9 9 re f", "1 0 0 rg 72 20 9 9 re f 72 400 9 9 re f", footer, 0, false},
        // The same drawings in another order, apart: nothing looks different.
        {"72 20 2 10 re f 76 20 1 10 re f", "76 20 1 10 re f\n72 20 2 10 re f", footer, 0, true},
        // Turned a quarter: the footer is on the left as displayed.
        {bars, "q 0 g 72 20 1 10 re 75 20 2 10 re f Q", R"({"ignore_regions":[{"rect":[0,0,92,612]}]})", 90, true},
        {bars, "q 0 g 72 20 1 10 re 75 20 2 10 re f Q", footer, 90, false},
        // Sides and pages: the changed drawing is on both sides, on page 2.
        {bars, "q 1 g 72 20 2 10 re 76 20 1 10 re f Q", R"({"ignore_regions":[{"rect":[0,700,612,792],"side":"a"}]})",
         0, false},
        {bars, "q 1 g 72 20 2 10 re 76 20 1 10 re f Q", R"({"ignore_regions":[{"rect":[0,700,612,792],"side":"b"}]})",
         0, false},
        {bars, "q 1 g 72 20 2 10 re 76 20 1 10 re f Q",
         R"({"ignore_regions":[{"rect":[0,700,612,792],"side":"a"},{"rect":[0,700,612,792],"side":"b","pages":"2"}]})",
         0, true},
        {bars, "q 1 g 72 20 2 10 re 76 20 1 10 re f Q", R"({"ignore_regions":[{"rect":[0,700,612,792],"pages":"1"}]})",
         0, false},
    };
    const char *same = R"({"identical":true,"pages_compared":2,"differences":[]})";
    for (const auto &c : cases) {
        const std::string a = drawing_doc({"", c.a}, c.rotate), b = drawing_doc({"", c.b}, c.rotate);
        const std::string r = run(a, b, c.options);
        if (c.identical) {
            EXPECT_EQ(r, same) << c.a << " | " << c.b;
        } else {
            // A drawing changed, or an image moved (which the image test reports).
            EXPECT_TRUE(r.find(R"({"page":2,"type":"content_changed"})") != std::string::npos ||
                        r.find(R"({"page":2,"type":"image_changed"})") != std::string::npos)
                << c.a << " | " << c.b << r;
            EXPECT_EQ(r.find(R"("page":1)"), std::string::npos) << r;
        }
        // Without options the change is reported as ever.
        const std::string pa = testutil::write_tmp("a.pdf", a), pb = testutil::write_tmp("b.pdf", b);
        EXPECT_NE(std::string(morvex_compare(pa.c_str(), pb.c_str())).find("content_changed"), std::string::npos);
    }
}

TEST(CompareOpts, FilesWithoutPagesFail) {
    const std::string none = "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n";
    const std::string good = testutil::write_tmp("good.pdf", doc(pages({1})));
    const std::string empty = testutil::write_tmp("none.pdf", none);
    EXPECT_EQ(morvex_compare_opts(empty.c_str(), good.c_str(), nullptr), nullptr);
    EXPECT_EQ(std::string(morvex_last_error()), "no pages found: " + empty);
    EXPECT_EQ(morvex_compare_opts(good.c_str(), empty.c_str(), "{}"), nullptr);
    EXPECT_EQ(std::string(morvex_last_error()), "no pages found: " + empty);
    EXPECT_EQ(morvex_visual_opts(good.c_str(), empty.c_str(), testutil::tmp_path("r.pdf").c_str(), nullptr), 0);
    EXPECT_EQ(std::string(morvex_last_error()), "no pages found: " + empty);
    // Bad options fail before any file is read.
    EXPECT_EQ(morvex_compare_opts("/missing.pdf", good.c_str(), "{\"x\":1}"), nullptr);
    EXPECT_EQ(std::string(morvex_last_error()), "options: unknown key \"x\"");
    EXPECT_EQ(morvex_visual_opts("/missing.pdf", good.c_str(), nullptr, "{\"x\":1}"), 0);
    EXPECT_EQ(std::string(morvex_last_error()), "options: unknown key \"x\"");
}

TEST(CompareOpts, VisualWithoutOptionsIsThePlainReport) {
    const std::string pa = testutil::write_tmp("a.pdf", doc(pages({1, 2}))),
                      pb = testutil::write_tmp("b.pdf", doc(pages({1, 3, 4})));
    const std::string r1 = testutil::tmp_path("r1.pdf"), r2 = testutil::tmp_path("r2.pdf");
    ASSERT_EQ(morvex_visual(pa.c_str(), pb.c_str(), r1.c_str()), 1);
    ASSERT_EQ(morvex_visual_opts(pa.c_str(), pb.c_str(), r2.c_str(), "{}"), 1);
    EXPECT_EQ(slurp(r1), slurp(r2));
}

}  // namespace

// Pages are compared, with what they paint, as their signatures are made;
// a comparison of pages the alignment does not pair must leave no trace,
// and one it pairs must give what comparing the pair alone gives.
TEST(CompareOpts, PairsComparedWhilePairingKeepTheirOwnVerdicts) {
    const std::string red = "1 0 0 rg ";
    auto recoloured = [&](int seed) { return red + page_text(seed); };
    auto respelled = [](int seed) { return "q Q " + page_text(seed); };  // paints the same
    auto one_word = [](int seed) {
        std::string p = page_text(seed);
        return p.replace(p.find("x10"), 3, "x99");
    };
    // The report's differences, without the pairs the detail report lists.
    auto differences = [](const std::string &r) {
        const size_t from = r.find(R"("differences")");
        return from == std::string::npos ? r : r.substr(from, r.find(R"("pairs")") - from);
    };
    const std::string style_b2 = R"({"page":2,"type":"content_changed","page_a":1,"page_b":2,)";
    const struct {
        std::vector<std::string> a, b;
        const char *options;
        std::vector<std::string> want;  // pieces of the report, in order
        std::vector<std::string> absent;
    } cases[] = {
        // In place: the re-spelled page is quiet, the recoloured one a style change.
        {{page_text(1), page_text(2), page_text(3)},
         {page_text(1), respelled(2), recoloured(3)},
         R"({"pairing":"content","report":"detail"})",
         {R"("page":3,"type":"content_changed","page_a":3,"page_b":3)", R"("kind":"style")"},
         {R"("page_a":2)"}},
        // A page like page 1 inserted before it: the first pages compared
        // while pairing are not a pair of the alignment.
        {{page_text(1), page_text(2)},
         {one_word(1), recoloured(1), respelled(2)},
         R"({"pairing":"content","report":"detail"})",
         {R"("type":"page_added","page_a":null,"page_b":1)", style_b2, R"("kind":"style")"},
         {"text_changed", R"("page_a":2)"}},
        // An ignored region over the recoloured words leaves nothing.
        {{page_text(1), page_text(2), page_text(3)},
         {page_text(1), respelled(2), recoloured(3)},
         R"({"pairing":"content","ignore_regions":[{"rect":[0,0,612,792],"pages":"3"}]})",
         {R"("differences":[]})"},
         {}},
        {{page_text(1), page_text(2), page_text(3)},
         {page_text(1), respelled(2), recoloured(3)},
         R"({"pairing":"content","ignore_kinds":["style"],"threads":2})",
         {R"("differences":[]})"},
         {}},
    };
    for (const auto &c : cases) {
        const std::string r = differences(run(doc(c.a), doc(c.b), c.options));
        size_t at = 0;
        for (const std::string &w : c.want) {
            const size_t found = r.find(w, at);
            EXPECT_NE(found, std::string::npos) << c.options << " wants " << w << " in " << r;
            if (found != std::string::npos) at = found + w.size();
        }
        for (const std::string &x : c.absent) EXPECT_EQ(r.find(x), std::string::npos) << x << " in " << r;
        // Pairing by content gives the verdicts pairing by position gives
        // where both make the same pairs.
        if (c.a.size() == c.b.size()) {
            std::string pos = c.options;
            pos.replace(pos.find("content"), 7, "position");
            EXPECT_EQ(r, differences(run(doc(c.a), doc(c.b), pos.c_str()))) << c.options;
        }
    }
}
