// The crop box: what a viewer shows of a page is what sizes, rectangles and
// comparisons are about.
#include "compare/diff.h"
#include "test_util.h"

using namespace morvex;
using fixture::DocBuilder;

namespace {

struct Shape {
    std::string pages_extra, page_extra;
    std::string content = "BT /F1 12 Tf 150 500 Td (Hello) Tj ET";
    std::string media = "0 0 612 792";
};

std::string build(const Shape &s, const std::string &image_samples = "ABCD") {
    DocBuilder b;
    const int f = b.font("Helvetica");
    const int im = b.stream("/Type /XObject /Subtype /Image /Width 2 /Height 2 /BitsPerComponent 8 /ColorSpace "
                            "/DeviceGray",
                            image_samples, true);
    b.pages_extra = s.pages_extra;
    b.page_extra = s.page_extra;
    b.page({.content = s.content, .media_box = s.media, .resources = fixture::resources({{"F1", f}}, {{"Im1", im}})});
    return b.build();
}

std::vector<double> box_of(const std::string &pdf, bool *cropped = nullptr) {
    PdfDocument d;
    EXPECT_TRUE(testutil::load(pdf, &d));
    if (d.pages.empty()) return {};
    const PageEntry &p = d.pages[0];
    if (cropped) *cropped = p.cropped;
    return {p.box_x, p.box_y, p.box_w, p.box_h};
}

DiffList compare(const std::string &a, const std::string &b) {
    PdfDocument da, db;
    EXPECT_TRUE(testutil::load(a, &da));
    EXPECT_TRUE(testutil::load(b, &db));
    DiffList list;
    compare_docs(da, db, &list, 1);
    return list;
}

std::string kinds(const DiffList &list) {
    std::string s;
    for (const DiffEntry &e : list.entries) s += std::to_string(e.page) + ":" + e.type + " ";
    return s;
}

}  // namespace

TEST(CropBox, ThePageShowsItsCropBoxInheritedAndClippedToTheMediaBox) {
    struct Case {
        const char *what;
        Shape shape;
        std::vector<double> want;
        bool cropped;
    } cases[] = {
        {"none", {}, {0, 0, 612, 792}, false},
        {"on the page", {.page_extra = "/CropBox [10 20 310 420]"}, {10, 20, 300, 400}, true},
        {"corners in any order", {.page_extra = "/CropBox [310 420 10 20]"}, {10, 20, 300, 400}, true},
        {"inherited from the page tree", {.pages_extra = "/CropBox [10 20 310 420]"}, {10, 20, 300, 400}, true},
        {"the page's own wins", {.pages_extra = "/CropBox [0 0 100 100]", .page_extra = "/CropBox [10 20 310 420]"},
         {10, 20, 300, 400}, true},
        {"clipped to the media box", {.page_extra = "/CropBox [-50 -50 300 900]"}, {0, 0, 300, 792}, true},
        {"equal to the media box", {.page_extra = "/CropBox [0 0 612 792]"}, {0, 0, 612, 792}, false},
        {"outside the media box: ignored", {.page_extra = "/CropBox [700 800 900 1000]"}, {0, 0, 612, 792}, false},
        {"not a rectangle: ignored", {.page_extra = "/CropBox [1 2 3]"}, {0, 0, 612, 792}, false},
    };
    for (const Case &c : cases) {
        bool cropped = false;
        EXPECT_EQ(box_of(build(c.shape), &cropped), c.want) << c.what;
        EXPECT_EQ(cropped, c.cropped) << c.what;
    }
    // A crop box held in an object of its own.
    DocBuilder b;
    const int rect = b.object("[10 20 310 420]");
    b.page_extra = "/CropBox " + std::to_string(rect) + " 0 R";
    b.page({.content = "0 0 m"});
    EXPECT_EQ(box_of(b.build()), (std::vector<double>{10, 20, 300, 400}));
}

TEST(CropBox, ACropBoxChangeIsADimensionChangeAndTheCutOffMarginIsNotSeen) {
    const Shape plain;
    Shape crop{.page_extra = "/CropBox [100 100 512 692]"};
    Shape smaller{.page_extra = "/CropBox [100 100 500 692]"};
    Shape moved{.page_extra = "/CropBox [120 100 532 692]"};
    EXPECT_EQ(kinds(compare(build(plain), build(crop))), "1:dimensions_changed ");
    EXPECT_EQ(kinds(compare(build(crop), build(smaller))), "1:dimensions_changed ");
    EXPECT_EQ(kinds(compare(build(crop), build(moved))), "1:dimensions_changed ");
    EXPECT_EQ(kinds(compare(build(crop), build(crop))), "");

    // An image in the cut-off margin shows other pixels: nothing a reader sees.
    Shape margin = crop;
    margin.content = "q 20 0 0 20 10 10 cm /Im1 Do Q";
    EXPECT_EQ(kinds(compare(build(margin, "ABCD"), build(margin, "ABCE"))), "");
    // Half inside: reported, its rectangle cut to what is shown.
    margin.content = "q 40 0 0 40 80 80 cm /Im1 Do Q";
    const DiffList half = compare(build(margin, "ABCD"), build(margin, "ABCE"));
    ASSERT_EQ(kinds(half), "1:image_changed ");
    ASSERT_EQ(half.entries[0].rects_b.size(), 1u);
    const DiffRect r = half.entries[0].rects_b[0];
    EXPECT_EQ(std::vector<double>({r.x, r.y, r.w, r.h}), std::vector<double>({100, 100, 20, 20}));
}

TEST(CropBox, RectanglesAreWhereTheReaderSeesThem) {
    Shape a{.page_extra = "/CropBox [100 100 512 692]"}, b = a;
    b.content = "BT /F1 12 Tf 150 500 Td (Hullo) Tj ET";
    PdfDocument db;
    ASSERT_TRUE(testutil::load(build(b), &db));
    const DiffList list = compare(build(a), build(b));
    ASSERT_EQ(kinds(list), "1:text_changed ");
    ASSERT_FALSE(list.entries[0].rects_b.empty());
    const DiffRect r = list.entries[0].rects_b[0];
    const TopLeftRect tl = to_top_left(db.pages[0], r);
    // From the crop box's top-left corner (100, 692), not the media box's.
    EXPECT_NEAR(tl.x0, r.x - 100, 1e-9);
    EXPECT_NEAR(tl.y0, 692 - (r.y + r.h), 1e-9);
    double w, h;
    displayed_size(db.pages[0], &w, &h);
    EXPECT_EQ(w, 412);
    EXPECT_EQ(h, 592);
}
