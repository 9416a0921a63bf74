// Painted elements compared.
//
// Cancelling looks elements up by signature and place: a hash map keyed by
// the signature and the box's lower-left corner on a grid of kCell points
// (wider than the tolerance, so a partner lies in one of the nine cells
// around), each cell's list shrinking as its elements find partners.  What
// is left is paired by words (style changes, moved text) and the rest
// grouped by nearness into regions; the grouping compares each change with
// at most kMaxRegions regions, so a page of many changes stays linear.
#include "paint_diff.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "../page/paint_values.h"
#include "paint_hidden.h"
#include "parallel.h"

namespace morvex {

namespace {

constexpr double kCell = 0.25;
constexpr int kMaxCellChecks = 64;
constexpr int kMaxTextCandidates = 64;
constexpr size_t kMaxRegions = 512;
// Changes this close (points) belong to one region.
constexpr double kRegionGap = 4.0;

struct Box {
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
    bool empty() const { return x0 > x1; }
    void add(const Box &b) {
        if (b.empty()) return;
        x0 = std::min(x0, b.x0), y0 = std::min(y0, b.y0), x1 = std::max(x1, b.x1), y1 = std::max(y1, b.y1);
    }
    bool near(const Box &b, double gap) const {
        return !empty() && !b.empty() && b.x0 <= x1 + gap && x0 <= b.x1 + gap && b.y0 <= y1 + gap &&
               y0 <= b.y1 + gap;
    }
};

Box box_of(const PaintElement &e) { return {e.x0, e.y0, e.x1, e.y1}; }

bool same_place(const PaintElement &a, const PaintElement &b) {
    return a.sig == b.sig && std::fabs(a.x0 - b.x0) <= kPlaceTolerance && std::fabs(a.y0 - b.y0) <= kPlaceTolerance &&
           std::fabs(a.x1 - b.x1) <= kPlaceTolerance && std::fabs(a.y1 - b.y1) <= kPlaceTolerance;
}

int64_t cell(double v) { return static_cast<int64_t>(std::floor(std::clamp(v, -1e12, 1e12) / kCell)); }

uint64_t cell_key(uint64_t sig, int64_t cx, int64_t cy) {
    uint64_t h = sig;
    h ^= static_cast<uint64_t>(cx) * 0x9e3779b97f4a7c15ull;
    h = (h << 17 | h >> 47) ^ (static_cast<uint64_t>(cy) * 0xc2b2ae3d27d4eb4full);
    return h;
}

// Marks in used_a and used_b the elements that find a partner on the other page.
void cancel(const PagePaint &a, const PagePaint &b, std::vector<bool> *used_a, std::vector<bool> *used_b) {
    std::unordered_map<uint64_t, std::vector<uint32_t>> cells;
    cells.reserve(b.elements.size());
    for (size_t j = 0; j < b.elements.size(); ++j) {
        const PaintElement &e = b.elements[j];
        cells[cell_key(e.sig, cell(e.x0), cell(e.y0))].push_back(static_cast<uint32_t>(j));
    }
    for (size_t i = 0; i < a.elements.size(); ++i) {
        const PaintElement &e = a.elements[i];
        const int64_t cx = cell(e.x0), cy = cell(e.y0);
        bool found = false;
        for (int dx = -1; dx <= 1 && !found; ++dx)
            for (int dy = -1; dy <= 1 && !found; ++dy) {
                auto it = cells.find(cell_key(e.sig, cx + dx, cy + dy));
                if (it == cells.end()) continue;
                std::vector<uint32_t> &list = it->second;
                const size_t n = std::min(list.size(), static_cast<size_t>(kMaxCellChecks));
                for (size_t k = 0; k < n; ++k) {
                    if (!same_place(e, b.elements[list[k]])) continue;
                    (*used_b)[list[k]] = true;
                    list.erase(list.begin() + static_cast<std::ptrdiff_t>(k));
                    found = true;
                    break;
                }
            }
        (*used_a)[i] = found;
    }
}

PaintLook look_of(const PaintElement &e) {
    PaintLook l;
    l.font = e.font;
    l.size = std::round(e.size * 100) / 100;
    const bool fills = e.render == 0 || e.render == 2 || e.render == 4 || e.render == 6;
    l.color = color_hex(fills ? e.fill : e.stroke);
    return l;
}

// One change before grouping: its boxes on either side and, for a style
// change, its words and looks.  `order` keeps the page's painting order.
struct Item {
    bool style = false;
    Box a, b;
    std::string text;
    PaintLook old_look, new_look;
    size_t order = 0;
};

std::string trimmed(const std::string &s) {
    const size_t f = s.find_first_not_of(' ');
    if (f == std::string::npos) return {};
    return s.substr(f, s.find_last_not_of(' ') - f + 1);
}

// Style changes of neighbouring words with the same looks become one.
std::vector<Item> join_styles(std::vector<Item> items) {
    std::vector<Item> out;
    for (Item &it : items) {
        if (!out.empty()) {
            Item &last = out.back();
            const double line = std::max(1.0, (last.a.y1 - last.a.y0) / 2);
            const bool same_line = std::fabs(last.a.y0 - it.a.y0) <= line && std::fabs(last.a.y1 - it.a.y1) <= line;
            if (last.style && it.style && last.old_look == it.old_look && last.new_look == it.new_look && same_line &&
                last.a.near(it.a, 2 * std::max(it.old_look.size, 1.0))) {
                last.text += " " + it.text;
                last.a.add(it.a);
                last.b.add(it.b);
                continue;
            }
        }
        out.push_back(std::move(it));
    }
    return out;
}

// Drawing changes near each other become one region.
std::vector<Item> group_drawings(std::vector<Item> items) {
    std::vector<Item> regions;
    auto span = [](const Item &i) {
        Box u = i.a;
        u.add(i.b);
        return u;
    };
    for (Item &it : items) {
        const Box u = span(it);
        bool merged = false;
        const size_t from = regions.size() > kMaxRegions ? regions.size() - kMaxRegions : 0;
        for (size_t r = from; r < regions.size() && !merged; ++r) {
            if (!span(regions[r]).near(u, kRegionGap)) continue;
            regions[r].a.add(it.a);
            regions[r].b.add(it.b);
            merged = true;
        }
        if (!merged) regions.push_back(std::move(it));
    }
    return regions;
}

void push_rect(std::vector<DiffRect> *out, const Box &b) {
    if (!b.empty()) out->push_back({b.x0, b.y0, b.x1 - b.x0, b.y1 - b.y0});
}

}  // namespace

std::vector<PaintChange> paint_changes(const PagePaint &a, const PagePaint &b, const PaintDiffOptions &how) {
    std::vector<bool> used_a(a.elements.size(), false), used_b(b.elements.size(), false);
    cancel(a, b, &used_a, &used_b);
    // What is left but shows no pixel on its own page is no change anyone sees.
    HiddenElements hidden_a(a), hidden_b(b);

    // Text left over on B, by its words.
    std::unordered_map<std::string, std::vector<uint32_t>> words_b;
    for (size_t j = 0; j < b.elements.size(); ++j)
        if (!used_b[j] && b.elements[j].kind == PaintKind::text) {
            std::string t = trimmed(b.elements[j].text);
            if (!t.empty()) words_b[std::move(t)].push_back(static_cast<uint32_t>(j));
        }

    std::vector<Item> styles, drawings;
    auto drawing = [&](const Box &ba, const Box &bb, size_t order) {
        Item it;
        it.a = ba, it.b = bb, it.order = order;
        drawings.push_back(std::move(it));
    };
    for (size_t i = 0; i < a.elements.size(); ++i) {
        if (used_a[i]) continue;
        const PaintElement &e = a.elements[i];
        if (e.kind == PaintKind::image && how.skip_images) {
            if (how.image_rects_a) push_rect(how.image_rects_a, box_of(e));
            continue;
        }
        if (e.kind != PaintKind::text) {
            if (!hidden_a.hidden(i)) drawing(box_of(e), Box{}, i);
            continue;
        }
        // The same words on B, nearest first.
        auto it = words_b.find(trimmed(e.text));
        int best = -1;
        double best_d = HUGE_VAL;
        if (it != words_b.end()) {
            const size_t n = std::min(it->second.size(), static_cast<size_t>(kMaxTextCandidates));
            for (size_t k = 0; k < n; ++k) {
                const PaintElement &c = b.elements[it->second[k]];
                const double d = std::hypot(c.x0 - e.x0, c.y0 - e.y0);
                if (d < best_d) best_d = d, best = static_cast<int>(k);
            }
        }
        if (best < 0) {
            if (!how.texts_differ && !hidden_a.hidden(i)) drawing(box_of(e), Box{}, i);
            continue;
        }
        const uint32_t j = it->second[static_cast<size_t>(best)];
        it->second.erase(it->second.begin() + best);
        used_b[j] = true;
        const PaintElement &f = b.elements[j];
        if (hidden_a.hidden(i) && hidden_b.hidden(j)) continue;
        if (e.style != f.style) {
            Item s;
            s.style = true;
            s.a = box_of(e), s.b = box_of(f), s.order = i;
            s.text = trimmed(e.text);
            s.old_look = look_of(e), s.new_look = look_of(f);
            styles.push_back(std::move(s));
        } else {
            drawing(box_of(e), box_of(f), i);  // the same look elsewhere, or spaced otherwise
        }
    }
    for (size_t j = 0; j < b.elements.size(); ++j) {
        if (used_b[j]) continue;
        const PaintElement &f = b.elements[j];
        if (f.kind == PaintKind::image && how.skip_images) {
            if (how.image_rects_b) push_rect(how.image_rects_b, box_of(f));
            continue;
        }
        if (f.kind == PaintKind::text && how.texts_differ) continue;
        if (!hidden_b.hidden(j)) drawing(Box{}, box_of(f), a.elements.size() + j);
    }

    std::vector<Item> all = join_styles(std::move(styles));
    for (Item &d : group_drawings(std::move(drawings))) all.push_back(std::move(d));
    std::stable_sort(all.begin(), all.end(), [](const Item &x, const Item &y) { return x.order < y.order; });
    std::vector<PaintChange> out;
    out.reserve(all.size());
    for (const Item &it : all) {
        PaintChange c;
        std::snprintf(c.kind, sizeof c.kind, "%s", it.style ? "style" : "drawing");
        push_rect(&c.rects_a, it.a);
        push_rect(&c.rects_b, it.b);
        if (it.style) {
            c.text = it.text;
            c.old_look = it.old_look;
            c.new_look = it.new_look;
        }
        out.push_back(std::move(c));
    }
    return out;
}

namespace {

// The entries of one page pair, list->entries[first, last).
struct PairEntries {
    size_t first = 0, last = 0;
    int ia = -1, ib = -1;
    bool texts = false, images = false, content = false;
};

bool kind_ignored(const CompareOptions &opts, const PaintChange &c) {
    return std::strcmp(c.kind, "style") == 0 ? opts.ignore_style : opts.ignore_drawing;
}

// Leaves out of the pair's verdict the changes of kinds and regions the
// options ignore.
void apply_options(const PdfDocument &a, const PdfDocument &b, const CompareOptions &opts, const PairEntries &p,
                   PairPaint *found) {
    std::vector<PaintChange> kept;
    const PageEntry &ea = a.pages[static_cast<size_t>(p.ia)], &eb = b.pages[static_cast<size_t>(p.ib)];
    for (PaintChange &c : found->changes) {
        if (kind_ignored(opts, c)) continue;
        if (!opts.ignore_regions.empty() && rects_ignored(opts.ignore_regions, c.rects_a, ea, p.ia + 1, kSideA) &&
            rects_ignored(opts.ignore_regions, c.rects_b, eb, p.ib + 1, kSideB))
            continue;
        kept.push_back(std::move(c));
    }
    found->changes = std::move(kept);
}

std::optional<PairPaint> verdict(bool texts, bool images, const PagePaint &pa, const PagePaint &pb) {
    if (!pa.complete || !pb.complete) return std::nullopt;
    PairPaint out;
    PaintDiffOptions how;
    how.texts_differ = texts;
    how.skip_images = images;
    how.image_rects_a = &out.image_a;
    how.image_rects_b = &out.image_b;
    out.changes = paint_changes(pa, pb, how);
    return out;
}

void entry_kinds(const DiffEntry &e, bool *texts, bool *images, bool *content) {
    *texts = *texts || std::strncmp(e.type, "text_", 5) == 0;
    *images = *images || std::strncmp(e.type, "image_", 6) == 0;
    *content = *content || std::strcmp(e.type, "content_changed") == 0;
}

// The pair's verdict from its pages analysed again, for the paint only.
std::optional<PairPaint> pair_changes(const PdfDocument &a, const PdfDocument &b, const PairEntries &p) {
    PagePaint pa, pb;
    {
        PageSummary s;
        analyze_page(a, p.ia, &s, false, &pa);
    }
    if (!pa.complete) return std::nullopt;
    {
        PageSummary s;
        analyze_page(b, p.ib, &s, false, &pb);
    }
    return verdict(p.texts, p.images, pa, pb);
}

// Page pairs with no entry whose graphics states, shadings, patterns or
// colour spaces hold other values under the same names (which the content
// bytes do not show) get a content change, for the painted elements to
// confirm or drop.  Each document's resources are hashed once per object.
void add_look_changes(const PdfDocument &a, const PdfDocument &b, DiffList *list) {
    std::vector<DiffEntry> &es = list->entries;
    std::unordered_map<uint64_t, size_t> rank;  // (a, b) -> place in the report
    const auto key = [](int ia, int ib) { return static_cast<uint64_t>(static_cast<uint32_t>(ia)) << 32 | static_cast<uint32_t>(ib); };
    for (size_t k = 0; k < list->pairs.size(); ++k) rank.emplace(key(list->pairs[k].a, list->pairs[k].b), k);
    std::vector<bool> has_entry(list->pairs.size(), false);
    for (const DiffEntry &e : es) {
        const auto it = rank.find(key(e.page_a - 1, e.page_b - 1));
        if (it != rank.end()) has_entry[it->second] = true;
    }
    ValueHasher ha(a), hb(b);
    std::vector<DiffEntry> added;
    for (size_t k = 0; k < list->pairs.size(); ++k) {
        const PagePair &p = list->pairs[k];
        if (has_entry[k] || p.a < 0 || p.b < 0 || p.a >= a.page_count() || p.b >= b.page_count()) continue;
        ha.new_page(), hb.new_page();
        if (ha.resources_look(page_resources(a, a.pages[static_cast<size_t>(p.a)])) ==
            hb.resources_look(page_resources(b, b.pages[static_cast<size_t>(p.b)])))
            continue;
        DiffEntry e;
        e.page = p.b + 1;
        std::snprintf(e.type, sizeof e.type, "%s", "content_changed");
        e.page_a = p.a + 1;
        e.page_b = p.b + 1;
        added.push_back(std::move(e));
    }
    if (added.empty()) return;
    std::vector<DiffEntry> out;
    out.reserve(es.size() + added.size());
    size_t next = 0;
    for (DiffEntry &e : es) {
        const auto it = rank.find(key(e.page_a - 1, e.page_b - 1));
        if (it != rank.end())
            while (next < added.size() && rank[key(added[next].page_a - 1, added[next].page_b - 1)] < it->second)
                out.push_back(std::move(added[next++]));
        out.push_back(std::move(e));
    }
    while (next < added.size()) out.push_back(std::move(added[next++]));
    es = std::move(out);
}

}  // namespace

bool needs_paint(const std::vector<DiffEntry> &entries) {
    bool texts = false, images = false, content = false;
    for (const DiffEntry &e : entries) entry_kinds(e, &texts, &images, &content);
    return texts || content;
}

std::optional<PairPaint> pair_paint(const std::vector<DiffEntry> &entries, const PagePaint &a,
                                    const PagePaint &b) {
    bool texts = false, images = false, content = false;
    for (const DiffEntry &e : entries) entry_kinds(e, &texts, &images, &content);
    return verdict(texts, images, a, b);
}

void refine_painted(const PdfDocument &a, const PdfDocument &b, const CompareOptions &opts, int threads,
                    DiffList *list, PaintByPair *known) {
    add_look_changes(a, b, list);
    std::vector<PairEntries> pairs;
    std::vector<DiffEntry> &es = list->entries;
    for (size_t k = 0; k < es.size();) {
        PairEntries p;
        p.first = k;
        p.ia = es[k].page_a - 1, p.ib = es[k].page_b - 1;
        while (k < es.size() && es[k].page_a - 1 == p.ia && es[k].page_b - 1 == p.ib) {
            entry_kinds(es[k], &p.texts, &p.images, &p.content);
            ++k;
        }
        p.last = k;
        if (p.ia >= 0 && p.ib >= 0 && p.ia < a.page_count() && p.ib < b.page_count() && (p.texts || p.content))
            pairs.push_back(p);
    }
    if (pairs.empty()) return;
    std::vector<std::optional<PairPaint>> found(pairs.size());
    for (size_t first = 0; first < pairs.size(); first += kPairsPerBatch) {
        const size_t n = std::min(static_cast<size_t>(kPairsPerBatch), pairs.size() - first);
        auto batch = parallel_map<std::optional<PairPaint>>(n, threads, [&](size_t k) -> std::optional<PairPaint> {
            const PairEntries &p = pairs[first + k];
            if (known) {
                auto it = known->find({p.ia, p.ib});
                if (it != known->end()) return std::move(it->second);  // each pair's own element
            }
            return pair_changes(a, b, p);
        });
        for (size_t k = 0; k < n; ++k) {
            found[first + k] = std::move(batch[k]);
            if (found[first + k]) apply_options(a, b, opts, pairs[first + k], &*found[first + k]);
        }
    }
    std::vector<DiffEntry> out;
    out.reserve(es.size());
    size_t next = 0;
    for (size_t k = 0; k < es.size(); ++k) {
        if (next < pairs.size() && pairs[next].first == k && found[next]) {
            const PairEntries &p = pairs[next];
            std::vector<PaintChange> &changes = found[next]->changes;
            bool image_boxes = false;
            bool placed = false;
            auto place = [&] {
                if (placed || changes.empty()) return;
                placed = true;
                DiffEntry e;
                e.page = p.ib + 1;
                std::snprintf(e.type, sizeof e.type, "%s", "content_changed");
                e.page_a = p.ia + 1;
                e.page_b = p.ib + 1;
                for (const PaintChange &c : changes) {
                    e.rects_a.insert(e.rects_a.end(), c.rects_a.begin(), c.rects_a.end());
                    e.rects_b.insert(e.rects_b.end(), c.rects_b.begin(), c.rects_b.end());
                }
                e.paint = std::move(changes);
                out.push_back(std::move(e));
            };
            for (size_t j = p.first; j < p.last; ++j) {
                if (std::strcmp(es[j].type, "content_changed") == 0) {
                    place();
                    continue;
                }
                // The image test marks a box of two corners on B; B's
                // placements that differ are known whole.  (The old place
                // stays unmarked, as image_changed has always said.)
                if (!image_boxes && std::strncmp(es[j].type, "image_", 6) == 0) {
                    image_boxes = true;
                    const PairPaint &f = *found[next];
                    es[j].rects_b.insert(es[j].rects_b.end(), f.image_b.begin(), f.image_b.end());
                }
                out.push_back(std::move(es[j]));
            }
            place();
            k = p.last - 1;
            ++next;
            continue;
        }
        if (next < pairs.size() && pairs[next].first == k) ++next;
        out.push_back(std::move(es[k]));
    }
    es = std::move(out);
    list->identical = es.empty() ? 1 : 0;
}

}  // namespace morvex
