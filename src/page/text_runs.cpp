#include "text_runs.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string_view>

#include "font/glyph_list.h"

namespace morvex {

namespace {

// Without a font object a TJ adjustment beyond this (in thousandths of the
// font size) ends the word, whatever the glyphs do.
constexpr double kLegacyWordBreakAdjustment = 150.0;

// Windows-1252 at 0x80..0x9F; 0 where the code page assigns nothing (the
// byte then keeps its own value).
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 0x88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 0x98
};

// Everything back to zero, memory released.
void clear_state(InterpState *st) {
    for (FontSlot &f : st->fonts) f = FontSlot{};
    st->font_count = 0;
    st->cur_font = nullptr;
    st->font_size = 0;
    for (SavedState &m : st->saved) m = SavedState{};
    st->save_depth = 0;
    st->save_floor = 0;
    st->ctm = st->tm = st->lm = Matrix{};
    st->advance = 0;
    st->leading = 0;
    std::vector<TextItem>().swap(st->items);
    std::string().swap(st->word);
    st->word_start_x = st->word_start_y = 0;
    st->word_end_x = st->word_end_y = 0;
    st->in_word = 0;
    st->word_from_font = false;
    st->word_min_x = st->word_min_y = st->word_max_x = st->word_max_y = 0;
    st->word_size = 0;
    st->word_last_len = 0;
    st->last_end_x = st->last_end_y = 0;
    st->last_dir_x = 1;
    st->last_dir_y = 0;
    st->last_size = st->last_set_size = 0;
    st->glyph_x0 = st->glyph_y0 = st->glyph_x1 = st->glyph_y1 = 0;
    for (PlacedGlyph &g : st->recent) g = PlacedGlyph{};
    for (uint32_t &h : st->recent_hash) h = 0;
    st->recent_next = st->recent_count = 0;
    st->params = TextParams{};
    st->doc = nullptr;
    st->cid_without_unicode = 0;
    std::vector<ImageItem>().swap(st->images);
    std::string().swap(st->page_text);
    st->held_word = TextItem{};
    st->word_held = false;
    std::vector<LineWord>().swap(st->line_words);
    st->line_tail = LineWord{};
    st->line_open = st->line_mixed = st->space_shown = false;
}


// Word building for text read through a font object.
//
// Each glyph spans the page from its origin to the end of its width (Tc
// and Tw are gaps behind it, as pdftotext counts them).  A glyph continues
// the word under way when it lies close enough behind the previous glyph,
// measured along the direction the previous glyph reads in and across it.  The thresholds are fractions of the font
// size as it appears on the page (the size times the text matrix's
// vertical scale, times a Type3 font's em):
//  - kWordGap: a gap along the baseline wider than this starts a new word.
//    Kerning inside a word stays well below it (about -0.1 to +0.05 em),
//    while the narrowest space a justified line shows is about 0.2 em; it is
//    the value pdftotext uses, so both read the same words.
//  - kColumnGap: the same for vertical writing, down a column.  CJK text
//    is often set with a little space between all characters of a line to
//    justify it (an eighth of an em is common) and has no spaces between
//    words; a column breaks only at wider gaps.
//  - kShiftGap: the gap allowed instead where the glyph leaves the previous
//    glyph's baseline by more than kSameBaseline, or changes size by more
//    than kSameSize (the size as set, Tf through the text matrix): a sub-
//    or superscript, a footnote mark, a small capital.  It is measured
//    against the larger of the two sizes (0.03 fitted best on 359 TeX and
//    Distiller files: 0.02 and 0.045 both read fewer words as pdftotext).  TeX
//    sets a script right behind its base ("x2", "H2", "m-2", "R1") but
//    leaves its script space of 0.5 pt (0.05 em at 10 pt) behind the
//    script before the text goes on, and a reader sees "f_y (x" and "R2 ="
//    as separate: pdftotext keeps such pieces apart from about 0.03 em on.
//  - kBackStep: a step back along the baseline larger than this (a new line
//    that starts further left, a column to the left) ends the word.
//  - kLineShift: a shift across the baseline larger than this (a new line)
//    ends the word; sub- and superscripts rise less (measured against the
//    larger of the word's size and the glyph's).
//  - kSameDirection: the cosine of the largest turn between two glyphs of
//    one word (20 degrees): text set along a curve turns a little from glyph
//    to glyph, a label set at right angles to a line of text is a word of
//    its own.  A mirrored glyph (the reversed E of the XeTeX logo) reads in
//    the direction of the word it stands in.
//  - kSamePlace: a glyph with the same text as one of the last kRecentGlyphs
//    glyphs and an origin within this distance of it in both directions is
//    the same glyph drawn again (fake bold, a shadow) and is left out.
//  - kAccentMid, kAccentBase: a spacing accent drawn over a letter or digit
//    becomes the combining accent of that letter (TeX builds accented
//    letters that way, a caron over C, the accent before or after the
//    letter).  The accent is over the letter when the middle of its width
//    lies within kAccentMid of the letter's width from the letter's middle,
//    and its baseline within kAccentBase of the glyph box's height (1.1
//    sizes) from the letter's: TeX raises an accent over a capital by a
//    fraction of the size and centres it on the letter, while an accent
//    drawn beside a letter or a math accent set over a whole formula stays
//    a character of its own.  Over anything but a letter or a digit (a
//    parenthesis, a note head) an accent stays a spacing accent; these are
//    the bounds pdftotext combines accents within.
//  - kAccentGap: the gap allowed before a spacing accent, which stands
//    over the letter that follows it, up to a letter's width further on
//    (and raised over a capital).
constexpr double kWordGap = 0.1;
constexpr double kColumnGap = 0.3;
constexpr double kShiftGap = 0.03;
constexpr double kSameBaseline = 0.05;
constexpr double kSameSize = 0.01;
constexpr double kBackStep = 0.6;
constexpr double kAccentMid = 0.3;
constexpr double kAccentBase = 0.4;
constexpr double kBoxHeight = 1.1;
constexpr double kAccentGap = 0.2;
constexpr double kLineShift = 0.5;
constexpr double kSameDirection = 0.94;
constexpr double kSamePlace = 0.1;

// The combining form of a spacing accent (the UTF-8 of the accent), or 0.
uint32_t combining_accent(std::string_view t) {
    uint32_t cp;
    if (t.size() == 1) {
        cp = static_cast<uint8_t>(t[0]);
    } else if (t.size() == 2 && (static_cast<uint8_t>(t[0]) & 0xE0) == 0xC0) {
        cp = (static_cast<uint8_t>(t[0]) & 0x1Fu) << 6 | (static_cast<uint8_t>(t[1]) & 0x3Fu);
    } else {
        return 0;
    }
    switch (cp) {
    case 0x60: return 0x0300;    // grave
    case 0x5E: return 0x0302;    // circumflex
    case 0x7E: return 0x0303;    // tilde
    case 0xA8: return 0x0308;    // dieresis
    case 0xAF: return 0x0304;    // macron
    case 0xB4: return 0x0301;    // acute
    case 0xB8: return 0x0327;    // cedilla
    case 0x2C6: return 0x0302;   // circumflex
    case 0x2C7: return 0x030C;   // caron
    case 0x2D8: return 0x0306;   // breve
    case 0x2D9: return 0x0307;   // dot above
    case 0x2DA: return 0x030A;   // ring
    case 0x2DB: return 0x0328;   // ogonek
    case 0x2DC: return 0x0303;   // tilde
    case 0x2DD: return 0x030B;   // double acute
    default: return 0;
    }
}

// The combining form of a spacing accent that can stand over a letter:
// ASCII's circumflex and tilde are characters of their own in text (and
// TeX's math fonts draw the vector arrow as a tilde), the others accents.
uint32_t over_letter_accent(std::string_view t) {
    return t == "^" || t == "~" ? 0 : combining_accent(t);
}

// The one code point a glyph's UTF-8 text holds, or 0.
uint32_t single_code_point(std::string_view t) {
    if (t.empty()) return 0;
    const auto b0 = static_cast<uint8_t>(t[0]);
    size_t n = b0 < 0x80 ? 1 : (b0 & 0xE0) == 0xC0 ? 2 : (b0 & 0xF0) == 0xE0 ? 3 : (b0 & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || t.size() != n) return 0;
    uint32_t cp = n == 1 ? b0 : n == 2 ? (b0 & 0x1Fu) : n == 3 ? (b0 & 0x0Fu) : (b0 & 0x07u);
    for (size_t i = 1; i < n; ++i) cp = cp << 6 | (static_cast<uint8_t>(t[i]) & 0x3Fu);
    return cp;
}

// Letters and digits of the scripts text is set in: everything but ASCII
// punctuation, the Latin-1 signs, modifier letters and combining marks,
// the punctuation, symbol, arrow, math, box and dingbat blocks, CJK
// punctuation and the private use area.
bool is_letter_or_digit(uint32_t cp) {
    if (cp < 0x80) return (cp >= '0' && cp <= '9') || ((cp | 0x20) >= 'a' && (cp | 0x20) <= 'z');
    if (cp < 0xC0) return cp == 0xAA || cp == 0xB5 || cp == 0xBA;
    if (cp == 0xD7 || cp == 0xF7 || cp == 0x37E || cp == 0x387) return false;
    if (cp >= 0x2B0 && cp < 0x370) return false;
    if (cp >= 0x2000 && cp < 0x2C00) return false;
    if (cp >= 0x3000 && cp < 0x3040) return false;
    if (cp >= 0xE000 && cp < 0xF900) return false;
    if (cp >= 0xFE00 && cp < 0xFE70) return false;
    return true;
}

uint32_t text_hash(std::string_view t) {
    uint32_t h = 2166136261u;
    for (unsigned char c : t) h = (h ^ c) * 16777619u;
    return h;
}

bool is_white_text(std::string_view t) {
    for (unsigned char c : t)
        if (!is_ws(c)) return false;
    return !t.empty();
}

bool drawn_before(const InterpState *st, double x, double y, uint32_t h, double tol) {
    // The slots whose hash matches, as bits, in a loop without branches the
    // compiler can vectorise; only they are looked at closer.
    uint64_t hits = 0;
    for (int i = 0; i < kRecentGlyphs; ++i) hits |= static_cast<uint64_t>(st->recent_hash[i] == h) << i;
    if (st->recent_count < kRecentGlyphs) hits &= (uint64_t{1} << st->recent_count) - 1;
    while (hits) {
        const PlacedGlyph &g = st->recent[std::countr_zero(hits)];
        if (std::fabs(g.x - x) <= tol && std::fabs(g.y - y) <= tol) return true;
        hits &= hits - 1;
    }
    return false;
}

void remember_glyph(InterpState *st, double x, double y, uint32_t h) {
    st->recent[st->recent_next] = PlacedGlyph{x, y};
    st->recent_hash[st->recent_next] = h;
    st->recent_next = (st->recent_next + 1) % kRecentGlyphs;
    if (st->recent_count < kRecentGlyphs) ++st->recent_count;
}

void grow_box(InterpState *st, double x, double y) {
    if (x < st->word_min_x) st->word_min_x = x;
    if (x > st->word_max_x) st->word_max_x = x;
    if (y < st->word_min_y) st->word_min_y = y;
    if (y > st->word_max_y) st->word_max_y = y;
}

// Sets where the word's last glyph ends: the farther, along the direction
// (rx, ry) it reads in, of its origin (ox, oy) and the end of its width
// (rex, rey).  A glyph that ends before the end already reached (drawn
// back onto the previous glyph) leaves that end as it is.
void glyph_ends(InterpState *st, double ox, double oy, double rex, double rey, double rx, double ry, double size,
                double set_size, bool keep_behind) {
    const bool origin_far = (ox - rex) * rx + (oy - rey) * ry > 0;
    const double fx = origin_far ? ox : rex, fy = origin_far ? oy : rey;
    if (keep_behind && (fx - st->last_end_x) * st->last_dir_x + (fy - st->last_end_y) * st->last_dir_y < 0) return;
    st->last_end_x = fx;
    st->last_end_y = fy;
    st->last_dir_x = rx;
    st->last_dir_y = ry;
    st->last_size = size;
    st->last_set_size = set_size;
}

// Lines of single characters.
//
// The gap rules above look at two glyphs at a time.  A line made only of
// single characters with gaps between all of them is read by comparing
// its gaps with each other instead: display math ("a = b + c": TeX puts
// 0.17 to 0.28 em around operators and relations), a label with its index
// (R and a lowered 1), a row of letter-spaced capitals, a rule of dots.
// Where the gaps on such a line are alike, the spacing is the line's own
// and not a word space: characters closer than kEvenSpacing times the
// line's narrowest gap form one word, as pdftotext reads them.  Only gaps
// narrower than kMaxEvenGap of the first character's size count as alike:
// an interword space is about a third of an em and a table's gutter
// wider, so single digits in columns stay apart.  A line with one longer
// word is ordinary text (a variable in a sentence, "x = 1" in text): its
// gaps keep the rules above.  A space character shown between two
// characters keeps them apart whatever the gap, and a line whose
// characters touch or overlap anywhere has no spacing of its own to go by.
//
// The line is the run of words in content order that follow one another
// along one direction, each starting at most kLineGap after the previous
// one ends and at most kLineShift across its baseline (an index or
// exponent stays on its line).  A wider gap parts an equation from its
// number or a column from the next; the leader dots of an index entry,
// about an em behind the entry, stay on its line and so stay apart, as
// pdftotext reads them.
constexpr double kEvenSpacing = 1.3;
constexpr double kMaxEvenGap = 0.4;
constexpr double kLineGap = 1.2;

size_t count_chars(const std::string &s) {
    size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

// The gap along a's direction from the end of a to the start of b.
double gap_along(const LineWord &a, const LineWord &b) {
    return (b.start_x - a.end_x) * a.dir_x + (b.start_y - a.end_y) * a.dir_y;
}

bool continues_line(const LineWord &prev, const LineWord &next) {
    if (prev.dir_x * next.dir_x + prev.dir_y * next.dir_y < kSameDirection) return false;
    const double size = std::max(prev.size, next.size);
    const double along = gap_along(prev, next);
    const double across = -(next.start_x - prev.end_x) * prev.dir_y + (next.start_y - prev.end_y) * prev.dir_x;
    return along >= -kBackStep * size && along <= kLineGap * size && std::fabs(across) <= kLineShift * size;
}

void join_items(TextItem *a, const TextItem &b) {
    const double x0 = std::min(a->x, b.x), y0 = std::min(a->y, b.y);
    const double x1 = std::max(a->x + a->w, b.x + b.w), y1 = std::max(a->y + a->h, b.y + b.h);
    a->text += b.text;
    a->x = x0;
    a->y = y0;
    a->w = x1 - x0;
    a->h = y1 - y0;
    a->font_size = b.font_size;
}

// Stores the held words of a line of single characters, joined where its
// gaps are alike.
void store_line_words(InterpState *st) {
    std::vector<LineWord> &ws = st->line_words;
    if (ws.empty()) return;
    double space = 0;
    if (!st->line_mixed && ws.size() >= 2) {
        double narrowest = gap_along(ws[0], ws[1]);
        for (size_t i = 2; i < ws.size(); ++i) narrowest = std::min(narrowest, gap_along(ws[i - 1], ws[i]));
        if (narrowest > 0) space = std::min(kEvenSpacing * narrowest, kMaxEvenGap * ws[0].size);
    }
    TextItem cur = std::move(ws[0].item);
    for (size_t i = 1; i < ws.size(); ++i) {
        if (!ws[i].after_space && gap_along(ws[i - 1], ws[i]) < space) {
            join_items(&cur, ws[i].item);
            continue;
        }
        interp_store_word(st, std::move(cur), true);
        cur = std::move(ws[i].item);
    }
    interp_store_word(st, std::move(cur), true);
    ws.clear();
}

// The line under way ends: its words are stored.
void end_line(InterpState *st) {
    store_line_words(st);
    st->line_open = st->line_mixed = false;
}

// Adds a finished word read through a font object to the line under way
// (or starts a new line with it).
void add_to_line(InterpState *st, LineWord &&w) {
    if (st->line_open && !continues_line(st->line_tail, w)) end_line(st);
    st->line_open = true;
    st->line_tail.start_x = w.start_x;
    st->line_tail.start_y = w.start_y;
    st->line_tail.end_x = w.end_x;
    st->line_tail.end_y = w.end_y;
    st->line_tail.dir_x = w.dir_x;
    st->line_tail.dir_y = w.dir_y;
    st->line_tail.size = w.size;
    if (!st->line_mixed) {
        if (w.chars == 1) {
            st->line_words.push_back(std::move(w));
            return;
        }
        st->line_mixed = true;
        store_line_words(st);
    }
    interp_store_word(st, std::move(w.item), true);
}

// A line feed shown in a string: the line under way ends before it.
void line_feed(InterpState *st) {
    end_line(st);
    st->page_text.push_back('\n');
}

void emit_with_font(InterpState *st, const PdfFont &font, const unsigned char *bytes, size_t len) {
    const Matrix &m = st->tm;
    // Vertical writing: glyphs follow one another down text space's y axis,
    // so the word rules below run on a frame turned by a quarter: the
    // "baseline" is the column (downwards), "up" is text space's x axis.
    // The advance then counts downwards from the text position, and each
    // glyph advances by its vertical displacement (/DW2) alone.
    const bool vert = font.vertical();
    const double a = vert ? -m[2] : m[0], b = vert ? -m[3] : m[1], c = vert ? m[0] : m[2], d = vert ? m[1] : m[3];
    const double e = m[4], f = m[5];
    const TextParams &tp = st->params;
    const double tfs = st->font_size;
    // The baseline direction and the font size on the page.
    const double base_len = std::hypot(a, b);
    const double ux = base_len > 0 ? a / base_len : 1, uy = base_len > 0 ? b / base_len : 0;
    const double up_len = std::hypot(c, d);
    // The size as set (Tf through the text matrix) tells a change of size;
    // a Type3 font's em, an estimate, only scales the thresholds.
    const double set_size = std::fabs(tfs) * up_len;
    double size = set_size * font.em();
    if (!(size > 0) || !std::isfinite(size)) size = std::fabs(tfs) > 0 ? std::fabs(tfs) : 1;
    // The glyph box reaches 0.2 of the size below the baseline and 0.9
    // above, on the side the glyphs stand on; a vertical glyph stands
    // centred on its column.
    const double up = font.flipped() ? -1 : 1;
    const double vx = up_len > 0 ? up * c / up_len * size : 0, vy = up_len > 0 ? up * d / up_len * size : size;
    const double below = vert ? 0.5 : 0.2, above = vert ? 0.5 : 0.9;
    // The direction the glyphs read in: along the baseline, or against it
    // where the text matrix mirrors them.  A font whose matrix is flipped
    // draws its glyphs upside down in glyph space (pixel rows from the top)
    // and is shown under a text matrix or CTM that flips them back, in
    // either of the two: its glyphs always read along the baseline.
    const double det = font.flipped() ? 1 : a * d - b * c;
    const double rx = det < 0 ? -ux : ux, ry = det < 0 ? -uy : uy;

    Glyph g;
    size_t i = 0;
    while (i < len) {
        i += static_cast<size_t>(font.next(bytes + i, len - i, &g));
        double tx = (g.w0 * tfs + tp.char_spacing + (g.is_space32 ? tp.word_spacing : 0)) * tp.h_scale;
        double gw = g.w0 * tfs * tp.h_scale;
        if (vert) {
            // w1 is negative (downwards); character and word spacing move up.
            gw = -g.w1 * tfs;
            tx = gw - tp.char_spacing - (g.is_space32 ? tp.word_spacing : 0);
        }
        const double rise = vert ? 0 : tp.rise;
        const double ox = st->advance * a + rise * c + e;
        const double oy = st->advance * b + rise * d + f;
        st->advance += tx;
        if (g.unmapped && font.is_type0()) ++st->cid_without_unicode;
        if (g.text.empty()) continue;  // a glyph that stands for no text
        if (is_white_text(g.text)) {
            interp_flush_word(st);
            st->space_shown = true;
            for (unsigned char ch : g.text)
                if (ch == '\n' || ch == '\r') line_feed(st);
            continue;
        }
        const double rex = ox + gw * a, rey = oy + gw * b;
        const uint32_t h = text_hash(g.text);
        uint32_t combine_after = 0;  // the accent the glyph stands under
        if (st->in_word && st->word_from_font && st->word_last_len > 0 && st->word_last_len <= st->word.size()) {
            const std::string_view prev(st->word.data() + st->word.size() - st->word_last_len, st->word_last_len);
            const uint32_t accent = over_letter_accent(g.text);
            const uint32_t prev_accent = accent ? 0 : over_letter_accent(prev);
            if ((accent || prev_accent) && is_letter_or_digit(single_code_point(accent ? prev : g.text))) {
                const double dx = st->last_dir_x, dy = st->last_dir_y;
                const double prev_mid = (st->glyph_x0 + st->glyph_x1) / 2 * dx + (st->glyph_y0 + st->glyph_y1) / 2 * dy;
                const double mid = (ox + rex) / 2 * dx + (oy + rey) / 2 * dy;
                const double letter_width = accent ? std::fabs((st->glyph_x1 - st->glyph_x0) * dx + (st->glyph_y1 - st->glyph_y0) * dy)
                                                   : std::fabs((rex - ox) * dx + (rey - oy) * dy);
                const double across = -(ox - st->glyph_x0) * dy + (oy - st->glyph_y0) * dx;
                const double height = kBoxHeight * (accent ? st->word_size : size);
                if (std::fabs(mid - prev_mid) < kAccentMid * letter_width && std::fabs(across) < kAccentBase * height) {
                    if (accent) {
                        append_utf8(&st->word, accent);
                        st->word_last_len = 0;
                        remember_glyph(st, ox, oy, h);
                        continue;
                    }
                    st->word.resize(st->word.size() - st->word_last_len);
                    combine_after = prev_accent;
                }
            }
        }
        if (combine_after) {
            // The letter takes the accent's place in the word.
        } else if (st->in_word && st->word_from_font) {
            // Where the glyph lies seen from the end of the previous one.
            const double px = st->last_end_x, py = st->last_end_y;
            const double dx = st->last_dir_x, dy = st->last_dir_y;
            const double along = std::min((ox - px) * dx + (oy - py) * dy, (rex - px) * dx + (rey - py) * dy);
            const double across = -(ox - px) * dy + (oy - py) * dx;
            const double small = std::min(size, st->last_size), large = std::max(size, st->last_size);
            const bool resized = std::fabs(set_size - st->last_set_size) >
                                 kSameSize * std::max(set_size, st->last_set_size);
            const bool shifted = std::fabs(across) > kSameBaseline * small || resized;
            // An accent stands over the letter that follows it, which may be
            // up to a letter's width further on.
            const double gap = combining_accent(g.text) ? kAccentGap * size
                               : vert                   ? kColumnGap * size
                               : shifted                ? kShiftGap * large
                                                        : kWordGap * size;
            // The shift across is measured against the larger of the glyph's
            // size and the word's: a superscript's rise is a fraction of
            // the letter it follows, not of its own smaller size.
            const double across_size = std::max(size, st->word_size);
            const bool continues = rx * dx + ry * dy >= kSameDirection && along <= gap &&
                                   along >= -kBackStep * size && std::fabs(across) <= kLineShift * across_size;
            // Only a glyph that does not continue the word can be a repeat.
            if (!(continues && std::fabs(along) <= kSamePlace * size) &&
                drawn_before(st, ox, oy, h, kSamePlace * size))
                continue;
            if (!continues) interp_flush_word(st);
        } else {
            if (st->in_word) interp_flush_word(st);  // a word of the byte reading ends here
            if (drawn_before(st, ox, oy, h, kSamePlace * size)) continue;
        }
        const double ex = ox + gw * a;
        const double ey = oy + gw * b;
        const bool fresh = !st->in_word;
        if (fresh) {
            st->in_word = 1;
            st->word_from_font = true;
            st->word_start_x = ox;
            st->word_start_y = oy;
            st->word_min_x = st->word_max_x = ox;
            st->word_min_y = st->word_max_y = oy;
            st->word_size = size;
        }
        grow_box(st, ox - below * vx, oy - below * vy);
        grow_box(st, ox + above * vx, oy + above * vy);
        grow_box(st, ex - below * vx, ey - below * vy);
        grow_box(st, ex + above * vx, ey + above * vy);
        st->word_end_x = ex;
        st->word_end_y = ey;
        glyph_ends(st, ox, oy, rex, rey, rx, ry, size, set_size, !fresh);
        if (size > st->word_size) st->word_size = size;
        remember_glyph(st, ox, oy, h);
        st->word += g.text;
        st->word_last_len = g.text.size();
        st->glyph_x0 = ox;
        st->glyph_y0 = oy;
        st->glyph_x1 = rex;
        st->glyph_y1 = rey;
        if (combine_after) {
            append_utf8(&st->word, combine_after);
            st->word_last_len = 0;
        }
    }
}

}  // namespace

void interp_init(InterpState *st) {
    clear_state(st);
    st->font_size = 12.0;
    st->leading = 14.0;
    st->ctm = st->tm = st->lm = kIdentity;
    st->word.reserve(64);
    st->page_text.reserve(4096);
}

void interp_emit_string(InterpState *st, const unsigned char *bytes, size_t len) {
    if (len == 0) return;
    const FontSlot *font = st->cur_font;
    if (font && font->font) {
        emit_with_font(st, *font->font, bytes, len);
        return;
    }
    const int16_t *widths = font ? font->widths : nullptr;
    const bool cp1252 = font && font->has_base_font;
    // The text matrix does not change while a string is shown.
    const double a = st->tm[0], b = st->tm[1], e = st->tm[4], f = st->tm[5];
    // Bytes below 0x80 are their own UTF-8: they are appended in runs.
    size_t run = 0;
    for (size_t i = 0; i < len; ++i) {
        const u8 v = bytes[i];
        const double w = widths ? widths[v] / 1000.0 : 0.5;
        const double d = w * st->font_size;
        if (is_ws(v)) {
            st->word.append(reinterpret_cast<const char *>(bytes + run), i - run);
            run = i + 1;
            interp_flush_word(st);
            if (v == '\n' || v == '\r') line_feed(st);
        } else {
            const double ox = st->advance * a + e;
            const double oy = st->advance * b + f;
            // A word read through a font object ends where the byte reading
            // takes over (run == i here: that word took no byte of this string).
            if (st->in_word && st->word_from_font) interp_flush_word(st);
            if (!st->in_word) {
                st->in_word = 1;
                st->word_start_x = ox;
                st->word_start_y = oy;
            }
            st->word_end_x = ox + d;
            st->word_end_y = oy;
            if (v >= 0x80) {
                st->word.append(reinterpret_cast<const char *>(bytes + run), i - run);
                run = i + 1;
                uint32_t cp = v;
                if (cp1252 && v <= 0x9F && kCp1252High[v - 0x80]) cp = kCp1252High[v - 0x80];
                append_utf8(&st->word, cp);
            }
        }
        st->advance += d;
    }
    st->word.append(reinterpret_cast<const char *>(bytes + run), len - run);
}

void interp_flush_word(InterpState *st) {
    if (st->in_word && !st->word.empty()) {
        TextItem item;
        item.text = st->word;
        if (st->word_from_font) {
            item.x = st->word_min_x;
            item.y = st->word_min_y;
            item.w = st->word_max_x - st->word_min_x;
            item.h = st->word_max_y - st->word_min_y;
            item.font_size = st->word_size;
        } else {
            item.x = st->word_start_x < st->word_end_x ? st->word_start_x : st->word_end_x;
            item.y = st->word_start_y - 0.2 * st->font_size;
            const double dx = st->word_end_x - st->word_start_x;
            item.w = dx < 0 ? -dx : dx;
            item.h = 1.1 * st->font_size;
            item.font_size = st->font_size;
        }
        st->word.clear();
        if (st->word_from_font) {
            // Only words read through a font object wait for their line and
            // join across a hyphenated line end: the standard fonts' byte
            // reading keeps its old words.
            LineWord w;
            w.start_x = st->word_start_x;
            w.start_y = st->word_start_y;
            w.end_x = st->last_end_x;
            w.end_y = st->last_end_y;
            w.dir_x = st->last_dir_x;
            w.dir_y = st->last_dir_y;
            w.size = st->word_size;
            w.chars = count_chars(item.text);
            w.after_space = st->space_shown;
            st->space_shown = false;
            w.item = std::move(item);
            add_to_line(st, std::move(w));
        } else {
            end_line(st);
            interp_store_word(st, std::move(item), false);
        }
    }
    st->in_word = 0;
    st->word_from_font = false;
}

// A move of the text position ends a word of the byte reading. A word read
// through a font object ends by the gap to its next glyph instead, whatever
// font is current at the move: a Q between two strings (Word, Quartz and
// PowerPoint wrap every run in q/Q) may restore no font at all.
void interp_text_moved(InterpState *st) {
    if (!st->word_from_font) interp_flush_word(st);
}

void interp_tj_adjust(InterpState *st, double v) {
    if (st->cur_font && st->cur_font->font) {
        // In vertical writing the advance counts downwards and is not
        // scaled horizontally: a positive number moves the next glyph down.
        if (st->cur_font->font->vertical()) st->advance += v / 1000.0 * st->font_size;
        else st->advance -= v / 1000.0 * st->font_size * st->params.h_scale;
    } else if (std::fabs(v) > kLegacyWordBreakAdjustment && st->in_word) {
        interp_flush_word(st);
    }
}

namespace {

// Hyphenation at a line end.  A word ending in a soft hyphen (U+00AD), or
// in a hyphen (U+002D, U+2010) right after a letter, may continue on the
// next line.  It does when the next word's box lies on a following line
// (its middle below the held word's bottom edge, at most three of the held
// word's heights further down) and starts left of the held word's end (the
// start of a line, not the next column), and that word begins with a
// letter, a lower-case one after a hard hyphen ("Anti-" before "Zionism"
// stays two words).  The joined word keeps a soft hyphen as decoded (the
// comparison drops it) and loses a hard one, as a reader reads it:
// "docu-" + "ment" is "document".  A compound broken at its own hyphen
// ("well-" + "known") reads "wellknown"; nothing on the page tells the two
// apart.

enum class Hyphen { none, soft, hard };

// The code point that starts at s[i] (0 for a malformed sequence) and its length.
uint32_t code_point_at(const std::string &s, size_t i, size_t *n) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size()) {
        *n = 1;
        return 0;
    }
    uint32_t cp = len == 1 ? c : c & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    *n = len;
    return cp;
}

