#!/usr/bin/env python3
"""Print the life of a study's cases as a map over two swept parameters.

    python3 examples/life/life_map.py SUMMARY.csv ROWS COLUMNS

Reads the life_s column of a sweep's summary.csv (a study with a critical
content) and prints the life in hours, one row per value of ROWS and one
column per value of COLUMNS; "> end" marks a case that lasted its whole run
(life not reached), "-" one that did not complete. Standard library only.
"""
import csv
import sys


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    path, rows_name, columns_name = sys.argv[1:4]
    with open(path, newline="") as f:
        cases = list(csv.DictReader(f))
    if not cases or "life_s" not in cases[0]:
        sys.exit(path + ": no life_s column (the study gives no critical content)")
    for name in (rows_name, columns_name):
        if name not in cases[0]:
            sys.exit(path + ": no parameter " + name)
    rows = sorted({c[rows_name] for c in cases}, key=float)
    columns = sorted({c[columns_name] for c in cases}, key=float)
    cell = {}
    for c in cases:
        if c["status"] != "completed":
            text = "-"
        elif c["life_s"]:
            text = "%.0f" % (float(c["life_s"]) / 3600)
        else:
            text = "> end"
        cell[(c[rows_name], c[columns_name])] = text
    width = max(8, max(len(v) for v in columns) + 2)
    print("life (h); rows %s, columns %s" % (rows_name, columns_name))
    print(rows_name.rjust(8) + "".join(v.rjust(width) for v in columns))
    for r in rows:
        print(r.rjust(8) + "".join(cell.get((r, v), "").rjust(width) for v in columns))


if __name__ == "__main__":
    main()
