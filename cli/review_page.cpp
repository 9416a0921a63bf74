#include "review_page.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

#include "html.h"
#include "report.h"

namespace review {

using K = json::Value::Kind;

long long pdf_page_count(const std::string &path) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::string head;
    char chunk[65536];
    std::size_t tree = std::string::npos;
    for (std::size_t n; head.size() < (16u << 20) && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) {
        // Each chunk is searched once, from a little before it (a keyword
        // may straddle two); /Count comes before the page tree's ">>".
        const std::size_t from = head.size() > 16 ? head.size() - 16 : 0;
        head.append(chunk, n);
        if (tree == std::string::npos) tree = head.find("/Type /Pages", from);
        if (tree != std::string::npos && head.find(">>", std::max(tree, from)) != std::string::npos) break;
    }
    std::fclose(f);
    if (tree == std::string::npos) return 0;
    const std::size_t count = head.find("/Count ", tree);
    if (count == std::string::npos) return 0;
    long long n = 0;
    for (std::size_t i = count + 7; i < head.size() && head[i] >= '0' && head[i] <= '9' && n < 100000000; ++i)
        n = n * 10 + (head[i] - '0');
    return n;
}

namespace {

long long page_of(const json::Value &v, const char *key) {
    const json::Value *p = v.get(key);
    return p && p->kind == K::Integer && p->integer > 0 ? p->integer : 0;
}

// The pages of A and B a difference names; detail reports carry page_a
// and page_b, others only `page` (B's, or A's for a removed page).
std::pair<long long, long long> sides_of(const json::Value &d) {
    long long a = page_of(d, "page_a"), b = page_of(d, "page_b");
    if (a == 0 && b == 0) {
        const long long page = page_of(d, "page");
        const json::Value *type = d.get("type");
        const std::string kind = type && type->kind == K::String ? type->string : "";
        if (kind == "page_removed") a = page;
        else if (kind == "page_added") b = page;
        else a = b = page;
    }
    return {a, b};
}

const json::Value *array_member(const json::Value &v, const char *key) {
    const json::Value *m = v.get(key);
    return m && m->kind == K::Array ? m : nullptr;
}

std::vector<long long> side_by_side_pages(const json::Value &detail, const ReportPdf &pdf,
                                          const std::vector<const json::Value *> &diffs) {
    std::vector<long long> pages(diffs.size(), 0);
    const json::Value *pairs = array_member(detail, "pairs");
    if (!pairs) return pages;
    std::vector<std::pair<long long, long long>> list;
    std::map<std::pair<long long, long long>, std::size_t> by_both;
    std::map<long long, std::size_t> by_a, by_b;
    for (const json::Value &p : pairs->items) {
        const auto sides = std::make_pair(page_of(p, "page_a"), page_of(p, "page_b"));
        if (sides.first == 0 && sides.second == 0) continue;
        by_both.emplace(sides, list.size());
        if (sides.first) by_a.emplace(sides.first, list.size());
        if (sides.second) by_b.emplace(sides.second, list.size());
        list.push_back(sides);
    }
    // Each difference belongs to the pair of both its pages, else to the
    // pairs of each (a moved page stands in two).
    const auto owners_of = [&](std::pair<long long, long long> sides) {
        std::vector<std::size_t> own;
        if (const auto both = by_both.find(sides); both != by_both.end()) {
            own.push_back(both->second);
        } else {
            const auto a = by_a.find(sides.first), b = by_b.find(sides.second);
            if (a != by_a.end()) own.push_back(a->second);
            if (b != by_b.end() && (a == by_a.end() || b->second != a->second)) own.push_back(b->second);
        }
        return own;
    };
    std::vector<std::vector<std::size_t>> owners(diffs.size());
    std::vector<bool> changed(list.size());
    for (std::size_t i = 0; i < diffs.size(); ++i) {
        owners[i] = owners_of(sides_of(*diffs[i]));
        for (std::size_t k : owners[i]) changed[k] = true;
    }
    // A link or annotation change shows its pair too.
    if (const json::Value *document = array_member(detail, "document")) {
        for (const json::Value &d : document->items) {
            const auto sides = std::make_pair(page_of(d, "page_a"), page_of(d, "page_b"));
            if (sides.first == 0 && sides.second == 0) continue;
            for (std::size_t k : owners_of(sides)) changed[k] = true;
        }
    }
    std::vector<long long> shown_at(list.size(), 0);
    long long shown = 0;
    for (std::size_t k = 0; k < list.size(); ++k) {
        if (list[k].first == 0 || list[k].second == 0) changed[k] = true;
        if (!pdf.changed_only || changed[k]) shown_at[k] = ++shown;
    }
    const long long summary_pages = pdf.pages - shown;
    if (pdf.pages <= 0 || summary_pages < 1) return pages;
    for (std::size_t i = 0; i < diffs.size(); ++i)
        if (!owners[i].empty() && shown_at[owners[i].front()] > 0)
            pages[i] = summary_pages + shown_at[owners[i].front()];
    return pages;
}

}  // namespace

