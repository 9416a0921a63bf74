// The font slots of a page.
//
// /Resources is inherited down the page tree; the page-tree walk records in
// PageEntry::resources_obj the node whose /Resources applies.  From there
// the /Font dictionary is found (in place or by reference) and every name
// in it followed by an indirect reference fills a slot.  The scan ends
// with the font dictionary: keys after it (/XObject entries, /Parent) are
// no fonts, and following /Parent to a /Pages node with a long /Kids array
// for every page would make a large document quadratic.
#include "fonts.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "font/font_metrics.h"

namespace morvex {

namespace {

bool is_base_font_byte(u8 c) { return is_alnum(c) || c == '+' || c == '-' || c == '_'; }

// Where a dictionary value is: the object text, and the position of the
// value's first byte in it.
struct Place {
    TextRange text;
    int32_t pos = -1;
};

// The value behind "/key" in text, from `from`: an in-place dictionary
// stays in the same text, a reference leads to the start of the referenced
// object's text.  pos -1 when neither.
Place dict_value(const PdfDocument &doc, const TextRange &text, int32_t from, const char *key,
                 bool need_nonempty) {
    const int32_t at = find_name(text.data, text.end, from, text.end, key);
    if (at < 0) return {};
    const int32_t p =
        skip_ws(text.data, text.end, at + 1 + static_cast<int32_t>(std::strlen(key)));
    if (p >= text.end) return {};
    if (text.data[p] == '<') return {text, p};
    if (!is_digit(text.data[p])) return {};
    const ObjectEntry *e = doc.find_object(parse_ref_at(text.data, text.end, p));
    if (!e) return {};
    const TextRange t = doc.full_range(*e);
    if (!t.valid() || (need_nonempty && t.begin >= t.end)) return {};
    return {t, t.begin};
}

void fill_slot(const PdfDocument &doc, FontSlot *slot, const u8 *name, int32_t n, int32_t obj) {
    *slot = FontSlot{};
    std::memcpy(slot->name, name, static_cast<size_t>(n));
    slot->obj_num = obj;
    slot->widths = helvetica_widths;
    const ObjectEntry *e = doc.find_object(obj);
    if (!e) return;
    const TextRange t = doc.full_range(*e);
    if (!t.valid()) return;
    const int32_t at = find_name(t.data, t.end, t.begin, t.end, "BaseFont");
    if (at < 0) return;
    const int32_t p = skip_ws(t.data, t.end, at + 9);
    if (p + 1 >= t.end || t.data[p] != '/') return;
    int32_t q = p + 1;
    while (q < t.end && q - (p + 1) <= kMaxResourceName && is_base_font_byte(t.data[q])) ++q;
    const int32_t len = q - (p + 1);
    if (len < 1 || len > kMaxResourceName) return;
    char base[kMaxResourceName + 1];
    std::memcpy(base, t.data + p + 1, static_cast<size_t>(len));
    base[len] = 0;
    slot->widths = widths_for_base_font(base);
    slot->has_base_font = 1;
}

}  // namespace

namespace {

// The font objects of one document by object number, null results
// included.  Guarded, since pages of one document may be analysed on
// several threads; a font built twice by a race is harmless.  Past
// kMaxCachedFonts fonts are still built, per page, but no longer kept, so
// the cache stays within a few megabytes beyond what the file's own font
// data costs.
struct FontCache {
    std::mutex mu;
    std::unordered_map<int32_t, std::shared_ptr<const PdfFont>> fonts;
};
constexpr size_t kMaxCachedFonts = 1024;

}  // namespace

void slot_build_font(const PdfDocument *doc, FontSlot *slot) {
    if (slot->font_built || !doc) return;
    slot->font_built = true;
    std::shared_ptr<FontCache> cache;
    {
        static std::mutex create_mu;
        const std::lock_guard<std::mutex> lock(create_mu);
        if (!doc->font_cache) doc->font_cache = std::make_shared<FontCache>();
        cache = std::static_pointer_cast<FontCache>(doc->font_cache);
    }
    {
        const std::lock_guard<std::mutex> lock(cache->mu);
        const auto it = cache->fonts.find(slot->obj_num);
        if (it != cache->fonts.end()) {
            slot->font = it->second;
            return;
        }
    }
    std::shared_ptr<const PdfFont> font = build_font(*doc, slot->obj_num);
    slot->font = font;
    const std::lock_guard<std::mutex> lock(cache->mu);
    if (cache->fonts.size() < kMaxCachedFonts) cache->fonts.emplace(slot->obj_num, std::move(font));
}

int page_font_slots(const PdfDocument &doc, const PageEntry &page, FontSlot *slots) {
    if (page.resources_obj < 0) return 0;
    const ObjectEntry *owner = doc.find_object(page.resources_obj);
    if (!owner) return 0;
    const TextRange text = doc.full_range(*owner);
    if (!text.valid()) return 0;
    const Place res = dict_value(doc, text, text.begin, "Resources", false);
    if (res.pos < 0) return 0;
    return resolve_resource_fonts(doc, res.text, res.pos, slots);
}

void resolve_page_fonts(const PdfDocument &doc, const PageEntry &page, InterpState *st) {
    st->font_count = page_font_slots(doc, page, st->fonts);
}

int resolve_resource_fonts(const PdfDocument &doc, const TextRange &text, int32_t res_pos, FontSlot *slots) {
    int count = 0;
    const Place font = dict_value(doc, text, res_pos, "Font", true);
    if (font.pos < 0) return 0;

    TextRange t = font.text;
    int32_t p = font.pos;
    if (t.data[p] == '<') {
        const int32_t end = dict_end(t.data, t.end, p);
        if (end > p) t.end = end;
    }
    while (p < t.end && count < kMaxFontSlots) {
        if (t.data[p] != '/') {
            // Jump to the next slash; everything between is stepped over.
            const void *slash = std::memchr(t.data + p, '/', static_cast<size_t>(t.end - p));
            if (!slash) break;
            p = static_cast<int32_t>(static_cast<const u8 *>(slash) - t.data);
        }
        const int32_t start = ++p;
        while (p < t.end && is_name_byte(t.data[p])) ++p;
        const int32_t n = p - start;
        if (n < 1 || n > kMaxResourceName) continue;
        const int32_t obj = parse_ref_at(t.data, t.end, p);
        if (obj > 0) fill_slot(doc, &slots[count++], t.data + start, n, obj);
    }
    return count;
}

}  // namespace morvex
