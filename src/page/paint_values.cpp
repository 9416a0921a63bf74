// Resources by value.
//
// A value is hashed token by token: a dictionary as its keys sorted with
// their values' hashes, an array in order, a number rounded to 1e-4, a
// reference as the object it names (cached per page).  Keys that point
// back up the document (/Parent, /P) are not followed: they would reach
// the page tree.
#include "paint_values.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "codec/filters.h"

namespace morvex {

namespace {

constexpr uint64_t kBasis = 0xcbf29ce484222325ull;
// Nesting followed into a value (dictionaries, arrays, references).
constexpr int kMaxDepth = 12;
// Entries of one dictionary or array hashed; the rest are counted only.
constexpr int kMaxEntries = 4096;

uint64_t mix(uint64_t h, uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        h ^= (v >> (8 * i)) & 0xff;
        h *= 0x100000001b3ull;
    }
    return h;
}

uint64_t mix_bytes(uint64_t h, const u8 *p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 0x100000001b3ull;
    }
    return mix(h, n);
}

bool is_number_start(u8 c) { return is_digit(c) || c == '-' || c == '+' || c == '.'; }

std::string_view name_view(const u8 *d, int32_t end, int32_t p) {
    const int32_t s = p + 1;
    int32_t q = s;
    while (q < end && is_name_byte(d[q])) ++q;
    return {reinterpret_cast<const char *>(d + s), static_cast<size_t>(q - s)};
}

// Stream entries that say how the data is stored, not what it is.
bool storage_key(std::string_view k) {
    return k == "Length" || k == "Filter" || k == "DecodeParms" || k == "DL" || k == "Parent" || k == "P";
}

// A number operand of a dictionary entry, or `fallback`.
double number_at(PdfValue v, double fallback) {
    if (!v.ok() || !is_number_start(v.data[v.pos])) return fallback;
    int32_t p = v.pos;
    const double x = parse_double_at(v.data, v.end, &p);
    return p == v.pos || !std::isfinite(x) ? fallback : x;
}

bool keyword_is(PdfValue v, const char *word) { return v.ok() && kw_at(v.data, v.pos, v.end, word); }

std::string_view name_of(PdfValue v) {
    if (!v.ok() || v.data[v.pos] != '/') return {};
    return name_view(v.data, v.end, v.pos);
}

}  // namespace

PdfValue ValueHasher::resource(PdfValue resources, const char *kind, const std::string &name) const {
    if (!resources.is_dict() || name.empty()) return {};
    const PdfValue category = dict_get(doc_, resources, kind);
    if (!category.is_dict()) return {};
    const int32_t at = dict_key_value(category.data, category.end, category.pos, name);
    return at < 0 ? PdfValue{} : PdfValue{category.data, at, category.end};
}

PdfValue ValueHasher::resolved(PdfValue v) const {
    for (int i = 0; i < 8 && v.ok() && is_digit(v.data[v.pos]); ++i) {
        const int32_t num = parse_ref_at(v.data, v.end, v.pos);
        if (num <= 0) break;
        v = object_value(doc_, num);
    }
    return v;
}

uint64_t ValueHasher::object(int32_t num, int depth) {
    const auto it = objects_.find(num);
    if (it != objects_.end()) return it->second;
    // Beyond the caps (or a cycle) the object is known by its number.
    if (depth > kMaxDepth || objects_left_ <= 0) return mix(mix(kBasis, 'R'), static_cast<uint64_t>(num));
    --objects_left_;
    // While it is being hashed, a reference back to it (a cycle) stands for
    // itself by a mark that no object number enters.
    objects_.emplace(num, mix(kBasis, 'Y'));
    const PdfValue v = object_value(doc_, num);
    uint64_t h = v.ok() ? hash_at(v.data, v.end, v.pos, depth + 1) : mix(kBasis, 'N');
    const ObjectEntry *e = doc_.find_object(num);
    if (e && e->has_stream) {
        ByteBuf data;
        if (bytes_left_ > 0 && decode_stream(doc_.data, doc_.len, *e, &data) == 1) {
            bytes_left_ -= static_cast<int64_t>(std::min<uint64_t>(data.len, uint64_t{1} << 40));
            h = mix_bytes(mix(h, 'S'), data.data, data.len);
        } else {
            h = mix(mix(h, 'U'), static_cast<uint64_t>(num));
        }
        buf_free(&data);
    }
    objects_[num] = h;
    return h;
}

