#include "copy.h"

#include <deque>

#include "../document/security.h"
#include "page_form.h"

namespace morvex {

namespace detail {

size_t match_ref(std::string_view text, size_t i, bool need_gen, int64_t *num, size_t *digits_end) {
    const size_t n = text.size();
    size_t p = i;
    int64_t v = 0;
    while (p < n && is_digit(static_cast<u8>(text[p]))) {
        if (v <= INT32_MAX) v = v * 10 + (text[p] - '0');
        ++p;
    }
    *digits_end = p;
    *num = v;
    if (v > INT32_MAX) return 0;
    while (p < n && is_ws(static_cast<u8>(text[p]))) ++p;
    if (p >= n) return 0;
    if (is_digit(static_cast<u8>(text[p]))) {
        while (p < n && is_digit(static_cast<u8>(text[p]))) ++p;
        while (p < n && is_ws(static_cast<u8>(text[p]))) ++p;
        if (p >= n) return 0;
    } else if (need_gen) {
        return 0;
    }
    if (text[p] != 'R') return 0;
    if (p + 1 < n && is_alnum(static_cast<u8>(text[p + 1]))) return 0;
    return p + 1 - i;
}

}  // namespace detail

namespace {

std::string_view range_text(const TextRange &r) {
    return r.valid() && r.end > r.begin
               ? std::string_view(reinterpret_cast<const char *>(r.data + r.begin), static_cast<size_t>(r.end - r.begin))
               : std::string_view();
}

void put_header(ByteBuf *out, int32_t num) {
    buf_int(out, num);
    buf_str(out, " 0 obj\n");
}

// The text of a plain object: from its body to "endobj", or to the next
// object header when "endobj" is missing, without trailing whitespace.
std::string_view plain_body(const PdfDocument &doc, const ObjectEntry &e) {
    std::string_view body = range_text(doc.full_range(e));
    while (!body.empty() && is_ws(static_cast<u8>(body.back()))) body.remove_suffix(1);
    return body;
}

// In an encrypted document, the text of a file object with its strings
// decrypted (written as hexadecimal strings); with new_length >= 0 its
// /Length becomes that.  Members of object streams were decrypted with
// their stream.
std::string decrypted_text(const PdfDocument &doc, const ObjectEntry &e, std::string_view text,
                           int64_t new_length = -1) {
    if (e.in_objstm) return std::string(text);
    return decrypt_object_text(doc.security.get(), e.num, e.gen, text, new_length);
}

}  // namespace

std::optional<std::string> page_resources_dict(const PdfDocument &doc, int32_t resources_obj) {
    const ObjectEntry *holder = doc.find_object(resources_obj);
    if (!holder) return std::nullopt;
    const TextRange r = doc.object_range(*holder);
    if (!r.valid()) return std::nullopt;
    const int32_t at = find_name(r.data, r.end, r.begin, r.end, "Resources");
    if (at < 0) return std::nullopt;
    const int32_t p = skip_ws(r.data, r.end, at + 10);
    if (p >= r.end) return std::nullopt;
    if (r.data[p] == '<') {
        auto dict = dict_text_at(r.data, r.end, p);
        if (dict && doc.security) dict = decrypted_text(doc, *holder, *dict);
        return dict;
    }
    if (!is_digit(r.data[p])) return std::nullopt;
    int32_t q = p;
    const ObjectEntry *e = doc.find_object(parse_int_at(r.data, r.end, &q));
    if (!e) return std::nullopt;
    const TextRange t = doc.object_range(*e);
    if (!t.valid()) return std::nullopt;
    if (e->in_objstm) {
        for (int32_t i = 0; i + 2 <= t.end; ++i)
            if (t.data[i] == '<' && kw_at(t.data, i, t.end, "<<")) return dict_text_at(t.data, t.end, i);
        return std::nullopt;
    }
    auto dict = dict_text_at(t.data, t.end, t.begin);
    if (dict && doc.security) dict = decrypted_text(doc, *e, *dict);
    return dict;
}

int collect_text_refs(std::string_view text, int32_t *out, int max) {
    int count = 0;
    if (max <= 0) return 0;
    for_each_text_ref(text, [&](int32_t num) {
        out[count++] = num;
        return count < max;
    });
    return count;
}

std::string remap_res_text(std::string_view text, const Renumbering &table) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    size_t copied = 0;
    detail::walk_refs(text, true, [&](size_t at, size_t n, int32_t num) {
        const int32_t renumbered = table.find(num);
        if (renumbered <= 0) return detail::RefStep::pass;
        out.append(text.substr(copied, at - copied));
        out += std::to_string(renumbered);
        out += " 0 R";
        copied = at + n;
        return detail::RefStep::take;
    });
    out.append(text.substr(copied));
    return out;
}

