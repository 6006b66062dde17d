#include "solver/potential_gradients.h"

#include "solver/cu_fe_ni.h"
#include "solver/evaluate_derivative.h"
#include "solver/fe_ni_cr.h"
#include "solver/mobilities.h"

namespace torvex {
namespace {

// Nothing is known beyond the ends: their potential gradients are 0.
void clearEnds(const Case& c, RunState& s) {
  for (int q = 0; q < c.componentCount; ++q) {
    s.chemicalPotentialGradient[q][0] = 0;
    s.chemicalPotentialGradient[q][c.pointCount - 1] = 0;
  }
}

}  // namespace

void ComputePotentialGradientsCuFeNi(const Case& c, RunState& s) {
  if (c.componentCount != 3)
    refuseComponentCount(c, kCuFeNiComponentError, "key D12: the built-in Cu-Fe-Ni activities (D12 = 1)");
  const int n = c.pointCount;
  const double* x = s.molarRatio[0];  // Cu
  const double* y = s.molarRatio[1];  // Fe
  const double* dx = s.molarRatioGradient[0];
  const double* dy = s.molarRatioGradient[1];
  // The fit is evaluated for many nodes at once, the nodes side by side in
  // the vector unit; a chunk of them at a time keeps the pass free of
  // allocations.
  constexpr int kChunk = 64;
  CuFeNiPhi phi[kChunk];
  for (int first = 0; first < n; first += kChunk) {
    const int count = n - first < kChunk ? n - first : kChunk;
    cuFeNiPotentialDerivatives(x + first, y + first, count, phi);
    for (int j = 0; j < count; ++j) {
      const int k = first + j;
      for (int q = 0; q < 3; ++q) {
        double gradient = 0;
        gradient += phi[j].phi[q][0] * dx[k];
        gradient += phi[j].phi[q][1] * dy[k];
        s.chemicalPotentialGradient[q][k] = gradient;
      }
    }
  }
  clearEnds(c, s);
}

void ComputePotentialGradientsFeNiCr(const Case& c, RunState& s) {
  if (c.componentCount != 3)
    refuseComponentCount(c, kFeNiCrComponentError, "key D12: the built-in Fe-Ni-Cr activities (D12 = 2)");
  const int n = c.pointCount;
  const double T = s.temperature;
  const FeNiCrParameters parameters = feNiCrParameters(T);
  const double* x = s.molarRatio[0];  // Fe
  const double* y = s.molarRatio[1];  // Ni
  const double* dx = s.molarRatioGradient[0];
  const double* dy = s.molarRatioGradient[1];
  for (int k = 0; k < n; ++k) {
    const FeNiCrPhi phi = feNiCrPotentialDerivatives(parameters, T, x[k], y[k]);
    for (int q = 0; q < 3; ++q) {
      double gradient = 0;
      gradient += phi[q][0] * dx[k];
      gradient += phi[q][1] * dy[k];
      s.chemicalPotentialGradient[q][k] = gradient;
    }
  }
  clearEnds(c, s);
}

void ComputePotentialGradientsFromFile(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  Table2<double>& phi = s.activityDerivative;
  for (int k = 1; k < n - 1; ++k) {
    if (!profileVariesAt(c, s, k)) continue;
    for (int q = 0; q < r; ++q)
      for (int l = 0; l < r; ++l) {
        const CachedValue& cached = s.formulas.cached(FormulaKind::Activity, q, l);
        phi[q][l] = cached.valid ? cached.value
                                 : s.formula(FormulaKind::Activity, q, l,
                                             c.activityFormulas[static_cast<std::size_t>(q * r + l)], k);
      }
    for (int q = 0; q < r; ++q) {
      double gradient = 0;
      for (int l = 0; l < r - 1; ++l) gradient += phi[q][l] * s.molarRatioGradient[l][k];
      s.chemicalPotentialGradient[q][k] = gradient;
    }
  }
  clearEnds(c, s);
}

}  // namespace torvex
