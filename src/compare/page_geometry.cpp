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

void displayed_size(const PageEntry &page, double *width, double *height) {
    const bool turned = quarter_turns(page) % 2 == 1;
    *width = turned ? page.box_h : page.box_w;
    *height = turned ? page.box_w : page.box_h;
}

}  // namespace morvex
