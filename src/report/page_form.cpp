#include "page_form.h"

#include <optional>
#include <string>

#include "../codec/filters.h"
#include "numbers.h"

namespace morvex {

namespace {

const char kFallbackForm[] = "<< /Type /XObject /Subtype /Form /BBox [0 0 612 792] /Length 0 >> stream\nendstream";

// The text of the direct value after the key at `at` in [at, end) when it
// is a name, an array of names, a dictionary or an array of dictionaries
// and nulls without references; nullopt for any other value (a reference
// above all, which the form could not carry unchanged).
std::optional<std::string_view> direct_value(const u8 *data, int32_t at, int32_t key_len, int32_t end) {
    const int32_t p = skip_ws(data, end, at + key_len);
    if (p >= end) return std::nullopt;
    int32_t q = p;
    if (data[p] == '/') {
        q = p + 1;
        while (q < end && is_name_byte(data[q])) ++q;
    } else if (data[p] == '<') {
        q = dict_end(data, end, p);
        if (q < 0) return std::nullopt;
    } else if (data[p] == '[') {
        int depth = 0;
        for (q = p + 1; q < end && data[q] != ']'; ++q) {
            if (data[q] == '(' || data[q] == '[') return std::nullopt;
            if (data[q] == '<') depth += 1;
            if (data[q] == '>') depth -= 1;
        }
        if (q >= end || depth != 0) return std::nullopt;
        ++q;
    } else if (kw_at(data, p, end, "null")) {
        q = p + 4;
    } else {
        return std::nullopt;
    }
    const std::string_view text(reinterpret_cast<const char *>(data + p), static_cast<size_t>(q - p));
    int32_t ref;
    if (collect_text_refs(text, &ref, 1) != 0) return std::nullopt;
    return text;
}

// The /Filter and /DecodeParms entries of the page's only content stream,
// as the form's dictionary will carry them, and its encoded data; nullopt
// when the page has another number of streams, their values are not
// direct, or the data is encrypted.
struct Encoded {
    std::string entries;
    std::string_view data;
};

std::optional<Encoded> encoded_content(const PdfDocument &doc, const PageEntry &page) {
    if (page.contents.size() != 1) return std::nullopt;
    const ObjectEntry *e = doc.find_object(page.contents[0]);
    if (!e || e->in_objstm || !e->has_stream || e->stream_end <= e->stream_start) return std::nullopt;
    // Encrypted data is never copied as it stands: the report is not
    // encrypted, so such a page takes the decoded road.
    if (e->crypt) return std::nullopt;
    const TextRange r = doc.object_range(*e);
    if (!r.valid()) return std::nullopt;
    Encoded out;
    static constexpr const char *kKeys[] = {"Filter", "DecodeParms"};
    for (const char *key : kKeys) {
        const int32_t at = find_name(r.data, r.end, r.begin, r.end, key);
        if (at < 0) continue;
        const auto value = direct_value(r.data, at, static_cast<int32_t>(std::char_traits<char>::length(key)) + 1, r.end);
        if (!value) return std::nullopt;
        out.entries += " /";
        out.entries += key;
        out.entries += ' ';
        out.entries += *value;
    }
    out.data = raw_stream_data(doc, *e);
    return out;
}

void put_form_head(ByteBuf *out, const PdfDocument &doc, const PageEntry &page, const Placement &pl,
                   const Renumbering &table, uint64_t length, std::string_view filter_entries) {
    buf_str(out, "<< /Type /XObject /Subtype /Form /BBox [");
    put_f(out, {page.box_x, page.box_y, page.box_x + page.box_w, page.box_y + page.box_h});
    buf_str(out, "]");
    if (page.rotate == 90 || page.rotate == 180 || page.rotate == 270 || !pl.identity()) {
        buf_str(out, " /Matrix [");
        put_f(out, {pl.m[0], pl.m[1], pl.m[2], pl.m[3], pl.m[4], pl.m[5]});
        buf_str(out, "]");
    }
    buf_str(out, " /Length ");
    buf_int(out, static_cast<int64_t>(length));
    buf_str(out, filter_entries);
    if (const auto dict = page_resources_dict(doc, page.resources_obj)) {
        buf_str(out, " /Resources ");
        buf_str(out, remap_res_text(*dict, table));
    }
    buf_str(out, " >> stream\n");
}

}  // namespace

std::string_view raw_stream_data(const PdfDocument &doc, const ObjectEntry &e) {
    if (e.stream_end <= e.stream_start) return {};
    std::string_view data(reinterpret_cast<const char *>(doc.data + e.stream_start),
                          static_cast<size_t>(e.stream_end - e.stream_start));
    if (e.data_to_endstream) {
        if (data.size() >= 2 && data.substr(data.size() - 2) == "\r\n")
            data.remove_suffix(2);
        else if (!data.empty() && (data.back() == '\n' || data.back() == '\r'))
            data.remove_suffix(1);
    }
    return data;
}

void put_page_form(ByteBuf *out, const PdfDocument &doc, const PageEntry &page, const Placement &pl,
                   const Renumbering &table, FormContent how) {
    if (how == FormContent::keep_encoded) {
        if (const auto enc = encoded_content(doc, page)) {
            put_form_head(out, doc, page, pl, table, enc->data.size(), enc->entries);
            buf_str(out, enc->data);
            buf_str(out, "\nendstream");
            return;
        }
    }
    ByteBuf content;
    if (!get_page_content(doc, page, &content)) {
        buf_str(out, kFallbackForm);
        return;
    }
    put_form_head(out, doc, page, pl, table, content.len, {});
    buf_bytes(out, content.data, static_cast<size_t>(content.len));
    buf_str(out, "\nendstream");
    if (content.oom) out->oom = true;
}

}  // namespace morvex
