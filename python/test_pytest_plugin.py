"""The pytest plugin (morvex.pytest_plugin), run through pytest's own
pytester: the first run stores the snapshot, the next passes, a changed
file fails with its words and writes the review page and visual report,
the options of compare() apply, and --pdf-snapshot-update rewrites.

    python3 -m pytest -p pytester python/test_pytest_plugin.py

In place the plugin is named with -p; against an installed package
(MORVEX_TEST_INSTALLED=1) its pytest11 entry point must bring it in.
"""

import os

import html5lib
import pytest
from reportlab.pdfgen import canvas

pytest_plugins = ["pytester"]

INSTALLED = bool(os.environ.get("MORVEX_TEST_INSTALLED"))
PLUGIN = [] if INSTALLED else ["-p", "morvex.pytest_plugin"]

TEST_FILE = """
import os

def test_invoice(pdf_snapshot):
    options = eval(os.environ.get("SNAPSHOT_OPTIONS", "{}"))
    pdf_snapshot.assert_match(os.environ["PDF_UNDER_TEST"], "invoice", **options)
"""


def invoice(path, total="1,150.00", date="2026-11-30"):
    c = canvas.Canvas(str(path), pagesize=(612, 792), invariant=1)
    c.drawString(72, 700, "Invoice dated " + date)
    c.drawString(72, 680, "Total: " + total + " EUR")
    c.drawString(72, 100, "printed on " + date)
    c.showPage()
    c.save()
    return str(path)


@pytest.fixture
def project(pytester, monkeypatch):
    pytester.makepyfile(test_invoice=TEST_FILE)
    monkeypatch.delenv("SNAPSHOT_OPTIONS", raising=False)

    def run(pdf, *args, **options):
        monkeypatch.setenv("PDF_UNDER_TEST", pdf)
        monkeypatch.setenv("SNAPSHOT_OPTIONS", repr(options))
        return pytester.runpytest(*PLUGIN, *args)
    return run


def snapshot(pytester):
    with open(pytester.path / "__pdf_snapshots__" / "invoice.pdf", "rb") as f:
        return f.read()


def read(path):
    with open(path, "rb") as f:
        return f.read()


def test_first_run_stores_and_the_next_passes(pytester, project):
    original = invoice(pytester.path / "original.pdf")
    project(original).assert_outcomes(passed=1)
    assert snapshot(pytester) == read(original)
    project(invoice(pytester.path / "again.pdf")).assert_outcomes(passed=1)
    assert not (pytester.path / "pdf-snapshot-results").exists()


def test_a_changed_file_fails_with_its_words_and_reports(pytester, project):
    project(invoice(pytester.path / "original.pdf"))
    result = project(invoice(pytester.path / "changed.pdf", total="1,250.00"))
    result.assert_outcomes(failed=1)
    result.stdout.fnmatch_lines([
        "*changed.pdf differs from the snapshot *__pdf_snapshots__/invoice.pdf: 1 difference on 1 of 1 page",
        "*page 1: text changed",
        "*... Invoice dated 2026-11-30 Total: [[]-1,150.00-[]]{+1,250.00+} EUR printed on 2026-11-30 ...",
        "*review page: *invoice.html",
        "*visual report: *invoice.pdf",
    ])
    out = pytester.path / "pdf-snapshot-results" / "test_invoice.py_test_invoice"
    page = read(out / "invoice.html")
    tree = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False).parse(page)
    assert [e.text for e in tree.iter("del")] + [e.text for e in tree.iter("ins")] == ["1,150.00", "1,250.00"]
    assert read(out / "invoice.pdf").startswith(b"%PDF-")
    assert b'href="invoice.pdf#page=' in page
    assert snapshot(pytester) == read(pytester.path / "original.pdf")  # a failure keeps the snapshot


@pytest.mark.parametrize("change, options, outcome", [
    ({"date": "2026-12-01"}, {}, "failed"),
    ({"date": "2026-12-01"}, {"ignore_text": [r"\d{4}-\d{2}-\d{2}"]}, "passed"),
    # The date at the foot of the page lies inside the region, the one at
    # the top does not.
    ({"date": "2026-12-01"}, {"ignore_regions": [{"rect": [0, 600, 612, 792]}]}, "failed"),
    ({"date": "2026-12-01"}, {"ignore_regions": [{"rect": [0, 0, 612, 792]}]}, "passed"),
    ({"total": "1,250.00"}, {"ignore_text": [r"\d{4}-\d{2}-\d{2}"]}, "failed"),
])
def test_the_options_of_compare_apply(pytester, project, change, options, outcome):
    project(invoice(pytester.path / "original.pdf"))
    project(invoice(pytester.path / "changed.pdf", **change), **options).assert_outcomes(**{outcome: 1})


def test_the_update_flag_rewrites_the_snapshot(pytester, project):
    project(invoice(pytester.path / "original.pdf"))
    changed = invoice(pytester.path / "changed.pdf", total="1,250.00")
    project(changed).assert_outcomes(failed=1)
    out = pytester.path / "pdf-snapshot-results" / "test_invoice.py_test_invoice"
    assert (out / "invoice.html").exists()
    project(changed, "--pdf-snapshot-update").assert_outcomes(passed=1)
    assert snapshot(pytester) == read(changed)
    project(changed).assert_outcomes(passed=1)
    assert not (out / "invoice.html").exists() and not (out / "invoice.pdf").exists()  # stale reports removed


def test_a_name_is_a_plain_file_name(pytester, project):
    pytester.makepyfile(test_invoice="""
import pytest

@pytest.mark.parametrize("name", ["../up", "a/b", "", ".."])
def test_bad(pdf_snapshot, name):
    with pytest.raises(ValueError, match="a snapshot name is a plain file name"):
        pdf_snapshot.assert_match("x.pdf", name)
""")
    pytester.runpytest(*PLUGIN).assert_outcomes(passed=4)


@pytest.mark.skipif(not INSTALLED, reason="the entry point exists only in an installed package")
def test_the_installed_package_registers_the_plugin(pytester):
    pytester.runpytest("--help").stdout.fnmatch_lines(["*--pdf-snapshot-update*"])
