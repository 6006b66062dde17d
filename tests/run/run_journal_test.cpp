// What a run leaves besides its last profile: the history of its saves, the
// series of its passes and its report, checked on whole runs whose answers
// are known in closed form. The suites named Slow... run cases of several
// seconds and are left out of the sanitizer stage.

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "model/heat_treatment.h"
#include "model/number_format.h"
#include "model/sha256.h"
#include "results/run_data.h"
#include "run/refresh.h"
#include "run/run_checks.h"
#include "run/run_journal.h"
#include "support/case_file.h"
#include "support/load_fixture.h"
#include "support/test_files.h"

namespace torvex {
namespace {

using test::CaseFile;

class RunJournalFixture : public test::LoadFixture {
 protected:
  const RunReport& report() {
    static const RunReport none{};
    const RunReport* last = model_.journal.lastReport();
    if (last == nullptr) ADD_FAILURE() << "no report";
    return last != nullptr ? *last : none;
  }

  const RunCheck& check(const std::string& id) {
    static const RunCheck missing{};
    for (const RunCheck& c : report().checks)
      if (c.id == id) return c;
    ADD_FAILURE() << "no check " << id;
    return missing;
  }

  void expectNoWarnings(std::initializer_list<const char*> ids) {
    for (const char* id : ids) EXPECT_FALSE(check(id).warn) << id << ": " << describeCheck(check(id));
  }

  // A binary couple of the given self-diffusivities (cm^2/s) and molar
  // volumes, ideal, with the Darken velocity, 0.4 cm wide with the step in
  // the middle, run to `seconds`.
  void runCouple(double D1, double D2, const std::string& volumes, double seconds) {
    test::writeLines("couple.dfv", {"# component 1", formatGeneral(D1), "# component 2", formatGeneral(D2), "#end"});
    CaseFile file;
    file.value("D1") = "0   " + formatGeneral(seconds);
    file.value("D2") = "200";
    file.value("D3") = "0.01";
    file.value("D4") = "1e-5";
    file.value("D5") = "50";
    file.value("D9") = "0 couple.dfv";
    file.value("D11") = volumes;
    file.value("D17") = "100   100";
    file.profile = {"0 90 0 0 0", "0.4 10 0 0 0"};
    loadCase(file);
    run(model_);
  }

  // The oxidation sample, run to 44 000 s instead of 612 000 s.
  void loadOxidationTo44000() { test::loadSampleVariant(model_, "oxidation.dat", {{DataKey::D1, "0   44000"}}); }

  // The small binary case of CaseFile with a constant diffusivity.
  void loadShortCase(const std::string& diffusivity = "1e-7") {
    test::writeLines("short.dfv", {"# 1", diffusivity, "# 2", diffusivity});
    CaseFile file;
    file.value("D9") = "0 short.dfv";
    file.value("D17") = "3   3";
    loadCase(file);
  }
};

std::vector<std::string> linesOf(const std::string& text, char end = '\n') {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line, end);) lines.push_back(line);
  return lines;
}

std::vector<std::string> fieldsOf(const std::string& line, char separator) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, separator);)
    if (separator != ' ' || !field.empty()) fields.push_back(field);
  return fields;
}

// ---- Closed-form expectations ----

// Equal intrinsic diffusivities and equal molar volumes: the drift velocity
// vanishes, so the marker plane stays at rest; nothing is lost or gained.
TEST_F(RunJournalFixture, SlowEqualDiffusivitiesLeaveThePlaneAtRestAndKeepTheInventory) {
  runCouple(1e-8, 1e-8, "7 7", 2e5);
  const RunCheck& p = check("kirkendall.exponent");
  EXPECT_TRUE(std::isnan(p.value)) << describeCheck(p);
  EXPECT_NE(p.meaning.find("did not move measurably"), std::string::npos) << p.meaning;
  expectNoWarnings({"bounds", "inventory.1", "inventory.2", "kirkendall.exponent"});
  EXPECT_LT(check("inventory.1").value, 1e-4);
}

// Unequal intrinsic diffusivities (Darken, ideal): the marker plane moves as
// x_K - x_K0 = A t^(1/2) while the ends keep their compositions.
TEST_F(RunJournalFixture, SlowDarkenCoupleMovesThePlaneAsTheRootOfTime) {
  runCouple(3e-8, 1e-8, "7 7", 2e5);
  const RunCheck& p = check("kirkendall.exponent");
  EXPECT_NEAR(p.value, 0.5, 0.01) << p.meaning;
  expectNoWarnings({"bounds", "inventory.1", "inventory.2", "kirkendall.exponent"});
}

