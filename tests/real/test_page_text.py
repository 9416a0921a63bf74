"""The page text of files made by real tools holds the same words, in the
same order, as pdftotext finds on each page; files whose fonts use other
encodings still load and analyse every page.

usage: test_page_text.py MORVEX_PAGETEXT WORKDIR"""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import realpdf  # noqa: E402

TOOL = None
WORK = None

# Lines with accented Latin-1 letters, curly quotes, dashes, the euro and
# ASCII punctuation: all in WinAnsiEncoding.
LINES = [
    "Hello World from the first line",
    "Caf\u00e9 na\u00efve r\u00e9sum\u00e9 \u00e0 la cr\u00e8me br\u00fbl\u00e9e",
    "\u201cQuoted\u201d and \u2018single\u2019 \u2013 dash \u2014 em \u2026 dots",
    "Stra\u00dfe \u00c4rger \u00d6l \u00dcbel \u00e7a \u00f1and\u00fa \u00d8re \u00e5",
    "Price: 10\u20ac \u00a35 \u00a93 \u00ae 50% off! \u00bd \u00b1 \u00b0",
    "It's a test, isn't it? (yes) [no] {maybe} <tag> a\\b",
]
RL_FONTS = ["Helvetica", "Times-Roman", "Courier", "Helvetica-Bold", "Times-Italic", "Courier-BoldOblique",
            "Helvetica-Oblique", "Times-BoldItalic"]
FITZ_FONTS = ["helv", "tiro", "cour", "hebo", "tiit", "cobo"]
PARAGRAPH = ("Justified paragraph text wraps over several lines and is set with word spacing, "
             "so each line is one string with ordinary spaces between the words. ") * 6


def reportlab_text_doc(path, pages, compress):
    from reportlab.pdfgen import canvas
    c = canvas.Canvas(path, pageCompression=1 if compress else 0)
    for p in range(pages):
        for i, font in enumerate(RL_FONTS):
            c.setFont(font, 11)
            c.drawString(72, 740 - i * 18, "P%d %s: %s" % (p + 1, font, LINES[(i + p) % len(LINES)]))
        t = c.beginText(72, 560)
        t.setFont("Times-Roman", 10)
        t.setLeading(13)
        for k in range(6):
            t.textLine("Text object line %d on page %d %s" % (k, p + 1, LINES[k]))
        c.drawText(t)
        c.showPage()
    c.save()


def reportlab_paragraph_doc(path):
    from reportlab.lib.enums import TA_JUSTIFY
    from reportlab.lib.styles import ParagraphStyle
    from reportlab.platypus import Paragraph, SimpleDocTemplate
    style = ParagraphStyle("body", fontName="Times-Roman", fontSize=11, leading=14, alignment=TA_JUSTIFY)
    story = [Paragraph(PARAGRAPH + " Paragraph %d, \u00e9t\u00e9 \u201cend\u201d." % k, style) for k in range(12)]
    SimpleDocTemplate(path).build(story)


def fitz_text_doc(path, pages):
    import fitz
    doc = fitz.open()
    for p in range(pages):
        page = doc.new_page()
        for i, font in enumerate(FITZ_FONTS):
            page.insert_text((72, 72 + i * 20), "P%d %s: %s" % (p + 1, font, LINES[(i + p) % len(LINES)]),
                             fontname=font, fontsize=11)
        page.insert_text((72, 300), "\n".join("Multi line %d of page %d" % (k, p + 1) for k in range(4)),
                         fontname="helv", fontsize=10)
    doc.save(path)


def fitz_ttf_doc(path):
    """Text in an embedded TrueType font: two-byte codes (Identity-H)."""
    import fitz
    doc = fitz.open()
    for p in range(2):
        page = doc.new_page()
        page.insert_font(fontname="dv", fontfile="/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")
        page.insert_text((72, 72), "DejaVu caf\u00e9 \u201cquotes\u201d \u03b1\u03b2\u03b3 page %d" % (p + 1),
                         fontname="dv", fontsize=12)
    doc.save(path)


def page_texts(path):
    """Our page texts, one string per page, from the tool's output."""
    pages = []
    for line in realpdf.run(TOOL, path).split("\n"):
        m = re.match(r"=== page (\d+)$", line)
        if m:
            assert int(m.group(1)) == len(pages) + 1, line
            pages.append([])
        elif pages:
            pages[-1].append(line)
    return ["\n".join(p) for p in pages]


def pdftotext_words(path, page):
    return realpdf.run("pdftotext", "-f", str(page), "-l", str(page), path, "-").split()


def page_count(path):
    return int(realpdf.run("qpdf", "--show-npages", path).strip())


class PageTextMatchesPdftotext(unittest.TestCase):
    def compare(self, path):
        """(pages, pages whose words equal pdftotext's, first difference)."""
        ours = page_texts(path)
        self.assertEqual(len(ours), page_count(path), path)
        same, first = 0, None
        for i, text in enumerate(ours):
            want = pdftotext_words(path, i + 1)
            got = text.split()
            if got == want:
                same += 1
            elif first is None:
                k = next((j for j, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
                first = "page %d word %d: ours %r, pdftotext %r" % (i + 1, k, got[k:k + 4], want[k:k + 4])
        return len(ours), same, first

    def test_standard_fonts_match_word_for_word(self):
        docs = {}
        for compress in (True, False):
            p = os.path.join(WORK, "rl-text-%s.pdf" % ("z" if compress else "plain"))
            reportlab_text_doc(p, 4, compress)
            docs[os.path.basename(p)] = p
        p = os.path.join(WORK, "rl-paragraphs.pdf")
        reportlab_paragraph_doc(p)
        docs["rl-paragraphs.pdf"] = p
        p = os.path.join(WORK, "fitz-text.pdf")
        fitz_text_doc(p, 3)
        docs["fitz-text.pdf"] = p
        # The same documents with their objects inside object streams.
        for name in list(docs):
            dst = os.path.join(WORK, "objstm-" + name)
            realpdf.run("qpdf", "--object-streams=generate", docs[name], dst)
            docs["objstm-" + name] = dst
        for name, path in docs.items():
            with self.subTest(doc=name):
                pages, same, first = self.compare(path)
                self.assertGreaterEqual(pages, 2)
                self.assertEqual(same, pages, first)

    def test_other_encodings_load_and_analyse(self):
        src = os.path.join(WORK, "rl-src.pdf")
        reportlab_text_doc(src, 3, True)
        docs = {"gs": os.path.join(WORK, "gs.pdf"), "cairo": os.path.join(WORK, "cairo.pdf"),
                "ttf": os.path.join(WORK, "ttf.pdf")}
        realpdf.run("gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=pdfwrite", "-o", docs["gs"], src)
        realpdf.run("pdftocairo", "-pdf", src, docs["cairo"])
        fitz_ttf_doc(docs["ttf"])
        for name, path in docs.items():
            with self.subTest(doc=name):
                # page_texts fails unless the tool exits 0; compare checks
                # that every page was printed.
                pages, same, first = self.compare(path)
                print("%s: %d of %d pages word for word%s" % (name, same, pages,
                                                             "" if first is None else "; first difference " + first))


if __name__ == "__main__":
    TOOL, WORK = sys.argv[1], sys.argv[2]
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"])
