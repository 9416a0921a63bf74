// Painted changes no one can see are not reported (under a later opaque
// rectangle, white where nothing was painted, clipped away), while the same
// changes where something shows through are; and resources that change the
// look (graphics states, shadings, patterns, soft masks, form boxes, text
// that clips) are compared by what they hold, not by their names.
#include <string>

#include "compare/paint_diff.h"
#include "morvex.h"
#include "page/paint.h"
#include "test_util.h"

using fixture::DocBuilder;
using namespace morvex;

namespace {

// One 612 x 792 page with Helvetica as F1 and resources whose names stay
// while `other` changes what some of them hold:
//   GSa, GSb  opaque, the same values under two names;  GSt  ca 0.5;
//   GSm  blend mode Multiply;  GSs  a soft mask (its group's colour varies);
//   GSw  line width 2 (4 when other);
//   Sh1, Sh2  one axial shading under two names;  Sh3  red to blue (red to green);
//   P1, P2  one tiling pattern under two names;  P3  a blue square (green);
//   Fm1  a form with /BBox [0 0 50 50] (0 0 100 100) filling 0 0 200 200;
//   Fm2  a form that draws Fm1's square, with a stroke outside its box that
//        changes with `other`.
std::string page_doc(const std::string &content, bool other = false, bool optional_content = false) {
    DocBuilder b;
    if (optional_content)
        b.writer().set_root(b.object("<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [] /D << >> >> >>"));
    const int f1 = b.font("Helvetica");
    const std::string fn = "<< /FunctionType 2 /Domain [0 1] /N 1 /C0 [1 0 0] /C1 [0 0 1] >>";
    const int sh1 = b.object("<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 100 0] /Function " + fn + " >>");
    const int sh2 = b.object("<<  /Function " + fn + " /Coords [0 0 100.0 0] /ShadingType 2 /ColorSpace /DeviceRGB >>");
    const int sh3 = b.object("<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 100 0] /Function "
                             "<< /FunctionType 2 /Domain [0 1] /N 1 /C0 [1 0 0] /C1 " +
                             std::string(other ? "[0 1 0]" : "[0 0 1]") + " >> >>");
    const std::string tile = "/Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] "
                             "/XStep 10 /YStep 10 /Resources << >>";
    const int p1 = b.stream(tile, "0 0 1 rg 0 0 5 5 re f"), p2 = b.stream(tile, "0 0 1 rg 0 0 5 5 re f", true);
    const int p3 = b.stream(tile, other ? "0 1 0 rg 0 0 5 5 re f" : "0 0 1 rg 0 0 5 5 re f");
    const int group = b.stream("/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Group << /S /Transparency >>",
                               other ? "0.5 g 0 0 612 792 re f" : "1 g 0 0 612 792 re f");
    const int fm1 = b.stream(std::string("/Type /XObject /Subtype /Form /BBox ") +
                                 (other ? "[0 0 100 100]" : "[0 0 50 50]"),
                             "0 0 1 rg 0 0 200 200 re f");
    const int fm2 = b.stream("/Type /XObject /Subtype /Form /BBox [0 0 50 50]",
                             std::string("0 0 1 rg 0 0 200 200 re f ") + (other ? "3" : "1") + " w 60 60 m 90 90 l S");
    std::string res = fixture::resources({{"F1", f1}}, {{"Fm1", fm1}, {"Fm2", fm2}});
    const auto ref = [](int n) { return " " + std::to_string(n) + " 0 R"; };
    res.insert(res.rfind(">>"),
               " /ExtGState << /GSa << /ca 1 /BM /Normal >> /GSb << /BM /Normal /ca 1.0 >> /GSt << /ca 0.5 >>"
               " /GSm << /BM /Multiply >> /GSs << /SMask << /S /Luminosity /G" +
                   ref(group) + " >> >> /GSw << /LW " + (other ? "4" : "2") +
                   " >> >>"
                   " /Shading << /Sh1" +
                   ref(sh1) + " /Sh2" + ref(sh2) + " /Sh3" + ref(sh3) + " >> /Pattern << /P1" + ref(p1) + " /P2" +
                   ref(p2) + " /P3" + ref(p3) + " >>");
    b.page({.content = content, .resources = res});
    return b.build();
}

PagePaint paint_of(const std::string &content, bool other = false, bool optional_content = false) {
    PdfDocument d;
    PagePaint p;
    if (!testutil::load(page_doc(content, other, optional_content), &d)) return p;
    PageSummary s;
    analyze_page(d, 0, &s, false, &p);
    return p;
}

std::string changes(const PagePaint &a, const PagePaint &b) {
    const std::vector<PaintChange> c = paint_changes(a, b, PaintDiffOptions{});
    if (c.empty()) return "same";
    std::string out;
    for (const PaintChange &x : c) out += std::string(out.empty() ? "" : " ") + x.kind;
    return out;
}

// A stroke, then what is painted over it.
std::string under(const char *width, const char *over) {
    return std::string("0 0 1 RG ") + width + " w 100 100 m 200 200 l S " + over;
}

}  // namespace

