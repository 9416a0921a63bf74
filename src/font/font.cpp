// Building font objects from font dictionaries, and reading codes with them.
#include "font.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "../codec/filters.h"
#include "cff.h"
#include "cid_unicode.h"
#include "font_metrics.h"
#include "glyph_list.h"

namespace morvex {

namespace {

// Caps on what one font may cost: the /W and /Widths arrays read, and the
// references followed from the font dictionary (font -> descendant ->
// descriptor: three are enough, the cap only stops cycles).
constexpr int kMaxWidthEntries = 1 << 16;
constexpr int kMaxRefDepth = 4;

// Windows-1252 at 0x80..0x9F; 0 where the code page assigns nothing.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void append_byte_text(std::string *s, uint8_t v) {
    uint32_t cp = v;
    if (v >= 0x80 && v <= 0x9F && kCp1252High[v - 0x80]) cp = kCp1252High[v - 0x80];
    append_utf8(s, cp);
}

// A value inside some object's text: data[pos] is its first byte, end the
// limit of that text.  pos < 0: no value.
struct Val {
    const u8 *data = nullptr;
    int32_t end = 0;
    int32_t pos = -1;
    bool ok() const { return pos >= 0 && pos < end; }
    u8 at() const { return data[pos]; }
};

class Reader {
public:
    explicit Reader(const PdfDocument &doc) : doc_(doc) {}

    // The dictionary of object `num`.
    Val object(int32_t num) const {
        const ObjectEntry *e = doc_.find_object(num);
        if (!e) return {};
        const TextRange t = doc_.full_range(*e);
        if (!t.valid() || t.begin < 0) return {};
        Val v{t.data, t.end, skip_ws_comments(t.data, t.end, t.begin)};
        return v.ok() ? v : Val{};
    }

    // Follows an indirect reference; other values stay as they are.
    Val resolve(Val v, const ObjectEntry **entry = nullptr) const {
        for (int i = 0; i < kMaxRefDepth && v.ok() && is_digit(v.at()); ++i) {
            const int32_t num = parse_ref_at(v.data, v.end, v.pos);
            if (num <= 0) return v;  // a plain number
            const ObjectEntry *e = doc_.find_object(num);
            if (!e) return {};
            if (entry) *entry = e;
            v = object(num);
        }
        return v;
    }

    // The value of /key among the top-level keys of the dictionary at v.
    Val get(Val dict, std::string_view key, const ObjectEntry **entry = nullptr) const {
        if (!dict.ok() || dict.at() != '<' || dict.pos + 1 >= dict.end || dict.data[dict.pos + 1] != '<') return {};
        const u8 *d = dict.data;
        int32_t p = dict.pos + 2;
        while (true) {
            p = skip_ws_comments(d, dict.end, p);
            if (p >= dict.end || (d[p] == '>' && p + 1 < dict.end && d[p + 1] == '>')) return {};
            if (d[p] != '/') {
                p = skip_value(d, dict.end, p);
                continue;
            }
            const int32_t s = ++p;
            while (p < dict.end && is_name_byte(d[p])) ++p;
            const std::string_view k(reinterpret_cast<const char *>(d + s), static_cast<size_t>(p - s));
            const int32_t vpos = skip_ws_comments(d, dict.end, p);
            if (k == key) return resolve(Val{d, dict.end, vpos}, entry);
            p = skip_value(d, dict.end, vpos);
        }
    }

    static std::string_view name(Val v) {
        if (!v.ok() || v.at() != '/') return {};
        int32_t p = v.pos + 1;
        while (p < v.end && is_name_byte(v.data[p])) ++p;
        return {reinterpret_cast<const char *>(v.data + v.pos + 1), static_cast<size_t>(p - v.pos - 1)};
    }

