// A receding oxidising surface: the right end of the sample moves in by the
// volume of the metal the scale takes, dL/dt = -Omega_1 J, and the grid
// contracts with it. Checked against what must hold whatever the numbers:
// the inventories (nothing but component 1 crosses an end, and component 1
// only into the scale), the length (L0 - Omega_1 times the metal taken), a
// run whose scale takes nothing (it must be the fixed-length run), and two
// closed forms of the depletion under a parabolic scale: the life of a
// uniformly depleting alloy and the surface content a semi-infinite alloy
// settles at.

#include <algorithm>
#include <cmath>
#include <iostream>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "model/life_options.h"
#include "model/number_format.h"
#include "run/integrator.h"
#include "run/life_closed_forms.h"
#include "run/run_records.h"
#include "run/simulation.h"
#include "solver/evaluate_derivative.h"
#include "solver/face_fluxes.h"
#include "solver/oxide_scale.h"
#include "support/load_fixture.h"
#include "support/sample_variant.h"
#include "support/test_files.h"

namespace torvex {
namespace {

// Runs the pass loop with the records in memory only; optionally stops the
// run when the surface content of component 1 first falls below a value.
class MemoryHost : public RunHost {
 public:
  explicit MemoryHost(Simulation& sim, std::optional<CriticalContent> critical = std::nullopt) : sim_(sim) {
    if (critical) watch_.emplace(*critical);
  }
  void InitRecords() override {
    torvex::InitRecords(sim_.input, sim_.state, sim_.records);
    startThickness = sim_.state.oxide.thickness;
    observe();
  }
  void EvaluateDerivative() override { torvex::EvaluateDerivative(sim_.input, sim_.state); }
  void Refresh() override {
    ++passes;
    observe();
  }
  void EndOfRun(const RunSummary&) override { sim_.state.stopRequested = 1; }

  double startThickness = 0;
  long passes = 0;
  [[nodiscard]] std::optional<double> life() const { return watch_ ? watch_->life() : std::nullopt; }

 private:
  void observe() {
    if (!watch_) return;
    const RunState& s = sim_.state;
    const int last = sim_.input.pointCount - 1;
    double total = 0;
    for (int i = 0; i < sim_.input.componentCount; ++i) total += s.concentration[i][last];
    if (watch_->observe(s.currentTime, s.concentration[0][last] / total)) sim_.state.stopRequested = 1;
  }

