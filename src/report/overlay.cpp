#include "overlay.h"

#include <cstring>

#include "numbers.h"

namespace morvex {

Placement placement_for(const PageEntry &page) {
    const double x0 = page.box_x, y0 = page.box_y, w = page.box_w, h = page.box_h;
    Placement p;
    // 0.0 - v rather than -v, so a corner at the origin writes "0", not "-0".
    switch (page.rotate) {
    case 90:
        p = {{0, -1, 1, 0, 0.0 - y0, w + x0}, h, w};
        break;
    case 180:
        p = {{-1, 0, 0, -1, w + x0, h + y0}, w, h};
        break;
    case 270:
        p = {{0, 1, -1, 0, h + y0, 0.0 - x0}, h, w};
        break;
    default:
        p = {{1, 0, 0, 1, 0.0 - x0, 0.0 - y0}, w, h};
    }
    return p;
}

namespace {

void put_rect_ops(ByteBuf *out, const DiffRect &r, bool struck) {
    buf_str(out, struck ? "q /GS_DIFF gs 1 0.2 0.2 rg 1 0 0 RG 1.5 w " : "q /GS_DIFF gs 1 0 0 rg 1 0 0 RG 1.5 w ");
    put_2f(out, {r.x - 2, r.y - 2, r.w + 4, r.h + 4});
    if (!struck) {
        buf_str(out, " re B Q\n");
        return;
    }
    // A line through the middle, from the box's left edge to its right edge.
    const double mid = r.y + r.h * 0.5;
    buf_str(out, " re B ");
    put_2f(out, {r.x - 2, mid});
    buf_str(out, " m ");
    put_2f(out, {r.x + r.w + 2, mid});
    buf_str(out, " l S Q\n");
}

// A style or drawing change: an outline in the kind's colour (purple for
// style, blue for drawing), solid where B paints it, dashed where A did.
void put_paint_ops(ByteBuf *out, const DiffRect &r, const char *kind, bool side_a) {
    buf_str(out, std::strcmp(kind, "style") == 0 ? "q 0.55 0.15 0.75 RG " : "q 0.1 0.35 0.85 RG ");
    buf_str(out, side_a ? "1 w [3 2] 0 d " : "1.5 w ");
    put_2f(out, {r.x - 2, r.y - 2, r.w + 4, r.h + 4});
    buf_str(out, " re S Q\n");
}

}  // namespace

void build_overlay_content(const DiffList &list, const std::vector<size_t> &entries,
                           const Placement &placement, ByteBuf *out) {
    buf_reset(out);
    buf_str(out, "q 1 0 0 1 0 0 cm /F0 Do Q\n");
    const bool transform = !placement.identity();
    for (size_t index : entries) {
        const DiffEntry &e = list.entries[index];
        const bool has_rects = !e.rects_b.empty() || !e.rects_a.empty();
        if (has_rects && transform) {
            const double *m = placement.m;
            buf_str(out, "q ");
            put_f(out, {m[0], m[1], m[2], m[3], m[4], m[5]});
            buf_str(out, " cm\n");
        }
        if (!e.paint.empty()) {
            for (const PaintChange &c : e.paint) {
                for (const DiffRect &r : c.rects_b) put_paint_ops(out, r, c.kind, false);
                for (const DiffRect &r : c.rects_a) put_paint_ops(out, r, c.kind, true);
            }
        } else {
            for (const DiffRect &r : e.rects_b) put_rect_ops(out, r, false);
            for (const DiffRect &r : e.rects_a) put_rect_ops(out, r, true);
        }
        if (has_rects && transform) buf_str(out, "Q\n");
        if (std::strcmp(e.type, "page_added") == 0 || std::strcmp(e.type, "page_removed") == 0) {
            const double w = placement.page_w, h = placement.page_h;
            buf_str(out, "q 1 0 0 RG 4 w 2 2 ");
            put_2f(out, {w - 4, h - 4});
            buf_str(out, " re S Q\nq 1 0 0 rg 0 ");
            put_2f(out, {h - 24, w});
            buf_str(out, " 24 re f Q\n");
        }
    }
}

}  // namespace morvex
