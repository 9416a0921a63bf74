"""Everything README.md shows is tried: the host program is the one the
install test builds, the console session runs as shown, the JSON examples
parse and name real kinds, and the Python example runs.

usage: test_readme.py SOURCE_DIR MORVEX_CLI LIBRARY WORKDIR"""

import json
import os
import re
import shutil
import signal
import socket
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

    def python_block(self, words):
        (code,) = [b for b in blocks("python") if words in b]
        return code

    def run_python(self, code, cwd, *args, timeout=300):
        """Runs code as a script, with the package of this tree on this build's library."""
        script = os.path.join(cwd, "example.py")
        with open(script, "w", encoding="utf-8") as f:
            f.write(code)
        env = dict(os.environ, MORVEX_LIBRARY=LIB, PYTHONPATH=os.path.join(SRC, "python"))
        return subprocess.run(["/usr/bin/python3", script, *args], cwd=cwd, env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True, timeout=timeout)

    def test_python_example_runs(self):
        p = self.run_python(blocks("python")[0], session_dir())
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertIn("False ['image_changed', 'text_changed', 'page_added']", p.stdout)
        self.assertIn("failed: cannot open file: missing.pdf", p.stdout)

    def test_python_options_example_runs(self):
        cwd = session_dir()
        p = self.run_python("import morvex\n" + self.python_block("pairing=") + "\nprint('done')\n", cwd)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertEqual(p.stdout, "done\n")
        self.assertTrue(os.path.exists(os.path.join(cwd, "report.pdf")))

    def test_compare_many_example_runs(self):
        p = self.run_python(self.python_block("compare_many(pairs"), session_dir())
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertEqual(p.stdout, "different v1/inv/0042.pdf \nidentical v1/same.pdf \n"
                                   "2 pairs compared: 1 identical, 1 different, 0 errors\n")

    def test_dask_example_writes_the_lines_of_the_command(self):
        """The cluster of the shell block, on this machine: its scheduler and
        workers, then the script, whose JSON lines, summary and exit status
        are those of morvex compare --dir --jsonl."""
        try:
            import distributed  # noqa: F401
        except ImportError:
            self.skipTest("dask.distributed is not installed")
        (shell,) = [b for b in blocks("sh") if "dask scheduler" in b]
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        address = f"tcp://127.0.0.1:{port}"
        commands = [line.split("#")[0].strip() for line in shell.strip().splitlines()]
        self.assertEqual([c.split()[:2] for c in commands],
                         [["dask", "scheduler"], ["dask", "worker"], ["python3", "compare_trees.py"]])
        scheduler = commands[0].split() + ["--host", "127.0.0.1", "--port", str(port), "--no-dashboard"]
        worker = [address if w == "tcp://scheduler-host:8786" else w for w in commands[1].split()]
        worker[worker.index("--nworkers") + 1] = "2"
        cwd = session_dir()
        env = dict(os.environ, MORVEX_LIBRARY=LIB, PYTHONPATH=os.path.join(SRC, "python"))
        env["PATH"] = "/usr/bin" + os.pathsep + env["PATH"]
        cluster = [subprocess.Popen(c + ["--no-dashboard"] * (c is worker), cwd=cwd, env=env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
                   for c in (scheduler, worker)]
        try:
            script = self.python_block("from distributed import Client")
            p = self.run_python(script, cwd, address, "v1", "v2", "dask.jsonl")
        finally:
            for c in cluster:
                os.killpg(c.pid, signal.SIGTERM)
            for c in cluster:
                try:
                    c.wait(30)
                except subprocess.TimeoutExpired:
                    os.killpg(c.pid, signal.SIGKILL)
                    c.wait()
        cli = [CLI, "compare", "--dir", "v1", "v2", "--jsonl", "cli.jsonl"]
        shown = subprocess.run(cli, cwd=cwd, stdout=subprocess.PIPE, text=True,
                               env={k: v for k, v in os.environ.items() if k != "LD_PRELOAD"})
        self.assertEqual(p.returncode, shown.returncode, p.stderr)
        self.assertEqual(p.stdout, shown.stdout.splitlines()[-1] + "\n")
        with open(os.path.join(cwd, "dask.jsonl"), encoding="utf-8") as a, \
                open(os.path.join(cwd, "cli.jsonl"), encoding="utf-8") as b:
            self.assertEqual(a.read(), b.read())

    def test_ci_jobs_run_the_command_they_show(self):
        """Each CI job is valid YAML whose morvex line, run on a tree like
        the one it names, writes a JUnit file that validates, the index and
        the review pages."""
        import yaml
        from lxml import etree
        jobs = [yaml.safe_load(b) for b in blocks("yaml")]
        self.assertEqual(len(jobs), 2)
        github = jobs[0]["jobs"]["compare-pdfs"]
        steps = [s.get("run", "") for s in github["steps"]]
        gitlab = jobs[1]["compare-pdfs"]
        self.assertEqual(gitlab["artifacts"]["reports"]["junit"], "pdf-results.xml")
        self.assertIn("pdf-review/", gitlab["artifacts"]["paths"])
        self.assertIn({"report_paths": "pdf-results.xml"}, [s.get("with") for s in github["steps"]])
        self.assertIn("pdf-review/", [s.get("with", {}).get("path") for s in github["steps"]])
        lines = [line for line in steps + gitlab["script"] if line.startswith("morvex ")]
        self.assertEqual(len(lines), 2)
        self.assertEqual(lines[0], lines[1])
        cwd = session_dir()
        shutil.copytree(os.path.join(cwd, "v1"), os.path.join(cwd, "approved"))
        shutil.copytree(os.path.join(cwd, "v2"), os.path.join(cwd, "build", "pdf"))
        env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
        p = subprocess.run([CLI] + lines[0].split()[1:], cwd=cwd, env=env, stdout=subprocess.PIPE, text=True)
        self.assertEqual(p.returncode, 1, p.stdout)
        schema = etree.XMLSchema(etree.parse(os.path.join(SRC, "tests", "cli", "junit.xsd")))
        schema.assertValid(etree.parse(os.path.join(cwd, "pdf-results.xml")))
        for page in ("index.html", "inv/0042.pdf.html", "inv/0042.pdf"):
            self.assertTrue(os.path.isfile(os.path.join(cwd, "pdf-review", page)), page)

    def test_pytest_example_stores_then_fails_with_words(self):
        """The pytest example, with write_invoice copying A, then B: stored,
        then failing with the message shown."""
        code = self.python_block("pdf_snapshot.assert_match")
        cwd = session_dir()
        tests = os.path.join(cwd, "tests")
        os.makedirs(tests)
        shown = re.search(r"fail with\nthe differences in words:\n\n```\n(.*?)```", readme(), re.S).group(1)
        env = dict(os.environ, MORVEX_LIBRARY=LIB, PYTHONPATH=os.path.join(SRC, "python"))
        for source, outcome in (("old.pdf", "1 passed"), ("old.pdf", "1 passed"), ("new.pdf", "1 failed")):
            with open(os.path.join(tests, "test_invoice.py"), "w", encoding="utf-8") as f:
                f.write("import shutil\n\n\ndef write_invoice(out):\n    shutil.copyfile(%r, out)\n\n\n%s"
                        % (os.path.join(cwd, source), code))
            p = subprocess.run(["/usr/bin/python3", "-m", "pytest", "-p", "morvex.pytest_plugin", "-p",
                                "no:cacheprovider", "-q", "tests"], cwd=cwd, env=env, stdout=subprocess.PIPE,
                               text=True, timeout=300)
            self.assertIn(outcome, p.stdout)
        self.assertTrue(os.path.isfile(os.path.join(tests, "__pdf_snapshots__", "invoice.pdf")))
        for line in shown.splitlines():
            line = line.replace("/src/", cwd + "/")
            if line.startswith("/tmp/pytest-of-me/"):  # the test's own temporary folder
                self.assertIn(" " + line.split(" ", 1)[1] + "\n", p.stdout)
            else:
                self.assertIn("E       " + line + "\n", p.stdout)

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
