// Glyph name lookup and the published algorithm for names outside the list.
#include <algorithm>
#include <cstring>

#include "glyph_list.h"

namespace morvex {

void append_utf8(std::string *s, uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        s->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        s->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        s->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        s->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        s->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        s->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        s->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        s->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        s->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        s->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

const uint16_t *encoding_by_name(std::string_view name) {
    if (name == "WinAnsiEncoding") return kWinAnsiEncoding;
    if (name == "MacRomanEncoding") return kMacRomanEncoding;
    if (name == "MacExpertEncoding") return kMacExpertEncoding;
    if (name == "StandardEncoding") return kStandardEncoding;
    if (name == "PDFDocEncoding") return kPdfDocEncoding;
    return nullptr;
}

namespace {

const GlyphNameEntry *find_in(const GlyphNameEntry *begin, int count, std::string_view name) {
    const GlyphNameEntry *end = begin + count;
    const GlyphNameEntry *it = std::lower_bound(
        begin, end, name, [](const GlyphNameEntry &e, std::string_view n) { return std::string_view(e.name) < n; });
    return it != end && std::string_view(it->name) == name ? it : nullptr;
}

const GlyphNameEntry *find_listed(std::string_view name, bool dingbats) {
    if (const GlyphNameEntry *e = find_in(kGlyphNames, kGlyphNameCount, name)) return e;
    return dingbats ? find_in(kDingbatNames, kDingbatNameCount, name) : nullptr;
}

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_dec(char c) { return c >= '0' && c <= '9'; }
int hex_value(char c) {
    if (is_dec(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool hex_run(std::string_view s, uint32_t *v) {
    uint32_t r = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;  // the algorithm admits upper-case digits only
        r = r << 4 | static_cast<uint32_t>(d);
    }
    *v = r;
    return true;
}

bool valid_scalar(uint32_t v) { return v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF); }

// One component (no '_' and no '.').
bool component_to_utf8(std::string_view c, std::string *out, bool dingbats) {
    if (c.empty()) return false;
    if (const GlyphNameEntry *e = find_listed(c, dingbats)) {
        for (int i = 0; i < e->count; ++i) append_utf8(out, e->cps[i]);
        return true;
    }
    if (c.size() >= 7 && c.substr(0, 3) == "uni" && (c.size() - 3) % 4 == 0) {
        std::string tmp;
        for (size_t i = 3; i < c.size(); i += 4) {
            uint32_t v;
            if (!hex_run(c.substr(i, 4), &v) || !valid_scalar(v)) return false;
            append_utf8(&tmp, v);
        }
        *out += tmp;
        return true;
    }
    if (c.size() >= 5 && c.size() <= 7 && c[0] == 'u') {
        uint32_t v;
        if (hex_run(c.substr(1), &v) && valid_scalar(v)) {
            append_utf8(out, v);
            return true;
        }
    }
    return false;
}

}  // namespace

bool glyph_name_to_utf8(std::string_view name, std::string *out, bool dingbats) {
    // A listed name with a suffix, such as "dieresis.alt", is tried whole first.
    if (const GlyphNameEntry *e = find_listed(name, dingbats)) {
        for (int i = 0; i < e->count; ++i) append_utf8(out, e->cps[i]);
        return true;
    }
    const size_t dot = name.find('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    const size_t before = out->size();
    bool any = false;
    while (!name.empty()) {
        const size_t us = name.find('_');
        const std::string_view part = name.substr(0, us);
        if (component_to_utf8(part, out, dingbats)) any = true;
        if (us == std::string_view::npos) break;
        name = name.substr(us + 1);
    }
    if (!any) out->resize(before);
    return any;
}

bool is_dingbat_font(std::string_view base) {
    const size_t plus = base.find('+');
    if (plus == 6) base = base.substr(7);  // a subset prefix
    return base.find("Dingbats") != std::string_view::npos || base.substr(0, 8) == "D050000L";
}

bool numeric_glyph_name(std::string_view name, bool hex, uint32_t *value) {
    size_t letters = 0;
    while (letters < name.size() && letters < 3 && is_letter(name[letters])) ++letters;
    const std::string_view digits = name.substr(letters);
    uint32_t v = 0;
    if (hex) {
        if (letters > 1 || digits.size() != 2) return false;
        const int hi = hex_value(digits[0]), lo = hex_value(digits[1]);
        if (hi < 0 || lo < 0) return false;
        v = static_cast<uint32_t>(hi * 16 + lo);
    } else {
        if (letters > 2 || digits.size() < 2 || digits.size() > 4) return false;
        for (char c : digits) {
            if (!is_dec(c)) return false;
            v = v * 10 + static_cast<uint32_t>(c - '0');
        }
        if (v > 255) return false;  // a glyph index (g3867), not a code
    }
    *value = v;
    return true;
}

bool hex_only_glyph_name(std::string_view name) {
    // "a9" is a letter and one digit as often as it is hex: a bare pair
    // counts only when it starts with a digit.
    if (name.size() == 3 && is_letter(name[0])) name = name.substr(1);
    else if (name.size() != 2 || !is_dec(name[0])) return false;
    if (name.size() != 2 || hex_value(name[0]) < 0 || hex_value(name[1]) < 0) return false;
    return !is_dec(name[0]) || !is_dec(name[1]);
}

}  // namespace morvex
