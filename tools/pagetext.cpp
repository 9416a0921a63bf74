// Prints the page text of every page of a PDF file as the page analysis
// sees it: per page a separator line "=== page N", then the page text and
// a line feed.  A test tool, not part of the API.
#include <cstdio>
#include <string>

#include "document/document.h"
#include "library_state.h"
#include "page/page.h"

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
        std::fprintf(stderr, "usage: morvex_pagetext [--password PW] FILE.pdf\n");
        return 2;
    }
    morvex::PdfDocument doc;
    if (!morvex::doc_load_ex(argv[1], opts, &doc)) {
        std::fprintf(stderr, "morvex_pagetext: %s\n", morvex::g_err);
        return 2;
    }
    for (int i = 0; i < doc.page_count(); ++i) {
        morvex::PageSummary ps;
        morvex::analyze_page(doc, i, &ps);
        std::printf("=== page %d\n", ps.page);
        std::fwrite(ps.text.data(), 1, ps.text.size(), stdout);
        std::printf("\n");
        morvex::page_analysis_free(&ps);
    }
    morvex::doc_free(&doc);
    return 0;
}
