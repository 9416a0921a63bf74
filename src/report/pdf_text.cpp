#include "pdf_text.h"

#include <cstdio>

#include "../font/font_metrics.h"

namespace morvex {

namespace {

// The characters WinAnsiEncoding places at 0x80-0x9F (0 where it has none).
constexpr char32_t kWinAnsiHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The WinAnsi byte of a code point, or 0 when it has none.
unsigned char winansi_byte(char32_t c) {
    if ((c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    if (c < 0x100) return 0;  // controls; the table's zeros mark holes, not U+0000
    for (unsigned k = 0; k < 32; ++k)
        if (kWinAnsiHigh[k] == c) return static_cast<unsigned char>(0x80 + k);
    return 0;
}

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when the
// bytes there are not a well-formed sequence (overlong forms, surrogates
// and values beyond U+10FFFF included).
size_t decode_utf8(std::string_view s, size_t i, char32_t *out) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    size_t n;
    char32_t v;
    if (c < 0x80) {
        *out = c;
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        n = 2, v = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3, v = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4, v = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        v = (v << 6) | (b(i + k) & 0x3F);
    }
    if ((n == 3 && v < 0x800) || (n == 4 && v < 0x10000) || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
    *out = v;
    return n;
}

}  // namespace

std::string winansi_from_utf8(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    char esc[16];
    for (size_t i = 0; i < utf8.size();) {
        char32_t c = 0;
        const size_t n = decode_utf8(utf8, i, &c);
        if (n == 0) {
            std::snprintf(esc, sizeof esc, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(utf8[i])));
            out += esc;
            ++i;
            continue;
        }
        i += n;
        if (const unsigned char w = winansi_byte(c)) {
            out += static_cast<char>(w);
        } else {
            std::snprintf(esc, sizeof esc, c > 0xFFFF ? "\\U%08X" : "\\u%04X", static_cast<unsigned>(c));
            out += esc;
        }
    }
    return out;
}

double helvetica_width(std::string_view winansi, double size, bool bold) {
    const int16_t *widths = bold ? helvetica_bold_widths : helvetica_widths;
    double units = 0;
    for (char ch : winansi) {
        const int16_t w = widths[static_cast<unsigned char>(ch)];
        units += w > 0 ? w : 556;
    }
    return units * size / 1000.0;
}

std::string elide_middle(std::string_view winansi, double size, bool bold, double max_width) {
    if (helvetica_width(winansi, size, bold) <= max_width) return std::string(winansi);
    const double budget = max_width - helvetica_width("...", size, bold);
    // Keep the last third of the budget for the end (the extension), the
    // rest for the beginning.
    size_t head = 0, tail = 0;
    double used = 0;
    const double tail_budget = budget / 3;
    while (tail < winansi.size()) {
        const double w = helvetica_width(winansi.substr(winansi.size() - tail - 1, 1), size, bold);
        if (used + w > tail_budget) break;
        used += w;
        ++tail;
    }
    while (head + tail < winansi.size()) {
        const double w = helvetica_width(winansi.substr(head, 1), size, bold);
        if (used + w > budget) break;
        used += w;
        ++head;
    }
    std::string out(winansi.substr(0, head));
    out += "...";
    out += winansi.substr(winansi.size() - tail);
    return out;
}

void put_pdf_string(ByteBuf *out, std::string_view bytes) {
    buf_byte(out, '(');
    size_t plain = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '(' && c != ')' && c != '\\') continue;
        buf_str(out, bytes.substr(plain, i - plain));
        plain = i + 1;
        if (c == '(' || c == ')' || c == '\\') {
            const char esc[2] = {'\\', static_cast<char>(c)};
            buf_bytes(out, esc, 2);
        } else {
            const char esc[4] = {'\\', static_cast<char>('0' + (c >> 6)), static_cast<char>('0' + ((c >> 3) & 7)),
                                 static_cast<char>('0' + (c & 7))};
            buf_bytes(out, esc, 4);
        }
    }
    buf_str(out, bytes.substr(plain));
    buf_byte(out, ')');
}

std::string_view path_base_name(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string_view::npos || slash + 1 == path.size()) return path;
    return path.substr(slash + 1);
}

}  // namespace morvex
