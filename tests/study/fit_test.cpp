// The fit: its file's refusals, the checks before any run, and recovery of
// known diffusivities from profiles made by a run with them (Slow...: whole
// fits, left out of the sanitizer stage).

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "model/heat_treatment.h"
#include "model/measured_profile.h"
#include "model/number_format.h"
#include "results/units.h"
#include "run/integrator.h"
#include "run/refresh.h"
#include "run/simulation.h"
#include "study/case_template.h"
#include "study/fit.h"
#include "study/fit_config.h"
#include "support/case_file.h"
#include "support/test_files.h"

namespace torvex {
namespace {

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A binary couple, 20 µm wide, whose self-diffusivities are {{DA}} and {{DB}}.
void writeBinaryCase(int points = 41, const std::string& end = "3600") {
  test::CaseFile c;
  c.value("D1") = "0   " + end;
  c.value("D2") = std::to_string(points);
  c.value("D4") = "1e-7";
  c.value("D5") = "100";
  c.value("D9") = "0 binary.dfv";
  c.value("D11") = "6.59 6.59";
  c.value("D17") = "100000   100000";
  c.profile = {"0.0 90 0.0 0.0 0.0", "0.002 10 0.0 0.0 0.0"};
  c.write("binary.dat");
  writeText("binary.dfv", "# 1\n{{DA}}\n# 2\n{{DB}}\n");
}

// A ternary couple whose self-diffusivities are placeholders; every
// component's content changes across the interface.
void writeTernaryCase() {
  test::CaseFile c;
  c.value("D0") = "3";
  c.value("D1") = "0   3600";
  c.value("D2") = "41";
  c.value("D4") = "1e-7";
  c.value("D5") = "100";
  c.value("D9") = "0 ternary.dfv";
  c.value("D10") = "63.546 55.847 58.71";
  c.value("D11") = "7.1 7.09 6.59";
  c.value("D17") = "100000   100000";
  c.profile = {"0 70 10 0 0 0", "0.002 10 20 0 0 0"};
  c.write("ternary.dat");
  writeText("ternary.dfv", "# 1\n{{D1}}\n# 2\n{{D2}}\n# 3\n{{D3}}\n");
}

// Runs the case with the parameters to `time` and samples its at.% profile at
// `count` points across the middle of the sample; noise (at.%) from a fixed
// seed; positions written shifted by -shiftUm.
void writeMeasured(const std::string& dataFile, const std::vector<CaseParameter>& parameters, double time,
                   const std::string& out, int count, double noise = 0.0, double shiftUm = 0.0,
                   const char* schedule = nullptr) {
  const RenderedCase rendered = renderCase(dataFile, {{DataKey::D1, "0 " + formatGeneral(time)}}, parameters);
  const std::string path = writeRenderedCase(rendered, "truth");
  Simulation model;
  model.resultsDirectory = "truth/results";
  model.load(path, {.sideFileDirectory = "truth"});
  if (schedule != nullptr)
    model.input.heatTreatment.schedule =
        std::make_shared<const TemperatureSchedule>(parseSchedule(schedule, "truth.csv"));
  DirectRunHost host(model);
  const RunSummary summary = Execute(model, host);
  ASSERT_EQ(summary.end, RunEnd::Completed);
  std::mt19937 random(20261208);
  std::normal_distribution<double> gauss(0.0, noise);
  const int r = model.input.componentCount;
  std::string text = "x_um";
  for (int c = 1; c <= r; ++c) text += ",N" + std::to_string(c) + "_at_pct";
  text += "\n";
  const double left = model.state.position.front() + 0.1 * model.input.initial.sampleWidth;
  const double span = 0.8 * model.input.initial.sampleWidth;
  for (int k = 0; k < count; ++k) {
    const double x = left + span * k / (count - 1);
    text += formatGeneral(x * 1e4 - shiftUm);
    for (int c = 0; c < r; ++c) {
      std::vector<double> percent;
      for (int p = 0; p < model.input.pointCount; ++p) {
        double total = 0;
        for (int j = 0; j < r; ++j) total += model.state.concentration[j][p];
        percent.push_back(100 * model.state.concentration[c][p] / total);
      }
      text +=
          "," + formatGeneral(InterpolateLinear(model.state.position, percent, x) + (noise > 0 ? gauss(random) : 0.0));
    }
    text += "\n";
  }
  writeText(out, text);
}

const char* kBinaryFit = R"(case = "binary.dat"
[[parameter]]
name = "DA"
initial = 3e-10
lower = 1e-14
upper = 1e-6
[[parameter]]
name = "DB"
initial = 9e-11
[[profile]]
file = "measured.csv"
time = 3600
)";

TEST(FitConfigFile, ReadsEverySetting) {
  const FitConfig config = parseFitConfig(R"(case = "couple.dat"
output = "out"
concentration_error = 1e-8
step = 0.02
max_iterations = 7
integrator = "bdf"
[set]
D2 = "200"
[[parameter]]
name = "DA"
initial = 1e-10
lower = 1e-12
upper = 1e-8
[[parameter]]
name = "x0"
initial = -2
log = false
[[profile]]
file = "m.csv"
time = 3600
shift_um = 1.5
fit_shift = true
uncertainty = 0.3
weight = 2
)",
                                          "work/a.toml");
  EXPECT_EQ(config.casePath, "work/couple.dat");
  EXPECT_EQ(config.output, "out");
  EXPECT_EQ(config.concentrationError, 1e-8);
  EXPECT_EQ(config.step, 0.02);
  EXPECT_EQ(config.maxIterations, 7);
  EXPECT_EQ(config.integrator, Integrator::Bdf);
  ASSERT_EQ(config.overrides.size(), 1u);
  EXPECT_EQ(config.overrides[0].key, DataKey::D2);
  ASSERT_EQ(config.parameters.size(), 2u);
  EXPECT_TRUE(config.parameters[0].logScale);
  EXPECT_EQ(config.parameters[0].lower, 1e-12);
  EXPECT_FALSE(config.parameters[1].logScale);
  EXPECT_EQ(config.parameters[1].initial, -2);
  ASSERT_EQ(config.profiles.size(), 1u);
  EXPECT_EQ(config.profiles[0].file, "work/m.csv");
  EXPECT_EQ(config.profiles[0].shiftUm, 1.5);
  EXPECT_TRUE(config.profiles[0].fitShift);
  EXPECT_EQ(config.profiles[0].uncertainty, 0.3);
  EXPECT_EQ(config.profiles[0].weight, 2);
}

