// Every lawful spelling of a document reads as its plain spelling:
// comments wherever white space may stand, names with #xx escapes, empty
// and short streams whatever the line end before "endstream", and
// dictionaries with stray tokens where keys should be.
#include <functional>

#include "compare/diff.h"
#include "page/page.h"
#include "syntax.h"
#include "test_util.h"

using namespace morvex;

namespace {

// How one spelling differs from the plain one: the writer's bytes around
// keywords, and a rewrite of each object's text.
struct Spelling {
    const char *what;
    std::string after_obj = "\n", before_endobj = "\n", before_stream = "\n", after_trailer = "\n";
    std::string empty_eol = "\n";  // before "endstream" of the empty content stream
    std::function<std::string(std::string)> text = [](std::string s) { return s; };
    bool in_objstm = false;  // the page object kept in an object stream
};

std::string replace_all(std::string s, const std::string &from, const std::string &to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

// A page that shows two words with /F1, followed by an empty content stream.
std::string page_doc(const Spelling &sp, const std::string &page_extra = "", const std::string &font_key = "/F1",
                     const std::string &content_font = "/F1") {
    fixture::PdfWriter w;
    w.after_obj = sp.after_obj;
    w.before_endobj = sp.before_endobj;
    w.before_stream = sp.before_stream;
    w.after_trailer = sp.after_trailer;
    const auto t = sp.text;
    w.add(1, t("<< /Type /Catalog /Pages 2 0 R >>"));
    w.add(2, t("<< /Type /Pages /Kids [3 0 R] /Count 1 >>"));
    const std::string page = t("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] " + page_extra +
                               "/Resources << /Font << " + font_key + " 5 0 R >> >> /Contents [4 0 R 6 0 R] >>");
    if (sp.in_objstm)
        w.add_in_objstm(7, 3, page);
    else
        w.add(3, page);
    w.add_stream(4, "", "BT " + content_font + " 12 Tf 72 712 Td (Hello there) Tj ET");
    w.add(5, t("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
    w.before_endstream = sp.empty_eol;
    w.add_stream(6, "", "");
    return w.build();
}

struct Read {
    int pages = 0;
    std::string text;
    uint64_t hash = 0;
};

Read read(const std::string &pdf, PdfDocument *d) {
    Read r;
    if (!testutil::load(pdf, d)) return r;
    r.pages = d->page_count();
    for (int i = 0; i < r.pages; ++i) {
        PageSummary ps;
        analyze_page(*d, i, &ps);
        r.text += ps.text + "|";
        r.hash ^= ps.content_hash + static_cast<uint64_t>(i);
        page_analysis_free(&ps);
    }
    return r;
}

// The spelling reads as the plain document: same pages, same words, and
// unless the content stream itself is spelled otherwise (which the plain
// comparison reports as content_changed), same content and nothing found.
void expect_alike(const std::string &plain, const std::string &variant, const char *what, bool same_content = true) {
    PdfDocument a, b;
    const Read ra = read(plain, &a), rb = read(variant, &b);
    ASSERT_EQ(ra.pages, 1) << what;
    EXPECT_EQ(rb.pages, ra.pages) << what;
    EXPECT_EQ(rb.text, ra.text) << what;
    if (!same_content) return;
    EXPECT_EQ(rb.hash, ra.hash) << what;
    DiffList l;
    compare_docs(a, b, &l);
    EXPECT_TRUE(l.entries.empty()) << what << ": " << (l.entries.empty() ? "" : l.entries[0].type);
}

std::string escape_names(std::string s) {
    s = replace_all(s, "/Type", "/T#79pe");
    s = replace_all(s, "/Pages ", "/P#61ges ");
    s = replace_all(s, "/Page ", "/P#61g#65 ");
    s = replace_all(s, "/Kids", "/#4bids");
    s = replace_all(s, "/Contents", "/Cont#65nts");
    s = replace_all(s, "/Resources", "/R#65sources");
    s = replace_all(s, "/Font ", "/F#6Fnt ");
    s = replace_all(s, "/Helvetica", "/Helv#65tica");
    return s;
}

}  // namespace

TEST(SyntaxForms, LawfulSpellingsReadAsThePlainDocument) {
    const std::string plain = page_doc(Spelling{"plain"});
    PdfDocument d;
    ASSERT_NE(read(plain, &d).text.find("Hello"), std::string::npos);
    const Spelling cases[] = {
        {.what = "comment after the object header", .after_obj = "  % page content\n"},
        {.what = "comments holding >>, endobj and stream after the header",
         .after_obj = " % >> endobj\n% stream\n\n"},
        {.what = "comment before endobj", .before_endobj = "\n% endobj >> stream\n"},
        {.what = "comment before stream", .before_stream = " % >> stream endobj\n"},
        {.what = "comment after trailer", .after_trailer = " % >> trailer\n"},
        {.what = "comments inside dictionaries and arrays",
         .text = [](std::string s) {
             s = replace_all(s, "<< ", "<< % >> endobj\n");
             return replace_all(s, "[", "[ % ] >>\n");
         }},
        {.what = "names with #xx escapes", .text = escape_names},
        {.what = "escaped names and comments in an object stream",
         .text = [](std::string s) { return replace_all(escape_names(s), "<< ", "<< % >>\n"); },
         .in_objstm = true},
        {.what = "extra white space", .after_obj = "\r\n\t\f ", .before_endobj = "\r\r", .before_stream = " \t\r\n",
         .text = [](std::string s) { return replace_all(s, " ", "\r\n \t"); }},
        {.what = "empty stream ended by CR", .empty_eol = "\r"},
        {.what = "empty stream ended by CR LF", .empty_eol = "\r\n"},
    };
    for (const Spelling &sp : cases) expect_alike(plain, page_doc(sp), sp.what);
}

// Resource names: the spelling in the content stream and the one in the
// resources decode to the same bytes, escapes of delimiters and of '#'
// itself included.
TEST(SyntaxForms, EscapedResourceNamesFindTheirFont) {
    const std::string plain = page_doc(Spelling{"plain"});
    const struct {
        const char *key, *use;
    } cases[] = {
        {"/F#31", "/F1"},
        {"/F1", "/F#31"},
        {"/F#231", "/F#23#31"},     // the name "F#1"
        {"/F#28x#29", "/F#28#78#29"},  // "F(x)"
        {"/A#20B#2fC", "/A#20#42#2FC"},  // "A B/C"
        {"/#c3#a9", "/\xc3\xa9"},  // bytes beyond ASCII, escaped or not
    };
    for (const auto &c : cases)
        expect_alike(plain, page_doc(Spelling{"names"}, "", c.key, c.use), c.key, std::string(c.use) == "/F1");
}

// A token where a key should stand is stepped over; the rest of the
// dictionary is still read.  The page's own /Contents is the one read, not
// that of an annotation written inside the page dictionary.
TEST(DamagedDictionaries, StrayTokensAreSkipped) {
    const std::string plain = page_doc(Spelling{"plain"});
    const char *extras[] = {
        "0 (stray) true ",
        "/Annots [<< /Type /Annot /Subtype /Text /Contents (a note) /Rect [0 0 10 10] >>] ",
        "/Annots [<< /Type /Annot /Subtype /Link /Rect [0 0 1 1] 0 0 1 /Border [0 0 0] bogus >>] ",
        "/Annots [<< /Subtype /Link 12 [1 2] /H /I /C [1 0 0] <00> >>] [stray] ",
    };
    for (const char *extra : extras) expect_alike(plain, page_doc(Spelling{"damaged"}, extra), extra);
}

TEST(SyntaxForms, CanonicalNames) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"Type", "Type"},       {"T#79pe", "Type"},   {"T#79#70e", "Type"},  {"A#20B", "A#20B"},
        {"A#2fB", "A#2FB"},     {"A#23", "A#23"},     {"A#2", "A#232"},     {"A#g0", "A#23g0"},
        {"#00", "#00"},         {"\xe9", "\xe9"},     {"#E9", "\xe9"},        {"#28#29#3c", "#28#29#3C"},
    };
    for (const auto &c : cases) {
        std::string out(3 * c.in.size(), '\0');
        const int32_t n = canonical_name(testutil::bytes(c.in), testutil::len(c.in),
                                         reinterpret_cast<u8 *>(out.data()));
        EXPECT_EQ(out.substr(0, static_cast<size_t>(n)), c.out) << c.in;
    }
}