std::vector<long long> report_pages(const json::Value &detail, const ReportPdf &pdf) {
    std::vector<const json::Value *> diffs;
    if (const json::Value *list = array_member(detail, "differences"))
        for (const json::Value &d : list->items) diffs.push_back(&d);
    if (pdf.layout == Layout::SideBySide) return side_by_side_pages(detail, pdf, diffs);
    std::vector<long long> pages;
    for (const json::Value *d : diffs) {
        const long long page = page_of(*d, "page");
        pages.push_back(pdf.pages > 0 && page > pdf.pages ? 0 : page);
    }
    return pages;
}

std::string number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

namespace {

// Any value as one line of words: at most eight items of a list or an
// object are shown.
std::string plain(const json::Value &v) {
    constexpr std::size_t kShown = 8;
    switch (v.kind) {
    case K::Null: return "null";
    case K::Bool: return v.boolean ? "true" : "false";
    case K::Integer: return std::to_string(v.integer);
    case K::Number: return number(v.number);
    case K::String: return v.string;
    case K::Array: {
        std::string out = "[";
        for (std::size_t i = 0; i < v.items.size() && i < kShown; ++i) out += (i ? ", " : "") + plain(v.items[i]);
        if (v.items.size() > kShown) out += ", …";
        return out + "]";
    }
    case K::Object: {
        std::string out = "{";
        for (std::size_t i = 0; i < v.members.size() && i < kShown; ++i)
            out += (i ? ", " : "") + v.members[i].name + ": " + plain(v.members[i].value);
        if (v.members.size() > kShown) out += ", …";
        return out + "}";
    }
    }
    return {};
}

std::string where(const json::Value &d) {
    const json::Value *a = d.get("page_a"), *b = d.get("page_b");
    if (!a && !b) return page_of(d, "page") ? "page " + std::to_string(page_of(d, "page")) : std::string("document");
    const long long pa = page_of(d, "page_a"), pb = page_of(d, "page_b");
    return (pa ? "A p. " + std::to_string(pa) : std::string("not in A")) + " | " +
           (pb ? "B p. " + std::to_string(pb) : std::string("not in B"));
}

std::string size_words(const json::Value &s) {
    const json::Value *w = s.get("width"), *h = s.get("height"), *r = s.get("rotation");
    if (!w || !h || !w->is_number() || !h->is_number()) return plain(s);
    std::string out = number(w->number) + " × " + number(h->number) + " pt";
    if (r && r->kind == K::Integer && r->integer != 0) out += ", turned " + std::to_string(r->integer) + "°";
    return out;
}

void old_and_new(std::string &out, const json::Value *old_value, const json::Value *new_value) {
    const auto text = [](const json::Value *v) {
        return !v || v->kind == K::Null ? std::string() : v->kind == K::String ? v->string : plain(*v);
    };
    const std::string o = text(old_value), n = text(new_value);
    if (!o.empty()) out += "<del>" + html::escape(o) + "</del>";
    if (!o.empty() && !n.empty()) out += ' ';
    if (!n.empty()) out += "<ins>" + html::escape(n) + "</ins>";
}

void append_changes(std::string &out, const json::Value &changes, std::size_t max_changes) {
    out += "<ul class=\"words\">\n";
    std::size_t shown = 0;
    for (const json::Value &c : changes.items) {
        if (max_changes && shown == max_changes) break;
        ++shown;
        const json::Value *before = c.get("before"), *after = c.get("after");
        out += "<li>";
        if (before && before->kind == K::String && !before->string.empty())
            out += "<span class=\"context\">… " + html::escape(before->string) + "</span> ";
        old_and_new(out, c.get("old"), c.get("new"));
        if (after && after->kind == K::String && !after->string.empty())
            out += " <span class=\"context\">" + html::escape(after->string) + " …</span>";
        out += "</li>\n";
    }
    if (shown < changes.items.size())
        out += "<li class=\"more\">" + report::count(static_cast<long long>(changes.items.size() - shown),
                                                   "more change", "more changes") + "</li>\n";
    out += "</ul>\n";
}

void append_rects(std::string &out, const json::Value &d) {
    constexpr std::size_t kShown = 3;
    std::string line;
    for (const char *side : {"rects_a", "rects_b"}) {
        const json::Value *rects = array_member(d, side);
        if (!rects || rects->items.empty()) continue;
        line += line.empty() ? "" : "; ";
        line += side[6] == 'a' ? "on A " : "on B ";
        for (std::size_t i = 0; i < rects->items.size() && i < kShown; ++i)
            line += (i ? ", " : "") + plain(rects->items[i]);
        if (rects->items.size() > kShown) line += " and " + std::to_string(rects->items.size() - kShown) + " more";
    }
    if (!line.empty()) out += "<div class=\"field\"><span class=\"name\">marked:</span> " + html::escape(line) + "</div>\n";
}

// The fields of a kind without word changes, in their order; the ones
// every difference has are shown in its heading instead.
void append_fields(std::string &out, const json::Value &d) {
    static const char *const kHeading[] = {"page", "type", "kind", "page_a", "page_b", "size_a",
                                           "size_b", "rects_a", "rects_b", "changes", "old", "new"};
    const json::Value *size_a = d.get("size_a"), *size_b = d.get("size_b");
    if (size_a && size_b && size_a->kind == K::Object && size_b->kind == K::Object &&
        size_words(*size_a) != size_words(*size_b))
        out += "<div class=\"field\"><span class=\"name\">page:</span> <del>" + html::escape(size_words(*size_a)) +
               "</del> <ins>" + html::escape(size_words(*size_b)) + "</ins></div>\n";
    const json::Value *old_value = d.get("old"), *new_value = d.get("new");
    if ((old_value && old_value->kind != K::Null) || (new_value && new_value->kind != K::Null)) {
        out += "<div class=\"field\">";
        old_and_new(out, old_value, new_value);
        out += "</div>\n";
    }
    for (const json::Member &m : d.members) {
        bool heading = false;
        for (const char *h : kHeading) heading = heading || m.name == h;
        if (heading || m.value.kind == K::Null) continue;
        out += "<div class=\"field\"><span class=\"name\">" + html::escape(m.name) + ":</span> " +
               html::escape(plain(m.value)) + "</div>\n";
    }
    append_rects(out, d);
}

}  // namespace

