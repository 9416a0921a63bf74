// The content interpreter: one forward scan over a page's decoded content.
//
// It understands numbers, strings, names, arrays, comments and the text,
// transformation and image operators; everything else is stepped over.
// Only numbers are operands.  A string met outside an array is held as the
// pending string until a text-showing operator shows it; a name is held
// until the next operator.  Strings inside an array are shown at once, and
// a number inside an array above 150 in magnitude ends the word under way
// (a large TJ adjustment separates words).
//
// The CTM is folded into the text and line matrices when they are set (BT,
// Tm), so both map text space straight to the page's default user space.
// q and Q save and restore the CTM together with the text state (font, size,
// leading, Tc, Tw, Tz, Ts), as viewers do.  Tc, Tw, Tz and Ts set the text
// parameters that glyphs read through a font object advance by.
//
// Do of a form XObject runs the form's content in place: its /Matrix joins
// the CTM, its own /Font and /XObject resources apply where it has them
// (otherwise those of whatever drew it), and the graphics and text state
// are restored after it.  Text and images inside forms become words and
// placements like the page's own, and the form's content joins the page's
// content hash (once per form).  Any other XObject (an image, or a name
// that resolves to nothing) is recorded as an image placement.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "codec/filters.h"
#include "codec/strings.h"
#include "fonts.h"
#include "image_identity.h"
#include "syntax.h"
#include "page.h"
#include "paint_collect.h"
#include "text_runs.h"
#include "xobjects.h"

