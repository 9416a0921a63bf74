// The document loader: reading, trailer information, object table.
#include <unistd.h>

#include <algorithm>

#include <cstring>

#include "same_file.h"
#include "test_util.h"

using namespace morvex;
using fixture::PdfWriter;
using fixture::XrefKind;
using testutil::load;

namespace {

// A one-page document used by several tests.
PdfWriter one_page(const std::string &content = "BT (A) Tj ET") {
    PdfWriter w;
    w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.add(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>");
    w.add_stream(4, "", content);
    return w;
}

std::string stream_data(const PdfDocument &d, int num) {
    const ObjectEntry *e = d.find_object(num);
    if (!e || !e->has_stream) return "<none>";
    return std::string(reinterpret_cast<const char *>(d.data + e->stream_start),
                       static_cast<size_t>(e->stream_end - e->stream_start));
}

}  // namespace

TEST(Loader, ReadingFailuresGiveTheirMessagesAndAnEmptyRecord) {
    PdfDocument d;
    EXPECT_EQ(doc_load(nullptr, &d), 0);
    EXPECT_STREQ(g_err, "NULL path");

    const std::string missing = testutil::tmp_path("no-such-file.pdf");
    EXPECT_EQ(doc_load(missing.c_str(), &d), 0);
    EXPECT_EQ(std::string(g_err), "cannot open file: " + missing);
    EXPECT_EQ(d.data, nullptr);

    const std::string empty = testutil::write_tmp("empty.pdf", "");
    EXPECT_EQ(doc_load(empty.c_str(), &d), 0);
    EXPECT_EQ(std::string(g_err), "empty file: " + empty);

    const std::string dir = testutil::tmp_path("a-directory");
    ::mkdir(dir.c_str(), 0755);
    EXPECT_EQ(doc_load(dir.c_str(), &d), 0);
    EXPECT_EQ(std::string(g_err), "cannot open file: " + dir);
    EXPECT_EQ(d.objects.size(), 0u);
    EXPECT_EQ(d.len, 0);
}

TEST(Loader, EncryptedFilesAreRefused) {
    for (XrefKind kind : {XrefKind::classic, XrefKind::stream}) {
        PdfWriter w = one_page();
        w.set_xref(kind);
        w.set_trailer_extra("/Encrypt 8 0 R");
        const std::string path = testutil::write_tmp("enc.pdf", w.build());
        PdfDocument d;
        EXPECT_EQ(doc_load(path.c_str(), &d), 0);
        EXPECT_EQ(std::string(g_err), "encrypted PDFs are not supported: " + path);
        EXPECT_EQ(d.data, nullptr);
        EXPECT_TRUE(d.objects.empty());
        EXPECT_TRUE(d.pages.empty());
    }
    // /EncryptMetadata alone is not /Encrypt.
    PdfWriter w = one_page();
    w.set_trailer_extra("/EncryptMetadata false");
    PdfDocument d;
    EXPECT_TRUE(load(w.build(), &d));
}

TEST(Loader, ReadsAFileFromDiskAndFromAPipe) {
    const std::string pdf = one_page().build();
    const std::string path = testutil::write_tmp("one.pdf", pdf);
    PdfDocument d;
    ASSERT_EQ(doc_load(path.c_str(), &d), 1);
    EXPECT_EQ(d.len, static_cast<int32_t>(pdf.size()));
    EXPECT_EQ(d.data[d.len], 0);
    EXPECT_EQ(d.page_count(), 1);
    doc_free(&d);
    EXPECT_EQ(d.data, nullptr);
    doc_free(&d);  // twice is harmless

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], pdf.data(), pdf.size()), static_cast<ssize_t>(pdf.size()));
    ::close(fds[1]);
    const std::string fdpath = "/dev/fd/" + std::to_string(fds[0]);
    ASSERT_EQ(doc_load(fdpath.c_str(), &d), 1);
    ::close(fds[0]);
    EXPECT_EQ(d.page_count(), 1);
}

