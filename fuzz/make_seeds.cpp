// Writes the seed corpora of the fuzz targets, all made by the fixture
// writer, into one folder per target under the given directory.
#include <filesystem>
#include <string>
#include <vector>

#include <zlib.h>

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

// Every ordered pair of the documents, A and B joined by the marker.
std::vector<std::string> document_pairs() {
    const std::vector<std::string> docs = documents();
    std::vector<std::string> pairs;
    for (const std::string &a : docs)
        for (const std::string &b : docs) pairs.push_back(a + "%%B%%" + b);
    return pairs;
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
    // LZW: the classic example (decodes to "-----A---B"), a clear code
    // alone, and a code past the table.
    write_all(out / "fuzz_lzw", {std::string("\x80\x0b\x60\x50\x22\x0c\x0c\x85\x01", 9),
                                 std::string("\x80\x00", 2), std::string("\x80\x3f\xff\xff", 4)});
    return 0;
}
