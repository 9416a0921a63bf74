// XObject names and form XObjects.
//
// Dictionaries are read key by key at their top level: nested dictionaries,
// arrays and strings are stepped over whole, so a key inside a nested value
// (or inside a form's stream data behind its dictionary) is never taken for
// one of the dictionary's own keys.
#include "xobjects.h"

#include <cstring>
#include <string_view>

#include "codec/filters.h"
#include "fonts.h"

namespace morvex {

namespace {

// References followed in a row before giving up (a chain of references to
// references, or a reference to itself).
constexpr int kMaxRefChain = 8;
// The text of object `num`, at its first byte.
PdfValue object_value(const PdfDocument &doc, int32_t num) {
    const ObjectEntry *e = doc.find_object(num);
    if (!e) return {};
    const TextRange t = doc.full_range(*e);
    if (!t.valid() || t.begin < 0 || t.begin >= t.end) return {};
    PdfValue v{t.data, skip_ws_comments(t.data, t.end, t.begin), t.end};
    return v.ok() ? v : PdfValue{};
}

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

// Six numbers of an array; false unless exactly six are read.
bool read_matrix(PdfValue v, Matrix *m) {
    if (!v.ok() || v.data[v.pos] != '[') return false;
    Matrix out{};
    int32_t p = v.pos + 1;
    int n = 0;
    for (;;) {
        p = skip_ws_comments(v.data, v.end, p);
        if (p >= v.end) return false;
        if (v.data[p] == ']') break;
        const int32_t at = p;
        const double x = parse_double_at(v.data, v.end, &p);
        if (p == at || n == 6) return false;
        out[static_cast<size_t>(n++)] = x;
    }
    if (n != 6) return false;
    *m = out;
    return true;
}

}  // namespace

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

std::unique_ptr<FormXObject> read_form(const PdfDocument &doc, int32_t obj) {
    const PdfValue dict = object_value(doc, obj);
    if (!dict.is_dict() || !name_is(dict_get(doc, dict, "Subtype"), "Form")) return nullptr;
    const ObjectEntry *e = doc.find_object(obj);
    if (!e || !e->has_stream) return nullptr;
    auto form = std::make_unique<FormXObject>();
    form->obj = obj;
    Matrix m;
    if (read_matrix(dict_get(doc, dict, "Matrix"), &m)) form->matrix = m;
    const PdfValue res = dict_get(doc, dict, "Resources");
    if (res.is_dict()) {
        form->has_resources = true;
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
