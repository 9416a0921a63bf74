// Standard font width tables and the choice of a table by base font name.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "font/font_metrics.h"

using namespace morvex;

namespace {

struct NamedTable {
    const char *name;
    const int16_t *widths;
};

constexpr NamedTable kCourierTables[] = {
    {"Courier", courier_widths},
    {"Courier-Oblique", courier_oblique_widths},
    {"Courier-Bold", courier_bold_widths},
    {"Courier-BoldOblique", courier_boldoblique_widths},
};

constexpr NamedTable kLatinTables[] = {
    {"Helvetica", helvetica_widths},
    {"Helvetica-Oblique", helvetica_oblique_widths},
    {"Helvetica-Bold", helvetica_bold_widths},
    {"Helvetica-BoldOblique", helvetica_boldoblique_widths},
    {"Courier", courier_widths},
    {"Courier-Oblique", courier_oblique_widths},
    {"Courier-Bold", courier_bold_widths},
    {"Courier-BoldOblique", courier_boldoblique_widths},
    {"Times-Roman", times_roman_widths},
    {"Times-Italic", times_italic_widths},
    {"Times-Bold", times_bold_widths},
    {"Times-BoldItalic", times_bolditalic_widths},
};

// Codes to which WinAnsiEncoding assigns no glyph, plus the no-break space.
bool latin_code_is_empty(int c) {
    return c < 0x20 || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 ||
           c == 0x9D || c == 0xA0;
}

std::string hex(int c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", c);
    return buf;
}

}  // namespace

TEST(FontMetrics, ReferenceRowsMatchThePublishedWidths) {
    struct Row {
        int code;
        int helvetica, helvetica_bold, courier, times_roman, times_italic, symbol, zapf;
    } rows[] = {
        {0x20, 278, 278, 600, 250, 250, 250, 278},
        {0x27, 191, 238, 600, 180, 214, 439, 790},
        {0x41, 667, 722, 600, 722, 611, 722, 692},
        {0x61, 556, 556, 600, 444, 500, 631, 789},
        {0x80, 556, 556, 600, 500, 500, 0, 0},
        {0xE9, 556, 556, 600, 444, 444, 384, 836},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(hex(r.code));
        EXPECT_EQ(helvetica_widths[r.code], r.helvetica);
        EXPECT_EQ(helvetica_bold_widths[r.code], r.helvetica_bold);
        for (const NamedTable &t : kCourierTables) EXPECT_EQ(t.widths[r.code], r.courier) << t.name;
        EXPECT_EQ(times_roman_widths[r.code], r.times_roman);
        EXPECT_EQ(times_italic_widths[r.code], r.times_italic);
        EXPECT_EQ(symbol_widths[r.code], r.symbol);
        EXPECT_EQ(zapfdingbats_widths[r.code], r.zapf);
    }
}

TEST(FontMetrics, LatinTablesAreEmptyExactlyWhereWinAnsiHasNoGlyph) {
    for (const NamedTable &t : kLatinTables) {
        SCOPED_TRACE(t.name);
        int nonzero = 0;
        for (int c = 0; c < 256; ++c) {
            if (latin_code_is_empty(c)) {
                EXPECT_EQ(t.widths[c], 0) << hex(c);
            } else {
                EXPECT_GT(t.widths[c], 0) << hex(c);
            }
            if (t.widths[c] != 0) ++nonzero;
        }
        EXPECT_EQ(nonzero, 217);
    }
}

TEST(FontMetrics, CourierIsMonospacedAt600) {
    for (const NamedTable &t : kCourierTables) {
        for (int c = 0; c < 256; ++c) {
            if (t.widths[c] != 0) {
                EXPECT_EQ(t.widths[c], 600) << t.name << " " << hex(c);
            }
        }
    }
}

TEST(FontMetrics, SoftHyphenIsMeasuredAsMinus) {
    // The plain hyphen at 0x2D keeps its own, narrower width.
    struct Case {
        const int16_t *widths;
        const char *name;
        int soft_hyphen, hyphen;
    } cases[] = {
        {helvetica_widths, "Helvetica", 584, 333},
        {helvetica_oblique_widths, "Helvetica-Oblique", 584, 333},
        {helvetica_bold_widths, "Helvetica-Bold", 584, 333},
        {helvetica_boldoblique_widths, "Helvetica-BoldOblique", 584, 333},
        {courier_widths, "Courier", 600, 600},
        {courier_oblique_widths, "Courier-Oblique", 600, 600},
        {courier_bold_widths, "Courier-Bold", 600, 600},
        {courier_boldoblique_widths, "Courier-BoldOblique", 600, 600},
        {times_roman_widths, "Times-Roman", 564, 333},
        {times_italic_widths, "Times-Italic", 675, 333},
        {times_bold_widths, "Times-Bold", 570, 333},
        {times_bolditalic_widths, "Times-BoldItalic", 606, 333},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.widths[0xAD], c.soft_hyphen) << c.name;
        EXPECT_EQ(c.widths[0x2D], c.hyphen) << c.name;
    }
}

