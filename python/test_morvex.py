"""Tests of the Python binding (the package morvex/), with the standard library's unittest.

Environment:
  MORVEX_LIBRARY          the shared library to test
  MORVEX_FIXTURES         the folder tests/tools/make_fixtures.cpp wrote
  MORVEX_TEST_TMP         a scratch folder
  MORVEX_TEST_INSTALLED   when set, the installed package is tested (the one
                          `import morvex` finds), not the one beside this file
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from unittest import mock

HERE = os.path.dirname(os.path.abspath(__file__))
INSTALLED = bool(os.environ.get("MORVEX_TEST_INSTALLED"))
if INSTALLED:
    # Not the copy beside this file, which `python3 test_morvex.py` puts first.
    sys.path = [p for p in sys.path if os.path.abspath(p or os.curdir) != HERE]
else:
    sys.path.insert(0, HERE)
import morvex  # noqa: E402

PACKAGE = os.path.dirname(os.path.abspath(morvex.__file__))

FIXTURES = os.environ.get("MORVEX_FIXTURES", "")
SCRATCH = os.environ.get("MORVEX_TEST_TMP") or tempfile.gettempdir()


def fx(name: str) -> str:
    return os.path.join(FIXTURES, name)


def scratch_dir(test: unittest.TestCase) -> str:
    os.makedirs(SCRATCH, exist_ok=True)
    path = tempfile.mkdtemp(prefix="python-", dir=SCRATCH)
    test.addCleanup(shutil.rmtree, path, True)
    return path


SAME_1 = {"identical": True, "pages_compared": 1, "differences": []}
TEXT_CHANGED = {"identical": False, "pages_compared": 1,
                "differences": [{"page": 1, "type": "text_changed"}]}


class Reports(unittest.TestCase):
    def test_identical_pair(self):
        self.assertEqual(morvex.compare(fx("hello.pdf"), fx("hello-copy.pdf")), SAME_1)
        self.assertEqual(morvex.text(fx("hello.pdf"), fx("hello-copy.pdf")), SAME_1)

    def test_different_pairs(self):
        self.assertEqual(morvex.compare(fx("hello.pdf"), fx("goodbye.pdf")), TEXT_CHANGED)
        self.assertEqual(morvex.text(fx("hello.pdf"), fx("goodbye.pdf")),
                         {"identical": False, "pages_compared": 1,
                          "differences": [{"page": 1, "type": "text_changed",
                                           "diff": "- Hello World \n+ Goodbye World "}]})
        added = {"identical": False, "pages_compared": 2,
                 "differences": [{"page": 2, "type": "page_added"}]}
        self.assertEqual(morvex.compare(fx("hello.pdf"), fx("hello-2pages.pdf")), added)
        self.assertEqual(morvex.text(fx("hello.pdf"), fx("hello-2pages.pdf")), added)
        self.assertEqual(morvex.compare(fx("hello-2pages.pdf"), fx("hello.pdf")),
                         {"identical": False, "pages_compared": 2,
                          "differences": [{"page": 2, "type": "page_removed"}]})

    def test_image_only_difference_is_identical_text(self):
        self.assertEqual(morvex.compare(fx("image-left.pdf"), fx("image-right.pdf")),
                         {"identical": False, "pages_compared": 1,
                          "differences": [{"page": 1, "type": "image_changed"},
                                          {"page": 1, "type": "content_changed"}]})
        self.assertEqual(morvex.text(fx("image-left.pdf"), fx("image-right.pdf")), SAME_1)

    def test_documents_without_pages(self):
        self.assertEqual(morvex.compare(fx("no-pages.pdf"), fx("not-a-pdf.pdf")),
                         {"identical": True, "pages_compared": 0, "differences": []})

    def test_text_with_quotes_control_bytes_and_accents_round_trips(self):
        report = morvex.text(fx("escapes-a.pdf"), fx("escapes-b.pdf"))
        a = 'say "hi" \\ tab here \nnext \x01\x1b caf\u00e9 '
        b = 'say "bye" \\ tab here \nnext \x01\x1b caf\u00e9 '
        self.assertEqual(report, {"identical": False, "pages_compared": 1,
                                  "differences": [{"page": 1, "type": "text_changed",
                                                   "diff": "- " + a + "\n+ " + b}]})

    def test_each_call_returns_its_own_report(self):
        """A report stays intact after later calls reuse the library's buffer."""
        first = morvex.text(fx("hello.pdf"), fx("goodbye.pdf"))
        morvex.compare(fx("hello.pdf"), fx("hello-copy.pdf"))
        with self.assertRaises(morvex.Error):
            morvex.compare(fx("hello.pdf"), fx("missing.pdf"))
        self.assertEqual(first["differences"][0]["diff"], "- Hello World \n+ Goodbye World ")


