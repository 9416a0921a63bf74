#include "bytebuf.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace morvex {

ByteBuf::~ByteBuf() { std::free(data); }

ByteBuf::ByteBuf(ByteBuf &&other) noexcept
    : data(std::exchange(other.data, nullptr)),
      len(std::exchange(other.len, 0)),
      cap(std::exchange(other.cap, 0)),
      oom(std::exchange(other.oom, false)) {}

ByteBuf &ByteBuf::operator=(ByteBuf &&other) noexcept {
    if (this != &other) {
        std::free(data);
        data = std::exchange(other.data, nullptr);
        len = std::exchange(other.len, 0);
        cap = std::exchange(other.cap, 0);
        oom = std::exchange(other.oom, false);
    }
    return *this;
}

void buf_bytes(ByteBuf *buf, const void *src, size_t n) {
    if (n == 0) return;
    if (!buf->data) {
        buf->data = static_cast<unsigned char *>(std::malloc(kByteBufFirstBlock));
        if (!buf->data) {
            buf->len = buf->cap = 0;
            buf->oom = true;
            return;
        }
        buf->cap = kByteBufFirstBlock;
        buf->len = 0;
        buf->data[0] = 0;
    }
    // len + n + 1 cannot overflow for any n that fits in memory; refuse the
    // absurd rest instead of wrapping.
    if (n > UINT64_MAX / 4 - buf->len) {
        buf_free(buf);
        buf->oom = true;
        return;
    }
    const uint64_t need = buf->len + n + 1;
    uint64_t cap = buf->cap;
    while (cap < need) cap *= 2;
    if (cap != buf->cap) {
        void *grown = cap <= SIZE_MAX ? std::realloc(buf->data, cap) : nullptr;
        if (!grown) {
            buf_free(buf);
            buf->oom = true;
            return;
        }
        buf->data = static_cast<unsigned char *>(grown);
        buf->cap = cap;
    }
    std::memcpy(buf->data + buf->len, src, n);
    buf->len += n;
    buf->data[buf->len] = 0;
}

void buf_reset(ByteBuf *buf) {
    std::free(buf->data);
    buf->oom = false;
    buf->len = 0;
    buf->cap = kByteBufFirstBlock;
    buf->data = static_cast<unsigned char *>(std::malloc(kByteBufFirstBlock));
    if (buf->data) {
        buf->data[0] = 0;
    } else {
        buf->cap = 0;
        buf->oom = true;
    }
}

void buf_int(ByteBuf *buf, int64_t v) {
    char tmp[24];
    const auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
    buf_bytes(buf, tmp, static_cast<size_t>(r.ptr - tmp));
}

void buf_free(ByteBuf *buf) {
    std::free(buf->data);
    buf->data = nullptr;
    buf->len = 0;
    buf->cap = 0;
}

}  // namespace morvex
