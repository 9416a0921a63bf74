// The side-by-side review report: its text encoding, how differences find
// their page pairs, and whole reports checked by qpdf, poppler and MuPDF.
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "compare/diff.h"
#include "report/pdf_text.h"
#include "report/review_pairs.h"
#include "report/side_by_side.h"
#include "test_util.h"

using namespace morvex;
using fixture::DocBuilder;

namespace {

using testutil::expect_valid_pdf;
using testutil::run_command;

struct Report {
    std::string bytes;
    std::string path;
    // The text of object num ("" when absent).
    std::string object(int num) const {
        const std::string head = "\n" + std::to_string(num) + " 0 obj\n";
        const size_t at = bytes.find(head);
        if (at == std::string::npos) return "";
        const size_t end = bytes.find("\nendobj\n", at + head.size());
        return bytes.substr(at + head.size(), end - at - head.size());
    }
    size_t count(const std::string &needle) const {
        size_t n = 0;
        for (size_t at = bytes.find(needle); at != std::string::npos; at = bytes.find(needle, at + 1)) ++n;
        return n;
    }
    // Object numbers of the pages, in page-tree order.
    std::vector<int> kids() const {
        std::vector<int> out;
        const std::string tree = object(2);
        static const std::regex ref(R"((\d+) 0 R)");
        const std::string list = tree.substr(0, tree.find(']'));
        for (std::sregex_iterator it(list.begin(), list.end(), ref), end; it != end; ++it)
            out.push_back(std::stoi((*it)[1]));
        return out;
    }
    // The content stream text of page object num.
    std::string content_of(int page) const {
        static const std::regex contents(R"(/Contents (\d+) 0 R)");
        std::smatch m;
        const std::string text = object(page);
        if (!std::regex_search(text, m, contents)) return "";
        return object(std::stoi(m[1]));
    }
};

Report side_by_side(const std::string &pdf_a, const std::string &pdf_b, const CompareOptions &opts = {},
                    const char *name_a = "old/a.pdf", const char *name_b = "new/b.pdf",
                    const DiffList *given = nullptr) {
    PdfDocument a, b;
    EXPECT_TRUE(testutil::load(pdf_a, &a));
    EXPECT_TRUE(testutil::load(pdf_b, &b));
    DiffList list;
    if (given)
        list = *given;
    else
        compare_docs(a, b, &list);
    ByteBuf out;
    EXPECT_TRUE(build_side_by_side_report(a, b, list, opts, name_a, name_b, &out));
    Report r;
    r.bytes = std::string(out.view());
    r.path = testutil::write_tmp("side-by-side.pdf", r.bytes);
    expect_valid_pdf(r.path);
    return r;
}

std::string text_page(DocBuilder *d, int font, const std::string &words, fixture::PageOptions extra = {}) {
    extra.content = "BT /F1 12 Tf 72 700 Td (" + words + ") Tj ET";
    extra.resources = fixture::resources({{"F1", font}});
    d->page(extra);
    return words;
}

}  // namespace

