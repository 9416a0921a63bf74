// One comparison of two files: its report on standard output, and on
// request its JUnit file and its review page with the visual report.
#ifndef MORVEX_CLI_PAIR_H
#define MORVEX_CLI_PAIR_H

#include <string>

#include "batch.h"

namespace pair {

// Where the visual report of a review page goes: FILE.html -> FILE.pdf,
// any other name gets ".pdf" appended.
std::string report_pdf_path(const std::string &html_path);

// Compares a and b with o's options and prints the report in o.format;
// writes o.junit_path when set, and the review page `html_path` with its
// visual report beside it when not empty.  Returns the exit status: 0
// identical, 1 different, 2 trouble.
int run(const batch::Options &o, const std::string &a, const std::string &b, const std::string &html_path);

}  // namespace pair

#endif
