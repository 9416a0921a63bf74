// A small regular-expression engine for the ignore_text option: patterns
// are compiled to a program for a Thompson-style machine that steps every
// thread in lock-step over the input, so matching costs at most
// (input length) x (program size) steps and never backtracks or recurses:
// no pattern can make it run away or exhaust the stack.
//
// Syntax (over Unicode code points; the pattern and the text are UTF-8,
// a byte that is not UTF-8 stands for itself):
//   literals, .  (any character but a line feed)
//   [abc] [a-z] [^...]  classes, with \d \w \s inside
//   \d \D \w \W \s \S  digits, word characters (ASCII letters, digits,
//                      underscore), white space
//   \. \\ \( ... \n \t \r \f \v  escaped characters
//   ( )  (?: )  groups;  |  alternation
//   * + ?  {n} {n,} {n,m}  quantifiers (greedy and lazy forms are the same
//                          here: only whether the text matches counts)
//   ^ at the start and $ at the end are accepted and mean nothing, since
//   a match is always a match of the whole text.
// Limits: patterns up to 1000 bytes, groups nested up to 32 deep, counted
// repetitions up to 1000, programs up to 20,000 instructions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

class Regex {
public:
    // Compiles pattern; on failure returns false with a reason such as
    // "unbalanced parenthesis at offset 3".
    bool compile(std::string_view pattern, std::string *error);

    // True when the whole of text matches.  A text longer than
    // kMaxTextBytes never matches.
    bool full_match(std::string_view text) const;

    static constexpr size_t kMaxTextBytes = 1 << 16;

    struct Inst {
        enum Op : uint8_t { Char, Any, Class, Split, Jmp, Match } op = Match;
        bool negate = false;
        uint32_t c = 0;     // Char: the code point
        int x = 0, y = 0;   // Split: both targets; Jmp: x
        int cls = -1;       // Class: index into classes_
    };
    struct Range {
        uint32_t lo, hi;
    };

private:
    std::vector<Inst> prog_;
    std::vector<std::vector<Range>> classes_;
    friend class RegexCompiler;
};

}  // namespace morvex
