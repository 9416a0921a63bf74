// Width tables of the fourteen standard PDF fonts, and the choice of a table
// for a font's base font name.
//
// Each table holds 256 advance widths in thousandths of the font size,
// indexed by the byte of a shown character code; 0 means no glyph.  The
// twelve Latin tables follow WinAnsiEncoding, the Symbol and ZapfDingbats
// tables the fonts' built-in encodings.  The tables are generated into
// font_metrics_data.cpp by tools/gen_font_metrics.py.
#pragma once

#include <cstdint>

namespace morvex {

extern const int16_t helvetica_widths[256];
extern const int16_t helvetica_oblique_widths[256];
extern const int16_t helvetica_bold_widths[256];
extern const int16_t helvetica_boldoblique_widths[256];
extern const int16_t courier_widths[256];
extern const int16_t courier_oblique_widths[256];
extern const int16_t courier_bold_widths[256];
extern const int16_t courier_boldoblique_widths[256];
extern const int16_t times_roman_widths[256];
extern const int16_t times_italic_widths[256];
extern const int16_t times_bold_widths[256];
extern const int16_t times_bolditalic_widths[256];
extern const int16_t symbol_widths[256];
extern const int16_t zapfdingbats_widths[256];

// Pointer to the first position in `haystack` where `needle` occurs with
// ASCII letters compared regardless of case, or null.  An empty haystack
// never matches; an empty needle matches at the start of any other.
const char *qv_strcasestr(const char *haystack, const char *needle);

// The width table for a /BaseFont name (without the slash): the first of
// the fourteen standard names, longest variants first, that occurs in it
// regardless of case, so that subset prefixes ("ABCDEF+") and suffixes do
// not matter.  Names that match none, and null, get helvetica_widths.
const int16_t *widths_for_base_font(const char *base_font_name);

}  // namespace morvex