TEST(SideBySideText, NamesBecomeWinAnsiOrReadableEscapes) {
    const struct {
        std::string utf8, winansi;
    } cases[] = {
        {"report.pdf", "report.pdf"},
        {"caf\xC3\xA9 \xE2\x82\xAC\xE2\x80\x94x", "caf\xE9 \x80\x97x"},          // Latin-1 and WinAnsi extras
        {"\xD0\x9F\xD1\x80\xD0\xB8.pdf", "\\u041F\\u0440\\u0438.pdf"},         // Cyrillic
        {"\xE6\x97\xA5\xE6\x9C\xAC", "\\u65E5\\u672C"},                        // CJK
        {"smile\xF0\x9F\x98\x80", "smile\\U0001F600"},                         // beyond the BMP
        {"bad\xFF\xC3(", "bad\\xFF\\xC3("},                                    // not UTF-8
        {"\xC0\xAF\xED\xA0\x80", "\\xC0\\xAF\\xED\\xA0\\x80"},                 // overlong, surrogate
        {std::string("tab\tnul\0", 8), "tab\\u0009nul\\u0000"},                 // controls
    };
    for (const auto &c : cases) EXPECT_EQ(winansi_from_utf8(c.utf8), c.winansi) << c.utf8;

    ByteBuf out;
    put_pdf_string(&out, std::string("a(b)c\\d\n\xE9", 9));
    EXPECT_EQ(std::string(out.view()), "(a\\(b\\)c\\\\d\\012\\351)");
    EXPECT_EQ(path_base_name("dir/sub/a.pdf"), "a.pdf");
    EXPECT_EQ(path_base_name("a.pdf"), "a.pdf");
    EXPECT_EQ(path_base_name("dir/"), "dir/");

    // Helvetica: "a" is 556 units, "W" 944.
    EXPECT_DOUBLE_EQ(helvetica_width("aW", 10), 15.0);
    const std::string name = "a-very-long-file-name-of-a-quarterly-report-2026.pdf";
    const std::string short_name = elide_middle(name, 10, false, 120);
    EXPECT_LE(helvetica_width(short_name, 10), 120);
    EXPECT_EQ(short_name.substr(0, 6), "a-very");
    EXPECT_NE(short_name.find("..."), std::string::npos);
    EXPECT_EQ(short_name.substr(short_name.size() - 4), ".pdf");
    EXPECT_EQ(elide_middle("short.pdf", 10, false, 120), "short.pdf");
}

TEST(SideBySidePairs, DifferencesFindTheirPagePairs) {
    DiffList l;
    l.pairs = {{0, 0}, {1, -1}, {2, 1}, {-1, 2}, {7, 7}};  // the last lies outside both documents
    const DiffRect r{1, 2, 3, 4};
    diff_result_add(&l, 2, "page_removed", nullptr, nullptr, 0, nullptr, 0);
    l.entries.back().page_a = 2;
    diff_result_add(&l, 2, "text_changed", "x", &r, 1, &r, 1);
    l.entries.back().page_a = 3, l.entries.back().page_b = 2;
    diff_result_add(&l, 3, "page_moved", nullptr, nullptr, 0, nullptr, 0);  // A's page 1 now at B's page 3
    l.entries.back().page_a = 1, l.entries.back().page_b = 3;
    diff_result_add(&l, 1, "content_changed", nullptr, nullptr, 0, nullptr, 0);  // placed by `page`
    const std::vector<ReviewPair> pairs = review_pairs(l, 3, 3);
    ASSERT_EQ(pairs.size(), 4u);
    EXPECT_EQ(pairs[0].entries, (std::vector<size_t>{2, 3}));
    EXPECT_EQ(pairs[1].entries, (std::vector<size_t>{0}));
    EXPECT_EQ(pairs[2].entries, (std::vector<size_t>{1}));
    EXPECT_EQ(pairs[3].entries, (std::vector<size_t>{2}));
    EXPECT_TRUE(pairs[1].changed());
    EXPECT_EQ(pair_label(pairs[1].pages), "A p. 2 | not in B");
    EXPECT_EQ(pair_label(pairs[3].pages), "not in A | B p. 3");

    // Without recorded pairs, pages pair by position.
    DiffList plain;
    const std::vector<ReviewPair> by_position = review_pairs(plain, 2, 3);
    ASSERT_EQ(by_position.size(), 3u);
    EXPECT_EQ(by_position[2].pages.a, -1);
    EXPECT_EQ(by_position[2].pages.b, 2);
    EXPECT_FALSE(by_position[0].changed());

    WordChange del, ins, rep;
    std::snprintf(del.op, sizeof del.op, "delete");
    std::snprintf(ins.op, sizeof ins.op, "insert");
    std::snprintf(rep.op, sizeof rep.op, "replace");
    l.entries[1].changes = {del, del, ins, rep};
    EXPECT_EQ(pair_description(l, pairs[2]), "text changed (2 deleted, 1 inserted, 1 replaced)");
    EXPECT_EQ(pair_description(l, pairs[0]), "page moved, content changed");
    // A content change that knows its regions is named by their kinds, once each.
    PaintChange style, drawing;
    std::snprintf(style.kind, sizeof style.kind, "style");
    std::snprintf(drawing.kind, sizeof drawing.kind, "drawing");
    l.entries[3].paint = {drawing, style, drawing};
    EXPECT_EQ(pair_description(l, pairs[0]), "page moved, drawing changed, style changed");
    EXPECT_EQ(pair_description(l, by_position[0]), "identical");
}

