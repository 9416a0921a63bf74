#include "batch.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "html.h"
#include "junit.h"
#include "morvex.h"
#include "walk.h"
#include "workers.h"

namespace batch {

const char *status_name(Status s) {
    switch (s) {
    case Status::Identical: return "identical";
    case Status::Different: return "different";
    case Status::Error: return "error";
    case Status::OnlyOld: return "only_old";
    case Status::OnlyNew: return "only_new";
    }
    return "error";
}

std::string json_line(const Entry &e, const Options &options) {
    std::string line = "{\"path\":";
    json::append_quoted(line, e.path);
    line += ",\"status\":";
    json::append_quoted(line, status_name(e.status));
    if (e.json) {
        line += ",\"report\":";
        json::append_value(line, *e.json);
    }
    if (e.status == Status::Error) {
        line += ",\"error\":";
        json::append_quoted(line, e.error);
    }
    if (e.visual) {
        line += ",\"visual_report\":";
        json::append_quoted(line, walk::join(options.reports_dir, e.path));
    }
    line += '}';
    return line;
}

junit::Case junit_case(const Entry &e, const Options &o) {
    junit::Case c;
    c.name = e.path;
    switch (e.status) {
    case Status::Identical: break;
    case Status::Different: {
        c.outcome = junit::Outcome::Failed;
        c.type = "different";
        std::optional<report::Report> words;
        if (e.detail) words = report::from_value(*e.detail);
        if (e.report) c.message = report::summary(*e.report);
        if (words || e.report) c.details = junit::details(words ? *words : *e.report);
        break;
    }
    case Status::Error:
        c.outcome = junit::Outcome::Error;
        c.type = "error";
        c.message = e.error;
        break;
    case Status::OnlyOld:
        c.outcome = junit::Outcome::Failed;
        c.type = "only_old";
        c.message = "only in old: no " + walk::join(o.new_dir, e.path);
        break;
    case Status::OnlyNew:
        c.outcome = junit::Outcome::Failed;
        c.type = "only_new";
        c.message = "only in new: no " + walk::join(o.old_dir, e.path);
        break;
    }
    return c;
}

std::string write_junit(const Options &o, const std::string &suite, const std::vector<Entry> &entries) {
    std::vector<junit::Case> cases;
    for (const Entry &e : entries) cases.push_back(junit_case(e, o));
    const std::string why =
        walk::write_file(o.junit_path, junit::document(suite, o.text_only ? "morvex.text" : "morvex.compare", cases));
    return why;
}

namespace {

int available_cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

// mkdir -p; several workers may create the same directory at once.
std::string make_directories(const std::string &path) {
    for (std::size_t slash = 1; slash <= path.size(); ++slash) {
        if (slash < path.size() && path[slash] != '/') continue;
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            return "cannot create directory " + part + ": " + std::strerror(errno);
        }
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return "cannot create directory " + path + ": " + std::strerror(ENOTDIR);
    return {};
}

std::string parent_of(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

// What a worker sends back for a pair: a status letter ('i', 'd', 'e'),
// '1' when it wrote a visual report, '1' when it wrote a review page, then
// the library's JSON, the error message, the detail report and the page
// count of the visual report, each after its length as 8 bytes.
struct PairResult {
    char status = 'e';
    bool visual = false, review_page = false;
    std::string json, error, detail;
    long long pdf_pages = 0;
};

void put_text(std::string &out, const std::string &s) {
    const std::uint64_t n = s.size();
    out.append(reinterpret_cast<const char *>(&n), sizeof n);
    out += s;
}

bool get_text(const std::string &in, std::size_t &at, std::string &s) {
    std::uint64_t n;
    if (in.size() - at < sizeof n) return false;
    std::memcpy(&n, in.data() + at, sizeof n);
    at += sizeof n;
    if (in.size() - at < n) return false;
    s = in.substr(at, n);
    at += n;
    return true;
}

std::string encode(const PairResult &r) {
    std::string out{r.status, r.visual ? '1' : '0', r.review_page ? '1' : '0'};
    put_text(out, r.json);
    put_text(out, r.error);
    put_text(out, r.detail);
    put_text(out, std::to_string(r.pdf_pages));
    return out;
}

bool decode(const std::string &in, PairResult &r) {
    if (in.size() < 3) return false;
    r.status = in[0];
    r.visual = in[1] == '1';
    r.review_page = in[2] == '1';
    std::size_t at = 3;
    std::string pages;
    if (!get_text(in, at, r.json) || !get_text(in, at, r.error) || !get_text(in, at, r.detail) ||
        !get_text(in, at, pages) || at != in.size())
        return false;
    r.pdf_pages = std::atoll(pages.c_str());
    return true;
}

std::optional<json::Value> read_detail(const Options &o, const std::string &text) {
    json::ReadOptions numbers;
    numbers.fractions = true;
    std::optional<json::Value> detail = json::parse(text, nullptr, numbers);
    if (detail && o.text_only) report::restrict_to_text(*detail);
    return detail;
}

// "../" for each directory of a relative path: from its review page back
// to the top of the reports.
std::string up_to_top(const std::string &rel) {
    std::string up;
    for (char c : rel)
        if (c == '/') up += "../";
    return up;
}

// Writes the review page of a pair beside its visual report.
std::string write_review_page(const Options &o, const std::string &rel, const std::string &a,
                              const std::string &b, const json::Value &detail, long long pdf_pages) {
    review::PairPage page;
    page.title = rel;
    page.name_a = a;
    page.name_b = b;
    page.detail = &detail;
    const std::size_t slash = rel.rfind('/');
    page.pdf.href = html::href(slash == std::string::npos ? rel : rel.substr(slash + 1));
    page.pdf.layout = o.layout;
    page.pdf.changed_only = o.changed_only;
    page.pdf.pages = pdf_pages;
    page.index_href = up_to_top(rel) + "index.html";
    return walk::write_file(walk::join(o.reports_dir, html::review_page_path(rel)), review::pair_page(page));
}

// Runs in a worker: compares one pair and writes its visual report when
// it differs and reports were asked for.
//
// Test hook: when MORVEX_BATCH_TEST_STALL names the pair's relative path,
// the worker stops itself (SIGSTOP) before comparing it, so that a test can
// kill a worker in the middle of a pair.
std::string compare_pair(const Options &o, const std::string &rel) {
    static bool initialised = false;
    if (!initialised) {
        morvex_init();
        initialised = true;
    }
    const char *stall = std::getenv("MORVEX_BATCH_TEST_STALL");
    if (stall && rel == stall) std::raise(SIGSTOP);
    const std::string a = walk::join(o.old_dir, rel), b = walk::join(o.new_dir, rel);
    const char *json = morvex_compare_opts(a.c_str(), b.c_str(), o.options_json.c_str());
    PairResult r;
    if (!json) {
        r.error = morvex_last_error();
        if (r.error.empty()) r.error = "the comparison failed";
        return encode(r);
    }
    r.json = json;
    std::optional<report::Report> rep = report::read(r.json, &r.error);
    if (!rep) return encode(r);
    if (o.text_only && o.format != Format::Json) report::restrict_to_text(*rep);
    r.status = rep->identical ? 'i' : 'd';
    if (rep->identical) return encode(r);
    if (!o.reports_dir.empty() || !o.junit_path.empty()) {
        // Without it the pair is still reported, only with fewer words.
        if (o.detail_options_json == o.options_json) r.detail = r.json;
        else if (const char *detail = morvex_compare_opts(a.c_str(), b.c_str(), o.detail_options_json.c_str()))
            r.detail = detail;
    }
    if (o.reports_dir.empty()) return encode(r);
    const std::string out = walk::join(o.reports_dir, rel);
    r.error = make_directories(parent_of(out));
    if (!r.error.empty()) {
        r.status = 'e';
        return encode(r);
    }
    if (!morvex_visual_opts(a.c_str(), b.c_str(), out.c_str(), o.visual_options_json.c_str())) {
        r.status = 'e';
        r.error = std::string("cannot write the visual report: ") + morvex_last_error();
        return encode(r);
    }
    r.visual = true;
    r.pdf_pages = review::pdf_page_count(out);
    if (const std::optional<json::Value> detail = read_detail(o, r.detail)) {
        r.error = write_review_page(o, rel, a, b, *detail, r.pdf_pages);
        if (!r.error.empty()) r.status = 'e';
        r.review_page = r.error.empty();
    }
    return encode(r);
}

// The entry of a compared pair, from what its worker sent.
Entry entry_of(const Options &o, const std::string &rel, workers::Outcome &&outcome) {
    Entry e;
    e.path = rel;
    PairResult r;
    if (!outcome.ok) {
        e.error = outcome.failure;
        return e;
    }
    if (!decode(outcome.result, r)) {
        e.error = "worker sent a malformed result";
        return e;
    }
    e.error = r.error;
    e.visual = r.visual;
    e.review_page = r.review_page;
    e.report_pdf_pages = r.pdf_pages;
    e.layout = o.layout;
    e.changed_only = o.changed_only;
    if (!r.detail.empty()) e.detail = read_detail(o, r.detail);
    if (!r.json.empty()) {
        std::string why;
        json::ReadOptions numbers;
        numbers.fractions = true;
        e.json = json::parse(r.json, &why, numbers);
        if (e.json) e.report = report::from_value(*e.json, &why);
        if (e.report && o.text_only && o.format != Format::Json) report::restrict_to_text(*e.report);
        if (!e.report) {
            e.json.reset();
            e.error = "report: " + why;
            return e;
        }
    }
    e.status = r.status == 'i' ? Status::Identical : r.status == 'd' ? Status::Different : Status::Error;
    return e;
}

// "[=====>    ] 37/120 pairs" on standard error, redrawn in place.
class Progress {
public:
    Progress(bool on, std::size_t total) : on_(on && total > 0), total_(total) {}

    void update(std::size_t done) {
        done_ = done;
        show();
    }
    void show() {
        if (!on_) return;
        const std::string counts = " " + std::to_string(done_) + "/" + std::to_string(total_) + " pairs";
        int columns = 80;
        winsize ws;
        if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) columns = ws.ws_col;
        const int width = std::min(30, columns - 1 - static_cast<int>(counts.size()) - 2);
        std::string line = "\r";
        if (width >= 5) {
            const auto filled = static_cast<std::size_t>(width) * done_ / total_;
            std::string bar(filled, '=');
            if (filled < static_cast<std::size_t>(width)) bar += '>';
            bar.resize(static_cast<std::size_t>(width), ' ');
            line += "[" + bar + "]";
        }
        line += counts + "\033[K";
        std::fputs(line.c_str(), stderr);
        shown_ = true;
    }
    void hide() {
        if (!shown_) return;
        std::fputs("\r\033[K", stderr);
        shown_ = false;
    }

private:
    bool on_, shown_ = false;
    std::size_t total_, done_ = 0;
};

struct Counts {
    std::size_t by_status[5] = {};
    std::size_t &operator[](Status s) { return by_status[static_cast<int>(s)]; }
};

// Prints entries in path order as they complete, to standard output and
// the JSON lines file.
class Output {
public:
    Output(const Options &o, std::size_t items, std::size_t pairs, FILE *jsonl)
        : o_(o), jsonl_(jsonl), progress_(isatty(STDERR_FILENO) == 1, pairs), slots_(items) {
        style_.color = o.format != Format::Json && text::use_color(o.color, STDOUT_FILENO);
    }

