// The verification checks as functions of the numbers a run collected, and
// the run report's JSON: what is judged a warning, what the fits return on
// data of known shape, and what the reader makes of a damaged file.

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "model/sha256.h"
#include "results/run_report.h"
#include "run/run_checks.h"
#include "support/test_files.h"

namespace torvex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(RunChecks, JudgingComparesTheValueWithItsBoundAndWarnsWhenItIsUnknown) {
  struct Case {
    CheckComparison comparison;
    double value, threshold, expected;
    bool warn;
  };
  const Case cases[] = {
      {CheckComparison::AtMost, 0.5, 1, 0, false},      {CheckComparison::AtMost, 1, 1, 0, false},
      {CheckComparison::AtMost, 1.5, 1, 0, true},       {CheckComparison::AtLeast, 0.9995, 0.999, 0, false},
      {CheckComparison::AtLeast, 0.99, 0.999, 0, true}, {CheckComparison::Near, 0.505, 0.01, 0.5, false},
      {CheckComparison::Near, 0.48, 0.01, 0.5, true},   {CheckComparison::Near, 0.52, 0.01, 0.5, true},
      {CheckComparison::AtMost, kNaN, 1, 0, true},      {CheckComparison::AtLeast, kInf, 1, 0, true},
      {CheckComparison::AtMost, -kInf, 1, 0, true},
  };
  for (const Case& c : cases) {
    RunCheck check;
    check.value = c.value;
    check.threshold = c.threshold;
    check.expected = c.expected;
    check.comparison = c.comparison;
    EXPECT_EQ(judged(check).warn, c.warn) << c.value << " against " << c.threshold;
  }
}

TEST(RunChecks, LineFitRecoversALineAndRefusesTooFewPoints) {
  const std::vector<double> x = {0, 1, 2, 3, 4, 5};
  std::vector<double> y;
  for (double v : x) y.push_back(2.5 * v - 1);
  const LineFit exact = fitLine(x, y);
  EXPECT_DOUBLE_EQ(exact.slope, 2.5);
  EXPECT_DOUBLE_EQ(exact.intercept, -1);
  EXPECT_DOUBLE_EQ(exact.r2, 1);
  EXPECT_EQ(fitLine(x, y, 3).points, 3u);
  EXPECT_TRUE(std::isnan(fitLine(x, y, 4).slope)) << "two points";
  EXPECT_TRUE(std::isnan(fitLine({1, 1, 1}, {1, 2, 3}).slope)) << "no spread in x";
  y[2] += 1;
  const LineFit noisy = fitLine(x, y);
  EXPECT_LT(noisy.r2, 1);
  EXPECT_GT(noisy.r2, 0.9);
}

// x_K - x_K0 = A t^p over 0 .. 1000 s; the first half of the record is not fitted.
std::vector<double> powerLaw(const std::vector<double>& t, double A, double p) {
  std::vector<double> shifts;
  for (double v : t) shifts.push_back(A * std::pow(v, p));
  return shifts;
}

