// The exported functions.  Each runs its whole road inside one trap, so
// no C++ exception ever reaches the host.
#include <new>

#include "../include/morvex.h"
#include "compare/diff.h"
#include "document/document.h"
#include "library_state.h"
#include "options/options_reader.h"
#include "report/json.h"
#include "report/side_by_side.h"
#include "report/visual.h"

using namespace morvex;

namespace {

template <class R, class Body>
R guarded(R on_error, Body &&body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        set_error("out of memory");
    } catch (...) {
        set_error("internal error");
    }
    return on_error;
}

// Loads both files; on failure the message is stored and nothing is kept.
bool load_pair(const char *path_a, const char *path_b, PdfDocument *a, PdfDocument *b) {
    if (!doc_load(path_a, a)) return false;
    if (!doc_load(path_b, b)) {
        doc_free(a);
        return false;
    }
    return true;
}

// The road of both JSON reports: load, compare, write the report into
// g_json_buf.  The previous report stays valid when loading fails.
const char *json_report(const char *path_a, const char *path_b,
                        bool (*build)(const DiffList &, ByteBuf *)) {
    clear_error();
    PdfDocument a, b;
    if (!load_pair(path_a, path_b, &a, &b)) return nullptr;
    DiffList list;
    compare_docs(a, b, &list);
    if (!build(list, &g_json_buf)) {
        buf_free(&g_json_buf);
        set_error("out of memory");
        return nullptr;
    }
    return reinterpret_cast<const char *>(g_json_buf.data);
}

// The road of the options functions up to the comparison: read the
// options, then load A and B, each refused when no page is found in it.
// On failure the message is stored and nothing is kept.
bool prepare_opts(const char *path_a, const char *path_b, const char *options, CompareOptions *opts,
                  PdfDocument *a, PdfDocument *b) {
    std::string why;
    if (!read_options(options ? std::string_view(options) : std::string_view("{}"), opts, &why)) {
        set_error("%s", why.c_str());
        return false;
    }
    auto password_for = [&](const std::optional<std::string> &side) -> const char * {
        if (side) return side->c_str();
        return opts->password ? opts->password->c_str() : nullptr;
    };
    auto load = [&](const char *path, const std::optional<std::string> &side, PdfDocument *doc) {
        if (!doc_load_ex(path, DocLoadOptions{password_for(side), true}, doc)) return false;
        if (doc->page_count() == 0) {
            set_error("no pages found: %s", path);
            doc_free(doc);
            return false;
        }
        return true;
    };
    if (!load(path_a, opts->password_a, a)) return false;
    if (!load(path_b, opts->password_b, b)) {
        doc_free(a);
        return false;
    }
    return true;
}

const char *compare_opts(const char *path_a, const char *path_b, const char *options) {
    clear_error();
    CompareOptions opts;
    PdfDocument a, b;
    if (!prepare_opts(path_a, path_b, options, &opts, &a, &b)) return nullptr;
    DiffList list;
    compare_docs_opts(a, b, opts, &list);
    bool ok = false;
    switch (opts.report) {
    case ReportKind::Compare: ok = build_compare_json(list, &g_json_buf); break;
    case ReportKind::Text: ok = build_text_json(list, &g_json_buf); break;
    case ReportKind::Detail: ok = build_detail_json(a, b, list, &g_json_buf); break;
    }
    if (!ok) {
        buf_free(&g_json_buf);
        set_error("out of memory");
        return nullptr;
    }
    return reinterpret_cast<const char *>(g_json_buf.data);
}

int visual_opts(const char *path_a, const char *path_b, const char *out_path, const char *options) {
    clear_error();
    CompareOptions opts;
    std::string why;
    // The options are checked before anything else, the output path included.
    if (!read_options(options ? std::string_view(options) : std::string_view("{}"), &opts, &why)) {
        set_error("%s", why.c_str());
        return 0;
    }
    if (!out_path) {
        set_error("NULL output path");
        return 0;
    }
    PdfDocument a, b;
    if (!prepare_opts(path_a, path_b, options, &opts, &a, &b)) return 0;
    DiffList list;
    compare_docs_opts(a, b, opts, &list);
    if (list.pairs.empty()) {
        set_error("no pages to compare");
        return 0;
    }
    ByteBuf report;
    const bool built = opts.layout == Layout::SideBySide
                           ? build_side_by_side_report(a, b, list, opts, path_a, path_b, &report)
                           : build_visual_report(a, b, list, &report);
    if (!built) {
        set_error("out of memory");
        return 0;
    }
    doc_free(&a);
    doc_free(&b);
    return write_report_file(out_path, report) ? 1 : 0;
}

}  // namespace

extern "C" {

MORVEX_API int morvex_init(void) {
    clear_error();
    return 1;
}

MORVEX_API void morvex_cleanup(void) {
    buf_free(&g_json_buf);
    g_json_buf.oom = false;
    clear_error();
}

MORVEX_API const char *morvex_last_error(void) { return g_err; }

MORVEX_API const char *morvex_compare(const char *path_a, const char *path_b) {
    return guarded<const char *>(nullptr, [&] { return json_report(path_a, path_b, build_compare_json); });
}

MORVEX_API const char *morvex_text(const char *path_a, const char *path_b) {
    return guarded<const char *>(nullptr, [&] { return json_report(path_a, path_b, build_text_json); });
}

MORVEX_API int morvex_visual(const char *path_a, const char *path_b, const char *out_path) {
    return guarded<int>(0, [&]() -> int {
        clear_error();
        if (!out_path) {
            set_error("NULL output path");
            return 0;
        }
        PdfDocument a, b;
        if (!load_pair(path_a, path_b, &a, &b)) return 0;
        DiffList list;
        compare_docs(a, b, &list);
        if (list.pages_compared == 0) {
            set_error("no pages to compare");
            return 0;
        }
        ByteBuf report;
        if (!build_visual_report(a, b, list, &report)) {
            set_error("out of memory");
            return 0;
        }
        // The documents are no longer needed while the file is written.
        doc_free(&a);
        doc_free(&b);
        return write_report_file(out_path, report) ? 1 : 0;
    });
}

MORVEX_API const char *morvex_compare_opts(const char *path_a, const char *path_b, const char *options) {
    return guarded<const char *>(nullptr, [&] { return compare_opts(path_a, path_b, options); });
}

MORVEX_API int morvex_visual_opts(const char *path_a, const char *path_b, const char *out_path,
                                  const char *options) {
    return guarded<int>(0, [&] { return visual_opts(path_a, path_b, out_path, options); });
}

}  // extern "C"
