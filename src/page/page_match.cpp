#include "page_match.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "../codec/filters.h"
#include "fonts.h"
#include "image_identity.h"

namespace morvex {

namespace {

// XObjects a page's check visits at most, and how deep forms nest in it
// (the interpreter draws forms 12 deep); beyond either the pages count as
// not known to be alike.
constexpr int kMaxXObjects = 256;
constexpr int kMaxDepth = 16;
// Font pairs remembered; beyond, pairs are compared each time.
constexpr size_t kMaxFontPairs = size_t{1} << 16;

bool same_bits(double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; }

// The slots a font name selects: select_font takes the first slot of a
// name, so later slots of the same name are never used.
std::vector<const FontSlot *> selectable(const FontSlot *s, int n) {
    std::vector<const FontSlot *> out;
    out.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) out.push_back(&s[i]);
    std::stable_sort(out.begin(), out.end(),
                     [](const FontSlot *x, const FontSlot *y) { return std::strcmp(x->name, y->name) < 0; });
    out.erase(std::unique(out.begin(), out.end(),
                          [](const FontSlot *x, const FontSlot *y) { return std::strcmp(x->name, y->name) == 0; }),
              out.end());
    return out;
}

}  // namespace

// The XObjects met while checking one page pair: A's object numbers and
// B's must correspond one to one, since the interpreter keeps one form per
// object number (a form drawn under two names is hashed once).
struct PageMatcher::Walk {
    std::unordered_map<int32_t, int32_t> a_to_b, b_to_a;
    int visited = 0;
    bool keys = false;  // asked: are the images' encoded data equal too?
    bool images = false, keys_differ = false;
};

PageMatcher::PageMatcher(const PdfDocument &a, const PdfDocument &b) : a_(a), b_(b) {
    enabled_ = !a.security && !b.security;
}

bool PageMatcher::same_font_object(int32_t oa, int32_t ob) {
    const uint64_t key = static_cast<uint64_t>(static_cast<uint32_t>(oa)) << 32 | static_cast<uint32_t>(ob);
    {
        const std::lock_guard<std::mutex> hold(mu_);
        const auto it = fonts_.find(key);
        if (it != fonts_.end()) return it->second;
    }
    // Built the way the interpreter builds them, through the documents'
    // font caches.
    FontSlot sa, sb;
    sa.obj_num = oa;
    sb.obj_num = ob;
    slot_build_font(&a_, &sa);
    slot_build_font(&b_, &sb);
    const bool same = same_font(sa.font.get(), sb.font.get());
    const std::lock_guard<std::mutex> hold(mu_);
    if (fonts_.size() < kMaxFontPairs) fonts_.emplace(key, same);
    return same;
}

bool PageMatcher::same_slots(const FontSlot *sa, int na, const FontSlot *sb, int nb) {
    const std::vector<const FontSlot *> fa = selectable(sa, na), fb = selectable(sb, nb);
    if (fa.size() != fb.size()) return false;
    for (size_t k = 0; k < fa.size(); ++k) {
        const FontSlot &x = *fa[k], &y = *fb[k];
        if (std::strcmp(x.name, y.name) != 0 || x.widths != y.widths || x.has_base_font != y.has_base_font)
            return false;
    }
    for (size_t k = 0; k < fa.size(); ++k)
        if (!same_font_object(fa[k]->obj_num, fb[k]->obj_num)) return false;
    return true;
}

bool PageMatcher::same_xobjects(Walk *w, XObjectNames *xa, XObjectNames *xb, int depth) {
    const auto &ma = xa->entries(a_);
    const auto &mb = xb->entries(b_);
    if (ma.size() != mb.size()) return false;
    for (const auto &[name, oa] : ma) {
        const auto it = mb.find(name);
        if (it == mb.end() || !same_xobject(w, oa, it->second, depth)) return false;
    }
    return true;
}

bool PageMatcher::same_image_pair(int32_t oa, int32_t ob) {
    const uint64_t key = static_cast<uint64_t>(static_cast<uint32_t>(oa)) << 32 | static_cast<uint32_t>(ob);
    {
        const std::lock_guard<std::mutex> hold(mu_);
        const auto it = images_.find(key);
        if (it != images_.end()) return it->second;
    }
    const bool same = same_image_object(a_, oa, b_, ob);
    const std::lock_guard<std::mutex> hold(mu_);
    if (images_.size() < kMaxFontPairs) images_.emplace(key, same);
    return same;
}

