// Pairs the pages of two documents by position and lists their differences.
#include <algorithm>
#include <cmath>

#include "diff.h"

namespace morvex {

namespace {

DiffRect box_of(const ImageItem &im) { return {im.x, im.y, im.w, im.h}; }

void compare_images(DiffList *out, int p, const PageSummary &a, const PageSummary &b) {
    if (b.images.size() > a.images.size()) {
        const DiffRect r = box_of(b.images.back());
        diff_result_add(out, p, "image_added", nullptr, &r, 1, nullptr, 0);
    } else if (b.images.size() < a.images.size()) {
        const DiffRect r = box_of(a.images.back());
        diff_result_add(out, p, "image_removed", nullptr, nullptr, 0, &r, 1);
    } else {
        for (size_t k = 0; k < a.images.size(); ++k) {
            if (std::fabs(a.images[k].x - b.images[k].x) > 2.0 || std::fabs(a.images[k].y - b.images[k].y) > 2.0) {
                const DiffRect r = box_of(b.images[k]);
                diff_result_add(out, p, "image_changed", nullptr, &r, 1, nullptr, 0);
                break;
            }
        }
    }
}

}  // namespace

void compare_summaries(DiffList *out, int p, const PageSummary &sa, const PageSummary &sb) {
    if (std::fabs(sa.width - sb.width) > 1.0 || std::fabs(sa.height - sb.height) > 1.0)
        diff_result_add(out, p, "dimensions_changed", nullptr, nullptr, 0, nullptr, 0);
    else if (sa.rotation != sb.rotation)
        diff_result_add(out, p, "rotation_changed", nullptr, nullptr, 0, nullptr, 0);
    compare_images(out, p, sa, sb);
    if (sa.text != sb.text)
        add_text_difference(out, p, sa, sb);
    else if (sa.content_hash != sb.content_hash)
        diff_result_add(out, p, "content_changed", nullptr, nullptr, 0, nullptr, 0);
}

void compare_docs(const PdfDocument &a, const PdfDocument &b, DiffList *out) {
    *out = DiffList{};
    out->identical = 1;
    out->pages_compared = std::max(a.page_count(), b.page_count());
    const int common = std::min(a.page_count(), b.page_count());
    for (int i = 0; i < common; ++i) {
        const int p = i + 1;
        const size_t first_entry = out->entries.size();
        out->pairs.push_back({i, i});
        PageSummary sa, sb;
        analyze_page(a, i, &sa);
        analyze_page(b, i, &sb);
        compare_summaries(out, p, sa, sb);
        for (size_t k = first_entry; k < out->entries.size(); ++k) {
            out->entries[k].page_a = p;
            out->entries[k].page_b = p;
        }
        page_analysis_free(&sa);
        page_analysis_free(&sb);
    }
    for (int p = a.page_count() + 1; p <= b.page_count(); ++p) {
        out->pairs.push_back({-1, p - 1});
        diff_result_add(out, p, "page_added", nullptr, nullptr, 0, nullptr, 0);
        out->entries.back().page_b = p;
    }
    for (int p = b.page_count() + 1; p <= a.page_count(); ++p) {
        out->pairs.push_back({p - 1, -1});
        diff_result_add(out, p, "page_removed", nullptr, nullptr, 0, nullptr, 0);
        out->entries.back().page_a = p;
    }
}

}  // namespace morvex

