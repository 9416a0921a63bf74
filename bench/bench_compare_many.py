"""compare_many with local worker processes against a loop of single calls.

    /usr/bin/python3 bench/bench_compare_many.py [--pairs 2000] [--repeat 3] [--times 1]

Writes PAIRS small pairs (copies of the example pair, every second pair
identical; --times N repeats its pages N times, with qpdf) into a scratch
folder and times, on the same pairs:
  loop        morvex.compare(a, b) for each pair, one after the other
  workers=1   compare_many with one worker process (the cost of the machinery)
  workers=N   compare_many with one worker per available core
  dask        compare_many on a dask LocalCluster of N worker processes
              (when dask.distributed is installed; its start is not timed)
Each figure is the best of --repeat runs, with its CPU time (this process
and the local workers; dask's workers are not counted).  Uses the morvex that `import
morvex` finds, or python/ of this tree with MORVEX_LIBRARY.
"""

import argparse
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
try:
    import morvex
except ImportError:
    sys.path.insert(0, os.path.join(HERE, os.pardir, "python"))
    import morvex


def repeated(source: str, times: int, out: str) -> str:
    """source's pages times over, with qpdf."""
    if times == 1:
        return source
    subprocess.run(["qpdf", "--empty", "--pages", *([source] * times), "--", out], check=True)
    return out


def make_pairs(folder: str, count: int, times: int):
    a = repeated(os.path.join(HERE, os.pardir, "examples", "a.pdf"), times, os.path.join(folder, "a.pdf"))
    b = repeated(os.path.join(HERE, os.pardir, "examples", "b.pdf"), times, os.path.join(folder, "b.pdf"))
    pairs = []
    for i in range(count):
        old, new = os.path.join(folder, f"{i}-old.pdf"), os.path.join(folder, f"{i}-new.pdf")
        shutil.copyfile(a, old)
        shutil.copyfile(a if i % 2 else b, new)
        pairs.append((old, new))
    return pairs


def cpu_seconds() -> float:
    """CPU time of this process and its ended children (the local workers)."""
    own, children = resource.getrusage(resource.RUSAGE_SELF), resource.getrusage(resource.RUSAGE_CHILDREN)
    return own.ru_utime + own.ru_stime + children.ru_utime + children.ru_stime


def best(runs: int, fn):
    """The best wall time of runs, the CPU time of that run, and the result."""
    runs_seen = []
    for _ in range(runs):
        cpu, start = cpu_seconds(), time.perf_counter()
        result = fn()
        runs_seen.append((time.perf_counter() - start, cpu_seconds() - cpu))
    wall, cpu = min(runs_seen)
    return wall, cpu, result


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--pairs", type=int, default=2000)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--times", type=int, default=1,
                        help="each file holds the example's 3 pages this many times (qpdf)")
    args = parser.parse_args()
    cores = len(os.sched_getaffinity(0))
    folder = tempfile.mkdtemp(prefix="morvex-bench-")
    try:
        pairs = make_pairs(folder, args.pairs, args.times)
        print(f"{args.pairs} pairs of {os.path.getsize(pairs[0][0])}-byte files, {cores} cores, "
              f"morvex {morvex.__version__} ({morvex.library_path})")
        loop_time, loop_cpu, loop = best(args.repeat, lambda: [morvex.compare(a, b) for a, b in pairs])
        rows = [("loop of single calls", loop_time, loop_cpu)]
        for workers in sorted({1, cores}):
            t, cpu, many = best(args.repeat, lambda: morvex.compare_many(pairs, workers=workers))
            assert [r.report for r in many] == loop
            rows.append((f"compare_many, {workers} worker{'s' if workers > 1 else ''}", t, cpu))
        try:
            from distributed import Client, LocalCluster
        except ImportError:
            LocalCluster = None
        if LocalCluster is not None:
            with LocalCluster(n_workers=cores, threads_per_worker=1, processes=True,
                              dashboard_address=None, silence_logs=50) as cluster, Client(cluster) as client:
                t, _, many = best(args.repeat, lambda: morvex.compare_many(pairs, executor=client))
                assert [r.report for r in many] == loop
                rows.append((f"compare_many, dask LocalCluster of {cores}", t, None))
        print(f"load average {os.getloadavg()[0]:.1f}; CPU: this process and its local workers")
        print(f"{'':40} {'seconds':>8} {'pairs/s':>8} {'vs loop':>8} {'CPU s':>8}")
        for name, t, cpu in rows:
            shown = f"{cpu:8.3f}" if cpu is not None else f"{'-':>8}"
            print(f"{name:40} {t:8.3f} {args.pairs / t:8.0f} {loop_time / t:7.2f}x {shown}")
        print(many.summary())
    finally:
        shutil.rmtree(folder, True)


if __name__ == "__main__":
    main()
