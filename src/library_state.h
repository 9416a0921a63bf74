// The library's whole memory between calls: the error text and the buffer
// that holds the last JSON report.
#pragma once

#include "bytebuf.h"

namespace morvex {

constexpr int kErrSize = 1024;

// The last error message, "" when none is stored.  At most 1023 characters.
extern char g_err[kErrSize];

// The JSON text of the last successful compare/text call.
extern ByteBuf g_json_buf;

// Formats a message into g_err, cut to 1023 characters.
void set_error(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

inline void clear_error() { g_err[0] = 0; }

}  // namespace morvex
