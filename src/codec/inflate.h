// Deflate decoder for zlib-wrapped streams (RFC 1950 header, RFC 1951
// blocks) into a caller-supplied buffer of fixed size.
//
// Result policy.  Callers see exactly two outcomes:
//   0  success: the decoded bytes are at the start of `out` and their number
//      is stored in *out_len.  A stream whose data is corrupt also succeeds,
//      with the bytes decoded before the faulty header or code: those bytes
//      are the stream's content.
//  -1  failure: *out_len is 0.  The input ran out before the final block was
//      complete, the output did not fit in `out_cap` bytes, or an entry check
//      failed (fewer than 2 input bytes, `out_cap` above 2^30, a compression
//      method other than 8, a preset dictionary).  `out` may hold bytes
//      written before the failure; they mean nothing.
//
// Only the compression method nibble and the preset-dictionary bit of the
// header are examined (not the window size, not the multiple-of-31 check);
// the Adler-32 trailer and anything after the final block are never read.
//
// No heap allocation: the working state and the code tables of a dynamic
// block live on the stack.  The fixed-code tables are built at compile time,
// so calls on different threads share nothing.
#pragma once

#include <cstddef>

namespace morvex {

// Largest output capacity that a call accepts (1 GiB).
inline constexpr size_t kInflateMaxOutput = size_t{1} << 30;

// Why a call ended.  Each status maps to one return value:
enum class InflateStatus {
    ok,           //  0: the final block was decoded completely
    data_error,   //  0: the stream is corrupt; *out_len counts the bytes
                  //     decoded before the fault
    input_end,    // -1: the input ended before the final block was complete
                  //     (including inputs shorter than the 2-byte header)
    output_full,  // -1: a literal, a copy or a stored block did not fit in
                  //     out_cap; the same input with a larger buffer may
                  //     succeed
    bad_header,   // -1: the header names a method other than Deflate or asks
                  //     for a preset dictionary
    bad_capacity, // -1: out_cap exceeds kInflateMaxOutput; nothing was read
};

// Decodes the zlib stream in[0, in_len) into out[0, out_cap).  Returns 0 or
// -1 as described above and stores the output length through out_len (0 on
// -1).  out_len may be null.
int inflate_decompress(const unsigned char *in, size_t in_len, unsigned char *out, size_t out_cap,
                       size_t *out_len);

// As inflate_decompress, and also stores the reason through status when it
// is not null.  A caller that can afford a larger buffer retries only on
// InflateStatus::output_full; every other -1 is final.
int inflate_decompress_status(const unsigned char *in, size_t in_len, unsigned char *out,
                              size_t out_cap, size_t *out_len, InflateStatus *status);

// Internal geometry of the decoder's lookup tables, shared with the unit test
// that recomputes the worst-case sizes.  Not part of the API.
namespace inflate_tables {

// Index bits of the main literal/length and distance tables.
inline constexpr unsigned kLitRootBits = 10;
inline constexpr unsigned kDistRootBits = 8;

// Entries that the tables of any code a dynamic block may carry can need:
// the main table plus the subtables for codes longer than the index bits
// (up to 286 literal/length or 30 distance symbols, codes of up to 15 bits).
inline constexpr size_t kLitTableEntries = 1336;
inline constexpr size_t kDistTableEntries = 406;

}  // namespace inflate_tables

}  // namespace morvex
