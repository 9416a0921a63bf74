#!/usr/bin/python3
"""Generates src/font/cid_unicode_data.cpp: CID -> Unicode for Adobe's public
character collections (Adobe-Japan1, Adobe-GB1, Adobe-CNS1, Adobe-Korea1,
Adobe-KR).

Source: Adobe's CID -> UCS-2 CMaps (Adobe-<Ordering>-UCS2), BSD-licensed,
as Debian's poppler-data ships them under /usr/share/poppler/cMap/.  (The
package's cidToUnicode/ tables are under the GPL and are not used.)

Variation selectors (U+FE00-FE0F, U+E0100-E01EF) are dropped from the
values: Adobe maps glyph variants of one character to the character plus a
selector, and a reader reads the character.  CID 0 (.notdef) and values of
U+FFFD stay unmapped.

Layout of the table (see cid_unicode.h): per collection, segments sorted by
CID, each one of
  - a run: `count` CIDs mapping to consecutive code points from `value`;
  - a list: `count` CIDs whose BMP code points follow one another in the
    pool kPool (UTF-16 units) from offset `value`;
  - a text: one CID whose value is several code points or outside the BMP,
    `count` UTF-16 units in kPool from offset `value`.
A run is kept as a run when it is at least MIN_RUN CIDs long; shorter runs
go into lists.

Usage:
  gen_cid_unicode.py [--cmap-dir DIR] [--output FILE]
  gen_cid_unicode.py [--cmap-dir DIR] --check FILE

--check regenerates in memory and exits 1 when FILE differs, 0 when it is
identical, 77 when the source is missing.  Standard library only.
"""

import argparse
import os
import re
import sys
import unicodedata

from generated import write_or_check

TOOLS_DIR = os.path.dirname(os.path.abspath(__file__))
REPO_DIR = os.path.dirname(TOOLS_DIR)
DEFAULT_OUTPUT = os.path.join(REPO_DIR, "src", "font", "cid_unicode_data.cpp")
DEFAULT_CMAP_DIR = "/usr/share/poppler/cMap"

# (Ordering, enum name); the order is the CidCollection enum's.
COLLECTIONS = [
    ("Japan1", "Japan1"),
    ("GB1", "GB1"),
    ("CNS1", "CNS1"),
    ("Korea1", "Korea1"),
    ("KR", "KR"),
]
MIN_RUN = 6
KIND_RUN, KIND_LIST, KIND_TEXT = 0, 1, 2
VARIATION_SELECTOR = re.compile("[\ufe00-\ufe0f\U000e0100-\U000e01ef]")
HEX = r"<([0-9a-fA-F]+)>"


def utf16_hex(h):
    return bytes.fromhex(h).decode("utf-16-be", errors="replace")


def read_ucs2_cmap(path):
    """CID -> text of one Adobe-*-UCS2 CMap (bfchar and bfrange)."""
    with open(path, encoding="latin-1") as f:
        text = f.read()
    text = re.sub(r"%[^\n]*", "", text)
    out = {}
    for block in re.findall(r"beginbfchar(.*?)endbfchar", text, re.S):
        for src, dst in re.findall(HEX + r"\s*" + HEX, block):
            out[int(src, 16)] = utf16_hex(dst)
    for block in re.findall(r"beginbfrange(.*?)endbfrange", text, re.S):
        for lo, hi, rest in re.findall(HEX + r"\s*" + HEX + r"\s*(\[[^\]]*\]|<[0-9a-fA-F]+>)", block):
            lo, hi = int(lo, 16), int(hi, 16)
            if rest.startswith("["):
                for i, dst in enumerate(re.findall(HEX, rest)):
                    if lo + i <= hi:
                        out[lo + i] = utf16_hex(dst)
            else:
                base = utf16_hex(rest[1:-1])
                for cid in range(lo, hi + 1):
                    out[cid] = base[:-1] + chr(ord(base[-1]) + cid - lo)
    return out


def clean(mapping):
    out = {}
    for cid, s in mapping.items():
        s = VARIATION_SELECTOR.sub("", s)
        if cid == 0 or not s or s == "\ufffd" or cid > 0xFFFF:
            continue
        out[cid] = s
    return out


def to_utf16_units(s):
    b = s.encode("utf-16-be")
    return [int.from_bytes(b[i:i + 2], "big") for i in range(0, len(b), 2)]