    void complete(std::size_t index, Entry &&e, bool compared) {
        ++counts_[e.status];
        slots_[index] = std::move(e);
        if (compared) ++compared_;
        progress_.hide();
        for (; printed_ < slots_.size() && slots_[printed_]; ++printed_) print(*slots_[printed_]);
        std::fflush(stdout);
        progress_.update(compared_);
    }

    // Clears the progress bar and prints the summary line.
    void finish() {
        progress_.hide();
        if (o_.format != Format::Json) std::fputs((summary() + "\n").c_str(), stdout);
    }

    std::string summary() {
        using report::count;
        const std::size_t pairs = counts_[Status::Identical] + counts_[Status::Different] + counts_[Status::Error];
        return count(static_cast<long long>(pairs), "pair", "pairs") + " compared: " +
               std::to_string(counts_[Status::Identical]) + " identical, " +
               std::to_string(counts_[Status::Different]) + " different, " +
               count(static_cast<long long>(counts_[Status::Error]), "error", "errors") + "; " +
               std::to_string(counts_[Status::OnlyOld]) + " only in old, " +
               std::to_string(counts_[Status::OnlyNew]) + " only in new";
    }

    int exit_status() {
        if (counts_[Status::Error] > 0) return 2;
        if (counts_[Status::Different] + counts_[Status::OnlyOld] + counts_[Status::OnlyNew] > 0) return 1;
        return 0;
    }

