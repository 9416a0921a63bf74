// Hidden elements, looked up on a grid of kGrid x kGrid cells over the
// page's painted area.  Each element is entered in the cells its box
// reaches (the first element of each cell, and the list of covering
// elements), within kMaxBuildWork cell visits; a cover holding an element
// holds the element's centre, so one cell's list answers for it.  The grid
// is built on the first question, so pages without leftover changes pay
// nothing.
#include "paint_hidden.h"

#include <algorithm>
#include <cmath>

namespace morvex {

namespace {

constexpr int kGrid = 128;
constexpr int64_t kMaxBuildWork = int64_t{1} << 23;
// Covers looked at for one element, newest first.
constexpr int kMaxCoverChecks = 256;
// Anti-aliasing blends the pixels along an edge with what lies beneath, so
// a cover must reach this far (points, a pixel at 72 dpi) beyond what it
// hides, and a white element must keep this far from what was painted.
constexpr double kEdge = 1.0;

}  // namespace

HiddenElements::HiddenElements(const PagePaint &page) : page_(page) {}

namespace {

// The cell of a coordinate, clamped to the grid (0 for a number that is none).
int cell_of(double v, double origin, double size) {
    const double c = std::floor((v - origin) / size);
    if (!(c >= 0)) return 0;
    return c >= kGrid - 1 ? kGrid - 1 : static_cast<int>(c);
}

}  // namespace

int HiddenElements::cell_x(double x) const { return cell_of(x, x0_, cw_); }

int HiddenElements::cell_y(double y) const { return cell_of(y, y0_, ch_); }

void HiddenElements::build() {
    built_ = true;
    const std::vector<PaintElement> &es = page_.elements;
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
    for (const PaintElement &e : es)
        x0 = std::min(x0, e.x0), y0 = std::min(y0, e.y0), x1 = std::max(x1, e.x1), y1 = std::max(y1, e.y1);
    if (!(x0 <= x1 && y0 <= y1) || !std::isfinite(x1 - x0) || !std::isfinite(y1 - y0)) {
        first_known_ = 0;
        return;
    }
    x0_ = x0, y0_ = y0;
    cw_ = std::max((x1 - x0) / kGrid, 1e-6), ch_ = std::max((y1 - y0) / kGrid, 1e-6);
    first_.assign(size_t{kGrid} * kGrid, UINT32_MAX);
    covers_.assign(size_t{kGrid} * kGrid, {});
    over_nothing_.assign(es.size(), false);
    int64_t work = 0;
    size_t i = 0;
    for (; i < es.size(); ++i) {
        const PaintElement &e = es[i];
        const int cx0 = cell_x(e.x0), cx1 = cell_x(e.x1), cy0 = cell_y(e.y0), cy1 = cell_y(e.y1);
        work += int64_t{cx1 - cx0 + 1} * (cy1 - cy0 + 1);
        if (work > kMaxBuildWork) break;
        if (e.white) over_nothing_[i] = nothing_near(i, &work);
        for (int cy = cy0; cy <= cy1; ++cy)
            for (int cx = cx0; cx <= cx1; ++cx) {
                const size_t c = static_cast<size_t>(cy) * kGrid + static_cast<size_t>(cx);
                if (first_[c] == UINT32_MAX && !over_nothing_[i]) first_[c] = static_cast<uint32_t>(i);
                if (e.cover) covers_[c].push_back(static_cast<uint32_t>(i));
            }
    }
    first_known_ = i;
}

bool HiddenElements::covered(size_t i) {
    const PaintElement &e = page_.elements[i];
    // Where the cover reaches the page's edge, nothing beyond it is seen.
    const PagePaint &p = page_;
    const double mx = (e.x0 + e.x1) / 2, my = (e.y0 + e.y1) / 2;
    if (!std::isfinite(mx) || !std::isfinite(my)) return false;
    const std::vector<uint32_t> &list = covers_[static_cast<size_t>(cell_y(my)) * kGrid + static_cast<size_t>(cell_x(mx))];
    int checks = 0;
    for (auto it = list.rbegin(); it != list.rend() && *it > i && checks < kMaxCoverChecks; ++it, ++checks) {
        const PaintElement &c = page_.elements[*it];
        if ((c.x0 <= e.x0 - kEdge || c.x0 <= p.x0) && (c.y0 <= e.y0 - kEdge || c.y0 <= p.y0) &&
            (c.x1 >= e.x1 + kEdge || c.x1 >= p.x1) && (c.y1 >= e.y1 + kEdge || c.y1 >= p.y1))
            return true;
    }
    return false;
}

// No element entered before i reaches within kEdge of element i's box.
bool HiddenElements::nothing_near(size_t i, int64_t *work) const {
    const PaintElement &e = page_.elements[i];
    const int cx0 = cell_x(e.x0 - kEdge), cx1 = cell_x(e.x1 + kEdge);
    const int cy0 = cell_y(e.y0 - kEdge), cy1 = cell_y(e.y1 + kEdge);
    *work += int64_t{cx1 - cx0 + 1} * (cy1 - cy0 + 1);
    if (*work > kMaxBuildWork) return false;
    for (int cy = cy0; cy <= cy1; ++cy)
        for (int cx = cx0; cx <= cx1; ++cx)
            if (first_[static_cast<size_t>(cy) * kGrid + static_cast<size_t>(cx)] < i) return false;
    return true;
}

bool HiddenElements::hidden(size_t i) {
    if (i >= page_.elements.size()) return false;
    if (!built_) build();
    if (first_.empty()) return false;
    const PaintElement &e = page_.elements[i];
    return i < first_known_ && ((e.white && over_nothing_[i]) || covered(i));
}

}  // namespace morvex
