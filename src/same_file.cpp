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

// The n bytes of the regular file at path (followed by a 0 byte), or null
// when it is not a regular file of n bytes or cannot be read.
std::unique_ptr<u8[]> read_exactly(const char *path, int32_t n) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != n) return nullptr;
    const auto size = static_cast<size_t>(n);
    std::unique_ptr<u8[]> block(new (std::nothrow) u8[size + 1]);
    if (!block) return nullptr;
    size_t got = 0;
    while (got < size) {
        const ssize_t r = ::read(fd, block.get() + got, size - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return nullptr;
        got += static_cast<size_t>(r);
    }
    block[size] = 0;
    return block;
}

}  // namespace

int doc_load_second(const char *path_b, const DocLoadOptions &opts, const PdfDocument &a, PdfDocument *b,
                    bool *shared) {
    *shared = false;
    *b = PdfDocument{};
    struct stat st {};
    if (!path_b || !a.data || a.len < 1 || ::stat(path_b, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != a.len)
        return doc_load_ex(path_b, opts, b);
    std::unique_ptr<u8[]> bytes = read_exactly(path_b, a.len);
    if (!bytes) return doc_load_ex(path_b, opts, b);  // which says what went wrong
    if (std::memcmp(bytes.get(), a.data, static_cast<size_t>(a.len)) == 0) {
        *shared = true;
        return 1;
    }
    return doc_load_bytes_ex(std::move(bytes), a.len, path_b, opts, b);
}

}  // namespace morvex
