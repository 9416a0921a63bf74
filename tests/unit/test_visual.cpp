// The visual report: exact bytes where the layout is fixed, and the sound
// behaviour for resources, rotation, offsets, failures and locales.
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <fstream>
#include <iterator>
#include <regex>

#include "morvex.h"
#include "report/copy.h"
#include "report/numbers.h"
#include "report/overlay.h"
#include "report/visual.h"
#include "test_util.h"

using namespace morvex;
using fixture::DocBuilder;
using fixture::PdfWriter;

namespace {

std::string read_file(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool exists(const std::string &path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

using testutil::run_command;
const auto expect_valid_report = testutil::expect_valid_pdf;

// Writes the pair, runs morvex_visual, checks and returns the report (or
// "" on failure).
std::string visual(const std::string &a, const std::string &b, int *result = nullptr) {
    const std::string pa = testutil::write_tmp("a.pdf", a), pb = testutil::write_tmp("b.pdf", b);
    const std::string out = testutil::tmp_path("report.pdf");
    ::unlink(out.c_str());
    const int r = morvex_visual(pa.c_str(), pb.c_str(), out.c_str());
    if (result) *result = r;
    if (r) expect_valid_report(out);
    return r ? read_file(out) : "";
}

// A one-page document built from the page object's extra entries.
std::string one_page(const std::string &page_extra, const std::vector<std::pair<int, std::string>> &more = {}) {
    PdfWriter w;
    w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.add(3, "<< /Type /Page /Parent 2 0 R " + page_extra + " >>");
    for (const auto &[num, body] : more) w.add(num, body);
    return w.build();
}

// The text of object `num` in a report ("" when absent).
std::string object_text(const std::string &report, int num) {
    const std::string head = "\n" + std::to_string(num) + " 0 obj\n";
    const size_t at = report.find(head);
    if (at == std::string::npos) return "";
    const size_t end = report.find("\nendobj\n", at + head.size());
    return report.substr(at + head.size(), end - at - head.size());
}

}  // namespace

TEST(Visual, TwoEmptyPagesGiveTheFixedReport) {
    const std::string page = one_page("");
    const std::string report = visual(page, page);
    const std::string want =
        "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"
        "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"
        "2 0 obj\n<< /Type /Pages /Kids [ 3 0 R ] /Count 1 >>\nendobj\n"
        "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 5 0 R /Resources << /XObject "
        "<< /F0 4 0 R >> /ExtGState << /GS_DIFF << /Type /ExtGState /ca 0.35 /CA 0.9 >> >> >> >>\nendobj\n"
        "4 0 obj\n<< /Type /XObject /Subtype /Form /BBox [0 0 612 792] /Length 0 >> stream\nendstream\nendobj\n"
        "5 0 obj\n<< /Length 26 >>\nstream\nq 1 0 0 1 0 0 cm /F0 Do Q\n\nendstream\nendobj\n"
        "xref\n0 6\n0000000000 65535 f \n0000000015 00000 n \n0000000064 00000 n \n0000000123 00000 n \n"
        "0000000318 00000 n \n0000000416 00000 n \ntrailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n492\n%%EOF\n";
    EXPECT_EQ(report, want);
    EXPECT_STREQ(morvex_last_error(), "");
}

TEST(Visual, PlacementOfRotatedAndShiftedPages) {
    struct Case {
        std::string page;
        std::string media_box, form_head;
    } cases[] = {
        {"/Rotate 90", "[0 0 792 612]", "/BBox [0 0 612 792] /Matrix [0 -1 1 0 0 612]"},
        {"/Rotate 180", "[0 0 612 792]", "/BBox [0 0 612 792] /Matrix [-1 0 0 -1 612 792]"},
        {"/Rotate 270", "[0 0 792 612]", "/BBox [0 0 612 792] /Matrix [0 1 -1 0 792 0]"},
        {"/Rotate -90 /MediaBox [0 0 595.2756 841.89]", "[0 0 841.89 595.2756]",
         "/BBox [0 0 595.2756 841.89] /Matrix [0 1 -1 0 841.89 0]"},
        {"/MediaBox [100 100 712 892]", "[0 0 612 792]", "/BBox [100 100 712 892] /Matrix [1 0 0 1 -100 -100]"},
        {"/MediaBox [0 0 595.2756 841.89]", "[0 0 595.2756 841.89]", "/BBox [0 0 595.2756 841.89] /Length"},
        {"/MediaBox [100 200 712 992] /Rotate 90", "[0 0 792 612]",
         "/BBox [100 200 712 992] /Matrix [0 -1 1 0 -200 712]"},
    };
    for (const Case &c : cases) {
        const std::string doc = one_page(c.page + " /Contents 4 0 R", {{4, "<< /Length 3 >>\nstream\n0 g\nendstream"}});
        const std::string report = visual(doc, doc);
        EXPECT_NE(object_text(report, 3).find("/MediaBox [0 0 " + c.media_box.substr(5)), std::string::npos)
            << c.page << "\n" << object_text(report, 3);
        EXPECT_NE(object_text(report, 4).find(c.form_head), std::string::npos) << c.page << "\n" << object_text(report, 4);
    }
}

TEST(Visual, MarksFollowTheFormOntoRotatedPages) {
    DocBuilder a, b;
    for (DocBuilder *d : {&a, &b}) {
        const int f = d->font("Helvetica");
        d->page({.content = std::string("BT /F1 10 Tf 100 700 Td (") + (d == &a ? "old" : "new") + ") Tj ET",
                 .rotate = 90,
                 .resources = fixture::resources({{"F1", f}})});
    }
    const std::string content = object_text(visual(a.build(), b.build()), 5);
    // The boxes are drawn in the source page's space, turned like the form.
    EXPECT_NE(content.find("q 1 0 0 1 0 0 cm /F0 Do Q\nq 0 -1 1 0 0 612 cm\nq /GS_DIFF gs 1 0 0 rg"), std::string::npos)
        << content;
}

TEST(Visual, OverlayOperands) {
    DiffList l;
    const DiffRect r{100, 700, 50, 12};
    const DiffRect neg{-10, -20, 5, 5};
    diff_result_add(&l, 1, "text_changed", "x", &r, 1, &r, 1);
    diff_result_add(&l, 1, "image_added", nullptr, &neg, 1, nullptr, 0);
    diff_result_add(&l, 2, "page_added", nullptr, nullptr, 0, nullptr, 0);
    PageEntry page;
    ByteBuf out;
    build_overlay_content(l, {}, placement_for(page), &out);
    EXPECT_EQ(std::string(out.view()), "q 1 0 0 1 0 0 cm /F0 Do Q\n");
    build_overlay_content(l, {0, 1}, placement_for(page), &out);
    EXPECT_EQ(std::string(out.view()),
              "q 1 0 0 1 0 0 cm /F0 Do Q\n"
              "q /GS_DIFF gs 1 0 0 rg 1 0 0 RG 1.5 w 98.00 698.00 54.00 16.00 re B Q\n"
              "q /GS_DIFF gs 1 0.2 0.2 rg 1 0 0 RG 1.5 w 98.00 698.00 54.00 16.00 re B 98.00 706.00 m 152.00 706.00 l S Q\n"
              "q /GS_DIFF gs 1 0 0 rg 1 0 0 RG 1.5 w -12.00 -22.00 9.00 9.00 re B Q\n");
    build_overlay_content(l, {2}, placement_for(page), &out);
    EXPECT_EQ(std::string(out.view()),
              "q 1 0 0 1 0 0 cm /F0 Do Q\n"
              "q 1 0 0 RG 4 w 2 2 608.00 788.00 re S Q\nq 1 0 0 rg 0 768.00 612.00 24 re f Q\n");
}

TEST(Visual, LinkAndAnnotationMarksGoToThePageShowingTheirSide) {
    // Three letter pages in A, two in B, paired by content with A's first
    // two pages swapped: overlay page 1 shows B's page 1 (A's page 2).
    const auto pages = [](int n) {
        DocBuilder d;
        const int font = d.font("Helvetica");
        for (int p = 0; p < n; ++p) {
            fixture::PageOptions o;
            o.content = "BT /F1 12 Tf 72 720 Td (page " + std::to_string(p) + ") Tj ET";
            o.resources = fixture::resources({{"F1", font}});
            d.page(o);
        }
        return d.build();
    };
    PdfDocument a, b;
    ASSERT_TRUE(testutil::load(pages(3), &a));
    ASSERT_TRUE(testutil::load(pages(2), &b));
    DiffList l;
    l.identical = 0;
    l.pairs = {{1, 0}, {0, 1}, {2, -1}};
    const auto doc = [&](int page_a, int page_b, double y0) {
        DocDiff d;
        d.type = "link_changed";
        d.page_a = page_a, d.page_b = page_b;
        d.has_rect_a = page_a > 0, d.has_rect_b = page_b > 0;
        d.rect_a = d.rect_b = {10, y0, 20, y0 + 10};
        l.document.push_back(d);
    };
    doc(1, 0, 100);  // removed from A's page 1, shown as B's page 2
    doc(0, 1, 200);  // added on B's page 1
    doc(3, 0, 300);  // on A's page 3, which B lacks: report page 3 shows it
    doc(2, 1, 400);  // changed: both rectangles on B's page 1
    ByteBuf out;
    ASSERT_TRUE(build_visual_report(a, b, l, &out));
    const std::string report(out.view());
    const auto content = [&](int page) {
        const std::string o = object_text(report, 3 * page + 2);
        return o.substr(o.find("stream\n") + 7);
    };
    const std::string old_mark = "0 0.55 0.55 RG 1 w [1.5 1.5] 0 d ", new_mark = "0 0.55 0.55 RG 1.5 w [6 2 1.5 2] 0 d ";
    const auto at = [](double top) { return "8.50 " + fmt_2f(792 - top - 10 - 1.5) + " 13.00 13.00 re S"; };
    EXPECT_NE(content(1).find(new_mark + at(200)), std::string::npos) << content(1);
    EXPECT_NE(content(1).find(new_mark + at(400)), std::string::npos);
    EXPECT_NE(content(1).find(old_mark + at(400)), std::string::npos);
    EXPECT_NE(content(2).find(old_mark + at(100)), std::string::npos) << content(2);
    EXPECT_NE(content(3).find(old_mark + at(300)), std::string::npos) << content(3);
    size_t marks = 0;
    for (size_t at = report.find("0 0.55 0.55 RG"); at != std::string::npos; at = report.find("0 0.55 0.55 RG", at + 1))
        ++marks;
    EXPECT_EQ(marks, 5u);
}

TEST(Visual, NumbersAreFormattedWithoutTheLocale) {
    EXPECT_EQ(fmt_f(612.0), "612");
    EXPECT_EQ(fmt_f(0.5), "0.5");
    EXPECT_EQ(fmt_f(595.2756), "595.2756");
    EXPECT_EQ(fmt_f(841.89), "841.89");
    EXPECT_EQ(fmt_f(-0.0), "-0");
    EXPECT_EQ(fmt_f(std::numeric_limits<double>::infinity()), "1000000000");
    EXPECT_EQ(fmt_f(std::nan("")), "0");
    EXPECT_EQ(fmt_2f(-1.005), "-1.00");
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    const std::string doc = one_page("/MediaBox [0 0 595.2756 841.89] /Contents 4 0 R",
                                     {{4, "<< /Length 3 >>\nstream\n0 g\nendstream"}});
    const std::string report = visual(doc, one_page("/MediaBox [0 0 595.2756 841.89]"));
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_NE(report.find("/MediaBox [0 0 595.2756 841.89]"), std::string::npos);
    EXPECT_EQ(report.find("595,2756"), std::string::npos);
}

TEST(Visual, ResourcesAreCopiedWholeAndRenumbered) {
    // Page resources reach a font with a descriptor, a private stream whose
    // /Length is indirect and binary data with NUL bytes, a graphics state
    // in an object stream that points back at the font, and an image that
    // does not exist.
    PdfWriter w;
    w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /Resources 10 0 R >>");
    w.add(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>");
    w.add_stream(4, "", "BT /F1 12 Tf 72 712 Td (Hi) Tj ET");
    w.add(10, "<< /Font << /F1 11 0 R >> /ExtGState << /GS1 14 0 R >> /XObject << /Im9 99 0 R >> >>");
    const std::string nul(1, '\0');
    w.add(11, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FontDescriptor 12 0 R /Name (a" + nul + "b 11 0 R) >>");
    w.add(12, "<< /Type /FontDescriptor /Private 13 0 R /Flags 32 >>");
    w.add_stream(13, "", std::string("\0\x01\xFFstreamdata\0", 14),
                 {.length = fixture::LengthKind::indirect, .length_obj = 15});
    w.add_in_objstm(20, 14, "<< /Type /ExtGState /Font [11 0 R 12] /LW 16 0 R >>");
    w.add(16, "0");
    w.set_xref(fixture::XrefKind::stream);
    const std::string doc = w.build();
    const std::string report = visual(doc, doc);
    ASSERT_FALSE(report.empty());
    // Pages: 1 page -> copied objects start at 6; BFS from 11, 14, 99.
    EXPECT_NE(object_text(report, 4).find(" /Resources << /Font << /F1 6 0 R >> /ExtGState << /GS1 7 0 R >> "
                                          "/XObject << /Im9 8 0 R >> >>"),
              std::string::npos)
        << object_text(report, 4);
    EXPECT_EQ(object_text(report, 6),
              "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FontDescriptor 9 0 R /Name (a" + nul + "b 6 0 R) >>");
    EXPECT_EQ(object_text(report, 7), "<< /Type /ExtGState /Font [6 0 R 12] /LW 10 0 R >>\n");
    EXPECT_EQ(object_text(report, 8), "null");  // object 99 does not exist
    EXPECT_EQ(object_text(report, 9), "<< /Type /FontDescriptor /Private 11 0 R /Flags 32 >>");
    EXPECT_EQ(object_text(report, 10), "0");
    // The end-of-line before "endstream" is not data: the copy holds exactly /Length bytes.
    EXPECT_EQ(object_text(report, 11), "<< /Length 12 0 R >>\nstream\n" + nul + "\x01\xFFstreamdata" + nul + "\nendstream");
    EXPECT_EQ(object_text(report, 12), "14");
    EXPECT_EQ(object_text(report, 13), "");  // each object once
    EXPECT_NE(report.find("trailer\n<< /Size 13 /Root 1 0 R >>"), std::string::npos);
}

TEST(Visual, PagesOnlyTheFirstDocumentHasUseItsOwnObjects) {
    DocBuilder a, b;
    const int fa = a.font("Times-Roman");
    a.page({.content = "BT /F1 12 Tf 72 712 Td (one) Tj ET", .resources = fixture::resources({{"F1", fa}})});
    a.page({.content = "BT /F1 12 Tf 72 712 Td (two) Tj ET", .resources = fixture::resources({{"F1", fa}})});
    const int fb = b.font("Courier");
    b.page({.content = "BT /F1 12 Tf 72 712 Td (one) Tj ET", .resources = fixture::resources({{"F1", fb}})});
    const std::string report = visual(a.build(), b.build());
    // Two pages -> copies from 9: B's Courier, then A's Times-Roman.
    EXPECT_NE(object_text(report, 9).find("/BaseFont /Courier"), std::string::npos);
    EXPECT_NE(object_text(report, 10).find("/BaseFont /Times-Roman"), std::string::npos);
    EXPECT_NE(object_text(report, 4).find("/F1 9 0 R"), std::string::npos);
    EXPECT_NE(object_text(report, 7).find("/F1 10 0 R"), std::string::npos);
    EXPECT_NE(object_text(report, 8).find("q 1 0 0 RG 4 w 2 2 608.00 788.00 re S Q"), std::string::npos);
}

TEST(Visual, FailuresLeaveNoFileAndKeepAnExistingOne) {
    const std::string doc = one_page("");
    const std::string pa = testutil::write_tmp("a.pdf", doc);
    const std::string out = testutil::tmp_path("kept.pdf");
    fixture::write_file(out, "previous report");

    EXPECT_EQ(morvex_visual(pa.c_str(), pa.c_str(), nullptr), 0);
    EXPECT_STREQ(morvex_last_error(), "NULL output path");

    const std::string missing = testutil::tmp_path("missing.pdf");
    EXPECT_EQ(morvex_visual(pa.c_str(), missing.c_str(), out.c_str()), 0);
    EXPECT_EQ(std::string(morvex_last_error()), "cannot open file: " + missing);
    EXPECT_EQ(read_file(out), "previous report");

    const std::string nopages = testutil::write_tmp("nopages.pdf", "%PDF-1.4\n%%EOF\n");
    EXPECT_EQ(morvex_visual(nopages.c_str(), nopages.c_str(), out.c_str()), 0);
    EXPECT_STREQ(morvex_last_error(), "no pages to compare");
    EXPECT_EQ(read_file(out), "previous report");

    const std::string nodir = testutil::tmp_path("no-such-dir/report.pdf");
    EXPECT_EQ(morvex_visual(pa.c_str(), pa.c_str(), nodir.c_str()), 0);
    EXPECT_EQ(std::string(morvex_last_error()), "cannot open output file " + nodir + ": No such file or directory");
    EXPECT_FALSE(exists(nodir));

    const std::string dir = testutil::tmp_path("a-dir");
    ::mkdir(dir.c_str(), 0755);
    EXPECT_EQ(morvex_visual(pa.c_str(), pa.c_str(), dir.c_str()), 0);
    EXPECT_EQ(std::string(morvex_last_error()), "cannot open output file " + dir + ": Is a directory");

    // Success replaces the old file whole and clears the message.
    EXPECT_EQ(morvex_visual(pa.c_str(), pa.c_str(), out.c_str()), 1);
    EXPECT_STREQ(morvex_last_error(), "");
    EXPECT_EQ(read_file(out).substr(0, 8), "%PDF-1.4");
    // No temporary file stays behind.
    EXPECT_NE(std::system(("ls " + testutil::tmp_path("") + "*.tmp >/dev/null 2>&1").c_str()), 0);
}

TEST(Visual, ReferenceScanningAndRewriting) {
    int32_t refs[8];
    EXPECT_EQ(collect_text_refs("5 R 6 0 R 7 0 Rx 8 0 R", refs, 8), 3);
    EXPECT_EQ(refs[0], 5);
    EXPECT_EQ(refs[1], 6);
    EXPECT_EQ(refs[2], 8);
    EXPECT_EQ(collect_text_refs("1 0 R 2 0 R 3 0 R", refs, 2), 2);
    EXPECT_EQ(collect_text_refs("", refs, 8), 0);
    EXPECT_EQ(collect_text_refs("9 0 R", refs, 0), 0);
    Renumbering t;
    t.new_of = {{2, 40}, {5, 41}};
    EXPECT_EQ(remap_res_text("/A 2 0 R /B 12 0 R /C 5 R /D 2  3\n R /E (2 0 R) /F 2 0 R", t),
              "/A 40 0 R /B 12 0 R /C 5 R /D 40 0 R /E (40 0 R) /F 40 0 R");
    EXPECT_EQ(remap_res_text("", t), "");
    EXPECT_EQ(remap_res_text(std::string("(\0) 2 0 R", 9), t), std::string("(\0) 40 0 R", 10));
}
