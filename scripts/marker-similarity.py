#!/usr/bin/env python3
"""The similarity solution of a binary couple with constant self-diffusion
coefficients and equal molar volumes, and where it puts the Kirkendall
markers.

    python3 scripts/marker-similarity.py D1 D2 NL NR

D1, D2: the self-diffusion coefficients [cm^2/s]; NL, NR: the molar ratio
of component 1 far left and far right. With lambda = x / sqrt(t) measured
from the contact plane, the molar ratio N(lambda) of component 1 solves
    -(lambda / 2) N' = (D~(N) N')',   D~ = (1 - N) D1 + N D2,
with N -> NL and NR at the two sides (found by shooting from lambda = 0 and
Newton's method on N(0) and D~ N'(0)). The lattice moves at
v = (D1 - D2) dN/dx, so a marker plane starting at the contact plane sits at
x_K = lambda_K sqrt(t) with lambda_K = 2 (D1 - D2) N'(lambda_K). Printed as
well: 2 (D1 - D2) N'(0), the slope of 2 t v(0, t) against sqrt(t), i.e. of a
plane moved with the velocity found at its starting point. Plain Python.
"""
import math
import sys


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    D1, D2, NL, NR = (float(a) for a in sys.argv[1:5])

    def Dt(N):
        return (1 - N) * D1 + N * D2

    L = 10 * math.sqrt(max(D1, D2))  # far enough: erfc(5) is 1.5e-12
    steps = 4000

    def rhs(l, y):  # y = (N, q = D~ N')
        N, q = y
        return q / Dt(N), -(l / 2) * q / Dt(N)

    def integrate(N0, q0, direction):
        h = direction * L / steps
        l, y = 0.0, (N0, q0)
        path = [(l, y)]
        for _ in range(steps):  # classic fourth-order Runge-Kutta
            k1 = rhs(l, y)
            k2 = rhs(l + h / 2, (y[0] + h / 2 * k1[0], y[1] + h / 2 * k1[1]))
            k3 = rhs(l + h / 2, (y[0] + h / 2 * k2[0], y[1] + h / 2 * k2[1]))
            k4 = rhs(l + h, (y[0] + h * k3[0], y[1] + h * k3[1]))
            y = (y[0] + h / 6 * (k1[0] + 2 * k2[0] + 2 * k3[0] + k4[0]),
                 y[1] + h / 6 * (k1[1] + 2 * k2[1] + 2 * k3[1] + k4[1]))
            l += h
            path.append((l, y))
        return path

    def miss(N0, q0):
        return integrate(N0, q0, -1)[-1][1][0] - NL, integrate(N0, q0, 1)[-1][1][0] - NR

    N0 = (NL + NR) / 2
    q0 = Dt(N0) * (NR - NL) / (2 * math.sqrt(math.pi * Dt(N0)))  # the erfc solution's
    for _ in range(30):
        f = miss(N0, q0)
        e1, e2 = 1e-7, 1e-7 * abs(q0)
        fa, fb = miss(N0 + e1, q0), miss(N0, q0 + e2)
        J = ((fa[0] - f[0]) / e1, (fb[0] - f[0]) / e2), ((fa[1] - f[1]) / e1, (fb[1] - f[1]) / e2)
        det = J[0][0] * J[1][1] - J[0][1] * J[1][0]
        dN = (f[0] * J[1][1] - f[1] * J[0][1]) / det
        dq = (J[0][0] * f[1] - J[1][0] * f[0]) / det
        N0, q0 = N0 - dN, q0 - dq
        if abs(dN) < 1e-14 and abs(dq) < 1e-14 * abs(q0):
            break

    path = sorted(integrate(N0, q0, -1) + integrate(N0, q0, 1))

    def g(p):  # lambda - 2 (D1 - D2) N'(lambda)
        return p[0] - 2 * (D1 - D2) * p[1][1] / Dt(p[1][0])

    marker = None
    for a, b in zip(path, path[1:]):
        if g(a) * g(b) <= 0 and a[0] != b[0]:
            marker = a[0] - g(a) * (b[0] - a[0]) / (g(b) - g(a))
            break
    print("N1 at the contact plane %.6f" % N0)
    print("markers:          x_K - x_K0 = %.5g cm/s^0.5 * sqrt(t)" % marker)
    print("velocity at x_K0: 2 t v(x_K0) = %.5g cm/s^0.5 * sqrt(t)" % (2 * (D1 - D2) * q0 / Dt(N0)))


if __name__ == "__main__":
    main()
