// Annotations page by page (links and markup annotations) and the form
// fields of the AcroForm by fully qualified name.
#include <unordered_map>

#include "items.h"

namespace morvex::docinfo {

namespace {

// Annotations read per page; a page listing more says so.
constexpr int kMaxAnnotations = 4096;
constexpr int kMaxFields = 10000;
constexpr int kMaxFieldDepth = 32;
constexpr int kMaxOptions = 1000;
constexpr int kMaxValues = 1000;

void add_cut(std::vector<DocItem> *items, int page, const char *what) {
    DocItem cut;
    cut.page = page;
    cut.problem = what;
    items->push_back(std::move(cut));
}

// The entries of an annotation the comparison reads, found in one pass
// over its dictionary (a page of links reads each one once).
struct AnnotKeys {
    Val subtype, rect, dest, action, contents, author;
};

AnnotKeys annot_keys(const Reader &r, Val a) {
    AnnotKeys k;
    r.each_key(a, [&](std::string_view key, Val v) {
        if (key == "Subtype") k.subtype = v;
        else if (key == "Rect") k.rect = v;
        else if (key == "Dest") k.dest = v;
        else if (key == "A") k.action = v;
        else if (key == "Contents") k.contents = v;
        else if (key == "T") k.author = v;
        return true;
    });
    return k;
}

void read_link(const Reader &r, Destinations &dests, const AnnotKeys &k, int page, DocSection *out) {
    DocItem it;
    it.page = page;
    it.has_rect = read_rect(r, k.rect, &it.rect);
    Members m;
    read_target(r, dests, k.dest, r.resolve(k.action), &m, &it);
    it.members = m.str();
    if (!it.has_rect && it.problem.empty()) it.problem = "no rectangle";
    out->links.push_back(std::move(it));
}

void read_markup(const Reader &r, const AnnotKeys &k, const std::string &subtype, int page, DocSection *out) {
    DocItem it;
    it.page = page;
    it.has_rect = read_rect(r, k.rect, &it.rect);
    Members m;
    m.text("subtype", subtype);
    m.text("contents", r.text(k.contents));
    m.text("author", r.text(k.author));
    it.members = m.str();
    out->annotations.push_back(std::move(it));
}

// A field's value: a text, a name, a list of them; "(stream)" for rich text.
std::string value_json(const Reader &r, Val v) {
    v = r.resolve(v);
    if (v.is_string() || v.is_name()) return json_string(r.text(v));
    if (v.is_array()) {
        std::string s = "[";
        int n = 0;
        r.each_item(v, kMaxValues, [&](Val item) {
            s += (n++ ? "," : "") + json_string(r.text(item));
            return true;
        });
        return s + "]";
    }
    if (v.is_dict()) return json_string("(stream)");
    return v.ok() ? json_string(std::string(reinterpret_cast<const char *>(v.data + v.pos),
                                            static_cast<size_t>(skip_value(v.data, v.end, v.pos) - v.pos)))
                  : "null";
}

// The choices of /Opt, each its shown text (the second of a pair).
std::string options_json(const Reader &r, Val opt) {
    std::string s = "[";
    int n = 0;
    r.each_item(r.resolve(opt), kMaxOptions, [&](Val item) {
        item = r.resolve(item);
        if (item.is_array()) {
            Val shown;
            int k = 0;
            r.each_item(item, 2, [&](Val x) {
                if (k++ == 1 || !shown.ok()) shown = x;
                return true;
            });
            item = shown;
        }
        s += (n++ ? "," : "") + json_string(r.text(item));
        return true;
    });
    return s + "]";
}

// Where a field's widgets stand: the page and rectangle of the first one.
struct WidgetPlace {
    int page = -1;
    DiffRect rect;
    bool has_rect = false;
};

// Entries a field inherits from its ancestors.
struct Inherited {
    std::string name;
    Val ft, v, ff, opt;
};

struct FieldWalk {
    const Reader &r;
    const std::unordered_map<int32_t, WidgetPlace> &widgets;
    DocSection *out;
    ObjectNumberSet seen;
    std::unordered_map<std::string, int> names;
    bool cut = false;

    void widget_place(Val ref, Val w, DocItem *it, bool *appearance) {
        if (r.get(w, "AP").ok()) *appearance = true;
        if (it->page >= 0) return;
        const auto found = widgets.find(Reader::ref(ref));
        if (found != widgets.end()) {
            it->page = found->second.page;
            it->rect = found->second.rect;
            it->has_rect = found->second.has_rect;
            return;
        }
        it->page = r.page_of_object(Reader::ref(r.raw(w, "P")));
        it->has_rect = read_rect(r, r.get(w, "Rect"), &it->rect);
    }

