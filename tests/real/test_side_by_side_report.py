"""The side-by-side review report in real viewers.

Real pairs (reportlab output with standard fonts, a subset TrueType font
and an image; a page turned by /Rotate, a page whose box is away from the
origin, a page only A has, a page only B has) are turned into reports with
`morvex visual --layout=side-by-side`.  Every report must pass `qpdf
--check` and render in poppler and MuPDF without complaint.  Each half of
a pair page, cut out of the 72 dpi render, must equal the render of its
source page outside the marks; deleted words must be marked red on A's
page, inserted words green on B's, replaced words amber on both.  The
summary's links and the outline entries, read back with PyMuPDF, must lead
to the pages of the changed pairs.

usage: test_side_by_side_report.py MORVEX WORKDIR"""

import concurrent.futures
import copy
import math
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import realpdf  # noqa: E402
import test_visual_report as vr  # noqa: E402  (documents, rendering and pixel helpers)

MORVEX = WORK = None

# Layout of a pair page: pages stand 18 points from the left and bottom
# edges, below a 40-point band for the pair's title and the labels, with a
# 24-point gutter rounded up to a whole point.
MARGIN, TOP_BAND, GUTTER = 18, 40, 24

# Colour tests on the core of a marked word, as shares of its pixels.
MARK_SHARE = 0.95


def is_red(p):
    r, g, b = p
    return r - max(g, b) >= 50 and r >= 80


def is_green(p):
    r, g, b = p
    return g - max(r, b) >= 40


def is_amber(p):
    r, g, b = p
    return r - b >= 60 and g - b >= 30 and r - g >= 15


def share(image, rect, test):
    crop = image.crop(rect)
    pixels = list(crop.getdata())
    return sum(1 for p in pixels if test(p)) / len(pixels) if pixels else 0.0


def word_box(line, index):
    words = line.text.split(" ")
    prefix = " ".join(words[:index]) + (" " if index else "")
    x0 = line.x + vr.text_width(line.font, prefix, line.size)
    return x0, x0 + vr.text_width(line.font, words[index], line.size)


class Edit:
    """One word edit on a page: the cores (PDF rects) that must carry the
    mark on each side, and the bands left out of the pixel comparison."""

    def __init__(self):
        self.cores_a, self.cores_b, self.bands_a, self.bands_b = [], [], [], []


def core_of(page, line, x0, x1):
    s, y = line.size, line.y
    return vr.absolute(page, x0 + 1, y + 0.1 * s, x1 - 1, y + 0.55 * s)


def band_of(page, line):
    s, y = line.size, line.y
    return vr.absolute(page, line.x - 8, y - 0.2 * s - 8, page.w, y + 0.9 * s + 8)


def edit_word(pages, page_no, item_no, word_no, op, word=None):
    """pages of B made from A's `pages`: a word replaced, deleted or
    inserted before word_no.  Returns (pages, Edit)."""
    new = copy.deepcopy(pages)
    a_page, b_page = pages[page_no - 1], new[page_no - 1]
    a_line, b_line = a_page.items[item_no], b_page.items[item_no]
    words = a_line.text.split(" ")
    e = Edit()
    if op == "replace":
        words[word_no] = word
    elif op == "delete":
        del words[word_no]
    else:
        words.insert(word_no, word)
    b_line.text = " ".join(words)
    if op in ("replace", "delete"):
        e.cores_a.append(core_of(a_page, a_line, *word_box(a_line, word_no)))
    if op in ("replace", "insert"):
        e.cores_b.append(core_of(b_page, b_line, *word_box(b_line, word_no)))
    e.bands_a.append(band_of(a_page, a_line))
    e.bands_b.append(band_of(b_page, b_line))
    return new, e


def register_truetype():
    from reportlab.pdfbase import pdfmetrics
    from reportlab.pdfbase.ttfonts import TTFont
    pdfmetrics.registerFont(TTFont("DejaVuSans", vr.TRUETYPE["DejaVuSans"]))


