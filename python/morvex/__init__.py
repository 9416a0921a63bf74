"""Compare two PDF files with the morvex shared library.

    >>> import morvex
    >>> morvex.compare("a.pdf", "b.pdf")
    {'identical': False, 'pages_compared': 1,
     'differences': [{'page': 1, 'type': 'text_changed'}]}
    >>> morvex.text("a.pdf", "b.pdf")["differences"][0]["diff"]
    '- Hello World \\n+ Goodbye World '
    >>> morvex.visual("a.pdf", "b.pdf", "report.pdf")   # None: written
    >>> morvex.compare("a.pdf", "b.pdf", pairing="content",
    ...                ignore_regions=[{"rect": [0, 800, 595, 842]}])
    >>> morvex.compare_many([("a.pdf", "b.pdf"), ("c.pdf", "d.pdf")]).summary()
    '2 pairs compared: 1 identical, 1 different, 0 errors'

Paths may be str, bytes or os.PathLike; str paths are encoded with
os.fsencode.  A failed call raises morvex.Error, whose message is exactly
the library's (for example "cannot open file: a.pdf").

Keyword arguments are the options of the C API (morvex_compare_opts and
morvex_visual_opts in morvex.h), under the same names: pairing, pages_a,
pages_b, ignore_regions, ignore_text, ignore_kinds, layout, changed_only, threads,
password, password_a, password_b, document (the kinds compared beside the
pages, such as document=["metadata", "links"]; [] for none).  A call without options (or with every
option None) is the plain C function and gives exactly its result.

The library keeps process-wide state without locks, so this module runs
one library call at a time: calls from several threads are safe and wait
for each other.  compare_many() runs many pairs in worker processes.

The library is looked up, in this order, at import time:
  1. the file named by the environment variable MORVEX_LIBRARY (when it is
     set, that file or an ImportError: no other library is tried);
  2. libmorvex.so* inside this package (where an installed wheel has it);
  3. libmorvex.so* in the folder that holds the package;
  4. libmorvex.so* in ../lib relative to that folder;
  5. the system search: ctypes.util.find_library("morvex"), then
     "libmorvex.so.1".
Otherwise the first one that loads is used (a candidate that fails to
load is skipped); when none loads, importing raises ImportError listing every
candidate and why it failed.  library_path names the one loaded.
"""

import atexit
import ctypes
import ctypes.util
import glob
import json
import os
import re
import threading
from typing import Any, Dict, List, Mapping, Optional, Tuple, Union

__all__ = ["Error", "compare", "text", "detail", "visual", "review", "compare_many", "PairResult",
           "BatchResults", "cli_json", "library_path", "__version__"]

_PACKAGE_DIR = os.path.dirname(os.path.abspath(__file__))


def _header_version() -> str:
    """MORVEX_VERSION_STRING of the source tree's include/morvex.h, for a
    package used in place; an installed package has _version.py instead."""
    header = os.path.join(_PACKAGE_DIR, os.pardir, os.pardir, "include", "morvex.h")
    try:
        with open(header, encoding="utf-8") as f:
            found = re.search(r'#define MORVEX_VERSION_STRING "([^"]+)"', f.read())
    except OSError:
        found = None
    return found.group(1) if found else "0+unknown"


try:
    # Written at build time from the header the library was built from.
    from ._version import __version__
except ImportError:
    __version__ = _header_version()

PathArg = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
Report = Dict[str, Any]


class Error(RuntimeError):
    """A library call failed; str(error) is the library's message."""


def _try_load(name: str, tried: List[str]) -> Optional[ctypes.CDLL]:
    try:
        return ctypes.CDLL(name)
    except OSError as e:
        reason = str(e)
        if reason.startswith(name + ": "):
            reason = reason[len(name) + 2:]
        tried.append(f"{name}: {reason}")
        return None


