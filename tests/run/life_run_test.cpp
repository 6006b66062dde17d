// Coating-life runs through the run's own books (life_run.h), held against
// closed forms: the life of a uniformly depleting alloy, the constant-fraction
// spallation recursion cycle by cycle, and the specific mass change it makes
// (a gain, a maximum, then the steady loss per cycle). The runs keep no files
// (no results folder), which is what makes them fast.
//
// The alloy: binary, 0.002 cm declared, 20 % of component 1, equal molar
// volumes (7 cm³/mol), a scale of constant kp (p' negligible), fast
// interdiffusion, classic form on 20 points (a grid that holds 19/20 of the
// declared width; gridSpan).

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "model/heat_treatment.h"
#include "model/number_format.h"
#include "run/integrator.h"
#include "run/life_closed_forms.h"
#include "run/life_run.h"
#include "run/refresh.h"
#include "run/simulation.h"
#include "study/case_template.h"
#include "support/load_fixture.h"
#include "support/sample_variant.h"
#include "support/test_files.h"

namespace torvex {
namespace {

const std::string kLifeExample = TORVEX_TEST_DATA_DIR "/../../examples/life";
constexpr double kWidth = 0.002;  // cm
constexpr int kPoints = 20;

// Records the books after every accepted pass, and separately right after
// every cool-down.
class BooksHost : public DirectRunHost {
 public:
  using DirectRunHost::DirectRunHost;
  struct Entry {
    double time = 0;
    ScaleLedger ledger;
    double massChange = 0;
    double watched = 0;  // the content the critical condition watches
  };
  void Refresh() override {
    DirectRunHost::Refresh();
    const Case& c = sim_.input;
    const RunState& s = sim_.state;
    Entry entry{s.currentTime, s.life.ledger, 0, s.life.watchedContent};
    if (c.heatTreatment.life.hasOxide)
      entry.massChange = specificMassChange(s.life.ledger, c.heatTreatment.life.oxide, c.molarMass[0]).total;
    passes.push_back(entry);
    const auto& cycles = c.heatTreatment.schedule->cycles();
    if (cycles && cycles->cycleCooledDownAt(s.currentTime) >= 0) coolDowns.push_back(entry);
  }
  std::vector<Entry> passes;
  std::vector<Entry> coolDowns;
};

class LifeRun : public test::LoadFixture {
 protected:
  // The uniform alloy with the oxide diffusivity `oxideD` and interdiffusion
  // `D`, running to `end` s with the life options given.
  void load(double oxideD, double D, double end, const LifeOptionTexts& life) {
    const std::string d = formatGeneral(D);
    test::writeBytes("fast.dfv", "###Torvex_v2.3###\n# component 1\n" + d + "\n# component 2\n" + d + "\n#end\n");
    test::writeBytes("scale.flx",
                     "###Torvex_v2.3###\n# constants\n" + formatGeneral(oxideD) + " 8.97e-2 1e-40 0.21 1\n#end\n");
    test::loadSampleVariant(model_, "oxidation.dat",
                            {{DataKey::D1, "0 " + formatGeneral(end)},
                             {DataKey::D2, formatInteger(kPoints)},
                             {DataKey::D9, "0 fast.dfv"},
                             {DataKey::D11, "7 7"},
                             {DataKey::D14, "1"},
                             {DataKey::D21, "2 scale.flx 6.58e-7"}},
                            "uniform.dat");
    model_.resultsDirectory.reset();
    installLifeOptions(model_.input.heatTreatment, life, model_.input.startTime);
  }

  // The coating of examples/life to `end` s with the life options given,
  // run by `integrator`, into `m`.
  void loadCoating(Simulation& m, double end, const LifeOptionTexts& life, Integrator integrator) {
    const RenderedCase rendered =
        renderCase(kLifeExample + "/coating.dat", {parseKeyOverride("D1=0 " + formatGeneral(end))}, {});
    const std::string folder = "coating" + formatInteger(++coatings_);
    m.load(writeRenderedCase(rendered, folder), {.sideFileDirectory = folder});
    m.resultsDirectory.reset();
    installLifeOptions(m.input.heatTreatment, life, m.input.startTime);
    m.input.integrator = integrator;
  }
  int coatings_ = 0;

