// The font resources of a page, resolved into the interpreter's slots.
#pragma once

#include "interp.h"

namespace morvex {

// Fills the font slots from the page's /Resources (inherited from the
// nearest ancestor that has them).
void resolve_page_fonts(const PdfDocument &doc, const PageEntry &page, InterpState *st);

// Builds the slot's font object the first time the slot is selected (the
// slot remembers the outcome, null included).  Nothing without a document.
void slot_build_font(const PdfDocument *doc, FontSlot *slot);

}  // namespace morvex
