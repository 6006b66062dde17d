#include "solver/potential_gradients.h"

#include "solver/cu_fe_ni.h"
#include "solver/evaluate_derivative.h"
#include "solver/fe_ni_cr.h"
#include "solver/mobilities.h"

namespace torvex {
namespace {

// Nothing is known beyond the ends: their potential gradients are 0.
void clearEnds(TForm1& m) {
  for (int q = 0; q < m.componentCount; ++q) {
    m.chemicalPotentialGradient[q][0] = 0;
    m.chemicalPotentialGradient[q][m.pointCount - 1] = 0;
  }
}

}  // namespace

void ComputePotentialGradientsCuFeNi(TForm1& m) {
  if (m.componentCount != 3)
    refuseComponentCount(m, kCuFeNiComponentError, "key D12: the built-in Cu-Fe-Ni activities (D12 = 1)");
  const int n = m.pointCount;
  const double* x = m.molarRatio[0];  // Cu
  const double* y = m.molarRatio[1];  // Fe
  const double* dx = m.molarRatioGradient[0];
  const double* dy = m.molarRatioGradient[1];
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
        m.chemicalPotentialGradient[q][k] = gradient;
      }
    }
  }
  clearEnds(m);
}

void ComputePotentialGradientsFeNiCr(TForm1& m) {
  if (m.componentCount != 3)
    refuseComponentCount(m, kFeNiCrComponentError, "key D12: the built-in Fe-Ni-Cr activities (D12 = 2)");
  const int n = m.pointCount;
  const double T = m.temperature;
  const FeNiCrParameters parameters = feNiCrParameters(T);
  const double* x = m.molarRatio[0];  // Fe
  const double* y = m.molarRatio[1];  // Ni
  const double* dx = m.molarRatioGradient[0];
  const double* dy = m.molarRatioGradient[1];
  for (int k = 0; k < n; ++k) {
    const FeNiCrPhi phi = feNiCrPotentialDerivatives(parameters, T, x[k], y[k]);
    for (int q = 0; q < 3; ++q) {
      double gradient = 0;
      gradient += phi[q][0] * dx[k];
      gradient += phi[q][1] * dy[k];
      m.chemicalPotentialGradient[q][k] = gradient;
    }
  }
  clearEnds(m);
}

void ComputePotentialGradientsFromFile(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  Table2<double>& phi = m.activityDerivative;
  for (int k = 1; k < n - 1; ++k) {
    if (!profileVariesAt(m, k)) continue;
    for (int q = 0; q < r; ++q)
      for (int s = 0; s < r; ++s) {
        const CachedValue& cached = m.activityFormulaCache[q][s];
        m.formulaValue = 0;
        if (cached.valid) {
          phi[q][s] = cached.value;
        } else {
          m.evaluateFormula(5, q, m.activityFormulas[static_cast<std::size_t>(q * r + s)], k, s);
          phi[q][s] = m.formulaValue;
        }
      }
    for (int q = 0; q < r; ++q) {
      double gradient = 0;
      for (int l = 0; l < r - 1; ++l) gradient += phi[q][l] * m.molarRatioGradient[l][k];
      m.chemicalPotentialGradient[q][k] = gradient;
    }
  }
  clearEnds(m);
}

}  // namespace torvex
