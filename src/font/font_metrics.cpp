// The choice of a standard width table for a base font name.
#include "font_metrics.h"

#include "scan.h"

namespace morvex {

const char *qv_strcasestr(const char *haystack, const char *needle) {
    if (!haystack || !needle || haystack[0] == '\0') return nullptr;
    for (const char *start = haystack; *start; ++start) {
        const char *h = start;
        const char *n = needle;
        while (*n && *h &&
               to_lower_ascii(static_cast<u8>(*h)) == to_lower_ascii(static_cast<u8>(*n))) {
            ++h;
            ++n;
        }
        if (*n == '\0') return start;
    }
    return nullptr;
}

namespace {

struct BaseFontRow {
    const char *name;
    const int16_t *widths;
};

// Each name is tested before the shorter names it contains.
constexpr BaseFontRow kBaseFontRows[] = {
    {"Courier-BoldOblique", courier_boldoblique_widths},
    {"Courier-Oblique", courier_oblique_widths},
    {"Courier-Bold", courier_bold_widths},
    {"Courier", courier_widths},
    {"Helvetica-BoldOblique", helvetica_boldoblique_widths},
    {"Helvetica-Oblique", helvetica_oblique_widths},
    {"Helvetica-Bold", helvetica_bold_widths},
    {"Helvetica", helvetica_widths},
    {"Times-BoldItalic", times_bolditalic_widths},
    {"Times-Italic", times_italic_widths},
    {"Times-Bold", times_bold_widths},
    {"Times", times_roman_widths},
    {"Symbol", symbol_widths},
    {"ZapfDingbats", zapfdingbats_widths},
};

}  // namespace

const int16_t *widths_for_base_font(const char *base_font_name) {
    if (!base_font_name) return helvetica_widths;
    for (const BaseFontRow &row : kBaseFontRows) {
        if (qv_strcasestr(base_font_name, row.name)) return row.widths;
    }
    return helvetica_widths;
}

}  // namespace morvex