TEST(FontMetrics, HelveticaFamilyAdjustments) {
    struct Case {
        const int16_t *widths;
        const char *name;
        int superior, fraction;
    } cases[] = {
        {helvetica_widths, "Helvetica", 351, 869},
        {helvetica_oblique_widths, "Helvetica-Oblique", 390, 947},
        {helvetica_bold_widths, "Helvetica-Bold", 351, 869},
        {helvetica_boldoblique_widths, "Helvetica-BoldOblique", 444, 1055},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.widths[0xB0], 606);
        for (int code : {0xB2, 0xB3, 0xB9}) EXPECT_EQ(c.widths[code], c.superior) << hex(code);
        for (int code : {0xBC, 0xBD, 0xBE}) EXPECT_EQ(c.widths[code], c.fraction) << hex(code);
    }
    // The Times tables keep the AFM widths of the same glyphs.
    EXPECT_EQ(times_roman_widths[0xB0], 400);
    EXPECT_EQ(times_roman_widths[0xB2], 300);
    EXPECT_EQ(times_roman_widths[0xBC], 750);
}

TEST(FontMetrics, PlainHelveticaOnlyAdjustments) {
    // Helvetica-Oblique keeps the AFM widths of the same glyphs.
    struct Case {
        int code;
        int plain, others;
    } cases[] = {
        {0x92, 221, 222},
        {0xDD, 666, 667},
        {0xDE, 666, 667},
        {0xFE, 555, 556},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(hex(c.code));
        EXPECT_EQ(helvetica_widths[c.code], c.plain);
        EXPECT_EQ(helvetica_oblique_widths[c.code], c.others);
    }
    // So do the bold tables.
    EXPECT_EQ(helvetica_bold_widths[0x92], 278);
    EXPECT_EQ(helvetica_bold_widths[0xDD], 667);
    EXPECT_EQ(helvetica_bold_widths[0xFE], 611);
}

TEST(FontMetrics, SymbolAndDingbatsFollowTheirOwnEncodings) {
    EXPECT_EQ(symbol_widths[0xA0], 762);  // the Euro slot
    EXPECT_EQ(symbol_widths[0x7F], 0);
    EXPECT_EQ(symbol_widths[0xFF], 0);
    for (int c = 0x80; c <= 0x8D; ++c) EXPECT_EQ(zapfdingbats_widths[c], 0) << hex(c);
    EXPECT_EQ(zapfdingbats_widths[0x7E], 668);
    EXPECT_EQ(zapfdingbats_widths[0xA1], 732);
    EXPECT_EQ(zapfdingbats_widths[0xFE], 918);
    EXPECT_EQ(zapfdingbats_widths[0xFF], 0);
}

TEST(FontMetrics, CaseInsensitiveSearch) {
    struct Case {
        const char *haystack;
        const char *needle;
        int want;  // offset of the match, -1 for none
    } cases[] = {
        {"Helvetica", "helvetica", 0},
        {"ABCDEF+HELVETICA-Bold", "Helvetica-bold", 7},
        {"aXbxc", "XC", 3},             // the first start fails, a later one matches
        {"Helveticx Helvetica", "helvetica", 10},
        {"Helv", "Helvetica", -1},      // the haystack ends inside the needle
        {"Times", "Times", 0},
        {"xx", "", 0},                  // an empty needle matches at the start
        {"", "", -1},                   // an empty haystack never matches
        {"", "a", -1},
        {"@", "`", -1},                 // only letters are folded
        {"[", "{", -1},
        {"\xC4", "\xE4", -1},           // bytes above ASCII are compared as they are
        {"a\xC4z", "\xC4Z", 1},
    };
    for (const Case &c : cases) {
        const char *got = qv_strcasestr(c.haystack, c.needle);
        if (c.want < 0) {
            EXPECT_EQ(got, nullptr) << '"' << c.haystack << "\" / \"" << c.needle << '"';
        } else {
            EXPECT_EQ(got, c.haystack + c.want) << '"' << c.haystack << "\" / \"" << c.needle << '"';
        }
    }
}

TEST(FontMetrics, BaseFontNameChoosesTheTable) {
    struct Case {
        const char *base_font;
        const int16_t *want;
    } cases[] = {
        {"Courier", courier_widths},
        {"Courier-Oblique", courier_oblique_widths},
        {"Courier-Bold", courier_bold_widths},
        {"Courier-BoldOblique", courier_boldoblique_widths},
        {"Helvetica", helvetica_widths},
        {"Helvetica-Oblique", helvetica_oblique_widths},
        {"Helvetica-Bold", helvetica_bold_widths},
        {"Helvetica-BoldOblique", helvetica_boldoblique_widths},
        {"Times-Roman", times_roman_widths},
        {"Times-Italic", times_italic_widths},
        {"Times-Bold", times_bold_widths},
        {"Times-BoldItalic", times_bolditalic_widths},
        {"Symbol", symbol_widths},
        {"ZapfDingbats", zapfdingbats_widths},
        {"ABCDEF+Helvetica-Bold", helvetica_bold_widths},
        {"helvetica-boldoblique", helvetica_boldoblique_widths},
        {"ABCDEF+Times-BoldItalic,Subset", times_bolditalic_widths},
        {"TimesNewRomanPS-BoldMT", times_roman_widths},
        {"CourierNewPSMT", courier_widths},
        {"Arial-BoldMT", helvetica_widths},
        {"SYMBOLMT", symbol_widths},
        {"", helvetica_widths},
        {nullptr, helvetica_widths},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(widths_for_base_font(c.base_font), c.want)
            << (c.base_font ? c.base_font : "(null)");
    }
}
