// The page tree walk: reading order, inherited media box, rotation and
// resources.
#include <cstring>

#include "document.h"

namespace morvex {

namespace {

constexpr int32_t kMaxDepth = 65;     // the root and 64 levels below it
constexpr size_t kMaxContents = 64;   // content streams kept per page

enum class NodeType { other, page, pages };

// Position after "/key" and the whitespace behind it, or -1 without the key.
// The page dictionary's own key is wanted, not one of a dictionary nested
// in it (a direct annotation has /Contents of its own); the first "/key"
// anywhere is the answer only when the dictionary cannot be walked.
int32_t value_after(const TextRange &r, const char *key) {
    const int32_t v = dict_key_value(r.data, r.end, skip_ws_comments(r.data, r.end, r.begin), key);
    if (v >= 0) return v;
    const int32_t at = find_name(r.data, r.end, r.begin, r.end, key);
    if (at < 0) return -1;
    return skip_ws(r.data, r.end, at + 1 + static_cast<int32_t>(std::strlen(key)));
}

NodeType node_type(const TextRange &r) {
    const int32_t p = value_after(r, "Type");
    if (p < 0) return NodeType::other;
    if (p >= r.end || r.data[p] != '/') return NodeType::other;
    const int32_t n = r.end - (p + 1);
    if (n >= 4 && std::memcmp(r.data + p + 1, "Page", 4) == 0 &&
        (n == 4 || !is_alnum(r.data[p + 5])))
        return NodeType::page;
    if (n >= 5 && std::memcmp(r.data + p + 1, "Pages", 5) == 0) return NodeType::pages;
    return NodeType::other;
}

void read_media_box(const PdfDocument *doc, const TextRange &r, double *x, double *y, double *w,
                    double *h) {
    const int32_t p = value_after(r, "MediaBox");
    if (p < 0 || p >= r.end) return;
    if (r.data[p] == '[') {
        parse_box(r.data, r.end, p + 1, x, y, w, h);
    } else if (is_digit(r.data[p])) {
        int32_t q = p;
        const ObjectEntry *e = doc->find_object(parse_int_at(r.data, r.end, &q));
        if (!e) return;
        const TextRange t = doc->catalog_range(*e);
        if (!t.valid() || t.begin >= t.end) return;
        const void *bracket = std::memchr(t.data + t.begin, '[', static_cast<size_t>(t.end - t.begin));
        if (!bracket) return;
        const int32_t b = static_cast<int32_t>(static_cast<const u8 *>(bracket) - t.data);
        parse_box(t.data, t.end, b + 1, x, y, w, h);
    }
}

// Calls visit(ref) for each indirect reference in the array at p ('['),
// stopping at ']' or the end of the range, or when visit returns false.
template <class Visit>
void for_each_array_ref(const TextRange &r, int32_t p, Visit visit) {
    ++p;
    while (p < r.end) {
        const u8 c = r.data[p];
        if (c == ']') return;
        if (!is_digit(c)) {
            ++p;
            continue;
        }
        const int32_t ref = parse_ref_at(r.data, r.end, p);
        if (ref > 0 && !visit(ref)) return;
        while (p < r.end && r.data[p] != ']' && r.data[p] != 'R') ++p;
        if (p >= r.end || r.data[p] == ']') return;
        ++p;
    }
}

std::vector<int32_t> read_contents(const TextRange &r) {
    std::vector<int32_t> refs;
    const int32_t p = value_after(r, "Contents");
    if (p < 0 || p >= r.end) return refs;
    if (r.data[p] == '[') {
        for_each_array_ref(r, p, [&](int32_t ref) {
            refs.push_back(ref);
            return refs.size() < kMaxContents;
        });
    } else if (is_digit(r.data[p])) {
        const int32_t ref = parse_ref_at(r.data, r.end, p);
        if (ref > 0) refs.push_back(ref);
    }
    return refs;
}

}  // namespace

void resolve_pages_rec(PdfDocument *doc, int32_t obj_num, double box_x, double box_y,
                       double box_w, double box_h, int32_t rotate, ObjectNumberSet *visited,
                       int32_t depth, int32_t resources_obj) {
    if (depth >= kMaxDepth) return;
    if (obj_num > doc->max_obj_num) return;
    if (!visited->insert(obj_num)) return;
    const ObjectEntry *e = doc->find_object(obj_num);
    if (!e) return;
    const TextRange r = doc->object_range(*e);
    if (!r.valid()) return;

    const NodeType type = node_type(r);
    read_media_box(doc, r, &box_x, &box_y, &box_w, &box_h);
    const int32_t rot = value_after(r, "Rotate");
    if (rot >= 0) {
        int32_t q = rot;
        const int32_t v = parse_int_at(r.data, r.end, &q);
        if (q != rot) rotate = v;  // a /Rotate without an integer keeps the inherited value
    }
    if (value_after(r, "Resources") >= 0) resources_obj = obj_num;

    const bool has_contents = value_after(r, "Contents") >= 0;
    if (type != NodeType::page && (type == NodeType::pages || !has_contents)) {
        const int32_t kids = value_after(r, "Kids");
        if (kids < 0 || kids >= r.end || r.data[kids] != '[') return;
        for_each_array_ref(r, kids, [&](int32_t ref) {
            resolve_pages_rec(doc, ref, box_x, box_y, box_w, box_h, rotate, visited, depth + 1,
                              resources_obj);
            return true;
        });
        return;
    }

    PageEntry page;
    page.obj_num = obj_num;
    page.box_x = box_x;
    page.box_y = box_y;
    page.box_w = box_w;
    page.box_h = box_h;
    page.rotate = ((rotate % 360) + 360) % 360;
    page.contents = read_contents(r);
    page.resources_obj = resources_obj;
    doc->pages.push_back(std::move(page));
}

}  // namespace morvex
