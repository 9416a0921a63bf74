// Helpers shared by the unit tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "document/document.h"
#include "fixture/pdf_writer.h"
#include "library_state.h"

namespace testutil {

inline const morvex::u8 *bytes(const std::string &s) {
    return reinterpret_cast<const morvex::u8 *>(s.data());
}
inline int32_t len(const std::string &s) { return static_cast<int32_t>(s.size()); }

// A path in the test's scratch folder.
inline std::string tmp_path(const std::string &name) {
    const char *dir = std::getenv("MORVEX_TEST_TMP");
    std::string base = dir ? dir : "/tmp";
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string prefix = info ? std::string(info->test_suite_name()) + "." + info->name() + "." : "";
    for (char &c : prefix)
        if (c == '/') c = '_';
    return base + "/" + prefix + name;
}

// Writes bytes to a scratch file and returns its path.
inline std::string write_tmp(const std::string &name, const std::string &content) {
    const std::string path = tmp_path(name);
    fixture::write_file(path, content);
    return path;
}

// Loads a document from bytes in memory.
inline bool load(const std::string &pdf, morvex::PdfDocument *doc) {
    std::unique_ptr<morvex::u8[]> block(new morvex::u8[pdf.size() + 1]);
    std::memcpy(block.get(), pdf.data(), pdf.size());
    block[pdf.size()] = 0;
    return morvex::doc_load_bytes(std::move(block), static_cast<int32_t>(pdf.size()), "mem.pdf",
                                  doc) == 1;
}

// A one-page document whose /F1 is the font dictionary `font`, showing
// `content`; the objects in `extra` come first, numbered from 3 in the
// order given ("stream:DICT|DATA" makes a stream).
inline std::string font_page(const std::vector<std::string> &extra, const std::string &font,
                             const std::string &content) {
    fixture::DocBuilder b;
    for (const std::string &o : extra) {
        if (o.rfind("stream:", 0) == 0) {
            const size_t bar = o.find('|');
            b.stream(o.substr(7, bar - 7), o.substr(bar + 1));
        } else {
            b.object(o);
        }
    }
    const int f = b.object(font);
    b.page({.content = content, .resources = fixture::resources({{"F1", f}})});
    return b.build();
}

// Runs a shell command; returns its exit status and everything it printed.
inline int run_command(const std::string &command, std::string *output) {
    output->clear();
    FILE *p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) output->append(buf, n);
    return ::pclose(p);
}

// A written PDF must pass qpdf --check without warnings and render in
// poppler and MuPDF without complaints (skipped when qpdf is not installed).
inline void expect_valid_pdf(const std::string &path) {
    std::string out;
    if (run_command("qpdf --version", &out) != 0) return;
    EXPECT_EQ(run_command("qpdf --check '" + path + "'", &out), 0) << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;
    EXPECT_EQ(run_command("pdftoppm -r 10 '" + path + "' > /dev/null", &out), 0) << out;
    EXPECT_EQ(out, "") << "pdftoppm: " << out;
    // This build of MuPDF always says that it lacks colour management.
    EXPECT_EQ(run_command("mutool draw -r 10 -o /dev/null '" + path +
                              "' 2>&1 | { grep -v 'ICC support is not available' || true; }",
                          &out),
              0)
        << out;
    EXPECT_EQ(out.find("error"), std::string::npos) << "mutool: " << out;
    EXPECT_EQ(out.find("warning"), std::string::npos) << "mutool: " << out;
}

}  // namespace testutil
