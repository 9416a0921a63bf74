// The morvex command: a thin host of the library's public API.
//
//   morvex compare A.pdf B.pdf          every difference (JSON or text)
//   morvex text A.pdf B.pdf             the text differences (JSON or text)
//   morvex visual A.pdf B.pdf -o R.pdf  a PDF report with the differences marked
//   morvex compare|text --dir OLD NEW   every PDF pair of two trees
//
// Exit status, as for diff and cmp: 0 identical, 1 different, 2 trouble.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "batch.h"
#include "morvex.h"
#include "report.h"
#include "report_text.h"

namespace {

constexpr int kSame = 0, kDifferent = 1, kTrouble = 2;

const char kUsage[] =
    "usage: morvex compare|text [--format=json|text|summary] [--color[=WHEN]] A.pdf B.pdf\n"
    "       morvex compare|text --dir [-j N] [--jsonl FILE] [--reports DIR]\n"
    "                           [--format=summary|text|json] [--color[=WHEN]] OLD NEW\n"
    "       morvex visual [--layout=overlay|side-by-side] [--changed-only] A.pdf B.pdf -o REPORT.pdf\n"
    "       morvex --help | --version\n";

const char kHelp[] =
    "morvex compares PDF files and reports what changed between them.\n"
    "\n"
    "commands:\n"
    "  compare A.pdf B.pdf   every difference, page by page\n"
    "  text A.pdf B.pdf      the text differences (and added or removed pages),\n"
    "                        each with the changed text\n"
    "  visual A.pdf B.pdf -o REPORT.pdf\n"
    "                        write a PDF that shows every page with the\n"
    "                        differences marked in red (written in both the\n"
    "                        identical and the different case)\n"
    "  visual --layout=side-by-side [--changed-only] A.pdf B.pdf -o REPORT.pdf\n"
    "                        a review report instead: a summary page that\n"
    "                        links to every changed page pair, then A's page\n"
    "                        beside B's for each pair, deletions marked on A,\n"
    "                        insertions on B, replacements on both\n"
    "  compare --dir OLD NEW, text --dir OLD NEW\n"
    "                        compare every PDF file (*.pdf, any letter case)\n"
    "                        under OLD with the file of the same relative path\n"
    "                        under NEW, in parallel worker processes; symbolic\n"
    "                        links are followed, link loops skipped\n"
    "\n"
    "options:\n"
    "  --format=FORMAT       for two files: json (default) the report as one\n"
    "                        line of JSON; text one line per difference, the\n"
    "                        changed text indented below, then a summary line;\n"
    "                        summary the summary line only.  With --dir:\n"
    "                        summary (default) one line per file and a summary;\n"
    "                        text adds the differences of each pair; json\n"
    "                        prints the JSON lines described below instead\n"
    "  --color[=WHEN]        colour text output: auto (default; only on a\n"
    "                        terminal and never when NO_COLOR is set), always\n"
    "                        (also --color alone) or never\n"
    "  -o, --output FILE     the report file of visual\n"
    "  --layout=LAYOUT       the visual report's layout: overlay (default, B's\n"
    "                        pages with the differences over them) or\n"
    "                        side-by-side; also for the reports of --reports\n"
    "  --changed-only        side-by-side reports leave identical page pairs out\n"
    "  -j, --jobs N          with --dir: N worker processes (default: one per\n"
    "                        available core)\n"
    "  --jsonl FILE          with --dir: write one JSON line per file to FILE\n"
    "  --reports DIR         with --dir: write a visual report of each pair\n"
    "                        that differs to DIR/RELATIVE/PATH.pdf, and\n"
    "                        DIR/index.html listing every file, its status and\n"
    "                        differences, with links to the reports\n"
    "  -h, --help            show this help\n"
    "  --version             show the version\n"
    "  --                    end of options\n"
    "\n"
    "With --dir, one line per file in path order, then a summary:\n"
    "  identical  a/same.pdf\n"
    "  different  a/b.pdf  (2 differences on 1 of 3 pages)\n"
    "  error      c.pdf  (encrypted PDFs are not supported: NEW/c.pdf)\n"
    "  only-old   d.pdf                 only under OLD\n"
    "  only-new   e.pdf                 only under NEW\n"
    "  3 pairs compared: 1 identical, 1 different, 1 error; 1 only in old, 1 only in new\n"
    "A progress bar is drawn on standard error when it is a terminal.\n"
    "\n"
    "JSON lines (--jsonl FILE, --dir --format=json), one object per file:\n"
    "  path           the relative path\n"
    "  status         identical, different, error, only_old or only_new\n"
    "  report         the library's JSON report, when the comparison ran\n"
    "  error          why the pair failed (status error only)\n"
    "  visual_report  the visual report written for the pair (--reports)\n"
    "\n"
    "exit status: 0 when the documents are identical for that comparison,\n"
    "1 when they differ, 2 on error.  With --dir: 0 only when every pair is\n"
    "identical and no file is on one side only; 1 when a pair differs or a\n"
    "file is on one side only; 2 when any pair failed (a file that cannot be\n"
    "read, a worker that died) or a directory could not be read.  A failed\n"
    "pair is listed with its message and the run goes on.\n";

int usage_error(const std::string &message) {
    std::fprintf(stderr, "morvex: %s\n%s", message.c_str(), kUsage);
    return kTrouble;
}

int report_failure() {
    std::fprintf(stderr, "morvex: %s\n", morvex_last_error());
    return kTrouble;
}

bool write_stdout(const std::string &text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        std::perror("morvex: writing the report");
        return false;
    }
    return true;
}