    // The bytes of a literal string "(...)" (with its escapes) or a hex
    // string "<...>"; at most `cap` bytes are kept.
    static std::string string(Val v, size_t cap = 64) {
        std::string out;
        if (!v.ok()) return out;
        int32_t p = v.pos + 1;
        if (v.at() == '(') {
            int depth = 1;
            while (p < v.end && out.size() < cap) {
                u8 c = v.data[p++];
                if (c == '\\' && p < v.end) {
                    c = v.data[p++];
                    if (c == 'n') c = '\n';
                    else if (c == 'r') c = '\r';
                    else if (c == 't') c = '\t';
                    else if (c >= '0' && c <= '7') {
                        int x = c - '0';
                        for (int k = 0; k < 2 && p < v.end && v.data[p] >= '0' && v.data[p] <= '7'; ++k)
                            x = x * 8 + (v.data[p++] - '0');
                        c = static_cast<u8>(x);
                    }
                } else if (c == '(') {
                    ++depth;
                } else if (c == ')' && --depth == 0) {
                    break;
                }
                out.push_back(static_cast<char>(c));
            }
        } else if (v.at() == '<') {
            int half = -1;
            for (; p < v.end && v.data[p] != '>' && out.size() < cap; ++p) {
                const u8 h = v.data[p];
                const int x = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10
                              : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
                if (x < 0) continue;
                if (half < 0) half = x;
                else out.push_back(static_cast<char>(half << 4 | x)), half = -1;
            }
        }
        return out;
    }

    static bool number(Val v, double *out) {
        if (!v.ok()) return false;
        int32_t p = v.pos;
        const double x = parse_double_at(v.data, v.end, &p);
        if (p == v.pos) return false;
        *out = x;
        return true;
    }

    // Calls f(Val) for each element of the array at v (references resolved
    // by the caller as needed); stops after `cap` elements.
    template <class F>
    static void each(Val v, int cap, F f) {
        if (!v.ok() || v.at() != '[') return;
        int32_t p = v.pos + 1;
        for (int i = 0; i < cap; ++i) {
            p = skip_ws_comments(v.data, v.end, p);
            if (p >= v.end || v.data[p] == ']') return;
            f(Val{v.data, v.end, p});
            p = skip_value(v.data, v.end, p);
        }
    }

    // The decoded data of the stream object a value referred to.
    bool stream(const ObjectEntry *e, ByteBuf *out) const {
        if (!e || !e->has_stream) return false;
        return decode_stream(doc_.data, doc_.len, *e, out) == 1;
    }

    const PdfDocument &doc() const { return doc_; }

private:
    const PdfDocument &doc_;
};

// Font descriptor /Flags: bit 3 symbolic, bit 6 non-symbolic.
constexpr int kFlagSymbolic = 1 << 2;

// Unicode -> code in WinAnsiEncoding, for measuring a glyph with the
// standard tables (which are indexed by WinAnsi codes).
int winansi_code_of(uint32_t cp) {
    if (cp == 0) return -1;
    for (int c = 0; c < 256; ++c)
        if (kWinAnsiEncoding[c] == cp) return c;
    return -1;
}

uint32_t first_code_point(const std::string &s) {
    if (s.empty()) return 0;
    const uint8_t x = static_cast<uint8_t>(s[0]);
    if (x < 0x80) return x;
    const int n = x < 0xE0 ? 2 : x < 0xF0 ? 3 : 4;
    if (static_cast<size_t>(n) != s.size()) return 0;  // several characters
    uint32_t cp = x & (0xFF >> (n + 1));
    for (int k = 1; k < n; ++k) cp = cp << 6 | (static_cast<uint8_t>(s[k]) & 0x3F);
    return cp;
}

bool contains(std::string_view hay, std::string_view needle) { return hay.find(needle) != std::string_view::npos; }

// The standard Symbol or ZapfDingbats font by its name, under a subset
// prefix ("ABCDEF+Symbol") or not.
bool is_standard_symbolic_font(std::string_view base) {
    if (base.size() > 7 && base[6] == '+' &&
        std::all_of(base.begin(), base.begin() + 6, [](char c) { return c >= 'A' && c <= 'Z'; }))
        base.remove_prefix(7);
    return base == "Symbol" || base == "ZapfDingbats";
}

}  // namespace

struct FontBuilder {
    const Reader &r;
    PdfFont &f;