  static LifeOptionTexts options(const char* cycles, const char* spall, const char* oxide, const char* critical) {
    LifeOptionTexts texts;
    if (cycles != nullptr) texts.cycles.text = cycles;
    if (spall != nullptr) texts.spall.text = spall;
    if (oxide != nullptr) texts.oxide.text = oxide;
    if (critical != nullptr) texts.critical.text = critical;
    return texts;
  }
};

class LifeRunEachIntegrator : public LifeRun, public ::testing::WithParamInterface<Integrator> {};

INSTANTIATE_TEST_SUITE_P(Integrators, LifeRunEachIntegrator, ::testing::Values(Integrator::RungeKutta, Integrator::Bdf),
                         [](const ::testing::TestParamInfo<Integrator>& info) {
                           return std::string(integratorName(info.param));
                         });

// The refilling balance of the grid's alloy, from the scale the run started
// with, less the surface's lead over the mean: the run stops at the critical
// content by itself, reports it as its outcome and its life within 1 %.
TEST_F(LifeRun, SlowUniformDepletionEndsAtTheRefillingBalanceLife) {
  constexpr double kD = 1e-8;
  load(6.49e-13, kD, 200000, options(nullptr, nullptr, nullptr, "N1<0.05"));
  DirectRunHost host(model_);
  const RunSummary summary = Execute(model_, host);
  ASSERT_EQ(summary.end, RunEnd::CriticalContent);
  const RunReport* report = model_.journal.lastReport();
  ASSERT_TRUE(report && report->life && report->life->lifeSeconds);
  EXPECT_EQ(report->outcome.end, "critical_content");
  const double life = *report->life->lifeSeconds;
  const UniformAlloy alloy{gridSpan(kWidth, kPoints), 0.2, 7, 7};
  const ScaleConstants scale{6.49e-13, 8.97e-2, 1e-40, 0.21, 1};
  const double expected =
      uniformDepletionLife(alloy, SurfaceKind::kRefilling, scale, 0.05, model_.state.life.thinnestScale) -
      surfaceLag(alloy.length, kD);
  std::cout << "life " << formatGeneral(life) << " s, balance " << formatGeneral(expected) << " s\n";
  EXPECT_NEAR(life, expected, 0.01 * expected);
  // The run stopped at the first pass past the life, with the content below
  // the critical one there and above it one pass before.
  EXPECT_GE(model_.state.currentTime, life);
  EXPECT_LT(model_.state.life.watchedContent, 0.05);
}

// A constant fraction q = 0.1 spalls at every cool-down of 40 cycles of
// 800 s + 200 s at one temperature, so kp stays constant and the scale grows
// through both holds: ξ² gains 2 kp × 800 s up to the first cool-down and
// 2 kp × 1000 s from one to the next. The books after each cool-down follow
// the recursion ξ⁺ = sqrt(ξ² + dose), ξ = (1 - q) ξ⁺ (spallRecursion); the
// mass change (NiO-like: 1 oxygen of 15.999 g/mol per atom of component 1,
// 58.69 g/mol) rises, passes a maximum and falls at the steady slope
// -1000 M1 c_ox q ξ* per cycle.
//
// Both integrators: the implicit one carries the thickness among its
// unknowns, so a spall restarts it from the thinner scale.
TEST_P(LifeRunEachIntegrator, ConstantFractionSpallingFollowsTheRecursionAndTheMassChangeCurve) {
  constexpr long long kCycles = 40;
  constexpr double kFraction = 0.1;
  load(6.49e-14, 1e-9, 40000, options("40:800@1123,200@1123", "0.1", "1", nullptr));
  model_.input.integrator = GetParam();
  BooksHost host(model_);
  const RunSummary summary = Execute(model_, host);
  ASSERT_EQ(summary.end, RunEnd::Completed);
  ASSERT_EQ(host.coolDowns.size(), static_cast<std::size_t>(kCycles));

  const RunState& s = model_.state;
  const double kp = s.oxide.parabolicRateConstant;
  const double cOx = s.oxide.molarConcentration;
  const double start = s.life.thinnestScale;
  const SpallLaw law{kFraction, 0};
  const std::vector<SpallCycle> expected = spallRecursion(start, 2 * kp * 800, 2 * kp * 1000, law, start, cOx, kCycles);
  for (long long k = 0; k < kCycles; ++k) {
    const auto& books = host.coolDowns[static_cast<std::size_t>(k)].ledger;
    const SpallCycle& cycle = expected[static_cast<std::size_t>(k)];
    EXPECT_NEAR(books.thickness, cycle.afterSpall, 0.005 * cycle.afterSpall) << "cycle " << k;
    EXPECT_NEAR(books.spalledMetal, cycle.spalledMetal, 0.005 * cycle.spalledMetal) << "cycle " << k;
    EXPECT_NEAR(consumedMetal(books), cycle.consumedMetal, 0.005 * cycle.consumedMetal) << "cycle " << k;
    EXPECT_EQ(books.spalls, k + 1);
  }

  // The curve: a maximum well inside the run, then the steady slope over
  // the last ten cycles (the transient decays as (1 - q)² per cycle).
  const auto peak = std::max_element(host.passes.begin(), host.passes.end(),
                                     [](const auto& a, const auto& b) { return a.massChange < b.massChange; });
  EXPECT_GT(peak->time, 800.0);
  EXPECT_LT(peak->time, 0.5 * 40000);
  EXPECT_LT(host.passes.back().massChange, peak->massChange);
  const double slope = (host.coolDowns.back().massChange - host.coolDowns[kCycles - 11].massChange) / 10;
  const double steady = terminalMassChangeSlope(2 * kp * 1000, kFraction, cOx, model_.input.molarMass[0]);
  EXPECT_LT(steady, 0);
  std::cout << "last cycle: thickness " << formatGeneral(host.coolDowns.back().ledger.thickness) << " cm, recursion "
            << formatGeneral(expected.back().afterSpall) << " cm; slope " << formatGeneral(slope)
            << " mg/cm^2 per cycle, steady " << formatGeneral(steady) << "; peak at " << formatGeneral(peak->time)
            << " s\n";
  EXPECT_NEAR(slope, steady, 0.01 * std::fabs(steady));

  // The run's own check of parabolic growth looks at the scale since its
  // last spall, where the law holds again.
  const RunReport* report = model_.journal.lastReport();
  ASSERT_TRUE(report);
  int parabolic = 0;
  for (const RunCheck& check : report->checks)
    if (check.id.rfind("oxidation.parabolic", 0) == 0) {
      ++parabolic;
      EXPECT_FALSE(check.warn) << describeCheck(check);
    }
  EXPECT_EQ(parabolic, 2);
}

double molarRatio(const Simulation& m, int i, int k) {
  double total = 0;
  for (int j = 0; j < m.input.componentCount; ++j) total += m.state.concentration[j][k];
  return m.state.concentration[i][k] / total;
}

// The coating of examples/life (three components, Arrhenius data, 1 h at
// 1373 K and 10 min at 300 K, a spall law that grows with the thickness),
// run by both integrators. After 30 cycles the profiles agree within the
// 1e-4 in molar ratio D4 = 1e-4 stands for, and the books (both spall at
// the same 30 cool-downs) within 0.2 %. The explicit loop advances the
// scale by one Euler step of kp / X per pass, which overshoots a parabola by
// a share that falls with the step (at the example's D5 = 600 s its spalled
// metal is 0.45 % high, at 60 s 0.1 %, at 10 s 0.02 %): it runs here with
// D5 = 60 s, while the implicit run integrates the thickness to the
// tolerance and is the closer of the two. Run to N1 < 0.12 at the surface, each life is interpolated
// between the two passes around the crossing, and the two differ by no
// more than the time the surface content takes to fall by 1e-4 there.
TEST_F(LifeRun, SpallingCoatingAgreesBetweenTheIntegrators) {
  constexpr double kCycleEnd = 30 * 4200.0;
  Simulation runs[2];
  BooksHost* hosts[2] = {};
  std::unique_ptr<BooksHost> owned[2];
  for (int i = 0; i < 2; ++i) {
    const Integrator integrator = i == 0 ? Integrator::RungeKutta : Integrator::Bdf;
    loadCoating(runs[i], kCycleEnd, options("4000:3600@1373,600@300", "0.005,1", "1.5", nullptr), integrator);
    if (integrator == Integrator::RungeKutta) runs[i].input.maxTimeStep = 60;
    owned[i] = std::make_unique<BooksHost>(runs[i]);
    hosts[i] = owned[i].get();
    ASSERT_EQ(Execute(runs[i], *hosts[i]).end, RunEnd::Completed) << integratorName(integrator);
  }
  double worst = 0;
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < runs[0].input.pointCount; ++k)
      worst = std::fmax(worst, std::fabs(molarRatio(runs[0], i, k) - molarRatio(runs[1], i, k)));
  const ScaleLedger& rk = runs[0].state.life.ledger;
  const ScaleLedger& bdf = runs[1].state.life.ledger;
  std::cout << "30 cycles: largest |dN| " << formatGeneral(worst) << "; thickness " << formatGeneral(rk.thickness)
            << " / " << formatGeneral(bdf.thickness) << " cm, spalled " << formatGeneral(rk.spalledMetal) << " / "
            << formatGeneral(bdf.spalledMetal) << ", consumed " << formatGeneral(consumedMetal(rk)) << " / "
            << formatGeneral(consumedMetal(bdf)) << " mol/cm^2\n";
  EXPECT_LT(worst, 1e-4);
  EXPECT_EQ(rk.spalls, 30);
  EXPECT_EQ(bdf.spalls, 30);
  ASSERT_EQ(hosts[1]->coolDowns.size(), 30U);
  EXPECT_NEAR(bdf.thickness, rk.thickness, 2e-3 * rk.thickness);
  EXPECT_NEAR(bdf.spalledMetal, rk.spalledMetal, 2e-3 * rk.spalledMetal);
  EXPECT_NEAR(consumedMetal(bdf), consumedMetal(rk), 2e-3 * consumedMetal(rk));
  // The spalled scale is what both restart from: right after each
  // cool-down the run's own thickness is the books'.
  EXPECT_EQ(runs[1].state.oxide.thickness, bdf.thickness);
  // Both end in the cold hold after the last spall, where the scale does not
  // grow: the parabolic law and the flux balance are judged at the last hot
  // hold, where the law holds (in the cold X^2 against t is flat, R^2 ~ 0).
  for (const Simulation& run : runs) {
    const RunReport* report = run.journal.lastReport();
    ASSERT_NE(report, nullptr);
    int judged = 0;
    for (const RunCheck& check : report->checks) {
      if (!check.id.starts_with("oxidation.")) continue;
      ++judged;
      EXPECT_NE(check.meaning.find("judged over the last hold in which it grew, from t = 1218"), std::string::npos)
          << check.id << ": " << check.meaning;
      if (check.id.starts_with("oxidation.parabolic")) {
        EXPECT_FALSE(check.warn) << check.id << ": " << check.value;
      }
    }
    EXPECT_EQ(judged, 3);
  }

