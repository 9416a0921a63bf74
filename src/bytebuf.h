// ByteBuf: the growable byte buffer behind every text and byte string the
// library builds (JSON reports, decoded streams, page text, the report PDF).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace morvex {

// Invariants: all fields zero is the empty state; whenever data is non-null,
// data[len] == 0 and len + 1 <= cap.  Capacity starts at 4096 and doubles.
// The buffer owns data (malloc/realloc/free).  `oom` is sticky: it records
// that an allocation failed at some point, so a holder can tell a complete
// result from one that lost bytes.
struct ByteBuf {
    unsigned char *data = nullptr;
    uint64_t len = 0;
    uint64_t cap = 0;
    bool oom = false;

    ByteBuf() = default;
    ~ByteBuf();
    ByteBuf(const ByteBuf &) = delete;
    ByteBuf &operator=(const ByteBuf &) = delete;
    ByteBuf(ByteBuf &&other) noexcept;
    ByteBuf &operator=(ByteBuf &&other) noexcept;

    std::string_view view() const {
        return data ? std::string_view(reinterpret_cast<const char *>(data), len)
                    : std::string_view();
    }
    const char *c_str() const { return data ? reinterpret_cast<const char *>(data) : ""; }
};

constexpr uint64_t kByteBufFirstBlock = 4096;

// Appends n bytes.  n == 0 does nothing (an empty buffer stays unallocated).
// When the first block cannot be allocated the bytes are dropped; when
// growth fails the buffer is emptied (its contents discarded) and the bytes
// dropped.  Both set `oom`.
void buf_bytes(ByteBuf *buf, const void *src, size_t n);

// Releases the block and prepares a fresh 4096-byte one holding "".
void buf_reset(ByteBuf *buf);

// Releases the block; the buffer reads as empty afterwards.
void buf_free(ByteBuf *buf);

inline void buf_str(ByteBuf *buf, std::string_view s) { buf_bytes(buf, s.data(), s.size()); }
// Appends a decimal integer ("%ld"), whatever the locale.
void buf_int(ByteBuf *buf, int64_t v);
inline void buf_byte(ByteBuf *buf, unsigned char c) { buf_bytes(buf, &c, 1); }

}  // namespace morvex