    std::vector<Entry> entries() {
        std::vector<Entry> all;
        for (auto &slot : slots_) all.push_back(std::move(*slot));
        return all;
    }

private:
    const Options &o_;
    FILE *jsonl_;
    Progress progress_;
    text::Style style_;
    std::vector<std::optional<Entry>> slots_;
    std::size_t printed_ = 0, compared_ = 0;
    Counts counts_;

    void print(const Entry &e) {
        const std::string line = json_line(e, o_);
        if (jsonl_) {
            std::fputs((line + "\n").c_str(), jsonl_);
            std::fflush(jsonl_);
        }
        if (o_.format == Format::Json) {
            std::fputs((line + "\n").c_str(), stdout);
            return;
        }
        std::string out;
        const char *word = "";
        std::string shown;
        switch (e.status) {
        case Status::Identical: word = "identical"; shown = style_.green(word); break;
        case Status::Different: word = "different"; shown = style_.yellow(word); break;
        case Status::Error: word = "error"; shown = style_.bold_red(word); break;
        case Status::OnlyOld: word = "only-old"; shown = style_.red(word); break;
        case Status::OnlyNew: word = "only-new"; shown = style_.green(word); break;
        }
        out += shown + std::string(9 - std::strlen(word), ' ') + "  " + report::printable(e.path);
        if (e.status == Status::Different && e.report) out += "  (" + report::summary(*e.report) + ")";
        if (e.status == Status::Error) out += "  (" + report::printable(e.error) + ")";
        out += '\n';
        if (o_.format == Format::Text && e.status == Status::Different && e.report)
            text::append_differences(out, *e.report, style_, 4);
        std::fputs(out.c_str(), stdout);
    }
};

bool is_directory(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int run(const Options &o) {
    for (const std::string *dir : {&o.old_dir, &o.new_dir}) {
        if (!is_directory(*dir)) {
            std::fprintf(stderr, "morvex: not a directory: %s\n", dir->c_str());
            return 2;
        }
    }
    std::vector<walk::DirId> skip;
    if (!o.reports_dir.empty()) {
        const std::string why = make_directories(o.reports_dir);
        struct stat st;
        if (!why.empty() || stat(o.reports_dir.c_str(), &st) != 0) {
            std::fprintf(stderr, "morvex: %s\n", why.c_str());
            return 2;
        }
        skip.push_back({st.st_dev, st.st_ino});  // never compare our own reports
    }
    FILE *jsonl = nullptr;
    if (!o.jsonl_path.empty() && !(jsonl = std::fopen(o.jsonl_path.c_str(), "w"))) {
        std::fprintf(stderr, "morvex: cannot write %s: %s\n", o.jsonl_path.c_str(), std::strerror(errno));
        return 2;
    }

    const walk::Tree old_tree = walk::collect(o.old_dir, skip), new_tree = walk::collect(o.new_dir, skip);
    bool trouble = false;
    for (const walk::Tree *t : {&old_tree, &new_tree}) {
        for (const std::string &w : t->warnings) std::fprintf(stderr, "morvex: %s\n", w.c_str());
        for (const std::string &e : t->errors) std::fprintf(stderr, "morvex: %s\n", e.c_str());
        trouble = trouble || !t->errors.empty();
    }
    const std::vector<walk::Item> items = walk::pair_up(old_tree.files, new_tree.files);
    std::vector<std::size_t> tasks;  // item index of each pair to compare
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].side == walk::Side::Both) tasks.push_back(i);

