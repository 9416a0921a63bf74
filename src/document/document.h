// A loaded PDF file: its bytes, the object table, the decoded object
// streams and the page list.
//
// The loader never trusts cross-reference data: it scans the whole file for
// object headers ("N G obj") and reads each object in place.  Several
// entries may carry the same number (incremental updates); a lookup by
// number finds the definition that stands latest in the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "../scan.h"

namespace morvex {

class SecurityHandler;

// One object.  File objects come first in the table, in header order; the
// objects unpacked from object streams follow.
struct ObjectEntry {
    int32_t num = 0;            // object number, at least 1
    int32_t gen = 0;            // generation (0 inside object streams)
    int32_t hdr_pos = 0;        // first digit of the object number
    int32_t body_pos = 0;       // first non-whitespace byte after "obj", or len
    int32_t stream_kw_pos = -1; // "stream" keyword after the dictionary, or -1
    int32_t stream_start = 0;   // first byte of the stream data
    int32_t stream_end = 0;     // one past the last byte of the stream data
    int32_t endobj_pos = -1;    // "endobj" keyword, or -1
    int32_t has_stream = 0;
    // 1 when no usable direct /Length was found and the data runs up to the
    // "endstream" keyword (or the next header), end-of-line included.
    int32_t data_to_endstream = 0;
    int32_t in_objstm = 0;
    const u8 *objstm_data = nullptr;  // object text inside a decoded object stream (not owned)
    int32_t objstm_len = 0;
    // Where this definition stands in the file: hdr_pos for a file object,
    // the containing object stream's hdr_pos for an object-stream member.
    // The latest definition of a number is the one lookups find.
    int32_t def_pos = 0;
    // The next object header in the file (or the file's end): where the text
    // of an object without "endobj" ends.
    int32_t limit_pos = 0;
    // Set on a stream of an encrypted document whose data is encrypted:
    // the handler that decrypts it, and how (a CryptMethod).  Null for
    // every object of a document that is not encrypted.
    const SecurityHandler *crypt = nullptr;
    uint8_t crypt_method = 0;
};

// One page, in page-tree order.
struct PageEntry {
    int32_t obj_num = 0;
    // The box a viewer shows: the media box, or the part of the crop box
    // inside it when the page (or an ancestor) has one (cropped set).
    double box_x = 0, box_y = 0, box_w = 612, box_h = 792;
    bool cropped = false;
    int32_t rotate = 0;                                      // 0..359
    std::vector<int32_t> contents;                           // content stream numbers, at most 64
    // Object number of the node whose /Resources the page uses: the page
    // itself, or its nearest ancestor that has a /Resources entry; -1 when
    // neither has one.
    int32_t resources_obj = -1;
};

// A byte range of the document in which an object's keys are searched.
struct TextRange {
    const u8 *data = nullptr;
    int32_t begin = 0;  // first byte (keys are searched from here)
    int32_t end = 0;    // exclusive limit
    bool valid() const { return data != nullptr; }
};

// Maps object numbers to the table entry that defines them.  Dense when
// the numbers are compact, sorted pairs otherwise, so a hostile
// "2000000000 0 obj" costs nothing.
class ObjectIndex {
public:
    void build(const std::vector<ObjectEntry> &objects, int32_t max_num);
    // Index into the table, or -1.
    int32_t find(int32_t num) const;
    void clear();

private:
    std::vector<int32_t> dense_;                       // num -> entry index, -1 when none
    std::vector<std::pair<int32_t, int32_t>> sparse_;  // sorted (num, entry index)
    bool is_dense_ = true;
};

// A set of object numbers with the same dense/sparse trade-off, for the
// visited marks of graph walks.
class ObjectNumberSet {
public:
    explicit ObjectNumberSet(int32_t max_num, size_t expected);
    // Inserts num; false when it was already there.
    bool insert(int32_t num);
    bool contains(int32_t num) const;

private:
    std::vector<uint8_t> dense_;
    std::unordered_set<int32_t> sparse_;
    bool is_dense_ = true;
};

// Releases a block of the file reader: unmaps it when map_len is not 0,
// else frees it.
struct FreeBlock {
    size_t map_len = 0;
    void operator()(u8 *p) const noexcept;
};

struct PdfDocument {
    // The whole file followed by one 0 byte, in one of the two blocks: as
    // the file reader allocated it, or as a caller of doc_load_bytes gave it.
    std::unique_ptr<u8, FreeBlock> file_block;
    std::unique_ptr<u8[]> bytes;
    const u8 *data = nullptr;
    int32_t len = 0;
    std::vector<ObjectEntry> objects;
    std::vector<PageEntry> pages;
    int32_t root_obj = -1;
    int32_t encrypted = 0;
    std::vector<std::unique_ptr<u8[]>> objstm_bufs;  // decoded object streams
    int32_t max_obj_num = 0;
    int32_t catalog_obj = 0;
    ObjectIndex index;
    // The standard security handler of an encrypted document, opened with
    // a password that works; null when the document is not encrypted.
    std::shared_ptr<const SecurityHandler> security;
    int32_t encrypt_obj = 0;  // the /Encrypt dictionary's object number, 0 when direct
    // Page analysis keeps the font objects it built here, so that a font
    // used on every page is read once (see page/fonts.cpp).
    mutable std::shared_ptr<void> font_cache;
    // Likewise what is known of its images (see page/image_identity.cpp).
    mutable std::shared_ptr<void> image_cache;
    // Painted elements keep the identities of the font programs they read
    // here, so a program is decoded once per document (see page/paint.cpp).
    mutable std::shared_ptr<void> paint_cache;