TEST(FitConfigFile, RefusesWhatCannotMeanAFit) {
  const std::string good =
      "case = \"c.dat\"\n[[parameter]]\nname = \"D\"\ninitial = 1e-10\n"
      "[[profile]]\nfile = \"m.csv\"\ntime = 10\n";
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"case = \n", "f.toml, line 1"},
      {"colour = 3\n" + good, "key 'colour': unknown key"},
      {"[[parameter]]\nname = \"D\"\ninitial = 1\n[[profile]]\nfile = \"m\"\ntime = 1\n", "key 'case': missing"},
      {"case = \"c.dat\"\n[[profile]]\nfile = \"m\"\ntime = 1\n", "key 'parameter': missing"},
      {"case = \"c.dat\"\n[[parameter]]\nname = \"D\"\ninitial = 1\n", "key 'profile': missing"},
      {good + "[[parameter]]\nname = \"D\"\ninitial = 1\n", "'D' is fitted twice"},
      {good + "[[parameter]]\nname = \"E\"\ninitial = 1\nlower = 2\n", "the bound 2 excludes the initial value 1"},
      {good + "[[parameter]]\nname = \"E\"\ninitial = 5\nupper = 2\n", "the bound 2 excludes the initial value 5"},
      {good + "[[parameter]]\nname = \"E\"\ninitial = 1\nlower = 3\nupper = 2\n", "is not above the lower bound"},
      {good + "[[parameter]]\nname = \"E\"\ninitial = -1\n", "initial value must be positive, not -1"},
      {good + "[[parameter]]\nname = \"E\"\ninitial = 1\nlower = 0\n", "lower bound must be positive"},
      {good + "[[parameter]]\nname = \"E\"\ninitial = \"1e-9\"\n", "needs a finite number, not '1e-9'"},
      {good + "[[parameter]]\nname = \"E\"\ninitial = nan\nlog = false\n", "needs a finite number"},
      {good + "[[profile]]\nfile = \"n.csv\"\ntime = -1\n", "key 'profile[2].time': must be positive"},
      {good + "[[profile]]\nfile = \"n.csv\"\n", "the anneal time [s] of n.csv"},
      {good + "[[profile]]\nfile = \"n.csv\"\ntime = 1\nuncertainty = 0\n", "profile[2].uncertainty"},
      {good + "[[profile]]\nfile = \"n.csv\"\ntime = 1\nfit_shift = 1\n", "needs true or false"},
      {good + "[set]\nD99 = \"1\"\n", "key 'set.D99'"},
      {"step = 2\n" + good, "key 'step': must lie in (0, 0.5]"},
      {"max_iterations = 1.5\n" + good, "key 'max_iterations'"},
      {"integrator = \"euler\"\n" + good, "key 'integrator': must be \"rk\" or \"bdf\", not \"euler\""},
      {"schedule = 1273\n" + good, "f.toml, line 1, key 'schedule': needs a file name"},
      {"schedule = [[0, 1273, 5]]\n" + good, "key 'schedule': a row is [time_s, T_K]"},
      {"schedule = [[0, true]]\n" + good, "key 'schedule': a row holds numbers or texts"},
      {"schedule = []\n" + good, "key 'schedule': the list of rows is empty"},
      {"schedule = \"absent.csv\"\n" + good, "the schedule file absent.csv cannot be read"},
      {"schedule = [[0, \"{{Tx}}\"]]\n" + good, "f.toml, line 1: the placeholder {{Tx}} names no parameter"},
      {"output_times = { at = 5 }\n" + good, "key 'output_times': needs a list of times"},
      {"output_times = [5, \"soon\"]\n" + good, "output_times: 'soon': not a time in seconds"},
      {"cycles = \"2:0@1273,5@300\"\n" + good, "f.toml, line 1, cycles: '2:0@1273,5@300'"},
      {"receding = \"yes\"\n" + good, "f.toml, line 1, key 'receding': needs true or false"},
      // A fit runs to its measured times: a critical content has no place.
      {"critical = \"N1<0.1\"\n" + good, "critical"},
      {"names = \"Ni,Pt\"\n" + good, "f.toml, line 1, key 'names': needs a list of names"},
      {"names = [\"Ni\", 3]\n" + good, "key 'names': needs quoted names, not 3"},
      {"names = [\"Ni\", \"ni\"]\n" + good, "key 'names': the name of component 2, 'ni', repeats"},
  };
  // A receding surface fits as it runs: the measured positions are the
  // lab's, the profile's the moved grid's.
  EXPECT_TRUE(parseFitConfig("receding = true\n" + good, "f.toml").heatTreatment.receding);
  for (const auto& c : cases) {
    try {
      parseFitConfig(c.text, "f.toml");
      ADD_FAILURE() << "accepted:\n" << c.text;
    } catch (const InputError& error) {
      EXPECT_NE(std::string(error.what()).find(c.expected), std::string::npos)
          << "message: " << error.what() << "\nexpected: " << c.expected;
    }
  }
}

