// Writes the seed corpora of the fuzz targets, all made by the fixture
// writer, into one folder per target under the given directory.
#include <filesystem>
#include <string>
#include <vector>

#include "fixture/pdf_writer.h"

namespace fs = std::filesystem;
using namespace fixture;

namespace {

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
    return docs;
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
    return 0;
}
