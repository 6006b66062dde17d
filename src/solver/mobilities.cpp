#include "solver/mobilities.h"

#include <cmath>
#include <string_view>

#include "model/formula.h"
#include "solver/cu_fe_ni.h"
#include "solver/evaluate_derivative.h"
#include "solver/face_fluxes.h"

namespace torvex {
namespace {

// Whether the transport coefficients are needed at point k. The ends of a
// closed sample never are (nothing crosses them); with a boundary flux they
// always are; Onsager's equations need them everywhere.
bool needsCoefficients(const TForm1& m, int k) {
  if (m.constitutiveMode == 1) return true;
  if (m.differenceScheme == 3) {
    // The face fluxes take the coefficients of both points of every face the
    // profile changes across, the end points included.
    const int last = m.pointCount - 1;
    if ((k == 0 || k == last) && m.boundaryFluxMode != 0) return true;
    return (k > 0 && faceHasGradient(m, k - 1)) || (k < last && faceHasGradient(m, k));
  }
  if (k == 0 || k == m.pointCount - 1) return m.boundaryFluxMode != 0;
  return profileVariesAt(m, k);
}

// Whether every mobility at point k is a number. A stage of a rejected pass
// (a step far too long) may have left NaN where the profile is flat; kept,
// it would turn the zero gradient there into NaN velocities in every later
// pass, so such a point is computed anew from the profile at hand.
bool mobilitiesFinite(const TForm1& m, int k) {
  for (int i = 0; i < m.componentCount; ++i)
    if (!std::isfinite(m.mobility[i][k])) return false;
  return true;
}

}  // namespace

bool profileVariesAt(const TForm1& m, int k) {
  for (int i = 0; i < m.componentCount; ++i) {
    const double* N = m.molarRatio[i];
    if (N[k - 1] != N[k] || N[k] != N[k + 1]) return true;
  }
  return false;
}

void ComputeMobilities(TForm1& m) {
  switch (m.diffusivityMode) {
    case 0: ComputeMobilitiesFromFormulas(m); break;
    case 1: ComputeMobilitiesFromMatrix(m); break;
    case 2: ComputeMobilitiesCuFeNi(m); break;
    default: break;  // no diffusivities: every mobility stays as it is
  }
}

void ComputeMobilitiesFromFormulas(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  const double f = m.correlationFactor;
  const double T = m.temperature;
  for (int k = 0; k < n; ++k) {
    for (int i = 0; i < r; ++i) m.mobility[i][k] = 0.0;
    if (!needsCoefficients(m, k)) continue;
    for (int i = 0; i < r; ++i) {
      const CachedValue& cached = m.diffusivityFormulaCache[static_cast<std::size_t>(i)];
      double D;
      if (cached.valid) {
        D = cached.value;
      } else {
        m.formulaValue = 0.0;
        m.evaluateFormula(1, i, m.diffusivityFormulas[static_cast<std::size_t>(i)], k, 0);
        D = m.formulaValue;
      }
      m.mobility[i][k] = D / (f * kSolverGasConstant * T);
    }
  }
}

namespace {

// Whether every entry of the diffusivity matrix is a cached constant: the
// matrix is then the same at every node.
bool matrixIsConstant(const TForm1& m) {
  const int r = m.componentCount;
  for (int i = 0; i < r; ++i)
    for (int j = 0; j < r; ++j)
      if (!m.diffusivityMatrixCache[i][j].valid) return false;
  return true;
}

// Row i of the matrix at node k into M: the cached entries as they are, the
// others evaluated (the row's text split at its blanks only then).
void fillMatrixRow(TForm1& m, int i, int k) {
  const int r = m.componentCount;
  Table2<double>& M = m.diffusivityMatrix;
  bool cached = true;
  for (int j = 0; j < r; ++j) cached = cached && m.diffusivityMatrixCache[i][j].valid;
  if (cached) {
    for (int j = 0; j < r; ++j) M[i][j] = m.diffusivityMatrixCache[i][j].value;
    return;
  }
  // Row i holds its r entries separated by blanks.
  std::string_view rest = trimmedView(m.diffusivityFormulas[static_cast<std::size_t>(i)]);
  for (int j = 0; j < r; ++j) {
    const std::string_view entry = j + 1 < r ? takeFormula(rest) : rest;
    const CachedValue& cached = m.diffusivityMatrixCache[i][j];
    if (cached.valid) {
      M[i][j] = cached.value;
    } else {
      m.formulaValue = 0.0;
      m.evaluateFormula(2, i, entry, k, j);
      M[i][j] = m.formulaValue;
    }
  }
}

}  // namespace

void ComputeMobilitiesFromMatrix(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  const double f = m.correlationFactor;
  const double T = m.temperature;
  Table2<double>& M = m.diffusivityMatrix;
  // ln M_st of a constant matrix, taken once for all nodes (on the diagonal
  // and above it; the entries below are never used).
  const bool constant = matrixIsConstant(m);
  const double gasConstantTimesT = kSolverGasConstant * T;
  const double divisor = f * kSolverGasConstant * T;  // B = D / (f R T)
  bool logsTaken = false;
  double logM[TForm1::kMaxComponents][TForm1::kMaxComponents];
  for (int k = 0; k < n; ++k) {
    if (!needsCoefficients(m, k) && mobilitiesFinite(m, k)) continue;
    if (!constant || !logsTaken) {
      for (int i = 0; i < r; ++i) fillMatrixRow(m, i, k);
      for (int s = 0; s < r; ++s)
        for (int t = s; t < r; ++t) logM[s][t] = s == t || M[s][t] != 0.0 ? std::log(M[s][t]) : 0.0;
      logsTaken = true;
    }
    // R T ln D of the mixture (J/mol): the diagonal weighted by N_j, the
    // pairs above it by N_s N_t; a zero pair entry means no interaction.
    double G = 0.0;
    for (int j = 0; j < r; ++j) G += logM[j][j] * m.molarRatio[j][k] * kSolverGasConstant * T;
    for (int s = 0; s < r; ++s)
      for (int t = s + 1; t < r; ++t)
        if (M[s][t] != 0.0) G += logM[s][t] * m.molarRatio[s][k] * m.molarRatio[t][k] * kSolverGasConstant * T;
    const double D = std::exp(G / gasConstantTimesT);
    for (int i = 0; i < r; ++i) m.mobility[i][k] = D / divisor;
  }
}

void ComputeMobilitiesCuFeNi(TForm1& m) {
  if (m.componentCount != 3)
    refuseComponentCount(m, kCuFeNiComponentError, "key D9: the built-in Cu-Fe-Ni diffusivities (D9 = 2)");
  const int n = m.pointCount;
  const double T = m.temperature;
  const double f = m.correlationFactor;
  for (int k = 0; k < n; ++k) {
    const double a = m.molarRatio[0][k];  // Cu
    const double b = m.molarRatio[1][k];  // Fe
    const CuFeNiDiffusivities D = cuFeNiDiffusivities(a, b);
    for (int i = 0; i < 3; ++i) m.mobility[i][k] = D.D[i] / (T * kSolverGasConstant * f);
  }
}

}  // namespace torvex
