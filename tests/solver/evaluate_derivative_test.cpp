// The right-hand side as a whole: the order of the steps, the end rules, the
// velocity limit, the Darken velocity, the reference frames, and the
// reductions to known closed forms.

#include "solver/evaluate_derivative.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "run/refresh.h"
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
void buildCouple(Simulation& m, int n, double width, const char* D = "1e-9") {
  buildModel(m, 2, uniformGrid(n, width));
  m.input.diffusivityFormulas = {D, D};
  setProfile(m, [width](int i, double x) { return smoothRatio(i, x, width); });
}

std::vector<double> row(const Table2<double>& table, int i, int n) {
  return {table[i], table[i] + n};
}

// An integrator that keeps its own vectors (r rows of n values) gets from
// them the rates the state's own profile gives, in both kinds of scheme; the
// caller's field is left as it was, and a field of another size is refused.
TEST(EvaluateDerivative, OnTheCallersFieldGivesTheRatesOfTheSameProfile) {
  for (const DifferenceScheme scheme : {DifferenceScheme::Central, DifferenceScheme::Conservative}) {
    SCOPED_TRACE(keyValue(scheme));
    Simulation held, other;
    for (Simulation* m : {&held, &other}) {
      buildCouple(*m, 21, 0.01, "1e-9*(1+N1)");
      m->input.differenceScheme = scheme;
    }
    held.state.concentration[0][0] *= 1.5;  // an end the closed sample sets anew
    std::vector<double> field(held.state.concentration.data(),
                              held.state.concentration.data() + held.state.concentration.size());
    const std::vector<double> given = field;
    EvaluateDerivative(held.input, held.state);
    other.state.concentration.fill(7.0);  // whatever the state held before
    std::vector<double> rate(field.size());
    EvaluateDerivative(other.input, other.state, field, rate);
    EXPECT_EQ(field, given);
    EXPECT_EQ(rate, std::vector<double>(held.state.concentrationRate.data(),
                                        held.state.concentrationRate.data() + held.state.concentrationRate.size()));
    field.pop_back();
    EXPECT_THROW(EvaluateDerivative(other.input, other.state, field, rate), std::invalid_argument);
  }
}

TEST(EvaluateDerivative, ClosedSampleTakesTheNeighboursCompositionAtBothEnds) {
  Simulation m;
  buildCouple(m, 21, 0.01);
  m.state.concentration[0][0] *= 1.5;  // ends that differ from their neighbours
  m.state.concentration[1][20] *= 0.5;
  EvaluateDerivative(m.input, m.state);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(m.state.concentration[i][0], m.state.concentration[i][1]);
    EXPECT_EQ(m.state.concentration[i][20], m.state.concentration[i][19]);
    EXPECT_EQ(m.state.concentrationGradient[i][0], 0.0);
    EXPECT_EQ(m.state.concentrationGradient[i][20], 0.0);
    // Fick leaves the end velocities alone: nothing crosses a closed end.
    EXPECT_EQ(m.state.diffusionVelocity[i][0], 0.0);
    EXPECT_EQ(m.state.diffusionVelocity[i][20], 0.0);
  }
}

TEST(EvaluateDerivative, FickInTheClassicFrameIsTheDiffusionEquation) {
  // With constant D and no Darken velocity, dc_i/dt = -d(c_i v_i)/dx = D c_i''.
  const double width = 0.02, D = 1e-9;
  Simulation m;
  buildCouple(m, 401, width);
  m.input.frame = Frame::Classic;
  EvaluateDerivative(m.input, m.state);
  const double h = width / 400;
  double largest = 0;
  for (int k = 0; k < 401; ++k) largest = std::max(largest, std::fabs(m.state.concentrationRate[0][k]));
  for (int k = 2; k < 399; ++k) {
    const double* c = m.state.concentration[0];
    const double expected = D * (c[k + 1] - 2 * c[k] + c[k - 1]) / (h * h);
    EXPECT_NEAR(m.state.concentrationRate[0][k], expected, 2e-3 * largest) << k;
    EXPECT_NEAR(m.state.concentrationRate[1][k], -expected, 2e-3 * largest) << k;
  }
}

TEST(EvaluateDerivative, VolumeFixedFrameEqualsClassicFrameAtConstantMolarVolume) {
  Simulation classic, fixed;
  buildCouple(classic, 101, 0.01);
  buildCouple(fixed, 101, 0.01);
  classic.input.frame = Frame::Classic;
  EvaluateDerivative(classic.input, classic.state);
  EvaluateDerivative(fixed.input, fixed.state);
  for (int i = 0; i < 2; ++i)
    for (int k = 0; k < 101; ++k)
      EXPECT_NEAR(fixed.state.concentrationRate[i][k], classic.state.concentrationRate[i][k],
                  1e-12 * std::fabs(classic.state.concentrationRate[i][k]) + 1e-30);
}

