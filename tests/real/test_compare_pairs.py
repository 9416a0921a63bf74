"""Real pairs made by real tools: a document and the same document
rewritten by qpdf compare as identical; a page added, removed, rotated or
moved with qpdf is reported as exactly that; a footer date changed on every
page is ignored by a region or a pattern.

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


def compare(cmd, a, b, *options):
    p = subprocess.run([MORVEX, cmd, *options, a, b], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
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
                (added, [{"page": n + 1, "type": "page_added", "page_a": None, "page_b": n + 1}], n + 1),
                (removed, [{"page": n, "type": "page_removed", "page_a": n, "page_b": None}], n),
                (rotated, [{"page": 2, "type": "rotation_changed", "page_a": 2, "page_b": 2}], n),
            ]
            for dst, want, pages in cases:
                with self.subTest(doc=os.path.basename(dst)):
                    code, report, err = compare("compare", src, dst)
                    self.assertEqual(code, 1, err)
                    # qpdf --empty leaves the document information and outline behind.
                    report.pop("document", None)
                    self.assertEqual(report, {"identical": False, "pages_compared": pages, "differences": want})
            # The reverse pair numbers the page in A.
            code, report, _ = compare("compare", added, src)
            self.assertEqual(report["differences"], [{"page": n + 1, "type": "page_removed", "page_a": n + 1,
                                                      "page_b": None}])
            # Position pairing gives the plain report.
            code, report, _ = compare("compare", src, added, "--pairing=position")
            self.assertEqual(report["differences"], [{"page": n + 1, "type": "page_added"}])


def manual(path, date, pages=12, blank_at=None):
    """A manual of numbered sections, each page with its own words and a
    footer carrying a print date."""
    from reportlab.pdfgen import canvas
    c = canvas.Canvas(path, pagesize=(612, 792))
    for i in range(pages):
        if blank_at == i:
            c.showPage()
        c.setFont("Helvetica-Bold", 15)
        c.drawString(72, 750, "Section %d: the %s of part %d" % (i + 1, ["setup", "usage", "limits"][i % 3], i))
        c.setFont("Times-Roman", 11)
        for k in range(24):
            c.drawString(72, 720 - 14 * k, "Paragraph %d.%d explains step %d with value %d and note %s."
                         % (i + 1, k, k * 7 + i, (i * 31 + k * 17) % 97, chr(65 + (i + k) % 26)))
        c.setFont("Helvetica", 8)
        c.drawString(72, 30, "Printed %s" % date)
        c.drawString(500, 30, "Manual page")
        c.showPage()
    c.save()


def detail_schema():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    with open(os.path.join(root, "docs", "detail-report.schema.json")) as f:
        return json.load(f)


class ContentPairing(unittest.TestCase):
    """Pages moved around by qpdf are reported as exactly that, and nothing else."""

    @classmethod
    def setUpClass(cls):
        cls.src = os.path.join(WORK, "manual.pdf")
        manual(cls.src, "2024-01-31")
        cls.other = os.path.join(WORK, "other.pdf")
        source_docs()
        cls.other = os.path.join(WORK, "fitz-report.pdf")
        cls.blank = os.path.join(WORK, "manual-blank.pdf")
        manual(cls.blank, "2024-01-31", blank_at=5)

    def qpdf(self, name, *pages):
        dst = os.path.join(WORK, "manual-%s.pdf" % name)
        realpdf.run("qpdf", "--empty", "--pages", *pages, "--", dst)
        return dst

    def detail(self, a, b, *options):
        p = subprocess.run([MORVEX, "compare", "--detail", *options, a, b], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE)
        self.assertIn(p.returncode, (0, 1), p.stderr)
        report = json.loads(p.stdout)
        import jsonschema
        jsonschema.validate(report, detail_schema())
        return report

    def test_pages_moved_around(self):
        s, o = self.src, self.other
        cases = [
            ("inserted", [s, "1-6", o, "2", s, "7-12"], [("page_added", None, 7)]),
            ("removed", [s, "1-4,6-12"], [("page_removed", 5, None)]),
            ("chapter", [s, "1-4", o, "1-4", s, "8-12"],
             [("page_removed", 5, None), ("page_removed", 6, None), ("page_removed", 7, None),
              ("page_added", None, 5), ("page_added", None, 6), ("page_added", None, 7), ("page_added", None, 8)]),
            ("moved", [s, "1-2,9,3-8,10-12"], [("page_moved", 9, 3)]),
        ]
        for name, pages, want in cases:
            with self.subTest(case=name):
                dst = self.qpdf(name, *pages)
                code, report, err = compare("compare", s, dst)
                self.assertEqual(code, 1, err)
                got = [(d["type"], d["page_a"], d["page_b"]) for d in report["differences"]]
                self.assertEqual(got, want)
                self.assertEqual(len(self.detail(s, dst)["differences"]), len(want))
        code, report, _ = compare("compare", s, self.blank)
        self.assertEqual([(d["type"], d["page_a"], d["page_b"]) for d in report["differences"]],
                         [("page_added", None, 6)])

    def test_footer_date_ignored(self):
        dated = os.path.join(WORK, "manual-dated.pdf")
        manual(dated, "2025-06-02")
        code, report, _ = compare("compare", self.src, dated)
        self.assertEqual((code, len(report["differences"])), (1, 12))
        detail = self.detail(self.src, dated)
        change = detail["differences"][0]["changes"][0]
        self.assertEqual((change["op"], change["old"], change["new"]), ("replace", "2024-01-31", "2025-06-02"))
        # The date's rectangle, pasted into an ignore list, ignores it.
        x0, y0, x1, y1 = change["rects_b"][0]
        self.assertTrue(750 < y0 < y1 < 792, change)
        rect = "%g,%g,%g,%g" % (x0 - 1, y0 - 1, x1 + 1, y1 + 1)
        for options in (["--ignore-rect", "0,740,612,792"], ["--ignore-rect", rect],
                        ["--ignore-text", r"\d{4}-\d{2}-\d{2}"]):
            with self.subTest(options=options):
                code, report, err = compare("compare", self.src, dated, *options)
                self.assertEqual((code, report["differences"]), (0, []), err)
        # Outside the region, or on other pages only, the change stays.
        for options, count in ((["--ignore-rect", "0,0,612,700"], 12), (["--ignore-rect", "0,740,612,792@1-4"], 8)):
            code, report, _ = compare("compare", self.src, dated, *options)
            self.assertEqual((code, len(report["differences"])), (1, count), options)


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
        self.assertEqual([d["type"] for d in report["differences"]], ["image_changed"])


if __name__ == "__main__":
    MORVEX, WORK = sys.argv[1], sys.argv[2]
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"])
