// The content interpreter, through documents built by the fixture writer.
#include <cmath>

#include "page/page.h"
#include "test_util.h"

using namespace morvex;
using fixture::DocBuilder;
using fixture::PdfWriter;
using testutil::load;

namespace {

// Analyses the one page of a document; the page has F1 (Helvetica) and,
// when asked, an image Im1 in its resources.
PageSummary analyze(const std::string &content, bool with_font = true, bool compress = false) {
    DocBuilder b;
    const int f = b.font("Helvetica");
    const int im = b.image(2, 2);
    b.page({.content = content,
            .resources = with_font ? fixture::resources({{"F1", f}}, {{"Im1", im}}) : "",
            .compress = compress});
    PdfDocument d;
    EXPECT_TRUE(load(b.build(), &d));
    PageSummary ps;
    analyze_page(d, 0, &ps);
    return ps;
}

std::string page_text(const std::string &content, bool with_font = true) {
    PageSummary ps = analyze(content, with_font);
    std::string t = ps.text;
    page_analysis_free(&ps);
    return t;
}

struct Box {
    double x, y, w, h;
};

void expect_box(const TextItem &it, Box b, const std::string &what) {
    EXPECT_NEAR(it.x, b.x, 1e-9) << what;
    EXPECT_NEAR(it.y, b.y, 1e-9) << what;
    EXPECT_NEAR(it.w, b.w, 1e-9) << what;
    EXPECT_NEAR(it.h, b.h, 1e-9) << what;
}

}  // namespace

TEST(PageAnalysis, HelloWorld) {
    DocBuilder b;
    const int f = b.font("Helvetica");
    b.page({.content = "BT /F1 12 Tf 72 712 Td (Hello World) Tj ET", .media_box = "0 0 595 842", .rotate = 90,
            .resources = fixture::resources({{"F1", f}})});
    PdfDocument d;
    ASSERT_TRUE(load(b.build(), &d));
    PageSummary ps;
    analyze_page(d, 0, &ps);
    EXPECT_EQ(ps.page, 1);
    EXPECT_EQ(ps.width, 595);
    EXPECT_EQ(ps.height, 842);
    EXPECT_EQ(ps.rotation, 90);
    EXPECT_EQ(ps.text, "Hello World ");
    ASSERT_EQ(ps.items.size(), 2u);
    EXPECT_EQ(ps.items[0].text, "Hello");
    EXPECT_EQ(ps.items[1].text, "World");
    // Hello = 722+556+222+222+556, space 278, World = 944+556+333+222+556 thousandths.
    expect_box(ps.items[0], {72, 709.6, 27.336, 13.2}, "Hello");
    expect_box(ps.items[1], {72 + 27.336 + 3.336, 709.6, 31.332, 13.2}, "World");
    EXPECT_EQ(ps.items[1].font_size, 12);
    page_analysis_free(&ps);
    EXPECT_TRUE(ps.text.empty());
    EXPECT_TRUE(ps.items.empty());
    EXPECT_EQ(ps.page, 0);
}

TEST(PageAnalysis, WhereWordsEnd) {
    struct Case {
        const char *what;
        std::string content, text;
    } cases[] = {
        {"two Tj without positioning", "BT (A) Tj (B) Tj ET", "AB "},
        {"small TJ adjustment", "BT [(Wor) -20 (ld)] TJ ET", "World "},
        {"large TJ adjustment", "BT [(Wor) -250 (ld)] TJ ET", "Wor ld "},
        {"positive large adjustment", "BT [(a) 151 (b) 150 (c)] TJ ET", "a bc "},
        {"hex strings in TJ", "BT [<4869> -300 <21>] TJ ET", "Hi ! "},
        {"Td ends the word", "BT (A) Tj 0 0 Td (B) Tj ET", "A B "},
        {"T* ends the word", "BT (A) Tj T* (B) Tj ET", "A B "},
        {"Tm ends the word", "BT (A) Tj 1 0 0 1 0 0 Tm (B) Tj ET", "A B "},
        {"ET ends the word", "BT (A) Tj ET BT (B) Tj ET", "A B "},
        {"BT ends the word", "BT (A) Tj BT (B) Tj ET", "A B "},
        {"apostrophe moves to the next line", "BT (A) Tj (B) ' ET", "A B "},
        {"double quote ignores its spacing operands", "BT (A) Tj 1 2 (B) \" ET", "A B "},
        {"other operators do not end a word", "BT (A) Tj 0 g 1 0 0 1 5 5 cm (B) Tj ET", "AB "},
        {"Tj without a string", "BT Tj ET", ""},
        {"a string is shown once", "BT (A) Tj Tj ET", "A "},
        {"empty string", "BT () Tj ET", ""},
        {"the last string before Tj wins", "BT (A) (B) Tj ET", "B "},
        {"a pending string outlives other operators", "BT (A) 0 g Tj ET", "A "},
        {"array strings leave the pending string alone", "BT (p) [(a)] TJ Tj ET", "ap "},
        {"line feed inside a string", "BT (one\\ntwo) Tj ET", "one \ntwo "},
        {"escapes and octal", "BT (a\\(b\\)\\101) Tj ET", "a(b)A "},
        {"comment", "BT % (hidden) Tj\n(shown) Tj ET", "shown "},
        {"dictionary markers", "BT << /A 1 >> (x) Tj ET", "x "},
        {"operator too long to match", "BT (x) TjTjTjTjTjTjTjTj (y) Tj ET", "y "},
        {"text outside BT", "(free) Tj", "free "},
        {"0x93 in a font with a base font", "BT /F1 12 Tf (\\223) Tj ET", "\xE2\x80\x9C "},
        {"0x93 before any font is selected", "BT (\\223) Tj ET", "\xC2\x93 "},
    };
    for (const Case &c : cases) EXPECT_EQ(page_text(c.content), c.text) << c.what;
}

