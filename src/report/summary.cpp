#include "summary.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "numbers.h"
#include "pdf_text.h"
#include "side_marks.h"

namespace morvex {

namespace {

constexpr double kMargin = 54;
constexpr double kRight = kSummaryW - kMargin;
constexpr double kLine = 14;  // line pitch of the pair list
constexpr double kListSize = 9.5;

// Kinds in the order the summary counts them; kinds not named here follow
// in the order they first appear.
constexpr const char *kKindOrder[] = {
    "page_added",    "page_removed",  "page_moved",         "text_changed",     "text_added",      "text_removed",
    "image_added",   "image_removed", "image_changed",      "dimensions_changed", "rotation_changed", "style",
    "drawing",       "content_changed",
};

std::vector<std::pair<std::string, int>> kind_counts(const DiffList &list) {
    std::vector<std::pair<std::string, int>> counts;
    for (const char *k : kKindOrder) counts.emplace_back(k, 0);
    auto count = [&](const char *type) {
        for (auto &[kind, n] : counts) {
            if (kind == type) {
                ++n;
                return;
            }
        }
        counts.emplace_back(type, 1);
    };
    for (const DiffEntry &e : list.entries) {
        // A content change that knows its regions counts each by its kind.
        if (!e.paint.empty()) {
            for (const PaintChange &c : e.paint) count(c.kind);
            continue;
        }
        count(e.type);
    }
    std::vector<std::pair<std::string, int>> out;
    for (auto &c : counts)
        if (c.second > 0) out.push_back(std::move(c));
    return out;
}

std::string plural(int n, const char *one, const char *many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

void put_right(ByteBuf *out, bool bold, double size, double right, double y, std::string_view winansi) {
    put_text(out, bold, size, right - helvetica_width(winansi, size, bold), y, winansi);
}

// The first page's head: title, files, counts, legend.  Returns the
// baseline of the first list line.
double put_head(ByteBuf *out, const SummaryInput &in) {
    double y = kSummaryH - kMargin - 12;
    buf_str(out, "0.1 g\n");
    put_text(out, true, 18, kMargin, y, "Comparison report");
    y -= 30;
    const struct {
        const char *side;
        const std::string &name;
        int32_t pages;
    } files[] = {{"A", in.name_a, in.pages_a}, {"B", in.name_b, in.pages_b}};
    for (const auto &f : files) {
        put_text(out, true, 10, kMargin, y, f.side);
        const std::string pages = plural(f.pages, "page", "pages");
        const double pages_w = helvetica_width(pages, 10);
        put_text(out, false, 10, kMargin + 18, y,
                 elide_middle(winansi_from_utf8(f.name), 10, false, kRight - kMargin - 18 - pages_w - 12));
        put_right(out, false, 10, kRight, y, pages);
        y -= 15;
    }
    y -= 8;
    const CompareOptions &opts = *in.opts;
    size_t changed = 0;
    for (const ReviewPair &p : *in.pairs) changed += p.changed() ? 1 : 0;
    std::string line = "Page pairs: " + std::to_string(in.pairs->size()) + " (by " +
                       (opts.pairing == Pairing::Content ? "content" : "position") +
                       "), changed: " + std::to_string(changed) +
                       ", identical: " + std::to_string(in.pairs->size() - changed);
    if (opts.changed_only && changed < in.pairs->size()) line += " (left out of this report)";
    put_text(out, false, 10, kMargin, y, line);
    y -= 24;

    put_text(out, true, 11, kMargin, y, "Differences");
    y -= 16;
    const auto counts = kind_counts(*in.list);
    if (counts.empty()) {
        put_text(out, false, 10, kMargin + 18, y,
                 in.list->document.empty() ? "None: the documents are identical." : "None on the pages.");
        y -= 14;
    }
    for (const auto &[kind, n] : counts) {
        put_text(out, false, 10, kMargin + 18, y, kind_phrase(kind.c_str()));
        put_right(out, false, 10, kMargin + 260, y, std::to_string(n));
        y -= 14;
    }
    std::vector<size_t> all(in.list->entries.size());
    for (size_t k = 0; k < all.size(); ++k) all[k] = k;
    const WordCounts words = word_counts(*in.list, all);
    if (words.total() > 0) {
        put_text(out, false, 10, kMargin + 18, y,
                 "Word changes: " + std::to_string(words.deleted) + " deleted, " + std::to_string(words.inserted) +
                     " inserted, " + std::to_string(words.replaced) + " replaced");
        y -= 14;
    }
    // What differs beside the pages, counted by kind ("link changed  3").
    std::map<std::string, int> document;
    for (const DocDiff &d : in.list->document) ++document[d.type];
    for (const auto &[type, n] : document) {
        std::string phrase = type;
        std::replace(phrase.begin(), phrase.end(), '_', ' ');
        put_text(out, false, 10, kMargin + 18, y, "Document: " + phrase);
        put_right(out, false, 10, kMargin + 260, y, std::to_string(n));
        y -= 14;
    }
    if (!opts.ignore_regions.empty() || !opts.ignore_text.empty()) {
        put_text(out, false, 10, kMargin + 18, y,
                 "Ignored: " + plural(static_cast<int>(opts.ignore_regions.size()), "region", "regions") + ", " +
                     plural(static_cast<int>(opts.ignore_text.size()), "text pattern", "text patterns"));
        y -= 14;
    }
    y -= 10;

    put_text(out, true, 11, kMargin, y, "Marks");
    y -= 18;
    static const struct {
        const char *label;
        int style;  // a MarkStyle, or -1 for the ignored region
    } kLegend[] = {{"deleted (on A)", 0}, {"inserted (on B)", 1}, {"replaced (both)", 2},
                   {"style", 3},          {"drawing", 4},         {"link or annotation (A dotted)", 5},
                   {"ignored region", -1}};
    double x = kMargin + 18;
    for (const auto &item : kLegend) {
        const double item_w = 32 + helvetica_width(item.label, 9);
        if (x + item_w > kRight) {  // the rest of the legend on the next line
            x = kMargin + 18;
            y -= 16;
        }
        if (item.style < 0)
            put_ignored_sample(out, x, y - 2, 26, 11);
        else
            put_mark_sample(out, static_cast<MarkStyle>(item.style), x, y - 2, 26, 11);
        put_text(out, false, 9, x + 32, y, item.label);
        x += 32 + helvetica_width(item.label, 9) + 22;
    }
    y -= 14;
    put_text(out, false, 8.5, kMargin + 18, y,
             "Pages only one file has face an empty frame; page size, rotation and unplaced content changes frame both pages.");
    y -= 26;
    put_text(out, true, 11, kMargin, y, "Changed page pairs");
    return y - 18;
}

void put_list_line(SummaryPage *page, const SummaryInput &in, size_t k, size_t summary_pages, double y) {
    const ReviewPair &pair = (*in.pairs)[in.listed[k]];
    ByteBuf *out = &page->content;
    buf_str(out, "0 0 0.55 rg\n");
    put_text(out, false, kListSize, kMargin, y, pair_label(pair.pages));
    const std::string target = "page " + std::to_string(summary_pages + in.listed_page[k] + 1);
    const double target_w = helvetica_width(target, kListSize);
    buf_str(out, "0.1 g\n");
    put_text(out, false, kListSize, kMargin + 110, y,
             elide_middle(pair_description(*in.list, pair), kListSize, false, kRight - kMargin - 110 - target_w - 12));
    buf_str(out, "0 0 0.55 rg\n");
    put_right(out, false, kListSize, kRight, y, target);
    page->links.push_back({kMargin - 2, y - 3.5, kRight + 2, y + kListSize + 1, k});
}

}  // namespace

void put_text(ByteBuf *out, bool bold, double size, double x, double y, std::string_view winansi) {
    buf_str(out, bold ? "BT /F2 " : "BT /F1 ");
    put_f(out, {size});
    buf_str(out, " Tf ");
    put_f(out, {x, y});
    buf_str(out, " Td ");
    put_pdf_string(out, winansi);
    buf_str(out, " Tj ET\n");
}

std::vector<SummaryPage> build_summary_pages(const SummaryInput &in) {
    std::vector<SummaryPage> pages(1);
    const double first_y = put_head(&pages[0].content, in);
    const double bottom = kMargin;
    const size_t first_cap = first_y < bottom ? 0 : static_cast<size_t>((first_y - bottom) / kLine) + 1;
    const double next_top = kSummaryH - kMargin - 12 - 26;
    const size_t next_cap = static_cast<size_t>((next_top - bottom) / kLine) + 1;
    const size_t n = in.listed.size();
    const size_t count = n <= first_cap ? 1 : 1 + (n - first_cap + next_cap - 1) / next_cap;
    pages.resize(count);
    if (n == 0) {
        buf_str(&pages[0].content, "0.1 g\n");
        put_text(&pages[0].content, false, 10, kMargin + 18, first_y, "No page pair differs.");
    }
    size_t k = 0;
    for (size_t p = 0; p < count && k < n; ++p) {
        double y = first_y;
        if (p > 0) {
            buf_str(&pages[p].content, "0.1 g\n");
            put_text(&pages[p].content, true, 11, kMargin, kSummaryH - kMargin - 12, "Changed page pairs (continued)");
            y = next_top;
        }
        for (const size_t cap = p == 0 ? first_cap : next_cap, end = std::min(n, k + cap); k < end; ++k, y -= kLine)
            put_list_line(&pages[p], in, k, count, y);
    }
    return pages;
}

}  // namespace morvex