TEST(Loader, LargeFilesOfEveryTailLengthReadWhole) {
    // Files of several MiB take the reader's other block; their sizes here
    // end just before, at and just after a 2 MiB and a 4 KiB boundary.
    const std::string pdf = one_page().build();
    for (size_t size : {size_t{4} << 20, (size_t{4} << 20) - 1, (size_t{6} << 20) + 1, (size_t{5} << 20) + 4095}) {
        // Padding in a comment ahead of the objects; the last byte is the
        // file's own.
        std::string padded = "%PDF-1.7\n%" + std::string(size - pdf.size() - 11, 'p') + "\n" + pdf;
        padded.back() = '\n';
        ASSERT_EQ(padded.size(), size);
        const std::string path = testutil::write_tmp("large.pdf", padded);
        PdfDocument d;
        ASSERT_EQ(doc_load(path.c_str(), &d), 1) << size;
        EXPECT_EQ(d.len, static_cast<int32_t>(size));
        EXPECT_EQ(d.data[d.len], 0);
        EXPECT_EQ(std::memcmp(d.data, padded.data(), size), 0);
        EXPECT_EQ(d.page_count(), 1) << size;
    }
}

TEST(Loader, ASecondFileIsSharedOnlyWhenEveryByteMatches) {
    // Three and a half MiB, so the comparison runs over several blocks; a
    // byte changed in the first, a middle and the last block, or a file one
    // byte longer, must load as a file of its own with exactly its bytes.
    const std::string pdf = one_page().build();
    const size_t size = (size_t{7} << 19) + 123;
    std::string padded = "%PDF-1.7\n%" + std::string(size - pdf.size() - 11, 'p') + "\n" + pdf;
    padded.back() = '\n';
    const std::string path_a = testutil::write_tmp("second-a.pdf", padded);
    PdfDocument a;
    ASSERT_EQ(doc_load(path_a.c_str(), &a), 1);

    PdfDocument b;
    bool shared = false;
    const std::string same = testutil::write_tmp("second-same.pdf", padded);
    ASSERT_EQ(doc_load_second(same.c_str(), DocLoadOptions{}, a, &b, &shared), 1);
    EXPECT_TRUE(shared);
    EXPECT_EQ(b.data, nullptr);

    for (size_t at : {size_t{20}, size_t{5} << 19, size - 2, size}) {
        std::string other = padded;
        if (at < size)
            other[at] = 'q';
        else
            other.insert(20, "p");
        const std::string path_b = testutil::write_tmp("second-other.pdf", other);
        PdfDocument d;
        ASSERT_EQ(doc_load_second(path_b.c_str(), DocLoadOptions{}, a, &d, &shared), 1) << at;
        EXPECT_FALSE(shared) << at;
        ASSERT_EQ(d.len, static_cast<int32_t>(other.size())) << at;
        EXPECT_EQ(std::memcmp(d.data, other.data(), other.size()), 0) << at;
        EXPECT_EQ(d.data[d.len], 0) << at;
        EXPECT_EQ(d.page_count(), 1) << at;
    }

    const std::string missing = testutil::tmp_path("second-missing.pdf");
    EXPECT_EQ(doc_load_second(missing.c_str(), DocLoadOptions{}, a, &b, &shared), 0);
    EXPECT_EQ(std::string(g_err), "cannot open file: " + missing);
}

TEST(Loader, LoadsWithEveryKindOfCrossReferenceData) {
    struct Variant {
        const char *name;
        XrefKind kind;
        int64_t startxref;  // -1: true offset
    } variants[] = {
        {"classic", XrefKind::classic, -1},
        {"xref stream", XrefKind::stream, -1},
        {"no table", XrefKind::none, -1},
        {"startxref into an object", XrefKind::classic, 60},
        {"startxref past the end", XrefKind::classic, 999999},
        {"startxref negative", XrefKind::classic, -5},
    };
    for (const Variant &v : variants) {
        PdfWriter w = one_page();
        w.set_xref(v.kind);
        if (v.startxref != -1) w.set_startxref(v.startxref);
        PdfDocument d;
        ASSERT_TRUE(load(w.build(), &d)) << v.name;
        EXPECT_EQ(d.page_count(), 1) << v.name;
        EXPECT_EQ(stream_data(d, 4), "BT (A) Tj ET") << v.name;
        EXPECT_EQ(d.catalog_obj, 1) << v.name;
    }
}

TEST(Loader, ObjectHeadersNeedNumberGenerationAndAWholeKeyword) {
    struct Case {
        std::string text;
        std::vector<int> nums;
    } cases[] = {
        {"0 0 obj\n<<>>\nendobj\n", {}},
        {"12 0obj\n<<>>\nendobj\n", {}},
        {"12 0 objx\n", {}},
        {"x12 0 obj\n<<>>\nendobj\n", {12}},
        {"%PDF\n1 0 obj", {1}},
        {"obj 5 0 obj 6 0 obj\n", {5, 6}},
        {"7\n\n0\r\nobj\n", {7}},
        {"0 obj\n", {}},           // no generation before the number
        {"3 -1 obj\n", {}},        // '-' is not a digit
    };
    for (const Case &c : cases) {
        PdfDocument d;
        ASSERT_TRUE(load(c.text, &d)) << c.text;
        std::vector<int> nums;
        for (const ObjectEntry &e : d.objects) nums.push_back(e.num);
        EXPECT_EQ(nums, c.nums) << c.text;
    }
    PdfDocument d;
    ASSERT_TRUE(load("%PDF\n1 0 obj", &d));
    EXPECT_EQ(d.objects[0].body_pos, d.len);
    EXPECT_EQ(d.objects[0].endobj_pos, -1);
}

