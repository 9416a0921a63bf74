// The font layer: CMaps, glyph names, encodings and widths, and the words
// that pages shown through real fonts give.
#include <cmath>

#include "font/cmap.h"
#include "font/font.h"
#include "font/glyph_list.h"
#include "page/page.h"
#include "test_util.h"

using namespace morvex;
using fixture::DocBuilder;
using testutil::load;

namespace {

CMap parse_cmap(const std::string &text) {
    CMap m;
    m.parse(reinterpret_cast<const uint8_t *>(text.data()), text.size());
    return m;
}

// The UTF-8 a CMap gives for the code whose bytes are `code`, or "<none>".
std::string lookup(const CMap &m, const std::string &code) {
    uint32_t v = 0;
    for (unsigned char c : code) v = v << 8 | c;
    std::string out;
    if (!m.to_unicode(v, static_cast<int>(code.size()), &out)) return "<none>";
    return out;
}

std::string cmap_text(const std::string &body) {
    return "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
           "/CMapName /Test def\n" + body + "\nendcmap CMapName currentdict /CMap defineresource pop end end";
}

}  // namespace

TEST(CMaps, MapCodesToText) {
    const std::string two = "1 begincodespacerange <0000> <FFFF> endcodespacerange\n";
    struct Case {
        const char *what;
        std::string body;
        std::string code;
        std::string text;
    } cases[] = {
        {"bfchar", two + "2 beginbfchar <0003> <0041> <0004> <00E9> endbfchar", std::string("\0\x04", 2), "\xC3\xA9"},
        {"bfrange, incrementing", two + "1 beginbfrange <0010> <0020> <0061> endbfrange", std::string("\0\x12", 2), "c"},
        {"bfrange, incrementing past a byte", two + "1 beginbfrange <00FE> <0102> <0041> endbfrange",
         std::string("\x01\x01", 2), "D"},
        {"bfrange, array form", two + "1 beginbfrange <0005> <0007> [<0078> <00660069> <0079>] endbfrange",
         std::string("\0\x06", 2), "fi"},
        {"bfrange array beyond its range is cut", two + "1 beginbfrange <0005> <0005> [<0078> <0079>] endbfrange",
         std::string("\0\x06", 2), "<none>"},
        {"surrogate pair", two + "1 beginbfchar <0001> <D83DDE00> endbfchar", std::string("\0\x01", 2),
         "\xF0\x9F\x98\x80"},
        {"ligature to several characters", two + "1 beginbfchar <0002> <006600660069> endbfchar",
         std::string("\0\x02", 2), "ffi"},
        {"one-byte codes", "1 begincodespacerange <00> <FF> endcodespacerange 1 beginbfchar <41> <0042> endbfchar",
         "A", "B"},
        {"a glyph name as the value", two + "1 beginbfchar <0009> /fi endbfchar", std::string("\0\x09", 2),
         "\xEF\xAC\x81"},
        {"the later of two overlapping ranges wins",
         two + "1 beginbfrange <0000> <00FF> <0041> endbfrange 1 beginbfchar <0000> <005A> endbfchar",
         std::string("\0\0", 2), "Z"},
        {"unmapped code", two + "1 beginbfchar <0001> <0041> endbfchar", std::string("\0\x02", 2), "<none>"},
        {"a broken line skips the rest of its section only",
         two + "2 beginbfchar <0001> junk <0002> <0042> endbfchar 1 beginbfchar <0003> <0043> endbfchar",
         std::string("\0\x03", 2), "C"},
        {"odd hex digits: the last one is a high half", two + "1 beginbfchar <0001> <004> endbfchar",
         std::string("\0\x01", 2), "@"},
        {"a range whose end lies before its start maps nothing",
         two + "1 beginbfrange <0010> <0001> <0041> endbfrange", std::string("\0\x05", 2), "<none>"},
        {"truncated in the middle", two + "1 beginbfrange <0010> <0020> <0061", std::string("\0\x10", 2), "a"},
    };
    for (const Case &c : cases) {
        const CMap m = parse_cmap(cmap_text(c.body));
        EXPECT_EQ(lookup(m, c.code), c.text) << c.what;
    }
}

TEST(CMaps, CodespaceRangesDecideCodeLengths) {
    struct Case {
        const char *what;
        std::string body;
        std::string shown;
        std::vector<int> lengths;
    } cases[] = {
        {"mixed one- and two-byte codes (Shift-JIS style)",
         "2 begincodespacerange <00> <80> <8140> <9FFC> endcodespacerange", "A\x81\x40" "B\x90", {1, 2, 1, 1}},
        {"four-byte codes", "1 begincodespacerange <00000000> <FFFFFFFF> endcodespacerange", "abcdefg", {4, 3}},
        {"no codespace: the length of the mapped codes", "1 beginbfchar <0041> <0041> endbfchar", "abc", {2, 1}},
        {"bytes outside every range take the shortest length",
         "2 begincodespacerange <20> <7E> <A1A1> <FEFE> endcodespacerange", "\x01\xA1\xA1", {1, 2}},
    };
    for (const Case &c : cases) {
        const CMap m = parse_cmap(cmap_text(c.body));
        std::vector<int> got;
        const auto *s = reinterpret_cast<const uint8_t *>(c.shown.data());
        for (size_t i = 0; i < c.shown.size();) {
            const int n = m.code_length(s + i, c.shown.size() - i);
            got.push_back(n);
            i += static_cast<size_t>(n);
        }
        EXPECT_EQ(got, c.lengths) << c.what;
    }
}

