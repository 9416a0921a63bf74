#!/usr/bin/python3
"""Checks that two builds of morvex give byte-identical outputs on real files.

For every PDF file of a folder, the checker makes modified copies (see
bench/make_variants.py: a qpdf rewrite, re-serialised content, one changed
word) and runs both builds on each pair (the file against itself and
against each copy):

  morvex compare        JSON, --format=text and --detail
  morvex text           JSON and --format=text
  each of them with --pairing=content and --pairing=position
  morvex_compare and morvex_text of the library (the plain functions)
  morvex visual -o      the report's bytes, both pairings (with --visual)

Exit status, standard error and standard output must all be equal.  Prints
one line per pair that differs (up to --show of them with the first
differing lines), then a count.  Exit status 0 when every output agrees.

  tools/check_same_outputs.py [-j N] [--visual] [--limit N] [--work DIR]
                              [--kinds self,rewrite,reserial,oneword]
                              OLD_BUILD NEW_BUILD FOLDER_OR_FILES...

A build is a folder holding cli/morvex and libmorvex.so (a CMake build tree).
The copies are kept in --work (default: a temporary folder) and reused when
that folder is given again.
"""
import argparse
import concurrent.futures
import difflib
import hashlib
import os
import subprocess
import sys
import tempfile

MAKE_VARIANTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "bench", "make_variants.py")
KINDS = ("self", "rewrite", "reserial", "oneword")
TIMEOUT = 600

# Calls the library's plain functions in a process of its own, so that the
# two builds' libraries never share one process.
LIB_SCRIPT = r"""
import ctypes, sys
lib = ctypes.CDLL(sys.argv[1])
for name in ("morvex_compare", "morvex_text"):
    f = getattr(lib, name)
    f.restype = ctypes.c_char_p
    f.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    out = f(sys.argv[2].encode(), sys.argv[3].encode())
    if out is None:
        lib.morvex_last_error.restype = ctypes.c_char_p
        out = b"NULL: " + (lib.morvex_last_error() or b"")
    sys.stdout.buffer.write(name.encode() + b" " + out + b"\n")
"""


def commands(visual):
    """(name, arguments after the command, writes a report) for every output."""
    out = []
    for pairing in ("content", "position"):
        p = "--pairing=" + pairing
        out += [
            (f"compare {p}", ["compare", "--color=never", p], False),
            (f"compare {p} --format=text", ["compare", "--color=never", "--format=text", p], False),
            (f"compare {p} --detail", ["compare", "--color=never", "--detail", p], False),
            (f"text {p}", ["text", "--color=never", p], False),
            (f"text {p} --format=text", ["text", "--color=never", "--format=text", p], False),
        ]
        if visual:
            out.append((f"visual {p}", ["visual", p], True))
    return out


def build_env(build):
    """The environment that makes a build's command load its own library,
    also from a copy of the build tree."""
    env = dict(os.environ)
    env["LD_LIBRARY_PATH"] = os.path.abspath(build) + (":" + env["LD_LIBRARY_PATH"] if env.get("LD_LIBRARY_PATH") else "")
    return env


def run_one(build, args, a, b, report):
    cmd = [os.path.join(build, "cli", "morvex")] + args + [a, b]
    if report:
        cmd += ["-o", report]
    try:
        r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIMEOUT,
                           env=build_env(build))
        result = (r.returncode, r.stdout, r.stderr)
    except subprocess.TimeoutExpired:
        return (None, b"timeout", b"")
    if report:
        digest = b""
        if os.path.exists(report):
            with open(report, "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest().encode()
            os.remove(report)
        result = (result[0], digest, result[2])
    return result


def run_lib(build, a, b):
    cmd = [sys.executable, "-c", LIB_SCRIPT, os.path.join(build, "libmorvex.so"), a, b]
    try:
        r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIMEOUT)
        return (r.returncode, r.stdout, r.stderr)
    except subprocess.TimeoutExpired:
        return (None, b"timeout", b"")


def first_lines_apart(x, y, limit=6):
    xs = x.decode("utf-8", "replace").splitlines()
    ys = y.decode("utf-8", "replace").splitlines()
    if len(xs) == 1 and len(ys) == 1:  # one line of JSON: show where it parts
        k = next((i for i, (c, d) in enumerate(zip(xs[0], ys[0])) if c != d), min(len(xs[0]), len(ys[0])))
        return [f"- ...{xs[0][max(0, k - 80):k + 120]}", f"+ ...{ys[0][max(0, k - 80):k + 120]}"]
    lines = [l for l in difflib.unified_diff(xs, ys, "old", "new", lineterm="", n=0)][2:]
    return lines[:limit]


