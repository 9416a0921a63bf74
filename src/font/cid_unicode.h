// CIDs to Unicode for Adobe's public character collections: Adobe-Japan1,
// Adobe-GB1, Adobe-CNS1, Adobe-Korea1 and Adobe-KR.  A CID font whose
// /CIDSystemInfo names one of them and that has no /ToUnicode (pTeX and
// dvipdfmx output, fonts that are not embedded) is read through these.
//
// The tables are generated into cid_unicode_data.cpp by
// tools/gen_cid_unicode.py from Adobe's CID -> UCS-2 CMaps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

// A run of CIDs of one collection (layout described in the generator).
struct CidSegment {
    uint16_t cid;    // first CID
    uint16_t count;  // CIDs (run, list) or UTF-16 units (text)
    uint8_t kind;    // 0 run, 1 list, 2 text
    uint32_t value;  // first code point (run) or offset into kCidPool
};

struct CidCollectionTable {
    const char *ordering;
    const CidSegment *segments;
    int count;
};

extern const char16_t kCidPool[];
extern const int kCidPoolSize;
extern const CidCollectionTable kCidCollections[];
extern const int kCidCollectionCount;

// The collection a /CIDSystemInfo names (its /Registry and /Ordering), or
// -1 for any other (Adobe-Identity among them: its CIDs are glyph ids).
int cid_collection(std::string_view registry, std::string_view ordering);

// Appends the UTF-8 text of `cid` in `collection` and returns true, or
// returns false, appending nothing, when the collection does not map it.
bool cid_to_utf8(int collection, uint32_t cid, std::string *out);

}  // namespace morvex