TEST(SideBySidePairs, LinkAndAnnotationChangesFindTheirPagePairs) {
    DiffList l;
    l.pairs = {{0, 0}, {1, -1}, {2, 1}, {-1, 2}};  // A's page 3 is B's page 2
    const auto doc = [&](const char *type, int page_a, int page_b) {
        DocDiff d;
        d.type = type;
        d.page_a = page_a, d.page_b = page_b;
        l.document.push_back(d);
    };
    doc("link_changed", 3, 2);
    doc("annotation_removed", 2, 0);
    doc("annotation_added", 0, 3);
    doc("link_changed", 1, 3);  // its pages stand in two pairs
    doc("metadata_changed", 0, 0);
    const std::vector<ReviewPair> pairs = review_pairs(l, 3, 3);
    ASSERT_EQ(pairs.size(), 4u);
    EXPECT_EQ(pairs[0].document, (std::vector<size_t>{3}));
    EXPECT_EQ(pairs[1].document, (std::vector<size_t>{1}));
    EXPECT_EQ(pairs[2].document, (std::vector<size_t>{0}));
    EXPECT_EQ(pairs[3].document, (std::vector<size_t>{2, 3}));
    // A pair whose pages differ only in a link is a changed pair.
    EXPECT_TRUE(pairs[0].entries.empty());
    EXPECT_TRUE(pairs[0].changed());
    EXPECT_EQ(pair_description(l, pairs[0]), "link changed");
    EXPECT_EQ(pair_description(l, pairs[3]), "annotation added, link changed");
    diff_result_add(&l, 2, "content_changed", nullptr, nullptr, 0, nullptr, 0);
    l.entries.back().page_a = 3, l.entries.back().page_b = 2;
    EXPECT_EQ(pair_description(l, review_pairs(l, 3, 3)[2]), "content changed, link changed");
}

TEST(SideBySide, PairsWithOnlyLinkChangesAreShownAndMarkedOnTheirSide) {
    DocBuilder a, b;
    const int fa = a.font("Helvetica"), fb = b.font("Helvetica");
    for (int p = 0; p < 3; ++p) {
        text_page(&a, fa, "page " + std::to_string(p));
        text_page(&b, fb, "page " + std::to_string(p));
    }
    DiffList list;
    list.identical = 0;
    list.pairs = {{0, 0}, {1, 1}, {2, 2}};
    DocDiff removed;  // a link A had on its page 2, in displayed coordinates
    removed.type = "link_changed";
    removed.page_a = 2, removed.has_rect_a = true, removed.rect_a = {100, 50, 200, 70};
    list.document.push_back(removed);
    CompareOptions opts;
    opts.changed_only = true;
    const Report r = side_by_side(a.build(), b.build(), opts, "a.pdf", "b.pdf", &list);
    ASSERT_EQ(r.kids().size(), 2u);
    const std::string summary = r.content_of(r.kids()[0]), page = r.content_of(r.kids()[1]);
    EXPECT_NE(summary.find("(A p. 2 | B p. 2)"), std::string::npos);
    EXPECT_NE(summary.find("(Document: link changed)"), std::string::npos);
    EXPECT_NE(summary.find("(link or annotation \\(A dotted\\))"), std::string::npos) << summary;
    EXPECT_NE(page.find("A p. 2 | B p. 2: link changed"), std::string::npos);
    // One mark, A's (dotted), drawn in the scaled page's space: y from the
    // page's bottom edge (792 - 70), 1.5 pt of padding all round.
    const size_t mark = page.find("0 0.55 0.55 RG 1 w [1.5 1.5] 0 d 98.50 720.50 103.00 23.00 re S");
    EXPECT_NE(mark, std::string::npos) << page;
    EXPECT_EQ(page.find("0 0.55 0.55 RG", mark + 1), std::string::npos);
}

