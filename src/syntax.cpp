#include "syntax.h"

#include <array>
#include <cstring>
#include <vector>

namespace morvex {

namespace {

// The bytes at which a walk over object text has something to do.
constexpr std::array<bool, 256> stop_table(const char *bytes) {
    std::array<bool, 256> t{};
    for (const char *b = bytes; *b; ++b) t[static_cast<u8>(*b)] = true;
    return t;
}
constexpr auto kDictStops = stop_table("<>(%#");
constexpr auto kArrayStops = stop_table("[]<(%#");
constexpr auto kTextStops = stop_table("(%#");

bool needs_escape(u8 c) { return c == '#' || !is_name_byte(c); }

// Position behind the ')' closing the literal string at p, or -1.
int32_t literal_end(const u8 *d, int32_t limit, int32_t p) {
    int depth = 0;
    for (; p < limit; ++p) {
        const u8 c = d[p];
        if (c == '\\') {
            ++p;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            return p + 1;
        }
    }
    return -1;
}

}  // namespace

int32_t canonical_name(const u8 *s, int32_t n, u8 *out) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    int32_t o = 0;
    for (int32_t i = 0; i < n; ++i) {
        u8 c = s[i];
        if (c == '#' && i + 2 < n && is_hex_digit(s[i + 1]) && is_hex_digit(s[i + 2])) {
            c = static_cast<u8>(hex_value(s[i + 1]) << 4 | hex_value(s[i + 2]));
            i += 2;
        }
        if (needs_escape(c)) {
            out[o++] = '#';
            out[o++] = static_cast<u8>(kHex[c >> 4]);
            out[o++] = static_cast<u8>(kHex[c & 15]);
        } else {
            out[o++] = c;
        }
    }
    return o;
}

int32_t SyntaxCleaner::comment(int32_t limit, int32_t p) {
    while (p < limit && d_[p] != '\n' && d_[p] != '\r') d_[p++] = ' ';
    changed_ = true;
    return p;
}

int32_t SyntaxCleaner::ws(int32_t limit, int32_t p) {
    for (;;) {
        while (p < limit && (is_ws(d_[p]) || d_[p] == 0)) ++p;
        if (p >= limit || d_[p] != '%') return p;
        p = comment(limit, p);
    }
}

int32_t SyntaxCleaner::name(int32_t limit, int32_t s) {
    int32_t e = s;
    bool escaped = false;
    while (e < limit && is_name_byte(d_[e])) escaped |= d_[e++] == '#';
    if (!escaped) return e;
    const int32_t n = e - s;
    u8 small[3 * 64];
    std::vector<u8> big;
    u8 *out = small;
    if (n > 64) {
        big.resize(3 * static_cast<size_t>(n));
        out = big.data();
    }
    const int32_t m = canonical_name(d_ + s, n, out);
    if (m > n || (m == n && std::memcmp(out, d_ + s, static_cast<size_t>(n)) == 0)) return e;
    std::memcpy(d_ + s, out, static_cast<size_t>(m));
    std::memset(d_ + s + m, ' ', static_cast<size_t>(n - m));
    changed_ = true;
    return e;
}

int32_t SyntaxCleaner::escape(int32_t first, int32_t limit, int32_t p) {
    int32_t s = p;
    while (s > first && is_name_byte(d_[s - 1])) --s;
    if (s > first && d_[s - 1] == '/') return name(limit, s);
    return p + 1;
}

int32_t SyntaxCleaner::value(int32_t limit, int32_t p) {
    if (p >= limit) return -1;
    const u8 c = d_[p];
    if (c == '(') return literal_end(d_, limit, p);
    if (c == '/') return name(limit, p + 1);
    const bool dict = c == '<' && p + 1 < limit && d_[p + 1] == '<';
    if (c == '<' && !dict) {
        const void *gt = std::memchr(d_ + p, '>', static_cast<size_t>(limit - p));
        return gt ? static_cast<int32_t>(static_cast<const u8 *>(gt) - d_) + 1 : -1;
    }
    if (!dict && c != '[') {
        const int32_t s = p;
        while (p < limit && is_name_byte(d_[p])) ++p;
        return p == s ? p + 1 : p;  // a stray delimiter such as ')' or '>'
    }
    // A dictionary or an array: nesting is counted, nothing recurses.
    const auto &stops = dict ? kDictStops : kArrayStops;
    const int32_t first = p;
    int64_t depth = 0;
    while (p < limit) {
        const u8 b = d_[p];
        if (!stops[b]) {
            ++p;
            continue;
        }
        if (b == '(') {
            p = literal_end(d_, limit, p);
            if (p < 0) return -1;
        } else if (b == '%') {
            p = comment(limit, p);
        } else if (b == '#') {
            p = escape(first, limit, p);
        } else if (dict && (b == '<' || b == '>')) {
            if (p + 1 >= limit) return -1;
            if (d_[p + 1] != b) {
                ++p;
            } else {
                depth += b == '<' ? 1 : -1;
                p += 2;
                if (depth == 0) return p;
            }
        } else if (b == '<') {
            // A hex string or dictionary inside an array: '[' and ']' in it
            // are no nesting.  Strings in a dictionary are read by the dictionary walk.
            const int32_t q = value(limit, p);
            if (q < 0) return -1;
            p = q;
        } else {
            depth += b == '[' ? 1 : -1;
            ++p;
            if (depth == 0) return p;
        }
    }
    return -1;
}

void SyntaxCleaner::text(int32_t begin, int32_t end) {
    int32_t p = begin;
    while (p < end) {
        const u8 b = d_[p];
        if (!kTextStops[b]) {
            ++p;
        } else if (b == '(') {
            p = literal_end(d_, end, p);
            if (p < 0) return;
        } else if (b == '%') {
            p = comment(end, p);
        } else {
            p = escape(begin, end, p);
        }
    }
}

}  // namespace morvex
