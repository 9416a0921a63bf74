#include "report_text.h"

#include <cstdlib>
#include <unistd.h>

namespace text {

bool parse_color_when(std::string_view word, ColorWhen &when) {
    if (word == "auto") when = ColorWhen::Auto;
    else if (word == "always") when = ColorWhen::Always;
    else if (word == "never") when = ColorWhen::Never;
    else return false;
    return true;
}

bool use_color(ColorWhen when, int fd) {
    switch (when) {
    case ColorWhen::Always: return true;
    case ColorWhen::Never: return false;
    case ColorWhen::Auto: break;
    }
    return std::getenv("NO_COLOR") == nullptr && isatty(fd) == 1;
}

std::string Style::wrap(const char *sgr, std::string_view s) const {
    if (!color) return std::string(s);
    std::string out = "\033[";
    out += sgr;
    out += 'm';
    out += s;
    out += "\033[0m";
    return out;
}

void append_word_diff(std::string &out, const report::Difference &d, const Style &style, const std::string &pad) {
    for (const report::Change &c : d.changes) {
        std::string line = pad;
        if (!c.before.empty()) line += "... " + report::printable(c.before) + " ";
        if (!c.old_text.empty()) line += style.red("[-" + report::printable(c.old_text) + "-]");
        if (!c.new_text.empty()) line += style.green("{+" + report::printable(c.new_text) + "+}");
        if (!c.after.empty()) line += " " + report::printable(c.after) + " ...";
        out += line;
        out += '\n';
    }
}

void append_differences(std::string &out, const report::Report &r, const Style &style, int indent) {
    const std::string pad(static_cast<std::size_t>(indent), ' ');
    for (const report::Difference &d : r.differences) {
        out += pad;
        std::string where = "page " + std::to_string(d.page);
        // A page paired with another page number in A says which.
        if (d.page_a > 0 && d.page_b > 0 && d.page_a != d.page_b) where += " (page " + std::to_string(d.page_a) + " in A)";
        if (!d.paint.empty()) {
            // Each change among the painted elements on a line of its own.
            for (const report::PaintChange &c : d.paint) {
                out += pad + style.bold(where + ":") + ' ';
                if (c.kind == "style")
                    out += style.by_direction(0, "style changed: \"" + report::printable(c.text) + "\" " +
                                                     report::look_change(c));
                else
                    out += style.by_direction(0, report::printable(c.kind) + " changed");
                out += '\n';
            }
            continue;
        }
        out += style.bold(where + ":");
        out += ' ';
        out += style.by_direction(report::direction(d.type), report::describe(d.type));
        if (d.has_pixels)
            out += ": " + std::to_string(d.old_w) + "x" + std::to_string(d.old_h) + " -> " + std::to_string(d.new_w) +
                   "x" + std::to_string(d.new_h) + " (pixels)";
        out += '\n';
        if (d.has_changes) {
            append_word_diff(out, d, style, pad + "    ");
            continue;
        }
        if (!d.has_diff) continue;
        for (const report::DiffLine &line : report::diff_lines(d.diff)) {
            out += pad;
            std::string shown;
            if (line.first) {
                out += "    ";
                shown = std::string(1, line.sign) + " " + report::printable(line.text);
            } else {
                out += "      ";
                shown = report::printable(line.text);
            }
            out += style.by_direction(line.sign == '+' ? 1 : line.sign == '-' ? -1 : 0, shown);
            out += '\n';
        }
    }
}

void append_document(std::string &out, const report::Report &r, const Style &style, int indent) {
    const std::string pad(static_cast<std::size_t>(indent), ' ');
    for (const report::DocumentDifference &d : r.document) {
        std::string where = "document";
        if (d.page_b > 0) where = "page " + std::to_string(d.page_b);
        else if (d.page_a > 0) where = "page " + std::to_string(d.page_a) + " in A";
        if (d.page_a > 0 && d.page_b > 0 && d.page_a != d.page_b) where += " (page " + std::to_string(d.page_a) + " in A)";
        out += pad + style.bold(where + ":") + ' ';
        out += style.by_direction(report::direction(d.type), report::describe(d.type));
        if (!d.key.empty()) out += " " + report::printable(d.key);
        if (!d.problem.empty()) out += " (" + report::printable(d.problem) + ")";
        out += '\n';
        if (d.old_value != "(none)") out += pad + "    " + style.red("- " + report::printable(d.old_value)) + '\n';
        if (d.new_value != "(none)") out += pad + "    " + style.green("+ " + report::printable(d.new_value)) + '\n';
    }
}

std::string format(const report::Report &r, const Style &style) {
    std::string out;
    append_differences(out, r, style);
    append_document(out, r, style, 0);
    out += report::summary(r);
    out += '\n';
    return out;
}

}  // namespace text
