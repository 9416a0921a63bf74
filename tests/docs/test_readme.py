"""Everything README.md shows is tried: the host program is the one the
install test builds, the console session runs as shown, the JSON examples
parse and name real kinds, and the Python example runs.

usage: test_readme.py SOURCE_DIR MORVEX_CLI LIBRARY WORKDIR"""

import json
import os
import re
import shutil
import subprocess
import sys
import unittest

SRC = CLI = LIB = WORK = None

KINDS = {"page_moved", "dimensions_changed", "rotation_changed", "image_added", "image_removed", "image_changed",
         "text_added", "text_removed", "text_changed", "content_changed", "page_added", "page_removed"}


def readme():
    with open(os.path.join(SRC, "README.md"), encoding="utf-8") as f:
        return f.read()


def blocks(lang):
    return re.findall(r"^```" + lang + r"\n(.*?)^```", readme(), re.S | re.M)


def session_dir():
    """old.pdf and new.pdf, and the trees v1 and v2 of the batch example."""
    d = os.path.join(WORK, "session")
    shutil.rmtree(d, ignore_errors=True)
    a, b = (os.path.join(SRC, "examples", n) for n in ("a.pdf", "b.pdf"))
    for src, dst in ((a, "old.pdf"), (b, "new.pdf"), (a, "v1/inv/0042.pdf"), (b, "v2/inv/0042.pdf"),
                     (a, "v1/same.pdf"), (a, "v2/same.pdf"), (a, "v2/new-only.pdf")):
        os.makedirs(os.path.dirname(os.path.join(d, dst)), exist_ok=True)
        shutil.copy(src, os.path.join(d, dst))
    return d


class Readme(unittest.TestCase):
    def test_host_program_is_examples_host_c(self):
        with open(os.path.join(SRC, "examples", "host.c"), encoding="utf-8") as f:
            self.assertEqual(blocks("c"), [f.read()])

    def test_console_session_runs_as_shown(self):
        (session,) = blocks("console")
        cwd = session_dir()
        bindir = os.path.join(WORK, "bin")
        os.makedirs(bindir, exist_ok=True)
        link = os.path.join(bindir, "morvex")
        if not os.path.exists(link):
            os.symlink(CLI, link)
        env = dict(os.environ, PATH=bindir + os.pathsep + os.environ["PATH"], NO_COLOR="1")
        # A sanitizer runtime preloaded for the Python example must not reach
        # the command, which carries its own.
        env.pop("LD_PRELOAD", None)
        commands = re.split(r"^\$ ", session, flags=re.M)[1:]
        self.assertGreaterEqual(len(commands), 5)
        for chunk in commands:
            command, _, shown = chunk.partition("\n")
            with self.subTest(command=command):
                p = subprocess.run(command, shell=True, cwd=cwd, env=env, stdout=subprocess.PIPE, text=True)
                self.assertIn(p.returncode, (0, 1), command)
                self.assertEqual(p.stdout, shown)
        self.assertTrue(os.path.exists(os.path.join(cwd, "report.pdf")))

    def test_json_examples_parse_and_name_real_kinds(self):
        examples = blocks("json")
        self.assertGreaterEqual(len(examples), 2)
        for text in examples:
            report = json.loads(text)
            self.assertEqual(list(report), ["identical", "pages_compared", "differences"])
            for d in report["differences"]:
                self.assertIn(d["type"], KINDS)
        table = set(re.findall(r"^\| `([a-z_]+)` \|", readme(), re.M))
        self.assertEqual(table, KINDS)

    def test_python_example_runs(self):
        (code,) = blocks("python")
        env = dict(os.environ, MORVEX_LIBRARY=LIB, PYTHONPATH=os.path.join(SRC, "python"))
        p = subprocess.run(["/usr/bin/python3", "-c", code], cwd=session_dir(), env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertIn("False ['image_changed', 'text_changed', 'page_added']", p.stdout)
        self.assertIn("failed: cannot open file: missing.pdf", p.stdout)

    def test_quick_start_names_the_scripts_ci_runs(self):
        (quick,) = re.findall(r"## Quick start\n.*?```sh\n(.*?)```", readme(), re.S)
        commands = [line.split("#")[0].strip() for line in quick.strip().splitlines()]
        self.assertEqual(commands, ["./scripts/demo.sh", "./scripts/test.sh"])
        with open(os.path.join(SRC, ".ci", "run"), encoding="utf-8") as f:
            self.assertIn("./scripts/test.sh", f.read())


if __name__ == "__main__":
    SRC, CLI, LIB, WORK = sys.argv[1:5]
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"])
