// Painted elements: what a page paints, and what two pages paint
// differently, with rewrites that change no pixel cancelling out.
#include <array>
#include <cstring>

#include "compare/paint_diff.h"
#include "morvex.h"
#include "page/paint.h"
#include "test_util.h"

using fixture::DocBuilder;
using namespace morvex;

namespace {

// One 612 x 792 page with Helvetica as F1, Times-Roman as F2, a shading Sh1
// an image Im1 and a stencil mask Im2, drawing `content`.
std::string page_doc(const std::string &content) {
    DocBuilder b;
    const int f1 = b.font("Helvetica"), f2 = b.font("Times-Roman"), im = b.image(4, 4);
    const int sh = b.object("<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 100 0] "
                            "/Function << /FunctionType 2 /Domain [0 1] /N 1 /C0 [1 0 0] /C1 [0 0 1] >> >>");
    const int mask = b.stream("/Type /XObject /Subtype /Image /Width 8 /Height 1 /ImageMask true /BitsPerComponent 1",
                              std::string(1, '\x0f'));
    std::string res = fixture::resources({{"F1", f1}, {"F2", f2}}, {{"Im1", im}, {"Im2", mask}});
    // The shading joins the resources dictionary the fixture wrote.
    res.insert(res.rfind(">>"), " /Shading << /Sh1 " + std::to_string(sh) + " 0 R >>");
    b.page({.content = content, .resources = res});
    return b.build();
}

PagePaint paint_of(const std::string &content) {
    PdfDocument d;
    PagePaint p;
    if (!testutil::load(page_doc(content), &d)) return p;
    PageSummary s;
    analyze_page(d, 0, &s, false, &p);
    return p;
}

std::string kinds(const PagePaint &p) {
    static const char *const names[] = {"text", "path", "shading", "image"};
    std::string out;
    for (const PaintElement &e : p.elements) out += std::string(out.empty() ? "" : " ") + names[int(e.kind)];
    return out;
}

// "same", or the kinds of the changes joined by spaces.
std::string changes(const std::string &a, const std::string &b) {
    const std::vector<PaintChange> c = paint_changes(paint_of(a), paint_of(b), PaintDiffOptions{});
    if (c.empty()) return "same";
    std::string out;
    for (const PaintChange &x : c) out += std::string(out.empty() ? "" : " ") + x.kind;
    return out;
}

}  // namespace

TEST(Paint, ElementsOfEachKindAndWhatIsLeftOut) {
    const struct {
        const char *content;
        const char *kinds;
    } cases[] = {
        {"BT /F1 12 Tf 72 700 Td (Hello) Tj ET", "text"},
        {"BT /F1 12 Tf 72 700 Td [(Hel) -20 (lo)] TJ (a) ' ET", "text text"},
        {"72 72 100 50 re f 1 w 72 300 m 200 300 l S", "path path"},
        {"/Sh1 sh", "shading"},
        {"q 50 0 0 50 72 72 cm /Im1 Do Q", "image"},
        {"q 10 0 0 10 72 72 cm BI /W 1 /H 1 /BPC 8 /CS /G ID \x80 EI Q", "image"},
        // Left out: drawn wholly outside the page, a fill without area, no
        // paint at all, invisible text, clipped away, and a no-op q Q.
        {"700 700 50 50 re f -100 -100 50 50 re f", ""},
        {"72 72 m 200 72 l f 72 72 100 0 re f", ""},
        {"72 72 100 50 re n q Q", ""},
        {"BT 3 Tr /F1 12 Tf 72 700 Td (scanned words) Tj ET", ""},
        {"q 0 0 10 10 re W n 300 300 50 50 re f Q 300 300 50 50 re f", "path"},
        // A zero-length stroke still paints its caps.
        {"1 J 5 w 100 100 m 100 100 l S", "path"},
    };
    for (const auto &c : cases) {
        const PagePaint p = paint_of(c.content);
        EXPECT_TRUE(p.complete) << c.content;
        EXPECT_EQ(kinds(p), c.kinds) << c.content;
    }
}

TEST(Paint, TextElementsCarryTheirLook) {
    const PagePaint p = paint_of("BT /F2 10 Tf 2 0 0 2 72 700 Tm 1 0 0 rg (Total) Tj ET");
    ASSERT_EQ(p.elements.size(), 1u);
    const PaintElement &e = p.elements[0];
    EXPECT_EQ(e.text, "Total");
    EXPECT_EQ(e.font, "Times-Roman");
    EXPECT_DOUBLE_EQ(e.size, 20);
    EXPECT_EQ(color_hex(e.fill), "#ff0000");
    EXPECT_NEAR(e.x0, 72 - 0.2 * 20, 0.01);  // ink may reach a fifth of the size beyond the pen
    EXPECT_GT(e.x1, 72 + 20 * 2);            // five glyphs of Times at 20 points
}

