// A small JSON reader for the reports the library returns, and the string
// quoting the command uses when it writes JSON itself.
//
// The reader takes the whole grammar the reports use: objects, arrays,
// strings (every escape, \uXXXX with surrogate pairs decoded to UTF-8),
// integers, true, false and null.  Numbers with a fraction or an exponent
// are refused, as is anything past the value but white space, and nesting
// deeper than 64 levels.  Raw bytes of 0x80 and above inside strings pass
// through as they are.
#ifndef MORVEX_CLI_JSON_READER_H
#define MORVEX_CLI_JSON_READER_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace json {

struct Member;

struct Value {
    enum class Kind { Null, Bool, Integer, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    std::int64_t integer = 0;
    std::string string;
    std::vector<Value> items;                              // Array
    std::vector<Member> members;                            // Object, in order

    // The first member called `key` of an object; nullptr when there is
    // none or when this is not an object.
    const Value *get(std::string_view key) const;
};

struct Member {
    std::string name;
    Value value;
};

// Parses `text` as one JSON value.  On failure returns nothing and, when
// `error` is given, stores a message such as "offset 17: expected ':'".
std::optional<Value> parse(std::string_view text, std::string *error = nullptr);

// Appends `s` to `out` as a JSON string literal, quotes included: ", \ and
// the control characters escaped, valid UTF-8 written as it is, and each
// byte that is not part of valid UTF-8 written as U+FFFD.
void append_quoted(std::string &out, std::string_view s);
std::string quoted(std::string_view s);

// Appends `v` as compact JSON: members in their order, strings quoted as
// by append_quoted.
void append_value(std::string &out, const Value &v);

// Length of the valid UTF-8 sequence at the start of `s` (1 to 4), or 0
// when `s` does not start with one.  Overlong forms, surrogates and code
// points past U+10FFFF are invalid.
std::size_t utf8_sequence_length(std::string_view s);

}  // namespace json

#endif
