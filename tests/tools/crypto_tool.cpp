// Runs the library's cryptographic primitives on hexadecimal input, one
// request a line on standard input, one hexadecimal answer a line:
//   md5 DATA | sha256 DATA | sha384 DATA | sha512 DATA
//   rc4 KEY DATA | aes-cbc-encrypt KEY IV DATA | aes-cbc-decrypt KEY IV DATA
//   hash-r6 PASSWORD SALT UDATA
// ("-" stands for empty data).  For the differential test against Python's
// hashlib and a reference AES.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "codec/crypto/aes.h"
#include "codec/crypto/md5.h"
#include "codec/crypto/rc4.h"
#include "codec/crypto/sha2.h"
#include "document/security.h"

using namespace morvex::crypto;

namespace {

std::vector<uint8_t> unhex(const std::string &h) {
    std::vector<uint8_t> v;
    if (h == "-") return v;
    for (size_t i = 0; i + 1 < h.size(); i += 2) v.push_back(static_cast<uint8_t>(std::stoi(h.substr(i, 2), nullptr, 16)));
    return v;
}

void put(const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; ++i) std::printf("%02x", p[i]);
    std::printf("\n");
}

}  // namespace

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string op, a, b, c;
        in >> op >> a >> b >> c;
        const auto x = unhex(a), y = unhex(b), z = unhex(c);
        uint8_t out[64];
        if (op == "md5") {
            md5(x.data(), x.size(), out);
            put(out, 16);
        } else if (op == "sha256") {
            sha256(x.data(), x.size(), out);
            put(out, 32);
        } else if (op == "sha384") {
            sha384(x.data(), x.size(), out);
            put(out, 48);
        } else if (op == "sha512") {
            sha512(x.data(), x.size(), out);
            put(out, 64);
        } else if (op == "rc4") {
            std::vector<uint8_t> r(y.size());
            Rc4(x.data(), x.size()).apply(y.data(), r.data(), y.size());
            put(r.data(), r.size());
        } else if (op == "aes-cbc-encrypt" || op == "aes-cbc-decrypt") {
            std::vector<uint8_t> r(z.size());
            const Aes aes(x.data(), x.size());
            if (op == "aes-cbc-encrypt")
                aes_cbc_encrypt(aes, y.data(), z.data(), z.size(), r.data());
            else
                aes_cbc_decrypt(aes, y.data(), z.data(), z.size(), r.data());
            put(r.data(), r.size());
        } else if (op == "hash-r6") {
            morvex::hash_r6(std::string(x.begin(), x.end()), y.data(), z.data(), z.size(), out);
            put(out, 32);
        } else {
            return 2;
        }
    }
    return 0;
}
