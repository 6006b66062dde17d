#!/usr/bin/env python3
"""The benchmarks' binary couple as a SciPy method-of-lines script: the yardstick
of what a user could write instead of running Torvex.

Two ideal components (Fick), D1* = 1e-9 and D2* = 2.5e-10 cm^2/s, molar volumes
10 and 10 cm^3/mol, 90/10 at.% over 0.1 cm, closed ends, the classic form of the
conservation equation with the Darken velocity, central differences, on
Torvex's grid (n points x_j = j W/n): the equations Torvex integrates for that
case, point by point, so that the two agree to the time integration error.
With equal molar volumes the normalisation before each pass changes nothing,
and the molar ratios stay far from the floor. The unknowns are ordered point
by point, so the Jacobian is banded (half-bandwidth 4r - 1: the one-sided
differences at the ends reach three points), and `solve_ivp` (LSODA) is told
so. Needs Debian's python3-scipy (apt install python3-scipy).

Prints the steps, the right-hand side and Jacobian evaluations, the processor
time of the solve and of the whole process (interpreter start-up and imports
included), and with --reference or --compare the largest difference in molar
ratio against a tight solution of the same grid or against a Torvex profile
(results/at_out.dat or continue.dat).
"""
import argparse
import time

import numpy as np
from scipy.integrate import solve_ivp

R = 8.0  # J/(mol K), the solver's gas constant
D = np.array([1e-9, 2.5e-10])[:, None]  # cm^2/s
OMEGA = np.array([10.0, 10.0])[:, None]  # cm^3/mol
T, F = 1123.0, 1.0  # K, correlation factor
WIDTH, LEFT, RIGHT = 0.1, 0.9, 0.1  # cm, molar ratio of component 1 either side


def derivative(x, f):
    """Three-point derivative along the grid: central inside, one-sided second order at the ends."""
    d = np.empty_like(f)
    d[:, 1:-1] = (f[:, 2:] - f[:, :-2]) / (x[2:] - x[:-2])
    hl, hr = x[1] - x[0], x[2] - x[1]
    s = (f[:, 2] * hl + f[:, 0] * hr - (hr + hl) * f[:, 1]) / (0.5 * hr * hl * (hr + hl))  # second derivative
    d[:, 0] = (f[:, 1] - f[:, 0]) / hl - 0.5 * hl * s
    hl, hr = x[-2] - x[-3], x[-1] - x[-2]
    s = (f[:, -1] * hl + f[:, -3] * hr - (hr + hl) * f[:, -2]) / (0.5 * hr * hl * (hr + hl))
    d[:, -1] = (f[:, -1] - f[:, -2]) / hr + 0.5 * hr * s
    return d


def rates(x, y):
    r, n = D.shape[0], x.size
    c = y.reshape(n, r).T.copy()  # mol/cm^3, r x n
    ratio = c / c.sum(axis=0)
    flat = np.all((ratio[:, :-2] == ratio[:, 1:-1]) & (ratio[:, 1:-1] == ratio[:, 2:]), axis=0)
    b = np.zeros_like(c)  # mobilities; not evaluated where the profile is flat, nor at closed ends
    b[:, 1:-1] = np.where(flat, 0.0, D / (F * R * T))
    dc = derivative(x, c)
    c[:, 0], c[:, -1], dc[:, 0], dc[:, -1] = c[:, 1], c[:, -2], 0.0, 0.0  # closed ends
    v = np.zeros_like(c)  # diffusion velocities, cm/s; 0 at the closed ends
    v[:, 1:-1] = ((-b[:, 1:-1] / c[:, 1:-1]) * R) * T * dc[:, 1:-1]
    dv = derivative(x, v)
    limit = np.abs(b * R * T * 5e7)
    v = np.where(np.abs(v) > limit, np.sign(v) * limit, v)
    p, q = (c * OMEGA * v).sum(axis=0), (c * OMEGA).sum(axis=0)
    dp, dq = (dc * v * OMEGA + c * dv * OMEGA).sum(axis=0), (dc * OMEGA).sum(axis=0)
    vd, dvd = -p / q, -(dp * q - p * dq) / q**2  # Darken velocity and its slope
    return (-(dc * vd + c * dvd) - (dc * v + c * dv)).T.ravel()


def solve(n, seconds, rtol, atol):
    x = np.arange(n) * (WIDTH / n)
    ratio = np.where(np.arange(n) < n // 2, LEFT, RIGHT)
    c0 = np.vstack([ratio, 1 - ratio]) / (OMEGA * np.vstack([ratio, 1 - ratio])).sum(axis=0)
    band = 4 * D.shape[0] - 1
    return solve_ivp(lambda t, y: rates(x, y), (0.0, seconds), c0.T.ravel(), method="LSODA", rtol=rtol,
                     atol=atol, lband=band, uband=band), x


def first_ratio(y):
    c = y.reshape(-1, D.shape[0])
    return c[:, 0] / c.sum(axis=1)


def torvex_ratio(path, n):
    """Molar ratio of component 1 from the profile lines of a Torvex results file."""
    lines = open(path, encoding="ascii").read().splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith("#|D23|")) + 1
    return np.array([float(line.split()[1]) / 100 for line in lines[start:start + n]])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--points", type=int, default=400)
    parser.add_argument("--hours", type=float, default=100)
    parser.add_argument("--rtol", type=float, default=1e-4)
    parser.add_argument("--atol", type=float, default=1e-7, help="mol/cm^3 (the concentrations are about 0.1)")
    parser.add_argument("--reference", action="store_true", help="also solve at rtol 1e-10 and compare")
    parser.add_argument("--compare", help="a Torvex at_out.dat or continue.dat of the same case")
    args = parser.parse_args()
    started = time.process_time()
    solution, _ = solve(args.points, args.hours * 3600, args.rtol, args.atol)
    solved = time.process_time() - started
    if not solution.success:
        raise SystemExit(f"solve_ivp failed: {solution.message}")
    ratio = first_ratio(solution.y[:, -1])
    print(f"n {args.points}, {args.hours:g} h, rtol {args.rtol:g}, atol {args.atol:g}: {solution.t.size - 1} steps, "
          f"{solution.nfev} rhs, {solution.njev} Jacobians; solve {solved:.4f} s CPU, "
          f"whole process {time.process_time():.3f} s CPU")
    reference = None
    if args.reference:
        reference = first_ratio(solve(args.points, args.hours * 3600, 1e-10, 1e-13)[0].y[:, -1])
        print(f"max |dN1| against rtol 1e-10: {np.abs(ratio - reference).max():.3g}")
    if args.compare:
        torvex = torvex_ratio(args.compare, args.points)
        print(f"max |dN1| against {args.compare}: {np.abs(ratio - torvex).max():.3g}")
        if reference is not None:
            print(f"max |dN1| of {args.compare} against rtol 1e-10: {np.abs(torvex - reference).max():.3g}")


if __name__ == "__main__":
    main()
