"""Link and annotation changes, and moved images, marked where they are in
both visual reports of the command, checked on pdftoppm's rendering:
the mark's colour inside the expected rectangle of the right side's page,
and nowhere else.  Pages are made by PyMuPDF; rotated and cropped pages
take the expected place from the source page's own rendering, so the
report's mapping back from displayed coordinates is checked against a
renderer, not against itself.

usage: test_report_marks.py MORVEX LIBMORVEX SCRATCH_DIR"""

import ctypes
import math
import os
import subprocess
import sys
import unittest

import fitz
from PIL import Image

MORVEX = LIB = WORK = None

# The programs started here run without the sanitizer runtime that a
# sanitizer build preloads into this interpreter for the library.
CHILD_ENV = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS")}

# The side-by-side layout: page pairs after the summary page, each side
# below a 40 pt band, A at 18 pt from the left, B a 24 pt gutter after A.
HEAD, MARGIN, GUTTER = 40, 18, 24
NEAR = 5  # pixels a mark may lie outside the rectangle it marks (padding, line width)


def render(path, page=None):
    """The pages of `path` at 72 dpi (one pixel a point), as RGB images."""
    prefix = path + "-r"
    args = ["pdftoppm", "-cropbox", "-r", "72", "-png"]
    if page:
        args += ["-f", str(page), "-l", str(page)]
    subprocess.run(args + [path, prefix], check=True, env=CHILD_ENV)
    folder, base = os.path.split(prefix)
    names = sorted(n for n in os.listdir(folder) if n.startswith(base + "-") and n.endswith(".png"))
    images = [Image.open(os.path.join(folder, n)).convert("RGB") for n in names]
    for n in names:
        os.unlink(os.path.join(folder, n))
    return images


def teal(p):
    r, g, b = p
    return r < 90 and g - r > 50 and b - r > 50 and abs(g - b) < 40


def saturated(p):
    return max(p) - min(p) > 90


def pixels(img, test, box=None):
    """[(x, y)] of the pixels passing `test`, inside box (x0, y0, x1, y1) if given."""
    x0, y0, x1, y1 = box or (0, 0, img.width, img.height)
    x0, y0 = max(0, int(x0)), max(0, int(y0))
    x1, y1 = min(img.width, int(math.ceil(x1))), min(img.height, int(math.ceil(y1)))
    data = img.load()
    return [(x, y) for y in range(y0, y1) for x in range(x0, x1) if test(data[x, y])]


def grow(r, d=NEAR):
    return (r[0] - d, r[1] - d, r[2] + d, r[3] + d)


def shift(r, dx, dy):
    return (r[0] + dx, r[1] + dy, r[2] + dx, r[3] + dy)


def inside(p, boxes):
    return any(b[0] <= p[0] < b[2] and b[1] <= p[1] < b[3] for b in boxes)


def ink_box(img):
    """The box of the non-white pixels: what a blank page with one drawn
    annotation shows of it."""
    found = pixels(img, lambda p: min(p) < 200)
    xs, ys = [x for x, _ in found], [y for _, y in found]
    return (min(xs), min(ys), max(xs) + 1, max(ys) + 1)


def make(path, link=None, annot=None, contents="note", image=None, rotate=0, crop=None, words=True):
    """A 400 x 300 page with a URI link (rect, uri), a square annotation
    (rect), a grey image (rect), a rotation and a crop box as asked."""
    doc = fitz.open()
    page = doc.new_page(width=400, height=300)
    if words:
        page.insert_text((40, 40), "Terms and conditions", fontsize=12)
    if link:
        page.insert_link({"kind": fitz.LINK_URI, "from": fitz.Rect(*link[0]), "uri": link[1]})
    if annot:
        a = page.add_rect_annot(fitz.Rect(*annot))
        a.set_colors(stroke=(0, 0, 0))
        a.set_border(width=2)
        a.set_info(content=contents)
        a.update()
    if image:
        pix = fitz.Pixmap(fitz.csGRAY, fitz.IRect(0, 0, 8, 6), False)
        pix.set_rect(pix.irect, (110,))
        page.insert_image(fitz.Rect(*image), pixmap=pix)
    if crop:
        page.set_cropbox(fitz.Rect(*crop))
    if rotate:
        page.set_rotation(rotate)
    doc.save(path)
    return path