// The oxidation sample to 44 000 s: the scale takes up what the alloy
// delivers, and it grows parabolically.
TEST_F(RunJournalFixture, SlowOxidationSampleBalancesItsFluxesAndGrowsParabolically) {
  loadOxidationTo44000();
  run(model_);
  EXPECT_EQ(report().outcome.end, "completed");
  EXPECT_LT(check("oxidation.flux_balance").value, 0.01);
  EXPECT_GT(check("oxidation.parabolic_r2").value, 0.999);
  EXPECT_NEAR(check("oxidation.parabolic_slope").value, 1.0, 0.05);
  expectNoWarnings({"bounds", "inventory.1", "inventory.2"});
}

// Under a schedule that heats the sample first, kp is constant only over the
// hold: the parabolic law is checked there and holds; the square-root law of
// the Kirkendall plane, which needs one temperature throughout, is not
// claimed for a couple whose temperature ramps.
TEST_F(RunJournalFixture, SlowTimeLawsAreCheckedOnlyWhereTheTemperatureIsConstant) {
  loadOxidationTo44000();
  model_.input.heatTreatment.schedule =
      std::make_shared<const TemperatureSchedule>(parseSchedule("time_s,T_K\n0,973\n4000,1123\n", "heat.csv"));
  run(model_);
  EXPECT_EQ(report().outcome.end, "completed");
  EXPECT_GT(check("oxidation.parabolic_r2").value, 0.999);
  EXPECT_NEAR(check("oxidation.parabolic_slope").value, 1.0, 0.05);
  EXPECT_NE(check("oxidation.parabolic_slope").meaning.find("over the final hold from t = 4000 s"), std::string::npos);

  test::writeLines("couple.dfv", {"# component 1", "3e-4*exp(-150000/(8.314*T))", "# component 2", "1e-8", "#end"});
  CaseFile file;
  file.value("D1") = "0   20000";
  file.value("D2") = "100";
  file.value("D9") = "0 couple.dfv";
  file.value("D11") = "7 7";
  file.value("D17") = "100   100";
  file.profile = {"0 90 0 0 0", "0.4 10 0 0 0"};
  loadCase(file);
  model_.input.heatTreatment.schedule =
      std::make_shared<const TemperatureSchedule>(parseSchedule("time_s,T_K\n0,1073\n10000,1273\n", "ramp.csv"));
  run(model_);
  for (const RunCheck& c : report().checks) EXPECT_NE(c.id, "kirkendall.exponent");
  expectNoWarnings({"bounds", "inventory.1", "inventory.2"});
}

TEST_F(RunJournalFixture, NonFiniteProfileIsReportedWhereItFirstAppeared) {
  loadShortCase("log(N1-2)");  // NaN at every point
  run(model_);
  const RunCheck& bounds = check("bounds");
  EXPECT_TRUE(bounds.warn);
  EXPECT_TRUE(std::isnan(bounds.value));
  EXPECT_NE(bounds.meaning.find(
                "non-finite concentration or rate of change: the first appeared in component 1 at grid point "),
            std::string::npos)
      << bounds.meaning;
  EXPECT_EQ(report().outcome.end, "non_finite");
  // JSON has no NaN: the value is null in the file and NaN when read back.
  const RunReport written = readRunReport("results");
  EXPECT_NE(test::readBytes("results/run.json").find("\"value\": null"), std::string::npos);
  ASSERT_FALSE(written.checks.empty());
  EXPECT_TRUE(std::isnan(written.checks[0].value));
  EXPECT_TRUE(written.checks[0].warn);
}

// ---- The files ----

