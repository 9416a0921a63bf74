// The morvex command: a thin host of the library's public API.
//
//   morvex compare A.pdf B.pdf          JSON list of every difference
//   morvex text A.pdf B.pdf             JSON text differences
//   morvex visual A.pdf B.pdf -o R.pdf  a PDF report with the differences marked
//
// Exit status, as for diff and cmp: 0 identical, 1 different, 2 trouble.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "morvex.h"

namespace {

constexpr int kSame = 0, kDifferent = 1, kTrouble = 2;

const char kUsage[] =
    "usage: morvex compare A.pdf B.pdf\n"
    "       morvex text A.pdf B.pdf\n"
    "       morvex visual A.pdf B.pdf -o REPORT.pdf\n"
    "       morvex --help | --version\n";

const char kHelp[] =
    "morvex compares two PDF files and reports what changed between them.\n"
    "\n"
    "commands:\n"
    "  compare A.pdf B.pdf   print every difference, page by page, as JSON\n"
    "  text A.pdf B.pdf      print the text differences (and added or removed\n"
    "                        pages) as JSON, each with the changed text\n"
    "  visual A.pdf B.pdf -o REPORT.pdf\n"
    "                        write a PDF that shows every page with the\n"
    "                        differences marked in red (written in both the\n"
    "                        identical and the different case)\n"
    "\n"
    "options:\n"
    "  -o, --output FILE     the report file of visual\n"
    "  -h, --help            show this help\n"
    "  --version             show the version\n"
    "\n"
    "exit status: 0 when the documents are identical for that comparison,\n"
    "1 when they differ, 2 on error.\n";

int usage_error(const char *fmt, const char *arg = nullptr) {
    std::fputs("morvex: ", stderr);
    std::fprintf(stderr, fmt, arg);
    std::fputs("\n", stderr);
    std::fputs(kUsage, stderr);
    return kTrouble;
}

int report_failure() {
    std::fprintf(stderr, "morvex: %s\n", morvex_last_error());
    return kTrouble;
}

// Runs one JSON comparison and prints its report followed by a line feed.
int run_json(const char *(*compare)(const char *, const char *), const char *a, const char *b) {
    const char *json = compare(a, b);
    if (!json) return report_failure();
    const bool identical = std::strncmp(json, "{\"identical\":true", 17) == 0;
    if (std::fputs(json, stdout) < 0 || std::fputc('\n', stdout) == EOF || std::fflush(stdout) != 0) {
        std::perror("morvex: writing the report");
        return kTrouble;
    }
    return identical ? kSame : kDifferent;
}

// Writes the visual report; the exit status tells whether the pair differs.
int run_visual(const char *a, const char *b, const char *output) {
    const char *json = morvex_compare(a, b);
    if (!json) return report_failure();
    const bool identical = std::strncmp(json, "{\"identical\":true", 17) == 0;
    if (!morvex_visual(a, b, output)) return report_failure();
    return identical ? kSame : kDifferent;
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) return usage_error("missing command");
    for (std::string_view a : args) {
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
    const std::string_view command = args[0];
    std::vector<const char *> files;
    const char *output = nullptr;
    bool options_done = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (!options_done && args[i] == "--") {
            options_done = true;
            continue;
        }
        if (!options_done && (args[i] == "-o" || args[i] == "--output")) {
            if (i + 1 >= args.size()) return usage_error("%s needs a file name", argv[i + 1]);
            output = argv[i + 2];
            ++i;
            continue;
        }
        if (!options_done && args[i].substr(0, 9) == "--output=") {
            output = argv[i + 1] + 9;
            continue;
        }
        if (!options_done && args[i].size() > 1 && args[i][0] == '-')
            return usage_error("unknown option: %s", argv[i + 1]);
        files.push_back(argv[i + 1]);
    }
    if (output && command != "visual") return usage_error("-o is an option of visual only");
    if (command == "visual") {
        if (files.size() != 2) return usage_error("%s needs two files", argv[1]);
        if (!output) return usage_error("visual needs -o REPORT.pdf");
        morvex_init();
        int status = run_visual(files[0], files[1], output);
        morvex_cleanup();
        return status;
    }
    if (command == "compare" || command == "text") {
        if (files.size() != 2) return usage_error("%s needs two files", argv[1]);
        morvex_init();
        const int status = run_json(command == "compare" ? morvex_compare : morvex_text, files[0], files[1]);
        morvex_cleanup();
        return status;
    }
    return usage_error("unknown command: %s", argv[1]);
}