// Letters as far as hyphenation needs them: ASCII letters, and the Latin,
// Greek and Cyrillic letters from U+00C0 on (their signs U+00D7 and U+00F7
// excepted), up to the general punctuation block.
bool is_letter(uint32_t cp) {
    if (cp < 0x80) return is_alpha(static_cast<u8>(cp));
    return cp >= 0xC0 && cp < 0x2000 && cp != 0xD7 && cp != 0xF7;
}
bool is_upper(uint32_t cp) { return (cp >= 'A' && cp <= 'Z') || (cp >= 0xC0 && cp <= 0xDE); }

// The hyphen a word ends in, and its length in bytes.
Hyphen trailing_hyphen(const std::string &w, size_t *len) {
    size_t n = 0;
    if (w.size() >= 3 && w.compare(w.size() - 2, 2, "\xC2\xAD") == 0) {
        *len = 2;
        return Hyphen::soft;
    }
    if (w.size() >= 2 && w.back() == '-') {
        n = 1;
    } else if (w.size() >= 4 && w.compare(w.size() - 3, 3, "\xE2\x80\x90") == 0) {
        n = 3;
    } else {
        return Hyphen::none;
    }
    // The character before the hyphen: step back over continuation bytes.
    size_t i = w.size() - n;
    do --i;
    while (i > 0 && (static_cast<unsigned char>(w[i]) & 0xC0) == 0x80);
    size_t k;
    if (!is_letter(code_point_at(w, i, &k))) return Hyphen::none;
    *len = n;
    return Hyphen::hard;
}

