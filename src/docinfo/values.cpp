#include "values.h"

#include <cstdio>

#include "../codec/crypto/sha2.h"
#include "../codec/strings.h"
#include "../document/security.h"

namespace morvex::docinfo {

namespace {

// References followed in a row before giving up (a chain of references to
// references, or a reference to itself).
constexpr int kMaxRefChain = 8;

}  // namespace

void append_utf8(std::string *out, uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        *out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out += static_cast<char>(0xC0 | (cp >> 6));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out += static_cast<char>(0xE0 | (cp >> 12));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (cp >> 18));
        *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

namespace {

// PDFDocEncoding where it leaves Latin-1: 0x18-0x1F and 0x80-0xA0 (0 for
// the codes it leaves undefined).
constexpr uint16_t kDocLow[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr uint16_t kDocHigh[33] = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0,      0x20AC};

void decode_utf16(std::string_view s, bool big_endian, std::string *out) {
    bool in_escape = false;  // between two U+001B: a language code, not text
    for (size_t i = 2; i + 1 < s.size(); i += 2) {
        const auto b0 = static_cast<unsigned char>(s[i]), b1 = static_cast<unsigned char>(s[i + 1]);
        uint32_t u = big_endian ? (b0 << 8 | b1) : (b1 << 8 | b0);
        if (u == 0x1B) {
            in_escape = !in_escape;
            continue;
        }
        if (in_escape) continue;
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < s.size()) {
            const auto c0 = static_cast<unsigned char>(s[i + 2]), c1 = static_cast<unsigned char>(s[i + 3]);
            const uint32_t lo = big_endian ? (c0 << 8 | c1) : (c1 << 8 | c0);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            }
        }
        append_utf8(out, u);
    }
    if (s.size() % 2 == 1) append_utf8(out, 0xFFFD);  // an odd last byte
}

}  // namespace

void copy_utf8(std::string_view s, std::string *out) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool good = n > 0 && i + static_cast<size_t>(n) <= s.size();
        for (int k = 1; good && k < n; ++k) good = (static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) >> 6) == 2;
        if (good) {
            out->append(s.substr(i, static_cast<size_t>(n)));
            i += static_cast<size_t>(n);
        } else {
            append_utf8(out, 0xFFFD);
            ++i;
        }
    }
}

std::string decode_text_string(std::string_view s) {
    std::string out;
    if (s.size() >= 2 && static_cast<unsigned char>(s[0]) == 0xFE && static_cast<unsigned char>(s[1]) == 0xFF) {
        decode_utf16(s, true, &out);
    } else if (s.size() >= 2 && static_cast<unsigned char>(s[0]) == 0xFF && static_cast<unsigned char>(s[1]) == 0xFE) {
        decode_utf16(s, false, &out);
    } else if (s.size() >= 3 && s.substr(0, 3) == "\xEF\xBB\xBF") {
        copy_utf8(s.substr(3), &out);
    } else {
        for (const char ch : s) {
            const auto c = static_cast<unsigned char>(ch);
            uint32_t u = c;
            if (c >= 0x18 && c <= 0x1F) u = kDocLow[c - 0x18];
            else if (c >= 0x80 && c <= 0xA0) u = kDocHigh[c - 0x80] ? kDocHigh[c - 0x80] : 0xFFFD;
            else if (c == 0x7F || c == 0xAD) u = 0xFFFD;
            append_utf8(&out, u);
        }
    }
    return out;
}

std::string sha256_hex(std::string_view bytes) {
    crypto::Sha256 h;
    h.update(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    uint8_t d[32];
    h.final(d);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (const uint8_t b : d) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

std::string shown_text(std::string text) {
    if (text.size() <= kMaxShownText) return text;
    const std::string digest = sha256_hex(text).substr(0, 16);
    const size_t total = text.size();
    size_t cut = kMaxShownText;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) >> 6) == 2) --cut;  // not inside a character
    text.resize(cut);
    return text + " [... " + std::to_string(total) + " bytes, digest " + digest + "]";
}

