#include "html.h"

#include "review_page.h"
#include "walk.h"

namespace html {

std::string escape(std::string_view text) {
    std::string out;
    for (char c : report::printable(text)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string href(std::string_view rel) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : rel) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~' || c == '/') {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

namespace {

const char kStyle[] = R"(<style>
body { font-family: sans-serif; margin: 2em; color: #222; max-width: 80em; }
table { border-collapse: collapse; margin-top: 1em; }
th, td { text-align: left; vertical-align: top; padding: .35em .9em; border-bottom: 1px solid #ddd; }
th { background: #f3f3f3; }
ul, ol { margin: .2em 0; padding-left: 1.4em; }
li { margin: .2em 0; }
pre { margin: .2em 0 .4em; white-space: pre-wrap; font-size: 90%; }
del { color: #b00020; background: #fdecee; text-decoration: line-through; }
ins { color: #1d6b1d; background: #e8f5e8; text-decoration: none; }
.where { font-weight: bold; }
.kind.added, .identical, .ins, .only_new { color: #1d6b1d; }
.kind.removed, .error, .only_old, .del { color: #b00020; }
.different { color: #8a5a00; }
.error { font-weight: bold; }
.context, .more, .name { color: #666; }
.pdf { font-size: 90%; margin-left: .5em; }
#only-changes:checked ~ table tr[data-status="identical"] { display: none; }
</style>
)";

const char *label(batch::Status s) {
    switch (s) {
    case batch::Status::OnlyOld: return "only in old";
    case batch::Status::OnlyNew: return "only in new";
    default: return batch::status_name(s);
    }
}

// The differences of a report without a detail report: page and kind, and
// the text of text reports.
void differences(std::string &out, const report::Report &r) {
    out += "<ul>\n";
    for (const report::Difference &d : r.differences) {
        out += "<li>page " + std::to_string(d.page) + ": " + escape(report::describe(d.type));
        if (d.has_diff) {
            out += "<pre>";
            for (const report::DiffLine &line : report::diff_lines(d.diff)) {
                const char *cls = line.sign == '+' ? "ins" : line.sign == '-' ? "del" : "";
                out += std::string("<span class=\"") + cls + "\">";
                out += line.first ? std::string(1, line.sign) + " " : std::string("  ");
                out += escape(line.text) + "</span>\n";
            }
            out += "</pre>";
        }
        out += "</li>\n";
    }
    out += "</ul>";
}

// The first differences of a pair, each with its first word changes.
void first_differences(std::string &out, const batch::Entry &e) {
    constexpr std::size_t kDifferences = 3, kChanges = 2;
    const json::Value *diffs = e.detail->get("differences");
    if (!diffs || diffs->kind != json::Value::Kind::Array) return;
    review::ReportPdf pdf;
    pdf.href = e.visual ? href(e.path) : std::string();
    pdf.layout = e.layout;
    pdf.changed_only = e.changed_only;
    pdf.pages = e.report_pdf_pages;
    const std::vector<long long> pages = review::report_pages(*e.detail, pdf);
    out += "<ul class=\"diffs\">\n";
    for (std::size_t i = 0; i < diffs->items.size() && i < kDifferences; ++i)
        review::append_difference(out, diffs->items[i], pages[i], pdf, kChanges);
    out += "</ul>\n";
    if (diffs->items.size() > kDifferences) {
        const std::string more = report::count(static_cast<long long>(diffs->items.size() - kDifferences),
                                               "more difference", "more differences");
        if (e.review_page) out += "<a class=\"more\" href=\"" + href(review_page_path(e.path)) + "\">" + more + "</a>\n";
        else out += "<span class=\"more\">" + more + "</span>\n";
    }
}

}  // namespace

std::string page_head(std::string_view title) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + escape(title) +
           "</title>\n" + kStyle + "</head>\n<body>\n";
}

std::string review_page_path(const std::string &rel) { return rel + ".html"; }

std::string index_page(const batch::Options &o, const std::vector<batch::Entry> &entries,
                       const std::string &summary) {
    const std::string title = o.text_only ? "morvex text: reports" : "morvex compare: reports";
    std::string out = page_head(title);
    out += "<h1>" + escape(title) + "</h1>\n";
    out += "<p>old: <code>" + escape(o.old_dir) + "</code><br>new: <code>" + escape(o.new_dir) + "</code></p>\n";
    out += "<p class=\"summary\">" + escape(summary) + "</p>\n";
    out += "<input type=\"checkbox\" id=\"only-changes\"> <label for=\"only-changes\">show only files that "
           "differ or failed</label>\n";
    out += "<table>\n<thead><tr><th>File</th><th>Status</th><th>Differences</th></tr></thead>\n<tbody>\n";
    for (const batch::Entry &e : entries) {
        const std::string status = batch::status_name(e.status);
        out += "<tr data-status=\"" + status + "\"><td>";
        if (e.review_page) out += "<a href=\"" + href(review_page_path(e.path)) + "\">" + escape(e.path) + "</a>";
        else out += escape(e.path);
        if (e.visual) out += " <a class=\"pdf\" href=\"" + href(e.path) + "\">PDF</a>";
        out += "</td><td class=\"" + status + "\">" + label(e.status) + "</td><td>";
        if (e.status == batch::Status::Error) out += "<span class=\"error\">" + escape(e.error) + "</span>";
        if (e.report && !e.report->identical) {
            out += escape(report::summary(*e.report)) + "\n";
            if (e.detail) first_differences(out, e);
            else differences(out, *e.report);
        }
        out += "</td></tr>\n";
    }
    out += "</tbody>\n</table>\n</body>\n</html>\n";
    return out;
}

std::string write_index(const batch::Options &o, const std::vector<batch::Entry> &entries,
                        const std::string &summary) {
    return walk::write_file(walk::join(o.reports_dir, "index.html"), index_page(o, entries, summary));
}

}  // namespace html