TEST(CMaps, CidMapsAndPredefinedNames) {
    uint32_t cid = 0;
    const CMap embedded = parse_cmap(cmap_text(
        "/Identity-H usecmap 1 begincidrange <0100> <01FF> 5000 endcidrange 1 begincidchar <0007> 42 endcidchar"));
    EXPECT_TRUE(embedded.to_cid(0x0150, 2, &cid));
    EXPECT_EQ(cid, 5000u + 0x50);
    EXPECT_TRUE(embedded.to_cid(0x0007, 2, &cid));
    EXPECT_EQ(cid, 42u);
    EXPECT_TRUE(embedded.to_cid(0x2345, 2, &cid));  // from the identity map it uses
    EXPECT_EQ(cid, 0x2345u);
    EXPECT_EQ(embedded.used_name(), "Identity-H");

    CMap vertical;
    EXPECT_TRUE(vertical.set_predefined("Identity-V"));
    EXPECT_TRUE(vertical.vertical());

    CMap uni;
    ASSERT_TRUE(uni.set_predefined("UniJIS-UTF16-H"));
    const std::string shown("\x30\x42\xD8\x3D\xDE\x00", 6);
    const auto *s = reinterpret_cast<const uint8_t *>(shown.data());
    EXPECT_EQ(uni.code_length(s, 6), 2);
    EXPECT_EQ(uni.code_length(s + 2, 4), 4);
    EXPECT_EQ(lookup(uni, shown.substr(0, 2)), "\xE3\x81\x82");
    EXPECT_EQ(lookup(uni, shown.substr(2)), "\xF0\x9F\x98\x80");
    CMap ucs2;
    EXPECT_TRUE(ucs2.set_predefined("UniGB-UCS2-H"));
    EXPECT_EQ(lookup(ucs2, "\x4E\x2D"), "\xE4\xB8\xAD");

    CMap other;
    EXPECT_FALSE(other.set_predefined("90ms-RKSJ-H"));
}

TEST(GlyphNames, ListAndAlgorithm) {
    struct Case {
        const char *name;
        bool ok;
        std::string text;
    } cases[] = {
        {"A", true, "A"},
        {"fi", true, "\xEF\xAC\x81"},
        {"ffl", true, "\xEF\xAC\x84"},
        {"endash", true, "\xE2\x80\x93"},
        {"emdash", true, "\xE2\x80\x94"},
        {"quoteright", true, "\xE2\x80\x99"},
        {"dotlessi", true, "\xC4\xB1"},
        {"dotlessj", true, "\xC8\xB7"},
        {"copyright", true, "\xC2\xA9"},
        {"uni0041", true, "A"},
        {"uni00410042", true, "AB"},
        {"uni004", false, ""},
        {"uni004g", false, ""},
        {"unid800", false, ""},  // lower-case digits are not admitted
        {"uniD800", false, ""},  // a surrogate is no character
        {"u1F600", true, "\xF0\x9F\x98\x80"},
        {"u110000", false, ""},
        {"a.sc", true, "a"},
        {"f_f_i", true, "ffi"},
        {"f_uni0069.alt", true, "fi"},
        {"compwordmark", true, ""},
        {"g123", false, ""},
        {"", false, ""},
        {"a9", false, ""},  // a ZapfDingbats name: a dingbat in dingbat fonts only
    };
    for (const Case &c : cases) {
        std::string out = "x";
        EXPECT_EQ(glyph_name_to_utf8(c.name, &out), c.ok) << c.name;
        EXPECT_EQ(out, "x" + c.text) << c.name;
    }
}

TEST(GlyphNames, BuiltInEncodings) {
    EXPECT_EQ(kStandardEncoding[0x27], 0x2019);
    EXPECT_EQ(kStandardEncoding[0xAE], 0xFB01);
    EXPECT_EQ(kWinAnsiEncoding[0x93], 0x201C);
    EXPECT_EQ(kMacRomanEncoding[0x8E], 0x00E9);
    EXPECT_EQ(kPdfDocEncoding[0x93], 0xFB01);
    EXPECT_EQ(kSymbolEncoding[0x61], 0x03B1);
    EXPECT_EQ(kZapfDingbatsEncoding[0x21], 0x2701);
    EXPECT_EQ(kMacExpertEncoding[0x56], 0xFB00);
    EXPECT_EQ(encoding_by_name("MacRomanEncoding"), kMacRomanEncoding);
    EXPECT_EQ(encoding_by_name("Bogus"), nullptr);
}

namespace {

struct Word {
    std::string text;
    double x, w;
};

// The words of a one-page document whose F1 is the font dictionary `font`
// (objects in `extra` come first, numbered from 3 in the order given).
std::vector<Word> words_of(const std::vector<std::string> &extra, const std::string &font,
                           const std::string &content, std::string *page_text = nullptr) {
    PdfDocument d;
    EXPECT_TRUE(load(testutil::font_page(extra, font, content), &d));
    PageSummary ps;
    analyze_page(d, 0, &ps);
    std::vector<Word> out;
    for (const TextItem &it : ps.items) out.push_back({it.text, it.x, it.w});
    if (page_text) *page_text = ps.text;
    return out;
}

std::string joined(const std::vector<Word> &ws) {
    std::string s;
    for (const Word &w : ws) s += (s.empty() ? "" : "|") + w.text;
    return s;
}

// A TeX-like Type1 font: every code named, widths of 500.
std::string tex_font(const std::string &encoding) {
    std::string widths;
    for (int i = 0; i < 128; ++i) widths += "500 ";
    return "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+CMR10 /FirstChar 0 /LastChar 127 /Widths [" +
           widths + "] /Encoding " + encoding + " >>";
}

const std::string kToUnicode =
    "stream:|/CIDInit /ProcSet findresource begin begincmap 1 begincodespacerange <0000> <FFFF> "
    "endcodespacerange 3 beginbfchar <0001> <0048> <0002> <0069> <0003> <FB01> endbfchar "
    "1 beginbfrange <0010> <0012> <00610062> endbfrange endcmap end";

}  // namespace

