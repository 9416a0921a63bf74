// The page tree walk: order, inheritance, guards.
#include "test_util.h"

using namespace morvex;
using fixture::PdfWriter;
using testutil::load;

namespace {

// A catalog (1) over a tree whose root is object 2; `objects` adds the rest.
std::string tree(const std::vector<std::pair<int, std::string>> &objects,
                 const std::string &root = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>") {
    PdfWriter w;
    w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.add(2, root);
    for (const auto &[num, body] : objects) w.add(num, body);
    return w.build();
}

PdfDocument loaded(const std::string &pdf) {
    PdfDocument d;
    EXPECT_TRUE(load(pdf, &d));
    return d;
}

}  // namespace

TEST(PageTree, MediaBoxIsInheritedAndOverridden) {
    struct Case {
        const char *what;
        std::string root_extra, page_extra;
        double x, y, w, h;
    } cases[] = {
        {"default", "", "", 0, 0, 612, 792},
        {"from the root", "/MediaBox [0 0 595 842]", "", 0, 0, 595, 842},
        {"page wins", "/MediaBox [0 0 595 842]", "/MediaBox [0 0 100 200]", 0, 0, 100, 200},
        {"short box keeps the inherited", "/MediaBox [0 0 595 842]", "/MediaBox [0 0 612]", 0, 0, 595, 842},
        {"corners swapped", "", "/MediaBox [612 792 0 0]", 0, 0, 612, 792},
        {"negative corner", "", "/MediaBox [-10 -20 100 200]", -10, -20, 110, 220},
        {"indirect", "", "/MediaBox 9 0 R", 0, 0, 595, 842},
        {"indirect to nothing", "", "/MediaBox 19 0 R", 0, 0, 612, 792},
    };
    for (const Case &c : cases) {
        PdfDocument d = loaded(tree({{3, "<< /Type /Page /Parent 2 0 R " + c.page_extra + " >>"},
                                     {9, "[0 0 595 842]"}},
                                    "<< /Type /Pages /Kids [3 0 R] " + c.root_extra + " >>"));
        ASSERT_EQ(d.page_count(), 1) << c.what;
        EXPECT_EQ(d.pages[0].box_x, c.x) << c.what;
        EXPECT_EQ(d.pages[0].box_y, c.y) << c.what;
        EXPECT_EQ(d.pages[0].box_w, c.w) << c.what;
        EXPECT_EQ(d.pages[0].box_h, c.h) << c.what;
    }
}

TEST(PageTree, RotationIsInheritedAndNormalised) {
    struct Case {
        std::string root_extra, page_extra;
        int want;
    } cases[] = {
        {"/Rotate 90", "", 90},  {"", "/Rotate -90", 270}, {"", "/Rotate 450", 90},
        {"", "/Rotate 360", 0},  {"/Rotate 90", "/Rotate 0", 0},
        {"/Rotate 90", "/Rotate /Bad", 90},  // no integer: the inherited value stays
    };
    for (const Case &c : cases) {
        PdfDocument d = loaded(tree({{3, "<< /Type /Page " + c.page_extra + " >>"}},
                                    "<< /Type /Pages /Kids [3 0 R] " + c.root_extra + " >>"));
        ASSERT_EQ(d.page_count(), 1);
        EXPECT_EQ(d.pages[0].rotate, c.want) << c.root_extra << c.page_extra;
    }
}

TEST(PageTree, InheritanceNeverReachesSiblingsOrParents) {
    PdfDocument d = loaded(tree({{3, "<< /Type /Pages /Kids [5 0 R] /Rotate 90 /MediaBox [0 0 10 10] >>"},
                                 {4, "<< /Type /Page >>"},
                                 {5, "<< /Type /Page >>"}},
                                "<< /Type /Pages /Kids [3 0 R 4 0 R] >>"));
    ASSERT_EQ(d.page_count(), 2);
    EXPECT_EQ(d.pages[0].obj_num, 5);
    EXPECT_EQ(d.pages[0].rotate, 90);
    EXPECT_EQ(d.pages[0].box_w, 10);
    EXPECT_EQ(d.pages[1].obj_num, 4);
    EXPECT_EQ(d.pages[1].rotate, 0);
    EXPECT_EQ(d.pages[1].box_w, 612);
}