class Paths(unittest.TestCase):
    def test_str_bytes_and_pathlike_arguments(self):
        hello, copy = fx("hello.pdf"), fx("hello-copy.pdf")
        for a, b in ((hello, copy), (os.fsencode(hello), os.fsencode(copy)),
                     (pathlib.Path(hello), pathlib.PurePosixPath(copy)),
                     (pathlib.Path(hello), os.fsencode(copy))):
            with self.subTest(a=a, b=b):
                self.assertEqual(morvex.compare(a, b), SAME_1)
                self.assertEqual(morvex.text(b, a), SAME_1)
        out = scratch_dir(self)
        for target in (os.path.join(out, "str.pdf"), os.fsencode(os.path.join(out, "bytes.pdf")),
                       pathlib.Path(out, "path.pdf")):
            self.assertIsNone(morvex.visual(pathlib.Path(hello), os.fsencode(copy), target))
            with open(target, "rb") as f:
                self.assertTrue(f.read().startswith(b"%PDF-1.4"))

    def test_non_ascii_names(self):
        folder = scratch_dir(self)
        accented = os.path.join(folder, "h\u00e9llo.pdf")
        shutil.copyfile(fx("hello.pdf"), accented)
        self.assertEqual(morvex.compare(accented, fx("hello-copy.pdf")), SAME_1)
        raw = os.path.join(os.fsencode(folder), b"\xff.pdf")
        shutil.copyfile(fx("goodbye.pdf"), raw)
        self.assertEqual(morvex.compare(fx("hello.pdf"), raw), TEXT_CHANGED)
        # A path in a message reads back as the str that was passed.
        missing = os.path.join(folder, "caf\u00e9-\udcff.pdf")
        with self.assertRaises(morvex.Error) as cm:
            morvex.compare(fx("hello.pdf"), missing)
        self.assertEqual(str(cm.exception), "cannot open file: " + missing)

    def test_other_types_are_rejected(self):
        class BadPath:
            def __fspath__(self):
                return 42

        for bad in (None, 3, 1.5, bytearray(b"hello.pdf"), ["hello.pdf"], BadPath()):
            with self.subTest(bad=bad):
                with self.assertRaises(TypeError):
                    morvex.compare(bad, fx("hello.pdf"))
                with self.assertRaises(TypeError):
                    morvex.text(fx("hello.pdf"), bad)
                with self.assertRaises(TypeError):
                    morvex.visual(fx("hello.pdf"), fx("hello.pdf"), bad)

    def test_embedded_null_byte_is_rejected(self):
        # Passed on, the path would be cut at the null byte and name another file.
        for bad in (fx("hello.pdf") + "\0.txt", os.fsencode(fx("hello.pdf")) + b"\0"):
            with self.subTest(bad=bad):
                with self.assertRaises(ValueError):
                    morvex.compare(bad, fx("hello.pdf"))
                with self.assertRaises(ValueError):
                    morvex.visual(fx("hello.pdf"), fx("hello.pdf"), bad)