// The cleaner keeps every offset, leaves plain text and strings alone, and
// a second pass changes nothing.
TEST(SyntaxForms, CleanerKeepsOffsetsAndPlainText) {
    const struct {
        std::string in, out;
        bool changed;
    } cases[] = {
        {"<< /Type /Page /A (100% #79) /B <41> >>", "<< /Type /Page /A (100% #79) /B <41> >>", false},
        {"<< /T#79pe /P#61ge >>", "<< /Type   /Page   >>", true},
        {"<< %c >>\r/A 1 >>", "<<      \r/A 1 >>", true},
        {"[ /A#2 % ]\n]", "[ /A#2    \n]", true},  // "#2" cannot grow to "#232": left
        {"<< /K [ << /N#61me (x) >> ] >>", "<< /K [ << /Name   (x) >> ] >>", true},
    };
    for (const auto &c : cases) {
        std::string s = c.in;
        SyntaxCleaner clean(reinterpret_cast<u8 *>(s.data()));
        EXPECT_EQ(clean.value(testutil::len(s), 0), testutil::len(s)) << c.in;
        EXPECT_EQ(s, c.out) << c.in;
        EXPECT_EQ(clean.changed(), c.changed) << c.in;
        SyntaxCleaner again(reinterpret_cast<u8 *>(s.data()));
        again.value(testutil::len(s), 0);
        EXPECT_FALSE(again.changed()) << c.in;
    }
    std::string open = "<< /A (unclosed >>";
    EXPECT_EQ(SyntaxCleaner(reinterpret_cast<u8 *>(open.data())).value(testutil::len(open), 0), -1);
}
