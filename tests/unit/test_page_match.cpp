// Pages read alike: a document against a rewrite of itself (objects
// renumbered, dictionaries reordered, objects packed in an object stream,
// content compressed) skips the analysis of its pages with exactly the
// reports the full analysis gives, and a page whose content is the same but
// whose resources are not is still analysed.
#include <fstream>
#include <iterator>

#include "../include/morvex.h"
#include "compare/diff.h"
#include "page/page_match.h"
#include "report/json.h"
#include "report/visual.h"
#include "test_util.h"

using namespace morvex;

namespace {

// One logical document; a Shape says how it is written and what of it changes.
struct Shape {
    bool renumber = false;      // other object numbers, in another order
    bool reverse_keys = false;  // dictionary entries in reverse order
    bool objstm = false;        // plain objects inside an object stream
    bool compress = false;      // content streams compressed
    int width_a = 500;          // /Widths of 'a' in the simple font
    std::string unicode_1 = "0078";  // ToUnicode of CID 1 ("x")
    std::string form_text = "(abc)";
    std::string form_matrix = "1 0 0 1 10 20";
    bool alias_form = true;     // /Fm and /Fm2 name one form (else two copies)
    std::string base_font = "Helvetica";
    std::string box = "0 0 612 792";
    std::string field_text = "(abcd)";     // a form field's appearance on page 1
    std::string field_rect = "300 300 400 320";
    int field_flags = 4;
};

enum Obj { CAT = 1, PAGES, SIMPLE, TYPE0, DESC, TOU, IMG, FORM, FORM2, RES, HELV, P1, C1, P2, C2, P3, C3, FIELD, FIELD_AP, LAST };

std::string write(const Shape &l) {
    auto n = [&](int k) { return l.renumber ? 200 - 7 * k : k; };
    auto r = [&](int k) { return std::to_string(n(k)) + " 0 R"; };
    auto dict = [&](std::vector<std::pair<std::string, std::string>> e) {
        if (l.reverse_keys) std::reverse(e.begin(), e.end());
        std::string s = l.reverse_keys ? "<<" : "<< ";
        for (const auto &[k, v] : e) s += "/" + k + (l.reverse_keys ? "\n" : " ") + v + " ";
        return s + ">>";
    };
    fixture::PdfWriter w;
    w.set_root(n(CAT));
    auto plain = [&](int k, const std::string &body) {
        if (l.objstm) w.add_in_objstm(n(LAST), n(k), body);
        else w.add(n(k), body);
    };
    auto stream = [&](int k, const std::string &d, const std::string &data, bool compress) {
        fixture::StreamOptions o;
        o.compress = compress;
        w.add_stream(n(k), d, data, o);
    };
    plain(CAT, dict({{"Type", "/Catalog"}, {"Pages", r(PAGES)}}));
    plain(PAGES, dict({{"Type", "/Pages"}, {"Kids", "[" + r(P1) + " " + r(P2) + " " + r(P3) + "]"}, {"Count", "3"}}));
    plain(SIMPLE, dict({{"Type", "/Font"}, {"Subtype", "/Type1"}, {"BaseFont", "/Custom"}, {"FirstChar", "97"},
                        {"LastChar", "100"}, {"Widths", "[" + std::to_string(l.width_a) + " 600 700 800]"},
                        {"Encoding", dict({{"Type", "/Encoding"}, {"Differences", "[97 /a /b /c /d]"}})}}));
    plain(TYPE0, dict({{"Type", "/Font"}, {"Subtype", "/Type0"}, {"BaseFont", "/X"}, {"Encoding", "/Identity-H"},
                       {"DescendantFonts", "[" + r(DESC) + "]"}, {"ToUnicode", r(TOU)}}));
    plain(DESC, dict({{"Type", "/Font"}, {"Subtype", "/CIDFontType2"}, {"BaseFont", "/X"}, {"W", "[1 [500 600]]"},
                      {"CIDSystemInfo", dict({{"Registry", "(Adobe)"}, {"Ordering", "(Identity)"}, {"Supplement", "0"}})},
                      {"DW", "1000"}}));
    stream(TOU, "", "1 begincodespacerange <0000> <FFFF> endcodespacerange\n2 beginbfchar <0001> <" + l.unicode_1 +
                        "> <0002> <0079> endbfchar\n", true);
    stream(IMG, "/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceGray /BitsPerComponent 8",
           "abcd", true);
    const std::string form_dict = "/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Matrix [" + l.form_matrix +
                                  "] /Resources " + dict({{"Font", dict({{"FF", r(SIMPLE)}})}});
    const std::string form_data = "BT /FF 10 Tf 0 0 Td " + l.form_text + " Tj ET";
    stream(FORM, form_dict, form_data, true);
    if (!l.alias_form) stream(FORM2, form_dict, form_data, true);
    plain(RES, dict({{"Font", dict({{"F1", r(SIMPLE)}, {"F2", r(TYPE0)}, {"F3", r(HELV)}})},
                     {"XObject", dict({{"Im", r(IMG)}, {"Fm", r(FORM)}, {"Fm2", r(l.alias_form ? FORM : FORM2)}})}}));
    plain(HELV, dict({{"Type", "/Font"}, {"Subtype", "/Type1"}, {"BaseFont", "/" + l.base_font}}));
    const std::string contents[3] = {
        // "ab" ends where "cd" starts with the widths given: one word.
        "BT /F1 12 Tf 72 700 Td (ab) Tj 1 0 0 1 85.2 700 Tm (cd) Tj ET",
        "BT /F2 12 Tf 72 600 Td <00010002> Tj ET BT /F3 12 Tf 72 500 Td (Hello world) Tj ET",
        "q 50 0 0 50 300 300 cm /Im Do Q /Fm Do /Fm2 Do BT /F3 9 Tf 72 72 Td (forms) Tj ET",
    };
    plain(FIELD, dict({{"Type", "/Annot"}, {"Subtype", "/Widget"}, {"Rect", "[" + l.field_rect + "]"},
                       {"F", std::to_string(l.field_flags)}, {"AP", dict({{"N", r(FIELD_AP)}})}}));
    stream(FIELD_AP, "/BBox [0 0 100 20]", "BT /F1 10 Tf 2 5 Td " + l.field_text + " Tj ET", true);
    const int page_objs[3][2] = {{P1, C1}, {P2, C2}, {P3, C3}};
    for (int k = 0; k < 3; ++k) {
        const auto [p, c] = page_objs[k];
        // The last page holds its resources in place.
        plain(p, dict({{"Type", "/Page"}, {"Parent", r(PAGES)}, {"MediaBox", "[" + l.box + "]"},
                       {"Resources", k == 2 ? "<< /Font << /F3 " + r(HELV) + " >> /XObject << /Im " + r(IMG) +
                                                  " /Fm " + r(FORM) + " /Fm2 " + r(l.alias_form ? FORM : FORM2) + " >> >>"
                                            : r(RES)},
                       {"Contents", r(c)}, {"Annots", k == 0 ? "[" + r(FIELD) + "]" : "[]"}}));
        stream(c, "", contents[k], l.compress);
    }
    return w.build();
}

Shape rewrite() {
    Shape l;
    l.renumber = l.reverse_keys = l.objstm = l.compress = true;
    return l;
}

// The three JSON reports of a pair, from the pages known alike or from
// every page analysed.
std::string reports(const PdfDocument &a, const PdfDocument &b, bool analyse_all) {
    std::string out;
    for (const char *options : {"{}", "{\"pairing\":\"content\"}", "{\"report\":\"detail\"}",
                                "{\"report\":\"text\",\"pairing\":\"content\"}",
                                "{\"report\":\"detail\",\"ignore_regions\":[{\"rect\":[0,0,100,100]}]}"}) {
        CompareOptions o;
        o.analyse_alike_pages = analyse_all;
        o.report = std::strstr(options, "detail") ? ReportKind::Detail
                   : std::strstr(options, "text") ? ReportKind::Text
                                                  : ReportKind::Compare;
        if (std::strstr(options, "content")) o.pairing = Pairing::Content;
        if (std::strstr(options, "rect")) o.ignore_regions.push_back(IgnoreRegion{});
        DiffList list;
        compare_docs_opts(a, b, o, &list);
        ByteBuf buf;
        if (o.report == ReportKind::Detail) build_detail_json(a, b, list, &buf);
        else if (o.report == ReportKind::Text) build_text_json(list, &buf);
        else build_compare_json(list, &buf);
        out += std::string(buf.view()) + "\n";
    }
    return out;
}

}  // namespace

