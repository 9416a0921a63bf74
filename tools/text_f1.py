#!/usr/bin/python3
"""How well the words morvex reads agree with pdftotext, page by page.

usage: text_f1.py BUILD_DIR (FOLDER | MANIFEST.tsv | FILE.pdf ...) [-j N] [-v] [--max-pages N]

BUILD_DIR is a morvex build directory (its morvex_pagetext tool is used),
so any worktree's build can be measured.  The PDFs are every *.pdf under
FOLDER, the files a MANIFEST.tsv names (the first field of a line that ends
in .pdf, relative to the manifest's folder; lines starting with # are
skipped; the other fields are shown as the file's description), or the
files given.

For every page, both word lists are normalised the same way and compared as
bags (multisets) of words:
  - Unicode NFKC (ligatures such as U+FB01 become "fi", full-width forms
    their ASCII letters, non-breaking spaces spaces);
  - soft hyphens (U+00AD), zero-width characters (U+200B-U+200D, U+2060,
    U+FEFF) and the invisible direction marks pdftotext writes around
    right-to-left text (U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) dropped;
  - then split at white space.
Case, punctuation and accents are kept: a comma read as a word of its own
("file ,") or a missing accent counts against us.  pdftotext (run once per
file, pages cut at its form feeds, default reading-order mode) joins a word
hyphenated at a line end and drops the hyphen; that is what a reader reads,
so it is not undone.

Per file: the pages, pdftotext's word count, the micro F1 over all pages
(true positives, false positives and false negatives summed over pages),
the lowest page F1 and the number of pages below the bar.  Files where
pdftotext reads no word are listed as "no text" and left out of the
average.  The summary gives the average F1 and how many files reach 0.98.
With -v, the words missing and extra on each file's worst page are shown.

With --mutool, the file is also read with `mutool draw -F txt` and a second
F1 (ours against mutool) is shown; the summary then also counts the files at
the bar against either reader.  Two readers that disagree on a file are a
sign that the file itself is ambiguous (glyphs without a Unicode meaning,
TeX's angle brackets), not that we misread it.
"""

import argparse
import collections
import concurrent.futures
import glob
import os
import subprocess
import sys
import unicodedata

BAR = 0.98
TIMEOUT = 600
DROP = dict.fromkeys(map(ord, "\u00ad\u200b\u200c\u200d\u2060\ufeff"
                             "\u200e\u200f\u202a\u202b\u202c\u202d\u202e\u2066\u2067\u2068\u2069"))


def words(text):
    return unicodedata.normalize("NFKC", text).translate(DROP).split()


def run(cmd):
    p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIMEOUT)
    return p.returncode, p.stdout.decode("utf-8", errors="replace"), p.stderr.decode(errors="replace")


def morvex_pages(tool, path, max_pages):
    cmd = [tool, "--words"]
    if max_pages:
        cmd += ["--last", str(max_pages)]
    rc, out, err = run(cmd + [path])
    if rc != 0:
        raise RuntimeError("morvex_pagetext failed (%d): %s" % (rc, err.strip()))
    pages = {}
    cur = None
    for line in out.split("\n"):
        if line.startswith("=== page "):
            cur = pages.setdefault(int(line[9:]), [])
        elif cur is not None and "\t" in line:
            cur.append(line.split("\t", 1)[1])
    return {n: words(" ".join(ws)) for n, ws in pages.items()}


def pdftotext_pages(path, max_pages):
    cmd = ["pdftotext", "-enc", "UTF-8"]
    if max_pages:
        cmd += ["-l", str(max_pages)]
    rc, out, err = run(cmd + [path, "-"])
    if rc != 0:
        raise RuntimeError("pdftotext failed (%d): %s" % (rc, err.strip()))
    parts = out.split("\f")
    if parts and parts[-1].strip() == "":
        parts.pop()  # behind the last page's form feed
    return {i + 1: words(t) for i, t in enumerate(parts)}


def mutool_pages(path, max_pages):
    cmd = ["mutool", "draw", "-q", "-F", "txt", "-o", "-", path]
    if max_pages:
        cmd.append("1-%d" % max_pages)
    rc, out, err = run(cmd)
    if rc != 0:
        raise RuntimeError("mutool failed (%d): %s" % (rc, err.strip()))
    parts = out.split("\f")
    if parts and parts[-1].strip() == "":
        parts.pop()
    return {i + 1: words(t) for i, t in enumerate(parts)}


def bag_f1(ours, ref):
    """Micro F1 over all pages of two page -> word list maps."""
    tp = fp = fn = 0
    for n in set(ours) | set(ref):
        a = collections.Counter(ours.get(n, []))
        b = collections.Counter(ref.get(n, []))
        common = sum((a & b).values())
        tp, fp, fn = tp + common, fp + sum(a.values()) - common, fn + sum(b.values()) - common
    return f1(tp, fp, fn)


def f1(tp, fp, fn):
    if tp + fp + fn == 0:
        return 1.0
    return 2.0 * tp / (2.0 * tp + fp + fn)


