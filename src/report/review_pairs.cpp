#include "review_pairs.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace morvex {

namespace {

int64_t pair_key(int a, int b) { return (static_cast<int64_t>(a) << 32) ^ static_cast<uint32_t>(b); }

}  // namespace

std::vector<ReviewPair> review_pairs(const DiffList &list, int32_t pages_a, int32_t pages_b) {
    std::vector<ReviewPair> pairs;
    const auto valid = [&](const PagePair &p) {
        return (p.a >= 0 || p.b >= 0) && p.a < pages_a && p.b < pages_b && p.a >= -1 && p.b >= -1;
    };
    if (!list.pairs.empty()) {
        for (const PagePair &p : list.pairs)
            if (valid(p)) pairs.push_back({p, {}, {}});
    } else {
        for (int32_t i = 0; i < std::max(pages_a, pages_b); ++i)
            pairs.push_back({{i < pages_a ? i : -1, i < pages_b ? i : -1}, {}, {}});
    }
    std::unordered_map<int64_t, size_t> by_both;
    std::vector<size_t> by_a(static_cast<size_t>(std::max(pages_a, 0)), SIZE_MAX);
    std::vector<size_t> by_b(static_cast<size_t>(std::max(pages_b, 0)), SIZE_MAX);
    for (size_t k = 0; k < pairs.size(); ++k) {
        const PagePair &p = pairs[k].pages;
        by_both.emplace(pair_key(p.a, p.b), k);
        if (p.a >= 0 && by_a[static_cast<size_t>(p.a)] == SIZE_MAX) by_a[static_cast<size_t>(p.a)] = k;
        if (p.b >= 0 && by_b[static_cast<size_t>(p.b)] == SIZE_MAX) by_b[static_cast<size_t>(p.b)] = k;
    }
    const auto side_pair = [](const std::vector<size_t> &index, int page) {
        return page >= 1 && static_cast<size_t>(page) <= index.size() ? index[static_cast<size_t>(page - 1)] : SIZE_MAX;
    };
    // Pages are 1-based, 0 where the entry has none on that side.
    const auto place = [&](int pa, int pb, size_t e, std::vector<size_t> ReviewPair::*into) {
        const auto both = by_both.find(pair_key(pa - 1, pb - 1));
        if (both != by_both.end()) {
            (pairs[both->second].*into).push_back(e);
            return;
        }
        const size_t ka = side_pair(by_a, pa), kb = side_pair(by_b, pb);
        if (ka != SIZE_MAX) (pairs[ka].*into).push_back(e);
        if (kb != SIZE_MAX && kb != ka) (pairs[kb].*into).push_back(e);
    };
    for (size_t e = 0; e < list.entries.size(); ++e) {
        const DiffEntry &d = list.entries[e];
        int pa = d.page_a, pb = d.page_b;
        if (pa == 0 && pb == 0) {
            if (std::strcmp(d.type, "page_removed") == 0)
                pa = d.page;
            else if (std::strcmp(d.type, "page_added") == 0)
                pb = d.page;
            else
                pa = pb = d.page;
        }
        place(pa, pb, e, &ReviewPair::entries);
    }
    for (size_t e = 0; e < list.document.size(); ++e) {
        const DocDiff &d = list.document[e];
        if (d.page_a > 0 || d.page_b > 0) place(d.page_a, d.page_b, e, &ReviewPair::document);
    }
    return pairs;
}

WordCounts word_counts(const DiffList &list, const std::vector<size_t> &entries) {
    WordCounts n;
    for (size_t e : entries) {
        for (const WordChange &c : list.entries[e].changes) {
            if (std::strcmp(c.op, "delete") == 0)
                ++n.deleted;
            else if (std::strcmp(c.op, "insert") == 0)
                ++n.inserted;
            else
                ++n.replaced;
        }
    }
    return n;
}

std::string kind_phrase(const char *kind) {
    static const struct {
        const char *kind, *phrase;
    } kPhrases[] = {
        {"image_changed", "image moved"},
        {"dimensions_changed", "size changed"},
        {"content_changed", "content changed"},
        {"style", "style changed"},
        {"drawing", "drawing changed"},
    };
    for (const auto &p : kPhrases)
        if (std::strcmp(kind, p.kind) == 0) return p.phrase;
    std::string out(kind);
    for (char &c : out)
        if (c == '_') c = ' ';
    return out;
}

std::string pair_description(const DiffList &list, const ReviewPair &pair) {
    std::string out;
    std::vector<std::string> seen;
    for (size_t e : pair.entries) {
        const DiffEntry &d = list.entries[e];
        // A content change that knows its regions is named by their kinds.
        if (!d.paint.empty()) {
            for (const PaintChange &c : d.paint) {
                const std::string phrase = kind_phrase(c.kind);
                if (std::find(seen.begin(), seen.end(), phrase) != seen.end()) continue;
                seen.push_back(phrase);
                if (!out.empty()) out += ", ";
                out += phrase;
            }
            continue;
        }
        std::string phrase = kind_phrase(d.type);
        bool dup = false;
        for (const std::string &s : seen) dup = dup || s == phrase;
        if (dup) continue;
        seen.push_back(phrase);
        if (!out.empty()) out += ", ";
        out += phrase;
        if (std::strncmp(d.type, "text_", 5) == 0) {
            std::vector<size_t> texts;
            for (size_t t : pair.entries)
                if (std::strncmp(list.entries[t].type, "text_", 5) == 0) texts.push_back(t);
            const WordCounts n = word_counts(list, texts);
            std::string counts;
            const auto add = [&](int v, const char *what) {
                if (!v) return;
                if (!counts.empty()) counts += ", ";
                counts += std::to_string(v) + " " + what;
            };
            add(n.deleted, "deleted");
            add(n.inserted, "inserted");
            add(n.replaced, "replaced");
            if (!counts.empty()) out += " (" + counts + ")";
        }
    }
    for (size_t e : pair.document) {
        std::string phrase = list.document[e].type;
        std::replace(phrase.begin(), phrase.end(), '_', ' ');
        if (std::find(seen.begin(), seen.end(), phrase) != seen.end()) continue;
        seen.push_back(phrase);
        if (!out.empty()) out += ", ";
        out += phrase;
    }
    if (out.empty()) out = pair.pages.a < 0 ? "page added" : pair.pages.b < 0 ? "page removed" : "identical";
    return out;
}

std::string pair_label(const PagePair &pages) {
    std::string a = pages.a >= 0 ? "A p. " + std::to_string(pages.a + 1) : "not in A";
    std::string b = pages.b >= 0 ? "B p. " + std::to_string(pages.b + 1) : "not in B";
    return a + " | " + b;
}

}  // namespace morvex
