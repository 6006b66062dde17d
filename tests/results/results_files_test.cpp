// The results files: the profiles in atomic and weight percent, the
// continuation input file, and what happens when a file cannot be written.

#include "results/results_files.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "model/number_format.h"
#include "run/simulation.h"
#include "support/load_fixture.h"
#include "support/solver_model.h"

namespace torvex {
namespace {

using test::numbersOf;

using test::CaseFile;
using test::messageOf;
using test::readBytes;

using ResultsFiles = test::LoadFixture;

const std::vector<std::string> kFiles = {
    "at_out.dat",        "wt_out.dat",        "continue.dat",          "Kirk_plane.dat",
    "boundary_flux.dat", "diffusivities.dat", "fluxes_comparition.dat"};

std::vector<std::string> linesOf(const std::string& path) {
  TextList list;
  list.loadFromFile(path);
  return list.lines();
}

// Index of a line of a data file written by CaseFile: value line k sits
// after the header and k + 1 key lines.
std::size_t valueLine(std::size_t key) {
  return 2 + 2 * key;
}

TEST_F(ResultsFiles, AtomicProfileOfAThreeComponentCoupleComesFromTheHeldConcentrations) {
  model_.load("interdiffusion.dat");
  Simulation& m = model_;
  for (int k = 0; k < m.input.pointCount; ++k) {
    m.state.darkenVelocity[static_cast<std::size_t>(k)] = 1e-9 * k;
    m.state.sigmaVelocity[static_cast<std::size_t>(k)] = 3e-10;
  }
  m.state.concentration[0][7] *= 1.5;  // the profile moved since the molar ratios were computed
  m.state.molarRatio.fill(0.25);       // as a Runge-Kutta stage may leave them
  m.state.currentTime = 1000;
  WriteResults(m);

  const auto lines = linesOf("results/at_out.dat");
  const std::size_t input = m.input.dataFileLines.count();
  ASSERT_EQ(lines.size(), input + 2 + 3 + 2 + 200 + 1 + 2);
  EXPECT_TRUE(std::equal(m.input.dataFileLines.begin(), m.input.dataFileLines.end(), lines.begin()));
  EXPECT_EQ(lines[input + 2], "Calculated profiles [% at.]");
  EXPECT_EQ(lines[input + 4], "Current time:       1000");
  EXPECT_EQ(lines[input + 207], "#End of calculation file");
  for (int k = 0; k < 200; ++k) {
    const std::vector<double> f = numbersOf(lines[input + 7 + static_cast<std::size_t>(k)]);
    ASSERT_EQ(f.size(), 8u) << k;
    const double total = m.state.concentration[0][k] + m.state.concentration[1][k] + m.state.concentration[2][k];
    EXPECT_NEAR(f[1], 100 * m.state.concentration[0][k] / total, 1e-12) << k;
    EXPECT_NEAR(f[1] + f[2] + f[3], 100.0, 1e-12) << k;
    EXPECT_NEAR(f[7], f[4] + f[5], 1e-22) << k;  // drift = v_Darken + v_Sigma
  }
  EXPECT_EQ(m.state.molarRatio[1][7], 0.25);  // the model's molar ratios are left alone

  std::vector<std::string> first;
  for (const auto& name : kFiles) first.push_back(readBytes("results/" + name));
  WriteResults(m);
  for (std::size_t f = 0; f < kFiles.size(); ++f) EXPECT_EQ(readBytes("results/" + kFiles[f]), first[f]) << kFiles[f];
}

TEST_F(ResultsFiles, WeightPercentOfAnEqualBinaryFollowsTheMolarMasses) {
  CaseFile file;
  file.value("D10") = "63.546 55.847";
  file.profile = {"0.0 50 0.0 0.0 0.0", "0.002   50   1e-9 0.0 0.0"};
  loadCase(file);
  WriteResults(model_);

  const auto lines = linesOf("results/wt_out.dat");
  const auto initial = std::find(lines.begin(), lines.end(), "Initial_profile [% wt.]");
  ASSERT_NE(initial, lines.end());
  const std::string copper = formatGeneral(model_.input.initial.weightPercent[0][1]);
  EXPECT_EQ(initial[2], "   0.002   " + copper + "   1e-9 0.0 0.0");  // the rest of the line as written
  const double expected = 100 * 63.546 / (63.546 + 55.847);           // 53.224...
  EXPECT_NEAR(parseReal(copper).value(), expected, 1e-12);

  const auto current = std::find(lines.begin(), lines.end(), "Current time:       0");
  ASSERT_NE(current, lines.end());
  for (auto line = current + 3; line != lines.end() - 1; ++line) {
    const std::vector<double> f = numbersOf(*line);
    ASSERT_EQ(f.size(), 7u);
    EXPECT_NEAR(f[1], expected, 1e-12);
    EXPECT_NEAR(f[2], 100 - expected, 1e-12);  // 46.775...
  }
  EXPECT_EQ(lines.back(), "#End of calculation file");
}

TEST_F(ResultsFiles, ContinuationGoesOnFromTheCurrentStateAndLoadsAgain) {
  CaseFile file;
  file.value("D1") = "0   612000";
  loadCase(file);
  Simulation& m = model_;
  m.state.currentTime = 1000;
  m.state.largestTimeStep = 2.5;
  m.state.kirkendallPosition = 0.00125;
  WriteResults(m);

  std::vector<std::string> expected = file.lines();
  expected[valueLine(1)] = "   1000   613000";
  expected[valueLine(3)] = "   2.5";
  expected[valueLine(21)] = "   1   0.00125";
  expected[valueLine(23)] = "   10";
  expected.resize(valueLine(24));  // up to and including the D23 key line
  const auto lines = linesOf("results/continue.dat");
  ASSERT_EQ(lines.size(), expected.size() + 10 + 1);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), lines.begin()));
  EXPECT_EQ(lines.back(), "#end of data file");

  Simulation next;
  next.load("results/continue.dat");
  EXPECT_EQ(next.input.initialPointCount, 10);
  EXPECT_EQ(next.input.startTime, 1000.0);
  EXPECT_EQ(next.state.timeStep, 2.5);
  EXPECT_EQ(next.input.initialKirkendallPosition, 0.00125);
  for (int k = 0; k < 10; ++k) {
    EXPECT_NEAR(next.state.position[static_cast<std::size_t>(k)], m.state.position[static_cast<std::size_t>(k)], 1e-17);
    EXPECT_NEAR(next.state.molarRatio[0][k], m.state.molarRatio[0][k], 1e-14);
  }
}

