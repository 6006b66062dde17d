#include "solver/evaluate_derivative.h"

#include <cmath>
#include <string>

#include "model/errors.h"
#include "solver/boundary_fluxes.h"
#include "solver/differentiate.h"
#include "solver/face_fluxes.h"
#include "solver/mobilities.h"
#include "solver/potential_gradients.h"
#include "solver/velocities.h"

namespace torvex {

void SumConcentrations(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  double* c = m.totalConcentration.data();
  for (int k = 0; k < n; ++k) c[k] = 0;
  for (int i = 0; i < r; ++i) {
    const double* ci = m.concentration[i];
    for (int k = 0; k < n; ++k) c[k] += ci[k];
  }
}

void ComputeMolarRatios(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  const double* c = m.totalConcentration.data();
  for (int i = 0; i < r; ++i) {
    const double* ci = m.concentration[i];
    double* N = m.molarRatio[i];
    for (int k = 0; k < n; ++k) N[k] = ci[k] / c[k];
  }
}

void ComputeMixtureVolume(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  double* volume = m.molarVolume.data();
  for (int k = 0; k < n; ++k) volume[k] = 0;
  for (int i = 0; i < r; ++i) {
    const double* Omega = m.partialMolarVolume[i];
    const double* N = m.molarRatio[i];
    for (int k = 0; k < n; ++k) volume[k] += Omega[k] * N[k];
  }
}

void refuseComponentCount(const TForm1& m, const char* message, const char* choice) {
  const std::string file = m.dataFileName.empty() ? std::string("the input data file") : m.dataFileName;
  throw FatalModelError(
      message, file + ", " + choice + " are for 3 components; key D0 gives " + std::to_string(m.componentCount));
}

void checkSolverModes(const TForm1& m) {
  const auto refuse = [&m](const char* key, const std::string& what, const char* accepted) {
    const std::string file = m.dataFileName.empty() ? std::string() : m.dataFileName + ", ";
    throw InputError(file + "key " + key + ": " + what + " cannot be computed; use " + accepted);
  };
  if (m.differenceScheme > 3)
    refuse("D16", "the type of differentiation " + std::to_string(m.differenceScheme),
           "0 (central), 1 (forward), 2 (backward) or 3 (conservative)");
  if (m.constitutiveMode > 1)
    refuse("D13", "the constitutive equations " + std::to_string(m.constitutiveMode),
           "0 (Nernst-Planck, Fick with ideal activities) or 1 (Onsager)");
  if (m.activityMode > 3)
    refuse("D12", "the thermodynamic activities " + std::to_string(m.activityMode),
           "0 (ideal), 1 (Cu-Fe-Ni alloy), 2 (Fe-Ni-Cr alloy) or 3 (molar fraction derivatives from file)");
}

namespace {

// Total concentration gradient and molar-ratio gradients from the
// concentration gradients (quotient rule).
void computeRatioGradients(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  const double* c = m.totalConcentration.data();
  double* dc = m.totalConcentrationGradient.data();
  for (int k = 0; k < n; ++k) dc[k] = 0;
  for (int i = 0; i < r; ++i) {
    const double* dci = m.concentrationGradient[i];
    for (int k = 0; k < n; ++k) dc[k] += dci[k];
  }
  for (int i = 0; i < r; ++i) {
    const double* ci = m.concentration[i];
    const double* dci = m.concentrationGradient[i];
    double* dN = m.molarRatioGradient[i];
    for (int k = 0; k < n; ++k) dN[k] = (dci[k] * c[k] - ci[k] * dc[k]) / std::pow(c[k], 2);
  }
}

// A closed sample: nothing crosses the ends, so each end takes its
// neighbour's composition with a flat profile.
void closeEnds(TForm1& m) {
  const int last = m.pointCount - 1;
  for (int i = 0; i < m.componentCount; ++i) {
    double* c = m.concentration[i];
    double* dc = m.concentrationGradient[i];
    c[0] = c[1];
    dc[0] = 0;
    c[last] = c[last - 1];
    dc[last] = 0;
  }
}

}  // namespace

void EvaluateDerivative(TForm1& m) {
  checkSolverModes(m);
  SumConcentrations(m);
  ComputeMolarRatios(m);
  if (m.differenceScheme == 3) {
    EvaluateDerivativeConservative(m);
    return;
  }

  switch (m.diffusivityMode) {
    case 0: ComputeMobilitiesFromFormulas(m); break;
    case 1: ComputeMobilitiesFromMatrix(m); break;
    case 2: ComputeMobilitiesCuFeNi(m); break;
    default: break;  // no diffusivities: every mobility stays as it is
  }

  if (m.boundaryFluxMode == 1)
    ComputeBoundaryFluxFormulas(m);
  else if (m.boundaryFluxMode == 2)
    ComputeBoundaryFluxOxidation(m);

  Differentiate(m, m.partialMolarVolume, m.partialMolarVolumeGradient);
  ComputeMixtureVolume(m);
  Differentiate(m, m.concentration, m.concentrationGradient);
  computeRatioGradients(m);
  if (m.boundaryFluxMode == 0) closeEnds(m);

  switch (m.activityMode) {
    case 1: ComputePotentialGradientsCuFeNi(m); break;
    case 2: ComputePotentialGradientsFeNiCr(m); break;
    case 3: ComputePotentialGradientsFromFile(m); break;
    default: break;  // ideal activities need no potential gradients
  }

  const bool ideal = m.activityMode == 0;
  if (m.constitutiveMode == 0) {
    if (ideal)
      ComputeVelocitiesFick(m);
    else
      ComputeVelocitiesNernstPlanck(m);
  } else {
    ComputeOnsagerCoefficients(m);
    if (ideal)
      ComputeVelocitiesOnsagerIdeal(m);
    else
      ComputeVelocitiesOnsager(m);
  }
  Differentiate(m, m.diffusionVelocity, m.diffusionVelocityGradient);
  // The limit caps the driving force at 5e7 R T per cm, which binds only
  // where a component nearly vanishes. The rates use the limited velocities
  // with the unlimited velocity gradients.
  LimitVelocities(m);

  if (m.darkenVelocityOn != 0) {
    ComputeDarkenVelocity(m);
    ComputeDarkenVelocityGradient(m);
  }

  if (m.referenceFrameMode == 0)
    ComputeRatesVolumeFixed(m);
  else
    ComputeRatesClassic(m);
}

}  // namespace torvex
