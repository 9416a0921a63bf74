// Encrypted documents: every revision and method of the standard security
// handler, passwords, crypt filters, and the copies the visual report makes.
#include <algorithm>

#include "codec/filters.h"
#include "document/security.h"
#include "fixture/encrypt.h"
#include "report/copy.h"
#include "test_util.h"

using namespace morvex;
using fixture::Encryption;
using fixture::PdfWriter;
using fixture::XrefKind;

namespace {

const std::string kContent1 = "BT /F1 12 Tf 72 700 Td (first page) Tj ET";
const std::string kContent2 = "BT /F1 12 Tf 72 700 Td (second page) Tj ET";

// Two pages: the first in the file with an encrypted content stream, the
// second inside an encrypted object stream; a font with encrypted
// strings, an image, metadata, and the /Encrypt dictionary as object 30.
std::string encrypted_doc(const Encryption &enc, XrefKind xref = XrefKind::classic) {
    PdfWriter w;
    w.add(1, "<< /Type /Catalog /Pages 2 0 R /Metadata 9 0 R >>");
    w.add(2, "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>");
    w.add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 400] /Contents 4 0 R "
             "/Resources << /Font << /F1 7 0 R >> /XObject << /Im1 8 0 R >> >> >>");
    w.add_stream(4, "", enc.stream(4, 0, kContent1));
    const std::string member = "<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Resources << /Font << /F1 7 0 R >> >> >>";
    const std::string head = "5 0 ";
    w.add_stream(20, "/Type /ObjStm /N 1 /First " + std::to_string(head.size()) + " /Filter /FlateDecode",
                 enc.stream(20, 0, fixture::zlib_compress(head + member)));
    w.add_stream(6, "/Filter /FlateDecode", enc.stream(6, 0, fixture::zlib_compress(kContent2)));
    w.add(7, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Note " + enc.string(7, 0, "a (note)") + " >>");
    w.add_stream(8, "/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceGray /BitsPerComponent 8",
                 enc.stream(8, 0, "\x10\x20\x30\x40"));
    const std::string xmp = "<x:xmpmeta>metadata</x:xmpmeta>";
    w.add_stream(9, "/Type /Metadata /Subtype /XML",
                 enc.encrypt_metadata ? enc.stream(9, 0, xmp) : xmp);
    w.add(30, enc.dict());
    w.set_xref(xref);
    w.set_trailer_extra(enc.trailer(30));
    return w.build();
}

bool load_with(const std::string &pdf, const DocLoadOptions &opts, PdfDocument *doc) {
    std::unique_ptr<u8[]> block(new u8[pdf.size() + 1]);
    std::memcpy(block.get(), pdf.data(), pdf.size());
    block[pdf.size()] = 0;
    return doc_load_bytes_ex(std::move(block), static_cast<int32_t>(pdf.size()), "mem.pdf", opts, doc) == 1;
}

std::string decoded(const PdfDocument &d, int num) {
    const ObjectEntry *e = d.find_object(num);
    if (!e) return "<none>";
    ByteBuf out;
    if (!decode_stream(d.data, d.len, *e, &out)) return "<failed>";
    return std::string(out.view());
}

std::string copied(const PdfDocument &d, int num) {
    ByteBuf out;
    Renumbering table;
    write_copied_object(&out, d, num, 100, table);
    return std::string(out.view());
}

std::vector<Encryption> every_method() {
    std::vector<Encryption> all;
    Encryption e;
    e.revision = 2;
    all.push_back(e);
    e.revision = 3;
    all.push_back(e);
    e.revision = 4;
    e.aes = false;
    all.push_back(e);
    e.aes = true;
    all.push_back(e);
    e.encrypt_metadata = false;
    all.push_back(e);
    e.encrypt_metadata = true;
    e.revision = 6;
    all.push_back(e);
    for (Encryption &x : all) x.setup();
    return all;
}

