// Diffusivities and mobilities: which points get them, the matrix log-mean,
// and the built-in Cu-Fe-Ni coefficients.

#include "solver/mobilities.h"

#include <cmath>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "solver/cu_fe_ni.h"
#include "solver/evaluate_derivative.h"
#include "support/cu_fe_ni_reference.h"
#include "support/solver_model.h"
#include "support/test_files.h"

namespace torvex {
namespace {

using test::buildModel;
using test::cuFeNiDiffusivity;
using test::cuFeNiLogDiffusivityPerHour;
using test::setProfile;
using test::uniformGrid;

// Ten points: component 1 at 0.7 on points 0..4 and 0.3 on points 5..9.
void buildStep(Simulation& m, int r = 2) {
  buildModel(m, r, uniformGrid(10, 0.009));
  setProfile(m, [r](int i, double x) {
    const double first = x < 0.0045 ? 0.7 : 0.3;
    return i == 0 ? first : (1 - first) / (r - 1);
  });
}

// B = D / (f R T) with the solver's R = 8.
double mobilityOf(double D, const Simulation& m) {
  return D / (m.input.correlationFactor * 8.0 * m.state.temperature);
}

TEST(Mobilities, FormulaModeGivesMobilitiesOnlyWhereTheProfileIsNotFlat) {
  Simulation m;
  buildStep(m);
  m.input.correlationFactor = 0.78;
  m.input.diffusivityFormulas = {"2e-9", "3e-9"};
  ComputeMobilitiesFromFormulas(m.input, m.state);
  for (int k = 0; k < 10; ++k) {
    const bool step = k == 4 || k == 5;
    EXPECT_EQ(m.state.mobility[0][k], step ? mobilityOf(2e-9, m) : 0.0) << k;
    EXPECT_EQ(m.state.mobility[1][k], step ? mobilityOf(3e-9, m) : 0.0) << k;
  }
  // A boundary flux needs the coefficients at both ends too.
  m.input.boundaryFlux = BoundaryFlux::Formulas;
  ComputeMobilitiesFromFormulas(m.input, m.state);
  EXPECT_EQ(m.state.mobility[0][0], mobilityOf(2e-9, m));
  EXPECT_EQ(m.state.mobility[0][9], mobilityOf(2e-9, m));
  EXPECT_EQ(m.state.mobility[0][2], 0.0);
  // Onsager's equations need them everywhere.
  m.input.boundaryFlux = BoundaryFlux::None;
  m.input.constitutive = Constitutive::Onsager;
  ComputeMobilitiesFromFormulas(m.input, m.state);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(m.state.mobility[1][k], mobilityOf(3e-9, m)) << k;
}

TEST(Mobilities, FormulasSeeTheCompositionOfTheirPoint) {
  Simulation m;
  buildStep(m);
  m.input.diffusivityFormulas = {"1e-9*N1", "1e-10*exp(N2)"};
  ComputeMobilitiesFromFormulas(m.input, m.state);
  EXPECT_DOUBLE_EQ(m.state.mobility[0][4], mobilityOf(1e-9 * 0.7, m));
  EXPECT_DOUBLE_EQ(m.state.mobility[0][5], mobilityOf(1e-9 * 0.3, m));
  EXPECT_DOUBLE_EQ(m.state.mobility[1][5], mobilityOf(1e-10 * std::exp(0.7), m));
  EXPECT_FALSE(m.state.formulas.cached(FormulaKind::Diffusivity, 0, 0).valid);
}

TEST(Mobilities, MatrixModeIsTheLogMeanOfTheEntries) {
  Simulation m;
  buildStep(m, 3);
  m.input.diffusivityModel = DiffusivityModel::Matrix;
  m.input.diffusivityFormulas = {"1.021e-9 0 0", "0 1.254e-10 0", "0 0 3.647e-12"};
  ComputeMobilitiesFromMatrix(m.input, m.state);
  const double diagonal[3] = {1.021e-9, 1.254e-10, 3.647e-12};
  for (int k : {4, 5}) {
    double lnD = 0;
    for (int j = 0; j < 3; ++j) lnD += m.state.molarRatio[j][k] * std::log(diagonal[j]);
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(m.state.mobility[i][k], mobilityOf(std::exp(lnD), m), 1e-13 * m.state.mobility[i][k]);
  }
  EXPECT_EQ(m.state.mobility[0][2], 0.0);

  // An entry above the diagonal adds the pair term N_s N_t ln M_st; entries
  // below it are evaluated but not used.
  m.input.diffusivityFormulas = {"1e-9 2e-9 0", "5 1e-9 0", "7 7 1e-9"};
  m.state.formulas.reset(3);  // as a new run starts
  setProfile(m, [](int i, double) { return i == 0 ? 0.5 : 0.25; });
  m.state.molarRatio[0][3] = 0.5000001;  // points 2 to 4 are no longer flat
  ComputeMobilitiesFromMatrix(m.input, m.state);
  const double N0 = m.state.molarRatio[0][3], N1 = m.state.molarRatio[1][3], N2 = m.state.molarRatio[2][3];
  const double D = std::exp((N0 + N1 + N2) * std::log(1e-9) + N0 * N1 * std::log(2e-9));
  EXPECT_NEAR(m.state.mobility[2][3], mobilityOf(D, m), 1e-12 * mobilityOf(D, m));
}

TEST(Mobilities, MatrixModeKeepsPreviousMobilitiesWhereItSkipsAPoint) {
  Simulation m;
  buildStep(m);
  m.input.diffusivityFormulas = {"1e-9 0", "0 1e-9"};
  m.state.mobility[0][2] = 42.0;  // from an earlier evaluation
  ComputeMobilitiesFromMatrix(m.input, m.state);
  EXPECT_EQ(m.state.mobility[0][2], 42.0);
  EXPECT_GT(m.state.mobility[0][4], 0.0);
}

TEST(Mobilities, CuFeNiCoefficientsFollowTheFittedPolynomials) {
  // Pure copper: P_Cu = -7.161 + 4.109 - 2.176 (log10 of cm^2/h).
  EXPECT_NEAR(cuFeNiLogDiffusivityPerHour(0, 1, 0), -5.228, 1e-12);
  EXPECT_NEAR(cuFeNiDiffusivity(0, 1, 0), std::pow(10.0, -5.228) / 3600, 1e-12 * std::pow(10.0, -5.228) / 3600);
  // Pure nickel: the constant terms alone.
  EXPECT_NEAR(cuFeNiLogDiffusivityPerHour(1, 0, 0), -7.617, 1e-15);
  EXPECT_NEAR(cuFeNiLogDiffusivityPerHour(2, 0, 0), -7.933, 1e-15);
  // Pure iron: P_Ni = -7.933 + 1.083 - 3.108 + 1.915.
  EXPECT_NEAR(cuFeNiLogDiffusivityPerHour(2, 0, 1), -8.043, 1e-12);

  Simulation m;
  buildModel(m, 3, uniformGrid(5, 0.01));
  m.input.diffusivityModel = DiffusivityModel::CuFeNi;
  setProfile(m, [](int i, double) { return i == 0 ? 0.2 : i == 1 ? 0.3 : 0.5; });
  ComputeMobilitiesCuFeNi(m.input, m.state);
  // Every point, flat or not.
  for (int k = 0; k < 5; ++k)
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(m.state.mobility[i][k], mobilityOf(cuFeNiDiffusivity(i, 0.2, 0.3), m),
                  1e-12 * m.state.mobility[i][k]);
}

TEST(Mobilities, CuFeNiNeedsThreeComponents) {
  Simulation m;
  buildStep(m, 4);
  EXPECT_EQ(test::messageOf<FatalModelError>([&] { ComputeMobilitiesCuFeNi(m.input, m.state); }),
            "ERROR 1. Check input files. (3 components Cu-Fe-Ni)");
}

}  // namespace
}  // namespace torvex
