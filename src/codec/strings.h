// String tokens of page content: literal strings "( ... )" and hexadecimal
// strings "< ... >".  Both scan in place and never fail: malformed input is
// decoded as far as it goes.
#pragma once

#include <cstdint>

#include "../bytebuf.h"
#include "../scan.h"

namespace morvex {

// Decodes the literal string whose '(' is at pos, appending its bytes to
// out.  *next receives the position after the closing ')', len when the
// data ends first, or the position of a backslash that is the last byte.
void parse_literal_string2(const u8 *data, int32_t len, int32_t pos, ByteBuf *out, int32_t *next);

// Decodes the hexadecimal string whose '<' is at pos.  *next receives the
// position after the '>', or len when the data ends first.  An odd last
// digit counts as its high half.
void parse_hex_string(const u8 *data, int32_t len, int32_t pos, ByteBuf *out, int32_t *next);

}  // namespace morvex
