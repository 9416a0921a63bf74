// The comparison result: a flag, the number of pages compared, and the
// ordered list of differences found, page by page.
//
// The two documents are A (the first path given to an entry point) and B.
// Rectangles are in the default user space of the page they belong to.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "../document/document.h"
#include "../options/options.h"
#include "../page/page.h"

namespace morvex {

struct DiffRect {
    double x = 0, y = 0, w = 0, h = 0;
};

// One word-level change of a text difference: a run of words removed from
// A, inserted into B, or both (replaced), between words the two pages share.
struct WordChange {
    char op[8] = {};              // "insert", "delete" or "replace"
    std::string old_text;         // A's words, joined by one space ("" for insert)
    std::string new_text;         // B's words, likewise ("" for delete)
    std::vector<DiffRect> rects_a;  // boxes of A's words, neighbours on a line joined
    std::vector<DiffRect> rects_b;
};

// One aligned pair of pages: 0-based page indexes, -1 where the page exists
// on one side only.
struct PagePair {
    int a = -1;
    int b = -1;
};

// Kinds: "dimensions_changed", "rotation_changed", "image_added",
// "image_removed", "image_changed", "text_added", "text_removed",
// "text_changed", "content_changed", "page_added" (numbered in B),
// "page_removed" (numbered in A).
struct DiffEntry {
    int page = 0;                     // 1-based
    char type[32] = {};               // kind name, at most 31 characters
    std::optional<std::string> text;  // the difference text of the text kinds
    std::vector<DiffRect> rects_b;    // rectangles on B's page
    std::vector<DiffRect> rects_a;    // rectangles on A's page
    int page_a = 0;                   // 1-based page of A, 0 when the pair has none
    int page_b = 0;                   // 1-based page of B, 0 when the pair has none
    std::vector<WordChange> changes;  // word-level changes of a text difference
};

struct DiffList {
    int identical = 1;       // 0 once anything was added
    int pages_compared = 0;  // the larger page count
    std::vector<DiffEntry> entries;
    std::vector<PagePair> pairs;  // every aligned page pair, in report order
};

// Appends one difference, copying the text and both rectangle arrays.
// A null or empty array leaves that side without rectangles.
void diff_result_add(DiffList *list, int page, const char *type, const char *text,
                     const DiffRect *rects_b, int rect_count_b, const DiffRect *rects_a,
                     int rect_count_a);

// Releases the entries; the list reads identical 0, pages_compared 0, no entries.
void diff_result_free(DiffList *list);

// Compares the pages of a and b by position into out (set up from scratch).
void compare_docs(const PdfDocument &a, const PdfDocument &b, DiffList *out);

// Compares a and b as the options say (pairing, page ranges, ignored
// regions and texts) into out.  With default options it is compare_docs.
void compare_docs_opts(const PdfDocument &a, const PdfDocument &b, const CompareOptions &opts, DiffList *out);

// Adds the text difference of one page pair whose page texts differ.
void add_text_difference(DiffList *list, int page, const PageSummary &a, const PageSummary &b);

// Joins neighbouring rectangles of one line in place; returns the new count.
int merge_rects(DiffRect *rects, int count);

}  // namespace morvex
