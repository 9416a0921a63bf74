// From a page's default user space (y up, /Rotate not applied) to the page
// as a viewer displays it: origin at the top-left corner, y downward.
#include <algorithm>

#include "diff.h"

namespace morvex {

namespace {

// Quarter turns clockwise; a /Rotate that is not a multiple of 90 counts as 0.
int quarter_turns(const PageEntry &p) { return p.rotate % 90 == 0 ? (p.rotate / 90) % 4 : 0; }

void point(const PageEntry &p, double x, double y, double *X, double *Y) {
    const double u = x - p.box_x, v = y - p.box_y;  // from the box's lower-left corner
    switch (quarter_turns(p)) {
    case 1: *X = v, *Y = u; break;
    case 2: *X = p.box_w - u, *Y = v; break;
    case 3: *X = p.box_h - v, *Y = p.box_w - u; break;
    default: *X = u, *Y = p.box_h - v; break;
    }
}

}  // namespace

TopLeftRect to_top_left(const PageEntry &page, const DiffRect &r) {
    double ax, ay, bx, by;
    point(page, r.x, r.y, &ax, &ay);
    point(page, r.x + r.w, r.y + r.h, &bx, &by);
    return {std::min(ax, bx), std::min(ay, by), std::max(ax, bx), std::max(ay, by)};
}

namespace {

void clip_rects(std::vector<DiffRect> *rects, const PageEntry &p) {
    if (!p.cropped) return;
    std::vector<DiffRect> kept;
    for (const DiffRect &r : *rects) {
        const double x0 = std::max(r.x, p.box_x), y0 = std::max(r.y, p.box_y);
        const double x1 = std::min(r.x + r.w, p.box_x + p.box_w), y1 = std::min(r.y + r.h, p.box_y + p.box_h);
        if (x1 >= x0 && y1 >= y0) kept.push_back({x0, y0, x1 - x0, y1 - y0});
    }
    *rects = std::move(kept);
}

}  // namespace

void clip_to_shown_box(DiffEntry *e, const PageEntry &pa, const PageEntry &pb) {
    if (!pa.cropped && !pb.cropped) return;
    clip_rects(&e->rects_a, pa);
    clip_rects(&e->rects_b, pb);
    for (WordChange &c : e->changes) {
        clip_rects(&c.rects_a, pa);
        clip_rects(&c.rects_b, pb);
    }
}

void mark_old_image_places(DiffList *list, const PdfDocument &a) {
    for (DiffEntry &e : list->entries) {
        if (!e.moved_from || !e.rects_a.empty() || e.page_a < 1 || e.page_a > a.page_count()) continue;
        e.rects_a.push_back(*e.moved_from);
        clip_rects(&e.rects_a, a.pages[static_cast<size_t>(e.page_a - 1)]);
    }
}

void displayed_size(const PageEntry &page, double *width, double *height) {
    const bool turned = quarter_turns(page) % 2 == 1;
    *width = turned ? page.box_h : page.box_w;
    *height = turned ? page.box_w : page.box_h;
}

}  // namespace morvex
