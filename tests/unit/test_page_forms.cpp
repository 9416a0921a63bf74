// Form XObjects: the text and images a page draws through Do of a form.
#include "page/page.h"
#include "test_util.h"

using namespace morvex;
using fixture::DocBuilder;
using testutil::load;

namespace {

struct Word {
    std::string text;
    double x, y;  // box corner
};
struct Image {
    std::string name;
    double x, y, w, h;
};

// A document whose one page has F1 (Helvetica) and Im1 (an image), plus the
// forms a case adds; forms are written in the order given, and may name
// each other by their object numbers through the placeholder "@k" (the
// k-th form, 0-based) in their resources.
struct FormSpec {
    std::string dict;  // extra dictionary entries (/Matrix, /Resources ...)
    std::string content;
};

// Replaces the placeholders "@k" (k below count) with references to
// objects first + k; @12 is replaced before @1.
std::string fill_refs(std::string s, int first, size_t count) {
    for (size_t k = count; k-- > 0;) {
        const std::string key = "@" + std::to_string(k);
        for (size_t at; (at = s.find(key)) != std::string::npos;)
            s.replace(at, key.size(), std::to_string(first + static_cast<int>(k)) + " 0 R");
    }
    return s;
}

PageSummary analyze_with_forms(const std::string &page_content, const std::vector<FormSpec> &forms,
                               const std::string &page_xobjects = "/Fm0 @0") {
    DocBuilder b;
    const int f1 = b.font("Helvetica");
    const int f2 = b.font("Courier");
    const int im = b.image(2, 2);
    const int first = b.next_num();
    auto fill = [&](std::string s) {
        s = fill_refs(std::move(s), first, forms.size());
        for (size_t at; (at = s.find("@F2")) != std::string::npos;) s.replace(at, 3, std::to_string(f2) + " 0 R");
        for (size_t at; (at = s.find("@Im")) != std::string::npos;) s.replace(at, 3, std::to_string(im) + " 0 R");
        return s;
    };
    for (const FormSpec &f : forms)
        b.stream("/Type /XObject /Subtype /Form /BBox [0 0 500 500] " + fill(f.dict), fill(f.content));
    const std::string res = "<< /Font << /F1 " + std::to_string(f1) + " 0 R >> /XObject << /Im1 " +
                            std::to_string(im) + " 0 R " + fill(page_xobjects) + " >> >>";
    b.page({.content = page_content, .resources = res});
    PdfDocument d;
    EXPECT_TRUE(load(b.build(), &d));
    PageSummary ps;
    analyze_page(d, 0, &ps);
    return ps;
}

// The page's words, when a case lists them: text and box corner each.
void expect_words(const PageSummary &ps, const std::vector<Word> &words, const char *what) {
    if (words.empty()) return;
    ASSERT_EQ(ps.items.size(), words.size()) << what;
    for (size_t i = 0; i < words.size(); ++i) {
        EXPECT_EQ(ps.items[i].text, words[i].text) << what;
        EXPECT_NEAR(ps.items[i].x, words[i].x, 1e-9) << what << " " << i;
        EXPECT_NEAR(ps.items[i].y, words[i].y, 1e-9) << what << " " << i;
    }
}

}  // namespace

