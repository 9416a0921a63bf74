// Scanning helpers: keywords, names, numbers, references, boxes, dictionaries.
#include <clocale>
#include <cmath>

#include "scan.h"
#include "test_util.h"

using namespace morvex;
using testutil::bytes;
using testutil::len;

TEST(Scan, KeywordsStandAloneAtBothEndsOfTheRange) {
    const std::string s = "trailer";
    EXPECT_EQ(kw_at(bytes(s), 0, len(s), "trailer"), 1);
    const std::string t = "x trailer";
    EXPECT_EQ(kw_at(bytes(t), 2, len(t), "trailer"), 1);
    EXPECT_EQ(kw_at(bytes(t), 2, len(t) - 1, "trailer"), 0);  // does not fit
    EXPECT_EQ(kw_at(bytes(t), -1, len(t), "trailer"), 0);

    const std::string obj = "1 0 obj";
    EXPECT_EQ(find_kw(bytes(obj), len(obj), 0, "obj"), 4);
    const std::string endobj = "endobj";
    EXPECT_EQ(find_kw(bytes(endobj), len(endobj), 0, "obj"), -1);
    const std::string endstream = "endstream";
    EXPECT_EQ(find_kw(bytes(endstream), len(endstream), 0, "stream"), -1);
    const std::string sx = "startxref xref";
    EXPECT_EQ(find_kw(bytes(sx), len(sx), 0, "xref"), 10);
    EXPECT_EQ(find_kw(bytes(sx), len(sx), -5, "startxref"), 0);
    EXPECT_EQ(find_kw_last(bytes(sx), len(sx), "xref"), 10);
    const std::string two = "startxref 1 startxref 2 startxrefs";
    EXPECT_EQ(find_kw_last(bytes(two), len(two), "startxref"), 12);
}

