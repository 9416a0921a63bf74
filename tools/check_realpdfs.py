#!/usr/bin/python3
"""Checks the loader on a folder of real PDF files (not part of CI).

For every *.pdf under FOLDER: the page count equals `qpdf --show-npages`;
the file compares identical to itself and to its `qpdf
--object-streams=generate`, `--linearize` and `--qdf` rewrites (content left as it is: --normalize-content=n) in the
compare, text and visual reports; its visual report (against itself) passes
`qpdf --check`.  Files that need a user password (named *userpw-PASSWORD*)
are checked through the page tools with that password.  Prints one TSV row
per file and a summary by producer.

usage: tools/check_realpdfs.py BUILD_DIR FOLDER [OUT.tsv] [-j N] [--manifest-only]
(--manifest-only: only the files MANIFEST.tsv lists)"""

import concurrent.futures
import csv
import os
import re
import subprocess
import sys
import tempfile

BUILD = FOLDER = None
TIMEOUT = 600


def run(*cmd):
    try:
        p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return 124, "", "timeout"
    return p.returncode, p.stdout.decode(errors="replace"), p.stderr.decode(errors="replace")


def tool(name):
    return os.path.join(BUILD, name)


def check(path):
    rel = os.path.relpath(path, FOLDER)
    m = re.search(r"(?<!no)userpw-([A-Za-z0-9]+)", os.path.basename(path))
    password = m.group(1) if m else None
    row = {"file": rel, "pages_qpdf": "", "pages_morvex": "", "self": "", "objstm": "", "linearize": "",
           "qdf": "", "visual_check": "", "problems": ""}
    problems = []
    qargs = ["--password=" + password] if password else []
    code, out, err = run("qpdf", *qargs, "--show-npages", path)
    if code not in (0, 3):
        row["problems"] = "qpdf cannot read: " + err.strip()[:120]
        return row
    row["pages_qpdf"] = out.strip()
    pargs = ["--password", password] if password else []
    code, out, err = run(tool("morvex_pagelist"), *pargs, path)
    row["pages_morvex"] = out.split()[1] if code == 0 and out else "error: " + err.strip()
    if row["pages_morvex"] != row["pages_qpdf"]:
        problems.append("page count")
    with tempfile.TemporaryDirectory(dir=os.environ.get("TMPDIR")) as tmp:
        rewrites = {"self": None, "objstm": ["--object-streams=generate"], "linearize": ["--linearize"],
                    "qdf": ["--qdf", "--normalize-content=n", "--object-streams=disable"]}
        for name, args in rewrites.items():
            other = path
            if args is not None:
                other = os.path.join(tmp, name + ".pdf")
                code, _, err = run("qpdf", *qargs, *args, path, other)
                if code not in (0, 3):
                    row[name] = "qpdf failed"
                    continue
            if password:
                # The six functions refuse such files: compare what the
                # page tools read with the password.
                # Object numbers change in a rewrite: the page list is
                # compared by box and rotation.
                def boxes(f):
                    return [line.split()[1:6] for line in run(tool("morvex_pagelist"), *pargs, f)[1].splitlines()]
                same = boxes(path) == boxes(other)
                same = same and run(tool("morvex_pagetext"), *pargs, path)[1] == run(tool("morvex_pagetext"), *pargs, other)[1]
                same = same and run(tool("morvex_pagetext"), *pargs, path)[0] == 0
                row[name] = "same" if same else "DIFFERENT"
                if not same:
                    problems.append(name)
                continue
            results = []
            for cmd in ("compare", "text"):
                code, out, err = run(tool("cli/morvex"), cmd, path, other)
                results.append("ok" if code == 0 and '"identical":true' in out else "%s:%d" % (cmd, code))
            rep = os.path.join(tmp, name + "-visual.pdf")
            code, _, err = run(tool("cli/morvex"), "visual", path, other, "-o", rep)
            results.append("ok" if code == 0 else "visual:%d" % code)
            bad = [r for r in results if r != "ok"]
            row[name] = "identical" if not bad else ",".join(bad)
            if bad:
                problems.append(name)
            if name == "self":
                code, out, err = run("qpdf", "--check", rep)
                row["visual_check"] = "pass" if code == 0 else ("warnings" if code == 3 else "FAIL")
                if code != 0:
                    problems.append("qpdf --check: " + (out + err).strip().splitlines()[-1][:100])
    row["problems"] = "; ".join(problems)
    return row


def producers():
    names = {}
    manifest = os.path.join(FOLDER, "MANIFEST.tsv")
    if os.path.exists(manifest):
        with open(manifest, newline="") as f:
            for r in csv.DictReader(f, delimiter="\t"):
                names[r["path"]] = r.get("producer", "")
    return names


def main():
    global BUILD, FOLDER
    args = sys.argv[1:]
    jobs = 2
    if "-j" in args:
        i = args.index("-j")
        jobs = int(args[i + 1])
        del args[i:i + 2]
    manifest_only = "--manifest-only" in args
    args = [a for a in args if a != "--manifest-only"]
    BUILD, FOLDER = args[0], args[1]
    out_path = args[2] if len(args) > 2 else None
    prod = producers()
    files = [os.path.join(d, f) for d, _, fs in os.walk(FOLDER) for f in fs if f.lower().endswith(".pdf")]
    if manifest_only:
        files = [f for f in files if os.path.relpath(f, FOLDER) in prod]
    files.sort(key=os.path.getsize)  # small files first
    rows = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        for future in concurrent.futures.as_completed([pool.submit(check, f) for f in files]):
            row = future.result()
            row["producer"] = prod.get(row["file"], "")
            rows.append(row)
            print("\t".join(row[k] for k in ("file", "pages_qpdf", "pages_morvex", "self", "objstm", "linearize",
                                              "qdf", "visual_check", "problems")), flush=True)
    if out_path:
        with open(out_path, "w", newline="") as f:
            w = csv.DictWriter(f, fieldnames=list(rows[0].keys()), delimiter="\t")
            w.writeheader()
            w.writerows(rows)
    bad = [r for r in rows if r["problems"]]
    print("\n%d files, %d with problems, %d producers" % (len(rows), len(bad), len({r["producer"] for r in rows})))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
