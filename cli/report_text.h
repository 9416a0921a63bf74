// Reports as lines for people: one line per difference, the changed text
// under text differences, and a closing summary; ANSI colour on request.
#ifndef MORVEX_CLI_REPORT_TEXT_H
#define MORVEX_CLI_REPORT_TEXT_H

#include <string>
#include <string_view>

#include "report.h"

namespace text {

enum class ColorWhen { Auto, Always, Never };

// "auto", "always" or "never".
bool parse_color_when(std::string_view word, ColorWhen &when);

// Whether output to `fd` gets colour: always, never, or with auto only
// when `fd` is a terminal and NO_COLOR is not set (to any value, even an
// empty one).
bool use_color(ColorWhen when, int fd);

// Wraps text in ANSI attributes when colour is on, leaves it alone when off.
struct Style {
    bool color = false;
    std::string bold(std::string_view s) const { return wrap("1", s); }
    std::string red(std::string_view s) const { return wrap("31", s); }
    std::string green(std::string_view s) const { return wrap("32", s); }
    std::string yellow(std::string_view s) const { return wrap("33", s); }
    std::string bold_red(std::string_view s) const { return wrap("1;31", s); }
    // Red for direction -1, green for +1, plain for 0.
    std::string by_direction(int direction, std::string_view s) const {
        return direction > 0 ? green(s) : direction < 0 ? red(s) : std::string(s);
    }

private:
    std::string wrap(const char *sgr, std::string_view s) const;
};

// Appends, each line starting with `indent` spaces:
//   page 3: text changed            (one per difference, "page 3:" bold)
//       ... a [-b-]{+c+} d ...      (the word-level changes of the detail
//                                    report, one per line; else
//       - A's text                   the diff of text kinds: "- " red,
//       + B's text                   "+ " green, 4 spaces deeper)
//         next line of B's text     (a line break in the page text: the
//                                    rest lines up under the text)
void append_differences(std::string &out, const report::Report &r, const Style &style, int indent = 0);

// Appends the differences beside the pages, each as a line and its old
// and new values below ("- " red, "+ " green):
//   document: metadata changed Title
//       - Old title
//       + New title
//   page 2: link changed
//       - {"uri":"https://a.example"}
void append_document(std::string &out, const report::Report &r, const Style &style, int indent = 0);

// The word-level changes of one difference, one line each, as a word
// diff with up to five words of context on each side:
//   ... copies of this manual [-provided-]{+MORVEX+} the copyright ...
// ("[-...-]" red, "{+...+}" green with colour).
void append_word_diff(std::string &out, const report::Difference &d, const Style &style, const std::string &pad);

// The differences as above, then the summary line ("1 difference on 1 of
// 1 page", "identical (2 pages)").
std::string format(const report::Report &r, const Style &style);

}  // namespace text

#endif
