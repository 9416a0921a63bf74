"""Tests of morvex.compare_many: local worker processes, executors and a
dask.distributed cluster give the results of one call per pair, in order;
failed pairs and killed workers cost no other pair its result.

Environment as for test_morvex.py (MORVEX_FIXTURES, MORVEX_TEST_TMP,
MORVEX_LIBRARY or MORVEX_TEST_INSTALLED).
"""

import concurrent.futures
import io
import json
import os
import shutil
import signal
import sys
import tempfile
import threading
import unittest
from unittest import mock

HERE = os.path.dirname(os.path.abspath(__file__))
if os.environ.get("MORVEX_TEST_INSTALLED"):
    # Not the copy beside this file, which `python3 test_batch.py` puts first.
    sys.path = [p for p in sys.path if os.path.abspath(p or os.curdir) != HERE]
else:
    sys.path.insert(0, HERE)
import morvex  # noqa: E402

FIXTURES = os.environ.get("MORVEX_FIXTURES", "")
SCRATCH = os.environ.get("MORVEX_TEST_TMP") or tempfile.gettempdir()


def fx(name: str) -> str:
    return os.path.join(FIXTURES, name)


class KillOnce(os.PathLike):
    """A path that kills the worker process resolving it the first time (the
    marker file records that), and is the real path from then on."""

    def __init__(self, path: str, marker: str):
        self.path, self.marker, self.parent = path, marker, os.getpid()

    def __fspath__(self) -> str:
        if os.getpid() != self.parent:
            try:
                os.close(os.open(self.marker, os.O_CREAT | os.O_EXCL | os.O_WRONLY))
            except FileExistsError:
                return self.path
            os.kill(os.getpid(), signal.SIGKILL)
        return self.path

    def __repr__(self) -> str:
        return f"KillOnce({self.path!r})"


class KillAlways(os.PathLike):
    """A path that kills every worker process resolving it."""

    def __init__(self, path: str):
        self.path, self.parent = path, os.getpid()

    def __fspath__(self) -> str:
        if os.getpid() != self.parent:
            os.kill(os.getpid(), signal.SIGKILL)
        return self.path


def expected(pairs, report="compare", options=None):
    """What one call per pair gives, as compare_many reports it."""
    call = {"compare": morvex.compare, "text": morvex.text, "detail": morvex.detail}[report]
    out = []
    for a, b in pairs:
        a = a.path if isinstance(a, (KillOnce, KillAlways)) else a
        b = b.path if isinstance(b, (KillOnce, KillAlways)) else b
        try:
            r = call(a, b, **(options or {}))
            out.append(("identical" if r["identical"] else "different", r, None))
        except morvex.Error as e:
            out.append(("error", None, str(e)))
    return out


def got(results):
    return [(r.status, r.report, r.error) for r in results]


class Batch(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs(SCRATCH, exist_ok=True)
        cls.folder = tempfile.mkdtemp(prefix="python-batch-", dir=SCRATCH)
        cls.empty = os.path.join(cls.folder, "empty.pdf")
        open(cls.empty, "wb").close()
        hello, goodbye = fx("hello.pdf"), fx("goodbye.pdf")
        cls.pairs = [(hello, goodbye), (hello, fx("hello-copy.pdf")), (fx("escapes-a.pdf"), fx("escapes-b.pdf")),
                     (fx("image-left.pdf"), fx("image-right.pdf")), (fx("hello-2pages.pdf"), hello),
                     (hello, fx("missing.pdf")), (cls.empty, hello), (fx("encrypted.pdf"), hello),
                     (hello, fx("hello-2pages.pdf")), (goodbye, goodbye)] * 3

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, True)

    def marker(self, name):
        path = os.path.join(self.folder, name)
        if os.path.exists(path):
            os.remove(path)
        return path

    def check(self, pairs, results, report="compare"):
        self.assertIsInstance(results, morvex.BatchResults)
        self.assertEqual(got(results), expected(pairs, report))
        self.assertEqual([(r.a, r.b) for r in results], pairs)


