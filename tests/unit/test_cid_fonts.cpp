// CID fonts of Adobe's public character collections without /ToUnicode,
// and vertical writing.
#include "font/cid_unicode.h"
#include "font/font.h"
#include "page/page.h"
#include "test_util.h"

using namespace morvex;
using fixture::DocBuilder;
using testutil::load;

namespace {

std::string cid_text(const char *ordering, uint32_t cid) {
    std::string out;
    if (!cid_to_utf8(cid_collection("Adobe", ordering), cid, &out)) return "<none>";
    return out;
}

// The words of a one-page document showing `content` with the font
// dictionary `font` as /F1 (objects in `extra` come first, from number 3;
// "stream:DICT|DATA" makes a stream).
std::vector<TextItem> items_of(const std::vector<std::string> &extra, const std::string &font,
                               const std::string &content) {
    PdfDocument d;
    EXPECT_TRUE(load(testutil::font_page(extra, font, content), &d));
    PageSummary ps;
    analyze_page(d, 0, &ps);
    return ps.items;
}

std::string joined(const std::vector<TextItem> &ws) {
    std::string s;
    for (const TextItem &w : ws) {
        s += s.empty() ? "" : "|";
        for (char ch : w.text) s += ch == 0 ? std::string("\\0") : std::string(1, ch);
    }
    return s;
}

std::string type0(const std::string &encoding, const std::string &csi, const std::string &more = "") {
    return "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding " + encoding + more +
           " /DescendantFonts [<< /Type /Font /Subtype /CIDFontType0 /DW 1000 " + csi + " >>] >>";
}

const std::string kJapan1 = "/CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 6 >>";

}  // namespace

TEST(CidCollections, Lookup) {
    struct Case {
        const char *ordering;
        uint32_t cid;
        const char *text;
    } cases[] = {
        {"Japan1", 1, " "},
        {"Japan1", 34, "A"},
        {"Japan1", 843, "\xE3\x81\x82"},           // hiragana a, inside a run
        {"Japan1", 1125, "\xE4\xBA\x9C"},          // a kanji in a list
        {"Japan1", 1133, "\xE9\x80\xA2"},          // a variant: its variation selector is dropped
        {"Japan1", 8189, "sec"},                   // several characters
        {"Japan1", 23059, "\xE3\x8B\xBF"},         // the last CID of Supplement 7
        {"Japan1", 0, "<none>"},                   // .notdef
        {"Japan1", 23060, "<none>"},               // past the collection
        {"Japan1", 70000, "<none>"},               // past any CID
        {"GB1", 4792, "\xE4\xBC\xBD"},
        {"CNS1", 595, "\xE4\xB8\x80"},
        {"CNS1", 14164, "\xF0\xA5\xB4\xA0"},       // outside the BMP
        {"Korea1", 1088, "\xEA\xB0\x84"},
        {"Korea1", 8207, "(("},
        {"KR", 12239, "\xE1\x84\x80\xE1\x86\x9E\xE1\x86\xA8"},  // old Hangul as jamo
        {"Identity", 34, "<none>"},
        {"UCS", 34, "<none>"},
    };
    for (const Case &c : cases) EXPECT_EQ(cid_text(c.ordering, c.cid), c.text) << c.ordering << " " << c.cid;
    EXPECT_EQ(cid_collection("Other", "Japan1"), -1);
    EXPECT_EQ(cid_collection("Adobe", ""), -1);
    std::string out;
    EXPECT_FALSE(cid_to_utf8(-1, 34, &out));
    EXPECT_FALSE(cid_to_utf8(kCidCollectionCount, 34, &out));
    EXPECT_TRUE(out.empty());
}

