"""The review page of a pair of PDF files: every difference of the detail
report with its words and a link to the page of the visual report that
shows it.  The page is the one `morvex compare A B --html FILE` writes,
byte for byte, so a reviewer sees the same page from the command, from
Python and from the pytest plugin.

Every text taken from the files or the report is escaped; the page has its
style inline, no script, and fetches nothing.
"""

import os
import urllib.parse
from typing import Any, Dict, List, Optional, Tuple

_STYLE = """<style>
body { font-family: sans-serif; margin: 2em; color: #222; max-width: 80em; }
table { border-collapse: collapse; margin-top: 1em; }
th, td { text-align: left; vertical-align: top; padding: .35em .9em; border-bottom: 1px solid #ddd; }
th { background: #f3f3f3; }
ul, ol { margin: .2em 0; padding-left: 1.4em; }
li { margin: .2em 0; }
pre { margin: .2em 0 .4em; white-space: pre-wrap; font-size: 90%; }
del { color: #b00020; background: #fdecee; text-decoration: line-through; }
ins { color: #1d6b1d; background: #e8f5e8; text-decoration: none; }
.where { font-weight: bold; }
.kind.added, .identical, .ins, .only_new { color: #1d6b1d; }
.kind.removed, .error, .only_old, .del { color: #b00020; }
.different { color: #8a5a00; }
.error { font-weight: bold; }
.context, .more, .name { color: #666; }
.pdf { font-size: 90%; margin-left: .5em; }
#only-changes:checked ~ table tr[data-status="identical"] { display: none; }
</style>
"""

_KIND_WORDS = {
    "dimensions_changed": "page size changed",
    "rotation_changed": "rotation changed",
    "image_added": "image added",
    "image_removed": "image removed",
    "image_changed": "image changed",
    "text_added": "text added",
    "text_removed": "text removed",
    "text_changed": "text changed",
    "content_changed": "content changed",
    "page_added": "page added",
    "page_removed": "page removed",
    "page_moved": "page moved",
}

# Shown in a difference's heading rather than among its fields.
_HEADING = ("page", "type", "kind", "page_a", "page_b", "size_a", "size_b", "rects_a", "rects_b",
            "changes", "old", "new")


def printable(text: str) -> str:
    """Control characters (but tab) and the C1 range as visible escapes,
    lone surrogates as U+FFFD: the command's rule."""
    out = []
    for ch in text:
        o = ord(ch)
        if (o < 0x20 and ch != "\t") or o == 0x7F:
            out.append("\\x%02x" % o)
        elif 0x80 <= o <= 0x9F:
            out.append("\\u%04x" % o)
        elif 0xD800 <= o <= 0xDFFF:
            out.append("\ufffd")
        else:
            out.append(ch)
    return "".join(out)


