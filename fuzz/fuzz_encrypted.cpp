// Fuzz target: encrypted documents.  The input is a PDF file, optionally
// followed by "%%PW%%" and a password.  The file is loaded as the options
// functions load it (key derivation with the empty password, then the
// given one as user and owner password), its pages are analysed (streams
// decrypted when fetched) and its pages' resources are copied as the
// visual report copies them (strings and stream data decrypted, /Length
// rewritten).
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "document/document.h"
#include "page/page.h"
#include "report/copy.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0 || size > (1u << 22)) return 0;
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t cut = input.find("%%PW%%");
    const std::string_view pdf = cut == std::string_view::npos ? input : input.substr(0, cut);
    const std::string password(cut == std::string_view::npos ? std::string_view() : input.substr(cut + 6));
    if (pdf.empty()) return 0;
    std::unique_ptr<morvex::u8[]> block(new morvex::u8[pdf.size() + 1]);
    std::memcpy(block.get(), pdf.data(), pdf.size());
    block[pdf.size()] = 0;
    morvex::DocLoadOptions opts;
    opts.options_api = true;
    if (cut != std::string_view::npos) opts.password = password.c_str();
    morvex::PdfDocument doc;
    if (morvex::doc_load_bytes_ex(std::move(block), static_cast<int32_t>(pdf.size()), "fuzz.pdf", opts, &doc)) {
        const int pages = doc.page_count() < 16 ? doc.page_count() : 16;
        std::vector<int32_t> indexes;
        for (int i = 0; i < pages; ++i) {
            morvex::PageSummary ps;
            morvex::analyze_page(doc, i, &ps);
            morvex::page_analysis_free(&ps);
            indexes.push_back(i);
        }
        const std::vector<int32_t> list = morvex::collect_copy_list(doc, indexes);
        morvex::Renumbering table;
        for (size_t k = 0; k < list.size() && k < 256; ++k) {
            table.old_nums.push_back(list[k]);
            table.new_of[list[k]] = static_cast<int32_t>(100 + k);
        }
        morvex::ByteBuf out;
        for (size_t k = 0; k < table.old_nums.size(); ++k)
            morvex::write_copied_object(&out, doc, table.old_nums[k], table.find(table.old_nums[k]), table);
    }
    morvex::doc_free(&doc);
    return 0;
}