// Right-to-left scripts (Hebrew, Arabic, Syriac, Thaana, N'Ko and their
// presentation forms) are drawn left to right in the order the eye meets the
// glyphs, the last letter first. A word whose letters all belong to them
// reads in the order it is written: its characters are turned round, each
// base character keeping its marks after it, and a run of European digits
// (with the separators between them) keeps its own order, as a reader reads
// a number inside such a word.
bool is_rtl(uint32_t cp) {
    return (cp >= 0x0590 && cp <= 0x08FF) || (cp >= 0xFB1D && cp <= 0xFDFF) || (cp >= 0xFE70 && cp <= 0xFEFE);
}

bool is_ltr_letter(uint32_t cp) {
    if (cp < 0x80) return is_alpha(static_cast<u8>(cp));
    return (cp >= 0xC0 && cp < 0x0590 && cp != 0xD7 && cp != 0xF7 && (cp < 0x0300 || cp > 0x036F)) ||
           (cp >= 0x0900 && cp < 0x2000) || (cp >= 0x2C00 && cp < 0x2E00) || (cp >= 0x3040 && cp < 0xD800) ||
           (cp >= 0xF900 && cp < 0xFB1D) || (cp >= 0xFF21 && cp <= 0xFF5A) || cp >= 0x10000;
}

