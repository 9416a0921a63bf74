// The page pairs a review report shows and the differences of each: the
// comparison's aligned pairs (or pairs by position when it recorded none),
// with the entries of the difference list that belong to each pair.
#pragma once

#include <string>
#include <vector>

#include "../compare/diff.h"

namespace morvex {

struct ReviewPair {
    PagePair pages;               // 0-based, -1 where one side has no page
    std::vector<size_t> entries;  // indexes into the list's entries, in list order
    std::vector<size_t> document; // indexes into the list's document entries bound to these pages
    bool changed() const { return !entries.empty() || !document.empty() || pages.a < 0 || pages.b < 0; }
};

// Every pair, in report order.  An entry belongs to the pair whose pages
// are its page_a and page_b; an entry whose two pages stand in different
// pairs (a page moved) belongs to both.  Entries without page_a and page_b
// are placed by `page` as position pairing numbers them.  Document entries
// bound to a page (links, annotations) are placed the same way by their
// page_a and page_b.  Pair pages outside the documents are dropped.
std::vector<ReviewPair> review_pairs(const DiffList &list, int32_t pages_a, int32_t pages_b);

// Counts of word-level changes by operation.
struct WordCounts {
    int deleted = 0, inserted = 0, replaced = 0;
    int total() const { return deleted + inserted + replaced; }
};
WordCounts word_counts(const DiffList &list, const std::vector<size_t> &entries);

// A reader's name for a kind of difference ("text_changed" -> "text changed",
// "image_changed" -> "image moved").
std::string kind_phrase(const char *kind);

// What changed in a pair, in words: its kinds in list order, each once,
// with the word counts of its text changes, then its document kinds
// ("text changed (2 deleted, 1 replaced), image moved, link changed");
// "identical" when nothing.
std::string pair_description(const DiffList &list, const ReviewPair &pair);

// "A p. 3 | B p. 4", "A p. 3 | not in B".
std::string pair_label(const PagePair &pages);

}  // namespace morvex
