// The font layer: one object per font resource that answers, for a shown
// string, which codes it holds, the Unicode text of each code, its width
// and whether it is the single-byte code 32 (which word spacing applies to).
//
// Where the text of a code comes from, in order:
//   1. the font's /ToUnicode CMap;
//   2. simple fonts (Type1, MMType1, TrueType, Type3): the /Encoding, a name
//      or a dictionary of /BaseEncoding and /Differences, over the built-in
//      encodings (Standard for a font without /Encoding, Symbol and
//      ZapfDingbats for those fonts), glyph names through the glyph list;
//      a symbolic TrueType font without either reads its code as a byte;
//   3. Type0 fonts: the encoding CMap's Unicode codes when it is one of the
//      predefined Unicode CMaps (UniGB-UCS2-H, UniJIS-UTF16-H, ...), else
//      the CID's character in the Adobe collection the descendant font's
//      /CIDSystemInfo names (Japan1, GB1, CNS1, Korea1, KR);
//   4. otherwise the code's bytes as they are (Latin-1, with Windows-1252 at
//      0x80-0x9F), flagged as unmapped: only the glyph's identity is known.
// Widths: /Widths with /FirstChar and the descriptor's /MissingWidth, CID
// fonts' /W and /DW, scaled by a Type3 font's /FontMatrix; the fourteen
// standard tables only for a font without widths of its own.
//
// A font with none of /ToUnicode, /Widths, /DescendantFonts and
// /FontMatrix, and no /Encoding other than /WinAnsiEncoding (a Latin
// standard font as the byte reading assumes it; Symbol and ZapfDingbats,
// whose codes are their own, always build one) builds no object at all: build_font
// returns null and the font keeps the byte reading and the word rules it
// always had, so pages made only of such fonts read exactly as before.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "../document/document.h"
#include "cmap.h"

namespace morvex {

// One code of a shown string.
struct Glyph {
    uint32_t code = 0;
    int nbytes = 1;
    double w0 = 0;           // advance in text space units per unit of font size
    double w1 = -1;          // vertical writing: displacement down the column (negative)
    bool is_space32 = false;  // the single-byte code 32
    bool unmapped = false;    // no Unicode known: text holds the code's bytes
    // UTF-8 (may be empty: a glyph that stands for no text).  It points
    // into the font's own tables, or into buf for a code whose text is
    // made as it is read: valid until the font goes or the glyph is read
    // into again, so a glyph is not copied.
    std::string_view text;
    std::string buf;

    Glyph() = default;
    Glyph(const Glyph &) = delete;
    Glyph &operator=(const Glyph &) = delete;
};

class PdfFont {
public:
    // Reads the code at s (n > 0 bytes) into g and returns its length in
    // bytes (at least 1, at most n).
    int next(const uint8_t *s, size_t n, Glyph *g) const;

    bool vertical() const { return vertical_; }
    bool is_type0() const { return type0_; }
    // The font's em in text space units: 1, except for a Type3 font whose
    // matrix maps its glyph space to text space at some other scale (a
    // bitmap font's pixels, say); its em is estimated from its widths.
    double em() const { return em_; }
    // A Type3 font whose matrix turns its glyphs upside down (writers that
    // flip the text matrix to match): its glyphs stand on the other side of
    // the baseline than the text matrix alone says.
    bool flipped() const { return flipped_; }

    // Every member compared (a member added later joins by itself; one
    // whose type has no == stops the build until it gets one).  Widths are
    // compared again bit for bit by same_font.
    bool operator==(const PdfFont &) const = default;

private:
    friend std::unique_ptr<PdfFont> build_font(const PdfDocument &doc, int32_t obj_num);
    friend struct FontBuilder;
    friend bool same_font(const PdfFont *a, const PdfFont *b);

    struct CidWidth {
        uint32_t lo, hi;
        double w;
        bool operator==(const CidWidth &) const = default;
    };

    bool type0_ = false;
    // Simple fonts: everything per code.
    std::array<std::string, 256> text_;
    std::array<double, 256> width_{};
    std::array<uint8_t, 256> unmapped_{};
    // Type0 fonts.
    CMap encoding_;
    CMap to_unicode_;
    bool has_to_unicode_ = false;
    std::vector<CidWidth> cid_widths_;  // sorted, non-overlapping after build
    // For the CIDs below its size (at most kDenseCids): 1 + the index of
    // the range of cid_widths_ that gives the CID's width, 0 for none.  A
    // width array lists CIDs one by one, so a search would cost about a
    // dozen steps a glyph.
    static constexpr uint32_t kDenseCids = 32768;
    std::vector<uint32_t> cid_width_at_;
    double default_width_ = 1.0;
    double default_w1_ = -1.0;  // /DW2's second number, per unit of font size
    bool vertical_ = false;
    int collection_ = -1;  // Adobe character collection of the CIDs, or -1
    double em_ = 1.0;
    bool flipped_ = false;
};

// The font object for the font dictionary `obj_num`, or null for a font
// that keeps the legacy byte reading (see above) or cannot be read.
std::unique_ptr<PdfFont> build_font(const PdfDocument &doc, int32_t obj_num);

// True when the two fonts (null: the byte reading) read every code alike:
// both null, or equal in every member with their widths equal bit for bit
// (so that 0 and -0 differ, as they may in a printed coordinate).
bool same_font(const PdfFont *a, const PdfFont *b);

}  // namespace morvex
