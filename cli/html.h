// The index page of a batch's visual reports.
#ifndef MORVEX_CLI_HTML_H
#define MORVEX_CLI_HTML_H

#include <string>
#include <string_view>
#include <vector>

#include "batch.h"

namespace html {

// &, <, >, " and ' as character references; the text itself first made
// printable (control characters shown as escapes, bad UTF-8 as U+FFFD).
std::string escape(std::string_view text);

// A relative path as a URL path: each byte but letters, digits, "-._~"
// and "/" percent-encoded, so no name can turn into a scheme or a query.
std::string href(std::string_view rel);

// The whole page: every entry with its status, its differences (page and
// kind, and the changed text of text reports) and a relative link to its
// visual report where one was written.
std::string index_page(const batch::Options &o, const std::vector<batch::Entry> &entries,
                       const std::string &summary);

// Writes index_page to REPORTS/index.html (through a temporary file
// renamed over it).  Returns an error message, or "" when written.
std::string write_index(const batch::Options &o, const std::vector<batch::Entry> &entries,
                        const std::string &summary);

}  // namespace html

#endif
