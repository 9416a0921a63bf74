#!/usr/bin/python3
"""Writes OUT: the PDF file SRC with one word on one page replaced, the
page otherwise untouched (a redaction removes the word's glyphs only, then
the new word is written at its place).

usage: make_pair.py SRC OUT [PAGE]   (PAGE 1-based, default: the middle)"""
import sys

import fitz


def main():
    src, out = sys.argv[1], sys.argv[2]
    doc = fitz.open(src)
    number = int(sys.argv[3]) if len(sys.argv) > 3 else (doc.page_count + 1) // 2
    page = doc[number - 1]
    words = [w for w in page.get_text("words") if w[4].isalpha() and len(w[4]) >= 5]
    if not words:
        sys.exit(f"no word of five letters on page {number}")
    x0, y0, x1, y1, word = words[len(words) // 2][:5]
    rect = fitz.Rect(x0, y0, x1, y1)
    page.add_redact_annot(rect)
    page.apply_redactions(images=fitz.PDF_REDACT_IMAGE_NONE)
    page.insert_text((x0, y1 - 0.22 * (y1 - y0)), "changed", fontsize=0.8 * (y1 - y0), fontname="helv")
    doc.save(out, garbage=0, deflate=True)
    print(f"page {number}: {word!r} -> 'changed'")


main()