std::vector<int32_t> collect_copy_list(const PdfDocument &doc, const std::vector<int32_t> &page_indexes) {
    std::vector<int32_t> list;
    ObjectNumberSet seen(doc.max_obj_num, doc.objects.size());
    auto add = [&](int32_t num) {
        if (seen.insert(num)) list.push_back(num);
        return true;
    };
    for (int32_t index : page_indexes) {
        const PageEntry &page = doc.pages[static_cast<size_t>(index)];
        if (const auto res = page_resources_dict(doc, page.resources_obj)) for_each_text_ref(*res, add);
    }
    // Breadth first: the list grows while it is walked.
    for (size_t k = 0; k < list.size(); ++k) {
        const ObjectEntry *e = doc.find_object(list[k]);
        if (!e) continue;
        const std::string_view text =
            e->has_stream || e->in_objstm ? range_text(doc.object_range(*e)) : plain_body(doc, *e);
        if (doc.security)
            for_each_text_ref(decrypted_text(doc, *e, text), add);
        else
            for_each_text_ref(text, add);
    }
    return list;
}

namespace {

// A stream of an encrypted document: its dictionary with the strings
// decrypted and the true /Length, then its data decrypted (still encoded
// by its filters).
void write_decrypted_stream(ByteBuf *out, const PdfDocument &doc, const ObjectEntry &e, const Renumbering &table) {
    std::string_view raw;
    if (e.stream_end > e.stream_start)
        raw = std::string_view(reinterpret_cast<const char *>(doc.data + e.stream_start),
                               static_cast<size_t>(e.stream_end - e.stream_start));
    OwnedBytes plain;
    std::string_view data = raw;
    if (e.crypt) {
        if (e.crypt->decrypt_stream(e, reinterpret_cast<const u8 *>(raw.data()), raw.size(), &plain))
            data = std::string_view(reinterpret_cast<const char *>(plain.data.get()), plain.len);
        else
            data = {};
    } else if (e.data_to_endstream) {
        if (data.size() >= 2 && data.substr(data.size() - 2) == "\r\n")
            data.remove_suffix(2);
        else if (!data.empty() && (data.back() == '\n' || data.back() == '\r'))
            data.remove_suffix(1);
    }
    const std::string dict =
        decrypted_text(doc, e, range_text(doc.object_range(e)), static_cast<int64_t>(data.size()));
    buf_str(out, remap_res_text(dict, table));
    buf_str(out, "stream\n");
    buf_str(out, data);
    buf_str(out, "\nendstream\nendobj\n");
}

}  // namespace

void write_copied_object(ByteBuf *out, const PdfDocument &doc, int32_t old_num, int32_t new_num,
                         const Renumbering &table) {
    put_header(out, new_num);
    const ObjectEntry *e = doc.find_object(old_num);
    if (!e) {
        buf_str(out, "null\nendobj\n");
        return;
    }
    if (e->in_objstm) {
        buf_str(out, remap_res_text(range_text(doc.object_range(*e)), table));
        buf_str(out, "\nendobj\n");
        return;
    }
    if (e->has_stream && doc.security) {
        write_decrypted_stream(out, doc, *e, table);
        return;
    }
    if (e->has_stream) {
        buf_str(out, remap_res_text(range_text(doc.object_range(*e)), table));
        buf_str(out, "stream\n");
        const std::string_view data = raw_stream_data(doc, *e);
        buf_str(out, data);
        buf_str(out, "\nendstream\nendobj\n");
        return;
    }
    const std::string_view body = plain_body(doc, *e);
    if (!body.empty() && doc.security) {
        buf_str(out, remap_res_text(decrypted_text(doc, *e, body), table));
        buf_str(out, "\nendobj\n");
        return;
    }
    buf_str(out, body.empty() ? std::string_view("null") : std::string_view(remap_res_text(body, table)));
    buf_str(out, "\nendobj\n");
}

}  // namespace morvex
