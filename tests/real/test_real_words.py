"""The words of files made by real tools, against pdftotext.

Files are made here by tools CI installs: ReportLab and PyMuPDF with an
embedded TrueType font (DejaVu), Ghostscript's ps2pdf on groff output,
plain TeX through pdfTeX (Computer Modern Type1 subsets, with and without
ToUnicode CMaps), and pdftocairo -pdf rewrites of some of them.  Every file
holds the same text: ligatures (fi, ff, ffi, fl), quotes, dashes,
punctuation next to words, accented letters.

For each file, the words of every page (tools/text_f1.py: NFKC, soft
hyphens dropped, bag of words) must agree with pdftotext's with an F1 of at
least the file's bar: 0.98, the bar of the real-file harness, unless the
table says otherwise and why.  Some words must also be read exactly as
written (ligatures as letters, a comma on its word).

usage: test_real_words.py MORVEX_PAGETEXT WORKDIR"""

import os
import shutil
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import realpdf  # noqa: E402
import text_f1  # noqa: E402

TOOL = WORK = None
DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

PARAGRAPHS = [
    "The office staff finalized the affluent workflow efficiently, and the official "
    "figures were filed before the deadline.",
    "A reader expects \u201cquoted\u201d words, the years 1999\u20132022, an em dash \u2014 like this \u2014 "
    "and (parenthesised) words; commas, full stops and colons stay on their words: file, end.",
    "Caf\u00e9 r\u00e9sum\u00e9 na\u00efve \u00fcber Stra\u00dfe: accented letters are letters too.",
    "Fluffy baffles, shuffled waffles and difficult offices fill the final lines of the page.",
]
# Words each file must hold exactly (after the harness's normalisation).
MUST_HAVE = ["office", "finalized", "affluent", "workflow", "efficiently,", "figures", "filed",
             "file,", "Fluffy", "baffles,", "difficult", "offices", "final"]

# Cases measured and printed but not asserted (none: every case reaches its
# bar since the font layer reads ToUnicode CMaps, encodings, Type0 fonts,
# widths and word breaks by gaps).
NEEDS_FONT_LAYER = set()

# Bars below 0.98, with the reason.
BARS = {}


def reportlab_ttf(path):
    from reportlab.lib.styles import ParagraphStyle
    from reportlab.pdfbase import pdfmetrics
    from reportlab.pdfbase.ttfonts import TTFont
    from reportlab.platypus import Paragraph, SimpleDocTemplate
    pdfmetrics.registerFont(TTFont("DejaVuSans", DEJAVU))
    style = ParagraphStyle("body", fontName="DejaVuSans", fontSize=11, leading=15)
    SimpleDocTemplate(path).build([Paragraph(p, style) for p in PARAGRAPHS * 3])


def fitz_ttf(path):
    import fitz
    doc = fitz.open()
    for _ in range(2):
        page = doc.new_page()
        page.insert_font(fontname="dv", fontfile=DEJAVU)
        page.insert_textbox(fitz.Rect(72, 72, 540, 760), "\n\n".join(PARAGRAPHS), fontname="dv", fontsize=11)
    doc.save(path)


GROFF_ESCAPES = {"\u201c": "\\(lq", "\u201d": "\\(rq", "\u2013": "\\(en", "\u2014": "\\(em", "\u00e9": "\\('e",
                 "\u00ef": "\\(:i", "\u00fc": "\\(:u", "\u00df": "\\(ss"}


def groff_gs(path):
    src = os.path.join(WORK, "groff.ms")
    with open(src, "w") as f:
        for p in PARAGRAPHS * 2:
            for ch, esc in GROFF_ESCAPES.items():
                p = p.replace(ch, esc)
            f.write(".PP\n%s\n" % p)
    ps = os.path.join(WORK, "groff.ps")
    if not os.path.exists("/usr/share/groff/current/tmac/s.tmac"):
        raise RuntimeError("groff's ms macros are missing: scripts/deps.sh installs the package groff")
    with open(ps, "wb") as out:
        out.write(subprocess.run(["groff", "-Tps", "-ms", src], stdout=subprocess.PIPE, check=True).stdout)
    realpdf.run("ps2pdf", ps, path)


TEX_ESCAPES = {"\u201c": "``", "\u201d": "''", "\u2013": "--", "\u2014": "---", "\u00e9": "\\'e",
               "\u00ef": "\\\"\\i{}", "\u00fc": "\\\"u", "\u00df": "\\ss{}"}


def tex(path, tounicode):
    body = []
    for p in PARAGRAPHS * 3:
        for ch, esc in TEX_ESCAPES.items():
            p = p.replace(ch, esc)
        body.append(p)
    head = "\\pdfgentounicode=1 \\input glyphtounicode\n" if tounicode else ""
    name = os.path.splitext(os.path.basename(path))[0]
    src = os.path.join(WORK, name + ".tex")
    with open(src, "w") as f:
        f.write(head + "\\hsize=4.5in \\vsize=8in \\parindent=0pt \\parskip=6pt\n" + "\n\n".join(body) + "\n\\bye\n")
    realpdf.run("pdftex", "-interaction=batchmode", "-halt-on-error", "-output-directory", WORK, src)


def cairo_of(src_case):
    def make(path):
        realpdf.run("pdftocairo", "-pdf", os.path.join(WORK, src_case + ".pdf"), path)
    return make


# (case, maker); later makers may read the files of earlier ones.
CASES = [
    ("reportlab-ttf", reportlab_ttf),
    ("fitz-ttf", fitz_ttf),
    ("groff-gs", groff_gs),
    ("tex-tounicode", lambda p: tex(p, True)),
    ("tex-builtin", lambda p: tex(p, False)),
    ("cairo-of-tex", cairo_of("tex-builtin")),
    ("cairo-of-reportlab", cairo_of("reportlab-ttf")),
]


class RealWords(unittest.TestCase):
    def test_words_agree_with_pdftotext(self):
        if not shutil.which("pdftex"):
            self.fail("pdftex is missing: scripts/deps.sh installs texlive-binaries and texlive-base")
        pending = []
        for case, make in CASES:
            path = os.path.join(WORK, case + ".pdf")
            make(path)
            with self.subTest(case=case):
                ours = text_f1.morvex_pages(TOOL, path, 0)
                ref = text_f1.pdftotext_pages(path, 0)
                r = text_f1.measure(TOOL, path, 0)
                self.assertIsNone(r["error"], case)
                bar = BARS.get(case, text_f1.BAR)
                have = set(w for ws in ours.values() for w in ws)
                ref_have = set(w for ws in ref.values() for w in ws)
                missing = [w for w in MUST_HAVE if w in ref_have and w not in have]
                line = "%-20s pages %d words %5d F1 %.4f (bar %.2f) worst page %d %.4f; must-have missing: %s" % (
                    case, r["pages"], r["ref_words"], r["f1"], bar, r["worst"][1], r["worst"][0],
                    " ".join(missing) or "none")
                print(line)
                # pdftotext itself must read the words we wrote, or the
                # file is no test of ours.
                self.assertEqual([w for w in MUST_HAVE if w not in ref_have], [], case)
                if case in NEEDS_FONT_LAYER:
                    pending.append(case)
                    continue
                self.assertGreaterEqual(r["f1"], bar, line)
                self.assertEqual(missing, [], line)
        if pending:
            print("not asserted until the font layer is merged: " + " ".join(pending))


if __name__ == "__main__":
    TOOL, WORK = sys.argv[1], sys.argv[2]
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"])
