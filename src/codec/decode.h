// Decoding with growing output buffers.
//
// The decoders write into a buffer of fixed size.  A valid stream that
// expands more than the first guess allows is decoded again into a buffer
// twice as large, up to kMaxDecodedStream bytes, so well-compressed content
// is never dropped while a decompression bomb still stops at the ceiling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "../bytebuf.h"

namespace morvex {

// Decoded bytes allowed per stream: beyond this a stream counts as
// undecodable.
inline constexpr size_t kMaxDecodedStream = size_t{256} << 20;

// An owned block of bytes with its length.
struct OwnedBytes {
    std::unique_ptr<unsigned char[]> data;
    size_t len = 0;
};

// Inflates a zlib stream, first into first_cap bytes, growing as needed.
// Returns false when the stream cannot be decoded (as inflate_decompress's
// -1) or its output would pass the ceiling; true with the bytes otherwise
// (including the prefix of a corrupt stream).
bool inflate_growing(const unsigned char *in, size_t in_len, size_t first_cap, OwnedBytes *out);

// A block that the growing decoders reuse from call to call, so that
// decoding many streams allocates and faults in its memory once.  Its
// capacity only grows.
struct DecodeScratch {
    std::unique_ptr<unsigned char[]> data;
    size_t cap = 0;
};

// As inflate_growing, into scratch->data: the attempts start at the larger
// of first_cap and the scratch's capacity.  The bytes are at the start of
// the scratch block, *out_len of them; they stay valid until the next call
// with the same scratch.
bool inflate_growing(const unsigned char *in, size_t in_len, size_t first_cap, DecodeScratch *scratch,
                     size_t *out_len);

// As inflate_growing, appending the bytes to `out` in place: nothing is
// copied after decoding.  On false `out` keeps its former bytes (or is
// emptied with `oom` set when memory ran out).
bool inflate_append(const unsigned char *in, size_t in_len, size_t first_cap, ByteBuf *out);

// As inflate_growing, for LZWDecode data.
bool lzw_growing(const unsigned char *in, size_t in_len, size_t first_cap, OwnedBytes *out);

}  // namespace morvex
