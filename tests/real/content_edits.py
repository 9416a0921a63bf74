"""Edits of one page's content stream, visible and invisible, for the pixel
oracle (tools/pixel_oracle.py): each edit takes the page's decoded content
and returns it changed, or None when the page has nothing it applies to.

edit_pdf(src, dst, page, name) writes dst as src with the edit applied to
that page (0-based) through PyMuPDF; edit_pdf(src, dst, page, None) writes
the same file through the same road, unedited, as the other side."""

import re

NUM = rb"[-+]?(?:\d+\.?\d*|\.\d+)"


def _sub_first(pattern, repl, content):
    m = re.search(pattern, content)
    if not m:
        return None
    return content[:m.start()] + repl(m) + content[m.end():]


def _f(v):
    return (b"%.3f" % v).rstrip(b"0").rstrip(b".")


def colour(c):
    # The first fill colour set in RGB or gray becomes red.
    out = _sub_first(rb"(?<![\w.])(" + NUM + rb")\s+(" + NUM + rb")\s+(" + NUM + rb")\s+rg(?![\w])",
                     lambda m: b"1 0 0 rg", c)
    return out if out is not None else _sub_first(rb"(?<![\w.])(" + NUM + rb")\s+g(?![\w])", lambda m: b"1 0 0 rg", c)


def path_moved(c):
    return _sub_first(rb"(?<![\w.])(" + NUM + rb")(\s+" + NUM + rb"\s+" + NUM + rb"\s+" + NUM + rb"\s+re)(?![\w])",
                      lambda m: _f(float(m.group(1)) + 10) + m.group(2), c)


def cm_changed(c):
    return _sub_first(rb"(?<![\w.])((?:" + NUM + rb"\s+){4})(" + NUM + rb")(\s+" + NUM + rb"\s+cm)(?![\w])",
                      lambda m: m.group(1) + _f(float(m.group(2)) + 5) + m.group(3), c)


def font_size(c):
    return _sub_first(rb"(/[^\s/\[\]()<>]+\s+)(" + NUM + rb")(\s+Tf)",
                      lambda m: m.group(1) + _f(float(m.group(2)) * 1.5 + 1) + m.group(3), c)


def line_width(c):
    out = _sub_first(rb"(?<![\w.])(" + NUM + rb")(\s+w)(?![\w])",
                     lambda m: _f(float(m.group(1)) * 3 + 2) + m.group(2), c)
    return out if out is not None else b"4 w\n" + c  # strokes that keep the default width


def line_added(c):
    return c + b"\nq 0 0 1 RG 2 w 60 60 m 300 80 l S Q\n"


def outside_page(c):
    return c + b"\nq 1 0 0 rg -500 -500 100 100 re f 5000 5000 20 20 re f Q\n"


def _hex(s):
    return b"<" + s.hex().encode() + b">"


def _literal_bytes(tok):
    """The bytes of a literal string token (with its parentheses)."""
    out, i, body = bytearray(), 0, tok[1:-1]
    esc = {ord("n"): 10, ord("r"): 13, ord("t"): 9, ord("b"): 8, ord("f"): 12}
    while i < len(body):
        ch = body[i]
        if ch != 0x5C:
            out.append(ch)
            i += 1
            continue
        i += 1
        if i >= len(body):
            break
        ch = body[i]
        if ch in esc:
            out.append(esc[ch])
            i += 1
        elif 0x30 <= ch <= 0x37:
            j = i
            while j < len(body) and j < i + 3 and 0x30 <= body[j] <= 0x37:
                j += 1
            out.append(int(body[i:j], 8) & 0xFF)
            i = j
        elif ch in (10, 13):
            i += 1
            if ch == 13 and i < len(body) and body[i] == 10:
                i += 1
        else:
            out.append(ch)
            i += 1
    return bytes(out)


