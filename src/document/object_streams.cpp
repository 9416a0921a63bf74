// Object streams: objects kept compressed inside a stream object, with no
// "obj" header of their own in the file.
#include <cstring>

#include "../codec/decode.h"
#include "document.h"
#include "security.h"

namespace morvex {

namespace {

constexpr int32_t kMaxRawObjectStream = 1 << 28;
constexpr int32_t kMaxObjectsPerStream = 50000;

int32_t int_after(const u8 *data, int32_t begin, int32_t end, const char *key) {
    const int32_t at = find_name(data, end, begin, end, key);
    if (at < 0) return -1;
    int32_t p = at + 1 + static_cast<int32_t>(std::strlen(key));
    return parse_int_at(data, end, &p);
}

// Decoded object streams stay in memory with the document: all of them
// together may hold this much beyond 16 times the file's size, so many
// small decompression bombs cannot add up.
constexpr size_t kObjectStreamAllowance = size_t{256} << 20;

// Decodes one object stream and appends its members to the table; counts
// the decoded bytes against *budget and skips the stream once it is spent.
void expand_one(PdfDocument *doc, const ObjectEntry stream, size_t *budget) {
    const u8 *data = doc->data;
    const int32_t dict_begin = stream.body_pos;
    const int32_t dict_end = stream.stream_kw_pos >= 1 ? stream.stream_kw_pos : doc->len;
    if (find_name(data, dict_end, dict_begin, dict_end, "ObjStm") < 0) return;
    const int32_t n = stream.stream_end - stream.stream_start;
    if (n < 1 || n > kMaxRawObjectStream) return;

    OwnedBytes decoded;
    const u8 *raw = data + stream.stream_start;
    // An encrypted object stream is decrypted here, once; its members'
    // strings were never encrypted on their own.
    OwnedBytes plain;
    size_t raw_len = static_cast<size_t>(n);
    if (stream.crypt) {
        if (!stream.crypt->decrypt_stream(stream, raw, raw_len, &plain)) return;
        raw = plain.data.get();
        raw_len = plain.len;
        if (raw_len == 0) return;
    }
    if (find_name(data, dict_end, dict_begin, dict_end, "FlateDecode") >= 0) {
        if (!inflate_growing(raw, raw_len, 10 * raw_len + 256, &decoded)) return;
    } else if (plain.data) {
        decoded = std::move(plain);
    } else {
        decoded.data.reset(new u8[raw_len]);
        std::memcpy(decoded.data.get(), raw, raw_len);
        decoded.len = raw_len;
    }
    if (decoded.len > static_cast<size_t>(INT32_MAX) || decoded.len > *budget) return;
    *budget -= decoded.len;
    const auto m = static_cast<int32_t>(decoded.len);
    // Keep exactly the decoded bytes; the growing buffer may be far larger.
    std::unique_ptr<u8[]> buf(new u8[decoded.len ? decoded.len : 1]);
    if (m) std::memcpy(buf.get(), decoded.data.get(), decoded.len);
    decoded = {};
    const u8 *text = buf.get();
    doc->objstm_bufs.push_back(std::move(buf));

    const int32_t count = int_after(data, dict_begin, dict_end, "N");
    const int32_t first = int_after(data, dict_begin, dict_end, "First");
    if (count < 1 || count > kMaxObjectsPerStream || first < 0 || first > m) return;

    std::vector<int32_t> nums(static_cast<size_t>(count)), offs(static_cast<size_t>(count));
    int32_t p = 0;
    for (int32_t k = 0; k < count; ++k) {
        nums[static_cast<size_t>(k)] = read_int_adv(text, m, &p);
        offs[static_cast<size_t>(k)] = read_int_adv(text, m, &p);
        if (nums[static_cast<size_t>(k)] < 0 || offs[static_cast<size_t>(k)] < 0) return;
    }
    for (int32_t k = 0; k < count; ++k) {
        const int64_t start = int64_t{first} + offs[static_cast<size_t>(k)];
        int64_t length;
        if (k + 1 < count) {
            const int64_t next = int64_t{first} + offs[static_cast<size_t>(k) + 1];
            length = next - start;
            if (next > m || length <= 0) continue;
        } else {
            length = m - start;
            if (length <= 0) break;
        }
        ObjectEntry e;
        e.num = nums[static_cast<size_t>(k)];
        e.in_objstm = 1;
        e.objstm_data = text + start;
        e.objstm_len = static_cast<int32_t>(length);
        e.stream_kw_pos = 0;
        e.endobj_pos = 0;
        e.body_pos = 0;
        e.def_pos = stream.hdr_pos;
        doc->objects.push_back(e);
    }
}

}  // namespace

void expand_object_streams(PdfDocument *doc) {
    size_t budget = kObjectStreamAllowance + 16 * static_cast<size_t>(doc->len);
    const size_t scanned = doc->objects.size();
    for (size_t i = 0; i < scanned; ++i) {
        const ObjectEntry e = doc->objects[i];  // a copy: the table grows below
        if (e.has_stream && e.body_pos >= 0) expand_one(doc, e, &budget);
    }
}

}  // namespace morvex
