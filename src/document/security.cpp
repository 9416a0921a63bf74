#include "security.h"

#include <algorithm>
#include <cstring>

#include "../codec/crypto/aes.h"
#include "../codec/crypto/md5.h"
#include "../codec/crypto/rc4.h"
#include "../codec/crypto/sha2.h"
#include "../codec/strings.h"
#include "document.h"

namespace morvex {

namespace {

using crypto::Aes;
using crypto::Md5;
using crypto::Rc4;

constexpr uint8_t kPad[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                              0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                              0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

const uint8_t *bytes_of(std::string_view s) { return reinterpret_cast<const uint8_t *>(s.data()); }

// -- reading the /Encrypt dictionary --

}  // namespace

int32_t dict_lookup(const u8 *d, int32_t end, int32_t pos, std::string_view key) {
    return dict_key_value(d, end, pos, key);
}

namespace {

int64_t int_at(const u8 *d, int32_t end, int32_t p, int64_t fallback) {
    if (p < 0 || p >= end) return fallback;
    bool neg = false;
    if (d[p] == '-' || d[p] == '+') neg = d[p++] == '-';
    int64_t v = 0;
    const int32_t first = p;
    while (p < end && is_digit(d[p]) && v < (int64_t{1} << 40)) v = v * 10 + (d[p++] - '0');
    if (p == first) return fallback;
    return neg ? -v : v;
}

std::string name_at(const u8 *d, int32_t end, int32_t p) {
    if (p < 0 || p >= end || d[p] != '/') return {};
    int32_t q = p + 1;
    while (q < end && is_name_byte(d[q])) ++q;
    return std::string(reinterpret_cast<const char *>(d + p + 1), static_cast<size_t>(q - p - 1));
}

}  // namespace

std::string string_at(const u8 *d, int32_t end, int32_t p) {
    if (p < 0 || p >= end || (d[p] != '(' && d[p] != '<')) return {};
    ByteBuf buf;
    int32_t next = end;
    if (d[p] == '(')
        parse_literal_string2(d, end, p, &buf, &next);
    else
        parse_hex_string(d, end, p, &buf, &next);
    return std::string(buf.view());
}

bool crypt_filter_method(const EncryptParams &params, std::string_view name, CryptMethod *out) {
    if (name == "Identity" || name.empty()) {
        *out = CryptMethod::identity;
        return true;
    }
    for (const auto &[n, m] : params.filters)
        if (n == name) {
            *out = m;
            return true;
        }
    return false;
}

EncryptParams parse_encrypt_dict(const u8 *d, int32_t begin, int32_t end, std::string id) {
    EncryptParams e;
    e.id = std::move(id);
    begin = skip_ws(d, end, begin);
    e.standard = name_at(d, end, dict_lookup(d, end, begin, "Filter")) == "Standard";
    e.v = static_cast<int>(int_at(d, end, dict_lookup(d, end, begin, "V"), 0));
    e.r = static_cast<int>(int_at(d, end, dict_lookup(d, end, begin, "R"), 0));
    const int64_t length = int_at(d, end, dict_lookup(d, end, begin, "Length"), 40);
    // /P is a 32-bit mask, written signed or unsigned.
    e.p = static_cast<int32_t>(static_cast<uint32_t>(int_at(d, end, dict_lookup(d, end, begin, "P"), 0)));
    e.o = string_at(d, end, dict_lookup(d, end, begin, "O"));
    e.u = string_at(d, end, dict_lookup(d, end, begin, "U"));
    e.oe = string_at(d, end, dict_lookup(d, end, begin, "OE"));
    e.ue = string_at(d, end, dict_lookup(d, end, begin, "UE"));
    const int32_t em = dict_lookup(d, end, begin, "EncryptMetadata");
    e.encrypt_metadata = !(em >= 0 && kw_at(d, em, end, "false"));

    bool ok = e.standard && e.r >= 2 && e.r <= 6;
    if (e.v == 1 || e.v == 2 || e.v == 3) {
        e.key_bytes = e.v == 1 ? 5 : static_cast<int>(length / 8);
        ok = ok && e.key_bytes >= 5 && e.key_bytes <= 16 && e.r <= 3;
        e.stm = e.str = CryptMethod::rc4;
    } else if (e.v == 4 || e.v == 5) {
        e.key_bytes = e.v == 5 ? 32 : (length >= 40 && length <= 128 ? static_cast<int>(length / 8) : 16);
        const int32_t cf = dict_lookup(d, end, begin, "CF");
        if (cf >= 0 && d[cf] == '<') {
            // Every named filter of /CF with its method.
            int32_t p = cf + 2;
            while (p < end) {
                p = skip_ws_comments(d, end, p);
                if (p >= end || d[p] != '/') break;
                const std::string fname = name_at(d, end, p);
                const int32_t v = skip_ws_comments(d, end, p + 1 + static_cast<int32_t>(fname.size()));
                const std::string cfm = name_at(d, end, dict_lookup(d, end, v, "CFM"));
                CryptMethod m = CryptMethod::identity;
                bool known = true;
                if (cfm == "V2")
                    m = CryptMethod::rc4;
                else if (cfm == "AESV2")
                    m = CryptMethod::aes128;
                else if (cfm == "AESV3")
                    m = CryptMethod::aes256;
                else if (cfm != "None" && !cfm.empty())
                    known = false;
                if (known) e.filters.emplace_back(fname, m);
                p = skip_value(d, end, v, true);
            }
        }
        auto method_of = [&](const char *key, CryptMethod *m) {
            return crypt_filter_method(e, name_at(d, end, dict_lookup(d, end, begin, key)), m);
        };
        ok = ok && method_of("StmF", &e.stm) && method_of("StrF", &e.str);
        if (e.v == 4) {
            ok = ok && e.r == 4 && e.key_bytes >= 5;
            for (CryptMethod m : {e.stm, e.str}) ok = ok && m != CryptMethod::aes256;
            if (e.stm == CryptMethod::aes128 || e.str == CryptMethod::aes128) e.key_bytes = 16;
        } else {
            ok = ok && (e.r == 5 || e.r == 6);
            for (CryptMethod m : {e.stm, e.str}) ok = ok && (m == CryptMethod::aes256 || m == CryptMethod::identity);
        }
    } else {
        ok = false;
    }
    e.supported = ok;
    return e;
}

// -- keys --

void hash_r6(std::string_view password, const uint8_t salt[8], const uint8_t *udata, size_t udata_len,
             uint8_t out[32]) {
    uint8_t k[64];
    size_t klen = 32;
    {
        crypto::Sha256 h;
        h.update(bytes_of(password), password.size());
        h.update(salt, 8);
        h.update(udata, udata_len);
        h.final(k);
    }
    std::vector<uint8_t> k1, e;
    for (int i = 1;; ++i) {
        const size_t unit = password.size() + klen + udata_len;
        k1.resize(64 * unit);
        for (size_t r = 0; r < 64; ++r) {
            uint8_t *p = k1.data() + r * unit;
            std::memcpy(p, password.data(), password.size());
            std::memcpy(p + password.size(), k, klen);
            if (udata_len) std::memcpy(p + password.size() + klen, udata, udata_len);
        }
        e.resize(k1.size());
        const Aes aes(k, 16);
        crypto::aes_cbc_encrypt(aes, k + 16, k1.data(), k1.size(), e.data());
        unsigned sum = 0;
        for (int j = 0; j < 16; ++j) sum += e[static_cast<size_t>(j)];
        switch (sum % 3) {
        case 0: crypto::sha256(e.data(), e.size(), k); klen = 32; break;
        case 1: crypto::sha384(e.data(), e.size(), k); klen = 48; break;
        default: crypto::sha512(e.data(), e.size(), k); klen = 64; break;
        }
        if (i >= 64 && static_cast<int>(e.back()) <= i - 32) break;
    }
    std::memcpy(out, k, 32);
}

namespace {

// The password padded or cut to 32 bytes.
void pad_password(std::string_view pw, uint8_t out[32]) {
    const size_t n = std::min<size_t>(pw.size(), 32);
    std::memcpy(out, pw.data(), n);
    std::memcpy(out + n, kPad, 32 - n);
}

}  // namespace

bool SecurityHandler::try_user(std::string_view pw) {
    const EncryptParams &e = params_;
    if (e.r >= 5) {
        if (e.u.size() < 48 || e.ue.size() < 32) return false;
        pw = pw.substr(0, 127);
        const uint8_t *u = bytes_of(e.u);
        uint8_t hash[32];
        if (e.r == 5) {
            crypto::Sha256 h;
            h.update(bytes_of(pw), pw.size());
            h.update(u + 32, 8);
            h.final(hash);
        } else {
            hash_r6(pw, u + 32, nullptr, 0, hash);
        }
        if (std::memcmp(hash, u, 32) != 0) return false;
        if (e.r == 5) {
            crypto::Sha256 h;
            h.update(bytes_of(pw), pw.size());
            h.update(u + 40, 8);
            h.final(hash);
        } else {
            hash_r6(pw, u + 40, nullptr, 0, hash);
        }
        const uint8_t iv[16] = {};
        key_.assign(32, 0);
        crypto::aes_cbc_decrypt(Aes(hash, 32), iv, bytes_of(e.ue), 32, key_.data());
        return true;
    }
    if (e.u.size() < 32 || e.o.size() < 32) return false;
    const size_t n = static_cast<size_t>(e.key_bytes);
    uint8_t padded[32], digest[16];
    pad_password(pw, padded);
    Md5 h;
    h.update(padded, 32);
    h.update(bytes_of(e.o), 32);
    const uint8_t p[4] = {uint8_t(e.p), uint8_t(e.p >> 8), uint8_t(e.p >> 16), uint8_t(e.p >> 24)};
    h.update(p, 4);
    h.update(bytes_of(e.id), e.id.size());
    if (e.r >= 4 && !e.encrypt_metadata) {
        const uint8_t ff[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        h.update(ff, 4);
    }
    h.final(digest);
    if (e.r >= 3)
        for (int i = 0; i < 50; ++i) crypto::md5(digest, n, digest);
    std::vector<uint8_t> key(digest, digest + n);

    uint8_t check[32];
    size_t cmp = 32;
    if (e.r == 2) {
        Rc4(key.data(), n).apply(kPad, check, 32);
    } else {
        Md5 m;
        m.update(kPad, 32);
        m.update(bytes_of(e.id), e.id.size());
        m.final(check);
        for (int i = 0; i < 20; ++i) {
            uint8_t k[16];
            for (size_t j = 0; j < n; ++j) k[j] = static_cast<uint8_t>(key[j] ^ i);
            Rc4(k, n).apply(check, check, 16);
        }
        cmp = 16;
    }
    if (std::memcmp(check, e.u.data(), cmp) != 0) return false;
    key_ = std::move(key);
    return true;
}

bool SecurityHandler::try_owner(std::string_view pw) {
    const EncryptParams &e = params_;
    if (e.r >= 5) {
        if (e.o.size() < 48 || e.oe.size() < 32 || e.u.size() < 48) return false;
        pw = pw.substr(0, 127);
        const uint8_t *o = bytes_of(e.o);
        const uint8_t *u = bytes_of(e.u);
        uint8_t hash[32];
        auto owner_hash = [&](const uint8_t *salt) {
            if (e.r == 5) {
                crypto::Sha256 h;
                h.update(bytes_of(pw), pw.size());
                h.update(salt, 8);
                h.update(u, 48);
                h.final(hash);
            } else {
                hash_r6(pw, salt, u, 48, hash);
            }
        };
        owner_hash(o + 32);
        if (std::memcmp(hash, o, 32) != 0) return false;
        owner_hash(o + 40);
        const uint8_t iv[16] = {};
        key_.assign(32, 0);
        crypto::aes_cbc_decrypt(Aes(hash, 32), iv, bytes_of(e.oe), 32, key_.data());
        return true;
    }
    if (e.o.size() < 32) return false;
    const size_t n = static_cast<size_t>(e.key_bytes);
    uint8_t padded[32], digest[16];
    pad_password(pw, padded);
    crypto::md5(padded, 32, digest);
    if (e.r >= 3)
        for (int i = 0; i < 50; ++i) crypto::md5(digest, 16, digest);
    uint8_t user[32];
    std::memcpy(user, e.o.data(), 32);
    if (e.r == 2) {
        Rc4(digest, n).apply(user, user, 32);
    } else {
        for (int i = 19; i >= 0; --i) {
            uint8_t k[16];
            for (size_t j = 0; j < n; ++j) k[j] = static_cast<uint8_t>(digest[j] ^ i);
            Rc4(k, n).apply(user, user, 32);
        }
    }
    return try_user(std::string_view(reinterpret_cast<const char *>(user), 32));
}

SecurityHandler::Open SecurityHandler::open(const EncryptParams &params, std::string_view password) {
    params_ = params;
    key_.clear();
    if (!params_.supported) return Open::unsupported;
    if (try_user(password) || try_owner(password)) return Open::ok;
    return Open::wrong_password;
}

void SecurityHandler::object_key(CryptMethod m, int32_t num, int32_t gen, uint8_t out[32], size_t *len) const {
    if (m == CryptMethod::aes256 || params_.r >= 5) {
        const size_t n = std::min<size_t>(key_.size(), 32);
        std::memcpy(out, key_.data(), n);
        *len = n;
        return;
    }
    Md5 h;
    h.update(key_.data(), key_.size());
    const uint8_t ng[5] = {uint8_t(num), uint8_t(num >> 8), uint8_t(num >> 16), uint8_t(gen), uint8_t(gen >> 8)};
    h.update(ng, 5);
    if (m == CryptMethod::aes128) h.update(reinterpret_cast<const uint8_t *>("sAlT"), 4);
    h.final(out);
    *len = std::min<size_t>(key_.size() + 5, 16);
}

bool SecurityHandler::decrypt(CryptMethod m, int32_t num, int32_t gen, const u8 *in, size_t n,
                              OwnedBytes *out) const {
    *out = {};
    if (m == CryptMethod::identity || key_.empty()) {
        out->data.reset(new (std::nothrow) u8[n ? n : 1]);
        if (!out->data) return false;
        if (n) std::memcpy(out->data.get(), in, n);
        out->len = n;
        return true;
    }
    uint8_t key[32];
    size_t klen = 0;
    object_key(m, num, gen, key, &klen);
    if (m == CryptMethod::rc4) {
        out->data.reset(new (std::nothrow) u8[n ? n : 1]);
        if (!out->data) return false;
        Rc4(key, klen ? klen : 1).apply(in, out->data.get(), n);
        out->len = n;
        return true;
    }
    // AES-CBC: a 16-byte IV, then whole blocks; a short tail is dropped.
    const size_t body = n >= 16 ? (n - 16) / 16 * 16 : 0;
    out->data.reset(new (std::nothrow) u8[body ? body : 1]);
    if (!out->data) return false;
    if (body) crypto::aes_cbc_decrypt(Aes(key, klen), in, in + 16, body, out->data.get());
    size_t len = body;
    // PKCS#5 padding, when it is well formed; otherwise everything is kept.
    if (len) {
        const u8 pad = out->data[len - 1];
        bool good = pad >= 1 && pad <= 16 && pad <= len;
        for (size_t k = 0; good && k < pad; ++k) good = out->data[len - 1 - k] == pad;
        if (good) len -= pad;
    }
    out->len = len;
    return true;
}

std::string SecurityHandler::decrypt_string(int32_t num, int32_t gen, std::string_view s) const {
    OwnedBytes out;
    if (!decrypt(params_.str, num, gen, bytes_of(s), s.size(), &out)) return std::string(s);
    return std::string(reinterpret_cast<const char *>(out.data.get()), out.len);
}

bool SecurityHandler::decrypt_stream(const ObjectEntry &entry, const u8 *raw, size_t n, OwnedBytes *out) const {
    // Data that runs to "endstream" holds the end-of-line before it, which
    // was never encrypted.
    if (entry.data_to_endstream) {
        if (n >= 2 && raw[n - 2] == '\r' && raw[n - 1] == '\n')
            n -= 2;
        else if (n >= 1 && (raw[n - 1] == '\n' || raw[n - 1] == '\r'))
            n -= 1;
    }
    return decrypt(static_cast<CryptMethod>(entry.crypt_method), entry.num, entry.gen, raw, n, out);
}

// -- object text --

std::string decrypt_object_text(const SecurityHandler *h, int32_t num, int32_t gen, std::string_view text,
                                int64_t new_length) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const u8 *d = bytes_of(text);
    const auto end = static_cast<int32_t>(text.size());
    std::string out;
    out.reserve(text.size() + 16);
    int depth = 0;
    int32_t p = 0;
    auto put_string = [&](std::string_view s) {
        const std::string plain = h ? h->decrypt_string(num, gen, s) : std::string(s);
        out += '<';
        for (unsigned char c : plain) {
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        out += '>';
    };
    while (p < end) {
        const u8 c = d[p];
        if (c == '%') {
            const int32_t q0 = p;
            while (p < end && d[p] != '\n' && d[p] != '\r') ++p;
            out.append(text.substr(static_cast<size_t>(q0), static_cast<size_t>(p - q0)));
        } else if (c == '(' || (c == '<' && !(p + 1 < end && d[p + 1] == '<'))) {
            ByteBuf buf;
            int32_t next = end;
            if (c == '(')
                parse_literal_string2(d, end, p, &buf, &next);
            else
                parse_hex_string(d, end, p, &buf, &next);
            put_string(buf.view());
            p = next > p ? next : p + 1;
        } else if (c == '<' || (c == '>' && p + 1 < end && d[p + 1] == '>')) {
            depth += c == '<' ? 1 : -1;
            out.append(text.substr(static_cast<size_t>(p), 2));
            p += 2;
        } else if (c == '/') {
            int32_t q = p + 1;
            while (q < end && is_name_byte(d[q])) ++q;
            out.append(text.substr(static_cast<size_t>(p), static_cast<size_t>(q - p)));
            const bool is_length = new_length >= 0 && depth == 1 && q - p == 7 && std::memcmp(d + p, "/Length", 7) == 0;
            p = q;
            if (is_length) {
                const int32_t v = skip_ws(d, end, p);
                if (v < end && is_digit(d[v])) {
                    out += ' ';
                    out += std::to_string(new_length);
                    p = skip_value(d, end, v, true);
                }
            }
        } else {
            out += static_cast<char>(c);
            ++p;
        }
    }
    return out;
}

}  // namespace morvex