bool PageMatcher::same_xobject(Walk *w, int32_t oa, int32_t ob, int depth, bool appearance) {
    const auto ia = w->a_to_b.find(oa);
    if (ia != w->a_to_b.end()) return ia->second == ob;  // met before (or being compared now)
    if (w->b_to_a.count(ob)) return false;
    if (++w->visited > kMaxXObjects || depth > kMaxDepth) return false;
    w->a_to_b.emplace(oa, ob);
    w->b_to_a.emplace(ob, oa);
    const std::unique_ptr<FormXObject> fa = read_form(a_, oa, appearance),
                                          fb = read_form(b_, ob, appearance);
    if (!fa || !fb) {
        if (fa || fb || !same_image_pair(oa, ob)) return false;
        w->images = true;
        if (w->keys && !w->keys_differ) {
            ImageItem ia, ib;
            ia.obj = oa;
            ib.obj = ob;
            w->keys_differ = image_data_key(a_, ia) != image_data_key(b_, ib);
        }
        return true;
    }
    for (size_t k = 0; k < fa->matrix.size(); ++k)
        if (!same_bits(fa->matrix[k], fb->matrix[k])) return false;
    if (fa->has_resources != fb->has_resources || fa->has_fonts != fb->has_fonts ||
        fa->has_xobjects != fb->has_xobjects)
        return false;
    if (fa->has_fonts && !same_slots(fa->fonts.data(), static_cast<int>(fa->fonts.size()), fb->fonts.data(),
                                     static_cast<int>(fb->fonts.size())))
        return false;
    const ObjectEntry *ea = a_.find_object(oa), *eb = b_.find_object(ob);
    if (!ea || !eb || !same_decoded_stream(a_, *ea, b_, *eb)) return false;
    return !fa->has_xobjects || same_xobjects(w, &fa->names, &fb->names, depth + 1);
}

bool PageMatcher::same(int ia, int ib) {
    if (&a_ == &b_ && ia == ib) return true;
    Walk w;
    return same_walk(ia, ib, &w);
}

bool PageMatcher::same_encoded(int ia, int ib, bool *images) {
    *images = true;
    if (&a_ == &b_ && ia == ib) return true;
    Walk w;
    w.keys = true;
    if (!same_walk(ia, ib, &w) || w.keys_differ) return false;
    *images = w.images;
    return true;
}

bool PageMatcher::same_walk(int ia, int ib, Walk *w) {
    if (!enabled_ || ia < 0 || ib < 0 || ia >= a_.page_count() || ib >= b_.page_count()) return false;
    const PageEntry &pa = a_.pages[static_cast<size_t>(ia)];
    const PageEntry &pb = b_.pages[static_cast<size_t>(ib)];
    if (!same_bits(pa.box_x, pb.box_x) || !same_bits(pa.box_y, pb.box_y) || !same_bits(pa.box_w, pb.box_w) ||
        !same_bits(pa.box_h, pb.box_h) || pa.rotate != pb.rotate)
        return false;
    if (!same_page_content(a_, pa, b_, pb)) return false;
    FontSlot sa[kMaxFontSlots], sb[kMaxFontSlots];
    const int na = page_font_slots(a_, pa, sa), nb = page_font_slots(b_, pb, sb);
    if (!same_slots(sa, na, sb, nb)) return false;
    XObjectNames xa(page_resources(a_, pa)), xb(page_resources(b_, pb));
    if (!same_xobjects(w, &xa, &xb, 0)) return false;
    // Annotations' appearances: the same forms, placed alike, in order.
    const std::vector<Appearance> aa = page_appearances(a_, pa), ab = page_appearances(b_, pb);
    if (aa.size() != ab.size()) return false;
    for (size_t k = 0; k < aa.size(); ++k) {
        for (size_t i = 0; i < aa[k].placement.size(); ++i)
            if (!same_bits(aa[k].placement[i], ab[k].placement[i])) return false;
        if (!same_xobject(w, aa[k].obj, ab[k].obj, 0, true)) return false;
    }
    return true;
}

}  // namespace morvex
