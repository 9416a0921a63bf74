"""The morvex command: exit status as for diff and cmp, messages, the JSON
it prints (checked with Python's json module and with jq), the text format
and when it is coloured (on a pseudo-terminal, with NO_COLOR, on a pipe).

usage: test_cli.py MORVEX FIXTURE_DIR SCRATCH_DIR"""

import json
import os
import re
import pty
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import terminal  # noqa: E402

MORVEX = FIXTURES = SCRATCH = None


def clean_env(**extra):
    """The test's environment without NO_COLOR, plus `extra`."""
    env = {k: v for k, v in os.environ.items() if k != "NO_COLOR"}
    env.update(extra)
    return env


def run(*args, stdin=None, cwd=None, env=None):
    p = subprocess.run([MORVEX, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, input=stdin, cwd=cwd,
                       env=env or clean_env())
    return p.returncode, p.stdout.decode("utf-8"), p.stderr.decode("utf-8")


def run_on_pty(*args, env=None):
    """Runs morvex with standard output on a pseudo-terminal; returns the
    exit status and what the terminal received (line ends as "\n")."""
    master, slave = pty.openpty()
    p = subprocess.Popen([MORVEX, *args], stdout=slave, stderr=subprocess.DEVNULL, env=env or clean_env())
    os.close(slave)
    received = terminal.read_all(master)
    return p.wait(), received.decode("utf-8").replace("\r\n", "\n")


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
        # Pages are paired by content unless --pairing=position says otherwise.
        self.assertEqual(out, '{"identical":false,"pages_compared":1,"differences":'
                              '[{"page":1,"type":"text_changed","page_a":1,"page_b":1}]}\n')
        code, out, _ = run("compare", "--pairing=position", fx("hello.pdf"), fx("goodbye.pdf"))
        self.assertEqual(out, '{"identical":false,"pages_compared":1,"differences":'
                              '[{"page":1,"type":"text_changed"}]}\n')
        code, out, _ = run("text", fx("hello.pdf"), fx("goodbye.pdf"))
        self.assertEqual(code, 1)
        self.assertEqual(self.check_json(out)["differences"],
                         [{"page": 1, "type": "text_changed", "page_a": 1, "page_b": 1,
                           "diff": "- Hello World \n+ Goodbye World "}])

    def test_page_added_has_no_diff_member(self):
        code, out, _ = run("text", fx("hello.pdf"), fx("hello-2pages.pdf"))
        self.assertEqual(code, 1)
        self.assertEqual(self.check_json(out),
                         {"identical": False, "pages_compared": 2,
                          "differences": [{"page": 2, "type": "page_added", "page_a": None, "page_b": 2}]})
        code, out, _ = run("compare", fx("hello-2pages.pdf"), fx("hello.pdf"))
        self.assertEqual(self.check_json(out)["differences"],
                         [{"page": 2, "type": "page_removed", "page_a": 2, "page_b": None}])

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
        # The moved image is the one change: nothing else is painted otherwise.
        self.assertEqual([d["type"] for d in self.check_json(out)["differences"]], ["image_changed"])
        code, out, _ = run("text", fx("image-left.pdf"), fx("image-right.pdf"))
        self.assertEqual((code, out), (0, '{"identical":true,"pages_compared":1,"differences":[]}\n'))

    def test_documents_without_pages(self):
        """Two unreadable files are trouble, not identical: A is checked first."""
        for a, b, bad in (("no-pages", "not-a-pdf", "no-pages"), ("hello", "not-a-pdf", "not-a-pdf"),
                          ("no-pages", "hello", "no-pages")):
            code, out, err = run("compare", fx(a + ".pdf"), fx(b + ".pdf"))
            self.assertEqual((code, out, err), (2, "", "morvex: no pages found: " + fx(bad + ".pdf") + "\n"))


class TextFormat(unittest.TestCase):
    def test_each_fixture_pair(self):
        """Exact lines and exit status of --format=text for compare and text."""
        cases = [
            ("compare", "hello", "goodbye", 1,
             ["page 1: text changed", "    [-Hello-]{+Goodbye+} World ...", "1 difference on 1 of 1 page"]),
            ("text", "hello", "goodbye", 1,
             ["page 1: text changed", "    [-Hello-]{+Goodbye+} World ...", "1 difference on 1 of 1 page"]),
            ("text", "hello", "hello-2pages", 1, ["page 2: page added", "1 difference on 1 of 2 pages"]),
            ("compare", "hello-2pages", "hello", 1, ["page 2: page removed", "1 difference on 1 of 2 pages"]),
            ("compare", "image-left", "image-right", 1,
             ["page 1: image changed", "1 difference on 1 of 1 page"]),
            ("text", "image-left", "image-right", 0, ["identical (1 page)"]),
            ("compare", "hello", "hello-copy", 0, ["identical (1 page)"]),
            # Each change as words in context; control bytes show as
            # escapes and the UTF-8 e-acute stays.
            ("text", "escapes-a", "escapes-b", 1,
             ["page 1: text changed",
              '    ... say [-"hi"-]{+"bye"+} \\ tab here next \\x01\\x1b ...',
              "1 difference on 1 of 1 page"]),
        ]
        for cmd, a, b, status, lines in cases:
            for fmt in (["--format=text"], ["--format", "text"]):
                code, out, err = run(cmd, *fmt, fx(a + ".pdf"), fx(b + ".pdf"))
                self.assertEqual((code, err), (status, ""), (cmd, a, b))
                self.assertEqual(out, "\n".join(lines) + "\n", (cmd, a, b))
            code, out, _ = run(cmd, "--format=summary", fx(a + ".pdf"), fx(b + ".pdf"))
            self.assertEqual((code, out), (status, lines[-1] + "\n"))

    def test_json_stays_the_default_and_errors_are_unchanged(self):
        code, out, _ = run("compare", "--format=json", fx("hello.pdf"), fx("goodbye.pdf"))
        self.assertEqual((code, out), run("compare", fx("hello.pdf"), fx("goodbye.pdf"))[:2])
        code, out, err = run("text", "--format=text", fx("hello.pdf"), fx("encrypted.pdf"))
        self.assertEqual((code, out), (2, ""))
        self.assertEqual(err, "morvex: encrypted PDFs are not supported: " + fx("encrypted.pdf") + "\n")


RED, GREEN, BOLD, RESET = "\033[31m", "\033[32m", "\033[1m", "\033[0m"
COLOURED = (BOLD + "page 1:" + RESET + " text changed\n"
            "    " + RED + "[-Hello-]" + RESET + GREEN + "{+Goodbye+}" + RESET + " World ...\n"
            "1 difference on 1 of 1 page\n")
PLAIN = "page 1: text changed\n    [-Hello-]{+Goodbye+} World ...\n1 difference on 1 of 1 page\n"


class Colour(unittest.TestCase):
    def text_pair(self, *options, on_pty=False, env=None):
        args = ["text", "--format=text", *options, fx("hello.pdf"), fx("goodbye.pdf")]
        if on_pty:
            return run_on_pty(*args, env=env)
        code, out, _ = run(*args, env=env)
        return code, out

    def test_auto_colours_a_terminal_only(self):
        self.assertEqual(self.text_pair(on_pty=True), (1, COLOURED))
        self.assertEqual(self.text_pair(), (1, PLAIN))
        self.assertEqual(self.text_pair("--color=auto", on_pty=True), (1, COLOURED))

    def test_no_color_set_to_any_value_wins_over_auto(self):
        for value in ("1", "0", "no", ""):
            self.assertEqual(self.text_pair(on_pty=True, env=clean_env(NO_COLOR=value)), (1, PLAIN), value)

    def test_the_option_wins_over_terminal_and_environment(self):
        self.assertEqual(self.text_pair("--color=always"), (1, COLOURED))
        self.assertEqual(self.text_pair("--color"), (1, COLOURED))
        self.assertEqual(self.text_pair("--color=always", env=clean_env(NO_COLOR="1")), (1, COLOURED))
        self.assertEqual(self.text_pair("--color=never", on_pty=True), (1, PLAIN))

    def test_added_and_removed_kinds(self):
        code, out, _ = run("compare", "--format=text", "--color=always", fx("hello.pdf"), fx("hello-2pages.pdf"))
        self.assertEqual(out.splitlines()[0], BOLD + "page 2:" + RESET + " " + GREEN + "page added" + RESET)
        code, out, _ = run("compare", "--format=text", "--color=always", fx("hello-2pages.pdf"), fx("hello.pdf"))
        self.assertEqual(out.splitlines()[0], BOLD + "page 2:" + RESET + " " + RED + "page removed" + RESET)

    def test_json_is_never_coloured(self):
        code, out = run_on_pty("text", "--color=always", fx("hello.pdf"), fx("goodbye.pdf"))
        self.assertEqual(code, 1)
        self.assertNotIn("\033", out)
        self.assertEqual(json.loads(out)["differences"][0]["type"], "text_changed")


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
                     ["text", fx("hello.pdf"), fx("hello.pdf"), fx("hello.pdf")],
                     ["compare", "--format=yaml", fx("hello.pdf"), fx("hello.pdf")],
                     ["compare", "--format", fx("hello.pdf"), fx("hello.pdf")],
                     ["compare", "--color=sometimes", fx("hello.pdf"), fx("hello.pdf")],
                     ["compare", "-j", "2", fx("hello.pdf"), fx("hello.pdf")],
                     ["text", "--jsonl", "out.jsonl", fx("hello.pdf"), fx("hello.pdf")],
                     ["visual", "--format=text", fx("hello.pdf"), fx("hello.pdf"), "-o", "r.pdf"],
                     ["compare", "--dir", FIXTURES],
                     ["compare", "--dir", "-j", "0", FIXTURES, FIXTURES],
                     ["compare", "--dir", "-j", "two", FIXTURES, FIXTURES],
                     ["compare", "--dir", "--jsonl", FIXTURES, FIXTURES],
                     ["compare", "--dir", "-o", "r.pdf", FIXTURES, FIXTURES]):
            code, out, err = run(*args)
            self.assertEqual(code, 2, args)
            self.assertEqual(out, "")
            self.assertTrue(err.startswith("morvex: "), err)
            self.assertIn("usage: morvex", err)

    def test_visual_layouts(self):
        """--layout picks the report; the overlay stays the plain report,
        byte for byte; --changed-only leaves identical pairs out."""
        def report(*args):
            out = os.path.join(SCRATCH, "layout.pdf")
            if os.path.exists(out):
                os.unlink(out)
            code, stdout, err = run("visual", *args, "-o", out)
            self.assertEqual((stdout, err), ("", ""), args)
            with open(out, "rb") as f:
                return code, f.read()
        pair = [fx("hello-2pages.pdf"), fx("hello.pdf")]
        plain = report(*pair)
        self.assertEqual(report("--layout=overlay", *pair), plain)
        self.assertEqual(report("--layout", "overlay", *pair), plain)
        pages = lambda pdf: int(re.search(rb"/Type /Pages /Kids \[[^\]]*\] /Count (\d+)", pdf).group(1))
        code, full = report("--layout=side-by-side", *pair)
        self.assertEqual((code, pages(full)), (1, 3))  # summary, the identical pair, the removed page
        self.assertIn(b"(not in B)", full)
        code, short = report("--layout=side-by-side", "--changed-only", *pair)
        self.assertEqual((code, pages(short)), (1, 2))
        code, same = report("--changed-only", "--layout=side-by-side", fx("hello.pdf"), fx("hello-copy.pdf"))
        self.assertEqual((code, pages(same)), (0, 1))
        for args, message in ((["--layout=sidebyside"], "--layout takes overlay or side-by-side, not sidebyside"),):
            code, out, err = run("visual", *args, *pair, "-o", os.path.join(SCRATCH, "never.pdf"))
            self.assertEqual((code, out), (2, ""), args)
            self.assertTrue(err.startswith("morvex: %s\nusage: morvex" % message), err)
        code, _, err = run("compare", "--layout=side-by-side", *pair)
        self.assertEqual(code, 2)
        self.assertTrue(err.startswith("morvex: --layout and --changed-only are options of visual, --reports and --html\n"), err)
        self.assertFalse(os.path.exists(os.path.join(SCRATCH, "never.pdf")))

    def test_help_and_version(self):
        code, out, err = run("--help")
        self.assertEqual((code, err), (0, ""))
        self.assertIn("usage: morvex compare|text [--format=json|text|summary]", out)
        for documented in ("--format=FORMAT", "--color[=WHEN]", "NO_COLOR", "--dir OLD NEW", "-j, --jobs N",
                           "--jsonl FILE", "--reports DIR", "only-old", "only_new", "visual_report",
                           "--layout=LAYOUT", "--changed-only"):
            self.assertIn(documented, out)
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


