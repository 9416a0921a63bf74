// Text run accumulation: shown bytes become words with boxes and the page
// text; image placements are recorded beside them.
//
// Every byte of every shown string goes through interp_emit_string, which
// measures it with the current font's width table, turns it into a code
// point and adds it to the word under way.  White space in a string, a
// large TJ adjustment, the positioning operators and the end of the page
// end a word (interp_flush_word): it becomes a TextItem and is appended,
// followed by one space, to the page text.  A word read through a font
// object waits for the rest of its line first: a line of single characters
// joins where its gaps are alike (see text_runs.cpp).
#pragma once

#include <cstddef>

#include "interp.h"

namespace morvex {

// Starting values: font size 12, leading 14, identity matrices, no font,
// nothing saved, empty word and page text.
void interp_init(InterpState *st);

// Feeds the bytes of one shown string.
void interp_emit_string(InterpState *st, const unsigned char *bytes, size_t len);

// Ends the word under way, if any.
void interp_flush_word(InterpState *st);

// Adds a finished word to the items and the page text.  With may_join, a
// word that ends in a hyphen is held back: when the next word starts the
// next line with a letter (a lower-case one after a hard hyphen), the two
// become one word (see text_runs.cpp).
void interp_store_word(InterpState *st, TextItem &&item, bool may_join);

// Ends the word under way and stores a held one: the page's words are
// complete afterwards.
void interp_finish_words(InterpState *st);

// A positioning operator (BT, ET, Td, TD, T*, Tm, ' and ") moved the text
// position.  With no font or a font without a font object it ends the word;
// with a font object the next glyph decides by where it lands.
void interp_text_moved(InterpState *st);

// A number inside a TJ array.  With a font object it moves the position
// back by v/1000 of the font size (scaled horizontally; in vertical writing
// down the column, unscaled); without one it
// moves nothing and ends the word when |v| > 150.
void interp_tj_adjust(InterpState *st, double v);

// Records an image placement: the box spanned by the images of the unit
// square's corners (0,0) and (1,1) under the CTM; a side below 1 counts 32.
void interp_add_image(InterpState *st, const char *name);

// Ends the word under way and releases everything; the state reads as
// empty (all zero) afterwards.
void interp_free(InterpState *st);

}  // namespace morvex
