// Fuzz target: the whole road of a comparison over two arbitrary files.
// The input is split at the first "%%B%%" into A and B (no marker: A and B
// are the same bytes); both are loaded, compared, and turned into the two
// JSON reports, the visual report and the side-by-side report (in memory).
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "compare/diff.h"
#include "document/document.h"
#include "options/options.h"
#include "report/json.h"
#include "report/side_by_side.h"
#include "report/visual.h"

namespace {

bool load(std::string_view bytes, morvex::PdfDocument *doc) {
    if (bytes.empty()) return false;
    std::unique_ptr<morvex::u8[]> block(new morvex::u8[bytes.size() + 1]);
    std::memcpy(block.get(), bytes.data(), bytes.size());
    block[bytes.size()] = 0;
    return morvex::doc_load_bytes(std::move(block), static_cast<int32_t>(bytes.size()), "fuzz.pdf", doc) == 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0 || size > (1u << 22)) return 0;
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t cut = input.find("%%B%%");
    const std::string_view a = cut == std::string_view::npos ? input : input.substr(0, cut);
    const std::string_view b = cut == std::string_view::npos ? input : input.substr(cut + 5);
    morvex::PdfDocument da, db;
    if (!load(a, &da) || !load(b, &db)) return 0;
    if (da.page_count() > 64 || db.page_count() > 64) return 0;
    morvex::DiffList list;
    morvex::compare_docs(da, db, &list);
    morvex::ByteBuf out;
    morvex::build_compare_json(list, &out);
    morvex::build_text_json(list, &out);
    if (list.pages_compared > 0) {
        morvex::build_visual_report(da, db, list, &out);
        morvex::CompareOptions opts;
        opts.changed_only = size % 2 == 1;
        opts.ignore_regions.push_back({10, 10, 200, 80, {}, morvex::kSideBoth});
        morvex::build_side_by_side_report(da, db, list, opts, "a.pdf", "b\xC3\xA9.pdf", &out);
    }
    morvex::diff_result_free(&list);
    // Pages paired by content, a page range and an ignored region.
    morvex::CompareOptions options;
    options.pairing = morvex::Pairing::Content;
    options.pages_b = {{2, 0}};
    options.ignore_regions.push_back({0, 0, 300, 300, {}, morvex::kSideBoth});
    morvex::compare_docs_opts(da, db, options, &list);
    morvex::build_detail_json(da, db, list, &out);
    return 0;
}
