// The comparison result: a flag, the number of pages compared, and the
// ordered list of differences found, page by page.
//
// The two documents are A (the first path given to an entry point) and B.
// Rectangles are in the default user space of the page they belong to.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "../docinfo/doc_diff.h"
#include "../document/document.h"
#include "../options/options.h"
#include "../page/page.h"
#include "../page/page_match.h"

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
    // Up to kChangeContextWords of B's words (A's where B has none) before
    // and after the change, joined by one space: the context a word diff
    // shows around it.
    std::string before, after;
};
constexpr int kChangeContextWords = 5;

// One change among what a page paints: "style" (the same words in another
// font, size or colour) or "drawing" (paths, shadings, images placed, text
// moved).  Style changes carry the words and their old and new look.
struct PaintLook {
    std::string font;
    double size = 0;
    std::string color;  // "#rrggbb"
    bool operator==(const PaintLook &) const = default;
};
struct PaintChange {
    char kind[8] = {};  // "style" or "drawing"
    std::vector<DiffRect> rects_a, rects_b;
    std::string text;  // style: the words
    PaintLook old_look, new_look;
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
    // An image_changed whose pixels changed: the image's size in samples on
    // A's side and on B's (0 when unknown).
    struct Pixels {
        int32_t old_w = 0, old_h = 0, new_w = 0, new_h = 0;
    };
    std::optional<Pixels> pixels;
    // An image_changed by a move: where A placed the image.  The plain
    // reports mark only the new place; the options road marks both.
    std::optional<DiffRect> moved_from;

    std::vector<PaintChange> paint;   // what changed among painted elements (content_changed)
};

struct DiffList {
    int identical = 1;       // 0 once anything was added
    int pages_compared = 0;  // the larger page count
    std::vector<DiffEntry> entries;
    std::vector<PagePair> pairs;  // every aligned page pair, in report order
    // Pages were paired by content: the reports give every entry its
    // "page_a" and "page_b".
    bool content_pairing = false;
    // What differs beside the pages (the options functions only).
    std::vector<DocDiff> document;
};

// Appends one difference, copying the text and both rectangle arrays.
// A null or empty array leaves that side without rectangles.
void diff_result_add(DiffList *list, int page, const char *type, const char *text,
                     const DiffRect *rects_b, int rect_count_b, const DiffRect *rects_a,
                     int rect_count_a);

// Releases the entries; the list reads identical 0, pages_compared 0, no entries.
void diff_result_free(DiffList *list);

// Compares the pages of a and b by position into out (set up from scratch).
// The pages are analysed on `threads` threads (0: default_thread_count(),
// 1: the caller's thread only), a batch of kPairsPerBatch page pairs at a
// time; the result does not depend on the thread count.  Page pairs known to
// read alike (see page_match.h) are not analysed, unless analyse_alike: the
// result is the same either way.
// With paint, the pages are analysed with their painted elements too, and
// the verdict of every pair with a content or text difference goes there
// (see paint_diff.h), so that no page needs a second analysis for it.
struct PairPaint;
using PaintByPair = std::map<std::pair<int, int>, std::optional<PairPaint>>;
void compare_docs(const PdfDocument &a, const PdfDocument &b, DiffList *out, int threads = 0,
                  bool analyse_alike = false, PaintByPair *paint = nullptr);

// Page pairs analysed per batch: the summaries of a batch are freed as each
// pair is compared, so memory holds at most one pair per thread.
inline constexpr int kPairsPerBatch = 48;

// Compares page ia of a with page ib of b (0-based): the differences, each
// with its page_a and page_b set, numbered on B's page.  With a matcher
// (of a and b), a pair it knows to read alike has none and is not analysed.
// With paint_a and paint_b, the pages' painted elements go there, from the
// same analysis (left empty when the pair is not analysed).
std::vector<DiffEntry> compare_page_pair(const PdfDocument &a, int ia, const PdfDocument &b, int ib,
                                         PageMatcher *match = nullptr, PagePaint *paint_a = nullptr,
                                         PagePaint *paint_b = nullptr);

// `threads` as the options give it: 0 means default_thread_count().
int thread_count(int requested);

// The tests of one page pair (size or rotation, images, text or content),
// each difference added with page number p.
// With both documents given, images at the same place are compared by what
// they show too (see page/image_identity.h); without, by place only.
void compare_summaries(DiffList *out, int p, const PageSummary &a, const PageSummary &b,
                       const PdfDocument *doc_a = nullptr, const PdfDocument *doc_b = nullptr);

// Compares a and b as the options say (pairing, page ranges, ignored
// regions and texts) into out.  With default options it is compare_docs.
void compare_docs_opts(const PdfDocument &a, const PdfDocument &b, const CompareOptions &opts, DiffList *out);

// A rectangle in the top-left convention of the options and the detail
// report: points from the top-left corner of the page as displayed (after
// /Rotate), y downward; x0 <= x1, y0 <= y1.
struct TopLeftRect {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};
TopLeftRect to_top_left(const PageEntry &page, const DiffRect &r);
// The page's size as displayed: width and height swapped by a quarter turn.
void displayed_size(const PageEntry &page, double *width, double *height);

// On a cropped page, the entry's rectangles (its word changes' too) cut to
// the shown box; those wholly outside it go.  Uncropped pages keep them.
void clip_to_shown_box(DiffEntry *e, const PageEntry &pa, const PageEntry &pb);

// The options road marks a moved image at both places: each entry's
// moved_from becomes its A rectangle (cut to A's shown box), unless the
// entry already has A rectangles.
void mark_old_image_places(DiffList *list, const PdfDocument &a);

// True when every rectangle lies inside an ignored region of `side` that
// applies to page page_no of that side.
bool rects_ignored(const std::vector<IgnoreRegion> &regions, const std::vector<DiffRect> &rects,
                   const PageEntry &page, int page_no, int side);

// Adds the text difference of one page pair whose page texts differ.
void add_text_difference(DiffList *list, int page, const PageSummary &a, const PageSummary &b);

// Joins neighbouring rectangles of one line in place; returns the new count.
int merge_rects(DiffRect *rects, int count);

// Texts are compared with the ligatures U+FB00-U+FB06 folded into their
// letters and soft hyphens dropped: fold_text gives that form,
// text_needs_fold says whether it differs from the text itself, and
// same_text compares two texts in it.
std::string fold_text(std::string_view s);
bool text_needs_fold(std::string_view s);
bool same_text(std::string_view a, std::string_view b);

}  // namespace morvex
