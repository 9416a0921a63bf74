// Comparing whole documents: the page tests in order, surplus pages, and
// the exact JSON bytes of both reports.
#include "compare/diff.h"
#include "report/json.h"
#include "test_util.h"

using namespace morvex;
using fixture::DocBuilder;

namespace {

// A document of pages, each a (media box, rotate, content) triple; every
// page gets one font F1 and two image resources Im1 and Im2.
struct Page {
    std::string content;
    std::string box = "0 0 612 792";
    int rotate = 0;
};

std::string doc(const std::vector<Page> &pages) {
    DocBuilder b;
    const int f = b.font("Helvetica");
    const int i1 = b.image(2, 2), i2 = b.image(2, 2);
    for (const Page &p : pages)
        b.page({.content = p.content, .media_box = p.box, .rotate = p.rotate,
                .resources = fixture::resources({{"F1", f}}, {{"Im1", i1}, {"Im2", i2}})});
    return b.build();
}

std::string text(const char *s) { return std::string("BT /F1 12 Tf 72 712 Td (") + s + ") Tj ET"; }
std::string image_at(double x, double y, const char *name = "Im1") {
    return "q 20 0 0 20 " + std::to_string(x) + " " + std::to_string(y) + " cm /" + name + " Do Q ";
}

struct Result {
    std::string compare, text;
    DiffList list;
};

Result compare(const std::string &a, const std::string &b) {
    PdfDocument da, db;
    EXPECT_TRUE(testutil::load(a, &da));
    EXPECT_TRUE(testutil::load(b, &db));
    Result r;
    compare_docs(da, db, &r.list);
    ByteBuf buf;
    build_compare_json(r.list, &buf);
    r.compare = std::string(buf.view());
    build_text_json(r.list, &buf);
    r.text = std::string(buf.view());
    return r;
}

std::string kinds(const std::string &a, const std::string &b) {
    const Result r = compare(a, b);
    std::string s;
    for (const DiffEntry &e : r.list.entries) s += std::to_string(e.page) + ":" + e.type + " ";
    return s;
}

}  // namespace

TEST(CompareDocs, IdenticalDocumentsGiveEmptyReports) {
    const std::string d = doc({{text("one")}, {text("two")}, {text("three")}});
    const Result r = compare(d, d);
    EXPECT_EQ(r.list.identical, 1);
    EXPECT_EQ(r.compare, "{\"identical\":true,\"pages_compared\":3,\"differences\":[]}");
    EXPECT_EQ(r.text, "{\"identical\":true,\"pages_compared\":3,\"differences\":[]}");
    const Result none = compare("%PDF-1.4\n", "%PDF-1.4\n%%EOF\n");
    EXPECT_EQ(none.compare, "{\"identical\":true,\"pages_compared\":0,\"differences\":[]}");
}

TEST(CompareDocs, SurplusPagesEndTheList) {
    const std::string three = doc({{text("a")}, {text("b")}, {text("c")}});
    const std::string five = doc({{text("a")}, {text("b")}, {text("c")}, {text("d")}, {text("e")}});
    Result r = compare(three, five);
    EXPECT_EQ(r.compare,
              "{\"identical\":false,\"pages_compared\":5,\"differences\":[{\"page\":4,\"type\":\"page_added\"},"
              "{\"page\":5,\"type\":\"page_added\"}]}");
    EXPECT_EQ(r.text, r.compare);  // no "diff" member on whole pages
    r = compare(five, three);
    EXPECT_EQ(r.compare,
              "{\"identical\":false,\"pages_compared\":5,\"differences\":[{\"page\":4,\"type\":\"page_removed\"},"
              "{\"page\":5,\"type\":\"page_removed\"}]}");
    EXPECT_EQ(kinds("%PDF-1.4\n", doc({{text("a")}, {text("b")}})), "1:page_added 2:page_added ");
}

