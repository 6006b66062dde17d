// The run records: the Kirkendall plane carried by the lattice drift, the
// boundary compositions and fluxes, and the flux comparison of selective
// oxidation.

#include "run/run_records.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/number_format.h"
#include "solver/boundary_fluxes.h"
#include "support/solver_model.h"
#include "support/test_files.h"

namespace torvex {
namespace {

using test::numbersOf;

using test::buildModel;
using test::setProfile;
using test::uniformGrid;

constexpr int kPoints = 11;
constexpr int kLast = kPoints - 1;

// A binary on 11 points over 0.01 cm, component 1 rising linearly from 0.1
// at the left end to 0.2 at the right end.
void buildBinary(Simulation& m) {
  buildModel(m, 2, uniformGrid(kPoints, 0.01));
  setProfile(m, [](int i, double x) { return i == 0 ? 0.1 + 10 * x : 0.9 - 10 * x; });
}

// Selective oxidation with the constants of the sample flux file.
void makeOxidising(Simulation& m) {
  m.input.boundaryFlux = BoundaryFlux::SelectiveOxidation;
  m.input.boundaryFluxFormulas = {"4.578e-14 8.97e-2 9.1e-14 0.21 1", ""};
  m.input.diffusivityFormulas = {"1e-9", "2e-9"};
}

TEST(KirkendallPlane, MovesWithAUniformDriftWhereverItStarts) {
  Simulation m;
  buildBinary(m);
  std::fill(m.state.darkenVelocity.begin(), m.state.darkenVelocity.end(), 2e-9);
  std::fill(m.state.sigmaVelocity.begin(), m.state.sigmaVelocity.end(), -5e-10);
  m.state.currentTime = 1000;
  // Between points, on an interior point, on the last point, far outside.
  for (const double x0 : {0.00437, m.state.position[3], m.state.position[kLast], -0.5}) {
    m.input.initialKirkendallPosition = x0;
    AdvanceKirkendallPlane(m.input, m.state, m.records);
    EXPECT_DOUBLE_EQ(m.state.kirkendallPosition, x0 + 2 * 1.5e-9 * 1000) << x0;
    EXPECT_EQ(m.records.kirkendall.lines().back(), "1000 " + formatGeneral(m.state.kirkendallPosition));
  }
  EXPECT_EQ(m.records.kirkendall.count(), 4u);
}

// The drift is 0 up to point 5 and rises by 1e-9 cm/s per point after it,
// so the pair of points used shows in the position.
TEST(KirkendallPlane, InterpolatesOnTheSideOfTheNearestPointWhereThePlaneLies) {
  Simulation m;
  buildBinary(m);
  for (int k = 6; k < kPoints; ++k) m.state.darkenVelocity[static_cast<std::size_t>(k)] = 1e-9 * (k - 5);
  m.state.currentTime = 1e6;
  const double spacing = 0.001;
  const auto driftAt = [&](double x0) {
    m.input.initialKirkendallPosition = x0;
    AdvanceKirkendallPlane(m.input, m.state, m.records);
    return (m.state.kirkendallPosition - x0) / (2 * m.state.currentTime);
  };
  EXPECT_EQ(driftAt(m.state.position[5] - 0.2 * spacing), 0.0);  // pair (4, 5)
  EXPECT_NEAR(driftAt(m.state.position[5] + 0.2 * spacing), 0.2e-9, 1e-20);
  EXPECT_NEAR(driftAt(m.state.position[6] - 0.2 * spacing), 0.8e-9, 1e-20);
  EXPECT_NEAR(driftAt(m.state.position[7]), 2e-9, 1e-20);  // on a point: its own value
}

TEST(InitRecords, HeadersAccumulateAndOxidationStartsItsScaleFromTheHeldProfile) {
  Simulation m;
  buildBinary(m);
  makeOxidising(m);
  m.input.boundaryFluxFormulas[0] = "4.578e-14 8.97e-2 9.1e-14*N1/0.2 0.21 1";
  m.state.molarRatio.fill(0.5);  // left over from elsewhere: recomputed from c
  m.records.boundary.add("# a line of an earlier run");
  InitRecords(m.input, m.state, m.records);
  InitRecords(m.input, m.state, m.records);

  // A second run appends to the Kirkendall and comparison records.
  ASSERT_EQ(m.records.kirkendall.count(), 10u);
  EXPECT_EQ(m.records.kirkendall[5], "The calculation of the Kirkendall plane");
  EXPECT_EQ(m.records.fluxComparison.count(), 4u);
  ASSERT_EQ(m.records.boundary.count(), 2u);
  EXPECT_TRUE(m.records.boundary[1].ends_with("right_boundary kp, growth"));
  EXPECT_DOUBLE_EQ(m.state.molarRatio[0][kLast], 0.2);
  EXPECT_EQ(m.state.mobility[1][kLast], 2e-9 / (8.0 * 1273));
  EXPECT_EQ(m.state.oxide.diffusivity, 4.578e-14);
  EXPECT_EQ(m.state.oxide.molarConcentration, 8.97e-2);
  EXPECT_DOUBLE_EQ(m.state.oxide.innerPressure, 9.1e-14);  // N1 of the surface point
  EXPECT_EQ(m.state.oxide.externalPressure, 0.21);
  EXPECT_EQ(m.state.oxide.fluxMultiplier, 1.0);
  EXPECT_TRUE(m.state.formulas.cached(FormulaKind::OxidationConstant, 0, 0).valid);
  EXPECT_FALSE(m.state.formulas.cached(FormulaKind::OxidationConstant, 0, 2).valid);
  // X = c_A(surface) D_ox R T 500 / c_ox (cm).
  const double thickness = m.state.concentration[0][kLast] * 4.578e-14 * 8 * 1273 * 500 / 8.97e-2;
  EXPECT_NEAR(m.state.oxide.thickness, thickness, 1e-14 * thickness);

  // A cached constant is not evaluated again, whatever its text says now.
  m.input.boundaryFluxFormulas[0] = "1 1 9.1e-14*N1 1 1";
  UpdateOxidationConstants(m.input, m.state);
  EXPECT_EQ(m.state.oxide.diffusivity, 4.578e-14);
  EXPECT_DOUBLE_EQ(m.state.oxide.innerPressure, 9.1e-14 * 0.2);
}

TEST(BoundaryFluxLine, ScaleColumnsOnlyWhileAnOxideScaleGrows) {
  Simulation m;
  buildBinary(m);
  m.state.leftBoundaryFlux = {1e-12, -1e-12};
  m.state.rightBoundaryFlux = {-3e-12, 3e-12};
  m.state.oxide.innerPressure = 9.1e-14;
  m.state.oxide.thickness = 2e-5;
  m.state.currentTime = 10;
  const auto line = [&](BoundaryFlux mode, double kp) {
    m.input.boundaryFlux = mode;
    m.state.oxide.parabolicRateConstant = kp;
    AppendBoundaryFluxLine(m.input, m.state, m.records);
    return numbersOf(m.records.boundary.lines().back());
  };
  const double pressureRatio = 9.1e-14 / std::pow(0.2, 4.0 / 3.0);

  const std::vector<double> growing = line(BoundaryFlux::SelectiveOxidation, 2e-12);
  ASSERT_EQ(growing.size(), 12u);
  EXPECT_EQ(growing[0], 10.0);
  EXPECT_NEAR(growing[1], 0.1, 1e-14);  // N1 left
  EXPECT_EQ(growing[4], -3e-12);        // flux of 1 right
  EXPECT_EQ(growing[6], -1e-12);        // flux of 2 left
  EXPECT_EQ(growing[9], 2e-12);         // kp
  EXPECT_EQ(growing[10], 2e-5);         // X
  EXPECT_NEAR(growing[11], pressureRatio, 1e-13 * pressureRatio);

  const std::vector<double> receding = line(BoundaryFlux::SelectiveOxidation, -1e-13);
  ASSERT_EQ(receding.size(), 10u);
  EXPECT_NEAR(receding[9], pressureRatio, 1e-13 * pressureRatio);
  EXPECT_EQ(line(BoundaryFlux::Formulas, 2e-12).size(), 10u);  // formula fluxes have no scale
}

TEST(FluxComparisonLine, AlloyFluxFromTheSurfaceSlopeOxideFluxFromTheNewRateConstant) {
  Simulation m;
  buildBinary(m);
  makeOxidising(m);
  m.state.mobility[0][kLast] = 1e-13;
  m.state.oxide.thickness = 1e-5;
  m.state.currentTime = 50;
  m.state.oxide.parabolicRateConstant = 7;  // the run loop's value, replaced here
  AppendFluxComparisonLine(m.input, m.state, m.records);

  const double N = 0.2;
  const double kp = (std::pow(0.21, 1.0 / 6) - std::pow(9.1e-14 / (N * N), 1.0 / 6)) * 3 * 4.578e-14;
  EXPECT_NEAR(m.state.oxide.parabolicRateConstant, kp, 1e-12 * kp);
  const std::vector<double> fields = numbersOf(m.records.fluxComparison.lines().back());
  ASSERT_EQ(fields.size(), 5u);
  EXPECT_EQ(fields[0], 50.0);
  EXPECT_NEAR(fields[1], 0.1, 1e-14);
  EXPECT_NEAR(fields[2], N, 1e-14);
  // c_A rises by 10/7 mol/cm^4 toward the surface; -B R T dc/dx arrives there.
  const double alloyFlux = -(10.0 / 7) * 1e-13 * 8 * 1273;
  EXPECT_NEAR(fields[3], alloyFlux, 1e-9 * std::fabs(alloyFlux));
  const double oxideFlux = (1 - N) * 8.97e-2 * kp / 1e-5;
  EXPECT_NEAR(fields[4], oxideFlux, 1e-12 * oxideFlux);
}

}  // namespace
}  // namespace torvex
