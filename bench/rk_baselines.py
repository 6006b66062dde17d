#!/usr/bin/env python3
"""Times the explicit Runge-Kutta loop on the cases an implicit integrator must beat.

Whole torvex-batch runs, each in a fresh folder, the median of --runs runs:

- the binary couple of bench/scipy_couple.py (D1* = 1e-9, D2* = 2.5e-10 cm^2/s,
  molar volumes 10 and 10 cm^3/mol, 90/10 at.% over 0.1 cm, classic form with
  the Darken velocity, D4 = 1e-6, D5 = 1e5) for 100 h at 400 and 1600 points,
  with central differences (D16 = 0) and the conservative scheme (D16 = 3);
- oxidation.dat to its 612 000 s and to 3e6 s (with --oxidation-ends, to the
  ends given, e.g. 612000,6.12e6: a run ten times as long should cost ten
  times as much per run, the same per pass).

For each: passes, processor time (user + system of the process), wall time,
and their ratio, which shows the time spent waiting for the disk. The machine's
load average is printed with the table, since the wall times depend on it.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import tempfile
import time

COUPLE_DFV = "###Torvex_v2.3###\n# component 1\n1e-9\n# component 2\n2.5e-10\n#end\n"


def couple(points, scheme, hours=100):
    return (f"couple n = {points}, D16 = {scheme}, {hours:g} h",
            ["--set", f"D1=0 {hours * 3600:g}", "--set", f"D2={points}", "--set", "D4=1e-6", "--set", "D5=1e5",
             "--set", "D9=0 couple.dfv", "--set", "D11=10 10", "--set", "D14=1", "--set", f"D16={scheme}",
             "--set", "D21=0 none.flx 0", "--set", "D23=0 90 0 0 0;0.1 10 0 0 0", "oxidation.dat"])


def oxidation(end):
    return f"oxidation.dat to {end:g} s", ["--set", f"D1=0 {end:g}", "oxidation.dat"]


def run_once(batch, arguments, where=None, inspect=None, memory=False):
    """(passes, processor seconds, wall seconds) of one run in a fresh folder;
    with memory, the process's peak resident memory (kB) is appended; with
    inspect, what inspect(folder) returns is appended before the folder goes."""
    folder = tempfile.mkdtemp(prefix="torvex-rk-", dir=where)
    try:
        subprocess.run([batch, "--write-samples", folder], check=True, capture_output=True)
        with open(os.path.join(folder, "couple.dfv"), "w", encoding="ascii") as file:
            file.write(COUPLE_DFV)
        started = time.perf_counter()
        process = subprocess.Popen([batch, "--quiet", *arguments], cwd=folder, stdout=subprocess.PIPE, text=True)
        output = process.stdout.read()
        _, status, usage = os.wait4(process.pid, 0)
        wall = time.perf_counter() - started
        if status != 0:
            raise SystemExit(f"torvex-batch {' '.join(arguments)} failed:\n{output}")
        passes = int(re.search(r"passes\s+(\d+)", output).group(1))
        measured = (passes, usage.ru_utime + usage.ru_stime, wall)
        if memory:
            measured += (usage.ru_maxrss,)
        return measured + (inspect(folder),) if inspect else measured
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--batch", default="build/bin/torvex-batch", help="the torvex-batch to time")
    parser.add_argument("--runs", type=int, default=3, help="runs per case (default 3)")
    parser.add_argument("--quick", action="store_true", help="leave out the n = 1600 couples and 3e6 s")
    parser.add_argument("--oxidation-ends", help="only oxidation.dat, to these end times (s, comma-separated)")
    parser.add_argument("--folder", help="where the runs' folders go (default: the system's temporary folder, "
                        "which may be in memory: give a folder on the disk to see the waits for it)")
    args = parser.parse_args()
    if args.oxidation_ends:
        cases = [oxidation(float(end)) for end in args.oxidation_ends.split(",")]
    else:
        cases = [couple(400, 0), couple(400, 3)]
        if not args.quick:
            cases += [couple(1600, 0), couple(1600, 3)]
        cases.append(oxidation(612000))
        if not args.quick:
            cases.append(oxidation(3e6))
    batch = os.path.abspath(args.batch)
    print(f"{batch}, median of {args.runs} runs, load average before {os.getloadavg()[0]:.2f}")
    print(f"{'case':<34} {'passes':>8} {'CPU s':>8} {'wall s':>8} {'wall/CPU':>9} {'ms/pass':>8}")
    for name, arguments in cases:
        results = [run_once(batch, arguments, args.folder) for _ in range(args.runs)]
        passes = results[0][0]
        cpu = statistics.median(r[1] for r in results)
        wall = statistics.median(r[2] for r in results)
        print(f"{name:<34} {passes:>8} {cpu:>8.3f} {wall:>8.3f} {wall / cpu:>9.2f} {1000 * cpu / passes:>8.4f}")
    print(f"load average after {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
