"""The loader's page list equals what qpdf and mutool report, on files made
by real tools and rewritten by qpdf and Ghostscript in many ways.

usage: test_page_list.py MORVEX_PAGELIST WORKDIR"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import realpdf  # noqa: E402

TOOL = None
WORK = None

LETTER, A4 = (612, 792), (595.2756, 841.8898)


def sources():
    """Base documents: mixed sizes and rotations, from two generators."""
    mixed = [(LETTER[0], LETTER[1], 0, [(72, 720, "Hello World")]),
             (A4[0], A4[1], 90, [(72, 720, "Rotated page")]),
             (A4[1], A4[0], 180, [(72, 500, "Landscape")]),
             (300, 400, 270, [(10, 10, "Small")])]
    many = [(LETTER[0], LETTER[1], (i % 4) * 90, [(72, 720, "Page %d" % (i + 1))]) for i in range(120)]
    docs = {}
    p = os.path.join(WORK, "rl-mixed.pdf")
    realpdf.reportlab_doc(p, mixed)
    docs["rl-mixed"] = p
    p = os.path.join(WORK, "rl-many.pdf")
    realpdf.reportlab_doc(p, many, compress=False)
    docs["rl-many"] = p
    p = os.path.join(WORK, "fitz-mixed.pdf")
    realpdf.fitz_doc(p, mixed)
    docs["fitz-mixed"] = p
    return docs


# Rewritings by real tools: plain, linearized, with object streams, rotated, merged.
REWRITES = {
    "qpdf-plain": ["qpdf", "--object-streams=disable", "{src}", "{dst}"],
    "qpdf-linearized": ["qpdf", "--linearize", "--object-streams=disable", "{src}", "{dst}"],
    "qpdf-qdf": ["qpdf", "--qdf", "--object-streams=disable", "{src}", "{dst}"],
    "qpdf-rotated": ["qpdf", "--object-streams=disable", "{src}", "--rotate=+90:1-2", "--", "{dst}"],
    "qpdf-merged": ["qpdf", "--object-streams=disable", "--empty", "--pages", "{src}", "{src}", "1-2", "--", "{dst}"],
    "qpdf-xref-streams": ["qpdf", "--object-streams=preserve", "--force-version=1.5", "{src}", "{dst}"],
    "qpdf-object-streams": ["qpdf", "--object-streams=generate", "{src}", "{dst}"],
    "qpdf-object-streams-linearized": ["qpdf", "--object-streams=generate", "--linearize", "{src}", "{dst}"],
    "qpdf-object-streams-rotated": ["qpdf", "--object-streams=generate", "{src}", "--rotate=-90:2-3", "--", "{dst}"],
    "gs": ["gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=pdfwrite", "-o", "{dst}", "{src}"],
}


class PageListMatchesRealTools(unittest.TestCase):
    def check(self, path):
        ours = realpdf.morvex_pages(TOOL, path)
        qpdf = realpdf.qpdf_pages(path)
        boxes = realpdf.mutool_boxes(path)
        self.assertEqual(len(ours), len(qpdf), path)
        self.assertEqual(len(ours), len(boxes), path)
        for i, (page, (obj, contents), box) in enumerate(zip(ours, qpdf, boxes)):
            where = "%s page %d" % (os.path.basename(path), i + 1)
            self.assertEqual(page[0], obj, where)
            self.assertEqual(page[6], contents, where)
            for k in range(4):
                self.assertAlmostEqual(page[1 + k], box[k], delta=0.01, msg=where)
            self.assertEqual(page[5], box[4], where)

    def test_sources_and_rewritings(self):
        checked = 0
        for name, src in sources().items():
            with self.subTest(doc=name):
                self.check(src)
                checked += 1
            for rname, cmd in REWRITES.items():
                dst = os.path.join(WORK, "%s-%s.pdf" % (name, rname))
                realpdf.run(*[a.format(src=src, dst=dst) for a in cmd])
                with self.subTest(doc=name, rewrite=rname):
                    self.check(dst)
                    checked += 1
        print("checked %d files" % checked)


if __name__ == "__main__":
    TOOL, WORK = sys.argv[1], sys.argv[2]
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"])