TEST(FontWords, EncodingsAndToUnicode) {
    struct Case {
        const char *what;
        std::vector<std::string> extra;
        std::string font, content, words;
    } cases[] = {
        {"Differences over Standard: TeX's ligature and dash codes", {},
         tex_font("<< /Type /Encoding /Differences [12 /fi 123 /endash 39 /quoteright] >>"),
         "BT /F1 10 Tf 10 700 Td (modi\\014ed 1999{2022 don't) Tj ET",
         "modi\xEF\xAC\x81" "ed|1999\xE2\x80\x93" "2022|don\xE2\x80\x99t"},
        {"BaseEncoding MacRoman with Differences", {},
         tex_font("<< /BaseEncoding /MacRomanEncoding /Differences [65 /B] >>"),
         "BT /F1 10 Tf 10 700 Td (A\\216) Tj ET", "B\xC3\xA9"},
        {"encoding by name", {}, tex_font("/WinAnsiEncoding"), "BT /F1 10 Tf 10 700 Td (\\223q\\224) Tj ET",
         "\xE2\x80\x9Cq\xE2\x80\x9D"},
        {"ToUnicode over the encoding, the encoding for the rest", {kToUnicode},
         "<< /Type /Font /Subtype /TrueType /BaseFont /X /FirstChar 0 /Widths [500 500 500 500] "
         "/Encoding /WinAnsiEncoding /ToUnicode 3 0 R >>",
         "BT /F1 10 Tf 10 700 Td (\\001\\002\\003x) Tj ET", "Hi\xEF\xAC\x81x"},
        {"a line end inside a string that no encoding names is no space", {kToUnicode},
         "<< /Type /Font /Subtype /TrueType /BaseFont /X /FirstChar 32 /Widths [250] "
         "/Encoding /WinAnsiEncoding /ToUnicode 3 0 R >>",
         "BT /F1 10 Tf 10 700 Td (ab\\015cd\\012\\011e) Tj ET", "abcde"},
        {"Type0, Identity-H, two-byte codes through ToUnicode", {kToUnicode},
         "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /ToUnicode 3 0 R "
         "/DescendantFonts [<< /Type /Font /Subtype /CIDFontType2 /DW 500 >>] >>",
         "BT /F1 10 Tf 10 700 Td <000100020010001100120000> Tj ET", "Hiabacad\\u0000\\u0000"},
        {"Type0 with a Unicode CMap by name", {},
         "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /UniGB-UCS2-H "
         "/DescendantFonts [<< /Subtype /CIDFontType0 >>] >>",
         "BT /F1 10 Tf 10 700 Td <4E2D6587> Tj ET", "\xE4\xB8\xAD\xE6\x96\x87"},
        {"an embedded Type1 program's own encoding when the font names none",
         {"stream:/Length1 120|%!PS-AdobeFont-1.0: CMR10\n/Encoding 256 array\n0 1 255 {1 index exch /.notdef put} for\n"
          "dup 12 /fi put\ndup 123 /endash put\nreadonly def\ncurrentfile eexec\ndup 65 /B put"},
         "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+CMR10 /FirstChar 0 /Widths [500] "
         "/FontDescriptor << /Flags 4 /FontFile 3 0 R >> >>",
         "BT /F1 10 Tf 10 700 Td (\014le{A) Tj ET", "\xEF\xAC\x81le\xE2\x80\x93" "A"},
        {"Symbol font without an encoding", {},
         "<< /Type /Font /Subtype /Type1 /BaseFont /Symbol /FirstChar 97 /Widths [600] >>",
         "BT /F1 10 Tf 10 700 Td (a) Tj ET", "\xCE\xB1"},
    };
    for (const Case &c : cases) {
        std::vector<Word> ws = words_of(c.extra, c.font, c.content);
        std::string got = joined(ws);
        // Make a NUL visible.
        std::string shown;
        for (char ch : got) shown += ch == 0 ? std::string("\\u0000") : std::string(1, ch);
        EXPECT_EQ(shown, c.words) << c.what;
    }
}

// A bare CFF program (what /FontFile3 /Type1C holds) with four glyphs named
// fi, uni2192 (a string of its own), bullet and, through a supplement,
// endash at codes 12, 33, 15 and 65.
const std::string kCff(
    "\001\000\004\001\000\001\001\001\002\101\000\001\001\001\023\035\000\000\000\071\017\035\000\000"
    "\000\100\020\035\000\000\000\055\021\000\001\001\001\010\165\156\151\062\061\071\062\000\004\001"
    "\001\002\003\004\005\016\016\016\016\000\000\155\001\207\000\164\200\003\014\041\017\001\101\000"
    "\157",
    73);