TEST(PaintHidden, ChangesUnderALaterOpaqueRectangleAreNotSeen) {
    const char *cover = "0 1 0 rg 50 50 200 200 re f";
    const struct {
        std::string a, b;
        const char *expected;
    } cases[] = {
        {under("1", cover), under("5", cover), "same"},
        {under("1", "0 1 0 rg 50 50 m 250 50 l 250 250 l 50 250 l h f"),
         under("5", "0 1 0 rg 50 50 m 250 50 l 250 250 l 50 250 l h f"), "same"},
        {under("1", "q 0 0 612 792 re W n 0 1 0 rg 50 50 200 200 re f Q"),
         under("5", "q 0 0 612 792 re W n 0 1 0 rg 50 50 200 200 re f Q"), "same"},
        // A stroke cut by the page's edge, under a cover that reaches past it.
        {"0 0 1 RG 1 w 500 100 m 620 200 l S 0 1 0 rg 400 50 300 300 re f",
         "0 0 1 RG 4 w 500 100 m 620 200 l S 0 1 0 rg 400 50 300 300 re f", "same"},
        {std::string("BT /F1 12 Tf 100 150 Td (Total) Tj ET ") + cover,
         std::string("1 0 0 rg BT /F1 14 Tf 100 150 Td (Total) Tj ET ") + cover, "same"},
        {"q /GSt gs " + under("1", "Q ") + cover, "q /GSt gs " + under("5", "Q ") + cover, "same"},
        // Something shows through, or the cover does not hold all of it.
        {under("1", "/GSt gs 0 1 0 rg 50 50 200 200 re f"), under("5", "/GSt gs 0 1 0 rg 50 50 200 200 re f"),
         "drawing"},
        {under("1", "/GSm gs 0 1 0 rg 50 50 200 200 re f"), under("5", "/GSm gs 0 1 0 rg 50 50 200 200 re f"),
         "drawing"},
        {under("1", "/GSs gs 0 1 0 rg 50 50 200 200 re f"), under("5", "/GSs gs 0 1 0 rg 50 50 200 200 re f"),
         "drawing"},
        {under("1", "/Pattern cs /P1 scn 50 50 200 200 re f"), under("5", "/Pattern cs /P1 scn 50 50 200 200 re f"),
         "drawing"},
        {under("1", "q 50 50 m 250 50 l 150 250 l h W n 0 1 0 rg 50 50 200 200 re f Q"),
         under("5", "q 50 50 m 250 50 l 150 250 l h W n 0 1 0 rg 50 50 200 200 re f Q"), "drawing"},
        {under("1", "0 1 0 rg 50 50 200 200 re 150 150 10 10 re f*"),
         under("5", "0 1 0 rg 50 50 200 200 re 150 150 10 10 re f*"), "drawing"},
        {under("1", "0 1 0 rg 50 50 m 250 50 l 250 250 l h f"), under("5", "0 1 0 rg 50 50 m 250 50 l 250 250 l h f"),
         "drawing"},
        {under("1", "0 1 0 rg 101 101 200 200 re f"), under("5", "0 1 0 rg 101 101 200 200 re f"), "drawing"},
        {under("1", "0 1 0 rg 50 50 200 200 re B"), under("5", "0 1 0 rg 50 50 200 200 re B"), "drawing"},
        {std::string(cover) + " " + under("1", ""), std::string(cover) + " " + under("5", ""), "drawing"},
        // The cover's own change is seen, whatever it hides.
        {under("1", cover), under("5", "1 0 0 rg 50 50 200 200 re f"), "drawing"},
        {under("1", cover), under("5", ""), "drawing"},
    };
    for (const auto &c : cases) EXPECT_EQ(changes(paint_of(c.a), paint_of(c.b)), c.expected) << c.a << " | " << c.b;
    // Optional content, which this reader draws whole, may hide the cover.
    EXPECT_EQ(changes(paint_of(under("1", cover), false, true), paint_of(under("5", cover), false, true)), "drawing");
}

