// The font resources of a page, resolved into the interpreter's slots.
#pragma once

#include "interp.h"

namespace morvex {

// Fills the font slots from the page's /Resources (inherited from the
// nearest ancestor that has them).
void resolve_page_fonts(const PdfDocument &doc, const PageEntry &page, InterpState *st);

}  // namespace morvex
