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


def edit_pdf(src, dst, page, name):
    """True when written; False when the edit has nothing to apply to."""
    import fitz
    doc = fitz.open(src)
    p = doc[page]
    if name == "highlight":
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