TEST(PaintHidden, WhiteWhereNothingWasPaintedIsNotSeen) {
    const char *text = "BT /F1 12 Tf 72 700 Td (Total) Tj ET ";
    const struct {
        std::string a, b;
        const char *expected;
    } cases[] = {
        {std::string(text) + "1 g 300 300 50 50 re f", std::string(text) + "1 g 320 300 50 50 re f", "same"},
        {text, std::string(text) + "1 1 1 rg 300 300 50 50 re f 0 0 0 0 k 100 100 20 20 re f", "same"},
        {text, std::string(text) + "1 G 3 w 300 300 m 400 400 l S", "same"},
        {text, std::string(text) + "1 g BT /F1 12 Tf 300 300 Td (hidden words) Tj ET", "same"},
        // White over white painted where nothing was.
        {std::string(text) + "1 g 300 300 50 50 re f", std::string(text) + "1 g 300 300 50 50 re f 310 310 9 9 re f",
         "same"},
        // Over something painted before, in another colour, or see-through.
        {std::string(text) + "0 g 290 290 100 100 re f 1 g 300 300 50 50 re f",
         std::string(text) + "0 g 290 290 100 100 re f 1 g 320 300 50 50 re f", "drawing"},
        {text, std::string(text) + "0 0 0 1 k 300 300 50 50 re f", "drawing"},
        {text, std::string(text) + "0.99 g 300 300 50 50 re f", "drawing"},
        {text, std::string(text) + "1 g 0 G 300 300 50 50 re B", "drawing"},
        {text, std::string(text) + "/GSm gs 1 g 300 300 50 50 re f", "drawing"},
        {text, std::string(text) + "1 g BT /F1 12 Tf 72 700 Td (Total) Tj ET", "drawing"},
    };
    for (const auto &c : cases) EXPECT_EQ(changes(paint_of(c.a), paint_of(c.b)), c.expected) << c.a << " | " << c.b;
}

TEST(PaintHidden, ResourcesAreComparedByWhatTheyHold) {
    const struct {
        std::string a, b;
        bool other;  // B's resources hold other values under the same names
        const char *expected;
    } cases[] = {
        // The same values under other names, or other spellings.
        {"/GSa gs 72 72 100 50 re f", "/GSb gs 72 72 100 50 re f", false, "same"},
        {"/Sh1 sh", "/Sh2 sh", false, "same"},
        {"/Pattern cs /P1 scn 72 72 100 50 re f", "/Pattern cs /P2 scn 72 72 100 50 re f", false, "same"},
        // Resources whose values did not change.
        {"/GSs gs /Sh1 sh /Pattern cs /P1 scn 72 72 100 50 re f /Fm2 Do", "same", false, "same"},
        // Other values under the same names.
        {"/Sh3 sh", "", true, "drawing"},
        {"/Pattern cs /P3 scn 72 72 100 50 re f", "", true, "drawing"},
        {"/GSs gs 0 g 72 72 100 50 re f", "", true, "drawing"},
        {"/GSw gs 72 72 m 200 200 l S", "", true, "drawing"},
        {"/GSt gs 72 72 100 50 re f", "/GSa gs 72 72 100 50 re f", false, "drawing"},
        // A form's box clips what it paints: a box that shows more is seen,
        // a change beyond the box is not.
        {"/Fm1 Do", "", true, "drawing"},
        {"/Fm2 Do", "", true, "same"},
        {"q 2 0 0 2 100 100 cm /Fm2 Do Q", "", true, "same"},
    };
    for (const auto &c : cases) {
        const std::string b = c.b == "same" || c.b.empty() ? c.a : c.b;
        EXPECT_EQ(changes(paint_of(c.a), paint_of(b, c.other)), c.expected) << c.a << " | " << b;
    }
}

