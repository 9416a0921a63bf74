// The difference list, the text difference and the JSON reports, on page
// summaries made by hand.
#include "compare/diff.h"
#include "report/json.h"
#include "test_util.h"

using namespace morvex;

namespace {

PageSummary summary(const std::vector<std::tuple<std::string, double, double>> &words, double w = 10) {
    PageSummary s;
    for (const auto &[text, x, y] : words) {
        s.items.push_back({text, x, y, w, 11, 10});
        s.text += text + " ";
    }
    return s;
}

std::string rects(const std::vector<DiffRect> &r) {
    std::string s;
    char tmp[96];
    for (const DiffRect &d : r) {
        std::snprintf(tmp, sizeof tmp, "[%g %g %g %g]", d.x, d.y, d.w, d.h);
        s += tmp;
    }
    return s;
}

std::string compare_json(const DiffList &l) {
    ByteBuf b;
    EXPECT_TRUE(build_compare_json(l, &b));
    return std::string(b.view());
}

std::string text_json(const DiffList &l) {
    ByteBuf b;
    EXPECT_TRUE(build_text_json(l, &b));
    return std::string(b.view());
}

}  // namespace

TEST(DiffList, AddCopiesAndFreeEmpties) {
    DiffList l;
    EXPECT_EQ(l.identical, 1);
    const DiffRect r{1, 2, 3, 4};
    diff_result_add(&l, 1, "a_kind_name_that_is_far_longer_than_31", "text", &r, 0, &r, 1);
    ASSERT_EQ(l.entries.size(), 1u);
    EXPECT_EQ(l.identical, 0);
    EXPECT_STREQ(l.entries[0].type, "a_kind_name_that_is_far_longer_");
    EXPECT_EQ(std::strlen(l.entries[0].type), 31u);
    EXPECT_TRUE(l.entries[0].rects_b.empty());
    EXPECT_EQ(l.entries[0].rects_a.size(), 1u);
    EXPECT_EQ(l.entries[0].text.value_or(""), "text");
    diff_result_add(&l, 2, "page_added", nullptr, nullptr, 5, nullptr, 0);
    EXPECT_FALSE(l.entries[1].text.has_value());
    diff_result_free(&l);
    EXPECT_EQ(l.identical, 0);
    EXPECT_EQ(l.pages_compared, 0);
    EXPECT_TRUE(l.entries.empty());
}

TEST(MergeRects, JoinsNeighboursOfOneLine) {
    struct Case {
        const char *what;
        std::vector<DiffRect> in;
        std::string want;
    } cases[] = {
        {"12 apart join", {{0, 0, 10, 10}, {22, 0, 10, 10}}, "[0 0 32 10]"},
        {"12.5 apart stay", {{0, 0, 10, 10}, {22.5, 0, 10, 10}}, "[0 0 10 10][22.5 0 10 10]"},
        {"y 4 apart stay", {{0, 0, 10, 10}, {5, 4, 10, 10}}, "[0 0 10 10][5 4 10 10]"},
        {"y 3.9 apart join, bottom kept", {{0, 3.9, 10, 10}, {5, 0, 10, 12}}, "[0 3.9 15 12]"},
        {"h 4 apart stay", {{0, 0, 10, 10}, {5, 0, 10, 14}}, "[0 0 10 10][5 0 10 14]"},
        {"order within a line", {{40, 0, 10, 10}, {0, 0, 10, 10}, {20, 0, 10, 10}}, "[0 0 50 10]"},
        {"two lines", {{0, 0, 10, 10}, {0, 20, 10, 10}, {15, 0, 10, 10}, {15, 20, 10, 10}},
         "[0 0 25 10][0 20 25 10]"},
        // The last rectangle moves into the joined slot.
        {"last moves in", {{0, 0, 10, 10}, {15, 0, 10, 10}, {100, 50, 1, 1}, {200, 80, 1, 1}},
         "[0 0 25 10][200 80 1 1][100 50 1 1]"},
        {"negative coordinates", {{-30, -5, 10, 10}, {-15, -5, 10, 10}}, "[-30 -5 25 10]"},
    };
    for (const Case &c : cases) {
        std::vector<DiffRect> r = c.in;
        r.resize(static_cast<size_t>(merge_rects(r.data(), static_cast<int>(r.size()))));
        EXPECT_EQ(rects(r), c.want) << c.what;
    }
}

TEST(MergeRects, VeryLongListsMergeInOnePassByLine) {
    std::vector<DiffRect> r;
    for (int line = 0; line < 100; ++line)
        for (int w = 0; w < 60; ++w) r.push_back({w * 15.0, line * 20.0, 10, 10});
    r.resize(static_cast<size_t>(merge_rects(r.data(), static_cast<int>(r.size()))));
    ASSERT_EQ(r.size(), 100u);
    EXPECT_EQ(rects({r[7]}), "[0 140 895 10]");
}