TEST(Paint, RewritesThatChangeNoPixelCancel) {
    const char *text = "BT /F1 12 Tf 72 700 Td (Total \\(net\\)) Tj ET";
    const char *path = "0.5 w 0 0 1 RG 72 100 m 300 100 l S";
    const struct {
        const char *a, *b;
    } cases[] = {
        // Strings by their bytes, numbers by their value.
        {text, "BT /F1 12 Tf 72 700 Td <546f74616c20286e657429> Tj ET"},
        {text, "BT\n/F1 12.000 Tf\n72.0 700 Td\n(Total \\050net\\051)Tj\nET"},
        {path, ".5 w 0 0 1 RG 72 100 m 300 100 l S"},
        // Redundant q Q, and a cm that moves the origin instead of the points.
        {path, "q q Q 0.5 w 0 0 1 RG 72 100 m 300 100 l S Q"},
        {path, "0.5 w 0 0 1 RG q 1 0 0 1 72 100 cm 0 0 m 228 0 l S Q"},
        // Colours by value: gray, RGB and CMYK black; colour set through cs.
        {"0 g 72 72 100 50 re f", "0 0 0 rg 72 72 100 50 re f"},
        {"0 g 72 72 100 50 re f", "0 0 0 1 k 72 72 100 50 re f"},
        {"1 0 0 rg 72 72 100 50 re f", "/DeviceRGB cs 1 0 0 sc 72 72 100 50 re f"},
        // A box wholly outside the page, added.
        {path, "0.5 w 0 0 1 RG 72 100 m 300 100 l S 900 900 50 50 re f"},
        // An image that is no mask does not take the fill colour.
        {"q 50 0 0 50 72 72 cm /Im1 Do Q", "1 0 0 rg q 50 0 0 50 72 72 cm /Im1 Do Q"},
        // The same elements apart from each other, in another order.
        {"72 72 10 10 re f 200 72 10 10 re f", "200 72 10 10 re f 72 72 10 10 re f"},
    };
    for (const auto &c : cases) EXPECT_EQ(changes(c.a, c.b), "same") << c.a << " | " << c.b;
}

TEST(Paint, VisibleChangesAreNamed) {
    const char *text = "BT /F1 12 Tf 72 700 Td (Total amount due) Tj ET";
    const char *box = "1 w 72 72 100 50 re S";
    const struct {
        const char *a, *b, *expected;
    } cases[] = {
        {text, "1 0 0 rg BT /F1 12 Tf 72 700 Td (Total amount due) Tj ET", "style"},
        {text, "BT /F2 12 Tf 72 700 Td (Total amount due) Tj ET", "style"},
        {text, "BT /F1 14 Tf 72 700 Td (Total amount due) Tj ET", "style"},
        {text, "BT 1 Tr /F1 12 Tf 72 700 Td (Total amount due) Tj ET", "style"},
        {text, "BT /F1 12 Tf 72 650 Td (Total amount due) Tj ET", "drawing"},  // moved
        {box, "3 w 72 72 100 50 re S", "drawing"},
        {box, "1 w [2 1] 0 d 72 72 100 50 re S", "drawing"},
        {box, "1 w 72 72 100 51 re S", "drawing"},
        {box, "1 w 72 72 100 50 re S 72 300 m 200 300 l S", "drawing"},
        {box, "1 w 0 0 1 RG 72 72 100 50 re S", "drawing"},
        {"72 72 100 50 re f", "72 72 100 50 re f*", "drawing"},
        {"/Sh1 sh", "q 2 0 0 2 0 0 cm /Sh1 sh Q", "drawing"},
        {"q 50 0 0 50 72 72 cm /Im1 Do Q", "q 60 0 0 50 72 72 cm /Im1 Do Q", "drawing"},
        // Stencil masks paint in the fill colour, as XObjects and inline.
        {"q 50 0 0 50 72 72 cm /Im2 Do Q", "1 0 0 rg q 50 0 0 50 72 72 cm /Im2 Do Q", "drawing"},
        {"q 9 0 0 9 72 72 cm BI /W 8 /H 1 /IM true ID \x0f EI Q",
         "1 0 0 rg q 9 0 0 9 72 72 cm BI /W 8 /H 1 /IM true ID \x0f EI Q", "drawing"},
        // Clipping that uncovers more of a box.
        {"q 0 0 100 100 re W n 50 50 100 100 re f Q", "50 50 100 100 re f", "drawing"},
    };
    for (const auto &c : cases) EXPECT_EQ(changes(c.a, c.b), c.expected) << c.a << " | " << c.b;
}