class Failures(unittest.TestCase):
    def test_load_errors_raise_the_library_message(self):
        empty = os.path.join(scratch_dir(self), "empty.pdf")
        open(empty, "wb").close()
        cases = [(fx("missing.pdf"), "cannot open file: " + fx("missing.pdf")),
                 (fx("encrypted.pdf"), "encrypted PDFs are not supported: " + fx("encrypted.pdf")),
                 (empty, "empty file: " + empty)]
        out = os.path.join(scratch_dir(self), "out.pdf")
        for path, message in cases:
            for call in (lambda: morvex.compare(fx("hello.pdf"), path),
                         lambda: morvex.text(path, fx("hello.pdf")),
                         lambda: morvex.visual(fx("hello.pdf"), path, out)):
                with self.subTest(path=path), self.assertRaises(morvex.Error) as cm:
                    call()
                self.assertEqual(str(cm.exception), message)
                self.assertEqual(cm.exception.args, (message,))
        self.assertFalse(os.path.exists(out))
        self.assertTrue(issubclass(morvex.Error, RuntimeError))

    def test_visual_failures(self):
        folder = scratch_dir(self)
        no_dir = os.path.join(folder, "no-such-dir", "out.pdf")
        cases = [((fx("hello.pdf"), fx("goodbye.pdf"), no_dir),
                  "cannot open output file " + no_dir + ": No such file or directory"),
                 ((fx("hello.pdf"), fx("goodbye.pdf"), folder),
                  "cannot open output file " + folder + ": Is a directory"),
                 ((fx("no-pages.pdf"), fx("no-pages.pdf"), os.path.join(folder, "none.pdf")),
                  "no pages to compare")]
        for args, message in cases:
            with self.subTest(args=args), self.assertRaises(morvex.Error) as cm:
                morvex.visual(*args)
            self.assertEqual(str(cm.exception), message)
        self.assertEqual(os.listdir(folder), [])

    def test_visual_writes_a_pdf_and_returns_none(self):
        out = os.path.join(scratch_dir(self), "report.pdf")
        self.assertIsNone(morvex.visual(fx("hello.pdf"), fx("hello-2pages.pdf"), out))
        with open(out, "rb") as f:
            data = f.read()
        self.assertTrue(data.startswith(b"%PDF-1.4"))
        self.assertTrue(data.rstrip().endswith(b"%%EOF"))
        # Identical documents give a report too.
        self.assertIsNone(morvex.visual(fx("hello.pdf"), fx("hello-copy.pdf"), out))


class Version(unittest.TestCase):
    def test_version_matches_the_header(self):
        with open(os.path.join(HERE, os.pardir, "include", "morvex.h"), encoding="utf-8") as f:
            found = re.search(r'#define MORVEX_VERSION_STRING "([^"]+)"', f.read())
        self.assertIsNotNone(found)
        self.assertEqual(morvex.__version__, found.group(1))


class Installed(unittest.TestCase):
    def test_the_package_tested_is_the_one_meant(self):
        if INSTALLED:
            # The installed copy, with the library and version it was built with.
            self.assertFalse(PACKAGE.startswith(HERE + os.sep), PACKAGE)
            self.assertNotIn("MORVEX_LIBRARY", os.environ)
            self.assertEqual(os.path.dirname(morvex.library_path), PACKAGE)
            self.assertTrue(os.path.isfile(os.path.join(PACKAGE, "_version.py")))
            self.assertTrue(os.path.isfile(os.path.join(PACKAGE, "py.typed")))
        else:
            self.assertEqual(PACKAGE, os.path.join(HERE, "morvex"))
            if os.environ.get("MORVEX_LIBRARY"):
                self.assertEqual(morvex.library_path, os.environ["MORVEX_LIBRARY"])


