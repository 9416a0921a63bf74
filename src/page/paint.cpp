// Painted elements: the collector the interpreter feeds.
//
// Geometry is taken in default user space, after the CTM, and rounded to
// a hundredth of a point relative to the path's first point, so the same
// path drawn through another cm or spelled with other numbers hashes
// alike; the place itself is the element's box, compared with a tolerance
// by the comparison.  Colours become RGB (gray g as g g g, CMYK by the
// naive complement) so that gray 0 and RGB 0 0 0 are the same black.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

#include "codec/filters.h"
#include "paint_collect.h"
#include "xobjects.h"

namespace morvex {

namespace {

constexpr uint64_t kBasis = 0xcbf29ce484222325ull;
// Font programs hashed up to this many decoded bytes; a larger one is known
// by its size.
constexpr uint64_t kMaxHashedFontBytes = uint64_t{1} << 24;

uint64_t mix(uint64_t h, uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        h ^= (v >> (8 * i)) & 0xff;
        h *= 0x100000001b3ull;
    }
    return h;
}

uint64_t mix_bytes(uint64_t h, std::string_view s) {
    for (const char c : s) {
        h ^= static_cast<u8>(c);
        h *= 0x100000001b3ull;
    }
    return mix(h, s.size());
}

// v rounded to 1/scale, as an integer (clamped: hostile numbers stay finite).
uint64_t rounded(double v, double scale) {
    if (!std::isfinite(v)) return 0;
    return static_cast<uint64_t>(std::llround(std::clamp(v * scale, -1e15, 1e15)));
}

PaintColor rgb(double r, double g, double b) {
    auto c = [](double v) { return static_cast<uint64_t>(std::lround(std::clamp(v, 0.0, 1.0) * 65535)); };
    return (c(r) << 32) | (c(g) << 16) | c(b);
}

// The colour of n components in a device space of that many.
PaintColor device_color(const double *o, int n) {
    if (n >= 4) {
        const double k = o[n - 1];
        return rgb((1 - o[n - 4]) * (1 - k), (1 - o[n - 3]) * (1 - k), (1 - o[n - 2]) * (1 - k));
    }
    if (n == 3) return rgb(o[0], o[1], o[2]);
    if (n >= 1) return rgb(o[n - 1], o[n - 1], o[n - 1]);
    return kBlack;
}

bool device_space(std::string_view name) {
    return name == "DeviceGray" || name == "DeviceRGB" || name == "DeviceCMYK" || name == "G" || name == "RGB" ||
           name == "CMYK" || name.empty();
}

constexpr PaintColor kWhite = (PaintColor{0xffff} << 32) | (PaintColor{0xffff} << 16) | 0xffff;

// Opaque white in a device space: what the page shows where nothing is painted.
bool device_white(PaintColor c, uint64_t space) { return space == 0 && c == kWhite; }

// Pattern colours carry 0x4000 in their top 16 bits (named spaces 0x8000).
bool is_pattern_color(PaintColor c) { return ((c >> 48) & 0xc000) == 0x4000; }

// The key of a resource lookup: its kind, the resources dictionary it is
// made in (by place) and the name.
uint64_t resource_key(char kind, PdfValue res, std::string_view name) {
    uint64_t h = mix(mix(kBasis, static_cast<uint64_t>(kind)), reinterpret_cast<uintptr_t>(res.data));
    return mix_bytes(mix(h, static_cast<uint64_t>(static_cast<uint32_t>(res.pos))), name);
}
constexpr size_t kMaxResourceLooks = 4096;

std::string name_at(PdfValue v) {
    if (!v.ok() || v.data[v.pos] != '/') return {};
    int32_t p = v.pos + 1;
    while (p < v.end && is_name_byte(v.data[p])) ++p;
    return std::string(reinterpret_cast<const char *>(v.data + v.pos + 1), static_cast<size_t>(p - v.pos - 1));
}

// The object number `key` refers to in the dictionary, or 0.
int32_t ref_in(PdfValue dict, const char *key) {
    if (!dict.is_dict()) return 0;
    const int32_t end = dict_end(dict.data, dict.end, dict.pos);
    const int32_t at = find_name(dict.data, dict.end, dict.pos, end < 0 ? dict.end : end, key);
    if (at < 0) return 0;
    const int32_t v = skip_ws_comments(dict.data, dict.end, at + 1 + static_cast<int32_t>(std::strlen(key)));
    const int32_t num = parse_ref_at(dict.data, dict.end, v);
    return num > 0 ? num : 0;
}

// The font dictionary's first descendant (Type0), or the dictionary itself.
PdfValue glyph_font(const PdfDocument &doc, PdfValue font) {
    const PdfValue d = dict_get(doc, font, "DescendantFonts");
    if (!d.ok() || d.data[d.pos] != '[') return font;
    const int32_t p = skip_ws_comments(d.data, d.end, d.pos + 1);
    const int32_t num = parse_ref_at(d.data, d.end, p);
    if (num > 0) return object_value(doc, num);
    return p < d.end && d.data[p] == '<' ? PdfValue{d.data, p, d.end} : font;
}

// How far a font's glyphs reach beyond the box of a glyph run (an em
// either side of the baseline, padded by a fifth of an em), from its
// descriptor's /FontBBox (glyph space, a thousandth of an em); each at
// most 100 ems (a box beyond that is taken as broken).
void font_reach(const PdfDocument &doc, PdfValue font, double *above, double *below, double *before,
                double *after) {
    const PdfValue box = dict_get(doc, dict_get(doc, glyph_font(doc, font), "FontDescriptor"), "FontBBox");
    if (!box.ok() || box.data[box.pos] != '[') return;
    double v[4] = {0, 0, 0, 0};
    int32_t p = box.pos + 1;
    for (double &x : v) {
        p = skip_ws_comments(box.data, box.end, p);
        if (p >= box.end || !(is_digit(box.data[p]) || box.data[p] == '-' || box.data[p] == '+' || box.data[p] == '.'))
            return;
        x = parse_double_at(box.data, box.end, &p);
        if (!std::isfinite(x)) return;
    }
    const auto ems = [](double beyond) { return std::clamp(beyond, 0.0, 100.0); };
    *above = ems(std::max(v[1], v[3]) / 1000 - 1);
    *below = ems(-std::min(v[1], v[3]) / 1000 - 1);
    *before = ems(-std::min(v[0], v[2]) / 1000 - 0.2);
    *after = ems(std::max(v[0], v[2]) / 1000 - 1.2);
}

// The hash of each font dictionary's program, per document, shared by the
// threads that analyse its pages.
struct ProgramCache {
    std::mutex mu;
    std::unordered_map<int32_t, uint64_t> programs;
};
constexpr size_t kMaxCachedPrograms = 4096;

std::shared_ptr<ProgramCache> program_cache(const PdfDocument &doc) {
    static std::mutex create_mu;
    const std::lock_guard<std::mutex> lock(create_mu);
    if (!doc.paint_cache) doc.paint_cache = std::make_shared<ProgramCache>();
    return std::static_pointer_cast<ProgramCache>(doc.paint_cache);
}

// A hash of the decoded font program the font dictionary's descriptor
// names (its descendant's for a Type0 font); 0 without one.
uint64_t program_hash(const PdfDocument &doc, int32_t font_obj, PdfValue font) {
    const std::shared_ptr<ProgramCache> cache = program_cache(doc);
    {
        const std::lock_guard<std::mutex> lock(cache->mu);
        const auto it = cache->programs.find(font_obj);
        if (it != cache->programs.end()) return it->second;
    }
    uint64_t h = 0;
    const PdfValue descriptor = dict_get(doc, glyph_font(doc, font), "FontDescriptor");
    for (const char *key : {"FontFile", "FontFile2", "FontFile3"}) {
        const int32_t num = ref_in(descriptor, key);
        const ObjectEntry *e = num > 0 ? doc.find_object(num) : nullptr;
        if (!e) continue;
        ByteBuf program;
        if (decode_stream(doc.data, doc.len, *e, &program) == 1) {
            const uint64_t n = program.len;
            h = mix(kBasis, n);
            if (n <= kMaxHashedFontBytes)
                h = mix_bytes(h, std::string_view(reinterpret_cast<const char *>(program.data), n));
        }
        buf_free(&program);
        break;
    }
    const std::lock_guard<std::mutex> lock(cache->mu);
    if (cache->programs.size() < kMaxCachedPrograms) cache->programs.emplace(font_obj, h);
    return h;
}

}  // namespace

