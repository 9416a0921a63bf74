// The word match.  Small pages get the exact table, as they always have, so
// their reports never change.  Dense pages (indexes, price lists, tables of
// 20,000 words) would need a table of hundreds of millions of cells; there
// Myers' search for the middle of a shortest edit path splits the pages
// until the stretches are small, in memory that grows with the word counts
// and time that grows with the differences, so one changed word on such a
// page costs little more than reading it.  Two unrelated dense pages would
// make the search quadratic: it stops after a fixed number of steps, and
// what is left is matched line by line (by the same search over lines,
// then by lines found once on each side).  The tables of one match share a
// fixed number of cells as well, so a page of millions of words costs
// bounded time whatever it holds.
#include "word_match.h"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace morvex {

namespace {

using Marks = std::vector<bool>;

// Inside the search, only stretches up to this product get the table: it
// costs their product whatever they hold, while the search costs little
// when they differ little.
constexpr long long kSearchTableProduct = 65'536;

// One stretch of both lists: words [alo, ahi) of A and [blo, bhi) of B.
struct Stretch {
    size_t alo, ahi, blo, bhi;
    long long product() const {
        return static_cast<long long>(ahi - alo) * static_cast<long long>(bhi - blo);
    }
};

// The exact longest-common-subsequence match of one stretch.  The caller
// keeps the product of its lengths at most kMaxExactProduct, so lengths
// stay below 2000 and fit the table's cells.
void exact_stretch(const std::vector<int> &ia, const std::vector<int> &ib, Stretch s, Marks *ma, Marks *mb) {
    // Equal last words are matched first by the walk below; take them off
    // before building the table.
    size_t na = s.ahi - s.alo, nb = s.bhi - s.blo;
    const int *a = ia.data() + s.alo, *b = ib.data() + s.blo;
    while (na > 0 && nb > 0 && a[na - 1] == b[nb - 1]) {
        (*ma)[s.alo + --na] = true;
        (*mb)[s.blo + --nb] = true;
    }
    // L[i][j]: common subsequence length of the first i words of A and the
    // first j of B.
    const size_t cols = nb + 1;
    std::vector<uint16_t> L((na + 1) * cols, 0);
    for (size_t i = 1; i <= na; ++i) {
        for (size_t j = 1; j <= nb; ++j) {
            L[i * cols + j] = a[i - 1] == b[j - 1] ? static_cast<uint16_t>(L[(i - 1) * cols + j - 1] + 1)
                                                   : std::max(L[(i - 1) * cols + j], L[i * cols + j - 1]);
        }
    }
    // Walk back; on a tie B's word is given up first.
    size_t i = na, j = nb;
    while (i > 0 || j > 0) {
        if (i > 0 && j > 0 && a[i - 1] == b[j - 1]) {
            (*ma)[s.alo + --i] = true;
            (*mb)[s.blo + --j] = true;
        } else if (j > 0 && (i == 0 || L[i * cols + j - 1] >= L[(i - 1) * cols + j])) {
            --j;
        } else {
            --i;
        }
    }
}

// Matches two integer lists: the difference search, then the table in the
// stretches it leaves.  `steps` is the search's allowance, shared by every
// stretch of one match; the stretches met once it is spent are returned.
// `cells` is the allowance of table cells, shared likewise.
class Matcher {
public:
    Matcher(const std::vector<int> &a, const std::vector<int> &b, Marks *ma, Marks *mb, long long exact_product,
            long long steps, long long *cells)
        : a_(a), b_(b), ma_(ma), mb_(mb), table_product_(std::min(exact_product, kSearchTableProduct)),
          steps_(steps), cells_(cells) {}