def morvex(*args):
    p = subprocess.run([MORVEX, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=CHILD_ENV)
    if p.returncode not in (0, 1):
        raise AssertionError(p.stderr.decode())
    return p.returncode


class Reports:
    """Both reports of a pair, rendered: the overlay's page 1, the
    side-by-side report's first pair page and where each side stands on it."""

    def __init__(self, name, a, b):
        self.a, self.b = a, b
        self.overlay_path = os.path.join(WORK, name + "-overlay.pdf")
        self.side_path = os.path.join(WORK, name + "-side.pdf")
        self.status = morvex("visual", a, b, "-o", self.overlay_path)
        morvex("visual", "--layout=side-by-side", "--changed-only", a, b, "-o", self.side_path)
        self.overlay = render(self.overlay_path)[0]
        self.side = render(self.side_path, 2)[0]
        wa = render(a, 1)[0].width
        self.a_x, self.b_x = MARGIN, math.ceil(MARGIN + wa + GUTTER)


class MarksWhereTheyAre(unittest.TestCase):
    def check_marks(self, r, where_a, where_b, test=teal, min_share=0.3):
        """Marks passing `test` on each expected rectangle (displayed page
        coordinates, points) and nowhere else, in both reports."""
        def check(img, name, expected, elsewhere_boxes, top=0):
            allowed = [grow(e) for e in elsewhere_boxes]
            for e in expected:
                ring = 2 * ((e[2] - e[0]) + (e[3] - e[1]))
                found = pixels(img, test, grow(e))
                self.assertGreaterEqual(len(found), min_share * ring, "%s: no mark at %s" % (name, e))
            stray = [p for p in pixels(img, test, (0, top, img.width, img.height)) if not inside(p, allowed)]
            self.assertEqual(stray[:5], [], "%s: marks away from %s" % (name, elsewhere_boxes))

        # The overlay shows B's page with A's old places on it too.
        both = [r for r in (where_a, where_b) if r]
        check(r.overlay, "overlay", both, both)
        side_a = [shift(where_a, r.a_x, HEAD)] if where_a else []
        side_b = [shift(where_b, r.b_x, HEAD)] if where_b else []
        # (The band above the pages holds the blue link back to the summary.)
        check(r.side, "side by side", side_a + side_b, side_a + side_b, top=HEAD)

    def test_links_and_annotations_on_plain_pages(self):
        L1, L2, R = (50, 60, 180, 90), (200, 150, 330, 180), (120, 120, 260, 200)
        cases = [
            # name, A's page, B's page, mark on A, mark on B
            ("link moved", dict(link=(L1, "https://a.example")), dict(link=(L2, "https://a.example")), L1, L2),
            ("link retargeted", dict(link=(L1, "https://a.example")), dict(link=(L1, "https://b.example")), L1, L1),
            ("link added", dict(), dict(link=(L2, "https://a.example")), None, L2),
            ("annotation added", dict(), dict(annot=R), None, R),
            ("annotation removed", dict(annot=R), dict(), R, None),
            ("annotation changed", dict(annot=R, contents="old note"), dict(annot=R, contents="new note"), R, R),
        ]
        for name, pa, pb, where_a, where_b in cases:
            with self.subTest(case=name):
                slug = name.replace(" ", "-")
                r = Reports(slug, make(os.path.join(WORK, slug + "-a.pdf"), **pa),
                            make(os.path.join(WORK, slug + "-b.pdf"), **pb))
                self.assertEqual(r.status, 1)
                self.check_marks(r, where_a, where_b)

    def test_rotated_and_cropped_pages_are_marked_where_a_viewer_shows_them(self):
        R = (220, 60, 330, 110)
        for rotate, crop in ((90, None), (180, None), (270, None), (0, (60, 30, 380, 250)), (90, (60, 30, 380, 250))):
            with self.subTest(rotate=rotate, crop=crop):
                slug = "turned-%d-%s" % (rotate, "cropped" if crop else "whole")
                a = make(os.path.join(WORK, slug + "-a.pdf"), rotate=rotate, crop=crop, words=False)
                b = make(os.path.join(WORK, slug + "-b.pdf"), annot=R, rotate=rotate, crop=crop, words=False)
                shown = ink_box(render(b, 1)[0])  # the annotation as a viewer shows it
                r = Reports(slug, a, b)
                self.assertEqual(r.status, 1)
                self.check_marks(r, None, shown)

    def test_a_moved_image_is_marked_at_both_places(self):
        old, new = (50, 60, 130, 120), (230, 150, 310, 210)
        a = make(os.path.join(WORK, "image-a.pdf"), image=old, words=False)
        b = make(os.path.join(WORK, "image-b.pdf"), image=new, words=False)
        r = Reports("image-moved", a, b)
        self.assertEqual(r.status, 1)
        self.check_marks(r, old, new, test=saturated, min_share=0.5)

        # The plain function keeps its report: the new place only.
        lib = ctypes.CDLL(LIB)
        lib.morvex_visual.argtypes = [ctypes.c_char_p] * 3
        plain = os.path.join(WORK, "image-moved-plain.pdf")
        self.assertEqual(lib.morvex_visual(a.encode(), b.encode(), plain.encode()), 1)
        img = render(plain)[0]
        self.assertGreater(len(pixels(img, saturated, grow(new))), 100)
        self.assertEqual(pixels(img, saturated, grow(old)), [])


if __name__ == "__main__":
    MORVEX, LIB, WORK = sys.argv[1], sys.argv[2], sys.argv[3]
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"])
