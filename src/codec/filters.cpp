#include "filters.h"

#include <cstring>
#include <string>
#include <vector>

#include "../document/security.h"
#include "decode.h"

namespace morvex {

namespace {

constexpr uint32_t kMaxRawStream = 0x10000000;  // 2^28 bytes
constexpr size_t kMaxFilterList = 223;          // names plus one space each
constexpr size_t kMaxContentStreams = 64;

bool is_filter_name_byte(u8 c) { return is_alnum(c) || c == '+' || c == '-' || c == '_'; }

// The filter names of a stream dictionary [begin, end), in order.
std::vector<std::string> filter_list(const u8 *data, int32_t begin, int32_t end) {
    std::vector<std::string> names;
    const int32_t key = find_name(data, end, begin, end, "Filter");
    if (key < 0) return names;
    int32_t p = skip_ws(data, end, key + 7);
    if (p >= end) return names;
    auto read_name = [&](int32_t at, int32_t *after) {
        int32_t q = at + 1;
        while (q < end && is_filter_name_byte(data[q])) ++q;
        *after = q;
        return std::string(reinterpret_cast<const char *>(data + at + 1), static_cast<size_t>(q - at - 1));
    };
    if (data[p] == '/') {
        int32_t after;
        std::string name = read_name(p, &after);
        if (!name.empty() && name.size() + 1 <= kMaxFilterList) names.push_back(std::move(name));
        return names;
    }
    if (data[p] != '[') return names;
    p = skip_ws(data, end, p + 1);
    size_t used = 0;
    while (p < end && data[p] != ']') {
        if (data[p] != '/') {
            ++p;
            continue;
        }
        int32_t after;
        std::string name = read_name(p, &after);
        if (used + name.size() + 1 > kMaxFilterList) {
            if (after >= end) break;
            p = after;
            continue;
        }
        used += name.size() + 1;
        if (!name.empty()) names.push_back(std::move(name));
        p = after;
    }
    return names;
}

OwnedBytes to_owned(const ByteBuf &buf) {
    OwnedBytes o;
    o.len = static_cast<size_t>(buf.len);
    o.data.reset(new unsigned char[o.len ? o.len : 1]);
    if (o.len) std::memcpy(o.data.get(), buf.data, o.len);
    return o;
}

}  // namespace

void ascii_hex_decode(const u8 *in, size_t n, ByteBuf *out) {
    int pending = -1;
    for (size_t i = 0; i < n; ++i) {
        const u8 c = in[i];
        if (c == '>') break;
        if (!is_hex_digit(c)) continue;
        if (pending < 0) {
            pending = hex_value(c);
        } else {
            buf_byte(out, static_cast<u8>(pending << 4 | hex_value(c)));
            pending = -1;
        }
    }
    if (pending >= 0) buf_byte(out, static_cast<u8>(pending << 4));
}

void ascii85_decode(const u8 *in, size_t n, ByteBuf *out) {
    uint32_t acc = 0;
    int count = 0;
    auto put = [&](uint32_t v, int bytes) {
        const u8 b[4] = {u8(v >> 24), u8(v >> 16), u8(v >> 8), u8(v)};
        buf_bytes(out, b, static_cast<size_t>(bytes));
    };
    for (size_t i = 0; i < n; ++i) {
        const u8 c = in[i];
        if (c == '~') break;
        if (c == 'z') {
            if (count == 0) put(0, 4);
            continue;
        }
        if (c < '!' || c > 'u') continue;
        acc = acc * 85u + static_cast<uint32_t>(c - '!');
        if (++count == 5) {
            put(acc, 4);
            acc = 0;
            count = 0;
        }
    }
    if (count >= 2) {
        for (int k = count; k < 5; ++k) acc = acc * 85u + 84u;
        put(acc, count - 1);
    }
}

namespace {

// Appends the decoded data of one stream object to `out`.  Returns 1 on
// success; 0 when the object has no stream, its data is empty or too long,
// or a decoder fails, and then `out` keeps its former bytes (or is emptied
// with `oom` set when memory ran out).  The last filter of the chain writes
// straight into `out`, so the common single-filter stream is never copied.
int append_stream(const u8 *data, int32_t data_len, const ObjectEntry &entry, ByteBuf *out) {
    if (!entry.has_stream) return 0;
    const uint32_t n = static_cast<uint32_t>(entry.stream_end) - static_cast<uint32_t>(entry.stream_start);
    if (n < 1 || n > kMaxRawStream || entry.stream_end > data_len) return 0;
    const int32_t dict_end = entry.stream_kw_pos > 0 ? entry.stream_kw_pos : data_len;
    std::vector<std::string> filters = filter_list(data, entry.body_pos, dict_end);
    // Unknown names leave the data unchanged: only the others count.
    std::erase_if(filters, [](const std::string &f) {
        return f != "FlateDecode" && f != "LZWDecode" && f != "ASCIIHexDecode" && f != "ASCII85Decode";
    });

    const u8 *cur = data + entry.stream_start;
    size_t cur_len = n;
    OwnedBytes held;  // the current data once decryption or a filter has produced it
    if (entry.crypt) {
        if (!entry.crypt->decrypt_stream(entry, cur, cur_len, &held)) return 0;
        cur = held.data.get();
        cur_len = held.len;
    }
    for (size_t k = 0; k < filters.size(); ++k) {
        const std::string &f = filters[k];
        const bool last = k + 1 == filters.size();
        OwnedBytes next;
        if (f == "FlateDecode") {
            if (last) return inflate_append(cur, cur_len, 16 * (cur_len + 64), out) ? 1 : 0;
            if (!inflate_growing(cur, cur_len, 16 * (cur_len + 64), &next)) return 0;
        } else if (f == "LZWDecode") {
            if (!lzw_growing(cur, cur_len, 8 * cur_len + 1024, &next)) return 0;
        } else {
            if (last) {
                (f[5] == 'H' ? ascii_hex_decode : ascii85_decode)(cur, cur_len, out);
                return out->oom ? 0 : 1;
            }
            ByteBuf tmp;
            (f[5] == 'H' ? ascii_hex_decode : ascii85_decode)(cur, cur_len, &tmp);
            if (tmp.oom) return 0;
            next = to_owned(tmp);
        }
        held = std::move(next);
        cur = held.data.get();
        cur_len = held.len;
    }
    if (cur_len) buf_bytes(out, cur, cur_len);
    return out->oom ? 0 : 1;
}

}  // namespace

int decode_stream(const u8 *data, int32_t data_len, const ObjectEntry &entry, ByteBuf *out) {
    if (!entry.has_stream) return 0;
    const uint32_t n = static_cast<uint32_t>(entry.stream_end) - static_cast<uint32_t>(entry.stream_start);
    if (n < 1 || n > kMaxRawStream || entry.stream_end > data_len) return 0;
    buf_reset(out);
    if (append_stream(data, data_len, entry, out)) return 1;
    // A failed decoder leaves the buffer initialised and empty.
    if (!out->oom) {
        out->len = 0;
        if (out->data) out->data[0] = 0;
    }
    return 0;
}

namespace {

// The content stream numbers of a page: its /Contents references, with a
// reference to an array object replaced by the streams the array lists.
std::vector<int32_t> content_refs(const PdfDocument &doc, const PageEntry &page) {
    // A /Contents reference may name an array object that lists the streams.
    std::vector<int32_t> refs;
    for (int32_t num : page.contents) {
        if (refs.size() >= kMaxContentStreams) break;
        const ObjectEntry *e = doc.find_object(num);
        if (!e || e->has_stream) {
            refs.push_back(num);
            continue;
        }
        const TextRange r = doc.object_range(*e);
        if (!r.valid() || r.begin >= r.end || r.data[r.begin] != '[') continue;
        for (int32_t p = r.begin + 1; p < r.end && r.data[p] != ']' && refs.size() < kMaxContentStreams;) {
            if (!is_digit(r.data[p])) {
                ++p;
                continue;
            }
            const int32_t ref = parse_ref_at(r.data, r.end, p);
            if (ref > 0) refs.push_back(ref);
            while (p < r.end && r.data[p] != ']' && r.data[p] != 'R') ++p;
            if (p < r.end && r.data[p] == 'R') ++p;
        }
    }
    return refs;
}

// Whether decode_stream would decode the entry's data at all.
bool decodable_extent(int32_t data_len, const ObjectEntry &e) {
    const uint32_t n = static_cast<uint32_t>(e.stream_end) - static_cast<uint32_t>(e.stream_start);
    return e.has_stream && n >= 1 && n <= kMaxRawStream && e.stream_end <= data_len;
}

}  // namespace

int get_page_content(const PdfDocument &doc, const PageEntry &page, ByteBuf *out) {
    buf_reset(out);
    const std::vector<int32_t> refs = content_refs(doc, page);
    int result = 0;
    for (int32_t num : refs) {
        // A page's joined content is held to the same ceiling as one
        // stream, so 64 references to a decompression bomb stay one bomb.
        if (out->len >= kMaxDecodedStream) break;
        const ObjectEntry *e = doc.find_object(num);
        if (!e) continue;
        // Each stream is decoded in place at the end of the joined content,
        // after one space when it is not the first; a stream that fails
        // takes its space back.
        const uint64_t before = out->len;
        if (result) buf_byte(out, ' ');
        if (out->oom) break;
        if (!append_stream(doc.data, doc.len, *e, out)) {
            if (out->oom) break;
            out->len = before;
            out->data[before] = 0;
            continue;
        }
        result = 1;
    }
    return result;
}

bool same_decoded_stream(const PdfDocument &a, const ObjectEntry &ea, const PdfDocument &b,
                         const ObjectEntry &eb) {
    const bool da = decodable_extent(a.len, ea), db = decodable_extent(b.len, eb);
    if (!da || !db) return !da && !db;  // both give nothing
    if (ea.crypt || eb.crypt) return false;  // the same bytes decrypt differently in other objects
    const uint32_t na = static_cast<uint32_t>(ea.stream_end - ea.stream_start);
    const uint32_t nb = static_cast<uint32_t>(eb.stream_end - eb.stream_start);
    const std::vector<std::string> fa =
        filter_list(a.data, ea.body_pos, ea.stream_kw_pos > 0 ? ea.stream_kw_pos : a.len);
    const std::vector<std::string> fb =
        filter_list(b.data, eb.body_pos, eb.stream_kw_pos > 0 ? eb.stream_kw_pos : b.len);
    if (fa == fb) return na == nb && std::memcmp(a.data + ea.stream_start, b.data + eb.stream_start, na) == 0;
    // One side stored plain, the other filtered (a rewrite compressed what
    // was stored plain): equal when the filtered side decodes to the plain
    // bytes.  Other changes of filters are not looked into.
    if (!fa.empty() && !fb.empty()) return false;
    const bool a_plain = fa.empty();
    const PdfDocument &filtered = a_plain ? b : a;
    const ObjectEntry &ef = a_plain ? eb : ea;
    const std::string_view plain(reinterpret_cast<const char *>(a_plain ? a.data + ea.stream_start
                                                                           : b.data + eb.stream_start),
                                 a_plain ? na : nb);
    ByteBuf decoded;
    return decode_stream(filtered.data, filtered.len, ef, &decoded) == 1 && decoded.view() == plain;
}

bool same_page_content(const PdfDocument &a, const PageEntry &pa, const PdfDocument &b, const PageEntry &pb) {
    const std::vector<int32_t> ra = content_refs(a, pa), rb = content_refs(b, pb);
    if (ra.size() != rb.size()) return false;
    for (size_t k = 0; k < ra.size(); ++k) {
        const ObjectEntry *ea = a.find_object(ra[k]);
        const ObjectEntry *eb = b.find_object(rb[k]);
        if (!ea || !eb) {
            if (ea || eb) return false;
            continue;
        }
        if (!same_decoded_stream(a, *ea, b, *eb)) return false;
    }
    return true;
}

}  // namespace morvex