// Runs one comparison of two files and prints its report.
int run_pair(bool text_only, const char *a, const char *b, batch::Format format, text::ColorWhen color) {
    const char *json = text_only ? morvex_text(a, b) : morvex_compare(a, b);
    if (!json) return report_failure();
    std::string why;
    const std::optional<report::Report> r = report::read(json, &why);
    if (!r) {
        std::fprintf(stderr, "morvex: %s\n", why.c_str());
        return kTrouble;
    }
    const int status = r->identical ? kSame : kDifferent;
    text::Style style;
    style.color = text::use_color(color, STDOUT_FILENO);
    std::string out;
    switch (format) {
    case batch::Format::Json: out = std::string(json) + "\n"; break;
    case batch::Format::Text: out = text::format(*r, style); break;
    case batch::Format::Summary: out = report::summary(*r) + "\n"; break;
    }
    return write_stdout(out) ? status : kTrouble;
}

// Writes the visual report; the exit status tells whether the pair differs.
// Options (a JSON text, empty for none) go to the options functions.
int run_visual(const char *a, const char *b, const char *output, const std::string &options) {
    const char *json = options.empty() ? morvex_compare(a, b) : morvex_compare_opts(a, b, options.c_str());
    if (!json) return report_failure();
    const bool identical = std::strncmp(json, "{\"identical\":true", 17) == 0;
    const int written =
        options.empty() ? morvex_visual(a, b, output) : morvex_visual_opts(a, b, output, options.c_str());
    if (!written) return report_failure();
    return identical ? kSame : kDifferent;
}

struct Args {
    std::string command;
    std::vector<std::string> files;
    std::string output, format, color, jobs, jsonl, reports, layout;
    bool has_output = false, has_format = false, has_color = false, has_jobs = false, has_jsonl = false,
         has_reports = false, has_layout = false, changed_only = false, dir = false;
};

// The options text of the visual report's layout choices ("" for the
// overlay report with no options), or nullopt after a usage error.
std::optional<std::string> layout_options(const Args &a) {
    if (!a.has_layout && !a.changed_only) return std::string();
    if (a.has_layout && a.layout != "overlay" && a.layout != "side-by-side") {
        usage_error("--layout takes overlay or side-by-side, not " + a.layout);
        return std::nullopt;
    }
    const bool side_by_side = a.has_layout && a.layout == "side-by-side";
    if (a.changed_only && !side_by_side) {
        usage_error("--changed-only goes with --layout=side-by-side");
        return std::nullopt;
    }
    if (!side_by_side) return std::string();
    return std::string("{\"layout\":\"side_by_side\"") + (a.changed_only ? ",\"changed_only\":true}" : "}");
}