TEST(RunChecks, KirkendallExponentIsFittedOverTheSecondHalfOfTheRecord) {
  std::vector<double> t;
  for (int k = 0; k <= 1000; ++k) t.push_back(k);
  const RunCheck root = kirkendallExponentCheck(t, powerLaw(t, -3e-5, 0.5), 1e-3, false);
  EXPECT_NEAR(root.value, 0.5, 1e-12);
  EXPECT_FALSE(root.warn);
  EXPECT_TRUE(kirkendallExponentCheck(t, powerLaw(t, 3e-5, 0.6), 1e-3, false).warn);
  // A wrong start that only the first half of the record shows is not fitted.
  std::vector<double> late = powerLaw(t, 3e-5, 0.5);
  for (std::size_t k = 0; k < 400; ++k) late[k] = 1e-3;
  EXPECT_NEAR(kirkendallExponentCheck(t, late, 1e-3, false).value, 0.5, 1e-12);
  // A plane at rest, and a record without passes, have no exponent and warn of nothing.
  const RunCheck rest = kirkendallExponentCheck(t, std::vector<double>(t.size(), 1e-8), 1e-3, false);
  EXPECT_TRUE(std::isnan(rest.value));
  EXPECT_FALSE(rest.warn);
  EXPECT_FALSE(kirkendallExponentCheck({}, {}, 1e-3, false).warn);
  // A non-finite plane position warns.
  std::vector<double> broken = powerLaw(t, 3e-5, 0.5);
  broken.back() = kNaN;
  EXPECT_TRUE(kirkendallExponentCheck(t, broken, 1e-3, false).warn);
  EXPECT_NE(kirkendallExponentCheck(t, powerLaw(t, 3e-5, 0.5), 1e-3, true).meaning.find("end of the sample"),
            std::string::npos);
}

TEST(RunChecks, ParabolicGrowthAndFluxBalance) {
  std::vector<double> t, X, slowing;
  const double kp = 2e-13;  // cm^2/s
  for (int k = 1; k <= 200; ++k) {
    t.push_back(100.0 * k);
    X.push_back(std::sqrt(1e-12 + 2 * kp * t.back()));
    slowing.push_back(std::sqrt(2 * kp * std::pow(t.back(), 0.8)));
  }
  const auto steady = parabolicGrowthChecks(t, X, kp);
  ASSERT_EQ(steady.size(), 2u);
  EXPECT_NEAR(steady[0].value, 1, 1e-12);
  EXPECT_NEAR(steady[1].value, 1, 1e-9);
  EXPECT_FALSE(steady[0].warn || steady[1].warn);
  const auto slowed = parabolicGrowthChecks(t, slowing, kp);
  EXPECT_TRUE(slowed[1].warn) << describeCheck(slowed[1]);

  EXPECT_FALSE(fluxBalanceCheck(9.1e-11, 9.15e-11).warn);
  EXPECT_TRUE(fluxBalanceCheck(9.1e-11, 9.3e-11).warn);
  EXPECT_TRUE(fluxBalanceCheck(9.1e-11, 0).warn) << "no oxide flux: no balance";
}

TEST(RunChecks, InventoryOfAClosedAndOfAnOpenSample) {
  EXPECT_NEAR(inventoryCheck(0, 2, 2.001, false, 0).value, 5e-4, 1e-15);
  EXPECT_TRUE(inventoryCheck(0, 2, 2.1, false, 0).warn);
  // Open: what left through the ends is not a drift.
  const RunCheck open = inventoryCheck(1, 2, 1.5, true, -0.5);
  EXPECT_NEAR(open.value, 0, 1e-15);
  EXPECT_EQ(open.id, "inventory.2");
  EXPECT_TRUE(inventoryCheck(1, 2, 1.4, true, 0).warn) << "unaccounted for";
}

// ---- run.json ----

RunReport sampleReport() {
  RunReport report;
  report.provenance = {.program = "torvex-batch",
                       .commandLine = {"torvex-batch", "case \"1\".dat"},
                       .overrides = {{"D8", "1273"}},
                       .parameters = {{"T", "1273"}, {"D", "1e-9"}}};
  report.version = "3.4";
  report.gitRevision = "unknown";
  report.host = "node";
  report.startedUtc = "2026-12-08T22:41:07Z";
  report.inputFiles = {{"data", "case.dat", sha256Hex("x")}, {"diffusivities", "a.dfv", sha256Hex("")}};
  report.outcome.end = "completed";
  report.outcome.acceptedPasses = 12;
  report.outcome.finalTime = 0.1 + 0.2;  // a number that needs all 17 digits
  report.checks.push_back(judged({.id = "kirkendall.exponent",
                                  .title = "p",
                                  .value = 0.4987,
                                  .threshold = 0.02,
                                  .warn = false,
                                  .meaning = "square root",
                                  .comparison = CheckComparison::Near,
                                  .expected = 0.5}));
  report.checks.push_back(judged({.id = "bounds",
                                  .title = "bounds",
                                  .value = kNaN,
                                  .threshold = 1e-9,
                                  .warn = false,
                                  .meaning = "NaN",
                                  .comparison = CheckComparison::AtMost,
                                  .expected = 0}));
  return report;
}