TEST(PageAnalysis, PositionsAndSizes) {
    struct Case {
        const char *what;
        std::string content;
        bool with_font;
        Box box;
    } cases[] = {
        {"no font: 0.5 em at size 12", "BT 0 0 Td (Hi) Tj ET", false, {0, -2.4, 12, 13.2}},
        {"Helvetica 10 at (100, 700)", "BT /F1 10 Tf 100 700 Td (A) Tj ET", true, {100, 698, 6.67, 11}},
        {"Tm after cm: text matrix times CTM", "2 0 0 2 10 10 cm BT /F1 10 Tf 1 0 0 1 5 5 Tm (A) Tj ET", true,
         {20, 18, 6.67, 11}},
        {"cm inside a text object waits for BT", "BT 2 0 0 2 0 0 cm /F1 10 Tf 10 10 Td (A) Tj ET", true,
         {10, 8, 6.67, 11}},
        {"Td in a scaled text matrix", "BT /F1 10 Tf 2 0 0 2 0 0 Tm 10 10 Td (A) Tj ET", true, {20, 18, 6.67, 11}},
        {"Td adds up", "BT /F1 10 Tf 10 10 Td 5 5 Td (A) Tj ET", true, {15, 13, 6.67, 11}},
        {"TL and T*", "BT /F1 10 Tf 0 100 Td 20 TL T* (A) Tj ET", true, {0, 78, 6.67, 11}},
        {"TD sets the leading", "BT /F1 10 Tf 0 100 Td 0 -30 TD T* (A) Tj ET", true, {0, 38, 6.67, 11}},
        {"default leading 14", "BT /F1 10 Tf 0 100 Td T* (A) Tj ET", true, {0, 84, 6.67, 11}},
        {"apostrophe uses the leading", "BT /F1 10 Tf 0 100 Td (A) ' ET", true, {0, 84, 6.67, 11}},
        // q and Q save the text state with the CTM, as viewers do.
        {"Q restores the font: none, size 12", "BT q /F1 10 Tf Q (A) Tj ET", true, {0, -2.4, 6, 13.2}},
        {"Q restores the font and size in use at q", "BT /F1 10 Tf q /F9 20 Tf Q (A) Tj ET", true,
         {0, -2, 6.67, 11}},
        {"Q restores the leading", "BT /F1 10 Tf 0 100 Td q 30 TL Q T* (A) Tj ET", true, {0, 84, 6.67, 11}},
        {"Tf without a name does nothing", "BT 30 Tf (A) Tj ET", true, {0, -2.4, 6, 13.2}},
        {"unknown font keeps the font, takes the size", "BT /F1 10 Tf /F9 20 Tf (A) Tj ET", true,
         {0, -4, 13.34, 22}},
        {"Td with one operand only resets the advance", "BT /F1 10 Tf (A) Tj 50 Td (A) Tj ET", true,
         {0, -2, 6.67, 11}},
        {"TJ numbers do not move the text", "BT /F1 10 Tf [(A) -100 (A)] TJ ET", true, {0, -2, 13.34, 11}},
        // An overlong name or a bare slash clears the pending name.
        {"overlong name clears the pending name", "BT /F1 /" + std::string(64, 'x') + " 10 Tf (A) Tj ET", true,
         {0, -2.4, 6, 13.2}},
        {"bare slash clears the pending name", "BT /F1 / 10 Tf (A) Tj ET", true, {0, -2.4, 6, 13.2}},
        // A name runs to the next delimiter: /F1.5 names no font here, so
        // the size changes and the 0.5 em width stays.
        {"name with a period", "BT /F1.5 10 Tf (A) Tj ET", true, {0, -2, 5, 11}},
    };
    for (const Case &c : cases) {
        PageSummary ps = analyze(c.content, c.with_font);
        ASSERT_GE(ps.items.size(), 1u) << c.what;
        expect_box(ps.items.back(), c.box, c.what);
        page_analysis_free(&ps);
    }
}

