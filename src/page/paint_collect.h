// The interpreter's side of painted elements: it tells the collector what
// each operator does, and the collector keeps the path under way, the
// fonts' identities and the list of elements.  Internal to page analysis.
#pragma once

#include <cmath>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "interp.h"
#include "paint_values.h"
#include "xobjects.h"

namespace morvex {

class PaintCollector {
public:
    // Elements wholly outside the box (the page's visible area, default
    // user space) are left out.  `resources` is the page's resources
    // dictionary, where gs, sh and scn find what their names stand for.
    PaintCollector(const PdfDocument &doc, double x0, double y0, double x1, double y1, PagePaint *out,
                   PdfValue resources = {});

    // A form's content begins (the CTM in st already joined to its matrix)
    // or ends: it clips to its /BBox and names things in its own resources.
    // The graphics state is put back by the caller at the end.
    void begin_form(InterpState *st, const FormXObject &form);
    void end_form();

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
        bool type3 = false;  // its glyphs may paint in colours of their own
        // How far its glyphs reach beyond a run's box, in ems, where its
        // /FontBBox says they do: above and below the baseline past one em
        // (braces, brackets, large operators), before the pen's start past
        // the box's padding (circle fonts drawn around their origin), and
        // past the end of a box that is wider than its run.
        double above = 0, below = 0, before = 0, after = 0;
    };
    const FontId &font_id(const FontSlot &slot);
    void end_path(InterpState *st, bool fill, bool even_odd, bool stroke);
    bool path_is_rect() const;
    void add(PaintElement e, const PaintGState &gs);
    void path_point(const InterpState &st, double x, double y);
    struct Look {
        uint64_t hash = 0;
        bool covers_not = false;
    };
    const Look &look(char kind, std::string_view name);
    void set_space(PaintGState *gs, bool fill, std::string_view name);
    PaintColor pattern_color(std::string_view name, const double *o, int n);
    PdfValue resources() const { return resources_.empty() ? PdfValue{} : resources_.back(); }

    const PdfDocument &doc_;
    double px0_, py0_, px1_, py1_;
    PagePaint *out_;
    bool covers_ = false;  // opaque fills may count as covering what lies beneath
    ValueHasher values_;
    std::vector<PdfValue> resources_;  // the page's, then each form's being drawn
    // Resources looked up, by kind, dictionary and name.
    std::unordered_map<uint64_t, Look> looks_;
    std::unordered_map<int32_t, FontId> fonts_;
    std::unordered_map<int32_t, bool> masks_;  // XObject -> is a stencil mask
    // The path under way: its first point, a hash of its segments relative
    // to that point, its box, and whether W asked to clip by it.
    bool has_path_ = false;
    double first_x_ = 0, first_y_ = 0;
    uint64_t path_hash_ = 0;
    double bx0_ = 0, by0_ = 0, bx1_ = 0, by1_ = 0;
    bool clip_pending_ = false;
    bool even_odd_clip_ = false;  // W* rather than W
    // Whether the path is one axis-aligned rectangle: made by a single re,
    // or by up to five points (m, l, l, l, and l back or h) on its corners.
    int path_ops_ = 0;  // re counts 4, every other segment 1; curves make it no rectangle
    bool path_curved_ = false;
    bool path_by_re_ = false;
    double corner_[5][2] = {};
    // Text shown in a mode that clips (4 to 7) in the text object under
    // way: the glyphs' box and their look, for the clip ET sets.
    bool text_clip_ = false;
    double tx0_ = HUGE_VAL, ty0_ = HUGE_VAL, tx1_ = -HUGE_VAL, ty1_ = -HUGE_VAL;
    uint64_t text_clip_sig_ = 0;
};

}  // namespace morvex