def reserialise(c):
    """Numbers written short (.5, 1 for 1.0), literal strings as hex, a
    redundant q Q around the whole, one token a line: no pixel changes."""
    if re.search(rb"(?<![\w])BI(?![\w])", c):
        return None  # inline image data is not tokens
    out, i, n = [b"q q Q"], 0, len(c)
    while i < n:
        ch = c[i:i + 1]
        if ch in b" \t\r\n\f\x00":
            i += 1
        elif ch == b"%":
            while i < n and c[i] not in (10, 13):
                i += 1
        elif ch == b"(":
            depth, j = 0, i
            while j < n:
                if c[j] == 0x5C:
                    j += 2
                    continue
                if c[j] == 0x28:
                    depth += 1
                elif c[j] == 0x29:
                    depth -= 1
                    if depth == 0:
                        break
                j += 1
            out.append(_hex(_literal_bytes(c[i:j + 1])))
            i = j + 1
        else:
            m = re.match(rb"[^\s()<>\[\]{}/%]+|/[^\s()<>\[\]{}/%]*|<<|>>|<[^>]*>|[\[\]{}]", c[i:])
            if not m:
                out.append(ch)
                i += 1
                continue
            tok = m.group(0)
            if re.fullmatch(NUM, tok) and b"." in tok:
                v = float(tok)
                tok = (b"%.6f" % v).rstrip(b"0").rstrip(b".")
                if tok.startswith(b"0.") :
                    tok = tok[1:]
                elif tok.startswith(b"-0."):
                    tok = b"-" + tok[2:]
                if tok in (b"", b"-"):
                    tok = b"0"
            out.append(tok)
            i += len(m.group(0))
    out.append(b"Q")
    return b"\n".join(out) + b"\n"


VISIBLE = {"colour": colour, "path_moved": path_moved, "cm": cm_changed, "font_size": font_size,
           "line_width": line_width, "line_added": line_added}
INVISIBLE = {"reserialised": reserialise, "outside_page": outside_page}


# Edits drawn on both sides, over the page's own content, with resources
# added to the page: name -> (what A draws, what B draws, resources of A,
# resources of B).  Resources are {(kind, name): object}, the object a
# dictionary or (dictionary, stream data).
def _tile(colour):
    return ("<< /Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 12 12] /XStep 12 /YStep 12 "
            "/Resources << >> >>", colour + b" rg 0 0 6 6 re f 0 0 1 rg 6 6 6 6 re f")


def _axial(c1):
    return ("<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [60 0 300 0] /Extend [true true] "
            "/Function << /FunctionType 2 /Domain [0 1] /N 1 /C0 [1 0 0] /C1 [%s] >> >>" % c1)


def _soft_mask(grey):
    group = ("<< /Type /XObject /Subtype /Form /BBox [0 0 2000 2000] /Group << /S /Transparency /CS /DeviceRGB >> >>",
             grey + b" g 0 0 2000 2000 re f")
    return {"SMask": {"S": "/Luminosity", "G": group}}


COVER = b"q 0 .6 0 rg 50 50 260 100 re f Q"
STROKE = b"q 0 0 1 RG %s w 80 80 m 280 120 l S Q"
BOX = b"q 60 60 240 80 re W n %s Q"
PAINTED = {
    # A stroke whose width changes under an opaque rectangle drawn after it.
    "covered_stroke": (STROKE % b"1" + COVER, STROKE % b"4" + COVER, {}, {}),
    # The same, drawn over the rectangle: seen.
    "stroke_over": (COVER + STROKE % b"1", COVER + STROKE % b"4", {}, {}),
    # White fills, strokes and text where the page painted nothing.
    "white_added": (b"", b"q 1 g 14 14 30 20 re f 1 G 2 w 14 40 m 40 40 l S Q", {}, {}),
    "shading_colour": (BOX % b"/ShX sh", BOX % b"/ShX sh", {("Shading", "ShX"): _axial("0 0 1")},
                       {("Shading", "ShX"): _axial("0 1 0")}),
    "shading_renamed": (BOX % b"/ShX sh", BOX % b"/ShY sh", {("Shading", "ShX"): _axial("0 0 1")},
                        {("Shading", "ShY"): _axial("0 0 1")}),
    "pattern_change": (BOX % b"/Pattern cs /PtX scn 0 0 2000 2000 re f", BOX % b"/Pattern cs /PtX scn 0 0 2000 2000 re f",
                       {("Pattern", "PtX"): _tile(b"1 0 0")}, {("Pattern", "PtX"): _tile(b"0 1 0")}),
    "soft_mask_change": (BOX % b"/GsX gs 0 0 1 rg 0 0 2000 2000 re f", BOX % b"/GsX gs 0 0 1 rg 0 0 2000 2000 re f",
                         {("ExtGState", "GsX"): _soft_mask(b".8")}, {("ExtGState", "GsX"): _soft_mask(b".3")}),
    "opacity_renamed": (BOX % b"/GsX gs 0 0 1 rg 0 0 2000 2000 re f", BOX % b"/GsY gs 0 0 1 rg 0 0 2000 2000 re f",
                        {("ExtGState", "GsX"): {"ca": ".5"}}, {("ExtGState", "GsY"): {"ca": ".5"}}),
}
PAINTED_VISIBLE = {"stroke_over", "shading_colour", "pattern_change", "soft_mask_change"}
PAINTED_INVISIBLE = {"covered_stroke", "white_added", "shading_renamed", "opacity_renamed"}