TEST(Loader, StreamDataStartsAfterOneEndOfLine) {
    struct Case {
        std::string eol;
        std::string data;
    } cases[] = {{"\r\n", "XYZ"}, {"\n", "XYZ"}, {"\r", "XYZ"}, {" ", " XYZ"}};
    for (const Case &c : cases) {
        PdfWriter w = one_page();
        fixture::StreamOptions o;
        o.eol = c.eol;
        o.length = fixture::LengthKind::missing;
        w.add_stream(5, "", "XYZ", o);
        PdfDocument d;
        ASSERT_TRUE(load(w.build(), &d));
        // Without /Length the data runs to "endstream", end-of-line included.
        EXPECT_EQ(stream_data(d, 5), c.data + "\n") << c.eol.size();
    }
}

TEST(Loader, StreamLengthIsTrustedOnlyWhenDirectAndInsideTheObject) {
    using fixture::LengthKind;
    for (LengthKind k : {LengthKind::direct, LengthKind::indirect, LengthKind::wrong}) {
        PdfWriter w = one_page();
        fixture::StreamOptions o;
        o.length = k;
        o.length_obj = 9;
        w.add_stream(5, "/Kind /Test", "0123456789", o);
        PdfDocument d;
        ASSERT_TRUE(load(w.build(), &d));
        // An indirect length is read from its object when "endstream"
        // follows the data it delimits.
        const std::string want = k == LengthKind::wrong ? "0123456789\n" : "0123456789";
        EXPECT_EQ(stream_data(d, 5), want) << int(k);
        const ObjectEntry *e = d.find_object(5);
        ASSERT_NE(e, nullptr);
        EXPECT_GT(e->endobj_pos, e->stream_end);
        EXPECT_TRUE(kw_at(d.data, e->endobj_pos, d.len, "endobj"));
    }
    // An indirect length whose object is missing, is no integer, or does
    // not end the data at "endstream" is not used.
    for (const char *length_obj : {"", "(10)", "4", "12"}) {
        PdfWriter w;
        w.add(1, "<< /Length 9 0 R >>\nstream\n0123456789\nendstream");
        if (*length_obj) w.add(9, length_obj);
        PdfDocument d;
        ASSERT_TRUE(load(w.build(), &d));
        EXPECT_EQ(stream_data(d, 1), "0123456789\n") << length_obj;
    }
    // A length that would run into the next object is ignored as well.
    PdfWriter w;
    w.add(1, "<< /Length 500 >>\nstream\nabc\nendstream");
    w.add(2, "<< /Type /Catalog >>");
    PdfDocument d;
    ASSERT_TRUE(load(w.build(), &d));
    EXPECT_EQ(stream_data(d, 1), "abc\n");
    EXPECT_EQ(d.find_object(2)->has_stream, 0);
}

TEST(Loader, CatalogComesFromTheTrailerOrFromASearch) {
    // No trailer at all: the object marked /Catalog is found.
    PdfWriter w = one_page();
    w.set_xref(XrefKind::none);
    PdfDocument d;
    ASSERT_TRUE(load(w.build(), &d));
    EXPECT_EQ(d.root_obj, -1);
    EXPECT_EQ(d.catalog_obj, 1);
    EXPECT_EQ(d.page_count(), 1);

    // A /Root that is not followed by an integer gives way to the next one.
    const std::string body =
        "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"
        "2 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n";
    const std::string pdf = body +
        "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Root /X /Root 1 0 R /Size 3 >>\nstartxref\n" +
        std::to_string(body.size()) + "\n%%EOF\n";
    ASSERT_TRUE(load(pdf, &d));
    EXPECT_EQ(d.root_obj, 1);

    // No catalog anywhere: loads with no pages.
    ASSERT_TRUE(load("%PDF-1.4\n1 0 obj\n<< /Type /Page >>\nendobj\n", &d));
    EXPECT_EQ(d.page_count(), 0);
    // No objects at all.
    ASSERT_TRUE(load("%PDF-1.4\nnothing here\n", &d));
    EXPECT_TRUE(d.objects.empty());
    EXPECT_EQ(d.max_obj_num, 0);
}