TEST(TextDifference, KindsTextsAndRectangles) {
    struct Case {
        const char *what;
        PageSummary a, b;
        std::string kind, text, rects_b, rects_a;
    } cases[] = {
        {"one word changed", summary({{"a", 0, 0}, {"b", 30, 0}, {"c", 60, 0}}),
         summary({{"a", 0, 0}, {"x", 30, 0}, {"c", 60, 0}}), "text_changed", "- a b c \n+ a x c ",
         "[30 0 10 11]", "[30 0 10 11]"},
        {"removed", summary({{"a", 0, 0}, {"b", 15, 0}}), summary({}), "text_removed", "- a b \n", "",
         "[0 0 25 11]"},
        {"added", summary({}), summary({{"a", 0, 0}}), "text_added", "+ a ", "[0 0 10 11]", ""},
        // At the tie of a swap the walk gives up B's last word first.
        {"swap", summary({{"a", 0, 0}, {"b", 30, 0}}), summary({{"b", 0, 0}, {"a", 30, 0}}), "text_changed",
         "- a b \n+ b a ", "[30 0 10 11]", "[0 0 10 11]"},
        {"repeated word", summary({{"a", 0, 0}}), summary({{"a", 0, 0}, {"a", 30, 0}}), "text_changed",
         "- a \n+ a a ", "[0 0 10 11]", ""},
    };
    for (const Case &c : cases) {
        DiffList l;
        add_text_difference(&l, 4, c.a, c.b);
        ASSERT_EQ(l.entries.size(), 1u) << c.what;
        const DiffEntry &e = l.entries[0];
        EXPECT_EQ(e.page, 4);
        EXPECT_EQ(std::string(e.type), c.kind) << c.what;
        EXPECT_EQ(e.text.value_or("<null>"), c.text) << c.what;
        EXPECT_EQ(rects(e.rects_b), c.rects_b) << c.what;
        EXPECT_EQ(rects(e.rects_a), c.rects_a) << c.what;
    }
    // Moved words with the same texts are all matched: no rectangles.
    PageSummary a = summary({{"x", 0, 0}, {"y", 0, 0}}), b = summary({{"x", 50, 50}, {"y", 0, 0}});
    b.text = "x \ny ";
    DiffList l;
    add_text_difference(&l, 1, a, b);
    EXPECT_TRUE(l.entries[0].rects_a.empty());
    EXPECT_TRUE(l.entries[0].rects_b.empty());
}

TEST(TextDifference, PagesBeyondTheTableAreMatchedToo) {
    auto page = [](int n, const char *word) {
        std::vector<std::tuple<std::string, double, double>> w;
        for (int i = 0; i < n; ++i) w.emplace_back(word, (i % 40) * 15.0, (i / 40) * 20.0);
        return summary(w);
    };
    DiffList over, under;
    add_text_difference(&over, 1, page(2000, "a"), page(2000, "b"));  // product 4,000,000
    add_text_difference(&under, 1, page(1999, "a"), page(2000, "b"));
    EXPECT_EQ(over.entries[0].rects_a.size(), 50u);  // one per line
    EXPECT_EQ(over.entries[0].rects_b.size(), 50u);
    EXPECT_EQ(under.entries[0].rects_a.size(), 50u);
    EXPECT_EQ(under.entries[0].rects_b.size(), 50u);
}

TEST(JsonReports, ExactBytes) {
    DiffList l;
    l.pages_compared = 2;
    EXPECT_EQ(compare_json(l), "{\"identical\":true,\"pages_compared\":2,\"differences\":[]}");
    EXPECT_EQ(text_json(l), "{\"identical\":true,\"pages_compared\":2,\"differences\":[]}");
    diff_result_add(&l, 1, "image_added", nullptr, nullptr, 0, nullptr, 0);
    EXPECT_EQ(compare_json(l),
              "{\"identical\":false,\"pages_compared\":2,\"differences\":[{\"page\":1,\"type\":\"image_added\"}]}");
    // The text report leaves the image out, decides from what it keeps, and
    // writes no comma before its first entry.
    EXPECT_EQ(text_json(l), "{\"identical\":true,\"pages_compared\":2,\"differences\":[]}");
    diff_result_add(&l, 1, "text_changed", "- old \n+ new ", nullptr, 0, nullptr, 0);
    diff_result_add(&l, 2, "content_changed", nullptr, nullptr, 0, nullptr, 0);
    diff_result_add(&l, 3, "page_added", nullptr, nullptr, 0, nullptr, 0);
    EXPECT_EQ(compare_json(l),
              "{\"identical\":false,\"pages_compared\":2,\"differences\":[{\"page\":1,\"type\":\"image_added\"},"
              "{\"page\":1,\"type\":\"text_changed\"},{\"page\":2,\"type\":\"content_changed\"},"
              "{\"page\":3,\"type\":\"page_added\"}]}");
    EXPECT_EQ(text_json(l),
              "{\"identical\":false,\"pages_compared\":2,\"differences\":[{\"page\":1,\"type\":\"text_changed\","
              "\"diff\":\"- old \\n+ new \"},{\"page\":3,\"type\":\"page_added\"}]}");
}

TEST(JsonReports, Escaping) {
    static const char literal[] = "q\" b\\ t\t n\n r\r b\b f\f \x01 \x1b \x7f \0 \xC3\xA9";
    const std::string raw(literal, sizeof literal - 1);
    ByteBuf b;
    json_escape(raw, &b);
    EXPECT_EQ(std::string(b.view()),
              "q\\\" b\\\\ t\\t n\\n r\\r b\\b f\\f \\u0001 \\u001b \x7f \\u0000 \xC3\xA9");
}
