// The morvex command's parts: the JSON reader, reading reports back, the
// text and HTML helpers, path pairing and the worker pool.
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <unistd.h>

#include "html.h"
#include "json_reader.h"
#include "junit.h"
#include "report.h"
#include "report_text.h"
#include "review_page.h"
#include "walk.h"
#include "workers.h"

namespace {

std::string parse_error(std::string_view text) {
    std::string error;
    EXPECT_FALSE(json::parse(text, &error).has_value()) << text;
    return error;
}

std::string reencode(std::string_view text) {
    const auto v = json::parse(text);
    EXPECT_TRUE(v.has_value()) << text;
    std::string out;
    if (v) json::append_value(out, *v);
    return out;
}

TEST(JsonReader, ReadsTheReportShape) {
    const auto v = json::parse(
        " {\"identical\":false, \"pages_compared\":12,\n\"differences\":[{\"page\":3,\"type\":\"text_changed\","
        "\"diff\":\"- a\\n+ b\"}, {\"page\":-1,\"type\":\"x\",\"extra\":[null,true,{}]}]} ");
    ASSERT_TRUE(v);
    EXPECT_FALSE(v->get("identical")->boolean);
    EXPECT_EQ(v->get("pages_compared")->integer, 12);
    const json::Value &diffs = *v->get("differences");
    ASSERT_EQ(diffs.items.size(), 2u);
    EXPECT_EQ(diffs.items[0].get("diff")->string, "- a\n+ b");
    EXPECT_EQ(diffs.items[1].get("page")->integer, -1);
    EXPECT_EQ(diffs.items[1].get("extra")->items[2].kind, json::Value::Kind::Object);
    EXPECT_EQ(v->get("missing"), nullptr);
    EXPECT_EQ(diffs.get("page"), nullptr);  // not an object
}

TEST(JsonReader, DecodesEveryEscape) {
    const auto v = json::parse(R"("q\" b\\ s\/ \b\f\n\r\t \u0000\u001b \u00e9\u20AC \ud83d\ude00 raw é")");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->string, std::string("q\" b\\ s/ \b\f\n\r\t ") + std::string("\0\x1b", 2) +
                             " \xC3\xA9\xE2\x82\xAC \xF0\x9F\x98\x80 raw \xC3\xA9");
}

TEST(JsonReader, IntegersAtTheLimits) {
    EXPECT_EQ(json::parse("9223372036854775807")->integer, INT64_MAX);
    EXPECT_EQ(json::parse("-9223372036854775808")->integer, INT64_MIN);
    EXPECT_EQ(json::parse("-0")->integer, 0);
    EXPECT_NE(parse_error("9223372036854775808").find("out of range"), std::string::npos);
    EXPECT_NE(parse_error("-9223372036854775809").find("out of range"), std::string::npos);
}

TEST(JsonReader, RefusesBrokenText) {
    const char *bad[] = {
        "",         "  ",        "{",          "[1,]",        "[1 2]",      "{\"a\" 1}",  "{\"a\":1,}",
        "{a:1}",    "\"open",    "\"tab\there\"", "\"\\x\"",  "\"\\u12\"",  "\"\\u12g4\"", "\"\\ud800\"",
        "\"\\udc00\"", "\"\\ud800\\u0041\"", "01", "1.5",       "1e3",        "-",          "tru",
        "nul",      "{} {}",     "[1]x",       "+1",
    };
    for (const char *text : bad) parse_error(text);
    EXPECT_EQ(parse_error("{\"a\":1,}"), "offset 7: expected a member name");
    EXPECT_EQ(parse_error("[1] x"), "offset 4: unexpected text after the value");
}

TEST(JsonReader, NestingIsBounded) {
    EXPECT_TRUE(json::parse(std::string(64, '[') + std::string(64, ']')));
    EXPECT_NE(parse_error(std::string(65, '[') + std::string(65, ']')).find("nested too deeply"),
              std::string::npos);
    // Deep enough to overflow the stack of an unbounded recursive reader.
    parse_error(std::string(1000000, '['));
}