  Simulation& sim_;
  std::optional<EndOfLifeWatch> watch_;
};

double surfaceContent(const Simulation& sim) {
  const int last = sim.input.pointCount - 1;
  double total = 0;
  for (int i = 0; i < sim.input.componentCount; ++i) total += sim.state.concentration[i][last];
  return sim.state.concentration[0][last] / total;
}

class RecedingSurface : public test::LoadFixture {
 protected:
  // The oxidation sample in the conservative scheme with the given keys
  // replaced, loaded with or without a receding surface.
  void load(test::KeyValues values, bool receding, const std::string& name = "receding.dat") {
    values.push_back({DataKey::D16, "3"});
    test::loadSampleVariant(model_, "oxidation.dat", values, name);
    model_.input.heatTreatment.life.receding = receding;
    model_.resultsDirectory.reset();
  }
  RunSummary run(std::optional<CriticalContent> critical = std::nullopt) {
    MemoryHost host(model_, critical);
    const RunSummary summary = Execute(model_, host);
    if (summary.failure) std::rethrow_exception(summary.failure);
    passes_ = host.passes;
    startThickness_ = host.startThickness;
    life_ = host.life();
    return summary;
  }
  long passes_ = 0;
  double startThickness_ = 0;
  std::optional<double> life_;
};

// What crosses no end stays: component 2's inventory and component 1's
// together with what the scale took, to round-off over thousands of passes;
// the length is the start length less the volume of that metal; the grid's
// last point is the moved surface, and the Kirkendall plane stays inside.
// A depleting, linearly graded alloy, so that both interdiffusion and the
// advection of the contracting grid carry matter.
TEST_F(RecedingSurface, KeepsEveryInventoryAndTheLengthToRoundOff) {
  load(
      {{DataKey::D1, "0   30000"}, {DataKey::D2, "100"}, {DataKey::D23, "0.0 30 0.0 0.0 0.0\n   0.002 15 0.0 0.0 0.0"}},
      true);
  const Case& c = model_.input;
  const RunState& s = model_.state;
  const double omega1 = c.partialMolarVolume[0];
  std::vector<double> start;
  for (int i = 0; i < c.componentCount; ++i) start.push_back(inventory(c, s, i));
  const double startLength = s.position.back() - s.position.front();
  const double left = s.position.front();

  ASSERT_EQ(run().end, RunEnd::Completed);
  ASSERT_GT(passes_, 1000);
  const double taken = -s.wallInflow[0];  // mol/cm^2 of component 1 into the scale
  EXPECT_GT(taken, 1e-3 * start[0]) << "the scale took a measurable amount";
  std::cout << passes_ << " passes; relative changes: component 2 "
            << formatGeneral((inventory(c, s, 1) - start[1]) / start[1]) << ", component 1 with the scale's "
            << formatGeneral((inventory(c, s, 0) + taken - start[0]) / start[0]) << ", length against L0 - Omega_1 n "
            << formatGeneral((s.sampleLength - (startLength - omega1 * taken)) / startLength) << "\n";
  EXPECT_NEAR(inventory(c, s, 1), start[1], 1e-12 * start[1]);
  EXPECT_NEAR(inventory(c, s, 0) + taken, start[0], 1e-12 * start[0]);
  EXPECT_EQ(s.wallInflow[1], 0.0);

  EXPECT_NEAR(s.sampleLength, startLength - omega1 * taken, 1e-12 * startLength);
  EXPECT_LT(s.sampleLength, startLength - 0.5 * omega1 * taken);
  EXPECT_EQ(s.position.front(), left) << "the far end stands still";
  EXPECT_NEAR(s.position.back() - s.position.front(), s.sampleLength, 1e-14);
  // Every cell is filled: the volume fractions sum to 1 without any
  // renormalisation.
  for (int k = 0; k < c.pointCount; k += 11) {
    double volume = 0;
    for (int i = 0; i < c.componentCount; ++i) volume += c.partialMolarVolume[i] * s.concentration[i][k];
    EXPECT_NEAR(volume, 1.0, 1e-10) << "point " << k;
  }
  EXPECT_TRUE(std::isfinite(s.kirkendallPosition));
  EXPECT_GT(s.kirkendallPosition, s.position.front());
  EXPECT_LT(s.kirkendallPosition, s.position.back());
}

// A scale that takes nothing (a flux multiplier of 1e-30: the starting
// thickness goes with the oxide's diffusivity, so a tiny diffusivity alone
// would still take a first gulp) leaves
// the length where it is, and the receding run is the fixed-length run: the
// same profile, the same plane. (The fixed-length run renormalises each
// pass, the receding one does not; both keep the volume, so they agree to
// far below the step tolerance.)
TEST_F(RecedingSurface, WithoutUptakeMatchesTheFixedLengthRun) {
  test::writeBytes("inert.flx", "###Torvex_v2.3###\n# constants\n4.578e-14 8.97e-2 9.1e-14 0.21 1e-30\n#end\n");
  const test::KeyValues values = {{DataKey::D1, "0   20000"},
                                  {DataKey::D2, "60"},
                                  {DataKey::D21, "2 inert.flx 6.58e-7"},
                                  {DataKey::D23, "0.0 35 0.0 0.0 0.0\n   0.002 5 0.0 0.0 0.0"}};
  load(values, false, "fixed.dat");
  const Table2<double> initial = model_.state.concentration;
  ASSERT_EQ(run().end, RunEnd::Completed);
  const std::vector<double> fixedPosition = model_.state.position;
  const Table2<double> fixed = model_.state.concentration;
  const double fixedPlane = model_.state.kirkendallPosition;

  load(values, true);
  ASSERT_EQ(run().end, RunEnd::Completed);
  const RunState& s = model_.state;
  EXPECT_NEAR(s.sampleLength, fixedPosition.back() - fixedPosition.front(), 1e-18);
  double largest = 0;
  for (int i = 0; i < model_.input.componentCount; ++i)
    for (int k = 0; k < model_.input.pointCount; ++k) {
      EXPECT_NEAR(s.position[static_cast<std::size_t>(k)], fixedPosition[static_cast<std::size_t>(k)], 1e-16);
      largest = std::max(largest, std::fabs(s.concentration[i][k] - fixed[i][k]) / fixed[i][k]);
    }
  EXPECT_LT(largest, 1e-9);
  EXPECT_NEAR(s.kirkendallPosition, fixedPlane, 1e-12);
  // The profile moved: the comparison is not of two start profiles.
  const int last = model_.input.pointCount - 1;
  EXPECT_LT(fixed[0][0], (1 - 1e-3) * initial[0][0]);
  EXPECT_GT(fixed[0][last], (1 + 1e-3) * initial[0][last]);
}

// The uniformly depleting alloy of the fixed-length life test (binary,
// 0.002 cm, 20 % of component 1, fast interdiffusion, equal molar volumes,
// constant kp): with a receding surface nothing refills the lost volume, so
// the balance is
//   metal(N) = (L0 / Omega) (N0 - N) / (1 - N),
// reached under the parabolic scale at t = (metal / c_ox)^2 / (2 kp), less
// the scale the run starts with and the surface's lead L^2 / (3 D) over the
// mean. L0 is the span of the grid the run holds.
TEST_F(RecedingSurface, SlowUniformDepletionLifeMeetsTheRecedingBalance) {
  test::writeBytes("fast.dfv", "###Torvex_v2.3###\n# component 1\n1e-8\n# component 2\n1e-8\n#end\n");
  test::writeBytes("scale.flx", "###Torvex_v2.3###\n# constants\n6.49e-13 8.97e-2 1e-40 0.21 1\n#end\n");
  constexpr int kPoints = 20;
  constexpr double kWidth = 0.002;
  load({{DataKey::D1, "0   200000"},
        {DataKey::D2, formatInteger(kPoints)},
        {DataKey::D9, "0 fast.dfv"},
        {DataKey::D11, "7 7"},
        {DataKey::D21, "2 scale.flx 6.58e-7"}},
       true);
  run(parseCritical("N1<0.05", "test"));
  ASSERT_TRUE(life_.has_value());

  const ScaleConstants scale{6.49e-13, 8.97e-2, 1e-40, 0.21, 1};
  const UniformAlloy alloy{gridSpan(kWidth, kPoints), 0.2, 7, 7};
  const double metal = alloy.length / 7 * (0.2 - 0.05) / (1 - 0.05);  // mol/cm^2 the scale takes
  const double balance = uniformDepletionLife(alloy, SurfaceKind::kReceding, scale, 0.05, startThickness_) -
                         surfaceLag(recededLength(alloy, metal), 1e-8);
  std::cout << "receding life " << formatGeneral(*life_) << " s; balance " << formatGeneral(balance)
            << " s; the refilling balance "
            << formatGeneral(uniformDepletionLife(alloy, SurfaceKind::kRefilling, scale, 0.05, startThickness_))
            << " s\n";
  EXPECT_NEAR(*life_, balance, 0.01 * balance);
  EXPECT_NEAR(model_.state.sampleLength, alloy.length - 7 * metal, 0.01 * 7 * metal);
}

// The surface content a semi-infinite alloy settles at under a parabolic
// scale when its surface recedes by the volume of the consumed component 1:
// in volume fractions phi = c_1 Omega_1, with gamma = Omega_1 c_ox
// sqrt(kp / (2 D)) and F = sqrt(pi) gamma exp(gamma^2) erfc(gamma), the
// moving-boundary similarity solution gives phi_s = (phi_0 - F) / (1 - F),
// kp itself set by the surface content. The oxidation sample for 1e5 s is
// semi-infinite as far as its surface is concerned. Two grids are
// extrapolated linearly in h to h = 0 (the grid moves the content by less
// than 0.02 % here: 0.045293 at 200 points, 0.045299 at 400, 0.045301 at
// 800).
TEST_F(RecedingSurface, SlowSurfaceContentSettlesAtTheRecedingBalance) {
  constexpr double kOmega1 = 6.587, kOmega2 = 9.09, kD = 3.1e-12, kN0 = 0.2;
  constexpr double kDox = 4.578e-14, kCox = 8.97e-2, kInner = 9.1e-14, kOuter = 0.21;
  const auto phi = [&](double N) { return N * kOmega1 / (N * kOmega1 + (1 - N) * kOmega2); };
  const auto imbalance = [&](double Ns) {
    const double kp = 3 * kDox * (std::pow(kOuter, 1.0 / 6) - std::pow(kInner / (Ns * Ns), 1.0 / 6));
    const double gamma = kOmega1 * kCox * std::sqrt(kp / (2 * kD));
    const double F = std::sqrt(std::numbers::pi) * gamma * std::exp(gamma * gamma) * std::erfc(gamma);
    return (phi(kN0) - F) / (1 - F) - phi(Ns);
  };
  double low = std::sqrt(kInner / kOuter) * (1 + 1e-9), high = kN0;
  for (int step = 0; step < 200; ++step) {
    const double mid = 0.5 * (low + high);
    (imbalance(mid) > 0 ? low : high) = mid;
  }
  const double balance = 0.5 * (low + high);
  EXPECT_NEAR(balance, 0.0453, 0.0001) << "the balance of the theory notes";

  std::vector<double> contents;
  for (const int points : {200, 400}) {
    load({{DataKey::D1, "0   100000"}, {DataKey::D2, formatInteger(points)}, {DataKey::D4, "1e-6"}}, true);
    ASSERT_EQ(run().end, RunEnd::Completed);
    contents.push_back(surfaceContent(model_));
    std::cout << points << " points: N1 at the surface " << formatGeneral(contents.back()) << ", balance "
              << formatGeneral(balance) << "\n";
  }
  const double extrapolated = 2 * contents[1] - contents[0];
  std::cout << "extrapolated to h = 0: " << formatGeneral(extrapolated) << "\n";
  EXPECT_NEAR(extrapolated, balance, 0.02 * balance);
  // Far from what the fixed surface settles at (0.029): the alloy does not
  // refill the surface.
  EXPECT_GT(contents[1], 0.04);
}

// The settings a receding surface cannot run with are refused by name.
TEST_F(RecedingSurface, RefusesTheImplicitIntegratorAndNoDarkenVelocity) {
  load({{DataKey::D1, "0   100"}}, true);
  model_.input.integrator = Integrator::Bdf;
  try {
    model_.input.validate();
    ADD_FAILURE() << "the implicit integrator was accepted";
  } catch (const InputError& error) {
    EXPECT_NE(std::string(error.what()).find("--receding"), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find("--integrator bdf"), std::string::npos) << error.what();
  }
  load({{DataKey::D1, "0   100"}, {DataKey::D15, "0"}}, true);
  try {
    model_.input.validate();
    ADD_FAILURE() << "a run without the Darken velocity was accepted";
  } catch (const InputError& error) {
    EXPECT_NE(std::string(error.what()).find("D15 = 1"), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace torvex
