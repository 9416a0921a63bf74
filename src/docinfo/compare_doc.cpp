// Comparing the document-level items of A and B.
//
// Items with an identity (metadata keys, outline paths, field names,
// attachment names) are matched by it.  Links and annotations have none:
// they are matched page pair by page pair, first those equal in every
// respect, then the rest in order (annotations of one subtype together),
// and what is left over was added or removed.  A target page is compared
// through the page pairing, so a link into a page that moved still leads
// to the same content.
#include <cmath>
#include <map>
#include <unordered_map>

#include "docinfo.h"
#include "items.h"

namespace morvex {

namespace {

using docinfo::DocItem;
using docinfo::DocSection;

// Entries written at most; the last one says when more were found.
constexpr size_t kMaxEntries = 10000;

class Comparer {
public:
    Comparer(const PdfDocument &a, const PdfDocument &b, const std::vector<PagePair> &pairs, DiffList *list)
        : a_(a), b_(b), list_(list), a2b_(static_cast<size_t>(a.page_count()), -1) {
        for (const PagePair &p : pairs)
            if (p.a >= 0 && p.a < a.page_count()) a2b_[static_cast<size_t>(p.a)] = p.b;
    }

    void keyed(const std::vector<DocItem> &ia, const std::vector<DocItem> &ib, const char *added, const char *removed,
               const char *changed, bool object_value);
    void paged(const std::vector<DocItem> &ia, const std::vector<DocItem> &ib, const std::vector<PagePair> &pairs,
               const char *added, const char *removed, const char *changed, bool by_subtype);

private:
    // A's page index as B numbers it: the paired page, or -2 - index for a
    // page of A that B lacks (equal to nothing of B).
    int mapped(int page) const {
        if (page < 0) return page;
        const int b = page < static_cast<int>(a2b_.size()) ? a2b_[static_cast<size_t>(page)] : -1;
        return b >= 0 ? b : -2 - page;
    }
    bool same(const DocItem &x, const DocItem &y) const;
    std::string signature(const DocItem &item, bool from_a) const;
    std::string value_json(const DocItem &item, bool object_value) const;
    void add(const char *type, const DocItem *x, const DocItem *y, bool object_value, bool paged);