void append_difference(std::string &out, const json::Value &d, long long report_page, const ReportPdf &pdf,
                       std::size_t max_changes) {
    const json::Value *type = d.get("type");
    if (!type || type->kind != K::String) type = d.get("kind");
    const std::string kind = type && type->kind == K::String ? type->string : "difference";
    const int dir = report::direction(kind);
    out += "<li><span class=\"where\">" + html::escape(where(d)) + "</span> <span class=\"kind" +
           (dir > 0 ? " added" : dir < 0 ? " removed" : "") + "\">" + html::escape(report::describe(kind)) + "</span>";
    if (report_page > 0 && !pdf.href.empty())
        out += " <a class=\"pdf\" href=\"" + pdf.href + "#page=" + std::to_string(report_page) + "\">report page " +
               std::to_string(report_page) + "</a>";
    out += "\n";
    if (const json::Value *changes = array_member(d, "changes")) append_changes(out, *changes, max_changes);
    else append_fields(out, d);
    out += "</li>\n";
}

std::string pair_page(const PairPage &p) {
    std::string out = html::page_head("morvex review: " + p.title);
    if (!p.index_href.empty()) out += "<p class=\"nav\"><a href=\"" + p.index_href + "\">all files</a></p>\n";
    out += "<h1>" + html::escape(p.title) + "</h1>\n";
    out += "<p>old (A): <code>" + html::escape(p.name_a) + "</code><br>new (B): <code>" + html::escape(p.name_b) +
           "</code></p>\n";
    const json::Value &detail = *p.detail;
    if (const std::optional<report::Report> r = report::from_value(detail))
        out += "<p class=\"summary\">" + html::escape(report::summary(*r)) + "</p>\n";
    if (!p.pdf.href.empty()) out += "<p><a class=\"pdf\" href=\"" + p.pdf.href + "\">the visual report (PDF)</a></p>\n";
    const json::Value *diffs = array_member(detail, "differences");
    out += "<h2>Changes by page</h2>\n";
    if (!diffs || diffs->items.empty()) {
        out += "<p>No differences on the pages.</p>\n";
    } else {
        const std::vector<long long> pages = report_pages(detail, p.pdf);
        out += "<ol class=\"diffs\">\n";
        for (std::size_t i = 0; i < diffs->items.size(); ++i) append_difference(out, diffs->items[i], pages[i], p.pdf, 0);
        out += "</ol>\n";
    }
    // Lists of the document as a whole ("document": metadata, outline,
    // attachments, ...), whatever their name.
    for (const json::Member &m : detail.members) {
        if (m.value.kind != K::Array || m.value.items.empty() || m.name == "differences" || m.name == "pairs") continue;
        out += "<h2>" + html::escape(report::describe(m.name)) + "</h2>\n<ol class=\"diffs\">\n";
        for (const json::Value &d : m.value.items) append_difference(out, d, 0, p.pdf, 0);
        out += "</ol>\n";
    }
    out += "</body>\n</html>\n";
    return out;
}

}  // namespace review
