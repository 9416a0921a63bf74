// What the document-level readers give: items of each kind, each with an
// identity, the JSON of what is compared and where it stands.
#pragma once

#include <string>
#include <vector>

#include "../compare/diff.h"
#include "values.h"

namespace morvex::docinfo {

struct DocItem {
    // Identity among the items of its kind: a metadata key, an outline
    // path, a field name, an attachment name; "" for links and annotations,
    // which are matched page by page.
    std::string key;
    // JSON members (without braces) of what is compared, the target page
    // left out: it is compared through the page pairing.
    std::string members;
    int page = -1;      // 0-based page the item stands on, -1 none
    bool has_rect = false;
    DiffRect rect;
    int target = -1;    // 0-based page the item leads to, -1 none
    std::string problem;  // what could not be read; "" when all could
};

struct DocSection {
    std::vector<DocItem> metadata, outline, links, annotations, fields, attachments, page_labels;
};

// Builds JSON object members in order: "name":value,...
class Members {
public:
    Members &text(const char *name, std::string_view s);
    Members &raw(const char *name, std::string_view json);
    Members &number(const char *name, int64_t v);
    Members &boolean(const char *name, bool v);
    const std::string &str() const { return s_; }

private:
    void start(const char *name);
    std::string s_;
};

// A JSON string literal of s (quotes included).
std::string json_string(std::string_view s);

// Where a destination leads.
struct Target {
    int page = -1;         // 0-based page, -1 when none is known
    std::string name;      // a named destination that could not be resolved
    std::string problem;
};

// Named destinations of a document (catalog /Dests and the /Dests name
// tree), read on the first lookup.
class Destinations {
public:
    explicit Destinations(const Reader &r) : r_(r) {}
    // Where a destination value (an array, a name, a string, a dictionary
    // with /D) leads.
    Target resolve(Val dest);

private:
    Target explicit_dest(Val array) const;
    void load();
    const Reader &r_;
    bool loaded_ = false;
    std::unordered_map<std::string, Val> named_;
};

// Members and target of an action or destination: "uri", "dest" (a name
// not found), "action" (any other action type), "file" (another file).
void read_target(const Reader &r, Destinations &dests, Val dest, Val action, Members *m, DocItem *item);

// Calls f(key bytes, value) for each entry of the name tree (or, with
// numbers, the number tree, keys as decimal text) at root.  Walks at most
// 64 levels and 200000 entries; false when a cap or a loop cut the walk.
template <class F>
bool walk_tree(const Reader &r, Val root, bool numbers, F f);

void read_metadata(const Reader &r, bool dates, DocSection *out);
void read_outline(const Reader &r, Destinations &dests, DocSection *out);
void read_attachments(const Reader &r, DocSection *out);
void read_page_labels(const Reader &r, DocSection *out);
// Links and markup annotations of every page, and (with fields) the form
// fields, whose widgets are found on the pages.
void read_page_annotations(const Reader &r, Destinations &dests, bool links, bool annots, DocSection *out);
void read_fields(const Reader &r, DocSection *out);

// The catalog dictionary.
Val catalog(const Reader &r);
// Reads four numbers into a rectangle; false unless there are four.
bool read_rect(const Reader &r, Val v, DiffRect *out);

template <class F>
bool walk_tree(const Reader &r, Val root, bool numbers, F f) {
    constexpr int kMaxDepth = 64;
    constexpr int kMaxEntries = 200000;
    constexpr int kMaxNodes = 100000;
    struct Node {
        Val v;
        int depth;
    };
    ObjectNumberSet seen(r.doc().max_obj_num, 64);
    std::vector<Node> stack{{r.resolve(root), 0}};
    int entries = 0, nodes = 0;
    bool whole = true;
    while (!stack.empty()) {
        const Node n = stack.back();
        stack.pop_back();
        if (!n.v.is_dict()) continue;
        if (++nodes > kMaxNodes) return false;
        const Val list = r.get(n.v, numbers ? "Nums" : "Names");
        Val key;
        bool have_key = false;
        r.each_item(list, 2 * kMaxEntries, [&](Val item) {
            if (!have_key) {
                key = r.resolve(item);
                have_key = true;
                return true;
            }
            have_key = false;
            if (++entries > kMaxEntries) {
                whole = false;
                return false;
            }
            std::string k;
            if (numbers) k = std::to_string(r.integer(key, -1));
            else if (!r.bytes(key, &k)) k = Reader::name(key);
            f(k, item);
            return true;
        });
        if (entries > kMaxEntries) return false;
        const Val kids = r.get(n.v, "Kids");
        std::vector<Node> next;
        r.each_item(kids, kMaxNodes, [&](Val kid) {
            const int32_t num = Reader::ref(kid);
            if (num > 0 && !seen.insert(num)) {
                whole = false;  // a loop, or a node listed twice
                return true;
            }
            if (n.depth + 1 >= kMaxDepth) {
                whole = false;
                return true;
            }
            next.push_back({r.resolve(kid), n.depth + 1});
            return true;
        });
        // Kids in order: pushed last first.
        for (auto it = next.rbegin(); it != next.rend(); ++it) stack.push_back(*it);
    }
    return whole;
}

}  // namespace morvex::docinfo
