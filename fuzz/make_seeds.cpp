// Writes the seed corpora of the fuzz targets, all made by the fixture
// writer, into one folder per target under the given directory.
#include <filesystem>
#include <string>
#include <vector>

#include <zlib.h>

#include "fixture/encrypt.h"
#include "fixture/pdf_writer.h"

namespace fs = std::filesystem;
using namespace fixture;

namespace {

// Uncompressed content that exercises every operator of the page
// interpreter, fonts found in several ways, and inline images.
std::vector<std::string> page_analysis_documents() {
    std::vector<std::string> docs;
    const std::string content =
        "% a comment\n q 1 0 0 1 10 20 cm BT /F1 12 Tf 14 TL 72 712 Td (Hello \\(World\\)\\101) Tj\n"
        "[(Wor) -20 (ld) -250 <48 69> 151 (x)] TJ T* (next\\nline) ' 1 2 (quoted) \" 0 -14 TD\n"
        "/F2 9.5 Tf 2 0 0 2 -.5 +.5 Tm <93 94 80 E9> Tj ET Q q 0.5 0 0 0.5 0 0 cm /Im1 Do Q\n"
        "BI /W 2 /H 2 /CS /G /BPC 8 ID (x)EIx\x01\x02 EI << /MCID 0 >> BDC (marked) Tj EMC\n"
        "q q q Q Q Q Q /F9 Tf 3e2 Tf /F1.0 8 Tf BT (\\223a b\\r\\nc\\t) Tj ET";
    {
        DocBuilder b;
        const int f1 = b.font("Helvetica");
        const int f2 = b.font("ABCDEF+Times-BoldItalic");
        const int img = b.image(2, 2);
        b.page({.content = content, .resources = resources({{"F1", f1}, {"F2", f2}}, {{"Im1", img}})});
        // Resources by reference, a font without /BaseFont.
        const int type3 = b.object("<< /Type /Font /Subtype /Type3 >>");
        const int res = b.object("<< /Font << /F1 " + std::to_string(type3) + " 0 R /F2 " +
                                 std::to_string(f2) + " 0 R >> >>");
        b.page({.content = content, .resources = std::to_string(res) + " 0 R"});
        docs.push_back(b.build());
    }
    {
        // Resources inherited from the page tree's root.
        DocBuilder b;
        const int f1 = b.font("Courier");
        b.pages_extra = "/Resources << /Font << /F1 " + std::to_string(f1) + " 0 R >> >>";
        b.page({.content = content});
        b.page({.content = "BT /F1 10 Tf 100 700 Td (A) Tj ET", .compress = true});
        docs.push_back(b.build());
    }
    {
        // Form XObjects: own fonts and images, a form inside a form, one that
        // draws itself; hyphenated words and a soft hyphen.
        DocBuilder b;
        const int f1 = b.object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /MacRomanEncoding >>");
        const int img = b.image(2, 2);
        const int n = b.next_num();
        b.stream("/Type /XObject /Subtype /Form /BBox [0 0 9 9] /Matrix [1 0 0 1 5 5] /Resources << /Font << /F1 " +
                     std::to_string(f1) + " 0 R >> /XObject << /In " + std::to_string(n + 1) + " 0 R /Me " +
                     std::to_string(n) + " 0 R /Im " + std::to_string(img) + " 0 R >> >>",
                 "q 20 Tc BT /F1 9 Tf 72 700 Td (docu-) Tj 0 -11 Td (ment co\255) Tj 0 -11 Td (operate) Tj ET Q "
                 "/In Do /Me Do q 9 0 0 9 0 0 cm /Im Do Q");
        b.stream("/Type /XObject /Subtype /Form /BBox [0 0 9 9]", "BT (inner) Tj ET /In Do /Im Do");
        b.page({.content = "q 2 0 0 2 0 0 cm /Fm Do Q /Fm Do BT /F1 10 Tf (after) Tj ET",
                .resources = resources({{"F1", f1}}, {{"Fm", n}, {"Im", img}})});
        docs.push_back(b.build());
    }
    {
        // Annotations: a field with an appearance, a checkbox with states,
        // a hidden one, a popup, one whose appearance draws itself.
        DocBuilder b;
        const int f1 = b.font("Helvetica");
        const int ap = b.next_num();
        b.stream("/BBox [0 0 100 20] /Matrix [1 0 0 1 0 0] /Resources << /XObject << /Me " + std::to_string(ap) +
                     " 0 R >> >>",
                 "BT /F1 10 Tf 2 5 Td (field) Tj ET /Me Do");
        b.stream("/Subtype /Form /BBox [0 0 10 10]", "BT /F1 9 Tf (on) Tj ET");
        const std::string r0 = std::to_string(ap) + " 0 R", r1 = std::to_string(ap + 1) + " 0 R";
        const int a1 = b.object("<< /Type /Annot /Subtype /Widget /Rect [72 600 172 620] /AP << /N " + r0 + " >> >>");
        const int a2 = b.object("<< /Subtype /Widget /Rect [72 500 82 510] /AS /On /AP << /N << /On " + r1 +
                                " /Off " + r0 + " >> >> >>");
        const int a3 = b.object("<< /Subtype /FreeText /F 2 /Rect [0 0 50 50] /AP << /N " + r1 + " >> >>");
        const int a4 = b.object("<< /Subtype /Popup /Rect [0 0 50 50] /AP << /N " + r1 + " >> >>");
        const std::string list = std::to_string(a1) + " 0 R " + std::to_string(a2) + " 0 R " + std::to_string(a3) +
                                 " 0 R " + std::to_string(a4) + " 0 R";
        b.page_extra = "/Annots [" + list + "]";
        b.page({.content = "BT /F1 10 Tf 72 700 Td (form) Tj ET", .resources = resources({{"F1", f1}})});
        docs.push_back(b.build());
    }
    return docs;
}

// Lawful spellings the loader writes plainly: comments after headers, in
// dictionaries and before endobj/stream (holding ">>", "endobj", "stream"),
// names with #xx escapes (of '#' and delimiters too), empty streams ended
// by CR or CR LF, and a damaged dictionary with stray tokens.
std::vector<std::string> lawful_spellings() {
    std::vector<std::string> docs;
    for (int form = 0; form < 3; ++form) {
        PdfWriter w;
        if (form == 0) {
            w.after_obj = " % >> endobj\n% stream\n";
            w.before_endobj = "\n% endobj >>\n";
            w.before_stream = " % stream\r";
            w.after_trailer = " % >>\n";
        }
        const bool esc = form == 1;
        w.add(1, esc ? "<< /T#79pe /C#61talog /Pag#65s 2 0 R >>" : "<< /Type /Catalog % >>\n/Pages 2 0 R >>");
        w.add(2, esc ? "<< /T#79pe /P#61ges /#4bids [3 0 R] /Count 1 >>" : "<< /Type /Pages /Kids [3 0 R % ]\n] /Count 1 >>");
        w.add(3, std::string("<< /Type /Page /Parent 2 0 R ") + (form == 2 ? "0 (stray) [x] <00> " : "") +
                     "/Resources << /Font << /F#231 5 0 R /A#20#28 5 0 R >> >> /Cont#65nts [4 0 R 6 0 R] >>");
        w.add_stream(4, "", "BT /F#23#31 12 Tf 72 712 Td (Hello) Tj /A#20#28 9 Tf (there) Tj ET");
        w.add(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helv#65tica >>");
        w.before_endstream = form == 0 ? "\r" : "\r\n";
        w.add_stream(6, "", "");
        docs.push_back(w.build());
    }
    return docs;
}

std::vector<std::string> documents() {
    std::vector<std::string> docs;
    for (XrefKind kind : {XrefKind::classic, XrefKind::stream, XrefKind::none}) {
        DocBuilder b;
        const int f = b.font("Helvetica");
        const int img = b.image(2, 2);
        b.page({.content = "BT /F1 12 Tf 72 712 Td (Hello World) Tj ET q 10 0 0 10 50 50 cm /Im1 Do Q",
                .resources = resources({{"F1", f}}, {{"Im1", img}})});
        b.page({.content = "BT /F1 10 Tf [(Wor) -20 (ld)] TJ T* (x) ' ET", .media_box = "0 0 595 842",
                .rotate = 90, .resources = resources({{"F1", f}}), .compress = true});
        b.writer().set_xref(kind);
        docs.push_back(b.build());
    }
    PdfWriter w;
    w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox 9 0 R >>");
    w.add(9, "[0 0 300 400]");
    w.add_in_objstm(20, 3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>");
    w.add_stream(4, "", "BT (in an object stream) Tj ET", {.compress = true});
    w.set_xref(XrefKind::stream);
    w.new_revision();
    w.add_stream(4, "", "BT (updated) Tj ET");
    docs.push_back(w.build());
    for (std::string &d : page_analysis_documents()) docs.push_back(std::move(d));
    for (std::string &d : lawful_spellings()) docs.push_back(std::move(d));
    return docs;
}

// zlib streams of page content, text and binary data at several levels and
// strategies, for fuzz_inflate.
std::vector<std::string> inflate_streams() {
    std::string content, binary, runs;
    for (int i = 0; i < 300; ++i)
        content += "BT /F1 12 Tf 72 " + std::to_string(700 - i) + " Td (line " + std::to_string(i) +
                   " of the page) Tj ET 0 0 m " + std::to_string(i * 3) + " 40 l S\n";
    for (unsigned i = 0, x = 1; i < 5000; ++i, x = x * 1103515245u + 12345u)
        binary += static_cast<char>(i % 7 == 0 ? x >> 24 : i & 0x3F);
    for (int i = 0; i < 20; ++i) runs += std::string(1 + i * 37, static_cast<char>('a' + i % 4));
    std::vector<std::string> streams;
    const struct {
        int level, strategy;
    } settings[] = {{0, Z_DEFAULT_STRATEGY}, {1, Z_DEFAULT_STRATEGY}, {6, Z_DEFAULT_STRATEGY},
                    {9, Z_FILTERED},         {6, Z_HUFFMAN_ONLY},     {6, Z_RLE},
                    {6, Z_FIXED}};
    for (const std::string *data : {&content, &binary, &runs}) {
        for (const auto &s : settings) {
            z_stream z{};
            deflateInit2(&z, s.level, Z_DEFLATED, 15, 8, s.strategy);
            std::string out(deflateBound(&z, data->size()), '\0');
            z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data->data()));
            z.avail_in = static_cast<uInt>(data->size());
            z.next_out = reinterpret_cast<Bytef *>(out.data());
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, Z_FINISH);
            out.resize(z.total_out);
            deflateEnd(&z);
            streams.push_back(out);
        }
    }
    streams.push_back(std::string("\x78\x9C\x03\x00", 4));
    return streams;
}

