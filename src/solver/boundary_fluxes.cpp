#include "solver/boundary_fluxes.h"

#include <cmath>
#include <string_view>

#include "model/formula.h"
#include "solver/evaluate_derivative.h"

namespace torvex {
namespace {

// Once the left end of any component, or the first component at the right
// end, falls below the minimal molar fraction, nothing more may leave or
// enter: every boundary flux and end velocity is cleared. The caller's later
// steps may set them again.
void applyDepletionTest(TForm1& m) {
  const int r = m.componentCount;
  const int last = m.pointCount - 1;
  bool depleted = false;
  for (int i = 0; i < r; ++i)
    if (m.molarRatio[i][0] < m.minimalMolarFraction || m.molarRatio[0][last] < m.minimalMolarFraction) depleted = true;
  if (!depleted) return;
  for (int i = 0; i < r; ++i) {
    m.diffusionVelocity[i][0] = 0;
    m.diffusionVelocity[i][last] = 0;
    m.leftBoundaryFlux[static_cast<std::size_t>(i)] = 0;
    m.rightBoundaryFlux[static_cast<std::size_t>(i)] = 0;
  }
}

// A boundary flux value: from the cache when the formula is a constant,
// otherwise evaluated at the end point.
double boundaryFluxValue(TForm1& m, int component, int side, std::string_view formula, int point) {
  m.formulaValue = 0;
  const CachedValue& cached = m.boundaryFluxCache[side][component];
  if (cached.valid) return cached.value;
  m.evaluateFormula(4, component, formula, point, side);
  return m.formulaValue;
}

// v = J / c at an end point, cut to the velocity limit; the flux follows a
// cut velocity so that the two stay consistent.
void setEndVelocity(TForm1& m, int component, int point, double& flux) {
  double v = flux / m.concentration[component][point];
  if (limitVelocity(v, velocityLimit(m.mobility[component][point], m.temperature)))
    flux = v * m.concentration[component][point];
  m.diffusionVelocity[component][point] = v;
}

}  // namespace

void ComputeBoundaryFluxFormulas(TForm1& m) {
  const int r = m.componentCount;
  const int last = m.pointCount - 1;
  applyDepletionTest(m);
  // At t = 0 the fluxes keep their values (zero after a load): the formulas
  // may divide by the time.
  if (m.currentTime != 0) {
    for (int i = 0; i < r; ++i) {
      // The line is split only when a formula is to be evaluated.
      std::string_view left, right;
      if (!m.boundaryFluxCache[0][i].valid || !m.boundaryFluxCache[1][i].valid) {
        right = trimmedView(m.boundaryFluxFormulas[static_cast<std::size_t>(i)]);
        left = takeFormula(right);
      }
      m.leftBoundaryFlux[static_cast<std::size_t>(i)] = boundaryFluxValue(m, i, 0, left, 0);
      m.rightBoundaryFlux[static_cast<std::size_t>(i)] = boundaryFluxValue(m, i, 1, right, last);
    }
  }
  for (int i = 0; i < r; ++i) {
    setEndVelocity(m, i, 0, m.leftBoundaryFlux[static_cast<std::size_t>(i)]);
    setEndVelocity(m, i, last, m.rightBoundaryFlux[static_cast<std::size_t>(i)]);
  }
}

void UpdateOxidationConstants(TForm1& m) {
  const int last = m.pointCount - 1;
  // The line is split only when a constant is to be evaluated.
  bool cached = true;
  for (const CachedValue& entry : m.oxidationConstantCache) cached = cached && entry.valid;
  std::string_view rest = cached ? std::string_view() : trimmedView(m.boundaryFluxFormulas[0]);
  double constants[5];
  for (int j = 0; j < 5; ++j) {
    const std::string_view field = cached ? std::string_view() : j < 4 ? takeFormula(rest) : rest;
    m.formulaValue = 0;  // a constant that cannot be evaluated counts as 0
    const CachedValue& cached = m.oxidationConstantCache[static_cast<std::size_t>(j)];
    if (cached.valid) {
      constants[j] = cached.value;
    } else {
      m.evaluateFormula(3, 0, field, last, j);
      constants[j] = m.formulaValue;
    }
  }
  m.oxideDiffusivity = constants[0];
  m.oxideMolarConcentration = constants[1];
  m.oxidePressure = constants[2];
  m.externalPressure = constants[3];
  m.fluxMultiplier = constants[4];
}

namespace {

// The first part of selective oxidation: the depletion test, the five
// constants, kp and the unlimited surface flux c_ox kp / xi of component 1;
// the totals are brought up to date for the limit that follows.
void startOxidation(TForm1& m) {
  const int last = m.pointCount - 1;
  applyDepletionTest(m);

  UpdateOxidationConstants(m);

  // Parabolic rate constant of the scale (cm^2/s), from the oxygen pressures
  // at its two faces; the inner one is set by the surface content of A.
  const double surfaceRatio = m.molarRatio[0][last];
  const double kp =
      (std::pow(m.externalPressure, 1.0 / 6) - std::pow(m.oxidePressure / std::pow(surfaceRatio, 2), 1.0 / 6)) *
      (3 * m.oxideDiffusivity) * m.fluxMultiplier;
  m.parabolicRateConstant = kp;

  m.rightBoundaryFlux[0] = m.oxideMolarConcentration * kp / m.oxideThickness;

  SumConcentrations(m);
}

// The scale cannot take more A than the limit Y allows: a smaller Y becomes
// the surface flux and sets kp anew (0 with the flux when it turns
// negative). Then the end velocities v_i = J_i / c_i, with no velocity limit:
// the surface flux is already bounded by Y.
void finishOxidation(TForm1& m, double Y) {
  const int last = m.pointCount - 1;
  const double surfaceRatio = m.molarRatio[0][last];
  const double xi = m.oxideThickness;
  double& surfaceFlux = m.rightBoundaryFlux[0];
  if (Y < surfaceFlux) {
    surfaceFlux = Y;
    const double kp = surfaceFlux * xi / ((1 - surfaceRatio) * m.oxideMolarConcentration);
    m.parabolicRateConstant = kp;
    if (kp < 0) {
      surfaceFlux = 0;
      m.parabolicRateConstant = 0;
    }
  }
  for (int i = 0; i < m.componentCount; ++i)
    m.diffusionVelocity[i][last] = m.rightBoundaryFlux[static_cast<std::size_t>(i)] / m.concentration[i][last];
}

}  // namespace

void ComputeBoundaryFluxOxidation(TForm1& m) {
  const int n = m.pointCount;
  const int last = n - 1;
  startOxidation(m);

  // The surface flux Y whose three-point divergence would bring A at the
  // surface down to 1 % of the total concentration within one stage step;
  // the scale cannot take more A than that.
  const double* x = m.position.data();
  const double* cA = m.concentration[0];
  const double* vA = m.diffusionVelocity[0];
  const double hL = x[n - 2] - x[n - 3];
  const double hR = x[n - 1] - x[n - 2];
  const double J3 = cA[n - 3] * vA[n - 3];
  const double J2 = cA[n - 2] * vA[n - 2];
  const double cMin = 0.01 * m.totalConcentration[static_cast<std::size_t>(last)];
  const double dt = m.stageTimeStep;
  const double Y = ((hR * hR * J3 - hR * (hR + hL) * J2) / (hR * hL * (hR + hL)) + (cMin - cA[last]) / dt - J2 / hR) /
                   (-((hR * hL) / (hR * hL * (hR + hL)) + 1 / hR));
  finishOxidation(m, Y);
}

void ComputeBoundaryFluxOxidationHalfCell(TForm1& m, double innerFlux) {
  const int n = m.pointCount;
  const int last = n - 1;
  startOxidation(m);

  // The balance of the half cell at the surface,
  //   w dc_A/dt = F_in - J,   w = (x_{n-1} - x_{n-2}) / 2,
  // keeps c_A at or above 1 % of the total concentration over one stage step
  // as long as J <= F_in + w (c_A - c_min) / dt.
  const double w = 0.5 * (m.position[static_cast<std::size_t>(last)] - m.position[static_cast<std::size_t>(n - 2)]);
  const double cMin = 0.01 * m.totalConcentration[static_cast<std::size_t>(last)];
  const double dt = m.stageTimeStep;
  const double Y = innerFlux + w * (m.concentration[0][last] - cMin) / dt;
  finishOxidation(m, Y);
}

}  // namespace torvex
