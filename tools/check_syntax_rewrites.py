#!/usr/bin/python3
"""Rewrites real PDF files in lawful spellings and checks morvex reads them alike.

Each file is first normalised with `qpdf --qdf --object-streams=disable`
(the plain form); each rewrite then changes only syntax the file format
allows, and `fix-qdf` mends the offsets and stream lengths:

  comments   a comment after every object header, before "endobj" and
             before "stream" (each containing ">>", "endobj" or "stream"),
             and one inside every dictionary
  names      every name outside stream data written with #xx escapes
             (/Type -> /T#79pe; a '#' itself becomes #23)
  emptycr    every empty stream written with CR (and, alternately, CRLF)
             before "endstream"
  spaces     extra white space (tabs, line feeds, form feeds) between tokens

For each form and file the harness checks:
  read alike  morvex_pagetext --words gives the same words on every page
  identical   `morvex compare` of plain vs rewrite reports identical (exit 0)
and, with --peers, that qpdf --check passes and pdftotext reads the same text.

  tools/check_syntax_rewrites.py [--limit N] [--peers] [--build build/dev] FILE_OR_DIR...
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

FORMS = ("comments", "names", "emptycr", "spaces")

# Headers of dictionaries and arrays (fix-qdf reads the integer objects
# that hold stream lengths at a fixed place).
OBJ_HDR = re.compile(rb"^(\d+ \d+ obj)\n(?=<<|\[)", re.M)


def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300, **kw)


def split_qdf(data):
    """Yields (is_stream_data, bytes) pieces of a QDF file: stream data apart."""
    pos = 0
    for m in re.finditer(rb"stream\n", data):
        start = m.end()
        if start <= pos or not data[max(0, m.start() - 1):m.start()] in (b"\n", b" ", b">"):
            continue
        end = data.find(b"\nendstream", start)
        if end < 0:
            break
        yield False, data[pos:start]
        yield True, data[start:end]
        pos = end
    yield False, data[pos:]


def tokens_outside_strings(text, fn):
    """Applies fn to the syntax pieces of text, leaving strings and comments alone."""
    out = []
    i = 0
    n = len(text)
    piece = bytearray()
    while i < n:
        c = text[i:i + 1]
        if c == b"(":
            out.append(fn(bytes(piece)))
            piece = bytearray()
            depth = 0
            j = i
            while j < n:
                b = text[j:j + 1]
                if b == b"\\":
                    j += 2
                    continue
                if b == b"(":
                    depth += 1
                elif b == b")":
                    depth -= 1
                    if depth == 0:
                        break
                j += 1
            out.append(text[i:j + 1])
            i = j + 1
        elif c == b"%":
            out.append(fn(bytes(piece)))
            piece = bytearray()
            j = i
            while j < n and text[j:j + 1] not in (b"\n", b"\r"):
                j += 1
            out.append(text[i:j])
            i = j
        else:
            piece += c
            i += 1
    out.append(fn(bytes(piece)))
    return b"".join(out)


NAME = re.compile(rb"/([^\s()<>\[\]{}/%]+)")


def escape_name(m):
    name = m.group(1)
    out = []
    for k, ch in enumerate(name):
        b = bytes([ch])
        if b == b"#":
            out.append(b"#23")
        elif k % 2 == 1 or k == 0 and len(name) == 1:
            out.append(b"#%02x" % ch if k % 4 == 1 else b"#%02X" % ch)
        else:
            out.append(b)
    return b"/" + b"".join(out)


def form_names(text):
    # Names written by QDF never hold '#' escapes already; every other byte
    # of each name becomes one.
    return tokens_outside_strings(text, lambda s: NAME.sub(escape_name, s))


def form_spaces(text):
    def widen(s):
        s = re.sub(rb"(?<=[\]>)]) (?=/)", b" \t ", s)
        s = re.sub(rb" (?=/)", b"\n\f ", s)
        return s.replace(b"<<", b"<<\t ").replace(b">>", b" \n>>")
    return tokens_outside_strings(text, widen)


def form_comments(text):
    # fix-qdf reads a header only on a line of its own: the comment goes on
    # the next line here, and joins the header's line after fix-qdf
    # (header_comments_inline), as hand-written files have it.
    text = OBJ_HDR.sub(rb"\1\n% after header: >> endobj stream\n%  a second comment line\n", text)
    text = text.replace(b"\nendobj", b"\n% before endobj: endobj >> stream\nendobj")
    text = re.sub(rb">>\nstream\n", b">> % before stream: stream endobj >>\nstream\n", text)
    # One comment inside each dictionary, after its opening.
    return tokens_outside_strings(text, lambda s: s.replace(b"<<\n", b"<< % in dict >> endobj\n"))


def with_empty_stream(data, eol):
    """Adds one empty stream, with `eol` before "endstream", to every page's contents."""
    nums = [int(n) for n in re.findall(rb"^(\d+) 0 obj", data, re.M)]
    k = max(nums) + 1
    ref = b"%d 0 R" % k
    data = re.sub(rb"/Contents (\d+ \d+ R)", lambda m: b"/Contents [ " + m.group(1) + b" " + ref + b" ]", data)
    data = re.sub(rb"/Contents \[([^\]]*)\]", lambda m: b"/Contents [" + m.group(1) + b" " + ref + b" ]"
                  if ref not in m.group(1) else m.group(0), data)
    obj = b"%d 0 obj\n<< /Length %d 0 R >>\nstream\n%sendstream\nendobj\n%d 0 obj\n0\nendobj\n" % (k, k + 1, eol, k + 1)
    at = data.rfind(b"\nxref\n") + 1
    return data[:at] + obj + data[at:], k + 1