class LocalWorkers(Batch):
    def test_results_of_one_call_per_pair_in_order(self):
        for report, chunk in (("compare", 3), ("text", None), ("compare", 1)):
            with self.subTest(report=report, chunk=chunk):
                results = morvex.compare_many(self.pairs, report=report, workers=2, chunk_size=chunk)
                self.check(self.pairs, results, report)
        self.assertEqual(results.summary(), "30 pairs compared: 6 identical, 15 different, 9 errors")
        self.assertEqual(results.counts(), {"identical": 6, "different": 15, "error": 9})
        self.assertEqual(results[5].error, "cannot open file: " + fx("missing.pdf"))
        self.assertEqual(results[6].error, "empty file: " + self.empty)
        # With another thread running, workers start through the forkserver.
        stop = threading.Event()
        thread = threading.Thread(target=stop.wait)
        thread.start()
        try:
            self.assertEqual(morvex._batch._local_context().get_start_method(), "forkserver")
            self.check(self.pairs, morvex.compare_many(self.pairs, workers=2))
        finally:
            stop.set()
            thread.join()
        self.assertEqual(morvex.compare_many([]), [])
        self.assertEqual(morvex.compare_many(iter(self.pairs[:2]), workers=8).summary(),
                         "2 pairs compared: 1 identical, 1 different, 0 errors")

    def test_a_killed_worker_loses_no_pair(self):
        pairs = list(self.pairs[:12])
        pairs[3] = (KillOnce(pairs[3][0], self.marker("once")), pairs[3][1])
        results = morvex.compare_many(pairs, workers=2, chunk_size=4)
        self.check(pairs, results)
        self.assertTrue(os.path.exists(pairs[3][0].marker))  # it did kill one

    def test_a_pair_that_kills_every_worker_fails_alone(self):
        pairs = list(self.pairs[:12])
        pairs[9] = (fx("hello.pdf"), KillAlways(fx("goodbye.pdf")))
        results = morvex.compare_many(pairs, workers=2, chunk_size=5)
        want = expected(pairs)
        want[9] = ("error", None, "worker died (signal 9)")
        self.assertEqual(got(results), want)
        # The pair alone is not run again; its chunk still is, pair by pair.
        self.assertEqual(got(morvex.compare_many(pairs, workers=2, chunk_size=5, retries=0)), want)
        self.assertEqual(got(morvex.compare_many(pairs, workers=2, chunk_size=1, retries=3)), want)

    def test_bad_arguments_are_refused_at_once(self):
        hello = fx("hello.pdf")
        for call, error in [
                (lambda: morvex.compare_many([(hello, hello)], report="visual"), ValueError),
                (lambda: morvex.compare_many([hello]), TypeError),
                (lambda: morvex.compare_many([(hello, hello, hello)]), TypeError),
                (lambda: morvex.compare_many([(hello, None)]), TypeError),
                (lambda: morvex.compare_many([(hello, hello + "\0")]), ValueError),
                (lambda: morvex.compare_many([(hello, hello)], options={"pages_a": {1}}), TypeError),
                (lambda: morvex.compare_many([(hello, hello)], options={"report": "text"}), TypeError),
                (lambda: morvex.compare_many([(hello, hello)], executor=object()), TypeError),
                (lambda: morvex.compare_many([(hello, hello)], workers=0), ValueError),
                (lambda: morvex.compare_many([(hello, hello)], chunk_size=0), ValueError)]:
            with self.assertRaises(error):
                call()
        # The library's own check, before any pair runs.
        with self.assertRaises(morvex.Error) as cm:
            morvex.compare_many([(hello, hello)] * 3, options={"pairing": "by-magic"})
        self.assertEqual(str(cm.exception), 'options: "pairing" must be "position" or "content"')
        results = morvex.compare_many(self.pairs, "text", options={"pairing": "position", "pages_a": None})
        self.check(self.pairs, results, "text")

    def test_progress_bar_and_json_lines(self):
        try:
            import tqdm  # noqa: F401
        except ImportError:
            self.skipTest("tqdm is not installed")
        err = io.StringIO()
        with mock.patch.object(sys, "stderr", err):
            results = morvex.compare_many(self.pairs[:10], workers=2, progress=True)
        self.assertIn("10/10", err.getvalue())
        self.assertIn("5 different, 3 errors", err.getvalue())
        lines = [r.json_line(f"d/{i}.pdf") for i, r in enumerate(results)]
        self.assertEqual(json.loads(lines[0]), {"path": "d/0.pdf", "status": "different",
                                                "report": results[0].report})
        self.assertEqual(lines[5], '{"path":"d/5.pdf","status":"error","error":"cannot open file: '
                         + fx("missing.pdf") + '"}')
        # Control characters as the command writes them.
        self.assertIn("\\u0001\\u001b caf\u00e9", morvex.compare_many([self.pairs[2]], "text")[0].json_line("x"))
        self.assertEqual(morvex.PairResult("a", "b", "identical", {"s": "\b\f\\b"}).json_line(b"\xff.pdf"),
                         '{"path":"\ufffd.pdf","status":"identical","report":{"s":"\\u0008\\u000c\\\\b"}}')