TEST(JsonWriter, QuotesAndRoundTrips) {
    EXPECT_EQ(json::quoted(std::string("a\"b\\c\n\t\r\x01\x1f\x7f", 11)), "\"a\\\"b\\\\c\\n\\t\\r\\u0001\\u001f\x7f\"");
    EXPECT_EQ(json::quoted(std::string("\0", 1)), "\"\\u0000\"");
    EXPECT_EQ(json::quoted("caf\xC3\xA9 \xF0\x9F\x98\x80"), "\"caf\xC3\xA9 \xF0\x9F\x98\x80\"");
    // Bytes that are not UTF-8 (a lone continuation, a truncated sequence,
    // an overlong form, an encoded surrogate) become U+FFFD, byte by byte.
    EXPECT_EQ(json::quoted("a\x80z"), "\"a\xEF\xBF\xBDz\"");
    EXPECT_EQ(json::quoted("\xE2\x82"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(json::quoted("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(json::quoted("\xED\xA0\x80").size(), 2u + 9u);
    const std::string report =
        R"({"identical":false,"pages_compared":2,"differences":[{"page":1,"type":"text_changed",)"
        R"("diff":"- say \"hi\" \\ \u0001\n+ caf)" "\xC3\xA9" R"("},{"page":2,"type":"page_added"}]})";
    EXPECT_EQ(reencode(report), report);
    EXPECT_EQ(reencode(" [ null , true,false,-7, {} ,[] ] "), "[null,true,false,-7,{},[]]");
    EXPECT_EQ(reencode(R"("\u00e9\/")"), "\"\xC3\xA9/\"");
}

TEST(Report, ReadsReportsAndNamesMissingMembers) {
    std::string error;
    const auto r = report::read(R"({"identical":false,"pages_compared":3,"differences":[)"
                                R"({"page":1,"type":"image_added"},{"page":1,"type":"text_removed","diff":"- x"},)"
                                R"({"page":3,"type":"page_added"}],"future":1})",
                                &error);
    ASSERT_TRUE(r) << error;
    EXPECT_FALSE(r->identical);
    EXPECT_EQ(r->pages_compared, 3);
    ASSERT_EQ(r->differences.size(), 3u);
    EXPECT_FALSE(r->differences[0].has_diff);
    EXPECT_TRUE(r->differences[1].has_diff);
    EXPECT_EQ(report::summary(*r), "3 differences on 2 of 3 pages");
    const std::map<std::string, std::string> broken = {
        {R"({"pages_compared":1,"differences":[]})", "report: no boolean \"identical\""},
        {R"({"identical":1,"pages_compared":1,"differences":[]})", "report: no boolean \"identical\""},
        {R"({"identical":true,"differences":[]})", "report: no integer \"pages_compared\""},
        {R"({"identical":true,"pages_compared":1,"differences":{}})", "report: no array \"differences\""},
        {R"({"identical":true,"pages_compared":1,"differences":[1]})", "report: a difference is not an object"},
        {R"({"identical":true,"pages_compared":1,"differences":[{"type":"x"}]})",
         "report: a difference has no integer \"page\""},
        {R"({"identical":true,"pages_compared":1,"differences":[{"page":1}]})",
         "report: a difference has no string \"type\""},
        {R"({"identical":true,"pages_compared":1,"differences":[{"page":1,"type":"x","diff":2}]})",
         "report: \"diff\" is not a string"},
        {R"([])", "report: no boolean \"identical\""},
        {R"({"identical":true)", "report: not valid JSON (offset 17: expected ',' or '}')"},
    };
    for (const auto &[text, message] : broken) {
        EXPECT_FALSE(report::read(text, &error)) << text;
        EXPECT_EQ(error, message) << text;
    }
}

