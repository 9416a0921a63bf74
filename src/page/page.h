// Page analysis: one page of a loaded document -> a PageSummary with its
// size, rotation, words with boxes, page text, image placements and a hash
// of its content bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../document/document.h"

namespace morvex {

// One word.  The box is in the page's default user space (points, y up,
// the content's transformation starting at identity; /Rotate not applied).
struct TextItem {
    std::string text;  // UTF-8
    double x = 0;      // left edge
    double y = 0;      // bottom edge
    double w = 0;
    double h = 0;
    double font_size = 0;  // font size in effect when the word ended
    // A word hyphenated at a line end is one word: the box above is its part
    // on the first line, this one its part on the next (w2 0 when none).
    double x2 = 0, y2 = 0, w2 = 0, h2 = 0;
};

// One image placement (any XObject drawn with Do, or an inline image).
struct ImageItem {
    char name[32] = {};  // resource name, or "InlineImage"; at most 31 characters
    double x = 0, y = 0, w = 0, h = 0;
    // What the placement shows (see image_identity.h): the XObject's object
    // number (0 for an inline image, or a name that resolves to nothing),
    // or an inline image's identity and size in samples.
    int32_t obj = 0;
    uint64_t inline_id = 0;
    int32_t inline_w = 0, inline_h = 0;
};

// One painted element of the page (a painted path, a shading, the glyphs of
// one text-showing operator, an image): its box in default user space and a
// hash of its operators with the graphics state they were drawn in.  A box
// that cannot be bounded (a shading fills the clip) spans everything.
struct Drawing {
    double x = 0, y = 0, w = 0, h = 0;
    uint64_t hash = 0;
};
// Elements recorded per page at most; beyond, the list is incomplete.
constexpr size_t kMaxDrawings = 100000;

struct PageSummary {
    int page = 0;  // 1-based
    double width = 0;
    double height = 0;
    int rotation = 0;  // 0..359
    // The shown box's corner; cropped when a /CropBox narrowed it.
    double box_x = 0, box_y = 0;
    bool cropped = false;
    std::string text;  // every word followed by one space, "\n" where a shown string broke the line
    std::vector<TextItem> items;
    std::vector<ImageItem> images;
    uint64_t content_hash = 0;  // FNV-1a 64 of the joined content; 0 when it could not be fetched
    // Filled only when analysis is asked for drawings; drawings_complete is
    // false when the content could not be fetched or had too many elements.
    std::vector<Drawing> drawings;
    bool drawings_complete = false;
};

// Analyses pages[page_index] of doc (0-based, below page_count) into out.
// Always fills out; there is no failure.  With drawings, the page's painted
// elements are listed too (a little slower); with paint, what the page
// paints, with the look of each element (slower still).
struct PagePaint;
void analyze_page(const PdfDocument &doc, int page_index, PageSummary *out, bool drawings = false,
                  PagePaint *paint = nullptr);

// Releases what the summary holds; it reads as empty afterwards.
void page_analysis_free(PageSummary *ps);

}  // namespace morvex
