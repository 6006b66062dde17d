// The conservative scheme (D16 = 3) at the level of one evaluation: the cell
// balances, the volume-fixed face fluxes, the exact three-point Laplacian of
// the equal-diffusivity case, the coefficients it needs at the ends, the
// half-cell limit of the oxidising surface and the drift of the lattice.

#include "solver/face_fluxes.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "model/sample_files.h"
#include "solver/evaluate_derivative.h"
#include "support/solver_cases.h"
#include "support/solver_model.h"
#include "support/test_files.h"

namespace torvex {
namespace {

using test::buildModel;
using test::setProfile;
using test::uniformGrid;

// Sum over the cells of w_k dc/dt, beside the largest single term: the rates
// of one component balance when the sum vanishes against that scale.
struct Balance {
  double sum = 0;
  double scale = 0;
};
Balance cellBalance(const Simulation& m, int i) {
  Balance b;
  for (int k = 0; k < m.input.pointCount; ++k) {
    const double term = cellWidth(m.input, m.state, k) * m.state.concentrationRate[i][k];
    b.sum += term;
    b.scale = std::fmax(b.scale, std::fabs(term));
  }
  return b;
}

// In every solver mode the cells pass on exactly what they receive: the
// rates add up to what crosses the ends (nothing in a closed sample), and
// the face fluxes carry no volume (sum_i Omega_i F_i = 0) where the Darken
// velocity is on.
TEST(FaceFluxes, EveryModeBalancesItsCellsAndCarriesNoVolume) {
  test::ScratchDirectory dir;
  test::ScopedWorkingDirectory cwd(dir.path());
  WriteSampleFiles();
  for (const test::SolverCase& solverCase : test::solverCases()) {
    SCOPED_TRACE(solverCase.name);
    Simulation m;
    test::loadSolverCase(m, solverCase);
    m.input.differenceScheme = DifferenceScheme::Conservative;
    EvaluateDerivative(m.input, m.state);
    EvaluateDerivative(m.input, m.state);
    for (int i = 0; i < m.input.componentCount; ++i) {
      const Balance b = cellBalance(m, i);
      ASSERT_GT(b.scale, 0.0) << "component " << i + 1 << " does not move";
      EXPECT_NEAR(b.sum, m.state.wallInflowRate[static_cast<std::size_t>(i)], 1e-12 * b.scale) << "component " << i + 1;
      if (m.input.boundaryFlux == BoundaryFlux::None) {
        EXPECT_EQ(m.state.wallInflowRate[static_cast<std::size_t>(i)], 0.0);
      }
    }
    if (m.input.darkenVelocityOn == 0) continue;
    for (int k = 0; k + 1 < m.input.pointCount; ++k) {
      // The scale is that of the two parts of each flux, c_i v_i and c_i v^D:
      // where the components drift together they nearly cancel.
      double volume = 0, scale = 0;
      for (int i = 0; i < m.input.componentCount; ++i) {
        const double Omega = 0.5 * (m.state.partialMolarVolume[i][k] + m.state.partialMolarVolume[i][k + 1]);
        const double c = 0.5 * (m.state.concentration[i][k] + m.state.concentration[i][k + 1]);
        volume += Omega * m.state.faceFlux[i][k];
        scale = std::fmax(scale, std::fabs(Omega * m.state.faceFlux[i][k]) +
                                     Omega * c * std::fabs(m.state.faceDarkenVelocity[static_cast<std::size_t>(k)]));
      }
      ASSERT_LE(std::fabs(volume), 1e-12 * scale) << "face " << k;
    }
  }
}

// Two components with the same constant diffusivity and molar volume: the
// Darken velocity vanishes and F = -D dc/dx across each face, so the rates
// are D times the three-point second difference, whatever the profile, and
// the profile at the ends is left as it is.
TEST(FaceFluxes, EqualDiffusivitiesGiveTheThreePointLaplacian) {
  const double D = 2e-9, width = 0.01;
  const int n = 21;
  Simulation m;
  buildModel(m, 2, uniformGrid(n, width));
  m.input.diffusivityFormulas = {"2e-9", "2e-9"};
  m.input.darkenVelocityOn = 1;
  m.input.differenceScheme = DifferenceScheme::Conservative;
  setProfile(m, [&](int i, double x) {
    const double n1 = 0.5 + 0.3 * std::sin(3.0 * x / width);
    return i == 0 ? n1 : 1 - n1;
  });
  const std::vector<double> c0(m.state.concentration[0], m.state.concentration[0] + n);
  EvaluateDerivative(m.input, m.state);
  const double h = width / (n - 1);
  std::vector<double> expected;
  double scale = 0;
  for (int k = 0; k < n; ++k) {
    const double left = k > 0 ? c0[k - 1] - c0[k] : 0.0;  // closed ends: no flux beyond
    const double right = k < n - 1 ? c0[k + 1] - c0[k] : 0.0;
    const double w = (k == 0 || k == n - 1) ? h / 2 : h;
    expected.push_back(D * (left + right) / (h * w));
    scale = std::fmax(scale, std::fabs(expected.back()));
  }
  for (int k = 0; k < n; ++k) EXPECT_NEAR(m.state.concentrationRate[0][k], expected[k], 1e-9 * scale) << "point " << k;
  for (int k = 0; k + 1 < n; ++k) EXPECT_NEAR(m.state.faceDarkenVelocity[static_cast<std::size_t>(k)], 0.0, 1e-18);
  EXPECT_EQ(m.state.concentration[0][0], c0[0]) << "the ends keep their own composition";
  EXPECT_EQ(m.state.concentration[0][n - 1], c0[n - 1]);
}

// The closed-sample rule of the point schemes leaves the end points without
// coefficients; the face fluxes need them wherever the end face carries a
// gradient, and nowhere the profile is flat.
TEST(FaceFluxes, CoefficientsAtEveryPointOfAFaceWithAGradient) {
  for (DifferenceScheme scheme : {DifferenceScheme::Central, DifferenceScheme::Conservative}) {
    SCOPED_TRACE(static_cast<int>(scheme));
    Simulation m;
    buildModel(m, 2, uniformGrid(11, 0.01));
    m.input.diffusivityFormulas = {"1e-9", "3e-9"};
    m.input.differenceScheme = scheme;
    // A step between points 0 and 1, flat from 1 to 7, a step between 7 and 8.
    setProfile(m, [](int i, double x) {
      const double n1 = x < 0.0005 ? 0.7 : x < 0.0075 ? 0.5 : 0.3;
      return i == 0 ? n1 : 1 - n1;
    });
    EvaluateDerivative(m.input, m.state);
    if (scheme == DifferenceScheme::Conservative) {
      EXPECT_GT(m.state.mobility[0][0], 0.0);
      EXPECT_GT(m.state.mobility[1][0], 0.0);
      EXPECT_GT(m.state.mobility[0][7], 0.0);
      EXPECT_GT(m.state.mobility[0][8], 0.0);
      EXPECT_EQ(m.state.mobility[0][4], 0.0) << "flat on both sides";
      EXPECT_EQ(m.state.mobility[0][10], 0.0) << "a flat end";
    } else {
      EXPECT_EQ(m.state.mobility[0][0], 0.0) << "the point schemes keep their rule";
      EXPECT_GT(m.state.mobility[0][1], 0.0);
    }
  }
}

// An oxidising surface that would take more of component 1 than the end
// half cell holds above 1 % of the total is held to exactly that over the
// stage step; a modest one is not touched.
TEST(FaceFluxes, OxidisingSurfaceKeepsTheEndCellAboveOnePercent) {
  test::ScratchDirectory dir;
  test::ScopedWorkingDirectory cwd(dir.path());
  WriteSampleFiles();
  for (double thickness : {1e-12, 1e-2}) {
    SCOPED_TRACE(thickness);
    Simulation m;
    for (const test::SolverCase& solverCase : test::solverCases())
      if (solverCase.name == "selective oxidation") test::loadSolverCase(m, solverCase);
    ASSERT_EQ(m.input.boundaryFlux, BoundaryFlux::SelectiveOxidation);
    m.input.differenceScheme = DifferenceScheme::Conservative;
    m.state.oxide.thickness = thickness;  // a thin scale takes much more
    EvaluateDerivative(m.input, m.state);
    const int last = m.input.pointCount - 1;
    const double unlimited = m.state.oxide.molarConcentration * m.state.oxide.parabolicRateConstant / thickness;
    const double after = m.state.concentration[0][last] + m.state.stageTimeStep * m.state.concentrationRate[0][last];
    const double floor = 0.01 * m.state.totalConcentration[static_cast<std::size_t>(last)];
    EXPECT_GE(m.state.rightBoundaryFlux[0], 0.0);
    if (thickness < 1e-6) {
      EXPECT_NEAR(after, floor, 1e-9 * floor) << "the limit binds";
    } else {
      EXPECT_DOUBLE_EQ(m.state.rightBoundaryFlux[0], unlimited) << "the limit does not bind";
      EXPECT_GT(after, floor);
    }
    for (int i = 1; i < m.input.componentCount; ++i)
      EXPECT_EQ(m.state.wallInflowRate[static_cast<std::size_t>(i)], 0.0) << "only component 1 leaves";
  }
}

// The drift of the lattice: the face values at the faces, linear between
// them, toward 0 at a closed end, and the input's sigma velocity on top.
TEST(FaceFluxes, LatticeDriftInterpolatesTheFacesAndAddsSigma) {
  Simulation m;
  buildModel(m, 2, {0.0, 1.0, 3.0, 4.0});
  m.input.darkenVelocityOn = 1;
  m.state.faceDarkenVelocity = {2.0, 4.0, 8.0, 0.0};  // faces at 0.5, 2, 3.5
  EXPECT_DOUBLE_EQ(latticeDriftAt(m.input, m.state, 0.5), 2.0);
  EXPECT_DOUBLE_EQ(latticeDriftAt(m.input, m.state, 2.0), 4.0);
  EXPECT_DOUBLE_EQ(latticeDriftAt(m.input, m.state, 2.75), 6.0);
  EXPECT_DOUBLE_EQ(latticeDriftAt(m.input, m.state, 0.25), 1.0) << "halfway to a closed end";
  EXPECT_DOUBLE_EQ(latticeDriftAt(m.input, m.state, -1.0), 0.0) << "outside counts as the end";
  m.input.boundaryFlux = BoundaryFlux::Formulas;
  EXPECT_DOUBLE_EQ(latticeDriftAt(m.input, m.state, 3.9), 8.0) << "held toward an open end";
  m.state.sigmaVelocity = {1.0, 1.0, 3.0, 3.0};
  EXPECT_DOUBLE_EQ(latticeDriftAt(m.input, m.state, 2.0), 4.0 + 2.0);
  m.input.darkenVelocityOn = 0;
  EXPECT_DOUBLE_EQ(latticeDriftAt(m.input, m.state, 2.0), 2.0) << "no Darken velocity: sigma alone";
}

}  // namespace
}  // namespace torvex
