"""The visual report in real viewers.

Pairs of real documents (reportlab and PyMuPDF output with standard and
embedded TrueType fonts and PNG images, qpdf rewrites with object streams,
a hand-made file with inherited resources and indirect lengths) are turned
into reports with `morvex visual`.  Every report must pass `qpdf --check`
and render in poppler (pdftoppm) and MuPDF (mutool draw) without a
complaint; every report page, rendered at 72 dpi, must have the size of the
page it shows as a viewer displays it (so rotated pages too) and look like
that page everywhere except where a difference is marked; the marks must be
red exactly where the changed words and moved images are, and pages that
only one document has must carry the red frame and band.

usage: test_visual_report.py MORVEX WORKDIR"""

import concurrent.futures
import copy
import glob
import os
import re
import subprocess
import sys
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import realpdf  # noqa: E402

MORVEX = WORK = None

DEJAVU = "/usr/share/fonts/truetype/dejavu"
TRUETYPE = {
    "DejaVuSans": os.path.join(DEJAVU, "DejaVuSans.ttf"),
    "DejaVuSerif": os.path.join(DEJAVU, "DejaVuSerif.ttf"),
    "DejaVuSansMono": os.path.join(DEJAVU, "DejaVuSansMono.ttf"),
}
FITZ_BASE14 = {"Helvetica": "helv", "Helvetica-Bold": "hebo", "Times-Roman": "tiro", "Courier": "cour"}
HAND_FONTS = {"Helvetica": "F1", "Times-Roman": "F2", "Courier": "F3"}

# Rendered pages are compared channel by channel.  Outside the marks a report
# page is the source page drawn through a form XObject whose matrix undoes
# the page's rotation and box corner, all by whole points, so at 72 dpi the
# renderers put every glyph and image on the same pixels: poppler 22.12 and
# MuPDF 1.21 give identical pixels on every page of these pairs.  The
# tolerances only leave room for anti-aliasing that another renderer version
# might do differently: a pixel mismatches when a channel differs by more
# than PIXEL_TOLERANCE (a fifth of the range), and at most MISMATCH_SHARE of
# the compared pixels (about 48 on a Letter page) may mismatch.  That still
# catches the smallest real fault: one 12-point word replaced by another of
# the same length ("forty" by "sixty") already mismatches 57 pixels, and a
# missing font, image or page content or a stray mark thousands.
PIXEL_TOLERANCE = 48
MISMATCH_SHARE = 0.0001
# A pixel is red when R exceeds both G and B by REDNESS and R is at least
# 80: the translucent box (alpha 0.35) lifts R above G and B by 89 on white
# and on black text (R 89, G 0), by at least 70 on the pale images used here,
# and a struck box on top of it by more.  Every pixel of a mark's core is red
# in both renderers; RED_SHARE leaves room for anti-aliased glyph edges.  The
# same place in the source has no red pixel at all.
REDNESS = 50
RED_SHARE = 0.95
SOURCE_RED_SHARE = 0.01


# ---------------------------------------------------------------- documents

class Text:
    """A line of text; x, y is the start of the baseline relative to the page box's corner."""

    def __init__(self, x, y, font, size, text):
        self.x, self.y, self.font, self.size, self.text = x, y, font, size, text


class Picture:
    """A PNG image placed with its lower left corner at x, y (relative to the box's corner)."""

    def __init__(self, x, y, w, h, png):
        self.x, self.y, self.w, self.h, self.png = x, y, w, h, png


class Page:
    def __init__(self, w, h, items, rotate=0, corner=(0, 0)):
        self.w, self.h, self.items, self.rotate, self.corner = w, h, items, rotate, corner


class Doc:
    def __init__(self, path, pages):
        self.path, self.pages = path, pages


_font_cache = {}


def text_width(font, text, size):
    if font in TRUETYPE:
        import fitz
        if font not in _font_cache:
            _font_cache[font] = fitz.Font(fontfile=TRUETYPE[font])
        return _font_cache[font].text_length(text, fontsize=size)
    from reportlab.pdfbase.pdfmetrics import stringWidth
    return stringWidth(text, font, size)


def write_png(path, pixel, w, h):
    from PIL import Image
    img = Image.new("RGB", (w, h))
    img.putdata([pixel(x, y) for y in range(h) for x in range(w)])
    img.save(path)
    return path


