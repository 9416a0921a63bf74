"""compare_many(): many pairs of PDF files, in worker processes or on an executor.

The library keeps process-wide state, so pairs run in parallel only in
separate processes: local worker processes by default, or the processes
behind a concurrent.futures.Executor or a dask.distributed Client.  Pairs
travel in chunks (one task per chunk, to keep the cost per pair low); a
chunk whose worker dies is run again one pair per task, so a pair that
kills its worker fails alone and every other pair still gets its result.
"""

import concurrent.futures
import json
import math
import multiprocessing
import multiprocessing.connection
import os
import queue
import re
import signal
import sys
import threading
from collections import deque
from dataclasses import dataclass
from typing import Any, Callable, Deque, Dict, Iterable, List, Mapping, Optional, Sequence, Tuple

from . import REPORTS, Error, PathArg, Report, _check_options, _options_json, _path, _raw_report

Pair = Tuple[PathArg, PathArg]
# A worker's answer for one pair: ("ok", the library's JSON text) or
# ("error", the message).
Outcome = Tuple[str, str]

# Chunks hold at most this many pairs: enough to make the cost of a task
# small beside the comparisons, few enough to keep every worker busy.
MAX_CHUNK = 64


@dataclass(frozen=True)
class PairResult:
    """The result of one pair: status is "identical", "different" or "error";
    report is the parsed report (None on error); error is the message (None
    unless status is "error")."""

    a: Any
    b: Any
    status: str
    report: Optional[Report] = None
    error: Optional[str] = None

    @property
    def identical(self) -> bool:
        return self.status == "identical"

    def json_line(self, path: str) -> str:
        """This pair as the JSON line `morvex compare --dir --jsonl` writes for
        the file at the relative path path (no line feed)."""
        line: Dict[str, Any] = {"path": _text(path), "status": self.status}
        if self.report is not None:
            line["report"] = self.report
        if self.status == "error":
            line["error"] = self.error or ""
        return cli_json(line)


def cli_json(value: Any) -> str:
    """value as the command writes JSON: compact, UTF-8 text as it is, control
    characters other than \\n, \\r and \\t as \\u00xx."""
    dumped = json.dumps(value, ensure_ascii=False, separators=(",", ":"))
    return re.sub(r"\\(.)", lambda m: {"b": "\\u0008", "f": "\\u000c"}.get(m.group(1), m.group(0)), dumped)


def _text(path: Any) -> str:
    """A path as the text of a JSON line: bytes that are not UTF-8 become U+FFFD."""
    return os.fsencode(path).decode("utf-8", "replace")


class BatchResults(List[PairResult]):
    """The results of compare_many(), one per pair, in the order of the pairs."""

    def counts(self) -> Dict[str, int]:
        """How many pairs are identical, different and failed."""
        counts = {"identical": 0, "different": 0, "error": 0}
        for r in self:
            counts[r.status] += 1
        return counts

    def summary(self) -> str:
        """A line like the command's: "3 pairs compared: 1 identical, 1 different, 1 error"."""
        c = self.counts()
        return (f"{_count(len(self), 'pair', 'pairs')} compared: {c['identical']} identical, "
                f"{c['different']} different, {_count(c['error'], 'error', 'errors')}")


def _count(n: int, one: str, many: str) -> str:
    return f"{n} {one if n == 1 else many}"


def _run_chunk(pairs: Sequence[Pair], report: str, options: Optional[bytes]) -> List[Outcome]:
    """Runs in a worker: every pair of a chunk, each failure kept to its pair."""
    outcomes: List[Outcome] = []
    for a, b in pairs:
        try:
            outcomes.append(("ok", _raw_report(report, a, b, options)))
        except Error as e:
            outcomes.append(("error", str(e)))
        except Exception as e:  # a pair must never cost the others their results
            outcomes.append(("error", f"{type(e).__name__}: {e}"))
    return outcomes