def write_page_pdf(path, content, pixels=b"\xff\x00\x00" * 4):
    """A one-page PDF (300 x 200) painting `content` with Helvetica as /F1
    and a 2x2 RGB image of `pixels` as /Im1."""
    objs = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R"
        b" /Resources << /Font << /F1 5 0 R >> /XObject << /Im1 6 0 R >> >> >>",
        b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        b"<< /Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceRGB /BitsPerComponent 8"
        b" /Length %d >>\nstream\n" % len(pixels) + pixels + b"\nendstream",
    ]
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for n, body in enumerate(objs, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % n + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    for o in offsets:
        out += b"%010d 00000 n \n" % o
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
    with open(path, "wb") as f:
        f.write(out)


class PaintedKinds(unittest.TestCase):
    """Changes among painted elements: how the text format names them, and
    --ignore-kinds leaving each kind out and only that kind."""

    @classmethod
    def setUpClass(cls):
        def content(colour=b"0 g", line_y=100):
            return (colour + b" BT /F1 12 Tf 20 150 Td (Total amount due) Tj ET 0 0 1 RG 2 w 20 %d m 200 %d l S"
                    b" q 40 0 0 40 200 20 cm /Im1 Do Q") % (line_y, line_y)
        cls.files = {}
        for name, body, pixels in (("base", content(), None), ("style", content(colour=b"1 0 0 rg"), None),
                                   ("drawing", content(line_y=90), None),
                                   ("image", content(), b"\x00\x00\xff" * 4)):
            cls.files[name] = os.path.join(SCRATCH, "kinds-%s.pdf" % name)
            write_page_pdf(cls.files[name], body, *([pixels] if pixels else []))

    def test_text_lines_name_each_kind(self):
        base = self.files["base"]
        for kind, first in (("style", 'page 1: style changed: "Total amount due" colour #000000 -> #ff0000'),
                            ("drawing", "page 1: drawing changed"),
                            ("image", "page 1: image changed: 2x2 -> 2x2 (pixels)")):
            with self.subTest(kind=kind):
                code, out, err = run("compare", "--format=text", base, self.files[kind])
                self.assertEqual((code, err), (1, ""))
                self.assertEqual(out.splitlines()[0], first)
                self.assertEqual(out.splitlines()[-1], "1 difference on 1 of 1 page")

    def test_each_kind_left_out_alone(self):
        base = self.files["base"]
        for changed in ("style", "drawing", "image"):
            for left_out in ("style", "drawing", "image", "style,drawing,image"):
                with self.subTest(changed=changed, left_out=left_out):
                    code, out, err = run("compare", "--ignore-kinds", left_out, base, self.files[changed])
                    quiet = changed in left_out.split(",")
                    self.assertEqual((code, err), (0 if quiet else 1, ""))
                    self.assertEqual(json.loads(out)["identical"], quiet)
        # The text command and the equals form take it too.
        code, out, _ = run("text", "--format=text", "--ignore-kinds=style", base, self.files["style"])
        self.assertEqual((code, out), (0, "identical (1 page)\n"))

    def test_bad_kinds_are_named(self):
        base = self.files["base"]
        message = 'morvex: options: "ignore_kinds" must be a list of "style", "drawing" and "image", not '
        for value, shown in (("colour", '"colour"'), ("style,", '""'), ("", '""'), ("Style", '"Style"')):
            with self.subTest(value=value):
                code, out, err = run("compare", "--ignore-kinds=" + value, base, base)
                self.assertEqual((code, out), (2, ""))
                self.assertEqual(err.splitlines(), [message + shown])
        code, out, err = run("compare", base, base, "--ignore-kinds")
        self.assertEqual((code, out, err.splitlines()[0]), (2, "", "morvex: --ignore-kinds needs a value"))
        self.assertIn("usage: morvex", err)


class Options(unittest.TestCase):
    """The comparison options: what each does, and every bad value's message."""

    def test_bad_values_are_named(self):
        h = fx("hello.pdf")
        cases = [
            (["--pairing=pages"], "usage", "--pairing takes content or position, not pages"),
            (["--layout=side-by-side"], "usage", "--layout and --changed-only are options of visual, --reports and --html"),
            (["--changed-only"], "usage", "--layout and --changed-only are options of visual, --reports and --html"),
            (["--threads", "0"], "usage", "--threads takes a number from 1 to 256, not 0"),
            (["--threads=x"], "usage", "--threads takes a number from 1 to 256, not x"),
            (["--ignore-rect", "1,2,3"], "usage", "--ignore-rect takes x0,y0,x1,y1[@PAGES] in points, not 1,2,3"),
            (["--ignore-rect", "1,2,3,nan"], "usage",
             "--ignore-rect takes x0,y0,x1,y1[@PAGES] in points, not 1,2,3,nan"),
            (["--password-env", "MORVEX_TEST_UNSET"], "usage",
             "the environment variable MORVEX_TEST_UNSET of the password is not set"),
            (["--password-fd", "x"], "usage", "a password file descriptor is a number, not x"),
            (["--password-fd", "999"], "usage",
             "cannot read a password from file descriptor 999: Bad file descriptor"),
            (["--pages", "3-1"], "library",
             'options: "pages_a" must be page ranges such as "1-3,7,10-", not "3-1"'),
            (["--pages", "1:x"], "library",
             'options: "pages_b" must be page ranges such as "1-3,7,10-", not "x"'),
            (["--ignore-rect", "0,0,1,1@0"], "library",
             'options: "ignore_regions"[0].pages must be page ranges such as "1-3,7,10-", not "0"'),
            (["--ignore-text", "(ab"], "library",
             'options: "ignore_text"[0]: pattern "(ab" does not compile: unbalanced parenthesis at offset 3'),
        ]
        for args, kind, message in cases:
            with self.subTest(args=args):
                code, out, err = run("compare", *args, h, h)
                self.assertEqual((code, out), (2, ""))
                self.assertEqual(err.splitlines()[0], "morvex: " + message)
                self.assertEqual("usage: morvex" in err, kind == "usage")
        code, _, err = run("compare", h, h, "--ignore-rect")
        self.assertEqual((code, err.splitlines()[0]), (2, "morvex: --ignore-rect needs a value"))
        code, _, err = run("visual", "--layout=sideways", h, h, "-o", os.path.join(SCRATCH, "r.pdf"))
        self.assertEqual((code, err.splitlines()[0]), (2, "morvex: --layout takes overlay or side-by-side, not sideways"))
        code, _, err = run("visual", "--detail", h, h, "-o", os.path.join(SCRATCH, "r.pdf"))
        self.assertEqual((code, err.splitlines()[0]), (2, "morvex: --detail is an option of compare and text"))

    def test_options_reach_the_library(self):
        a, b = fx("hello.pdf"), fx("goodbye.pdf")
        same = '{"identical":true,"pages_compared":1,"differences":[]}\n'
        self.assertEqual(run("compare", "--ignore-text", "Hello|Goodbye", a, b)[:2], (0, same))
        self.assertEqual(run("compare", "--ignore-rect=0,0,612,792", a, b)[:2], (0, same))
        self.assertEqual(run("compare", "--ignore-rect=0,0,612,792@2-", a, b)[0], 1)
        code, out, _ = run("compare", "--pages", "2", fx("hello-2pages.pdf"), "--pages", "1", a)
        self.assertEqual((code, out), (0, same))  # the last --pages wins: page 1 of each
        code, out, _ = run("compare", "--pages", "1-1:1-", fx("hello-2pages.pdf"), a)
        self.assertEqual((code, out), (0, same))
        import jsonschema
        with open(os.path.join(os.path.dirname(__file__), "..", "..", "docs", "detail-report.schema.json")) as f:
            schema = json.load(f)
        for pair in ((a, b), (fx("hello.pdf"), fx("hello-2pages.pdf")), (fx("image-left.pdf"), fx("image-right.pdf")),
                     (fx("escapes-a.pdf"), fx("escapes-b.pdf")), (a, a)):
            for pairing in ("--pairing=content", "--pairing=position"):
                code, out, _ = run("compare", "--detail", pairing, *pair)
                jsonschema.validate(json.loads(out), schema)
        code, out, _ = run("compare", "--detail", a, b)
        self.assertEqual(json.loads(out)["differences"][0]["changes"][0]["new"], "Goodbye")
        # A password read from a descriptor or the environment is taken (the
        # file is not encrypted, so it is simply not needed).
        r, w = os.pipe()
        os.write(w, b"secret\n")
        os.close(w)
        p = subprocess.run([MORVEX, "compare", "--password-fd", str(r), a, a], pass_fds=(r,),
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        os.close(r)
        self.assertEqual((p.returncode, p.stderr), (0, b""))
        code, _, err = run("compare", "--password-env", "MORVEX_PW", a, a, env=clean_env(MORVEX_PW="x"))
        self.assertEqual((code, err), (0, ""))

    def test_help_names_every_option(self):
        _, out, _ = run("--help")
        for option in ("--pairing=WAY", "--pages A[:B]", "--ignore-rect x0,y0,x1,y1[@PAGES]", "--ignore-text REGEX",
                       "--detail", "--password-fd N", "--password-env VAR", "process list", "--threads N",
                       "--layout=LAYOUT", "--changed-only"):
            self.assertIn(option, out)

    def test_no_pages_found_in_batch_mode(self):
        old, new = os.path.join(SCRATCH, "np-old"), os.path.join(SCRATCH, "np-new")
        for d, name in ((old, "hello.pdf"), (new, "no-pages.pdf")):
            os.makedirs(d, exist_ok=True)
            with open(fx(name), "rb") as src, open(os.path.join(d, "x.pdf"), "wb") as dst:
                dst.write(src.read())
        code, out, _ = run("compare", "--dir", old, new)
        self.assertEqual(code, 2)
        self.assertIn("error      x.pdf  (no pages found: %s/x.pdf)" % new, out)


if __name__ == "__main__":
    MORVEX, FIXTURES, SCRATCH = sys.argv[1:4]
    unittest.main(argv=[sys.argv[0], "-v"])
