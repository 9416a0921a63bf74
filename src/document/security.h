// The standard security handler: the file key of an encrypted document,
// found with a password, and the decryption of each object's strings and
// streams with its object key.
//
// Revisions 2 to 6: RC4 with 40- to 128-bit keys, crypt filters (/V2,
// /AESV2, /AESV3, /None, /Identity), AES-128-CBC and AES-256-CBC.
// Nothing is decrypted at load time except object streams: stream data is
// decrypted when it is fetched, strings where the visual report copies
// them.  The handler is immutable once opened, so page analysis on several
// threads may share it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "../codec/decode.h"
#include "../scan.h"

namespace morvex {

struct ObjectEntry;

enum class CryptMethod : uint8_t { identity = 0, rc4, aes128, aes256 };

// The parsed /Encrypt dictionary and the trailer's first /ID string.
struct EncryptParams {
    bool standard = false;  // /Filter /Standard
    int v = 0, r = 0;
    int key_bytes = 5;      // file key length for revisions 2 to 4
    std::string o, u, oe, ue;
    int32_t p = 0;
    bool encrypt_metadata = true;
    CryptMethod stm = CryptMethod::rc4, str = CryptMethod::rc4;
    // Named crypt filters of /CF, for per-stream /Crypt filters.
    std::vector<std::pair<std::string, CryptMethod>> filters;
    std::string id;
    bool supported = false;  // the revision, version and methods are ones this handler knows
};

// Position of the value of `key` among the keys of the dictionary whose
// "<<" is at pos (values of other keys and nested dictionaries are not
// searched), or -1.
int32_t dict_lookup(const u8 *data, int32_t end, int32_t pos, std::string_view key);

// The string value (literal or hexadecimal) at p, decoded; empty otherwise.
std::string string_at(const u8 *data, int32_t end, int32_t p);

// Reads the /Encrypt dictionary text [begin, end) of data, with the /ID
// string found in the trailer.
EncryptParams parse_encrypt_dict(const u8 *data, int32_t begin, int32_t end, std::string id);

// A crypt filter method named in /CF (or the standard names), or false.
bool crypt_filter_method(const EncryptParams &params, std::string_view name, CryptMethod *out);

class SecurityHandler {
public:
    enum class Open { ok, wrong_password, unsupported };

    // Tries `password` as the user password, then as the owner password.
    Open open(const EncryptParams &params, std::string_view password);

    CryptMethod stream_method() const { return params_.stm; }
    CryptMethod string_method() const { return params_.str; }
    bool encrypt_metadata() const { return params_.encrypt_metadata; }
    const EncryptParams &params() const { return params_; }
    const std::vector<uint8_t> &file_key() const { return key_; }

    // Decrypts the bytes of one string or stream of object (num, gen).
    // AES data loses its IV and padding; data too short for AES gives
    // nothing.  Returns false only when memory runs out.
    bool decrypt(CryptMethod m, int32_t num, int32_t gen, const u8 *in, size_t n, OwnedBytes *out) const;
    std::string decrypt_string(int32_t num, int32_t gen, std::string_view s) const;

    // The decrypted data of an encrypted stream entry (entry.crypt is this
    // handler).  `raw` and `n` are the stream's bytes in the file.
    bool decrypt_stream(const ObjectEntry &entry, const u8 *raw, size_t n, OwnedBytes *out) const;

private:
    bool try_user(std::string_view pw);
    bool try_owner(std::string_view pw);
    void object_key(CryptMethod m, int32_t num, int32_t gen, uint8_t out[32], size_t *len) const;

    EncryptParams params_;
    std::vector<uint8_t> key_;
};

// Revision 6's password hash (ISO 32000-2, algorithm 2.B); exposed for tests.
void hash_r6(std::string_view password, const uint8_t salt[8], const uint8_t *udata, size_t udata_len,
             uint8_t out[32]);

// A copy of the object text `text` of object (num, gen) in which every
// string is decrypted and written as a hexadecimal string.  With
// new_length >= 0, the value of the outermost dictionary's /Length becomes
// that number (the length of decrypted stream data).
std::string decrypt_object_text(const SecurityHandler *h, int32_t num, int32_t gen, std::string_view text,
                                int64_t new_length);

}  // namespace morvex