TEST(PaintHidden, TextThatClipsIsComparedByItsGlyphs) {
    const auto through = [](const char *words) {
        return std::string("BT 7 Tr /F1 40 Tf 72 600 Td (") + words + ") Tj ET 1 0 0 rg 0 0 612 792 re f";
    };
    EXPECT_EQ(changes(paint_of(through("ABC")), paint_of(through("ABC"))), "same");
    EXPECT_EQ(changes(paint_of(through("ABC")), paint_of(through("XYZ"))), "drawing");
    // Clipped to the glyphs' place: a change far from them is not seen.
    const std::string clip = "BT 7 Tr /F1 40 Tf 72 600 Td (ABC) Tj ET ";
    EXPECT_EQ(changes(paint_of(clip + "1 0 0 rg 300 100 50 50 re f"), paint_of(clip + "1 0 0 rg 320 100 50 50 re f")),
              "same");
    // Text that fills and clips (4) is itself painted.
    EXPECT_EQ(changes(paint_of("BT 4 Tr /F1 40 Tf 72 600 Td (ABC) Tj ET"),
                      paint_of("0 0 1 rg BT 4 Tr /F1 40 Tf 72 600 Td (ABC) Tj ET")),
              "style");
}

TEST(PaintHidden, ManyCoversStayBounded) {
    // 2,000 changed strokes under 5,000 covers of the whole page: far more
    // cell visits than the grid allows, so only the first covers are
    // entered, and those suffice.
    std::string a, b, covers;
    for (int k = 0; k < 5000; ++k) covers += "0 g 0 0 612 792 re f\n";
    for (int k = 0; k < 2000; ++k) {
        const std::string at = std::to_string(100 + k % 400) + " " + std::to_string(100 + k / 4);
        a += "0.1 w " + at + " m 20 20 l S\n";
        b += "0.2 w " + at + " m 20 20 l S\n";
    }
    EXPECT_EQ(changes(paint_of(a + covers), paint_of(b + covers)), "same");
    EXPECT_NE(changes(paint_of(covers + a), paint_of(covers + b)), "same");
}

TEST(PaintHidden, ResourcesChangedUnderTheSameNamesAreFoundThroughTheOptions) {
    // Equal content bytes: only the resources' values tell the pages apart.
    const std::string content = "q 60 60 240 80 re W n /Sh3 sh Q BT /F1 12 Tf 72 700 Td (Total) Tj ET";
    const std::string a = testutil::write_tmp("look-a.pdf", page_doc(content)),
                      b = testutil::write_tmp("look-b.pdf", page_doc(content, true)),
                      same = testutil::write_tmp("look-same.pdf", page_doc(content));
    EXPECT_STREQ(morvex_compare_opts(a.c_str(), b.c_str(), "{}"),
                 R"({"identical":false,"pages_compared":1,"differences":[{"page":1,"type":"content_changed"}]})");
    const std::string r = morvex_compare_opts(a.c_str(), b.c_str(), R"({"report":"detail"})");
    EXPECT_NE(r.find(R"("rects_a":[[60.00,652.00,300.00,732.00]])"), std::string::npos) << r;
    EXPECT_STREQ(morvex_compare_opts(a.c_str(), same.c_str(), "{}"),
                 R"({"identical":true,"pages_compared":1,"differences":[]})");
    // The plain function keeps its report: the content bytes are equal.
    EXPECT_STREQ(morvex_compare(a.c_str(), b.c_str()), R"({"identical":true,"pages_compared":1,"differences":[]})");
}
