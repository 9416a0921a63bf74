// Results as JUnit XML, the test report format CI servers (Jenkins,
// GitLab, and GitHub through common actions) show: one test case per file
// pair.
#ifndef MORVEX_CLI_JUNIT_H
#define MORVEX_CLI_JUNIT_H

#include <string>
#include <string_view>
#include <vector>

#include "report.h"

namespace junit {

enum class Outcome { Passed, Failed, Error };

struct Case {
    std::string name;     // the file pair: its relative path, or B's path
    Outcome outcome = Outcome::Passed;
    std::string type;     // of a failure or error: "different", "only_old", "only_new", "error"
    std::string message;  // one line: the summary or the error message
    std::string details;  // the text of a failure, lines separated by line feeds
};

// Text for XML 1.0 character data and attribute values: &, <, >, " and '
// as references; characters XML cannot hold at all (control characters
// but tab and line feed, U+FFFE, U+FFFF) shown as escapes as the command
// shows them; bytes that are not UTF-8 as U+FFFD.
std::string escape(std::string_view text);

// The details of a pair that differs: its first differences as the text
// format shows them (the word changes of the detail report when there is
// one), then how many more there are.
std::string details(const report::Report &r, std::size_t max_differences = 10);

// The whole document: <testsuites> with one <testsuite> called `suite`
// and `classname` on every case.  No times are written, so the same
// results give the same bytes.
std::string document(std::string_view suite, std::string_view classname, const std::vector<Case> &cases);

}  // namespace junit

#endif
