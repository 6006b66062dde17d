// torvex-batch as a user meets it: commands, output and exit status.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "model/sha256.h"
#include "results/run_report.h"
#include "support/batch_process.h"
#include "support/case_file.h"
#include "support/test_files.h"

namespace torvex {
namespace {

using test::ScratchDirectory;

using test::contains;
using test::Outcome;

Outcome runBatch(const std::string& directory, const std::string& arguments, const std::string& prefix = "") {
  return test::runProgram(TORVEX_BATCH_PATH, directory, arguments, prefix);
}

TEST(BatchCli, UsageAndHelp) {
  ScratchDirectory dir;
  const auto help = runBatch(dir.path(), "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(contains(help.output, "--check CASE.dat")) << help.output;
  EXPECT_EQ(runBatch(dir.path(), "").status, 2);
  EXPECT_EQ(runBatch(dir.path(), "--check").status, 2);
  EXPECT_EQ(runBatch(dir.path(), "--frobnicate x").status, 2);
}

TEST(BatchCli, WritesSamplesAndChecksBothCases) {
  ScratchDirectory dir;
  ASSERT_EQ(runBatch(dir.path(), "--write-samples .").status, 0);
  const auto inter = runBatch(dir.path(), "--check interdiffusion.dat");
  EXPECT_EQ(inter.status, 0) << inter.output;
  EXPECT_TRUE(contains(inter.output, "components        3")) << inter.output;
  EXPECT_TRUE(contains(inter.output, "matrix from inter_diff.dfv")) << inter.output;
  EXPECT_TRUE(contains(inter.output, "left end  (at.%)  85  0.5  14.5")) << inter.output;
  EXPECT_TRUE(contains(inter.output, "right end (at.%)  0.5  25  74.5")) << inter.output;
  const auto oxid = runBatch(dir.path(), "--check oxidation.dat");
  EXPECT_EQ(oxid.status, 0) << oxid.output;
  EXPECT_TRUE(contains(oxid.output, "selective oxidation from oxid_flux.flx")) << oxid.output;
}

TEST(BatchCli, InvalidInputExitsWithStatusOneAndAMessage) {
  ScratchDirectory dir;
  EXPECT_EQ(runBatch(dir.path(), "--check missing.dat").status, 1);

  test::writeBytes(dir.file("garbage.dat"), std::string("\0\1\2\3binary", 10));
  const auto garbage = runBatch(dir.path(), "--check garbage.dat");
  EXPECT_EQ(garbage.status, 1);
  EXPECT_TRUE(contains(garbage.output, "garbage.dat: not a text file")) << garbage.output;

  test::CaseFile huge;
  huge.value("D0") = "99999999";
  huge.write(dir.file("huge.dat"));
  const auto refused = runBatch(dir.path(), "--check huge.dat");
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(contains(refused.output, "key D0")) << refused.output;

  // Missing diffusivity lines: the fatal error text, exactly, then where.
  test::writeLines(dir.file("one.dfv"), {"1e-10"});
  test::CaseFile shortFile;
  shortFile.value("D9") = "0 one.dfv";
  shortFile.write(dir.file("short.dat"));
  const auto fatal = runBatch(dir.path(), "--check short.dat");
  EXPECT_EQ(fatal.status, 1);
  EXPECT_EQ(fatal.output,
            "ERROR 2. Check input files. (diffusivities function error)\n"
            "short.dat, line 21, key D9: the diffusivity file one.dfv holds only 1 of the 2 formula lines it needs, "
            "one per component (key D0)\n");

  // A switch value the load keeps but no run can use.
  test::CaseFile equations;
  equations.value("D13") = "2";
  equations.write(dir.file("equations.dat"));
  const auto unusable = runBatch(dir.path(), "--check equations.dat");
  EXPECT_EQ(unusable.status, 1);
  EXPECT_TRUE(contains(unusable.output, "equations.dat, key D13: the constitutive equations 2 cannot be computed"))
      << unusable.output;

  // The conservative scheme runs, and its frame is volume-fixed whatever
  // key D14 asks for.
  test::CaseFile scheme;
  scheme.value("D14") = "1";
  scheme.value("D16") = "3";
  scheme.write(dir.file("scheme.dat"));
  const auto conservative = runBatch(dir.path(), "--check scheme.dat");
  EXPECT_EQ(conservative.status, 0) << conservative.output;
  EXPECT_TRUE(contains(conservative.output,
                       "reference frame   volume-fixed, conservative face fluxes (D16 = 3); key "
                       "D14 has no effect with D16 = 3\n"))
      << conservative.output;
}

// A small closed binary case that reaches its end in a few hundred passes.
test::CaseFile shortRun() {
  test::CaseFile file;
  file.value("D1") = "0   2";
  file.value("D2") = "20";
  file.value("D3") = "0.001";
  file.value("D9") = "0 run.dfv";
  return file;
}

void writeDiffusivities(const ScratchDirectory& dir, const std::string& formula) {
  test::writeLines(dir.file("run.dfv"), {"###Torvex_v2.3###", "# 1", formula, "# 2", formula, "#end"});
}

TEST(BatchCli, RunsACaseToItsEndOrForAGivenNumberOfPasses) {
  ScratchDirectory dir;
  writeDiffusivities(dir, "1e-7");
  shortRun().write(dir.file("run.dat"));
  const auto complete = runBatch(dir.path(), "run.dat");
  EXPECT_EQ(complete.status, 0) << complete.output;
  EXPECT_TRUE(contains(complete.output, "Run of run.dat: the run reached its end time.")) << complete.output;
  EXPECT_TRUE(contains(complete.output, "final time        2 s (end time 2 s)")) << complete.output;
  EXPECT_TRUE(contains(complete.output, "results           " + dir.file("results"))) << complete.output;
  EXPECT_TRUE(contains(test::readBytes(dir.file("results/at_out.dat")), "Current time:       2\r\n"));

  const auto limited = runBatch(dir.path(), "--quiet --max-passes 7 run.dat");
  EXPECT_EQ(limited.status, 0) << limited.output;
  EXPECT_TRUE(contains(limited.output, "stopped before its end time")) << limited.output;
  EXPECT_TRUE(contains(limited.output, "passes            7 (")) << limited.output;
  EXPECT_FALSE(contains(test::readBytes(dir.file("results/at_out.dat")), "Current time:       2\r\n"));

  EXPECT_EQ(runBatch(dir.path(), "--max-passes x run.dat").status, 2);
  EXPECT_EQ(runBatch(dir.path(), "run.dat other.dat").status, 2);
}

// --names puts the names into every results file that names components, and
// torvex-plot takes a measured column by name; names that cannot stand in a
// header are refused before anything runs, naming the option and the text.
TEST(BatchCli, ComponentNamesReachTheFilesTheChartsAndTheMeasuredColumns) {
  ScratchDirectory dir;
  ASSERT_EQ(runBatch(dir.path(), "--write-samples .").status, 0);
  const auto run = runBatch(dir.path(), "--quiet --max-passes 30 --names Cu,Fe,Ni interdiffusion.dat");
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string history = test::readBytes(dir.file("results/history.csv"));
  EXPECT_TRUE(history.starts_with("time_s,x_cm,component,at_pct,wt_pct,name\n0,-0.1,1,85,")) << history.substr(0, 80);
  EXPECT_TRUE(contains(history, "\n0,-0.099,3,14.5,")) << "positions without the grid's rounding";
  EXPECT_TRUE(test::readBytes(dir.file("results/series.csv"))
                  .starts_with("time_s,dt_s,kirkendall_cm,Cu_left_at_pct,Cu_right_at_pct,Fe_left_at_pct,"))
      << test::readBytes(dir.file("results/series.csv")).substr(0, 120);
  EXPECT_EQ(readRunReport(dir.file("results")).componentNames, (std::vector<std::string>{"Cu", "Fe", "Ni"}));
  EXPECT_TRUE(contains(runBatch(dir.path(), "--check --names Cu,Fe,Ni interdiffusion.dat").output,
                       "components        3 (Cu, Fe, Ni)"));
  EXPECT_TRUE(contains(runBatch(dir.path(), "--report results").output, "components        Cu, Fe, Ni"));

  test::writeBytes(dir.file("scan.csv"), "x_um,Ni_at_pct\n-50,14.6\n0,40\n50,74\n");
  const auto plot = test::runProgram(TORVEX_PLOT_PATH, dir.path(), "results --measured scan.csv --format svg");
  ASSERT_EQ(plot.status, 0) << plot.output;
  EXPECT_TRUE(contains(test::readBytes(dir.file("results/plots/profiles.csv")), "Ni")) << "the legend's names";
  EXPECT_TRUE(contains(test::readBytes(dir.file("results/plots/measured_overlay.svg")), "Ni measured"));

  for (const auto& [names, message] : std::vector<std::pair<std::string, std::string>>{
           {"Cu,Fe", "--names: 'Cu,Fe' gives 2 names for 3 components"},
           {"Cu,Fe,Fe", "--names: the name of component 3, 'Fe', repeats the name of component 2 ('Fe')"},
           {"Cu,Fe,3Ni", "--names: the name of component 3, '3Ni', is not a name"}}) {
    const auto refused = runBatch(dir.path(), "--quiet --names " + names + " --results refused interdiffusion.dat");
    EXPECT_EQ(refused.status, 1) << names;
    EXPECT_TRUE(contains(refused.output, message)) << refused.output;
    EXPECT_FALSE(std::filesystem::exists(dir.file("refused/history.csv"))) << names;
  }
}

// A schedule and output times from the command line: a run that lands on them
// ends as usual; a bad schedule or an output time outside the run is refused
// before anything runs, naming the file, the line and the text (status 1),
// and --check refuses it the same way.
TEST(BatchCli, ScheduleAndOutputTimesAreReadOrRefusedBeforeTheRun) {
  ScratchDirectory dir;
  writeDiffusivities(dir, "1e-7*exp((T-1000)/500)");
  shortRun().write(dir.file("run.dat"));
  test::writeBytes(dir.file("heat.csv"), "time_s,T_K\n0,1000\n1,1200\n");
  const auto run = runBatch(dir.path(), "--quiet --schedule heat.csv --output-times 0.25,0.5:1.5:3 run.dat");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(contains(run.output, "final time        2 s (end time 2 s)")) << run.output;
  EXPECT_TRUE(contains(run.output, "  schedule          heat.csv (sha256 " +
                                       sha256Hex(test::readBytes(dir.file("heat.csv"))).substr(0, 12) +
                                       "), 2 rows, T from 1000 to 1200 K, 1200 K at the final "
                                       "time\n  output times      4, from 0.25 to 1.5 s\n"))
      << run.output;

  test::writeBytes(dir.file("bad.csv"), "time_s,T_K\n0,1000\n1,-3\n");
  struct Case {
    std::string arguments, message;
  };
  for (const Case& c : std::vector<Case>{
           {"--schedule bad.csv", "Invalid input: bad.csv, line 3: '1,-3': the temperature must be above 0 K"},
           {"--schedule missing.csv", "missing.csv: the schedule file cannot be read"},
           {"--output-times 1,3", "--output-times: '3': the output time 3 s lies outside the run"},
           {"--output-times 1,0.5", "--output-times: '0.5': the output times must increase"}}) {
    std::filesystem::remove_all(dir.file("results"));
    const auto refused = runBatch(dir.path(), "--quiet " + c.arguments + " run.dat");
    EXPECT_EQ(refused.status, 1) << c.arguments << "\n" << refused.output;
    EXPECT_TRUE(contains(refused.output, c.message)) << refused.output;
    EXPECT_FALSE(std::filesystem::exists(dir.file("results/at_out.dat"))) << c.arguments;
    const auto check = runBatch(dir.path(), "--check " + c.arguments + " run.dat");
    EXPECT_EQ(check.status, 1) << c.arguments << "\n" << check.output;
    EXPECT_TRUE(contains(check.output, c.message)) << check.output;
  }
  EXPECT_EQ(runBatch(dir.path(), "run.dat --schedule").status, 2);
}

// Cooled to 1e-30 K the oxidation sample's step falls below what its clock at
// 1800 s can resolve; the run used to go on there for ever, writing its
// records. It ends at that time as a vanished step (status 3).
TEST(BatchCli, ARunWhoseStepCannotMoveTheClockEnds) {
  ScratchDirectory dir;
  ASSERT_EQ(runBatch(dir.path(), "--write-samples .").status, 0);
  test::writeBytes(dir.file("cold.csv"), "time_s,T_K\n0,1073\n1800,1e-30\n");
  const auto run = runBatch(dir.path(), "--quiet --schedule cold.csv oxidation.dat");
  EXPECT_EQ(run.status, 3) << run.output;
  EXPECT_TRUE(contains(run.output, "could no longer move the clock, before the end time at t = 1800 s")) << run.output;
  EXPECT_EQ(readRunReport(dir.file("results")).outcome.end, "step_vanished");
}

// A diffusivity formula that turns NaN (the logarithm of a negative number
// under oxidation, where the step control used to shrink the step for ever;
// a logarithm that turns negative with time in a couple) ends the run as
// non-finite at the pass where it happens, naming the formula.
TEST(BatchCli, ANonFiniteFormulaEndsTheRunNamingIt) {
  ScratchDirectory dir;
  ASSERT_EQ(runBatch(dir.path(), "--write-samples .").status, 0);
  std::string diffusivities = test::readBytes(dir.file("oxid_diff.dfv"));
  diffusivities.replace(diffusivities.find("3.1e-12"), 7, "3.1e-12*log(-1)");
  test::writeBytes(dir.file("oxid_diff.dfv"), diffusivities);
  const auto oxidation = runBatch(dir.path(), "--quiet oxidation.dat");
  EXPECT_EQ(oxidation.status, 3) << oxidation.output;
  EXPECT_TRUE(contains(oxidation.output,
                       "the diffusivity formula of component 1 (oxid_diff.dfv), "
                       "\"3.1e-12*log(-1)\" at T = 1123 K, gave NaN at grid point"))
      << oxidation.output;
  EXPECT_EQ(readRunReport(dir.file("results")).outcome.end, "non_finite");

  writeDiffusivities(dir, "1e-7*(1+log(1.5-t))");
  shortRun().write(dir.file("run.dat"));
  const auto couple = runBatch(dir.path(), "--quiet run.dat");
  EXPECT_EQ(couple.status, 3) << couple.output;
  const RunOutcome outcome = readRunReport(dir.file("results")).outcome;
  EXPECT_EQ(outcome.end, "non_finite");
  EXPECT_GT(outcome.finalTime, 1.5);
  EXPECT_LT(outcome.finalTime, 2);
  EXPECT_TRUE(contains(outcome.message, "the diffusivity formula of component 1 (run.dfv), \"1e-7*(1+log(1.5-t))\""))
      << outcome.message;
}

// run.json records the schedule a run followed (the file, the digest of its
// bytes as read, CR LF and all, its rows, a step included) and the output
// times; --report repeats them. A run without them has no heat_treatment key.
TEST(BatchCli, RunReportRecordsTheScheduleAndTheOutputTimes) {
  ScratchDirectory dir;
  writeDiffusivities(dir, "1e-7*exp((T-1000)/500)");
  shortRun().write(dir.file("run.dat"));
  const std::string schedule = "time_s,T_K\r\n0,1073\r\n0.5,1273.5\r\n\r\n1.5,1273.5\r\n1.5,1100\r\n";
  test::writeBytes(dir.file("heat.csv"), schedule);
  ASSERT_EQ(runBatch(dir.path(), "--quiet --schedule heat.csv --output-times 0.1,0.7:1.3:3 run.dat").status, 0);
  const HeatTreatmentRecord recorded = readRunReport(dir.file("results")).heatTreatment;
  ASSERT_TRUE(recorded.schedule.has_value());
  EXPECT_EQ(recorded.schedule->sha256, sha256Hex(schedule));
  std::vector<std::pair<double, double>> rows;
  for (const ScheduleRow& row : recorded.schedule->rows) rows.emplace_back(row.time, row.temperature);
  EXPECT_EQ(rows, (std::vector<std::pair<double, double>>{{0, 1073}, {0.5, 1273.5}, {1.5, 1273.5}, {1.5, 1100}}));
  EXPECT_EQ(recorded.outputTimes, (std::vector<double>{0.1, 0.7, 1, 1.3}));
  const auto shown = runBatch(dir.path(), "--report results");
  EXPECT_TRUE(contains(shown.output, "  schedule          heat.csv (sha256 " + sha256Hex(schedule).substr(0, 12) +
                                         "), 4 rows, T from 1073 to 1273.5 K, 1100 K at the final time\n"
                                         "  output times      4, from 0.1 to 1.3 s\n"))
      << shown.output;

  ASSERT_EQ(runBatch(dir.path(), "--quiet run.dat").status, 0);
  EXPECT_FALSE(contains(test::readBytes(dir.file("results/run.json")), "heat_treatment"));
}

// --integrator chooses the loop: a name other than rk and bdf is a usage
// error; --check tells the tolerances D4 maps to; a bdf run records its
// integrator and work in run.json (an rk run's report keeps its keys), and a
// profile whose rates are NaN from the start ends it as the explicit loop's.
TEST(BatchCli, TheIntegratorIsChosenOnTheCommandLineAndRecordedForBdfRuns) {
  ScratchDirectory dir;
  writeDiffusivities(dir, "1e-7");
  shortRun().write(dir.file("run.dat"));
  const auto unknown = runBatch(dir.path(), "--integrator euler run.dat");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_TRUE(contains(unknown.output, "--integrator needs rk or bdf, not 'euler'")) << unknown.output;
  EXPECT_EQ(runBatch(dir.path(), "run.dat --integrator").status, 2);
  const auto check = runBatch(dir.path(), "--check --integrator bdf run.dat");
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_TRUE(contains(check.output, "  integrator        bdf, from the error 0.0001: relative tolerance "))
      << check.output;

  const auto run = runBatch(dir.path(), "--quiet --integrator bdf --output-times 1 run.dat");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(contains(run.output, "final time        2 s (end time 2 s)")) << run.output;
  const RunReport report = readRunReport(dir.file("results"));
  ASSERT_TRUE(report.integrator.has_value());
  EXPECT_EQ(report.integrator->name, "bdf");
  EXPECT_EQ(report.integrator->steps, report.outcome.acceptedPasses);
  EXPECT_GT(report.integrator->rightHandSideEvaluations, report.integrator->steps);
  EXPECT_GT(report.integrator->absoluteTolerance, 0);
  ASSERT_EQ(runBatch(dir.path(), "--quiet run.dat").status, 0);
  EXPECT_FALSE(contains(test::readBytes(dir.file("results/run.json")), "\"integrator\""));

  writeDiffusivities(dir, "log(N1-2)");
  const auto nan = runBatch(dir.path(), "--quiet --integrator bdf run.dat");
  EXPECT_EQ(nan.status, 3) << nan.output;
  EXPECT_TRUE(contains(nan.output, "at the start of pass 1, t = 0 s")) << nan.output;
}

// The summary ends with what the chosen equations do differently from the
// closed-form theory a reader may compare with: the oxidation sample (volume-
// fixed form, unequal molar volumes, an open end that lets the lattice in)
// gets two notes, not warnings (nothing failed); a closed couple with equal
// volumes passes; the exit status stays 0 either way.
TEST(BatchCli, SummaryNotesWhereTheFormDepartsFromTheory) {
  ScratchDirectory dir;
  ASSERT_EQ(runBatch(dir.path(), "--write-samples .").status, 0);
  const auto oxidation = runBatch(dir.path(), "--quiet --max-passes 3000 oxidation.dat");
  EXPECT_EQ(oxidation.status, 0) << oxidation.output;
  EXPECT_TRUE(contains(oxidation.output, "\u2139 volume-fixed form with unequal molar volumes: 0.37999"))
      << oxidation.output;
  EXPECT_TRUE(contains(oxidation.output, "\u2139 inventory of component 2 (no boundary flux): 0.01"))
      << oxidation.output;
  EXPECT_FALSE(contains(oxidation.output, "\u26A0 volume-fixed")) << oxidation.output;
  const RunReport report = readRunReport(dir.file("results"));
  const auto volumes = std::find_if(report.checks.begin(), report.checks.end(),
                                    [](const RunCheck& c) { return c.id == "frame.volume_fixed_unequal_volumes"; });
  ASSERT_NE(volumes, report.checks.end());
  EXPECT_EQ(std::string(checkStatus(*volumes)), "note");
  EXPECT_TRUE(contains(test::readBytes(dir.file("results/run.json")), "\"status\": \"note\""));
  EXPECT_FALSE(contains(oxidation.output, "inventory of component 1")) << oxidation.output;

  writeDiffusivities(dir, "1e-7");
  test::CaseFile couple = shortRun();
  couple.value("D11") = "7.1 7.1";
  couple.write(dir.file("run.dat"));
  const auto equal = runBatch(dir.path(), "--quiet run.dat");
  EXPECT_EQ(equal.status, 0) << equal.output;
  EXPECT_TRUE(contains(equal.output, "\u2713 volume-fixed form with unequal molar volumes: 0 (at most 0.01)\n"))
      << equal.output;
  EXPECT_FALSE(contains(equal.output, "\u26A0")) << equal.output;
}

// Compiled and textual formulas must leave the same files, byte for byte: the
// oxidation case (diffusivity and flux formulas) and the couple with its
// chemical-potential derivatives read from activities.act.
TEST(BatchCli, TextualFormulasLeaveTheSameResultsFiles) {
  for (const bool activitiesFromFile : {false, true}) {
    ScratchDirectory compiled;
    ScratchDirectory textual;
    std::string caseName = "oxidation.dat";
    for (const ScratchDirectory* dir : {&compiled, &textual}) {
      ASSERT_EQ(runBatch(dir->path(), "--write-samples .").status, 0);
      if (activitiesFromFile) {
        caseName = "activities.dat";
        std::string text = test::readBytes(dir->file("interdiffusion.dat"));
        const std::size_t mode = text.find("   1 activities.act");
        ASSERT_NE(mode, std::string::npos);
        text[mode + 3] = '3';
        test::writeBytes(dir->file(caseName), text);
      }
    }
    const std::string passes = activitiesFromFile ? "--max-passes 3 " : "--max-passes 300 ";
    ASSERT_EQ(runBatch(compiled.path(), "--quiet " + passes + caseName).status, 0);
    ASSERT_EQ(runBatch(textual.path(), "--quiet --textual-formulas " + passes + caseName).status, 0);
    for (const char* name : {"at_out.dat", "wt_out.dat", "continue.dat", "diffusivities.dat", "Kirk_plane.dat",
                             "boundary_flux.dat", "fluxes_comparition.dat"}) {
      const std::string file = std::string("results/") + name;
      EXPECT_EQ(test::readBytes(compiled.file(file)), test::readBytes(textual.file(file))) << caseName << " " << name;
    }
  }
}

// The text from "Checks:" to the end.
std::string checksOf(const std::string& output) {
  const std::size_t at = output.find("Checks:\n");
  return at == std::string::npos ? std::string() : output.substr(at);
}

TEST(BatchCli, PrintsTheChecksAfterTheSummaryAndAWarningDoesNotFailTheRun) {
  ScratchDirectory dir;
  // Unequal diffusivities on a sample so narrow that the diffusion zone
  // reaches its ends: the Kirkendall plane no longer moves as the root of time.
  test::writeLines(dir.file("run.dfv"), {"# 1", "1e-7", "# 2", "3e-7"});
  shortRun().write(dir.file("run.dat"));
  const auto run = runBatch(dir.path(), "--quiet run.dat");
  EXPECT_EQ(run.status, 0) << run.output;
  const std::string checks = checksOf(run.output);
  EXPECT_LT(run.output.find("  results   "), run.output.find("Checks:\n")) << run.output;
  EXPECT_TRUE(contains(checks, "\n  \u2713 Molar ratios within [0, 1], summing to 1: ")) << run.output;
  EXPECT_TRUE(contains(checks, "\n  \u2713 Inventory of component 2: ")) << run.output;
  EXPECT_TRUE(contains(checks, "\n  \u26A0 Kirkendall plane exponent p (x_K - x_K0 = A t^p): 0.")) << run.output;

  const auto report = runBatch(dir.path(), "--report results");
  EXPECT_EQ(report.status, 0) << report.output;
  EXPECT_TRUE(contains(report.output, "Run of run.dat (torvex-batch ")) << report.output;
  EXPECT_TRUE(contains(report.output, "the run reached its end time.")) << report.output;
  EXPECT_EQ(checksOf(report.output), checks);

  const auto missing = runBatch(dir.path(), "--report nowhere");
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(contains(missing.output, "nowhere/run.json: the run report cannot be read")) << missing.output;
  EXPECT_EQ(runBatch(dir.path(), "--report").status, 2);
}

TEST(BatchCli, RunThatGoesNumericallyWrongDoesNotLookLikeSuccess) {
  ScratchDirectory dir;
  writeDiffusivities(dir, "log(N1-2)");  // NaN at every point
  shortRun().write(dir.file("nan.dat"));
  const auto outcome = runBatch(dir.path(), "--quiet nan.dat");
  EXPECT_EQ(outcome.status, 3) << outcome.output;
  EXPECT_TRUE(contains(outcome.output, "the diffusivity formula of component 1 (run.dfv), \"log(N1-2)\""))
      << outcome.output;
  EXPECT_TRUE(contains(outcome.output, "gave NaN at grid point")) << outcome.output;
  // The rates of the very first pass are NaN whatever its step: the run stops
  // there instead of dividing the step down to 0.
  EXPECT_TRUE(contains(outcome.output, "at the start of pass 1, t = 0 s")) << outcome.output;
  EXPECT_TRUE(contains(outcome.output, "passes            0 (")) << outcome.output;
  EXPECT_TRUE(std::filesystem::exists(dir.file("results/at_out.dat")));
  EXPECT_TRUE(contains(outcome.output, "\u26A0 Molar ratios within [0, 1], summing to 1: not finite"))
      << outcome.output;

  test::CaseFile never = shortRun();
  never.value("D17") = "0   10";
  never.write(dir.file("never.dat"));
  writeDiffusivities(dir, "1e-7");
  const auto refused = runBatch(dir.path(), "never.dat");
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(contains(refused.output, "never.dat, key D17: the numbers of passes between refreshes and between"))
      << refused.output;
}

// Every value line of the sample couple changed to something that describes
// no physical case: the run and --check both refuse it with status 1 and a
// message naming the key, and no results are written.
TEST(BatchCli, MeaninglessValuesAreRefusedByTheRunAndByCheck) {
  ScratchDirectory dir;
  ASSERT_EQ(runBatch(dir.path(), "--write-samples .").status, 0);
  const std::string sample = test::readBytes(dir.file("interdiffusion.dat"));
  struct Change {
    const char* from;  // a value line of the sample, whole
    const char* to;
    const char* message;
  };
  const Change changes[] = {
      {"   1273\r\n", "   -5\r\n", "key D8: the temperature -5 K must be above 0 K"},
      {"   1273\r\n", "   0\r\n", "key D8: the temperature 0 K"},
      {"   1.0\r\n", "   0\r\n", "key D9a: the correlation factor 0 must be positive"},
      {"   1.0\r\n", "   -1\r\n", "key D9a: the correlation factor -1 must be positive"},
      {"   1.0e-4\r\n#|D5|", "   -1\r\n#|D5|", "key D4: the concentration error -1 must be positive"},
      {"   -0.1 85 0.5 ", "   -0.1 85 -5 ", "key D23: the content of component 2"},
      {"   -0.1 85 0.5 ", "   -0.1 85 35 ",
       "key D23: the contents on initial profile line 1 (\"-0.1 85 35 0.0 0.0 0.0\") sum to 120 %, which leaves -20 % "
       "to component 3"},
      {"   63.546 55.847 58.71", "   63.546 0 58.71", "key D10: the molar mass of component 2 is 0 g/mol"},
  };
  for (const Change& change : changes) {
    std::string text = sample;
    const std::size_t at = text.find(change.from);
    ASSERT_NE(at, std::string::npos) << change.from;
    text.replace(at, std::string(change.from).size(), change.to);
    test::writeBytes(dir.file("bad.dat"), text);
    const auto check = runBatch(dir.path(), "--check bad.dat");
    EXPECT_EQ(check.status, 1) << change.to << check.output;
    EXPECT_TRUE(contains(check.output, std::string("Invalid input: bad.dat, ") + change.message)) << check.output;
    const auto run = runBatch(dir.path(), "--quiet bad.dat");
    EXPECT_EQ(run.status, 1) << change.to << run.output;
    EXPECT_TRUE(contains(run.output, change.message)) << run.output;
    EXPECT_FALSE(std::filesystem::exists(dir.file("results"))) << change.to;
  }
}

// The first step of the sample couple made 1e30 s: it is clipped to the
// whole run, whose stages overflow to NaN; those passes are rejected and the
// step divided until passes are accepted, and the run ends normally.
TEST(BatchCli, HugeInitialStepEndsNormallyWithFiniteResults) {
  ScratchDirectory dir;
  ASSERT_EQ(runBatch(dir.path(), "--write-samples .").status, 0);
  std::string text = test::readBytes(dir.file("interdiffusion.dat"));
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"   0   612000\r\n", "   0   5000\r\n"},
                                 {"   1.0e-4\r\n#|D4|", "   1e30\r\n#|D4|"}}) {
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  }
  test::writeBytes(dir.file("huge.dat"), text);
  const auto outcome = runBatch(dir.path(), "--quiet huge.dat");
  EXPECT_EQ(outcome.status, 0) << outcome.output;
  EXPECT_TRUE(contains(outcome.output, "the run reached its end time")) << outcome.output;
  EXPECT_FALSE(contains(outcome.output, " 0 rejected)")) << outcome.output;
  const std::string profile = test::readBytes(dir.file("results/at_out.dat"));
  EXPECT_TRUE(contains(profile, "Current time:       5000\r\n"));
  EXPECT_FALSE(contains(profile, "NAN") || contains(profile, "INF")) << profile;
}

