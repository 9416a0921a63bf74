// XObjects a content stream draws with Do: which names a resources
// dictionary gives them, and what a form XObject holds (its content, its
// matrix, its own resources).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "../bytebuf.h"
#include "interp.h"

namespace morvex {

// A value in the document's bytes: data[pos] is its first byte, end the
// exclusive limit of the text it lives in.
struct PdfValue {
    const u8 *data = nullptr;
    int32_t pos = -1;
    int32_t end = 0;
    bool ok() const { return data && pos >= 0 && pos < end; }
    bool is_dict() const { return ok() && pos + 1 < end && data[pos] == '<' && data[pos + 1] == '<'; }
};

// The text of object `num` at its first byte (its dictionary, for a
// stream), or a value that is not ok() when there is no such object.
PdfValue object_value(const PdfDocument &doc, int32_t num);

// The /Resources dictionary the page uses (its own or the nearest
// ancestor's), or a value that is not ok().
PdfValue page_resources(const PdfDocument &doc, const PageEntry &page);

// The value of /key among the top-level keys of the dictionary `dict`, with
// indirect references followed (a few levels); not ok() when absent.
PdfValue dict_get(const PdfDocument &doc, PdfValue dict, const char *key);

// The XObject names of one resources dictionary, read on the first lookup
// (one pass over its /XObject dictionary) and kept for later ones.
class XObjectNames {
public:
    XObjectNames() = default;
    explicit XObjectNames(PdfValue resources) : resources_(resources) {}
    // Object number of the XObject named `name`, or 0.
    int32_t find(const PdfDocument &doc, const char *name);
    // Whether the resources dictionary has an /XObject entry.
    bool present(const PdfDocument &doc) { return load(doc), present_; }
    // Every name with the object number find gives it.
    const std::unordered_map<std::string, int32_t> &entries(const PdfDocument &doc) {
        load(doc);
        return names_;
    }

private:
    void load(const PdfDocument &doc);
    PdfValue resources_;
    bool loaded_ = false;
    bool present_ = false;
    std::unordered_map<std::string, int32_t> names_;
};

// One form XObject as the page draws it.  Read once per page and kept, so
// that a form drawn many times is decoded and its fonts resolved once.
struct FormXObject {
    int32_t obj = 0;
    Matrix matrix = kIdentity;  // /Matrix, form space to the space Do was called in
    bool has_resources = false;
    PdfValue resources;  // when has_resources
    // /BBox in form space, which clips what the form paints.
    bool has_bbox = false;
    double bbox[4] = {};
    // /Font of the form's own resources; without it the form uses the fonts
    // of whatever drew it.
    bool has_fonts = false;
    std::vector<FontSlot> fonts;  // at most kMaxFontSlots
    // /XObject of the form's own resources; likewise.
    bool has_xobjects = false;
    XObjectNames names;
    ByteBuf content;        // decoded content, while kept
    bool decoded = false;   // content holds the decoded stream
    bool hashed = false;    // the content went into the page's hash
    bool active = false;    // being drawn now (a form that draws itself is skipped)
};

// Reads object `obj` as a form XObject: null when it is not one (an image,
// a missing object, anything without /Subtype /Form; an appearance stream
// may also have no /Subtype at all).  The content is not decoded here.
std::unique_ptr<FormXObject> read_form(const PdfDocument &doc, int32_t obj, bool appearance = false);

// An annotation's normal appearance: the form, and the matrix that maps
// the form's /BBox (through its /Matrix) onto the annotation's /Rect.
struct Appearance {
    int32_t obj = 0;
    Matrix placement = kIdentity;
};

// The appearances the page's annotations draw, in /Annots order: not
// hidden (flags Hidden and NoView), not Popup, with an /AP /N stream (or
// the state /AS names in an /N dictionary), a /Rect and a /BBox with area.
std::vector<Appearance> page_appearances(const PdfDocument &doc, const PageEntry &page);

// Decodes the form's content into form->content; false when it has none.
bool decode_form_content(const PdfDocument &doc, FormXObject *form);

}  // namespace morvex
