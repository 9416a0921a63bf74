// The exported functions.  Each runs its whole road inside one trap, so
// no C++ exception ever reaches the host.
#include <cstring>
#include <new>

#include "../include/morvex.h"
#include "compare/diff.h"
#include "docinfo/docinfo.h"
#include "document/document.h"
#include "library_state.h"
#include "options/options_reader.h"
#include "report/json.h"
#include "report/side_by_side.h"
#include "report/visual.h"
#include "same_file.h"

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
// When B's file holds the same bytes as A's, b stays empty and *shared is
// set: A's document stands for B too.
bool load_pair(const char *path_a, const char *path_b, PdfDocument *a, PdfDocument *b, bool *shared) {
    if (!doc_load(path_a, a)) return false;
    if (!doc_load_second(path_b, DocLoadOptions{}, *a, b, shared)) {
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
    bool shared = false;
    if (!load_pair(path_a, path_b, &a, &b, &shared)) return nullptr;
    DiffList list;
    compare_docs(a, shared ? a : b, &list);
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
                  PdfDocument *a, PdfDocument *b, bool *shared) {
    std::string why;
    if (!read_options(options ? std::string_view(options) : std::string_view("{}"), opts, &why)) {
        set_error("%s", why.c_str());
        return false;
    }
    auto password_for = [&](const std::optional<std::string> &side) -> const char * {
        if (side) return side->c_str();
        return opts->password ? opts->password->c_str() : nullptr;
    };
    // A file in which no page is found is refused.
    auto has_pages = [](const char *path, PdfDocument *doc) {
        if (doc->page_count() > 0) return true;
        set_error("no pages found: %s", path);
        doc_free(doc);
        return false;
    };
    const DocLoadOptions how_a{password_for(opts->password_a), true};
    const DocLoadOptions how_b{password_for(opts->password_b), true};
    if (!doc_load_ex(path_a, how_a, a) || !has_pages(path_a, a)) return false;
    // B's file may hold A's bytes again; opened the same way, A stands for it.
    const bool same_way = how_a.password == how_b.password ||
                          (how_a.password && how_b.password && std::strcmp(how_a.password, how_b.password) == 0);
    *shared = false;
    const bool loaded = same_way ? doc_load_second(path_b, how_b, *a, b, shared) : doc_load_ex(path_b, how_b, b);
    if (!loaded || (!*shared && !has_pages(path_b, b))) {
        doc_free(a);
        return false;
    }
    return true;
}

const char *compare_opts(const char *path_a, const char *path_b, const char *options) {
    clear_error();
    CompareOptions opts;
    PdfDocument a, b;
    bool shared = false;
    if (!prepare_opts(path_a, path_b, options, &opts, &a, &b, &shared)) return nullptr;
    const PdfDocument &db = shared ? a : b;
    DiffList list;
    compare_docs_opts(a, db, opts, &list);
    compare_document(a, db, opts, &list);
    bool ok = false;
    switch (opts.report) {
    case ReportKind::Compare: ok = build_compare_json(list, &g_json_buf); break;
    case ReportKind::Text: ok = build_text_json(list, &g_json_buf); break;
    case ReportKind::Detail: ok = build_detail_json(a, db, list, &g_json_buf); break;
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
    bool shared = false;
    if (!prepare_opts(path_a, path_b, options, &opts, &a, &b, &shared)) return 0;
    const PdfDocument &db = shared ? a : b;
    DiffList list;
    compare_docs_opts(a, db, opts, &list);
    compare_document(a, db, opts, &list);
    if (list.pairs.empty()) {
        set_error("no pages to compare");
        return 0;
    }
    ByteBuf report;
    const bool built = opts.layout == Layout::SideBySide
                           ? build_side_by_side_report(a, db, list, opts, path_a, path_b, &report)
                           : build_visual_report(a, db, list, &report);
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
        bool shared = false;
        if (!load_pair(path_a, path_b, &a, &b, &shared)) return 0;
        DiffList list;
        compare_docs(a, shared ? a : b, &list);
        if (list.pages_compared == 0) {
            set_error("no pages to compare");
            return 0;
        }
        ByteBuf report;
        if (!build_visual_report(a, shared ? a : b, list, &report)) {
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
