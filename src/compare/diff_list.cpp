#include <cstdio>

#include "diff.h"

namespace morvex {

void diff_result_add(DiffList *list, int page, const char *type, const char *text,
                     const DiffRect *rects_b, int rect_count_b, const DiffRect *rects_a,
                     int rect_count_a) {
    list->identical = 0;
    DiffEntry &e = list->entries.emplace_back();
    e.page = page;
    std::snprintf(e.type, sizeof e.type, "%s", type);
    if (text) e.text = text;
    if (rects_b && rect_count_b > 0) e.rects_b.assign(rects_b, rects_b + rect_count_b);
    if (rects_a && rect_count_a > 0) e.rects_a.assign(rects_a, rects_a + rect_count_a);
}

void diff_result_free(DiffList *list) {
    list->entries = {};
    list->document = {};
    list->identical = 0;
    list->pages_compared = 0;
}

}  // namespace morvex
