// Pages that need no analysis: two pages whose analysis is bound to give
// the same summary (the page number aside), known without analysing them.
//
// analyze_page reads a page through a narrow door: the page's size and
// rotation, its joined content (get_page_content), the font slots of its
// resources (names, standard widths, the font objects built from them) and
// the XObjects its resources name (form XObjects with their matrix, fonts,
// XObjects and content; images by what they show, see image_identity.h) and
// the appearance streams of its annotations with their placement.
// Two pages that agree in all of that, as the readers see it, are read
// alike, whatever their object numbers and the order or spelling of their
// dictionaries: a file compared with a rewrite of itself (renumbered
// objects, object streams made or undone, dictionaries reformatted) skips
// the analysis of every page that stayed the same.
//
// Whatever analyze_page reads from the document must be compared here.
#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "../document/document.h"
#include "xobjects.h"

namespace morvex {

class PageMatcher {
public:
    PageMatcher(const PdfDocument &a, const PdfDocument &b);
    PageMatcher(const PageMatcher &) = delete;
    PageMatcher &operator=(const PageMatcher &) = delete;

    // True when page ia of A and page ib of B (0-based) are read alike;
    // false when they differ or it is not known.  Safe to call from several
    // threads at once.
    bool same(int ia, int ib);

    // Like same(), and besides, every image object the pages place holds
    // the same encoded data on both sides (see image_data_key), so that
    // anything keyed by it agrees too.  *images tells whether the pages
    // place image objects at all (true when not known).
    bool same_encoded(int ia, int ib, bool *images);

private:
    struct Walk;
    bool same_walk(int ia, int ib, Walk *w);
    bool same_font_object(int32_t oa, int32_t ob);
    bool same_slots(const FontSlot *sa, int na, const FontSlot *sb, int nb);
    bool same_xobjects(Walk *w, XObjectNames *xa, XObjectNames *xb, int depth);
    bool same_xobject(Walk *w, int32_t oa, int32_t ob, int depth, bool appearance = false);
    bool same_image_pair(int32_t oa, int32_t ob);

    const PdfDocument &a_;
    const PdfDocument &b_;
    // Off for encrypted files: their bytes decrypt by object number.
    bool enabled_ = true;
    std::mutex mu_;
    std::unordered_map<uint64_t, bool> fonts_;  // (A's object << 32 | B's object) -> read alike
    std::unordered_map<uint64_t, bool> images_;  // likewise for XObjects that are no forms
};

}  // namespace morvex
