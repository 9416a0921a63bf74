"""A pytest plugin: snapshot assertions for PDF files.

    def test_invoice(pdf_snapshot, tmp_path):
        out = make_invoice(tmp_path / "invoice.pdf")
        pdf_snapshot.assert_match(out, "invoice", ignore_text=[r"\\d{4}-\\d{2}-\\d{2}"])

The first run stores the file as the snapshot __pdf_snapshots__/invoice.pdf
in the folder of the test file (commit it); later runs compare the file
with it (the snapshot is A, the new file B) and fail with the differences
in words, writing the side-by-side visual report and the review page to
pdf-snapshot-results/TEST/ under the root folder (--pdf-snapshot-output).
--pdf-snapshot-update stores every file as its new snapshot instead.

Registered through the pytest11 entry point of the installed package.  The
library is loaded on the first assertion, not when pytest starts, so a
broken install breaks only the tests that use the fixture.
"""

import os
import re
import shutil
from typing import Any

import pytest


def pytest_addoption(parser: Any) -> None:
    group = parser.getgroup("morvex", "PDF snapshots (morvex)")
    group.addoption("--pdf-snapshot-update", action="store_true", default=False,
                    help="store every PDF given to pdf_snapshot.assert_match as its snapshot")
    group.addoption("--pdf-snapshot-output", default=None, metavar="DIR",
                    help="where failed PDF snapshot comparisons write their visual report and review "
                         "page (default: pdf-snapshot-results under the root folder)")


def _safe(part: str) -> str:
    return re.sub(r"[^A-Za-z0-9._-]+", "_", part).strip("._") or "_"


class PdfSnapshot:
    """The pdf_snapshot fixture of one test."""

    def __init__(self, test_file: str, node_id: str, update: bool, output: str) -> None:
        self.folder = os.path.join(os.path.dirname(test_file), "__pdf_snapshots__")
        self.update = update
        self.output = os.path.join(output, _safe(node_id))

    def path(self, name: str) -> str:
        """The snapshot file of `name`: a file name in the snapshot folder,
        ".pdf" added when missing."""
        if not name or "/" in name or "\\" in name or name in (".", "..") or "\0" in name:
            raise ValueError(f"a snapshot name is a plain file name, not {name!r}")
        return os.path.join(self.folder, name if name.lower().endswith(".pdf") else name + ".pdf")

    def assert_match(self, path: Any, name: str, **options: Any) -> None:
        """Stores `path` as the snapshot `name` on the first run (or with
        --pdf-snapshot-update); otherwise compares it with the snapshot,
        with the options of morvex.compare(), and fails when they differ."""
        __tracebackhide__ = True
        import morvex

        snapshot = self.path(name)
        if self.update or not os.path.exists(snapshot):
            os.makedirs(self.folder, exist_ok=True)
            shutil.copyfile(path, snapshot)
            return
        report = morvex.detail(snapshot, path, **options)
        stem = os.path.join(self.output, _safe(os.path.splitext(os.path.basename(snapshot))[0]))
        html = stem + ".html"
        if report["identical"]:
            # The reports of an earlier failure would mislead the reviewer.
            for stale in (html, morvex.review_pdf_path(html)):
                if os.path.exists(stale):
                    os.remove(stale)
            return
        from . import _review

        os.makedirs(self.output, exist_ok=True)
        morvex.review(snapshot, path, html, **options)
        raise AssertionError(
            f"{os.fsdecode(path)} differs from the snapshot {snapshot}: {_review.summary(report)}\n"
            f"{_review.words(report)}\n"
            f"review page: {html}\n"
            f"visual report: {morvex.review_pdf_path(html)}\n"
            f"(run pytest with --pdf-snapshot-update to store the new file as the snapshot)")


@pytest.fixture
def pdf_snapshot(request: Any) -> PdfSnapshot:
    """Snapshot assertions for PDF files: pdf_snapshot.assert_match(path, name, **options)."""
    config = request.config
    output = config.getoption("--pdf-snapshot-output") or os.path.join(str(config.rootpath), "pdf-snapshot-results")
    return PdfSnapshot(str(request.path), request.node.nodeid, config.getoption("--pdf-snapshot-update"), output)
