#include "json.h"

#include <array>
#include <cstring>

#include "numbers.h"

namespace morvex {

namespace {

void put_head(ByteBuf *buf, bool identical, int pages_compared) {
    buf_str(buf, "{\"identical\":");
    buf_str(buf, identical ? "true" : "false");
    buf_str(buf, ",\"pages_compared\":");
    buf_int(buf, pages_compared);
    buf_str(buf, ",\"differences\":[");
}

void put_entry_start(ByteBuf *buf, const DiffEntry &e) {
    buf_str(buf, "{\"page\":");
    buf_int(buf, e.page);
    buf_str(buf, ",\"type\":\"");
    buf_str(buf, e.type);
    buf_str(buf, "\"");
}

void put_side_page(ByteBuf *buf, const char *name, int page) {
    buf_str(buf, name);
    if (page > 0) buf_int(buf, page);
    else buf_str(buf, "null");
}

// Pages paired by content: each entry names its page on both sides.
void put_sides(ByteBuf *buf, const DiffList &list, const DiffEntry &e) {
    if (!list.content_pairing) return;
    put_side_page(buf, ",\"page_a\":", e.page_a);
    put_side_page(buf, ",\"page_b\":", e.page_b);
}

bool in_text_report(const DiffEntry &e) {
    return std::strncmp(e.type, "text_", 5) == 0 || std::strcmp(e.type, "page_added") == 0 ||
           std::strcmp(e.type, "page_removed") == 0 || std::strcmp(e.type, "page_moved") == 0;
}

void put_rect(ByteBuf *buf, bool has, const std::array<double, 4> &r) {
    if (!has) {
        buf_str(buf, "null");
        return;
    }
    for (int k = 0; k < 4; ++k) {
        buf_str(buf, k ? "," : "[");
        buf_str(buf, fmt_2f(r[static_cast<size_t>(k)]));
    }
    buf_str(buf, "]");
}

// ,"document":[...] when anything beside the pages differs; nothing else,
// so that a report without such differences keeps its plain form.
void put_document(ByteBuf *buf, const DiffList &list) {
    if (list.document.empty()) return;
    buf_str(buf, ",\"document\":[");
    for (size_t k = 0; k < list.document.size(); ++k) {
        const DocDiff &d = list.document[k];
        buf_str(buf, k ? ",{\"type\":\"" : "{\"type\":\"");
        buf_str(buf, d.type);
        buf_str(buf, "\"");
        if (!d.key.empty()) {
            buf_str(buf, ",\"key\":\"");
            json_escape(d.key, buf);
            buf_str(buf, "\"");
        }
        if (d.page_a > 0 || d.page_b > 0) {
            put_side_page(buf, ",\"page_a\":", d.page_a);
            put_side_page(buf, ",\"page_b\":", d.page_b);
            buf_str(buf, ",\"rect_a\":");
            put_rect(buf, d.has_rect_a, d.rect_a);
            buf_str(buf, ",\"rect_b\":");
            put_rect(buf, d.has_rect_b, d.rect_b);
        }
        buf_str(buf, ",\"old\":");
        buf_str(buf, d.old_json);
        buf_str(buf, ",\"new\":");
        buf_str(buf, d.new_json);
        if (!d.problem.empty()) {
            buf_str(buf, ",\"problem\":\"");
            json_escape(d.problem, buf);
            buf_str(buf, "\"");
        }
        buf_str(buf, "}");
    }
    buf_str(buf, "]");
}

}  // namespace

void json_escape(std::string_view s, ByteBuf *out) {
    size_t run = 0;  // start of the bytes not yet written
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        const char *esc = nullptr;
        char u[7];
        switch (c) {
        case '"': esc = "\\\""; break;
        case '\\': esc = "\\\\"; break;
        case '\b': esc = "\\b"; break;
        case '\f': esc = "\\f"; break;
        case '\n': esc = "\\n"; break;
        case '\r': esc = "\\r"; break;
        case '\t': esc = "\\t"; break;
        default:
            if (c >= 0x20) continue;
            static const char hex[] = "0123456789abcdef";
            u[0] = '\\', u[1] = 'u', u[2] = '0', u[3] = '0', u[4] = hex[c >> 4], u[5] = hex[c & 15], u[6] = 0;
            esc = u;
        }
        buf_bytes(out, s.data() + run, i - run);
        buf_str(out, esc);
        run = i + 1;
    }
    buf_bytes(out, s.data() + run, s.size() - run);
}