TEST(CidCollections, FontsReadTheirCidsThroughTheCollection) {
    const std::string to_unicode =
        "stream:|/CIDInit /ProcSet findresource begin begincmap 1 begincodespacerange <0000> <FFFF> "
        "endcodespacerange 1 beginbfchar <0022> <005A> endbfchar endcmap end";
    const std::string embedded_cmap =
        "stream:/Type /CMap /CMapName /Test|begincmap 1 begincodespacerange <00> <FF> endcodespacerange "
        "1 begincidrange <41> <5A> 34 endcidrange endcmap";
    struct Case {
        const char *what;
        std::vector<std::string> extra;
        std::string font, content, words;
    } cases[] = {
        {"Identity-H through Adobe-Japan1", {}, type0("/Identity-H", kJapan1),
         "BT /F1 10 Tf 0 700 Td <034B0465> Tj ET", "\xE3\x81\x82\xE4\xBA\x9C"},
        {"a CID for a space ends the word", {}, type0("/Identity-H", kJapan1),
         "BT /F1 10 Tf 0 700 Td <0022000100230024> Tj ET", "A|BC"},
        {"ToUnicode first, the collection for what it leaves", {to_unicode},
         type0("/Identity-H", kJapan1, " /ToUnicode 3 0 R"), "BT /F1 10 Tf 0 700 Td <00220023> Tj ET", "ZB"},
        {"strings as hex and with escapes",
         {},
         type0("/Identity-H", "/CIDSystemInfo << /Registry <41646F6265> /Ordering (G\\102\\061) /Supplement 5 >>"),
         "BT /F1 10 Tf 0 700 Td <12B8> Tj ET", "\xE4\xBC\xBD"},
        {"the info behind a reference", {"<< /Registry (Adobe) /Ordering (Korea1) /Supplement 2 >>"},
         type0("/Identity-H", "/CIDSystemInfo 3 0 R"), "BT /F1 10 Tf 0 700 Td <0440> Tj ET", "\xEA\xB0\x84"},
        {"an embedded CMap's CIDs", {embedded_cmap}, type0("3 0 R", kJapan1),
         "BT /F1 10 Tf 0 700 Td (AB) Tj ET", "AB"},
        {"Adobe-Identity: CIDs are glyph ids, bytes stay", {},
         type0("/Identity-H", "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"),
         "BT /F1 10 Tf 0 700 Td <0041> Tj ET", "\\0A"},
        {"a predefined CMap not at hand: its CIDs are unknown", {}, type0("/90ms-RKSJ-H", kJapan1),
         "BT /F1 10 Tf 0 700 Td <0041> Tj ET", "\\0A"},
        {"no CIDSystemInfo", {}, type0("/Identity-H", ""), "BT /F1 10 Tf 0 700 Td <0041> Tj ET", "\\0A"},
        {"Registry other than Adobe", {},
         type0("/Identity-H", "/CIDSystemInfo << /Registry (Other) /Ordering (Japan1) >>"),
         "BT /F1 10 Tf 0 700 Td <0041> Tj ET", "\\0A"},
        {"Ordering as a name, not a string", {},
         type0("/Identity-H", "/CIDSystemInfo << /Registry (Adobe) /Ordering /Japan1 >>"),
         "BT /F1 10 Tf 0 700 Td <0041> Tj ET", "\\0A"},
        {"CIDSystemInfo not a dictionary", {}, type0("/Identity-H", "/CIDSystemInfo [(Adobe) (Japan1)]"),
         "BT /F1 10 Tf 0 700 Td <0041> Tj ET", "\\0A"},
        {"an unterminated string", {}, type0("/Identity-H", "/CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1"),
         "BT /F1 10 Tf 0 700 Td <0041> Tj ET", "\\0A"},
    };
    for (const Case &c : cases) EXPECT_EQ(joined(items_of(c.extra, c.font, c.content)), c.words) << c.what;
}

TEST(CidCollections, VerticalWritingRunsDownColumns) {
    // Identity-V, 10-point glyphs: a column goes down from the text
    // position, one em per glyph; the next column stands to its left.
    struct Case {
        const char *what;
        std::string font, content, words;
        double x, y, w, h;  // the first word's box
    } cases[] = {
        {"one column is one word", type0("/Identity-V", kJapan1),
         "BT /F1 10 Tf 100 700 Td <034B034C034D> Tj ET", "\xE3\x81\x82\xE3\x81\x83\xE3\x81\x84", 95, 670, 10, 30},
        {"a new column starts a word", type0("/Identity-V", kJapan1),
         "BT /F1 10 Tf 100 700 Td <034B034C> Tj -15 0 Td <034D> Tj ET",
         "\xE3\x81\x82\xE3\x81\x83|\xE3\x81\x84", 95, 680, 10, 20},
        {"a TJ number moves down the column; a wide one starts a word", type0("/Identity-V", kJapan1),
         "BT /F1 10 Tf 100 700 Td [<034B> 50 <034C> 500 <034D>] TJ ET",
         "\xE3\x81\x82\xE3\x81\x83|\xE3\x81\x84", 95, 679.5, 10, 20.5},
        {"DW2 sets the step", type0("/Identity-V", kJapan1 + " /DW2 [880 -500]"),
         "BT /F1 10 Tf 100 700 Td <034B034C> Tj ET", "\xE3\x81\x82\xE3\x81\x83", 95, 690, 10, 10},
    };
    for (const Case &c : cases) {
        const std::vector<TextItem> ws = items_of({}, c.font, c.content);
        EXPECT_EQ(joined(ws), c.words) << c.what;
        if (ws.empty()) continue;
        EXPECT_NEAR(ws[0].x, c.x, 1e-6) << c.what;
        EXPECT_NEAR(ws[0].y, c.y, 1e-6) << c.what;
        EXPECT_NEAR(ws[0].w, c.w, 1e-6) << c.what;
        EXPECT_NEAR(ws[0].h, c.h, 1e-6) << c.what;
    }
}
