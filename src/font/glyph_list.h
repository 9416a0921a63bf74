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
// The names only the ZapfDingbats list has (a1 to a191): they read as
// dingbats in dingbat fonts only.
extern const GlyphNameEntry kDingbatNames[];
extern const int kDingbatNameCount;

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
// nothing, when no component could be read.  `dingbats`: the font is a
// ZapfDingbats font, whose names a1 to a191 are dingbats.
bool glyph_name_to_utf8(std::string_view name, std::string *out, bool dingbats = false);

// Whether a font named `base_font` (a subset prefix such as "ABCDEF+" and
// all) is a ZapfDingbats font: Adobe's ZapfDingbats, ITC's and URW's
// Dingbats (D050000L) under their usual names.
bool is_dingbat_font(std::string_view base_font);

// Names that carry a character code instead of naming a character, as
// bitmap fonts (a48 for code 48), METAFONT and picture fonts (a114) and
// some converters (x21, c90 for 0x21 and 0x90) write them, for a name the
// glyph list cannot read:
//   - decimal: 2 to 4 digits after at most two letters ("65", "a65",
//     "cm65"); one digit is too little to tell a number from a name
//     (Ghostscript names the glyphs it writes B8, D2, ... whatever their
//     codes, and LaTeX's picture fonts a1 to a9);
//   - hex, in a font whose names are hex (see below): two hex digits
//     after at most one letter ("41", "x41", "cA2").
// The value, 0 to 255, is the character's Latin-1 code point, which is how
// the names are meant in the files seen (a48 "0", a83 "S", x21 "!").
bool numeric_glyph_name(std::string_view name, bool hex, uint32_t *value);

// A name that can only be hex: "Axx" with a letter A-F or a-f among the
// two digits ("cA2", "xb0"), or "xx" that starts with a digit ("3f"; "a9"
// is a letter and a digit as often).  One such unreadable name among a
// font's names makes all its two-digit names hex.
bool hex_only_glyph_name(std::string_view name);

void append_utf8(std::string *s, uint32_t cp);

}  // namespace morvex
