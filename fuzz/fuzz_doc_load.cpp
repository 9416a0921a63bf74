// Fuzz target: load arbitrary bytes as a PDF file and decode every page's content.
#include <cstdint>
#include <cstring>
#include <memory>

#include "codec/filters.h"
#include "document/document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0 || size > (1u << 24)) return 0;
    std::unique_ptr<morvex::u8[]> block(new morvex::u8[size + 1]);
    std::memcpy(block.get(), data, size);
    block[size] = 0;
    morvex::PdfDocument doc;
    if (morvex::doc_load_bytes(std::move(block), static_cast<int32_t>(size), "fuzz.pdf", &doc)) {
        for (const morvex::PageEntry &p : doc.pages) {
            morvex::ByteBuf content;
            morvex::get_page_content(doc, p, &content);
        }
    }
    morvex::doc_free(&doc);
    return 0;
}
