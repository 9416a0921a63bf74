// The review page of one pair: every difference of the detail report in
// report order, with its pages, its kind, the changed words (old struck
// through, new underlined) and a link to the page of the visual report
// that shows it.  Kinds the command does not know are shown from their
// fields, so new kinds in the detail report need no change here.
#ifndef MORVEX_CLI_REVIEW_PAGE_H
#define MORVEX_CLI_REVIEW_PAGE_H

#include <cstddef>
#include <string>
#include <vector>

#include "json_reader.h"

namespace review {

enum class Layout { Overlay, SideBySide };

// The visual report a review page links to.
struct ReportPdf {
    std::string href;  // URL relative to the page; empty when none was written
    Layout layout = Layout::Overlay;
    bool changed_only = false;
    long long pages = 0;  // pages of the report file; 0 when unknown
};

// The page count of a visual report the library wrote (the /Count of its
// page tree, which comes right after the catalog), or 0 when the file
// cannot be read or holds no page tree in its first 16 MB.
long long pdf_page_count(const std::string &path);

// For each entry of the detail report's "differences", the page of the
// visual report that shows it, or 0 when that is unknown.  The overlay
// report has one page per page position; the side-by-side report has its
// summary pages, then one page per page pair it shows (every pair of
// "pairs", or the changed ones with changed_only), so the summary is the
// report's page count less those.
std::vector<long long> report_pages(const json::Value &detail, const ReportPdf &pdf);

// Appends one difference as an <li>: where, what kind, a link to its
// report page (when `report_page` > 0 and there is a report), then its
// word changes (at most `max_changes`, 0 for all) or its other fields.
void append_difference(std::string &out, const json::Value &d, long long report_page, const ReportPdf &pdf,
                       std::size_t max_changes);

// A number as the pages show it: two decimals at most, no trailing zeros.
std::string number(double v);

struct PairPage {
    std::string title;           // what the page is about: a relative path, or "A vs B"
    std::string name_a, name_b;  // the two files as given
    const json::Value *detail = nullptr;
    ReportPdf pdf;
    std::string index_href;  // the batch's index page; empty for a single pair
};

// The whole page, self-contained: its style inline, no script, nothing
// fetched.
std::string pair_page(const PairPage &p);

}  // namespace review

#endif
