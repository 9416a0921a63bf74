// Document information, XMP metadata, embedded files and page labels.
#include <cstring>

#include "../codec/filters.h"
#include "items.h"

namespace morvex::docinfo {

namespace {

// Cross-reference sections followed through /Prev looking for /Info.
constexpr int kMaxSections = 64;
// Trailers looked at, newest first, when the sections name no /Info.
constexpr int kMaxTrailers = 64;
constexpr int kMaxAttachments = 10000;
constexpr int kMaxLabelRanges = 10000;

// The trailer dictionary that the cross-reference section at off carries
// (a classic "trailer" or a cross-reference stream's), or not ok().
Val trailer_at(const PdfDocument &doc, int32_t off) {
    const u8 *d = doc.data;
    const int32_t len = doc.len;
    if (off < 0 || off >= len) return {};
    off = skip_ws(d, len, off);
    if (kw_at(d, off, len, "xref")) {
        const int32_t t = find_kw(d, len, off + 4, "trailer");
        if (t < 0) return {};
        int32_t e = find_kw(d, len, t, "startxref");
        return Val{d, skip_ws_comments(d, e < 0 ? len : e, t + 7), e < 0 ? len : e};
    }
    int32_t q = off;
    if (read_int_adv(d, len, &q) < 0) return {};
    q = skip_ws(d, len, q);
    if (q < len && is_digit(d[q])) {
        read_int_adv(d, len, &q);
        q = skip_ws(d, len, q);
    }
    if (!kw_at(d, q, len, "obj")) return {};
    const int32_t b = skip_ws_comments(d, len, q + 3);
    const int32_t s = dict_stream_kw(d, len, b);
    return Val{d, b, s < 0 ? len : s};
}

// The /Info dictionary of the newest trailer that names one.
Val info_dict(const Reader &r) {
    const PdfDocument &doc = r.doc();
    const int32_t sx = find_kw_last(doc.data, doc.len, "startxref");
    if (sx >= 0) {
        int32_t p = sx + 9;
        int32_t off = parse_int_at(doc.data, doc.len, &p);
        for (int k = 0; k < kMaxSections; ++k) {
            const Val t = trailer_at(doc, off);
            if (!t.is_dict()) break;
            const Val info = r.raw(t, "Info");
            if (info.ok()) return r.resolve(info);
            const int64_t prev = r.integer(r.raw(t, "Prev"), -1);
            if (prev < 0 || prev == off) break;
            off = static_cast<int32_t>(prev);
        }
    }
    // A broken startxref: the trailers themselves, newest first.
    int32_t limit = doc.len;
    for (int k = 0; k < kMaxTrailers; ++k) {
        const int32_t t = find_kw_last(doc.data, limit, "trailer");
        if (t < 0) break;
        const int32_t e = find_kw(doc.data, doc.len, t, "startxref");
        const Val dict{doc.data, skip_ws_comments(doc.data, e < 0 ? doc.len : e, t + 7), e < 0 ? doc.len : e};
        const Val info = r.raw(dict, "Info");
        if (info.ok()) return r.resolve(info);
        limit = t;
    }
    return {};
}

void add_metadata(DocSection *out, const std::string &key, std::string value, std::string problem = {}) {
    DocItem item;
    item.key = key;
    item.members = json_string(value);  // a metadata value is a plain string
    item.problem = std::move(problem);
    out->metadata.push_back(std::move(item));
}

// The XML text between <tag ...> and </tag>, or "" when absent.
std::string_view element(std::string_view xml, std::string_view tag) {
    const std::string open = "<" + std::string(tag);
    size_t at = 0;
    for (;;) {
        at = xml.find(open, at);
        if (at == std::string_view::npos) return {};
        const size_t after = at + open.size();
        if (after < xml.size() && (xml[after] == '>' || xml[after] == ' ' || xml[after] == '\n' ||
                                   xml[after] == '\r' || xml[after] == '\t' || xml[after] == '/'))
            break;
        at = after;
    }
    const size_t gt = xml.find('>', at);
    if (gt == std::string_view::npos || xml[gt - 1] == '/') return {};
    const size_t close = xml.find("</" + std::string(tag), gt);
    if (close == std::string_view::npos) return {};
    return xml.substr(gt + 1, close - gt - 1);
}

// Character data with the tags dropped, the five entities and character
// references decoded, and white space at both ends trimmed.
std::string xml_text(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '<') {
            const size_t gt = s.find('>', i);
            if (gt == std::string_view::npos) break;
            i = gt;
            continue;
        }
        if (s[i] == '&') {
            const size_t semi = s.find(';', i);
            if (semi != std::string_view::npos && semi - i <= 10) {
                const std::string_view ent = s.substr(i + 1, semi - i - 1);
                bool known = true;
                if (ent == "amp") out += '&';
                else if (ent == "lt") out += '<';
                else if (ent == "gt") out += '>';
                else if (ent == "quot") out += '"';
                else if (ent == "apos") out += '\'';
                else if (ent.size() > 1 && ent[0] == '#') {
                    const bool hex = ent[1] == 'x' || ent[1] == 'X';
                    const std::string digits(ent.substr(hex ? 2 : 1));
                    char *end = nullptr;
                    const unsigned long cp = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
                    known = !digits.empty() && *end == 0;
                    if (known) append_utf8(&out, cp == 0 || cp > 0x10FFFF ? 0xFFFD : static_cast<uint32_t>(cp));
                } else known = false;
                if (known) {
                    i = semi;
                    continue;
                }
            }
        }
        out += s[i];
    }
    const size_t b = out.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return out.substr(b, out.find_last_not_of(" \t\r\n") - b + 1);
}

