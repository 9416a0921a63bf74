// RC4, the stream cipher of the standard security handler's revisions 2
// to 4.  Encryption and decryption are the same operation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvex::crypto {

class Rc4 {
public:
    // key_len from 1 to 256 bytes.
    Rc4(const uint8_t *key, size_t key_len);
    // out[i] = in[i] ^ keystream; in and out may be the same buffer.
    void apply(const uint8_t *in, uint8_t *out, size_t n);

private:
    uint8_t s_[256];
    uint8_t i_ = 0, j_ = 0;
};

}  // namespace morvex::crypto
