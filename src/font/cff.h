// The built-in encoding of a bare CFF font program (an embedded /FontFile3
// of subtype /Type1C): which glyph name each single-byte code shows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace morvex {

// Fills names[code] with the glyph name of each code the font's own
// encoding assigns and returns true; returns false (names untouched) for a
// font that uses the Standard encoding, an expert or CID-keyed font, or
// data that cannot be read. Never reads outside [data, data + len).
bool cff_builtin_encoding(const uint8_t *data, size_t len, std::array<std::string, 256> *names);

// Whether a readable, not CID-keyed CFF font program uses the Standard
// encoding (its Top DICT names no encoding, or encoding 0).
bool cff_uses_standard_encoding(const uint8_t *data, size_t len);

}  // namespace morvex
