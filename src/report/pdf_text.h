// Text that the report writes in the standard Helvetica fonts: UTF-8 turned
// into WinAnsiEncoding bytes, widths from the standard metrics, and PDF
// string literals.
#pragma once

#include <string>
#include <string_view>

#include "../bytebuf.h"

namespace morvex {

// WinAnsiEncoding bytes of a UTF-8 text.  Every character WinAnsi holds
// (ASCII, Latin-1, and the extras at 0x80-0x9F such as the euro sign and
// typographic quotes) becomes its byte; any other character is written as
// the ASCII escape "\uXXXX" (four hex digits) or "\UXXXXXXXX" (beyond
// U+FFFF), a control character as "\u00XX", and a byte that is not valid
// UTF-8 as "\xHH".  So a name in any script stays legible and unambiguous
// in a font that only has Latin glyphs.
std::string winansi_from_utf8(std::string_view utf8);

// Width in points of WinAnsi bytes set in Helvetica (bold: Helvetica-Bold)
// at `size`.
double helvetica_width(std::string_view winansi, double size, bool bold = false);

// `winansi` shortened to at most `max_width` points by replacing its middle
// with "..." (file names keep their beginning and their extension).
std::string elide_middle(std::string_view winansi, double size, bool bold, double max_width);

// Appends a PDF string literal "(...)" holding the bytes: parentheses and
// backslashes escaped, bytes outside printable ASCII as octal escapes.
void put_pdf_string(ByteBuf *out, std::string_view bytes);

// The last component of a path ("dir/sub/a.pdf" -> "a.pdf"); the whole
// text when it has no slash or ends in one.
std::string_view path_base_name(std::string_view path);

}  // namespace morvex