// A boundary flux that turns NaN once the clock passes 1 s: the run stops at
// the first pass that starts there, writes the profile of the last accepted
// pass and exits with status 3.
TEST(BatchCli, ProfileTurningNonFiniteMidRunStopsAtThatPass) {
  ScratchDirectory dir;
  writeDiffusivities(dir, "1e-7");
  test::writeLines(dir.file("late.flx"), {"# 1: left, right", "0   0*log(1-t)", "# 2", "0   0"});
  test::CaseFile file = shortRun();
  file.value("D21") = "1 late.flx 1e-6";
  file.write(dir.file("late.dat"));
  const auto outcome = runBatch(dir.path(), "--quiet late.dat");
  EXPECT_EQ(outcome.status, 3) << outcome.output;
  EXPECT_TRUE(contains(outcome.output, "the run stopped at a pass that started from a non-finite value"))
      << outcome.output;
  EXPECT_TRUE(contains(outcome.output, "0 rejected)")) << outcome.output;
  EXPECT_TRUE(contains(outcome.output, "the right boundary flux of component 1 (late.flx), \"0*log(1-t)\""))
      << outcome.output;
  EXPECT_TRUE(contains(outcome.output, "at the start of pass 110, t = 1.007 s")) << outcome.output;
  const std::string profile = test::readBytes(dir.file("results/at_out.dat"));
  EXPECT_TRUE(contains(profile, "Current time:       1.007\r\n")) << profile;
}

