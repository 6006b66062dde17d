#!/usr/bin/env python3
"""Fits an error function to the volume fraction of component 1 in a binary
couple's results/at_out.dat and prints the fitted diffusion coefficient over
a given one and the largest residual.

    python3 scripts/fit-erfc.py results/at_out.dat OMEGA1 OMEGA2 DSTAR

OMEGA1, OMEGA2: the partial molar volumes [cm^3/mol] (key D11); DSTAR: the
diffusion coefficient to compare with [cm^2/s]. The volume fraction is
phi1 = N1 Omega1 / (N1 Omega1 + N2 Omega2); the fit is
phi1 = phiR + (phiL - phiR) / 2 * erfc((x - x0) / (2 sqrt(D t))) with the end
values of the profile, one width and two centres: central differences taken
twice couple every other grid point, so the even and the odd points each
follow the solution about their own centre. Plain Python, no packages.
"""
import math
import sys


def read_profile(path):
    """Time and the (x, N1, N2) rows of the last profile in at_out.dat."""
    time, rows, inside = None, [], False
    with open(path, newline=None) as lines:
        for line in lines:
            line = line.strip()
            if line.startswith("Current time:"):
                time, rows, inside = float(line.split(":")[1]), [], True
            elif inside and line.startswith("#End"):
                inside = False
            elif inside and line:
                fields = [float(f) for f in line.split()]
                rows.append((fields[0], fields[1] / 100, fields[2] / 100))
    return time, rows


def solve3(A, b):
    """Gaussian elimination of a 3 x 3 system."""
    A = [row[:] for row in A]
    b = b[:]
    for p in range(3):
        for i in range(p + 1, 3):
            f = A[i][p] / A[p][p]
            for j in range(p, 3):
                A[i][j] -= f * A[p][j]
            b[i] -= f * b[p]
    x = [0.0] * 3
    for i in (2, 1, 0):
        x[i] = (b[i] - sum(A[i][j] * x[j] for j in range(i + 1, 3))) / A[i][i]
    return x


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    path, omega1, omega2, dstar = sys.argv[1], *map(float, sys.argv[2:])
    t, rows = read_profile(path)
    if t is None or len(rows) < 8:
        sys.exit(path + ": no profile found")
    x = [r[0] for r in rows]
    phi = [r[1] * omega1 / (r[1] * omega1 + r[2] * omega2) for r in rows]
    phiL, phiR = phi[0], phi[-1]
    half = (phiL - phiR) / 2
    n = len(rows)
    p = [x[n // 2 - 1], x[n // 2], 2 * math.sqrt(dstar * t)]  # even centre, odd centre, width

    def model(k):
        u = (x[k] - p[k % 2]) / p[2]
        slope = -half * 2 / math.sqrt(math.pi) * math.exp(-u * u)
        return phiR + half * math.erfc(u), -slope / p[2], -slope * u / p[2]

    for _ in range(20):
        A = [[0.0] * 3 for _ in range(3)]
        b = [0.0] * 3
        for k in range(n):
            value, d_centre, d_width = model(k)
            g = [d_centre if k % 2 == 0 else 0.0, d_centre if k % 2 == 1 else 0.0, d_width]
            for i in range(3):
                b[i] += g[i] * (phi[k] - value)
                for j in range(3):
                    A[i][j] += g[i] * g[j]
        step = solve3(A, b)
        p = [p[i] + step[i] for i in range(3)]
    worst = max(abs(phi[k] - model(k)[0]) for k in range(n))
    print("t = %g s: fitted D / D* = %.5f, largest residual of phi1 %.2g" % (t, p[2] ** 2 / (4 * t * dstar), worst))


if __name__ == "__main__":
    main()
