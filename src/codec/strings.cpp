#include "strings.h"

namespace morvex {

namespace {

bool is_octal(u8 c) { return c >= '0' && c <= '7'; }

}  // namespace

void parse_literal_string2(const u8 *data, int32_t len, int32_t pos, ByteBuf *out, int32_t *next) {
    int32_t p = pos + 1;
    int depth = 1;
    // Runs of ordinary bytes are appended in one piece.
    int32_t run = p;
    auto flush = [&](int32_t upto) {
        if (upto > run) buf_bytes(out, data + run, static_cast<size_t>(upto - run));
    };
    while (p < len) {
        const u8 c = data[p];
        if (c == '\\') {
            flush(p);
            if (p + 1 >= len) {
                *next = p;
                return;
            }
            const u8 e = data[p + 1];
            p += 2;
            u8 v;
            switch (e) {
            case 'n': v = 0x0A; break;
            case 'r': v = 0x0D; break;
            case 't': v = 0x09; break;
            case 'b': v = 0x08; break;
            case 'f': v = 0x0C; break;
            default:
                if (is_octal(e)) {
                    unsigned value = e - '0';
                    for (int k = 0; k < 2 && p < len && is_octal(data[p]); ++k, ++p)
                        value = value * 8 + (data[p] - '0');
                    v = static_cast<u8>(value & 0xFF);
                } else {
                    v = e;  // '(', ')', '\\' and any other byte stand for themselves
                }
            }
            buf_byte(out, v);
            run = p;
            continue;
        }
        if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            flush(p);
            *next = p + 1;
            return;
        }
        ++p;
    }
    flush(p);
    *next = len;
}

void parse_hex_string(const u8 *data, int32_t len, int32_t pos, ByteBuf *out, int32_t *next) {
    int32_t p = pos + 1;
    int pending = -1;
    while (p < len) {
        const u8 c = data[p];
        if (c == '>') {
            if (pending >= 0) buf_byte(out, static_cast<u8>(pending << 4));
            *next = p + 1;
            return;
        }
        if (is_hex_digit(c)) {
            if (pending < 0) {
                pending = hex_value(c);
            } else {
                buf_byte(out, static_cast<u8>(pending << 4 | hex_value(c)));
                pending = -1;
            }
        }
        ++p;
    }
    if (pending >= 0) buf_byte(out, static_cast<u8>(pending << 4));
    *next = len;
}

}  // namespace morvex
