// LZW decoder for the LZWDecode filter with its default parameters: codes
// of 9 to 12 bits, most significant bit first, the width growing one code
// early (EarlyChange 1), code 256 clearing the table and 257 ending the data.
//
// Returns 0 on success, with the decoded bytes at the start of dst and their
// number stored through out_len (when it is not null).  Decoding succeeds
// when the input ends (a trailing partial code is ignored), at the
// end-of-data code (later bytes are ignored), and at a code outside the
// scheme: one above the next free code, or equal to it with no previous code
// since the last clear; the bytes decoded before it are the result.
// Returns -1 when the output would exceed dst_cap; out_len is then left
// untouched and dst holds bytes that mean nothing.
//
// Once the table is full (4096 entries) and no clear code comes, decoding
// goes on with 12-bit codes and adds no entries.  No heap allocation and no
// static state: the table lives on the call's stack.
#pragma once

#include <cstddef>

namespace morvex {

int lzw_decompress(const unsigned char *src, size_t src_len, unsigned char *dst, size_t dst_cap,
                   size_t *out_len);

}  // namespace morvex
