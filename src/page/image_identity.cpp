// Image identity: an image's parameters read by value, and its samples
// hashed after the filters we can undo.
//
// Comparing two image objects first tries the cheap road: equal parameters,
// equal filter chains and equal encoded bytes mean equal samples, with
// nothing decoded.  Only when the encoded bytes differ are the samples
// decoded and hashed, once per image object per document.
#include "image_identity.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "../codec/decode.h"
#include "../codec/filters.h"
#include "../codec/strings.h"
#include "../document/security.h"
#include "image_samples.h"
#include "xobjects.h"

namespace morvex {

namespace {

constexpr int kMaxRefChain = 8;
// How deep a colour space value is followed, and how many of an array's
// elements count: a hostile colour space cannot make the walk explode.
constexpr int kMaxValueDepth = 4;
constexpr int kMaxArrayItems = 64;
// Masks of masks are followed this deep.
constexpr int kMaxMaskDepth = 2;
// Image objects remembered per document; beyond, they are read each time.
constexpr size_t kMaxCachedImages = size_t{1} << 16;
// Bytes of colour space streams (ICC profiles, lookup tables) hashed.
constexpr size_t kMaxColourStream = size_t{1} << 24;

// The text of object `num`, at its first byte.
PdfValue object_text(const PdfDocument &doc, int32_t num) {
    const ObjectEntry *e = doc.find_object(num);
    if (!e) return {};
    const TextRange t = doc.object_range(*e);
    if (!t.valid() || t.begin < 0 || t.begin >= t.end) return {};
    PdfValue v{t.data, skip_ws_comments(t.data, t.end, t.begin), t.end};
    return v.ok() ? v : PdfValue{};
}

int32_t ref_in(PdfValue v) { return v.ok() && is_digit(v.data[v.pos]) ? parse_ref_at(v.data, v.end, v.pos) : -1; }

// Follows references to the value they name.
PdfValue resolved(const PdfDocument &doc, PdfValue v) {
    for (int i = 0; i < kMaxRefChain; ++i) {
        const int32_t num = ref_in(v);
        if (num <= 0) return v;
        v = object_text(doc, num);
    }
    return v;
}

std::string_view name_in(PdfValue v) {
    if (!v.ok() || v.data[v.pos] != '/') return {};
    int32_t p = v.pos + 1;
    while (p < v.end && is_name_byte(v.data[p])) ++p;
    return {reinterpret_cast<const char *>(v.data + v.pos + 1), static_cast<size_t>(p - v.pos - 1)};
}

// Calls f(key, value) for each key of the keys standing from p on (behind
// "<<", or an inline image's keys), until ">>", "ID" or end.
template <class F>
void each_key_from(const u8 *d, int32_t p, int32_t end, F f) {
    for (;;) {
        p = skip_ws_comments(d, end, p);
        if (p >= end || d[p] == '>') return;
        if (d[p] != '/') {
            if (kw_at(d, p, end, "ID")) return;
            p = skip_value(d, end, p);
            continue;
        }
        const int32_t s = ++p;
        while (p < end && is_name_byte(d[p])) ++p;
        const std::string_view key(reinterpret_cast<const char *>(d + s), static_cast<size_t>(p - s));
        const int32_t vpos = skip_ws_comments(d, end, p);
        if (vpos >= end) return;
        f(key, PdfValue{d, vpos, end});
        p = skip_value(d, end, vpos, true);
    }
}

int32_t int_in(const PdfDocument *doc, PdfValue v) {
    if (doc) v = resolved(*doc, v);
    if (!v.ok()) return 0;
    int32_t p = v.pos;
    const double x = parse_double_at(v.data, v.end, &p);
    return p == v.pos || !(x >= 0 && x < 1e9) ? 0 : static_cast<int32_t>(x);
}

// The bytes of one value, every run of white space read as one space.
uint64_t hash_value_text(uint64_t h, PdfValue v) {
    const int32_t end = skip_value(v.data, v.end, v.pos);
    bool gap = false;
    for (int32_t i = v.pos; i < end; ++i) {
        if (is_ws(v.data[i])) {
            gap = true;
            continue;
        }
        if (gap) h = hash_mix(h, ' ');
        gap = false;
        h = hash_mix(h, v.data[i]);
    }
    return h;
}

// A value by what it means: references followed, streams by their decoded
// bytes, arrays element by element.  Abbreviated names of inline images are
// written out, so an inline image and an XObject compare alike.
uint64_t hash_value(const PdfDocument *doc, uint64_t h, PdfValue v, int depth) {
    if (!v.ok() || depth > kMaxValueDepth) return hash_mix(h, 0);
    if (doc) {
        const int32_t num = ref_in(v);
        if (num > 0) {
            const ObjectEntry *e = doc->find_object(num);
            if (e && e->has_stream) {
                ByteBuf out;
                if (decode_stream(doc->data, doc->len, *e, &out) && static_cast<size_t>(out.len) <= kMaxColourStream)
                    return hash_bytes(hash_mix(h, 'S'), out.data, static_cast<size_t>(out.len));
                return hash_mix(h, 'U');
            }
            return hash_value(doc, h, resolved(*doc, v), depth + 1);
        }
    }
    if (v.data[v.pos] == '/') {
        const std::string_view n = name_in(v);
        std::string_view full = n;
        if (n == "G") full = "DeviceGray";
        else if (n == "RGB") full = "DeviceRGB";
        else if (n == "CMYK") full = "DeviceCMYK";
        else if (n == "I") full = "Indexed";
        return hash_bytes(hash_mix(h, '/'), reinterpret_cast<const u8 *>(full.data()), full.size());
    }
    if (v.data[v.pos] == '(' || (v.data[v.pos] == '<' && !v.is_dict())) {
        // A string by its bytes: (\377) and <ff> are the same lookup table.
        ByteBuf bytes;
        int32_t next = v.pos;
        if (v.data[v.pos] == '(') parse_literal_string2(v.data, v.end, v.pos, &bytes, &next);
        else parse_hex_string(v.data, v.end, v.pos, &bytes, &next);
        return hash_bytes(hash_mix(h, '('), bytes.data, bytes.data ? static_cast<size_t>(bytes.len) : 0);
    }
    if (v.is_dict()) {
        // Keys in any order: each key with its value, summed.
        uint64_t sum = 0;
        each_key_from(v.data, v.pos + 2, v.end, [&](std::string_view k, PdfValue x) {
            const uint64_t key = hash_bytes(kHashSeed, reinterpret_cast<const u8 *>(k.data()), k.size());
            sum += hash_value(doc, key, x, depth + 1);
        });
        return hash_mix(hash_mix(h, '<'), sum);
    }
    if (v.data[v.pos] == '[') {
        h = hash_mix(h, '[');
        int32_t p = v.pos + 1;
        for (int items = 0; items < kMaxArrayItems; ++items) {
            p = skip_ws_comments(v.data, v.end, p);
            if (p >= v.end || v.data[p] == ']') break;
            h = hash_value(doc, h, PdfValue{v.data, p, v.end}, depth + 1);
            p = skip_value(v.data, v.end, p, true);
        }
        return hash_mix(h, ']');
    }
    if (is_digit(v.data[v.pos]) || v.data[v.pos] == '-' || v.data[v.pos] == '.' || v.data[v.pos] == '+') {
        int32_t p = v.pos;
        const double x = parse_double_at(v.data, v.end, &p);
        if (p != v.pos) {
            uint64_t bits;
            const double y = x == 0 ? 0.0 : x;  // -0 is 0
            std::memcpy(&bits, &y, sizeof bits);
            return hash_mix(hash_mix(h, 'N'), bits);
        }
    }
    return hash_value_text(h, v);
}

// Components per sample of a colour space value; 0 when unknown.
int components(const PdfDocument *doc, PdfValue cs) {
    if (doc) cs = resolved(*doc, cs);
    if (!cs.ok()) return 0;
    PdfValue family = cs;
    if (cs.data[cs.pos] == '[') family = PdfValue{cs.data, skip_ws_comments(cs.data, cs.end, cs.pos + 1), cs.end};
    const std::string_view n = name_in(family);
    if (n == "DeviceGray" || n == "G" || n == "CalGray" || n == "Indexed" || n == "I" || n == "Separation")
        return 1;
    if (n == "DeviceRGB" || n == "RGB" || n == "CalRGB" || n == "Lab") return 3;
    if (n == "DeviceCMYK" || n == "CMYK") return 4;
    if (cs.data[cs.pos] != '[') return 0;
    const PdfValue second{cs.data, skip_ws_comments(cs.data, cs.end, skip_value(cs.data, cs.end, family.pos)), cs.end};
    if (n == "ICCBased" && doc) {
        const int32_t num = ref_in(second);
        const ObjectEntry *e = num > 0 ? doc->find_object(num) : nullptr;
        if (!e) return 0;
        const TextRange t = doc->object_range(*e);
        int comps = 0;
        const int32_t at = t.valid() ? skip_ws_comments(t.data, t.end, t.begin) : 0;
        if (t.valid() && PdfValue{t.data, at, t.end}.is_dict())
            each_key_from(t.data, at + 2, t.end, [&](std::string_view k, PdfValue v) {
                if (k == "N") comps = int_in(doc, v);
            });
        return comps >= 1 && comps <= 32 ? comps : 0;
    }
    if (n == "DeviceN") {
        const PdfValue names = doc ? resolved(*doc, second) : second;
        if (!names.ok() || names.data[names.pos] != '[') return 0;
        int count = 0;
        for (int32_t p = skip_ws_comments(names.data, names.end, names.pos + 1);
             p < names.end && names.data[p] != ']' && count <= 32;
             p = skip_ws_comments(names.data, names.end, skip_value(names.data, names.end, p)))
            ++count;
        return count >= 1 && count <= 32 ? count : 0;
    }
    return 0;
}

bool is_true(PdfValue v) { return v.ok() && kw_at(v.data, v.pos, v.end, "true"); }

// The filter names of a /Filter value, written out in full.
std::vector<std::string> filter_names(const PdfDocument *doc, PdfValue v) {
    std::vector<std::string> out;
    if (doc) v = resolved(*doc, v);
    if (!v.ok()) return out;
    auto add = [&](PdfValue n) {
        std::string s(name_in(n));
        if (s == "Fl") s = "FlateDecode";
        else if (s == "LZW") s = "LZWDecode";
        else if (s == "AHx") s = "ASCIIHexDecode";
        else if (s == "A85") s = "ASCII85Decode";
        else if (s == "RL") s = "RunLengthDecode";
        else if (s == "DCT") s = "DCTDecode";
        else if (s == "CCF") s = "CCITTFaxDecode";
        if (!s.empty() && out.size() < 8) out.push_back(std::move(s));
    };
    if (v.data[v.pos] == '/') {
        add(v);
    } else if (v.data[v.pos] == '[') {
        for (int32_t p = skip_ws_comments(v.data, v.end, v.pos + 1); p < v.end && v.data[p] != ']';
             p = skip_ws_comments(v.data, v.end, skip_value(v.data, v.end, p)))
            add(PdfValue{v.data, p, v.end});
    }
    return out;
}

// The decode parameters of filter k: one dictionary, or the k-th element
// of an array (null entries give none).
PdfValue parms_at(const PdfDocument *doc, PdfValue v, size_t k) {
    if (doc) v = resolved(*doc, v);
    if (!v.ok()) return {};
    if (v.data[v.pos] == '<') return k == 0 ? v : PdfValue{};
    if (v.data[v.pos] != '[') return {};
    int32_t p = skip_ws_comments(v.data, v.end, v.pos + 1);
    for (size_t i = 0; i < k && p < v.end && v.data[p] != ']'; ++i)
        p = skip_ws_comments(v.data, v.end, skip_value(v.data, v.end, p, true));
    if (p >= v.end || v.data[p] == ']') return {};
    PdfValue e{v.data, p, v.end};
    if (doc) e = resolved(*doc, e);
    return e.ok() && e.data[e.pos] == '<' ? e : PdfValue{};
}

// Fills the description from the keys of an image dictionary (or an
// inline image's keys, abbreviated or not).
template <class KeyWalk>
void describe(const PdfDocument *doc, KeyWalk walk, ImageDesc *d) {
    PdfValue cs, decode, filter, parms, smask, mask;
    walk([&](std::string_view k, PdfValue v) {
        if (k == "Width" || k == "W") d->w = int_in(doc, v);
        else if (k == "Height" || k == "H") d->h = int_in(doc, v);
        else if (k == "BitsPerComponent" || k == "BPC") d->bpc = int_in(doc, v);
        else if (k == "ImageMask" || k == "IM") d->image_mask = is_true(doc ? resolved(*doc, v) : v);
        else if (k == "ColorSpace" || k == "CS") cs = v;
        else if (k == "Decode" || k == "D") decode = v;
        else if (k == "Filter" || k == "F") filter = v;
        else if (k == "DecodeParms" || k == "DP") parms = v;
        else if (k == "SMask") smask = v;
        else if (k == "Mask") mask = v;
        else if (k == "Subtype") d->image = name_in(doc ? resolved(*doc, v) : v) == "Image";
    });
    if (d->image_mask) {
        d->bpc = 1;
        d->comps = 1;
    } else {
        d->comps = components(doc, cs);
    }
    uint64_t h = hash_mix(kHashSeed, static_cast<uint64_t>(d->w));
    h = hash_mix(h, static_cast<uint64_t>(d->h));
    h = hash_mix(h, static_cast<uint64_t>(d->bpc));
    h = hash_mix(h, d->image_mask ? 1 : 0);
    if (!d->image_mask) h = hash_value(doc, h, cs, 0);
    h = hash_value(doc, hash_mix(h, 'D'), decode, 0);
    d->params = h;
    d->smask = ref_in(smask);
    d->mask = ref_in(mask);
    // A colour key mask is an array of ranges, a value like any other.
    if (d->mask <= 0 && mask.ok()) d->mask_array = hash_value(doc, kHashSeed, mask, 0);
    const std::vector<std::string> names = filter_names(doc, filter);
    for (size_t k = 0; k < names.size(); ++k) {
        ImageFilter f;
        f.name = names[k];
        const PdfValue pv = parms_at(doc, parms, k);
        f.parms = kHashSeed;
        if (pv.is_dict())
            each_key_from(pv.data, pv.pos + 2, pv.end, [&](std::string_view key, PdfValue v) {
                if (key == "Predictor") f.predictor = int_in(doc, v);
                else if (key == "Colors") f.colors = int_in(doc, v);
                else if (key == "BitsPerComponent") f.bpc = int_in(doc, v);
                else if (key == "Columns") f.columns = int_in(doc, v);
                // Keys in any order, values by what they mean (a JBIG2Globals
                // stream by its bytes).
                f.parms ^= hash_value(doc, hash_bytes(kHashSeed, reinterpret_cast<const u8 *>(key.data()), key.size()),
                                      v, 0);
            });
        d->filters.push_back(std::move(f));
    }
}

// What a document knows of one image object.
struct CachedImage {
    ImageDesc desc;
    bool has_samples = false;
    uint64_t samples = 0;
    bool has_key = false;
    uint64_t key = 0;
    bool has_raw_hash = false;
    uint64_t raw_hash = 0;
};

struct ImageCache {
    std::mutex mu;
    std::unordered_map<int32_t, std::shared_ptr<CachedImage>> images;
};

ImageCache &cache_of(const PdfDocument &doc) {
    static std::mutex create_mu;
    const std::lock_guard<std::mutex> lock(create_mu);
    if (!doc.image_cache) doc.image_cache = std::make_shared<ImageCache>();
    return *std::static_pointer_cast<ImageCache>(doc.image_cache);
}

// The description of image object `num`, read on first use.
std::shared_ptr<CachedImage> image_entry(const PdfDocument &doc, int32_t num) {
    ImageCache &cache = cache_of(doc);
    {
        const std::lock_guard<std::mutex> lock(cache.mu);
        const auto it = cache.images.find(num);
        if (it != cache.images.end()) return it->second;
    }
    auto img = std::make_shared<CachedImage>();
    const ObjectEntry *e = doc.find_object(num);
    const PdfValue dict = object_text(doc, num);
    if (e && e->has_stream && dict.is_dict()) {
        describe(&doc, [&](auto f) { each_key_from(dict.data, dict.pos + 2, dict.end, f); }, &img->desc);
        const uint32_t n = static_cast<uint32_t>(e->stream_end) - static_cast<uint32_t>(e->stream_start);
        if (e->stream_end <= doc.len && e->stream_start >= 0 && n <= static_cast<uint32_t>(doc.len)) {
            img->desc.raw = doc.data + e->stream_start;
            img->desc.raw_len = n;
        }
    }
    const std::lock_guard<std::mutex> lock(cache.mu);
    if (cache.images.size() < kMaxCachedImages) cache.images.emplace(num, img);
    return img;
}

uint64_t samples_of(const PdfDocument &doc, int32_t num, CachedImage *img) {
    {
        const std::lock_guard<std::mutex> lock(cache_of(doc).mu);
        if (img->has_samples) return img->samples;
    }
    const ObjectEntry *e = doc.find_object(num);
    const u8 *raw = img->desc.raw;
    size_t n = img->desc.raw_len;
    OwnedBytes plain;
    if (e && e->crypt && raw) {
        if (e->crypt->decrypt_stream(*e, raw, n, &plain)) {
            raw = plain.data.get();
            n = plain.len;
        } else {
            n = 0;
        }
    }
    const uint64_t h = hash_samples(img->desc, raw, n);
    const std::lock_guard<std::mutex> lock(cache_of(doc).mu);
    img->samples = h;
    img->has_samples = true;
    return h;
}

bool same_object(const PdfDocument &a, int32_t oa, const PdfDocument &b, int32_t ob, int depth);

// The hash of the encoded bytes, read once however often the image is
// compared (an image on every page is hashed once, not once per page).
uint64_t raw_hash_of(const PdfDocument &doc, CachedImage *img) {
    {
        const std::lock_guard<std::mutex> lock(cache_of(doc).mu);
        if (img->has_raw_hash) return img->raw_hash;
    }
    const uint64_t h = hash_bytes(kHashSeed, img->desc.raw, img->desc.raw ? img->desc.raw_len : 0);
    const std::lock_guard<std::mutex> lock(cache_of(doc).mu);
    img->raw_hash = h;
    img->has_raw_hash = true;
    return h;
}

// Two mask entries: both absent, or the same mask image.
bool same_mask(const PdfDocument &a, int32_t ma, const PdfDocument &b, int32_t mb, int depth) {
    if (ma <= 0 || mb <= 0) return ma <= 0 && mb <= 0;
    if (depth >= kMaxMaskDepth) return true;
    return same_object(a, ma, b, mb, depth + 1);
}

bool same_object(const PdfDocument &a, int32_t oa, const PdfDocument &b, int32_t ob, int depth) {
    if (&a == &b && oa == ob) return true;
    const std::shared_ptr<CachedImage> ia = image_entry(a, oa), ib = image_entry(b, ob);
    const ImageDesc &da = ia->desc, &db = ib->desc;
    if (!da.image || !db.image) return !da.image && !db.image;
    if (da.params != db.params || da.mask_array != db.mask_array) return false;
    if (!same_mask(a, da.smask, b, db.smask, depth) || !same_mask(a, da.mask, b, db.mask, depth)) return false;
    // The same encoding of the same bytes needs no decoding.  Bytes of an
    // encrypted file decrypt by object number, so they are decoded.
    if (da.raw && db.raw && da.raw_len == db.raw_len && same_filters(da, db) && !a.security && !b.security &&
        raw_hash_of(a, ia.get()) == raw_hash_of(b, ib.get()))
        return true;
    return samples_of(a, oa, ia.get()) == samples_of(b, ob, ib.get());
}

// The identity of an image object as one number, its masks folded in (for
// comparing it with an inline image, which has none).
uint64_t object_identity(const PdfDocument &doc, int32_t num) {
    const std::shared_ptr<CachedImage> img = image_entry(doc, num);
    if (!img->desc.image) return 0;
    uint64_t h = hash_mix(img->desc.params, img->desc.mask_array);
    h = hash_mix(h, static_cast<uint64_t>(img->desc.smask > 0) << 1 | (img->desc.mask > 0));
    return hash_mix(h, samples_of(doc, num, img.get()));
}

// Parameters, masks, filters and encoded bytes: equal keys are the same
// image, found without decoding.
uint64_t encoded_key(const PdfDocument &doc, int32_t num, int depth) {
    const std::shared_ptr<CachedImage> img = image_entry(doc, num);
    const ImageDesc &d = img->desc;
    if (!d.image) return 0;
    {
        const std::lock_guard<std::mutex> lock(cache_of(doc).mu);
        if (img->has_key) return img->key;
    }
    uint64_t h = hash_mix(d.params, d.mask_array);
    for (const ImageFilter &f : d.filters)
        h = hash_mix(hash_bytes(h, reinterpret_cast<const u8 *>(f.name.data()), f.name.size()), f.parms);
    h = hash_mix(h, raw_hash_of(doc, img.get()));
    if (depth < kMaxMaskDepth) {
        h = hash_mix(h, d.smask > 0 ? encoded_key(doc, d.smask, depth + 1) : 0);
        h = hash_mix(h, d.mask > 0 ? encoded_key(doc, d.mask, depth + 1) : 0);
    }
    const std::lock_guard<std::mutex> lock(cache_of(doc).mu);
    img->key = h;
    img->has_key = true;
    return h;
}

}  // namespace

uint64_t image_data_key(const PdfDocument &doc, const ImageItem &im) {
    if (im.inline_id != 0) return im.inline_id;
    return im.obj > 0 ? encoded_key(doc, im.obj, 0) : 0;
}

uint64_t inline_image_identity(const u8 *dict, int32_t dict_len, const u8 *data, size_t n, PixelSize *size) {
    ImageDesc d;
    describe(nullptr, [&](auto f) { each_key_from(dict, 0, dict_len, f); }, &d);
    size->w = d.w;
    size->h = d.h;
    uint64_t h = hash_mix(d.params, d.mask_array);
    h = hash_mix(h, 0);
    return hash_mix(h, hash_samples(d, data, n));
}

bool same_image_object(const PdfDocument &a, int32_t oa, const PdfDocument &b, int32_t ob) {
    if (oa <= 0 || ob <= 0) return oa <= 0 && ob <= 0;
    return same_object(a, oa, b, ob, 0);
}

bool same_image(const PdfDocument &a, const ImageItem &ia, const PdfDocument &b, const ImageItem &ib) {
    const bool inline_a = ia.inline_id != 0, inline_b = ib.inline_id != 0;
    if (inline_a && inline_b) return ia.inline_id == ib.inline_id;
    if (inline_a) return ib.obj > 0 && object_identity(b, ib.obj) == ia.inline_id;
    if (inline_b) return ia.obj > 0 && object_identity(a, ia.obj) == ib.inline_id;
    return same_image_object(a, ia.obj, b, ib.obj);
}

PixelSize image_pixel_size(const PdfDocument &doc, const ImageItem &im) {
    if (im.inline_id != 0) return {im.inline_w, im.inline_h};
    if (im.obj <= 0) return {};
    const std::shared_ptr<CachedImage> img = image_entry(doc, im.obj);
    return {img->desc.w, img->desc.h};
}

}  // namespace morvex
