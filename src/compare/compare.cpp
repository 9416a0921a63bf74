// Pairs the pages of two documents by position and lists their differences.
#include <algorithm>
#include <cmath>

#include "../page/image_identity.h"
#include "diff.h"
#include "paint_diff.h"
#include "parallel.h"

namespace morvex {

namespace {

DiffRect box_of(const ImageItem &im) { return {im.x, im.y, im.w, im.h}; }

void compare_images(DiffList *out, int p, const PageSummary &a, const PageSummary &b, const PdfDocument *da,
                    const PdfDocument *db) {
    if (b.images.size() > a.images.size()) {
        const DiffRect r = box_of(b.images.back());
        diff_result_add(out, p, "image_added", nullptr, &r, 1, nullptr, 0);
    } else if (b.images.size() < a.images.size()) {
        const DiffRect r = box_of(a.images.back());
        diff_result_add(out, p, "image_removed", nullptr, nullptr, 0, &r, 1);
    } else {
        // A move is reported as before, at the first pair that moved; else
        // every placement whose pixels changed, in one entry marked on both
        // sides (an image drawn five times is marked five times).
        std::vector<DiffRect> ra, rb;
        const ImageItem *first = nullptr, *first_b = nullptr;
        for (size_t k = 0; k < a.images.size(); ++k) {
            const ImageItem &ia = a.images[k], &ib = b.images[k];
            if (std::fabs(ia.x - ib.x) > 2.0 || std::fabs(ia.y - ib.y) > 2.0) {
                const DiffRect r = box_of(ib);
                diff_result_add(out, p, "image_changed", nullptr, &r, 1, nullptr, 0);
                out->entries.back().moved_from = box_of(ia);
                return;
            }
            if (da && db && !same_image(*da, ia, *db, ib)) {
                if (!first) first = &ia, first_b = &ib;
                ra.push_back(box_of(ia));
                rb.push_back(box_of(ib));
            }
        }
        if (!first) return;
        diff_result_add(out, p, "image_changed", nullptr, rb.data(), static_cast<int>(rb.size()), ra.data(),
                        static_cast<int>(ra.size()));
        const PixelSize sa = image_pixel_size(*da, *first), sb = image_pixel_size(*db, *first_b);
        out->entries.back().pixels = DiffEntry::Pixels{sa.w, sa.h, sb.w, sb.h};
    }
}

}  // namespace

void compare_summaries(DiffList *out, int p, const PageSummary &sa, const PageSummary &sb, const PdfDocument *da,
                       const PdfDocument *db) {
    // A crop box moved over the page shows another part of it.
    const bool crop_moved = (sa.cropped || sb.cropped) &&
                            (std::fabs(sa.box_x - sb.box_x) > 1.0 || std::fabs(sa.box_y - sb.box_y) > 1.0);
    if (std::fabs(sa.width - sb.width) > 1.0 || std::fabs(sa.height - sb.height) > 1.0 || crop_moved)
        diff_result_add(out, p, "dimensions_changed", nullptr, nullptr, 0, nullptr, 0);
    else if (sa.rotation != sb.rotation)
        diff_result_add(out, p, "rotation_changed", nullptr, nullptr, 0, nullptr, 0);
    compare_images(out, p, sa, sb, da, db);
    // Texts equal but for ligatures and soft hyphens are the same text;
    // their content bytes differ, which content_changed reports.
    if (!same_text(sa.text, sb.text))
        add_text_difference(out, p, sa, sb);
    else if (sa.content_hash != sb.content_hash)
        diff_result_add(out, p, "content_changed", nullptr, nullptr, 0, nullptr, 0);
}

std::vector<DiffEntry> compare_page_pair(const PdfDocument &a, int ia, const PdfDocument &b, int ib,
                                         PageMatcher *match, PagePaint *paint_a, PagePaint *paint_b) {
    // Pages read alike give equal summaries, and equal summaries no entry.
    if (match && match->same(ia, ib)) return {};
    PageSummary sa, sb;
    analyze_page(a, ia, &sa, false, paint_a);
    analyze_page(b, ib, &sb, false, paint_b);
    DiffList local;
    compare_summaries(&local, ib + 1, sa, sb, &a, &b);
    for (DiffEntry &e : local.entries) {
        e.page_a = ia + 1;
        e.page_b = ib + 1;
        clip_to_shown_box(&e, a.pages[static_cast<size_t>(ia)], b.pages[static_cast<size_t>(ib)]);
    }
    return std::move(local.entries);
}

int thread_count(int requested) { return requested > 0 ? requested : default_thread_count(); }

namespace {

// One pair's entries and, when paint was asked for and the entries need it,
// the painted elements' verdict.
struct PairResult {
    std::vector<DiffEntry> entries;
    bool painted = false;
    std::optional<PairPaint> paint;
};

}  // namespace

void compare_docs(const PdfDocument &a, const PdfDocument &b, DiffList *out, int threads, bool analyse_alike,
                  PaintByPair *paint) {
    *out = DiffList{};
    out->identical = 1;
    out->pages_compared = std::max(a.page_count(), b.page_count());
    const int common = std::min(a.page_count(), b.page_count());
    const int t = thread_count(threads);
    out->pairs.reserve(static_cast<size_t>(out->pages_compared));
    PageMatcher matcher(a, b);
    PageMatcher *match = analyse_alike ? nullptr : &matcher;
    for (int first = 0; first < common; first += kPairsPerBatch) {
        const int n = std::min(kPairsPerBatch, common - first);
        std::vector<PairResult> found = parallel_map<PairResult>(static_cast<size_t>(n), t, [&](size_t k) {
            const int i = first + static_cast<int>(k);
            PairResult r;
            if (!paint) {
                r.entries = compare_page_pair(a, i, b, i, match);
                return r;
            }
            PagePaint pa, pb;
            r.entries = compare_page_pair(a, i, b, i, match, &pa, &pb);
            r.painted = needs_paint(r.entries);
            if (r.painted) r.paint = pair_paint(r.entries, pa, pb);
            return r;
        });
        for (int k = 0; k < n; ++k) {
            out->pairs.push_back({first + k, first + k});
            PairResult &r = found[static_cast<size_t>(k)];
            for (DiffEntry &e : r.entries) out->entries.push_back(std::move(e));
            if (r.painted) (*paint)[{first + k, first + k}] = std::move(r.paint);
        }
    }
    if (!out->entries.empty()) out->identical = 0;
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