TEST(PageForms, TextAndImagesInsideForms) {
    struct Case {
        const char *what;
        std::string page;
        std::vector<FormSpec> forms;
        std::string text;
        std::vector<Word> words;
        std::vector<Image> images;
    } cases[] = {
        {"the form's matrix joins the CTM",
         "1 0 0 1 100 0 cm /Fm0 Do",
         {{"/Matrix [1 0 0 1 0 50]", "BT /F1 10 Tf 10 10 Td (in form) Tj ET"}},
         "in form ",
         {{"in", 110, 58}, {"form", 110 + 10 * (0.222 + 0.556 + 0.278), 58}},
         {}},
        {"own fonts: F1 is Courier inside the form (0.6 em)",
         "/Fm0 Do BT /F1 10 Tf (ab) Tj ET",
         {{"/Resources << /Font << /F1 @F2 >> >>", "BT /F1 10 Tf (a) Tj ( b) Tj ET"}},
         "a b ab ",
         {{"a", 0, -2}, {"b", 12, -2}, {"ab", 0, -2}},
         {}},
        {"without /Resources the form uses the page's fonts and images",
         "/Fm0 Do",
         {{"", "BT /F1 10 Tf (x) Tj ET q 10 0 0 10 5 5 cm /Im1 Do Q"}},
         "x ",
         {{"x", 0, -2}},
         {{"Im1", 5, 5, 10, 10}}},
        {"resources without /XObject: images from whatever drew the form",
         "/Fm0 Do",
         {{"/Resources << /Font << /F1 @F2 >> >>", "q 20 0 0 20 1 2 cm /Im1 Do Q"}},
         "",
         {},
         {{"Im1", 1, 2, 20, 20}}},
        {"a form inside a form, named only in the outer form's resources",
         "2 0 0 2 0 0 cm /Fm0 Do",
         {{"/Matrix [1 0 0 1 10 0] /Resources << /XObject << /Inner @1 /Img @Im >> >>",
           "/Inner Do 5 0 0 5 0 0 cm /Img Do"},
          {"/Matrix [1 0 0 1 0 10]", "BT (deep) Tj ET"}},
         "deep ",
         {{"deep", 20, 20 - 2.4}},
         {{"Img", 20, 0, 10, 10}}},
        {"the state comes back after the form",
         "BT /F1 10 Tf 0 0 Td (a) Tj ET /Fm0 Do BT 0 20 Td (b) Tj ET /Im1 Do",
         {{"/Matrix [3 0 0 3 0 0]", "q BT /F1 20 Tf (x) Tj ET 1 0 0 1 5 5 cm"}},
         "a x b ",
         {{"a", 0, -2}, {"x", 0, -4}, {"b", 0, 18}},
         {{"Im1", 0, 0, 1, 1}}},
        {"Q inside a form cannot restore what the page saved",
         "q 2 0 0 2 0 0 cm /Fm0 Do /Im1 Do Q",
         {{"", "Q Q 1 0 0 1 7 0 cm /Im1 Do"}},
         "",
         {},
         {{"Im1", 14, 0, 2, 2}, {"Im1", 0, 0, 2, 2}}},
        {"a form drawing itself is drawn once",
         "/Fm0 Do",
         {{"/Resources << /XObject << /Fm0 @0 >> >>", "BT (self) Tj ET /Fm0 Do"}},
         "self ",
         {{"self", 0, -2.4}},
         {}},
        {"two forms drawing each other: each once along the chain",
         "/Fm0 Do",
         {{"/Resources << /XObject << /B @1 >> >>", "BT (A) Tj ET /B Do"},
          {"/Resources << /XObject << /A @0 >> >>", "BT (B) Tj ET /A Do"}},
         "A B ",
         {},
         {}},
        {"a form drawn twice is read twice",
         "/Fm0 Do 1 0 0 1 0 100 cm /Fm0 Do",
         {{"", "BT (t) Tj ET"}},
         "t t ",
         {{"t", 0, -2.4}, {"t", 0, 97.6}},
         {}},
        {"an image XObject and an unknown name stay placements",
         "/Im1 Do /Nothing Do",
         {},
         "",
         {},
         {{"Im1", 0, 0, 1, 1}, {"Nothing", 0, 0, 1, 1}}},
        {"a word ends where a form begins",
         "BT (ab) Tj ET /Fm0 Do BT (cd) Tj ET",
         {{"", "BT (x) Tj ET"}},
         "ab x cd ",
         {},
         {}},
    };
    for (const Case &c : cases) {
        PageSummary ps = analyze_with_forms(c.page, c.forms, c.forms.empty() ? "" : "/Fm0 @0");
        EXPECT_EQ(ps.text, c.text) << c.what;
        expect_words(ps, c.words, c.what);
        ASSERT_EQ(ps.images.size(), c.images.size()) << c.what;
        for (size_t i = 0; i < c.images.size(); ++i) {
            const ImageItem &im = ps.images[i];
            EXPECT_EQ(std::string(im.name), c.images[i].name) << c.what;
            EXPECT_NEAR(im.x, c.images[i].x, 1e-9) << c.what;
            EXPECT_NEAR(im.y, c.images[i].y, 1e-9) << c.what;
            EXPECT_NEAR(im.w, c.images[i].w, 1e-9) << c.what;
            EXPECT_NEAR(im.h, c.images[i].h, 1e-9) << c.what;
        }
        page_analysis_free(&ps);
    }
}

// Forms nest 12 deep; a thirteenth level is not drawn.
TEST(PageForms, DepthLimit) {
    std::vector<FormSpec> forms;
    for (int k = 0; k < 15; ++k)
        forms.push_back({"/Resources << /XObject << /N @" + std::to_string(k + 1) + " >> >>",
                         "BT (L" + std::to_string(k + 1) + ") Tj ET /N Do"});
    forms.back().dict = "";
    PageSummary ps = analyze_with_forms("/Fm0 Do", forms);
    ASSERT_EQ(ps.items.size(), 12u);
    EXPECT_EQ(ps.items.back().text, "L12");
    page_analysis_free(&ps);
}

