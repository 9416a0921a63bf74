// Lines made only of single characters (display math, letter-spaced
// capitals, rules of dots, a label with its index) are read by comparing
// their gaps with each other; every other line keeps the gap rules of the
// word builder.
#include "page/page.h"
#include "test_util.h"

using namespace morvex;
using testutil::load;

namespace {

// A TeX-like Type1 font: every code named, widths of 500 (5 at size 10).
std::string even_font() {
    std::string widths;
    for (int i = 0; i < 128; ++i) widths += "500 ";
    return "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+CMR10 /FirstChar 0 /LastChar 127 /Widths [" + widths +
           "] /Encoding << >> >>";
}

PageSummary read_page(const std::string &font, const std::string &content) {
    PdfDocument d;
    EXPECT_TRUE(load(testutil::font_page({}, font, content), &d));
    PageSummary ps;
    analyze_page(d, 0, &ps);
    return ps;
}

std::string joined(const PageSummary &ps) {
    std::string s;
    for (const TextItem &t : ps.items) s += (s.empty() ? "" : "|") + t.text;
    return s;
}

}  // namespace

TEST(LineWords, EvenGapsOnALineOfSingleCharacters) {
    struct Case {
        const char *what;
        std::string content, words;
    } cases[] = {
        // Glyphs 5 wide at size 10: the builder alone breaks at gaps over 1,
        // alike gaps join up to 4 (0.4 em).
        {"display math", "BT /F1 10 Tf 100 700 Td [(a) -250 (=) -250 (b) -220 (+) -220 (c)] TJ ET", "a=b+c"},
        {"letter-spaced capitals", "BT /F1 10 Tf 100 700 Td [(A) -150 (B) -150 (C) -150 (D)] TJ ET", "ABCD"},
        {"a rule of dots", "BT /F1 10 Tf 100 700 Td [(.) -200 (.) -200 (.) -200 (.)] TJ ET", "...."},
        {"a label and its lowered index", "BT /F1 10 Tf 100 700 Td (R) Tj /F1 7 Tf -2 Ts [-100 (1)] TJ ET", "R1"},
        {"one gap much wider than the narrowest",
         "BT /F1 10 Tf 100 700 Td [(a) -150 (b) -150 (c) -300 (d)] TJ ET", "abc|d"},
        {"gaps of 0.5 em are word spaces however even",
         "BT /F1 10 Tf 100 700 Td [(a) -500 (=) -500 (b)] TJ ET", "a|=|b"},
        {"single digits in table columns with a narrow gutter",
         "BT /F1 10 Tf 100 700 Td [(1) -600 (2) -600 (3)] TJ 0 -12 Td [(4) -600 (5) -600 (6)] TJ ET",
         "1|2|3|4|5|6"},
        {"a space character keeps two characters apart",
         "BT /F1 10 Tf -3 Tw 100 700 Td [(a) -250 (=) -250 (b)] TJ ( ) Tj [-10 (c)] TJ ET", "a=b|c"},
        {"shown spaces between all of them", "BT /F1 10 Tf -3 Tw 100 700 Td (a b c) Tj ET", "a|b|c"},
        {"a longer word on the line keeps the word gaps",
         "BT /F1 10 Tf 100 700 Td [(x) -250 (=) -250 (y) -250 (holds)] TJ ET", "x|=|y|holds"},
        {"a longer word before the dots keeps them apart (an index entry)",
         "BT /F1 10 Tf 100 700 Td [(entry) -500 (.) -200 (.) -200 (.)] TJ ET", "entry|.|.|."},
        {"an equation number a quad and more away is a line of its own",
         "BT /F1 10 Tf 100 700 Td [(a) -250 (=) -250 (b)] TJ 40 0 Td ((1)) Tj ET", "a=b|(1)"},
        {"text after a wide gap does not stop a label joining",
         "BT /F1 10 Tf 100 700 Td [(\\247) -300 (1) -1300 (Intro)] TJ ET", "\xC2\xA7" "1|Intro"},
        {"each line by itself", "BT /F1 10 Tf 100 700 Td [(a) -250 (b)] TJ 0 -12 Td [(c) -250 (d)] TJ ET", "ab|cd"},
        {"a second line of text does not spoil the first",
         "BT /F1 10 Tf 100 700 Td [(a) -250 (b)] TJ 0 -12 Td [(cd) -250 (e)] TJ ET", "ab|cd|e"},
        {"a column to the right starts a new line",
         "BT /F1 10 Tf 100 700 Td [(a) -250 (b)] TJ 200 0 Td [(cd) -250 (e)] TJ ET", "ab|cd|e"},
    };
    for (const Case &c : cases) {
        const PageSummary ps = read_page(even_font(), c.content);
        EXPECT_EQ(joined(ps), c.words) << c.what;
    }
}

