// One difference of the document-level comparison, as the reports write it.
// Kept apart from the readers so that the difference list can hold these
// without knowing how they are found.
#pragma once

#include <array>
#include <string>

namespace morvex {

struct DocDiff {
    std::string type;  // "metadata_changed", "link_added", ...
    std::string key;   // what the entry is about (a metadata key, a field name); "" for none
    // 1-based pages of a page-bound entry, 0 where the side has none.
    int page_a = 0, page_b = 0;
    // Rectangles in the top-left convention of the detail report
    // (x0, y0, x1, y1), present where the side has one.
    bool has_rect_a = false, has_rect_b = false;
    std::array<double, 4> rect_a{}, rect_b{};
    // JSON texts of the old (A) and new (B) values: "null" where absent.
    std::string old_json = "null", new_json = "null";
    // What could not be read, on either side; "" when everything was.
    std::string problem;
};

}  // namespace morvex
