// Images compared by what they show: the same samples however encoded are
// the same image; other samples in the same place are image_changed, on the
// analysed road and on the road of pages read alike.
#include <functional>

#include "compare/diff.h"
#include "morvex.h"
#include "page/page_match.h"
#include "report/json.h"
#include "test_util.h"

using namespace morvex;
using fixture::DocBuilder;

namespace {

const std::string kSamples = "ABCDEFGHIJKLMNOP";  // 4 x 4 gray
const std::string kOther = "ABCDEFGHIJKLMNOQ";    // one sample changed
const std::string kGray4 = "/Type /XObject /Subtype /Image /Width 4 /Height 4 /BitsPerComponent 8 ";

std::string hex(const std::string &s) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) out += {digits[c >> 4], digits[c & 15]};
    return out + ">";
}

// PNG "Up" rows: each row a tag byte 2 and its difference to the row above.
std::string png_up(const std::string &s, size_t width) {
    std::string out;
    for (size_t r = 0; r * width < s.size(); ++r) {
        out += '\x02';
        for (size_t i = 0; i < width; ++i)
            out += static_cast<char>(s[r * width + i] - (r ? s[(r - 1) * width + i] : 0));
    }
    return out;
}

// RunLengthDecode data as literal runs of at most 3 bytes.
std::string run_length(const std::string &s) {
    std::string out;
    for (size_t i = 0; i < s.size(); i += 3) {
        const std::string part = s.substr(i, 3);
        out += static_cast<char>(part.size() - 1);
        out += part;
    }
    return out + '\x80';
}

using Make = std::function<int(DocBuilder &)>;

Make flate(const std::string &samples, int level, const std::string &dict = kGray4 + "/ColorSpace /DeviceGray") {
    return [=](DocBuilder &b) {
        return b.stream(dict + " /Filter /FlateDecode", fixture::zlib_compress(samples, level));
    };
}
Make stored(const std::string &dict, const std::string &data) {
    return [=](DocBuilder &b) { return b.stream(dict, data); };
}
Make with_smask(const std::string &mask_samples, int level) {
    return [=](DocBuilder &b) {
        const int m = b.stream(kGray4 + "/ColorSpace /DeviceGray /Filter /FlateDecode",
                               fixture::zlib_compress(mask_samples, level));
        return b.stream(kGray4 + "/ColorSpace /DeviceGray /SMask " + std::to_string(m) + " 0 R", kSamples);
    };
}
Make with_icc(int level) {
    return [=](DocBuilder &b) {
        const int icc = b.stream("/N 1 /Filter /FlateDecode", fixture::zlib_compress("a gray profile", level));
        return b.stream(kGray4 + "/ColorSpace [/ICCBased " + std::to_string(icc) + " 0 R]", kSamples);
    };
}

const char kDraw[] = "q 100 0 0 100 50 50 cm /Im1 Do Q";

std::string page_with(const Make &make, const std::string &content = kDraw) {
    DocBuilder b;
    const int im = make(b);
    b.page({.content = content, .resources = fixture::resources({}, {{"Im1", im}})});
    return b.build();
}

// The same image drawn inside a form XObject.
std::string form_with(const Make &make) {
    DocBuilder b;
    const int im = make(b);
    const int form = b.stream("/Type /XObject /Subtype /Form /BBox [0 0 1 1] /Resources << /XObject << /Im1 " +
                                  std::to_string(im) + " 0 R >> >>",
                              "q 1 0 0 1 0 0 cm /Im1 Do Q");
    b.page({.content = "q 100 0 0 100 50 50 cm /Fm1 Do Q", .resources = fixture::resources({}, {{"Fm1", form}})});
    return b.build();
}

std::string inline_image(const std::string &keys, const std::string &data) {
    DocBuilder b;
    b.page({.content = "q 100 0 0 100 50 50 cm BI /W 4 /H 4 /BPC 8 /CS /G " + keys + " ID " + data + " EI Q"});
    return b.build();
}

std::string kinds(const std::string &a, const std::string &b, bool alike_road = true) {
    PdfDocument da, db;
    EXPECT_TRUE(testutil::load(a, &da));
    EXPECT_TRUE(testutil::load(b, &db));
    DiffList list;
    compare_docs(da, db, &list, 1, !alike_road);
    std::string s;
    for (const DiffEntry &e : list.entries) s += std::to_string(e.page) + ":" + e.type + " ";
    return s;
}

}  // namespace

