// XObject names and form XObjects.
//
// Dictionaries are read key by key at their top level: nested dictionaries,
// arrays and strings are stepped over whole, so a key inside a nested value
// (or inside a form's stream data behind its dictionary) is never taken for
// one of the dictionary's own keys.
#include "xobjects.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "codec/filters.h"
#include "fonts.h"

namespace morvex {

namespace {

// References followed in a row before giving up (a chain of references to
// references, or a reference to itself).
constexpr int kMaxRefChain = 8;
// Follows "N G R" to the object's text; other values stay as they are.
PdfValue resolve(const PdfDocument &doc, PdfValue v) {
    for (int i = 0; i < kMaxRefChain && v.ok() && is_digit(v.data[v.pos]); ++i) {
        const int32_t num = parse_ref_at(v.data, v.end, v.pos);
        if (num <= 0) return v;  // a plain number
        v = object_value(doc, num);
    }
    return v;
}

// Calls f(key, value position) for each top-level key of the dictionary.
template <class F>
void each_key(PdfValue dict, F f) {
    if (!dict.is_dict()) return;
    const u8 *d = dict.data;
    int32_t p = dict.pos + 2;
    for (;;) {
        p = skip_ws_comments(d, dict.end, p);
        if (p >= dict.end || (d[p] == '>' && p + 1 < dict.end && d[p + 1] == '>')) return;
        if (d[p] != '/') {
            p = skip_value(d, dict.end, p);  // a value without its key
            continue;
        }
        const int32_t s = ++p;
        while (p < dict.end && is_name_byte(d[p])) ++p;
        const std::string_view key(reinterpret_cast<const char *>(d + s), static_cast<size_t>(p - s));
        const int32_t vpos = skip_ws_comments(d, dict.end, p);
        if (!f(key, vpos)) return;
        p = skip_value(d, dict.end, vpos);
    }
}

bool name_is(PdfValue v, std::string_view name) {
    if (!v.ok() || v.data[v.pos] != '/') return false;
    int32_t p = v.pos + 1;
    while (p < v.end && is_name_byte(v.data[p])) ++p;
    return std::string_view(reinterpret_cast<const char *>(v.data + v.pos + 1), static_cast<size_t>(p - v.pos - 1)) ==
           name;
}

// `count` numbers of an array; false unless exactly that many are read.
bool read_numbers(PdfValue v, double *out, int count) {
    if (!v.ok() || v.data[v.pos] != '[') return false;
    int32_t p = v.pos + 1;
    int n = 0;
    for (;;) {
        p = skip_ws_comments(v.data, v.end, p);
        if (p >= v.end) return false;
        if (v.data[p] == ']') break;
        const int32_t at = p;
        const double x = parse_double_at(v.data, v.end, &p);
        if (p == at || n == count) return false;
        out[n++] = x;
    }
    return n == count;
}

bool read_matrix(PdfValue v, Matrix *m) {
    Matrix out{};
    if (!read_numbers(v, out.data(), 6)) return false;
    *m = out;
    return true;
}

// The value of /key as it stands in the dictionary, references not followed.
PdfValue dict_raw(PdfValue dict, std::string_view key) {
    PdfValue found;
    each_key(dict, [&](std::string_view k, int32_t vpos) {
        if (k != key) return true;
        found = PdfValue{dict.data, vpos, dict.end};
        return false;
    });
    return found;
}

// The object number a reference value names, or -1.
int32_t ref_of(PdfValue v) { return v.ok() ? parse_ref_at(v.data, v.end, v.pos) : -1; }

// The name's bytes after its '/', or an empty view.
std::string_view name_of(PdfValue v) {
    if (!v.ok() || v.data[v.pos] != '/') return {};
    int32_t p = v.pos + 1;
    while (p < v.end && is_name_byte(v.data[p])) ++p;
    return {reinterpret_cast<const char *>(v.data + v.pos + 1), static_cast<size_t>(p - v.pos - 1)};
}

// Annotations looked at per page: entries of /Annots beyond this many are
// not read, so a page listing millions of them costs a bounded walk.
constexpr int kMaxAnnotations = 4096;
// Annotation flags that keep an annotation off the screen: Hidden, NoView.
constexpr int32_t kHiddenFlags = 2 | 32;

// The normal appearance of one annotation dictionary, placed on the page.
bool read_appearance(const PdfDocument &doc, PdfValue annot, Appearance *out) {
    if (!annot.is_dict()) return false;
    // Most annotations (links) have no appearance: that is looked up first.
    const PdfValue ap = dict_get(doc, annot, "AP");
    if (!ap.is_dict()) return false;
    if (name_of(dict_get(doc, annot, "Subtype")) == "Popup") return false;
    const PdfValue flags = dict_get(doc, annot, "F");
    if (flags.ok() && is_digit(flags.data[flags.pos])) {
        int32_t p = flags.pos;
        if (parse_int_at(flags.data, flags.end, &p) & kHiddenFlags) return false;
    }
    // /N is a stream, or a dictionary of streams by appearance state that
    // /AS picks from (without /AS nothing is drawn).
    int32_t num = ref_of(dict_raw(ap, "N"));
    const ObjectEntry *e = num > 0 ? doc.find_object(num) : nullptr;
    if (!e || !e->has_stream) {
        const PdfValue states = dict_get(doc, ap, "N");
        const std::string_view state = name_of(dict_get(doc, annot, "AS"));
        if (!states.is_dict() || state.empty()) return false;
        num = ref_of(dict_raw(states, state));
        e = num > 0 ? doc.find_object(num) : nullptr;
        if (!e || !e->has_stream) return false;
    }
    double rect[4], bbox[4];
    Matrix m = kIdentity;
    const PdfValue form = object_value(doc, num);
    if (!read_numbers(dict_get(doc, annot, "Rect"), rect, 4) || !read_numbers(dict_get(doc, form, "BBox"), bbox, 4))
        return false;
    read_matrix(dict_get(doc, form, "Matrix"), &m);
    // The box's corners through /Matrix, and the rectangle around them.
    double fx0 = HUGE_VAL, fy0 = HUGE_VAL, fx1 = -HUGE_VAL, fy1 = -HUGE_VAL;
    for (int i = 0; i < 4; ++i) {
        const double x = bbox[i & 1 ? 2 : 0], y = bbox[i & 2 ? 3 : 1];
        const double tx = m[0] * x + m[2] * y + m[4], ty = m[1] * x + m[3] * y + m[5];
        fx0 = std::min(fx0, tx), fy0 = std::min(fy0, ty), fx1 = std::max(fx1, tx), fy1 = std::max(fy1, ty);
    }
    const double rx0 = std::min(rect[0], rect[2]), ry0 = std::min(rect[1], rect[3]);
    const double rw = std::fabs(rect[2] - rect[0]), rh = std::fabs(rect[3] - rect[1]);
    // A rectangle or box without area shows nothing.
    if (!(rw > 0) || !(rh > 0) || !(fx1 - fx0 > 0) || !(fy1 - fy0 > 0)) return false;
    const double sx = rw / (fx1 - fx0), sy = rh / (fy1 - fy0);
    const Matrix at = {sx, 0, 0, sy, rx0 - fx0 * sx, ry0 - fy0 * sy};
    for (const double v : at)
        if (!std::isfinite(v)) return false;
    out->obj = num;
    out->placement = at;
    return true;
}

}  // namespace

PdfValue object_value(const PdfDocument &doc, int32_t num) {
    const ObjectEntry *e = doc.find_object(num);
    if (!e) return {};
    const TextRange t = doc.full_range(*e);
    if (!t.valid() || t.begin < 0 || t.begin >= t.end) return {};
    PdfValue v{t.data, skip_ws_comments(t.data, t.end, t.begin), t.end};
    return v.ok() ? v : PdfValue{};
}

PdfValue dict_get(const PdfDocument &doc, PdfValue dict, const char *key) {
    PdfValue found;
    each_key(dict, [&](std::string_view k, int32_t vpos) {
        if (k != key) return true;
        found = PdfValue{dict.data, vpos, dict.end};
        return false;
    });
    return found.ok() ? resolve(doc, found) : PdfValue{};
}

PdfValue page_resources(const PdfDocument &doc, const PageEntry &page) {
    if (page.resources_obj <= 0) return {};
    const PdfValue res = dict_get(doc, object_value(doc, page.resources_obj), "Resources");
    return res.is_dict() ? res : PdfValue{};
}

void XObjectNames::load(const PdfDocument &doc) {
    if (loaded_) return;
    loaded_ = true;
    const PdfValue dict = dict_get(doc, resources_, "XObject");
    if (!dict.is_dict()) return;
    present_ = true;
    each_key(dict, [&](std::string_view k, int32_t vpos) {
        const int32_t num = parse_ref_at(dict.data, dict.end, vpos);
        if (num > 0 && !k.empty() && k.size() <= static_cast<size_t>(kMaxResourceName))
            names_.emplace(std::string(k), num);  // the first entry of a name counts
        return true;
    });
}

int32_t XObjectNames::find(const PdfDocument &doc, const char *name) {
    load(doc);
    const auto it = names_.find(name);
    return it == names_.end() ? 0 : it->second;
}

std::vector<Appearance> page_appearances(const PdfDocument &doc, const PageEntry &page) {
    std::vector<Appearance> out;
    if (page.obj_num <= 0) return out;
    const PdfValue annots = dict_get(doc, object_value(doc, page.obj_num), "Annots");
    if (!annots.ok() || annots.data[annots.pos] != '[') return out;
    int32_t p = annots.pos + 1;
    for (int seen = 0; seen < kMaxAnnotations; ++seen) {
        p = skip_ws_comments(annots.data, annots.end, p);
        if (p >= annots.end || annots.data[p] == ']') break;
        const int32_t next = skip_value(annots.data, annots.end, p, true);
        Appearance a;
        if (read_appearance(doc, resolve(doc, PdfValue{annots.data, p, annots.end}), &a)) out.push_back(a);
        p = next;
    }
    return out;
}

std::unique_ptr<FormXObject> read_form(const PdfDocument &doc, int32_t obj, bool appearance) {
    const PdfValue dict = object_value(doc, obj);
    if (!dict.is_dict()) return nullptr;
    // Appearance streams are forms whether or not they say so.
    const PdfValue subtype = dict_get(doc, dict, "Subtype");
    if (!name_is(subtype, "Form") && !(appearance && !subtype.ok())) return nullptr;
    const ObjectEntry *e = doc.find_object(obj);
    if (!e || !e->has_stream) return nullptr;
    auto form = std::make_unique<FormXObject>();
    form->obj = obj;
    Matrix m;
    if (read_matrix(dict_get(doc, dict, "Matrix"), &m)) form->matrix = m;
    form->has_bbox = read_numbers(dict_get(doc, dict, "BBox"), form->bbox, 4);
    const PdfValue res = dict_get(doc, dict, "Resources");
    if (res.is_dict()) {
        form->has_resources = true;
        form->resources = res;
        form->names = XObjectNames(res);
        form->has_xobjects = form->names.present(doc);
        // The font slots are read from the resources dictionary alone.
        const int32_t res_end = dict_end(res.data, res.end, res.pos);
        const TextRange text{res.data, res.pos, res_end > res.pos ? res_end : res.end};
        if (dict_get(doc, res, "Font").is_dict()) {
            form->has_fonts = true;
            FontSlot slots[kMaxFontSlots];
            const int n = resolve_resource_fonts(doc, text, res.pos, slots);
            form->fonts.assign(slots, slots + n);
        }
    }
    return form;
}

bool decode_form_content(const PdfDocument &doc, FormXObject *form) {
    const ObjectEntry *e = doc.find_object(form->obj);
    if (!e) return false;
    buf_free(&form->content);
    form->decoded = decode_stream(doc.data, doc.len, *e, &form->content) == 1;
    return form->decoded;
}

}  // namespace morvex
