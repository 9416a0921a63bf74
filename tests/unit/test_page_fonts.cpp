// The font slots of a page: where /Resources and /Font are found, which
// keys fill slots, and the width table each slot gets.
#include "font/font_metrics.h"
#include "page/fonts.h"
#include "page/text_runs.h"
#include "page/page.h"
#include "test_util.h"

using namespace morvex;
using fixture::DocBuilder;
using fixture::PdfWriter;
using testutil::load;

namespace {

struct Slot {
    std::string name;
    int obj;
    const int16_t *widths;
    int has_base_font;
};

std::vector<Slot> slots_of(const std::string &pdf, int page = 0) {
    PdfDocument d;
    EXPECT_TRUE(load(pdf, &d));
    std::vector<Slot> out;
    if (page >= d.page_count()) {
        ADD_FAILURE() << "no page " << page;
        return out;
    }
    InterpState st;
    interp_init(&st);
    resolve_page_fonts(d, d.pages[static_cast<size_t>(page)], &st);
    for (int i = 0; i < st.font_count; ++i)
        out.push_back({st.fonts[i].name, st.fonts[i].obj_num, st.fonts[i].widths, st.fonts[i].has_base_font});
    interp_free(&st);
    return out;
}

// Catalog 1, pages 2, page 3 with `page_extra`, then the given objects.
std::string page_with(const std::string &page_extra, const std::vector<std::pair<int, std::string>> &objects,
                      const std::string &pages_extra = "") {
    PdfWriter w;
    w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 " + pages_extra + " >>");
    w.add(3, "<< /Type /Page /Parent 2 0 R " + page_extra + " >>");
    for (const auto &[num, body] : objects) w.add(num, body);
    return w.build();
}

const std::string kHelv = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
const std::string kTimes = "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >>";

}  // namespace

TEST(PageFonts, WhereTheFontDictionaryIsFound) {
    struct Case {
        const char *what;
        std::string page_extra, pages_extra;
        std::vector<std::pair<int, std::string>> objects;
        std::vector<std::string> names;
    } cases[] = {
        {"in place", "/Resources << /Font << /F1 5 0 R /F2 6 0 R >> >>", "", {{5, kHelv}, {6, kTimes}}, {"F1", "F2"}},
        {"indirect resources, in-place fonts", "/Resources 4 0 R", "",
         {{4, "<< /Font << /F1 5 0 R /F2 6 0 R >> >>"}, {5, kHelv}, {6, kTimes}}, {"F1", "F2"}},
        {"indirect font dictionary", "/Resources << /Font 4 0 R >>", "", {{4, "<< /F7 5 0 R >>"}, {5, kHelv}}, {"F7"}},
        {"inherited from the Pages node", "", "/Resources << /Font << /F1 5 0 R >> >>", {{5, kHelv}}, {"F1"}},
        {"the page's own resources win", "/Resources << /Font << /P 6 0 R >> >>",
         "/Resources << /Font << /F1 5 0 R >> >>", {{5, kHelv}, {6, kTimes}}, {"P"}},
        {"no /Font", "/Resources << /ProcSet [/PDF] >>", "", {}, {}},
        {"resources neither dictionary nor reference", "/Resources /Oops", "", {}, {}},
        {"resources object missing", "/Resources 9 0 R", "", {}, {}},
        {"font dictionary object missing", "/Resources << /Font 9 0 R >>", "", {}, {}},
        // The scan ends with the font dictionary.
        {"later keys are no fonts", "/Resources << /Font << /F1 5 0 R >> /XObject << /Im1 6 0 R >> >>", "",
         {{5, kHelv}, {6, "<< >>"}}, {"F1"}},
        {"an indirect font dictionary ends too", "/Resources << /Font 4 0 R /XObject << /Im1 6 0 R >> >>", "",
         {{4, "<< /F7 5 0 R >> /Junk 6 0 R"}, {5, kHelv}, {6, "<< >>"}}, {"F7"}},
        // Names run to whitespace or a delimiter, as producers write them.
        {"names with other characters", "/Resources << /Font << /F1.0 5 0 R /f-0-0 5 0 R /F_3 5 0 R /F#20 5 0 R>> >>",
         "", {{5, kHelv}}, {"F1.0", "f-0-0", "F_3", "F#20"}},
        {"object number 0 is no reference", "/Resources << /Font << /F0 0 0 R /F1 5 0 R >> >>", "", {{5, kHelv}}, {"F1"}},
        {"63 characters fill, 64 do not",
         "/Resources << /Font << /" + std::string(63, 'a') + " 5 0 R /" + std::string(64, 'b') + " 5 0 R >> >>", "",
         {{5, kHelv}}, {std::string(63, 'a')}},
    };
    for (const Case &c : cases) {
        std::vector<std::string> got;
        for (const Slot &s : slots_of(page_with(c.page_extra, c.objects, c.pages_extra))) got.push_back(s.name);
        EXPECT_EQ(got, c.names) << c.what;
    }
}

