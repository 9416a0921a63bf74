// The side-by-side review report: summary pages that count the differences
// and link to every changed page pair, then one page per aligned page pair
// with A's page on the left and B's on the right, each drawn as a form
// XObject of the copied source objects and marked where it changed, and an
// outline with one entry per changed pair.
//
// Objects: 1 the catalog, 2 the page tree, 3 the outline root (empty when
// nothing changed), 4 and 5 Helvetica and Helvetica-Bold, 6 the fonts and 7
// the graphics states every page shares; then the summary pages (page,
// content, link annotations), the pair pages (page, content, link back to
// the summary), the forms (one per source page shown, however many pairs
// show it), the outline entries, and the objects copied from A and from B,
// each once.
#pragma once

#include "../bytebuf.h"
#include "../compare/diff.h"
#include "../document/document.h"
#include "../options/options.h"

namespace morvex {

// Builds the whole report into out.  name_a and name_b (UTF-8) label the
// files on the summary and above each page.  Returns false when memory ran
// out.
bool build_side_by_side_report(const PdfDocument &a, const PdfDocument &b, const DiffList &list,
                               const CompareOptions &opts, const char *name_a, const char *name_b, ByteBuf *out);

}  // namespace morvex
