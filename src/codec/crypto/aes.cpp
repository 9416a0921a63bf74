#include "aes.h"

#include <array>
#include <cstring>

namespace morvex::crypto {

namespace {

constexpr uint8_t xtime(uint8_t x) { return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1b : 0)); }

constexpr uint8_t gmul(uint8_t a, uint8_t b) {
    uint8_t r = 0;
    while (b) {
        if (b & 1) r ^= a;
        a = xtime(a);
        b >>= 1;
    }
    return r;
}

struct Tables {
    std::array<uint8_t, 256> s{}, si{};
    std::array<std::array<uint32_t, 256>, 4> te{}, td{};
};

constexpr Tables make_tables() {
    Tables t;
    // Powers and logarithms of the generator 3 give the multiplicative
    // inverses: inv(3^k) = 3^(255-k).
    std::array<uint8_t, 256> pow{}, log{};
    uint8_t g = 1;
    for (int k = 0; k < 255; ++k) {
        pow[static_cast<size_t>(k)] = g;
        log[g] = static_cast<uint8_t>(k);
        g = static_cast<uint8_t>(g ^ xtime(g));
    }
    for (int x = 0; x < 256; ++x) {
        const uint8_t inv = x ? pow[static_cast<size_t>((255 - log[static_cast<size_t>(x)]) % 255)] : 0;
        uint8_t s = inv;
        for (int k = 1; k <= 4; ++k) s ^= static_cast<uint8_t>((inv << k) | (inv >> (8 - k)));
        s ^= 0x63;
        t.s[static_cast<size_t>(x)] = s;
        t.si[s] = static_cast<uint8_t>(x);
    }
    for (int x = 0; x < 256; ++x) {
        const uint8_t s = t.s[static_cast<size_t>(x)];
        const uint32_t e = uint32_t(gmul(s, 2)) << 24 | uint32_t(s) << 16 | uint32_t(s) << 8 | gmul(s, 3);
        const uint8_t v = t.si[static_cast<size_t>(x)];
        const uint32_t d = uint32_t(gmul(v, 14)) << 24 | uint32_t(gmul(v, 9)) << 16 |
                           uint32_t(gmul(v, 13)) << 8 | gmul(v, 11);
        for (int r = 0; r < 4; ++r) {
            t.te[static_cast<size_t>(r)][static_cast<size_t>(x)] = r ? (e >> (8 * r)) | (e << (32 - 8 * r)) : e;
            t.td[static_cast<size_t>(r)][static_cast<size_t>(x)] = r ? (d >> (8 * r)) | (d << (32 - 8 * r)) : d;
        }
    }
    return t;
}

constexpr Tables kT = make_tables();

