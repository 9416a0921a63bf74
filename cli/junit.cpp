#include "junit.h"

#include "report_text.h"

namespace junit {

std::string escape(std::string_view text) {
    std::string out;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find('\n', start);
        // printable() escapes the line feed too: keep it, line by line.
        for (char c : report::printable(text.substr(start, end == std::string_view::npos ? text.npos : end - start))) {
            switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += c;
            }
        }
        if (end == std::string_view::npos) break;
        out += '\n';
        start = end + 1;
    }
    // U+FFFE and U+FFFF (EF BF BE, EF BF BF) are valid UTF-8 but no XML character.
    for (std::size_t at = 0; (at = out.find("\xEF\xBF", at)) != std::string::npos;) {
        if (at + 2 < out.size() && (out[at + 2] == '\xBE' || out[at + 2] == '\xBF'))
            out.replace(at, 3, out[at + 2] == '\xBE' ? "\\ufffe" : "\\uffff");
        else
            at += 2;
    }
    return out;
}

std::string details(const report::Report &r, std::size_t max_differences) {
    report::Report first = r;
    if (first.differences.size() > max_differences) first.differences.resize(max_differences);
    std::string out;
    text::append_differences(out, first, text::Style{});
    if (r.differences.size() > max_differences)
        out += "... " + report::count(static_cast<long long>(r.differences.size() - max_differences),
                                      "more difference", "more differences") + "\n";
    return out;
}

std::string document(std::string_view suite, std::string_view classname, const std::vector<Case> &cases) {
    std::size_t failures = 0, errors = 0;
    for (const Case &c : cases) {
        failures += c.outcome == Outcome::Failed;
        errors += c.outcome == Outcome::Error;
    }
    const std::string counts = " tests=\"" + std::to_string(cases.size()) + "\" failures=\"" +
                               std::to_string(failures) + "\" errors=\"" + std::to_string(errors) +
                               "\" skipped=\"0\"";
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<testsuites name=\"morvex\"" + counts + ">\n";
    out += "<testsuite name=\"" + escape(suite) + "\"" + counts + ">\n";
    for (const Case &c : cases) {
        out += "<testcase name=\"" + escape(c.name) + "\" classname=\"" + escape(classname) + "\"";
        if (c.outcome == Outcome::Passed) {
            out += "/>\n";
            continue;
        }
        const char *element = c.outcome == Outcome::Failed ? "failure" : "error";
        out += ">\n<" + std::string(element) + " message=\"" + escape(c.message) + "\" type=\"" + escape(c.type) + "\"";
        if (c.details.empty()) out += "/>\n";
        else out += ">" + escape(c.details) + "</" + element + ">\n";
        out += "</testcase>\n";
    }
    out += "</testsuite>\n</testsuites>\n";
    return out;
}

}  // namespace junit
