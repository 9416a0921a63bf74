#!/usr/bin/python3
"""Makes modified copies of a real PDF file, for benchmarks and output checks.

  rewrite     qpdf --object-streams=generate: renumbered objects in object
              streams, every page read alike
  reserial    every page's content stream written again by MuPDF's content
              cleaner (python3-fitz) and the file saved anew, as after any
              regeneration: the same text, other content bytes on every page
  oneword     one word changed on the middle page: two neighbouring codes of
              one shown string swapped ("form" -> "from"), nothing else

  bench/make_variants.py [--kinds rewrite,reserial,oneword] SOURCE.pdf OUTDIR
  bench/make_variants.py --kinds KIND --out COPY.pdf SOURCE.pdf

Writes OUTDIR/<stem>.<kind>.pdf for each kind it can make and prints their
paths; a kind that cannot be made for the file (no string to change, a tool
that fails) is skipped with a line on stderr.  Importable: make(kind, src, dst).
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

KINDS = ("rewrite", "reserial", "oneword")


def _run(cmd):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)


def _qpdf_ok(r, dst):
    # qpdf exits 3 for warnings and still writes the file.
    return r.returncode in (0, 3) and os.path.exists(dst) and os.path.getsize(dst) > 0


def make_rewrite(src, dst):
    return _qpdf_ok(_run(["qpdf", "--object-streams=generate", src, dst]), dst)


def make_reserial(src, dst):
    import fitz  # python3-fitz; only this kind needs it
    try:
        doc = fitz.open(src)
        if doc.needs_pass:
            return False
        for page in doc:
            page.clean_contents(sanitize=False)
        doc.save(dst, garbage=3, deflate=True)
        return True
    except Exception as e:  # a file MuPDF cannot rewrite is skipped
        print(f"reserial: {src}: {e}", file=sys.stderr)
        return False


# A shown string followed by Tj (or inside a TJ array); literal strings
# without escapes or nested parentheses, hex strings.
_LITERAL = re.compile(rb"\(([^()\\\r\n]{4,})\)\s*(?:Tj|\]|-?[0-9.]+)")
_HEX = re.compile(rb"<([0-9A-Fa-f]{8,})>\s*(?:Tj|\]|-?[0-9.]+)")


def _swap_one(data):
    """Swaps two neighbouring, different codes of the first fitting shown string."""
    for m in _LITERAL.finditer(data):
        s = bytearray(m.group(1))
        for k in range(len(s) - 1):
            if s[k] != s[k + 1] and chr(s[k]).isalpha() and chr(s[k + 1]).isalpha():
                s[k], s[k + 1] = s[k + 1], s[k]
                return data[:m.start(1)] + bytes(s) + data[m.end(1):]
    for m in _HEX.finditer(data):
        h = m.group(1)
        # Groups of four digits: two codes of a two-byte font, or two
        # pairs of a one-byte font; either way the text changes.
        for k in range(0, len(h) - 7, 4):
            if h[k:k + 4].lower() != h[k + 4:k + 8].lower():
                h2 = h[:k] + h[k + 4:k + 8] + h[k:k + 4] + h[k + 8:]
                return data[:m.start(1)] + h2 + data[m.end(1):]
    return None


def make_oneword(src, dst):
    """Swaps two codes in one string of the middle page's content, in QDF form."""
    with tempfile.TemporaryDirectory() as tmp:
        qdf = os.path.join(tmp, "plain.pdf")
        if not _qpdf_ok(_run(["qpdf", "--qdf", "--object-streams=disable", src, qdf]), qdf):
            return False
        r = _run(["qpdf", "--show-npages", qdf])
        npages = int(r.stdout or b"0")
        if npages == 0:
            return False
        with open(qdf, "rb") as f:
            data = f.read()
        # QDF marks each page's content stream with "%% Contents for page N".
        order = [npages // 2 + 1] + [p for p in range(1, npages + 1) if p != npages // 2 + 1]
        for p in order:
            marker = b"%% Contents for page " + str(p).encode() + b"\n"
            at = data.find(marker)
            while at >= 0:
                start = data.find(b"stream\n", at)
                end = data.find(b"\nendstream", start)
                if start < 0 or end < 0:
                    break
                start += len(b"stream\n")
                new = _swap_one(data[start:end])
                if new is not None:
                    out = data[:start] + new + data[end:]
                    edited = os.path.join(tmp, "edited.pdf")
                    with open(edited, "wb") as f:
                        f.write(out)
                    r = _run(["fix-qdf", edited])
                    if r.returncode != 0:
                        return False
                    fixed = os.path.join(tmp, "fixed.pdf")
                    with open(fixed, "wb") as f:
                        f.write(r.stdout)
                    # Compressed again, as the source was.
                    return _qpdf_ok(_run(["qpdf", "--compress-streams=y", fixed, dst]), dst)
                at = data.find(marker, end)
        return False


def make(kind, src, dst):
    return {"rewrite": make_rewrite, "reserial": make_reserial, "oneword": make_oneword}[kind](src, dst)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--kinds", default=",".join(KINDS))
    ap.add_argument("source")
    ap.add_argument("outdir", nargs="?")
    ap.add_argument("--out", help="with one kind: the copy's file name")
    args = ap.parse_args()
    if args.out:
        return 0 if make(args.kinds, args.source, args.out) else 1
    if not args.outdir:
        ap.error("give OUTDIR or --out")
    os.makedirs(args.outdir, exist_ok=True)
    stem = os.path.splitext(os.path.basename(args.source))[0]
    status = 0
    for kind in args.kinds.split(","):
        dst = os.path.join(args.outdir, f"{stem}.{kind}.pdf")
        if make(kind, args.source, dst):
            print(dst)
        else:
            print(f"make_variants: cannot make {kind} of {args.source}", file=sys.stderr)
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
