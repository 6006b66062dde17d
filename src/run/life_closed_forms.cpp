#include "run/life_closed_forms.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace torvex {
namespace {

// The alloy's molar volume at molar fraction N of component 1.
double molarVolume(double N, double omega1, double omegaRest) {
  return N * omega1 + (1 - N) * omegaRest;
}

// The molar fraction at volume fraction phi (the inverse of volumeFraction).
double molarFraction(double phi, double omega1, double omegaRest) {
  return phi * omegaRest / ((1 - phi) * omega1 + phi * omegaRest);
}

// The root of a function that is positive at `low` and negative at `high`.
template <class Function>
double bisect(double low, double high, const Function& f) {
  for (int i = 0; i < 200 && low < high; ++i) {
    const double middle = (low + high) / 2;
    if (middle == low || middle == high) break;
    (f(middle) < 0 ? high : low) = middle;
  }
  return (low + high) / 2;
}

}  // namespace

double ScaleConstants::kp(double surfaceContent) const {
  return 3 * oxideDiffusivity * multiplier *
         (std::pow(outerPressure, 1.0 / 6) - std::pow(innerPressure / (surfaceContent * surfaceContent), 1.0 / 6));
}

double volumeFraction(double N, double omega1, double omegaRest) {
  return N * omega1 / molarVolume(N, omega1, omegaRest);
}

double gridSpan(double declaredWidth, int points) {
  return declaredWidth * (points - 1) / points;
}

double consumptionToReach(const UniformAlloy& alloy, SurfaceKind kind, double N) {
  const double N0 = alloy.initialContent;
  if (kind == SurfaceKind::kReceding)
    return alloy.length / molarVolume(N0, alloy.omega1, alloy.omegaRest) * (N0 - N) / (1 - N);
  const double phi0 = volumeFraction(N0, alloy.omega1, alloy.omegaRest);
  const double phi = volumeFraction(N, alloy.omega1, alloy.omegaRest);
  return alloy.length / alloy.omega1 * std::log((1 - phi) / (1 - phi0));
}

double contentAfter(const UniformAlloy& alloy, SurfaceKind kind, double metal) {
  const double N0 = alloy.initialContent;
  if (kind == SurfaceKind::kReceding) {
    const double a = metal * molarVolume(N0, alloy.omega1, alloy.omegaRest) / alloy.length;
    return (N0 - a) / (1 - a);
  }
  const double phi0 = volumeFraction(N0, alloy.omega1, alloy.omegaRest);
  const double phi = 1 - (1 - phi0) * std::exp(metal * alloy.omega1 / alloy.length);
  return molarFraction(phi, alloy.omega1, alloy.omegaRest);
}

double recededLength(const UniformAlloy& alloy, double metal) {
  return alloy.length - alloy.omega1 * metal;
}

double parabolicTime(double metal, double cOx, double kp, double startThickness) {
  const double thickness = startThickness + metal / cOx;
  return (thickness * thickness - startThickness * startThickness) / (2 * kp);
}

double uniformDepletionLife(const UniformAlloy& alloy, SurfaceKind kind, const ScaleConstants& scale, double critical,
                            double startThickness) {
  if (!(critical < alloy.initialContent)) return 0;  // spent from the start
  const double cOx = scale.oxideConcentration;
  const double from = startThickness;
  const double to = startThickness + consumptionToReach(alloy, kind, critical) / cOx;
  // dt = ξ dξ / kp(N(ξ)), N(ξ) from the metal the scale has taken since ξ0.
  const auto integrand = [&](double xi) { return xi / scale.kp(contentAfter(alloy, kind, cOx * (xi - from))); };
  constexpr int kIntervals = 2000;
  const double h = (to - from) / kIntervals;
  double sum = integrand(from) + integrand(to);
  for (int k = 1; k < kIntervals; ++k) sum += (k % 2 == 1 ? 4 : 2) * integrand(from + k * h);
  return sum * h / 3;
}

double surfaceLag(double length, double interdiffusion) {
  return length * length / (3 * interdiffusion);
}

