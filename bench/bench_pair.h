// The document pair the whole-road benchmarks share: two 1,000-page
// documents of about 300 words a page with one image each, written to a
// scratch folder; B changes one word on every tenth page.  The same pages
// in other numbers make the size sweep of bench/goals.sh.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fixture/pdf_writer.h"

namespace bench {

inline std::string generated_document(int pages, bool variant) {
    fixture::DocBuilder b;
    const int font = b.font("Helvetica");
    const int img = b.image(32, 32);
    const std::string res = fixture::resources({{"F1", font}}, {{"Im1", img}});
    for (int p = 0; p < pages; ++p) {
        std::string content = "q 100 0 0 80 400 650 cm /Im1 Do Q BT /F1 10 Tf 72 760 Td 12 TL\n";
        for (int line = 0; line < 30; ++line) {
            content += "(";
            for (int w = 0; w < 10; ++w) {
                const bool changed = variant && p % 10 == 0 && line == 5 && w == 3;
                content += changed ? "CHANGED " : "word" + std::to_string((p * 7 + line * 3 + w) % 97) + " ";
            }
            content += ") Tj T*\n";
        }
        content += "ET\n";
        b.page({.content = content, .resources = res, .compress = true});
    }
    return b.build();
}

inline std::string thousand_page_document(bool variant) { return generated_document(1000, variant); }

// The pair on disk, with a path for a report; removed at exit.
struct Pair {
    std::string dir, a, b, report;
    Pair() {
        dir = "/tmp/morvex-bench-" + std::to_string(::getpid());
        ::mkdir(dir.c_str(), 0700);
        a = dir + "/a.pdf";
        b = dir + "/b.pdf";
        report = dir + "/report.pdf";
        fixture::write_file(a, thousand_page_document(false));
        fixture::write_file(b, thousand_page_document(true));
    }
    ~Pair() {
        ::unlink(a.c_str());
        ::unlink(b.c_str());
        ::unlink(report.c_str());
        ::rmdir(dir.c_str());
    }
};

inline const Pair &pair() {
    static const Pair p;
    return p;
}

}  // namespace bench