def _worker_main(conn: "multiprocessing.connection.Connection") -> None:
    """A local worker process: runs the chunks it receives until told to stop."""
    # Ctrl-C reaches the whole process group; the parent decides what stops.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    while True:
        try:
            task = conn.recv()
        except (EOFError, OSError):
            return
        if task is None:
            return
        conn.send(_run_chunk(*task))


def _available_cores() -> int:
    try:
        return max(1, len(os.sched_getaffinity(0)))
    except (AttributeError, OSError):
        return os.cpu_count() or 1


class _Schedule:
    """The pairs, their results so far, and what is left to run.

    A task is a list of pair indices.  When a task fails (its worker died, or
    the executor gave an exception) and holds several pairs, which of them
    caused it is unknown: each is queued again in a task of its own, ahead
    of the rest.  A failed task of one pair counts a failure of that pair,
    which runs again until it has failed more than `retries` times and then
    gets an error result."""

    def __init__(self, pairs: List[Pair], chunk: int, retries: int, progress: Any):
        self.pairs = pairs
        self.results: List[Optional[PairResult]] = [None] * len(pairs)
        self.failures = [0] * len(pairs)
        self.retries = retries
        self.progress = progress
        self.todo: Deque[List[int]] = deque(list(range(i, min(i + chunk, len(pairs))))
                                            for i in range(0, len(pairs), chunk))
        self.counts = {"identical": 0, "different": 0, "error": 0}

    def _set(self, index: int, result: PairResult) -> None:
        self.results[index] = result
        self.counts[result.status] += 1
        if self.progress is not None:
            self.progress.update(1)

    def complete(self, task: List[int], outcomes: Any) -> None:
        if not isinstance(outcomes, list) or len(outcomes) != len(task):
            self.fail(task, "worker gave no result")
            return
        for index, (kind, payload) in zip(task, outcomes):
            a, b = self.pairs[index]
            if kind == "ok":
                report = json.loads(payload)
                status = "identical" if report.get("identical") else "different"
                self._set(index, PairResult(a, b, status, report, None))
            else:
                self._set(index, PairResult(a, b, "error", None, payload))
        self._show()

    def fail(self, task: List[int], message: str) -> None:
        again = []
        for index in task:
            if len(task) == 1:
                self.failures[index] += 1
            if self.failures[index] > self.retries:
                a, b = self.pairs[index]
                self._set(index, PairResult(a, b, "error", None, message))
            else:
                again.append([index])
        self.todo.extendleft(reversed(again))
        self._show()

    def _show(self) -> None:
        if self.progress is not None:
            self.progress.set_postfix_str(f"{self.counts['different']} different, "
                                          f"{_count(self.counts['error'], 'error', 'errors')}")

    def chunk_of(self, task: List[int]) -> List[Pair]:
        return [self.pairs[i] for i in task]


def _exit_message(exitcode: Optional[int]) -> str:
    if exitcode is not None and exitcode < 0:
        return f"worker died (signal {-exitcode})"
    return f"worker died (exit status {exitcode})"


class _LocalWorker:
    """A worker process and the tasks sent to it, in the order it runs them:
    the first one is running, the next one waits in the pipe, so the worker
    never idles while the parent reads a result."""

    DEPTH = 2

    def __init__(self, context: Any):
        self.conn, child = context.Pipe()
        self.process = context.Process(target=_worker_main, args=(child,), daemon=True)
        self.process.start()
        child.close()
        self.tasks: Deque[List[int]] = deque()

    def stop(self, wait: float) -> None:
        try:
            self.conn.send(None)
        except (OSError, ValueError):
            pass
        self.process.join(wait)
        if self.process.is_alive():
            self.process.kill()
            self.process.join()
        self.conn.close()


def _local_context() -> Any:
    """fork, the fastest start, while the caller runs no other thread; then no
    lock can be held by a thread the child would not have.  Otherwise the
    forkserver: workers start from a clean single-threaded process."""
    methods = multiprocessing.get_all_start_methods()
    if "fork" in methods and threading.active_count() == 1:
        return multiprocessing.get_context("fork")
    return multiprocessing.get_context("forkserver" if "forkserver" in methods else "spawn")


