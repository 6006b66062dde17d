#!/usr/bin/env python3
"""What keeping a run's history (history.csv, series.csv) costs.

Runs interdiffusion.dat and oxidation.dat to their end with their own save
intervals, several times each in fresh folders, and prints per case:

  - the time the journal measured for itself (outcome.journal_time_s of
    run.json: building and appending the history blocks and series rows)
    against the run's wall time (outcome.wall_time_s), median of the runs;
  - with --baseline BATCH (a torvex-batch built without the journal, e.g.
    from the commit before it): the processor time (user + system) of whole
    runs of both programs, interleaved, median of the runs, and the
    difference in per cent.

    python3 bench/journal_overhead.py --batch build/bin/torvex-batch [--baseline OTHER] [--runs 5]
"""

import argparse
import json
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

CASES = ["interdiffusion.dat", "oxidation.dat"]


def run(batch, case, folder):
    """One run in a fresh folder: (wall s, processor s, report or None)."""
    os.makedirs(folder)
    subprocess.run([batch, "--write-samples", folder], check=True, stdout=subprocess.DEVNULL)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    began = time.monotonic()
    subprocess.run([batch, "--quiet", case], cwd=folder, check=True, stdout=subprocess.DEVNULL)
    wall = time.monotonic() - began
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    report_path = os.path.join(folder, "results", "run.json")
    report = None
    if os.path.exists(report_path):
        with open(report_path) as f:
            report = json.load(f)
    return wall, cpu, report


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", required=True)
    parser.add_argument("--baseline")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="journal-overhead.")
    for case in CASES:
        own, walls, cpu_new, cpu_old = [], [], [], []
        for k in range(args.runs):
            wall, cpu, report = run(os.path.abspath(args.batch), case, os.path.join(work, "%s.new.%d" % (case, k)))
            outcome = report["outcome"]
            own.append(outcome["journal_time_s"])
            walls.append(outcome["wall_time_s"])
            cpu_new.append(cpu)
            if args.baseline:
                _, cpu, _ = run(os.path.abspath(args.baseline), case, os.path.join(work, "%s.old.%d" % (case, k)))
                cpu_old.append(cpu)
        share = statistics.median(o / w for o, w in zip(own, walls))
        print("%-20s journal's own time: median %.3f s of a %.2f s run = %.2f %%  (runs: %s)" %
              (case, statistics.median(own), statistics.median(walls), 100 * share,
               ", ".join("%.3f/%.2f" % (o, w) for o, w in zip(own, walls))))
        if cpu_old:
            new, old = statistics.median(cpu_new), statistics.median(cpu_old)
            print("%-20s processor time:     median %.2f s with the journal, %.2f s without = %+.2f %%" %
                  ("", new, old, 100 * (new - old) / old))
    subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    sys.exit(main())
