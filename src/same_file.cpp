#include "same_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

namespace morvex {

namespace {

// Reads the regular file at path, which must hold n bytes, comparing it
// with `same` (n bytes) as it goes.  Returns 1 when every byte matches: no
// copy of the file is kept, so a file compared with itself costs one small
// buffer instead of a second image of the file.  Returns 0 with *out set to
// the file's bytes (followed by a 0 byte) when they differ, and -1 when the
// file is not a regular file of n bytes or cannot be read.
int read_or_match(const char *path, const u8 *same, int32_t n, std::unique_ptr<u8[]> *out) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != n) return -1;
    const auto size = static_cast<size_t>(n);
    // Fills want bytes at dst; false on a read error or an early end.
    auto read_into = [fd](u8 *dst, size_t want) {
        size_t got = 0;
        while (got < want) {
            const ssize_t r = ::read(fd, dst + got, want - got);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            got += static_cast<size_t>(r);
        }
        return true;
    };
    constexpr size_t kChunk = size_t{1} << 20;
    std::unique_ptr<u8[]> chunk(new (std::nothrow) u8[kChunk]);
    if (!chunk) return -1;
    size_t done = 0;
    while (done < size) {
        const size_t want = size - done < kChunk ? size - done : kChunk;
        if (!read_into(chunk.get(), want)) return -1;
        if (std::memcmp(chunk.get(), same + done, want) != 0) {
            // The bytes before this chunk equal `same`: copy them from there
            // and read only the rest.
            std::unique_ptr<u8[]> block(new (std::nothrow) u8[size + 1]);
            if (!block) return -1;
            std::memcpy(block.get(), same, done);
            std::memcpy(block.get() + done, chunk.get(), want);
            if (!read_into(block.get() + done + want, size - done - want)) return -1;
            block[size] = 0;
            *out = std::move(block);
            return 0;
        }
        done += want;
    }
    return 1;
}

}  // namespace

int doc_load_second(const char *path_b, const DocLoadOptions &opts, const PdfDocument &a, PdfDocument *b,
                    bool *shared) {
    *shared = false;
    *b = PdfDocument{};
    struct stat st {};
    if (!path_b || !a.data || a.len < 1 || ::stat(path_b, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != a.len)
        return doc_load_ex(path_b, opts, b);
    std::unique_ptr<u8[]> bytes;
    const int matched = read_or_match(path_b, a.data, a.len, &bytes);
    if (matched < 0) return doc_load_ex(path_b, opts, b);  // which says what went wrong
    if (matched > 0) {
        *shared = true;
        return 1;
    }
    return doc_load_bytes_ex(std::move(bytes), a.len, path_b, opts, b);
}

}  // namespace morvex
