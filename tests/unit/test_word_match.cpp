// The word match on lists of word numbers: equal to the exact table where
// the table may run, a longest common subsequence beyond it, and a match by
// lines where the search runs out of steps.
#include <random>

#include "compare/word_match.h"
#include "test_util.h"

using namespace morvex;

namespace {

using Ids = std::vector<int>;

// The marked words of one side, in order.
Ids kept(const Ids &words, const std::vector<bool> &marks) {
    Ids out;
    for (size_t k = 0; k < words.size(); ++k)
        if (marks[k]) out.push_back(words[k]);
    return out;
}

// Ten words a line.
Ids lines_of(const Ids &words) {
    Ids out;
    for (size_t k = 0; k < words.size(); ++k) out.push_back(static_cast<int>(k / 10));
    return out;
}

// A copy of `base` with `edits` words replaced, removed or inserted at random.
Ids edited(const Ids &base, int edits, int alphabet, std::mt19937 *rng) {
    Ids out = base;
    for (int e = 0; e < edits; ++e) {
        const size_t at = out.empty() ? 0 : (*rng)() % out.size();
        switch ((*rng)() % 3) {
        case 0:
            if (!out.empty()) out[at] = static_cast<int>((*rng)() % alphabet);
            break;
        case 1:
            if (!out.empty()) out.erase(out.begin() + static_cast<std::ptrdiff_t>(at));
            break;
        default:
            out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), static_cast<int>((*rng)() % alphabet));
        }
    }
    return out;
}

Ids random_words(size_t n, int alphabet, std::mt19937 *rng) {
    Ids out(n);
    for (int &w : out) w = static_cast<int>((*rng)() % alphabet);
    return out;
}

struct Result {
    std::vector<bool> ma, mb;
};

Result match(const Ids &a, const Ids &b, const WordMatchLimits &limits = {}) {
    Result r;
    match_word_ids(a, b, lines_of(a), lines_of(b), &r.ma, &r.mb, limits);
    return r;
}

size_t count(const std::vector<bool> &m) { return static_cast<size_t>(std::count(m.begin(), m.end(), true)); }

}  // namespace

TEST(WordMatch, WithinTheTableLimitEqualsTheExactMatch) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const int alphabet = 2 + static_cast<int>(rng() % 40);
        const Ids a = random_words(rng() % 300, alphabet, &rng);
        const Ids b = round % 2 ? edited(a, static_cast<int>(rng() % 30), alphabet, &rng)
                                : random_words(rng() % 300, alphabet, &rng);
        Result exact;
        exact_word_match(a, b, &exact.ma, &exact.mb);
        const Result got = match(a, b);
        ASSERT_EQ(got.ma, exact.ma) << "round " << round;
        ASSERT_EQ(got.mb, exact.mb) << "round " << round;
    }
    // The edge of the limit, and a list so long its partner must be short.
    const std::pair<int, int> edges[] = {{1999, 2000}, {2000, 1999}, {1, 3'999'999}};
    for (auto [na, nb] : edges) {
        const Ids a = random_words(static_cast<size_t>(na), 3, &rng), b = random_words(static_cast<size_t>(nb), 3, &rng);
        Result exact;
        exact_word_match(a, b, &exact.ma, &exact.mb);
        const Result got = match(a, b);
        EXPECT_EQ(got.ma, exact.ma) << na << "x" << nb;
        EXPECT_EQ(got.mb, exact.mb) << na << "x" << nb;
    }
}

// With the table limited to tiny stretches, the search does the splitting:
// what it matches must still be a longest common subsequence.
TEST(WordMatch, SplitStretchesStillGiveALongestCommonSubsequence) {
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        const int alphabet = 2 + static_cast<int>(rng() % 20);
        const Ids a = random_words(1 + rng() % 400, alphabet, &rng);
        const Ids b = round % 3 ? edited(a, static_cast<int>(rng() % 60), alphabet, &rng)
                                : random_words(1 + rng() % 400, alphabet, &rng);
        Result exact;
        exact_word_match(a, b, &exact.ma, &exact.mb);
        WordMatchLimits small;
        small.exact_product = static_cast<long long>(rng() % 64);
        const Result got = match(a, b, small);
        ASSERT_EQ(kept(a, got.ma), kept(b, got.mb)) << "round " << round;
        ASSERT_EQ(count(got.ma), count(exact.ma)) << "round " << round;
    }
}

// When the search's steps run out, equal lines are still matched and the
// words between them get the table: a common subsequence, changes kept to
// their lines.
TEST(WordMatch, OutOfStepsMatchesLineByLine) {
    std::mt19937 rng(3);
    const Ids a = random_words(5000, 1000, &rng);
    Ids b = a;
    b[1234] = 5000;  // one word on line 123
    b.insert(b.begin() + 4000, {5001, 5002, 5003, 5004, 5005, 5006, 5007, 5008, 5009, 5010});  // a new line
    WordMatchLimits none;
    none.exact_product = 100;
    none.word_steps = 0;
    const Result got = match(a, b, none);
    EXPECT_EQ(kept(a, got.ma), kept(b, got.mb));
    EXPECT_EQ(count(got.ma), a.size() - 1);
    EXPECT_FALSE(got.ma[1234]);
    EXPECT_FALSE(got.mb[1234]);
    for (size_t k = 4000; k < 4010; ++k) EXPECT_FALSE(got.mb[k]);

    // No table cells either: the changed line is marked from the first word
    // that differs (the equal words before it end the equal opening).
    none.table_cells = 0;
    const Result whole_lines = match(a, b, none);
    EXPECT_EQ(kept(a, whole_lines.ma), kept(b, whole_lines.mb));
    EXPECT_EQ(count(whole_lines.ma), a.size() - 6);
    for (size_t k = 1234; k < 1240; ++k) EXPECT_FALSE(whole_lines.mb[k]);

    // No steps for the lines either: lines found once on each side anchor them.
    none.line_steps = 0;
    const Result anchored = match(a, b, none);
    EXPECT_EQ(kept(a, anchored.ma), kept(b, anchored.mb));
    EXPECT_EQ(count(anchored.ma), a.size() - 6);
    const Ids c = random_words(3000, 1000, &rng), d = random_words(3000, 1000, &rng);
    const Result apart = match(c, d, none);
    EXPECT_EQ(kept(c, apart.ma), kept(d, apart.mb));
}

TEST(WordMatch, DensePagesWithOneChangeAndUnrelatedPages) {
    std::mt19937 rng(5);
    for (size_t n : {2000u, 5000u, 20000u}) {
        // Dot leaders and page numbers, as an index page reads.
        Ids a;
        for (size_t k = 0; k < n; ++k) a.push_back(k % 3 == 1 ? 0 : static_cast<int>(1 + rng() % 500));
        Ids b = a;
        b[n / 2 + 1] = 9999;
        const Result got = match(a, b);
        EXPECT_EQ(count(got.ma), n - 1) << n;
        EXPECT_EQ(count(got.mb), n - 1) << n;
        EXPECT_FALSE(got.mb[n / 2 + 1]) << n;
    }
    // Unrelated pages: a common subsequence, found in bounded steps.
    const Ids a = random_words(20000, 5000, &rng), b = random_words(20000, 5000, &rng);
    const Result got = match(a, b);
    EXPECT_EQ(kept(a, got.ma), kept(b, got.mb));
    EXPECT_LT(count(got.ma), 2000u);
}
