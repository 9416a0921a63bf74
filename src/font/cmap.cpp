#include "cmap.h"

#include <algorithm>

#include "../scan.h"
#include "glyph_list.h"

namespace morvex {

namespace {

// Caps that keep a hostile CMap cheap: the text of one mapping and the
// number of entries a single bfrange array may hold are bounded, the
// number of mappings by the size of the stream.
constexpr size_t kMaxTextUnits = 64;
constexpr size_t kMaxArrayEntries = 1 << 16;
// How many overlapping ranges a lookup looks back over.
constexpr int kOverlapLookback = 8;

bool is_space_byte(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == 0; }
bool is_delim(uint8_t c) {
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' ||
           c == '/' || c == '%';
}

struct Token {
    enum Kind { none, hex, number, name, word, open, close } kind = none;
    std::string text;  // bytes of a hex string, name without '/', keyword
    int64_t num = 0;
};

class Lexer {
public:
    Lexer(const uint8_t *d, size_t n) : d_(d), n_(n) {}

    bool next(Token *t) {
        t->text.clear();
        for (;;) {
            while (p_ < n_ && is_space_byte(d_[p_])) ++p_;
            if (p_ >= n_) return false;
            if (d_[p_] == '%') {
                while (p_ < n_ && d_[p_] != '\n' && d_[p_] != '\r') ++p_;
                continue;
            }
            break;
        }
        const uint8_t c = d_[p_];
        if (c == '<') {
            if (p_ + 1 < n_ && d_[p_ + 1] == '<') {
                p_ += 2;
                t->kind = Token::word;
                t->text = "<<";
                return true;
            }
            ++p_;
            int half = -1;
            while (p_ < n_ && d_[p_] != '>') {
                const uint8_t h = d_[p_++];
                int v;
                if (h >= '0' && h <= '9') v = h - '0';
                else if (h >= 'a' && h <= 'f') v = h - 'a' + 10;
                else if (h >= 'A' && h <= 'F') v = h - 'A' + 10;
                else if (is_space_byte(h)) continue;
                else {
                    --p_;  // a broken string ends at the first byte that cannot be in it
                    break;
                }
                if (half < 0) {
                    half = v;
                } else {
                    t->text.push_back(static_cast<char>(half << 4 | v));
                    half = -1;
                }
            }
            if (half >= 0) t->text.push_back(static_cast<char>(half << 4));
            if (p_ < n_ && d_[p_] == '>') ++p_;
            t->kind = Token::hex;
            return true;
        }
        if (c == '(') {
            // Literal strings: their bytes, with the simple escapes.
            ++p_;
            int depth = 1;
            while (p_ < n_) {
                uint8_t b = d_[p_++];
                if (b == '\\' && p_ < n_) {
                    b = d_[p_++];
                    if (b == 'n') b = '\n';
                    else if (b == 'r') b = '\r';
                    else if (b == 't') b = '\t';
                    else if (b >= '0' && b <= '7') {
                        int v = b - '0';
                        for (int k = 0; k < 2 && p_ < n_ && d_[p_] >= '0' && d_[p_] <= '7'; ++k) v = v * 8 + (d_[p_++] - '0');
                        b = static_cast<uint8_t>(v);
                    }
                } else if (b == '(') {
                    ++depth;
                } else if (b == ')' && --depth == 0) {
                    break;
                }
                t->text.push_back(static_cast<char>(b));
            }
            t->kind = Token::hex;  // a string of code bytes, like a hex string
            return true;
        }
        if (c == '[' || c == ']') {
            ++p_;
            t->kind = c == '[' ? Token::open : Token::close;
            return true;
        }
        if (c == '/') {
            ++p_;
            while (p_ < n_ && !is_space_byte(d_[p_]) && !is_delim(d_[p_])) {
                uint8_t b = d_[p_++];
                if (b == '#' && p_ + 1 < n_ && is_hex_digit(d_[p_]) && is_hex_digit(d_[p_ + 1])) {
                    b = static_cast<uint8_t>(hex_value(d_[p_]) << 4 | hex_value(d_[p_ + 1]));
                    p_ += 2;
                }
                t->text.push_back(static_cast<char>(b));
            }
            t->kind = Token::name;
            return true;
        }
        if (c == '>' || c == ')' || c == '{' || c == '}') {
            ++p_;
            t->kind = Token::word;
            t->text = static_cast<char>(c);
            return true;
        }
        const size_t start = p_;
        while (p_ < n_ && !is_space_byte(d_[p_]) && !is_delim(d_[p_])) ++p_;
        t->text.assign(reinterpret_cast<const char *>(d_ + start), p_ - start);
        bool digits = !t->text.empty();
        int64_t v = 0;
        for (char ch : t->text) {
            if (ch < '0' || ch > '9') {
                digits = false;
                break;
            }
            if (v < (int64_t{1} << 40)) v = v * 10 + (ch - '0');
        }
        t->kind = digits ? Token::number : Token::word;
        t->num = v;
        return true;
    }

private:
    const uint8_t *d_;
    size_t n_;
    size_t p_ = 0;
};

// A code's bytes as a key: (length << 32) | big-endian value; 0 when the
// code is empty or longer than 4 bytes.
uint64_t code_key(const std::string &b) {
    if (b.empty() || b.size() > 4) return 0;
    uint64_t v = 0;
    for (unsigned char c : b) v = v << 8 | c;
    return uint64_t{b.size()} << 32 | v;
}

// UTF-16BE bytes -> code points; unpaired surrogates become U+FFFD.
std::u32string utf16_to_u32(const std::string &b) {
    std::u32string out;
    for (size_t i = 0; i + 1 < b.size() && out.size() < kMaxTextUnits; i += 2) {
        uint32_t u = static_cast<uint8_t>(b[i]) << 8 | static_cast<uint8_t>(b[i + 1]);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < b.size()) {
            const uint32_t l = static_cast<uint8_t>(b[i + 2]) << 8 | static_cast<uint8_t>(b[i + 3]);
            if (l >= 0xDC00 && l <= 0xDFFF) {
                out.push_back(0x10000 + ((u - 0xD800) << 10) + (l - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
        out.push_back(u);
    }
    // A single byte (a producer's shortcut for a Latin-1 character).
    if (b.size() == 1) out.push_back(static_cast<uint8_t>(b[0]));
    return out;
}

}  // namespace

void CMap::add_space(const std::string &lo, const std::string &hi) {
    if (lo.empty() || lo.size() > 4 || lo.size() != hi.size()) return;
    Space s{};
    s.n = static_cast<uint8_t>(lo.size());
    for (size_t i = 0; i < lo.size(); ++i) {
        s.lo[i] = static_cast<uint8_t>(lo[i]);
        s.hi[i] = static_cast<uint8_t>(hi[i]);
    }
    space_.push_back(s);
}

void CMap::add_unicode(uint64_t lo, uint64_t hi, const std::u32string &text) {
    if (lo == 0 || hi < lo || (lo >> 32) != (hi >> 32)) return;
    const int n = static_cast<int>(lo >> 32);
    if (min_len_ == 0 || n < min_len_) min_len_ = n;
    uni_.push_back({lo, hi, static_cast<uint32_t>(pool_.size()), static_cast<uint32_t>(text.size())});
    pool_ += text;
}

void CMap::add_cid(uint64_t lo, uint64_t hi, uint32_t cid) {
    if (lo == 0 || hi < lo || (lo >> 32) != (hi >> 32)) return;
    const int n = static_cast<int>(lo >> 32);
    if (min_len_ == 0 || n < min_len_) min_len_ = n;
    cid_.push_back({lo, hi, cid, 0});
}

void CMap::finish() {
    auto by_lo = [](const Range &a, const Range &b) { return a.lo < b.lo; };
    std::stable_sort(uni_.begin(), uni_.end(), by_lo);
    std::stable_sort(cid_.begin(), cid_.end(), by_lo);
}

const CMap::Range *CMap::find(const std::vector<Range> &v, uint64_t key) {
    // The last range starting at or before key; ranges that start earlier
    // may still cover it when they overlap, so a few are looked back over.
    auto it = std::upper_bound(v.begin(), v.end(), key, [](uint64_t k, const Range &r) { return k < r.lo; });
    for (int i = 0; i < kOverlapLookback && it != v.begin(); ++i) {
        --it;
        if (key <= it->hi) return &*it;
    }
    return nullptr;
}

bool CMap::set_predefined(std::string_view name) {
    if (name == "Identity-H" || name == "Identity-V") {
        add_space(std::string("\0\0", 2), std::string("\xFF\xFF", 2));
        add_cid(uint64_t{2} << 32, uint64_t{2} << 32 | 0xFFFF, 0);
        vertical_ = name.back() == 'V';
        finish();
        return true;
    }
    // Adobe's Unicode-based CMaps: Uni<collection>-UCS2-H/V, -UTF16-H/V
    // (-UTF8 and -UTF32 are read the same way as UTF-16 would not fit them,
    // so they are left alone).
    if (name.substr(0, 3) == "Uni" && (name.find("-UCS2-") != std::string_view::npos ||
                                       name.find("-UTF16-") != std::string_view::npos)) {
        add_space(std::string("\0\0", 2), std::string("\xD7\xFF", 2));
        add_space(std::string("\xE0\0", 2), std::string("\xFF\xFF", 2));
        add_space(std::string("\xD8\0\xDC\0", 4), std::string("\xDB\xFF\xDF\xFF", 4));
        unicode_codes_ = true;
        vertical_ = name.back() == 'V';
        return true;
    }
    return false;
}

int CMap::code_length(const uint8_t *s, size_t n) const {
    int shortest = 0;
    for (int len = 1; len <= 4 && static_cast<size_t>(len) <= n; ++len) {
        for (const Space &sp : space_) {
            if (sp.n != len) continue;
            if (shortest == 0 || sp.n < shortest) shortest = sp.n;
            bool ok = true;
            for (int i = 0; i < len && ok; ++i) ok = s[i] >= sp.lo[i] && s[i] <= sp.hi[i];
            if (ok) return len;
        }
    }
    for (const Space &sp : space_)
        if (shortest == 0 || sp.n < shortest) shortest = sp.n;
    int len = shortest ? shortest : min_len_ ? min_len_ : default_len_;
    if (static_cast<size_t>(len) > n) len = static_cast<int>(n);
    return len < 1 ? 1 : len;
}

bool CMap::to_unicode(uint32_t code, int nbytes, std::string *out) const {
    const uint64_t key = uint64_t(nbytes) << 32 | code;
    if (const Range *r = find(uni_, key)) {
        const uint32_t step = static_cast<uint32_t>(key - r->lo);
        for (uint32_t i = 0; i < r->text_len; ++i) {
            uint32_t cp = pool_[r->val + i];
            if (i + 1 == r->text_len) cp += step;
            append_utf8(out, cp);
        }
        return true;
    }
    if (unicode_codes_) {
        if (nbytes == 2) {
            append_utf8(out, code);
            return true;
        }
        if (nbytes == 4) {
            const uint32_t h = code >> 16, l = code & 0xFFFF;
            append_utf8(out, 0x10000 + ((h - 0xD800) << 10) + (l - 0xDC00));
            return true;
        }
    }
    return false;
}

bool CMap::to_cid(uint32_t code, int nbytes, uint32_t *cid) const {
    const uint64_t key = uint64_t(nbytes) << 32 | code;
    if (const Range *r = find(cid_, key)) {
        *cid = r->val + static_cast<uint32_t>(key - r->lo);
        return true;
    }
    return false;
}

void CMap::parse(const uint8_t *data, size_t len) {
    Lexer lx(data, len);
    Token t, a, b, c;
    Token prev;  // the token before the current keyword (for usecmap, WMode)
    Token prev2;
    while (lx.next(&t)) {
        if (t.kind == Token::word) {
            const std::string &w = t.text;
            if (w == "begincodespacerange") {
                while (lx.next(&a) && a.kind == Token::hex && lx.next(&b) && b.kind == Token::hex)
                    add_space(a.text, b.text);
            } else if (w == "beginbfchar") {
                while (lx.next(&a) && a.kind == Token::hex && lx.next(&b)) {
                    if (b.kind == Token::hex) {
                        add_unicode(code_key(a.text), code_key(a.text), utf16_to_u32(b.text));
                    } else if (b.kind == Token::name) {
                        std::string u8;
                        if (glyph_name_to_utf8(b.text, &u8)) {
                            std::u32string u;
                            // Back to code points for the pool.
                            for (size_t i = 0; i < u8.size();) {
                                const uint8_t x = static_cast<uint8_t>(u8[i]);
                                const int n = x < 0x80 ? 1 : x < 0xE0 ? 2 : x < 0xF0 ? 3 : 4;
                                uint32_t cp = n == 1 ? x : x & (0xFF >> (n + 1));
                                for (int k = 1; k < n && i + k < u8.size(); ++k)
                                    cp = cp << 6 | (static_cast<uint8_t>(u8[i + k]) & 0x3F);
                                u.push_back(cp);
                                i += n;
                            }
                            add_unicode(code_key(a.text), code_key(a.text), u);
                        }
                    } else {
                        break;
                    }
                }
            } else if (w == "beginbfrange") {
                while (lx.next(&a) && a.kind == Token::hex && lx.next(&b) && b.kind == Token::hex && lx.next(&c)) {
                    const uint64_t lo = code_key(a.text), hi = code_key(b.text);
                    if (c.kind == Token::hex) {
                        add_unicode(lo, hi, utf16_to_u32(c.text));
                    } else if (c.kind == Token::open) {
                        uint64_t k = lo;
                        Token e;
                        size_t count = 0;
                        while (lx.next(&e) && e.kind == Token::hex) {
                            if (lo != 0 && k <= hi && count++ < kMaxArrayEntries) add_unicode(k, k, utf16_to_u32(e.text));
                            ++k;
                        }
                    } else {
                        break;
                    }
                }
            } else if (w == "begincidchar") {
                while (lx.next(&a) && a.kind == Token::hex && lx.next(&b) && b.kind == Token::number)
                    add_cid(code_key(a.text), code_key(a.text), static_cast<uint32_t>(b.num));
            } else if (w == "begincidrange") {
                while (lx.next(&a) && a.kind == Token::hex && lx.next(&b) && b.kind == Token::hex && lx.next(&c) &&
                       c.kind == Token::number)
                    add_cid(code_key(a.text), code_key(b.text), static_cast<uint32_t>(c.num));
            } else if (w == "usecmap" && prev.kind == Token::name) {
                use_name_ = prev.text;
                set_predefined(prev.text);
            } else if (w == "def" && prev.kind == Token::number && prev2.kind == Token::name &&
                       prev2.text == "WMode") {
                vertical_ = prev.num == 1;
            }
        }
        prev2 = prev;
        prev = t;
    }
    finish();
}

}  // namespace morvex
