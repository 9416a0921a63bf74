// The one JSON reader of the project: the options of morvex_compare_opts
// and morvex_visual_opts, and the reports the morvex command reads back.
//
// It takes objects, arrays, strings (every escape, \uXXXX with surrogate
// pairs decoded to UTF-8), numbers, true, false and null.  By default only
// integers are numbers (a fraction or an exponent is refused); with
// `fractions` any JSON number is read, as a double, and keeps its text so
// that writing the value back gives the same bytes.  Anything past the
// value but white space is refused, as is nesting deeper than 64 levels.
// Raw bytes of 0x80 and above inside strings pass through as they are.
//
// The morvex command compiles this file into its own static library (it
// links only the library's public API), so nothing here may depend on the
// rest of the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvex::json {

struct Member;

struct Value {
    // Integer: a number without fraction or exponent that fits 64 bits.
    // Number: any other number (only with ReadOptions::fractions).
    enum class Kind { Null, Bool, Integer, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    std::int64_t integer = 0;
    double number = 0;        // Integer and Number both set it
    std::string string;       // String; for Number, the number's text as read
    std::vector<Value> items;     // Array
    std::vector<Member> members;  // Object, in order
    std::size_t offset = 0;       // byte offset of the value in the text read

    // The first member called `key` of an object; nullptr when there is
    // none or when this is not an object.
    const Value *get(std::string_view key) const;
    bool is_number() const { return kind == Kind::Integer || kind == Kind::Number; }
};

struct Member {
    std::string name;
    Value value;
};

struct ReadOptions {
    bool fractions = false;  // read numbers with a fraction or an exponent
};

// Parses `text` as one JSON value.  On failure returns nothing and, when
// `error` is given, stores a message such as "offset 17: expected ':'".
std::optional<Value> parse(std::string_view text, std::string *error = nullptr,
                           const ReadOptions &options = {});

// Appends `s` to `out` as a JSON string literal, quotes included: ", \ and
// the control characters escaped, valid UTF-8 written as it is, and each
// byte that is not part of valid UTF-8 written as U+FFFD.
void append_quoted(std::string &out, std::string_view s);
std::string quoted(std::string_view s);

// Appends `v` as compact JSON: members in their order, strings quoted as
// by append_quoted, numbers as they were read.
void append_value(std::string &out, const Value &v);

// Length of the valid UTF-8 sequence at the start of `s` (1 to 4), or 0
// when `s` does not start with one.  Overlong forms, surrogates and code
// points past U+10FFFF are invalid.
std::size_t utf8_sequence_length(std::string_view s);

}  // namespace morvex::json
