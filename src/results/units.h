#pragma once
// Conversions between the ways the results state a composition: molar
// ratios and concentrations (the solver's), atomic percent and weight
// percent (the files' and the charts'), and the measures of how a simulated
// profile compares with a measured one. Every writer and reader converts
// through these, so a number means the same in every file and chart.

#include <cstddef>
#include <vector>

#include "model/measured_profile.h"
#include "model/table.h"

namespace torvex {

// Atomic percent of concentrations c [r][n] (mol/cm^3): 100 c_i / sum_j c_j.
Table2<double> atomicPercent(const Table2<double>& concentration);
// Weight percent: 100 M_i c_i / sum_j M_j c_j with molar masses M [r] (g/mol).
Table2<double> weightPercent(const Table2<double>& concentration, const std::vector<double>& molarMass);
// Weight percent from atomic percent a (component-major, [i * n + k]):
// w_i = 100 a_i M_i / sum_j a_j M_j per grid point; empty when M does not
// have r entries.
std::vector<double> weightFromAtomicPercent(const std::vector<double>& atomic, const std::vector<double>& molarMass,
                                            int r);

// y at `at` on the polyline through the points (x, y), x ascending, and its
// slope there (per unit of x). `at` is held inside [x.front(), x.back()]:
// beyond the ends the end value holds and the slope is 0. x and y must not be
// empty.
struct Interpolated {
  double value = 0.0;
  double slope = 0.0;
};
Interpolated interpolateHeld(const std::vector<double>& x, const std::vector<double>& y, double at);

// y at x0 on that polyline; NaN outside [x.front(), x.back()], for empty
// input and for x and y of different lengths.
double InterpolateLinear(const std::vector<double>& x, const std::vector<double>& y, double x0);

// Misfit between a measured profile and a simulated one at the same time.
struct ProfileMisfit {
  double rmsPercent = 0.0;  // root mean square of measured minus simulated, in the profile's basis
  std::size_t pointsUsed = 0;
  std::size_t pointsOutside = 0;  // measured points beyond the simulated sample, left out
};

// The simulated profile is given per component (0-based) as percent in the
// measured profile's basis at positions positionCm (ascending); it is
// interpolated linearly at each measured position inside the sample. A
// measured component the simulation does not have counts as missing: throws
// InputError naming the file and the column. NaN rms when no point is used.
ProfileMisfit MeasuredMisfit(const MeasuredProfile& measured, const std::vector<double>& positionCm,
                             const std::vector<std::vector<double>>& simulatedPercent);

// The root mean square of differences added one at a time.
class RootMeanSquare {
 public:
  void add(double difference) {
    sumSquares_ += difference * difference;
    ++count_;
  }
  [[nodiscard]] std::size_t count() const { return count_; }
  // NaN when nothing was added.
  [[nodiscard]] double value() const;

 private:
  double sumSquares_ = 0.0;
  std::size_t count_ = 0;
};

}  // namespace torvex
