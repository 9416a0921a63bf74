// Fuzz target: the document-level readers (metadata, outline, links,
// annotations, form fields, embedded files, page labels) and their
// comparison.  The input is split at the first "%%B%%" into A and B (no
// marker: B is A's bytes loaded again); both are read with every kind on
// and the document list goes through both JSON reports.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "compare/diff.h"
#include "docinfo/docinfo.h"
#include "document/document.h"
#include "report/json.h"

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
    morvex::DiffList list;
    // Pages paired by position, and (odd sizes) A's first page with B's last.
    const int common = std::min(da.page_count(), db.page_count());
    for (int k = 0; k < common; ++k) list.pairs.push_back({k, size % 2 == 1 && k == 0 ? db.page_count() - 1 : k});
    morvex::CompareOptions opts;
    opts.document_kinds = morvex::kDocAll;
    morvex::compare_document(da, db, opts, &list);
    morvex::ByteBuf out;
    morvex::build_compare_json(list, &out);
    morvex::build_detail_json(da, db, list, &out);
    return 0;
}
