#include "diff.h"

namespace morvex {

void compare_docs_opts(const PdfDocument &a, const PdfDocument &b, const CompareOptions &opts, DiffList *out) {
    (void)opts;
    compare_docs(a, b, out);
}

}  // namespace morvex