std::string name_of(const Encryption &e) {
    return "R" + std::to_string(e.revision) + (e.revision == 4 ? (e.aes ? " AES" : " RC4") : "") +
           (e.encrypt_metadata ? "" : " clear metadata");
}

}  // namespace

TEST(Security, EveryRevisionOpensWithTheEmptyUserPassword) {
    for (const Encryption &enc : every_method()) {
        for (XrefKind xref : {XrefKind::classic, XrefKind::stream}) {
            PdfDocument d;
            ASSERT_TRUE(load_with(encrypted_doc(enc, xref), {}, &d)) << name_of(enc) << ": " << g_err;
            ASSERT_NE(d.security, nullptr);
            EXPECT_EQ(d.encrypted, 0);
            ASSERT_EQ(d.page_count(), 2) << name_of(enc);
            EXPECT_EQ(decoded(d, 4), kContent1) << name_of(enc);
            EXPECT_EQ(decoded(d, 6), kContent2) << name_of(enc);
            EXPECT_EQ(decoded(d, 8), "\x10\x20\x30\x40") << name_of(enc);
            EXPECT_EQ(decoded(d, 9), "<x:xmpmeta>metadata</x:xmpmeta>") << name_of(enc);
            // The /Encrypt dictionary itself is never decrypted.
            EXPECT_EQ(d.find_object(30)->crypt, nullptr);
        }
    }
}

TEST(Security, CopiedObjectsAreDecryptedWithTheirTrueLength) {
    for (const Encryption &enc : every_method()) {
        PdfDocument d;
        ASSERT_TRUE(load_with(encrypted_doc(enc), {}, &d)) << name_of(enc);
        // Strings come out decrypted, as hexadecimal strings: "a (note)".
        EXPECT_NE(copied(d, 7).find("/Note <6120286E6F746529>"), std::string::npos) << copied(d, 7);
        EXPECT_NE(copied(d, 7).find("/BaseFont /Helvetica"), std::string::npos);
        const std::string image = copied(d, 8);
        EXPECT_NE(image.find("/Length 4"), std::string::npos) << name_of(enc) << ": " << image;
        EXPECT_NE(image.find("stream\n\x10\x20\x30\x40\nendstream"), std::string::npos) << name_of(enc);
        // An object-stream member is copied as it stands in its decrypted stream.
        EXPECT_NE(copied(d, 5).find("/Contents 6 0 R"), std::string::npos);
    }
}

TEST(Security, PasswordsAndTheirMessages) {
    for (int revision : {2, 3, 4, 6}) {
        Encryption enc;
        enc.revision = revision;
        enc.user = "user secret";
        enc.owner = "owner secret";
        enc.setup();
        const std::string pdf = encrypted_doc(enc);
        struct Case {
            const char *password;
            bool options_api;
            const char *error;  // nullptr: loads
        } cases[] = {
            {nullptr, false, "encrypted PDFs are not supported: mem.pdf"},
            {"user secret", false, nullptr},
            {nullptr, true, "password required: mem.pdf"},
            {"", true, "wrong password: mem.pdf"},
            {"nope", true, "wrong password: mem.pdf"},
            {"user secret", true, nullptr},
            {"owner secret", true, nullptr},
        };
        for (const Case &c : cases) {
            PdfDocument d;
            const bool ok = load_with(pdf, {.password = c.password, .options_api = c.options_api}, &d);
            const std::string what = "R" + std::to_string(revision) + " " + (c.password ? c.password : "(none)");
            if (c.error) {
                EXPECT_FALSE(ok) << what;
                EXPECT_EQ(std::string(g_err), c.error) << what;
                EXPECT_EQ(d.data, nullptr);
            } else {
                ASSERT_TRUE(ok) << what << ": " << g_err;
                EXPECT_EQ(d.page_count(), 2) << what;
                EXPECT_EQ(decoded(d, 4), kContent1) << what;
            }
        }
    }
}

