#pragma once
// The verification checks of a run: that the profile kept its physical
// bounds, that each component's inventory changed only by what crossed the
// ends, that the Kirkendall plane moved as the square root of time, and (with
// selective oxidation) that the scale took up what the alloy delivered and
// grew parabolically. Pure functions of numbers a run collected, so each can
// be checked against answers known in closed form.

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "model/case.h"
#include "results/run_report.h"
#include "solver/run_state.h"

namespace torvex {

// ---- Bounds ----

// The worst departure from physical molar ratios seen in the profiles
// scanned: a ratio below 0 or above 1, or the ratios of a point not summing
// to 1; and the first non-finite concentration.
struct BoundsScan {
  double worst = 0;  // largest of -N, N - 1 and |sum N - 1| seen
  bool nonFinite = false;
  int component = 0;  // where the first non-finite value was seen (0-based)
  int point = 0;
  double position = 0;  // cm
  double time = 0;      // s
};

// Scans the concentrations the state holds, N_i = c_i / sum_j c_j, into scan.
void scanBounds(const Case& c, const RunState& s, BoundsScan& scan);

// Ratios in [0, 1] summing to 1 within this, at every point of every profile scanned.
constexpr double kRatioSumTolerance = 1e-9;
RunCheck boundsCheck(const BoundsScan& scan);

// ---- Inventories ----

// The amount of each component in the sample, integral of c_i dx over the
// grid by the trapezoidal rule (mol/cm^2).
std::vector<double> componentInventories(const Case& c, const RunState& s);

// Closed sample: the difference scheme is not exactly conservative. On the
// diffusion couple of the samples (interdiffusion.dat, 612 000 s) the
// inventories drift by up to 0.51 %, growing with the width of the diffusion
// zone; twice that warns.
constexpr double kClosedInventoryBound = 0.01;
// Open sample: besides that drift, the profile is renormalised to fill the
// sample's fixed volume at every pass, so a component leaving through an end
// is partly made up by the others, and the boundary fluxes are summed pass by
// pass from their values after each pass. On the selective oxidation of the
// samples (oxidation.dat) the mismatch reaches 4.8 % by 44 000 s and 19 % by
// 612 000 s; beyond 25 % warns.
constexpr double kOpenInventoryBound = 0.25;

// Component i (0-based): start and end inventories (mol/cm^2) and, for an
// open sample, what entered through the ends, integral of (J_left - J_right)
// dt (mol/cm^2). The value is |end - start - inflow| / start.
RunCheck inventoryCheck(int component, double start, double end, bool open, double inflow);

// ---- Fits ----

struct LineFit {
  double slope = std::numeric_limits<double>::quiet_NaN();
  double intercept = std::numeric_limits<double>::quiet_NaN();
  double r2 = std::numeric_limits<double>::quiet_NaN();  // coefficient of determination
  std::size_t points = 0;
};

// Least-squares line y = slope x + intercept through the points from index
// `first` on; NaN members with fewer than 3 points or no spread in x.
LineFit fitLine(const std::vector<double>& x, const std::vector<double>& y, std::size_t first = 0);

// ---- Kirkendall plane ----

// |p - 1/2| beyond this warns.
constexpr double kKirkendallExponentBound = 0.02;

// The exponent p of x_K - x_K0 = A t^p, fitted in log-log over the second
// half of the record (times > 0 only), and judged against 1/2. `shifts` are
// x_K - x_K0 (cm); a final shift below a hundredth of `gridSpacing` (cm)
// counts as no movement, reported without a value and without a warning;
// `zoneReachedEnds` says whether the composition at an end of the sample
// changed, when the law no longer applies.
RunCheck kirkendallExponentCheck(const std::vector<double>& times, const std::vector<double>& shifts,
                                 double gridSpacing, bool zoneReachedEnds);

// ---- Selective oxidation ----

constexpr double kFluxBalanceBound = 0.01;
constexpr double kParabolicR2Bound = 0.999;
constexpr double kParabolicSlopeBound = 0.05;

// The alloy flux of component 1 at the surface against the flux the scale
// takes up (mol/(cm^2 s)), as the flux comparison record's last line has
// them: |alloy - oxide| / |oxide|.
RunCheck fluxBalanceCheck(double alloyFlux, double oxideFlux);

// X^2 against t over the record: R^2 of the line, and its slope against
// 2 kp at the end of the run.
std::vector<RunCheck> parabolicGrowthChecks(const std::vector<double>& times, const std::vector<double>& thickness,
                                            double finalKp);

}  // namespace torvex