// Marks that follow their base character: general combining marks and the
// points and vowel signs of the right-to-left scripts.
bool is_mark(uint32_t cp) {
    return (cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x0591 && cp <= 0x05C7 && cp != 0x05BE && cp != 0x05C0 &&
                                              cp != 0x05C3 && cp != 0x05C6) ||
           (cp >= 0x0610 && cp <= 0x061A) || (cp >= 0x064B && cp <= 0x065F) || cp == 0x0670 ||
           (cp >= 0x06D6 && cp <= 0x06ED && cp != 0x06DD && cp != 0x06DE && cp != 0x06E5 && cp != 0x06E6 &&
            cp != 0x06E9) ||
           cp == 0x0711 || (cp >= 0x0730 && cp <= 0x074A) || (cp >= 0x07A6 && cp <= 0x07B0) ||
           (cp >= 0xFE20 && cp <= 0xFE2F);
}

bool is_digit_cp(uint32_t cp) { return cp >= '0' && cp <= '9'; }

void to_logical_order(std::string *text) {
    bool rtl = false;
    for (size_t i = 0, n = 0; i < text->size(); i += n) {
        const uint32_t cp = code_point_at(*text, i, &n);
        if (is_ltr_letter(cp)) return;
        rtl = rtl || is_rtl(cp);
    }
    if (!rtl) return;
    // Clusters: [begin, end) byte ranges of a base character and its marks.
    struct Cluster {
        size_t begin, end;
        uint32_t base;
    };
    std::vector<Cluster> cs;
    for (size_t i = 0, n = 0; i < text->size(); i += n) {
        const uint32_t cp = code_point_at(*text, i, &n);
        if (is_mark(cp) && !cs.empty()) cs.back().end = i + n;
        else cs.push_back({i, i + n, cp});
    }
    std::reverse(cs.begin(), cs.end());
    // A number turned round with the word is turned back.
    for (size_t i = 0; i < cs.size();) {
        if (!is_digit_cp(cs[i].base)) {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < cs.size() && (is_digit_cp(cs[j].base) ||
                                 ((cs[j].base == '.' || cs[j].base == ',' || cs[j].base == ':') &&
                                  j + 1 < cs.size() && is_digit_cp(cs[j + 1].base))))
            ++j;
        std::reverse(cs.begin() + static_cast<std::ptrdiff_t>(i), cs.begin() + static_cast<std::ptrdiff_t>(j));
        i = j;
    }
    std::string out;
    out.reserve(text->size());
    for (const Cluster &c : cs) out.append(*text, c.begin, c.end - c.begin);
    *text = std::move(out);
}