TEST(RunReportFile, WrittenReportReadsBackAsWritten) {
  const RunReport report = sampleReport();
  const std::string text = runReportText(report);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_NE(text.find("\"ended_utc\": null"), std::string::npos) << "a run in hand has not ended";
  const RunReport back = parseRunReport(text, "run.json");
  EXPECT_EQ(back.provenance.commandLine, report.provenance.commandLine);
  EXPECT_EQ(back.provenance.parameters, report.provenance.parameters) << "in the order given";
  EXPECT_EQ(back.inputFiles.size(), 2u);
  EXPECT_EQ(back.inputFiles[1].sha256, sha256Hex(""));
  EXPECT_EQ(back.outcome.finalTime, 0.1 + 0.2) << "every digit";
  EXPECT_TRUE(std::isnan(back.outcome.smallestStep));
  ASSERT_EQ(back.checks.size(), 2u);
  EXPECT_EQ(back.checks[0].comparison, CheckComparison::Near);
  EXPECT_EQ(back.checks[0].expected, 0.5);
  EXPECT_FALSE(back.checks[0].warn);
  EXPECT_TRUE(back.checks[1].warn);
  EXPECT_EQ(describeCheck(back.checks[0]), "\u2713 p: 0.4987 (0.5 \u00B1 0.02)");
  EXPECT_EQ(describeCheck(back.checks[1]), "\u26A0 bounds: not finite or not measured (at most 1E-9) \u2014 NaN");
  EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

// A note (a known property of the model, outside its bound) is written and
// read as "note" and shown with an information sign and its meaning; a
// report written before notes existed, which says "warn" for the same check,
// reads as written; an unknown status is refused naming the check.
TEST(RunReportFile, NotesAreWrittenReadAndShownApartFromWarnings) {
  RunReport report = sampleReport();
  RunCheck note = judged({.id = "frame.volume_fixed_unequal_volumes",
                          .title = "volume-fixed form with unequal molar volumes",
                          .value = 0.38,
                          .threshold = 0.01,
                          .warn = false,
                          .note = true,
                          .meaning = "The partial molar volumes differ.",
                          .comparison = CheckComparison::AtMost,
                          .expected = 0});
  report.checks = {note};
  const std::string text = runReportText(report);
  EXPECT_NE(text.find("\"status\": \"note\""), std::string::npos) << text;
  const RunReport back = parseRunReport(text, "run.json");
  ASSERT_EQ(back.checks.size(), 1u);
  EXPECT_TRUE(back.checks[0].warn && back.checks[0].note);
  EXPECT_EQ(describeCheck(back.checks[0]),
            "\u2139 volume-fixed form with unequal molar volumes: 0.38 (at most 0.01) \u2014 The partial molar "
            "volumes differ.");

  std::string old = text;
  old.replace(old.find("\"note\""), 6, "\"warn\"");
  const RunReport earlier = parseRunReport(old, "run.json");
  EXPECT_TRUE(earlier.checks[0].warn);
  EXPECT_FALSE(earlier.checks[0].note);
  EXPECT_EQ(std::string(checkStatus(earlier.checks[0])), "warn");

  std::string unknown = text;
  unknown.replace(unknown.find("\"note\""), 6, "\"meh\"");
  EXPECT_NE(test::messageOf<InputError>([&] {
              parseRunReport(unknown, "run.json");
            }).find("run.json: checks[0].status is \"meh\", not pass, note or warn"),
            std::string::npos);
}

// The heat treatment is a key of its own, present only when the run had a
// schedule or output times, and reads back as written, a step's two rows in
// order; the final temperature is T(t) of the rows.
TEST(RunReportFile, HeatTreatmentIsWrittenOnlyWhenTheRunHadOneAndReadsBack) {
  RunReport report = sampleReport();
  EXPECT_EQ(runReportText(report).find("heat_treatment"), std::string::npos);
  report.heatTreatment = {
      ScheduleRecord{"ramp.csv", sha256Hex("r"), {{0, 1073, 2}, {3600, 1273, 3}, {7200, 1273, 4}, {7200, 973, 5}}},
      {0.1 + 0.2, 600},
      {}};
  const HeatTreatmentRecord back = parseRunReport(runReportText(report), "run.json").heatTreatment;
  ASSERT_TRUE(back.schedule && back.schedule->rows.size() == 4);
  EXPECT_EQ(back.schedule->sha256, sha256Hex("r"));
  EXPECT_EQ(back.schedule->rows[3].temperature, 973);
  EXPECT_EQ(back.outputTimes, report.heatTreatment.outputTimes);
  EXPECT_EQ(describeHeatTreatment(back, 1800), "  schedule          ramp.csv (sha256 " + sha256Hex("r").substr(0, 12) +
                                                   "), 4 rows, T from 973 to 1273 K, 1173 K at the final time\n"
                                                   "  output times      2, from 0.3 to 600 s\n");
}

// The cycles are kept as their description, the life and the scale's books
// only by a life run; a life not reached is null and reads back as none, and
// the summary reads the life alone from a report.
TEST(RunReportFile, CyclesAndLifeAreWrittenOnlyForALifeRunAndReadBack) {
  RunReport report = sampleReport();
  const std::string plain = runReportText(report);
  EXPECT_EQ(plain.find("\"life\""), std::string::npos);
  EXPECT_EQ(plain.find("\"scale\""), std::string::npos);
  report.heatTreatment.cycles = CyclesRecord{"10000:3600@1373,600@300", 0, 10000, 4200};
  LifeRecord life;
  life.condition = "N1<0.04";
  life.lifeSeconds = 7200.5;
  life.scale = true;
  life.retainedThickness = 2e-4;
  life.spalledMetal = 3e-6;
  life.consumedMetal = 5e-6;
  life.spalls = 12;
  life.spallLaw = "0.005,1";
  life.oxide = "1.5,15.999";
  life.massChange = -0.01;
  life.oxygenGain = 0.2;
  life.spallLoss = -0.21;
  report.life = life;
  const std::string text = runReportText(report);
  EXPECT_LT(text.size(), plain.size() + 1500) << "cycles and books take a few lines, whatever the count";
  const RunReport back = parseRunReport(text, "run.json");
  ASSERT_TRUE(back.heatTreatment.cycles && back.life);
  EXPECT_EQ(back.heatTreatment.cycles->text, "10000:3600@1373,600@300");
  EXPECT_EQ(back.heatTreatment.cycles->count, 10000);
  EXPECT_EQ(back.life->lifeSeconds, 7200.5);
  EXPECT_EQ(back.life->spalls, 12);
  EXPECT_EQ(back.life->spallLoss, -0.21);
  EXPECT_EQ(back.life->oxide, "1.5,15.999");
  EXPECT_NE(describeHeatTreatment(back.heatTreatment, 3600)
                .find("10000:3600@1373,600@300 from 0 s, period 4200 s, "
                      "300 K at the final time"),
            std::string::npos);
  EXPECT_EQ(describeLife(*back.life), "7200.5 s (2.00013888888889 h)");

  report.life->lifeSeconds.reset();
  const std::string lasting = runReportText(report);
  EXPECT_NE(lasting.find("\"life_s\": null"), std::string::npos);
  EXPECT_FALSE(parseRunReport(lasting, "run.json").life->lifeSeconds);
  EXPECT_EQ(describeLife(*report.life), "not reached");
}

// A receding surface is recorded in the heat treatment and with the lengths
// it started and ended with; a report without it has neither key, and one
// of the wrong kind is refused by name.
TEST(RunReportFile, RecedingSurfaceIsWrittenOnlyForARecedingRunAndReadBack) {
  RunReport report = sampleReport();
  EXPECT_EQ(runReportText(report).find("receding"), std::string::npos);
  report.heatTreatment.receding = true;
  report.life.emplace();
  report.life->receding = true;
  report.life->startLength = 0.002;
  report.life->length = 0.0019;
  const std::string text = runReportText(report);
  EXPECT_NE(text.find("\"recession_cm\": 0.0001"), std::string::npos) << text;
  const RunReport back = parseRunReport(text, "run.json");
  EXPECT_TRUE(back.heatTreatment.receding);
  ASSERT_TRUE(back.life && back.life->receding);
  EXPECT_EQ(back.life->startLength, 0.002);
  EXPECT_EQ(back.life->length, 0.0019);
  std::string damaged = text;
  damaged.replace(damaged.find("\"receding\": true"), 16, "\"receding\": 1");
  EXPECT_NE(test::messageOf<InputError>([&] { parseRunReport(damaged, "run.json"); })
                .find("heat_treatment.receding is 1, not true or false"),
            std::string::npos);
}

TEST(RunReportFile, DamagedReportsAreRefusedNamingWhatIsWrong) {
  const std::string good = runReportText(sampleReport());
  const auto refusal = [](const std::string& text) {
    return test::messageOf<InputError>([&] { parseRunReport(text, "dir/run.json"); });
  };
  EXPECT_NE(refusal(good.substr(0, good.size() / 2)).find("dir/run.json: not a run report ("), std::string::npos);
  EXPECT_NE(refusal("[1, 2]").find("not a JSON object"), std::string::npos);
  EXPECT_NE(refusal("{\"format\": \"other\"}").find("format \"other\""), std::string::npos);
  std::string wrong = good;
  wrong.replace(wrong.find("\"accepted_passes\": 12"), 21, "\"accepted_passes\": \"x\"");
  EXPECT_NE(refusal(wrong).find("outcome.accepted_passes is \"x\", not a whole number"), std::string::npos)
      << refusal(wrong);
  wrong = good;
  wrong.replace(wrong.find("\"status\": \"pass\""), 16, "\"status\": \"fine\"");
  EXPECT_NE(refusal(wrong).find("checks[0].status is \"fine\""), std::string::npos) << refusal(wrong);
  EXPECT_NE(test::messageOf<InputError>([] { readRunReport("no/such/folder"); }).find("no/such/folder/run.json"),
            std::string::npos);

  // The heat treatment's values of the wrong kind, named by their key.
  RunReport scheduled = sampleReport();
  scheduled.heatTreatment = {ScheduleRecord{"heat.csv", "", {{0, 1073, 2}, {60, 1173, 3}}}, {30}, {}};
  const std::string withSchedule = runReportText(scheduled);
  for (const auto& [from, to, message] : std::vector<std::array<std::string, 3>>{
           {"1173.0", "\"hot\"", "schedule.rows[1] is [60.0,\"hot\"], not a pair [time in s, temperature in K]"},
           {"\"rows\": [", "\"rows\": 5, \"x\": [", "schedule.rows is 5, not a list"},
           {"30.0", "\"30\"", "output_times_s[0] is \"30\", not a number"}}) {
    std::string damaged = withSchedule;
    damaged.replace(damaged.find(from), from.size(), to);
    EXPECT_NE(refusal(damaged).find("dir/run.json: heat_treatment." + message), std::string::npos) << refusal(damaged);
  }
}

}  // namespace
}  // namespace torvex