TEST(CompareDocs, SizeRotationImagesTextAndContent) {
    struct Case {
        const char *what;
        std::vector<Page> a, b;
        std::string want;
    } cases[] = {
        {"letter against A4, rotation differs too", {{text("x"), "0 0 612 792", 90}}, {{text("x"), "0 0 595 842", 0}},
         "1:dimensions_changed "},
        {"rotation only", {{text("x"), "0 0 612 792", 0}}, {{text("x"), "0 0 612 792", 90}}, "1:rotation_changed "},
        {"0.9 point wider", {{text("x"), "0 0 612 792"}}, {{text("x"), "0 0 612.9 792"}}, ""},
        {"1.5 points wider", {{text("x"), "0 0 612 792"}}, {{text("x"), "0 0 613.5 792"}}, "1:dimensions_changed "},
        {"image moved 2.5", {{image_at(100, 100)}}, {{image_at(102.5, 100)}}, "1:image_changed 1:content_changed "},
        {"image moved 1.5", {{image_at(100, 100)}}, {{image_at(101.5, 100)}}, "1:content_changed "},
        {"image added", {{image_at(1, 1) + image_at(50, 50)}},
         {{image_at(1, 1) + image_at(50, 50) + image_at(300, 300, "Im2")}}, "1:image_added 1:content_changed "},
        {"image removed", {{image_at(1, 1) + image_at(50, 50)}}, {{image_at(1, 1)}}, "1:image_removed 1:content_changed "},
        {"same words elsewhere", {{"BT /F1 12 Tf 72 712 Td (same) Tj ET"}}, {{"BT /F1 12 Tf 90 500 Td (same) Tj ET"}},
         "1:content_changed "},
        {"a colour changed", {{"1 0 0 rg " + text("x")}}, {{"0 0 1 rg " + text("x")}}, "1:content_changed "},
        {"all three tests", {{text("x") + image_at(1, 1), "0 0 612 792"}}, {{text("y"), "0 0 595 842"}},
         "1:dimensions_changed 1:image_removed 1:text_changed "},
    };
    for (const Case &c : cases) EXPECT_EQ(kinds(doc(c.a), doc(c.b)), c.want) << c.what;
}

TEST(CompareDocs, ImageBoxesAndTextRectanglesReachTheEntries) {
    // The new image is the third placement, but B's last image is marked.
    Result r = compare(doc({{image_at(10, 10) + image_at(50, 50)}}),
                       doc({{image_at(300, 300, "Im2") + image_at(10, 10) + image_at(50, 50)}}));
    ASSERT_EQ(std::string(r.list.entries[0].type), "image_added");
    ASSERT_EQ(r.list.entries[0].rects_b.size(), 1u);
    EXPECT_EQ(r.list.entries[0].rects_b[0].x, 50);
    EXPECT_EQ(r.list.entries[0].rects_b[0].w, 20);

    r = compare(doc({{text("Total 10")}}), doc({{text("Total 12")}}));
    EXPECT_EQ(r.text,
              "{\"identical\":false,\"pages_compared\":1,\"differences\":[{\"page\":1,\"type\":\"text_changed\","
              "\"diff\":\"- Total 10 \\n+ Total 12 \"}]}");
    const DiffEntry &e = r.list.entries[0];
    ASSERT_EQ(e.rects_b.size(), 1u);
    ASSERT_EQ(e.rects_a.size(), 1u);
    // "Total " is 0.611+0.556+0.278+0.556+0.222+0.278 = 2.501 em at 12 pt.
    EXPECT_NEAR(e.rects_b[0].x, 72 + 2.501 * 12, 1e-9);
    EXPECT_NEAR(e.rects_b[0].w, 2 * 0.556 * 12, 1e-9);
    EXPECT_NEAR(e.rects_b[0].y, 712 - 0.2 * 12, 1e-9);

    r = compare(doc({{""}}), doc({{text("new")}}));
    EXPECT_EQ(r.text,
              "{\"identical\":false,\"pages_compared\":1,\"differences\":[{\"page\":1,\"type\":\"text_added\","
              "\"diff\":\"+ new \"}]}");
    r = compare(doc({{text("old")}}), doc({{""}}));
    EXPECT_EQ(r.text,
              "{\"identical\":false,\"pages_compared\":1,\"differences\":[{\"page\":1,\"type\":\"text_removed\","
              "\"diff\":\"- old \\n\"}]}");
}
