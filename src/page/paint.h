// What a page paints, element by element, with the look of each as a value:
// the glyph runs of text-showing operators, painted paths, shadings and
// image placements, each with its visible box (default user space, clipped
// to the page and to the clip in effect) and a signature that two elements
// share exactly when they look alike.  Numbers are compared by value,
// strings by their decoded bytes and colours in RGB, so a content stream
// spelled another way paints the same elements.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvex {

enum class PaintKind : uint8_t { text, path, shading, image };

// A colour by value: RGB with 16 bits a channel in the low 48 bits; the
// bits above tell colours of a named, non-device colour space (or a
// pattern) apart from device colours of the same components.
using PaintColor = uint64_t;
constexpr PaintColor kBlack = 0;

// "#rrggbb" of the colour's RGB value.
std::string color_hex(PaintColor c);

struct PaintElement {
    PaintKind kind = PaintKind::path;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // visible box, x0 <= x1, y0 <= y1
    uint64_t sig = 0;                       // the look, its place aside
    // Text: the look without the words (font, size, colours, render mode,
    // scaling, rise), the words, and what a report says of the look.
    uint64_t style = 0;
    std::string text;  // UTF-8
    std::string font;  // the font's name without a subset tag
    double size = 0;   // on the page, in points
    PaintColor fill = kBlack, stroke = kBlack;
    int render = 0;
    // What it does to what lies beneath, for telling which changes no one
    // can see.  cover: it paints every point of its box opaquely (an
    // axis-aligned rectangle filled in an opaque colour, within a clip that
    // is a rectangle too).  white: all it paints is opaque white, so over
    // nothing on a white page it shows nothing.
    bool cover = false;
    bool white = false;
};

struct PagePaint {
    std::vector<PaintElement> elements;  // in painting order
    // The page's visible area (default user space), which every box lies in.
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    // False when the content could not be read or held more elements than
    // kMaxPaintElements: the list then says nothing for sure.
    bool complete = false;
};
constexpr size_t kMaxPaintElements = 100000;

}  // namespace morvex
