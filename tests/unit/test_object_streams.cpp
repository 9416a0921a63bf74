// Objects kept in object streams join the table.
#include "test_util.h"

using namespace morvex;
using fixture::PdfWriter;
using testutil::load;

namespace {

std::string text_of(const PdfDocument &d, int num) {
    const ObjectEntry *e = d.find_object(num);
    if (!e || !e->in_objstm) return "<none>";
    return std::string(reinterpret_cast<const char *>(e->objstm_data), static_cast<size_t>(e->objstm_len));
}

// A file with one hand-written object stream (object 10) and its raw data.
std::string with_objstm(const std::string &dict, const std::string &data, bool compress = false) {
    PdfWriter w;
    w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.add_stream(10, "/Type /ObjStm " + dict, data, {.compress = compress});
    return w.build();
}

}  // namespace

TEST(ObjectStreams, PagesInObjectStreamsLoad) {
    for (bool compress : {true, false}) {
        PdfWriter w;
        w.compress_objstm = compress;
        w.add_in_objstm(20, 1, "<< /Type /Catalog /Pages 2 0 R >>");
        w.add_in_objstm(20, 2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 300 400] >>");
        w.add_in_objstm(20, 3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Rotate 90 >>");
        w.add_stream(4, "", "BT (Hi) Tj ET");
        w.set_xref(fixture::XrefKind::stream);
        PdfDocument d;
        ASSERT_TRUE(load(w.build(), &d));
        ASSERT_EQ(d.page_count(), 1) << compress;
        EXPECT_EQ(d.pages[0].obj_num, 3);
        EXPECT_EQ(d.pages[0].box_w, 300);
        EXPECT_EQ(d.pages[0].rotate, 90);
        EXPECT_EQ(d.objstm_bufs.size(), 1u);
        EXPECT_EQ(text_of(d, 2), "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 300 400] >>\n");
    }
}

TEST(ObjectStreams, HeaderRules) {
    struct Case {
        const char *what;
        std::string dict, data;
        std::vector<std::pair<int, std::string>> want;  // member texts
    } cases[] = {
        {"two members", "/N 2 /First 8", "5 0 6 3 abcdef", {{5, "abc"}, {6, "def"}}},
        {"last runs to the end", "/N 1 /First 4", "5 0 xyz  ", {{5, "xyz  "}}},
        {"equal offsets pass the first over", "/N 2 /First 8", "5 0 6 0 abc", {{6, "abc"}}},
        {"decreasing offsets", "/N 2 /First 8", "5 2 6 0 abc", {{6, "abc"}}},
        {"N 0", "/N 0 /First 0", "abc", {}},
        {"N 50001", "/N 50001 /First 4", "5 0 abc", {}},
        {"no First", "/N 1", "5 0 abc", {}},
        {"First past the data", "/N 1 /First 99", "5 0 abc", {}},
        {"fewer pairs than N", "/N 3 /First 8", "5 0 6 1 ab", {}},
        {"not an object stream", "/N 1 /First 4", "5 0 abc", {}},
        {"an offset past the data skips two members", "/N 3 /First 13", "5 0 6 99 7 3 abcdef", {{7, "def"}}},
        {"last member starts past the end", "/N 2 /First 8", "5 0 6 9 abc", {}},
        {"First at the very end", "/N 1 /First 4", "5 0 ", {}},
        {"a signed offset", "/N 1 /First 5", "5 -0 abc", {}},
        {"header pairs cut short by the data's end", "/N 2 /First 0", "5 0 6", {}},
    };
    for (const Case &c : cases) {
        std::string dict = c.dict;
        std::string pdf = std::string(c.what) == "not an object stream"
                              ? [&] {
                                    PdfWriter w;
                                    w.add_stream(10, "/Type /Other " + dict, c.data);
                                    return w.build();
                                }()
                              : with_objstm(dict, c.data);
        PdfDocument d;
        ASSERT_TRUE(load(pdf, &d)) << c.what;
        std::vector<std::pair<int, std::string>> got;
        for (const ObjectEntry &e : d.objects)
            if (e.in_objstm) got.emplace_back(e.num, text_of(d, e.num));
        EXPECT_EQ(got, c.want) << c.what;
    }
}

TEST(ObjectStreams, CompressedAndBeyondTheFirstGuessOfOutputSize) {
    // 100 KB of member text compresses far beyond 10:1 and still loads.
    const std::string filler(100000, ' ');
    const std::string data = "7 0 << /Big true" + filler + ">>";
    const std::string head = "7 0 ";
    PdfDocument d;
    ASSERT_TRUE(load(with_objstm("/N 1 /First 4 /Filter /FlateDecode", data, true), &d));
    EXPECT_EQ(text_of(d, 7).size(), data.size() - head.size());
    // A broken compressed stream gives no members, and the load goes on.
    ASSERT_TRUE(load(with_objstm("/N 1 /First 4 /Filter /FlateDecode", "garbage"), &d));
    EXPECT_EQ(text_of(d, 7), "<none>");
    EXPECT_EQ(d.catalog_obj, 1);
}

TEST(ObjectStreams, LatestDefinitionWinsAcrossStreamsAndUpdates) {
    // Object 3 first lives in an object stream, then an update redefines it
    // in the file: the update wins.  Then a later object stream redefines it
    // again: that wins.
    PdfWriter w;
    w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.add(2, "<< /Type /Pages /Kids [3 0 R] >>");
    w.add_in_objstm(20, 3, "<< /Type /Page /Rotate 90 >>");
    w.set_xref(fixture::XrefKind::stream);
    w.new_revision();
    w.add(3, "<< /Type /Page /Rotate 180 >>");
    w.set_xref(fixture::XrefKind::stream);
    PdfDocument d;
    ASSERT_TRUE(load(w.build(), &d));
    ASSERT_EQ(d.page_count(), 1);
    EXPECT_EQ(d.pages[0].rotate, 180);

    w.new_revision();
    w.add_in_objstm(21, 3, "<< /Type /Page /Rotate 270 >>");
    w.set_xref(fixture::XrefKind::stream);
    ASSERT_TRUE(load(w.build(), &d));
    ASSERT_EQ(d.page_count(), 1);
    EXPECT_EQ(d.pages[0].rotate, 270);
}

TEST(ObjectStreams, ManyStreamsOfDifferentSizesKeepTheirOwnText) {
    // The decoder reuses one block from stream to stream: a small stream
    // decoded after a large one, and an uncompressed one between them,
    // must each keep exactly their own bytes.
    PdfWriter w;
    w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    const std::string big = "<< /Big (" + std::string(300000, 'x') + ") >>";
    const std::string head = "5 0 6 " + std::to_string(big.size()) + " ";
    w.add_stream(10, "/Type /ObjStm /N 2 /First " + std::to_string(head.size()), head + big + "<< /A 1 >>",
                 {.compress = true});
    w.add_stream(11, "/Type /ObjStm /N 1 /First 4", "7 0 << /Plain true >>");
    w.add_stream(12, "/Type /ObjStm /N 1 /First 4", "8 0 [1 2]", {.compress = true});
    w.add_stream(13, "/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode", "broken");
    w.add_stream(14, "/Type /ObjStm /N 1 /First 4", "9 0 (tail)", {.compress = true});
    PdfDocument d;
    ASSERT_TRUE(load(w.build(), &d));
    EXPECT_EQ(text_of(d, 5), big);
    EXPECT_EQ(text_of(d, 6), "<< /A 1 >>");
    EXPECT_EQ(text_of(d, 7), "<< /Plain true >>");
    EXPECT_EQ(text_of(d, 8), "[1 2]");
    EXPECT_EQ(text_of(d, 9), "(tail)");
    EXPECT_EQ(d.objstm_bufs.size(), 4u);  // the broken stream keeps nothing
    // Members follow the file objects, in stream order.
    std::vector<int> order;
    for (const ObjectEntry &e : d.objects)
        if (e.in_objstm) order.push_back(e.num);
    EXPECT_EQ(order, (std::vector<int>{5, 6, 7, 8, 9}));
}
