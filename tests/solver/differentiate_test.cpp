#include "solver/differentiate.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "support/solver_model.h"

namespace torvex {
namespace {

using test::buildModel;
using test::uniformGrid;

// Fills row 0 of `f` with values of `fn` at the model's points and
// differentiates it with `scheme`.
template <class Fn>
std::vector<double> derivative(Simulation& m, DifferenceScheme scheme, Fn fn) {
  m.input.differenceScheme = scheme;
  Table2<double>& f = m.state.partialMolarVolume;
  for (int k = 0; k < m.input.pointCount; ++k) f[0][k] = fn(m.state.position[static_cast<std::size_t>(k)]);
  Differentiate(m.input, m.state.position, f, m.state.partialMolarVolumeGradient);
  const double* df = m.state.partialMolarVolumeGradient[0];
  return {df, df + m.input.pointCount};
}

TEST(Differentiate, EverySchemeIsExactForALinearProfileOnAUniformGrid) {
  Simulation m;
  buildModel(m, 1, uniformGrid(11, 0.1));
  for (DifferenceScheme scheme : {DifferenceScheme::Central, DifferenceScheme::Forward, DifferenceScheme::Backward}) {
    const auto df = derivative(m, scheme, [](double x) { return 3.5 - 42.0 * x; });
    for (int k = 0; k < 11; ++k)
      EXPECT_NEAR(df[static_cast<std::size_t>(k)], -42.0, 1e-11) << keyValue(scheme) << " " << k;
  }
}

TEST(Differentiate, EndFormulasAreExactForQuadraticsOnAnyGrid) {
  Simulation m;
  buildModel(m, 1, {0.0, 0.013, 0.02, 0.041, 0.05, 0.077, 0.1});
  const auto f = [](double x) { return 2.0 + 5.0 * x - 300.0 * x * x; };
  const auto slope = [](double x) { return 5.0 - 600.0 * x; };
  const auto df = derivative(m, DifferenceScheme::Central, f);
  EXPECT_NEAR(df.front(), slope(0.0), 1e-11);
  EXPECT_NEAR(df.back(), slope(0.1), 1e-11);
  // Directly, with the points in the order the ends pass them.
  EXPECT_NEAR(EndDerivative('L', 0.3, 0.1, 0.0, f(0.3), f(0.1), f(0.0)), slope(0.0), 1e-11);
  EXPECT_NEAR(EndDerivative('R', 0.3, 0.1, 0.0, f(0.3), f(0.1), f(0.0)), slope(0.3), 1e-11);
}

TEST(Differentiate, CentralSchemeIsExactForQuadraticsInsideAUniformGrid) {
  Simulation m;
  buildModel(m, 1, uniformGrid(9, 0.08));
  const auto df = derivative(m, DifferenceScheme::Central, [](double x) { return 1.0 - 7.0 * x + 900.0 * x * x; });
  for (int k = 0; k < 9; ++k)
    EXPECT_NEAR(df[static_cast<std::size_t>(k)], -7.0 + 1800.0 * m.state.position[static_cast<std::size_t>(k)], 1e-10)
        << k;
  // The one-sided schemes are first order: off by h f''/2 = 0.01 * 900.
  const auto forward = derivative(m, DifferenceScheme::Forward, [](double x) { return 900.0 * x * x; });
  EXPECT_NEAR(forward[4], 1800.0 * 0.04 + 9.0, 1e-9);
  const auto backward = derivative(m, DifferenceScheme::Backward, [](double x) { return 900.0 * x * x; });
  EXPECT_NEAR(backward[4], 1800.0 * 0.04 - 9.0, 1e-9);
}

TEST(Differentiate, ThreePointsUseTheSamePointsForBothEnds) {
  Simulation m;
  buildModel(m, 2, {1.0, 1.5, 3.0});
  Table2<double>& f = m.state.partialMolarVolume;
  const double values[2][3] = {{2.0, 4.0, 1.0}, {0.0, 0.0, 0.0}};
  for (int i = 0; i < 2; ++i)
    for (int k = 0; k < 3; ++k) f[i][k] = values[i][k];
  Differentiate(m.input, m.state.position, f, m.state.partialMolarVolumeGradient);
  // The parabola through (1, 2), (1.5, 4), (3, 1) is 2 + 4 (x - 1) - 3 (x - 1)(x - 1.5),
  // with slope 5.5 at x = 1 and -6.5 at x = 3.
  EXPECT_NEAR(m.state.partialMolarVolumeGradient[0][0], 5.5, 1e-12);
  EXPECT_NEAR(m.state.partialMolarVolumeGradient[0][2], -6.5, 1e-12);
  EXPECT_NEAR(m.state.partialMolarVolumeGradient[0][1], (1.0 - 2.0) / 2.0, 1e-15);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(m.state.partialMolarVolumeGradient[1][k], 0.0);
}

TEST(Differentiate, SchemeWithoutAFormulaGivesNaN) {
  EXPECT_TRUE(std::isnan(PointDerivative(DifferenceScheme::Conservative, 2, 1, 0, 4, 2, 0)));
}

}  // namespace
}  // namespace torvex