TEST(EvaluateDerivative, DarkenVelocityVanishesForEqualDiffusivitiesAndVolumes) {
  Simulation m;
  buildCouple(m, 101, 0.01);
  m.input.darkenVelocityOn = 1;
  EvaluateDerivative(m.input, m.state);
  double fastest = 0;
  for (int k = 1; k < 100; ++k) fastest = std::max(fastest, std::fabs(m.state.diffusionVelocity[0][k]));
  ASSERT_GT(fastest, 0);
  for (int k = 0; k < 101; ++k)
    EXPECT_LT(std::fabs(m.state.darkenVelocity[static_cast<std::size_t>(k)]), 1e-12 * fastest);
}

TEST(EvaluateDerivative, DarkenVelocityCarriesTheLatticeForUnequalDiffusivities) {
  // Component 1 diffuses ten times faster: the lattice moves toward it
  // (the Kirkendall effect), v^D = (D1 - D2) dN1/dx for equal volumes.
  Simulation m;
  buildModel(m, 2, uniformGrid(201, 0.01));
  m.input.diffusivityFormulas = {"1e-9", "1e-10"};
  m.input.darkenVelocityOn = 1;
  m.input.frame = Frame::Classic;
  setProfile(m, [](int i, double x) { return smoothRatio(i, x, 0.01); });
  EvaluateDerivative(m.input, m.state);
  for (int k = 1; k < 200; ++k) {
    const double expected = (1e-9 - 1e-10) * m.state.molarRatioGradient[0][k];
    EXPECT_NEAR(m.state.darkenVelocity[static_cast<std::size_t>(k)], expected, 1e-9 * std::fabs(expected) + 1e-25) << k;
  }
}

TEST(EvaluateDerivative, RatesIgnoreTheDarkenArraysWhenTheDarkenVelocityIsOff) {
  Simulation clean, stale;
  buildCouple(clean, 31, 0.01);
  buildCouple(stale, 31, 0.01);
  for (int k = 0; k < 31; ++k) {
    stale.state.darkenVelocity[static_cast<std::size_t>(k)] = std::numeric_limits<double>::infinity();
    stale.state.darkenVelocityGradient[static_cast<std::size_t>(k)] = std::numeric_limits<double>::quiet_NaN();
  }
  for (Frame frame : {Frame::VolumeFixed, Frame::Classic}) {
    clean.input.frame = stale.input.frame = frame;
    EvaluateDerivative(clean.input, clean.state);
    EvaluateDerivative(stale.input, stale.state);
    EXPECT_EQ(row(stale.state.concentrationRate, 0, 31), row(clean.state.concentrationRate, 0, 31));
    EXPECT_TRUE(std::isinf(stale.state.darkenVelocity[5]));  // not recomputed
  }
}

TEST(EvaluateDerivative, AnyNonZeroDarkenSwitchCountsTheDarkenTermOnce) {
  // The switch is stored in 8 bits, so a data file may hold 2 or 255; the
  // lattice velocity still enters the rates once, never twice.
  Simulation on, two;
  for (Simulation* m : {&on, &two}) {
    buildModel(*m, 2, uniformGrid(51, 0.01));
    m->input.diffusivityFormulas = {"1e-9", "1e-10"};
    setProfile(*m, [](int i, double x) { return smoothRatio(i, x, 0.01); });
  }
  on.input.darkenVelocityOn = 1;
  two.input.darkenVelocityOn = 2;
  EvaluateDerivative(on.input, on.state);
  EvaluateDerivative(two.input, two.state);
  EXPECT_EQ(row(two.state.concentrationRate, 0, 51), row(on.state.concentrationRate, 0, 51));
}

TEST(EvaluateDerivative, OnsagerWithIdealActivitiesReducesToFickForEqualMobilities) {
  Simulation fick, onsager;
  buildCouple(fick, 101, 0.01);
  buildCouple(onsager, 101, 0.01);
  onsager.input.constitutive = Constitutive::Onsager;
  EvaluateDerivative(fick.input, fick.state);
  EvaluateDerivative(onsager.input, onsager.state);
  for (int i = 0; i < 2; ++i)
    for (int k = 1; k < 100; ++k)
      EXPECT_NEAR(onsager.state.diffusionVelocity[i][k], fick.state.diffusionVelocity[i][k],
                  1e-11 * std::fabs(fick.state.diffusionVelocity[i][k]))
          << i << " " << k;
  // The Onsager forms also fill the ends, where the closed sample is flat.
  EXPECT_EQ(onsager.state.diffusionVelocity[0][0], 0.0);
  // The rows of the Onsager matrix sum to zero: a potential shift common to
  // every component drives no flux.
  EXPECT_NEAR(onsager.state.onsagerCoefficient[0][0][50], -onsager.state.onsagerCoefficient[0][1][50],
              1e-15 * std::fabs(onsager.state.onsagerCoefficient[0][0][50]));
}

