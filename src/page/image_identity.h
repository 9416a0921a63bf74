// Images by what they show.
//
// Two image placements show the same image when their size in samples,
// bits per component, colour space (by value), /Decode, /ImageMask and
// masks agree and their samples do.  Samples are compared decoded where the
// filters are ours to undo (Flate with its predictors, LZW, RunLength, the
// ASCII filters), so an image compressed again without a change is the same
// image; behind DCT, JPX, JBIG2 and CCITT the encoded data stands for the
// samples.  A document keeps what it learnt about each image object, so an
// image drawn on every page is read and hashed once.
#pragma once

#include <cstdint>

#include "../document/document.h"
#include "page.h"

namespace morvex {

// An image's width and height in samples; 0 when unknown.
struct PixelSize {
    int32_t w = 0, h = 0;
};

// The identity of an inline image: `dict` holds the keys between BI and ID,
// `data` the bytes between ID and EI.  Its size goes to *size.
uint64_t inline_image_identity(const u8 *dict, int32_t dict_len, const u8 *data, size_t n, PixelSize *size);

// True when image object oa of a and ob of b show the same image.  Objects
// that are no images (a missing object, a PostScript XObject) are drawn by
// name only: two of them are the same, an image and a non-image are not.
// Safe to call from several threads at once.
bool same_image_object(const PdfDocument &a, int32_t oa, const PdfDocument &b, int32_t ob);

// The same for two placements recorded by page analysis.
bool same_image(const PdfDocument &a, const ImageItem &ia, const PdfDocument &b, const ImageItem &ib);

// A key of what the placement shows, for telling pages apart: equal keys
// show the same image; an image encoded again gets another key.
uint64_t image_data_key(const PdfDocument &doc, const ImageItem &im);

// The placement's image size in samples (0 x 0 when unknown).
PixelSize image_pixel_size(const PdfDocument &doc, const ImageItem &im);

}  // namespace morvex