TEST(BatchCli, InterruptStopsTheRunAndWritesTheResults) {
  ScratchDirectory dir;
  writeDiffusivities(dir, "1e-7");
  test::CaseFile endless = shortRun();
  endless.value("D1") = "0   1e5";  // 10^8 passes: far longer than the test waits
  endless.value("D5") = "1e-3";
  endless.write(dir.file("long.dat"));
  // A background job of a script starts with Ctrl-C ignored; the runner
  // installs its own handler all the same.
  const auto outcome =
      runBatch(dir.path(), "--quiet long.dat & pid=$!; sleep 1; kill -INT $pid; wait $pid; echo status=$?");
  EXPECT_TRUE(contains(outcome.output, "status=130")) << outcome.output;
  EXPECT_TRUE(contains(outcome.output, "stopped before its end time")) << outcome.output;
  EXPECT_TRUE(std::filesystem::exists(dir.file("results/continue.dat")));
}

// The results folder of a complete run, file by file.
std::map<std::string, std::string> resultsOf(const ScratchDirectory& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.file("results")))
    if (entry.is_regular_file()) files[entry.path().filename().string()] = test::readBytes(entry.path().string());
  return files;
}

// A run whose saves fail: it ends at the first failed save with status 4,
// names the file and the reason, leaves every earlier file whole and no
// temporary file behind.
// Files that could still be written are at most `largestWritten` bytes long.
void expectFailedSaveKeepsTheEarlierFiles(const ScratchDirectory& dir, const std::string& prefix,
                                          const std::string& reason, std::size_t largestWritten) {
  // The seven results files, the history, the series and the run report.
  const auto before = resultsOf(dir);
  ASSERT_EQ(before.size(), 10u);
  const auto outcome = runBatch(dir.path(), "--quiet run.dat", prefix);
  EXPECT_EQ(outcome.status, 4) << outcome.output;
  EXPECT_TRUE(contains(outcome.output,
                       "the results could not be saved: results//at_out.dat: cannot write the file (" + reason + ")"))
      << outcome.output;
  // At the first save, after the first pass.
  EXPECT_TRUE(contains(outcome.output, "the run ended at t = 0.001 s;")) << outcome.output;
  const auto after = resultsOf(dir);
  ASSERT_EQ(after.size(), 10u) << "a temporary file was left behind";
  for (const auto& [name, content] : after) {
    const auto earlier = before.find(name);
    ASSERT_NE(earlier, before.end()) << name;
    if (content != earlier->second) {
      EXPECT_LE(content.size(), largestWritten) << name;
    }
  }
  EXPECT_EQ(after.at("at_out.dat"), before.at("at_out.dat"));
  EXPECT_EQ(after.at("continue.dat"), before.at("continue.dat"));
}

