#include "run/run_checks.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "model/formula.h"
#include "model/number_format.h"

namespace torvex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A plane that moved less than this share of a grid spacing has not moved
// measurably: the interpolated drift velocity of a couple whose plane stays
// at rest leaves it a few ten-thousandths of a spacing away, and an exponent
// fitted to that is noise.
constexpr double kNoMovement = 0.01;

std::string componentName(int i) {
  return "component " + formatInteger(i + 1);
}

}  // namespace

void scanBounds(const Case& c, const RunState& s, BoundsScan& scan) {
  const int r = c.componentCount;
  for (int k = 0; k < c.pointCount; ++k) {
    double total = 0;
    for (int i = 0; i < r; ++i) total += s.concentration[i][k];
    double sum = 0;
    for (int i = 0; i < r; ++i) {
      const double ci = s.concentration[i][k];
      if (!std::isfinite(ci) && !scan.nonFinite) {
        scan.nonFinite = true;
        scan.component = i;
        scan.point = k;
        scan.position = s.position[static_cast<std::size_t>(k)];
        scan.time = s.currentTime;
      }
      const double N = ci / total;
      sum += N;
      scan.worst = std::max({scan.worst, -N, N - 1});
    }
    scan.worst = std::max(scan.worst, std::fabs(sum - 1));
  }
}

RunCheck boundsCheck(const BoundsScan& scan) {
  RunCheck check{.id = "bounds",
                 .title = "Molar ratios within [0, 1], summing to 1",
                 .value = scan.nonFinite ? kNaN : scan.worst,
                 .threshold = kRatioSumTolerance,
                 .meaning =
                     "Every molar ratio of every saved profile lies in [0, 1] and the ratios of each point "
                     "sum to 1; the value is the largest departure found."};
  if (scan.nonFinite) {
    check.meaning = "The run met a non-finite concentration or rate of change: the first appeared in " +
                    componentName(scan.component) + " at grid point " + formatInteger(scan.point) +
                    " (x = " + formatGeneral(scan.position) + " cm) by t = " + formatGeneral(scan.time) +
                    " s, so no number of this run can be trusted from then on.";
  }
  return judged(std::move(check));
}

std::vector<double> componentInventories(const Case& c, const RunState& s) {
  std::vector<double> inventory(static_cast<std::size_t>(c.componentCount), 0.0);
  for (int i = 0; i < c.componentCount; ++i) {
    const double* ci = s.concentration[i];
    double sum = 0;
    for (int k = 1; k < c.pointCount; ++k) {
      const double dx = s.position[static_cast<std::size_t>(k)] - s.position[static_cast<std::size_t>(k - 1)];
      sum += 0.5 * (ci[k] + ci[k - 1]) * dx;  // mol/cm^2
    }
    inventory[static_cast<std::size_t>(i)] = sum;
  }
  return inventory;
}

RunCheck inventoryCheck(int component, double start, double end, bool open, double inflow) {
  const std::string name = componentName(component);
  RunCheck check;
  check.id = "inventory." + formatInteger(component + 1);
  check.title = "Inventory of " + name;
  if (open) {
    check.value = std::fabs(end - start - inflow) / std::fabs(start);
    check.threshold = kOpenInventoryBound;
    check.meaning = "The amount of " + name + " in the sample (integral of c dx, " + formatGeneral(start) + " -> " +
                    formatGeneral(end) + " mol/cm^2) changed by what crossed the ends (" + formatGeneral(inflow) +
                    " mol/cm^2); the value is the mismatch relative to the starting amount, which includes what "
                    "the renormalisation to the sample's fixed volume adds back.";
  } else {
    check.value = std::fabs(end - start) / std::fabs(start);
    check.threshold = kClosedInventoryBound;
    check.meaning = "The amount of " + name + " in the closed sample (integral of c dx, " + formatGeneral(start) +
                    " -> " + formatGeneral(end) +
                    " mol/cm^2) is kept by the physics; the relative change is the scheme's drift.";
  }
  return judged(std::move(check));
}

LineFit fitLine(const std::vector<double>& x, const std::vector<double>& y, std::size_t first) {
  LineFit fit;
  const std::size_t count = std::min(x.size(), y.size());
  if (first >= count || count - first < 3) return fit;
  const auto n = static_cast<double>(count - first);
  double meanX = 0, meanY = 0;
  for (std::size_t k = first; k < count; ++k) {
    meanX += x[k];
    meanY += y[k];
  }
  meanX /= n;
  meanY /= n;
  double sxx = 0, sxy = 0, syy = 0;
  for (std::size_t k = first; k < count; ++k) {
    const double dx = x[k] - meanX;
    const double dy = y[k] - meanY;
    sxx += dx * dx;
    sxy += dx * dy;
    syy += dy * dy;
  }
  if (!(sxx > 0)) return fit;
  fit.points = count - first;
  fit.slope = sxy / sxx;
  fit.intercept = meanY - fit.slope * meanX;
  fit.r2 = syy > 0 ? sxy * sxy / (sxx * syy) : 1.0;  // a constant y lies on the line exactly
  return fit;
}

