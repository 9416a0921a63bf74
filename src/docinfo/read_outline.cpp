// The outline (bookmarks): each item by its path of titles, with its level
// and where it leads.
#include <unordered_map>

#include "items.h"

namespace morvex::docinfo {

namespace {

constexpr int kMaxDepth = 64;
constexpr int kMaxItems = 20000;
// Joins the titles of an item's path.
constexpr const char *kPathSep = " > ";

struct Pending {
    Val item;
    int depth;         // 1 for a top-level item
    std::string path;  // the parent's path
};

}  // namespace

void read_outline(const Reader &r, Destinations &dests, DocSection *out) {
    const Val root = r.get(catalog(r), "Outlines");
    if (!root.is_dict()) return;
    ObjectNumberSet seen(r.doc().max_obj_num, 256);
    std::unordered_map<std::string, int> paths;  // duplicate paths get "#2", "#3"
    std::vector<Pending> stack;
    auto push_chain_start = [&](Val parent, int depth, const std::string &path) {
        const Val first = r.raw(parent, "First");
        if (first.ok()) stack.push_back({first, depth, path});
    };
    push_chain_start(root, 1, "");
    std::string cut;  // why the walk stopped early
    // Pre-order: an item's children before its next sibling, so the items
    // come out in reading order.
    while (!stack.empty() && cut.empty()) {
        const Pending p = stack.back();
        stack.pop_back();
        const int32_t num = Reader::ref(p.item);
        if (num > 0 && !seen.insert(num)) {
            if (!out->outline.empty()) out->outline.back().problem = "outline loop: an item links back to one read before";
            else cut = "outline loop";
            continue;
        }
        const Val item = r.resolve(p.item);
        if (!item.is_dict()) continue;
        if (static_cast<int>(out->outline.size()) >= kMaxItems) {
            cut = "the outline holds more than 20000 items: the rest is not read";
            break;
        }
        DocItem it;
        const std::string title = r.text(r.get(item, "Title"));
        it.key = p.path.empty() ? title : p.path + kPathSep + title;
        if (const int n = ++paths[it.key]; n > 1) it.key += " #" + std::to_string(n);
        Members m;
        m.text("title", title);
        m.number("level", p.depth);
        read_target(r, dests, r.raw(item, "Dest"), r.get(item, "A"), &m, &it);
        it.members = m.str();
        const std::string key = it.key;
        out->outline.push_back(std::move(it));
        const Val next = r.raw(item, "Next");
        if (next.ok()) stack.push_back({next, p.depth, p.path});
        if (r.raw(item, "First").ok()) {
            if (p.depth >= kMaxDepth) out->outline.back().problem = "outline deeper than 64 levels: the items below are not read";
            else push_chain_start(item, p.depth + 1, key);
        }
    }
    if (!cut.empty()) {
        DocItem item;
        item.key = "(outline)";
        item.problem = cut;
        out->outline.push_back(std::move(item));
    }
}

}  // namespace morvex::docinfo