uint64_t ValueHasher::hash_at(const u8 *d, int32_t end, int32_t p, int depth) {
    p = skip_ws_comments(d, end, p);
    if (!d || p < 0 || p >= end) return mix(kBasis, '?');
    const u8 c = d[p];
    if (c == '/') {
        const std::string_view n = name_view(d, end, p);
        return mix_bytes(mix(kBasis, '/'), reinterpret_cast<const u8 *>(n.data()), n.size());
    }
    if (depth > kMaxDepth) return mix(kBasis, 'D');
    if (c == '<' && p + 1 < end && d[p + 1] == '<') {
        std::vector<std::pair<std::string_view, uint64_t>> entries;
        int32_t q = p + 2;
        for (int k = 0; k < kMaxEntries; ++k) {
            q = skip_ws_comments(d, end, q);
            if (q >= end || (d[q] == '>' && q + 1 < end && d[q + 1] == '>')) break;
            if (d[q] != '/') {
                const int32_t next = skip_value(d, end, q);
                if (next <= q) break;
                q = next;
                continue;
            }
            const std::string_view key = name_view(d, end, q);
            const int32_t vpos = skip_ws_comments(d, end, q + 1 + static_cast<int32_t>(key.size()));
            if (key == "Resources") entries.emplace_back(key, names_at(d, end, vpos));
            else if (!storage_key(key) && key != "Type") entries.emplace_back(key, hash_at(d, end, vpos, depth + 1));
            const int32_t next = skip_value(d, end, vpos, true);
            if (next <= vpos) break;
            q = next;
        }
        std::sort(entries.begin(), entries.end());
        uint64_t h = mix(kBasis, 'd');
        for (const auto &[k, v] : entries)
            h = mix(mix_bytes(h, reinterpret_cast<const u8 *>(k.data()), k.size()), v);
        return h;
    }
    if (c == '[') {
        uint64_t h = mix(kBasis, 'a');
        int32_t q = p + 1;
        for (int k = 0; k < kMaxEntries; ++k) {
            q = skip_ws_comments(d, end, q);
            if (q >= end || d[q] == ']') break;
            h = mix(h, hash_at(d, end, q, depth + 1));
            const int32_t next = skip_value(d, end, q, true);
            if (next <= q) break;
            q = next;
        }
        return h;
    }
    if (is_number_start(c)) {
        const int32_t ref = is_digit(c) ? parse_ref_at(d, end, p) : -1;
        if (ref > 0) return object(ref, depth);
        int32_t q = p;
        const double v = parse_double_at(d, end, &q);
        if (!std::isfinite(v)) return mix(kBasis, 'x');
        return mix(mix(kBasis, '#'), static_cast<uint64_t>(std::llround(std::clamp(v * 1e4, -1e15, 1e15))));
    }
    // Strings and keywords by their bytes as written.
    const int32_t next = skip_value(d, end, p);
    const int32_t stop = next > p ? std::min(next, end) : std::min(p + 1, end);
    return mix_bytes(mix(kBasis, 'b'), d + p, static_cast<size_t>(stop - p));
}

uint64_t ValueHasher::names_at(const u8 *d, int32_t end, int32_t p) {
    // The resources of a pattern, form or soft mask group count by the names
    // they give: following them would reach every font and image, and
    // through shared dictionaries much of the document.
    const PdfValue res = resolved(PdfValue{d, skip_ws_comments(d, end, p), end});
    uint64_t h = mix(kBasis, 'r');
    if (!res.is_dict()) return h;
    for (const char *kind : {"ExtGState", "ColorSpace", "Pattern", "Shading", "XObject", "Font"}) {
        const PdfValue cat = dict_get(doc_, res, kind);
        if (!cat.is_dict()) continue;
        h = mix_bytes(h, reinterpret_cast<const u8 *>(kind), std::strlen(kind));
        int32_t q = cat.pos + 2;
        for (int k = 0; k < kMaxEntries; ++k) {
            q = skip_ws_comments(cat.data, cat.end, q);
            if (q >= cat.end || cat.data[q] != '/') break;
            const std::string_view key = name_view(cat.data, cat.end, q);
            h = mix_bytes(h, reinterpret_cast<const u8 *>(key.data()), key.size());
            const int32_t vpos = skip_ws_comments(cat.data, cat.end, q + 1 + static_cast<int32_t>(key.size()));
            const int32_t next = skip_value(cat.data, cat.end, vpos, true);
            if (next <= vpos) break;
            q = next;
        }
    }
    return h;
}

