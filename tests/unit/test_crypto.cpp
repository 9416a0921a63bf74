// The cryptographic primitives against the published known-answer vectors
// of their standards (RFC 1321, FIPS 180-4, FIPS 197, SP 800-38A, RC4).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/crypto/aes.h"
#include "codec/crypto/md5.h"
#include "codec/crypto/rc4.h"
#include "codec/crypto/sha2.h"

using namespace morvex::crypto;

namespace {

std::vector<uint8_t> unhex(const std::string &h) {
    std::vector<uint8_t> v;
    for (size_t i = 0; i + 1 < h.size(); i += 2) v.push_back(static_cast<uint8_t>(std::stoi(h.substr(i, 2), nullptr, 16)));
    return v;
}
std::string hex(const uint8_t *p, size_t n) {
    static const char *d = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += d[p[i] >> 4];
        s += d[p[i] & 15];
    }
    return s;
}
const uint8_t *u(const std::string &s) { return reinterpret_cast<const uint8_t *>(s.data()); }

const std::string kTwoBlock384 =
    "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu";

}  // namespace

TEST(Crypto, Md5KnownAnswers) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto &[in, want] : cases) {
        uint8_t out[16];
        md5(u(in), in.size(), out);
        EXPECT_EQ(hex(out, 16), want) << in;
        // Fed byte by byte, the digest is the same.
        Md5 h;
        for (char c : in) h.update(reinterpret_cast<const uint8_t *>(&c), 1);
        h.final(out);
        EXPECT_EQ(hex(out, 16), want) << in;
    }
}

TEST(Crypto, Sha2KnownAnswers) {
    struct Case {
        int bits;
        std::string in, want;
    } cases[] = {
        {256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {256, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {384, "abc",
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
        {384, kTwoBlock384,
         "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa91746039"},
        {512, "abc",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
         "454d4423643ce80e2a9ac94fa54ca49f"},
        {512, kTwoBlock384,
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433a"
         "c7d329eeb6dd26545e96e55b874be909"},
    };
    for (const Case &c : cases) {
        uint8_t out[64];
        if (c.bits == 256) sha256(u(c.in), c.in.size(), out);
        if (c.bits == 384) sha384(u(c.in), c.in.size(), out);
        if (c.bits == 512) sha512(u(c.in), c.in.size(), out);
        EXPECT_EQ(hex(out, static_cast<size_t>(c.bits / 8)), c.want) << c.bits << " " << c.in;
    }
    // One million 'a' (FIPS 180-4 examples), in uneven pieces.
    const std::string chunk(1001, 'a');
    Sha256 h256;
    Sha512 h512;
    for (int i = 0; i < 1000; ++i) {
        h256.update(u(chunk), i % 2 ? 999 : 1001);
        h512.update(u(chunk), 1000);
    }
    uint8_t out[64];
    h256.final(out);
    EXPECT_EQ(hex(out, 32), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    h512.final(out);
    EXPECT_EQ(hex(out, 64),
              "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31b"
              "eb009c5c2c49aa2e4eadb217ad8cc09b");
}

TEST(Crypto, Rc4KnownAnswers) {
    struct Case {
        std::string key, plain, want;
    } cases[] = {
        {"Key", "Plaintext", "bbf316e8d940af0ad3"},
        {"Wiki", "pedia", "1021bf0420"},
        {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
        // RFC 6229, 40-bit key 0x0102030405, keystream bytes 0-15.
        {std::string("\x01\x02\x03\x04\x05", 5), std::string(16, '\0'), "b2396305f03dc027ccc3524a0a1118a8"},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> out(c.plain.size());
        Rc4 rc4(u(c.key), c.key.size());
        // In two pieces: the keystream continues across calls.
        const size_t half = c.plain.size() / 2;
        rc4.apply(u(c.plain), out.data(), half);
        rc4.apply(u(c.plain) + half, out.data() + half, c.plain.size() - half);
        EXPECT_EQ(hex(out.data(), out.size()), c.want) << c.plain;
    }
}

TEST(Crypto, AesKnownAnswers) {
    // FIPS 197 appendix C.1 and C.3.
    const auto pt = unhex("00112233445566778899aabbccddeeff");
    struct Block {
        std::string key, ct;
    } blocks[] = {
        {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "8ea2b7ca516745bfeafc49904b496089"},
    };
    for (const Block &b : blocks) {
        const auto key = unhex(b.key);
        const Aes aes(key.data(), key.size());
        uint8_t out[16], back[16];
        aes.encrypt_block(pt.data(), out);
        EXPECT_EQ(hex(out, 16), b.ct);
        aes.decrypt_block(out, back);
        EXPECT_EQ(hex(back, 16), hex(pt.data(), 16));
    }
    // SP 800-38A F.2.1 to F.2.6: CBC with AES-128 and AES-256.
    const auto iv = unhex("000102030405060708090a0b0c0d0e0f");
    const auto plain = unhex(
        "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e5130c81c46a35ce411e5fbc1191a0a52ef"
        "f69f2445df4f9b17ad2b417be66c3710");
    const Block cbc[] = {
        {"2b7e151628aed2a6abf7158809cf4f3c",
         "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b273bed6b8e3c1743b7116e69e22229516"
         "3ff1caa1681fac09120eca307586e1a7"},
        {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
         "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d39f23369a9d9bacfa530e26304231461"
         "b2eb05e2c39be9fcda6c19078c6a9d1b"},
    };
    for (const Block &b : cbc) {
        const auto key = unhex(b.key);
        const Aes aes(key.data(), key.size());
        std::vector<uint8_t> out(plain.size());
        aes_cbc_encrypt(aes, iv.data(), plain.data(), plain.size(), out.data());
        EXPECT_EQ(hex(out.data(), out.size()), b.ct);
        // Decryption in place.
        aes_cbc_decrypt(aes, iv.data(), out.data(), out.size(), out.data());
        EXPECT_EQ(out, plain);
    }
}
