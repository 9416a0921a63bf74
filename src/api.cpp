// The six exported functions.  Each runs its whole road inside one trap, so
// no C++ exception ever reaches the host.
#include <new>

#include "../include/morvex.h"
#include "compare/diff.h"
#include "document/document.h"
#include "library_state.h"
#include "report/json.h"
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

}  // extern "C"
