// The implicit stepper against solutions known in closed form: diffusion of a
// step couple on a grid (the grid's own exact solution, the error function,
// the inventory), drift down a chain (a band that is not symmetric), and
// exponential decay (stop times landed exactly, restarts, interpolation);
// then what it does when a callback fails and which settings it refuses.

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run/bdf_stepper.h"
#include "support/grid_diffusion.h"

namespace torvex {
namespace {

// Steps to `end`, calling `each` after every step; fails the test rather
// than loop for ever.
void stepTo(BdfStepper& stepper, double end, const std::function<void(const BdfStep&)>& each = {}) {
  for (int steps = 0; stepper.time() < end; ++steps) {
    ASSERT_LT(steps, 100000) << "no end in sight at t = " << stepper.time();
    const BdfStep step = stepper.step(end);
    if (each) each(step);
  }
}

double maxDifference(std::span<const double> a, const std::vector<double>& b) {
  double largest = 0;
  for (std::size_t i = 0; i < b.size(); ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
  return largest;
}

BdfSettings tolerances(double relative, double absolute) {
  BdfSettings settings;
  settings.relativeTolerance = relative;
  settings.absoluteTolerance = absolute;
  return settings;
}

// 400 cells of 0.05 (in units where D = 1): the couple's diffusion length
// 2√(D t) stays below a tenth of the half length, so the finite sample
// is as good as an infinite one.
const test::GridDiffusion kCouple{400, 1.0 / (0.05 * 0.05)};
constexpr double kCellWidth = 0.05;
constexpr double kAnneal = 1.0;

TEST(BdfDiffusion, ErrorAgainstTheGridsExactSolutionFallsAsTheToleranceTightens) {
  const std::vector<double> c0 = test::stepProfile(kCouple.n, 0.9, 0.1);
  const std::vector<double> exact = kCouple.exact(c0, kAnneal);
  std::vector<double> errors;
  for (const double relative : {1e-4, 1e-6, 1e-8}) {
    for (const bool analytic : {false, true}) {
      BdfStepper stepper(kCouple.system(analytic), tolerances(relative, relative), 0.0, c0);
      stepTo(stepper, kAnneal);
      const double error = maxDifference(stepper.state(), exact);
      // The local error is held to the tolerance; the global error stays
      // within a small multiple of it for this decaying problem.
      EXPECT_LT(error, 10 * relative) << "tolerance " << relative << (analytic ? ", analytic" : ", differences");
      if (analytic) errors.push_back(error);
    }
  }
  // Two decades of tolerance buy close to two decades of accuracy.
  EXPECT_LT(errors[1], errors[0] / 5) << errors[0] << " " << errors[1];
  EXPECT_LT(errors[2], errors[1] / 5) << errors[1] << " " << errors[2];
}

TEST(BdfDiffusion, FollowsTheErrorFunctionWithinTheGridErrorAndKeepsTheInventory) {
  const double cL = 0.9, cR = 0.1;
  const std::vector<double> c0 = test::stepProfile(kCouple.n, cL, cR);
  double inventory0 = 0;
  for (const double c : c0) inventory0 += c * kCellWidth;

  BdfStepper stepper(kCouple.system(false), tolerances(1e-8, 1e-10), 0.0, c0);
  double worstDrift = 0;
  stepTo(stepper, kAnneal, [&](const BdfStep&) {
    double inventory = 0;
    for (const double c : stepper.state()) inventory += c * kCellWidth;
    worstDrift = std::max(worstDrift, std::abs(inventory - inventory0) / inventory0);
  });
  // What leaves one cell enters the next, and the Newton corrections keep
  // that linear invariant: only rounding moves the amount.
  EXPECT_LT(worstDrift, 1e-12);

  // The continuous solution: c = cR + (cL − cR)/2 · erfc((x − x0)/(2√(D t))).
  // The grid departs from it, to leading order in h², by the three-point
  // operator's extra D h²/12 ∂⁴c/∂x⁴ (acting for the time t) and by the
  // sampled step, which for the grid's long waves is the true step spread by
  // (kh/2)/sin(kh/2) ≈ 1 + k²h²/24 (a −h²/24 ∂²c/∂x² in the profile):
  // e = Δ s (erfc''''(z)/96 − erfc''(z)/48), s = h²/(4 D t), z = (x − x0)/(2√(D t)),
  // Δ = cL − cR. Its largest value over z is the bound, met within the
  // next order in s.
  const double s = kCellWidth * kCellWidth / (4 * kAnneal);
  double bound = 0;
  for (double z = -4; z <= 4; z += 1e-4) {
    const double g = 2 / std::sqrt(std::numbers::pi) * std::exp(-z * z);
    const double second = 2 * z * g;                     // erfc''
    const double fourth = (8 * z * z * z - 12 * z) * g;  // erfc''''
    bound = std::max(bound, (cL - cR) * s * std::abs(fourth / 96 - second / 48));
  }
  const double x0 = kCouple.n / 2 * kCellWidth;
  double worst = 0;
  for (std::size_t i = 0; i < kCouple.n; ++i) {
    const double x = (i + 0.5) * kCellWidth;
    const double erfcSolution = cR + (cL - cR) / 2 * std::erfc((x - x0) / (2 * std::sqrt(kAnneal)));
    worst = std::max(worst, std::abs(stepper.state()[i] - erfcSolution));
  }
  EXPECT_LT(worst, 1.05 * bound + 1e-6);
  EXPECT_GT(worst, 0.9 * bound) << "the grid error should show: is the grid the one assumed?";
}

// A normalisation after every step, with the history kept: diffusion with
// a slow uniform loss −ε c (a drift off the states allowed, of the size of
// the local error, as the product-rule differences leave the volume
// constraint), which a rescaling to the initial inventory undoes after each
// step. The loss is proportional to the profile, so the rescaling removes
// it, and what remains is the pure diffusion of the grid.
TEST(BdfDiffusion, AProjectionAfterEveryStepKeepsTheInventoryAndTheHistory) {
  const test::GridDiffusion grid{100, 1.0 / (0.05 * 0.05)};
  const std::vector<double> c0 = test::stepProfile(grid.n, 0.9, 0.1);
  double inventory0 = 0;
  for (const double c : c0) inventory0 += c;
  constexpr double kLoss = 1e-3;  // 1/s: 0.1 % of the amount would be lost by t = 1

  BandedSystem system = grid.system(true);
  const auto diffusion = system.rightHandSide;
  system.rightHandSide = [diffusion](double t, std::span<const double> c, std::span<double> rate) {
    diffusion(t, c, rate);
    for (std::size_t i = 0; i < c.size(); ++i) rate[i] -= kLoss * c[i];
    return BdfCallbackResult::Ok;
  };
  system.projection = [inventory0](double, std::span<const double> c, std::span<double> correction,
                                   std::span<double> error) {
    double inventory = 0, lost = 0;
    for (std::size_t i = 0; i < c.size(); ++i) {
      inventory += c[i];
      lost += error[i];
    }
    for (std::size_t i = 0; i < c.size(); ++i) {
      correction[i] = c[i] * (inventory0 / inventory) - c[i];
      error[i] -= c[i] * lost / inventory;
    }
    return BdfCallbackResult::Ok;
  };
  BdfStepper stepper(std::move(system), tolerances(1e-8, 1e-10), 0.0, c0);
  double worstDrift = 0;
  stepTo(stepper, 0.5);
  stepper.restart();  // the projection goes on after a restart
  stepTo(stepper, kAnneal, [&](const BdfStep&) {
    double inventory = 0;
    for (const double c : stepper.state()) inventory += c;
    worstDrift = std::max(worstDrift, std::abs(inventory - inventory0) / inventory0);
  });
  EXPECT_LT(worstDrift, 1e-14);
  EXPECT_LT(maxDifference(stepper.state(), grid.exact(c0, kAnneal)), 1e-6);

  const BdfStatistics statistics = stepper.statistics();
  // Every step that passed the error test was projected (and only those
  // and the few that failed it).
  EXPECT_GE(statistics.projections, statistics.steps);
  EXPECT_LE(statistics.projections, statistics.steps + statistics.errorTestFailures);
  EXPECT_EQ(statistics.restarts, 1);

  // The history is kept: about as many steps as the same diffusion without
  // loss or projection, not the many more of a method held at order 1.
  BdfStepper plain(grid.system(true), tolerances(1e-8, 1e-10), 0.0, c0);
  stepTo(plain, 0.5);
  plain.restart();
  stepTo(plain, kAnneal);
  EXPECT_LT(statistics.steps, 1.2 * plain.statistics().steps) << plain.statistics().steps;
}

// Drift down a chain, dy_i/dt = a (y_{i−1} − y_i), everything starting in
// the first cell: the Jacobian has a diagonal and the one below it only, and
// y_i(t) = e^(−a t) (a t)^i / i! (a Poisson distribution).
TEST(BdfChain, LowerBandOnlyFollowsThePoissonSolution) {
  constexpr std::size_t n = 60;
  constexpr double a = 50.0, end = 0.5;
  for (const bool analytic : {false, true}) {
    BandedSystem system;
    system.size = n;
    system.lowerBandwidth = 1;
    system.upperBandwidth = 0;
    system.rightHandSide = [](double, std::span<const double> y, std::span<double> rate) {
      for (std::size_t i = 0; i < n; ++i) rate[i] = a * ((i > 0 ? y[i - 1] : 0.0) - y[i]);
      return BdfCallbackResult::Ok;
    };
    if (analytic) {
      system.jacobian = [](double, std::span<const double>, std::span<const double>, BandJacobian& j) {
        for (std::size_t i = 0; i < n; ++i) {
          j(i, i) = -a;
          if (i > 0) j(i, i - 1) = a;
        }
        return BdfCallbackResult::Ok;
      };
    }
    std::vector<double> y0(n, 0.0);
    y0[0] = 1;
    BdfStepper stepper(std::move(system), tolerances(1e-8, 1e-12), 0.0, y0);
    stepTo(stepper, end);
    std::vector<double> poisson(n);
    for (std::size_t i = 0; i < n; ++i) poisson[i] = std::exp(-a * end + i * std::log(a * end) - std::lgamma(i + 1.0));
    EXPECT_LT(maxDifference(stepper.state(), poisson), 1e-6) << (analytic ? "analytic" : "differences");
    EXPECT_GT(stepper.statistics().jacobianEvaluations, 0);
  }
}

// dy/dt = −k y with a rate k that the test changes between steps.
struct Decay {
  double k = 2.0;
  int evaluations = 0;
  BandedSystem system() {
    BandedSystem s;
    s.size = 1;
    s.rightHandSide = [this](double, std::span<const double> y, std::span<double> rate) {
      ++evaluations;
      rate[0] = -k * y[0];
      return BdfCallbackResult::Ok;
    };
    return s;
  }
};

TEST(BdfDecay, LandsOnEveryStopTimeExactlyAndNeverStepsPastOne) {
  Decay decay;
  const std::vector<double> y0{1.0};
  BdfSettings settings = tolerances(1e-9, 1e-12);
  settings.firstStep = 1e-4;
  // A stepper made elsewhere and moved keeps working.
  BdfStepper made(decay.system(), settings, 0.0, y0);
  BdfStepper stepper(std::move(made));
  EXPECT_EQ(stepper.size(), 1u);
  for (const double stop : {0.1, 0.25, 1.0 / 3.0, 0.7, 2.0}) {
    int steps = 0;
    stepTo(stepper, stop, [&](const BdfStep& step) {
      ++steps;
      EXPECT_LE(step.time, stop);
      EXPECT_GT(step.stepSize, 0);
      EXPECT_GE(step.order, 1);
      EXPECT_LE(step.order, 5);
      EXPECT_EQ(step.reachedStop, step.time == stop);
    });
    EXPECT_EQ(stepper.time(), stop);  // bit for bit
    EXPECT_GE(steps, 1);
    EXPECT_NEAR(stepper.state()[0], std::exp(-decay.k * stop), 1e-7 * std::exp(-decay.k * stop)) << stop;
  }
  EXPECT_THROW(stepper.step(2.0), std::invalid_argument);
  EXPECT_THROW(stepper.step(1.0), std::invalid_argument);
  EXPECT_EQ(stepper.statistics().restarts, 0);
}

TEST(BdfDecay, RestartsAfterTheRateJumpsAndAfterTheStateIsSet) {
  Decay decay;
  const std::vector<double> y0{1.0};
  BdfStepper stepper(decay.system(), tolerances(1e-9, 1e-12), 0.0, y0);
  stepTo(stepper, 0.5);
  const BdfStatistics before = stepper.statistics();
  EXPECT_GT(before.steps, 0);

  // A temperature step: the rate jumps at t = 0.5. The profile goes on.
  decay.k = 10.0;
  stepper.restart();
  EXPECT_EQ(stepper.time(), 0.5);
  EXPECT_EQ(stepper.statistics().steps, before.steps);
  stepTo(stepper, 1.0);
  const double expected = std::exp(-2.0 * 0.5 - 10.0 * 0.5);
  EXPECT_NEAR(stepper.state()[0], expected, 1e-6 * expected);

  // A state set from outside (a normalisation, a continuation).
  const std::vector<double> rescaled{3.0};
  stepper.restart(1.0, rescaled);
  EXPECT_EQ(stepper.state()[0], 3.0);
  stepTo(stepper, 1.2);
  EXPECT_NEAR(stepper.state()[0], 3.0 * std::exp(-10.0 * 0.2), 1e-6);

  const BdfStatistics after = stepper.statistics();
  EXPECT_EQ(after.restarts, 2);
  EXPECT_GT(after.steps, before.steps);
  EXPECT_GE(after.rightHandSideEvaluations, decay.evaluations);
  EXPECT_GE(after.rightHandSideEvaluations, before.rightHandSideEvaluations);
}

// After a restart the first step is the one the settings give for it: by
// default the run's first step again; 0 lets the integrator estimate it
// from the rates at the restart, which for a smooth decay is far longer than
// a tiny first step, and the solution is as accurate.
TEST(BdfDecay, TheFirstStepAfterARestartIsGivenOrEstimated) {
  for (const bool estimated : {false, true}) {
    SCOPED_TRACE(estimated ? "estimated" : "the first step again");
    Decay decay;
    const std::vector<double> y0{1.0};
    BdfSettings settings = tolerances(1e-6, 1e-10);
    settings.firstStep = 1e-7;
    if (estimated) settings.firstStepAfterRestart = 0;
    BdfStepper stepper(decay.system(), settings, 0.0, y0);
    EXPECT_EQ(stepper.step(1.0).stepSize, 1e-7);
    stepTo(stepper, 0.5);
    stepper.restart();
    const BdfStep first = stepper.step(1.0);
    if (estimated) {
      EXPECT_GT(first.stepSize, 1e-5);
    } else {
      EXPECT_EQ(first.stepSize, 1e-7);
    }
    stepTo(stepper, 1.0);
    EXPECT_NEAR(stepper.state()[0], std::exp(-decay.k), 1e-4 * std::exp(-decay.k));
  }
  BdfSettings negative = tolerances(1e-6, 1e-10);
  negative.firstStepAfterRestart = -1;
  Decay decay;
  EXPECT_THROW(BdfStepper(decay.system(), negative, 0.0, std::vector<double>{1.0}), std::invalid_argument);
}

// Kept Jacobians: a restart into a stretch of a key that has one takes it
// instead of forming a new one; a stretch without a key keeps none; a kept
// Jacobian that no longer fits (the rate jumped under the same key) fails
// Newton's iteration, and the integrator forms a new one and goes on.
// Whichever Jacobian, the solution is the decay's.
TEST(BdfDecay, KeptJacobiansServeRestartsIntoAStretchOfTheSameKey) {
  Decay decay;
  const std::vector<double> y0{1.0};
  BdfSettings settings = tolerances(1e-8, 1e-12);
  settings.keepJacobians = true;
  BdfStepper stepper(decay.system(), settings, 0.0, y0);
  stepper.setJacobianKey(1000.0);
  stepTo(stepper, 0.5);
  const long formed = stepper.statistics().jacobianEvaluations;
  EXPECT_GT(formed, 0);

  stepper.restart();  // the same key: the kept one serves
  stepTo(stepper, 1.0);
  BdfStatistics now = stepper.statistics();
  EXPECT_EQ(now.jacobiansReused, 1);
  EXPECT_NEAR(stepper.state()[0], std::exp(-decay.k), 1e-6 * std::exp(-decay.k));

  stepper.setJacobianKey(std::nullopt);  // a ramp: nothing kept, nothing offered
  stepper.restart();
  stepTo(stepper, 1.5);
  EXPECT_EQ(stepper.statistics().jacobiansReused, 1);
  EXPECT_GT(stepper.statistics().jacobianEvaluations, now.jacobianEvaluations);

  // The rate jumps fiftyfold under the old key: the kept Jacobian is far off.
  decay.k = 100.0;
  stepper.setJacobianKey(1000.0);
  now = stepper.statistics();
  stepper.restart();
  stepTo(stepper, 1.6);
  EXPECT_EQ(stepper.statistics().jacobiansReused, 2);
  EXPECT_GT(stepper.statistics().jacobianEvaluations, now.jacobianEvaluations) << "no new Jacobian after it failed";
  const double expected = std::exp(-2.0 * 1.5 - 100.0 * 0.1);
  EXPECT_NEAR(stepper.state()[0], expected, 1e-5 * expected);
}

// Formed by the stepper itself (keepJacobians) or by the integrator, the
// difference Jacobian of a banded system serves Newton's iteration alike:
// the diffusion couple ends on the same profile with as many steps.
TEST(BdfDiffusion, TheStepperFormsTheDifferenceJacobianAsTheIntegratorDoes) {
  const std::vector<double> c0 = test::stepProfile(kCouple.n, 0.9, 0.1);
  BdfStatistics work[2];
  std::vector<double> ends[2];
  for (int own = 0; own < 2; ++own) {
    BdfSettings settings = tolerances(1e-8, 1e-10);
    settings.keepJacobians = own == 1;
    BdfStepper stepper(kCouple.system(false), settings, 0.0, c0);
    stepTo(stepper, kAnneal);
    work[own] = stepper.statistics();
    ends[own].assign(stepper.state().begin(), stepper.state().end());
  }
  EXPECT_LT(maxDifference(ends[1], ends[0]), 1e-9);
  EXPECT_NEAR(static_cast<double>(work[1].steps), static_cast<double>(work[0].steps), 0.05 * work[0].steps);
  EXPECT_GT(work[1].jacobianEvaluations, 0);
  EXPECT_GT(work[1].rightHandSideEvaluations, work[1].steps) << "the stepper's own evaluations are counted";
}

TEST(BdfDecay, InterpolatesWithinTheLastStep) {
  Decay decay;
  const std::vector<double> y0{1.0};
  BdfStepper stepper(decay.system(), tolerances(1e-10, 1e-13), 0.0, y0);
  stepTo(stepper, 0.3);
  BdfStep step;
  do step = stepper.step(1.0);
  while (step.order < 2);
  const double middle = step.time - step.stepSize / 2;
  std::vector<double> value(1), slope(1);
  stepper.interpolate(middle, 0, value);
  stepper.interpolate(middle, 1, slope);
  EXPECT_NEAR(value[0], std::exp(-decay.k * middle), 1e-7);
  EXPECT_NEAR(slope[0], -decay.k * std::exp(-decay.k * middle), 1e-5);
  EXPECT_THROW(stepper.interpolate(step.time + step.stepSize, 0, value), std::invalid_argument);
  EXPECT_THROW(stepper.interpolate(middle, 7, value), std::invalid_argument);
  std::vector<double> wrongSize(2);
  EXPECT_THROW(stepper.interpolate(middle, 0, wrongSize), std::invalid_argument);
}

struct CallbackFault : std::runtime_error {
  using std::runtime_error::runtime_error;
};

TEST(BdfFailures, AThrowingCallbackReachesTheCallerAndTheStepperStaysUsable) {
  Decay decay;
  BandedSystem system = decay.system();
  bool fail = false;
  const auto rates = system.rightHandSide;
  system.rightHandSide = [&fail, rates](double t, std::span<const double> y, std::span<double> rate) {
    if (fail) throw CallbackFault("the formula cannot be evaluated");
    return rates(t, y, rate);
  };
  const std::vector<double> y0{1.0};
  BdfStepper stepper(std::move(system), tolerances(1e-9, 1e-12), 0.0, y0);
  stepTo(stepper, 0.2);
  stepper.step(1.0);
  const double time = stepper.time();
  const double value = stepper.state()[0];

  fail = true;
  EXPECT_THROW(stepper.step(1.0), CallbackFault);
  EXPECT_EQ(stepper.time(), time);
  // CVODE takes its prediction for the abandoned step back, to rounding.
  EXPECT_NEAR(stepper.state()[0], value, 1e-15);

  fail = false;
  stepTo(stepper, 1.0);
  EXPECT_NEAR(stepper.state()[0], std::exp(-decay.k), 1e-7);
}

TEST(BdfFailures, AJacobianOutsideItsBandIsReportedByTheEntry) {
  test::GridDiffusion grid{20, 1.0};
  BandedSystem system = grid.system(false);
  system.jacobian = [](double, std::span<const double>, std::span<const double>, BandJacobian& j) {
    j(5, 7) = 1.0;  // two above the diagonal of a tridiagonal band
    return BdfCallbackResult::Ok;
  };
  BdfStepper stepper(std::move(system), BdfSettings{}, 0.0, test::stepProfile(20, 1, 0));
  try {
    stepper.step(1.0);
    FAIL() << "expected the entry to be refused";
  } catch (const std::out_of_range& error) {
    EXPECT_NE(std::string(error.what()).find("(5, 7)"), std::string::npos) << error.what();
  }
}

TEST(BdfFailures, ARightHandSideThatKeepsAskingForSmallerStepsEndsInAVanishedStep) {
  // Nothing can be evaluated beyond t = 0.5 (as if a concentration turned
  // negative there whatever the step): the steps shrink towards 0.5 until
  // none is left.
  BandedSystem system;
  system.size = 1;
  system.rightHandSide = [](double t, std::span<const double>, std::span<double> rate) {
    rate[0] = 1.0;
    return t > 0.5 ? BdfCallbackResult::Retry : BdfCallbackResult::Ok;
  };
  const std::vector<double> y0{0.0};
  BdfStepper stepper(std::move(system), tolerances(1e-6, 1e-9), 0.0, y0);
  try {
    stepTo(stepper, 1.0);
    FAIL() << "expected the step to vanish";
  } catch (const BdfError& error) {
    EXPECT_TRUE(error.stepVanished());
    EXPECT_EQ(error.flagName(), "CV_REPTD_RHSFUNC_ERR");
    EXPECT_LT(error.flag(), 0);
    EXPECT_NE(std::string(error.what()).find("CV_REPTD_RHSFUNC_ERR"), std::string::npos);
    EXPECT_LE(stepper.time(), 0.5);
    EXPECT_GT(stepper.time(), 0.499);
    EXPECT_EQ(error.time(), stepper.time());
    EXPECT_NEAR(stepper.state()[0], stepper.time(), 1e-6);
  }

  // A right-hand side that cannot be evaluated at the start at all.
  BandedSystem never;
  never.size = 1;
  never.rightHandSide = [](double, std::span<const double>, std::span<double>) { return BdfCallbackResult::Retry; };
  BdfStepper blocked(std::move(never), BdfSettings{}, 0.0, y0);
  try {
    blocked.step(1.0);
    FAIL() << "expected a failure at the start";
  } catch (const BdfError& error) {
    EXPECT_EQ(error.flagName(), "CV_FIRST_RHSFUNC_ERR");
    EXPECT_FALSE(error.stepVanished());
  }
}

TEST(BdfRefusals, SystemsAndSettingsItCannotWorkWith) {
  const test::GridDiffusion grid{10, 1.0};
  const std::vector<double> y0(10, 1.0);
  struct Case {
    std::string name;
    std::function<void(BandedSystem&, BdfSettings&)> spoil;
    std::string named;  // a word the message must hold
  };
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  constexpr double inf = std::numeric_limits<double>::infinity();
  const std::vector<Case> cases{
      {"no unknowns", [](BandedSystem& s, BdfSettings&) { s.size = 0; }, "no unknowns"},
      {"lower band as wide as the system", [](BandedSystem& s, BdfSettings&) { s.lowerBandwidth = 10; }, "lower"},
      {"upper band wider than the system", [](BandedSystem& s, BdfSettings&) { s.upperBandwidth = 11; }, "upper"},
      {"a band of −1 taken as unsigned", [](BandedSystem& s, BdfSettings&) { s.upperBandwidth = std::size_t(-1); },
       "upper"},
      {"no right-hand side", [](BandedSystem& s, BdfSettings&) { s.rightHandSide = nullptr; }, "right-hand side"},
      {"relative tolerance 0", [](BandedSystem&, BdfSettings& b) { b.relativeTolerance = 0; }, "relative"},
      {"negative relative tolerance", [](BandedSystem&, BdfSettings& b) { b.relativeTolerance = -1e-6; }, "relative"},
      {"relative tolerance NaN", [](BandedSystem&, BdfSettings& b) { b.relativeTolerance = nan; }, "relative"},
      {"absolute tolerance 0", [](BandedSystem&, BdfSettings& b) { b.absoluteTolerance = 0; }, "absolute"},
      {"absolute tolerance infinite", [](BandedSystem&, BdfSettings& b) { b.absoluteTolerance = inf; }, "absolute"},
      {"a tolerance per unknown, too few", [](BandedSystem&, BdfSettings& b) { b.absoluteTolerances.assign(9, 1e-8); },
       "absolute"},
      {"a tolerance per unknown, one of them 0",
       [](BandedSystem&, BdfSettings& b) {
         b.absoluteTolerances.assign(10, 1e-8);
         b.absoluteTolerances[4] = 0;
       },
       "unknown 4"},
      {"negative first step", [](BandedSystem&, BdfSettings& b) { b.firstStep = -1; }, "first step"},
      {"first step NaN", [](BandedSystem&, BdfSettings& b) { b.firstStep = nan; }, "first step"},
      {"largest step 0", [](BandedSystem&, BdfSettings& b) { b.largestStep = 0; }, "largest step"},
      {"order 0", [](BandedSystem&, BdfSettings& b) { b.maxOrder = 0; }, "order"},
      {"order 6", [](BandedSystem&, BdfSettings& b) { b.maxOrder = 6; }, "order"},
  };
  for (const Case& c : cases) {
    BandedSystem system = grid.system(false);
    BdfSettings settings;
    c.spoil(system, settings);
    try {
      BdfStepper stepper(std::move(system), settings, 0.0, y0);
      ADD_FAILURE() << c.name << " was accepted";
    } catch (const std::invalid_argument& error) {
      EXPECT_NE(std::string(error.what()).find(c.named), std::string::npos) << c.name << ": " << error.what();
    }
  }

  // The initial state.
  EXPECT_THROW(BdfStepper(grid.system(false), BdfSettings{}, 0.0, std::vector<double>(9, 1.0)), std::invalid_argument);
  std::vector<double> withNan = y0;
  withNan[3] = nan;
  EXPECT_THROW(BdfStepper(grid.system(false), BdfSettings{}, 0.0, withNan), std::invalid_argument);
  EXPECT_THROW(BdfStepper(grid.system(false), BdfSettings{}, inf, y0), std::invalid_argument);

  // A valid one, and what it refuses later.
  BdfStepper stepper(grid.system(false), BdfSettings{}, 0.0, y0);
  EXPECT_THROW(stepper.step(0.0), std::invalid_argument);
  EXPECT_THROW(stepper.step(nan), std::invalid_argument);
  EXPECT_THROW(stepper.restart(0.0, withNan), std::invalid_argument);
  EXPECT_THROW(stepper.restart(0.0, std::vector<double>(11, 1.0)), std::invalid_argument);
}

}  // namespace
}  // namespace torvex