TEST(BatchCli, AFullDiskEndsTheRunWithTheFileAndTheReason) {
  ScratchDirectory dir;
  writeDiffusivities(dir, "1e-7");
  shortRun().write(dir.file("run.dat"));
  ASSERT_EQ(runBatch(dir.path(), "--quiet run.dat").status, 0);
  // A file size limit of 512 bytes fails every write beyond it as a full disk
  // would (the program ignores the signal the limit raises).
  expectFailedSaveKeepsTheEarlierFiles(dir, "ulimit -f 1;", "File too large", 512);
}

// A results folder that cannot be written is found before the run starts,
// with the system's reason (not a missing file), and nothing is touched: a
// read-only folder, one inside a read-only folder, and a file in its place.
TEST(BatchCli, AnUnwritableResultsFolderIsFoundBeforeTheRunStarts) {
  ScratchDirectory dir;
  writeDiffusivities(dir, "1e-7");
  shortRun().write(dir.file("run.dat"));
  ASSERT_EQ(runBatch(dir.path(), "--quiet run.dat").status, 0);
  const auto before = resultsOf(dir);
  std::filesystem::permissions(dir.file("results"), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  // The superuser writes into read-only folders; without the capability that
  // allows it, the folder's permissions apply to it too.
  std::string prefix;
  if (::geteuid() == 0) {
    prefix = "setpriv --bounding-set=-dac_override,-dac_read_search,-fowner";
    if (runBatch(dir.path(), "--help", prefix).status != 0) {
      GTEST_SKIP() << "cannot drop the superuser's capabilities";
    }
  }
  const auto readOnly = runBatch(dir.path(), "run.dat", prefix);
  EXPECT_EQ(readOnly.status, 4) << readOnly.output;
  EXPECT_TRUE(contains(readOnly.output, "results: cannot write into the folder (Permission denied)"))
      << readOnly.output;
  EXPECT_FALSE(contains(readOnly.output, "Run of run.dat")) << "the run started: " << readOnly.output;
  EXPECT_EQ(resultsOf(dir), before);
  const auto below = runBatch(dir.path(), "--results results/more run.dat", prefix);
  EXPECT_EQ(below.status, 4) << below.output;
  EXPECT_TRUE(contains(below.output, "results/more: cannot make the folder (Permission denied)")) << below.output;
  std::filesystem::permissions(dir.file("results"), std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add);

  test::writeBytes(dir.file("taken"), "a file\n");
  const auto file = runBatch(dir.path(), "--results taken run.dat");
  EXPECT_EQ(file.status, 4) << file.output;
  EXPECT_TRUE(contains(file.output, "taken: cannot make the folder")) << file.output;
  EXPECT_FALSE(contains(file.output, "Run of run.dat")) << file.output;
  EXPECT_EQ(test::readBytes(dir.file("taken")), "a file\n");
}

TEST(BatchCli, UnwritableSampleDirectoryIsReported) {
  ScratchDirectory dir;
  const auto outcome = runBatch(dir.path(), "--write-samples no/such/dir");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_TRUE(contains(outcome.output, "interdiffusion.dat: cannot write")) << outcome.output;
}

// A template run with --set and --param leaves the case as it was run in
// results/case; running that copy gives the same results files byte for byte,
// and the user's files keep their placeholders.
TEST(BatchCli, OverridesAndParametersRenderACaseThatRepeatsTheRun) {
  ScratchDirectory dir;
  writeDiffusivities(dir, "{{D}}*exp(-{{Q}}/(8.314*T))");
  test::CaseFile file = shortRun();
  file.value("D8") = "{{T}}";
  file.write(dir.file("run.dat"));
  const auto first = runBatch(dir.path(),
                              "--quiet --set 'D1=0 1' --set D2=30 --param D=2e-3 --param Q=1.2e5 "
                              "--param T=1273 run.dat");
  ASSERT_EQ(first.status, 0) << first.output;
  EXPECT_TRUE(contains(first.output, "final time        1 s")) << first.output;
  const std::string rendered = test::readBytes(dir.file("results/case/run.dat"));
  EXPECT_TRUE(contains(rendered, "   0 1\r\n")) << rendered;
  EXPECT_TRUE(contains(rendered, "   1273\r\n")) << rendered;
  EXPECT_TRUE(contains(test::readBytes(dir.file("results/case/run.dfv")), "2e-3*exp(-1.2e5/(8.314*T))"));
  EXPECT_TRUE(contains(test::readBytes(dir.file("run.dfv")), "{{D}}"));
  const auto results = resultsOf(dir);

  // The copy alone, run from another folder, reads its own side file.
  const auto again = runBatch(dir.path(), "--quiet --results again results/case/run.dat");
  ASSERT_EQ(again.status, 0) << again.output;
  for (const auto& [name, bytes] : results) {
    if (name != "run.json") {  // it records the command line and the clock
      EXPECT_EQ(test::readBytes(dir.file("again/" + name)), bytes) << name;
    }
  }
  const std::string report = test::readBytes(dir.file("results/run.json"));
  EXPECT_TRUE(contains(report, "\"key\": \"D2\",\n        \"value\": \"30\"")) << report;
  EXPECT_TRUE(contains(report, "\"Q\": \"1.2e5\"")) << report;

  // --check takes the same options and leaves the last run's case alone.
  const auto check = runBatch(dir.path(), "--check --set D8=1400 --param D=1e-3 --param Q=1e5 run.dat");
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_TRUE(contains(check.output, "With 1 key override(s) and 2 parameter(s) applied.")) << check.output;
  EXPECT_EQ(test::readBytes(dir.file("results/case/run.dat")), rendered);
}

TEST(BatchCli, RefusesOverridesAndParametersThatMeanNothing) {
  ScratchDirectory dir;
  writeDiffusivities(dir, "{{D}}");
  shortRun().write(dir.file("run.dat"));
  struct Refusal {
    const char* arguments;
    const char* message;
  };
  const Refusal refusals[] = {
      {"--set D99=1 --param D=1e-7", "--set D99=1: there is no key \"D99\""},
      {"--set D8=hot --param D=1e-7", "--set D8=hot: \"hot\" is not a real number (D8 holds the temperature [K])"},
      {"--set 'D10=58.69' --param D=1e-7", "one per component needs 2"},
      {"--param D=1e-7 --param T=1000", "--param T=1000: no {{T}} stands in run.dat or the side files it names"},
      {"", "run.dfv, line 3: the placeholder {{D}} has no value"},
      {"--param 'D 1'", "expected NAME=VALUE"},
  };
  for (const Refusal& refusal : refusals) {
    for (const char* mode : {"--quiet", "--check"}) {
      const auto outcome = runBatch(dir.path(), std::string(mode) + " " + refusal.arguments + " run.dat");
      EXPECT_EQ(outcome.status, 1) << refusal.arguments << "\n" << outcome.output;
      EXPECT_TRUE(contains(outcome.output, refusal.message)) << refusal.arguments << "\n" << outcome.output;
      EXPECT_FALSE(std::filesystem::exists(dir.file("results/at_out.dat"))) << refusal.arguments;
    }
  }
}

}  // namespace
}  // namespace torvex

