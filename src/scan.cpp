#include "scan.h"

#include <cstring>

namespace morvex {

int32_t skip_ws(const u8 *data, int32_t limit, int32_t pos) {
    while (pos < limit && is_ws(data[pos])) ++pos;
    return pos;
}

int kw_at(const u8 *data, int32_t pos, int32_t limit, const char *word) {
    const int64_t n = static_cast<int64_t>(std::strlen(word));
    if (pos < 0 || pos + n > limit) return 0;
    if (std::memcmp(data + pos, word, static_cast<size_t>(n)) != 0) return 0;
    if (pos + n < limit && is_word_byte(data[pos + n])) return 0;
    if (pos > 0 && is_word_byte(data[pos - 1])) return 0;
    return 1;
}

int32_t find_kw(const u8 *data, int32_t limit, int32_t start, const char *word) {
    const size_t n = std::strlen(word);
    if (start < 0) start = 0;
    if (n == 0 || limit <= start || static_cast<size_t>(limit - start) < n) return -1;
    const u8 *p = data + start;
    const u8 *end = data + limit;
    while (static_cast<size_t>(end - p) >= n) {
        const void *hit = memmem(p, static_cast<size_t>(end - p), word, n);
        if (!hit) return -1;
        const int32_t pos = static_cast<int32_t>(static_cast<const u8 *>(hit) - data);
        if (kw_at(data, pos, limit, word)) return pos;
        p = static_cast<const u8 *>(hit) + 1;
    }
    return -1;
}

int32_t find_kw_last(const u8 *data, int32_t limit, const char *word) {
    const int32_t n = static_cast<int32_t>(std::strlen(word));
    for (int32_t p = limit - n; p >= 0; --p) {
        if (data[p] == static_cast<u8>(word[0]) && kw_at(data, p, limit, word)) return p;
    }
    return -1;
}

int32_t find_name(const u8 *data, int32_t len, int32_t start, int32_t end, const char *name) {
    const int64_t n = static_cast<int64_t>(std::strlen(name));
    const int32_t lim = len < end ? len : end;
    if (start < 0) start = 0;
    int64_t i = start;
    while (i + n < lim) {
        const void *slash = std::memchr(data + i, '/', static_cast<size_t>(lim - n - i));
        if (!slash) return -1;
        i = static_cast<const u8 *>(slash) - data;
        if (std::memcmp(data + i + 1, name, static_cast<size_t>(n)) == 0 &&
            (i + 1 + n == lim || is_name_delim(data[i + 1 + n])))
            return static_cast<int32_t>(i);
        ++i;
    }
    return -1;
}

namespace {

// Shared by the integer readers: whitespace, optional sign, digits.
int32_t read_integer(const u8 *data, int32_t len, int32_t *pos, bool allow_sign) {
    int32_t p = *pos;
    if (p < 0 || p >= len) return -1;
    p = skip_ws(data, len, p);
    if (p >= len) return -1;
    bool neg = false;
    if (allow_sign && (data[p] == '-' || data[p] == '+')) {
        neg = data[p] == '-';
        if (++p >= len) return -1;
    }
    int64_t v = 0;
    const int32_t first = p;
    while (p < len && is_digit(data[p])) {
        if (v <= INT32_MAX) v = v * 10 + (data[p] - '0');
        ++p;
    }
    if (p == first) return -1;
    *pos = p;
    if (v > INT32_MAX) return neg ? INT32_MIN : INT32_MAX;
    return static_cast<int32_t>(neg ? -v : v);
}

}  // namespace

int32_t parse_int_at(const u8 *data, int32_t len, int32_t *pos) {
    return read_integer(data, len, pos, true);
}

int32_t read_int_adv(const u8 *data, int32_t len, int32_t *pos) {
    return read_integer(data, len, pos, false);
}

double parse_double_at(const u8 *data, int32_t len, int32_t *pos) {
    int32_t p = *pos;
    if (p < 0 || p >= len) return 0.0;
    p = skip_ws(data, len, p);
    if (p >= len) return 0.0;
    bool neg = false;
    if (data[p] == '-' || data[p] == '+') {
        neg = data[p] == '-';
        if (++p >= len) return 0.0;
    }
    double v = 0.0;
    bool any = false;
    while (p < len && is_digit(data[p])) {
        v = v * 10.0 + (data[p] - '0');
        any = true;
        ++p;
    }
    if (p < len && data[p] == '.') {
        const int32_t dot = p++;
        double w = 1.0;
        while (p < len && is_digit(data[p])) {
            w *= 0.1;
            v += (data[p] - '0') * w;
            any = true;
            ++p;
        }
        if (!any) p = dot;
    }
    if (!any) return 0.0;
    *pos = p;
    return neg ? -v : v;
}

int32_t parse_ref_at(const u8 *data, int32_t len, int32_t pos) {
    int32_t p = pos;
    const int32_t num = parse_int_at(data, len, &p);
    if (num <= 0) return -1;
    const int32_t gen = parse_int_at(data, len, &p);
    if (gen < 0) return -1;
    p = skip_ws(data, len, p);
    if (p >= len || data[p] != 'R') return -1;
    if (p + 1 < len && is_alnum(data[p + 1])) return -1;
    return num;
}

void parse_box(const u8 *data, int32_t len, int32_t start, double *x, double *y, double *w,
               double *h) {
    if (start < 0 || start >= len) return;
    double v[4];
    int count = 0;
    int32_t p = start;
    while (count < 4 && p < len) {
        p = skip_ws(data, len, p);
        if (p >= len) return;
        const u8 c = data[p];
        if (c == '+' || c == '-' || c == '.' || is_digit(c)) {
            v[count++] = parse_double_at(data, len, &p);
        } else if (c == ']') {
            return;
        } else {
            ++p;
        }
    }
    if (count != 4) return;
    *x = v[0] < v[2] ? v[0] : v[2];
    *y = v[1] < v[3] ? v[1] : v[3];
    *w = v[2] > v[0] ? v[2] - v[0] : v[0] - v[2];
    *h = v[3] > v[1] ? v[3] - v[1] : v[1] - v[3];
}

namespace {

// Position after the ')' that closes the literal string whose '(' is at
// pos, or -1 when the range ends first.
int32_t literal_end(const u8 *data, int32_t len, int32_t pos) {
    int depth = 1;
    int32_t p = pos + 1;
    while (p < len) {
        const u8 c = data[p];
        if (c == '\\') {
            p += 2;
            continue;
        }
        if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            return p + 1;
        }
        ++p;
    }
    return -1;
}

}  // namespace

