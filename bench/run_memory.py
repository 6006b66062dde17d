#!/usr/bin/env python3
"""Peak resident memory of torvex-batch runs as they grow longer.

oxidation.dat (explicit Runge-Kutta, results folder written as usual) to each
end time given, the median of --runs runs: passes, peak resident memory, and
between consecutive ends the memory each further pass cost. A run whose
records and checks stay bounded costs about nothing per pass; one that holds
its records in memory costs of the order of a kilobyte. The load average is
printed with the table.
"""
import argparse
import os
import statistics

import rk_baselines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--batch", default="build/bin/torvex-batch", help="the torvex-batch to measure")
    parser.add_argument("--runs", type=int, default=3, help="runs per end time (default 3)")
    parser.add_argument("--ends", default="612000,6.12e6", help="end times (s, comma-separated)")
    parser.add_argument("--folder", help="where the runs' folders go (default: the system's temporary folder)")
    args = parser.parse_args()
    batch = os.path.abspath(args.batch)
    print(f"{batch}, median of {args.runs} runs, load average before {os.getloadavg()[0]:.2f}")
    print(f"{'run':<28} {'passes':>9} {'peak MB':>9} {'B/pass':>8}")
    previous = None
    for end in (float(text) for text in args.ends.split(",")):
        name, arguments = rk_baselines.oxidation(end)
        results = [rk_baselines.run_once(batch, arguments, where=args.folder, memory=True) for _ in range(args.runs)]
        passes = results[0][0]
        peak_kb = statistics.median(r[3] for r in results)
        per_pass = "" if previous is None else f"{1024 * (peak_kb - previous[1]) / (passes - previous[0]):8.0f}"
        print(f"{name:<28} {passes:>9} {peak_kb / 1024:>9.1f} {per_pass:>8}")
        previous = (passes, peak_kb)
    print(f"load average after {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
