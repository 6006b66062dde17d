#!/usr/bin/env python3
"""Plot one column of a study's summary.csv against a parameter.

    python3 examples/sweep/plot.py SUMMARY.csv X Y [GROUP]

With matplotlib installed it writes Y-vs-X.png beside the summary (one line
per value of GROUP); without it, it prints the table and a bar per case.
Only the standard library's csv module reads the file.
"""
import csv
import os
import sys


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    path, x, y = sys.argv[1:4]
    group = sys.argv[4] if len(sys.argv) > 4 else None
    with open(path, newline="") as f:
        rows = [r for r in csv.DictReader(f) if r["status"] == "completed" and r[y] != ""]
    if not rows:
        sys.exit("no completed case has a value of " + y)
    series = {}
    for r in rows:
        series.setdefault(r[group] if group else "", []).append((float(r[x]), float(r[y])))
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        top = max(v for points in series.values() for _, v in points)
        for name, points in series.items():
            print(f"{group} = {name}" if group else "")
            for xv, yv in sorted(points):
                bar = "#" * int(round(40 * yv / top)) if top > 0 else ""
                print(f"  {x} = {xv:<10g} {y} = {yv:<12.6g} {bar}")
        return
    for name, points in series.items():
        points.sort()
        plt.plot([p[0] for p in points], [p[1] for p in points], "o-", label=f"{group} = {name}" if group else None)
    plt.xlabel(x)
    plt.ylabel(y)
    if group:
        plt.legend()
    out = os.path.join(os.path.dirname(path), f"{y}-vs-{x}.png")
    plt.savefig(out, dpi=120)
    print("wrote", out)


if __name__ == "__main__":
    main()
