// The built-in Cu-Fe-Ni model as the solver computes it, with the work that
// components and stencil points share done once, against the formulas
// evaluated as written: the same doubles, bit for bit, everywhere.

#include "solver/cu_fe_ni.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/number_format.h"
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

// Every composition pair of ratios() (x from all of them, y from every
// seventh), about 15 000 points.
struct Compositions {
  std::vector<double> x, y;
};
Compositions compositions() {
  const std::vector<double> u = ratios();
  Compositions c;
  for (double x : u)
    for (std::size_t j = 0; j < u.size(); j += 7) {
      c.x.push_back(x);
      c.y.push_back(u[j]);
    }
  return c;
}

// The paths this processor runs; every one is compared, whichever the
// process would take.
std::vector<int> runnablePaths() {
  std::vector<int> paths;
  for (int bits : {128, 256, 512})
    if (cuFeNiVectorPathRuns(bits)) paths.push_back(bits);
  return paths;
}

TEST(CuFeNi, EveryVectorPathGivesTheFormulasBitForBit) {
  const Compositions c = compositions();
  const int n = static_cast<int>(c.x.size());
  std::vector<CuFeNiPhi> expected(c.x.size());
  for (int k = 0; k < n; ++k)
    for (int q = 0; q < 3; ++q)
      for (int l = 0; l < 2; ++l) expected[k].phi[q][l] = test::cuFeNiPotentialDerivative(q, l, c.x[k], c.y[k]);

  const auto compare = [&](const std::vector<CuFeNiPhi>& phi, const std::string& how) {
    long compared = 0;
    for (int k = 0; k < n; ++k)
      for (int q = 0; q < 3; ++q)
        for (int l = 0; l < 2; ++l) {
          ASSERT_EQ(bitsOf(phi[k].phi[q][l]), bitsOf(expected[k].phi[q][l]))
              << how << ": q " << q << " l " << l << " x " << c.x[k] << " y " << c.y[k];
          ++compared;
        }
    EXPECT_GT(compared, 50000) << how;
  };

  for (int bits : runnablePaths()) {
    SCOPED_TRACE(testing::Message() << bits << "-bit path");
    // All points at once, then in slices of 1 to 17 points, so that partly
    // filled vectors, whose spare lanes repeat a composition, meet every
    // kind of point.
    std::vector<CuFeNiPhi> phi(c.x.size());
    cuFeNiPotentialDerivativesOnPath(bits, c.x.data(), c.y.data(), n, phi.data());
    compare(phi, "all at once");
    std::vector<CuFeNiPhi> sliced(c.x.size());
    for (int first = 0, length = 1; first < n; first += length, length = length % 17 + 1) {
      const int count = std::min(length, n - first);
      cuFeNiPotentialDerivativesOnPath(bits, &c.x[first], &c.y[first], count, &sliced[first]);
    }
    compare(sliced, "in slices");
    // Flat stretches: each composition repeated 1 to 5 times (NaN, -0 and
    // the range ends among them), runs crossing the vector boundaries.
    std::vector<double> rx, ry;
    std::vector<int> of;
    for (int k = 0; k < n && rx.size() < 20000; ++k)
      for (int r = 0; r <= k % 5; ++r) {
        rx.push_back(c.x[k]);
        ry.push_back(c.y[k]);
        of.push_back(k);
      }
    std::vector<CuFeNiPhi> repeated(rx.size());
    cuFeNiPotentialDerivativesOnPath(bits, rx.data(), ry.data(), static_cast<int>(rx.size()), repeated.data());
    for (std::size_t j = 0; j < rx.size(); ++j)
      for (int q = 0; q < 3; ++q)
        for (int l = 0; l < 2; ++l)
          ASSERT_EQ(bitsOf(repeated[j].phi[q][l]), bitsOf(expected[of[j]].phi[q][l]))
              << "repeated compositions: point " << j << " q " << q << " l " << l << " x " << rx[j] << " y " << ry[j];
    // No composition, nothing written (and nothing read).
    for (int none : {0, -1}) {
      cuFeNiPotentialDerivativesOnPath(bits, nullptr, nullptr, none, sliced.data());
      compare(sliced, "after a call with no composition");
    }
  }

  // The path the solver takes and the single evaluation.
  std::vector<CuFeNiPhi> phi(c.x.size());
  cuFeNiPotentialDerivatives(c.x.data(), c.y.data(), n, phi.data());
  compare(phi, "chosen path");
  for (int k = 0; k < n; k += 5) phi[k] = cuFeNiPotentialDerivatives(c.x[k], c.y[k]);
  compare(phi, "one point at a time");
}

TEST(CuFeNi, DiffusivitiesAtOnceGiveEachCoefficientBitForBit) {
  const Compositions c = compositions();
  for (std::size_t k = 0; k < c.x.size(); ++k) {
    const CuFeNiDiffusivities D = cuFeNiDiffusivities(c.x[k], c.y[k]);
    for (int i = 0; i < 3; ++i)
      ASSERT_EQ(bitsOf(D.D[i]), bitsOf(test::cuFeNiDiffusivity(i, c.x[k], c.y[k])))
          << "i " << i << " a " << c.x[k] << " b " << c.y[k];
  }
}

// The widest path runs unless TORVEX_VECTOR_BITS asks for less: the test
// runs that force a narrower path must really take it.
TEST(CuFeNi, TakesTheWidestPathAllowed) {
  const std::vector<int> paths = runnablePaths();
  const char* requested = std::getenv("TORVEX_VECTOR_BITS");
  int limit = 512;
  if (requested != nullptr)
    if (const std::optional<int> bits = parseInteger(requested)) limit = *bits;
  int expected = 128;
  for (int bits : paths)
    if (bits <= limit) expected = bits;
  EXPECT_EQ(cuFeNiVectorBits(), expected) << "TORVEX_VECTOR_BITS " << (requested ? requested : "unset");
}

}  // namespace
}  // namespace torvex