def _run_local(s: _Schedule, report: str, options: Optional[bytes], workers: int) -> None:
    context = _local_context()
    pool: List[_LocalWorker] = []
    try:
        pool = [_LocalWorker(context) for _ in range(min(workers, len(s.todo)))]
        while True:
            for w in pool:
                while s.todo and len(w.tasks) < _LocalWorker.DEPTH:
                    task = s.todo.popleft()
                    w.tasks.append(task)
                    try:
                        w.conn.send((s.chunk_of(task), report, options))
                    except (OSError, ValueError):
                        break  # it died: the wait below sees it
            busy = [w for w in pool if w.tasks]
            if not busy:
                break
            ready = set(multiprocessing.connection.wait(
                [w.conn for w in busy] + [w.process.sentinel for w in busy]))
            for w in busy:
                if w.conn not in ready and w.process.sentinel not in ready:
                    continue
                try:
                    while w.tasks and w.conn.poll():
                        outcomes = w.conn.recv()
                        s.complete(w.tasks.popleft(), outcomes)
                except Exception:  # EOF, or a message cut short by its death
                    pass
                if w.process.is_alive() or not w.tasks:
                    continue
                # Died: its first task was running, the others had not started.
                w.process.join()
                s.todo.extendleft(reversed(list(w.tasks)[1:]))
                s.fail(w.tasks[0], _exit_message(w.process.exitcode))
                w.conn.close()
                pool.remove(w)
                if s.todo:
                    pool.append(_LocalWorker(context))
    finally:
        for w in pool:
            w.stop(0.0 if w.tasks else 5.0)


def _failure_message(e: BaseException) -> str:
    name = type(e).__name__
    if isinstance(e, (concurrent.futures.BrokenExecutor, concurrent.futures.CancelledError)) \
            or name == "KilledWorker":
        return f"worker died ({name})"
    return f"{name}: {e}"


def _run_futures(s: _Schedule, report: str, options: Optional[bytes],
                 submit: Callable[..., Any], width: int) -> None:
    """Runs the tasks through submit(fn, *args) -> a future with result() and
    add_done_callback(), keeping a few tasks per worker in flight."""
    done: "queue.Queue[Tuple[Any, List[int]]]" = queue.Queue()
    in_flight: Dict[int, Any] = {}
    window = 2 * width + 2
    try:
        while s.todo or in_flight:
            while s.todo and len(in_flight) < window:
                task = s.todo.popleft()
                try:
                    future = submit(_run_chunk, s.chunk_of(task), report, options)
                except Exception as e:  # a closed client, a broken pool
                    s.fail(task, _failure_message(e))
                    continue
                in_flight[id(task)] = future
                future.add_done_callback(lambda f, t=task: done.put((f, t)))
            if not in_flight:
                continue
            future, task = done.get()
            del in_flight[id(task)]
            try:
                outcomes = future.result()
            except BaseException as e:  # noqa: B036 - CancelledError is a BaseException
                if isinstance(e, (KeyboardInterrupt, SystemExit)):
                    raise
                s.fail(task, _failure_message(e))
                continue
            s.complete(task, outcomes)
    finally:
        for future in in_flight.values():
            future.cancel()


def _progress_bar(progress: Optional[bool], total: int) -> Any:
    if progress is False:
        return None
    try:
        from tqdm import tqdm  # type: ignore
    except ImportError:
        if progress:
            raise ImportError("progress=True needs tqdm (pip install tqdm, or Debian's python3-tqdm)") from None
        return None
    if progress is None and not (hasattr(sys.stderr, "isatty") and sys.stderr.isatty()):
        return None
    return tqdm(total=total, unit="pair", file=sys.stderr, dynamic_ncols=True)


def _is_dask_client(executor: Any) -> bool:
    return type(executor).__module__.split(".")[0] == "distributed" and hasattr(executor, "gather")


