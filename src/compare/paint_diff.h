// Painted elements compared: what two pages paint alike cancels, what is
// left is grouped into named regions (see PaintChange in diff.h).
#pragma once

#include <optional>
#include <vector>

#include "../page/paint.h"
#include "diff.h"

namespace morvex {

// Elements cancel when their signatures are equal and their boxes agree
// within this many points on every edge.
constexpr double kPlaceTolerance = 0.05;

struct PaintDiffOptions {
    // The page texts differ: text elements that find no partner with the
    // same words belong to the text difference and are not repeated here.
    bool texts_differ = false;
    // Images are reported by the image comparison: their placements are
    // left out here, their boxes (all four corners) go to these when given.
    bool skip_images = false;
    std::vector<DiffRect> *image_rects_a = nullptr, *image_rects_b = nullptr;
};

// The changes between what page A and page B paint, in the order of their
// first element on A (then on B).
std::vector<PaintChange> paint_changes(const PagePaint &a, const PagePaint &b, const PaintDiffOptions &how);

// What the painted elements of one page pair say before the options pick
// what to keep: every change, and the boxes of B's and A's image
// placements that differ.
struct PairPaint {
    std::vector<PaintChange> changes;
    std::vector<DiffRect> image_a, image_b;
};

// The verdict on a pair whose entries (after any filtering) are `entries`,
// from the painted elements collected in the same analysis: nullopt when
// either list is incomplete (the entries then stay as they are).  Only
// pairs with a content or text entry need one (needs_paint).
bool needs_paint(const std::vector<DiffEntry> &entries);
std::optional<PairPaint> pair_paint(const std::vector<DiffEntry> &entries, const PagePaint &a,
                                    const PagePaint &b);

// For every page pair of the list that has a content or text difference:
// takes both pages' painted elements (moved out of `known` when the pair is there,
// else by analysing the pages again) and gives the content change the
// regions that differ (rects_a, rects_b, and each PaintChange), or drops it
// when nothing painted differs.  Kinds and regions the options ignore are
// left out.  Pairs whose painted elements cannot all be listed keep their
// entries as they were.
void refine_painted(const PdfDocument &a, const PdfDocument &b, const CompareOptions &opts, int threads,
                    DiffList *list, PaintByPair *known = nullptr);

}  // namespace morvex
