// The marks of the side-by-side report, drawn over one side's page.  The
// scheme stays readable in greyscale print, where the colours are lost:
//
//   deleted  (A's page, red)       a solid box, the words struck through
//   inserted (B's page, green)     a tinted box with a thick underline, no outline
//   replaced (both pages, amber)   a tinted box with a dashed outline
//   style    (both pages, purple)  an outline, no tint: words in another look
//   drawing  (both pages, blue)    a dashed outline, no tint: lines, shapes, placements
//   link or annotation (teal)      a dash-dot outline where B has it, a thin
//                                  dotted one where A had it
//   ignored region (grey)          a thin, finely dashed outline, no tint
//
// Boxes are tinted through the graphics state /GSM (fill alpha 0.35), so
// the words under them stay legible.
#pragma once

#include <vector>

#include "../bytebuf.h"
#include "../compare/diff.h"
#include "../options/options.h"
#include "overlay.h"

namespace morvex {

enum class MarkStyle { deleted, inserted, replaced, style, drawing, document_new, document_old };

// The mark of a change among painted elements ("style" or "drawing").
MarkStyle paint_mark(const char *kind);

// Appends the mark of one rectangle (source user space, points).
void put_mark(ByteBuf *out, const DiffRect &r, MarkStyle style);

// Appends the marks that the given entries put on one side's page: their
// word-level changes (deleted and replaced words on A, inserted and
// replaced words on B), their style and drawing changes, or the entry's
// own rectangles of that side, and the rectangles of image differences.  Drawn in the source page's user
// space: the caller has applied the placement.
void put_side_marks(ByteBuf *out, const DiffList &list, const std::vector<size_t> &entries, bool side_a);

// Appends the ignored regions that apply to page `page` (1-based) of side
// A or B as dashed grey outlines.  Coordinates are the displayed page's
// (origin top-left, y downward) turned into the report's (origin bottom
// left) on a page `page_h` high.
void put_ignored_regions(ByteBuf *out, const std::vector<IgnoreRegion> &regions, bool side_a, int page,
                         double page_h);

// Appends the marks of the document entries `docs` (indexes into
// list.document) that lie on page `page` (1-based) of side A or B: A's
// rectangle as the old place, B's as the new.  Their rectangles are in the
// displayed page's convention, turned into the report's like the ignored
// regions, on a displayed page `page_h` high.
void put_document_marks(ByteBuf *out, const DiffList &list, const std::vector<size_t> &docs, bool side_a, int page,
                        double page_h);
// The mark of one side's rectangle of a document entry, if it has one.
void put_document_mark(ByteBuf *out, const DocDiff &d, bool side_a, double page_h);

// A short sample of each style for the legend, in a box at x, y.
void put_mark_sample(ByteBuf *out, MarkStyle style, double x, double y, double w, double h);
void put_ignored_sample(ByteBuf *out, double x, double y, double w, double h);

}  // namespace morvex
