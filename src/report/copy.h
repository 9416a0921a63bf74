// Copying objects of a source document into the visual report under new
// numbers, and rewriting the references in what is copied.
//
// The work is textual: references are found by scanning bytes for an
// object number, an optional generation and the letter R.  Every object
// reachable from the resources of the pages shown is copied exactly once;
// a reference to an object the document lacks is copied as a null object,
// so every number the report names exists in it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "../bytebuf.h"
#include "../document/document.h"

namespace morvex {

// Old object number -> new object number in the report.
struct Renumbering {
    std::vector<int32_t> old_nums;  // in the order the objects are written
    std::unordered_map<int32_t, int32_t> new_of;
    int32_t find(int32_t old_num) const {
        auto it = new_of.find(old_num);
        return it == new_of.end() ? -1 : it->second;
    }
};

// The text of the resources dictionary of a page (given by the object
// whose /Resources applies, see PageEntry::resources_obj), or nullopt.
std::optional<std::string> page_resources_dict(const PdfDocument &doc, int32_t resources_obj);

// Stores the object numbers of up to max references ("N R" or "N G R")
// found in text, in order, into out; returns how many were stored.
int collect_text_refs(std::string_view text, int32_t *out, int max);

// Calls visit(num) for every reference in text, in order.
template <class Visit>
void for_each_text_ref(std::string_view text, Visit visit);

// A copy of text in which every "N G R" whose N the table renumbers names
// the new number as "M 0 R".  Other bytes, NUL included, are kept.
std::string remap_res_text(std::string_view text, const Renumbering &table);

// The objects reachable from the resources of the given pages of doc, in
// breadth-first order from the references of each page's resources in
// page order.  Each number appears once.
std::vector<int32_t> collect_copy_list(const PdfDocument &doc, const std::vector<int32_t> &page_indexes);

// Appends one copied object to the report: "M 0 obj", its text with the
// references renumbered (stream data verbatim), "endobj".  A number the
// document lacks becomes a null object.
void write_copied_object(ByteBuf *out, const PdfDocument &doc, int32_t old_num, int32_t new_num,
                         const Renumbering &table);

// -- implementation of the template --

namespace detail {
// Length of the reference pattern at text[i] (a digit), or 0; *num gets
// the object number.  With need_gen the generation must be present.
size_t match_ref(std::string_view text, size_t i, bool need_gen, int64_t *num, size_t *digits_end);

// What a walk over references does with the one it was shown.
enum class RefStep { take, pass, stop };

// The one walk over the references of a text: at every digit run that
// starts a reference, calls on_ref(position, length, number).  `take`
// resumes after the reference, `pass` after the digit run (as for a digit
// run that starts no reference), `stop` ends the walk.
template <class OnRef>
void walk_refs(std::string_view text, bool need_gen, OnRef on_ref) {
    size_t i = 0;
    while (i < text.size()) {
        if (!is_digit(static_cast<u8>(text[i]))) {
            ++i;
            continue;
        }
        int64_t num = 0;
        size_t digits_end = i;
        const size_t n = match_ref(text, i, need_gen, &num, &digits_end);
        const RefStep step = n ? on_ref(i, n, static_cast<int32_t>(num)) : RefStep::pass;
        if (step == RefStep::stop) return;
        i = step == RefStep::take ? i + n : digits_end;
    }
}
}  // namespace detail

template <class Visit>
void for_each_text_ref(std::string_view text, Visit visit) {
    detail::walk_refs(text, false, [&](size_t, size_t, int32_t num) {
        return visit(num) ? detail::RefStep::take : detail::RefStep::stop;
    });
}

}  // namespace morvex