TEST(PageFonts, TablesFollowTheBaseFont) {
    struct Case {
        std::string font;
        const int16_t *widths;
        int has_base_font;
    } cases[] = {
        {kHelv, helvetica_widths, 1},
        {"<< /BaseFont /ABCDEF+Times-Bold >>", times_bold_widths, 1},
        {"<< /BaseFont /CourierNewPSMT >>", courier_widths, 1},
        {"<< /BaseFont /Arial-BoldMT >>", helvetica_widths, 1},
        {"<< /Type /Font /Subtype /Type3 >>", helvetica_widths, 0},
        {"<< /BaseFont 7 >>", helvetica_widths, 0},
        {"<< /BaseFont / >>", helvetica_widths, 0},
        {"<< /BaseFont /" + std::string(64, 'T') + " >>", helvetica_widths, 0},
        {"<< /BaseFont\n/Symbol >>", symbol_widths, 1},
    };
    for (const Case &c : cases) {
        const std::vector<Slot> s = slots_of(page_with("/Resources << /Font << /F1 5 0 R >> >>", {{5, c.font}}));
        ASSERT_EQ(s.size(), 1u) << c.font;
        EXPECT_EQ(s[0].obj, 5);
        EXPECT_EQ(s[0].widths, c.widths) << c.font;
        EXPECT_EQ(s[0].has_base_font, c.has_base_font) << c.font;
    }
    // A font object that does not exist still fills its slot.
    const std::vector<Slot> s = slots_of(page_with("/Resources << /Font << /F1 8 0 R >> >>", {}));
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].obj, 8);
    EXPECT_EQ(s[0].widths, helvetica_widths);
    EXPECT_EQ(s[0].has_base_font, 0);
}

TEST(PageFonts, AtMost256Slots) {
    std::string fonts;
    for (int i = 0; i < 262; ++i) fonts += "/F" + std::to_string(i) + " 5 0 R ";
    const std::vector<Slot> s = slots_of(page_with("/Resources << /Font << " + fonts + ">> >>", {{5, kHelv}}));
    ASSERT_EQ(s.size(), 256u);
    EXPECT_EQ(s.front().name, "F0");
    EXPECT_EQ(s.back().name, "F255");
}

TEST(PageFonts, ResourcesInsideAnObjectStream) {
    PdfWriter w;
    w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.add_in_objstm(20, 3, "<< /Type /Page /Parent 2 0 R /Resources 4 0 R >>");
    w.add_in_objstm(20, 4, "<< /Font << /F1 5 0 R >> >>");
    w.add_in_objstm(20, 5, "<< /Type /Font /BaseFont /Courier-Bold >>");
    w.set_xref(fixture::XrefKind::stream);
    const std::vector<Slot> s = slots_of(w.build());
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].widths, courier_bold_widths);
}

// Inherited resources reach the words: Helvetica's A at size 10 is 6.67
// wide, where a page without fonts would measure 0.5 em = 5.
TEST(PageFonts, InheritedResourcesMeasureTheWords) {
    DocBuilder b;
    const int f = b.font("Helvetica");
    b.pages_extra = "/Resources << /Font << /F1 " + std::to_string(f) + " 0 R >> >>";
    b.page({.content = "BT /F1 10 Tf 100 700 Td (A) Tj ET"});
    PdfDocument d;
    ASSERT_TRUE(load(b.build(), &d));
    PageSummary ps;
    analyze_page(d, 0, &ps);
    ASSERT_EQ(ps.items.size(), 1u);
    EXPECT_NEAR(ps.items[0].w, 6.67, 1e-9);
    page_analysis_free(&ps);
}
