// Hostile and broken files load without crashing, hanging or reading out
// of bounds (AddressSanitizer checks the last part in CI).
#include <random>

#include "codec/filters.h"
#include "test_util.h"

using namespace morvex;
using testutil::load;

namespace {

std::string sample() {
    fixture::DocBuilder b;
    const int f = b.font("Helvetica");
    b.page({.content = "BT /F1 12 Tf 72 712 Td (Hello) Tj ET", .resources = fixture::resources({{"F1", f}})});
    b.page({.content = "BT (Compressed) Tj ET", .media_box = "0 0 595 842", .rotate = 90, .compress = true});
    return b.build();
}

}  // namespace

TEST(Hostile, EveryTruncationLoads) {
    const std::string pdf = sample();
    for (size_t n = 1; n <= pdf.size(); ++n) {
        PdfDocument d;
        ASSERT_TRUE(load(pdf.substr(0, n), &d)) << n;
        ASSERT_LE(d.page_count(), 2) << n;
        for (const ObjectEntry &e : d.objects) {
            ASSERT_LE(e.stream_start, e.stream_end);
            ASSERT_LE(e.stream_end, d.len);
            ASSERT_LE(e.body_pos, d.len);
        }
    }
}

TEST(Hostile, RandomBytesAndMutationsLoad) {
    std::mt19937 rng(1234);
    const std::string pdf = sample();
    for (int round = 0; round < 300; ++round) {
        std::string s;
        if (round % 2 == 0) {
            s.resize(1 + rng() % 4096);
            for (char &c : s) c = static_cast<char>(rng());
            if (round % 4 == 0) s.insert(s.size() / 2, " 1 0 obj << /Type /Page /Kids [1 0 R] >> ");
        } else {
            s = pdf;
            for (int k = 0; k < 8; ++k) s[rng() % s.size()] = "<>()[]/ 0R\\"[rng() % 11];
        }
        PdfDocument d;
        ASSERT_TRUE(load(s, &d)) << round;
    }
}

TEST(Hostile, HugeNumbersAreHarmless) {
    fixture::PdfWriter w;
    w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.add(2, "<< /Type /Pages /Kids [3 0 R 99999999999 0 R 2147483647 0 R] /Count 2147483647 >>");
    w.add(3, "<< /Type /Page /MediaBox [0 0 1e400 99999999999999999999999] /Rotate 99999999999 "
             "/Contents [4 0 R 4294967300 0 R] >>");
    w.add(4, "<< /Length 99999999999 >>\nstream\nabc\nendstream");
    w.add(5, "<< /Length 2147483647 >>\nstream\nabc\nendstream");
    w.add(6, "<< /Length -5 >>\nstream\nabc\nendstream");
    PdfDocument d;
    ASSERT_TRUE(load(w.build(), &d));
    ASSERT_EQ(d.page_count(), 1);
    for (int num : {4, 5, 6}) {
        const ObjectEntry *e = d.find_object(num);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->stream_end - e->stream_start, 4) << num;  // "abc\n", up to endstream
    }
}

TEST(Hostile, AMillionObjectHeaders) {
    std::string s = "%PDF-1.4\n";
    s.reserve(8'000'100);
    for (int i = 0; i < 1'000'000; ++i) s += "1 0 obj\n";
    PdfDocument d;
    ASSERT_TRUE(load(s, &d));
    EXPECT_EQ(d.objects.size(), 1'000'000u);
    EXPECT_EQ(d.find_object(1), &d.objects.back());
    EXPECT_EQ(d.page_count(), 0);
}

TEST(Hostile, AMillionTinyStreamsAndDictionaries) {
    std::string s = "%PDF-1.4\n";
    for (int i = 1; i <= 200'000; ++i)
        s += std::to_string(i) + " 0 obj << /Length 1 /Type /Page >> stream\nx\nendstream endobj\n";
    PdfDocument d;
    ASSERT_TRUE(load(s, &d));
    EXPECT_EQ(d.objects.size(), 200'000u);
    EXPECT_EQ(d.objects[100].stream_end - d.objects[100].stream_start, 1);
}

TEST(Hostile, RepeatedDecompressionBombsStayWithinOneCeiling) {
    // One stream inflates to 64 MiB; the page lists it eight times.  The
    // joined content stops growing at the 256 MiB ceiling of one stream.
    const std::string bomb = fixture::zlib_compress(std::string(64u << 20, '0'), 9);
    fixture::PdfWriter w;
    w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.add(2, "<< /Type /Pages /Kids [3 0 R] >>");
    w.add(3, "<< /Type /Page /Contents [4 0 R 4 0 R 4 0 R 4 0 R 4 0 R 4 0 R 4 0 R 4 0 R] >>");
    w.add(4, "<< /Filter /FlateDecode /Length " + std::to_string(bomb.size()) + " >>\nstream\n" + bomb + "\nendstream");
    PdfDocument d;
    ASSERT_TRUE(load(w.build(), &d));
    ByteBuf content;
    ASSERT_EQ(get_page_content(d, d.pages[0], &content), 1);
    EXPECT_EQ(content.len, (4u * (64u << 20)) + 3);  // four streams and the spaces between them
}
