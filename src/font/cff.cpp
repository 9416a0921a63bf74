// A bare CFF font program read just far enough to learn its built-in
// encoding: header, the Name, Top DICT and String INDEXes, the Top DICT's
// charset, Encoding and CharStrings offsets, then the encoding (formats 0
// and 1, with supplements) and the charset (formats 0, 1 and 2) that turn
// codes into glyph ids and glyph ids into names. Every offset and count
// comes from the file and is checked against the data's length.
#include "cff.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace morvex {

namespace {

// The standard strings of the Compact Font Format: string ids below 391.
constexpr const char *kStandardStrings[] = {
    ".notdef", "space", "exclam", "quotedbl", "numbersign", "dollar", "percent", "ampersand", "quoteright",
    "parenleft", "parenright", "asterisk", "plus", "comma", "hyphen", "period", "slash", "zero", "one",
    "two", "three", "four", "five", "six", "seven", "eight", "nine", "colon", "semicolon", "less", "equal",
    "greater", "question", "at", "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M", "N", "O",
    "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z", "bracketleft", "backslash", "bracketright",
    "asciicircum", "underscore", "quoteleft", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l",
    "m", "n", "o", "p", "q", "r", "s", "t", "u", "v", "w", "x", "y", "z", "braceleft", "bar", "braceright",
    "asciitilde", "exclamdown", "cent", "sterling", "fraction", "yen", "florin", "section", "currency",
    "quotesingle", "quotedblleft", "guillemotleft", "guilsinglleft", "guilsinglright", "fi", "fl", "endash",
    "dagger", "daggerdbl", "periodcentered", "paragraph", "bullet", "quotesinglbase", "quotedblbase",
    "quotedblright", "guillemotright", "ellipsis", "perthousand", "questiondown", "grave", "acute",
    "circumflex", "tilde", "macron", "breve", "dotaccent", "dieresis", "ring", "cedilla", "hungarumlaut",
    "ogonek", "caron", "emdash", "AE", "ordfeminine", "Lslash", "Oslash", "OE", "ordmasculine", "ae",
    "dotlessi", "lslash", "oslash", "oe", "germandbls", "onesuperior", "logicalnot", "mu", "trademark",
    "Eth", "onehalf", "plusminus", "Thorn", "onequarter", "divide", "brokenbar", "degree", "thorn",
    "threequarters", "twosuperior", "registered", "minus", "eth", "multiply", "threesuperior", "copyright",
    "Aacute", "Acircumflex", "Adieresis", "Agrave", "Aring", "Atilde", "Ccedilla", "Eacute", "Ecircumflex",
    "Edieresis", "Egrave", "Iacute", "Icircumflex", "Idieresis", "Igrave", "Ntilde", "Oacute", "Ocircumflex",
    "Odieresis", "Ograve", "Otilde", "Scaron", "Uacute", "Ucircumflex", "Udieresis", "Ugrave", "Yacute",
    "Ydieresis", "Zcaron", "aacute", "acircumflex", "adieresis", "agrave", "aring", "atilde", "ccedilla",
    "eacute", "ecircumflex", "edieresis", "egrave", "iacute", "icircumflex", "idieresis", "igrave", "ntilde",
    "oacute", "ocircumflex", "odieresis", "ograve", "otilde", "scaron", "uacute", "ucircumflex", "udieresis",
    "ugrave", "yacute", "ydieresis", "zcaron", "exclamsmall", "Hungarumlautsmall", "dollaroldstyle",
    "dollarsuperior", "ampersandsmall", "Acutesmall", "parenleftsuperior", "parenrightsuperior",
    "twodotenleader", "onedotenleader", "zerooldstyle", "oneoldstyle", "twooldstyle", "threeoldstyle",
    "fouroldstyle", "fiveoldstyle", "sixoldstyle", "sevenoldstyle", "eightoldstyle", "nineoldstyle",
    "commasuperior", "threequartersemdash", "periodsuperior", "questionsmall", "asuperior", "bsuperior",
    "centsuperior", "dsuperior", "esuperior", "isuperior", "lsuperior", "msuperior", "nsuperior",
    "osuperior", "rsuperior", "ssuperior", "tsuperior", "ff", "ffi", "ffl", "parenleftinferior",
    "parenrightinferior", "Circumflexsmall", "hyphensuperior", "Gravesmall", "Asmall", "Bsmall", "Csmall",
    "Dsmall", "Esmall", "Fsmall", "Gsmall", "Hsmall", "Ismall", "Jsmall", "Ksmall", "Lsmall", "Msmall",
    "Nsmall", "Osmall", "Psmall", "Qsmall", "Rsmall", "Ssmall", "Tsmall", "Usmall", "Vsmall", "Wsmall",
    "Xsmall", "Ysmall", "Zsmall", "colonmonetary", "onefitted", "rupiah", "Tildesmall", "exclamdownsmall",
    "centoldstyle", "Lslashsmall", "Scaronsmall", "Zcaronsmall", "Dieresissmall", "Brevesmall", "Caronsmall",
    "Dotaccentsmall", "Macronsmall", "figuredash", "hypheninferior", "Ogoneksmall", "Ringsmall",
    "Cedillasmall", "questiondownsmall", "oneeighth", "threeeighths", "fiveeighths", "seveneighths",
    "onethird", "twothirds", "zerosuperior", "foursuperior", "fivesuperior", "sixsuperior", "sevensuperior",
    "eightsuperior", "ninesuperior", "zeroinferior", "oneinferior", "twoinferior", "threeinferior",
    "fourinferior", "fiveinferior", "sixinferior", "seveninferior", "eightinferior", "nineinferior",
    "centinferior", "dollarinferior", "periodinferior", "commainferior", "Agravesmall", "Aacutesmall",
    "Acircumflexsmall", "Atildesmall", "Adieresissmall", "Aringsmall", "AEsmall", "Ccedillasmall",
    "Egravesmall", "Eacutesmall", "Ecircumflexsmall", "Edieresissmall", "Igravesmall", "Iacutesmall",
    "Icircumflexsmall", "Idieresissmall", "Ethsmall", "Ntildesmall", "Ogravesmall", "Oacutesmall",
    "Ocircumflexsmall", "Otildesmall", "Odieresissmall", "OEsmall", "Oslashsmall", "Ugravesmall",
    "Uacutesmall", "Ucircumflexsmall", "Udieresissmall", "Yacutesmall", "Thornsmall", "Ydieresissmall",
    "001.000", "001.001", "001.002", "001.003", "Black", "Bold", "Book", "Light", "Medium", "Regular",
    "Roman", "Semibold",
};
constexpr unsigned kStandardCount = sizeof(kStandardStrings) / sizeof(kStandardStrings[0]);
static_assert(kStandardCount == 391);

// CFF glyph counts are card16, so no font has more than this.
constexpr size_t kMaxGlyphs = 65536;

struct Bytes {
    const uint8_t *p;
    size_t n;
    bool has(size_t off, size_t k) const { return off <= n && k <= n - off; }
    unsigned u8(size_t off) const { return p[off]; }
    unsigned u16(size_t off) const { return static_cast<unsigned>(p[off]) << 8 | p[off + 1]; }
    // An offset of `size` bytes (1 to 4).
    size_t off(size_t at, unsigned size) const {
        size_t v = 0;
        for (unsigned i = 0; i < size; ++i) v = v << 8 | p[at + i];
        return v;
    }
};

// An INDEX at `pos`: its items' spans and the position just past it.
struct Index {
    size_t data = 0;  // absolute position of the byte before item 0's data
    std::vector<size_t> offs;
    size_t end = 0;
    size_t count() const { return offs.empty() ? 0 : offs.size() - 1; }
    std::string_view item(const Bytes &b, size_t i) const {
        if (i + 1 >= offs.size()) return {};
        const size_t s = data + offs[i], e = data + offs[i + 1];
        if (offs[i] == 0 || e < s || !b.has(s, e - s)) return {};
        return {reinterpret_cast<const char *>(b.p + s), e - s};
    }
};

bool read_index(const Bytes &b, size_t pos, Index *ix) {
    if (!b.has(pos, 2)) return false;
    const size_t count = b.u16(pos);
    if (count == 0) {
        ix->end = pos + 2;
        return true;
    }
    if (!b.has(pos, 3)) return false;
    const unsigned size = b.u8(pos + 2);
    if (size < 1 || size > 4) return false;
    const size_t table = pos + 3;
    if (!b.has(table, (count + 1) * size)) return false;
    ix->offs.resize(count + 1);
    for (size_t i = 0; i <= count; ++i) ix->offs[i] = b.off(table + i * size, size);
    ix->data = table + (count + 1) * size - 1;
    const size_t last = ix->offs[count];
    if (last < 1 || !b.has(ix->data, last)) return false;
    ix->end = ix->data + last;
    return true;
}

// The Top DICT operands we need: charset (15), Encoding (16), CharStrings
// (17); ROS (12 30) marks a CID-keyed font.
struct TopDict {
    long charset = 0, encoding = 0, charstrings = -1;
    bool cid = false;
};

void read_top_dict(std::string_view d, TopDict *t) {
    std::vector<double> ops;
    size_t i = 0;
    while (i < d.size()) {
        const unsigned b0 = static_cast<uint8_t>(d[i]);
        auto at = [&](size_t k) -> unsigned { return i + k < d.size() ? static_cast<uint8_t>(d[i + k]) : 0; };
        if (b0 <= 21) {
            unsigned op = b0;
            ++i;
            if (b0 == 12) op = 1200 + at(0), ++i;
            const long v = ops.empty() ? 0 : static_cast<long>(ops.back());
            if (op == 15) t->charset = v;
            else if (op == 16) t->encoding = v;
            else if (op == 17) t->charstrings = v;
            else if (op == 1230) t->cid = true;
            ops.clear();
        } else if (b0 == 28) {
            ops.push_back(static_cast<int16_t>(at(1) << 8 | at(2)));
            i += 3;
        } else if (b0 == 29) {
            ops.push_back(static_cast<int32_t>(at(1) << 24 | at(2) << 16 | at(3) << 8 | at(4)));
            i += 5;
        } else if (b0 == 30) {  // a real: nibbles up to 0xF (its value is not needed)
            ++i;
            while (i < d.size() && (static_cast<uint8_t>(d[i]) & 0x0F) != 0x0F &&
                   (static_cast<uint8_t>(d[i]) & 0xF0) != 0xF0)
                ++i;
            ++i;
            ops.push_back(0);
        } else if (b0 >= 32 && b0 <= 246) {
            ops.push_back(static_cast<int>(b0) - 139);
            ++i;
        } else if (b0 >= 247 && b0 <= 250) {
            ops.push_back((static_cast<int>(b0) - 247) * 256 + static_cast<int>(at(1)) + 108);
            i += 2;
        } else if (b0 >= 251 && b0 <= 254) {
            ops.push_back(-(static_cast<int>(b0) - 251) * 256 - static_cast<int>(at(1)) - 108);
            i += 2;
        } else {
            ++i;  // reserved
        }
        if (ops.size() > 48) ops.erase(ops.begin());  // the format allows 48 operands
    }
}

}  // namespace

