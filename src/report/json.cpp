#include "json.h"

#include <cstring>

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

bool in_text_report(const DiffEntry &e) {
    return std::strncmp(e.type, "text_", 5) == 0 || std::strcmp(e.type, "page_added") == 0 ||
           std::strcmp(e.type, "page_removed") == 0;
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
        buf_str(buf, "}");
    }
    buf_str(buf, "]}");
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

}  // namespace morvex

namespace morvex {

bool build_detail_json(const PdfDocument &, const PdfDocument &, const DiffList &list, ByteBuf *buf) {
    return build_compare_json(list, buf);
}

}  // namespace morvex