TEST(FontWords, CffProgramsOwnEncoding) {
    struct Case {
        const char *what;
        std::string program, encoding, words;
    } cases[] = {
        {"no /Encoding: the program's codes", kCff, "", "\xEF\xAC\x81le|\xE2\x86\x92|\xE2\x80\xA2|\xE2\x80\x93|B"},
        {"/Differences without a base apply over the program's encoding", kCff,
         "/Encoding << /Differences [65 /Z] >>", "\xEF\xAC\x81le|\xE2\x86\x92|\xE2\x80\xA2|Z|B"},
        // Unmapped, code 12 reads as its byte: a form feed, white space.
        {"a named base encoding wins over the program's", kCff, "/Encoding /WinAnsiEncoding",
         "le|!|\x0F|A|B"},
        {"a truncated program keeps the Standard reading", kCff.substr(0, 60), "", "le|!|\x0F|A|B"},
        {"not a CFF program", "%!PS-AdobeFont", "", "le|!|\x0F|A|B"},
    };
    for (const Case &c : cases) {
        std::vector<Word> ws = words_of({"stream:/Subtype /Type1C|" + c.program},
                                        "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+CMSY10 /FirstChar 0 "
                                        "/LastChar 0 /Widths [500] " + c.encoding +
                                            " /FontDescriptor << /Flags 4 /FontFile3 3 0 R >> >>",
                                        "BT /F1 10 Tf 10 700 Td (\014le) Tj 20 0 Td (!) Tj 20 0 Td (\017) Tj "
                                        "20 0 Td (A) Tj 20 0 Td (B) Tj ET");
        EXPECT_EQ(joined(ws), c.words) << c.what;
    }
}

TEST(FontWords, WidthsAndTextParameters) {
    struct Case {
        const char *what;
        std::string font, content;
        std::vector<std::array<double, 2>> boxes;  // x, w per word
    } cases[] = {
        {"Widths from FirstChar, MissingWidth for the rest",
         "<< /Type /Font /Subtype /Type1 /BaseFont /X /FirstChar 65 /Widths [100 200] /Encoding /WinAnsiEncoding "
         "/FontDescriptor << /MissingWidth 300 >> >>",
         "BT /F1 10 Tf 0 0 Td (ABC) Tj ET", {{0, 6}}},
        {"CID widths: c [w ...] and c_first c_last w",
         "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H "
         "/DescendantFonts [<< /DW 1000 /W [1 [100 200] 5 6 300] >>] >>",
         "BT /F1 10 Tf 0 0 Td <00010002000500060009> Tj ET", {{0, 1 + 2 + 3 + 3 + 10}}},
        // Ranges overlap where a later one starts inside an earlier one: the
        // one starting last before the CID gives its width, on both sides of
        // CID 32768 (where the per-CID table of a font ends).
        {"CID widths: overlapping ranges, high CIDs",
         "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H "
         "/DescendantFonts [<< /DW 1000 /W [1 [100 200] 5 6 300 4 5 700 32766 32769 400] >>] >>",
         "BT /F1 10 Tf 0 0 Td <000300040005000600077FFF80008002> Tj ET", {{0, 10 + 7 + 3 + 3 + 10 + 4 + 4 + 10}}},
        {"Type3 widths through the font matrix",
         "<< /Type /Font /Subtype /Type3 /FontMatrix [0.01 0 0 0.01 0 0] /FirstChar 97 /Widths [50 25] "
         "/Encoding << /Differences [97 /a /b] >> >>",
         "BT /F1 10 Tf 0 0 Td (ab) Tj ET", {{0, 7.5}}},
        {"Tc adds to every glyph, Tw to code 32 only", tex_font("<< >>"),
         "BT /F1 10 Tf 1 Tc 3 Tw 0 0 Td (ab cd) Tj ET", {{0, 5 + 1 + 5}, {5 + 1 + 5 + 1 + 5 + 1 + 3, 11}}},
        {"Tz scales the advance and the glyph", tex_font("<< >>"), "BT /F1 10 Tf 50 Tz 0 0 Td (ab) Tj ET",
         {{0, 5}}},
        {"a TJ adjustment moves the next glyph back", tex_font("<< >>"),
         "BT /F1 10 Tf 0 0 Td [(a) 200 (b)] TJ ET", {{0, 8}}},
        {"scaled text matrix: widths on the page", tex_font("<< >>"), "BT /F1 1 Tf 10 0 0 10 0 0 Tm (ab) Tj ET",
         {{0, 10}}},
    };
    for (const Case &c : cases) {
        std::vector<Word> ws = words_of({}, c.font, c.content);
        ASSERT_EQ(ws.size(), c.boxes.size()) << c.what << ": " << joined(ws);
        for (size_t i = 0; i < ws.size(); ++i) {
            EXPECT_NEAR(ws[i].x, c.boxes[i][0], 1e-9) << c.what << " word " << i;
            EXPECT_NEAR(ws[i].w, c.boxes[i][1], 1e-9) << c.what << " word " << i;
        }
    }
}

