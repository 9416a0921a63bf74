// Glyph names to Unicode, and the built-in encodings of simple fonts.
//
// The tables are generated into glyph_list_data.cpp by
// tools/gen_glyph_list.py from the Adobe Glyph List and Ghostscript's
// encoding vectors.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

struct GlyphNameEntry {
    const char *name;
    int count;             // code points, 0 to 4 (0: the glyph stands for no text)
    uint32_t cps[4];
};

extern const GlyphNameEntry kGlyphNames[];
extern const int kGlyphNameCount;

// code -> Unicode (BMP), 0 where the encoding has no glyph.
extern const uint16_t kStandardEncoding[256];
extern const uint16_t kWinAnsiEncoding[256];
extern const uint16_t kMacRomanEncoding[256];
extern const uint16_t kMacExpertEncoding[256];
extern const uint16_t kPdfDocEncoding[256];
extern const uint16_t kSymbolEncoding[256];
extern const uint16_t kZapfDingbatsEncoding[256];

// The encoding a name such as "WinAnsiEncoding" stands for, or null.
const uint16_t *encoding_by_name(std::string_view name);

// Appends the UTF-8 text of a glyph name: the glyph list and the names
// TeX uses, then the published algorithm for names outside the list (a
// suffix after the first '.' is dropped, components joined by '_' are
// read one by one, "uniXXXX..." is a run of 4-digit hex code units and
// "uXXXX" to "uXXXXXX" one code point).  Returns false, appending
// nothing, when no component could be read.
bool glyph_name_to_utf8(std::string_view name, std::string *out);

void append_utf8(std::string *s, uint32_t cp);

}  // namespace morvex