TEST(Report, SummaryWording) {
    report::Report r;
    r.pages_compared = 1;
    EXPECT_EQ(report::summary(r), "identical (1 page)");
    r.pages_compared = 0;
    EXPECT_EQ(report::summary(r), "identical (0 pages)");
    r.identical = false;
    r.pages_compared = 5;
    r.differences = {{2, "image_added", false, ""}};
    EXPECT_EQ(report::summary(r), "1 difference on 1 of 5 pages");
}

TEST(ReportText, DocumentDifferencesReadShownAndCounted) {
    std::string error;
    const auto r = report::read(
        R"({"identical":false,"pages_compared":2,"differences":[],"document":[)"
        R"({"type":"metadata_changed","key":"Title","old":"Old","new":"New"},)"
        R"({"type":"link_changed","page_a":1,"page_b":2,"rect_a":[0,0,1,1],"rect_b":null,"old":{"uri":"x"},"new":null,)"
        R"("problem":"B: target page not found"}]})",
        &error);
    ASSERT_TRUE(r) << error;
    EXPECT_EQ(text::format(*r, text::Style{}),
              "document: metadata changed Title\n"
              "    - Old\n"
              "    + New\n"
              "page 2 (page 1 in A): link changed (B: target page not found)\n"
              "    - {\"uri\":\"x\"}\n"
              "2 document differences\n");
    report::Report both = *r;
    both.differences = {{1, "text_changed", false, ""}};
    EXPECT_EQ(report::summary(both), "1 difference on 1 of 2 pages and 2 document differences");
    report::restrict_to_text(both);
    EXPECT_EQ(report::summary(both), "1 difference on 1 of 2 pages");
    EXPECT_FALSE(report::read(R"({"identical":true,"pages_compared":1,"differences":[],"document":{}})", &error));
    EXPECT_EQ(error, "report: \"document\" is not a list");
}

TEST(Report, KindWordsAndDirections) {
    EXPECT_EQ(report::describe("dimensions_changed"), "page size changed");
    EXPECT_EQ(report::describe("page_removed"), "page removed");
    EXPECT_EQ(report::describe("font_swapped"), "font swapped");  // a kind of a later library
    EXPECT_EQ(report::describe("odd\x1b[2J"), "odd\\x1b[2J");
    EXPECT_EQ(report::direction("text_added"), 1);
    EXPECT_EQ(report::direction("page_removed"), -1);
    EXPECT_EQ(report::direction("image_changed"), 0);
}

TEST(Report, DiffLinesKeepTheSideOfContinuedLines) {
    const auto lines = report::diff_lines("- one\ntwo\n+ three\n\nfour");
    ASSERT_EQ(lines.size(), 5u);
    const std::string expected[] = {"-1one", "-0two", "+1three", "+0", "+0four"};
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(std::string(1, lines[i].sign) + (lines[i].first ? "1" : "0") + lines[i].text, expected[i]);
    const auto added = report::diff_lines("+ only B");
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].sign, '+');
    EXPECT_EQ(added[0].text, "only B");
}

TEST(Report, PrintableNeutralisesTerminalControls) {
    EXPECT_EQ(report::printable("tab\there"), "tab\there");
    EXPECT_EQ(report::printable(std::string("a\0b\nc\x1b[31m\x7f", 11)), "a\\x00b\\x0ac\\x1b[31m\\x7f");
    EXPECT_EQ(report::printable("csi \xC2\x9B" "2J nbsp \xC2\xA0"), "csi \\u009b2J nbsp \xC2\xA0");
    EXPECT_EQ(report::printable("bad \xFF caf\xC3\xA9"), "bad \xEF\xBF\xBD caf\xC3\xA9");
}

