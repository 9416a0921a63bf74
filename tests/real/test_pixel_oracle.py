"""The pixel oracle on pages made by PyMuPDF and reportlab and edited in one
operator: where pixels differ, morvex reports a change on that page whose
rectangles cover them; where none differs (qpdf rewrites, object streams,
re-serialised content, drawing outside the page) the options functions
report identical.

usage: test_pixel_oracle.py MORVEX WORKDIR
       test_pixel_oracle.py MORVEX WORKDIR --table FILE.pdf...
           (the same edits on the first page of each file; prints, per
           edit, how many were found, located and quiet)"""

import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import content_edits  # noqa: E402
import pixel_oracle  # noqa: E402

MORVEX = WORK = None
EDITS = (list(content_edits.VISIBLE) + ["font", "highlight"] + sorted(content_edits.PAINTED_VISIBLE) +
         list(content_edits.INVISIBLE) + sorted(content_edits.PAINTED_INVISIBLE))
INVISIBLE = set(content_edits.INVISIBLE) | content_edits.PAINTED_INVISIBLE


def source_docs():
    import fitz
    from reportlab.pdfgen import canvas
    docs = []
    path = os.path.join(WORK, "fitz-invoice.pdf")
    doc = fitz.open()
    page = doc.new_page(width=595, height=842)
    page.insert_text((72, 90), "Invoice 2024-117", fontname="helv", fontsize=16)
    page.insert_text((72, 200), "Total amount due", fontname="tiro", fontsize=12, color=(0.2, 0.2, 0.2))
    page.insert_text((320, 200), "1250.00 (EUR)", fontname="helv", fontsize=12)
    page.draw_rect(fitz.Rect(70, 220, 400, 260), color=(0, 0, 0), width=1)
    page.draw_line((72, 300), (500, 300), color=(0.5, 0.5, 0.5), width=0.5)
    doc.save(path, deflate=True)
    docs.append(path)

    path = os.path.join(WORK, "reportlab-table.pdf")
    c = canvas.Canvas(path)
    c.setFont("Helvetica-Bold", 14)
    c.drawString(72, 760, "Quarterly figures")
    c.setFont("Times-Roman", 11)
    c.setFillColorRGB(0.1, 0.1, 0.4)
    for k in range(8):
        c.drawString(72, 720 - 16 * k, "Row %d: %d.00" % (k, 100 * k))
    c.setLineWidth(0.8)
    c.rect(66, 580, 300, 160)
    c.saveState()
    c.translate(400, 600)
    c.setFillColorRGB(0.8, 0.9, 1)
    c.rect(0, 0, 120, 60, fill=1)
    c.restoreState()
    c.showPage()
    c.save()
    docs.append(path)
    return docs


def run_edit(src, name, tag):
    """(A, B) for one edit of the first page, or None when it does not apply."""
    a = os.path.join(WORK, tag + "-a.pdf")
    b = os.path.join(WORK, tag + "-" + name + ".pdf")
    if name in content_edits.PAINTED:
        a = os.path.join(WORK, tag + "-" + name + "-a.pdf")
        if not content_edits.edit_pdf(src, a, 0, name, "a"):
            return None
    else:
        content_edits.edit_pdf(src, a, 0, None)
    if not content_edits.edit_pdf(src, b, 0, name):
        return None
    return a, b


def judge(a, b):
    """(differs, found, located, quiet) of page 1."""
    p = pixel_oracle.check(MORVEX, a, b, first=1, last=1)[0]
    return p["differs"], p.get("found", False), p.get("located", False), p.get("quiet", False)


class PixelOracle(unittest.TestCase):
    def test_edits_found_and_located_rewrites_quiet(self):
        for src in source_docs():
            for name in EDITS:
                with self.subTest(src=os.path.basename(src), edit=name):
                    pair = run_edit(src, name, os.path.basename(src)[:-4])
                    if pair is None:
                        continue
                    differs, found, located, quiet = judge(*pair)
                    if name in INVISIBLE:
                        self.assertFalse(differs, "the edit was meant to change no pixel")
                    if differs:
                        self.assertTrue(found and located, pixel_oracle.check(MORVEX, *pair, first=1, last=1))
                    else:
                        self.assertTrue(quiet)

    def test_qpdf_rewrites_are_identical(self):
        for src in source_docs():
            for args in (["--qdf", "--normalize-content=y"], ["--object-streams=generate"]):
                with self.subTest(src=os.path.basename(src), args=args):
                    out = os.path.join(WORK, "rewrite.pdf")
                    subprocess.run(["qpdf"] + args + [src, out], check=False)
                    for p in pixel_oracle.check(MORVEX, src, out):
                        self.assertFalse(p["differs"])
                        self.assertTrue(p["quiet"], p)


def table(files):
    rows = {name: [0, 0, 0, 0, 0] for name in EDITS}  # tried, differs, found, located, quiet
    for k, src in enumerate(files):
        for name in EDITS:
            try:
                pair = run_edit(src, name, "real%d" % k)
                if pair is None:
                    continue
                differs, found, located, quiet = judge(*pair)
            except Exception as e:  # a file the editor cannot rewrite is left out
                print("%s %s: %s" % (os.path.basename(src), name, e), file=sys.stderr)
                continue
            r = rows[name]
            r[0] += 1
            r[1] += differs
            r[2] += found if differs else 0
            r[3] += located if differs else 0
            r[4] += quiet if not differs else 0
            if (differs and not located) or (not differs and not quiet):
                print("  %s %s: differs=%s found=%s located=%s quiet=%s" %
                      (os.path.basename(src), name, differs, found, located, quiet), file=sys.stderr)
    print("%-14s %5s %7s %5s %7s %5s %9s" % ("edit", "files", "differ", "found", "located", "same", "quiet"))
    for name, (n, d, f, loc, q) in rows.items():
        print("%-14s %5d %7d %5d %7d %5d %9d" % (name, n, d, f, loc, n - d, q))


if __name__ == "__main__":
    MORVEX, WORK = sys.argv[1], sys.argv[2]
    os.makedirs(WORK, exist_ok=True)
    if len(sys.argv) > 3 and sys.argv[3] == "--table":
        table(sys.argv[4:])
        sys.exit(0)
    unittest.main(argv=sys.argv[:1])