    void read_to_unicode(Val font, CMap *out, bool *has) {
        const ObjectEntry *e = nullptr;
        const Val tu = r.get(font, "ToUnicode", &e);
        if (!tu.ok() || !e) return;
        ByteBuf buf;
        if (!r.stream(e, &buf) || !buf.data) return;
        out->parse(buf.data, static_cast<size_t>(buf.len));
        *has = !out->empty();
    }

    void build_type0(Val font) {
        f.type0_ = true;
        const ObjectEntry *e = nullptr;
        const Val enc = r.get(font, "Encoding", &e);
        // Whether the codes' CIDs are known: a predefined CMap we do not
        // have (90ms-RKSJ-H, say) is read as Identity-H for its code
        // lengths, and its "CIDs" then mean nothing.
        bool cids_known = true;
        if (enc.ok() && enc.at() == '/') {
            if (!f.encoding_.set_predefined(Reader::name(enc))) {
                f.encoding_.set_predefined("Identity-H");
                cids_known = false;
            }
        } else if (enc.ok() && e) {
            const Val use = r.get(enc, "UseCMap");
            if (use.ok() && use.at() == '/') f.encoding_.set_predefined(Reader::name(use));
            ByteBuf buf;
            if (r.stream(e, &buf) && buf.data) f.encoding_.parse(buf.data, static_cast<size_t>(buf.len));
            if (f.encoding_.empty()) {
                f.encoding_.set_predefined("Identity-H");
                cids_known = false;
            }
        } else {
            f.encoding_.set_predefined("Identity-H");
        }
        f.encoding_.set_default_length(2);
        f.vertical_ = f.encoding_.vertical();
        read_to_unicode(font, &f.to_unicode_, &f.has_to_unicode_);

        Val desc = r.get(font, "DescendantFonts");
        if (desc.ok() && desc.at() == '[') {
            Val first;
            Reader::each(desc, 1, [&](Val v) { first = v; });
            desc = r.resolve(first);
        }
        // A CID font of one of Adobe's public character collections reads
        // the CIDs it shows through that collection's Unicode table, for
        // the codes its /ToUnicode (if any) leaves unmapped.
        if (cids_known) {
            const Val csi = r.get(desc, "CIDSystemInfo");
            f.collection_ = cid_collection(Reader::string(r.get(csi, "Registry")),
                                           Reader::string(r.get(csi, "Ordering")));
        }
        double dw = 1000;
        Reader::number(r.get(desc, "DW"), &dw);
        f.default_width_ = dw / 1000.0;
        // /DW2 [v w1]: the vertical displacement of every glyph (/W2's
        // per-CID values are not read).
        int k = 0;
        Reader::each(r.get(desc, "DW2"), 2, [&](Val v) {
            double x;
            if (k++ == 1 && Reader::number(r.resolve(v), &x) && x < 0 && x > -10000) f.default_w1_ = x / 1000.0;
        });
        read_cid_widths(r.get(desc, "W"));
    }

    // /W: c [w1 w2 ...] and c_first c_last w, in any mixture.
    void read_cid_widths(Val w) {
        std::vector<double> nums;
        std::vector<PdfFont::CidWidth> &out = f.cid_widths_;
        int count = 0;
        Reader::each(w, kMaxWidthEntries, [&](Val v) {
            if (count >= kMaxWidthEntries) return;
            v = r.resolve(v);
            if (v.ok() && v.at() == '[') {
                if (nums.size() == 1 && nums[0] >= 0) {
                    uint32_t c = static_cast<uint32_t>(nums[0]);
                    Reader::each(v, kMaxWidthEntries, [&](Val x) {
                        double wv;
                        if (Reader::number(x, &wv) && count++ < kMaxWidthEntries) out.push_back({c, c, wv / 1000.0});
                        ++c;
                    });
                }
                nums.clear();
                return;
            }
            double x;
            if (!Reader::number(v, &x)) return;
            nums.push_back(x);
            if (nums.size() == 3) {
                if (nums[0] >= 0 && nums[1] >= nums[0] && nums[1] < 4294967295.0) {
                    out.push_back({static_cast<uint32_t>(nums[0]), static_cast<uint32_t>(nums[1]), nums[2] / 1000.0});
                    ++count;
                }
                nums.clear();
            }
        });
        std::stable_sort(out.begin(), out.end(),
                         [](const PdfFont::CidWidth &a, const PdfFont::CidWidth &b) { return a.lo < b.lo; });
        // The range a search finds for a CID is the last one starting at or
        // before it, when it reaches the CID.
        size_t n = 0;
        for (const PdfFont::CidWidth &c : out)
            if (c.lo < PdfFont::kDenseCids) n = std::max<size_t>(n, std::min(c.hi, PdfFont::kDenseCids - 1) + size_t{1});
        std::vector<uint32_t> &at = f.cid_width_at_;
        at.assign(n, 0);
        size_t j = 0;
        for (uint32_t cid = 0; cid < n; ++cid) {
            while (j < out.size() && out[j].lo <= cid) ++j;
            if (j > 0 && cid <= out[j - 1].hi) at[cid] = static_cast<uint32_t>(j);
        }
    }

