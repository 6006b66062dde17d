// The state a run prepares from its case: its arrays, where it starts, and
// the caches of its formula evaluator.

#include "solver/run_state.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace torvex {
namespace {

// A case of r components on n points with a step profile and distinct
// per-point values, as a load would leave it.
Case steppedCase(int r, int n) {
  Case c;
  c.setShape(r, n);
  c.temperature = 1273;
  c.timeStep = 0.25;
  for (int i = 0; i < r; ++i) c.partialMolarVolume[static_cast<std::size_t>(i)] = 6.0 + i;
  for (int k = 0; k < n; ++k) {
    const auto point = static_cast<std::size_t>(k);
    c.initial.position[point] = 0.001 * k;
    c.initial.darkenVelocity[point] = 1e-9 * k;
    c.initial.sigmaVelocity[point] = 2e-9 * k;
    c.initial.pressure[point] = 3.0 * k;
    c.initial.totalConcentration[point] = 0.1 + k;
    c.initial.molarVolume[point] = 7.0 + k;
    for (int i = 0; i < r; ++i) {
      c.initial.molarRatio[i][k] = (i + 1.0) / 10;
      c.initial.concentration[i][k] = (i + 1.0) / 100 + k;
    }
  }
  return c;
}

TEST(RunState, PrepareGivesComponentRowsOfContiguousPointsAndTheInitialProfile) {
  const Case c = steppedCase(3, 5);
  RunState s;
  s.prepare(c);
  EXPECT_EQ(s.concentration.rows(), 3);
  EXPECT_EQ(s.concentration.columns(), 5);
  // Row i starts right after row i-1 ends.
  EXPECT_EQ(s.molarRatio[1], s.molarRatio[0] + 5);
  EXPECT_EQ(&s.onsagerCoefficient[1][2][0], &s.onsagerCoefficient[0][0][0] + (1 * 3 + 2) * 5);
  EXPECT_EQ(s.position, c.initial.position);
  EXPECT_EQ(s.darkenVelocity, c.initial.darkenVelocity);
  EXPECT_EQ(s.sigmaVelocity, c.initial.sigmaVelocity);
  EXPECT_EQ(s.pressure, c.initial.pressure);
  EXPECT_EQ(s.totalConcentration, c.initial.totalConcentration);
  EXPECT_EQ(s.molarVolume, c.initial.molarVolume);
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 5; ++k) {
      EXPECT_EQ(s.concentration[i][k], c.initial.concentration[i][k]);
      EXPECT_EQ(s.molarRatio[i][k], c.initial.molarRatio[i][k]);
      EXPECT_EQ(s.partialMolarVolume[i][k], 6.0 + i);  // Omega_i at every point
    }
  // The clock at 0 with the case's first step and temperature.
  EXPECT_EQ(s.currentTime, 0.0);
  EXPECT_EQ(s.timeStep, 0.25);
  EXPECT_EQ(s.temperature, 1273.0);
  EXPECT_EQ(s.wallInflow.size(), 3u);
}

TEST(RunState, PrepareStartsAgainFromTheCaseAndEmptiesEveryCache) {
  const Case c = steppedCase(2, 4);
  RunState s;
  s.prepare(c);
  s.concentration[1][3] = 7;
  s.darkenVelocity[2] = 7;
  s.onsagerCoefficient[1][1][3] = 7;
  s.kirkendallPosition = 7;
  s.oxide.thickness = 7;
  s.stepCount = 7;
  // A constant formula fills its cache entry.
  for (const FormulaKind kind : {FormulaKind::Diffusivity, FormulaKind::DiffusivityMatrix,
                                 FormulaKind::OxidationConstant, FormulaKind::BoundaryFlux, FormulaKind::Activity}) {
    s.formula(kind, 1, 1, "7", 0);
    EXPECT_TRUE(s.formulas.cached(kind, 1, 1).valid);
  }
  s.prepare(c);
  EXPECT_EQ(s.concentration[1][3], c.initial.concentration[1][3]);
  EXPECT_EQ(s.darkenVelocity[2], c.initial.darkenVelocity[2]);
  EXPECT_EQ(s.onsagerCoefficient[1][1][3], 0.0);
  EXPECT_EQ(s.kirkendallPosition, 0.0);
  EXPECT_EQ(s.oxide.thickness, 0.0);
  EXPECT_EQ(s.stepCount, 0);
  for (const FormulaKind kind : {FormulaKind::Diffusivity, FormulaKind::DiffusivityMatrix,
                                 FormulaKind::OxidationConstant, FormulaKind::BoundaryFlux, FormulaKind::Activity})
    EXPECT_FALSE(s.formulas.cached(kind, 1, 1).valid);
  // The caches are those of r components: an index beyond them is a
  // programming error, not a value.
  EXPECT_THROW(static_cast<void>(s.formulas.cached(FormulaKind::Diffusivity, 2, 0)), std::out_of_range);
  EXPECT_THROW(static_cast<void>(s.formulas.cached(FormulaKind::BoundaryFlux, 0, 2)), std::out_of_range);
}

TEST(RunState, ReleaseIsSafeWithAndWithoutArrays) {
  RunState s;
  s.release();  // closing before any run
  s.prepare(steppedCase(2, 4));
  s.release();
  EXPECT_TRUE(s.concentration.empty());
  EXPECT_TRUE(s.onsagerCoefficient.empty());
  EXPECT_TRUE(s.position.empty());
}

}  // namespace
}  // namespace torvex