class FitCase : public ::testing::Test {
 protected:
  void SetUp() override {
    writeBinaryCase();
    writeMeasured("binary.dat", {{"DA", "1e-10"}, {"DB", "3e-11"}}, 3600, "measured.csv", 30);
  }
  void expectRefused(const std::string& text, const std::string& expected) {
    writeText("fit.toml", text);
    try {
      checkFit(readFitConfig("fit.toml"));
      ADD_FAILURE() << "accepted:\n" << text;
    } catch (const InputError& error) {
      EXPECT_NE(std::string(error.what()).find(expected), std::string::npos)
          << "message: " << error.what() << "\nexpected: " << expected;
    }
  }
  test::ScratchDirectory dir;
  test::ScopedWorkingDirectory cwd{dir.path()};
};
class FitCheck : public FitCase {};
class SlowFitRecovery : public FitCase {};

TEST_F(FitCheck, RefusesBeforeAnyRun) {
  checkFit(parseFitConfig(kBinaryFit, "fit.toml"));  // the good fit passes
  const std::string fit = kBinaryFit;
  // A parameter the case never uses.
  expectRefused(fit + "[[parameter]]\nname = \"DC\"\ninitial = 1e-10\n", "DC");
  // A measured time beyond the case's end.
  expectRefused(fit + "[[profile]]\nfile = \"measured.csv\"\ntime = 7200\n", "outside the case's process time");
  // Measured points outside the sample.
  expectRefused(fit + "[[profile]]\nfile = \"measured.csv\"\ntime = 60\nshift_um = 30\n", "lies outside the sample");
  // A measured component the case does not have.
  writeText("three.csv", "x_um,N3\n5,10\n");
  expectRefused(fit + "[[profile]]\nfile = \"three.csv\"\ntime = 60\n", "three.csv: component 3");
  // A measured file that is not there.
  expectRefused(fit + "[[profile]]\nfile = \"absent.csv\"\ntime = 60\n", "absent.csv");
  // A case that fails to load at the initial values: a diffusivity file
  // with one formula for two components.
  writeText("binary.dfv", "# 1\n{{DA}}*{{DB}}\n");
  expectRefused(fit, "binary.dat");
}