    // The "dup CODE /name put" lines of a Type1 font program's clear-text
    // part (up to "eexec"), or a bare CFF program's encoding.
    void read_builtin_encoding(Val fd, std::array<std::string, 256> *names) {
        const ObjectEntry *e = nullptr;
        const Val ff = r.get(fd, "FontFile", &e);
        if (!ff.ok() || !e) {
            read_cff_encoding(fd, names);
            return;
        }
        ByteBuf buf;
        if (!r.stream(e, &buf) || !buf.data) return;
        const std::string_view t(reinterpret_cast<const char *>(buf.data), static_cast<size_t>(buf.len));
        const size_t end = std::min(t.find("eexec"), t.size());
        size_t p = t.find("/Encoding");
        if (p == std::string_view::npos || p >= end) return;
        size_t q = p + 9;
        while (q < end && (t[q] == ' ' || t[q] == '\t')) ++q;
        if (t.substr(q, 16) == "StandardEncoding") {
            program_standard_ = true;
            return;
        }
        while ((p = t.find("dup ", p)) < end) {
            p += 4;
            int code = 0, digits = 0;
            while (p < end && t[p] >= '0' && t[p] <= '9' && digits < 4) code = code * 10 + (t[p++] - '0'), ++digits;
            while (p < end && t[p] == ' ') ++p;
            if (digits == 0 || code > 255 || p >= end || t[p] != '/') continue;
            const size_t s = ++p;
            while (p < end && is_name_byte(static_cast<u8>(t[p]))) ++p;
            (*names)[code] = std::string(t.substr(s, p - s));
        }
    }

    // A bare CFF program (/FontFile3 of subtype /Type1C) with an encoding of
    // its own.
    void read_cff_encoding(Val fd, std::array<std::string, 256> *names) {
        const ObjectEntry *e = nullptr;
        const Val ff = r.get(fd, "FontFile3", &e);
        if (!ff.ok() || !e || Reader::name(r.get(ff, "Subtype")) != "Type1C") return;
        ByteBuf buf;
        if (!r.stream(e, &buf) || !buf.data) return;
        std::array<std::string, 256> got;
        if (cff_builtin_encoding(buf.data, static_cast<size_t>(buf.len), &got)) *names = std::move(got);
        else program_standard_ = cff_uses_standard_encoding(buf.data, static_cast<size_t>(buf.len));
    }

    // The text of a glyph name: the glyph list (the dingbat names in
    // dingbat fonts only), then a name that carries its code (see
    // numeric_glyph_name).
    bool name_text(std::string_view name, std::string *out) const {
        if (name.empty() || name == ".notdef") return false;
        if (glyph_name_to_utf8(name, out, dingbats_)) return true;
        uint32_t v = 0;
        if (!numeric_glyph_name(name, hex_names_, &v)) return false;
        append_utf8(out, v);
        return true;
    }

    // Whether a font's names are hex codes: one name the glyph list cannot
    // read that only hex makes sense of.
    void note_hex(std::string_view name) {
        if (hex_names_ || !hex_only_glyph_name(name)) return;
        std::string t;
        if (!glyph_name_to_utf8(name, &t, dingbats_)) hex_names_ = true;
    }

