// Runs under a temperature schedule and with output times: the profile
// follows the time-integrated diffusivity, passes land on the corners of the
// schedule and on the output times, the results are written there, and a
// formula in T is evaluated anew after a change of temperature.

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/heat_treatment.h"
#include "model/number_format.h"
#include "model/thermal_cycles.h"
#include "run/refresh.h"
#include "solver/evaluate_derivative.h"
#include "support/case_file.h"
#include "support/load_fixture.h"
#include "support/test_files.h"

namespace torvex {
namespace {

using test::CaseFile;

constexpr double kD0 = 5e-4;    // cm^2/s
constexpr double kQ = 150000;   // J/mol
constexpr double kGas = 8.314;  // J/(mol K), as the formula writes it
constexpr const char* kArrhenius = "5e-4*exp(-150000/(8.314*T))";

double arrhenius(double T) {
  return kD0 * std::exp(-kQ / (kGas * T));
}

// The direct host, noting the clock of every accepted pass and the time
// at_out.dat carries after every pass that landed on an output time.
class WatchingHost : public DirectRunHost {
 public:
  using DirectRunHost::DirectRunHost;
  void Refresh() override {
    const bool output = sim_.state.atOutputTime;
    DirectRunHost::Refresh();
    passTimes.push_back(sim_.state.currentTime);
    if (output) {
      const std::string atomic = test::readBytes("results/at_out.dat");
      const auto at = atomic.find("Current time:");
      savedTimes.push_back(atomic.substr(at + 20, atomic.find('\r', at) - at - 20));
    }
  }
  std::vector<double> passTimes;
  std::vector<std::string> savedTimes;  // as printed
};

class HeatTreatmentRun : public test::LoadFixture {
 protected:
  // The equal-diffusivity couple of the isothermal error-function test, with
  // diffusivity formula `formula` for both components.
  void loadCouple(const std::string& formula, const std::string& endTime) {
    test::writeLines("couple.dfv", {"###Torvex_v2.3###", "# component 1", formula, "# component 2", formula, "#end"});
    CaseFile file;
    file.value("D1") = "0   " + endTime;
    file.value("D2") = "400";
    file.value("D3") = "0.01";
    file.value("D4") = "1e-7";
    file.value("D5") = "30";
    file.value("D9") = "0 couple.dfv";
    file.value("D11") = "7 7";
    file.value("D17") = "100000   100000";
    file.profile = {"0 45 0 0 0", "0.02 55 0 0 0"};
    loadCase(file);
  }

  RunSummary run(Simulation& m, WatchingHost& host) {
    const RunSummary summary = Execute(m, host);
    if (summary.failure) std::rethrow_exception(summary.failure);
    return summary;
  }

  // Largest |N1 - erfc solution| for the time-integrated diffusivity tau
  // (cm^2); the even and odd points follow solutions centred at their own
  // initial steps (see the isothermal couple test).
  double misfit(double tau) const {
    const int n = model_.input.pointCount;
    double worst = 0;
    for (int k = 0; k < n; ++k) {
      const double x0 = model_.state.position[k % 2 == 0 ? n / 2 - 1 : n / 2];
      const double expected = 0.45 + 0.05 * std::erfc(-(model_.state.position[k] - x0) / (2 * std::sqrt(tau)));
      const double N1 =
          model_.state.concentration[0][k] / (model_.state.concentration[0][k] + model_.state.concentration[1][k]);
      worst = std::fmax(worst, std::fabs(N1 - expected));
    }
    return worst;
  }