TEST(Paint, PlaceToleranceEdge) {
    // Moved by less than the tolerance: the same; by more: a drawing change.
    EXPECT_EQ(changes("72 72 100 50 re f", "72.04 72 100 50 re f"), "same");
    EXPECT_EQ(changes("72 72 100 50 re f", "72 72.06 100 50 re f"), "drawing");
    EXPECT_EQ(changes("72 72 100 50 re f", "72.1 72 100 50 re f"), "drawing");
}

TEST(Paint, StyleChangeNamesWordsLooksAndPlaces) {
    const std::vector<PaintChange> c =
        paint_changes(paint_of("72 72 100 50 re f BT /F1 12 Tf 72 700 Td (1250.00) Tj ET"),
                      paint_of("72 72 100 50 re f BT /F1 12 Tf 1 0 0 rg 72 700 Td (1250.00) Tj ET"), {});
    ASSERT_EQ(c.size(), 1u);
    EXPECT_STREQ(c[0].kind, "style");
    EXPECT_EQ(c[0].text, "1250.00");
    EXPECT_EQ(c[0].old_look, (PaintLook{"Helvetica", 12, "#000000"}));
    EXPECT_EQ(c[0].new_look, (PaintLook{"Helvetica", 12, "#ff0000"}));
    ASSERT_EQ(c[0].rects_a.size(), 1u);
    ASSERT_EQ(c[0].rects_b.size(), 1u);
    EXPECT_NEAR(c[0].rects_b[0].x, 72 - 0.2 * 12, 0.01);
    // Changed words are the text difference's, unless the texts are the same.
    PaintDiffOptions texts;
    texts.texts_differ = true;
    EXPECT_TRUE(paint_changes(paint_of("BT /F1 12 Tf 72 700 Td (1250.00) Tj ET"),
                              paint_of("BT /F1 12 Tf 72 700 Td (1300.00) Tj ET"), texts)
                    .empty());
}