bool build_compare_json(const DiffList &list, ByteBuf *buf) {
    buf_reset(buf);
    put_head(buf, list.identical != 0, list.pages_compared);
    for (size_t k = 0; k < list.entries.size(); ++k) {
        if (k) buf_str(buf, ",");
        put_entry_start(buf, list.entries[k]);
        put_sides(buf, list, list.entries[k]);
        buf_str(buf, "}");
    }
    buf_str(buf, "]");
    put_document(buf, list);
    buf_str(buf, "}");
    return !buf->oom && buf->data;
}

bool build_text_json(const DiffList &list, ByteBuf *buf) {
    bool any = false;
    for (const DiffEntry &e : list.entries) any = any || in_text_report(e);
    buf_reset(buf);
    put_head(buf, !any, list.pages_compared);
    bool first = true;
    for (const DiffEntry &e : list.entries) {
        if (!in_text_report(e)) continue;
        if (!first) buf_str(buf, ",");
        first = false;
        put_entry_start(buf, e);
        put_sides(buf, list, e);
        if (e.text) {
            buf_str(buf, ",\"diff\":\"");
            json_escape(*e.text, buf);
            buf_str(buf, "\"");
        }
        buf_str(buf, "}");
    }
    buf_str(buf, "]}");
    return !buf->oom && buf->data;
}

namespace {

void put_number(ByteBuf *buf, double v) { buf_str(buf, fmt_2f(v)); }

// [[x0,y0,x1,y1],...] in the top-left convention of the page.
void put_rects(ByteBuf *buf, const char *name, const std::vector<DiffRect> &rects, const PageEntry *page) {
    buf_str(buf, name);
    buf_str(buf, "[");
    for (size_t k = 0; page && k < rects.size(); ++k) {
        const TopLeftRect t = to_top_left(*page, rects[k]);
        buf_str(buf, k ? ",[" : "[");
        put_number(buf, t.x0);
        buf_str(buf, ",");
        put_number(buf, t.y0);
        buf_str(buf, ",");
        put_number(buf, t.x1);
        buf_str(buf, ",");
        put_number(buf, t.y1);
        buf_str(buf, "]");
    }
    buf_str(buf, "]");
}

// {"width":W,"height":H,"rotation":R} as displayed, or null.
void put_size(ByteBuf *buf, const char *name, const PageEntry *page) {
    buf_str(buf, name);
    if (!page) {
        buf_str(buf, "null");
        return;
    }
    double w, h;
    displayed_size(*page, &w, &h);
    buf_str(buf, "{\"width\":");
    put_number(buf, w);
    buf_str(buf, ",\"height\":");
    put_number(buf, h);
    buf_str(buf, ",\"rotation\":");
    buf_int(buf, page->rotate);
    buf_str(buf, "}");
}

// An image whose pixels changed: its size in samples on both sides.
void put_pixels(ByteBuf *buf, const DiffEntry::Pixels &p) {
    buf_str(buf, ",\"image\":{\"kind\":\"image\",\"old\":{\"width\":");
    buf_int(buf, p.old_w);
    buf_str(buf, ",\"height\":");
    buf_int(buf, p.old_h);
    buf_str(buf, "},\"new\":{\"width\":");
    buf_int(buf, p.new_w);
    buf_str(buf, ",\"height\":");
    buf_int(buf, p.new_h);
    buf_str(buf, "}}");
}

void put_look(ByteBuf *buf, const char *name, const PaintLook &l) {
    buf_str(buf, name);
    buf_str(buf, "{\"font\":\"");
    json_escape(l.font, buf);
    buf_str(buf, "\",\"size\":");
    buf_str(buf, fmt_f(l.size));
    buf_str(buf, ",\"color\":\"");
    buf_str(buf, l.color);
    buf_str(buf, "\"}");
}

void put_paint_changes(ByteBuf *buf, const std::vector<PaintChange> &changes, const PageEntry *pa,
                       const PageEntry *pb) {
    buf_str(buf, ",\"paint_changes\":[");
    for (size_t c = 0; c < changes.size(); ++c) {
        const PaintChange &p = changes[c];
        buf_str(buf, c ? ",{\"kind\":\"" : "{\"kind\":\"");
        buf_str(buf, p.kind);
        buf_str(buf, "\"");
        if (std::strcmp(p.kind, "style") == 0) {
            buf_str(buf, ",\"text\":\"");
            json_escape(p.text, buf);
            buf_str(buf, "\"");
            put_look(buf, ",\"old\":", p.old_look);
            put_look(buf, ",\"new\":", p.new_look);
        }
        put_rects(buf, ",\"rects_a\":", p.rects_a, pa);
        put_rects(buf, ",\"rects_b\":", p.rects_b, pb);
        buf_str(buf, "}");
    }
    buf_str(buf, "]");
}

const PageEntry *page_of(const PdfDocument &d, int page) {
    return page > 0 && page <= d.page_count() ? &d.pages[static_cast<size_t>(page - 1)] : nullptr;
}

}  // namespace

