// AES (FIPS 197) with 128- and 256-bit keys, and the CBC mode (SP 800-38A)
// the standard security handler uses.  Table-driven: four 1 KiB tables per
// direction, built at compile time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvex::crypto {

class Aes {
public:
    // key_len is 16 or 32 (anything else keys nothing: blocks come out as
    // they went in XOR nothing, callers check key lengths first).
    Aes(const uint8_t *key, size_t key_len);
    void encrypt_block(const uint8_t in[16], uint8_t out[16]) const;
    void decrypt_block(const uint8_t in[16], uint8_t out[16]) const;

private:
    uint32_t enc_[60];
    uint32_t dec_[60];
    int rounds_ = 0;
};

// CBC decryption of n bytes (a multiple of 16) into out (n bytes, may be
// the same buffer as in).
void aes_cbc_decrypt(const Aes &aes, const uint8_t iv[16], const uint8_t *in, size_t n, uint8_t *out);
// CBC encryption without padding, n a multiple of 16.
void aes_cbc_encrypt(const Aes &aes, const uint8_t iv[16], const uint8_t *in, size_t n, uint8_t *out);

}  // namespace morvex::crypto