TEST(FontWords, WordsFollowTheGapsBetweenGlyphs) {
    struct Case {
        const char *what;
        std::string content, words;
    } cases[] = {
        // Glyphs 5 wide at size 10: the gap threshold is 1.
        {"a kern inside a word keeps it whole", "BT /F1 10 Tf 0 0 Td [(fi) 50 (le) -50 (s)] TJ ET", "files"},
        {"a wide TJ gap starts a word though no space is shown", "BT /F1 10 Tf 0 0 Td [(file) -333 (name)] TJ ET",
         "file|name"},
        {"Td to where the last glyph ended continues the word",
         "BT /F1 10 Tf 100 700 Td (file) Tj 20 0 Td (,) Tj ET", "file,"},
        {"Td leaving a gap starts a word", "BT /F1 10 Tf 100 700 Td (file) Tj 23 0 Td (x) Tj ET", "file|x"},
        {"a new line starts a word", "BT /F1 10 Tf 14 TL 100 700 Td (ab) Tj T* (cd) Tj ET", "ab|cd"},
        {"a new text object at the end of the last glyph continues",
         "BT /F1 10 Tf 100 700 Td (ab) Tj ET BT /F1 10 Tf 110 700 Td (cd) Tj ET", "abcd"},
        {"each run in q/Q: a Q that restores no font does not end the word",
         "q BT /F1 10 Tf 100 700 Td (ab) Tj ET Q q BT /F1 10 Tf 110 700 Td (cd) Tj ET Q "
         "q BT /F1 10 Tf 122 700 Td (ef) Tj ET Q",
         "abcd|ef"},
        {"fake bold: the same glyphs again a little to the right count once",
         "BT /F1 10 Tf 100 700 Td (Bold) Tj 0.3 0 Td (Bold) Tj 19.7 0 Td (x) Tj ET", "Boldx"},
        {"fake bold over two words", "BT /F1 10 Tf 100 700 Td (ab cd) Tj 0.2 0.2 Td (ab cd) Tj ET", "ab|cd"},
        {"the same text elsewhere is kept", "BT /F1 10 Tf 100 700 Td (ab) Tj 20 0 Td (ab) Tj ET", "ab|ab"},
        {"a superscript stays in the word",
         "BT /F1 10 Tf 100 700 Td (x) Tj 3 Ts (2) Tj ET", "x2"},
        {"a smaller superscript raised by more than half its own size stays in the word",
         "BT /F1 10 Tf 100 700 Td (x) Tj /F1 6 Tf 4 Ts (2) Tj 0 Ts /F1 10 Tf (y) Tj ET", "x2y"},
        {"an accent drawn onto its letter combines",
         "BT /F1 10 Tf 100 700 Td (\\024) Tj 0 0 Td (C) Tj ET", "C\xCC\x8C"},
    };
    for (const Case &c : cases) {
        const std::vector<Word> ws =
            words_of({}, tex_font("<< /Differences [20 /caron] >>"), c.content);
        EXPECT_EQ(joined(ws), c.words) << c.what;
    }
}

TEST(FontWords, AccentsCombineOnlyOverALetter) {
    struct Case {
        const char *what;
        std::string content, words;
    } cases[] = {
        // Glyphs 5 wide at size 10: an accent combines when its middle is
        // within 1.5 of the letter's and its baseline within 4.4.
        {"an accent kerned back over the end of M stands over the dotless i after it",
         "BT /F1 10 Tf 100 700 Td [(M) 150 (\\025) 400 (\\031)] TJ ET", "M\xC4\xB1\xCC\x81"},
        {"an accent drawn after its letter", "BT /F1 10 Tf 100 700 Td (e) Tj 0 0 Td (\\025) Tj ET",
         "e\xCC\x81"},
        {"an accent raised over a capital combines", "BT /F1 10 Tf 100 700 Td 2.5 Ts (\\024) Tj 0 Ts 0 0 Td (C) Tj ET",
         "C\xCC\x8C"},
        {"an accent raised half a size over a formula stays a character",
         "BT /F1 10 Tf 100 700 Td 5 Ts (\\024) Tj 0 Ts 0 0 Td (C) Tj ET", "\xCB\x87" "C"},
        {"an accent over a parenthesis stays a character", "BT /F1 10 Tf 100 700 Td (\\024) Tj 0 0 Td (\\() Tj ET",
         "\xCB\x87("},
        {"an accent beside its letter stays a character", "BT /F1 10 Tf 100 700 Td (a\\024) Tj ET", "a\xCB\x87"},
        {"an ASCII tilde over a letter (a vector arrow) stays a character",
         "BT /F1 10 Tf 100 700 Td (~) Tj 0 0 Td (E) Tj ET", "~E"},
    };
    for (const Case &c : cases) {
        const std::vector<Word> ws =
            words_of({}, tex_font("<< /Differences [20 /caron /acute 25 /dotlessi] >>"), c.content);
        EXPECT_EQ(joined(ws), c.words) << c.what;
    }
}

