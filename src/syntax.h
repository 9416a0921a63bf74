// Object text in its plain spelling, written in place.
//
// The library searches object text as bytes ("/Length", "/Type /Page"),
// so every lawful way of writing the same object must reach those
// searches in one spelling.  The loader runs this cleaner once over the
// text of each object (never over stream data), over trailers and over
// decoded object streams; every later reader then meets:
//   - comments turned into spaces (a comment may stand wherever white
//     space may, and may contain ">>", "endobj" or "stream");
//   - names in their canonical spelling: #xx escapes decoded, and only the
//     bytes that cannot stand in a name (white space, delimiters, '#', the
//     0 byte) escaped again, as #XX in upper case.  Two spellings of one
//     name become the same bytes: /T#79pe is /Type.
// Both changes keep every offset: a name that gets shorter is followed by
// spaces.  A name whose canonical spelling would be longer (a stray '#'
// that starts no escape) is left as written.
//
// Work is linear in the bytes walked; the walk jumps between the bytes
// that matter (strings, nesting, '%', '#'), so text without comments or
// escapes costs what finding the end of a dictionary costs.
#pragma once

#include <cstdint>

#include "scan.h"

namespace morvex {

// Writes the canonical spelling of the name bytes [s, s + n) (after the
// '/') to out, which holds at least 3 * n bytes; returns its length.
int32_t canonical_name(const u8 *s, int32_t n, u8 *out);

class SyntaxCleaner {
public:
    explicit SyntaxCleaner(u8 *data) : d_(data) {}

    // Position of the next byte at or after p that is no white space, 0
    // byte or comment, or limit; comments on the way become spaces.
    int32_t ws(int32_t limit, int32_t p);

    // Cleans the one value at p (a dictionary or array with everything
    // nested in it, a string, a name, a number or keyword) and returns the
    // position behind it, or -1 when a dictionary, array or literal string
    // does not close before limit.  Only "<<" and ">>" count in a
    // dictionary, only "[" and "]" in an array, as the end finders of the
    // loader do.  Always beyond p when not -1.
    int32_t value(int32_t limit, int32_t p);

    // Cleans all of [begin, end): text with no stream data in it.
    void text(int32_t begin, int32_t end);

    // True once any byte was rewritten.
    bool changed() const { return changed_; }

private:
    // Rewrites the name whose first byte after '/' is at s; returns its end.
    int32_t name(int32_t limit, int32_t s);
    int32_t comment(int32_t limit, int32_t p);
    // At a '#' at p found by a jump over the text that began at first: the
    // position behind the name holding it, rewritten, or p + 1.
    int32_t escape(int32_t first, int32_t limit, int32_t p);

    u8 *d_;
    bool changed_ = false;
};

}  // namespace morvex