// Parses everything after the command.  Returns "" or a usage error.
std::string parse_args(const std::vector<std::string> &args, Args &a) {
    struct ValueOption {
        const char *short_name, *long_name;
        std::string *value;
        bool *seen;
    } options[] = {
        {"-o", "--output", &a.output, &a.has_output},  {nullptr, "--format", &a.format, &a.has_format},
        {"-j", "--jobs", &a.jobs, &a.has_jobs},        {nullptr, "--jsonl", &a.jsonl, &a.has_jsonl},
        {nullptr, "--reports", &a.reports, &a.has_reports},  {nullptr, "--layout", &a.layout, &a.has_layout},
    };
    bool options_done = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (options_done || arg.size() < 2 || arg[0] != '-') {
            a.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        if (arg == "--dir") {
            a.dir = true;
            continue;
        }
        if (arg == "--changed-only") {
            a.changed_only = true;
            continue;
        }
        if (arg == "--color" || arg.rfind("--color=", 0) == 0) {
            a.has_color = true;
            a.color = arg == "--color" ? "always" : arg.substr(8);
            continue;
        }
        bool matched = false;
        for (const ValueOption &o : options) {
            const std::string long_eq = std::string(o.long_name) + "=";
            std::string value;
            if ((o.short_name && arg == o.short_name) || arg == o.long_name) {
                if (i + 1 >= args.size()) return arg + " needs a value";
                value = args[++i];
            } else if (arg.rfind(long_eq, 0) == 0) {
                value = arg.substr(long_eq.size());
            } else if (o.short_name && arg.rfind(o.short_name, 0) == 0) {
                value = arg.substr(2);  // -j4
            } else {
                continue;
            }
            *o.value = value;
            *o.seen = true;
            matched = true;
            break;
        }
        if (!matched) return "unknown option: " + arg;
    }
    return {};
}

// Checks the options against the command and runs it.
int dispatch(const Args &a) {
    const bool pair_command = a.command == "compare" || a.command == "text";
    if (a.command != "visual" && !pair_command) return usage_error("unknown command: " + a.command);
    if (a.has_output && a.command != "visual") return usage_error("-o is an option of visual only");
    const std::optional<std::string> visual_options = layout_options(a);
    if (!visual_options) return kTrouble;
    if (a.command == "visual") {
        if (a.dir || a.has_format || a.has_color || a.has_jobs || a.has_jsonl || a.has_reports)
            return usage_error("visual takes no option but -o, --layout and --changed-only");
        if (a.files.size() != 2) return usage_error("visual needs two files");
        if (!a.has_output) return usage_error("visual needs -o REPORT.pdf");
        morvex_init();
        const int status = run_visual(a.files[0].c_str(), a.files[1].c_str(), a.output.c_str(), *visual_options);
        morvex_cleanup();
        return status;
    }
    batch::Options o;
    o.text_only = a.command == "text";
    if (a.has_color && !text::parse_color_when(a.color, o.color))
        return usage_error("--color takes auto, always or never, not " + a.color);
    o.format = a.dir ? batch::Format::Summary : batch::Format::Json;
    if (a.has_format) {
        if (a.format == "json") o.format = batch::Format::Json;
        else if (a.format == "text") o.format = batch::Format::Text;
        else if (a.format == "summary") o.format = batch::Format::Summary;
        else return usage_error("--format takes json, text or summary, not " + a.format);
    }
    if ((a.has_layout || a.changed_only) && !a.has_reports)
        return usage_error("--layout and --changed-only go with visual or --reports");
    if (!a.dir) {
        if (a.has_jobs || a.has_jsonl || a.has_reports)
            return usage_error("-j, --jsonl and --reports go with --dir only");
        if (a.files.size() != 2) return usage_error(a.command + " needs two files");
        morvex_init();
        const int status = run_pair(o.text_only, a.files[0].c_str(), a.files[1].c_str(), o.format, o.color);
        morvex_cleanup();
        return status;
    }
    if (a.files.size() != 2) return usage_error(a.command + " --dir needs two directories");
    o.old_dir = a.files[0];
    o.new_dir = a.files[1];
    if (a.has_jobs) {
        char *end = nullptr;
        const long n = std::strtol(a.jobs.c_str(), &end, 10);
        if (a.jobs.empty() || *end != '\0' || n < 1 || n > 1024)
            return usage_error("-j takes a number of processes from 1 to 1024, not " + a.jobs);
        o.jobs = static_cast<int>(n);
    }
    if (a.has_jsonl && a.jsonl.empty()) return usage_error("--jsonl needs a file name");
    if (a.has_reports && a.reports.empty()) return usage_error("--reports needs a directory name");
    o.jsonl_path = a.jsonl;
    o.reports_dir = a.reports;
    o.visual_options = *visual_options;
    return batch::run(o);
}

}  // namespace

int main(int argc, char **argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usage_error("missing command");
    for (const std::string &a : args) {
        if (a == "--") break;
        if (a == "-h" || a == "--help") {
            std::fputs(kHelp, stdout);
            std::fputs("\n", stdout);
            std::fputs(kUsage, stdout);
            return kSame;
        }
        if (a == "--version") {
            std::printf("morvex %s\n", MORVEX_VERSION_STRING);
            return kSame;
        }
    }
    Args parsed;
    parsed.command = args[0];
    const std::string error = parse_args({args.begin() + 1, args.end()}, parsed);
    if (!error.empty()) return usage_error(error);
    return dispatch(parsed);
}
