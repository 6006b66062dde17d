#!/usr/bin/env python3
"""Times the implicit integrator (--integrator bdf) against the explicit loop (rk) at equal accuracy.

Whole torvex-batch runs, each in a fresh folder, the median of --runs runs:

- the binary couple of bench/scipy_couple.py (D1* = 1e-9, D2* = 2.5e-10 cm^2/s,
  molar volumes 10 and 10, 90/10 at.% over 0.1 cm, classic form with the
  Darken velocity, D5 = 1e5 s) for 100 h at n = 400, 1600 and 6400 points,
  central differences (D16 = 0) and the conservative scheme (D16 = 3);
- oxidation.dat to 612 000 s, 6.12e6 s and 3.6e7 s (10 000 h), bdf both with
  the sample's largest step (D5 = 25 s) and with D5 = 1e5 s.

Accuracy: the largest difference in molar ratio of the final profile against a
tight reference of the same grid (bdf at D4 = 1e-8 with D5 = 1e5 s, 1e-6 for
the oxidation runs beyond 612 000 s; the tests
check that bdf converges to a tight rk run as D4 falls); a run counts when it
is within 1e-4.
rk runs that would take minutes (the couple at 6400 points, oxidation beyond
612 000 s) are left out unless --long is given. The load average is printed
with the table: on a shared machine the times depend on it.
"""
import argparse
import os
import statistics

import rk_baselines


def couple_arguments(points, scheme, error, hours=100):
    return ["--set", f"D1=0 {hours * 3600:g}", "--set", f"D2={points}", "--set", f"D4={error}", "--set", "D5=1e5",
            "--set", "D9=0 couple.dfv", "--set", "D11=10 10", "--set", "D14=1", "--set", f"D16={scheme}",
            "--set", "D21=0 none.flx 0", "--set", "D23=0 90 0 0 0;0.1 10 0 0 0", "oxidation.dat"]


def oxidation_arguments(end, error=None, largest_step=None):
    arguments = ["--set", f"D1=0 {end:g}"]
    if error is not None:
        arguments += ["--set", f"D4={error}"]
    if largest_step is not None:
        arguments += ["--set", f"D5={largest_step:g}"]
    return arguments + ["oxidation.dat"]


def final_profile(folder):
    """Molar ratios of the final profile (at_out.dat, at.%), point by point."""
    rows = []
    with open(os.path.join(folder, "results", "at_out.dat"), encoding="ascii") as file:
        inside = False
        for line in file:
            if line.startswith("#end of data file"):
                inside = True
                continue
            if line.startswith("#End of calculation file"):
                break
            fields = line.split()
            if not inside or not fields or fields[0].startswith("#"):
                continue
            try:
                rows.append([float(v) / 100 for v in fields[1:]])
            except ValueError:
                continue
    return rows


def run_once(batch, integrator, arguments):
    """(passes, processor seconds, wall seconds, profile) of one run in a fresh folder."""
    return rk_baselines.run_once(batch, ["--integrator", integrator, *arguments], inspect=final_profile)


def largest_difference(a, b):
    return max(abs(x - y) for ra, rb in zip(a, b) for x, y in zip(ra[:2], rb[:2]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--batch", default="build/bin/torvex-batch", help="the torvex-batch to time")
    parser.add_argument("--runs", type=int, default=3, help="runs per case (default 3)")
    parser.add_argument("--long", action="store_true", help="also the rk runs that take minutes")
    parser.add_argument("--quick", action="store_true", help="only n = 400 and oxidation.dat to 612 000 s")
    parser.add_argument("--only", choices=["couple", "oxidation"], help="only the couple or only the oxidation runs")
    args = parser.parse_args()
    batch = os.path.abspath(args.batch)

    # (name, arguments of the reference, [(integrator, label, arguments)])
    cases = []
    for points in [] if args.only == "oxidation" else [400] if args.quick else [400, 1600, 6400]:
        for scheme in (0, 3):
            runs = [("bdf", "D4 = 1e-4", couple_arguments(points, scheme, "1e-4")),
                    ("bdf", "D4 = 1e-6", couple_arguments(points, scheme, "1e-6"))]
            if points < 6400 or args.long:
                runs.insert(0, ("rk", "D4 = 1e-6", couple_arguments(points, scheme, "1e-6")))
            cases.append((f"couple n = {points}, D16 = {scheme}, 100 h", couple_arguments(points, scheme, "1e-8"),
                          runs))
    for end in [] if args.only == "couple" else [612000] if args.quick else [612000, 6.12e6, 3.6e7]:
        runs = [("bdf", "D5 = 1e5 s", oxidation_arguments(end, largest_step=1e5))]
        if end <= 612000:
            runs.insert(0, ("bdf", "sample", oxidation_arguments(end)))
        if end <= 612000 or (args.long and end < 1e7):
            runs.insert(0, ("rk", "sample", oxidation_arguments(end)))
        # Once the scale stops growing (kp at 0) a tight tolerance costs many
        # tries: the reference of the long runs is looser.
        reference_error = "1e-8" if end <= 612000 else "1e-6"
        cases.append((f"oxidation.dat to {end:g} s", oxidation_arguments(end, reference_error, 1e5), runs))

    print(f"{batch}, median of {args.runs} runs, load average before {os.getloadavg()[0]:.2f}")
    print(f"{'case':<34} {'run':<16} {'passes':>8} {'CPU s':>8} {'wall s':>8} {'max |dN|':>9}")
    for name, reference_arguments, runs in cases:
        reference = run_once(batch, "bdf", reference_arguments)[3]
        for integrator, label, arguments in runs:
            results = [run_once(batch, integrator, arguments) for _ in range(args.runs)]
            passes = results[0][0]
            cpu = statistics.median(r[1] for r in results)
            wall = statistics.median(r[2] for r in results)
            difference = largest_difference(results[0][3], reference)
            print(f"{name:<34} {integrator + ', ' + label:<16} {passes:>8} {cpu:>8.3f} {wall:>8.3f} "
                  f"{difference:>9.1e}", flush=True)
    print(f"load average after {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
