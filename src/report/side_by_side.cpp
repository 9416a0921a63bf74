#include "side_by_side.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "copy.h"
#include "numbers.h"
#include "overlay.h"
#include "page_form.h"
#include "pdf_text.h"
#include "review_pairs.h"
#include "side_marks.h"
#include "summary.h"

namespace morvex {

namespace {

// Layout of a pair page, in points.  Pages stand on whole-point offsets,
// so at 72 dpi each half renders on the same pixel grid as its source.
constexpr double kMargin = 18;     // left, right and bottom
constexpr double kGutter = 24;     // between the two pages
constexpr double kLabelBand = 16;  // file name and page number above each page
constexpr double kHeadBand = 24;   // the pair's description and the way back
constexpr double kMaxPage = 14400; // the largest page size viewers accept

// The fixed objects.
constexpr int32_t kCatalog = 1, kPages = 2, kOutlines = 3, kHelvetica = 4, kHelveticaBold = 5, kFonts = 6,
                  kStates = 7, kFirstFree = 8;

double sane_size(double v) {
    if (!(v >= 1)) return 1;
    return std::min(v, kMaxPage);
}

struct Side {
    const PdfDocument *doc = nullptr;
    const PageEntry *page = nullptr;  // null: the pair has no page on this side
    int index = -1;                   // 0-based page index
    Placement placement;
    double w = 0, h = 0;  // displayed size of the source page (or of the other side's, for an empty frame)
    double scale = 1;
    double x = 0;  // left edge on the report page
};

struct PairLayout {
    Side a, b;
    double page_w = 0, page_h = 0;
    double height = 0;  // the common height both pages are scaled to
};

Side side_of(const PdfDocument &doc, int index) {
    Side s;
    s.doc = &doc;
    if (index < 0 || index >= doc.page_count()) return s;
    s.index = index;
    s.page = &doc.pages[static_cast<size_t>(index)];
    s.placement = placement_for(*s.page);
    s.w = sane_size(s.placement.page_w);
    s.h = sane_size(s.placement.page_h);
    return s;
}

PairLayout layout_pair(const PdfDocument &a, const PdfDocument &b, const PagePair &pages) {
    PairLayout l;
    l.a = side_of(a, pages.a);
    l.b = side_of(b, pages.b);
    // An empty frame takes the other page's size.
    if (!l.a.page) l.a.w = l.b.w, l.a.h = l.b.h;
    if (!l.b.page) l.b.w = l.a.w, l.b.h = l.a.h;
    l.height = std::max(l.a.h, l.b.h);
    l.a.scale = l.height / l.a.h;
    l.b.scale = l.height / l.b.h;
    double wa = l.a.w * l.a.scale, wb = l.b.w * l.b.scale;
    const double fit = std::min({1.0, (kMaxPage - 2 * kMargin - kGutter - 2) / (wa + wb),
                                 (kMaxPage - kMargin - kLabelBand - kHeadBand) / l.height});
    if (fit < 1) {
        l.height *= fit, l.a.scale *= fit, l.b.scale *= fit, wa *= fit, wb *= fit;
    }
    l.a.x = kMargin;
    l.b.x = std::ceil(kMargin + wa + kGutter);
    l.page_w = std::ceil(l.b.x + wb + kMargin);
    l.page_h = kMargin + l.height + kLabelBand + kHeadBand;
    return l;
}

// The object numbers of the report and the byte offset of each.
class ObjectTable {
public:
    explicit ObjectTable(ByteBuf *out) : out_(out), offsets_(kFirstFree, 0) {}
    int32_t reserve() {
        offsets_.push_back(0);
        return static_cast<int32_t>(offsets_.size() - 1);
    }
    // Records that object num starts here (its writer puts the header).
    void starts(int32_t num) { offsets_[static_cast<size_t>(num)] = out_->len; }
    void begin(int32_t num) {
        starts(num);
        buf_int(out_, num);
        buf_str(out_, " 0 obj\n");
    }
    void end() { buf_str(out_, "\nendobj\n"); }
    void put_xref_and_trailer() {
        const uint64_t xref = out_->len;
        const int64_t size = static_cast<int64_t>(offsets_.size());
        buf_str(out_, "xref\n0 ");
        buf_int(out_, size);
        buf_str(out_, "\n0000000000 65535 f \n");
        for (size_t n = 1; n < offsets_.size(); ++n) {
            char row[32];
            std::snprintf(row, sizeof row, "%010llu 00000 n \n", static_cast<unsigned long long>(offsets_[n]));
            buf_str(out_, row);
        }
        buf_str(out_, "trailer\n<< /Size ");
        buf_int(out_, size);
        buf_str(out_, " /Root 1 0 R >>\nstartxref\n");
        buf_int(out_, static_cast<int64_t>(xref));
        buf_str(out_, "\n%%EOF\n");
    }

private:
    ByteBuf *out_;
    std::vector<uint64_t> offsets_;
};

void put_ref(ByteBuf *out, int32_t num) {
    buf_int(out, num);
    buf_str(out, " 0 R");
}

void put_link(ByteBuf *out, double x0, double y0, double x1, double y1, int32_t target_page) {
    buf_str(out, "<< /Type /Annot /Subtype /Link /Rect [");
    put_f(out, {x0, y0, x1, y1});
    buf_str(out, "] /Border [0 0 0] /Dest [");
    put_ref(out, target_page);
    buf_str(out, " /Fit] >>");
}

void put_stream_object(ObjectTable *objs, ByteBuf *out, int32_t num, const ByteBuf &content) {
    objs->begin(num);
    buf_str(out, "<< /Length ");
    buf_int(out, static_cast<int64_t>(content.len));
    buf_str(out, " >>\nstream\n");
    buf_bytes(out, content.data, static_cast<size_t>(content.len));
    buf_str(out, "\nendstream");
    objs->end();
    if (content.oom) out->oom = true;
}

// A page that changed as a whole is framed just outside its edges, so the
// page itself stays as it is.
enum class Frame { none, removed, added, changed };

void put_frame(ByteBuf *out, const Side &s, double y, double height, Frame frame) {
    const double w = s.w * s.scale, d = 4;
    switch (frame) {
    case Frame::none:
        return;
    case Frame::removed:
        buf_str(out, "q 0.8 0 0 RG 2 w ");
        break;
    case Frame::added:
        buf_str(out, "q 0 0.55 0 RG 2 w ");
        break;
    case Frame::changed:
        buf_str(out, "q 0.85 0.45 0 RG 1.5 w [6 3] 0 d ");
        break;
    }
    put_f(out, {s.x - d, y - d, w + 2 * d, height + 2 * d});
    buf_str(out, " re S Q\n");
}

// Text in a colour of its own; the graphics state is restored after it, so
// the forms start from the state their pages expect (black fill above all).
void put_colored_text(ByteBuf *out, const char *color, bool bold, double size, double x, double y,
                      std::string_view winansi) {
    buf_str(out, "q ");
    buf_str(out, color);
    buf_str(out, " ");
    put_text(out, bold, size, x, y, winansi);
    buf_str(out, "Q\n");
}

struct SideText {
    std::string base_name;  // WinAnsi
    int32_t page_count = 0;
};

void put_side(ByteBuf *out, const DiffList &list, const ReviewPair &pair, const PairLayout &l, const Side &s,
              bool side_a, const SideText &text, const CompareOptions &opts) {
    const double y = kMargin, w = s.w * s.scale;
    // The label above the page.
    std::string tail = s.page ? " \x97 page " + std::to_string(s.index + 1) + " of " + std::to_string(text.page_count)
                              : std::string(" \x97 no page");
    const double tail_w = helvetica_width(tail, 9);
    put_colored_text(out, "0.25 g", false, 9, s.x, y + l.height + 7,
                     elide_middle(text.base_name, 9, false, std::max(20.0, w - tail_w)) + tail);
    if (!s.page) {
        buf_str(out, "q 0.55 G 1 w [4 3] 0 d ");
        put_f(out, {s.x, y, w, l.height});
        buf_str(out, " re S Q\n");
        const std::string note = side_a ? "not in A" : "not in B";
        put_colored_text(out, "0.45 g", true, 14, s.x + (w - helvetica_width(note, 14, true)) / 2,
                         y + l.height / 2 - 5, note);
        return;
    }
    // A hairline just outside the page, so white pages stand out.
    buf_str(out, "q 0.6 G 0.5 w ");
    put_f(out, {s.x - 0.75, y - 0.75, w + 1.5, l.height + 1.5});
    buf_str(out, " re S Q\n");
    buf_str(out, "q ");
    put_f(out, {s.scale, 0, 0, s.scale, s.x, y});
    buf_str(out, side_a ? " cm /A Do " : " cm /B Do ");
    // Marks stay on the page.
    buf_str(out, "0 0 ");
    put_f(out, {s.w, s.h});
    buf_str(out, " re W n\n");
    ByteBuf marks;
    put_side_marks(&marks, list, pair.entries, side_a);
    if (marks.len) {
        buf_str(out, "q ");
        const double *m = s.placement.m;
        put_f(out, {m[0], m[1], m[2], m[3], m[4], m[5]});
        buf_str(out, " cm\n");
        buf_bytes(out, marks.data, static_cast<size_t>(marks.len));
        buf_str(out, "Q\n");
    }
    put_ignored_regions(out, opts.ignore_regions, side_a, s.index + 1, s.h);
    put_document_marks(out, list, pair.document, side_a, s.index + 1, s.h);
    buf_str(out, "Q\n");
}

// The content of one pair page; *back gets the rectangle of the link to
// the summary.
void build_pair_content(const DiffList &list, const ReviewPair &pair, const PairLayout &l, const SideText &ta,
                        const SideText &tb, const CompareOptions &opts, ByteBuf *out, double back[4]) {
    buf_reset(out);
    const double top = l.page_h - kHeadBand + 8;
    const std::string back_text = "Summary";
    const double back_w = helvetica_width(back_text, 9);
    put_colored_text(out, "0.1 g", true, 10, kMargin, top,
                     elide_middle(pair_label(pair.pages) + ": " + pair_description(list, pair), 10, true,
                                  l.page_w - 2 * kMargin - back_w - 16));
    put_colored_text(out, "0 0 0.55 rg", false, 9, l.page_w - kMargin - back_w, top, back_text);
    back[0] = l.page_w - kMargin - back_w - 3;
    back[1] = top - 4;
    back[2] = l.page_w - kMargin + 3;
    back[3] = top + 11;

    Frame fa = Frame::none, fb = Frame::none;
    for (size_t index : pair.entries) {
        const char *type = list.entries[index].type;
        if (std::strcmp(type, "page_removed") == 0) fa = Frame::removed;
        else if (std::strcmp(type, "page_added") == 0) fb = Frame::added;
        else if (std::strcmp(type, "dimensions_changed") == 0 || std::strcmp(type, "rotation_changed") == 0 ||
                 (std::strcmp(type, "content_changed") == 0 && list.entries[index].paint.empty())) {
            if (fa == Frame::none) fa = Frame::changed;
            if (fb == Frame::none) fb = Frame::changed;
        }
    }
    if (!l.a.page) fa = Frame::none, fb = Frame::added;
    if (!l.b.page) fb = Frame::none, fa = Frame::removed;
    put_frame(out, l.a, kMargin, l.height, fa);
    put_frame(out, l.b, kMargin, l.height, fb);
    put_side(out, list, pair, l, l.a, true, ta, opts);
    put_side(out, list, pair, l, l.b, false, tb, opts);
}

// Appends an outline title: ASCII text, as PDFDocEncoding reads it.
void put_outline_item(ByteBuf *out, const std::string &title, int32_t prev, int32_t next, int32_t dest) {
    buf_str(out, "<< /Title ");
    put_pdf_string(out, title);
    buf_str(out, " /Parent 3 0 R");
    if (prev) buf_str(out, " /Prev "), put_ref(out, prev);
    if (next) buf_str(out, " /Next "), put_ref(out, next);
    buf_str(out, " /Dest [");
    put_ref(out, dest);
    buf_str(out, " /Fit] >>");
}

}  // namespace

bool build_side_by_side_report(const PdfDocument &a, const PdfDocument &b, const DiffList &list,
                               const CompareOptions &opts, const char *name_a, const char *name_b, ByteBuf *out) {
    const std::vector<ReviewPair> pairs = review_pairs(list, a.page_count(), b.page_count());
    std::vector<size_t> shown;
    SummaryInput sum;
    sum.list = &list;
    sum.pairs = &pairs;
    for (size_t k = 0; k < pairs.size(); ++k) {
        if (opts.changed_only && !pairs[k].changed()) continue;
        if (pairs[k].changed()) {
            sum.listed.push_back(k);
            sum.listed_page.push_back(shown.size());
        }
        shown.push_back(k);
    }
    sum.name_a = name_a ? name_a : "A";
    sum.name_b = name_b ? name_b : "B";
    sum.pages_a = a.page_count();
    sum.pages_b = b.page_count();
    sum.opts = &opts;
    std::vector<SummaryPage> summary = build_summary_pages(sum);

    // Each source page shown gets one form; the objects its resources reach
    // are copied once per document.
    std::vector<int32_t> form_a(static_cast<size_t>(a.page_count()), 0), form_b(static_cast<size_t>(b.page_count()), 0);
    std::vector<int32_t> used_a, used_b;
    ObjectTable objs(out);
    struct PairObjects {
        int32_t page = 0, content = 0, back = 0;
    };
    std::vector<int32_t> summary_page(summary.size()), summary_content(summary.size());
    std::vector<std::vector<int32_t>> summary_links(summary.size());
    for (size_t p = 0; p < summary.size(); ++p) {
        summary_page[p] = objs.reserve();
        summary_content[p] = objs.reserve();
        for (size_t k = 0; k < summary[p].links.size(); ++k) summary_links[p].push_back(objs.reserve());
    }
    std::vector<PairObjects> pair_objs(shown.size());
    for (PairObjects &po : pair_objs) {
        po.page = objs.reserve();
        po.content = objs.reserve();
        po.back = objs.reserve();
    }
    for (size_t k : shown) {
        const PagePair &p = pairs[k].pages;
        if (p.a >= 0 && !form_a[static_cast<size_t>(p.a)]) form_a[static_cast<size_t>(p.a)] = objs.reserve(), used_a.push_back(p.a);
        if (p.b >= 0 && !form_b[static_cast<size_t>(p.b)]) form_b[static_cast<size_t>(p.b)] = objs.reserve(), used_b.push_back(p.b);
    }
    std::vector<int32_t> outline(sum.listed.size());
    for (int32_t &o : outline) o = objs.reserve();
    Renumbering table_a, table_b;
    const std::vector<int32_t> copy_a = collect_copy_list(a, used_a);
    const std::vector<int32_t> copy_b = collect_copy_list(b, used_b);
    for (int32_t num : copy_a) table_a.old_nums.push_back(num), table_a.new_of.emplace(num, objs.reserve());
    for (int32_t num : copy_b) table_b.old_nums.push_back(num), table_b.new_of.emplace(num, objs.reserve());

    buf_reset(out);
    buf_str(out, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    objs.begin(kCatalog);
    buf_str(out, "<< /Type /Catalog /Pages 2 0 R /Outlines 3 0 R");
    if (!outline.empty()) buf_str(out, " /PageMode /UseOutlines");
    buf_str(out, " >>");
    objs.end();
    objs.begin(kPages);
    buf_str(out, "<< /Type /Pages /Kids [");
    for (int32_t p : summary_page) buf_str(out, " "), put_ref(out, p);
    for (const PairObjects &po : pair_objs) buf_str(out, " "), put_ref(out, po.page);
    buf_str(out, " ] /Count ");
    buf_int(out, static_cast<int64_t>(summary_page.size() + pair_objs.size()));
    buf_str(out, " >>");
    objs.end();
    objs.begin(kOutlines);
    buf_str(out, "<< /Type /Outlines");
    if (!outline.empty()) {
        buf_str(out, " /First "), put_ref(out, outline.front());
        buf_str(out, " /Last "), put_ref(out, outline.back());
    }
    buf_str(out, " /Count ");
    buf_int(out, static_cast<int64_t>(outline.size()));
    buf_str(out, " >>");
    objs.end();
    objs.begin(kHelvetica);
    buf_str(out, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    objs.end();
    objs.begin(kHelveticaBold);
    buf_str(out, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>");
    objs.end();
    objs.begin(kFonts);
    buf_str(out, "<< /F1 4 0 R /F2 5 0 R >>");
    objs.end();
    objs.begin(kStates);
    buf_str(out, "<< /GSM << /Type /ExtGState /ca 0.35 /CA 1 >> >>");
    objs.end();

    for (size_t p = 0; p < summary.size(); ++p) {
        objs.begin(summary_page[p]);
        buf_str(out, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents ");
        put_ref(out, summary_content[p]);
        buf_str(out, " /Resources << /Font 6 0 R /ExtGState 7 0 R >>");
        if (!summary_links[p].empty()) {
            buf_str(out, " /Annots [");
            for (int32_t l : summary_links[p]) buf_str(out, " "), put_ref(out, l);
            buf_str(out, " ]");
        }
        buf_str(out, " >>");
        objs.end();
        put_stream_object(&objs, out, summary_content[p], summary[p].content);
        for (size_t k = 0; k < summary[p].links.size(); ++k) {
            const SummaryLink &link = summary[p].links[k];
            objs.begin(summary_links[p][k]);
            put_link(out, link.x0, link.y0, link.x1, link.y1, pair_objs[sum.listed_page[link.listed]].page);
            objs.end();
        }
        buf_free(&summary[p].content);
    }

    const SideText ta{winansi_from_utf8(path_base_name(sum.name_a)), a.page_count()};
    const SideText tb{winansi_from_utf8(path_base_name(sum.name_b)), b.page_count()};
    ByteBuf content;
    for (size_t s = 0; s < shown.size(); ++s) {
        const ReviewPair &pair = pairs[shown[s]];
        const PairLayout l = layout_pair(a, b, pair.pages);
        double back[4];
        build_pair_content(list, pair, l, ta, tb, opts, &content, back);
        const PairObjects &po = pair_objs[s];
        objs.begin(po.page);
        buf_str(out, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ");
        put_f(out, {l.page_w, l.page_h});
        buf_str(out, "] /Contents ");
        put_ref(out, po.content);
        buf_str(out, " /Resources << /Font 6 0 R /ExtGState 7 0 R");
        if (l.a.page || l.b.page) {
            buf_str(out, " /XObject <<");
            if (l.a.page) buf_str(out, " /A "), put_ref(out, form_a[static_cast<size_t>(l.a.index)]);
            if (l.b.page) buf_str(out, " /B "), put_ref(out, form_b[static_cast<size_t>(l.b.index)]);
            buf_str(out, " >>");
        }
        buf_str(out, " >> /Annots [ ");
        put_ref(out, po.back);
        buf_str(out, " ] >>");
        objs.end();
        put_stream_object(&objs, out, po.content, content);
        objs.begin(po.back);
        put_link(out, back[0], back[1], back[2], back[3], summary_page.front());
        objs.end();
    }
    buf_free(&content);

    for (int32_t index : used_a) {
        const PageEntry &page = a.pages[static_cast<size_t>(index)];
        objs.begin(form_a[static_cast<size_t>(index)]);
        put_page_form(out, a, page, placement_for(page), table_a, FormContent::keep_encoded);
        objs.end();
    }
    for (int32_t index : used_b) {
        const PageEntry &page = b.pages[static_cast<size_t>(index)];
        objs.begin(form_b[static_cast<size_t>(index)]);
        put_page_form(out, b, page, placement_for(page), table_b, FormContent::keep_encoded);
        objs.end();
    }
    for (size_t k = 0; k < outline.size(); ++k) {
        const ReviewPair &pair = pairs[sum.listed[k]];
        objs.begin(outline[k]);
        put_outline_item(out, pair_label(pair.pages) + ": " + pair_description(list, pair), k ? outline[k - 1] : 0,
                         k + 1 < outline.size() ? outline[k + 1] : 0, pair_objs[sum.listed_page[k]].page);
        objs.end();
    }
    for (int32_t num : copy_a) {
        const int32_t renumbered = table_a.find(num);
        objs.starts(renumbered);
        write_copied_object(out, a, num, renumbered, table_a);
    }
    for (int32_t num : copy_b) {
        const int32_t renumbered = table_b.find(num);
        objs.starts(renumbered);
        write_copied_object(out, b, num, renumbered, table_b);
    }
    objs.put_xref_and_trailer();
    return !out->oom && out->data;
}

}  // namespace morvex