TEST(PageAnalysis, ImagePlacements) {
    struct Case {
        const char *what;
        std::string content;
        std::vector<std::pair<std::string, Box>> images;
        std::string text;
    } cases[] = {
        {"placed image", "q 100 0 0 50 10 20 cm /Im1 Do Q", {{"Im1", {10, 20, 100, 50}}}, ""},
        {"half scale gets 32", "q 0.5 0 0 0.5 0 0 cm /Im1 Do Q", {{"Im1", {0, 0, 32, 32}}}, ""},
        {"cm multiplies", "2 0 0 2 0 0 cm 10 0 0 10 5 5 cm /Im1 Do", {{"Im1", {10, 10, 20, 20}}}, ""},
        {"Q restores", "q 9 0 0 9 0 0 cm Q 10 0 0 10 0 0 cm /Im1 Do", {{"Im1", {0, 0, 10, 10}}}, ""},
        {"cm needs six operands", "10 0 0 10 0 cm /Im1 Do", {{"Im1", {0, 0, 1, 1}}}, ""},
        {"q keeps the operands", "10 0 0 10 3 4 q cm /Im1 Do", {{"Im1", {3, 4, 10, 10}}}, ""},
        {"Do keeps the operands", "10 0 0 10 3 4 /Im1 Do cm /Im1 Do",
         {{"Im1", {0, 0, 1, 1}}, {"Im1", {3, 4, 10, 10}}}, ""},
        {"Do without a name", "Do /Im1 0 g Do", {}, ""},
        {"the name is forgotten after an operator", "/Im1 Do Do", {{"Im1", {0, 0, 1, 1}}}, ""},
        {"40-character name", "/" + std::string(40, 'L') + " Do", {{std::string(31, 'L'), {0, 0, 1, 1}}}, ""},
        {"overlong name", "/Im1 /" + std::string(64, 'L') + " Do", {}, ""},
        {"inline image", "BI /W 4 /H 1 /CS /G /BPC 8 ID (x) Tj )AB( Tj EI BT (after) Tj ET",
         {{"InlineImage", {0, 0, 1, 1}}}, "after "},
        {"inline image placed", "q 20 0 0 10 1 2 cm BI /W 1 /H 1 ID \x01 EI Q",
         {{"InlineImage", {1, 2, 20, 10}}}, ""},
        {"EI inside a word does not end the data", "BI ID xEIx EIy EI (t) Tj", {{"InlineImage", {0, 0, 1, 1}}},
         "t "},
        {"inline image without EI ends the scan", "BI /W 1 ID (x) Tj", {{"InlineImage", {0, 0, 1, 1}}}, ""},
    };
    for (const Case &c : cases) {
        PageSummary ps = analyze(c.content);
        EXPECT_EQ(ps.text, c.text) << c.what;
        ASSERT_EQ(ps.images.size(), c.images.size()) << c.what;
        for (size_t i = 0; i < c.images.size(); ++i) {
            const ImageItem &im = ps.images[i];
            EXPECT_EQ(std::string(im.name), c.images[i].first) << c.what;
            EXPECT_EQ(im.x, c.images[i].second.x) << c.what;
            EXPECT_EQ(im.y, c.images[i].second.y) << c.what;
            EXPECT_EQ(im.w, c.images[i].second.w) << c.what;
            EXPECT_EQ(im.h, c.images[i].second.h) << c.what;
        }
        page_analysis_free(&ps);
    }
}

TEST(PageAnalysis, SaveStackHolds32) {
    // Each level translates by 1 more; 33 saves keep only the first 32.
    std::string content;
    for (int i = 0; i < 33; ++i) content += "1 0 0 1 1 0 cm q ";
    content += "Q /Im1 Do ";
    for (int i = 0; i < 40; ++i) content += "Q ";  // more than were saved
    content += "/Im1 Do";
    PageSummary ps = analyze(content);
    ASSERT_EQ(ps.images.size(), 2u);
    EXPECT_EQ(ps.images[0].x, 32);
    EXPECT_EQ(ps.images[1].x, 1);  // the first level saved
    page_analysis_free(&ps);
}

TEST(PageAnalysis, The33rdOperandIsDropped) {
    std::string content;
    for (int i = 0; i < 26; ++i) content += "9 ";
    content += "2 0 0 2 5 5 7 cm /Im1 Do";  // 7 is the 33rd number
    PageSummary ps = analyze(content);
    ASSERT_EQ(ps.images.size(), 1u);
    EXPECT_EQ(ps.images[0].x, 5);
    EXPECT_EQ(ps.images[0].y, 5);
    EXPECT_EQ(ps.images[0].w, 2);
    EXPECT_EQ(ps.images[0].h, 2);
    page_analysis_free(&ps);
}

