// Fuzz target: the CMap parser and the font layer.
//
// The input is "CMAP%%FONT%%DICT%%CONTENT%%TEXT" (missing parts are empty).
// The CMap text is parsed and every code of the whole input is read through
// it; then a one-page document is made whose font F1 is DICT (object 4),
// whose content is TEXT and whose object 6 is a stream holding the CMap,
// so that DICT can use it as /ToUnicode or /Encoding, and the page is
// analysed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "document/document.h"
#include "font/cmap.h"
#include "page/page.h"

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_fonts: %s\n", what);
        std::abort();
    }
}

std::string_view cut(std::string_view *rest, std::string_view marker) {
    const size_t at = rest->find(marker);
    std::string_view head = rest->substr(0, at);
    *rest = at == std::string_view::npos ? std::string_view() : rest->substr(at + marker.size());
    return head;
}

std::string stream_object(int num, std::string_view data) {
    return std::to_string(num) + " 0 obj\n<< /Length " + std::to_string(data.size()) + " >>\nstream\n" +
           std::string(data) + "\nendstream\nendobj\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > (1u << 20)) return 0;
    std::string_view rest(reinterpret_cast<const char *>(data), size);
    const std::string_view cmap_text = cut(&rest, "%%FONT%%");
    const std::string_view dict = cut(&rest, "%%CONTENT%%");
    const std::string_view content = rest;

    morvex::CMap cmap;
    cmap.parse(reinterpret_cast<const uint8_t *>(cmap_text.data()), cmap_text.size());
    std::string text;
    for (size_t i = 0; i < size;) {
        const int n = cmap.code_length(data + i, size - i);
        check(n >= 1 && n <= 4 && static_cast<size_t>(n) <= size - i, "code length out of range");
        uint32_t code = 0, cid = 0;
        for (int k = 0; k < n; ++k) code = code << 8 | data[i + k];
        text.clear();
        cmap.to_unicode(code, n, &text);
        cmap.to_cid(code, n, &cid);
        i += static_cast<size_t>(n);
    }

    std::string pdf = "%PDF-1.7\n"
                      "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"
                      "2 0 obj\n<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n"
                      "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
                      "/Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>\nendobj\n"
                      "4 0 obj\n";
    pdf.append(dict);
    pdf += "\nendobj\n";
    pdf += stream_object(5, content);
    pdf += stream_object(6, cmap_text);
    pdf += "%%EOF\n";
    std::unique_ptr<morvex::u8[]> block(new morvex::u8[pdf.size() + 1]);
    std::memcpy(block.get(), pdf.data(), pdf.size());
    block[pdf.size()] = 0;
    morvex::PdfDocument doc;
    if (morvex::doc_load_bytes(std::move(block), static_cast<int32_t>(pdf.size()), "fuzz.pdf", &doc)) {
        for (int i = 0; i < doc.page_count() && i < 4; ++i) {
            morvex::PageSummary ps;
            morvex::analyze_page(doc, i, &ps);
            morvex::page_analysis_free(&ps);
        }
    }
    morvex::doc_free(&doc);
    return 0;
}