// The fit rewrites its case/ folder with the best case: an output folder
// holding the template or a measured file is refused, naming both, and a
// measured time so short that no run changes the profile is refused before
// the minimiser could call the untouched profile converged.
TEST_F(FitCheck, RefusesAnOutputFolderWithItsInputsAndTimesThatChangeNothing) {
  const std::string fit = kBinaryFit;
  expectRefused("output = \".\"\n" + fit, "The fit's output folder . holds the input binary.dat");
  std::filesystem::create_directories("scans");
  writeText("scans/measured.csv", test::readBytes("measured.csv"));
  std::string scans = "output = \"scans\"\n" + fit;
  scans.replace(scans.find("\"measured.csv\""), 14, "\"scans/measured.csv\"");
  expectRefused(scans, "The fit's output folder scans holds the input scans/measured.csv");

  std::string instant = fit;
  instant.replace(instant.find("time = 3600"), 11, "time = 1e-300");
  writeText("instant.toml", instant);
  const FitConfig config = readFitConfig("instant.toml");
  checkFit(config);  // nothing wrong to see without a run
  const std::string refusal = test::messageOf<InputError>([&] { runFit(config, {1, nullptr, {}}); });
  EXPECT_NE(refusal.find("at the measured time 1E-300 s the run at the initial values has left the initial "
                         "profile as it was"),
            std::string::npos)
      << refusal;
}

// The report's case folder holds the best case alone: what was there before
// is removed, links included, and never written through.
TEST_F(FitCheck, TheReportsCaseFolderIsWrittenAfresh) {
  writeText("mine.dfv", "# my own file\n");
  std::filesystem::create_directories("fit/case");
  writeText("fit/case/stale.dat", "from an earlier fit\n");
  std::filesystem::create_symlink(std::filesystem::absolute("mine.dfv"), "fit/case/binary.dfv");
  std::string quick = kBinaryFit;
  quick += "max_iterations = 0\n";
  quick.insert(0, "max_iterations = 0\n");
  quick.erase(quick.rfind("max_iterations = 0\n"));
  writeText("quick.toml", quick);
  const FitConfig config = readFitConfig("quick.toml");
  writeFitReport(config, runFit(config, {1, nullptr, {}}));
  EXPECT_EQ(test::readBytes("mine.dfv"), "# my own file\n");
  EXPECT_FALSE(std::filesystem::exists("fit/case/stale.dat"));
  EXPECT_FALSE(std::filesystem::is_symlink("fit/case/binary.dfv"));
  EXPECT_NE(test::readBytes("fit/case/binary.dfv").find("e-"), std::string::npos);  // the fitted values
}

// A heat treatment is checked with the rest of the fit, before any run.
TEST_F(FitCheck, RefusesAHeatTreatmentThatCannotBeRun) {
  const std::string fit = kBinaryFit;
  expectRefused("schedule = [[0, 1073], [60, 1173], [30, 1273]]\n" + fit,
                "fit.toml, line 1: '[30, 1273]': the times must increase (line 1 is at 60 s)");
  // Rows that use a parameter are checked as filled in at the initial values.
  expectRefused("schedule = [[0, \"{{DA}} K\"]]\n" + fit, "fit.toml, line 1: '[0, 3e-10 K]': the temperature is not");
  // The best-fit case runs to the latest measured time, 3600 s.
  expectRefused("output_times = [600, 4000]\n" + fit, "the output time 4000 s lies outside the run");
  writeText("anneal.csv", "time_s,T_K\n0,1073\n3600,-1\n");
  expectRefused("schedule = \"anneal.csv\"\n" + fit, "anneal.csv, line 3: '3600,-1': the temperature must be above");
}

