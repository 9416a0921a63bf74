#!/usr/bin/python3
"""Generates src/font/glyph_list_data.cpp: glyph names to Unicode, and the
built-in simple-font encodings as code -> Unicode tables.

Sources, both shipped by Debian:
  - the Adobe Glyph List (glyphlist.txt), with the extra names of
    additional.txt and zapfdingbats.txt, inside the pdfbox jar of
    libpdfbox2-java (/usr/share/java/pdfbox2.jar);
  - the encoding vectors of Ghostscript's Resource/Init/gs_*_e.ps
    (Standard, WinAnsi, MacRoman, MacExpert, PDFDoc, Symbol, Dingbats).
A few names that TeX fonts use and the list lacks or maps to private-use
code points are added here (TEX_NAMES).

Usage:
  gen_glyph_list.py [--jar JAR] [--gs-init DIR] [--output FILE]
  gen_glyph_list.py [--jar JAR] [--gs-init DIR] --check FILE

--check regenerates in memory and exits 1 when FILE differs, 0 when it is
identical, 77 when a source is missing.  Standard library only.
"""

import argparse
import glob
import os
import re
import sys
import zipfile

from generated import write_or_check

TOOLS_DIR = os.path.dirname(os.path.abspath(__file__))
REPO_DIR = os.path.dirname(TOOLS_DIR)
DEFAULT_OUTPUT = os.path.join(REPO_DIR, "src", "font", "glyph_list_data.cpp")
DEFAULT_JAR = "/usr/share/java/pdfbox2.jar"
GLYPHLIST_DIR = "org/apache/pdfbox/resources/glyphlist/"

# Names TeX's fonts use (Computer Modern, Latin Modern, the cm-super and
# EC encodings) that the glyph list lacks or sends to the private use area.
# An empty value means the glyph stands for no text (a boundary mark).
TEX_NAMES = {
    "dotlessj": [0x0237],
    "visiblespace": [0x2423],
    "perthousandzero": [0x2030],
    "compwordmark": [],
    "cwm": [],
    "Germandbls": [0x0053, 0x0053],
    "ringfitted": [0x00B0],
    "dieresis.alt": [0x00A8],
    "nbspace": [0x00A0],
    "sfthyphen": [0x00AD],
    "hyphenchar": [0x002D],
    "longs": [0x017F],
    "Ifractur": [0x2111],
    "Rfractur": [0x211C],
    "emptyset": [0x2205],
    "negationslash": [0x0338],
    "minus": [0x2212],
}

# (C name, Ghostscript file, encoding name inside it)
ENCODINGS = [
    ("kStandardEncoding", "gs_std_e.ps", "StandardEncoding"),
    ("kWinAnsiEncoding", "gs_wan_e.ps", "WinAnsiEncoding"),
    ("kMacRomanEncoding", "gs_mro_e.ps", "MacRomanEncoding"),
    ("kMacExpertEncoding", "gs_mex_e.ps", "MacExpertEncoding"),
    ("kPdfDocEncoding", "gs_pdf_e.ps", "PDFDocEncoding"),
    ("kSymbolEncoding", "gs_sym_e.ps", "SymbolEncoding"),
    ("kZapfDingbatsEncoding", "gs_dbt_e.ps", "DingbatsEncoding"),
]
EXTRA_SOURCES = {"ISOLatin1Encoding": "gs_il1_e.ps"}


def read_glyph_lists(jar):
    """Returns (names, dingbats): the glyph list with its additions and the
    TeX names, and the names only the ZapfDingbats list has (a1 to a191).
    The dingbat names are kept apart: other fonts use names of that form for
    their own characters (bitmap fonts name each glyph 'a' and its code)."""
    names = {}
    dingbats = {}
    with zipfile.ZipFile(jar) as z:
        # Later files do not override the glyph list itself.
        for part in ("glyphlist.txt", "additional.txt", "zapfdingbats.txt"):
            text = z.read(GLYPHLIST_DIR + part).decode("ascii")
            for line in text.splitlines():
                line = line.strip()
                if not line or line.startswith("#"):
                    continue
                name, _, values = line.partition(";")
                target = dingbats if part == "zapfdingbats.txt" else names
                if name not in names and name not in target:
                    target[name] = [int(v, 16) for v in values.split()]
    for name, cps in TEX_NAMES.items():
        names[name] = cps
        dingbats.pop(name, None)
    return names, dingbats


