#include "support/cu_fe_ni_reference.h"

#include <array>

namespace torvex::test {
namespace {

// T_0 .. T_9 at z.
std::array<double, kCuFeNiDegree + 1> chebyshevPolynomials(double z) {
  std::array<double, kCuFeNiDegree + 1> T{};
  T[0] = 1;
  T[1] = z;
  for (int m = 2; m <= kCuFeNiDegree; ++m) T[m] = 2 * z * T[m - 1] - T[m - 2];
  return T;
}

double clipped(double z) {
  return z > 1 ? 1 : z < -1 ? -1 : z;
}

}  // namespace

double cuFeNiActivityFit(int q, double x, double y) {
  const auto Ts = chebyshevPolynomials(clipped((x - kCuFeNiCuCentre) * kCuFeNiCuScale));
  const auto Tw = chebyshevPolynomials(clipped((y - kCuFeNiFeCentre) * kCuFeNiFeScale));
  const double* C = kCuFeNiChebyshev[q];
  double F = 0;
  int p = 0;
  for (int g = 0; g <= kCuFeNiDegree; ++g)
    for (int a = g; a >= 0; --a) F += C[p++] * (Ts[a] * Tw[g - a]);
  return F;
}

double cuFeNiPotentialDerivative(int q, int l, double x, double y) {
  if (l == 0) return kCuFeNiRT * fitLogDerivative([&](double u) { return cuFeNiActivityFit(q, u, y); }, x);
  if (l == 1) return kCuFeNiRT * fitLogDerivative([&](double u) { return cuFeNiActivityFit(q, x, u); }, y);
  return 0;
}

}  // namespace torvex::test
