#!/usr/bin/env python3
"""What the Python module costs and what its threads gain.

1. Overhead: the same case run by torvex-batch (a process, results written)
   and by the module (case.run(results_dir=...), results written the same;
   and case.run() without files), interleaved, median of the runs: wall
   time, and processor time (user + system: the child's for torvex-batch,
   this process's for the module), which a loaded machine disturbs less.
2. Threads: four cases (four temperatures) one after another, then at once
   in four threads (ThreadPoolExecutor), median wall time of the rounds.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_module.py \
        --batch build/bin/torvex-batch [--runs 5] [--end 20000]
"""

import argparse
import os
import resource
import statistics
import subprocess
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

import torvex


def cpu_self():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def cpu_children():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed_batch(batch, folder, case, end, results):
    cpu, wall = cpu_children(), time.perf_counter()
    subprocess.run([batch, "--quiet", "--set", f"D1=0 {end}", "--results", results, case], cwd=folder, check=True,
                   stdout=subprocess.DEVNULL)
    return time.perf_counter() - wall, cpu_children() - cpu


def timed_module(case, results_dir):
    cpu, wall = cpu_self(), time.perf_counter()
    result = case.run(results_dir=results_dir)
    elapsed = time.perf_counter() - wall, cpu_self() - cpu
    assert result.outcome == "completed", result.outcome
    return elapsed


def median_line(name, samples, baseline=None):
    wall = statistics.median(s[0] for s in samples)
    cpu = statistics.median(s[1] for s in samples)
    line = f"  {name:<34} wall {wall:7.3f} s   cpu {cpu:7.3f} s"
    if baseline:
        b_wall = statistics.median(s[0] for s in baseline)
        b_cpu = statistics.median(s[1] for s in baseline)
        line += f"   ({100 * (wall / b_wall - 1):+5.1f} % wall, {100 * (cpu / b_cpu - 1):+5.1f} % cpu)"
    return line


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--end", type=float, default=20000, help="end time of the runs, s")
    parser.add_argument("--sample", default="interdiffusion.dat")
    args = parser.parse_args()
    batch = os.path.abspath(args.batch)
    work = tempfile.mkdtemp(prefix="torvex-python-bench.")
    torvex.write_samples(work)
    path = os.path.join(work, args.sample)
    case = torvex.Case.load(path, set={"D1": f"0 {args.end:g}"})
    print(f"torvex {torvex.__version__}; {args.sample} to {args.end:g} s, {args.runs} runs each; "
          f"load average {os.getloadavg()[0]:.2f} at the start, {os.cpu_count()} cores")

    batch_runs, module_files, module_memory = [], [], []
    for k in range(args.runs):
        batch_runs.append(timed_batch(batch, work, args.sample, f"{args.end:g}", f"batch-{k}"))
        module_files.append(timed_module(case, os.path.join(work, f"module-{k}")))
        module_memory.append(timed_module(case, None))
    print("Overhead (median):")
    print(median_line("torvex-batch (results written)", batch_runs))
    print(median_line("module, results_dir (written)", module_files, batch_runs))
    print(median_line("module, no files", module_memory, batch_runs))

    cases = [case.with_set(D8=t) for t in (1173, 1223, 1273, 1323)]
    sequential, threaded = [], []
    for _ in range(args.runs):
        began = time.perf_counter()
        alone = [c.run() for c in cases]
        sequential.append(time.perf_counter() - began)
        began = time.perf_counter()
        with ThreadPoolExecutor(4) as pool:
            together = list(pool.map(lambda c: c.run(), cases))
        threaded.append(time.perf_counter() - began)
        assert all(np.array_equal(a.at_pct, b.at_pct) for a, b in zip(alone, together))
    s, t = statistics.median(sequential), statistics.median(threaded)
    print("Four cases (median wall time):")
    print(f"  one after another  {s:7.3f} s")
    print(f"  four threads       {t:7.3f} s   speed-up {s / t:.2f}")
    print(f"load average {os.getloadavg()[0]:.2f} at the end")


if __name__ == "__main__":
    main()
