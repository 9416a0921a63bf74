// Pages matched by content: a compact signature per page, and the
// monotone alignment of two documents' signatures.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "diff.h"

namespace morvex {

constexpr int kSketchSize = 32;

// What the alignment keeps of an analysed page (about 300 bytes): the
// page's summary itself is dropped and analysed again for the detailed
// comparison of its pair.
struct PageSignature {
    uint64_t exact = 0;  // hash of size, rotation, text, images and content hash
    uint32_t words = 0;
    uint32_t images = 0;
    // Min-hash sketch of the page's words and word pairs: the share of
    // equal slots estimates the Jaccard similarity of those sets.
    std::array<uint64_t, kSketchSize> sketch{};
};

// Signature of an analysed page.  A pure function of the summary.
PageSignature page_signature(const PageSummary &s);

// Similarity of two pages, 0 to 1 (2 for identical signatures).
double page_similarity(const PageSignature &a, const PageSignature &b);

// Pairs below this similarity are not paired: the page is removed from A
// and added to B.
constexpr double kMinSimilarity = 0.3;
// The same between stretches of equal length, for the pages in the same place.
constexpr double kMinSimilarityInPlace = 0.1;
// The stretches between identical pages are paired by a dynamic programme
// over a band of +-kAlignWindow pages around their diagonal (widened where
// the stretch's sides differ much in length); a stretch with at most
// kFullAlignCells cells is paired in full.
constexpr int kAlignWindow = 100;
constexpr int64_t kFullAlignCells = int64_t{1} << 20;

// Aligns the pages (indexes into a and b, -1 where a page stands alone)
// in order: identical pages that are unique on both sides anchor it (the
// longest increasing run of them), the stretches between anchors are
// paired by similarity.
std::vector<PagePair> align_pages(const std::vector<PageSignature> &a, const std::vector<PageSignature> &b);

}  // namespace morvex
