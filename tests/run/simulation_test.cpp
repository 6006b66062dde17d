// A run without a results folder: nothing is written, and the profiles of its
// saves, its records and its report are in memory, the same as the files of
// the same run with a folder.

#include "run/simulation.h"

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "model/number_format.h"
#include "model/text_list.h"
#include "results/results_files.h"
#include "results/run_data.h"
#include "results/units.h"
#include "support/load_fixture.h"
#include "support/sample_variant.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;

using InMemoryRun = test::LoadFixture;

std::vector<std::string> entriesOf(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) names.push_back(entry.path().string());
  return names;
}

TEST_F(InMemoryRun, KeepsTheSavesRecordsAndReportAFolderRunWrites) {
  // The oxidation sample for 20 s, saving every 50 passes: several saves,
  // all three records.
  test::writeSampleVariant("oxidation.dat", {{DataKey::D1, "0   20"}, {DataKey::D17, "50   50"}}, "short.dat");
  Simulation onDisk;
  onDisk.load("short.dat");
  test::runToEnd(onDisk);

  const std::vector<std::string> before = entriesOf(dir_.path());
  Simulation inMemory;
  inMemory.resultsDirectory.reset();
  inMemory.load("short.dat");
  const RunSummary summary = test::runToEnd(inMemory);
  EXPECT_EQ(summary.end, RunEnd::Completed);
  EXPECT_EQ(entriesOf(dir_.path()), before) << "a run without a results folder writes nothing";

  // The saves are the history's blocks, number for number.
  const RunData history = ReadRunData(kDefaultResultsFolder);
  const std::vector<SavedProfile>& saves = inMemory.journal.saves();
  ASSERT_EQ(saves.size(), history.frames.size());
  ASSERT_GT(saves.size(), 2u);
  const int r = inMemory.input.componentCount;
  const int n = inMemory.input.pointCount;
  for (std::size_t f = 0; f < saves.size(); ++f) {
    // The history writes the clock as formatGeneral does.
    EXPECT_EQ(parseReal(formatGeneral(saves[f].time)), history.frames[f].timeS) << f;
    for (int i = 0; i < r; ++i)
      for (int k = 0; k < n; ++k) {
        const std::size_t at = static_cast<std::size_t>(i * n + k);
        // The history holds 15 significant digits.
        EXPECT_NEAR(saves[f].atomic[i][k], history.frames[f].atPct[at], 1e-12 * 100) << f << " " << i << " " << k;
        EXPECT_NEAR(saves[f].weight[i][k], history.frames[f].wtPct[at], 1e-12 * 100) << f << " " << i << " " << k;
      }
  }
  const Table2<double> last = atomicPercent(inMemory.state.concentration);
  EXPECT_EQ(saves.back().atomic[0][n - 1], last[0][n - 1]);

  // The records are the files' lines.
  const auto linesOf = [](const char* name) {
    TextList lines;
    lines.loadFromFile(resultsFilePath(kDefaultResultsFolder, name));
    return lines.lines();
  };
  EXPECT_EQ(inMemory.records.kirkendall.lines(), linesOf(kKirkendallRecordFile));
  EXPECT_EQ(inMemory.records.boundary.lines(), linesOf(kBoundaryRecordFile));
  EXPECT_EQ(inMemory.records.fluxComparison.lines(), linesOf(kFluxComparisonFile));

  // The report's outcome and checks are those of the folder's report.
  const RunReport* report = inMemory.journal.lastReport();
  ASSERT_NE(report, nullptr);
  const RunReport written = readRunReport(kDefaultResultsFolder);
  EXPECT_EQ(report->outcome.end, "completed");
  EXPECT_EQ(report->outcome.acceptedPasses, written.outcome.acceptedPasses);
  EXPECT_EQ(report->outcome.saves, written.outcome.saves);
  ASSERT_EQ(report->checks.size(), written.checks.size());
  for (std::size_t c = 0; c < written.checks.size(); ++c) {
    EXPECT_EQ(report->checks[c].id, written.checks[c].id);
    EXPECT_EQ(report->checks[c].warn, written.checks[c].warn) << written.checks[c].id;
    if (std::isfinite(written.checks[c].value)) {
      EXPECT_EQ(report->checks[c].value, written.checks[c].value);
    }
  }
}

// The state is the run's: preparing it again puts it back at the case's
// initial profile, and the case is untouched by the run.
TEST_F(InMemoryRun, TheCaseIsUnchangedByItsRuns) {
  Simulation sim;
  sim.resultsDirectory.reset();
  test::loadSampleVariant(sim, "interdiffusion.dat", {{DataKey::D1, "0   5"}});
  const Case loaded = sim.input;
  test::runToEnd(sim);
  EXPECT_NE(sim.state.concentration[0][99], loaded.initial.concentration[0][99]);
  EXPECT_EQ(sim.input.initial.concentration[0][99], loaded.initial.concentration[0][99]);
  EXPECT_EQ(sim.input.timeStep, loaded.timeStep);
  sim.prepare();
  EXPECT_EQ(sim.state.concentration[0][99], loaded.initial.concentration[0][99]);
  EXPECT_EQ(sim.state.currentTime, 0.0);
}

// A failed load leaves nothing of the case to run or draw.
TEST_F(InMemoryRun, AFailedLoadLeavesNoCase) {
  Simulation sim;
  sim.load("interdiffusion.dat");
  ASSERT_TRUE(sim.input.loaded());
  test::writeLines("broken.dat", {"# nothing but a comment"});
  EXPECT_THROW(sim.load("broken.dat"), InputError);
  EXPECT_FALSE(sim.input.loaded());
  EXPECT_TRUE(sim.state.concentration.empty());
}

}  // namespace
}  // namespace torvex
