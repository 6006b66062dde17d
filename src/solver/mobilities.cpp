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
bool needsCoefficients(const Case& c, const RunState& s, int k) {
  if (c.constitutive == Constitutive::Onsager) return true;
  if (c.differenceScheme == DifferenceScheme::Conservative) {
    // The face fluxes take the coefficients of both points of every face the
    // profile changes across, the end points included.
    const int last = c.pointCount - 1;
    if ((k == 0 || k == last) && c.boundaryFlux != BoundaryFlux::None) return true;
    return (k > 0 && faceHasGradient(c, s, k - 1)) || (k < last && faceHasGradient(c, s, k));
  }
  if (k == 0 || k == c.pointCount - 1) return c.boundaryFlux != BoundaryFlux::None;
  return profileVariesAt(c, s, k);
}

// Whether every mobility at point k is a number. A stage of a rejected pass
// (a step far too long) may have left NaN where the profile is flat; kept,
// it would turn the zero gradient there into NaN velocities in every later
// pass, so such a point is computed anew from the profile at hand.
bool mobilitiesFinite(const Case& c, const RunState& s, int k) {
  for (int i = 0; i < c.componentCount; ++i)
    if (!std::isfinite(s.mobility[i][k])) return false;
  return true;
}

}  // namespace

bool profileVariesAt(const Case& c, const RunState& s, int k) {
  for (int i = 0; i < c.componentCount; ++i) {
    const double* N = s.molarRatio[i];
    if (N[k - 1] != N[k] || N[k] != N[k + 1]) return true;
  }
  return false;
}

void ComputeMobilities(const Case& c, RunState& s) {
  switch (c.diffusivityModel) {
    case DiffusivityModel::Formulas: ComputeMobilitiesFromFormulas(c, s); break;
    case DiffusivityModel::Matrix: ComputeMobilitiesFromMatrix(c, s); break;
    case DiffusivityModel::CuFeNi: ComputeMobilitiesCuFeNi(c, s); break;
    default: break;  // no diffusivities: every mobility stays as it is
  }
}

void ComputeMobilitiesFromFormulas(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  const double f = c.correlationFactor;
  const double T = s.temperature;
  for (int k = 0; k < n; ++k) {
    for (int i = 0; i < r; ++i) s.mobility[i][k] = 0.0;
    if (!needsCoefficients(c, s, k)) continue;
    for (int i = 0; i < r; ++i) {
      const CachedValue& cached = s.formulas.cached(FormulaKind::Diffusivity, i, 0);
      const double D = cached.valid ? cached.value
                                    : s.formula(FormulaKind::Diffusivity, i, 0,
                                                c.diffusivityFormulas[static_cast<std::size_t>(i)], k);
      s.mobility[i][k] = D / (f * kSolverGasConstant * T);
    }
  }
}

namespace {

// Whether every entry of the diffusivity matrix is a cached constant: the
// matrix is then the same at every node.
bool matrixIsConstant(const Case& c, const RunState& s) {
  const int r = c.componentCount;
  for (int i = 0; i < r; ++i)
    for (int j = 0; j < r; ++j)
      if (!s.formulas.cached(FormulaKind::DiffusivityMatrix, i, j).valid) return false;
  return true;
}

// Row i of the matrix at node k into M: the cached entries as they are, the
// others evaluated (the row's text split at its blanks only then).
void fillMatrixRow(const Case& c, RunState& s, int i, int k) {
  const int r = c.componentCount;
  Table2<double>& M = s.diffusivityMatrix;
  bool cached = true;
  for (int j = 0; j < r; ++j) cached = cached && s.formulas.cached(FormulaKind::DiffusivityMatrix, i, j).valid;
  if (cached) {
    for (int j = 0; j < r; ++j) M[i][j] = s.formulas.cached(FormulaKind::DiffusivityMatrix, i, j).value;
    return;
  }
  // Row i holds its r entries separated by blanks.
  std::string_view rest = trimmedView(c.diffusivityFormulas[static_cast<std::size_t>(i)]);
  for (int j = 0; j < r; ++j) {
    const std::string_view entry = j + 1 < r ? takeFormula(rest) : rest;
    const CachedValue& cached = s.formulas.cached(FormulaKind::DiffusivityMatrix, i, j);
    M[i][j] = cached.valid ? cached.value : s.formula(FormulaKind::DiffusivityMatrix, i, j, entry, k);
  }
}

}  // namespace

void ComputeMobilitiesFromMatrix(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  const double f = c.correlationFactor;
  const double T = s.temperature;
  Table2<double>& M = s.diffusivityMatrix;
  // ln M_st of a constant matrix, taken once for all nodes (on the diagonal
  // and above it; the entries below are never used).
  const bool constant = matrixIsConstant(c, s);
  const double gasConstantTimesT = kSolverGasConstant * T;
  const double divisor = f * kSolverGasConstant * T;  // B = D / (f R T)
  bool logsTaken = false;
  double logM[Case::kMaxComponents][Case::kMaxComponents];
  for (int k = 0; k < n; ++k) {
    if (!needsCoefficients(c, s, k) && mobilitiesFinite(c, s, k)) continue;
    if (!constant || !logsTaken) {
      for (int i = 0; i < r; ++i) fillMatrixRow(c, s, i, k);
      for (int a = 0; a < r; ++a)
        for (int b = a; b < r; ++b) logM[a][b] = a == b || M[a][b] != 0.0 ? std::log(M[a][b]) : 0.0;
      logsTaken = true;
    }
    // R T ln D of the mixture (J/mol): the diagonal weighted by N_j, the
    // pairs above it by N_a N_b; a zero pair entry means no interaction.
    double G = 0.0;
    for (int j = 0; j < r; ++j) G += logM[j][j] * s.molarRatio[j][k] * kSolverGasConstant * T;
    for (int a = 0; a < r; ++a)
      for (int b = a + 1; b < r; ++b)
        if (M[a][b] != 0.0) G += logM[a][b] * s.molarRatio[a][k] * s.molarRatio[b][k] * kSolverGasConstant * T;
    const double D = std::exp(G / gasConstantTimesT);
    for (int i = 0; i < r; ++i) s.mobility[i][k] = D / divisor;
  }
}

void ComputeMobilitiesCuFeNi(const Case& c, RunState& s) {
  if (c.componentCount != 3)
    refuseComponentCount(c, kCuFeNiComponentError, "key D9: the built-in Cu-Fe-Ni diffusivities (D9 = 2)");
  const int n = c.pointCount;
  const double T = s.temperature;
  const double f = c.correlationFactor;
  for (int k = 0; k < n; ++k) {
    const double a = s.molarRatio[0][k];  // Cu
    const double b = s.molarRatio[1][k];  // Fe
    const CuFeNiDiffusivities D = cuFeNiDiffusivities(a, b);
    for (int i = 0; i < 3; ++i) s.mobility[i][k] = D.D[i] / (T * kSolverGasConstant * f);
  }
}

}  // namespace torvex