TEST_F(RunJournalFixture, HistoryHoldsEverySaveAndEndsWithTheProfileOfAtOut) {
  loadShortCase();
  run(model_);
  const int n = model_.input.pointCount;
  const int r = model_.input.componentCount;
  const std::string text = test::readBytes("results/history.csv");
  EXPECT_EQ(text.find('\r'), std::string::npos) << "LF line ends only";
  const auto lines = linesOf(text);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "time_s,x_cm,component,at_pct,wt_pct");
  const long long saves = report().outcome.saves;
  EXPECT_GE(saves, 2);
  ASSERT_EQ(lines.size(), 1 + static_cast<std::size_t>(saves * n * r));
  // The first block is the profile the run started from, at the start time.
  const auto first = fieldsOf(lines[1], ',');
  ASSERT_EQ(first.size(), 5u);
  EXPECT_EQ(first[0], formatGeneral(model_.input.startTime));
  EXPECT_NEAR(*parseReal(first[3]), 100 * model_.input.initial.molarRatio[0][0], 1e-12) << "the left end at the start";

  // The last block, point by point, is at_out.dat's current profile as printed.
  const auto atOut = linesOf(test::readBytes("results/at_out.dat"), '\r');
  std::size_t at = 0;
  while (at < atOut.size() && atOut[at].find("Current time:") == std::string::npos) ++at;
  at += 3;  // the time line and two empty ones
  const std::size_t lastBlock = lines.size() - static_cast<std::size_t>(n * r);
  for (int k = 0; k < n; ++k) {
    ASSERT_LT(at + static_cast<std::size_t>(k), atOut.size());
    const auto printed = fieldsOf(atOut[at + static_cast<std::size_t>(k)].substr(1), ' ');
    for (int i = 0; i < r; ++i) {
      const auto row = fieldsOf(lines[lastBlock + static_cast<std::size_t>(k * r + i)], ',');
      ASSERT_EQ(row.size(), 5u);
      EXPECT_EQ(row[0], formatGeneral(model_.state.currentTime));
      // The grid's rounding is not written: the same point, in fewest digits.
      EXPECT_NEAR(*parseReal(row[1]), *parseReal(printed[0]), 1e-13) << "x of point " << k;
      EXPECT_LE(row[1].size(), printed[0].size()) << "x of point " << k;
      EXPECT_EQ(row[2], formatInteger(i + 1));
      EXPECT_EQ(row[3], printed[static_cast<std::size_t>(1 + i)]) << "point " << k << " component " << i + 1;
    }
  }
}

TEST_F(RunJournalFixture, SeriesHoldsOneRowPerAcceptedPass) {
  loadShortCase();
  const RunSummary summary = run(model_);
  const auto lines = linesOf(test::readBytes("results/series.csv"));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "time_s,dt_s,kirkendall_cm,N1_left_at_pct,N1_right_at_pct,N2_left_at_pct,N2_right_at_pct");
  // A row for the start, then one per pass.
  ASSERT_EQ(lines.size(), 2 + static_cast<std::size_t>(summary.acceptedPasses));
  const auto start = fieldsOf(lines[1], ',');
  ASSERT_EQ(start.size(), 7u);
  EXPECT_EQ(start[0] + "," + start[1] + "," + start[2], "0,0," + formatGeneral(model_.input.initialKirkendallPosition));
  const Table2<double>& initial = model_.input.initial.molarRatio;
  const int end = model_.input.pointCount - 1;
  EXPECT_NEAR(*parseReal(start[3]), 100 * initial[0][0], 1e-12);
  EXPECT_NEAR(*parseReal(start[4]), 100 * initial[0][end], 1e-12);
  EXPECT_NEAR(*parseReal(start[6]), 100 * initial[1][end], 1e-12);
  const auto last = fieldsOf(lines.back(), ',');
  ASSERT_EQ(last.size(), 7u);
  EXPECT_EQ(last[0], "100");
  EXPECT_EQ(last[2], formatGeneral(model_.state.kirkendallPosition));
  // The contents of an end sum to 100 at.%.
  EXPECT_NEAR(*parseReal(last[3]) + *parseReal(last[5]), 100.0, 1e-10);
  EXPECT_EQ(report().outcome.acceptedPasses, summary.acceptedPasses);
  EXPECT_EQ(report().outcome.rejectedPasses, summary.rejectedPasses);
}