TEST(ImageIdentity, SameSamplesAreTheSameImageOtherSamplesAreImageChanged) {
    const std::string gray = kGray4 + "/ColorSpace /DeviceGray";
    const std::string png = gray + " /DecodeParms << /Predictor 15 /Columns 4 /Colors 1 /BitsPerComponent 8 >>";
    struct Case {
        const char *what;
        std::string a, b, want;
    } cases[] = {
        {"Flate at another level", page_with(flate(kSamples, 1)), page_with(flate(kSamples, 9)), ""},
        {"stored against Flate", page_with(stored(gray, kSamples)), page_with(flate(kSamples, 6)), ""},
        {"Flate with the PNG predictor", page_with(flate(kSamples, 6)),
         page_with(flate(png_up(kSamples, 4), 6, png)), ""},
        {"ASCIIHex over Flate, and RunLength",
         page_with(stored(gray + " /Filter [/ASCIIHexDecode /FlateDecode]", hex(fixture::zlib_compress(kSamples)))),
         page_with(stored(gray + " /Filter /RunLengthDecode", run_length(kSamples))), ""},
        {"one sample changed", page_with(flate(kSamples, 6)), page_with(flate(kOther, 6)), "1:image_changed "},
        {"one sample changed behind the PNG predictor", page_with(flate(png_up(kSamples, 4), 6, png)),
         page_with(flate(png_up(kOther, 4), 6, png)), "1:image_changed "},
        {"the same samples read through another /Decode", page_with(flate(kSamples, 6)),
         page_with(flate(kSamples, 6, gray + " /Decode [1 0]")), "1:image_changed "},
        {"another colour space", page_with(stored(gray, kSamples)),
         page_with(stored(kGray4 + "/ColorSpace /CalGray", kSamples)), "1:image_changed "},
        {"an ICC profile compressed again", page_with(with_icc(1)), page_with(with_icc(9)), ""},
        {"a colour space dictionary with its keys in another order",
         page_with(stored(kGray4 + "/ColorSpace [/CalGray << /WhitePoint [1 1 1] /Gamma 2.2 >>]", kSamples)),
         page_with(stored(kGray4 + "/ColorSpace [/CalGray <</Gamma 2.20 /WhitePoint [1.0 1 1]>>]", kSamples)), ""},
        {"a lookup table as a literal and as a hex string",
         page_with(stored(kGray4 + "/ColorSpace [/Indexed /DeviceRGB 1 (\\377\\377\\377\\000\\000\\000)]", kSamples)),
         page_with(stored(kGray4 + "/ColorSpace [/Indexed /DeviceRGB 1 <ffffff000000>]", kSamples)), ""},
        {"another lookup table", page_with(stored(kGray4 + "/ColorSpace [/Indexed /DeviceRGB 1 <ffffff000000>]", kSamples)),
         page_with(stored(kGray4 + "/ColorSpace [/Indexed /DeviceRGB 1 <ff0000000000>]", kSamples)), "1:image_changed "},
        {"JPEG bytes changed", page_with(stored(kGray4 + "/ColorSpace /DeviceGray /Filter /DCTDecode", "\xff\xd8jpeg1")),
         page_with(stored(kGray4 + "/ColorSpace /DeviceGray /Filter /DCTDecode", "\xff\xd8jpeg2")),
         "1:image_changed "},
        {"JPEG bytes behind ASCIIHex", page_with(stored(gray + " /Filter /DCTDecode", "\xff\xd8jpeg1")),
         page_with(stored(gray + " /Filter [/AHx /DCTDecode]", hex("\xff\xd8jpeg1"))), ""},
        {"soft mask compressed again", page_with(with_smask(kSamples, 1)), page_with(with_smask(kSamples, 9)), ""},
        {"soft mask changed", page_with(with_smask(kSamples, 6)), page_with(with_smask(kOther, 6)), "1:image_changed "},
        {"image mask, one bit changed",
         page_with(stored("/Type /XObject /Subtype /Image /Width 8 /Height 2 /ImageMask true", "\xf0\x0f")),
         page_with(stored("/Type /XObject /Subtype /Image /Width 8 /Height 2 /ImageMask true", "\xf0\x1f")),
         "1:image_changed "},
        {"inside a form", form_with(flate(kSamples, 6)), form_with(flate(kOther, 6)), "1:image_changed "},
        {"inside a form, compressed again", form_with(flate(kSamples, 1)), form_with(flate(kSamples, 9)), ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(kinds(c.a, c.b), c.want) << c.what;
        EXPECT_EQ(kinds(c.a, c.b, false), c.want) << c.what << " (every page analysed)";
    }
}

TEST(ImageIdentity, InlineImagesByTheirSamples) {
    // The inline images differ in their content stream, which content_changed reports.
    EXPECT_EQ(kinds(inline_image("", kSamples), inline_image("", kOther)), "1:image_changed 1:content_changed ");
    EXPECT_EQ(kinds(inline_image("", kSamples), inline_image("/F /AHx", hex(kSamples))), "1:content_changed ");
    // An inline image and an XObject with the same samples show the same.
    DocBuilder b;
    b.page({.content = "q 100 0 0 100 50 50 cm BI /W 4 /H 4 /BPC 8 /CS /G ID " + kSamples + " EI Q"});
    const std::string xobject = page_with(flate(kSamples, 6));
    EXPECT_EQ(kinds(b.build(), xobject), "1:content_changed ");
}

TEST(ImageIdentity, PagesWithTheSameNamesButOtherPixelsAreNotAlike) {
    PdfDocument a, b, c;
    ASSERT_TRUE(testutil::load(page_with(flate(kSamples, 1)), &a));
    ASSERT_TRUE(testutil::load(page_with(flate(kOther, 1)), &b));
    ASSERT_TRUE(testutil::load(page_with(flate(kSamples, 9)), &c));
    EXPECT_FALSE(PageMatcher(a, b).same(0, 0));
    EXPECT_TRUE(PageMatcher(a, c).same(0, 0));
}

TEST(ImageIdentity, AChangedImageIsReportedWithBothBoxesAndItsPixelSize) {
    const std::string a = page_with(flate(kSamples, 6)), b = page_with(flate(kOther, 6));
    PdfDocument da, db;
    ASSERT_TRUE(testutil::load(a, &da));
    ASSERT_TRUE(testutil::load(b, &db));
    DiffList list;
    compare_docs(da, db, &list);
    ASSERT_EQ(list.entries.size(), 1u);
    const DiffEntry &e = list.entries[0];
    ASSERT_EQ(e.rects_b.size(), 1u);
    ASSERT_EQ(e.rects_a.size(), 1u);
    EXPECT_EQ(e.rects_b[0].x, 50);
    EXPECT_EQ(e.rects_b[0].w, 100);
    EXPECT_EQ(e.rects_a[0].y, 50);
    ASSERT_TRUE(e.pixels);
    EXPECT_EQ(e.pixels->old_w, 4);
    EXPECT_EQ(e.pixels->new_h, 4);

    // Drawn twice, both places are marked.
    const std::string twice = std::string(kDraw) + " q 100 0 0 100 300 50 cm /Im1 Do Q";
    ASSERT_TRUE(testutil::load(page_with(flate(kSamples, 6), twice), &da));
    ASSERT_TRUE(testutil::load(page_with(flate(kOther, 6), twice), &db));
    compare_docs(da, db, &list);
    ASSERT_EQ(list.entries.size(), 1u);
    ASSERT_EQ(list.entries[0].rects_b.size(), 2u);
    EXPECT_EQ(list.entries[0].rects_b[1].x, 300);
    EXPECT_EQ(list.entries[0].rects_a.size(), 2u);

    const std::string pa = testutil::write_tmp("img_a.pdf", a), pb = testutil::write_tmp("img_b.pdf", b);
    EXPECT_STREQ(morvex_compare(pa.c_str(), pb.c_str()),
                 "{\"identical\":false,\"pages_compared\":1,\"differences\":[{\"page\":1,\"type\":\"image_changed\"}]}");
    const std::string detail = morvex_compare_opts(pa.c_str(), pb.c_str(), R"({"report":"detail"})");
    EXPECT_NE(detail.find("\"rects_a\":[[50.00,642.00,150.00,742.00]],\"rects_b\":[[50.00,642.00,150.00,742.00]],\"image\":{\"kind\":"
                          "\"image\",\"old\":{\"width\":4,\"height\":4},\"new\":{\"width\":4,\"height\":4}}"),
              std::string::npos)
        << detail;
    const std::string out = testutil::tmp_path("img_visual.pdf");
    ASSERT_EQ(morvex_visual(pa.c_str(), pb.c_str(), out.c_str()), 1);
}

TEST(ImageIdentity, HostileImagesAreComparedWithoutHarm) {
    const std::string huge = "/Type /XObject /Subtype /Image /Width 2000000000 /Height 2000000000 /BitsPerComponent 8 "
                             "/ColorSpace /DeviceRGB";
    const std::string rows = kGray4 + "/ColorSpace /DeviceGray /DecodeParms << /Predictor 15 /Columns 16777216 /Colors 32 >>";
    auto self_ref = [](const std::string &data) {
        return [=](DocBuilder &b) {
            const int cs = b.next_num();
            b.object("[/Indexed " + std::to_string(cs) + " 0 R 1 <00>]");
            return b.stream(kGray4 + "/ColorSpace " + std::to_string(cs) + " 0 R", data);
        };
    };
    struct Case {
        const char *what;
        Make a, b;
    } cases[] = {
        {"rows far longer than the data", flate(kSamples, 6, rows), flate(kOther, 6, rows)},
        {"a size beyond any memory", stored(huge, kSamples), stored(huge, kOther)},
        {"RunLength data cut short", stored(kGray4 + "/Filter /RunLengthDecode", "\x05" "AB"),
         stored(kGray4 + "/Filter /RunLengthDecode", "\x05" "AC")},
        {"Flate data that is none", stored(kGray4 + "/Filter /FlateDecode", "not deflate 1"),
         stored(kGray4 + "/Filter /FlateDecode", "not deflate 2")},
        {"a colour space that names itself", self_ref(kSamples), self_ref(kOther)},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(kinds(page_with(c.a), page_with(c.a)), "") << c.what;
        EXPECT_EQ(kinds(page_with(c.a), page_with(c.b)), "1:image_changed ") << c.what;
    }
    // Inline images without data, or without ID at all.
    EXPECT_EQ(kinds(inline_image("", ""), inline_image("", "")), "");
    DocBuilder b;
    b.page({.content = "BI /W 4 /H 4 EI BI"});
    EXPECT_EQ(kinds(b.build(), b.build()), "");
}