TEST(SideBySide, PairPagesShowBothSidesMarkedByKind) {
    DocBuilder a, b;
    const int fa = a.font("Helvetica"), fb = b.font("Helvetica");
    text_page(&a, fa, "one two three four");
    text_page(&b, fb, "one two three four");
    text_page(&a, fa, "alpha beta gamma delta");
    text_page(&b, fb, "alpha BETA gamma delta added");
    text_page(&a, fa, "only in the first");
    const Report r = side_by_side(a.build(), b.build());
    const std::vector<int> kids = r.kids();
    // One summary page, three pairs.
    ASSERT_EQ(kids.size(), 4u);
    const std::string identical = r.content_of(kids[1]), changed = r.content_of(kids[2]), removed = r.content_of(kids[3]);
    // The forms start from the initial graphics state: nothing changes it
    // outside a q ... Q pair.
    for (const std::string *content : {&identical, &changed, &removed}) {
        int depth = 0;
        std::istringstream ops(*content);
        for (std::string op; ops >> op;) {
            if (op == "q") ++depth;
            if (op == "Q") --depth;
            static const std::set<std::string> state = {"g", "rg", "G", "RG", "w", "d", "gs", "cm", "k", "K"};
            EXPECT_FALSE(depth == 0 && state.count(op)) << op << " outside q/Q in\n" << *content;
        }
        EXPECT_EQ(depth, 0);
    }
    EXPECT_NE(identical.find("/A Do"), std::string::npos);
    EXPECT_NE(identical.find("/B Do"), std::string::npos);
    EXPECT_EQ(identical.find("/GSM"), std::string::npos) << identical;
    // A replaced word is dashed amber on both sides, the added word green
    // and underlined on B only.
    const size_t mid = changed.find("/B Do");
    ASSERT_NE(mid, std::string::npos);
    const std::string left = changed.substr(0, mid), right = changed.substr(mid);
    EXPECT_NE(left.find("1 0.65 0 rg 1.2 w [3 2] 0 d"), std::string::npos) << left;
    EXPECT_NE(right.find("1 0.65 0 rg 1.2 w [3 2] 0 d"), std::string::npos) << right;
    EXPECT_EQ(left.find("0.1 0.8 0.1 rg"), std::string::npos);
    EXPECT_NE(right.find("0.1 0.8 0.1 rg"), std::string::npos);
    EXPECT_NE(changed.find("(A p. 2 | B p. 2: text changed \\(1 inserted, 1 replaced\\))"), std::string::npos)
        << changed;
    // Labels name the file and the page; a missing page is an empty frame.
    EXPECT_NE(changed.find("(a.pdf \\227 page 2 of 3)"), std::string::npos) << changed;
    EXPECT_NE(changed.find("(b.pdf \\227 page 2 of 2)"), std::string::npos);
    EXPECT_NE(removed.find("(not in B)"), std::string::npos);
    EXPECT_EQ(removed.find("/B Do"), std::string::npos);
    EXPECT_NE(removed.find("q 0.8 0 0 RG 2 w"), std::string::npos);  // A's page framed red

    // Summary: both names, counts, one link per changed pair to its page.
    const std::string summary = r.content_of(kids[0]);
    EXPECT_NE(summary.find("(old/a.pdf)"), std::string::npos) << summary;
    EXPECT_NE(summary.find("(new/b.pdf)"), std::string::npos);
    EXPECT_NE(summary.find("(3 pages)"), std::string::npos);
    EXPECT_NE(summary.find("(Page pairs: 3 \\(by position\\), changed: 2, identical: 1)"), std::string::npos);
    EXPECT_NE(summary.find("(page 3)"), std::string::npos);
    EXPECT_NE(summary.find("(page 4)"), std::string::npos);
    static const std::regex dest(R"(/Dest \[(\d+) 0 R /Fit\])");
    std::vector<int> summary_dests, outline_dests;
    const std::string page0 = r.object(kids[0]);
    static const std::regex annot(R"((\d+) 0 R)");
    const std::string annots = page0.substr(page0.find("/Annots"));
    for (std::sregex_iterator it(annots.begin(), annots.end(), annot), end; it != end; ++it) {
        std::smatch m;
        const std::string link = r.object(std::stoi((*it)[1]));
        ASSERT_TRUE(std::regex_search(link, m, dest)) << link;
        summary_dests.push_back(std::stoi(m[1]));
    }
    EXPECT_EQ(summary_dests, (std::vector<int>{kids[2], kids[3]}));
    // The outline: one entry per changed pair, in order, opened in the sidebar.
    EXPECT_NE(r.object(1).find("/Outlines 3 0 R /PageMode /UseOutlines"), std::string::npos);
    std::smatch m;
    const std::string root = r.object(3);
    ASSERT_TRUE(std::regex_search(root, m, std::regex(R"(/First (\d+) 0 R /Last (\d+) 0 R /Count 2)"))) << root;
    for (int item = std::stoi(m[1]); item;) {
        const std::string text = r.object(item);
        std::smatch d, next;
        ASSERT_TRUE(std::regex_search(text, d, dest));
        outline_dests.push_back(std::stoi(d[1]));
        item = std::regex_search(text, next, std::regex(R"(/Next (\d+) 0 R)")) ? std::stoi(next[1]) : 0;
    }
    EXPECT_EQ(outline_dests, summary_dests);
    // Every pair page leads back to the summary.
    EXPECT_EQ(r.count("/Dest [" + std::to_string(kids[0]) + " 0 R /Fit]"), 3u);
}

