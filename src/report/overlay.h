// The content stream of one report page: the source page drawn as form F0,
// then the differences of that page marked over it.
#pragma once

#include <vector>

#include "../bytebuf.h"
#include "../compare/diff.h"

namespace morvex {

// Where a source page lands on its report page.  The report page has the
// size a viewer shows (width and height swapped for /Rotate 90 and 270)
// and starts at the origin; `m` maps the source page's default user space
// onto it (rotation, then the box's corner moved to the origin).
struct Placement {
    double m[6] = {1, 0, 0, 1, 0, 0};
    double page_w = 0, page_h = 0;
    bool identity() const { return m[0] == 1 && m[1] == 0 && m[2] == 0 && m[3] == 1 && m[4] == 0 && m[5] == 0; }
};

Placement placement_for(const PageEntry &page);

// Appends to `out` (reset first) the form line and, for each entry of
// `entries` (indexes into list, in list order): B's rectangles as
// translucent red boxes, A's as struck boxes, and for a page that only one
// document has a red frame and a red band across the top.  Rectangles go
// through the placement's matrix, so they lie over what they mark.
void build_overlay_content(const DiffList &list, const std::vector<size_t> &entries,
                           const Placement &placement, ByteBuf *out);

}  // namespace morvex