class OptionsJson(unittest.TestCase):
    """What each call passes to the library, with stand-ins for its functions."""

    def record(self):
        calls = []
        report = b'{"identical":true,"pages_compared":1,"differences":[]}'
        fakes = {"morvex_compare": lambda a, b: calls.append(("morvex_compare", None)) or report,
                 "morvex_text": lambda a, b: calls.append(("morvex_text", None)) or report,
                 "morvex_visual": lambda a, b, out: calls.append(("morvex_visual", None)) or 1,
                 "morvex_compare_opts": lambda a, b, o: calls.append(("morvex_compare_opts", o)) or report,
                 "morvex_visual_opts": lambda a, b, out, o: calls.append(("morvex_visual_opts", o)) or 1}
        for name, fake in fakes.items():
            patch = mock.patch.object(morvex._lib, name, fake, create=True)
            patch.start()
            self.addCleanup(patch.stop)
        patch = mock.patch.object(morvex, "_HAS_OPTIONS", True)
        patch.start()
        self.addCleanup(patch.stop)
        return calls

    def test_options_become_the_json_object(self):
        cases = [
            (lambda: morvex.compare("a", "b"), "morvex_compare", None),
            (lambda: morvex.compare("a", "b", pairing=None, pages_a=None), "morvex_compare", None),
            (lambda: morvex.text("a", "b"), "morvex_text", None),
            (lambda: morvex.visual("a", "b", "o"), "morvex_visual", None),
            (lambda: morvex.compare("a", "b", pairing="content", ignore_regions=[{"rect": (0, 0, 10.5, 10)}]),
             "morvex_compare_opts", b'{"pairing":"content","ignore_regions":[{"rect":[0,0,10.5,10]}]}'),
            (lambda: morvex.text("a", "b", pages_a="1-3,7", changed_only=True),
             "morvex_compare_opts", b'{"report":"text","pages_a":"1-3,7","changed_only":true}'),
            (lambda: morvex.detail("a", "b"), "morvex_compare_opts", b'{"report":"detail"}'),
            (lambda: morvex.detail("a", "b", threads=2, pairing=None),
             "morvex_compare_opts", b'{"report":"detail","threads":2}'),
            (lambda: morvex.visual("a", "b", "o", ignore_text=["\\d{4}", "caf\u00e9"]),
             "morvex_visual_opts", '{"ignore_text":["\\\\d{4}","caf\u00e9"]}'.encode("utf-8")),
            (lambda: morvex.compare("a", "b", password="p\u00e4ss \"x\""),
             "morvex_compare_opts", '{"password":"p\u00e4ss \\"x\\""}'.encode("utf-8")),
        ]
        for call, function, options in cases:
            calls = self.record()
            with self.subTest(function=function, options=options):
                call()
                self.assertEqual(calls, [(function, options)])

    def test_options_that_are_not_json_are_refused_before_any_call(self):
        calls = self.record()
        for call, error, words in [
                (lambda: morvex.compare("a", "b", report="text"), TypeError, "report kind"),
                (lambda: morvex.visual("a", "b", "o", report="detail"), TypeError, "report kind"),
                (lambda: morvex.compare("a", "b", ignore_regions={(1, 2)}), TypeError, "option ignore_regions"),
                (lambda: morvex.text("a", "b", pages_a=b"1-3"), TypeError, "option pages_a"),
                (lambda: morvex.detail("a", "b", ignore_regions=[{"rect": [0, 0, float("nan"), 1]}]),
                 ValueError, "option ignore_regions")]:
            with self.subTest(words=words), self.assertRaises(error) as cm:
                call()
            self.assertIn(words, str(cm.exception))
        self.assertEqual(calls, [])

    def test_a_library_without_options_serves_plain_calls_only(self):
        calls = self.record()
        with mock.patch.object(morvex, "_HAS_OPTIONS", False):
            self.assertTrue(morvex.compare("a", "b")["identical"])
            for call in (lambda: morvex.compare("a", "b", pairing="content"),
                         lambda: morvex.detail("a", "b"),
                         lambda: morvex.visual("a", "b", "o", pages_a="1")):
                with self.assertRaises(morvex.Error) as cm:
                    call()
                self.assertIn("options need a morvex library with morvex_", str(cm.exception))
        self.assertEqual(calls, [("morvex_compare", None)])