def build_pairs():
    register_truetype()
    photo, _ = vr.make_pngs()
    T = vr.Text
    d = lambda name: os.path.join(WORK, name + ".pdf")

    def made(name, pages):
        vr.write_reportlab(d(name), pages)
        return vr.Doc(d(name), pages)

    base = [
        vr.Page(612, 792, [
            T(72, 720, "Helvetica-Bold", 16, "A page turned a quarter"),
            T(72, 690, "Helvetica", 12, "The reader sees this line in the orientation of the page."),
            T(72, 670, "Times-Roman", 12, "Another line keeps the first one company."),
            vr.Picture(300, 400, 180, 120, photo),
        ], rotate=90),
        vr.Page(612, 792, [
            T(72, 720, "DejaVuSans", 16, "Subset TrueType text"),
            T(72, 690, "DejaVuSans", 12, "The bridge deck was poured on schedule last week."),
            T(72, 670, "Helvetica", 11, "Standard fonts sit beside the embedded one."),
        ]),
        vr.Page(612, 792, [
            T(72, 700, "Times-Roman", 12, "This page has its box corner away from the origin."),
            T(72, 680, "Courier", 10, "corner 40 60"),
            vr.Picture(72, 300, 120, 80, photo),
        ], corner=(40, 60)),
        vr.Page(612, 792, [
            # Only fonts of the pages before it: reportlab numbers a font's
            # resource name by first use, and the page after it must stay
            # identical in both files.
            T(72, 720, "Helvetica-Bold", 14, "Appendix only the first file has"),
            T(72, 690, "Helvetica", 11, "It faces an empty frame in the report."),
        ]),
    ]
    p, e1 = edit_word(base[:3], 1, 1, 9, "replace", "direction")
    # The word deleted on the TrueType page is in a standard font: words of
    # a subset TrueType font are placed by the font's own widths, which page
    # analysis reads only once it reads real fonts.
    p, e2 = edit_word(p, 2, 2, 3, "delete")
    p, e3 = edit_word(p, 3, 0, 4, "insert", "corner")
    edits = {1: e1, 2: e2, 3: e3}
    a = made("sbs-a", base)
    b = made("sbs-b", p)
    a_short = made("sbs-a-short", base[:2])
    a_three = made("sbs-a-three", base[:3])
    late = vr.Page(612, 792, [
        T(72, 720, "Helvetica-Bold", 14, "A late addition"),
        T(72, 690, "Times-Roman", 12, "Only the second file has this page, at its end."),
    ])
    a_mixed = made("sbs-a-mixed", [base[0], base[1], base[3], base[2]])
    b_mixed = made("sbs-b-mixed", [base[0], base[1], base[2], late])
    return [
        # Pages paired by content (the command's default for this layout):
        # A's appendix in the middle faces an empty frame, and so does the
        # page B added at its end.
        dict(name="a page only A has and one only B has", a=a_mixed, b=b_mixed, edits={},
             pairs=[(0, 0), (1, 1), (2, None), (3, 2), (None, 3)], changed=[2, 4], args=[]),
        # A longer: pairs 1-3 changed, page 4 only in A.  Edits are keyed by pair page.
        dict(name="changes and a page only A has", a=a, b=b, edits=edits,
             pairs=[(0, 0), (1, 1), (2, 2), (3, None)], changed=[0, 1, 2, 3], args=[]),
        # B longer, identical pairs left out: only the page B alone has.
        dict(name="a page only B has, changed only", a=a_short, b=a_three, edits={},
             pairs=[(None, 2)], changed=[0], args=["--changed-only"]),
        # The same with identical pairs shown.
        dict(name="a page only B has", a=a_short, b=a_three, edits={},
             pairs=[(0, 0), (1, 1), (None, 2)], changed=[2], args=[]),
    ]