TEST(PageMatch, RewriteReadsAlikeWithTheReportsOfTheFullAnalysis) {
    PdfDocument a, b;
    ASSERT_TRUE(testutil::load(write(Shape{}), &a));
    ASSERT_TRUE(testutil::load(write(rewrite()), &b));
    ASSERT_EQ(a.page_count(), 3);
    ASSERT_EQ(b.page_count(), 3);
    PageMatcher m(a, b);
    for (int p = 0; p < 3; ++p) EXPECT_TRUE(m.same(p, p)) << "page " << p + 1;
    EXPECT_FALSE(m.same(0, 1));
    EXPECT_FALSE(m.same(1, 2));
    // The text really is read (the pages are not alike by being empty).
    PageSummary s;
    analyze_page(b, 1, &s);
    EXPECT_EQ(s.text, "xy Hello world ");
    page_analysis_free(&s);
    analyze_page(b, 0, &s);
    EXPECT_EQ(s.text, "abcd abcd ");
    const std::string fast = reports(a, b, false);
    EXPECT_EQ(fast, reports(a, b, true));
    EXPECT_EQ(fast.substr(0, fast.find('\n')), "{\"identical\":true,\"pages_compared\":3,\"differences\":[]}");
}

TEST(PageMatch, SameContentOtherResourcesIsAnalysed) {
    struct Case {
        const char *what;
        Shape changed;
        int page;              // 1-based page that differs
        const char *expected;  // what the compare report says of it ("" when it cannot tell)
    };
    std::vector<Case> cases;
    auto add = [&](const char *what, int page, const char *expected, auto change) {
        Shape l = rewrite();
        change(l);
        cases.push_back({what, l, page, expected});
    };
    add("widths", 1, "text_changed", [](Shape &l) { l.width_a = 100; });  // "ab" no longer meets "cd"
    add("tounicode", 2, "text_changed", [](Shape &l) { l.unicode_1 = "007A"; });
    add("standard font", 2, "", [](Shape &l) { l.base_font = "Courier"; });
    add("form content", 3, "text_changed", [](Shape &l) { l.form_text = "(abd)"; });
    add("form matrix", 3, "", [](Shape &l) { l.form_matrix = "1 0 0 1 10 30"; });
    // Two copies of a form are hashed twice, one form drawn twice once; both
    // paint the same.
    add("form drawn under two names", 3, "", [](Shape &l) { l.alias_form = false; });
    add("media box", 1, "dimensions_changed", [](Shape &l) { l.box = "0 0 595 842"; });
    add("field value", 1, "text_changed", [](Shape &l) { l.field_text = "(abdc)"; });
    add("field moved", 1, "", [](Shape &l) { l.field_rect = "300 310 400 330"; });
    add("field hidden", 1, "text_changed", [](Shape &l) { l.field_flags = 6; });
    PdfDocument a;
    ASSERT_TRUE(testutil::load(write(Shape{}), &a));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PdfDocument b;
        ASSERT_TRUE(testutil::load(write(c.changed), &b));
        PageMatcher m(a, b);
        EXPECT_FALSE(m.same(c.page - 1, c.page - 1));
        const std::string fast = reports(a, b, false);
        EXPECT_EQ(fast, reports(a, b, true));
        if (*c.expected) {
            EXPECT_NE(fast.find("{\"page\":" + std::to_string(c.page) + ",\"type\":\"" + c.expected + "\""),
                      std::string::npos)
                << fast;
        }
    }
}

