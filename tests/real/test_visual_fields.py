"""Form fields: a changed value is read, reported and marked where it shows.

A ReportLab invoice with two filled-in text fields (their values live only
in the fields' appearance streams, not in the page's content) against a
copy with the amount changed.  The text report must show the old and new
amount, the visual report (rendered at 72 dpi by poppler) must be red in
the middle of the new amount's box as `pdftotext -bbox` gives it, and not
on the other field's words or the page's own text.

usage: test_visual_fields.py MORVEX WORKDIR"""

import json
import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import test_visual_report as visual  # noqa: E402
import test_visual_words as words  # noqa: E402

MORVEX = WORK = None
OLD, NEW = "1250.00", "1275.00"


def invoice(path, amount):
    from reportlab.pdfgen import canvas
    c = canvas.Canvas(path, pagesize=(612, 792))
    c.setFont("Helvetica", 12)
    c.drawString(72, 720, "Invoice 2041 for services rendered")
    c.drawString(72, 650, "Amount due:")
    c.acroForm.textfield(name="amount", value=amount, x=200, y=640, width=160, height=24,
                         fontName="Helvetica", fontSize=14, borderWidth=0)
    c.drawString(72, 600, "Payee:")
    c.acroForm.textfield(name="payee", value="Northwind Traders", x=200, y=590, width=200, height=24,
                         fontName="Helvetica", fontSize=14, borderWidth=0)
    c.save()


class FieldValues(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.a, cls.b = os.path.join(WORK, "invoice-a.pdf"), os.path.join(WORK, "invoice-b.pdf")
        invoice(cls.a, OLD)
        invoice(cls.b, NEW)

    def run_morvex(self, *args):
        return subprocess.run([MORVEX, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def test_text_report_shows_the_values(self):
        p = self.run_morvex("text", self.a, self.b)
        self.assertEqual(p.returncode, 1, p.stderr.decode(errors="replace"))
        diff = json.loads(p.stdout)["differences"]
        self.assertEqual([d["type"] for d in diff], ["text_changed"])
        self.assertIn(OLD, diff[0]["diff"])
        self.assertIn(NEW, diff[0]["diff"])
        self.assertIn("Northwind Traders", diff[0]["diff"])
        # The same file twice: nothing.
        self.assertEqual(self.run_morvex("compare", self.a, self.a).returncode, 0)

    def test_marks_sit_on_the_changed_value(self):
        report = os.path.join(WORK, "invoice-report.pdf")
        p = self.run_morvex("visual", self.a, self.b, "-o", report)
        self.assertEqual(p.returncode, 1, p.stderr.decode(errors="replace"))
        code, err, images = visual.render(report, "poppler")
        self.assertEqual(code, 0, err)
        page = images[0]
        boxes = words.bbox_words(self.b)
        changed = [w for w in boxes if w[0] == NEW]
        others = [w for w in boxes if w[0] in ("Northwind", "Traders", "Amount", "due:", "Payee:")]
        self.assertEqual(len(changed), 1)
        self.assertEqual(len(others), 5)
        on = visual.red_share(page, words.middle(changed[0]))
        off = max(visual.red_share(page, words.middle(w, 0.25)) for w in others)
        elsewhere = words.red_pixels_outside(page, [changed[0][1:]])
        print("on the value %.3g, other words %.3g, red pixels elsewhere %d" % (on, off, elsewhere))
        self.assertGreaterEqual(on, visual.RED_SHARE)
        self.assertLessEqual(off, visual.SOURCE_RED_SHARE)
        self.assertLessEqual(elsewhere, 40)


if __name__ == "__main__":
    MORVEX, WORK = sys.argv[1], sys.argv[2]
    os.makedirs(WORK, exist_ok=True)
    words.WORK = visual.WORK = WORK
    unittest.main(argv=[sys.argv[0], "-v"])