TEST(Security, CryptFiltersLeaveSomeStreamsAndStringsInTheClear) {
    Encryption enc;
    enc.revision = 4;
    enc.strf = "Identity";
    enc.setup();
    PdfWriter w;
    w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.add(3, "<< /Type /Page /Parent 2 0 R /Contents [4 0 R 5 0 R] /Resources << /Font << /F1 7 0 R >> >> >>");
    w.add_stream(4, "", enc.stream(4, 0, "BT (encrypted) Tj ET"));
    // A /Crypt filter naming the identity: this stream is in the clear.
    w.add_stream(5, "/Filter [/Crypt] /DecodeParms [<< /Name /Identity >>]", "BT (clear) Tj ET");
    w.add(7, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Note " + enc.string(7, 0, "plain") + " >>");
    w.add(30, enc.dict());
    w.set_trailer_extra(enc.trailer(30));
    PdfDocument d;
    ASSERT_TRUE(load_with(w.build(), {}, &d)) << g_err;
    EXPECT_EQ(decoded(d, 4), "BT (encrypted) Tj ET");
    EXPECT_EQ(decoded(d, 5), "BT (clear) Tj ET");
    EXPECT_NE(copied(d, 7).find("/Note <706C61696E>"), std::string::npos) << copied(d, 7);

    // /StmF /Identity: no stream is encrypted, strings are.
    Encryption strings_only;
    strings_only.revision = 4;
    strings_only.stmf = "Identity";
    strings_only.setup();
    PdfDocument s;
    ASSERT_TRUE(load_with(encrypted_doc(strings_only), {}, &s)) << g_err;
    EXPECT_EQ(decoded(s, 4), kContent1);
    EXPECT_EQ(s.page_count(), 2);
    EXPECT_NE(copied(s, 7).find("/Note <6120286E6F746529>"), std::string::npos) << copied(s, 7);
}

TEST(Security, HandlersOtherThanTheStandardOneAreRefused) {
    const char *dicts[] = {
        "<< /Filter /Adobe.PubSec /V 4 /R 4 >>",
        ("<< /Filter /Standard /V 4 /R 4 /CF << /StdCF << /CFM /Unknown >> >> /StmF /StdCF /StrF /StdCF "
         "/O <00> /U <00> /P -4 >>"),
        "<< /Filter /Standard /V 9 /R 9 >>",
        "[not a dictionary]",
    };
    for (const char *dict : dicts) {
        for (bool api : {false, true}) {
            PdfWriter w;
            w.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
            w.add(2, "<< /Type /Pages /Kids [] /Count 0 >>");
            w.add(30, dict);
            w.set_trailer_extra("/Encrypt 30 0 R /ID [<00><00>]");
            PdfDocument d;
            EXPECT_FALSE(load_with(w.build(), {.password = "x", .options_api = api}, &d)) << dict;
            EXPECT_EQ(std::string(g_err), "encrypted PDFs are not supported: mem.pdf") << dict;
        }
    }
}

TEST(Security, DictionaryLookupSkipsNestedValues) {
    const std::string dict =
        "<< /CF << /StdCF << /Length 16 /CFM /AESV2 >> >> /O (a\\)b /Length) /Length 128 /Ref 3 0 R /V 4 >>";
    const auto *d = testutil::bytes(dict);
    const int32_t end = testutil::len(dict);
    int32_t p = dict_lookup(d, end, 0, "Length");
    ASSERT_GE(p, 0);
    EXPECT_EQ(dict.substr(static_cast<size_t>(p), 3), "128");
    p = dict_lookup(d, end, 0, "V");
    ASSERT_GE(p, 0);
    EXPECT_EQ(dict[static_cast<size_t>(p)], '4');
    EXPECT_EQ(string_at(d, end, dict_lookup(d, end, 0, "O")), "a)b /Length");
    EXPECT_EQ(dict_lookup(d, end, 0, "CFM"), -1);
}
