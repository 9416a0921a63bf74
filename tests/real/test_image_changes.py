"""Images swapped for other pixels of the same size, in files PyMuPDF
writes: every entry point reports image_changed, the reported rectangle
covers every pixel that differs in pdftoppm's renders of both sides, and
rewrites that keep every sample (qpdf's object streams, QDF, Flate
compressed again) are identical.

usage: test_image_changes.py LIBMORVEX MORVEX WORKDIR"""

import ctypes
import json
import os
import subprocess
import sys
import unittest

# The command carries its own sanitizer runtime (in a sanitizer build), so
# the one preloaded for this process's ctypes must not reach it.
COMMAND_ENV = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import realpdf  # noqa: E402

LIB = MORVEX = WORK = None
JPEG_RECT = (100, 120, 300, 270)  # x0, y0, x1, y1 from the top-left corner, points
PNG_RECT = (320, 400, 480, 520)


def picture(path, w, h, spot):
    """A gradient, with a block of other pixels where spot says."""
    from PIL import Image
    img = Image.new("RGB", (w, h))
    for x in range(w):
        for y in range(h):
            img.putpixel((x, y), ((x * 5) % 256, (y * 7) % 256, 90))
    if spot:
        sx, sy = spot
        for x in range(sx, min(w, sx + 12)):
            for y in range(sy, min(h, sy + 9)):
                img.putpixel((x, y), (250, 250, 20))
    img.save(path)


def make_pair(name, jpeg_spot=None, png_spot=None):
    import fitz
    paths = []
    for side, (js, ps) in (("a", (None, None)), ("b", (jpeg_spot, png_spot))):
        jpg = os.path.join(WORK, "%s-%s.jpg" % (name, side))
        png = os.path.join(WORK, "%s-%s.png" % (name, side))
        picture(jpg, 80, 60, js)
        picture(png, 64, 48, ps)
        doc = fitz.open()
        page = doc.new_page(width=595, height=842)
        page.insert_text((72, 72), "A page with two pictures", fontname="helv", fontsize=14)
        page.insert_image(fitz.Rect(*JPEG_RECT), filename=jpg)
        page.insert_image(fitz.Rect(*PNG_RECT), filename=png)
        path = os.path.join(WORK, "%s-%s.pdf" % (name, side))
        doc.save(path, deflate=True)
        paths.append(path)
    return paths


def changed_pixels(a, b):
    """The box (x0, y0, x1, y1), in points from the top-left corner, of the
    pixels that differ between pdftoppm's 72 dpi renders of page 1; None
    when none does."""
    from PIL import Image, ImageChops
    renders = []
    for path in (a, b):
        out = path + ".render"
        realpdf.run("pdftoppm", "-r", "72", "-f", "1", "-l", "1", "-png", "-singlefile", path, out)
        renders.append(Image.open(out + ".png").convert("RGB"))
    return ImageChops.difference(*renders).getbbox()


def lib_compare(a, b):
    LIB.morvex_compare.restype = ctypes.c_char_p
    return json.loads(LIB.morvex_compare(a.encode(), b.encode()).decode())


def lib_detail(a, b):
    LIB.morvex_compare_opts.restype = ctypes.c_char_p
    return json.loads(LIB.morvex_compare_opts(a.encode(), b.encode(), b'{"report":"detail"}').decode())


def covers(rect, box, slack=1.5):
    return (rect[0] - slack <= box[0] and rect[1] - slack <= box[1] and rect[2] + slack >= box[2]
            and rect[3] + slack >= box[3])


class ImageChanges(unittest.TestCase):
    def check_found_and_located(self, a, b):
        plain = lib_compare(a, b)
        self.assertEqual([d["type"] for d in plain["differences"]], ["image_changed"], plain)
        detail = lib_detail(a, b)
        entries = [d for d in detail["differences"] if d["type"] == "image_changed"]
        self.assertEqual(len(entries), 1, detail)
        e = entries[0]
        self.assertEqual(e["image"]["kind"], "image")
        box = changed_pixels(a, b)
        self.assertIsNotNone(box)
        for side in ("rects_a", "rects_b"):
            self.assertTrue(any(covers(r, box) for r in e[side]), "%s %s does not cover %s" % (side, e[side], box))
        for layout in (b'{"layout":"overlay"}', b'{"layout":"side_by_side"}'):
            out = os.path.join(WORK, "report.pdf")
            self.assertEqual(LIB.morvex_visual_opts(a.encode(), b.encode(), out.encode(), layout), 1)
            realpdf.run("qpdf", "--check", out)
        out = os.path.join(WORK, "plain-report.pdf")
        self.assertEqual(LIB.morvex_visual(a.encode(), b.encode(), out.encode()), 1)
        text = subprocess.run([MORVEX, "compare", "--format=text", "--detail", a, b], stdout=subprocess.PIPE,
                              env=COMMAND_ENV).stdout
        self.assertIn(b"image changed: ", text)
        self.assertIn(b"(pixels)", text)
        return e

    def test_jpeg_swapped_is_found_where_it_shows(self):
        a, b = make_pair("jpeg", jpeg_spot=(30, 20))
        e = self.check_found_and_located(a, b)
        self.assertEqual(e["image"]["old"], {"width": 80, "height": 60})

    def test_png_swapped_is_found_where_it_shows(self):
        a, b = make_pair("png", png_spot=(10, 30))
        e = self.check_found_and_located(a, b)
        self.assertEqual(e["image"]["new"], {"width": 64, "height": 48})

    def test_rewrites_that_keep_every_sample_are_identical(self):
        a, _ = make_pair("rewrite")
        for name, flags in (("objstm", ["--object-streams=generate"]), ("qdf", ["--qdf"]),
                            ("recompress", ["--recompress-flate", "--compression-level=1"]),
                            ("uncompressed", ["--stream-data=uncompress"])):
            out = os.path.join(WORK, "rewrite-%s.pdf" % name)
            realpdf.run("qpdf", *flags, a, out)
            self.assertIsNone(changed_pixels(a, out), name)
            kinds = [d["type"] for d in lib_compare(a, out)["differences"] + lib_detail(a, out)["differences"]]
            # QDF re-serialises the page's content, which the content hash
            # still tells apart; the images are the same.
            self.assertEqual([k for k in kinds if name != "qdf" or k != "content_changed"], [], name)


if __name__ == "__main__":
    LIB_PATH, MORVEX, WORK = sys.argv[1], sys.argv[2], sys.argv[3]
    os.makedirs(WORK, exist_ok=True)
    LIB = ctypes.CDLL(LIB_PATH)
    LIB.morvex_init()
    unittest.main(argv=[sys.argv[0], "-v"])
