#!/usr/bin/env python3
"""Fitting with your own tools: scipy.optimize.least_squares over
case.with_set(...).run().

    python3 examples/python/fit_least_squares.py

The couple has Arrhenius diffusivities. A "measured" line scan is made from a
run at 1310 K with noise of 0.3 at.%;
the fit then finds the anneal temperature and the offset of the scan's
origin from the profile alone. Every evaluation is one run of the case.
"""

import numpy as np
from arrhenius_couple import arrhenius_couple
from scipy.optimize import least_squares

ANNEAL_S = 4000
TRUE_T_K, TRUE_SHIFT_UM, NOISE = 1310.0, 3.0, 0.3


def profile(case, temperature_k):
    result = case.with_set(D8=temperature_k).run()
    return result.x_cm * 1e4, result.at_pct[-1, 0]  # µm, at.% of component 1


def main():
    case = arrhenius_couple(ANNEAL_S)

    # The measurement: every fourth point of a run, shifted and noisy.
    rng = np.random.default_rng(7)
    x_um, at = profile(case, TRUE_T_K)
    scan_x = x_um[::4] + TRUE_SHIFT_UM
    scan_at = at[::4] + rng.normal(0, NOISE, at[::4].size)

    def residuals(p):
        temperature_k, shift_um = p
        x, y = profile(case, temperature_k)
        return (np.interp(scan_x - shift_um, x, y) - scan_at) / NOISE

    # Each residual comes from an adaptive run: finite differences need a
    # step well above the run's own tolerance (diff_step, relative).
    fit = least_squares(residuals, x0=[1250.0, 0.0], diff_step=1e-3, x_scale=[50.0, 1.0])
    jacobian = fit.jac
    covariance = np.linalg.inv(jacobian.T @ jacobian)
    errors = np.sqrt(np.diag(covariance))
    print(f"T     = {fit.x[0]:.1f} ± {errors[0]:.1f} K   (made at {TRUE_T_K:g} K)")
    print(f"shift = {fit.x[1]:.2f} ± {errors[1]:.2f} µm  (made at {TRUE_SHIFT_UM:g} µm)")
    print(f"{fit.nfev} evaluations (and two runs per Jacobian), cost {fit.cost:.1f} for {scan_at.size} points")
    assert abs(fit.x[0] - TRUE_T_K) < 5 * errors[0] + 1, fit.x


if __name__ == "__main__":
    main()
