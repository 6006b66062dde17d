#!/usr/bin/env python3
"""Times a long thermal-cycling run against the same run without cycles, with both integrators.

The coating of examples/life at 1123 K for 900 000 s: once as 10 000 cycles of
60 s + 30 s at 1123 K with 1 % of the scale spalling at every cool-down
(--cycles "10000:60@1123,30@1123" --spall 0.01 --oxide 1), once as one anneal
of the same length. Both holds are at the same temperature, so the two runs
differ only by what the cycles cost: passes landing on 20 000 corners, the
restarts of the implicit integrator there, the spalls and their books.

Whole torvex-batch runs, each in a fresh folder with its results files, the
median of --runs runs: passes, processor time (user + system), peak resident
memory, the size of run.json, and the processor time per pass; the last column
sets the cycled run's time per pass beside the anneal's with the same
integrator. The load average is printed with the table.
"""
import argparse
import os
import statistics

import rk_baselines

CASE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "life", "coating.dat")
CYCLES = ["--cycles", "10000:60@1123,30@1123", "--spall", "0.01", "--oxide", "1"]


def run_json_bytes(folder):
    return os.path.getsize(os.path.join(folder, "results", "run.json"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--batch", default="build/bin/torvex-batch", help="the torvex-batch to time")
    parser.add_argument("--runs", type=int, default=3, help="runs per case (default 3)")
    args = parser.parse_args()
    batch = os.path.abspath(args.batch)
    anneal = ["--set", "D8=1123", "--set", "D1=0 900000", os.path.abspath(CASE)]
    print(f"{batch}, median of {args.runs} runs, load average before {os.getloadavg()[0]:.2f}")
    print(f"{'run':<26} {'passes':>8} {'CPU s':>8} {'peak MB':>8} {'run.json B':>11} {'us/pass':>8} "
          f"{'x anneal':>9}")
    for integrator in ("rk", "bdf"):
        per_pass = {}
        for name, extra in (("anneal", []), ("10 000 cycles", CYCLES)):
            arguments = ["--integrator", integrator, *extra, *anneal]
            results = [rk_baselines.run_once(batch, arguments, inspect=run_json_bytes, memory=True)
                       for _ in range(args.runs)]
            passes = results[0][0]
            cpu = statistics.median(r[1] for r in results)
            peak = statistics.median(r[3] for r in results) / 1024
            size = results[0][4]
            per_pass[name] = 1e6 * cpu / passes
            ratio = per_pass[name] / per_pass["anneal"]
            print(f"{integrator + ', ' + name:<26} {passes:>8} {cpu:>8.3f} {peak:>8.1f} {size:>11} "
                  f"{per_pass[name]:>8.1f} {ratio:>9.2f}")
    print(f"load average after {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
