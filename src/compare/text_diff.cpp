// The text difference of a page pair: kind, difference text, and the
// rectangles of the words that changed on each side.
#include <cmath>
#include <cstdio>
#include <new>
#include <string_view>
#include <unordered_map>

#include "diff.h"
#include "word_match.h"

namespace morvex {

namespace {

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

// A word's box, and the box of its second part when it was hyphenated
// across a line end.
void add_boxes(std::vector<DiffRect> *r, const TextItem &t) {
    r->push_back({t.x, t.y, t.w, t.h});
    if (t.w2 > 0) r->push_back({t.x2, t.y2, t.w2, t.h2});
}

void merge_side(std::vector<DiffRect> *rects) {
    if (rects->size() >= 2) rects->resize(static_cast<size_t>(merge_rects(rects->data(), static_cast<int>(rects->size()))));
}

std::vector<DiffRect> all_boxes(const std::vector<TextItem> &items) {
    std::vector<DiffRect> r;
    r.reserve(items.size());
    for (const TextItem &t : items) add_boxes(&r, t);
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
            add_boxes(&c.rects_a, a[i]);
        }
        for (; j < b.size() && !matched_b[j]; ++j) {
            if (!c.new_text.empty()) c.new_text += ' ';
            c.new_text += b[j].text;
            add_boxes(&c.rects_b, b[j]);
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

// The line number of each word: a word starts a new line when it stands
// lower or higher than the one before by more than a third of the smaller
// height, or to the left of where that one began.
std::vector<int> line_numbers(const std::vector<TextItem> &items) {
    std::vector<int> out;
    out.reserve(items.size());
    int line = 0;
    for (size_t k = 0; k < items.size(); ++k) {
        if (k > 0) {
            const TextItem &p = items[k - 1], &t = items[k];
            const double tol = std::fmax(std::fmin(p.h, t.h) / 3.0, 0.5);
            if (std::fabs(t.y - p.y) > tol || t.x < p.x) ++line;
        }
        out.push_back(line);
    }
    return out;
}

// Matches the two word lists (see word_match.h); fills the boxes of the
// words left unmatched on each side, in word order.
void match_words(const std::vector<TextItem> &a, const std::vector<TextItem> &b,
                 std::vector<DiffRect> *unmatched_a, std::vector<DiffRect> *unmatched_b,
                 std::vector<WordChange> *changes) {
    // Words become small integers so the match compares numbers, not
    // strings.  They are compared in their folded form (ligatures as
    // letters, no soft hyphens); the folded copies live in `folded`, which
    // never grows beyond its reserve, so the views into it stay valid.
    std::unordered_map<std::string_view, int> ids;
    std::vector<std::string> folded;
    folded.reserve(a.size() + b.size());
    auto id_list = [&](const std::vector<TextItem> &items) {
        std::vector<int> out;
        out.reserve(items.size());
        for (const TextItem &t : items) {
            std::string_view key = t.text;
            if (text_needs_fold(key)) {
                folded.push_back(fold_text(key));
                key = folded.back();
            }
            out.push_back(ids.emplace(key, static_cast<int>(ids.size())).first->second);
        }
        return out;
    };
    const std::vector<int> ia = id_list(a), ib = id_list(b);
    std::vector<bool> matched_a, matched_b;
    match_word_ids(ia, ib, line_numbers(a), line_numbers(b), &matched_a, &matched_b);
    for (size_t k = 0; k < a.size(); ++k)
        if (!matched_a[k]) add_boxes(unmatched_a, a[k]);
    for (size_t k = 0; k < b.size(); ++k)
        if (!matched_b[k]) add_boxes(unmatched_b, b[k]);
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
            match_words(a.items, b.items, &ra, &rb, &changes);
            matched = true;
            merge_side(&ra);
            merge_side(&rb);
        }
        if (!matched && (na > 0 || nb > 0)) {
            // Text added or removed whole: one change covering the page's words.
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
