// Fuzz target: load arbitrary bytes as a PDF file and analyse its pages
// (fonts, content fetched through the filter chain, the interpreter).
#include <cstdint>
#include <cstring>
#include <memory>

#include "document/document.h"
#include "page/page.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0 || size > (1u << 24)) return 0;
    std::unique_ptr<morvex::u8[]> block(new morvex::u8[size + 1]);
    std::memcpy(block.get(), data, size);
    block[size] = 0;
    morvex::PdfDocument doc;
    if (morvex::doc_load_bytes(std::move(block), static_cast<int32_t>(size), "fuzz.pdf", &doc)) {
        const int pages = doc.page_count() < 64 ? doc.page_count() : 64;
        for (int i = 0; i < pages; ++i) {
            morvex::PageSummary ps;
            morvex::analyze_page(doc, i, &ps);
            morvex::page_analysis_free(&ps);
        }
    }
    morvex::doc_free(&doc);
    return 0;
}
