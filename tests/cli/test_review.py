"""Where reviewers and CI servers look: the review pages and index that
--reports and --html write, and the JUnit XML of --junit.

The pages must be valid HTML5 (html5lib's strict parser), every link must
lead to a file that exists, and a link to a report page must lead to the
page that shows the change; hostile file names and words are escaped.  The
JUnit file must validate against junit.xsd, the schema of the format as
Jenkins and GitLab read it.  The Python review page is the command's, byte
for byte.

usage: test_review.py MORVEX SCRATCH_DIR PYTHON_PACKAGE_DIR"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

import fitz
import html5lib
from lxml import etree
from reportlab.pdfgen import canvas

MORVEX = SCRATCH = PYTHON_DIR = None
HERE = os.path.dirname(os.path.abspath(__file__))

# A word that would run a script, one that is already a character
# reference, and quotes of both kinds.
HOSTILE_OLD = "<b>bold</b>"
HOSTILE_NEW = "<img/src=x/onerror=alert(1)>&amp;\"q\"'s"
# Letters that break paths and URLs: spaces, markup, a fragment, a
# percent sign, quotes.
HOSTILE_NAME = "we <&> \"q\" 'x' #1 %41.pdf"


def make_pdf(path, pages):
    """A PDF with one page per list of text lines."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    c = canvas.Canvas(path, pagesize=(612, 792), invariant=1)
    for lines in pages:
        for k, line in enumerate(lines):
            c.drawString(72, 700 - 20 * k, line)
        c.showPage()
    c.save()


PAGE = ["Chapter %d of the manual", "the quick brown fox jumps over the lazy dog", "page ends here"]


def chapter(n, word="brown"):
    return [line.replace("%d", str(n)).replace("brown", word) for line in PAGE]


def build_trees(base):
    """OLD and NEW: a changed word on page 3 of four with a page inserted
    before it, hostile words under a hostile name, an identical pair, a
    file that cannot be read, and files on one side only."""
    old, new = os.path.join(base, "old"), os.path.join(base, "new")
    make_pdf(os.path.join(old, "book/manual.pdf"), [chapter(1), chapter(2), chapter(3), chapter(4)])
    make_pdf(os.path.join(new, "book/manual.pdf"),
             [chapter(1), ["A new page", "inserted here"], chapter(2), chapter(3, "red"), chapter(4)])
    make_pdf(os.path.join(old, HOSTILE_NAME), [["before " + HOSTILE_OLD + " after"]])
    make_pdf(os.path.join(new, HOSTILE_NAME), [["before " + HOSTILE_NEW + " after"]])
    for side in (old, new):
        make_pdf(os.path.join(side, "same.pdf"), [chapter(1)])
    make_pdf(os.path.join(old, "broken.pdf"), [chapter(1)])
    with open(os.path.join(new, "broken.pdf"), "w") as f:
        f.write("not a PDF\n")
    make_pdf(os.path.join(old, "gone.pdf"), [chapter(1)])
    make_pdf(os.path.join(new, "fresh.pdf"), [chapter(1)])
    return old, new


