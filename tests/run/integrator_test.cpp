// The time loop on models built in memory, with a host that supplies the
// rates, so that step control, rejection, clipping and the clock can be
// checked pass by pass without the physics.

#include <cmath>
#include <functional>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "run/integrator.h"
#include "support/solver_model.h"

namespace torvex {
namespace {

// Rates from a function of (model, evaluation number); records what the loop
// hands over.
class ScriptedHost : public RunHost {
 public:
  explicit ScriptedHost(Simulation& m) : m_(m) {}

  std::function<double(int evaluation, int i, int k)> rate = [](int, int, int) { return 0.0; };
  std::function<void(int evaluation)> onEvaluate = [](int) {};
  int evaluations = 0, refreshes = 0, initRecords = 0, endOfRuns = 0, afterPasses = 0;
  std::vector<double> refreshTimes, stepsAfterPass;

  void InitRecords() override { ++initRecords; }
  void EvaluateDerivative() override {
    onEvaluate(evaluations);
    for (int i = 0; i < m_.input.componentCount; ++i)
      for (int k = 0; k < m_.input.pointCount; ++k) m_.state.concentrationRate[i][k] = rate(evaluations, i, k);
    ++evaluations;
  }
  void Refresh() override {
    ++refreshes;
    refreshTimes.push_back(m_.state.currentTime);
  }
  void EndOfRun(const RunSummary&) override {
    ++endOfRuns;
    m_.state.stopRequested = 1;
  }
  void afterPass(int) override {
    ++afterPasses;
    stepsAfterPass.push_back(m_.state.timeStep);
  }

 private:
  Simulation& m_;
};

// One pass of the Runge-Kutta loop, with stage storage of its own; the
// error estimate of the pass into `error` when given.
bool RunPass(Simulation& m, RunHost& host, Table2<double>* error = nullptr) {
  RungeKuttaIntegrator integrator(m.input, m.state);
  const bool accepted = integrator.pass(host);
  if (error != nullptr) *error = integrator.errorEstimate();
  return accepted;
}

class IntegratorTest : public ::testing::Test {
 protected:
  IntegratorTest() { configure(2); }

  void configure(int r) {
    test::buildModel(m_, r, test::uniformGrid(5, 1e-3));
    test::setProfile(m_, [r](int i, double) { return i == 0 ? 0.4 : 0.6 / (r - 1); });
    m_.input.startTime = 0;
    m_.input.endTime = 1e6;
    m_.input.timeStep = 1;
    m_.state.timeStep = 1;
    m_.input.maxTimeStep = 10;
    m_.input.timeStepChangeInterval = 25;
    m_.input.timeStepMultiplier = 2;
    m_.input.concentrationError = 1e-4;
    m_.input.refreshInterval = 1;
    m_.input.saveInterval = 1;
  }