namespace morvex {

namespace {

constexpr int kMaxOperands = 32;
constexpr int32_t kMaxOperatorLen = 14;
constexpr size_t kMaxReservedItems = size_t{1} << 17;
constexpr size_t kMaxReservedText = size_t{1} << 23;

// Forms inside forms are followed this deep; deeper ones are not drawn.
constexpr int kMaxFormDepth = 12;
// Form content interpreted for one page, in bytes, with every draw counted
// at least kFormDrawCost: a small form drawn many times, or forms drawing
// each other many times over, cannot make a page's work explode.
constexpr int64_t kMaxFormWorkPerPage = int64_t{1} << 24;
constexpr int64_t kFormDrawCost = 64;
// Decoded form content kept for later draws on the same page; beyond this,
// a form is decoded again each time it is drawn.
constexpr uint64_t kMaxKeptFormBytes = uint64_t{1} << 26;
constexpr uint64_t kFnvBasis = 0xcbf29ce484222325ull;
// A text element's signature covers this many bytes of what it shows; an
// array's numbers are kept up to kMaxArrayNumbers (a dash pattern).
constexpr size_t kMaxShownBytes = 4096;
constexpr size_t kMaxArrayNumbers = 64;

enum class Op { other, q, Q, cm, BT, ET, Tm, Td, TD, Tstar, TL, Tf, Tj, quote, dquote, BI, Do, Tc, Tw, Tz, Ts };

Op lookup_operator(const u8 *s, int32_t n) {
    if (n == 1) {
        switch (s[0]) {
        case 'q': return Op::q;
        case 'Q': return Op::Q;
        case '\'': return Op::quote;
        case '"': return Op::dquote;
        default: return Op::other;
        }
    }
    if (n != 2) return Op::other;
    const u8 a = s[0], b = s[1];
    if (a == 'T') {
        switch (b) {
        case 'm': return Op::Tm;
        case 'd': return Op::Td;
        case 'D': return Op::TD;
        case '*': return Op::Tstar;
        case 'L': return Op::TL;
        case 'f': return Op::Tf;
        case 'j': return Op::Tj;
        case 'c': return Op::Tc;
        case 'w': return Op::Tw;
        case 'z': return Op::Tz;
        case 's': return Op::Ts;
        default: return Op::other;
        }
    }
    if (a == 'c' && b == 'm') return Op::cm;
    if (a == 'B' && b == 'T') return Op::BT;
    if (a == 'E' && b == 'T') return Op::ET;
    if (a == 'B' && b == 'I') return Op::BI;
    if (a == 'D' && b == 'o') return Op::Do;
    return Op::other;
}

constexpr bool is_operator_byte(u8 c) { return is_alpha(c) || c == '\'' || c == '"' || c == '*'; }

// The operand matrix o (six numbers) times m.
Matrix multiply(const double *o, const Matrix &m) {
    return {o[0] * m[0] + o[1] * m[2],        o[0] * m[1] + o[1] * m[3],
            o[2] * m[0] + o[3] * m[2],        o[2] * m[1] + o[3] * m[3],
            o[4] * m[0] + o[5] * m[2] + m[4], o[4] * m[1] + o[5] * m[3] + m[5]};
}

void buf_clear(ByteBuf *b) {
    b->len = 0;
    if (b->data) b->data[0] = 0;
}

uint64_t fnv1a(uint64_t h, const u8 *p, uint64_t n) {
    for (uint64_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

// What an operator means for the list of drawings.
enum class DrawOp { none, point2, point4, curve6, rect, endpath, fill, stroke, shading, show, state };

DrawOp drawing_operator(const u8 *s, int32_t n) {
    const u8 a = s[0], b = n >= 2 ? s[1] : 0;
    if (n == 1) {
        switch (a) {
        case 'm': case 'l': return DrawOp::point2;
        case 'c': return DrawOp::curve6;
        case 'v': case 'y': return DrawOp::point4;
        case 'n': return DrawOp::endpath;
        case 'f': case 'F': return DrawOp::fill;
        case 'S': case 's': case 'B': case 'b': return DrawOp::stroke;
        case 'w': case 'J': case 'j': case 'M': case 'd': case 'i': case 'G': case 'g': case 'K': case 'k':
            return DrawOp::state;
        default: return DrawOp::none;
        }
    }
    if (n == 2) {
        if (a == 'r' && b == 'e') return DrawOp::rect;
        if (a == 'f' && b == '*') return DrawOp::fill;
        if ((a == 'B' || a == 'b') && b == '*') return DrawOp::stroke;
        if (a == 's' && b == 'h') return DrawOp::shading;
        if (a == 'T' && b == 'J') return DrawOp::show;
        if ((a == 'r' && b == 'i') || (a == 'g' && b == 's') || (a == 'C' && b == 'S') || (a == 'c' && b == 's') ||
            (a == 'S' && b == 'C') || (a == 's' && b == 'c') || (a == 'R' && b == 'G') || (a == 'r' && b == 'g') ||
            (a == 'T' && (b == 'f' || b == 'c' || b == 'w' || b == 'z' || b == 's' || b == 'r')))
            return DrawOp::state;
        return DrawOp::none;
    }
    if (n == 3 && (std::memcmp(s, "SCN", 3) == 0 || std::memcmp(s, "scn", 3) == 0)) return DrawOp::state;
    return DrawOp::none;
}

// A box growing over the points added to it.
struct Bounds {
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
    void add(double x, double y) {
        if (!std::isfinite(x) || !std::isfinite(y)) return;
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
    bool empty() const { return x0 > x1; }
};

// FNV-1a over the bytes with every run of white space read as one space
// and white space at either end left out: the same operators hash alike
// however they are laid out.
uint64_t hash_tokens(uint64_t h, const u8 *p, uint64_t n) {
    bool gap = false, any = false;
    for (uint64_t i = 0; i < n; ++i) {
        if (is_ws(p[i])) {
            gap = any;
            continue;
        }
        if (gap) {
            h ^= ' ';
            h *= 0x100000001b3ull;
            gap = false;
        }
        any = true;
        h ^= p[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

// What the drawing of forms shares across one page.
struct FormContext {
    explicit FormContext(const PdfDocument &d) : doc(d) {}
    const PdfDocument &doc;
    // Every XObject drawn so far, by object number; null for those that are
    // no forms.
    std::unordered_map<int32_t, std::unique_ptr<FormXObject>> xobjects;
    int64_t work_left = kMaxFormWorkPerPage;
    uint64_t kept_bytes = 0;
    uint64_t hash = kFnvBasis;
    int depth = 0;
};

class Scanner {
public:
    Scanner(const u8 *data, int32_t len, InterpState *st, FormContext *forms, XObjectNames *names)
        : data_(data), len_(len), st_(st), forms_(forms), names_(names) {}

    void run() {
        int32_t p = 0;
        while (p < len_) {
            const u8 c = data_[p];
            if (is_ws(c)) {
                ++p;
            } else if (c == '%') {
                p = skip_comment(p);
            } else if (c == '(') {
                buf_clear(&pending_);
                parse_literal_string2(data_, len_, p, &pending_, &p);
            } else if (c == '<') {
                if (p + 1 < len_ && data_[p + 1] == '<') {
                    p += 2;
                } else {
                    buf_clear(&pending_);
                    parse_hex_string(data_, len_, p, &pending_, &p);
                }
            } else if (starts_number(p)) {
                double v;
                if (read_number(&p, &v) && operand_count_ < kMaxOperands) operands_[operand_count_++] = v;
            } else if (c == '/') {
                p = read_name(p);
            } else if (c == '[') {
                p = scan_array(p + 1);
            } else if (is_operator_byte(c)) {
                p = run_operator(p);
            } else {
                ++p;
            }
        }
    }

private:
    int32_t skip_comment(int32_t p) const {
        while (p < len_ && data_[p] != '\n' && data_[p] != '\r') ++p;
        return p;
    }

    bool starts_number(int32_t p) const {
        const u8 c = data_[p];
        if (is_digit(c)) return true;
        if (c != '+' && c != '-' && c != '.') return false;
        return p + 1 < len_ && (is_digit(data_[p + 1]) || data_[p + 1] == '.');
    }

    // Reads a number at *p; when none can be read, steps over one byte.
    bool read_number(int32_t *p, double *v) const {
        const int32_t at = *p;
        *v = parse_double_at(data_, len_, p);
        if (*p != at) return true;
        ++*p;
        return false;
    }

    // A name of 1 to 63 characters becomes the pending name.  It runs to the
    // next whitespace or delimiter, so the names producers write, such as
    // /FormXob.6f4e or /f-0-0, are read whole.  An empty or longer one
    // clears it, so that a following Tf or Do does not act on an earlier,
    // unrelated name.
    int32_t read_name(int32_t p) {
        const int32_t start = p + 1;
        int32_t q = start;
        while (q < len_ && is_name_byte(data_[q])) ++q;
        int32_t n = q - start;
        if (n >= 1 && n <= kMaxResourceName) {
            // In the spelling the loader gave the resource names (#xx
            // escapes decoded), so that /F#31 finds the font /F1.
            u8 plain[3 * kMaxResourceName];
            n = canonical_name(data_ + start, n, plain);
            if (n > kMaxResourceName) n = 0;
            std::memcpy(name_, plain, static_cast<size_t>(n));
            name_[n] = 0;
            name_len_ = n;
        } else {
            name_[0] = 0;
            name_len_ = 0;
        }
        return q;
    }

    // From behind "[" to behind the next "]" (arrays do not nest).
    int32_t scan_array(int32_t p) {
        array_nums_.clear();
        adjust_hash_ = kFnvBasis;
        while (p < len_) {
            const u8 c = data_[p];
            if (c == ']') return p + 1;
            if (c == '(') {
                buf_clear(&scratch_);
                parse_literal_string2(data_, len_, p, &scratch_, &p);
                emit(scratch_.data, static_cast<size_t>(scratch_.len));
            } else if (c == '<') {
                if (p + 1 < len_ && data_[p + 1] == '<') {
                    p += 2;
                } else {
                    buf_clear(&scratch_);
                    parse_hex_string(data_, len_, p, &scratch_, &p);
                    emit(scratch_.data, static_cast<size_t>(scratch_.len));
                }
            } else if (starts_number(p)) {
                double v;
                if (read_number(&p, &v)) {
                    interp_tj_adjust(st_, v);
                    if (st_->paint) note_array_number(v);
                }
            } else {
                ++p;
            }
        }
        return p;
    }

    void show_pending() {
        if (pending_.len >= 1) emit(pending_.data, static_cast<size_t>(pending_.len));
        buf_clear(&pending_);
    }

    // Shows a string; with drawings recorded, the pen's path (one font size
    // either side of the baseline) joins the text box.
    void emit(const u8 *bytes, size_t len) {
        if (!st_->record_drawings && !st_->paint) {
            interp_emit_string(st_, bytes, len);
            return;
        }
        pen_box();
        if (st_->paint && shown_.size() < kMaxShownBytes)
            shown_.append(reinterpret_cast<const char *>(bytes), std::min(len, kMaxShownBytes - shown_.size()));
        interp_emit_string(st_, bytes, len);
        pen_box();
    }

    void note_array_number(double v) {
        if (array_nums_.size() < kMaxArrayNumbers) array_nums_.push_back(v);
        const double r = std::isfinite(v) ? std::clamp(v * 100, -1e15, 1e15) : 0;
        const auto q = static_cast<uint64_t>(std::llround(r));
        adjust_hash_ = fnv1a(adjust_hash_, reinterpret_cast<const u8 *>(&q), sizeof q);
    }

    // The text element of the text-showing operator that just ran.
    void paint_text() {
        st_->paint->text(*st_, paint_box_.x0, paint_box_.y0, paint_box_.x1, paint_box_.y1, shown_, adjust_hash_);
        paint_box_ = Bounds{};
        shown_.clear();
        adjust_hash_ = kFnvBasis;
    }

    void pen_box() {
        const Matrix &m = st_->tm;
        // The advance runs down text space's y axis in vertical writing.
        const bool vert = st_->cur_font && st_->cur_font->font && st_->cur_font->font->vertical();
        const double x = st_->advance * (vert ? -m[2] : m[0]) + m[4], y = st_->advance * (vert ? -m[3] : m[1]) + m[5];
        const double ux = m[2] * st_->font_size, uy = m[3] * st_->font_size;
        if (st_->record_drawings) {
            text_box_.add(x + ux, y + uy);
            text_box_.add(x - ux, y - uy);
        }
        if (st_->paint) {
            paint_box_.add(x + ux, y + uy);
            paint_box_.add(x - ux, y - uy);
        }
    }

    void path_point(double x, double y) {
        const Matrix &m = st_->ctm;
        path_box_.add(m[0] * x + m[2] * y + m[4], m[1] * x + m[3] * y + m[5]);
    }

    // One painted element: the bytes from the end of the previous element
    // to end, with the state in effect, and its box.
    void add_drawing(int32_t end, const Bounds &box, bool unbounded = false) {
        InterpState *st = st_;
        Drawing d;
        if (unbounded || box.empty()) {
            d.x = d.y = -1e12;
            d.w = d.h = 2e12;
        } else {
            d.x = box.x0, d.y = box.y0, d.w = box.x1 - box.x0, d.h = box.y1 - box.y0;
        }
        // The state, and the CTM's scale, turn and skew (to a thousandth).
        u8 state[40];
        for (int i = 0; i < 8; ++i) state[i] = static_cast<u8>(st->draw_state >> (8 * i));
        for (int j = 0; j < 4; ++j) {
            const double v = std::clamp(st->ctm[static_cast<size_t>(j)] * 1000, -1e15, 1e15);
            const int64_t r = std::isfinite(v) ? std::llround(v) : 0;
            for (int i = 0; i < 8; ++i) state[8 + 8 * j + i] = static_cast<u8>(static_cast<uint64_t>(r) >> (8 * i));
        }
        const int32_t from = std::min(seg_start_, end);
        d.hash = hash_tokens(fnv1a(kFnvBasis, state, sizeof state), data_ + from, static_cast<uint64_t>(end - from));
        seg_start_ = end;
        if (st->drawings.size() >= kMaxDrawings) st->drawings_overflow = true;
        else st->drawings.push_back(d);
    }

    // The drawing side of the operator data_[start, end): path points,
    // painting, state.  Operands are still in place.
    void record(int32_t start, int32_t end, Op op) {
        const DrawOp k = drawing_operator(data_ + start, end - start);
        const double *o = operands_ + operand_count_;
        switch (k) {
        case DrawOp::point2:
            if (operand_count_ >= 2) path_point(o[-2], o[-1]);
            break;
        case DrawOp::point4:
            if (operand_count_ >= 4) path_point(o[-4], o[-3]), path_point(o[-2], o[-1]);
            break;
        case DrawOp::curve6:
            if (operand_count_ >= 6) path_point(o[-6], o[-5]), path_point(o[-4], o[-3]), path_point(o[-2], o[-1]);
            break;
        case DrawOp::rect:
            if (operand_count_ >= 4) {
                path_point(o[-4], o[-3]);
                path_point(o[-4] + o[-2], o[-3] + o[-1]);
                path_point(o[-4] + o[-2], o[-3]);
                path_point(o[-4], o[-3] + o[-1]);
            }
            break;
        case DrawOp::endpath:
            path_box_ = Bounds{};
            break;
        case DrawOp::stroke:
            if (!path_box_.empty()) {
                const Matrix &m = st_->ctm;
                const double scale = std::sqrt(std::fabs(m[0] * m[3] - m[1] * m[2]));
                const double half = std::max(std::fabs(st_->line_width) * scale, 1.0) / 2;
                path_box_.x0 -= half, path_box_.y0 -= half, path_box_.x1 += half, path_box_.y1 += half;
            }
            add_drawing(end, path_box_);
            path_box_ = Bounds{};
            break;
        case DrawOp::fill:
            add_drawing(end, path_box_);
            path_box_ = Bounds{};
            break;
        case DrawOp::shading:
            add_drawing(end, Bounds{}, true);
            break;
        case DrawOp::show:
            add_drawing(end, text_box_);
            text_box_ = Bounds{};
            break;
        case DrawOp::state:
            if (end - start == 1 && data_[start] == 'w' && operand_count_ >= 1) st_->line_width = o[-1];
            st_->draw_state = hash_tokens(st_->draw_state, data_ + op_start_, static_cast<uint64_t>(end - op_start_));
            break;
        case DrawOp::none:
            if (op == Op::Tj || op == Op::quote || op == Op::dquote) {
                add_drawing(end, text_box_);
                text_box_ = Bounds{};
            }
            break;
        }
        // An element's bytes are its path or its operands and operator; what
        // sets the state is in draw_state, the placement in the box.
        if (k != DrawOp::point2 && k != DrawOp::point4 && k != DrawOp::curve6 && k != DrawOp::rect)
            seg_start_ = end;
    }

    void paint_operator(int32_t start, int32_t end, Op op) {
        switch (op) {
        case Op::Tj:
        case Op::quote:
        case Op::dquote:
            paint_text();
            return;
        case Op::ET:  // ends a text clip
        case Op::other: break;
        default: return;
        }
        const std::string_view name(reinterpret_cast<const char *>(data_ + start), static_cast<size_t>(end - start));
        if (name == "TJ") {
            paint_text();
            return;
        }
        if (name == "w" && operand_count_ >= 1 && !st_->record_drawings) st_->line_width = operands_[operand_count_ - 1];
        st_->paint->op(st_, name, operands_, operand_count_, std::string_view(name_, static_cast<size_t>(name_len_)),
                       array_nums_);
    }

    void next_line() {
        interp_text_moved(st_);
        Matrix &lm = st_->lm;
        lm[4] = lm[4] - st_->leading * lm[2];
        lm[5] = lm[5] - st_->leading * lm[3];
        st_->tm = lm;
        st_->advance = 0;
    }

    // Td and TD: with tx, ty the last two operands.
    void move_line(bool set_leading) {
        interp_text_moved(st_);
        if (operand_count_ >= 2) {
            const double tx = operands_[operand_count_ - 2], ty = operands_[operand_count_ - 1];
            Matrix &lm = st_->lm;
            lm[4] = tx * lm[0] + ty * lm[2] + lm[4];
            lm[5] = tx * lm[1] + ty * lm[3] + lm[5];
            st_->tm = lm;
            if (set_leading) st_->leading = -ty;
        }
        st_->advance = 0;
    }

    void select_font() {
        if (name_len_ == 0) return;
        for (int i = 0; i < st_->font_count; ++i) {
            if (std::strcmp(st_->fonts[i].name, name_) == 0) {
                slot_build_font(st_->doc, &st_->fonts[i]);
                st_->cur_font = &st_->fonts[i];
                break;
            }
        }
        if (operand_count_ >= 1) st_->font_size = operands_[operand_count_ - 1];
    }

    void add_image_drawing(int32_t end) {
        seg_start_ = op_start_;
        const ImageItem &im = st_->images.back();
        Bounds b;
        b.add(im.x, im.y);
        b.add(im.x + im.w, im.y + im.h);
        add_drawing(end, b);
    }

    const double *last_six() const { return operands_ + (operand_count_ - 6); }

    // Runs the operator at p and returns where the scan goes on.
    int32_t run_operator(int32_t p) {
        const int32_t start = p;
        while (p < len_ && is_operator_byte(data_[p])) ++p;
        const int32_t n = p - start;
        const Op op = n <= kMaxOperatorLen ? lookup_operator(data_ + start, n) : Op::other;
        InterpState *st = st_;
        switch (op) {
        case Op::q:
            if (st->save_depth < kMaxSavedCtm)
                st->saved[st->save_depth++] = {st->ctm,        st->cur_font,   st->font_size,
                                               st->leading,    st->params,     st->draw_state,
                                               st->line_width, st->paint_gs};
            break;
        case Op::Q:
            if (st->save_depth > st->save_floor) {
                const SavedState &s = st->saved[--st->save_depth];
                st->ctm = s.ctm;
                st->cur_font = s.font;
                st->font_size = s.font_size;
                st->leading = s.leading;
                st->params = s.params;
                st->draw_state = s.draw_state;
                st->line_width = s.line_width;
                st->paint_gs = s.paint;
            }
            break;
        case Op::cm:
            if (operand_count_ >= 6) st->ctm = multiply(last_six(), st->ctm);
            break;
        case Op::BT:
            interp_text_moved(st);
            st->tm = st->lm = st->ctm;
            st->advance = 0;
            break;
        case Op::ET:
            interp_text_moved(st);
            break;
        case Op::Tm:
            interp_text_moved(st);
            if (operand_count_ >= 6) st->tm = st->lm = multiply(last_six(), st->ctm);
            st->advance = 0;
            break;
        case Op::Td:
            move_line(false);
            break;
        case Op::TD:
            move_line(true);
            break;
        case Op::Tstar:
            next_line();
            break;
        case Op::TL:
            if (operand_count_ >= 1) st->leading = operands_[operand_count_ - 1];
            break;
        case Op::Tf:
            select_font();
            break;
        case Op::Tc:
            if (operand_count_ >= 1) st->params.char_spacing = operands_[operand_count_ - 1];
            break;
        case Op::Tw:
            if (operand_count_ >= 1) st->params.word_spacing = operands_[operand_count_ - 1];
            break;
        case Op::Tz:
            if (operand_count_ >= 1) st->params.h_scale = operands_[operand_count_ - 1] / 100.0;
            break;
        case Op::Ts:
            if (operand_count_ >= 1) st->params.rise = operands_[operand_count_ - 1];
            break;
        case Op::Tj:
            show_pending();
            break;
        case Op::quote:
        case Op::dquote:
            // aw ac string ": word and character spacing, then as '.
            if (op == Op::dquote && operand_count_ >= 2) {
                st->params.word_spacing = operands_[operand_count_ - 2];
                st->params.char_spacing = operands_[operand_count_ - 1];
            }
            next_line();
            show_pending();
            break;
        case Op::BI: {
            const int32_t ei = find_kw(data_, len_, p, "EI");
            interp_add_image(st, "InlineImage");
            mark_inline_image(p, ei < 0 ? len_ : ei);
            if (st->paint) {
                // The dictionary runs to ID; /IM true (or /ImageMask true) makes it a stencil.
                const int32_t id = find_kw(data_, ei < 0 ? len_ : ei, p, "ID");
                const int32_t dict_end = id < 0 ? p : id;
                const int32_t im = find_name(data_, len_, p, dict_end, "IM");
                const int32_t mask = im >= 0 ? im : find_name(data_, len_, p, dict_end, "ImageMask");
                const int32_t v = mask < 0 ? -1 : skip_ws(data_, dict_end, mask + (im >= 0 ? 3 : 10));
                st->paint->image(*st, 0, v >= 0 && v + 4 <= dict_end && kw_at(data_, v, dict_end, "true"));
            }
            p = ei < 0 ? len_ : ei + 2;
            if (st->record_drawings) add_image_drawing(p);
            break;
        }
        case Op::Do: {
            int32_t num = 0;
            if (name_len_ > 0 && !draw_form(&num)) {
                interp_add_image(st, name_);
                st->images.back().obj = num;
                if (st->paint) st->paint->image(*st, forms_ && names_ ? names_->find(forms_->doc, name_) : 0);
                if (st->record_drawings) add_image_drawing(p);
            }
            break;
        }
        case Op::other:
            break;
        }
        if (st->record_drawings) {
            if (op != Op::BI && op != Op::Do) record(start, p, op);
            else seg_start_ = p;
        }
        if (st->paint) paint_operator(start, p, op);
        op_start_ = p;
        name_len_ = 0;
        name_[0] = 0;
        if (op != Op::q && op != Op::Q && op != Op::Do) operand_count_ = 0;
        return p;
    }

    // Do with the pending name: draws it when it names a form XObject and
    // returns true; false for anything else, which the caller records as an
    // image placement.  A form that is already being drawn (it draws
    // itself), one nested too deep, one whose content cannot be decoded and
    // one beyond the page's work limit are forms too, but draw nothing.
    bool draw_form(int32_t *num) {
        if (!forms_ || !names_) return false;
        *num = names_->find(forms_->doc, name_);
        return *num > 0 && draw_form_object(*num, false);
    }

    // Gives the inline image just recorded its identity: its keys run from
    // `from` (behind BI) to ID, its data from behind ID and the one white
    // space byte after it to the white space before EI at `ei`.
    void mark_inline_image(int32_t from, int32_t ei) {
        const int32_t id = find_kw(data_, ei, from, "ID");
        if (id < 0) return;
        const int32_t begin = std::min(id + 3, ei);
        int32_t end = ei;
        if (end > begin && is_ws(data_[end - 1])) --end;
        ImageItem &im = st_->images.back();
        PixelSize size;
        im.inline_id = inline_image_identity(data_ + from, id - from, data_ + begin,
                                             static_cast<size_t>(end - begin), &size);
        if (im.inline_id == 0) im.inline_id = 1;
        im.inline_w = size.w;
        im.inline_h = size.h;
    }

public:
    // Draws an annotation's appearance stream on the page: the form, placed
    // by `placement` in the page's space, whatever the page's content left
    // in the graphics state.  The placement joins the page's hash, so a
    // field moved or resized changes it.
    void draw_appearance(const Appearance &a) {
        if (!forms_) return;
        forms_->hash = fnv1a(forms_->hash, reinterpret_cast<const u8 *>(a.placement.data()), sizeof a.placement);
        // Each appearance starts from the text state a page starts with.
        InterpState *st = st_;
        interp_flush_word(st);
        st->ctm = a.placement;
        st->cur_font = nullptr;
        st->font_size = 12.0;
        st->leading = 14.0;
        st->params = TextParams{};
        st->paint_gs = PaintGState{};
        st->paint_gs.see_through = true;  // the annotation's /CA may thin it out
        st->line_width = 1;
        draw_form_object(a.obj, true);
    }

private:
    bool draw_form_object(int32_t num, bool appearance) {
        auto [it, fresh] = forms_->xobjects.try_emplace(num);
        if (fresh) it->second = read_form(forms_->doc, num, appearance);
        FormXObject *form = it->second.get();
        if (!form) return false;
        if (form->active || forms_->depth >= kMaxFormDepth) return true;
        bool keep = true;
        if (!form->decoded) {
            if (!decode_form_content(forms_->doc, form)) return true;
            keep = forms_->kept_bytes + form->content.len <= kMaxKeptFormBytes;
            if (keep) forms_->kept_bytes += form->content.len;
        }
        const uint64_t n = form->content.len;
        const int64_t cost = static_cast<int64_t>(std::min<uint64_t>(n, uint64_t{1} << 40)) + kFormDrawCost;
        if (cost <= forms_->work_left) {
            forms_->work_left -= cost;
            if (!form->hashed) {
                forms_->hash = fnv1a(forms_->hash, form->content.data, n);
                form->hashed = true;
            }
            run_form(form);
        }
        if (!keep) {
            buf_free(&form->content);
            form->decoded = false;
        }
        return true;
    }

    // Runs the form's content with the form's matrix joined to the CTM and
    // its own fonts in the slots (when it has some), then puts the state
    // back as it was: the form's q and Q cannot reach the states saved
    // before it, and what it leaves saved is dropped.
    void run_form(FormXObject *form) {
        InterpState *st = st_;
        interp_flush_word(st);
        const Matrix ctm = st->ctm, tm = st->tm, lm = st->lm;
        const double advance = st->advance, font_size = st->font_size, leading = st->leading;
        const TextParams params = st->params;
        const uint64_t draw_state = st->draw_state;
        const double line_width = st->line_width;
        const PaintGState paint_gs = st->paint_gs;
        const FontSlot *font = st->cur_font;
        const int save_depth = st->save_depth, save_floor = st->save_floor;
        st->ctm = multiply(form->matrix.data(), st->ctm);
        st->save_floor = st->save_depth;
        // The form's fonts take the slots while it runs; the font in use
        // stays in use, from the copy of the slots it was in.
        std::vector<FontSlot> outer;
        const int outer_count = st->font_count;
        if (form->has_fonts) {
            outer.assign(st->fonts, st->fonts + outer_count);
            std::copy(form->fonts.begin(), form->fonts.end(), st->fonts);
            st->font_count = static_cast<int>(form->fonts.size());
            if (font >= st->fonts && font < st->fonts + outer_count)
                st->cur_font = outer.data() + (font - st->fonts);
        }
        form->active = true;
        ++forms_->depth;
        const uint64_t n = form->content.len;
        const int32_t len = n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
        XObjectNames *names = form->has_xobjects ? &form->names : names_;
        if (st->paint) st->paint->begin_form(st, *form);
        if (len > 0) Scanner(form->content.data, len, st, forms_, names).run();
        if (st->paint) st->paint->end_form();
        --forms_->depth;
        form->active = false;
        interp_flush_word(st);
        if (form->has_fonts) {
            // What the form's slots learnt (fonts built on first use) is kept
            // for its next draw.
            std::copy(st->fonts, st->fonts + form->fonts.size(), form->fonts.begin());
            std::copy(outer.begin(), outer.end(), st->fonts);
            st->font_count = outer_count;
        }
        st->ctm = ctm;
        st->tm = tm;
        st->lm = lm;
        st->advance = advance;
        st->font_size = font_size;
        st->leading = leading;
        st->params = params;
        st->draw_state = draw_state;
        st->line_width = line_width;
        st->paint_gs = paint_gs;
        st->cur_font = font;
        st->save_depth = save_depth;
        st->save_floor = save_floor;
    }

    const u8 *data_;
    int32_t len_;
    InterpState *st_;
    FormContext *forms_;
    XObjectNames *names_;
    double operands_[kMaxOperands] = {};
    int operand_count_ = 0;
    ByteBuf pending_;  // the pending string
    ByteBuf scratch_;  // strings inside an array
    char name_[kMaxResourceName + 1] = {};
    int32_t name_len_ = 0;
    // Drawings: where the element under way began, where the current
    // operator's operands began, and the boxes of the path and the text.
    int32_t seg_start_ = 0;
    int32_t op_start_ = 0;
    Bounds path_box_;
    Bounds text_box_;
    // Painted elements: the glyph box and the strings of the text operator
    // under way, the numbers of the last array and the hash of them as TJ
    // adjustments.
    Bounds paint_box_;
    std::string shown_;
    std::vector<double> array_nums_;
    uint64_t adjust_hash_ = kFnvBasis;
};

}  // namespace

void analyze_page(const PdfDocument &doc, int page_index, PageSummary *out, bool drawings, PagePaint *paint) {
    *out = PageSummary{};
    if (paint) *paint = PagePaint{};
    if (page_index < 0 || page_index >= doc.page_count()) return;
    const PageEntry &page = doc.pages[static_cast<size_t>(page_index)];
    out->page = page_index + 1;
    out->width = page.box_w;
    out->height = page.box_h;
    out->rotation = page.rotate;
    out->box_x = page.box_x;
    out->box_y = page.box_y;
    out->cropped = page.cropped;

    InterpState st;
    interp_init(&st);
    st.doc = &doc;
    st.record_drawings = drawings;
    resolve_page_fonts(doc, page, &st);
    std::optional<PaintCollector> collector;
    if (paint) {
        collector.emplace(doc, page.box_x, page.box_y, page.box_x + page.box_w, page.box_y + page.box_h, paint,
                          page_resources(doc, page));
        st.paint = &*collector;
    }

    ByteBuf content;
    const std::vector<Appearance> appearances = page_appearances(doc, page);
    if (!get_page_content(doc, page, &content) && appearances.empty()) {
        interp_free(&st);
        return;
    }
    if (paint) paint->complete = true;
    FormContext forms(doc);
    forms.hash = fnv1a(kFnvBasis, content.data, content.data ? content.len : 0);
    // Positions are 32-bit; content beyond that is hashed but not scanned.
    const int32_t scan_len = content.len > INT32_MAX ? INT32_MAX : static_cast<int32_t>(content.len);
    // Room for what the content is likely to produce, so that large pages
    // do not regrow (and re-fault) their arrays many times.  Capped: a huge
    // content without text must not reserve memory in proportion.
    const size_t n = static_cast<size_t>(scan_len);
    st.items.reserve(std::min(n / 16, kMaxReservedItems));
    st.page_text.reserve(std::min(n / 2, kMaxReservedText));
    XObjectNames names(page_resources(doc, page));
    Scanner page_scan(content.data, scan_len, &st, &forms, &names);
    if (scan_len > 0) page_scan.run();
    buf_free(&content);
    // Annotations draw their appearances over the page, with the page's
    // resources for what an appearance does not give itself.
    for (const Appearance &a : appearances) page_scan.draw_appearance(a);
    out->content_hash = forms.hash;

    interp_finish_words(&st);
    out->text = std::move(st.page_text);
    out->items = std::move(st.items);
    out->images = std::move(st.images);
    // An image wholly in the margin a crop box cuts off is not seen.
    if (page.cropped)
        std::erase_if(out->images, [&](const ImageItem &im) {
            return im.x >= page.box_x + page.box_w || im.y >= page.box_y + page.box_h ||
                   im.x + im.w <= page.box_x || im.y + im.h <= page.box_y;
        });
    out->drawings = std::move(st.drawings);
    out->drawings_complete = drawings && !st.drawings_overflow;
    interp_free(&st);
}

void page_analysis_free(PageSummary *ps) { *ps = PageSummary{}; }

}  // namespace morvex