class FitHeatTreatment : public FitCase {};

// The profiles of all measured times come from one run, which lands on each
// earlier time as an output time: each is the profile of a run that ends at
// its time within the integration's tolerance, and a fit with two times costs
// the runs of a fit with one.
TEST_F(FitHeatTreatment, OneRunServesEveryMeasuredTime) {
  writeMeasured("binary.dat", {{"DA", "1e-10"}, {"DB", "3e-11"}}, 1800, "early.csv", 20);
  const std::string head =
      "case = \"binary.dat\"\nmax_iterations = 0\n[[parameter]]\nname = \"DA\"\ninitial = 2e-10\n"
      "[[parameter]]\nname = \"DB\"\ninitial = 5e-11\n[[profile]]\nfile = \"early.csv\"\ntime = 1800\n";
  writeText("one.toml", head);
  writeText("two.toml", head + "[[profile]]\nfile = \"measured.csv\"\ntime = 3600\n");
  const FitResult one = runFit(readFitConfig("one.toml"), {1, nullptr, {}});
  const FitResult two = runFit(readFitConfig("two.toml"), {1, nullptr, {}});
  EXPECT_EQ(two.runs, one.runs);
  std::vector<double> early;
  for (const ResidualRow& row : two.residuals)
    if (row.profile == 0) early.push_back(row.simulated);
  ASSERT_EQ(early.size(), one.residuals.size());
  double largest = 0;
  for (std::size_t k = 0; k < early.size(); ++k)
    largest = std::max(largest, std::fabs(early[k] - one.residuals[k].simulated));
  // The run to 3600 s takes longer steps than one that ends at 1800 s (the
  // step grows unless the next interval would reach the end): 4e-10 at.%.
  EXPECT_LT(largest, 1e-6);
  // The late profile is the end of the run, not the early one again.
  EXPECT_NE(two.residuals.back().simulated, early.back());
}

// A fit renders and loads every trial case in memory and its runs write no
// results: while it iterates, nothing appears in the working directory or
// in the temporary directory.
class FitInMemory : public FitCase {};

TEST_F(FitInMemory, EvaluationsTouchNoFile) {
  namespace fs = std::filesystem;
  const fs::path temporary = dir.path() / "tmp";
  fs::create_directory(temporary);
  struct TemporaryDirectory {
    std::string previous;
    bool had = false;
    explicit TemporaryDirectory(const fs::path& path) {
      if (const char* value = std::getenv("TMPDIR")) {
        previous = value;
        had = true;
      }
      ::setenv("TMPDIR", path.c_str(), 1);
    }
    ~TemporaryDirectory() {
      if (had)
        ::setenv("TMPDIR", previous.c_str(), 1);
      else
        ::unsetenv("TMPDIR");
    }
  } tmpdir(temporary);
  const auto listing = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    return names;
  };
  writeText("fit.toml", kBinaryFit);
  const FitConfig config = readFitConfig("fit.toml");
  const std::vector<std::string> before = listing();
  // Two iterations of the minimiser, each with its Jacobian's runs.
  int iterations = 0;
  std::atomic<bool> stop{false};
  FitOptions options;
  options.interrupt = &stop;
  options.progress = [&](int iteration, double, double, const std::vector<double>&) {
    ++iterations;
    EXPECT_EQ(listing(), before) << "after iteration " << iteration;
    if (iteration >= 2) stop = true;
  };
  const FitResult result = runFit(config, options);
  EXPECT_GT(result.runs, 4);
  EXPECT_GE(iterations, 2);
  EXPECT_EQ(listing(), before);
}

