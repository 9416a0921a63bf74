#include "overlay.h"

#include <cstring>
#include <string>

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

void put(ByteBuf *out, const std::string &s) { buf_str(out, s); }

void put_rect_ops(ByteBuf *out, const DiffRect &r, bool struck) {
    const std::string box = fmt_2f(r.x - 2) + " " + fmt_2f(r.y - 2) + " " + fmt_2f(r.w + 4) + " " + fmt_2f(r.h + 4);
    if (!struck) {
        put(out, "q /GS_DIFF gs 1 0 0 rg 1 0 0 RG 1.5 w " + box + " re B Q\n");
        return;
    }
    const double mid = r.y + r.h * 0.5;
    put(out, "q /GS_DIFF gs 1 0.2 0.2 rg 1 0 0 RG 1.5 w " + box + " re B " + fmt_2f(r.x - 2) + " " +
                 fmt_2f(mid) + " m " + fmt_2f(r.x + r.w + 2) + " " + fmt_2f(mid) + " l S Q\n");
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
            std::string cm = "q";
            for (double v : placement.m) cm += " " + fmt_f(v);
            put(out, cm + " cm\n");
        }
        for (const DiffRect &r : e.rects_b) put_rect_ops(out, r, false);
        for (const DiffRect &r : e.rects_a) put_rect_ops(out, r, true);
        if (has_rects && transform) buf_str(out, "Q\n");
        if (std::strcmp(e.type, "page_added") == 0 || std::strcmp(e.type, "page_removed") == 0) {
            const double w = placement.page_w, h = placement.page_h;
            put(out, "q 1 0 0 RG 4 w 2 2 " + fmt_2f(w - 4) + " " + fmt_2f(h - 4) + " re S Q\nq 1 0 0 rg 0 " +
                         fmt_2f(h - 24) + " " + fmt_2f(w) + " 24 re f Q\n");
        }
    }
}

}  // namespace morvex
