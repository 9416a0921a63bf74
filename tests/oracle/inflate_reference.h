// The reference Deflate decoder (see inflate_reference.cpp): the same
// contract, result policy and InflateStatus as codec/inflate.h, decoded one
// code bit at a time.  Test code only.
#pragma once

#include <cstddef>

#include "codec/inflate.h"

namespace morvex_ref {

int inflate_decompress(const unsigned char *in, size_t in_len, unsigned char *out, size_t out_cap,
                       size_t *out_len);

int inflate_decompress_status(const unsigned char *in, size_t in_len, unsigned char *out,
                              size_t out_cap, size_t *out_len, morvex::InflateStatus *status);

}  // namespace morvex_ref