class Options(unittest.TestCase):
    """Options through the library's options functions."""

    def test_default_options_give_the_plain_reports(self):
        for a, b in (("hello.pdf", "goodbye.pdf"), ("hello.pdf", "hello-2pages.pdf"), ("escapes-a.pdf", "escapes-b.pdf")):
            with self.subTest(a=a, b=b):
                self.assertEqual(morvex.compare(fx(a), fx(b), pairing="position"), morvex.compare(fx(a), fx(b)))
                self.assertEqual(morvex.text(fx(a), fx(b), pairing="position"), morvex.text(fx(a), fx(b)))
        folder = scratch_dir(self)
        plain, opts = os.path.join(folder, "plain.pdf"), os.path.join(folder, "opts.pdf")
        morvex.visual(fx("hello.pdf"), fx("goodbye.pdf"), plain)
        self.assertIsNone(morvex.visual(fx("hello.pdf"), fx("goodbye.pdf"), opts, pairing="position"))
        with open(plain, "rb") as f, open(opts, "rb") as g:
            self.assertEqual(f.read(), g.read())
        self.assertEqual(morvex.detail(fx("hello.pdf"), fx("hello-copy.pdf"))["identical"], True)

    def test_the_library_checks_every_option(self):
        out = os.path.join(scratch_dir(self), "out.pdf")
        for call, message in [
                (lambda: morvex.compare(fx("hello.pdf"), fx("hello.pdf"), pairng="content"),
                 'options: unknown key "pairng"'),
                (lambda: morvex.text(fx("hello.pdf"), fx("hello.pdf"), pairing="magic"),
                 'options: "pairing" must be "position" or "content"'),
                (lambda: morvex.visual(fx("hello.pdf"), fx("hello.pdf"), out, pairng=1),
                 'options: unknown key "pairng"'),
                # Options are checked before any file is read.
                (lambda: morvex.detail(fx("missing.pdf"), fx("hello.pdf"), pairng=1),
                 'options: unknown key "pairng"')]:
            with self.subTest(message=message), self.assertRaises(morvex.Error) as cm:
                call()
            self.assertEqual(str(cm.exception), message)
        self.assertFalse(os.path.exists(out))


