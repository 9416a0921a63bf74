// The visual report: a PDF 1.4 file with one page for every page position
// of the longer document, each showing the source page (B's, or A's where
// B has none) as a form XObject with its differences marked over it.
//
// Objects: 1 the catalog, 2 the page tree, for report page i the page 3i,
// its form 3i+1 and its content stream 3i+2, then the copied objects.
#pragma once

#include <string>

#include "../bytebuf.h"
#include "../compare/diff.h"
#include "../document/document.h"

namespace morvex {

// Builds the whole report of a compared pair into out.  Returns false when
// memory ran out.
bool build_visual_report(const PdfDocument &a, const PdfDocument &b, const DiffList &list, ByteBuf *out);

// Writes bytes to path through a temporary file beside it, renamed over it
// once complete.  On failure sets the error text and leaves any existing
// file at path untouched.
bool write_report_file(const char *path, const ByteBuf &bytes);

}  // namespace morvex