def qpdf_links(path):
    """For each page, the page indexes its link annotations lead to, read
    with qpdf --json."""
    import json
    data = json.loads(realpdf.run("qpdf", "--json", path))
    objects = data["objects"] if "objects" in data else data["qpdf"][1]
    get = lambda ref: objects.get("obj:" + ref, objects.get(ref, {}))
    value = lambda obj: obj.get("value", obj)
    page_refs = [p["object"] for p in data["pages"]]
    out = []
    for ref in page_refs:
        page = value(get(ref))
        targets = []
        for annot in page.get("/Annots", []):
            a = value(get(annot))
            if a.get("/Subtype") == "/Link" and "/Dest" in a:
                targets.append(page_refs.index(a["/Dest"][0]))
        out.append(targets)
    return out


def pair_page_geometry(width_a):
    """(left edge of A's page, of B's) on a pair page whose pages have equal heights."""
    return MARGIN, math.ceil(MARGIN + width_a + GUTTER)


class SideBySideReport(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pairs = build_pairs()
        for k, pair in enumerate(cls.pairs):
            pair["report"] = os.path.join(WORK, "sbs-report-%d.pdf" % k)
            if os.path.exists(pair["report"]):
                os.unlink(pair["report"])
            p = subprocess.run([MORVEX, "visual", "--layout=side-by-side"] + pair["args"]
                               + [pair["a"].path, pair["b"].path, "-o", pair["report"]],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            pair["status"], pair["stderr"] = p.returncode, p.stderr.decode(errors="replace")
        files = sorted({pair[k] for pair in cls.pairs for k in ("report",) if os.path.exists(pair[k])}
                       | {pair[k].path for pair in cls.pairs for k in ("a", "b")})
        jobs = [(f, r) for f in files for r in ("poppler", "mupdf")]
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            cls.rendered = dict(zip(jobs, pool.map(lambda job: vr.render(*job), jobs)))

    def render(self, path, renderer):
        return self.rendered.get((path, renderer), (-1, "no file", []))

    def summary_pages(self, pair):
        return len(self.render(pair["report"], "poppler")[2]) - len(pair["pairs"])

    def test_written_valid_and_rendered_without_complaint(self):
        for pair in self.pairs:
            with self.subTest(pair=pair["name"]):
                self.assertEqual(pair["status"], 1, pair["stderr"])
                self.assertEqual(pair["stderr"], "")
                p = subprocess.run(["qpdf", "--check", pair["report"]], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
                out = (p.stdout + p.stderr).decode(errors="replace")
                self.assertEqual(p.returncode, 0, out)
                self.assertNotIn("WARNING", out)
                checked, faults = vr.stream_length_faults(pair["report"])
                self.assertEqual(faults, [])
                for renderer in ("poppler", "mupdf"):
                    code, err, images = self.render(pair["report"], renderer)
                    self.assertEqual((code, vr.complaints(renderer, err)), (0, []), renderer)
                    self.assertEqual(len(images), 1 + len(pair["pairs"]), renderer)

    def halves(self, pair, k, renderer):
        """[(side, source doc, page index, PIL crop of the report)] of pair page k."""
        a, b = pair["pairs"][k]
        report = self.render(pair["report"], renderer)[2][self.summary_pages(pair) + k]
        out = []
        pages = [(pair["a"], a), (pair["b"], b)]
        shown = [vr.displayed_size(doc.pages[i]) for doc, i in pages if i is not None]
        w_a = shown[0][0] if a is not None else shown[-1][0]
        xs = pair_page_geometry(w_a)
        for side, (doc, index), x in zip("ab", pages, xs):
            if index is None:
                out.append((side, doc, None, None))
                continue
            w, h = vr.displayed_size(doc.pages[index])
            out.append((side, doc, index, report.crop((x, TOP_BAND, x + w, TOP_BAND + h))))
        return out

    def test_each_half_looks_like_its_source_page(self):
        checked = 0
        for pair in self.pairs:
            for k in range(len(pair["pairs"])):
                for renderer in ("poppler", "mupdf"):
                    for side, doc, index, half in self.halves(pair, k, renderer):
                        if index is None:
                            continue
                        with self.subTest(pair=pair["name"], pair_page=k, side=side, renderer=renderer):
                            page = doc.pages[index]
                            source = self.render(doc.path, renderer)[2][index]
                            self.assertEqual(half.size, source.size)
                            edit = pair["edits"].get(k + 1)
                            bands = (edit.bands_a if side == "a" else edit.bands_b) if edit else []
                            areas = [vr.pixel_rect(page, r) for r in bands]
                            bad, compared = vr.mismatch(half, source, areas)
                            self.assertLessEqual(bad, vr.MISMATCH_SHARE * compared,
                                                 "%d of %d pixels differ" % (bad, compared))
                            checked += 1
        self.assertEqual(checked, 2 * (8 + 7 + 1 + 5))

    def test_marks_stand_on_the_changed_words(self):
        checked = 0
        tests = {"delete": is_red, "insert": is_green, "replace": is_amber}
        pair = self.pairs[1]
        ops = {1: "replace", 2: "delete", 3: "insert"}
        for number, edit in pair["edits"].items():
            k = number - 1
            for renderer in ("poppler", "mupdf"):
                halves = {side: (doc, index, half) for side, doc, index, half in self.halves(pair, k, renderer)}
                for side, cores in (("a", edit.cores_a), ("b", edit.cores_b)):
                    doc, index, half = halves[side]
                    page = doc.pages[index]
                    source = self.render(doc.path, renderer)[2][index]
                    for core in cores:
                        with self.subTest(page=number, side=side, renderer=renderer):
                            rect = vr.pixel_rect(page, core)
                            self.assertGreaterEqual(vr.ink_share(source, rect), 0.05)
                            self.assertGreaterEqual(share(half, rect, tests[ops[number]]), MARK_SHARE)
                            self.assertEqual(share(source, rect, tests[ops[number]]), 0.0)
                            checked += 1
        self.assertEqual(checked, 2 * 4)

    def test_links_and_outline_lead_to_the_changed_pairs(self):
        import fitz
        for pair in self.pairs:
            with self.subTest(pair=pair["name"]):
                doc = fitz.open(pair["report"])
                first = self.summary_pages(pair)
                expected = [first + k for k in pair["changed"]]
                links = qpdf_links(pair["report"])
                targets = [t for p in range(first) for t in links[p]]
                self.assertEqual(targets, expected)
                toc = doc.get_toc()
                self.assertEqual([entry[2] - 1 for entry in toc], expected)
                for k, target in zip(pair["changed"], expected):
                    a, b = pair["pairs"][k]
                    label = "%s | %s" % ("A p. %d" % (a + 1) if a is not None else "not in A",
                                         "B p. %d" % (b + 1) if b is not None else "not in B")
                    self.assertIn(label, doc[target].get_text())
                    self.assertTrue(toc[pair["changed"].index(k)][1].startswith(label))
                # Every pair page leads back to the first summary page.
                for p in range(first, doc.page_count):
                    self.assertEqual(links[p], [0])
                summary = doc[0].get_text()
                self.assertIn(os.path.basename(pair["a"].path), summary)
                self.assertIn("%d pages" % len(pair["a"].pages), summary)
                doc.close()

    def test_empty_frames_face_pages_one_file_lacks(self):
        import fitz
        for pair in self.pairs:
            doc = fitz.open(pair["report"])
            first = self.summary_pages(pair)
            for k, (a, b) in enumerate(pair["pairs"]):
                with self.subTest(pair=pair["name"], pair_page=k):
                    text = doc[first + k].get_text()
                    self.assertEqual("not in A" in text.replace("not in A |", ""), a is None)
                    self.assertEqual("not in B" in text.replace("| not in B", ""), b is None)
            doc.close()


if __name__ == "__main__":
    MORVEX, WORK = sys.argv[1], sys.argv[2]
    os.makedirs(WORK, exist_ok=True)
    vr.WORK = WORK
    unittest.main(argv=[sys.argv[0], "-v"])
