// The built-in Cu-Fe-Ni model as the solver computes it, with the work that
// components and stencil points share done once, against the formulas
// evaluated as written: the same doubles, bit for bit, everywhere.

#include "solver/cu_fe_ni.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "support/cu_fe_ni_reference.h"

namespace torvex {
namespace {

std::uint64_t bitsOf(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Compositions where the rules change: the ends of the central range, the
// clipping edges of the fit, pure components, values outside [0, 1], NaN;
// then random points of the composition triangle and around it.
std::vector<double> ratios() {
  constexpr double h = kCuFeNiStep;
  std::vector<double> u = {
      0,       1,       0.5,          0.0001,        0.0001 + h,   0.0001 + h / 2, 0.9999, 0.9999 - h, 0.9999 - h / 2,
      0.00005, 0.99995, 0.00002,      0.9,           0.9 + h,      -0.001,         1.001,  -1,         2,
      1e-300,  -0.0,    std::nan(""), 0.45000000005, 0.50000000005};
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> inside(0, 1), around(-0.1, 1.1);
  for (int k = 0; k < 300; ++k) u.push_back(k % 3 == 0 ? around(random) : inside(random));
  return u;
}

TEST(CuFeNi, SharedEvaluationGivesTheFormulasBitForBit) {
  const std::vector<double> u = ratios();
  long compared = 0;
  for (double x : u)
    for (std::size_t j = 0; j < u.size(); j += 7) {
      const double y = u[j];
      const CuFeNiPhi fast = cuFeNiPotentialDerivatives(x, y);
      for (int q = 0; q < 3; ++q)
        for (int l = 0; l < 2; ++l) {
          ASSERT_EQ(bitsOf(fast.phi[q][l]), bitsOf(test::cuFeNiPotentialDerivative(q, l, x, y)))
              << "q " << q << " l " << l << " x " << x << " y " << y;
          ++compared;
        }
      const CuFeNiDiffusivities D = cuFeNiDiffusivities(x, y);
      for (int i = 0; i < 3; ++i)
        ASSERT_EQ(bitsOf(D.D[i]), bitsOf(cuFeNiDiffusivity(i, x, y))) << "i " << i << " a " << x << " b " << y;
    }
  EXPECT_GT(compared, 50000);
}

}  // namespace
}  // namespace torvex
