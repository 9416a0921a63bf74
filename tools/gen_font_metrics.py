#!/usr/bin/python3
"""Generates src/font/font_metrics_data.cpp from the AFM files in tools/afm/.

The twelve Latin tables (Helvetica, Courier and Times families) hold, for
each WinAnsiEncoding code, the WX width of the glyph that the encoding puts
there, with a handful of fixed adjustments.  The Symbol and ZapfDingbats
tables follow the character codes of their own AFM files.

Usage:
  gen_font_metrics.py [--afm-dir DIR] [--output FILE]
  gen_font_metrics.py [--afm-dir DIR] --check FILE

--check regenerates the file in memory and exits with status 1 when FILE
differs from it (0 when it is identical).  Standard library only.
"""

import argparse
import os
import sys

from generated import write_or_check

TOOLS_DIR = os.path.dirname(os.path.abspath(__file__))
REPO_DIR = os.path.dirname(TOOLS_DIR)
DEFAULT_AFM_DIR = os.path.join(TOOLS_DIR, "afm")
DEFAULT_OUTPUT = os.path.join(REPO_DIR, "src", "font", "font_metrics_data.cpp")

# PDF's WinAnsiEncoding: code -> glyph name.  Codes absent here have no glyph.
_ASCII_NAMES = (
    "space exclam quotedbl numbersign dollar percent ampersand quotesingle "
    "parenleft parenright asterisk plus comma hyphen period slash "
    "zero one two three four five six seven eight nine "
    "colon semicolon less equal greater question at "
    "A B C D E F G H I J K L M N O P Q R S T U V W X Y Z "
    "bracketleft backslash bracketright asciicircum underscore grave "
    "a b c d e f g h i j k l m n o p q r s t u v w x y z "
    "braceleft bar braceright asciitilde"
).split()

_HIGH_NAMES = {
    0x80: "Euro", 0x82: "quotesinglbase", 0x83: "florin", 0x84: "quotedblbase",
    0x85: "ellipsis", 0x86: "dagger", 0x87: "daggerdbl", 0x88: "circumflex",
    0x89: "perthousand", 0x8A: "Scaron", 0x8B: "guilsinglleft", 0x8C: "OE",
    0x8E: "Zcaron",
    0x91: "quoteleft", 0x92: "quoteright", 0x93: "quotedblleft",
    0x94: "quotedblright", 0x95: "bullet", 0x96: "endash", 0x97: "emdash",
    0x98: "tilde", 0x99: "trademark", 0x9A: "scaron", 0x9B: "guilsinglright",
    0x9C: "oe", 0x9E: "zcaron", 0x9F: "Ydieresis",
}

_LATIN1_NAMES = (
    # 0xA0
    "space exclamdown cent sterling currency yen brokenbar section "
    "dieresis copyright ordfeminine guillemotleft logicalnot hyphen registered macron "
    # 0xB0
    "degree plusminus twosuperior threesuperior acute mu paragraph periodcentered "
    "cedilla onesuperior ordmasculine guillemotright onequarter onehalf threequarters questiondown "
    # 0xC0
    "Agrave Aacute Acircumflex Atilde Adieresis Aring AE Ccedilla "
    "Egrave Eacute Ecircumflex Edieresis Igrave Iacute Icircumflex Idieresis "
    # 0xD0
    "Eth Ntilde Ograve Oacute Ocircumflex Otilde Odieresis multiply "
    "Oslash Ugrave Uacute Ucircumflex Udieresis Yacute Thorn germandbls "
    # 0xE0
    "agrave aacute acircumflex atilde adieresis aring ae ccedilla "
    "egrave eacute ecircumflex edieresis igrave iacute icircumflex idieresis "
    # 0xF0
    "eth ntilde ograve oacute ocircumflex otilde odieresis divide "
    "oslash ugrave uacute ucircumflex udieresis yacute thorn ydieresis"
).split()


def win_ansi_encoding():
    enc = {}
    assert len(_ASCII_NAMES) == 0x7F - 0x20
    for i, name in enumerate(_ASCII_NAMES):
        enc[0x20 + i] = name
    enc.update(_HIGH_NAMES)
    assert len(_LATIN1_NAMES) == 0x60
    for i, name in enumerate(_LATIN1_NAMES):
        enc[0xA0 + i] = name
    return enc


HELVETICA_FAMILY = ("Helvetica", "Helvetica-Oblique", "Helvetica-Bold", "Helvetica-BoldOblique")
COURIER_FAMILY = ("Courier", "Courier-Oblique", "Courier-Bold", "Courier-BoldOblique")
TIMES_FAMILY = ("Times-Roman", "Times-Italic", "Times-Bold", "Times-BoldItalic")
LATIN_FONTS = HELVETICA_FAMILY + COURIER_FAMILY + TIMES_FAMILY

# (font, table name) in output order.
TABLES = (
    ("Helvetica", "helvetica_widths"),
    ("Helvetica-Oblique", "helvetica_oblique_widths"),
    ("Helvetica-Bold", "helvetica_bold_widths"),
    ("Helvetica-BoldOblique", "helvetica_boldoblique_widths"),
    ("Courier", "courier_widths"),
    ("Courier-Oblique", "courier_oblique_widths"),
    ("Courier-Bold", "courier_bold_widths"),
    ("Courier-BoldOblique", "courier_boldoblique_widths"),
    ("Times-Roman", "times_roman_widths"),
    ("Times-Italic", "times_italic_widths"),
    ("Times-Bold", "times_bold_widths"),
    ("Times-BoldItalic", "times_bolditalic_widths"),
    ("Symbol", "symbol_widths"),
    ("ZapfDingbats", "zapfdingbats_widths"),
)


