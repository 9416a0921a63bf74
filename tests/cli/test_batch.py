"""morvex compare|text --dir OLD NEW: pairing two trees built from the
fixture files, the listing, exit status, JSON lines, visual reports and
their index page, parallel runs, the progress bar, and a worker killed in
the middle of a pair.

usage: test_batch.py MORVEX FIXTURE_DIR SCRATCH_DIR"""

import html.parser
import json
import os
import pty
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import terminal  # noqa: E402

MORVEX = FIXTURES = SCRATCH = None


def clean_env(**extra):
    env = {k: v for k, v in os.environ.items() if k not in ("NO_COLOR", "MORVEX_BATCH_TEST_STALL")}
    env.update(extra)
    return env


def run(*args, env=None):
    p = subprocess.run([MORVEX, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env or clean_env(),
                       timeout=300)
    return p.returncode, p.stdout.decode("utf-8"), p.stderr.decode("utf-8")


def run_on_pty(*args, stdout_pty, stderr_pty, env=None):
    """Runs morvex with the chosen streams on one pseudo-terminal; returns
    the exit status, what the terminal received, and what went to the
    other stream's pipe."""
    master, slave = pty.openpty()
    pipe = subprocess.PIPE
    p = subprocess.Popen([MORVEX, *args], stdout=slave if stdout_pty else pipe,
                         stderr=slave if stderr_pty else pipe, env=env or clean_env())
    os.close(slave)
    received = terminal.read_all(master)
    with p.stdout or p.stderr as stream:
        other = stream.read()
    p.wait()
    return p.returncode, received.decode("utf-8").replace("\r\n", "\n"), other.decode("utf-8")


def fx(name):
    return os.path.join(FIXTURES, name)


def put(root, rel, fixture):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    shutil.copyfile(fx(fixture + ".pdf"), path)


QUOTED = 'we <&> "q".pdf'

# Relative path -> fixture under OLD, fixture under NEW (None: absent).
PAIRS = {
    "same.pdf": ("hello", "hello-copy"),
    "docs/changed.pdf": ("hello", "goodbye"),
    "docs/deep/er/pages.PDF": ("hello", "hello-2pages"),
    "docs/images.pdf": ("image-left", "image-right"),
    "locked.pdf": ("hello", "encrypted"),
    "gone/removed.pdf": ("hello", None),
    "fresh.pdf": (None, "hello"),
    QUOTED: ("hello", "goodbye"),
}

# In path order: the listing of `compare` (and of `text`, where it differs).
ORDER = ["broken.pdf", "docs/changed.pdf", "docs/deep/er/pages.PDF", "docs/images.pdf", "fresh.pdf",
         "gone/removed.pdf", "linked.pdf", "locked.pdf", "mirror/x.pdf", "same.pdf", QUOTED]
COMPARE_STATUS = {
    "broken.pdf": "error", "docs/changed.pdf": "different", "docs/deep/er/pages.PDF": "different",
    "docs/images.pdf": "different", "fresh.pdf": "only_new", "gone/removed.pdf": "only_old",
    "linked.pdf": "identical", "locked.pdf": "error", "mirror/x.pdf": "identical", "same.pdf": "identical",
    QUOTED: "different",
}
TEXT_STATUS = dict(COMPARE_STATUS, **{"docs/images.pdf": "identical"})


def build_trees(base):
    """OLD and NEW under `base`: identical, different and failing pairs,
    files on one side only, files that are not PDFs, links to files and
    directories, and a directory link loop on each side."""
    old, new = os.path.join(base, "old"), os.path.join(base, "new")
    for rel, (a, b) in PAIRS.items():
        if a:
            put(old, rel, a)
        if b:
            put(new, rel, b)
    put(old, "broken.pdf", "hello")
    os.symlink(os.path.join(base, "nowhere.pdf"), os.path.join(new, "broken.pdf"))
    put(old, "linked.pdf", "hello")
    os.symlink(fx("hello-copy.pdf"), os.path.join(new, "linked.pdf"))
    put(old, "mirror/x.pdf", "hello")
    put(base, "outside/x.pdf", "hello-copy")
    os.symlink(os.path.join(base, "outside"), os.path.join(new, "mirror"))
    os.symlink("..", os.path.join(old, "docs", "loop"))
    os.symlink("../../..", os.path.join(new, "docs", "deep", "er", "up"))
    for root in (old, new):
        with open(os.path.join(root, "notes.txt"), "w") as f:
            f.write("not a PDF\n")
        shutil.copyfile(fx("hello.pdf"), os.path.join(root, "docs", "backup.pdf.bak"))
    return old, new


class Batch(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.base = tempfile.mkdtemp(prefix="batch-", dir=SCRATCH)
        cls.old, cls.new = build_trees(cls.base)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.base)

    def scratch(self):
        d = tempfile.mkdtemp(dir=self.base)
        self.addCleanup(shutil.rmtree, d)
        return d

    def test_compare_listing_and_exit_status(self):
        code, out, err = run("compare", "--dir", self.old, self.new)
        self.assertEqual(code, 2, err)
        self.assertEqual(out.splitlines(), [
            "error      broken.pdf  (cannot open file: %s/broken.pdf)" % self.new,
            "different  docs/changed.pdf  (1 difference on 1 of 1 page)",
            "different  docs/deep/er/pages.PDF  (1 difference on 1 of 2 pages)",
            "different  docs/images.pdf  (1 difference on 1 of 1 page)",
            "only-new   fresh.pdf",
            "only-old   gone/removed.pdf",
            "identical  linked.pdf",
            "error      locked.pdf  (encrypted PDFs are not supported: %s/locked.pdf)" % self.new,
            "identical  mirror/x.pdf",
            "identical  same.pdf",
            'different  we <&> "q".pdf  (1 difference on 1 of 1 page)',
            "9 pairs compared: 3 identical, 4 different, 2 errors; 1 only in old, 1 only in new",
        ])
        # Both link loops are skipped, each with a warning, and nothing else is said.
        self.assertEqual(sorted(err.splitlines()), [
            "morvex: skipping %s/docs/deep/er/up: it leads back to a directory above it" % self.new,
            "morvex: skipping %s/docs/loop: it leads back to a directory above it" % self.old,
        ])

    def test_text_listing_with_differences(self):
        code, out, _ = run("text", "--dir", "--format=text", self.old + "/", self.new)
        self.assertEqual(code, 2)
        self.assertEqual(out.splitlines(), [
            "error      broken.pdf  (cannot open file: %s/broken.pdf)" % self.new,
            "different  docs/changed.pdf  (1 difference on 1 of 1 page)",
            "    page 1: text changed",
            "        [-Hello-]{+Goodbye+} World ...",
            "different  docs/deep/er/pages.PDF  (1 difference on 1 of 2 pages)",
            "    page 2: page added",
            "identical  docs/images.pdf",
            "only-new   fresh.pdf",
            "only-old   gone/removed.pdf",
            "identical  linked.pdf",
            "error      locked.pdf  (encrypted PDFs are not supported: %s/locked.pdf)" % self.new,
            "identical  mirror/x.pdf",
            "identical  same.pdf",
            'different  we <&> "q".pdf  (1 difference on 1 of 1 page)',
            "    page 1: text changed",
            "        [-Hello-]{+Goodbye+} World ...",
            "9 pairs compared: 4 identical, 3 different, 2 errors; 1 only in old, 1 only in new",
        ])

    def test_exit_status_rules(self):
        """0 only when every pair is identical and no file is on one side
        only; 1 when something differs or is missing; 2 as soon as a pair
        fails, whatever else differs."""
        cases = [
            ({"a.pdf": ("hello", "hello-copy"), "b/c.pdf": ("hello", "hello")}, 0,
             "2 pairs compared: 2 identical, 0 different, 0 errors; 0 only in old, 0 only in new"),
            ({"a.pdf": ("hello", "hello-copy"), "gone.pdf": ("hello", None)}, 1,
             "1 pair compared: 1 identical, 0 different, 0 errors; 1 only in old, 0 only in new"),
            ({"a.pdf": ("hello", "hello-copy"), "new.pdf": (None, "hello")}, 1,
             "1 pair compared: 1 identical, 0 different, 0 errors; 0 only in old, 1 only in new"),
            ({"a.pdf": ("hello", "goodbye")}, 1,
             "1 pair compared: 0 identical, 1 different, 0 errors; 0 only in old, 0 only in new"),
            ({"a.pdf": ("hello", "goodbye"), "z.pdf": ("hello", "encrypted")}, 2,
             "2 pairs compared: 0 identical, 1 different, 1 error; 0 only in old, 0 only in new"),
            ({}, 0, "0 pairs compared: 0 identical, 0 different, 0 errors; 0 only in old, 0 only in new"),
        ]
        for pairs, status, summary in cases:
            d = self.scratch()
            old, new = os.path.join(d, "old"), os.path.join(d, "new")
            os.makedirs(old)
            os.makedirs(new)
            for rel, (a, b) in pairs.items():
                if a:
                    put(old, rel, a)
                if b:
                    put(new, rel, b)
            code, out, err = run("compare", "--dir", old, new)
            self.assertEqual((code, err), (status, ""), pairs)
            self.assertEqual(out.splitlines()[-1], summary)

    def test_directories_that_are_not(self):
        for args in ([self.old, fx("hello.pdf")], [os.path.join(self.base, "missing"), self.new]):
            code, out, err = run("compare", "--dir", *args)
            self.assertEqual((code, out), (2, ""))
            self.assertTrue(err.startswith("morvex: not a directory: "), err)

    def read_jsonl(self, path):
        with open(path, encoding="utf-8") as f:
            text = f.read()
        self.assertTrue(text.endswith("\n"))
        return text, [json.loads(line) for line in text.splitlines()]

    def test_json_lines(self):
        d = self.scratch()
        jsonl = os.path.join(d, "out.jsonl")
        code, out, _ = run("compare", "--dir", "--jsonl", jsonl, "--format=json", self.old, self.new)
        self.assertEqual(code, 2)
        text, lines = self.read_jsonl(jsonl)
        self.assertEqual(out, text)  # --format=json prints the same lines
        self.assertEqual([line["path"] for line in lines], ORDER)
        for line in lines:
            rel, status = line["path"], line["status"]
            self.assertEqual(status, COMPARE_STATUS[rel], rel)
            keys = {"path", "status"}
            if status in ("identical", "different"):
                keys.add("report")
                # The library's own report of that pair, unchanged.
                code, single, _ = run("compare", os.path.join(self.old, rel), os.path.join(self.new, rel))
                self.assertEqual(line["report"], json.loads(single), rel)
            if status == "error":
                keys.add("error")
            self.assertEqual(set(line), keys, rel)
        errors = {line["path"]: line["error"] for line in lines if line["status"] == "error"}
        self.assertEqual(errors, {
            "broken.pdf": "cannot open file: %s/broken.pdf" % self.new,
            "locked.pdf": "encrypted PDFs are not supported: %s/locked.pdf" % self.new,
        })
        code, _, _ = run("text", "--dir", "--jsonl", jsonl, self.old, self.new)
        _, lines = self.read_jsonl(jsonl)
        self.assertEqual({line["path"]: line["status"] for line in lines}, TEXT_STATUS)
        changed = [line for line in lines if line["path"] == "docs/changed.pdf"][0]
        self.assertEqual(changed["report"]["differences"],
                         [{"page": 1, "type": "text_changed", "page_a": 1, "page_b": 1,
                           "diff": "- Hello World \n+ Goodbye World "}])

    def test_visual_reports_and_index(self):
        for cmd, statuses in (("compare", COMPARE_STATUS), ("text", TEXT_STATUS)):
            d = self.scratch()
            reports, jsonl = os.path.join(d, "reports"), os.path.join(d, "out.jsonl")
            code, _, err = run(cmd, "--dir", "--reports", reports, "--jsonl", jsonl, "-j", "3", self.old, self.new)
            self.assertEqual(code, 2, err)
            different = sorted(rel for rel, s in statuses.items() if s == "different")
            written = sorted(os.path.relpath(os.path.join(dirpath, name), reports)
                             for dirpath, _, names in os.walk(reports) for name in names)
            self.assertEqual(written, sorted(different + [rel + ".html" for rel in different] + ["index.html"]), cmd)
            for rel in different:
                with open(os.path.join(reports, rel), "rb") as f:
                    self.assertEqual(f.read(5), b"%PDF-", rel)
            _, lines = self.read_jsonl(jsonl)
            self.assertEqual({line["path"]: line["visual_report"] for line in lines if "visual_report" in line},
                             {rel: os.path.join(reports, rel) for rel in different})
            with open(os.path.join(reports, "index.html"), encoding="utf-8") as f:
                page = f.read()
            self.check_index(page, statuses, different)
            # The changed words, old struck through and new beside it.
            self.assertIn('<del>Hello</del> <ins>Goodbye</ins>', page)

    def test_side_by_side_reports(self):
        d = self.scratch()
        reports = os.path.join(d, "reports")
        code, _, err = run("compare", "--dir", "--reports", reports, "--layout=side-by-side", "--changed-only",
                           self.old, self.new)
        self.assertEqual(code, 2, err)
        different = sorted(rel for rel, s in COMPARE_STATUS.items() if s == "different")
        for rel in different:
            with open(os.path.join(reports, rel), "rb") as f:
                pdf = f.read()
            self.assertEqual(pdf[:5], b"%PDF-", rel)
            self.assertIn(b"/Outlines 3 0 R /PageMode /UseOutlines", pdf, rel)
        code, _, err = run("compare", "--dir", "--layout=side-by-side", self.old, self.new)
        self.assertEqual(code, 2)
        self.assertIn("--layout and --changed-only are options of visual, --reports and --html", err)

    def check_index(self, page, statuses, different):
        links, cells = [], []

        class Reader(html.parser.HTMLParser):
            def handle_starttag(self, tag, attrs):
                if tag == "a":
                    links.append(dict(attrs)["href"])

            def handle_data(self, data):
                cells.append(data)

        Reader().feed(page)
        # Relative links to each review page, visual report and report page,
        # with the names URL-encoded.
        def encoded(rel):
            return rel.replace(" ", "%20").replace("<", "%3C").replace("&", "%26").replace(">", "%3E") \
                .replace('"', "%22")
        self.assertEqual(sorted({link.split("#")[0] for link in links}),
                         sorted([encoded(rel) for rel in different] + [encoded(rel) + ".html" for rel in different]))
        self.assertIn('href="we%20%3C%26%3E%20%22q%22.pdf.html">we &lt;&amp;&gt; &quot;q&quot;.pdf</a>', page)
        self.assertNotIn(QUOTED, page)  # never raw
        # Every path is listed, with its status and the failures' messages.
        text = "".join(cells)
        for rel, status in statuses.items():
            self.assertIn(rel, text)
        self.assertIn("encrypted PDFs are not supported: %s/locked.pdf" % self.new, text)
        self.assertIn("A p. 1 | B p. 1 text changed", text)
        self.assertIn("only in old", text)
        self.assertNotIn("<script", page)

    def test_reports_inside_a_tree_are_not_compared(self):
        d = self.scratch()
        old, new = os.path.join(d, "old"), os.path.join(d, "new")
        put(old, "a.pdf", "hello")
        put(new, "a.pdf", "goodbye")
        reports = os.path.join(new, "reports")
        for _ in range(2):
            code, out, _ = run("compare", "--dir", "--reports", reports, old, new)
            self.assertEqual(code, 1)
            self.assertEqual(out.splitlines()[0], "different  a.pdf  (1 difference on 1 of 1 page)")
            self.assertEqual(len(out.splitlines()), 2)
        self.assertTrue(os.path.exists(os.path.join(reports, "a.pdf")))

    def test_a_report_that_cannot_be_written_fails_its_pair(self):
        d = self.scratch()
        reports, jsonl = os.path.join(d, "reports"), os.path.join(d, "out.jsonl")
        os.makedirs(reports)
        with open(os.path.join(reports, "docs"), "w") as f:  # a file where a directory must go
            f.write("in the way\n")
        code, out, _ = run("compare", "--dir", "--reports", reports, "--jsonl", jsonl, self.old, self.new)
        self.assertEqual(code, 2)
        _, lines = self.read_jsonl(jsonl)
        by_path = {line["path"]: line for line in lines}
        for rel in ("docs/changed.pdf", "docs/deep/er/pages.PDF", "docs/images.pdf"):
            line = by_path[rel]
            self.assertEqual((line["status"], line["report"]["identical"]), ("error", False), rel)
            self.assertRegex(line["error"], "^cannot create directory .*/reports/docs", rel)
            self.assertNotIn("visual_report", line)
        self.assertEqual(by_path[QUOTED]["visual_report"], os.path.join(reports, QUOTED))
        self.assertIn("error      docs/changed.pdf  (cannot create directory %s/docs" % reports, out)
        with open(os.path.join(reports, "index.html"), encoding="utf-8") as f:
            page = f.read()
        self.assertIn("cannot create directory", page)

    def test_one_or_many_workers_give_the_same_results(self):
        d = self.scratch()
        old, new = os.path.join(d, "old"), os.path.join(d, "new")
        fixtures = [("hello", "hello-copy"), ("hello", "goodbye"), ("image-left", "image-right"),
                    ("hello", "encrypted"), ("escapes-a", "escapes-b"), ("hello-2pages", "hello")]
        for i in range(36):
            a, b = fixtures[i % len(fixtures)]
            rel = "part%d/doc%02d.pdf" % (i % 4, i)
            put(old, rel, a)
            put(new, rel, b)
        runs = [run("text", "--dir", "--format=json", *jobs, old, new) for jobs in (["-j", "1"], ["-j4"], [])]
        self.assertEqual(runs[0][0], 2)
        self.assertEqual(len(runs[0][1].splitlines()), 36)
        self.assertEqual(runs[1], runs[0])
        self.assertEqual(runs[2], runs[0])
        escaped = [json.loads(line) for line in runs[0][1].splitlines() if "doc04" in line][0]
        self.assertIn("\x01\x1b caf\u00e9", escaped["report"]["differences"][0]["diff"])

    def test_progress_bar_on_a_terminal_only(self):
        code, term, out = run_on_pty("compare", "--dir", self.old, self.new, stdout_pty=False, stderr_pty=True)
        self.assertEqual(code, 2)
        plain = run("compare", "--dir", self.old, self.new)[1]
        self.assertEqual(out, plain)
        self.assertIn("[" + "=" * 30 + "] 9/9 pairs", term)
        self.assertRegex(term, r"\r\[=*>? *\] [0-8]/9 pairs")
        self.assertTrue(term.endswith("\r\033[K"), repr(term[-40:]))  # cleared at the end
        self.assertNotIn("pairs", run("compare", "--dir", self.old, self.new)[2])

    def test_colour_follows_the_terminal_and_no_color(self):
        code, term, _ = run_on_pty("compare", "--dir", self.old, self.new, stdout_pty=True, stderr_pty=False)
        self.assertIn("\033[33mdifferent\033[0m  docs/changed.pdf", term)
        self.assertIn("\033[1;31merror\033[0m      locked.pdf", term)
        code, term, _ = run_on_pty("compare", "--dir", self.old, self.new, stdout_pty=True, stderr_pty=False,
                                   env=clean_env(NO_COLOR="1"))
        self.assertNotIn("\033", term)
        code, term, _ = run_on_pty("compare", "--dir", "--format=json", self.old, self.new, stdout_pty=True,
                                   stderr_pty=False)
        self.assertNotIn("\033", term)

    def stopped_child(self, parent, deadline, required=True):
        """The pid of a stopped child process of `parent`, waiting for one
        until `deadline`."""
        while time.time() < deadline:
            for name in os.listdir("/proc"):
                if not name.isdigit():
                    continue
                try:
                    with open("/proc/%s/stat" % name) as f:
                        fields = f.read().rsplit(")", 1)[1].split()
                except (OSError, IndexError):
                    continue
                if fields[0] == "T" and int(fields[1]) == parent:
                    return int(name)
            time.sleep(0.05)
        if required:
            self.fail("no worker stopped")
        return None

    def test_a_killed_worker_fails_its_pair_only(self):
        """The test hook stops the worker that takes docs/changed.pdf; the
        test kills it.  That pair is an error, a new worker takes the rest
        (with one worker, all of the rest), the run ends with status 2."""
        _, normal = self.read_jsonl_of_run([])
        for jobs in ("1", "2"):
            d = self.scratch()
            jsonl = os.path.join(d, "out.jsonl")
            p = subprocess.Popen([MORVEX, "compare", "--dir", "-j", jobs, "--jsonl", jsonl, self.old, self.new],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 env=clean_env(MORVEX_BATCH_TEST_STALL="docs/changed.pdf"))
            worker = None
            try:
                worker = self.stopped_child(p.pid, time.time() + 60)
                os.kill(worker, signal.SIGKILL)
                out, err = p.communicate(timeout=120)
            finally:
                if p.poll() is None:  # the test failed: leave no process behind
                    p.kill()
                    p.wait()
                    if worker is None:
                        worker = self.stopped_child(p.pid, time.time() + 1, required=False)
                    if worker is not None:
                        os.kill(worker, signal.SIGKILL)
            self.assertEqual(p.returncode, 2, err)
            self.assertIn("error      docs/changed.pdf  (worker died (signal 9))", out.decode().splitlines())
            _, lines = self.read_jsonl(jsonl)
            expected = [dict(line) for line in normal]
            expected[1] = {"path": "docs/changed.pdf", "status": "error", "error": "worker died (signal 9)"}
            self.assertEqual(lines, expected)

    def read_jsonl_of_run(self, options):
        d = self.scratch()
        jsonl = os.path.join(d, "out.jsonl")
        run("compare", "--dir", "--jsonl", jsonl, *options, self.old, self.new)
        return self.read_jsonl(jsonl)


if __name__ == "__main__":
    MORVEX, FIXTURES, SCRATCH = sys.argv[1:4]
    os.makedirs(SCRATCH, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"])
