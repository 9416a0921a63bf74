#include "library_state.h"

#include <cstdarg>
#include <cstdio>

namespace morvex {

char g_err[kErrSize];
ByteBuf g_json_buf;

void set_error(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(g_err, sizeof g_err, fmt, ap);
    va_end(ap);
}

}  // namespace morvex
