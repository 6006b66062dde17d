// Fluxes through the ends of the sample: formulas with the velocity limit,
// and selective oxidation of the first component with its depletion limit.

#include "solver/boundary_fluxes.h"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "solver/differentiate.h"
#include "solver/evaluate_derivative.h"
#include "support/solver_model.h"

namespace torvex {
namespace {

using test::buildModel;
using test::setProfile;
using test::uniformGrid;

constexpr int kPoints = 10;
constexpr int kLast = kPoints - 1;

// A flat binary sample, component 1 at `surfaceRatio` on the last point and
// 0.2 elsewhere, with mobilities already computed.
void buildSample(Simulation& m, double surfaceRatio = 0.2) {
  buildModel(m, 2, uniformGrid(kPoints, 0.009));
  setProfile(m, [surfaceRatio](int i, double x) {
    const double first = x > 0.0085 ? surfaceRatio : 0.2;
    return i == 0 ? first : 1 - first;
  });
  m.state.mobility.fill(1e-9 / (8.0 * 1273));
}

std::string captured(const std::function<void()>& action) {
  testing::internal::CaptureStdout();
  action();
  return testing::internal::GetCapturedStdout();
}

TEST(BoundaryFluxFormulas, NothingIsEvaluatedBeforeTheClockStarts) {
  Simulation m;
  buildSample(m);
  m.input.boundaryFlux = BoundaryFlux::Formulas;
  m.input.boundaryFluxFormulas = {"1/t 3O", "0 0"};
  EXPECT_EQ(captured([&] { ComputeBoundaryFluxFormulas(m.input, m.state); }), "");
  EXPECT_EQ(m.state.leftBoundaryFlux[0], 0.0);
  EXPECT_EQ(m.state.diffusionVelocity[0][0], 0.0);
  EXPECT_EQ(m.state.diffusionVelocity[0][kLast], 0.0);
  EXPECT_FALSE(m.state.formulas.cached(FormulaKind::BoundaryFlux, 0, 1).valid);
}

TEST(BoundaryFluxFormulas, EndVelocitiesAreTheFluxesOverTheConcentrations) {
  Simulation m;
  buildSample(m);
  m.input.boundaryFlux = BoundaryFlux::Formulas;
  m.state.currentTime = 100;
  m.input.boundaryFluxFormulas = {"2e-12*N1   -1e-12/t", "0 0"};
  ComputeBoundaryFluxFormulas(m.input, m.state);
  EXPECT_DOUBLE_EQ(m.state.leftBoundaryFlux[0], 2e-12 * 0.2);
  EXPECT_DOUBLE_EQ(m.state.rightBoundaryFlux[0], -1e-14);
  EXPECT_EQ(m.state.diffusionVelocity[0][0], m.state.leftBoundaryFlux[0] / m.state.concentration[0][0]);
  EXPECT_EQ(m.state.diffusionVelocity[0][kLast], m.state.rightBoundaryFlux[0] / m.state.concentration[0][kLast]);
  EXPECT_EQ(m.state.diffusionVelocity[1][0], 0.0);
  EXPECT_EQ(m.state.diffusionVelocity[1][kLast], 0.0);
  EXPECT_TRUE(m.state.formulas.cached(FormulaKind::BoundaryFlux, 1, 0).valid);  // "0" is a constant
}

TEST(BoundaryFluxFormulas, AVelocityBeyondTheLimitIsCutAndItsFluxFollows) {
  Simulation m;
  buildSample(m);
  m.input.boundaryFlux = BoundaryFlux::Formulas;
  m.state.currentTime = 1;
  m.input.boundaryFluxFormulas = {"1e30 -1e30", "0 0"};
  ComputeBoundaryFluxFormulas(m.input, m.state);
  const double limit = velocityLimit(m.state.mobility[0][0], m.state.temperature);
  EXPECT_EQ(m.state.diffusionVelocity[0][0], limit);
  EXPECT_EQ(m.state.diffusionVelocity[0][kLast], -limit);
  EXPECT_EQ(m.state.leftBoundaryFlux[0], limit * m.state.concentration[0][0]);
  EXPECT_EQ(m.state.rightBoundaryFlux[0], -limit * m.state.concentration[0][kLast]);
}

// The selective-oxidation constants of the sample case: D_ox, c_ox, p', p'', M_f.
constexpr const char* kOxidation = "4.578e-14 8.97e-2 9.1e-14 0.21 1";

double parabolicRate(double surfaceRatio) {
  return (std::pow(0.21, 1.0 / 6) - std::pow(9.1e-14 / (surfaceRatio * surfaceRatio), 1.0 / 6)) * 3 * 4.578e-14;
}

void buildOxidation(Simulation& m, double surfaceRatio, double stageStep) {
  buildSample(m, surfaceRatio);
  m.input.boundaryFlux = BoundaryFlux::SelectiveOxidation;
  m.input.boundaryFluxFormulas = {kOxidation, ""};
  m.state.oxide.thickness = 1e-5;
  m.state.stageTimeStep = stageStep;
}

TEST(BoundaryFluxOxidation, TheScaleGrowsParabolicallyFromTheSurfaceComposition) {
  Simulation m;
  buildOxidation(m, 0.2, 1e-3);
  ComputeBoundaryFluxOxidation(m.input, m.state);
  EXPECT_EQ(m.state.oxide.diffusivity, 4.578e-14);
  EXPECT_EQ(m.state.oxide.molarConcentration, 8.97e-2);
  EXPECT_EQ(m.state.oxide.fluxMultiplier, 1.0);
  EXPECT_NEAR(m.state.oxide.parabolicRateConstant, parabolicRate(0.2), 1e-15 * parabolicRate(0.2));
  const double flux = 8.97e-2 * m.state.oxide.parabolicRateConstant / 1e-5;  // c_ox kp / xi
  EXPECT_DOUBLE_EQ(m.state.rightBoundaryFlux[0], flux);
  EXPECT_DOUBLE_EQ(m.state.diffusionVelocity[0][kLast], flux / m.state.concentration[0][kLast]);
  // Only A leaves, and only through the surface.
  EXPECT_EQ(m.state.rightBoundaryFlux[1], 0.0);
  EXPECT_EQ(m.state.leftBoundaryFlux[0], 0.0);
  EXPECT_EQ(m.state.diffusionVelocity[1][kLast], 0.0);
}

TEST(BoundaryFluxOxidation, ANearlyDepletedSurfaceLimitsTheFlux) {
  Simulation m;
  // A at 1.05 % of the surface point, just above the 1 % floor.
  buildOxidation(m, 0.0105, 1000);
  m.state.diffusionVelocity[0][kLast - 2] = 1e-12;  // fluxes left by an earlier evaluation
  m.state.diffusionVelocity[0][kLast - 1] = 3e-12;
  ComputeBoundaryFluxOxidation(m.input, m.state);
  const double Y = m.state.rightBoundaryFlux[0];
  ASSERT_GT(Y, 0.0);
  ASSERT_LT(Y, 8.97e-2 * parabolicRate(0.0105) / 1e-5);
  // Y is the flux whose divergence takes the surface point to the floor
  // within one stage step.
  const double* x = m.state.position.data();
  const double* c = m.state.concentration[0];
  const double divergence =
      EndDerivative('R', x[kLast], x[kLast - 1], x[kLast - 2], Y, c[kLast - 1] * 3e-12, c[kLast - 2] * 1e-12);
  const double floor = 0.01 * m.state.totalConcentration[kLast];
  EXPECT_NEAR(divergence, (c[kLast] - floor) / 1000, 1e-9 * divergence);
  // kp follows the reduced flux.
  EXPECT_DOUBLE_EQ(m.state.oxide.parabolicRateConstant, Y * 1e-5 / ((1 - 0.0105) * 8.97e-2));
}

TEST(BoundaryFluxOxidation, ASurfaceBelowTheFloorStopsTheScale) {
  Simulation m;
  buildOxidation(m, 0.009, 1);
  ComputeBoundaryFluxOxidation(m.input, m.state);
  EXPECT_EQ(m.state.rightBoundaryFlux[0], 0.0);
  EXPECT_EQ(m.state.oxide.parabolicRateConstant, 0.0);
  EXPECT_EQ(m.state.diffusionVelocity[0][kLast], 0.0);
}

TEST(BoundaryFluxOxidation, DepletionClearsTheLeftEndForTheWholeEvaluation) {
  Simulation m;
  buildOxidation(m, 0.0105, 1e-3);
  m.input.minimalMolarFraction = 0.05;  // the surface ratio of A is below it
  m.state.leftBoundaryFlux = {1e-12, -1e-12};
  m.state.diffusionVelocity[0][0] = 1e-6;
  m.state.diffusionVelocity[1][0] = -1e-6;
  ComputeBoundaryFluxOxidation(m.input, m.state);
  EXPECT_EQ(m.state.leftBoundaryFlux[0], 0.0);
  EXPECT_EQ(m.state.leftBoundaryFlux[1], 0.0);
  EXPECT_EQ(m.state.diffusionVelocity[0][0], 0.0);
  EXPECT_EQ(m.state.diffusionVelocity[1][0], 0.0);
  // The oxidation itself goes on: the surface flux is set again.
  EXPECT_GT(m.state.rightBoundaryFlux[0], 0.0);
}

}  // namespace
}  // namespace torvex