// Forms that draw each other many times over: the work for one page is
// capped, so the page ends quickly with a bounded number of words.
TEST(PageForms, FanOutIsBounded) {
    std::vector<FormSpec> forms;
    for (int k = 0; k < 8; ++k) {
        std::string content = "BT (w) Tj ET";
        for (int i = 0; i < 50; ++i) content += " /N Do";
        forms.push_back({"/Resources << /XObject << /N @" + std::to_string(k + 1) + " >> >>", content});
    }
    forms.push_back({"", "BT (leaf) Tj ET"});
    PageSummary ps = analyze_with_forms("/Fm0 Do", forms);
    // 50^8 draws without the cap.  With it, 2^24 bytes of form content,
    // each draw counted as at least 64 bytes more than its content: at most
    // 2^24 / (64 + 15) draws of the leaf, one word each.
    EXPECT_GT(ps.items.size(), 10000u);
    EXPECT_LT(ps.items.size(), 250000u);
    page_analysis_free(&ps);
}

// The content hash covers the forms a page draws: two pages whose own
// content is the same but whose forms differ hash differently.
TEST(PageForms, ContentHashCoversForms) {
    auto hash = [](const std::string &form_content) {
        PageSummary ps = analyze_with_forms("/Fm0 Do", {{"", form_content}});
        const uint64_t h = ps.content_hash;
        page_analysis_free(&ps);
        return h;
    };
    EXPECT_EQ(hash("0 0 10 10 re f"), hash("0 0 10 10 re f"));
    EXPECT_NE(hash("0 0 10 10 re f"), hash("0 0 20 10 re f"));
    // A page without forms keeps the plain hash of its own content.
    PageSummary ps = analyze_with_forms("/Im1 Do", {});
    uint64_t h = 0xcbf29ce484222325ull;
    for (char c : std::string("/Im1 Do")) h = (h ^ static_cast<uint8_t>(c)) * 0x100000001b3ull;
    EXPECT_EQ(ps.content_hash, h);
    page_analysis_free(&ps);
}

// q/Q and forms keep the text parameters with the rest of the text state:
// character spacing of 20 set inside q...Q, or inside a form, no longer
// spreads the letters of a word shown after it (spread letters would read
// as words of their own).
TEST(PageForms, TextParametersComeBack) {
    struct Case {
        const char *what;
        std::string page, form, text;
    } cases[] = {
        {"spacing inside the word splits it", "BT /F1 10 Tf 20 Tc (ab) Tj ET", "", "a b "},
        {"Q restores Tc", "BT /F1 10 Tf q 20 Tc Q (ab) Tj ET", "", "ab "},
        {"Q restores Tz and Tw as well", "BT /F1 10 Tf q 300 Tz Q (ab) Tj ET", "", "ab "},
        {"a form's Tc ends with the form", "/Fm0 Do BT /F1 10 Tf (ab) Tj ET", "20 Tc", "ab "},
    };
    for (const Case &c : cases) {
        DocBuilder b;
        const int f = b.object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /MacRomanEncoding >>");
        const int fm = b.stream("/Type /XObject /Subtype /Form /BBox [0 0 10 10]", c.form);
        b.page({.content = c.page, .resources = "<< /Font << /F1 " + std::to_string(f) + " 0 R >> /XObject << /Fm0 " +
                                                 std::to_string(fm) + " 0 R >> >>"});
        PdfDocument d;
        ASSERT_TRUE(load(b.build(), &d));
        PageSummary ps;
        analyze_page(d, 0, &ps);
        EXPECT_EQ(ps.text, c.text) << c.what;
        page_analysis_free(&ps);
    }
}