  Simulation m_;
};

// dc_i/dt = -lambda_i c_i: one pass must reproduce exp(-lambda_i dt) to
// fifth order (local error ~ (lambda dt)^6), and the error estimate must be
// of fifth order too. A wrong coefficient drops the order and shows here.
TEST_F(IntegratorTest, OnePassIsFifthOrderAccurateOnExponentialDecay) {
  const double lambda[2] = {1.0, 3.0};  // 1/s
  const auto passError = [&](double dt) {
    configure(2);
    ScriptedHost host(m_);
    host.rate = [&](int, int i, int k) { return -lambda[i] * m_.state.concentration[i][k]; };
    m_.state.timeStep = dt;
    m_.input.concentrationError = 1;
    std::vector<double> start(2);
    host.onEvaluate = [&](int evaluation) {
      if (evaluation == 0)
        for (int i = 0; i < 2; ++i) start[i] = m_.state.concentration[i][0];
    };
    Table2<double> error;
    EXPECT_TRUE(RunPass(m_, host, &error));
    double worst = 0;
    for (int i = 0; i < 2; ++i)
      worst = std::fmax(worst, std::fabs(m_.state.concentration[i][0] / (start[i] * std::exp(-lambda[i] * dt)) - 1));
    return std::pair(worst, std::fabs(error[1][0] / start[1]));
  };
  const auto [coarse, coarseEstimate] = passError(0.1);
  const auto [fine, fineEstimate] = passError(0.05);
  EXPECT_LT(coarse, 2e-6);
  EXPECT_GT(coarse / fine, 40.0) << "local error of order 6 falls 64-fold when the step halves";
  EXPECT_GT(coarseEstimate / fineEstimate, 20.0) << "the estimate is of order 5: 32-fold";
}

TEST_F(IntegratorTest, StepDoublesEveryIntervalUpToExactlyTheLargestStep) {
  ScriptedHost host(m_);
  m_.input.timeStepChangeInterval = 25;
  m_.state.timeStep = 1;
  m_.input.maxTimeStep = 10;
  host.onEvaluate = [&](int) {
    if (m_.state.stepCount >= 100) m_.state.stopRequested = 1;
  };
  const RunSummary summary = Execute(m_, host);
  ASSERT_EQ(summary.end, RunEnd::Stopped);
  ASSERT_EQ(host.stepsAfterPass.size(), 101u);
  // The increase follows the accepted passes whose count was 0, 25, 50, 75:
  // 2, 4, 8, then 16 would pass 10, so exactly 10, and it stays there.
  EXPECT_EQ(host.stepsAfterPass[0], 2);
  EXPECT_EQ(host.stepsAfterPass[24], 2);
  EXPECT_EQ(host.stepsAfterPass[25], 4);
  EXPECT_EQ(host.stepsAfterPass[50], 8);
  EXPECT_EQ(host.stepsAfterPass[75], 10);
  EXPECT_EQ(host.stepsAfterPass[100], 10);
  EXPECT_EQ(m_.state.largestTimeStep, 10);
  // The clock advanced by the step each pass integrated.
  EXPECT_EQ(host.refreshTimes[0], 1);
  EXPECT_EQ(host.refreshTimes[1], 3);
  EXPECT_EQ(host.refreshTimes[25], 1 + 2 * 25);
  EXPECT_EQ(host.refreshTimes[26], 1 + 2 * 25 + 4);
}

TEST_F(IntegratorTest, NoIncreaseWhenTheNextIntervalWouldReachTheEnd) {
  ScriptedHost host(m_);
  m_.input.endTime = 25 * 2 + 1;  // 25 passes of 2 s would carry the clock from 1 to the end
  Execute(m_, host);
  EXPECT_EQ(host.stepsAfterPass[0], 1) << "25 * 1 * 2 + 1 reaches the end time";
}

TEST_F(IntegratorTest, LastStepIsClippedSoTheRunEndsExactlyAtTheEndTime) {
  ScriptedHost host(m_);
  m_.input.endTime = 10.3;
  m_.input.timeStepChangeInterval = 1000;
  const RunSummary summary = Execute(m_, host);
  EXPECT_EQ(summary.end, RunEnd::Completed);
  EXPECT_EQ(summary.acceptedPasses, 11);
  EXPECT_EQ(m_.state.currentTime, 10.3);
  EXPECT_EQ(host.refreshTimes.back(), 10.3);
  EXPECT_EQ(m_.state.timeStep, 0);
  EXPECT_EQ(host.initRecords, 1);
  EXPECT_EQ(host.endOfRuns, 1);
  EXPECT_EQ(host.afterPasses, 11);
}

TEST_F(IntegratorTest, ZeroTimeStepRunsNoPassButOpensAndClosesTheRun) {
  ScriptedHost host(m_);
  m_.state.timeStep = 0;
  const RunSummary summary = Execute(m_, host);
  EXPECT_EQ(summary.end, RunEnd::NoPass);
  EXPECT_EQ(host.initRecords, 1);
  EXPECT_EQ(host.endOfRuns, 1);
  EXPECT_EQ(host.evaluations, 0);
}

// Accepted passes whose step no longer moves the clock (t + dt == t) would
// go on for ever, each one recorded; the run ends there instead, as a step
// that vanished, at the time the clock stands at.
TEST_F(IntegratorTest, AStepThatCannotMoveTheClockEndsTheRun) {
  ScriptedHost host(m_);
  m_.input.startTime = 1e6;
  m_.input.endTime = 2e6;
  m_.state.timeStep = 1;
  host.onEvaluate = [&](int evaluation) {
    if (evaluation == 6) {  // during the second pass: from now on 1e-12 s, below the clock's 1.2e-10 s
      m_.state.timeStep = 1e-12;
      m_.input.maxTimeStep = 1e-12;
    }
    if (m_.state.stepCount >= 10000) m_.state.stopRequested = 1;  // the bound the old loop needed
  };
  const RunSummary summary = Execute(m_, host);
  EXPECT_EQ(summary.end, RunEnd::StepVanished);
  EXPECT_EQ(summary.acceptedPasses, 2);
  EXPECT_EQ(m_.state.currentTime, 1e6 + 1 + 2);  // the step doubled after the first pass
  EXPECT_EQ(host.endOfRuns, 1);
}

TEST_F(IntegratorTest, RejectedPassRestoresTheProfileAndDividesTheStep) {
  ScriptedHost host(m_);
  // Different rates per stage: an error estimate of order dt * 1e3.
  host.rate = [](int evaluation, int, int k) { return (evaluation % 6) * 1e3 * (k + 1); };
  std::vector<double> stageOneInput;
  host.onEvaluate = [&](int evaluation) {
    if (evaluation == 0)
      stageOneInput.assign(m_.state.concentration[0], m_.state.concentration[0] + m_.input.pointCount);
  };
  m_.state.timeStep = 0.5;
  m_.state.currentTime = 7;
  m_.state.stepCount = 3;
  EXPECT_FALSE(RunPass(m_, host));
  EXPECT_EQ(m_.state.timeStep, 0.25);
  EXPECT_EQ(m_.state.currentTime, 7);
  EXPECT_EQ(m_.state.stepCount, 4);
  EXPECT_EQ(host.refreshes, 0);
  EXPECT_EQ(host.evaluations, 6);
  for (int k = 0; k < m_.input.pointCount; ++k) EXPECT_EQ(m_.state.concentration[0][k], stageOneInput[k]);
}

// A NaN in the error estimate is not "within the tolerance": the pass is
// rejected exactly as one whose error is too large.
TEST_F(IntegratorTest, PassWithANaNErrorEstimateIsRejected) {
  ScriptedHost host(m_);
  host.rate = [](int evaluation, int, int k) { return evaluation == 1 && k == 2 ? std::nan("") : 0.0; };
  std::vector<double> before;
  host.onEvaluate = [&](int evaluation) {
    if (evaluation == 0) before.assign(m_.state.concentration[1], m_.state.concentration[1] + m_.input.pointCount);
  };
  m_.state.timeStep = 0.5;
  EXPECT_FALSE(RunPass(m_, host));
  EXPECT_EQ(m_.state.timeStep, 0.25);
  EXPECT_EQ(host.refreshes, 0);
  for (int k = 0; k < m_.input.pointCount; ++k) EXPECT_EQ(m_.state.concentration[1][k], before[k]);
}

// A first step far too long (its later stages overflow to NaN) is divided
// until the stages stay finite; the run then ends normally.
TEST_F(IntegratorTest, HugeFirstStepIsDividedUntilItsPassesAreAccepted) {
  ScriptedHost host(m_);
  host.rate = [&](int evaluation, int, int) {
    return evaluation % 6 != 0 && m_.state.timeStep > 1 ? std::nan("") : 0.0;
  };
  m_.state.timeStep = 1e30;
  m_.input.endTime = 100;
  m_.input.timeStepChangeInterval = 1000;
  const RunSummary summary = Execute(m_, host);
  EXPECT_EQ(summary.end, RunEnd::Completed);
  EXPECT_EQ(summary.rejectedPasses, 7) << "100 s halved seven times is 0.78 s";
  EXPECT_EQ(m_.state.currentTime, 100);
  for (int i = 0; i < 2; ++i)
    for (int k = 0; k < m_.input.pointCount; ++k) EXPECT_TRUE(std::isfinite(m_.state.concentration[i][k]));
}

// Rates that no step can satisfy (here NaN beyond the first stage, at the
// start time where t + dt moves the clock for any dt above 0) used to halve
// the step about a thousand times, down to the smallest subnormal number; the
// run ends as soon as the step falls below 1e-15 of the run's length.
TEST_F(IntegratorTest, AStepCutFarBelowTheRunsScaleEndsTheRun) {
  ScriptedHost host(m_);
  host.rate = [&](int evaluation, int, int) { return evaluation % 6 != 0 ? std::nan("") : 0.0; };
  const RunSummary summary = Execute(m_, host);
  EXPECT_EQ(summary.end, RunEnd::StepVanished);
  EXPECT_EQ(summary.acceptedPasses, 0);
  EXPECT_EQ(summary.rejectedPasses, 30) << "1 s halved 30 times is the first step below 1e-15 of 1e6 s";
  EXPECT_EQ(m_.state.currentTime, 0);
}

// The first stage is the profile at the start of the pass and its rates at
// that clock: a non-finite value there is the same for every step, so the
// run stops at that pass with the place, instead of dividing the step to 0.
TEST_F(IntegratorTest, NonFiniteRatesAtThePassStartStopTheRunAtThatPass) {
  ScriptedHost host(m_);
  // Finite until the clock reaches 5 s, then an infinite rate at one point.
  host.rate = [&](int, int i, int k) { return m_.state.currentTime >= 5 && i == 1 && k == 3 ? -HUGE_VAL : 0.0; };
  m_.input.endTime = 10;  // no step increase: every pass is 1 s
  std::vector<double> lastAccepted;
  host.onEvaluate = [&](int evaluation) {
    if (evaluation % 6 == 0)
      lastAccepted.assign(m_.state.concentration[1], m_.state.concentration[1] + m_.input.pointCount);
  };
  const RunSummary summary = Execute(m_, host);
  EXPECT_EQ(summary.end, RunEnd::NonFinite);
  EXPECT_EQ(summary.acceptedPasses, 5);
  EXPECT_EQ(summary.rejectedPasses, 0);
  EXPECT_FALSE(summary.failure);
  const NonFiniteValue& v = summary.nonFinite;
  EXPECT_TRUE(v.seen && v.inRates);
  EXPECT_EQ(v.component, 1);
  EXPECT_EQ(v.point, 3);
  EXPECT_EQ(v.value, -HUGE_VAL);
  EXPECT_EQ(v.pass, 6);
  EXPECT_EQ(v.time, 5);
  EXPECT_EQ(host.endOfRuns, 1);
  EXPECT_EQ(host.afterPasses, 5);
  EXPECT_EQ(m_.state.currentTime, 5);
  for (int k = 0; k < m_.input.pointCount; ++k) EXPECT_EQ(m_.state.concentration[1][k], lastAccepted[k]);
  EXPECT_EQ(describeNonFinite(v, m_.state.position),
            "the rates of change dc/dt of the profile turned non-finite: an infinite value first appeared in "
            "component 2 at grid point 3 (x = 0.00075 cm) at the start of pass 6, t = 5 s; no smaller step can "
            "mend it, so the run ended there");
}

TEST_F(IntegratorTest, NonFiniteProfileStopsTheRunAtItsFirstPass) {
  ScriptedHost host(m_);
  m_.state.concentration[0][4] = std::nan("");
  const RunSummary summary = Execute(m_, host);
  EXPECT_EQ(summary.end, RunEnd::NonFinite);
  EXPECT_EQ(summary.acceptedPasses + summary.rejectedPasses, 0);
  EXPECT_FALSE(summary.nonFinite.inRates);
  EXPECT_EQ(summary.nonFinite.pass, 1);
  // Normalisation spreads a NaN concentration to every component there.
  EXPECT_EQ(summary.nonFinite.component, 0);
  EXPECT_EQ(summary.nonFinite.point, 4);
  EXPECT_EQ(host.evaluations, 1);
}

TEST_F(IntegratorTest, ClosedSampleRaisesAMolarRatioBelowTheFloor) {
  configure(3);
  const double low = 0.0004;
  test::setProfile(m_, [low](int i, double) { return i == 0 ? low : (1 - low) / 2; });
  const double total = m_.state.totalConcentration[2];
  const double c0 = m_.state.concentration[0][2];
  const double c1 = m_.state.concentration[1][2];
  ScriptedHost host(m_);
  std::vector<double> stageOne(3);
  host.onEvaluate = [&](int evaluation) {
    if (evaluation == 0)
      for (int i = 0; i < 3; ++i) stageOne[i] = m_.state.concentration[i][2];
  };
  RunPass(m_, host);
  EXPECT_NEAR(stageOne[0], 0.001 * total, 1e-15);
  EXPECT_NEAR(stageOne[1], c1 + (0.001 * total - c0) / 2, 1e-15);  // the others gain as much, shared
  EXPECT_NEAR(stageOne[2], stageOne[1], 1e-15);
}

TEST_F(IntegratorTest, OxidationRejectsASurfaceDepletionOrANegativeRateConstant) {
  m_.input.boundaryFlux = BoundaryFlux::SelectiveOxidation;
  m_.input.minimalMolarFraction = 1e-6;
  m_.state.oxide.thickness = 1e-4;
  const int last = m_.input.pointCount - 1;
  ScriptedHost host(m_);
  // Component 1 falls at the surface by about 0.0002 in molar ratio over the
  // pass, component 2 rises by as much: no error estimate, only depletion.
  const double shift = 0.0002 * m_.state.totalConcentration[last];
  host.rate = [&](int, int i, int k) { return k == last ? (i == 0 ? -shift : shift) : 0.0; };
  host.onEvaluate = [&](int) { m_.state.oxide.parabolicRateConstant = 1e-12; };
  EXPECT_FALSE(RunPass(m_, host));

  ScriptedHost calm(m_);
  calm.onEvaluate = [&](int) { m_.state.oxide.parabolicRateConstant = 2e-12; };
  const double thickness = m_.state.oxide.thickness;
  const double dt = m_.state.timeStep;
  EXPECT_TRUE(RunPass(m_, calm));
  EXPECT_EQ(m_.state.oxide.thickness, thickness + (2e-12 / thickness) * dt);

  ScriptedHost negative(m_);
  negative.onEvaluate = [&](int) { m_.state.oxide.parabolicRateConstant = -1e-12; };
  EXPECT_FALSE(RunPass(m_, negative));
}

TEST_F(IntegratorTest, FailureInAHandOverEndsTheRunThroughEndOfRun) {
  ScriptedHost host(m_);
  host.onEvaluate = [](int evaluation) {
    if (evaluation == 14) throw std::runtime_error("formula failed");
  };
  const RunSummary summary = Execute(m_, host);
  EXPECT_EQ(summary.end, RunEnd::Failed);
  ASSERT_TRUE(summary.failure);
  EXPECT_THROW(std::rethrow_exception(summary.failure), std::runtime_error);
  EXPECT_EQ(host.endOfRuns, 1);
  EXPECT_EQ(host.refreshes, 2);
}

TEST_F(IntegratorTest, SettingsTheLoopCannotWorkWithAreRefused) {
  m_.input.dataFileName = "case.dat";
  ScriptedHost host(m_);
  const auto refusal = [&](auto change) {
    configure(2);
    m_.input.dataFileName = "case.dat";
    change();
    try {
      Execute(m_, host);
    } catch (const std::exception& error) {
      return std::string(error.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(refusal([&] { m_.input.timeStepMultiplier = 1; }),
            "case.dat, key D7: the time step multiplier 1 must be greater than 1 (a rejected step is divided by it)");
  EXPECT_EQ(refusal([&] { m_.input.saveInterval = 0; }),
            "case.dat, key D17: the numbers of passes between refreshes and between saves (1, 0) must be at least 1");
  EXPECT_EQ(refusal([&] { m_.input.timeStepChangeInterval = 0; }).substr(0, 19), "case.dat, key D6: t");
  EXPECT_EQ(refusal([&] { m_.input.timeStep = -1; }).substr(0, 19), "case.dat, key D3: t");
  EXPECT_EQ(refusal([&] { m_.input.maxTimeStep = 0; }).substr(0, 19), "case.dat, key D5: t");
  EXPECT_EQ(host.initRecords, 0) << "refused before the run opens";
}

}  // namespace
}  // namespace torvex
