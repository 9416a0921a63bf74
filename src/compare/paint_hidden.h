// Which painted elements of a page no pixel shows: those wholly under a
// later opaque rectangle, and white ones painted where nothing was painted
// before (the page shows white there anyway).  Only what the collector
// marked as covering or white counts, so transparency, blend modes, soft
// masks, patterns and clips of other shapes always show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "../page/paint.h"

namespace morvex {

class HiddenElements {
public:
    explicit HiddenElements(const PagePaint &page);
    // True only when element i surely shows no pixel; when unsure (a cap
    // reached) false.
    bool hidden(size_t i);

private:
    void build();
    bool covered(size_t i);
    bool nothing_near(size_t i, int64_t *work) const;
    int cell_x(double x) const;
    int cell_y(double y) const;

    const PagePaint &page_;
    bool built_ = false;
    double x0_ = 0, y0_ = 0, cw_ = 1, ch_ = 1;
    // Per cell: the first element painted over it (UINT32_MAX: none), and
    // the covering elements that reach into it.
    std::vector<uint32_t> first_;
    std::vector<std::vector<uint32_t>> covers_;
    // White elements painted where nothing was: they leave the page as it
    // was, so they are not entered in first_ either.
    std::vector<bool> over_nothing_;
    // Elements from this index on were not entered in first_ (the work cap
    // was reached): nothing is known of what lies beneath them.
    size_t first_known_ = 0;
};

}  // namespace morvex
