// An image's parameters as read from its dictionary, and the hash of its
// samples through the filters we can undo.  Internal to image identity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "../document/document.h"

namespace morvex {

inline constexpr uint64_t kHashSeed = 0x9ae16a3b2f90404full;

// One step of a 64-bit hash: a value folded in and the bits spread.
inline uint64_t hash_mix(uint64_t h, uint64_t v) {
    h ^= v;
    h *= 0x9e3779b97f4a7c15ull;
    return h ^ (h >> 29);
}

// The bytes, eight at a time, and their count.
uint64_t hash_bytes(uint64_t h, const u8 *p, size_t n);

// One filter of the chain with the decode parameters that matter to us;
// parms is a hash of all of them by value.
struct ImageFilter {
    std::string name;  // written out: "FlateDecode", never "Fl"
    int predictor = 1, colors = 1, bpc = 8, columns = 1;
    uint64_t parms = 0;
};

struct ImageDesc {
    bool image = false;  // /Subtype /Image
    int32_t w = 0, h = 0, bpc = 0;
    int comps = 0;  // components per sample, 0 when unknown
    bool image_mask = false;
    // Size, bits, /ImageMask, colour space by value and /Decode.
    uint64_t params = 0;
    int32_t smask = 0, mask = 0;  // object numbers of the masks, 0 when none
    uint64_t mask_array = 0;      // a colour key /Mask, 0 when none
    std::vector<ImageFilter> filters;
    const u8 *raw = nullptr;  // the encoded data in the document's bytes (maybe still encrypted)
    size_t raw_len = 0;
};

// True when the two chains are the same filters with the same parameters.
bool same_filters(const ImageDesc &a, const ImageDesc &b);

// The hash of the samples: decoded through the leading filters we can
// undo (with the PNG and TIFF predictors); from the first filter we cannot
// (DCT, JPX, JBIG2, CCITT) on, the encoded bytes with that filter and its
// parameters.  Samples beyond the image's rows are not counted.  Data a
// filter cannot decode counts as its encoded bytes.
uint64_t hash_samples(const ImageDesc &d, const u8 *raw, size_t n);

}  // namespace morvex
