// Reading the options text of morvex_compare_opts and morvex_visual_opts.
#pragma once

#include <string>
#include <string_view>

#include "options.h"

namespace morvex {

// Fills out from a JSON object text.  Returns false with a message that
// names the key (or the byte offset of a syntax error), such as
//   options: "pairing" must be "position" or "content"
// An unknown key, a key given twice, a value of the wrong type or range
// and an ignore_text pattern that does not compile are all refused.
bool read_options(std::string_view text, CompareOptions *out, std::string *error);

// Reads a page range list such as "1-3,7,10-" (1-based, spaces allowed
// around numbers).  False when it is empty or malformed.
bool parse_page_ranges(std::string_view text, PageRanges *out);

}  // namespace morvex
