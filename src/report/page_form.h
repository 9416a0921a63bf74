// The form XObject that shows one source page inside a report page: the
// page's content as the form's stream, its resources renumbered, its box as
// the bounding box and its placement as the matrix, so that the form draws
// the page as a viewer displays it, with its lower-left corner at the
// origin.
#pragma once

#include <string_view>

#include "../bytebuf.h"
#include "../document/document.h"
#include "copy.h"
#include "overlay.h"

namespace morvex {

// How the form holds the page's content.
enum class FormContent {
    // Always decoded (joined when the page has several content streams).
    decoded,
    // A page with one content stream whose filters and parameters are
    // written out directly keeps the stream's encoded bytes and its /Filter
    // and /DecodeParms: no decoding, and the report stays as small as the
    // source.  Other pages are decoded.
    keep_encoded,
};

// Appends the form's stream object text (dictionary, "stream", data,
// "endstream"; no object header).  A page whose content cannot be read
// gets an empty form on the default Letter box.
void put_page_form(ByteBuf *out, const PdfDocument &doc, const PageEntry &page, const Placement &pl,
                   const Renumbering &table, FormContent how);

// The data of a stream object as it stands in the file, the end-of-line
// before "endstream" left out where the data was found by searching for
// the keyword.
std::string_view raw_stream_data(const PdfDocument &doc, const ObjectEntry &e);

}  // namespace morvex