int32_t dict_end(const u8 *data, int32_t len, int32_t pos) {
    if (pos < 0) return -1;
    int depth = 0;
    int32_t p = pos;
    while (p < len) {
        const u8 c = data[p];
        if (c == '<' || c == '>') {
            if (p + 1 >= len) return -1;
            if (data[p + 1] != c) {
                ++p;
            } else if (c == '<') {
                ++depth;
                p += 2;
            } else if (--depth == 0) {
                return p + 2;
            } else {
                p += 2;
            }
        } else if (c == '(') {
            p = literal_end(data, len, p);
            if (p < 0) return -1;
        } else {
            // Nothing else matters to the walk: jump to the next byte that does.
            ++p;
            while (p < len && data[p] != '<' && data[p] != '>' && data[p] != '(') ++p;
        }
    }
    return -1;
}

int32_t dict_stream_kw(const u8 *data, int32_t len, int32_t pos) {
    const int32_t end = dict_end(data, len, pos);
    if (end < 0) return -1;
    const int32_t p = skip_ws(data, len, end);
    return kw_at(data, p, len, "stream") ? p : -1;
}

std::optional<std::string> dict_text_at(const u8 *data, int32_t len, int32_t pos) {
    if (pos < 0 || pos + 1 >= len || data[pos] != '<' || data[pos + 1] != '<') return std::nullopt;
    const int32_t end = dict_end(data, len, pos);
    if (end < 0) return std::nullopt;
    return std::string(reinterpret_cast<const char *>(data + pos), static_cast<size_t>(end - pos));
}

