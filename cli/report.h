// A comparison report as the library returns it, read back from its JSON,
// and the words the command shows for it.
#ifndef MORVEX_CLI_REPORT_H
#define MORVEX_CLI_REPORT_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json_reader.h"

namespace report {

// One word-level change of the detail report.
struct Change {
    std::string op;                // "insert", "delete" or "replace"
    std::string old_text, new_text;
    std::string before, after;     // words around the change
};

// One change among what a page paints (content_changed of the detail
// report): "style" with the words and their old and new look, or "drawing".
struct Look {
    std::string font, color;
    double size = 0;
};
struct PaintChange {
    std::string kind;
    std::string text;
    Look old_look, new_look;
};

struct Difference {
    long long page = 0;
    std::string type;       // e.g. "text_changed"
    bool has_diff = false;  // text kinds of the text report carry one
    std::string diff;       // "- A's text\n+ B's text"
    long long page_a = 0, page_b = 0;  // with pages paired by content; 0 = none or not given
    bool has_changes = false;          // text kinds of the detail report carry them
    std::vector<Change> changes;
    // An image whose pixels changed (the detail report's "image"): its size
    // in samples in A and in B.
    bool has_pixels = false;
    long long old_w = 0, old_h = 0, new_w = 0, new_h = 0;
    std::vector<PaintChange> paint;  // content_changed of the detail report
};

// One difference beside the pages (metadata, bookmarks, links, ...).
struct DocumentDifference {
    std::string type;                  // e.g. "link_changed"
    std::string key;                   // "" when the entry has none
    long long page_a = 0, page_b = 0;  // 0 = none
    std::string old_value, new_value;  // a string as it is, anything else as compact JSON
    std::string problem;
};

// "colour #000000 -> #ff0000", "font Helvetica -> Times-Roman, size 12 -> 14":
// what differs between the two looks of a style change.
std::string look_change(const PaintChange &c);

struct Report {
    bool identical = true;
    long long pages_compared = 0;
    std::vector<Difference> differences;
    std::vector<DocumentDifference> document;
};

// Reads {"identical":..,"pages_compared":..,"differences":[{"page":..,
// "type":..,"diff":..},..]}.  Members the command does not know are
// ignored; a missing or mistyped member is an error ("report: ...").
std::optional<Report> read(std::string_view json, std::string *error = nullptr);
std::optional<Report> from_value(const json::Value &doc, std::string *error = nullptr);

// What a kind of difference is called on screen: "text changed",
// "page size changed", ...; an unknown kind shows with its underscores as
// spaces.
std::string describe(std::string_view type);

// +1 for kinds that add something (shown green), -1 for kinds that remove
// something (red), 0 for changes.
int direction(std::string_view type);

// One line of a text diff: the sign of the side it belongs to ('-' for A,
// '+' for B), whether it starts that side (and so has the "- " or "+ "
// marker) or continues it after a line break in the page text, and the
// text without the marker.
struct DiffLine {
    char sign = '-';
    bool first = true;
    std::string text;
};
std::vector<DiffLine> diff_lines(std::string_view diff);

// Text made safe to show: control characters (but tab) and the C1 range
// become visible escapes (\x1b, \u009b), bytes that are not UTF-8 become
// U+FFFD; everything else is kept.  Line feeds are escaped too, so the
// result is always one line.
std::string printable(std::string_view text);

// Keeps the differences the text report lists (text kinds, pages added,
// removed or moved) and decides "identical" from them: the text command's
// view of a detail report.
void restrict_to_text(Report &r);
// The same for a detail report read as JSON: its differences and
// "identical"; its other members are left as they are.
void restrict_to_text(json::Value &detail);

// "2 differences on 2 of 5 pages" or "identical (5 pages)", with "and 1
// document difference" (or that alone) when the document list has any.
std::string summary(const Report &r);

// Number of distinct pages named by the differences.
std::size_t pages_with_differences(const Report &r);

// "1 page", "3 pages" and so on.
std::string count(long long n, std::string_view one, std::string_view many);

}  // namespace report

#endif
