// Word building and image placements, fed directly into an InterpState.
#include <cmath>

#include "font/font_metrics.h"
#include "page/text_runs.h"
#include "test_util.h"

using namespace morvex;

namespace {

void emit(InterpState *st, const std::string &s) {
    interp_emit_string(st, reinterpret_cast<const unsigned char *>(s.data()), s.size());
}

// A state with one font slot (F1) selected, unless `widths` is null.
void with_font(InterpState *st, const int16_t *widths, int has_base_font, double size) {
    interp_init(st);
    if (widths) {
        std::strcpy(st->fonts[0].name, "F1");
        st->fonts[0].widths = widths;
        st->fonts[0].has_base_font = has_base_font;
        st->font_count = 1;
        st->cur_font = &st->fonts[0];
    }
    st->font_size = size;
}

void translate(InterpState *st, double x, double y) {
    st->tm = st->lm = {1, 0, 0, 1, x, y};
    st->advance = 0;
}

}  // namespace

TEST(TextRuns, BoxesFollowTheWidthsAndTheTextMatrix) {
    struct Case {
        const char *what;
        const int16_t *widths;
        double size, tx, ty;
        std::string shown;
        std::vector<std::array<double, 4>> boxes;  // x, y, w, h per word
    } cases[] = {
        // The space is no word but still moves b one space width on.
        {"a space b", helvetica_widths, 10, 100, 700, "a b",
         {{100, 698, 5.56, 11}, {100 + 5.56 + 2.78, 698, 5.56, 11}}},
        {"Courier", courier_widths, 20, 0, 0, "ab", {{0, -4, 24, 22}}},
        // A non-breaking space has no width and stays inside the word.
        {"nbsp", helvetica_widths, 10, 0, 0, "a\xA0" "a", {{0, -2, 11.12, 11}}},
    };
    for (const Case &c : cases) {
        InterpState st;
        with_font(&st, c.widths, 1, c.size);
        translate(&st, c.tx, c.ty);
        emit(&st, c.shown);
        interp_flush_word(&st);
        ASSERT_EQ(st.items.size(), c.boxes.size()) << c.what;
        for (size_t i = 0; i < c.boxes.size(); ++i) {
            const TextItem &it = st.items[i];
            EXPECT_NEAR(it.x, c.boxes[i][0], 1e-9) << c.what << " word " << i;
            EXPECT_NEAR(it.y, c.boxes[i][1], 1e-9) << c.what << " word " << i;
            EXPECT_NEAR(it.w, c.boxes[i][2], 1e-9) << c.what << " word " << i;
            EXPECT_NEAR(it.h, c.boxes[i][3], 1e-9) << c.what << " word " << i;
            EXPECT_EQ(it.font_size, c.size) << c.what;
        }
        interp_free(&st);
    }
}

TEST(TextRuns, TheStepIsNotScaledByTheTextMatrix) {
    // Origins go through the matrix; the last glyph's width is added as is.
    InterpState st;
    with_font(&st, nullptr, 0, 10);
    st.tm = st.lm = {2, 0, 0, 2, 50, 60};
    emit(&st, "ab");
    interp_flush_word(&st);
    ASSERT_EQ(st.items.size(), 1u);
    EXPECT_EQ(st.items[0].x, 50);
    EXPECT_EQ(st.items[0].w, 10 + 5);  // origin of b at 50 + 2*5, plus 5
    interp_free(&st);
}

TEST(TextRuns, BytesBecomeUtf8ByFontKind) {
    struct Case {
        const char *what;
        const int16_t *widths;
        int has_base_font;
        std::string shown, text;
    } cases[] = {
        {"0x93 in a font without /BaseFont", helvetica_widths, 0, "\x93", "\xC2\x93 "},
        {"euro", helvetica_widths, 1, "\x80", "\xE2\x82\xAC "},
        {"unassigned 0x81 keeps its value", helvetica_widths, 1, "\x81", "\xC2\x81 "},
        {"0x9F", helvetica_widths, 1, "\x9F", "\xC5\xB8 "},
        {"Latin-1 e acute", helvetica_widths, 1, "caf\xE9", "caf\xC3\xA9 "},
        {"ASCII around high bytes", nullptr, 0, "a\xFFz", "a\xC3\xBFz "},
    };
    for (const Case &c : cases) {
        InterpState st;
        with_font(&st, c.widths, c.has_base_font, 12);
        emit(&st, c.shown);
        interp_flush_word(&st);
        EXPECT_EQ(st.page_text, c.text) << c.what;
        interp_free(&st);
    }
}

TEST(TextRuns, WhiteSpaceEndsWordsAndLineBreaksReachThePageText) {
    struct Case {
        std::string shown, text;
        size_t words;
    } cases[] = {
        {"one\ntwo", "one \ntwo ", 2},
        {"one\r\ntwo", "one \n\ntwo ", 2},
        {"a\tb\x0B" "c\x0C" "d", "a b c d ", 4},
        {"\n\n", "\n\n", 0},
        {"  lead  trail  ", "lead trail ", 2},
        {std::string("x\0y", 3), std::string("x\0y ", 4), 1},  // NUL is no white space
    };
    for (const Case &c : cases) {
        InterpState st;
        with_font(&st, nullptr, 0, 12);
        emit(&st, c.shown);
        interp_flush_word(&st);
        EXPECT_EQ(st.page_text, c.text);
        EXPECT_EQ(st.items.size(), c.words);
        interp_free(&st);
    }
}

TEST(TextRuns, AWordRunsAcrossStringsUntilFlushed) {
    InterpState st;
    with_font(&st, helvetica_widths, 1, 10);
    emit(&st, "A");
    emit(&st, "");
    emit(&st, "B");
    EXPECT_TRUE(st.items.empty());
    interp_flush_word(&st);
    interp_flush_word(&st);  // nothing under way: no second item
    ASSERT_EQ(st.items.size(), 1u);
    EXPECT_EQ(st.items[0].text, "AB");
    EXPECT_NEAR(st.items[0].w, 13.34, 1e-9);
    EXPECT_EQ(st.page_text, "AB ");
    // The size in effect when the word ends sets y and h.
    emit(&st, "C");
    st.font_size = 20;
    interp_flush_word(&st);
    EXPECT_EQ(st.items[1].y, -4);
    EXPECT_EQ(st.items[1].h, 22);
    EXPECT_EQ(st.items[1].font_size, 20);
    interp_free(&st);
}

TEST(TextRuns, ImagePlacementBoxes) {
    struct Case {
        const char *what;
        Matrix ctm;
        double x, y, w, h;
    } cases[] = {
        {"mirrored", {-100, 0, 0, -50, 110, 70}, 10, 20, 100, 50},
        {"just below one", {0.999, 0, 0, 0.999, 5, 5}, 5, 5, 32, 32},
        // Rotated by 90 degrees: only the corners (0,0) and (1,1) count.
        {"rotated", {0, 200, -100, 0, 300, 0}, 200, 0, 100, 200},
    };
    for (const Case &c : cases) {
        InterpState st;
        interp_init(&st);
        st.ctm = c.ctm;
        interp_add_image(&st, "Im1");
        ASSERT_EQ(st.images.size(), 1u);
        const ImageItem &im = st.images[0];
        EXPECT_STREQ(im.name, "Im1");
        EXPECT_EQ(im.x, c.x) << c.what;
        EXPECT_EQ(im.y, c.y) << c.what;
        EXPECT_EQ(im.w, c.w) << c.what;
        EXPECT_EQ(im.h, c.h) << c.what;
        interp_free(&st);
    }
}