def ps_tokens(path):
    with open(path, encoding="latin-1") as f:
        text = f.read()
    text = re.sub(r"%[^\n]*", "", text)
    return re.findall(r"/?[^\s/\[\]{}()<>]+", text)


def read_encoding(gs_dir, filename, enc_name, known):
    toks = ps_tokens(os.path.join(gs_dir, filename))
    start = toks.index("/" + enc_name) + 1
    out = []
    i = start
    while i < len(toks) and len(out) < 256:
        t = toks[i]
        if t.startswith("/"):
            out.append(t[1:])
            i += 1
        elif t in known and i + 5 < len(toks) and toks[i + 3] == "getinterval":
            a, n = int(toks[i + 1]), int(toks[i + 2])
            out.extend(known[t][a:a + n])
            i += 6  # X a n getinterval aload pop
        else:
            break
    if len(out) != 256:
        raise SystemExit(f"{filename}: {len(out)} codes read, not 256")
    return out


def generate(jar, gs_dir):
    names, dingbats = read_glyph_lists(jar)
    all_names = dict(dingbats)
    all_names.update(names)
    known = {}
    known["StandardEncoding"] = read_encoding(gs_dir, "gs_std_e.ps", "StandardEncoding", known)
    known["ISOLatin1Encoding"] = read_encoding(gs_dir, "gs_il1_e.ps", "ISOLatin1Encoding", known)
    tables = []
    for cname, filename, enc in ENCODINGS:
        vec = read_encoding(gs_dir, filename, enc, known)
        known[enc] = vec
        row = []
        for g in vec:
            cps = all_names.get(g, []) if g != ".notdef" else []
            row.append(cps[0] if len(cps) == 1 and cps[0] <= 0xFFFF else 0)
        tables.append((cname, enc, row))

    out = []
    out.append("// Generated by tools/gen_glyph_list.py from the Adobe Glyph List (as")
    out.append("// shipped in pdfbox's jar) and Ghostscript's encoding vectors.  Do not edit.")
    out.append('#include "glyph_list.h"')
    out.append("")
    out.append("namespace morvex {")
    out.append("")
    out.append("// Sorted by name (byte order) for binary search.")
    out.append("const GlyphNameEntry kGlyphNames[] = {")
    for name in sorted(names, key=lambda s: s.encode()):
        cps = names[name][:4]
        vals = ", ".join("0x%04X" % c for c in cps)
        out.append('    {"%s", %d, {%s}},' % (name, len(cps), vals))
    out.append("};")
    out.append("const int kGlyphNameCount = sizeof kGlyphNames / sizeof kGlyphNames[0];")
    out.append("")
    out.append("// The ZapfDingbats names, for dingbat fonts only; sorted the same way.")
    out.append("const GlyphNameEntry kDingbatNames[] = {")
    for name in sorted(dingbats, key=lambda s: s.encode()):
        cps = dingbats[name][:4]
        vals = ", ".join("0x%04X" % c for c in cps)
        out.append('    {"%s", %d, {%s}},' % (name, len(cps), vals))
    out.append("};")
    out.append("const int kDingbatNameCount = sizeof kDingbatNames / sizeof kDingbatNames[0];")
    for cname, enc, row in tables:
        out.append("")
        out.append("// %s: code -> Unicode, 0 where it has no glyph." % enc)
        out.append("const uint16_t %s[256] = {" % cname)
        for i in range(0, 256, 8):
            out.append("    " + " ".join("0x%04X," % v for v in row[i:i + 8]))
        out.append("};")
    out.append("")
    out.append("}  // namespace morvex")
    return "\n".join(out) + "\n"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--jar", default=DEFAULT_JAR)
    ap.add_argument("--gs-init", default=None)
    ap.add_argument("--output", default=DEFAULT_OUTPUT)
    ap.add_argument("--check", default=None)
    args = ap.parse_args()
    gs_dir = args.gs_init
    if gs_dir is None:
        found = sorted(glob.glob("/usr/share/ghostscript/*/Resource/Init"))
        gs_dir = found[-1] if found else ""
    if not os.path.exists(args.jar) or not os.path.exists(os.path.join(gs_dir, "gs_std_e.ps")):
        print("skipped: needs %s (libpdfbox2-java) and Ghostscript's Resource/Init" % args.jar)
        return 77
    text = generate(args.jar, gs_dir)
    return write_or_check(text, args.output, args.check, __file__)


if __name__ == "__main__":
    sys.exit(main())
