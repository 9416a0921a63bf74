#!/usr/bin/python3
"""Checks the CFF standard strings table in src/font/cff.cpp.

usage: check_cff_strings.py CFF_CPP

The 391 standard strings of a CFF font (string ids 0-390) are fixed by the
format.  The committed table is compared, entry by entry, with the list
fontTools carries; exit 0 when they agree, 1 when they differ, 77 (skipped)
when fontTools is not installed.
"""

import re
import sys


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    try:
        from fontTools.cffLib import cffStandardStrings
    except ImportError:
        print("check_cff_strings: fontTools is not installed; skipped")
        sys.exit(77)
    src = open(sys.argv[1], encoding="utf-8").read()
    start = src.find("kStandardStrings[] = {")
    if start < 0:
        sys.exit("check_cff_strings: no kStandardStrings table in %s" % sys.argv[1])
    body = src[start:src.index("};", start)]
    ours = re.findall(r'"([^"]*)"', body)
    ref = list(cffStandardStrings)
    if ours == ref:
        print("check_cff_strings: %d strings agree" % len(ours))
        return
    for i in range(max(len(ours), len(ref))):
        a = ours[i] if i < len(ours) else "(none)"
        b = ref[i] if i < len(ref) else "(none)"
        if a != b:
            print("check_cff_strings: string %d is %r, the format says %r" % (i, a, b))
            break
    print("check_cff_strings: %d strings committed, %d in the format" % (len(ours), len(ref)))
    sys.exit(1)


if __name__ == "__main__":
    main()