def latin_overrides(font, widths_by_name):
    """Fixed entries that replace the encoding-derived widths of a Latin font."""
    out = {
        0xA0: 0,  # the no-break space advances by nothing
        0xAD: widths_by_name["minus"],  # the soft hyphen is measured as minus
    }
    if font in HELVETICA_FAMILY:
        out[0xB0] = 606
        superiors, fractions = {
            "Helvetica": (351, 869),
            "Helvetica-Bold": (351, 869),
            "Helvetica-Oblique": (390, 947),
            "Helvetica-BoldOblique": (444, 1055),
        }[font]
        for code in (0xB2, 0xB3, 0xB9):
            out[code] = superiors
        for code in (0xBC, 0xBD, 0xBE):
            out[code] = fractions
    if font == "Helvetica":
        out[0x92] = 221
        out[0xDD] = 666
        out[0xDE] = 666
        out[0xFE] = 555
    return out


SYMBOL_OVERRIDES = {0xA0: 762}
ZAPFDINGBATS_OVERRIDES = {code: 0 for code in range(0x80, 0x8E)}


def read_afm(path):
    """Returns (widths by glyph name, widths by character code) of one AFM file."""
    by_name = {}
    by_code = {}
    in_metrics = False
    with open(path, "r", encoding="latin-1") as f:
        for raw in f:
            line = raw.strip()
            if line.startswith("StartCharMetrics"):
                in_metrics = True
                continue
            if line.startswith("EndCharMetrics"):
                in_metrics = False
                continue
            if not in_metrics or not line:
                continue
            code = None
            width = None
            name = None
            for field in line.split(";"):
                parts = field.split()
                if not parts:
                    continue
                key = parts[0]
                if key == "C" and len(parts) == 2:
                    code = int(parts[1])
                elif key == "CH" and len(parts) == 2:
                    code = int(parts[1].strip("<>"), 16)
                elif key in ("WX", "W0X") and len(parts) == 2:
                    width = int(round(float(parts[1])))
                elif key == "N" and len(parts) == 2:
                    name = parts[1]
            if width is None:
                raise SystemExit("%s: metrics line without WX: %s" % (path, line))
            if name is not None:
                if name in by_name:
                    raise SystemExit("%s: glyph %s listed twice" % (path, name))
                by_name[name] = width
            if code is not None and 0 <= code <= 255:
                if code in by_code:
                    raise SystemExit("%s: code %d listed twice" % (path, code))
                by_code[code] = width
    if not by_name:
        raise SystemExit("%s: no character metrics" % path)
    return by_name, by_code


def build_tables(afm_dir):
    enc = win_ansi_encoding()
    tables = []
    for font, table_name in TABLES:
        path = os.path.join(afm_dir, font + ".afm")
        by_name, by_code = read_afm(path)
        widths = [0] * 256
        if font in LATIN_FONTS:
            for code, glyph in enc.items():
                if glyph not in by_name:
                    raise SystemExit("%s: no metrics for glyph %s (code 0x%02X)" % (path, glyph, code))
                widths[code] = by_name[glyph]
            if "minus" not in by_name:
                raise SystemExit("%s: no metrics for glyph minus" % path)
            overrides = latin_overrides(font, by_name)
        else:
            for code, w in by_code.items():
                widths[code] = w
            overrides = SYMBOL_OVERRIDES if font == "Symbol" else ZAPFDINGBATS_OVERRIDES
        for code, w in overrides.items():
            widths[code] = w
        for w in widths:
            if not -32768 <= w <= 32767:
                raise SystemExit("%s: width %d does not fit 16 bits" % (path, w))
        tables.append((font, table_name, widths))
    return tables


HEADER = """\
// Generated by tools/gen_font_metrics.py from tools/afm/*.afm; do not edit.
// Change the script and rerun it instead.
//
// Advance widths in thousandths of the font size for the fourteen standard
// fonts, indexed by the byte of a shown character code; 0 means no glyph.
// The twelve Latin tables follow WinAnsiEncoding, Symbol and ZapfDingbats
// their built-in encodings.  The AFM metrics are Copyright (c) 1985, 1987,
// 1989, 1990, 1997 Adobe Systems Incorporated; see tools/afm/LICENSE.
#include "font_metrics.h"

namespace morvex {
"""

PER_LINE = 8


def render(tables):
    out = [HEADER]
    for font, table_name, widths in tables:
        if font in LATIN_FONTS:
            what = "WinAnsiEncoding"
        else:
            what = "built-in encoding"
        out.append("\n// %s (%s.afm), %s.\n" % (font, font, what))
        out.append("const int16_t %s[256] = {\n" % table_name)
        for start in range(0, 256, PER_LINE):
            row = widths[start:start + PER_LINE]
            cells = ", ".join("%4d" % w for w in row)
            out.append("    /* 0x%02X */ %s,\n" % (start, cells))
        out.append("};\n")
    out.append("\n}  // namespace morvex\n")
    return "".join(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--afm-dir", default=DEFAULT_AFM_DIR, help="directory of the 14 AFM files")
    group = ap.add_mutually_exclusive_group()
    group.add_argument("--output", default=None, help="file to write (default %(default)s)")
    group.add_argument("--check", metavar="FILE", default=None,
                       help="compare FILE with the generated text; exit 1 on difference")
    args = ap.parse_args()

    text = render(build_tables(args.afm_dir))
    return write_or_check(text, args.output or DEFAULT_OUTPUT, args.check, __file__)


if __name__ == "__main__":
    sys.exit(main())
