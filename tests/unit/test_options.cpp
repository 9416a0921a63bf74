// The options reader: every key's values, every refusal's message, and the
// regular-expression engine behind ignore_text.
#include <gtest/gtest.h>

#include "options/options_reader.h"
#include "options/text_pattern.h"

using namespace morvex;

namespace {

std::string refusal(const std::string &text) {
    CompareOptions o;
    std::string why;
    EXPECT_FALSE(read_options(text, &o, &why)) << text;
    return why;
}

TEST(Options, DefaultsAndEveryKey) {
    CompareOptions o;
    std::string why;
    ASSERT_TRUE(read_options("{}", &o, &why)) << why;
    EXPECT_EQ(o.report, ReportKind::Compare);
    EXPECT_EQ(o.pairing, Pairing::Position);
    EXPECT_TRUE(o.from_options_api);
    ASSERT_TRUE(read_options(R"( {"report":"detail","pairing":"content","pages_a":"1-3, 7,10-","pages_b":"2",
        "ignore_regions":[{"rect":[500,760.5,10,700],"pages":"1-2","side":"b"},{"rect":[0,0,1e2,5]}],
        "ignore_text":["\\d{4}-\\d{2}-\\d{2}"],"layout":"side_by_side","changed_only":true,"threads":4,
        "password":"p","password_a":"","password_b":"\u00e9"} )", &o, &why)) << why;
    EXPECT_EQ(o.report, ReportKind::Detail);
    EXPECT_EQ(o.pairing, Pairing::Content);
    ASSERT_EQ(o.pages_a.size(), 3u);
    EXPECT_EQ(o.pages_a[2].first, 10);
    EXPECT_EQ(o.pages_a[2].last, 0);
    EXPECT_TRUE(page_in_ranges(o.pages_a, 7));
    EXPECT_FALSE(page_in_ranges(o.pages_a, 4));
    EXPECT_TRUE(page_in_ranges(o.pages_a, 99));
    ASSERT_EQ(o.ignore_regions.size(), 2u);
    const IgnoreRegion &r = o.ignore_regions[0];
    EXPECT_EQ(r.x0, 10);  // corners in either order
    EXPECT_EQ(r.x1, 500);
    EXPECT_EQ(r.y0, 700);
    EXPECT_EQ(r.y1, 760.5);
    EXPECT_EQ(r.side, kSideB);
    EXPECT_EQ(o.ignore_regions[1].side, kSideBoth);
    EXPECT_EQ(o.ignore_regions[1].x1, 100);
    EXPECT_EQ(o.layout, Layout::SideBySide);
    EXPECT_TRUE(o.changed_only);
    EXPECT_EQ(o.threads, 4);
    EXPECT_EQ(*o.password_b, "\xC3\xA9");
    EXPECT_EQ(*o.password_a, "");
}

TEST(Options, EveryBadValueIsNamed) {
    const struct {
        const char *text, *message;
    } cases[] = {
        {"", "options: offset 0: unexpected end of text"},
        {"{\"report\" \"text\"}", "options: offset 10: expected ':'"},
        {"[]", "options: the options must be a JSON object"},
        {"{\"pairng\":\"content\"}", "options: unknown key \"pairng\""},
        {"{\"report\":\"text\",\"report\":\"text\"}", "options: key \"report\" given twice"},
        {"{\"report\":\"html\"}", "options: \"report\" must be \"compare\", \"text\" or \"detail\""},
        {"{\"report\":1}", "options: \"report\" must be \"compare\", \"text\" or \"detail\""},
        {"{\"pairing\":\"pages\"}", "options: \"pairing\" must be \"position\" or \"content\""},
        {"{\"layout\":\"side-by-side\"}", "options: \"layout\" must be \"overlay\" or \"side_by_side\""},
        {"{\"changed_only\":1}", "options: \"changed_only\" must be true or false"},
        {"{\"threads\":257}", "options: \"threads\" must be an integer from 1 to 256, or 0 for the default"},
        {"{\"threads\":-1}", "options: \"threads\" must be an integer from 1 to 256, or 0 for the default"},
        {"{\"threads\":2.5}", "options: \"threads\" must be an integer from 1 to 256, or 0 for the default"},
        {"{\"password\":7}", "options: \"password\" must be a string"},
        {"{\"password_a\":\"a\\u0000b\"}", "options: \"password_a\" must not hold a 0 character"},
        {"{\"pages_a\":\"3-1\"}", "options: \"pages_a\" must be page ranges such as \"1-3,7,10-\", not \"3-1\""},
        {"{\"pages_b\":\"0\"}", "options: \"pages_b\" must be page ranges such as \"1-3,7,10-\", not \"0\""},
        {"{\"pages_b\":\"\"}", "options: \"pages_b\" must be page ranges such as \"1-3,7,10-\", not \"\""},
        {"{\"pages_b\":\"1,,2\"}", "options: \"pages_b\" must be page ranges such as \"1-3,7,10-\", not \"1,,2\""},
        {"{\"pages_b\":[1]}", "options: \"pages_b\" must be page ranges such as \"1-3,7,10-\""},
        {"{\"ignore_regions\":{}}", "options: \"ignore_regions\" must be a list of regions"},
        {"{\"ignore_regions\":[{\"rect\":[1,2,3]}]}",
         "options: \"ignore_regions\"[0].rect must be [x0, y0, x1, y1], four numbers of points"},
        {"{\"ignore_regions\":[{\"rect\":[1,2,3,\"4\"]}]}",
         "options: \"ignore_regions\"[0].rect must be [x0, y0, x1, y1], four numbers of points"},
        {"{\"ignore_regions\":[{\"rect\":[0,0,1,1]},{\"pages\":\"1\"}]}", "options: \"ignore_regions\"[1] has no \"rect\""},
        {"{\"ignore_regions\":[{\"rect\":[0,0,1,1],\"side\":\"c\"}]}",
         "options: \"ignore_regions\"[0].side must be \"a\", \"b\" or \"both\""},
        {"{\"ignore_regions\":[{\"rect\":[0,0,1,1],\"pages\":\"x\"}]}",
         "options: \"ignore_regions\"[0].pages must be page ranges such as \"1-3,7,10-\", not \"x\""},
        {"{\"ignore_regions\":[{\"rect\":[0,0,1,1],\"page\":\"1\"}]}",
         "options: unknown key \"page\" in \"ignore_regions\"[0]"},
        {"{\"ignore_regions\":[3]}", "options: \"ignore_regions\"[0] must be an object with a \"rect\""},
        {"{\"ignore_text\":\"x\"}", "options: \"ignore_text\" must be a list of regular expressions"},
        {"{\"ignore_text\":[\"a\",null]}", "options: \"ignore_text\"[1] must be a string"},
        {"{\"ignore_text\":[\"(ab\"]}",
         "options: \"ignore_text\"[0]: pattern \"(ab\" does not compile: unbalanced parenthesis at offset 3"},
        {"{\"ignore_text\":[\"a{2,1}\"]}",
         "options: \"ignore_text\"[0]: pattern \"a{2,1}\" does not compile: repetition range out of order at offset 6"},
        {"{\"ignore_text\":[\"a**\"]}",
         "options: \"ignore_text\"[0]: pattern \"a**\" does not compile: repeated quantifier at offset 3"},
        {"{\"ignore_text\":[\"(?<n>a)\"]}",
         "options: \"ignore_text\"[0]: pattern \"(?<n>a)\" does not compile: unsupported group kind at offset 1"},
        {"{\"ignore_text\":[\"a{1001}\"]}",
         "options: \"ignore_text\"[0]: pattern \"a{1001}\" does not compile: bad or too large repetition count at offset 5"},
        {"{\"ignore_text\":[\"(a{1000}){1000}\"]}",
         "options: \"ignore_text\"[0]: pattern \"(a{1000}){1000}\" does not compile: pattern too large"},
    };
    for (const auto &c : cases) EXPECT_EQ(refusal(c.text), c.message) << c.text;
}

TEST(Regex, FullMatchesOnly) {
    const struct {
        const char *pattern, *text;
        bool match;
    } cases[] = {
        {"\\d{4}-\\d{2}-\\d{2}", "2024-01-31", true},
        {"\\d{4}-\\d{2}-\\d{2}", "2024-01-31 ", false},
        {"\\d{4}-\\d{2}-\\d{2}", "x2024-01-31", false},
        {"^Page \\d+ of \\d+$", "Page 3 of 12", true},
        {"(Mon|Tue)day", "Tueday", true},
        {"(Mon|Tue)day", "Wedday", false},
        {"[A-Z][a-z]+ \\d{1,2}, \\d{4}", "March 7, 2025", true},
        {"[^0-9]+", "abc", true},
        {"[^0-9]+", "ab1", false},
        {"caf.", "caf\xC3\xA9", true},  // . is one character, not one byte
        {"[\xC3\xA0-\xC3\xBF]x", "\xC3\xA9x", true},
        {"a?b*c+", "c", true},
        {"(?:ab)*", "", true},
        {"(?:ab)*", "abab", true},
        {"(?:ab)*", "aba", false},
        {"\\.", ".", true},
        {"\\.", "x", false},
        {"\\W\\S\\D", "!x!", true},
        {"a{2,}", "a", false},
        {"a{2,}", "aaaa", true},
        {"", "", true},
    };
    for (const auto &c : cases) {
        Regex re;
        std::string why;
        ASSERT_TRUE(re.compile(c.pattern, &why)) << c.pattern << ": " << why;
        EXPECT_EQ(re.full_match(c.text), c.match) << c.pattern << " on " << c.text;
    }
}

TEST(Regex, PathologicalPatternsAndLongTexts) {
    Regex re;
    std::string why;
    // Catastrophic for a backtracking engine; linear here.
    ASSERT_TRUE(re.compile("(a*)*(a|aa)*b", &why)) << why;
    EXPECT_FALSE(re.full_match(std::string(20000, 'a')));
    ASSERT_TRUE(re.compile(".*", &why));
    EXPECT_TRUE(re.full_match(std::string(Regex::kMaxTextBytes, 'x')));
    EXPECT_FALSE(re.full_match(std::string(Regex::kMaxTextBytes + 1, 'x')));  // too long: never ignored
    // Nesting is capped before it can exhaust the compiler's stack.
    EXPECT_FALSE(re.compile(std::string(500, '(') + std::string(500, ')'), &why));
    EXPECT_FALSE(re.compile(std::string(1001, 'a'), &why));
}

}  // namespace
