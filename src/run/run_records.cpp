#include "run/run_records.h"

#include <cmath>
#include <string>
#include <vector>

#include "model/number_format.h"
#include "model/tform1.h"
#include "solver/boundary_fluxes.h"
#include "solver/differentiate.h"
#include "solver/evaluate_derivative.h"
#include "solver/mobilities.h"

namespace torvex {
namespace {

// Columns of the boundary and flux-comparison records.
constexpr const char* kSeparator = "   ";

// Points farther than this from the initial Kirkendall position (cm) are
// never taken as its nearest grid point.
constexpr double kNearestPointReach = 100.0;

void appendField(std::string& line, double value) {
  line += kSeparator;
  line += formatGeneral(value);
}

// The mobilities of the current diffusivity mode, as an evaluation of the
// derivative computes them; a mode without equations computes none.
void computeMobilities(TForm1& m) {
  switch (m.diffusivityMode) {
    case 0: ComputeMobilitiesFromFormulas(m); break;
    case 1: ComputeMobilitiesFromMatrix(m); break;
    case 2: ComputeMobilitiesCuFeNi(m); break;
    default: break;
  }
}

// Starting thickness of the oxide scale (cm), from the oxygen that the scale
// could pass in unit time at the surface content of component 1.
double startingOxideThickness(const TForm1& m) {
  const double surface = m.concentration[0][m.pointCount - 1];
  return (1 / m.oxideMolarConcentration) * (surface * m.oxideDiffusivity * kSolverGasConstant * m.temperature * 5e7) *
         1e-5;
}

// The grid point nearest to x; the first of equally near points wins, and
// point 0 when none lies within kNearestPointReach.
int nearestPoint(const TForm1& m, double x) {
  int nearest = 0;
  double best = kNearestPointReach;
  for (int k = 0; k < m.pointCount; ++k) {
    const double distance = std::fabs(x - m.position[static_cast<std::size_t>(k)]);
    if (distance < best) {
      nearest = k;
      best = distance;
    }
  }
  return nearest;
}

// f at x by the straight line through the grid points a and b.
double interpolate(const TForm1& m, const std::vector<double>& f, int a, int b, double x) {
  const auto ia = static_cast<std::size_t>(a);
  const auto ib = static_cast<std::size_t>(b);
  const double slope = (f[ia] - f[ib]) / (m.position[ia] - m.position[ib]);
  return slope * x + (f[ib] - slope * m.position[ib]);
}

// Pressure ratio p' / N1^(4/3) at the oxidising surface.
double surfacePressureRatio(const TForm1& m) {
  return m.oxidePressure / std::pow(m.molarRatio[0][m.pointCount - 1], 4.0 / 3.0);
}

}  // namespace

void InitRecords(TForm1& m) {
  TextList& kirkendall = m.kirkendallRecordLines;
  kirkendall.add("The calculation of the Kirkendall plane");
  kirkendall.add("as a function of time");
  kirkendall.add("time [s], position of Kirkendall Plane [cm]");
  kirkendall.add("");
  kirkendall.add("");

  const bool oxidation = m.boundaryFluxMode == 2;
  m.boundaryFluxLines.clear();
  m.boundaryFluxLines.add("The calculations of the boundary function");
  m.boundaryFluxLines.add(std::string("time [s], N1, component_1 left_boundary, N1, component_1 right_boundary, ..., "
                                      "Nr, component_r left_boundary, Nr, component_r right_boundary") +
                          (oxidation ? " kp, growth" : ""));

  if (oxidation) {
    SumConcentrations(m);
    ComputeMolarRatios(m);
    computeMobilities(m);
    UpdateOxidationConstants(m);
    m.oxideThickness = startingOxideThickness(m);
  }

  m.fluxComparisonLines.add("#fluxes comaprition");
  m.fluxComparisonLines.add(
      "#current time, N(A) at left boundary, N(A) at right bound, alloy flux of A, oxide flux of A");
}

void AdvanceKirkendallPlane(TForm1& m) {
  if (m.differenceScheme == 3) {
    // The integrator has moved the plane with the drift at its position.
    m.kirkendallRecordLines.add(formatGeneral(m.currentTime) + " " + formatGeneral(m.kirkendallPosition));
    return;
  }
  const int n = m.pointCount;
  const double x0 = m.initialKirkendallPosition;
  const int nearest = nearestPoint(m, x0);
  // The pair of grid points around x0, kept inside the grid.
  int a = x0 < m.position[static_cast<std::size_t>(nearest)] ? nearest - 1 : nearest;
  if (a < 0) a = 0;
  if (a > n - 2) a = n - 2;
  const double darken = interpolate(m, m.darkenVelocity, a, a + 1, x0);
  const double sigma = interpolate(m, m.sigmaVelocity, a, a + 1, x0);
  // The marker plane drifts with the lattice: x_K = (vD + vS) 2 t + x_K0 (cm).
  m.kirkendallPosition = (darken + sigma) * 2 * m.currentTime + x0;
  m.kirkendallRecordLines.add(formatGeneral(m.currentTime) + " " + formatGeneral(m.kirkendallPosition));
}

void AppendBoundaryFluxLine(TForm1& m) {
  const int last = m.pointCount - 1;
  std::string line = formatGeneral(m.currentTime);
  for (int i = 0; i < m.componentCount; ++i) {
    const auto component = static_cast<std::size_t>(i);
    appendField(line, m.molarRatio[i][0]);
    appendField(line, m.leftBoundaryFlux[component]);
    appendField(line, m.molarRatio[i][last]);
    appendField(line, m.rightBoundaryFlux[component]);
  }
  // The scale columns only while the scale grows.
  if (m.boundaryFluxMode == 2 && m.parabolicRateConstant >= 0) {
    appendField(line, m.parabolicRateConstant);
    appendField(line, m.oxideThickness);
  }
  appendField(line, surfacePressureRatio(m));
  m.boundaryFluxLines.add(std::move(line));
}

void AppendFluxComparisonLine(TForm1& m) {
  const int n = m.pointCount;
  const int last = n - 1;
  const double* x = m.position.data();
  const double* cA = m.concentration[0];
  const double surfaceRatio = m.molarRatio[0][last];

  std::string line = formatGeneral(m.currentTime);
  appendField(line, m.molarRatio[0][0]);
  appendField(line, surfaceRatio);

  // Flux of A arriving at the surface from the alloy, -B R T dc/dx
  // (mol/(cm^2 s)).
  const double slope = EndDerivative('R', x[last], x[n - 2], x[n - 3], cA[last], cA[n - 2], cA[n - 3]);
  const double alloyFlux = slope * (-m.mobility[0][last] * kSolverGasConstant * m.temperature);
  appendField(line, alloyFlux);
  line += kSeparator;

  UpdateOxidationConstants(m);
  // Parabolic rate constant of the scale (cm^2/s), from the oxygen pressures
  // at its outer face and at the alloy surface.
  const double kp =
      (std::pow(m.externalPressure, 1.0 / 6) - std::pow(m.oxidePressure / std::pow(surfaceRatio, 2), 1.0 / 6)) *
      (3 * m.oxideDiffusivity) * m.fluxMultiplier;
  m.parabolicRateConstant = kp;

  // Flux of A that the growing scale takes up (mol/(cm^2 s)).
  const double oxideFlux = (1 - surfaceRatio) * m.oxideMolarConcentration * kp / m.oxideThickness;
  line += formatGeneral(oxideFlux);
  m.fluxComparisonLines.add(std::move(line));
}

}  // namespace torvex
