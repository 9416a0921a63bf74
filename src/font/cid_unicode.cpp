#include "cid_unicode.h"

#include <algorithm>

#include "glyph_list.h"

namespace morvex {

int cid_collection(std::string_view registry, std::string_view ordering) {
    if (registry != "Adobe") return -1;
    for (int i = 0; i < kCidCollectionCount; ++i)
        if (ordering == kCidCollections[i].ordering) return i;
    return -1;
}

bool cid_to_utf8(int collection, uint32_t cid, std::string *out) {
    if (collection < 0 || collection >= kCidCollectionCount || cid > 0xFFFF) return false;
    const CidCollectionTable &t = kCidCollections[collection];
    const CidSegment *end = t.segments + t.count;
    // The last segment starting at or before cid.
    const CidSegment *s =
        std::upper_bound(t.segments, end, cid, [](uint32_t c, const CidSegment &seg) { return c < seg.cid; });
    if (s == t.segments) return false;
    --s;
    const uint32_t step = cid - s->cid;
    switch (s->kind) {
    case 0:
        if (step >= s->count) return false;
        append_utf8(out, s->value + step);
        return true;
    case 1:
        if (step >= s->count || s->value + step >= static_cast<uint32_t>(kCidPoolSize)) return false;
        append_utf8(out, kCidPool[s->value + step]);
        return true;
    case 2: {
        if (step != 0 || s->value + s->count > static_cast<uint32_t>(kCidPoolSize)) return false;
        for (uint32_t i = s->value; i < s->value + s->count; ++i) {
            uint32_t u = kCidPool[i];
            if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s->value + s->count) {
                u = 0x10000 + ((u - 0xD800) << 10) + (kCidPool[i + 1] - 0xDC00u);
                ++i;
            }
            append_utf8(out, u);
        }
        return true;
    }
    default:
        return false;
    }
}

}  // namespace morvex