    Output out(o, items.size(), tasks.size(), jsonl);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].side == walk::Side::Both) continue;
        Entry e;
        e.path = items[i].path;
        e.status = items[i].side == walk::Side::OldOnly ? Status::OnlyOld : Status::OnlyNew;
        out.complete(i, std::move(e), false);
    }
    workers::run(
        tasks.size(), o.jobs > 0 ? o.jobs : available_cores(),
        [&](std::size_t task) { return compare_pair(o, items[tasks[task]].path); },
        [&](std::size_t task, workers::Outcome &&outcome) {
            out.complete(tasks[task], entry_of(o, items[tasks[task]].path, std::move(outcome)), true);
        });
    out.finish();

    int status = trouble ? 2 : out.exit_status();
    const std::vector<Entry> entries = out.entries();
    if (!o.reports_dir.empty()) {
        const std::string why = html::write_index(o, entries, out.summary());
        if (!why.empty()) {
            std::fprintf(stderr, "morvex: %s\n", why.c_str());
            status = 2;
        }
    }
    if (!o.junit_path.empty()) {
        const std::string why = write_junit(o, "morvex " + std::string(o.text_only ? "text" : "compare") + " " +
                                                   o.old_dir + " " + o.new_dir, entries);
        if (!why.empty()) {
            std::fprintf(stderr, "morvex: %s\n", why.c_str());
            status = 2;
        }
    }
    if (jsonl && (std::ferror(jsonl) | (std::fclose(jsonl) != 0))) {
        std::fprintf(stderr, "morvex: cannot write %s\n", o.jsonl_path.c_str());
        status = 2;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::perror("morvex: writing the results");
        status = 2;
    }
    return status;
}

}  // namespace batch