    bool dingbats_ = false;
    bool hex_names_ = false;
    bool program_standard_ = false;  // the embedded program's encoding is Standard

    void build_simple(Val font, std::string_view subtype, std::string_view base) {
        const bool type3 = subtype == "Type3";
        const bool truetype = subtype == "TrueType";
        // Widths are in glyph space: 1/1000 of text space, or a Type3
        // font's matrix.
        double scale = 0.001;
        double fm_ratio = 1;
        if (type3) {
            double fm[4] = {0.001, 0, 0, 0.001};
            int i = 0;
            Reader::each(r.get(font, "FontMatrix"), 4, [&](Val v) { Reader::number(r.resolve(v), &fm[i++]); });
            // Widths go through the matrix; the em is estimated from them
            // below.
            scale = fm[0];
            fm_ratio = fm[0] != 0 ? std::fabs(fm[3] / fm[0]) : 1;
            f.flipped_ = fm[3] < 0;
        }

        const Val fd = r.get(font, "FontDescriptor");
        double flags = 0, missing = 0;
        Reader::number(r.get(fd, "Flags"), &flags);
        Reader::number(r.get(fd, "MissingWidth"), &missing);
        const bool symbolic = (static_cast<int64_t>(flags) & kFlagSymbolic) != 0;

        // Text of each code: the encoding first (so ToUnicode overrides it).
        const uint16_t *base_table = nullptr;
        if (contains(base, "Symbol")) base_table = kSymbolEncoding;
        else if (contains(base, "ZapfDingbats") || contains(base, "Dingbats")) base_table = kZapfDingbatsEncoding;
        else if (!(truetype && symbolic) && !type3) base_table = kStandardEncoding;
        const Val enc = r.get(font, "Encoding");
        Val diffs;
        if (enc.ok() && enc.at() == '/') {
            if (const uint16_t *t = encoding_by_name(Reader::name(enc))) base_table = t;
        } else if (enc.ok() && enc.at() == '<') {
            if (const uint16_t *t = encoding_by_name(Reader::name(r.get(enc, "BaseEncoding")))) base_table = t;
            diffs = r.get(enc, "Differences");
        }
        std::array<uint8_t, 256> known{};
        std::array<uint8_t, 256> base_named{};  // some encoding names a glyph for the code
        for (int c = 0; c < 256; ++c) {
            if (base_table && base_table[c]) {
                append_utf8(&f.text_[c], base_table[c]);
                known[c] = 1;
                base_named[c] = 1;
            }
        }
        // An embedded Type1 or CFF font whose /Encoding names no base
        // encoding starts from the encoding its program names (TeX's fonts:
        // ligatures and dashes at low codes); /Differences apply over it.
        dingbats_ = is_dingbat_font(base);
        const bool no_base = !enc.ok() || (enc.at() == '<' && !r.get(enc, "BaseEncoding").ok());
        std::array<std::string, 256> builtin;
        if (no_base && !type3 && !truetype) read_builtin_encoding(fd, &builtin);
        std::vector<std::pair<int, std::string_view>> differences;
        int code = -1;
        Reader::each(diffs, 4 * 256 + 256, [&](Val v) {
            v = r.resolve(v);
            double n;
            if (v.ok() && v.at() == '/') {
                if (code >= 0 && code < 256) differences.emplace_back(code, Reader::name(v));
                ++code;
            } else if (Reader::number(v, &n)) {
                code = n >= 0 && n < 256 ? static_cast<int>(n) : -1;
            }
        });
        for (const std::string &n : builtin) note_hex(n);
        for (const auto &d : differences) note_hex(d.second);
        // A code that the program's encoding or /Differences names holds
        // that glyph, not the base encoding's: a name that cannot be read
        // leaves the code unmapped (read as its byte) rather than claim the
        // base encoding's character (a wave named verticalleftwave at 208
        // is no em dash).
        auto apply = [&](int c, std::string_view name) {
            if (name.empty() || name == ".notdef") return;
            std::string t;
            known[c] = name_text(name, &t) ? 1 : 0;
            base_named[c] = 1;
            f.text_[c] = std::move(t);
        };
        for (int c = 0; c < 256; ++c) apply(c, builtin[c]);
        for (const auto &d : differences) apply(d.first, d.second);

        CMap tu;
        bool has_tu = false;
        read_to_unicode(font, &tu, &has_tu);
        for (int c = 0; c < 256; ++c) {
            std::string t;
            if (has_tu && (tu.to_unicode(static_cast<uint32_t>(c), 1, &t) || tu.to_unicode(static_cast<uint32_t>(c), 2, &t))) {
                f.text_[c] = std::move(t);
                known[c] = 1;
            }
            if (!known[c] && program_standard_ && !base_named[c]) {
                // A code that no encoding names, in an embedded program
                // whose own encoding is Standard, shows the .notdef glyph:
                // nothing a reader sees (the bytes of UTF-8 text shown
                // through such a font leave only the letters it has).
                f.text_[c].clear();
                continue;
            }
            if (!known[c]) {
                // A code that no encoding names reads as the Windows code
                // page would (the usual guess for bytes without a font
                // encoding).  A code whose glyph has a name we cannot read
                // is known by its number alone: it reads as the code point
                // of that number, not as a character of some code page
                // (code 128 of a bitmap font's glyph "DK" is no euro sign).
                f.text_[c].clear();
                // A tab, line feed, form feed or carriage return that no
                // encoding names is a line end inside a literal string
                // (writers break long strings that way), not a space
                // between words: it shows nothing.
                const bool line_end = c == 9 || c == 10 || c == 12 || c == 13;
                if (base_named[c]) append_utf8(&f.text_[c], static_cast<uint32_t>(c));
                else if (!line_end) append_byte_text(&f.text_[c], static_cast<uint8_t>(c));
                f.unmapped_[c] = 1;
            }
        }

        // Widths.
        const Val widths = r.get(font, "Widths");
        if (widths.ok() && widths.at() == '[') {
            double first = 0;
            Reader::number(r.get(font, "FirstChar"), &first);
            for (double &w : f.width_) w = missing * scale;
            int c = static_cast<int>(first < 0 ? 0 : first > 255 ? 256 : first);
            Reader::each(widths, 256, [&](Val v) {
                double w;
                if (c < 256 && Reader::number(r.resolve(v), &w)) f.width_[c] = w * scale;
                ++c;
            });
        } else {
            const int16_t *table = widths_for_base_font(std::string(base).c_str());
            const bool own_codes = table == symbol_widths || table == zapfdingbats_widths;
            for (int c = 0; c < 256; ++c) {
                int idx = own_codes ? c : winansi_code_of(first_code_point(f.text_[c]));
                if (!own_codes && f.unmapped_[c]) idx = c;
                f.width_[c] = idx >= 0 ? table[idx] / 1000.0 : missing / 1000.0;
            }
        }
        if (type3) estimate_em(fm_ratio);
    }