// The items of an rdf:Alt, rdf:Seq or rdf:Bag, joined by "; ", or the
// element's own text.
std::string xmp_value(std::string_view body) {
    std::string out;
    size_t at = 0;
    int items = 0;
    for (; items < 1000; ++items) {
        const size_t li = body.find("<rdf:li", at);
        if (li == std::string_view::npos) break;
        const size_t gt = body.find('>', li);
        const size_t close = gt == std::string_view::npos ? gt : body.find("</rdf:li>", gt);
        if (close == std::string_view::npos) break;
        if (items) out += "; ";
        out += xml_text(body.substr(gt + 1, close - gt - 1));
        at = close + 9;
    }
    return items ? out : xml_text(body);
}

void read_xmp(const Reader &r, DocSection *out) {
    const int32_t num = Reader::ref(r.raw(catalog(r), "Metadata"));
    const ObjectEntry *e = num > 0 ? r.doc().find_object(num) : nullptr;
    if (!e) return;
    ByteBuf buf;
    if (!e->has_stream || !decode_stream(r.doc().data, r.doc().len, *e, &buf)) {
        add_metadata(out, "xmp", "", "the XMP metadata stream cannot be read");
        return;
    }
    std::string xml = decode_text_string(buf.view());  // UTF-8 unless it starts with a byte order mark
    static const char *const kTags[][2] = {
        {"dc:title", "xmp:title"}, {"dc:creator", "xmp:creator"}, {"dc:description", "xmp:description"}};
    for (const auto &t : kTags) {
        const std::string_view body = element(xml, t[0]);
        if (!body.empty()) add_metadata(out, t[1], shown_text(xmp_value(body)));
    }
}

}  // namespace

void read_metadata(const Reader &r, bool dates, DocSection *out) {
    const Val info = info_dict(r);
    static const char *const kKeys[] = {"Title", "Author", "Subject", "Keywords", "Creator"};
    static const char *const kDateKeys[] = {"Producer", "CreationDate", "ModDate"};
    auto one = [&](const char *key) {
        const Val v = r.get(info, key);
        if (!v.ok()) return;
        if (v.is_string()) add_metadata(out, key, r.text(v));
        else add_metadata(out, key, "", "not a text string");
    };
    for (const char *k : kKeys) one(k);
    if (dates)
        for (const char *k : kDateKeys) one(k);
    read_xmp(r, out);
}

void read_attachments(const Reader &r, DocSection *out) {
    const Val tree = r.get(r.get(catalog(r), "Names"), "EmbeddedFiles");
    if (!tree.ok()) return;
    std::unordered_map<std::string, int> seen;  // duplicate names get "#2", "#3"
    const bool whole = walk_tree(r, tree, false, [&](const std::string &key, Val v) {
        if (out->attachments.size() >= static_cast<size_t>(kMaxAttachments)) return;
        DocItem item;
        item.key = shown_text(decode_text_string(key));
        if (const int n = ++seen[item.key]; n > 1) item.key += " #" + std::to_string(n);
        const Val filespec = r.resolve(v);
        Members m;
        Val file = r.get(filespec, "UF");
        if (!file.ok()) file = r.get(filespec, "F");
        if (file.ok()) m.text("file", r.text(file));
        const Val ef = r.get(filespec, "EF");
        int32_t data_obj = Reader::ref(r.raw(ef, "UF"));
        if (data_obj <= 0) data_obj = Reader::ref(r.raw(ef, "F"));
        const ObjectEntry *e = data_obj > 0 ? r.doc().find_object(data_obj) : nullptr;
        if (e && e->has_stream) {
            ByteBuf data;
            const int got = decode_stream(r.doc().data, r.doc().len, *e, &data);
            // An empty stream decodes to nothing and is an empty file.
            if (got || e->stream_end <= e->stream_start) {
                m.number("size", static_cast<int64_t>(data.len));
                m.text("sha256", sha256_hex(data.view()));
            } else {
                item.problem = "the embedded data cannot be decoded";
            }
        } else {
            item.problem = "no embedded data";
        }
        item.members = m.str();
        out->attachments.push_back(std::move(item));
    });
    if (!whole || out->attachments.size() >= static_cast<size_t>(kMaxAttachments)) {
        DocItem cut;
        cut.key = "(more)";
        cut.problem = "the list of embedded files is cut: a loop, or more than the 10000 read";
        out->attachments.push_back(std::move(cut));
    }
}

void read_page_labels(const Reader &r, DocSection *out) {
    const Val tree = r.get(catalog(r), "PageLabels");
    if (!tree.ok()) return;
    std::string ranges;
    int n = 0;
    const bool whole = walk_tree(r, tree, true, [&](const std::string &key, Val v) {
        if (n >= kMaxLabelRanges) return;
        const Val d = r.resolve(v);
        Members m;
        m.raw("page", std::to_string(std::atoll(key.c_str()) + 1));
        m.text("style", Reader::name(r.get(d, "S")));
        m.text("prefix", r.text(r.get(d, "P")));
        m.number("start", r.integer(r.get(d, "St"), 1));
        ranges += (n++ ? ",{" : "{") + m.str() + "}";
    });
    DocItem item;
    item.key = "page_labels";
    item.members = "[" + ranges + "]";
    if (!whole || n >= kMaxLabelRanges) item.problem = "the page labels are cut: a loop, or more than 10000 ranges";
    out->page_labels.push_back(std::move(item));
}

}  // namespace morvex::docinfo