class Lookup(unittest.TestCase):
    """Runs a copy of the module in a fresh interpreter, in folders laid out for each case."""

    PROBE = ("import sys; sys.path.insert(0, sys.argv[1]); import morvex; "
             "print(morvex.library_path); "
             "print(morvex.compare(sys.argv[2], sys.argv[2])['identical'])")

    def layout(self, module_dir: str) -> str:
        """A copy of the package, without a library, in module_dir/morvex."""
        root = scratch_dir(self)
        folder = os.path.join(root, module_dir)
        os.makedirs(folder, exist_ok=True)
        shutil.copytree(PACKAGE, os.path.join(folder, "morvex"),
                        ignore=shutil.ignore_patterns("libmorvex.so*", "__pycache__"))
        return folder

    def run_probe(self, module_dir: str, library=None):
        env = {k: v for k, v in os.environ.items() if k not in ("MORVEX_LIBRARY", "LD_LIBRARY_PATH")}
        if library is not None:
            env["MORVEX_LIBRARY"] = library
        return subprocess.run([sys.executable, "-c", self.PROBE, module_dir, fx("hello.pdf")],
                              cwd=module_dir, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True, timeout=120)

    def real_library(self) -> str:
        return os.path.realpath(morvex.library_path)

    def test_nothing_found_lists_every_candidate(self):
        folder = self.layout("python")
        p = self.run_probe(folder)
        if p.returncode == 0:
            self.skipTest("a libmorvex is installed system-wide: " + p.stdout.split("\n")[0])
        self.assertIn("ImportError: cannot load the morvex library; tried:", p.stderr)
        for entry in ("MORVEX_LIBRARY: not set",
                      os.path.join(folder, "morvex", "libmorvex.so*") + ": no such file",
                      os.path.join(folder, "libmorvex.so*") + ": no such file",
                      os.path.join(os.path.dirname(folder), "lib", "libmorvex.so*") + ": no such file",
                      "libmorvex.so.1: cannot open shared object file"):
            self.assertIn("\n  " + entry, p.stderr)
        self.assertRegex(p.stderr, r'\n  (ctypes\.util\.find_library\("morvex"\): not found'
                                   r'|\S*morvex\S*: .+)\n')

    def test_library_beside_the_module(self):
        folder = self.layout("python")
        # A file that does not load is skipped for the next candidate.
        with open(os.path.join(folder, "libmorvex.so"), "w") as f:
            f.write("not a library\n")
        os.symlink(self.real_library(), os.path.join(folder, "libmorvex.so.1"))
        p = self.run_probe(folder)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertEqual(p.stdout, os.path.join(folder, "libmorvex.so.1") + "\nTrue\n")

    def test_library_inside_the_package_comes_first(self):
        folder = self.layout("python")
        inside = os.path.join(folder, "morvex", "libmorvex.so.1")
        os.symlink(self.real_library(), inside)
        os.symlink(self.real_library(), os.path.join(folder, "libmorvex.so.1"))
        p = self.run_probe(folder)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertEqual(p.stdout, inside + "\nTrue\n")

    def test_a_named_library_that_does_not_load_is_an_error(self):
        folder = self.layout("python")
        os.symlink(self.real_library(), os.path.join(folder, "libmorvex.so.1"))
        missing = os.path.join(folder, "missing.so")
        p = self.run_probe(folder, missing)
        self.assertNotEqual(p.returncode, 0)
        self.assertIn("ImportError: cannot load the morvex library named by MORVEX_LIBRARY: " + missing +
                      ": cannot open shared object file", p.stderr)

    def test_library_in_lib_beside_the_module_folder(self):
        folder = self.layout("python")
        lib = os.path.join(os.path.dirname(folder), "lib")
        os.makedirs(lib)
        os.symlink(self.real_library(), os.path.join(lib, "libmorvex.so.1"))
        p = self.run_probe(folder)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertEqual(p.stdout, os.path.join(lib, "libmorvex.so.1") + "\nTrue\n")

    def test_environment_variable_comes_first(self):
        folder = self.layout("python")
        lib = os.path.join(os.path.dirname(folder), "lib")
        os.makedirs(lib)
        os.symlink(self.real_library(), os.path.join(folder, "morvex", "libmorvex.so.1"))
        os.symlink(self.real_library(), os.path.join(folder, "libmorvex.so.1"))
        os.symlink(self.real_library(), os.path.join(lib, "libmorvex.so.1"))
        chosen = os.path.join(os.path.dirname(folder), "chosen.so")
        os.symlink(self.real_library(), chosen)
        p = self.run_probe(folder, chosen)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertEqual(p.stdout, chosen + "\nTrue\n")


class NoLock:
    def __enter__(self):
        return self

    def __exit__(self, *exc):
        return False


