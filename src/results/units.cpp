#include "results/units.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "model/errors.h"

namespace torvex {

Table2<double> atomicPercent(const Table2<double>& c) {
  const int r = c.rows();
  const int n = c.columns();
  Table2<double> percent(r, n);
  for (int k = 0; k < n; ++k) {
    double total = 0;  // mol/cm^3
    for (int j = 0; j < r; ++j) total += c[j][k];
    for (int i = 0; i < r; ++i) percent[i][k] = 100 * (c[i][k] / total);
  }
  return percent;
}

Table2<double> weightPercent(const Table2<double>& c, const std::vector<double>& M) {
  const int r = c.rows();
  const int n = c.columns();
  Table2<double> percent(r, n);
  for (int k = 0; k < n; ++k) {
    double mass = 0;  // g/cm^3
    for (int j = 0; j < r; ++j) mass += M[static_cast<std::size_t>(j)] * c[j][k];
    for (int i = 0; i < r; ++i) percent[i][k] = M[static_cast<std::size_t>(i)] * c[i][k] / mass * 100;
  }
  return percent;
}

std::vector<double> weightFromAtomicPercent(const std::vector<double>& atomic, const std::vector<double>& M, int r) {
  if (r < 1 || M.size() != static_cast<std::size_t>(r) || atomic.size() % static_cast<std::size_t>(r) != 0) return {};
  const auto components = static_cast<std::size_t>(r);
  const std::size_t n = atomic.size() / components;
  std::vector<double> weight(atomic.size());
  for (std::size_t k = 0; k < n; ++k) {
    double mass = 0.0;  // g per 100 mol of atoms
    for (std::size_t i = 0; i < components; ++i) mass += atomic[i * n + k] * M[i];
    for (std::size_t i = 0; i < components; ++i)
      weight[i * n + k] = mass > 0.0 ? 100.0 * atomic[i * n + k] * M[i] / mass : 0.0;
  }
  return weight;
}

Interpolated interpolateHeld(const std::vector<double>& x, const std::vector<double>& y, double at) {
  if (at <= x.front()) return {y.front(), 0.0};
  if (at >= x.back()) return {y.back(), 0.0};
  const auto upper = static_cast<std::size_t>(std::upper_bound(x.begin(), x.end(), at) - x.begin());
  const std::size_t i = upper - 1;
  const double slope = (y[upper] - y[i]) / (x[upper] - x[i]);
  return {y[i] + slope * (at - x[i]), slope};
}

double InterpolateLinear(const std::vector<double>& x, const std::vector<double>& y, double x0) {
  const std::size_t n = x.size();
  if (n == 0 || n != y.size() || !(x0 >= x[0] && x0 <= x[n - 1])) return std::numeric_limits<double>::quiet_NaN();
  return interpolateHeld(x, y, x0).value;
}

ProfileMisfit MeasuredMisfit(const MeasuredProfile& measured, const std::vector<double>& positionCm,
                             const std::vector<std::vector<double>>& simulatedPercent) {
  ProfileMisfit misfit;
  RootMeanSquare rms;
  for (std::size_t c = 0; c < measured.components.size(); ++c) {
    const int component = measured.components[c];
    if (component < 0 || static_cast<std::size_t>(component) >= simulatedPercent.size())
      throw InputError(measured.fileName + ", column N" + std::to_string(component + 1) + ": the simulation has only " +
                       std::to_string(simulatedPercent.size()) + " components");
    const auto& simulated = simulatedPercent[static_cast<std::size_t>(component)];
    for (std::size_t row = 0; row < measured.positionCm.size() && row < measured.percent[c].size(); ++row) {
      const double model = InterpolateLinear(positionCm, simulated, measured.positionCm[row]);
      if (std::isnan(model)) {
        ++misfit.pointsOutside;
        continue;
      }
      rms.add(measured.percent[c][row] - model);
    }
  }
  misfit.pointsUsed = rms.count();
  misfit.rmsPercent = rms.value();
  return misfit;
}

double RootMeanSquare::value() const {
  return count_ > 0 ? std::sqrt(sumSquares_ / static_cast<double>(count_)) : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace torvex
