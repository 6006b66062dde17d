#include "run/run_records.h"

#include <cmath>
#include <optional>
#include <vector>

#include "solver/boundary_fluxes.h"
#include "solver/differentiate.h"
#include "solver/evaluate_derivative.h"
#include "solver/mobilities.h"

namespace torvex {
namespace {

// Points farther than this from the initial Kirkendall position (cm) are
// never taken as its nearest grid point.
constexpr double kNearestPointReach = 100.0;

// Starting thickness of the oxide scale (cm), from the oxygen that the scale
// could pass in unit time at the surface content of component 1.
double startingOxideThickness(const Case& c, const RunState& s) {
  const double surface = s.concentration[0][c.pointCount - 1];
  return (1 / s.oxide.molarConcentration) * (surface * s.oxide.diffusivity * kSolverGasConstant * s.temperature * 5e7) *
         1e-5;
}

// The grid point nearest to x; the first of equally near points wins, and
// point 0 when none lies within kNearestPointReach.
int nearestPoint(const Case& c, const RunState& s, double x) {
  int nearest = 0;
  double best = kNearestPointReach;
  for (int k = 0; k < c.pointCount; ++k) {
    const double distance = std::fabs(x - s.position[static_cast<std::size_t>(k)]);
    if (distance < best) {
      nearest = k;
      best = distance;
    }
  }
  return nearest;
}

// f at x by the straight line through the grid points a and b.
double interpolate(const RunState& s, const std::vector<double>& f, int a, int b, double x) {
  const auto ia = static_cast<std::size_t>(a);
  const auto ib = static_cast<std::size_t>(b);
  const double slope = (f[ia] - f[ib]) / (s.position[ia] - s.position[ib]);
  return slope * x + (f[ib] - slope * s.position[ib]);
}

// Pressure ratio p' / N1^(4/3) at the oxidising surface.
double surfacePressureRatio(const Case& c, const RunState& s) {
  return s.oxide.innerPressure / std::pow(s.molarRatio[0][c.pointCount - 1], 4.0 / 3.0);
}

}  // namespace

void InitRecords(const Case& c, RunState& s, RunRecords& records) {
  const bool oxidation = c.boundaryFlux == BoundaryFlux::SelectiveOxidation;
  openRecords(records, oxidation);
  if (oxidation) {
    SumConcentrations(c, s);
    ComputeMolarRatios(c, s);
    ComputeMobilities(c, s);
    UpdateOxidationConstants(c, s);
    s.oxide.thickness = startingOxideThickness(c, s);
  }
}

void AdvanceKirkendallPlane(const Case& c, RunState& s, RunRecords& records) {
  if (c.differenceScheme == DifferenceScheme::Conservative) {
    // The integrator has moved the plane with the drift at its position.
    records.kirkendall.add(kirkendallRecordLine(s.currentTime, s.kirkendallPosition));
    return;
  }
  const int n = c.pointCount;
  const double x0 = c.initialKirkendallPosition;
  const int nearest = nearestPoint(c, s, x0);
  // The pair of grid points around x0, kept inside the grid.
  int a = x0 < s.position[static_cast<std::size_t>(nearest)] ? nearest - 1 : nearest;
  if (a < 0) a = 0;
  if (a > n - 2) a = n - 2;
  const double darken = interpolate(s, s.darkenVelocity, a, a + 1, x0);
  const double sigma = interpolate(s, s.sigmaVelocity, a, a + 1, x0);
  // The marker plane drifts with the lattice: x_K = (vD + vS) 2 t + x_K0 (cm).
  s.kirkendallPosition = (darken + sigma) * 2 * s.currentTime + x0;
  records.kirkendall.add(kirkendallRecordLine(s.currentTime, s.kirkendallPosition));
}

void AppendBoundaryFluxLine(const Case& c, const RunState& s, RunRecords& records) {
  // The scale columns only while the scale grows.
  std::optional<ScaleColumns> scale;
  if (c.boundaryFlux == BoundaryFlux::SelectiveOxidation && s.oxide.parabolicRateConstant >= 0)
    scale = ScaleColumns{s.oxide.parabolicRateConstant, s.oxide.thickness};
  records.boundary.add(boundaryRecordLine(s.currentTime, s.molarRatio, s.leftBoundaryFlux, s.rightBoundaryFlux, scale,
                                          surfacePressureRatio(c, s)));
}

void AppendFluxComparisonLine(const Case& c, RunState& s, RunRecords& records) {
  const int n = c.pointCount;
  const int last = n - 1;
  const double* x = s.position.data();
  const double* cA = s.concentration[0];
  const double surfaceRatio = s.molarRatio[0][last];
  const double leftRatio = s.molarRatio[0][0];

  // Flux of A arriving at the surface from the alloy, -B R T dc/dx
  // (mol/(cm^2 s)).
  const double slope = EndDerivative('R', x[last], x[n - 2], x[n - 3], cA[last], cA[n - 2], cA[n - 3]);
  const double alloyFlux = slope * (-s.mobility[0][last] * kSolverGasConstant * s.temperature);

  UpdateOxidationConstants(c, s);
  // Parabolic rate constant of the scale (cm^2/s), from the oxygen pressures
  // at its outer face and at the alloy surface.
  const OxideScale& ox = s.oxide;
  const double kp =
      (std::pow(ox.externalPressure, 1.0 / 6) - std::pow(ox.innerPressure / std::pow(surfaceRatio, 2), 1.0 / 6)) *
      (3 * ox.diffusivity) * ox.fluxMultiplier;
  s.oxide.parabolicRateConstant = kp;

  // Flux of A that the growing scale takes up (mol/(cm^2 s)).
  const double oxideFlux = (1 - surfaceRatio) * ox.molarConcentration * kp / ox.thickness;
  records.fluxComparison.add(fluxComparisonLine(s.currentTime, leftRatio, surfaceRatio, alloyFlux, oxideFlux));
}

}  // namespace torvex
