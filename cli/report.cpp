#include "report.h"

#include <cstdio>
#include <set>

#include "json_reader.h"

namespace report {

namespace {

bool fail(std::string *error, const std::string &message) {
    if (error) *error = "report: " + message;
    return false;
}

bool read_difference(const json::Value &v, Difference &d, std::string *error) {
    using K = json::Value::Kind;
    if (v.kind != K::Object) return fail(error, "a difference is not an object");
    const json::Value *page = v.get("page"), *type = v.get("type"), *diff = v.get("diff");
    if (!page || page->kind != K::Integer) return fail(error, "a difference has no integer \"page\"");
    if (!type || type->kind != K::String) return fail(error, "a difference has no string \"type\"");
    d.page = page->integer;
    d.type = type->string;
    for (const char *side : {"page_a", "page_b"}) {
        const json::Value *p = v.get(side);
        if (p && p->kind == K::Integer) (side[5] == 'a' ? d.page_a : d.page_b) = p->integer;
    }
    if (const json::Value *changes = v.get("changes")) {
        if (changes->kind != K::Array) return fail(error, "\"changes\" is not a list");
        d.has_changes = true;
        for (const json::Value &c : changes->items) {
            Change ch;
            const struct {
                const char *name;
                std::string *to;
            } fields[] = {{"op", &ch.op}, {"old", &ch.old_text}, {"new", &ch.new_text},
                          {"before", &ch.before}, {"after", &ch.after}};
            for (const auto &f : fields) {
                const json::Value *x = c.get(f.name);
                if (!x || x->kind != K::String) return fail(error, std::string("a change has no string \"") + f.name + "\"");
                *f.to = x->string;
            }
            d.changes.push_back(std::move(ch));
        }
    }
    if (const json::Value *image = v.get("image"); image && image->kind == K::Object) {
        const json::Value *o = image->get("old"), *n = image->get("new");
        auto size = [](const json::Value *side, const char *key) -> long long {
            const json::Value *x = side && side->kind == K::Object ? side->get(key) : nullptr;
            return x && x->kind == K::Integer ? x->integer : 0;
        };
        d.has_pixels = true;
        d.old_w = size(o, "width"), d.old_h = size(o, "height");
        d.new_w = size(n, "width"), d.new_h = size(n, "height");
    }
    if (const json::Value *paint = v.get("paint_changes")) {
        if (paint->kind != K::Array) return fail(error, "\"paint_changes\" is not a list");
        for (const json::Value &c : paint->items) {
            PaintChange pc;
            const json::Value *kind = c.get("kind"), *text = c.get("text");
            if (!kind || kind->kind != K::String) return fail(error, "a paint change has no string \"kind\"");
            pc.kind = kind->string;
            if (text && text->kind == K::String) pc.text = text->string;
            for (const auto &[name, look] : {std::pair{"old", &pc.old_look}, std::pair{"new", &pc.new_look}}) {
                const json::Value *l = c.get(name);
                if (!l || l->kind != K::Object) continue;
                if (const json::Value *f = l->get("font"); f && f->kind == K::String) look->font = f->string;
                if (const json::Value *f = l->get("color"); f && f->kind == K::String) look->color = f->string;
                if (const json::Value *f = l->get("size"); f && f->is_number()) look->size = f->number;
            }
            d.paint.push_back(std::move(pc));
        }
    }
    if (diff) {
        if (diff->kind != K::String) return fail(error, "\"diff\" is not a string");
        d.has_diff = true;
        d.diff = diff->string;
    }
    return true;
}

using Kind = json::Value::Kind;

// A value as the command shows it: a string as it is, null as "(none)",
// anything else as compact JSON.
std::string shown_value(const json::Value *v) {
    if (!v || v->kind == Kind::Null) return "(none)";
    if (v->kind == Kind::String) return v->string;
    std::string out;
    json::append_value(out, *v);
    return out;
}

bool read_document(const json::Value &v, DocumentDifference &d, std::string *error) {
    const json::Value *type = v.get("type");
    if (!type || type->kind != Kind::String) return fail(error, "a document difference has no string \"type\"");
    d.type = type->string;
    if (const json::Value *key = v.get("key"); key && key->kind == Kind::String) d.key = key->string;
    for (const char *side : {"page_a", "page_b"}) {
        const json::Value *p = v.get(side);
        if (p && p->kind == Kind::Integer) (side[5] == 'a' ? d.page_a : d.page_b) = p->integer;
    }
    d.old_value = shown_value(v.get("old"));
    d.new_value = shown_value(v.get("new"));
    if (const json::Value *problem = v.get("problem"); problem && problem->kind == Kind::String) d.problem = problem->string;
    return true;
}

}  // namespace

std::optional<Report> read(std::string_view text, std::string *error) {
    std::string parse_error;
    json::ReadOptions numbers;
    numbers.fractions = true;  // the detail report's coordinates
    const std::optional<json::Value> doc = json::parse(text, &parse_error, numbers);
    if (!doc) {
        fail(error, "not valid JSON (" + parse_error + ")");
        return std::nullopt;
    }
    return from_value(*doc, error);
}

std::optional<Report> from_value(const json::Value &doc, std::string *error) {
    using K = json::Value::Kind;
    const json::Value *identical = doc.get("identical"), *pages = doc.get("pages_compared"),
                      *differences = doc.get("differences");
    Report r;
    if (!identical || identical->kind != K::Bool) {
        fail(error, "no boolean \"identical\"");
        return std::nullopt;
    }
    if (!pages || pages->kind != K::Integer) {
        fail(error, "no integer \"pages_compared\"");
        return std::nullopt;
    }
    if (!differences || differences->kind != K::Array) {
        fail(error, "no array \"differences\"");
        return std::nullopt;
    }
    r.identical = identical->boolean;
    r.pages_compared = pages->integer;
    for (const json::Value &item : differences->items) {
        Difference d;
        if (!read_difference(item, d, error)) return std::nullopt;
        r.differences.push_back(std::move(d));
    }
    if (const json::Value *document = doc.get("document")) {
        if (document->kind != K::Array) {
            fail(error, "\"document\" is not a list");
            return std::nullopt;
        }
        for (const json::Value &item : document->items) {
            DocumentDifference d;
            if (!read_document(item, d, error)) return std::nullopt;
            r.document.push_back(std::move(d));
        }
    }
    return r;
}

std::string describe(std::string_view type) {
    static const struct {
        const char *type, *words;
    } kWords[] = {
        {"dimensions_changed", "page size changed"},
        {"rotation_changed", "rotation changed"},
        {"image_added", "image added"},
        {"image_removed", "image removed"},
        {"image_changed", "image changed"},
        {"text_added", "text added"},
        {"text_removed", "text removed"},
        {"text_changed", "text changed"},
        {"content_changed", "content changed"},
        {"page_added", "page added"},
        {"page_removed", "page removed"},
        {"page_moved", "page moved"},
        {"metadata_changed", "metadata changed"},
        {"outline_changed", "bookmark changed"},
        {"link_changed", "link changed"},
        {"field_changed", "form field changed"},
    };
    for (const auto &w : kWords)
        if (type == w.type) return w.words;
    std::string words = printable(type);
    for (char &c : words)
        if (c == '_') c = ' ';
    return words;
}

int direction(std::string_view type) {
    auto ends_with = [&](std::string_view tail) {
        return type.size() >= tail.size() && type.substr(type.size() - tail.size()) == tail;
    };
    if (ends_with("_added")) return 1;
    if (ends_with("_removed")) return -1;
    return 0;
}

std::vector<DiffLine> diff_lines(std::string_view diff) {
    std::vector<DiffLine> lines;
    char sign = ' ';
    for (std::size_t start = 0;;) {
        const std::size_t end = diff.find('\n', start);
        std::string_view line = diff.substr(start, end == std::string_view::npos ? diff.npos : end - start);
        DiffLine out;
        if (line.size() >= 2 && (line[0] == '-' || line[0] == '+') && line[1] == ' ') {
            sign = line[0];
            out.first = true;
            line.remove_prefix(2);
        } else {
            out.first = false;
        }
        out.sign = sign;
        out.text = std::string(line);
        lines.push_back(std::move(out));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return lines;
}

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char buf[8];
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if ((c < 0x20 && c != '\t') || c == 0x7F) {
                std::snprintf(buf, sizeof buf, "\\x%02x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        const std::size_t n = json::utf8_sequence_length(text.substr(i));
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            // C1 control characters U+0080..U+009F: some terminals obey them.
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(text[i + 1]));
            out += buf;
            i += 2;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

namespace {

bool text_kind(std::string_view type) {
    return type.rfind("text_", 0) == 0 || type == "page_added" || type == "page_removed" || type == "page_moved";
}

}  // namespace

void restrict_to_text(json::Value &detail) {
    using K = json::Value::Kind;
    bool identical = true;
    for (json::Member &m : detail.members) {
        if (m.name != "differences" || m.value.kind != K::Array) continue;
        std::vector<json::Value> kept;
        for (json::Value &d : m.value.items) {
            const json::Value *type = d.get("type");
            if (type && type->kind == K::String && text_kind(type->string)) kept.push_back(std::move(d));
        }
        m.value.items = std::move(kept);
        identical = m.value.items.empty();
    }
    for (json::Member &m : detail.members)
        if (m.name == "identical" && m.value.kind == K::Bool) m.value.boolean = identical;
}

void restrict_to_text(Report &r) {
    std::vector<Difference> kept;
    for (Difference &d : r.differences)
        if (text_kind(d.type))
            kept.push_back(std::move(d));
    r.differences = std::move(kept);
    r.document.clear();
    r.identical = r.differences.empty();
}

std::string count(long long n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::size_t pages_with_differences(const Report &r) {
    std::set<long long> pages;
    for (const Difference &d : r.differences) pages.insert(d.page);
    return pages.size();
}

std::string summary(const Report &r) {
    if (r.identical) return "identical (" + count(r.pages_compared, "page", "pages") + ")";
    const std::string document =
        count(static_cast<long long>(r.document.size()), "document difference", "document differences");
    if (r.differences.empty() && !r.document.empty()) return document;
    std::string s = count(static_cast<long long>(r.differences.size()), "difference", "differences") + " on " +
                    std::to_string(pages_with_differences(r)) + " of " + count(r.pages_compared, "page", "pages");
    if (!r.document.empty()) s += " and " + document;
    return s;
}

std::string look_change(const PaintChange &c) {
    std::string out;
    auto add = [&](const char *what, const std::string &from, const std::string &to) {
        if (from == to) return;
        if (!out.empty()) out += ", ";
        out += std::string(what) + " " + from + " -> " + to;
    };
    auto size = [](double v) {
        char b[32];
        std::snprintf(b, sizeof b, "%.2f", v);
        std::string s = b;
        while (!s.empty() && s.back() == '0') s.pop_back();
        if (!s.empty() && s.back() == '.') s.pop_back();
        return s;
    };
    add("font", c.old_look.font, c.new_look.font);
    add("size", size(c.old_look.size), size(c.new_look.size));
    add("colour", c.old_look.color, c.new_look.color);
    return out.empty() ? "look" : out;
}

}  // namespace report
