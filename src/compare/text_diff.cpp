// The text difference of a page pair: kind, difference text, and the
// rectangles of the words that changed on each side.
#include <cmath>
#include <cstdio>
#include <new>
#include <string_view>
#include <unordered_map>

#include "diff.h"

namespace morvex {

namespace {

// Matching stops above this product of the two word counts; the whole of
// B's page is marked instead.  It caps the match table at 16 MB.
constexpr long long kMaxMatchProduct = 3'999'999;
// Beyond this many rectangles on one side, merging takes one linear pass
// over neighbours in word order instead of the all-pairs search.
constexpr int kMaxPairwiseMerge = 4096;

bool joinable(const DiffRect &p, const DiffRect &q) {
    return std::fabs(p.y - q.y) < 4.0 && std::fabs(p.h - q.h) < 4.0 && q.x <= p.x + p.w + 12.0 &&
           p.x <= q.x + q.w + 12.0;
}

void join(DiffRect *p, const DiffRect &q) {
    const double right = std::fmax(p->x + p->w, q.x + q.w);
    p->x = std::fmin(p->x, q.x);
    p->w = right - p->x;
    p->h = std::fmax(p->h, q.h);
}

DiffRect rect_of(const TextItem &t) { return {t.x, t.y, t.w, t.h}; }

void merge_side(std::vector<DiffRect> *rects) {
    if (rects->size() >= 2) rects->resize(static_cast<size_t>(merge_rects(rects->data(), static_cast<int>(rects->size()))));
}

std::vector<DiffRect> all_boxes(const std::vector<TextItem> &items) {
    std::vector<DiffRect> r;
    r.reserve(items.size());
    for (const TextItem &t : items) r.push_back(rect_of(t));
    merge_side(&r);
    return r;
}

// The runs of unmatched words between matched ones, as word-level changes.
// Matched words pair up in order (they form the common subsequence), so a
// run on A and the run on B that stands between the same two matched words
// belong together.
// Words [from, to) of items joined by one space, clipped to the context size
// at the end nearest the change (`keep_end`: the last words).
std::string context(const std::vector<TextItem> &items, size_t from, size_t to, bool keep_end) {
    constexpr size_t n = kChangeContextWords;
    if (to - from > n) (keep_end ? from : to) = keep_end ? to - n : from + n;
    std::string s;
    for (size_t k = from; k < to; ++k) {
        if (!s.empty()) s += ' ';
        s += items[k].text;
    }
    return s;
}

void collect_changes(const std::vector<TextItem> &a, const std::vector<TextItem> &b,
                     const std::vector<bool> &matched_a, const std::vector<bool> &matched_b,
                     std::vector<WordChange> *changes) {
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        WordChange c;
        const size_t i0 = i, j0 = j;
        for (; i < a.size() && !matched_a[i]; ++i) {
            if (!c.old_text.empty()) c.old_text += ' ';
            c.old_text += a[i].text;
            c.rects_a.push_back(rect_of(a[i]));
        }
        for (; j < b.size() && !matched_b[j]; ++j) {
            if (!c.new_text.empty()) c.new_text += ' ';
            c.new_text += b[j].text;
            c.rects_b.push_back(rect_of(b[j]));
        }
        if (!c.rects_a.empty() || !c.rects_b.empty()) {
            std::snprintf(c.op, sizeof c.op, "%s",
                          c.rects_a.empty() ? "insert" : c.rects_b.empty() ? "delete" : "replace");
            merge_side(&c.rects_a);
            merge_side(&c.rects_b);
            const bool use_b = !b.empty();
            const std::vector<TextItem> &side = use_b ? b : a;
            const size_t at = use_b ? j0 : i0, end = use_b ? j : i;
            c.before = context(side, 0, at, true);
            c.after = context(side, end, side.size(), false);
            changes->push_back(std::move(c));
        }
        // Step over one matched pair (both sides are at matched words or ended).
        if (i < a.size()) ++i;
        if (j < b.size()) ++j;
    }
}

// Longest-common-subsequence match of the two word lists; fills the boxes
// of the words left unmatched on each side, in word order.
void match_words(const std::vector<TextItem> &a, const std::vector<TextItem> &b,
                 std::vector<DiffRect> *unmatched_a, std::vector<DiffRect> *unmatched_b,
                 std::vector<WordChange> *changes) {
    // Words become small integers so the table compares numbers, not strings.
    std::unordered_map<std::string_view, int> ids;
    auto id_list = [&](const std::vector<TextItem> &items) {
        std::vector<int> out;
        out.reserve(items.size());
        for (const TextItem &t : items) out.push_back(ids.emplace(t.text, static_cast<int>(ids.size())).first->second);
        return out;
    };
    const std::vector<int> ia = id_list(a), ib = id_list(b);
    std::vector<bool> matched_a(a.size()), matched_b(b.size());

    // Equal last words are matched first by the walk below; take them off
    // before building the table.
    size_t na = a.size(), nb = b.size();
    while (na > 0 && nb > 0 && ia[na - 1] == ib[nb - 1]) {
        matched_a[--na] = true;
        matched_b[--nb] = true;
    }
    // L[i][j]: common subsequence length of the first i words of A and the
    // first j of B.  Values stay below 2000 under the product cap.
    const size_t cols = nb + 1;
    std::vector<uint16_t> L((na + 1) * cols, 0);
    for (size_t i = 1; i <= na; ++i) {
        for (size_t j = 1; j <= nb; ++j) {
            L[i * cols + j] = ia[i - 1] == ib[j - 1]
                                  ? static_cast<uint16_t>(L[(i - 1) * cols + j - 1] + 1)
                                  : std::max(L[(i - 1) * cols + j], L[i * cols + j - 1]);
        }
    }
    // Walk back; on a tie B's word is given up first.
    size_t i = na, j = nb;
    while (i > 0 || j > 0) {
        if (i > 0 && j > 0 && ia[i - 1] == ib[j - 1]) {
            matched_a[--i] = true;
            matched_b[--j] = true;
        } else if (j > 0 && (i == 0 || L[i * cols + j - 1] >= L[(i - 1) * cols + j])) {
            --j;
        } else {
            --i;
        }
    }
    for (size_t k = 0; k < a.size(); ++k)
        if (!matched_a[k]) unmatched_a->push_back(rect_of(a[k]));
    for (size_t k = 0; k < b.size(); ++k)
        if (!matched_b[k]) unmatched_b->push_back(rect_of(b[k]));
    collect_changes(a, b, matched_a, matched_b, changes);
}

}  // namespace

