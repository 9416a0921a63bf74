// Words as a reader reads them: a word hyphenated at a line end is one
// word, and the comparison folds ligatures and drops soft hyphens.
#include "compare/diff.h"
#include "page/page.h"
#include "page/text_runs.h"
#include "report/json.h"
#include "test_util.h"

using namespace morvex;

namespace {

struct W {
    std::string text;
    double x, y, w = 30, h = 11;
};

// Stores the words in order (each one may join the one before it) and
// returns the items and page text that result.
std::pair<std::vector<TextItem>, std::string> store(const std::vector<W> &words, bool may_join = true) {
    InterpState st;
    interp_init(&st);
    for (const W &w : words) {
        TextItem t;
        t.text = w.text;
        t.x = w.x;
        t.y = w.y;
        t.w = w.w;
        t.h = w.h;
        t.font_size = 10;
        interp_store_word(&st, std::move(t), may_join);
    }
    interp_finish_words(&st);
    auto out = std::make_pair(st.items, st.page_text);
    interp_free(&st);
    return out;
}

std::string texts(const std::vector<TextItem> &items) {
    std::string s;
    for (const TextItem &t : items) s += "[" + t.text + "]";
    return s;
}

const std::string kSoft = "\xC2\xAD";  // U+00AD

}  // namespace

TEST(Hyphenation, WordsJoinAcrossALineEnd) {
    struct Case {
        const char *what;
        std::vector<W> words;
        std::string items, page_text;
    } cases[] = {
        {"hard hyphen: joined, hyphen dropped", {{"docu-", 300, 700}, {"ment", 72, 686}, {"here", 110, 686}},
         "[document][here]", "document here "},
        {"soft hyphen: joined, kept as decoded", {{"co" + kSoft, 300, 700}, {"operate", 72, 686}},
         "[co" + kSoft + "operate]", "co" + kSoft + "operate "},
        {"U+2010 hyphen", {{"docu\xE2\x80\x90", 300, 700}, {"ment", 72, 686}}, "[document]", "document "},
        {"accented letters on both sides", {{"\xC3\xA9t\xC3\xA9-", 300, 700}, {"\xC3\xA9t\xC3\xA9", 72, 686}},
         "[\xC3\xA9t\xC3\xA9\xC3\xA9t\xC3\xA9]", "\xC3\xA9t\xC3\xA9\xC3\xA9t\xC3\xA9 "},
        {"same line: no join", {{"docu-", 72, 700}, {"ment", 110, 700}}, "[docu-][ment]", "docu- ment "},
        {"upper case after a hard hyphen", {{"Anti-", 300, 700}, {"Zionism", 72, 686}}, "[Anti-][Zionism]",
         "Anti- Zionism "},
        {"upper case after a soft hyphen joins", {{"Mac" + kSoft, 300, 700}, {"Donald", 72, 686}},
         "[Mac" + kSoft + "Donald]", "Mac" + kSoft + "Donald "},
        {"a digit before the hyphen", {{"1990-", 300, 700}, {"ties", 72, 686}}, "[1990-][ties]", "1990- ties "},
        {"a hyphen alone", {{"-", 300, 700}, {"ment", 72, 686}}, "[-][ment]", "- ment "},
        {"next word not a letter", {{"docu-", 300, 700}, {"(ment", 72, 686}}, "[docu-][(ment]", "docu- (ment "},
        {"next column (starts right of the end)", {{"docu-", 72, 700}, {"ment", 320, 686}}, "[docu-][ment]",
         "docu- ment "},
        {"line above (a column's top)", {{"docu-", 300, 100}, {"ment", 72, 700}}, "[docu-][ment]", "docu- ment "},
        {"far below", {{"docu-", 300, 700}, {"ment", 72, 600}}, "[docu-][ment]", "docu- ment "},
        {"last word of the page", {{"a", 72, 700}, {"docu-", 300, 700}}, "[a][docu-]", "a docu- "},
        {"a joined word is not held again", {{"a-", 300, 700}, {"b-", 72, 686}, {"c", 72, 672}}, "[ab-][c]",
         "ab- c "},
        {"two held in a row", {{"x-", 300, 700}, {"y-", 310, 700}, {"zed", 72, 686}}, "[x-][yzed]", "x- yzed "},
    };
    for (const Case &c : cases) {
        const auto [items, text] = store(c.words);
        EXPECT_EQ(texts(items), c.items) << c.what;
        EXPECT_EQ(text, c.page_text) << c.what;
    }
    // Without may_join (words of the standard fonts' byte reading) nothing
    // is held or joined.
    const auto [items, text] = store({{"docu-", 300, 700}, {"ment", 72, 686}}, false);
    EXPECT_EQ(texts(items), "[docu-][ment]");
    EXPECT_EQ(text, "docu- ment ");
}

