// The form in which words and page texts are compared: the ligature
// characters U+FB00-U+FB06 become their letters and soft hyphens (U+00AD)
// are dropped, so that a producer writing "\uFB01" where another writes
// "fi", or marking a hyphenation point, shows no difference.  The texts the
// reports show keep what the page decoded to.
#include <cstring>

#include "diff.h"

namespace morvex {

namespace {

// The letters of U+FB00 + i.
constexpr const char *kLigatures[7] = {"ff", "fi", "fl", "ffi", "ffl", "st", "st"};

// UTF-8 of a ligature: EF AC 80..86; of the soft hyphen: C2 AD.
bool ligature_at(std::string_view s, size_t i) {
    return i + 2 < s.size() && static_cast<unsigned char>(s[i]) == 0xEF &&
           static_cast<unsigned char>(s[i + 1]) == 0xAC && static_cast<unsigned char>(s[i + 2]) >= 0x80 &&
           static_cast<unsigned char>(s[i + 2]) <= 0x86;
}
bool soft_hyphen_at(std::string_view s, size_t i) {
    return i + 1 < s.size() && static_cast<unsigned char>(s[i]) == 0xC2 &&
           static_cast<unsigned char>(s[i + 1]) == 0xAD;
}

}  // namespace

bool text_needs_fold(std::string_view s) {
    // Both sequences start with a byte (0xEF, 0xC2) that plain text of the
    // standard fonts rarely holds; look for those first.
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if ((c == 0xEF && ligature_at(s, i)) || (c == 0xC2 && soft_hyphen_at(s, i))) return true;
    }
    return false;
}

std::string fold_text(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        if (ligature_at(s, i)) {
            out += kLigatures[static_cast<unsigned char>(s[i + 2]) - 0x80];
            i += 3;
        } else if (soft_hyphen_at(s, i)) {
            i += 2;
        } else {
            out += s[i++];
        }
    }
    return out;
}

bool same_text(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (!text_needs_fold(a) && !text_needs_fold(b)) return false;
    return fold_text(a) == fold_text(b);
}

}  // namespace morvex
