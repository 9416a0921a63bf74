// Prints the page text of every page of a PDF file as the page analysis
// sees it: per page a separator line "=== page N", then the page text and
// a line feed.  With --words, each page's words instead, one a line: the
// box "x y w h" (two decimals), a tab, the word's text.  With --first and
// --last only those pages (1-based) are analysed.  A test tool, not part
// of the API.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "document/document.h"
#include "library_state.h"
#include "page/page.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: morvex_pagetext [--password PW] [--words] [--first N] [--last N] FILE.pdf\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    // --password PW loads an encrypted file as the options functions do.
    morvex::DocLoadOptions opts;
    bool words = false;
    long first = 1, last = -1;
    const char *path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--words") == 0) {
            words = true;
        } else if (std::strcmp(argv[i], "--password") == 0 && i + 1 < argc) {
            opts.password = argv[++i];
            opts.options_api = true;
        } else if ((std::strcmp(argv[i], "--first") == 0 || std::strcmp(argv[i], "--last") == 0) && i + 1 < argc) {
            char *end = nullptr;
            const long v = std::strtol(argv[i + 1], &end, 10);
            if (!end || *end || v < 1) return usage();
            (argv[i][2] == 'f' ? first : last) = v;
            ++i;
        } else if (!path && argv[i][0] != '-') {
            path = argv[i];
        } else {
            return usage();
        }
    }
    if (!path) return usage();
    morvex::PdfDocument doc;
    if (!morvex::doc_load_ex(path, opts, &doc)) {
        std::fprintf(stderr, "morvex_pagetext: %s\n", morvex::g_err);
        return 2;
    }
    for (int i = 0; i < doc.page_count(); ++i) {
        if (i + 1 < first || (last > 0 && i + 1 > last)) continue;
        morvex::PageSummary ps;
        morvex::analyze_page(doc, i, &ps);
        std::printf("=== page %d\n", ps.page);
        if (words) {
            for (const morvex::TextItem &t : ps.items)
                std::printf("%.2f %.2f %.2f %.2f\t%s\n", t.x, t.y, t.w, t.h, t.text.c_str());
        } else {
            std::fwrite(ps.text.data(), 1, ps.text.size(), stdout);
            std::printf("\n");
        }
        morvex::page_analysis_free(&ps);
    }
    morvex::doc_free(&doc);
    return 0;
}