bool build_detail_json(const PdfDocument &a, const PdfDocument &b, const DiffList &list, ByteBuf *buf) {
    buf_reset(buf);
    put_head(buf, list.identical != 0, list.pages_compared);
    for (size_t k = 0; k < list.entries.size(); ++k) {
        const DiffEntry &e = list.entries[k];
        const PageEntry *pa = page_of(a, e.page_a), *pb = page_of(b, e.page_b);
        if (k) buf_str(buf, ",");
        put_entry_start(buf, e);
        put_side_page(buf, ",\"page_a\":", e.page_a);
        put_side_page(buf, ",\"page_b\":", e.page_b);
        put_size(buf, ",\"size_a\":", pa);
        put_size(buf, ",\"size_b\":", pb);
        put_rects(buf, ",\"rects_a\":", e.rects_a, pa);
        put_rects(buf, ",\"rects_b\":", e.rects_b, pb);
        if (e.pixels) put_pixels(buf, *e.pixels);
        if (std::strncmp(e.type, "text_", 5) == 0) {
            buf_str(buf, ",\"changes\":[");
            for (size_t c = 0; c < e.changes.size(); ++c) {
                const WordChange &w = e.changes[c];
                buf_str(buf, c ? ",{\"op\":\"" : "{\"op\":\"");
                buf_str(buf, w.op);
                buf_str(buf, "\",\"old\":\"");
                json_escape(w.old_text, buf);
                buf_str(buf, "\",\"new\":\"");
                json_escape(w.new_text, buf);
                buf_str(buf, "\",\"before\":\"");
                json_escape(w.before, buf);
                buf_str(buf, "\",\"after\":\"");
                json_escape(w.after, buf);
                buf_str(buf, "\"");
                put_rects(buf, ",\"rects_a\":", w.rects_a, pa);
                put_rects(buf, ",\"rects_b\":", w.rects_b, pb);
                buf_str(buf, "}");
            }
            buf_str(buf, "]");
        }
        if (!e.paint.empty()) put_paint_changes(buf, e.paint, pa, pb);
        buf_str(buf, "}");
    }
    buf_str(buf, "]");
    put_document(buf, list);
    buf_str(buf, ",\"pairs\":[");
    for (size_t k = 0; k < list.pairs.size(); ++k) {
        buf_str(buf, k ? ",{" : "{");
        put_side_page(buf, "\"page_a\":", list.pairs[k].a + 1);
        put_side_page(buf, ",\"page_b\":", list.pairs[k].b + 1);
        buf_str(buf, "}");
    }
    buf_str(buf, "]}");
    return !buf->oom && buf->data;
}

}  // namespace morvex