def _load_library() -> Tuple[ctypes.CDLL, str]:
    tried: List[str] = []
    env = os.environ.get("MORVEX_LIBRARY")
    if env:
        # A library named explicitly is the one to use, or an error: never
        # quietly another one.
        lib = _try_load(env, tried)
        if lib is not None:
            return lib, env
        raise ImportError("cannot load the morvex library named by MORVEX_LIBRARY: " + tried[-1])
    tried.append("MORVEX_LIBRARY: not set")
    outside = os.path.dirname(_PACKAGE_DIR)
    for folder in (_PACKAGE_DIR, outside, os.path.normpath(os.path.join(outside, os.pardir, "lib"))):
        pattern = os.path.join(folder, "libmorvex.so*")
        found = sorted(glob.glob(os.path.join(glob.escape(folder), "libmorvex.so*")))
        if not found:
            tried.append(f"{pattern}: no such file")
        for path in found:
            lib = _try_load(path, tried)
            if lib is not None:
                return lib, path
    try:
        system = ctypes.util.find_library("morvex")
    except OSError:  # the helper programs it runs may be missing
        system = None
    if system:
        lib = _try_load(system, tried)
        if lib is not None:
            return lib, system
    else:
        tried.append('ctypes.util.find_library("morvex"): not found')
    lib = _try_load("libmorvex.so.1", tried)
    if lib is not None:
        return lib, "libmorvex.so.1"
    raise ImportError("cannot load the morvex library; tried:\n  " + "\n  ".join(tried))


_lib, library_path = _load_library()
_lib.morvex_init.argtypes = []
_lib.morvex_init.restype = ctypes.c_int
_lib.morvex_cleanup.argtypes = []
_lib.morvex_cleanup.restype = None
_lib.morvex_last_error.argtypes = []
_lib.morvex_last_error.restype = ctypes.c_char_p
for _name in ("morvex_compare", "morvex_text"):
    getattr(_lib, _name).argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    getattr(_lib, _name).restype = ctypes.c_char_p
_lib.morvex_visual.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]
_lib.morvex_visual.restype = ctypes.c_int
# The options functions came with version 1.1; an older library still
# serves every call made without options.
_HAS_OPTIONS = hasattr(_lib, "morvex_compare_opts") and hasattr(_lib, "morvex_visual_opts")
if _HAS_OPTIONS:
    _lib.morvex_compare_opts.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]
    _lib.morvex_compare_opts.restype = ctypes.c_char_p
    _lib.morvex_visual_opts.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]
    _lib.morvex_visual_opts.restype = ctypes.c_int

# Held around every library call, together with the morvex_last_error() that
# follows a failure, so that no two threads ever interleave their calls.
_lock = threading.Lock()

# The report kinds of the "report" option, and the plain function of each.
REPORTS = ("compare", "text", "detail")
_PLAIN = {"compare": "morvex_compare", "text": "morvex_text"}


def _path(value: PathArg) -> bytes:
    if not isinstance(value, (str, bytes, os.PathLike)):
        raise TypeError(f"path must be str, bytes or os.PathLike, not {type(value).__name__}")
    encoded = os.fsencode(value)  # TypeError when __fspath__ returns neither str nor bytes
    if b"\0" in encoded:
        raise ValueError("embedded null byte in path")
    return encoded


def _error(function: str) -> Error:
    """The Error for a failed call; to be called with _lock held."""
    message = _lib.morvex_last_error() or b""
    # fsdecode, so a path in the message reads back as the str that was passed.
    return Error(os.fsdecode(message) if message else f"{function} failed")


def _options_json(report: str, options: Mapping[str, Any]) -> Optional[bytes]:
    """The options object for the library, or None when no option is given
    (options whose value is None count as not given)."""
    if "report" in options:
        raise TypeError("the report kind is chosen by the function: compare(), text() or detail()")
    given: Dict[str, Any] = {}
    for key, value in options.items():
        if value is None:
            continue
        try:
            json.dumps(value, allow_nan=False)
        except (TypeError, ValueError) as e:
            raise type(e)(f"option {key}: {e}") from None
        given[key] = value
    if report in _PLAIN and not given:
        return None
    if report != "compare":
        given = {"report": report, **given}
    return json.dumps(given, ensure_ascii=False, allow_nan=False, separators=(",", ":")).encode("utf-8")


def _options_function(function: str) -> str:
    if not _HAS_OPTIONS:
        raise Error(f"options need a morvex library with {function}; {library_path} has none "
                    f"(it is older than this module)")
    return function


def _check_options(options: Optional[bytes]) -> None:
    """Raises the library's Error for options it refuses, without reading a
    file: options are checked before any file is opened."""
    if options is None:
        return
    function = _options_function("morvex_compare_opts")
    with _lock:
        if getattr(_lib, function)(b"", b"", options) is None:
            error = _error(function)
            if str(error).startswith("options: "):
                raise error