// A model built in memory whose data file lines are given directly.
class ContinuationWalk : public ResultsFiles {
 protected:
  ContinuationWalk() {
    test::buildModel(model_, 2, test::uniformGrid(10, 0.002));
    test::setProfile(model_, [](int i, double) { return i == 0 ? 0.3 : 0.7; });
    model_.input.dataFileName = "case.dat";
    model_.state.largestTimeStep = 4;
  }
};

TEST_F(ContinuationWalk, BlankLinesAreValuesAndAFileEndingBeforeAReplacedValueIsNamed) {
  std::vector<std::string> input = CaseFile().lines();
  input.insert(input.begin() + 3, "");  // after the D0 value line
  for (const auto& line : input) model_.input.dataFileLines.add(line);
  WriteResults(model_);

  const auto lines = linesOf("results/continue.dat");
  EXPECT_EQ(lines[3], "   0   0");                                // the blank line took the process time
  EXPECT_EQ(lines[5], input[5]);                                  // D1's own line is kept
  EXPECT_EQ(lines[7], "   4");                                    // D2's line took the first step
  EXPECT_EQ(lines[9], input[9]);                                  // D3 kept
  EXPECT_EQ(lines[valueLine(20) + 1], "   1   0");                // D19's line took the plane
  EXPECT_EQ(lines[valueLine(21) + 1], input[valueLine(21) + 1]);  // D20 kept

  // Ending among the key lines before a replaced value.
  model_.input.dataFileLines.clear();
  for (std::size_t k = 0; k < valueLine(21); ++k) model_.input.dataFileLines.add(CaseFile().lines()[k]);
  EXPECT_EQ(messageOf<InputError>([&] { WriteResults(model_); }),
            "case.dat: the data file ends before the value line of key D20, so continue.dat cannot be written");
}

TEST_F(ContinuationWalk, AFileThatCannotBeWrittenStopsTheLaterFiles) {
  for (const auto& line : CaseFile().lines()) model_.input.dataFileLines.add(line);
  std::filesystem::create_directories("results/continue.dat");  // a folder where the file belongs
  const std::string message = messageOf<InputError>([&] { WriteResults(model_); });
  EXPECT_NE(message.find("continue.dat"), std::string::npos) << message;
  EXPECT_TRUE(std::filesystem::exists("results/wt_out.dat"));
  EXPECT_FALSE(std::filesystem::exists("results/Kirk_plane.dat"));
}

// A full disk, for real: the temporary file this process would write for
// at_out.dat is a link to /dev/full, where every write fails with ENOSPC.
TEST_F(ContinuationWalk, AFullDiskKeepsTheEarlierFileAndNamesItAndTheReason) {
  for (const auto& line : CaseFile().lines()) model_.input.dataFileLines.add(line);
  WriteResults(model_);
  const std::string earlier = readBytes("results/at_out.dat");
  const std::string temporary = "results/at_out.dat.tmp" + std::to_string(::getpid());
  std::filesystem::create_symlink("/dev/full", temporary);
  model_.state.currentTime = 7;

  const std::string message = messageOf<FileWriteError>([&] { WriteResults(model_); });
  // The system's reason, in the language of the environment.
  EXPECT_EQ(message, "results//at_out.dat: cannot write the file (" + std::string(std::strerror(ENOSPC)) + ")");
  EXPECT_EQ(readBytes("results/at_out.dat"), earlier);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(temporary)));
  EXPECT_EQ(readBytes("results/wt_out.dat").find("Current time:       7"), std::string::npos);

  // After a failed save the batch runner writes every file it still can.
  std::filesystem::create_symlink("/dev/full", temporary);
  const std::vector<std::string> failures = WriteEveryResultsFile(model_);
  EXPECT_EQ(failures, std::vector<std::string>{message});
  EXPECT_EQ(readBytes("results/at_out.dat"), earlier);
  EXPECT_NE(readBytes("results/wt_out.dat").find("Current time:       7"), std::string::npos);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("results"), std::filesystem::directory_iterator()), 7);
}

// A process killed while saving leaves its temporary file; the next save
// removes those of processes that no longer run, and nothing else.
TEST_F(ContinuationWalk, TemporaryFilesOfKilledRunsAreRemoved) {
  for (const auto& line : CaseFile().lines()) model_.input.dataFileLines.add(line);
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ::waitpid(child, nullptr, 0);  // its id now belongs to no process
  std::filesystem::create_directory("results");
  const std::string dead = "results/continue.dat.tmp" + std::to_string(child);
  const std::string running = "results/continue.dat.tmp1";  // process 1 always runs
  for (const std::string& name : {dead, running, std::string("results/notes.tmp12")}) test::writeBytes(name, "half");
  WriteResults(model_);
  EXPECT_FALSE(std::filesystem::exists(dead));
  EXPECT_TRUE(std::filesystem::exists(running));
  EXPECT_TRUE(std::filesystem::exists("results/notes.tmp12"));
}

}  // namespace
}  // namespace torvex
