// Byte-range scanning helpers for PDF syntax.
//
// The library never builds an object tree: it searches the file bytes in
// place.  Every function here is pure, takes a buffer with an exclusive
// limit and never reads at or beyond that limit.  Positions are signed
// 32-bit offsets from the buffer's start.  Failure is -1 for positions and
// integers, 0.0 for parse_double_at, 0 for kw_at, nullopt for dict_text_at.
// Readers that take `pos` by pointer advance it on success and leave it
// unchanged on failure.
//
// Character classes are ASCII by definition and never depend on the
// process locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvex {

using u8 = unsigned char;

constexpr bool is_ws(u8 c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }
constexpr bool is_digit(u8 c) { return c >= '0' && c <= '9'; }
constexpr bool is_alpha(u8 c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool is_alnum(u8 c) { return is_alpha(c) || is_digit(c); }
constexpr bool is_word_byte(u8 c) { return is_alnum(c) || c == '_'; }
constexpr bool is_name_delim(u8 c) {
    return is_ws(c) || c == '(' || c == '/' || c == '<' || c == '>' || c == '[' || c == ']';
}
// A byte of a name token: anything but whitespace, the 0 byte and the
// delimiters ( ) < > [ ] { } / %.
constexpr bool is_name_byte(u8 c) {
    return !(is_ws(c) || c == 0 || c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' ||
             c == '{' || c == '}' || c == '/' || c == '%');
}
constexpr bool is_hex_digit(u8 c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
constexpr int hex_value(u8 c) {
    return is_digit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : c - 'A' + 10;
}
constexpr u8 to_lower_ascii(u8 c) { return (c >= 'A' && c <= 'Z') ? u8(c + 32) : c; }

// Position of the first non-whitespace byte at or after pos, or limit.
int32_t skip_ws(const u8 *data, int32_t limit, int32_t pos);

// Position of the first byte at or after pos that is neither whitespace,
// a 0 byte nor part of a comment, or limit.
int32_t skip_ws_comments(const u8 *data, int32_t limit, int32_t pos);

// Position behind the literal string whose '(' is at pos (balanced
// parentheses, backslash escapes), or limit when it does not end.
int32_t skip_literal_string(const u8 *data, int32_t limit, int32_t pos);

// Position behind the value at pos, whitespace and comments before it
// skipped: a string, name, number, keyword, or a whole array or dictionary
// with everything nested in it.  With `refs`, "N G R" outside any array or
// dictionary is one value.  Nesting deeper than 64 steps over to limit.
// Always beyond pos when pos < limit.
int32_t skip_value(const u8 *data, int32_t limit, int32_t pos, bool refs = false);

// 1 when `word` stands at pos as a whole keyword (no word byte before or
// after it inside the range).
int kw_at(const u8 *data, int32_t pos, int32_t limit, const char *word);

// Position of the first whole keyword `word` at or after start, or -1.
int32_t find_kw(const u8 *data, int32_t limit, int32_t start, const char *word);

// Position of the first whole keyword `word` that starts before limit,
// searching backwards from the end, or -1.
int32_t find_kw_last(const u8 *data, int32_t limit, const char *word);

// Position of the '/' of the first token "/name" in [start, min(len, end))
// that ends at the limit or before a name delimiter, or -1.  Knows nothing
// of nesting or strings.
int32_t find_name(const u8 *data, int32_t len, int32_t start, int32_t end, const char *name);

// Signed decimal integer after optional whitespace and sign.  Values beyond
// the 32-bit range saturate.
int32_t parse_int_at(const u8 *data, int32_t len, int32_t *pos);

// As parse_int_at without a sign.
int32_t read_int_adv(const u8 *data, int32_t len, int32_t *pos);

// Real number: sign, digits, '.', digits; no exponent.
double parse_double_at(const u8 *data, int32_t len, int32_t *pos);

// Object number of an indirect reference "N G R" at pos (N > 0, G >= 0, R
// not followed by a letter or digit), or -1.
int32_t parse_ref_at(const u8 *data, int32_t len, int32_t pos);

// Reads the four numbers of a rectangle array starting at `start` (just
// after the '[').  Writes x, y, w, h (normalised corners) only when exactly
// four numbers were read.
void parse_box(const u8 *data, int32_t len, int32_t start, double *x, double *y, double *w,
               double *h);

// Position just past the '>>' that closes the dictionary whose '<<' is at
// pos, or -1 when the range ends first.  Literal strings are skipped.
int32_t dict_end(const u8 *data, int32_t len, int32_t pos);

// Position of the "stream" keyword that follows the dictionary at pos, or -1.
int32_t dict_stream_kw(const u8 *data, int32_t len, int32_t pos);

// Position of the value of the top-level key /key of the dictionary whose
// "<<" is at pos (whitespace and comments before it skipped), or -1.  A
// token where a key should stand (a value without its key, as some writers
// leave in damaged dictionaries) is stepped over and the keys after it are
// still read.  Names compare as bytes: the loader has written them in
// their canonical spelling.  Linear in the dictionary's size.
int32_t dict_key_value(const u8 *data, int32_t end, int32_t pos, std::string_view key);

// Copy of the whole dictionary text at pos ("<<" through ">>"), or nullopt.
std::optional<std::string> dict_text_at(const u8 *data, int32_t len, int32_t pos);

}  // namespace morvex