    // Matches the stretch; returns the stretches the allowance did not reach.
    std::vector<Stretch> run(Stretch whole) {
        std::vector<Stretch> todo{whole}, left;
        while (!todo.empty()) {
            Stretch s = todo.back();
            todo.pop_back();
            trim(&s);
            if (s.alo == s.ahi || s.blo == s.bhi) continue;
            if (s.product() <= table_product_ && s.product() <= *cells_) {
                *cells_ -= s.product();
                exact_stretch(a_, b_, s, ma_, mb_);
                continue;
            }
            size_t x = 0, y = 0;
            const size_t n = s.ahi - s.alo, m = s.bhi - s.blo;
            // A split at either corner would not shrink the stretch.
            if (!middle(s, &x, &y) || (x == 0 && y == 0) || (x == n && y == m)) {
                left.push_back(s);
                continue;
            }
            todo.push_back({s.alo, s.alo + x, s.blo, s.blo + y});
            todo.push_back({s.alo + x, s.ahi, s.blo + y, s.bhi});
        }
        return left;
    }
    long long steps_left() const { return std::max(0LL, steps_); }

private:
    // Equal first and last words belong to a longest common subsequence.
    void trim(Stretch *s) {
        while (s->alo < s->ahi && s->blo < s->bhi && a_[s->alo] == b_[s->blo]) {
            (*ma_)[s->alo++] = true;
            (*mb_)[s->blo++] = true;
        }
        while (s->alo < s->ahi && s->blo < s->bhi && a_[s->ahi - 1] == b_[s->bhi - 1]) {
            (*ma_)[--s->ahi] = true;
            (*mb_)[--s->bhi] = true;
        }
    }

    // Myers' search from both corners at once for a point of a shortest
    // edit path through the stretch, in the stretch's own coordinates.
    // v1[k] holds the furthest x reached from the top-left corner on
    // diagonal k = x - y, v2[k] the furthest reached back from the
    // bottom-right one; the point is where they meet.  False when the
    // allowance runs out first.
    bool middle(const Stretch &s, size_t *sx, size_t *sy) {
        const long n = static_cast<long>(s.ahi - s.alo), m = static_cast<long>(s.bhi - s.blo);
        const int *A = a_.data() + s.alo, *B = b_.data() + s.blo;
        const long max_d = (n + m + 1) / 2, off = max_d, len = 2 * max_d + 2;
        v1_.assign(static_cast<size_t>(len), -1);
        v2_.assign(static_cast<size_t>(len), -1);
        v1_[static_cast<size_t>(off + 1)] = 0;
        v2_[static_cast<size_t>(off + 1)] = 0;
        auto at1 = [&](long k) -> long & { return v1_[static_cast<size_t>(off + k)]; };
        auto at2 = [&](long k) -> long & { return v2_[static_cast<size_t>(off + k)]; };
        const long delta = n - m;
        const bool front = delta % 2 != 0;  // the forward search meets the backward one
        // Diagonals that ran off the grid are not looked at again.
        long k1start = 0, k1end = 0, k2start = 0, k2end = 0;
        for (long d = 0; d < max_d; ++d) {
            steps_ -= 2 * d + 2;
            if (steps_ < 0) return false;
            for (long k = -d + k1start; k <= d - k1end; k += 2) {
                long x = (k == -d || (k != d && at1(k - 1) < at1(k + 1))) ? at1(k + 1) : at1(k - 1) + 1;
                long y = x - k;
                const long x0 = x;
                while (x >= 0 && y >= 0 && x < n && y < m && A[x] == B[y]) ++x, ++y;
                steps_ -= x - x0;
                at1(k) = x;
                if (x > n) {
                    k1end += 2;
                } else if (y > m) {
                    k1start += 2;
                } else if (front) {
                    const long k2 = delta - k;
                    if (k2 >= -max_d && k2 <= max_d + 1 && at2(k2) != -1 && x >= n - at2(k2)) {
                        *sx = static_cast<size_t>(x);
                        *sy = static_cast<size_t>(y);
                        return true;
                    }
                }
            }
            for (long k = -d + k2start; k <= d - k2end; k += 2) {
                long x = (k == -d || (k != d && at2(k - 1) < at2(k + 1))) ? at2(k + 1) : at2(k - 1) + 1;
                long y = x - k;
                const long x0 = x;
                while (x >= 0 && y >= 0 && x < n && y < m && A[n - x - 1] == B[m - y - 1]) ++x, ++y;
                steps_ -= x - x0;
                at2(k) = x;
                if (x > n) {
                    k2end += 2;
                } else if (y > m) {
                    k2start += 2;
                } else if (!front) {
                    const long k1 = delta - k;
                    if (k1 >= -max_d && k1 <= max_d + 1 && at1(k1) != -1) {
                        const long x1 = at1(k1), y1 = x1 - k1;
                        if (x1 >= n - x && x1 >= 0 && y1 >= 0 && x1 <= n && y1 <= m) {
                            *sx = static_cast<size_t>(x1);
                            *sy = static_cast<size_t>(y1);
                            return true;
                        }
                    }
                }
            }
        }
        return false;
    }

