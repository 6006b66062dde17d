#include "plot/measured_shift.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "plot/chart_data.h"

namespace torvex::plot {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string micrometres(double cm) {
  return ShortNumber(cm * 1e4) + " µm";
}

}  // namespace

double CrossingPosition(std::vector<double> x, std::vector<double> y, double level) {
  const std::size_t n = std::min(x.size(), y.size());
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return x[a] < x[b]; });
  std::vector<double> crossings;
  for (std::size_t k = 0; k + 1 < n; ++k) {
    const double x0 = x[order[k]], x1 = x[order[k + 1]];
    const double d0 = y[order[k]] - level, d1 = y[order[k + 1]] - level;
    if (!(std::isfinite(d0) && std::isfinite(d1))) continue;
    if (d0 == 0.0) {
      crossings.push_back(x0);
    } else if (d0 * d1 < 0.0) {
      crossings.push_back(x0 + (x1 - x0) * d0 / (d0 - d1));
    }
  }
  if (n > 0 && y[order[n - 1]] == level) crossings.push_back(x[order[n - 1]]);
  if (crossings.empty()) return kNaN;
  std::sort(crossings.begin(), crossings.end());
  const std::size_t middle = crossings.size() / 2;
  return crossings.size() % 2 == 1 ? crossings[middle] : 0.5 * (crossings[middle - 1] + crossings[middle]);
}

ShiftProposal ProposeMeasuredShift(const RunData& run, const MeasuredProfile& measured, std::size_t frame) {
  ShiftProposal proposal;
  if (measured.positionCm.empty()) return proposal;
  const auto [lowest, highest] = std::minmax_element(measured.positionCm.begin(), measured.positionCm.end());
  const double scanMiddle = 0.5 * (*lowest + *highest);
  const std::size_t n = run.pointCount();
  if (run.frames.empty() || n == 0) {
    proposal.explanation = "No simulated profile to compare with yet: no shift is proposed.";
    return proposal;
  }
  const double sampleMiddle = 0.5 * (run.positionCm.front() + run.positionCm.back());
  proposal.shiftCm = sampleMiddle - scanMiddle;

  const ProfileFrame& save = run.frames[std::min(frame, run.frames.size() - 1)];
  const bool weight = measured.basis == CompositionBasis::Weight;
  const std::vector<double>& percent = weight && !save.wtPct.empty() ? save.wtPct : save.atPct;
  const std::string basis = weight ? "wt.%" : "at.%";
  // The measured component whose simulated content changes most.
  std::size_t best = measured.components.size();
  double widest = 0.0, level = kNaN;
  for (std::size_t column = 0; column < measured.components.size(); ++column) {
    const int c = measured.components[column];
    if (c < 0 || c >= run.componentCount || (weight && save.wtPct.empty())) continue;
    const auto first = percent.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(c) * n);
    const auto [low, high] = std::minmax_element(first, first + static_cast<std::ptrdiff_t>(n));
    if (*high - *low > widest) {
      widest = *high - *low;
      best = column;
      level = 0.5 * (*low + *high);
    }
  }
  const std::string centred = "the proposal centres the scan on the sample.";
  if (best == measured.components.size()) {
    proposal.explanation = "No measured component changes along the simulated sample: " + centred;
    return proposal;
  }
  const int c = measured.components[best];
  const auto first = percent.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(c) * n);
  const double simulated =
      CrossingPosition(run.positionCm, std::vector<double>(first, first + static_cast<std::ptrdiff_t>(n)), level);
  const double scanned = CrossingPosition(measured.positionCm, measured.percent[best], level);
  const std::string what = ShortNumber(level, 3) + " " + basis + " " + ComponentName(run, c);
  if (!std::isfinite(simulated) || !std::isfinite(scanned)) {
    proposal.explanation = "The scan never crosses " + what + ", halfway between the simulated extremes: " + centred;
    return proposal;
  }
  proposal.shiftCm = simulated - scanned;
  proposal.fromCrossing = true;
  proposal.explanation = "It puts the scan's crossing of " + what + " (at " + micrometres(scanned) +
                         " as read) where the simulated profile crosses it (at " + micrometres(simulated) + ").";
  return proposal;
}

}  // namespace torvex::plot
