// MD5 (RFC 1321), for the keys of the standard security handler up to
// revision 4.  Not for anything that needs collision resistance.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvex::crypto {

class Md5 {
public:
    Md5();
    void update(const uint8_t *data, size_t n);
    // Writes the 16-byte digest; the object must not be updated afterwards.
    void final(uint8_t out[16]);

private:
    void block(const uint8_t *p);
    uint32_t h_[4];
    uint64_t total_ = 0;  // bytes hashed
    uint8_t buf_[64];
    size_t used_ = 0;
};

void md5(const uint8_t *data, size_t n, uint8_t out[16]);

}  // namespace morvex::crypto