std::string color_hex(PaintColor c) {
    static const char hex[] = "0123456789abcdef";
    std::string s = "#";
    for (int shift : {32, 16, 0}) {
        const unsigned v = static_cast<unsigned>(((c >> shift) & 0xffff) * 255 / 65535.0 + 0.5);
        s += hex[(v >> 4) & 15];
        s += hex[v & 15];
    }
    return s;
}

PaintCollector::PaintCollector(const PdfDocument &doc, double x0, double y0, double x1, double y1, PagePaint *out,
                               PdfValue resources)
    : doc_(doc), px0_(x0), py0_(y0), px1_(x1), py1_(y1), out_(out), values_(doc) {
    resources_.push_back(resources);
    out->x0 = x0, out->y0 = y0, out->x1 = x1, out->y1 = y1;
    // Optional content may hide what covers (this reader draws all of it),
    // so in a document that has some nothing counts as covering.
    if (doc.catalog_obj > 0) covers_ = !dict_get(doc, object_value(doc, doc.catalog_obj), "OCProperties").ok();
}

void PaintCollector::begin_form(InterpState *st, const FormXObject &form) {
    resources_.push_back(form.has_resources ? form.resources : resources());
    if (!form.has_bbox) return;
    const Matrix &m = st->ctm;
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
    for (int i = 0; i < 4; ++i) {
        const double u = form.bbox[i & 1 ? 2 : 0], v = form.bbox[i & 2 ? 3 : 1];
        const double x = m[0] * u + m[2] * v + m[4], y = m[1] * u + m[3] * v + m[5];
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return;
    PaintGState &gs = st->paint_gs;
    gs.clip_x0 = std::max(gs.clip_x0, x0), gs.clip_y0 = std::max(gs.clip_y0, y0);
    gs.clip_x1 = std::min(gs.clip_x1, x1), gs.clip_y1 = std::min(gs.clip_y1, y1);
    if (!(x1 > x0 && y1 > y0)) gs.clip_x1 = gs.clip_x0 - 1;  // a box without area shows nothing
    // A box turned by other than quarter turns is no rectangle on the page.
    if (!((m[1] == 0 && m[2] == 0) || (m[0] == 0 && m[3] == 0))) gs.clip_exact = false;
}

void PaintCollector::end_form() {
    if (resources_.size() > 1) resources_.pop_back();
}

// What the resource `name` of a kind holds: 'g' a graphics state, 'c' a
// colour space, 'p' a pattern, 's' a shading.  `covers_not` says that
// painting under it may let what lies beneath show: a see-through graphics
// state, a Pattern colour space, or a resource that cannot be found.
const PaintCollector::Look &PaintCollector::look(char kind, std::string_view name) {
    const uint64_t key = resource_key(kind, resources(), name);
    if (const auto it = looks_.find(key); it != looks_.end()) return it->second;
    const char *category = kind == 'g' ? "ExtGState" : kind == 'c' ? "ColorSpace" : kind == 'p' ? "Pattern" : "Shading";
    const PdfValue v = values_.resource(resources(), category, std::string(name));
    const PdfValue d = values_.resolved(v);
    Look l;
    if (!v.ok() || (kind == 'g' && !d.is_dict())) {  // unknown: by its name
        l.hash = mix_bytes(mix(kBasis, static_cast<uint64_t>(kind)), name);
        l.covers_not = true;
    } else if (kind == 'g') {
        const GStateLook g = gstate_look(doc_, d, &values_);
        l.hash = g.hash, l.covers_not = g.see_through;
    } else {
        // By value: one ICC profile, shading or pattern under two names is one.
        l.hash = values_.value(v);
        l.covers_not = kind == 'c' && is_pattern_space(d);
    }
    if (looks_.size() >= kMaxResourceLooks) looks_.clear();
    return looks_.emplace(key, l).first->second;
}

void PaintCollector::set_space(PaintGState *gs, bool fill, std::string_view name) {
    uint64_t tag = 0;
    bool pattern = name == "Pattern";
    if (!device_space(name)) {
        const Look &l = look('c', name);
        tag = (l.hash & 0x7fff) | 0x8000;
        pattern = pattern || l.covers_not;
    }
    // A colour space starts at its initial colour: black, or no pattern.
    (fill ? gs->fill : gs->stroke) = tag ? (tag << 48) : kBlack;
    (fill ? gs->fill_space : gs->stroke_space) = tag;
    if (fill) gs->fill_pattern_space = pattern;
}

PaintColor PaintCollector::pattern_color(std::string_view name, const double *o, int n) {
    // An uncoloured pattern paints in the components given with it.
    uint64_t h = look('p', name).hash;
    for (int i = 0; i < n; ++i) h = mix(h, rounded(o[i], 10000));
    return ((((h >> 48) & 0x3fff) | 0x4000) << 48) | (h & 0xffffffffffffull);
}

// Identity of a font: its /BaseFont and a hash of its decoded font program
// (a subset or another program under the same name is another font).
const PaintCollector::FontId &PaintCollector::font_id(const FontSlot &slot) {
    auto [it, fresh] = fonts_.try_emplace(slot.obj_num);
    if (!fresh) return it->second;
    FontId &id = it->second;
    const PdfValue font = object_value(doc_, slot.obj_num);
    std::string base = name_at(dict_get(doc_, font, "BaseFont"));
    uint64_t h = mix_bytes(kBasis, base);
    const size_t plus = base.find('+');
    id.name = plus == 6 ? base.substr(7) : base;
    id.type3 = name_at(dict_get(doc_, font, "Subtype")) == "Type3";
    if (!id.type3) font_reach(doc_, font, &id.above, &id.below, &id.before, &id.after);
    h = mix(h, program_hash(doc_, slot.obj_num, font));
    // A font without a program of its own draws what its widths and
    // encoding say, as the reader's substitute: those tell it apart.
    if (slot.font) h = mix(h, std::hash<std::string>{}(id.name) ^ static_cast<uint64_t>(slot.font->em() * 1000));
    id.hash = h;
    return id;
}

void PaintCollector::add(PaintElement e, const PaintGState &gs) {
    e.x0 = std::max({e.x0, gs.clip_x0, px0_});
    e.y0 = std::max({e.y0, gs.clip_y0, py0_});
    e.x1 = std::min({e.x1, gs.clip_x1, px1_});
    e.y1 = std::min({e.y1, gs.clip_y1, py1_});
    // Nothing of it on the visible page: nobody sees it.
    if (!(e.x0 <= e.x1 && e.y0 <= e.y1)) return;
    // Seen through a clip of another shape: the shape is part of its look.
    if (gs.clip_sig) e.sig = mix(e.sig, gs.clip_sig);
    if (out_->elements.size() >= kMaxPaintElements) {
        out_->complete = false;
        return;
    }
    out_->elements.push_back(std::move(e));
}

void PaintCollector::path_point(const InterpState &st, double x, double y) {
    const Matrix &m = st.ctm;
    const double dx = m[0] * x + m[2] * y + m[4], dy = m[1] * x + m[3] * y + m[5];
    if (!std::isfinite(dx) || !std::isfinite(dy)) return;
    if (!has_path_) {
        has_path_ = true;
        first_x_ = dx, first_y_ = dy;
        bx0_ = bx1_ = dx, by0_ = by1_ = dy;
        path_hash_ = kBasis;
        path_ops_ = 0, path_curved_ = false, path_by_re_ = false;
    }
    if (path_ops_ < 5) corner_[path_ops_][0] = dx, corner_[path_ops_][1] = dy;
    if (path_ops_ < 1000) ++path_ops_;
    bx0_ = std::min(bx0_, dx), bx1_ = std::max(bx1_, dx), by0_ = std::min(by0_, dy), by1_ = std::max(by1_, dy);
    path_hash_ = mix(mix(path_hash_, rounded(dx - first_x_, 100)), rounded(dy - first_y_, 100));
}

bool PaintCollector::path_is_rect() const {
    if (!has_path_ || path_curved_) return false;
    int n = path_ops_;
    // m l l l l back to the start (or re, whose four corners come in order).
    if (n == 5 && std::fabs(corner_[4][0] - corner_[0][0]) < 1e-4 && std::fabs(corner_[4][1] - corner_[0][1]) < 1e-4)
        n = 4;
    if (n != 4) return false;
    // Edges alternate between horizontal and vertical, each of some length.
    int first = -1;
    for (int i = 0; i < 4; ++i) {
        const double dx = corner_[(i + 1) % 4][0] - corner_[i][0], dy = corner_[(i + 1) % 4][1] - corner_[i][1];
        const bool across = std::fabs(dy) < 1e-4 && std::fabs(dx) >= 1e-4;
        const bool up = std::fabs(dx) < 1e-4 && std::fabs(dy) >= 1e-4;
        if (!across && !up) return false;
        if (i == 0) first = across ? 0 : 1;
        else if ((across ? 0 : 1) != (first + i) % 2) return false;
    }
    return true;
}

void PaintCollector::end_path(InterpState *st, bool fill, bool even_odd, bool stroke) {
    PaintGState &gs = st->paint_gs;
    if (has_path_ && (fill || stroke)) {
        PaintElement e;
        e.kind = PaintKind::path;
        e.x0 = bx0_, e.y0 = by0_, e.x1 = bx1_, e.y1 = by1_;
        // A fill without area paints nothing (a stroke of a point may: a cap).
        const bool area = bx1_ > bx0_ && by1_ > by0_;
        uint64_t h = mix(mix(kBasis, 'p'), path_hash_);
        h = mix(h, gs.ext);
        if (fill && area) h = mix(mix(mix(h, even_odd ? 'e' : 'f'), gs.fill), gs.fill_space);
        if (stroke) {
            const Matrix &m = st->ctm;
            const double scale = std::sqrt(std::fabs(m[0] * m[3] - m[1] * m[2]));
            const double width = std::fabs(st->line_width) * scale;
            h = mix(mix(mix(h, 's'), gs.stroke), gs.stroke_space);
            h = mix(mix(mix(h, rounded(width, 100)), gs.dash), static_cast<uint64_t>(gs.cap * 16 + gs.join));
            if (gs.join == 0) h = mix(h, rounded(gs.miter, 100));
            const double half = std::max(width, 1.0) / 2;
            e.x0 -= half, e.y0 -= half, e.x1 += half, e.y1 += half;
        }
        e.sig = h;
        const bool fills = fill && area;
        e.cover = covers_ && fills && !stroke && !gs.see_through && gs.clip_exact && !gs.fill_pattern_space &&
                  !is_pattern_color(gs.fill) && path_is_rect();
        e.white = !gs.see_through && (!fills || device_white(gs.fill, gs.fill_space)) &&
                  (!stroke || device_white(gs.stroke, gs.stroke_space));
        if (stroke || area) add(std::move(e), gs);
    }
    if (clip_pending_ && has_path_) {
        gs.clip_x0 = std::max(gs.clip_x0, bx0_), gs.clip_y0 = std::max(gs.clip_y0, by0_);
        gs.clip_x1 = std::min(gs.clip_x1, bx1_), gs.clip_y1 = std::min(gs.clip_y1, by1_);
        // A path without area encloses nothing.
        if (!(bx1_ > bx0_ && by1_ > by0_)) gs.clip_x1 = gs.clip_x0 - 1;
        if (!path_is_rect()) {
            gs.clip_exact = false;
            uint64_t h = mix(mix(mix(kBasis, even_odd_clip_ ? 'E' : 'W'), path_hash_), rounded(first_x_, 100));
            gs.clip_sig = mix(mix(gs.clip_sig ? gs.clip_sig : kBasis, h), rounded(first_y_, 100));
        }
    } else if (clip_pending_) {
        gs.clip_x1 = gs.clip_x0 - 1;  // clipped by an empty path: nothing shows
    }
    clip_pending_ = false;
    has_path_ = false;
}

void PaintCollector::op(InterpState *st, std::string_view op, const double *o, int n, std::string_view name,
                        const std::vector<double> &array) {
    PaintGState &gs = st->paint_gs;
    const double *last = o + n;  // operands are read from the end
    const char a = op[0];
    if (op.size() == 1) {
        switch (a) {
        case 'm': case 'l':
            if (n >= 2) {
                if (has_path_ && a == 'm') path_ops_ = 1000;  // a second subpath
                if (has_path_) path_hash_ = mix(path_hash_, static_cast<uint64_t>(a));
                path_point(*st, last[-2], last[-1]);
            }
            return;
        case 'c':
            if (n >= 6) {
                path_curved_ = true;
                if (has_path_) path_hash_ = mix(path_hash_, 'c');
                for (int i = 6; i > 0; i -= 2) path_point(*st, last[-i], last[-i + 1]);
            }
            return;
        case 'v': case 'y':
            if (n >= 4) {
                if (has_path_) path_hash_ = mix(path_hash_, static_cast<uint64_t>(a));
                path_point(*st, last[-4], last[-3]);
                path_point(*st, last[-2], last[-1]);
                path_curved_ = true;
            }
            return;
        case 'h':
            if (has_path_) path_hash_ = mix(path_hash_, 'h');
            return;
        case 'W': clip_pending_ = true, even_odd_clip_ = false; return;
        case 'n': end_path(st, false, false, false); return;
        case 'f': case 'F': end_path(st, true, false, false); return;
        case 'S': end_path(st, false, false, true); return;
        case 's':
            if (has_path_) path_hash_ = mix(path_hash_, 'h');
            end_path(st, false, false, true);
            return;
        case 'B': end_path(st, true, false, true); return;
        case 'b':
            if (has_path_) path_hash_ = mix(path_hash_, 'h');
            end_path(st, true, false, true);
            return;
        case 'g': gs.fill = device_color(o, n), gs.fill_space = 0; return;
        case 'G': gs.stroke = device_color(o, n), gs.stroke_space = 0; return;
        case 'k': gs.fill = device_color(o, std::min(n, 4)), gs.fill_space = 0; return;
        case 'K': gs.stroke = device_color(o, std::min(n, 4)), gs.stroke_space = 0; return;
        case 'J': if (n >= 1) gs.cap = static_cast<int>(std::clamp(last[-1], 0.0, 2.0)); return;
        case 'j': if (n >= 1) gs.join = static_cast<int>(std::clamp(last[-1], 0.0, 2.0)); return;
        case 'M': if (n >= 1) gs.miter = last[-1]; return;
        case 'd': {
            uint64_t h = 0;
            bool any = false;
            for (double v : array) any = any || v != 0, h = mix(h ? h : kBasis, rounded(v, 100));
            gs.dash = any ? mix(h, rounded(n >= 1 ? last[-1] : 0, 100)) : 0;
            return;
        }
        default: return;
        }
    }
    if (op.size() == 2) {
        const char b = op[1];
        if (a == 'r' && b == 'e') {
            if (n >= 4) {
                const double x = last[-4], y = last[-3], w = last[-2], h = last[-1];
                const bool alone = !has_path_;
                if (has_path_) path_hash_ = mix(path_hash_, 'r'), path_ops_ = 1000;
                path_point(*st, x, y);
                path_point(*st, x + w, y);
                path_point(*st, x + w, y + h);
                path_point(*st, x, y + h);
                path_hash_ = mix(path_hash_, 'h');
                if (alone) path_by_re_ = true;
            }
        } else if (b == '*') {
            if (a == 'W') clip_pending_ = true, even_odd_clip_ = true;
            else if (a == 'f') end_path(st, true, true, false);
            else if (a == 'B') end_path(st, true, true, true);
            else if (a == 'b') {
                if (has_path_) path_hash_ = mix(path_hash_, 'h');
                end_path(st, true, true, true);
            }
        } else if (a == 'r' && b == 'g') {
            if (n >= 3) gs.fill = device_color(last - 3, 3), gs.fill_space = 0;
        } else if (a == 'R' && b == 'G') {
            if (n >= 3) gs.stroke = device_color(last - 3, 3), gs.stroke_space = 0;
        } else if ((a == 'c' || a == 'C') && b == 's') {
            set_space(&gs, a == 'c', name);
        } else if ((a == 's' || a == 'S') && b == 'c') {
            PaintColor &c = a == 's' ? gs.fill : gs.stroke;
            c = device_color(o, std::min(n, 4)) | ((a == 's' ? gs.fill_space : gs.stroke_space) << 48);
        } else if (a == 'T' && b == 'r') {
            if (n >= 1) gs.render = static_cast<int>(std::clamp(last[-1], 0.0, 7.0));
        } else if (a == 'g' && b == 's') {
            const Look &l = look('g', name);
            gs.ext = mix(gs.ext ? gs.ext : kBasis, l.hash);
            gs.see_through = gs.see_through || l.covers_not;
        } else if (a == 'E' && b == 'T' && text_clip_) {
            // Glyphs shown in a clipping mode clip what follows to their outlines.
            text_clip_ = false;
            gs.clip_x0 = std::max(gs.clip_x0, tx0_), gs.clip_y0 = std::max(gs.clip_y0, ty0_);
            gs.clip_x1 = std::min(gs.clip_x1, tx1_), gs.clip_y1 = std::min(gs.clip_y1, ty1_);
            gs.clip_exact = false;
            gs.clip_sig = mix(gs.clip_sig ? gs.clip_sig : kBasis, text_clip_sig_);
            tx0_ = ty0_ = HUGE_VAL, tx1_ = ty1_ = -HUGE_VAL;
            text_clip_sig_ = 0;
        } else if (a == 's' && b == 'h') {
            PaintElement e;
            e.kind = PaintKind::shading;
            e.x0 = e.y0 = -1e30, e.x1 = e.y1 = 1e30;  // fills the clip
            uint64_t h = mix(mix(kBasis, 'h'), look('s', name).hash);
            for (double v : st->ctm) h = mix(h, rounded(v, 100));
            e.sig = mix(h, gs.ext);
            add(std::move(e), gs);
        }
        return;
    }
    if (op == "scn" || op == "SCN") {
        const bool fill = a == 's';
        PaintColor &c = fill ? gs.fill : gs.stroke;
        const uint64_t tag = fill ? gs.fill_space : gs.stroke_space;
        if (!name.empty()) {  // a pattern, known by what it paints and any components
            c = pattern_color(name, o, n);
        } else {
            c = device_color(o, std::min(n, 4)) | (tag << 48);
        }
    }
}

void PaintCollector::text(const InterpState &st, double x0, double y0, double x1, double y1,
                          std::string_view shown, uint64_t adjustments) {
    const PaintGState &gs = st.paint_gs;
    const int mode = gs.render;
    if (mode == 3 || x0 > x1) return;  // invisible text
    const bool fills = mode == 0 || mode == 2 || mode == 4 || mode == 6;
    const bool strokes = mode == 1 || mode == 2 || mode == 5 || mode == 6;
    PaintElement e;
    e.kind = PaintKind::text;
    e.x0 = x0, e.y0 = y0, e.x1 = x1, e.y1 = y1;
    const Matrix &m = st.tm;
    e.size = st.font_size * std::sqrt(std::fabs(m[0] * m[3] - m[1] * m[2]));
    // Ink reaches beyond the pen's path: overhangs, accents, and glyphs
    // drawn with no advance at all (music, combining marks).
    const double pad = 0.2 * e.size;
    e.x0 -= pad, e.y0 -= pad, e.x1 = std::max(e.x1 + pad, e.x0 + e.size + pad), e.y1 += pad;
    if (st.cur_font) {
        // Glyphs that the font says reach further (a brace across a system
        // of staves, a circle drawn around its origin) widen the box along
        // text space's axes.
        const FontId &id = font_id(*st.cur_font);
        if (id.above > 0 || id.below > 0 || id.before > 0 || id.after > 0) {
            const double up[2] = {m[2] * st.font_size, m[3] * st.font_size};
            const double ahead[2] = {m[0] * st.font_size, m[1] * st.font_size};
            double *lo[2] = {&e.x0, &e.y0}, *hi[2] = {&e.x1, &e.y1};
            for (int c = 0; c < 2; ++c) {
                const double shifts[4] = {id.above * up[c], -id.below * up[c], -id.before * ahead[c],
                                          id.after * ahead[c]};
                for (double d : shifts) *(d > 0 ? hi[c] : lo[c]) += d;
            }
        }
    }
    e.render = mode;
    e.fill = fills ? gs.fill : kBlack;
    e.stroke = strokes ? gs.stroke : kBlack;
    uint64_t style = mix(kBasis, 't');
    if (st.cur_font) {
        const FontId &id = font_id(*st.cur_font);
        e.font = id.name;
        style = mix(style, id.hash);
    }
    style = mix(mix(style, rounded(e.size, 100)), static_cast<uint64_t>(mode));
    if (fills) style = mix(mix(style, gs.fill), gs.fill_space);
    if (strokes) {
        style = mix(mix(mix(style, gs.stroke), gs.stroke_space), rounded(st.line_width, 100));
    }
    style = mix(mix(mix(style, rounded(st.params.h_scale, 1000)), rounded(st.params.rise, 100)), gs.ext);
    e.style = style;
    // The words: what the font reads the codes as.
    const PdfFont *font = st.cur_font && st.cur_font->font ? st.cur_font->font.get() : nullptr;
    uint64_t h = mix(mix_bytes(style, shown), adjustments);
    for (int i = 0; i < 4; ++i) h = mix(h, rounded(st.tm[static_cast<size_t>(i)] * st.font_size, 1000));
    h = mix(mix(h, rounded(st.params.char_spacing, 1000)), rounded(st.params.word_spacing, 1000));
    e.sig = h;
    const bool type3 = st.cur_font && font_id(*st.cur_font).type3;
    if (mode >= 4) {
        // It clips too (7 only clips): the glyphs and their place make the clip.
        text_clip_ = true;
        tx0_ = std::min(tx0_, e.x0), ty0_ = std::min(ty0_, e.y0), tx1_ = std::max(tx1_, e.x1), ty1_ = std::max(ty1_, e.y1);
        text_clip_sig_ = mix(mix(mix(text_clip_sig_ ? text_clip_sig_ : kBasis, h), rounded(e.x0, 100)), rounded(e.y0, 100));
        if (mode == 7) return;
    }
    e.white = !gs.see_through && !type3 && mode < 4 && (!fills || device_white(gs.fill, gs.fill_space)) &&
              (!strokes || device_white(gs.stroke, gs.stroke_space));
    const auto *p = reinterpret_cast<const u8 *>(shown.data());
    Glyph g;
    for (size_t k = 0; k < shown.size();) {
        if (font) {
            k += static_cast<size_t>(font->next(p + k, shown.size() - k, &g));
            e.text += g.text;
        } else {
            const u8 c = p[k++];
            if (c < 0x80) {
                e.text += static_cast<char>(c);
            } else {
                e.text += static_cast<char>(0xc0 | (c >> 6));
                e.text += static_cast<char>(0x80 | (c & 0x3f));
            }
        }
    }
    add(std::move(e), gs);
}

void PaintCollector::image(const InterpState &st, int32_t obj, bool inline_mask) {
    bool mask = inline_mask;
    if (obj > 0) {
        auto [it, fresh] = masks_.try_emplace(obj, false);
        if (fresh) {
            const PdfValue v = dict_get(doc_, object_value(doc_, obj), "ImageMask");
            it->second = v.ok() && v.end - v.pos >= 4 && std::memcmp(v.data + v.pos, "true", 4) == 0;
        }
        mask = it->second;
    }
    const Matrix &m = st.ctm;
    PaintElement e;
    e.kind = PaintKind::image;
    e.x0 = e.y0 = HUGE_VAL, e.x1 = e.y1 = -HUGE_VAL;
    for (const auto &[u, v] : {std::pair{0.0, 0.0}, {1.0, 0.0}, {0.0, 1.0}, {1.0, 1.0}}) {
        const double x = m[0] * u + m[2] * v + m[4], y = m[1] * u + m[3] * v + m[5];
        e.x0 = std::min(e.x0, x), e.y0 = std::min(e.y0, y), e.x1 = std::max(e.x1, x), e.y1 = std::max(e.y1, y);
    }
    uint64_t h = mix(kBasis, 'i');
    for (int i = 0; i < 4; ++i) h = mix(h, rounded(m[static_cast<size_t>(i)], 100));
    if (mask) h = mix(mix(h, st.paint_gs.fill), st.paint_gs.fill_space);
    e.sig = mix(h, st.paint_gs.ext);
    add(std::move(e), st.paint_gs);
}

}  // namespace morvex
