// The match of two pages' words: which words of A and of B form their
// common subsequence.  Words arrive as small integers (equal words, equal
// numbers) with the number of the line each stands on.
#pragma once

#include <cstdint>
#include <vector>

namespace morvex {

struct WordMatchLimits {
    // A page whose word counts multiply to at most this is matched by the
    // exact table (a longest common subsequence, B's words given up first on
    // a tie), and so are the stretches between lines matched alike.  Inside
    // the search, only stretches up to the smaller of this and 65,536 are.
    // At most kMaxExactProduct: the table's 16-bit cells, 16 MB.
    long long exact_product = 3'999'999;
    // Steps the difference search may take over one whole match; once they
    // are spent, the stretches still open are matched line by line.
    long long word_steps = 20'000'000;
    // The same for the search over lines; once spent, the lines left over
    // stay unmatched.
    long long line_steps = 5'000'000;
    // Table cells all the stretches of one large match may fill together;
    // once spent, the search goes on alone, and words between lines that
    // read alike stay unmatched.
    long long table_cells = 300'000'000;
};
constexpr long long kMaxExactProduct = 3'999'999;

// Marks in `matched_a` and `matched_b` (sized like `a` and `b`) the words
// of a common subsequence.  Pages whose word counts multiply to at most
// `exact_product` get the exact table match over the whole page.  Larger
// ones are split by Myers' difference search (linear memory, time that
// grows with the number of differences) into stretches small enough for
// the table; where the search's steps run out, lines that read alike are
// matched and only the stretches between them get the table.  Lengths of
// the common subsequence are the longest possible unless an allowance ran
// out.  `line_a` and
// `line_b` hold each word's line number, never decreasing.
void match_word_ids(const std::vector<int> &a, const std::vector<int> &b, const std::vector<int> &line_a,
                    const std::vector<int> &line_b, std::vector<bool> *matched_a, std::vector<bool> *matched_b,
                    const WordMatchLimits &limits = {});

// The exact table match of the whole of `a` and `b`, whose sizes multiply
// to at most kMaxExactProduct: the reference the larger match is measured by.
void exact_word_match(const std::vector<int> &a, const std::vector<int> &b, std::vector<bool> *matched_a,
                      std::vector<bool> *matched_b);

}  // namespace morvex
