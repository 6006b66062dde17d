#!/usr/bin/env python3
"""Runs the benchmarks of an optimised build and prints them as one table.

Called by bench/run-benchmarks.sh after the build. Every figure of a table
comes from the same run of this script, so the ratios compare measurements
taken side by side on the same machine.

Micro benchmarks (Google Benchmark, median processor time of the
repetitions): one
EvaluateDerivative per solver mode on the sample cases (r = 3, n = 200; the
oxidation cases r = 2) beside a loop that streams the same r x n arrays 20
times, and the built-in Cu-Fe-Ni activities at the 200 points, evaluated as
the formulas are written and as the solver computes them.

Whole runs (torvex-batch, median of several runs, each in a fresh folder):
interdiffusion.dat and oxidation.dat to their end, and an activities-from-file
case (interdiffusion.dat with D12 = 3 and activities.act) started from a
smooth profile, where every grid point evaluates the formulas; each with
compiled formulas and with the textual path forced (--textual-formulas).
Wall time is measured around the process, peak memory is its maximum
resident set size (from GNU time where installed).
"""

import argparse
import json
import math
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build-bench", help="build directory with bin/ (default build-bench)")
    parser.add_argument("--quick", action="store_true", help="fewer repetitions, runs and passes (about a minute)")
    parser.add_argument("--runs", type=int, help="runs per whole-run row (default 3, 1 with --quick)")
    return parser.parse_args()


def run_micro(binary, quick):
    """Median processor time in microseconds of every micro benchmark."""
    repetitions = 3 if quick else 5
    command = [binary, "--benchmark_format=json", f"--benchmark_repetitions={repetitions}",
               "--benchmark_report_aggregates_only=true", "--benchmark_enable_random_interleaving=true",
               f"--benchmark_min_time={0.1 if quick else 0.5}"]
    report = json.loads(subprocess.run(command, check=True, capture_output=True, text=True).stdout)
    # In the order the program registers them (the runs are interleaved).
    listed = subprocess.run([binary, "--benchmark_list_tests=true"], check=True, capture_output=True, text=True)
    medians = {name: None for name in listed.stdout.splitlines()}
    for entry in report["benchmarks"]:
        if entry.get("aggregate_name") == "median":
            scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[entry["time_unit"]]
            # Processor time: on a machine shared with other work it counts
            # what the evaluation itself costs, for the copy loop as well.
            medians[entry["run_name"]] = entry["cpu_time"] * scale
    return {name: value for name, value in medians.items() if value is not None}


def run_batch(batch, folder, case, options):
    """Runs torvex-batch once in a copy of folder; returns (passes, wall seconds, peak KB)."""
    with tempfile.TemporaryDirectory(prefix="torvex-bench-run-") as work:
        for name in os.listdir(folder):
            if os.path.isfile(os.path.join(folder, name)):
                shutil.copy(os.path.join(folder, name), work)
        out_path, err_path = os.path.join(work, "stdout.txt"), os.path.join(work, "stderr.txt")
        with open(out_path, "w") as out, open(err_path, "w") as err:
            # GNU time reports the peak of the program alone; the resource
            # usage of a child of this script would include the copy of the
            # script it was forked from.
            memory_path = os.path.join(work, "memory.txt")
            timer = ["/usr/bin/time", "-f", "%M", "-o", memory_path] if os.access("/usr/bin/time", os.X_OK) else []
            start = time.perf_counter()
            process = subprocess.Popen([*timer, batch, "--quiet", *options, case], cwd=work, stdout=out, stderr=err)
            _, status, usage = os.wait4(process.pid, 0)
            wall = time.perf_counter() - start
            process.returncode = os.waitstatus_to_exitcode(status)
        with open(out_path) as out, open(err_path) as err:
            output, errors = out.read(), err.read()
        peak = usage.ru_maxrss
        if timer:
            with open(memory_path) as memory:
                peak = int(memory.read().split()[-1])
        if process.returncode != 0:
            sys.exit(f"torvex-batch {' '.join(options)} {case} failed ({process.returncode}):\n{output}{errors}")
        passes = int(re.search(r"passes\s+(\d+)", output).group(1))
        return passes, wall, peak


def median_run(batch, folder, case, options, runs):
    results = [run_batch(batch, folder, case, options) for _ in range(runs)]
    passes = results[0][0]
    return passes, statistics.median(r[1] for r in results), max(r[2] for r in results)


