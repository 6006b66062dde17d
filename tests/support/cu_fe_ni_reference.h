#pragma once
// The built-in Cu-Fe-Ni activities evaluated as the formulas are written:
// one evaluation of the fit per component and point, the numerical
// derivative of each component and ratio on its own. The solver computes the
// same numbers with the shared work done once (cuFeNiPotentialDerivatives);
// tests compare the two bit for bit and the benchmarks time them.

#include "solver/cu_fe_ni.h"

namespace torvex::test {

// P_i, log10 of the self-diffusion coefficient of component i in cm^2/h at
// molar ratios a (Cu) and b (Fe), the fitted polynomial as it is written.
double cuFeNiLogDiffusivityPerHour(int i, double a, double b);
// The coefficient of component i in cm^2/s, one component at a time:
// 10^(P_i - log10 3600).
double cuFeNiDiffusivity(int i, double a, double b);

// F_q(x, y), the fitted function of component q.
double cuFeNiActivityFit(int q, double x, double y);

// (dF/du) / F at u for a fit F of one molar ratio u, by three-point
// differences with step h: central inside [0.0001, 0.9999], one-sided where
// a neighbour would leave that range (backward near 1, forward near 0).
template <class Fit>
double fitLogDerivative(const Fit& F, double u) {
  constexpr double h = kCuFeNiStep;
  const double b = F(u);
  const double d = F(u + h);
  const double e = F(u - h);
  double D;
  if (u + h > 0.9999)
    D = (3 * b - 4 * e + F(u - 2 * h)) / (2 * h);
  else
    D = 0;
  if (u - h < 0.0001) D = (-3 * b + 4 * d - F(u + 2 * h)) / (2 * h);
  if (u + h <= 0.9999 && u - h >= 0.0001) D = (d - e) / (2 * h);
  return D / b;
}

// phi_ql = d mu_q / d N_l (J/mol) of component q for ratio l = 0 (Cu) or
// 1 (Fe) at x = N_Cu, y = N_Fe; 0 for any other l.
double cuFeNiPotentialDerivative(int q, int l, double x, double y);

}  // namespace torvex::test
