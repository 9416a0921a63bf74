#include "visual.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "../library_state.h"
#include "copy.h"
#include "numbers.h"
#include "overlay.h"
#include "page_form.h"
#include "side_marks.h"

namespace morvex {

namespace {

struct DocMark {
    size_t index;  // into list.document
    bool side_a;
};

// The report page (1-based, at most `pages`) each rectangle of a document
// entry is drawn on.  Page i shows B's page i where B has one, so B's
// rectangle goes to its own page number and A's to the page of the B page
// it was paired with; an A page paired with none is shown by its number.
std::vector<std::vector<DocMark>> document_marks_by_page(const DiffList &list, int32_t pages) {
    std::vector<std::vector<DocMark>> out(static_cast<size_t>(pages) + 1);
    if (list.document.empty()) return out;
    std::unordered_map<int, int> b_of_a;  // 0-based
    for (const PagePair &p : list.pairs)
        if (p.a >= 0 && p.b >= 0) b_of_a.emplace(p.a, p.b);
    const auto add = [&](int page, size_t index, bool side_a) {
        if (page >= 1 && page <= pages) out[static_cast<size_t>(page)].push_back({index, side_a});
    };
    for (size_t k = 0; k < list.document.size(); ++k) {
        const DocDiff &d = list.document[k];
        if (d.has_rect_b) add(d.page_b, k, false);
        if (!d.has_rect_a || d.page_a < 1) continue;
        if (d.page_b > 0) {
            add(d.page_b, k, true);
            continue;
        }
        const auto paired = b_of_a.find(d.page_a - 1);
        add(paired != b_of_a.end() ? paired->second + 1 : d.page_a, k, true);
    }
    return out;
}

}  // namespace

bool build_visual_report(const PdfDocument &a, const PdfDocument &b, const DiffList &list, ByteBuf *out) {
    const int32_t pages = std::max(a.page_count(), b.page_count());
    // Pages B has are shown from B, the rest from A; each document's objects
    // are copied once, B's first.
    std::vector<int32_t> from_b, from_a;
    for (int32_t i = 0; i < pages; ++i) (i < b.page_count() ? from_b : from_a).push_back(i);
    const std::vector<int32_t> copy_b = collect_copy_list(b, from_b);
    const std::vector<int32_t> copy_a = collect_copy_list(a, from_a);
    Renumbering table_b, table_a;
    int32_t next = 3 * (pages + 1);
    for (int32_t num : copy_b) table_b.old_nums.push_back(num), table_b.new_of.emplace(num, next++);
    for (int32_t num : copy_a) table_a.old_nums.push_back(num), table_a.new_of.emplace(num, next++);
    const int32_t size = next;
    std::vector<uint64_t> offsets(static_cast<size_t>(size), 0);

    // The differences of each page, in list order.
    std::vector<std::vector<size_t>> entries_of(static_cast<size_t>(pages) + 1);
    for (size_t k = 0; k < list.entries.size(); ++k) {
        const int p = list.entries[k].page;
        if (p >= 1 && p <= pages) entries_of[static_cast<size_t>(p)].push_back(k);
    }

    const std::vector<std::vector<DocMark>> docs_of = document_marks_by_page(list, pages);

    buf_reset(out);
    buf_str(out, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    offsets[1] = out->len;
    buf_str(out, "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    offsets[2] = out->len;
    buf_str(out, "2 0 obj\n<< /Type /Pages /Kids [");
    for (int32_t i = 1; i <= pages; ++i) {
        buf_str(out, " ");
        buf_int(out, 3 * i);
        buf_str(out, " 0 R");
    }
    buf_str(out, " ] /Count ");
    buf_int(out, pages);
    buf_str(out, " >>\nendobj\n");

    for (int32_t i = 1; i <= pages; ++i) {
        const bool in_b = i <= b.page_count();
        const PdfDocument &doc = in_b ? b : a;
        const PageEntry &page = doc.pages[static_cast<size_t>(i - 1)];
        const Placement pl = placement_for(page);
        ByteBuf overlay;
        build_overlay_content(list, entries_of[static_cast<size_t>(i)], pl, &overlay);
        for (const DocMark &m : docs_of[static_cast<size_t>(i)])
            put_document_mark(&overlay, list.document[m.index], m.side_a, pl.page_h);

        offsets[static_cast<size_t>(3 * i)] = out->len;
        buf_int(out, 3 * i);
        buf_str(out, " 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ");
        put_f(out, {pl.page_w, pl.page_h});
        buf_str(out, "] /Contents ");
        buf_int(out, 3 * i + 2);
        buf_str(out, " 0 R /Resources << /XObject << /F0 ");
        buf_int(out, 3 * i + 1);
        buf_str(out, " 0 R >> /ExtGState << /GS_DIFF << /Type /ExtGState /ca 0.35 /CA 0.9 >> >> >> >>\nendobj\n");

        offsets[static_cast<size_t>(3 * i + 1)] = out->len;
        buf_int(out, 3 * i + 1);
        buf_str(out, " 0 obj\n");
        put_page_form(out, doc, page, pl, in_b ? table_b : table_a, FormContent::decoded);
        buf_str(out, "\nendobj\n");

        offsets[static_cast<size_t>(3 * i + 2)] = out->len;
        buf_int(out, 3 * i + 2);
        buf_str(out, " 0 obj\n<< /Length ");
        buf_int(out, static_cast<int64_t>(overlay.len));
        buf_str(out, " >>\nstream\n");
        buf_bytes(out, overlay.data, static_cast<size_t>(overlay.len));
        buf_str(out, "\nendstream\nendobj\n");
        if (overlay.oom) return false;
    }

    for (int32_t num : copy_b) {
        offsets[static_cast<size_t>(table_b.find(num))] = out->len;
        write_copied_object(out, b, num, table_b.find(num), table_b);
    }
    for (int32_t num : copy_a) {
        offsets[static_cast<size_t>(table_a.find(num))] = out->len;
        write_copied_object(out, a, num, table_a.find(num), table_a);
    }

    const uint64_t xref = out->len;
    buf_str(out, "xref\n0 ");
    buf_int(out, size);
    buf_str(out, "\n0000000000 65535 f \n");
    for (int32_t n = 1; n < size; ++n) {
        char row[32];
        std::snprintf(row, sizeof row, "%010llu 00000 n \n", static_cast<unsigned long long>(offsets[static_cast<size_t>(n)]));
        buf_str(out, row);
    }
    buf_str(out, "trailer\n<< /Size ");
    buf_int(out, size);
    buf_str(out, " /Root 1 0 R >>\nstartxref\n");
    buf_int(out, static_cast<int64_t>(xref));
    buf_str(out, "\n%%EOF\n");
    return !out->oom && out->data;
}

bool write_report_file(const char *path, const ByteBuf &bytes) {
    static std::atomic<unsigned> counter{0};
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = path;
        tmp += ".morvex-";
        tmp += std::to_string(::getpid());
        tmp += "-";
        tmp += std::to_string(counter++);
        tmp += ".tmp";
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        set_error("cannot open output file %s: %s", path, std::strerror(errno));
        return false;
    }
    size_t done = 0;
    bool ok = true;
    while (done < bytes.len) {
        const ssize_t w = ::write(fd, bytes.data + done, static_cast<size_t>(bytes.len - done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(w);
    }
    if (::close(fd) != 0) ok = false;
    if (!ok) {
        ::unlink(tmp.c_str());
        set_error("write error on %s", path);
        return false;
    }
    if (::rename(tmp.c_str(), path) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        set_error("cannot open output file %s: %s", path, std::strerror(err));
        return false;
    }
    return true;
}

}  // namespace morvex