TEST(PageAnalysis, NumberForms) {
    struct Case {
        std::string cm;
        Box box;
    } cases[] = {
        {"20 0 0 20 -.5 +.5", {-0.5, 0.5, 20, 20}},
        {"20. 0 0 20.0 1.25 -3", {1.25, -3, 20, 20}},
        {"20 0 0 20 - 5 7", {5, 7, 20, 20}},  // a lone sign is stepped over
        {"20 0 0 20 3e2 0", {0, 0, 1, 1}},  // no exponent: "e" is an operator and clears the operands
    };
    for (const Case &c : cases) {
        PageSummary ps = analyze(c.cm + " cm /Im1 Do");
        ASSERT_EQ(ps.images.size(), 1u) << c.cm;
        EXPECT_EQ(ps.images[0].x, c.box.x) << c.cm;
        EXPECT_EQ(ps.images[0].y, c.box.y) << c.cm;
        EXPECT_EQ(ps.images[0].w, c.box.w) << c.cm;
        page_analysis_free(&ps);
    }
}

TEST(PageAnalysis, ContentHash) {
    // An empty page content (Flate data that inflates to nothing) hashes
    // to the FNV offset basis; content that cannot be fetched hashes to 0.
    PdfWriter w;
    w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>");
    w.add(3, "<< /Type /Page /Parent 2 0 R /Contents 6 0 R >>");
    w.add(4, "<< /Type /Page /Parent 2 0 R /Contents 9 0 R >>");
    w.add(5, "<< /Type /Page /Parent 2 0 R /Contents [7 0 R 8 0 R] >>");
    w.add_stream(6, "", "", {.compress = true});
    w.add_stream(7, "", "a");
    w.add_stream(8, "", "b", {.compress = true});
    PdfDocument d;
    ASSERT_TRUE(load(w.build(), &d));
    ASSERT_EQ(d.page_count(), 3);
    PageSummary ps[3];
    for (int i = 0; i < 3; ++i) analyze_page(d, i, &ps[i]);
    EXPECT_EQ(ps[0].content_hash, 0xcbf29ce484222325ull);
    EXPECT_EQ(ps[0].text, "");
    EXPECT_EQ(ps[1].content_hash, 0u);
    EXPECT_EQ(ps[1].page, 2);
    // "a b": the two streams joined by one space.
    uint64_t h = 0xcbf29ce484222325ull;
    for (char c : std::string("a b")) h = (h ^ static_cast<uint8_t>(c)) * 0x100000001b3ull;
    EXPECT_EQ(ps[2].content_hash, h);
    for (PageSummary &p : ps) page_analysis_free(&p);
}

TEST(PageAnalysis, CompressedContentAndManyWords) {
    std::string content = "BT /F1 10 Tf 72 700 Td";
    for (int i = 0; i < 300; ++i) content += " (w" + std::to_string(i) + ") Tj 0 -12 Td";
    content += " ET";
    PageSummary ps = analyze(content, true, true);
    ASSERT_EQ(ps.items.size(), 300u);
    EXPECT_EQ(ps.items[299].text, "w299");
    EXPECT_NEAR(ps.items[299].y, 700 - 12 * 299 - 2, 1e-9);
    page_analysis_free(&ps);
}

// Content cut anywhere, or built from extreme numbers, is scanned to its
// end without reading outside it (the sanitizers watch).
TEST(PageAnalysis, MalformedContentEndsQuietly) {
    struct Case {
        std::string content, text;
        size_t images;
    } cases[] = {
        {"BT (abc", "", 0},  // a string that no operator shows stays pending
        {"(abc) Tj (de", "abc ", 0},
        {"<41 Tj", "", 0},
        {"<414", "", 0},
        {"[(a", "a ", 0},
        {"[(a) -", "a ", 0},
        {"(x\\", "", 0},
        {"% only a comment", "", 0},
        {"/", "", 0},
        {"1.", "", 0},
        {"-", "", 0},
        {"<", "", 0},
        {"BI", "", 1},
        {std::string(400, '9') + " 0 0 " + std::string(400, '9') + " 0 0 cm 0 0 0 0 0 0 cm /Im1 Do", "", 1},
        {std::string(400, '9') + " Tf /F1 " + std::string(400, '9') + " Tf (A) Tj", "A ", 0},
        {std::string("\x80\xFF{}]>)\0EI", 10), "", 0},
    };
    for (const Case &c : cases) {
        PageSummary ps = analyze(c.content);
        EXPECT_EQ(ps.text, c.text) << c.content.substr(0, 40);
        EXPECT_EQ(ps.images.size(), c.images) << c.content.substr(0, 40);
        page_analysis_free(&ps);
    }
}
