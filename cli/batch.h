// Batch comparisons: every PDF of two directory trees, paired by relative
// path and compared by worker processes.
#ifndef MORVEX_CLI_BATCH_H
#define MORVEX_CLI_BATCH_H

#include <optional>
#include <string>
#include <vector>

#include "json_reader.h"
#include "junit.h"
#include "report.h"
#include "report_text.h"
#include "review_page.h"

namespace batch {

enum class Format { Summary, Text, Json };

struct Options {
    bool text_only = false;  // morvex_text instead of morvex_compare
    std::string old_dir, new_dir;
    int jobs = 0;              // 0: one per available core
    std::string jsonl_path;    // --jsonl FILE, empty when not asked for
    std::string reports_dir;   // --reports DIR, empty when not asked for
    std::string junit_path;    // --junit FILE, empty when not asked for
    Format format = Format::Summary;
    text::ColorWhen color = text::ColorWhen::Auto;
    std::string options_json = "{}";         // options of each comparison
    std::string visual_options_json = "{}";  // options of each visual report
    // The detail report of a pair that differs, for its review page and
    // JUnit entry: paired as the visual report is, when one is written.
    std::string detail_options_json = "{}";
    review::Layout layout = review::Layout::Overlay;  // of the visual reports
    bool changed_only = false;
};

enum class Status { Identical, Different, Error, OnlyOld, OnlyNew };

// The outcome of one relative path.
struct Entry {
    std::string path;                    // relative to both trees
    Status status = Status::Error;
    std::optional<json::Value> json;     // the library's report, when the comparison ran
    std::optional<report::Report> report;
    std::string error;                   // with Status::Error
    bool visual = false;                 // a visual report was written for it
    std::optional<json::Value> detail;   // the detail report of a pair that differs
    review::Layout layout = review::Layout::Overlay;  // of its visual report
    bool changed_only = false;
    long long report_pdf_pages = 0;      // pages of its visual report, 0 when unknown
    bool review_page = false;            // its review page was written
};

// "identical", "different", "error", "only_old", "only_new": the words of
// the JSON lines.
const char *status_name(Status s);

// The JSON line of an entry (without the line feed):
//   {"path":P,"status":S[,"report":R][,"error":E][,"visual_report":V]}
std::string json_line(const Entry &e, const Options &options);

// The JUnit test case of an entry: passed when identical, failed when
// the pair differs (with the summary and its first differences) or the
// file is on one side only, an error when it could not be compared.
junit::Case junit_case(const Entry &e, const Options &o);

// Writes every entry as JUnit XML to o.junit_path, in a test suite called
// `suite`.  Returns an error message, or "" when written.
std::string write_junit(const Options &o, const std::string &suite, const std::vector<Entry> &entries);

// Runs the whole batch; returns the exit status (0 every pair identical
// and no file on one side only, 1 something differs, 2 something failed).
int run(const Options &options);

}  // namespace batch

#endif