double recessionFactor(double gamma) {
  if (gamma < 20) return std::sqrt(std::numbers::pi) * gamma * std::exp(gamma * gamma) * std::erfc(gamma);
  // exp(γ²) erfc(γ) = (1 / (sqrt(π) γ)) (1 - 1/(2γ²) + 3/(4γ⁴) - 15/(8γ⁶) + 105/(16γ⁸) - ...);
  // the next term is below 3e-12 here.
  const double u = 1 / (gamma * gamma);
  return 1 + u * (-0.5 + u * (0.75 + u * (-1.875 + u * 6.5625)));
}

double settledSurfaceContent(SurfaceKind kind, const ScaleConstants& scale, double N0, double D, double omega1,
                             double omegaRest) {
  const double phi0 = volumeFraction(N0, omega1, omegaRest);
  const auto phi = [&](double N) { return volumeFraction(N, omega1, omegaRest); };
  // The uptake's size against what diffusion delivers: Ω1 c_ox sqrt(kp / (2 D)).
  const auto gamma = [&](double Ns) { return omega1 * scale.oxideConcentration * std::sqrt(scale.kp(Ns) / (2 * D)); };
  // Both imbalances are positive where the alloy would deliver more than the
  // scale takes (a surface content too low: kp vanishes there) and negative
  // at N0 (an undepleted alloy delivers nothing).
  const auto imbalance = [&](double Ns) {
    if (kind == SurfaceKind::kRefilling)
      return phi0 - phi(Ns) - (1 - phi(Ns)) * std::sqrt(std::numbers::pi) * gamma(Ns);
    const double F = recessionFactor(gamma(Ns));
    return (phi0 - F) / (1 - F) - phi(Ns);
  };
  // kp vanishes where p' / Ns² reaches p'': below that content no scale grows.
  const double lowest = std::sqrt(scale.innerPressure / scale.outerPressure) * (1 + 1e-12);
  if (!(lowest < N0)) return N0;  // no scale grows on this alloy
  return bisect(std::max(lowest, 1e-300), N0, imbalance);
}

std::vector<SpallCycle> spallRecursion(double startThickness, double firstDose, double cycleDose, const SpallLaw& law,
                                       double thinnest, double cOx, long long cycles) {
  std::vector<SpallCycle> books;
  double xi = startThickness;
  double spalled = 0;  // thickness
  for (long long k = 0; k < cycles; ++k) {
    const double before = std::sqrt(xi * xi + (k == 0 ? firstDose : cycleDose));
    const double after = std::max(before * (1 - law.fraction(before)), std::min(thinnest, before));
    spalled += before - after;
    xi = after;
    books.push_back({before, after, cOx * spalled, cOx * (after + spalled - startThickness)});
  }
  return books;
}

double steadySpallThickness(double cycleDose, double fraction) {
  return std::sqrt(cycleDose / (fraction * (2 - fraction)));
}

double steadyMetalLossPerCycle(double cycleDose, double fraction, double cOx) {
  return cOx * fraction * steadySpallThickness(cycleDose, fraction);
}

double terminalMassChangeSlope(double cycleDose, double fraction, double cOx, double metalMolarMass) {
  return -1000 * metalMolarMass * steadyMetalLossPerCycle(cycleDose, fraction, cOx);
}

double spallingLife(double metal, double startThickness, double kp, double firstCoolDown, double period,
                    const SpallLaw& law, double thinnest, double cOx, long long maxCycles) {
  double xi = startThickness;  // at the start of the span
  double spanStart = 0;
  double taken = 0;  // metal the alloy has given up at the start of the span
  for (long long k = 0; k <= maxCycles; ++k) {
    const double spanEnd = firstCoolDown + static_cast<double>(k) * period;
    const double before = std::sqrt(xi * xi + 2 * kp * (spanEnd - spanStart));
    if (taken + cOx * (before - xi) >= metal || k == maxCycles) {
      // Within this span the scale grows from xi: taken + c_ox (ξ - xi) = metal.
      const double target = xi + (metal - taken) / cOx;
      if (k == maxCycles && target > before) return std::numeric_limits<double>::infinity();
      return spanStart + (target * target - xi * xi) / (2 * kp);
    }
    taken += cOx * (before - xi);
    xi = std::max(before * (1 - law.fraction(before)), std::min(thinnest, before));
    spanStart = spanEnd;
  }
  return std::numeric_limits<double>::infinity();
}

}  // namespace torvex
