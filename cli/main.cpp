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
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "batch.h"
#include "compare_flags.h"
#include "pair.h"
#include "morvex.h"
#include "report.h"
#include "report_text.h"

namespace {

constexpr int kSame = 0, kDifferent = 1, kTrouble = 2;

const char kUsage[] =
    "usage: morvex compare|text [--format=json|text|summary] [--color[=WHEN]] [--html FILE]\n"
    "                           [--junit FILE] [OPTIONS] A.pdf B.pdf\n"
    "       morvex compare|text --dir [-j N] [--jsonl FILE] [--reports DIR] [--junit FILE]\n"
    "                           [--format=summary|text|json] [--color[=WHEN]] [OPTIONS] OLD NEW\n"
    "       morvex visual [--layout=overlay|side-by-side] [--changed-only] [OPTIONS]\n"
    "                     A.pdf B.pdf -o REPORT.pdf\n"
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
    "  -j, --jobs N          with --dir: N worker processes (default: one per\n"
    "                        available core)\n"
    "  --jsonl FILE          with --dir: write one JSON line per file to FILE\n"
    "  --reports DIR         with --dir: write a visual report of each pair\n"
    "                        that differs to DIR/RELATIVE/PATH.pdf (laid out\n"
    "                        as --layout says) and its review page beside it\n"
    "                        (DIR/RELATIVE/PATH.pdf.html: every change with\n"
    "                        its words and a link to the report page showing\n"
    "                        it), and DIR/index.html listing every file, its\n"
    "                        status and first differences, with links to both\n"
    "  --html FILE           for two files: write their review page to FILE\n"
    "                        and its visual report beside it (FILE.html ->\n"
    "                        FILE.pdf, laid out as --layout says); the pages\n"
    "                        need nothing but a browser: no script, nothing\n"
    "                        fetched\n"
    "  --junit FILE          write JUnit XML to FILE, one test case per pair:\n"
    "                        passed when identical; failed when the pair\n"
    "                        differs (the summary, then the first differences)\n"
    "                        or a file is on one side only (type only_old or\n"
    "                        only_new); an error when a file cannot be read\n"
    "\n"
    "comparison options (all commands):\n"
    "  --pairing=WAY         content (default; the overlay visual report keeps\n"
    "                        position): pages matched by what they show, so an\n"
    "                        inserted, removed or moved page is reported as\n"
    "                        that; position: page 1 with page 1 and so on\n"
    "  --pages A[:B]         only these pages take part, e.g. 1-3,7,10- (B's\n"
    "                        pages after the colon; the same for both without)\n"
    "  --ignore-rect x0,y0,x1,y1[@PAGES]\n"
    "                        ignore differences wholly inside this rectangle:\n"
    "                        points from the top-left corner of the page as\n"
    "                        displayed, y downward (repeatable)\n"
    "  --ignore-text REGEX   ignore a text change whose old and new words each\n"
    "                        match REGEX in full (repeatable)\n"
    "  --ignore-kinds KINDS  leave these kinds of painted changes out: style\n"
    "                        (words in another font, size or colour), drawing\n"
    "                        (lines, shapes, shadings, placements), image\n"
    "                        (images added, removed, moved or showing other\n"
    "                        pixels), comma separated, e.g. style,drawing\n"
    "  --detail              print the detail JSON: rectangles, word-level\n"
    "                        changes, page sizes\n"
    "  --password P, --password-a P, --password-b P\n"
    "                        the password of encrypted files (both, A, B); a\n"
    "                        password on the command line shows in the\n"
    "                        process list, so prefer:\n"
    "  --password-fd N, --password-env VAR (and -a-, -b- forms)\n"
    "                        read it from file descriptor N (one line) or from\n"
    "                        the environment variable VAR\n"
    "  --threads N           threads of one comparison (1 to 256)\n"
    "  --document=KINDS      what is compared beside the pages: none, all, or\n"
    "                        a list of metadata, metadata_dates (CreationDate,\n"
    "                        ModDate, Producer), outline, links, annotations,\n"
    "                        fields, attachments, page_labels separated by\n"
    "                        commas; by default all but metadata_dates\n"
    "  --layout=LAYOUT       visual and --reports: overlay (default; B's pages\n"
    "                        with the differences over them) or side-by-side\n"
    "                        (a summary linking to every changed page pair,\n"
    "                        then A's page beside B's for each pair)\n"
    "  --changed-only        visual and --reports, side-by-side: leave\n"
    "                        identical pairs out\n"
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

// Writes the visual report; the exit status tells whether the pair differs.
int run_visual(const char *a, const char *b, const char *output, const std::string &options) {
    const char *json = morvex_compare_opts(a, b, options.c_str());
    if (!json) return report_failure();
    const bool identical = std::strncmp(json, "{\"identical\":true", 17) == 0;
    if (!morvex_visual_opts(a, b, output, options.c_str())) return report_failure();
    return identical ? kSame : kDifferent;
}

struct Args {
    std::string command;
    std::vector<std::string> files;
    std::string output, format, color, jobs, jsonl, reports, junit, html;
    bool has_output = false, has_format = false, has_color = false, has_jobs = false, has_jsonl = false,
         has_reports = false, has_junit = false, has_html = false, dir = false;
    flags::CompareFlags compare;
};

// Parses everything after the command.  Returns "" or a usage error.
std::string parse_args(const std::vector<std::string> &args, Args &a) {
    struct ValueOption {
        const char *short_name, *long_name;
        std::string *value;
        bool *seen;
    } options[] = {
        {"-o", "--output", &a.output, &a.has_output},  {nullptr, "--format", &a.format, &a.has_format},
        {"-j", "--jobs", &a.jobs, &a.has_jobs},        {nullptr, "--jsonl", &a.jsonl, &a.has_jsonl},
        {nullptr, "--reports", &a.reports, &a.has_reports},
        {nullptr, "--junit", &a.junit, &a.has_junit},  {nullptr, "--html", &a.html, &a.has_html},
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
        if (arg == "--color" || arg.rfind("--color=", 0) == 0) {
            a.has_color = true;
            a.color = arg == "--color" ? "always" : arg.substr(8);
            continue;
        }
        std::string flag_error;
        if (flags::take(args, i, a.compare, &flag_error)) {
            if (!flag_error.empty()) return flag_error;
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
    if (a.command == "visual") {
        if (a.dir || a.has_format || a.has_color || a.has_jobs || a.has_jsonl || a.has_reports || a.has_junit ||
            a.has_html)
            return usage_error("visual takes no option but -o and the comparison options");
        if (a.compare.detail) return usage_error("--detail is an option of compare and text");
        if (a.files.size() != 2) return usage_error("visual needs two files");
        if (!a.has_output) return usage_error("visual needs -o REPORT.pdf");
        std::string options, why;
        if (!flags::to_json(a.compare, "compare", true, &options, &why)) return usage_error(why);
        morvex_init();
        const int status = run_visual(a.files[0].c_str(), a.files[1].c_str(), a.output.c_str(), options);
        morvex_cleanup();
        return status;
    }
    // The layout of the visual reports --reports writes.
    if (flags::has_visual_only(a.compare) && !a.has_reports && !a.has_html)
        return usage_error("--layout and --changed-only are options of visual, --reports and --html");
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
    // JSON and summary use the report asked for; the text format reads the
    // detail report for its word-level changes.  So do review pages and
    // JUnit files: when no JSON is printed, the one detail report serves
    // them all, and a pair paired alike for both is compared once.
    const bool review = a.has_reports || a.has_html;
    const bool json_shown = o.format == batch::Format::Json || a.has_jsonl;
    const std::string report =
        o.format == batch::Format::Text || ((review || a.has_junit) && !json_shown) ? "detail" : a.command;
    // The worker processes of --dir already keep the cores busy: each
    // comparison runs on one thread unless --threads says otherwise.
    flags::CompareFlags compare = a.compare;
    if (a.dir && compare.threads.empty()) compare.threads = "1";
    std::string why;
    // The detail report of review pages is paired as their visual report.
    if (!flags::to_json(compare, report, false, &o.options_json, &why) ||
        !flags::to_json(compare, "compare", true, &o.visual_options_json, &why) ||
        !flags::to_json(compare, "detail", review, &o.detail_options_json, &why))
        return usage_error(why);
    o.layout = compare.layout == "side-by-side" ? review::Layout::SideBySide : review::Layout::Overlay;
    o.changed_only = compare.changed_only;
    if (a.has_junit && a.junit.empty()) return usage_error("--junit needs a file name");
    o.junit_path = a.junit;
    if (!a.dir) {
        if (a.has_jobs || a.has_jsonl || a.has_reports)
            return usage_error("-j, --jsonl and --reports go with --dir only");
        if (a.has_html && a.html.empty()) return usage_error("--html needs a file name");
        if (a.files.size() != 2) return usage_error(a.command + " needs two files");
        morvex_init();
        const int status = pair::run(o, a.files[0], a.files[1], a.html);
        morvex_cleanup();
        return status;
    }
    if (a.has_html) return usage_error("--html is for two files; with --dir, --reports DIR writes a page per pair");
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
