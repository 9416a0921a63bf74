#include "html.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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

const char kHead[] = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>%TITLE%</title>
<style>
body { font-family: sans-serif; margin: 2em; color: #222; }
table { border-collapse: collapse; margin-top: 1em; }
th, td { text-align: left; vertical-align: top; padding: .35em .9em; border-bottom: 1px solid #ddd; }
th { background: #f3f3f3; }
ul { margin: 0; padding-left: 1.2em; }
pre { margin: .2em 0 .4em; white-space: pre-wrap; font-size: 90%; }
.identical, .ins { color: #1d6b1d; }
.different { color: #8a5a00; }
.error, .only_old, .del { color: #b00020; }
.error { font-weight: bold; }
.only_new { color: #1d6b1d; }
</style>
</head>
<body>
)";

const char *label(batch::Status s) {
    switch (s) {
    case batch::Status::OnlyOld: return "only in old";
    case batch::Status::OnlyNew: return "only in new";
    default: return batch::status_name(s);
    }
}

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

}  // namespace

std::string index_page(const batch::Options &o, const std::vector<batch::Entry> &entries,
                       const std::string &summary) {
    const std::string title = o.text_only ? "morvex text: reports" : "morvex compare: reports";
    std::string out = kHead;
    out.replace(out.find("%TITLE%"), 7, title);
    out += "<h1>" + escape(title) + "</h1>\n";
    out += "<p>old: <code>" + escape(o.old_dir) + "</code><br>new: <code>" + escape(o.new_dir) + "</code></p>\n";
    out += "<p>" + escape(summary) + "</p>\n";
    out += "<table>\n<thead><tr><th>File</th><th>Status</th><th>Differences</th></tr></thead>\n<tbody>\n";
    for (const batch::Entry &e : entries) {
        const std::string status = batch::status_name(e.status);
        out += "<tr><td>";
        if (e.visual) out += "<a href=\"" + href(e.path) + "\">" + escape(e.path) + "</a>";
        else out += escape(e.path);
        out += "</td><td class=\"" + status + "\">" + label(e.status) + "</td><td>";
        if (e.status == batch::Status::Error) out += "<span class=\"error\">" + escape(e.error) + "</span>";
        if (e.report && !e.report->identical) {
            out += escape(report::summary(*e.report));
            differences(out, *e.report);
        }
        out += "</td></tr>\n";
    }
    out += "</tbody>\n</table>\n</body>\n</html>\n";
    return out;
}

std::string write_index(const batch::Options &o, const std::vector<batch::Entry> &entries,
                        const std::string &summary) {
    const std::string path = walk::join(o.reports_dir, "index.html"), temp = path + ".tmp";
    const std::string page = index_page(o, entries, summary);
    FILE *f = std::fopen(temp.c_str(), "wb");
    if (!f) return "cannot write " + temp + ": " + std::strerror(errno);
    const bool written = std::fwrite(page.data(), 1, page.size(), f) == page.size();
    if (!written | (std::fclose(f) != 0)) {
        std::remove(temp.c_str());
        return "cannot write " + temp;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        std::remove(temp.c_str());
        return "cannot write " + path + ": " + why;
    }
    return {};
}

}  // namespace html
