// The pieces the document-level readers share: JSON members, rectangles,
// and where destinations and actions lead.
#include <algorithm>
#include <cstdio>

#include "../report/json.h"
#include "items.h"

namespace morvex::docinfo {

std::string json_string(std::string_view s) {
    // Names and raw tokens may hold any bytes; a report holds UTF-8 only.
    std::string valid;
    copy_utf8(s, &valid);
    ByteBuf b;
    json_escape(valid, &b);
    return "\"" + std::string(b.view()) + "\"";
}

void Members::start(const char *name) {
    if (!s_.empty()) s_ += ',';
    s_ += '"';
    s_ += name;
    s_ += "\":";
}

Members &Members::text(const char *name, std::string_view s) {
    start(name);
    s_ += json_string(s);
    return *this;
}

Members &Members::raw(const char *name, std::string_view json) {
    start(name);
    s_ += json;
    return *this;
}

Members &Members::number(const char *name, int64_t v) {
    start(name);
    s_ += std::to_string(v);
    return *this;
}

Members &Members::boolean(const char *name, bool v) {
    start(name);
    s_ += v ? "true" : "false";
    return *this;
}

Val catalog(const Reader &r) { return r.object(r.doc().catalog_obj); }

bool read_rect(const Reader &r, Val v, DiffRect *out) {
    double n[4];
    int k = 0;
    bool ok = true;
    r.each_item(r.resolve(v), 5, [&](Val item) {
        if (k == 4 || !r.number(item, &n[k])) ok = false;
        else ++k;
        return ok;
    });
    if (!ok || k != 4) return false;
    for (const double x : n)
        if (!(x > -1e7 && x < 1e7)) return false;
    out->x = std::min(n[0], n[2]);
    out->y = std::min(n[1], n[3]);
    out->w = std::max(n[0], n[2]) - out->x;
    out->h = std::max(n[1], n[3]) - out->y;
    return true;
}

void Destinations::load() {
    loaded_ = true;
    const Val cat = catalog(r_);
    // Older files: a dictionary of names.
    r_.each_key(r_.get(cat, "Dests"), [&](std::string_view key, Val v) {
        named_.emplace(std::string(key), v);
        return named_.size() < 200000;
    });
    walk_tree(r_, r_.get(r_.get(cat, "Names"), "Dests"), false,
              [&](const std::string &key, Val v) { named_.emplace(key, v); });
}

Target Destinations::explicit_dest(Val array) const {
    Target t;
    Val first;
    r_.each_item(array, 1, [&](Val item) {
        first = item;
        return false;
    });
    if (!first.ok()) {
        t.problem = "destination without a page";
        return t;
    }
    const int32_t num = Reader::ref(first);
    if (num > 0) {
        t.page = r_.page_of_object(num);
    } else {
        // Some writers give a page number where a page object belongs.
        const int64_t n = r_.integer(first, -1);
        t.page = n >= 0 && n < r_.doc().page_count() ? static_cast<int>(n) : -1;
    }
    if (t.page < 0) t.problem = "target page not found";
    return t;
}

Target Destinations::resolve(Val dest) {
    dest = r_.resolve(dest);
    if (dest.is_dict()) dest = r_.get(dest, "D");
    if (dest.is_array()) return explicit_dest(dest);
    std::string name;
    if (dest.is_name()) name = Reader::name(dest);
    else if (!r_.bytes(dest, &name)) return Target{-1, {}, dest.ok() ? "destination cannot be read" : ""};
    if (!loaded_) load();
    Target t;
    const auto it = named_.find(name);
    Val d = it == named_.end() ? Val{} : r_.resolve(it->second);
    if (d.is_dict()) d = r_.get(d, "D");
    if (d.is_array()) t = explicit_dest(d);
    if (t.page < 0) {
        t.name = shown_text(decode_text_string(name));
        t.problem = it == named_.end() ? "named destination not found" : t.problem;
        if (t.problem.empty()) t.problem = "named destination cannot be read";
    }
    return t;
}

void read_target(const Reader &r, Destinations &dests, Val dest, Val action, Members *m, DocItem *item) {
    action = r.resolve(action);
    if (!dest.ok() && action.is_dict()) {
        const std::string s = Reader::name(r.get(action, "S"));
        if (s == "URI") {
            m->text("uri", r.text(r.get(action, "URI")));
            return;
        }
        if (s != "GoTo") {
            m->text("action", s.empty() ? "unknown" : s);
            Val f = r.get(action, "F");
            if (f.is_dict()) f = r.get(f, "UF").ok() ? r.get(f, "UF") : r.get(f, "F");
            if (f.ok()) m->text("file", r.text(f));
            if (s == "GoToR" || s == "GoToE") {
                const Val d = r.get(action, "D");
                if (d.is_name() || d.is_string()) m->text("dest", r.text(d));
            } else if (s == "Named") {
                m->text("name", Reader::name(r.get(action, "N")));
            }
            return;
        }
        dest = r.get(action, "D");
        if (!dest.ok()) {
            item->problem = "GoTo action without a destination";
            return;
        }
    }
    if (!dest.ok()) return;
    const Target t = dests.resolve(dest);
    item->target = t.page;
    if (!t.name.empty()) m->text("dest", t.name);
    item->problem = t.problem;
}

}  // namespace morvex::docinfo
