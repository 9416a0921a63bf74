#include "rc4.h"

namespace morvex::crypto {

Rc4::Rc4(const uint8_t *key, size_t key_len) {
    for (int k = 0; k < 256; ++k) s_[k] = static_cast<uint8_t>(k);
    uint8_t j = 0;
    for (size_t k = 0; k < 256; ++k) {
        j = static_cast<uint8_t>(j + s_[k] + key[k % key_len]);
        const uint8_t t = s_[k];
        s_[k] = s_[j];
        s_[j] = t;
    }
}

void Rc4::apply(const uint8_t *in, uint8_t *out, size_t n) {
    uint8_t i = i_, j = j_;
    for (size_t k = 0; k < n; ++k) {
        i = static_cast<uint8_t>(i + 1);
        const uint8_t si = s_[i];
        j = static_cast<uint8_t>(j + si);
        const uint8_t sj = s_[j];
        s_[i] = sj;
        s_[j] = si;
        out[k] = in[k] ^ s_[static_cast<uint8_t>(si + sj)];
    }
    i_ = i;
    j_ = j;
}

}  // namespace morvex::crypto