def measure(tool, path, max_pages, second=False):
    """A result record for one file."""
    r = {"path": path, "error": None, "f1_mutool": None}
    try:
        ours = morvex_pages(tool, path, max_pages)
        ref = pdftotext_pages(path, max_pages)
        if second:
            try:
                r["f1_mutool"] = bag_f1(ours, mutool_pages(path, max_pages))
            except (RuntimeError, subprocess.TimeoutExpired, OSError):
                pass  # shown as "-": the second reader is advisory
    except (RuntimeError, subprocess.TimeoutExpired, OSError) as e:
        r["error"] = str(e).splitlines()[0][:120] if str(e) else type(e).__name__
        return r
    tp = fp = fn = 0
    worst = None
    low = 0
    for n in sorted(set(ours) | set(ref)):
        a = collections.Counter(ours.get(n, []))
        b = collections.Counter(ref.get(n, []))
        common = sum((a & b).values())
        p_fp = sum(a.values()) - common
        p_fn = sum(b.values()) - common
        tp, fp, fn = tp + common, fp + p_fp, fn + p_fn
        pf = f1(common, p_fp, p_fn)
        if pf < BAR:
            low += 1
        if worst is None or pf < worst[0]:
            worst = (pf, n, a - b, b - a)
    r.update(pages=len(set(ours) | set(ref)), ours_pages=len(ours), ref_pages=len(ref),
             ref_words=tp + fn, our_words=tp + fp, f1=f1(tp, fp, fn), low=low, worst=worst)
    return r


def files_from(args):
    out = []
    for src in args:
        if os.path.isdir(src):
            out += [(p, "") for p in sorted(glob.glob(os.path.join(src, "**", "*.pdf"), recursive=True))]
        elif src.endswith(".tsv"):
            base = os.path.dirname(os.path.abspath(src))
            with open(src, encoding="utf-8", errors="replace") as f:
                for line in f:
                    if line.startswith("#") or not line.strip():
                        continue
                    fields = line.rstrip("\n").split("\t")
                    name = next((x for x in fields if x.lower().endswith(".pdf")), None)
                    if name is None:
                        continue
                    path = name if os.path.isabs(name) else os.path.join(base, name)
                    desc = " ".join(x for x in fields if x != name)[:40]
                    if os.path.exists(path):
                        out.append((path, desc))
        else:
            out.append((src, ""))
    return out


def show(counter, n=12):
    items = sorted(counter.items(), key=lambda kv: (-kv[1], kv[0]))[:n]
    return " ".join("%r%s" % (w, "x%d" % c if c > 1 else "") for w, c in items)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("build", help="morvex build directory (holds morvex_pagetext)")
    ap.add_argument("sources", nargs="+", help="a folder, a MANIFEST.tsv or PDF files")
    ap.add_argument("-j", type=int, default=2, help="files measured at once (default 2)")
    ap.add_argument("-v", action="store_true", help="show the worst page's missing and extra words")
    ap.add_argument("--max-pages", type=int, default=0, help="only the first N pages of each file")
    ap.add_argument("--mutool", action="store_true", help="also show F1 against mutool draw -F txt")
    a = ap.parse_args()
    tool = os.path.join(a.build, "morvex_pagetext")
    if not os.access(tool, os.X_OK):
        sys.exit("text_f1: no morvex_pagetext in %s (build the morvex_pagetext target)" % a.build)
    files = files_from(a.sources)
    if not files:
        sys.exit("text_f1: no PDF files found")
    desc = dict(files)
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, a.j)) as ex:
        results = list(ex.map(lambda f: measure(tool, f[0], a.max_pages, a.mutool), files))

    width = min(48, max(len(os.path.basename(r["path"])) for r in results))
    second = (lambda r: "" if not a.mutool else
              "%7s " % ("-" if r.get("f1_mutool") is None else "%.4f" % r["f1_mutool"]))
    print("%-*s %6s %8s %7s %7s %5s %s %s" % (width, "file", "pages", "words", "F1", "minF1", "low",
                                             "mutool " if a.mutool else "", "description"))
    scored = []
    for r in results:
        name = os.path.basename(r["path"])[:width]
        d = desc.get(r["path"], "")
        if r["error"]:
            print("%-*s  error: %s" % (width, name, r["error"]))
            continue
        pages = "%d" % r["pages"]
        if r["ours_pages"] != r["ref_pages"]:
            pages += "!"  # the two disagree on the page count
        if r["ref_words"] == 0:
            print("%-*s %6s %8d %7s %7s %5s  %s" % (width, name, pages, 0, "no text", "", "", d))
            continue
        scored.append(r)
        print("%-*s %6s %8d %7.4f %7.4f %5d %s %s" % (width, name, pages, r["ref_words"], r["f1"],
                                                    r["worst"][0], r["low"], second(r), d))
        if a.v and r["worst"][0] < 1.0:
            pf, n, extra, missing = r["worst"]
            print("    worst page %d, F1 %.4f" % (n, pf))
            print("      missing: %s" % show(missing))
            print("      extra:   %s" % show(extra))
    if scored:
        avg = sum(r["f1"] for r in scored) / len(scored)
        ok = sum(1 for r in scored if r["f1"] >= BAR)
        print("files %d, with text %d, errors %d; average F1 %.4f; F1 >= %.2f: %d of %d" % (
            len(results), len(scored), sum(1 for r in results if r["error"]), avg, BAR, ok, len(scored)))
        if a.mutool:
            either = sum(1 for r in scored if r["f1"] >= BAR or (r["f1_mutool"] or 0) >= BAR)
            print("F1 >= %.2f against pdftotext or mutool: %d of %d" % (BAR, either, len(scored)))
    else:
        print("files %d, none with text" % len(results))


if __name__ == "__main__":
    main()