TEST(FontWords, ScriptsJoinOnlyTheWordTheyTouch) {
    struct Case {
        const char *what;
        std::string font, content, words;
    } cases[] = {
        // Glyphs 5 wide at size 10: a word gap allows 1, a raised, lowered
        // or resized glyph 0.3.
        {"a superscript right behind its base joins", tex_font("<< >>"),
         "BT /F1 10 Tf 100 700 Td (x) Tj /F1 7 Tf 3.6 Ts (2) Tj ET", "x2"},
        {"a subscript right behind its base joins", tex_font("<< >>"),
         "BT /F1 10 Tf 100 700 Td (H) Tj /F1 7 Tf -1.5 Ts (2) Tj ET", "H2"},
        {"a raised glyph after a real gap starts a word", tex_font("<< >>"),
         "BT /F1 10 Tf 100 700 Td (ax) Tj /F1 7 Tf 3.6 Ts [-60 (2)] TJ ET", "ax|2"},
        {"the script space behind a subscript ends it", tex_font("<< >>"),
         "BT /F1 10 Tf 100 700 Td (f) Tj /F1 7 Tf -1.5 Ts (y) Tj /F1 10 Tf 0 Ts [-50 (g)] TJ ET", "fy|g"},
        {"a kern at the same baseline and size stays in the word", tex_font("<< >>"),
         "BT /F1 10 Tf 100 700 Td (f) Tj [-50 (y)] TJ ET", "fy"},
        {"a column to the right on the same baseline ends the word", tex_font("<< >>"),
         "BT /F1 10 Tf 100 700 Td (ab) Tj 200 0 Td (cd) Tj ET", "ab|cd"},
        {"a column to the left on the same baseline ends the word", tex_font("<< >>"),
         "BT /F1 10 Tf 300 700 Td (ab) Tj -200 0 Td (cd) Tj ET", "ab|cd"},
        {"a glyph turned at right angles ends the word", tex_font("<< >>"),
         "BT /F1 10 Tf 100 700 Td (ab) Tj 0 1 -1 0 110 700 Tm (cd) Tj ET", "ab|cd"},
        {"a mirrored glyph reads in its word's direction (the XeTeX logo)", tex_font("<< >>"),
         "BT /F1 10 Tf 100 700 Td (X) Tj -1 0 0 1 108.5 698 Tm (E) Tj 1 0 0 1 107.5 700 Tm (TeX) Tj ET", "XETeX"},
        {"a Type3 bitmap font measures gaps in its own em",
         "<< /Type /Font /Subtype /Type3 /FontMatrix [1 0 0 -1 0 0] /FontBBox [0 0 100 100] /FirstChar 97 "
         "/LastChar 98 /Widths [50 50] /Encoding << /Differences [97 /a /b] >> /CharProcs << >> >>",
         "BT /F1 0.1 Tf 1 0 0 -1 100 700 Tm (ab) Tj 10.5 0 Td (ab) Tj 15 0 Td (b) Tj ET", "abab|b"},
    };
    for (const Case &c : cases) {
        const std::vector<Word> ws = words_of({}, c.font, c.content);
        EXPECT_EQ(joined(ws), c.words) << c.what;
    }
}

TEST(FontWords, StandardFontsKeepTheByteReading) {
    // No font object for a standard font as the byte reading assumes it.
    DocBuilder b;
    const int plain = b.object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    const int winansi = b.font("Times-Roman");
    const int own = b.object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /MacRomanEncoding >>");
    const int widths = b.object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FirstChar 32 /Widths [278] >>");
    b.page({.content = "", .resources = fixture::resources({{"F1", plain}})});
    PdfDocument d;
    ASSERT_TRUE(load(b.build(), &d));
    EXPECT_EQ(build_font(d, plain), nullptr);
    EXPECT_EQ(build_font(d, winansi), nullptr);
    EXPECT_NE(build_font(d, own), nullptr);
    EXPECT_NE(build_font(d, widths), nullptr);
    EXPECT_EQ(build_font(d, 9999), nullptr);
}

TEST(FontWords, SymbolAndDingbatsReadThroughTheirOwnEncodings) {
    // The standard Symbol and ZapfDingbats fonts with nothing of their own
    // read their codes through their built-in encodings and keep the
    // widths of their standard tables (indexed by their own codes).
    struct Case {
        const char *what;
        std::string base, content, words;
        double width;  // of the first word, at size 10
    } cases[] = {
        {"ZapfDingbats: l is a black circle", "ZapfDingbats", "BT /F1 10 Tf 10 700 Td (l) Tj ET", "\xE2\x97\x8F", 7.91},
        {"a subset prefix", "ABCDEF+ZapfDingbats", "BT /F1 10 Tf 10 700 Td (l) Tj ET", "\xE2\x97\x8F", 7.91},
        {"Symbol: Greek letters and its own space", "Symbol", "BT /F1 10 Tf 10 700 Td (ab g) Tj ET",
         "\xCE\xB1\xCE\xB2|\xCE\xB3", 6.31 + 5.49},
        {"Symbol: a code its encoding leaves empty keeps its byte", "ABCDEF+Symbol", "BT /F1 10 Tf 10 700 Td (\\177) Tj ET",
         "\x7F", 0},
    };
    for (const Case &c : cases) {
        const std::vector<Word> ws =
            words_of({}, "<< /Type /Font /Subtype /Type1 /BaseFont /" + c.base + " >>", c.content);
        EXPECT_EQ(joined(ws), c.words) << c.what;
        if (!ws.empty() && c.width > 0) {
            EXPECT_NEAR(ws[0].w, c.width, 0.01) << c.what;
        }
    }
    // Only those two names: a face that merely carries the word keeps the
    // byte reading, as the Latin standard fonts do.
    DocBuilder b;
    const int other = b.object("<< /Type /Font /Subtype /Type1 /BaseFont /SymbolNeu >>");
    const int prefixed = b.object("<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+Helvetica >>");
    const int dingbats = b.object("<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >>");
    b.page({.content = "", .resources = fixture::resources({{"F1", other}})});
    PdfDocument d;
    ASSERT_TRUE(load(b.build(), &d));
    EXPECT_EQ(build_font(d, other), nullptr);
    EXPECT_EQ(build_font(d, prefixed), nullptr);
    EXPECT_NE(build_font(d, dingbats), nullptr);
}