def segments(mapping, pool):
    """Segments (cid, count, kind, value) of one collection; pool grows."""
    cids = sorted(mapping)
    segs = []
    i = 0
    list_seg = None  # [cid, count, offset] of the list being filled
    while i < len(cids):
        cid = cids[i]
        s = mapping[cid]
        single_bmp = len(s) == 1 and ord(s) <= 0xFFFF and not 0xD800 <= ord(s) <= 0xDFFF
        if len(s) == 1:
            # How long is the run of consecutive code points starting here?
            n = 1
            while (i + n < len(cids) and cids[i + n] == cid + n and len(mapping[cids[i + n]]) == 1 and
                   ord(mapping[cids[i + n]]) == ord(s) + n and n < 0xFFFF):
                n += 1
            if n >= MIN_RUN:
                list_seg = None
                segs.append((cid, n, KIND_RUN, ord(s)))
                i += n
                continue
        if single_bmp:
            if list_seg is not None and list_seg[0] + list_seg[1] == cid and list_seg[1] < 0xFFFF:
                list_seg[1] += 1
            else:
                list_seg = [cid, 1, len(pool)]
                segs.append(list_seg)
            pool.append(ord(s))
        else:
            list_seg = None
            units = to_utf16_units(s)
            segs.append((cid, len(units), KIND_TEXT, len(pool)))
            pool.extend(units)
        i += 1
    out = []
    for s in segs:
        if isinstance(s, list):
            out.append((s[0], s[1], KIND_LIST, s[2]))
        else:
            out.append(s)
    return out


def literal_unit(u):
    ch = chr(u)
    if u < 0x80:
        raw = ch.isalnum()
    else:
        raw = unicodedata.category(ch)[0] in "LNPS" and unicodedata.category(ch) != "Co"
    return ch if raw else "\\u%04X" % u


def generate(cmap_dir):
    pool = []
    tables = []
    versions = []
    notice = []
    for ordering, enum in COLLECTIONS:
        path = os.path.join(cmap_dir, "Adobe-" + ordering, "Adobe-%s-UCS2" % ordering)
        with open(path, encoding="latin-1") as f:
            head = f.read(4096)
        m = re.search(r"%%Version: *([0-9.]+)", head)
        versions.append("Adobe-%s-UCS2 %s" % (ordering, m.group(1) if m else "?"))
        if not notice:
            notice = [l[len("%%Copyright:"):].strip() for l in head.splitlines() if l.startswith("%%Copyright:")]
            notice = [l for l in notice if not l.startswith("---")]
        tables.append((ordering, enum, segments(clean(read_ucs2_cmap(path)), pool)))

    out = []
    out.append("// Generated by tools/gen_cid_unicode.py from Adobe's CID -> UCS-2 CMaps")
    out.append("// (" + ", ".join(versions[:3]) + ",")
    out.append("// " + ", ".join(versions[3:]) + ") as shipped in")
    out.append("// Debian's poppler-data.  Do not edit.")
    out.append("//")
    out.append("// The source CMaps' notice, which the table carries on:")
    for line in notice:
        out.append(("// " + line).rstrip())
    out.append('#include "cid_unicode.h"')
    out.append("")
    out.append("namespace morvex {")
    out.append("")
    out.append("// UTF-16 units of the list and text segments.")
    out.append("const char16_t kCidPool[] =")
    line = ""
    i = 0
    while i < len(pool):
        u = pool[i]
        i += 1
        if 0xD800 <= u <= 0xDBFF and i < len(pool) and 0xDC00 <= pool[i] <= 0xDFFF:
            # A surrogate pair: one character outside the BMP.
            cp = 0x10000 + ((u - 0xD800) << 10) + (pool[i] - 0xDC00)
            i += 1
            line += chr(cp) if unicodedata.category(chr(cp))[0] == "L" else "\\U%08X" % cp
        else:
            line += literal_unit(u)
        if len(line) >= 60:
            out.append('    u"%s"' % line)
            line = ""
    out.append('    u"%s";' % line)
    for ordering, enum, segs in tables:
        out.append("")
        out.append("// Adobe-%s: %d segments (first CID, count, kind, value)." % (ordering, len(segs)))
        out.append("const CidSegment kCid%s[] = {" % enum)
        row = []
        for cid, count, kind, value in segs:
            row.append("{%d,%d,%d,%d}," % (cid, count, kind, value))
            if len(row) == 6:
                out.append("    " + "".join(row))
                row = []
        if row:
            out.append("    " + "".join(row))
        out.append("};")
    out.append("")
    out.append("const CidCollectionTable kCidCollections[] = {")
    for ordering, enum, segs in tables:
        out.append('    {"%s", kCid%s, %d},' % (ordering, enum, len(segs)))
    out.append("};")
    out.append("const int kCidCollectionCount = %d;" % len(tables))
    out.append("const int kCidPoolSize = %d;" % len(pool))
    out.append("")
    out.append("}  // namespace morvex")
    return "\n".join(out) + "\n"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cmap-dir", default=DEFAULT_CMAP_DIR)
    ap.add_argument("--output", default=DEFAULT_OUTPUT)
    ap.add_argument("--check", default=None)
    args = ap.parse_args()
    for ordering, _ in COLLECTIONS:
        path = os.path.join(args.cmap_dir, "Adobe-" + ordering, "Adobe-%s-UCS2" % ordering)
        if not os.path.exists(path):
            print("skipped: needs %s (poppler-data)" % path)
            return 77
    text = generate(args.cmap_dir)
    return write_or_check(text, args.output, args.check, __file__)


if __name__ == "__main__":
    sys.exit(main())