def run(*args):
    # The command carries its own sanitizer runtime (in a sanitizer build), so
    # the one preloaded for the Python binding must not reach it.
    env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    p = subprocess.run([MORVEX, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300, env=env)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


def text_of(element):
    return "".join(element.itertext())


def parse_html(test, path):
    """The page parsed by html5lib's strict parser (any parse error fails)."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        return html5lib.HTMLParser(strict=True, namespaceHTMLElements=False).parse(data)
    except html5lib.html5parser.ParseError as e:
        test.fail("%s: not valid HTML5: %s" % (path, e))


class Review(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.base = tempfile.mkdtemp(prefix="review-", dir=SCRATCH)
        cls.old, cls.new = build_trees(cls.base)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.base)

    def scratch(self):
        d = tempfile.mkdtemp(dir=self.base)
        self.addCleanup(shutil.rmtree, d)
        return d

    def check_page(self, path, side_by_side):
        """Valid HTML5, nothing from the network, no script, every link to
        an existing file, and every report page link to the page that shows
        its change.  Returns the parsed tree."""
        tree = parse_html(self, path)
        self.assertEqual(tree.findall(".//script"), [], path)
        for element in tree.iter():
            for name, value in element.attrib.items():
                self.assertFalse(name.startswith("on"), (path, name))
                self.assertNotRegex(value, "^(https?:|//|javascript:)", path)
        self.assertEqual(tree.findall(".//link") + tree.findall(".//img"), [], path)
        for item in tree.iter("li"):
            for a in item.findall("a"):
                self.check_link(path, a.get("href"), item, side_by_side)
        for a in tree.iter("a"):
            self.check_link(path, a.get("href"), None, side_by_side)
        return tree

    def check_link(self, page, href, item, side_by_side):
        url = urllib.parse.urlsplit(href)
        self.assertEqual((url.scheme, url.netloc, url.query), ("", "", ""), href)
        target = os.path.join(os.path.dirname(page), urllib.parse.unquote(url.path))
        self.assertTrue(os.path.isfile(target), (page, href))
        if not url.fragment:
            return
        number = int(re.fullmatch(r"page=(\d+)", url.fragment).group(1))
        with fitz.open(target) as pdf:
            self.assertLessEqual(number, pdf.page_count, href)
            shown = pdf[number - 1].get_text()
        if item is None:
            return
        # The page named by the link shows the change: the side-by-side
        # report heads it with the pair's label, the overlay shows B's page
        # with the new words.
        where = text_of(item.find("span[@class='where']"))
        if side_by_side:
            self.assertTrue(shown.startswith(where + ":"), (href, where, shown[:80]))
        for ins in item.iter("ins"):
            for word in ins.text.split():
                self.assertIn(word, shown, (href, where))

    def test_batch_reports_in_both_layouts(self):
        for layout in ([], ["--layout=side-by-side"], ["--layout=side-by-side", "--changed-only"]):
            with self.subTest(layout=layout):
                reports = os.path.join(self.scratch(), "reports")
                code, _, err = run("compare", "--dir", "--reports", reports, *layout, self.old, self.new)
                self.assertEqual(code, 2, err)
                pages = sorted(os.path.relpath(os.path.join(d, n), reports)
                               for d, _, names in os.walk(reports) for n in names if n.endswith(".html"))
                self.assertEqual(pages, sorted(["index.html", "book/manual.pdf.html", HOSTILE_NAME + ".html"]))
                for rel in pages:
                    self.check_page(os.path.join(reports, rel), bool(layout))
                manual = parse_html(self, os.path.join(reports, "book/manual.pdf.html"))
                items = manual.findall(".//ol[@class='diffs']/li")
                heads = [text_of(i.find("span[@class='where']")) + ": " + text_of(i.find("span[2]")) for i in items]
                if layout:  # paired by content: the inserted page and the one changed word
                    self.assertEqual(heads, ["not in A | B p. 2: page added", "A p. 3 | B p. 4: text changed"])
                words = [w for w in manual.iter("li") if w.find("del") is not None and w.find("del").text == "brown"]
                self.assertEqual(len(words), 1, heads)
                self.assertEqual(words[0].find("ins").text, "red")
                self.assertEqual(text_of(words[0]), "… of the manual the quick brown red "
                                 "fox jumps over the lazy …")

    def test_index_counts_switch_and_first_changes(self):
        reports = os.path.join(self.scratch(), "reports")
        run("compare", "--dir", "--reports", reports, "--layout=side-by-side", self.old, self.new)
        index = self.check_page(os.path.join(reports, "index.html"), True)
        self.assertEqual(text_of(index.find(".//p[@class='summary']")),
                         "4 pairs compared: 1 identical, 2 different, 1 error; 1 only in old, 1 only in new")
        # The switch hides identical rows by CSS alone.
        switch = index.find(".//input[@id='only-changes']")
        self.assertEqual(switch.get("type"), "checkbox")
        self.assertIn('#only-changes:checked ~ table tr[data-status="identical"] { display: none; }',
                      text_of(index.find(".//style")))
        rows = {text_of(r.find("td")).replace(" PDF", ""): r for r in index.iter("tr") if r.get("data-status")}
        self.assertEqual({k: r.get("data-status") for k, r in rows.items()}, {
            "book/manual.pdf": "different", HOSTILE_NAME: "different", "same.pdf": "identical",
            "broken.pdf": "error", "gone.pdf": "only_old", "fresh.pdf": "only_new"})
        changed = rows["book/manual.pdf"]
        self.assertEqual([text_of(d) for d in changed.iter("del")], ["brown"])

    def test_hostile_names_and_words_are_text(self):
        reports = os.path.join(self.scratch(), "reports")
        run("compare", "--dir", "--reports", reports, self.old, self.new)
        for rel in ("index.html", HOSTILE_NAME + ".html"):
            tree = parse_html(self, os.path.join(reports, rel))
            self.assertEqual([e.tag for e in tree.iter() if e.tag in ("b", "img", "script")], [], rel)
            dels = [e.text for e in tree.iter("del")]
            inss = [e.text for e in tree.iter("ins")]
            self.assertIn(HOSTILE_OLD, dels, rel)
            self.assertIn(HOSTILE_NEW, inss, rel)
        index = parse_html(self, os.path.join(reports, "index.html"))
        self.assertIn(HOSTILE_NAME, [text_of(e) for e in index.iter("a")])
        page = parse_html(self, os.path.join(reports, HOSTILE_NAME + ".html"))
        self.assertEqual(text_of(page.find(".//h1")), HOSTILE_NAME)
        self.assertEqual(page.find(".//title").text, "morvex review: " + HOSTILE_NAME)

    def test_junit_validates_and_says_what_differs(self):
        schema = etree.XMLSchema(etree.parse(os.path.join(HERE, "junit.xsd")))
        d = self.scratch()
        junit = os.path.join(d, "results.xml")
        code, _, err = run("compare", "--dir", "--junit", junit, self.old, self.new)
        self.assertEqual(code, 2, err)
        doc = etree.parse(junit)
        schema.assertValid(doc)
        suite = doc.getroot().find("testsuite")
        self.assertEqual({k: suite.get(k) for k in ("tests", "failures", "errors", "skipped")},
                         {"tests": "6", "failures": "4", "errors": "1", "skipped": "0"})
        cases = {c.get("name"): c for c in suite.iter("testcase")}
        self.assertEqual(sorted(cases), sorted(["book/manual.pdf", HOSTILE_NAME, "same.pdf", "broken.pdf",
                                                "gone.pdf", "fresh.pdf"]))
        outcome = {name: [(child.tag, child.get("type")) for child in c] for name, c in cases.items()}
        self.assertEqual(outcome, {
            "book/manual.pdf": [("failure", "different")], HOSTILE_NAME: [("failure", "different")],
            "same.pdf": [], "broken.pdf": [("error", "error")],
            "gone.pdf": [("failure", "only_old")], "fresh.pdf": [("failure", "only_new")]})
        failure = cases["book/manual.pdf"].find("failure")
        self.assertEqual(failure.get("message"), "2 differences on 2 of 5 pages")
        self.assertIn("[-brown-]{+red+}", failure.text)
        self.assertIn("[-" + HOSTILE_OLD + "-]{+" + HOSTILE_NEW + "+}", cases[HOSTILE_NAME].find("failure").text)
        self.assertRegex(cases["broken.pdf"].find("error").get("message"), "new/broken.pdf$")
        # One pair: one case, named by B's path.
        code, _, _ = run("text", "--junit", junit, os.path.join(self.old, "same.pdf"),
                         os.path.join(self.new, "same.pdf"))
        self.assertEqual(code, 0)
        doc = etree.parse(junit)
        schema.assertValid(doc)
        self.assertEqual([(c.get("name"), len(c)) for c in doc.iter("testcase")],
                         [(os.path.join(self.new, "same.pdf"), 0)])

    def test_junit_text_is_xml_whatever_the_file_holds(self):
        """Control characters and U+FFFF cannot appear in XML at all: they
        are shown as escapes, and the file still validates."""
        schema = etree.XMLSchema(etree.parse(os.path.join(HERE, "junit.xsd")))
        d = self.scratch()
        old, new = os.path.join(d, "old"), os.path.join(d, "new")
        make_pdf(os.path.join(old, "c.pdf"), [["tab\there bell\x07 end"]])
        make_pdf(os.path.join(new, "c.pdf"), [["tab\there bell\x08 \uffff end"]])
        junit = os.path.join(d, "j.xml")
        run("compare", "--dir", "--junit", junit, old, new)
        schema.assertValid(etree.parse(junit))

    def test_one_pair_page_matches_python(self):
        if not os.environ.get("MORVEX_LIBRARY"):
            self.skipTest("no MORVEX_LIBRARY for the Python binding")
        d = self.scratch()
        a, b = os.path.join(self.old, "book/manual.pdf"), os.path.join(self.new, "book/manual.pdf")
        page = os.path.join(d, "cli", "review.html")
        os.makedirs(os.path.dirname(page))
        code, out, err = run("compare", "--format=summary", "--html", page, "--layout=side-by-side", a, b)
        self.assertEqual((code, out), (1, "2 differences on 2 of 5 pages\n"), err)
        self.assertTrue(os.path.isfile(os.path.join(d, "cli", "review.pdf")))
        self.check_page(page, True)
        sys.path.insert(0, PYTHON_DIR)
        import morvex
        os.makedirs(os.path.join(d, "py"))
        morvex.review(a, b, os.path.join(d, "py", "review.html"), pairing="content")
        with open(page, "rb") as f1, open(os.path.join(d, "py", "review.html"), "rb") as f2:
            self.assertEqual(f1.read(), f2.read())

    def test_a_pair_changed_only_in_a_link_is_counted_in_a_changed_only_report(self):
        """Page 1 differs only in a link's target, page 3 in a word: the
        changed-only report shows both pairs, and the word's link leads to
        the third report page, from the command and from Python alike."""
        d = self.scratch()
        a, b = os.path.join(d, "a.pdf"), os.path.join(d, "b.pdf")
        for path, target, word in ((a, "https://a.example", "brown"), (b, "https://b.example", "green")):
            make_pdf(path, [chapter(1), chapter(2), chapter(3, word)])
            with fitz.open(path) as doc:
                doc[0].insert_link({"kind": fitz.LINK_URI, "from": fitz.Rect(72, 80, 200, 100), "uri": target})
                doc.saveIncr()
        page = os.path.join(d, "cli", "review.html")
        os.makedirs(os.path.dirname(page))
        code, _, err = run("compare", "--html", page, "--layout=side-by-side", "--changed-only", a, b)
        self.assertEqual(code, 1, err)
        tree = self.check_page(page, True)
        hrefs = [a.get("href") for item in tree.iter("li") for a in item.findall("a")]
        self.assertEqual(hrefs, ["review.pdf#page=3"])
        with fitz.open(os.path.join(d, "cli", "review.pdf")) as pdf:
            self.assertEqual(pdf.page_count, 3)
            self.assertTrue(pdf[1].get_text().startswith("A p. 1 | B p. 1: link changed"), pdf[1].get_text()[:80])
        if not os.environ.get("MORVEX_LIBRARY"):
            return
        sys.path.insert(0, PYTHON_DIR)
        import morvex
        os.makedirs(os.path.join(d, "py"))
        morvex.review(a, b, os.path.join(d, "py", "review.html"), pairing="content", changed_only=True)
        with open(page, "rb") as f1, open(os.path.join(d, "py", "review.html"), "rb") as f2:
            self.assertEqual(f1.read(), f2.read())

    def test_python_shows_unknown_kinds_as_the_command_does(self):
        """Kinds the pages do not know (style, drawing, document entries)
        are shown from their fields; the command's rendering of this one is
        pinned in test_cli_parts.cpp."""
        sys.path.insert(0, PYTHON_DIR)
        from morvex import _review
        d = {"page": 2, "type": "style_changed", "page_a": 2, "page_b": 2, "old": "Times 10", "new": "Helvetica <b>",
             "text": "a & b", "rects_a": [[1.5, 2, 3.25, 4]], "rects_b": [],
             "size_a": {"width": 612.0, "height": 792, "rotation": 0},
             "size_b": {"width": 595.276, "height": 842, "rotation": 90}}
        self.assertEqual(_review.difference_item(d, 3, "a%20b.pdf"),
                         '<li><span class="where">A p. 2 | B p. 2</span> <span class="kind">style changed</span> '
                         '<a class="pdf" href="a%20b.pdf#page=3">report page 3</a>\n'
                         '<div class="field"><span class="name">page:</span> <del>612 × 792 pt</del> '
                         '<ins>595.28 × 842 pt, turned 90°</ins></div>\n'
                         '<div class="field"><del>Times 10</del> <ins>Helvetica &lt;b&gt;</ins></div>\n'
                         '<div class="field"><span class="name">text:</span> a &amp; b</div>\n'
                         '<div class="field"><span class="name">marked:</span> on A [1.5, 2, 3.25, 4]</div>\n'
                         '</li>\n')


if __name__ == "__main__":
    MORVEX, SCRATCH, PYTHON_DIR = sys.argv[1:4]
    os.makedirs(SCRATCH, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"])
