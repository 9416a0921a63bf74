// Pages matched by content: a compact signature per page, and the
// monotone alignment of two documents' signatures.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
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

// The signatures of both sides' pages (side 0 is A, 1 is B), some made only
// when the alignment needs them.  A page may have a partner: a page of the
// other side whose signature is bound to be equal to its own.  The
// alignment takes a page and its partner as identical without either
// signature; it asks for a signature only where it compares a page with
// another than its partner, and then the partner takes the same.
class SignatureSides {
public:
    // Makes the signatures of the given pages of one side, in their order.
    using Compute = std::function<std::vector<PageSignature>(int side, const std::vector<int> &pages)>;

    SignatureSides(int count_a, int count_b, Compute compute);
    // Page i of A and page j of B are partners.
    void set_partners(int i, int j);
    // Gives page i of `side` its signature.
    void set(int side, int i, const PageSignature &sig);

    int count(int side) const { return static_cast<int>(sig_[side].size()); }
    bool known(int side, int i) const { return known_[side][static_cast<size_t>(i)] != 0; }
    // The signature of page i of `side`, made (with its partner's) when unknown.
    const PageSignature &get(int side, int i);
    // Makes every unknown signature of pages [lo, hi) of `side` in one call.
    void need(int side, int lo, int hi);
    // True when page i of A and page j of B have equal exact hashes.
    bool same(int i, int j);
    // How many signatures were made on demand.
    int made() const { return made_; }

private:
    std::vector<PageSignature> sig_[2];
    std::vector<uint8_t> known_[2];
    std::vector<int> partner_[2];  // -1: none
    Compute compute_;
    int made_ = 0;
};

// The alignment of align_pages, asking `sides` only for the signatures it
// needs; the pairs are those align_pages gives on the full signatures.
std::vector<PagePair> align_pages(SignatureSides *sides);

}  // namespace morvex
