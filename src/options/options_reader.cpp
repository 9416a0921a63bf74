// The options reader: one table of keys, each with the function that
// checks and stores its value.
#include "options_reader.h"

#include <cmath>
#include <cstring>

#include "json_value.h"
#include "text_pattern.h"

namespace morvex {

namespace {

using json::Value;
using Kind = Value::Kind;

constexpr int kMaxThreads = 256;
constexpr size_t kMaxListItems = 10000;  // ignore regions or texts

std::string q(std::string_view key) { return "\"" + std::string(key) + "\""; }

// Shows a user's string in a message: at most 60 bytes, control bytes as '?'.
std::string shown(std::string_view s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size() && i < 60; ++i) out += static_cast<unsigned char>(s[i]) < 0x20 ? '?' : s[i];
    if (s.size() > 60) out += "...";
    return out + "\"";
}

bool fail(std::string *error, const std::string &message) {
    *error = "options: " + message;
    return false;
}

bool one_of(const Value &v, const std::string &key, std::initializer_list<const char *> words, int *index,
            std::string *error) {
    int k = 0;
    if (v.kind == Kind::String)
        for (const char *w : words) {
            if (v.string == w) {
                *index = k;
                return true;
            }
            ++k;
        }
    std::string list;
    k = 0;
    for (const char *w : words) {
        list += k == 0 ? "" : (k + 1 == static_cast<int>(words.size()) ? " or " : ", ");
        list += q(w);
        ++k;
    }
    return fail(error, key + " must be " + list);
}

bool page_list(const Value &v, const std::string &key, PageRanges *out, std::string *error) {
    if (v.kind != Kind::String || !parse_page_ranges(v.string, out))
        return fail(error, key + " must be page ranges such as \"1-3,7,10-\"" +
                               (v.kind == Kind::String ? ", not " + shown(v.string) : std::string()));
    return true;
}

bool password(const Value &v, std::string_view key, std::optional<std::string> *out, std::string *error) {
    if (v.kind != Kind::String) return fail(error, q(key) + " must be a string");
    if (v.string.find('\0') != std::string::npos) return fail(error, q(key) + " must not hold a 0 character");
    *out = v.string;
    return true;
}

bool region(const Value &v, const std::string &where, IgnoreRegion *r, std::string *error) {
    if (v.kind != Kind::Object) return fail(error, where + " must be an object with a \"rect\"");
    bool has_rect = false;
    for (const json::Member &m : v.members) {
        const std::string key = where + "." + m.name;
        if (m.name == "rect") {
            const Value &a = m.value;
            bool ok = a.kind == Kind::Array && a.items.size() == 4;
            for (size_t k = 0; ok && k < 4; ++k) ok = a.items[k].is_number() && std::fabs(a.items[k].number) <= 1e7;
            if (!ok) return fail(error, key + " must be [x0, y0, x1, y1], four numbers of points");
            // Corners may come in either order.
            r->x0 = std::fmin(a.items[0].number, a.items[2].number);
            r->x1 = std::fmax(a.items[0].number, a.items[2].number);
            r->y0 = std::fmin(a.items[1].number, a.items[3].number);
            r->y1 = std::fmax(a.items[1].number, a.items[3].number);
            has_rect = true;
        } else if (m.name == "pages") {
            if (!page_list(m.value, key, &r->pages, error)) return false;
        } else if (m.name == "side") {
            int k = 0;
            if (!one_of(m.value, key, {"a", "b", "both"}, &k, error)) return false;
            r->side = k == 0 ? kSideA : k == 1 ? kSideB : kSideBoth;
        } else {
            return fail(error, "unknown key " + q(m.name) + " in " + where);
        }
    }
    if (!has_rect) return fail(error, where + " has no \"rect\"");
    return true;
}

bool regions(const Value &v, CompareOptions *o, std::string *error) {
    if (v.kind != Kind::Array) return fail(error, "\"ignore_regions\" must be a list of regions");
    if (v.items.size() > kMaxListItems) return fail(error, "\"ignore_regions\" holds more than 10000 regions");
    for (size_t k = 0; k < v.items.size(); ++k) {
        IgnoreRegion r;
        if (!region(v.items[k], "\"ignore_regions\"[" + std::to_string(k) + "]", &r, error)) return false;
        o->ignore_regions.push_back(r);
    }
    return true;
}

bool texts(const Value &v, CompareOptions *o, std::string *error) {
    if (v.kind != Kind::Array) return fail(error, "\"ignore_text\" must be a list of regular expressions");
    if (v.items.size() > kMaxListItems) return fail(error, "\"ignore_text\" holds more than 10000 patterns");
    for (size_t k = 0; k < v.items.size(); ++k) {
        const std::string where = "\"ignore_text\"[" + std::to_string(k) + "]";
        if (v.items[k].kind != Kind::String) return fail(error, where + " must be a string");
        Regex re;
        std::string why;
        if (!re.compile(v.items[k].string, &why))
            return fail(error, where + ": pattern " + shown(v.items[k].string) + " does not compile: " + why);
        o->ignore_text.push_back(v.items[k].string);
    }
    return true;
}

// "document": the kinds of the document-level comparison, a list of names.
bool document_kinds(const Value &v, CompareOptions *o, std::string *error) {
    static const std::pair<const char *, unsigned> kKinds[] = {
        {"metadata", kDocMetadata}, {"metadata_dates", kDocMetadataDates}, {"outline", kDocOutline},
        {"links", kDocLinks},       {"annotations", kDocAnnotations},     {"fields", kDocFields},
        {"attachments", kDocAttachments}, {"page_labels", kDocPageLabels}};
    const char *const what = "\"document\" must be a list of \"metadata\", \"metadata_dates\", \"outline\", "
                             "\"links\", \"annotations\", \"fields\", \"attachments\", \"page_labels\"";
    if (v.kind != Kind::Array || v.items.size() > 64) return fail(error, what);
    unsigned kinds = 0;
    for (const Value &item : v.items) {
        unsigned bit = 0;
        if (item.kind == Kind::String)
            for (const auto &[name, b] : kKinds)
                if (item.string == name) bit = b;
        if (bit == 0)
            return fail(error, what + (item.kind == Kind::String ? ", not " + shown(item.string) : std::string()));
        kinds |= bit;
    }
    o->document_kinds = kinds;
    return true;
}

bool kinds(const Value &v, CompareOptions *o, std::string *error) {
    const char *const kMessage = "\"ignore_kinds\" must be a list of \"style\", \"drawing\" and \"image\"";
    if (v.kind != Kind::Array) return fail(error, kMessage);
    for (const Value &k : v.items) {
        if (k.kind == Kind::String && k.string == "style") o->ignore_style = true;
        else if (k.kind == Kind::String && k.string == "drawing") o->ignore_drawing = true;
        else if (k.kind == Kind::String && k.string == "image") o->ignore_image = true;
        else return fail(error, kMessage + (k.kind == Kind::String ? std::string(", not ") + shown(k.string) : ""));
    }
    return true;
}

bool member(const json::Member &m, CompareOptions *o, std::string *error) {
    const std::string &key = m.name;
    const Value &v = m.value;
    int k = 0;
    if (key == "report") {
        if (!one_of(v, q(key), {"compare", "text", "detail"}, &k, error)) return false;
        o->report = k == 0 ? ReportKind::Compare : k == 1 ? ReportKind::Text : ReportKind::Detail;
    } else if (key == "pairing") {
        if (!one_of(v, q(key), {"position", "content"}, &k, error)) return false;
        o->pairing = k == 0 ? Pairing::Position : Pairing::Content;
    } else if (key == "pages_a") {
        return page_list(v, q(key), &o->pages_a, error);
    } else if (key == "pages_b") {
        return page_list(v, q(key), &o->pages_b, error);
    } else if (key == "ignore_regions") {
        return regions(v, o, error);
    } else if (key == "ignore_text") {
        return texts(v, o, error);
    } else if (key == "ignore_kinds") {
        return kinds(v, o, error);
    } else if (key == "layout") {
        if (!one_of(v, q(key), {"overlay", "side_by_side"}, &k, error)) return false;
        o->layout = k == 0 ? Layout::Overlay : Layout::SideBySide;
    } else if (key == "changed_only") {
        if (v.kind != Kind::Bool) return fail(error, "\"changed_only\" must be true or false");
        o->changed_only = v.boolean;
    } else if (key == "threads") {
        if (v.kind != Kind::Integer || v.integer < 0 || v.integer > kMaxThreads)
            return fail(error, "\"threads\" must be an integer from 1 to 256, or 0 for the default");
        o->threads = static_cast<int>(v.integer);
    } else if (key == "document") {
        return document_kinds(v, o, error);
    } else if (key == "password") {
        return password(v, key, &o->password, error);
    } else if (key == "password_a") {
        return password(v, key, &o->password_a, error);
    } else if (key == "password_b") {
        return password(v, key, &o->password_b, error);
    } else {
        return fail(error, "unknown key " + shown(key));
    }
    return true;
}

}  // namespace

