#!/usr/bin/python3
"""Pixels as the judge of morvex's reports.

Renders the pages of A and B with pdftoppm and checks, page pair by page
pair (by position):

  found    pixels differ, and morvex reports a difference on that page;
  located  every differing pixel lies inside a rectangle morvex reports on
           that page (either side's, with a slack of SLACK pixels, since
           anti-aliasing reaches a little beyond the geometry);
  quiet    no pixel differs, and morvex reports nothing on that page.

usage: pixel_oracle.py MORVEX A.pdf B.pdf [--first N] [--last N] [--dpi D]
                       [--options JSON] [--json]

MORVEX is the morvex command.  The comparison runs as
`MORVEX compare --detail --pairing=position`, i.e. through the options
functions.  Exit status 0 when every page is found and located or quiet,
1 otherwise, 2 on error.  Imported, check(...) returns the per-page list.
"""

import json
import os
import subprocess
import sys
import tempfile

SLACK = 2


def render(pdf, first, last, dpi, out_dir, tag):
    """Page number -> PIL image of the rendered page."""
    from PIL import Image
    prefix = os.path.join(out_dir, tag)
    cmd = ["pdftoppm", "-r", str(dpi), "-f", str(first)]
    if last:
        cmd += ["-l", str(last)]
    subprocess.run(cmd + [pdf, prefix], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    pages = {}
    for name in os.listdir(out_dir):
        if name.startswith(tag + "-") and name.endswith(".ppm"):
            pages[int(name[len(tag) + 1:-4])] = Image.open(os.path.join(out_dir, name)).convert("RGB")
    return pages


def report(morvex, a, b, options=None):
    cmd = [morvex, "compare", "--detail", "--pairing=position", a, b]
    proc = subprocess.run(cmd, capture_output=True, text=True)
    if proc.returncode not in (0, 1):
        raise RuntimeError("morvex failed: %s" % proc.stderr.strip())
    return json.loads(proc.stdout)


def changed_mask(ia, ib):
    """A mask (255 where they differ) of the pixels that differ (sizes may differ: the
    larger canvas, with what only one page covers counted as changed)."""
    from PIL import Image, ImageChops
    w, h = max(ia.width, ib.width), max(ia.height, ib.height)
    ca, cb = Image.new("RGB", (w, h), "white"), Image.new("RGB", (w, h), "white")
    ca.paste(ia, (0, 0))
    cb.paste(ib, (0, 0))
    diff = ImageChops.difference(ca, cb).convert("L")
    return diff.point(lambda v: 255 if v > 0 else 0)


def check(morvex, a, b, first=1, last=0, dpi=72, options=None):
    """One dict per page: page, differs, reported, found, located, quiet."""
    from PIL import Image, ImageChops, ImageDraw
    rep = report(morvex, a, b, options)
    rects = {}
    reported = set()
    for d in rep["differences"]:
        page = d.get("page_b") or d.get("page_a") or d["page"]
        reported.add(page)
        rects.setdefault(page, []).extend(d.get("rects_a", []) + d.get("rects_b", []))
    with tempfile.TemporaryDirectory() as tmp:
        pa = render(a, first, last, dpi, tmp, "a")
        pb = render(b, first, last, dpi, tmp, "b")
        out = []
        for page in sorted(set(pa) | set(pb)):
            if page not in pa or page not in pb:
                out.append({"page": page, "differs": True, "reported": page in reported,
                            "found": page in reported, "located": page in reported, "quiet": None})
                continue
            mask = changed_mask(pa[page], pb[page])
            differs = mask.getbbox() is not None
            entry = {"page": page, "differs": differs, "reported": page in reported}
            if differs:
                entry["found"] = page in reported
                cover = Image.new("L", mask.size, 0)
                draw = ImageDraw.Draw(cover)
                scale = dpi / 72.0
                for x0, y0, x1, y1 in rects.get(page, []):
                    draw.rectangle([x0 * scale - SLACK, y0 * scale - SLACK, x1 * scale + SLACK, y1 * scale + SLACK],
                                   fill=255)
                outside = ImageChops.subtract(mask, cover)
                box = outside.getbbox()
                entry["located"] = entry["found"] and box is None
                if box:
                    entry["outside"] = [round(v / scale, 1) for v in box]
            else:
                entry["quiet"] = page not in reported
            out.append(entry)
        return out


def main(argv):
    args, opts = [], {"--first": "1", "--last": "0", "--dpi": "72", "--options": None}
    as_json = False
    i = 0
    while i < len(argv):
        if argv[i] == "--json":
            as_json = True
        elif argv[i] in opts and i + 1 < len(argv):
            opts[argv[i]] = argv[i + 1]
            i += 1
        else:
            args.append(argv[i])
        i += 1
    if len(args) != 3:
        sys.stderr.write(__doc__)
        return 2
    try:
        pages = check(args[0], args[1], args[2], int(opts["--first"]), int(opts["--last"]), int(opts["--dpi"]))
    except (RuntimeError, subprocess.CalledProcessError, ValueError) as e:
        sys.stderr.write("pixel_oracle: %s\n" % e)
        return 2
    bad = [p for p in pages if (p["differs"] and not p.get("located")) or (not p["differs"] and not p["quiet"])]
    if as_json:
        print(json.dumps(pages))
    else:
        for p in pages:
            if p["differs"]:
                state = "located" if p.get("located") else "found, not located" if p.get("found") else "MISSED"
                extra = " outside %s" % p["outside"] if "outside" in p else ""
            else:
                state, extra = ("quiet" if p["quiet"] else "REPORTED, no pixel differs"), ""
            print("page %d: %s%s" % (p["page"], state, extra))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
