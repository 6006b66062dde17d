#include "solver/differentiate.h"

#include <limits>

namespace torvex {

double PointDerivative(DifferenceScheme scheme, double x1, double x0, double xm1, double f1, double f0, double fm1) {
  switch (scheme) {
    case DifferenceScheme::Central: return (f1 - fm1) / (x1 - xm1);
    case DifferenceScheme::Forward: return (f1 - f0) / (x1 - x0);
    case DifferenceScheme::Backward: return (f0 - fm1) / (x0 - xm1);
    default: return std::numeric_limits<double>::quiet_NaN();
  }
}

double EndDerivative(char side, double xa, double xb, double xc, double fa, double fb, double fc) {
  const double hL = xb - xc;
  const double hR = xa - xb;
  // Second derivative of the parabola through the three points.
  const double second = (fa * hL + fc * hR - (hR + hL) * fb) / (0.5 * hR * hL * (hR + hL));
  if (side == 'L') return (fb - fc) / hL - 0.5 * hL * second;
  return (fa - fb) / hR + 0.5 * hR * second;
}

void Differentiate(const Case& c, const std::vector<double>& grid, const Table2<double>& f, Table2<double>& df) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  const double* x = grid.data();
  const DifferenceScheme scheme = c.differenceScheme;
  for (int i = 0; i < r; ++i) {
    const double* fi = f[i];
    double* dfi = df[i];
    dfi[0] = EndDerivative('L', x[2], x[1], x[0], fi[2], fi[1], fi[0]);
    dfi[n - 1] = EndDerivative('R', x[n - 1], x[n - 2], x[n - 3], fi[n - 1], fi[n - 2], fi[n - 3]);
    // One loop per scheme, each with PointDerivative's expression for it.
    switch (scheme) {
      case DifferenceScheme::Central:
        for (int k = 1; k < n - 1; ++k) dfi[k] = (fi[k + 1] - fi[k - 1]) / (x[k + 1] - x[k - 1]);
        break;
      case DifferenceScheme::Forward:
        for (int k = 1; k < n - 1; ++k) dfi[k] = (fi[k + 1] - fi[k]) / (x[k + 1] - x[k]);
        break;
      case DifferenceScheme::Backward:
        for (int k = 1; k < n - 1; ++k) dfi[k] = (fi[k] - fi[k - 1]) / (x[k] - x[k - 1]);
        break;
      default:
        for (int k = 1; k < n - 1; ++k)
          dfi[k] = PointDerivative(scheme, x[k + 1], x[k], x[k - 1], fi[k + 1], fi[k], fi[k - 1]);
    }
  }
}

}  // namespace torvex