    const std::vector<int> &a_, &b_;
    Marks *ma_, *mb_;
    long long table_product_;
    long long steps_;
    long long *cells_;
    std::vector<long> v1_, v2_;
};

// The runs of consecutive words on one line, inside [lo, hi), each given a
// number shared by every run of the same words on either page.
struct Lines {
    std::vector<int> ids;      // one per run
    std::vector<size_t> from;  // first word of each run; from.back() == hi
};

Lines line_runs(const std::vector<int> &words, const std::vector<int> &line, size_t lo, size_t hi,
                std::map<std::vector<int>, int> *numbers) {
    Lines out;
    for (size_t k = lo; k < hi;) {
        size_t e = k + 1;
        while (e < hi && line[e] == line[k]) ++e;
        std::vector<int> key(words.begin() + static_cast<std::ptrdiff_t>(k),
                             words.begin() + static_cast<std::ptrdiff_t>(e));
        out.ids.push_back(numbers->emplace(std::move(key), static_cast<int>(numbers->size())).first->second);
        out.from.push_back(k);
        k = e;
    }
    out.from.push_back(hi);
    return out;
}

// Patience diff's anchors for a stretch the search could not afford: the
// items that occur once in it on each side, as many of them as keep one
// order on both sides, and the equal items next to them.
void match_unique(const std::vector<int> &a, const std::vector<int> &b, Stretch s, Marks *ma, Marks *mb) {
    struct Seen {
        int in_a = 0, in_b = 0;
        size_t at_a = 0, at_b = 0;
    };
    std::unordered_map<int, Seen> seen;
    for (size_t k = s.alo; k < s.ahi; ++k) {
        Seen &e = seen[a[k]];
        ++e.in_a;
        e.at_a = k;
    }
    for (size_t k = s.blo; k < s.bhi; ++k) {
        Seen &e = seen[b[k]];
        ++e.in_b;
        e.at_b = k;
    }
    std::vector<std::pair<size_t, size_t>> pairs;  // (A, B) positions, in A's order
    for (size_t k = s.alo; k < s.ahi; ++k) {
        const Seen &e = seen[a[k]];
        if (e.in_a == 1 && e.in_b == 1) pairs.push_back({k, e.at_b});
    }
    // The longest run of pairs rising in B too: tails[l] ends the best run
    // of length l + 1 found so far, back[] links each pair to its predecessor.
    std::vector<size_t> tails, back(pairs.size(), SIZE_MAX);
    for (size_t p = 0; p < pairs.size(); ++p) {
        const auto at = std::lower_bound(tails.begin(), tails.end(), p, [&](size_t t, size_t q) {
            return pairs[t].second < pairs[q].second;
        });
        if (at != tails.begin()) back[p] = *(at - 1);
        if (at == tails.end()) tails.push_back(p);
        else *at = p;
    }
    std::vector<std::pair<size_t, size_t>> anchors;
    for (size_t p = tails.empty() ? SIZE_MAX : tails.back(); p != SIZE_MAX; p = back[p]) anchors.push_back(pairs[p]);
    std::reverse(anchors.begin(), anchors.end());
    // Each gap between anchors (and the stretch's ends) keeps its equal ends.
    size_t ai = s.alo, bi = s.blo;
    for (size_t k = 0; k <= anchors.size(); ++k) {
        size_t ae = k < anchors.size() ? anchors[k].first : s.ahi, be = k < anchors.size() ? anchors[k].second : s.bhi;
        while (ai < ae && bi < be && a[ai] == b[bi]) (*ma)[ai++] = (*mb)[bi++] = true;
        while (ai < ae && bi < be && a[ae - 1] == b[be - 1]) (*ma)[--ae] = (*mb)[--be] = true;
        if (k == anchors.size()) break;
        (*ma)[anchors[k].first] = (*mb)[anchors[k].second] = true;
        ai = anchors[k].first + 1;
        bi = anchors[k].second + 1;
    }
}

// A stretch the search could not afford: lines that read alike on both
// sides are matched, word for word; between them, the words get the table
// where it is small enough and stay unmatched otherwise, so a change marks
// its lines, never the whole page.
void match_by_lines(const std::vector<int> &a, const std::vector<int> &b, const std::vector<int> &line_a,
                    const std::vector<int> &line_b, Stretch s, Marks *ma, Marks *mb, long long exact_product,
                    long long *line_steps, long long *cells) {
    std::map<std::vector<int>, int> numbers;
    const Lines la = line_runs(a, line_a, s.alo, s.ahi, &numbers);
    const Lines lb = line_runs(b, line_b, s.blo, s.bhi, &numbers);
    Marks line_ma(la.ids.size(), false), line_mb(lb.ids.size(), false);
    Matcher lines(la.ids, lb.ids, &line_ma, &line_mb, exact_product, *line_steps, cells);
    for (const Stretch &rest : lines.run({0, la.ids.size(), 0, lb.ids.size()}))
        match_unique(la.ids, lb.ids, rest, &line_ma, &line_mb);
    *line_steps = lines.steps_left();

    size_t i = 0, j = 0;
    while (i < la.ids.size() || j < lb.ids.size()) {
        const size_t i0 = i, j0 = j;
        while (i < la.ids.size() && !line_ma[i]) ++i;
        while (j < lb.ids.size() && !line_mb[j]) ++j;
        const Stretch gap{la.from[i0], la.from[i], lb.from[j0], lb.from[j]};
        if (gap.alo < gap.ahi && gap.blo < gap.bhi && gap.product() <= exact_product && gap.product() <= *cells) {
            *cells -= gap.product();
            exact_stretch(a, b, gap, ma, mb);
        }
        if (i < la.ids.size() && j < lb.ids.size()) {
            for (size_t k = la.from[i]; k < la.from[i + 1]; ++k) (*ma)[k] = true;
            for (size_t k = lb.from[j]; k < lb.from[j + 1]; ++k) (*mb)[k] = true;
            ++i;
            ++j;
        } else {
            i = la.ids.size();
            j = lb.ids.size();
        }
    }
}

}  // namespace

void exact_word_match(const std::vector<int> &a, const std::vector<int> &b, Marks *matched_a, Marks *matched_b) {
    matched_a->assign(a.size(), false);
    matched_b->assign(b.size(), false);
    exact_stretch(a, b, {0, a.size(), 0, b.size()}, matched_a, matched_b);
}

void match_word_ids(const std::vector<int> &a, const std::vector<int> &b, const std::vector<int> &line_a,
                    const std::vector<int> &line_b, Marks *matched_a, Marks *matched_b,
                    const WordMatchLimits &limits) {
    const long long exact = std::clamp(limits.exact_product, 0LL, kMaxExactProduct);
    const Stretch whole{0, a.size(), 0, b.size()};
    matched_a->assign(a.size(), false);
    matched_b->assign(b.size(), false);
    if (whole.product() <= exact) {
        exact_stretch(a, b, whole, matched_a, matched_b);
        return;
    }
    long long cells = limits.table_cells, line_steps = limits.line_steps;
    Matcher words(a, b, matched_a, matched_b, exact, limits.word_steps, &cells);
    for (const Stretch &s : words.run(whole))
        match_by_lines(a, b, line_a, line_b, s, matched_a, matched_b, exact, &line_steps, &cells);
}

}  // namespace morvex
