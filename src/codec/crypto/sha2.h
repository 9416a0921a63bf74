// SHA-256, SHA-384 and SHA-512 (FIPS 180-4), for the keys of the standard
// security handler in revisions 5 and 6.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvex::crypto {

class Sha256 {
public:
    Sha256();
    void update(const uint8_t *data, size_t n);
    void final(uint8_t out[32]);

private:
    void block(const uint8_t *p);
    uint32_t h_[8];
    uint64_t total_ = 0;
    uint8_t buf_[64];
    size_t used_ = 0;
};

// SHA-512, or SHA-384 (other initial values, digest cut to 48 bytes).
class Sha512 {
public:
    explicit Sha512(bool sha384 = false);
    void update(const uint8_t *data, size_t n);
    // Writes 64 bytes, or 48 for SHA-384.
    void final(uint8_t *out);

private:
    void block(const uint8_t *p);
    uint64_t h_[8];
    uint64_t total_ = 0;
    uint8_t buf_[128];
    size_t used_ = 0;
    bool sha384_;
};

void sha256(const uint8_t *data, size_t n, uint8_t out[32]);
void sha384(const uint8_t *data, size_t n, uint8_t out[48]);
void sha512(const uint8_t *data, size_t n, uint8_t out[64]);

}  // namespace morvex::crypto
