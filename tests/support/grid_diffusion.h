#pragma once
// Diffusion with a constant coefficient on a grid of equal cells, as a banded
// system for the implicit stepper, and the exact solution of that system.
//
// Cell i holds the mean concentration c_i of [i h, (i+1) h]; the flux through
// the face between cells i and i+1 is −D (c_{i+1} − c_i)/h, and nothing
// crosses the two ends, so dc_i/dt = λ ((c_{i+1} − c_i) − (c_i − c_{i−1})) with
// λ = D/h². The Jacobian is tridiagonal.

#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

#include "run/bdf_stepper.h"

namespace torvex::test {

struct GridDiffusion {
  std::size_t n = 0;
  double lambda = 0;  // D/h², 1/s

  // With analyticJacobian false the stepper forms it from differences.
  [[nodiscard]] BandedSystem system(bool analyticJacobian) const {
    BandedSystem s;
    s.size = n;
    s.lowerBandwidth = 1;
    s.upperBandwidth = 1;
    const std::size_t cells = n;
    const double l = lambda;
    s.rightHandSide = [cells, l](double, std::span<const double> c, std::span<double> rate) {
      // Each face's difference once, so what leaves one cell enters the
      // next: the sum of the rates telescopes.
      double left = 0;  // c_i − c_{i−1} of the face on the left; 0 at the closed end
      for (std::size_t i = 0; i < cells; ++i) {
        const double right = i + 1 < cells ? c[i + 1] - c[i] : 0.0;
        rate[i] = l * (right - left);
        left = right;
      }
      return BdfCallbackResult::Ok;
    };
    if (analyticJacobian) {
      s.jacobian = [cells, l](double, std::span<const double>, std::span<const double>, BandJacobian& j) {
        for (std::size_t i = 0; i < cells; ++i) {
          if (i > 0) {
            j(i, i - 1) = l;
            j(i, i) -= l;
          }
          if (i + 1 < cells) {
            j(i, i + 1) = l;
            j(i, i) -= l;
          }
        }
        return BdfCallbackResult::Ok;
      };
    }
    return s;
  }

  // The exact solution of the grid's equations from c0 at time t: the
  // discrete cosines cos(π m (i + ½)/n) are the eigenvectors of the closed
  // three-point operator, with the rates −4λ sin²(π m/(2n)).
  [[nodiscard]] std::vector<double> exact(const std::vector<double>& c0, double t) const {
    const double pi = std::numbers::pi;
    std::vector<double> c(n, 0.0);
    for (std::size_t m = 0; m < n; ++m) {
      double amplitude = 0;
      for (std::size_t i = 0; i < n; ++i) amplitude += c0[i] * std::cos(pi * m * (i + 0.5) / n);
      amplitude *= (m == 0 ? 1.0 : 2.0) / n;
      const double s = std::sin(pi * m / (2.0 * n));
      amplitude *= std::exp(-4 * lambda * s * s * t);
      for (std::size_t i = 0; i < n; ++i) c[i] += amplitude * std::cos(pi * m * (i + 0.5) / n);
    }
    return c;
  }
};

// A step couple: cL in the left half of the cells, cR in the right.
inline std::vector<double> stepProfile(std::size_t n, double cL, double cR) {
  std::vector<double> c(n, cR);
  for (std::size_t i = 0; i < n / 2; ++i) c[i] = cL;
  return c;
}

}  // namespace torvex::test