    void terminal(Val ref, Val f, const Inherited &in) {
        DocItem it;
        it.key = in.name;
        if (const int n = ++names[it.key]; n > 1) it.key += " #" + std::to_string(n);
        const std::string type = Reader::name(in.ft);
        const int64_t flags = r.integer(in.ff, 0);
        Members m;
        m.text("type", type);
        m.raw("value", value_json(r, in.v));
        if (in.opt.ok()) m.raw("options", options_json(r, in.opt));
        m.boolean("read_only", (flags & 1) != 0);
        bool appearance = false;
        const Val kids = r.get(f, "Kids");
        if (kids.is_array()) {
            r.each_item(kids, kMaxAnnotations, [&](Val k) {
                widget_place(k, r.resolve(k), &it, &appearance);
                return true;
            });
        } else {
            widget_place(ref, f, &it, &appearance);
        }
        m.boolean("appearance", appearance);
        it.members = m.str();
        out->fields.push_back(std::move(it));
    }

    void walk(Val ref, const Inherited &parent, int depth) {
        if (cut) return;
        const int32_t num = Reader::ref(ref);
        if (num > 0 && !seen.insert(num)) return;  // a loop, or a field listed twice
        const Val f = r.resolve(ref);
        if (!f.is_dict()) return;
        if (static_cast<int>(out->fields.size()) >= kMaxFields || depth > kMaxFieldDepth) {
            cut = true;
            return;
        }
        Inherited in = parent;
        const Val t = r.get(f, "T");
        if (t.ok()) in.name = parent.name.empty() ? r.text(t) : parent.name + "." + r.text(t);
        auto take = [&](Val *slot, const char *key) {
            const Val v = r.raw(f, key);
            if (v.ok()) *slot = v;
        };
        take(&in.ft, "FT");
        take(&in.v, "V");
        take(&in.ff, "Ff");
        take(&in.opt, "Opt");
        // Kids with a /T are fields; kids without one are this field's widgets.
        bool field_kids = false;
        const Val kids = r.get(f, "Kids");
        r.each_item(kids, kMaxAnnotations, [&](Val k) {
            field_kids = r.get(r.resolve(k), "T").ok();
            return !field_kids;
        });
        if (!field_kids) {
            terminal(ref, f, in);
            return;
        }
        r.each_item(kids, kMaxAnnotations, [&](Val k) {
            walk(k, in, depth + 1);
            return !cut;
        });
    }
};

}  // namespace

void read_page_annotations(const Reader &r, Destinations &dests, bool links, bool annots, DocSection *out) {
    const PdfDocument &doc = r.doc();
    for (int p = 0; p < doc.page_count(); ++p) {
        const Val page = r.object(doc.pages[static_cast<size_t>(p)].obj_num);
        const Val list = r.get(page, "Annots");
        if (!list.is_array()) continue;
        int n = 0;
        r.each_item(list, kMaxAnnotations + 1, [&](Val ref) {
            if (++n > kMaxAnnotations) {
                if (links) add_cut(&out->links, p, "the page holds more than 4096 annotations: the rest is not read");
                if (annots) add_cut(&out->annotations, p, "the page holds more than 4096 annotations: the rest is not read");
                return false;
            }
            const Val a = r.resolve(ref);
            if (!a.is_dict()) return true;
            const AnnotKeys k = annot_keys(r, a);
            const std::string subtype = Reader::name(r.resolve(k.subtype));
            // Popups show their parent's text; widgets belong to fields.
            if (subtype == "Popup" || subtype == "Widget") return true;
            if (subtype == "Link") {
                if (links) read_link(r, dests, k, p, out);
            } else if (annots) {
                read_markup(r, k, subtype, p, out);
            }
            return true;
        });
    }
}

void read_fields(const Reader &r, DocSection *out) {
    const Val form = r.get(catalog(r), "AcroForm");
    const Val fields = r.get(form, "Fields");
    if (!fields.is_array()) return;
    // Widgets on the pages, by object number: where a field stands.
    std::unordered_map<int32_t, WidgetPlace> widgets;
    const PdfDocument &doc = r.doc();
    for (int p = 0; p < doc.page_count(); ++p) {
        const Val list = r.get(r.object(doc.pages[static_cast<size_t>(p)].obj_num), "Annots");
        r.each_item(list, kMaxAnnotations, [&](Val ref) {
            const int32_t num = Reader::ref(ref);
            if (num <= 0 || widgets.count(num)) return true;
            const Val a = r.resolve(ref);
            if (Reader::name(r.get(a, "Subtype")) != "Widget") return true;
            WidgetPlace w;
            w.page = p;
            w.has_rect = read_rect(r, r.get(a, "Rect"), &w.rect);
            widgets.emplace(num, w);
            return true;
        });
    }
    FieldWalk walk{r, widgets, out, ObjectNumberSet(doc.max_obj_num, 256), {}, false};
    r.each_item(fields, kMaxFields, [&](Val ref) {
        walk.walk(ref, Inherited{}, 0);
        return !walk.cut;
    });
    if (walk.cut) {
        DocItem cut;
        cut.key = "(fields)";
        cut.problem = "the form is cut: more than 10000 fields, or deeper than 32 levels";
        out->fields.push_back(std::move(cut));
    }
}

}  // namespace morvex::docinfo
