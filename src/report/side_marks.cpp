#include "side_marks.h"

#include <algorithm>
#include <cstring>

#include "numbers.h"

namespace morvex {

namespace {

// Colours: stroke, then the tint under the words.
constexpr const char *kDeleted = "0.8 0 0 RG 1 0.2 0.2 rg ";
constexpr const char *kInserted = "0 0.55 0 RG 0.1 0.8 0.1 rg ";
constexpr const char *kReplaced = "0.85 0.45 0 RG 1 0.65 0 rg ";
constexpr const char *kStyle = "0.55 0.15 0.75 RG ";
constexpr const char *kDrawing = "0.1 0.35 0.85 RG ";
constexpr const char *kDocument = "0 0.55 0.55 RG ";

// How far a box reaches beyond the word it marks.
constexpr double kPad = 1.5;

void put_style_box(ByteBuf *out, double x, double y, double w, double h, MarkStyle style) {
    switch (style) {
    case MarkStyle::deleted:
        buf_str(out, "q /GSM gs ");
        buf_str(out, kDeleted);
        buf_str(out, "1 w ");
        put_2f(out, {x, y, w, h});
        buf_str(out, " re B ");
        put_2f(out, {x, y + h * 0.5});
        buf_str(out, " m ");
        put_2f(out, {x + w, y + h * 0.5});
        buf_str(out, " l S Q\n");
        break;
    case MarkStyle::inserted:
        buf_str(out, "q /GSM gs ");
        buf_str(out, kInserted);
        buf_str(out, "2 w ");
        put_2f(out, {x, y, w, h});
        buf_str(out, " re f ");
        put_2f(out, {x, y - 0.5});
        buf_str(out, " m ");
        put_2f(out, {x + w, y - 0.5});
        buf_str(out, " l S Q\n");
        break;
    case MarkStyle::replaced:
        buf_str(out, "q /GSM gs ");
        buf_str(out, kReplaced);
        buf_str(out, "1.2 w [3 2] 0 d ");
        put_2f(out, {x, y, w, h});
        buf_str(out, " re B Q\n");
        break;
    case MarkStyle::style:
    case MarkStyle::drawing:
        buf_str(out, "q ");
        buf_str(out, style == MarkStyle::style ? kStyle : kDrawing);
        buf_str(out, style == MarkStyle::style ? "1.5 w " : "1.5 w [4 2] 0 d ");
        put_2f(out, {x, y, w, h});
        buf_str(out, " re S Q\n");
        break;
    case MarkStyle::document_new:
    case MarkStyle::document_old:
        buf_str(out, "q ");
        buf_str(out, kDocument);
        buf_str(out, style == MarkStyle::document_new ? "1.5 w [6 2 1.5 2] 0 d " : "1 w [1.5 1.5] 0 d ");
        put_2f(out, {x, y, w, h});
        buf_str(out, " re S Q\n");
        break;
    }
}

MarkStyle style_of_kind(const char *kind, bool side_a) {
    const size_t n = std::strlen(kind);
    const auto ends = [&](const char *s) {
        const size_t k = std::strlen(s);
        return n >= k && std::strcmp(kind + n - k, s) == 0;
    };
    if (ends("_added")) return MarkStyle::inserted;
    if (ends("_removed")) return MarkStyle::deleted;
    if (std::strncmp(kind, "text_", 5) == 0) return side_a ? MarkStyle::deleted : MarkStyle::inserted;
    return MarkStyle::replaced;
}

}  // namespace

MarkStyle paint_mark(const char *kind) {
    return std::strcmp(kind, "style") == 0 ? MarkStyle::style : MarkStyle::drawing;
}

void put_mark(ByteBuf *out, const DiffRect &r, MarkStyle style) {
    put_style_box(out, r.x - kPad, r.y - kPad, r.w + 2 * kPad, r.h + 2 * kPad, style);
}

void put_side_marks(ByteBuf *out, const DiffList &list, const std::vector<size_t> &entries, bool side_a) {
    for (size_t index : entries) {
        const DiffEntry &e = list.entries[index];
        if (!e.changes.empty()) {
            for (const WordChange &c : e.changes) {
                const bool replace = std::strcmp(c.op, "replace") == 0;
                const MarkStyle style = replace ? MarkStyle::replaced : side_a ? MarkStyle::deleted : MarkStyle::inserted;
                for (const DiffRect &r : side_a ? c.rects_a : c.rects_b) put_mark(out, r, style);
            }
            continue;
        }
        if (!e.paint.empty()) {
            for (const PaintChange &c : e.paint)
                for (const DiffRect &r : side_a ? c.rects_a : c.rects_b) put_mark(out, r, paint_mark(c.kind));
            continue;
        }
        const MarkStyle style = style_of_kind(e.type, side_a);
        for (const DiffRect &r : side_a ? e.rects_a : e.rects_b) put_mark(out, r, style);
    }
}

void put_ignored_regions(ByteBuf *out, const std::vector<IgnoreRegion> &regions, bool side_a, int page,
                         double page_h) {
    for (const IgnoreRegion &g : regions) {
        if (!(g.side & (side_a ? kSideA : kSideB)) || !page_in_ranges(g.pages, page)) continue;
        const double x0 = std::min(g.x0, g.x1), x1 = std::max(g.x0, g.x1);
        const double y0 = std::min(g.y0, g.y1), y1 = std::max(g.y0, g.y1);
        put_ignored_sample(out, x0, page_h - y1, x1 - x0, y1 - y0);
    }
}

void put_document_mark(ByteBuf *out, const DocDiff &d, bool side_a, double page_h) {
    if (!(side_a ? d.has_rect_a : d.has_rect_b)) return;
    const std::array<double, 4> &r = side_a ? d.rect_a : d.rect_b;
    const DiffRect box{r[0], page_h - r[3], r[2] - r[0], r[3] - r[1]};
    put_mark(out, box, side_a ? MarkStyle::document_old : MarkStyle::document_new);
}

void put_document_marks(ByteBuf *out, const DiffList &list, const std::vector<size_t> &docs, bool side_a, int page,
                        double page_h) {
    for (size_t index : docs) {
        const DocDiff &d = list.document[index];
        if ((side_a ? d.page_a : d.page_b) == page) put_document_mark(out, d, side_a, page_h);
    }
}

void put_mark_sample(ByteBuf *out, MarkStyle style, double x, double y, double w, double h) {
    put_style_box(out, x, y, w, h, style);
}

void put_ignored_sample(ByteBuf *out, double x, double y, double w, double h) {
    buf_str(out, "q 0.45 G 0.8 w [2 2] 0 d ");
    put_2f(out, {x, y, w, h});
    buf_str(out, " re S Q\n");
}

}  // namespace morvex