TEST(PageMatch, IdenticalFilesGiveTheReportsOfTwoLoads) {
    const std::string pdf = write(Shape{});
    const std::string x = testutil::write_tmp("x.pdf", pdf), y = testutil::write_tmp("y.pdf", pdf);
    const std::string out = testutil::tmp_path("report.pdf");
    PdfDocument a, b;
    ASSERT_TRUE(testutil::load(pdf, &a));
    ASSERT_TRUE(testutil::load(pdf, &b));
    DiffList list;
    compare_docs(a, b, &list, 1, true);
    ByteBuf json, report;
    build_compare_json(list, &json);
    ASSERT_TRUE(build_visual_report(a, b, list, &report));
    morvex_init();
    for (const std::string &second : {x, y}) {
        const char *got = morvex_compare(x.c_str(), second.c_str());
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(std::string(got), std::string(json.view()));
        ASSERT_EQ(morvex_visual(x.c_str(), second.c_str(), out.c_str()), 1);
        std::ifstream f(out, std::ios::binary);
        const std::string written((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        EXPECT_EQ(written, std::string(report.view()));
    }
    // A different file of the same size is loaded, not taken for A.
    std::string other = pdf;
    other[other.find("(Hello world)") + 1] = 'J';
    const std::string z = testutil::write_tmp("z.pdf", other);
    const char *got = morvex_compare(x.c_str(), z.c_str());
    ASSERT_NE(got, nullptr);
    EXPECT_NE(std::string(got).find("{\"page\":2,\"type\":\"text_changed\"}"), std::string::npos) << got;
    morvex_cleanup();
}