TEST(Paint, DetailReportAndIgnoredKinds) {
    const std::string pa = testutil::write_tmp("paint-a.pdf", page_doc("BT /F1 12 Tf 72 700 Td (Total) Tj ET")),
                      pb = testutil::write_tmp("paint-b.pdf",
                                               page_doc("BT /F1 12 Tf 1 0 0 rg 72 700 Td (Total) Tj ET 1 w 72 300 m "
                                                        "200 300 l S"));
    const std::string detail = morvex_compare_opts(pa.c_str(), pb.c_str(), R"({"report":"detail"})");
    EXPECT_NE(detail.find(R"("paint_changes":[{"kind":"style","text":"Total","old":{"font":"Helvetica","size":12,)"
                          R"("color":"#000000"},"new":{"font":"Helvetica","size":12,"color":"#ff0000"})"),
              std::string::npos)
        << detail;
    EXPECT_NE(detail.find(R"({"kind":"drawing","rects_a":[],"rects_b":[[71.50,491.50,200.50,492.50]]})"),
              std::string::npos)
        << detail;
    const char *same = R"({"identical":true,"pages_compared":1,"differences":[]})";
    EXPECT_EQ(std::string(morvex_compare_opts(pa.c_str(), pb.c_str(), R"({"ignore_kinds":["style","drawing"]})")),
              same);
    // The line lies inside an ignored region; the style change does not.
    const std::string r = morvex_compare_opts(
        pa.c_str(), pb.c_str(), R"({"report":"detail","ignore_regions":[{"rect":[60,480,300,500]}]})");
    EXPECT_EQ(r.find(R"("kind":"drawing")"), std::string::npos) << r;
    EXPECT_NE(r.find(R"("kind":"style")"), std::string::npos) << r;
    EXPECT_EQ(morvex_compare_opts(pa.c_str(), pb.c_str(), R"({"ignore_kinds":["colour"]})"), nullptr);
    EXPECT_STREQ(morvex_last_error(), R"(options: "ignore_kinds" must be a list of "style", "drawing" and "image", not "colour")");
    // The plain function keeps its report.
    EXPECT_STREQ(morvex_compare(pa.c_str(), pb.c_str()),
                 R"({"identical":false,"pages_compared":1,"differences":[{"page":1,"type":"content_changed"}]})");
}

TEST(Paint, FontsAreKnownByTheirProgramNotOnlyTheirName) {
    // The same subset name over another font program draws other glyphs.
    auto with_program = [](const std::string &program) {
        DocBuilder b;
        const int file = b.stream("", program);
        const int desc = b.object("<< /Type /FontDescriptor /FontName /ABCDEF+Arial /FontFile2 " +
                                  std::to_string(file) + " 0 R >>");
        const int font = b.object("<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+Arial /FontDescriptor " +
                                  std::to_string(desc) + " 0 R >>");
        b.page({.content = "BT /F1 12 Tf 72 700 Td (Total) Tj ET", .resources = fixture::resources({{"F1", font}})});
        PdfDocument d;
        PagePaint p;
        if (testutil::load(b.build(), &d)) {
            PageSummary s;
            analyze_page(d, 0, &s, false, &p);
        }
        return p;
    };
    const PagePaint one = with_program("program one"), same = with_program("program one"),
                    other = with_program("program two");
    ASSERT_EQ(one.elements.size(), 1u);
    EXPECT_EQ(one.elements[0].font, "Arial");
    EXPECT_TRUE(paint_changes(one, same, {}).empty());
    const std::vector<PaintChange> c = paint_changes(one, other, {});
    ASSERT_EQ(c.size(), 1u);
    EXPECT_STREQ(c[0].kind, "style");
}

TEST(Paint, TextBoxesReachAsFarAsTheFontBoxSays) {
    // A brace font whose glyphs reach six ems below the baseline and four
    // above: its runs' boxes cover the whole brace.  Fonts whose box stays
    // within the em box, and broken boxes, keep the em box.
    auto text_box = [](const std::string &bbox, const std::string &content) {
        DocBuilder b;
        const std::string box = bbox.empty() ? "" : " /FontBBox " + bbox;
        const int desc = b.object("<< /Type /FontDescriptor /FontName /Brace /Flags 4" + box + " >>");
        const int font = b.object("<< /Type /Font /Subtype /Type1 /BaseFont /Brace /FontDescriptor " +
                                  std::to_string(desc) + " 0 R >>");
        b.page({.content = content, .resources = fixture::resources({{"F1", font}})});
        PdfDocument d;
        PagePaint p;
        std::array<double, 4> r{};
        if (testutil::load(b.build(), &d)) {
            PageSummary s;
            analyze_page(d, 0, &s, false, &p);
        }
        if (p.elements.size() == 1) r = {p.elements[0].x0, p.elements[0].y0, p.elements[0].x1, p.elements[0].y1};
        return r;
    };
    const std::string upright = "BT /F1 10 Tf 100 400 Td (a) Tj ET";
    const std::array<double, 4> plain = text_box("", upright);
    ASSERT_LT(plain[1], plain[3]);
    EXPECT_EQ(text_box("[-50 -250 1000 900]", upright), plain);
    EXPECT_EQ(text_box("[0 (x) 1 2]", upright), plain);
    EXPECT_EQ(text_box("/NotAnArray", upright), plain);

    // Page space has y up here: the box's bottom and top move 50 units
    // (five more ems of 10) down and 30 up.
    const std::array<double, 4> brace = text_box("[0 -6000 600 4000]", upright);
    EXPECT_DOUBLE_EQ(brace[0], plain[0]);
    EXPECT_DOUBLE_EQ(brace[2], plain[2]);
    EXPECT_NEAR(plain[1] - brace[1], 50, 1e-9);
    EXPECT_NEAR(brace[3] - plain[3], 30, 1e-9);

    // A circle font drawn around its origin reaches 0.6 em before the pen,
    // 0.4 em past the padding; a wide one 0.8 em past the box's end.
    const std::array<double, 4> circle = text_box("[-600 -600 640 640]", upright);
    EXPECT_NEAR(plain[0] - circle[0], 4, 1e-9);
    EXPECT_DOUBLE_EQ(circle[2], plain[2]);
    EXPECT_DOUBLE_EQ(circle[1], plain[1]);
    const std::array<double, 4> wide = text_box("[0 0 2000 500]", upright);
    EXPECT_NEAR(wide[2] - plain[2], 8, 1e-9);
    EXPECT_DOUBLE_EQ(wide[0], plain[0]);

    // Turned a quarter: text space's up is page space's -x.
    const std::string turned = "BT /F1 10 Tf 0 1 -1 0 300 400 Tm (a) Tj ET";
    const std::array<double, 4> t_plain = text_box("", turned), t_brace = text_box("[0 -6000 600 4000]", turned);
    EXPECT_NEAR(t_plain[0] - t_brace[0], 30, 1e-9);
    EXPECT_NEAR(t_brace[2] - t_plain[2], 50, 1e-9);
    EXPECT_DOUBLE_EQ(t_brace[1], t_plain[1]);
    EXPECT_DOUBLE_EQ(t_brace[3], t_plain[3]);
}