bool parse_page_ranges(std::string_view s, PageRanges *out) {
    PageRanges r;
    size_t i = 0;
    auto space = [&] {
        while (i < s.size() && s[i] == ' ') ++i;
    };
    auto number = [&](int *n) {
        space();
        const size_t from = i;
        long long v = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            v = v * 10 + (s[i] - '0');
            if (v > 1'000'000'000) return false;
            ++i;
        }
        *n = static_cast<int>(v);
        space();
        return i > from && v >= 1;
    };
    for (;;) {
        PageRange x;
        if (!number(&x.first)) return false;
        x.last = x.first;
        if (i < s.size() && s[i] == '-') {
            ++i;
            space();
            if (i == s.size() || s[i] == ',') x.last = 0;
            else if (!number(&x.last) || x.last < x.first) return false;
        }
        r.push_back(x);
        if (i == s.size()) break;
        if (s[i] != ',') return false;
        ++i;
    }
    *out = std::move(r);
    return true;
}

bool read_options(std::string_view text, CompareOptions *out, std::string *error) {
    *out = CompareOptions{};
    out->from_options_api = true;
    std::string why;
    json::ReadOptions ro;
    ro.fractions = true;
    const std::optional<Value> v = json::parse(text, &why, ro);
    if (!v) return fail(error, why);
    if (v->kind != Kind::Object) return fail(error, "the options must be a JSON object");
    for (size_t k = 0; k < v->members.size(); ++k) {
        for (size_t j = 0; j < k; ++j)
            if (v->members[j].name == v->members[k].name)
                return fail(error, "key " + shown(v->members[k].name) + " given twice");
        if (!member(v->members[k], out, error)) return false;
    }
    return true;
}

}  // namespace morvex
