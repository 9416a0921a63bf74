// The font resources of a page, resolved into the interpreter's slots.
#pragma once

#include "interp.h"

namespace morvex {

// Fills the font slots from the page's /Resources (inherited from the
// nearest ancestor that has them).
void resolve_page_fonts(const PdfDocument &doc, const PageEntry &page, InterpState *st);

// The same into slots (room for kMaxFontSlots); returns how many were filled.
int page_font_slots(const PdfDocument &doc, const PageEntry &page, FontSlot *slots);

// Fills slots (room for kMaxFontSlots) from the /Font entry of the
// resources dictionary that starts at res_pos in text; the search for /Font
// runs to text.end.  Returns the number of slots filled.
int resolve_resource_fonts(const PdfDocument &doc, const TextRange &text, int32_t res_pos, FontSlot *slots);

// Builds the slot's font object the first time the slot is selected (the
// slot remembers the outcome, null included).  Nothing without a document.
void slot_build_font(const PdfDocument *doc, FontSlot *slot);

}  // namespace morvex
