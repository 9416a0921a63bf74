// Object streams: objects kept compressed inside a stream object, with no
// "obj" header of their own in the file.
#include <cstring>

#include "../codec/decode.h"
#include "../syntax.h"
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

// One member of an object stream, before it joins the table.
struct Member {
    int32_t num;
    int32_t off;  // from the header, relative to /First
    const u8 *text;
    int32_t len;
    int32_t def_pos;
};

// Decodes one object stream into *scratch, keeps exactly its bytes with the
// document, and lists its members in *members; counts the decoded bytes
// against *budget and skips the stream once it is spent.
void expand_one(PdfDocument *doc, const ObjectEntry &stream, size_t *budget, DecodeScratch *scratch,
                std::vector<Member> *members) {
    const u8 *data = doc->data;
    const int32_t dict_begin = stream.body_pos;
    const int32_t dict_end = stream.stream_kw_pos >= 1 ? stream.stream_kw_pos : doc->len;
    if (find_name(data, dict_end, dict_begin, dict_end, "ObjStm") < 0) return;
    const int32_t n = stream.stream_end - stream.stream_start;
    if (n < 1 || n > kMaxRawObjectStream) return;

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
    const u8 *decoded = raw;
    size_t decoded_len = raw_len;
    if (find_name(data, dict_end, dict_begin, dict_end, "FlateDecode") >= 0) {
        if (!inflate_growing(raw, raw_len, 10 * raw_len + 256, scratch, &decoded_len)) return;
        decoded = scratch->data.get();
    }
    if (decoded_len > static_cast<size_t>(INT32_MAX) || decoded_len > *budget) return;
    *budget -= decoded_len;
    const auto m = static_cast<int32_t>(decoded_len);
    // Keep exactly the decoded bytes (the scratch block is reused for the
    // next stream); the members point into them.
    std::unique_ptr<u8[]> buf;
    if (plain.data && decoded == plain.data.get()) {
        buf = std::move(plain.data);
    } else {
        buf.reset(new u8[decoded_len ? decoded_len : 1]);
        if (m) std::memcpy(buf.get(), decoded, decoded_len);
    }
    // Members are searched as file objects are: in their plain spelling.
    SyntaxCleaner(buf.get()).text(0, m);
    const u8 *text = buf.get();
    doc->objstm_bufs.push_back(std::move(buf));

    const int32_t count = int_after(data, dict_begin, dict_end, "N");
    const int32_t first = int_after(data, dict_begin, dict_end, "First");
    if (count < 1 || count > kMaxObjectsPerStream || first < 0 || first > m) return;

    // The header: `count` pairs of object number and offset, read once.
    // Nothing joins the table unless every pair is there.
    const size_t base = members->size();
    int32_t p = 0;
    for (int32_t k = 0; k < count; ++k) {
        const int32_t num = read_int_adv(text, m, &p);
        const int32_t off = read_int_adv(text, m, &p);
        if (num < 0 || off < 0) {
            members->resize(base);
            return;
        }
        members->push_back(Member{num, off, nullptr, 0, stream.hdr_pos});
    }
    // A member runs to the next one's offset, the last one to the end of
    // the data.  Members that would be empty, run backwards or pass the
    // data are left out; so is everything after a last one that starts
    // past the end.
    const size_t end = members->size();
    size_t kept = base;
    for (size_t k = base; k < end; ++k) {
        const int64_t start = int64_t{first} + (*members)[k].off;
        int64_t length;
        if (k + 1 < end) {
            const int64_t next = int64_t{first} + (*members)[k + 1].off;
            length = next - start;
            if (next > m || length <= 0) continue;
        } else {
            length = m - start;
            if (length <= 0) break;
        }
        Member &mem = (*members)[kept++];  // kept <= k: entry k + 1 is still unread
        mem.num = (*members)[k].num;
        mem.text = text + start;
        mem.len = static_cast<int32_t>(length);
    }
    members->resize(kept);
}

}  // namespace

void expand_object_streams(PdfDocument *doc) {
    size_t budget = kObjectStreamAllowance + 16 * static_cast<size_t>(doc->len);
    const size_t scanned = doc->objects.size();
    DecodeScratch scratch;
    std::vector<Member> members;
    for (size_t i = 0; i < scanned; ++i) {
        const ObjectEntry &e = doc->objects[i];
        if (e.has_stream && e.body_pos >= 0) expand_one(doc, e, &budget, &scratch, &members);
    }
    doc->objects.reserve(scanned + members.size());
    for (const Member &mem : members) {
        ObjectEntry e;
        e.num = mem.num;
        e.in_objstm = 1;
        e.objstm_data = mem.text;
        e.objstm_len = mem.len;
        e.stream_kw_pos = 0;
        e.endobj_pos = 0;
        e.body_pos = 0;
        e.def_pos = mem.def_pos;
        doc->objects.push_back(e);
    }
}

}  // namespace morvex
