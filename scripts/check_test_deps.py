#!/usr/bin/python3
"""Checks that every program and data file the tests use comes from a
package that scripts/deps.sh installs (or one those packages depend on),
so that a machine which happens to have an extra package cannot hide a
missing install step.

Two checks, each ending in a message that names what to add:
  1. every program the Python tests start (subprocess, realpdf.run) and
     every module they import from outside the standard library and the
     repository is named in MORVEX_TEST_USES (modules as py:NAME);
  2. every entry of MORVEX_TEST_USES (a program on PATH, an absolute path,
     or py:NAME for a module of /usr/bin/python3) exists and belongs to a
     Debian package in the dependency closure of MORVEX_TEST_PACKAGES, or
     to an essential package.

usage: scripts/check_test_deps.py   (reads both lists from the environment,
as scripts/deps.sh exports them)"""

import os
import re
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Folders whose Python code runs in the test suite.
SCANNED = ["tests", "python", "tools", "fuzz", "bench"]
# A program started from Python: run("prog", ...), subprocess.run(["prog", ...]).
LAUNCH = re.compile(r"\b(?:subprocess\.)?(?:run|check_output|check_call|Popen)\(\s*\[?\s*[\"']([A-Za-z0-9_.+/-]+)[\"']")
# Names that such calls pass that are not programs (subcommands of the
# project's own tools, flags) and the project's own build products.
NOT_PROGRAMS = {"compare", "text", "visual", "--help", "--version"}
OWN_PROGRAMS = re.compile(r"^(morvex\w*|make_\w+|crypto_tool|c_host|goal_driver|fuzz_\w+)$")


IMPORT = re.compile(r"^\s*(?:import|from)\s+([A-Za-z_][A-Za-z0-9_]*)", re.M)


def python_files():
    for top in SCANNED:
        for base, dirs, files in os.walk(os.path.join(ROOT, top)):
            dirs[:] = [d for d in dirs if not d.startswith((".", "build"))]
            for name in files:
                if name.endswith(".py"):
                    path = os.path.join(base, name)
                    with open(path, encoding="utf-8", errors="replace") as f:
                        yield os.path.relpath(path, ROOT), f.read()


def imported_modules():
    """Top-level modules imported from outside the standard library and the
    repository's own Python files and packages."""
    local = set()
    for base, dirs, files in os.walk(ROOT):
        dirs[:] = [d for d in dirs if not d.startswith((".", "build"))]
        local.update(os.path.splitext(f)[0] for f in files if f.endswith(".py"))
        local.update(d for d in dirs if os.path.exists(os.path.join(base, d, "__init__.py")))
    found = {}
    for where, text in python_files():
        for mod in IMPORT.findall(text):
            if mod not in sys.stdlib_module_names and mod not in local:
                found.setdefault(mod, where)
    return found


def launched_programs():
    found = {}
    for where, text in python_files():
        for prog in LAUNCH.findall(text):
            found.setdefault(os.path.basename(prog), where)
    return {p: where for p, where in found.items() if p not in NOT_PROGRAMS and not OWN_PROGRAMS.match(p)}


def dependency_closure(packages):
    """The packages plus everything they depend on (Depends, Pre-Depends),
    with the providers of virtual packages."""
    out = subprocess.run(["apt-cache", "depends", "--recurse", "--no-recommends", "--no-suggests",
                          "--no-conflicts", "--no-breaks", "--no-replaces", "--no-enhances", *packages],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
    closure = set(packages)
    for line in out.splitlines():
        line = line.strip()
        if not line:
            continue
        if ":" in line and not line.startswith("<"):
            line = line.split(":", 1)[1].strip()
        closure.add(line.strip("<>").split(":")[0])
    return closure


def essential_packages():
    out = subprocess.run(["dpkg-query", "-W", "-f", "${Package} ${Essential} ${Priority}\n"],
                         stdout=subprocess.PIPE, text=True).stdout
    return {f[0] for f in (l.split() for l in out.splitlines()) if len(f) >= 2 and ("yes" in f[1:] or "required" in f[1:])}


def module_path(name):
    p = subprocess.run(["/usr/bin/python3", "-c", "import importlib.util as u, sys; s = u.find_spec(sys.argv[1]); "
                        "print(s.origin if s and s.origin not in (None, 'namespace') else (list(s.submodule_search_locations)[0] if s else ''))",
                        name], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    return p.stdout.strip() or None


def owner(path):
    for candidate in (path, os.path.realpath(path)):
        p = subprocess.run(["dpkg", "-S", candidate], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        if p.returncode == 0:
            # "pkg1, pkg2: /path" (diversions aside)
            line = [l for l in p.stdout.splitlines() if not l.startswith("diversion")][0]
            return [name.strip().split(":")[0] for name in line.rsplit(": ", 1)[0].split(",")]
    return []


def main():
    packages = os.environ.get("MORVEX_TEST_PACKAGES", "").split()
    uses = os.environ.get("MORVEX_TEST_USES", "").split()
    if not packages or not uses:
        print("check_test_deps: MORVEX_TEST_PACKAGES and MORVEX_TEST_USES must be set (source scripts/deps.sh)")
        return 2
    problems = []
    named = {os.path.basename(u) for u in uses if not u.startswith("py:")}
    for prog, where in sorted(launched_programs().items()):
        if prog not in named:
            problems.append("%s starts '%s', which MORVEX_TEST_USES in scripts/deps.sh does not name" % (where, prog))
    for mod, where in sorted(imported_modules().items()):
        if "py:" + mod not in uses:
            problems.append("%s imports '%s', which MORVEX_TEST_USES in scripts/deps.sh does not name (as py:%s)"
                            % (where, mod, mod))
    allowed = dependency_closure(packages) | essential_packages()
    for use in uses:
        path = module_path(use[3:]) if use.startswith("py:") else use if use.startswith("/") else shutil.which(use)
        if not path or not os.path.exists(path):
            problems.append("'%s' is missing after the install step: add its package to MORVEX_TEST_PACKAGES" % use)
            continue
        owners = owner(path)
        if not owners:
            problems.append("'%s' (%s) belongs to no Debian package: the tests may not rely on it" % (use, path))
        elif not any(o in allowed for o in owners):
            problems.append("'%s' comes from the package %s, which scripts/deps.sh does not install "
                            "(add it to MORVEX_TEST_PACKAGES)" % (use, " or ".join(owners)))
    for p in problems:
        print("check_test_deps: " + p)
    if problems:
        return 1
    print("check_test_deps: %d programs and files, each from a package scripts/deps.sh installs" % len(uses))
    return 0


if __name__ == "__main__":
    sys.exit(main())