    // A Type3 font's matrix says how glyph space maps to text space, not
    // how large an em is: writers of bitmap fonts map one pixel to one text
    // unit and show the font at a size of a fraction of a point.  The em is
    // taken as twice the mean width of the glyphs that are ASCII letters
    // (a lower-case letter is about half an em wide in most faces), or of
    // all glyphs with a width when none is a letter, scaled by the
    // matrix's aspect ratio.  Without widths it stays one text unit.
    void estimate_em(double fm_ratio) {
        double letters = 0, all = 0;
        int n_letters = 0, n_all = 0;
        for (int c = 0; c < 256; ++c) {
            const double w = std::fabs(f.width_[c]);
            if (!(w > 0) || !std::isfinite(w)) continue;
            all += w;
            ++n_all;
            const std::string &t = f.text_[c];
            if (t.size() == 1 && is_alpha(static_cast<u8>(t[0])) && !f.unmapped_[c]) {
                letters += w;
                ++n_letters;
            }
        }
        const double mean = n_letters > 0 ? letters / n_letters : n_all > 0 ? all / n_all : 0;
        const double em = 2 * mean * (fm_ratio > 0 && std::isfinite(fm_ratio) ? fm_ratio : 1);
        if (em > 0 && std::isfinite(em) && (em < 0.25 || em > 4)) f.em_ = em;
    }
};