TEST(FontWords, APageOfManyFontsReadsEveryOne) {
    // Each of a hundred fonts reads code 65 as a letter of its own; the
    // page shows it through the first, the 90th and the last.
    DocBuilder b;
    std::vector<std::pair<std::string, int>> fonts;
    for (int i = 1; i <= 100; ++i) {
        const char letter = static_cast<char>('a' + i % 26);
        fonts.emplace_back("F" + std::to_string(i),
                           b.object("<< /Type /Font /Subtype /Type1 /BaseFont /X /FirstChar 65 /Widths [500] "
                                    "/Encoding << /Differences [65 /" + std::string(1, letter) + "] >> >>"));
    }
    b.page({.content = "BT /F1 10 Tf 0 0 Td (A) Tj /F90 10 Tf 20 0 Td (A) Tj /F100 10 Tf 20 0 Td (A) Tj ET",
            .resources = fixture::resources(fonts)});
    PdfDocument d;
    ASSERT_TRUE(load(b.build(), &d));
    PageSummary ps;
    analyze_page(d, 0, &ps);
    std::string got;
    for (const TextItem &it : ps.items) got += it.text;
    EXPECT_EQ(got, "bmw");
}

TEST(FontWords, CodesWithoutUnicodeKeepTheirBytes) {
    DocBuilder b;
    const int f = b.object(
        "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H "
        "/DescendantFonts [<< /Subtype /CIDFontType0 /DW 500 >>] >>");
    b.page({.content = "", .resources = fixture::resources({{"F1", f}})});
    PdfDocument d;
    ASSERT_TRUE(load(b.build(), &d));
    const std::unique_ptr<PdfFont> font = build_font(d, f);
    ASSERT_NE(font, nullptr);
    Glyph g;
    const uint8_t s[] = {0x00, 0x41, 0x01};
    EXPECT_EQ(font->next(s, 3, &g), 2);
    EXPECT_TRUE(g.unmapped);
    EXPECT_EQ(g.text, std::string("\0A", 2));
    EXPECT_DOUBLE_EQ(g.w0, 0.5);
    EXPECT_EQ(font->next(s + 2, 1, &g), 1);  // a code cut short by the string's end
}

TEST(FontWords, GlyphNamesThatCarryTheirCode) {
    struct Case {
        const char *what;
        std::string font, content, words;
    } cases[] = {
        // A bitmap font names each glyph 'a' and its code.
        {"a dvips bitmap font: a and the decimal code",
         "<< /Type /Font /Subtype /Type3 /FontMatrix [0.01 0 0 0.01 0 0] /FirstChar 0 /LastChar 255 /Widths [] "
         "/Encoding << /Differences [83 /a83 99 /a99 101 /a101 105 /a105 110 /a110 /a111 116 /a116 142 /a142] >> >>",
         "BT /F1 10 Tf 0 0 Td (Section\\216) Tj ET", "Section\xC2\x8E"},
        {"dingbat names read as dingbats only in a dingbat font",
         "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+ZapfDingbats /FirstChar 0 /Widths [] "
         "/Encoding << /Differences [65 /a9 /a20] >> >>",
         "BT /F1 10 Tf 0 0 Td (AB) Tj ET", "\xE2\x9C\xA0\xE2\x9C\x94"},
        {"URW's dingbats", "<< /Type /Font /Subtype /Type1 /BaseFont /D050000L /Encoding << /Differences [65 /a9] >> >>",
         "BT /F1 10 Tf 0 0 Td (A) Tj ET", "\xE2\x9C\xA0"},
        {"the same names elsewhere are codes: two to four digits after up to two letters",
         "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+LCIRCLE10 /FirstChar 0 /Widths [] "
         "/Encoding << /Differences [2 /a114 /cm065 /66 /a9 /abc67 /g3867 /a9.alt] >> >>",
         "BT /F1 10 Tf 0 0 Td (\\002\\003\\004\\005\\006\\007\\010) Tj ET", "rAB\x05\x06\x07\x08"},
        {"hex names: one name with a hex letter makes the font's two-digit names hex",
         "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+Gothic /FirstChar 0 /Widths [] "
         "/Encoding << /Differences [2 /x41 /x4a /42 /a9] >> >>",
         "BT /F1 10 Tf 0 0 Td (\\002\\003\\004\\005) Tj ET", "AJB\x05"},
        {"a bare pair with a hex letter", "<< /Type /Font /Subtype /Type1 /BaseFont /X /FirstChar 0 /Widths [] "
         "/Encoding << /Differences [2 /3f /41] >> >>",
         "BT /F1 10 Tf 0 0 Td (\\002\\003) Tj ET", "?A"},
        {"without one they are decimal", "<< /Type /Font /Subtype /Type1 /BaseFont /X /FirstChar 0 /Widths [] "
         "/Encoding << /Differences [2 /x65 /66] >> >>",
         "BT /F1 10 Tf 0 0 Td (\\002\\003) Tj ET", "AB"},
        {"listed names keep their meaning", "<< /Type /Font /Subtype /Type1 /BaseFont /X /FirstChar 0 /Widths [] "
         "/Encoding << /Differences [2 /ff /cA /uni0041 /a9] >> >>",
         "BT /F1 10 Tf 0 0 Td (\\002\\003\\004\\005) Tj ET", "\xEF\xAC\x80\x03" "A\x05"},
    };
    for (const Case &c : cases) EXPECT_EQ(joined(words_of({}, c.font, c.content)), c.words) << c.what;
}

