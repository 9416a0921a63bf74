"""The visual report's marks sit on the changed words of real files.

Pairs made by real tools: a ReportLab file with a subset TrueType font
(DejaVu Sans) and a plain TeX file through pdfTeX (Computer Modern Type1
subsets, ligatures, no ToUnicode), each against a copy with one word
changed for another of the same length ("affluent" for "effluent", which
TeX sets with its ffl ligature) in the first paragraph, which the page
shows three times.  The report (`morvex visual`) is rendered at 72 dpi by
poppler; the changed words' boxes come from `pdftotext -bbox` on B.  The
middle of each must be red, the middles of the words before and after
them on their lines must not be, and nothing else on the page may be red.

usage: test_visual_words.py MORVEX WORKDIR"""

import os
import re
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import realpdf  # noqa: E402
import test_real_words as words  # noqa: E402
import test_visual_report as visual  # noqa: E402

MORVEX = WORK = None
OLD, NEW = "affluent", "effluent"

# Pairs measured and printed but not asserted (none since the font layer
# reads the widths and codes of TrueType and TeX fonts).
NEEDS_FONT_LAYER = set()


def bbox_words(path, page=1):
    """[(text, xMin, yMin, xMax, yMax)] of the page, top-left origin, points."""
    out = realpdf.run("pdftotext", "-bbox", "-f", str(page), "-l", str(page), path, "-")
    return [(m.group(5), float(m.group(1)), float(m.group(2)), float(m.group(3)), float(m.group(4)))
            for m in re.finditer(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>',
                                 out)]


def middle(box, dx=0.2, dy=0.3):
    """The pixel rectangle of the box's middle part (a share dx, dy cut off each side)."""
    _, x0, y0, x1, y1 = box
    w, h = x1 - x0, y1 - y0
    return (int(round(x0 + dx * w)), int(round(y0 + dy * h)), int(round(x1 - dx * w)), int(round(y1 - dy * h)))


def red_pixels_outside(image, rects, pad=4):
    """Red pixels of the image outside the rectangles grown by `pad` pixels
    sideways and by half their height up and down: a mark spans 0.2 em
    below the baseline to 0.9 em above it, poppler's box the font's own
    descent to ascent, which for TeX fonts is lower."""
    from PIL import ImageChops, ImageDraw
    r, g, b = image.split()
    lead = ImageChops.subtract(r, ImageChops.lighter(g, b))
    strong = ImageChops.multiply(lead.point(lambda v: 255 if v >= visual.REDNESS else 0),
                                 r.point(lambda v: 255 if v >= 80 else 0))
    for rect in rects:
        dy = (rect[3] - rect[1]) / 2
        ImageDraw.Draw(strong).rectangle((rect[0] - pad, rect[1] - dy, rect[2] + pad, rect[3] + dy), fill=0)
    return strong.histogram()[255]


class MarksOnChangedWords(unittest.TestCase):
    def test_marks_sit_on_the_changed_word(self):
        pending = []
        for case, make in (("reportlab-ttf", words.reportlab_ttf), ("tex-builtin", lambda p: words.tex(p, False))):
            paths = {}
            saved = list(words.PARAGRAPHS)
            try:
                for side, text in (("a", OLD), ("b", NEW)):
                    words.PARAGRAPHS[0] = saved[0].replace(OLD, text)
                    paths[side] = os.path.join(WORK, "%s-%s.pdf" % (case, side))
                    make(paths[side])
            finally:
                words.PARAGRAPHS[:] = saved
            report = os.path.join(WORK, case + "-report.pdf")
            p = subprocess.run([MORVEX, "visual", paths["a"], paths["b"], "-o", report],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            with self.subTest(case=case):
                self.assertEqual(p.returncode, 1, p.stderr.decode(errors="replace"))
                code, err, images = visual.render(report, "poppler")
                self.assertEqual(code, 0, err)
                page = images[0]
                line = bbox_words(paths["b"])
                at = [i for i, w in enumerate(line) if w[0] == NEW]
                neighbours = [line[j] for i in at for j in (i - 1, i + 1) if abs(line[j][2] - line[i][2]) < 2]
                found = {
                    "changed words": len(at),
                    "least red on them": min(visual.red_share(page, middle(line[i])) for i in at),
                    "neighbours red": max([visual.red_share(page, middle(w, 0.25)) for w in neighbours] or [0]),
                    "red pixels elsewhere": red_pixels_outside(page, [line[i][1:] for i in at]),
                }
                print("%-14s %s" % (case, ", ".join("%s %.3g" % kv for kv in found.items())))
                self.assertEqual(len(at), 3)
                self.assertGreaterEqual(len(neighbours), 3)
                if case in NEEDS_FONT_LAYER:
                    pending.append(case)
                    continue
                self.assertGreaterEqual(found["least red on them"], visual.RED_SHARE)
                self.assertLessEqual(found["neighbours red"], visual.SOURCE_RED_SHARE)
                # Only the changed words' marks; their edges may reach a
                # few pixels beyond poppler's boxes.
                self.assertLessEqual(found["red pixels elsewhere"], 40)
        if pending:
            print("not asserted until the font layer is merged: " + " ".join(pending))


if __name__ == "__main__":
    MORVEX, WORK = sys.argv[1], sys.argv[2]
    os.makedirs(WORK, exist_ok=True)
    words.WORK = visual.WORK = WORK
    unittest.main(argv=[sys.argv[0], "-v"])
