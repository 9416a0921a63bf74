// Resources that change how things look, known by value: graphics state
// dictionaries (gs), shadings (sh) and patterns (scn), whose dictionaries,
// functions and content streams are hashed as what they hold, not as the
// names and object numbers a writer gave them.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "xobjects.h"

namespace morvex {

// Hashes PDF values by value for one page: numbers by their value, keys in
// any order, references followed, streams by their decoded bytes (their
// filters and lengths aside); a /Resources dictionary inside by the names
// it gives only.  The work is bounded per page: objects hashed
// and bytes decoded are capped, and what lies beyond the caps is known by
// its object number, which makes two files differ rather than agree.
class ValueHasher {
public:
    explicit ValueHasher(const PdfDocument &doc) : doc_(doc) {}

    uint64_t value(PdfValue v) { return hash_at(v.data, v.end, v.pos, 0); }

    // The resource `name` of category `kind` ("ExtGState", "Shading",
    // "Pattern", "ColorSpace") in the resources dictionary, as written (a
    // reference stays one, so that value() reaches a stream's data); not
    // ok() when there is none.
    PdfValue resource(PdfValue resources, const char *kind, const std::string &name) const;
    // The value with references followed.
    PdfValue resolved(PdfValue v) const;

    // Starts the caps afresh (the cache stays): one hasher serves the pages
    // of a document one after the other.
    void new_page() {
        objects_left_ = 4096;
        bytes_left_ = int64_t{1} << 26;
        forms_left_ = 256;
    }

    // A hash of what the resources dictionary's graphics states, shadings,
    // patterns and colour spaces hold, and those of the forms it names (13
    // deep, 256 forms at most), by value: equal when they look alike.
    uint64_t resources_look(PdfValue resources) { return look_of(resources, 0); }

private:
    uint64_t look_of(PdfValue resources, int depth);
    uint64_t names_at(const u8 *d, int32_t end, int32_t p);
    uint64_t hash_at(const u8 *d, int32_t end, int32_t p, int depth);
    uint64_t object(int32_t num, int depth);

    const PdfDocument &doc_;
    std::unordered_map<int32_t, uint64_t> objects_;
    std::unordered_map<int32_t, uint64_t> forms_;  // form XObject -> its resources' look
    int forms_left_ = 256;
    int64_t objects_left_ = 4096;
    int64_t bytes_left_ = int64_t{1} << 26;
};

// What a graphics state dictionary does to the look: a hash of its entries
// by value, and whether it makes painting other than opaque (opacity below
// 1, a blend mode other than Normal, a soft mask, overprint, a transfer
// function).
struct GStateLook {
    uint64_t hash = 0;
    bool see_through = false;
};
GStateLook gstate_look(const PdfDocument &doc, PdfValue dict, ValueHasher *hasher);

// Whether the colour space value (a name or an array) is a Pattern space.
bool is_pattern_space(PdfValue space);

}  // namespace morvex