TEST(FontWords, Type3GlyphSpaceInPixels) {
    // A converter's bitmap font: one text space unit per pixel, letters 50
    // pixels wide, shown at size 0.12 (6 points a letter).
    struct Case {
        const char *what;
        std::string matrix, widths, content, words;
    } cases[] = {
        {"pieces of a word placed a little back stay one word", "[1 0 0 -1 0 0]", "[50 50 50]",
         "BT /F1 0.12 Tf 1 0 0 -1 100 700 Tm (aba) Tj 17.6 0 Td (ba) Tj 12 0 Td (c) Tj ET", "ababac"},
        {"a gap of a fifth of an em still parts words", "[1 0 0 -1 0 0]", "[50 50 50]",
         "BT /F1 0.12 Tf 1 0 0 -1 100 700 Tm (ab) Tj 14.4 0 Td (c) Tj ET", "ab|c"},
        // Wide glyphs (an em of 3.9 by the widths) but a unit of one em.
        {"a font whose unit is about an em is taken at its word", "[0.01 0 0 0.01 0 0]", "[30 195 195]",
         "BT /F1 10 Tf 100 700 Td (ab) Tj 24.5 0 Td (c) Tj ET", "ab|c"},
        // A browser's glyph fonts: drawn with y downwards, flipped by the
        // font matrix, shown under a flipped CTM and a flipped text matrix.
        {"a flipped font under a flipped page reads along its baseline", "[0.001 0 0 -0.001 0 0]",
         "[1000 1000 1000]",
         "1 0 0 -1 0 792 cm BT /F1 32 Tf 1 0 0 -1 8 45 Tm (a) Tj 32 0 Td (b) Tj 32 0 Td (c) Tj 64 0 Td (a) Tj ET",
         "abc|a"},
    };
    for (const Case &c : cases) {
        const std::string font = "<< /Type /Font /Subtype /Type3 /FontMatrix " + c.matrix +
                                 " /FirstChar 97 /Widths " + c.widths +
                                 " /Encoding << /Differences [97 /a /b /c] >> >>";
        EXPECT_EQ(joined(words_of({}, font, c.content)), c.words) << c.what;
    }
}

TEST(FontWords, UnreadableNamesReplaceTheBaseEncoding) {
    struct Case {
        const char *what;
        std::vector<std::string> extra;
        std::string font, words;
    } cases[] = {
        {"/Differences over Standard (208 is emdash there)", {},
         "<< /Type /Font /Subtype /Type1 /BaseFont /X /FirstChar 0 /Widths [] "
         "/Encoding << /Differences [208 /verticalleftwave 225 /.notdef] >> >>",
         "\xC3\x90\xC3\x86"},
        {"the program's own encoding",
         {"stream:/Length1 120|%!PS-AdobeFont-1.0: MD\n/Encoding 256 array\n0 1 255 {1 index exch /.notdef put} for\n"
          "dup 208 /verticalleftwave put\nreadonly def\ncurrentfile eexec\n"},
         "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+MD /FirstChar 0 /Widths [500] "
         "/FontDescriptor << /Flags 4 /FontFile 3 0 R >> >>",
         "\xC3\x90\xC3\x86"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(joined(words_of(c.extra, c.font, "BT /F1 10 Tf 0 0 Td (\\320\\341) Tj ET")), c.words) << c.what;
}

TEST(FontWords, UnreadableCodesInTheWindowsRange) {
    // Codes 128-159 that give no text: a glyph whose name cannot be read
    // is known by its number (U+0080, not the euro sign); a code that no
    // encoding names reads as the Windows code page would.
    struct Case {
        const char *what;
        std::string font, words;
    } cases[] = {
        {"a bitmap font's unreadable names",
         "<< /Type /Font /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0] /FirstChar 128 /Widths [500 500] "
         "/Encoding << /Differences [128 /DK /DL] >> >>",
         "\xC2\x80\xC2\x81"},
        {"a symbolic TrueType font without an encoding",
         "<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+Wingy /FirstChar 128 /Widths [500 500] "
         "/FontDescriptor << /Flags 4 >> >>",
         "\xE2\x82\xAC\xC2\x81"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(joined(words_of({}, c.font, "BT /F1 10 Tf 0 0 Td (\\200\\201) Tj ET")), c.words) << c.what;
}

TEST(FontWords, CodesWithoutAGlyphInAStandardEncodedProgram) {
    // UTF-8 bytes shown through a font whose encoding has no glyph at 0x80
    // and 0x9C: what is drawn there is .notdef, nothing to read.
    std::string std_cff = kCff;
    const size_t enc = std_cff.find(std::string("\035\000\000\000\100\020", 6));
    ASSERT_NE(enc, std::string::npos);
    std_cff[enc + 4] = 0;  // encoding 0: Standard
    struct Case {
        const char *what;
        std::string program, words;
    } cases[] = {
        {"a Type1 program with the Standard encoding", "%!PS-AdobeFont-1.0: Times-Roman\n/Encoding StandardEncoding def\ncurrentfile eexec\n",
         "\xC3\xA2" "A"},
        {"a CFF program with the Standard encoding", std_cff, "\xC3\xA2" "A"},
        {"a program whose encoding is not known keeps the bytes", "%!PS-AdobeFont-1.0: Times-Roman\ncurrentfile eexec\n",
         "\xC3\xA2\xE2\x82\xAC\xC5\x93" "A"},
    };
    for (const Case &c : cases) {
        const bool cff = c.program[0] == '\001';
        const std::string font = std::string("<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /FirstChar 0 /Widths [] "
                                             "/Encoding << /Differences [226 /acircumflex] >> /FontDescriptor << /Flags 34 ") +
                                 (cff ? "/FontFile3" : "/FontFile") + " 3 0 R >> >>";
        const std::string stream = cff ? "stream:/Subtype /Type1C|" + c.program : "stream:/Length1 80|" + c.program;
        EXPECT_EQ(joined(words_of({stream}, font, "BT /F1 10 Tf 0 0 Td (\\342\\200\\234A) Tj ET")), c.words) << c.what;
    }
}
