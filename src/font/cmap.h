// CMaps: how a shown string splits into codes, and what each code means.
//
// One parser reads both kinds a PDF carries: ToUnicode CMaps (bfchar,
// bfrange: code -> UTF-16BE text) and the encoding CMaps of Type0 fonts
// (cidchar, cidrange: code -> CID).  Codes are 1 to 4 bytes long; the
// codespace ranges decide how many bytes the next code takes.  Mappings
// are kept as ranges sorted by code and found by binary search, so an
// identity map of 65,536 codes is one entry.  Malformed input is read as
// far as it goes: a broken line is skipped, the rest still maps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

class CMap {
public:
    // Parses CMap text (a decoded stream) and adds what it defines.  A
    // "usecmap" of a predefined identity or Unicode CMap is honoured; other
    // names are recorded in used_name() and otherwise ignored.
    void parse(const uint8_t *data, size_t len);

    // Makes this a predefined CMap by name: Identity-H/V (2-byte codes =
    // CIDs), or one of the Unicode-based ones (UniGB-UCS2-H, UniJIS-UTF16-H,
    // ...), whose codes are UTF-16BE text already.  False for other names.
    bool set_predefined(std::string_view name);

    // The length in bytes of the code at s (1..4, never more than n; n > 0).
    // Bytes that fit no codespace range take the shortest codespace length
    // (1 when there are no ranges and nothing else hints at the length).
    int code_length(const uint8_t *s, size_t n) const;

    // The UTF-8 text of a code; false when the CMap does not map it.
    bool to_unicode(uint32_t code, int nbytes, std::string *out) const;

    // The CID of a code; false when the CMap does not map it.
    bool to_cid(uint32_t code, int nbytes, uint32_t *cid) const;

    bool empty() const { return uni_.empty() && cid_.empty() && !unicode_codes_; }
    bool has_codespace() const { return !space_.empty(); }
    bool vertical() const { return vertical_; }
    bool codes_are_unicode() const { return unicode_codes_; }
    // Every member compared: two CMaps that are equal read every code alike.
    bool operator==(const CMap &) const = default;
    const std::string &used_name() const { return use_name_; }
    void set_default_length(int n) { default_len_ = n; }

private:
    struct Space {
        uint8_t n;
        uint8_t lo[4], hi[4];
        bool operator==(const Space &) const = default;
    };
    // A range of codes of one length.  For Unicode: the text of `lo` is
    // text_len code points at pool_[text_off], and each following code
    // adds one to the last of them (a bfrange) ; for CIDs: lo maps to val.
    struct Range {
        uint64_t lo, hi;  // (nbytes << 32) | code
        uint32_t val;     // CID of lo, or pool offset
        uint32_t text_len;
        bool operator==(const Range &) const = default;
    };

    void add_space(const std::string &lo, const std::string &hi);
    void add_unicode(uint64_t lo, uint64_t hi, const std::u32string &text);
    void add_cid(uint64_t lo, uint64_t hi, uint32_t cid);
    void finish();
    static const Range *find(const std::vector<Range> &v, uint64_t key);

    std::vector<Space> space_;
    std::vector<Range> uni_;
    std::vector<Range> cid_;
    std::u32string pool_;
    std::string use_name_;
    int default_len_ = 1;
    int min_len_ = 0;  // shortest source code seen in a mapping
    bool vertical_ = false;
    bool unicode_codes_ = false;  // codes are UTF-16BE (predefined Uni... CMaps)
};

}  // namespace morvex