  void schedule(const std::string& text) {
    model_.input.heatTreatment.schedule =
        std::make_shared<const TemperatureSchedule>(parseSchedule(text, "schedule.csv"));
  }
};

// With D = D0 exp(-Q / (R T(t))) the diffusion equation in the time
// tau = integral of D dt is the isothermal one, so the couple ends on the
// error-function profile of tau, here ramped from 1073 K to 1273 K in 3600 s
// and held for 3600 s. tau by Simpson's rule over the ramp.
TEST_F(HeatTreatmentRun, ArrheniusRampFollowsTheTimeIntegratedDiffusivity) {
  loadCouple(kArrhenius, "7200");
  schedule("time_s,T_K\n0,1073\n3600,1273\n7200,1273\n");
  WatchingHost host(model_);
  const RunSummary summary = run(model_, host);
  ASSERT_EQ(summary.end, RunEnd::Completed);
  ASSERT_EQ(model_.state.currentTime, 7200);
  EXPECT_EQ(model_.state.temperature, 1273);

  const int intervals = 20000;
  const double h = 3600.0 / intervals;
  double sum = arrhenius(1073) + arrhenius(1273);
  for (int j = 1; j < intervals; ++j) sum += (j % 2 == 1 ? 4 : 2) * arrhenius(1073 + 200 * (j * h) / 3600);
  const double tau = sum * h / 3 + arrhenius(1273) * 3600;

  EXPECT_LT(misfit(tau), 1e-4);
  // The isothermal runs at either end of the ramp miss it by far.
  EXPECT_LT(2 * misfit(tau), misfit(arrhenius(1273) * 7200));
  EXPECT_LT(2 * misfit(tau), misfit(tau * 0.98)) << "the ramp was not followed";
  EXPECT_LT(2 * misfit(tau), misfit(tau * 1.02)) << "the ramp was not followed";
  // A pass lands on the corner at the end of the ramp.
  EXPECT_NE(std::find(host.passTimes.begin(), host.passTimes.end(), 3600.0), host.passTimes.end());
}

// Thermal cycles drive a run through the same three questions as a schedule:
// three cycles of a 100 s ramp up, 600 s at 1273 K, a 200 s ramp down and
// 300 s at 300 K (where D is 1e-30 of its hot value) end on the
// error-function profile of tau = 3 (600 D(1273) + the two ramps'
// integrals), and a pass lands on every corner, the cool-downs among them.
TEST_F(HeatTreatmentRun, ThermalCyclesFollowTheTimeIntegratedDiffusivity) {
  loadCouple(kArrhenius, "3600");
  const ThermalCycles cycles = parseCycles("3:600@1273,300@300,ramp=100/200", "--cycles");
  model_.input.heatTreatment.schedule = std::make_shared<const TemperatureSchedule>(
      TemperatureSchedule::withCycles(nullptr, cycles, model_.input.startTime));
  WatchingHost host(model_);
  ASSERT_EQ(run(model_, host).end, RunEnd::Completed);

  // The integral of D over a linear ramp from T0 to T1 lasting `seconds`.
  const auto ramp = [](double T0, double T1, double seconds) {
    const int intervals = 20000;
    const double h = seconds / intervals;
    double sum = arrhenius(T0) + arrhenius(T1);
    for (int j = 1; j < intervals; ++j) sum += (j % 2 == 1 ? 4 : 2) * arrhenius(T0 + (T1 - T0) * j / intervals);
    return sum * h / 3;
  };
  const double tau = 3 * (600 * arrhenius(1273) + ramp(300, 1273, 100) + ramp(1273, 300, 200));
  EXPECT_LT(misfit(tau), 1e-4);
  EXPECT_LT(2 * misfit(tau), misfit(tau * 0.98)) << "the cycles were not followed";
  EXPECT_LT(2 * misfit(tau), misfit(tau * 1.02)) << "the cycles were not followed";

  for (double t = cycles.nextCorner(0); t < 3600; t = cycles.nextCorner(t)) {
    EXPECT_NE(std::find(host.passTimes.begin(), host.passTimes.end(), t), host.passTimes.end()) << "corner " << t;
  }
  const auto cooled = std::count_if(host.passTimes.begin(), host.passTimes.end(),
                                    [&](double t) { return cycles.cycleCooledDownAt(t) >= 0; });
  EXPECT_EQ(cooled, 3);
}

// The results are written at exactly the output times, and the clipping that
// lands there changes the steps, not the profile: the end agrees with a run
// without output times to within the step tolerance, in about as many passes.
TEST_F(HeatTreatmentRun, OutputTimesLandExactlyAndLeaveTheProfile) {
  const std::string constantD = formatGeneral(3.7194252254980954e-10);
  loadCouple(constantD, "3600");
  WatchingHost plainHost(model_);
  const RunSummary plain = run(model_, plainHost);
  ASSERT_EQ(plain.end, RunEnd::Completed);
  const int n = model_.input.pointCount;
  std::vector<double> plainN1;
  for (int k = 0; k < n; ++k)
    plainN1.push_back(model_.state.concentration[0][k] /
                      (model_.state.concentration[0][k] + model_.state.concentration[1][k]));
  EXPECT_TRUE(plainHost.savedTimes.empty());

  loadCouple(constantD, "3600");
  model_.input.heatTreatment.outputTimes = {0.5, 333.3, 1000, 2345.678, 3600};
  WatchingHost host(model_);
  const RunSummary timed = run(model_, host);
  ASSERT_EQ(timed.end, RunEnd::Completed);
  EXPECT_EQ(host.savedTimes, (std::vector<std::string>{"0.5", "333.3", "1000", "2345.678"}))
      << "the end time is saved by the end of the run";
  for (double t : model_.input.heatTreatment.outputTimes)
    EXPECT_NE(std::find(host.passTimes.begin(), host.passTimes.end(), t), host.passTimes.end()) << t;
  double worst = 0;
  for (int k = 0; k < n; ++k)
    worst = std::fmax(worst, std::fabs(model_.state.concentration[0][k] /
                                           (model_.state.concentration[0][k] + model_.state.concentration[1][k]) -
                                       plainN1[static_cast<std::size_t>(k)]));
  EXPECT_LT(worst, 1e-6);
  // After a landing the step control goes on from its own step, so a few
  // output times cost a few passes, not a slow regrowth of a clipped step.
  EXPECT_LE(timed.acceptedPasses, plain.acceptedPasses + 2 * 4);
}

// A step down from 1273 K to 1073 K halfway: a diffusivity formula in T is
// evaluated anew after the step (never served as a constant), so the
// diffusivities written at the step show the hot value and those at the end
// the cold one.
TEST_F(HeatTreatmentRun, StepDownReevaluatesTheFormulaInT) {
  loadCouple(kArrhenius, "3600");
  schedule("time_s,T_K\n0,1273\n1800,1273\n1800,1073\n");
  model_.input.heatTreatment.outputTimes = {1800};
  const auto diffusivities = [] {
    TextList lines;
    lines.loadFromFile("results/diffusivities.dat");
    std::vector<double> values;
    // The inner grid points (the ends have no mobility of their own): the
    // position, then D_1 and D_2, separated by blanks.
    for (std::size_t k = 3; k + 1 < lines.count(); ++k) {
      std::string line = trimmed(lines[k]);
      for (int field = 0; field < 3; ++field) {
        const auto blank = line.find(' ');
        const std::optional<double> value = parseReal(line.substr(0, blank));
        EXPECT_TRUE(value.has_value()) << lines[k];
        if (field > 0 && value) values.push_back(*value);
        line = blank == std::string::npos ? std::string() : trimmed(line.substr(blank));
      }
    }
    return values;
  };
  std::vector<double> atStep;
  struct StepHost : WatchingHost {
    using WatchingHost::WatchingHost;
    std::function<void()> onOutput;
    void Refresh() override {
      const bool output = sim_.state.atOutputTime;
      WatchingHost::Refresh();
      if (output) onOutput();
    }
  } host(model_);
  host.onOutput = [&] { atStep = diffusivities(); };
  const RunSummary summary = run(model_, host);
  ASSERT_EQ(summary.end, RunEnd::Completed);
  ASSERT_EQ(host.savedTimes, (std::vector<std::string>{"1800"}));
  ASSERT_FALSE(atStep.empty());
  for (double D : atStep) EXPECT_NEAR(D, arrhenius(1273), 1e-12 * arrhenius(1273));
  const std::vector<double> atEnd = diffusivities();
  ASSERT_EQ(atEnd.size(), atStep.size());
  for (double D : atEnd) EXPECT_NEAR(D, arrhenius(1073), 1e-12 * arrhenius(1073));
  EXPECT_EQ(model_.state.temperature, 1073);
  // And the profile follows the two halves' diffusivities.
  const double tau = (arrhenius(1273) + arrhenius(1073)) * 1800;
  EXPECT_LT(misfit(tau), 1e-4);
  EXPECT_LT(2 * misfit(tau), misfit(arrhenius(1273) * 3600));
}

}  // namespace
}  // namespace torvex
