#include "solver/boundary_fluxes.h"

#include <cmath>
#include <limits>
#include <string_view>

#include "model/formula.h"
#include "solver/evaluate_derivative.h"

namespace torvex {
namespace {

// Once the left end of any component, or the first component at the right
// end, falls below the minimal molar fraction, nothing more may leave or
// enter: every boundary flux and end velocity is cleared. The caller's later
// steps may set them again.
void applyDepletionTest(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int last = c.pointCount - 1;
  bool depleted = false;
  for (int i = 0; i < r; ++i)
    if (s.molarRatio[i][0] < c.minimalMolarFraction || s.molarRatio[0][last] < c.minimalMolarFraction) depleted = true;
  if (!depleted) return;
  for (int i = 0; i < r; ++i) {
    s.diffusionVelocity[i][0] = 0;
    s.diffusionVelocity[i][last] = 0;
    s.leftBoundaryFlux[static_cast<std::size_t>(i)] = 0;
    s.rightBoundaryFlux[static_cast<std::size_t>(i)] = 0;
  }
}

// A boundary flux value: from the cache when the formula is a constant,
// otherwise evaluated at the end point.
double boundaryFluxValue(RunState& s, int component, int side, std::string_view formula, int point) {
  const CachedValue& cached = s.formulas.cached(FormulaKind::BoundaryFlux, component, side);
  if (cached.valid) return cached.value;
  return s.formula(FormulaKind::BoundaryFlux, component, side, formula, point);
}

// v = J / c at an end point, cut to the velocity limit; the flux follows a
// cut velocity so that the two stay consistent.
void setEndVelocity(RunState& s, int component, int point, double& flux) {
  double v = flux / s.concentration[component][point];
  if (limitVelocity(v, velocityLimit(s.mobility[component][point], s.temperature)))
    flux = v * s.concentration[component][point];
  s.diffusionVelocity[component][point] = v;
}

}  // namespace

void ComputeBoundaryFluxFormulas(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int last = c.pointCount - 1;
  applyDepletionTest(c, s);
  // At t = 0 the fluxes keep their values (zero after a load): the formulas
  // may divide by the time.
  if (s.currentTime != 0) {
    for (int i = 0; i < r; ++i) {
      // The line is split only when a formula is to be evaluated.
      std::string_view left, right;
      if (!s.formulas.cached(FormulaKind::BoundaryFlux, i, 0).valid ||
          !s.formulas.cached(FormulaKind::BoundaryFlux, i, 1).valid) {
        right = trimmedView(c.boundaryFluxFormulas[static_cast<std::size_t>(i)]);
        left = takeFormula(right);
      }
      s.leftBoundaryFlux[static_cast<std::size_t>(i)] = boundaryFluxValue(s, i, 0, left, 0);
      s.rightBoundaryFlux[static_cast<std::size_t>(i)] = boundaryFluxValue(s, i, 1, right, last);
    }
  }
  for (int i = 0; i < r; ++i) {
    setEndVelocity(s, i, 0, s.leftBoundaryFlux[static_cast<std::size_t>(i)]);
    setEndVelocity(s, i, last, s.rightBoundaryFlux[static_cast<std::size_t>(i)]);
  }
}

void UpdateOxidationConstants(const Case& c, RunState& s) {
  const int last = c.pointCount - 1;
  // The line is split only when a constant is to be evaluated.
  bool cached = true;
  for (int j = 0; j < 5; ++j) cached = cached && s.formulas.cached(FormulaKind::OxidationConstant, 0, j).valid;
  std::string_view rest = cached ? std::string_view() : trimmedView(c.boundaryFluxFormulas[0]);
  double constants[5];
  for (int j = 0; j < 5; ++j) {
    const std::string_view field = cached ? std::string_view() : j < 4 ? takeFormula(rest) : rest;
    // A constant that cannot be evaluated counts as 0.
    const CachedValue& cached = s.formulas.cached(FormulaKind::OxidationConstant, 0, j);
    constants[j] = cached.valid ? cached.value : s.formula(FormulaKind::OxidationConstant, 0, j, field, last);
  }
  s.oxide.diffusivity = constants[0];
  s.oxide.molarConcentration = constants[1];
  s.oxide.innerPressure = constants[2];
  s.oxide.externalPressure = constants[3];
  s.oxide.fluxMultiplier = constants[4];
}

namespace {

// The first part of selective oxidation: the depletion test, the five
// constants, kp and the unlimited surface flux c_ox kp / xi of component 1;
// the totals are brought up to date for the limit that follows.
void startOxidation(const Case& c, RunState& s) {
  const int last = c.pointCount - 1;
  applyDepletionTest(c, s);

  UpdateOxidationConstants(c, s);

  // Parabolic rate constant of the scale (cm^2/s), from the oxygen pressures
  // at its two faces; the inner one is set by the surface content of A.
  const double surfaceRatio = s.molarRatio[0][last];
  const double kp = (std::pow(s.oxide.externalPressure, 1.0 / 6) -
                     std::pow(s.oxide.innerPressure / std::pow(surfaceRatio, 2), 1.0 / 6)) *
                    (3 * s.oxide.diffusivity) * s.oxide.fluxMultiplier;
  s.oxide.parabolicRateConstant = kp;

  s.rightBoundaryFlux[0] = s.oxide.molarConcentration * kp / s.oxide.thickness;

  SumConcentrations(c, s);
}

// The scale cannot take more A than the limit Y allows: a smaller Y becomes
// the surface flux and sets kp anew (0 with the flux when it turns
// negative). Then the end velocities v_i = J_i / c_i, with no velocity limit:
// the surface flux is already bounded by Y.
void finishOxidation(const Case& c, RunState& s, double Y) {
  const int last = c.pointCount - 1;
  // The limit is a step limiter of the explicit loop: it makes the rates
  // depend on the step. The implicit integrator's rates are a function of
  // the state alone, held physical by its tolerances and the floor.
  if (c.integrator == Integrator::Bdf) Y = std::numeric_limits<double>::infinity();
  const double surfaceRatio = s.molarRatio[0][last];
  const double xi = s.oxide.thickness;
  double& surfaceFlux = s.rightBoundaryFlux[0];
  if (Y < surfaceFlux) {
    surfaceFlux = Y;
    const double kp = surfaceFlux * xi / ((1 - surfaceRatio) * s.oxide.molarConcentration);
    s.oxide.parabolicRateConstant = kp;
    if (kp < 0) {
      surfaceFlux = 0;
      s.oxide.parabolicRateConstant = 0;
    }
  }
  for (int i = 0; i < c.componentCount; ++i)
    s.diffusionVelocity[i][last] = s.rightBoundaryFlux[static_cast<std::size_t>(i)] / s.concentration[i][last];
}

}  // namespace

void ComputeBoundaryFluxOxidation(const Case& c, RunState& s) {
  const int n = c.pointCount;
  const int last = n - 1;
  startOxidation(c, s);

  // The surface flux Y whose three-point divergence would bring A at the
  // surface down to 1 % of the total concentration within one stage step;
  // the scale cannot take more A than that.
  const double* x = s.position.data();
  const double* cA = s.concentration[0];
  const double* vA = s.diffusionVelocity[0];
  const double hL = x[n - 2] - x[n - 3];
  const double hR = x[n - 1] - x[n - 2];
  const double J3 = cA[n - 3] * vA[n - 3];
  const double J2 = cA[n - 2] * vA[n - 2];
  const double cMin = 0.01 * s.totalConcentration[static_cast<std::size_t>(last)];
  const double dt = s.stageTimeStep;
  const double Y = ((hR * hR * J3 - hR * (hR + hL) * J2) / (hR * hL * (hR + hL)) + (cMin - cA[last]) / dt - J2 / hR) /
                   (-((hR * hL) / (hR * hL * (hR + hL)) + 1 / hR));
  finishOxidation(c, s, Y);
}

void ComputeBoundaryFluxOxidationHalfCell(const Case& c, RunState& s, double innerFlux) {
  const int n = c.pointCount;
  const int last = n - 1;
  startOxidation(c, s);

  // The balance of the half cell at the surface,
  //   w dc_A/dt = F_in - J,   w = (x_{n-1} - x_{n-2}) / 2,
  // keeps c_A at or above 1 % of the total concentration over one stage step
  // as long as J <= F_in + w (c_A - c_min) / dt.
  const double w = 0.5 * (s.position[static_cast<std::size_t>(last)] - s.position[static_cast<std::size_t>(n - 2)]);
  const double cMin = 0.01 * s.totalConcentration[static_cast<std::size_t>(last)];
  const double dt = s.stageTimeStep;
  const double Y = innerFlux + w * (s.concentration[0][last] - cMin) / dt;
  finishOxidation(c, s, Y);
}

}  // namespace torvex
