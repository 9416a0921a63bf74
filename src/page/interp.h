// The content interpreter's working record: the page's font slots, the
// transformation state, the word under way and what the page has produced
// so far.  Internal to page analysis.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "font/font.h"
#include "page.h"
#include "paint.h"

namespace morvex {

// A page may name this many fonts (dvipdfmx splits a CJK face into a subset
// font per 256 glyphs: a page of Korean text names about a hundred).
constexpr int kMaxFontSlots = 256;
constexpr int kMaxSavedCtm = 32;
constexpr int kMaxResourceName = 63;  // characters of a resource name

// A matrix [a b c d e f], mapping (x, y) to (a*x + c*y + e, b*x + d*y + f).
using Matrix = std::array<double, 6>;
constexpr Matrix kIdentity = {1, 0, 0, 1, 0, 0};

// One font resource of the page.
struct FontSlot {
    char name[kMaxResourceName + 1] = {};  // resource name without the slash
    int32_t obj_num = 0;                   // object number of the font dictionary
    const int16_t *widths = nullptr;       // 256 widths in thousandths of the size
    int has_base_font = 0;                 // 1: /BaseFont was read; bytes 0x80-0x9F are Windows-1252
    // The font object (built when Tf first selects the slot); null for a
    // font that keeps the byte reading above (see font.h).
    std::shared_ptr<const PdfFont> font;
    bool font_built = false;
};

// The text state parameters besides the font: Tc, Tw, Tz (as a factor) and Ts.
struct TextParams {
    double char_spacing = 0;
    double word_spacing = 0;
    double h_scale = 1;
    double rise = 0;
};

// A glyph recently placed on the page, to recognise the same glyph drawn
// again at (nearly) the same place.  Its text hash is kept apart (in
// InterpState::recent_hash), so that the search for it, made for every
// glyph, reads one short array.
struct PlacedGlyph {
    double x = 0, y = 0;
};
constexpr int kRecentGlyphs = 64;

// A finished word read through a font object, waiting with the others of
// its line until the line shows how its gaps compare (see text_runs.cpp):
// where its first glyph starts, where its last glyph ends, the direction
// it reads in (a unit vector), its size on the page, its length in
// characters and whether a space character was shown before it.
struct LineWord {
    TextItem item;
    double start_x = 0, start_y = 0;
    double end_x = 0, end_y = 0;
    double dir_x = 1, dir_y = 0;
    double size = 0;
    size_t chars = 0;
    bool after_space = false;
};

// The graphics state painted elements are drawn with, besides the CTM and
// the line width.  The clip is a box in default user space.
struct PaintGState {
    PaintColor fill = kBlack, stroke = kBlack;
    uint64_t fill_space = 0, stroke_space = 0;  // 0: a device space; else the named space's tag
    uint64_t dash = 0;                          // hash of the dash array and phase; 0: solid
    int cap = 0, join = 0;
    double miter = 10;
    int render = 0;  // text render mode
    uint64_t ext = 0;  // the graphics state dictionaries applied (gs), by value, in order
    double clip_x0 = -1e30, clip_y0 = -1e30, clip_x1 = 1e30, clip_y1 = 1e30;
    // The clip box is the clip itself: every clip so far was an axis-aligned
    // rectangle.  Otherwise the box only bounds it, and clip_sig holds the
    // shapes that are no rectangle (paths and text that clip).
    bool clip_exact = true;
    uint64_t clip_sig = 0;
    // What is painted may not simply cover what lies beneath: transparency,
    // a blend mode, a soft mask, overprint or a transfer function is in
    // effect, or the painting is an annotation's appearance (which the
    // annotation's own opacity may thin out).
    bool see_through = false;
    bool fill_pattern_space = false;  // the fill colour space is a Pattern space
};

class PaintCollector;

// What q saves and Q restores: the CTM and the text state, as viewers keep
// them together in the graphics state.  The text and line matrices are not
// part of it (they live only inside a text object).
struct SavedState {
    Matrix ctm = {};
    const FontSlot *font = nullptr;
    double font_size = 0;
    double leading = 0;
    TextParams params;
    uint64_t draw_state = 0;
    double line_width = 1;
    PaintGState paint;
};

// The interpreter's state for one page.  Not copyable: cur_font points into
// fonts.  interp_init gives the starting values, interp_free releases it.
struct InterpState {
    FontSlot fonts[kMaxFontSlots];
    int font_count = 0;
    const FontSlot *cur_font = nullptr;  // null until Tf selects a known font
    double font_size = 0;
    SavedState saved[kMaxSavedCtm] = {};
    int save_depth = 0;
    int save_floor = 0;  // a form's content cannot restore what was saved before it began
    Matrix ctm = {};
    Matrix tm = {};  // text matrix, already combined with the CTM
    Matrix lm = {};  // line matrix, likewise
    double advance = 0;  // along the current line, in text space units
    double leading = 0;
    std::vector<TextItem> items;
    std::string word;  // UTF-8 of the word under way
    double word_start_x = 0, word_start_y = 0;
    double word_end_x = 0, word_end_y = 0;
    int in_word = 0;
    // Words built through a font object: the box grows over every glyph,
    // the size is the font size on the page, and the next glyph continues
    // the word when it starts where the last one ended.
    bool word_from_font = false;
    double word_min_x = 0, word_min_y = 0, word_max_x = 0, word_max_y = 0;
    double word_size = 0;
    size_t word_last_len = 0;  // bytes of the word's last glyph text
    // The word's last glyph: the far end of its width (along last_dir),
    // the direction it reads in (a unit vector), its size on the page and
    // the size it was set at (without a Type3 font's em).
    double last_end_x = 0, last_end_y = 0;
    double last_dir_x = 1, last_dir_y = 0;
    double last_size = 0, last_set_size = 0;
    // The word's last glyph on the page: its origin and the end of its width.
    double glyph_x0 = 0, glyph_y0 = 0, glyph_x1 = 0, glyph_y1 = 0;
    PlacedGlyph recent[kRecentGlyphs];
    uint32_t recent_hash[kRecentGlyphs] = {};
    int recent_next = 0;
    int recent_count = 0;
    TextParams params;
    const PdfDocument *doc = nullptr;  // where font objects are built from
    int64_t cid_without_unicode = 0;   // glyphs whose code had no Unicode (Type0 fonts)
    // A word that ends in a hyphen at what may be a line end, held until
    // the next word shows whether it continues on the next line.  Its text
    // is already in page_text, without the space behind it.
    TextItem held_word;
    bool word_held = false;
    // The line under way: line_words holds its words while every one of
    // them is a single character (they may still join); once a longer word
    // comes, they are stored and line_mixed is set.  line_tail is the last
    // word of the line, for telling whether the next one continues it.
    std::vector<LineWord> line_words;
    LineWord line_tail;
    bool line_open = false;
    bool line_mixed = false;
    bool space_shown = false;  // a space character came after the last word stored
    std::vector<ImageItem> images;
    std::string page_text;
    // Painted elements, recorded only with record_drawings.  draw_state
    // hashes the state-setting operators in effect (saved by q, restored by Q).
    bool record_drawings = false;
    bool drawings_overflow = false;
    std::vector<Drawing> drawings;
    uint64_t draw_state = 0xcbf29ce484222325ull;
    double line_width = 1;
    // Painted elements with their look, collected only when paint is set.
    PaintCollector *paint = nullptr;
    PaintGState paint_gs;

    InterpState() = default;
    InterpState(const InterpState &) = delete;
    InterpState &operator=(const InterpState &) = delete;
};

}  // namespace morvex