// Named components: a name column in the history, the names in the series'
// headers and in the report; the reader gives them back with the start.
TEST_F(RunJournalFixture, NamedComponentsAppearInEveryFileAndReadBack) {
  loadShortCase();
  model_.input.componentNames = {"Cu", "Ni"};
  run(model_);
  const auto history = linesOf(test::readBytes("results/history.csv"));
  ASSERT_GE(history.size(), 3u);
  EXPECT_EQ(history[0], "time_s,x_cm,component,at_pct,wt_pct,name");
  EXPECT_EQ(fieldsOf(history[1], ',').size(), 6u);
  EXPECT_TRUE(history[1].ends_with(",Cu")) << history[1];
  EXPECT_TRUE(history[2].ends_with(",Ni")) << history[2];
  EXPECT_EQ(linesOf(test::readBytes("results/series.csv"))[0],
            "time_s,dt_s,kirkendall_cm,Cu_left_at_pct,Cu_right_at_pct,Ni_left_at_pct,Ni_right_at_pct");
  EXPECT_EQ(readRunReport("results").componentNames, (std::vector<std::string>{"Cu", "Ni"}));
  EXPECT_NE(test::readBytes("results/run.json").find("\"name\": \"Ni\""), std::string::npos);

  const RunData data = ReadRunData("results");
  EXPECT_EQ(data.componentNames, (std::vector<std::string>{"Cu", "Ni"}));
  ASSERT_GE(data.frames.size(), 2u);
  EXPECT_EQ(data.frames.front().timeS, model_.input.startTime) << "the start is the first frame";
  EXPECT_EQ(data.kirkendallTimeS.front(), model_.input.startTime);
  EXPECT_EQ(data.kirkendallCm.front(), model_.input.initialKirkendallPosition);
  EXPECT_EQ(data.positionCm[1], *parseReal(formatWithin(model_.input.initial.position[1], 1e-15)));

  // Without names the files have no trace of them.
  model_.load("case.dat");
  run(model_);
  EXPECT_EQ(linesOf(test::readBytes("results/history.csv"))[0], "time_s,x_cm,component,at_pct,wt_pct");
  EXPECT_EQ(test::readBytes("results/run.json").find("\"components\""), std::string::npos);
  EXPECT_TRUE(ReadRunData("results").componentNames.empty());
}

// A case built in memory is held to the rules of names as an option is.
TEST_F(RunJournalFixture, ACaseWithNamesThatBreakTheRulesIsRefusedBeforeItRuns) {
  loadShortCase();
  model_.input.componentNames = {"Cu"};
  EXPECT_THROW(model_.input.validate(), InputError);
  model_.input.componentNames = {"Cu", "c,u"};
  EXPECT_THROW(model_.input.validate(), InputError);
}

TEST_F(RunJournalFixture, ReportNamesTheInputsByDigestAndTheRunsEnd) {
  loadShortCase();
  model_.journal.setProvenance({.program = "test",
                                .commandLine = {"test", "case.dat"},
                                .overrides = {{"D8", "1273"}},
                                .parameters = {{"T", "1273"}}});
  run(model_);
  const RunReport written = readRunReport("results");
  EXPECT_EQ(written.provenance.program, "test");
  EXPECT_EQ(written.provenance.commandLine, (std::vector<std::string>{"test", "case.dat"}));
  EXPECT_EQ(written.provenance.overrides, (std::vector<std::pair<std::string, std::string>>{{"D8", "1273"}}));
  EXPECT_EQ(written.provenance.parameters, (std::vector<std::pair<std::string, std::string>>{{"T", "1273"}}));
  ASSERT_EQ(written.inputFiles.size(), 2u);
  EXPECT_EQ(written.inputFiles[0].role, "data");
  EXPECT_EQ(written.inputFiles[0].sha256, sha256Hex(test::readBytes("case.dat")));
  EXPECT_EQ(written.inputFiles[1].role, "diffusivities");
  EXPECT_EQ(written.inputFiles[1].sha256, sha256Hex(test::readBytes("short.dfv")));
  EXPECT_EQ(written.outcome.end, "completed");
  EXPECT_EQ(written.outcome.finalTime, 100);
  EXPECT_FALSE(written.startedUtc.empty());
  EXPECT_FALSE(written.endedUtc.empty());
  EXPECT_FALSE(written.version.empty());
  EXPECT_EQ(written.checks.size(), report().checks.size());
}

// A second run of the model starts its history afresh; a run stopped early
// says so.
TEST_F(RunJournalFixture, EveryRunStartsItsFilesAfreshAndSaysHowItEnded) {
  loadShortCase();
  run(model_);
  const std::size_t full = linesOf(test::readBytes("results/history.csv")).size();
  model_.load("case.dat");
  struct StopAfterOnePass : DirectRunHost {
    using DirectRunHost::DirectRunHost;
    void afterPass(int) override { sim_.state.stopRequested = 1; }
  } host(model_);
  Execute(model_, host);
  const auto history = linesOf(test::readBytes("results/history.csv"));
  EXPECT_LT(history.size(), full);
  // The start, then the first pass saves; the final save of the same profile
  // adds no block.
  EXPECT_EQ(history.size(), 1 + 2 * static_cast<std::size_t>(model_.input.pointCount * model_.input.componentCount));
  EXPECT_EQ(linesOf(test::readBytes("results/series.csv")).size(), 3u);
  EXPECT_EQ(readRunReport("results").outcome.end, "stopped");
}

}  // namespace
}  // namespace torvex