namespace torvex {
namespace {

// --check shows what the run would follow: the temperature of D8, or the
// schedule that replaces it and the output times; and whether the
// temperature can act at all (a warning when the user set it). A run says
// the same after its summary.
TEST(BatchCli, CheckShowsTheTemperatureTheRunFollowsAndWhetherItCanAct) {
  ScratchDirectory dir;
  ASSERT_EQ(runBatch(dir.path(), "--write-samples .").status, 0);
  const auto plain = runBatch(dir.path(), "--check oxidation.dat");
  EXPECT_TRUE(contains(plain.output, "  temperature       1123 K (D8)\n")) << plain.output;
  EXPECT_TRUE(contains(plain.output, "  effect of T       \u2139 The temperature changes nothing in this case"))
      << plain.output;
  const auto chosen = runBatch(dir.path(), "--check --set D8=1273 oxidation.dat");
  EXPECT_TRUE(contains(chosen.output, "  temperature       1273 K (D8)\n")) << chosen.output;
  EXPECT_TRUE(contains(chosen.output, "  effect of T       \u26A0 The temperature changes nothing")) << chosen.output;
  const auto couple = runBatch(dir.path(), "--check --set D8=873 interdiffusion.dat");
  EXPECT_TRUE(contains(couple.output, "\u26A0 The temperature enters this case only through the mobility"))
      << couple.output;

  test::writeBytes(dir.file("heat.csv"), "time_s,T_K\n0,1073\n3600,1273\n");
  const auto scheduled = runBatch(dir.path(), "--check --schedule heat.csv --output-times 600:3600:6 oxidation.dat");
  EXPECT_EQ(scheduled.status, 0) << scheduled.output;
  EXPECT_TRUE(contains(scheduled.output,
                       "  temperature       schedule heat.csv (D8 = 1123 K is not used): 2 rows; 1073 K at 0 s, "
                       "1273 K at 3600 s; 1073 K at the start, 1273 K at the end\n"
                       "  output times      6: 600, 1200, 1800, 2400, 3000, 3600 s\n"))
      << scheduled.output;
  EXPECT_TRUE(contains(scheduled.output, "\u26A0 The temperature changes nothing")) << scheduled.output;

  const auto habit = runBatch(dir.path(), "--check --output-times 3600:39600:3600 oxidation.dat");
  EXPECT_EQ(habit.status, 1);
  EXPECT_TRUE(contains(habit.output, "'3600:39600:3600' is read as start:stop:count, 3600 times")) << habit.output;

  const auto run = runBatch(dir.path(), "--quiet --max-passes 5 --set D8=1273 oxidation.dat");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(contains(run.output, "  effect of T       \u26A0 The temperature changes nothing")) << run.output;
}

// The life options: --check describes them, a run that reaches its critical
// content ends with status 0 and its life in the summary, run.json and the
// series' own columns; one that does not says "not reached" and keeps the
// life null; settings that cannot run are refused with status 1, naming the
// option and what is wrong.
TEST(BatchCli, LifeOptionsRunToTheCriticalContentOrAreRefused) {
  ScratchDirectory dir;
  ASSERT_EQ(runBatch(dir.path(), "--write-samples .").status, 0);
  const auto check = runBatch(dir.path(),
                              "--check --cycles 10:3000@1123,600@300 --spall 0.1 --oxide 1.5 --critical 'N1<0.15' "
                              "oxidation.dat");
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_TRUE(contains(check.output,
                       "temperature       cycles 10:3000@1123,600@300 from 0 s to 36000 s (period "
                       "3600 s)"))
      << check.output;
  EXPECT_TRUE(contains(check.output,
                       "life              spallation 0.1,0 at every cool-down, oxide 1.5,15.999, ends "
                       "at N1<0.15\n"))
      << check.output;

  const auto spent = runBatch(dir.path(),
                              "--quiet --set 'D1=0 1000' --set D2=20 --cycles 2:300@1123,200@1123 "
                              "--spall 0.2 --oxide 1.5 --critical 'N1<0.15' oxidation.dat");
  EXPECT_EQ(spent.status, 0) << spent.output;
  EXPECT_TRUE(contains(spent.output, "the run reached its critical content (end of life)")) << spent.output;
  const RunReport report = readRunReport(dir.file("results"));
  EXPECT_EQ(report.outcome.end, "critical_content");
  ASSERT_TRUE(report.life && report.life->lifeSeconds);
  EXPECT_GT(*report.life->lifeSeconds, 0);
  EXPECT_LE(*report.life->lifeSeconds, report.outcome.finalTime);
  ASSERT_TRUE(report.heatTreatment.cycles);
  EXPECT_EQ(report.heatTreatment.cycles->text, "2:300@1123,200@1123");
  EXPECT_FALSE(report.heatTreatment.schedule);
  const std::string series = test::readBytes(dir.file("results/series.csv"));
  EXPECT_EQ(
      series.substr(0, series.find('\n')),
      "time_s,dt_s,kirkendall_cm,N1_left_at_pct,N1_right_at_pct,N2_left_at_pct,N2_right_at_pct,oxide_thickness_cm,"
      "kp_cm2_s,cycle,"
      "spalled_metal_mol_cm2,consumed_metal_mol_cm2,mass_change_mg_cm2,mass_change_oxygen_mg_cm2,"
      "mass_change_spalled_mg_cm2,watched_N1");

  // The implicit integrator takes the same options: it reaches the same
  // life, within what the two integrate the scale to, and without the
  // critical content it runs on through both cool-downs, spalling at each.
  const std::string cycled =
      "--quiet --integrator bdf --set 'D1=0 1000' --set D2=20 --cycles 2:300@1123,200@1123 "
      "--spall 0.2 --oxide 1.5 oxidation.dat";
  const auto implicit = runBatch(dir.path(), "--critical 'N1<0.15' " + cycled);
  EXPECT_EQ(implicit.status, 0) << implicit.output;
  const RunReport bdf = readRunReport(dir.file("results"));
  EXPECT_EQ(bdf.outcome.end, "critical_content");
  ASSERT_TRUE(bdf.integrator && bdf.life && bdf.life->lifeSeconds);
  EXPECT_EQ(bdf.integrator->name, "bdf");
  EXPECT_NEAR(*bdf.life->lifeSeconds, *report.life->lifeSeconds, 0.01 * *report.life->lifeSeconds);
  const auto spalling = runBatch(dir.path(), cycled);
  EXPECT_EQ(spalling.status, 0) << spalling.output;
  const RunReport books = readRunReport(dir.file("results"));
  EXPECT_EQ(books.outcome.end, "completed");
  ASSERT_TRUE(books.life);
  EXPECT_EQ(books.life->spalls, 2);
  EXPECT_GT(books.life->spalledMetal, 0);

  const auto lasting = runBatch(dir.path(), "--quiet --set 'D1=0 10' --set D2=20 --critical 'N1<0.001' oxidation.dat");
  EXPECT_EQ(lasting.status, 0) << lasting.output;
  EXPECT_TRUE(contains(lasting.output, "  life              not reached (N1<0.001)\n")) << lasting.output;
  const std::string json = test::readBytes(dir.file("results/run.json"));
  EXPECT_TRUE(contains(json, "\"life_s\": null")) << json;
  EXPECT_TRUE(contains(json, "\"result\": \"not reached\"")) << json;

  struct Refusal {
    std::string arguments, message;
  };
  for (const Refusal& r : std::vector<Refusal>{
           {"--spall 0.1 oxidation.dat", "--spall: the scale spalls when a cycle cools down"},
           {"--critical 'N3<0.1' oxidation.dat", "--critical: 'N3<0.1': the case has 2 components, N1 to N2"},
           {"--critical 'N1<1.5' oxidation.dat", "between 0 and 1, both excluded"},
           {"--critical 'N1<0' oxidation.dat", "between 0 and 1, both excluded"},
           {"--cycles 10:0@1373,600@300 oxidation.dat", "--cycles: '10:0@1373,600@300': the hot hold must last"},
           {"--cycles 10:3600@1373,-5@300 oxidation.dat", "--cycles: '10:3600@1373,-5@300'"},
           {"--cycles 2:1@1000,1@300 --spall 0.1 interdiffusion.dat", "spallation needs selective oxidation"}}) {
    for (const char* mode : {"--quiet ", "--check "}) {
      const auto refused = runBatch(dir.path(), mode + r.arguments);
      EXPECT_EQ(refused.status, 1) << r.arguments << "\n" << refused.output;
      EXPECT_TRUE(contains(refused.output, r.message)) << refused.output;
    }
  }
}

}  // namespace
}  // namespace torvex