Reader::Reader(const PdfDocument &doc) : doc_(doc) {
    page_index_.reserve(doc.pages.size());
    for (size_t k = 0; k < doc.pages.size(); ++k) page_index_.emplace(doc.pages[k].obj_num, static_cast<int>(k));
}

int Reader::page_of_object(int32_t num) const {
    const auto it = page_index_.find(num);
    return it == page_index_.end() ? -1 : it->second;
}

Val Reader::object(int32_t num) const {
    const ObjectEntry *e = doc_.find_object(num);
    if (!e) return {};
    const TextRange t = doc_.full_range(*e);
    if (!t.valid() || t.begin < 0 || t.begin >= t.end) return {};
    Val v{t.data, skip_ws_comments(t.data, t.end, t.begin), t.end, e->num, e->gen, e->in_objstm != 0};
    if (!v.ok()) return {};
    // Keys of a stream's dictionary are searched up to the stream data.
    if (e->has_stream && !e->in_objstm && e->stream_kw_pos > v.pos && e->stream_kw_pos < v.end) v.end = e->stream_kw_pos;
    return v;
}

Val Reader::resolve(Val v) const {
    for (int i = 0; i < kMaxRefChain && v.ok() && is_digit(v.data[v.pos]); ++i) {
        const int32_t num = parse_ref_at(v.data, v.end, v.pos);
        if (num <= 0) return v;  // a plain number
        v = object(num);
    }
    return v;
}

Val Reader::raw(Val dict, std::string_view key) const {
    Val found;
    // A key given twice takes its last value, as viewers read it.
    each_key(dict, [&](std::string_view k, Val v) {
        if (k == key) found = v;
        return true;
    });
    return found;
}

int32_t Reader::ref(Val v) { return v.ok() ? parse_ref_at(v.data, v.end, v.pos) : -1; }

bool Reader::number(Val v, double *out) const {
    v = resolve(v);
    if (!v.ok()) return false;
    const u8 c = v.data[v.pos];
    if (!is_digit(c) && c != '-' && c != '+' && c != '.') return false;
    int32_t p = v.pos;
    const double x = parse_double_at(v.data, v.end, &p);
    if (p == v.pos) return false;
    *out = x;
    return true;
}

int64_t Reader::integer(Val v, int64_t fallback) const {
    double x = 0;
    if (!number(v, &x) || !(x > -2e9 && x < 2e9)) return fallback;
    return static_cast<int64_t>(x);
}

std::string Reader::name(Val v) {
    if (!v.is_name()) return {};
    std::string out;
    int32_t p = v.pos + 1;
    while (p < v.end && is_name_byte(v.data[p])) {
        const u8 c = v.data[p];
        if (c == '#' && p + 2 < v.end && is_hex_digit(v.data[p + 1]) && is_hex_digit(v.data[p + 2])) {
            out += static_cast<char>(hex_value(v.data[p + 1]) * 16 + hex_value(v.data[p + 2]));
            p += 3;
            continue;
        }
        out += static_cast<char>(c);
        ++p;
    }
    return out;
}

bool Reader::bytes(Val v, std::string *out) const {
    v = resolve(v);
    if (!v.is_string()) return false;
    ByteBuf buf;
    int32_t next = 0;
    if (v.data[v.pos] == '(') parse_literal_string2(v.data, v.end, v.pos, &buf, &next);
    else parse_hex_string(v.data, v.end, v.pos, &buf, &next);
    std::string s(buf.view());
    if (doc_.security && v.obj > 0 && !v.in_objstm && v.obj != doc_.encrypt_obj)
        s = doc_.security->decrypt_string(v.obj, v.gen, s);
    *out = std::move(s);
    return true;
}

std::string Reader::text(Val v) const {
    v = resolve(v);
    if (v.is_name()) return shown_text(name(v));
    std::string raw_bytes;
    if (!bytes(v, &raw_bytes)) return {};
    return shown_text(decode_text_string(raw_bytes));
}

}  // namespace morvex::docinfo
