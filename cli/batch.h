// Batch comparisons: every PDF of two directory trees, paired by relative
// path and compared by worker processes.
#ifndef MORVEX_CLI_BATCH_H
#define MORVEX_CLI_BATCH_H

#include <optional>
#include <string>

#include "json_reader.h"
#include "report.h"
#include "report_text.h"

namespace batch {

enum class Format { Summary, Text, Json };

struct Options {
    bool text_only = false;  // morvex_text instead of morvex_compare
    std::string old_dir, new_dir;
    int jobs = 0;              // 0: one per available core
    std::string jsonl_path;    // --jsonl FILE, empty when not asked for
    std::string reports_dir;   // --reports DIR, empty when not asked for
    Format format = Format::Summary;
    text::ColorWhen color = text::ColorWhen::Auto;
    std::string options_json = "{}";         // options of each comparison
    std::string visual_options_json = "{}";  // options of each visual report
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
};

// "identical", "different", "error", "only_old", "only_new": the words of
// the JSON lines.
const char *status_name(Status s);

// The JSON line of an entry (without the line feed):
//   {"path":P,"status":S[,"report":R][,"error":E][,"visual_report":V]}
std::string json_line(const Entry &e, const Options &options);

// Runs the whole batch; returns the exit status (0 every pair identical
// and no file on one side only, 1 something differs, 2 something failed).
int run(const Options &options);

}  // namespace batch

#endif
