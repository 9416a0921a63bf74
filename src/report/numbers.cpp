#include "numbers.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace morvex {

namespace {

// PDF readers cope with magnitudes far below this; a hostile box of 1e400
// must still give a number, not "inf".
double clamp(double v) {
    if (std::isnan(v)) return 0.0;
    if (v > 1e9) return 1e9;
    if (v < -1e9) return -1e9;
    return v;
}

size_t fixed(char *buf, size_t size, double v, int precision) {
    const auto r = std::to_chars(buf, buf + size - 1, clamp(v), std::chars_format::fixed, precision);
    *r.ptr = 0;
    return static_cast<size_t>(r.ptr - buf);
}

}  // namespace

void fmt_f(char *buf, double value) {
    size_t n = fixed(buf, 64, value, 4);
    while (n > 1 && buf[n - 1] == '0') buf[--n] = 0;
    if (n > 1 && buf[n - 1] == '.') buf[--n] = 0;
}

std::string fmt_f(double value) {
    char buf[64];
    fmt_f(buf, value);
    return buf;
}

std::string fmt_2f(double value) {
    char buf[64];
    fixed(buf, sizeof buf, value, 2);
    return buf;
}

void put_2f(ByteBuf *out, std::initializer_list<double> values) {
    char buf[64];
    bool first = true;
    for (double v : values) {
        if (!first) buf_str(out, " ");
        first = false;
        buf_bytes(out, buf, fixed(buf, sizeof buf, v, 2));
    }
}

void put_f(ByteBuf *out, std::initializer_list<double> values) {
    char buf[64];
    bool first = true;
    for (double v : values) {
        if (!first) buf_str(out, " ");
        first = false;
        fmt_f(buf, v);
        buf_str(out, buf);
    }
}

}  // namespace morvex