// Encrypted documents of every revision and method, some with a user
// password and the password after the "%%PW%%" marker (right or wrong).
std::vector<std::string> encrypted_documents() {
    std::vector<std::string> docs;
    struct Kind {
        int revision;
        bool aes;
        bool metadata;
        const char *user;
        const char *given;  // nullptr: no marker
    } kinds[] = {
        {2, false, true, "", nullptr},       {3, false, true, "", nullptr},
        {4, false, true, "", nullptr},       {4, true, true, "", nullptr},
        {4, true, false, "", nullptr},       {6, true, true, "", nullptr},
        {3, false, true, "user", "user"},    {4, true, true, "user", "owner"},
        {6, true, true, "user", "user"},     {6, true, true, "user", "wrong"},
    };
    for (const Kind &k : kinds) {
        Encryption enc;
        enc.revision = k.revision;
        enc.aes = k.aes;
        enc.encrypt_metadata = k.metadata;
        enc.user = k.user;
        enc.setup();
        PdfWriter w;
        w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        w.add(2, "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>");
        w.add(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << /Font << /F1 7 0 R >> "
                 "/XObject << /Im1 8 0 R >> >> >>");
        w.add_stream(4, "", enc.stream(4, 0, "BT /F1 12 Tf 72 700 Td (encrypted text) Tj ET /Im1 Do"));
        const std::string member = "<< /Type /Page /Parent 2 0 R /Contents 6 0 R >>";
        w.add_stream(20, "/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode",
                     enc.stream(20, 0, zlib_compress("5 0 " + member)));
        w.add_stream(6, "/Filter /FlateDecode", enc.stream(6, 0, zlib_compress("BT (second) Tj ET")));
        w.add(7, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Name " + enc.string(7, 0, "(F1)") + " >>");
        w.add_stream(8, "/Subtype /Image /Width 1 /Height 1 /ColorSpace [/Indexed /DeviceRGB 0 " +
                            enc.string(8, 0, "abc") + "] /BitsPerComponent 8",
                     enc.stream(8, 0, std::string(1, '\0')));
        w.add(30, enc.dict());
        w.set_trailer_extra(enc.trailer(30));
        std::string doc = w.build();
        if (k.given) doc += std::string("%%PW%%") + k.given;
        docs.push_back(std::move(doc));
    }
    return docs;
}

// Every ordered pair of the documents, A and B joined by the marker.
std::vector<std::string> document_pairs() {
    const std::vector<std::string> docs = documents();
    std::vector<std::string> pairs;
    for (const std::string &a : docs)
        for (const std::string &b : docs) pairs.push_back(a + "%%B%%" + b);
    return pairs;
}

// CMaps, font dictionaries and content for fuzz_fonts: "CMAP%%FONT%%DICT%%CONTENT%%TEXT".
std::vector<std::string> font_inputs() {
    const std::string to_unicode =
        "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /A def\n"
        "2 begincodespacerange <00> <80> <8140> <FFFF> endcodespacerange\n"
        "3 beginbfchar <01> <0041> <8141> <D83DDE00> <0003> /fi endbfchar\n"
        "2 beginbfrange <20> <7E> <0020> <8150> <8152> [<0066> <00660069> <FB01>] endbfrange\n"
        "endcmap CMapName currentdict /CMap defineresource pop end end";
    const std::string encoding_cmap =
        "/CIDInit /ProcSet findresource begin begincmap /Identity-H usecmap /WMode 0 def\n"
        "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
        "1 begincidrange <0100> <01FF> 300 endcidrange 1 begincidchar <0007> 42 endcidchar endcmap end";
    const std::string content =
        "BT /F1 10 Tf 1 Tc 2 Tw 90 Tz 100 700 Td (\\001 \\201\\101x) Tj 3 Ts [(a) -300 <0003 8141> 50 (b)] TJ "
        "0.3 0 Td (a b) Tj 14 TL T* 1 2 (q) \" 2 0 0 2 5 5 Tm <00070150> Tj ET";
    std::vector<std::string> fonts = {
        "<< /Type /Font /Subtype /TrueType /BaseFont /X /FirstChar 32 /Widths [250 300 400] "
        "/FontDescriptor << /Flags 4 /MissingWidth 500 >> /ToUnicode 6 0 R >>",
        "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /ToUnicode 6 0 R "
        "/DescendantFonts [<< /Subtype /CIDFontType2 /DW 900 /W [1 [100 200] 5 9 300] >>] >>",
        "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding 6 0 R "
        "/DescendantFonts [<< /Subtype /CIDFontType0 /W [0 65535 500] >>] >>",
        "<< /Type /Font /Subtype /Type0 /Encoding /UniJIS-UTF16-H /DescendantFonts [7 0 R] >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /CMR10 /FirstChar 0 /Widths [500 500 500] "
        "/Encoding << /BaseEncoding /MacRomanEncoding /Differences [0 /fi /uni00410042 5 /f_f_i /a.sc] >> >>",
        "<< /Type /Font /Subtype /Type3 /FontMatrix [0.01 0 0 -0.01 0 0] /FirstChar 97 /Widths [50 25] "
        "/Encoding << /Differences [97 /caron /C] >> >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Symbol /Encoding /WinAnsiEncoding >>",
        // CIDs read through an Adobe collection; vertical writing.
        "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-V /DescendantFonts [<< /Subtype "
        "/CIDFontType0 /DW2 [880 -900] /CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 6 >> >>] >>",
        "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding 6 0 R /ToUnicode 6 0 R /DescendantFonts [<< "
        "/Subtype /CIDFontType2 /CIDSystemInfo << /Registry <41646F6265> /Ordering (G\\102\\061) >> >>] >>",
    };
    std::vector<std::string> out;
    for (const std::string &f : fonts) {
        out.push_back(to_unicode + "%%FONT%%" + f + "%%CONTENT%%" + content);
        out.push_back(encoding_cmap + "%%FONT%%" + f + "%%CONTENT%%" + content);
    }
    return out;
}

// Documents with every document-level part: information with both string
// forms, XMP, an outline with a loop and nesting, links by name and by
// page, a comment with its popup, nested fields, an embedded file, page
// labels.  Pairs join two of them with "%%B%%".
std::vector<std::string> docinfo_documents() {
    auto doc = [](const std::string &title, const std::string &outline_next, const std::string &value) {
        fixture::PdfWriter w;
        w.add(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 10 0 R /AcroForm << /Fields [20 0 R] >> /Metadata 30 0 R "
                 "/Names << /Dests << /Names [(d1) [3 0 R /Fit]] >> /EmbeddedFiles << /Kids [31 0 R] >> >> "
                 "/PageLabels << /Nums [0 << /S /r /P (x-) >> 1 << /S /D /St 4 >>] >> >>");
        w.add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
        w.add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [40 0 R 41 0 R 42 0 R 22 0 R] >>");
        w.add(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate 90 /Annots [43 0 R] >>");
        w.add(10, "<< /First 11 0 R /Last 12 0 R >>");
        w.add(11, "<< /Title (One) /Parent 10 0 R /Next 12 0 R /First 13 0 R /Dest (d1) >>");
        w.add(12, "<< /Title <FEFF00540077006F> /Parent 10 0 R /Prev 11 0 R " + outline_next + " /Dest [4 0 R /XYZ 0 0 0] >>");
        w.add(13, "<< /Title (Deep) /Parent 11 0 R /A << /S /URI /URI (http://x.example) >> >>");
        w.add(20, "<< /T (form) /Kids [21 0 R] >>");
        w.add(21, "<< /T (name) /Parent 20 0 R /FT /Ch /Opt [(a) [(b) (B)]] /V " + value + " /Ff 1 /Kids [22 0 R] >>");
        w.add(22, "<< /Type /Annot /Subtype /Widget /Parent 21 0 R /Rect [1 2 3 4] /AP << /N 23 0 R >> >>");
        w.add_stream(23, "/BBox [0 0 2 2]", "");
        w.add_stream(30, "/Type /Metadata", "<dc:title><rdf:Alt><rdf:li>" + title + "</rdf:li></rdf:Alt></dc:title>");
        w.add(31, "<< /Limits [(a) (z)] /Names [(f.txt) << /EF << /F 32 0 R >> /UF (f.txt) >>] >>");
        w.add_stream(32, "/Type /EmbeddedFile", "data " + value);
        w.add(40, "<< /Subtype /Link /Rect [0 0 10 10] /Dest /d1 >>");
        w.add(41, "<< /Subtype /Link /Rect [0 0 10 10] /A << /S /GoTo /D [9 0 R /Fit] >> >>");
        w.add(42, "<< /Subtype /Text /Rect [5 5 9 9] /Contents (note) /T (me) /Popup 44 0 R >>");
        w.add(43, "<< /Subtype /FreeText /Rect [5 5 9 9] /Contents <FEFFD83D> >>");
        w.add(44, "<< /Subtype /Popup /Parent 42 0 R >>");
        w.add(50, "<< /Title (" + title + ") /Author (\\351) /ModDate (D:2024) >>");
        w.set_trailer_extra("/Info 50 0 R");
        return w.build();
    };
    const std::string a = doc("Old", "", "(a)"), b = doc("New &amp; more", "/Next 11 0 R", "<FEFF0062>");
    return {a, a + "%%B%%" + b, b + "%%B%%" + a};
}

void write_all(const fs::path &dir, const std::vector<std::string> &inputs) {
    fs::create_directories(dir);
    for (size_t i = 0; i < inputs.size(); ++i)
        write_file((dir / ("seed-" + std::to_string(i))).string(), inputs[i]);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) return 2;
    const fs::path out(argv[1]);
    write_all(out / "fuzz_doc_load", documents());
    write_all(out / "fuzz_inflate", inflate_streams());
    write_all(out / "fuzz_compare", document_pairs());
    write_all(out / "fuzz_options",
              {"{}", R"({"report":"detail","pairing":"content","pages_a":"1-3,7,10-","pages_b":"2"})",
               R"({"ignore_regions":[{"rect":[0,740.5,612,7.92e2],"pages":"1-","side":"b"}]})",
               R"({"ignore_text":["\\d{4}-\\d{2}-\\d{2}","(Mon|Tue)day","[^a-z]+","(a*)*b"]})",
               R"({"layout":"side_by_side","changed_only":true,"threads":4,"password":"pé"})",
               R"((a|b)*c{2,5}[x-z]\s?)", R"(["\ud83d\ude00", -0.5e-3, null, true])"});
    write_all(out / "fuzz_encrypted", encrypted_documents());
    write_all(out / "fuzz_fonts", font_inputs());
    write_all(out / "fuzz_docinfo", docinfo_documents());
    // LZW: the classic example (decodes to "-----A---B"), a clear code
    // alone, and a code past the table.
    write_all(out / "fuzz_lzw", {std::string("\x80\x0b\x60\x50\x22\x0c\x0c\x85\x01", 9),
                                 std::string("\x80\x00", 2), std::string("\x80\x3f\xff\xff", 4)});
    return 0;
}