// A fit's runs follow its schedule: profiles measured after a ramp and hold
// are matched exactly at the true values with the schedule (inline rows or
// a file), and not without it.
TEST_F(FitHeatTreatment, RunsFollowTheSchedule) {
  writeText("binary.dfv", "# 1\n{{DA}}*exp(20000*(1/1273-1/T))\n# 2\n{{DB}}*exp(20000*(1/1273-1/T))\n");
  const char* const ramp = "time_s,T_K\n0,1073\n1800,1273\n3600,1273\n";
  writeMeasured("binary.dat", {{"DA", "1e-10"}, {"DB", "3e-11"}}, 3600, "annealed.csv", 30, 0.0, 0.0, ramp);
  const std::string fit =
      "case = \"binary.dat\"\nmax_iterations = 0\n[[parameter]]\nname = \"DA\"\ninitial = 1e-10\n"
      "[[parameter]]\nname = \"DB\"\ninitial = 3e-11\n[[profile]]\nfile = \"annealed.csv\"\ntime = 3600\n";
  writeText("rows.toml", "schedule = [[0, 1073], [1800, 1273], [3600, 1273]]\n" + fit);
  writeText("anneal.csv", ramp);
  writeText("file.toml", "schedule = \"anneal.csv\"\n" + fit);
  writeText("none.toml", fit);
  for (const char* name : {"rows.toml", "file.toml"})
    EXPECT_LT(runFit(readFitConfig(name), {1, nullptr, {}}).profiles[0].rmsPercent, 1e-9) << name;
  // The report's case holds the schedule it ran with, and fit.json its rows.
  const FitConfig rows = readFitConfig("rows.toml");
  writeFitReport(rows, runFit(rows, {1, nullptr, {}}));
  EXPECT_EQ(test::readBytes("fit/case/schedule.csv"), ramp);
  const std::string json = test::readBytes("fit/fit.json");
  EXPECT_NE(json.find("\"heat_treatment\""), std::string::npos);
  EXPECT_NE(json.find("\"file\": \"case/schedule.csv\""), std::string::npos) << json;
  // At D8 = 1000 K throughout, the diffusivities are far smaller.
  EXPECT_GT(runFit(readFitConfig("none.toml"), {1, nullptr, {}}).profiles[0].rmsPercent, 1.0);
}

// Recovery within 1 % from a factor 3 off, no noise.
TEST_F(SlowFitRecovery, BinaryDiffusivities) {
  writeText("fit.toml", kBinaryFit);
  const FitResult result = runFit(readFitConfig("fit.toml"), {2, nullptr, {}});
  ASSERT_EQ(result.values.size(), 2u);
  EXPECT_TRUE(result.converged) << result.termination;
  EXPECT_NEAR(result.values[0].value / 1e-10, 1.0, 0.01);
  EXPECT_NEAR(result.values[1].value / 3e-11, 1.0, 0.01);
  EXPECT_LT(result.profiles[0].rmsPercent, 0.01);
  EXPECT_EQ(result.profiles[0].points, 60u);  // 30 points, two components
  EXPECT_GT(result.runs, 4);
}

// The same with every run made by the implicit integrator.
TEST_F(SlowFitRecovery, BinaryDiffusivitiesWithTheImplicitIntegrator) {
  writeText("fit.toml", "integrator = \"bdf\"\n" + std::string(kBinaryFit));
  const FitResult result = runFit(readFitConfig("fit.toml"), {2, nullptr, {}});
  ASSERT_EQ(result.values.size(), 2u);
  EXPECT_TRUE(result.converged) << result.termination;
  EXPECT_NEAR(result.values[0].value / 1e-10, 1.0, 0.01);
  EXPECT_NEAR(result.values[1].value / 3e-11, 1.0, 0.01);
}

// With 0.3 at.% noise: truth within 3 standard errors, RMS near 0.3.
TEST_F(SlowFitRecovery, NoisyProfileGivesHonestErrors) {
  writeMeasured("binary.dat", {{"DA", "1e-10"}, {"DB", "3e-11"}}, 3600, "noisy.csv", 60, 0.3);
  std::string fit = kBinaryFit;
  fit.replace(fit.find("measured.csv"), 12, "noisy.csv");
  writeText("fit.toml", fit + "uncertainty = 0.3\n");
  const FitResult result = runFit(readFitConfig("fit.toml"), {2, nullptr, {}});
  const double truth[] = {1e-10, 3e-11};
  for (std::size_t k = 0; k < 2; ++k) {
    ASSERT_TRUE(result.values[k].standardError) << result.covarianceNote;
    EXPECT_LT(std::fabs(result.values[k].value - truth[k]), 3 * *result.values[k].standardError)
        << result.values[k].name << " " << result.values[k].value << " ± " << *result.values[k].standardError;
  }
  EXPECT_NEAR(result.profiles[0].rmsPercent, 0.3, 0.06);
  EXPECT_GE(result.correlation[0][1], -1.0);
  EXPECT_LE(result.correlation[0][1], 1.0);
  EXPECT_DOUBLE_EQ(result.correlation[0][0], 1.0);
}

