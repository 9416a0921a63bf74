// The crop box: what a viewer shows of a page.  Read after the page tree
// walk, so the walk keeps its one job: each page looks up /CropBox on
// itself, then on its ancestors through /Parent.
#include <algorithm>
#include <cstring>

#include "document.h"

namespace morvex {

namespace {

// A page's ancestors are followed this far (as deep as the page tree walk goes).
constexpr int kMaxLevels = 65;

// Reads the rectangle of /key in r (an array, or a reference to one) into
// box; false when the key is absent or holds no rectangle.
bool read_rect(const PdfDocument &doc, const TextRange &r, const char *key, double box[4]) {
    const int32_t at = find_name(r.data, r.end, r.begin, r.end, key);
    if (at < 0) return false;
    const int32_t p = skip_ws(r.data, r.end, at + 1 + static_cast<int32_t>(std::strlen(key)));
    if (p >= r.end) return false;
    double x = 0, y = 0, w = -1, h = -1;
    if (r.data[p] == '[') {
        parse_box(r.data, r.end, p + 1, &x, &y, &w, &h);
    } else if (is_digit(r.data[p])) {
        const int32_t num = parse_ref_at(r.data, r.end, p);
        const ObjectEntry *e = num > 0 ? doc.find_object(num) : nullptr;
        if (!e) return false;
        const TextRange t = doc.catalog_range(*e);
        if (!t.valid() || t.begin >= t.end) return false;
        const int32_t b = skip_ws(t.data, t.end, t.begin);
        if (b >= t.end || t.data[b] != '[') return false;
        parse_box(t.data, t.end, b + 1, &x, &y, &w, &h);
    }
    if (!(w >= 0) || !(h >= 0)) return false;
    box[0] = x, box[1] = y, box[2] = w, box[3] = h;
    return true;
}

// The object /Parent names in r, or 0.
int32_t parent_of(const TextRange &r) {
    const int32_t at = find_name(r.data, r.end, r.begin, r.end, "Parent");
    if (at < 0) return 0;
    const int32_t p = skip_ws(r.data, r.end, at + 7);
    return p < r.end ? std::max(0, parse_ref_at(r.data, r.end, p)) : 0;
}

}  // namespace

void apply_crop_boxes(PdfDocument *doc) {
    for (PageEntry &page : doc->pages) {
        double crop[4];
        bool found = false;
        int32_t num = page.obj_num;
        for (int level = 0; level < kMaxLevels && num > 0 && !found; ++level) {
            const ObjectEntry *e = doc->find_object(num);
            if (!e) break;
            const TextRange r = doc->object_range(*e);
            if (!r.valid()) break;
            found = read_rect(*doc, r, "CropBox", crop);
            num = parent_of(r);
        }
        if (!found) continue;
        // Viewers show the part of the crop box inside the media box.
        const double x0 = std::max(crop[0], page.box_x), y0 = std::max(crop[1], page.box_y);
        const double x1 = std::min(crop[0] + crop[2], page.box_x + page.box_w);
        const double y1 = std::min(crop[1] + crop[3], page.box_y + page.box_h);
        if (!(x1 > x0) || !(y1 > y0)) continue;  // nothing left: the media box stands
        if (x0 == page.box_x && y0 == page.box_y && x1 == page.box_x + page.box_w && y1 == page.box_y + page.box_h)
            continue;
        page.box_x = x0, page.box_y = y0, page.box_w = x1 - x0, page.box_h = y1 - y0;
        page.cropped = true;
    }
}

}  // namespace morvex