    int32_t page_count() const { return static_cast<int32_t>(pages.size()); }
    int32_t object_count() const { return static_cast<int32_t>(objects.size()); }

    // The latest definition of `num`, or null.
    const ObjectEntry *find_object(int32_t num) const {
        const int32_t i = index.find(num);
        return i < 0 ? nullptr : &objects[static_cast<size_t>(i)];
    }

    // Where an entry's keys are searched: its own text for an object-stream
    // member; else from body_pos to the stream keyword, or to endobj, or to
    // the next object header.  Invalid for a file entry with negative body_pos.
    TextRange object_range(const ObjectEntry &e) const;
    // As object_range, ignoring the stream keyword.
    TextRange catalog_range(const ObjectEntry &e) const;
    // From body_pos to endobj (or the end of the file): the whole object text.
    TextRange full_range(const ObjectEntry &e) const;
};

// Loads the file at path.  Returns 1 on success (even with no objects or no
// pages); 0 on failure with the message in g_err and the record empty.
int doc_load(const char *path, PdfDocument *doc);

// How the options functions load a file.  `password` is tried as the user
// and as the owner password of an encrypted file (null: the empty password
// only).  With `options_api`, an encrypted file that the password does not
// open fails with "password required: PATH" or "wrong password: PATH"
// instead of "encrypted PDFs are not supported: PATH".
struct DocLoadOptions {
    const char *password = nullptr;
    bool options_api = false;
};

// doc_load with those choices; doc_load(path, doc) is doc_load_ex with the
// defaults.
int doc_load_ex(const char *path, const DocLoadOptions &opts, PdfDocument *doc);

// Narrows each page's box to its /CropBox (inherited like /MediaBox),
// clipped to the media box.
void apply_crop_boxes(PdfDocument *doc);

// Releases everything the document owns; the record reads as empty after.
void doc_free(PdfDocument *doc);

// Loads from bytes already in memory (the file reading step skipped).
// Takes ownership of `bytes`, which holds len bytes followed by a 0 byte.
int doc_load_bytes(std::unique_ptr<u8[]> bytes, int32_t len, const char *path,
                   PdfDocument *doc);
int doc_load_bytes_ex(std::unique_ptr<u8[]> bytes, int32_t len, const char *path,
                      const DocLoadOptions &opts, PdfDocument *doc);

// Unpacks the objects held in object streams and appends them to the table.
void expand_object_streams(PdfDocument *doc);

// Visits page-tree node obj_num with the media box, rotation and resources
// owner inherited from its ancestors, and appends the pages it holds.
// Nodes already in `visited` and nodes deeper than 64 levels are skipped.
void resolve_pages_rec(PdfDocument *doc, int32_t obj_num, double box_x, double box_y,
                       double box_w, double box_h, int32_t rotate, ObjectNumberSet *visited,
                       int32_t depth, int32_t resources_obj);

}  // namespace morvex
