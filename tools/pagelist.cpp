// Prints the page list of a PDF file as the loader sees it, one page a
// line: "obj x y w h rotate contents...".  A test tool, not part of the API.
#include <cstdio>
#include <string>

#include "document/document.h"
#include "library_state.h"

int main(int argc, char **argv) {
    // --password PW loads an encrypted file as the options functions do.
    morvex::DocLoadOptions opts;
    if (argc == 4 && std::string(argv[1]) == "--password") {
        opts.password = argv[2];
        opts.options_api = true;
        argv += 2;
        argc -= 2;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: morvex_pagelist [--password PW] FILE.pdf\n");
        return 2;
    }
    morvex::PdfDocument doc;
    if (!morvex::doc_load_ex(argv[1], opts, &doc)) {
        std::fprintf(stderr, "morvex_pagelist: %s\n", morvex::g_err);
        return 2;
    }
    std::printf("pages %d\n", doc.page_count());
    for (const morvex::PageEntry &p : doc.pages) {
        std::printf("%d %.4f %.4f %.4f %.4f %d", p.obj_num, p.box_x, p.box_y, p.box_w, p.box_h,
                    p.rotate);
        for (int32_t c : p.contents) std::printf(" %d", c);
        std::printf("\n");
    }
    return 0;
}
