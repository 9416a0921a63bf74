// The stream filter chain and the joined content of a page.
#pragma once

#include <cstdint>
#include <string_view>

#include "../bytebuf.h"
#include "../document/document.h"

namespace morvex {

// Decodes one stream object through the filters its /Filter entry names
// (FlateDecode, LZWDecode, ASCIIHexDecode, ASCII85Decode; other names are
// passed over and leave the data unchanged; decode parameters are not
// read).  `out` must be empty.  Returns 1 with the decoded bytes in `out`,
// 0 when the object has no stream, its data is empty or longer than 2^28
// bytes (then `out` is untouched), or a decoder fails (then `out` is
// initialised and empty).
int decode_stream(const u8 *data, int32_t data_len, const ObjectEntry &entry, ByteBuf *out);

// The decoded content streams of a page, joined with one space between
// them.  `out` is reset first.  Returns 1 when at least one stream was
// decoded.  A /Contents reference to an array object is followed to the
// streams the array lists.  Streams stop being added once the content has
// reached 256 MiB.
int get_page_content(const PdfDocument &doc, const PageEntry &page, ByteBuf *out);

// True when decode_stream gives the same result for the two streams (the
// same bytes, or nothing for both): known from equal filters and equal
// data, or, when one is stored without filters, by decoding the other.
// False when unknown, and for encrypted data.
bool same_decoded_stream(const PdfDocument &a, const ObjectEntry &ea, const PdfDocument &b,
                         const ObjectEntry &eb);

// True when get_page_content gives the same result for both pages, known
// by same_decoded_stream on their streams in turn.
bool same_page_content(const PdfDocument &a, const PageEntry &pa, const PdfDocument &b, const PageEntry &pb);

// The ASCII filters; they never fail: bytes they do not understand are
// ignored, and the data ends at the end marker or at the end of the input.
void ascii_hex_decode(const u8 *in, size_t n, ByteBuf *out);
void ascii85_decode(const u8 *in, size_t n, ByteBuf *out);

}  // namespace morvex