RunCheck kirkendallExponentCheck(const std::vector<double>& times, const std::vector<double>& shifts,
                                 double gridSpacing, bool zoneReachedEnds) {
  RunCheck check{.id = "kirkendall.exponent",
                 .title = "Kirkendall plane exponent p (x_K - x_K0 = A t^p)",
                 .threshold = kKirkendallExponentBound,
                 .meaning =
                     "The marker plane of a couple whose diffusion zone has not reached the ends moves as "
                     "the square root of time; p is fitted over the second half of the record.",
                 .comparison = CheckComparison::Near,
                 .expected = 0.5};
  const std::size_t count = std::min(times.size(), shifts.size());
  const std::size_t first = count / 2;
  const double last = count == 0 ? 0.0 : shifts[count - 1];
  if (count == 0 || !(std::fabs(last) >= kNoMovement * gridSpacing)) {
    // Nothing to fit: the plane stays where it started (equal intrinsic
    // diffusivities, equal molar volumes), which no exponent describes.
    check.meaning = "The marker plane did not move measurably (x_K - x_K0 = " + formatGeneral(last) +
                    " cm), so there is no exponent to fit; a plane at rest is what a couple of equal intrinsic "
                    "diffusivities gives.";
    check.warn = count > 0 && !std::isfinite(last);
    return check;
  }
  std::vector<double> logT, logShift;
  for (std::size_t k = first; k < count; ++k) {
    // Points on the other side of the start, or at t = 0, have no logarithm.
    if (!(times[k] > 0) || !(shifts[k] * last > 0)) continue;
    logT.push_back(std::log(times[k]));
    logShift.push_back(std::log(std::fabs(shifts[k])));
  }
  check.value = fitLine(logT, logShift).slope;
  if (zoneReachedEnds)
    check.meaning += " Here the composition at an end of the sample has changed, so p may rightly differ from 0.5.";
  return judged(std::move(check));
}

RunCheck fluxBalanceCheck(double alloyFlux, double oxideFlux) {
  return judged({.id = "oxidation.flux_balance",
                 .title = "Flux balance of component 1 at the oxidising surface",
                 .value = std::fabs(alloyFlux - oxideFlux) / std::fabs(oxideFlux),
                 .threshold = kFluxBalanceBound,
                 .meaning = "At the end of the run the flux of component 1 arriving from the alloy (" +
                            formatGeneral(alloyFlux) +
                            " mol/(cm^2 s)) must match the flux the growing scale takes up (" +
                            formatGeneral(oxideFlux) + "); the value is their relative difference."});
}

std::vector<RunCheck> parabolicGrowthChecks(const std::vector<double>& times, const std::vector<double>& thickness,
                                            double finalKp) {
  std::vector<double> square(thickness.size());
  std::transform(thickness.begin(), thickness.end(), square.begin(), [](double X) { return X * X; });
  const LineFit fit = fitLine(times, square);
  std::vector<RunCheck> checks;
  checks.push_back(judged({.id = "oxidation.parabolic_r2",
                           .title = "Parabolic scale growth: R^2 of X^2 against t",
                           .value = fit.r2,
                           .threshold = kParabolicR2Bound,
                           .meaning = "The squared scale thickness grows linearly in time, X^2 = 2 kp t + const; "
                                      "the value is the coefficient of determination of that line over the record.",
                           .comparison = CheckComparison::AtLeast}));
  checks.push_back(judged({.id = "oxidation.parabolic_slope",
                           .title = "Parabolic scale growth: slope of X^2 against t over 2 kp",
                           .value = fit.slope / (2 * finalKp),
                           .threshold = kParabolicSlopeBound,
                           .meaning = "The slope of X^2 against t (" + formatGeneral(fit.slope) +
                                      " cm^2/s) equals 2 kp with kp at the end of the run (" + formatGeneral(finalKp) +
                                      " cm^2/s) when kp stayed constant.",
                           .comparison = CheckComparison::Near,
                           .expected = 1.0}));
  return checks;
}

}  // namespace torvex