TEST(ReportText, LinesWithAndWithoutColour) {
    report::Report r;
    r.identical = false;
    r.pages_compared = 2;
    r.differences = {{1, "text_changed", true, "- old\nwrapped\n+ new"}, {2, "page_added", false, ""}};
    text::Style plain;
    EXPECT_EQ(text::format(r, plain),
              "page 1: text changed\n"
              "    - old\n"
              "      wrapped\n"
              "    + new\n"
              "page 2: page added\n"
              "2 differences on 2 of 2 pages\n");
    text::Style color;
    color.color = true;
    std::string out;
    text::append_differences(out, r, color, 2);
    EXPECT_EQ(out,
              "  \033[1mpage 1:\033[0m text changed\n"
              "      \033[31m- old\033[0m\n"
              "        \033[31mwrapped\033[0m\n"
              "      \033[32m+ new\033[0m\n"
              "  \033[1mpage 2:\033[0m \033[32mpage added\033[0m\n");
}

TEST(ReportText, ColorChoice) {
    text::ColorWhen when;
    EXPECT_TRUE(text::parse_color_when("always", when));
    EXPECT_EQ(when, text::ColorWhen::Always);
    EXPECT_FALSE(text::parse_color_when("yes", when));
    EXPECT_TRUE(text::use_color(text::ColorWhen::Always, -1));
    EXPECT_FALSE(text::use_color(text::ColorWhen::Never, -1));
    EXPECT_FALSE(text::use_color(text::ColorWhen::Auto, -1));  // not a terminal
}

TEST(Walk, NamesOrderAndPairing) {
    EXPECT_TRUE(walk::is_pdf_name("a.pdf"));
    EXPECT_TRUE(walk::is_pdf_name("B.PDF"));
    EXPECT_TRUE(walk::is_pdf_name(".Pdf"));
    EXPECT_FALSE(walk::is_pdf_name("pdf"));
    EXPECT_FALSE(walk::is_pdf_name("a.pdf.bak"));
    EXPECT_FALSE(walk::is_pdf_name("a_pdf"));
    std::vector<std::string> paths = {"a-b.pdf", "a/z.pdf", "a/b/c.pdf", "A.pdf", "a.pdf", "\xC3\xA9.pdf"};
    std::sort(paths.begin(), paths.end(), [](const auto &x, const auto &y) { return walk::path_less(x, y); });
    EXPECT_EQ(paths, (std::vector<std::string>{"A.pdf", "a/b/c.pdf", "a/z.pdf", "a-b.pdf", "a.pdf",
                                               "\xC3\xA9.pdf"}));
    const auto items = walk::pair_up({"a/x.pdf", "b.pdf", "d.pdf"}, {"a/w.pdf", "b.pdf", "c.pdf"});
    std::string got;
    for (const auto &i : items)
        got += i.path + (i.side == walk::Side::Both ? "=" : i.side == walk::Side::OldOnly ? "<" : ">") + " ";
    EXPECT_EQ(got, "a/w.pdf> a/x.pdf< b.pdf= c.pdf> d.pdf< ");
    EXPECT_EQ(walk::join("dir/", "a.pdf"), "dir/a.pdf");
    EXPECT_EQ(walk::join("dir", "a.pdf"), "dir/a.pdf");
}

