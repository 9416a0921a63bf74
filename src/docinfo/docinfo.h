// The document-level comparison: what a document holds beside what its
// pages paint (metadata, outline, links, annotations, form fields,
// embedded files, page labels), read from the newest revision and compared
// after the pages, with targets mapped through the page pairing.
#pragma once

#include "../compare/diff.h"
#include "../options/options.h"

namespace morvex {

// Compares the kinds `opts.document_kinds` names between a and b and
// appends what differs to list->document (identical cleared when anything
// does).  list->pairs must hold the page pairing.  Never throws on bad
// input: what cannot be read is said in the entries.
void compare_document(const PdfDocument &a, const PdfDocument &b, const CompareOptions &opts, DiffList *list);

}  // namespace morvex