    const PdfDocument &a_, &b_;
    DiffList *list_;
    std::vector<int> a2b_;  // A's page index -> B's, -1 when unpaired
};

int64_t hundredths(double v) { return std::llround(v * 100); }

bool same_rect(const DocItem &x, const DocItem &y) {
    if (x.has_rect != y.has_rect) return false;
    if (!x.has_rect) return true;
    return hundredths(x.rect.x) == hundredths(y.rect.x) && hundredths(x.rect.y) == hundredths(y.rect.y) &&
           hundredths(x.rect.w) == hundredths(y.rect.w) && hundredths(x.rect.h) == hundredths(y.rect.h);
}

bool Comparer::same(const DocItem &x, const DocItem &y) const {
    return x.members == y.members && x.problem == y.problem && mapped(x.target) == y.target &&
           mapped(x.page) == y.page && same_rect(x, y);
}

std::string Comparer::signature(const DocItem &item, bool from_a) const {
    std::string s = item.members;
    s += '\x1f';
    s += item.problem;
    s += '\x1f';
    s += std::to_string(from_a ? mapped(item.target) : item.target);
    if (item.has_rect)
        for (const double v : {item.rect.x, item.rect.y, item.rect.w, item.rect.h}) s += ',' + std::to_string(hundredths(v));
    return s;
}

std::string Comparer::value_json(const DocItem &item, bool object_value) const {
    if (!object_value) return item.members.empty() ? "null" : item.members;
    std::string s = "{" + item.members;
    if (item.target >= 0) s += std::string(item.members.empty() ? "" : ",") + "\"target_page\":" + std::to_string(item.target + 1);
    return s + "}";
}

void Comparer::add(const char *type, const DocItem *x, const DocItem *y, bool object_value, bool paged) {
    if (list_->document.size() >= kMaxEntries) return;
    DocDiff d;
    d.type = type;
    const DocItem *any = x ? x : y;
    d.key = any->key;
    if (x) d.old_json = value_json(*x, object_value);
    if (y) d.new_json = value_json(*y, object_value);
    if (x && !x->problem.empty()) d.problem = "A: " + x->problem;
    if (y && !y->problem.empty()) d.problem += (d.problem.empty() ? "B: " : "; B: ") + y->problem;
    auto place = [](const PdfDocument &doc, const DocItem *item, int *page, bool *has, std::array<double, 4> *r) {
        if (!item || item->page < 0 || item->page >= doc.page_count()) return;
        *page = item->page + 1;
        if (!item->has_rect) return;
        const TopLeftRect t = to_top_left(doc.pages[static_cast<size_t>(item->page)], item->rect);
        *has = true;
        *r = {t.x0, t.y0, t.x1, t.y1};
    };
    if (paged) {
        place(a_, x, &d.page_a, &d.has_rect_a, &d.rect_a);
        place(b_, y, &d.page_b, &d.has_rect_b, &d.rect_b);
    }
    list_->document.push_back(std::move(d));
    if (list_->document.size() == kMaxEntries)
        list_->document.back().problem += std::string(list_->document.back().problem.empty() ? "" : "; ") +
                                          "more document differences were found than the 10000 listed";
}

void Comparer::keyed(const std::vector<DocItem> &ia, const std::vector<DocItem> &ib, const char *added,
                     const char *removed, const char *changed, bool object_value) {
    std::unordered_map<std::string_view, size_t> in_b;
    in_b.reserve(ib.size());
    for (size_t k = 0; k < ib.size(); ++k) in_b.emplace(ib[k].key, k);
    std::vector<bool> matched(ib.size(), false);
    for (const DocItem &x : ia) {
        const auto it = in_b.find(x.key);
        if (it == in_b.end()) {
            add(removed, &x, nullptr, object_value, x.page >= 0);
            continue;
        }
        matched[it->second] = true;
        const DocItem &y = ib[it->second];
        if (!same(x, y)) add(changed, &x, &y, object_value, x.page >= 0 || y.page >= 0);
    }
    for (size_t k = 0; k < ib.size(); ++k)
        if (!matched[k]) add(added, nullptr, &ib[k], object_value, ib[k].page >= 0);
}

// The "subtype" member of an annotation's members, for pairing leftovers.
std::string_view subtype_of(const DocItem &item) {
    const std::string_view m = item.members;
    if (m.rfind("\"subtype\":", 0) != 0) return {};
    const size_t end = m.find("\",", 11);
    return m.substr(11, end == std::string_view::npos ? 0 : end - 11);
}

void Comparer::paged(const std::vector<DocItem> &ia, const std::vector<DocItem> &ib,
                     const std::vector<PagePair> &pairs, const char *added, const char *removed,
                     const char *changed, bool by_subtype) {
    auto by_page = [](const std::vector<DocItem> &items, int pages) {
        std::vector<std::vector<size_t>> out(static_cast<size_t>(pages));
        for (size_t k = 0; k < items.size(); ++k)
            if (items[k].page >= 0 && items[k].page < pages) out[static_cast<size_t>(items[k].page)].push_back(k);
        return out;
    };
    const auto pa = by_page(ia, a_.page_count()), pb = by_page(ib, b_.page_count());
    for (const PagePair &pair : pairs) {
        if (pair.a < 0 || pair.b < 0 || pair.a >= a_.page_count() || pair.b >= b_.page_count()) continue;
        const std::vector<size_t> &xa = pa[static_cast<size_t>(pair.a)], &xb = pb[static_cast<size_t>(pair.b)];
        if (xa.empty() && xb.empty()) continue;
        // Equal items first, as multisets.
        std::map<std::string, std::vector<size_t>> b_sigs;
        for (auto k = xb.rbegin(); k != xb.rend(); ++k) b_sigs[signature(ib[*k], false)].push_back(*k);
        std::vector<size_t> left_a, left_b;
        std::unordered_map<size_t, bool> taken;
        for (const size_t k : xa) {
            auto it = b_sigs.find(signature(ia[k], true));
            if (it != b_sigs.end() && !it->second.empty()) {
                taken[it->second.back()] = true;
                it->second.pop_back();
            } else {
                left_a.push_back(k);
            }
        }
        for (const size_t k : xb)
            if (!taken.count(k)) left_b.push_back(k);
        // The rest in order, of one subtype where that matters.
        std::vector<bool> done_b(left_b.size(), false);
        for (const size_t k : left_a) {
            size_t j = 0;
            while (j < left_b.size() &&
                   (done_b[j] || (by_subtype && subtype_of(ia[k]) != subtype_of(ib[left_b[j]]))))
                ++j;
            if (j < left_b.size()) {
                done_b[j] = true;
                add(changed, &ia[k], &ib[left_b[j]], true, true);
            } else {
                add(removed, &ia[k], nullptr, true, true);
            }
        }
        for (size_t j = 0; j < left_b.size(); ++j)
            if (!done_b[j]) add(added, nullptr, &ib[left_b[j]], true, true);
    }
}

DocSection read_section(const docinfo::Reader &r, unsigned kinds) {
    DocSection s;
    docinfo::Destinations dests(r);
    if (kinds & (kDocMetadata | kDocMetadataDates)) {
        docinfo::read_metadata(r, (kinds & kDocMetadataDates) != 0, &s);
        if (!(kinds & kDocMetadata)) {
            // Dates alone: the other keys are left out.
            std::vector<DocItem> kept;
            for (DocItem &i : s.metadata)
                if (i.key == "Producer" || i.key == "CreationDate" || i.key == "ModDate") kept.push_back(std::move(i));
            s.metadata = std::move(kept);
        }
    }
    if (kinds & kDocOutline) docinfo::read_outline(r, dests, &s);
    if (kinds & (kDocLinks | kDocAnnotations))
        docinfo::read_page_annotations(r, dests, (kinds & kDocLinks) != 0, (kinds & kDocAnnotations) != 0, &s);
    if (kinds & kDocFields) docinfo::read_fields(r, &s);
    if (kinds & kDocAttachments) docinfo::read_attachments(r, &s);
    if (kinds & kDocPageLabels) docinfo::read_page_labels(r, &s);
    return s;
}

}  // namespace

void compare_document(const PdfDocument &a, const PdfDocument &b, const CompareOptions &opts, DiffList *list) {
    const unsigned kinds = opts.document_kinds;
    if (kinds == 0 || &a == &b) return;  // B is A's file again: nothing can differ
    const docinfo::Reader ra(a), rb(b);
    const DocSection sa = read_section(ra, kinds), sb = read_section(rb, kinds);
    Comparer c(a, b, list->pairs, list);
    c.keyed(sa.metadata, sb.metadata, "metadata_changed", "metadata_changed", "metadata_changed", false);
    c.keyed(sa.outline, sb.outline, "outline_changed", "outline_changed", "outline_changed", true);
    c.paged(sa.links, sb.links, list->pairs, "link_changed", "link_changed", "link_changed", false);
    c.paged(sa.annotations, sb.annotations, list->pairs, "annotation_added", "annotation_removed",
            "annotation_changed", true);
    c.keyed(sa.fields, sb.fields, "field_changed", "field_changed", "field_changed", true);
    c.keyed(sa.attachments, sb.attachments, "attachment_added", "attachment_removed", "attachment_changed", true);
    c.keyed(sa.page_labels, sb.page_labels, "page_labels_changed", "page_labels_changed", "page_labels_changed",
            false);
    if (!list->document.empty()) list->identical = 0;
}

}  // namespace morvex
