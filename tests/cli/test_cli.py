"""The morvex command: exit status as for diff and cmp, messages, and the
JSON it prints (checked with Python's json module and with jq).

usage: test_cli.py MORVEX FIXTURE_DIR SCRATCH_DIR"""

import json
import os
import subprocess
import sys
import unittest

MORVEX = FIXTURES = SCRATCH = None


def run(*args, stdin=None, cwd=None):
    p = subprocess.run([MORVEX, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, input=stdin, cwd=cwd)
    return p.returncode, p.stdout.decode("utf-8"), p.stderr.decode("utf-8")


def fx(name):
    return os.path.join(FIXTURES, name)


class Reports(unittest.TestCase):
    def check_json(self, out):
        """The report is one line of JSON plus a line feed, valid for json and jq."""
        self.assertTrue(out.endswith("}\n"), out)
        self.assertEqual(out.count("\n"), 1)
        data = json.loads(out)
        jq = subprocess.run(["jq", "-c", "."], input=out.encode(), stdout=subprocess.PIPE)
        self.assertEqual(jq.returncode, 0)
        self.assertEqual(json.loads(jq.stdout), data)
        return data

    def test_identical_pair(self):
        for cmd in ("compare", "text"):
            code, out, err = run(cmd, fx("hello.pdf"), fx("hello-copy.pdf"))
            self.assertEqual((code, err), (0, ""))
            self.assertEqual(out, '{"identical":true,"pages_compared":1,"differences":[]}\n')

    def test_text_change(self):
        code, out, _ = run("compare", fx("hello.pdf"), fx("goodbye.pdf"))
        self.assertEqual(code, 1)
        self.assertEqual(out, '{"identical":false,"pages_compared":1,"differences":'
                              '[{"page":1,"type":"text_changed"}]}\n')
        code, out, _ = run("text", fx("hello.pdf"), fx("goodbye.pdf"))
        self.assertEqual(code, 1)
        self.assertEqual(self.check_json(out)["differences"],
                         [{"page": 1, "type": "text_changed", "diff": "- Hello World \n+ Goodbye World "}])

    def test_page_added_has_no_diff_member(self):
        code, out, _ = run("text", fx("hello.pdf"), fx("hello-2pages.pdf"))
        self.assertEqual(code, 1)
        self.assertEqual(self.check_json(out),
                         {"identical": False, "pages_compared": 2,
                          "differences": [{"page": 2, "type": "page_added"}]})
        code, out, _ = run("compare", fx("hello-2pages.pdf"), fx("hello.pdf"))
        self.assertEqual(self.check_json(out)["differences"], [{"page": 2, "type": "page_removed"}])

    def test_escaped_text_parses_back_exactly(self):
        code, out, _ = run("text", fx("escapes-a.pdf"), fx("escapes-b.pdf"))
        self.assertEqual(code, 1)
        diff = self.check_json(out)["differences"][0]["diff"]
        a = 'say "hi" \\ tab here \nnext \x01\x1b caf\u00e9 '
        b = 'say "bye" \\ tab here \nnext \x01\x1b caf\u00e9 '
        self.assertEqual(diff, "- " + a + "\n+ " + b)
        self.assertIn('\\u0001\\u001b', out)
        self.assertIn("caf\u00e9", out)

    def test_image_only_difference(self):
        code, out, _ = run("compare", fx("image-left.pdf"), fx("image-right.pdf"))
        self.assertEqual(code, 1)
        self.assertEqual([d["type"] for d in self.check_json(out)["differences"]],
                         ["image_changed", "content_changed"])
        code, out, _ = run("text", fx("image-left.pdf"), fx("image-right.pdf"))
        self.assertEqual((code, out), (0, '{"identical":true,"pages_compared":1,"differences":[]}\n'))

    def test_documents_without_pages(self):
        code, out, _ = run("compare", fx("no-pages.pdf"), fx("not-a-pdf.pdf"))
        self.assertEqual((code, out), (0, '{"identical":true,"pages_compared":0,"differences":[]}\n'))


class Failures(unittest.TestCase):
    def test_load_errors_give_status_2_and_the_message(self):
        cases = [
            (fx("missing.pdf"), "cannot open file: " + fx("missing.pdf")),
            (fx("encrypted.pdf"), "encrypted PDFs are not supported: " + fx("encrypted.pdf")),
        ]
        empty = os.path.join(SCRATCH, "cli-empty.pdf")
        open(empty, "wb").close()
        cases.append((empty, "empty file: " + empty))
        for path, message in cases:
            for cmd in ("compare", "text"):
                code, out, err = run(cmd, fx("hello.pdf"), path)
                self.assertEqual((code, out), (2, ""), path)
                self.assertEqual(err, "morvex: " + message + "\n")

    def test_usage_errors(self):
        for args in ([], ["compare"], ["compare", fx("hello.pdf")], ["frobnicate", "a", "b"],
                     ["compare", "--bogus", fx("hello.pdf"), fx("hello.pdf")],
                     ["text", fx("hello.pdf"), fx("hello.pdf"), fx("hello.pdf")]):
            code, out, err = run(*args)
            self.assertEqual(code, 2, args)
            self.assertEqual(out, "")
            self.assertTrue(err.startswith("morvex: "), err)
            self.assertIn("usage: morvex", err)

    def test_help_and_version(self):
        code, out, err = run("--help")
        self.assertEqual((code, err), (0, ""))
        self.assertIn("usage: morvex compare A.pdf B.pdf", out)
        code, out, _ = run("--version")
        self.assertEqual(code, 0)
        self.assertRegex(out, r"^morvex \d+\.\d+\.\d+\n$")

    def test_dash_dash_ends_options(self):
        dashed = os.path.join(SCRATCH, "-dashed.pdf")
        with open(fx("hello.pdf"), "rb") as src, open(dashed, "wb") as dst:
            dst.write(src.read())
        code, out, _ = run("compare", "--", fx("hello.pdf"), "-dashed.pdf", cwd=SCRATCH)
        self.assertEqual(code, 0, out)
        code, _, err = run("compare", fx("hello.pdf"), "-dashed.pdf", cwd=SCRATCH)
        self.assertEqual(code, 2, err)


if __name__ == "__main__":
    MORVEX, FIXTURES, SCRATCH = sys.argv[1:4]
    unittest.main(argv=[sys.argv[0], "-v"])
