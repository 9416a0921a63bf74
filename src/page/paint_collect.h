// The interpreter's side of painted elements: it tells the collector what
// each operator does, and the collector keeps the path under way, the
// fonts' identities and the list of elements.  Internal to page analysis.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "interp.h"

namespace morvex {

class PaintCollector {
public:
    // Elements wholly outside the box (the page's visible area, default
    // user space) are left out.
    PaintCollector(const PdfDocument &doc, double x0, double y0, double x1, double y1, PagePaint *out);

    // An operator that is no text-showing, image or form operator: path
    // construction and painting, clipping, colours, line style, shadings,
    // the render mode and gs.  `o` holds the n numeric operands, `name`
    // the name operand ("" when none), `array` the numbers of the last
    // array operand (a dash).
    void op(InterpState *st, std::string_view op, const double *o, int n, std::string_view name,
            const std::vector<double> &array);

    // One text-showing operator: the glyphs' box (empty when x0 > x1), the
    // shown strings' decoded bytes one after the other, a hash of the TJ
    // adjustments between them, and the current font and text state from st.
    void text(const InterpState &st, double x0, double y0, double x1, double y1, std::string_view shown,
              uint64_t adjustments);

    // An image placed with the CTM in st: the XObject `obj` (0 for an
    // inline image, which says itself whether it is a mask).  A stencil
    // mask paints in the fill colour.
    void image(const InterpState &st, int32_t obj, bool inline_mask = false);

private:
    struct FontId {
        std::string name;
        uint64_t hash = 0;
    };
    const FontId &font_id(const FontSlot &slot);
    void end_path(InterpState *st, bool fill, bool even_odd, bool stroke);
    void add(PaintElement e, const PaintGState &gs);
    void path_point(const InterpState &st, double x, double y);

    const PdfDocument &doc_;
    double px0_, py0_, px1_, py1_;
    PagePaint *out_;
    std::unordered_map<int32_t, FontId> fonts_;
    std::unordered_map<int32_t, bool> masks_;  // XObject -> is a stencil mask
    // The path under way: its first point, a hash of its segments relative
    // to that point, its box, and whether W asked to clip by it.
    bool has_path_ = false;
    double first_x_ = 0, first_y_ = 0;
    uint64_t path_hash_ = 0;
    double bx0_ = 0, by0_ = 0, bx1_ = 0, by1_ = 0;
    bool clip_pending_ = false;
};

}  // namespace morvex
