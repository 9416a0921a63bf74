"""Helpers for tests on real PDFs made by real tools (reportlab, PyMuPDF,
qpdf, Ghostscript, mutool).  Run with /usr/bin/python3, where Debian's
python3-reportlab and python3-fitz are installed."""

import json
import os
import re
import subprocess


def run(*cmd, check=True):
    """Runs a command and returns its standard output as text."""
    p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if check and p.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (cmd[0], p.returncode, p.stderr.decode(errors="replace")))
    return p.stdout.decode(errors="replace")


def reportlab_doc(path, pages, compress=True):
    """pages: list of (width, height, rotate, [(x, y, text), ...])."""
    from reportlab.pdfgen import canvas
    c = canvas.Canvas(path, pageCompression=1 if compress else 0)
    for (w, h, rot, lines) in pages:
        c.setPageSize((w, h))
        c.setPageRotation(rot)
        c.setFont("Helvetica", 12)
        for (x, y, text) in lines:
            c.drawString(x, y, text)
        c.showPage()
    c.save()


def fitz_doc(path, pages):
    """pages: list of (width, height, rotate, [(x, y, text), ...])."""
    import fitz
    doc = fitz.open()
    for (w, h, rot, lines) in pages:
        page = doc.new_page(width=w, height=h)
        for (x, y, text) in lines:
            page.insert_text((x, h - y), text, fontname="helv", fontsize=12)
        if rot:
            page.set_rotation(rot)
    doc.save(path)


def qpdf_pages(path):
    """[(object number, [content numbers])] from qpdf's JSON."""
    data = json.loads(run("qpdf", "--json", "--json-key=pages", path, check=False))
    ref = lambda s: int(s.split()[0])
    return [(ref(p["object"]), [ref(c) for c in p["contents"]]) for p in data["pages"]]


def mutool_boxes(path):
    """[(x, y, w, h, rotate)] from mutool's page listing."""
    out = run("mutool", "pages", path)
    pages = []
    for block in re.findall(r"<page pagenum=\"\d+\">(.*?)</page>", out, re.S):
        m = re.search(r'<MediaBox l="([^"]+)" b="([^"]+)" r="([^"]+)" t="([^"]+)"', block)
        l, b, r, t = (float(v) for v in m.groups())
        rot = re.search(r'<Rotate v="(-?\d+)"', block)
        pages.append((min(l, r), min(b, t), abs(r - l), abs(t - b), int(rot.group(1)) % 360 if rot else 0))
    return pages


def morvex_pages(tool, path):
    """[(obj, x, y, w, h, rotate, [contents])] from the library's loader."""
    out = run(tool, path).splitlines()
    count = int(out[0].split()[1])
    pages = []
    for line in out[1:1 + count]:
        f = line.split()
        pages.append((int(f[0]), float(f[1]), float(f[2]), float(f[3]), float(f[4]), int(f[5]),
                      [int(v) for v in f[6:]]))
    return pages