uint64_t ValueHasher::look_of(PdfValue resources, int depth) {
    uint64_t h = mix(kBasis, 'L');
    if (!resources.is_dict()) return h;
    for (const char *kind : {"ExtGState", "Shading", "Pattern", "ColorSpace"}) {
        const int32_t at = dict_key_value(resources.data, resources.end, resources.pos, kind);
        if (at >= 0) h = mix(mix_bytes(h, reinterpret_cast<const u8 *>(kind), std::strlen(kind)),
                             hash_at(resources.data, resources.end, at, 0));
    }
    const PdfValue xobjects = dict_get(doc_, resources, "XObject");
    if (!xobjects.is_dict() || depth > kMaxDepth) return h;
    // The forms' own resources, by name (in any order); images have none
    // that matter here.
    std::vector<std::pair<std::string_view, uint64_t>> forms;
    int32_t q = xobjects.pos + 2;
    for (int k = 0; k < kMaxEntries; ++k) {
        q = skip_ws_comments(xobjects.data, xobjects.end, q);
        if (q >= xobjects.end || xobjects.data[q] != '/') break;
        const std::string_view key = name_view(xobjects.data, xobjects.end, q);
        const int32_t vpos = skip_ws_comments(xobjects.data, xobjects.end, q + 1 + static_cast<int32_t>(key.size()));
        const int32_t num = parse_ref_at(xobjects.data, xobjects.end, vpos);
        const int32_t next = skip_value(xobjects.data, xobjects.end, vpos, true);
        if (num > 0) {
            auto it = forms_.find(num);
            if (it == forms_.end()) {
                if (forms_left_-- <= 0) break;  // beyond the cap: unknown
                it = forms_.emplace(num, mix(kBasis, 'f')).first;  // while it is being hashed
                const PdfValue dict = object_value(doc_, num);
                uint64_t f = mix(kBasis, 'f');
                if (name_of(dict_get(doc_, dict, "Subtype")) == "Form")
                    f = look_of(dict_get(doc_, dict, "Resources"), depth + 1);
                forms_[num] = f;
                it = forms_.find(num);
            }
            forms.emplace_back(key, it->second);
        }
        if (next <= vpos) break;
        q = next;
    }
    std::sort(forms.begin(), forms.end());
    for (const auto &[k, v] : forms) h = mix(mix_bytes(h, reinterpret_cast<const u8 *>(k.data()), k.size()), v);
    return forms_left_ < 0 ? mix(h, 'F') : h;
}

GStateLook gstate_look(const PdfDocument &doc, PdfValue dict, ValueHasher *hasher) {
    GStateLook look;
    look.hash = hasher->value(dict);
    const auto below_one = [&](const char *key) { return number_at(dict_get(doc, dict, key), 1) < 1; };
    if (below_one("CA") || below_one("ca")) look.see_through = true;
    const PdfValue bm = dict_get(doc, dict, "BM");
    if (bm.ok()) {
        const std::string_view n = name_of(bm);
        if (n != "Normal" && n != "Compatible") look.see_through = true;
    }
    const PdfValue smask = dict_get(doc, dict, "SMask");
    if (smask.ok() && name_of(smask) != "None") look.see_through = true;
    for (const char *key : {"OP", "op", "AIS"})
        if (keyword_is(dict_get(doc, dict, key), "true")) look.see_through = true;
    for (const char *key : {"TR", "TR2"}) {
        const PdfValue tr = dict_get(doc, dict, key);
        if (tr.ok() && name_of(tr) != "Identity" && name_of(tr) != "Default") look.see_through = true;
    }
    return look;
}

bool is_pattern_space(PdfValue space) {
    if (!space.ok()) return false;
    if (space.data[space.pos] == '/') return name_of(space) == "Pattern";
    if (space.data[space.pos] != '[') return false;
    const int32_t p = skip_ws_comments(space.data, space.end, space.pos + 1);
    return p < space.end && space.data[p] == '/' && name_view(space.data, space.end, p) == "Pattern";
}

}  // namespace morvex