TEST(Html, EscapesTextAndLinks) {
    EXPECT_EQ(html::escape("<a href=\"x\">&'</a>"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;&lt;/a&gt;");
    EXPECT_EQ(html::escape("bell\x07"), "bell\\x07");
    EXPECT_EQ(html::href("a b/c#?.pdf"), "a%20b/c%23%3F.pdf");
    EXPECT_EQ(html::href("javascript:x.pdf"), "javascript%3Ax.pdf");
    EXPECT_EQ(html::href("caf\xC3\xA9.pdf"), "caf%C3%A9.pdf");
}

// Which page of the visual report shows each difference: the overlay has
// one page per position; the side-by-side report its summary pages, then
// a page per pair it shows.
TEST(ReviewPage, ReportPageOfEachDifference) {
    // A: 3 pages, B: 4; B's page 2 is new, A's page 3 moved to B's page 1.
    const std::string detail =
        R"({"identical":false,"pages_compared":4,"differences":[)"
        R"({"page":1,"type":"page_moved","page_a":3,"page_b":1},)"
        R"({"page":2,"type":"page_added","page_a":null,"page_b":2},)"
        R"({"page":3,"type":"text_changed","page_a":1,"page_b":3,"changes":[]},)"
        R"({"page":4,"type":"style_changed","page_a":2,"page_b":4}],)"
        R"("pairs":[{"page_a":3,"page_b":1},{"page_a":null,"page_b":2},{"page_a":1,"page_b":3},)"
        R"({"page_a":2,"page_b":4},{"page_a":4,"page_b":5}]})";
    const auto d = json::parse(detail);
    ASSERT_TRUE(d);
    using L = review::Layout;
    const struct {
        L layout;
        bool changed_only;
        long long pdf_pages;
        std::vector<long long> pages;
    } cases[] = {
        {L::Overlay, false, 4, {1, 2, 3, 4}},
        {L::Overlay, false, 3, {1, 2, 3, 0}},        // past the report's end: no link
        {L::SideBySide, false, 6, {2, 3, 4, 5}},     // 1 summary page, 5 pairs
        {L::SideBySide, false, 7, {3, 4, 5, 6}},     // 2 summary pages
        {L::SideBySide, true, 5, {2, 3, 4, 5}},      // the identical pair 4|5 left out
        {L::SideBySide, false, 0, {0, 0, 0, 0}},     // page count unknown
        {L::SideBySide, false, 5, {0, 0, 0, 0}},     // fewer pages than pairs: not our report
    };
    for (const auto &c : cases) {
        review::ReportPdf pdf;
        pdf.layout = c.layout;
        pdf.changed_only = c.changed_only;
        pdf.pages = c.pdf_pages;
        pdf.href = "r.pdf";
        EXPECT_EQ(review::report_pages(*d, pdf), c.pages) << c.pdf_pages << " " << c.changed_only;
    }
}

TEST(ReviewPage, UnknownKindsShowTheirFields) {
    const auto d = json::parse(
        R"({"page":2,"type":"style_changed","page_a":2,"page_b":2,"old":"Times 10","new":"Helvetica <b>",)"
        R"("text":"a & b","rects_a":[[1.5,2,3.25,4]],"rects_b":[],"size_a":{"width":612.0,"height":792,"rotation":0},)"
        R"("size_b":{"width":595.276,"height":842,"rotation":90}})",
        nullptr, json::ReadOptions{true});
    ASSERT_TRUE(d);
    review::ReportPdf pdf;
    pdf.href = "a%20b.pdf";
    std::string out;
    review::append_difference(out, *d, 3, pdf, 0);
    EXPECT_EQ(out,
              "<li><span class=\"where\">A p. 2 | B p. 2</span> <span class=\"kind\">style changed</span> "
              "<a class=\"pdf\" href=\"a%20b.pdf#page=3\">report page 3</a>\n"
              "<div class=\"field\"><span class=\"name\">page:</span> <del>612 × 792 pt</del> "
              "<ins>595.28 × 842 pt, turned 90°</ins></div>\n"
              "<div class=\"field\"><del>Times 10</del> <ins>Helvetica &lt;b&gt;</ins></div>\n"
              "<div class=\"field\"><span class=\"name\">text:</span> a &amp; b</div>\n"
              "<div class=\"field\"><span class=\"name\">marked:</span> on A [1.5, 2, 3.25, 4]</div>\n"
              "</li>\n");
}

TEST(Junit, TextIsAlwaysXml) {
    EXPECT_EQ(junit::escape("a<b>&\"c\"'d'"), "a&lt;b&gt;&amp;&quot;c&quot;&apos;d&apos;");
    EXPECT_EQ(junit::escape("line\nnext\ttab"), "line\nnext\ttab");  // kept: XML holds them
    EXPECT_EQ(junit::escape("cr\r bell\x07 esc\x1b"), "cr\\x0d bell\\x07 esc\\x1b");
    EXPECT_EQ(junit::escape("\xEF\xBF\xBF \xEF\xBF\xBE \xEF\xBF\xBD"), "\\uffff \\ufffe \xEF\xBF\xBD");
    EXPECT_EQ(junit::escape("bad \xFF byte"), "bad \xEF\xBF\xBD byte");
    junit::Case failed{"a\"b.pdf", junit::Outcome::Failed, "different", "1 difference", "page 1: text changed\n"};
    junit::Case passed{"ok.pdf", junit::Outcome::Passed, "", "", ""};
    junit::Case error{"x.pdf", junit::Outcome::Error, "error", "cannot open file: x.pdf", ""};
    EXPECT_EQ(junit::document("suite <1>", "morvex.compare", {failed, passed, error}),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<testsuites name=\"morvex\" tests=\"3\" failures=\"1\" errors=\"1\" skipped=\"0\">\n"
              "<testsuite name=\"suite &lt;1&gt;\" tests=\"3\" failures=\"1\" errors=\"1\" skipped=\"0\">\n"
              "<testcase name=\"a&quot;b.pdf\" classname=\"morvex.compare\">\n"
              "<failure message=\"1 difference\" type=\"different\">page 1: text changed\n</failure>\n"
              "</testcase>\n"
              "<testcase name=\"ok.pdf\" classname=\"morvex.compare\"/>\n"
              "<testcase name=\"x.pdf\" classname=\"morvex.compare\">\n"
              "<error message=\"cannot open file: x.pdf\" type=\"error\"/>\n"
              "</testcase>\n"
              "</testsuite>\n</testsuites>\n");
}

// The pool runs every task once, in worker processes, and a worker that
// dies fails its own task only.
TEST(Workers, EveryTaskOnceAndDeathsStayLocal) {
    const pid_t parent = getpid();
    for (int processes : {1, 3}) {
        std::map<std::size_t, workers::Outcome> outcomes;
        std::set<std::string> worker_pids;
        workers::run(
            12, processes,
            [&](std::size_t task) {
                if (task == 4) raise(SIGKILL);
                if (task == 7) _exit(3);
                return std::to_string(task * task) + "@" + std::to_string(getpid());
            },
            [&](std::size_t task, workers::Outcome &&o) {
                EXPECT_EQ(outcomes.count(task), 0u);
                outcomes[task] = std::move(o);
            });
        ASSERT_EQ(outcomes.size(), 12u) << processes;
        for (auto &[task, o] : outcomes) {
            if (task == 4 || task == 7) {
                EXPECT_FALSE(o.ok);
                EXPECT_EQ(o.failure, task == 4 ? "worker died (signal 9)" : "worker died (exit status 3)");
                continue;
            }
            ASSERT_TRUE(o.ok) << task << " " << o.failure;
            const std::size_t at = o.result.find('@');
            EXPECT_EQ(o.result.substr(0, at), std::to_string(task * task));
            EXPECT_NE(o.result.substr(at + 1), std::to_string(parent));
            worker_pids.insert(o.result.substr(at + 1));
        }
        // Two deaths, each replaced by a new worker; with 3 the first tasks go to 3 workers.
        EXPECT_GE(worker_pids.size(), 3u);
    }
}

TEST(Workers, LargeResultsArriveWhole) {
    std::string got;
    workers::run(
        2, 2, [](std::size_t task) { return std::string(3 << 20, static_cast<char>('a' + task)); },
        [&](std::size_t task, workers::Outcome &&o) {
            ASSERT_TRUE(o.ok);
            EXPECT_EQ(o.result, std::string(3 << 20, static_cast<char>('a' + task)));
            got += static_cast<char>('0' + task);
        });
    EXPECT_EQ(got.size(), 2u);
}

}  // namespace