TEST(PageTree, ResourcesComeFromThePageOrItsNearestAncestor) {
    PdfDocument d = loaded(tree({{3, "<< /Type /Pages /Kids [5 0 R 6 0 R] /Resources 9 0 R >>"},
                                 {4, "<< /Type /Page >>"},
                                 {5, "<< /Type /Page >>"},
                                 {6, "<< /Type /Page /Resources << >> >>"}},
                                "<< /Type /Pages /Kids [3 0 R 4 0 R] >>"));
    ASSERT_EQ(d.page_count(), 3);
    EXPECT_EQ(d.pages[0].resources_obj, 3);
    EXPECT_EQ(d.pages[1].resources_obj, 6);
    EXPECT_EQ(d.pages[2].resources_obj, -1);
}

TEST(PageTree, ContentReferences) {
    std::string seventy = "[";
    for (int i = 0; i < 70; ++i) seventy += std::to_string(100 + i) + " 0 R ";
    seventy += "]";
    struct Case {
        std::string contents;
        std::vector<int32_t> want;
    } cases[] = {
        {"/Contents [4 0 R 5 0 R]", {4, 5}},
        {"/Contents 4 0 R", {4}},
        {"/Contents []", {}},
        // A broken reference skips ahead to the next 'R', here that of 6 0 R.
        {"/Contents [4 0 R 5 0 X 6 0 R]", {4}},
        {"/Contents 0 0 R", {}},
    };
    for (const Case &c : cases) {
        PdfDocument d = loaded(tree({{3, "<< /Type /Page " + c.contents + " >>"}}));
        ASSERT_EQ(d.page_count(), 1) << c.contents;
        EXPECT_EQ(d.pages[0].contents, c.want) << c.contents;
    }
    PdfDocument d = loaded(tree({{3, "<< /Type /Page /Contents " + seventy + " >>"}}));
    ASSERT_EQ(d.pages[0].contents.size(), 64u);
    EXPECT_EQ(d.pages[0].contents.back(), 163);
}

TEST(PageTree, WhatCountsAsAPage) {
    struct Case {
        std::string node;
        int pages;
    } cases[] = {
        {"<< /Contents 4 0 R >>", 1},                        // no /Type, but contents
        {"<< /Type /Pages /Contents 4 0 R /Kids [] >>", 0},  // a Pages node never is one
        {"<< /Type /Pagex >>", 0},
        {"<< /Type /Page_ >>", 1},                           // '_' may follow /Page
        {"<< /Foo 1 >>", 0},
    };
    for (const Case &c : cases) {
        PdfDocument d = loaded(tree({{3, c.node}}));
        EXPECT_EQ(d.page_count(), c.pages) << c.node;
    }
    // The root itself can be a page.
    PdfDocument d = loaded(tree({}, "<< /Type /Page /MediaBox [0 0 10 20] >>"));
    ASSERT_EQ(d.page_count(), 1);
    EXPECT_EQ(d.pages[0].obj_num, 2);
}

TEST(PageTree, CyclesRepeatsAndIndirectKidsAreHarmless) {
    PdfDocument d = loaded(tree({{3, "<< /Type /Page >>"}}, "<< /Type /Pages /Kids [3 0 R 3 0 R 2 0 R] >>"));
    EXPECT_EQ(d.page_count(), 1);
    d = loaded(tree({{3, "<< /Type /Pages /Kids [2 0 R 3 0 R] >>"}}));
    EXPECT_EQ(d.page_count(), 0);
    d = loaded(tree({{3, "[4 0 R]"}, {4, "<< /Type /Page >>"}}, "<< /Type /Pages /Kids 3 0 R >>"));
    EXPECT_EQ(d.page_count(), 0);
}

TEST(PageTree, DeepTreesStopAtSixtyFiveLevels) {
    // Node 2 is depth 0; node 2+k is depth k; each inner node also holds a page.
    const int levels = 10000;
    std::vector<std::pair<int, std::string>> objects;
    for (int k = 1; k < levels; ++k) {
        const int num = 2 + k;
        objects.push_back({num, "<< /Type /Pages /Kids [" + std::to_string(num + 1) + " 0 R " +
                                    std::to_string(num + levels) + " 0 R] >>"});
        objects.push_back({num + levels, "<< /Type /Page >>"});
    }
    PdfDocument d = loaded(tree(objects, "<< /Type /Pages /Kids [3 0 R] >>"));
    // Inner nodes at depths 1..63 each hold one page at depths 2..64.
    EXPECT_EQ(d.page_count(), 63);
}