int merge_rects(DiffRect *rects, int n) {
    if (n > kMaxPairwiseMerge) {
        // One pass: each rectangle joins the one kept before it when they
        // are neighbours on one line (words arrive in reading order).
        int kept = 1;
        for (int k = 1; k < n; ++k) {
            if (joinable(rects[kept - 1], rects[k]))
                join(&rects[kept - 1], rects[k]);
            else
                rects[kept++] = rects[k];
        }
        return kept;
    }
    for (int a = 0; a + 1 < n; ++a) {
        int b = a + 1;
        while (b < n) {
            if (joinable(rects[a], rects[b])) {
                join(&rects[a], rects[b]);
                rects[b] = rects[n - 1];
                --n;
                b = a + 1;
            } else {
                ++b;
            }
        }
    }
    return n;
}

void add_text_difference(DiffList *list, int page, const PageSummary &a, const PageSummary &b) {
    const char *kind = a.text.empty() ? "text_added" : b.text.empty() ? "text_removed" : "text_changed";
    std::string text;
    if (!a.text.empty()) text += "- " + a.text + "\n";
    if (!b.text.empty()) text += "+ " + b.text;

    std::vector<DiffRect> ra, rb;
    std::vector<WordChange> changes;
    bool matched = false;
    const size_t na = a.items.size(), nb = b.items.size();
    try {
        if (na == 0 && nb > 0) {
            rb = all_boxes(b.items);
        } else if (na > 0 && nb == 0) {
            ra = all_boxes(a.items);
        } else if (na > 0 && nb > 0) {
            if (static_cast<long double>(na) * static_cast<long double>(nb) > kMaxMatchProduct) {
                rb = all_boxes(b.items);
            } else {
                match_words(a.items, b.items, &ra, &rb, &changes);
                matched = true;
                merge_side(&ra);
                merge_side(&rb);
            }
        }
        if (!matched && (na > 0 || nb > 0)) {
            // Text added or removed whole, or too many words to match: one
            // change covering both pages' words.
            std::vector<bool> none_a(na, false), none_b(nb, false);
            collect_changes(a.items, b.items, none_a, none_b, &changes);
        }
    } catch (const std::bad_alloc &) {
        ra.clear();
        rb.clear();
        changes.clear();
    }
    diff_result_add(list, page, kind, text.c_str(), rb.data(), static_cast<int>(rb.size()), ra.data(),
                    static_cast<int>(ra.size()));
    list->entries.back().changes = std::move(changes);
}

}  // namespace morvex
