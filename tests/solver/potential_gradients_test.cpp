// Chemical-potential gradients: the built-in Cu-Fe-Ni fit and its numerical
// derivatives, the Fe-Ni-Cr model against the sample activities file, and
// the file formulas.

#include "solver/potential_gradients.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "solver/cu_fe_ni.h"
#include "solver/fe_ni_cr.h"
#include "support/cu_fe_ni_reference.h"
#include "support/solver_cases.h"
#include "support/solver_model.h"

namespace torvex {
namespace {

using test::buildModel;
using test::setProfile;
using test::uniformGrid;

// The r x r formulas of the sample activities file, which holds the Fe-Ni-Cr
// model at 1273 K.
std::vector<std::string> sampleActivityFormulas() {
  return test::sampleFormulas("activities.act");
}

// A smooth ternary profile on 41 points: N_1 falls from 0.7 to 0.1 and N_2
// rises from 0.1 to 0.6 across the sample.
void buildTernary(Simulation& m) {
  buildModel(m, 3, uniformGrid(41, 0.004));
  setProfile(m, [](int i, double x) {
    const double s = 0.5 + 0.5 * std::tanh((x - 0.002) / 0.0007);
    const double a = 0.7 - 0.6 * s, b = 0.1 + 0.5 * s;
    return i == 0 ? a : i == 1 ? b : 1 - a - b;
  });
  // The molar-ratio gradients, as the evaluation forms them before this step.
  for (int i = 0; i < 3; ++i)
    for (int k = 1; k < 40; ++k)
      m.state.molarRatioGradient[i][k] = (m.state.molarRatio[i][k + 1] - m.state.molarRatio[i][k - 1]) /
                                         (m.state.position[k + 1] - m.state.position[k - 1]);
}

TEST(FeNiCr, InteractionParametersAt1273K) {
  const FeNiCrParameters P = feNiCrParameters(1273);
  EXPECT_NEAR(P.Pd, -584.805, 1e-9);
  EXPECT_NEAR(P.Pe, -749.25144461156, 1e-9);
  EXPECT_NEAR(P.Pg, -16744.1999471303, 1e-8);
  EXPECT_NEAR(P.Pl, -16893.4375795388, 1e-8);
  EXPECT_NEAR(P.Po, -15145.8179184394, 1e-8);
}

TEST(FeNiCr, AgreesWithTheSampleActivitiesFile) {
  const std::vector<std::string> formulas = sampleActivityFormulas();
  ASSERT_EQ(formulas.size(), 9u);
  Simulation m;
  buildModel(m, 3, uniformGrid(3, 0.01));
  const FeNiCrParameters P = feNiCrParameters(1273);
  const double compositions[][2] = {{0.7, 0.2}, {0.5, 0.3}, {0.3, 0.1}, {0.1, 0.8}, {0.45, 0.45}, {0.05, 0.05}};
  for (const auto& [x, y] : compositions) {
    m.state.molarRatio[0][1] = x;
    m.state.molarRatio[1][1] = y;
    m.state.molarRatio[2][1] = 1 - x - y;
    const FeNiCrPhi phi = feNiCrPotentialDerivatives(P, 1273, x, y);
    for (int q = 0; q < 3; ++q)
      for (int l = 0; l < 3; ++l) {
        const double value =
            m.state.formula(FormulaKind::Activity, q, l, formulas[static_cast<std::size_t>(q * 3 + l)], 1);
        const double expected = l < 2 ? phi[q][l] : 0.0;
        EXPECT_NEAR(value, expected, 1e-9 * std::fabs(expected)) << x << " " << y << " " << q << l;
      }
  }
}

TEST(FeNiCr, BuiltInModelAndFileFormulasGiveTheSameGradients) {
  Simulation builtIn, fromFile;
  buildTernary(builtIn);
  buildTernary(fromFile);
  fromFile.input.activityFormulas = sampleActivityFormulas();
  ComputePotentialGradientsFeNiCr(builtIn.input, builtIn.state);
  ComputePotentialGradientsFromFile(fromFile.input, fromFile.state);
  for (int q = 0; q < 3; ++q)
    for (int k = 0; k < 41; ++k) {
      const double expected = builtIn.state.chemicalPotentialGradient[q][k];
      EXPECT_NEAR(fromFile.state.chemicalPotentialGradient[q][k], expected, 1e-9 * std::fabs(expected) + 1e-6)
          << q << " " << k;
    }
}

TEST(CuFeNi, NumericalDerivativeUsesOneSidedRulesNearTheEnds) {
  // For F = exp(a u), F'/F = a; the central rule errs by +(ah)^2/6, the
  // one-sided three-point rules by -(ah)^2/3.
  const double a = 50, ah = a * kCuFeNiStep;
  const auto F = [a](double u) { return std::exp(a * u); };
  EXPECT_NEAR(test::fitLogDerivative(F, 0.5) / a - 1, ah * ah / 6, 1e-10);
  EXPECT_NEAR(test::fitLogDerivative(F, 0.99995) / a - 1, -ah * ah / 3, 1e-10);  // backward
  EXPECT_NEAR(test::fitLogDerivative(F, 0.00005) / a - 1, -ah * ah / 3, 1e-10);  // forward
  EXPECT_NEAR(test::fitLogDerivative(F, 0.9998) / a - 1, ah * ah / 6, 1e-10);    // still central
}

// dF/du / F by a fourth-order stencil with a wide step, toward lower u
// (backward) or on both sides.
double referenceLogDerivative(int q, int l, double x, double y, bool backward) {
  const double h = 1e-3;
  const auto F = [&](double shift) {
    return l == 0 ? test::cuFeNiActivityFit(q, x + shift, y) : test::cuFeNiActivityFit(q, x, y + shift);
  };
  const double slope = backward ? (25 * F(0) - 48 * F(-h) + 36 * F(-2 * h) - 16 * F(-3 * h) + 3 * F(-4 * h)) / (12 * h)
                                : (F(-2 * h) - 8 * F(-h) + 8 * F(h) - F(2 * h)) / (12 * h);
  return slope / F(0);
}

TEST(CuFeNi, PotentialDerivativesFollowTheFit) {
  for (int q = 0; q < 3; ++q) {
    for (const auto& [x, y] : {std::pair{0.5, 0.3}, std::pair{0.2, 0.6}, std::pair{0.8, 0.1}})
      for (int l = 0; l < 2; ++l) {
        const double expected = kCuFeNiRT * referenceLogDerivative(q, l, x, y, false);
        EXPECT_NEAR(test::cuFeNiPotentialDerivative(q, l, x, y), expected, 1e-5 * std::fabs(expected) + 1e-3) << q << l;
      }
    // Nearly pure copper: the fit is clipped just beyond x = 1, where a
    // central difference would reach; the backward rule stays inside.
    const double expected = kCuFeNiRT * referenceLogDerivative(q, 0, 0.99995, 0.00002, true);
    EXPECT_NEAR(test::cuFeNiPotentialDerivative(q, 0, 0.99995, 0.00002), expected, 1e-4 * std::fabs(expected) + 1e-2)
        << q;
    EXPECT_EQ(test::cuFeNiPotentialDerivative(q, 2, 0.5, 0.3), 0.0);
  }
}

TEST(PotentialGradients, EveryModeLeavesBothEndsAtZero) {
  for (int mode = 1; mode <= 3; ++mode) {
    Simulation m;
    buildTernary(m);
    m.input.activityFormulas = sampleActivityFormulas();
    m.state.chemicalPotentialGradient.fill(1.0);
    if (mode == 1) ComputePotentialGradientsCuFeNi(m.input, m.state);
    if (mode == 2) ComputePotentialGradientsFeNiCr(m.input, m.state);
    if (mode == 3) ComputePotentialGradientsFromFile(m.input, m.state);
    for (int q = 0; q < 3; ++q) {
      EXPECT_EQ(m.state.chemicalPotentialGradient[q][0], 0.0) << mode;
      EXPECT_EQ(m.state.chemicalPotentialGradient[q][40], 0.0) << mode;
      EXPECT_NE(m.state.chemicalPotentialGradient[q][20], 1.0) << mode;
    }
  }
}

TEST(PotentialGradients, FileFormulasAreNotEvaluatedWhereTheProfileIsFlat) {
  Simulation m;
  buildModel(m, 2, uniformGrid(5, 0.01));
  setProfile(m, [](int i, double) { return i == 0 ? 0.3 : 0.7; });
  m.input.activityFormulas = {"N1*3O", "1", "2", "3"};
  m.state.chemicalPotentialGradient.fill(7.0);
  testing::internal::CaptureStdout();
  ComputePotentialGradientsFromFile(m.input, m.state);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(m.state.chemicalPotentialGradient[0][2], 7.0);  // kept from before
  EXPECT_FALSE(m.state.formulas.cached(FormulaKind::Activity, 0, 1).valid);
}

TEST(PotentialGradients, BuiltInModelsNeedThreeComponents) {
  Simulation m;
  buildModel(m, 2, uniformGrid(5, 0.01));
  EXPECT_THROW(ComputePotentialGradientsCuFeNi(m.input, m.state), FatalModelError);
  EXPECT_THROW(ComputePotentialGradientsFeNiCr(m.input, m.state), FatalModelError);
}

}  // namespace
}  // namespace torvex