TEST_F(SlowFitRecovery, XShift) {
  writeMeasured("binary.dat", {{"DA", "1e-10"}, {"DB", "3e-11"}}, 3600, "shifted.csv", 40, 0.0, 1.3);
  std::string fit = kBinaryFit;
  fit.replace(fit.find("measured.csv"), 12, "shifted.csv");
  writeText("fit.toml", fit + "fit_shift = true\n");
  const FitResult result = runFit(readFitConfig("fit.toml"), {2, nullptr, {}});
  ASSERT_EQ(result.values.size(), 3u);
  const double gridUm = 20.0 / 40;
  EXPECT_NEAR(result.values[2].value, 1.3, 0.1 * gridUm);
  EXPECT_NEAR(result.values[0].value / 1e-10, 1.0, 0.01);
}

// A ternary couple in which every component's content changes across the
// interface, three self-diffusivities all three times too large; then the
// same with 0.3 at.% noise.
TEST_F(SlowFitRecovery, TernaryDiffusivities) {
  writeTernaryCase();
  const std::vector<CaseParameter> truthText = {{"D1", "1e-10"}, {"D2", "4e-11"}, {"D3", "2e-10"}};
  const double truth[] = {1e-10, 4e-11, 2e-10};
  const std::string fit = R"(case = "ternary.dat"
[[parameter]]
name = "D1"
initial = 3e-10
[[parameter]]
name = "D2"
initial = 1.2e-10
[[parameter]]
name = "D3"
initial = 6e-10
[[profile]]
time = 3600
)";
  writeMeasured("ternary.dat", truthText, 3600, "measured.csv", 50);
  writeText("fit.toml", fit + "file = \"measured.csv\"\n");
  const FitResult exact = runFit(readFitConfig("fit.toml"), {2, nullptr, {}});
  for (std::size_t k = 0; k < 3; ++k)
    EXPECT_NEAR(exact.values[k].value / truth[k], 1.0, 0.01)
        << exact.values[k].name << "; " << exact.termination << ", RMS " << exact.profiles[0].rmsPercent;

  writeMeasured("ternary.dat", truthText, 3600, "noisy.csv", 50, 0.3);
  writeText("fit.toml", fit + "file = \"noisy.csv\"\nuncertainty = 0.3\n");
  const FitResult noisy = runFit(readFitConfig("fit.toml"), {2, nullptr, {}});
  for (std::size_t k = 0; k < 3; ++k) {
    ASSERT_TRUE(noisy.values[k].standardError) << noisy.covarianceNote;
    EXPECT_LT(std::fabs(noisy.values[k].value - truth[k]), 3 * *noisy.values[k].standardError)
        << noisy.values[k].name << " " << noisy.values[k].value << " ± " << *noisy.values[k].standardError;
  }
  EXPECT_NEAR(noisy.profiles[0].rmsPercent, 0.3, 0.06);
}

// An interrupt after the first iteration ends the fit there; the report of
// the best point so far is written.
TEST_F(SlowFitRecovery, InterruptedFitReportsTheBestPointSoFar) {
  writeText("fit.toml", kBinaryFit);
  std::atomic<bool> stop{false};
  FitOptions options;
  options.interrupt = &stop;
  options.progress = [&](int iteration, double, double, const std::vector<double>&) {
    if (iteration >= 1) stop = true;
  };
  FitConfig config = readFitConfig("fit.toml");
  const FitResult result = runFit(config, options);
  EXPECT_TRUE(result.interrupted);
  EXPECT_FALSE(result.converged);
  EXPECT_LE(result.iterations, 2);
  writeFitReport(config, result);
  EXPECT_TRUE(std::filesystem::exists("fit/fit.json"));
  EXPECT_TRUE(std::filesystem::exists("fit/residuals.csv"));
  // The best-fit case holds the values, not the placeholders.
  const std::string dfv = test::readBytes("fit/case/binary.dfv");
  EXPECT_EQ(dfv.find("{{"), std::string::npos);
  EXPECT_NE(dfv.find(result.bestParameters[0].value), std::string::npos);
}

}  // namespace
}  // namespace torvex
