"""Compare two PDF files with the morvex shared library.

    >>> import morvex
    >>> morvex.compare("a.pdf", "b.pdf")
    {'identical': False, 'pages_compared': 1,
     'differences': [{'page': 1, 'type': 'text_changed'}]}
    >>> morvex.text("a.pdf", "b.pdf")["differences"][0]["diff"]
    '- Hello World \\n+ Goodbye World '
    >>> morvex.visual("a.pdf", "b.pdf", "report.pdf")   # None: written

Paths may be str, bytes or os.PathLike; str paths are encoded with
os.fsencode.  A failed call raises morvex.Error, whose message is exactly
the library's (for example "cannot open file: a.pdf").

The library keeps process-wide state without locks, so this module runs
one library call at a time: calls from several threads are safe and wait
for each other.

The library is looked up, in this order, at import time:
  1. the file named by the environment variable MORVEX_LIBRARY (when it is
     set, that file or an ImportError: no other library is tried);
  2. libmorvex.so* in the directory of this module;
  3. libmorvex.so* in ../lib relative to this module;
  4. the system search: ctypes.util.find_library("morvex"), then
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
import threading
from typing import Any, Dict, List, Optional, Tuple, Union

__all__ = ["Error", "compare", "text", "visual", "library_path"]

# The version of the C API this binding is written against: MORVEX_VERSION_STRING
# in include/morvex.h.
__version__ = "1.0.0"

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
    here = os.path.dirname(os.path.abspath(__file__))
    for folder in (here, os.path.normpath(os.path.join(here, os.pardir, "lib"))):
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

# Held around every library call, together with the morvex_last_error() that
# follows a failure, so that no two threads ever interleave their calls.
_lock = threading.Lock()


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


def _report(function: str, a: PathArg, b: PathArg) -> Report:
    path_a, path_b = _path(a), _path(b)
    with _lock:
        # c_char_p copies the text into a bytes object before the lock is released.
        raw = getattr(_lib, function)(path_a, path_b)
        if raw is None:
            raise _error(function)
    return json.loads(raw.decode("utf-8"))


def compare(a: PathArg, b: PathArg) -> Report:
    """Every difference between the PDF files a and b.

    Returns the report as a dict: {"identical": bool, "pages_compared": int,
    "differences": [{"page": int, "type": str}, ...]}.  Raises Error when a
    file cannot be read or is encrypted.
    """
    return _report("morvex_compare", a, b)


def text(a: PathArg, b: PathArg) -> Report:
    """The text differences between the PDF files a and b, with the text.

    Returns a dict shaped like compare()'s, limited to text_added,
    text_removed, text_changed, page_added and page_removed; each text
    difference has a "diff" member ("- " A's page text, a line feed,
    "+ " B's page text).  Raises Error as compare() does.
    """
    return _report("morvex_text", a, b)


def visual(a: PathArg, b: PathArg, out: PathArg) -> None:
    """Write to out a PDF showing the pages of a and b, differences marked.

    Returns None once the report is written, whether or not the documents
    differ (use compare() to know that).  Raises Error when it is not
    written, for example when an input cannot be read, neither document
    has a page ("no pages to compare") or out cannot be created; an
    existing file at out is then left as it was.
    """
    path_a, path_b, path_out = _path(a), _path(b), _path(out)
    with _lock:
        if not _lib.morvex_visual(path_a, path_b, path_out):
            raise _error("morvex_visual")


def _cleanup() -> None:
    with _lock:
        _lib.morvex_cleanup()


with _lock:
    _lib.morvex_init()
atexit.register(_cleanup)
