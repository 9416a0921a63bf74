// Writes the named fixture files that the command-line and Python tests
// use, into the given folder.
#include <string>

#include "fixture/pdf_writer.h"

using namespace fixture;

namespace {

// One page showing `text` (a literal string token, escapes included) in Helvetica.
std::string text_page(const std::string &literal, int extra_pages = 0) {
    DocBuilder b;
    const int f = b.font("Helvetica");
    b.page({.content = "BT /F1 12 Tf 72 712 Td " + literal + " Tj ET", .resources = resources({{"F1", f}})});
    for (int i = 0; i < extra_pages; ++i)
        b.page({.content = "BT /F1 12 Tf 72 712 Td (more) Tj ET", .resources = resources({{"F1", f}})});
    return b.build();
}

std::string with_image(double x) {
    DocBuilder b;
    const int f = b.font("Helvetica");
    const int img = b.image(4, 4);
    b.page({.content = "BT /F1 12 Tf 72 712 Td (Same text) Tj ET q 50 0 0 50 " + std::to_string(x) +
                       " 100 cm /Im1 Do Q",
            .resources = resources({{"F1", f}}, {{"Im1", img}})});
    return b.build();
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) return 2;
    const std::string dir = argv[1];
    auto put = [&](const char *name, const std::string &bytes) { write_file(dir + "/" + name, bytes); };
    put("hello.pdf", text_page("(Hello World)"));
    put("hello-copy.pdf", text_page("(Hello World)"));
    put("goodbye.pdf", text_page("(Goodbye World)"));
    put("hello-2pages.pdf", text_page("(Hello World)", 1));
    // Quotes, a backslash, a tab, a line feed, control bytes and e-acute (WinAnsi 0xE9).
    put("escapes-a.pdf", text_page("(say \\\"hi\\\" \\\\ tab\\there\\nnext \\001\\033 caf\\351)"));
    put("escapes-b.pdf", text_page("(say \\\"bye\\\" \\\\ tab\\there\\nnext \\001\\033 caf\\351)"));
    put("image-left.pdf", with_image(100));
    put("image-right.pdf", with_image(160));
    PdfWriter enc;
    enc.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    enc.add(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    enc.set_trailer_extra("/Encrypt 3 0 R");
    put("encrypted.pdf", enc.build());
    put("not-a-pdf.pdf", "this is plain text, not a PDF\n");
    PdfWriter nopages;
    nopages.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    nopages.add(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    put("no-pages.pdf", nopages.build());
    return 0;
}