TEST(Hyphenation, AJoinedWordKeepsBothBoxes) {
    const auto [items, text] = store({{"docu-", 300, 700, 40, 11}, {"ment", 72, 686, 35, 12}});
    ASSERT_EQ(items.size(), 1u);
    const TextItem &t = items[0];
    EXPECT_EQ(t.x, 300);
    EXPECT_EQ(t.y, 700);
    EXPECT_EQ(t.w, 40);
    EXPECT_EQ(t.x2, 72);
    EXPECT_EQ(t.y2, 686);
    EXPECT_EQ(t.w2, 35);
    EXPECT_EQ(t.h2, 12);
    // A changed hyphenated word is marked on both lines.
    PageSummary a, b;
    a.items = items;
    a.text = text;
    TextItem other;
    other.text = "paper";
    other.x = 300;
    other.y = 700;
    other.w = 30;
    other.h = 11;
    b.items = {other};
    b.text = "paper ";
    DiffList l;
    add_text_difference(&l, 1, a, b);
    ASSERT_EQ(l.entries.size(), 1u);
    ASSERT_EQ(l.entries[0].rects_a.size(), 2u);
    EXPECT_EQ(l.entries[0].rects_a[1].x, 72);
    ASSERT_EQ(l.entries[0].changes.size(), 1u);
    EXPECT_EQ(l.entries[0].changes[0].rects_a.size(), 2u);
    EXPECT_EQ(l.entries[0].changes[0].old_text, "document");
}

TEST(TextFolding, LigaturesAndSoftHyphens) {
    struct Case {
        std::string a, b;
        bool same;
    } cases[] = {
        {"\xEF\xAC\x81le", "file", true},                       // U+FB01
        {"\xEF\xAC\x80 \xEF\xAC\x82 \xEF\xAC\x83 \xEF\xAC\x84", "ff fl ffi ffl", true},
        {"\xEF\xAC\x85 \xEF\xAC\x86", "st st", true},           // long s + t, s + t
        {"co" + kSoft + "operate", "cooperate", true},
        {"\xEF\xAC\x81le", "\xEF\xAC\x82le", false},            // fi is not fl
        {"\xEF\xAC\x87", "", false},                             // U+FB07 is left alone
        {"\xEF\xAC", "", false},                                 // a cut sequence stays
        {"fi", "f i", false},
        {"file ", "file", false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(same_text(c.a, c.b), c.same) << c.a << " | " << c.b;
        EXPECT_EQ(same_text(c.b, c.a), c.same) << c.a << " | " << c.b;
    }
    EXPECT_EQ(fold_text("\xEF\xAC\x83x" + kSoft + "y\xEF\xAC"), "ffixy\xEF\xAC");
    EXPECT_FALSE(text_needs_fold("plain \xC3\xA9t\xC3\xA9"));
}

// Words match in their folded form; the reports keep the decoded text.
TEST(TextFolding, WordsMatchFolded) {
    auto page = [](const std::vector<std::string> &words) {
        PageSummary s;
        double x = 0;
        for (const std::string &w : words) {
            TextItem t;
            t.text = w;
            t.x = x;
            t.w = 20;
            t.h = 11;
            s.items.push_back(t);
            s.text += w + " ";
            x += 40;
        }
        return s;
    };
    const PageSummary a = page({"the", "\xEF\xAC\x81rst", "co" + kSoft + "operation"});
    const PageSummary b = page({"the", "first", "cooperation", "now"});
    DiffList l;
    add_text_difference(&l, 1, a, b);
    ASSERT_EQ(l.entries.size(), 1u);
    const DiffEntry &e = l.entries[0];
    EXPECT_EQ(e.text.value_or(""), "- " + a.text + "\n+ " + b.text);
    EXPECT_TRUE(e.rects_a.empty());
    ASSERT_EQ(e.rects_b.size(), 1u);
    EXPECT_EQ(e.rects_b[0].x, 120);
    ASSERT_EQ(e.changes.size(), 1u);
    EXPECT_EQ(std::string(e.changes[0].op), "insert");
    EXPECT_EQ(e.changes[0].new_text, "now");
}

// Pages whose texts differ only by a soft hyphen (byte 0xAD of a standard
// font reads as U+00AD) are no text difference; their content differs.
TEST(TextFolding, ComparedDocumentsReportContentNotText) {
    fixture::DocBuilder da, db;
    const int fa = da.font("Helvetica"), fb = db.font("Helvetica");
    da.page({.content = "BT /F1 12 Tf 72 712 Td (co\\255operate) Tj ET",
             .resources = fixture::resources({{"F1", fa}})});
    db.page({.content = "BT /F1 12 Tf 72 712 Td (cooperate) Tj ET", .resources = fixture::resources({{"F1", fb}})});
    PdfDocument a, b;
    ASSERT_TRUE(testutil::load(da.build(), &a));
    ASSERT_TRUE(testutil::load(db.build(), &b));
    DiffList l;
    compare_docs(a, b, &l);
    ASSERT_EQ(l.entries.size(), 1u);
    EXPECT_EQ(std::string(l.entries[0].type), "content_changed");
}

// On a page: words read through a font object (here a standard font with an
// /Encoding) join across a hyphenated line end; the standard fonts' byte
// reading keeps the two words.
TEST(Hyphenation, OnAPage) {
    struct Case {
        const char *what, *font;
        std::string text;
    } cases[] = {
        {"font object", "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /MacRomanEncoding >>",
         "A document here "},
        {"byte reading", "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", "A docu- ment here "},
    };
    for (const Case &c : cases) {
        fixture::DocBuilder b;
        const int f = b.object(c.font);
        b.page({.content = "BT /F1 10 Tf 72 700 Td (A docu-) Tj 0 -12 Td (ment here) Tj ET",
                .resources = fixture::resources({{"F1", f}})});
        PdfDocument d;
        ASSERT_TRUE(testutil::load(b.build(), &d));
        PageSummary ps;
        analyze_page(d, 0, &ps);
        EXPECT_EQ(ps.text, c.text) << c.what;
        page_analysis_free(&ps);
    }
}