TEST(EvaluateDerivative, VelocityLimitKeepsTheSignAndLeavesTheGradientUnlimited) {
  // Component 1 almost absent on the left: its ideal potential gradient,
  // R T (dc/dx) / c, is enormous there.
  Simulation m;
  buildModel(m, 2, uniformGrid(11, 0.001));
  m.input.diffusivityFormulas = {"1e-9", "1e-9"};
  setProfile(m, [](int i, double x) {
    const double n1 = x < 0.00035 ? 1e-15 : 0.5;
    return i == 0 ? n1 : 1 - n1;
  });
  EvaluateDerivative(m.input, m.state);
  const double limit = velocityLimit(m.state.mobility[0][3], m.state.temperature);
  ASSERT_GT(limit, 0);
  // Point 3 is the last poor point: the ratio rises to its right, so the
  // unlimited velocity is large and negative.
  EXPECT_EQ(m.state.diffusionVelocity[0][3], -limit);
  EXPECT_GT(m.state.diffusionVelocity[0][4], -velocityLimit(m.state.mobility[0][4], m.state.temperature));  // not cut
  // The stored velocity gradient is that of the unlimited velocities.
  Table2<double> gradient = m.state.diffusionVelocityGradient;
  ComputeVelocitiesFick(m.input, m.state);
  EXPECT_LT(m.state.diffusionVelocity[0][3], -1e6 * limit);
  Differentiate(m.input, m.state.position, m.state.diffusionVelocity, m.state.diffusionVelocityGradient);
  EXPECT_EQ(row(gradient, 0, 11), row(m.state.diffusionVelocityGradient, 0, 11));
}

// The solver computes nothing for switch values it has no equations for; the
// case refuses them, and so does every run before it touches the profile.
TEST(CaseValidation, RefusesSwitchValuesWithoutEquationsBeforeARunTouchesTheProfile) {
  struct Refusal {
    void (*set)(Case&);
    const char* message;
  };
  const Refusal refusals[] = {
      {[](Case& c) { c.differenceScheme = static_cast<DifferenceScheme>(4); },
       "case.dat, key D16: the type of differentiation 4 cannot be computed; use 0 (central), 1 (forward), 2 "
       "(backward) or 3 (conservative)"},
      {[](Case& c) { c.constitutive = static_cast<Constitutive>(2); },
       "case.dat, key D13: the constitutive equations 2 cannot be computed; use 0 (Nernst-Planck, Fick with ideal "
       "activities) or 1 (Onsager)"},
      {[](Case& c) { c.activityModel = static_cast<ActivityModel>(4); },
       "case.dat, key D12: the thermodynamic activities 4 cannot be computed; use 0 (ideal), 1 (Cu-Fe-Ni alloy), 2 "
       "(Fe-Ni-Cr alloy) or 3 (molar fraction derivatives from file)"},
  };
  for (const Refusal& refusal : refusals) {
    Simulation m;
    buildCouple(m, 11, 0.01);
    m.input.dataFileName = "case.dat";
    refusal.set(m.input);
    m.state.concentration[0][0] = 0.5;
    EXPECT_EQ(test::messageOf<InputError>([&] { m.input.validate(); }), refusal.message);
    DirectRunHost host(m);
    EXPECT_EQ(test::messageOf<InputError>([&] { Execute(m, host); }), refusal.message);
    EXPECT_EQ(m.state.concentration[0][0], 0.5);
    EXPECT_EQ(m.state.concentrationRate[0][5], 0.0);
  }
}

TEST(EvaluateDerivative, BuiltInAlloysNeedThreeComponents) {
  Simulation m;
  buildCouple(m, 11, 0.01);
  m.input.dataFileName = "couple.dat";
  // The fixed text the desktop program shows, and where the fault lies.
  const auto expectRefused = [&m](const std::string& text, const std::string& detail) {
    try {
      EvaluateDerivative(m.input, m.state);
      ADD_FAILURE() << "no error";
    } catch (const FatalModelError& error) {
      EXPECT_EQ(error.what(), text);
      EXPECT_EQ(error.detail(), detail);
    }
  };
  m.input.diffusivityModel = DiffusivityModel::CuFeNi;
  expectRefused(
      "ERROR 1. Check input files. (3 components Cu-Fe-Ni)",
      "couple.dat, key D9: the built-in Cu-Fe-Ni diffusivities (D9 = 2) are for 3 components; key D0 gives 2");
  m.input.diffusivityModel = DiffusivityModel::Formulas;
  m.input.activityModel = ActivityModel::CuFeNi;
  expectRefused("ERROR 1. Check input files. (3 components Cu-Fe-Ni)",
                "couple.dat, key D12: the built-in Cu-Fe-Ni activities (D12 = 1) are for 3 components; key D0 gives 2");
  m.input.activityModel = ActivityModel::FeNiCr;
  expectRefused("ERROR 1. Check input files. (3 components Fe-Ni-Cr)",
                "couple.dat, key D12: the built-in Fe-Ni-Cr activities (D12 = 2) are for 3 components; key D0 gives 2");
}

}  // namespace
}  // namespace torvex
