#pragma once
// The built-in Cu-Fe-Ni alloy: self-diffusion coefficients and the
// thermodynamic factors of its chemical potentials, as fitted functions of
// the molar ratios of Cu and Fe. Components in the order Cu, Fe, Ni.

namespace torvex {

inline constexpr const char* kCuFeNiComponentError = "ERROR 1. Check input files. (3 components Cu-Fe-Ni)";

// R T of the fitted chemical potentials (J/mol). Fixed by the fit, whatever
// the temperature of the run.
constexpr double kCuFeNiRT = 10583.722;

// Self-diffusion coefficient of component i (cm^2/s) at molar ratios
// a (Cu) and b (Fe): 10^(P_i - log10 3600), P_i being the decimal logarithm
// of the coefficient per hour.
double cuFeNiDiffusivity(int i, double a, double b);
// P_i, log10 of the coefficient in cm^2/h.
double cuFeNiLogDiffusivityPerHour(int i, double a, double b);

// The fitted function F_q(x, y) of component q (x = N_Cu, y = N_Fe): a
// Chebyshev expansion of total degree 9 on the composition triangle, its
// arguments clipped to the fitted range.
double cuFeNiActivityFit(int q, double x, double y);

// Step of the numerical derivatives of the fit.
constexpr double kCuFeNiStep = 1e-5;

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
// 1 (Fe) at x = N_Cu, y = N_Fe.
double cuFeNiPotentialDerivative(int q, int l, double x, double y);

}  // namespace torvex