  double lives[2] = {};
  double slope = 0;
  for (int i = 0; i < 2; ++i) {
    const Integrator integrator = i == 0 ? Integrator::RungeKutta : Integrator::Bdf;
    loadCoating(runs[i], 4000 * 4200.0, options("4000:3600@1373,600@300", "0.005,1", "1.5", "N1<0.12"), integrator);
    owned[i] = std::make_unique<BooksHost>(runs[i]);
    ASSERT_EQ(Execute(runs[i], *owned[i]).end, RunEnd::CriticalContent) << integratorName(integrator);
    const RunReport* report = runs[i].journal.lastReport();
    ASSERT_TRUE(report && report->life && report->life->lifeSeconds);
    lives[i] = *report->life->lifeSeconds;
    // Interpolated between the last two passes, where the content crossed.
    const auto& passes = owned[i]->passes;
    ASSERT_GE(passes.size(), 2U);
    const auto& before = passes[passes.size() - 2];
    const auto& after = passes.back();
    EXPECT_GT(before.watched, 0.12);
    EXPECT_LT(after.watched, 0.12);
    EXPECT_GT(lives[i], before.time);
    EXPECT_LT(lives[i], after.time);
    if (i == 0) slope = (before.watched - after.watched) / (after.time - before.time);
  }
  std::cout << "life to N1 < 0.12: rk " << formatGeneral(lives[0]) << " s, bdf " << formatGeneral(lives[1])
            << " s; surface content falling at " << formatGeneral(slope) << " per s\n";
  ASSERT_GT(slope, 0);
  EXPECT_NEAR(lives[1], lives[0], 1e-4 / slope);
}

// Without spallation the books only grow: the consumed metal is the scale's
// metal beyond the start, and the mass change its oxygen.
TEST_F(LifeRun, WithoutSpallationTheBooksFollowTheScale) {
  load(6.49e-14, 1e-9, 2000, options("2:800@1123,200@1123", nullptr, "1.5,16", nullptr));
  BooksHost host(model_);
  ASSERT_EQ(Execute(model_, host).end, RunEnd::Completed);
  const RunState& s = model_.state;
  const ScaleLedger& books = s.life.ledger;
  EXPECT_EQ(books.spalls, 0);
  EXPECT_EQ(books.thickness, s.oxide.thickness);
  EXPECT_NEAR(consumedMetal(books), s.oxide.molarConcentration * (s.oxide.thickness - s.life.thinnestScale),
              1e-12 * consumedMetal(books));
  const RunReport* report = model_.journal.lastReport();
  ASSERT_TRUE(report && report->life && report->life->scale);
  EXPECT_TRUE(report->life->condition.empty());
  EXPECT_NEAR(report->life->massChange, 1.5 * 16 * 1000 * consumedMetal(books), 1e-9 * report->life->massChange);
}

// The settings the case cannot run with are refused before anything runs,
// each naming the option and why.
TEST_F(LifeRun, SettingsTheCaseCannotRunWithAreRefused) {
  const auto refusal = [&](const LifeOptionTexts& texts, const std::string& key) -> std::string {
    test::loadSampleVariant(model_, "oxidation.dat", {{DataKey::D1, "0 100"}}, "refused.dat");
    installLifeOptions(model_.input.heatTreatment, texts, 0);
    try {
      model_.input.validate();
    } catch (const InputError& error) {
      return error.what();
    }
    ADD_FAILURE() << "accepted: " << key;
    return {};
  };
  EXPECT_NE(refusal(options(nullptr, "0.1", nullptr, nullptr), "spall").find("--spall"), std::string::npos);
  EXPECT_NE(refusal(options(nullptr, nullptr, nullptr, "N3<0.1"), "critical").find("N1 to N2"), std::string::npos);
  // Spallation or oxide data without a scale.
  test::loadSampleVariant(model_, "oxidation.dat", {{DataKey::D21, "0"}}, "closed.dat");
  installLifeOptions(model_.input.heatTreatment, options("2:10@1000,10@300", "0.1", nullptr, nullptr), 0);
  EXPECT_THROW(model_.input.validate(), InputError);
  model_.input.heatTreatment = HeatTreatment();
  installLifeOptions(model_.input.heatTreatment, options(nullptr, nullptr, "1.5", nullptr), 0);
  EXPECT_THROW(model_.input.validate(), InputError);
}

}  // namespace
}  // namespace torvex
