// Comparison with options: page ranges, pairing by position or by
// content, and the differences left out by ignored regions and texts.
//
// Every page analysis here is an independent call on const documents
// (analyze_page and page_signature share no mutable state), so the
// signature pass and the pair comparisons can run on several threads.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>

#include "../options/text_pattern.h"
#include "align.h"
#include "../page/image_identity.h"
#include "diff.h"
#include "paint_diff.h"
#include "parallel.h"

namespace morvex {

namespace {

// The options in the form the comparison uses them.
struct Filters {
    std::vector<Regex> patterns;
    const std::vector<IgnoreRegion> *regions = nullptr;
    bool any() const { return !patterns.empty() || !regions->empty(); }
};

bool inside(const TopLeftRect &r, const IgnoreRegion &g) {
    constexpr double kSlack = 0.01;  // rounding of coordinates copied from a report
    return r.x0 >= g.x0 - kSlack && r.y0 >= g.y0 - kSlack && r.x1 <= g.x1 + kSlack && r.y1 <= g.y1 + kSlack;
}

// True when every rectangle lies inside an ignored region of its side.
bool all_ignored(const Filters &f, const std::vector<DiffRect> &rects, const PageEntry &page, int page_no,
                 int side) {
    for (const DiffRect &r : rects) {
        const TopLeftRect t = to_top_left(page, r);
        bool hit = false;
        for (const IgnoreRegion &g : *f.regions)
            if ((g.side & side) && page_in_ranges(g.pages, page_no) && inside(t, g)) {
                hit = true;
                break;
            }
        if (!hit) return false;
    }
    return true;
}

}  // namespace

bool rects_ignored(const std::vector<IgnoreRegion> &regions, const std::vector<DiffRect> &rects,
                   const PageEntry &page, int page_no, int side) {
    Filters f;
    f.regions = &regions;
    return all_ignored(f, rects, page, page_no, side);
}

namespace {

bool text_ignored(const Filters &f, const std::string &s) {
    if (s.empty()) return true;
    for (const Regex &re : f.patterns)
        if (re.full_match(s)) return true;
    return false;
}

bool change_ignored(const Filters &f, const WordChange &c, const PageEntry &pa, int na, const PageEntry &pb,
                    int nb) {
    if (!f.patterns.empty() && text_ignored(f, c.old_text) && text_ignored(f, c.new_text)) return true;
    return !f.regions->empty() && all_ignored(f, c.rects_a, pa, na, kSideA) &&
           all_ignored(f, c.rects_b, pb, nb, kSideB);
}

// True when an ignored region applies to page na of A or page nb of B.
bool regions_apply(const Filters &f, int na, int nb) {
    for (const IgnoreRegion &g : *f.regions)
        if (((g.side & kSideA) && page_in_ranges(g.pages, na)) || ((g.side & kSideB) && page_in_ranges(g.pages, nb)))
            return true;
    return false;
}

// The drawings of `mine` that `theirs` lacks (as multisets of hash and box
// rounded to a hundredth of a point), as rectangles.
std::vector<DiffRect> drawings_only_in(const std::vector<Drawing> &mine, const std::vector<Drawing> &theirs) {
    using Key = std::array<int64_t, 5>;
    auto keys = [](const std::vector<Drawing> &v) {
        std::vector<std::pair<Key, size_t>> k;
        k.reserve(v.size());
        auto r = [](double x) { return static_cast<int64_t>(std::llround(std::clamp(x, -1e13, 1e13) * 100)); };
        for (size_t i = 0; i < v.size(); ++i)
            k.push_back({{static_cast<int64_t>(v[i].hash), r(v[i].x), r(v[i].y), r(v[i].w), r(v[i].h)}, i});
        std::sort(k.begin(), k.end());
        return k;
    };
    const auto a = keys(mine), b = keys(theirs);
    std::vector<DiffRect> out;
    size_t j = 0;
    for (const auto &[key, i] : a) {
        while (j < b.size() && b[j].first < key) ++j;
        if (j < b.size() && b[j].first == key) ++j;
        else out.push_back({mine[i].x, mine[i].y, mine[i].w, mine[i].h});
    }
    return out;
}

// True when the drawings that differ between the two pages all lie inside
// ignored regions of their side.  Lists that are incomplete, or equal as
// multisets (the content changed in order or in what draws nothing), do not
// qualify.
bool drawing_changes_ignored(const Filters &f, const PageSummary &sa, const PageSummary &sb, const PageEntry &pa,
                             int na, const PageEntry &pb, int nb) {
    if (!sa.drawings_complete || !sb.drawings_complete) return false;
    const std::vector<DiffRect> ra = drawings_only_in(sa.drawings, sb.drawings);
    const std::vector<DiffRect> rb = drawings_only_in(sb.drawings, sa.drawings);
    if (ra.empty() && rb.empty()) return false;
    return all_ignored(f, ra, pa, na, kSideA) && all_ignored(f, rb, pb, nb, kSideB);
}

// Drops from list (from entry `first` on) what the filters ignore.  A text
// entry all of whose word changes are ignored goes, and so does the
// content change its bytes made; a text entry keeps only the rectangles
// of the changes that stay.
void apply_filters(const Filters &f, DiffList *list, size_t first, const PageEntry &pa, int na,
                   const PageEntry &pb, int nb) {
    std::vector<DiffEntry> kept;
    for (size_t k = first; k < list->entries.size(); ++k) {
        DiffEntry &e = list->entries[k];
        const bool text_kind = std::strncmp(e.type, "text_", 5) == 0;
        if (text_kind && !e.changes.empty()) {
            std::vector<WordChange> stay;
            for (WordChange &c : e.changes)
                if (!change_ignored(f, c, pa, na, pb, nb)) stay.push_back(std::move(c));
            if (stay.empty()) continue;
            if (stay.size() != e.changes.size()) {
                e.rects_a.clear();
                e.rects_b.clear();
                for (const WordChange &c : stay) {
                    e.rects_a.insert(e.rects_a.end(), c.rects_a.begin(), c.rects_a.end());
                    e.rects_b.insert(e.rects_b.end(), c.rects_b.begin(), c.rects_b.end());
                }
            }
            e.changes = std::move(stay);
        } else if (!text_kind && (!e.rects_a.empty() || !e.rects_b.empty()) && !f.regions->empty() &&
                   all_ignored(f, e.rects_a, pa, na, kSideA) && all_ignored(f, e.rects_b, pb, nb, kSideB)) {
            continue;  // an image added, removed or moved inside a region
        }
        kept.push_back(std::move(e));
    }
    list->entries.resize(first);
    for (DiffEntry &e : kept) list->entries.push_back(std::move(e));
}

// Drops the content change of a page pair whose changed drawings all lie
// inside ignored regions.
void drop_ignored_drawings(const Filters &f, DiffList *list, size_t first, const PageSummary &sa,
                           const PageSummary &sb, const PageEntry &pa, int na, const PageEntry &pb, int nb) {
    for (size_t k = first; k < list->entries.size(); ++k)
        if (std::strcmp(list->entries[k].type, "content_changed") == 0 &&
            drawing_changes_ignored(f, sa, sb, pa, na, pb, nb)) {
            list->entries.erase(list->entries.begin() + static_cast<std::ptrdiff_t>(k));
            return;
        }
}

// One page pair analysed: both summaries and what each page paints.
// Drawings are listed only where an ignored region applies.
struct AnalysedPair {
    PageSummary sa, sb;
    PagePaint paint_a, paint_b;
};

void analyse_pair(const PdfDocument &a, int ia, const PdfDocument &b, int ib, const Filters &f, AnalysedPair *p) {
    const bool drawings = !f.regions->empty() && regions_apply(f, ia + 1, ib + 1);
    analyze_page(a, ia, &p->sa, drawings, &p->paint_a);
    analyze_page(b, ib, &p->sb, drawings, &p->paint_b);
}

// A pair's entries that the filters keep, and when they need one, the
// painted elements' verdict (painted set).
struct PairResult {
    std::vector<DiffEntry> entries;
    bool painted = false;
    std::optional<PairPaint> paint;
};

// Compares page ia of a with page ib of b (0-based), analysed into p.
PairResult compare_analysed(const PdfDocument &a, int ia, const PdfDocument &b, int ib, const Filters &f,
                            const AnalysedPair &p) {
    const PageEntry &pa = a.pages[static_cast<size_t>(ia)];
    const PageEntry &pb = b.pages[static_cast<size_t>(ib)];
    DiffList local;
    compare_summaries(&local, ib + 1, p.sa, p.sb, &a, &b);
    // Without drawings listed, none is known to lie in a region.
    if (!f.regions->empty()) drop_ignored_drawings(f, &local, 0, p.sa, p.sb, pa, ia + 1, pb, ib + 1);
    for (DiffEntry &e : local.entries) {
        e.page_a = ia + 1;
        e.page_b = ib + 1;
        clip_to_shown_box(&e, pa, pb);
    }
    if (f.any() && !local.entries.empty()) apply_filters(f, &local, 0, pa, ia + 1, pb, ib + 1);
    PairResult out;
    out.entries = std::move(local.entries);
    out.painted = needs_paint(out.entries);
    if (out.painted) out.paint = pair_paint(out.entries, p.paint_a, p.paint_b);
    return out;
}

PairResult compare_pair(const PdfDocument &a, int ia, const PdfDocument &b, int ib, const Filters &f,
                        PageMatcher *match) {
    // Pages read alike give equal summaries: nothing to report, nothing to filter.
    if (match && match->same(ia, ib)) return {};
    AnalysedPair p;
    analyse_pair(a, ia, b, ib, f, &p);
    return compare_analysed(a, ia, b, ib, f, p);
}

void add_page_entry(DiffList *out, const char *type, int page_a, int page_b) {
    diff_result_add(out, page_b ? page_b : page_a, type, nullptr, nullptr, 0, nullptr, 0);
    out->entries.back().page_a = page_a;
    out->entries.back().page_b = page_b;
}

std::vector<int> selected(const PdfDocument &d, const PageRanges &r) {
    std::vector<int> pages;
    for (int i = 0; i < d.page_count(); ++i)
        if (page_in_ranges(r, i + 1)) pages.push_back(i);
    return pages;
}

PageSignature signature_of(const PdfDocument &d, const PageSummary &s) {
    PageSignature sig = page_signature(s);
    // Pages whose images show other pixels are not the same page.  A key
    // that differs for an image only encoded again costs no more than a
    // comparison of the pair.
    for (const ImageItem &im : s.images) {
        const uint64_t key = image_data_key(d, im);
        if (key) sig.exact = (sig.exact ^ key) * 0x100000001b3ull;
    }
    return sig;
}

PageSignature signature_of(const PdfDocument &d, int page) {
    PageSummary s;
    analyze_page(d, page, &s);
    return signature_of(d, s);
}

// Pairs compared while their signatures were made, by 0-based page indexes.
using ComparedPairs = std::map<std::pair<int, int>, PairResult>;

// How many position pairs a scan for pages read alike checks at first in
// one go (doubling up to kAlikeBatchMost): it stops at the first batch
// that holds a pair that differs.
constexpr size_t kAlikeBatchFirst = 16, kAlikeBatchMost = 512;

// The length of the run of k = 0, 1, ... below `limit` for which alike(k)
// holds, checked a batch at a time on the threads.
size_t alike_run(size_t limit, int threads, const std::function<bool(size_t)> &alike) {
    size_t k = 0, batch = kAlikeBatchFirst;
    while (k < limit) {
        const size_t n = std::min(batch, limit - k);
        const std::vector<uint8_t> ok =
            parallel_map<uint8_t>(n, threads, [&](size_t t) { return static_cast<uint8_t>(alike(k + t)); });
        for (size_t t = 0; t < n; ++t)
            if (!ok[t]) return k + t;
        k += n;
        batch = std::min(batch * 2, kAlikeBatchMost);
    }
    return k;
}

// The signatures of A's selected pages and of B's, each page analysed at
// most once and pages read alike not at all where the alignment can do
// without.
//
// Every signature the alignment reads is the one a full pass gives: A's
// page's own, and B's k-th page A's k-th page's when the two read alike
// (the signature is a function of the summary), else its own.  The pages
// read alike at the same place from the start, and from the end where
// both sides hold as many pages, are partners, since their signatures are
// equal by that rule.  From the end of sides of unequal length, a pair
// read alike is a partner when its images are also encoded alike (image
// keys are part of the signature, not of the summary) and, where it places
// image objects, B's page does not take the signature of A's page in its
// own place instead.  Pages the alignment compares with a page other than
// their partner get their signature then (see SignatureSides).
//
// Between the partners, the k-th pages of both sides are analysed in one
// job.  Where they differ but are alike enough to be paired (a file
// against a regenerated or edited copy), the pair is compared from the
// same analysis and kept in *compared, so that a pair the alignment makes
// in place is not analysed again.
void signatures(const PdfDocument &a, const std::vector<int> &pa, const PdfDocument &b, const std::vector<int> &pb,
                const Filters &f, int threads, PageMatcher *match, SignatureSides *sides, ComparedPairs *compared) {
    const int n = static_cast<int>(pa.size()), m = static_cast<int>(pb.size());
    const int common = std::min(n, m);
    int head = 0, tail = 0;
    if (match) {
        head = static_cast<int>(alike_run(static_cast<size_t>(common), threads, [&](size_t k) {
            return match->same(pa[k], pb[k]);
        }));
        for (int k = 0; k < head; ++k) sides->set_partners(k, k);
        tail = static_cast<int>(alike_run(static_cast<size_t>(common - head), threads, [&](size_t t) {
            const int i = n - 1 - static_cast<int>(t), j = m - 1 - static_cast<int>(t);
            if (n == m) return match->same(pa[static_cast<size_t>(i)], pb[static_cast<size_t>(j)]);
            bool images = true;
            if (!match->same_encoded(pa[static_cast<size_t>(i)], pb[static_cast<size_t>(j)], &images)) return false;
            return !images || j >= n || !match->same(pa[static_cast<size_t>(j)], pb[static_cast<size_t>(j)]);
        }));
        for (int t = 0; t < tail; ++t) sides->set_partners(n - 1 - t, m - 1 - t);
    }
    const int a_end = n - tail, b_end = m - tail, both_end = std::min(a_end, b_end);
    const int span = std::max(a_end, b_end) - head;
    if (span <= 0) return;
    std::vector<PageSignature> sa(static_cast<size_t>(span)), sb(static_cast<size_t>(span));
    std::vector<uint8_t> b_takes_a(static_cast<size_t>(span), 0);
    std::vector<std::optional<PairResult>> found(static_cast<size_t>(span));
    parallel_for(static_cast<size_t>(span), threads, [&](size_t t) {
        const int k = head + static_cast<int>(t);
        const size_t ka = static_cast<size_t>(k);
        const bool alike = match && k < common && match->same(pa[ka], pb[ka]);
        if (k < both_end && !alike) {
            AnalysedPair p;
            analyse_pair(a, pa[ka], b, pb[ka], f, &p);
            sa[t] = signature_of(a, p.sa);
            sb[t] = signature_of(b, p.sb);
            if (sa[t].exact != sb[t].exact && page_similarity(sa[t], sb[t]) >= kMinSimilarity)
                found[t] = compare_analysed(a, pa[ka], b, pb[ka], f, p);
            return;
        }
        if (k < a_end) sa[t] = signature_of(a, pa[ka]);
        if (k < b_end) {
            if (alike) b_takes_a[t] = 1;
            else sb[t] = signature_of(b, pb[ka]);
        }
    });
    for (int k = head; k < a_end; ++k) sides->set(0, k, sa[static_cast<size_t>(k - head)]);
    // B's page whose A page in the same place read alike but stands among
    // A's partners at the end takes that page's signature, made on demand.
    for (int k = head; k < b_end; ++k) {
        const size_t t = static_cast<size_t>(k - head);
        sides->set(1, k, !b_takes_a[t] ? sb[t] : k < a_end ? sa[t] : sides->get(0, k));
    }
    for (int k = head; k < both_end; ++k) {
        const size_t t = static_cast<size_t>(k - head);
        if (found[t])
            compared->emplace(std::make_pair(pa[static_cast<size_t>(k)], pb[static_cast<size_t>(k)]), std::move(*found[t]));
    }
}

// The aligned pairs (page indexes), with pages removed from one place and
// added, identical, at another joined into one moved pair.
struct Slot {
    PagePair pair;
    bool moved = false;
    bool same = false;  // identical signatures: nothing to compare
};

std::vector<Slot> content_slots(const PdfDocument &a, const std::vector<int> &pa, const PdfDocument &b,
                                const std::vector<int> &pb, const Filters &f, int threads, PageMatcher *match,
                                ComparedPairs *compared) {
    const SignatureSides::Compute compute = [&](int side, const std::vector<int> &pages) {
        const PdfDocument &d = side == 0 ? a : b;
        const std::vector<int> &sel = side == 0 ? pa : pb;
        return parallel_map<PageSignature>(pages.size(), threads, [&](size_t k) {
            return signature_of(d, sel[static_cast<size_t>(pages[k])]);
        });
    };
    SignatureSides sides(static_cast<int>(pa.size()), static_cast<int>(pb.size()), compute);
    signatures(a, pa, b, pb, f, threads, match, &sides, compared);
    const std::vector<PagePair> aligned = align_pages(&sides);
    std::unordered_map<uint64_t, std::vector<size_t>> removed;  // exact hash -> slots of A-only pages
    std::vector<Slot> slots;
    slots.reserve(aligned.size());
    for (const PagePair &p : aligned) {
        Slot s;
        s.pair = {p.a >= 0 ? pa[static_cast<size_t>(p.a)] : -1, p.b >= 0 ? pb[static_cast<size_t>(p.b)] : -1};
        s.same = p.a >= 0 && p.b >= 0 && sides.same(p.a, p.b);
        if (p.b < 0) removed[sides.get(0, p.a).exact].push_back(slots.size());
        slots.push_back(s);
    }
    // A page removed in one place and added, identical, in another is one
    // move, reported where it stands in B.
    std::vector<bool> gone(slots.size(), false);
    std::unordered_map<uint64_t, size_t> used;
    for (size_t k = 0; k < slots.size(); ++k) {
        if (slots[k].pair.a >= 0) continue;
        const uint64_t h = sides.get(1, aligned[k].b).exact;
        auto it = removed.find(h);
        if (it == removed.end()) continue;
        size_t &next = used[h];
        if (next >= it->second.size()) continue;
        const size_t from = it->second[next++];
        gone[from] = true;
        slots[k].pair.a = slots[from].pair.a;
        slots[k].moved = slots[k].same = true;
    }
    std::vector<Slot> out;
    out.reserve(slots.size());
    for (size_t k = 0; k < slots.size(); ++k)
        if (!gone[k]) out.push_back(slots[k]);
    return out;
}

std::vector<Slot> position_slots(const std::vector<int> &pa, const std::vector<int> &pb) {
    std::vector<Slot> slots;
    const size_t common = std::min(pa.size(), pb.size());
    for (size_t k = 0; k < common; ++k) slots.push_back({{pa[k], pb[k]}});
    for (size_t k = common; k < pb.size(); ++k) slots.push_back({{-1, pb[k]}});
    for (size_t k = common; k < pa.size(); ++k) slots.push_back({{pa[k], -1}});
    return slots;
}

// Image entries are dropped only after the painted elements were compared:
// while a pair has an image entry, that comparison leaves the pair's image
// placements to it, so they do not come back as drawing changes.
void drop_images(DiffList *out) {
    std::erase_if(out->entries, [](const DiffEntry &e) { return std::strncmp(e.type, "image_", 6) == 0; });
    out->identical = out->entries.empty() ? 1 : 0;
}

}  // namespace

void compare_docs_opts(const PdfDocument &a, const PdfDocument &b, const CompareOptions &opts, DiffList *out) {
    const bool plain = opts.pairing == Pairing::Position && opts.pages_a.empty() && opts.pages_b.empty() &&
                       opts.ignore_regions.empty() && opts.ignore_text.empty();
    const int threads = thread_count(opts.threads);
    // The options functions say what changed among painted elements and
    // where: the pairs that differ collect them in the analysis that finds
    // the difference, so no page is read twice for it.
    PaintByPair painted;
    if (plain) {
        compare_docs(a, b, out, threads, opts.analyse_alike_pages, &painted);
        mark_old_image_places(out, a);
        refine_painted(a, b, opts, threads, out, &painted);
        if (opts.ignore_image) drop_images(out);
        return;
    }
    Filters f;
    f.regions = &opts.ignore_regions;
    for (const std::string &p : opts.ignore_text) {
        Regex re;
        std::string why;
        if (re.compile(p, &why)) f.patterns.push_back(std::move(re));  // checked by the options reader
    }
    const std::vector<int> pa = selected(a, opts.pages_a), pb = selected(b, opts.pages_b);
    *out = DiffList{};
    out->identical = 1;
    out->pages_compared = static_cast<int>(std::max(pa.size(), pb.size()));
    out->content_pairing = opts.pairing == Pairing::Content;
    PageMatcher matcher(a, b);
    PageMatcher *match = opts.analyse_alike_pages ? nullptr : &matcher;
    ComparedPairs compared;
    const std::vector<Slot> slots = out->content_pairing
                                        ? content_slots(a, pa, b, pb, f, threads, match, &compared)
                                        : position_slots(pa, pb);
    // The pairs to compare are analysed a batch at a time on the threads;
    // the entries go out in slot order.
    for (size_t first = 0; first < slots.size(); first += kPairsPerBatch) {
        const size_t n = std::min(static_cast<size_t>(kPairsPerBatch), slots.size() - first);
        std::vector<PairResult> found = parallel_map<PairResult>(n, threads, [&](size_t k) {
            const Slot &s = slots[first + k];
            if (s.moved || s.same || s.pair.a < 0 || s.pair.b < 0) return PairResult{};
            auto it = compared.find({s.pair.a, s.pair.b});
            if (it != compared.end()) return std::move(it->second);  // this slot's own element
            return compare_pair(a, s.pair.a, b, s.pair.b, f, match);
        });
        for (size_t k = 0; k < n; ++k) {
            const Slot &s = slots[first + k];
            out->pairs.push_back(s.pair);
            if (s.moved) add_page_entry(out, "page_moved", s.pair.a + 1, s.pair.b + 1);
            else if (s.pair.a < 0) add_page_entry(out, "page_added", 0, s.pair.b + 1);
            else if (s.pair.b < 0) add_page_entry(out, "page_removed", s.pair.a + 1, 0);
            else {
                for (DiffEntry &e : found[k].entries) out->entries.push_back(std::move(e));
                if (found[k].painted) painted[{s.pair.a, s.pair.b}] = std::move(found[k].paint);
            }
        }
    }
    out->identical = out->entries.empty() ? 1 : 0;  // ignored differences leave no trace
    mark_old_image_places(out, a);
    refine_painted(a, b, opts, threads, out, &painted);
    if (opts.ignore_image) drop_images(out);
}

}  // namespace morvex
