// The two JSON reports, each a single line without whitespace outside
// strings:
//   {"identical":B,"pages_compared":N,"differences":[{"page":P,"type":"K"},...]}
// The text report keeps only the text kinds and added or removed pages,
// decides "identical" from what it keeps, and gives each text difference a
// "diff" member with its text.
#pragma once

#include <string_view>

#include "../bytebuf.h"
#include "../compare/diff.h"

namespace morvex {

// Each resets buf and writes the report into it.  Returns false when the
// buffer could not hold the whole report (no memory).
bool build_compare_json(const DiffList &list, ByteBuf *buf);
bool build_text_json(const DiffList &list, ByteBuf *buf);
// The detail report (docs/detail-report.schema.json).
bool build_detail_json(const PdfDocument &a, const PdfDocument &b, const DiffList &list, ByteBuf *buf);

// Appends s as the inside of a JSON string: quote, backslash and the
// control bytes 0x00-0x1F escaped, every other byte (UTF-8 included) as it
// is.  A 0 byte is written as \u0000, so the text stays whole for a host
// that reads it as a 0-terminated string.
void json_escape(std::string_view s, ByteBuf *out);

}  // namespace morvex