class Executors(Batch):
    def test_process_and_thread_pools(self):
        for pool in (concurrent.futures.ProcessPoolExecutor(2), concurrent.futures.ThreadPoolExecutor(3)):
            with self.subTest(pool=type(pool).__name__), pool:
                self.check(self.pairs, morvex.compare_many(self.pairs, executor=pool, chunk_size=4))

    def test_a_broken_process_pool_gives_error_results(self):
        pairs = list(self.pairs[:8])
        pairs[2] = (KillAlways(pairs[2][0]), pairs[2][1])
        with concurrent.futures.ProcessPoolExecutor(2) as pool:
            results = morvex.compare_many(pairs, executor=pool, chunk_size=2)
        self.assertEqual(len(results), 8)
        self.assertEqual(results[2].error, "worker died (BrokenProcessPool)")
        for r, want in zip(results, expected(pairs)):
            self.assertIn((r.status, r.report, r.error), (want, ("error", None, "worker died (BrokenProcessPool)")))


class Dask(Batch):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        try:
            import dask
            from distributed import Client, LocalCluster
        except ImportError:
            raise unittest.SkipTest("dask.distributed is not installed")
        # A task whose worker dies fails at once, and compare_many runs it
        # again; tasks wait at the scheduler until a worker is free, so a dying
        # worker takes only its own task with it.
        cls.config = dask.config.set({"distributed.scheduler.allowed-failures": 0,
                                      "distributed.scheduler.worker-saturation": 1.0})
        cls.config.__enter__()
        cls.cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                   dashboard_address=None, silence_logs=50)
        cls.client = Client(cls.cluster)

    @classmethod
    def tearDownClass(cls):
        if hasattr(cls, "client"):
            cls.client.close()
            cls.cluster.close()
            cls.config.__exit__(None, None, None)
        super().tearDownClass()

    def test_results_of_one_call_per_pair_in_order(self):
        self.check(self.pairs, morvex.compare_many(self.pairs, executor=self.client, chunk_size=4))
        self.check(self.pairs, morvex.compare_many(self.pairs, "text", executor=self.client), "text")

    def test_killed_workers_lose_no_pair(self):
        pairs = list(self.pairs[:12])
        pairs[2] = (KillOnce(pairs[2][0], self.marker("dask-once")), pairs[2][1])
        pairs[7] = (pairs[7][0], KillAlways(pairs[7][1]))
        results = morvex.compare_many(pairs, executor=self.client, chunk_size=3)
        self.assertTrue(os.path.exists(pairs[2][0].marker))
        want = expected(pairs)
        want[7] = ("error", None, "worker died (KilledWorker)")
        self.assertEqual(got(results), want)


if __name__ == "__main__":
    if not os.path.isfile(fx("hello.pdf")):
        sys.exit("MORVEX_FIXTURES must name the folder of the fixture files")
    unittest.main(verbosity=2)
