// Two paths that hold the same file: B is not loaded again.
#pragma once

#include "document/document.h"

namespace morvex {

// Loads the file at path_b into b as doc_load_ex does, unless it holds
// exactly the bytes document `a` was loaded from: then b stays empty,
// *shared is set and the caller uses `a` for B as well (the caller makes
// sure B would be opened with the same options as A).  Returns 0 on
// failure, with the message doc_load_ex gives.
int doc_load_second(const char *path_b, const DocLoadOptions &opts, const PdfDocument &a, PdfDocument *b,
                    bool *shared);

}  // namespace morvex
