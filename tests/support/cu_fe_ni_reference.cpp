#include "support/cu_fe_ni_reference.h"

#include <array>
#include <cmath>

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

double cuFeNiLogDiffusivityPerHour(int i, double a, double b) {
  using std::pow;
  switch (i) {
    case 0:  // Cu
      return -7.161 + 4.109 * a - 2.176 * pow(a, 2) - 0.537 * b - 8.108 * pow(b, 2) + 31.006 * pow(b, 3) -
             23.574 * pow(b, 4);
    case 1:  // Fe
      return -7.617 + 11.388 * a - 57.156 * pow(a, 2) + 140.331 * pow(a, 3) - 144.9 * pow(a, 4) + 52.761 * pow(a, 5) +
             1.023 * b - 13.879 * pow(b, 2) + 30.017 * pow(b, 3) - 18.15 * pow(b, 4);
    default:  // Ni
      return -7.933 + 3.496 * a + 1.083 * b - 3.238 * pow(a, 2) - 3.108 * pow(b, 2) - 2.447 * a * b +
             2.251 * pow(a, 3) + 1.915 * pow(b, 3) + 2.753 * a * pow(b, 2) - 3.563 * pow(a, 2) * b;
  }
}

double cuFeNiDiffusivity(int i, double a, double b) {
  // From cm^2/h to cm^2/s.
  return std::pow(10.0, cuFeNiLogDiffusivityPerHour(i, a, b) - std::log10(3600.0));
}

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