def compare_many(pairs: Iterable[Pair], report: str = "compare", options: Optional[Mapping[str, Any]] = None,
                 executor: Any = None, *, workers: Optional[int] = None, chunk_size: Optional[int] = None,
                 retries: int = 1, progress: Optional[bool] = None) -> BatchResults:
    """Compares many pairs of PDF files in parallel; one result per pair, in
    the order of the pairs.

    pairs: (a, b) path pairs.  report: "compare", "text" or "detail".
    options: the options of compare() as a dict, the same for every pair.

    executor: None runs local worker processes (workers of them, default one
    per available core); or any concurrent.futures.Executor whose workers are
    processes (ProcessPoolExecutor: a thread pool works but runs one pair at
    a time, as the library does); or a dask.distributed Client, which spreads
    the pairs over its cluster.  morvex must be importable where the workers
    run, and the paths must be readable there, under the same names.

    Each result is a PairResult: status "identical", "different" or
    "error", the report, or the error message.  A pair that fails (a missing
    or corrupt file) gets its error and the others go on.  A chunk whose
    worker dies is run again pair by pair; a pair whose worker dies while it
    runs alone is run again up to `retries` times, then gets an error result
    ("worker died (signal 9)" for a local worker, "worker died (KilledWorker)"
    on dask).  A ProcessPoolExecutor that
    loses a worker is broken for good, so its remaining pairs fail; the local
    workers and dask replace a worker that dies.

    chunk_size: pairs per task (default: enough chunks to keep every worker
    busy, at most 64 pairs each).  progress: a tqdm progress bar on standard
    error (None: when tqdm is installed and standard error is a terminal).
    Local workers are forked while the caller runs no other thread, and
    start through the forkserver otherwise, which imports the main script
    again in each worker: a script that calls compare_many needs the
    `if __name__ == "__main__":` guard, as any multiprocessing code.

    Returns a BatchResults list; its summary() is a line like the command's.
    Raises at once, before any pair runs: ValueError or TypeError for an
    unknown report kind, a malformed pair or an option that is not JSON,
    and Error for options the library refuses ("options: unknown key ...").
    """
    if report not in REPORTS:
        raise ValueError(f"report must be one of {', '.join(REPORTS)}, not {report!r}")
    if retries < 0:
        raise ValueError("retries must be 0 or more")
    items: List[Pair] = []
    for pair in pairs:
        if isinstance(pair, (str, bytes)) or not isinstance(pair, (tuple, list)) or len(pair) != 2:
            raise TypeError(f"each pair must be a tuple (a, b) of two paths, not {pair!r}")
        _path(pair[0])
        _path(pair[1])
        items.append((pair[0], pair[1]))
    encoded = _options_json(report, dict(options or {}))
    _check_options(encoded)

    if executor is None:
        width = workers if workers is not None else _available_cores()
        if width < 1:
            raise ValueError("workers must be 1 or more")
        submit = None
    elif isinstance(executor, concurrent.futures.Executor):
        width = getattr(executor, "_max_workers", None) or _available_cores()
        submit = executor.submit
    elif _is_dask_client(executor):
        width = max(1, sum(executor.nthreads().values()))

        def submit(fn: Callable[..., Any], *args: Any) -> Any:
            # pure=False: a chunk run again is a new task, not the failed one.
            return executor.submit(fn, *args, pure=False)
    else:
        raise TypeError("executor must be None, a concurrent.futures.Executor or a dask.distributed Client")

    chunk = chunk_size if chunk_size is not None else max(1, min(MAX_CHUNK, math.ceil(len(items) / (4 * width))))
    if chunk < 1:
        raise ValueError("chunk_size must be 1 or more")
    bar = _progress_bar(progress, len(items)) if items else None
    schedule = _Schedule(items, chunk, retries, bar)
    try:
        if submit is None:
            _run_local(schedule, report, encoded, width)
        else:
            _run_futures(schedule, report, encoded, submit, width)
    finally:
        if bar is not None:
            bar.close()
    results = BatchResults()
    for r in schedule.results:
        assert r is not None
        results.append(r)
    return results