def make_pngs():
    # Colours whose channels stay close together, so that a red mark over
    # them is clearly red and the image alone is not.
    photo = write_png(os.path.join(WORK, "photo.png"),
                      lambda x, y: (90 + x // 3, 100 + x // 3 + y // 8, 95 + x // 3 + (x + y) // 16), 120, 80)
    stamp = write_png(os.path.join(WORK, "stamp.png"),
                      lambda x, y: (60, 70, 80) if (x // 10 + y // 10) % 2 else (200, 205, 215), 60, 60)
    return photo, stamp


def write_reportlab(path, pages):
    from reportlab.pdfgen import canvas
    c = canvas.Canvas(path, pageCompression=1)
    for page in pages:
        # reportlab swaps the media box of pages turned by a quarter.
        c.setPageSize((page.h, page.w) if page.rotate % 180 == 90 else (page.w, page.h))
        c.setPageRotation(page.rotate)
        c.translate(*page.corner)
        for item in page.items:
            if isinstance(item, Text):
                c.setFont(item.font, item.size)
                c.drawString(item.x, item.y, item.text)
            else:
                c.drawImage(item.png, item.x, item.y, width=item.w, height=item.h)
        c.showPage()
    c.save()
    if any(page.corner != (0, 0) for page in pages):
        # The content was drawn shifted by the corner; the media box follows.
        import fitz
        doc = fitz.open(path)
        for page, desc in zip(doc, pages):
            x, y = desc.corner
            doc.xref_set_key(page.xref, "MediaBox", "[%g %g %g %g]" % (x, y, x + desc.w, y + desc.h))
        doc.save(path + ".tmp")
        doc.close()
        os.replace(path + ".tmp", path)


def write_fitz(path, pages):
    import fitz
    doc = fitz.open()
    for desc in pages:
        assert desc.corner == (0, 0)
        page = doc.new_page(width=desc.w, height=desc.h)
        for item in desc.items:
            if isinstance(item, Text):
                name = FITZ_BASE14.get(item.font)
                if name is None:
                    name = item.font.lower()
                    page.insert_font(fontname=name, fontfile=TRUETYPE[item.font])
                page.insert_text((item.x, desc.h - item.y), item.text, fontname=name, fontsize=item.size)
            else:
                page.insert_image(fitz.Rect(item.x, desc.h - item.y - item.h, item.x + item.w, desc.h - item.y),
                                  filename=item.png)
        if desc.rotate:
            page.set_rotation(desc.rotate)
    doc.save(path, deflate=True)


def write_handmade(path, pages, objstm=False):
    """A file whose fonts and images sit in the /Resources of the page tree's
    root, two levels above the pages, with the media box inherited as well,
    and whose streams have indirect /Length values.  With `objstm` every
    object that is no stream, the lengths included, lives in an object
    stream, and a cross-reference stream replaces the table."""
    from PIL import Image
    objects = {}
    pngs = sorted({item.png for page in pages for item in page.items if isinstance(item, Picture)})
    num = [3]  # 1 to 3: the catalog and the two page tree nodes

    def new(body):
        num[0] += 1
        objects[num[0]] = body
        return num[0]

    def stream(data, extra=""):
        length = new(b"%d" % len(data))
        return new(b"<< " + extra.encode() + b" /Filter /FlateDecode /Length %d 0 R >>\nstream\n" % length
                   + data + b"\nendstream")

    fonts = {name: new(b"<< /Type /Font /Subtype /Type1 /BaseFont /%s /Encoding /WinAnsiEncoding >>" % base.encode())
             for base, name in HAND_FONTS.items()}
    images = {}
    for k, png in enumerate(pngs):
        img = Image.open(png).convert("RGB")
        images[png] = ("Im%d" % (k + 1), stream(zlib.compress(img.tobytes()),
                       "/Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceRGB /BitsPerComponent 8"
                       % img.size))
    page_nums = []
    for page in pages:
        assert (page.w, page.h, page.corner) == (612, 792, (0, 0))
        ops = []
        for item in page.items:
            if isinstance(item, Text):
                ops.append("BT /%s %g Tf %g %g Td (%s) Tj ET" % (HAND_FONTS[item.font], item.size, item.x, item.y,
                                                                 item.text))
            else:
                ops.append("q %g 0 0 %g %g %g cm /%s Do Q" % (item.w, item.h, item.x, item.y, images[item.png][0]))
        content = stream(zlib.compress("\n".join(ops).encode()))
        rotate = " /Rotate %d" % page.rotate if page.rotate else ""
        page_nums.append(new(("<< /Type /Page /Parent PARENT /Contents %d 0 R%s >>" % (content, rotate)).encode()))
    # Pages 1 and 2 hang below an intermediate node, the rest below the root.
    inner, outer = page_nums[:2], page_nums[2:]
    objects[3] = ("<< /Type /Pages /Parent 2 0 R /Kids [%s] /Count %d >>"
                  % (" ".join("%d 0 R" % n for n in inner), len(inner))).encode()
    for n in inner:
        objects[n] = objects[n].replace(b"PARENT", b"3 0 R")
    for n in outer:
        objects[n] = objects[n].replace(b"PARENT", b"2 0 R")
    font_dict = " ".join("/%s %d 0 R" % (name, n) for name, n in sorted(fonts.items()))
    image_dict = " ".join("/%s %d 0 R" % (name, n) for name, n in sorted(images.values()))
    objects[2] = ("<< /Type /Pages /Kids [3 0 R %s] /Count %d /MediaBox [0 0 612 792] "
                  "/Resources << /ProcSet [/PDF /Text /ImageC] /Font << %s >> /XObject << %s >> >> >>"
                  % (" ".join("%d 0 R" % n for n in outer), len(pages), font_dict, image_dict)).encode()
    objects[1] = b"<< /Type /Catalog /Pages 2 0 R >>"
    out = bytearray(b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n")
    offsets, members = {}, {}
    size = max(objects) + 1
    if objstm:
        holder = size
        plain = [n for n in sorted(objects) if not objects[n].endswith(b"endstream")]
        head, body = [], b""
        for k, n in enumerate(plain):
            head.append(b"%d %d" % (n, len(body)))
            body += objects.pop(n) + b"\n"
            members[n] = (holder, k)
        head = b" ".join(head) + b"\n"
        packed = zlib.compress(head + body)
        objects[holder] = (b"<< /Type /ObjStm /N %d /First %d /Filter /FlateDecode /Length %d >>\nstream\n"
                           % (len(plain), len(head), len(packed)) + packed + b"\nendstream")
        size = holder + 2
    for n in sorted(objects):
        offsets[n] = len(out)
        out += b"%d 0 obj\n" % n + objects[n] + b"\nendobj\n"
    xref = len(out)
    if objstm:
        offsets[size - 1] = xref
        rows = b"".join(b"\x01" + offsets[n].to_bytes(4, "big") + b"\0\0" if n in offsets else
                        b"\x02" + members[n][0].to_bytes(4, "big") + members[n][1].to_bytes(2, "big")
                        if n in members else b"\0\0\0\0\0\xff\xff" for n in range(size))
        packed = zlib.compress(rows)
        out += (b"%d 0 obj\n<< /Type /XRef /Size %d /W [1 4 2] /Root 1 0 R /Filter /FlateDecode /Length %d >>"
                b"\nstream\n" % (size - 1, size, len(packed)) + packed + b"\nendstream\nendobj\n")
        out += b"startxref\n%d\n%%%%EOF\n" % xref
    else:
        out += b"xref\n0 %d\n0000000000 65535 f \n" % size
        for n in range(1, size):
            out += b"%010d 00000 n \n" % offsets[n] if n in offsets else b"0000000000 65535 f \n"
        out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (size, xref)
    with open(path, "wb") as f:
        f.write(out)


# ------------------------------------------------------ changes and marks

class Mark:
    """Where a difference must be marked on a page, in the page's PDF
    coordinates: `core` must turn red, `area` is left out of the comparison
    with the source page."""

    def __init__(self, core, areas):
        self.core, self.areas = core, areas


def absolute(page, x0, y0, x1, y1):
    cx, cy = page.corner
    return (x0 + cx, y0 + cy, x1 + cx, y1 + cy)


def word_box(page, line, index):
    words = line.text.split(" ")
    prefix = " ".join(words[:index]) + (" " if index else "")
    x0 = line.x + text_width(line.font, prefix, line.size)
    x1 = x0 + text_width(line.font, words[index], line.size)
    return x0, x1


def change_word(pages, page_no, item_no, word_no, word):
    """A copy of `pages` with one word of a line replaced, and the mark it needs."""
    pages = copy.deepcopy(pages)
    page = pages[page_no - 1]
    line = page.items[item_no]
    old_x0, old_x1 = word_box(page, line, word_no)
    words = line.text.split(" ")
    assert words[word_no] != word
    words[word_no] = word
    line.text = " ".join(words)
    x0, x1 = word_box(page, line, word_no)
    s, y = line.size, line.y
    core = absolute(page, x0 + 1, y + 0.1 * s, x1 - 1, y + 0.55 * s)
    # The words after the changed one may move, and a font whose widths the
    # comparison does not know is measured as a whole run: the line is left
    # out of the comparison from its start to the page's right edge.
    band = absolute(page, line.x - 8, y - 0.2 * s - 8, page.w, y + 0.9 * s + 8)
    return pages, {page_no: [Mark(core, [band])]}


def move_image(pages, page_no, item_no, x, y):
    pages = copy.deepcopy(pages)
    page = pages[page_no - 1]
    img = page.items[item_no]
    old_x, old_y = img.x, img.y
    img.x, img.y = x, y
    core = absolute(page, x + 6, y + 6, x + img.w - 6, y + img.h - 6)
    # The new place is marked red; the old one, empty on B's page, gets the
    # struck box of what A had there (the command's report marks both).
    new = absolute(page, x - 8, y - 8, x + img.w + 8, y + img.h + 8)
    old = absolute(page, old_x - 8, old_y - 8, old_x + img.w + 8, old_y + img.h + 8)
    return pages, {page_no: [Mark(core, [new, old])]}


def merge(*mark_maps):
    out = {}
    for marks in mark_maps:
        for page, ms in marks.items():
            out.setdefault(page, []).extend(ms)
    return out


def to_pixels(page, x, y):
    """PDF user space to the pixel grid of the page rendered at 72 dpi as a
    viewer displays it (the box's corner subtracted, /Rotate applied)."""
    u, v = x - page.corner[0], page.corner[1] + page.h - y
    return {0: (u, v), 90: (page.h - v, u), 180: (page.w - u, page.h - v), 270: (v, page.w - u)}[page.rotate % 360]


def pixel_rect(page, rect):
    x0, y0, x1, y1 = rect
    (a, b), (c, d) = to_pixels(page, x0, y0), to_pixels(page, x1, y1)
    return (int(min(a, c)), int(min(b, d)), int(max(a, c) + 0.999), int(max(b, d) + 0.999))


def displayed_size(page):
    return (page.h, page.w) if page.rotate % 180 == 90 else (page.w, page.h)


# ------------------------------------------------------------- rendering

ICC_NOTE = "warning: ICC support is not available"


def render(path, renderer):
    """(exit status, stderr, [PIL images]) of every page of `path` at 72 dpi."""
    from PIL import Image
    folder = os.path.join(WORK, "render", renderer, os.path.basename(path)[:-4])
    os.makedirs(folder, exist_ok=True)
    prefix = os.path.join(folder, "page")
    for old in glob.glob(prefix + "-*.png"):
        os.unlink(old)
    if renderer == "poppler":
        cmd = ["pdftoppm", "-r", "72", "-png", path, prefix]
    else:
        cmd = ["mutool", "draw", "-q", "-r", "72", "-c", "rgb", "-o", prefix + "-%d.png", path]
    p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    files = sorted(glob.glob(prefix + "-*.png"), key=lambda f: int(re.search(r"-(\d+)\.png$", f).group(1)))
    images = []
    for f in files:
        with Image.open(f) as img:
            images.append(img.convert("RGB"))
    return p.returncode, p.stderr.decode(errors="replace"), images


def complaints(renderer, stderr):
    lines = [l for l in stderr.splitlines() if l.strip()]
    if renderer == "poppler":
        return lines
    # This MuPDF build is made without colour management and says so on
    # every run, whatever the file.
    return [l for l in lines if l != ICC_NOTE and re.search(r"error|warning", l, re.I)]


def mismatch(report, source, areas):
    """(mismatching pixels, compared pixels) outside `areas` (pixel rects)."""
    from PIL import Image, ImageChops, ImageDraw
    diff = ImageChops.difference(report, source)
    r, g, b = diff.split()
    worst = ImageChops.lighter(ImageChops.lighter(r, g), b)
    mask = Image.new("L", report.size, 255)
    draw = ImageDraw.Draw(mask)
    for rect in areas:
        draw.rectangle((rect[0], rect[1], rect[2] - 1, rect[3] - 1), fill=0)
    worst = ImageChops.multiply(worst, mask)
    bad = sum(worst.histogram()[PIXEL_TOLERANCE + 1:])
    return bad, mask.histogram()[255]


def red_share(image, rect, redness=REDNESS, min_r=80):
    """Share of the pixels in `rect` whose red exceeds green and blue by `redness`."""
    from PIL import ImageChops
    crop = image.crop(rect)
    r, g, b = crop.split()
    lead = ImageChops.subtract(r, ImageChops.lighter(g, b))
    strong = ImageChops.multiply(lead.point(lambda v: 255 if v >= redness else 0),
                                 r.point(lambda v: 255 if v >= min_r else 0))
    total = crop.size[0] * crop.size[1]
    return strong.histogram()[255] / total if total else 0.0


def ink_share(image, rect):
    """Share of the pixels in `rect` that are darker than mid-grey."""
    crop = image.crop(rect).convert("L")
    total = crop.size[0] * crop.size[1]
    return sum(crop.histogram()[:128]) / total if total else 0.0


# ------------------------------------------------------ stream lengths

def xref_offsets(data):
    """Object number -> offset, from the classic cross-reference table that
    startxref names (the only kind the report and the hand-made file use)."""
    start = int(re.search(rb"startxref\s+(\d+)\s+%%EOF\s*$", data).group(1))
    head = re.compile(rb"xref\s+(\d+)\s+(\d+)[ \t]*\r?\n").match(data, start)
    first, count = int(head.group(1)), int(head.group(2))
    out = {}
    for k in range(count):
        row = data[head.end() + 20 * k: head.end() + 20 * k + 20]
        if row[17:18] == b"n":
            out[first + k] = int(row[:10])
    return out


def dictionary_at(data, pos):
    """(end of the dictionary that starts at `pos`, its own /Length value text or None)."""
    depth, i, length = 0, pos, None
    while i < len(data):
        if data.startswith(b"<<", i):
            depth, i = depth + 1, i + 2
        elif data.startswith(b">>", i):
            depth, i = depth - 1, i + 2
            if depth == 0:
                return i, length
        elif data[i:i + 1] == b"(":
            nest, i = 1, i + 1
            while i < len(data) and nest:
                c = data[i:i + 1]
                nest += {b"(": 1, b")": -1}.get(c, 0)
                i += 2 if c == b"\\" else 1
        else:
            m = re.compile(rb"/Length(?![^\s/<>\[\]()%])\s+(\d+(?:\s+\d+\s+R)?)").match(data, i)
            if m and depth == 1:
                length = m.group(1)
            i = m.end() if m else i + 1
    raise ValueError("unterminated dictionary at %d" % pos)


def stream_length_faults(path):
    """(streams checked, faults): a stream is at fault when its /Length
    bytes of data are not followed by at most one end-of-line and
    "endstream"."""
    with open(path, "rb") as f:
        data = f.read()
    offsets = xref_offsets(data)
    faults, checked = [], 0
    for num, off in sorted(offsets.items()):
        head = re.compile(rb"\d+\s+\d+\s+obj\s*").match(data, off)
        if not head or not data.startswith(b"<<", head.end()):
            continue
        end, length = dictionary_at(data, head.end())
        kw = re.compile(rb"\s*stream(\r\n|\n|\r)").match(data, end)
        if not kw:
            continue
        ref = re.fullmatch(rb"(\d+)\s+\d+\s+R", length or b"")
        if ref:
            value = re.compile(rb"\d+\s+\d+\s+obj\s*(\d+)\s*endobj").match(data, offsets.get(int(ref.group(1)), 0))
            length = value.group(1) if value else None
        checked += 1
        if length is None:
            faults.append("object %d: no usable /Length" % num)
            continue
        if not re.compile(rb"(\r\n|\n|\r)?endstream").match(data, kw.end() + int(length)):
            faults.append("object %d: /Length %d, but %d bytes stand between stream and endstream"
                          % (num, int(length), data.find(b"endstream", kw.end()) - kw.end()))
    return checked, faults


# ----------------------------------------------------------------- pairs

def build_pairs():
    photo, stamp = make_pngs()
    T = Text
    d = lambda name: os.path.join(WORK, name + ".pdf")

    def objstm(src, name):
        realpdf.run("qpdf", "--object-streams=generate", src.path, d(name))
        return Doc(d(name), src.pages)

    def first_pages(src, name, n):
        realpdf.run("qpdf", "--empty", "--pages", src.path, "1-%d" % n, "--", d(name))
        return Doc(d(name), src.pages[:n])

    def made(writer, name, pages):
        writer(d(name), pages)
        return Doc(d(name), pages)

    # A report in the standard fonts, with images; page 3 alone uses
    # Courier-Bold and the stamp, so a page only A has needs objects that
    # B does not have.
    rl_pages = [
        Page(612, 792, [
            T(72, 720, "Helvetica-Bold", 18, "Quarterly report on the northern region"),
            T(72, 690, "Helvetica", 11, "Revenue grew by four percent over the quarter while costs stayed flat."),
            T(72, 674, "Helvetica", 11, "The new warehouse opened in March and is already at full capacity."),
            Picture(360, 480, 180, 120, photo),
            T(72, 440, "Times-Roman", 12, "Figure one shows the monthly deliveries of the region."),
        ]),
        Page(612, 792, [
            T(72, 720, "Times-Roman", 14, "Section two: the people"),
            T(72, 690, "Times-Roman", 12, "Staff numbers rose from forty to fifty two during the period."),
            T(72, 672, "Times-Roman", 12, "Training hours per employee doubled compared with last year."),
            T(72, 654, "Times-Roman", 12, "Absence because of illness fell to its lowest level yet."),
            T(72, 600, "Courier", 10, "Code: MX-0042  ref 7781  batch 12"),
        ]),
        Page(612, 792, [
            T(72, 720, "Courier-Bold", 16, "Appendix: the ledger"),
            T(72, 690, "Courier", 10, "Account 4410  opening 12,500.00  closing 13,020.00"),
            Picture(72, 520, 120, 120, stamp),
            T(72, 480, "Helvetica", 10, "Stamped and approved by the regional office."),
        ]),
    ]
    rl = made(write_reportlab, "rl", rl_pages)
    rl_word_pages, rl_word_marks = change_word(rl_pages, 2, 1, 4, "sixty")
    rl_word = made(write_reportlab, "rl-word", rl_word_pages)

    # Embedded TrueType fonts (DejaVu) next to the standard ones, and images.
    fz_pages = [
        Page(595, 842, [
            T(72, 770, "DejaVuSans", 16, "Project status in DejaVu Sans"),
            T(72, 740, "DejaVuSerif", 11, "The bridge deck was poured on schedule last week."),
            T(72, 722, "DejaVuSerif", 11, "Inspections found no defects in the main cables."),
            T(72, 700, "Helvetica", 10, "Base fonts still work beside the embedded ones."),
            Picture(300, 420, 180, 120, photo),
            T(72, 380, "DejaVuSansMono", 9, "id=7781 status=open owner=site-team"),
        ]),
        Page(595, 842, [
            T(72, 770, "Times-Roman", 14, "Schedule and risks"),
            T(72, 740, "Times-Roman", 12, "The second phase starts in early autumn this year."),
            T(72, 722, "Courier", 10, "risk R-12: supplier delay, likelihood medium"),
            Picture(72, 500, 150, 100, photo),
            T(72, 470, "DejaVuSans", 10, "Photographs by the site team."),
        ]),
    ]
    fz = made(write_fitz, "fz", fz_pages)
    p, m1 = change_word(fz_pages, 1, 2, 3, "cracks")
    p, m2 = change_word(p, 2, 1, 5, "late")
    fz_word = made(write_fitz, "fz-word", p)
    fz_word_marks = merge(m1, m2)
    p, fz_img_marks = move_image(fz_pages, 1, 4, 90, 200)
    fz_img = made(write_fitz, "fz-img", p)

    # One page per rotation, a word changed on each.
    def rot_page(rotate, n):
        return Page(612, 792, [
            T(72, 720, "Helvetica-Bold", 16, "Page turned by %d degrees" % rotate),
            T(72, 690, "Helvetica", 12, "The reader sees this line in the orientation of the page %d." % n),
            T(72, 670, "Times-Roman", 12, "Another line keeps the first one company on the page."),
            Picture(300, 400, 180, 120, photo),
        ], rotate=rotate)

    rot_pages = [rot_page(r, n + 1) for n, r in enumerate((0, 90, 180, 270))]
    rot = made(write_reportlab, "rot", rot_pages)
    p, marks = rot_pages, {}
    for n in range(1, 5):
        p, m = change_word(p, n, 1, 3, "notices")
        marks = merge(marks, m)
    rot_word, rot_word_marks = made(write_reportlab, "rot-word", p), marks

    # The same report turned by qpdf, page by page.
    def qpdf_turned(src, name):
        pages = copy.deepcopy(src.pages)
        for n, angle in ((1, 90), (2, 270), (3, 180)):
            pages[n - 1].rotate = (pages[n - 1].rotate + angle) % 360
        realpdf.run("qpdf", "--rotate=+90:1", "--rotate=+270:2", "--rotate=+180:3", src.path, d(name))
        return Doc(d(name), pages)

    # Media boxes away from the origin, one of them also turned.
    off_pages = [
        Page(612, 792, [
            T(72, 700, "Helvetica", 12, "This page has its media box corner at one hundred."),
            T(72, 680, "Times-Roman", 12, "Viewers show it exactly like a page at the origin."),
            Picture(300, 400, 180, 120, photo),
        ], corner=(100, 100)),
        Page(612, 792, [
            T(72, 700, "Helvetica", 12, "This one is shifted and turned a quarter to the right."),
            T(72, 680, "Courier", 10, "corner 40 60 rotate 90"),
            Picture(72, 300, 120, 80, photo),
        ], rotate=90, corner=(40, 60)),
    ]
    off = made(write_reportlab, "off", off_pages)
    p, m1 = change_word(off_pages, 1, 0, 4, "mediabox")
    p, m2 = change_word(p, 2, 0, 3, "moved")
    off_word, off_word_marks = made(write_reportlab, "off-word", p), merge(m1, m2)

    # Resources inherited from the page tree's root, indirect lengths.
    inh_pages = [
        Page(612, 792, [
            T(72, 720, "Helvetica", 16, "Inherited resources"),
            T(72, 690, "Times-Roman", 12, "Every page finds its fonts in the root of the page tree."),
            Picture(300, 450, 180, 120, photo),
        ]),
        Page(612, 792, [
            T(72, 720, "Courier", 12, "second page, second level"),
            T(72, 690, "Helvetica", 12, "Stream lengths are indirect objects in this file."),
        ]),
        Page(612, 792, [
            T(72, 720, "Times-Roman", 14, "Third page, straight below the root"),
            Picture(72, 500, 120, 120, stamp),
        ], rotate=90),
    ]
    inh = made(write_handmade, "inh", inh_pages)
    p, m1 = change_word(inh_pages, 2, 1, 1, "Buffer")
    p, m2 = change_word(p, 3, 0, 1, "Last")
    inh_word, inh_word_marks = made(write_handmade, "inh-word", p), merge(m1, m2)
    packed = lambda path, pages: write_handmade(path, pages, objstm=True)
    inh_packed, inh_word_packed = made(packed, "inh-packed", inh_pages), made(packed, "inh-word-packed", p)

    rl_objstm = objstm(rl, "rl-objstm")
    rl_word_objstm = objstm(rl_word, "rl-word-objstm")
    rl_first2 = first_pages(rl, "rl-first2", 2)
    return [
        ("identical, same file", rl, rl, {}),
        ("identical, B in object streams", rl, rl_objstm, {}),
        ("identical, TrueType, B in object streams", fz, objstm(fz, "fz-objstm"), {}),
        ("identical, inherited resources", inh, inh, {}),
        ("word changed", rl, rl_word, rl_word_marks),
        ("word changed, both in object streams", rl_objstm, rl_word_objstm, rl_word_marks),
        ("words changed, TrueType", fz, fz_word, fz_word_marks),
        ("words changed, TrueType in object streams", objstm(fz, "fz-objstm-a"),
         objstm(fz_word, "fz-word-objstm"), fz_word_marks),
        ("image moved", fz, fz_img, fz_img_marks),
        ("page removed: A longer", rl, rl_first2, {}),
        ("page removed: A longer, in object streams", rl_objstm, objstm(rl_first2, "rl-first2-objstm"), {}),
        ("page added: B longer", rl_first2, rl, {}),
        ("rotated 0/90/180/270 with words changed", rot, rot_word, rot_word_marks),
        ("rotated by qpdf with a word changed", qpdf_turned(rl, "rl-turned"), qpdf_turned(rl_word, "rl-word-turned"),
         rl_word_marks),
        ("boxes away from the origin", off, off_word, off_word_marks),
        ("inherited resources, words changed", inh, inh_word, inh_word_marks),
        ("inherited resources, lengths in object streams, words changed", inh_packed, inh_word_packed,
         inh_word_marks),
        ("rotated pages only A has", rot, first_pages(rot, "rot-first2", 2), {}),
    ]


# ----------------------------------------------------------------- tests

class VisualReportInViewers(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pairs = []
        for k, (name, a, b, marks) in enumerate(build_pairs()):
            report = os.path.join(WORK, "report-%02d.pdf" % k)
            if os.path.exists(report):
                os.unlink(report)
            p = subprocess.run([MORVEX, "visual", a.path, b.path, "-o", report],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            cls.pairs.append(dict(name=name, a=a, b=b, marks=marks, report=report, status=p.returncode,
                                  stderr=p.stderr.decode(errors="replace")))
        files = sorted({pair["report"] for pair in cls.pairs if os.path.exists(pair["report"])}
                       | {doc.path for pair in cls.pairs for doc in (pair["a"], pair["b"])})
        jobs = [(f, r) for f in files for r in ("poppler", "mupdf")]
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            cls.rendered = dict(zip(jobs, pool.map(lambda job: render(*job), jobs)))

    def render(self, path, renderer):
        return self.rendered.get((path, renderer), (-1, "no file", []))

    def shown_pages(self, pair):
        """[(report page number, source doc, source page index, only one document has it)]"""
        a, b = pair["a"], pair["b"]
        out = []
        for i in range(max(len(a.pages), len(b.pages))):
            src = b if i < len(b.pages) else a
            out.append((i + 1, src, i, i >= min(len(a.pages), len(b.pages))))
        return out

    def test_reports_are_written_with_the_status_of_the_pair(self):
        for pair in self.pairs:
            with self.subTest(pair=pair["name"]):
                identical = not pair["marks"] and len(pair["a"].pages) == len(pair["b"].pages)
                self.assertEqual(pair["status"], 0 if identical else 1, pair["stderr"])
                self.assertEqual(pair["stderr"], "")
                pages = int(realpdf.run("qpdf", "--show-npages", pair["report"]).strip())
                self.assertEqual(pages, max(len(pair["a"].pages), len(pair["b"].pages)))

    def test_qpdf_finds_nothing_wrong(self):
        for pair in self.pairs:
            with self.subTest(pair=pair["name"]):
                p = subprocess.run(["qpdf", "--check", pair["report"]], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
                out = (p.stdout + p.stderr).decode(errors="replace")
                self.assertEqual(p.returncode, 0, out)
                self.assertNotIn("WARNING", out)
                self.assertIn("No syntax or stream encoding errors found", out)

    def test_every_stream_is_as_long_as_its_length_says(self):
        # qpdf reads over such a slip; MuPDF warns "PDF stream Length incorrect".
        # The checker passes a file with the same indirect lengths.
        self.assertEqual(stream_length_faults(os.path.join(WORK, "inh.pdf")), (5, []))
        for pair in self.pairs:
            with self.subTest(pair=pair["name"]):
                checked, faults = stream_length_faults(pair["report"])
                # A form and an overlay per page, and the copied images.
                self.assertGreater(checked, 2 * len(pair["b"].pages))
                self.assertEqual(faults, [])

    def test_viewers_render_every_page_without_complaint(self):
        for pair in self.pairs:
            for renderer in ("poppler", "mupdf"):
                with self.subTest(pair=pair["name"], renderer=renderer):
                    # The sources render cleanly, so whatever the report
                    # provokes is the report's own doing.
                    for doc in (pair["a"], pair["b"]):
                        code, err, _ = self.render(doc.path, renderer)
                        self.assertEqual((code, complaints(renderer, err)), (0, []), doc.path)
                    code, err, images = self.render(pair["report"], renderer)
                    self.assertEqual(code, 0, err)
                    self.assertEqual(complaints(renderer, err), [])
                    self.assertEqual(len(images), max(len(pair["a"].pages), len(pair["b"].pages)))

    def test_pages_look_like_the_page_they_show(self):
        for pair in self.pairs:
            for number, src, index, only_one in self.shown_pages(pair):
                page = src.pages[index]
                areas = [pixel_rect(page, r) for m in pair["marks"].get(number, []) for r in m.areas]
                if only_one:
                    w, h = displayed_size(page)
                    areas += [(0, 0, w, 28), (0, 0, 7, h), (w - 7, 0, w, h), (0, h - 7, w, h)]
                for renderer in ("poppler", "mupdf"):
                    with self.subTest(pair=pair["name"], page=number, renderer=renderer):
                        report = self.render(pair["report"], renderer)[2][number - 1]
                        source = self.render(src.path, renderer)[2][index]
                        self.assertEqual(source.size, displayed_size(page))
                        self.assertEqual(report.size, source.size)
                        bad, compared = mismatch(report, source, areas)
                        self.assertLessEqual(bad, MISMATCH_SHARE * compared,
                                             "%d of %d pixels differ" % (bad, compared))

    def test_differences_are_marked_red_where_they_are(self):
        checked = 0
        for pair in self.pairs:
            for number, src, index, _ in self.shown_pages(pair):
                page = src.pages[index]
                for mark in pair["marks"].get(number, []):
                    core = pixel_rect(page, mark.core)
                    for renderer in ("poppler", "mupdf"):
                        with self.subTest(pair=pair["name"], page=number, core=core, renderer=renderer):
                            report = self.render(pair["report"], renderer)[2][number - 1]
                            source = self.render(src.path, renderer)[2][index]
                            # The place is right: the source shows the word or image there.
                            self.assertGreaterEqual(ink_share(source, core), 0.05)
                            self.assertLessEqual(red_share(source, core), SOURCE_RED_SHARE)
                            self.assertGreaterEqual(red_share(report, core), RED_SHARE)
                            checked += 1
        self.assertEqual(checked, 2 * 18)

    def test_pages_only_one_document_has_carry_frame_and_band(self):
        checked = 0
        for pair in self.pairs:
            for number, src, index, only_one in self.shown_pages(pair):
                if not only_one:
                    continue
                w, h = displayed_size(src.pages[index])
                for renderer in ("poppler", "mupdf"):
                    with self.subTest(pair=pair["name"], page=number, renderer=renderer):
                        report = self.render(pair["report"], renderer)[2][number - 1]
                        # The band: the top 24 points, opaque red.
                        self.assertGreaterEqual(red_share(report, (1, 1, w - 1, 23), 200, 230), 0.99)
                        self.assertLess(red_share(report, (8, 26, w - 8, 30), 200, 230), 0.01)
                        # The frame: 4 points wide along every edge.
                        for strip in ((1, 24, 3, h - 1), (w - 3, 24, w - 1, h - 1), (1, h - 3, w - 1, h - 1)):
                            self.assertGreaterEqual(red_share(report, strip, 200, 230), 0.99, strip)
                        checked += 1
        self.assertEqual(checked, 2 * 5)


if __name__ == "__main__":
    MORVEX, WORK = sys.argv[1], sys.argv[2]
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"])
