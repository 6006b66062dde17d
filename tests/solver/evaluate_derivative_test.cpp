// The right-hand side as a whole: the order of the steps, the end rules, the
// velocity limit, the Darken velocity, the reference frames, and the
// reductions to known closed forms.

#include "solver/evaluate_derivative.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "solver/differentiate.h"
#include "solver/velocities.h"
#include "support/solver_model.h"
#include "support/test_files.h"

namespace torvex {
namespace {

using test::buildModel;
using test::setProfile;
using test::uniformGrid;

constexpr double kPi = 3.14159265358979323846;

// A smooth binary profile: N_1 from 0.8 at x = 0 to 0.2 at x = L (an error
// function shape), the rest component 2.
double smoothRatio(int i, double x, double width) {
  const double n1 = 0.5 + 0.3 * std::erf((width / 2 - x) / (0.2 * width));
  return i == 0 ? n1 : 1.0 - n1;
}

// A binary couple with equal constant diffusivities D (formula mode).
void buildCouple(TForm1& m, int n, double width, const char* D = "1e-9") {
  buildModel(m, 2, uniformGrid(n, width));
  m.diffusivityFormulas = {D, D};
  setProfile(m, [width](int i, double x) { return smoothRatio(i, x, width); });
}

std::vector<double> row(const Table2<double>& table, int i, int n) {
  return {table[i], table[i] + n};
}

TEST(EvaluateDerivative, ClosedSampleTakesTheNeighboursCompositionAtBothEnds) {
  TForm1 m;
  buildCouple(m, 21, 0.01);
  m.concentration[0][0] *= 1.5;  // ends that differ from their neighbours
  m.concentration[1][20] *= 0.5;
  EvaluateDerivative(m);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(m.concentration[i][0], m.concentration[i][1]);
    EXPECT_EQ(m.concentration[i][20], m.concentration[i][19]);
    EXPECT_EQ(m.concentrationGradient[i][0], 0.0);
    EXPECT_EQ(m.concentrationGradient[i][20], 0.0);
    // Fick leaves the end velocities alone: nothing crosses a closed end.
    EXPECT_EQ(m.diffusionVelocity[i][0], 0.0);
    EXPECT_EQ(m.diffusionVelocity[i][20], 0.0);
  }
}

TEST(EvaluateDerivative, FickInTheClassicFrameIsTheDiffusionEquation) {
  // With constant D and no Darken velocity, dc_i/dt = -d(c_i v_i)/dx = D c_i''.
  const double width = 0.02, D = 1e-9;
  TForm1 m;
  buildCouple(m, 401, width);
  m.referenceFrameMode = 1;
  EvaluateDerivative(m);
  const double h = width / 400;
  double largest = 0;
  for (int k = 0; k < 401; ++k) largest = std::max(largest, std::fabs(m.concentrationRate[0][k]));
  for (int k = 2; k < 399; ++k) {
    const double* c = m.concentration[0];
    const double expected = D * (c[k + 1] - 2 * c[k] + c[k - 1]) / (h * h);
    EXPECT_NEAR(m.concentrationRate[0][k], expected, 2e-3 * largest) << k;
    EXPECT_NEAR(m.concentrationRate[1][k], -expected, 2e-3 * largest) << k;
  }
}

TEST(EvaluateDerivative, VolumeFixedFrameEqualsClassicFrameAtConstantMolarVolume) {
  TForm1 classic, fixed;
  buildCouple(classic, 101, 0.01);
  buildCouple(fixed, 101, 0.01);
  classic.referenceFrameMode = 1;
  EvaluateDerivative(classic);
  EvaluateDerivative(fixed);
  for (int i = 0; i < 2; ++i)
    for (int k = 0; k < 101; ++k)
      EXPECT_NEAR(fixed.concentrationRate[i][k], classic.concentrationRate[i][k],
                  1e-12 * std::fabs(classic.concentrationRate[i][k]) + 1e-30);
}

TEST(EvaluateDerivative, DarkenVelocityVanishesForEqualDiffusivitiesAndVolumes) {
  TForm1 m;
  buildCouple(m, 101, 0.01);
  m.darkenVelocityOn = 1;
  EvaluateDerivative(m);
  double fastest = 0;
  for (int k = 1; k < 100; ++k) fastest = std::max(fastest, std::fabs(m.diffusionVelocity[0][k]));
  ASSERT_GT(fastest, 0);
  for (int k = 0; k < 101; ++k) EXPECT_LT(std::fabs(m.darkenVelocity[static_cast<std::size_t>(k)]), 1e-12 * fastest);
}

TEST(EvaluateDerivative, DarkenVelocityCarriesTheLatticeForUnequalDiffusivities) {
  // Component 1 diffuses ten times faster: the lattice moves toward it
  // (the Kirkendall effect), v^D = (D1 - D2) dN1/dx for equal volumes.
  TForm1 m;
  buildModel(m, 2, uniformGrid(201, 0.01));
  m.diffusivityFormulas = {"1e-9", "1e-10"};
  m.darkenVelocityOn = 1;
  m.referenceFrameMode = 1;
  setProfile(m, [](int i, double x) { return smoothRatio(i, x, 0.01); });
  EvaluateDerivative(m);
  for (int k = 1; k < 200; ++k) {
    const double expected = (1e-9 - 1e-10) * m.molarRatioGradient[0][k];
    EXPECT_NEAR(m.darkenVelocity[static_cast<std::size_t>(k)], expected, 1e-9 * std::fabs(expected) + 1e-25) << k;
  }
}

TEST(EvaluateDerivative, RatesIgnoreTheDarkenArraysWhenTheDarkenVelocityIsOff) {
  TForm1 clean, stale;
  buildCouple(clean, 31, 0.01);
  buildCouple(stale, 31, 0.01);
  for (int k = 0; k < 31; ++k) {
    stale.darkenVelocity[static_cast<std::size_t>(k)] = std::numeric_limits<double>::infinity();
    stale.darkenVelocityGradient[static_cast<std::size_t>(k)] = std::numeric_limits<double>::quiet_NaN();
  }
  for (Switch frame : {0, 1}) {
    clean.referenceFrameMode = stale.referenceFrameMode = frame;
    EvaluateDerivative(clean);
    EvaluateDerivative(stale);
    EXPECT_EQ(row(stale.concentrationRate, 0, 31), row(clean.concentrationRate, 0, 31));
    EXPECT_TRUE(std::isinf(stale.darkenVelocity[5]));  // not recomputed
  }
}

TEST(EvaluateDerivative, AnyNonZeroDarkenSwitchCountsTheDarkenTermOnce) {
  // The switch is stored in 8 bits, so a data file may hold 2 or 255; the
  // lattice velocity still enters the rates once, never twice.
  TForm1 on, two;
  for (TForm1* m : {&on, &two}) {
    buildModel(*m, 2, uniformGrid(51, 0.01));
    m->diffusivityFormulas = {"1e-9", "1e-10"};
    setProfile(*m, [](int i, double x) { return smoothRatio(i, x, 0.01); });
  }
  on.darkenVelocityOn = 1;
  two.darkenVelocityOn = 2;
  EvaluateDerivative(on);
  EvaluateDerivative(two);
  EXPECT_EQ(row(two.concentrationRate, 0, 51), row(on.concentrationRate, 0, 51));
}

TEST(EvaluateDerivative, OnsagerWithIdealActivitiesReducesToFickForEqualMobilities) {
  TForm1 fick, onsager;
  buildCouple(fick, 101, 0.01);
  buildCouple(onsager, 101, 0.01);
  onsager.constitutiveMode = 1;
  EvaluateDerivative(fick);
  EvaluateDerivative(onsager);
  for (int i = 0; i < 2; ++i)
    for (int k = 1; k < 100; ++k)
      EXPECT_NEAR(onsager.diffusionVelocity[i][k], fick.diffusionVelocity[i][k],
                  1e-11 * std::fabs(fick.diffusionVelocity[i][k]))
          << i << " " << k;
  // The Onsager forms also fill the ends, where the closed sample is flat.
  EXPECT_EQ(onsager.diffusionVelocity[0][0], 0.0);
  // The rows of the Onsager matrix sum to zero: a potential shift common to
  // every component drives no flux.
  EXPECT_NEAR(onsager.onsagerCoefficient[0][0][50], -onsager.onsagerCoefficient[0][1][50],
              1e-15 * std::fabs(onsager.onsagerCoefficient[0][0][50]));
}

TEST(EvaluateDerivative, VelocityLimitKeepsTheSignAndLeavesTheGradientUnlimited) {
  // Component 1 almost absent on the left: its ideal potential gradient,
  // R T (dc/dx) / c, is enormous there.
  TForm1 m;
  buildModel(m, 2, uniformGrid(11, 0.001));
  m.diffusivityFormulas = {"1e-9", "1e-9"};
  setProfile(m, [](int i, double x) {
    const double n1 = x < 0.00035 ? 1e-15 : 0.5;
    return i == 0 ? n1 : 1 - n1;
  });
  EvaluateDerivative(m);
  const double limit = velocityLimit(m.mobility[0][3], m.temperature);
  ASSERT_GT(limit, 0);
  // Point 3 is the last poor point: the ratio rises to its right, so the
  // unlimited velocity is large and negative.
  EXPECT_EQ(m.diffusionVelocity[0][3], -limit);
  EXPECT_GT(m.diffusionVelocity[0][4], -velocityLimit(m.mobility[0][4], m.temperature));  // not cut
  // The stored velocity gradient is that of the unlimited velocities.
  Table2<double> gradient = m.diffusionVelocityGradient;
  ComputeVelocitiesFick(m);
  EXPECT_LT(m.diffusionVelocity[0][3], -1e6 * limit);
  Differentiate(m, m.diffusionVelocity, m.diffusionVelocityGradient);
  EXPECT_EQ(row(gradient, 0, 11), row(m.diffusionVelocityGradient, 0, 11));
}

TEST(EvaluateDerivative, RefusesSwitchValuesWithoutEquationsBeforeTouchingTheProfile) {
  struct Case {
    Switch TForm1::*key;
    Switch value;
    const char* message;
  };
  const Case cases[] = {
      {&TForm1::differenceScheme, 4,
       "case.dat, key D16: the type of differentiation 4 cannot be computed; use 0 (central), 1 (forward), 2 "
       "(backward) or 3 (conservative)"},
      {&TForm1::constitutiveMode, 2,
       "case.dat, key D13: the constitutive equations 2 cannot be computed; use 0 (Nernst-Planck, Fick with ideal "
       "activities) or 1 (Onsager)"},
      {&TForm1::activityMode, 4,
       "case.dat, key D12: the thermodynamic activities 4 cannot be computed; use 0 (ideal), 1 (Cu-Fe-Ni alloy), 2 "
       "(Fe-Ni-Cr alloy) or 3 (molar fraction derivatives from file)"},
  };
  for (const Case& c : cases) {
    TForm1 m;
    buildCouple(m, 11, 0.01);
    m.dataFileName = "case.dat";
    m.*c.key = c.value;
    m.concentration[0][0] = 0.5;
    EXPECT_EQ(test::messageOf<InputError>([&] { EvaluateDerivative(m); }), c.message);
    EXPECT_EQ(m.concentration[0][0], 0.5);
    EXPECT_EQ(m.concentrationRate[0][5], 0.0);
  }
}

TEST(EvaluateDerivative, BuiltInAlloysNeedThreeComponents) {
  TForm1 m;
  buildCouple(m, 11, 0.01);
  m.dataFileName = "couple.dat";
  // The fixed text the desktop program shows, and where the fault lies.
  const auto expectRefused = [&m](const std::string& text, const std::string& detail) {
    try {
      EvaluateDerivative(m);
      ADD_FAILURE() << "no error";
    } catch (const FatalModelError& error) {
      EXPECT_EQ(error.what(), text);
      EXPECT_EQ(error.detail(), detail);
    }
  };
  m.diffusivityMode = 2;
  expectRefused(
      "ERROR 1. Check input files. (3 components Cu-Fe-Ni)",
      "couple.dat, key D9: the built-in Cu-Fe-Ni diffusivities (D9 = 2) are for 3 components; key D0 gives 2");
  m.diffusivityMode = 0;
  m.activityMode = 1;
  expectRefused("ERROR 1. Check input files. (3 components Cu-Fe-Ni)",
                "couple.dat, key D12: the built-in Cu-Fe-Ni activities (D12 = 1) are for 3 components; key D0 gives 2");
  m.activityMode = 2;
  expectRefused("ERROR 1. Check input files. (3 components Fe-Ni-Cr)",
                "couple.dat, key D12: the built-in Fe-Ni-Cr activities (D12 = 2) are for 3 components; key D0 gives 2");
}

}  // namespace
}  // namespace torvex