TEST(Scan, NamesEndAtADelimiterOrTheLimit) {
    struct Case {
        std::string text;
        const char *name;
        int32_t end;
        int32_t want;
    } cases[] = {
        {"/Type/Page", "Type", 100, 0},
        {"/Type\n", "Type", 100, 0},
        {"/TypeX /Type", "Type", 100, 7},
        {"/Length1 5 /Length 10", "Length", 100, 11},
        {"/EncryptMetadata true", "Encrypt", 100, -1},
        {"/Type /Pages", "Pages", 100, 6},        // a value counts as well
        {"<< /Pages", "Pages", 100, 3},           // ends exactly at the limit
        {"/Pages", "Pages", 5, -1},               // the token ends after the limit
        {"/Pages)", "Pages", 100, -1},            // ')' is not a delimiter
        {"/Pages(", "Pages", 100, 0},
        {"//Pages", "Pages", 100, 1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(find_name(bytes(c.text), len(c.text), 0, c.end, c.name), c.want) << c.text;
    }
    const std::string s = "/A /A";
    EXPECT_EQ(find_name(bytes(s), len(s), 1, 100, "A"), 3);
    EXPECT_EQ(find_name(bytes(s), len(s), -7, 100, "A"), 0);
}

TEST(Scan, IntegersTakeASignAndLeaveThePositionAloneOnFailure) {
    struct Case {
        std::string text;
        int32_t want;
        int32_t pos_after;
    } cases[] = {
        {"  -42 0 R", -42, 5}, {"+7", 7, 2}, {"- ", -1, 0}, {"abc", -1, 0}, {"", -1, 0},
        {"12abc", 12, 2},      {"-", -1, 0}, {"  ", -1, 0},
        {"99999999999999999999", INT32_MAX, 20},  // saturates instead of wrapping
        {"-99999999999999999999", INT32_MIN, 21},
    };
    for (const Case &c : cases) {
        int32_t pos = 0;
        EXPECT_EQ(parse_int_at(bytes(c.text), len(c.text), &pos), c.want) << c.text;
        EXPECT_EQ(pos, c.pos_after) << c.text;
    }
    const std::string neg = "-5";
    int32_t pos = 0;
    EXPECT_EQ(read_int_adv(bytes(neg), len(neg), &pos), -1);
    EXPECT_EQ(pos, 0);
    const std::string beyond = "12";
    pos = 2;
    EXPECT_EQ(parse_int_at(bytes(beyond), len(beyond), &pos), -1);
    pos = -1;
    EXPECT_EQ(parse_int_at(bytes(beyond), len(beyond), &pos), -1);
}

TEST(Scan, RealNumbersHaveNoExponentAndIgnoreTheLocale) {
    // A host may switch to a locale with a decimal comma; reading must not change.
    const char *old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    struct Case {
        std::string text;
        double want;
        int32_t pos_after;
    } cases[] = {
        {"0.5", 0.5, 3}, {"-.25", -0.25, 4}, {"12.", 12.0, 3}, {".", 0.0, 0},
        {"3e2", 3.0, 1}, {"+1.5]", 1.5, 4}, {" 612", 612.0, 4}, {"-x", 0.0, 0},
    };
    for (const Case &c : cases) {
        int32_t pos = 0;
        EXPECT_DOUBLE_EQ(parse_double_at(bytes(c.text), len(c.text), &pos), c.want) << c.text;
        EXPECT_EQ(pos, c.pos_after) << c.text;
    }
    const std::string negzero = "-0";
    int32_t pos = 0;
    EXPECT_TRUE(std::signbit(parse_double_at(bytes(negzero), len(negzero), &pos)));
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(Scan, References) {
    struct Case {
        std::string text;
        int32_t want;
    } cases[] = {
        {"12 0 R", 12}, {"12 0 Rx", -1}, {"12 0 R_", 12}, {"0 0 R", -1}, {"12 R", -1},
        {"12 0 R5", -1}, {"12\n0\r\nR", 12}, {"12 -1 R", -1}, {"12 0", -1}, {"12 0 ", -1},
    };
    for (const Case &c : cases) EXPECT_EQ(parse_ref_at(bytes(c.text), len(c.text), 0), c.want) << c.text;
}

TEST(Scan, BoxesNeedExactlyFourNumbers) {
    struct Case {
        std::string text;
        bool read;
        double x, y, w, h;
    } cases[] = {
        {"0 0 612 792]", true, 0, 0, 612, 792},
        {"612 792 0 0]", true, 0, 0, 612, 792},
        {"-10 -20 100 200]", true, -10, -20, 110, 220},
        {"0, 0, 612, 792]", true, 0, 0, 612, 792},
        {"0 0 612 792 5]", true, 0, 0, 612, 792},
        {"0 0 612]", false, 0, 0, 0, 0},
        {"0 0 612", false, 0, 0, 0, 0},
        {"", false, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        double x = -1, y = -1, w = -1, h = -1;
        parse_box(bytes(c.text), len(c.text), 0, &x, &y, &w, &h);
        if (c.read) {
            EXPECT_EQ(x, c.x) << c.text;
            EXPECT_EQ(y, c.y) << c.text;
            EXPECT_EQ(w, c.w) << c.text;
            EXPECT_EQ(h, c.h) << c.text;
        } else {
            EXPECT_EQ(x, -1) << c.text;
            EXPECT_EQ(w, -1) << c.text;
        }
    }
}

TEST(Scan, DictionariesSkipNestingAndStrings) {
    struct Case {
        std::string text;
        int32_t stream_at;  // -1: no stream keyword
    } cases[] = {
        {"<< /Length 5 >>\nstream\n", 16},
        {"<< /A << /B 1 >> >> stream", 20},
        {"<< /T (a>>b) >>stream", 15},
        {"<< /T (x)>>stream", 11},
        {"<< /A 1 >> endobj", -1},
        {"<< /T (a\\)>>b) >>stream", 17},
        {"<< /A 1", -1},
        {"<< /A <", -1},   // a lone '<' at the end cannot be paired
        {"<< /T (open", -1},
        {"<< /A <0A> >> stream", 14},
    };
    for (const Case &c : cases) EXPECT_EQ(dict_stream_kw(bytes(c.text), len(c.text), 0), c.stream_at) << c.text;

    const std::string d = "<< /A (\\)) >> rest";
    EXPECT_EQ(dict_text_at(bytes(d), len(d), 0).value_or("null"), "<< /A (\\)) >>");
    const std::string open = "<< /A 1";
    EXPECT_FALSE(dict_text_at(bytes(open), len(open), 0).has_value());
    const std::string single = "< /A >";
    EXPECT_FALSE(dict_text_at(bytes(single), len(single), 0).has_value());
    const std::string nested = "x<< /R << /F 5 0 R >> >>>";
    EXPECT_EQ(dict_text_at(bytes(nested), len(nested), 1).value_or("null"), "<< /R << /F 5 0 R >> >>");
}

TEST(Scan, NothingIsReadPastTheLimit) {
    // Each function gets a copy of the text in an exactly sized heap block,
    // so AddressSanitizer reports any read beyond it.
    const char *texts[] = {"/Type", "12 0", "<< /A (", "<<", "-", "1.", "12 0 R", "[0 0 1", "\\", "<"};
    for (const char *t : texts) {
        const size_t n = std::strlen(t);
        std::unique_ptr<u8[]> b(new u8[n]);
        std::memcpy(b.get(), t, n);
        const int32_t l = static_cast<int32_t>(n);
        for (int32_t start = 0; start < l; ++start) {
            int32_t pos = start;
            parse_int_at(b.get(), l, &pos);
            pos = start;
            parse_double_at(b.get(), l, &pos);
            parse_ref_at(b.get(), l, start);
            find_name(b.get(), l, start, l, "Type");
            find_kw(b.get(), l, start, "obj");
            dict_stream_kw(b.get(), l, start);
            dict_text_at(b.get(), l, start);
            double x, y, w, h;
            parse_box(b.get(), l, start, &x, &y, &w, &h);
        }
    }
}