def check_pair(old, new, a, b, visual, scratch):
    """The differences between the builds' outputs on the pair (a list of texts)."""
    problems = []
    tag = hashlib.sha1((a + "\0" + b).encode()).hexdigest()[:16]
    for name, args, report in commands(visual):
        outs = []
        for side, build in (("old", old), ("new", new)):
            rep = os.path.join(scratch, f"{tag}.{side}.pdf") if report else None
            outs.append(run_one(build, args, a, b, rep))
        if outs[0] != outs[1]:
            why = [f"  {name}: exit {outs[0][0]} vs {outs[1][0]}"]
            for k, what in ((1, "stdout"), (2, "stderr")):
                if outs[0][k] != outs[1][k]:
                    why.append(f"    {what}:")
                    why += ["      " + l for l in first_lines_apart(outs[0][k], outs[1][k])]
            problems.append("\n".join(why))
    lo, ln = run_lib(old, a, b), run_lib(new, a, b)
    if lo != ln:
        problems.append("  library plain functions:\n" +
                        "\n".join("      " + l for l in first_lines_apart(lo[1] + lo[2], ln[1] + ln[2])))
    return problems


def pdf_files(items):
    out = []
    for item in items:
        if os.path.isdir(item):
            for root, _, names in os.walk(item, followlinks=True):
                out += [os.path.join(root, n) for n in names if n.lower().endswith(".pdf")]
        else:
            out.append(item)
    return sorted(out)


def check_file(path, opts, work, scratch):
    """(pairs checked, list of (pair text, problems)) for one source file."""
    results = []
    checked = 0
    stem = hashlib.sha1(os.path.abspath(path).encode()).hexdigest()[:12] + "-" + os.path.basename(path)[:-4]
    for kind in opts.kinds.split(","):
        if kind == "self":
            other = path
        else:
            other = os.path.join(work, f"{stem}.{kind}.pdf")
            skip = other + ".none"
            if os.path.exists(skip):
                continue
            if not os.path.exists(other):
                # In a process of its own: MuPDF's Python binding is not
                # safe to use from several threads of one process.
                try:
                    r = subprocess.run(["/usr/bin/python3", MAKE_VARIANTS, "--kinds", kind, "--out", other + ".part",
                                        path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=TIMEOUT)
                    made = r.returncode == 0 and os.path.exists(other + ".part")
                except subprocess.TimeoutExpired:  # a copy too slow to make is no copy
                    made = False
                if not made:
                    open(skip, "w").close()
                    continue
                os.replace(other + ".part", other)
        problems = check_pair(opts.old, opts.new, path, other, opts.visual, scratch)
        checked += 1
        if problems:
            results.append((f"{path} vs {kind}", problems))
    return checked, results


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("files", nargs="+")
    ap.add_argument("-j", "--jobs", type=int, default=os.cpu_count() or 1)
    ap.add_argument("--visual", action="store_true", help="also compare the visual reports' bytes")
    ap.add_argument("--limit", type=int, default=0, help="check at most N source files")
    ap.add_argument("--kinds", default=",".join(KINDS))
    ap.add_argument("--work", help="folder for the modified copies (kept)")
    ap.add_argument("--show", type=int, default=10, help="differing pairs shown in full")
    opts = ap.parse_args()
    for build in (opts.old, opts.new):
        for part in ("cli/morvex", "libmorvex.so"):
            if not os.path.exists(os.path.join(build, part)):
                sys.exit(f"check_same_outputs: {build} has no {part}")
    files = pdf_files(opts.files)
    if opts.limit:
        files = files[:opts.limit]
    tmp = tempfile.TemporaryDirectory(prefix="same-outputs-")
    work = opts.work or tmp.name
    os.makedirs(work, exist_ok=True)
    pairs = differing = shown = 0
    done = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, opts.jobs)) as pool:
        futures = {pool.submit(check_file, f, opts, work, tmp.name): f for f in files}
        for fut in concurrent.futures.as_completed(futures):
            done += 1
            try:
                n, results = fut.result()
            except Exception as e:  # a checker fault on one file is reported, not fatal
                print(f"ERROR {futures[fut]}: {e}", flush=True)
                differing += 1
                continue
            pairs += n
            for what, problems in results:
                differing += 1
                print(f"DIFFERS {what}", flush=True)
                if shown < opts.show:
                    shown += 1
                    print("\n".join(problems), flush=True)
            if done % 10 == 0:
                print(f"... {done}/{len(files)} files", file=sys.stderr, flush=True)
    print(f"{len(files)} files, {pairs} pairs checked, {pairs - differing} with identical outputs, "
          f"{differing} differing")
    return 0 if differing == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