def _write_object(doc, obj):
    """The object number of a new object: a dictionary given as text, as
    {key: value} (values: text, or an object to write), or a (dictionary,
    data) stream."""
    xref = doc.get_new_xref()
    if isinstance(obj, dict):
        parts = []
        for k, v in obj.items():
            if isinstance(v, (dict, tuple)):
                v = "%d 0 R" % _write_object(doc, v)
            parts.append("/%s %s" % (k, v))
        obj = "<< " + " ".join(parts) + " >>"
    if isinstance(obj, tuple):
        doc.update_object(xref, obj[0])
        doc.update_stream(xref, obj[1])
    else:
        doc.update_object(xref, obj)
    return xref


def _add_resources(doc, page, resources):
    """False when the page's resources cannot take them (inherited).  The
    page gets a copy of its resources dictionary with them added, so that
    no shared object (or one inside an object stream) is edited."""
    if not resources:
        return True
    kind, value = doc.xref_get_key(page.xref, "Resources")
    if kind == "xref":
        text = doc.xref_object(int(value.split()[0]), compressed=True)
    elif kind == "dict":
        text = value
    else:
        return False
    res = doc.get_new_xref()
    doc.update_object(res, text)
    for (category, name), obj in resources.items():
        num = _write_object(doc, obj)
        ckind, cvalue = doc.xref_get_key(res, category)
        if ckind == "xref":
            doc.xref_set_key(res, category, doc.xref_object(int(cvalue.split()[0]), compressed=True))
        doc.xref_set_key(res, category + "/" + name, "%d 0 R" % num)
    doc.xref_set_key(page.xref, "Resources", "%d 0 R" % res)
    return True


def edit_pdf(src, dst, page, name, side="b"):
    """True when written; False when the edit has nothing to apply to.  For
    the edits of PAINTED, side "a" writes what A draws."""
    import fitz
    if name in PAINTED:
        # Objects inside object streams do not take edits well through
        # PyMuPDF: both sides start from a copy without them.
        import os
        import subprocess
        plain = dst + ".plain.pdf"
        subprocess.run(["qpdf", "--object-streams=disable", src, plain], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not os.path.exists(plain):
            return False
        src = plain
    doc = fitz.open(src)
    p = doc[page]
    if name in PAINTED:
        draw_a, draw_b, res_a, res_b = PAINTED[name]
        if not _add_resources(doc, p, res_a if side == "a" else res_b):
            return False
        # The page's own content is wrapped, so what it leaves in the
        # graphics state does not reach what is drawn over it.
        _set_contents(doc, p, b"q\n" + p.read_contents() + b"\nQ\n" + (draw_a if side == "a" else draw_b) + b"\n")
    elif name == "highlight":
        words = p.get_text("words")
        rect = fitz.Rect(words[0][:4]) if words else fitz.Rect(72, 72, 200, 90)
        p.add_highlight_annot(rect)
    elif name == "font":
        fonts = [f for f in p.get_fonts() if f[4]]
        content = p.read_contents()
        names = sorted({f[4].encode() for f in fonts})
        used = re.search(rb"/([^\s/\[\]()<>]+)\s+" + NUM + rb"\s+Tf", content)
        if not used or len(names) < 2:
            return False
        other = next(n for n in names if n != used.group(1))
        new = content[:used.start(1)] + other + content[used.end(1):]
        _set_contents(doc, p, new)
    elif name is not None:
        content = p.read_contents()
        new = (VISIBLE.get(name) or INVISIBLE[name])(content)
        if new is None or new == content:
            return False
        _set_contents(doc, p, new)
    doc.save(dst, garbage=0, deflate=True)
    return True


def _set_contents(doc, page, data):
    xrefs = page.get_contents()
    doc.update_stream(xrefs[0], data)
    for x in xrefs[1:]:
        doc.update_stream(x, b" ")