TEST(Loader, CrossReferenceStreamChainsAreFollowedForRootAndEncrypt) {
    // Three revisions with cross-reference streams; /Encrypt only in the oldest.
    PdfWriter w = one_page();
    w.set_xref(XrefKind::stream);
    w.set_trailer_extra("/Encrypt 8 0 R");
    w.new_revision();
    w.set_xref(XrefKind::stream);
    w.add(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Rotate 90 >>");
    w.new_revision();
    w.set_xref(XrefKind::stream);
    w.add(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Rotate 180 >>");
    PdfDocument d;
    EXPECT_FALSE(load(w.build(), &d));
    EXPECT_EQ(std::string(g_err), "encrypted PDFs are not supported: mem.pdf");

    // A classic table reached by /Prev is read and ends the chain: the
    // /Encrypt of the stream section behind it is never seen.
    PdfWriter c = one_page();
    c.set_xref(XrefKind::stream);
    c.set_trailer_extra("/Encrypt 8 0 R");
    c.new_revision();
    c.add(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Rotate 90 >>");
    c.new_revision();
    c.set_xref(XrefKind::stream);
    c.add(5, "<< /Unused true >>");
    ASSERT_TRUE(load(c.build(), &d));
    EXPECT_EQ(d.pages[0].rotate, 90);
}

TEST(Loader, TheLatestRevisionOfAnObjectIsTheOneFound) {
    PdfWriter w = one_page("BT (old) Tj ET");
    w.new_revision();
    w.add_stream(4, "", "BT (new) Tj ET");
    w.add(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /MediaBox [0 0 595 842] >>");
    const std::string pdf = w.build();
    ASSERT_LT(pdf.size(), 2048u);  // the whole update sits in the last 2048 bytes
    PdfDocument d;
    ASSERT_TRUE(load(pdf, &d));
    // The table keeps both definitions in file order.
    int defs = 0;
    for (const ObjectEntry &e : d.objects) defs += e.num == 4;
    EXPECT_EQ(defs, 2);
    EXPECT_EQ(stream_data(d, 4), "BT (new) Tj ET");
    ASSERT_EQ(d.page_count(), 1);
    EXPECT_EQ(d.pages[0].box_w, 595);
    EXPECT_EQ(d.pages[0].box_h, 842);
}

TEST(Loader, TheLastTrailerOfTheFileGivesTheRoot) {
    // The update moves the catalog to object 10; both trailers lie within
    // the last 2048 bytes, and only the last one names 10.
    PdfWriter w = one_page();
    w.new_revision();
    w.add(10, "<< /Type /Catalog /Pages 11 0 R >>");
    w.add(11, "<< /Type /Pages /Kids [3 0 R 12 0 R] /Count 2 >>");
    w.add(12, "<< /Type /Page /Parent 11 0 R /Contents 4 0 R >>");
    w.set_root(10);
    PdfDocument d;
    ASSERT_TRUE(load(w.build(), &d));
    EXPECT_EQ(d.root_obj, 10);
    EXPECT_EQ(d.page_count(), 2);
}

TEST(Loader, AnObjectStreamMemberStandsWhereItsStreamStands) {
    // Lookups compare where definitions stand in the file; members of an
    // object stream stand at the stream's header.  Built by hand here,
    // since the table is filled by the object stream step.
    PdfWriter w = one_page();
    w.add(9, "<< /Type /Test /Rev 1 >>");
    PdfDocument d;
    ASSERT_TRUE(load(w.build(), &d));
    std::vector<ObjectEntry> objs = d.objects;
    ObjectEntry member;
    member.num = 9;
    member.in_objstm = 1;
    member.def_pos = objs[0].hdr_pos;  // a stream before the file's object 9
    objs.push_back(member);
    ObjectIndex index;
    index.build(objs, 9);
    EXPECT_EQ(objs[static_cast<size_t>(index.find(9))].in_objstm, 0);
    objs.back().def_pos = d.len;  // a stream after it
    index.build(objs, 9);
    EXPECT_EQ(objs[static_cast<size_t>(index.find(9))].in_objstm, 1);
}

TEST(Loader, HugeObjectNumbersUseTheSparseIndex) {
    PdfWriter w = one_page();
    w.add(2000000000, "<< /Big true >>");
    PdfDocument d;
    ASSERT_TRUE(load(w.build(), &d));
    EXPECT_EQ(d.max_obj_num, 2000000000);
    EXPECT_NE(d.find_object(2000000000), nullptr);
    EXPECT_NE(d.find_object(3), nullptr);
    EXPECT_EQ(d.find_object(5), nullptr);
    EXPECT_EQ(d.find_object(0), nullptr);
    EXPECT_EQ(d.find_object(-1), nullptr);
    EXPECT_EQ(d.page_count(), 1);
}

// Real writers put no whitespace between some keywords and what follows:
// "63 0 obj<</Count 12/Type/Pages...>>" (Distiller, iText, htmldoc),
// ">>stream", "endstream\rendobj", "trailer<<", an object stream's
// "obj<<".  Each shape loads its pages, their content and its object
// streams, and the copier finds each object's text.
TEST(Loader, KeywordsFollowedByDelimitersInsteadOfWhitespace) {
    struct Layout {
        const char *name;
        const char *after_obj, *before_endobj, *before_stream, *before_endstream, *after_trailer;
        std::string content_prefix;  // first bytes of a page's content, right after "obj"
        XrefKind xref;
    } layouts[] = {
        {"today's layout", "\n", "\n", "\n", "\n", "\n", "", XrefKind::classic},
        {"obj<< with nothing between", "", "", "", "\n", "", "", XrefKind::classic},
        {"Distiller: CR before endobj", "", "\r", "", "\r\n", "\r\n", "", XrefKind::classic},
        {"cross-reference stream, obj<<", "", "", "", "", "", "", XrefKind::stream},
        {"space-free stream keywords", " ", " ", " ", "", "", "", XrefKind::stream},
    };
    for (const Layout &l : layouts) {
        PdfWriter w;
        w.after_obj = l.after_obj;
        w.before_endobj = l.before_endobj;
        w.before_stream = l.before_stream;
        w.before_endstream = l.before_endstream;
        w.after_trailer = l.after_trailer;
        w.add(1, "<</Type/Catalog/Pages 2 0 R>>");
        w.add(2, "<</Count 3/Type/Pages/Kids[3 0 R 5 0 R 8 0 R]>>");
        w.add(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 400]/Contents 4 0 R/Resources<</Font<</F1 7 0 R>>>>>>");
        w.add_stream(4, "", "BT/F1 12 Tf(one)Tj ET");
        w.add_in_objstm(20, 5, "<</Type/Page/Parent 2 0 R/Contents 6 0 R>>");
        w.add_stream(6, "/Filter/FlateDecode", fixture::zlib_compress("BT/F1 12 Tf(two)Tj ET"));
        w.add(7, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>");
        // The other delimiters that may follow "obj": '[' '(' '/' '%'.
        w.add(8, "<</Type/Page/Parent 2 0 R/Contents[9 0 R]/MediaBox 10 0 R/Rotate 11 0 R>>");
        w.add_stream(9, "", "BT(three)Tj ET");
        w.add(10, "[0 0 200 100]");
        w.add(11, "/Ninety");
        w.add(12, "(a string)");
        w.add(13, "%comment\n[42]");
        w.set_xref(l.xref);
        PdfDocument d;
        ASSERT_TRUE(load(w.build(), &d)) << l.name;
        std::vector<int> nums;
        for (const ObjectEntry &e : d.objects) nums.push_back(e.num);
        std::sort(nums.begin(), nums.end());
        nums.erase(std::unique(nums.begin(), nums.end()), nums.end());
        for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 20})
            EXPECT_TRUE(std::binary_search(nums.begin(), nums.end(), n)) << l.name << ": object " << n;
        ASSERT_EQ(d.page_count(), 3) << l.name;
        EXPECT_EQ(d.pages[0].box_w, 300) << l.name;
        EXPECT_EQ(d.pages[2].box_w, 200) << l.name;
        EXPECT_EQ(d.root_obj, 1) << l.name;
        for (int n : {1, 2, 3, 7, 8, 10}) {
            const ObjectEntry *e = d.find_object(n);
            ASSERT_NE(e, nullptr);
            const TextRange r = d.object_range(*e);
            ASSERT_LT(r.begin, r.end) << l.name << ": object " << n;
            EXPECT_TRUE(r.data[r.begin] == '<' || r.data[r.begin] == '[') << l.name << ": object " << n;
        }
        EXPECT_EQ(stream_data(d, 4), "BT/F1 12 Tf(one)Tj ET") << l.name;
        EXPECT_EQ(stream_data(d, 9), "BT(three)Tj ET") << l.name;
        EXPECT_GE(d.find_object(13)->endobj_pos, 0) << l.name;
    }
}