int32_t dict_key_value(const u8 *d, int32_t end, int32_t pos, std::string_view key) {
    if (pos < 0 || pos + 1 >= end || d[pos] != '<' || d[pos + 1] != '<') return -1;
    int32_t p = pos + 2;
    while (p < end) {
        p = skip_ws_comments(d, end, p);
        if (p >= end || (d[p] == '>' && p + 1 < end && d[p + 1] == '>')) return -1;
        if (d[p] != '/') {
            p = skip_value(d, end, p, true);  // a token without its key
            continue;
        }
        int32_t q = p + 1;
        while (q < end && is_name_byte(d[q])) ++q;
        const std::string_view name(reinterpret_cast<const char *>(d + p + 1), static_cast<size_t>(q - p - 1));
        const int32_t v = skip_ws_comments(d, end, q);
        if (name == key) return v < end ? v : -1;
        p = skip_value(d, end, v, true);
    }
    return -1;
}

int32_t skip_ws_comments(const u8 *d, int32_t end, int32_t p) {
    for (;;) {
        while (p < end && (is_ws(d[p]) || d[p] == 0)) ++p;
        if (p >= end || d[p] != '%') return p;
        while (p < end && d[p] != '\n' && d[p] != '\r') ++p;
    }
}

int32_t skip_literal_string(const u8 *d, int32_t end, int32_t p) {
    int paren = 0;
    for (; p < end; ++p) {
        if (d[p] == '\\') {
            ++p;
        } else if (d[p] == '(') {
            ++paren;
        } else if (d[p] == ')' && --paren == 0) {
            return p + 1;
        }
    }
    return end;
}

int32_t skip_value(const u8 *d, int32_t end, int32_t p, bool refs) {
    constexpr int kMaxNesting = 64;
    int depth = 0;  // open arrays and dictionaries
    do {
        p = skip_ws_comments(d, end, p);
        if (p >= end) return end;
        const u8 c = d[p];
        if (c == '(') {
            p = skip_literal_string(d, end, p);
        } else if (c == '<' && p + 1 < end && d[p + 1] == '<') {
            if (++depth > kMaxNesting) return end;
            p += 2;
        } else if (c == '>' && p + 1 < end && d[p + 1] == '>') {
            --depth;
            p += 2;
        } else if (c == '<') {
            const void *gt = std::memchr(d + p, '>', static_cast<size_t>(end - p));
            p = gt ? static_cast<int32_t>(static_cast<const u8 *>(gt) - d) + 1 : end;
        } else if (c == '[') {
            if (++depth > kMaxNesting) return end;
            ++p;
        } else if (c == ']') {
            --depth;
            ++p;
        } else if (c == '/') {
            ++p;
            while (p < end && is_name_byte(d[p])) ++p;
        } else {
            const int32_t s = p;
            while (p < end && is_name_byte(d[p])) ++p;
            if (p == s) {
                ++p;  // a stray delimiter such as ')' or '>'
            } else if (refs && depth == 0 && is_digit(c)) {
                // "N G R" is one value.
                int32_t r = skip_ws(d, end, p);
                const int32_t g = r;
                while (r < end && is_digit(d[r])) ++r;
                if (r > g) {
                    r = skip_ws(d, end, r);
                    if (r < end && d[r] == 'R' && (r + 1 >= end || !is_alnum(d[r + 1]))) p = r + 1;
                }
            }
        }
    } while (depth > 0 && p < end);
    return p;
}

}  // namespace morvex
