// The HTML pages of a batch's reports: the index of every file, and what
// the pages share (their style, escaping, links).
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

// The start of a page up to and including <body>: the style every page
// shares, inline, so a page works from the file system and fetches nothing.
std::string page_head(std::string_view title);

// Where the review page of a pair goes: its visual report's path + ".html".
std::string review_page_path(const std::string &rel);

// The whole index: the counts, a switch that hides identical files, and
// every entry with its status, its first differences (with their words)
// and links to its review page and visual report where they were written.
std::string index_page(const batch::Options &o, const std::vector<batch::Entry> &entries,
                       const std::string &summary);

// Writes index_page to REPORTS/index.html (through a temporary file
// renamed over it).  Returns an error message, or "" when written.
std::string write_index(const batch::Options &o, const std::vector<batch::Entry> &entries,
                        const std::string &summary);

}  // namespace html

#endif
