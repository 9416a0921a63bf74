// Numbers in the report PDF, always with a '.' decimal point whatever
// locale the host process has set.
#pragma once

#include <initializer_list>
#include <string>

#include "../bytebuf.h"

namespace morvex {

// "%.4f" with trailing zeros, then a trailing '.', removed (never the
// first character): 612 -> "612", 0.5 -> "0.5", -0.0 -> "-0".  Writes into
// a 64-byte buffer.  Values are clamped to +-1e9, NaN reads as 0.
void fmt_f(char *buf, double value);
std::string fmt_f(double value);

// "%.2f", clamped the same way.
std::string fmt_2f(double value);

// Append numbers separated by single spaces, as fmt_2f or fmt_f write them.
void put_2f(ByteBuf *out, std::initializer_list<double> values);
void put_f(ByteBuf *out, std::initializer_list<double> values);

}  // namespace morvex