// Annotations' appearance streams: read as forms placed on their /Rect.
namespace {

// A page with F1 (Helvetica) and the given content; `streams` are written
// first (as appearance streams, with the dictionary entries given), then
// `annots`, one object each, listed in /Annots.  "@k" stands for the k-th
// stream, "@A" for the first annotation, in either.  `annots_value`, when
// given, replaces the /Annots value.
PageSummary analyze_with_annots(const std::string &page_content, const std::vector<FormSpec> &streams,
                                const std::vector<std::string> &annots, const std::string &annots_value = "") {
    DocBuilder b;
    const int f1 = b.font("Helvetica");
    const int first = b.next_num();
    const int first_annot = first + static_cast<int>(streams.size());
    auto fill = [&](std::string s) {
        for (size_t at; (at = s.find("@A")) != std::string::npos;) s.replace(at, 2, std::to_string(first_annot) + " 0 R");
        return fill_refs(std::move(s), first, streams.size());
    };
    for (const FormSpec &f : streams) b.stream(fill(f.dict), fill(f.content));
    std::string list;
    for (const std::string &a : annots) list += std::to_string(b.object(fill(a))) + " 0 R ";
    const std::string res = "<< /Font << /F1 " + std::to_string(f1) + " 0 R >> >>";
    b.page_extra = "/Annots " + (annots_value.empty() ? "[" + list + "]" : fill(annots_value));
    b.page({.content = page_content, .resources = res});
    PdfDocument d;
    EXPECT_TRUE(load(b.build(), &d));
    PageSummary ps;
    analyze_page(d, 0, &ps);
    return ps;
}

const std::string kField = "/Subtype /Form /BBox [0 0 100 20] /Resources << /Font << >> >>";
std::string widget(const std::string &rect, const std::string &more = "") {
    return "<< /Type /Annot /Subtype /Widget /Rect [" + rect + "] /AP << /N @0 >> " + more + " >>";
}

}  // namespace

TEST(PageAnnotations, AppearancesAreReadWhereTheyShow) {
    struct Case {
        const char *what;
        std::vector<FormSpec> streams;
        std::vector<std::string> annots;
        std::string text;
        std::vector<Word> words;
    } cases[] = {
        {"a field's value lands in its rectangle (page fonts when it has none)",
         {{"/BBox [0 0 100 20]", "BT /F1 10 Tf 2 5 Td (Total) Tj ET"}},
         {widget("200 300 300 320")},
         "Total ",
         {{"Total", 202, 303}}},
        {"a rectangle twice the box doubles the text",
         {{"/BBox [0 0 100 20]", "BT /F1 10 Tf 2 5 Td (big) Tj ET"}},
         {widget("200 300 400 340")},
         "big ",
         {{"big", 204, 308}}},  // the old reading drops 0.2 em, unscaled, below the baseline
        {"the box through /Matrix is what maps onto the rectangle",
         {{"/BBox [0 0 50 10] /Matrix [2 0 0 2 10 10]", "BT /F1 5 Tf 2 5 Td (m) Tj ET"}},
         {widget("300 320 200 300")},  // corners in any order
         "m ",
         {{"m", 204, 309}}},
        {"/AS picks the state of an /N dictionary",
         {{"/BBox [0 0 10 10]", "BT /F1 10 Tf (on) Tj ET"}, {"/BBox [0 0 10 10]", "BT /F1 10 Tf (off) Tj ET"}},
         {"<< /Subtype /Widget /Rect [0 0 10 10] /AS /Off /AP << /N << /On @0 /Off @1 >> /D << /Off @0 >> >> >>",
          "<< /Subtype /Widget /Rect [0 0 10 10] /AP << /N << /On @0 /Off @1 >> >> >>",
          "<< /Subtype /Widget /Rect [0 0 10 10] /AS /Maybe /AP << /N << /On @0 >> >> >>"},
         "off ",
         {}},
        {"hidden, no-view and popup annotations draw nothing; print-only ones do",
         {{"/BBox [0 0 10 10]", "BT /F1 10 Tf (seen) Tj ET"}},
         {widget("0 0 10 10", "/F 2"), widget("0 0 10 10", "/F 32"), widget("0 0 10 10", "/F 4"),
          "<< /Subtype /Popup /Rect [0 0 10 10] /AP << /N @0 >> >>"},
         "seen ",
         {}},
        {"an appearance without /Subtype is a form; an image is not",
         {{"/BBox [0 0 10 10]", "BT /F1 10 Tf (plain) Tj ET"},
          {"/Subtype /Image /BBox [0 0 10 10] /Width 1 /Height 1", "BT /F1 10 Tf (img) Tj ET"}},
         {"<< /Rect [0 0 10 10] /AP << /N @0 >> >>", "<< /Rect [0 0 10 10] /AP << /N @1 >> >>"},
         "plain ",
         {}},
        {"a rectangle or box without area, or no box at all, draws nothing",
         {{"/BBox [0 0 10 10]", "BT /F1 10 Tf (a) Tj ET"}, {"/BBox [0 0 0 10]", "BT /F1 10 Tf (b) Tj ET"},
          {"", "BT /F1 10 Tf (c) Tj ET"}},
         {widget("5 5 5 50"), "<< /Rect [0 0 10 10] /AP << /N @1 >> >>", "<< /Rect [0 0 10 10] /AP << /N @2 >> >>",
          "<< /Rect [0 0 10] /AP << /N @0 >> >>"},
         "",
         {}},
        {"each appearance starts from a fresh text state, after the page's own text",
         {{"/BBox [0 0 100 20]", "BT 2 5 Td (ab) Tj ET"}, {"/BBox [0 0 100 20]", "BT /F1 10 Tf (cd) Tj ET"}},
         {"<< /Rect [0 0 100 20] /AP << /N @1 >> >>", widget("0 100 100 120")},
         "cd ab ",
         {}},
        {"an appearance drawing itself, or whose /N is the annotation, draws once",
         {{kField + " /Resources << /XObject << /Me @0 >> >>", "BT /F1 10 Tf (once) Tj ET /Me Do"}},
         {widget("0 0 100 20"), "<< /Rect [0 0 10 10] /AS /N /AP << /N @A >> >>"},
         "once ",
         {}},
    };
    for (const Case &c : cases) {
        PageSummary ps = analyze_with_annots("BT /F1 10 Tf 40 Tc ET", c.streams, c.annots);
        EXPECT_EQ(ps.text, c.text) << c.what;
        expect_words(ps, c.words, c.what);
        page_analysis_free(&ps);
    }
}

