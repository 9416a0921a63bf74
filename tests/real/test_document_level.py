"""What differs beside the pages, on files made by real tools.

Files from three producers (PyMuPDF, ReportLab, Ghostscript from PostScript
with pdfmarks), each with metadata, bookmarks and links (and, where the
tool makes them, comments, form fields and an embedded file), are edited
with PyMuPDF one kind at a time: each edit must be reported as its kind,
and nothing else.  Rewrites by qpdf (object streams, QDF, linearized) of
every file must show no document difference.

usage: test_document_level.py MORVEX WORKDIR"""

import json
import os
import subprocess
import sys
import unittest

MORVEX = WORK = None


def path(name):
    return os.path.join(WORK, name)


def compare(a, b, *options):
    p = subprocess.run([MORVEX, "compare", *options, a, b], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if p.returncode not in (0, 1):
        raise RuntimeError(p.stderr.decode(errors="replace"))
    return json.loads(p.stdout)


def fitz_file(out):
    import fitz
    d = fitz.open()
    for i in range(3):
        d.new_page().insert_text((72, 72), "Page %d of the PyMuPDF file" % (i + 1))
    d.set_metadata({"title": "Manual", "author": "Ann", "subject": "Tests"})
    d.set_toc([[1, "Start", 1], [2, "Details", 2], [1, "End", 3]])
    page = d[0]
    page.insert_link({"kind": fitz.LINK_URI, "from": fitz.Rect(72, 100, 200, 120), "uri": "https://a.example/"})
    page.insert_link({"kind": fitz.LINK_GOTO, "from": fitz.Rect(72, 130, 200, 150), "page": 2})
    page = d[1]
    page.add_text_annot((100, 100), "Please check")
    page = d[2]
    w = fitz.Widget()
    w.field_name, w.field_type = "customer", fitz.PDF_WIDGET_TYPE_TEXT
    w.rect, w.field_value = fitz.Rect(72, 300, 250, 320), "Alice"
    page.add_widget(w)
    d.embfile_add("notes.txt", b"first notes")
    d.save(out)


def reportlab_file(out):
    from reportlab.pdfgen import canvas
    c = canvas.Canvas(out, pagesize=(612, 792))
    c.setTitle("Invoice")
    c.setAuthor("Billing")
    for i, name in enumerate(("first", "second", "third")):
        c.setFont("Helvetica", 12)
        c.drawString(72, 720, "ReportLab page %d" % (i + 1))
        c.bookmarkPage(name)
        c.addOutlineEntry("Section %d" % (i + 1), name, level=0)
        if i == 0:
            c.linkURL("https://b.example/", (72, 600, 200, 620))
            c.linkRect("", "third", (72, 560, 200, 580))
            c.acroForm.textfield(name="amount", value="1250.00", x=200, y=400, width=160, height=24)
        c.showPage()
    c.save()


def ghostscript_file(out):
    ps = out + ".ps"
    with open(ps, "w") as f:
        f.write("%!PS\n[ /Title (Handbook) /Author (Docs team) /DOCINFO pdfmark\n")
        for i in range(3):
            f.write("/Helvetica findfont 12 scalefont setfont 72 720 moveto (Ghostscript page %d) show\n" % (i + 1))
            f.write("[ /Title (Part %d) /Page %d /View [/Fit] /OUT pdfmark\n" % (i + 1, i + 1))
            if i == 0:
                f.write("[ /Rect [72 600 200 620] /Border [0 0 0] /Action << /Subtype /URI /URI (https://c.example/) >>"
                        " /Subtype /Link /ANN pdfmark\n")
                f.write("[ /Rect [72 560 200 580] /Border [0 0 0] /Page 3 /View [/Fit] /Subtype /Link /ANN pdfmark\n")
            f.write("showpage\n")
    subprocess.run(["gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite", "-o", out, ps], check=True,
                   stdout=subprocess.DEVNULL)


# Edits by PyMuPDF: (name, function of the open document, the kinds expected).
def rename_bookmark(d):
    toc = d.get_toc()
    toc[-1][1] += " (revised)"
    d.set_toc(toc)


def retarget_bookmark(d):
    toc = d.get_toc()
    toc[0][2] = 3
    d.set_toc(toc)


def change_uri(d):
    page = d[0]
    for link in page.get_links():
        if link.get("uri"):
            link["uri"] = link["uri"] + "changed"
            page.update_link(link)
            return


def retarget_link(d):
    page = d[0]
    for link in page.get_links():
        if link["kind"] in (1, 4):  # LINK_GOTO, or a named destination (ReportLab, Ghostscript)
            link.update({"kind": 1, "page": 1})
            page.update_link(link)
            return


def change_title(d):
    m = d.metadata
    m["title"] = "Another title"
    d.set_metadata(m)


def change_field(d):
    for page in d:
        for w in page.widgets():
            w.field_value = "changed"
            w.update()
            return


def change_comment(d):
    page = d[1]
    for a in page.annots():
        a.set_info(content="Looks good")
        a.update()


def add_comment(d):
    page = d[2]
    page.add_text_annot((300, 300), "A new remark")


def change_attachment(d):
    d.embfile_upd("notes.txt", b"second notes")


EDITS = {
    "rename_bookmark": (rename_bookmark, {"outline_changed"}),
    "retarget_bookmark": (retarget_bookmark, {"outline_changed"}),
    "change_uri": (change_uri, {"link_changed"}),
    "retarget_link": (retarget_link, {"link_changed"}),
    "change_title": (change_title, {"metadata_changed"}),
    "change_field": (change_field, {"field_changed"}),
    "change_comment": (change_comment, {"annotation_changed"}),
    "add_comment": (add_comment, {"annotation_added"}),
    "change_attachment": (change_attachment, {"attachment_changed"}),
}
# What each producer's file holds to be edited.
PRODUCERS = {
    "pymupdf": (fitz_file, set(EDITS)),
    "reportlab": (reportlab_file, {"rename_bookmark", "retarget_bookmark", "change_uri", "retarget_link",
                                   "change_title", "change_field", "add_comment"}),
    "ghostscript": (ghostscript_file, {"rename_bookmark", "retarget_bookmark", "change_uri", "retarget_link",
                                       "change_title", "add_comment"}),
}


# PyMuPDF keeps state between documents that one edit can spoil for the
# next, so every file is made and every edit done in a process of its own.
def in_child(*args):
    subprocess.run([sys.executable, os.path.abspath(__file__), *args], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def child_main(args):
    if args[0] == "--make":
        PRODUCERS[args[1]][0](args[2])
    elif args[0] == "--edit":
        import fitz
        d = fitz.open(args[2])
        for name in args[1].split(","):
            EDITS[name][0](d)
        d.save(args[3], **({"garbage": 3, "deflate": True} if args[1] == "none" else {}))


EDITS["none"] = (lambda d: None, set())


class DocumentLevel(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = {}
        for name, (make, _) in PRODUCERS.items():
            cls.files[name] = path(name + ".pdf")
            in_child("--make", name, cls.files[name])

    def test_each_edit_is_reported_as_its_kind(self):
        for producer, (_, edits) in PRODUCERS.items():
            src = self.files[producer]
            for edit in sorted(edits):
                kinds = EDITS[edit][1]
                with self.subTest(producer=producer, edit=edit):
                    dst = path("%s-%s.pdf" % (producer, edit))
                    in_child("--edit", edit, src, dst)
                    report = compare(src, dst)
                    found = {e["type"] for e in report.get("document", [])}
                    self.assertEqual(found, kinds, report.get("document"))
                    self.assertFalse(report["identical"])
                    # Page-bound entries name their pages and rectangles.
                    for e in report["document"]:
                        if e["type"].startswith(("link", "annotation")):
                            self.assertTrue(e["page_a"] or e["page_b"], e)
                            self.assertTrue(e["rect_a"] or e["rect_b"], e)

    def test_a_save_by_pymupdf_alone_changes_nothing(self):
        for producer, src in self.files.items():
            with self.subTest(producer=producer):
                dst = path(producer + "-resaved.pdf")
                in_child("--edit", "none", src, dst)
                self.assertNotIn("document", compare(src, dst))

    def test_qpdf_rewrites_show_no_document_difference(self):
        rewrites = {"objstm": ["--object-streams=generate"], "qdf": ["--qdf"], "linearize": ["--linearize"]}
        for producer, src in self.files.items():
            for name, args in rewrites.items():
                with self.subTest(producer=producer, rewrite=name):
                    dst = path("%s-%s.pdf" % (producer, name))
                    p = subprocess.run(["qpdf", *args, src, dst], stderr=subprocess.PIPE)
                    self.assertIn(p.returncode, (0, 3), p.stderr)
                    report = compare(src, dst, "--document=all")
                    self.assertNotIn("document", report)

    def test_the_option_leaves_kinds_out(self):
        src = self.files["pymupdf"]
        dst = path("pymupdf-several.pdf")
        in_child("--edit", "change_title,change_uri", src, dst)
        self.assertEqual({e["type"] for e in compare(src, dst)["document"]}, {"metadata_changed", "link_changed"})
        self.assertEqual({e["type"] for e in compare(src, dst, "--document=links")["document"]}, {"link_changed"})
        self.assertNotIn("document", compare(src, dst, "--document=none"))

    def test_the_side_by_side_summary_counts_them(self):
        src = self.files["pymupdf"]
        dst = path("pymupdf-summary.pdf")
        in_child("--edit", "change_title,change_uri,add_comment", src, dst)
        report = path("summary-report.pdf")
        p = subprocess.run([MORVEX, "visual", "--layout=side-by-side", src, dst, "-o", report])
        self.assertEqual(p.returncode, 1)  # the files differ
        text = subprocess.run(["pdftotext", "-f", "1", "-l", "1", report, "-"], stdout=subprocess.PIPE,
                              check=True).stdout.decode()
        for line in ("Document: metadata changed", "Document: link changed", "Document: annotation added"):
            self.assertIn(line, text)


if __name__ == "__main__":
    if sys.argv[1].startswith("--"):
        child_main(sys.argv[1:])
        sys.exit(0)
    MORVEX, WORK = sys.argv[1], sys.argv[2]
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=sys.argv[:1], verbosity=2)