def header_comments_inline(data):
    # The line feed becomes a space: no offset moves.
    return re.sub(rb"(?m)^(\d+ \d+ obj)\n% after header", rb"\1 % after header", data)


def rewrite(data, form):
    """The (plain, rewritten) pair of a form; plain is None when it is the QDF file."""
    if form == "emptycr":
        return with_empty_stream(data, b""), with_empty_stream(data, b"\r"), with_empty_stream(data, b"\r\n")
    fn = {"names": form_names, "spaces": form_spaces, "comments": form_comments}[form]
    out = []
    for is_data, piece in split_qdf(data):
        out.append(piece if is_data else fn(piece))
    return b"".join(out)


def fix_qdf(data, path, zero_length_obj=None):
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    r = run(["fix-qdf", path + ".tmp"])
    os.unlink(path + ".tmp")
    if r.returncode != 0:
        return None
    out = header_comments_inline(r.stdout)
    if zero_length_obj:
        # fix-qdf counts a CR LF before "endstream" as data; the empty
        # stream's length is 0 whatever its line end (same digit count, so
        # no offset moves).
        out = re.sub(rb"(?m)^(%d 0 obj\n)\d\n" % zero_length_obj, rb"\g<1>0\n", out)
    with open(path, "wb") as f:
        f.write(out)
    return path


def words(build, path):
    r = run([os.path.join(build, "morvex_pagetext"), "--words", path])
    return r.returncode, r.stdout


def compare(build, a, b):
    r = run([os.path.join(build, "cli", "morvex"), "compare", a, b])
    return r.returncode


def peers_alike(plain, rw):
    if run(["qpdf", "--check", rw]).returncode not in (0, 3):
        return False
    ta = run(["pdftotext", "-q", plain, "-"]).stdout
    tb = run(["pdftotext", "-q", rw, "-"]).stdout
    return ta == tb


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("paths", nargs="+")
    ap.add_argument("--limit", type=int, default=0)
    ap.add_argument("--build", default="build/dev")
    ap.add_argument("--peers", action="store_true")
    ap.add_argument("--forms", default=",".join(FORMS))
    args = ap.parse_args()
    files = []
    for p in args.paths:
        if os.path.isdir(p):
            files += sorted(os.path.join(p, f) for f in os.listdir(p) if f.lower().endswith(".pdf"))
        else:
            files.append(p)
    if args.limit:
        files = files[:args.limit]
    forms = args.forms.split(",")
    stats = {f: {"files": 0, "alike": 0, "identical": 0, "peers": 0, "changed": 0, "failures": []} for f in forms}
    with tempfile.TemporaryDirectory() as tmp:
        for idx, src in enumerate(files):
            plain = os.path.join(tmp, "plain.pdf")
            if run(["qpdf", "--qdf", "--object-streams=disable", src, plain]).returncode not in (0, 3):
                print("skip (qpdf):", src, file=sys.stderr)
                continue
            with open(plain, "rb") as f:
                data = f.read()
            rc_plain, words_plain = words(args.build, plain)
            for form in forms:
                s = stats[form]
                base, base_rc, base_words = plain, rc_plain, words_plain
                variants = rewrite(data, form)
                if form == "emptycr":
                    (lf, zl), *rws = variants
                    base = fix_qdf(lf, os.path.join(tmp, "lf.pdf"), zl)
                    base_rc, base_words = words(args.build, base)
                else:
                    rws = [(variants, None)]
                for new, zl in rws:
                    rw = fix_qdf(new, os.path.join(tmp, "rw.pdf"), zl)
                    if rw is None or base is None:
                        s["failures"].append((src, "fix-qdf failed"))
                        continue
                    s["files"] += 1
                    s["changed"] += new != data
                    rc_b, words_b = words(args.build, rw)
                    alike = base_rc == rc_b and base_words == words_b
                    same = compare(args.build, base, rw) == 0
                    s["alike"] += alike
                    s["identical"] += same
                    if args.peers:
                        s["peers"] += peers_alike(base, rw)
                    if not (alike and same):
                        s["failures"].append((src, ("words differ " if not alike else "") +
                                              ("not identical" if not same else "")))
            print("%d/%d %s" % (idx + 1, len(files), os.path.basename(src)), file=sys.stderr)
    print("%-10s %6s %8s %11s %10s %s" % ("form", "files", "changed", "read alike", "identical",
                                          "peers alike" if args.peers else ""))
    for form in forms:
        s = stats[form]
        print("%-10s %6d %8d %11d %10d %s" % (form, s["files"], s["changed"], s["alike"], s["identical"],
                                              s["peers"] if args.peers else ""))
    bad = False
    for form in forms:
        for src, why in stats[form]["failures"]:
            bad = True
            print("FAIL %s %s: %s" % (form, src, why))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