TEST(SideBySide, ChangedOnlyLeavesIdenticalPairsOut) {
    DocBuilder a, b;
    const int fa = a.font("Helvetica"), fb = b.font("Helvetica");
    for (int p = 0; p < 6; ++p) {
        text_page(&a, fa, "page " + std::to_string(p));
        text_page(&b, fb, p == 4 ? "page four" : "page " + std::to_string(p));
    }
    CompareOptions opts;
    opts.changed_only = true;
    const Report r = side_by_side(a.build(), b.build(), opts);
    ASSERT_EQ(r.kids().size(), 2u);
    EXPECT_NE(r.content_of(r.kids()[1]).find("A p. 5 | B p. 5"), std::string::npos);
    EXPECT_NE(r.content_of(r.kids()[0]).find("\\(left out of this report\\))"), std::string::npos);
    // Only the forms of the pages shown are written.
    EXPECT_EQ(r.count("/Subtype /Form"), 2u);

    // Identical documents with changed_only: the summary alone.
    DocBuilder c;
    text_page(&c, c.font("Helvetica"), "same");
    const std::string same = c.build();
    const Report empty = side_by_side(same, same, opts);
    ASSERT_EQ(empty.kids().size(), 1u);
    EXPECT_NE(empty.content_of(empty.kids()[0]).find("(No page pair differs.)"), std::string::npos);
    EXPECT_NE(empty.object(3).find("/Count 0"), std::string::npos);
    EXPECT_EQ(empty.object(1).find("/PageMode"), std::string::npos);
}

