#include "document.h"

namespace morvex {

// Object streams are not unpacked yet: objects kept in them are not found.
void expand_object_streams(PdfDocument *) {}

}  // namespace morvex