TEST(LineWords, AJoinedWordCoversItsGlyphsAndReadsInThePageText) {
    const PageSummary ps =
        read_page(even_font(), "BT /F1 10 Tf 100 700 Td [(a) -250 (=) -250 (b)] TJ 0 -14 Td (next) Tj ET");
    ASSERT_EQ(joined(ps), "a=b|next");
    const TextItem &t = ps.items[0];
    EXPECT_NEAR(t.x, 100, 1e-9);
    EXPECT_NEAR(t.w, 3 * 5 + 2 * 2.5, 1e-9);
    EXPECT_NEAR(t.y, 698, 1e-9);
    EXPECT_NEAR(t.h, 11, 1e-9);
    EXPECT_EQ(ps.text, "a=b next ");
}

TEST(LineWords, StandardFontsWithoutWidthsKeepTheirWords) {
    // The byte reading of a standard font knows no line: its words stay.
    const PageSummary ps = read_page("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                                     "BT /F1 10 Tf 100 700 Td [(a) -250 (=) -250 (b)] TJ ET");
    EXPECT_EQ(joined(ps), "a|=|b");
    EXPECT_EQ(ps.text, "a = b ");
}

TEST(LineWords, RightToLeftWordsReadInWritingOrder) {
    // Codes 1-6 map to Hebrew letters, a point, a digit and a Latin letter;
    // the glyphs are drawn left to right, as the eye meets them.
    const std::string cmap =
        "/CIDInit /ProcSet findresource begin 12 dict begin begincmap 1 begincodespacerange <00> <FF> "
        "endcodespacerange 7 beginbfchar <01> <05D0> <02> <05D1> <03> <05D2> <04> <05B8> <05> <0031> "
        "<06> <0032> <07> <0061> endbfchar endcmap end end";
    std::string widths;
    for (int i = 0; i < 8; ++i) widths += "500 ";
    const std::string font = "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+Hebrew /FirstChar 0 /LastChar 7 "
                             "/Widths [" + widths + "] /ToUnicode 3 0 R >>";
    struct Case {
        const char *what, *shown, *words;
    } cases[] = {
        {"letters turn round", "<030201>", "\u05D0\u05D1\u05D2"},
        {"a point stays after its letter", "<03020401>", "\u05D0\u05D1\u05B8\u05D2"},
        {"a number keeps its own order", "<0305060201>", "\u05D0\u05D112\u05D2"},
        {"a word with a Latin letter is left as drawn", "<030207>", "\u05D2\u05D1a"},
        {"digits alone are left as drawn", "<0506>", "12"},
    };
    for (const Case &c : cases) {
        PdfDocument d;
        ASSERT_TRUE(load(testutil::font_page({"stream:<< >>|" + cmap}, font,
                                             std::string("BT /F1 10 Tf 100 700 Td ") + c.shown + " Tj ET"),
                         &d));
        PageSummary ps;
        analyze_page(d, 0, &ps);
        EXPECT_EQ(joined(ps), c.words) << c.what;
        EXPECT_EQ(ps.text, std::string(c.words) + " ") << c.what;
    }
}