class Threads(unittest.TestCase):
    def jobs(self, folder: str):
        """(function, arguments) pairs, each with its result when run alone."""
        hello, goodbye = fx("hello.pdf"), fx("goodbye.pdf")
        plain = [("compare", (hello, goodbye)), ("compare", (hello, fx("hello-copy.pdf"))),
                 ("text", (fx("escapes-a.pdf"), fx("escapes-b.pdf"))),
                 ("text", (fx("image-left.pdf"), fx("image-right.pdf"))),
                 ("compare", (fx("hello-2pages.pdf"), hello)),
                 ("text", (fx("encrypted.pdf"), hello)),
                 ("visual", (fx("no-pages.pdf"), fx("no-pages.pdf"))),
                 ("visual", (hello, goodbye)), ("visual", (fx("image-left.pdf"), fx("image-right.pdf")))]
        return [(name, args, self.run_job(name, args, os.path.join(folder, "alone.pdf"))) for name, args in plain]

    @staticmethod
    def run_job(name, args, out):
        try:
            if name == "visual":
                morvex.visual(*args, out)
                with open(out, "rb") as f:
                    return ("pdf", f.read())
            return ("report", getattr(morvex, name)(*args))
        except morvex.Error as e:
            return ("error", str(e))

    def hammer(self, threads: int, calls: int):
        """Runs a mix of calls from many threads; returns the mismatches seen."""
        folder = scratch_dir(self)
        jobs = self.jobs(folder)
        start = threading.Barrier(threads)
        mismatches = []

        def worker(t: int):
            start.wait()
            for i in range(calls):
                name, args, expected = jobs[(t + i) % len(jobs)]
                if i % 5 == 4:  # a failure whose message names this very call
                    missing = os.path.join(folder, f"missing-{t}-{i}.pdf")
                    name, args, expected = "compare", (fx("hello.pdf"), missing), ("error", "cannot open file: " + missing)
                got = self.run_job(name, args, os.path.join(folder, f"out-{t}.pdf"))
                if got != expected:
                    mismatches.append((t, i, name, args, got[0], expected[0]))

        pool = [threading.Thread(target=worker, args=(t,)) for t in range(threads)]
        for t in pool:
            t.start()
        for t in pool:
            t.join()
        return mismatches

    def test_many_threads_get_their_own_results(self):
        self.assertEqual(self.hammer(threads=8, calls=20), [])

    def slowed_library(self, fake=None):
        """Wraps every library function in a slow one that records overlapping
        calls; fake, when given, maps names to stand-ins for the real functions."""
        state = {"in_flight": 0, "overlaps": 0, "log": []}
        guard = threading.Lock()

        def wrap(name, real):
            def slow(*args):
                with guard:
                    state["in_flight"] += 1
                    state["overlaps"] += state["in_flight"] > 1
                    state["log"].append((threading.get_ident(), name))
                try:
                    time.sleep(0.002)
                    return real(*args)
                finally:
                    with guard:
                        state["in_flight"] -= 1
            return slow

        for name in ("morvex_compare", "morvex_text", "morvex_visual", "morvex_last_error", "morvex_cleanup"):
            real = fake[name] if fake else getattr(morvex._lib, name)
            patch = mock.patch.object(morvex._lib, name, wrap(name, real))
            patch.start()
            self.addCleanup(patch.stop)
        return state

    def test_one_library_call_at_a_time(self):
        state = self.slowed_library()
        self.assertEqual(self.hammer(threads=4, calls=10), [])
        self.assertEqual(state["overlaps"], 0)
        # Every error message is read right after the failed call of the same thread.
        log = state["log"]
        for i, (thread, name) in enumerate(log):
            if name == "morvex_last_error":
                self.assertEqual(log[i - 1][0], thread)
                self.assertIn(log[i - 1][1], ("morvex_compare", "morvex_text", "morvex_visual"))

    def test_the_overlap_check_sees_calls_without_the_lock(self):
        # Stand-ins, as the real library must never run two calls at once.
        report = b'{"identical":true,"pages_compared":1,"differences":[]}'
        state = self.slowed_library(fake={
            "morvex_compare": lambda a, b: report, "morvex_text": lambda a, b: None,
            "morvex_visual": lambda a, b, out: 1, "morvex_last_error": lambda: b"failed",
            "morvex_cleanup": lambda: None})
        patch = mock.patch.object(morvex, "_lock", NoLock())
        patch.start()
        self.addCleanup(patch.stop)

        def worker():
            for _ in range(10):
                morvex.compare("a.pdf", "b.pdf")
                morvex.visual("a.pdf", "b.pdf", "out.pdf")
                with self.assertRaises(morvex.Error):
                    morvex.text("a.pdf", "b.pdf")

        pool = [threading.Thread(target=worker) for _ in range(4)]
        for t in pool:
            t.start()
        for t in pool:
            t.join()
        self.assertEqual(len(state["log"]), 4 * 10 * 4)
        self.assertGreater(state["overlaps"], 0)

if __name__ == "__main__":
    if not os.path.isfile(fx("hello.pdf")):
        sys.exit("MORVEX_FIXTURES must name the folder of the fixture files")
    unittest.main(verbosity=2)
