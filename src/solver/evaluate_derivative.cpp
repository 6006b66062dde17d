#include "solver/evaluate_derivative.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "model/errors.h"
#include "solver/boundary_fluxes.h"
#include "solver/differentiate.h"
#include "solver/face_fluxes.h"
#include "solver/mobilities.h"
#include "solver/potential_gradients.h"
#include "solver/velocities.h"

namespace torvex {

void SumConcentrations(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  double* total = s.totalConcentration.data();
  for (int k = 0; k < n; ++k) total[k] = 0;
  for (int i = 0; i < r; ++i) {
    const double* ci = s.concentration[i];
    for (int k = 0; k < n; ++k) total[k] += ci[k];
  }
}

void ComputeMolarRatios(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  const double* total = s.totalConcentration.data();
  for (int i = 0; i < r; ++i) {
    const double* ci = s.concentration[i];
    double* N = s.molarRatio[i];
    for (int k = 0; k < n; ++k) N[k] = ci[k] / total[k];
  }
}

void ComputeMixtureVolume(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  double* volume = s.molarVolume.data();
  for (int k = 0; k < n; ++k) volume[k] = 0;
  for (int i = 0; i < r; ++i) {
    const double* Omega = s.partialMolarVolume[i];
    const double* N = s.molarRatio[i];
    for (int k = 0; k < n; ++k) volume[k] += Omega[k] * N[k];
  }
}

void refuseComponentCount(const Case& c, const char* message, const char* choice) {
  const std::string file = c.dataFileName.empty() ? std::string("the input data file") : c.dataFileName;
  throw FatalModelError(
      message, file + ", " + choice + " are for 3 components; key D0 gives " + std::to_string(c.componentCount));
}

namespace {

// Total concentration gradient and molar-ratio gradients from the
// concentration gradients (quotient rule).
void computeRatioGradients(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  const double* total = s.totalConcentration.data();
  double* dtotal = s.totalConcentrationGradient.data();
  for (int k = 0; k < n; ++k) dtotal[k] = 0;
  for (int i = 0; i < r; ++i) {
    const double* dci = s.concentrationGradient[i];
    for (int k = 0; k < n; ++k) dtotal[k] += dci[k];
  }
  for (int i = 0; i < r; ++i) {
    const double* ci = s.concentration[i];
    const double* dci = s.concentrationGradient[i];
    double* dN = s.molarRatioGradient[i];
    for (int k = 0; k < n; ++k) dN[k] = (dci[k] * total[k] - ci[k] * dtotal[k]) / std::pow(total[k], 2);
  }
}

// A closed sample: nothing crosses the ends, so each end takes its
// neighbour's composition with a flat profile.
void closeEnds(const Case& c, RunState& s) {
  const int last = c.pointCount - 1;
  for (int i = 0; i < c.componentCount; ++i) {
    double* ci = s.concentration[i];
    double* dci = s.concentrationGradient[i];
    ci[0] = ci[1];
    dci[0] = 0;
    ci[last] = ci[last - 1];
    dci[last] = 0;
  }
}

}  // namespace

void EvaluateDerivative(const Case& c, RunState& s) {
  SumConcentrations(c, s);
  ComputeMolarRatios(c, s);
  if (c.differenceScheme == DifferenceScheme::Conservative) {
    EvaluateDerivativeConservative(c, s);
    return;
  }

  ComputeMobilities(c, s);

  if (c.boundaryFlux == BoundaryFlux::Formulas)
    ComputeBoundaryFluxFormulas(c, s);
  else if (c.boundaryFlux == BoundaryFlux::SelectiveOxidation)
    ComputeBoundaryFluxOxidation(c, s);

  Differentiate(c, s.position, s.partialMolarVolume, s.partialMolarVolumeGradient);
  ComputeMixtureVolume(c, s);
  Differentiate(c, s.position, s.concentration, s.concentrationGradient);
  computeRatioGradients(c, s);
  if (c.boundaryFlux == BoundaryFlux::None) closeEnds(c, s);

  switch (c.activityModel) {
    case ActivityModel::CuFeNi: ComputePotentialGradientsCuFeNi(c, s); break;
    case ActivityModel::FeNiCr: ComputePotentialGradientsFeNiCr(c, s); break;
    case ActivityModel::Formulas: ComputePotentialGradientsFromFile(c, s); break;
    default: break;  // ideal activities need no potential gradients
  }

  const bool ideal = c.activityModel == ActivityModel::Ideal;
  if (c.constitutive == Constitutive::NernstPlanck) {
    if (ideal)
      ComputeVelocitiesFick(c, s);
    else
      ComputeVelocitiesNernstPlanck(c, s);
  } else {
    ComputeOnsagerCoefficients(c, s);
    if (ideal)
      ComputeVelocitiesOnsagerIdeal(c, s);
    else
      ComputeVelocitiesOnsager(c, s);
  }
  Differentiate(c, s.position, s.diffusionVelocity, s.diffusionVelocityGradient);
  // The limit caps the driving force at 5e7 R T per cm, which binds only
  // where a component nearly vanishes. The rates use the limited velocities
  // with the unlimited velocity gradients.
  LimitVelocities(c, s);

  if (c.darkenVelocityOn != 0) {
    ComputeDarkenVelocity(c, s);
    ComputeDarkenVelocityGradient(c, s);
  }

  if (c.frame == Frame::VolumeFixed)
    ComputeRatesVolumeFixed(c, s);
  else
    ComputeRatesClassic(c, s);
}

void EvaluateDerivative(const Case& c, RunState& s, std::span<const double> concentration, std::span<double> rate) {
  if (concentration.size() != s.concentration.size() || rate.size() != s.concentrationRate.size())
    throw std::invalid_argument("EvaluateDerivative: the concentration field and its rate must hold r * n values");
  std::copy(concentration.begin(), concentration.end(), s.concentration.data());
  EvaluateDerivative(c, s);
  std::copy(s.concentrationRate.data(), s.concentrationRate.data() + rate.size(), rate.begin());
}

}  // namespace torvex
