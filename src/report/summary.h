// The summary pages at the front of the side-by-side report: both file
// names and page counts, the differences counted by kind, a legend of the
// marks, and the list of changed page pairs, each line a link to the pair's
// report page.  Letter-sized, set in Helvetica (/F1) and Helvetica-Bold
// (/F2) with WinAnsiEncoding; as many pages as the list needs.
#pragma once

#include <string>
#include <vector>

#include "../bytebuf.h"
#include "../compare/diff.h"
#include "../options/options.h"
#include "review_pairs.h"

namespace morvex {

constexpr double kSummaryW = 612, kSummaryH = 792;

struct SummaryInput {
    const DiffList *list = nullptr;
    const std::vector<ReviewPair> *pairs = nullptr;
    // The changed pairs the report shows (indexes into pairs), in order,
    // and for each the position of its report page among the pair pages.
    std::vector<size_t> listed;
    std::vector<size_t> listed_page;
    std::string name_a, name_b;  // UTF-8, as the caller gave them
    int32_t pages_a = 0, pages_b = 0;
    const CompareOptions *opts = nullptr;
};

// A link area on a summary page, in its user space, and the listed pair
// (index into SummaryInput::listed) it leads to.
struct SummaryLink {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    size_t listed = 0;
};

struct SummaryPage {
    ByteBuf content;
    std::vector<SummaryLink> links;
};

std::vector<SummaryPage> build_summary_pages(const SummaryInput &in);

// Appends "BT /Fn size Tf x y Td (text) Tj ET" for WinAnsi bytes.
void put_text(ByteBuf *out, bool bold, double size, double x, double y, std::string_view winansi);

}  // namespace morvex