TEST(SideBySide, SourcePagesAndResourcesAreWrittenOnce) {
    // Both pages of A use one font; with pairs that show A's first page
    // twice its form and the font are still written once.
    DocBuilder a, b;
    const int fa = a.font("Times-Roman"), fb = b.font("Courier");
    text_page(&a, fa, "first");
    text_page(&a, fa, "second");
    text_page(&b, fb, "first");
    text_page(&b, fb, "third");
    DiffList list;
    list.pairs = {{0, 0}, {0, 1}, {1, -1}};
    const Report r = side_by_side(a.build(), b.build(), {}, "a.pdf", "b.pdf", &list);
    EXPECT_EQ(r.count("/Subtype /Form"), 4u);  // A's two pages, B's two
    EXPECT_EQ(r.count("/BaseFont /Times-Roman"), 1u);
    EXPECT_EQ(r.count("/BaseFont /Courier"), 1u);
    const std::vector<int> kids = r.kids();
    ASSERT_EQ(kids.size(), 4u);
    std::smatch m1, m2;
    const std::string p1 = r.object(kids[1]), p2 = r.object(kids[2]);
    static const std::regex form_a(R"(/A (\d+) 0 R)");
    ASSERT_TRUE(std::regex_search(p1, m1, form_a));
    ASSERT_TRUE(std::regex_search(p2, m2, form_a));
    EXPECT_EQ(m1[1], m2[1]);
}