def escape(text: str) -> str:
    return (printable(text).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;").replace("'", "&#39;"))


def href(rel: str) -> str:
    return urllib.parse.quote(rel.encode("utf-8", "surrogateescape"), safe="/-._~")


def describe(kind: str) -> str:
    return _KIND_WORDS.get(kind) or printable(kind).replace("_", " ")


def direction(kind: str) -> int:
    return 1 if kind.endswith("_added") else -1 if kind.endswith("_removed") else 0


def count(n: int, one: str, many: str) -> str:
    return f"{n} {one if n == 1 else many}"


def summary(report: Dict[str, Any]) -> str:
    """'2 differences on 2 of 5 pages', with ' and 1 document difference'
    when the document list has entries, or 'identical (5 pages)'."""
    pages = report.get("pages_compared", 0)
    if report.get("identical"):
        return f"identical ({count(pages, 'page', 'pages')})"
    diffs = report.get("differences", [])
    document = report.get("document") or []
    said = count(len(document), "document difference", "document differences")
    if not diffs and document:
        return said
    on = len({d.get("page") for d in diffs})
    line = f"{count(len(diffs), 'difference', 'differences')} on {on} of {count(pages, 'page', 'pages')}"
    return line + (" and " + said if document else "")


def number(v: float) -> str:
    s = f"{v:.2f}"
    if "." in s:
        s = s.rstrip("0").rstrip(".")
    return "0" if s == "-0" else s


def plain(v: Any) -> str:
    """Any value as one line of words: at most eight items of a list or an
    object are shown."""
    if v is None:
        return "null"
    if isinstance(v, bool):
        return "true" if v else "false"
    if isinstance(v, int):
        return str(v)
    if isinstance(v, float):
        return number(v)
    if isinstance(v, str):
        return v
    if isinstance(v, list):
        return "[" + ", ".join(plain(x) for x in v[:8]) + (", …" if len(v) > 8 else "") + "]"
    if isinstance(v, dict):
        items = list(v.items())
        return "{" + ", ".join(f"{k}: {plain(x)}" for k, x in items[:8]) + (", …" if len(items) > 8 else "") + "}"
    return str(v)


def _page_of(d: Dict[str, Any], key: str) -> int:
    p = d.get(key)
    return p if isinstance(p, int) and not isinstance(p, bool) and p > 0 else 0


def _sides(d: Dict[str, Any]) -> Tuple[int, int]:
    a, b = _page_of(d, "page_a"), _page_of(d, "page_b")
    if a == 0 and b == 0:
        page, kind = _page_of(d, "page"), d.get("type")
        if kind == "page_removed":
            a = page
        elif kind == "page_added":
            b = page
        else:
            a = b = page
    return a, b


def pdf_page_count(path: str) -> int:
    """The page count of a visual report the library wrote (the /Count of
    its page tree), or 0 when unknown."""
    try:
        with open(path, "rb") as f:
            head = f.read(16 << 20)
    except OSError:
        return 0
    tree = head.find(b"/Type /Pages")
    at = head.find(b"/Count ", tree) if tree >= 0 else -1
    if at < 0:
        return 0
    digits = b""
    for c in head[at + 7:at + 16]:
        if not 48 <= c <= 57:
            break
        digits += bytes([c])
    return int(digits) if digits else 0


def report_pages(detail: Dict[str, Any], side_by_side: bool, changed_only: bool, pdf_pages: int) -> List[int]:
    """For each difference, the visual report's page that shows it (0 when
    unknown).  The overlay report has a page per page position; the
    side-by-side report its summary pages, then a page per pair shown."""
    diffs = detail.get("differences") or []
    if not side_by_side:
        return [0 if pdf_pages > 0 and _page_of(d, "page") > pdf_pages else _page_of(d, "page") for d in diffs]
    pages = [0] * len(diffs)
    pairs: List[Tuple[int, int]] = []
    by_both: Dict[Tuple[int, int], int] = {}
    by_a: Dict[int, int] = {}
    by_b: Dict[int, int] = {}
    for p in detail.get("pairs") or []:
        sides = (_page_of(p, "page_a"), _page_of(p, "page_b"))
        if sides == (0, 0):
            continue
        by_both.setdefault(sides, len(pairs))
        if sides[0]:
            by_a.setdefault(sides[0], len(pairs))
        if sides[1]:
            by_b.setdefault(sides[1], len(pairs))
        pairs.append(sides)
    def owners_of(sides: Tuple[int, int]) -> List[int]:
        if sides in by_both:
            return [by_both[sides]]
        own: List[int] = []
        ka, kb = by_a.get(sides[0]), by_b.get(sides[1])
        if ka is not None:
            own.append(ka)
        if kb is not None and kb != ka:
            own.append(kb)
        return own

    owners: List[List[int]] = []
    changed = [False] * len(pairs)
    for d in diffs:
        own = owners_of(_sides(d))
        for k in own:
            changed[k] = True
        owners.append(own)
    # A link or annotation change shows its pair too.
    for d in detail.get("document") or []:
        sides = (_page_of(d, "page_a"), _page_of(d, "page_b"))
        if sides != (0, 0):
            for k in owners_of(sides):
                changed[k] = True
    shown_at = [0] * len(pairs)
    shown = 0
    for k, (a, b) in enumerate(pairs):
        if a == 0 or b == 0:
            changed[k] = True
        if not changed_only or changed[k]:
            shown += 1
            shown_at[k] = shown
    summary_pages = pdf_pages - shown
    if pdf_pages <= 0 or summary_pages < 1:
        return pages
    for i, own in enumerate(owners):
        if own and shown_at[own[0]] > 0:
            pages[i] = summary_pages + shown_at[own[0]]
    return pages


def _where(d: Dict[str, Any]) -> str:
    if "page_a" not in d and "page_b" not in d:
        return f"page {_page_of(d, 'page')}" if _page_of(d, "page") else "document"
    pa, pb = _page_of(d, "page_a"), _page_of(d, "page_b")
    return (f"A p. {pa}" if pa else "not in A") + " | " + (f"B p. {pb}" if pb else "not in B")


def _size_words(s: Dict[str, Any]) -> str:
    w, h, r = s.get("width"), s.get("height"), s.get("rotation")
    if not all(isinstance(x, (int, float)) and not isinstance(x, bool) for x in (w, h)):
        return plain(s)
    out = f"{number(w)} × {number(h)} pt"
    if isinstance(r, int) and not isinstance(r, bool) and r != 0:
        out += f", turned {r}°"
    return out


def _old_and_new(old: Any, new: Any) -> str:
    def text(v: Any) -> str:
        return "" if v is None else v if isinstance(v, str) else plain(v)
    o, n = text(old), text(new)
    out = f"<del>{escape(o)}</del>" if o else ""
    if o and n:
        out += " "
    if n:
        out += f"<ins>{escape(n)}</ins>"
    return out


def _changes(changes: List[Dict[str, Any]], max_changes: int) -> str:
    out = '<ul class="words">\n'
    shown = changes[:max_changes] if max_changes else changes
    for c in shown:
        before, after = c.get("before"), c.get("after")
        out += "<li>"
        if isinstance(before, str) and before:
            out += f'<span class="context">… {escape(before)}</span> '
        out += _old_and_new(c.get("old"), c.get("new"))
        if isinstance(after, str) and after:
            out += f' <span class="context">{escape(after)} …</span>'
        out += "</li>\n"
    if len(shown) < len(changes):
        out += f'<li class="more">{count(len(changes) - len(shown), "more change", "more changes")}</li>\n'
    return out + "</ul>\n"


def _rects(d: Dict[str, Any]) -> str:
    line = ""
    for side in ("rects_a", "rects_b"):
        rects = d.get(side)
        if not isinstance(rects, list) or not rects:
            continue
        line += "; " if line else ""
        line += "on A " if side == "rects_a" else "on B "
        line += ", ".join(plain(r) for r in rects[:3])
        if len(rects) > 3:
            line += f" and {len(rects) - 3} more"
    return f'<div class="field"><span class="name">marked:</span> {escape(line)}</div>\n' if line else ""


def _fields(d: Dict[str, Any]) -> str:
    out = ""
    size_a, size_b = d.get("size_a"), d.get("size_b")
    if isinstance(size_a, dict) and isinstance(size_b, dict) and _size_words(size_a) != _size_words(size_b):
        out += (f'<div class="field"><span class="name">page:</span> <del>{escape(_size_words(size_a))}</del> '
                f'<ins>{escape(_size_words(size_b))}</ins></div>\n')
    if d.get("old") is not None or d.get("new") is not None:
        out += f'<div class="field">{_old_and_new(d.get("old"), d.get("new"))}</div>\n'
    for name, value in d.items():
        if name in _HEADING or value is None:
            continue
        out += f'<div class="field"><span class="name">{escape(name)}:</span> {escape(plain(value))}</div>\n'
    return out + _rects(d)


def difference_item(d: Dict[str, Any], report_page: int, pdf_href: str, max_changes: int = 0) -> str:
    kind = d.get("type") if isinstance(d.get("type"), str) else d.get("kind")
    kind = kind if isinstance(kind, str) else "difference"
    way = direction(kind)
    cls = " added" if way > 0 else " removed" if way < 0 else ""
    out = (f'<li><span class="where">{escape(_where(d))}</span> <span class="kind{cls}">'
           f'{escape(describe(kind))}</span>')
    if report_page > 0 and pdf_href:
        out += f' <a class="pdf" href="{pdf_href}#page={report_page}">report page {report_page}</a>'
    out += "\n"
    changes = d.get("changes")
    out += _changes(changes, max_changes) if isinstance(changes, list) else _fields(d)
    return out + "</li>\n"


def page_head(title: str) -> str:
    return (f'<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n<title>{escape(title)}'
            f"</title>\n{_STYLE}</head>\n<body>\n")


def pair_page(detail: Dict[str, Any], title: str, name_a: str, name_b: str, pdf_href: str = "",
              side_by_side: bool = False, changed_only: bool = False, pdf_pages: int = 0,
              index_href: str = "") -> str:
    """The whole review page of a pair from its detail report."""
    out = page_head("morvex review: " + title)
    if index_href:
        out += f'<p class="nav"><a href="{index_href}">all files</a></p>\n'
    out += f"<h1>{escape(title)}</h1>\n"
    out += f"<p>old (A): <code>{escape(name_a)}</code><br>new (B): <code>{escape(name_b)}</code></p>\n"
    out += f'<p class="summary">{escape(summary(detail))}</p>\n'
    if pdf_href:
        out += f'<p><a class="pdf" href="{pdf_href}">the visual report (PDF)</a></p>\n'
    diffs = detail.get("differences") or []
    out += "<h2>Changes by page</h2>\n"
    if not diffs:
        out += "<p>No differences on the pages.</p>\n"
    else:
        pages = report_pages(detail, side_by_side, changed_only, pdf_pages)
        out += '<ol class="diffs">\n'
        out += "".join(difference_item(d, p, pdf_href) for d, p in zip(diffs, pages))
        out += "</ol>\n"
    for name, value in detail.items():
        if not isinstance(value, list) or not value or name in ("differences", "pairs"):
            continue
        out += f'<h2>{escape(describe(name))}</h2>\n<ol class="diffs">\n'
        out += "".join(difference_item(d if isinstance(d, dict) else {}, 0, pdf_href) for d in value)
        out += "</ol>\n"
    return out + "</body>\n</html>\n"


def words(detail: Dict[str, Any], max_differences: int = 10) -> str:
    """The differences as the command's text format shows them:
    'page 1: text changed', then '    ... before [-old-]{+new+} after ...'."""
    lines = []
    diffs = detail.get("differences") or []
    for d in diffs[:max_differences]:
        where = f"page {d.get('page')}"
        pa, pb = _page_of(d, "page_a"), _page_of(d, "page_b")
        if pa and pb and pa != pb:
            where += f" (page {pa} in A)"
        lines.append(f"{where}: {describe(str(d.get('type')))}")
        for c in d.get("changes") or []:
            line = "    "
            if c.get("before"):
                line += "... " + printable(c["before"]) + " "
            if c.get("old"):
                line += "[-" + printable(c["old"]) + "-]"
            if c.get("new"):
                line += "{+" + printable(c["new"]) + "+}"
            if c.get("after"):
                line += " " + printable(c["after"]) + " ..."
            lines.append(line)
    if len(diffs) > max_differences:
        lines.append("... " + count(len(diffs) - max_differences, "more difference", "more differences"))
    return "\n".join(lines)


def write_review(a: Any, b: Any, html_path: Any, detail: Dict[str, Any], pdf_path: Optional[str],
                 side_by_side: bool, changed_only: bool) -> None:
    """Writes the review page of a and b to html_path; pdf_path, when given,
    is their visual report, already written."""
    name_a, name_b = os.fsdecode(a), os.fsdecode(b)
    base_a, base_b = os.path.basename(name_a), os.path.basename(name_b)
    title = base_b if base_a == base_b else f"{base_a} vs {base_b}"
    pdf_href = href(os.path.basename(os.fsdecode(pdf_path))) if pdf_path else ""
    pages = pdf_page_count(os.fsdecode(pdf_path)) if pdf_path else 0
    page = pair_page(detail, title, name_a, name_b, pdf_href, side_by_side, changed_only, pages)
    html_path = os.fsdecode(html_path)
    temp = html_path + ".tmp"
    with open(temp, "w", encoding="utf-8", errors="surrogateescape", newline="\n") as f:
        f.write(page)
    os.replace(temp, html_path)
