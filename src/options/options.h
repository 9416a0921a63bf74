// The options of morvex_compare_opts and morvex_visual_opts, once read from
// their JSON text.  Default values give exactly what the six plain functions
// do.  The reader of the JSON text lives beside this header.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace morvex {

enum class ReportKind { Compare, Text, Detail };
enum class Pairing { Position, Content };
enum class Layout { Overlay, SideBySide };

// 1-based page ranges, such as "1-3,7,10-".  Empty means every page.
// `last` is 0 for an open end ("10-").
struct PageRange {
    int first = 1;
    int last = 0;
};
using PageRanges = std::vector<PageRange>;

// True when page (1-based) lies in one of the ranges, or the list is empty.
inline bool page_in_ranges(const PageRanges &r, int page) {
    if (r.empty()) return true;
    for (const PageRange &x : r)
        if (page >= x.first && (x.last == 0 || page <= x.last)) return true;
    return false;
}

enum IgnoreSide { kSideA = 1, kSideB = 2, kSideBoth = 3 };

// A rectangle whose differences are not reported.  Points, origin at the
// top-left corner of the page as displayed (after /Rotate), y downward.
struct IgnoreRegion {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    PageRanges pages;  // pages of the side it applies to; empty = all
    int side = kSideBoth;
};

// What the document-level comparison looks at (the "document" option).
enum DocKind : unsigned {
    kDocMetadata = 1,        // Title, Author, Subject, Keywords, Creator; XMP title, creator, description
    kDocMetadataDates = 2,   // CreationDate, ModDate, Producer: changed by every regeneration
    kDocOutline = 4,
    kDocLinks = 8,
    kDocAnnotations = 16,
    kDocFields = 32,
    kDocAttachments = 64,
    kDocPageLabels = 128,
};
inline constexpr unsigned kDocAll = 255;
inline constexpr unsigned kDocDefault = kDocAll & ~kDocMetadataDates;

struct CompareOptions {
    ReportKind report = ReportKind::Compare;
    Pairing pairing = Pairing::Position;
    PageRanges pages_a, pages_b;
    std::vector<IgnoreRegion> ignore_regions;
    std::vector<std::string> ignore_text;  // regular expressions, matched in full
    Layout layout = Layout::Overlay;
    // Kinds of painted changes left out: "style", "drawing", "image".
    bool ignore_style = false, ignore_drawing = false, ignore_image = false;
    bool changed_only = false;  // side-by-side report: leave identical pairs out
    int threads = 0;            // 0: the default (cores available, capped)
    unsigned document_kinds = kDocDefault;  // DocKind bits
    std::optional<std::string> password, password_a, password_b;
    // True when the caller passed options at all (even "{}"): the options
    // functions refuse files in which no page is found.
    bool from_options_api = false;
    // Analyse every page pair, also those known to read alike (not an
    // option of the JSON text: tests compare both roads).
    bool analyse_alike_pages = false;
};

}  // namespace morvex