TEST(SideBySide, FormsKeepEncodedContentWhenTheyCan) {
    struct Case {
        const char *what;
        std::string contents_dict;  // the page's /Contents and extra objects
        bool kept;
    };
    const std::string data = "BT /F1 12 Tf 72 700 Td (compressed words) Tj ET";
    const std::string packed = fixture::zlib_compress(data);
    const std::vector<Case> cases = {
        {"one Flate stream", "<< /Length " + std::to_string(packed.size()) + " /Filter /FlateDecode >>", true},
        {"filter array", "<< /Length " + std::to_string(packed.size()) + " /Filter [/FlateDecode] >>", true},
        {"parameters", "<< /Length " + std::to_string(packed.size()) +
                           " /Filter /FlateDecode /DecodeParms << /Columns 1 >> >>", true},
        {"indirect parameters", "<< /Length " + std::to_string(packed.size()) +
                                    " /Filter /FlateDecode /DecodeParms 9 0 R >>", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fixture::PdfWriter w;
        w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        w.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        w.add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                 "/Resources << /Font << /F1 5 0 R >> >> >>");
        w.add(4, c.contents_dict + "\nstream\n" + packed + "\nendstream");
        w.add(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
        w.add(9, "<< /Columns 1 >>");
        const std::string doc = w.build();
        const Report r = side_by_side(doc, doc);
        EXPECT_EQ(r.count(packed), c.kept ? 2u : 0u) << c.what;
        EXPECT_EQ(r.count(data), c.kept ? 0u : 2u) << c.what;
    }
    // Two content streams are joined, decoded.
    DocBuilder d;
    const int f = d.font("Helvetica");
    const int s1 = d.stream("", "BT /F1 12 Tf 72 700 Td (one) Tj ET", true);
    const int s2 = d.stream("", "BT /F1 12 Tf 72 680 Td (two) Tj ET", true);
    d.page({.content = "", .resources = fixture::resources({{"F1", f}})});
    d.writer().add(d.next_num() - 1, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [" +
                                         std::to_string(s1) + " 0 R " + std::to_string(s2) + " 0 R] /Resources " +
                                         fixture::resources({{"F1", f}}) + " >>");
    const std::string joined = d.build();
    const Report r = side_by_side(joined, joined);
    EXPECT_EQ(r.count("(one) Tj ET BT"), 2u) << r.bytes.substr(0, 3000);
}

TEST(SideBySide, RotatedAndShiftedPagesKeepTheirMarksAndScale) {
    DocBuilder a, b;
    const int fa = a.font("Helvetica"), fb = b.font("Helvetica");
    text_page(&a, fa, "turned page old", {.rotate = 90});
    text_page(&b, fb, "turned page new", {.rotate = 90});
    text_page(&a, fa, "small page", {.media_box = "100 100 400 500"});
    text_page(&b, fb, "small page", {.media_box = "0 0 600 800"});
    const Report r = side_by_side(a.build(), b.build());
    const std::vector<int> kids = r.kids();
    ASSERT_EQ(kids.size(), 3u);
    // Landscape as displayed: 792 x 612 side by side.
    EXPECT_NE(r.object(kids[1]).find("/MediaBox [0 0 1644 670]"), std::string::npos) << r.object(kids[1]);
    const std::string turned = r.content_of(kids[1]);
    EXPECT_NE(turned.find("q 1 0 0 1 18 18 cm /A Do 0 0 792 612 re W n\nq 0 -1 1 0 0 612 cm\n"), std::string::npos)
        << turned;
    EXPECT_NE(turned.find("q 1 0 0 1 834 18 cm /B Do"), std::string::npos) << turned;
    // A's 300 x 400 page is scaled to B's 800 points of height; its box
    // corner goes through the form's matrix.
    const std::string sized = r.content_of(kids[2]);
    EXPECT_NE(sized.find("q 2 0 0 2 18 18 cm /A Do"), std::string::npos) << sized;
    EXPECT_NE(sized.find("q 1 0 0 1 642 18 cm /B Do"), std::string::npos) << sized;
    EXPECT_NE(sized.find("[6 3] 0 d"), std::string::npos);  // size changed: both pages framed
    EXPECT_NE(r.bytes.find("/BBox [100 100 400 500] /Matrix [1 0 0 1 -100 -100]"), std::string::npos);
}

TEST(SideBySide, IgnoredRegionsAreOutlinedOnTheirSide) {
    DocBuilder a, b;
    for (DocBuilder *d : {&a, &b}) {
        const int f = d->font("Helvetica");
        text_page(d, f, "first");
        text_page(d, f, "second", {.rotate = 90});
    }
    CompareOptions opts;
    IgnoreRegion footer;
    footer.x0 = 10, footer.y0 = 700, footer.x1 = 200, footer.y1 = 780;
    footer.side = kSideB;
    IgnoreRegion first_page;
    first_page.x0 = 0, first_page.y0 = 0, first_page.x1 = 50, first_page.y1 = 40;
    first_page.pages = {{1, 1}};
    opts.ignore_regions = {footer, first_page};
    const Report r = side_by_side(a.build(), b.build(), opts);
    const std::vector<int> kids = r.kids();
    ASSERT_EQ(kids.size(), 3u);
    const std::string p1 = r.content_of(kids[1]), p2 = r.content_of(kids[2]);
    const std::string sample = "q 0.45 G 0.8 w [2 2] 0 d ";
    const size_t mid1 = p1.find("/B Do"), mid2 = p2.find("/B Do");
    // Top-left coordinates: y 700..780 on a 792-high page is 12..92 from the bottom.
    EXPECT_EQ(p1.substr(0, mid1).find(sample + "10.00 12.00 190.00 80.00 re S Q"), std::string::npos);
    EXPECT_NE(p1.substr(mid1).find(sample + "10.00 12.00 190.00 80.00 re S Q"), std::string::npos) << p1;
    EXPECT_NE(p1.substr(0, mid1).find(sample + "0.00 752.00 50.00 40.00 re S Q"), std::string::npos);
    EXPECT_NE(p1.substr(mid1).find(sample + "0.00 752.00 50.00 40.00 re S Q"), std::string::npos);
    // The turned page is 612 high as displayed; the first-page region is absent.
    EXPECT_NE(p2.substr(mid2).find(sample + "10.00 -168.00 190.00 80.00 re S Q"), std::string::npos) << p2;
    EXPECT_EQ(p2.find("50.00 40.00 re"), std::string::npos);
    EXPECT_NE(r.content_of(kids[0]).find("(Ignored: 2 regions, 0 text patterns)"), std::string::npos);
}

TEST(SideBySide, LongListsContinueOnMoreSummaryPages) {
    DocBuilder a, b;
    const int fa = a.font("Helvetica"), fb = b.font("Helvetica");
    for (int p = 0; p < 120; ++p) {
        text_page(&a, fa, "page " + std::to_string(p));
        text_page(&b, fb, "page " + std::to_string(p) + " changed");
    }
    CompareOptions opts;
    opts.changed_only = true;
    const Report r = side_by_side(a.build(), b.build(), opts, "a.pdf",
                                  "\xD0\x9D\xD0\xBE\xD0\xB2\xD1\x8B\xD0\xB9.pdf");
    const std::vector<int> kids = r.kids();
    const size_t summary_pages = kids.size() - 120;
    EXPECT_GE(summary_pages, 3u);
    // Every listed pair links to its own page, across all summary pages.
    std::vector<int> dests;
    static const std::regex dest(R"(/Dest \[(\d+) 0 R /Fit\])");
    static const std::regex annot(R"((\d+) 0 R)");
    for (size_t p = 0; p < summary_pages; ++p) {
        const std::string page = r.object(kids[p]);
        const std::string annots = page.substr(page.find("/Annots"));
        for (std::sregex_iterator it(annots.begin(), annots.end(), annot), end; it != end; ++it) {
            std::smatch m;
            const std::string link = r.object(std::stoi((*it)[1]));
            ASSERT_TRUE(std::regex_search(link, m, dest));
            dests.push_back(std::stoi(m[1]));
        }
    }
    EXPECT_EQ(dests, std::vector<int>(kids.begin() + static_cast<long>(summary_pages), kids.end()));
    EXPECT_NE(r.content_of(kids[1]).find("(Changed page pairs \\(continued\\))"), std::string::npos);
    // B's name in Cyrillic is escaped on the summary and on the labels.
    EXPECT_NE(r.content_of(kids[0]).find("(\\\\u041D\\\\u043E\\\\u0432\\\\u044B\\\\u0439.pdf)"), std::string::npos);
    EXPECT_NE(r.content_of(kids.back()).find("(\\\\u041D\\\\u043E\\\\u0432\\\\u044B\\\\u0439.pdf \\227 page 120 of 120)"),
              std::string::npos);
}

TEST(SideBySide, ExtremePageSizesStayWithinWhatViewersAccept) {
    // A long strip beside a tall one, and an empty box: the report page
    // never passes 14,400 points and nothing divides by zero.
    const struct {
        const char *box_a, *box_b;
    } cases[] = {{"0 0 20000 10", "0 0 10 20000"}, {"0 0 0 0", "0 0 612 792"}, {"0 0 14400 14400", "0 0 14400 14400"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.box_a) + " / " + c.box_b);
        DocBuilder a, b;
        text_page(&a, a.font("Helvetica"), "left", {.media_box = c.box_a});
        text_page(&b, b.font("Helvetica"), "right", {.media_box = c.box_b});
        const Report r = side_by_side(a.build(), b.build());
        std::smatch m;
        const std::string page = r.object(r.kids().back());
        ASSERT_TRUE(std::regex_search(page, m, std::regex(R"(/MediaBox \[0 0 ([0-9.]+) ([0-9.]+)\])"))) << page;
        EXPECT_LE(std::stod(m[1]), 14400.0);
        EXPECT_LE(std::stod(m[2]), 14400.0);
        EXPECT_GE(std::stod(m[1]), 1.0);
        EXPECT_EQ(r.bytes.find("nan"), std::string::npos);
        EXPECT_EQ(r.bytes.find("inf"), std::string::npos);
    }
}