// /Annots that is no array, entries that are no annotations, and a page
// listing more annotations than are read.
TEST(PageAnnotations, HostileLists) {
    const std::vector<FormSpec> one = {{"/BBox [0 0 10 10]", "BT /F1 10 Tf (x) Tj ET"}};
    for (const char *value : {"<< /Rect [0 0 10 10] /AP << /N @0 >> >>", "null", "7", "[ 1 2 (s) /N null [ [ ] ]",
                              "[ << /Rect [0 0 10 10] /AP 0 0 R >> << /AP << /N (x) >> >> 999 0 R"}) {
        PageSummary ps = analyze_with_annots("", one, {}, value);
        EXPECT_EQ(ps.text, "") << value;
        page_analysis_free(&ps);
    }
    // An annotation written in place in the array is read like one by reference.
    PageSummary inplace = analyze_with_annots("", one, {}, "[ << /Rect [0 0 10 10] /AP << /N @0 >> >> ]");
    EXPECT_EQ(inplace.text, "x ");
    page_analysis_free(&inplace);
    // 5,000 entries naming one annotation: the first 4,096 are drawn.
    std::string many = "[";
    for (int i = 0; i < 5000; ++i) many += " @A";
    PageSummary ps = analyze_with_annots("", one, {widget("0 0 10 10")}, many + "]");
    EXPECT_EQ(ps.items.size(), 4096u);
    page_analysis_free(&ps);
}

// A page's hash covers its appearances and where they are placed; a page
// whose annotations show nothing keeps the hash of its content.
TEST(PageAnnotations, ContentHashCoversAppearances) {
    auto hash = [](const std::string &text, const std::string &rect) {
        PageSummary ps = analyze_with_annots("0 0 1 1 re f", {{"/BBox [0 0 100 20]", "BT /F1 10 Tf (" + text + ") Tj ET"}},
                                             {widget(rect)});
        const uint64_t h = ps.content_hash;
        page_analysis_free(&ps);
        return h;
    };
    EXPECT_EQ(hash("a", "0 0 100 20"), hash("a", "0 0 100 20"));
    EXPECT_NE(hash("a", "0 0 100 20"), hash("b", "0 0 100 20"));
    EXPECT_NE(hash("a", "0 0 100 20"), hash("a", "0 10 100 30"));
    PageSummary hidden = analyze_with_annots("0 0 1 1 re f", {{"/BBox [0 0 10 10]", ""}}, {widget("0 0 10 10", "/F 2")});
    uint64_t h = 0xcbf29ce484222325ull;
    for (char c : std::string("0 0 1 1 re f")) h = (h ^ static_cast<uint8_t>(c)) * 0x100000001b3ull;
    EXPECT_EQ(hidden.content_hash, h);
    page_analysis_free(&hidden);
    // A page without content still shows its annotations.
    PageSummary bare = analyze_with_annots("", {{"/BBox [0 0 10 10]", "BT /F1 10 Tf (bare) Tj ET"}}, {widget("0 0 10 10")});
    EXPECT_EQ(bare.text, "bare ");
    EXPECT_NE(bare.content_hash, 0u);
    page_analysis_free(&bare);
}
