"""Real pairs made by real tools: a document and the same document
rewritten by qpdf compare as identical; a page added, removed or rotated
with qpdf is reported as exactly that.

usage: test_compare_pairs.py MORVEX WORKDIR"""

import json
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import realpdf  # noqa: E402

MORVEX = WORK = None


def image_png(path):
    from PIL import Image
    img = Image.new("RGB", (40, 30))
    for x in range(40):
        for y in range(30):
            img.putpixel((x, y), (x * 6, y * 8, 128))
    img.save(path)


def source_docs():
    """Documents with text in several fonts and images, from two generators."""
    import fitz
    png = os.path.join(WORK, "img.png")
    image_png(png)
    docs = []
    path = os.path.join(WORK, "fitz-report.pdf")
    doc = fitz.open()
    for i in range(6):
        page = doc.new_page(width=595, height=842)
        page.insert_text((72, 72), "Quarterly report, section %d" % (i + 1), fontname="helv", fontsize=14)
        page.insert_text((72, 100), "Revenue grew by %d.5 percent over the quarter." % (i + 2), fontname="tiro")
        page.insert_text((72, 120), "Code: MX-%04d" % (i * 37), fontname="cour")
        if i % 2 == 0:
            page.insert_image(fitz.Rect(300, 300, 460, 420), filename=png)
    doc.save(path, deflate=True)
    docs.append(path)

    path = os.path.join(WORK, "reportlab-invoice.pdf")
    from reportlab.pdfgen import canvas
    c = canvas.Canvas(path)
    for i in range(4):
        c.setFont("Helvetica-Bold", 16)
        c.drawString(72, 760, "Invoice %d" % (1000 + i))
        c.setFont("Times-Roman", 11)
        for k in range(20):
            c.drawString(72, 720 - 14 * k, "Line %d: item %d, quantity %d, price %d.00 EUR" % (k, i, k + 1, 10 * k))
        c.drawImage(png, 400, 700, width=80, height=60)
        c.showPage()
    c.save()
    docs.append(path)
    return docs


def compare(cmd, a, b):
    p = subprocess.run([MORVEX, cmd, a, b], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return p.returncode, json.loads(p.stdout) if p.stdout else None, p.stderr.decode()


class RealPairs(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.docs = source_docs()

    def variant(self, src, name, *args):
        dst = os.path.join(WORK, "%s-%s.pdf" % (os.path.basename(src)[:-4], name))
        realpdf.run("qpdf", *[a.format(src=src, dst=dst) for a in args])
        return dst

    def pages(self, path):
        return len(realpdf.qpdf_pages(path))

    def test_rewritten_by_qpdf_is_identical(self):
        rewrites = {
            "objstm": ["--object-streams=generate", "{src}", "{dst}"],
            "linearized": ["--linearize", "{src}", "{dst}"],
            "uncompressed": ["--stream-data=uncompress", "--object-streams=disable", "{src}", "{dst}"],
            "objstm-linearized": ["--object-streams=generate", "--linearize", "{src}", "{dst}"],
        }
        for src in self.docs:
            for name, args in rewrites.items():
                dst = self.variant(src, name, *args)
                for cmd in ("compare", "text"):
                    with self.subTest(doc=os.path.basename(src), rewrite=name, cmd=cmd):
                        code, report, err = compare(cmd, src, dst)
                        self.assertEqual(code, 0, (report, err))
                        self.assertEqual(report["differences"], [])
                        self.assertEqual(report["pages_compared"], self.pages(src))

    def test_page_added_removed_rotated(self):
        for src in self.docs:
            n = self.pages(src)
            added = self.variant(src, "added", "--empty", "--pages", "{src}", "{src}", "1", "--", "{dst}")
            removed = self.variant(src, "removed", "{src}", "--pages", "{src}", "1-r2", "--", "{dst}")
            rotated = self.variant(src, "rotated", "{src}", "--rotate=+90:2", "--", "{dst}")
            cases = [
                (added, [{"page": n + 1, "type": "page_added"}], n + 1),
                (removed, [{"page": n, "type": "page_removed"}], n),
                (rotated, [{"page": 2, "type": "rotation_changed"}], n),
            ]
            for dst, want, pages in cases:
                with self.subTest(doc=os.path.basename(dst)):
                    code, report, err = compare("compare", src, dst)
                    self.assertEqual(code, 1, err)
                    self.assertEqual(report, {"identical": False, "pages_compared": pages, "differences": want})
            # The reverse pair numbers the page in A.
            code, report, _ = compare("compare", added, src)
            self.assertEqual(report["differences"], [{"page": n + 1, "type": "page_removed"}])


class ImageNames(unittest.TestCase):
    def test_reportlab_images_are_seen(self):
        """reportlab draws images through forms named like /FormXob.6f4e...;
        moving one is reported as a moved image."""
        from reportlab.pdfgen import canvas
        png = os.path.join(WORK, "names.png")
        image_png(png)
        paths = []
        for x in (100, 160):
            path = os.path.join(WORK, "reportlab-image-%d.pdf" % x)
            c = canvas.Canvas(path)
            c.drawString(72, 760, "Logo below")
            c.drawImage(png, x, 600, width=80, height=60)
            c.showPage()
            c.save()
            paths.append(path)
        code, report, err = compare("compare", *paths)
        self.assertEqual(code, 1, err)
        self.assertEqual([d["type"] for d in report["differences"]], ["image_changed", "content_changed"])


if __name__ == "__main__":
    MORVEX, WORK = sys.argv[1], sys.argv[2]
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"])