bool cff_uses_standard_encoding(const uint8_t *data, size_t len) {
    if (!data) return false;
    const Bytes b{data, len};
    if (!b.has(0, 4) || b.u8(0) != 1) return false;
    Index name_ix, top_ix;
    if (!read_index(b, b.u8(2), &name_ix) || !read_index(b, name_ix.end, &top_ix) || top_ix.count() < 1)
        return false;
    TopDict top;
    read_top_dict(top_ix.item(b, 0), &top);
    return !top.cid && top.encoding == 0 && top.charstrings > 0;
}

bool cff_builtin_encoding(const uint8_t *data, size_t len, std::array<std::string, 256> *names) {
    if (!data) return false;
    const Bytes b{data, len};
    if (!b.has(0, 4) || b.u8(0) != 1) return false;  // major version 1
    Index name_ix, top_ix, str_ix;
    if (!read_index(b, b.u8(2), &name_ix) || !read_index(b, name_ix.end, &top_ix) ||
        !read_index(b, top_ix.end, &str_ix) || top_ix.count() < 1)
        return false;
    TopDict top;
    read_top_dict(top_ix.item(b, 0), &top);
    // Encoding 0 is the Standard encoding (the reader's default already),
    // 1 the expert encoding; CID-keyed fonts have no encoding of their own.
    if (top.cid || top.encoding <= 1 || top.charstrings <= 0) return false;
    Index cs_ix;
    if (!read_index(b, static_cast<size_t>(top.charstrings), &cs_ix)) return false;
    const size_t nglyphs = std::min(cs_ix.count(), kMaxGlyphs);
    if (nglyphs == 0) return false;

    // Glyph id -> string id.
    std::vector<unsigned> sid(nglyphs, 0);
    if (top.charset == 0) {  // ISOAdobe: glyph i is string i
        for (size_t g = 0; g < nglyphs; ++g) sid[g] = g < 229 ? static_cast<unsigned>(g) : 0;
    } else if (top.charset > 2) {
        size_t p = static_cast<size_t>(top.charset);
        if (!b.has(p, 1)) return false;
        const unsigned fmt = b.u8(p++);
        size_t g = 1;
        if (fmt == 0) {
            for (; g < nglyphs && b.has(p, 2); ++g, p += 2) sid[g] = b.u16(p);
        } else if (fmt == 1 || fmt == 2) {
            const size_t rec = fmt == 1 ? 3 : 4;
            while (g < nglyphs && b.has(p, rec)) {
                const unsigned first = b.u16(p);
                const size_t left = fmt == 1 ? b.u8(p + 2) : b.u16(p + 2);
                p += rec;
                for (size_t k = 0; k <= left && g < nglyphs; ++k, ++g) sid[g] = first + static_cast<unsigned>(k);
            }
        } else {
            return false;
        }
    } else {
        return false;  // the expert charsets go with expert fonts
    }
    auto name_of = [&](unsigned s) -> std::string_view {
        if (s < kStandardCount) return kStandardStrings[s];
        return str_ix.item(b, s - kStandardCount);
    };

    std::array<std::string, 256> out;
    size_t p = static_cast<size_t>(top.encoding);
    if (!b.has(p, 2)) return false;
    const unsigned fmt = b.u8(p);
    p += 1;
    if ((fmt & 0x7F) == 0) {
        const size_t n = b.u8(p++);
        for (size_t k = 0; k < n && b.has(p, 1); ++k, ++p)
            if (k + 1 < nglyphs) out[b.u8(p)] = name_of(sid[k + 1]);
    } else if ((fmt & 0x7F) == 1) {
        const size_t n = b.u8(p++);
        size_t g = 1;
        for (size_t k = 0; k < n && b.has(p, 2); ++k, p += 2) {
            const unsigned first = b.u8(p), left = b.u8(p + 1);
            for (unsigned c = first; c <= first + left && c < 256; ++c, ++g)
                if (g < nglyphs) out[c] = name_of(sid[g]);
        }
    } else {
        return false;
    }
    if (fmt & 0x80) {  // supplements: code -> string id
        if (!b.has(p, 1)) return false;
        const size_t n = b.u8(p++);
        for (size_t k = 0; k < n && b.has(p, 3); ++k, p += 3) out[b.u8(p)] = name_of(b.u16(p + 1));
    }
    *names = std::move(out);
    return true;
}

}  // namespace morvex
