// doc_load: file bytes -> object table -> object streams -> page list.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "../library_state.h"
#include "../syntax.h"
#include "document.h"
#include "security.h"

namespace morvex {

namespace {

constexpr int kMaxXrefSections = 16;

// The document's own copy of the file, which the loader writes its plain
// spelling into (see syntax.h).
u8 *owned_bytes(PdfDocument *doc) { return doc->file_block ? doc->file_block.get() : doc->bytes.get(); }

enum class ReadResult { ok, cannot_open, empty, read_error };

// A block for n bytes and the 0 after them.  A large one is mapped at a
// 2 MiB boundary and its whole 2 MiB units ask for huge pages, so that
// reading the file into it faults in a few pages instead of one per 4 KiB;
// the tail keeps small pages, so no memory is held beyond the file.
std::unique_ptr<u8, FreeBlock> file_block_for(size_t n) {
    constexpr size_t kHuge = size_t{2} << 20;
    const size_t need = n + 1;
    if (need >= 2 * kHuge) {
        const size_t len = (need + 4095) / 4096 * 4096;
        void *area = ::mmap(nullptr, len + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (area != MAP_FAILED) {
            auto *base = static_cast<u8 *>(area);
            const auto addr = reinterpret_cast<uintptr_t>(base);
            u8 *aligned = base + ((kHuge - addr % kHuge) % kHuge);
            // Unmap the slack on both sides of the aligned block.
            if (aligned > base) ::munmap(base, static_cast<size_t>(aligned - base));
            const size_t tail = static_cast<size_t>(base + len + kHuge - (aligned + len));
            if (tail) ::munmap(aligned + len, tail);
#ifdef MADV_HUGEPAGE
            ::madvise(aligned, need / kHuge * kHuge, MADV_HUGEPAGE);  // a hint: failure changes nothing
#endif
            return std::unique_ptr<u8, FreeBlock>(aligned, FreeBlock{len});
        }
    }
    return std::unique_ptr<u8, FreeBlock>(static_cast<u8 *>(std::malloc(need)));
}

// Reads the whole file into one block followed by a 0 byte, with one read
// for a regular file (more only when the system returns less).  Pipes and
// other streams are read to their end, so a host may pass /dev/stdin or a
// process substitution.
ReadResult read_file(const char *path, std::unique_ptr<u8, FreeBlock> *out, int32_t *out_len) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ReadResult::cannot_open;
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return ReadResult::cannot_open;

    if (S_ISREG(st.st_mode)) {
        if (st.st_size < 1 || st.st_size > INT32_MAX - 1) return ReadResult::empty;
        const auto n = static_cast<size_t>(st.st_size);
        std::unique_ptr<u8, FreeBlock> block = file_block_for(n);
        if (!block) return ReadResult::read_error;
        size_t got = 0;
        while (got < n) {
            const ssize_t r = ::read(fd, block.get() + got, n - got);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return ReadResult::read_error;
            got += static_cast<size_t>(r);
        }
        block.get()[n] = 0;
        *out = std::move(block);
        *out_len = static_cast<int32_t>(n);
        return ReadResult::ok;
    }

    std::vector<u8> all;
    u8 chunk[65536];
    for (;;) {
        const ssize_t r = ::read(fd, chunk, sizeof chunk);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return ReadResult::read_error;
        if (r == 0) break;
        if (all.size() + static_cast<size_t>(r) > static_cast<size_t>(INT32_MAX - 1)) return ReadResult::empty;
        all.insert(all.end(), chunk, chunk + r);
    }
    if (all.empty()) return ReadResult::empty;
    std::unique_ptr<u8, FreeBlock> block(static_cast<u8 *>(std::malloc(all.size() + 1)));
    if (!block) return ReadResult::read_error;
    std::memcpy(block.get(), all.data(), all.size());
    block.get()[all.size()] = 0;
    *out = std::move(block);
    *out_len = static_cast<int32_t>(all.size());
    return ReadResult::ok;
}

// Reads the integer that follows the first "/key" token in [begin, end),
// or -1 when the token or the integer is missing.
int32_t int_after_name(const u8 *data, int32_t begin, int32_t end, const char *key) {
    const int32_t at = find_name(data, end, begin, end, key);
    if (at < 0) return -1;
    int32_t p = at + 1 + static_cast<int32_t>(std::strlen(key));
    return parse_int_at(data, end, &p);
}

// The trailer information: /Root and /Encrypt of the newest trailer, that
// is of the section the file's last "startxref" names, and of the
// cross-reference streams its /Prev chain leads to.
//
// *crypt_dict receives the position of the "<<" of the first trailer
// dictionary (newest first) that names /Encrypt, and *crypt_end its limit.
void read_trailer(PdfDocument *doc, int32_t *crypt_dict, int32_t *crypt_end) {
    const u8 *data = doc->data;
    const int32_t len = doc->len;
    doc->root_obj = -1;
    const int32_t sx = find_kw_last(data, len, "startxref");
    if (sx < 0) return;
    int32_t p = sx + 9;
    int32_t off = parse_int_at(data, len, &p);
    for (int section = 0; section < kMaxXrefSections; ++section) {
        if (off < 0 || off >= len) return;
        off = skip_ws(data, len, off);
        if (kw_at(data, off, len, "xref")) {
            const int32_t t = find_kw(data, len, off + 4, "trailer");
            if (t < 0) return;
            SyntaxCleaner clean(owned_bytes(doc));
            const int32_t b = clean.ws(len, t + 7);
            int32_t e = find_kw(data, len, b, "startxref");
            if (e < 0) e = len;
            if (b >= e || data[b] != '<') return;
            clean.value(e, b);
            for (int32_t at = find_name(data, len, b, e, "Root"); at >= 0;
                 at = find_name(data, len, at + 1, e, "Root")) {
                int32_t q = at + 5;
                const int32_t v = parse_int_at(data, e, &q);
                if (v >= 0) {
                    doc->root_obj = v;
                    break;
                }
            }
            if (find_name(data, len, b, e, "Encrypt") >= 0 && !doc->encrypted) {
                doc->encrypted = 1;
                *crypt_dict = b;
                *crypt_end = e;
            }
            return;  // the /Prev of a classic trailer is not followed
        }
        if (off >= len || !is_digit(data[off])) return;
        // A cross-reference stream: "N G obj << ... >> stream".
        int32_t q = off;
        if (read_int_adv(data, len, &q) < 0) return;
        q = skip_ws(data, len, q);
        if (q < len && is_digit(data[q])) {
            read_int_adv(data, len, &q);
            q = skip_ws(data, len, q);
        }
        if (!kw_at(data, q, len, "obj")) return;
        const int32_t b = skip_ws_comments(data, len, q + 3);
        int32_t e = len;
        if (b < len && data[b] == '<') {
            const int32_t s = dict_stream_kw(data, len, b);
            if (s >= 0) e = s;
        }
        if (doc->root_obj < 0) {
            const int32_t root = int_after_name(data, b, e, "Root");
            if (root >= 0) doc->root_obj = root;
        }
        if (find_name(data, len, b, e, "Encrypt") >= 0 && !doc->encrypted) {
            doc->encrypted = 1;
            *crypt_dict = b;
            *crypt_end = e;
        }
        const int32_t prev = int_after_name(data, b, e, "Prev");
        if (prev < 0 || prev >= len) return;
        off = prev;
    }
}

// What may follow the keyword of an object header: whitespace, or the
// delimiter that starts the object ("63 0 obj<</Type/Pages...", as several
// writers put it).
constexpr bool ends_obj_keyword(u8 c) {
    return is_ws(c) || c == '<' || c == '[' || c == '(' || c == '/' || c == '%';
}

// Every "N G obj" header in the file becomes an entry, in file order.
void scan_objects(PdfDocument *doc) {
    const u8 *data = doc->data;
    const int32_t len = doc->len;
    // Real files average several hundred bytes an object; reserving for one
    // every 128 bytes spares the table's regrowth, and the part never
    // written is never touched.
    doc->objects.reserve(static_cast<size_t>(len) / 128 + 64);
    int32_t i = 0;
    while (i + 2 < len) {
        const void *hit = memmem(data + i, static_cast<size_t>(len - i), "obj", 3);
        if (!hit) break;
        i = static_cast<int32_t>(static_cast<const u8 *>(hit) - data);
        if (i == 0) {
            i = (3 < len && ends_obj_keyword(data[3])) ? 3 : 1;
            continue;
        }
        if (!is_ws(data[i - 1]) || (i + 3 < len && !ends_obj_keyword(data[i + 3]))) {
            i += 1;
            continue;
        }
        // Backwards: whitespace, generation digits, whitespace, number digits.
        int32_t j = i - 1;
        while (j >= 0 && is_ws(data[j])) --j;
        if (j >= 0 && is_digit(data[j])) {
            while (j >= 0 && is_digit(data[j])) --j;
            const int32_t gen_pos = j + 1;
            if (j >= 0 && is_ws(data[j])) {
                while (j >= 0 && is_ws(data[j])) --j;
                if (j >= 0 && is_digit(data[j])) {
                    while (j >= 0 && is_digit(data[j])) --j;
                    const int32_t num_pos = j + 1;
                    int32_t gp = gen_pos, np = num_pos;
                    const int32_t gen = parse_int_at(data, len, &gp);
                    const int32_t num = parse_int_at(data, len, &np);
                    if (num >= 1) {
                        ObjectEntry e;
                        e.num = num;
                        e.gen = gen;
                        e.hdr_pos = num_pos;
                        e.def_pos = num_pos;
                        e.body_pos = skip_ws(data, len, i + 3);
                        doc->objects.push_back(e);
                    }
                }
            }
        }
        i += 3;
    }
}

// Reads a direct /Length value of the dictionary [b, kw), or -1 when it is
// missing, negative, or an indirect reference.
int32_t direct_length(const u8 *data, int32_t b, int32_t kw) {
    const int32_t at = find_name(data, kw, b, kw, "Length");
    if (at < 0) return -1;
    int32_t p = at + 7;
    const int32_t v = parse_int_at(data, kw, &p);
    if (v < 0) return -1;
    int32_t q = skip_ws(data, kw, p);
    if (q < kw && is_digit(data[q]) && parse_int_at(data, kw, &q) >= 0) {
        q = skip_ws(data, kw, q);
        if (q < kw && data[q] == 'R') return -1;
    }
    return v;
}

// The object number of an indirect /Length ("N G R") of the dictionary
// [b, kw), or -1.
int32_t indirect_length_ref(const u8 *data, int32_t b, int32_t kw) {
    const int32_t at = find_name(data, kw, b, kw, "Length");
    if (at < 0) return -1;
    return parse_ref_at(data, kw, at + 7);
}

// The length an indirect /Length names: the integer that object `num`
// holds in the file, trusted only when "endstream" follows the data it
// delimits.  -1 otherwise.  The index over the scanned objects is built on
// the first use.
int32_t resolve_indirect_length(const PdfDocument *doc, ObjectIndex *index, bool *built, int32_t num,
                                int32_t start, int32_t limit) {
    const u8 *data = doc->data;
    if (!*built) {
        int32_t max_num = 0;
        for (const ObjectEntry &e : doc->objects) max_num = e.num > max_num ? e.num : max_num;
        index->build(doc->objects, max_num);
        *built = true;
    }
    const int32_t i = index->find(num);
    if (i < 0) return -1;
    int32_t p = skip_ws_comments(data, doc->len, doc->objects[static_cast<size_t>(i)].body_pos);
    const int32_t v = read_int_adv(data, doc->len, &p);
    if (v < 0 || static_cast<int64_t>(start) + v > limit) return -1;
    const int32_t after = skip_ws(data, limit, start + v);
    return kw_at(data, after, limit, "endstream") ? v : -1;
}

// Where the data of a stream whose "stream" keyword is at kw ends, with
// the direct or indirect /Length of its dictionary [b, kw) when that fits
// before limit.  A length of 0 is trusted only when "endstream" follows,
// so that a missing length written as 0 still finds the data.  Else the
// data runs to "endstream" (or limit), end-of-line included, and
// *to_endstream is set.
int32_t stream_data_end(const PdfDocument *doc, ObjectIndex *index, bool *indexed, int32_t b, int32_t kw,
                        int32_t s, int32_t limit, int32_t *to_endstream) {
    const u8 *data = doc->data;
    int32_t v = direct_length(data, b, kw);
    if (v < 0) {
        const int32_t ref = indirect_length_ref(data, b, kw);
        if (ref > 0) v = resolve_indirect_length(doc, index, indexed, ref, s, limit);
    }
    if (v >= 0 && static_cast<int64_t>(s) + v <= limit &&
        (v >= 1 || kw_at(data, skip_ws(data, limit, s), limit, "endstream")))
        return s + v;
    *to_endstream = 1;
    const int32_t es = find_kw(data, limit, s, "endstream");
    return es >= 0 ? es : limit;
}

// Position of "endobj" behind the values that start at p, or -1 when a
// value does not close or another keyword stands first at the top level.
// Cleans what it walks.
int32_t endobj_after(SyntaxCleaner *clean, const u8 *data, int32_t limit, int32_t p) {
    for (int values = 0; values < 4; ++values) {
        p = clean->ws(limit, p);
        if (p >= limit) return -1;
        if (kw_at(data, p, limit, "endobj")) return p;
        p = clean->value(limit, p);
        if (p < 0) return -1;
    }
    p = clean->ws(limit, p);
    return kw_at(data, p, limit, "endobj") ? p : -1;
}

// Finds each scanned object's dictionary, stream data and "endobj", and
// writes the object's text in its plain spelling on the way (comments out,
// names canonical: see syntax.h), so that every later search meets one
// spelling.  Stream data is never touched.  Every search is bounded by the
// next header, so the pass is linear in the file.
void find_boundaries(PdfDocument *doc) {
    const u8 *data = doc->data;
    const int32_t len = doc->len;
    auto &objs = doc->objects;
    SyntaxCleaner clean(owned_bytes(doc));
    ObjectIndex file_index;  // for indirect /Length values
    bool indexed = false;
    for (size_t k = 0; k < objs.size(); ++k) {
        ObjectEntry &e = objs[k];
        const int32_t limit = k + 1 < objs.size() ? objs[k + 1].hdr_pos : len;
        e.limit_pos = limit;
        e.stream_kw_pos = -1;
        if (e.body_pos < limit) e.body_pos = clean.ws(limit, e.body_pos);
        int32_t after = -1;  // behind the first value
        if (e.body_pos < limit) after = clean.value(limit, e.body_pos);
        if (after > 0 && data[e.body_pos] == '<' && data[e.body_pos + 1] == '<') {
            const int32_t kw = clean.ws(limit, after);
            if (kw_at(data, kw, limit, "stream")) {
                e.stream_kw_pos = kw;
                e.has_stream = 1;
                int32_t s = kw + 6;
                if (s < len && data[s] == '\r') {
                    ++s;
                    if (s < len && data[s] == '\n') ++s;
                } else if (s < len && data[s] == '\n') {
                    ++s;
                }
                e.stream_start = s;
                e.stream_end = stream_data_end(doc, &file_index, &indexed, e.body_pos, kw, s, limit,
                                               &e.data_to_endstream);
                if (e.stream_end < e.stream_start) e.stream_end = e.stream_start;
                const int32_t es = skip_ws(data, limit, e.stream_end);
                if (kw_at(data, es, limit, "endstream")) e.endobj_pos = endobj_after(&clean, data, limit, es + 9);
                if (e.endobj_pos < 0) {
                    int64_t from = static_cast<int64_t>(e.stream_end) + 9;
                    if (from > limit) from = limit;
                    e.endobj_pos = find_kw(data, limit, static_cast<int32_t>(from), "endobj");
                }
                if (e.endobj_pos < 0) e.endobj_pos = find_kw(data, limit, e.stream_kw_pos, "endobj");
                continue;
            }
        }
        if (after > 0) e.endobj_pos = endobj_after(&clean, data, limit, after);
        if (e.endobj_pos < 0) e.endobj_pos = find_kw(data, limit, e.body_pos, "endobj");
    }
}

// The /Pages reference of the catalog, or -1.
int32_t pages_root(const PdfDocument *doc, const ObjectEntry &catalog) {
    const TextRange r = doc->catalog_range(catalog);
    if (!r.valid()) return -1;
    const int32_t at = find_name(r.data, r.end, r.begin, r.end, "Pages");
    if (at < 0) return -1;
    return parse_ref_at(r.data, r.end, at + 6);
}

// The /Type of a stream dictionary [b, e) is `type`.
bool stream_type_is(const u8 *data, int32_t b, int32_t e, const char *type) {
    const int32_t at = find_name(data, e, b, e, "Type");
    if (at < 0) return false;
    const int32_t p = skip_ws(data, e, at + 5);
    const auto n = static_cast<int32_t>(std::strlen(type));
    return p < e && data[p] == '/' && p + 1 + n <= e && std::memcmp(data + p + 1, type, static_cast<size_t>(n)) == 0 &&
           (p + 1 + n == e || is_name_delim(data[p + 1 + n]));
}

// Marks each stream whose data is encrypted with the handler and its
// method.  Left alone: the /Encrypt dictionary, cross-reference streams,
// metadata when /EncryptMetadata is false, and streams whose /Crypt filter
// (or the document's /StmF) is the identity.
void mark_encrypted_streams(PdfDocument *doc, const SecurityHandler *h) {
    const u8 *data = doc->data;
    for (ObjectEntry &e : doc->objects) {
        if (!e.has_stream || e.in_objstm || e.body_pos < 0 || e.num == doc->encrypt_obj) continue;
        const int32_t b = e.body_pos, end = e.stream_kw_pos;
        if (end <= b) continue;
        if (stream_type_is(data, b, end, "XRef")) continue;
        if (!h->encrypt_metadata() && stream_type_is(data, b, end, "Metadata")) continue;
        CryptMethod m = h->stream_method();
        if (find_name(data, end, b, end, "Crypt") >= 0) {
            // A /Crypt filter names its crypt filter in /DecodeParms
            // (/Name, the identity when absent).
            std::string name;
            const int32_t at = find_name(data, end, b, end, "Name");
            if (at >= 0) {
                const int32_t p = skip_ws(data, end, at + 5);
                int32_t q = p + 1;
                while (q < end && is_name_byte(data[q])) ++q;
                if (p < end && data[p] == '/') name.assign(reinterpret_cast<const char *>(data + p + 1), static_cast<size_t>(q - p - 1));
            }
            if (!crypt_filter_method(h->params(), name, &m)) m = h->stream_method();
        }
        if (m == CryptMethod::identity) continue;
        e.crypt = h;
        e.crypt_method = static_cast<uint8_t>(m);
    }
}

// Opens the standard security handler of an encrypted document, with the
// empty user password first.  The trailer dictionary whose "<<" is at
// dict_pos names /Encrypt.  Returns 0 with the message stored when the
// document cannot be decrypted.
int open_security(PdfDocument *doc, int32_t dict_pos, int32_t dict_end_pos, const DocLoadOptions &opts,
                  const char *path) {
    const u8 *data = doc->data;
    const int32_t len = doc->len;
    auto unsupported = [&] {
        set_error("encrypted PDFs are not supported: %s", path);
        return 0;
    };
    if (dict_pos < 0 || dict_end_pos > len) return unsupported();
    const int32_t v = dict_lookup(data, dict_end_pos, dict_pos, "Encrypt");
    if (v < 0) return unsupported();
    int32_t enc_begin = -1, enc_end = -1;
    if (data[v] == '<') {
        enc_begin = v;
        enc_end = dict_end_pos;
    } else {
        const int32_t num = parse_ref_at(data, dict_end_pos, v);
        // The latest definition in the file; object streams are not open yet.
        const ObjectEntry *found = nullptr;
        for (const ObjectEntry &e : doc->objects)
            if (e.num == num && (!found || e.def_pos >= found->def_pos)) found = &e;
        if (num <= 0 || !found) return unsupported();
        const TextRange r = doc->catalog_range(*found);
        if (!r.valid()) return unsupported();
        enc_begin = r.begin;
        enc_end = r.end;
        doc->encrypt_obj = num;
    }
    std::string id;
    const int32_t idv = dict_lookup(data, dict_end_pos, dict_pos, "ID");
    if (idv >= 0 && data[idv] == '[') id = string_at(data, dict_end_pos, skip_ws(data, dict_end_pos, idv + 1));
    const EncryptParams params = parse_encrypt_dict(data, enc_begin, enc_end, std::move(id));

    auto handler = std::make_shared<SecurityHandler>();
    SecurityHandler::Open r = handler->open(params, "");
    if (r == SecurityHandler::Open::unsupported) return unsupported();
    if (r != SecurityHandler::Open::ok && opts.password) r = handler->open(params, opts.password);
    if (r != SecurityHandler::Open::ok) {
        if (!opts.options_api) return unsupported();
        set_error(opts.password ? "wrong password: %s" : "password required: %s", path);
        return 0;
    }
    mark_encrypted_streams(doc, handler.get());
    doc->security = std::move(handler);
    doc->encrypted = 0;
    return 1;
}

}  // namespace

TextRange PdfDocument::object_range(const ObjectEntry &e) const {
    if (e.in_objstm) return {e.objstm_data ? e.objstm_data : data, 0, e.objstm_data ? e.objstm_len : 0};
    if (e.body_pos < 0) return {};
    const int32_t end = e.stream_kw_pos >= 1 ? e.stream_kw_pos : e.endobj_pos >= 1 ? e.endobj_pos : e.limit_pos;
    return {data, e.body_pos, end < e.body_pos ? e.body_pos : end};
}

TextRange PdfDocument::catalog_range(const ObjectEntry &e) const {
    if (e.in_objstm) return object_range(e);
    if (e.body_pos < 0) return {};
    // Without "endobj" the text ends at the next header, not at the end of
    // the file, so searching every object stays linear in the file size.
    const int32_t end = e.endobj_pos >= 1 ? e.endobj_pos : e.limit_pos;
    return {data, e.body_pos, end < e.body_pos ? e.body_pos : end};
}

TextRange PdfDocument::full_range(const ObjectEntry &e) const { return catalog_range(e); }

int doc_load_bytes(std::unique_ptr<u8[]> bytes, int32_t len, const char *path, PdfDocument *doc) {
    return doc_load_bytes_ex(std::move(bytes), len, path, DocLoadOptions{}, doc);
}

void FreeBlock::operator()(u8 *p) const noexcept {
    if (map_len)
        ::munmap(p, map_len);
    else
        std::free(p);
}

namespace {

// The loading steps after the file's bytes are in doc->data and doc->len.
int load_in_place(const char *path, const DocLoadOptions &opts, PdfDocument *doc) {
    int32_t crypt_dict = -1, crypt_end = -1;
    scan_objects(doc);
    find_boundaries(doc);
    read_trailer(doc, &crypt_dict, &crypt_end);
    if (doc->encrypted && !open_security(doc, crypt_dict, crypt_end, opts, path)) {
        doc_free(doc);
        return 0;
    }
    expand_object_streams(doc);

    for (const ObjectEntry &e : doc->objects)
        if (e.num > doc->max_obj_num) doc->max_obj_num = e.num;
    doc->index.build(doc->objects, doc->max_obj_num);

    doc->catalog_obj = doc->root_obj;
    if (doc->objects.empty()) return 1;
    if (doc->catalog_obj < 1) {
        for (const ObjectEntry &e : doc->objects) {
            const TextRange r = doc->catalog_range(e);
            if (r.valid() && find_name(r.data, r.end, r.begin, r.end, "Catalog") >= 0) {
                doc->catalog_obj = e.num;
                break;
            }
        }
        if (doc->catalog_obj < 1) return 1;
    }
    const ObjectEntry *catalog = doc->find_object(doc->catalog_obj);
    if (!catalog) return 1;
    const int32_t root = pages_root(doc, *catalog);
    if (root <= 0) return 1;
    ObjectNumberSet visited(doc->max_obj_num, doc->objects.size());
    resolve_pages_rec(doc, root, 0, 0, 612, 792, 0, &visited, 0, -1);
    apply_crop_boxes(doc);
    return 1;
}

}  // namespace

int doc_load_bytes_ex(std::unique_ptr<u8[]> bytes, int32_t len, const char *path, const DocLoadOptions &opts,
                      PdfDocument *doc) {
    *doc = PdfDocument{};
    doc->bytes = std::move(bytes);
    doc->data = doc->bytes.get();
    doc->len = len;
    return load_in_place(path, opts, doc);
}

int doc_load(const char *path, PdfDocument *doc) { return doc_load_ex(path, DocLoadOptions{}, doc); }

int doc_load_ex(const char *path, const DocLoadOptions &opts, PdfDocument *doc) {
    *doc = PdfDocument{};
    if (!path) {
        set_error("NULL path");
        return 0;
    }
    std::unique_ptr<u8, FreeBlock> block;
    int32_t len = 0;
    switch (read_file(path, &block, &len)) {
    case ReadResult::cannot_open:
        set_error("cannot open file: %s", path);
        return 0;
    case ReadResult::empty:
        set_error("empty file: %s", path);
        return 0;
    case ReadResult::read_error:
        set_error("read error: %s", path);
        return 0;
    case ReadResult::ok:
        break;
    }
    doc->file_block = std::move(block);
    doc->data = doc->file_block.get();
    doc->len = len;
    return load_in_place(path, opts, doc);
}

void doc_free(PdfDocument *doc) { *doc = PdfDocument{}; }

}  // namespace morvex