std::unique_ptr<PdfFont> build_font(const PdfDocument &doc, int32_t obj_num) {
    const Reader r(doc);
    const Val font = r.object(obj_num);
    if (!font.ok() || font.at() != '<') return nullptr;
    const std::string_view subtype = Reader::name(r.get(font, "Subtype"));
    const std::string_view base = Reader::name(r.get(font, "BaseFont"));
    // What the byte reading assumes anyway: Windows-1252 codes measured
    // with the standard tables.
    const char *own_keys[] = {"ToUnicode", "Widths", "DescendantFonts", "FontMatrix"};
    bool legacy = true;
    for (const char *k : own_keys) legacy = legacy && !r.get(font, k).ok();
    const Val enc = r.get(font, "Encoding");
    if (enc.ok() && Reader::name(enc) != "WinAnsiEncoding") legacy = false;
    // Symbol and ZapfDingbats have encodings of their own: their codes are
    // no Windows-1252 letters ('l' is a bullet in ZapfDingbats).  The byte
    // reading only assumes what holds for the Latin standard fonts.
    if (is_standard_symbolic_font(base)) legacy = false;
    if (legacy) return nullptr;
    auto f = std::make_unique<PdfFont>();
    FontBuilder b{r, *f};
    if (subtype == "Type0") b.build_type0(font);
    else b.build_simple(font, subtype, base);
    return f;
}

bool same_font(const PdfFont *a, const PdfFont *b) {
    if (!a || !b) return !a && !b;
    if (!(*a == *b)) return false;
    auto same_bits = [](double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; };
    if (!same_bits(a->default_width_, b->default_width_)) return false;
    for (size_t c = 0; c < a->width_.size(); ++c)
        if (!same_bits(a->width_[c], b->width_[c])) return false;
    for (size_t k = 0; k < a->cid_widths_.size(); ++k)
        if (!same_bits(a->cid_widths_[k].w, b->cid_widths_[k].w)) return false;
    return true;
}

int PdfFont::next(const uint8_t *s, size_t n, Glyph *g) const {
    g->text = {};
    g->unmapped = false;
    if (!type0_) {
        const uint8_t c = s[0];
        g->code = c;
        g->nbytes = 1;
        g->w0 = width_[c];
        g->is_space32 = c == 32;
        g->text = text_[c];  // the font's own table
        g->unmapped = unmapped_[c] != 0;
        return 1;
    }
    const int len = encoding_.code_length(s, n);
    uint32_t code = 0;
    for (int i = 0; i < len; ++i) code = code << 8 | s[i];
    g->code = code;
    g->nbytes = len;
    g->is_space32 = len == 1 && code == 32;
    uint32_t cid = 0;
    const bool has_cid = encoding_.to_cid(code, len, &cid);
    g->w0 = default_width_;
    g->w1 = default_w1_;
    if (has_cid && cid < cid_width_at_.size()) {
        if (const uint32_t k = cid_width_at_[cid]) g->w0 = cid_widths_[k - 1].w;
    } else if (has_cid) {
        auto it = std::upper_bound(cid_widths_.begin(), cid_widths_.end(), cid,
                                   [](uint32_t k, const CidWidth &w) { return k < w.lo; });
        if (it != cid_widths_.begin() && cid <= (it - 1)->hi) g->w0 = (it - 1)->w;
    }
    g->buf.clear();
    if (!(has_to_unicode_ && to_unicode_.to_unicode(code, len, &g->buf)) &&
        !encoding_.to_unicode(code, len, &g->buf) && !(has_cid && cid_to_utf8(collection_, cid, &g->buf))) {
        g->unmapped = true;
        for (int i = 0; i < len; ++i) append_byte_text(&g->buf, s[i]);
    }
    g->text = g->buf;
    return len;
}

}  // namespace morvex
