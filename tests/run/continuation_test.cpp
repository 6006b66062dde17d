// A continuation (a run of the continue.dat an earlier run left) goes on
// with that run's history, series and records in the same folder, never
// replacing them; whatever it cannot continue it keeps under another name.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/number_format.h"
#include "results/continued_files.h"
#include "results/results_files.h"
#include "results/run_data.h"
#include "run/simulation.h"
#include "support/load_fixture.h"
#include "support/sample_variant.h"
#include "support/test_files.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;

const std::vector<const char*> kContinued = {kHistoryFile, kSeriesFile, kKirkendallRecordFile, kBoundaryRecordFile,
                                             kFluxComparisonFile};

std::string results(const char* name) {
  return resultsFilePath(kDefaultResultsFolder, name);
}

// The first field of every line of a results file that starts with a number.
std::vector<double> timesOf(const char* name, char separator) {
  std::vector<double> times;
  TextList lines;
  lines.loadFromFile(results(name));
  for (const std::string& line : lines) {
    const std::string first = trimmed(line.substr(0, line.find(separator)));
    if (const auto time = parseReal(first)) times.push_back(*time);
  }
  return times;
}

void expectIncreasing(const std::vector<double>& times, const char* what, bool strictly = true) {
  for (std::size_t k = 1; k < times.size(); ++k)
    if (strictly ? !(times[k] > times[k - 1]) : !(times[k] >= times[k - 1])) {
      ADD_FAILURE() << what << ": " << times[k] << " after " << times[k - 1];
      return;
    }
}

class Continuation : public test::LoadFixture {
 protected:
  // The oxidation sample to 20 s, saving every fifth pass; its files.
  std::map<std::string, std::string> runFirst() {
    test::writeSampleVariant("oxidation.dat", {{DataKey::D1, "0   20"}, {DataKey::D17, "5   5"}}, "short.dat");
    Simulation first;
    first.load("short.dat");
    EXPECT_EQ(test::runToEnd(first).end, RunEnd::Completed);
    std::map<std::string, std::string> files;
    for (const char* name : kContinued) files[name] = test::readBytes(results(name));
    files[kRunReportFile] = test::readBytes(results(kRunReportFile));
    return files;
  }

  static RunSummary runContinuation() {
    Simulation next;
    next.load(results(kContinuationFile));
    return test::runToEnd(next);
  }
};

TEST_F(Continuation, GoesOnWithTheEarlierRunsHistoryAndRecords) {
  const auto first = runFirst();
  EXPECT_EQ(runContinuation().end, RunEnd::Completed);
  for (const char* name : kContinued) {
    const std::string now = test::readBytes(results(name));
    EXPECT_EQ(now.substr(0, first.at(name).size()), first.at(name)) << name;
    EXPECT_GT(now.size(), first.at(name).size()) << name;
  }
  EXPECT_EQ(test::readBytes(results(kRunReportFile) + ".earlier"), first.at(kRunReportFile));
  // One history from the first pass to the continuation's end (40 s). The
  // clock of the continuation may land on its end with a last step too small
  // to show in the written times, so those need only not go back.
  const std::vector<double> series = timesOf(kSeriesFile, ',');
  expectIncreasing(series, "series", false);
  EXPECT_EQ(series.back(), 40);
  expectIncreasing(timesOf(kKirkendallRecordFile, ' '), "Kirkendall record", false);
  expectIncreasing(timesOf(kFluxComparisonFile, ' '), "flux comparison", false);
  expectIncreasing(timesOf(kHistoryFile, ','), "history", false);
  const RunData read = ReadRunData(kDefaultResultsFolder);
  ASSERT_GT(read.frames.size(), 2u);
  EXPECT_LT(read.frames.front().timeS, 1);
  for (std::size_t f = 1; f < read.frames.size(); ++f)
    EXPECT_GT(read.frames[f].timeS, read.frames[f - 1].timeS) << "save " << f;
  EXPECT_EQ(read.frames.back().timeS, 40);
  EXPECT_EQ(read.kirkendallTimeS.back(), 40);
  const std::string kirkendall = test::readBytes(results(kKirkendallRecordFile));
  EXPECT_EQ(kirkendall.find("The calculation of the Kirkendall plane", 1), std::string::npos)
      << "the continuation started the record again";
}

TEST_F(Continuation, CutsATornLastLineBeforeGoingOn) {
  const auto first = runFirst();
  // As a run killed in the middle of an append leaves them.
  test::writeBytes(results(kHistoryFile), first.at(kHistoryFile) + "19.5,0.0");
  test::writeBytes(results(kSeriesFile), first.at(kSeriesFile) + "19");
  test::writeBytes(results(kKirkendallRecordFile), first.at(kKirkendallRecordFile) + "19.9 0.00");
  EXPECT_EQ(runContinuation().end, RunEnd::Completed);
  for (const char* name : kContinued) {
    const std::string now = test::readBytes(results(name));
    EXPECT_EQ(now.substr(0, first.at(name).size()), first.at(name)) << name;
  }
  expectIncreasing(timesOf(kSeriesFile, ','), "series", false);
  expectIncreasing(timesOf(kKirkendallRecordFile, ' '), "Kirkendall record", false);
}

TEST_F(Continuation, KeepsWhatItCannotContinueUnderAnotherName) {
  const auto first = runFirst();
  // The folder holds a later history than the continuation's start (a
  // continuation from an older copy of continue.dat), and a series of
  // another layout.
  test::writeBytes(results(kHistoryFile), first.at(kHistoryFile) + "25,0,1,50,50\n");
  test::writeBytes(results(kSeriesFile), "time_s,something_else\n1,2\n");
  EXPECT_EQ(runContinuation().end, RunEnd::Completed);
  EXPECT_EQ(test::readBytes(results(kHistoryFile) + ".earlier"), first.at(kHistoryFile) + "25,0,1,50,50\n");
  EXPECT_EQ(test::readBytes(results(kSeriesFile) + ".earlier"), "time_s,something_else\n1,2\n");
  // The new files are the continuation's own, from its start.
  EXPECT_EQ(timesOf(kSeriesFile, ',').front() > 20, true);
  // The records, which it could continue, it did.
  EXPECT_EQ(test::readBytes(results(kKirkendallRecordFile)).substr(0, first.at(kKirkendallRecordFile).size()),
            first.at(kKirkendallRecordFile));
  // A second set-aside takes the next free name.
  test::writeBytes(results(kSeriesFile), "other\n");
  EXPECT_EQ(setEarlierFileAside(results(kSeriesFile)), results(kSeriesFile) + ".earlier2");
}

TEST_F(Continuation, AFreshRunStillReplacesTheFolder) {
  const auto first = runFirst();
  Simulation again;
  again.load("short.dat");
  test::runToEnd(again);
  for (const char* name : kContinued) EXPECT_EQ(test::readBytes(results(name)), first.at(name)) << name;
  EXPECT_FALSE(fs::exists(results(kRunReportFile) + ".earlier"));
}

}  // namespace
}  // namespace torvex
