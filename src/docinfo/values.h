// Reading values of the document's objects for the document-level
// comparison: dictionaries key by key, arrays item by item, references
// followed, strings decrypted and decoded to UTF-8.
//
// A value is a position in the bytes of the object that holds it, with
// that object's number, so that a string can be decrypted with the key of
// the object it stands in.  Every walk over a dictionary or an array stays
// inside the object's text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "../document/document.h"

namespace morvex::docinfo {

struct Val {
    const u8 *data = nullptr;
    int32_t pos = -1;
    int32_t end = 0;
    int32_t obj = 0;  // object the value stands in (0: not known, never decrypted)
    int32_t gen = 0;
    bool in_objstm = false;  // its strings were decrypted with the object stream

    bool ok() const { return data && pos >= 0 && pos < end; }
    u8 first() const { return ok() ? data[pos] : 0; }
    bool is_dict() const { return ok() && pos + 1 < end && data[pos] == '<' && data[pos + 1] == '<'; }
    bool is_array() const { return first() == '['; }
    bool is_name() const { return first() == '/'; }
    bool is_string() const { return first() == '(' || (first() == '<' && !is_dict()); }
};

// Bytes of one text value shown in a report at most; longer texts are cut
// and carry their length and a digest, so that a change past the cut is
// still a change.
inline constexpr size_t kMaxShownText = 4000;

class Reader {
public:
    explicit Reader(const PdfDocument &doc);

    const PdfDocument &doc() const { return doc_; }
    // The text of object num at its first byte; not ok() when missing.
    Val object(int32_t num) const;
    // Follows "N G R" (a few in a row); other values stay as they are.
    Val resolve(Val v) const;
    // The value of /key among the dictionary's top-level keys (the last one
    // when the key is given twice), resolved; not ok() when absent.
    Val get(Val dict, std::string_view key) const { return resolve(raw(dict, key)); }
    // The same without following a reference.
    Val raw(Val dict, std::string_view key) const;

    // Calls f(key, value) for each top-level key until f returns false.
    template <class F>
    void each_key(Val dict, F f) const;
    // Calls f(item) for each item of the array (references not followed),
    // at most `cap` of them, until f returns false.
    template <class F>
    void each_item(Val array, int cap, F f) const;

    // Object number of a reference value, or -1.
    static int32_t ref(Val v);
    bool number(Val v, double *out) const;
    int64_t integer(Val v, int64_t fallback) const;
    // The name's bytes after '/', #xx escapes decoded; "" when not a name.
    static std::string name(Val v);
    // The string's bytes, decrypted; false when v is not a string.
    bool bytes(Val v, std::string *out) const;
    // A text string decoded to UTF-8 and cut to kMaxShownText; a name gives
    // its bytes.  "" otherwise.
    std::string text(Val v) const;

    // 0-based index of the page whose object is num, or -1.
    int page_of_object(int32_t num) const;

private:
    const PdfDocument &doc_;
    std::unordered_map<int32_t, int> page_index_;
};

// A text string's bytes as UTF-8: UTF-16 after a byte order mark (language
// escapes dropped), UTF-8 after its mark, PDFDocEncoding otherwise.  Code
// points that cannot be read become U+FFFD.
std::string decode_text_string(std::string_view bytes);

// Appends one code point as UTF-8 (U+FFFD for surrogates and beyond U+10FFFF).
void append_utf8(std::string *out, uint32_t cp);

// Appends the valid UTF-8 sequences of s; every byte that starts none
// becomes U+FFFD.
void copy_utf8(std::string_view s, std::string *out);

// The text cut to kMaxShownText bytes (at a character boundary) with
// " [... N bytes, digest H]" behind, or the text itself when shorter.
std::string shown_text(std::string text);

// Lowercase hexadecimal SHA-256 of the bytes.
std::string sha256_hex(std::string_view bytes);

template <class F>
void Reader::each_key(Val dict, F f) const {
    if (!dict.is_dict()) return;
    const u8 *d = dict.data;
    int32_t p = dict.pos + 2;
    for (;;) {
        p = skip_ws_comments(d, dict.end, p);
        if (p >= dict.end || (d[p] == '>' && p + 1 < dict.end && d[p + 1] == '>')) return;
        if (d[p] != '/') {
            p = skip_value(d, dict.end, p);  // a value without its key
            continue;
        }
        const int32_t s = ++p;
        while (p < dict.end && is_name_byte(d[p])) ++p;
        const std::string_view key(reinterpret_cast<const char *>(d + s), static_cast<size_t>(p - s));
        Val v = dict;
        v.pos = skip_ws_comments(d, dict.end, p);
        if (v.pos >= dict.end) return;
        if (!f(key, v)) return;
        p = skip_value(d, dict.end, v.pos, true);
    }
}

template <class F>
void Reader::each_item(Val array, int cap, F f) const {
    if (!array.is_array()) return;
    const u8 *d = array.data;
    int32_t p = array.pos + 1;
    for (int n = 0; n < cap; ++n) {
        p = skip_ws_comments(d, array.end, p);
        if (p >= array.end || d[p] == ']') return;
        Val v = array;
        v.pos = p;
        if (!f(v)) return;
        p = skip_value(d, array.end, p, true);
    }
}

}  // namespace morvex::docinfo
