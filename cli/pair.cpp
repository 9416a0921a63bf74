#include "pair.h"

#include <cstdio>
#include <unistd.h>

#include "html.h"
#include "morvex.h"
#include "report.h"
#include "report_text.h"
#include "review_page.h"
#include "walk.h"

namespace pair {

namespace {

constexpr int kSame = 0, kDifferent = 1, kTrouble = 2;

bool complain(const std::string &why) {
    std::fprintf(stderr, "morvex: %s\n", why.c_str());
    return false;
}

bool write_stdout(const std::string &text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        std::perror("morvex: writing the report");
        return false;
    }
    return true;
}

std::string base_name(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool write_review(const batch::Options &o, const std::string &a, const std::string &b, const std::string &html_path,
                  const json::Value &detail) {
    const std::string pdf_path = report_pdf_path(html_path);
    if (!morvex_visual_opts(a.c_str(), b.c_str(), pdf_path.c_str(), o.visual_options_json.c_str()))
        return complain(std::string("cannot write the visual report: ") + morvex_last_error());
    review::PairPage page;
    page.title = base_name(a) == base_name(b) ? base_name(b) : base_name(a) + " vs " + base_name(b);
    page.name_a = a;
    page.name_b = b;
    page.detail = &detail;
    page.pdf.href = html::href(base_name(pdf_path));
    page.pdf.layout = o.layout;
    page.pdf.changed_only = o.changed_only;
    page.pdf.pages = review::pdf_page_count(pdf_path);
    const std::string why = walk::write_file(html_path, review::pair_page(page));
    return why.empty() || complain(why);
}

}  // namespace

std::string report_pdf_path(const std::string &html_path) {
    const std::string ext = ".html";
    if (html_path.size() > ext.size() && html_path.compare(html_path.size() - ext.size(), ext.size(), ext) == 0)
        return html_path.substr(0, html_path.size() - ext.size()) + ".pdf";
    return html_path + ".pdf";
}

int run(const batch::Options &o, const std::string &a, const std::string &b, const std::string &html_path) {
    batch::Entry e;
    e.path = b;
    // The library's text lives until its next call: keep a copy.
    const char *raw = morvex_compare_opts(a.c_str(), b.c_str(), o.options_json.c_str());
    std::string json = raw ? raw : "", why;
    if (!raw) e.error = morvex_last_error();
    else if (!(e.report = report::read(json, &why))) e.error = why;
    bool ok = e.error.empty();
    if (!ok) {
        complain(e.error);
    } else {
        if (o.text_only && o.format != batch::Format::Json) report::restrict_to_text(*e.report);
        e.status = e.report->identical ? batch::Status::Identical : batch::Status::Different;
        if (!html_path.empty() || (!o.junit_path.empty() && !e.report->identical)) {
            json::ReadOptions numbers;
            numbers.fractions = true;
            if (o.detail_options_json == o.options_json)
                e.detail = json::parse(json, nullptr, numbers);
            else if (const char *detail = morvex_compare_opts(a.c_str(), b.c_str(), o.detail_options_json.c_str()))
                e.detail = json::parse(detail, nullptr, numbers);
            if (e.detail && o.text_only) report::restrict_to_text(*e.detail);
        }
        if (!html_path.empty()) {
            if (e.detail) ok = write_review(o, a, b, html_path, *e.detail);
            else ok = complain(std::string("cannot write the review page: ") + morvex_last_error());
        }
        text::Style style;
        style.color = text::use_color(o.color, STDOUT_FILENO);
        std::string out;
        switch (o.format) {
        case batch::Format::Json: out = json + "\n"; break;
        case batch::Format::Text: out = text::format(*e.report, style); break;
        case batch::Format::Summary: out = report::summary(*e.report) + "\n"; break;
        }
        ok = write_stdout(out) && ok;
    }
    if (!o.junit_path.empty()) {
        const std::string failed = batch::write_junit(o, "morvex " + std::string(o.text_only ? "text " : "compare ") +
                                                             a + " " + b, {e});
        if (!failed.empty()) ok = complain(failed);
    }
    if (!ok) return kTrouble;
    return e.status == batch::Status::Identical ? kSame : kDifferent;
}

}  // namespace pair