def run_gui_overhead(binary, folder, case, end_time, rounds):
    """Median seconds per pass with direct hand-overs, with the desktop run
    thread alone, with the offscreen main window, and with the window's Plots
    window following the run, interleaved in rounds."""
    done = subprocess.run([binary, case, end_time, str(rounds)], cwd=folder, check=True, capture_output=True,
                          text=True, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    per_pass = {}
    for line in done.stdout.splitlines():
        match = re.match(r"(direct hand-overs|run thread|desktop run thread|desktop with plots)\s+([0-9.]+) us", line)
        if match:
            per_pass[match.group(1)] = float(match.group(2)) * 1e-6
    return (per_pass["direct hand-overs"], per_pass["run thread"], per_pass["desktop run thread"],
            per_pass["desktop with plots"])


def prepare_cases(batch, root):
    """Writes the samples and the activities-from-file cases into root."""
    samples = os.path.join(root, "samples")
    os.makedirs(samples)
    subprocess.run([batch, "--write-samples", samples], check=True, capture_output=True)
    with open(os.path.join(samples, "interdiffusion.dat"), newline="") as file:
        text = file.read()
    activities, count = re.subn(r"(?m)^(\s*)1 activities\.act", r"\g<1>3 activities.act", text)
    if count != 1:
        sys.exit("could not switch interdiffusion.dat to activities from file (D12 = 3)")
    with open(os.path.join(samples, "activities_file.dat"), "w", newline="") as file:
        file.write(activities)
    # The same case started from a smooth profile, as a continuation file
    # with one line per grid point: every point differs from its neighbours
    # from the first pass on, so every pass evaluates the formulas at every
    # interior point and the seconds per pass of both paths compare the same
    # work.
    lines = activities.split("\r\n")
    d22 = next(i for i, line in enumerate(lines) if line.startswith("#|D22|"))
    end = next(i for i, line in enumerate(lines) if line.startswith("#end of data file"))
    profile = []
    for k in range(200):
        x = -0.1 + 0.001 * k
        blend = 0.5 + 0.5 * math.tanh(x / 0.05)
        profile.append(f"   {x!r}   {85 + (0.5 - 85) * blend!r}   {0.5 + (25 - 0.5) * blend!r}   0   0   0")
    smooth = lines[:d22 + 1] + ["   200", lines[d22 + 2]] + profile + lines[end:]
    with open(os.path.join(samples, "activities_smooth.dat"), "w", newline="") as file:
        file.write("\r\n".join(smooth))
    return samples


def fmt_time(seconds):
    if seconds >= 1:
        return f"{seconds:.2f} s"
    if seconds >= 1e-3:
        return f"{seconds * 1e3:.2f} ms"
    return f"{seconds * 1e6:.1f} us"


def main():
    args = parse_arguments()
    runs = args.runs or (1 if args.quick else 3)
    binary_dir = os.path.join(args.build, "bin")
    batch = os.path.abspath(os.path.join(binary_dir, "torvex-batch"))
    bench = os.path.abspath(os.path.join(binary_dir, "torvex_solver_bench"))
    gui = os.path.abspath(os.path.join(binary_dir, "torvex_gui_overhead"))

    print(f"Torvex benchmarks ({'quick' if args.quick else 'full'}; whole runs: median of {runs}), "
          f"{os.cpu_count()} cores, build {args.build}", flush=True)
    micro = run_micro(bench, args.quick)

    root = tempfile.mkdtemp(prefix="torvex-bench-")
    try:
        samples = prepare_cases(batch, root)
        interdiffusion_passes = ["--max-passes", "3000"] if args.quick else []
        whole = [
            ("interdiffusion.dat", "compiled", "interdiffusion.dat", interdiffusion_passes),
            ("interdiffusion.dat", "textual", "interdiffusion.dat", interdiffusion_passes + ["--textual-formulas"]),
            ("oxidation.dat", "compiled", "oxidation.dat", []),
            ("oxidation.dat", "textual", "oxidation.dat", ["--textual-formulas"]),
            ("activities from file", "compiled", "activities_smooth.dat",
             ["--max-passes", "150" if args.quick else "500"]),
            ("activities from file", "textual", "activities_smooth.dat",
             ["--max-passes", "1" if args.quick else "3", "--textual-formulas"]),
        ]
        results = {}
        for name, path, case, options in whole:
            results[(name, path)] = median_run(batch, samples, case, options, runs)
        # Up to 20000 s of each case: the first few thousand passes, where the
        # step is still small and the hand-overs weigh the most.
        gui_rounds = 3 if args.quick else 7
        handovers = {case: run_gui_overhead(gui, samples, case, "20000" if args.quick else "50000", gui_rounds)
                     for case in ("interdiffusion.dat", "oxidation.dat")}
    finally:
        shutil.rmtree(root, ignore_errors=True)

    # ---- The table ----
    copy = micro["CopyLoop/3x200 x20"]
    rows = []
    rows.append(("One EvaluateDerivative (r x n = 3 x 200)", "time", "x copy loop", ""))
    for name, value in micro.items():
        if name.startswith("EvaluateDerivative/"):
            rows.append(("  " + name.split("/", 1)[1], fmt_time(value * 1e-6), f"{value / copy:.1f}", ""))
    rows.append(("  copy loop: 3 x 200 doubles streamed 20 times", fmt_time(copy * 1e-6), "1.0", ""))
    straight = micro["CuFeNiActivities/straightforward"]
    shared = micro["CuFeNiActivities/shared"]
    rows.append(("Cu-Fe-Ni activities at 200 points", "time", "speed-up", ""))
    rows.append(("  formulas as written (reference)", fmt_time(straight * 1e-6), "1.0", ""))
    rows.append(("  as the solver computes them", fmt_time(shared * 1e-6), f"{straight / shared:.1f}", ""))
    rows.append(("Whole torvex-batch runs", "passes", "wall", "s/pass | passes/s | s/1000 passes | peak"))
    for (name, path), (passes, wall, peak) in results.items():
        rows.append((f"  {name}, {path} formulas", str(passes), f"{wall:.2f} s",
                     f"{fmt_time(wall / passes)} | {passes / wall:.0f} | {1000 * wall / passes:.3f} s | "
                     f"{peak / 1024:.1f} MB"))
    rows.append(("Desktop run thread per pass (delay 0)", "direct", "desktop",
                 "run thread alone | with offscreen window: desktop / direct"))
    for case, (direct, bare, desktop, plots) in handovers.items():
        rows.append((f"  {case}", fmt_time(direct), fmt_time(desktop),
                     f"{fmt_time(bare)} | {desktop / direct:.2f} | with Plots window {fmt_time(plots)}"))
    widths = [max(len(r[c]) for r in rows) for c in range(4)]
    print()
    for row in rows:
        print(f"{row[0]:<{widths[0]}}  {row[1]:>{widths[1]}}  {row[2]:>{widths[2]}}  {row[3]}")

    # ---- Targets ----
    def per_pass(name, path):
        passes, wall, _ = results[(name, path)]
        return wall / passes

    fick = micro["EvaluateDerivative/matrix, ideal, Fick"]
    activities_ratio = per_pass("activities from file", "textual") / per_pass("activities from file", "compiled")
    oxidation = 1000 * per_pass("oxidation.dat", "compiled")
    targets = [
        ("activities from file: textual / compiled seconds per pass", f"{activities_ratio:.0f}x", ">= 300x",
         activities_ratio >= 300),
        ("EvaluateDerivative, Fick + matrix / copy loop", f"{fick / copy:.2f}x", "<= 3x", fick / copy <= 3),
        ("Cu-Fe-Ni activities: as written / as computed", f"{straight / shared:.1f}x", ">= 3x",
         straight / shared >= 3),
        ("oxidation.dat: wall seconds per 1000 passes", f"{oxidation:.3f} s", "<= 0.2 s", oxidation <= 0.2),
    ]
    print()
    print("Targets")
    width = max(len(t[0]) for t in targets)
    for name, value, goal, met in targets:
        print(f"  {name:<{width}}  {value:>8}  (target {goal})  {'met' if met else 'NOT MET'}")
    for case, (direct, _, desktop, plots) in handovers.items():
        extra = desktop / direct - 1
        print(f"  {('desktop hand-overs, ' + case + ': added per pass'):<{width}}  {100 * extra:>7.0f}%  "
              f"(target <= 20%)  {'met' if extra <= 0.2 else 'NOT MET'}")
    for case, (_, _, desktop, plots) in handovers.items():
        extra = plots / desktop - 1
        print(f"  {('Plots window following, ' + case + ': added'):<{width}}  {100 * extra:>7.0f}%  "
              f"(target <= 10%)  {'met' if extra <= 0.1 else 'NOT MET'}")
    print(f"  interdiffusion.dat: {fmt_time(per_pass('interdiffusion.dat', 'compiled'))} per pass, "
          f"{1 / per_pass('interdiffusion.dat', 'compiled'):.0f} passes per second")


if __name__ == "__main__":
    main()
