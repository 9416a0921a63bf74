// Writes the bundled example pair, examples/a.pdf and examples/b.pdf: an
// invoice and its next version, which differ in text, in an image and by
// one page.  With --check, compares the files in the folder instead.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "fixture/pdf_writer.h"

using namespace fixture;

namespace {

std::string invoice(bool revised) {
    DocBuilder b;
    const int helv = b.font("Helvetica");
    const int bold = b.font("Helvetica-Bold");
    const int logo = b.image(64, 32, revised ? 90 : 160);
    const std::string res = resources({{"F1", helv}, {"F2", bold}}, {{"Logo", logo}});
    const std::string total = revised ? "Total: 1,250.00 EUR" : "Total: 1,150.00 EUR";
    const std::string logo_at = revised ? "440 704" : "460 720";  // the logo moved
    b.page({.content = "q 96 0 0 48 " + logo_at + " cm /Logo Do Q\n"
                       "BT /F2 18 Tf 72 740 Td (Invoice 2026-0042) Tj ET\n"
                       "BT /F1 11 Tf 72 700 Td (Bill to: Example Engineering Ltd.) Tj "
                       "0 -16 Td (Consulting, November 2026) Tj "
                       "0 -32 Td (" + total + ") Tj ET\n",
            .resources = res,
            .compress = true});
    b.page({.content = "BT /F1 11 Tf 72 740 Td (Terms: payable within 30 days.) Tj "
                       "0 -16 Td (Thank you for your business.) Tj ET\n",
            .resources = res,
            .compress = true});
    if (revised) {
        b.page({.content = "BT /F2 14 Tf 72 740 Td (Appendix: hours by week) Tj ET\n"
                           "BT /F1 11 Tf 72 712 Td (Week 45: 12 h) Tj 0 -16 Td (Week 46: 9 h) Tj ET\n",
                .resources = res,
                .compress = true});
    }
    return b.build();
}

std::string read(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char **argv) {
    const bool check = argc == 3 && std::string(argv[1]) == "--check";
    if (!check && argc != 2) {
        std::fprintf(stderr, "usage: make_examples [--check] DIR\n");
        return 2;
    }
    const std::string dir = argv[argc - 1];
    const std::pair<std::string, std::string> files[] = {{dir + "/a.pdf", invoice(false)},
                                                         {dir + "/b.pdf", invoice(true)}};
    for (const auto &[path, bytes] : files) {
        if (!check) {
            write_file(path, bytes);
        } else if (read(path) != bytes) {
            std::fprintf(stderr, "%s is out of date: run make_examples %s\n", path.c_str(), dir.c_str());
            return 1;
        }
    }
    return 0;
}