bool continues_on_next_line(const TextItem &held, const TextItem &next, Hyphen kind) {
    const bool below = next.y + 0.5 * next.h < held.y && next.y > held.y - 3 * held.h;
    if (!below || next.x >= held.x + held.w || next.text.empty()) return false;
    size_t k;
    const uint32_t first = code_point_at(next.text, 0, &k);
    return is_letter(first) && (kind == Hyphen::soft || !is_upper(first));
}

}  // namespace

void interp_store_word(InterpState *st, TextItem &&item, bool may_join) {
    // Only words read through a font object may join; they are also the
    // only ones that can hold right-to-left letters.
    if (may_join) to_logical_order(&item.text);
    if (st->word_held) {
        st->word_held = false;
        TextItem &held = st->held_word;
        size_t n = 0;
        const Hyphen kind = trailing_hyphen(held.text, &n);
        if (continues_on_next_line(held, item, kind)) {
            if (kind == Hyphen::hard) {
                const size_t keep = held.text.size() - n;
                // The hyphen leaves the page text too, unless something
                // (a line feed of a shown string) came after it.
                if (st->page_text.size() >= n &&
                    st->page_text.compare(st->page_text.size() - n, n, held.text, keep, n) == 0)
                    st->page_text.resize(st->page_text.size() - n);
                held.text.resize(keep);
            }
            held.text += item.text;
            held.x2 = item.x;
            held.y2 = item.y;
            held.w2 = item.w;
            held.h2 = item.h;
            held.font_size = item.font_size;
            st->page_text += item.text;
            st->page_text.push_back(' ');
            st->items.push_back(std::move(held));
            held = TextItem{};
            return;
        }
        st->page_text.push_back(' ');
        st->items.push_back(std::move(held));
        held = TextItem{};
    }
    size_t n = 0;
    st->page_text += item.text;
    if (may_join && trailing_hyphen(item.text, &n) != Hyphen::none) {
        st->held_word = std::move(item);
        st->word_held = true;
        return;
    }
    st->page_text.push_back(' ');
    st->items.push_back(std::move(item));
}

void interp_finish_words(InterpState *st) {
    interp_flush_word(st);
    end_line(st);
    if (st->word_held) {
        st->word_held = false;
        st->page_text.push_back(' ');
        st->items.push_back(std::move(st->held_word));
        st->held_word = TextItem{};
    }
}

void interp_add_image(InterpState *st, const char *name) {
    ImageItem img;
    const size_t n = strnlen(name, sizeof img.name - 1);
    std::memcpy(img.name, name, n);
    img.name[n] = 0;
    const Matrix &m = st->ctm;
    const double x0 = m[4], y0 = m[5];
    const double x1 = m[0] + m[2] + m[4], y1 = m[1] + m[3] + m[5];
    img.x = x0 < x1 ? x0 : x1;
    img.y = y0 < y1 ? y0 : y1;
    img.w = x1 > x0 ? x1 - x0 : x0 - x1;
    img.h = y1 > y0 ? y1 - y0 : y0 - y1;
    if (img.w < 1.0) img.w = 32.0;
    if (img.h < 1.0) img.h = 32.0;
    st->images.push_back(img);
}

void interp_free(InterpState *st) {
    interp_finish_words(st);
    clear_state(st);
}

}  // namespace morvex