def _raw_report(report: str, a: PathArg, b: PathArg, options: Optional[bytes]) -> str:
    """The library's JSON text of one report; options as _options_json made it."""
    path_a, path_b = _path(a), _path(b)
    if options is None:
        function, args = _PLAIN[report], (path_a, path_b)
    else:
        function, args = _options_function("morvex_compare_opts"), (path_a, path_b, options)
    with _lock:
        # c_char_p copies the text into a bytes object before the lock is released.
        raw = getattr(_lib, function)(*args)
        if raw is None:
            raise _error(function)
    return raw.decode("utf-8")


def compare(a: PathArg, b: PathArg, **options: Any) -> Report:
    r"""Every difference between the PDF files a and b.

    Returns the report as a dict: {"identical": bool, "pages_compared": int,
    "differences": [{"page": int, "type": str}, ...]}.  Raises Error when a
    file cannot be read or is encrypted, or an option is refused (the
    message names it).  Keyword arguments are the library's options, for
    example pairing="content", pages_a="1-3", ignore_text=[r"\d{4}-\d{2}-\d{2}"],
    ignore_regions=[{"rect": [x0, y0, x1, y1], "pages": "1-", "side": "both"}].
    """
    return json.loads(_raw_report("compare", a, b, _options_json("compare", options)))


def text(a: PathArg, b: PathArg, **options: Any) -> Report:
    """The text differences between the PDF files a and b, with the text.

    Returns a dict shaped like compare()'s, limited to text_added,
    text_removed, text_changed, page_added and page_removed; each text
    difference has a "diff" member ("- " A's page text, a line feed,
    "+ " B's page text).  Raises Error as compare() does; takes the same
    options.
    """
    return json.loads(_raw_report("text", a, b, _options_json("text", options)))


def detail(a: PathArg, b: PathArg, **options: Any) -> Report:
    """Everything compare() reports, with the word-level changes of each text
    difference (operation, old and new text, the rectangles of the changed
    words on each side) and the rectangles of image differences; the detail
    report of the README.  Takes the same options as compare()."""
    return json.loads(_raw_report("detail", a, b, _options_json("detail", options)))


def visual(a: PathArg, b: PathArg, out: PathArg, **options: Any) -> None:
    """Write to out a PDF showing the pages of a and b, differences marked.

    Returns None once the report is written, whether or not the documents
    differ (use compare() to know that).  Raises Error when it is not
    written, for example when an input cannot be read, neither document
    has a page ("no pages to compare") or out cannot be created; an
    existing file at out is then left as it was.  Takes the options of
    compare().
    """
    path_a, path_b, path_out = _path(a), _path(b), _path(out)
    encoded = _options_json("compare", options)
    if encoded is None:
        function, args = "morvex_visual", (path_a, path_b, path_out)
    else:
        function, args = _options_function("morvex_visual_opts"), (path_a, path_b, path_out, encoded)
    with _lock:
        if not getattr(_lib, function)(*args):
            raise _error(function)


def review_pdf_path(html: PathArg) -> str:
    """Where review() puts the visual report of a page: "x.html" -> "x.pdf",
    any other name with ".pdf" appended."""
    path = os.fsdecode(_path(html))
    return path[:-5] + ".pdf" if path.endswith(".html") and len(path) > 5 else path + ".pdf"


def review(a: PathArg, b: PathArg, html: PathArg, **options: Any) -> Report:
    """Write the review page of a and b to html, and their visual report
    beside it (review_pdf_path(html)); returns the detail report.

    The page lists every difference with its pages, its kind, the changed
    words (old struck through, new beside it) and a link to the page of the
    visual report that shows it: the page of `morvex compare A B --html`.
    It is self-contained (no script, nothing fetched).  Takes the options
    of compare(); layout defaults to "side_by_side".
    """
    if options.get("layout") is None:
        options["layout"] = "side_by_side"
    pdf = review_pdf_path(html)
    report = detail(a, b, **options)
    visual(a, b, pdf, **options)
    from . import _review
    _review.write_review(a, b, html, report, pdf, side_by_side=options["layout"] == "side_by_side",
                         changed_only=bool(options.get("changed_only")))
    return report


def _cleanup() -> None:
    with _lock:
        _lib.morvex_cleanup()


with _lock:
    _lib.morvex_init()
atexit.register(_cleanup)

from ._batch import BatchResults, PairResult, cli_json, compare_many  # noqa: E402
