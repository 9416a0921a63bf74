// Alignment of two documents' pages by content.
//
// Cost: signatures are linear in the pages' words; anchors take
// O(n log n); each stretch between anchors costs its cells, at most
// kFullAlignCells, or (rows) x (2 x window + 1) beyond that, so two
// unrelated documents of n pages cost about 200 n similarity tests.
#include "align.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace morvex {

namespace {

uint64_t fnv(uint64_t h, const void *p, size_t n) {
    const auto *b = static_cast<const unsigned char *>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    return h;
}
template <class T> uint64_t fnv_of(uint64_t h, T v) { return fnv(h, &v, sizeof v); }

uint64_t mix(uint64_t x) {  // splitmix64 finaliser
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ull;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

}  // namespace

PageSignature page_signature(const PageSummary &s) {
    PageSignature sig;
    uint64_t h = 1469598103934665603ull;
    h = fnv_of(h, s.width);
    h = fnv_of(h, s.height);
    h = fnv_of(h, s.rotation);
    h = fnv(h, s.text.data(), s.text.size());
    h = fnv_of(h, s.content_hash);
    for (const ImageItem &im : s.images) {
        h = fnv(h, im.name, std::strlen(im.name));
        for (double v : {im.x, im.y, im.w, im.h}) h = fnv_of(h, v);
    }
    sig.exact = h;
    sig.words = static_cast<uint32_t>(s.items.size());
    sig.images = static_cast<uint32_t>(s.images.size());
    sig.sketch.fill(UINT64_MAX);
    auto add = [&](uint64_t shingle) {
        for (int j = 0; j < kSketchSize; ++j) {
            const uint64_t v = mix(shingle + static_cast<uint64_t>(j) * 0x9e3779b97f4a7c15ull);
            sig.sketch[static_cast<size_t>(j)] = std::min(sig.sketch[static_cast<size_t>(j)], v);
        }
    };
    uint64_t prev = 0;
    for (size_t k = 0; k < s.items.size(); ++k) {
        const uint64_t w = fnv(1469598103934665603ull, s.items[k].text.data(), s.items[k].text.size());
        add(mix(w));
        if (k > 0) add(mix(w ^ mix(prev + 0x9e3779b97f4a7c15ull)));
        prev = w;
    }
    return sig;
}

double page_similarity(const PageSignature &a, const PageSignature &b) {
    if (a.exact == b.exact) return 2.0;
    if (a.words == 0 || b.words == 0) {
        // Pages without words (blank, drawings, scans) resemble each other
        // when both are wordless and hold as many images.
        return a.words == b.words && a.images == b.images ? 0.9 : 0.0;
    }
    int same = 0;
    for (size_t j = 0; j < kSketchSize; ++j) same += a.sketch[j] == b.sketch[j];
    return static_cast<double>(same) / kSketchSize;
}

namespace {

using Sigs = std::vector<PageSignature>;

// Pairs the stretch a[i0, i1) x b[j0, j1) by a banded dynamic programme
// that maximises the summed similarity of the pairs it makes.
void pair_stretch(SignatureSides &s, int i0, int i1, int j0, int j1, std::vector<PagePair> *out) {
    const int n = i1 - i0, m = j1 - j0;
    if (n == 0 || m == 0) {
        for (int i = i0; i < i1; ++i) out->push_back({i, -1});
        for (int j = j0; j < j1; ++j) out->push_back({-1, j});
        return;
    }
    s.need(0, i0, i1);
    s.need(1, j0, j1);
    // Where both sides hold as many pages, a page that shares a little
    // with the page in its place stays paired with it.
    const double min_sim = n == m ? kMinSimilarityInPlace : kMinSimilarity;
    int64_t window = kAlignWindow;
    if (static_cast<int64_t>(n + 1) * (m + 1) <= kFullAlignCells) window = std::max(n, m);
    // Consecutive rows' bands must overlap: widen by the columns per row.
    window = std::max<int64_t>(window, (m + n - 1) / n + 2);
    const int64_t width = std::min<int64_t>(2 * window + 1, m + 1);
    auto lo_of = [&](int i) {
        const int64_t c = static_cast<int64_t>(i) * m / n;
        return std::clamp<int64_t>(c - window, 0, m + 1 - width);
    };
    constexpr double kNone = -1.0;  // unreachable cell
    const size_t cells = static_cast<size_t>(n + 1) * static_cast<size_t>(width);
    std::vector<double> score(cells, kNone);
    std::vector<uint8_t> step(cells, 0);  // 1 pair, 2 from above (A alone), 3 from the left (B alone)
    auto at = [&](int i, int64_t j) -> int64_t {
        const int64_t lo = lo_of(i);
        if (j < lo || j >= lo + width) return -1;
        return static_cast<int64_t>(i) * width + (j - lo);
    };
    score[static_cast<size_t>(at(0, 0))] = 0;
    for (int i = 0; i <= n; ++i) {
        const int64_t lo = lo_of(i);
        for (int64_t j = lo; j < lo + width; ++j) {
            const int64_t k = at(i, j);
            double best = score[static_cast<size_t>(k)];
            uint8_t how = step[static_cast<size_t>(k)];
            auto consider = [&](int64_t from, double gain, uint8_t s) {
                if (from < 0 || score[static_cast<size_t>(from)] < 0) return;
                const double v = score[static_cast<size_t>(from)] + gain;
                if (v > best) best = v, how = s;
            };
            if (i > 0 && j > 0) {
                const double sim = page_similarity(s.get(0, i0 + i - 1), s.get(1, static_cast<int>(j0 + j - 1)));
                if (sim >= min_sim) consider(at(i - 1, j - 1), sim, 1);
            }
            // On a tie the last step taken is B's page alone, so that in
            // a run of unpaired pages A's removals come before B's additions.
            if (j > 0) consider(at(i, j - 1), 0, 3);
            if (i > 0) consider(at(i - 1, j), 0, 2);
            score[static_cast<size_t>(k)] = best;
            step[static_cast<size_t>(k)] = how;
        }
    }
    std::vector<PagePair> rev;
    int i = n;
    int64_t j = m;
    while (i > 0 || j > 0) {
        const uint8_t s = step[static_cast<size_t>(at(i, j))];
        if (s == 1) rev.push_back({i0 + --i, static_cast<int>(j0 + --j)});
        else if (s == 2) rev.push_back({i0 + --i, -1});
        else rev.push_back({-1, static_cast<int>(j0 + --j)});
    }
    for (size_t k = rev.size(); k-- > 0;) out->push_back(rev[k]);
}

// Longest run of candidate pairs increasing on both sides (patience sort).
std::vector<PagePair> longest_increasing(const std::vector<PagePair> &cand) {
    std::vector<int> tails, prev(cand.size(), -1);
    for (size_t k = 0; k < cand.size(); ++k) {
        const auto pos = std::lower_bound(tails.begin(), tails.end(), cand[k].b,
                                          [&](int t, int v) { return cand[static_cast<size_t>(t)].b < v; });
        if (pos != tails.begin()) prev[k] = *(pos - 1);
        if (pos == tails.end()) tails.push_back(static_cast<int>(k));
        else *pos = static_cast<int>(k);
    }
    std::vector<PagePair> run;
    for (int k = tails.empty() ? -1 : tails.back(); k >= 0; k = prev[static_cast<size_t>(k)])
        run.push_back(cand[static_cast<size_t>(k)]);
    std::reverse(run.begin(), run.end());
    return run;
}

// Anchors between [i0,i1) and [j0,j1): identical pages unique on both
// sides of the stretch, then recursively inside the gaps they leave; a
// stretch without any is paired by similarity.  Depth is bounded because
// every level strictly shrinks the stretch and recursion stops when no
// anchor is found; the guard caps it anyway.
void align_range(SignatureSides &s, int i0, int i1, int j0, int j1, std::vector<PagePair> *out, int depth) {
    // Equal ends first: cheap, and they need no uniqueness.
    while (i0 < i1 && j0 < j1 && s.same(i0, j0)) out->push_back({i0++, j0++});
    std::vector<PagePair> tail;
    while (i1 > i0 && j1 > j0 && s.same(i1 - 1, j1 - 1)) tail.push_back({--i1, --j1});
    std::vector<PagePair> anchors;
    if (i0 < i1 && j0 < j1 && depth < 8) {
        s.need(0, i0, i1);
        s.need(1, j0, j1);
        struct Count {
            int in_a = 0, in_b = 0, at_a = -1, at_b = -1;
        };
        std::unordered_map<uint64_t, Count> counts;
        counts.reserve(static_cast<size_t>(i1 - i0 + j1 - j0));
        for (int i = i0; i < i1; ++i) {
            Count &c = counts[s.get(0, i).exact];
            ++c.in_a, c.at_a = i;
        }
        for (int j = j0; j < j1; ++j) {
            Count &c = counts[s.get(1, j).exact];
            ++c.in_b, c.at_b = j;
        }
        std::vector<PagePair> cand;
        for (int i = i0; i < i1; ++i) {
            const Count &c = counts[s.get(0, i).exact];
            if (c.in_a == 1 && c.in_b == 1) cand.push_back({i, c.at_b});
        }
        anchors = longest_increasing(cand);
    }
    if (anchors.empty()) {
        pair_stretch(s, i0, i1, j0, j1, out);
    } else {
        int pi = i0, pj = j0;
        for (const PagePair &p : anchors) {
            align_range(s, pi, p.a, pj, p.b, out, depth + 1);
            out->push_back(p);
            pi = p.a + 1, pj = p.b + 1;
        }
        align_range(s, pi, i1, pj, j1, out, depth + 1);
    }
    out->insert(out->end(), tail.rbegin(), tail.rend());
}

}  // namespace

SignatureSides::SignatureSides(int count_a, int count_b, Compute compute) : compute_(std::move(compute)) {
    for (int side = 0; side < 2; ++side) {
        const size_t n = static_cast<size_t>(side == 0 ? count_a : count_b);
        sig_[side].resize(n);
        known_[side].assign(n, 0);
        partner_[side].assign(n, -1);
    }
}

void SignatureSides::set_partners(int i, int j) {
    partner_[0][static_cast<size_t>(i)] = j;
    partner_[1][static_cast<size_t>(j)] = i;
}

void SignatureSides::set(int side, int i, const PageSignature &sig) {
    sig_[side][static_cast<size_t>(i)] = sig;
    known_[side][static_cast<size_t>(i)] = 1;
}

void SignatureSides::need(int side, int lo, int hi) {
    // A page whose partner is known takes the partner's signature.
    std::vector<int> pages;
    for (int i = lo; i < hi; ++i) {
        if (known(side, i)) continue;
        const int p = partner_[side][static_cast<size_t>(i)];
        if (p >= 0 && known(1 - side, p)) set(side, i, sig_[1 - side][static_cast<size_t>(p)]);
        else pages.push_back(i);
    }
    if (pages.empty()) return;
    const std::vector<PageSignature> made = compute_(side, pages);
    made_ += static_cast<int>(pages.size());
    for (size_t k = 0; k < pages.size(); ++k) {
        set(side, pages[k], made[k]);
        const int p = partner_[side][static_cast<size_t>(pages[k])];
        if (p >= 0 && !known(1 - side, p)) set(1 - side, p, made[k]);
    }
}

const PageSignature &SignatureSides::get(int side, int i) {
    if (!known(side, i)) need(side, i, i + 1);
    return sig_[side][static_cast<size_t>(i)];
}

bool SignatureSides::same(int i, int j) {
    if (partner_[0][static_cast<size_t>(i)] == j) return true;
    return get(0, i).exact == get(1, j).exact;
}

std::vector<PagePair> align_pages(SignatureSides *sides) {
    std::vector<PagePair> out;
    out.reserve(static_cast<size_t>(std::max(sides->count(0), sides->count(1))));
    align_range(*sides, 0, sides->count(0), 0, sides->count(1), &out, 0);
    return out;
}

std::vector<PagePair> align_pages(const Sigs &a, const Sigs &b) {
    SignatureSides sides(static_cast<int>(a.size()), static_cast<int>(b.size()), nullptr);
    for (size_t i = 0; i < a.size(); ++i) sides.set(0, static_cast<int>(i), a[i]);
    for (size_t j = 0; j < b.size(); ++j) sides.set(1, static_cast<int>(j), b[j]);
    return align_pages(&sides);
}

}  // namespace morvex