inline uint32_t load_be(const uint8_t *p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline void store_be(uint8_t *p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
inline uint32_t sub_word(uint32_t w) {
    return uint32_t(kT.s[w >> 24]) << 24 | uint32_t(kT.s[(w >> 16) & 0xff]) << 16 |
           uint32_t(kT.s[(w >> 8) & 0xff]) << 8 | kT.s[w & 0xff];
}

}  // namespace

Aes::Aes(const uint8_t *key, size_t key_len) {
    std::memset(enc_, 0, sizeof enc_);
    std::memset(dec_, 0, sizeof dec_);
    if (key_len != 16 && key_len != 32) return;
    const int nk = static_cast<int>(key_len / 4);
    rounds_ = nk + 6;
    const int total = 4 * (rounds_ + 1);
    for (int i = 0; i < nk; ++i) enc_[i] = load_be(key + 4 * i);
    uint8_t rcon = 1;
    for (int i = nk; i < total; ++i) {
        uint32_t t = enc_[i - 1];
        if (i % nk == 0) {
            t = sub_word((t << 8) | (t >> 24)) ^ (uint32_t(rcon) << 24);
            rcon = xtime(rcon);
        } else if (nk > 6 && i % nk == 4) {
            t = sub_word(t);
        }
        enc_[i] = enc_[i - nk] ^ t;
    }
    // The equivalent inverse cipher: round keys in reverse order, the inner
    // ones passed through InvMixColumns.
    for (int r = 0; r <= rounds_; ++r)
        for (int c = 0; c < 4; ++c) {
            uint32_t w = enc_[4 * (rounds_ - r) + c];
            if (r > 0 && r < rounds_)
                w = kT.td[0][kT.s[w >> 24]] ^ kT.td[1][kT.s[(w >> 16) & 0xff]] ^
                    kT.td[2][kT.s[(w >> 8) & 0xff]] ^ kT.td[3][kT.s[w & 0xff]];
            dec_[4 * r + c] = w;
        }
}

void Aes::encrypt_block(const uint8_t in[16], uint8_t out[16]) const {
    const uint32_t *rk = enc_;
    uint32_t s0 = load_be(in) ^ rk[0], s1 = load_be(in + 4) ^ rk[1], s2 = load_be(in + 8) ^ rk[2],
             s3 = load_be(in + 12) ^ rk[3];
    const auto &te = kT.te;
    for (int r = 1; r < rounds_; ++r) {
        rk += 4;
        const uint32_t t0 = te[0][s0 >> 24] ^ te[1][(s1 >> 16) & 0xff] ^ te[2][(s2 >> 8) & 0xff] ^ te[3][s3 & 0xff] ^ rk[0];
        const uint32_t t1 = te[0][s1 >> 24] ^ te[1][(s2 >> 16) & 0xff] ^ te[2][(s3 >> 8) & 0xff] ^ te[3][s0 & 0xff] ^ rk[1];
        const uint32_t t2 = te[0][s2 >> 24] ^ te[1][(s3 >> 16) & 0xff] ^ te[2][(s0 >> 8) & 0xff] ^ te[3][s1 & 0xff] ^ rk[2];
        const uint32_t t3 = te[0][s3 >> 24] ^ te[1][(s0 >> 16) & 0xff] ^ te[2][(s1 >> 8) & 0xff] ^ te[3][s2 & 0xff] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const auto &s = kT.s;
    auto last = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
        return (uint32_t(s[a >> 24]) << 24 | uint32_t(s[(b >> 16) & 0xff]) << 16 |
                uint32_t(s[(c >> 8) & 0xff]) << 8 | s[d & 0xff]) ^ k;
    };
    store_be(out, last(s0, s1, s2, s3, rk[0]));
    store_be(out + 4, last(s1, s2, s3, s0, rk[1]));
    store_be(out + 8, last(s2, s3, s0, s1, rk[2]));
    store_be(out + 12, last(s3, s0, s1, s2, rk[3]));
}

void Aes::decrypt_block(const uint8_t in[16], uint8_t out[16]) const {
    const uint32_t *rk = dec_;
    uint32_t s0 = load_be(in) ^ rk[0], s1 = load_be(in + 4) ^ rk[1], s2 = load_be(in + 8) ^ rk[2],
             s3 = load_be(in + 12) ^ rk[3];
    const auto &td = kT.td;
    for (int r = 1; r < rounds_; ++r) {
        rk += 4;
        const uint32_t t0 = td[0][s0 >> 24] ^ td[1][(s3 >> 16) & 0xff] ^ td[2][(s2 >> 8) & 0xff] ^ td[3][s1 & 0xff] ^ rk[0];
        const uint32_t t1 = td[0][s1 >> 24] ^ td[1][(s0 >> 16) & 0xff] ^ td[2][(s3 >> 8) & 0xff] ^ td[3][s2 & 0xff] ^ rk[1];
        const uint32_t t2 = td[0][s2 >> 24] ^ td[1][(s1 >> 16) & 0xff] ^ td[2][(s0 >> 8) & 0xff] ^ td[3][s3 & 0xff] ^ rk[2];
        const uint32_t t3 = td[0][s3 >> 24] ^ td[1][(s2 >> 16) & 0xff] ^ td[2][(s1 >> 8) & 0xff] ^ td[3][s0 & 0xff] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const auto &si = kT.si;
    auto last = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
        return (uint32_t(si[a >> 24]) << 24 | uint32_t(si[(b >> 16) & 0xff]) << 16 |
                uint32_t(si[(c >> 8) & 0xff]) << 8 | si[d & 0xff]) ^ k;
    };
    store_be(out, last(s0, s3, s2, s1, rk[0]));
    store_be(out + 4, last(s1, s0, s3, s2, rk[1]));
    store_be(out + 8, last(s2, s1, s0, s3, rk[2]));
    store_be(out + 12, last(s3, s2, s1, s0, rk[3]));
}

void aes_cbc_decrypt(const Aes &aes, const uint8_t iv[16], const uint8_t *in, size_t n, uint8_t *out) {
    uint8_t prev[16], cur[16], plain[16];
    std::memcpy(prev, iv, 16);
    for (size_t off = 0; off + 16 <= n; off += 16) {
        std::memcpy(cur, in + off, 16);  // in may be out
        aes.decrypt_block(cur, plain);
        for (int k = 0; k < 16; ++k) out[off + static_cast<size_t>(k)] = plain[k] ^ prev[k];
        std::memcpy(prev, cur, 16);
    }
}

void aes_cbc_encrypt(const Aes &aes, const uint8_t iv[16], const uint8_t *in, size_t n, uint8_t *out) {
    uint8_t prev[16], block[16];
    std::memcpy(prev, iv, 16);
    for (size_t off = 0; off + 16 <= n; off += 16) {
        for (int k = 0; k < 16; ++k) block[k] = in[off + static_cast<size_t>(k)] ^ prev[k];
        aes.encrypt_block(block, prev);
        std::memcpy(out + off, prev, 16);
    }
}

}  // namespace morvex::crypto
